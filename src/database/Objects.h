#pragma once
// Layouts with their page setups and saved views, viewports, spatial filters, and the
// other non-graphical objects: xrecords, image definitions, table styles, sort tables
// and external-reference items.
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DXFBase.h"
#include "qdFunction.h"

class TqdDXFBlock;

enum TqdCADSpace { csUndefined, cs2D, cs3D };

enum TqdPlotLayoutFlag {
  plfPlotViewportBorders,
  plfShowPlotStyles,
  plfPlotCentered,
  plfPlotHidden,
  plfUseStandardScale,
  plfPlotPlotStyles,
  plfScaleLineweights,
  plfPrintLineweights,
  plf256bit,
  plfDrawViewportsFirst,
  plfModelType,
  plfUpdatePaper,
  plfZoomToPaperOnUpdate,
  plfInitializing,
  plfPrevPlotInit
};
// A set of TqdPlotLayoutFlag: flag i is bit i (the DXF and DWG flag word).
using TqdPlotLayoutFlags = std::uint16_t;
constexpr TqdPlotLayoutFlags PlotFlag(TqdPlotLayoutFlag F) { return static_cast<TqdPlotLayoutFlags>(1u << F); }

enum TqdPlotPaperUnits : std::uint8_t { ppuInches, ppuMM, ppuPixels };
enum TqdPlotRotation : std::uint8_t { prNoRotation, pr90DegreesCounterCW, prUpsideDown, pr90DegreesCW };
enum TqdPlotType : std::uint8_t {
  ptLastScreenDisplay,
  ptDrawingExtents,
  ptDrawingLimits,
  ptViewSpecified,
  ptWindowSpecified,
  ptLayoutInformation
};

struct TqdPlotScale {
  double Numerator = 1.0;
  double Denomenator = 1.0;
};

// The page setup record. PlotPaperUnits and PlotType keep the byte a file gave (for a
// round trip); every use goes through the checked readers of TqdDXFPlotSettings.
struct TqdPlotSettingsData {
  std::string PageSetupName;
  std::string PrintOrConfigName = "none_device";
  TqdPlotLayoutFlags PlotLayoutFlags = PlotFlag(plfUseStandardScale) | PlotFlag(plfPlotPlotStyles) |
                                       PlotFlag(plfPrintLineweights) | PlotFlag(plfDrawViewportsFirst);
  std::uint8_t PlotPaperUnits = ppuMM;
  std::uint8_t StandardScaleType = 16;
  double NumeratorOfCustomPrintScale = 1.0;
  double DenominatorOfCustomPrintScale = 1.0;
  std::string PaperSize;
  std::string PlotViewName;
  TF2DRect UnprintableMargin;
  TF2DPoint PlotPaperSize;
  TF2DPoint PlotOrigin;
  TF2DPoint PlotWindowAreaMin, PlotWindowAreaMax;
  TqdPlotRotation PlotRotation = prNoRotation;
  std::uint8_t PlotType = ptLayoutInformation;
  std::string CurrentStyleSheet;
  int ShadePlotMode = 0;
  int ShadePlotResolutionLevel = 0;
  int ShadePlotCustomDPI = 100;
  double FloatingPointScaleFactor = 1.0;
  TF2DPoint PaperImageOrigin;
};

class TqdDXFPlotSettings : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFPlotSettings)
public:
  TqdPlotSettingsData FData;

  // The item name; writing it also sets the page setup name.
  void SetName(std::string_view AName) override;
  void SetNameUnchecked(std::string_view AName) override;
  // Checked readers of the raw bytes: unknown values read as ppuMM / ptLayoutInformation.
  TqdPlotPaperUnits PlotPaperUnits() const;
  TqdPlotType PlotType() const;
  TqdPlotRotation PlotRotation() const { return FData.PlotRotation; }
  // Values of 4 and above become prNoRotation.
  void SetPlotRotation(int V);
  bool HasFlag(TqdPlotLayoutFlag F) const { return (FData.PlotLayoutFlags & PlotFlag(F)) != 0; }
  void SetFlag(TqdPlotLayoutFlag F, bool V);
  TqdPlotScale CustomPrintScale() const;
  void SetCustomPrintScale(const TqdPlotScale& V);
  // Drawing units per paper millimetre; 1 whenever the scale gives no positive finite value.
  double CustomPrintScaleKoef() const;
  bool IsCenter() const { return HasFlag(plfPlotCentered); }
  bool IsFitToPaper() const { return HasFlag(plfUseStandardScale) && FData.StandardScaleType == 0; }
  bool LandScape() const;
  void SetLandScape(bool V);
  TF2DRect RotatedMargins() const;
  TFPoint PlotOffset() const;
  TFRect PlotPaperArea() const;
  TFRect PlotMarginsArea() const;
  TFRect PlotFrameArea() const;
  TFRect PlotPrintableArea() const;
  // A page that fits ABox; false (1:1 scale) for a bad box.
  bool SetDefaultValueByExtents(const TFRect& ABox, bool ANeedSaveSize);
  void AssignEntity(const TqdDXFEntity& Source) override;
};

