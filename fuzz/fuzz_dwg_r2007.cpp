// Drives the R2007 codecs directly. First byte even: the R2007 decompressor, with the
// next two bytes as the output size and the rest as the stream. Odd: Reed-Solomon
// de-interleaving (system or data coder by bit 1) of the rest, the next byte giving
// the number of blocks. Errors are fine; reads or writes outside a buffer are not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "readers/dwg/qdDWGCompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  const std::size_t N = Size - 3;
  std::unique_ptr<std::uint8_t[]> Src(new std::uint8_t[N ? N : 1]);
  if (N) std::memcpy(Src.get(), Data + 3, N);
  try {
    if ((Data[0] & 1) == 0) {
      const std::size_t Out = (static_cast<std::size_t>(Data[1]) | (static_cast<std::size_t>(Data[2]) << 8)) + 1;
      std::unique_ptr<std::uint8_t[]> Dst(new std::uint8_t[Out]);
      TqdDWG2007Decompressor D;
      (void)D.Decompress(Src.get(), N, Out, Dst.get());
    } else {
      const TqdRSCoder& C = (Data[0] & 2) ? TqdRSCoder::Data() : TqdRSCoder::System();
      const std::size_t Blocks = Data[1] % 16;
      std::vector<std::uint8_t> Out;
      (void)RSDeinterleave(C, Src.get(), N, Blocks, Out, Blocks * 255 + Data[2]);
    }
  } catch (const TqdDWGCompressorError&) {
  } catch (const EqdRSCoderError&) {
  }
  return 0;
}
