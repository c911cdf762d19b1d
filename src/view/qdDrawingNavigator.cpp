#include "qdDrawingNavigator.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "CADImage.h"
#include "qdError.h"
#include "qdFunction.h"
#include "qdQtCanvas.h"
#include "qdSelection.h"

bool& qdNavigatorPanButtons() {
  static bool Pan = true;
  return Pan;
}

namespace {

// Device coordinates saturate at qdMaxDeviceCoord; a picture rectangle inside
// half of it keeps every projected point of the extents exact.
constexpr double cnstDefaultMaxDim = qdMaxDeviceCoord / 2;

// Frames of the view draw texts too small to read as lines and use the cores; the
// image's own settings (exports and prints draw in full) come back afterwards.
class TViewFrame {
 public:
  explicit TViewFrame(TqdCADImage* I) : FImage(I) {
    if (!FImage) return;
    FLOD = FImage->LevelOfDetail();
    FThreads = FImage->DrawThreads();
    FImage->SetLevelOfDetail(true);
    const unsigned N = std::thread::hardware_concurrency();
    FImage->SetDrawThreads(N == 0 ? 1 : static_cast<int>(std::min(N, 8u)));
  }
  ~TViewFrame() {
    if (!FImage) return;
    FImage->SetLevelOfDetail(FLOD);
    FImage->SetDrawThreads(FThreads);
  }
  TViewFrame(const TViewFrame&) = delete;
  TViewFrame& operator=(const TViewFrame&) = delete;

 private:
  TqdCADImage* FImage;
  bool FLOD = false;
  int FThreads = 1;
};

bool Finite(const TF2DRect& R) {
  return std::isfinite(R.Left) && std::isfinite(R.Top) && std::isfinite(R.Right) && std::isfinite(R.Bottom);
}

TF2DRect Normalized(TF2DRect R) {
  if (R.Left > R.Right) std::swap(R.Left, R.Right);
  if (R.Top > R.Bottom) std::swap(R.Top, R.Bottom);
  return R;
}

bool SameBox(const TFRect& A, const TFRect& B) {
  return A.Left == B.Left && A.Top == B.Top && A.Right == B.Right && A.Bottom == B.Bottom;
}

// A bracket that survives exceptions.
class TUpdate {
 public:
  explicit TUpdate(TqdDrawingNavigator& N) : FN(N) { FN.BeginUpdate(); }
  ~TUpdate() { FN.EndUpdate(); }

 private:
  TqdDrawingNavigator& FN;
};

}  // namespace

TqdDrawingNavigator::TqdDrawingNavigator(QWidget* Parent)
    : QWidget(Parent), FPicture(std::make_unique<TqdPicture>()), FMaxDim(cnstDefaultMaxDim) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  FPicture->OnProgress = [this](TqdGraphic* G, TqdProgressStage S, int P, const std::string& M) {
    if (OnProgress) OnProgress(G, S, P, M);
  };
}

TqdDrawingNavigator::~TqdDrawingNavigator() {
  // The graphic's events point here.
  if (TqdGraphic* G = ActualGraphic()) G->OnChange = nullptr;
  if (TqdCADImage* I = CADImage()) I->OnBeforeRotate = I->OnAfterRotate = nullptr;
}

TqdCADImage* TqdDrawingNavigator::CADImage() const { return dynamic_cast<TqdCADImage*>(ActualGraphic()); }

bool TqdDrawingNavigator::Empty() const { return ActualGraphic() == nullptr; }

// ---------------------------------------------------------------- loading

std::unique_ptr<TqdGraphic> TqdDrawingNavigator::ReadFile(const std::string& FileName) const {
  TqdPicture P;
  P.OnProgress = FPicture->OnProgress;
  P.LoadFromFile(FileName);
  // A drawing read in part is shown with its error among the load's warnings; one
  // with nothing in it is an error.
  if (auto* D = dynamic_cast<TqdCADImage*>(P.Graphic()); D && !D->LoadOk()) {
    const std::string Why = D->LoadError().empty() ? "Cannot read the drawing \"" + FileName + "\"" : D->LoadError();
    if (!D->HasContent()) throw EqdError(Why);
    D->AddLoadNote(Why);
  }
  return P.TakeGraphic();
}

