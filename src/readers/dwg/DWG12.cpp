#include "DWG12.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "Blocks.h"
#include "Curves.h"
#include "Dimensions.h"
#include "Entities.h"
#include "ExtData.h"
#include "Faces.h"
#include "Inserts.h"
#include "Objects.h"
#include "Polylines.h"
#include "TableItems.h"
#include "Texts.h"
#include "qdCodePages.h"

namespace {

constexpr double cRadToDeg = 57.29577951308232;

// Record types.
enum : int {
  rtLine = 1, rtPoint = 2, rtCircle = 3, rtShape = 4, rtText = 7, rtArc = 8, rtTrace = 9, rtSolid = 11,
  rtBlock = 12, rtEndBlk = 13, rtInsert = 14, rtAttdef = 15, rtAttrib = 16, rtSeqEnd = 17, rtPolyline = 19,
  rtVertex = 20, rt3dLine = 21, rt3dFace = 22, rtDimension = 23, rtViewport = 24
};

// Types read and passed over: noted so that the content is not lost silently.
const char* NotDrawnName(int AType) {
  switch (AType) {
    case rtShape: return "SHAPE";
    default: return nullptr;
  }
}

std::string Upper(std::string_view S) { return UpperNameText(S); }

// "*PAPER_SPACE" or "*PAPER_SPACE" and a whole number of at least -1 ("$" as "*").
bool IsPaperSpaceName(std::string_view AName) {
  std::string N = Upper(AName);
  if (!N.empty() && N[0] == '$') N[0] = '*';
  constexpr std::string_view P = "*PAPER_SPACE";
  if (N.compare(0, P.size(), P) != 0) return false;
  std::string_view Rest = std::string_view(N).substr(P.size());
  if (Rest.empty()) return true;
  if (Rest == "-1") return true;
  return Rest.size() <= 9 && std::all_of(Rest.begin(), Rest.end(), [](char C) { return C >= '0' && C <= '9'; });
}

bool IsModelSpaceName(std::string_view AName) {
  std::string N = Upper(AName);
  if (!N.empty() && N[0] == '$') N[0] = '*';
  return N == "*MODEL_SPACE";
}

std::string Ansi(const std::string& S) { return CodePageToUTF8(cpSystemANSI, S); }

// The colour index of a layer entry: negative turns the layer off; the index stays
// within the palette (else white).
int LayerColorIndex(int ARaw, bool& AOff) {
  AOff = ARaw < 0;
  const int A = ARaw < 0 ? -ARaw : ARaw;  // ARaw is 16 bits wide: no overflow in int
  return A >= 1 && A <= 255 ? A : 7;
}

} // namespace

// ---------------------------------------------------------------- cursor

bool Tdwg12Cursor::Take(std::size_t N) {
  if (FBad || Left() < N) {
    FBad = true;
    FPos = FEnd;
    return false;
  }
  return true;
}

int Tdwg12Cursor::RC() {
  if (!Take(1)) return 0;
  return FImage[FPos++];
}

int Tdwg12Cursor::RS() {
  if (!Take(2)) return 0;
  const int V = FImage[FPos] | (FImage[FPos + 1] << 8);
  FPos += 2;
  return V;
}

int Tdwg12Cursor::RSS() { return static_cast<std::int16_t>(static_cast<std::uint16_t>(RS())); }

std::uint32_t Tdwg12Cursor::RL() {
  if (!Take(4)) return 0;
  std::uint32_t V = 0;
  for (int I = 3; I >= 0; --I) V = (V << 8) | FImage[FPos + static_cast<std::size_t>(I)];
  FPos += 4;
  return V;
}

double Tdwg12Cursor::RD() {
  if (!Take(8)) return 0;
  std::uint64_t B = 0;
  for (int I = 7; I >= 0; --I) B = (B << 8) | FImage[FPos + static_cast<std::size_t>(I)];
  FPos += 8;
  double D;
  std::memcpy(&D, &B, sizeof D);
  return std::isfinite(D) ? D : 0;
}

TFPoint Tdwg12Cursor::Point2(double AZ) {
  const double X = RD(), Y = RD();
  return {X, Y, AZ};
}

TFPoint Tdwg12Cursor::Point3() {
  const double X = RD(), Y = RD(), Z = RD();
  return {X, Y, Z};
}

std::string Tdwg12Cursor::String(std::size_t AMax) {
  const std::size_t N = static_cast<std::size_t>(RS());
  if (!Take(N)) return {};
  const std::size_t K = std::min(N, AMax);
  std::string S(reinterpret_cast<const char*>(FImage + FPos), K);
  FPos += N;
  if (const std::size_t Z = S.find('\0'); Z != std::string::npos) S.resize(Z);
  return Ansi(S);
}

std::string Tdwg12Cursor::Fixed(std::size_t N) {
  if (!Take(N)) return {};
  const auto* P = reinterpret_cast<const char*>(FImage + FPos);
  const std::size_t L = strnlen(P, N);
  FPos += N;
  return Ansi(std::string(P, L));
}

void Tdwg12Cursor::Skip(std::size_t N) {
  if (Take(N)) FPos += N;
}

// ---------------------------------------------------------------- reader

Tdwg11Reader::Tdwg11Reader(TqdDXFConverter& AConverter, const std::uint8_t* AImage, std::size_t ASize,
                           TqdDWGVersion AVersion)
    : TqdDrawingLoader(&AConverter), FImage(AImage), FSize(ASize), FVersion(AVersion) {}

Tdwg11Reader::~Tdwg11Reader() = default;

void Tdwg11Reader::PushElevation(double Z) {
  // Sound files nest at most four records deep; deeper ones replace the top value.
  if (FElevIndex < Tdwg12Limits::ElevationPlaces - 1) ++FElevIndex;
  FElevations[static_cast<std::size_t>(FElevIndex)] = Z;
}

void Tdwg11Reader::PopElevation() {
  if (FElevIndex > 0) --FElevIndex;
}

void Tdwg11Reader::Progress(std::size_t AAdd) {
  FDone += AAdd;
  if (FOnProgress) FOnProgress(static_cast<std::size_t>(std::min(FDone, FCount)), static_cast<std::size_t>(FCount));
}

