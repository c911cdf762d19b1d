#include "DWG.h"
#include "DWG12.h"
#include "DWG2004.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

#include "Registry.h"

const std::uint8_t cnstDWGHeaderSentinel[16] = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                               0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
const std::uint8_t cnstDWGClassesSentinel[16] = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                                0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};

namespace {

constexpr const char* cnstHeaderCorrupted = "DWG file header is corrupted";

const char* SectionName(int ANumber) {
  switch (ANumber) {
    case 0: return "header variables";
    case 1: return "classes";
    case 2: return "object map";
    case 3: return "objects";
    case 4: return "measurement";
    case 5: return "template";
    case 6: return "data segments";
    default: return "unknown";
  }
}

} // namespace

bool ReadDWGMetadata(const std::uint8_t* AData, std::size_t ASize, TqdDWGMeatadata& M) {
  if (!AData || ASize < 44) return false;
  TdwgBitCursor C(AData, 44);
  M.Version = C.ReadBytes(6);          // 6 bytes version
  C.Skip(5 * 8);                       // 5 bytes
  M.ReleaseVersion = C.ReadRC();       // RC maintenance release
  (void)C.ReadRC();                    // RC
  M.PreviewAddress = C.ReadRL();       // RL preview address
  M.OrigFileSavedVer = C.ReadRC();     // RC
  M.OrigFileSavedReleaseVer = C.ReadRC();  // RC
  M.CodePage = C.ReadRSU();            // RS code page
  C.Skip(3 * 8);                       // 3 x RC
  M.SecurityFlags = C.ReadRL();        // RL security flags
  (void)C.ReadRL();                    // RL
  M.SummaryInfoAddress = C.ReadRL();   // RL summary info address
  M.VBAProjectAddress = C.ReadRL();    // RL VBA project address
  (void)C.ReadRL();                    // RL
  return C.Ok();
}

bool TdwgReader::LateSized() const {
  return FVersion >= acR2013 || (FVersion == acR2010 && FMetadata.ReleaseVersion > 3);
}

TdwgReader::TdwgReader(TqdDXFConverter& AConverter, const std::uint8_t* AImage, std::size_t ASize,
                       TqdDWGVersion AVersion)
    : TqdDrawingLoader(&AConverter), FImage(AImage), FSize(ASize), FVersion(AVersion),
      FColorReader(CreateColorReader(AVersion)) {}

TdwgReader::~TdwgReader() = default;

void TdwgReader::ReadFile() {
  if (FSize < TdwgLimits::FileHeaderBytes) throw EdwgReadError(DWGCutShortMessage(FSize, "the end of its header"));
  TdwgBitCursor C(FImage, FSize, FVersion);
  C.SetPosition(19 * 8);
  const int CPIndex = C.ReadRS();  // RS: code-page index
  FCodePage = CPIndex >= 0 && CPIndex <= 60 ? DWGCodePages(CPIndex) : 0;
  FConverter->HeadVarStruct().CodePage = FCodePage;
  const std::uint32_t Count = C.ReadRL();  // RL: locator records
  // 64-bit: the count is the file's word, and real files have 3 to 6 records.
  // No sections at all is no drawing; real files have 3 to 6.
  if (Count == 0 || Count > TdwgLimits::MaxLocatorRecords ||
      TdwgLimits::FileHeaderBytes + static_cast<std::uint64_t>(Count) * 9 > FSize) {
    Warn("DWG file header: " + std::to_string(Count) + " section locators do not fit the file");
    if (Count > 0 && Count <= TdwgLimits::MaxLocatorRecords)
      throw EdwgReadError(DWGCutShortMessage(FSize, "the end of its section locators"));
    throw EdwgReadError(cnstHeaderCorrupted);
  }
  for (std::uint32_t I = 0; I < Count; ++I) {
    TdwgLocator L;
    L.Number = C.ReadRC();  // RC record number
    L.Seeker = C.ReadRL();  // RL seeker
    L.Size = C.ReadRL();    // RL size
    FLocators.push_back(L);
  }
  for (const TdwgLocator& L : FLocators) {
    // A container lists every slot; a section it did not find has size 0.
    if (FVersion >= acR2004 && L.Size == 0) {
      if (L.Number <= 3) Warn(std::string("DWG ") + SectionName(L.Number) + " section is missing");
      continue;
    }
    switch (L.Number) {
      case 0: ReadHeaderVars(L); break;
      case 1: ReadClasses(L); break;
      case 2: ReadObjectMap(L); break;
      case 4:
        if (FVersion >= acR2004)
          ReadSummaryInfo(L);
        else
          ReadMeasurement(L);
        break;
      case 5:
        if (FVersion >= acR2004) ReadTemplate(L);
        break;
      case 6:
        if (FVersion >= acR2013) ReadDataSegments(L);
        break;
      default: break;
    }
  }
}

TdwgBitCursor TdwgReader::SectionCursor(const TdwgLocator& L) const {
  // 64-bit: seeker and size are two RL and may wrap in 32 bits.
  if (static_cast<std::uint64_t>(L.Seeker) + L.Size > FSize) {
    // A section that starts inside the file and runs past its end: the file
    // was cut; one that starts beyond any size it could have: damage.
    if (L.Seeker < FSize || L.Seeker - FSize < (std::uint64_t{1} << 30))
      throw EdwgReadError(DWGCutShortMessage(FSize, std::string("the end of its ") + SectionName(L.Number) + " section"));
    throw EdwgReadError(cnstHeaderCorrupted);
  }
  TdwgBitCursor C(FImage, FSize, FVersion);
  return C.Sub(static_cast<std::uint64_t>(L.Seeker) * 8, (static_cast<std::uint64_t>(L.Seeker) + L.Size) * 8);
}

// ---------------------------------------------------------------- header variables

