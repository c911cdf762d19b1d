#pragma once
// Filled areas: solid loops given directly (multiline fills, plot files), gradient
// fills, areas bounded by curve edges, pattern hatches and multi-polygons, picture
// fills; the boundary model (loops of edge curves) and the loop builder that chains
// and tessellates the edges into closed point loops each time an area is loaded.
// The pattern model and generator are in qdHatchPattern.h.
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DXFBase.h"
#include "qdHatchPattern.h"

class TqdGeneratorShapeEdge;
class TqdNode;
struct TqdXMLResult;

// ---------------------------------------------------------------- boundary edges

enum Tqd2DEdgeType : std::uint8_t { etPolyline = 0, etLine = 1, etArc = 2, etEllipse = 3, etSpline = 4, etNone = 255 };

// One boundary edge, in the area's own plane. The base class has no points.
class Tqd2DCurve : public TqdListObject {
public:
  virtual const char* ClassName() const { return "Tqd2DCurve"; }
  // A fresh edge of the same class (the virtual constructor).
  virtual std::unique_ptr<Tqd2DCurve> NewInstance() const { return std::make_unique<Tqd2DCurve>(); }
  // A deep copy: the same class, Assign'ed.
  std::unique_ptr<Tqd2DCurve> Clone() const;

  virtual void Assign(const Tqd2DCurve& Source) {}
  virtual void ClearPoints() {}
  // Number of tessellated points.
  virtual int GetCount() const { return 0; }
  virtual TF2DPoint GetEndPoint() const { return {}; }
  virtual int GetEdgeType() const { return etNone; }
  // Null-safe: an index out of range gives (0, 0).
  virtual TF2DPoint GetPoints(int AIndex) const { return {}; }
  virtual TF2DPoint GetStartPoint() const { return {}; }
  // Tessellates the edge into its own point list (Gen: the library's curve generator).
  virtual void BuildPoints(TqdGeneratorShapeEdge& Gen) {}
  virtual void Reverse(bool ARebuild) {}
  virtual bool IsEdgeEqual(const Tqd2DCurve& ACurve) const { return GetEdgeType() == ACurve.GetEdgeType(); }
};

class Tqd2DLine : public Tqd2DCurve {
public:
  const char* ClassName() const override { return "Tqd2DLine"; }
  std::unique_ptr<Tqd2DCurve> NewInstance() const override { return std::make_unique<Tqd2DLine>(); }
  void Assign(const Tqd2DCurve& Source) override;
  int GetCount() const override { return 2; }
  TF2DPoint GetEndPoint() const override { return FEndPoint; }
  int GetEdgeType() const override { return etLine; }
  TF2DPoint GetPoints(int AIndex) const override;
  TF2DPoint GetStartPoint() const override { return FStartPoint; }
  void Reverse(bool ARebuild) override { std::swap(FStartPoint, FEndPoint); }
  bool IsEdgeEqual(const Tqd2DCurve& ACurve) const override;
  // Non-finite values are refused.
  void SetStartPoint(const TF2DPoint& P);
  void SetEndPoint(const TF2DPoint& P);

  TF2DPoint FStartPoint, FEndPoint;
};

// Edges with a tessellation of their own (made by BuildPoints, freed by ClearPoints).
class Tqd2DPoints : public Tqd2DCurve {
public:
  const char* ClassName() const override { return "Tqd2DPoints"; }
  void ClearPoints() override;
  int GetCount() const override { return static_cast<int>(FPoints.size()); }
  TF2DPoint GetEndPoint() const override { return FPoints.empty() ? TF2DPoint{} : FPoints.back(); }
  TF2DPoint GetPoints(int AIndex) const override;
  TF2DPoint GetStartPoint() const override { return FPoints.empty() ? TF2DPoint{} : FPoints.front(); }
  const std::vector<TF2DPoint>& Points() const { return FPoints; }

  std::vector<TF2DPoint> FPoints;
};

class Tqd2DArc : public Tqd2DPoints {
public:
  static constexpr std::uint8_t cnstCounterClockWise = 1;
  static constexpr std::uint8_t cnstAngleInParam = 2;

