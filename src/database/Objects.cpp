#include "Objects.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "Blocks.h"
#include "Curves.h"
#include "DXFConv.h"
#include "Faces.h"
#include "Inserts.h"
#include "TableItems.h"
#include "qdFunction.h"

TqdDXFLayout::TqdDXFLayout() : FPlotSettings(std::make_unique<TqdDXFPlotSettings>()) {
  FNamedItem.FName = cnstModelLayoutName;
}

void TqdDXFLayout::SetBox(const TFRect& R) {
  FBox = R;
  if (FPaperSpaceBlock) FPaperSpaceBlock->SetBox(R);
}

void TqdDXFLayout::SetPlotSettings(const TqdDXFPlotSettings* S) {
  if (S && S != FPlotSettings.get()) FPlotSettings->AssignEntity(*S);
}

void TqdDXFLayout::SetPlotPaperUnits(int V) {
  if (V >= 0 && V <= 255) FPlotSettings->FData.PlotPaperUnits = static_cast<std::uint8_t>(V);
}

bool TqdDXFLayout::IsModel() const { return !Converter() || Index() == 0; }

TqdView* TqdDXFLayout::View() {
  if (!FView) FView = std::make_unique<TqdView>();
  return FView.get();
}

std::unique_ptr<TqdDXFEntity> TqdDXFLayout::SetEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  return FPaperSpaceBlock ? FPaperSpaceBlock->SetEntity(Index, std::move(E)) : std::move(E);
}

void TqdDXFLayout::Clear(bool ADoFree) {
  if (FPaperSpaceBlock) FPaperSpaceBlock->Clear(ADoFree);
}

TqdDXFLayout::~TqdDXFLayout() {
  if (FPaperSpaceBlock) FPaperSpaceBlock->SetLayout(nullptr);
}

void TqdDXFLayout::SetPaperSpaceBlock(TqdDXFBlock* B) {
  if (B == FPaperSpaceBlock) return;
  if (FPaperSpaceBlock) FPaperSpaceBlock->SetLayout(nullptr);
  FPaperSpaceBlock = B;
  if (B) {
    if (TqdDXFLayout* Other = B->Layout(); Other && Other != this) Other->ForgetBlock(B);
    B->SetLayout(this);
  }
}

int TqdDXFLayout::Index() const {
  const TqdDXFConverter* C = Converter();
  if (!C) return -1;
  for (int I = 0; I < C->LayoutsCount(); ++I)
    if (C->GetLayout(I) == this) return I;
  return -1;
}

TqdDXFBlock* TqdDXFLayout::PaperSpaceBlock() {
  if (FPaperSpaceBlock) {
    FPaperSpaceBlock->SetIsLoaded(false);
    return FPaperSpaceBlock;
  }
  TqdDXFConverter* C = Converter();
  if (!C) return nullptr;
  TqdDXFEntity* Blocks = C->GetOrCreateSection(csBlocks);
  if (!Blocks) return nullptr;
  const int I = Index();
  std::string BlockName;
  if (I == 0)
    BlockName = cnstModelSpaceName;
  else if (I == 1)
    BlockName = cnstPaperSpaceName;
  else if (I >= 2)
    BlockName = std::string(cnstPaperSpaceName) + std::to_string(I - 2);
  else
    BlockName = "*[" + Name() + "]";
  auto* B = dynamic_cast<TqdDXFBlock*>(C->NewNamedEntity(Blocks, ClassOf<TqdDXFBlock>(), BlockName));
  if (!B) return nullptr;
  C->CheckEntityHandle(B);
  C->CheckEntityHandle(B->BlockRecord());
  SetPaperSpaceBlock(B);
  return B;
}

int TqdDXFLayout::Count() const { return FPaperSpaceBlock ? FPaperSpaceBlock->Count() : 0; }

TqdDXFEntity* TqdDXFLayout::GetEntity(int Index) const {
  return FPaperSpaceBlock ? FPaperSpaceBlock->GetEntity(Index) : nullptr;
}

int TqdDXFLayout::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  TqdDXFBlock* B = PaperSpaceBlock();
  return B ? B->InsertEntity(Index, std::move(E)) : -1;
}

std::unique_ptr<TqdDXFEntity> TqdDXFLayout::DeleteEntity(int Index) {
  return FPaperSpaceBlock ? FPaperSpaceBlock->DeleteEntity(Index) : nullptr;
}

