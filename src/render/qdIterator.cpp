#include "qdIterator.h"

#include "Dimensions.h"
#include "qdReaders.h"

#include <map>
#include <optional>

#include <algorithm>
#include <cmath>

#include "Curves.h"
#include "DXFConv.h"
#include "Entities.h"
#include "Faces.h"
#include "Hatches.h"
#include "Inserts.h"
#include "Objects.h"
#include "Others.h"
#include "Polylines.h"
#include "TableItems.h"
#include "Texts.h"
#include "qdDrawCache.h"
#include "qdSpatialIndex.h"

#include <mutex>

namespace {

bool IsFiniteMatrix(const TFMatrix& M) {
  for (int R = 0; R < 4; ++R)
    for (int C = 0; C < 3; ++C)
      if (!std::isfinite(M.M(R, C))) return false;
  return true;
}

// Layer and table colours: index colours through the palette (7 is the
// foreground role), negative indexes are layers that are off.
TqdDeviceColor TableColor(const TqdColorCAD& C) {
  if (C.Active == acRGBColor) return C.Color & 0xFFFFFF;
  int I = C.IndexValue();
  if (I < 0) I = -I;
  if (I < 1 || I > 255 || I == clForeground) return clDefaultForeground;
  return ACIPaletteColor(I);
}

bool Overlaps(const TqdIntRect& A, const TqdIntRect& B) {
  return A.Left < B.Right && B.Left < A.Right && A.Top < B.Bottom && B.Top < A.Bottom;
}

TqdIntRect Intersection(const TqdIntRect& A, const TqdIntRect& B) {
  TqdIntRect R{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
               std::min(A.Bottom, B.Bottom)};
  if (R.Right < R.Left) R.Right = R.Left;
  if (R.Bottom < R.Top) R.Bottom = R.Top;
  return R;
}

}  // namespace

// Texts whose device box is thinner than this (pixels) are drawn as a line when the
// image asks for levels of detail.
inline constexpr int cnstLODTextPixels = 3;
// Texts at least this many pixels across their thinner side keep their outlines.
inline constexpr int cnstKeptTextPixels = 8;

TqdCADIterator::TStats& TqdCADIterator::TStats::operator+=(const TStats& O) {
  Entities += O.Entities;
  Drawn += O.Drawn;
  Pixels += O.Pixels;
  Skipped += O.Skipped;
  BlocksRefused += O.BlocksRefused;
  Dashed += O.Dashed;
  Culled += O.Culled;
  PixelFlushes += O.PixelFlushes;
  TextLines += O.TextLines;
  return *this;
}

// ---------------------------------------------------------------- resolution

const TqdCADIterator::TLayerInfo& TqdCADIterator::LayerInfo(const TqdDXFLayer* L) {
  if (!L) return FNoLayer;
  if (L == FLastLayer) return *FLastInfo;
  auto [It, New] = FLayers.try_emplace(L);
  TLayerInfo& I = It->second;
  if (New) {
    I.Visible = L->Visible() && !L->Frozen();
    if (FImage.IsPlotting() && !L->IsPlotting()) I.Visible = false;
    if (I.Visible && FFrozenInViewport && !FFrozenInViewport->empty())
      I.Visible = !std::binary_search(FFrozenInViewport->begin(), FFrozenInViewport->end(), L->Handle());
    I.IsZero = L->Name() == "0";
    I.Color = TableColor(L->ColorCAD());
    const double W = L->LineWeight();
    I.LineWeight = std::isfinite(W) && W > 0 ? W : 0;
    I.LineType = L->LineType();
  }
  FLastLayer = L;
  FLastInfo = &I;
  return I;
}

const TqdDXFLayer* TqdCADIterator::EffectiveLayer(const TqdDXFEntity* E) {
  const TqdDXFLayer* L = E->Layer();
  if (!FInserts.empty() && (!L || LayerInfo(L).IsZero) && FInserts.back().Layer) return FInserts.back().Layer;
  return L;
}

TqdDeviceColor TqdCADIterator::ResolveColor(const TqdDXFEntity* E, const TqdDXFLayer* Layer) {
  const TqdColorCAD C = E->ColorCAD();
  if (C.Active == acRGBColor) return C.Color & 0xFFFFFF;
  const int I = C.IndexValue();
  if (I == clByLayer) return Layer ? LayerInfo(Layer).Color : clDefaultForeground;
  if (I == clByBlock) return FInserts.empty() ? clDefaultForeground : FInserts.back().ByBlockColor;
  if (I < 1 || I > 255 || I == clForeground) return clDefaultForeground;
  const TqdDeviceColor R = ACIPaletteColor(I);
  // Palette greys that vanish on the background get the contrast grey.
  if (I >= 250 && FImage.Printing() == pntNone && R == FImage.BackgroundColor())
    return FImage.ChangeBackgroundColor();
  return R;
}

double TqdCADIterator::ResolveLineWeight(const TqdDXFEntity* E, const TqdDXFLayer* Layer) {
  const double W = E->LineWeight();
  if (W == cnstLWByLayer) return Layer ? LayerInfo(Layer).LineWeight : 0;
  if (W == cnstLWByBlock) return FInserts.empty() ? 0 : FInserts.back().ByBlockLineWeight;
  return std::isfinite(W) && W > 0 ? W : 0;
}

TqdDeviceColor TqdCADIterator::DeviceColor(TqdDeviceColor C, bool AVisible) const {
  if (FImage.DrawMode() == dmBlack || C == clDefaultForeground || C > 0xFFFFFF) {
    C = FImage.DefaultColor();
  } else if (FImage.DrawMode() == dmGray) {
    const int G = RoundToInt(0.2126 * GetRValue(C) + 0.7152 * GetGValue(C) + 0.0722 * GetBValue(C));
    C = MakeRGB(G, G, G);
  }
  // White ink on white paper (and black on black) is drawn so that it shows; wipeouts
  // take the background without passing here.
  return AVisible ? FImage.VisibleInk(C) : C;
}

// ---------------------------------------------------------------- primitives

namespace {
// qdDeviceCoord's rounding (half away from zero) inline for the common in-range
// case; out of range and NaN take the saturating path.
inline int FastCoord(double V) {
  if (V > -qdMaxDeviceCoord && V < qdMaxDeviceCoord) return static_cast<int>(V >= 0 ? V + 0.5 : V - 0.5);
  return qdDeviceCoord(V);
}
}  // namespace

double TqdCADIterator::PixelsPerUnit() const {
  // The largest stretch of the matrix in the device plane (the spectral norm of
  // its 2 x 3 part), so that no direction of a curve is underestimated.
  const TFMatrix& M = FDraw.Matrix;
  const double A = M.EX.X * M.EX.X + M.EY.X * M.EY.X + M.EZ.X * M.EZ.X;
  const double C = M.EX.Y * M.EX.Y + M.EY.Y * M.EY.Y + M.EZ.Y * M.EZ.Y;
  const double B = M.EX.X * M.EX.Y + M.EY.X * M.EY.Y + M.EZ.X * M.EZ.Y;
  const double H = (A - C) / 2;
  const double S = std::sqrt((A + C) / 2 + std::sqrt(H * H + B * B));
  return std::isfinite(S) ? S : 0;
}