  const char* ClassName() const override { return "Tqd2DArc"; }
  std::unique_ptr<Tqd2DCurve> NewInstance() const override { return std::make_unique<Tqd2DArc>(); }
  void Assign(const Tqd2DCurve& Source) override;
  int GetEdgeType() const override { return etArc; }
  void BuildPoints(TqdGeneratorShapeEdge& Gen) override;
  void Reverse(bool ARebuild) override;
  bool IsEdgeEqual(const Tqd2DCurve& ACurve) const override;
  // Angle (degrees) to the curve parameter (degrees); arcs keep the angle.
  virtual double AngleToParam(double Angle) const { return Angle; }
  // Major and minor axis lengths, cosine and sine of the major axis direction.
  virtual void GetAxes(double& A, double& B, double& CosPhi, double& SinPhi) const;
  bool CounterClockWise() const { return (FFlag & cnstCounterClockWise) != 0; }
  void SetCounterClockWise(bool V) { FFlag = V ? (FFlag | cnstCounterClockWise) : (FFlag & ~cnstCounterClockWise); }

  TF2DPoint FCenterPoint;
  double FRadius = 0;
  double FStartParam = 0, FEndParam = 0;  // degrees
  std::uint8_t FFlag = 0;
};

class Tqd2DEllipse : public Tqd2DArc {
public:
  Tqd2DEllipse() { FFlag = cnstAngleInParam; }
  const char* ClassName() const override { return "Tqd2DEllipse"; }
  std::unique_ptr<Tqd2DCurve> NewInstance() const override { return std::make_unique<Tqd2DEllipse>(); }
  void Assign(const Tqd2DCurve& Source) override;
  int GetEdgeType() const override { return etEllipse; }
  void Reverse(bool ARebuild) override {}
  bool IsEdgeEqual(const Tqd2DCurve& ACurve) const override;
  // With the angle-is-parameter flag the stored angles are turned into parameters; a
  // ratio that is not a usable positive number keeps the angle.
  double AngleToParam(double Angle) const override;
  void GetAxes(double& A, double& B, double& CosPhi, double& SinPhi) const override;
  bool IsAngleInParam() const { return (FFlag & cnstAngleInParam) != 0; }
  void SetIsAngleInParam(bool V) { FFlag = V ? (FFlag | cnstAngleInParam) : (FFlag & ~cnstAngleInParam); }

  TF2DPoint FMajorPoint;  // the major axis end relative to the centre
};

class Tqd2DPolyline : public Tqd2DPoints {
public:
  const char* ClassName() const override { return "Tqd2DPolyline"; }
  std::unique_ptr<Tqd2DCurve> NewInstance() const override { return std::make_unique<Tqd2DPolyline>(); }
  void Assign(const Tqd2DCurve& Source) override;
  int GetEdgeType() const override { return etPolyline; }
  // The last vertex, (0, 0) without vertices.
  TF2DPoint GetEndPoint() const override { return FVertexes.empty() ? TF2DPoint{} : FVertexes.back(); }
  void BuildPoints(TqdGeneratorShapeEdge& Gen) override;
  bool IsEdgeEqual(const Tqd2DCurve& ACurve) const override;
  void AddVertex(const TF2DPoint& P);
  // Pads the bulges with zeros to one less than the vertex count, then appends B: a
  // bulge belongs to the vertex added last.
  void AddBulge(double B);
  double Bulge(int I) const;
  bool Closed() const { return (FProps & 1) != 0; }
  void SetClosed(bool V) { FProps = V ? (FProps | 1) : (FProps & ~1); }
  // For in-place completion by readers; a dummy when there is no vertex.
  TF2DPoint& GetLastVertex();

  std::vector<TF2DPoint> FVertexes;
  std::vector<float> FBulges;
  std::uint8_t FProps = 0;

private:
  TF2DPoint FDummy;
};

class Tqd2DSpline : public Tqd2DPoints {
public:
  const char* ClassName() const override { return "Tqd2DSpline"; }
  std::unique_ptr<Tqd2DCurve> NewInstance() const override { return std::make_unique<Tqd2DSpline>(); }
  void Assign(const Tqd2DCurve& Source) override;
  int GetEdgeType() const override { return etSpline; }
  void BuildPoints(TqdGeneratorShapeEdge& Gen) override;
  bool IsEdgeEqual(const Tqd2DCurve& ACurve) const override;
  void AddControl(const TF2DPoint& P);
  void AddKnot(double K);
  void AddWeight(double W);
  int Degree() const { return FParams & 0xFF; }
  void SetDegree(int V) { FParams = (FParams & ~0xFFu) | (static_cast<unsigned>(V < 0 ? 0 : V > 255 ? 255 : V)); }
  bool Rational() const { return (FParams & 0x100) != 0; }
  void SetRational(bool V) { FParams = V ? (FParams | 0x100) : (FParams & ~0x100u); }
  bool Periodic() const { return (FParams & 0x200) != 0; }
  void SetPeriodic(bool V) { FParams = V ? (FParams | 0x200) : (FParams & ~0x200u); }
  TF2DPoint& GetLastVertex();

