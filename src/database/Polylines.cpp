#include "Polylines.h"

#include <algorithm>
#include <cmath>

#include "DXFConv.h"
#include "qdCurveMath.h"
#include "qdFunction.h"
#include "qdSegments.h"
#include "qdShapeEdge.h"

// ---------------------------------------------------------------- vertex

namespace {

// Where a vertex is drawn: a 3D polyline's elevation taken off, a 2D one flattened
// into its plane, then the extrusion turned in. One rule for the kept points, the
// per-frame points and the deferred box.
struct TVertexAdjust {
  bool Is3D;
  bool Extruded;
  TFMatrix Transform;
  double Elev;
  TFPoint operator()(TFPoint p) const {
    if (Elev != 0) p.Z = Is3D ? p.Z - Elev : 0;
    return Extruded ? TransformVector(p, Transform) : p;
  }
};

TVertexAdjust VertexAdjust(const TqdDXFPolyline& L, bool Mesh) {
  const bool is3D = L.Polyline3D();
  const bool extruded = IsNonDefaultExtrusion(L.Extrusion()) && !Mesh && !is3D;
  return {is3D, extruded, extruded ? ExtrusionMatrix(L.Extrusion()) : cnstIdentityMat, L.Elevation()};
}

}  // namespace

void TqdDXFVertex::SetIs3DVertex(bool V) {
  if (V) {
    FFlags |= cnst3DVertex;
    FBulge = FStartWidth = FEndWidth = 0;
  } else {
    FFlags &= ~cnst3DVertex;
  }
}

int TqdDXFVertex::PolyFaceVertexIndex(int I) const {
  if (!FPolyFaceIndexes || I < 1 || I > 4) return 0;
  return (*FPolyFaceIndexes)[static_cast<std::size_t>(I - 1)];
}

void TqdDXFVertex::SetPolyFaceVertexIndex(int I, int V) {
  if (I < 1 || I > 4) return;
  if (!FPolyFaceIndexes) FPolyFaceIndexes = std::make_unique<std::array<int, 4>>();
  (*FPolyFaceIndexes)[static_cast<std::size_t>(I - 1)] = V;
}

void TqdDXFVertex::AssignEntity(const TqdDXFEntity& Source) {
  if (const auto* S = dynamic_cast<const TqdDXFVertex*>(&Source)) {
    FFlags = S->FFlags;
    FPoint = S->FPoint;
    FBulge = S->FBulge;
    FStartWidth = S->FStartWidth;
    FEndWidth = S->FEndWidth;
    if (S->FPolyFaceIndexes)
      FPolyFaceIndexes = std::make_unique<std::array<int, 4>>(*S->FPolyFaceIndexes);
    else
      FPolyFaceIndexes.reset();
  }
}

// ---------------------------------------------------------------- polyline

TqdDXFPolyline::~TqdDXFPolyline() = default;

TqdDXFEntity* TqdDXFPolyline::GetEntity(int Index) const {
  return GetVertex(Index);
}

TqdDXFVertex* TqdDXFPolyline::GetVertex(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FEntities[static_cast<std::size_t>(Index)].get();
}

int TqdDXFPolyline::InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) {
  auto* v = dynamic_cast<TqdDXFVertex*>(E.get());
  if (!v || v->Owner()) return -1;
  if (Index < 0 || Index > Count()) Index = Count();
  E.release();
  if (Polyline3D()) v->SetIs3DVertex(true);
  v->SetOwner(this);
  FEntities.insert(FEntities.begin() + Index, std::unique_ptr<TqdDXFVertex>(v));
  return Index;
}

std::unique_ptr<TqdDXFEntity> TqdDXFPolyline::DeleteEntity(int Index) {
  if (Index < 0 || Index >= Count()) return nullptr;
  std::unique_ptr<TqdDXFEntity> v = std::move(FEntities[static_cast<std::size_t>(Index)]);
  FEntities.erase(FEntities.begin() + Index);
  v->SetOwner(nullptr);
  return v;
}

