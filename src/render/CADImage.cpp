#include "CADImage.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <exception>
#include <iterator>
#include <thread>

#include "Inserts.h"
#include "qdDrawCache.h"
#include "qdIterator.h"
#include "qdTicks.h"

TqdImageDefaults& qdImageDefaults() {
  static TqdImageDefaults D;
  return D;
}

namespace {

thread_local TqdCADImage* GLoadingImage = nullptr;

// Marks the image as the one being loaded on this thread for the scope.
class TLoadingMark {
 public:
  TLoadingMark(TqdCADImage* I, bool& Flag) : FFlag(Flag), FPrev(GLoadingImage) {
    GLoadingImage = I;
    FFlag = true;
  }
  ~TLoadingMark() {
    GLoadingImage = FPrev;
    FFlag = false;
  }

 private:
  bool& FFlag;
  TqdCADImage* FPrev;
};

// The fixed box used when a layout has none.
constexpr TFRect cnstDefaultBox{0, 0, 0, 0, 0, 0};

bool IsValidBox(const TFRect& R) { return IsFiniteBox(R) && R.Left <= R.Right && R.Bottom <= R.Top; }

}  // namespace

// ---------------------------------------------------------------- life

TqdCADImage::TqdCADImage() {
  const TqdImageDefaults& D = qdImageDefaults();
  FBorderType = D.BorderType;
  FBorderSize = D.BorderSize;
  FDraw.Matrix = ScalingMatrix(1, -1, 1);
  FDraw.DrawMatrix = FDraw.Matrix;
  FChangeBackgroundColor = ContrastColor(FBackgroundColor);
  // An empty drawing to build in; a load replaces it by one of the image's class.
  FConverter = new TqdDXFConverter(TqdConverterParams{});  // holds its first reference
  SetExtentsParameters(cnstBadRect, false);
}

TqdCADImage::~TqdCADImage() {
  if (FConverter) FConverter->Release();
}

TqdConverterParams TqdCADImage::GetConverterParams() const {
  TqdConverterParams P;
  P.FileName = FFileName;
  return P;
}

TqdConverterParams TqdImageWithHandles::GetConverterParams() const {
  TqdConverterParams P = TqdCADImage::GetConverterParams();
  P.CheckHandles = true;
  return P;
}

TqdDXFConverter* TqdCADImage::CreateConverter() {
  return new TqdDXFConverter(GetConverterParams());  // holds its first reference
}

void TqdCADImage::Reset() {
  FCurrentLayout = nullptr;
  if (FDrawCache) FDrawCache->Clear();
  if (FConverter) FConverter->Release();
  FConverter = CreateConverter();
  FFileInfo.clear();
}

// ---------------------------------------------------------------- loading

bool TqdCADImage::IsLoading() { return GLoadingImage != nullptr; }

int TqdCADImage::ProgressPercent(long long Done, long long Total) {
  if (Total <= 0) return 0;
  const long double P = static_cast<long double>(Done) * 100 / Total;
  if (!(P > 0)) return 0;
  return P >= 100 ? 100 : static_cast<int>(P + 0.5L);
}

void TqdCADImage::ReaderProgress(TqdProgressStage Stage, long long Done, long long Total) {
  if (!FIsProcessMessages) return;
  if (Stage == psRunning) {
    // At most one report per 256 ms slot of the clock.
    const std::uint64_t Slot = GetTickCount() & ~std::uint64_t(0xFF);
    if (Slot == FLastProgressSlot) return;
    FLastProgressSlot = Slot;
  }
  // The host runs its events here (the editor: input-free ones, a Stop action
  // being the only re-entry it allows while the reader owns the converter).
  if (OnProcessMessages) OnProcessMessages();
  const std::string Msg = Stage == psStarting ? "Loading file..." : "Loading entities...";
  Progress(Stage, ProgressPercent(Done, Total), Msg);
}

void TqdCADImage::StopLoading() {
  if (FConverter && FLoading) FConverter->StopLoading();
}