void TdwgReader::ReadHeaderVars(const TdwgLocator& L) {
  const auto Where = [&] {
    return std::string("DWG ") + SectionName(L.Number) + " section at " + std::to_string(L.Seeker);
  };
  TdwgBitCursor Sec;
  try {
    Sec = SectionCursor(L);
  } catch (const EdwgReadError&) {
    Warn(Where() + ": " + std::to_string(L.Size) + " bytes beyond the end of the file (" + std::to_string(FSize) +
         " bytes)");
    throw;
  }
  const std::uint64_t Begin = Sec.Begin();
  std::uint8_t Sentinel[16] = {};
  if (!Sec.ReadBytes(Sentinel, 16) || std::memcmp(Sentinel, cnstDWGHeaderSentinel, 16) != 0) {
    Warn(Where() + ": no sentinel, header variables left at their defaults");
    return;
  }
  std::uint64_t Size = Sec.ReadRL();                // RL size
  if (LateSized()) Size |= static_cast<std::uint64_t>(Sec.ReadRL()) << 32;  // RL high size
  const std::uint64_t DataBegin = Sec.Position();
  // Every stream stays within the section: a size beyond it is damage.
  if (!Sec.Ok() || Size * 8 > Sec.End() - DataBegin) {
    Warn(Where() + ": its size (" + std::to_string(Size) + " bytes) exceeds the section, header variables left at "
         "their defaults");
    return;
  }
  TdwgBitCursor D = Sec.Sub(DataBegin, DataBegin + Size * 8);
  TdwgBitCursor S = D, H = D;
  if (FVersion >= acR2007) {
    const std::uint64_t BitSizeAt = D.Position();
    const std::uint64_t BitSize = D.ReadRL();  // RL size in bits
    if (!D.Ok() || BitSizeAt > D.End() || BitSize > D.End() - BitSizeAt) {
      Warn(Where() + ": its bit size exceeds the section, header variables left at their defaults");
      return;
    }
    const std::uint64_t E = BitSizeAt + BitSize;
    H = D.Sub(E, D.End());
    const TdwgStringStream SS = LocateStringStream(D, DataBegin, E);
    if (SS.Present) {
      S = D.Sub(SS.Begin, SS.End);
      D.SetEnd(SS.Begin);
    } else {
      S = D.Sub(E, E);
      D.SetEnd(E);
    }
  }
  (void)Begin;
  ReadHeaderValues(D, FVersion >= acR2007 ? S : D, FVersion >= acR2007 ? H : D);
}