int TqdDXFPolyline::IndexOfEntity(const TqdDXFEntity* E) const {
  for (int i = Count() - 1; i >= 0; --i)
    if (FEntities[static_cast<std::size_t>(i)].get() == E) return i;
  return -1;
}

void TqdDXFPolyline::Clear(bool ADoFree) {
  FEntities.clear();
}

TqdDXFVertex* TqdDXFPolyline::AddVertex(const TFPoint& P, double Bulge, double StartW,
                                        double EndW) {
  auto v = std::make_unique<TqdDXFVertex>();
  v->SetPoint(P);
  v->SetBulge(Bulge);
  v->SetStartWidth(StartW);
  v->SetEndWidth(EndW);
  // What InsertEntity does at the end, without asking what the new item is.
  if (Polyline3D()) v->SetIs3DVertex(true);
  v->SetOwner(this);
  TqdDXFVertex* raw = v.get();
  FEntities.push_back(std::move(v));
  return raw;
}

bool TqdDXFPolyline::IsMesh() const {
  return !IsLightweight() && (FFlags & cnstPolygonMesh) != 0 && FMeshM > 0 && FMeshN > 0;
}

bool TqdDXFPolyline::IsPolygonMesh() const {
  if (FMeshM <= 1 || FMeshN <= 1) return false;
  const long long mn = static_cast<long long>(FMeshM) * FMeshN;
  return FPolyPoints.Count() == 0 || mn == FPolyPoints.Count();
}

bool TqdDXFPolyline::IsPolyFaceMesh() const {
  if (FFlags != cnstPolyfaceMesh) return false;
  return (FMeshM > 1 && FMeshN > 0) || FPolyFaceVertexIndexes.Count() > 1;
}

bool TqdDXFPolyline::GetPolyFace(int Index, int (&Out)[4]) const {
  if (Index < 0 || static_cast<long long>(Index) * 4 + 3 >= FPolyFaceVertexIndexes.Count())
    return false;
  for (int k = 0; k < 4; ++k) {
    const int v = FPolyFaceVertexIndexes[Index * 4 + k];
    // A face that names a vertex beyond the list is skipped, not followed.
    if (v == INT32_MIN || std::abs(v) > FVertexPointCount) return false;
    Out[k] = v;
  }
  return true;
}

bool TqdDXFPolyline::HasWidth(bool AFull) const {
  if (FGlobalW != 0 || FStartW != 0 || FEndW != 0) return true;
  if (!AFull) return false;
  for (const auto& v : FEntities)
    if (v->StartWidth() != 0 || v->EndWidth() != 0) return true;
  return false;
}

void TqdDXFPolyline::GeneratePoints(TqdDXFConverter* C) {
  const int parts = C && C->NumberOfPartsInCircle() > 1 ? C->NumberOfPartsInCircle() : 48;
  MakePoints(parts, C && C->ImportMode() == imImport, C);
}

void TqdDXFPolyline::MakeCurvePoints(int Parts) {
  MakePoints(Parts, false, nullptr);
}

