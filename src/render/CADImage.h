#pragma once
// The picture of a drawing: owns one converter, knows how it was loaded, which
// layout is shown, how large the drawing is and how drawing coordinates map to
// device pixels, and draws itself into a rectangle of a canvas (qdIterator.h does
// the per-frame walk).
//
// What a view uses: LoadFromFile, LayoutsCount/GetLayout/SetCurrentLayout, Draw
// (canvas, rectangle), GetPoint (drawing -> device) and DeviceToCAD (device ->
// drawing) for the matrix of the last frame, GetCADCoords for fractions of the
// picture rectangle, StopLoading from a progress handler.
#include <cmath>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "DXFConv.h"
#include "qdCanvas.h"
#include "qdError.h"
#include "qdGraphic.h"
#include "qdReaders.h"

class TqdDXFInsert;
class TqdCADImage;

class EqdImageError : public EqdError {
 public:
  using EqdError::EqdError;
};

enum TqdDXFDrawMode { dmNormal, dmBlack, dmGray };
enum TqdBorderType { btGlobal, btRatio };
enum TqdTTFMode { ttfAuto, ttfGDI, ttfPolyPolyline, ttfPolyPolygon };
enum TqdPrintMode { pntNone, pntDirectColor, pntPrint };
enum TqdCachingRasterMode { crmNone, crmCache, crmDoubleCache };
// Ink no farther than this from the background in every channel cannot be told
// from it (the same threshold marks ink when pictures are compared).
inline constexpr int cnstInvisibleInkDistance = 48;
enum TqdSelectionMode { smDisabled, smEnabled, smMatrixOnly };
enum TqdDXFViewDirection {
  vdDefault, vdTop, vdBottom, vdLeft, vdRight, vdFront, vdBack,
  vdSWIsometric, vdSEIsometric, vdNWIsometric, vdNEIsometric, vdDecard, vdGeodezik
};

// The state carried down the entity tree while drawing.
struct TqdCADIterate {
  TFMatrix Matrix;      // entity coordinates -> device pixels
  TFMatrix DrawMatrix;  // drawing coordinates -> device pixels (the frame's)
  TqdDXFInsert* Insert = nullptr;
  TFMatrix ConvertMatrixCurrentInsertToWCS;
  TqdDeviceColor Color = clPlatformByLayer;
  double XScale = 0, YScale = 0, Angle = 0;
  int Additional = 0;
};

struct TqdClipping {
  int ClipMode = 0;
  TFRect ClipRect = cnstBadRect;
};

// Global settings a host may change before creating images.
struct TqdImageDefaults {
  TqdBorderType BorderType = btRatio;
  double BorderSize = 0.125;
  TqdCachingRasterMode CachingRasterMode = crmCache;
  bool KeepSource = false;
  double LineWeightFactor = 1.0;
  // Screen size used for Zoom (0 unless a host sets it).
  double ScreenSize = 0;
};
TqdImageDefaults& qdImageDefaults();

class TqdCADImage : public TqdGraphic {
 public:
  TqdCADImage();
  ~TqdCADImage() override;

  // ---- loading
  // Sets FileName and the converter's file name, then reads through LoadFile.
  // Raises EqdImageError while another load of this image runs.
  void LoadFromFile(const std::string& FileName) override;
  // Keeps a copy of the rest of the stream when keep-source is on; subclasses read.
  void LoadFromStream(std::istream& Stream) override;
  // Ends a running load at the next check; the image keeps what was read.
  virtual void StopLoading();
  // True while an image is being loaded on this thread.
  static bool IsLoading();
  bool Loading() const { return FLoading; }
  // Progress of a reader: Done of Total, at most one running report per 256 ms.
  virtual void ReaderProgress(TqdProgressStage Stage, long long Done, long long Total);
  // Percent of Done in Total; 0 when Total is not positive.
  static int ProgressPercent(long long Done, long long Total);