void Tdwg11Reader::ReadHeader() {
  if (FSize < Tdwg12Limits::HeaderBytes) throw EqdError(DWGCutShortMessage(FSize, "the end of its header"));
  Tdwg12Cursor C(FImage, 20, Tdwg12Limits::HeaderBytes);
  FHeader.Entities = C.RL();
  FHeader.EntEnd = C.RL();
  FHeader.Blocks = C.RL();
  (void)C.RL();
  FHeader.BlockEnd = C.RL();
  (void)C.RL();
  for (Tdwg12TableRecord* T : {&FHeader.BlockRecords, &FHeader.Layers, &FHeader.Styles, &FHeader.LTypes, &FHeader.View}) {
    T->Size = C.RS();
    T->Count = C.RS();
    (void)C.RS();
    T->Start = C.RL();
  }
  if (FHeader.BlockEnd == 0) FHeader.BlockEnd = static_cast<std::uint32_t>(FSize);
  // Header values: 94 + offset within them.
  TqdHeadVarStruct& H = FConverter->HeadVarStruct();
  Tdwg12Cursor V(FImage, 94 + 2, Tdwg12Limits::HeaderBytes);
  H.InsBase = V.Point3();
  H.ExtMim = V.Point3();
  H.ExtMax = V.Point3();
  Tdwg12Cursor S(FImage, 94 + 212, Tdwg12Limits::HeaderBytes);
  const double LTScale = S.RD(), TextSize = S.RD();
  if (LTScale > 0) H.LTScale = LTScale;
  if (TextSize > 0) H.TextSize = TextSize;
  // Descriptors beyond the header; a file too short for one has that table empty.
  auto Desc = [&](std::size_t At, Tdwg12TableRecord& T) {
    Tdwg12Cursor P(FImage, At, FSize);
    if (P.Left() < 10) return false;
    T.Size = P.RS();
    T.Count = P.RS();
    (void)P.RS();
    T.Start = P.RL();
    return true;
  };
  if (!IsR9() && !Desc(Tdwg12Limits::VPortDescriptor, FVPortTableRecord))
    Warn("DWG file too short for its VPORT table descriptor");
  if (WideLTypeIndex()) {
    // R11/R12 keep the application-id and dimension-style descriptors and TILEMODE
    // after the VPORT descriptor.
    Desc(Tdwg12Limits::AppIDDescriptor, FAppIDTableRecord);
    Desc(Tdwg12Limits::DimStyleDescriptor, FDimStyleTableRecord);
    Tdwg12Cursor TM(FImage, Tdwg12Limits::TileModeOffset, FSize);
    const int TileMode = TM.RS();
    if (!TM.Bad()) H.TileMode = TileMode != 0 ? 1 : 0;
  }
  // Clamped terms: a damaged header never gives a negative or empty total.
  auto Span = [](std::uint32_t A, std::uint32_t B) -> std::uint64_t { return B > A ? B - A : 0; };
  std::uint64_t T = 0;
  for (const Tdwg12TableRecord* R : {&FHeader.BlockRecords, &FHeader.Layers, &FHeader.Styles, &FHeader.LTypes,
                                     &FVPortTableRecord, &FAppIDTableRecord, &FDimStyleTableRecord})
    T += static_cast<std::uint64_t>(R->Size) * static_cast<std::uint64_t>(R->Count);
  T += Span(FHeader.Entities, FHeader.EntEnd) + Span(FHeader.Blocks, FHeader.BlockEnd);
  FCount = std::max<std::uint64_t>(T, 1);
}

template <class F>
void Tdwg11Reader::ForEachEntry(const Tdwg12TableRecord& T, const char* AName, std::size_t AMin, F Entry) {
  if (T.Count == 0) return;
  if (static_cast<std::size_t>(T.Size) < AMin) {
    Warn(std::string("DWG ") + AName + " table: entries of " + std::to_string(T.Size) + " bytes are too small, table skipped");
    return;
  }
  const std::uint64_t Start = T.Start, Size = static_cast<std::uint64_t>(T.Size);
  const std::uint64_t Limit = Start + static_cast<std::uint64_t>(T.Count) * Size - 32;
  int Cut = 0;
  for (int I = 0; I < T.Count && !Stopped(); ++I) {
    const std::uint64_t At = Start + static_cast<std::uint64_t>(I) * Size;
    if (At >= Limit) break;
    if (At + Size > FSize) {
      Cut = T.Count - I;
      break;
    }
    Tdwg12Cursor C(FImage, static_cast<std::size_t>(At), static_cast<std::size_t>(At + Size));
    Entry(I, C);
    Progress(static_cast<std::size_t>(Size));
  }
  if (Cut) Warn(std::string("DWG ") + AName + " table: " + std::to_string(Cut) + " entries lie beyond the file");
}

TqdDXFBlock* Tdwg11Reader::NewBlock(const std::string& AName) {
  TqdDXFConverter* C = FConverter;
  TqdDXFEntity* Blocks = C->GetOrCreateSection(csBlocks);
  C->GetOrCreateSection(csBlockRecords);
  if (!Blocks) return nullptr;
  if (TqdDXFBlock* B = C->BlockByName(AName)) return B;
  auto E = std::make_unique<TqdDXFBlock>();
  TqdDXFBlock* B = E.get();
  C->DoCreate(B);
  B->SetConverter(C);
  B->SetName(AName);
  std::unique_ptr<TqdDXFEntity> Item = std::move(E);
  if (!SafeAdd(Blocks, Item)) return nullptr;
  C->CheckEntityHandle(B);
  C->CheckEntityHandle(B->BlockRecord());
  return B;
}

void Tdwg11Reader::AddLayout(const std::string& ABlockName, int AAt) {
  TqdDXFBlock* B = NewBlock(ABlockName);
  if (!B) return;
  const auto Pos = FLayouts.begin() + std::clamp<std::ptrdiff_t>(AAt, 0, static_cast<std::ptrdiff_t>(FLayouts.size()));
  FLayouts.insert(Pos, B);
}

