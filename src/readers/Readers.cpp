#include "Readers.h"

#include "readers/dwg/DWG.h"
#include "readers/dxf/DXF.h"
#include "HPGL2.h"

void RegisterReaders() {
  RegisterDXFReader();
  RegisterDWGReader();
  RegisterHPGLReader();
}
