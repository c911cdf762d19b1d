#pragma once
// The plotter file reader: HP-GL, HP-GL/2, HP RTL and PCL with embedded HP-GL/2,
// optionally wrapped in PJL, gzip or zip, into a drawing database. One layout per
// plotted page ("Page01", ...), one layer per pen ("Pen 1", ...), millimetres
// throughout (40 plotter units per millimetre).
//
// The source is held in memory and read through a bounded position; every count the
// file gives (raster rows, skips, palette sizes) is checked against the bytes left or
// a pixel budget before it sizes anything.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DXFConv.h"
#include "Hatches.h"
#include "Others.h"
#include "Polylines.h"
#include "qdLoadPasses.h"
#include "qdReaders.h"

class TqdDXFBlock;
class TqdDXFLayout;
class TqdDXFLineType;
class TqdDXFText;
class TqdCADClipInsert;
class TqdHPGLReader;

// The one error the reader raises (a raster row beyond its buffer, an unpacking fault).
class EqdHPGLError : public EqdError {
public:
  using EqdError::EqdError;
};

// Unpacked output of a gzip or zip wrapping is capped here: a bomb fails clearly.
inline constexpr std::size_t cnstHPGLMaxUnpacked = std::size_t(1) << 30;
// Bytes one raster image may hold (width x height x bytes per pixel).
inline constexpr std::size_t cnstPCLPixelBudget = std::size_t(1) << 28;
// Saved palettes (ESC * p 0 P) kept at most.
inline constexpr std::size_t cnstPCLPaletteStack = 16;
// The initial raster row buffer; a decoded row longer than this (and than the
// previous row) is "Overflow range".
inline constexpr std::size_t cnstPCLRowBuffer = 229376;

// A polyline of plotter moves: the points are kept as they are (no vertex objects),
// drawn as a lightweight polyline.
class TqdFlatPoly : public TqdDXFLWPolyline {
  QD_ENTITY_CLASS(TqdFlatPoly)
public:
  // All points of all strokes, one after the other.
  std::vector<TFPoint>& Points() { return FPoints; }
  const std::vector<TFPoint>& Points() const { return FPoints; }
  // Points per stroke (sum = Points().size()).
  const std::vector<int>& Counts() const { return FCounts; }
  int StrokeCount() const { return static_cast<int>(FCounts.size()); }
  // Appends a stroke of at least two points (shorter ones are ignored).
  void AddStroke(const std::vector<TFPoint>& APoints);
  const std::vector<int>* PathCounts() const override { return FCounts.size() > 1 ? &FCounts : nullptr; }
  void GeneratePoints(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  bool DeferredBox(const TqdDXFConverter* C, int Parts, TFRect& Box) const override { return false; }

private:
  std::vector<TFPoint> FPoints;
  std::vector<int> FCounts;
};

// Pens at least this wide (mm) draw their strokes as wide polylines, true to paper at
// every zoom; thinner pens stay line weights (drawn in screen millimetres).
inline constexpr double cnstHPGLWidePen = 0.5;
// Points one merged polyline entity takes at most; later strokes start another.
inline constexpr std::size_t cnstFlatPolyMaxPoints = 1u << 20;

// A filled plotter polygon set (FP, RA, RR, PE rectangles). The solid poly-polygon
// fill is what the pipeline draws today; a hatch can take its loops later.
class TqdFlatHatch : public TqdCADPolyPolygon {
  QD_ENTITY_CLASS(TqdFlatHatch)
};

// A decoded PCL/RTL raster: the bitmap travels with the entity (1, 4, 8 bits with a
// palette, or 24 bits BGR), rows bottom-up as in a device-independent bitmap.
class TqdPCLImage : public TqdDXFImageEnt {
  QD_ENTITY_CLASS(TqdPCLImage)
public:
  TFRect Box() const override { return FBox; }
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;
  bool HasPixels() const override { return FWidth > 0 && FHeight > 0 && !FBits.empty(); }
  int PixelWidth() const override { return FWidth; }
  int PixelHeight() const override { return FHeight; }
  std::uint32_t PixelColor(int X, int Y) const override;

