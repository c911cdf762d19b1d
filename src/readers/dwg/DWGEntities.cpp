// The DWG reader: the type-specific fields of entities, R13 and later. Each decoder
// reads its fields in stream order (data cursor, then its own handles after the
// common ones) and writes the groups of the same entity in a DXF file. Counts that
// size loops are checked against what the object still holds.
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "DWGObjects.h"


// The name maps live in the object reader; entities reach them through these.
const std::string& DWGLayerName(const TdwgObj& O, std::uint64_t H);
const std::string& DWGStyleName(const TdwgObj& O, std::uint64_t H);
const std::string& DWGBlockName(const TdwgObj& O, std::uint64_t H);
const std::string& DWGDimStyleName(const TdwgObj& O, std::uint64_t H);
const std::string& DWGMLStyleName(const TdwgObj& O, std::uint64_t H);

void DWGReadLinePoints(TdwgObj& O, TFPoint& P1, TFPoint& P2) {
  TdwgBitCursor& D = O.D;
  if (O.V >= acR2000) {
    const bool ZZero = D.ReadBit();  // B z's are zero
    P1.X = D.ReadRD();               // RD start x
    P2.X = D.ReadDD(P1.X);           // DD end x
    P1.Y = D.ReadRD();               // RD start y
    P2.Y = D.ReadDD(P1.Y);           // DD end y
    if (!ZZero) {
      P1.Z = D.ReadRD();      // RD start z
      P2.Z = D.ReadDD(P1.Z);  // DD end z
    }
  } else {
    P1 = D.Read3BD();  // 3BD start
    P2 = D.Read3BD();  // 3BD end
  }
}

namespace {

using W_t = TdwgGroupWriter;

// Thickness and extrusion, written only when they are not the defaults.
void ThickExtr(TdwgObj& O, W_t& W) {
  const double T = O.D.ReadBT();   // BT thickness
  const TFPoint E = O.D.ReadBE();  // BE extrusion
  if (T != 0) W.Real(39, T);
  if (E.X != 0 || E.Y != 0 || E.Z != 1) W.Pt(210, E);
}

void DecodeLine(TdwgObj& O, W_t& W) {
  TFPoint P1, P2;
  DWGReadLinePoints(O, P1, P2);
  W.Str(100, "AcDbLine");
  W.Pt(10, P1);
  W.Pt(11, P2);
  ThickExtr(O, W);
}

void DecodeCircle(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbCircle");
  W.Pt(10, D.Read3BD());   // 3BD centre
  W.Real(40, D.ReadBD());  // BD radius
  ThickExtr(O, W);
}

void DecodeArc(TdwgObj& O, W_t& W) {
  DecodeCircle(O, W);
  W.Str(100, "AcDbArc");
  W.Real(50, DWGDeg(O.D.ReadBD()));  // BD start angle
  W.Real(51, DWGDeg(O.D.ReadBD()));  // BD end angle
}

void DecodePoint(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbPoint");
  TFPoint P;
  P.X = D.ReadBD();  // BD x
  P.Y = D.ReadBD();  // BD y
  P.Z = D.ReadBD();  // BD z
  W.Pt(10, P);
  ThickExtr(O, W);
  W.Real(50, DWGDeg(D.ReadBD()));  // BD x-axis angle
}

void DecodeEllipse(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbEllipse");
  W.Pt(10, D.Read3BD());   // 3BD centre
  W.Pt(11, D.Read3BD());   // 3BD major axis
  W.Pt(210, D.Read3BD());  // 3BD extrusion
  W.Real(40, D.ReadBD());  // BD axis ratio
  W.Real(41, D.ReadBD());  // BD start parameter
  W.Real(42, D.ReadBD());  // BD end parameter
}

void DecodeRay(TdwgObj& O, W_t& W) {
  W.Str(100, O.Type == 40 ? "AcDbRay" : "AcDbXline");
  W.Pt(10, O.D.Read3BD());  // 3BD point
  W.Pt(11, O.D.Read3BD());  // 3BD direction
}

void DecodeSolid(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, O.Type == 32 ? "AcDbTrace" : "AcDbSolid");
  const double Thick = D.ReadBT();  // BT thickness
  const double Elev = D.ReadBD();   // BD elevation
  for (int I = 0; I < 4; ++I) {
    TFPoint P = D.Read2RD();  // 2RD corner
    P.Z = Elev;
    W.Pt(10 + I, P);
  }
  W.Real(39, Thick);
  W.Pt(210, D.ReadBE());  // BE extrusion
}

void Decode3DFace(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbFace");
  int Flags = 0;
  if (O.V >= acR2000) {
    const bool NoFlags = D.ReadBit();  // B no flags
    const bool ZZero = D.ReadBit();    // B z is zero
    TFPoint P;
    P.X = D.ReadRD();  // RD x
    P.Y = D.ReadRD();  // RD y
    P.Z = ZZero ? 0 : D.ReadRD();  // RD z
    W.Pt(10, P);
    for (int I = 1; I < 4; ++I) {
      TFPoint Q;
      Q.X = D.ReadDD(P.X);  // DD x
      Q.Y = D.ReadDD(P.Y);  // DD y
      Q.Z = D.ReadDD(P.Z);  // DD z
      W.Pt(10 + I, Q);
      P = Q;
    }
    if (!NoFlags) Flags = D.ReadBS();  // BS invisible edges
  } else {
    for (int I = 0; I < 4; ++I) W.Pt(10 + I, D.Read3BD());  // 3BD corner
    Flags = D.ReadBS();                                     // BS invisible edges
  }
  W.Int(70, Flags);
}

// TEXT, ATTRIB and ATTDEF share these.
void TextFields(TdwgObj& O, W_t& W, int AValignCode) {
  TdwgBitCursor& D = O.D;
  TFPoint Ins, Align;
  double Elev = 0, Oblique = 0, Rot = 0, Height = 0, Width = 1, Thick = 0;
  int Gen = 0, HAlign = 0, VAlign = 0;
  TFPoint Extr{0, 0, 1};
  std::string Text;
  if (O.V >= acR2000) {
    const int F = D.ReadRC();  // RC data flags
    if (!(F & 0x01)) Elev = D.ReadRD();  // RD elevation
    Ins = D.Read2RD();                   // 2RD insertion
    Align = Ins;
    if (!(F & 0x02)) {
      Align.X = D.ReadDD(Ins.X);  // DD alignment x
      Align.Y = D.ReadDD(Ins.Y);  // DD alignment y
    }
    Extr = D.ReadBE();                    // BE extrusion
    Thick = D.ReadBT();                   // BT thickness
    if (!(F & 0x04)) Oblique = D.ReadRD();  // RD oblique
    if (!(F & 0x08)) Rot = D.ReadRD();      // RD rotation
    Height = D.ReadRD();                    // RD height
    if (!(F & 0x10)) Width = D.ReadRD();    // RD width factor
    Text = O.T();                           // TV text
    if (!(F & 0x20)) Gen = D.ReadBS();      // BS generation
    if (!(F & 0x40)) HAlign = D.ReadBS();   // BS horizontal alignment
    if (!(F & 0x80)) VAlign = D.ReadBS();   // BS vertical alignment
  } else {
    Elev = D.ReadBD();      // BD elevation
    Ins = D.Read2RD();      // 2RD insertion
    Align = D.Read2RD();    // 2RD alignment
    Extr = D.Read3BD();     // 3BD extrusion
    Thick = D.ReadBD();     // BD thickness
    Oblique = D.ReadBD();   // BD oblique
    Rot = D.ReadBD();       // BD rotation
    Height = D.ReadBD();    // BD height
    Width = D.ReadBD();     // BD width factor
    Text = O.T();           // TV text
    Gen = D.ReadBS();       // BS generation
    HAlign = D.ReadBS();    // BS horizontal alignment
    VAlign = D.ReadBS();    // BS vertical alignment
  }
  Ins.Z = Elev;
  Align.Z = Elev;
  W.Str(100, "AcDbText");
  W.Real(39, Thick);
  W.Pt(10, Ins);
  W.Real(40, Height);
  W.Str(1, Text);
  W.Real(50, DWGDeg(Rot));
  W.Real(41, Width);
  W.Real(51, DWGDeg(Oblique));
  W.Int(71, Gen);
  W.Int(72, HAlign);
  if (HAlign || VAlign) W.Pt(11, Align);
  W.Pt(210, Extr);
  if (AValignCode == 73) W.Str(100, "AcDbText");
  W.Int(AValignCode, VAlign);
}