void Tdwg11Reader::ReadBlockRecords() {
  const std::size_t N = static_cast<std::size_t>(NameBytes());
  std::vector<std::string> Names;
  std::vector<int> Flags;
  ForEachEntry(FHeader.BlockRecords, "block record", 1 + N + 4, [&](int I, Tdwg12Cursor& C) {
    const int F = C.RC();
    std::string Name = C.Fixed(N);
    const std::uint32_t Offset = C.RL() & 0x3FFFFFFF;
    if (IsModelSpaceName(Name) || IsPaperSpaceName(Name))
      if (Name[0] == '$') Name[0] = '*';
    const std::size_t Read = Names.size();
    if (F & 0x01) Name += std::to_string(Read);
    if (F & 0x80) Name += "*U" + std::to_string(Read);
    Names.push_back(Name);
    Flags.push_back(F);
    FBlockOffsets.resize(static_cast<std::size_t>(I) + 1, 0xFFFFFFFF);
    FBlockOffsets[static_cast<std::size_t>(I)] = Offset;
  });
  FBlockOffsets.resize(Names.size(), 0xFFFFFFFF);
  FBlockRecords.assign(Names.size(), nullptr);
  FBlockDefined.assign(Names.size(), false);
  // Layouts first: model space, then each paper-space record in table order.
  int Model = -1;
  for (std::size_t I = 0; I < Names.size() && Model < 0; ++I)
    if (IsModelSpaceName(Names[I])) Model = static_cast<int>(I);
  AddLayout("*[Model]", 0);
  if (Model >= 0 && !FLayouts.empty()) FBlockRecords[static_cast<std::size_t>(Model)] = FLayouts[0]->BlockRecord();
  for (std::size_t I = 0; I < Names.size(); ++I) {
    if (static_cast<int>(I) == Model) continue;
    if (IsPaperSpaceName(Names[I])) {
      ++FPaperRecords;
      const std::size_t Before = FLayouts.size();
      AddLayout("*[Layout" + std::to_string(FPaperRecords) + "]", static_cast<int>(FLayouts.size()));
      if (FLayouts.size() > Before) FBlockRecords[I] = FLayouts.back()->BlockRecord();
      continue;
    }
    if (Names[I].empty()) continue;
    TqdDXFBlock* B = FConverter->BlockByName(Names[I]);
    if (B) {
      Warn("DWG block records of duplicate names share one block");
      FBlockDefined[I] = true;  // the first record's definition stays
    } else {
      B = NewBlock(Names[I]);
    }
    if (!B) continue;
    B->SetFlags(Flags[I] & 0x7F);
    FBlockRecords[I] = B->BlockRecord();
  }
  if (FPaperRecords == 0) {
    FPaperRecords = 1;
    AddLayout("*[Layout1]", static_cast<int>(FLayouts.size()));
  }
}

void Tdwg11Reader::ReadStyles() {
  const std::size_t N = static_cast<std::size_t>(NameBytes());
  TqdDXFEntity* Table = FConverter->GetSection(csStyles);
  if (!Table) Table = FConverter->NewNamedTable("STYLE");
  ForEachEntry(FHeader.Styles, "text style", 1 + N + 8 * 3 + 1 + 8 + 128, [&](int I, Tdwg12Cursor& C) {
    const int F = C.RC();
    const std::string Name = C.Fixed(N);
    auto S = std::make_unique<TqdDXFStyle>();
    TqdDXFStyle* Raw = S.get();
    FConverter->DoCreate(Raw);
    Raw->SetConverter(FConverter);
    Raw->SetNameUnchecked(Name);
    Raw->SetFlags(F);
    Raw->FFixedHeight = C.RD();
    const double W = C.RD();
    if (W > 0) Raw->FWidthFactor = W;
    Raw->FObliqueAngle = C.RD() * cRadToDeg;
    Raw->FTextGenFlags = C.RC();
    Raw->FLastHeightUsed = C.RD();
    Raw->FPrimaryFont = C.Fixed(128);
    FStyles.resize(static_cast<std::size_t>(I) + 1, nullptr);
    TqdDXFEntity* Existing = Name.empty() ? nullptr : (Table ? Table->FindEntByName(Name) : nullptr);
    if (Existing) {
      FStyles[static_cast<std::size_t>(I)] = dynamic_cast<TqdDXFStyle*>(Existing);
    } else {
      std::unique_ptr<TqdDXFEntity> E = std::move(S);
      if (SafeAdd(Table, E)) {
        FConverter->CheckEntityHandle(Raw);
        FStyles[static_cast<std::size_t>(I)] = Raw;
      }
    }
    if (FStandardStyle < 0 && SameNameText(Name, "STANDARD")) FStandardStyle = I;
  });
}

void Tdwg11Reader::ReadLTypes() {
  const std::size_t N = static_cast<std::size_t>(NameBytes());
  TqdDXFEntity* Table = FConverter->GetSection(csLTypes);
  if (!Table) Table = FConverter->NewNamedTable("LTYPE");
  ForEachEntry(FHeader.LTypes, "linetype", 1 + N + 49 + 1 + 8, [&](int I, Tdwg12Cursor& C) {
    const int F = C.RC();
    const std::string Name = C.Fixed(N);
    const std::size_t DescAt = C.Pos();
    const std::string Desc = C.Fixed(48);
    C.Skip(49 - (C.Pos() - DescAt));
    int Dashes = C.RC();
    if (Dashes > 12) {
      Warn("DWG linetype: dash counts above 12 were cut to 12");
      Dashes = 12;
    }
    FLTypes.resize(static_cast<std::size_t>(I) + 1, nullptr);
    TqdDXFEntity* Existing = Table ? Table->FindEntByName(Name) : nullptr;
    if (Existing) {
      FLTypes[static_cast<std::size_t>(I)] = dynamic_cast<TqdDXFLineType*>(Existing);
      return;
    }
    auto T = std::make_unique<TqdDXFLineType>();
    TqdDXFLineType* Raw = T.get();
    FConverter->DoCreate(Raw);
    Raw->SetConverter(FConverter);
    Raw->SetNameUnchecked(Name);
    Raw->SetFlags(F);
    Raw->SetDescription(Desc);
    if (Dashes > 0) {
      (void)C.RD();  // pattern length
      for (int K = 0; K < Dashes && !C.Bad(); ++K) {
        TqdLineTypeElement El;
        El.Dash = C.RD();
        if (!C.Bad()) Raw->AddElement(El);
      }
    }
    std::unique_ptr<TqdDXFEntity> E = std::move(T);
    if (SafeAdd(Table, E)) {
      FConverter->CheckEntityHandle(Raw);
      FLTypes[static_cast<std::size_t>(I)] = Raw;
    }
  });
}

void Tdwg11Reader::ReadLayers() {
  const std::size_t N = static_cast<std::size_t>(NameBytes());
  TqdDXFEntity* Table = FConverter->GetSection(csLayers);
  if (!Table) Table = FConverter->NewNamedTable("LAYER");
  ForEachEntry(FHeader.Layers, "layer", 1 + N + 4, [&](int I, Tdwg12Cursor& C) {
    const int F = C.RC();
    const std::string Name = C.Fixed(N);
    const int Raw = C.RSS();
    const int LT = C.RSS();
    FLayers.resize(static_cast<std::size_t>(I) + 1, nullptr);
    if (Name.empty()) return;
    TqdDXFEntity* Existing = Table ? Table->FindEntByName(Name) : nullptr;
    TqdDXFLayer* L = dynamic_cast<TqdDXFLayer*>(Existing);
    std::unique_ptr<TqdDXFEntity> Own;
    if (!Existing) {
      auto New = std::make_unique<TqdDXFLayer>();
      L = New.get();
      FConverter->DoCreate(L);
      L->SetConverter(FConverter);
      L->SetNameUnchecked(Name);
      Own = std::move(New);
    }
    if (!L) return;
    bool Off = false;
    L->SetColorCAD(TqdColorCAD::Index(LayerColorIndex(Raw, Off)));
    L->SetVisible(!Off);
    L->SetFrozen((F & 1) != 0);
    L->SetLocked((F & 4) != 0);
    if (LT >= 0 && static_cast<std::size_t>(LT) < FLTypes.size() && FLTypes[static_cast<std::size_t>(LT)])
      L->SetLineType(FLTypes[static_cast<std::size_t>(LT)]);
    if (Own) {
      if (!SafeAdd(Table, Own)) return;
      FConverter->CheckEntityHandle(L);
    }
    FLayers[static_cast<std::size_t>(I)] = L;
  });
}