// The saved view of a layout: a draw matrix and a stack of view rectangles.
class TqdView : public TqdDXFEntity {
  QD_ENTITY_CLASS(TqdView)
public:
  struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    friend bool operator==(const TRect&, const TRect&) = default;
  };
  // The base view and at most this many pushed ones.
  static constexpr int cnstMaxStackInts = 1024;

  TFMatrix DrawMatrix() const { return FMatrix; }
  void SetDrawMatrix(const TFMatrix& M);
  bool HasDrawMatrix() const { return (FInternalFlags & 1) != 0; }
  // Drops the oldest pushed rectangle when the stack is full.
  void PushView(const TRect& R);
  // The last rectangle; (0,0,0,0) without a stack.
  TRect ActiveView() const;
  // Overwrites the last rectangle (makes the stack with R when there is none).
  void SetActiveView(const TRect& R);
  // The last rectangle, removed unless it is the base view; (0,0,0,0) without a stack.
  TRect PopView();
  bool HasBaseView() const { return FStackView != nullptr; }
  bool HasView() const { return FStackView && FStackView->size() > 4; }
  // Rectangles on the stack.
  int StackCount() const { return FStackView ? static_cast<int>(FStackView->size() / 4) : 0; }
  void ClearView() { FStackView.reset(); }
  void Clear(bool ADoFree) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  int FInternalFlags = 0;
  TFMatrix FMatrix = cnstIdentityMat;
  // Left, Top, Bottom, Right per rectangle.
  std::unique_ptr<std::vector<int>> FStackView;
};

