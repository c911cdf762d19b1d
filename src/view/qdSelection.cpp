#include "qdSelection.h"

#include <algorithm>

#include "qdQtCanvas.h"

namespace {

constexpr int cnstDefaultPrecision = 3;
constexpr int cnstMaxPrecision = 64;

// Raster pixels are 0xFFRRGGBB; numbers are written as device colours 0x00BBGGRR.
inline std::uint32_t PixelNumber(QRgb P) {
  return static_cast<std::uint32_t>(qRed(P)) | (static_cast<std::uint32_t>(qGreen(P)) << 8) |
         (static_cast<std::uint32_t>(qBlue(P)) << 16);
}

}  // namespace

TqdSelectionMatrix::TqdSelectionMatrix() { SetSize({1, 1}); }

TqdSelectionMatrix::~TqdSelectionMatrix() = default;

void TqdSelectionMatrix::SetSize(TqdPoint Size) {
  const int W = std::max(1, Size.X), H = std::max(1, Size.Y);
  if (FBitMap.width() != W || FBitMap.height() != H) {
    FCanvas.reset();
    FBitMap = QImage(W, H, QImage::Format_RGB32);
    // A raster too large to allocate selects nothing rather than failing a frame.
    if (FBitMap.isNull()) FBitMap = QImage(1, 1, QImage::Format_RGB32);
  }
  ClearFull();
}

void TqdSelectionMatrix::ClearFull() {
  FBitMap.fill(QColor(255, 255, 255));
  FEntities.clear();
  FPointByEntity = {};
  FValid = false;
}

void TqdSelectionMatrix::ClearRect(const TqdIntRect& R) {
  const int L = std::clamp(std::min(R.Left, R.Right), 0, FBitMap.width());
  const int Rt = std::clamp(std::max(R.Left, R.Right), 0, FBitMap.width());
  const int T = std::clamp(std::min(R.Top, R.Bottom), 0, FBitMap.height());
  const int B = std::clamp(std::max(R.Top, R.Bottom), 0, FBitMap.height());
  for (int Y = T; Y < B; ++Y) {
    auto* Line = reinterpret_cast<QRgb*>(FBitMap.scanLine(Y));
    std::fill(Line + L, Line + Rt, qRgb(255, 255, 255));
  }
}

TqdCanvas* TqdSelectionMatrix::BeginFrame(TqdPoint Size) {
  FCanvas.reset();
  // The whole raster is painted by every frame, with a fresh number list.
  SetSize(Size);
  FCanvas = std::make_unique<TqdQtCanvas>(&FBitMap);
  FCanvas->SetAntialiasing(false);
  return FCanvas.get();
}

void TqdSelectionMatrix::EndFrame(std::vector<const TqdDXFEntity*>&& Numbers) {
  if (FCanvas) FCanvas->End();
  FCanvas.reset();
  FEntities = std::move(Numbers);
  FValid = true;
}

std::uint32_t TqdSelectionMatrix::AddElement(const TqdDXFEntity* Item, TqdElementType) {
  if (Item) FEntities.push_back(Item);
  return GetCurrColor();
}

void TqdSelectionMatrix::SetPrecision(int V) {
  FPrecision = V < 0 ? cnstDefaultPrecision : std::min(V, cnstMaxPrecision);
}

std::uint32_t TqdSelectionMatrix::NumberAt(int X, int Y) const {
  if (!FValid || X < 0 || Y < 0 || X >= FBitMap.width() || Y >= FBitMap.height()) return cnstNoEntity;
  return PixelNumber(reinterpret_cast<const QRgb*>(FBitMap.constScanLine(Y))[X]);
}

