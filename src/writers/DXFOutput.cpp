#include "DXFOutput.h"

#include <iconv.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <ostream>

TqdDXFValueKind DXFValueKind(int C) {
  if (C == 5 || C == 105 || (C >= 320 && C <= 369) || (C >= 390 && C <= 399) || (C >= 480 && C <= 481) ||
      C == 1005)
    return dvHandle;
  if ((C >= 10 && C <= 59) || (C >= 110 && C <= 149) || (C >= 210 && C <= 239) || (C >= 460 && C <= 469) ||
      (C >= 1010 && C <= 1059))
    return dvDouble;
  if ((C >= 60 && C <= 79) || (C >= 170 && C <= 179) || (C >= 270 && C <= 289) || (C >= 370 && C <= 389) ||
      (C >= 400 && C <= 409) || (C >= 1060 && C <= 1070))
    return dvInt16;
  if ((C >= 90 && C <= 99) || (C >= 420 && C <= 429) || (C >= 440 && C <= 459) || C == 1071) return dvInt32;
  if (C >= 160 && C <= 169) return dvInt64;
  if (C >= 290 && C <= 299) return dvBool;
  if ((C >= 310 && C <= 319) || C == 1004) return dvBinary;
  return dvString;
}

TqdDXFOutput::TqdDXFOutput(std::ostream& AStream, bool ABinary, TqdDWGVersion ARelease, int ACodePage)
    : FStream(AStream), FBinary(ABinary), FRelease(ARelease), FCodePage(ACodePage ? ACodePage : 1252),
      FUTF8(ARelease >= acR2007) {
  FBuf.reserve(cFlushSize + 4096);
  if (FBinary) FBuf.append("AutoCAD Binary DXF\r\n\x1a\0", 22);
}

TqdDXFOutput::~TqdDXFOutput() {
  if (FIconv) iconv_close(static_cast<iconv_t>(FIconv));
}

bool TqdDXFOutput::Flush() {
  if (!FFailed && !FBuf.empty()) {
    FStream.write(FBuf.data(), static_cast<std::streamsize>(FBuf.size()));
    if (!FStream) FFailed = true;
  }
  FWritten += FBuf.size();
  FBuf.clear();
  return !FFailed;
}

void TqdDXFOutput::Code(int C) {
  if (!FBinary) {
    char B[8];
    int N = 0;
    // Right-aligned in three columns, as most writers do.
    if (C < 100) B[N++] = ' ';
    if (C < 10) B[N++] = ' ';
    auto R = std::to_chars(B + N, B + sizeof B, C);
    FBuf.append(B, R.ptr);
    FBuf.push_back('\n');
    return;
  }
  if (FRelease >= acR13) {
    FBuf.push_back(static_cast<char>(C & 0xFF));
    FBuf.push_back(static_cast<char>((C >> 8) & 0xFF));
  } else if (C < 255) {
    FBuf.push_back(static_cast<char>(C));
  } else {
    // Codes from 255 up take an escape byte and a 16-bit code.
    FBuf.push_back(static_cast<char>(255));
    FBuf.push_back(static_cast<char>(C & 0xFF));
    FBuf.push_back(static_cast<char>((C >> 8) & 0xFF));
  }
}

namespace {
void PutLE(std::string& B, std::uint64_t V, int N) {
  for (int I = 0; I < N; ++I) B.push_back(static_cast<char>((V >> (8 * I)) & 0xFF));
}
bool IsAsciiText(std::string_view S) {
  for (char C : S)
    if (static_cast<unsigned char>(C) >= 0x80) return false;
  return true;
}
}  // namespace

std::string TqdDXFOutput::Encode(std::string_view S) {
  if (FUTF8 || IsAsciiText(S)) return std::string(S);
  std::string Out;
  Out.reserve(S.size() + 8);
  if (!FIconv) {
    const std::string Name = "CP" + std::to_string(FCodePage);
    iconv_t H = iconv_open(Name.c_str(), "UTF-32LE");
    FIconv = H == reinterpret_cast<iconv_t>(-1) ? nullptr : H;
  }
  auto Escape = [&Out](char32_t U) {
    static const char Hex[] = "0123456789ABCDEF";
    Out += "\\U+";
    for (int Sh = 12; Sh >= 0; Sh -= 4) Out.push_back(Hex[(U >> Sh) & 0xF]);
  };
  for (std::size_t I = 0; I < S.size();) {
    const unsigned char C = static_cast<unsigned char>(S[I]);
    char32_t U = C;
    std::size_t Len = 1;
    if (C >= 0xF0 && I + 3 < S.size() + 0) {
      U = ((C & 7u) << 18) | ((S[I + 1] & 0x3Fu) << 12) | ((S[I + 2] & 0x3Fu) << 6) | (S[I + 3] & 0x3Fu);
      Len = 4;
    } else if (C >= 0xE0 && I + 2 < S.size()) {
      U = ((C & 0xFu) << 12) | ((S[I + 1] & 0x3Fu) << 6) | (S[I + 2] & 0x3Fu);
      Len = 3;
    } else if (C >= 0xC0 && I + 1 < S.size()) {
      U = ((C & 0x1Fu) << 6) | (S[I + 1] & 0x3Fu);
      Len = 2;
    } else if (C >= 0x80) {
      U = 0xFFFD;
    }
    I += Len;
    if (U < 0x80) {
      Out.push_back(static_cast<char>(U));
      continue;
    }
    bool Done = false;
    if (FIconv) {
      char In[4];
      std::memcpy(In, &U, 4);
      char Buf[8];
      char* IP = In;
      char* OP = Buf;
      std::size_t IL = 4, OL = sizeof Buf;
      iconv(static_cast<iconv_t>(FIconv), nullptr, nullptr, nullptr, nullptr);
      if (iconv(static_cast<iconv_t>(FIconv), &IP, &IL, &OP, &OL) != static_cast<std::size_t>(-1) && IL == 0) {
        Out.append(Buf, OP);
        Done = true;
      }
    }
    if (Done) continue;
    // Outside the code page: UTF-16 code units as escapes.
    if (U > 0xFFFF) {
      const char32_t V = U - 0x10000;
      Escape(0xD800 + (V >> 10));
      Escape(0xDC00 + (V & 0x3FF));
    } else {
      Escape(U);
    }
  }
  return Out;
}