void Tdwg11Reader::ReadVPorts() {
  if (IsR9()) return;
  const std::size_t N = static_cast<std::size_t>(NameBytes());
  TqdDXFEntity* Table = FConverter->GetSection(csVPorts);
  if (!Table) Table = FConverter->NewNamedTable("VPORT");
  ForEachEntry(FVPortTableRecord, "VPORT", 1 + N + 216, [&](int, Tdwg12Cursor& C) {
    const int F = C.RC();
    const std::string Name = C.Fixed(N);
    const std::size_t B = C.Pos();
    auto At = [&](std::size_t Off) { return Tdwg12Cursor(FImage, B + Off, C.End()); };
    auto V = std::make_unique<TqdDXFVport>();
    TqdDXFVport* Raw = V.get();
    FConverter->DoCreate(Raw);
    Raw->SetConverter(FConverter);
    Raw->SetNameUnchecked(Name);
    Raw->SetFlags(F);
    Raw->FViewTarget = At(32).Point3();
    Raw->SetViewDirection(At(56).Point3());
    Raw->FViewTwistAngle = At(80).RD() * cRadToDeg;
    Raw->FViewHeight = At(88).RD();
    Raw->FViewCenterPoint = At(96).Point2(0);
    const double Aspect = At(112).RD();
    if (Aspect > 0) Raw->FViewAspectRatio = Aspect;
    const int Zoom = At(146).RC();
    if (Zoom > 0) Raw->FCircleZoomPercent = Zoom;
    if (Table && !Name.empty() && Table->FindEntByName(Name)) return;
    std::unique_ptr<TqdDXFEntity> E = std::move(V);
    if (!SafeAdd(Table, E)) return;
    FConverter->CheckEntityHandle(Raw);
    FVPorts.push_back(Raw);
    if (!FActiveVPort && SameNameText(Name, "*ACTIVE")) FActiveVPort = Raw;
  });
}

void Tdwg11Reader::ReadNamedTables() {
  // Application ids and dimension styles: the names (the style values stay the
  // drawing's defaults).
  const std::size_t N = static_cast<std::size_t>(NameBytes());
  ForEachEntry(FAppIDTableRecord, "application id", 1 + N, [&](int, Tdwg12Cursor& C) {
    (void)C.RC();
    const std::string Name = C.Fixed(N);
    if (!Name.empty()) FAppNames.insert(Name);
  });
  ForEachEntry(FDimStyleTableRecord, "dimension style", 1 + N, [&](int, Tdwg12Cursor& C) {
    (void)C.RC();
    const std::string Name = C.Fixed(N);
    if (!Name.empty()) FConverter->DimensionStyleByName(Name);
  });
  if (FHeader.View.Count > 0) Warn("DWG view table entries are not read (" + std::to_string(FHeader.View.Count) + ")");
}

bool Tdwg11Reader::Frame(std::size_t APos, std::size_t ASecEnd, Tdwg12Frame& AOut) {
  if (APos >= ASecEnd || ASecEnd - APos < 4) return false;
  AOut.Start = APos;
  AOut.Type = FImage[APos];
  AOut.Flags = FImage[APos + 1];
  std::size_t Len = static_cast<std::size_t>(FImage[APos + 2] | (FImage[APos + 3] << 8));
  if (Len == 0) Len = 8;
  if (Len < 4) {
    Warn("DWG record at " + std::to_string(APos) + ": length " + std::to_string(Len) +
         " is shorter than its header, rest of the section skipped");
    return false;
  }
  AOut.End = APos + Len;
  return true;
}

