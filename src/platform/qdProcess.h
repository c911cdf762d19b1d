#pragma once
// Memory figures of the running process, for benchmarks and the robustness harness.

// A value in kB from /proc/self/status ("VmRSS", "VmHWM", ...); -1 when unknown.
long ProcessStatusKB(const char* AKey);

// Makes the peak resident size (VmHWM) start again from the current one; false when
// the kernel refuses.
bool ResetPeakMemory();
