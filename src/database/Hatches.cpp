#include "Hatches.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "DXFConv.h"
#include "qdFunction.h"
#include "qdShapeEdge.h"

namespace {

constexpr double cnstDegToRad = 3.14159265358979323846 / 180.0;
constexpr double cnstRadToDeg = 180.0 / 3.14159265358979323846;
// Boundary edges use the library's part counts, not the drawing's.
constexpr int cnstEdgeCircleParts = 48;
constexpr double cnstEdgeSplineStep = 1.0 / 24;
// Edges continue each other when their ends are this close.
constexpr double cnstChainDistance = 0.005;

double WithoutTurns(double A) { return A - std::trunc(A / 360.0) * 360.0; }

bool Near(double A, double B) { return std::fabs(A - B) < 1e-9; }
bool Near2(const TF2DPoint& A, const TF2DPoint& B) { return Near(A.X, B.X) && Near(A.Y, B.Y); }
bool Finite2(const TF2DPoint& P) { return std::isfinite(P.X) && std::isfinite(P.Y); }

}  // namespace

// ---------------------------------------------------------------- edges

std::unique_ptr<Tqd2DCurve> Tqd2DCurve::Clone() const {
  std::unique_ptr<Tqd2DCurve> C = NewInstance();
  C->Assign(*this);
  return C;
}

void Tqd2DLine::Assign(const Tqd2DCurve& Source) {
  if (const auto* S = dynamic_cast<const Tqd2DLine*>(&Source)) {
    FStartPoint = S->FStartPoint;
    FEndPoint = S->FEndPoint;
  }
}

TF2DPoint Tqd2DLine::GetPoints(int AIndex) const {
  return AIndex == 0 ? FStartPoint : AIndex == 1 ? FEndPoint : TF2DPoint{};
}

bool Tqd2DLine::IsEdgeEqual(const Tqd2DCurve& ACurve) const {
  const auto* S = dynamic_cast<const Tqd2DLine*>(&ACurve);
  return S && Tqd2DCurve::IsEdgeEqual(ACurve) && Near2(FStartPoint, S->FStartPoint) && Near2(FEndPoint, S->FEndPoint);
}

void Tqd2DLine::SetStartPoint(const TF2DPoint& P) {
  if (Finite2(P)) FStartPoint = P;
}

void Tqd2DLine::SetEndPoint(const TF2DPoint& P) {
  if (Finite2(P)) FEndPoint = P;
}

void Tqd2DPoints::ClearPoints() {
  FPoints.clear();
  FPoints.shrink_to_fit();
}

TF2DPoint Tqd2DPoints::GetPoints(int AIndex) const {
  return AIndex >= 0 && AIndex < GetCount() ? FPoints[static_cast<std::size_t>(AIndex)] : TF2DPoint{};
}

void Tqd2DArc::Assign(const Tqd2DCurve& Source) {
  if (const auto* S = dynamic_cast<const Tqd2DArc*>(&Source)) {
    FCenterPoint = S->FCenterPoint;
    FRadius = S->FRadius;
    FStartParam = S->FStartParam;
    FEndParam = S->FEndParam;
    FFlag = S->FFlag;
  }
}

void Tqd2DArc::GetAxes(double& A, double& B, double& CosPhi, double& SinPhi) const {
  A = B = FRadius;
  CosPhi = 1;
  SinPhi = 0;
}

void Tqd2DArc::BuildPoints(TqdGeneratorShapeEdge&) {
  FPoints.clear();
  double S = FStartParam, E = FEndParam;
  if (!std::isfinite(S) || !std::isfinite(E)) return;
  const bool CCW = CounterClockWise();
  if (!CCW) {
    const double T = S;
    S = -E;
    E = -T;
  }
  S = AngleToParam(WithoutTurns(S));
  E = AngleToParam(WithoutTurns(E));
  if (E < S || Near(E, S)) E += 360;
  double A, B, C, Sn;
  GetAxes(A, B, C, Sn);
  if (!std::isfinite(A) || !std::isfinite(B) || !std::isfinite(C) || !std::isfinite(Sn)) return;
  FPoints.reserve(cnstEdgeCircleParts + 1);
  for (int I = 0; I <= cnstEdgeCircleParts; ++I) {
    const double T = (CCW ? S + (E - S) * I / cnstEdgeCircleParts : E - (E - S) * I / cnstEdgeCircleParts) * cnstDegToRad;
    const double CT = std::cos(T), ST = std::sin(T);
    FPoints.push_back({A * CT * C - B * ST * Sn + FCenterPoint.X, A * CT * Sn + B * ST * C + FCenterPoint.Y});
  }
}

void Tqd2DArc::Reverse(bool ARebuild) {
  SetCounterClockWise(!CounterClockWise());
  std::swap(FStartParam, FEndParam);
  FStartParam = 360 - FStartParam;
  FEndParam = 360 - FEndParam;
  if (ARebuild) {
    TqdGeneratorShapeEdge G;
    BuildPoints(G);
  }
}