  TqdDXFConverter* Converter() const { return FConverter; }
  // What the reader reported for the last load (format, version, error, names).
  const TqdLoadResult& LoadResult() const { return FLoadResult; }
  // Something was read (possibly with warnings or cut short).
  bool LoadOk() const { return FLoadResult.Ok; }
  const std::string& LoadError() const { return FLoadResult.Error; }
  // The drawing holds something to show: an entity in a layout or a block of the
  // file's own (a load that failed part way may still have some).
  bool HasContent() const;
  // The framework's notes, then everything the converter kept of the load.
  std::vector<std::string> LoadWarnings() const override;
  const std::vector<std::string>& Warnings() const { return FWarningList; }
  const std::string& FileName() const { return FFileName; }
  const std::string& FileInfo() const { return FFileInfo; }
  const std::vector<std::uint8_t>& Stream() const { return FStream; }

  // ---- layouts
  int LayoutsCount() const;
  TqdDXFLayout* GetLayout(int Index) const;
  TqdDXFLayout* CurrentLayout() const { return FCurrentLayout; }
  // Ignored while loading (the reader still owns the converter).
  virtual void SetCurrentLayout(TqdDXFLayout* Layout, int Index = -1);
  // Index, or a name (case-insensitive); false when there is no such layout.
  bool SelectLayout(const std::string& NameOrIndex);
  void RefreshCurrentLayout();
  void GetExtents();

  // ---- extents
  TFRect Extents() const { return FExtents; }
  TFRect PureExtents() const { return FPureExtents; }
  double XMin() const { return FXMin; }
  double XMax() const { return FXMax; }
  double YMin() const { return FYMin; }
  double YMax() const { return FYMax; }
  double ZMin() const { return FZMin; }
  double ZMax() const { return FZMax; }
  TFPoint Center() const { return FCenter; }
  TFPoint Offset() const { return FOffset; }
  void SetOffset(const TFPoint& P);
  double Zoom() const { return FZoom; }
  double AbsWidth() const;
  double AbsHeight() const;
  int GetWidth() const override;
  int GetHeight() const override;
  bool GetEmpty() const override { return false; }
  void GetDrawingExtents(TFRect& R) const;
  TFRect DrawingBox() const { return FDrawingBox; }
  void SetDrawingBox(const TFRect& R);
  const TFRect* ClippingRect() const { return FHasClippingRect ? &FClippingRect : nullptr; }
  void SetClippingRect(const TFRect* R);
  bool IsWithoutBorder() const { return FIsWithoutBorder; }
  void SetIsWithoutBorder(bool V);
  TqdBorderType BorderType() const { return FBorderType; }
  void SetBorderType(TqdBorderType V) { FBorderType = V; }
  double BorderSize() const { return FBorderSize; }
  void SetBorderSize(double V) { FBorderSize = V; }
  bool ResizeDisproportionateDrawing() const { return FResizeDisproportionateDrawing; }
  void SetResizeDisproportionateDrawing(bool V) { FResizeDisproportionateDrawing = V; }
  double XDisproportionateShift() const { return FXDisproportionateShift; }
  double YDisproportionateShift() const { return FYDisproportionateShift; }
  bool UsePlotSetting() const { return FUsePlotSetting; }
  void SetUsePlotSetting(bool V) { FUsePlotSetting = V; }
  // Supplies or adjusts the box of the extents; true when it supplied one.
  std::function<bool(TqdCADImage* Sender, TFRect& Box)> OnGetBox;

  // ---- matrix and coordinates
  const TqdCADIterate& DrawParams() const { return FDraw; }
  TqdCADIterate& DrawParams() { return FDraw; }
  TFMatrix DrawMatrix() const { return FDraw.Matrix; }
  void SetDrawMatrix(const TFMatrix& M);
  void ScaleDrawMatrix(double Sx, double Sy, double Sz);
  void TranslateDrawMatrix(double Dx, double Dy, double Dz);
  // The draw matrix that fits the drawing extents into Rect (device pixels).
  void SetMatrixForRect(const TqdIntRect& Rect);
  TqdPoint GetPoint(const TFPoint& P) const;
  // The drawing point shown at device position (X, Y) under the draw matrix; the
  // origin when the matrix cannot be inverted.
  TFPoint DeviceToCAD(double X, double Y) const;
  // The drawing point at fractions (0..1, top-left origin) of the picture rectangle.
  TFPoint GetCADCoords(double XScaled, double YScaled) const;
  TFPoint GetScale() const;
  bool CustomDraw() const { return FCustomDraw; }
  void SetCustomDraw(bool V) { FCustomDraw = V; }
  bool UsePrecision() const { return FUsePrecision; }
  double Precision() const { return FPrecision; }