void TqdDrawingNavigator::LoadFromFile(const std::string& FileName) {
  TUpdate U(*this);
  Clear();
  FLoadedFromConverter = false;
  std::unique_ptr<TqdGraphic> G = ReadFile(FileName);
  FPicture->SetGraphic(std::move(G));
  PictureChanged(true);
}

void TqdDrawingNavigator::LoadFromConverter(std::unique_ptr<TqdCADImage> Image) {
  TUpdate U(*this);
  Clear();
  FPicture->SetGraphic(std::move(Image));
  FLoadedFromConverter = ActualGraphic() != nullptr;
  if (ActualGraphic()) PictureChanged(true);
}

void TqdDrawingNavigator::SetGraphic(std::unique_ptr<TqdGraphic> G) {
  TUpdate U(*this);
  Clear();
  FPicture->SetGraphic(std::move(G));
  if (ActualGraphic()) PictureChanged(true);
}

void TqdDrawingNavigator::Clear() {
  if (TqdGraphic* G = ActualGraphic()) G->OnChange = nullptr;
  if (TqdCADImage* I = CADImage()) I->OnBeforeRotate = I->OnAfterRotate = nullptr;
  // The raster's numbers point into the picture that is going.
  if (FSelectionMatrix) FSelectionMatrix->Detach();
  FPicture->SetGraphic(nullptr);
  FLoadedFromConverter = false;
  FLayout = nullptr;
  FExtents = cnstBadRect;
  FWidthInPixels = 0;
  FFitPending = false;
  FPictureRect = {0, 0, 2, 2};
  FRectZoomingProcess = FMouseZooming = false;
  EndPan();
  if (OnPictureChange) OnPictureChange(this);
  Invalidate();
}

void TqdDrawingNavigator::HookGraphic() {
  TqdGraphic* G = ActualGraphic();
  if (!G) return;
  G->OnChange = [this](TqdGraphic*) {
    // A frame may set the image's matrix, which reports a change: that is not
    // a new picture, and repainting for it would never end.
    if (!FDrawing) PictureChanged(false);
  };
  if (TqdCADImage* I = CADImage()) {
    I->OnBeforeRotate = [this](TqdCADImage*) { BeginUpdate(); };
    I->OnAfterRotate = [this](TqdCADImage*) {
      FitToSize();
      EndUpdate();
    };
  }
}

void TqdDrawingNavigator::PictureChanged(bool NewGraphic) {
  // A fit or a frame may make the image report again.
  if (FInChange) return;
  FInChange = true;
  try {
    if (OnPictureChange) OnPictureChange(this);
    TUpdate U(*this);
    TqdCADImage* I = CADImage();
    if (NewGraphic) {
      HookGraphic();
      FLayout = I ? I->CurrentLayout() : nullptr;
      FExtents = I ? I->Extents() : cnstBadRect;
      FitToSize();
    } else if (I && I->CurrentLayout() != FLayout) {
      FLayout = I->CurrentLayout();
      FExtents = I->Extents();
      FitToSize();
    } else if (I && !SameBox(I->Extents(), FExtents)) {
      const TFRect Old = FExtents;
      FExtents = I->Extents();
      CorrectToExtents(Old, FExtents);
    }
    Invalidate();
  } catch (...) {
    FInChange = false;
    throw;
  }
  FInChange = false;
}

void TqdDrawingNavigator::CorrectToExtents(const TFRect& Old, const TFRect& New) {
  const double OW = Old.Right - Old.Left, OH = Old.Top - Old.Bottom;
  if (!(OW > 0) || !(OH > 0) || !std::isfinite(OW) || !std::isfinite(OH)) {
    FitToSize();
    return;
  }
  // Pixels per drawing unit stay as they are; the rectangle follows the box.
  const double KX = PictureRectWidth() / OW, KY = PictureRectHeight() / OH;
  TF2DRect R;
  R.Left = FPictureRect.Left + (New.Left - Old.Left) * KX;
  R.Right = R.Left + (New.Right - New.Left) * KX;
  R.Top = FPictureRect.Top + (Old.Top - New.Top) * KY;
  R.Bottom = R.Top + (New.Top - New.Bottom) * KY;
  if (!SetPictureRect2D(R)) FitToSize();
}

