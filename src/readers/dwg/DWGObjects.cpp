// The DWG reader, second part: the objects of R13 and later files.
//
// Every object of the map is decoded once, through a decoder chosen by its type (or
// its class name), into the groups the DXF reader takes for the same object; the
// groups are then laid out as a binary DXF drawing (tables, blocks with their
// entities, model and paper space, objects) and read by the DXF reader into the
// converter. A decoder reads its data through a cursor bounded to the object and its
// handles through a second cursor that starts where the object's stored bit size
// says, so a field read wrongly cannot move owner and layer; a failed object is
// recorded and skipped, and the first failure is reported once with its class and
// handle.
#include "DWGObjects.h"
#include "DWGDirect.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "readers/dxf/DXF.h"
#include "readers/dxf/DXFMapping.h"
#include "readers/dxf/DXFTokenizer.h"
#include "Registry.h"

// ---------------------------------------------------------------- group writer

void TdwgGroupWriter::Code(int C) {
  const char B[2] = {static_cast<char>(C & 0xFF), static_cast<char>((C >> 8) & 0xFF)};
  FData.append(B, 2);
}

void TdwgGroupWriter::Str(int C, std::string_view V) {
  // Values end at their first NUL in the stream.
  const std::size_t Z = V.find('\0');
  if (Z != std::string_view::npos) V = V.substr(0, Z);
  Code(C);
  FData.append(V.data(), V.size());
  FData.push_back('\0');
}

void TdwgGroupWriter::Int(int C, std::int64_t V) {
  switch (BinaryValueKind(C)) {
    case bvByte:
      Code(C);
      FData.push_back(static_cast<char>(V & 0xFF));
      return;
    case bvInt16: {
      Code(C);
      const auto U = static_cast<std::uint16_t>(std::clamp<std::int64_t>(V, INT16_MIN, UINT16_MAX));
      FData.push_back(static_cast<char>(U & 0xFF));
      FData.push_back(static_cast<char>(U >> 8));
      return;
    }
    case bvInt32: {
      Code(C);
      const auto U = static_cast<std::uint32_t>(std::clamp<std::int64_t>(V, INT32_MIN, UINT32_MAX));
      for (int I = 0; I < 4; ++I) FData.push_back(static_cast<char>((U >> (8 * I)) & 0xFF));
      return;
    }
    case bvInt64: {
      Code(C);
      const auto U = static_cast<std::uint64_t>(V);
      for (int I = 0; I < 8; ++I) FData.push_back(static_cast<char>((U >> (8 * I)) & 0xFF));
      return;
    }
    case bvDouble:
      Real(C, static_cast<double>(V));
      return;
    default:
      Str(C, std::to_string(V));
  }
}

void TdwgGroupWriter::Real(int C, double V) {
  if (!std::isfinite(V)) V = 0;
  if (BinaryValueKind(C) != bvDouble) {
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "%.17g", V);
    Str(C, Buf);
    return;
  }
  // Code and value in one append: every point of every entity passes here.
  std::uint64_t U;
  std::memcpy(&U, &V, 8);
  char B[10] = {static_cast<char>(C & 0xFF), static_cast<char>((C >> 8) & 0xFF)};
  for (int I = 0; I < 8; ++I) B[2 + I] = static_cast<char>((U >> (8 * I)) & 0xFF);
  FData.append(B, 10);
}

void TdwgGroupWriter::Hnd(int C, std::uint64_t H) {
  if (H) HndAlways(C, H);
}

void TdwgGroupWriter::HndAlways(int C, std::uint64_t H) {
  // Upper-case hexadecimal without leading zeros, written directly (no formatting).
  char Buf[20];
  char* E = Buf + sizeof Buf;
  char* P = E;
  do {
    *--P = "0123456789ABCDEF"[H & 0xF];
    H >>= 4;
  } while (H);
  Code(C);
  FData.append(P, static_cast<std::size_t>(E - P));
  FData.push_back('\0');
}

void TdwgGroupWriter::Pt(int C, const TFPoint& P) {
  Real(C, P.X);
  Real(C + 10, P.Y);
  Real(C + 20, P.Z);
}

void TdwgGroupWriter::Pt2(int C, const TFPoint& P) {
  Real(C, P.X);
  Real(C + 10, P.Y);
}

void TdwgGroupWriter::Chunk(int C, std::string_view Bytes) {
  // Chunks hold at most 255 bytes: longer data goes in several groups.
  do {
    const std::size_t N = std::min<std::size_t>(Bytes.size(), 127);
    Code(C);
    FData.push_back(static_cast<char>(N));
    FData.append(Bytes.data(), N);
    Bytes.remove_prefix(N);
  } while (!Bytes.empty());
}

int DWGLineWeightGroup(int AIndex) {
  const double W = LineWeightByIndex(AIndex);
  return W < 0 ? static_cast<int>(W) : static_cast<int>(std::lround(W * 100));
}

// ---------------------------------------------------------------- the object reader

class EdwgObjectError : public EdwgError {
public:
  using EdwgError::EdwgError;
};

std::string TdwgObj::T() { return Strings->ReadT(); }

void TdwgObj::Need(std::uint64_t N, std::uint64_t ABits) const { Need(N, ABits, D); }

void TdwgObj::Need(std::uint64_t N, std::uint64_t ABits, const TdwgBitCursor& C) const {
  if (N > C.BitsLeft() / (ABits ? ABits : 1))
    throw EdwgObjectError("count " + std::to_string(N) + " exceeds the object's data");
}

class TdwgObjectReader {
public:
  TdwgObjectReader(TdwgReader& AReader, const std::vector<int>& ATypes)
      : R(AReader), FTypes(ATypes), FColors(CreateColorReader(AReader.Version())) {}

  // Decodes every object; the drawing as binary DXF.
  std::string Run();

  TdwgReader& R;
  IColorReader& Colors() { return *FColors; }

  // ---- names of table records by handle ("" when unknown)
  std::unordered_map<std::uint64_t, std::string> FLayers, FLTypes, FStyles, FDimStyles, FBlocks, FAppIDs, FMLStyles;
  static const std::string& Find(const std::unordered_map<std::uint64_t, std::string>& M, std::uint64_t H) {
    static const std::string Empty;
    auto It = M.find(H);
    return It == M.end() ? Empty : It->second;
  }