int TqdDXFLayout::IndexOfEntity(const TqdDXFEntity* E) const {
  return FPaperSpaceBlock ? FPaperSpaceBlock->IndexOfEntity(E) : -1;
}

int TqdDXFLayout::IndexOfName(std::string_view AName) const {
  return FPaperSpaceBlock ? FPaperSpaceBlock->IndexOfName(AName) : -1;
}

namespace {

bool LayerShows(const TqdDXFLayer* L) { return !L || (L->Visible() && !L->Frozen()); }

// An insert on a layer that is off (not frozen) still counts when its block shows
// something.
bool InsertShowsSomething(const TqdDXFEntity* E) {
  const TqdDXFEntity* B = E->InsertBlock();
  if (!B) return false;
  for (int I = 0; I < B->Count(); ++I) {
    const TqdDXFEntity* Child = B->GetEntity(I);
    const TqdDXFLayer* L = Child ? Child->Layer() : nullptr;
    if (Child && LayerShows(L) && !(L && L->FrozenByViewPort())) return true;
  }
  return false;
}

// Whether the line P + t*D (t >= 0 for a ray, any t for a construction line) meets
// the box in X and Y.
bool LineMeetsBox(const TFPoint& P, const TFPoint& D, bool BothWays, const TFRect& Box) {
  if (IsBadBox(Box) || !IsFiniteFPoint(P) || !IsFiniteFPoint(D)) return false;
  double T0 = BothWays ? -std::numeric_limits<double>::infinity() : 0.0;
  double T1 = std::numeric_limits<double>::infinity();
  const double Lo[2] = {Box.Left, Box.Bottom}, Hi[2] = {Box.Right, Box.Top};
  const double Pos[2] = {P.X, P.Y}, Dir[2] = {D.X, D.Y};
  for (int A = 0; A < 2; ++A) {
    if (std::fabs(Dir[A]) < 1e-12) {
      if (Pos[A] < Lo[A] || Pos[A] > Hi[A]) return false;
      continue;
    }
    double U = (Lo[A] - Pos[A]) / Dir[A], V = (Hi[A] - Pos[A]) / Dir[A];
    if (U > V) std::swap(U, V);
    T0 = std::max(T0, U);
    T1 = std::min(T1, V);
  }
  return T0 <= T1;
}

}  // namespace

void TqdDXFLayout::Loaded(TqdDXFConverter* C) {
  // A named page setup in OBJECTS replaces the layout's own copy.
  if (C && !FPlotSettings->FData.PageSetupName.empty())
    if (TqdDXFEntity* Objects = C->GetSection(csObjects))
      if (const auto* P = dynamic_cast<const TqdDXFPlotSettings*>(Objects->FindEntByName(FPlotSettings->FData.PageSetupName));
          P && P != FPlotSettings.get())
        FPlotSettings->AssignEntity(*P);
  TqdDXFOwneredItem::Loaded(C);
  FBox = cnstBadRect;
  if (!FPaperSpaceBlock) return;
  FPaperSpaceBlock->SetIsLoaded(false);
  std::vector<const TqdDXFRay*> Infinite;
  for (int I = 0; I < FPaperSpaceBlock->Count(); ++I) {
    const TqdDXFEntity* E = FPaperSpaceBlock->GetEntity(I);
    if (!E) continue;
    const TqdCADEntities T = E->EntType();
    // Rays and construction lines are infinite: they count last, where they cross the
    // box of everything else.
    if (T == ceRay || T == ceXline) {
      if (const auto* R = dynamic_cast<const TqdDXFRay*>(E); R && E->Visibility() && LayerShows(E->Layer()))
        Infinite.push_back(R);
      continue;
    }
    if (T == ceEntity) continue;
    if (T == cePoint && C && C->PointDisplayMode() == 1) continue;
    if (!E->Visibility()) continue;
    if (T != ceViewport) {
      const TqdDXFLayer* L = E->Layer();
      if (!LayerShows(L)) {
        const bool Keep = E->IsInsert() && L && !L->Frozen() && InsertShowsSomething(E);
        if (!Keep) continue;
      }
    }
    UnionBoxes(FBox, E->Box());
  }
  const TFRect Finite = FBox;
  for (const TqdDXFRay* R : Infinite)
    if (LineMeetsBox(R->Point(), R->Direction(), R->EntType() == ceXline, Finite)) UnionBoxes(FBox, R->Box());
}

