// Drives the plotter file reader over arbitrary bytes: unpacking (gzip, zip, UTF-16,
// envelopes), the HP-GL/2 command loop, PE decoding, labels, polygons, input windows,
// pages, PJL and the PCL escapes with every raster method, and the passes that
// complete a drawing, into a fresh converter each time. Errors are fine; crashes,
// hangs and leaks are not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "HPGL2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // An exact-size copy, so that any read past the end is caught.
  std::unique_ptr<char[]> Buf(new char[Size ? Size : 1]);
  if (Size) std::memcpy(Buf.get(), Data, Size);
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const TqdLoadResult R = LoadHPGLDrawing(Buf.get(), Size, *C.get(), {});
  for (int I = 0; I < C->LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = C->GetLayout(I))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField()) (void)B->Count();
  (void)R;
  return 0;
}
