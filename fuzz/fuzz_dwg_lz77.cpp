// Drives the R2004 LZ77 decompressor directly: the first two bytes choose the output
// size (up to 64 KiB), the rest is the compressed stream. Errors are fine; reads or
// writes outside either buffer are not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "readers/dwg/qdDWGCompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  const std::size_t Out = (static_cast<std::size_t>(Data[0]) | (static_cast<std::size_t>(Data[1]) << 8)) + 1;
  // Exact-size copies, so that any access past either end is caught.
  std::unique_ptr<std::uint8_t[]> Src(new std::uint8_t[Size - 2 ? Size - 2 : 1]);
  if (Size > 2) std::memcpy(Src.get(), Data + 2, Size - 2);
  std::unique_ptr<std::uint8_t[]> Dst(new std::uint8_t[Out]);
  TqdDWG2004Compressor C;
  try {
    (void)C.Decompress(Size > 2 ? Src.get() : nullptr, Dst.get(), Out, Size - 2);
  } catch (const TqdDWGCompressorError&) {
  }
  return 0;
}
