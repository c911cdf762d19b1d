// The content sniffer over arbitrary first bytes: what it names must fit the
// classes it names, and a family is never named without a description.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "qdFileKinds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > cnstContentHeadSize) Size = cnstContentHeadSize;
  std::unique_ptr<uint8_t[]> Buf(new uint8_t[Size ? Size : 1]);
  if (Size) std::memcpy(Buf.get(), Data, Size);
  const TqdContentKind K = qdIdentifyContent(Buf.get(), Size);
  if (!K.Family.empty() && K.Description.empty()) __builtin_trap();
  if (!K.Family.empty() && !qdContentFits(K.Family, K.Family)) __builtin_trap();
  for (const char* Class : {"dxf", "dwg", "hpgl"}) (void)qdContentFits(Class, K.Family);
  return 0;
}