// ---------------------------------------------------------------- update bracket

void TqdDrawingNavigator::BeginUpdate() { ++FUpdateCount; }

void TqdDrawingNavigator::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount == 0) update();
}

// ---------------------------------------------------------------- rectangle

TqdIntRect TqdDrawingNavigator::PictureRect() const {
  return {RoundToInt(FPictureRect.Left), RoundToInt(FPictureRect.Top), RoundToInt(FPictureRect.Right),
          RoundToInt(FPictureRect.Bottom)};
}

TF2DPoint TqdDrawingNavigator::PictureRectCenter() const {
  return {(FPictureRect.Left + FPictureRect.Right) / 2, (FPictureRect.Top + FPictureRect.Bottom) / 2};
}

int TqdDrawingNavigator::PictureWidth() const { return ActualGraphic() ? ActualGraphic()->GetWidth() : 0; }
int TqdDrawingNavigator::PictureHeight() const { return ActualGraphic() ? ActualGraphic()->GetHeight() : 0; }

double TqdDrawingNavigator::Scale() const {
  if (Empty() || FWidthInPixels == 0) return 1;
  return PictureRectWidth() / FWidthInPixels;
}

void TqdDrawingNavigator::SetMaxDim(double V) {
  if (std::isfinite(V) && V >= 16 && V <= cnstDefaultMaxDim) FMaxDim = V;
}

bool TqdDrawingNavigator::ZoomInEnable() const {
  return PictureRectWidth() * FZoomInChange < FMaxDim && PictureRectHeight() * FZoomInChange < FMaxDim;
}

bool TqdDrawingNavigator::ZoomOutEnable() const { return PictureRectWidth() > 2 && PictureRectHeight() > 2; }

bool TqdDrawingNavigator::SetPictureRect2D(const TF2DRect& Rect) {
  if (!Finite(Rect)) return false;
  const TF2DRect R = Normalized(Rect);
  if (R.Right - R.Left >= FMaxDim || R.Bottom - R.Top >= FMaxDim) return false;
  if (R.Left < -FMaxDim || R.Top < -FMaxDim || R.Right > FMaxDim || R.Bottom > FMaxDim) return false;
  const double DW = (R.Right - R.Left) - PictureRectWidth(), DH = (R.Bottom - R.Top) - PictureRectHeight();
  if (std::fabs(DW) >= 1 || std::fabs(DH) >= 1) {
    FPictureRect = R;
    Invalidate();
    if (OnChangeScale) OnChangeScale(this);
    return true;
  }
  if (std::fabs(R.Left - FPictureRect.Left) >= 1 || std::fabs(R.Top - FPictureRect.Top) >= 1) {
    FPictureRect = R;
    Invalidate();
    if (OnPictureMove) OnPictureMove(this);
    return true;
  }
  return false;
}

TF2DRect TqdDrawingNavigator::ClampIntoRange(TF2DRect R) const {
  if (R.Left < -FMaxDim) {
    R.Right += -FMaxDim - R.Left;
    R.Left = -FMaxDim;
  } else if (R.Right > FMaxDim) {
    R.Left -= R.Right - FMaxDim;
    R.Right = FMaxDim;
  }
  if (R.Top < -FMaxDim) {
    R.Bottom += -FMaxDim - R.Top;
    R.Top = -FMaxDim;
  } else if (R.Bottom > FMaxDim) {
    R.Top -= R.Bottom - FMaxDim;
    R.Bottom = FMaxDim;
  }
  return R;
}

// ---------------------------------------------------------------- zoom and pan