void TdwgReader::ReadHeaderValues(TdwgBitCursor& D, TdwgBitCursor& SBits, TdwgBitCursor& HBits) {
  const TqdDWGVersion V = FVersion;
  const bool R13_14 = V <= acR14, R2000p = V >= acR2000, R2004p = V >= acR2004, R2007p = V >= acR2007,
             R2010p = V >= acR2010, R2013p = V >= acR2013;
  // Before R2007 strings and handles are inline: the three names are one cursor.
  const bool Inline = &D == &SBits;
  std::unique_ptr<TdwgStringReader> Strings = CreateStringReader(V, &SBits, FCodePage, true);
  TqdHeadVarStruct HV = FConverter->HeadVarStruct();
  TqdDimStyle& Dim = HV.DimProps;
  // A value enters the drawing only while every stream still holds data: what
  // follows a fault reads as 0 and is not a value of the file.
  const auto Good = [&] { return D.Ok() && SBits.Ok() && HBits.Ok(); };
  const auto TV = [&] { return Strings->ReadT(); };
  const auto Hd = [&] { return HBits.ReadH(0); };
  const auto Bits = [&](int N) { D.Skip(N); };
  const auto SkipBS = [&](int N) {
    for (int I = 0; I < N; ++I) (void)D.ReadBS();
  };
  const auto SkipBD = [&](int N) {
    for (int I = 0; I < N; ++I) (void)D.ReadBD();
  };
  const auto SkipTV = [&](int N) {
    for (int I = 0; I < N; ++I) (void)TV();
  };
  const auto SkipH = [&](int N) {
    for (int I = 0; I < N; ++I) (void)Hd();
  };
  const auto Commit = [&] {
    if (!Good()) return false;
    FConverter->HeadVarStruct() = HV;
    return true;
  };
  TdwgHeaderHandles HH;
  // False where the streams ran out; what was committed before stays.
  const auto Body = [&]() -> bool {

  if (R2013p) (void)D.ReadBLL();  // BLL required versions
  SkipBD(4);                      // BD x4 unknown
  SkipTV(4);                      // TV x4 unknown
  (void)D.ReadBL();               // BL
  (void)D.ReadBL();               // BL
  if (R13_14) (void)D.ReadBS();   // BS
  if (V < acR2004) (void)Hd();    // H current viewport entity header
  // B: DIMASO DIMSHO (DIMSAV) PLINEGEN ORTHOMODE REGENMODE FILLMODE QTEXTMODE PSLTSCALE
  // LIMCHECK (BLIPMODE) (unknown) USRTIMER SKPOLY ANGDIR SPLFRAME (ATTREQ ATTDIA)
  // MIRRTEXT WORLDVIEW (WIREFRAME)
  Bits(15 + (R13_14 ? 5 : 0) + (R2004p ? 1 : 0));
  const int TileMode = D.ReadBit();  // B TILEMODE
  if (Good()) HV.TileMode = TileMode;
  Bits(4 + (R13_14 ? 1 : 0));  // B: PLIMCHECK VISRETAIN (DELOBJ) DISPSILH PELLIPSE
  (void)D.ReadBS();            // BS PROXYGRAPHICS
  if (R13_14) (void)D.ReadBS();  // BS DRAGMODE
  SkipBS(4);                     // BS TREEDEPTH LUNITS LUPREC AUNITS
  (void)D.ReadBS();              // BS AUPREC
  if (R13_14) (void)D.ReadBS();  // BS OSMODE
  const int AttMode = D.ReadBS();  // BS ATTMODE
  if (Good()) HV.AttMode = AttMode == 0 ? attOff : AttMode == 1 ? attNormal : attAll;
  if (R13_14) (void)D.ReadBS();  // BS COORDS
  const int PdMode = D.ReadBS();  // BS PDMODE
  if (Good()) HV.PointDisplayMode = PdMode;
  if (R13_14) (void)D.ReadBS();  // BS PICKSTYLE
  if (R2004p)
    for (int I = 0; I < 3; ++I) (void)D.ReadBL();  // BL x3 unknown
  // BS USERI1-5 SPLINESEGS SURFU SURFV SURFTYPE SURFTAB1 SURFTAB2 SPLINETYPE SHADEDGE
  // SHADEDIF UNITMODE MAXACTVP
  SkipBS(16);
  const int IsoLines = D.ReadBS();  // BS ISOLINES
  if (Good()) FIsoLines = IsoLines;
  SkipBS(2);                         // BS CMLJUST TEXTQLTY
  const double LTScale = D.ReadBD();  // BD LTSCALE
  const double TextSize = D.ReadBD();  // BD TEXTSIZE
  SkipBD(2);                           // BD TRACEWID SKETCHINC
  const double Fillet = D.ReadBD();    // BD FILLETRAD
  SkipBD(2);                           // BD THICKNESS ANGBASE
  const double PdSize = D.ReadBD();    // BD PDSIZE
  SkipBD(12);  // BD PLINEWID USERR1-5 CHAMFERA-D FACETRES CMLSCALE
  const double CeltScale = D.ReadBD();  // BD CELTSCALE
  if (Good()) {
    HV.LTScale = LTScale;
    HV.TextSize = TextSize;
    HV.FilletRadius = Fillet;
    HV.PointDisplaySize = PdSize;
    HV.CELTScale = CeltScale;
  }
  (void)TV();  // TV MENUNAME
  TdwgHeaderDates Dt;
  Dt.CreatedDay = D.ReadBL();  // BL TDCREATE day
  Dt.CreatedMs = D.ReadBL();   // BL TDCREATE ms
  Dt.UpdatedDay = D.ReadBL();  // BL TDUPDATE day
  Dt.UpdatedMs = D.ReadBL();   // BL TDUPDATE ms
  if (R2004p)
    for (int I = 0; I < 3; ++I) (void)D.ReadBL();  // BL x3 unknown
  Dt.EditingDays = D.ReadBL();  // BL TDINDWG days
  Dt.EditingMs = D.ReadBL();    // BL TDINDWG ms
  (void)D.ReadBL();             // BL TDUSRTIMER days
  (void)D.ReadBL();             // BL TDUSRTIMER ms
  const TqdColorCAD CEColor = FColorReader->ReadColor(D, Strings.get());  // CMC CECOLOR
  if (Good()) {
    FDates = Dt;
    HV.CEColor = CEColor;
    // Dates outside the calendar keep the time of the load (already set).
    std::int64_t T = 0;
    if (HeaderJulianToUnix(Dt.CreatedDay, Dt.CreatedMs, T)) FConverter->FDrwPropCreatedDateTime = T;
    if (HeaderJulianToUnix(Dt.UpdatedDay, Dt.UpdatedMs, T)) FConverter->FDrwPropModifiedDateTime = T;
    if (Dt.EditingDays >= 0 && Dt.EditingDays <= cnstDWGMaxJulianDay && Dt.EditingMs >= 0 &&
        Dt.EditingMs < cnstMsPerDay)
      FConverter->FDrwPropTotalEditingTime = Dt.EditingDays * 86400 + Dt.EditingMs / 1000;
  }
  // The handle seed is in the data stream, not the handle stream.
  const std::uint64_t Seed = D.ReadH(0);  // H HANDSEED
  if (Good()) FMaxHandle = Seed;
  HH.CLAYER = Hd();     // H CLAYER
  HH.TEXTSTYLE = Hd();  // H TEXTSTYLE
  HH.CELTYPE = Hd();    // H CELTYPE
  if (R2007p) (void)Hd();  // H CMATERIAL
  HH.DIMSTYLE = Hd();   // H DIMSTYLE
  HH.CMLSTYLE = Hd();   // H CMLSTYLE
  if (R2000p) (void)D.ReadBD();  // BD PSVPSCALE
  if (!Commit()) return false;

  // Paper space first, then model space, which overwrites what the first stored.
  for (int Space = 0; Space < 2; ++Space) {
    const TFPoint InsBase = D.Read3BD();  // 3BD INSBASE
    const TFPoint ExtMin = D.Read3BD();   // 3BD EXTMIN
    const TFPoint ExtMax = D.Read3BD();   // 3BD EXTMAX
    (void)D.Read2RD();                    // 2RD LIMMIN
    (void)D.Read2RD();                    // 2RD LIMMAX
    (void)D.ReadBD();                     // BD ELEVATION
    const TFPoint Org = D.Read3BD();      // 3BD UCSORG
    const TFPoint XDir = D.Read3BD();     // 3BD UCSXDIR
    const TFPoint YDir = D.Read3BD();     // 3BD UCSYDIR
    (void)Hd();                           // H UCSNAME
    if (R2000p) {
      (void)Hd();        // H UCSORTHOREF
      (void)D.ReadBS();  // BS UCSORTHOVIEW
      (void)Hd();        // H UCSBASE
      for (int I = 0; I < 6; ++I) (void)D.Read3BD();  // 3BD ORGTOP ORGBOTTOM ORGLEFT ORGRIGHT ORGFRONT ORGBACK
    }
    if (!Good()) return false;
    HV.InsBase = InsBase;
    HV.ExtMim = ExtMin;
    HV.ExtMax = ExtMax;
    HV.UCSORG = Org;
    HV.UCSXDir = XDir;
    HV.UCSYDir = YDir;
  }
  if (HV.ExtMim.X <= HV.ExtMax.X && HV.ExtMim.Y <= HV.ExtMax.Y && HV.ExtMim.Z <= HV.ExtMax.Z) {
    TFRect R;
    R.Left = HV.ExtMim.X;
    R.Bottom = HV.ExtMim.Y;
    R.Z1 = HV.ExtMim.Z;
    R.Right = HV.ExtMax.X;
    R.Top = HV.ExtMax.Y;
    R.Z2 = HV.ExtMax.Z;
    FConverter->SetExtents(R);
  }
  if (!Commit()) return false;

  // ---- dimension variables
  if (R2000p) {
    const std::string Post = TV();   // TV DIMPOST
    const std::string APost = TV();  // TV DIMAPOST
    if (Good()) {
      Dim.Post = Post;
      Dim.APost = APost;
    }
  }
  if (R13_14) {
    Bits(2);                        // B DIMTOL DIMLIM
    Dim.Tih = D.ReadBit();          // B DIMTIH
    Dim.Toh = D.ReadBit();          // B DIMTOH
    Dim.SE1 = D.ReadBit();          // B DIMSE1
    Dim.SE2 = D.ReadBit();          // B DIMSE2
    Dim.Alt = D.ReadBit();          // B DIMALT
    Bits(1);                        // B DIMTOFL
    Dim.Sah = D.ReadBit();          // B DIMSAH
    Dim.Tix = D.ReadBit();          // B DIMTIX
    Bits(17);                       // B DIMSOXD, RC DIMALTD, RC DIMZIN
    Dim.SD1 = D.ReadBit();          // B DIMSD1
    Dim.SD2 = D.ReadBit();          // B DIMSD2
    Bits(49);                       // RC DIMTOLJ DIMJUST DIMFIT, B DIMUPT, RC DIMTZIN DIMALTZ DIMALTTZ
    Dim.Tad = D.ReadRC();           // RC DIMTAD
    SkipBS(2);                      // BS DIMUNIT DIMAUNIT
    Dim.Dec = D.ReadBS();           // BS DIMDEC
    SkipBS(3);                      // BS DIMTDEC DIMALTU DIMALTTD
    HH.DIMTXSTY = Hd();             // H DIMTXSTY
  }
  Dim.Scale = D.ReadBD();  // BD DIMSCALE
  Dim.Asz = D.ReadBD();    // BD DIMASZ
  Dim.Exo = D.ReadBD();    // BD DIMEXO
  (void)D.ReadBD();        // BD DIMDLI
  Dim.Exe = D.ReadBD();    // BD DIMEXE
  SkipBD(4);               // BD DIMRND DIMDLE DIMTP DIMTM
  if (R2007p) {
    SkipBD(2);                                            // BD DIMFXL DIMJOGANG
    (void)D.ReadBS();                                     // BS DIMTFILL
    (void)FColorReader->ReadColor(D, Strings.get());      // CMC DIMTFILLCLR
  }
  if (R2000p) {
    Bits(2);                // B DIMTOL DIMLIM
    Dim.Tih = D.ReadBit();  // B DIMTIH
    Dim.Toh = D.ReadBit();  // B DIMTOH
    Dim.SE1 = D.ReadBit();  // B DIMSE1
    Dim.SE2 = D.ReadBit();  // B DIMSE2
    Dim.Tad = D.ReadBS();   // BS DIMTAD
    SkipBS(2);              // BS DIMZIN DIMAZIN
    if (R2007p) (void)D.ReadBS();  // BS DIMARCSYM
  }
  Dim.Txt = D.ReadBD();   // BD DIMTXT
  Dim.Cen = D.ReadBD();   // BD DIMCEN
  (void)D.ReadBD();       // BD DIMTSZ
  Dim.AltF = D.ReadBD();  // BD DIMALTF
  Dim.LFac = D.ReadBD();  // BD DIMLFAC
  SkipBD(2);              // BD DIMTVP DIMTFAC
  Dim.Gap = D.ReadBD();   // BD DIMGAP
  if (R13_14) {
    Dim.Post = TV();   // TV DIMPOST
    Dim.APost = TV();  // TV DIMAPOST
    // Arrow blocks by name are resolved with the dimension styles.
    SkipTV(3);  // TV DIMBLK DIMBLK1 DIMBLK2
  }
  if (R2000p) {
    (void)D.ReadBD();       // BD DIMALTRND
    Dim.Alt = D.ReadBit();  // B DIMALT
    (void)D.ReadBS();       // BS DIMALTD
    Bits(1);                // B DIMTOFL
    Dim.Sah = D.ReadBit();  // B DIMSAH
    Dim.Tix = D.ReadBit();  // B DIMTIX
    Bits(1);                // B DIMSOXD
  }
  Dim.ClrD = FColorReader->ReadColor(D, Strings.get());  // CMC DIMCLRD
  Dim.ClrE = FColorReader->ReadColor(D, Strings.get());  // CMC DIMCLRE
  Dim.ClrT = FColorReader->ReadColor(D, Strings.get());  // CMC DIMCLRT
  if (R2000p) {
    (void)D.ReadBS();       // BS DIMADEC
    Dim.Dec = D.ReadBS();   // BS DIMDEC
    SkipBS(6);              // BS DIMTDEC DIMALTU DIMALTTD DIMAUNIT DIMFRAC DIMLUNIT
    Dim.DSep = ClampDimDSep(D.ReadBS());  // BS DIMDSEP
    SkipBS(2);              // BS DIMTMOVE DIMJUST
    Dim.SD1 = D.ReadBit();  // B DIMSD1
    Dim.SD2 = D.ReadBit();  // B DIMSD2
    SkipBS(4);              // BS DIMTOLJ DIMTZIN DIMALTZ DIMALTTZ
    Bits(1);                // B DIMUPT
    (void)D.ReadBS();       // BS DIMATFIT
    if (R2007p) Bits(1);    // B DIMFXLON
    if (R2010p) {
      Bits(1);           // B DIMTXTDIRECTION
      (void)D.ReadBD();  // BD DIMALTMZF
      (void)TV();        // TV DIMALTMZS
      (void)D.ReadBD();  // BD DIMMZF
      (void)TV();        // TV DIMMZS
    }
    HH.DIMTXSTY = Hd();   // H DIMTXSTY
    HH.DIMLDRBLK = Hd();  // H DIMLDRBLK
    HH.DIMBLK = Hd();     // H DIMBLK
    HH.DIMBLK1 = Hd();    // H DIMBLK1
    HH.DIMBLK2 = Hd();    // H DIMBLK2
    if (R2007p) SkipH(3);  // H DIMLTYPE DIMLTEX1 DIMLTEX2
    Dim.LwD = LineWeightByIndex(D.ReadBS());  // BS DIMLWD
    Dim.LwE = LineWeightByIndex(D.ReadBS());  // BS DIMLWE
  }
  if (!Commit()) return false;

  // ---- tables and dictionaries
  {
    const std::uint64_t Block = Hd(), Layer = Hd(), Style = Hd(), LType = Hd();  // H x4 controls
    const std::uint64_t View = Hd(), UCS = Hd();                                 // H view, UCS controls
    const std::uint64_t VPort = Hd(), AppID = Hd(), DimStyle = Hd();             // H vport, appid, dimstyle
    if (V <= acR2000) (void)Hd();                                                // H viewport entity header control
    const std::uint64_t Group = Hd(), MLStyles = Hd(), Named = Hd();  // H ACAD_GROUP, ACAD_MLINESTYLE, named objects
    if (!Good()) return false;
    FBlockControl = Block;
    FLayerControl = Layer;
    FStyleControl = Style;
    FLTypeControl = LType;
    FViewControl = View;
    FUCSControl = UCS;
    FVPortControl = VPort;
    FAppIDControl = AppID;
    FDimStyleControl = DimStyle;
    FGroupDict = Group;
    FMLStylesDict = MLStyles;
    FNamedObjects = Named;
  }
  if (R2000p) {
    SkipBS(2);                              // BS TSTACKALIGN TSTACKSIZE
    SkipTV(2);                              // TV HYPERLINKBASE STYLESHEET
    const std::uint64_t Layouts = Hd();     // H ACAD_LAYOUT
    const std::uint64_t PlotSet = Hd();     // H ACAD_PLOTSETTINGS
    const std::uint64_t PlotStyles = Hd();  // H ACAD_PLOTSTYLENAME
    std::uint64_t Materials = 0, Colors = 0;
    if (R2004p) {
      Materials = Hd();  // H ACAD_MATERIAL
      Colors = Hd();     // H ACAD_COLOR
    }
    if (R2007p) (void)Hd();  // H ACAD_VISUALSTYLE
    if (R2013p) (void)Hd();  // H unknown
    const std::int32_t Flags = D.ReadBL();  // BL flags: CELWEIGHT in the low five bits
    const int InsUnits = D.ReadBS();        // BS INSUNITS
    const int PsType = D.ReadBS();          // BS CEPSNTYPE
    if (PsType == 3) (void)Hd();            // H CPSNID
    SkipTV(2);                              // TV FINGERPRINTGUID VERSIONGUID
    int XClip = HV.XClipFrame;
    if (R2004p) {
      D.Skip(24);             // RC SORTENTS INDEXCTL HIDETEXT
      XClip = D.ReadRC();     // RC XCLIPFRAME
      D.Skip(16);             // RC DIMASSOC HALOGAP
      SkipBS(2);              // BS OBSCUREDCOLOR INTERSECTIONCOLOR
      D.Skip(16);             // RC OBSCUREDLTYPE INTERSECTIONDISPLAY
      (void)TV();             // TV PROJECTNAME
    }
    if (!Good()) return false;
    FLayoutsDict = Layouts;
    FPlotSettingsDict = PlotSet;
    FPlotStylesDict = PlotStyles;
    FMaterialDict = Materials;
    FColors = Colors;
    HV.CELWeight = LineWeightByIndex(Flags & 0x1F);
    HV.InsUnits = InsUnits;
    HV.XClipFrame = static_cast<std::uint8_t>(XClip);
  }
  {
    const std::uint64_t Paper = Hd(), Model = Hd();                       // H *PAPER_SPACE, *MODEL_SPACE records
    const std::uint64_t ByLayer = Hd(), ByBlock = Hd(), Continuous = Hd();  // H BYLAYER BYBLOCK CONTINUOUS
    if (!Good()) return false;
    FPaperSpaceRecord = Paper;
    FModelSpaceRecord = Model;
    FLTByLayer = ByLayer;
    FLTByBlock = ByBlock;
    FLTContinious = Continuous;
  }
  return Commit();
  };
  const bool Complete = Body();
  FHeaderHandles = HH;
  FHeaderRead = Complete;
  if (!Complete) Warn("DWG header variables cut short: the rest left at their defaults");
  (void)Inline;
}