class TqdDXFLayout : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFLayout)
public:
  TqdDXFLayout();
  ~TqdDXFLayout() override;

  TFRect Box() const override { return FBox; }
  // Also the block's box when there is a block.
  void SetBox(const TFRect& R);
  TqdCADSpace CADSpace() const { return FCADSpace; }
  void SetCADSpace(TqdCADSpace V) { FCADSpace = V; }
  // The space block; made (or found by name) in BLOCKS on first use when the layout
  // has a converter: "*MODEL_SPACE", "*PAPER_SPACE", "*PAPER_SPACE0", ... Every read
  // clears the block's loaded mark, so that its next load measures it again.
  TqdDXFBlock* PaperSpaceBlock();
  TqdDXFBlock* PaperSpaceBlockField() const { return FPaperSpaceBlock; }
  // The space block lives in BLOCKS; the layout only links it.
  void SetPaperSpaceBlock(TqdDXFBlock* B);
  // The block is going away.
  void ForgetBlock(const TqdDXFBlock* B) {
    if (FPaperSpaceBlock == B) FPaperSpaceBlock = nullptr;
  }
  TqdDXFPlotSettings* PlotSettings() const { return FPlotSettings.get(); }
  // Copies S into the layout's own plot settings (null is ignored).
  void SetPlotSettings(const TqdDXFPlotSettings* S);
  int PlotPaperUnits() const { return FPlotSettings->PlotPaperUnits(); }
  void SetPlotPaperUnits(int V);
  TFPoint ExtMin() const { return FBox.TopLeft(); }
  TFPoint ExtMax() const { return FBox.BottomRight(); }
  TFPoint LinMin() const { return ExtMin(); }
  TFPoint LinMax() const { return ExtMax(); }
  bool IsEmpty() const { return Count() == 0; }
  // Index of the layout in its converter's layouts (-1 when it has none).
  int Index() const;
  // Where the layout's tab stands among the tabs (DXF 71); -1 when none was given.
  int TabOrder() const { return FTabOrder; }
  void SetTabOrder(int V) { FTabOrder = V >= 0 ? V : -1; }
  // True without a converter, or for layout 0.
  bool IsModel() const;
  TFMatrix RotMatrix() const { return FRotMatrix; }
  void SetRotMatrix(const TFMatrix& M) { FRotMatrix = M; }
  double RotZAngle() const { return FRotZAngle; }
  void SetRotZAngle(double V) {
    if (std::isfinite(V)) FRotZAngle = V;
  }
  // The saved view, made on first use.
  TqdView* View();
  TFMatrix FRotMatrix = cnstIdentityMat;
  double FRotZAngle = 0;
  TFPoint FUCSOrigin, FUCSXDir, FUCSYDir;

  // The layout's entities are its block's.
  int Count() const override;
  TqdDXFEntity* GetEntity(int Index) const override;
  // Acts only when the layout has a block.
  std::unique_ptr<TqdDXFEntity> SetEntity(int Index, std::unique_ptr<TqdDXFEntity> E);
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  std::unique_ptr<TqdDXFEntity> DeleteEntity(int Index) override;
  int IndexOfEntity(const TqdDXFEntity* E) const override;
  int IndexOfName(std::string_view AName) const override;
  void Clear(bool ADoFree) override;
  // Takes its page setup from OBJECTS, then measures its block: entities, inserts
  // through their blocks, viewports by their frames.
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  TFRect FBox = cnstBadRect;
  TqdCADSpace FCADSpace = cs3D;
  TqdDXFBlock* FPaperSpaceBlock = nullptr;
  int FTabOrder = -1;
  std::unique_ptr<TqdDXFPlotSettings> FPlotSettings;
  std::unique_ptr<TqdView> FView;
};

// Viewport status flags.
inline constexpr int cnstViewportNonRectClip = 0x10000;
inline constexpr int cnstViewportOff = 0x20000;

// A window on a paper layout that shows the model space.
class TqdDXFViewport : public TqdDXFPenEntity {
  QD_ENTITY_CLASS(TqdDXFViewport)
public:
  TqdCADEntities EntType() const override { return ceViewport; }
  bool IsVertexBased() const override { return true; }
  int Flags() const override { return FFlags; }
  void SetFlags(int V) override { FFlags = V; }

  float BackClipPlane() const { return FBackClipPlane; }
  void SetBackClipPlane(double V);
  float FrontClipPlane() const { return FFrontClipPlane; }
  void SetFrontClipPlane(double V);
  std::uint64_t ClippingBoundaryHandle() const { return FClippingBoundaryHandle; }
  void SetClippingBoundaryHandle(std::uint64_t H) { FClippingBoundaryHandle = H; }
  // Handles of the layers frozen in this viewport.
  std::vector<std::uint64_t>& FrozenLayers() { return FFrozenLayers; }
  const std::vector<std::uint64_t>& FrozenLayers() const { return FFrozenLayers; }
  TFMatrix Matrix() const { return FMatrix; }
  TFPoint MSpaceCenter() const { return FMSpaceCenter; }
  void SetMSpaceCenter(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FMSpaceCenter = P;
  }
  double MSpaceHeight() const { return FMSpaceHeight; }
  void SetMSpaceHeight(double V) {
    if (std::isfinite(V)) FMSpaceHeight = V;
  }
  int OrdIndex() const { return FOrdIndex; }
  void SetOrdIndex(int V) { FOrdIndex = V; }
  TFPoint PSpaceCenter() const { return FPSpaceCenter; }
  void SetPSpaceCenter(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FPSpaceCenter = P;
  }
  double PSpaceHeight() const { return FPSpaceHeight; }
  void SetPSpaceHeight(double V) {
    if (std::isfinite(V)) FPSpaceHeight = V;
  }
  double PSpaceWidth() const { return FPSpaceWidth; }
  void SetPSpaceWidth(double V) {
    if (std::isfinite(V)) FPSpaceWidth = V;
  }
  TFRect Rect() const { return FRect; }
  int StatusField() const { return FStatusField; }
  void SetStatusField(int V) { FStatusField = V; }
  int ThisID() const { return FThisID; }
  void SetThisID(int V) { FThisID = V; }
  TFPoint ViewDirection() const { return FViewDirection; }
  void SetViewDirection(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FViewDirection = P;
  }
  TFPoint ViewTarget() const { return FViewTarget; }
  void SetViewTarget(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FViewTarget = P;
  }
  float ViewTwistAngle() const { return FViewTwistAngle; }
  void SetViewTwistAngle(double V);
  bool VisibleBoundary() const { return FVisibleBoundary; }
  // A viewport in the model-space block never shows its frame.
  void SetVisibleBoundary(bool V);
  const std::string& XDataAppName() const { return FXDataAppName; }
  void SetXDataAppName(std::string_view V) { FXDataAppName.assign(V); }
  // Set while a model-space pass through this viewport runs (the renderer's guard).
  bool Active() const { return FActive; }
  void SetActive(bool V) { FActive = V; }

