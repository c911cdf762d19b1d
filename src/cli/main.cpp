// draftwell-cli: the headless face of the library. info and dump run here; the
// commands that paint (render, thumbnail, info --render) are handed to
// draftwell-cli-pictures, which links the toolkit: loading and relocating it
// costs a fresh process more than reading a small drawing.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "Info.h"

namespace {

bool PaintsPictures(const std::vector<std::string>& Args) {
  if (Args.empty()) return false;
  if (Args[0] == "render" || Args[0] == "thumbnail") return true;
  if (Args[0] != "info") return false;
  for (std::size_t I = 1; I < Args.size(); ++I)
    if (Args[I] == "--render") return true;
  return false;
}

// The picture program: beside this one (the build tree, bin/ of a prefix), or in
// the prefix's libexec/draftwell.
std::string PicturesProgram() {
  char Self[PATH_MAX];
  const ssize_t N = ::readlink("/proc/self/exe", Self, sizeof Self - 1);
  if (N <= 0) return {};
  std::string Dir(Self, static_cast<std::size_t>(N));
  Dir.erase(Dir.rfind('/') + 1);
  for (const std::string& P : {Dir + "draftwell-cli-pictures", Dir + "../libexec/draftwell/draftwell-cli-pictures"})
    if (::access(P.c_str(), X_OK) == 0) return P;
  return {};
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  if (PaintsPictures(Args)) {
    const std::string Program = PicturesProgram();
    if (!Program.empty()) {
      ::execv(Program.c_str(), argv);
      std::fprintf(stderr, "draftwell-cli: cannot start %s: %s\n", Program.c_str(), std::strerror(errno));
    } else {
      std::fprintf(stderr, "draftwell-cli: '%s' needs draftwell-cli-pictures, which is not installed beside it\n",
                   Args[0].c_str());
    }
    return 1;
  }
  std::string Out, Err;
  const int Status = RunCli(Args, Out, Err);
  std::fwrite(Out.data(), 1, Out.size(), stdout);
  std::fwrite(Err.data(), 1, Err.size(), stderr);
  return Status;
}