void TqdCADImage::RunLoad(const std::function<void()>& Body) {
  if (FLoading) throw EqdImageError("The picture is already being loaded");
  TLoadingMark Mark(this, FLoading);
  Reset();
  FLastProgressSlot = ~std::uint64_t(0);
  ReaderProgress(psStarting, 0, 1);
  Body();
  ReaderProgress(psEnding, 1, 1);
  if (TqdDXFLayout* Model = FConverter->GetLayout(0)) Model->SetRotMatrix(FConverter->ViewTwistMatrix());
  FLoading = false;
  GetExtents();
}

void TqdCADImage::LoadFromFile(const std::string& FileName) {
  if (FLoading) throw EqdImageError("The picture is already being loaded");
  FFileName = FileName;
  LoadFile(FileName);
}

void TqdCADImage::LoadFile(const std::string& FileName) {
  if (!ReaderFormat().empty() && !qdImageDefaults().KeepSource) {
    ReadDrawing(nullptr, 0, &FileName);
    return;
  }
  std::ifstream F(FileName, std::ios::binary);
  if (!F) throw EqdImageError("Cannot open file \"" + FileName + "\"");
  LoadFromStream(F);
}

void TqdCADImage::LoadFromStream(std::istream& Stream) {
  FStream.clear();
  if (!qdImageDefaults().KeepSource) return;
  const auto Pos = Stream.tellg();
  FStream.assign(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>());
  Stream.clear();
  if (Pos != std::streampos(-1)) Stream.seekg(Pos);
}

bool TqdCADImage::HasContent() const {
  if (!FConverter) return false;
  for (int J = 0; J < FConverter->LayoutsCount(); ++J)
    if (const TqdDXFLayout* L = FConverter->GetLayout(J))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField(); B && B->Count() > 0) return true;
  const TqdDXFEntity* Blocks = FConverter->GetSection(csBlocks);
  return Blocks && Blocks->Count() > 2;
}

std::vector<std::string> TqdCADImage::LoadWarnings() const {
  std::vector<std::string> R = FNotes;
  R.insert(R.end(), FWarningList.begin(), FWarningList.end());
  return R;
}

void TqdCADImage::ReadDrawing(const void* Data, std::size_t Size, const std::string* Path) {
  if (!qdFindDrawingReader(ReaderFormat())) throw EqdImageError(NoReaderMessage());
  FLoadResult = TqdLoadResult{};
  FWarningList.clear();
  RunLoad([&] {
    TqdDXFConverter& C = *Converter();
    if (!FileName().empty()) C.SetFileName(FileName());
    TqdLoadOptions O;
    O.RecordNames = true;
    O.OnProgress = [this](std::size_t Pos, std::size_t Limit) {
      ReaderProgress(psRunning, static_cast<long long>(Pos), static_cast<long long>(Limit));
    };
    FLoadResult = Path ? qdLoadDrawingFile(ReaderFormat(), *Path, C, O) : qdLoadDrawing(ReaderFormat(), Data, Size, C, O);
    // A misnamed file says what it is in front of its error, as a refused one does.
    if (!FLoadResult.Error.empty() && !FNotes.empty()) FLoadResult.Error = FNotes.front() + ": " + FLoadResult.Error;
    // The converter keeps what the load had to say, next to what the database met.
    for (const std::string& W : FLoadResult.Warnings) C.AddWarning(W);
    for (const std::string& W : qdNotDrawnWarnings(C, &FLoadResult)) C.AddWarning(W);
    FWarningList = C.Warnings();
    SetFileInfo(FLoadResult.Version);
  });
}

namespace {

// Reads a whole stream for a reader that wants its data in memory.
void ReadStream(TqdCADImage& I, std::istream& S, const std::vector<std::uint8_t>& Kept,
                const std::function<void(const void*, std::size_t)>& Read) {
  if (!S.good() && !S.eof()) throw EqdImageError("Cannot read the stream");
  if (!Kept.empty()) {
    Read(Kept.data(), Kept.size());
    return;
  }
  std::vector<char> Bytes;
  Bytes.assign(std::istreambuf_iterator<char>(S), std::istreambuf_iterator<char>());
  Read(Bytes.data(), Bytes.size());
}

}  // namespace