  // ---- rotation
  void Rotate(int Axis, double Angle);
  void RotToView(TqdDXFViewDirection View);
  void BeginRotate();
  void EndRotate();
  bool BadRotation() const { return FBadRotation; }
  double ZRotate() const { return FZRotate; }
  bool IsDrawingRotated() const;

  // ---- colours and lineweights
  TqdDeviceColor BackgroundColor() const { return FBackgroundColor; }
  void SetBackgroundColor(TqdDeviceColor V);
  // The contrast grey for palette colours that equal the background.
  TqdDeviceColor ChangeBackgroundColor() const { return FChangeBackgroundColor; }
  static TqdDeviceColor ContrastColor(TqdDeviceColor Background);
  // Ink that would vanish on the background (every channel within
  // cnstInvisibleInkDistance of it, such as true-colour white on white paper) is
  // drawn in the default colour instead, or in black or white by the background's
  // brightness when the default colour vanishes too. Other colours pass unchanged.
  TqdDeviceColor VisibleInk(TqdDeviceColor C) const;
  static bool IsCloseColor(TqdDeviceColor A, TqdDeviceColor B);
  TqdDeviceColor DefaultColor() const { return FDefaultColor; }
  void SetDefaultColor(TqdDeviceColor V) { FDefaultColor = V & 0xFFFFFF; }
  TqdDXFDrawMode DrawMode() const { return FDrawMode; }
  void SetDrawMode(TqdDXFDrawMode V) { FDrawMode = V; }
  TqdPrintMode Printing() const { return FPrinting; }
  void SetPrinting(TqdPrintMode V) { FPrinting = V; }
  bool IsShowLineWeight() const { return FIsShowLineWeight; }
  void SetIsShowLineWeight(bool V) { FIsShowLineWeight = V; }
  double LineWeightScale() const { return FLineWeightScale; }
  void SetLineWeightScale(double V) { FLineWeightScale = std::isfinite(V) && V > 0 ? V : 1.0; }
  double NullWidthExt() const { return FNullWidth; }
  int NullWidth() const { return RoundToInt(FNullWidth); }
  void SetNullWidth(double V) { FNullWidth = std::isfinite(V) && V >= 0 ? V : 0; }
  bool IsShowBackground() const { return FIsShowBackground; }
  void SetIsShowBackground(bool V) { FIsShowBackground = V; }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool V) { FStretch = V; }
  bool TextVisible() const { return FTextVisible; }
  void SetTextVisible(bool V) { FTextVisible = V; }
  bool DimensionsVisible() const { return FDimensionsVisible; }
  void SetDimensionsVisible(bool V) { FDimensionsVisible = V; }
  bool IsPlotting() const { return FIsPlotting; }
  void SetIsPlotting(bool V) { FIsPlotting = V; }
  // Millimetres (at most 8.875) after the lineweight factor.
  virtual double ScaleLineWeight(double MM) const;
  virtual double GetLineWeightFactor() const;
  // Resolved device colour of Entity drawn through Insert (its owner-insert chain).
  virtual TqdDeviceColor GetEntityColor(const TqdDXFEntity* Entity, const TqdDXFInsert* Insert) const;
  // Units: 1 English, 2 metric, 0 unknown.
  virtual int Measurement() const;
  // Dashes inside block references keep their size in the drawing's own units
  // (drawings of CAD files), instead of scaling with the reference.
  virtual bool IsWorldLineTypeScale() const { return false; }

  // ---- drawing
  // One frame of the current layout into Rect; nothing without a layout or while
  // loading. The draw matrix is fitted to Rect unless CustomDraw is set.
  void Draw(TqdCanvas& Canvas, const TqdIntRect& Rect) override;
  // A second sink that receives every primitive of a frame in the colour of the
  // entity's number (1-based, in SelectionEntities()); for the selection raster.
  void SetSelectionCanvas(TqdCanvas* C) { FSelectionCanvas = C; }
  TqdCanvas* SelectionCanvas() const { return FSelectionCanvas; }
  std::vector<const TqdDXFEntity*>& SelectionEntities() { return FSelectionEntities; }
  // The walker of the last frame (null before the first).
  const class TqdCADIterator* Iterator() const { return FIterator.get(); }
  // Pixel size of the visible window (sizes the selection raster).
  TqdPoint VisibleArea() const { return FVisibleArea; }
  void SetVisibleArea(TqdPoint P) { FVisibleArea = P; }
  // When X > 0, lineweights are scaled for a device of that resolution.
  TqdDPoint DeviceDPI() const { return FDeviceDPI; }
  void SetDeviceDPI(TqdDPoint P) { FDeviceDPI = P; }
  // Level of detail: texts too small to read drawn as a line through their box.
  // Off by default (exports and prints draw everything); views turn it on.
  bool LevelOfDetail() const { return FLevelOfDetail; }
  void SetLevelOfDetail(bool V) { FLevelOfDetail = V; }
  // Threads a frame is drawn with, each in its own horizontal band of the target
  // (canvases that cannot be split, and frames with a selection canvas, use one).
  int DrawThreads() const { return FDrawThreads; }
  void SetDrawThreads(int V) { FDrawThreads = V < 1 ? 1 : (V > 64 ? 64 : V); }
  // What frames keep between frames (text outlines); made on first use.
  class TqdDrawCache& DrawCache();

  // ---- events
  std::function<void(TqdCADImage*)> OnAfterDraw, OnBeforeRotate, OnAfterRotate, OnLayoutChange,
      OnMatrixChanged;
  std::function<void(TqdCADImage*, int Index)> OnLayoutBeforeChange;
  // Lets the window system run while a load reports progress; the editor passes a
  // pump that excludes user input, so that only its Stop action can run.
  bool IsProcessMessages() const { return FIsProcessMessages; }
  void SetIsProcessMessages(bool V) { FIsProcessMessages = V; }
  std::function<void()> OnProcessMessages;

 protected:
  virtual TqdConverterParams GetConverterParams() const;
  virtual TqdDXFConverter* CreateConverter();
  // Reads the file named FileName into the converter: through the reader of
  // ReaderFormat() when there is one, else through the stream.
  virtual void LoadFile(const std::string& FileName);
  // The reader registry's format of this class ("dxf", "dwg", "hpgl"); "" for none.
  virtual std::string ReaderFormat() const { return {}; }
  // What to say when no reader of the format is registered.
  virtual std::string NoReaderMessage() const { return "This file format is not supported yet"; }
  // Runs the registered reader over a file (Path) or bytes (Data, Size).
  void ReadDrawing(const void* Data, std::size_t Size, const std::string* Path);
  virtual void SetExtentsParameters(const TFRect& Box, bool Is3D);
  // Runs Body as a load: marks this image loading, reports start and end, applies
  // the view twist and computes the extents afterwards.
  void RunLoad(const std::function<void()>& Body);
  void SetFileInfo(std::string V) { FFileInfo = std::move(V); }

 private:
  friend class TqdCADIterator;
  void Reset();
  void ComputeZoom();
  // Draws the frame in horizontal bands, a thread each; false when it cannot (one
  // thread asked for, a canvas that cannot be split, a selection canvas).
  bool DrawBands(TqdCanvas& Canvas, const TqdIntRect& Rect);

  TqdDXFConverter* FConverter = nullptr;
  TqdLoadResult FLoadResult;
  std::vector<std::string> FWarningList;
  std::string FFileName, FFileInfo;
  std::vector<std::uint8_t> FStream;
  bool FLoading = false;
  std::uint64_t FLastProgressSlot = ~std::uint64_t(0);

  TqdDXFLayout* FCurrentLayout = nullptr;
  TFRect FExtents = cnstBadRect, FPureExtents = cnstBadRect, FDrawingBox = cnstBadRect;
  TFRect FClippingRect = cnstBadRect;
  bool FHasClippingRect = false;
  double FXMin = 0, FXMax = 0, FYMin = 0, FYMax = 0, FZMin = 0, FZMax = 0;
  TFPoint FCenter, FOffset;
  double FZoom = 1;
  double FZRotate = 0;
  int FRotCount = 0;
  bool FBadRotation = false;
  double FXDisproportionateShift = 0, FYDisproportionateShift = 0;
  bool FResizeDisproportionateDrawing = false;
  TqdBorderType FBorderType = btRatio;
  double FBorderSize = 0.125;
  bool FIsWithoutBorder = false;
  bool FUsePlotSetting = false;

  TqdCADIterate FDraw;
  bool FCustomDraw = true;
  bool FUsePrecision = false;
  double FPrecision = -1;

  TqdDeviceColor FBackgroundColor = 0xFFFFFF;
  TqdDeviceColor FChangeBackgroundColor = 0xB2B2B2;
  TqdDeviceColor FDefaultColor = 0;
  TqdDXFDrawMode FDrawMode = dmNormal;
  TqdPrintMode FPrinting = pntNone;
  bool FIsShowLineWeight = true;
  double FLineWeightScale = 1.0;
  double FNullWidth = 0;
  bool FIsShowBackground = true;
  bool FStretch = true;
  bool FTextVisible = true;
  bool FDimensionsVisible = true;
  bool FIsPlotting = false;
  bool FIsProcessMessages = true;
  TqdPoint FVisibleArea;
  TqdDPoint FDeviceDPI;

  TqdCanvas* FSelectionCanvas = nullptr;
  std::vector<const TqdDXFEntity*> FSelectionEntities;
  std::unique_ptr<class TqdCADIterator> FIterator;
  // The walkers of the other bands of a threaded frame.
  std::vector<std::unique_ptr<class TqdCADIterator>> FBandIterators;
  std::unique_ptr<class TqdDrawCache> FDrawCache;
  bool FLevelOfDetail = false;
  int FDrawThreads = 1;
};