// ---------------------------------------------------------------- classes

void TdwgReader::ReadClasses(const TdwgLocator& L) {
  TdwgBitCursor Sec = SectionCursor(L);
  std::uint8_t Sentinel[16] = {};
  if (!Sec.ReadBytes(Sentinel, 16) || std::memcmp(Sentinel, cnstDWGClassesSentinel, 16) != 0) {
    Warn("DWG classes section at " + std::to_string(L.Seeker) + ": no sentinel, classes skipped");
    return;
  }
  const std::uint64_t S = Sec.ReadRL();  // RL size in bytes
  // 64-bit: a section below 20 bytes must not wrap the test.
  if (S <= 19 || S + 20 > L.Size) {
    Warn("DWG classes section at " + std::to_string(L.Seeker) + ": size " + std::to_string(S) +
         " does not fit the section, classes skipped");
    return;
  }
  if (LateSized() && Sec.ReadRL() != 0)  // RL high size
    throw EdwgError("Unexpected error has occurred while DWG file decompressing");
  const std::uint64_t DataAt = Sec.Position();
  // Reads may use all s bytes; a record starts only before the last 20 bits.
  // The s bytes follow the size field (both words of it when late-sized).
  const std::uint64_t End = std::min(DataAt + S * 8, Sec.End());
  const std::uint64_t LoopEnd = End - 20;
  TdwgBitCursor D = Sec.Sub(DataAt, End);
  TdwgBitCursor Str = D;
  if (FVersion >= acR2007) {
    const std::uint64_t BitSizeAt = D.Position();
    const std::uint64_t BitSize = std::min<std::uint64_t>(D.ReadRL(), S * 8);  // RL size in bits
    const std::uint64_t E = std::min(BitSizeAt + BitSize, D.End());
    const TdwgStringStream SS = LocateStringStream(D, DataAt, E);
    Str = SS.Present ? D.Sub(SS.Begin, SS.End) : D.Sub(E, E);
    D.SetEnd(SS.Present ? SS.Begin : E);
  }
  if (FVersion >= acR2004) {
    (void)D.ReadBS();  // BS max class number
    (void)D.ReadRC();  // RC
    (void)D.ReadRC();  // RC
    (void)D.ReadBit();  // B
  }
  std::unique_ptr<TdwgStringReader> Strings = CreateStringReader(FVersion, FVersion >= acR2007 ? &Str : &D,
                                                                 FCodePage, true);
  while (D.Position() < LoopEnd && D.BitsLeft() >= 20 && D.Ok()) {
    TdwgClass K;
    K.Number = D.ReadBS();      // BS class number
    K.ProxyFlags = D.ReadBS();  // BS proxy flags
    if (FVersion >= acR2007) {
      // Each name only while the string stream still holds one.
      if (Str.BitsLeft() >= 8) K.AppName = Strings->ReadT();  // TU application name
      if (Str.BitsLeft() >= 8) K.CppName = Strings->ReadT();  // TU class name
      if (Str.BitsLeft() >= 8) K.DXFName = Strings->ReadT();  // TU DXF name
    } else {
      K.AppName = Strings->ReadT();  // TV application name
      K.CppName = Strings->ReadT();  // TV class name
      K.DXFName = Strings->ReadT();  // TV DXF name
    }
    K.WasZombie = D.ReadBit();   // B was a zombie
    K.ItemClassID = D.ReadBS();  // BS item class id
    if (FVersion >= acR2004) {
      (void)D.ReadBL();  // BL number of objects
      (void)D.ReadBL();  // BL dwg version
      (void)D.ReadBL();  // BL maintenance version
      (void)D.ReadBL();  // BL unknown
      (void)D.ReadBL();  // BL unknown
    }
    if (!D.Ok() || !Str.Ok()) {
      Warn("DWG classes section cut short after " + std::to_string(FClasses.size()) + " classes");
      break;
    }
    if (K.Number < 500) continue;  // numbers below 500 are the fixed types
    if (FClasses.size() >= TdwgLimits::MaxClasses) {
      Warn("DWG classes section: more than " + std::to_string(TdwgLimits::MaxClasses) + " classes, the rest skipped");
      break;
    }
    FClasses.push_back(std::move(K));
  }
}