bool Tqd2DArc::IsEdgeEqual(const Tqd2DCurve& ACurve) const {
  const auto* S = dynamic_cast<const Tqd2DArc*>(&ACurve);
  return S && Tqd2DCurve::IsEdgeEqual(ACurve) && FFlag == S->FFlag && Near2(FCenterPoint, S->FCenterPoint) &&
         Near(FRadius, S->FRadius) && Near(FStartParam, S->FStartParam) && Near(FEndParam, S->FEndParam);
}

void Tqd2DEllipse::Assign(const Tqd2DCurve& Source) {
  Tqd2DArc::Assign(Source);
  if (const auto* S = dynamic_cast<const Tqd2DEllipse*>(&Source)) FMajorPoint = S->FMajorPoint;
}

bool Tqd2DEllipse::IsEdgeEqual(const Tqd2DCurve& ACurve) const {
  const auto* S = dynamic_cast<const Tqd2DEllipse*>(&ACurve);
  return S && Tqd2DArc::IsEdgeEqual(ACurve) && Near2(FMajorPoint, S->FMajorPoint);
}

double Tqd2DEllipse::AngleToParam(double Angle) const {
  if (!IsAngleInParam()) return Angle;
  // A ratio read from a file may be zero or negative: the angle is then the parameter.
  if (!std::isfinite(FRadius) || FRadius <= 1e-12) return Angle;
  const double R = Angle * cnstDegToRad;
  const double C = std::cos(R);
  if (std::fabs(C) <= 1e-6) return Angle;
  double T = std::atan(std::tan(R) / FRadius) * cnstRadToDeg;
  if (C < 0) {
    T += 180;
    T -= std::floor(T / 360) * 360;
  }
  return T;
}

void Tqd2DEllipse::GetAxes(double& A, double& B, double& CosPhi, double& SinPhi) const {
  A = std::hypot(FMajorPoint.X, FMajorPoint.Y);
  B = A * FRadius;
  const double Phi = std::atan2(FMajorPoint.Y, FMajorPoint.X);
  CosPhi = std::cos(Phi);
  SinPhi = std::sin(Phi);
}

void Tqd2DPolyline::Assign(const Tqd2DCurve& Source) {
  if (const auto* S = dynamic_cast<const Tqd2DPolyline*>(&Source)) {
    FVertexes = S->FVertexes;
    FBulges = S->FBulges;
    FProps = S->FProps;
  }
}

void Tqd2DPolyline::AddVertex(const TF2DPoint& P) { FVertexes.push_back(Finite2(P) ? P : TF2DPoint{}); }

void Tqd2DPolyline::AddBulge(double B) {
  const std::size_t Pad = FVertexes.empty() ? 0 : FVertexes.size() - 1;
  if (FBulges.size() < Pad) FBulges.resize(Pad, 0.0f);
  const double V = std::isfinite(B) ? std::clamp(B, -1e30, 1e30) : 0.0;
  FBulges.push_back(static_cast<float>(V));
}

double Tqd2DPolyline::Bulge(int I) const {
  return I >= 0 && static_cast<std::size_t>(I) < FBulges.size() ? FBulges[static_cast<std::size_t>(I)] : 0.0;
}

TF2DPoint& Tqd2DPolyline::GetLastVertex() {
  if (FVertexes.empty()) {
    FDummy = {};
    return FDummy;
  }
  return FVertexes.back();
}

void Tqd2DPolyline::BuildPoints(TqdGeneratorShapeEdge&) {
  FPoints.clear();
  const std::size_t N = FVertexes.size();
  FPoints.reserve(std::max<std::size_t>(N, 4));
  TFPointList Arc;
  for (std::size_t I = 0; I < N; ++I) {
    const double B = Bulge(static_cast<int>(I));
    if (B == 0 || IsStraightBulge(B) || N < 2) {
      FPoints.push_back(FVertexes[I]);
      continue;
    }
    const TF2DPoint& P = FVertexes[I];
    const TF2DPoint& Q = FVertexes[(I + 1) % N];
    Arc.Clear(false);
    BulgeArcPoints({P.X, P.Y, 0}, {Q.X, Q.Y, 0}, Arc, cnstEdgeCircleParts, B);
    if (Arc.Count() == 0) FPoints.push_back(P);
    for (const TFPoint& A : Arc) FPoints.push_back({A.X, A.Y});
  }
}

bool Tqd2DPolyline::IsEdgeEqual(const Tqd2DCurve& ACurve) const {
  const auto* S = dynamic_cast<const Tqd2DPolyline*>(&ACurve);
  return S && Tqd2DCurve::IsEdgeEqual(ACurve) && FProps == S->FProps && FBulges == S->FBulges &&
         FVertexes == S->FVertexes;
}