bool TqdDrawingNavigator::AlterScale(bool IsAbsolute, TF2DPoint P, double Factor) {
  if (!std::isfinite(Factor) || Factor <= 1e-6 || !std::isfinite(P.X) || !std::isfinite(P.Y)) return false;
  if (IsAbsolute) Factor /= Scale();
  if (!std::isfinite(Factor) || Factor <= 1e-6) return false;
  double W = PictureRectWidth(), H = PictureRectHeight();
  if (W == 0) W = 2;
  if (H == 0) H = 2;
  // Strictly below MaxDim: a rectangle at the limit would be refused.
  const double K = std::min({1.0, (FMaxDim - 1) / (Factor * W), (FMaxDim - 1) / (Factor * H)});
  Factor *= K;
  const TF2DRect& C = FPictureRect;
  TF2DRect R{P.X - Factor * (P.X - C.Left), P.Y - Factor * (P.Y - C.Top), P.X + Factor * (C.Right - P.X),
             P.Y + Factor * (C.Bottom - P.Y)};
  if (R.Right - R.Left < 2) R.Right = R.Left + 2;
  if (R.Bottom - R.Top < 2) R.Bottom = R.Top + 2;
  FViewMoved = true;
  return SetPictureRect2D(ClampIntoRange(R));
}

bool TqdDrawingNavigator::ImageBox(double& W, double& H) const {
  TqdGraphic* G = ActualGraphic();
  if (!G) return false;
  TFRect Box = cnstBadRect;
  if (OnGetImageExtents && OnGetImageExtents(const_cast<TqdDrawingNavigator*>(this), Box)) {
    if (const TqdCADImage* I = CADImage(); I && I->CurrentLayout())
      Box = TransformBox(Box, I->CurrentLayout()->RotMatrix());
    W = Box.Right - Box.Left;
    H = Box.Top - Box.Bottom;
  } else if (const TqdCADImage* I = CADImage()) {
    W = I->AbsWidth();
    H = I->AbsHeight();
  } else {
    W = G->GetWidth();
    H = G->GetHeight();
  }
  return std::isfinite(W) && std::isfinite(H) && W > 0 && H > 0;
}

void TqdDrawingNavigator::FitToSize() {
  const int CW = width(), CH = height();
  // Fitting into a client below 2 x 2 gives an empty or negative rectangle.
  if (CW < 2 || CH < 2) {
    FFitPending = true;
    return;
  }
  FFitPending = false;
  TF2DRect R{0, 0, double(CW), double(CH)};
  double W = 0, H = 0;
  if (ImageBox(W, H)) {
    double D = (CW - 1) / W;
    if (H * D > CH - 1) D = (CH - 1) / H;
    const double RW = W * D, RH = H * D;
    if (std::isfinite(RW) && std::isfinite(RH) && RW > 0 && RH > 0) {
      R.Left = (CW - RW) / 2;
      R.Top = (CH - RH) / 2;
      R.Right = R.Left + RW;
      R.Bottom = R.Top + RH;
    }
  }
  if (R.Right - R.Left < 2) R.Right = R.Left + 2;
  if (R.Bottom - R.Top < 2) R.Bottom = R.Top + 2;
  if (!SetPictureRect2D(R)) {
    // Less than a pixel away: keep the exact fitted rectangle.
    if (std::fabs(R.Right - R.Left - PictureRectWidth()) >= 1 || std::fabs(R.Bottom - R.Top - PictureRectHeight()) >= 1)
      return;
    FPictureRect = R;
  }
  FWidthInPixels = PictureRectWidth();
  FViewMoved = false;
  for (const TqdNavigatorEvent& L : FitToSizeListeners)
    if (L) L(this);
  Invalidate();
}

void TqdDrawingNavigator::MovePictureRect(int DX, int DY) { MovePictureRect2D(DX, DY); }

void TqdDrawingNavigator::MovePictureRect2D(double DX, double DY) {
  if (!std::isfinite(DX) || !std::isfinite(DY)) return;
  TF2DRect R = FPictureRect;
  // Long pans stop at the edge of the range instead of overflowing it.
  DX = std::clamp(DX, -FMaxDim - R.Left, FMaxDim - R.Right);
  DY = std::clamp(DY, -FMaxDim - R.Top, FMaxDim - R.Bottom);
  R.Left += DX;
  R.Right += DX;
  R.Top += DY;
  R.Bottom += DY;
  FViewMoved = true;
  const TqdIntRect Before = PictureRect();
  const bool CanShift = FMoveByMouse && FBufferValid && FUpdateCount == 0 && !FBuffer.isNull() &&
                        FBuffer.size() == size();
  if (!SetPictureRect2D(R) || !CanShift) return;
  const TqdIntRect After = PictureRect();
  if (After.Right - After.Left == Before.Right - Before.Left && After.Bottom - After.Top == Before.Bottom - Before.Top)
    ShiftBuffer(After.Left - Before.Left, After.Top - Before.Top);
}