void TqdDXFOutput::Str(int C, std::string_view V) {
  Code(C);
  const bool Plain = FUTF8 || IsAsciiText(V);
  std::string Conv;
  if (!Plain) Conv = Encode(V);
  std::string_view W = Plain ? V : std::string_view(Conv);
  // A line break inside a value would end the group early.
  const bool Clean = W.find_first_of(FBinary ? std::string_view("\0", 1) : std::string_view("\r\n")) ==
                     std::string_view::npos;
  if (Clean) {
    FBuf.append(W);
  } else {
    for (char Ch : W) {
      if (Ch == '\n') FBuf += "^J";
      else if (Ch == '\r') FBuf += "^M";
      else if (Ch == '\0') continue;
      else FBuf.push_back(Ch);
    }
  }
  FBuf.push_back(FBinary ? '\0' : '\n');
  Check();
}

void TqdDXFOutput::Int(int C, std::int64_t V) {
  Code(C);
  if (FBinary) {
    switch (DXFValueKind(C)) {
      case dvBool: FBuf.push_back(static_cast<char>(V ? 1 : 0)); break;
      case dvInt32: PutLE(FBuf, static_cast<std::uint64_t>(V), 4); break;
      case dvInt64: PutLE(FBuf, static_cast<std::uint64_t>(V), 8); break;
      case dvInt16: PutLE(FBuf, static_cast<std::uint64_t>(V), 2); break;
      default: {
        char B[24];
        auto R = std::to_chars(B, B + sizeof B, V);
        FBuf.append(B, R.ptr);
        FBuf.push_back('\0');
      }
    }
  } else {
    char B[24];
    auto R = std::to_chars(B, B + sizeof B, V);
    FBuf.append(B, R.ptr);
    FBuf.push_back('\n');
  }
  Check();
}

void TqdDXFOutput::Dbl(int C, double V) {
  if (!std::isfinite(V)) V = 0;
  if (V == 0) V = 0;  // no "-0"
  Code(C);
  if (FBinary) {
    std::uint64_t Bits;
    std::memcpy(&Bits, &V, 8);
    PutLE(FBuf, Bits, 8);
  } else {
    char B[32];
    auto R = std::to_chars(B, B + sizeof B, V);
    FBuf.append(B, R.ptr);
    // Integral values keep a decimal point so that a reader sees a real.
    if (std::string_view(B, R.ptr - B).find_first_of(".e") == std::string_view::npos) FBuf += ".0";
    FBuf.push_back('\n');
  }
  Check();
}

void TqdDXFOutput::Handle(int C, std::uint64_t H) {
  Code(C);
  char B[24];
  auto R = std::to_chars(B, B + sizeof B, H, 16);
  for (char* P = B; P < R.ptr; ++P)
    if (*P >= 'a' && *P <= 'f') *P = static_cast<char>(*P - 'a' + 'A');
  FBuf.append(B, R.ptr);
  FBuf.push_back(FBinary ? '\0' : '\n');
  Check();
}

void TqdDXFOutput::Point(int C, const TFPoint& P, bool AZ) {
  Dbl(C, P.X);
  Dbl(C + 10, P.Y);
  if (AZ) Dbl(C + 20, P.Z);
}

void TqdDXFOutput::Bytes(int C, std::string_view B) {
  static const char Hex[] = "0123456789ABCDEF";
  // Chunks of 127 bytes, as the format allows per group.
  std::size_t P = 0;
  do {
    const std::string_view Part = B.substr(P, 127);
    Code(C);
    if (FBinary) {
      FBuf.push_back(static_cast<char>(Part.size()));
      FBuf.append(Part);
    } else {
      for (unsigned char Ch : Part) {
        FBuf.push_back(Hex[Ch >> 4]);
        FBuf.push_back(Hex[Ch & 15]);
      }
      FBuf.push_back('\n');
    }
    P += Part.size();
    if (C == 1004) break;  // extended data holds one chunk
  } while (P < B.size());
  Check();
}
