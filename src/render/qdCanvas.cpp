#include "qdCanvas.h"

#include <algorithm>
#include <cmath>

int qdDeviceCoord(double V) {
  if (std::isnan(V)) return 0;
  if (V >= qdMaxDeviceCoord) return qdMaxDeviceCoord;
  if (V <= -qdMaxDeviceCoord) return -qdMaxDeviceCoord;
  return static_cast<int>(RoundHalfAway(V));
}

TqdPoint qdDevicePoint(double X, double Y) { return {qdDeviceCoord(X), qdDeviceCoord(Y)}; }

int qdClampDeviceCoord(int V) { return std::clamp(V, -qdMaxDeviceCoord, qdMaxDeviceCoord); }

// ---- TqdRegionStack

void TqdRegionStack::Push(const TqdRegion* Region) {
  FItems.push_back(Region ? std::make_unique<TqdRegion>(*Region) : std::make_unique<TqdRegion>());
}

void TqdRegionStack::Pop() {
  if (!FItems.empty()) FItems.pop_back();
}

TqdRegion* TqdRegionStack::GetTop() { return FItems.empty() ? nullptr : FItems.back().get(); }

const TqdRegion* TqdRegionStack::GetTop() const {
  return FItems.empty() ? nullptr : FItems.back().get();
}

void TqdRegionStack::GetData(std::vector<TqdIntRect>& Rects) const {
  Rects.clear();
  if (!FItems.empty()) FItems.back()->GetRects(Rects);
}

// ---- TqdCanvas state

void TqdCanvas::SetPen(const TqdPen& Value) {
  if (FState.Pen == Value) return;
  FState.Pen = Value;
  FDirty |= dsPen;
}

void TqdCanvas::SetPenColor(TqdDeviceColor Value) {
  TqdPen P = FState.Pen;
  P.Color = Value;
  SetPen(P);
}

void TqdCanvas::SetPenWidth(int Value) {
  TqdPen P = FState.Pen;
  P.Width = Value;
  SetPen(P);
}

void TqdCanvas::SetPenStyle(TqdPenStyle Value) {
  TqdPen P = FState.Pen;
  P.Style = Value;
  SetPen(P);
}

void TqdCanvas::SetPenMode(TqdPenMode Value) {
  TqdPen P = FState.Pen;
  P.Mode = Value;
  SetPen(P);
}

void TqdCanvas::SetBrush(const TqdBrush& Value) {
  if (FState.Brush == Value) return;
  FState.Brush = Value;
  FDirty |= dsBrush;
}

void TqdCanvas::SetBrushColor(TqdDeviceColor Value) {
  TqdBrush B = FState.Brush;
  B.Color = Value;
  SetBrush(B);
}

void TqdCanvas::SetBrushStyle(TqdBrushStyle Value) {
  TqdBrush B = FState.Brush;
  B.Style = Value;
  SetBrush(B);
}

void TqdCanvas::SetFont(const TqdFont& Value) {
  if (FState.Font == Value) return;
  FState.Font = Value;
  FDirty |= dsFont;
}

void TqdCanvas::SaveState() { FSaved.push_back(FState); }

void TqdCanvas::RestoreState() {
  if (FSaved.empty()) return;
  FState = std::move(FSaved.back());
  FSaved.pop_back();
  FDirty = dsAll;
}

void TqdCanvas::SetClipRegion(const TqdRegion& Region) {
  FState.Clip = Region;
  FDirty |= dsClip;
}

void TqdCanvas::IntersectClipRect(const TqdIntRect& R) {
  TqdRegion Rgn;
  Rgn.SetRect(R);
  IntersectClipRegion(Rgn);
}

void TqdCanvas::IntersectClipRegion(const TqdRegion& Region) {
  FState.Clip.Intersect(Region);
  FDirty |= dsClip;
}

TqdIntRect TqdCanvas::ClipBox() const {
  const TqdPoint Size = DeviceSizePixels();
  TqdIntRect R{0, 0, std::max(Size.X, 0), std::max(Size.Y, 0)};
  if (FState.Clip.IsNull()) return R;
  const TqdIntRect B = FState.Clip.GetBox();
  R.Left = std::max(R.Left, B.Left);
  R.Top = std::max(R.Top, B.Top);
  R.Right = std::min(R.Right, B.Right);
  R.Bottom = std::min(R.Bottom, B.Bottom);
  if (R.Right <= R.Left || R.Bottom <= R.Top) return {};
  return R;
}

void TqdCanvas::LineTo(int X, int Y) {
  const TqdPoint To{qdClampDeviceCoord(X), qdClampDeviceCoord(Y)};
  const TqdPoint Pts[2] = {FState.PenPos, To};
  Polyline(std::span<const TqdPoint>(Pts));
  FState.PenPos = To;
}

void TqdCanvas::Line(TqdPoint A, TqdPoint B) {
  MoveTo(A.X, A.Y);
  LineTo(B.X, B.Y);
}

namespace {
double MMPerPixel(double MM, int Pixels) {
  if (Pixels > 0) {
    const double V = MM / Pixels;
    if (std::isfinite(V) && V > 0) return V;
  }
  return 25.4 / qdDefaultPixelsPerInch;
}
}  // namespace

double TqdCanvas::MMPerPixelX() const { return MMPerPixel(DeviceSizeMM().X, DeviceSizePixels().X); }

double TqdCanvas::MMPerPixelY() const { return MMPerPixel(DeviceSizeMM().Y, DeviceSizePixels().Y); }

void TqdCanvas::GradientPolyPolygon(std::span<const TqdDPoint> Points, std::span<const int> Counts,
                                    const TqdGradient& Gradient) {
  SaveState();
  const TqdDeviceColor C = Gradient.Stops.empty() ? Brush().Color : Gradient.Stops.front().second;
  SetBrush({C, bsSolid});
  SetPen({C, 1, psClear, pmCopy});
  PolyPolygon(Points, Counts);
  RestoreState();
}