void TqdDXFLayout::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFOwneredItem::AssignEntity(Source);
  // The block, box, space, rotation and UCS belong to the layout's own drawing.
  if (const auto* S = dynamic_cast<const TqdDXFLayout*>(&Source)) {
    FTabOrder = S->FTabOrder;
    FView.reset();
    if (S->FView) {
      FView = std::make_unique<TqdView>();
      FView->AssignEntity(*S->FView);
    }
    FPlotSettings->AssignEntity(*S->FPlotSettings);
  }
}

void TqdDXFSortEntsTable::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFOwneredItem::ResolveLinks(C);
  TqdLinkObject* L = FBlockItem.Link();
  if (!L || !C) return;
  TqdDXFEntity* Found = nullptr;
  if (TqdDXFEntity* Table = C->GetSection(csBlockRecords)) Found = L->GetObject(Table);
  FBlockItem.ClearLink();
  if (auto* R = dynamic_cast<TqdDXFBlockRecord*>(Found))
    FBlockHandle = R->Handle();
  else if (auto* B = dynamic_cast<TqdDXFBlock*>(Found))
    FBlockHandle = B->BlockRecord() ? B->BlockRecord()->Handle() : 0;
}

TqdDXFBlock* TqdDXFSortEntsTable::Block(TqdDXFConverter* C) const {
  if (!C || FBlockHandle == 0) return nullptr;
  TqdDXFEntity* Records = C->GetSection(csBlockRecords);
  const auto* R = Records ? dynamic_cast<const TqdDXFBlockRecord*>(Records->FindEntByHandle(false, false, FBlockHandle))
                          : nullptr;
  return R ? R->Block() : nullptr;
}

// ---------------------------------------------------------------- plot settings

void TqdDXFPlotSettings::SetName(std::string_view AName) { SetNameUnchecked(AName); }

void TqdDXFPlotSettings::SetNameUnchecked(std::string_view AName) {
  TqdDXFOwneredItem::SetNameUnchecked(AName);
  FData.PageSetupName = Name();
}

TqdPlotPaperUnits TqdDXFPlotSettings::PlotPaperUnits() const {
  return FData.PlotPaperUnits <= ppuPixels ? static_cast<TqdPlotPaperUnits>(FData.PlotPaperUnits) : ppuMM;
}

TqdPlotType TqdDXFPlotSettings::PlotType() const {
  return FData.PlotType <= ptLayoutInformation ? static_cast<TqdPlotType>(FData.PlotType) : ptLayoutInformation;
}

void TqdDXFPlotSettings::SetPlotRotation(int V) {
  FData.PlotRotation = (V >= 0 && V <= 3) ? static_cast<TqdPlotRotation>(V) : prNoRotation;
}

void TqdDXFPlotSettings::SetFlag(TqdPlotLayoutFlag F, bool V) {
  if (V)
    FData.PlotLayoutFlags |= PlotFlag(F);
  else
    FData.PlotLayoutFlags &= static_cast<TqdPlotLayoutFlags>(~PlotFlag(F));
}

TqdPlotScale TqdDXFPlotSettings::CustomPrintScale() const {
  return {FData.NumeratorOfCustomPrintScale, FData.DenominatorOfCustomPrintScale};
}

void TqdDXFPlotSettings::SetCustomPrintScale(const TqdPlotScale& V) {
  if (std::isfinite(V.Numerator)) FData.NumeratorOfCustomPrintScale = V.Numerator;
  if (std::isfinite(V.Denomenator)) FData.DenominatorOfCustomPrintScale = V.Denomenator;
}

double TqdDXFPlotSettings::CustomPrintScaleKoef() const {
  double N = FData.NumeratorOfCustomPrintScale;
  if (PlotPaperUnits() == ppuInches) N *= 25.4;
  if (N == 0 || !std::isfinite(N)) return 1;
  const double K = FData.DenominatorOfCustomPrintScale / N;
  // A zero, negative or overflowing scale would make every plot area empty or endless.
  return (K > 0 && std::isfinite(K)) ? K : 1;
}

