// Pictures that carry their own pixels (plot file rasters).
#include <algorithm>
#include <cmath>

#include "Others.h"
#include "qdIterator.h"

namespace {

// Device pixels one picture may take per frame (the visible part only).
constexpr long long cnstMaxImagePixels = 4096LL * 4096LL;

}  // namespace

void TqdCADIterator::DrawPixelImage(const TqdDXFImageEnt* E, const TqdIntRect& IR) {
  const int W = E->PixelWidth(), H = E->PixelHeight();
  const long long DW = static_cast<long long>(IR.Right) - IR.Left + 1, DH = static_cast<long long>(IR.Bottom) - IR.Top + 1;
  if (W <= 0 || H <= 0 || DW <= 0 || DH <= 0) return;
  // Only the visible part is sampled: a picture zoomed far in stays cheap.
  const TqdIntRect V{std::max(IR.Left, FClipBox.Left), std::max(IR.Top, FClipBox.Top),
                     std::min(IR.Right, FClipBox.Right), std::min(IR.Bottom, FClipBox.Bottom)};
  const long long VW = static_cast<long long>(V.Right) - V.Left + 1, VH = static_cast<long long>(V.Bottom) - V.Top + 1;
  if (VW <= 0 || VH <= 0) return;
  // Beyond the budget the picture is sampled coarser and stretched.
  const double Shrink = VW * VH > cnstMaxImagePixels ? std::sqrt(static_cast<double>(cnstMaxImagePixels) / static_cast<double>(VW * VH)) : 1;
  const int IW = std::max(1, static_cast<int>(static_cast<double>(VW) * Shrink));
  const int IH = std::max(1, static_cast<int>(static_cast<double>(VH) * Shrink));
  TqdImage Img;
  if (!Img.Create(IW, IH)) return;
  for (int Y = 0; Y < IH; ++Y) {
    const double DY = V.Top + (Y + 0.5) * static_cast<double>(VH) / IH - IR.Top;
    const int SY = std::clamp(static_cast<int>(DY * H / static_cast<double>(DH)), 0, H - 1);
    for (int X = 0; X < IW; ++X) {
      const double DX = V.Left + (X + 0.5) * static_cast<double>(VW) / IW - IR.Left;
      const int SX = std::clamp(static_cast<int>(DX * W / static_cast<double>(DW)), 0, W - 1);
      Img.SetPixel(X, Y, E->PixelColor(SX, SY));
    }
  }
  // Pixels of entities drawn before the picture lie under it.
  FlushPixelsUnder(TqdIntRect{V.Left - 1, V.Top - 1, V.Right + 2, V.Bottom + 2});
  FCanvas->DrawImage(TqdIntRect{V.Left, V.Top, V.Right + 1, V.Bottom + 1}, Img);
}