void TqdCADdxfImage::LoadFromStream(std::istream& S) {
  TqdCADImage::LoadFromStream(S);
  ReadStream(*this, S, Stream(), [this](const void* D, std::size_t N) { ReadDrawing(D, N, nullptr); });
}

void TqdDWGImage::LoadFromStream(std::istream& S) {
  TqdCADImage::LoadFromStream(S);
  ReadStream(*this, S, Stream(), [this](const void* D, std::size_t N) { ReadDrawing(D, N, nullptr); });
}

void TqdHPGLImage::LoadFromStream(std::istream& S) {
  TqdCADImage::LoadFromStream(S);
  ReadStream(*this, S, Stream(), [this](const void* D, std::size_t N) { ReadDrawing(D, N, nullptr); });
}

void RegisterCADImages() {
  TqdGraphicFormats& F = TqdGraphicFormats::Instance();
  F.Register("dxf", "AutoCAD DXF", [] { return std::unique_ptr<TqdGraphic>(new TqdCADdxfImage); }, "dxf");
  const TqdGraphicFactory DWG = [] { return std::unique_ptr<TqdGraphic>(new TqdDWGImage); };
  F.Register("dwg", "AutoCAD DWG", DWG, "dwg");
  F.Register("dwt", "AutoCAD DWT", DWG, "dwg");
  F.Register("gp2", "AutoCAD DWG", DWG, "dwg");
  for (const char* E : {"pcl", "plt", "hgl", "hg", "hpg", "plo", "hp", "hpp", "hp1", "hp2", "hp3", "hpgl", "hpgl2",
                        "gl", "gl2", "prn", "spl", "rtl"})
    F.Register(E, "HPGL/2 image", [] { return std::unique_ptr<TqdGraphic>(new TqdHPGLImage); }, "hpgl");
}

// ---------------------------------------------------------------- layouts

int TqdCADImage::LayoutsCount() const { return FConverter ? FConverter->LayoutsCount() : 0; }

TqdDXFLayout* TqdCADImage::GetLayout(int Index) const {
  return FConverter && Index >= 0 && Index < FConverter->LayoutsCount() ? FConverter->GetLayout(Index) : nullptr;
}

void TqdCADImage::SetCurrentLayout(TqdDXFLayout* Layout, int Index) {
  if (FLoading) return;
  if (OnLayoutBeforeChange) OnLayoutBeforeChange(this, Index);
  const TqdDXFLayout* Old = FCurrentLayout;
  FCurrentLayout = Layout;
  if (Layout) {
    if (Layout != Old && !FCustomDraw) SetDrawMatrix(Layout->RotMatrix());
    SetExtentsParameters(Layout->Box(), Layout->CADSpace() != csUndefined);
  } else {
    FDraw.Matrix = cnstIdentityMat;
    SetExtentsParameters(cnstBadRect, false);
  }
  if (OnLayoutChange) OnLayoutChange(this);
}

bool TqdCADImage::SelectLayout(const std::string& NameOrIndex) {
  int Index = -1;
  if (!NameOrIndex.empty() && std::all_of(NameOrIndex.begin(), NameOrIndex.end(), [](char C) {
        return C >= '0' && C <= '9';
      }) && NameOrIndex.size() < 9)
    Index = std::stoi(NameOrIndex);
  if (Index < 0)
    for (int I = 0; I < LayoutsCount(); ++I)
      if (const TqdDXFLayout* L = GetLayout(I); L && UpperNameText(L->Name()) == UpperNameText(NameOrIndex)) {
        Index = I;
        break;
      }
  TqdDXFLayout* L = GetLayout(Index);
  if (!L) return false;
  SetCurrentLayout(L, Index);
  return true;
}

void TqdCADImage::RefreshCurrentLayout() {
  TqdDXFLayout* L = FCurrentLayout;
  SetCurrentLayout(L, L ? L->Index() : -1);
}

void TqdCADImage::GetExtents() {
  if (!FConverter || FLoading) return;
  TqdDXFLayout* L = FCurrentLayout ? FCurrentLayout : GetLayout(0);
  SetCurrentLayout(L, L ? L->Index() : -1);
}

// ---------------------------------------------------------------- extents

