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
#include "DWGObjectReader.h"

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
