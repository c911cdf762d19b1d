#include "qdRecordingCanvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

TqdDPoint Widen(const TqdPoint& P) { return {double(qdClampDeviceCoord(P.X)), double(qdClampDeviceCoord(P.Y))}; }
TqdDPoint Widen(const TqdDPoint& P) { return P; }

std::string Hex(TqdDeviceColor C) {
  char B[16];
  std::snprintf(B, sizeof B, "%06x", unsigned(C & 0xFFFFFF));
  return B;
}

std::string Num(double V) {
  char B[32];
  std::snprintf(B, sizeof B, "%g", V);
  return B;
}

}  // namespace

const char* qdRecordKindName(TqdRecordKind Kind) {
  switch (Kind) {
    case rkPolyline: return "Polyline";
    case rkPolyPolyline: return "PolyPolyline";
    case rkClosedPolyline: return "ClosedPolyline";
    case rkPolygon: return "Polygon";
    case rkPolyPolygon: return "PolyPolygon";
    case rkEllipse: return "Ellipse";
    case rkArc: return "Arc";
    case rkPixels: return "Pixels";
    case rkRectangle: return "Rectangle";
    case rkFillRect: return "FillRect";
    case rkFillRegion: return "FillRegion";
    case rkInvertRect: return "InvertRect";
    case rkText: return "Text";
    case rkImage: return "Image";
    case rkGradientTriangle: return "GradientTriangle";
    case rkGradientPolyPolygon: return "GradientPolyPolygon";
  }
  return "?";
}

TqdIntRect TqdRecord::Bounds() const {
  double L = std::numeric_limits<double>::infinity(), T = L, R = -L, B = -L;
  for (const TqdDPoint& P : Points) {
    L = std::min(L, P.X);
    T = std::min(T, P.Y);
    R = std::max(R, P.X);
    B = std::max(B, P.Y);
  }
  if (Box.Right != Box.Left && Box.Bottom != Box.Top) {
    L = std::min<double>({L, double(Box.Left), double(Box.Right)});
    T = std::min<double>({T, double(Box.Top), double(Box.Bottom)});
    R = std::max<double>({R, double(Box.Left), double(Box.Right)});
    B = std::max<double>({B, double(Box.Top), double(Box.Bottom)});
  }
  if (!(L <= R) || !(T <= B)) return {};
  return {qdDeviceCoord(std::floor(L)), qdDeviceCoord(std::floor(T)), qdDeviceCoord(std::floor(R)) + 1,
          qdDeviceCoord(std::floor(B)) + 1};
}

TqdRecordingCanvas::TqdRecordingCanvas(int Width, int Height) : FSize{std::max(Width, 0), std::max(Height, 0)} {}

TqdDPoint TqdRecordingCanvas::DeviceSizeMM() const {
  return {FSize.X * 25.4 / qdDefaultPixelsPerInch, FSize.Y * 25.4 / qdDefaultPixelsPerInch};
}

std::vector<const TqdRecord*> TqdRecordingCanvas::OfKind(TqdRecordKind Kind) const {
  std::vector<const TqdRecord*> R;
  for (const TqdRecord& Rec : FRecords)
    if (Rec.Kind == Kind) R.push_back(&Rec);
  return R;
}

std::string TqdRecordingCanvas::Describe() const {
  std::string S;
  for (const TqdRecord& R : FRecords) {
    S += qdRecordKindName(R.Kind);
    S += " pen=" + Hex(R.Pen.Color) + "/" + std::to_string(R.Pen.Width) + "/" + std::to_string(int(R.Pen.Style));
    S += " brush=" + Hex(R.Brush.Color) + "/" + std::to_string(int(R.Brush.Style));
    if (!R.Clip.IsNull()) {
      const TqdIntRect C = R.Clip.GetBox();
      S += " clip=[" + std::to_string(C.Left) + "," + std::to_string(C.Top) + "," + std::to_string(C.Right) + "," +
           std::to_string(C.Bottom) + "]";
    }
    if (R.Box.Right != R.Box.Left || R.Box.Bottom != R.Box.Top)
      S += " box=[" + std::to_string(R.Box.Left) + "," + std::to_string(R.Box.Top) + "," +
           std::to_string(R.Box.Right) + "," + std::to_string(R.Box.Bottom) + "]";
    if (!R.Text.empty()) S += " text='" + R.Text + "'";
    S += " pts=";
    const size_t Shown = std::min<size_t>(R.Points.size(), 8);
    for (size_t I = 0; I < Shown; ++I) S += "(" + Num(R.Points[I].X) + "," + Num(R.Points[I].Y) + ")";
    if (Shown < R.Points.size()) S += "...+" + std::to_string(R.Points.size() - Shown);
    S += "\n";
  }
  return S;
}

TqdRecord& TqdRecordingCanvas::Add(TqdRecordKind Kind) {
  TqdRecord& R = FRecords.emplace_back();
  R.Kind = Kind;
  R.Pen = Pen();
  R.Brush = Brush();
  R.FillMode = PolyFillMode();
  R.Clip = ClipRegion();
  return R;
}

template <class P>
bool TqdRecordingCanvas::AddParts(TqdRecordKind Kind, std::span<const P> Points, std::span<const int> Counts) {
  std::size_t Total = 0;
  for (int C : Counts) {
    if (C < 0) return false;
    Total += std::size_t(C);
    if (Total > Points.size()) return false;
  }
  TqdRecord& R = Add(Kind);
  R.Points.reserve(Total);
  for (std::size_t I = 0; I < Total; ++I) R.Points.push_back(Widen(Points[I]));
  R.Counts.assign(Counts.begin(), Counts.end());
  return true;
}

