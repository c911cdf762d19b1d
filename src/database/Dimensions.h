#pragma once
// Dimensions, leaders and geometric tolerances. A dimension is an insert of a block
// holding its lines, arrows and text: the file's block when it has one, otherwise one
// this library generates for linear and aligned dimensions. Every style value is read
// through a per-entity override object (DimStyles.h), filled from "ACAD" "DSTYLE".
// A leader is a spline or polyline path with an arrowhead insert it owns; a tolerance
// is a multiline text drawn as feature-control frames (a private block of lines and
// texts).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Curves.h"
#include "DimStyles.h"
#include "Inserts.h"
#include "Texts.h"

// Name prefix of generated dimension blocks; any block whose name holds "qdDim" counts.
inline constexpr const char* cnstGeneratedDimPrefix = "*qdDim";
bool IsGeneratedDimBlockName(std::string_view AName);

// The measurement as text: DIMDEC digits (clamped 0..8) after the separator ("," by default), at most
// 7 significant digits (scientific notation beyond). DIMZIN bit 4 drops the leading
// zero, bit 8 the trailing zeros (and a separator left alone).
std::string FormatDimMeasurement(double AValue, int ADecimals, int AZeros = 0, char ASeparator = ',');
// The fit of text and arrows between the arrow points (1 both inside, 2 arrows inside,
// 3 text inside, 4 neither); L arrow-point distance, A arrow size, W text length on
// the line, G text gap.
int DimFitMode(double L, double A, double W, double G);
// The same choice for text set above or outside the dimension line: the text leaves the
// line to the arrows, so each needs only its own room (W the text's width).
int DimFitModeOffLine(double L, double A, double W, double G);

class TqdDXFDimension : public TqdDXFInsert {
  QD_ENTITY_CLASS(TqdDXFDimension)
public:
  TqdDXFDimension() = default;
  ~TqdDXFDimension() override;
  TqdCADEntities EntType() const override { return ceDimension; }

  // Type bits of FFlags.
  static constexpr int cnstTypeMask = 7;
  static constexpr int cnstBlockOwn = 32;
  static constexpr int cnstOrdinateX = 64;
  static constexpr int cnstUserText = 128;

  // ---- style and overrides
  TqdDXFDimensionStyle* Style() const;
  // Also re-links the overrides to the new style.
  void SetStyle(TqdDXFDimensionStyle* S);
  TqdTableItem& DimStyleItem() { return FDimStyleItem; }
  // Made on first use with the style as owner.
  TqdDXFDimensionProperties* Properties() const;
  bool HasProperties() const { return FPropertiesItem != nullptr; }
  TqdDXFStyle* TextStyle() const { return Properties()->TextStyle(); }
  double ArrowSize() const { return Properties()->ArrowSize(); }
  void SetArrowSize(double V) { Properties()->SetArrowSize(V); }
  int ArrowType() const { return Properties()->ArrowType(); }
  void SetArrowType(int V) { Properties()->SetArrowType(V); }
  int ArrowType1() const { return Properties()->ArrowType1(); }
  int ArrowType2() const { return Properties()->ArrowType2(); }
  int ArrowTypeL() const { return Properties()->ArrowTypeL(); }
  TqdColorCAD DIMCLRD() const { return Properties()->DIMCLRD(); }
  TqdColorCAD DIMCLRE() const { return Properties()->DIMCLRE(); }
  TqdColorCAD DIMCLRT() const { return Properties()->DIMCLRT(); }
  double DIMLWD() const { return Properties()->DIMLWD(); }
  double DIMLWE() const { return Properties()->DIMLWE(); }
  bool DIMSAH() const { return Properties()->DIMSAH(); }
  bool DIMSD1() const { return Properties()->DIMSD1(); }
  bool DIMSD2() const { return Properties()->DIMSD2(); }
  bool DIMSE1() const { return Properties()->DIMSE1(); }
  bool DIMSE2() const { return Properties()->DIMSE2(); }
  bool DIMTIH() const { return Properties()->DIMTIH(); }
  bool DIMTOH() const { return Properties()->DIMTOH(); }
  double ExtLineExt() const { return Properties()->ExtLineExt(); }
  double ExtLineOffset() const { return Properties()->ExtLineOffset(); }
  int ForceText() const { return Properties()->DIMTIX(); }
  double MeasurementsScale() const { return Properties()->DIMLFAC(); }
  int Precision() const { return Properties()->DIMDEC(); }
  void SetPrecision(int V) { Properties()->SetDIMDEC(V); }
  // 0 when DIMTIH is set, else 2 when DIMTOH is set, else 1.
  int TextAlign() const { return DIMTIH() ? 0 : (DIMTOH() ? 2 : 1); }
  double TextHeight() const { return Properties()->TextHeight(); }
  double TextOffset() const { return Properties()->TextOffset(); }
  TqdDimTextPosVert TextPosVert() const { return Properties()->TextPosVert(); }