  std::vector<TF2DPoint> FControls;
  std::vector<float> FKnots;
  std::vector<float> FWeights;
  unsigned FParams = 3;

private:
  TF2DPoint FDummy;
};

// One loop as a list of edges it owns. The type carries the boundary-path flags: 1
// external, 2 polyline, 4 derived, 8 text box, 16 outermost, 128 never used.
class Tqd2DBoundaryList : public TqdListObject {
public:
  explicit Tqd2DBoundaryList(std::uint8_t AType = 1) : FBoundaryType(AType) {}
  Tqd2DCurve* Add(std::unique_ptr<Tqd2DCurve> E);
  void Insert(int AIndex, std::unique_ptr<Tqd2DCurve> E);
  // Takes the edge out of the list and hands it over (null for a bad index).
  std::unique_ptr<Tqd2DCurve> Delete(int AIndex);
  Tqd2DCurve* GetItem(int AIndex) const;
  void SetItem(int AIndex, std::unique_ptr<Tqd2DCurve> E);
  int GetCount() const { return static_cast<int>(FObjects.size()); }
  void SetCount(int ACount);
  void Clear() { FObjects.clear(); }
  // Moves edges AIndex .. AIndex + ACount - 1 of AList to the end of this list; they
  // leave AList, so no edge ever has two owners.
  void CopyFrom(Tqd2DBoundaryList& AList, int AIndex, int ACount);
  // Deep copy of another loop, type included.
  void AssignBoundary(const Tqd2DBoundaryList& AObject);

  std::uint8_t FBoundaryType = 1;
  std::vector<std::unique_ptr<Tqd2DCurve>> FObjects;
};

// The boundary data of a curve-based area.
class TqdCADBoundaryData : public TqdDXFEntity {
  QD_ENTITY_CLASS(TqdCADBoundaryData)
public:
  int LoopCount() const { return static_cast<int>(FBoundaries.size()); }
  Tqd2DBoundaryList* Add(std::uint8_t AType);
  // Inserts an empty loop at AIndex (clamped) and returns it.
  Tqd2DBoundaryList* InsertList(int AIndex, std::uint8_t AType);
  // Copies the loops of Source that have at least one edge.
  void CopyBoundaries(const TqdCADBoundaryData& Source);
  void AssignEntity(const TqdDXFEntity& Source) override;
  void ClearBoundaries() { FBoundaries.clear(); }
  // Removes empty slots (missing loops and edges).
  void Normalize();
  // Total number of edges.
  std::size_t EdgeCount() const;

  std::vector<std::unique_ptr<Tqd2DBoundaryList>> FBoundaries;
};

// ---------------------------------------------------------------- area entities

enum TqdGradientType {
  gtNone, gtCurved, gtCylinder, gtHemiSpherical, gtLinear, gtSpherical, gtInvCurved, gtInvCylinder,
  gtInvHemiSpherical, gtInvSpherical, gtOther
};

// A solid area given directly by loops of points in its own plane.
class TqdCADPolyPolygon : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TqdCADPolyPolygon)
public:
  TqdCADEntities EntType() const override { return cePolyPolygon; }
  int LoopCount() const { return static_cast<int>(FBoundaryPolylines.size()); }
  const std::vector<TFPoint>& Loop(int I) const { return FBoundaryPolylines.at(static_cast<std::size_t>(I)); }
  // Non-finite points are refused.
  void AddLoop(const std::vector<TFPoint>& APoints);
  void ClearLoops() { FBoundaryPolylines.clear(); }
  TFRect Box() const override { return GetTransformedBox(FBox); }
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;
  bool DependsOnCircleParts() const override { return true; }
  bool DependsOnSplineParts() const override { return true; }

  virtual bool RotatePatterns(double Delta) { return false; }
  virtual bool ScalePatterns(double Factor) { return false; }
  virtual void PrepareMatrix() {}
  virtual void ClearBoundaryData() {}
  virtual void CloseLoops();
  virtual TFRect GetTransformedBox(const TFRect& R) const { return R; }
  virtual std::string GetHatchName() const { return "SOLID"; }
  virtual bool GetSolidFill() const { return true; }
  virtual bool IsDegenerate() const { return false; }
  virtual void BuildLoops() {}
  virtual void GeneratePattern() {}
  virtual void SetHatchName(const std::string& V) {}
  virtual void SetSolidFill(bool V) {}

  // The loops: closed after loading; for curve-based areas rebuilt on every load.
  std::vector<std::vector<TFPoint>> FBoundaryPolylines;
  TFRect FBox = cnstBadRect;
};

