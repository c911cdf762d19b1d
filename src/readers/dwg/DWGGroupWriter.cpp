// The binary DXF stream the DWG object decoders write: group codes and values as
// the DXF reader takes them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "DWGObjects.h"
#include "readers/dxf/DXFTokenizer.h"

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