  // Block records.
  struct TBlockHeader {
    std::uint64_t Handle = 0, BlockEnt = 0, EndBlk = 0, Layout = 0, Owner = 0;
    std::string Name, Xref, Description;
    int Flags = 0;
    TFPoint Base;
    std::string EntryGroups, EntryEED;  // the BLOCK_RECORD entry
  };
  std::vector<TBlockHeader> FBlockHeaders;
  // The block control's entries, in order: anonymous and extra paper-space records
  // are named by their position here.
  std::vector<std::uint64_t> FBlockEntries;
  // BLOCK and ENDBLK entities by handle: their common groups.
  struct TMarker {
    std::string Layer;
    bool Paper = false;
    std::string EED;
  };
  std::unordered_map<std::uint64_t, TMarker> FMarkers;

  struct TRecord {
    std::uint64_t Handle = 0, Owner = 0;
    const TdwgDecoder* Dec = nullptr;
    std::string Groups, EED;
    std::int32_t Direct = -1;  // given as values: its place in FDirect
  };
  std::vector<TRecord> FEntities;
  // Entities given as values, in the order read; the image names them by position.
  TdxfDirectList FDirect;
  TdwgNamePool FNames;
  const bool FDirectOn = DWGDirectEntities();
  // Table entries and controls by table name.
  std::map<std::string, std::vector<std::string>> FTableEntries;
  std::map<std::string, std::string> FTableHeads;
  std::vector<std::pair<std::uint64_t, std::string>> FObjects;
  struct TStyleEntry {
    std::uint64_t Handle;
    std::string Groups, EED;
  };
  std::vector<TStyleEntry> FStyleEntries;
  // Styles without a name become "SHAPE0", "SHAPE1" ... (the first free).
  void NameShapeStyles();
  // Viewport numbers (group 69) by handle, from the lists of the layouts (R2004 and
  // later): the first listed is the layout's own paper-space viewport, number 1.
  std::unordered_map<std::uint64_t, int> FViewportIds;
  std::unordered_map<std::uint64_t, int> FListedViewports;  // paper block -> listed count
  std::unordered_set<std::uint64_t> FViewportsOff;
  // Gives every viewport its number: the listed ones theirs, the others the next
  // numbers of their block in the order they were read.
  void NumberViewports();
  // The header's current layer, linetype and styles, named by their handles.
  void ApplyHeaderNames(TqdHeadVarStruct& H) const;

private:
  const TdwgDecoder* DecoderOf(int AType, std::string& AName) const;
  // Decodes map element I; false when it failed.
  bool DecodeOne(std::size_t I, const TdwgDecoder& Dec, int AType);
  // The common values of an entity given as values (DWGDirect.h); false when it
  // keeps its groups.
  bool DirectHead(TdwgObj& O, const TdwgDecoder& Dec, TdxfDirectEntity& E);
  void ReadEntityCommon(TdwgObj& O, TdwgBitCursor& C, std::uint64_t& AHandlesAt);
  void ReadEED(TdwgObj& O, TdwgBitCursor& C);
  void WriteEntityHead(TdwgObj& O, const TdwgDecoder& Dec, TdwgGroupWriter& W);
  std::string Assemble();
  void WriteEntity(TdwgGroupWriter& W, std::size_t AIndex, bool APaper, int ADepth);
  // Writes the marker of the run of entities given as values not yet written.
  void FlushDirect(TdwgGroupWriter& W);
  std::int32_t FRunFirst = 0, FRunCount = 0;
  void Fail(std::uint64_t AHandle, const char* AName, const std::string& AWhy);

  const std::vector<int>& FTypes;
  std::unique_ptr<IColorReader> FColors;
  // Entities of classes without a decoder of their own, by class number.
  mutable std::unordered_map<int, TdwgDecoder> FClassDecoders;
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> FChildren;  // entity -> sub-entities
  std::unordered_map<std::uint64_t, std::size_t> FSeqends;                // owner -> SEQEND record
  std::size_t FFailed = 0;
  std::string FFirstFailure;
  TdwgGroupWriter FScratch;  // the groups of the object being decoded
  std::unique_ptr<TdwgStringReader> FStrings;
};

void TdwgObjectReader::Fail(std::uint64_t AHandle, const char* AName, const std::string& AWhy) {
  if (FFailed++ == 0) FFirstFailure = std::string(AName) + " " + DeferredObjectErrorMessage("EdwgError", AHandle) + " " + AWhy;
}

const TdwgDecoder* TdwgObjectReader::DecoderOf(int AType, std::string& AName) const {
  if (AType < 500) {
    if (const TdwgDecoder* D = DWGEntityDecoder(AType)) return D;
    return DWGObjectDecoder(AType);
  }
  for (const TdwgClass& K : R.Classes())
    if (K.Number == AType) {
      AName = K.DXFName;
      std::string Upper = K.DXFName;
      for (char& Ch : Upper) Ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
      if (const TdwgDecoder* D = DWGEntityDecoderByClass(Upper)) return D;
      if (const TdwgDecoder* D = DWGObjectDecoderByClass(Upper)) return D;
      // Another entity class: placed by its common data and drawn from its proxy
      // graphics, its own data not read.
      if (K.ItemClassID != 0x1F2 || K.DXFName.empty()) return nullptr;
      auto It = FClassDecoders.find(AType);
      if (It == FClassDecoders.end())
        It = FClassDecoders.emplace(AType, TdwgDecoder{K.DXFName.c_str(), drEntity, DWGDecodeProxyEntity}).first;
      return &It->second;
    }
  return nullptr;
}