  bool InModelSpace() const;
  bool IsOff() const { return (FFlags & cnstViewportOff) != 0 || InModelSpace(); }
  // Ordinal 0 is the sheet itself and is never on.
  bool IsOn() const;
  bool IsDraw() const { return FVisibleBoundary || !IsOff(); }
  void SetOff(bool V);
  // Adds P.X and P.Y to the model-space centre.
  void Offset(const TFPoint& P);
  // The frame on the paper when on (or off with status 0); the bad box otherwise.
  TFRect Box() const override;
  // Model space to paper space: scale PSpaceHeight / MSpaceHeight about the view centre.
  TFMatrix BuildMatrix();
  TqdDXFEntity* GetBoundary(TqdDXFConverter* AConverter);
  // The boundary when it is a polyline of more than 2 points (regions come later).
  TqdDXFEntity* UsableBoundary(TqdDXFConverter* AConverter);
  void SetBoundary(TqdDXFEntity* E);
  // The "ACAD" "MVIEW" record; other applications get the stored extended data.
  TqdCADExtendedData GetExtData(std::string_view AAppID) const;
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  float FBackClipPlane = 0;
  TFRect FBox = cnstBadRect;
  TqdDXFEntity* FClippingBoundary = nullptr;
  std::uint64_t FClippingBoundaryHandle = 0;
  int FFlags = 0;
  float FFrontClipPlane = 0;
  std::vector<std::uint64_t> FFrozenLayers;
  TFMatrix FMatrix{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  TFPoint FMSpaceCenter;
  double FMSpaceHeight = 0;
  int FOrdIndex = -1;
  TFPoint FPSpaceCenter;
  double FPSpaceHeight = 0, FPSpaceWidth = 0;
  TFRect FRect{0, 0, 0, 0, 0, 0};
  int FStatusField = 1;
  int FThisID = 1;
  TFPoint FViewDirection{0, 0, 1};
  TFPoint FViewTarget;
  float FViewTwistAngle = 0;
  std::string FXDataAppName = "Vantrex";
  bool FVisibleBoundary = true;
  bool FActive = false;
};

// The database side of drawing the model space through a viewport. While a pass is
// active the top converter's Transform3d is composed with the viewport's matrix, the
// converter cuts to the viewport's frame (taken through the iteration matrix) and the
// viewport's frozen layers are frozen by viewport; the destructor restores all of it.
// A pass is inactive (draw nothing through the viewport) when the viewport is not on,
// or is already being drawn: a model space that shows the paper space again through a
// block reference cannot recurse.
class TqdViewportPass {
public:
  TqdViewportPass(TqdDXFViewport& AViewport, const TFMatrix& AIterMatrix, TqdDXFConverter* AConverter = nullptr);
  ~TqdViewportPass();
  TqdViewportPass(const TqdViewportPass&) = delete;
  TqdViewportPass& operator=(const TqdViewportPass&) = delete;
  bool Active() const { return FActive; }
  // The iteration matrix of the model space: the viewport's matrix, then AIterMatrix.
  TFMatrix Matrix() const { return FMatrix; }

private:
  TqdDXFViewport& FViewport;
  TqdDXFConverter* FConverter = nullptr;
  TqdDXFConverter* FRoot = nullptr;
  TFMatrix FSavedTransform = cnstIdentityMat;
  TFMatrix FMatrix = cnstIdentityMat;
  std::vector<TqdDXFEntity*> FFrozen;
  bool FActive = false;
};

// The clip boundary of a clipped block reference (kept in the insert's extension
// dictionary under "ACAD_FILTER" / "SPATIAL").
class TqdCADSpatialFilter : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdCADSpatialFilter)
public:
  TFMatrix FInvBlkTransform = cnstIdentityMat;
  TFMatrix FClip = cnstIdentityMat;
  std::vector<TFPoint> FBounds;
  bool FBackClip = false;
  double FBackDist = 0;
  TFPoint FClipbdorg;
  bool FDisplayBounds = false;
  bool FFrontClip = false;
  double FFrontDist = 0;

  TFPoint Extrusion() const override { return FExtrusion; }
  void SetExtrusion(const TFPoint& P) override {
    if (IsFiniteFPoint(P)) FExtrusion = P;
  }
  // Fewer than 2 distinct points (3 for a polygon) clip nothing.
  bool IsDegenerate() const;
  // The boundary in drawing coordinates for an insert of matrix AInsertMatrix (two
  // points stand for a rectangle); empty when degenerate.
  std::vector<TFPoint> Boundary(const TFMatrix& AInsertMatrix) const;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  TFPoint FExtrusion = cnstExtrusion;
};