// ---------------------------------------------------------------- object map

void TdwgReader::ReadObjectMap(const TdwgLocator& L) {
  const TdwgBitCursor Sec = SectionCursor(L);
  const std::size_t Begin = static_cast<std::size_t>(Sec.Begin() >> 3);
  const std::size_t End = static_cast<std::size_t>(Sec.End() >> 3);
  // From R2004 on the rebuilt image places the objects after the map.
  const std::int64_t Base = FVersion >= acR2004 ? static_cast<std::int64_t>(End) : 0;
  std::size_t P = Begin;
  std::size_t Blocks = 0;
  while (P + 2 <= End) {
    const std::size_t Size = (static_cast<std::size_t>(FImage[P]) << 8) | FImage[P + 1];  // RS, big-endian
    if (Size <= 2) break;
    // A block crossing the end of the section is damage: keep the entries so far.
    if (Size > TdwgLimits::MaxMapBlockBytes || P + Size > End) {
      Warn("DWG object map: block " + std::to_string(Blocks) + " at " + std::to_string(P) + " (" +
           std::to_string(Size) + " bytes) crosses the end of its section; " + std::to_string(FObjMap.Count()) +
           " entries kept");
      break;
    }
    TdwgBitCursor B = Sec.Sub(static_cast<std::uint64_t>(P + 2) * 8, static_cast<std::uint64_t>(P + Size) * 8);
    std::uint64_t Handle = 0;
    std::int64_t Location = Base;
    while (B.BitsLeft() > 0) {
      const std::uint64_t DH = B.ReadUMC();  // UMC handle offset
      const std::int32_t DL = B.ReadMC();    // MC location offset
      if (B.Overflow()) {
        Warn("DWG object map: block " + std::to_string(Blocks) + " at " + std::to_string(P) + " is damaged");
        break;
      }
      Handle += DH;
      Location += DL;
      FObjMap.Add(Handle, Location);
    }
    ++Blocks;
    P += Size + 2;  // RS CRC after each block
  }
  const std::size_t Dropped = FObjMap.Sort();
  if (Dropped)
    Warn("DWG object map: " + std::to_string(Dropped) + " handles listed more than once (the last entry kept)");
}