void TdwgObjectReader::ReadEED(TdwgObj& O, TdwgBitCursor& C) {
  TdwgGroupWriter W;
  for (int Guard = 0; Guard < 4096; ++Guard) {
    const std::uint64_t Size = static_cast<std::uint16_t>(C.ReadBS());  // BS size
    if (Size == 0 || !C.Ok()) break;
    const std::uint64_t App = C.ReadH(O.Handle);  // H application
    // A block larger than what is left of the object ends the extended data.
    if (Size * 8 > C.BitsLeft()) {
      C.SetPosition(C.End());
      C.SetOverflow();
      break;
    }
    const std::uint64_t End = C.Position() + Size * 8;
    TdwgBitCursor B = C.Sub(C.Position(), End);
    C.SetPosition(End);
    const std::string& AppName = Find(FAppIDs, App);
    if (AppName.empty()) continue;
    W.Str(1001, AppName);
    while (B.BitsLeft() >= 8 && B.Ok()) {
      const int Code = B.ReadRC();  // RC code
      switch (Code) {
        case 0: {
          std::string S;
          if (O.V >= acR2007) {
            const int N = B.ReadRSU();  // RS length
            std::string Raw = B.ReadBytes(static_cast<std::uint64_t>(N) * 2);
            S = UTF16LEToUTF8(reinterpret_cast<const std::uint8_t*>(Raw.data()), Raw.size() / 2);
          } else {
            const int N = B.ReadRC();  // RC length
            (void)B.ReadRSU();         // RS code page
            S = B.ReadBytes(static_cast<std::uint64_t>(N));
            TdwgAnsiStringReader A(nullptr, R.CodePage());
            TdwgBitCursor T(S.data(), S.size(), O.V);
            A.Aim(&T, R.CodePage());
            S = A.ReadChars(static_cast<int>(S.size()), R.CodePage());
          }
          W.Str(1000, S);
          break;
        }
        case 2: W.Str(1002, B.ReadRC() ? "}" : "{"); break;  // RC open/close
        case 3:
        case 5: {
          std::uint64_t H = 0;
          for (int I = 0; I < 8; ++I) H = (H << 8) | B.ReadRC();  // 8 bytes, most significant first
          if (Code == 3)
            W.Str(1003, Find(FLayers, H).empty() ? std::string("0") : Find(FLayers, H));
          else
            W.HndAlways(1005, H);
          break;
        }
        case 4: {
          const int N = B.ReadRC();  // RC length
          W.Chunk(1004, B.ReadBytes(static_cast<std::uint64_t>(N)));
          break;
        }
        case 10: case 11: case 12: case 13: W.Pt(1000 + Code, B.Read3RD()); break;
        case 40: case 41: case 42: W.Real(1000 + Code, B.ReadRD()); break;
        case 70: W.Int(1070, B.ReadRS()); break;
        case 71: W.Int(1071, static_cast<std::int32_t>(B.ReadRL())); break;
        default: B.SetPosition(B.End()); break;  // an unknown code: the rest of the block is lost
      }
    }
  }
  O.EED = std::move(W.FData);
}

// Entity common data after the extended data (graphics to the lineweight).
void TdwgObjectReader::ReadEntityCommon(TdwgObj& O, TdwgBitCursor& C, std::uint64_t& AHandlesAt) {
  const TqdDWGVersion V = O.V;
  if (C.ReadBit()) {                                                        // B graphics present
    const std::uint64_t G = V >= acR2010 ? C.ReadBLL() : C.ReadRL();         // RL/BLL size in bytes
    if (G > C.BitsLeft() / 8) throw EdwgObjectError("graphics larger than the object");
    O.G = C.Sub(C.Position(), C.Position() + G * 8);
    C.Skip(static_cast<std::int64_t>(G * 8));
  }
  if (V <= acR14) AHandlesAt = O.DataStart + C.ReadRL();  // RL size of the data in bits
  O.Mode = C.ReadBB();                                    // BB entity mode
  const std::uint32_t NumReactors = static_cast<std::uint32_t>(C.ReadBL());  // BL reactors
  bool NoXDict = false;
  if (V >= acR2004) NoXDict = C.ReadBit();  // B no extension dictionary
  if (V >= acR2013) C.Skip(1);              // B binary data
  bool ByLayerLT = false;
  if (V <= acR14) ByLayerLT = C.ReadBit();  // B linetype by layer
  bool NoLinks = true;
  if (V < acR2004) NoLinks = C.ReadBit();  // B no links
  int CFlags = 0;
  O.Color = FColors->ReadENC(C, &CFlags);  // ENC colour
  O.LTScale = C.ReadBD();                  // BD linetype scale
  int PSFlags = 0, MatFlags = 0;
  if (V >= acR2000) {
    O.LTFlags = C.ReadBB();  // BB linetype flags
    PSFlags = C.ReadBB();    // BB plot style flags
  } else {
    O.LTFlags = ByLayerLT ? 0 : 3;
  }
  if (V >= acR2007) {
    MatFlags = C.ReadBB();  // BB material flags
    (void)C.ReadRC();       // RC shadow flags
  }
  int VisualStyles = 0;
  if (V >= acR2010)
    for (int I = 0; I < 3; ++I) VisualStyles += C.ReadBit();  // B full, face, edge visual style
  O.Invisible = (C.ReadBS() & 1) != 0;  // BS invisibility
  if (V >= acR2000) O.LWIndex = C.ReadRC();  // RC lineweight index
  if (!C.Ok()) throw EdwgObjectError("common entity data cut short");
  if (AHandlesAt < O.DataStart || AHandlesAt > C.End()) throw EdwgObjectError("handle stream outside the object");
  // The handle stream: owner, reactors, extension dictionary, layer and linetype.
  O.H = C.Sub(AHandlesAt, C.End());
  O.Need(NumReactors, 8, O.H);
  if (O.Mode == 0) O.Owner = O.Hd();  // H owner
  O.Reactors.reserve(NumReactors);
  for (std::uint32_t I = 0; I < NumReactors; ++I) O.Reactors.push_back(O.Hd());  // H reactors
  if (!NoXDict) O.XDict = O.Hd();                                                 // H extension dictionary
  if (V <= acR14) {
    O.Layer = O.Hd();                         // H layer
    if (!ByLayerLT) O.LType = O.Hd();         // H linetype
  }
  if (!NoLinks) {
    (void)O.Hd();       // H previous entity
    O.Next = O.Hd();    // H next entity
  }
  if (V >= acR2004 && (CFlags & 0x4000)) (void)O.Hd();  // H colour book
  if (V >= acR2000) {
    O.Layer = O.Hd();                         // H layer
    if (O.LTFlags == 3) O.LType = O.Hd();     // H linetype
  }
  if (V >= acR2007 && MatFlags == 3) (void)O.Hd();  // H material
  if (V >= acR2000 && PSFlags == 3) (void)O.Hd();   // H plot style
  for (int I = 0; I < VisualStyles; ++I) (void)O.Hd();  // H visual styles
  if (!O.H.Ok()) throw EdwgObjectError("common entity handles cut short");
}

