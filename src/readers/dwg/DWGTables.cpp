// DWG decoders of the table entries (layers, linetypes, styles, view ports,
// dimension styles, block headers) and of the non-graphical objects
// (dictionaries, groups, multiline styles, records, layouts, ...), each writing
// the groups the DXF reader takes for the same item.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "DWGObjectReader.h"
#include "DWGObjects.h"
#include <map>
#include <vector>

// ---------------------------------------------------------------- tables

namespace {

using W_t = TdwgGroupWriter;

// Controls: BL entries, then their handles.
void DecodeControl(TdwgObj& O, TdwgGroupWriter& W) {
  const std::uint32_t N = static_cast<std::uint32_t>(O.D.ReadBL());  // BL entries
  if (O.Type == 68 && O.V >= acR2000) (void)O.D.ReadRC();            // RC more handles
  O.Need(N, 8, O.H);
  W.HndAlways(5, O.Handle);
  W.Str(330, "0");
  W.Int(70, N);
  if (O.Type == 48) {
    for (std::uint32_t I = 0; I < N && O.H.Ok(); ++I) {
      const std::uint64_t H = O.Hd();  // H entries
      if (O.Ctx) O.Ctx->FBlockEntries.push_back(H);
    }
  }
}

void DecodeLayer(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  int Flags = O.EntryFlags;
  bool Off = false, Plot = true;
  int LW = -3;
  if (O.V >= acR2000) {
    const int F = D.ReadBS();  // BS flags
    if (F & 1) Flags |= 1;
    Off = (F & 2) != 0;
    if (F & 4) Flags |= 2;
    if (F & 8) Flags |= 4;
    Plot = (F & 16) != 0;
    LW = DWGLineWeightGroup((F >> 5) & 0x1F);
  } else {
    if (D.ReadBit()) Flags |= 1;  // B frozen
    Off = D.ReadBit();            // B off
    if (D.ReadBit()) Flags |= 2;  // B frozen in new viewports
    if (D.ReadBit()) Flags |= 4;  // B locked
  }
  const TqdColorCAD C = O.CMC();  // CMC colour
  if (O.V >= acR2000) (void)O.Hd();  // H plot style
  if (O.V >= acR2007) (void)O.Hd();  // H material
  const std::uint64_t LT = O.Hd();   // H linetype
  if (O.Ctx) O.Ctx->FLayers[O.Handle] = O.Name;
  W.Str(100, "AcDbLayerTableRecord");
  W.Str(2, O.Name);
  W.Int(70, Flags);
  int Index = C.Active == acIndexColor ? C.IndexValue() : 7;
  if (Index <= 0 || Index > 255) Index = 7;
  W.Int(62, Off ? -Index : Index);
  if (C.Active != acIndexColor) W.Int(420, static_cast<std::int64_t>(SwapRedBlue(C.Color) & 0xFFFFFF));
  const std::string& L = O.Ctx ? TdwgObjectReader::Find(O.Ctx->FLTypes, LT) : O.Name;
  W.Str(6, L.empty() ? std::string("CONTINUOUS") : L);
  if (O.V >= acR2000) {
    W.Int(290, Plot ? 1 : 0);
    W.Int(370, LW);
  }
}

void DecodeLType(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  const std::string Desc = O.T();  // TV description
  const double Length = D.ReadBD();  // BD pattern length
  const int Align = D.ReadRC();      // RC alignment
  const int N = D.ReadRC();          // RC dashes
  struct TDash {
    double Len, X, Y, Scale, Rot;
    int Shape, Flags;
  };
  std::vector<TDash> Dashes;
  bool Texts = false;
  for (int I = 0; I < N && D.Ok(); ++I) {
    TDash Dh;
    Dh.Len = D.ReadBD();    // BD length
    Dh.Shape = D.ReadBS();  // BS shape number (text offset)
    Dh.X = D.ReadRD();      // RD x offset
    Dh.Y = D.ReadRD();      // RD y offset
    Dh.Scale = D.ReadBD();  // BD scale
    Dh.Rot = D.ReadBD();    // BD rotation
    Dh.Flags = D.ReadBS();  // BS shape flags
    if (Dh.Flags & 2) Texts = true;
    Dashes.push_back(Dh);
  }
  std::string Area;
  const std::size_t AreaSize = O.V >= acR2007 ? 512 : 256;
  if (O.V < acR2007 || Texts) Area = D.ReadBytes(AreaSize);  // the text area
  if (O.Ctx) O.Ctx->FLTypes[O.Handle] = O.Name;
  W.Str(100, "AcDbLinetypeTableRecord");
  W.Str(2, O.Name);
  W.Int(70, O.EntryFlags);
  W.Str(3, Desc);
  W.Int(72, Align ? Align : 65);
  W.Int(73, static_cast<int>(Dashes.size()));
  W.Real(40, Length);
  for (const TDash& Dh : Dashes) {
    const std::uint64_t Style = O.Hd();  // H shape style
    W.Real(49, Dh.Len);
    W.Int(74, Dh.Flags);
    if (Dh.Flags & 6) {
      W.Int(75, (Dh.Flags & 2) ? 0 : Dh.Shape);
      W.Hnd(340, Style);
      W.Real(46, Dh.Scale);
      W.Real(50, DWGDeg(Dh.Rot));
      W.Real(44, Dh.X);
      W.Real(45, Dh.Y);
    }
    if (Dh.Flags & 2) {
      // The text starts at the dash's offset and ends at a NUL or the area's end.
      std::string Text;
      const std::size_t Off = static_cast<std::uint16_t>(Dh.Shape);
      if (Off < Area.size()) {
        if (O.V >= acR2007) {
          std::size_t E = Off;
          while (E + 1 < Area.size() && (Area[E] || Area[E + 1])) E += 2;
          Text = UTF16LEToUTF8(reinterpret_cast<const std::uint8_t*>(Area.data() + Off), (E - Off) / 2);
        } else {
          const std::size_t E = Area.find('\0', Off);
          Text = Area.substr(Off, (E == std::string::npos ? Area.size() : E) - Off);
        }
      }
      W.Str(9, Text);
    }
  }
}

void DecodeStyle(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  int Flags = O.EntryFlags;
  if (D.ReadBit()) Flags |= 4;  // B vertical
  if (D.ReadBit()) Flags |= 1;  // B shape file
  const double Fixed = D.ReadBD();   // BD fixed height
  const double Width = D.ReadBD();   // BD width factor
  const double Oblique = D.ReadBD(); // BD oblique angle
  const int Gen = D.ReadRC();        // RC generation
  const double Last = D.ReadBD();    // BD last height
  const std::string Font = O.T();    // TV font file
  const std::string Big = O.T();     // TV big-font file
  if (O.Ctx) O.Ctx->FStyles[O.Handle] = O.Name;
  W.Str(100, "AcDbTextStyleTableRecord");
  // The name is written with the table: unnamed (shape-file) styles get one first.
  W.Int(70, Flags);
  W.Real(40, Fixed);
  W.Real(41, Width);
  W.Real(50, DWGDeg(Oblique));
  W.Int(71, Gen);
  W.Real(42, Last);
  W.Str(3, Font);
  W.Str(4, Big);
}

void DecodeAppID(TdwgObj& O, TdwgGroupWriter& W) {
  (void)O.D.ReadRC();  // RC unknown
  if (O.Ctx) O.Ctx->FAppIDs[O.Handle] = O.Name;
  W.Str(100, "AcDbRegAppTableRecord");
  W.Str(2, O.Name);
  W.Int(70, O.EntryFlags);
}

void DecodeVPort(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  const TqdDWGVersion V = O.V;
  const double Height = D.ReadBD();      // BD view height
  const double Width = D.ReadBD();       // BD view width
  const TFPoint Center = D.Read2RD();    // 2RD view centre
  const TFPoint Target = D.Read3BD();    // 3BD view target
  const TFPoint Dir = D.Read3BD();       // 3BD view direction
  const double Twist = D.ReadBD();       // BD twist angle
  const double Lens = D.ReadBD();        // BD lens length
  const double Front = D.ReadBD();       // BD front clip
  const double Back = D.ReadBD();        // BD back clip
  int ViewMode = 0;
  for (int I = 0; I < 4; ++I) ViewMode |= D.ReadBit() << I;  // 4 B view mode
  if (V >= acR2000) (void)D.ReadRC();                         // RC render mode
  if (V >= acR2007) {
    D.Skip(1);                           // B default lighting
    (void)D.ReadRC();                    // RC lighting type
    (void)D.ReadBD();                    // BD brightness
    (void)D.ReadBD();                    // BD contrast
    (void)O.CMC();  // CMC ambient colour
  }
  const TFPoint LL = D.Read2RD();  // 2RD lower left
  const TFPoint UR = D.Read2RD();  // 2RD upper right
  if (D.ReadBit()) ViewMode |= 8;  // B UCS follow
  const int Zoom = D.ReadBS();     // BS circle zoom
  const int Fast = D.ReadBit();    // B fast zoom
  const int Icon = D.ReadBB();     // 2 B UCS icon
  const int Grid = D.ReadBit();    // B grid on
  const TFPoint GridSp = D.Read2RD();  // 2RD grid spacing
  const int Snap = D.ReadBit();        // B snap on
  const int SnapStyle = D.ReadBit();   // B snap style
  const int Iso = D.ReadBS();          // BS snap isopair
  const double SnapRot = D.ReadBD();   // BD snap rotation
  const TFPoint SnapBase = D.Read2RD();  // 2RD snap base
  const TFPoint SnapSp = D.Read2RD();    // 2RD snap spacing
  W_t U;
  if (V >= acR2000) {
    D.Skip(1);                      // B unknown
    U.Int(65, D.ReadBit());         // B UCS per viewport
    U.Pt(110, D.Read3BD());         // 3BD UCS origin
    U.Pt(111, D.Read3BD());         // 3BD UCS x axis
    U.Pt(112, D.Read3BD());         // 3BD UCS y axis
    U.Real(146, D.ReadBD());        // BD UCS elevation
    U.Int(79, D.ReadBS());          // BS UCS orthographic type
    if (V >= acR2007) {
      (void)D.ReadBS();  // BS grid flags
      (void)D.ReadBS();  // BS grid major
    }
  }
  W.Str(100, "AcDbViewportTableRecord");
  W.Str(2, O.Name);
  W.Int(70, O.EntryFlags);
  W.Pt2(10, LL);
  W.Pt2(11, UR);
  W.Pt2(12, Center);
  W.Pt2(13, SnapBase);
  W.Pt2(14, SnapSp);
  W.Pt2(15, GridSp);
  W.Pt(16, Dir);
  W.Pt(17, Target);
  W.Real(40, Height);
  W.Real(41, Height != 0 ? Width / Height : Width);
  W.Real(42, Lens);
  W.Real(43, Front);
  W.Real(44, Back);
  W.Real(50, DWGDeg(SnapRot));
  W.Real(51, DWGDeg(Twist));
  W.Int(71, ViewMode);
  W.Int(72, Zoom);
  W.Int(73, Fast);
  W.Int(74, Icon);
  W.Int(75, Snap);
  W.Int(76, Grid);
  W.Int(77, SnapStyle);
  W.Int(78, Iso);
  W.Append(U.FData);
}

void DecodeDimStyle(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  const TqdDWGVersion V = O.V;
  const bool R13_14 = V <= acR14, R2000p = V >= acR2000, R2007p = V >= acR2007, R2010p = V >= acR2010;
  if (O.Ctx) O.Ctx->FDimStyles[O.Handle] = O.Name;
  W.Str(100, "AcDbDimStyleTableRecord");
  W.Str(2, O.Name);
  W.Int(70, O.EntryFlags);
  auto B = [&](int C) { W.Int(C, D.ReadBit()); };
  auto S = [&](int C) { W.Int(C, D.ReadBS()); };
  auto C8 = [&](int C) { W.Int(C, D.ReadRC()); };
  auto F = [&](int C) { W.Real(C, D.ReadBD()); };
  auto Col = [&](int C) {
    const TqdColorCAD K = O.CMC();
    W.Int(C, K.Active == acIndexColor ? K.IndexValue() : 256);
  };
  if (R13_14) {
    B(71); B(72); B(73); B(74); B(75); B(76);  // DIMTOL DIMLIM DIMTIH DIMTOH DIMSE1 DIMSE2
    B(170); B(172); B(173); B(174); B(175);    // DIMALT DIMTOFL DIMSAH DIMTIX DIMSOXD
    C8(171); C8(78);                           // DIMALTD DIMZIN
    B(281); B(282);                            // DIMSD1 DIMSD2
    C8(283); C8(280); C8(287);                 // DIMTOLJ DIMJUST DIMFIT
    B(288);                                    // DIMUPT
    C8(284); C8(285); C8(286); C8(77);         // DIMTZIN DIMALTZ DIMALTTZ DIMTAD
    S(270); S(275); S(271); S(272); S(273); S(274);  // DIMUNIT DIMAUNIT DIMDEC DIMTDEC DIMALTU DIMALTTD
  }
  if (R2000p) {
    W.Str(3, O.T());  // DIMPOST
    W.Str(4, O.T());  // DIMAPOST
  }
  F(40); F(41); F(42); F(43); F(44); F(45); F(46); F(47); F(48);  // DIMSCALE .. DIMTM
  if (R2007p) {
    (void)D.ReadBD(); (void)D.ReadBD(); (void)D.ReadBS(); (void)O.CMC();  // DIMFXL DIMJOGANG DIMTFILL DIMTFILLCLR
  }
  if (R2000p) {
    B(71); B(72); B(73); B(74); B(75); B(76);  // DIMTOL DIMLIM DIMTIH DIMTOH DIMSE1 DIMSE2
    S(77); S(78); S(79);                       // DIMTAD DIMZIN DIMAZIN
    if (R2007p) (void)D.ReadBS();              // DIMARCSYM
  }
  F(140); F(141); F(142); F(143); F(144); F(145); F(146); F(147);  // DIMTXT .. DIMGAP
  if (R13_14) {
    W.Str(3, O.T());  // DIMPOST
    W.Str(4, O.T());  // DIMAPOST
    W.Str(5, O.T());  // DIMBLK
    W.Str(6, O.T());  // DIMBLK1
    W.Str(7, O.T());  // DIMBLK2
  }
  if (R2000p) {
    F(148);                          // DIMALTRND
    B(170); S(171); B(172); B(173); B(174); B(175);  // DIMALT DIMALTD DIMTOFL DIMSAH DIMTIX DIMSOXD
  }
  Col(176); Col(177); Col(178);  // DIMCLRD DIMCLRE DIMCLRT
  if (R2000p) {
    S(179); S(271); S(272); S(273); S(274); S(275); S(276); S(277); S(278); S(279); S(280);
    B(281); B(282);
    S(283); S(284); S(285); S(286);
    B(288);
    S(289);  // DIMATFIT
    if (R2007p) D.Skip(1);  // DIMFXLON
    if (R2010p) {
      D.Skip(1); (void)D.ReadBD(); (void)O.T(); (void)D.ReadBD(); (void)O.T();
    }
    W.Int(371, DWGLineWeightGroup(D.ReadBS()));  // DIMLWD
    W.Int(372, DWGLineWeightGroup(D.ReadBS()));  // DIMLWE
  }
  (void)D.ReadBit();  // B flag bit 0
  W.Hnd(340, O.Hd());  // H DIMTXSTY
  if (R2000p) {
    W.Hnd(341, O.Hd());  // H DIMLDRBLK
    W.Hnd(342, O.Hd());  // H DIMBLK
    W.Hnd(343, O.Hd());  // H DIMBLK1
    W.Hnd(344, O.Hd());  // H DIMBLK2
  }
}

void DecodeBlockHeader(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  const TqdDWGVersion V = O.V;
  TdwgObjectReader::TBlockHeader B;
  B.Handle = O.Handle;
  B.Name = O.Name;
  int Flags = O.EntryFlags & 16;
  if (D.ReadBit()) Flags |= 1;  // B anonymous
  if (D.ReadBit()) Flags |= 2;  // B has attributes
  const bool Xref = D.ReadBit();     // B external reference
  const bool Overlay = D.ReadBit();  // B overlaid
  if (Xref) Flags |= 4;
  if (Overlay) Flags |= 8;
  if (V >= acR2000) D.Skip(1);  // B loaded xref
  std::uint32_t Owned = 0;
  if (V >= acR2004) {
    Owned = static_cast<std::uint32_t>(D.ReadBL());  // BL owned entities
    O.Need(Owned, 8, O.H);
  }
  B.Base = D.Read3BD();  // 3BD base point
  B.Xref = O.T();        // TV external-reference path
  std::uint32_t Inserts = 0;
  if (V >= acR2000) {
    // RC insert counts until a 0, within the data.
    while (D.BitsLeft() >= 8 && D.ReadRC() != 0) ++Inserts;
    B.Description = O.T();  // TV description
    const std::uint32_t Preview = static_cast<std::uint32_t>(D.ReadBL());  // BL preview size
    O.Need(Preview, 8);
    D.Skip(static_cast<std::int64_t>(Preview) * 8);
  }
  int Units = 0, Explodable = 1, Scaling = 0;
  if (V >= acR2007) {
    Units = D.ReadBS();        // BS units
    Explodable = D.ReadBit();  // B explodable
    Scaling = D.ReadRC();      // RC scaling
  }
  B.Flags = Flags;
  B.BlockEnt = O.Hd();  // H BLOCK entity
  if (V >= acR2004) {
    for (std::uint32_t I = 0; I < Owned; ++I) (void)O.Hd();  // H owned entities
  } else if (!Xref && !Overlay) {
    (void)O.Hd();  // H first entity
    (void)O.Hd();  // H last entity
  }
  B.EndBlk = O.Hd();  // H ENDBLK entity
  if (V >= acR2000) {
    if (!O.H.Ok() || Inserts > O.H.BitsLeft() / 8) Inserts = 0;
    for (std::uint32_t I = 0; I < Inserts; ++I) (void)O.Hd();  // H inserts
    B.Layout = O.Hd();  // H layout
  }
  if (V >= acR2007) {
    W.Int(70, Units);
    W.Int(280, Explodable);
    W.Int(281, Scaling);
  }
  if (O.Ctx) O.Ctx->FBlocks[O.Handle] = O.Name;
  if (O.Ctx) O.Ctx->FBlockHeaders.push_back(std::move(B));
}

// ---------------------------------------------------------------- objects

void DecodeDictionary(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL items
  int Cloning = 1, Hard = 0;
  if (O.V == acR14) (void)D.ReadRC();  // RC unknown
  if (O.V >= acR2000) {
    Cloning = D.ReadBS();  // BS cloning
    Hard = D.ReadRC();     // RC hard owner
  }
  O.Need(N, 8, O.H);
  std::vector<std::string> Names;
  Names.reserve(N);
  for (std::uint32_t I = 0; I < N && D.Ok(); ++I) Names.push_back(O.T());  // TV names
  W.Str(100, "AcDbDictionary");
  if (Hard) W.Int(280, Hard);
  W.Int(281, Cloning);
  for (const std::string& Name : Names) {
    const std::uint64_t H = O.Hd();  // H item
    if (!H) continue;
    W.Str(3, Name);
    W.HndAlways(Hard ? 360 : 350, H);
  }
}

void DecodeDictionaryWDflt(TdwgObj& O, TdwgGroupWriter& W) {
  DecodeDictionary(O, W);
  W.Str(100, "AcDbDictionaryWithDefault");
  W.Hnd(340, O.Hd());  // H default entry
}

void DecodePlaceholder(TdwgObj&, TdwgGroupWriter&) {}

void DecodeDictionaryVar(TdwgObj& O, TdwgGroupWriter& W) {
  const int Schema = O.D.ReadRC();  // RC schema
  W.Str(100, "DictionaryVariables");
  W.Int(280, Schema);
  W.Str(1, O.T());  // TV value
}

void DecodeGroup(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbGroup");
  W.Str(300, O.T());            // TV description
  W.Int(70, D.ReadBS());        // BS unnamed
  W.Int(71, D.ReadBS());        // BS selectable
  const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL entries
  O.Need(N, 8, O.H);
  for (std::uint32_t I = 0; I < N && O.H.Ok(); ++I) W.Hnd(340, O.Hd());  // H entries
}

void DecodeMLineStyle(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  const std::string Name = O.T();  // TV name
  const std::string Desc = O.T();  // TV description
  const int Flags = D.ReadBS();    // BS flags
  const TqdColorCAD Fill = O.CMC();  // CMC fill colour
  const double A1 = D.ReadBD();    // BD start angle
  const double A2 = D.ReadBD();    // BD end angle
  const int N = D.ReadRC();        // RC lines
  if (O.Ctx) O.Ctx->FMLStyles[O.Handle] = Name;
  W.Str(100, "AcDbMlineStyle");
  W.Str(2, Name);
  W.Int(70, Flags);
  W.Str(3, Desc);
  W.Int(62, Fill.Active == acIndexColor ? Fill.IndexValue() : 256);
  W.Real(51, DWGDeg(A1));
  W.Real(52, DWGDeg(A2));
  W.Int(71, N);
  for (int I = 0; I < N && D.Ok(); ++I) {
    W.Real(49, D.ReadBD());  // BD offset
    const TqdColorCAD C = O.CMC();  // CMC colour
    W.Int(62, C.Active == acIndexColor ? C.IndexValue() : 256);
    std::string LT = "BYLAYER";
    if (O.V >= acR2018) {
      const std::uint64_t H = O.Hd();  // H linetype
      if (O.Ctx) LT = TdwgObjectReader::Find(O.Ctx->FLTypes, H);
    } else {
      const int Index = D.ReadBS();  // BS linetype index
      if (Index == 32766) LT = "BYBLOCK";
    }
    W.Str(6, LT.empty() ? std::string("BYLAYER") : LT);
  }
}

void DecodeXRecord(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  const std::uint32_t Bytes = static_cast<std::uint32_t>(D.ReadBL());  // BL data bytes
  O.Need(Bytes, 8);
  W.Str(100, "AcDbXrecord");
  const std::uint64_t End = D.Position() + static_cast<std::uint64_t>(Bytes) * 8;
  TdwgBitCursor B = D.Sub(D.Position(), End);
  D.SetPosition(End);
  while (B.BitsLeft() >= 16 && B.Ok()) {
    const int C = B.ReadRSU();  // RS group code
    if ((C >= 10 && C <= 18) || (C >= 210 && C <= 219) || (C >= 1010 && C <= 1013)) {
      W.Pt(C, B.Read3RD());
      continue;
    }
    switch (BinaryValueKind(C)) {
      case bvString: {
        if (GroupCodeType(C) == vtHandle) {
          std::uint64_t H = 0;
          for (int I = 0; I < 8; ++I) H |= static_cast<std::uint64_t>(B.ReadRC()) << (8 * I);  // 8 bytes
          W.HndAlways(C, H);
        } else if (O.V >= acR2007) {
          const int N = B.ReadRSU();  // RS length
          std::string Raw = B.ReadBytes(static_cast<std::uint64_t>(N) * 2);
          W.Str(C, UTF16LEToUTF8(reinterpret_cast<const std::uint8_t*>(Raw.data()), Raw.size() / 2));
        } else {
          const int N = B.ReadRSU();  // RS length
          (void)B.ReadRC();           // RC code page
          const std::string Raw = B.ReadBytes(static_cast<std::uint64_t>(N));
          TdwgBitCursor T(Raw.data(), Raw.size(), O.V);
          const int CP = O.Ctx ? O.Ctx->R.CodePage() : 0;
          TdwgAnsiStringReader A(&T, CP);
          W.Str(C, A.ReadChars(static_cast<int>(Raw.size()), CP));
        }
        break;
      }
      case bvChunk: {
        const int N = B.ReadRC();  // RC length
        W.Chunk(C, B.ReadBytes(static_cast<std::uint64_t>(N)));
        break;
      }
      case bvByte: W.Int(C, B.ReadRC()); break;
      case bvInt16: W.Int(C, B.ReadRS()); break;
      case bvInt32: W.Int(C, static_cast<std::int32_t>(B.ReadRL())); break;
      case bvInt64: {
        std::uint64_t V = B.ReadRL();
        V |= static_cast<std::uint64_t>(B.ReadRL()) << 32;
        W.Int(C, static_cast<std::int64_t>(V));
        break;
      }
      case bvDouble: W.Real(C, B.ReadRD()); break;
      default: B.SetPosition(B.End()); break;  // an unknown code ends the record
    }
  }
  if (O.V >= acR2000) W.Int(280, D.ReadBS());  // BS cloning flag
}

void DecodeLayout(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  const TqdDWGVersion V = O.V;
  W.Str(100, "AcDbPlotSettings");
  W.Str(1, O.T());   // TV page setup name
  W.Str(2, O.T());   // TV printer or configuration
  const int Flags = D.ReadBS();  // BS plot layout flags
  W.Real(40, D.ReadBD());  // BD left margin
  W.Real(41, D.ReadBD());  // BD bottom margin
  W.Real(42, D.ReadBD());  // BD right margin
  W.Real(43, D.ReadBD());  // BD top margin
  W.Real(44, D.ReadBD());  // BD paper width
  W.Real(45, D.ReadBD());  // BD paper height
  W.Str(4, O.T());         // TV paper size
  W.Real(46, D.ReadBD());  // BD plot origin x
  W.Real(47, D.ReadBD());  // BD plot origin y
  W.Int(72, D.ReadBS());   // BS paper units
  W.Int(73, D.ReadBS());   // BS plot rotation
  W.Int(74, D.ReadBS());   // BS plot type
  W.Real(48, D.ReadBD());  // BD window min x
  W.Real(49, D.ReadBD());  // BD window min y
  W.Real(140, D.ReadBD()); // BD window max x
  W.Real(141, D.ReadBD()); // BD window max y
  if (V < acR2004) W.Str(6, O.T());  // TV plot view name
  W.Real(142, D.ReadBD());  // BD numerator
  W.Real(143, D.ReadBD());  // BD denominator
  W.Str(7, O.T());          // TV style sheet
  W.Int(75, D.ReadBS());    // BS scale type
  W.Real(147, D.ReadBD());  // BD scale factor
  W.Real(148, D.ReadBD());  // BD paper image origin x
  W.Real(149, D.ReadBD());  // BD paper image origin y
  if (V >= acR2004) {
    W.Int(76, D.ReadBS());  // BS shade plot mode
    W.Int(77, D.ReadBS());  // BS shade plot resolution
    W.Int(78, D.ReadBS());  // BS shade plot DPI
  }
  W.Int(70, Flags);
  W.Str(100, "AcDbLayout");
  W.Str(1, O.T());          // TV layout name
  const int Tab = D.ReadBS();    // BS tab order
  const int LFlags = D.ReadBS(); // BS flags
  const TFPoint UcsOrg = D.Read3BD();  // 3BD UCS origin
  const TFPoint LimMin = D.Read2RD();  // 2RD limits min
  const TFPoint LimMax = D.Read2RD();  // 2RD limits max
  const TFPoint InsBase = D.Read3BD(); // 3BD insertion base
  const TFPoint UcsX = D.Read3BD();    // 3BD UCS x axis
  const TFPoint UcsY = D.Read3BD();    // 3BD UCS y axis
  const double Elev = D.ReadBD();      // BD elevation
  const int Ortho = D.ReadBS();        // BS orthographic type
  const TFPoint ExtMin = D.Read3BD();  // 3BD extents min
  const TFPoint ExtMax = D.Read3BD();  // 3BD extents max
  std::uint32_t Viewports = 0;
  if (V >= acR2004) {
    Viewports = static_cast<std::uint32_t>(D.ReadBL());  // BL viewports
    O.Need(Viewports, 8, O.H);
  }
  W.Int(70, LFlags);
  W.Int(71, Tab);
  W.Pt2(10, LimMin);
  W.Pt2(11, LimMax);
  W.Pt(12, InsBase);
  W.Pt(14, ExtMin);
  W.Pt(15, ExtMax);
  W.Real(146, Elev);
  W.Pt(13, UcsOrg);
  W.Pt(16, UcsX);
  W.Pt(17, UcsY);
  W.Int(76, Ortho);
  if (V >= acR2004) (void)O.Hd();  // H plot view
  if (V >= acR2007) (void)O.Hd();  // H visual style
  const std::uint64_t Block = O.Hd();   // H paper-space block record
  const std::uint64_t Active = O.Hd();  // H active viewport
  (void)O.Hd();                         // H base UCS
  (void)O.Hd();                         // H named UCS
  std::vector<std::uint64_t> Listed;
  for (std::uint32_t I = 0; I < Viewports && O.H.Ok(); ++I) Listed.push_back(O.Hd());  // H viewports
  if (O.Ctx && O.H.Ok()) {
    int N = 0;
    for (std::uint64_t H : Listed)
      if (H && O.Ctx->FViewportIds.emplace(H, N + 1).second) ++N;
    int& Count = O.Ctx->FListedViewports[Block];
    Count = std::max(Count, N);
  }
  W.Hnd(330, Block);
  W.Hnd(331, Active);
}

void DecodeSortEnts(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL entries
  O.Need(N, 8);
  O.Need(N, 8, O.H);
  std::vector<std::uint64_t> Sort;
  Sort.reserve(N);
  for (std::uint32_t I = 0; I < N && D.Ok(); ++I) Sort.push_back(D.ReadH(0));  // H sort handle (inline)
  W.Str(100, "AcDbSortentsTable");
  W.Hnd(330, O.Hd());  // H block
  for (std::uint64_t S : Sort) {
    W.Hnd(331, O.Hd());  // H entity
    W.HndAlways(5, S);
  }
}

void DecodeImageDef(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbRasterImageDef");
  W.Int(90, D.ReadBL());   // BL class version
  W.Pt2(10, D.Read2RD());  // 2RD image size
  W.Str(1, O.T());         // TV file path
  W.Int(280, D.ReadBit()); // B loaded
  W.Int(281, D.ReadRC());  // RC resolution units
  W.Pt2(11, D.Read2RD());  // 2RD pixel size
}

void DecodeRasterVariables(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbRasterVariables");
  W.Int(90, D.ReadBL());  // BL class version
  W.Int(70, D.ReadBS());  // BS display frame
  W.Int(71, D.ReadBS());  // BS quality
  W.Int(72, D.ReadBS());  // BS units
}

void DecodeWipeoutVariables(TdwgObj& O, TdwgGroupWriter& W) {
  W.Str(100, "AcDbWipeoutVariables");
  W.Int(70, O.D.ReadBS());  // BS display frame
}

const TdwgDecoder cnstObjects[] = {
    {"TABLE", drControl, DecodeControl, "BLOCK_RECORD"},  // 48
    {"BLOCK_RECORD", drBlockHeader, DecodeBlockHeader, "BLOCK_RECORD"},
    {"TABLE", drControl, DecodeControl, "LAYER"},  // 50
    {"LAYER", drTableEntry, DecodeLayer, "LAYER"},
    {"TABLE", drControl, DecodeControl, "STYLE"},
    {"STYLE", drTableEntry, DecodeStyle, "STYLE"},
    {"TABLE", drControl, DecodeControl, "LTYPE"},  // 56
    {"LTYPE", drTableEntry, DecodeLType, "LTYPE"},
    {"TABLE", drControl, DecodeControl, "VPORT"},  // 64
    {"VPORT", drTableEntry, DecodeVPort, "VPORT"},
    {"TABLE", drControl, DecodeControl, "APPID"},  // 66
    {"APPID", drTableEntry, DecodeAppID, "APPID"},
    {"TABLE", drControl, DecodeControl, "DIMSTYLE"},  // 68
    {"DIMSTYLE", drTableEntry, DecodeDimStyle, "DIMSTYLE"},
    {"DICTIONARY", drObject, DecodeDictionary},       // 42
    {"GROUP", drObject, DecodeGroup},                 // 72
    {"MLINESTYLE", drObject, DecodeMLineStyle},       // 73
};

} // namespace

