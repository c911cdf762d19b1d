// The draw pipeline's side of linetypes: which pattern an entity is drawn with, at what
// scale, whether its dashes are worth drawing at this zoom, and the pieces the pattern
// engine cuts turned into device poly-polylines.
#include <algorithm>
#include <cmath>

#include "DXFConv.h"
#include "Objects.h"
#include "Polylines.h"
#include "TableItems.h"
#include "qdDrawCache.h"
#include "qdIterator.h"

#include <mutex>

namespace {

// Dashes are drawn when the pattern's longest element covers at least this many pixels;
// below it the line is drawn solid, not as a blur of pixel-sized pieces.
constexpr double cnstMinDashPixels = 1.5;
// Pieces shorter than this (pixels) are drawn as dots.
constexpr double cnstDotPixels = 0.5;

bool IsNamed(const TqdDXFLineType* LT, const char* Name) { return LT && LT->Name() == Name; }

double AxisLength(const TFPoint& A) { return std::sqrt(A.X * A.X + A.Y * A.Y + A.Z * A.Z); }

double Projected(const TFPoint& A) { return std::sqrt(A.X * A.X + A.Y * A.Y); }

}  // namespace

const TqdDXFLineType* TqdCADIterator::ResolveLineType(const TqdDXFEntity* E, const TqdDXFLayer* Layer) {
  const TqdDXFLineType* LT = E->LineType();
  if (!LT || IsNamed(LT, "BYLAYER")) {
    LT = Layer ? LayerInfo(Layer).LineType : nullptr;
  } else if (IsNamed(LT, "BYBLOCK")) {
    LT = FInserts.empty() ? nullptr : FInserts.back().ByBlockLineType;
  }
  if (IsNamed(LT, "BYLAYER") || IsNamed(LT, "BYBLOCK")) return nullptr;
  return LT;
}

const TqdLines* TqdCADIterator::EntityLines(const TqdDXFEntity* E, const TqdDXFLayer* Layer) {
  const TqdDXFLineType* LT = ResolveLineType(E, Layer);
  if (!LT) return nullptr;
  const TqdLines& Source = LT->Lines();
  if (Source.IsSolid() || Source.SimpleElements().empty() || !(Source.PatternLength() > 0)) return nullptr;
  const TqdDXFConverter* Conv = FImage.Converter();

  // Scale: the drawing's, the linetype's and the entity's.
  double Scale = (Conv ? std::fabs(Conv->LTScale()) : 1.0) * LT->LineTypeScale() * E->LineTypeScale();
  // Viewport contents measure their dashes in paper units when the drawing says so.
  if (!FViewports.empty() && Conv && Conv->HeadVarStruct().PSLTScale != 0) {
    const double VS = AxisLength(FViewports.back()->Matrix().EX);
    if (std::isfinite(VS) && VS > 1e-12) Scale /= VS;
  }

  // Inside block references the dashes keep their size in drawing units: the points
  // are cut in a copy scaled by the lengths of the reference's axes.
  FCutScaled = false;
  FCutScale = {1, 1, 1};
  if (!FInserts.empty() && FImage.IsWorldLineTypeScale()) {
    const TFMatrix& M = FDraw.ConvertMatrixCurrentInsertToWCS;
    const TFPoint S{AxisLength(M.EX), AxisLength(M.EY), AxisLength(M.EZ)};
    if (!IsFiniteFPoint(S) || S.X < 1e-12 || S.Y < 1e-12 || S.Z < 1e-12) return nullptr;  // degenerate: solid
    if (std::fabs(S.X - 1) > 1e-12 || std::fabs(S.Y - 1) > 1e-12 || std::fabs(S.Z - 1) > 1e-12) {
      FCutScaled = true;
      FCutScale = S;
    }
  }

  auto [It, New] = FWorkLines.try_emplace(LT, Source);
  TqdLines& W = It->second;
  W.SetScale(Scale);
  // Polylines generated continuously through their vertices repeat the pattern along
  // the whole path and fit closed ones with whole patterns.
  const auto* PL = dynamic_cast<const TqdDXFPolyline*>(E);
  const bool Linegen = PL && PL->IsPLinegen() && !PL->HasWidth(true);
  W.SetIsUniform(Linegen || Source.IsUniform());
  W.SetIsAutocadMetod(Linegen || Source.IsAutocadMetod());

  // Pixels per unit of the cutting space, the largest over the axes.
  const TFMatrix& D = FDraw.Matrix;
  const double PPU = std::max({Projected(D.EX) / FCutScale.X, Projected(D.EY) / FCutScale.Y,
                               Projected(D.EZ) / FCutScale.Z});
  if (!std::isfinite(PPU) || W.LongestElement() * W.Scale() * PPU < cnstMinDashPixels) return nullptr;
  FCutPPU = PPU;
  return &W;
}

