#pragma once
// Polylines (2-D, 3-D, meshes, polyface meshes), their vertices and the lightweight
// polyline.
#include <array>
#include <memory>
#include <vector>

#include "Curves.h"

// Holds no table links: polylines let the link pass skip their vertices.
class TqdDXFVertex : public TqdDXFEntity {
  QD_ENTITY_CLASS(TqdDXFVertex)
public:
  static constexpr int cnstSplineFrameControl = 16;
  static constexpr int cnst3DVertex = 32;
  static constexpr int cnstPolyfaceRecord = 128;

  bool IsVertexBased() const override { return true; }
  TqdDXFEntity* Owner() const override { return FOwner; }
  void SetOwner(TqdDXFEntity* AOwner) override { FOwner = AOwner; }
  std::uint64_t Handle() const override { return FHandle; }
  void SetHandle(std::uint64_t H) override { FHandle = H; }
  int Flags() const override { return FFlags; }
  void SetFlags(int V) override { FFlags = V; }
  TFPoint Point() const { return FPoint; }
  void SetPoint(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FPoint = P;
  }
  double Bulge() const { return FBulge; }
  void SetBulge(double V) {
    if (std::isfinite(V)) FBulge = V;
  }
  double StartWidth() const { return FStartWidth; }
  void SetStartWidth(double V) {
    if (std::isfinite(V)) FStartWidth = V;
  }
  double EndWidth() const { return FEndWidth; }
  void SetEndWidth(double V) {
    if (std::isfinite(V)) FEndWidth = V;
  }
  bool IsSplineFrameControlPoint() const { return (FFlags & cnstSplineFrameControl) != 0; }
  bool IsPolyfaceMeshVertex() const { return FFlags == cnstPolyfaceRecord; }
  bool Is3DVertex() const { return (FFlags & cnst3DVertex) != 0; }
  // Setting it also zeroes the bulge and both widths.
  void SetIs3DVertex(bool V);
  // Face vertex indexes 1..4 (0 when never set).
  int PolyFaceVertexIndex(int I) const;
  void SetPolyFaceVertexIndex(int I, int V);
  bool HasPolyFaceIndexes() const { return FPolyFaceIndexes != nullptr; }
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  TqdDXFEntity* FOwner = nullptr;
  int FFlags = 0;
  std::uint64_t FHandle = 0;
  TFPoint FPoint;
  double FBulge = 0;
  double FEndWidth = 0;
  std::unique_ptr<std::array<int, 4>> FPolyFaceIndexes;
  double FStartWidth = 0;
};

class TqdDXFPolyline : public TqdCADBasePolyline {
  QD_ENTITY_CLASS(TqdDXFPolyline)
public:
  ~TqdDXFPolyline() override;
  TqdCADEntities EntType() const override { return cePolyline; }
  bool Complex() const override { return true; }

  // ---- vertices (the only children a polyline accepts)
  int Count() const override { return static_cast<int>(FEntities.size()); }
  TqdDXFEntity* GetEntity(int Index) const override;
  TqdDXFVertex* GetVertex(int Index) const;
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  std::unique_ptr<TqdDXFEntity> DeleteEntity(int Index) override;
  int IndexOfEntity(const TqdDXFEntity* E) const override;
  void Clear(bool ADoFree) override;
  // Room for N more vertices (readers know the count before adding them).
  void ReserveVertices(int N) {
    if (N > 0) FEntities.reserve(FEntities.size() + static_cast<std::size_t>(N));
  }
  // Convenience for readers and tests: appends a vertex.
  TqdDXFVertex* AddVertex(const TFPoint& P, double Bulge = 0, double StartW = 0, double EndW = 0);

  // ---- attributes
  const TFPointList& Arrows() const {
    EnsurePoints();
    return FArrows;
  }
  int MeshM() const { return FMeshM; }
  void SetMeshM(int V) { FMeshM = V; }
  int MeshN() const { return FMeshN; }
  void SetMeshN(int V) { FMeshN = V; }
  const TqdIntegerList& PolyFaceVertexIndexes() const {
    EnsurePoints();
    return FPolyFaceVertexIndexes;
  }
  const TqdIntegerList& PointsCounts() const {
    EnsurePoints();
    return FPointsCounts;
  }
  const std::vector<std::unique_ptr<TqdDXFEntity>>& PolyLineEntities() const {
    return FPolyLineEntities;
  }
  double StartWidth() const { return FStartW; }
  void SetStartWidth(double V) {
    if (std::isfinite(V)) FStartW = V;
  }
  double EndWidth() const { return FEndW; }
  void SetEndWidth(double V) {
    if (std::isfinite(V)) FEndW = V;
  }
  double GlobalWidth() const { return FGlobalW; }
  void SetGlobalWidth(double V) {
    if (std::isfinite(V)) FGlobalW = V;
  }
  double Elevation() const override { return FPoint.Z; }
  void SetElevation(double V) {
    if (std::isfinite(V)) FPoint.Z = V;
  }
  virtual bool Polyline3D() const { return (FFlags & cnst3DPolyline) != 0; }
  void SetPolyline3D(bool V) {
    FFlags = V ? (FFlags | cnst3DPolyline) : (FFlags & ~cnst3DPolyline);
  }
  virtual bool IsLightweight() const { return false; }
  bool IsMesh() const;
  bool IsPolygonMesh() const override;
  bool IsPolyFaceMesh() const;
  // Face Index of a polyface mesh as four vertex indexes (1-based, negative for a
  // hidden edge, 0 for none); false when the face names a vertex that does not exist.
  bool GetPolyFace(int Index, int (&Out)[4]) const;
  bool HasWidth(bool AFull) const override;

  void GeneratePoints(TqdDXFConverter* C) override;
  void ApplyElevation() override;
  void UpdatePolyBox() override;
  void AssignEntity(const TqdDXFEntity& Source) override;
  // Vertices name no table items.
  bool ChildrenHaveLinks() const override { return false; }

protected:
  void MakeCurvePoints(int Parts) override;
  bool DeferredBox(const TqdDXFConverter* C, int Parts, TFRect& Box) const override;
  bool CurvePointsInto(int Parts, TFPointList& Out) const override;
  int ViewParts(int Parts, double PixelsPerUnit) const override;
  void MakePoints(int Parts, bool ImportEntities, TqdDXFConverter* C);
  void BuildOutline();
  void BuildImportEntities(TqdDXFConverter* C, const std::vector<int>& Order, bool ClosedLoop);

  TFPointList FArrows;
  std::vector<std::unique_ptr<TqdDXFVertex>> FEntities;
  int FMeshM = 0;
  int FMeshN = 0;
  TqdIntegerList FPolyFaceVertexIndexes;
  std::vector<std::unique_ptr<TqdDXFEntity>> FPolyLineEntities;
  double FStartW = 0;
  double FEndW = 0;
  double FGlobalW = 0;
  TqdIntegerList FPointsCounts;
  int FVertexPointCount = 0; // points made by plain vertices (polyface faces index them)
};

class TqdDXFLWPolyline : public TqdDXFPolyline {
  QD_ENTITY_CLASS(TqdDXFLWPolyline)
public:
  TqdCADEntities EntType() const override { return ceLWPolyline; }
  bool Complex() const override { return false; }
  bool IsLightweight() const override { return true; }
  bool Polyline3D() const override { return false; }
  // A thin lightweight polyline may be drawn as one pixel when it is that small.
  bool IsOnePixelOptimisationValid() const { return !HasWidth(true); }
};