double TqdCADIterator::PointSymbolPixels(const TqdDXFPoint* P) const {
  const double R = P->RelativeSize();
  if (!(R > 0)) return 0;
  const double H = std::abs(double(FFrame.Bottom) - FFrame.Top);
  return std::isfinite(H) ? R * H : 0;
}

TqdPoint TqdCADIterator::Project(const TFPoint& P) const {
  const TFMatrix& M = FDraw.Matrix;
  return {FastCoord(P.X * M.EX.X + P.Y * M.EY.X + P.Z * M.EZ.X + M.E0.X),
          FastCoord(P.X * M.EX.Y + P.Y * M.EY.Y + P.Z * M.EZ.Y + M.E0.Y)};
}

void TqdCADIterator::SetPen(TqdDeviceColor C, int Width) {
  // Waiting pixels carry their own colour: a pen change leaves them waiting.
  if (C != FPenColor || Width != FPenWidth) {
    TqdPen P = FCanvas->Pen();
    P.Color = C;
    P.Width = Width;
    P.Style = psSolid;
    FCanvas->SetPen(P);
    FPenColor = C;
    FPenWidth = Width;
  }
}

void TqdCADIterator::SetBrush(TqdDeviceColor C) {
  if (C != FBrushColor) {
    FCanvas->SetBrush({C, bsSolid});
    FBrushColor = C;
  }
}

TqdDeviceColor TqdCADIterator::SelectionColor() {
  if (FSelEntity == nullptr) return 0;
  if (FSelNumber == 0) {
    auto& L = FImage.SelectionEntities();
    L.push_back(FSelEntity);
    FSelNumber = static_cast<std::uint32_t>(L.size());
  }
  return FSelNumber & 0xFFFFFF;
}

void TqdCADIterator::EmitPolyline() {
  if (FPoly.size() < 2) return;
  FlushPixelsUnder(PaintedBox(FPoly, FCanvas->Pen().Width));
  FCanvas->Polyline(FPoly);
  if (FSel) {
    FSel->SetPen({SelectionColor(), FWidth, psSolid, pmCopy});
    FSel->Polyline(FPoly);
  }
}

void TqdCADIterator::EmitPolygon(const TqdPoint* Pts, int Count) {
  if (Count < 3) return;
  FlushPixelsUnder(PaintedBox(std::span<const TqdPoint>(Pts, static_cast<std::size_t>(Count)), FCanvas->Pen().Width));
  FCanvas->Polygon(std::span<const TqdPoint>(Pts, static_cast<std::size_t>(Count)));
  if (FSel) {
    const TqdDeviceColor S = SelectionColor();
    FSel->SetPen({S, 1, psSolid, pmCopy});
    FSel->SetBrush({S, bsSolid});
    FSel->Polygon(std::span<const TqdPoint>(Pts, static_cast<std::size_t>(Count)));
  }
}

void TqdCADIterator::EmitPolyPolygon() {
  if (FCounts.empty()) return;
  FlushPixelsUnder(PaintedBox(FPoly, FCanvas->Pen().Width));
  FCanvas->PolyPolygon(FPoly, FCounts);
  if (FSel) {
    const TqdDeviceColor S = SelectionColor();
    FSel->SetPen({S, 1, psSolid, pmCopy});
    FSel->SetBrush({S, bsSolid});
    FSel->PolyPolygon(FPoly, FCounts);
  }
}

void TqdCADIterator::EmitPixel(int X, int Y, TqdDeviceColor C) {
  if (FSel) FSel->SetPixel(X, Y, SelectionColor());
  const TqdIntRect& B = FClipBox;
  // Outside the clip box a pixel is not seen.
  if (X < B.Left || Y < B.Top || X >= B.Right || Y >= B.Bottom) return;
  // Huge targets (large exports) set their pixels one by one.
  if (static_cast<long long>(B.Right - B.Left) * (B.Bottom - B.Top) > 16LL * 1024 * 1024) {
    FCanvas->SetPixel(X, Y, C);
    return;
  }
  if (FPixels.empty() && (FPixelBox.Left != B.Left || FPixelBox.Top != B.Top || FPixelBox.Right != B.Right || FPixelBox.Bottom != B.Bottom)) {
    FPixelBox = B;
    FPixelColors.assign(static_cast<std::size_t>(B.Right - B.Left) * static_cast<std::size_t>(B.Bottom - B.Top), 0);
    const int TW = 1 << cnstPixelTileShift;
    FPixelTilesX = (B.Right - B.Left + TW - 1) >> cnstPixelTileShift;
    FPixelTiles.assign(static_cast<std::size_t>(FPixelTilesX) * static_cast<std::size_t>((B.Bottom - B.Top + TW - 1) >> cnstPixelTileShift), 0);
  }
  const std::uint32_t At = static_cast<std::uint32_t>(static_cast<std::size_t>(Y - B.Top) * (B.Right - B.Left) + (X - B.Left));
  std::uint32_t& Slot = FPixelColors[At];
  if (Slot == 0) {
    FPixels.push_back(At);
    ++FPixelTiles[static_cast<std::size_t>((Y - B.Top) >> cnstPixelTileShift) * FPixelTilesX +
                  static_cast<std::size_t>((X - B.Left) >> cnstPixelTileShift)];
  }
  Slot = (C & 0xFFFFFF) + 1;
}

TqdIntRect TqdCADIterator::PaintedBox(std::span<const TqdPoint> Pts, int Width) {
  if (Pts.empty()) return {};
  int L = Pts[0].X, T = Pts[0].Y, R = L, B = T;
  for (const TqdPoint& P : Pts) {
    L = std::min(L, P.X);
    R = std::max(R, P.X);
    T = std::min(T, P.Y);
    B = std::max(B, P.Y);
  }
  // A miter reaches at most the pen's width past its vertex (the limit is 2 half
  // widths); one more pixel for the pixel grid and one for smoothed edges.
  const long long M = std::clamp(Width, 1, cnstMaxPenWidth) + 2;
  auto Clamp = [](long long V) { return static_cast<int>(std::clamp<long long>(V, INT32_MIN / 2, INT32_MAX / 2)); };
  return {Clamp(L - M), Clamp(T - M), Clamp(R + M + 1), Clamp(B + M + 1)};
}

