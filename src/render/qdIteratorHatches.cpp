// The draw pipeline's side of filled areas: solid and gradient fills of the loops (one
// even-odd area, so nested loops alternate), the generated pattern lines of hatches,
// multi-polygon outlines and wipeouts.
#include <algorithm>
#include <cmath>

#include "DXFConv.h"
#include "Hatches.h"
#include "Others.h"
#include "qdIterator.h"

namespace {

constexpr double cnstDegToRad = 3.14159265358979323846 / 180.0;

TqdDPoint ToDevice(const TFPoint& P, const TFMatrix& M) {
  return {P.X * M.EX.X + P.Y * M.EY.X + P.Z * M.EZ.X + M.E0.X, P.X * M.EX.Y + P.Y * M.EY.Y + P.Z * M.EZ.Y + M.E0.Y};
}

bool FiniteD(const TqdDPoint& P) { return std::isfinite(P.X) && std::isfinite(P.Y); }

TqdBrushStyle BrushOf(TqdFillStyle S) {
  switch (S) {
    case fsHorizontal: return bsHorizontal;
    case fsVertical: return bsVertical;
    case fsFDiagonal: return bsFDiagonal;
    case fsBDiagonal: return bsBDiagonal;
    case fsCross: return bsCross;
    case fsDiagCross: return bsDiagCross;
    default: return bsSolid;
  }
}

}  // namespace

TqdDeviceColor TqdCADIterator::AreaColor(const TqdColorCAD& C, TqdDeviceColor EntityColor, bool AVisible) const {
  if (C.Active == acRGBColor) return DeviceColor(C.Color & 0xFFFFFF, AVisible);
  const int I = C.IndexValue();
  if (I == clByLayer || I == clByBlock) return EntityColor;
  if (I < 1 || I > 255 || I == clForeground) return DeviceColor(clDefaultForeground, AVisible);
  return DeviceColor(ACIPaletteColor(I), AVisible);
}

void TqdCADIterator::DrawArea(const TqdCADPolyPolygon* P, const TqdDXFLayer* Layer) {
  const auto* CP = dynamic_cast<const TqdCADCurvePolygon*>(P);
  const auto* H = dynamic_cast<const TqdCADHatch*>(P);
  const bool MPolygon = P->EntType() == ceMPolygon;
  const TqdFillStyle Style = H ? H->FillStyle() : fsSolid;
  const bool Solid = P->GetSolidFill() || (H && H->PatternFallback() != pfNone);
  const bool Pattern = H && !Solid && Style == fsCAD;
  // A pattern hatch without lines draws nothing; a multi-polygon still shows its loops.
  if (Pattern && H->ParsedLines().empty() && !MPolygon) return;
  if (!Solid && Style == fsClear && !MPolygon) return;

  const bool Placed = CP && CP->HasTransform();
  const TFMatrix M = Placed ? ComposeMatrices(CP->Matrix(), FDraw.Matrix) : FDraw.Matrix;
  FAreaPts.clear();
  FCounts.clear();
  for (int I = 0; I < P->LoopCount(); ++I) {
    const auto& L = P->Loop(I);
    if (L.size() < 3) continue;
    const std::size_t At = FAreaPts.size();
    for (const TFPoint& Q : L) {
      const TqdDPoint D = ToDevice(Q, M);
      if (FiniteD(D)) FAreaPts.push_back({std::clamp(D.X, -1e8, 1e8), std::clamp(D.Y, -1e8, 1e8)});
    }
    if (FAreaPts.size() - At < 3) {
      FAreaPts.resize(At);
      continue;
    }
    FCounts.push_back(static_cast<int>(FAreaPts.size() - At));
  }

  const TqdDeviceColor Fill = MPolygon && CP ? AreaColor(CP->GetFillColor(), FColor) : FColor;
  FCanvas->SetPolyFillMode(fmAlternate);
  if (Solid && !FCounts.empty()) {
    const auto* G = dynamic_cast<const TqdCADGradientPolygon*>(P);
    if (G && G->FType != gtNone && !FImage.IsPlotting()) {
      DrawGradient(G, M);
    } else {
      SetPen(Fill, 1);
      SetBrush(Fill);
      FPoly.clear();
      for (const TqdDPoint& D : FAreaPts) FPoly.push_back(qdDevicePoint(D.X, D.Y));
      EmitPolyPolygon();
    }
  } else if (!Solid && Style != fsCAD && Style != fsClear && !FCounts.empty()) {
    // Brush styles fill with the device's hatch brush.
    SetPen(Fill, 1);
    FlushPixels();
    FCanvas->SetBrush({Fill, BrushOf(Style)});
    FBrushColor = 0xFFFFFFFF;
    FCanvas->SetPen({Fill, 1, psClear, pmCopy});
    FPenColor = 0xFFFFFFFF;
    FCanvas->PolyPolygon(std::span<const TqdDPoint>(FAreaPts), FCounts);
    if (FSel) {
      const TqdDeviceColor S = SelectionColor();
      FSel->SetPen({S, 1, psSolid, pmCopy});
      FSel->SetBrush({S, bsSolid});
      FSel->PolyPolygon(std::span<const TqdDPoint>(FAreaPts), FCounts);
    }
  }

  if (MPolygon) {
    // The loops of a multi-polygon are part of it.
    SetPen(FColor, FWidth);
    for (std::size_t I = 0, At = 0; I < FCounts.size(); At += static_cast<std::size_t>(FCounts[I]), ++I) {
      FPoly.clear();
      for (int K = 0; K < FCounts[I]; ++K) FPoly.push_back(qdDevicePoint(FAreaPts[At + K].X, FAreaPts[At + K].Y));
      FPoly.push_back(FPoly.front());
      EmitPolyline();
    }
  }
  // Last: it reuses the point lists.
  if (Pattern && !H->ParsedLines().empty()) DrawPatternLines(H, Layer);
}

