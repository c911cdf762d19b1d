// make-synthetic-dxf OUT.dxf [ENTITIES] [SEED]: writes the benchmark drawing.
#include <cstdio>
#include <cstdlib>

#include "SyntheticDXF.h"

int main(int argc, char** argv) {
  // An option where the file name belongs is a request for help, not a file to write.
  if (argc < 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: make-synthetic-dxf OUT.dxf [ENTITIES] [SEED]\n");
    return 2;
  }
  TSyntheticDXFOptions o;
  if (argc > 2) o.Entities = std::atoi(argv[2]);
  if (argc > 3) o.Seed = static_cast<unsigned>(std::atoi(argv[3]));
  if (o.Entities < 0) o.Entities = 0;
  if (!WriteSyntheticDXF(argv[1], o)) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