bool TqdCADIterator::PixelsUnder(const TqdIntRect& Box) const {
  const TqdIntRect& PB = FPixelBox;
  const int L = std::max(Box.Left, PB.Left), R = std::min(Box.Right, PB.Right);
  const int T = std::max(Box.Top, PB.Top), B = std::min(Box.Bottom, PB.Bottom);
  if (L >= R || T >= B) return false;
  const int W = PB.Right - PB.Left;
  const int TX0 = (L - PB.Left) >> cnstPixelTileShift, TX1 = (R - 1 - PB.Left) >> cnstPixelTileShift;
  const int TY0 = (T - PB.Top) >> cnstPixelTileShift, TY1 = (B - 1 - PB.Top) >> cnstPixelTileShift;
  for (int TY = TY0; TY <= TY1; ++TY)
    for (int TX = TX0; TX <= TX1; ++TX) {
      if (FPixelTiles[static_cast<std::size_t>(TY) * FPixelTilesX + static_cast<std::size_t>(TX)] == 0) continue;
      // The part of the tile inside the box, pixel by pixel.
      const int X0 = std::max(L, PB.Left + (TX << cnstPixelTileShift));
      const int X1 = std::min(R, PB.Left + ((TX + 1) << cnstPixelTileShift));
      const int Y0 = std::max(T, PB.Top + (TY << cnstPixelTileShift));
      const int Y1 = std::min(B, PB.Top + ((TY + 1) << cnstPixelTileShift));
      if (X0 == PB.Left + (TX << cnstPixelTileShift) && X1 == PB.Left + ((TX + 1) << cnstPixelTileShift) &&
          Y0 == PB.Top + (TY << cnstPixelTileShift) && Y1 == PB.Top + ((TY + 1) << cnstPixelTileShift))
        return true;  // the whole tile is covered
      for (int Y = Y0; Y < Y1; ++Y) {
        const std::uint32_t* Row = FPixelColors.data() + static_cast<std::size_t>(Y - PB.Top) * W + (X0 - PB.Left);
        for (int X = 0; X < X1 - X0; ++X)
          if (Row[X] != 0) return true;
      }
    }
  return false;
}

void TqdCADIterator::FlushPixelsNow() {
  ++FStats.PixelFlushes;
  // Each waiting pixel once, with the colour it ended with: one canvas call.
  const int W = FPixelBox.Right - FPixelBox.Left;
  FFlushPts.clear();
  FFlushColors.clear();
  for (std::uint32_t At : FPixels) {
    std::uint32_t& Slot = FPixelColors[At];
    FFlushColors.push_back(Slot - 1);
    Slot = 0;
    const int Y = static_cast<int>(At / W), X = static_cast<int>(At % W);
    FPixelTiles[static_cast<std::size_t>(Y >> cnstPixelTileShift) * FPixelTilesX + static_cast<std::size_t>(X >> cnstPixelTileShift)] = 0;
    FFlushPts.push_back({FPixelBox.Left + X, FPixelBox.Top + Y});
  }
  FPixels.clear();
  FCanvas->SetPixelColors(FFlushPts, FFlushColors);
}

void TqdCADIterator::PolylineOf(const TFPoint* Pts, int Count, bool Closed) {
  FPoly.clear();
  if (Count < 1) return;
  // Vertices that fall on the pixel already emitted are dropped; after a run of
  // dropped ones the last of them is kept so that corners survive.
  TqdPoint Last = Project(Pts[0]);
  FPoly.push_back(Last);
  TqdPoint Skipped{};
  bool HasSkipped = false;
  for (int I = 1; I < Count; ++I) {
    const TqdPoint P = Project(Pts[I]);
    if (P == Last) continue;
    const int DX = std::abs(P.X - Last.X), DY = std::abs(P.Y - Last.Y);
    if (DX <= 1 && DY <= 1 && I + 1 < Count) {
      Skipped = P;
      HasSkipped = true;
      continue;
    }
    if (HasSkipped && !(Skipped == Last)) FPoly.push_back(Skipped);
    HasSkipped = false;
    FPoly.push_back(P);
    Last = P;
  }
  if (HasSkipped && !(Skipped == Last)) FPoly.push_back(Skipped);
  if (Closed && FPoly.size() > 2) FPoly.push_back(FPoly.front());
  if (FPoly.size() == 1) {
    EmitPixel(FPoly[0].X, FPoly[0].Y, FColor);
    FPoly.clear();
    return;
  }
  // Open lines end one pixel further so that the end pixel is painted.
  if (!Closed && FWidth <= 1) {
    const TqdPoint E = FPoly.back();
    FPoly.push_back({E.X, E.Y + 1});
  }
  EmitPolyline();
}

// ---------------------------------------------------------------- frame

void TqdCADIterator::SelectClip() {
  FlushPixels();
  const TqdRegion* Top = FRegions.GetTop();
  if (Top && !Top->IsNull()) {
    FCanvas->SetClipRegion(*Top);
    if (FSel) FSel->SetClipRegion(*Top);
    FClipBox = Intersection(FDrawRect, Top->GetBox());
  } else {
    FCanvas->SetClipRegion(TqdRegion());
    FCanvas->IntersectClipRect(FDrawRect);
    if (FSel) {
      FSel->SetClipRegion(TqdRegion());
      FSel->IntersectClipRect(FDrawRect);
    }
    FClipBox = FDrawRect;
  }
}

void TqdCADIterator::DrawFrame(TqdCanvas& Canvas, const TqdIntRect& Rect) {
  FStats = {};
  TqdDXFLayout* Layout = FImage.CurrentLayout();
  TqdDXFConverter* Conv = FImage.Converter();
  if (!Layout || !Conv) return;
  FCanvas = &Canvas;
  FSel = FImage.SelectionCanvas();
  FImage.SelectionEntities().clear();
  FDraw = FImage.DrawParams();
  FDraw.DrawMatrix = FDraw.Matrix;
  FDraw.Insert = nullptr;
  FDraw.ConvertMatrixCurrentInsertToWCS = cnstIdentityMat;
  FDraw.Color = clPlatformByLayer;
  FMMPerPixel = Canvas.MMPerPixelX();
  if (!(std::isfinite(FMMPerPixel) && FMMPerPixel > 0)) FMMPerPixel = 25.4 / 96;
  FLayers.clear();
  FLastLayer = nullptr;
  FLastInfo = nullptr;
  FBlockStack.clear();
  FInserts.clear();
  FViewports.clear();
  FFrozenInViewport = nullptr;
  FPenColor = FBrushColor = 0xFFFFFFFF;
  FPenWidth = -1;
  FPixel = {INT32_MIN, INT32_MIN};
  FPixels.clear();
  FPixelBox = {};
  FPoly.reserve(1024);
  FWorkLines.clear();  // patterns may have been prepared again since the last frame
  FLines = nullptr;
  FModel = Layout->IsModel();

  Canvas.SaveState();
  if (FSel) FSel->SaveState();
  TqdIntRect R = Rect;
  if (R.Right < R.Left) std::swap(R.Left, R.Right);
  if (R.Bottom < R.Top) std::swap(R.Top, R.Bottom);
  FDrawRect = Intersection(R, Canvas.ClipBox());
  FFrame = R;
  try {
    if (FImage.IsShowBackground()) {
      Canvas.SetBrush({FImage.BackgroundColor(), bsSolid});
      Canvas.FillRect(R);
    }
    FRegions = TqdRegionStack();
    FRegions.Push(nullptr);
    SelectClip();
    const TqdDXFEntity* Block = Layout->PaperSpaceBlockField();
    if (const auto* B = dynamic_cast<const TqdDXFBlock*>(Block)) {
      FBlockStack.push_back(B);
      IterateBlock(B);
      FBlockStack.pop_back();
    }
    FlushPixels();
  } catch (...) {
    FPixels.clear();
    Canvas.RestoreState();
    if (FSel) FSel->RestoreState();
    FCanvas = FSel = nullptr;
    throw;
  }
  Canvas.RestoreState();
  if (FSel) FSel->RestoreState();
  FCanvas = FSel = nullptr;
  // Scratch capacity is kept between frames, within bounds.
  if (FPoly.capacity() > 1000000) {
    FPoly.clear();
    FPoly.shrink_to_fit();
  }
}

