// Loads arbitrary bytes as an SHX font, builds every glyph in both orientations
// and lays out and measures text in it, alone and as the big font of itself.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "SHX.h"
#include "SHXFontList.h"

namespace {

void CheckFinite(const TqdSHXVertexList& L) {
  for (const TqdSHXVertex& V : L)
    if (!std::isfinite(V.X) || !std::isfinite(V.Y) || !std::isfinite(V.Bulge)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TqdSHXFont F("fuzz.shx");
  F.LoadFromBytes(std::vector<uint8_t>(Data, Data + Size));
  if (!F.Loaded()) return 0;
  for (const TqdSHXRecord& R : F.Shapes())
    for (bool Vertical : {false, true})
      if (const TqdSHXPolyData* G = F.Glyph(R.ShapeNumber, Vertical)) {
        CheckFinite(*G->Poly);
        if (!std::isfinite(G->Xoff) || !std::isfinite(G->Yoff) || !std::isfinite(G->Top)) __builtin_trap();
      }
  // Text made of the file's own last bytes, so that shapes that exist are hit.
  const size_t N = Size < 24 ? Size : 24;
  const std::string Text(reinterpret_cast<const char*>(Data + Size - N), N);
  std::u16string Wide;
  for (size_t I = 0; I + 1 < N; I += 2) Wide += char16_t(Data[Size - N + I] | (Data[Size - N + I + 1] << 8));
  for (TqdSHXFont* Big : {static_cast<TqdSHXFont*>(nullptr), &F}) {
    for (int Style : {0, cSHXUnderscore | cSHXOverscore}) {
      TqdTextIterator It(Text, {}, {}, &F, Big);
      TqdSHXVertexList Poly;
      double X, Y, A, B, W, H, L, Bt, Rt, T, Af;
      bool UsedBig;
      It.Iterate(false, false, Style, Poly, X, Y, UsedBig);
      CheckFinite(Poly);
      It.IterateBox(true, Style, A, B, W, H, L, Bt, Rt, T, Af);
      if (!std::isfinite(W) || !std::isfinite(H)) __builtin_trap();
      TqdTextIterator Wi({}, Wide, std::string(Wide.size(), '\2'), &F, Big);
      Wi.Iterate(true, false, Style, Poly, X, Y, UsedBig);
      CheckFinite(Poly);
      Wi.IterateBox(false, Style, A, B, W, H, L, Bt, Rt, T, Af);
      if (!std::isfinite(W) || !std::isfinite(H)) __builtin_trap();
    }
  }
  return 0;
}