void TextStyle(TdwgObj& O, W_t& W) {
  const std::string& S = DWGStyleName(O, O.Hd());  // H style
  if (!S.empty()) W.Str(7, S);
}

void DecodeText(TdwgObj& O, W_t& W) {
  TextFields(O, W, 73);
  TextStyle(O, W);
}

// Control characters of the stored text as the DXF form writes them.
std::string MTextContents(std::string S) {
  std::string R;
  R.reserve(S.size());
  for (std::size_t I = 0; I < S.size(); ++I) {
    const char Ch = S[I];
    if (Ch == '\t') R += "^I";
    else if (Ch == '\r' && I + 1 < S.size() && S[I + 1] == '\n') {
      R += "\\P";
      ++I;
    } else if (Ch == '\n') R += "^J";
    else R += Ch;
  }
  return R;
}

// The multi-line part of an R2018 attribute: an MTEXT without handles of its own,
// written as the "Embedded Object" groups a DXF file has after code 101.
void EmbeddedMText(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  // Its entity header, without graphics and handles: mode, reactors, flags, colour,
  // linetype scale and flags, shadow, visual styles, visibility, lineweight.
  D.Skip(2);          // BB entity mode
  (void)D.ReadBL();   // BL reactors
  D.Skip(2);          // B no extension dictionary, B binary data
  (void)O.ENC();      // ENC colour
  (void)D.ReadBD();   // BD linetype scale
  D.Skip(6);          // BB linetype, BB plot style, BB material flags
  (void)D.ReadRC();   // RC shadow flags
  D.Skip(3);          // B full, face, edge visual style
  (void)D.ReadBS();   // BS invisibility
  (void)D.ReadRC();   // RC lineweight index
  const TFPoint Ins = D.Read3BD();   // 3BD insertion point
  const TFPoint Extr = D.Read3BD();  // 3BD extrusion
  const TFPoint XDir = D.Read3BD();  // 3BD x direction
  const double RectW = D.ReadBD();   // BD rectangle width
  const double RectH = D.ReadBD();   // BD rectangle height
  const double Height = D.ReadBD();  // BD text height
  const int Attach = D.ReadBS();     // BS attachment
  const int Dir = D.ReadBS();        // BS drawing direction
  (void)D.ReadBD();                  // BD extents height
  (void)D.ReadBD();                  // BD extents width
  const std::string Text = MTextContents(O.T());  // TV contents
  const int LSStyle = D.ReadBS();    // BS line-spacing style
  const double LSFactor = D.ReadBD();  // BD line-spacing factor
  D.Skip(1);                         // B unknown
  if (D.ReadBL() & 1) {              // BL background flags
    (void)D.ReadBD();                // BD background scale
    (void)O.CMC();                   // CMC background colour
    (void)D.ReadBL();                // BL background transparency
  }
  if (D.ReadBit()) {    // B not annotative: the column data follows
    (void)D.ReadBS();   // BS class version
    D.Skip(1);          // B default flag
    (void)D.ReadBL();   // BL attachment
    (void)D.Read3BD();  // 3BD x direction
    (void)D.Read3BD();  // 3BD insertion point
    for (int I = 0; I < 4; ++I) (void)D.ReadBD();  // BD width, height, extents height, width
    const int Columns = D.ReadBS();  // BS column type
    if (Columns) {
      const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL column count
      (void)D.ReadBD();            // BD column width
      (void)D.ReadBD();            // BD gutter
      const bool AutoHeight = D.ReadBit();  // B auto height
      D.Skip(1);                   // B flow reversed
      if (!AutoHeight && Columns == 2) {
        O.Need(N, 2);
        for (std::uint32_t I = 0; I < N && D.Ok(); ++I) (void)D.ReadBD();  // BD column heights
      }
    }
  }
  const int AnnSize = D.ReadBS();  // BS annotative data size
  if (AnnSize > 0) {
    O.Need(static_cast<std::uint64_t>(AnnSize), 8);
    D.Skip(static_cast<std::int64_t>(AnnSize) * 8);  // the annotative data bytes
    (void)D.ReadBS();                                 // BS annotative flag
  }
  if (!D.Ok()) throw EdwgError("multi-line attribute cut short");
  W.Str(101, "Embedded Object");
  W.Pt(10, Ins);
  W.Real(40, Height);
  W.Real(41, RectW);
  W.Real(46, RectH);
  W.Int(71, Attach);
  W.Int(72, Dir);
  W.Str(1, Text);
  W.Int(73, LSStyle);
  W.Real(44, LSFactor);
  W.Pt(11, XDir);
  if (Extr.X != 0 || Extr.Y != 0 || Extr.Z != 1) W.Pt(210, Extr);
}

void DecodeAttrib(TdwgObj& O, W_t& W) {
  const bool Def = O.Type == 3;
  TextFields(O, W, 74);
  TdwgBitCursor& D = O.D;
  if (O.V >= acR2010) (void)D.ReadRC();  // RC version
  W_t Embedded;
  if (O.V >= acR2018 && D.ReadRC() > 1)  // RC attribute type: 2 and 4 are multi-line
    EmbeddedMText(O, Embedded);
  const std::string Tag = O.T();      // TV tag
  const int FieldLen = D.ReadBS();    // BS field length
  const int Flags = D.ReadRC();       // RC flags
  int Lock = 0;
  if (O.V >= acR2007) Lock = D.ReadBit();  // B lock position
  std::string Prompt;
  if (Def) {
    if (O.V >= acR2010) (void)D.ReadRC();  // RC version
    Prompt = O.T();                        // TV prompt
  }
  W.Str(100, Def ? "AcDbAttributeDefinition" : "AcDbAttribute");
  if (Def) W.Str(3, Prompt);
  W.Str(2, Tag);
  W.Int(70, Flags);
  W.Int(73, FieldLen);
  if (O.V >= acR2007) W.Int(280, Lock);
  W.Append(Embedded.FData);
  TextStyle(O, W);
}

void DecodeInsert(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const TFPoint Ins = D.Read3BD();  // 3BD insertion point
  TFPoint Scale{1, 1, 1};
  if (O.V >= acR2000) {
    switch (D.ReadBB()) {  // BB scale flags
      case 3: break;
      case 1:
        Scale.Y = D.ReadDD(1.0);  // DD y
        Scale.Z = D.ReadDD(1.0);  // DD z
        break;
      case 2:
        Scale.X = Scale.Y = Scale.Z = D.ReadRD();  // RD x = y = z
        break;
      default:
        Scale.X = D.ReadRD();         // RD x
        Scale.Y = D.ReadDD(Scale.X);  // DD y
        Scale.Z = D.ReadDD(Scale.X);  // DD z
    }
  } else {
    Scale = D.Read3BD();  // 3BD scale
  }
  const double Rot = D.ReadBD();     // BD rotation
  const TFPoint Extr = D.Read3BD();  // 3BD extrusion
  const bool Attribs = D.ReadBit();  // B has attributes
  std::uint32_t Owned = 0;
  if (O.V >= acR2004 && Attribs) {
    Owned = static_cast<std::uint32_t>(D.ReadBL());  // BL attributes
    O.Need(Owned, 8, O.H);
  }
  const bool Array = O.Type == 8;
  int Cols = 1, Rows = 1;
  double ColSp = 0, RowSp = 0;
  if (Array) {
    Cols = D.ReadBS();    // BS columns
    Rows = D.ReadBS();    // BS rows
    ColSp = D.ReadBD();   // BD column spacing
    RowSp = D.ReadBD();   // BD row spacing
  }
  const std::uint64_t Block = O.Hd();  // H block record
  W.Str(100, Array ? "AcDbMInsertBlock" : "AcDbBlockReference");
  W.Str(2, DWGBlockName(O, Block));
  W.Pt(10, Ins);
  W.Real(41, Scale.X);
  W.Real(42, Scale.Y);
  W.Real(43, Scale.Z);
  W.Real(50, DWGDeg(Rot));
  if (Array) {
    W.Int(70, Cols);
    W.Int(71, Rows);
    W.Real(44, ColSp);
    W.Real(45, RowSp);
  }
  W.Pt(210, Extr);
}