bool TqdDrawingNavigator::ShiftBuffer(int DX, int DY) {
  const int W = FBuffer.width(), H = FBuffer.height();
  TqdGraphic* G = ActualGraphic();
  TqdCADImage* I = CADImage();
  if (!G || !I || std::abs(DX) >= W || std::abs(DY) >= H) return false;
  const QImage Old = FBuffer.copy();
  const TqdDeviceColor B = I->BackgroundColor();
  FBuffer.fill(QColor(GetRValue(B), GetGValue(B), GetBValue(B)));
  {
    QPainter P(&FBuffer);
    P.drawImage(DX, DY, Old);
  }
  // The uncovered strips, each drawn through the clip (the index keeps them cheap).
  std::vector<TqdIntRect> Strips;
  if (DX > 0) Strips.push_back({0, 0, DX, H});
  if (DX < 0) Strips.push_back({W + DX, 0, W, H});
  if (DY > 0) Strips.push_back({0, 0, W, DY});
  if (DY < 0) Strips.push_back({0, H + DY, W, H});
  FDrawing = true;
  try {
    const TViewFrame View(I);
    for (const TqdIntRect& S : Strips) {
      TqdQtCanvas C(&FBuffer);
      C.SetAntialiasing(FAntialiasing);
      C.IntersectClipRect(S);
      G->Draw(C, PictureRect());
    }
  } catch (const std::exception& E) {
    std::fprintf(stderr, "draftwell: drawing failed: %s\n", E.what());
  }
  FDrawing = false;
  // The selection raster still belongs to the last whole frame: the pan's end
  // draws one again.
  FBufferValid = true;
  FPanShifted = true;
  update();
  return true;
}

void TqdDrawingNavigator::ZoomToRect(const TF2DRect& Rect) {
  const TF2DRect Z = Normalized(Rect);
  const double ZW = Z.Right - Z.Left, ZH = Z.Bottom - Z.Top;
  if (!Finite(Z) || ZW < 1e-9 || ZH < 1e-9) return;
  const double CW = width(), CH = height();
  double S = CW / ZW, A = 0, B = 0;
  if (ZH * S > CH) {
    S = CH / ZH;
    A = (CW - ZW * S) / 2;
  } else {
    B = (CH - ZH * S) / 2;
  }
  const TF2DRect& C = FPictureRect;
  TF2DRect R;
  R.Left = S * (C.Left - Z.Left) + A;
  R.Top = S * (C.Top - Z.Top) + B;
  R.Right = R.Left + S * PictureRectWidth();
  R.Bottom = R.Top + S * PictureRectHeight();
  if (R.Right - R.Left >= FMaxDim || R.Bottom - R.Top >= FMaxDim) return;
  FViewMoved = true;
  SetPictureRect2D(ClampIntoRange(R));
}

void TqdDrawingNavigator::Center() {
  const TF2DPoint C = PictureRectCenter();
  MovePictureRect2D(width() / 2.0 - C.X, height() / 2.0 - C.Y);
}

void TqdDrawingNavigator::Rotate(int Axis, double Angle) {
  if (TqdCADImage* I = CADImage()) I->Rotate(Axis, Angle);
}

void TqdDrawingNavigator::RotToView(int View) {
  if (TqdCADImage* I = CADImage()) I->RotToView(static_cast<TqdDXFViewDirection>(View));
}

// ---------------------------------------------------------------- coordinates

bool TqdDrawingNavigator::PictureFractions(double X, double Y, double& FX, double& FY) const {
  FX = FY = 0;
  const double W = PictureRectWidth(), H = PictureRectHeight();
  if (!(W > 0) || !(H > 0) || !std::isfinite(X) || !std::isfinite(Y)) return false;
  FX = (X - FPictureRect.Left) / W;
  FY = 1 - (Y - FPictureRect.Top) / H;
  return true;
}