bool TdwgReader::ObjectData(std::size_t AIndex, TdwgBitCursor& AData, std::string& AError) const {
  TdwgObjectEnvelope E;
  if (!ObjectEnvelope(AIndex, E, AError)) return false;
  AData = E.Data;
  return true;
}

bool TdwgReader::ObjectEnvelope(std::size_t AIndex, TdwgObjectEnvelope& AOut, std::string& AError) const {
  if (AIndex >= FObjMap.Count()) {
    AError = "no such object";
    return false;
  }
  const std::int64_t Loc = FObjMap[AIndex].Location;
  if (Loc < 0 || static_cast<std::uint64_t>(Loc) >= FSize) {
    AError = "object location " + std::to_string(Loc) + " outside the file";
    return false;
  }
  TdwgBitCursor C(FImage, FSize, FVersion);
  C.SetPosition(static_cast<std::uint64_t>(Loc) * 8);
  const std::uint64_t S = C.ReadMS();  // MS size
  // R2010 on: the handle stream's size in bits; the size counts the bytes after it.
  const std::uint64_t HandleBits = FVersion >= acR2010 ? C.ReadUMC() : 0;  // UMC handle-stream size
  const std::uint64_t Start = C.Position();
  // The data and its CRC lie within the image.
  if (C.Overflow() || S * 8 + 16 > C.BitsLeft()) {
    AError = "object at " + std::to_string(Loc) + " of " + std::to_string(S) + " bytes runs past the end of the file";
    return false;
  }
  if (HandleBits > S * 8) {
    AError = "object at " + std::to_string(Loc) + ": its handle stream (" + std::to_string(HandleBits) +
             " bits) is larger than the object";
    return false;
  }
  AOut.Data = C.Sub(Start, Start + S * 8);
  AOut.Start = Start;
  AOut.End = Start + S * 8;
  AOut.HandlesAt = FVersion >= acR2010 ? AOut.End - HandleBits : 0;
  return true;
}

// ---------------------------------------------------------------- measurement