  // ---- definition
  int Flags() const override { return FFlags; }
  void SetFlags(int V) override { FFlags = V; }
  int DimType() const { return FFlags & cnstTypeMask; }
  const std::string& TextOverride() const { return FTextOverride; }
  void SetTextOverride(std::string_view V) { FTextOverride.assign(V); }
  double TextRotation() const { return FTextRotation; }
  void SetTextRotation(double V) {
    if (std::isfinite(V)) FTextRotation = V;
  }

  // The distance between the two dimension-line ends, times DIMLFAC.
  double Measurement() const;
  // The text the generated block shows.
  std::string MeasurementText() const;

  // "ACAD": the overrides as "DSTYLE" data (nothing when there are none).
  TqdCADExtendedData GetExtData(std::string_view AAppID) const;
  // "ACAD" "DSTYLE" data goes to the overrides; returns whether it was such data.
  bool SetExtData(const TqdCADExtendedData& AData);

  // A file's generated block is never taken over: it is made again.
  void SetBlockRecord(TqdDXFBlockRecord* R) override;
  void ResolveLinks(TqdDXFConverter* C) override;
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;
  // Makes the block of a rotated or aligned linear dimension; false when nothing is
  // generated (the text at the definition point, another type, a file's block).
  bool GenerateBlock(TqdDXFConverter* C);

  TFPoint FArcDefPoint;    // code 16
  TFPoint FDefPoint;       // code 10
  TFPoint FLinDefPoint1;   // code 13
  TFPoint FLinDefPoint2;   // code 14
  TFPoint FMiddlePoint;    // code 11, the text middle point
  TFPoint FRadDefPoint;    // code 15
  TqdDXFEntity* FAssociated = nullptr;
  TqdTableItem FDimStyleItem;
  int FFlags = 0;          // code 70
  std::string FTextOverride;
  double FTextRotation = 0;  // code 53, degrees; 0 computed
  // Code 50, degrees: the dimension-line direction of a rotated dimension (NaN when
  // the file gave none).
  double FDimLineAngle = std::nan("");
  double FMeasurement = 0;   // code 42, as the file stored it
  mutable std::unique_ptr<TqdDXFDimensionProperties> FPropertiesItem;

private:
  bool FGenerating = false;
  bool FDStyleTaken = false;
};

class TqdDXFLeader : public TqdDXFSpline {
  QD_ENTITY_CLASS(TqdDXFLeader)
public:
  TqdDXFLeader();
  ~TqdDXFLeader() override;
  TqdCADEntities EntType() const override { return ceLeader; }

