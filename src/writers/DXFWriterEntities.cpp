// Blocks and entities. Regular entities are written from their class rows; the classes
// the reader maps by hand (readers/dxf/DXFMapperList.cpp) get a part here for their
// irregular data only: polyline vertices, spline lists, text alignment, MText chunks,
// insert attributes, dimension kinds, leader vertices.
#include <cmath>
#include <typeinfo>
#include <cstring>

#include "Blocks.h"
#include "DXFConv.h"
#include "DXFWriterAreas.h"
#include "DXFWriterInternal.h"
#include "Dimensions.h"
#include "Entities.h"
#include "Faces.h"
#include "Hatches.h"
#include "MultiLeaders.h"
#include "Inserts.h"
#include "Objects.h"
#include "Others.h"
#include "Polylines.h"
#include "TableItems.h"
#include "Texts.h"
#include "Underlays.h"
#include "XMLAttribs.h"

namespace dxfw {

namespace {

template <class T> const T* As(const TqdDXFEntity& E) { return dynamic_cast<const T*>(&E); }

int Weight(double W) { return W > 0 ? static_cast<int>(std::lround(W * 100)) : static_cast<int>(W); }

std::string NameOf(const void* AItem) {
  const auto* E = static_cast<const TqdDXFEntity*>(AItem);
  return E ? E->Name() : std::string();
}

// The groups every graphical entity carries after its head.
void WriteCommon(TContext& X, const TqdDXFEntity& E, bool APaper) {
  TqdDXFOutput& O = X.Out;
  X.Marker("AcDbEntity");
  if (APaper) O.Int(67, 1);
  O.Str(8, LayerName(E));
  const std::string LT = NameOf(E.LineType());
  if (!LT.empty() && !SameNameText(LT, "BYLAYER")) O.Str(6, LT);
  const TqdColorCAD C = E.ColorCAD();
  if (C.Active == acIndexColor) {
    if (!C.IsByLayer()) O.Int(62, C.IndexValue());
  } else if (X.R2004()) {
    O.Int(62, 7);
    O.Int(420, static_cast<std::int64_t>(((C.Color & 0xFF) << 16) | (C.Color & 0xFF00) | ((C.Color >> 16) & 0xFF)));
  } else {
    O.Int(62, 7);
    X.Warn("true colours were written as colour 7 in a release without them");
  }
  if (X.R2000() && E.LineWeight() != cnstLWByLayer) O.Int(370, Weight(E.LineWeight()));
  if (X.R13() && E.LineTypeScale() != 1.0) O.Dbl(48, E.LineTypeScale());
  if (X.R13() && !E.Visibility()) O.Int(60, 1);
}

void Extrusion(TqdDXFOutput& O, const TFPoint& P) {
  if (P.X != 0 || P.Y != 0 || P.Z != 1) O.Point(210, P);
}

void WriteVertexList(TContext& X, const TqdDXFPolyline& P, std::uint64_t AOwner, bool APaper, bool A3D) {
  TqdDXFOutput& O = X.Out;
  for (int I = 0; I < P.Count(); ++I) {
    const TqdDXFVertex* V = P.GetVertex(I);
    if (!V) continue;
    O.Str(0, "VERTEX");
    O.Handle(5, X.H(V) ? X.H(V) : X.NewHandle());
    if (X.R13()) O.Handle(330, AOwner);
    WriteCommon(X, P, APaper);
    X.Marker("AcDbVertex");
    const bool Face = P.IsPolyFaceMesh();
    const bool FaceRecord = Face && V->IsPolyfaceMeshVertex();
    if (!FaceRecord) X.Marker(Face || P.IsPolygonMesh() ? "AcDbPolyFaceMeshVertex" : A3D ? "AcDb3dPolylineVertex" : "AcDb2dVertex");
    if (FaceRecord) X.Marker("AcDbFaceRecord");
    O.Point(10, V->Point());
    if (V->StartWidth() != 0) O.Dbl(40, V->StartWidth());
    if (V->EndWidth() != 0) O.Dbl(41, V->EndWidth());
    if (V->Bulge() != 0) O.Dbl(42, V->Bulge());
    O.Int(70, V->Flags());
    if (V->HasPolyFaceIndexes())
      for (int K = 0; K < 4; ++K)
        if (const int Ix = V->PolyFaceVertexIndex(K + 1)) O.Int(71 + K, Ix);
    X.Step();
  }
}

void SeqEnd(TContext& X, const TqdDXFEntity& E, std::uint64_t AOwner, bool APaper) {
  X.Out.Str(0, "SEQEND");
  X.Out.Handle(5, X.NewHandle());
  if (X.R13()) X.Out.Handle(330, AOwner);
  WriteCommon(X, E, APaper);
}

// A lightweight polyline as the heavy form (R12).
void WriteLWAsPolyline(TContext& X, const TqdDXFLWPolyline& P, std::uint64_t AOwner, bool APaper) {
  TqdDXFOutput& O = X.Out;
  O.Int(66, 1);
  O.Point(10, {0, 0, P.Elevation()});
  if (P.GetThickness() != 0) O.Dbl(39, P.GetThickness());
  O.Int(70, P.Flags() & 1);
  if (P.GlobalWidth() != 0) {
    O.Dbl(40, P.GlobalWidth());
    O.Dbl(41, P.GlobalWidth());
  }
  Extrusion(O, P.Extrusion());
  WriteExtendedData(X, P);
  for (int I = 0; I < P.Count(); ++I) {
    const TqdDXFVertex* V = P.GetVertex(I);
    if (!V) continue;
    O.Str(0, "VERTEX");
    O.Handle(5, X.H(V) ? X.H(V) : X.NewHandle());
    WriteCommon(X, P, APaper);
    O.Point(10, {V->Point().X, V->Point().Y, P.Elevation()});
    if (V->StartWidth() != 0) O.Dbl(40, V->StartWidth());
    if (V->EndWidth() != 0) O.Dbl(41, V->EndWidth());
    if (V->Bulge() != 0) O.Dbl(42, V->Bulge());
    O.Int(70, 0);
  }
  SeqEnd(X, P, AOwner, APaper);
}

void WriteTextAlign(TContext& X, const TqdDXFText& T, bool AAttrib) {
  TqdDXFOutput& O = X.Out;
  O.Int(71, T.GenerationFlags());
  O.Int(72, T.HAlign());
  if (T.HasPoint1()) O.Point(11, T.Point1());
  (void)AAttrib;
}

void WriteText(TContext& X, const TqdDXFText& T) {
  TqdDXFOutput& O = X.Out;
  const char* Last = "";
  const auto* A = As<TqdDXFAttdef>(T);
  const bool IsAttrib = As<TqdDXFAttrib>(T) != nullptr;
  if (!A) {
    WriteRows(X, T, {}, Last);
    Extrusion(X.Out, T.Extrusion());
    WriteTextAlign(X, T, false);
    X.Marker("AcDbText");
    O.Int(73, T.VAlign());
    return;
  }
  // Text rows first (the attribute's own come after its marker).
  X.Marker("AcDbText");
  O.Point(10, T.Point());
  O.Dbl(40, T.Height());
  O.Str(1, A->Value());
  if (T.Rotation() != 0) O.Dbl(50, T.Rotation());
  if (T.Scale() != 1) O.Dbl(41, T.Scale());
  if (T.ObliqueAngle() != 0) O.Dbl(51, T.ObliqueAngle());
  O.Str(7, NameOf(T.Style()) .empty() ? std::string("STANDARD") : NameOf(T.Style()));
  Extrusion(O, T.Extrusion());
  WriteTextAlign(X, T, true);
  if (!IsAttrib) {
    X.Marker("AcDbAttributeDefinition");
    O.Str(3, "");
  } else {
    X.Marker("AcDbAttribute");
  }
  O.Str(2, A->Tag());
  O.Int(70, A->Flags());
  O.Int(74, T.VAlign());
  if (X.Rel >= acR2007 && A->LockPosition()) O.Int(280, 1);
}

// MText's text in chunks of 250 bytes (never splitting a character): all but the last
// as code 3.
void WriteMTextValue(TqdDXFOutput& O, const std::string& S) {
  std::size_t P = 0;
  while (S.size() - P > 250) {
    std::size_t N = 250;
    while (N > 1 && (static_cast<unsigned char>(S[P + N]) & 0xC0) == 0x80) --N;
    O.Str(3, std::string_view(S).substr(P, N));
    P += N;
  }
  O.Str(1, std::string_view(S).substr(P));
}

void WriteMText(TContext& X, const TqdDXFMText& T) {
  TqdDXFOutput& O = X.Out;
  X.Marker("AcDbMText");
  O.Point(10, T.Point());
  O.Dbl(40, T.Height());
  O.Dbl(41, T.RectWidth());
  O.Int(71, T.Align());
  O.Int(72, 5);
  WriteMTextValue(O, T.Text());
  O.Str(7, NameOf(T.Style()).empty() ? std::string("STANDARD") : NameOf(T.Style()));
  Extrusion(O, T.Extrusion());
  if (T.HasPoint1()) O.Point(11, T.Point1());
  O.Dbl(50, T.Angle());
  O.Int(73, T.LineSpacingStyle());
  O.Dbl(44, T.LineSpacingFactor());
  // Column data lives in the embedded object (R2018) or ACAD's extended data, neither
  // of which is made here yet.
  if (T.Columns().Type != 0) X.Warn("the columns of multi-line texts were not written");
}

// MText as plain text lines (R12): formatting codes dropped, one TEXT per line.
std::string PlainMText(const std::string& S) {
  std::string R;
  for (std::size_t I = 0; I < S.size(); ++I) {
    const char C = S[I];
    if (C == '{' || C == '}') continue;
    if (C == '\\' && I + 1 < S.size()) {
      const char N = S[I + 1];
      if (N == 'P') {
        R.push_back('\n');
        ++I;
        continue;
      }
      if (N == '\\' || N == '{' || N == '}') {
        R.push_back(N);
        ++I;
        continue;
      }
      if (N == '~') {
        R.push_back(' ');
        ++I;
        continue;
      }
      if (std::strchr("LlOoKkNn", N)) {
        ++I;
        continue;
      }
      // \F..; \H..; \C..; and the like run to a semicolon.
      const std::size_t Semi = S.find(';', I);
      if (std::strchr("FfHhCcTtQqWwAapS", N) && Semi != std::string::npos) {
        if (N == 'S') R += S.substr(I + 2, Semi - I - 2);
        I = Semi;
        continue;
      }
      continue;
    }
    R.push_back(C);
  }
  return R;
}

void WriteSpline(TContext& X, const TqdDXFSpline& S) {
  TqdDXFOutput& O = X.Out;
  const char* Last = "";
  // Points and numbers of the rows that the lists below and the helix part write.
  WriteRows(X, S, {10, 11, 12, 13, 40, 41, 42, 290}, Last);
  O.Int(72, S.Knots().Count());
  O.Int(73, S.Controls().Count());
  O.Int(74, S.Fit().Count());
  if (S.Fit().Count() > 0) {
    O.Point(12, S.BeginningTangent());
    O.Point(13, S.EndingTangent());
  }
  for (int I = 0; I < S.Knots().Count(); ++I) O.Dbl(40, S.Knots()[I]);
  const bool Weighted = S.Weights().Count() == S.Controls().Count();
  for (int I = 0; I < S.Controls().Count(); ++I) {
    O.Point(10, S.Controls()[I]);
    if (Weighted) O.Dbl(41, S.Weights()[I]);
  }
  for (int I = 0; I < S.Fit().Count(); ++I) O.Point(11, S.Fit()[I]);
  if (const auto* H = As<TqdCADHelix>(S)) {
    X.Marker("AcDbHelix");
    O.Int(90, 29);
    O.Int(91, 63);
    O.Point(10, H->Point());
    O.Point(11, H->StartPoint());
    O.Point(12, {0, 0, 1});
    O.Dbl(40, H->Radius());
    O.Dbl(41, H->Turns());
    O.Dbl(42, H->TurnHeight());
    O.Int(290, H->Clockwise() ? 0 : 1);
    O.Int(280, 1);
  }
}

void WriteInsert(TContext& X, const TqdDXFInsert& I) {
  TqdDXFOutput& O = X.Out;
  const char* Last = "";
  if (I.Count() > 0) {
    X.Marker("AcDbBlockReference");
    Last = "AcDbBlockReference";
    O.Int(66, 1);
  }
  if (!I.Block()) X.Warn("inserts of missing blocks were written with the name they were read with");
  WriteRows(X, I, {}, Last);
  Extrusion(O, I.Extrusion());
}

void WriteDimension(TContext& X, const TqdDXFDimension& D) {
  TqdDXFOutput& O = X.Out;
  const char* Last = "";
  X.Marker("AcDbDimension");
  if (X.R2000()) O.Int(280, 0);
  O.Str(2, D.Block() ? D.Block()->Name() : std::string());
  O.Point(10, D.FDefPoint);
  O.Point(11, D.FMiddlePoint);
  O.Point(12, D.Point());
  O.Int(70, D.Flags());
  if (!D.TextOverride().empty()) O.Str(1, D.TextOverride());
  if (D.TextRotation() != 0) O.Dbl(53, D.TextRotation());
  if (D.Angle() != 0) O.Dbl(54, D.Angle());
  if (D.FMeasurement != 0 && X.R2000()) O.Dbl(42, D.FMeasurement);
  Extrusion(O, D.Extrusion());
  double StyleRow = 0;
  (void)StyleRow;
  const TqdDXFEntity* S = reinterpret_cast<const TqdDXFEntity*>(D.Style());
  O.Str(3, S ? S->Name() : X.C.HeadVarStruct().DimStyle);
  switch (D.DimType()) {
    case 0:
    case 1:
      X.Marker("AcDbAlignedDimension");
      O.Point(13, D.FLinDefPoint1);
      O.Point(14, D.FLinDefPoint2);
      if (D.DimType() == 0) {
        if (std::isfinite(D.FDimLineAngle)) O.Dbl(50, D.FDimLineAngle);
        X.Marker("AcDbRotatedDimension");
      }
      break;
    case 2:
      X.Marker("AcDb2LineAngularDimension");
      O.Point(13, D.FLinDefPoint1);
      O.Point(14, D.FLinDefPoint2);
      O.Point(15, D.FRadDefPoint);
      O.Point(16, D.FArcDefPoint);
      break;
    case 3:
      X.Marker("AcDbDiametricDimension");
      O.Point(15, D.FRadDefPoint);
      break;
    case 4:
      X.Marker("AcDbRadialDimension");
      O.Point(15, D.FRadDefPoint);
      break;
    case 5:
      X.Marker("AcDb3PointAngularDimension");
      O.Point(13, D.FLinDefPoint1);
      O.Point(14, D.FLinDefPoint2);
      O.Point(15, D.FRadDefPoint);
      break;
    case 6:
      X.Marker("AcDbOrdinateDimension");
      O.Point(13, D.FLinDefPoint1);
      O.Point(14, D.FLinDefPoint2);
      break;
    default:
      O.Point(13, D.FLinDefPoint1);
      O.Point(14, D.FLinDefPoint2);
      O.Point(15, D.FRadDefPoint);
      O.Point(16, D.FArcDefPoint);
      break;
  }
}

void WriteLeader(TContext& X, const TqdDXFLeader& L) {
  TqdDXFOutput& O = X.Out;
  X.Marker("AcDbLeader");
  const TqdDXFEntity* S = reinterpret_cast<const TqdDXFEntity*>(L.DimStyle());
  O.Str(3, S ? S->Name() : X.C.HeadVarStruct().DimStyle);
  O.Int(71, L.FArrowhead ? 1 : 0);
  O.Int(72, L.IsSpline() ? 1 : 0);
  O.Int(73, L.FAnnotationType);
  O.Int(74, L.FHookDirection);
  O.Int(75, L.FHookLine);
  O.Dbl(40, L.FAnnotationHeight);
  O.Dbl(41, L.FAnnotationWidth);
  O.Int(76, L.Controls().Count());
  for (int I = 0; I < L.Controls().Count(); ++I) O.Point(10, L.Controls()[I]);
  Extrusion(O, L.Extrusion());
  if (L.FAnnotationHandle && X.R2000()) O.Handle(340, L.FAnnotationHandle);
  O.Point(211, L.FHookVector);
}

}  // namespace

const char* EntityTypeName(const TContext& X, const TqdDXFEntity& E) {
  // The most frequent classes by exact type first: the casts below walk the hierarchy.
  const std::type_info& T = typeid(E);
  if (T == typeid(TqdDXFLine)) return "LINE";
  if (T == typeid(TqdDXFCircle)) return "CIRCLE";
  if (T == typeid(TqdDXFArc)) return "ARC";
  if (T == typeid(TqdDXFText)) return "TEXT";
  if (T == typeid(TqdDXFInsert)) return "INSERT";
  if (As<TqdDXFLWPolyline>(E)) return X.R13() ? "LWPOLYLINE" : "POLYLINE";
  if (As<TqdDXFPolyline>(E)) return "POLYLINE";
  if (As<TqdDXFLeader>(E)) return X.R13() ? "LEADER" : "";
  if (As<TqdCADHelix>(E)) return X.Rel >= acR2007 ? "HELIX" : X.R13() ? "SPLINE" : "";
  if (As<TqdDXFSpline>(E)) return X.R13() ? "SPLINE" : "";
  if (As<TqdDXFEllipse>(E)) return X.R13() ? "ELLIPSE" : "";
  if (As<TqdDXFArc>(E)) return "ARC";
  if (As<TqdDXFCircle>(E)) return "CIRCLE";
  if (As<TqdDXFTrace>(E)) return "TRACE";
  if (As<TqdDXF3dFace>(E)) return "3DFACE";
  if (As<TqdDXFSolid>(E)) return "SOLID";
  if (As<TqdDXFXline>(E)) return X.R13() ? "XLINE" : "";
  if (As<TqdDXFRay>(E)) return X.R13() ? "RAY" : "";
  if (As<TqdDXFLine>(E)) return "LINE";
  if (As<TqdDXFPoint>(E)) return "POINT";
  if (As<TqdDXFTolerance>(E)) return X.R13() ? "TOLERANCE" : "";
  if (As<TqdDXFMText>(E)) return X.R13() ? "MTEXT" : "TEXT";
  if (As<TqdDXFAttrib>(E)) return "ATTRIB";
  if (As<TqdDXFAttdef>(E)) return "ATTDEF";
  if (As<TqdDXFShape>(E)) return "SHAPE";
  if (As<TqdDXFText>(E)) return "TEXT";
  if (As<TqdDXFDimension>(E)) return "DIMENSION";
  if (As<TqdDXFAcadTable>(E)) return "INSERT";
  if (As<TqdCADMLine>(E)) return X.R13() ? "MLINE" : "";
  if (As<TqdCADPolyPolygon>(E)) return X.R13() ? "HATCH" : "";
  if (As<TqdDXFImageEnt>(E)) return X.R13() ? "IMAGE" : "";
  if (As<TqdCADWipeout>(E)) return X.R13() ? "WIPEOUT" : "";
  if (As<TqdDXFInsert>(E)) return "INSERT";
  if (As<TqdDXFViewport>(E)) return "VIEWPORT";
  if (As<TqdDXFMultiLeader>(E)) return X.R2000() ? "MULTILEADER" : "";
  if (const auto* R = As<TqdDXFRegion>(E)) {
    if (!X.R13()) return "";
    // Surfaces keep the name they were read under; those made by sweeping, lofting,
    // extruding or revolving lose their construction data (not kept) and are plain
    // surfaces.
    if (R->FDXFName.size() > 7 && R->FDXFName.ends_with("SURFACE") && R->FDXFName != "PLANESURFACE") return "SURFACE";
    if (!R->FDXFName.empty()) return R->FDXFName.c_str();
    return As<TqdDXF3dSolid>(E) ? "3DSOLID" : As<TqdDXFBody>(E) ? "BODY" : "REGION";
  }
  if (const auto* P = As<TqdDXFProxy>(E)) {
    if (P->FDXFName == "MESH" && X.Rel >= acR2010 && !P->FMeshVertices.empty()) return "MESH";
    // Anything else as a proxy with the graphics it was drawn from.
    if (X.R2000()) return "ACAD_PROXY_ENTITY";
  }
  if (As<TqdDXFOle2Frame>(E)) return X.R13() ? "OLE2FRAME" : "";
  if (const auto* U = As<TqdCADUnderlay>(E)) {
    if (!X.R2000()) return "";
    return U->FDXFName == "DWFUNDERLAY" ? "DWFUNDERLAY" : U->FDXFName == "DGNUNDERLAY" ? "DGNUNDERLAY" : "PDFUNDERLAY";
  }
  return "";
}

void WriteEntity(TContext& X, const TqdDXFEntity& E, std::uint64_t AOwner) {
  const char* Type = EntityTypeName(X, E);
  if (!*Type) {
    X.Warn(std::string(E.ClassName() + 3) + " items were not written: " +
           (X.R13() ? "this writer does not write them yet" : "R12 has no such entity"));
    return;
  }
  TqdDXFOutput& O = X.Out;
  const bool Paper = E.PaperSpace() || X.InPaper;
  WriteHead(X, Type, E, AOwner);
  WriteCommon(X, E, Paper);
  const char* Last = "";
  const std::type_info& T = typeid(E);
  if (T == typeid(TqdDXFLine) || T == typeid(TqdDXFCircle) || T == typeid(TqdDXFArc)) {
    WriteRows(X, E, {}, Last);
  } else if (T == typeid(TqdDXFText)) {
    WriteText(X, static_cast<const TqdDXFText&>(E));
  } else if (const auto* LW = As<TqdDXFLWPolyline>(E)) {
    if (!X.R13()) {
      WriteLWAsPolyline(X, *LW, AOwner, Paper);
      return;
    }
    X.Marker("AcDbPolyline");
    O.Int(90, LW->Count());
    O.Int(70, LW->Flags() & 0xFF);
    if (LW->GlobalWidth() != 0) O.Dbl(43, LW->GlobalWidth());
    if (LW->Elevation() != 0) O.Dbl(38, LW->Elevation());
    if (LW->GetThickness() != 0) O.Dbl(39, LW->GetThickness());
    for (int I = 0; I < LW->Count(); ++I) {
      const TqdDXFVertex* V = LW->GetVertex(I);
      if (!V) continue;
      O.Point(10, V->Point(), false);
      if (V->StartWidth() != 0 || V->EndWidth() != 0) {
        O.Dbl(40, V->StartWidth());
        O.Dbl(41, V->EndWidth());
      }
      if (V->Bulge() != 0) O.Dbl(42, V->Bulge());
    }
    Extrusion(O, LW->Extrusion());
  } else if (const auto* P = As<TqdDXFPolyline>(E)) {
    const bool Is3D = (P->Flags() & 8) != 0;
    X.Marker(P->IsPolyFaceMesh() ? "AcDbPolyFaceMesh" : P->IsPolygonMesh() ? "AcDbPolygonMesh" : Is3D ? "AcDb3dPolyline" : "AcDb2dPolyline");
    O.Int(66, 1);
    O.Point(10, {0, 0, P->Elevation()});
    if (P->GetThickness() != 0) O.Dbl(39, P->GetThickness());
    O.Int(70, P->Flags());
    if (P->StartWidth() != 0) O.Dbl(40, P->StartWidth());
    if (P->EndWidth() != 0) O.Dbl(41, P->EndWidth());
    if (P->MeshM() || P->MeshN()) {
      O.Int(71, P->MeshM());
      O.Int(72, P->MeshN());
    }
    Extrusion(O, P->Extrusion());
    WriteExtendedData(X, E);
    WriteVertexList(X, *P, X.H(&E), Paper, Is3D);
    SeqEnd(X, E, X.H(&E), Paper);
    X.Step();
    return;
  } else if (const auto* L = As<TqdDXFLeader>(E)) {
    WriteLeader(X, *L);
  } else if (const auto* S = As<TqdDXFSpline>(E)) {
    if (As<TqdCADHelix>(E) && X.Rel < acR2007) X.Warn("helixes were written as splines in a release without them");
    WriteSpline(X, *S);
  } else if (const auto* Tol = As<TqdDXFTolerance>(E)) {
    X.Marker("AcDbFcf");
    const TqdDXFEntity* St = reinterpret_cast<const TqdDXFEntity*>(Tol->DimStyle());
    O.Str(3, St ? St->Name() : X.C.HeadVarStruct().DimStyle);
    O.Point(10, Tol->Point());
    O.Str(1, Tol->Text());
    Extrusion(O, Tol->Extrusion());
    O.Point(11, Tol->Direction());
  } else if (const auto* M = As<TqdDXFMText>(E)) {
    if (X.R13()) {
      WriteMText(X, *M);
    } else {
      // Down-converted: one text with the lines joined; formatting is lost.
      X.Warn("multi-line texts were written as single-line texts (R12)");
      std::string T = PlainMText(M->Text());
      for (char& C : T)
        if (C == '\n') C = ' ';
      O.Point(10, M->Point());
      O.Dbl(40, M->Height());
      O.Str(1, T);
      if (M->Angle() != 0) O.Dbl(50, M->Angle());
      O.Str(7, NameOf(M->Style()).empty() ? std::string("STANDARD") : NameOf(M->Style()));
    }
  } else if (const auto* Sh = As<TqdDXFShape>(E)) {
    X.Marker("AcDbShape");
    O.Point(10, Sh->Point());
    O.Dbl(40, Sh->Height());
    O.Str(2, Sh->ShapeName());
    if (Sh->Rotation() != 0) O.Dbl(50, Sh->Rotation());
    if (Sh->Scale() != 1) O.Dbl(41, Sh->Scale());
    if (Sh->ObliqueAngle() != 0) O.Dbl(51, Sh->ObliqueAngle());
    Extrusion(O, Sh->Extrusion());
  } else if (const auto* T = As<TqdDXFText>(E)) {
    WriteText(X, *T);
  } else if (const auto* D = As<TqdDXFDimension>(E)) {
    WriteDimension(X, *D);
  } else if (const auto* ML = As<TqdCADMLine>(E)) {
    WriteMLine(X, *ML);
  } else if (const auto* I = As<TqdDXFInsert>(E)) {
    if (As<TqdDXFAcadTable>(E)) X.Warn("tables were written as inserts of their blocks");
    WriteInsert(X, *I);
    WriteExtendedData(X, E);
    if (I->Count() > 0) {
      for (int K = 0; K < I->Count(); ++K)
        if (const TqdDXFEntity* A = I->GetEntity(K)) WriteEntity(X, *A, X.H(&E));
      SeqEnd(X, E, X.H(&E), Paper);
    }
    X.Step();
    return;
  } else if (const auto* H = As<TqdCADPolyPolygon>(E)) {
    if (As<TqdCADMPolygon>(E)) X.Warn("multi-polygons were written as hatches");
    WriteHatch(X, *H);
  } else if (const auto* W = As<TqdCADWipeout>(E)) {
    WriteImage(X, *W);
  } else if (const auto* Rg = As<TqdDXFRegion>(E)) {
    if (Rg->FDXFName.size() > 7 && Rg->FDXFName.ends_with("SURFACE") && Rg->FDXFName != "PLANESURFACE")
      X.Warn("swept, lofted, extruded and revolved surfaces were written as plain surfaces");
    WriteModeller(X, *Rg);
    if (std::string_view(Type).ends_with("SURFACE")) {
      X.Marker("AcDbSurface");
      O.Int(71, 0);
      O.Int(72, 0);
      if (std::string_view(Type) == "PLANESURFACE") X.Marker("AcDbPlaneSurface");
    }
  } else if (const auto* Ole = As<TqdDXFOle2Frame>(E)) {
    // The frame and the object's data chunks as the reader kept them (hexadecimal).
    X.Marker("AcDbOle2Frame");
    O.Int(70, 2);
    O.Str(3, "");
    O.Point(10, Ole->Point());
    O.Point(11, Ole->FPoint1);
    O.Int(71, 2);
    O.Int(72, 0);
    O.Int(73, 2);
    // The kept data may start with the frame's text: the hexadecimal data is what follows.
    std::string_view Hex(Ole->FData);
    const std::size_t Cut = Hex.find_last_not_of("0123456789ABCDEFabcdef");
    if (Cut != std::string_view::npos) Hex.remove_prefix(Cut + 1);
    if (Hex.size() % 2) Hex.remove_suffix(1);
    O.Int(90, static_cast<std::int64_t>(Hex.size() / 2));
    for (std::size_t P = 0; P < Hex.size(); P += 254) O.Str(310, Hex.substr(P, 254));
    O.Str(1, "OLE");
  } else if (const auto* U = As<TqdCADUnderlay>(E)) {
    if (const auto* Def = reinterpret_cast<const TqdDXFEntity*>(U->Definition()))
      X.UnderlayDefinitionTypes[Def] = std::string(std::string_view(Type).substr(0, 3)) + "DEFINITION";
    X.Marker("AcDbUnderlayReference");
    O.Handle(340, U->Definition() ? X.H(reinterpret_cast<const TqdDXFEntity*>(U->Definition())) : U->FDefinitionHandle);
    O.Point(10, U->Point());
    O.Dbl(41, U->FScale.X);
    O.Dbl(42, U->FScale.Y);
    O.Dbl(43, U->FScale.Z);
    O.Dbl(50, U->FRotation);
    Extrusion(O, U->Extrusion());
    O.Int(280, U->FUnderlayFlags);
    O.Int(281, U->FContrast);
    O.Int(282, U->FFade);
    for (const TFPoint& P : U->FClipBoundary) {
      O.Dbl(11, P.X);
      O.Dbl(21, P.Y);
    }
  } else if (const auto* Px = As<TqdDXFProxy>(E)) {
    WriteMesh(X, *Px);
  } else if (const auto* ML = As<TqdDXFMultiLeader>(E)) {
    WriteMultiLeader(X, *ML);
  } else if (const auto* V = As<TqdDXFViewport>(E)) {
    WriteRows(X, *V, {}, Last);
  } else {
    WriteRows(X, E, {}, Last);
    // Classes whose rows give no marker of their own (points).
    if (!*Last) {
      if (As<TqdDXFPoint>(E)) {
        X.Marker("AcDbPoint");
        O.Point(10, static_cast<const TqdDXFPoint&>(E).Point());
      }
    }
  }
  WriteExtendedData(X, E);
  X.Step();
}

namespace {

void WriteBlockEntities(TContext& X, const TqdDXFBlock& B, std::uint64_t ARecord) {
  for (int I = 0; I < B.Count(); ++I)
    if (const TqdDXFEntity* E = B.GetEntity(I)) WriteEntity(X, *E, ARecord);
}

}  // namespace

void WriteBlocks(TContext& X) {
  TqdDXFOutput& O = X.Out;
  O.Str(0, "SECTION");
  O.Str(2, "BLOCKS");
  const TqdDXFEntity* S = X.C.GetSection(csBlocks);
  for (int I = 0; S && I < S->Count(); ++I) {
    const auto* B = dynamic_cast<const TqdDXFBlock*>(S->GetEntity(I));
    if (!B) continue;
    const bool Model = B == X.ModelBlock;
    const bool Paper = B == X.PaperBlock;
    const bool Layout = B->Layout() != nullptr || Model || Paper;
    if (!X.R13() && Layout) {
      if (!Model && !Paper && B->Count() > 0) X.Warn("layouts beyond the first paper space were left out (R12)");
      continue;
    }
    const std::uint64_t Rec = X.RecordOf.count(B) ? X.RecordOf[B] : X.H(B);
    WriteHead(X, "BLOCK", *B, Rec);
    X.Marker("AcDbEntity");
    if (B->Layout() && !Model) O.Int(67, 1);
    O.Str(8, LayerName(*B));
    X.Marker("AcDbBlockBegin");
    O.Str(2, BlockName(X, *B));
    O.Int(70, B->Flags());
    O.Point(10, B->Offset());
    O.Str(3, BlockName(X, *B));
    O.Str(1, B->XrefPath());
    if (X.R2000() && !B->Description().empty()) O.Str(4, B->Description());
    WriteExtendedData(X, *B);
    // The model space and the first paper space keep their entities in ENTITIES.
    if (!Model && !Paper) WriteBlockEntities(X, *B, Rec);
    O.Str(0, "ENDBLK");
    O.Handle(5, X.NewHandle());
    if (X.R13()) O.Handle(330, Rec);
    X.Marker("AcDbEntity");
    if (B->Layout() && !Model) O.Int(67, 1);
    O.Str(8, LayerName(*B));
    X.Marker("AcDbBlockEnd");
  }
  O.Str(0, "ENDSEC");
}

void WriteEntities(TContext& X) {
  TqdDXFOutput& O = X.Out;
  O.Str(0, "SECTION");
  O.Str(2, "ENTITIES");
  for (const TqdDXFBlock* B : {X.ModelBlock, X.PaperBlock}) {
    if (!B) continue;
    const std::uint64_t Rec = X.RecordOf.count(B) ? X.RecordOf[B] : X.H(B);
    X.InPaper = B == X.PaperBlock;
    WriteBlockEntities(X, *B, Rec);
    X.InPaper = false;
  }
  O.Str(0, "ENDSEC");
}

}  // namespace dxfw
