// draftwell-cli: the headless face of the library.
#include <cstdio>
#include <cstring>
#include <string>

namespace {
const char* const kUsage =
    "Usage: draftwell-cli COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  help                 show this text\n"
    "  version              print the version\n"
    "\n"
    "Exit status: 0 on success, 1 when a file could not be read, 2 for a usage error.\n";

int Usage(FILE* out, int status) {
  std::fputs(kUsage, out);
  return status;
}
} // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr, 2);
  const std::string cmd = argv[1];
  if (cmd == "help" || cmd == "--help" || cmd == "-h") return Usage(stdout, 0);
  if (cmd == "version" || cmd == "--version") {
    std::printf("draftwell-cli %s\n", DRAFTWELL_VERSION);
    return 0;
  }
  std::fprintf(stderr, "draftwell-cli: unknown command '%s'\n\n", cmd.c_str());
  return Usage(stderr, 2);
}
