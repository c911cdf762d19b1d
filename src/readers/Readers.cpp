#include "Readers.h"

#include "DXF.h"

void RegisterReaders() { RegisterDXFReader(); }