void TqdCADImage::SetExtentsParameters(const TFRect& Box, bool Is3D) {
  TFRect B = Box;
  if (!IsValidBox(B)) {
    TFRect Supplied = cnstDefaultBox;
    if (!(OnGetBox && OnGetBox(this, Supplied) && IsValidBox(Supplied))) Supplied = cnstDefaultBox;
    FPureExtents = Supplied;
    FXMin = Supplied.Left;
    FXMax = Supplied.Right;
    FYMin = Supplied.Bottom;
    FYMax = Supplied.Top;
    FZMin = Supplied.Z1;
    FZMax = Supplied.Z2;
    FCenter = {(FXMin + FXMax) / 2, (FYMin + FYMax) / 2, 0};
    FOffset = FCenter;
  } else {
    if (IsValidBox(FDrawingBox)) B = FDrawingBox;
    if (OnGetBox) OnGetBox(this, B);
    if (!IsValidBox(B)) B = Box;
    FCenter = {(B.Left + B.Right) / 2, (B.Top + B.Bottom) / 2, (B.Z1 + B.Z2) / 2};
    FOffset = FCenter;
    const TFMatrix Rot = FCurrentLayout ? FCurrentLayout->RotMatrix() : cnstIdentityMat;
    TFRect T = TransformBox(B, Rot);
    FPureExtents = T;
    double MX = 0, MY = 0;
    if (!FIsWithoutBorder) {
      if (FBorderType == btGlobal) {
        MX = MY = std::fabs(FBorderSize);
      } else {
        MX = FBorderSize * (T.Right - T.Left);
        MY = FBorderSize * (T.Top - T.Bottom);
      }
      if (!(MX >= 0) || !std::isfinite(MX)) MX = 1.0;
      if (!(MY >= 0) || !std::isfinite(MY)) MY = 1.0;
    }
    if (!IsValidBox(T)) T = cnstDefaultBox, MX = MY = 0;
    FXMin = T.Left - MX;
    FXMax = T.Right + MX;
    FYMin = T.Bottom - MY;
    FYMax = T.Top + MY;
    FZMin = T.Z1;
    FZMax = T.Z2;
  }
  FXDisproportionateShift = FYDisproportionateShift = 0;
  if (FResizeDisproportionateDrawing) {
    const double W = std::fabs(FXMax - FXMin), H = std::fabs(FYMax - FYMin);
    if (W == 0 || H / W > 16) {
      const double D = (H - W) / 2;
      FXMin -= D;
      FXMax += D;
      FXDisproportionateShift = D;
    } else if (H == 0 || W / H > 16) {
      const double D = (W - H) / 2;
      FYMin -= D;
      FYMax += D;
      FYDisproportionateShift = D;
    }
  }
  FExtents = {FXMin, FYMax, FZMin, FXMax, FYMin, FZMax};
  ComputeZoom();
  Changed();
}

void TqdCADImage::ComputeZoom() {
  double A = std::max(AbsWidth(), AbsHeight()), B = std::min(AbsWidth(), AbsHeight());
  if (A == 0) A = 1e-20;
  if (B == 0) B = 1e-20;
  if (A < 10) {
    FZoom = 10;
    return;
  }
  double Z = qdImageDefaults().ScreenSize / B;
  if (!(Z >= 1)) Z = 1;
  if (Z > 32767 / A) Z = 32767 / A;
  FZoom = Z;
}

double TqdCADImage::AbsWidth() const {
  if (FHasClippingRect) return FClippingRect.Right - FClippingRect.Left;
  return FXMax - FXMin;
}

double TqdCADImage::AbsHeight() const {
  if (FHasClippingRect) return FClippingRect.Bottom - FClippingRect.Top;
  return FYMax - FYMin;
}

int TqdCADImage::GetWidth() const { return std::max(1, RoundToInt(AbsWidth() * FZoom + 0.5, 1)); }
int TqdCADImage::GetHeight() const { return std::max(1, RoundToInt(AbsHeight() * FZoom + 0.5, 1)); }

void TqdCADImage::GetDrawingExtents(TFRect& R) const { R = FExtents; }