void TdwgObjectReader::WriteEntityHead(TdwgObj& O, const TdwgDecoder& Dec, TdwgGroupWriter& W) {
  W.Str(0, Dec.Name);
  W.HndAlways(5, O.Handle);
  if (!O.Reactors.empty()) {
    W.Str(102, "{ACAD_REACTORS");
    for (std::uint64_t H : O.Reactors) W.Hnd(330, H);
    W.Str(102, "}");
  }
  if (O.XDict) {
    W.Str(102, "{ACAD_XDICTIONARY");
    W.Hnd(360, O.XDict);
    W.Str(102, "}");
  }
  W.Str(100, "AcDbEntity");
  const std::string& Layer = Find(FLayers, O.Layer);
  W.Str(8, Layer.empty() ? std::string("0") : Layer);
  switch (O.LTFlags) {
    case 1: W.Str(6, "BYBLOCK"); break;
    case 2: W.Str(6, "CONTINUOUS"); break;
    case 3:
      if (!Find(FLTypes, O.LType).empty()) W.Str(6, Find(FLTypes, O.LType));
      break;
    default: break;
  }
  if (O.Color.Active == acIndexColor) {
    if (!O.Color.IsByLayer()) W.Int(62, O.Color.IndexValue());
  } else {
    W.Int(420, static_cast<std::int64_t>(SwapRedBlue(O.Color.Color) & 0xFFFFFF));
  }
  if (O.LWIndex >= 0 && DWGLineWeightGroup(O.LWIndex) != -1) W.Int(370, DWGLineWeightGroup(O.LWIndex));
  if (O.LTScale != 1.0) W.Real(48, O.LTScale);
  if (O.Invisible) W.Int(60, 1);
}

bool TdwgObjectReader::DirectHead(TdwgObj& O, const TdwgDecoder& Dec, TdxfDirectEntity& E) {
  if (!DWGDirectKind(O.Type, E.Kind) || std::strcmp(Dec.Name, DXFDirectName(E.Kind)) != 0) return false;
  if (!O.Reactors.empty() || O.XDict || !O.EED.empty()) return false;
  // What WriteEntityHead writes, as the DXF reader keeps it.
  const std::string& Layer = Find(FLayers, O.Layer);
  const std::string_view LayerName = Layer.empty() ? std::string_view("0") : std::string_view(Layer);
  if (!DWGDirectPlainName(LayerName)) return false;
  std::string_view LType;
  switch (O.LTFlags) {
    case 1: LType = "BYBLOCK"; break;
    case 2: LType = "CONTINUOUS"; break;
    case 3: LType = Find(FLTypes, O.LType); break;
    default: break;
  }
  if (!DWGDirectPlainName(LType)) return false;
  E.Handle = O.Handle;
  E.Layer = FNames.Get(LayerName);
  if (!LType.empty()) E.LType = FNames.Get(LType);
  if (O.Color.Active == acIndexColor) {
    if (!O.Color.IsByLayer()) {
      // A 16-bit group, as written.
      const auto U = static_cast<std::uint16_t>(std::clamp<std::int64_t>(O.Color.IndexValue(), INT16_MIN, UINT16_MAX));
      E.Color = static_cast<std::int16_t>(U);
      E.HasColor = true;
    }
  } else {
    E.RGB = static_cast<std::int64_t>(SwapRedBlue(O.Color.Color) & 0xFFFFFF);
  }
  if (O.LWIndex >= 0 && DWGLineWeightGroup(O.LWIndex) != -1) {
    E.LineWeight = static_cast<std::int16_t>(
        static_cast<std::uint16_t>(std::clamp<std::int64_t>(DWGLineWeightGroup(O.LWIndex), INT16_MIN, UINT16_MAX)));
    E.HasLineWeight = true;
  }
  if (O.LTScale != 1.0) {
    E.LTScale = std::isfinite(O.LTScale) ? O.LTScale : 0;
    E.HasLTScale = true;
  }
  if (O.Invisible) {
    E.Visibility = 1;
    E.HasVisibility = true;
  }
  return true;
}