bool TqdCADIterator::VisibleChildren(const TqdDXFEntity* Block, std::vector<int>& Out) {
  if (Block->Count() < TqdSpatialIndex::MinEntities()) return false;
  const auto* G = dynamic_cast<const TqdDXFGroup*>(Block);
  if (!G) return false;
  // The index is built on first use and queries through scratch of its own.
  std::unique_lock<std::mutex> Lock;
  if (FThreaded) Lock = std::unique_lock<std::mutex>(TqdDrawCache::LazyLock());
  const TqdSpatialIndex* Ix = G->SpatialIndex();
  if (!Ix) return false;
  // The clip box a pixel wider, as the box test is.
  return Ix->QueryDevice(FDraw.Matrix, FClipBox.Left - 2.0, FClipBox.Top - 2.0, FClipBox.Right + 2.0,
                         FClipBox.Bottom + 2.0, Out);
}

void TqdCADIterator::IterateBlock(const TqdDXFEntity* Block) {
  const int N = Block->Count();
  const bool Top = FInserts.empty() && FViewports.empty();
  auto One = [&](int I) {
    const TqdDXFEntity* E = Block->GetEntity(I);
    if (!E) return;
    if (Top) {
      FSelEntity = E;
      FSelNumber = 0;
    }
    DrawOne(E);
  };
  // Only what the view may show, in list order; the rest is never visited.
  std::vector<int> Hits;
  if (VisibleChildren(Block, Hits)) {
    FStats.Culled += N - static_cast<long long>(Hits.size());
    for (int I : Hits) One(I);
  } else {
    for (int I = 0; I < N; ++I) One(I);
  }
}

