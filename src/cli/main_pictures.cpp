// draftwell-cli-pictures: every command of draftwell-cli, the picture commands
// (render, thumbnail, info --render) among them; draftwell-cli hands those here
// so that its own start links no toolkit.
#include <cstdio>
#include <string>
#include <vector>

#include "RenderCommand.h"

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  std::string Out, Err;
  const int Status = RunCliWithRender(Args, Out, Err);
  std::fwrite(Out.data(), 1, Out.size(), stdout);
  std::fwrite(Err.data(), 1, Err.size(), stderr);
  return Status;
}
