#pragma once
// What the draftwell-cli tests share: the commands run in-process, temporary files.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Info.h"
#include "RenderCommand.h"

struct TRun {
  int Status;
  std::string Out, Err;
};

inline TRun RunArgs(std::vector<std::string> Args) {
  TRun R;
  R.Status = RunCliWithRender(Args, R.Out, R.Err);
  return R;
}

// A temporary file that goes away with the test.
struct TTempFile {
  std::filesystem::path Path;
  TTempFile(const std::string& Name, const std::string& Bytes) {
    Path = std::filesystem::temp_directory_path() / ("draftwell_cli_" + std::to_string(::getpid()) + "_" + Name);
    std::ofstream(Path, std::ios::binary) << Bytes;
  }
  ~TTempFile() { std::filesystem::remove(Path); }
};