void DecodeVertex2D(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const int Flags = D.ReadRC();     // RC flags
  const TFPoint P = D.Read3BD();    // 3BD point
  double SW = D.ReadBD();           // BD start width
  double EW = SW;
  if (SW < 0) SW = EW = -SW;
  else EW = D.ReadBD();             // BD end width
  const double Bulge = D.ReadBD();  // BD bulge
  if (O.V >= acR2010) (void)D.ReadBL();  // BL vertex id
  const double Tangent = D.ReadBD();     // BD tangent direction
  W.Str(100, "AcDbVertex");
  W.Str(100, "AcDb2dVertex");
  W.Pt(10, P);
  if (SW != 0) W.Real(40, SW);
  if (EW != 0) W.Real(41, EW);
  if (Bulge != 0) W.Real(42, Bulge);
  W.Int(70, Flags);
  if (Flags & 2) W.Real(50, DWGDeg(Tangent));
}

void DecodeVertex3D(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  int Flags = D.ReadRC();          // RC flags
  const TFPoint P = D.Read3BD();   // 3BD point
  W.Str(100, "AcDbVertex");
  switch (O.Type) {
    case 11: W.Str(100, "AcDb3dPolylineVertex"); Flags |= 32; break;
    case 12: W.Str(100, "AcDbPolygonMeshVertex"); Flags |= 64; break;
    default: W.Str(100, "AcDbPolyFaceMeshVertex"); Flags |= 64 | 128; break;
  }
  W.Pt(10, P);
  W.Int(70, Flags);
}

void DecodeVertexFace(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbVertex");
  W.Str(100, "AcDbFaceRecord");
  W.Pt(10, TFPoint{});
  W.Int(70, 128);
  for (int I = 0; I < 4; ++I) W.Int(71 + I, static_cast<std::int16_t>(D.ReadBS()));  // BS vertex index
}

void OwnedCount(TdwgObj& O) {
  if (O.V >= acR2004) {
    const std::uint32_t N = static_cast<std::uint32_t>(O.D.ReadBL());  // BL owned vertices
    O.Need(N, 8, O.H);
  }
}

void DecodePolyline2D(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const int Flags = D.ReadBS();    // BS flags
  const int Curve = D.ReadBS();    // BS curve type
  const double SW = D.ReadBD();    // BD start width
  const double EW = D.ReadBD();    // BD end width
  const double Thick = D.ReadBT(); // BT thickness
  const double Elev = D.ReadBD();  // BD elevation
  const TFPoint Extr = D.ReadBE(); // BE extrusion
  OwnedCount(O);
  W.Str(100, "AcDb2dPolyline");
  W.Pt(10, TFPoint{0, 0, Elev});
  W.Real(39, Thick);
  W.Int(70, Flags);
  W.Real(40, SW);
  W.Real(41, EW);
  W.Int(75, Curve);
  W.Pt(210, Extr);
}

void DecodePolyline3D(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const int Spline = D.ReadRC();  // RC spline flags
  const int Closed = D.ReadRC();  // RC closed flags
  OwnedCount(O);
  W.Str(100, "AcDb3dPolyline");
  W.Pt(10, TFPoint{});
  int Flags = 8 | (Closed & 1);
  if (Spline & 3) Flags |= 4;
  W.Int(70, Flags);
  if (Spline == 1) W.Int(75, 5);
  else if (Spline == 2) W.Int(75, 6);
}

void DecodePFace(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const int NV = D.ReadBS();  // BS vertices
  const int NF = D.ReadBS();  // BS faces
  OwnedCount(O);
  W.Str(100, "AcDbPolyFaceMesh");
  W.Pt(10, TFPoint{});
  W.Int(70, 64);
  W.Int(71, NV);
  W.Int(72, NF);
}

void DecodePolyMesh(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const int Flags = D.ReadBS();  // BS flags
  const int Curve = D.ReadBS();  // BS curve type
  const int M = D.ReadBS();      // BS M vertices
  const int N = D.ReadBS();      // BS N vertices
  const int MD = D.ReadBS();     // BS M density
  const int ND = D.ReadBS();     // BS N density
  OwnedCount(O);
  W.Str(100, "AcDbPolygonMesh");
  W.Pt(10, TFPoint{});
  W.Int(70, Flags | 16);
  W.Int(71, M);
  W.Int(72, N);
  W.Int(73, MD);
  W.Int(74, ND);
  W.Int(75, Curve);
}

// The seven kinds share the dimension's common data.
void DimCommon(TdwgObj& O, W_t& W, int AKind) {
  TdwgBitCursor& D = O.D;
  if (O.V >= acR2010) (void)D.ReadRC();  // RC class version
  const TFPoint Extr = D.Read3BD();      // 3BD extrusion
  TFPoint Mid = D.Read2RD();             // 2RD text midpoint
  Mid.Z = D.ReadBD();                    // BD elevation
  const int F1 = D.ReadRC();             // RC flags
  const std::string Text = O.T();        // TV user text
  const double TextRot = D.ReadBD();     // BD text rotation
  const double HorDir = D.ReadBD();      // BD horizontal direction
  const TFPoint InsScale = D.Read3BD();  // 3BD insertion scale
  const double InsRot = D.ReadBD();      // BD insertion rotation
  int Attach = 5, LSStyle = 1;
  double LSFactor = 1, Actual = 0;
  if (O.V >= acR2000) {
    Attach = D.ReadBS();     // BS attachment
    LSStyle = D.ReadBS();    // BS line-spacing style
    LSFactor = D.ReadBD();   // BD line-spacing factor
    Actual = D.ReadBD();     // BD actual measurement
  }
  if (O.V >= acR2007) D.Skip(3);  // B unknown, flip arrow 1, flip arrow 2
  const TFPoint Clone = D.Read2RD();  // 2RD clone insertion point
  (void)InsScale;
  (void)InsRot;
  W.Str(100, "AcDbDimension");
  int Flags = AKind | 32;
  if (!(F1 & 1)) Flags |= 128;
  if (AKind == 6 && (F1 & 2)) Flags |= 64;
  W.Pt(11, Mid);
  W.Int(70, Flags);
  if (!Text.empty()) W.Str(1, Text);
  W.Real(53, DWGDeg(TextRot));
  if (HorDir != 0) W.Real(51, DWGDeg(HorDir));
  W.Pt(210, Extr);
  if (O.V >= acR2000) {
    W.Int(71, Attach);
    W.Int(72, LSStyle);
    W.Real(41, LSFactor);
    W.Real(42, Actual);
  }
  W.Pt2(12, Clone);
}

void DimHandles(TdwgObj& O, W_t& W) {
  const std::string& Style = DWGDimStyleName(O, O.Hd());  // H dimension style
  const std::string& Block = DWGBlockName(O, O.Hd());     // H anonymous block
  if (!Style.empty()) W.Str(3, Style);
  if (!Block.empty()) W.Str(2, Block);
}