void TqdCADIterator::DrawPatternLines(const TqdCADHatch* H, const TqdDXFLayer* Layer) {
  const std::vector<TFPoint>& L = H->ParsedLines();
  const bool Placed = H->HasTransform();
  SetPen(FColor, FWidth);
  FLines = EntityLines(H, Layer);
  if (FLines) {
    // Pattern lines follow the hatch's own linetype.
    for (std::size_t I = 0; I + 1 < L.size(); I += 2) {
      TFPoint Pts[2] = {L[I], L[I + 1]};
      if (Placed) {
        Pts[0] = TransformPoint(Pts[0], H->Matrix());
        Pts[1] = TransformPoint(Pts[1], H->Matrix());
      }
      DrawDashed(Pts, {}, false, true);
    }
    FLines = nullptr;
    return;
  }
  const TFMatrix M = Placed ? ComposeMatrices(H->Matrix(), FDraw.Matrix) : FDraw.Matrix;
  FPoly.clear();
  FCounts.clear();
  auto Flush = [&] {
    if (FCounts.empty()) return;
    FlushPixelsUnder(PaintedBox(FPoly, FCanvas->Pen().Width));
    FCanvas->PolyPolyline(FPoly, FCounts);
    if (FSel) {
      FSel->SetPen({SelectionColor(), FWidth, psSolid, pmCopy});
      FSel->PolyPolyline(FPoly, FCounts);
    }
    FPoly.clear();
    FCounts.clear();
  };
  for (std::size_t I = 0; I + 1 < L.size(); I += 2) {
    const TqdDPoint A = ToDevice(L[I], M), B = ToDevice(L[I + 1], M);
    if (!FiniteD(A) || !FiniteD(B)) continue;
    const TqdPoint PA = qdDevicePoint(A.X, A.Y), PB = qdDevicePoint(B.X, B.Y);
    if (PA.X < FClipBox.Left - 1 && PB.X < FClipBox.Left - 1) continue;
    if (PA.X > FClipBox.Right && PB.X > FClipBox.Right) continue;
    if (PA.Y < FClipBox.Top - 1 && PB.Y < FClipBox.Top - 1) continue;
    if (PA.Y > FClipBox.Bottom && PB.Y > FClipBox.Bottom) continue;
    if (PA == PB) {
      EmitPixel(PA.X, PA.Y, FColor);
      continue;
    }
    FPoly.push_back(PA);
    FPoly.push_back(PB);
    FCounts.push_back(2);
    if (FCounts.size() >= 2000) Flush();
  }
  Flush();
}

