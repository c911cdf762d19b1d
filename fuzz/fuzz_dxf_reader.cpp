// Drives the whole DXF reader over arbitrary bytes: detection, tokenizers, reader
// objects, dictionaries, layouts and every step after reading, into a fresh
// converter each time. Errors are fine; crashes, hangs and leaks are not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "readers/dxf/DXF.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RegisterDXFReader();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // An exact-size copy, so that any read past the end is caught.
  std::unique_ptr<char[]> Buf(new char[Size ? Size : 1]);
  if (Size) std::memcpy(Buf.get(), Data, Size);
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TdxfLoadOptions O;
  O.RecordNames = true;
  TdxfLoadResult R = LoadDXFFromMemory(Buf.get(), Size, *C.get(), O);
  // Walk what was made, as the command line does.
  for (int I = 0; I < C->LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = C->GetLayout(I))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField())
        for (int J = 0; J < B->Count(); ++J) (void)R.DXFNames.count(B->GetEntity(J));
  return 0;
}
