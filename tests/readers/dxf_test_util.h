#pragma once
// Small DXF files written by the tests: text from (code, value) pairs, and binary
// with 1- or 2-byte group codes.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "readers/dxf/DXF.h"

using TGroups = std::vector<std::pair<int, std::string>>;

// After is what follows each value (blank lines between groups, say).
inline std::string TextDXF(const TGroups& G, const char* After = "\n") {
  std::string S;
  for (const auto& [Code, Value] : G) S += std::to_string(Code) + "\n" + Value + After;
  return S;
}

inline void PutLE(std::string& S, std::uint64_t V, int N) {
  for (int I = 0; I < N; ++I) S.push_back(static_cast<char>((V >> (8 * I)) & 0xFF));
}

// Values are given as text and stored by the width the binary format gives the code.
inline std::string BinaryDXF(const TGroups& G, int CodeSize = 2) {
  std::string S("AutoCAD Binary DXF\r\n\x1a", 21);
  S.push_back('\0');
  for (const auto& [Code, Value] : G) {
    if (CodeSize == 1) {
      if (Code >= 255 || Code < 0) {
        S.push_back('\xff');
        PutLE(S, static_cast<std::uint16_t>(Code), 2);
      } else {
        S.push_back(static_cast<char>(Code));
      }
    } else {
      PutLE(S, static_cast<std::uint16_t>(Code), 2);
    }
    switch (BinaryValueKind(Code)) {
      case bvDouble: {
        double D = std::stod(Value);
        std::uint64_t B;
        std::memcpy(&B, &D, 8);
        PutLE(S, B, 8);
        break;
      }
      case bvInt16: PutLE(S, static_cast<std::uint64_t>(std::stoll(Value)), 2); break;
      case bvInt32: PutLE(S, static_cast<std::uint64_t>(std::stoll(Value)), 4); break;
      case bvInt64: PutLE(S, static_cast<std::uint64_t>(std::stoll(Value)), 8); break;
      case bvByte: S.push_back(static_cast<char>(std::stoi(Value))); break;
      case bvChunk:
        S.push_back(static_cast<char>(Value.size()));
        S += Value;
        break;
      default:
        S += Value;
        S.push_back('\0');
    }
  }
  return S;
}

// Loads D into a fresh converter (handles generated as the pictures do).
struct TLoaded {
  TqdConverterRef C{new TqdDXFConverter(TqdConverterParams{true, {}})};
  TdxfLoadResult R;
  explicit TLoaded(const std::string& D, const TdxfLoadOptions& O = {true, {}}) {
    RegisterDXFReader();
    R = LoadDXFFromMemory(D.data(), D.size(), *C.get(), O);
  }
  TqdDXFConverter& Conv() { return *C.get(); }
  // The DXF names of the entities of layout I, in order.
  std::vector<std::string> Types(int I) {
    std::vector<std::string> T;
    TqdDXFLayout* L = Conv().GetLayout(I);
    const TqdDXFBlock* B = L ? L->PaperSpaceBlockField() : nullptr;
    for (int J = 0; B && J < B->Count(); ++J) {
      T.push_back(DXFNameOf(R, *B->GetEntity(J)));
    }
    return T;
  }
};
