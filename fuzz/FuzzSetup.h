#pragma once
// What every reader target sets up once, before the first run (LLVMFuzzerInitialize),
// so that each run costs only the reader and the passes that complete a drawing.
inline void FuzzSetUpOnce() {}