TFPoint TqdDrawingNavigator::GetDrawingInternalCoordsWithoutSnap(double X, double Y) const {
  double FX = 0, FY = 0;
  if (!PictureFractions(X, Y, FX, FY)) return {};
  if (const TqdCADImage* I = CADImage()) {
    if (!I->CurrentLayout()) return {};
    return I->GetCADCoords(FX, 1 - FY);
  }
  if (!ActualGraphic()) return {};
  return {PictureWidth() * FX, PictureHeight() * FY, 0};
}

TFPoint TqdDrawingNavigator::GetDrawingInternalCoords(double X, double Y) const {
  return GetDrawingInternalCoordsWithoutSnap(X, Y);
}

TFPoint TqdDrawingNavigator::GetDrawingCoords(double X, double Y) const { return GetDrawingInternalCoords(X, Y); }

TFPoint TqdDrawingNavigator::GetDrawingUCSCoords(double X, double Y) const {
  const TFPoint P = GetDrawingInternalCoords(X, Y);
  const TqdCADImage* I = CADImage();
  if (!I || !I->Converter() || !I->CurrentLayout()) return P;
  bool Ok = false;
  const TFMatrix Inv = InvertMatrix(I->Converter()->GetUCS(I->CurrentLayout()), &Ok);
  if (!Ok) return P;
  const TFPoint Q = TransformPoint(P, Inv);
  return IsFiniteFPoint(Q) ? Q : P;
}

// ---------------------------------------------------------------- painting

void TqdDrawingNavigator::SetAntialiasing(bool V) {
  if (V == FAntialiasing) return;
  FAntialiasing = V;
  Invalidate();
}

void TqdDrawingNavigator::Invalidate() {
  FBufferValid = false;
  FZoomScaled = false;
  if (FUpdateCount == 0) update();
}

void TqdDrawingNavigator::RenderBuffer() {
  const QSize S = size();
  if (FBuffer.size() != S) FBuffer = QImage(S, QImage::Format_RGB32);
  if (FBuffer.isNull()) return;
  TqdGraphic* G = ActualGraphic();
  TqdCADImage* I = CADImage();
  if (I) {
    const TqdDeviceColor B = I->BackgroundColor();
    FBuffer.fill(QColor(GetRValue(B), GetGValue(B), GetBValue(B)));
  } else {
    FBuffer.fill(palette().color(QPalette::Window));
  }
  FBufferValid = true;
  if (!G) return;
  FDrawing = true;
  // The selection raster is painted in the same pass, at the client's size.
  TqdSelectionMatrix* M = I ? FSelectionMatrix : nullptr;
  if (FSelectionMatrix && !M) FSelectionMatrix->Detach();
  auto EndSelection = [&] {
    if (!M) return;
    I->SetSelectionCanvas(nullptr);
    M->EndFrame(std::move(I->SelectionEntities()));
    I->SelectionEntities().clear();
  };
  try {
    TqdQtCanvas C(&FBuffer);
    C.SetAntialiasing(FAntialiasing);
    if (M) {
      I->SetVisibleArea({S.width(), S.height()});
      I->SetSelectionCanvas(M->BeginFrame({S.width(), S.height()}));
    }
    {
      const TViewFrame View(I);
      // DRAFTWELL_FRAME_LOG set: each full frame's time on stderr (wheel steps and
      // resizes of a large drawing measured through the event loop).
      static const bool Log = std::getenv("DRAFTWELL_FRAME_LOG") != nullptr;
      const auto T0 = std::chrono::steady_clock::now();
      G->Draw(C, PictureRect());
      if (Log)
        std::fprintf(stderr, "draftwell: frame %dx%d in %.1f ms (%d threads)\n", S.width(), S.height(),
                     std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count(),
                     I ? I->DrawThreads() : 1);
    }
    C.End();
    EndSelection();
    FDrawing = false;
  } catch (const std::exception& E) {
    EndSelection();
    FDrawing = false;
    // A frame that fails stays partly drawn; the next change tries again.
    std::fprintf(stderr, "draftwell: drawing failed: %s\n", E.what());
  }
}

void TqdDrawingNavigator::SetSelectionMatrix(TqdSelectionMatrix* M) {
  if (M == FSelectionMatrix) return;
  if (FSelectionMatrix) FSelectionMatrix->Detach();
  FSelectionMatrix = M;
  Invalidate();
}