void Tqd2DSpline::Assign(const Tqd2DCurve& Source) {
  if (const auto* S = dynamic_cast<const Tqd2DSpline*>(&Source)) {
    FControls = S->FControls;
    FKnots = S->FKnots;
    FWeights = S->FWeights;
    FParams = S->FParams;
  }
}

void Tqd2DSpline::AddControl(const TF2DPoint& P) { FControls.push_back(Finite2(P) ? P : TF2DPoint{}); }

void Tqd2DSpline::AddKnot(double K) {
  if (std::isfinite(K)) FKnots.push_back(static_cast<float>(std::clamp(K, -1e30, 1e30)));
}

void Tqd2DSpline::AddWeight(double W) {
  FWeights.push_back(static_cast<float>(std::isfinite(W) ? std::clamp(W, -1e30, 1e30) : 1.0));
}

TF2DPoint& Tqd2DSpline::GetLastVertex() {
  if (FControls.empty()) {
    FDummy = {};
    return FDummy;
  }
  return FControls.back();
}

void Tqd2DSpline::BuildPoints(TqdGeneratorShapeEdge& Gen) {
  FPoints.clear();
  const std::size_t N = FControls.size();
  if (N < 2) return;
  TFPointList Controls;
  Controls.SetCapacity(static_cast<int>(N));
  for (const TF2DPoint& P : FControls) Controls.Add({P.X, P.Y, 0});
  TqdDoubleList Knots;
  int Deg = Degree();
  const bool ByKnots = !TqdGeneratorShapeEdge::IsBSpline(Deg);
  if (!ByKnots && static_cast<std::size_t>(Deg) >= N) Deg = static_cast<int>(N) - 1;
  bool Sorted = true;
  for (std::size_t I = 1; I < FKnots.size(); ++I)
    if (FKnots[I] < FKnots[I - 1]) Sorted = false;
  const int D = ByKnots ? 3 : Deg;
  if (FKnots.size() == N + static_cast<std::size_t>(D) + 1 && Sorted) {
    for (float K : FKnots) Knots.Add(K);
  } else {
    // Without a usable knot vector: clamped and uniform.
    const int M = static_cast<int>(N) + D + 1;
    for (int I = 0; I < M; ++I) Knots.Add(std::clamp(I - D, 0, static_cast<int>(N) - D));
  }
  TFPointList Out;
  Gen.SetBaseList(&Out);
  if (ByKnots) {
    if (N < 4) {
      for (const TF2DPoint& P : FControls) FPoints.push_back(P);
      return;
    }
    Gen.CreateSplineByKnots(Controls, Knots, cnstEdgeSplineStep);
  } else {
    // Weights only when every control point has one.
    TqdDoubleList Weights;
    const bool UseWeights = Rational() && FWeights.size() == N;
    if (UseWeights)
      for (float W : FWeights) Weights.Add(W);
    if (!Gen.CreateBSpline(Controls, Knots, Deg, UseWeights ? &Weights : nullptr))
      for (const TFPoint& P : Controls) Out.Add(P);
  }
  FPoints.reserve(static_cast<std::size_t>(std::max(Out.Count(), 4)));
  for (const TFPoint& P : Out)
    if (std::isfinite(P.X) && std::isfinite(P.Y)) FPoints.push_back({P.X, P.Y});
}

bool Tqd2DSpline::IsEdgeEqual(const Tqd2DCurve& ACurve) const {
  const auto* S = dynamic_cast<const Tqd2DSpline*>(&ACurve);
  return S && Tqd2DCurve::IsEdgeEqual(ACurve) && FKnots == S->FKnots && FControls == S->FControls;
}

// ---------------------------------------------------------------- loops

Tqd2DCurve* Tqd2DBoundaryList::Add(std::unique_ptr<Tqd2DCurve> E) {
  FObjects.push_back(std::move(E));
  return FObjects.back().get();
}

void Tqd2DBoundaryList::Insert(int AIndex, std::unique_ptr<Tqd2DCurve> E) {
  const int I = std::clamp(AIndex, 0, GetCount());
  FObjects.insert(FObjects.begin() + I, std::move(E));
}

std::unique_ptr<Tqd2DCurve> Tqd2DBoundaryList::Delete(int AIndex) {
  if (AIndex < 0 || AIndex >= GetCount()) return nullptr;
  std::unique_ptr<Tqd2DCurve> E = std::move(FObjects[static_cast<std::size_t>(AIndex)]);
  FObjects.erase(FObjects.begin() + AIndex);
  return E;
}

Tqd2DCurve* Tqd2DBoundaryList::GetItem(int AIndex) const {
  return AIndex >= 0 && AIndex < GetCount() ? FObjects[static_cast<std::size_t>(AIndex)].get() : nullptr;
}

void Tqd2DBoundaryList::SetItem(int AIndex, std::unique_ptr<Tqd2DCurve> E) {
  if (AIndex >= 0 && AIndex < GetCount()) FObjects[static_cast<std::size_t>(AIndex)] = std::move(E);
}