void TqdCADIterator::DrawGradient(const TqdCADGradientPolygon* G, const TFMatrix& M) {
  // A gradient's colours blend into each other: one of them may well be the background's.
  const TqdDeviceColor C0 = AreaColor(G->GetGradientColorCAD(0), FColor, false);
  const TqdDeviceColor C1 = AreaColor(G->GetGradientColorCAD(1), FColor, false);
  // Geometry in the area's plane: the box, its centre and the gradient direction.
  const TFRect& B = G->FBox;
  const TFPoint Ctr{(B.Left + B.Right) / 2, (B.Top + B.Bottom) / 2, 0};
  const double A = G->GradientAngle() * cnstDegToRad;
  const TFPoint Dir{std::cos(A), std::sin(A), 0};
  double Half = 0;
  for (const TFPoint& Q : {TFPoint{B.Left, B.Bottom, 0}, TFPoint{B.Right, B.Bottom, 0}, TFPoint{B.Left, B.Top, 0},
                           TFPoint{B.Right, B.Top, 0}})
    Half = std::max(Half, std::fabs((Q.X - Ctr.X) * Dir.X + (Q.Y - Ctr.Y) * Dir.Y));
  const double Radius = std::hypot(B.Right - B.Left, B.Top - B.Bottom) / 2;
  auto Along = [&](double T) { return TFPoint{Ctr.X + Dir.X * T, Ctr.Y + Dir.Y * T, 0}; };
  // The normal of the direction: "up" for the curved and hemispherical forms.
  const TFPoint Up{-Dir.Y, Dir.X, 0};
  TqdGradient Gr;
  auto Radial = [&](const TFPoint& Centre, double R) {
    Gr.Radial = true;
    Gr.P0 = ToDevice(Centre, M);
    const TqdDPoint Edge = ToDevice({Centre.X + R, Centre.Y, 0}, M);
    Gr.Radius = std::hypot(Edge.X - Gr.P0.X, Edge.Y - Gr.P0.Y);
  };
  switch (G->FType) {
    case gtCylinder:
    case gtInvCylinder: {
      const bool Inv = G->FType == gtInvCylinder;
      Gr.P0 = ToDevice(Along(-Half), M);
      Gr.P1 = ToDevice(Along(Half), M);
      Gr.Stops = {{0, Inv ? C1 : C0}, {0.5, Inv ? C0 : C1}, {1, Inv ? C1 : C0}};
      break;
    }
    case gtSpherical:
    case gtInvSpherical:
      Radial(Ctr, Radius);
      Gr.Stops = G->FType == gtSpherical ? decltype(Gr.Stops){{0, C1}, {1, C0}} : decltype(Gr.Stops){{0, C0}, {1, C1}};
      break;
    case gtHemiSpherical:
    case gtInvHemiSpherical: {
      const double HH = std::hypot(B.Right - B.Left, B.Top - B.Bottom) / 2;
      Radial({Ctr.X - Up.X * HH, Ctr.Y - Up.Y * HH, 0}, 2 * HH);
      Gr.Stops = G->FType == gtHemiSpherical ? decltype(Gr.Stops){{0, C1}, {1, C0}} : decltype(Gr.Stops){{0, C0}, {1, C1}};
      break;
    }
    case gtCurved:
    case gtInvCurved: {
      const double HH = std::hypot(B.Right - B.Left, B.Top - B.Bottom);
      Radial({Ctr.X - Up.X * HH, Ctr.Y - Up.Y * HH, 0}, 1.5 * HH);
      Gr.Stops = G->FType == gtCurved ? decltype(Gr.Stops){{0.5, C1}, {1, C0}} : decltype(Gr.Stops){{0.5, C0}, {1, C1}};
      break;
    }
    default:  // linear and unknown names
      Gr.P0 = ToDevice(Along(-Half), M);
      Gr.P1 = ToDevice(Along(Half), M);
      Gr.Stops = {{0, C0}, {1, C1}};
      break;
  }
  FlushPixels();
  FCanvas->GradientPolyPolygon(FAreaPts, FCounts, Gr);
  if (FSel) {
    const TqdDeviceColor S = SelectionColor();
    FSel->SetPen({S, 1, psSolid, pmCopy});
    FSel->SetBrush({S, bsSolid});
    FSel->PolyPolygon(std::span<const TqdDPoint>(FAreaPts), FCounts);
  }
}

void TqdCADIterator::DrawWipeout(const TqdCADWipeout* W) {
  const std::vector<TFPoint> Pts = W->ClipPolygon();
  if (Pts.size() < 3) return;
  FPoly.clear();
  FCounts.clear();
  for (const TFPoint& Q : Pts) FPoly.push_back(Project(Q));
  FCounts.push_back(static_cast<int>(FPoly.size()));
  // A wipeout covers what lies under it with the background.
  const TqdDeviceColor Bg = FImage.BackgroundColor() & 0xFFFFFF;
  SetPen(Bg, 1);
  SetBrush(Bg);
  FCanvas->SetPolyFillMode(fmAlternate);
  EmitPolyPolygon();
  const TqdDXFConverter* C = W->Converter();
  if (C && !C->HideWipeouts()) {
    SetPen(FColor, FWidth);
    FPoly.push_back(FPoly.front());
    EmitPolyline();
  }
}