const TdwgDecoder* DWGObjectDecoder(int AType) {
  switch (AType) {
    case 48: return &cnstObjects[0];
    case 49: return &cnstObjects[1];
    case 50: return &cnstObjects[2];
    case 51: return &cnstObjects[3];
    case 52: return &cnstObjects[4];
    case 53: return &cnstObjects[5];
    case 56: return &cnstObjects[6];
    case 57: return &cnstObjects[7];
    case 64: return &cnstObjects[8];
    case 65: return &cnstObjects[9];
    case 66: return &cnstObjects[10];
    case 67: return &cnstObjects[11];
    case 68: return &cnstObjects[12];
    case 69: return &cnstObjects[13];
    case 42: return &cnstObjects[14];
    case 72: return &cnstObjects[15];
    case 73: return &cnstObjects[16];
    case 79: return DWGObjectDecoderByClass("XRECORD");
    case 80: return DWGObjectDecoderByClass("ACDBPLACEHOLDER");
    case 82: return DWGObjectDecoderByClass("LAYOUT");
    default: return nullptr;
  }
}

const TdwgDecoder* DWGObjectDecoderByClass(std::string_view AName) {
  static const struct {
    const char* Class;
    TdwgDecoder Dec;
  } cnstByClass[] = {
      {"ACDBDICTIONARYWDFLT", {"ACDBDICTIONARYWDFLT", drObject, DecodeDictionaryWDflt}},
      {"ACDBPLACEHOLDER", {"ACDBPLACEHOLDER", drObject, DecodePlaceholder}},
      {"DICTIONARYVAR", {"DICTIONARYVAR", drObject, DecodeDictionaryVar}},
      {"IMAGEDEF", {"IMAGEDEF", drObject, DecodeImageDef}},
      {"LAYOUT", {"LAYOUT", drObject, DecodeLayout}},
      {"MLEADERSTYLE", {"MLEADERSTYLE", drObject, DWGDecodeMLeaderStyle}},
      {"RASTERVARIABLES", {"RASTERVARIABLES", drObject, DecodeRasterVariables}},
      {"SORTENTSTABLE", {"SORTENTSTABLE", drObject, DecodeSortEnts}},
      {"WIPEOUTVARIABLES", {"WIPEOUTVARIABLES", drObject, DecodeWipeoutVariables}},
      {"XRECORD", {"XRECORD", drObject, DecodeXRecord}},
  };
  for (const auto& E : cnstByClass)
    if (AName == E.Class) return &E.Dec;
  return nullptr;
}