void TqdCADIterator::DrawOne(const TqdDXFEntity* E) {
  ++FStats.Entities;
  if (!E->Visibility()) {
    ++FStats.Skipped;
    return;
  }
  const TqdCADEntities T = E->EntType();
  const TqdDXFLayer* Layer = EffectiveLayer(E);
  if (Layer && !LayerInfo(Layer).Visible) {
    ++FStats.Skipped;
    return;
  }
  switch (T) {
    case ceRay:
    case ceXline:
      DrawRay(E);
      return;
    case ce3dFace:
      if ((E->Flags() & 15) == 15) return;
      break;
    case ceDimension:
      // Drawn through its block, in drawing coordinates.
      if (!FImage.DimensionsVisible() || !E->InsertBlock()) return;
      break;
    case ceAttdef:
      // A definition shows its tag outside blocks; inside an insert only as its rules say.
      if (!FInserts.empty() && !static_cast<const TqdDXFAttdef*>(E)->DrawsInInsert()) return;
      break;
    case ceText: case ceAttrib: case ceMText: case ceShape:
      break;
    case ceImageEnt:
      // Only pictures that carry their own pixels are drawn so far.
      if (!static_cast<const TqdDXFImageEnt*>(E)->HasPixels()) return;
      break;
    case ceViewport:
      if (FModel || !FViewports.empty()) return;
      break;
    case cePoint:
      if (const TqdDXFConverter* C = E->Converter(); C && C->PointDisplayMode() == 1) return;
      break;
    default:
      break;
  }

  // The device box of the entity.
  const TFRect B = E->Box();
  if (!IsFiniteBox(B)) {
    ++FStats.Skipped;
    return;
  }
  const TFRect D = TransformBox(B, FDraw.Matrix);
  if (!IsFiniteBox(D)) {
    ++FStats.Skipped;
    return;
  }
  TqdIntRect IR{qdDeviceCoord(D.Left), qdDeviceCoord(std::min(D.Top, D.Bottom)), qdDeviceCoord(D.Right),
                qdDeviceCoord(std::max(D.Top, D.Bottom))};
  if (T == cePoint) {
    // A point symbol sized by the view covers its share of the view around the point.
    const int Half = qdDeviceCoord(PointSymbolPixels(static_cast<const TqdDXFPoint*>(E)) / 2 + 1);
    IR = {IR.Left - Half, IR.Top - Half, IR.Right + Half, IR.Bottom + Half};
  }
  const TqdIntRect Test{IR.Left, IR.Top, IR.Right + 1, IR.Bottom + 1};
  if (!Overlaps(Test, FClipBox)) {
    ++FStats.Skipped;
    return;
  }

  const bool Small = IR.Right - IR.Left < 2 && IR.Bottom - IR.Top < 2;
  TqdDeviceColor C = ResolveColor(E, Layer);
  if (Small && T != ceViewport) {
    const TqdDeviceColor DC = DeviceColor(C);
    const TqdPoint P{IR.Left, IR.Top};
    if (!(P == FPixel) || DC != FPixelColor) {
      EmitPixel(P.X, P.Y, DC);
      FPixel = P;
      FPixelColor = DC;
    }
    ++FStats.Pixels;
    return;
  }
  ++FStats.Drawn;

  FColor = DeviceColor(C);
  int Width = 1;
  if (FImage.IsShowLineWeight() && T != cePoint && T != ceViewport) {
    const double MM = FImage.ScaleLineWeight(ResolveLineWeight(E, Layer));
    const double W = FImage.LineWeightScale() * MM / FMMPerPixel;
    if (std::isfinite(W) && W > 0) Width = static_cast<int>(std::min<double>(std::ceil(W), cnstMaxPenWidth));
    else Width = std::max(1, FImage.NullWidth());
  }
  FWidth = std::max(Width, 1);
  SetPen(FColor, FWidth);
  FLines = nullptr;
  switch (T) {
    case ceLine: case ce3dFace: case ceCircle: case ceArc: case ceEllipse: case ceSpline: case ceHelix:
    case cePolyline: case ceLWPolyline: case ceLeader:
      FLines = EntityLines(E, Layer);
      break;
    default:
      break;
  }

  switch (T) {
    case ceLine: {
      const auto* L = static_cast<const TqdDXFLine*>(E);
      const auto [A, Bp] = L->Line();
      const TFPoint Pts[2] = {A, Bp};
      if (FLines) DrawDashed(Pts, {}, false, true);
      else PolylineOf(Pts, 2, false);
      break;
    }
    case cePoint: {
      const auto* P = static_cast<const TqdDXFPoint*>(E);
      SetPen(FColor, 1);
      const TFPointList* L = P->Points();
      if (!L) {
        const TqdPoint Q = Project(P->Point());
        EmitPixel(Q.X, Q.Y, FColor);
        break;
      }
      // Symbols sized by the view are kept at size 1 around the point.
      const double PPU = PixelsPerUnit();
      const double K = P->RelativeSize() > 0 && PPU > 0 ? PointSymbolPixels(P) / PPU : 1;
      const TFPoint O = P->Point();
      std::vector<TFPoint> Scaled;
      for (int I = 2; I < L->Count();) {
        const int N = static_cast<int>((*L)[I].X);
        ++I;
        if (N <= 0 || N > L->Count() - I) break;
        const TFPoint* Pts = &(*L)[I];
        if (K != 1) {
          Scaled.assign(Pts, Pts + N);
          for (TFPoint& Q : Scaled) Q = {O.X + (Q.X - O.X) * K, O.Y + (Q.Y - O.Y) * K, O.Z + (Q.Z - O.Z) * K};
          Pts = Scaled.data();
        }
        if (N == 1) {
          const TqdPoint Q = Project(Pts[0]);
          EmitPixel(Q.X, Q.Y, FColor);
        } else {
          PolylineOf(Pts, N, false);
        }
        I += N;
      }
      break;
    }
    case ceSolid:
    case ceTrace: {
      const auto* S = static_cast<const TqdDXFSolid*>(E);
      TFPoint Pts[4];
      int N = 0;
      if (FThreaded) {
        // The solid's plane matrix is made on first use.
        std::lock_guard<std::mutex> Lock(TqdDrawCache::LazyLock());
        N = S->GetPoints(Pts, false, true);
      } else {
        N = S->GetPoints(Pts, false, true);
      }
      TqdPoint Q[4];
      int K = 0;
      if (N == 4) {
        const int Order[4] = {0, 1, 3, 2};
        for (int I : Order) Q[K++] = Project(Pts[I]);
      } else {
        for (int I = 0; I < N; ++I) Q[K++] = Project(Pts[I]);
      }
      SetPen(FColor, 1);
      SetBrush(FColor);
      if (K >= 3) EmitPolygon(Q, K);
      else PolylineOf(Pts, N, false);
      break;
    }
    case ce3dFace: {
      const auto* F = static_cast<const TqdDXF3dFace*>(E);
      const TFPoint Pts[4] = {F->Point(), F->Point1(), F->Point2(), F->Point3()};
      for (int I = 0; I < 4; ++I) {
        if (!F->IsEdgeVisible(I)) continue;
        const TFPoint Edge[2] = {Pts[I], Pts[(I + 1) % 4]};
        if (FLines) DrawDashed(Edge, {}, false, true);
        else PolylineOf(Edge, 2, false);
      }
      break;
    }
    case ceCircle: case ceArc: case ceEllipse: case ceSpline: case ceHelix:
    case cePolyline: case ceLWPolyline: case ceLeader:
      if (const auto* P = dynamic_cast<const TqdCADBasePolyline*>(E)) DrawPolyline(P);
      // A leader's arrowhead is an insert it owns, drawn after its path.
      if (T == ceLeader)
        if (const auto* Ld = dynamic_cast<const TqdDXFLeader*>(E); Ld && Ld->ArrowInsert() && Ld->ArrowInsert()->Visibility())
          DrawOne(Ld->ArrowInsert());
      break;
    case ceTolerance:
      if (const auto* Tl = dynamic_cast<const TqdDXFTolerance*>(E); Tl && Tl->FrameBlock())
        EnterBlock(E, Tl->FrameBlock(), cnstIdentityMat);
      break;
    case cePolyPolygon: case ceGradientPolygon: case ceCurvePolygon: case ceHatch: case ceMPolygon:
      if (const auto* P = dynamic_cast<const TqdCADPolyPolygon*>(E)) DrawArea(P, Layer);
      break;
    case ceWipeOut:
      if (const auto* W = dynamic_cast<const TqdCADWipeout*>(E)) DrawWipeout(W);
      break;
    case ceViewport:
      DrawViewport(static_cast<const TqdDXFViewport*>(E));
      break;
    case ceText: case ceAttdef: case ceAttrib: case ceMText: case ceShape:
      DrawText(static_cast<const TqdDXFText*>(E), C, IR);
      break;
    case ceImageEnt:
      DrawPixelImage(static_cast<const TqdDXFImageEnt*>(E), IR);
      break;
    case ceDimension:
      if (const auto* B = dynamic_cast<const TqdDXFBlock*>(E->InsertBlock())) EnterBlock(E, B, cnstIdentityMat);
      break;
    case ceMultiLeader: case ceUnderlay: case ceProxy:
      // Their geometry is a private block in drawing coordinates.
      if (const auto* B = dynamic_cast<const TqdDXFBlock*>(E->InsertBlock())) EnterBlock(E, B, cnstIdentityMat);
      break;
    default:
      if (E->IsInsert()) DrawInsert(static_cast<const TqdDXFInsert*>(E));
      break;
  }
}

