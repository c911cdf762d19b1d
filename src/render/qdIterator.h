#pragma once
// One frame of a CAD image: walks the current layout through nested block
// references and viewports, resolves colours, lineweights and visibility, and sends
// device primitives to the canvas (and, when set, the same primitives in the
// entity's number to a selection canvas). A frame reads the database only.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "CADImage.h"
#include "qdLines.h"
#include "Texts.h"
#include "qdDrawCache.h"

class TqdDXFBlock;
class TqdDXFLayer;
class TqdDXFViewport;
class TqdCADBasePolyline;
class TqdDXFPolyline;
class TqdDXFLineType;
class TqdCADPolyPolygon;
class TqdDXFImageEnt;
class TqdCADGradientPolygon;
class TqdCADHatch;
class TqdCADWipeout;
struct TqdColorCAD;

// Nested block references deeper than this are not entered.
inline constexpr int cnstMaxDrawDepth = 128;
// Pen widths from lineweights stop here (pixels).
inline constexpr int cnstMaxPenWidth = 256;

class TqdCADIterator {
 public:
  explicit TqdCADIterator(TqdCADImage& Image) : FImage(Image) {}
  // Draws the current layout with the image's draw matrix into Canvas, clipped to
  // Rect. The caller has set the matrix.
  void DrawFrame(TqdCanvas& Canvas, const TqdIntRect& Rect);

  // Counters of the last frame (for tests and benchmarks).
  struct TStats {
    long long Entities = 0;   // visited
    long long Drawn = 0;      // drawn in full
    long long Pixels = 0;     // drawn as one pixel
    long long Skipped = 0;    // outside the view or invisible
    long long BlocksRefused = 0;  // references not entered (cycle or depth)
    long long Dashed = 0;     // drawn through their linetype's pattern
    long long Culled = 0;     // left out by the spatial index, never visited
    long long PixelFlushes = 0;  // times waiting one-pixel entities went to the canvas
    long long TextLines = 0;  // texts too small to read, drawn as a line (level of detail)
    TStats& operator+=(const TStats& O);
  };
  const TStats& Stats() const { return FStats; }
  // Frames drawn by this walker share the database with other threads: what the
  // database makes on first use is read under TqdDrawCache::LazyLock().
  void SetThreaded(bool V) { FThreaded = V; }
  void AddStats(const TStats& S) { FStats += S; }
  // Whether one-pixel entities wait past primitives that do not cover any of them
  // (on by default; tests compare frames drawn both ways).
  static bool& DeferPixels() {
    static bool V = true;
    return V;
  }

 private:
  struct TLayerInfo {
    bool Visible = true;      // on, not frozen, not frozen in the viewport
    bool IsZero = false;      // named "0"
    TqdDeviceColor Color = clDefaultForeground;
    double LineWeight = 0;    // millimetres, 0 for default
    const TqdDXFLineType* LineType = nullptr;
  };
  // What entities inside one block reference inherit.
  struct TInsertFrame {
    const TqdDXFEntity* Insert = nullptr;  // the reference (or dimension) entered
    const TqdDXFLayer* Layer = nullptr;  // for entities on layer "0"
    TqdDeviceColor ByBlockColor = clDefaultForeground;
    double ByBlockLineWeight = 0;
    const TqdDXFLineType* ByBlockLineType = nullptr;
  };

  const TLayerInfo& LayerInfo(const TqdDXFLayer* L);
  const TqdDXFLayer* EffectiveLayer(const TqdDXFEntity* E);
  TqdDeviceColor ResolveColor(const TqdDXFEntity* E, const TqdDXFLayer* Layer);
  double ResolveLineWeight(const TqdDXFEntity* E, const TqdDXFLayer* Layer);
  // AVisible: ink that would vanish on the background takes the default colour.
  TqdDeviceColor DeviceColor(TqdDeviceColor C, bool AVisible = true) const;