namespace {

bool IsTurned(TqdPlotRotation R) { return R == pr90DegreesCounterCW || R == pr90DegreesCW; }

}  // namespace

bool TqdDXFPlotSettings::LandScape() const {
  const bool W = FData.PlotPaperSize.X > FData.PlotPaperSize.Y;
  return IsTurned(FData.PlotRotation) ? !W : W;
}

void TqdDXFPlotSettings::SetLandScape(bool V) {
  const bool W = FData.PlotPaperSize.X > FData.PlotPaperSize.Y;
  if (W)
    FData.PlotRotation = V ? prNoRotation : pr90DegreesCW;
  else
    FData.PlotRotation = V ? pr90DegreesCW : prNoRotation;
}

TF2DRect TqdDXFPlotSettings::RotatedMargins() const {
  const TF2DRect& U = FData.UnprintableMargin;
  TF2DRect M = U;
  switch (FData.PlotRotation) {
    case prNoRotation: break;
    case pr90DegreesCounterCW: M = {U.Top, U.Right, U.Bottom, U.Left}; break;
    case prUpsideDown: M = {U.Right, U.Bottom, U.Left, U.Top}; break;
    case pr90DegreesCW: M = {U.Bottom, U.Left, U.Top, U.Right}; break;
  }
  const double K = CustomPrintScaleKoef();
  return {M.Left * K, M.Top * K, M.Right * K, M.Bottom * K};
}

TFPoint TqdDXFPlotSettings::PlotOffset() const {
  const double K = CustomPrintScaleKoef();
  TFPoint O{-K * FData.PlotOrigin.X, -K * FData.PlotOrigin.Y, 0};
  if (IsTurned(FData.PlotRotation)) std::swap(O.X, O.Y);
  const double D = PlotPaperUnits() == ppuInches ? 25.4 : 1.0;
  O.X -= FData.PaperImageOrigin.X / D;
  O.Y -= FData.PaperImageOrigin.Y / D;
  return O;
}

TFRect TqdDXFPlotSettings::PlotPaperArea() const {
  const double K = CustomPrintScaleKoef();
  TF2DPoint P{K * FData.PlotPaperSize.X, K * FData.PlotPaperSize.Y};
  if (IsTurned(FData.PlotRotation)) std::swap(P.X, P.Y);
  const TF2DRect M = RotatedMargins();
  const TFPoint O = PlotOffset();
  const double L = O.X - M.Left, T = O.Y - M.Bottom;
  return {L, T, 0, L + P.X, T + P.Y, 0};
}

TFRect TqdDXFPlotSettings::PlotMarginsArea() const {
  const double K = CustomPrintScaleKoef();
  TF2DPoint P{K * FData.PlotPaperSize.X, K * FData.PlotPaperSize.Y};
  if (IsTurned(FData.PlotRotation)) std::swap(P.X, P.Y);
  const TF2DRect M = RotatedMargins();
  const TFPoint O = PlotOffset();
  return {O.X, O.Y, 0, O.X + P.X - (M.Left + M.Right), O.Y + P.Y - (M.Top + M.Bottom), 0};
}

TFRect TqdDXFPlotSettings::PlotFrameArea() const {
  return {FData.PlotWindowAreaMin.X, FData.PlotWindowAreaMin.Y, 0, FData.PlotWindowAreaMax.X,
          FData.PlotWindowAreaMax.Y, 0};
}

TFRect TqdDXFPlotSettings::PlotPrintableArea() const {
  TFRect M = PlotMarginsArea();
  if (PlotType() != ptWindowSpecified) return M;
  TFRect F = PlotFrameArea();
  NormalizeBox(M);
  NormalizeBox(F);
  return {std::max(M.Left, F.Left), std::min(M.Top, F.Top), 0, std::min(M.Right, F.Right),
          std::max(M.Bottom, F.Bottom), 0};
}