std::unique_ptr<TqdDXFEntity> Tdwg11Reader::ReadEntity(const Tdwg12Frame& R, bool AInBlocks, int& APaper, bool& APushed) {
  APaper = 0;
  APushed = false;
  Tdwg12Cursor C(FImage, R.Start + 4, std::min(R.End, FSize));
  const int Flags = R.Flags;
  // ---- common data
  const int LayerIndex = C.RS();
  const int Opt = C.RS();
  std::unique_ptr<TqdDXFEntity> E;
  switch (R.Type) {
    case rtLine:
    case rt3dLine: E = std::make_unique<TqdDXFLine>(); break;
    case rtPoint: E = std::make_unique<TqdDXFPoint>(); break;
    case rtCircle: E = std::make_unique<TqdDXFCircle>(); break;
    case rtText: E = std::make_unique<TqdDXFText>(); break;
    case rtShape: E = std::make_unique<TqdDXFShape>(); break;
    case rtArc: E = std::make_unique<TqdDXFArc>(); break;
    case rtTrace: E = std::make_unique<TqdDXFTrace>(); break;
    case rtSolid: E = std::make_unique<TqdDXFSolid>(); break;
    case rtInsert:
      if (Opt & 0xF0)
        E = std::make_unique<TqdCADMInsert>();
      else
        E = std::make_unique<TqdDXFInsert>();
      break;
    case rtAttdef: E = std::make_unique<TqdDXFAttdef>(); break;
    case rtAttrib: E = std::make_unique<TqdDXFAttrib>(); break;
    case rtPolyline: E = std::make_unique<TqdDXFPolyline>(); break;
    case rtVertex: E = std::make_unique<TqdDXFVertex>(); break;
    case rt3dFace: E = std::make_unique<TqdDXF3dFace>(); break;
    case rtDimension: E = std::make_unique<TqdDXFDimension>(); break;
    case rtViewport: E = std::make_unique<TqdDXFViewport>(); break;
    default: return nullptr;
  }
  FConverter->DoCreate(E.get());
  E->SetConverter(FConverter);
  const int Extra = (Flags & 0x40) ? C.RC() : 0;
  Tdwg12Cursor EED;
  if (Extra & 0x02) {
    const std::size_t N = static_cast<std::size_t>(C.RS());
    if (C.Take(N)) {
      EED = Tdwg12Cursor(FImage, C.Pos(), C.Pos() + N);
      C.Skip(N);
    }
  }
  int Color = -1;
  if (Flags & 0x01) Color = C.RC();
  int LType = -1;
  if (Flags & 0x02) LType = WideLTypeIndex() ? C.RSS() : C.RC();
  const bool ElevInCommon =
      R.Type != rt3dFace && !((R.Type == rtLine || R.Type == rt3dLine || R.Type == rtPoint) && !IsR9());
  if ((Flags & 0x04) && ElevInCommon) {
    PushElevation(C.RD());
    APushed = true;
  }
  double Thick = 0;
  if (Flags & 0x08) Thick = C.RD();
  std::uint64_t Handle = 0;
  if (Flags & 0x20) {
    const int N = C.RC();
    for (int K = 0; K < N; ++K) {
      const int B = C.RC();
      if (K < 8) Handle = (Handle << 8) | static_cast<std::uint64_t>(B);
    }
  }
  if (Extra & 0x04) {
    const int N = C.RSS();
    if (!AInBlocks) APaper = N > 0 ? N : 1;
  }
  const double Z = Elevation();
  TqdDXFEntity* Raw = E.get();
  // ---- the type's own data
  switch (R.Type) {
    case rtLine: {
      auto* L = static_cast<TqdDXFLine*>(Raw);
      const bool Flat = (Flags & 0x04) || IsR9();
      TFPoint A = Flat ? C.Point2(Z) : C.Point3();
      TFPoint B = Flat ? C.Point2(Z) : C.Point3();
      if (Opt & 0x01) L->SetExtrusion(C.Point3());
      if (Opt & 0x02) {
        A.Z = C.RD();
        B.Z = C.RD();
      }
      L->SetLine(A, B);
      L->SetZThick(Thick);
      break;
    }
    case rt3dLine: {
      // R9 keeps the Z values by option, as its 3DFACE does; later releases store
      // the points as a LINE does.
      auto* L = static_cast<TqdDXFLine*>(Raw);
      TFPoint A, B;
      if (IsR9()) {
        A = C.Point2(Z);
        B = C.Point2(Z);
        if (Opt & 0x01) A.Z = C.RD();
        if (Opt & 0x02) B.Z = C.RD();
      } else {
        const bool Flat = (Flags & 0x04) != 0;
        A = Flat ? C.Point2(Z) : C.Point3();
        B = Flat ? C.Point2(Z) : C.Point3();
      }
      L->SetLine(A, B);
      L->SetZThick(Thick);
      break;
    }
    case rtPoint: {
      auto* P = static_cast<TqdDXFPoint*>(Raw);
      TFPoint A = ((Flags & 0x04) || IsR9()) ? C.Point2(Z) : C.Point3();
      if (Opt & 0x01) P->SetExtrusion(C.Point3());
      if (Opt & 0x02) A.Z = C.RD();
      P->SetPoint(A);
      P->SetZThick(Thick);
      break;
    }
    case rtCircle:
    case rtArc: {
      auto* Ci = static_cast<TqdDXFCircle*>(Raw);
      TFPoint Ce = C.Point2(Z);
      const double Rad = C.RD();
      double A0 = 0, A1 = 360;
      if (R.Type == rtArc) {
        A0 = C.RD() * cRadToDeg;
        A1 = C.RD() * cRadToDeg;
      }
      if (Opt & 0x01) Ci->SetExtrusion(C.Point3());
      if (Opt & 0x02) Ce.Z = C.RD();
      Ci->SetPoint(Ce);
      Ci->SetRadius(Rad);
      Ci->SetZThick(Thick);
      if (auto* A = dynamic_cast<TqdDXFArc*>(Ci)) {
        A->SetStartAngle(A0);
        A->SetEndAngle(A1);
      }
      break;
    }
    case rtSolid:
    case rtTrace: {
      auto* S = static_cast<TqdDXFSolid*>(Raw);
      S->SetPoint(C.Point2(Z));
      S->SetPoint1(C.Point2(Z));
      S->SetPoint2(C.Point2(Z));
      S->SetPoint3(C.Point2(Z));
      if (Opt & 0x01) S->SetExtrusion(C.Point3());
      S->SetZThick(Thick);
      break;
    }
    case rt3dFace: {
      auto* S = static_cast<TqdDXFSolid*>(Raw);
      TFPoint P[4];
      for (int K = 0; K < 4; ++K) {
        P[K] = C.Point2(0);
        if (IsR9())
          P[K].Z = (Opt & (1 << K)) ? C.RD() : 0;
        else
          P[K].Z = (Flags & 0x04) ? 0 : C.RD();
      }
      S->SetPoint(P[0]);
      S->SetPoint1(P[1]);
      S->SetPoint2(P[2]);
      S->SetPoint3(P[3]);
      S->SetZThick(Thick);
      break;
    }
    case rtText: {
      auto* T = static_cast<TqdDXFText*>(Raw);
      T->SetPoint(C.Point2(Z));
      T->SetHeight(C.RD());
      T->SetText(C.String());
      if (Opt & 0x01) T->SetRotation(C.RD() * cRadToDeg);
      if (Opt & 0x02) T->SetScale(C.RD());
      if (Opt & 0x04) T->SetObliqueAngle(C.RD() * cRadToDeg);
      const int Style = (Opt & 0x08) ? C.RC() : FStandardStyle;
      if (Opt & 0x10) T->SetGenerationFlags(C.RC());
      if (Opt & 0x20) T->SetHAlign(static_cast<std::uint8_t>(C.RC()));
      if (Opt & 0x40) T->SetPoint1(C.Point2(Z));
      if ((Opt & 0x80) && !IsR9()) T->SetExtrusion(C.Point3());
      if (Opt & 0x100) T->SetVAlign(static_cast<std::uint8_t>(C.RC()));
      if (Style >= 0 && static_cast<std::size_t>(Style) < FStyles.size() && FStyles[static_cast<std::size_t>(Style)])
        T->SetStyle(FStyles[static_cast<std::size_t>(Style)]);
      break;
    }
    case rtShape: {
      // Insertion, size, shape number; by option rotation, the shape file's style
      // (its load number), width factor and obliquing.
      auto* S = static_cast<TqdDXFShape*>(Raw);
      S->SetPoint(C.Point2(Z));
      S->SetHeight(C.RD());
      S->SetShapeNumber(C.RC());
      if (Opt & 0x01) S->SetRotation(C.RD() * cRadToDeg);
      const int Style = (Opt & 0x02) ? C.RC() : -1;
      if (Opt & 0x04) S->SetScale(C.RD());
      if (Opt & 0x08) S->SetObliqueAngle(C.RD() * cRadToDeg);
      if (Style >= 0 && static_cast<std::size_t>(Style) < FStyles.size() && FStyles[static_cast<std::size_t>(Style)])
        S->SetStyle(FStyles[static_cast<std::size_t>(Style)]);
      break;
    }
    case rtAttdef:
    case rtAttrib: {
      auto* T = static_cast<TqdDXFAttdef*>(Raw);
      T->SetPoint(C.Point2(Z));
      T->SetHeight(C.RD());
      const std::string Value = C.String();
      if (R.Type == rtAttdef) {
        T->SetText(Value);
        (void)C.String();  // prompt
      } else {
        T->SetValue(Value);
        T->SetText(Value);
      }
      T->SetTag(C.String());
      T->SetFlags(C.RC());
      if (Opt & 0x01) C.Skip(1);
      if (Opt & 0x02) T->SetRotation(C.RD() * cRadToDeg);
      if (Opt & 0x04) T->SetScale(C.RD());
      if (Opt & 0x08) C.Skip(8);
      if (Opt & 0x10) C.Skip(1);
      if (Opt & 0x20) C.Skip(1);
      if (Opt & 0x40) T->SetHAlign(static_cast<std::uint8_t>(C.RC()));
      if (Opt & 0x80) T->SetPoint1(C.Point2(Z));
      if ((Opt & 0x100) && !IsR9()) T->SetExtrusion(C.Point3());
      if (FStandardStyle >= 0 && FStyles[static_cast<std::size_t>(FStandardStyle)])
        T->SetStyle(FStyles[static_cast<std::size_t>(FStandardStyle)]);
      break;
    }
    case rtInsert: {
      const int Index = C.RS();
      auto* In = static_cast<TqdDXFInsert*>(Raw);
      In->SetPoint(C.Point2(Z));
      TFPoint Scale{1, 1, 1};
      if (Opt & 0x01) Scale.X = C.RD();
      if (Opt & 0x02) Scale.Y = C.RD();
      if (Opt & 0x04) In->SetAngle(C.RD() * cRadToDeg);
      if (Opt & 0x08) Scale.Z = C.RD();
      if (Opt & 0x100) In->SetExtrusion(C.Point3());
      auto* M = dynamic_cast<TqdCADMInsert*>(In);
      const int Cols = (Opt & 0x10) ? C.RS() : 1;
      const int Rows = (Opt & 0x20) ? C.RS() : 1;
      const double CS = (Opt & 0x40) ? C.RD() : 0;
      const double RS = (Opt & 0x80) ? C.RD() : 0;
      if (M) {
        M->SetNumCols(Cols);
        M->SetNumRows(Rows);
        M->SetColSpacing(CS);
        M->SetRowSpacing(RS);
      }
      In->SetScale(Scale);
      if (static_cast<std::size_t>(Index) < FBlockRecords.size() && FBlockRecords[static_cast<std::size_t>(Index)])
        In->SetBlockRecord(FBlockRecords[static_cast<std::size_t>(Index)]);
      break;
    }
    case rtDimension: {
      auto* D = static_cast<TqdDXFDimension*>(Raw);
      const int Index = C.RS();
      // R9 stores every point of a dimension as two RD.
      const std::size_t PointBytes = IsR9() ? 16 : 24;
      D->FDefPoint = IsR9() ? C.Point2(Z) : C.Point3();
      D->FMiddlePoint = C.Point2(Z);
      if (Opt & 0x01) D->SetPoint(C.Point2(Z));
      if ((Opt & 0x02) && !(WideLTypeIndex() && (Opt & 0x01))) D->FFlags = C.RC();
      if (Opt & 0x04) D->FTextOverride = C.String();
      for (int Bit : {0x08, 0x10, 0x20, 0x40})
        if (Opt & Bit) C.Skip(PointBytes);
      for (int Bit : {0x80, 0x100, 0x200, 0x400, 0x800, 0x2000})
        if (Opt & Bit) C.Skip(8);
      if ((Opt & 0x4000) && !IsR9()) D->SetExtrusion(C.Point3());
      if (static_cast<std::size_t>(Index) < FBlockRecords.size() && FBlockRecords[static_cast<std::size_t>(Index)])
        D->SetBlockRecord(FBlockRecords[static_cast<std::size_t>(Index)]);
      break;
    }
    case rtPolyline: {
      auto* P = static_cast<TqdDXFPolyline*>(Raw);
      if (Opt & 0x01) P->SetFlags(C.RC());
      if (Opt & 0x02) P->SetStartWidth(C.RD());
      if (Opt & 0x04) P->SetEndWidth(C.RD());
      if (Opt & 0x08) P->SetExtrusion(C.Point3());
      int M = 0, N = 0;
      if (Opt & 0x10) M = C.RS();
      if (Opt & 0x20) N = C.RS();
      if (Opt & 0x40) {
        M = C.RS();
        N = C.RS();
      }
      P->SetMeshM(M);
      P->SetMeshN(N);
      P->SetElevation(Z);
      P->SetZThick(Thick);
      break;
    }
    case rtVertex: {
      auto* V = static_cast<TqdDXFVertex*>(Raw);
      if (!(Opt & 0x20)) V->SetPoint(C.Point2(Z));
      double SW = (Opt & 0x01) ? C.RD() : 0;
      double EW = (Opt & 0x02) ? C.RD() : 0;
      if (Opt & 0x04) V->SetBulge(C.RD());
      const int VF = (Opt & 0x08) ? C.RC() : 0;
      V->SetFlags(VF);
      if (VF == 0x80) {
        for (int K = 1; K <= 3; ++K) V->SetPolyFaceVertexIndex(K, C.RSS());
        if (Opt & 0x100) V->SetPolyFaceVertexIndex(4, C.RSS());
      }
      if (VF & 0xC0) SW = EW = 0;
      V->SetStartWidth(SW);
      V->SetEndWidth(EW);
      break;
    }
    case rtViewport: {
      auto* V = static_cast<TqdDXFViewport*>(Raw);
      V->SetPSpaceCenter(C.Point3());
      V->SetPSpaceWidth(C.RD());
      V->SetPSpaceHeight(C.RD());
      V->SetStatusField(C.RSS());
      if (!C.Bad() && EED.End() > EED.Pos()) ReadViewportEED(*V, EED);
      break;
    }
    default: break;
  }
  if (C.Bad()) {
    ++FCorrupt;
    return nullptr;
  }
  // ---- common properties, now that the item is final
  if (LayerIndex >= 0 && static_cast<std::size_t>(LayerIndex) < FLayers.size() && FLayers[static_cast<std::size_t>(LayerIndex)])
    Raw->SetLayer(FLayers[static_cast<std::size_t>(LayerIndex)]);
  else
    Raw->SetLayer(FConverter->LayerByName("0"));
  if (Color >= 0) Raw->SetColorCAD(TqdColorCAD::Index(Color));
  if (LType >= 0 && static_cast<std::size_t>(LType) < FLTypes.size() && FLTypes[static_cast<std::size_t>(LType)])
    Raw->SetLineType(FLTypes[static_cast<std::size_t>(LType)]);
  if (Handle) Raw->SetHandle(Handle);
  FConverter->CheckEntityHandle(Raw);
  if (APaper > 0) Raw->SetPaperSpace(true);
  return E;
}