void Tqd2DBoundaryList::SetCount(int ACount) {
  if (ACount >= 0 && ACount <= GetCount()) FObjects.resize(static_cast<std::size_t>(ACount));
}

void Tqd2DBoundaryList::CopyFrom(Tqd2DBoundaryList& AList, int AIndex, int ACount) {
  if (&AList == this || AIndex < 0 || ACount <= 0 || AIndex >= AList.GetCount()) return;
  const int N = std::min(ACount, AList.GetCount() - AIndex);
  auto First = AList.FObjects.begin() + AIndex;
  for (auto It = First; It != First + N; ++It) FObjects.push_back(std::move(*It));
  AList.FObjects.erase(First, First + N);
}

void Tqd2DBoundaryList::AssignBoundary(const Tqd2DBoundaryList& AObject) {
  if (&AObject == this) return;
  FBoundaryType = AObject.FBoundaryType;
  FObjects.clear();
  FObjects.reserve(AObject.FObjects.size());
  for (const auto& E : AObject.FObjects)
    if (E) FObjects.push_back(E->Clone());
}

Tqd2DBoundaryList* TqdCADBoundaryData::Add(std::uint8_t AType) {
  FBoundaries.push_back(std::make_unique<Tqd2DBoundaryList>(AType));
  return FBoundaries.back().get();
}

Tqd2DBoundaryList* TqdCADBoundaryData::InsertList(int AIndex, std::uint8_t AType) {
  const int I = std::clamp(AIndex, 0, LoopCount());
  return FBoundaries.insert(FBoundaries.begin() + I, std::make_unique<Tqd2DBoundaryList>(AType))->get();
}

void TqdCADBoundaryData::CopyBoundaries(const TqdCADBoundaryData& Source) {
  if (&Source == this) return;
  FBoundaries.clear();
  for (const auto& L : Source.FBoundaries)
    if (L && L->GetCount() > 0) Add(L->FBoundaryType)->AssignBoundary(*L);
}

void TqdCADBoundaryData::AssignEntity(const TqdDXFEntity& Source) {
  if (const auto* S = dynamic_cast<const TqdCADBoundaryData*>(&Source)) CopyBoundaries(*S);
}

void TqdCADBoundaryData::Normalize() {
  std::erase_if(FBoundaries, [](const auto& L) { return !L; });
  for (auto& L : FBoundaries) std::erase_if(L->FObjects, [](const auto& E) { return !E; });
}

std::size_t TqdCADBoundaryData::EdgeCount() const {
  std::size_t N = 0;
  for (const auto& L : FBoundaries)
    if (L) N += L->FObjects.size();
  return N;
}

// ---------------------------------------------------------------- poly-polygon

void TqdCADPolyPolygon::AddLoop(const std::vector<TFPoint>& APoints) {
  std::vector<TFPoint> L;
  L.reserve(APoints.size());
  for (const TFPoint& P : APoints)
    if (IsFiniteFPoint(P)) L.push_back(P);
  FBoundaryPolylines.push_back(std::move(L));
}

void TqdCADPolyPolygon::CloseLoops() {
  for (auto& L : FBoundaryPolylines)
    if (!L.empty() && !IsEqualF2DPoints(L.back().Point2D(), L.front().Point2D(), 1e-9)) L.push_back(L.front());
}

void TqdCADPolyPolygon::Loaded(TqdDXFConverter* C) {
  PrepareMatrix();
  if (C && !Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
  TqdDXFPenLine::Loaded(C);
  BuildLoops();
  CloseLoops();
  FBox = cnstBadRect;
  bool Any = false;
  for (const auto& L : FBoundaryPolylines)
    for (const TFPoint& P : L) {
      UnionBoxPoint(FBox, {P.X, P.Y, EntType() == cePolyPolygon ? P.Z : 0});
      Any = true;
    }
  if (!Any) return;
  NormalizeBox(FBox);
  if (IsDegenerate()) {
    FBox = cnstBadRect;
    return;
  }
  GeneratePattern();
}

void TqdCADPolyPolygon::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADPolyPolygon*>(&Source)) {
    FBoundaryPolylines.clear();
    for (const auto& L : S->FBoundaryPolylines)
      if (!L.empty()) FBoundaryPolylines.push_back(L);
    FBox = S->FBox;
  }
}

// ---------------------------------------------------------------- gradient

void TqdCADGradientPolygon::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADPolyPolygon::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADGradientPolygon*>(&Source)) {
    FGradientColor[0] = S->FGradientColor[0];
    FGradientColor[1] = S->FGradientColor[1];
    FGradientAngle = S->FGradientAngle;
    FGradientUseCenter = S->FGradientUseCenter;
    FType = S->FType;
  }
}

bool TqdCADGradientPolygon::IsDegenerate() const {
  return !(FBox.Right - FBox.Left >= 1e-9) || !(FBox.Top - FBox.Bottom >= 1e-9);
}