void TqdDXFPolyline::MakePoints(int Parts, bool ImportEntities, TqdDXFConverter* C) {
  FPolyPoints.Clear(false);
  FPolyFaceVertexIndexes.Clear();
  FPolyLineEntities.clear();
  FArrows.Clear();
  FPointsCounts.Clear(false);
  FVertexPointCount = 0;
  if (FEntities.empty()) return;

  const bool mesh = IsMesh();
  const TVertexAdjust adjust = VertexAdjust(*this, mesh);
  auto addFace = [&](const TqdDXFVertex& v) {
    for (int k = 1; k <= 4; ++k) FPolyFaceVertexIndexes.Add(v.PolyFaceVertexIndex(k));
    FPointsCounts.Add(4);
  };

  // Counts computed in 64 bits: 16-bit mesh sizes multiply past 2^31.
  const long long mn = static_cast<long long>(FMeshM) * FMeshN;
  const long long needed = FFlags == 80 ? static_cast<long long>(FMeshM) + FMeshN : mn;
  if (mesh) {
    if (static_cast<long long>(FEntities.size()) >= needed && mn != 0) {
      for (const auto& v : FEntities) {
        if (v->IsSplineFrameControlPoint()) {
          FPointsCounts.Add(-1);
        } else if (v->IsPolyfaceMeshVertex()) {
          addFace(*v);
        } else {
          FPolyPoints.Add(v->Point());
          FPointsCounts.Add(1);
          ++FVertexPointCount;
        }
      }
    }
  } else {
    const unsigned parts = static_cast<unsigned>(Parts);
    // Vertices that make points, in order; the others only add their counts.
    std::vector<int> drawable;
    for (int i = 0; i < Count(); ++i) {
      const TqdDXFVertex& v = *FEntities[static_cast<std::size_t>(i)];
      if (!v.IsSplineFrameControlPoint() && !v.IsPolyfaceMeshVertex()) drawable.push_back(i);
    }
    const bool closedLoop = Closed() || IsMeshNClosed();
    TqdGeneratorShapeEdge gen;
    gen.SetNumberCirclePart(parts);
    TFPointList arc;
    gen.SetBaseList(&arc);
    std::size_t next = 0; // position in drawable of the next drawable vertex
    for (int i = 0; i < Count(); ++i) {
      const TqdDXFVertex& v = *FEntities[static_cast<std::size_t>(i)];
      if (v.IsSplineFrameControlPoint()) {
        FPointsCounts.Add(-1);
        continue;
      }
      if (v.IsPolyfaceMeshVertex()) {
        addFace(v);
        continue;
      }
      ++next;
      ++FVertexPointCount;
      const TFPoint p = v.Point();
      const bool lastDrawable = next >= drawable.size();
      if (lastDrawable && !closedLoop) {
        FPolyPoints.Add(adjust(p));
        FPointsCounts.Add(1);
        continue;
      }
      const TFPoint q =
          FEntities[static_cast<std::size_t>(lastDrawable ? drawable[0] : drawable[next])]->Point();
      const double b = v.Bulge();
      if (!(p == q) && !IsStraightBulge(b)) {
        arc.Clear(false);
        TqdArcR rec;
        gen.CreateBulgesArc(p, q, rec, b);
        for (const TFPoint& a : arc) FPolyPoints.Add(adjust(a));
        FPointsCounts.Add(arc.Count());
      } else {
        FPolyPoints.Add(adjust(p));
        FPointsCounts.Add(1);
      }
      if (FPolyPoints.Count() > cnstMaxEntityPoints) break;
    }
    if (ImportEntities) BuildImportEntities(C, drawable, closedLoop);
  }
  if (FPolyFaceVertexIndexes.Count() == 0) FPolyFaceVertexIndexes.Clear();
  if (HasWidth(true) && !IsMesh() && !IsPolyFaceMesh()) BuildOutline();
}

bool TqdDXFPolyline::CurvePointsInto(int Parts, TFPointList& Out) const {
  // Only the plain outlines DeferredBox leaves to later get here: the points
  // MakePoints would make for them, in the same order.
  if (FEntities.empty()) return true;
  const TVertexAdjust adjust = VertexAdjust(*this, false);
  const bool closedLoop = Closed() || IsMeshNClosed();
  thread_local TFPointList arc;
  TqdGeneratorShapeEdge gen;
  gen.SetNumberCirclePart(static_cast<unsigned>(std::max(Parts, 1)));
  gen.SetBaseList(&arc);
  const std::size_t n = FEntities.size();
  for (std::size_t i = 0; i < n; ++i) {
    const TFPoint p = FEntities[i]->Point();
    const bool last = i + 1 == n;
    if (last && !closedLoop) {
      Out.Add(adjust(p));
      break;
    }
    const TFPoint q = FEntities[last ? 0 : i + 1]->Point();
    const double b = FEntities[i]->Bulge();
    if (!(p == q) && !IsStraightBulge(b)) {
      arc.Clear(false);
      TqdArcR rec;
      gen.CreateBulgesArc(p, q, rec, b);
      for (const TFPoint& a : arc) Out.Add(adjust(a));
    } else {
      Out.Add(adjust(p));
    }
  }
  return true;
}