void TqdDrawingNavigator::RefreshFrame() {
  if (FUpdateCount == 0 && (!FBufferValid || FBuffer.size() != size())) RenderBuffer();
}

void TqdDrawingNavigator::paintEvent(QPaintEvent*) {
  // Inside an update bracket the picture may be half-built: show the last frame.
  if (FUpdateCount == 0 && (!FBufferValid || FBuffer.size() != size())) RenderBuffer();
  QPainter P(this);
  if (!FBuffer.isNull())
    P.drawImage(0, 0, FBuffer);
  else
    P.fillRect(rect(), palette().color(QPalette::Window));
  if (FUpdateCount > 0) return;
  if (OnPaint) OnPaint(this, P);
  if (FRectZoomingProcess) {
    // The rubber rectangle: a dotted pen over the frame, no fill.
    const TF2DRect R = Normalized(FZoomingRect);
    QPen Pen(Qt::black, 1, Qt::DotLine);
    P.setPen(Pen);
    P.setBrush(Qt::NoBrush);
    P.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    P.drawRect(QRectF(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top));
  }
}

void TqdDrawingNavigator::resizeEvent(QResizeEvent* E) {
  QWidget::resizeEvent(E);
  FBufferValid = false;
  if ((FFitPending || (FRefitOnResize && !FViewMoved && !Empty())) && width() >= 2 && height() >= 2) FitToSize();
}

// ---------------------------------------------------------------- mouse

void TqdDrawingNavigator::wheelEvent(QWheelEvent* E) {
  E->accept();
  if (FRectZoomingProcess || Empty()) return;
  // Some platforms turn Shift+wheel into a horizontal wheel.
  const int Delta = E->angleDelta().y() != 0 ? E->angleDelta().y() : E->angleDelta().x();
  FWheelRest += Delta;
  // One step per notch; smooth wheels send parts of a notch.
  const int Steps = FWheelRest / 120;
  FWheelRest -= Steps * 120;
  if (Steps == 0) return;
  const Qt::KeyboardModifiers M = E->modifiers();
  double Up = 0, Down = 0;
  if (M & Qt::ControlModifier) {
    Up = 1.01;
    Down = 0.99;
  } else if ((M & Qt::ShiftModifier) || (E->buttons() & Qt::LeftButton) ||
             ((M & ~Qt::KeypadModifier) == Qt::NoModifier && FScalingOnMouseWheel)) {
    Up = FZoomInChange;
    Down = FZoomOutChange;
  } else {
    return;
  }
  const QPointF P = E->position();
  if (FDrawOnEveryMouseWheel) {
    for (int I = 0; I < std::abs(Steps); ++I) AlterScale(false, {P.x(), P.y()}, Steps > 0 ? Up : Down);
    return;
  }
  const TF2DRect Before = FPictureRect;
  const bool CanScale = FUpdateCount == 0 && FBufferValid && !FBuffer.isNull() && FBuffer.size() == size() && !FMoveByMouse;
  BeginUpdate();
  bool Changed = false;
  for (int I = 0; I < std::abs(Steps); ++I) Changed |= AlterScale(false, {P.x(), P.y()}, Steps > 0 ? Up : Down);
  if (Changed && CanScale) ScaleBuffer(Before);
  EndUpdate();
  if (FZoomScaled) {
    // The scaled copy is on screen before the frame is drawn; the exact frame
    // waits for the wheel messages already queued (each scales the copy again).
    repaint();
    QTimer::singleShot(0, this, [this] {
      if (FZoomScaled) {
        FZoomScaled = false;
        Invalidate();
      }
    });
  }
}

