// Drives the DWG reader over arbitrary bytes: version dispatch, the R9-R12 tables and
// length-framed records, the R13+ file header and
// its locators, header variables, classes, the object map, the object envelopes and
// the passes that complete a drawing, into a fresh converter each time. Errors are
// fine; crashes, hangs and leaks are not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "readers/dwg/DWG.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RegisterDWGReader();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // An exact-size copy, so that any read past the end is caught.
  std::unique_ptr<char[]> Buf(new char[Size ? Size : 1]);
  if (Size) std::memcpy(Buf.get(), Data, Size);
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const TdwgLoadResult R = LoadDWGFromMemory(Buf.get(), Size, *C.get());
  for (int I = 0; I < C->LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = C->GetLayout(I))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField()) (void)B->Count();
  (void)R;
  return 0;
}