void TqdCADImage::SetDrawingBox(const TFRect& R) {
  FDrawingBox = IsValidBox(R) ? R : cnstBadRect;
  RefreshCurrentLayout();
}

void TqdCADImage::SetClippingRect(const TFRect* R) {
  FHasClippingRect = R && IsFiniteBox(*R);
  FClippingRect = FHasClippingRect ? *R : cnstBadRect;
  ComputeZoom();
  Changed();
}

void TqdCADImage::SetIsWithoutBorder(bool V) {
  FIsWithoutBorder = V;
  RefreshCurrentLayout();
}

void TqdCADImage::SetOffset(const TFPoint& P) {
  if (IsFiniteFPoint(P)) FOffset = P;
}

// ---------------------------------------------------------------- matrix

void TqdCADImage::SetDrawMatrix(const TFMatrix& M) {
  FDraw.Matrix = M;
  FDraw.DrawMatrix = M;
  FDraw.Additional = (std::fabs(M.EX.Y) > 1e-6 || std::fabs(M.EY.X) > 1e-6 || std::fabs(M.EZ.X) > 1e-6 ||
                      std::fabs(M.EZ.Y) > 1e-6)
                         ? 1
                         : 0;
  if (!FCustomDraw) {
    if (OnMatrixChanged) OnMatrixChanged(this);
    Changed();
  }
}

void TqdCADImage::ScaleDrawMatrix(double Sx, double Sy, double Sz) {
  SetDrawMatrix(ComposeMatrices(FDraw.Matrix, ScalingMatrix(Sx, Sy, Sz)));
}

void TqdCADImage::TranslateDrawMatrix(double Dx, double Dy, double Dz) {
  TFMatrix M = FDraw.Matrix;
  M.E0 = AddFPoint(M.E0, {Dx, Dy, Dz});
  SetDrawMatrix(M);
}

void TqdCADImage::SetMatrixForRect(const TqdIntRect& Rect) {
  TFMatrix M = FCurrentLayout ? FCurrentLayout->RotMatrix() : cnstIdentityMat;
  TFRect E;
  GetDrawingExtents(E);
  double FX = Rect.Right - Rect.Left, FY = Rect.Bottom - Rect.Top;
  if (!(FX > 0)) FX = 1;
  if (!(FY > 0)) FY = 1;
  const double EW = E.Right - E.Left, EH = E.Top - E.Bottom;
  double SX = EW != 0 && std::isfinite(EW) ? FX / EW : 1;
  double SY = EH != 0 && std::isfinite(EH) ? FY / EH : 1;
  if (!FStretch) SX = SY = std::fabs(SX) < std::fabs(SY) ? SX : SY;
  const double SZ = std::fabs(SX) < std::fabs(SY) ? SX : SY;
  M = ComposeMatrices(M, ScalingMatrix(SX, -SY, SZ));
  M.E0 = {};
  const TFPoint O = TransformPoint(FOffset, M);
  M.E0 = {(Rect.Left + Rect.Right) / 2.0 - O.X, (Rect.Top + Rect.Bottom) / 2.0 - O.Y, -O.Z};
  SetDrawMatrix(M);
}

TqdPoint TqdCADImage::GetPoint(const TFPoint& P) const {
  TFPoint Q = TransformPoint(P, FDraw.Matrix);
  if (FUsePrecision && FPrecision > 0) Q = ScaleFPoint(Q, 1 / FPrecision);
  return qdDevicePoint(Q.X, Q.Y);
}

TFPoint TqdCADImage::DeviceToCAD(double X, double Y) const {
  // Solve the 2-D part of the matrix for the plane Z = 0 of the drawing.
  const TFMatrix& M = FDraw.Matrix;
  const double A = M.EX.X, B = M.EY.X, C = M.EX.Y, D = M.EY.Y;
  const double Det = A * D - B * C;
  if (!std::isfinite(Det) || std::fabs(Det) < 1e-300) return {};
  const double RX = X - M.E0.X, RY = Y - M.E0.Y;
  const TFPoint R{(RX * D - B * RY) / Det, (A * RY - C * RX) / Det, 0};
  return IsFiniteFPoint(R) ? R : TFPoint{};
}