bool TdwgObjectReader::DecodeOne(std::size_t I, const TdwgDecoder& Dec, int AType) {
  const TqdObjectsMap& M = R.ObjMap();
  TdwgObj O;
  O.Ctx = this;
  O.V = R.Version();
  O.Type = AType;
  O.Handle = M[I].Handle;
  O.Entity = Dec.Role == drEntity || Dec.Role == drSubEntity || Dec.Role == drSeqend || Dec.Role == drBlockBegin ||
             Dec.Role == drBlockEnd;
  try {
    // The envelope (MS size and, from R2010 on, the handle-stream size) is read once,
    // by the container: the cursor starts at the type.
    TdwgReader::TdwgObjectEnvelope Env;
    std::string E;
    if (!R.ObjectEnvelope(I, Env, E)) throw EdwgObjectError(E);
    TdwgBitCursor C = Env.Data;
    const std::uint64_t Start = Env.Start;
    O.DataStart = Start;
    std::uint64_t HandlesAt = Env.End;
    if (O.V >= acR2010) {
      HandlesAt = Env.HandlesAt;
      (void)C.ReadOT();  // OT type
    } else {
      (void)C.ReadBS();  // BS type
    }
    if (O.V >= acR2000 && O.V < acR2010) {
      const std::uint64_t Bits = C.ReadRL();  // RL size of the data in bits
      if (Bits > C.End() - Start) throw EdwgObjectError("data bit size beyond the object");
      HandlesAt = Start + Bits;
    }
    // One string reader for all objects (it holds only its cursor and code page).
    if (!FStrings) FStrings = CreateStringReader(O.V, &O.D, R.CodePage(), false);
    TdwgStringReader* Strings = FStrings.get();
    if (O.V >= acR2007) {
      O.S = SplitObjectStreams(Env.Data, Start, HandlesAt).Strings;
      Strings->Aim(&O.S, R.CodePage());
    } else {
      Strings->Aim(&O.D, R.CodePage());
    }
    O.Strings = Strings;
    (void)C.ReadH(0);  // H own handle: the map's is the one kept
    ReadEED(O, C);
    if (O.Entity) {
      ReadEntityCommon(O, C, HandlesAt);
    } else {
      if (O.V <= acR14) HandlesAt = Start + C.ReadRL();  // RL size of the data in bits
      const std::uint32_t NumReactors = static_cast<std::uint32_t>(C.ReadBL());  // BL reactors
      bool NoXDict = false;
      if (O.V >= acR2004) NoXDict = C.ReadBit();  // B no extension dictionary
      if (O.V >= acR2013) C.Skip(1);              // B binary data
      if (!C.Ok() || HandlesAt < Start || HandlesAt > C.End()) throw EdwgObjectError("common data cut short");
      O.H = C.Sub(HandlesAt, C.End());
      O.Need(NumReactors, 8, O.H);
      O.Owner = O.Hd();  // H owner
      for (std::uint32_t K = 0; K < NumReactors; ++K) O.Reactors.push_back(O.Hd());  // H reactors
      if (!NoXDict) O.XDict = O.Hd();                                                 // H extension dictionary
    }
    O.D = C;
    O.D.SetEnd(std::min(HandlesAt, O.V >= acR2007 && O.S.End() > O.S.Begin() ? O.S.Begin() : HandlesAt));
    if (O.V < acR2007) Strings->Aim(&O.D, R.CodePage());
    // One buffer for every object's groups: each record then takes an exact copy
    // instead of a string grown append by append.
    TdwgGroupWriter& W = FScratch;
    if (W.FData.capacity() > (std::size_t(1) << 20)) std::string().swap(W.FData);  // after a huge object
    W.FData.clear();
    if (Dec.Role == drTableEntry || Dec.Role == drBlockHeader) {
      O.Name = O.T();  // TV entry name
      if (O.V >= acR2007) {
        O.EntryFlags = O.D.ReadBS();  // BS flags
      } else {
        if (O.D.ReadBit()) O.EntryFlags |= 64;  // B referenced
        (void)O.D.ReadBS();                     // BS xref index
        if (O.D.ReadBit()) O.EntryFlags |= 16;  // B xref dependent
      }
      (void)O.Hd();  // H external reference block
    }
    // Lines, points, circles and arcs as values instead of groups, where they can be.
    TdxfDirectEntity Direct;
    const bool AsValues = Dec.Role == drEntity && FDirectOn && FDirect.Size() < INT32_MAX && DirectHead(O, Dec, Direct);
    if (AsValues) DWGDecodeDirect(O, Direct);
    else if (O.Entity) WriteEntityHead(O, Dec, W);
    else if (Dec.Role != drControl && Dec.Role != drBlockHeader && Dec.Role != drTableEntry) {
      W.Str(0, Dec.Name);
      W.HndAlways(5, O.Handle);
      if (!O.Reactors.empty()) {
        W.Str(102, "{ACAD_REACTORS");
        for (std::uint64_t H : O.Reactors) W.Hnd(330, H);
        W.Str(102, "}");
      }
      if (O.XDict) {
        W.Str(102, "{ACAD_XDICTIONARY");
        W.Hnd(360, O.XDict);
        W.Str(102, "}");
      }
      W.Hnd(330, O.Owner);
    }
    if (Dec.Fn && !AsValues) Dec.Fn(O, W);
    if (!O.D.Ok()) throw EdwgObjectError("data cut short");
    if (!O.H.Ok()) throw EdwgObjectError("handles cut short");
    if (R.Stopped()) return false;
    std::uint64_t Owner = O.Owner;
    if (O.Entity && O.Mode == 1) Owner = R.PaperSpaceRecord();
    if (O.Entity && O.Mode == 2) Owner = R.ModelSpaceRecord();
    switch (Dec.Role) {
      case drEntity:
      case drSubEntity:
      case drSeqend: {
        if (AsValues) {
          FEntities.push_back({O.Handle, Owner, &Dec, std::string(), std::string(),
                               static_cast<std::int32_t>(FDirect.Size())});
          FDirect.Add(Direct);
          break;
        }
        FEntities.push_back({O.Handle, Owner, &Dec, std::string(W.FData), std::move(O.EED)});
        break;
      }
      case drBlockBegin:
      case drBlockEnd: {
        TMarker& Mk = FMarkers[O.Handle];
        Mk.Layer = Find(FLayers, O.Layer);
        Mk.Paper = O.Mode == 1;
        Mk.EED = std::move(O.EED);
        break;
      }
      case drObject:
        FObjects.emplace_back(O.Handle, W.FData + O.EED);
        break;
      case drTableEntry: {
        TdwgGroupWriter E;
        E.Str(0, Dec.Name);
        E.HndAlways(5, O.Handle);
        E.Hnd(330, O.Owner);
        E.Str(100, "AcDbSymbolTableRecord");
        E.Append(W.FData);
        E.Append(O.EED);
        if (std::strcmp(Dec.Table, "STYLE") == 0) {
          FStyleEntries.push_back({O.Handle, std::move(E.FData), std::move(O.EED)});
          break;
        }
        FTableEntries[Dec.Table].push_back(std::move(E.FData));
        break;
      }
      case drControl:
        FTableHeads[Dec.Table] = W.FData;
        break;
      case drBlockHeader:
        // The groups were kept by the decoder in FBlockHeaders.back().
        if (!FBlockHeaders.empty() && FBlockHeaders.back().Handle == O.Handle) {
          TBlockHeader& B = FBlockHeaders.back();
          B.Owner = O.Owner;
          TdwgGroupWriter E;
          E.Str(0, "BLOCK_RECORD");
          E.HndAlways(5, O.Handle);
          E.Hnd(330, O.Owner);
          E.Str(100, "AcDbSymbolTableRecord");
          E.Str(100, "AcDbBlockTableRecord");
          E.Hnd(340, B.Layout);
          E.Append(W.FData);
          B.EntryGroups = std::move(E.FData);
          B.EntryEED = std::move(O.EED);
        }
        break;
      case drCounted: break;
    }
    return true;
  } catch (const std::exception& X) {
    if (Dec.Role == drBlockHeader && !FBlockHeaders.empty() && FBlockHeaders.back().Handle == O.Handle)
      FBlockHeaders.pop_back();
    Fail(O.Handle, Dec.Name, X.what());
    return false;
  }
}

void TdwgObjectReader::FlushDirect(TdwgGroupWriter& W) {
  if (FRunCount == 0) return;
  W.Str(0, cnstDXFDirectName);
  W.Int(cnstDXFDirectCode, FRunFirst);
  if (FRunCount > 1) W.Int(cnstDXFDirectCountCode, FRunCount);
  FRunCount = 0;
}