int TqdDXFPolyline::ViewParts(int Parts, double PixelsPerUnit) const {
  // Every bulge arc takes the same count: the one its worst arc needs to stay
  // within a tenth of a pixel (a chord of angle a strays r(1 - cos(a/2))).
  constexpr double Tol = 0.1;
  double need = 1;
  const std::size_t n = FEntities.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double b = FEntities[i]->Bulge();
    if (IsStraightBulge(b) || !std::isfinite(b)) continue;
    const TFPoint p = FEntities[i]->Point(), q = FEntities[i + 1 == n ? 0 : i + 1]->Point();
    const double chord = std::hypot(q.X - p.X, q.Y - p.Y, q.Z - p.Z);
    const double ab = std::fabs(b);
    const double r = chord * (1 + ab * ab) / (4 * ab) * PixelsPerUnit;
    const double sweep = 4 * std::atan(ab);
    if (!std::isfinite(r)) return Parts;
    if (r <= Tol) continue;
    need = std::max(need, std::ceil(sweep / (2 * std::acos(1 - Tol / r))));
    if (need >= Parts) return Parts;
  }
  return std::max(1, static_cast<int>(need));
}

bool TqdDXFPolyline::DeferredBox(const TqdDXFConverter* C, int Parts, TFRect& Box) const {
  // Only plain outlines: meshes, faces, spline frames, widths and import entities
  // need the points (or more) at once.
  if (FEntities.empty() || (C && C->ImportMode() == imImport) || IsMesh() ||
      (FMeshM > 1 && FMeshN > 1) || HasWidth(true))
    return false;
  const long long n = static_cast<long long>(FEntities.size());
  if (n * (Parts + 1) > cnstMaxEntityPoints) return false;
  for (const auto& v : FEntities)
    if (v->IsSplineFrameControlPoint() || v->IsPolyfaceMeshVertex()) return false;

  const TVertexAdjust adjust = VertexAdjust(*this, false);
  const bool closedLoop = Closed() || IsMeshNClosed();
  Box = cnstBadRect;
  for (std::size_t i = 0; i < FEntities.size(); ++i) {
    const TqdDXFVertex& v = *FEntities[i];
    const TFPoint p = v.Point();
    UnionBoxPoint(Box, adjust(p));
    const bool last = i + 1 == FEntities.size();
    if (last && !closedLoop) break;
    const TFPoint q = FEntities[last ? 0 : i + 1]->Point();
    const double b = v.Bulge();
    if (p == q || IsStraightBulge(b)) continue;
    // A bulge arc whose ends differ in height is a helix piece: leave it to the points.
    if (p.Z != q.Z) return false;
    TFPoint c = BulgeCenter(p, q, b);
    const double r = std::hypot(p.X - c.X, p.Y - c.Y);
    c.Z = p.Z;
    if (!adjust.Extruded) {
      // In the plane: of the circle's four axis extremes, those on the bulge's side
      // of the chord (the side of the arc's middle point) are on the arc.
      const double mx = (p.X + q.X) / 2, my = (p.Y + q.Y) / 2;
      const double hx = p.X - mx, hy = p.Y - my;
      const double dx = q.X - p.X, dy = q.Y - p.Y;
      auto side = [&](double x, double y) { return dx * (y - p.Y) - dy * (x - p.X); };
      const double mid = side(mx - b * hy, my + b * hx);
      const TFPoint cc = adjust(c);
      const double ex[4][2] = {{r, 0}, {-r, 0}, {0, r}, {0, -r}};
      for (const auto& e : ex) {
        const double x = cc.X + e[0], y = cc.Y + e[1];
        if (side(x, y) * mid > 0) UnionBoxPoint(Box, {x, y, cc.Z});
      }
      continue;
    }
    const TFPoint ax{r, 0, 0}, ay{0, r, 0};
    UnionConicArcBox(Box, adjust(c), TransformVector(ax, adjust.Transform), TransformVector(ay, adjust.Transform),
                     std::atan2(p.Y - c.Y, p.X - c.X), 4 * std::atan(b));
  }
  return Box.Left <= Box.Right;
}