bool TqdDXFPlotSettings::SetDefaultValueByExtents(const TFRect& ABox, bool ANeedSaveSize) {
  FData.PlotType = ptDrawingExtents;
  SetFlag(plfUseStandardScale, true);
  FData.StandardScaleType = 0;
  FData.PrintOrConfigName = "none_device";
  FData.PlotPaperUnits = ppuMM;
  const bool Bad = IsBadBox(ABox) || !IsFiniteBox(ABox);
  const double W = Bad ? 0 : std::fabs(ABox.Right - ABox.Left);
  const double H = Bad ? 0 : std::fabs(ABox.Top - ABox.Bottom);
  double Margin = 0;
  std::string PaperName;
  if (ANeedSaveSize) {
    FData.PlotPaperSize = {W, H};
    PaperName = "none_device";
  } else {
    FData.PlotPaperSize = {210, 297};
    PaperName = "A4";
    Margin = 3.2;
  }
  FData.PaperSize = PaperName;
  if ((FData.PlotPaperSize.X >= FData.PlotPaperSize.Y) != (W >= H)) FData.PlotRotation = pr90DegreesCounterCW;
  FData.UnprintableMargin = {Margin, Margin, Margin, Margin};
  FData.PlotOrigin = {0, 0};
  if (Bad) {
    FData.NumeratorOfCustomPrintScale = 1;
    FData.DenominatorOfCustomPrintScale = 1;
    return false;
  }
  const TF2DRect& U = FData.UnprintableMargin;
  TF2DPoint A{FData.PlotPaperSize.X - (U.Left + U.Right), FData.PlotPaperSize.Y - (U.Top + U.Bottom)};
  if (FData.PlotRotation == pr90DegreesCounterCW) std::swap(A.X, A.Y);
  const double KX = W == 0 ? 1 : A.X / W;
  const double KY = H == 0 ? 1 : A.Y / H;
  double K = KX < KY ? KX : KY;
  // A paper with no room left (or a zero-size box after a turn) must not divide by 0.
  if (!(K > 0) || !std::isfinite(K)) K = 1;
  FData.NumeratorOfCustomPrintScale = 1;
  FData.DenominatorOfCustomPrintScale = 1 / K;
  FData.PaperImageOrigin = {-ABox.Left, -ABox.Bottom};
  return true;
}

void TqdDXFPlotSettings::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFOwneredItem::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFPlotSettings*>(&Source)) FData = S->FData;
}

// ---------------------------------------------------------------- saved view

void TqdView::SetDrawMatrix(const TFMatrix& M) {
  FMatrix = M;
  FInternalFlags |= 1;
}

void TqdView::PushView(const TRect& R) {
  if (!FStackView) FStackView = std::make_unique<std::vector<int>>();
  // The base view stays; the oldest pushed view makes room.
  if (FStackView->size() > static_cast<std::size_t>(cnstMaxStackInts))
    FStackView->erase(FStackView->begin() + 4, FStackView->begin() + 8);
  FStackView->insert(FStackView->end(), {R.Left, R.Top, R.Bottom, R.Right});
}

TqdView::TRect TqdView::ActiveView() const {
  if (!FStackView || FStackView->size() < 4) return {};
  const int* P = FStackView->data() + FStackView->size() - 4;
  return {P[0], P[1], P[3], P[2]};
}

void TqdView::SetActiveView(const TRect& R) {
  if (!FStackView || FStackView->size() < 4) {
    PushView(R);
    return;
  }
  int* P = FStackView->data() + FStackView->size() - 4;
  P[0] = R.Left, P[1] = R.Top, P[2] = R.Bottom, P[3] = R.Right;
}

TqdView::TRect TqdView::PopView() {
  const TRect R = ActiveView();
  if (FStackView && FStackView->size() >= 5) FStackView->resize(FStackView->size() - 4);
  return R;
}

void TqdView::Clear(bool) {
  FInternalFlags = 0;
  FMatrix = cnstIdentityMat;
  ClearView();
}

void TqdView::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFEntity::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdView*>(&Source)) {
    FInternalFlags = S->FInternalFlags;
    FMatrix = S->FMatrix;
    if (S->FStackView)
      FStackView = std::make_unique<std::vector<int>>(*S->FStackView);
    else
      FStackView.reset();
  }
}

// ---------------------------------------------------------------- viewport

namespace {

bool FitsFloat(double V) { return std::isfinite(V) && std::fabs(V) <= std::numeric_limits<float>::max(); }

}  // namespace

void TqdDXFViewport::SetBackClipPlane(double V) {
  if (FitsFloat(V)) FBackClipPlane = static_cast<float>(V);
}