TFPoint TqdCADImage::GetCADCoords(double XScaled, double YScaled) const {
  if (!std::isfinite(XScaled) || !std::isfinite(YScaled) || !FCurrentLayout) return {};
  // Fractions of the displayed extents (top-left origin) in the rotated frame.
  const TFPoint R{FXMin + XScaled * (FXMax - FXMin), FYMax - YScaled * (FYMax - FYMin), 0};
  bool Ok = false;
  const TFMatrix Inv = InvertMatrix(FCurrentLayout->RotMatrix(), &Ok);
  if (!Ok) return {};
  TFPoint P = TransformPoint(R, Inv);
  const TFMatrix Rot = FCurrentLayout->RotMatrix();
  if (std::fabs(Rot.EX.Z) > 1 - 1e-9) P.X = 0;
  else if (std::fabs(Rot.EY.Z) > 1 - 1e-9) P.Y = 0;
  else P.Z = 0;
  return IsFiniteFPoint(P) ? P : TFPoint{};
}

TFPoint TqdCADImage::GetScale() const { return ScaleOfMatrix(FDraw.Matrix, 1e-100); }

// ---------------------------------------------------------------- rotation

void TqdCADImage::BeginRotate() {
  if (FRotCount++ == 0 && OnBeforeRotate) OnBeforeRotate(this);
}

void TqdCADImage::EndRotate() {
  if (FRotCount == 0) return;
  if (--FRotCount == 0) {
    RefreshCurrentLayout();
    if (OnAfterRotate) OnAfterRotate(this);
  }
}

void TqdCADImage::Rotate(int Axis, double Angle) {
  if (!std::isfinite(Angle) || Axis < 0 || Axis > 2) return;
  Angle -= std::trunc(Angle / 360) * 360;
  FBadRotation = (Axis != 2 && Angle != 0) || (Axis == 2 && std::llround(std::fabs(Angle)) % 90 != 0);
  BeginRotate();
  if (FCurrentLayout)
    FCurrentLayout->SetRotMatrix(
        ComposeMatrices(FCurrentLayout->RotMatrix(), RotationMatrix(Axis, DegreesToRadians(Angle))));
  if (Axis == 2) FZRotate += Angle;
  EndRotate();
}

void TqdCADImage::RotToView(TqdDXFViewDirection View) {
  if (!FCurrentLayout) return;
  BeginRotate();
  if (View == vdDefault) {
    FCurrentLayout->SetRotMatrix(FConverter ? FConverter->ViewTwistMatrix() : cnstIdentityMat);
    FBadRotation = false;
  } else {
    FCurrentLayout->SetRotMatrix(cnstIdentityMat);
  }
  constexpr double Iso = -54.735610317245346;
  switch (View) {
    case vdBottom: Rotate(1, 180); break;
    case vdLeft: Rotate(1, 90); Rotate(2, 90); break;
    case vdRight: Rotate(1, -90); Rotate(2, -90); break;
    case vdFront: Rotate(0, -90); break;
    case vdBack: Rotate(0, 90); Rotate(2, 180); break;
    case vdSWIsometric: Rotate(2, 45); Rotate(0, Iso); break;
    case vdSEIsometric: Rotate(2, -45); Rotate(0, Iso); break;
    case vdNWIsometric: Rotate(2, 135); Rotate(0, Iso); break;
    case vdNEIsometric: Rotate(2, -135); Rotate(0, Iso); break;
    case vdGeodezik: Rotate(1, -180); Rotate(2, -90); break;
    default: break;
  }
  EndRotate();
}

bool TqdCADImage::IsDrawingRotated() const {
  if (!FCurrentLayout) return false;
  const TFMatrix M = FCurrentLayout->RotMatrix();
  for (int R = 0; R < 3; ++R)
    for (int C = 0; C < 3; ++C)
      if (std::fabs(M.M(R, C) - (R == C ? 1.0 : 0.0)) > 1e-6) return true;
  return false;
}

// ---------------------------------------------------------------- colours