void TqdCADIterator::DrawText(const TqdDXFText* T, TqdDeviceColor EntityColor, const TqdIntRect& IR) {
  if (FImage.LevelOfDetail()) {
    const int W = IR.Right - IR.Left, H = IR.Bottom - IR.Top;
    if (std::min(W, H) < cnstLODTextPixels) {
      // Too small to read: a line through the middle of the box, along its longer side.
      TqdPoint A{IR.Left, (IR.Top + IR.Bottom) / 2}, B{IR.Right, A.Y};
      if (H > W) {
        A = {(IR.Left + IR.Right) / 2, IR.Top};
        B = {A.X, IR.Bottom};
      }
      FPoly.clear();
      FPoly.push_back(A);
      FPoly.push_back(B);
      if (FWidth <= 1) FPoly.push_back({B.X, B.Y + 1});
      ++FStats.TextLines;
      EmitPolyline();
      return;
    }
  }
  // A third of a pixel in the text's own units: outlines finer than that are not seen.
  const TFMatrix& D = FDraw.Matrix;
  const double PPU = std::max(std::hypot(D.EX.X, D.EX.Y), std::hypot(D.EY.X, D.EY.Y));
  const double Tolerance = PPU > 0 && std::isfinite(PPU) ? 0.33 / PPU : 0;
  // Outlines of larger texts are kept from frame to frame while the text and the zoom
  // stay; small ones cost less to make again than to read back from memory.
  std::shared_ptr<const TqdDrawCache::TPaths> Kept;
  const TqdDrawCache::TPaths* Paths = &FTextPaths;
  if (std::min(IR.Right - IR.Left, IR.Bottom - IR.Top) >= cnstKeptTextPixels) {
    Kept = FImage.DrawCache().TextPaths(*T, Tolerance);
    Paths = Kept.get();
  } else {
    std::unique_lock<std::mutex> Lock;
    if (FThreaded) Lock = std::unique_lock<std::mutex>(TqdDrawCache::LazyLock());
    FTextPaths.Used = T->GetPathsReusing(FTextPaths.Paths, Tolerance);
  }
  for (const TqdTextPath& P : *Paths) {
    TqdDeviceColor C = FColor;
    if (P.TrueColor) C = DeviceColor(P.RGB & 0xFFFFFF);
    else if (P.ColorIndex >= 1 && P.ColorIndex <= 255) C = DeviceColor(ACIPaletteColor(P.ColorIndex));
    else if (P.ColorIndex == 0) C = DeviceColor(FInserts.empty() ? EntityColor : FInserts.back().ByBlockColor);
    if (P.Filled) {
      FPoly.clear();
      FCounts.clear();
      for (std::size_t I = 0, At = 0; I < P.Counts.size(); At += P.Counts[I], ++I) {
        if (P.Counts[I] < 3) continue;
        const std::size_t From = FPoly.size();
        bool OnePixel = true;
        for (int K = 0; K < P.Counts[I]; ++K) {
          FPoly.push_back(Project(P.Points[At + K]));
          OnePixel = OnePixel && std::abs(FPoly.back().X - FPoly[From].X) <= 1 &&
                     std::abs(FPoly.back().Y - FPoly[From].Y) <= 1;
        }
        if (OnePixel) {
          // A contour within a pixel of its start paints one pixel, as its outline
          // would: the glyphs of texts seen from afar cost a pixel, not a path.
          const TqdPoint Q = FPoly[From];
          FPoly.resize(From);
          if (Q.X != FPixel.X || Q.Y != FPixel.Y || C != FPixelColor) {
            EmitPixel(Q.X, Q.Y, C);
            FPixel = Q;
            FPixelColor = C;
          }
          continue;
        }
        FCounts.push_back(P.Counts[I]);
      }
      if (FCounts.empty()) continue;
      SetPen(C, 1);
      SetBrush(C);
      FCanvas->SetPolyFillMode(fmAlternate);
      EmitPolyPolygon();
    } else {
      SetPen(C, FWidth);
      for (std::size_t I = 0, At = 0; I < P.Counts.size(); At += P.Counts[I], ++I)
        PolylineOf(P.Points.data() + At, P.Counts[I], false);
    }
  }
}

void TqdCADIterator::DrawPolyline(const TqdCADBasePolyline* P) {
  const auto* PL = dynamic_cast<const TqdDXFPolyline*>(P);
  if (PL && (PL->IsPolyFaceMesh() || (PL->IsMesh() && PL->IsPolygonMesh()))) {
    DrawMesh(PL);
    return;
  }
  // Widths first: the outline asks for the points, which plain ones make per frame.
  if (PL && PL->HasWidth(true) && PL->Arrows().Count() > 3) {
    // Wide outline: quads of 4 points, filled.
    const TFPointList& A = PL->Arrows();
    SetPen(FColor, 1);
    SetBrush(FColor);
    const int Quads = A.Count() / 4;
    for (int Q = 0; Q < Quads; ++Q) {
      TqdPoint D[4];
      for (int K = 0; K < 4; ++K) D[K] = Project(A[Q * 4 + K]);
      EmitPolygon(D, 4);
    }
    return;
  }
  // Dashes are measured along the kept points (a polyline's by its vertex counts).
  const TFPointList* LP = nullptr;
  if (FLines && PL) {
    // A polyline's points are kept once made: made under the lock when threaded.
    std::unique_lock<std::mutex> Lock;
    if (FThreaded) Lock = std::unique_lock<std::mutex>(TqdDrawCache::LazyLock());
    LP = &P->PolyPoints();
  } else {
    LP = &P->DrawPoints(FCurvePts, FLines ? 0 : PixelsPerUnit());
  }
  const TFPointList& L = *LP;
  int N = L.Count();
  if (N == 0) return;
  const bool Thick = P->IsPolyZThickness() && N % 2 == 0 && N >= 4;
  if (Thick) N /= 2;
  const bool Closed = P->Closed() && P->EntType() != ceCircle && P->EntType() != ceArc &&
                      P->EntType() != ceEllipse && P->EntType() != ceSpline;
  if (const std::vector<int>* Paths = P->PathCounts(); Paths && !Thick) {
    // Separate strokes held by one entity: each is its own open path.
    int At = 0;
    for (const int K : *Paths) {
      if (K <= 0 || K > N - At) break;
      const std::span<const TFPoint> Pts(L.Data() + At, static_cast<std::size_t>(K));
      if (FLines) DrawDashed(Pts, {}, false, false);
      else PolylineOf(Pts.data(), K, false);
      At += K;
    }
    return;
  }
  if (FLines) {
    // Polylines are cut segment by segment (or along the whole path when generated
    // continuously), circles as one closed path, other curves as one open path. A
    // thick entity dashes its base and its raised copy, with fewer whole patterns.
    std::optional<TqdDashLimitGuard> Limit;
    if (Thick) Limit.emplace(qdDashLimit() / 8);
    std::span<const int> Counts;
    if (PL) Counts = std::span<const int>(PL->PointsCounts().Data(), static_cast<std::size_t>(PL->PointsCounts().Count()));
    const bool Loop = PL ? P->Closed() : P->EntType() == ceCircle;
    for (int Half = 0; Half < (Thick ? 2 : 1); ++Half) {
      const std::span<const TFPoint> Pts(L.Data() + static_cast<std::ptrdiff_t>(Half) * N, static_cast<std::size_t>(N));
      if (PL && Counts.empty()) DrawDashed(Pts, {}, Loop, false);
      else DrawDashed(Pts, Counts, Loop, false);
    }
    return;
  }
  PolylineOf(L.Data(), N, Closed);
  if (Thick) PolylineOf(L.Data() + N, N, Closed);
}