// A list of group codes and values.
class TqdDXFXRecord : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFXRecord)
public:
  TqdCADExtendedData FData;
};

class TqdDXFImageDef : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFImageDef)
public:
  std::string FFileName;
};

class TqdDXFAcadTableStyle : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFAcadTableStyle)
};

// The draw-order table of one block; its ordering belongs to the block unit.
class TqdDXFSortEntsTable : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFSortEntsTable)
public:
  // Where a reader stores the block placeholder (by handle or name of its record).
  TqdTableItem& BlockItem() { return FBlockItem; }
  // The placeholder resolves in BLOCK_RECORD; the block is then kept by its record's
  // handle, never by pointer: blocks have no reference count and go first on Clear.
  void ResolveLinks(TqdDXFConverter* C) override;
  std::uint64_t BlockHandle() const { return FBlockHandle; }
  // The block the table orders, looked up now (null when it is gone).
  TqdDXFBlock* Block(TqdDXFConverter* C) const;
  // (entity handle, sort handle) in file order.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> FPairs;

private:
  TqdTableItem FBlockItem;
  std::uint64_t FBlockHandle = 0;
};

class TqdDXFConverter;

// An external reference: the child of an xref block that holds the referenced drawing.
class TqdDXFXref : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFXref)
public:
  // Releases the referenced drawing.
  ~TqdDXFXref() override;
  TqdCADEntities EntType() const override { return ceXRef; }
  TFRect Box() const override { return FBox; }
  const std::string& Path() const { return FPath; }
  void SetPath(std::string_view P) { FPath.assign(P); }
  // The referenced drawing (one reference held), null while unresolved.
  TqdDXFConverter* XRefConverter() const { return FXRefConverter; }
  void SetXRefConverter(TqdDXFConverter* C);
  // The box becomes the referenced model-space box; the drawing takes this drawing's
  // curve settings.
  void Loaded(TqdDXFConverter* C) override;
  std::string FPath;
  TFRect FBox = cnstBadRect;
  // Identity of the file that was loaded (device and inode, else the canonical path).
  std::string FFileKey;

private:
  TqdDXFConverter* FXRefConverter = nullptr;
};

// Drawing-wide switches of raster images and wipeouts, kept in OBJECTS.
class TqdCADRasterVariables : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdCADRasterVariables)
public:
  bool FDisplayFrame = true;
  int FDisplayQuality = 1;
  int FUnits = 0;
};

class TqdCADWipeoutVariables : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdCADWipeoutVariables)
public:
  // Frames of wipeouts are shown (DXF 70).
  bool FFrame = false;
};