void TqdDXFViewport::SetFrontClipPlane(double V) {
  if (FitsFloat(V)) FFrontClipPlane = static_cast<float>(V);
}

void TqdDXFViewport::SetViewTwistAngle(double V) {
  if (FitsFloat(V)) FViewTwistAngle = static_cast<float>(V);
}

bool TqdDXFViewport::InModelSpace() const {
  const auto* B = dynamic_cast<const TqdDXFBlock*>(Owner());
  return B && B->IsModalSpaceBlock();
}

void TqdDXFViewport::SetVisibleBoundary(bool V) { FVisibleBoundary = V && !InModelSpace(); }

bool TqdDXFViewport::IsOn() const {
  if (Owner()) return !IsOff() && FOrdIndex > 0;
  return !IsOff() && FStatusField > 0 && !(FThisID == 1 && FOrdIndex <= 0);
}

void TqdDXFViewport::SetOff(bool V) {
  const bool Off = V || InModelSpace();
  if (Off)
    FFlags |= cnstViewportOff;
  else
    FFlags &= ~cnstViewportOff;
  FStatusField = Off ? 0 : -1;
}

void TqdDXFViewport::Offset(const TFPoint& P) {
  if (!IsFiniteFPoint(P)) return;
  FMSpaceCenter.X += P.X;
  FMSpaceCenter.Y += P.Y;
}

TFRect TqdDXFViewport::Box() const { return (IsOn() || FStatusField == 0) ? FBox : cnstBadRect; }

TFMatrix TqdDXFViewport::BuildMatrix() {
  const double H = FPSpaceHeight != 0 ? FPSpaceHeight : 1.0;
  const double M = FMSpaceHeight != 0 ? FMSpaceHeight : H;
  double S = H / M;
  if (!std::isfinite(S) || S == 0) S = 1;  // heights too far apart for a double
  if (FViewDirection.X == 0 && FViewDirection.Y == 0 && FViewDirection.Z == 0) FViewDirection = cnstExtrusion;
  const TFMatrix V = ViewMatrix(FViewDirection, FViewTwistAngle);
  const TFPoint T = TransformPoint(FViewTarget, V);
  const TFPoint Shift{FPSpaceCenter.X - (T.X + FMSpaceCenter.X) * S, FPSpaceCenter.Y - (T.Y + FMSpaceCenter.Y) * S,
                      FPSpaceCenter.Z - T.Z * S};
  TFMatrix Scale = ScalingMatrix(S, S, S);
  Scale.E0 = Shift;
  return ComposeMatrices(V, Scale);
}

TqdDXFEntity* TqdDXFViewport::GetBoundary(TqdDXFConverter* AConverter) {
  TqdDXFEntity* O = Owner();
  // The entity is a sibling: trusted only while it is still one.
  if (FClippingBoundary) {
    if (O && O->IndexOfEntity(FClippingBoundary) >= 0) return FClippingBoundary;
    FClippingBoundary = nullptr;
  }
  if (!AConverter || FClippingBoundaryHandle == 0) return nullptr;
  if (O) {
    const int I = O->IndexOfHandle(FClippingBoundaryHandle);
    if (I >= 0) FClippingBoundary = O->GetEntity(I);
    return FClippingBoundary;
  }
  const TqdDXFBlock* M = AConverter->ModelSpace();
  const int I = M ? M->IndexOfHandle(FClippingBoundaryHandle) : -1;
  return I >= 0 ? M->GetEntity(I) : nullptr;
}

TqdDXFEntity* TqdDXFViewport::UsableBoundary(TqdDXFConverter* AConverter) {
  TqdDXFEntity* B = GetBoundary(AConverter);
  const auto* P = dynamic_cast<const TqdCADBasePolyline*>(B);
  return (P && P->PointCount() > 2) ? B : nullptr;
}

void TqdDXFViewport::SetBoundary(TqdDXFEntity* E) {
  FClippingBoundary = E;
  if (E) FClippingBoundaryHandle = E->Handle();
  FFlags |= cnstViewportNonRectClip;
}

