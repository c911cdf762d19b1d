#include "DXF.h"
#include "DXFDirect.h"
#include "DXFReaderObjects.h"

#include "CachedCast.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "DimStyles.h"
#include "Others.h"
#include "Registry.h"
#include "qdFunction.h"

// ---------------------------------------------------------------- object names

namespace {

struct TNameKind {
  const char* Name;
  TdxfKind Kind;
};

// Every object name the reader knows; the database class comes from the registry.
constexpr TNameKind cNames[] = {
    {"SEQEND", dkEndMarker},       {"ENDSEC", dkEndMarker},         {"ENDTAB", dkEndMarker},
    {"ENDBLK", dkEndMarker},       {"EOF", dkEndMarker},            {"VERTEX", dkSubEntity},
    {"ATTRIB", dkSubEntity},       {"POLYLINE", dkPolyline},        {"INSERT", dkInsert},
    {"LINE", dkEntity},            {"3DLINE", dkEntity},            {"SOLID", dkEntity},
    {"TRACE", dkEntity},           {"3DFACE", dkEntity},            {"CIRCLE", dkEntity},
    {"ARC", dkEntity},             {"ELLIPSE", dkEntity},           {"POINT", dkEntity},
    {"LWPOLYLINE", dkEntity},      {"SPLINE", dkEntity},            {"HELIX", dkEntity},
    {"RAY", dkEntity},             {"XLINE", dkEntity},             {"MLINE", dkEntity},
    {"TEXT", dkEntity},            {"MTEXT", dkEntity},             {"ATTDEF", dkEntity},
    {"SHAPE", dkEntity},           {"DIMENSION", dkEntity},         {"LEADER", dkEntity},
    {"TOLERANCE", dkEntity},       {"HATCH", dkEntity},             {"MPOLYGON", dkEntity},
    {"WIPEOUT", dkEntity},         {"IMAGE", dkEntity},             {"VIEWPORT", dkEntity},
    {"OLEFRAME", dkEntity},        {"OLE2FRAME", dkEntity},         {"ACAD_TABLE", dkEntity},
    {"ACAD_PROXY_ENTITY", dkEntity}, {"MESH", dkEntity},            {"REGION", dkEntity},
    {"PLANESURFACE", dkEntity},    {"SURFACE", dkEntity},           {"SWEPTSURFACE", dkEntity},
    {"REVOLVEDSURFACE", dkEntity}, {"EXTRUDEDSURFACE", dkEntity},   {"LOFTEDSURFACE", dkEntity},
    {"NURBSURFACE", dkEntity},     {"3DSOLID", dkEntity},           {"BODY", dkEntity},
    {"TABLE", dkTable},            {"LTYPE", dkTableItem},          {"LAYER", dkTableItem},
    {"STYLE", dkTableItem},        {"DIMSTYLE", dkTableItem},       {"VPORT", dkTableItem},
    {"APPID", dkTableItem},        {"BLOCK_RECORD", dkBlockRecord}, {"BLOCK", dkBlock},
    {"LAYOUT", dkLayout},          {"DICTIONARY", dkDictionary},    {"DICTIONARYVAR", dkObject},
    {"XRECORD", dkObject},         {"IMAGEDEF", dkObject},          {"SORTENTSTABLE", dkObject},
    {"MLINESTYLE", dkObject},      {"TABLESTYLE", dkObject},        {"FIELD", dkObject},
    {"FIELDLIST", dkObject},       {"PLOTSETTINGS", dkObject},      {"RASTERVARIABLES", dkObject},
    {"WIPEOUTVARIABLES", dkObject}, {"SPATIAL_FILTER", dkObject},   {"DIMASSOC", dkObject},
    {"MULTILEADER", dkEntity},     {"MLEADER", dkEntity},           {"MLEADERSTYLE", dkObject},
    {"PDFUNDERLAY", dkEntity},     {"DWFUNDERLAY", dkEntity},       {"DGNUNDERLAY", dkEntity},
    {"PDFDEFINITION", dkObject},   {"DWFDEFINITION", dkObject},     {"DGNDEFINITION", dkObject},
};

const TNameKind* FindName(std::string_view AName) {
  static const std::unordered_map<std::string, const TNameKind*> Index = [] {
    std::unordered_map<std::string, const TNameKind*> M;
    for (const TNameKind& N : cNames) M.emplace(N.Name, &N);
    return M;
  }();
  if (AName.size() > 24) return nullptr;
  auto It = Index.find(UpperNameText(AName));
  return It == Index.end() ? nullptr : It->second;
}

// The static spelling of a known name (so that records of names need no copies).
const char* KnownName(std::string_view AName) {
  const TNameKind* N = FindName(AName);
  return N ? N->Name : nullptr;
}

}  // namespace

std::string_view dxfread::Trimmed(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t' || S.back() == '\r')) S.remove_suffix(1);
  return S;
}