void TqdCADIterator::DrawMesh(const TqdDXFPolyline* P) {
  std::unique_lock<std::mutex> Lock;
  if (FThreaded) Lock = std::unique_lock<std::mutex>(TqdDrawCache::LazyLock());
  const TFPointList& L = P->PolyPoints();
  if (Lock) Lock.unlock();
  if (P->IsPolyFaceMesh()) {
    const int Faces = P->PolyFaceVertexIndexes().Count() / 4;
    int F[4];
    for (int I = 0; I < Faces; ++I) {
      if (!P->GetPolyFace(I, F)) continue;  // names a vertex that does not exist
      int N = 0;
      while (N < 4 && F[N] != 0) ++N;
      for (int K = 0; K < N; ++K) {
        if (F[K] < 0) continue;  // hidden edge
        const int A = std::abs(F[K]) - 1, B = std::abs(F[(K + 1) % N]) - 1;
        if (A < 0 || B < 0 || A >= L.Count() || B >= L.Count()) continue;
        const TFPoint E[2] = {L[A], L[B]};
        PolylineOf(E, 2, false);
      }
    }
    return;
  }
  const int M = P->MeshM(), N = P->MeshN();
  if (static_cast<long long>(M) * N > L.Count() || M < 1 || N < 1) return;
  const bool ClosedM = P->Closed(), ClosedN = P->IsMeshNClosed();
  std::vector<TFPoint> Line;
  for (int I = 0; I < M; ++I) PolylineOf(L.Data() + static_cast<std::ptrdiff_t>(I) * N, N, ClosedN);
  for (int J = 0; J < N; ++J) {
    Line.clear();
    for (int I = 0; I < M; ++I) Line.push_back(L[I * N + J]);
    PolylineOf(Line.data(), M, ClosedM);
  }
}

void TqdCADIterator::DrawRay(const TqdDXFEntity* E) {
  const auto* R = static_cast<const TqdDXFRay*>(E);
  const TFPoint S = R->Point1();  // the start in world coordinates
  const TFPoint Dir = R->Direction();
  const TFMatrix& M = FDraw.Matrix;
  const TFPoint P0 = TransformPoint(S, M);
  const TFPoint DV = TransformVector(Dir, M);
  if (!IsFiniteFPoint(P0) || !IsFiniteFPoint(DV)) return;
  // Parameter range of the device line inside the clip box (inflated by a pixel).
  double T0 = E->EntType() == ceXline ? -1e300 : 0, T1 = 1e300;
  const double Lo[2] = {FClipBox.Left - 1.0, FClipBox.Top - 1.0};
  const double Hi[2] = {FClipBox.Right + 1.0, FClipBox.Bottom + 1.0};
  const double O[2] = {P0.X, P0.Y}, V[2] = {DV.X, DV.Y};
  for (int A = 0; A < 2; ++A) {
    if (std::fabs(V[A]) < 1e-300) {
      if (O[A] < Lo[A] || O[A] > Hi[A]) return;
      continue;
    }
    double Ta = (Lo[A] - O[A]) / V[A], Tb = (Hi[A] - O[A]) / V[A];
    if (Ta > Tb) std::swap(Ta, Tb);
    T0 = std::max(T0, Ta);
    T1 = std::min(T1, Tb);
  }
  if (!(T0 <= T1) || T1 > 1e299) return;  // a point direction has no line
  const TqdDXFLayer* L = EffectiveLayer(E);
  FColor = DeviceColor(ResolveColor(E, L));
  FWidth = 1;
  SetPen(FColor, 1);
  FPoly.clear();
  FPoly.push_back(qdDevicePoint(O[0] + V[0] * T0, O[1] + V[1] * T0));
  FPoly.push_back(qdDevicePoint(O[0] + V[0] * T1, O[1] + V[1] * T1));
  ++FStats.Drawn;
  EmitPolyline();
}

void TqdCADIterator::DrawInsert(const TqdDXFInsert* I) {
  const TqdDXFBlock* B = I->Block();
  if (!B) return;
  if (const auto* MI = dynamic_cast<const TqdCADMInsert*>(I)) {
    const int Cols = MI->EffectiveCols();
    const std::uint64_t Cells = MI->DrawnCellCount();
    for (std::uint64_t K = 0; K < Cells; ++K) {
      const int Row = static_cast<int>(K / Cols), Col = static_cast<int>(K % Cols);
      EnterBlock(I, B, MI->CellMatrix(Row, Col));
      // The attributes stand at the first cell; every cell shows them moved along.
      const TqdCADIterate Saved = FDraw;
      FDraw.Matrix = ComposeMatrices(TranslationMatrix(MI->CellOffset(Row, Col)), Saved.Matrix);
      DrawAttributes(I);
      FDraw = Saved;
    }
    if (MI->IsCapped()) {
      // The rest of the grid shows as the box of the array.
      const TFRect Bx = I->Box();
      const TFPoint C[5] = {{Bx.Left, Bx.Top, 0}, {Bx.Right, Bx.Top, 0}, {Bx.Right, Bx.Bottom, 0},
                            {Bx.Left, Bx.Bottom, 0}, {Bx.Left, Bx.Top, 0}};
      SetPen(FColor, FWidth);
      PolylineOf(C, 5, false);
    }
    return;
  }
  // Clipped references: the boundary (in the coordinates the reference lives in) clips.
  std::vector<TFPoint> Clip = I->ClipBoundary();
  if (const auto* CI = dynamic_cast<const TqdCADClipInsert*>(I); CI && Clip.empty()) {
    const TFRect R = CI->GetClipBox();
    if (IsFiniteBox(R)) Clip = {R.TopLeft(), R.BottomRight()};
  }
  bool Pushed = false;
  if (Clip.size() >= 2) {
    std::vector<TqdPoint> Poly;
    if (Clip.size() == 2) {
      const TFPoint A = Clip[0], Bc = Clip[1];
      for (const TFPoint& Q : {A, TFPoint{Bc.X, A.Y, 0}, Bc, TFPoint{A.X, Bc.Y, 0}}) Poly.push_back(Project(Q));
    } else {
      for (const TFPoint& Q : Clip) Poly.push_back(Project(Q));
    }
    TqdRegion R;
    R.SetPolygon(Poly, fmAlternate);
    if (const TqdRegion* Top = FRegions.GetTop()) R.Intersect(*Top);
    FRegions.Push(R);
    SelectClip();
    Pushed = true;
  }
  EnterBlock(I, B, I->GetMatrix());
  DrawAttributes(I);
  if (Pushed) {
    FRegions.Pop();
    SelectClip();
  }
}

void TqdCADIterator::DrawAttributes(const TqdDXFInsert* I) {
  // Attributes live in the coordinates the insert lives in.
  for (int K = 0; K < I->Count(); ++K)
    if (const TqdDXFEntity* A = I->GetEntity(K); A && A->EntType() == ceAttrib)
      if (static_cast<const TqdDXFAttdef*>(A)->DrawsInInsert()) DrawOne(A);
}