void Tdwg11Reader::ReadViewportEED(TqdDXFViewport& V, Tdwg12Cursor C) {
  std::vector<TFPoint> Points;
  std::vector<double> Reals;
  std::vector<int> Shorts;
  while (C.Left() > 0) {
    const int Code = C.RC();
    if (Code == 0 || Code == 4) {
      C.Skip(static_cast<std::size_t>(C.RC()));
    } else if (Code == 1) {
      const int N = C.RC();
      if (N == 0)
        C.Skip(1);
      else
        C.Skip(static_cast<std::size_t>(N) + 1);
    } else if (Code == 2) {
      C.Skip(1);
    } else if (Code == 3 || Code == 5) {
      std::uint64_t H = 0;
      if (C.Take(8))
        for (int K = 0; K < 8; ++K) H |= static_cast<std::uint64_t>(C.RC()) << (8 * K);
      if (C.Bad()) break;
      if (Code == 3)
        V.FrozenLayers().push_back(H);
      else
        V.SetHandle(H);
    } else if (Code >= 10 && Code <= 13) {
      const TFPoint P = C.Point3();
      if (!C.Bad()) Points.push_back(P);
    } else if (Code >= 40 && Code <= 42) {
      const double D = C.RD();
      if (!C.Bad()) Reals.push_back(D);
    } else if (Code >= 60 && Code <= 70) {
      const int S = C.RSS();
      if (!C.Bad()) Shorts.push_back(S);
    } else if (Code == 71) {
      C.Skip(4);
    }
    if (C.Bad()) break;
  }
  if (C.Bad()) Warn("DWG viewport extended data cut short");
  if (Points.size() > 0) V.SetViewTarget(Points[0]);
  if (Points.size() > 1) V.SetViewDirection(Points[1]);
  if (Reals.size() > 0) V.SetViewTwistAngle(Reals[0] * cRadToDeg);
  if (Reals.size() > 1) V.SetMSpaceHeight(Reals[1]);
  if (Reals.size() > 3) V.SetMSpaceCenter({Reals[2], Reals[3], 0});
  if (Reals.size() > 5) V.SetFrontClipPlane(Reals[5]);
  if (Reals.size() > 6) V.SetBackClipPlane(Reals[6]);
  if (Shorts.size() > 4) {
    int N = Shorts[4];
    // The number names a layout; a wild one would create thousands of them.
    const int Limit = std::min(Tdwg12Limits::MaxLayouts, FPaperRecords + 1);
    if (N > 0 && N <= Limit) {
      if (N == FBlockLayout && N == 1) N = static_cast<int>(FLayouts.size());
      while (static_cast<int>(FLayouts.size()) <= N && static_cast<int>(FLayouts.size()) <= Tdwg12Limits::MaxLayouts) {
        const std::size_t Before = FLayouts.size();
        AddLayout("*[Layout" + std::to_string(FLayouts.size()) + "]", 1);
        if (FLayouts.size() == Before) break;
      }
    }
  }
}