bool LineWeightOf(int W, double& AValue) {
  static constexpr int Std[] = {0,  5,  9,  13, 15, 18, 20,  25,  30,  35,  40,  50,
                                53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
  if (W >= -3 && W <= -1) {
    AValue = W;
    return true;
  }
  for (int S : Std)
    if (S == W) {
      AValue = W / 100.0;
      return true;
    }
  return false;
}

TdxfKind DXFObjectKind(std::string_view AName) {
  const TNameKind* N = FindName(AName);
  return N ? N->Kind : dkUnknown;
}

namespace {

// The reader as the registry sees it: the generic result of a DXF load.
TqdLoadResult LoadDXFDrawing(const void* AData, std::size_t ASize, TqdDXFConverter& AConverter,
                             const TqdLoadOptions& AOptions) {
  TdxfLoadOptions O;
  O.RecordNames = AOptions.RecordNames;
  O.OnProgress = AOptions.OnProgress;
  TdxfLoadResult R = LoadDXFFromMemory(AData, ASize, AConverter, O);
  TqdLoadResult L;
  L.Ok = R.Ok;
  L.Error = std::move(R.Error);
  L.Format = R.Format == dfBinary ? "dxf-binary" : "dxf-text";
  L.Version = std::move(R.AcadVer);
  L.CodePageName = std::move(R.CodePageName);
  L.Warnings = std::move(R.Warnings);
  L.LoadMs = R.LoadMs;
  L.Cancelled = AConverter.LoadingStopped();
  L.Names = std::move(R.DXFNames);
  return L;
}

}  // namespace

void RegisterDXFReader() {
  RegisterDatabaseClasses();
  RegisterDXFMapping();
  qdRegisterDrawingReader("dxf", LoadDXFDrawing, true);
}

// ---------------------------------------------------------------- TdxfObject


namespace {
bool IsEntityKind(TdxfKind K) {
  return K == dkEntity || K == dkPolyline || K == dkInsert || K == dkSubEntity;
}
} // namespace

TdxfObject::TdxfObject(TdxfReader& AReader, TdxfObject* AOwner, std::string_view AName, TdxfKind AKind)
    : FReader(AReader), FOwner(AOwner), FName(AName), FKind(AKind) {
  FDepth = AOwner ? AOwner->FDepth + 1 : 0;
}

TdxfObject::~TdxfObject() {
  // An item that was never added goes with its reader object; forget its DXF name.
  if (FOwnedEnt) FReader.FDXFNames.erase(FOwnedEnt.get());
}

TqdDXFConverter* TdxfObject::GetConverter() const { return FReader.FConverter; }

void TdxfObject::Create() {
  const TdxfReader::TNameInfo Info = FReader.NameInfo(FName);
  FOwnedEnt = Info.Class ? Info.Class() : nullptr;
  if (!FOwnedEnt && FAsProxy) FOwnedEnt = std::make_unique<TqdDXFProxy>();
  FEnt = FOwnedEnt.get();
  if (!FEnt) {
    if (IsEntityKind(FKind) && FKind != dkSubEntity) FReader.NoteNotDrawn(FName);
    return;
  }
  TqdDXFConverter* C = GetConverter();
  C->DoCreate(FEnt);
  // An entity takes its converter once its handle is known (ApplyHandle): given it
  // earlier, every entity of the file would first join the items waiting for a
  // generated handle.
  if (!IsEntityKind(FKind)) FEnt->SetConverter(C);
  FMapper = CreateDXFMapperOfKind(Info.MapperKind, FName, FEnt);
}

std::unique_ptr<TqdDXFEntity> TdxfObject::ExtractEntity() {
  if (!FOwnedEnt) return nullptr;
  FEnt = nullptr;
  return std::move(FOwnedEnt);
}

void TdxfObject::Read() {
  try {
    ReadProperties();
  } catch (...) {
    // What was read of the object is kept, as a cut file keeps its last object.
    FlushXDataPoint();
    try {
      CommitMapped();
      FileXData();
    } catch (...) {
    }
    throw;
  }
  CommitMapped();
  FileXData();
  FReader.NoteProgress();
  if (FComplex) ReadChildren();
}

void TdxfObject::CommitMapped() {
  if (FMapper && FOwnedEnt)
    if (std::unique_ptr<TqdDXFEntity> R = FMapper->Replacement()) {
      FReader.FDXFNames.erase(FOwnedEnt.get());
      FOwnedEnt = std::move(R);
      FEnt = FOwnedEnt.get();
      GetConverter()->DoCreate(FEnt);
      if (!IsEntityKind(FKind)) FEnt->SetConverter(GetConverter());
    }
  Commit();
  if (FMapper && FEnt) FMapper->Commit(FReader, *FEnt);
}

void TdxfObject::ReadProperties() {
  for (;;) {
    FReader.Next();
    const int Code = FReader.Code();
    if (Code == 0) break;
    if (Code == 66) {
      // Only classes that own children follow code 66: nesting stays in the reader's hands.
      if (FKind == dkInsert || FKind == dkPolyline) FComplex = FReader.IntValue() != 0;
    } else if (Code == 67)
      FPaperSpace = FReader.IntValue() != 0;
    else {
      if (FMapper) FMapper->Property(FReader);
      ReadProperty();
    }
  }
  FlushXDataPoint();
}

void TdxfObject::ReadProperty() {
  const int Code = FReader.Code();
  if (Code >= 1000) {
    ReadXData();
    return;
  }
  if (!FEEDItems.empty()) FlushXDataPoint();
  switch (Code) {
    case 1: case 2: case 3: case 4: case 6: case 7: case 8: case 9:
      FTexts[Code] = FReader.UValue();
      FHasText[Code] = true;
      break;
    case 5:  // the first is the object's own; a sort table's later ones are sort keys
      if (FHandle == 0) FHandle = FReader.HandleValue();
      break;
    case 105:  // DIMSTYLE keeps its handle here
      if (FHandle == 0) FHandle = FReader.HandleValue();
      break;
    case 70:
      FInt70 = FReader.IntValue();
      FHas70 = true;
      break;
    case 102: {
      const std::string_view V = Trimmed(FReader.Value());
      FReactorsRead = !V.empty() && V.front() == '{';
      break;
    }
    case 330:
      if (!FReactorsRead) {
        const std::uint64_t H = FReader.HandleValue();
        if (FSoftOwnerCount++ == 0) FSoftOwnerID = H;
        FLastSoftOwnerID = H;
      }
      break;
    case 360:
      if (FReactorsRead && FExtDictionaryID == 0) FExtDictionaryID = FReader.HandleValue();
      break;
    default: break;
  }
}

void TdxfObject::ReadXData() {
  const int Code = FReader.Code();
  if (Code == 1001) {
    FlushXDataPoint();
    const std::string App(Trimmed(FReader.StrValue()));
    FEEDItems.emplace_back(App, TqdCADExtendedData());
    FEEDItems.back().second.AddString(1001, App);
    return;
  }
  if (FEEDItems.empty()) return;  // data without an application
  TqdCADExtendedData& D = FEEDItems.back().second;
  if (Code >= 1010 && Code <= 1019) {
    FlushXDataPoint();
    FXPointOpen = true;
    FXPointCode = Code;
    FXPoint = {FReader.FloatValue(), 0, 0};
    return;
  }
  if (Code >= 1020 && Code <= 1039) {
    // Y and Z only complete a point that an X started.
    if (FXPointOpen && (Code % 10) == (FXPointCode % 10)) {
      if (Code < 1030)
        FXPoint.Y = FReader.FloatValue();
      else
        FXPoint.Z = FReader.FloatValue();
    }
    return;
  }
  FlushXDataPoint();
  if ((Code >= 1000 && Code <= 1003) || (Code >= 1006 && Code <= 1009)) {
    D.AddString(Code, FReader.UValue());
  } else if (Code == 1004) {
    std::string Bytes;
    const std::string_view Hex = Trimmed(FReader.Value());
    auto Nibble = [](char C) -> int {
      if (C >= '0' && C <= '9') return C - '0';
      if (C >= 'A' && C <= 'F') return C - 'A' + 10;
      if (C >= 'a' && C <= 'f') return C - 'a' + 10;
      return -1;
    };
    for (std::size_t I = 0; I + 1 < Hex.size() && Bytes.size() < cnstMaxExtDataBinary; I += 2) {
      const int A = Nibble(Hex[I]), B = Nibble(Hex[I + 1]);
      if (A < 0 || B < 0) break;
      Bytes.push_back(static_cast<char>(A * 16 + B));
    }
    D.AddBinary(Code, Bytes);
  } else if (Code == 1005) {
    D.AddInt64(Code, static_cast<std::int64_t>(FReader.HandleValue()));
  } else if (Code >= 1040 && Code <= 1059) {
    D.AddDouble(Code, FReader.FloatValue());
  } else if (Code == 1070) {
    const int V = FReader.IntValue();
    D.AddInt16(Code, static_cast<std::int16_t>(std::clamp(V, -32768, 32767)));
  } else if (Code == 1071) {
    D.AddInt(Code, FReader.IntValue());
  } else if (Code >= 1060 && Code <= 1069) {
    D.AddInt16(Code, static_cast<std::int16_t>(std::clamp(FReader.IntValue(), -32768, 32767)));
  }
}

void TdxfObject::FlushXDataPoint() {
  if (!FXPointOpen) return;
  FXPointOpen = false;
  if (!FEEDItems.empty()) FEEDItems.back().second.AddPoint(FXPointCode, FXPoint);
}

// Per-object data lives in the converter keyed by the item; only items that take it
// back when they go may have any (a vertex does not).
static bool MayHoldExtra(const TqdDXFEntity* E) {
  return dynamic_cast<const TqdDXFObjectEntity*>(E) || dynamic_cast<const TqdDXFOwneredItem*>(E);
}

void TdxfObject::FileXData() {
  if (FEEDItems.empty() || !FEnt) return;
  if (!MayHoldExtra(FEnt)) {
    FEEDItems.clear();
    return;
  }
  TqdDXFConverter* C = GetConverter();
  for (auto& [App, Data] : FEEDItems) {
    // An application id needs a valid table name; data of others cannot be filed.
    if (!IsValidLayerName(App)) continue;
    C->SetEntityEED(FEnt, App, Data);
    FReader.FAppNames.insert(UpperNameText(App));
    if (SameText(App, cnstHyperLinkAppName)) FEnt->SetExtDataHyperLink(Data);
  }
  FEEDItems.clear();
}

void TdxfObject::ApplyHandle() {
  if (!FEnt) return;
  TqdDXFConverter* C = GetConverter();
  if (FHandle) {
    std::uint64_t H = FHandle;
    C->CheckHandle(H);
    FEnt->SetHandle(FHandle);
  }
  FEnt->SetConverter(C);
  ApplyExtData();
}

void TdxfObject::Commit() {
  ApplyHandle();
  if (FEnt && FExtDictionaryID && MayHoldExtra(FEnt)) {
    auto It = FReader.FDictionaries.find(FExtDictionaryID);
    if (It != FReader.FDictionaries.end())
      GetConverter()->SetEntityDictionary(FEnt, It->second);
    else
      GetConverter()->SetEntityDictionaryHandle(FEnt, FExtDictionaryID);
  }
}

bool TdxfObject::IsOuterName(std::string_view AName) const {
  return SameText(AName, "SECTION") || SameText(AName, "ENDSEC") || SameText(AName, "EOF");
}

void TdxfObject::ReadChildren() {
  while (!FReader.AtEnd()) {
    const std::string Name(Trimmed(FReader.Value()));
    if (FReader.Code() != 0) {  // stray groups between objects
      FReader.Next();
      continue;
    }
    if (!IsEndMarker(Name) && (IsOuterName(Name) || !AcceptsChild(Name))) return;
    if (ReadChild(Name)) return;
  }
}

std::unique_ptr<TdxfObject> TdxfObject::CreateChild(std::string_view AName) {
  if (FReader.FOptions.Direct && AName == cnstDXFDirectName) return CreateDXFDirectObject(FReader, this);
  TdxfKind K = FReader.NameInfo(AName).Kind;
  // Nesting beyond the cap reads complex entities as plain ones.
  if ((K == dkPolyline || K == dkInsert) && FDepth >= cnstMaxDXFNesting) {
    FReader.Warn("complex objects nested too deep were read without their children");
    K = dkEntity;
  }
  std::unique_ptr<TdxfObject> C;
  switch (K) {
    case dkEndMarker: C = std::make_unique<TdxfSeqend>(FReader, this, AName, K); break;
    case dkEntity:
    case dkPolyline:
    case dkInsert:
    case dkSubEntity: C = std::make_unique<TdxfEntity>(FReader, this, AName, K); break;
    case dkTableItem:
    case dkBlockRecord: C = std::make_unique<TdxfTableItem>(FReader, this, AName, K); break;
    case dkBlock: C = std::make_unique<TdxfBlock>(FReader, this, AName, K); break;
    case dkTable: C = std::make_unique<TdxfTable>(FReader, this, AName, K); break;
    case dkDictionary: C = std::make_unique<TdxfDictionary>(FReader, this, AName, K); break;
    case dkLayout: C = std::make_unique<TdxfLayout>(FReader, this, AName, K); break;
    case dkObject: C = std::make_unique<TdxfObjectItem>(FReader, this, AName, K); break;
    case dkUnknown:
      // An entity of a class the reader does not know is kept as a proxy: drawn from
      // its proxy graphics when it has them, else counted as not drawn by its name.
      if (FKind == dkBlock || FName == "ENTITIES") {
        C = std::make_unique<TdxfEntity>(FReader, this, AName, dkEntity);
        C->FAsProxy = true;
      } else {
        C = std::make_unique<TdxfSeqend>(FReader, this, AName, K);
      }
      break;
  }
  C->Create();
  return C;
}

bool TdxfObject::ReadChild(std::string_view AName) {
  std::unique_ptr<TdxfObject> Child = CreateChild(AName);
  try {
    Child->Read();
  } catch (...) {
    try {
      if (!Child->FAdded && Child->FEnt && AddChild(*Child)) Child->FAdded = true;
    } catch (...) {
    }
    throw;
  }
  const bool End = IsEndMarker(AName);
  if (!Child->FAdded && Child->FEnt) {
    if (AddChild(*Child)) Child->FAdded = true;
  }
  return End;
}

bool TdxfObject::AddChild(TdxfObject& AChild) {
  if (!FEnt) return false;
  std::unique_ptr<TqdDXFEntity> E = AChild.ExtractEntity();
  return FReader.SafeAdd(FEnt, E);
}

// ---------------------------------------------------------------- entities

namespace {
// Blocks kept per size: a handful of sizes (reader object and mapper classes), each
// with as many blocks as the deepest nesting uses at once.
constexpr std::size_t cnstKeptSizes = 48;
constexpr std::size_t cnstKeptBlocks = 32;
struct TKeptBlocks {
  struct TSize {
    std::size_t Size = 0;
    std::size_t Count = 0;
    void* Blocks[cnstKeptBlocks];
  };
  TSize Sizes[cnstKeptSizes];
  std::size_t Used = 0;
  ~TKeptBlocks() {
    for (std::size_t I = 0; I < Used; ++I)
      for (std::size_t K = 0; K < Sizes[I].Count; ++K) ::operator delete(Sizes[I].Blocks[K]);
  }
  TSize* Find(std::size_t N, bool ACreate) {
    for (std::size_t I = 0; I < Used; ++I)
      if (Sizes[I].Size == N) return &Sizes[I];
    if (!ACreate || Used == cnstKeptSizes) return nullptr;
    Sizes[Used].Size = N;
    return &Sizes[Used++];
  }
};
thread_local TKeptBlocks KeptBlocks;
} // namespace

void* DXFTakeBlock(std::size_t N) {
  if (TKeptBlocks::TSize* S = KeptBlocks.Find(N, false); S && S->Count > 0)
    return S->Blocks[--S->Count];
  return ::operator new(N);
}

void DXFGiveBlock(void* P, std::size_t N) noexcept {
  if (!P) return;
  if (TKeptBlocks::TSize* S = KeptBlocks.Find(N, true); S && S->Count < cnstKeptBlocks) {
    S->Blocks[S->Count++] = P;
    return;
  }
  ::operator delete(P);
}

void* TdxfEntity::operator new(std::size_t N) { return DXFTakeBlock(N); }

void TdxfEntity::operator delete(void* P, std::size_t N) { DXFGiveBlock(P, N); }

void TdxfEntity::ReadProperty() {
  const int Code = FReader.Code();
  if (Code >= 10 && Code <= 37) {
    const double V = FReader.FloatValue();
    TFPoint& P = FPoints[Code % 10];
    if (Code < 20)
      P.X = V;
    else if (Code < 30)
      P.Y = V;
    else
      P.Z = V;
    return;
  }
  if (Code == 38) {
    FElevation = FReader.FloatValue();
  } else if (Code == 39) {
    FZThick = FReader.FloatValue();
  } else if (Code >= 40 && Code <= 59) {
    FFloats[Code - 40] = FReader.FloatValue();
    FHasFloat[Code - 40] = true;
  } else if (Code >= 60 && Code <= 79) {
    FInts[Code - 60] = FReader.IntValue();
    FHasInt[Code - 60] = true;
    if (Code == 70) TdxfObject::ReadProperty();
  } else if (Code == 210) {
    FExtrusion.X = FReader.FloatValue();
  } else if (Code == 220) {
    FExtrusion.Y = FReader.FloatValue();
  } else if (Code == 230) {
    FExtrusion.Z = FReader.FloatValue();
  } else if (Code == 370) {
    FLineWeight = FReader.IntValue();
    FHasLineWeight = true;
  } else if (Code == 420) {
    FRGB = FReader.IntValue() & 0xFFFFFF;
  } else if (Code == 999) {
    // comments are noted by the reader itself
  } else {
    TdxfObject::ReadProperty();
  }
}

void TdxfEntity::Commit() {
  TdxfObject::Commit();
  if (!FEnt) return;
  // A polyline's vertices follow it even when a writer left out code 66.
  if (FKind == dkPolyline) FComplex = true;

  if (auto* OE = CachedCast<TqdDXFObjectEntity>(FEnt))
    FReader.GetLayers(OE->LayerItem(), FHasText[8] ? std::string_view(FTexts[8]) : std::string_view("0"));
  if (FHasText[6])
    if (auto* LT = CachedCast<TqdDXFObjectEntityLineType>(FEnt)) FReader.GetLTypes(LT->LineTypeItem(), FTexts[6]);
  if (FHasFloat[48 - 40]) FEnt->SetLineTypeScale(FFloats[48 - 40]);
  if (FHasInt[0]) FEnt->SetVisibility(FInts[0] == 0);
  if (FRGB >= 0)
    FEnt->SetColorCAD(TqdColorCAD::RGB(SwapRedBlue(static_cast<std::uint32_t>(FRGB))));
  else if (FHasInt[62 - 60] && FInts[62 - 60] >= 0 && FInts[62 - 60] <= 256)
    FEnt->SetColorCAD(TqdColorCAD::Index(FInts[62 - 60]));
  double LW;
  if (FHasLineWeight && LineWeightOf(FLineWeight, LW)) FEnt->SetLineWeight(LW);
  FEnt->SetPaperSpace(FPaperSpace);

  // The simplest types take their points here; the rest map their groups elsewhere.
  if (auto* L = CachedCast<TqdDXFLine>(FEnt)) {
    L->SetLine(FPoints[0], FPoints[1]);
    L->SetZThick(FZThick);
    L->SetExtrusion(FExtrusion);
  } else if (auto* P = CachedCast<TqdDXFPoint>(FEnt)) {
    P->SetPoint(FPoints[0]);
    P->SetZThick(FZThick);
    P->SetExtrusion(FExtrusion);
  }
}

bool TdxfEntity::AddChild(TdxfObject& AChild) {
  if (!FEnt) return false;
  std::unique_ptr<TqdDXFEntity> E = AChild.ExtractEntity();
  TqdDXFEntity* Raw = E.get();
  const bool Ok = FReader.SafeAdd(FEnt, E);
  if (Ok) FReader.NoteDXFName(Raw, AChild.Name());
  return Ok;
}

// ---------------------------------------------------------------- table items

void TdxfTableItem::Commit() {
  TdxfObject::Commit();
  if (!FEnt) return;
  auto* Item = dynamic_cast<TqdDXFOwneredItem*>(FEnt);
  if (Item) Item->SetNameUnchecked(Trimmed(FTexts[2]));
  if (FHas70) FEnt->SetFlags(FInt70);
  if (auto* L = dynamic_cast<TqdDXFLayer*>(FEnt)) {
    if (FHasInt[62 - 60] && FInts[62 - 60] != 0 && std::abs(FInts[62 - 60]) <= 256)
      L->SetColorCAD(TqdColorCAD::Index(FInts[62 - 60]));
    if (FRGB >= 0) L->SetColorCAD(TqdColorCAD::RGB(SwapRedBlue(static_cast<std::uint32_t>(FRGB))));
    if (FHasText[6]) FReader.GetLTypes(L->LineTypeItem(), FTexts[6]);
    double LW;
    if (FHasLineWeight && LineWeightOf(FLineWeight, LW)) L->SetLineWeight(LW);
  } else if (auto* T = dynamic_cast<TqdDXFLineType*>(FEnt)) {
    if (FHasText[3]) T->SetDescription(FTexts[3]);
  } else if (auto* S = dynamic_cast<TqdDXFStyle*>(FEnt)) {
    if (FHasText[3]) S->FPrimaryFont = FTexts[3];
    if (FHasText[4]) S->FBigFont = FTexts[4];
    if (FHasFloat[0]) S->FFixedHeight = FFloats[0];
    if (FHasFloat[1] && FFloats[1] > 0) S->FWidthFactor = FFloats[1];
    if (FHasFloat[2]) S->FLastHeightUsed = FFloats[2];
    if (FHasFloat[10]) S->FObliqueAngle = FFloats[10];
    if (FHasInt[11]) S->FTextGenFlags = FInts[11];
  }
}

// ---------------------------------------------------------------- TdxfReader

TdxfReader::TdxfReader(TqdDXFConverter* Conv) : TdxfReader(Conv, std::make_unique<TdxfTokenizer>()) {}

TdxfReader::TdxfReader(TqdDXFConverter* Conv, std::unique_ptr<TdxfTokenizer> ATokenizer)
    : TqdDrawingLoader(Conv), FTokenizer(std::move(ATokenizer)) {}

TdxfReader::~TdxfReader() = default;

TdxfBinReader::TdxfBinReader(TqdDXFConverter* AConverter, int AGroupCodeSize)
    : TdxfReader(AConverter, std::make_unique<TdxfBinTokenizer>(AGroupCodeSize)),
      FGroupCodeSize(AGroupCodeSize == 1 ? 1 : 2) {}

void TdxfReader::Next() {
  // The converter's position 0 means "cancel": the rest of the data is skipped.
  if (FConverter->Pos() == 0 && !FTokenizer->AtEnd()) {
    FCancelled = true;
    FTokenizer->JumpToEnd();
  }
  FTokenizer->Next();
  if (FTokenizer->Code() == 999 && !FTokenizer->AtEnd()) {
    FTokenizer->NoteComment();
    if (FFileInfo.size() < 64) FFileInfo.push_back(UpperNameText(FTokenizer->Value()));
  }
}

namespace {
// Names remembered per spelling: a file of endless made-up spellings must not grow the
// tables without bound (the rest are looked up each time).
constexpr std::size_t cnstMaxFoundNames = 4096;
} // namespace

TdxfReader::TNameInfo TdxfReader::NameInfo(std::string_view AName) {
  if (auto It = FNameInfos.find(AName); It != FNameInfos.end()) return It->second;
  TNameInfo I;
  I.Kind = DXFObjectKind(AName);
  I.Class = TqdEntityRegistry::ClassByDXFName(AName);
  I.MapperKind = DXFMapperKind(AName);
  if (FNameInfos.size() < cnstMaxFoundNames) FNameInfos.emplace(AName, I);
  return I;
}

void TdxfReader::NoteProgress() {
  if (FCancelled || FConverter->Pos() == 0) return;
  FConverter->SetLoadingState(true, FTokenizer->Pos());
  if (FOptions.OnProgress) FOptions.OnProgress(FTokenizer->Pos(), FTokenizer->Limit());
}

std::string DXFNameOf(const TdxfLoadResult& R, const TqdDXFEntity& E) {
  const auto It = R.DXFNames.find(&E);
  if (It != R.DXFNames.end()) return std::string(It->second);
  if (const auto* P = dynamic_cast<const TqdDXFProxy*>(&E); P && !P->FDXFName.empty()) return P->FDXFName;
  return DXFClassName(E);
}

void TdxfReader::NoteDXFName(const TqdDXFEntity* E, std::string_view AName) {
  if (!FOptions.RecordNames || !E) return;
  // Most entities were read as the name their class stands for: only the others are
  // kept (a map entry for each of a million entities cost as much as reading them).
  const char* Class = E->ClassName();
  if (Class == FSameClass && AName == FSameName) {
    FDXFNames.erase(E);
    return;
  }
  std::string& Own = FClassNames[Class];
  if (Own.empty()) Own = DXFClassName(*E);
  if (SameNameText(Own, AName)) {
    FSameClass = Class;
    FSameName.assign(AName);
    FDXFNames.erase(E);
    return;
  }
  if (const char* K = KnownName(AName)) {
    FDXFNames[E] = K;
    return;
  }
  // A proxy of an unknown class keeps its name itself: the names recorded here must
  // outlive the reader.
  if (dynamic_cast<const TqdDXFProxy*>(E)) {
    FDXFNames.erase(E);
    return;
  }
  auto It = FNameStore.find(AName);
  if (It == FNameStore.end()) It = FNameStore.emplace(UpperNameText(AName)).first;
  FDXFNames[E] = *It;
}

void TdxfReader::GetLayers(TqdTableItem& ALink, std::string_view AName) {
  const std::string_view N = AName.empty() ? std::string_view("0") : AName;
  if (auto It = FFoundLayers.find(N); It != FFoundLayers.end()) {
    ALink.SetItem(It->second);
    return;
  }
  if (TqdDXFEntity* T = FConverter->GetSection(csLayers))
    if (auto* L = dynamic_cast<TqdDXFLayer*>(T->FindEntByName(N))) {
      if (FFoundLayers.size() < cnstMaxFoundNames) FFoundLayers.emplace(N, L);
      ALink.SetItem(L);
      return;
    }
  ALink.SetLink(TqdLinkObject::ByName(N));
}

void TdxfReader::GetLTypes(TqdTableItem& ALink, std::string_view AName) {
  const std::string_view N = AName.empty() ? std::string_view("BYLAYER") : AName;
  if (auto It = FFoundLTypes.find(N); It != FFoundLTypes.end()) {
    ALink.SetItem(It->second);
    return;
  }
  TqdDXFEntity* L = FConverter->LTypeByName(N);
  // BYLAYER and BYBLOCK are made at the end of every load anyway: made now, a file
  // without them links its entities directly instead of by a name looked up per
  // entity when the load completes.
  if (!L && N.size() == 7)
    if (const std::string U = UpperNameText(N); U == "BYLAYER" || U == "BYBLOCK") L = FConverter->ItemByName(U, csLTypes, true);
  if (L) {
    if (FFoundLTypes.size() < cnstMaxFoundNames) FFoundLTypes.emplace(N, L);
    ALink.SetItem(L);
    return;
  }
  ALink.SetLink(TqdLinkObject::ByName(N));
}

TqdDXFEntity* TdxfReader::ObjectDestination(std::uint64_t AHandle) const {
  if (AHandle) {
    auto It = FPendingEntries.find(AHandle);
    if (It != FPendingEntries.end()) return It->second.Dictionary;
  }
  return FConverter->GetSection(csObjects);
}

void TdxfReader::PlaceObject(TdxfObject& AObj) {
  TqdDXFEntity* Item = AObj.Ent();
  TqdDXFEntity* Objects = FConverter->GetOrCreateSection(csObjects);
  if (!Item || !Objects) return;
  FReadObjects = true;
  std::unique_ptr<TqdDXFEntity> E = AObj.ExtractEntity();
  bool Added = false;
  auto It = AObj.FHandle ? FPendingEntries.find(AObj.FHandle) : FPendingEntries.end();
  if (It != FPendingEntries.end()) {
    TqdDXFDictionary* D = It->second.Dictionary;
    Item->SetName(It->second.Name);
    FPendingEntries.erase(It);
    // A dictionary that is this object or lies inside it cannot take it.
    bool Cycle = false;
    int Depth = 0;
    for (const TqdDXFEntity* P = D; P && Depth < cnstMaxTreeDepth; P = P->Owner(), ++Depth)
      Cycle |= P == Item;
    if (Cycle)
      Warn("dictionary entries naming their own dictionary or one of its owners were refused");
    else
      Added = SafeAdd(D, E);
  }
  if (!Added && E) {
    // A dictionary parked in OBJECTS is nameless there: OBJECTS files some names
    // (LAYOUTS, ACAD_LAYOUT...) as the drawing's own dictionaries.
    if (dynamic_cast<TqdDXFDictionary*>(Item)) Item->SetName("DICTIONARY");
    Added = SafeAdd(Objects, E);
  }
  if (!Added) return;
  AObj.FAdded = true;
  if (AObj.FHandle) {
    FObjectsByHandle.emplace(AObj.FHandle, Item);
    if (auto* D = dynamic_cast<TqdDXFDictionary*>(Item)) FDictionaries.emplace(AObj.FHandle, D);
  }
  AObj.Placed(Item);
}

void TdxfReader::ForgetObject(const TqdDXFEntity* E) {
  ForgetFoundItems();
  std::erase_if(FObjectsByHandle, [E](const auto& P) { return P.second == E; });
  std::erase_if(FDictionaries, [E](const auto& P) { return P.second == E; });
  std::erase_if(FPendingEntries, [E](const auto& P) { return P.second.Dictionary == E; });
  std::erase_if(FLayoutBlocks, [E](const auto& P) { return P.first == E; });
  if (FNamedObjects == E) FNamedObjects = nullptr;
}

// ---------------------------------------------------------------- Read

void TdxfReader::Read() {
  TqdDXFConverter* C = FConverter;
  C->Clear();
  C->ResetHeader();
  const char* Data = reinterpret_cast<const char*>(C->Source());
  const std::size_t Size = Data ? C->Limit() : 0;
  if (!Data) Data = "";
  const TdxfFormatInfo Info = DetectDXFFormat(Data, Size);
  const bool Binary = dynamic_cast<TdxfBinTokenizer*>(FTokenizer.get()) != nullptr;
  const std::size_t Start = (Info.Format == dfBinary) == Binary ? Info.Start : 0;
  // The converter's own dictionaries as they are before the file's objects arrive.
  NoteOwnDictionaries();
  C->SetLoadingState(true, 0);
  FTokenizer->Reset(Data, Size, Start);
  C->FHeadEnd = Size;

  std::string Failure;
  FMain = std::make_unique<TdxfMain>(*this, nullptr, "", dkUnknown);
  try {
    FMain->Read();
  } catch (const std::exception& X) {
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%d", FTokenizer->Line());
    Failure = "DXF read error on line " + std::string(Buf) + ": " + std::string(FTokenizer->Value()) + "\r\n" + X.what();
  }
  FMain.reset();
  Finish();
  if (!Failure.empty()) throw EdxfReadError(Failure);
}

void TdxfReader::Finish() {
  Complete(FTokenizer->Limit());
  if (!FSawEOF && FSawData && !FCancelled)
    Warn("the file ends early at line " + std::to_string(FTokenizer->Line()) +
         " (no EOF marker): the drawing is incomplete");
}

// ---------------------------------------------------------------- loading entry points

TdxfLoadResult LoadDXFFromMemory(const void* AData, std::size_t ASize, TqdDXFConverter& AConverter,
                                 const TdxfLoadOptions& AOptions) {
  TdxfLoadResult R;
  const auto T0 = std::chrono::steady_clock::now();
  const TdxfFormatInfo Info = DetectDXFFormat(AData ? AData : "", AData ? ASize : 0);
  R.Format = Info.Format;
  std::unique_ptr<TdxfReader> Reader;
  if (Info.Format == dfBinary) {
    Reader = std::make_unique<TdxfBinReader>(&AConverter, Info.GroupCodeSize);
    R.GroupCodeSize = Info.GroupCodeSize;
  } else {
    Reader = std::make_unique<TdxfReader>(&AConverter);
  }
  Reader->FOptions = AOptions;
  AConverter.SetSourceView(AData, AData ? ASize : 0);
  try {
    Reader->Read();
    R.Ok = Reader->SawData();
    if (!R.Ok) R.Error = "No DXF data found";
  } catch (const std::exception& X) {
    R.Error = X.what();
  }
  AConverter.DropSource();
  R.AcadVer = Reader->AcadVer();
  R.CodePageName = Reader->CodePageName();
  R.Warnings = Reader->Warnings();
  R.DXFNames = std::move(Reader->FDXFNames);
  R.LoadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
  return R;
}

TdxfLoadResult LoadDXFFile(const std::string& APath, TqdDXFConverter& AConverter, const TdxfLoadOptions& AOptions) {
  const auto T0 = std::chrono::steady_clock::now();
  TdxfLoadResult R;
  const std::string Error = qdReadMappedFile(
      APath, true, AOptions.OnProgress, [&](const void* AData, std::size_t ASize, const TqdProgressFn& AProgress) {
        AConverter.SetFileName(APath);
        TdxfLoadOptions Options = AOptions;
        Options.OnProgress = AProgress;
        R = LoadDXFFromMemory(AData, ASize, AConverter, Options);
      });
  if (!Error.empty()) R.Error = Error;
  R.LoadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
  return R;
}