void TdwgReader::ReadMeasurement(const TdwgLocator& L) {
  TdwgBitCursor Sec = SectionCursor(L);
  if (L.Size < 4) {
    Warn("DWG measurement section shorter than its value, skipped");
    return;
  }
  const std::uint32_t M = Sec.ReadRL();  // RL MEASUREMENT
  FConverter->HeadVarStruct().Measurement = M != 0;
  FMillimetres = M != 0 ? 1 : 0;
}

// ---------------------------------------------------------------- summary, template

void TdwgReader::ReadSummaryInfo(const TdwgLocator& L) {
  (void)SectionCursor(L);
  std::unique_ptr<TqdDWGBits> B = CreateDWGBits(FVersion, 0);
  if (!B) {
    Warn("DWG summary information of this release is not read");
    return;
  }
  B->CreateFromMemory(FImage + L.Seeker, L.Size);
  TqdDXFConverter& C = *FConverter;
  C.ClearDrawingProp();
  static constexpr int cnstKeys[8] = {2, 3, 4, 7, 6, 8, 9, 1};  // title ... hyperlink base
  std::string Texts[8];
  for (std::string& T : Texts) T = B->ReadSummaryInfoText(FCodePage);
  std::int64_t Days = 0, Ms = 0;
  B->ReadJulianDateIntAsTimeStamp(Days, Ms);  // RL, RL total editing time
  const std::int64_t Created = B->ReadJulianDateIntAsDateTime();   // RL, RL
  const std::int64_t Modified = B->ReadJulianDateIntAsDateTime();  // RL, RL
  if (!B->Bits().Ok()) {
    Warn("DWG summary information cut short");
    return;
  }
  for (int I = 0; I < 8; ++I) C.SetDrwProp(cnstKeys[I], Texts[I]);
  if (Days >= 0 && Days <= cnstDWGMaxJulianDay && Ms >= 0 && Ms < cnstMsPerDay)
    C.FDrwPropTotalEditingTime = Days * 86400 + Ms / 1000;
  if (Created) C.FDrwPropCreatedDateTime = Created;
  if (Modified) C.FDrwPropModifiedDateTime = Modified;
  const int Count = B->ReadRS() & 0xFFFF;  // RS custom properties
  for (int I = 0; I < Count && B->Bits().Ok(); ++I) {
    const std::string Name = B->ReadSummaryInfoText(FCodePage);
    const std::string Value = B->ReadSummaryInfoText(FCodePage);
    if (!B->Bits().Ok()) break;
    C.CustomSummaryInfoAdd(Name, Value);
  }
  if (!B->Bits().Ok()) Warn("DWG summary information cut short");
}

void TdwgReader::ReadTemplate(const TdwgLocator& L) {
  TdwgBitCursor C = SectionCursor(L);
  const std::uint64_t N = C.ReadRSU();  // RS description length
  C.Skip(static_cast<std::int64_t>(N * (FVersion >= acR2007 ? 16 : 8)));  // the description
  if (C.BitsLeft() >= 16) {
    const int M = C.ReadRSU();  // RS MEASUREMENT
    FConverter->HeadVarStruct().Measurement = M != 0;
    FMillimetres = M != 0 ? 1 : 0;
  }
}

void TdwgReader::ReadDataSegments(const TdwgLocator& L) {
  (void)SectionCursor(L);
  auto F = std::make_unique<TqdSegmentedFile>();
  F->CreateFromMemory(FConverter, L.Size, FImage + L.Seeker);
  try {
    F->ReadFile();
  } catch (const std::exception& X) {
    Warn(std::string("DWG data-segment file: ") + X.what());
    return;
  }
  for (const std::string& P : F->Problems()) Warn("DWG data-segment file: " + P);
  FSegmentedFile = std::move(F);
}

// ---------------------------------------------------------------- load

namespace {

// Walks the object envelopes the map names: what lies outside the file or fails its
// CRC, and the type of every object (-1 where the envelope does not fit).
std::vector<int> CheckObjects(const TdwgReader& R, const std::uint8_t* AImage, TqdDrawingLoader& ALoader) {
  const TqdObjectsMap& M = R.ObjMap();
  std::vector<int> Types(M.Count(), -1);
  std::size_t Outside = 0, BadCRC = 0, Unchecked = 0;
  std::size_t CRCBudget = 2 * static_cast<std::size_t>(R.ImageSize());
  std::string First;
  for (std::size_t I = 0; I < M.Count(); ++I) {
    TdwgBitCursor D;
    std::string E;
    if (!R.ObjectData(I, D, E)) {
      if (First.empty()) First = E;
      ++Outside;
      continue;
    }
    const std::size_t Loc = static_cast<std::size_t>(M[I].Location);
    const std::size_t Bytes = static_cast<std::size_t>(D.End() >> 3) - Loc;
    const std::uint8_t* P = AImage + Loc;
    // Sound objects do not overlap, so their checks cover the image about once; a
    // damaged map whose objects overlap would make this quadratic.
    if (Bytes <= CRCBudget) {
      CRCBudget -= Bytes;
      const std::uint16_t Stored = static_cast<std::uint16_t>(P[Bytes] | (P[Bytes + 1] << 8));
      if (CRC8(cnstDWGCRCSeed, P, Bytes) != Stored) ++BadCRC;
    } else {
      ++Unchecked;
    }
    const int Type = D.ReadOT();  // BS (OT from R2010) object type
    if (D.Ok()) Types[I] = Type;
  }
  if (Outside)
    ALoader.Warn("DWG object map: " + std::to_string(Outside) + " objects outside the file (first: " + First + ")");
  if (BadCRC) ALoader.Warn("DWG objects: " + std::to_string(BadCRC) + " fail their CRC");
  if (Unchecked)
    ALoader.Warn("DWG objects: " + std::to_string(Unchecked) + " overlap others and were not checked");
  return Types;
}

// Entities that were read but did not become drawing items, by type.
void NoteUndecoded(const TdwgReader& R, const std::vector<int>& ATypes, TqdDrawingLoader& ALoader) {
  const TqdObjectsMap& M = R.ObjMap();
  std::map<std::string, int> NotDrawn;
  std::size_t Objects = 0, Entities = 0;
  for (std::size_t I = 0; I < M.Count(); ++I) {
    if (ATypes[I] < 0 || R.Decoded().count(M[I].Handle)) continue;
    ++Objects;
    TdwgTypeInfo T = DWGObjectType(ATypes[I]);
    std::string Name = T.Name;
    if (ATypes[I] >= 500)
      for (const TdwgClass& K : R.Classes())
        if (K.Number == ATypes[I]) {
          Name = K.DXFName;
          T.Entity = K.ItemClassID == 0x1F2;
          break;
        }
    if (!T.Entity || T.Sub || Name.empty()) continue;
    ++Entities;
    ++NotDrawn[Name];
  }
  if (Objects)
    ALoader.Warn("DWG objects are not decoded yet: " + std::to_string(Objects) + " objects (" +
                 std::to_string(Entities) + " entities) in the file are not loaded");
  for (const auto& [Name, N] : NotDrawn) ALoader.NoteNotDrawn(Name, N);
}

} // namespace