bool TqdSelectionMatrix::Spiral(int X, int Y, std::uint32_t N, bool AnyValid, TqdPoint& Found,
                                std::uint32_t& Got) const {
  // Rings of growing distance: the first ring that holds the number has the
  // nearest pixel (in the square metric). Pixels outside the raster read as none.
  for (int D = 0; D <= std::max(FPrecision, 0); ++D) {
    for (int DY = -D; DY <= D; ++DY) {
      const bool Edge = DY == -D || DY == D;
      for (int DX = -D; DX <= D; DX += Edge ? 1 : 2 * D) {
        const std::uint32_t V = NumberAt(X + DX, Y + DY);
        if (AnyValid ? IsValidNumber(V) : V == N) {
          Found = {X + DX, Y + DY};
          Got = V;
          return true;
        }
        if (D == 0) break;
      }
    }
  }
  return false;
}

const TqdDXFEntity* TqdSelectionMatrix::GetElementInMatrix(int X, int Y) {
  FPointByEntity = {};
  if (!FValid || IsOverflow()) return nullptr;
  std::uint32_t N = cnstNoEntity;
  if (FPrecision < 2 || FSearchMode == smPoint) {
    N = NumberAt(X, Y);
    if (IsValidNumber(N)) FPointByEntity = {X, Y};
  } else if (FSearchMode == smSnail) {
    TqdPoint P;
    if (Spiral(X, Y, 0, true, P, N)) FPointByEntity = P;
  } else {
    // Counts of each number over the window, in the order first met (columns
    // from the left, each from the top); the window is cut to the raster.
    std::vector<std::pair<std::uint32_t, int>> Met;
    const int X0 = std::max(0, X - FPrecision), X1 = std::min(FBitMap.width() - 1, X + FPrecision);
    const int Y0 = std::max(0, Y - FPrecision), Y1 = std::min(FBitMap.height() - 1, Y + FPrecision);
    for (int CX = X0; CX <= X1; ++CX)
      for (int CY = Y0; CY <= Y1; ++CY) {
        const std::uint32_t V = NumberAt(CX, CY);
        if (!IsValidNumber(V)) continue;
        auto It = std::find_if(Met.begin(), Met.end(), [V](const auto& P) { return P.first == V; });
        if (It == Met.end())
          Met.emplace_back(V, 1);
        else
          ++It->second;
      }
    if (Met.empty()) return nullptr;
    if (Met.size() == 1) {
      N = Met.front().first;
    } else {
      // From the last met to the first: the running maximum changes hands only
      // on a strictly greater count; the answer is the holder before the latest
      // change, or the maximum's own number when it never changed.
      std::uint32_t MaxNum = Met.back().first, Prev = cnstNoEntity;
      int MaxCount = Met.back().second;
      for (std::size_t I = Met.size() - 1; I-- > 0;) {
        if (Met[I].second > MaxCount) {
          Prev = MaxNum;
          MaxNum = Met[I].first;
          MaxCount = Met[I].second;
        }
      }
      N = Prev != cnstNoEntity ? Prev : MaxNum;
    }
    TqdPoint P;
    std::uint32_t Got = 0;
    if (Spiral(X, Y, N, false, P, Got)) FPointByEntity = P;
  }
  if (!IsValidNumber(N)) {
    FPointByEntity = {};
    return nullptr;
  }
  return FEntities[N - 1];
}

void TqdSelectionMatrix::GetElements(int X, int Y, bool Unique, std::vector<const TqdDXFEntity*>& List) const {
  List.clear();
  if (!FValid || IsOverflow()) return;
  const int X0 = std::max(0, X - FPrecision), X1 = std::min(FBitMap.width() - 1, X + FPrecision);
  const int Y0 = std::max(0, Y - FPrecision), Y1 = std::min(FBitMap.height() - 1, Y + FPrecision);
  for (int CX = X0; CX <= X1; ++CX)
    for (int CY = Y0; CY <= Y1; ++CY) {
      const std::uint32_t V = NumberAt(CX, CY);
      if (!IsValidNumber(V)) continue;
      const TqdDXFEntity* E = FEntities[V - 1];
      if (Unique && std::find(List.begin(), List.end(), E) != List.end()) continue;
      List.push_back(E);
    }
}