std::size_t Tdwg11Reader::ReadRecord(const Tdwg12Frame& R, std::size_t ASecEnd, TqdDXFEntity* AOwner, bool AInBlocks,
                                     int ADepth) {
  const std::size_t Next = R.End;
  Progress(R.End - R.Start);
  if (R.Type == rtEndBlk || R.Type == rtSeqEnd || R.Type == rtBlock) return Next;
  if (R.End > FSize) {
    ++FCorrupt;
    return Next;
  }
  int Paper = 0;
  bool Pushed = false;
  std::unique_ptr<TqdDXFEntity> E = ReadEntity(R, AInBlocks, Paper, Pushed);
  if (!E) {
    if (const char* N = NotDrawnName(R.Type); N && R.End <= FSize) NoteNotDrawn(N);
  }
  TqdDXFEntity* Raw = E.get();
  std::size_t Pos = Next;
  // Groups: only the children of the group's kind; anything else ends it unread.
  int Child = -1, End = -1;
  if (R.Type == rtPolyline) {
    Child = rtVertex;
    End = rtSeqEnd;
  } else if ((R.Type == rtInsert || R.Type == rtDimension) && (R.Flags & 0x80)) {
    Child = rtAttrib;
    End = rtSeqEnd;
  }
  if (Child >= 0 && ADepth < 3) {
    Tdwg12Frame F;
    while (!Stopped() && Frame(Pos, ASecEnd, F)) {
      if (F.Type == End) {
        Pos = F.End;
        Progress(F.End - F.Start);
        break;
      }
      if (F.Type != Child) break;
      Pos = ReadRecord(F, ASecEnd, Raw, AInBlocks, ADepth + 1);
    }
  }
  if (Pushed) PopElevation();
  if (!E) return Pos;
  TqdDXFEntity* Target = AOwner;
  if (!AInBlocks && ADepth == 0) {
    // The layout named by the record; one that names no layout goes to the first paper layout.
    std::size_t L = static_cast<std::size_t>(Paper);
    if (L >= FLayouts.size()) {
      Warn("DWG entities of unknown paper-space layouts went to the first layout");
      L = FLayouts.size() > 1 ? 1 : 0;
    }
    Target = L < FLayouts.size() ? FLayouts[L] : nullptr;
  }
  if (!Target || !SafeAdd(Target, E)) {
    if (E && R.Type != rtVertex && R.Type != rtAttrib) Warn("DWG entities that fit no container were dropped");
  } else if (R.Type == rt3dLine) {
    FNames.emplace_back(Raw, "3DLINE");
  }
  return Pos;
}