TqdColorCAD TqdCADGradientPolygon::GetGradientColorCAD(int AIndex) const {
  if (AIndex == 0 || AIndex == 1) return FGradientColor[AIndex];
  return TqdColorCAD::Index(clForeground);
}

void TqdCADGradientPolygon::SetGradientColorCAD(int AIndex, const TqdColorCAD& AColor) {
  if (AIndex == 0 || AIndex == 1) FGradientColor[AIndex] = AColor;
}

void TqdCADGradientPolygon::SetGradientAngle(double V) {
  if (!std::isfinite(V) || std::fabs(V) >= 2147483647.0) return;
  FGradientAngle = WithoutTurns(V);
}

namespace {
struct TGradientName {
  const char* Name;
  TqdGradientType Type;
};
constexpr TGradientName cnstGradientNames[] = {
    {"CURVED", gtCurved},          {"CYLINDER", gtCylinder},       {"HEMISPHERICAL", gtHemiSpherical},
    {"LINEAR", gtLinear},          {"SPHERICAL", gtSpherical},     {"INVCURVED", gtInvCurved},
    {"INVCYLINDER", gtInvCylinder}, {"INVHEMISPHERICAL", gtInvHemiSpherical}, {"INVSPHERICAL", gtInvSpherical}};
}  // namespace

std::string TqdCADGradientPolygon::GradientName() const {
  if (FType == gtNone) return {};
  for (const auto& G : cnstGradientNames)
    if (G.Type == FType) return G.Name;
  return "UNKNOWN";
}

void TqdCADGradientPolygon::SetGradientName(std::string V) {
  while (!V.empty() && V.back() == '\0') V.pop_back();
  if (V.empty()) {
    FType = gtNone;
    return;
  }
  for (char& Ch : V) Ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
  FType = gtOther;
  for (const auto& G : cnstGradientNames)
    if (V == G.Name) {
      FType = G.Type;
      return;
    }
}

// ---------------------------------------------------------------- curve polygon

TqdCADCurvePolygon::TqdCADCurvePolygon() : FBoundaryData(std::make_unique<TqdCADBoundaryData>()) {}

void TqdCADCurvePolygon::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADGradientPolygon::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADCurvePolygon*>(&Source)) {
    FBoundaryData->CopyBoundaries(*S->FBoundaryData);
    FElevation = S->FElevation;
    FMatrix = S->FMatrix;
    FHatchName = S->FHatchName;
    FIslandStyle = S->FIslandStyle;
  }
}

int TqdCADCurvePolygon::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  if (auto* B = dynamic_cast<TqdCADBoundaryData*>(E.get())) {
    E.release();
    FBoundaryData.reset(B);
    return 0;
  }
  return TqdCADGradientPolygon::InsertEntity(Index, std::move(E));
}

void TqdCADCurvePolygon::SetExtrusion(const TFPoint& P) {
  const bool Zero = P.X == 0 && P.Y == 0 && P.Z == 0;
  TqdCADGradientPolygon::SetExtrusion(!IsFiniteFPoint(P) || Zero ? cnstExtrusion : P);
}

bool TqdCADCurvePolygon::HasTransform() const {
  const TFPoint E = Extrusion();
  return !(E == cnstExtrusion) || FElevation.Z != 0;
}

void TqdCADCurvePolygon::PrepareMatrix() {
  FMatrix = cnstIdentityMat;
  if (!HasTransform()) return;
  const TFMatrix M = ComposeMatrices(TranslationMatrix({0, 0, FElevation.Z}), ExtrusionMatrix(Extrusion()));
  bool Ok = true;
  for (int R = 0; R < 4 && Ok; ++R)
    for (int C = 0; C < 3; ++C)
      if (!std::isfinite(M.M(R, C))) Ok = false;
  if (Ok) FMatrix = M;
}

TFRect TqdCADCurvePolygon::GetTransformedBox(const TFRect& R) const {
  if (!HasTransform() || IsBadBox(R)) return R;
  const TqdDXFConverter* C = Converter();
  if (C && C->ImportMode() == imImport) return R;
  return TransformBox(R, FMatrix);
}

std::string TqdCADCurvePolygon::GetHatchName() const {
  if (!FHatchName.empty()) return FHatchName;
  return TqdCADGradientPolygon::GetHatchName();
}

bool TqdCADCurvePolygon::LoopUsedByStyle(std::uint8_t AType, bool AnyFlagged) const {
  if (!AnyFlagged) return true;
  if (FIslandStyle == 2) return (AType & 1) != 0;
  if (FIslandStyle == 1) return (AType & (1 | 16)) != 0;
  return true;
}