  void IterateBlock(const TqdDXFEntity* Block);
  // The children of Block the view may show (ascending); false: walk them all.
  bool VisibleChildren(const TqdDXFEntity* Block, std::vector<int>& Out);
  void DrawOne(const TqdDXFEntity* E);
  void DrawInsert(const TqdDXFInsert* I);
  void DrawAttributes(const TqdDXFInsert* I);
  // Draws block B placed by Placement under the entity I that shows it.
  void EnterBlock(const TqdDXFEntity* I, const TqdDXFBlock* B, const TFMatrix& Placement);
  void DrawViewport(const TqdDXFViewport* V);
  void DrawPolyline(const TqdCADBasePolyline* P);
  // IR: the text's device box.
  void DrawText(const TqdDXFText* T, TqdDeviceColor EntityColor, const TqdIntRect& IR);
  void DrawMesh(const TqdDXFPolyline* P);
  void DrawRay(const TqdDXFEntity* E);

  // ---- filled areas (qdIteratorHatches.cpp)
  void DrawArea(const TqdCADPolyPolygon* P, const TqdDXFLayer* Layer);
  // A picture with its own pixels, stretched over its device box IR.
  void DrawPixelImage(const TqdDXFImageEnt* E, const TqdIntRect& IR);
  void DrawPatternLines(const TqdCADHatch* H, const TqdDXFLayer* Layer);
  // Fills FAreaPts / FCounts with the gradient; M maps the area's plane to the device.
  void DrawGradient(const TqdCADGradientPolygon* G, const TFMatrix& M);
  void DrawWipeout(const TqdCADWipeout* W);
  // A fill or gradient colour: BYLAYER and BYBLOCK take the entity's.
  TqdDeviceColor AreaColor(const TqdColorCAD& C, TqdDeviceColor EntityColor, bool AVisible = true) const;

  // ---- linetypes (qdIteratorLines.cpp)
  // The linetype E is drawn with (BYLAYER and BYBLOCK resolved); null for none.
  const TqdDXFLineType* ResolveLineType(const TqdDXFEntity* E, const TqdDXFLayer* Layer);
  // The working pattern for E, scaled for it, or null when E is drawn solid (no
  // pattern, or dashes too small to see at this zoom). Sets the cutting space.
  const TqdLines* EntityLines(const TqdDXFEntity* E, const TqdDXFLayer* Layer);
  // Cuts points through the current entity's pattern and draws the pieces. Counts
  // given: a polyline with per-segment counts; else a curve, or a segment for 2
  // points when AsLine.
  void DrawDashed(std::span<const TFPoint> Pts, std::span<const int> Counts, bool Closed, bool AsLine);
  void EmitDashes();

  // ---- primitives (device pixels)
  TqdPoint Project(const TFPoint& P) const;
  // Device pixels per unit of the current matrix, along its most stretched direction.
  double PixelsPerUnit() const;
  // The size in pixels of a point symbol sized by the view; 0 for an absolute size.
  double PointSymbolPixels(const TqdDXFPoint* P) const;
  void SetPen(TqdDeviceColor C, int Width);
  void SetBrush(TqdDeviceColor C);
  // Decimated polyline of drawing points through the matrix.
  void PolylineOf(const TFPoint* Pts, int Count, bool Closed);
  void EmitPolyline();
  void EmitPolygon(const TqdPoint* Pts, int Count);
  void EmitPixel(int X, int Y, TqdDeviceColor C);
  // One-pixel entities wait in a frame-sized buffer (the last colour of each pixel
  // wins, as on the canvas) and go to the canvas one call per colour before
  // anything else is drawn, so the picture is the same as pixel by pixel.
  void FlushPixels() {
    if (!FPixels.empty()) FlushPixelsNow();
  }
  // Flushes only when a waiting pixel lies in Box (Right/Bottom exclusive): what a
  // primitive paints there could not change the colour of the others, so they can
  // wait for the next primitive of their own colour's area.
  void FlushPixelsUnder(const TqdIntRect& Box) {
    if (!FPixels.empty() && (!DeferPixels() || PixelsUnder(Box))) FlushPixelsNow();
  }
  // Box of Pts widened by what a pen of Width may paint beyond them (miter joins,
  // square pixels of the outline).
  static TqdIntRect PaintedBox(std::span<const TqdPoint> Pts, int Width);
  bool PixelsUnder(const TqdIntRect& Box) const;
  void FlushPixelsNow();
  void EmitPolyPolygon();
  void SelectClip();
  TqdDeviceColor SelectionColor();

