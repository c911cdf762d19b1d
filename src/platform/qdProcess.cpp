#include "qdProcess.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

long ProcessStatusKB(const char* AKey) {
  std::ifstream F("/proc/self/status");
  std::string L;
  const std::string K = std::string(AKey) + ":";
  while (std::getline(F, L))
    if (L.compare(0, K.size(), K) == 0) return std::atol(L.c_str() + K.size());
  return -1;
}

bool ResetPeakMemory() {
  FILE* F = std::fopen("/proc/self/clear_refs", "w");
  if (!F) return false;
  const bool Ok = std::fputs("5", F) >= 0;
  return std::fclose(F) == 0 && Ok;
}