  TqdDXFDimensionStyle* DimStyle() const;
  void SetDimStyle(TqdDXFDimensionStyle* S);
  TqdTableItem& DimStyleItem() { return FDimStyleItem; }
  TqdDXFDimensionProperties* Properties() const;
  TqdDXFStyle* TextStyle() const { return Properties()->TextStyle(); }
  double ArrowSize() const { return Properties()->ArrowSize(); }
  // Also sets the arrow scale to 1.
  void SetArrowSize(double V);
  double ArrowScale() const { return Properties()->Scale(); }
  void SetArrowScale(double V) { Properties()->SetScale(V); }
  int ArrowType() const { return Properties()->ArrowTypeL(); }
  // Drops the arrowhead's block, which the next load takes from the new type.
  void SetArrowType(int V);
  TqdDXFBlock* DIMLDRBLK() const { return Properties()->DIMLDRBLK(); }
  TqdDXFInsert* ArrowInsert() const { return FInsert.get(); }
  bool IsSpline() const { return FIsSpline; }
  void SetIsSpline(bool V) { FIsSpline = V; }
  // The arrow direction of the first segment, degrees.
  double ArrowAngle() const { return FArrowAngle; }

  void SetColorCAD(const TqdColorCAD& C) override;
  void SetVisibility(bool V) override;
  TqdCADExtendedData GetExtData(std::string_view AAppID) const;
  bool SetExtData(const TqdCADExtendedData& AData);
  void ResolveLinks(TqdDXFConverter* C) override;
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

  bool FArrowhead = true;     // code 71
  TFPoint FArrowPoint, FTextPoint;
  TqdTableItem FDimStyleItem;
  mutable std::unique_ptr<TqdDXFDimensionProperties> FPropertiesItem;
  std::unique_ptr<TqdDXFInsert> FInsert;
  bool FIsSpline = false;     // code 72
  // Kept as read (codes 73, 74, 75, 40, 41, 211, 340); the vertices already hold the hook.
  int FAnnotationType = 3;
  int FHookDirection = 0;
  int FHookLine = 0;
  double FAnnotationHeight = 0, FAnnotationWidth = 0;
  TFPoint FHookVector{1, 0, 0};
  std::uint64_t FAnnotationHandle = 0;
  // The arrowhead block the file named by handle (code 341 of its DSTYLE data).
  std::string FArrowBlockName;

private:
  double FArrowAngle = 0;
  bool FDStyleTaken = false;
};

class TqdDXFTolerance : public TqdDXFMText {
  QD_ENTITY_CLASS(TqdDXFTolerance)
public:
  TqdDXFTolerance();
  ~TqdDXFTolerance() override;
  TqdCADEntities EntType() const override { return ceTolerance; }

  TqdColorCAD DimlineColor() const { return FDimlineColor; }
  void SetDimlineColor(const TqdColorCAD& C) { FDimlineColor = C; }
  TqdDXFDimensionStyle* DimStyle() const;
  void SetDimStyle(TqdDXFDimensionStyle* S) { FDimStyleItem.SetItem(S); }
  TqdTableItem& DimStyleItem() { return FDimStyleItem; }
  // 1 when absent.
  double DimScaleOverall() const { return FHasDimScaleOverall ? FDimScaleOverall : 1.0; }
  void SetDimScaleOverall(double V) {
    if (std::isfinite(V)) FDimScaleOverall = V, FHasDimScaleOverall = true;
  }
  bool HasDimScaleOverall() const { return FHasDimScaleOverall; }
  // Its own gap, else the style's DIMGAP, else 0.
  double GAP() const;
  // A value within 1e-6 of 0 removes it.
  void SetGAP(double V);
  TFPoint Direction() const { return FDirection; }
  void SetDirection(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FDirection = P;
  }
  // The frames and their texts, in drawing coordinates.
  const TqdDXFBlock* FrameBlock() const { return FBlock.get(); }

  TqdCADExtendedData GetExtData(std::string_view AAppID) const;
  TFRect Box() const override;
  void ResolveLinks(TqdDXFConverter* C) override;
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

  TqdColorCAD FDimlineColor = TqdColorCAD::Index(clByLayer);
  TqdTableItem FDimStyleItem;
  double FDimScaleOverall = 1;
  bool FHasDimScaleOverall = false;
  double FGAP = 0;
  bool FHasGAP = false;
  TFPoint FDirection{1, 0, 0};

private:
  std::unique_ptr<TqdDXFBlock> FBlock;
};
