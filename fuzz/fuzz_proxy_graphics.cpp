// Drives the proxy graphics interpreter over arbitrary bytes, then builds the
// primitives into a block as the entities that carry them do.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "Blocks.h"
#include "DXFConv.h"
#include "qdProxyGraphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // An exact-size copy, so that any read past the end is caught.
  std::unique_ptr<uint8_t[]> Buf(new uint8_t[Size ? Size : 1]);
  if (Size) std::memcpy(Buf.get(), Data, Size);
  const TqdProxyGraphicsResult R = TqdProxyGraphics::Decode(Buf.get(), Size);
  if (R.Primitives.size() > TqdProxyGraphics::cnstMaxPrimitives) __builtin_trap();
  // A command takes at least 8 bytes.
  if (static_cast<std::size_t>(R.Commands) * 8 > Size) __builtin_trap();
  for (const TqdProxyPrimitive& P : R.Primitives)
    for (const TFPoint& Q : P.Points)
      if (!std::isfinite(Q.X) || !std::isfinite(Q.Y) || !std::isfinite(Q.Z)) __builtin_trap();
  static TqdDXFConverter* C = new TqdDXFConverter(TqdConverterParams{true, {}});
  TqdDXFBlock B;
  qdBuildProxyEntities(R, C, B);
  return 0;
}