void DecodeDimension(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  static const int cnstKind[7] = {6, 0, 1, 5, 2, 4, 3};  // types 20 to 26
  const int Kind = cnstKind[O.Type - 20];
  // The ordinate kind keeps its X/Y choice in a second flags byte read below.
  DimCommon(O, W, Kind);
  switch (O.Type) {
    case 20: {  // ordinate
      W.Pt(10, D.Read3BD());  // 3BD definition point
      W.Str(100, "AcDbOrdinateDimension");
      W.Pt(13, D.Read3BD());  // 3BD feature location
      W.Pt(14, D.Read3BD());  // 3BD leader end
      const int F2 = D.ReadRC();  // RC flags 2
      if (F2 & 1) W.Int(70, 6 | 32 | 64);
      break;
    }
    case 21:    // linear
    case 22: {  // aligned
      const TFPoint P13 = D.Read3BD();  // 3BD first extension point
      const TFPoint P14 = D.Read3BD();  // 3BD second extension point
      const TFPoint P10 = D.Read3BD();  // 3BD dimension line point
      const double Oblique = D.ReadBD();  // BD extension line rotation
      W.Pt(10, P10);
      W.Str(100, "AcDbAlignedDimension");
      W.Pt(13, P13);
      W.Pt(14, P14);
      if (O.Type == 21) {
        const double Rot = D.ReadBD();  // BD dimension rotation
        W.Real(50, DWGDeg(Rot));
        W.Real(52, DWGDeg(Oblique));
        W.Str(100, "AcDbRotatedDimension");
      } else {
        W.Real(52, DWGDeg(Oblique));
      }
      break;
    }
    case 23: {  // angular 3-point
      const TFPoint P10 = D.Read3BD();  // 3BD arc point
      const TFPoint P13 = D.Read3BD();  // 3BD first point
      const TFPoint P14 = D.Read3BD();  // 3BD second point
      const TFPoint P15 = D.Read3BD();  // 3BD vertex
      W.Pt(10, P10);
      W.Str(100, "AcDb3PointAngularDimension");
      W.Pt(13, P13);
      W.Pt(14, P14);
      W.Pt(15, P15);
      break;
    }
    case 24: {  // angular 2-line
      const TFPoint P16 = D.Read2RD();  // 2RD arc point
      const TFPoint P13 = D.Read3BD();  // 3BD first line start
      const TFPoint P14 = D.Read3BD();  // 3BD first line end
      const TFPoint P15 = D.Read3BD();  // 3BD second line start
      const TFPoint P10 = D.Read3BD();  // 3BD second line end
      W.Pt(10, P10);
      W.Str(100, "AcDb2LineAngularDimension");
      W.Pt(13, P13);
      W.Pt(14, P14);
      W.Pt(15, P15);
      W.Pt(16, P16);
      break;
    }
    default: {  // radius, diameter
      TFPoint P10 = D.Read3BD();  // 3BD centre (radius); chord point (diameter)
      TFPoint P15 = D.Read3BD();  // 3BD chord point (radius); far chord point (diameter)
      if (O.Type == 26) std::swap(P10, P15);
      const double Leader = D.ReadBD(); // BD leader length
      W.Pt(10, P10);
      W.Str(100, O.Type == 25 ? "AcDbRadialDimension" : "AcDbDiametricDimension");
      W.Pt(15, P15);
      W.Real(40, Leader);
    }
  }
  DimHandles(O, W);
}

void DecodeShape(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const TFPoint Ins = D.Read3BD();   // 3BD insertion point
  const double Scale = D.ReadBD();   // BD scale
  const double Rot = D.ReadBD();     // BD rotation
  const double Width = D.ReadBD();   // BD width factor
  const double Oblique = D.ReadBD(); // BD oblique
  const double Thick = D.ReadBD();   // BD thickness
  const int Number = D.ReadBS();     // BS shape number
  const TFPoint Extr = D.Read3BD();  // 3BD extrusion
  const std::string& Style = DWGStyleName(O, O.Hd());  // H style
  W.Str(100, "AcDbShape");
  W.Real(39, Thick);
  W.Pt(10, Ins);
  W.Real(40, Scale);
  W.Str(2, std::to_string(Number));
  W.Real(50, DWGDeg(Rot));
  W.Real(41, Width);
  W.Real(51, DWGDeg(Oblique));
  W.Pt(210, Extr);
  if (!Style.empty()) W.Str(7, Style);
}

void DecodeViewport(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const TqdDWGVersion V = O.V;
  W.Str(100, "AcDbViewport");
  W.Pt(10, D.Read3BD());   // 3BD centre
  W.Real(40, D.ReadBD());  // BD width
  W.Real(41, D.ReadBD());  // BD height
  std::uint32_t Frozen = 0;
  if (V >= acR2000) {
    W.Pt(17, D.Read3BD());              // 3BD view target
    W.Pt(16, D.Read3BD());              // 3BD view direction
    W.Real(51, DWGDeg(D.ReadBD()));     // BD twist angle
    W.Real(45, D.ReadBD());             // BD view height
    W.Real(42, D.ReadBD());             // BD lens length
    W.Real(43, D.ReadBD());             // BD front clip
    W.Real(44, D.ReadBD());             // BD back clip
    W.Real(50, DWGDeg(D.ReadBD()));     // BD snap angle
    W.Pt2(12, D.Read2RD());             // 2RD view centre
    W.Pt2(13, D.Read2RD());             // 2RD snap base
    W.Pt2(14, D.Read2RD());             // 2RD snap spacing
    W.Pt2(15, D.Read2RD());             // 2RD grid spacing
    W.Int(72, D.ReadBS());              // BS circle zoom
    if (V >= acR2007) (void)D.ReadBS();  // BS grid major
    Frozen = static_cast<std::uint32_t>(D.ReadBL());  // BL frozen layers
    O.Need(Frozen, 8, O.H);
    const std::int32_t Status = D.ReadBL();  // BL status flags
    W.Int(90, Status);
    if (Status & 0x20000) DWGNoteViewportOff(O);  // off
    W.Str(1, O.T());                    // TV style sheet
    W.Int(281, D.ReadRC());             // RC render mode
    D.Skip(1);                          // B UCS at origin
    W.Int(71, D.ReadBit());             // B UCS per viewport
    W.Pt(110, D.Read3BD());             // 3BD UCS origin
    W.Pt(111, D.Read3BD());             // 3BD UCS x axis
    W.Pt(112, D.Read3BD());             // 3BD UCS y axis
    W.Real(146, D.ReadBD());            // BD UCS elevation
    W.Int(79, D.ReadBS());              // BS UCS orthographic type
    if (V >= acR2004) W.Int(170, D.ReadBS());  // BS shade plot mode
    if (V >= acR2007) {
      D.Skip(1);                                      // B default lighting
      (void)D.ReadRC();                               // RC lighting type
      (void)D.ReadBD();                               // BD brightness
      (void)D.ReadBD();                               // BD contrast
      (void)O.CMC();  // CMC ambient colour
    }
  }
  if (V <= acR14) (void)O.Hd();  // H viewport entity header
  for (std::uint32_t I = 0; I < Frozen && O.H.Ok(); ++I) W.Hnd(331, O.Hd());  // H frozen layers
  if (V >= acR2000) {
    W.Hnd(340, O.Hd());                  // H clip boundary
    if (V == acR2000) (void)O.Hd();      // H viewport entity header
  }
}

void DecodeSpline(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  int Scenario = D.ReadBL();  // BL scenario
  int SFlags = 0;
  if (O.V >= acR2013) {
    SFlags = D.ReadBL();                   // BL spline flags
    const int KnotParam = D.ReadBL();      // BL knot parameter
    // From R2013 on these decide the form: the stored scenario may name the other.
    if (SFlags & 1) Scenario = 2;
    if (KnotParam == 15) Scenario = 1;
  }
  const int Degree = D.ReadBL();  // BL degree
  W.Str(100, "AcDbSpline");
  int Flags = 8;
  bool Weighted = false;
  std::uint32_t NKnots = 0, NCtrl = 0, NFit = 0;
  double KnotTol = 0, CtrlTol = 0, FitTol = 0;
  TFPoint T1, T2;
  if (Scenario == 2) {
    FitTol = D.ReadBD();  // BD fit tolerance
    T1 = D.Read3BD();     // 3BD start tangent
    T2 = D.Read3BD();     // 3BD end tangent
    NFit = static_cast<std::uint32_t>(D.ReadBL());  // BL fit points
  } else if (Scenario == 1) {
    if (D.ReadBit()) Flags |= 4;  // B rational
    if (D.ReadBit()) Flags |= 1;  // B closed
    if (D.ReadBit()) Flags |= 2;  // B periodic
    KnotTol = D.ReadBD();         // BD knot tolerance
    CtrlTol = D.ReadBD();         // BD control tolerance
    NKnots = static_cast<std::uint32_t>(D.ReadBL());  // BL knots
    NCtrl = static_cast<std::uint32_t>(D.ReadBL());   // BL control points
    Weighted = D.ReadBit();                           // B weighted
  } else {
    throw EdwgError("spline scenario " + std::to_string(Scenario));
  }
  (void)SFlags;
  O.Need(NKnots, 2);
  O.Need(NCtrl, 6);
  O.Need(NFit, 6);
  W.Int(70, Flags);
  W.Int(71, Degree);
  W.Int(72, NKnots);
  W.Int(73, NCtrl);
  W.Int(74, NFit);
  W.Real(42, KnotTol);
  W.Real(43, CtrlTol);
  W.Real(44, FitTol);
  if (Scenario == 2) {
    W.Pt(12, T1);
    W.Pt(13, T2);
  }
  for (std::uint32_t I = 0; I < NKnots && D.Ok(); ++I) W.Real(40, D.ReadBD());  // BD knot
  for (std::uint32_t I = 0; I < NCtrl && D.Ok(); ++I) {
    W.Pt(10, D.Read3BD());                  // 3BD control point
    if (Weighted) W.Real(41, D.ReadBD());   // BD weight
  }
  for (std::uint32_t I = 0; I < NFit && D.Ok(); ++I) W.Pt(11, D.Read3BD());  // 3BD fit point
}

