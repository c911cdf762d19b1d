#pragma once
// Registers every drawing reader with the reader registry (call once at start-up).
void RegisterReaders();