  int FWidth = 0, FHeight = 0, FBitsPerPixel = 24;
  int FROP = 252;
  std::vector<std::uint32_t> FPalette;  // 0x00BBGGRR
  std::vector<std::uint8_t> FBits;      // rows of ((W * bpp + 31) / 32) * 4 bytes

private:
  TFRect FBox = cnstBadRect;
};

// A plotter drawing database: SHX fonts off, the 17 plotter linetypes, a STANDARD
// style on a TrueType Courier.
class TqdHPGLConverter : public TqdDXFConverter {
public:
  TqdHPGLConverter();
  // The same preparation for any converter a plot file is loaded into.
  static void Prepare(TqdDXFConverter& C);
};

// The name of plotter linetype entry I (1..17): "LType_001".
std::string HPGLLineTypeName(int I);

struct TqdTextPos {
  TFPoint Point;   // the label start
  TFPoint PenPos;  // the pen position the label continues from
};

// PCL escape sequences and HP RTL raster data.
class TpclReader {
public:
  explicit TpclReader(TqdHPGLReader* AHPGLReader);
  ~TpclReader();
  // ESC & ..., ESC ( / ) ..., ESC * ...: the reader's position is just after the
  // family character.
  void Ampersand();
  void Font();
  void Process();
  // Places a raster started and not ended (at the end of the data).
  void Flush();
  // The PCL cursor (plotter units).
  TF2DPoint FPenPosition;
  bool FStartGraphicMode = false;

private:
  struct TParam {
    double Value = 0;
    bool Signed = false;  // written with a sign: a relative move
    char Letter = 0;
  };
  bool ReadParam(TParam& P);
  void RasterRow(std::size_t ACount);
  void AddRow(std::vector<std::uint8_t>&& Row);
  void DecodeMethod4(std::size_t ACount);
  void DecodeMethod5(std::size_t ACount);
  bool DecodeRow(int AMethod, const std::uint8_t* D, std::size_t N, std::vector<std::uint8_t>& Row);
  void StartRaster();
  void EndRaster();
  void SetSimplePalette(int N);
  void ConfigureRaster(std::size_t ACount);
  std::size_t RowLimit() const;
  bool BudgetLeft() const;

  TqdHPGLReader* FHPGL;
  int FCompress = 0;
  struct {
    int Encoding = 0;      // 0 indexed by plane, 1 by pixel, 3 direct by plane, 2/4 direct by pixel
    int BitsPerIndex = 1;  // 1, 3 (simple colour), 4 or 8
    int Planes = 1;
  } FPCLBitmap;
  int FMaxLogPalette = 2;
  std::vector<std::uint32_t> FPaletteEntry;  // 0x00BBGGRR, 256 entries
  std::vector<std::vector<std::uint32_t>> FSavedPalette;
  int FRasterWidth = 0, FRasterHeight = 0;
  double FScaledRasterWidth = 0, FScaledRasterHeight = 0;
  double FResolution = 75;
  double FUnits = 1016;  // PCL units per inch (ESC & u D)
  int FROP = 252;
  int FRotationPage = -1;
  int FColorA = 0, FColorB = 0, FColorC = 0;
  std::vector<std::uint8_t> FPrevRow;
  std::vector<std::vector<std::uint8_t>> FRows;
  std::size_t FRowBytes = 0;  // bytes of rows held (budget)
  std::size_t FRowBuffer = cnstPCLRowBuffer;
  bool FRasterOver = false;   // the image hit its height or budget: later rows are dropped
  int FPlane = 0;             // plane of the current row (V: more planes follow)
  std::vector<std::vector<std::uint8_t>> FPlaneRows;
};

// The HP-GL/2 command interpreter with the plotter state.
class TqdHPGLReader : public TqdDrawingLoader {
public:
  TqdHPGLReader(TqdDXFConverter* AConv, const std::uint8_t* AData, std::size_t ASize);
  ~TqdHPGLReader() override;
  void ReadFile();
  void SetProgress(TqdProgressFn F) { FOnProgress = std::move(F); }
  bool FUsePSInstr = false;