TdwgLoadResult LoadDWGFromMemory(const void* AData, std::size_t ASize, TqdDXFConverter& AConverter,
                                 const TdwgLoadOptions& AOptions) {
  TdwgLoadResult R;
  R.Format = "dwg";
  const auto T0 = std::chrono::steady_clock::now();
  const auto Done = [&] {
    R.LoadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
    return R;
  };
  const auto* Image = static_cast<const std::uint8_t*>(AData);
  if (!Image) ASize = 0;
  const TdwgVersionInfo Info = DWGVersionFromBytes(Image, ASize);
  R.Version = Info.Text;
  if (Info.Class != vcSupported) {
    R.Error = UnsupportedVersionMessage(Info);
    return Done();
  }
  if (ASize > TdwgLimits::MaxImageBytes) {
    R.Error = "DWG file of " + std::to_string(ASize) + " bytes is larger than the reader takes";
    return Done();
  }
  if (ASize < TdwgLimits::FileHeaderBytes) {
    R.Error = DWGCutShortMessage(ASize, "the end of its header");
    return Done();
  }
  if (Info.Version >= acR2004) {
    // The container needs its fixed header (0x80) and the page header after it.
    if (ASize < TdwgLimits::MinR2004FileBytes) {
      R.Error = DWGCutShortMessage(ASize, "the end of its header");
      return Done();
    }
    if (Image[24] != 0) {
      R.Error = "Encrypted by password";
      return Done();
    }
  }
  if (IsDWG12Release(Info)) {
    LoadDWG12(Image, ASize, Info, AConverter, AOptions, R);
    return Done();
  }
  if (Info.Version < acR13) {
    R.Error = NotSupportedYetMessage(Info);
    return Done();
  }
  // From R2004 on the container rebuilds the R2000 layout, which the reader takes
  // in place of the file.
  TdwgContainerImage Rebuilt;
  TqdDWGMeatadata Metadata;
  if (Info.Version >= acR2004) {
    (void)ReadDWGMetadata(Image, ASize, Metadata);
    try {
      if (Info.Version == acR2007)
        ReadDWG2007Container(Image, ASize, Rebuilt);
      else
        ReadDWG2004Container(Image, ASize, Info.Version, Rebuilt);
    } catch (const std::exception& X) {
      R.Error = X.what();
      R.Warnings = Rebuilt.Warnings;
      return Done();
    }
  }
  const std::uint8_t* Source = Info.Version >= acR2004 ? Rebuilt.Data.data() : Image;
  const std::size_t SourceSize = Info.Version >= acR2004 ? Rebuilt.Size : ASize;
  AConverter.Clear();
  AConverter.ResetHeader();
  AConverter.HeadVarStruct().Version = static_cast<std::uint8_t>(Info.Version);
  AConverter.SetSourceView(Source, SourceSize);
  TdwgReader Reader(AConverter, Source, SourceSize, Info.Version);
  Reader.SetRecordNames(AOptions.RecordNames);
  if (Info.Version >= acR2004) {
    Reader.SetMetadata(Metadata);
    Reader.SetImageDone([&Rebuilt] { std::vector<std::uint8_t>().swap(Rebuilt.Data); });
  }
  for (const std::string& W : Rebuilt.Warnings) Reader.Warn(W);
  Reader.NoteOwnDictionaries();
  AConverter.SetLoadingState(true, 0);
  if (AOptions.OnProgress) AOptions.OnProgress(0, ASize);
  try {
    Reader.ReadFile();
    R.Ok = true;
  } catch (const std::exception& X) {
    R.Error = X.what();
  }
  if (Reader.MaxHandle() > AConverter.FMaxHandle) AConverter.FMaxHandle = Reader.MaxHandle();
  if (R.Ok) {
    const std::vector<int> Types = CheckObjects(Reader, Source, Reader);
    try {
      Reader.ReadObjects(Types);
    } catch (const std::exception& X) {
      Reader.Warn(std::string("DWG objects: ") + X.what());
    }
    if (!Reader.ObjectsLoaded()) NoteUndecoded(Reader, Types, Reader);
  }
  if (!Reader.ObjectsLoaded()) Reader.Complete(ASize);
  R.Warnings = Reader.Warnings();
  R.Warnings.insert(R.Warnings.end(), Reader.ObjectWarnings().begin(), Reader.ObjectWarnings().end());
  R.Names = std::move(Reader.ObjectNames());
  R.Millimetres = Reader.Millimetres();
  // Named as DXF files name it in $DWGCODEPAGE.
  if (Reader.CodePage() > 0) R.CodePageName = "ANSI_" + std::to_string(Reader.CodePage());
  R.Cancelled = AConverter.LoadingStopped();
  if (AOptions.OnProgress) AOptions.OnProgress(ASize, ASize);
  AConverter.DropSource();
  return Done();
}

namespace {

TqdLoadResult LoadDWGDrawing(const void* AData, std::size_t ASize, TqdDXFConverter& AConverter,
                             const TqdLoadOptions& AOptions) {
  return LoadDWGFromMemory(AData, ASize, AConverter, AOptions);
}

} // namespace

void RegisterDWGReader() {
  RegisterDatabaseClasses();
  qdRegisterDrawingReader("dwg", LoadDWGDrawing, false);
}