TqdDeviceColor TqdCADImage::ContrastColor(TqdDeviceColor Bg) {
  Bg &= 0xFFFFFF;
  if (Bg == 0) return 0xFFFFFF;
  const double L = (0.2126 * GetRValue(Bg) + 0.7152 * GetGValue(Bg) + 0.0722 * GetBValue(Bg)) * 0.7;
  const int G = static_cast<int>(std::nearbyint(L));  // half to even
  return MakeRGB(G, G, G);
}

bool TqdCADImage::IsCloseColor(TqdDeviceColor A, TqdDeviceColor B) {
  return std::abs(int(GetRValue(A)) - int(GetRValue(B))) <= cnstInvisibleInkDistance &&
         std::abs(int(GetGValue(A)) - int(GetGValue(B))) <= cnstInvisibleInkDistance &&
         std::abs(int(GetBValue(A)) - int(GetBValue(B))) <= cnstInvisibleInkDistance;
}

TqdDeviceColor TqdCADImage::VisibleInk(TqdDeviceColor C) const {
  const TqdDeviceColor Bg = FBackgroundColor & 0xFFFFFF;
  if (!IsCloseColor(C & 0xFFFFFF, Bg)) return C;
  if (!IsCloseColor(FDefaultColor, Bg)) return FDefaultColor;
  const double L = 0.2126 * GetRValue(Bg) + 0.7152 * GetGValue(Bg) + 0.0722 * GetBValue(Bg);
  return L >= 128 ? 0 : 0xFFFFFF;
}

void TqdCADImage::SetBackgroundColor(TqdDeviceColor V) {
  V &= 0xFFFFFF;
  if (V == FBackgroundColor) return;
  FBackgroundColor = V;
  FChangeBackgroundColor = ContrastColor(V);
  Changed();
}

double TqdCADImage::GetLineWeightFactor() const {
  return FIsPlotting ? 1.0 : qdImageDefaults().LineWeightFactor;
}

double TqdCADImage::ScaleLineWeight(double MM) const {
  const double W = MM * GetLineWeightFactor();
  return W > 8.875 ? 8.875 : W;
}

int TqdCADImage::Measurement() const {
  if (!FConverter) return 0;
  const int M = FConverter->HeadVarStruct().Measurement;
  return M == 0 ? 1 : M == 1 ? 2 : 0;
}

TqdDeviceColor TqdCADImage::GetEntityColor(const TqdDXFEntity* Entity, const TqdDXFInsert* Insert) const {
  if (!Entity) return FDefaultColor;
  if (FDrawMode == dmBlack) return FDefaultColor;
  // Walks the reference chain outwards through the owner-insert links.
  TqdColorCAD C = Entity->ColorCAD();
  const TqdDXFLayer* Layer = Entity->Layer();
  if (Insert && (!Layer || Layer->Name() == "0")) Layer = Insert->RealLayer();
  const TqdDXFInsert* I = Insert;
  for (int Depth = 0; Depth < cnstMaxDrawDepth; ++Depth) {
    if (C.Active == acRGBColor) return VisibleInk(C.Color & 0xFFFFFF);
    const int Idx = C.IndexValue();
    if (Idx == clByLayer && Layer && (Layer->Name() != "0" || !I)) {
      C = Layer->ColorCAD();
      if (C.Active == acIndexColor && C.IndexValue() < 0) C = TqdColorCAD::Index(-C.IndexValue());
      if (C.Active == acIndexColor && (C.IndexValue() == clByLayer || C.IndexValue() == clByBlock)) break;
      continue;
    }
    if (Idx == clByBlock || Idx == clByLayer) {
      if (!I) break;
      if (Idx == clByBlock) C = I->ColorCAD();
      Layer = I->Layer();
      I = I->OwnerInsert();
      continue;
    }
    if (Idx < 1 || Idx > 255 || Idx == clForeground) break;
    const TqdDeviceColor R = ACIPaletteColor(Idx);
    if (Idx >= 250 && FPrinting == pntNone && R == FBackgroundColor) return FChangeBackgroundColor;
    return VisibleInk(R);
  }
  return FDefaultColor;
}

// ---------------------------------------------------------------- drawing