void TqdCADIterator::DrawDashed(std::span<const TFPoint> Pts, std::span<const int> Counts, bool Closed,
                                bool AsLine) {
  if (!FLines || Pts.empty()) return;
  // Texts and shapes in a pattern become strokes through the fonts on first use.
  std::unique_lock<std::mutex> Lock;
  if (FThreaded)
    for (const TqdSimpleElement& El : FLines->SimpleElements())
      if (El.IsEmbedded()) {
        Lock = std::unique_lock<std::mutex>(TqdDrawCache::LazyLock());
        break;
      }
  if (FCutScaled) {
    FScaledPts.resize(Pts.size());
    for (std::size_t K = 0; K < Pts.size(); ++K)
      FScaledPts[K] = {Pts[K].X * FCutScale.X, Pts[K].Y * FCutScale.Y, Pts[K].Z * FCutScale.Z};
    Pts = FScaledPts;
  }
  if (!AsLine) {
    // Vertices within half a pixel of the last one kept change nothing visible but
    // would each cost a piece: tessellated curves are thinned first (the ends of arc
    // runs and the polyline's own vertices stay).
    const double T = 0.5 / FCutPPU;
    auto Far = [T](const TFPoint& A, const TFPoint& B) {
      return std::fabs(A.X - B.X) > T || std::fabs(A.Y - B.Y) > T || std::fabs(A.Z - B.Z) > T;
    };
    FThinPts.clear();
    FThinCounts.clear();
    const std::size_t N = Pts.size();
    std::size_t I = 0;
    if (Counts.empty()) {
      FThinPts.push_back(Pts[0]);
      for (std::size_t K = 1; K < N; ++K)
        if (K + 1 == N || Far(Pts[K], FThinPts.back())) FThinPts.push_back(Pts[K]);
      I = N;
    } else {
      for (const int C : Counts) {
        if (I >= N) break;
        if (C < 1) {
          FThinCounts.push_back(C);
          continue;
        }
        const std::size_t Run = std::min(static_cast<std::size_t>(C), N - I);
        const std::size_t Start = FThinPts.size();
        FThinPts.push_back(Pts[I]);
        for (std::size_t J = 1; J < Run; ++J)
          if (J + 1 == Run || Far(Pts[I + J], FThinPts.back())) FThinPts.push_back(Pts[I + J]);
        FThinCounts.push_back(C == 1 ? 1 : static_cast<int>(FThinPts.size() - Start));
        I += Run;
      }
    }
    for (; I < N; ++I) FThinPts.push_back(Pts[I]);
    Pts = FThinPts;
    if (!Counts.empty()) Counts = FThinCounts;
  }
  FDashes.clear();
  if (AsLine && Pts.size() == 2)
    FLines->Line(Pts[0], Pts[1], FDashes);
  else if (!Counts.empty())
    FLines->Vertexes(Pts, Counts, FDashes, Closed);
  else
    FLines->Curve(Pts, FDashes, Closed);
  ++FStats.Dashed;
  EmitDashes();
}

void TqdCADIterator::EmitDashes() {
  FPoly.clear();
  FCounts.clear();
  const TFMatrix& M = FDraw.Matrix;
  const TFPoint Inv{1 / FCutScale.X, 1 / FCutScale.Y, 1 / FCutScale.Z};
  auto Device = [&](TFPoint P) {
    if (FCutScaled) P = {P.X * Inv.X, P.Y * Inv.Y, P.Z * Inv.Z};
    return TqdDPoint{P.X * M.EX.X + P.Y * M.EY.X + P.Z * M.EZ.X + M.E0.X,
                     P.X * M.EX.Y + P.Y * M.EY.Y + P.Z * M.EZ.Y + M.E0.Y};
  };
  bool LastWasDot = true;
  const int N = static_cast<int>(FDashes.size() & ~std::size_t(1));
  for (int K = 0; K < N; K += 2) {
    const TqdDPoint A = Device(FDashes[K]), B = Device(FDashes[K + 1]);
    const TqdPoint PA = qdDevicePoint(A.X, A.Y);
    const TqdPoint PB = qdDevicePoint(B.X, B.Y);
    if (PA == PB || std::hypot(B.X - A.X, B.Y - A.Y) < cnstDotPixels) {
      // A segment one pixel down paints exactly the dot's pixel.
      FPoly.push_back(PA);
      FPoly.push_back({PA.X, PA.Y + 1});
      FCounts.push_back(2);
      LastWasDot = true;
      continue;
    }
    // Pieces that continue each other (a dash round a curve's vertices) make one part.
    if (!LastWasDot && !FCounts.empty() && FPoly.back() == PA) {
      FPoly.push_back(PB);
      ++FCounts.back();
      continue;
    }
    FPoly.push_back(PA);
    FPoly.push_back(PB);
    FCounts.push_back(2);
    LastWasDot = false;
  }
  if (FCounts.empty()) return;
  FlushPixelsUnder(PaintedBox(FPoly, FCanvas->Pen().Width));
  FCanvas->PolyPolyline(FPoly, FCounts);
  if (FSel) {
    FSel->SetPen({SelectionColor(), FWidth, psSolid, pmCopy});
    FSel->PolyPolyline(FPoly, FCounts);
  }
}
