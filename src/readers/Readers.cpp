#include "Readers.h"

#include "DWG.h"
#include "DXF.h"
#include "HPGL2.h"

void RegisterReaders() {
  RegisterDXFReader();
  RegisterDWGReader();
  RegisterHPGLReader();
}