void TqdDrawingNavigator::ScaleBuffer(const TF2DRect& Before) {
  const TF2DRect& After = FPictureRect;
  const double BW = Before.Right - Before.Left, BH = Before.Bottom - Before.Top;
  const double SX = (After.Right - After.Left) / BW, SY = (After.Bottom - After.Top) / BH;
  if (!(BW > 0) || !(BH > 0) || !std::isfinite(SX) || !std::isfinite(SY) || !(SX > 0) || !(SY > 0)) return;
  const TqdCADImage* I = CADImage();
  const QImage Old = FBuffer.copy();
  if (I) {
    const TqdDeviceColor B = I->BackgroundColor();
    FBuffer.fill(QColor(GetRValue(B), GetGValue(B), GetBValue(B)));
  } else {
    FBuffer.fill(palette().color(QPalette::Window));
  }
  {
    // Pixel X of the last frame lands at After.Left + (X - Before.Left) * SX.
    QPainter P(&FBuffer);
    const QRectF Target(After.Left - Before.Left * SX, After.Top - Before.Top * SY, Old.width() * SX, Old.height() * SY);
    P.drawImage(Target, Old, QRectF(Old.rect()));
  }
  FBufferValid = true;
  FZoomScaled = true;
}

void TqdDrawingNavigator::SettleZoom() {
  if (!FZoomScaled) return;
  FZoomScaled = false;
  FBufferValid = false;
  if (FUpdateCount == 0) RenderBuffer();
}

void TqdDrawingNavigator::mousePressEvent(QMouseEvent* E) {
  // A click reads the selection raster of the exact frame.
  SettleZoom();
  if (OnMouseDown) OnMouseDown(this, E);
  const QPoint P = E->position().toPoint();
  FMouseDownPt = FPrevPt = P;
  if (E->button() == Qt::LeftButton) {
    if (FImageDragMode) {
      if (FMouseDragging) {
        FMoveByMouse = true;
        setCursor(Qt::ClosedHandCursor);
      }
    } else if (FRectZooming && !Empty()) {
      if (!FRectZoomingProcess) {
        FRectZoomingProcess = true;
        FZoomingRect = {double(P.x()), double(P.y()), double(P.x()), double(P.y())};
      } else {
        FZoomingRect.Right = P.x();
        FZoomingRect.Bottom = P.y();
      }
      update();
    } else if (FMouseScaling && !Empty()) {
      FMouseZooming = true;
    }
  } else if (E->button() == Qt::RightButton || E->button() == Qt::MiddleButton) {
    if (FMouseDragging && (qdNavigatorPanButtons() || FImageDragMode)) {
      FMoveByMouse = true;
      setCursor(Qt::ClosedHandCursor);
    }
  }
}

void TqdDrawingNavigator::mouseMoveEvent(QMouseEvent* E) {
  const QPoint P = E->position().toPoint();
  if (FAutoFocus && isEnabled() && isVisible() && !hasFocus() && QApplication::activeWindow()) setFocus();
  if (FMoveByMouse) {
    const QPoint D = P - FPrevPt;
    if (!D.isNull()) MovePictureRect(D.x(), D.y());
  } else if (FRectZoomingProcess) {
    FZoomingRect.Right = std::clamp(P.x(), 0, std::max(0, width() - 1));
    FZoomingRect.Bottom = std::clamp(P.y(), 0, std::max(0, height() - 1));
    update();
  } else if (FMouseZooming) {
    const int DY = P.y() - FPrevPt.y();
    if (DY != 0) AlterScale(false, {double(FMouseDownPt.x()), double(FMouseDownPt.y())}, DY > 0 ? 1.1 : 1 / 1.1);
  }
  FPrevPt = P;
  if (OnMouseMove) OnMouseMove(this, E);
}

bool TqdDrawingNavigator::EndPan() {
  if (!FMoveByMouse) return false;
  FMoveByMouse = false;
  unsetCursor();
  if (FPanShifted) {
    FPanShifted = false;
    Invalidate();
  }
  return true;
}

void TqdDrawingNavigator::mouseReleaseEvent(QMouseEvent* E) {
  if (FRectZoomingProcess && E->button() == Qt::LeftButton) {
    FRectZoomingProcess = false;
    const TF2DRect Z = FZoomingRect;
    update();
    ZoomToRect(Z);
  }
  FMouseZooming = false;
  EndPan();
  if (OnMouseUp) OnMouseUp(this, E);
}

void TqdDrawingNavigator::mouseDoubleClickEvent(QMouseEvent* E) {
  if (E->button() == Qt::MiddleButton) {
    FitToSize();
    return;
  }
  // Qt sends a double click instead of the second press.
  mousePressEvent(E);
}
