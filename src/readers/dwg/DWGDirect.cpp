// Lines, points, circles and arcs as values: the groups their decoders wrote, read
// back the way the DXF reader keeps them (see DWGDirect.h).
#include "DWGDirect.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "DXFTokenizer.h"

namespace {

std::atomic<bool> DirectOn{true};

// One group of a binary DXF stream with two-byte codes.
class TGroups {
public:
  explicit TGroups(std::string_view S) : P(S.data()), E(S.data() + S.size()) {}

  // False at the end, or when the data ends inside a group.
  bool Next() {
    if (E - P < 2) return false;
    Code = static_cast<std::uint8_t>(P[0]) | (static_cast<std::uint8_t>(P[1]) << 8);
    P += 2;
    Kind = BinaryValueKind(Code);
    switch (Kind) {
      case bvString: {
        const void* Z = std::memchr(P, 0, static_cast<std::size_t>(E - P));
        if (!Z) return false;
        Str = std::string_view(P, static_cast<std::size_t>(static_cast<const char*>(Z) - P));
        P += Str.size() + 1;
        return true;
      }
      case bvInt16: return Fixed(2);
      case bvInt32: return Fixed(4);
      case bvDouble: return Fixed(8);
      default: return false;  // values the entities given as values never hold
    }
  }

  int Code = 0;
  TdxfBinaryValue Kind = bvIllegal;
  std::string_view Str;
  std::int32_t Int = 0;
  double Real = 0;

private:
  bool Fixed(int N) {
    if (E - P < N) return false;
    std::uint64_t U = 0;
    for (int I = N - 1; I >= 0; --I) U = (U << 8) | static_cast<std::uint8_t>(P[I]);
    P += N;
    if (N == 2) Int = static_cast<std::int16_t>(U);
    else if (N == 4) Int = static_cast<std::int32_t>(U);
    else {
      std::memcpy(&Real, &U, 8);
      if (!std::isfinite(Real)) Real = 0;  // as the reader takes them
    }
    return true;
  }
  const char* P;
  const char* E;
};

// Names the reader would take as they stand: ASCII without escapes.
bool PlainName(std::string_view S) {
  for (char C : S)
    if (static_cast<unsigned char>(C) >= 0x80 || C == '\\') return false;
  return true;
}

bool Hex(std::string_view S, std::uint64_t& H) {
  if (S.empty() || S.size() > 16) return false;
  H = 0;
  for (char C : S) {
    int D;
    if (C >= '0' && C <= '9') D = C - '0';
    else if (C >= 'A' && C <= 'F') D = C - 'A' + 10;
    else return false;
    H = (H << 4) | static_cast<std::uint64_t>(D);
  }
  return true;
}

}  // namespace

const std::string* TdwgNamePool::Get(std::string_view AName) {
  // Most entities name the layer and linetype the one before them named.
  for (const std::string* L : FLast)
    if (L && *L == AName) return L;
  const std::string Key(AName);
  auto It = FNames.find(Key);
  if (It == FNames.end()) It = FNames.insert(Key).first;
  FLast[FNext] = &*It;
  FNext = (FNext + 1) % 2;
  return &*It;
}

void SetDWGDirectEntities(bool AOn) { DirectOn = AOn; }
bool DWGDirectEntities() { return DirectOn; }

bool DWGDirectEntity(std::string_view AGroups, TdxfDirectEntity& E, TdwgNamePool& ANames) {
  TGroups G(AGroups);
  if (!G.Next() || G.Code != 0) return false;
  if (G.Str == "LINE") E.Kind = ddLine;
  else if (G.Str == "POINT") E.Kind = ddPoint;
  else if (G.Str == "CIRCLE") E.Kind = ddCircle;
  else if (G.Str == "ARC") E.Kind = ddArc;
  else return false;
  bool HandleSeen = false;
  while (G.Next()) {
    const int C = G.Code;
    if (C >= 10 && C <= 31 && (C % 10) <= 1) {
      TFPoint& P = C % 10 ? E.P1 : E.P0;
      (C < 20 ? P.X : C < 30 ? P.Y : P.Z) = G.Real;
      continue;
    }
    switch (C) {
      case 5:  // the first is the entity's own
        if (!HandleSeen && !Hex(G.Str, E.Handle)) return false;
        HandleSeen = true;
        break;
      case 100: break;
      case 8:
      case 6:
        if (!PlainName(G.Str)) return false;
        (C == 8 ? E.Layer : E.LType) = ANames.Get(G.Str);
        break;
      case 62: E.Color = static_cast<std::int16_t>(G.Int); E.HasColor = true; break;
      case 60: E.Visibility = static_cast<std::int16_t>(G.Int); E.HasVisibility = true; break;
      case 370: E.LineWeight = static_cast<std::int16_t>(G.Int); E.HasLineWeight = true; break;
      case 420: E.RGB = G.Int & 0xFFFFFF; break;
      case 48: E.LTScale = G.Real; E.HasLTScale = true; break;
      case 39: E.Thick = G.Real; break;
      case 40: E.F40 = G.Real; E.HasF40 = true; break;
      case 50: E.F50 = G.Real; E.HasF50 = true; break;
      case 51: E.F51 = G.Real; E.HasF51 = true; break;
      case 210: E.Extr.X = G.Real; break;
      case 220: E.Extr.Y = G.Real; break;
      case 230: E.Extr.Z = G.Real; break;
      default: return false;
    }
  }
  return true;
}