TqdDrawCache& TqdCADImage::DrawCache() {
  if (!FDrawCache) FDrawCache = std::make_unique<TqdDrawCache>();
  return *FDrawCache;
}

bool TqdCADImage::DrawBands(TqdCanvas& Canvas, const TqdIntRect& Rect) {
  // The selection raster numbers entities in drawing order: one thread.
  if (FDrawThreads < 2 || FSelectionCanvas) return false;
  TqdIntRect R = Rect;
  if (R.Right < R.Left) std::swap(R.Left, R.Right);
  if (R.Bottom < R.Top) std::swap(R.Top, R.Bottom);
  const TqdIntRect Clip = Canvas.ClipBox();
  const TqdIntRect Area{std::max(R.Left, Clip.Left), std::max(R.Top, Clip.Top), std::min(R.Right, Clip.Right),
                        std::min(R.Bottom, Clip.Bottom)};
  // Bands thinner than this cost more in walking than they save.
  constexpr int cnstMinBandRows = 32;
  const int Rows = Area.Bottom - Area.Top;
  const int N = std::min(FDrawThreads, Rows / cnstMinBandRows);
  if (N < 2 || Area.Right <= Area.Left) return false;
  std::vector<std::unique_ptr<TqdCanvas>> Bands;
  for (int K = 0; K < N; ++K) {
    const int Top = Area.Top + static_cast<int>(static_cast<long long>(Rows) * K / N);
    const int Bottom = Area.Top + static_cast<int>(static_cast<long long>(Rows) * (K + 1) / N);
    auto C = Canvas.BandCanvas({Area.Left, Top, Area.Right, Bottom});
    if (!C) return false;
    Bands.push_back(std::move(C));
  }
  while (static_cast<int>(FBandIterators.size()) < N - 1)
    FBandIterators.push_back(std::make_unique<TqdCADIterator>(*this));
  std::vector<std::exception_ptr> Errors(static_cast<std::size_t>(N));
  auto Walker = [&](int K) { return K == 0 ? FIterator.get() : FBandIterators[static_cast<std::size_t>(K - 1)].get(); };
  auto Run = [&](int K) {
    try {
      Walker(K)->DrawFrame(*Bands[static_cast<std::size_t>(K)], Rect);
      Bands[static_cast<std::size_t>(K)].reset();  // the band's rows reach the target here
    } catch (...) {
      Errors[static_cast<std::size_t>(K)] = std::current_exception();
    }
  };
  for (int K = 0; K < N; ++K) Walker(K)->SetThreaded(true);
  {
    std::vector<std::jthread> Threads;
    for (int K = 1; K < N; ++K) Threads.emplace_back(Run, K);
    Run(0);
  }
  for (int K = 0; K < N; ++K) Walker(K)->SetThreaded(false);
  Bands.clear();
  // The frame's counters are those of all bands.
  for (int K = 1; K < N; ++K) FIterator->AddStats(Walker(K)->Stats());
  for (const std::exception_ptr& E : Errors)
    if (E) std::rethrow_exception(E);
  return true;
}

void TqdCADImage::Draw(TqdCanvas& Canvas, const TqdIntRect& Rect) {
  if (FLoading || !FCurrentLayout || !FConverter || !Canvas.IsActive()) return;
  const double SavedScale = FLineWeightScale;
  if (FDeviceDPI.X > 0) {
    const double F = FDeviceDPI.X * Canvas.MMPerPixelX() / 25.4;
    if (std::isfinite(F) && F > 0) FLineWeightScale *= F;
  }
  SetMatrixForRect(Rect);
  if (!FIterator) FIterator = std::make_unique<TqdCADIterator>(*this);
  DrawCache().BeginFrame();  // made before any band thread asks for it
  try {
    if (!DrawBands(Canvas, Rect)) FIterator->DrawFrame(Canvas, Rect);
  } catch (...) {
    FLineWeightScale = SavedScale;
    throw;
  }
  FLineWeightScale = SavedScale;
  if (FZRotate != 0) {
    FCurrentLayout->SetRotZAngle(FCurrentLayout->RotZAngle() + FZRotate);
    FZRotate = 0;
  }
  if (OnAfterDraw) OnAfterDraw(this);
}