namespace {

// End points of the edges still to be chained, in cells of the chaining distance, so
// that finding the edge that continues a chain looks at a few cells, not every edge.
// A cell keeps its edges in ascending order; edges already chained at its front are
// passed for good, and a crowded cell (only hostile or degenerate boundaries crowd
// more than a few ends into 0.005) is examined up to a bound, so that a search never
// costs more than a fixed amount.
class TEndGrid {
public:
  void Add(const TF2DPoint& P, int Edge) { FCells[Key(Cell(P.X), Cell(P.Y))].Items.push_back(Edge); }
  // The unused edge whose nearer end lies closest to P within the chaining distance
  // (the lowest index on a tie); AtStart tells which end. -1 when none.
  template <class TUsed, class TEnds>
  int Find(const TF2DPoint& P, const TUsed& Used, const TEnds& Ends, bool& AtStart) {
    constexpr int cnstMaxExamined = 64, cnstMaxScanned = 256;
    const double Limit = cnstChainDistance * cnstChainDistance;
    int Best = -1;
    double BestD = Limit;
    const std::int64_t CX = Cell(P.X), CY = Cell(P.Y);
    for (int K = 0; K < 9; ++K) {
      // The centre cell first: an end exactly at P can only be there.
      const std::int64_t DX = K == 0 ? 0 : (K - 1) % 3 - 1, DY = K == 0 ? 0 : (K - 1) / 3 - 1;
      if (K > 0 && DX == 0 && DY == 0) continue;
      const auto It = FCells.find(Key(CX + DX, CY + DY));
      if (It == FCells.end()) continue;
      TCell& C = It->second;
      while (C.Head < C.Items.size() && Used(C.Items[C.Head])) ++C.Head;
      int Examined = 0, Scanned = 0;
      for (std::size_t I = C.Head; I < C.Items.size() && Examined < cnstMaxExamined && Scanned < cnstMaxScanned; ++I) {
        ++Scanned;
        const int E = C.Items[I];
        if (Used(E)) continue;
        ++Examined;
        const auto [S, F] = Ends(E);
        const double DS = SqrDistance2D(S, P), DF = SqrDistance2D(F, P);
        const double D = std::min(DS, DF);
        if (D < BestD || (D == BestD && D < Limit && E < Best)) {
          BestD = D;
          Best = E;
          AtStart = DS <= DF;
        }
        // Items ascend: the first exact hit of the centre cell is the lowest index.
        if (K == 0 && D == 0) return Best;
      }
    }
    return Best;
  }

private:
  struct TCell {
    std::vector<int> Items;
    std::size_t Head = 0;
  };
  static std::int64_t Cell(double V) {
    return static_cast<std::int64_t>(std::floor(std::clamp(V / cnstChainDistance, -1e15, 1e15)));
  }
  static std::uint64_t Key(std::int64_t X, std::int64_t Y) {
    return static_cast<std::uint64_t>(X) * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(Y);
  }
  std::unordered_map<std::uint64_t, TCell> FCells;
};

}  // namespace