// One entity and (for polylines and inserts) its children and their end marker.
void TdwgObjectReader::WriteEntity(TdwgGroupWriter& W, std::size_t AIndex, bool APaper, int ADepth) {
  // Each record is written once: its groups are freed as they go into the image, so
  // that the records and the whole image are not held together.
  auto Release = [](TRecord& X) {
    std::string().swap(X.Groups);
    std::string().swap(X.EED);
  };
  TRecord& E = FEntities[AIndex];
  if (E.Direct >= 0) {
    FDirect[static_cast<std::size_t>(E.Direct)].Paper = APaper;
    // Entities that follow each other in the list share one marker.
    if (FRunCount > 0 && E.Direct == FRunFirst + FRunCount && FRunCount < INT32_MAX - 1) {
      ++FRunCount;
      return;
    }
    FlushDirect(W);
    FRunFirst = E.Direct;
    FRunCount = 1;
    return;
  }
  FlushDirect(W);
  W.Append(E.Groups);
  if (APaper) W.Int(67, 1);
  auto Kids = FChildren.find(E.Handle);
  const bool Complex = std::strcmp(E.Dec->Name, "POLYLINE") == 0 ||
                       (Kids != FChildren.end() && std::strcmp(E.Dec->Name, "INSERT") == 0);
  if (Complex) W.Int(66, 1);
  W.Append(E.EED);
  Release(E);
  if (!Complex) return;
  if (Kids != FChildren.end() && ADepth < 4)
    for (std::size_t K : Kids->second) {
      TRecord& C = FEntities[K];
      const bool Vertex = std::strcmp(C.Dec->Name, "VERTEX") == 0;
      if (Vertex != (std::strcmp(E.Dec->Name, "POLYLINE") == 0)) continue;
      W.Append(C.Groups);
      if (APaper) W.Int(67, 1);
      W.Append(C.EED);
      Release(C);
    }
  auto S = FSeqends.find(E.Handle);
  if (S != FSeqends.end()) {
    W.Append(FEntities[S->second].Groups);
    if (APaper) W.Int(67, 1);
    Release(FEntities[S->second]);
  } else {
    W.Str(0, "SEQEND");
    W.Str(100, "AcDbEntity");
    W.Str(8, "0");
  }
}

std::string TdwgObjectReader::Assemble() {
  TdwgGroupWriter W;
  // The image is reserved at once: growing it by doubling copied it several times
  // and, with the old block still held, raised the load's peak.
  std::size_t Total = 4096;
  for (const TRecord& E : FEntities) Total += E.Groups.size() + E.EED.size() + 16;
  for (const auto& O : FObjects) Total += O.second.size();
  for (const auto& T : FTableEntries)
    for (const std::string& S : T.second) Total += S.size();
  for (const auto& T : FTableHeads) Total += T.second.size() + 64;
  for (const TBlockHeader& B : FBlockHeaders)
    Total += B.EntryGroups.size() + B.EntryEED.size() + 2 * B.Name.size() + B.Xref.size() + B.Description.size() + 256;
  for (const auto& M : FMarkers) Total += M.second.EED.size();
  W.FData.reserve(Total);
  W.FData.assign("AutoCAD Binary DXF\r\n\x1a\0", 22);
  W.Str(0, "SECTION");
  W.Str(2, "HEADER");
  // Strings are written as UTF-8, which the reader takes from R2007 on.
  W.Str(9, "$ACADVER");
  W.Str(1, "AC1021");
  W.Str(9, "$HANDSEED");
  W.HndAlways(5, R.MaxHandle());
  W.Str(0, "ENDSEC");

  // Entities by owner.
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> ByOwner;
  // The handles of entities, needed only where sub-entities look for their owner.
  std::unordered_set<std::uint64_t> IsEntity;
  if (std::any_of(FEntities.begin(), FEntities.end(), [](const TRecord& E) { return E.Dec->Role == drSubEntity; }))
    for (std::size_t I = 0; I < FEntities.size(); ++I)
      if (FEntities[I].Dec->Role == drEntity) IsEntity.insert(FEntities[I].Handle);
  std::size_t Orphans = 0;
  for (std::size_t I = 0; I < FEntities.size(); ++I) {
    const TRecord& E = FEntities[I];
    if (E.Dec->Role == drSeqend) {
      FSeqends.emplace(E.Owner, I);
    } else if (E.Dec->Role == drSubEntity) {
      if (IsEntity.count(E.Owner)) FChildren[E.Owner].push_back(I);
      else ++Orphans;
    } else {
      ByOwner[E.Owner].push_back(I);
    }
  }

  W.Str(0, "SECTION");
  W.Str(2, "TABLES");
  static const char* const cnstTables[] = {"VPORT", "LTYPE", "LAYER", "STYLE", "VIEW", "UCS", "APPID", "DIMSTYLE"};
  for (const char* T : cnstTables) {
    auto It = FTableEntries.find(T);
    auto Head = FTableHeads.find(T);
    if (It == FTableEntries.end() && Head == FTableHeads.end()) continue;
    W.Str(0, "TABLE");
    W.Str(2, T);
    if (Head != FTableHeads.end()) W.Append(Head->second);
    W.Str(100, "AcDbSymbolTable");
    if (It != FTableEntries.end())
      for (const std::string& S : It->second) W.Append(S);
    W.Str(0, "ENDTAB");
  }
  // Model and paper space first, as every drawing lists them.
  std::stable_sort(FBlockHeaders.begin(), FBlockHeaders.end(), [&](const TBlockHeader& A, const TBlockHeader& B) {
    auto Rank = [&](const TBlockHeader& X) {
      return X.Handle == R.ModelSpaceRecord() ? 0 : X.Handle == R.PaperSpaceRecord() ? 1 : 2;
    };
    return Rank(A) < Rank(B);
  });
  W.Str(0, "TABLE");
  W.Str(2, "BLOCK_RECORD");
  if (auto Head = FTableHeads.find("BLOCK_RECORD"); Head != FTableHeads.end()) W.Append(Head->second);
  W.Str(100, "AcDbSymbolTable");
  for (const TBlockHeader& B : FBlockHeaders) {
    TdwgGroupWriter E;
    E.Str(2, B.Name);
    W.Append(B.EntryGroups);
    W.Append(E.FData);
    W.Append(B.EntryEED);
  }
  W.Str(0, "ENDTAB");
  W.Str(0, "ENDSEC");

  W.Str(0, "SECTION");
  W.Str(2, "BLOCKS");
  for (const TBlockHeader& B : FBlockHeaders) {
    const bool Model = B.Handle == R.ModelSpaceRecord(), Paper = B.Handle == R.PaperSpaceRecord();
    const TMarker& Begin = FMarkers[B.BlockEnt];
    W.Str(0, "BLOCK");
    W.Hnd(5, B.BlockEnt);
    W.HndAlways(330, B.Handle);
    W.Str(100, "AcDbEntity");
    if (Paper || Begin.Paper) W.Int(67, 1);
    W.Str(8, Begin.Layer.empty() ? std::string("0") : Begin.Layer);
    W.Str(100, "AcDbBlockBegin");
    W.Str(2, B.Name);
    W.Int(70, B.Flags);
    W.Pt(10, B.Base);
    W.Str(3, B.Name);
    W.Str(1, B.Xref);
    if (!B.Description.empty()) W.Str(4, B.Description);
    W.Append(Begin.EED);
    if (!Model && !Paper)
      if (auto It = ByOwner.find(B.Handle); It != ByOwner.end())
        for (std::size_t I : It->second) WriteEntity(W, I, false, 0);
    FlushDirect(W);
    const TMarker& End = FMarkers[B.EndBlk];
    W.Str(0, "ENDBLK");
    W.Hnd(5, B.EndBlk);
    W.HndAlways(330, B.Handle);
    W.Str(100, "AcDbEntity");
    if (Paper || End.Paper) W.Int(67, 1);
    W.Str(8, End.Layer.empty() ? std::string("0") : End.Layer);
    W.Str(100, "AcDbBlockEnd");
  }
  W.Str(0, "ENDSEC");

  W.Str(0, "SECTION");
  W.Str(2, "ENTITIES");
  // Model space also takes the entities that say so when the file names no record.
  for (int Paper = 0; Paper < 2; ++Paper) {
    const std::uint64_t Space = Paper ? R.PaperSpaceRecord() : R.ModelSpaceRecord();
    if (Paper && Space == R.ModelSpaceRecord()) break;
    if (auto It = ByOwner.find(Space); It != ByOwner.end())
      for (std::size_t I : It->second) WriteEntity(W, I, Paper != 0, 0);
    FlushDirect(W);
  }
  W.Str(0, "ENDSEC");
  std::unordered_map<std::uint64_t, bool> Records;
  for (const TBlockHeader& B : FBlockHeaders) Records[B.Handle] = true;
  for (const auto& Entry : ByOwner)
    if (Entry.first != R.ModelSpaceRecord() && Entry.first != R.PaperSpaceRecord() && !Records.count(Entry.first))
      Orphans += Entry.second.size();
  if (Orphans) R.Warn("DWG entities without a block to hold them: " + std::to_string(Orphans) + " not loaded");

  W.Str(0, "SECTION");
  W.Str(2, "OBJECTS");
  // The root dictionary comes first: the reader takes the first dictionary as root.
  std::stable_partition(FObjects.begin(), FObjects.end(),
                        [&](const auto& O) { return O.first == R.FNamedObjects; });
  for (auto& [H, S] : FObjects) {
    W.Append(S);
    std::string().swap(S);
  }
  W.Str(0, "ENDSEC");
  W.Str(0, "EOF");
  return std::move(W.FData);
}