void DecodeMText(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbMText");
  W.Pt(10, D.Read3BD());   // 3BD insertion point
  W.Pt(210, D.Read3BD());  // 3BD extrusion
  W.Pt(11, D.Read3BD());   // 3BD x direction
  W.Real(41, D.ReadBD());  // BD rectangle width
  if (O.V >= acR2007) W.Real(46, D.ReadBD());  // BD rectangle height
  W.Real(40, D.ReadBD());  // BD text height
  W.Int(71, D.ReadBS());   // BS attachment
  W.Int(72, D.ReadBS());   // BS drawing direction
  W.Real(43, D.ReadBD());  // BD extents height
  W.Real(42, D.ReadBD());  // BD extents width
  W.Str(1, MTextContents(O.T()));  // TV contents
  if (O.V >= acR2000) {
    W.Int(73, D.ReadBS());   // BS line-spacing style
    W.Real(44, D.ReadBD());  // BD line-spacing factor
    D.Skip(1);               // B unknown
  }
  if (O.V >= acR2004) {
    const int BG = D.ReadBL();  // BL background flags
    W.Int(90, BG);
    if (BG & 1) {
      W.Real(45, D.ReadBD());  // BD background scale
      (void)O.CMC();           // CMC background colour
      (void)D.ReadBL();        // BL background transparency
    }
  }
  TextStyle(O, W);
}

void DecodeLeader(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const TqdDWGVersion V = O.V;
  D.Skip(1);                        // B unknown
  const int Annot = D.ReadBS();     // BS annotation type
  const int Path = D.ReadBS();      // BS path type
  const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL points
  O.Need(N, 6);
  W.Str(100, "AcDbLeader");
  W.Int(72, Path);
  W.Int(73, Annot);
  W.Int(76, N);
  for (std::uint32_t I = 0; I < N && D.Ok(); ++I) W.Pt(10, D.Read3BD());  // 3BD point
  (void)D.Read3BD();             // 3BD end point projection
  W.Pt(210, D.Read3BD());        // 3BD extrusion
  W.Pt(211, D.Read3BD());        // 3BD x direction
  W.Pt(212, D.Read3BD());        // 3BD offset to block insertion
  if (V >= acR14) W.Pt(213, D.Read3BD());  // 3BD offset to annotation
  if (V <= acR14) (void)D.ReadBD();         // BD gap
  if (V < acR2010) {
    W.Real(40, D.ReadBD());  // BD box height
    W.Real(41, D.ReadBD());  // BD box width
  }
  W.Int(74, D.ReadBit());  // B hook line on x direction
  W.Int(71, D.ReadBit());  // B arrowhead on
  if (V <= acR14) {
    (void)D.ReadBS();  // BS arrowhead type
    (void)D.ReadBD();  // BD arrow size
    D.Skip(2);         // B, B
    (void)D.ReadBS();  // BS
  }
  (void)D.ReadBS();  // BS
  D.Skip(2);         // B, B
  W.Hnd(340, O.Hd());  // H associated annotation
  const std::string& Style = DWGDimStyleName(O, O.Hd());  // H dimension style
  if (!Style.empty()) W.Str(3, Style);
}

void DecodeTolerance(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  if (O.V <= acR14) {
    (void)D.ReadBS();  // BS unknown
    (void)D.ReadBD();  // BD height
    (void)D.ReadBD();  // BD gap
  }
  W.Str(100, "AcDbFcf");
  W.Pt(10, D.Read3BD());   // 3BD insertion point
  W.Pt(11, D.Read3BD());   // 3BD x direction
  W.Pt(210, D.Read3BD());  // 3BD extrusion
  W.Str(1, O.T());         // TV text
  const std::string& Style = DWGDimStyleName(O, O.Hd());  // H dimension style
  if (!Style.empty()) W.Str(3, Style);
}

void DecodeMLine(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const double Scale = D.ReadBD();    // BD scale
  const int Just = D.ReadRC();        // RC justification
  const TFPoint Base = D.Read3BD();   // 3BD base point
  const TFPoint Extr = D.Read3BD();   // 3BD extrusion
  const int Flags = D.ReadBS();       // BS open/closed
  const int Lines = D.ReadRC();       // RC lines
  const int N = D.ReadBS();           // BS vertices
  O.Need(static_cast<std::uint64_t>(N), 18);
  // Style handle after the vertices; the groups want the name first.
  W_t Verts;
  for (int I = 0; I < N && D.Ok(); ++I) {
    Verts.Pt(11, D.Read3BD());  // 3BD vertex
    Verts.Pt(12, D.Read3BD());  // 3BD direction
    Verts.Pt(13, D.Read3BD());  // 3BD miter direction
    for (int L = 0; L < Lines && D.Ok(); ++L) {
      const int NS = D.ReadBS();  // BS segment parameters
      O.Need(static_cast<std::uint64_t>(NS), 2);
      Verts.Int(74, NS);
      for (int K = 0; K < NS && D.Ok(); ++K) Verts.Real(41, D.ReadBD());  // BD parameter
      const int NF = D.ReadBS();  // BS fill parameters
      O.Need(static_cast<std::uint64_t>(NF), 2);
      Verts.Int(75, NF);
      for (int K = 0; K < NF && D.Ok(); ++K) Verts.Real(42, D.ReadBD());  // BD fill parameter
    }
  }
  const std::uint64_t Style = O.Hd();  // H multiline style
  W.Str(100, "AcDbMline");
  const std::string& SN = DWGMLStyleName(O, Style);
  W.Str(2, SN.empty() ? std::string("STANDARD") : SN);
  W.Hnd(340, Style);
  W.Real(40, Scale);
  W.Int(70, Just);
  W.Int(71, Flags);
  W.Int(72, N);
  W.Int(73, Lines);
  W.Pt(10, Base);
  W.Pt(210, Extr);
  W.Append(Verts.FData);
}