void TqdCADCurvePolygon::BuildLoops() {
  FBoundaryPolylines.clear();
  TqdCADBoundaryData& BD = *FBoundaryData;
  BD.Normalize();
  TqdGeneratorShapeEdge Gen;
  for (auto& L : BD.FBoundaries)
    for (auto& E : L->FObjects) E->BuildPoints(Gen);
  const bool F = GetSolidFill();
  bool AnyFlagged = false;
  for (const auto& L : BD.FBoundaries)
    if ((L->FBoundaryType & (1 | 16)) != 0) AnyFlagged = true;
  // The walk visits lists inserted during it (the leftovers of a split loop).
  for (std::size_t LI = 0; LI < BD.FBoundaries.size(); ++LI) {
    Tqd2DBoundaryList& List = *BD.FBoundaries[LI];
    const std::uint8_t T = List.FBoundaryType;
    // Edges without points add nothing and would chain at (0, 0).
    std::vector<std::unique_ptr<Tqd2DCurve>> Dropped;
    for (int K = List.GetCount() - 1; K >= 0; --K)
      if (List.GetItem(K)->GetCount() == 0) Dropped.push_back(List.Delete(K));
    if (List.GetCount() == 0) continue;
    if ((T & 128) != 0) continue;
    if (F && T > 31 && (T & 4) == 0) continue;
    if (F && (T & 8) != 0 && (T & 16) == 0) continue;
    if (!LoopUsedByStyle(T, AnyFlagged)) continue;

    // Chain order: positions hold edge indexes; Fwd tells whether an edge is walked
    // from its start.
    const int N = List.GetCount();
    auto Ends = [&](int E) {
      const Tqd2DCurve* C = List.FObjects[static_cast<std::size_t>(E)].get();
      return std::pair<TF2DPoint, TF2DPoint>{C->GetStartPoint(), C->GetEndPoint()};
    };
    std::vector<char> Used(static_cast<std::size_t>(N), 0);
    auto IsUsed = [&](int E) { return Used[static_cast<std::size_t>(E)] != 0; };
    TEndGrid Grid;
    for (int E = 1; E < N; ++E) {
      const auto [S, Fi] = Ends(E);
      Grid.Add(S, E);
      Grid.Add(Fi, E);
    }
    std::vector<int> Chain{0};
    std::vector<char> Fwd{1};
    Used[0] = 1;
    TF2DPoint Leave = Ends(0).second;
    while (static_cast<int>(Chain.size()) < N) {
      bool AtStart = true;
      const int E = Grid.Find(Leave, IsUsed, Ends, AtStart);
      if (E < 0) break;
      Used[static_cast<std::size_t>(E)] = 1;
      Chain.push_back(E);
      Fwd.push_back(AtStart ? 1 : 0);
      Leave = AtStart ? Ends(E).second : Ends(E).first;
    }
    if (static_cast<int>(Chain.size()) < N) {
      // Edges that touch where the chain begins go in front of it.
      TF2DPoint Begin = Ends(Chain.front()).first;
      if (!Fwd.front()) Begin = Ends(Chain.front()).second;
      std::vector<int> Front;
      std::vector<char> FrontFwd;
      for (;;) {
        bool AtStart = true;
        const int E = Grid.Find(Begin, IsUsed, Ends, AtStart);
        if (E < 0) break;
        Used[static_cast<std::size_t>(E)] = 1;
        Front.push_back(E);
        // Entered at its far end, left where it touches the chain.
        FrontFwd.push_back(AtStart ? 0 : 1);
        Begin = AtStart ? Ends(E).second : Ends(E).first;
      }
      Chain.insert(Chain.begin(), Front.rbegin(), Front.rend());
      Fwd.insert(Fwd.begin(), FrontFwd.rbegin(), FrontFwd.rend());
    }
    // Reorder the list: chained edges first, the rest after in their order.
    std::vector<std::unique_ptr<Tqd2DCurve>> Ordered;
    Ordered.reserve(static_cast<std::size_t>(N));
    for (int E : Chain) Ordered.push_back(std::move(List.FObjects[static_cast<std::size_t>(E)]));
    const int Chained = static_cast<int>(Chain.size());
    for (int E = 0; E < N; ++E)
      if (!IsUsed(E)) Ordered.push_back(std::move(List.FObjects[static_cast<std::size_t>(E)]));
    List.FObjects = std::move(Ordered);
    if (Chained < N) {
      Tqd2DBoundaryList* Rest = BD.InsertList(static_cast<int>(LI) + 1, T);
      Rest->CopyFrom(*BD.FBoundaries[LI], Chained, N - Chained);
    }
    Tqd2DBoundaryList& Loop = *BD.FBoundaries[LI];  // the insertion may have moved the slot
    // Tessellate in chain order; each edge in its own order when its start is nearer
    // the last point, else reversed.
    std::vector<TFPoint> Pts;
    auto Put = [&](const TF2DPoint& P) {
      if (Pts.empty() || !IsEqualF2DPoints(Pts.back().Point2D(), P, 1e-9)) Pts.push_back({P.X, P.Y, 0});
    };
    for (int K = 0; K < Loop.GetCount(); ++K) {
      Tqd2DCurve* C = Loop.GetItem(K);
      const int Cnt = C->GetCount();
      bool Forward = true;
      if (K > 0) {
        const TF2DPoint Last = Pts.back().Point2D();
        Forward = SqrDistance2D(C->GetStartPoint(), Last) < SqrDistance2D(C->GetEndPoint(), Last);
      } else if (Loop.GetCount() > 1) {
        // The first edge runs towards the second.
        const Tqd2DCurve* D = Loop.GetItem(1);
        const TF2DPoint E = C->GetEndPoint(), S = C->GetStartPoint();
        const double DE = std::min(SqrDistance2D(E, D->GetStartPoint()), SqrDistance2D(E, D->GetEndPoint()));
        const double DS = std::min(SqrDistance2D(S, D->GetStartPoint()), SqrDistance2D(S, D->GetEndPoint()));
        Forward = !(DS < DE && DS < cnstChainDistance * cnstChainDistance);
      }
      if (Forward) {
        for (int I = 0; I < Cnt; ++I) Put(C->GetPoints(I));
      } else {
        for (int I = Cnt - 1; I >= 0; --I) Put(C->GetPoints(I));
        C->Reverse(false);
      }
    }
    for (auto& E : Loop.FObjects) E->ClearPoints();
    FBoundaryPolylines.push_back(std::move(Pts));
  }
  for (auto& L : BD.FBoundaries)
    for (auto& E : L->FObjects) E->ClearPoints();
}

// ---------------------------------------------------------------- hatch

TqdCADHatch::TqdCADHatch() : FHatchPatternData(std::make_unique<TqdCADHatchPatternData>()) {
  FHatchStyles = (static_cast<int>(fsCAD) << 8) | hsSolid;
}

void TqdCADHatch::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADCurvePolygon::AssignEntity(Source);
  FParsedLines.clear();
  if (const auto* S = dynamic_cast<const TqdCADHatch*>(&Source)) {
    FHatchPatternData->CopyPatterns(*S->FHatchPatternData);
    FHatchStyles = S->FHatchStyles;
  }
}