  TqdCADImage& FImage;
  TqdCanvas* FCanvas = nullptr;
  TqdCanvas* FSel = nullptr;
  TqdCADIterate FDraw;
  TqdIntRect FDrawRect;  // Right/Bottom exclusive
  TqdIntRect FFrame;     // the whole view being drawn
  TqdIntRect FClipBox;   // FDrawRect cut by the top clip region's box
  TqdRegionStack FRegions;
  std::vector<const TqdDXFBlock*> FBlockStack;
  std::vector<TInsertFrame> FInserts;
  std::vector<const TqdDXFViewport*> FViewports;
  const std::vector<std::uint64_t>* FFrozenInViewport = nullptr;
  std::unordered_map<const TqdDXFLayer*, TLayerInfo> FLayers;
  const TqdDXFLayer* FLastLayer = nullptr;
  const TLayerInfo* FLastInfo = nullptr;
  TLayerInfo FNoLayer;
  bool FModel = true;
  double FMMPerPixel = 25.4 / 96;

  // Device state already sent.
  TqdDeviceColor FPenColor = 0xFFFFFFFF, FBrushColor = 0xFFFFFFFF;
  int FPenWidth = -1;
  TqdDeviceColor FColor = 0;  // colour of the current entity (device value)
  int FWidth = 1;             // pen width of the current entity
  TqdPoint FPixel{INT32_MIN, INT32_MIN};
  TqdDeviceColor FPixelColor = 0;
  // Selection: the number of the top-level entity being drawn (0: none yet).
  const TqdDXFEntity* FSelEntity = nullptr;
  std::uint32_t FSelNumber = 0;

  std::vector<TqdPoint> FPoly;
  TFPointList FCurvePts;  // points of a curve that keeps none
  std::vector<std::uint32_t> FPixels;     // offsets into FPixelColors, first touch order
  std::vector<std::uint32_t> FPixelColors;  // per pixel of FClipBox: colour + 1, 0 when none
  TqdIntRect FPixelBox{};                   // the box FPixelColors covers
  // Waiting pixels per tile of FPixelBox (16 pixels square), so that a
  // primitive's box is tested a tile at a time.
  std::vector<std::uint32_t> FPixelTiles;
  int FPixelTilesX = 0;
  static constexpr int cnstPixelTileShift = 4;
  std::vector<TqdPoint> FFlushPts;
  std::vector<TqdDeviceColor> FFlushColors;
  std::vector<int> FCounts;
  std::vector<TqdDPoint> FAreaPts;
  // Linetypes: the frame's working copies of the patterns (the database's stay as
  // they are), the current entity's, and the cutting space: inside block references
  // whose drawings measure dashes in world units the points are cut scaled by the
  // lengths of the reference's axes.
  std::unordered_map<const TqdDXFLineType*, TqdLines> FWorkLines;
  const TqdLines* FLines = nullptr;
  bool FCutScaled = false;
  TFPoint FCutScale{1, 1, 1};
  double FCutPPU = 1;  // pixels per unit of the cutting space
  std::vector<TFPoint> FScaledPts, FThinPts;
  std::vector<int> FThinCounts;
  std::vector<TFPoint> FDashes;
  TqdDrawCache::TPaths FTextPaths;  // outlines of small texts, made per frame
  TStats FStats;
  bool FThreaded = false;
};

// Whether a frame draws anything for an entity of E's kind (texts, hatches and
// pictures are read and kept, but not drawn yet).
bool qdEntityIsDrawn(const TqdDXFEntity* E);
// One warning per entity type of the drawing's blocks that frames do not draw:
// "TEXT: 120 not drawn". Attributes count once per insert that holds them.
// ANames gives the names entities were read as (a load's result), else their classes'.
std::vector<std::string> qdNotDrawnWarnings(const TqdDXFConverter& C, const struct TqdLoadResult* ANames = nullptr);