void DecodeLWPolyline(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const int F = D.ReadBS();  // BS flags
  double Width = 0, Elev = 0, Thick = 0;
  TFPoint Extr{0, 0, 1};
  if (F & 4) Width = D.ReadBD();     // BD constant width
  if (F & 8) Elev = D.ReadBD();      // BD elevation
  if (F & 2) Thick = D.ReadBD();     // BD thickness
  if (F & 1) Extr = D.Read3BD();     // 3BD extrusion
  const std::uint32_t NP = static_cast<std::uint32_t>(D.ReadBL());  // BL points
  std::uint32_t NB = 0, NW = 0, NI = 0;
  if (F & 16) NB = static_cast<std::uint32_t>(D.ReadBL());  // BL bulges
  if (O.V >= acR2010 && (F & 1024)) NI = static_cast<std::uint32_t>(D.ReadBL());  // BL vertex ids
  if (F & 32) NW = static_cast<std::uint32_t>(D.ReadBL());  // BL widths
  O.Need(NP, O.V >= acR2000 ? 4 : 128);
  O.Need(NB, 2);
  O.Need(NI, 2);
  O.Need(NW, 4);
  std::vector<TFPoint> Pts(NP);
  for (std::uint32_t I = 0; I < NP && D.Ok(); ++I) {
    if (I == 0 || O.V < acR2000) {
      Pts[I] = D.Read2RD();  // 2RD point
    } else {
      Pts[I].X = D.ReadDD(Pts[I - 1].X);  // DD x
      Pts[I].Y = D.ReadDD(Pts[I - 1].Y);  // DD y
    }
  }
  // Bulges and widths beyond the points are read and dropped.
  std::vector<double> Bulges(NP, 0.0);
  for (std::uint32_t I = 0; I < NB && D.Ok(); ++I) {
    const double B = D.ReadBD();  // BD bulge
    if (I < NP) Bulges[I] = B;
  }
  for (std::uint32_t I = 0; I < NI && D.Ok(); ++I) (void)D.ReadBL();  // BL vertex id
  std::vector<std::pair<double, double>> Widths(NP, {0.0, 0.0});
  for (std::uint32_t I = 0; I < NW && D.Ok(); ++I) {
    const double S = D.ReadBD();  // BD start width
    const double E = D.ReadBD();  // BD end width
    if (I < NP) Widths[I] = {S, E};
  }
  W.Str(100, "AcDbPolyline");
  W.Int(90, NP);
  W.Int(70, ((F & 512) ? 1 : 0) | ((F & 256) ? 128 : 0));
  if (F & 4) W.Real(43, Width);
  if (Elev != 0) W.Real(38, Elev);
  if (Thick != 0) W.Real(39, Thick);
  for (std::uint32_t I = 0; I < NP; ++I) {
    W.Pt2(10, Pts[I]);
    if (NW) {
      W.Real(40, Widths[I].first);
      W.Real(41, Widths[I].second);
    }
    if (NB) W.Real(42, Bulges[I]);
  }
  W.Pt(210, Extr);
}

void DecodeHatch(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const TqdDWGVersion V = O.V;
  W_t G;  // gradient groups come after the pattern in the DXF order
  if (V >= acR2004) {
    const int IsGrad = D.ReadBL();  // BL gradient flag
    (void)D.ReadBL();               // BL reserved
    const double Angle = D.ReadBD();  // BD gradient angle
    const double Shift = D.ReadBD();  // BD shift
    const int Single = D.ReadBL();    // BL single colour
    const double Tint = D.ReadBD();   // BD tint
    const std::uint32_t NC = static_cast<std::uint32_t>(D.ReadBL());  // BL colours
    O.Need(NC, 10);
    G.Int(450, IsGrad);
    G.Int(451, 0);
    G.Real(460, Angle);
    G.Real(461, Shift);
    G.Int(452, Single);
    G.Real(462, Tint);
    G.Int(453, NC);
    for (std::uint32_t I = 0; I < NC && D.Ok(); ++I) {
      G.Real(463, D.ReadBD());  // BD value
      const TqdColorCAD C = O.CMC();  // CMC colour
      if (C.Active == acIndexColor) G.Int(63, C.IndexValue());
      else G.Int(421, static_cast<std::int64_t>(SwapRedBlue(C.Color) & 0xFFFFFF));
    }
    G.Str(470, O.T());  // TV gradient name
  }
  const double Elev = D.ReadBD();     // BD elevation
  const TFPoint Extr = D.Read3BD();   // 3BD extrusion
  const std::string Name = O.T();     // TV pattern name
  const bool Solid = D.ReadBit();     // B solid fill
  const bool Assoc = D.ReadBit();     // B associative
  const std::uint32_t NPaths = static_cast<std::uint32_t>(D.ReadBL());  // BL boundary paths
  O.Need(NPaths, 4);
  W.Str(100, "AcDbHatch");
  W.Pt(10, TFPoint{0, 0, Elev});
  W.Pt(210, Extr);
  W.Str(2, Name);
  W.Int(70, Solid);
  W.Int(71, Assoc);
  W.Int(91, NPaths);
  bool Derived = false;
  for (std::uint32_t P = 0; P < NPaths && D.Ok(); ++P) {
    const int Flags = D.ReadBL();  // BL path flags
    if (Flags & 4) Derived = true;
    W.Int(92, Flags);
    if (Flags & 2) {
      const bool Bulges = D.ReadBit();  // B has bulges
      const bool Closed = D.ReadBit();  // B closed
      const std::uint32_t NV = static_cast<std::uint32_t>(D.ReadBL());  // BL vertices
      O.Need(NV, 128);
      W.Int(72, Bulges);
      W.Int(73, Closed);
      W.Int(93, NV);
      for (std::uint32_t I = 0; I < NV && D.Ok(); ++I) {
        W.Pt2(10, D.Read2RD());                  // 2RD vertex
        if (Bulges) W.Real(42, D.ReadBD());      // BD bulge
      }
    } else {
      const std::uint32_t NE = static_cast<std::uint32_t>(D.ReadBL());  // BL edges
      O.Need(NE, 8);
      W.Int(93, NE);
      for (std::uint32_t E = 0; E < NE && D.Ok(); ++E) {
        const int T = D.ReadRC();  // RC edge type
        W.Int(72, T);
        switch (T) {
          case 1:
            W.Pt2(10, D.Read2RD());  // 2RD start
            W.Pt2(11, D.Read2RD());  // 2RD end
            break;
          case 2:
            W.Pt2(10, D.Read2RD());           // 2RD centre
            W.Real(40, D.ReadBD());           // BD radius
            W.Real(50, DWGDeg(D.ReadBD()));   // BD start angle
            W.Real(51, DWGDeg(D.ReadBD()));   // BD end angle
            W.Int(73, D.ReadBit());           // B counter-clockwise
            break;
          case 3:
            W.Pt2(10, D.Read2RD());           // 2RD centre
            W.Pt2(11, D.Read2RD());           // 2RD major axis end
            W.Real(40, D.ReadBD());           // BD axis ratio
            W.Real(50, DWGDeg(D.ReadBD()));   // BD start angle
            W.Real(51, DWGDeg(D.ReadBD()));   // BD end angle
            W.Int(73, D.ReadBit());           // B counter-clockwise
            break;
          case 4: {
            W.Int(94, D.ReadBL());            // BL degree
            const bool Rational = D.ReadBit();  // B rational
            W.Int(73, Rational);
            W.Int(74, D.ReadBit());           // B periodic
            const std::uint32_t NK = static_cast<std::uint32_t>(D.ReadBL());  // BL knots
            const std::uint32_t NC = static_cast<std::uint32_t>(D.ReadBL());  // BL control points
            O.Need(NK, 2);
            O.Need(NC, 128);
            W.Int(95, NK);
            W.Int(96, NC);
            for (std::uint32_t I = 0; I < NK && D.Ok(); ++I) W.Real(40, D.ReadBD());  // BD knot
            for (std::uint32_t I = 0; I < NC && D.Ok(); ++I) {
              W.Pt2(10, D.Read2RD());                // 2RD control point
              if (Rational) W.Real(42, D.ReadBD());  // BD weight
            }
            if (V >= acR2010) {
              const std::uint32_t NF = static_cast<std::uint32_t>(D.ReadBL());  // BL fit points
              O.Need(NF, 128);
              W.Int(97, NF);
              for (std::uint32_t I = 0; I < NF && D.Ok(); ++I) W.Pt2(11, D.Read2RD());  // 2RD fit point
              if (NF) {
                W.Pt2(12, D.Read2RD());  // 2RD start tangent
                W.Pt2(13, D.Read2RD());  // 2RD end tangent
              }
            }
            break;
          }
          default: throw EdwgError("hatch edge type " + std::to_string(T));
        }
      }
    }
    const std::uint32_t NS = static_cast<std::uint32_t>(D.ReadBL());  // BL source boundaries
    O.Need(NS, 8, O.H);
    W.Int(97, NS);
    for (std::uint32_t I = 0; I < NS && O.H.Ok(); ++I) W.Hnd(330, O.Hd());  // H source boundary
  }
  W.Int(75, D.ReadBS());  // BS style
  W.Int(76, D.ReadBS());  // BS pattern type
  if (!Solid) {
    W.Real(52, DWGDeg(D.ReadBD()));  // BD angle
    W.Real(41, D.ReadBD());          // BD scale or spacing
    W.Int(77, D.ReadBit());          // B double
    const int NL = D.ReadBS();       // BS pattern lines
    O.Need(static_cast<std::uint64_t>(NL), 12);
    W.Int(78, NL);
    for (int L = 0; L < NL && D.Ok(); ++L) {
      W.Real(53, DWGDeg(D.ReadBD()));  // BD angle
      W.Pt2(43, D.Read2BD());          // 2BD origin
      W.Pt2(45, D.Read2BD());          // 2BD offset
      const int ND = D.ReadBS();       // BS dashes
      O.Need(static_cast<std::uint64_t>(ND), 2);
      W.Int(79, ND);
      for (int K = 0; K < ND && D.Ok(); ++K) W.Real(49, D.ReadBD());  // BD dash
    }
  }
  // The pixel size is there when a path is derived.
  if (Derived) W.Real(47, D.ReadBD());  // BD pixel size
  const std::uint32_t NSeeds = static_cast<std::uint32_t>(D.ReadBL());  // BL seed points
  O.Need(NSeeds, 128);
  W.Int(98, NSeeds);
  for (std::uint32_t I = 0; I < NSeeds && D.Ok(); ++I) W.Pt2(10, D.Read2RD());  // 2RD seed
  W.Append(G.FData);
}