int TqdCADHatch::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  if (auto* P = dynamic_cast<TqdCADHatchPatternData*>(E.get())) {
    E.release();
    FHatchPatternData.reset(P);
    return 0;
  }
  return TqdCADCurvePolygon::InsertEntity(Index, std::move(E));
}

std::string TqdCADHatch::GetHatchName() const {
  if (!FHatchPatternData->FName.empty()) return FHatchPatternData->FName;
  return TqdCADGradientPolygon::GetHatchName();
}

TqdFillStyle TqdCADHatch::FillStyle() const {
  const int V = (FHatchStyles >> 8) & 0x7F;
  return V <= fsCAD ? static_cast<TqdFillStyle>(V) : fsCAD;
}

void TqdCADHatch::SetFillStyle(TqdFillStyle V) {
  if (V == FillStyle()) return;
  FHatchStyles = (FHatchStyles & ~(0x7F << 8)) | (static_cast<int>(V) << 8);
  if (V == fsCAD) return;
  TqdCADHatchPatternData& D = *FHatchPatternData;
  D.ClearPatterns(false);
  const TFPoint O{};
  switch (V) {
    case fsHorizontal: D.AddPatternData(O, 1, 0); break;
    case fsVertical: D.AddPatternData(O, 1, 90); break;
    case fsFDiagonal: D.AddPatternData(O, 1, -45); break;
    case fsBDiagonal: D.AddPatternData(O, -1, 45); break;
    case fsCross:
      D.AddPatternData(O, 1, 0);
      D.AddPatternData(O, 1, 90);
      break;
    case fsDiagCross:
      D.AddPatternData(O, -1, 45);
      D.AddPatternData(O, 1, -45);
      break;
    default: break;
  }
}

void TqdCADHatch::SetPatternAngle(double AValue) {
  FHatchPatternData->DoAngle(AValue);
  if (FillStyle() != fsCAD) SetFillStyle(fsCAD);
}

void TqdCADHatch::SetPatternScale(double AValue) {
  if (!std::isfinite(AValue) || AValue < 1e-6) return;
  if (FillStyle() != fsCAD) SetFillStyle(fsCAD);
  FHatchPatternData->DoScale(AValue);
}

bool TqdCADHatch::RotatePatterns(double Delta) {
  if (!std::isfinite(Delta) || std::fabs(Delta) <= 1e-6) return false;
  FHatchPatternData->RotateLines(Delta);
  return true;
}

bool TqdCADHatch::ScalePatterns(double Factor) {
  if (!std::isfinite(Factor) || std::fabs(Factor - 1) <= 1e-6) return false;
  FHatchPatternData->ScaleLines(Factor);
  return true;
}

void TqdCADHatch::GeneratePattern() {
  FParsedLines.clear();
  FPatternFallback = pfNone;
  if (FillStyle() != fsCAD) return;
  int H = HatchStyle();
  try {
    qdGenerateHatchPattern(FBoundaryPolylines, FBox, FHatchPatternData->FPatterns, H, FParsedLines);
    SetHatchStyle(static_cast<TqdHatchStyle>(H));
  } catch (const EqdLimitMemoryUsesException&) {
    FParsedLines.clear();
    FParsedLines.shrink_to_fit();
    FPatternFallback = pfMemoryLimit;
  } catch (const EqdLimitTimeUsesException&) {
    FParsedLines.clear();
    FParsedLines.shrink_to_fit();
    FPatternFallback = pfTimeLimit;
  }
}

// ---------------------------------------------------------------- multi-polygon, fill

TqdCADMPolygon::TqdCADMPolygon() {
  SetFlags(Flags() | 1);
  FFillColor = ColorCAD();
}

void TqdCADMPolygon::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADHatch::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADMPolygon*>(&Source)) {
    FOffset = S->FOffset;
    FFillColor = S->FFillColor;
  }
}

void TqdCADMPolygon::SetOffset(const TF2DPoint& V) {
  if (Finite2(V)) FOffset = V;
}

void TqdCADMPolygon::PrepareMatrix() {
  TqdCADHatch::PrepareMatrix();
  FMatrix = ComposeMatrices(TranslationMatrix({FOffset.X, FOffset.Y, 0}), FMatrix);
}

void TqdCADFill::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADCurvePolygon::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADFill*>(&Source)) {
    FCADFillFlags = S->FCADFillFlags;
    FStyleFill.reset();
    if (S->FStyleFill && (S->FStyleFill->FFlags & 1) != 0) {
      FStyleFill = std::make_unique<TqdCADStyleFill>();
      FStyleFill->FFlags = S->FStyleFill->FFlags;
      FStyleFill->FRef = S->FStyleFill->FRef;
      FStyleFill->SetTransform(S->FStyleFill->Transform());
      FStyleFill->X1 = S->FStyleFill->X1;
      FStyleFill->Y1 = S->FStyleFill->Y1;
      FStyleFill->Point1 = S->FStyleFill->Point1;
    }
  }
}