void TqdDXFPolyline::BuildOutline() {
  FArrows.Clear();
  const bool extruded = IsNonDefaultExtrusion(Extrusion()) && !Polyline3D();
  TFPointList pts;
  pts.SetCapacity(FPolyPoints.Count());
  for (const TFPoint& p : FPolyPoints) pts.Add(extruded ? WCSToOCS(p, Extrusion()) : p);
  std::vector<TqdOutlineVertex> verts;
  verts.reserve(FEntities.size());
  for (int i = 0; i < Count() && i < FPointsCounts.Count(); ++i) {
    const TqdDXFVertex& v = *FEntities[static_cast<std::size_t>(i)];
    if (v.IsPolyfaceMeshVertex()) continue;
    verts.push_back({v.StartWidth(), v.EndWidth(), v.Bulge(), FPointsCounts[i]});
  }
  if (!TqdCreatorSegments::Build(pts, verts, FGlobalW, FStartW, Closed(), FArrows)) {
    FArrows.Clear();
    return;
  }
  if (extruded)
    for (TFPoint& p : FArrows) p = OCSToWCS(p, Extrusion());
}

void TqdDXFPolyline::BuildImportEntities(TqdDXFConverter* C, const std::vector<int>& Order,
                                         bool ClosedLoop) {
  const std::size_t n = Order.size();
  for (std::size_t k = 0; k < n; ++k) {
    const bool last = k + 1 == n;
    if (last && !ClosedLoop) break;
    const TqdDXFVertex& v = *FEntities[static_cast<std::size_t>(Order[k])];
    const TqdDXFVertex& w = *FEntities[static_cast<std::size_t>(Order[last ? 0 : k + 1])];
    if (v.Point() == w.Point()) continue;
    if (!IsStraightBulge(v.Bulge())) {
      TqdGeneratorShapeEdge g;
      TqdArcR rec;
      g.CreateBulgesArc(v.Point(), w.Point(), rec, v.Bulge());
      auto a = std::make_unique<TqdDXFArc>();
      a->AssignEntity(*this);
      a->SetFlags(0);
      a->SetArc(rec);
      a->SetVisibility(Visibility());
      a->Loaded(C);
      FPolyLineEntities.push_back(std::move(a));
    } else {
      auto l = std::make_unique<TqdDXFLine>();
      l->AssignEntity(*this);
      const TFPoint e = Extrusion();
      const bool ocs = IsNonDefaultExtrusion(e) && !Polyline3D();
      l->SetLine(ocs ? OCSToWCS(v.Point(), e) : v.Point(),
                 ocs ? OCSToWCS(w.Point(), e) : w.Point());
      l->SetVisibility(Visibility());
      l->Loaded(C);
      FPolyLineEntities.push_back(std::move(l));
    }
  }
}

void TqdDXFPolyline::ApplyElevation() {
  TqdCADBasePolyline::ApplyElevation();
  if (!IsPolygonMesh()) ApplyElevationTo(FArrows, true);
}

void TqdDXFPolyline::UpdatePolyBox() {
  TqdCADBasePolyline::UpdatePolyBox();
  for (const TFPoint& p : FArrows) UnionBoxPoint(FBox, p);
}

void TqdDXFPolyline::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADBasePolyline::AssignEntity(Source);
  const auto* S = dynamic_cast<const TqdDXFPolyline*>(&Source);
  if (!S) return;
  FMeshM = S->FMeshM;
  FMeshN = S->FMeshN;
  FStartW = S->FStartW;
  FEndW = S->FEndW;
  FGlobalW = S->FGlobalW;
  FEntities.clear();
  for (const auto& v : S->FEntities) {
    auto c = std::make_unique<TqdDXFVertex>();
    c->AssignEntity(*v);
    InsertEntity(Count(), std::move(c));
  }
}