// Plotter formats: lineweights are not scaled.
class TqdVectorImage : public TqdCADImage {
 public:
  double ScaleLineWeight(double MM) const override { return MM; }
  double GetLineWeightFactor() const override { return 1.0; }
};

// Drawings whose database keeps entity handles.
class TqdImageWithHandles : public TqdCADImage {
 protected:
  TqdConverterParams GetConverterParams() const override;
};

class TqdCADdxfImage : public TqdImageWithHandles {
 public:
  void LoadFromStream(std::istream& Stream) override;
  bool IsWorldLineTypeScale() const override { return true; }

 protected:
  std::string ReaderFormat() const override { return "dxf"; }
  std::string NoReaderMessage() const override { return "DXF files cannot be read: no DXF reader is registered"; }
};

class TqdDWGImage : public TqdImageWithHandles {
 public:
  void LoadFromStream(std::istream& Stream) override;
  bool IsWorldLineTypeScale() const override { return true; }

 protected:
  std::string ReaderFormat() const override { return "dwg"; }
  std::string NoReaderMessage() const override { return "DWG files are not supported yet"; }
};

class TqdHPGLImage : public TqdVectorImage {
 public:
  void LoadFromStream(std::istream& Stream) override;
  int Measurement() const override { return 2; }

 protected:
  std::string ReaderFormat() const override { return "hpgl"; }
  std::string NoReaderMessage() const override { return "HPGL/2 files are not supported yet"; }
};

// Enters the image classes in the picture framework's extension table.
void RegisterCADImages();