void Tdwg11Reader::ReadBlocksSection() {
  const std::uint64_t Start = FHeader.Blocks, End = std::min<std::uint64_t>(FHeader.BlockEnd, FSize);
  if (End < Start + 32) return;
  const std::size_t Limit = static_cast<std::size_t>(End - 32);
  std::map<std::uint32_t, std::size_t> ByOffset;
  for (std::size_t I = 0; I < FBlockOffsets.size(); ++I)
    if (FBlockRecords[I] && !FBlockDefined[I]) ByOffset.emplace(FBlockOffsets[I], I);
  std::size_t Pos = static_cast<std::size_t>(Start);
  Tdwg12Frame F;
  while (!Stopped() && Pos < Limit && Frame(Pos, static_cast<std::size_t>(End), F)) {
    auto It = ByOffset.find(static_cast<std::uint32_t>(Pos - Start));
    if (It == ByOffset.end() || F.Type != rtBlock || F.End > FSize) {
      Progress(F.End - F.Start);
      Pos = F.End;
      continue;
    }
    const std::size_t Index = It->second;
    ByOffset.erase(It);
    FBlockDefined[Index] = true;
    TqdDXFBlock* B = FBlockRecords[Index]->Block();
    // The BLOCK record: common data, then its own fields.
    Tdwg12Cursor C(FImage, F.Start + 4, F.End);
    (void)C.RS();  // layer
    const int Opt = C.RS();
    const int Extra = (F.Flags & 0x40) ? C.RC() : 0;
    if (Extra & 0x02) C.Skip(static_cast<std::size_t>(C.RS()));
    if (F.Flags & 0x01) (void)C.RC();
    if (F.Flags & 0x02) (void)(WideLTypeIndex() ? C.RS() : C.RC());
    bool Pushed = false;
    if (F.Flags & 0x04) {
      PushElevation(C.RD());
      Pushed = true;
    }
    if (F.Flags & 0x08) (void)C.RD();
    if (F.Flags & 0x20) C.Skip(static_cast<std::size_t>(C.RC()));
    if (Extra & 0x04) (void)C.RS();
    const TFPoint Base = C.Point2(Elevation());
    std::string Path;
    if ((Opt & 0x06) == 0x04)
      (void)C.String();
    else if (Opt & 0x02)
      Path = C.String();
    if (C.Bad()) {
      ++FCorrupt;
    } else if (B) {
      B->SetOffset(Base);
      if (!Path.empty() && Path[0] != '*' && B->IsBlockByXRef()) B->SetXrefPath(Path);
    }
    Progress(F.End - F.Start);
    Pos = F.End;
    // Its entities, up to and including ENDBLK; a BLOCK inside ends nothing and is dropped.
    Tdwg12Frame G;
    while (!Stopped() && Frame(Pos, static_cast<std::size_t>(End), G)) {
      if (G.Type == rtEndBlk) {
        Progress(G.End - G.Start);
        Pos = G.End;
        break;
      }
      if (G.Type == rtVertex || G.Type == rtAttrib) {
        // Children outside their group are dropped.
        Progress(G.End - G.Start);
        Pos = G.End;
        continue;
      }
      Pos = ReadRecord(G, static_cast<std::size_t>(End), B, true, 1);
    }
    if (Pushed) PopElevation();
  }
}

void Tdwg11Reader::ReadEntitiesSection() {
  const std::size_t End = static_cast<std::size_t>(std::min<std::uint64_t>(FHeader.EntEnd, FSize));
  std::size_t Pos = FHeader.Entities;
  FBlockLayout = -1;
  Tdwg12Frame F;
  while (!Stopped() && Frame(Pos, End, F)) {
    if (F.Type == rtVertex || F.Type == rtAttrib) {
      Progress(F.End - F.Start);
      Pos = F.End;
      continue;
    }
    Pos = ReadRecord(F, End, nullptr, false, 0);
  }
  if (FHeader.EntEnd > FSize) Warn("DWG entities section runs past the end of the file");
}

void Tdwg11Reader::Finish() {
  // The reader's layouts become the drawing's, in order, each with its block.
  DropOwnDictionaries();
  FOwnDictionaries[0] = FOwnDictionaries[1] = nullptr;
  TqdDXFConverter* C = FConverter;
  C->GetOrCreateSection(csLayouts);
  for (std::size_t I = 0; I < FLayouts.size(); ++I) {
    TqdDXFBlock* B = FLayouts[I];
    if (!B || B->Layout()) continue;
    auto L = std::make_unique<TqdDXFLayout>();
    TqdDXFLayout* Raw = L.get();
    C->DoCreate(Raw);
    Raw->SetNameUnchecked(I == 0 ? std::string("Model") : "Layout" + std::to_string(I));
    Raw->SetTabOrder(static_cast<int>(I));
    if (C->AddLayout(std::move(L)) >= 0) {
      Raw->SetPaperSpaceBlock(B);
      C->CheckEntityHandle(Raw);
    }
  }
  if (!FLayouts.empty()) FModelSpace = FLayouts[0];
  if (FLayouts.size() > 1) FPaperSpace = FLayouts[1];
  if (FCorrupt) Warn("DWG records cut short were dropped (" + std::to_string(FCorrupt) + ")");
}

void Tdwg11Reader::ReadFile() {
  ReadHeader();
  Progress(0);
  ReadBlockRecords();
  ReadStyles();
  ReadLTypes();
  ReadLayers();
  ReadVPorts();
  ReadNamedTables();
  FBlockLayout = 0;
  ReadBlocksSection();
  ReadEntitiesSection();
  Finish();
}

// ---------------------------------------------------------------- load

bool IsDWG12Release(const TdwgVersionInfo& AInfo) {
  return AInfo.Class == vcSupported && (AInfo.Text == "AC1004" || AInfo.Text == "AC1006" || AInfo.Text == "AC1009");
}

void LoadDWG12(const std::uint8_t* AImage, std::size_t ASize, const TdwgVersionInfo& AInfo, TqdDXFConverter& AConverter,
               const TqdLoadOptions& AOptions, TqdLoadResult& R) {
  AConverter.Clear();
  AConverter.ResetHeader();
  AConverter.HeadVarStruct().Version = static_cast<std::uint8_t>(AInfo.Version);
  AConverter.SetSourceView(AImage, ASize);
  std::unique_ptr<Tdwg11Reader> Reader;
  if (AInfo.Version >= acR11)
    Reader = std::make_unique<Tdwg12Reader>(AConverter, AImage, ASize, AInfo.Version);
  else
    Reader = std::make_unique<Tdwg11Reader>(AConverter, AImage, ASize, AInfo.Version);
  Reader->NoteOwnDictionaries();
  AConverter.SetLoadingState(true, 0);
  if (AOptions.OnProgress) Reader->SetProgress(AOptions.OnProgress);
  try {
    Reader->ReadFile();
    R.Ok = true;
  } catch (const std::exception& X) {
    R.Error = X.what();
  }
  Reader->Complete(ASize);
  R.Warnings = Reader->Warnings();
  if (AOptions.RecordNames)
    for (const auto& [E, N] : Reader->ReadNames()) R.Names[E] = N;
  R.Cancelled = AConverter.LoadingStopped();
  AConverter.DropSource();
}