void DecodeOle2Frame(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  const int Type = D.ReadBS();  // BS type
  int Mode = 0;
  if (O.V >= acR2000) Mode = D.ReadBS();  // BS mode
  const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL data length
  O.Need(N, 8);
  const std::string Data = D.ReadBytes(N);  // the data
  if (O.V >= acR2000) (void)D.ReadRC();     // RC unknown
  W.Str(100, "AcDbOle2Frame");
  W.Int(70, 2);
  W.Str(3, "Object");
  // The corners are the first doubles of the data, when it holds them.
  if (Data.size() >= 16 + 6 * 8) {
    double V[6];
    std::memcpy(V, Data.data() + 16, sizeof V);
    for (double& X : V)
      if (!std::isfinite(X) || std::fabs(X) > 1e101) X = 0;
    W.Pt(10, TFPoint{V[0], V[1], V[2]});
    W.Pt(11, TFPoint{V[3], V[4], V[5]});
  }
  W.Int(71, Type);
  W.Int(72, Mode);
  W.Int(90, N);
  if (!Data.empty()) W.Chunk(310, Data);
}

void DecodeImage(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbRasterImage");
  W.Int(90, D.ReadBL());    // BL class version
  W.Pt(10, D.Read3BD());    // 3BD insertion
  W.Pt(11, D.Read3BD());    // 3BD u vector
  W.Pt(12, D.Read3BD());    // 3BD v vector
  W.Pt2(13, D.Read2RD());   // 2RD size
  W.Int(70, D.ReadBS());    // BS display flags
  W.Int(280, D.ReadBit());  // B clipping
  W.Int(281, D.ReadRC());   // RC brightness
  W.Int(282, D.ReadRC());   // RC contrast
  W.Int(283, D.ReadRC());   // RC fade
  if (O.V >= acR2010) W.Int(290, D.ReadBit());  // B clip mode
  const int Clip = D.ReadBS();  // BS clip type
  W.Int(71, Clip);
  if (Clip == 1) {
    W.Int(91, 2);
    W.Pt2(14, D.Read2RD());  // 2RD corner
    W.Pt2(14, D.Read2RD());  // 2RD corner
  } else {
    const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL clip points
    O.Need(N, 128);
    W.Int(91, N);
    for (std::uint32_t I = 0; I < N && D.Ok(); ++I) W.Pt2(14, D.Read2RD());  // 2RD point
  }
  W.Hnd(340, O.Hd());  // H image definition
  W.Hnd(360, O.Hd());  // H image definition reactor
}

void DecodeWipeout(TdwgObj& O, W_t& W) {
  DecodeImage(O, W);
  W.Str(100, "AcDbWipeout");
}

// BLOCK: the name comes from the block record.
void DecodeBlock(TdwgObj& O, W_t&) { (void)O.T(); }  // TV name

// ACAD_TABLE: a block reference to the table's anonymous block, then the cells (not
// read: the block holds what is drawn).
void DecodeAcadTable(TdwgObj& O, W_t& W) {
  DecodeInsert(O, W);
  O.D.SetPosition(O.D.End());
}

// Types whose data is not decoded field by field: the common data places them.
void DecodeOpaque(TdwgObj& O, W_t&) { O.D.SetPosition(O.D.End()); }

// REGION, 3DSOLID, BODY and the surfaces: the modeller data is kept for the solids;
// what follows it (wireframe, silhouettes, a surface's own fields) is not read. From
// R2013 on the data lives in the data-segment file under the entity's handle; before
// (or without an entry there) inline: text (version 1) in blocks of obfuscated bytes,
// or binary (version 2) up to its end marker. Groups 1 carry text lines, 310 binary.
void DecodeAcis(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbModelerGeometry");
  if (const TqdSegmentedFile* F = O.V >= acR2013 ? DWGSegmentedFile(O) : nullptr) {
    TqdDataSegmentEntry E;
    if (F->GetDataEntry(F->IndexOf(O.Handle), E) && E.EntryType == etACISBin && E.Data) {
      W.Chunk(310, std::string_view(reinterpret_cast<const char*>(E.Data), E.DataSize));
      D.SetPosition(D.End());
      return;
    }
    // Without an entry the data may still be inline, as before R2013.
  }
  if (D.ReadBit()) {  // B empty
    D.SetPosition(D.End());
    return;
  }
  D.Skip(1);                       // B unknown
  const int Version = D.ReadBS();  // BS version
  if (Version == 1) {
    std::string Text;
    while (D.Ok()) {
      const std::uint64_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL block size
      // A block the object cannot hold ends the data: what came before is kept.
      if (N == 0 || N > D.BitsLeft() / 8) break;
      std::string B = D.ReadBytes(N);  // the block's bytes
      for (char& Ch : B)
        if (static_cast<unsigned char>(Ch) > 32) Ch = static_cast<char>(159 - static_cast<unsigned char>(Ch));
      Text += B;
    }
    std::size_t P = 0;
    while (P < Text.size()) {
      std::size_t E = Text.find('\n', P);
      if (E == std::string::npos) E = Text.size();
      std::string_view Line(Text.data() + P, E - P);
      if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
      if (!Line.empty()) W.Str(1, Line);
      P = E + 1;
    }
  } else if (Version == 2 && D.BitsLeft() >= 8) {
    std::string B = D.ReadBytes(D.BitsLeft() / 8);
    for (std::string_view End : {std::string_view("\016\003End\016\002of\016\004ACIS\r\004data"),
                                 std::string_view("\016\003End\016\002of\016\003ASM\r\004data")})
      if (const std::size_t At = B.find(End); At != std::string::npos) {
        B.resize(At + End.size());
        break;
      }
    W.Chunk(310, B);
  }
  D.SetPosition(D.End());
}

// Proxies: drawn from their graphics when they carry them.
void DecodeProxy(TdwgObj& O, W_t& W) {
  DWGWriteProxyGraphics(O, W);
  O.D.SetPosition(O.D.End());
}

// HELIX: a spline, then its own axis, start, radius and turns.
void DecodeHelix(TdwgObj& O, W_t& W) {
  DecodeSpline(O, W);
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbHelix");
  W.Int(90, D.ReadBL());     // BL major version
  W.Int(91, D.ReadBL());     // BL maintenance version
  W.Pt(10, D.Read3BD());     // 3BD axis base point
  W.Pt(11, D.Read3BD());     // 3BD start point
  W.Pt(12, D.Read3BD());     // 3BD axis vector
  W.Real(40, D.ReadBD());    // BD radius
  W.Real(41, D.ReadBD());    // BD turns
  W.Real(42, D.ReadBD());    // BD turn height
  W.Int(290, D.ReadBit());   // B handedness
  W.Int(280, D.ReadRC());    // RC constraint type
}

