#pragma once
// Bit streams and small DWG files written by the tests.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "readers/dwg/DWG.h"

// Writes bits most significant first, as the DWG bit stream stores them.
class TBitWriter {
public:
  void Bits(std::uint64_t V, int N) {
    for (int I = N - 1; I >= 0; --I) {
      if (FBit == 0) FBytes.push_back(0);
      if ((V >> I) & 1) FBytes.back() |= static_cast<std::uint8_t>(0x80 >> FBit);
      FBit = (FBit + 1) & 7;
    }
  }
  void B(int V) { Bits(V & 1, 1); }
  void BB(int V) { Bits(V & 3, 2); }
  void RC(int V) { Bits(V & 0xFF, 8); }
  void RS(int V) {
    RC(V);
    RC(V >> 8);
  }
  void RL(std::uint32_t V) {
    for (int I = 0; I < 4; ++I) RC(static_cast<int>(V >> (8 * I)));
  }
  void RD(double D) {
    std::uint64_t U;
    std::memcpy(&U, &D, 8);
    for (int I = 0; I < 8; ++I) RC(static_cast<int>(U >> (8 * I)));
  }
  void BS(int V) {
    if (V == 0) {
      BB(2);
    } else if (V == 256) {
      BB(3);
    } else if (V > 0 && V < 256) {
      BB(1);
      RC(V);
    } else {
      BB(0);
      RS(V);
    }
  }
  void BL(std::int32_t V) {
    if (V == 0) {
      BB(2);
    } else if (V > 0 && V < 256) {
      BB(1);
      RC(V);
    } else {
      BB(0);
      RL(static_cast<std::uint32_t>(V));
    }
  }
  void BD(double D) {
    if (D == 1.0) {
      BB(1);
    } else if (D == 0.0) {
      BB(2);
    } else {
      BB(0);
      RD(D);
    }
  }
  void Bytes(const std::string& S) {
    for (unsigned char C : S) RC(C);
  }
  // T: a BS length and the bytes.
  void TV(const std::string& S) {
    BS(static_cast<int>(S.size()));
    Bytes(S);
  }
  // H with code and the offset in as few bytes as it needs.
  void H(int Code, std::uint64_t V) {
    int N = 0;
    for (std::uint64_t T = V; T; T >>= 8) ++N;
    RC((Code << 4) | N);
    for (int I = N - 1; I >= 0; --I) RC(static_cast<int>(V >> (8 * I)));
  }
  std::size_t BitCount() const { return FBytes.size() * 8 - (FBit ? 8 - FBit : 0); }
  const std::vector<std::uint8_t>& Data() const { return FBytes; }
  std::string Str() const { return std::string(FBytes.begin(), FBytes.end()); }

private:
  std::vector<std::uint8_t> FBytes;
  int FBit = 0;
};

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> L) {
  std::vector<std::uint8_t> V;
  for (int I : L) V.push_back(static_cast<std::uint8_t>(I));
  return V;
}

inline void PutLE32(std::string& S, std::size_t At, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) S[At + I] = static_cast<char>((V >> (8 * I)) & 0xFF);
}

// An R13-R2000 file: the 25-byte header, the locators and the sections after them.
struct TSection {
  int Number;
  std::string Data;
};

inline std::string DWGFile(const char* AVersion, const std::vector<TSection>& ASections, int ACodePage = 30) {
  std::string S(AVersion, 6);
  S.resize(25, '\0');
  S[19] = static_cast<char>(ACodePage);
  PutLE32(S, 21, static_cast<std::uint32_t>(ASections.size()));
  std::size_t At = 25 + ASections.size() * 9;
  std::string Body;
  for (const TSection& Sec : ASections) {
    S.push_back(static_cast<char>(Sec.Number));
    std::string Num(8, '\0');
    PutLE32(Num, 0, static_cast<std::uint32_t>(At + Body.size()));
    PutLE32(Num, 4, static_cast<std::uint32_t>(Sec.Data.size()));
    S += Num;
    Body += Sec.Data;
  }
  (void)At;
  return S + Body;
}

// One object-map block: big-endian size, the pairs (UMC, MC), two CRC bytes.
inline std::string UMC(std::uint64_t V) {
  std::string S;
  do {
    std::uint8_t B = V & 0x7F;
    V >>= 7;
    if (V) B |= 0x80;
    S.push_back(static_cast<char>(B));
  } while (V);
  return S;
}

inline std::string MC(std::int32_t V) {
  std::string S;
  const bool Neg = V < 0;
  std::uint32_t U = Neg ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(V)) : static_cast<std::uint32_t>(V);
  for (;;) {
    if (U < 0x40) {
      S.push_back(static_cast<char>(U | (Neg ? 0x40 : 0)));
      return S;
    }
    S.push_back(static_cast<char>((U & 0x7F) | 0x80));
    U >>= 7;
  }
}

inline std::string MapBlock(const std::vector<std::pair<std::uint64_t, std::int32_t>>& APairs) {
  std::string Body;
  for (const auto& [H, L] : APairs) Body += UMC(H) + MC(L);
  const std::size_t Size = Body.size() + 2;
  std::string S;
  S.push_back(static_cast<char>(Size >> 8));
  S.push_back(static_cast<char>(Size & 0xFF));
  return S + Body + std::string(2, '\0');
}

inline std::string MapEnd() { return std::string("\x00\x02\x00\x00", 4); }