TqdCADExtendedData TqdDXFViewport::GetExtData(std::string_view AAppID) const {
  if (!SameNameText(AAppID, "ACAD")) {
    const TqdCADExtendedData* D = GetEED(AAppID);
    return D ? *D : TqdCADExtendedData();
  }
  TqdCADExtendedData D;
  D.AddString(1001, "ACAD");
  D.AddString(1000, "MVIEW");
  D.AddString(1002, "{");
  D.AddInt16(1070, 16);
  D.AddPoint(1010, FViewTarget);
  D.AddPoint(1010, FViewDirection);
  D.AddDouble(1040, FViewTwistAngle);
  D.AddDouble(1040, FMSpaceHeight);
  D.AddDouble(1040, FMSpaceCenter.X);
  D.AddDouble(1040, FMSpaceCenter.Y);
  D.AddDouble(1040, 50);
  D.AddDouble(1040, FFrontClipPlane);
  D.AddDouble(1040, FBackClipPlane);
  D.AddString(1002, "}");
  return D;
}

void TqdDXFViewport::Loaded(TqdDXFConverter* C) {
  FBox = {FPSpaceCenter.X - FPSpaceWidth / 2, FPSpaceCenter.Y + FPSpaceHeight / 2, 0,
          FPSpaceCenter.X + FPSpaceWidth / 2, FPSpaceCenter.Y - FPSpaceHeight / 2, 0};
  if (!IsFiniteBox(FBox)) FBox = cnstBadRect;  // sizes so large their sum overflows
  FRect = FBox;
  FMatrix = BuildMatrix();
  if (InModelSpace()) {
    SetOff(true);
    FVisibleBoundary = false;
    FBox = cnstBadRect;
  }
  TqdDXFPenEntity::Loaded(C);
  if (C && !Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
}

void TqdDXFViewport::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenEntity::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFViewport*>(&Source)) {
    FBackClipPlane = S->FBackClipPlane;
    FFrontClipPlane = S->FFrontClipPlane;
    FClippingBoundary = S->FClippingBoundary;
    FClippingBoundaryHandle = S->FClippingBoundaryHandle;
    FFlags = S->FFlags;
    FFrozenLayers = S->FFrozenLayers;
    FMatrix = S->FMatrix;
    FMSpaceCenter = S->FMSpaceCenter;
    FMSpaceHeight = S->FMSpaceHeight;
    FPSpaceCenter = S->FPSpaceCenter;
    FPSpaceHeight = S->FPSpaceHeight;
    FPSpaceWidth = S->FPSpaceWidth;
    FOrdIndex = S->FOrdIndex;
    FStatusField = S->FStatusField;
    FThisID = S->FThisID;
    FViewDirection = S->FViewDirection;
    FViewTarget = S->FViewTarget;
    FViewTwistAngle = S->FViewTwistAngle;
    FVisibleBoundary = S->FVisibleBoundary;
    FXDataAppName = S->FXDataAppName;
  }
}

// ---------------------------------------------------------------- viewport pass

TqdViewportPass::TqdViewportPass(TqdDXFViewport& AViewport, const TFMatrix& AIterMatrix, TqdDXFConverter* AConverter)
    : FViewport(AViewport) {
  if (AViewport.Active() || !AViewport.IsOn()) return;
  FConverter = AConverter ? AConverter : AViewport.Converter();
  FMatrix = ComposeMatrices(AViewport.Matrix(), AIterMatrix);
  FActive = true;
  AViewport.SetActive(true);
  if (!FConverter) return;
  FRoot = FConverter->RootConverter();
  FSavedTransform = FRoot->Transform3d();
  FRoot->SetTransform3d(ComposeMatrices(AViewport.Matrix(), FSavedTransform));
  FConverter->SetViewPortCut(true);
  const TFRect B = AViewport.Rect();
  TFRect R = cnstBadRect;
  UnionBoxPoint(R, TransformPoint(B.TopLeft(), AIterMatrix));
  UnionBoxPoint(R, TransformPoint(B.BottomRight(), AIterMatrix));
  FConverter->SetViewPortRect(R);
  const auto& Handles = AViewport.FrozenLayers();
  if (!Handles.empty())
    for (int I = 0; I < FConverter->GetCount(csLayers); ++I)
      if (TqdDXFLayer* L = FConverter->GetLayer(I);
          L && std::find(Handles.begin(), Handles.end(), L->Handle()) != Handles.end()) {
        L->SetFrozenByViewPort(true);
        FFrozen.push_back(L);
      }
}