#define QD_ONE_PART(Kind, Pts) \
  do { \
    const int N[1] = {int(std::min<std::size_t>(Pts.size(), std::size_t(std::numeric_limits<int>::max())))}; \
    AddParts(Kind, Pts, std::span<const int>(N)); \
  } while (false)

void TqdRecordingCanvas::Polyline(std::span<const TqdPoint> Points) { QD_ONE_PART(rkPolyline, Points); }
void TqdRecordingCanvas::Polyline(std::span<const TqdDPoint> Points) { QD_ONE_PART(rkPolyline, Points); }
void TqdRecordingCanvas::PolyPolyline(std::span<const TqdPoint> Points, std::span<const int> Counts) {
  AddParts(rkPolyPolyline, Points, Counts);
}
void TqdRecordingCanvas::PolyPolyline(std::span<const TqdDPoint> Points, std::span<const int> Counts) {
  AddParts(rkPolyPolyline, Points, Counts);
}
void TqdRecordingCanvas::ClosedPolyline(std::span<const TqdPoint> Points) { QD_ONE_PART(rkClosedPolyline, Points); }
void TqdRecordingCanvas::Polygon(std::span<const TqdPoint> Points) { QD_ONE_PART(rkPolygon, Points); }
void TqdRecordingCanvas::Polygon(std::span<const TqdDPoint> Points) { QD_ONE_PART(rkPolygon, Points); }
void TqdRecordingCanvas::PolyPolygon(std::span<const TqdPoint> Points, std::span<const int> Counts) {
  AddParts(rkPolyPolygon, Points, Counts);
}
void TqdRecordingCanvas::PolyPolygon(std::span<const TqdDPoint> Points, std::span<const int> Counts) {
  AddParts(rkPolyPolygon, Points, Counts);
}

#undef QD_ONE_PART

void TqdRecordingCanvas::Ellipse(const TqdIntRect& Box) { Add(rkEllipse).Box = Box; }

void TqdRecordingCanvas::Arc(const TqdIntRect& Box, TqdPoint Start, TqdPoint End) {
  TqdRecord& R = Add(rkArc);
  R.Box = Box;
  R.Points = {Widen(Start), Widen(End)};
}

void TqdRecordingCanvas::SetPixel(int X, int Y, TqdDeviceColor Color) {
  TqdRecord& R = Add(rkPixels);
  R.Points = {Widen(TqdPoint{X, Y})};
  R.Colors = {Color};
}

void TqdRecordingCanvas::SetPixels(std::span<const TqdPoint> Points, TqdDeviceColor Color) {
  if (Points.empty()) return;
  TqdRecord& R = Add(rkPixels);
  for (const TqdPoint& P : Points) R.Points.push_back(Widen(P));
  R.Colors.assign(Points.size(), Color);
}

void TqdRecordingCanvas::SetPixelColors(std::span<const TqdPoint> Points, std::span<const TqdDeviceColor> Colors) {
  if (Points.empty() || Colors.size() != Points.size()) return;
  TqdRecord& R = Add(rkPixels);
  for (const TqdPoint& P : Points) R.Points.push_back(Widen(P));
  R.Colors.assign(Colors.begin(), Colors.end());
}

void TqdRecordingCanvas::Rectangle(const TqdIntRect& R) { Add(rkRectangle).Box = R; }
void TqdRecordingCanvas::FillRect(const TqdIntRect& R) { Add(rkFillRect).Box = R; }

void TqdRecordingCanvas::FillRegion(const TqdRegion& Region) {
  if (Region.IsEmpty()) return;
  TqdRecord& R = Add(rkFillRegion);
  R.Box = Region.GetBox();
}

void TqdRecordingCanvas::InvertRect(const TqdIntRect& R) { Add(rkInvertRect).Box = R; }

void TqdRecordingCanvas::TextOut(int X, int Y, const std::string& Text) {
  if (Text.empty()) return;
  TqdRecord& R = Add(rkText);
  R.Points = {Widen(TqdPoint{X, Y})};
  R.Text = Text;
  R.Colors = {Font().Color};
}

void TqdRecordingCanvas::DrawImage(const TqdIntRect& Dest, const TqdImage& Image) {
  if (Image.IsEmpty()) return;
  TqdRecord& R = Add(rkImage);
  R.Box = Dest;
  R.ImageWidth = Image.Width();
  R.ImageHeight = Image.Height();
}

void TqdRecordingCanvas::GradientTriangle(const TqdPoint (&Corners)[3], const TqdDeviceColor (&Colors)[3]) {
  TqdRecord& R = Add(rkGradientTriangle);
  for (const TqdPoint& P : Corners) R.Points.push_back(Widen(P));
  R.Colors.assign(std::begin(Colors), std::end(Colors));
}

void TqdRecordingCanvas::GradientPolyPolygon(std::span<const TqdDPoint> Points, std::span<const int> Counts,
                                             const TqdGradient& Gradient) {
  if (!AddParts(rkGradientPolyPolygon, Points, Counts)) return;
  for (const auto& Stop : Gradient.Stops) FRecords.back().Colors.push_back(Stop.second);
}