class TqdCADGradientPolygon : public TqdCADPolyPolygon {
  QD_ENTITY_CLASS(TqdCADGradientPolygon)
public:
  TqdCADEntities EntType() const override { return ceGradientPolygon; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  std::string GetHatchName() const override { return FType != gtNone ? "GRADIENT" : "SOLID"; }
  bool IsDegenerate() const override;
  // Index 0 or 1 gives that colour; any other index gives colour 7 (writes ignored).
  TqdColorCAD GetGradientColorCAD(int AIndex) const;
  void SetGradientColorCAD(int AIndex, const TqdColorCAD& AColor);
  double GradientAngle() const { return FGradientAngle; }
  // Whole turns are removed (the sign kept); huge and non-finite values are ignored.
  void SetGradientAngle(double V);
  std::string GradientName() const;
  void SetGradientName(std::string V);

  TqdColorCAD FGradientColor[2] = {TqdColorCAD::RGB(0xFF0000), TqdColorCAD::RGB(0xFFFFFF)};
  double FGradientAngle = 0;
  bool FGradientUseCenter = true;
  TqdGradientType FType = gtNone;
};

// A solid area bounded by curve edges.
class TqdCADCurvePolygon : public TqdCADGradientPolygon {
  QD_ENTITY_CLASS(TqdCADCurvePolygon)
public:
  TqdCADCurvePolygon();
  TqdCADEntities EntType() const override { return ceCurvePolygon; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  // A boundary data entity replaces the area's own.
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;

  void PrepareMatrix() override;
  void ClearBoundaryData() override { FBoundaryData->ClearBoundaries(); }
  TFRect GetTransformedBox(const TFRect& R) const override;
  void BuildLoops() override;
  void SetHatchName(const std::string& V) override { FHatchName = V; }
  std::string GetHatchName() const override;

  virtual TqdColorCAD GetFillColor() const { return ColorCAD(); }
  virtual TF2DPoint GetOffset() const { return {}; }
  virtual void SetFillColor(const TqdColorCAD& V) {}
  virtual void SetOffset(const TF2DPoint& V) {}
  virtual bool HasTransform() const;

  TFPoint Elevation() const { return FElevation; }
  // Only Z is kept.
  void SetElevation(const TFPoint& P) {
    if (std::isfinite(P.Z)) FElevation = {0, 0, P.Z};
  }
  // A zero or non-finite extrusion is the plane's default (0, 0, 1).
  void SetExtrusion(const TFPoint& P) override;
  TqdCADBoundaryData& BoundaryData() { return *FBoundaryData; }
  const TqdCADBoundaryData& BoundaryData() const { return *FBoundaryData; }
  Tqd2DBoundaryList* AddBoundaryList(std::uint8_t AFlags) { return FBoundaryData->Add(AFlags); }
  int GetBoundaryDataCount() const { return FBoundaryData ? FBoundaryData->LoopCount() : -1; }
  Tqd2DBoundaryList* GetBoundaryDataLast() const {
    return FBoundaryData->FBoundaries.empty() ? nullptr : FBoundaryData->FBoundaries.back().get();
  }
  const TFMatrix& Matrix() const { return FMatrix; }
  // The island style of the file (0 nested, 1 outermost, 2 ignore): which loops bound
  // the area.
  int IslandStyle() const { return FIslandStyle; }
  void SetIslandStyle(int V) { FIslandStyle = V >= 0 && V <= 2 ? V : 0; }

  std::unique_ptr<TqdCADBoundaryData> FBoundaryData;
  TFPoint FElevation;
  TFMatrix FMatrix = cnstIdentityMat;
  std::string FHatchName;  // the name the file gives a solid area

protected:
  // Loops chosen by the island style; all of them when the style leaves none.
  bool LoopUsedByStyle(std::uint8_t AType, bool AnyFlagged) const;
  int FIslandStyle = 0;
};


// Why a hatch draws no pattern of its own.
enum TqdPatternFallback : std::uint8_t { pfNone, pfMemoryLimit, pfTimeLimit };

class TqdCADHatch : public TqdCADCurvePolygon {
  QD_ENTITY_CLASS(TqdCADHatch)
public:
  TqdCADHatch();
  TqdCADEntities EntType() const override { return ceHatch; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  bool GetSolidFill() const override { return false; }
  bool RotatePatterns(double Delta) override;
  bool ScalePatterns(double Factor) override;
  void GeneratePattern() override;
  std::string GetHatchName() const override;
  void SetHatchName(const std::string& V) override { FHatchPatternData->FName = V; }

  TqdHatchStyle HatchStyle() const { return static_cast<TqdHatchStyle>(FHatchStyles & 0xFF); }
  void SetHatchStyle(TqdHatchStyle V) { FHatchStyles = (FHatchStyles & ~0xFF) | (static_cast<int>(V) & 0xFF); }
  TqdFillStyle FillStyle() const;
  void SetFillStyle(TqdFillStyle V);
  double PatternAngle() const { return FHatchPatternData->FAngle; }
  void SetPatternAngle(double AValue);
  double PatternScale() const { return FHatchPatternData->FScale; }
  void SetPatternScale(double AValue);
  std::vector<TqdHatchPatternData>& HatchPatternData() { return FHatchPatternData->FPatterns; }
  const std::vector<TqdHatchPatternData>& HatchPatternData() const { return FHatchPatternData->FPatterns; }
  TqdCADHatchPatternData& PatternData() { return *FHatchPatternData; }
  const TqdCADHatchPatternData& PatternData() const { return *FHatchPatternData; }
  // The generated pattern: consecutive (start, end) pairs, Z 0.
  const std::vector<TFPoint>& ParsedLines() const { return FParsedLines; }
  // Set when the last generation stopped at a limit: the hatch is drawn filled instead.
  TqdPatternFallback PatternFallback() const { return FPatternFallback; }

  std::unique_ptr<TqdCADHatchPatternData> FHatchPatternData;
  int FHatchStyles = 0;
  std::vector<TFPoint> FParsedLines;
  TqdPatternFallback FPatternFallback = pfNone;
};

class TqdCADMPolygon : public TqdCADHatch {
  QD_ENTITY_CLASS(TqdCADMPolygon)
public:
  TqdCADMPolygon();
  TqdCADEntities EntType() const override { return ceMPolygon; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  bool GetSolidFill() const override { return (Flags() & 1) != 0; }
  void SetSolidFill(bool V) override { SetFlags(V ? (Flags() | 1) : (Flags() & ~1)); }
  bool HasTransform() const override { return true; }
  void PrepareMatrix() override;
  TF2DPoint GetOffset() const override { return FOffset; }
  void SetOffset(const TF2DPoint& V) override;
  TqdColorCAD GetFillColor() const override { return FFillColor; }
  void SetFillColor(const TqdColorCAD& V) override { FFillColor = V; }

  TF2DPoint FOffset;
  TqdColorCAD FFillColor = TqdColorCAD::Index(clByLayer);
};

// A picture fill's style (created through the XML form only).
struct TqdCADStyleFill {
  int FFlags = 0;  // bit 0 local, bit 1 units
  const TqdCADStyleFill* FRef = nullptr;
  std::unique_ptr<TFMatrix> FTransform;
  double X1 = 0, Y1 = 0;
  TFPoint Point1;
  TFMatrix Transform() const { return FTransform ? *FTransform : cnstIdentityMat; }
  void SetTransform(const TFMatrix& M) {
    if (M == cnstIdentityMat) FTransform.reset();
    else FTransform = std::make_unique<TFMatrix>(M);
  }
};

class TqdCADFill : public TqdCADCurvePolygon {
  QD_ENTITY_CLASS(TqdCADFill)
public:
  void AssignEntity(const TqdDXFEntity& Source) override;
  std::uint8_t FCADFillFlags = 0;
  std::unique_ptr<TqdCADStyleFill> FStyleFill;
};

// The XML child elements of an area: "Boundaries" (curve-based areas) and "Pattrens"
// (hatches), added to ANode after its attributes.
void qdAreaToXML(const TqdDXFEntity& E, TqdNode& ANode, unsigned AModes);
// Applies AChild when it is one of those elements; false for any other element. Edges
// are made only of the boundary curve classes; others are reported and skipped.
bool qdAreaFromXML(TqdDXFEntity& E, const TqdNode& AChild, TqdXMLResult* AResult);
