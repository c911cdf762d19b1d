// Entities whose data are lists the reader maps by hand: hatch boundaries and pattern
// lines, image and wipeout clip boundaries, multiline vertices.
#include "DXFWriterAreas.h"

#include <cmath>
#include <numbers>

#include "Hatches.h"
#include "Inserts.h"
#include "Others.h"
#include "TableItems.h"

namespace dxfw {

namespace {

void Extrusion(TqdDXFOutput& O, const TFPoint& P) {
  if (P.X != 0 || P.Y != 0 || P.Z != 1) O.Point(210, P);
}

void P2(TqdDXFOutput& O, int C, const TF2DPoint& P) {
  O.Dbl(C, P.X);
  O.Dbl(C + 10, P.Y);
}

void WritePolylinePath(TqdDXFOutput& O, const Tqd2DPolyline& P) {
  bool Bulges = false;
  for (float B : P.FBulges) Bulges |= B != 0;
  O.Int(72, Bulges ? 1 : 0);
  O.Int(73, P.Closed() ? 1 : 0);
  O.Int(93, static_cast<int>(P.FVertexes.size()));
  for (std::size_t I = 0; I < P.FVertexes.size(); ++I) {
    P2(O, 10, P.FVertexes[I]);
    if (Bulges) O.Dbl(42, I < P.FBulges.size() ? P.FBulges[I] : 0.0);
  }
}

void WriteEdge(TContext& X, const Tqd2DCurve& E) {
  TqdDXFOutput& O = X.Out;
  if (const auto* L = dynamic_cast<const Tqd2DLine*>(&E)) {
    O.Int(72, 1);
    P2(O, 10, L->FStartPoint);
    P2(O, 11, L->FEndPoint);
  } else if (const auto* El = dynamic_cast<const Tqd2DEllipse*>(&E)) {
    O.Int(72, 3);
    P2(O, 10, El->FCenterPoint);
    P2(O, 11, El->FMajorPoint);
    O.Dbl(40, El->FRadius);
    O.Dbl(50, El->FStartParam);
    O.Dbl(51, El->FEndParam);
    O.Int(73, El->CounterClockWise() ? 1 : 0);
  } else if (const auto* A = dynamic_cast<const Tqd2DArc*>(&E)) {
    O.Int(72, 2);
    P2(O, 10, A->FCenterPoint);
    O.Dbl(40, A->FRadius);
    O.Dbl(50, A->FStartParam);
    O.Dbl(51, A->FEndParam);
    O.Int(73, A->CounterClockWise() ? 1 : 0);
  } else if (const auto* S = dynamic_cast<const Tqd2DSpline*>(&E)) {
    O.Int(72, 4);
    O.Int(94, S->Degree());
    const bool Weighted = !S->FWeights.empty() && S->FWeights.size() == S->FControls.size();
    O.Int(73, S->Rational() || Weighted ? 1 : 0);
    O.Int(74, S->Periodic() ? 1 : 0);
    O.Int(95, static_cast<int>(S->FKnots.size()));
    O.Int(96, static_cast<int>(S->FControls.size()));
    for (float K : S->FKnots) O.Dbl(40, K);
    for (std::size_t I = 0; I < S->FControls.size(); ++I) {
      P2(O, 10, S->FControls[I]);
      if (Weighted) O.Dbl(42, S->FWeights[I]);
    }
    if (X.Rel >= acR2010) O.Int(97, 0);
  } else if (const auto* P = dynamic_cast<const Tqd2DPolyline*>(&E)) {
    // A polyline among edges: its segments as lines.
    for (std::size_t I = 0; I + 1 < P->FVertexes.size(); ++I) {
      O.Int(72, 1);
      P2(O, 10, P->FVertexes[I]);
      P2(O, 11, P->FVertexes[I + 1]);
    }
  }
}

int EdgeCount(const Tqd2DBoundaryList& L) {
  int N = 0;
  for (const auto& E : L.FObjects) {
    if (const auto* P = dynamic_cast<const Tqd2DPolyline*>(E.get()))
      N += P->FVertexes.size() > 1 ? static_cast<int>(P->FVertexes.size()) - 1 : 0;
    else if (E) ++N;
  }
  return N;
}

void WriteColour(TContext& X, int ACode, const TqdColorCAD& C) {
  if (C.Active == acIndexColor) {
    X.Out.Int(ACode, C.IndexValue());
  } else {
    X.Out.Int(ACode, 7);
    X.Out.Int(421, static_cast<std::int64_t>(((C.Color & 0xFF) << 16) | (C.Color & 0xFF00) | ((C.Color >> 16) & 0xFF)));
  }
}

}  // namespace

void WriteHatch(TContext& X, const TqdCADPolyPolygon& H) {
  TqdDXFOutput& O = X.Out;
  const auto* CP = dynamic_cast<const TqdCADCurvePolygon*>(&H);
  const auto* Pat = dynamic_cast<const TqdCADHatch*>(&H);
  const bool Solid = !Pat || dynamic_cast<const TqdCADMPolygon*>(&H) != nullptr;
  X.Marker("AcDbHatch");
  O.Point(10, {0, 0, CP ? CP->Elevation().Z : 0});
  Extrusion(O, H.Extrusion());
  std::string Name = H.GetHatchName();
  if (Name.empty()) Name = Solid ? "SOLID" : "USER";
  O.Str(2, Name);
  O.Int(70, Solid ? 1 : 0);
  O.Int(71, 0);
  if (CP && CP->GetBoundaryDataCount() >= 0) {
    const TqdCADBoundaryData& D = CP->BoundaryData();
    O.Int(91, D.LoopCount());
    for (const auto& L : D.FBoundaries) {
      const Tqd2DPolyline* Poly = nullptr;
      if (L->FObjects.size() == 1) Poly = dynamic_cast<const Tqd2DPolyline*>(L->FObjects.front().get());
      int Type = L->FBoundaryType;
      if (Poly) Type |= 2;
      else Type &= ~2;
      O.Int(92, Type);
      if (Poly) {
        WritePolylinePath(O, *Poly);
      } else {
        O.Int(93, EdgeCount(*L));
        for (const auto& E : L->FObjects)
          if (E) WriteEdge(X, *E);
      }
      O.Int(97, 0);
    }
  } else {
    O.Int(91, H.LoopCount());
    for (const std::vector<TFPoint>& L : H.FBoundaryPolylines) {
      O.Int(92, 3);
      O.Int(72, 0);
      O.Int(73, 1);
      O.Int(93, static_cast<int>(L.size()));
      for (const TFPoint& P : L) {
        O.Dbl(10, P.X);
        O.Dbl(20, P.Y);
      }
      O.Int(97, 0);
    }
  }
  O.Int(75, CP ? CP->IslandStyle() : 0);
  O.Int(76, 1);
  if (Pat && !Solid) {
    O.Dbl(52, Pat->PatternAngle());
    O.Dbl(41, Pat->PatternScale());
    O.Int(77, 0);
    const auto& Lines = Pat->HatchPatternData();
    O.Int(78, static_cast<int>(Lines.size()));
    for (const TqdHatchPatternData& L : Lines) {
      O.Dbl(53, L.LineAngle);
      O.Dbl(43, L.BaseP.X);
      O.Dbl(44, L.BaseP.Y);
      O.Dbl(45, L.Offset.X);
      O.Dbl(46, L.Offset.Y);
      O.Int(79, static_cast<int>(L.Lines.size()));
      for (double V : L.Lines) O.Dbl(49, V);
    }
  }
  if (CP && CP->HasTransform() && (CP->GetOffset().X != 0 || CP->GetOffset().Y != 0)) {
    O.Dbl(11, CP->GetOffset().X);
    O.Dbl(21, CP->GetOffset().Y);
  }
  O.Int(98, 0);
  if (X.R2004() && H.GetHatchName() == "GRADIENT") {
    const auto& G = static_cast<const TqdCADGradientPolygon&>(H);
    O.Int(450, 1);
    O.Int(451, 0);
    O.Int(452, 0);
    O.Int(453, 2);
    O.Dbl(460, G.GradientAngle() * std::numbers::pi / 180.0);
    O.Dbl(461, G.FGradientUseCenter ? 0.0 : 1.0);
    O.Dbl(462, 0);
    for (int I = 0; I < 2; ++I) {
      O.Dbl(463, I);
      WriteColour(X, 63, G.GetGradientColorCAD(I));
    }
    O.Str(470, G.GradientName());
  }
}

void WriteImage(TContext& X, const TqdCADWipeout& W) {
  TqdDXFOutput& O = X.Out;
  X.Marker("AcDbRasterImage");
  O.Int(90, 0);
  O.Point(10, W.Point());
  O.Point(11, W.FUVector);
  O.Point(12, W.FVVector);
  O.Dbl(13, W.FSize.X);
  O.Dbl(23, W.FSize.Y);
  if (const auto* I = dynamic_cast<const TqdDXFImageEnt*>(&W)) {
    const std::uint64_t Def = I->FImageDef ? X.H(reinterpret_cast<const TqdDXFEntity*>(I->FImageDef)) : I->FImageDefHandle;
    O.Handle(340, Def);
  }
  O.Int(70, W.Flags());
  O.Int(280, W.FClipping ? 1 : 0);
  O.Int(281, 50);
  O.Int(282, 50);
  O.Int(283, 0);
  O.Int(71, W.FClipType ? W.FClipType : 1);
  O.Int(91, static_cast<int>(W.FBoundary.size()));
  for (const TFPoint& P : W.FBoundary) {
    O.Dbl(14, P.X);
    O.Dbl(24, P.Y);
  }
}

void WriteMLine(TContext& X, const TqdCADMLine& M) {
  TqdDXFOutput& O = X.Out;
  X.Marker("AcDbMline");
  const auto* S = reinterpret_cast<const TqdDXFEntity*>(M.Style());
  O.Str(2, S ? S->Name() : std::string("STANDARD"));
  O.Handle(340, S ? X.H(S) : 0);
  O.Dbl(40, M.ScaleFactor());
  O.Int(70, M.Justify());
  O.Int(71, M.Flags());
  O.Int(72, M.ItemsCount());
  int Elements = 0;
  for (int I = 0; I < M.ItemsCount(); ++I)
    if (const TqdMVertex* V = M.GetItem(I)) Elements = std::max(Elements, V->ParamsCount());
  O.Int(73, Elements);
  O.Point(10, M.StartPoint());
  O.Point(210, M.Extrusion());
  for (int I = 0; I < M.ItemsCount(); ++I) {
    const TqdMVertex* V = M.GetItem(I);
    if (!V) continue;
    O.Point(11, V->Point());
    O.Point(12, V->Direction());
    O.Point(13, V->Miter());
    for (int K = 0; K < V->ParamsCount(); ++K) {
      O.Int(74, V->GetPCount(K));
      for (int J = 0; J < V->GetPCount(K); ++J) O.Dbl(41, V->GetParam(K, J));
      O.Int(75, 0);
    }
  }
}

void WriteModeller(TContext& X, const TqdDXFRegion& R) {
  TqdDXFOutput& O = X.Out;
  X.Marker("AcDbModelerGeometry");
  O.Int(70, 1);
  const std::string& D = R.FAcisData;
  const bool Hex = !D.empty() && D.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos && D.size() % 2 == 0 &&
                   D.find('\n') == std::string::npos && D.size() > 64;
  if (D.empty()) {
    // Modeller data not read (R2013 and later keep it apart): the entity alone.
  } else if (Hex) {
    // Binary modeller data as the reader kept it: hexadecimal chunks.
    for (std::size_t P = 0; P < D.size(); P += 254) {
      O.Str(310, D.substr(P, 254));
    }
  } else {
    // Text lines; before R2007 obfuscated as the format wants (c above the space as 159 - c).
    std::size_t P = 0;
    while (P <= D.size()) {
      std::size_t E = D.find('\n', P);
      if (E == std::string::npos) E = D.size();
      std::string Line = D.substr(P, E - P);
      if (X.Rel < acR2007)
        for (char& Ch : Line)
          if (static_cast<unsigned char>(Ch) > 32) Ch = static_cast<char>(159 - static_cast<unsigned char>(Ch));
      O.Str(1, std::string_view(Line).substr(0, 255));
      for (std::size_t T = 255; T < Line.size(); T += 255) O.Str(3, std::string_view(Line).substr(T, 255));
      if (E == D.size()) break;
      P = E + 1;
    }
  }
  if (dynamic_cast<const TqdDXF3dSolid*>(&R)) {
    X.Marker("AcDb3dSolid");
    O.Handle(350, 0);
  }
}

void WriteMesh(TContext& X, const TqdDXFProxy& M) {
  TqdDXFOutput& O = X.Out;
  if (M.FDXFName != "MESH" || M.FMeshVertices.empty()) {
    X.Marker("AcDbProxyEntity");
    O.Int(90, 498);
    O.Int(91, 499);
    O.Int(95, 0);
    O.Int(70, 0);
    O.Int(92, static_cast<std::int64_t>(M.FProxyData.size()));
    O.Bytes(310, M.FProxyData);
    O.Int(93, 0);
    X.Warn("entities kept only as their graphics were written as proxies");
    return;
  }
  X.Marker("AcDbSubDMesh");
  O.Int(71, 2);
  O.Int(72, 0);
  O.Int(91, 0);
  O.Int(92, static_cast<int>(M.FMeshVertices.size()));
  for (const TFPoint& P : M.FMeshVertices) O.Point(10, P);
  O.Int(93, static_cast<int>(M.FMeshFaces.size()));
  for (std::int32_t F : M.FMeshFaces) O.Int(90, F);
  O.Int(94, 0);
  O.Int(95, 0);
}

}  // namespace dxfw