// MESH: drawn from its graphics; its vertices and face list are kept as the DXF
// form writes them (the reader of the groups checks the face indexes).
void DecodeMesh(TdwgObj& O, W_t& W) {
  DWGWriteProxyGraphics(O, W);
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbSubDMesh");
  W.Int(71, D.ReadBS());    // BS version
  W.Int(72, D.ReadBit());   // B blend crease
  const std::uint32_t Sub = static_cast<std::uint32_t>(D.ReadBL());  // BL subdivision vertices
  O.Need(Sub, 6);
  for (std::uint32_t I = 0; I < Sub && D.Ok(); ++I) (void)D.Read3BD();  // 3BD subdivision vertex
  const std::uint32_t NV = static_cast<std::uint32_t>(D.ReadBL());  // BL vertices
  O.Need(NV, 6);
  W.Int(91, 0);
  W.Int(92, NV);
  for (std::uint32_t I = 0; I < NV && D.Ok(); ++I) W.Pt(10, D.Read3BD());  // 3BD vertex
  const std::uint32_t NF = static_cast<std::uint32_t>(D.ReadBL());  // BL face list size
  O.Need(NF, 2);
  W.Int(93, NF);
  for (std::uint32_t I = 0; I < NF && D.Ok(); ++I) W.Int(90, D.ReadBL());  // BL face list item
  // Edges and creases are not kept; the rest of the data is skipped with them.
  if (!D.Ok()) throw EdwgError("mesh data cut short");
  D.SetPosition(D.End());
}

const TdwgDecoder cnstFixed[] = {
    {"", drCounted, nullptr},                      // 0
    {"TEXT", drEntity, DecodeText},                // 1
    {"ATTRIB", drSubEntity, DecodeAttrib},         // 2
    {"ATTDEF", drEntity, DecodeAttrib},            // 3
    {"BLOCK", drBlockBegin, DecodeBlock},          // 4
    {"ENDBLK", drBlockEnd, nullptr},               // 5
    {"SEQEND", drSeqend, nullptr},                 // 6
    {"INSERT", drEntity, DecodeInsert},            // 7
    {"INSERT", drEntity, DecodeInsert},            // 8 MINSERT
    {"", drCounted, nullptr},                      // 9
    {"VERTEX", drSubEntity, DecodeVertex2D},       // 10
    {"VERTEX", drSubEntity, DecodeVertex3D},       // 11
    {"VERTEX", drSubEntity, DecodeVertex3D},       // 12 mesh
    {"VERTEX", drSubEntity, DecodeVertex3D},       // 13 polyface
    {"VERTEX", drSubEntity, DecodeVertexFace},     // 14 face record
    {"POLYLINE", drEntity, DecodePolyline2D},      // 15
    {"POLYLINE", drEntity, DecodePolyline3D},      // 16
    {"ARC", drEntity, DecodeArc},                  // 17
    {"CIRCLE", drEntity, DecodeCircle},            // 18
    {"LINE", drEntity, DecodeLine},                // 19
    {"DIMENSION", drEntity, DecodeDimension},      // 20 ordinate
    {"DIMENSION", drEntity, DecodeDimension},      // 21 linear
    {"DIMENSION", drEntity, DecodeDimension},      // 22 aligned
    {"DIMENSION", drEntity, DecodeDimension},      // 23 angular 3-point
    {"DIMENSION", drEntity, DecodeDimension},      // 24 angular 2-line
    {"DIMENSION", drEntity, DecodeDimension},      // 25 radius
    {"DIMENSION", drEntity, DecodeDimension},      // 26 diameter
    {"POINT", drEntity, DecodePoint},              // 27
    {"3DFACE", drEntity, Decode3DFace},            // 28
    {"POLYLINE", drEntity, DecodePFace},           // 29
    {"POLYLINE", drEntity, DecodePolyMesh},        // 30
    {"SOLID", drEntity, DecodeSolid},              // 31
    {"TRACE", drEntity, DecodeSolid},              // 32
    {"SHAPE", drEntity, DecodeShape},              // 33
    {"VIEWPORT", drEntity, DecodeViewport},        // 34
    {"ELLIPSE", drEntity, DecodeEllipse},          // 35
    {"SPLINE", drEntity, DecodeSpline},            // 36
    {"REGION", drEntity, DecodeAcis},              // 37
    {"3DSOLID", drEntity, DecodeAcis},             // 38
    {"BODY", drEntity, DecodeAcis},                // 39
    {"RAY", drEntity, DecodeRay},                  // 40
    {"XLINE", drEntity, DecodeRay},                // 41
    {"", drCounted, nullptr},                      // 42 dictionary (an object)
    {"", drCounted, nullptr},                      // 43
    {"MTEXT", drEntity, DecodeMText},              // 44
    {"LEADER", drEntity, DecodeLeader},            // 45
    {"TOLERANCE", drEntity, DecodeTolerance},      // 46
    {"MLINE", drEntity, DecodeMLine},              // 47
};

}  // namespace

const TdwgDecoder* DWGEntityDecoder(int AType) {
  if (AType == 74) {
    static const TdwgDecoder Ole{"OLE2FRAME", drEntity, DecodeOle2Frame};
    return &Ole;
  }
  if (AType == 77) return DWGEntityDecoderByClass("LWPOLYLINE");
  if (AType == 78) return DWGEntityDecoderByClass("HATCH");
  if (AType == 498) {
    static const TdwgDecoder Proxy{"ACAD_PROXY_ENTITY", drEntity, DecodeProxy};
    return &Proxy;
  }
  if (AType < 1 || AType >= static_cast<int>(std::size(cnstFixed))) return nullptr;
  const TdwgDecoder& D = cnstFixed[AType];
  return D.Role == drCounted ? nullptr : &D;
}

void DWGDecodeProxyEntity(TdwgObj& O, TdwgGroupWriter& W) { DecodeProxy(O, W); }

const TdwgDecoder* DWGEntityDecoderByClass(std::string_view AName) {
  static const struct {
    const char* Class;
    TdwgDecoder Dec;
  } cnstByClass[] = {
      {"LWPOLYLINE", {"LWPOLYLINE", drEntity, DecodeLWPolyline}},
      {"HATCH", {"HATCH", drEntity, DecodeHatch}},
      {"IMAGE", {"IMAGE", drEntity, DecodeImage}},
      {"WIPEOUT", {"WIPEOUT", drEntity, DecodeWipeout}},
      {"OLE2FRAME", {"OLE2FRAME", drEntity, DecodeOle2Frame}},
      {"ACAD_TABLE", {"ACAD_TABLE", drEntity, DecodeAcadTable}},
      {"ARC_DIMENSION", {"ARC_DIMENSION", drEntity, DecodeOpaque}},
      {"MULTILEADER", {"MULTILEADER", drEntity, DWGDecodeMultiLeader}},
      {"MESH", {"MESH", drEntity, DecodeMesh}},
      {"HELIX", {"HELIX", drEntity, DecodeHelix}},
      {"LIGHT", {"LIGHT", drEntity, DecodeOpaque}},
      {"PDFUNDERLAY", {"PDFUNDERLAY", drEntity, DecodeOpaque}},
      {"DWFUNDERLAY", {"DWFUNDERLAY", drEntity, DecodeOpaque}},
      {"DGNUNDERLAY", {"DGNUNDERLAY", drEntity, DecodeOpaque}},
      {"SURFACE", {"SURFACE", drEntity, DecodeAcis}},
      {"PLANESURFACE", {"PLANESURFACE", drEntity, DecodeAcis}},
      {"EXTRUDEDSURFACE", {"EXTRUDEDSURFACE", drEntity, DecodeAcis}},
      {"LOFTEDSURFACE", {"LOFTEDSURFACE", drEntity, DecodeAcis}},
      {"REVOLVEDSURFACE", {"REVOLVEDSURFACE", drEntity, DecodeAcis}},
      {"SWEPTSURFACE", {"SWEPTSURFACE", drEntity, DecodeAcis}},
      {"NURBSURFACE", {"NURBSURFACE", drEntity, DecodeAcis}},
      {"MPOLYGON", {"MPOLYGON", drEntity, DecodeOpaque}},
  };
  for (const auto& E : cnstByClass)
    if (AName == E.Class) return &E.Dec;
  return nullptr;
}