void TdwgObjectReader::ApplyHeaderNames(TqdHeadVarStruct& H) const {
  const TdwgHeaderHandles& HH = R.HeaderHandles();
  auto Set = [](std::string& AField, const std::string& AName) {
    if (!AName.empty()) AField = AName;
  };
  Set(H.CLayer, Find(FLayers, HH.CLAYER));
  Set(H.CELType, Find(FLTypes, HH.CELTYPE));
  Set(H.TextStyle, Find(FStyles, HH.TEXTSTYLE));
  Set(H.DimStyle, Find(FDimStyles, HH.DIMSTYLE));
  Set(H.DimTextStyle, Find(FStyles, HH.DIMTXSTY));
}

void TdwgObjectReader::NameShapeStyles() {
  // Anonymous records and paper spaces other than the drawing's own are told apart
  // by their position in the block table.
  for (TBlockHeader& B : FBlockHeaders) {
    std::string Upper = B.Name;
    for (char& Ch : Upper) Ch = Ch == '$' ? '*' : static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
    const bool Anonymous = (B.Flags & 1) || (Upper.size() == 2 && Upper[0] == '*' && (Upper[1] == 'D' || Upper[1] == 'E'));
    const bool ExtraPaper = Upper == "*PAPER_SPACE" && B.Handle != R.PaperSpaceRecord();
    const bool Numbered = Upper.size() > 2 && std::isdigit(static_cast<unsigned char>(Upper.back()));
    if ((Anonymous && !Numbered && Upper.size() <= 2) || ExtraPaper) {
      auto It = std::find(FBlockEntries.begin(), FBlockEntries.end(), B.Handle);
      const std::size_t Pos = It == FBlockEntries.end() ? FBlockEntries.size() : std::size_t(It - FBlockEntries.begin());
      B.Name += std::to_string(Pos);
      if (Anonymous) B.Flags |= 1;
      FBlocks[B.Handle] = B.Name;
    }
  }
  std::set<std::string> Used;
  for (const auto& [H, N] : FStyles) Used.insert(N);
  int Next = 0;
  for (const TStyleEntry& E : FStyleEntries) {
    std::string& N = FStyles[E.Handle];
    if (!N.empty()) continue;
    while (Used.count("SHAPE" + std::to_string(Next))) ++Next;
    N = "SHAPE" + std::to_string(Next++);
    Used.insert(N);
  }
  for (TStyleEntry& E : FStyleEntries) {
    TdwgGroupWriter W;
    W.Append(E.Groups);
    W.Str(2, FStyles[E.Handle]);
    W.Append(E.EED);
    FTableEntries["STYLE"].push_back(std::move(W.FData));
  }
}