  // ---- used by TpclReader
  const std::uint8_t* FMem;
  std::size_t FPos = 0, FLimit = 0, FStart = 0;
  TF2DPoint FPenPos;
  double FRTLRes = 300, FRTLScale = 1;
  bool FIsPCL = false;
  TF2DPoint FPage{8128, 10160};
  int FRotation = 0;
  double FFrame = 0;
  int FROP = 252;
  void NewPage();
  void ReadPJL();
  TFPoint ToDrawing(double X, double Y, bool APenUp) const;
  // False when the entity could not be placed (it is gone then).
  bool AddEntity(std::unique_ptr<TqdDXFEntity> E, bool AFill);
  // Moves the loops of a fill into the last pending fill when they share layer,
  // colour and width and lie apart from every fill merged there (so that the
  // even-odd rule fills each as before); true when they were taken.
  bool MergeFill(std::vector<std::vector<TFPoint>>& Loops);
  // A fill of these loops in the current pen and shading (merged when it can be).
  void AddFill(std::vector<std::vector<TFPoint>>&& Loops);
  // The colour an entity of the current pen gets (fills: shaded).
  std::uint32_t EntityColor(bool AFill) const;
  // A raster image went onto the page: later fills go after it.
  void ImagePlaced();
  int PeekByte(std::size_t AOffset = 0) const {
    return FPos + AOffset < FLimit ? FMem[FPos + AOffset] : -1;
  }
  TqdDXFLayer* PenLayer(int APen);
  std::uint32_t PenColor(int APen) const;
  int CurrentPen() const { return FCurPenNum; }

private:
  struct TPen {
    std::uint32_t Color = 0x1FFFFFFF;
    double Width = 0.35;
  };
  // ---- input
  bool ReadParams(bool ACoords);
  bool NumberToken(std::string_view T, double& V);
  void SkipUnknown();
  void Loop();
  void Execute(char A, char B);
  void Reset();
  // ---- commands
  void Plot(bool APenDown, int AMode);  // mode: 0 keep, 1 absolute, 2 relative
  void ArcAbs(bool ARelative);
  void ArcThree(bool ARelative);
  void Bezier(bool ARelative);
  void Circle();
  void Comment();
  void Wedge(bool AFill);
  void CharPlot();
  void Direction(bool ARelative);
  // EA/ER/RA/RR: the pen position and the opposite corner; false without one.
  bool RectCorners(bool ARelative, TF2DPoint& A, TF2DPoint& B);
  void RectEdge(bool ARelative);
  void RectFill(bool ARelative);
  void EdgePolygon();
  void FillPolygon();
  void Frame();
  void FillType();
  // RF: a raster fill pattern; kept as its share of inked pixels.
  void RasterFill();
  void InputP();
  void InputWindow();
  void Label();
  void LabelOrigin();
  void LineType();
  void PenColorCmd();
  void PolygonMode();
  void PolylineEncoded();
  void PlotSize();
  void PenWidth();
  void RotateCmd();
  void Scale();
  void SizeAbs();
  void SizeRel();
  void Slant();
  void SelectPen();
  void DrawingName();
  // ---- output
  void Moved();
  void ClosePolyline();
  void AddPoint(const TF2DPoint& P, bool APenUp);
  void StartPolyline();
  void FinishPolyline();
  void FinishWindow();
  // Puts the fills collected for the page at the fill position.
  void FlushFills();
  void CloseMerged();
  // The current pen draws at its width on paper (see cnstHPGLWidePen).
  bool WidePen() const { return FPens[static_cast<std::size_t>(std::clamp(FCurPenNum, 0, 256))].Width >= cnstHPGLWidePen; }
  void ApplyScaleState();
  void AddArc(const TF2DPoint& C, double R, double AStart, double ASweep);
  void AddFillRect(const TF2DPoint& A, const TF2DPoint& B);
  void AddText(const std::string& AText);
  void AddSymbol();
  double MeasureWidth(std::string_view AText, double AHeight, double AScale);
  double CharAdvance(double AHeight, double AScale);
  double CurrentTextHeight() const;
  double CurrentWidthFactor();
  TF2DPoint ScaledPoint(double X, double Y) const;
  // The user-to-plotter factors in force ((1, 1) without scaling).
  TF2DPoint AxisScale() const;
  void Progress();
  TqdDXFEntity* CurrentContainer();
  bool IntParam(std::size_t I, int ALo, int AHi, int& V) const;
  void Finish();
  void PlotSettingsFor(TqdDXFLayout* L);

