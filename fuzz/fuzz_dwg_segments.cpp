// Drives the data-segment file reader (R2013+ ACIS store) over arbitrary bytes and
// looks every entry up by its handle. Errors are fine; crashes and reads outside the
// stream are not.
#include <cstddef>
#include <cstdint>

#include "readers/dwg/qdDWGSegments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TqdSegmentedFile F;
  F.CreateFromMemory(nullptr, Size, Data);
  try {
    F.ReadFile();
  } catch (const TqdDataSegFileError&) {
    return 0;
  }
  unsigned Sum = 0;
  for (std::size_t I = 0; I < F.Count(); ++I) {
    TqdDataSegmentEntry E;
    if (!F.GetDataEntry(static_cast<std::ptrdiff_t>(I), E)) continue;
    (void)F.IndexOf(E.Header.Handle);
    // Touch the first and last byte of the data.
    if (E.Data && E.DataSize) Sum += E.Data[0] + E.Data[E.DataSize - 1];
  }
  return static_cast<int>(Sum & 0);
}