void TqdCADIterator::EnterBlock(const TqdDXFEntity* I, const TqdDXFBlock* B, const TFMatrix& Placement) {
  // A block already on the path (a reference to itself, directly or through
  // others) or a path too deep is not entered; nothing is detached.
  if (static_cast<int>(FBlockStack.size()) >= cnstMaxDrawDepth ||
      std::find(FBlockStack.begin(), FBlockStack.end(), B) != FBlockStack.end()) {
    ++FStats.BlocksRefused;
    return;
  }
  const TFMatrix M = ComposeMatrices(Placement, FDraw.Matrix);
  if (!IsFiniteMatrix(M)) return;
  TInsertFrame F;
  F.Insert = I;
  const TqdDXFLayer* Parent = EffectiveLayer(I);
  F.Layer = Parent;
  F.ByBlockColor = ResolveColor(I, Parent);
  F.ByBlockLineWeight = ResolveLineWeight(I, Parent);
  F.ByBlockLineType = ResolveLineType(I, Parent);
  const TqdCADIterate Saved = FDraw;
  FDraw.Matrix = M;
  if (I->IsInsert()) FDraw.Insert = const_cast<TqdDXFInsert*>(static_cast<const TqdDXFInsert*>(I));
  FDraw.ConvertMatrixCurrentInsertToWCS = ComposeMatrices(Placement, Saved.ConvertMatrixCurrentInsertToWCS);
  FDraw.Additional = (std::fabs(M.EX.Y) > 1e-6 || std::fabs(M.EY.X) > 1e-6) ? 1 : 0;
  FInserts.push_back(F);
  FBlockStack.push_back(B);
  const std::size_t Depth = FInserts.size();
  try {
    IterateBlock(B);
  } catch (...) {
    FInserts.resize(Depth - 1);
    FBlockStack.pop_back();
    FDraw = Saved;
    throw;
  }
  FBlockStack.pop_back();
  FInserts.pop_back();
  FDraw = Saved;
}

void TqdCADIterator::DrawViewport(const TqdDXFViewport* V) {
  // The first viewport of a paper space is the sheet itself: no frame, no view.
  if (V->Owner() && V->OrdIndex() == 0) return;
  const TFRect R = V->Rect();
  const TFPoint Corners[4] = {{R.Left, R.Top, 0}, {R.Right, R.Top, 0}, {R.Right, R.Bottom, 0}, {R.Left, R.Bottom, 0}};
  std::vector<TqdPoint> Frame;
  // A clipping entity of the paper space replaces the rectangle.
  if (V->ClippingBoundaryHandle() != 0 && V->Owner()) {
    const int Idx = V->Owner()->IndexOfHandle(V->ClippingBoundaryHandle());
    if (const auto* P = dynamic_cast<const TqdCADBasePolyline*>(V->Owner()->GetEntity(Idx)); Idx >= 0 && P) {
      std::unique_lock<std::mutex> Lock;
      if (FThreaded) Lock = std::unique_lock<std::mutex>(TqdDrawCache::LazyLock());
      if (P->PointCount() > 2)
        for (const TFPoint& Q : P->PolyPoints()) Frame.push_back(Project(Q));
    }
  }
  if (Frame.empty())
    for (const TFPoint& Q : Corners) Frame.push_back(Project(Q));
  SetPen(FColor, 1);
  if (V->VisibleBoundary()) {
    FPoly.assign(Frame.begin(), Frame.end());
    FPoly.push_back(Frame.front());
    EmitPolyline();
  }
  if (!V->IsOn()) return;
  if (std::find(FViewports.begin(), FViewports.end(), V) != FViewports.end()) return;
  TqdDXFConverter* Conv = FImage.Converter();
  const TqdDXFLayout* Model = Conv ? Conv->GetLayout(0) : nullptr;
  const TqdDXFBlock* MB = Model ? Model->PaperSpaceBlockField() : nullptr;
  if (!MB) return;
  const TFMatrix M = ComposeMatrices(V->Matrix(), FDraw.Matrix);
  if (!IsFiniteMatrix(M) || (M.EX.X == 0 && M.EX.Y == 0 && M.EY.X == 0 && M.EY.Y == 0)) return;

  TqdRegion Clip;
  Clip.SetPolygon(Frame, fmAlternate);
  if (const TqdRegion* Top = FRegions.GetTop()) Clip.Intersect(*Top);
  FRegions.Push(Clip);
  SelectClip();
  // Layers frozen in this viewport: the layer cache is per viewport.
  std::vector<std::uint64_t> Frozen = V->FrozenLayers();
  std::sort(Frozen.begin(), Frozen.end());
  auto SavedLayers = std::move(FLayers);
  FLayers.clear();
  FLastLayer = nullptr;
  FFrozenInViewport = &Frozen;
  const TqdCADIterate Saved = FDraw;
  const bool SavedModel = FModel;
  FDraw.Matrix = M;
  FModel = true;
  FViewports.push_back(V);
  if (std::find(FBlockStack.begin(), FBlockStack.end(), MB) == FBlockStack.end()) {
    FBlockStack.push_back(MB);
    IterateBlock(MB);
    FBlockStack.pop_back();
  }
  FViewports.pop_back();
  FModel = SavedModel;
  FDraw = Saved;
  FFrozenInViewport = nullptr;
  FLayers = std::move(SavedLayers);
  FLastLayer = nullptr;
  FRegions.Pop();
  SelectClip();
}

bool qdEntityIsDrawn(const TqdDXFEntity* E) {
  if (!E) return false;
  switch (E->EntType()) {
    case ceLine: case cePoint: case ceSolid: case ceTrace: case ce3dFace: case ceRay: case ceXline:
    case ceCircle: case ceArc: case ceEllipse: case ceSpline: case ceHelix: case cePolyline:
    case ceLWPolyline: case ceLeader: case cePolyPolygon: case ceViewport: case ceGradientPolygon:
    case ceCurvePolygon: case ceHatch: case ceMPolygon: case ceWipeOut:
    case ceText: case ceMText: case ceAttrib: case ceAttdef: case ceShape:
      return true;
    case ceDimension:
    case ceMultiLeader: case ceUnderlay: case ceProxy:
      return E->InsertBlock() != nullptr;
    case ceTolerance:
      return true;
    case ceImageEnt:
      return static_cast<const TqdDXFImageEnt*>(E)->HasPixels();
    default:
      return E->IsInsert();
  }
}

std::vector<std::string> qdNotDrawnWarnings(const TqdDXFConverter& C, const TqdLoadResult* ANames) {
  const TqdLoadResult NoNames;
  const TqdLoadResult& Names = ANames ? *ANames : NoNames;
  std::map<std::string, long long> Counts;
  const TqdDXFEntity* Blocks = C.GetSection(csBlocks);
  const int NB = Blocks ? Blocks->Count() : 0;
  for (int I = 0; I < NB; ++I) {
    const TqdDXFEntity* B = Blocks->GetEntity(I);
    const int N = B ? B->Count() : 0;
    for (int J = 0; J < N; ++J) {
      const TqdDXFEntity* E = B->GetEntity(J);
      if (!E) continue;
      if (!qdEntityIsDrawn(E)) ++Counts[EntityTypeName(Names, *E)];
      // Attributes of inserts; vertices of polylines are drawn with their polyline.
      if (E->IsInsert())
        for (int K = 0; K < E->Count(); ++K)
          if (const TqdDXFEntity* A = E->GetEntity(K); A && !qdEntityIsDrawn(A)) ++Counts[EntityTypeName(Names, *A)];
    }
  }
  std::vector<std::string> R;
  for (const auto& [Type, N] : Counts) R.push_back(Type + ": " + std::to_string(N) + " not drawn");
  return R;
}