  TpclReader FPCL;
  TqdProgressFn FOnProgress;
  std::size_t FNextProgress = 0;
  char FTerminator = ';';
  char FLblTerm = 3;
  bool FLblTermPrinted = false;
  char FSymbol = 0;   // SM: the character marking each point, 0 for none
  int FTextPath = 0;  // DV: 0 along the direction, 1 down, 2 left, 3 up
  TF2DPoint FExtraSpace;  // ES: extra character and line space, in cells
  // The label path's angle (degrees): the direction turned by DV.
  double PathAngle() const { return FTextRotation - 90.0 * FTextPath; }
  // HP-GL/2 entered from PCL (ESC % B): PCL owns the page breaks.
  bool FInPCLPage = false;
  // Between ESC % n A and ESC % n B the bytes are PCL: printable ones are PCL text
  // (not drawn), never HP-GL/2 mnemonics.
  bool FPCLMode = false;
  bool FPCLTextNoted = false;
  char FHPGLCmd[3] = {0, 0, 0};
  std::vector<double> FCommandParameters;
  std::map<int, double> FRasterFillInk;  // RF index: share of inked pixels
  bool FError = false;
  bool FPenDown = false, FRelative = false, FNextPointUp = false;
  int FCurPenNum = 1;
  TF2DPoint FPenPos0;
  std::vector<TPen> FPens;
  TF2DPoint FRealP1, FRealP2{8128, 10160}, FUserP1, FUserP2{8128, 10160};
  TF2DPoint FScale{1, 1};
  bool FScaling = false;
  // SC type 1: equal factors, the window placed by the left/bottom percentages.
  bool FIsotropic = false;
  double FIsoLeft = 50, FIsoBottom = 50;
  TF2DPoint FScaleShift;
  TqdTextPos FTextPos;
  double FTextWidth = 0.4, FTextHeight = 4.057;
  bool FIsSR = false;
  double FSRWidth = 0.75, FSRHeight = 1.5;
  double FTextRotation = 0, FSlant = 0;
  int FHAlign = 0;
  bool FPolyMode = false;
  // Two-letter commands met that HPGL/2 knows, and those it does not: random
  // bytes are mostly the latter.
  std::size_t FKnownCommands = 0, FUnknownCommands = 0;

public:
  std::size_t KnownCommands() const { return FKnownCommands; }
  std::size_t UnknownCommands() const { return FUnknownCommands; }

private:
  // Polygon mode: boundaries of 2-D plotter points with the pen-up flag per point.
  struct TPolyPoint {
    TFPoint P;  // drawing point; Z 1 when reached with the pen up
  };
  std::vector<std::vector<TFPoint>> FPolyBuffer;
  bool FPolyNewSub = false;
  double FShading = 1;
  TqdDXFLineType* FLType = nullptr;
  std::vector<TqdDXFLineType*> FLineTypes;  // the 17 plotter entries
  // ---- output state
  TqdDXFLayout* FLayout = nullptr;
  TqdDXFBlock* FPageBlock = nullptr;
  int FLayoutNum = 0;
  bool FEmpty = true;
  int FHatchIndex = 0;
  std::vector<std::unique_ptr<TqdDXFEntity>> FPendingFills;
  // The pending fill later fills may join, with the boxes of the fills it holds.
  struct TFillBox {
    double X1, Y1, X2, Y2;
  };
  TqdDXFEntity* FMergeFill = nullptr;
  bool FMergeNext = false;
  std::vector<TFillBox> FMergeBoxes;
  std::size_t FMergePoints = 0;
  bool FHatchAfterImage = false;
  TqdDXFBlock* FWindowBlock = nullptr;
  TqdCADClipInsert* FInsert = nullptr;
  bool FInsertPlaced = false;
  TFRect FWindowBox = cnstBadRect;
  std::vector<TqdDXFLayer*> FLayers;
  std::string FDrawingName;
  std::vector<std::pair<std::string, std::string>> FPJL;
  bool FPlotSettingsMade = false;
  TqdDXFPlotSettings* FPlotSttings = nullptr;
  std::unique_ptr<TqdDXFPlotSettings> FOwnPlotSettings;
  // The polyline being collected and its points.
  std::vector<TFPoint> FLine;
  // The open merged-polyline entities (oldest first, one per pen, colour and width)
  // and the container they are in (null: none). A stroke may join an older entity
  // only apart from the strokes drawn since into newer ones (Later), so that no
  // stroke changes sides with one it crosses.
  struct TOpenFlat {
    TqdFlatPoly* P;
    double X1, Y1, X2, Y2;  // Later
  };
  std::vector<TOpenFlat> FOpenFlats;
  TqdDXFEntity* FFlatOwner = nullptr;
  bool FAddingFlat = false;
  int FBlockCounter = 0;
  double FWMeasureHeight = -1, FWMeasureScale = -1, FWMeasure = 0;
  double FAdvanceHeight = -1, FAdvanceScale = -1, FAdvance = 0;
  TqdDXFStyle* FStyle = nullptr;
  friend class TpclReader;
};

// Unpacks a plot file: gzip and zip wrappings (zlib, libzip), UTF-16 text, HDI and
// BEGMF envelopes. AOut receives the bytes to interpret when they differ from AData
// (AView then points into AOut), else AView points into AData. Raises EqdHPGLError
// for a wrapping that inflates beyond cnstHPGLMaxUnpacked.
void qdUnpackPlotData(const std::uint8_t* AData, std::size_t ASize, std::vector<std::uint8_t>& AOut,
                      const std::uint8_t*& AView, std::size_t& AViewSize, std::vector<std::string>& ANotes);

TqdLoadResult LoadHPGLDrawing(const void* AData, std::size_t ASize, TqdDXFConverter& AConverter,
                              const TqdLoadOptions& AOptions);
void RegisterHPGLReader();
