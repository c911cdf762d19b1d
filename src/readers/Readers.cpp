#include "Readers.h"

#include "DWG.h"
#include "DXF.h"

void RegisterReaders() {
  RegisterDXFReader();
  RegisterDWGReader();
}