TqdViewportPass::~TqdViewportPass() {
  if (!FActive) return;
  FViewport.SetActive(false);
  if (!FConverter) return;
  FConverter->SetViewPortRect(cnstBadRect);
  FConverter->SetViewPortCut(false);
  for (TqdDXFEntity* E : FFrozen) static_cast<TqdDXFLayer*>(E)->SetFrozenByViewPort(false);
  FRoot->SetTransform3d(FSavedTransform);
}

// ---------------------------------------------------------------- spatial filter

bool TqdCADSpatialFilter::IsDegenerate() const {
  std::vector<TFPoint> Distinct;
  for (const TFPoint& P : FBounds) {
    if (!IsFiniteFPoint(P)) return true;
    bool Seen = false;
    for (const TFPoint& Q : Distinct)
      if (IsEqualFPoints(P, Q, 1e-9)) Seen = true;
    if (!Seen) Distinct.push_back(P);
  }
  // An empty clip region would hide the whole insert: a rectangle or polygon without
  // area clips nothing.
  if (FBounds.size() == 2)
    return Distinct.size() < 2 || std::fabs(FBounds[0].X - FBounds[1].X) <= 1e-9 ||
           std::fabs(FBounds[0].Y - FBounds[1].Y) <= 1e-9;
  if (Distinct.size() < 3) return true;
  double Area2 = 0;
  for (std::size_t I = 0; I < FBounds.size(); ++I) {
    const TFPoint& A = FBounds[I];
    const TFPoint& B = FBounds[(I + 1) % FBounds.size()];
    Area2 += A.X * B.Y - B.X * A.Y;
  }
  return !(std::fabs(Area2) > 1e-12);
}

std::vector<TFPoint> TqdCADSpatialFilter::Boundary(const TFMatrix& AInsertMatrix) const {
  std::vector<TFPoint> R;
  if (IsDegenerate()) return R;
  std::vector<TFPoint> Q = FBounds;
  if (Q.size() == 2) Q = {Q[0], {Q[1].X, Q[0].Y, 0}, {Q[1].X, Q[1].Y, 0}, {Q[0].X, Q[1].Y, 0}};
  const TFMatrix M = ComposeMatrices(FInvBlkTransform, AInsertMatrix);
  const TFMatrix Clip = TransposeMatrix(FClip);
  R.reserve(Q.size());
  for (const TFPoint& P : Q) R.push_back(AddFPoint(TransformVector(TransformPoint(P, M), Clip), FClipbdorg));
  return R;
}

void TqdCADSpatialFilter::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFOwneredItem::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADSpatialFilter*>(&Source)) {
    FInvBlkTransform = S->FInvBlkTransform;
    FClip = S->FClip;
    FBounds = S->FBounds;
    FBackClip = S->FBackClip;
    FBackDist = S->FBackDist;
    FClipbdorg = S->FClipbdorg;
    FDisplayBounds = S->FDisplayBounds;
    FFrontClip = S->FFrontClip;
    FFrontDist = S->FFrontDist;
    FExtrusion = S->FExtrusion;
  }
}

// ---------------------------------------------------------------- external reference

TqdDXFXref::~TqdDXFXref() { SetXRefConverter(nullptr); }

void TqdDXFXref::SetXRefConverter(TqdDXFConverter* C) {
  if (C == FXRefConverter) return;
  if (TqdDXFConverter* Old = FXRefConverter) {
    FXRefConverter = nullptr;
    if (Old->FContainerXref == this) Old->FContainerXref = nullptr;
    // The last holder: the drawing no longer hangs below its owner.
    if (Old->RefCount() == 1) Old->FOwnerConverter = nullptr;
    Old->Release();
  }
  FXRefConverter = C;
}

void TqdDXFXref::Loaded(TqdDXFConverter* C) {
  TqdDXFOwneredItem::Loaded(C);
  FBox = cnstBadRect;
  if (!FXRefConverter) return;
  TqdDXFLayout* Model = FXRefConverter->GetLayout(0);
  if (Model && IsBadBox(Model->Box())) FXRefConverter->Loads(Model);
  if (Model) FBox = Model->Box();
  if (C) {
    FXRefConverter->SetNumberOfPartsInSpline(C->NumberOfPartsInSpline());
    FXRefConverter->SetNumberOfPartsInCircle(C->NumberOfPartsInCircle());
  }
}
