// The toolkit-free canvas types seen as Qt's.
#include <algorithm>
#include <utility>

#include "qdQtCanvas.h"
#include "qdQtInternal.h"

QRect qdToQRect(const TqdIntRect& R) {
  int L = qdClampDeviceCoord(R.Left), T = qdClampDeviceCoord(R.Top);
  int Ri = qdClampDeviceCoord(R.Right), B = qdClampDeviceCoord(R.Bottom);
  if (Ri < L) std::swap(L, Ri);
  if (B < T) std::swap(T, B);
  if (Ri == L || B == T) return QRect();
  return QRect(L, T, Ri - L, B - T);
}

TqdIntRect qdFromQRect(const QRect& R) {
  if (R.isEmpty()) return {};
  return {R.x(), R.y(), R.x() + R.width(), R.y() + R.height()};
}

QColor qdToQColor(TqdDeviceColor C) {
  return QColor(int(C & 0xFF), int((C >> 8) & 0xFF), int((C >> 16) & 0xFF));
}

QRegion qdToQRegion(const TqdRegion& R) {
  const std::span<const TqdIntRect> Rs = R.Rects();
  QRegion Rgn;
  if (Rs.empty()) return Rgn;
  // The region's bands are the banded form QRegion keeps, so they are taken
  // as they are.
  std::vector<QRect> Q;
  Q.reserve(Rs.size());
  for (const TqdIntRect& A : Rs) Q.push_back(QRect(A.Left, A.Top, A.Right - A.Left, A.Bottom - A.Top));
  Rgn.setRects(Q.data(), int(Q.size()));
  return Rgn;
}

QImage qdToQImage(const TqdImage& Image) {
  if (Image.IsEmpty()) return {};
  return QImage(reinterpret_cast<const uchar*>(Image.Bits()), Image.Width(), Image.Height(),
                qsizetype(Image.Width()) * 4,
                Image.HasAlpha() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

TqdImage qdImageFromQt(const QImage& Image) {
  TqdImage R;
  if (Image.isNull()) return R;
  const QImage N = Image.convertToFormat(Image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                 : QImage::Format_RGB32);
  if (N.isNull()) return R;
  const int W = N.width(), H = N.height();
  if (qint64(W) * H > (qint64(1) << 26)) return R;
  std::vector<std::uint32_t> Px(size_t(W) * size_t(H));
  for (int Y = 0; Y < H; ++Y) {
    const auto* Line = reinterpret_cast<const std::uint32_t*>(N.constScanLine(Y));
    std::copy(Line, Line + W, Px.begin() + std::ptrdiff_t(Y) * W);
  }
  R.Assign(W, H, std::move(Px), N.hasAlphaChannel());
  return R;
}