std::string TdwgObjectReader::Run() {
  const TqdObjectsMap& M = R.ObjMap();
  // The records are reserved at once: grown by doubling, they were copied several
  // times and held twice at the moment of each copy.
  std::size_t Entities = 0;
  for (std::size_t I = 0; I < M.Count() && I < FTypes.size(); ++I) {
    const int T = FTypes[I];
    if (T >= 0 && T < 500 && DWGEntityDecoder(T)) ++Entities;
  }
  FEntities.reserve(Entities);
  // Tables first: entities name their layer, linetype and style by handle, and
  // layers their linetype; application ids name every object's extended data.
  // Each object's decoder and pass, found once.
  std::vector<const TdwgDecoder*> Decoders(M.Count(), nullptr);
  std::vector<std::uint8_t> Passes(M.Count(), 3);
  for (std::size_t I = 0; I < M.Count(); ++I) {
    const int T = FTypes[I];
    if (T < 0) continue;
    std::string ClassName;
    const TdwgDecoder* D = DecoderOf(T, ClassName);
    if (!D) continue;
    const bool First = T == 56 || T == 57 || T == 66 || T == 67;
    const bool Table = D->Role == drTableEntry || D->Role == drControl || D->Role == drBlockHeader ||
                       std::strcmp(D->Name, "MLINESTYLE") == 0;
    Decoders[I] = D;
    Passes[I] = First ? 0 : Table ? 1 : 2;
  }
  for (int Pass = 0; Pass < 3 && !R.Stopped(); ++Pass) {
    if (Pass == 2) NameShapeStyles();
    for (std::size_t I = 0; I < M.Count() && !R.Stopped(); ++I)
      if (Passes[I] == Pass) DecodeOne(I, *Decoders[I], FTypes[I]);
  }
  NumberViewports();
  if (FFailed)
    R.Warn("DWG objects not read: " + std::to_string(FFailed) + " (the first: " + FFirstFailure + ")");
  std::string Image = Assemble();
  // The groups are in the image now: their copies go before the drawing is built.
  std::vector<TRecord>().swap(FEntities);
  std::vector<std::pair<std::uint64_t, std::string>>().swap(FObjects);
  std::map<std::string, std::vector<std::string>>().swap(FTableEntries);
  std::unordered_map<std::uint64_t, TMarker>().swap(FMarkers);
  std::unordered_map<std::uint64_t, std::vector<std::size_t>>().swap(FChildren);
  return Image;
}

const TqdSegmentedFile* DWGSegmentedFile(const TdwgObj& O) { return O.Ctx ? O.Ctx->R.SegmentedFile() : nullptr; }

void DWGNoteViewportOff(TdwgObj& O) {
  if (O.Ctx) O.Ctx->FViewportsOff.insert(O.Handle);
}

void TdwgObjectReader::NumberViewports() {
  std::unordered_map<std::uint64_t, int> Next;
  for (TRecord& E : FEntities) {
    if (std::strcmp(E.Dec->Name, "VIEWPORT") != 0) continue;
    auto It = FViewportIds.find(E.Handle);
    int Id = 0;
    if (It != FViewportIds.end()) {
      Id = It->second;
    } else {
      auto L = FListedViewports.find(E.Owner);
      Id = ++Next[E.Owner] + (L == FListedViewports.end() ? 0 : L->second);
    }
    TdwgGroupWriter W;
    // The file keeps no stacking order: an on viewport stacks by its number, as
    // DXF files of the same drawings number them; 0 is off.
    W.Int(68, FViewportsOff.count(E.Handle) ? 0 : Id);
    W.Int(69, Id);
    E.Groups += W.FData;
  }
}

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

namespace {
const std::string& NameIn(const TdwgObj& O, std::unordered_map<std::uint64_t, std::string> TdwgObjectReader::*M,
                          std::uint64_t H) {
  static const std::string Empty;
  return O.Ctx ? TdwgObjectReader::Find(O.Ctx->*M, H) : Empty;
}
}  // namespace

const std::string& DWGLayerName(const TdwgObj& O, std::uint64_t H) { return NameIn(O, &TdwgObjectReader::FLayers, H); }
const std::string& DWGStyleName(const TdwgObj& O, std::uint64_t H) { return NameIn(O, &TdwgObjectReader::FStyles, H); }
const std::string& DWGBlockName(const TdwgObj& O, std::uint64_t H) { return NameIn(O, &TdwgObjectReader::FBlocks, H); }
const std::string& DWGDimStyleName(const TdwgObj& O, std::uint64_t H) {
  return NameIn(O, &TdwgObjectReader::FDimStyles, H);
}
const std::string& DWGMLStyleName(const TdwgObj& O, std::uint64_t H) {
  return NameIn(O, &TdwgObjectReader::FMLStyles, H);
}

TqdColorCAD TdwgObj::CMC() {
  if (Ctx) return Ctx->Colors().ReadColor(D, Strings);
  TdwgIndexColorReader C;
  return C.ReadColor(D, Strings);
}

TqdColorCAD TdwgObj::ENC(int* AFlags) {
  if (Ctx) return Ctx->Colors().ReadENC(D, AFlags);
  TdwgIndexColorReader C;
  return C.ReadENC(D, AFlags);
}

// ---------------------------------------------------------------- entry point

void TdwgReader::ReadObjects(const std::vector<int>& ATypes) {
  if (FVersion < acR13) return;
  // The DXF reader's classes and mappings fill the drawing.
  static const bool Registered = [] {
    RegisterDatabaseClasses();
    RegisterDXFMapping();
    return true;
  }();
  (void)Registered;
  TdwgObjectReader Objects(*this, ATypes);
  const std::string Image = Objects.Run();
  if (Stopped()) return;
  if (FImageDone) {
    FImageDone();
    FImageDone = nullptr;
  }
  TqdDXFConverter& C = *FConverter;
  // The DXF reader starts the drawing over: what the file header gave is put back.
  const TqdHeadVarStruct Header = C.HeadVarStruct();
  const std::uint64_t MaxHandle = C.FMaxHandle;
  TdxfLoadOptions Options;
  Options.RecordNames = FRecordNames;
  if (!Objects.FDirect.Empty()) Options.Direct = &Objects.FDirect;
  TdxfLoadResult R = LoadDXFFromMemory(Image.data(), Image.size(), C, Options);
  FObjectNames = std::move(R.DXFNames);
  C.HeadVarStruct() = Header;
  Objects.ApplyHeaderNames(C.HeadVarStruct());
  if (C.FMaxHandle < MaxHandle) C.FMaxHandle = MaxHandle;
  const TFPoint& A = Header.ExtMim;
  const TFPoint& B = Header.ExtMax;
  if (A.X <= B.X && A.Y <= B.Y && A.Z <= B.Z) C.SetExtents({A.X, A.Y, A.Z, B.X, B.Y, B.Z});
  FObjectsLoaded = true;
  FObjectWarnings = R.Warnings;
  if (!R.Ok) FObjectWarnings.push_back("DWG objects: " + R.Error);
}
