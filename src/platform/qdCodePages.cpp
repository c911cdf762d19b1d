#include "qdCodePages.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// The iconv charset for a Windows code page number, or empty when it has none.
std::string CharsetOf(int CodePage) {
  switch (CodePage) {
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "GBK";
    case 949: return "UHC";
    case 950: return "BIG5";
    case 1361: return "JOHAB";
    case 20127: return "ASCII";
    case 10000: return "MACINTOSH";
    case cpUTF16LE: return "UTF-16LE";
    case cpUTF8: return "UTF-8";
    default: break;
  }
  if (CodePage >= 1250 && CodePage <= 1258) return "CP" + std::to_string(CodePage);
  if (CodePage >= 28591 && CodePage <= 28606 && CodePage != 28602)
    return "ISO-8859-" + std::to_string(CodePage - 28590);
  // DOS and other pages that glibc knows by their number ("CP437", "CP850", ...).
  if (CodePage > 0 && CodePage < 100000) return "CP" + std::to_string(CodePage);
  return {};
}

// One converter per code page, opened on first use and kept for the thread.
struct TConverterCache {
  struct TEntry {
    int CodePage;
    iconv_t Cd;  // (iconv_t)-1 when the page cannot be converted
  };
  static constexpr size_t cMaxEntries = 32;
  std::vector<TEntry> Entries;

  ~TConverterCache() {
    for (auto& E : Entries)
      if (E.Cd != iconv_t(-1)) iconv_close(E.Cd);
  }

  iconv_t Find(int CodePage) {
    for (auto& E : Entries)
      if (E.CodePage == CodePage) return E.Cd;
    // Page numbers come from files: keep the cache small whatever they say.
    if (Entries.size() >= cMaxEntries) {
      if (Entries.back().Cd != iconv_t(-1)) iconv_close(Entries.back().Cd);
      Entries.pop_back();
    }
    std::string Name = CharsetOf(CodePage);
    iconv_t Cd = Name.empty() ? iconv_t(-1) : iconv_open("UTF-8", Name.c_str());
    Entries.push_back({CodePage, Cd});
    return Cd;
  }
};

thread_local TConverterCache Cache;

constexpr char cReplacement[] = "\xEF\xBF\xBD";

// Pages whose bytes below 0x80 are ASCII, so that pure ASCII text needs no converter.
bool IsASCIICompatible(int CodePage) { return CodePage != cpUTF16LE && CodePage != 1361; }

bool IsAllASCII(std::string_view S) {
  // Eight bytes at a time: long text values (records, proxies) are mostly ASCII.
  const char* P = S.data();
  std::size_t N = S.size();
  for (; N >= 8; P += 8, N -= 8) {
    std::uint64_t W;
    std::memcpy(&W, P, 8);
    if (W & 0x8080808080808080ULL) return false;
  }
  for (; N > 0; ++P, --N)
    if (static_cast<unsigned char>(*P) >= 0x80) return false;
  return true;
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  return -1;
}

// Number of hexadecimal digits at the start of S, at most Max.
size_t CountHex(std::string_view S, size_t Max) {
  size_t N = 0;
  while (N < Max && N < S.size() && HexDigit(S[N]) >= 0) ++N;
  return N;
}

unsigned HexValue(std::string_view S) {
  unsigned V = 0;
  for (char C : S) V = V * 16 + unsigned(HexDigit(C));
  return V;
}

}  // namespace

int EffectiveCodePage(int CodePage) {
  if (CodePage == cpSystemANSI) return cpWestern;
  return Cache.Find(CodePage) != iconv_t(-1) ? CodePage : cpWestern;
}

bool IsCodePageSupported(int CodePage) {
  return CodePage != cpSystemANSI && Cache.Find(CodePage) != iconv_t(-1);
}

void AppendUTF8(std::string& Dst, char32_t C) {
  if ((C >= 0xD800 && C <= 0xDFFF) || C > 0x10FFFF) C = 0xFFFD;
  if (C < 0x80) {
    Dst += char(C);
  } else if (C < 0x800) {
    Dst += char(0xC0 | (C >> 6));
    Dst += char(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Dst += char(0xE0 | (C >> 12));
    Dst += char(0x80 | ((C >> 6) & 0x3F));
    Dst += char(0x80 | (C & 0x3F));
  } else {
    Dst += char(0xF0 | (C >> 18));
    Dst += char(0x80 | ((C >> 12) & 0x3F));
    Dst += char(0x80 | ((C >> 6) & 0x3F));
    Dst += char(0x80 | (C & 0x3F));
  }
}

std::string SanitizeUTF8(std::string_view Src) {
  if (IsAllASCII(Src)) return std::string(Src);
  std::string Dst;
  Dst.reserve(Src.size());
  const auto* P = reinterpret_cast<const unsigned char*>(Src.data());
  size_t N = Src.size(), I = 0;
  while (I < N) {
    unsigned char C = P[I];
    if (C < 0x80) {
      Dst += char(C);
      ++I;
      continue;
    }
    size_t Len = 0;
    char32_t Min = 0, V = 0;
    if (C >= 0xC2 && C <= 0xDF) Len = 2, Min = 0x80, V = C & 0x1F;
    else if (C >= 0xE0 && C <= 0xEF) Len = 3, Min = 0x800, V = C & 0x0F;
    else if (C >= 0xF0 && C <= 0xF4) Len = 4, Min = 0x10000, V = C & 0x07;
    bool Ok = Len != 0 && I + Len <= N;
    for (size_t K = 1; Ok && K < Len; ++K) {
      if ((P[I + K] & 0xC0) != 0x80) Ok = false;
      else V = (V << 6) | (P[I + K] & 0x3F);
    }
    if (Ok && (V < Min || V > 0x10FFFF || (V >= 0xD800 && V <= 0xDFFF))) Ok = false;
    if (Ok) {
      Dst.append(Src.data() + I, Len);
      I += Len;
    } else {
      Dst += cReplacement;
      ++I;
    }
  }
  return Dst;
}

void AppendCodePageToUTF8(std::string& Dst, int CodePage, std::string_view Src) {
  if (Src.empty()) return;
  if (CodePage == cpSystemANSI) CodePage = cpWestern;
  if (IsASCIICompatible(CodePage) && IsAllASCII(Src)) {
    Dst.append(Src);
    return;
  }
  if (CodePage == cpUTF8) {
    Dst += SanitizeUTF8(Src);
    return;
  }
  iconv_t Cd = Cache.Find(CodePage);
  if (Cd == iconv_t(-1)) Cd = Cache.Find(cpWestern);
  if (Cd == iconv_t(-1)) {  // no converters at all: keep ASCII, mark the rest
    for (unsigned char C : Src) C < 0x80 ? void(Dst += char(C)) : void(Dst += cReplacement);
    return;
  }
  iconv(Cd, nullptr, nullptr, nullptr, nullptr);
  size_t Used = Dst.size();
  Dst.resize(Used + Src.size() * 4 + 16);
  auto Grow = [&](size_t Need) {
    if (Dst.size() - Used < Need) Dst.resize(Dst.size() * 2 + Need);
  };
  char* In = const_cast<char*>(Src.data());
  size_t InLeft = Src.size();
  const size_t BadStep = CodePage == cpUTF16LE ? 2 : 1;
  while (InLeft > 0) {
    char* Out = Dst.data() + Used;
    size_t OutLeft = Dst.size() - Used;
    size_t R = iconv(Cd, &In, &InLeft, &Out, &OutLeft);
    Used = size_t(Out - Dst.data());
    if (R != size_t(-1)) break;
    if (errno == E2BIG) {
      Grow(64);
      continue;
    }
    Grow(4);
    std::memcpy(Dst.data() + Used, cReplacement, 3);
    Used += 3;
    if (errno != EILSEQ) break;  // EINVAL: a character cut by the end of the text
    size_t Step = InLeft < BadStep ? InLeft : BadStep;
    In += Step;
    InLeft -= Step;
  }
  // Some pages hold back a final character until told that the text ends.
  for (;;) {
    char* Out = Dst.data() + Used;
    size_t OutLeft = Dst.size() - Used;
    size_t R = iconv(Cd, nullptr, nullptr, &Out, &OutLeft);
    Used = size_t(Out - Dst.data());
    if (R == size_t(-1) && errno == E2BIG) {
      Grow(64);
      continue;
    }
    break;
  }
  Dst.resize(Used);
}

std::string CodePageToUTF8(int CodePage, std::string_view Src) {
  std::string Dst;
  AppendCodePageToUTF8(Dst, CodePage, Src);
  return Dst;
}

std::string DoubleByteCharToUTF8(int CodePage, uint8_t Lead, uint8_t Trail) {
  const char Bytes[2] = {char(Lead), char(Trail)};
  // A zero lead byte stands for a single-byte character.
  return CodePageToUTF8(CodePage, Lead ? std::string_view(Bytes, 2) : std::string_view(Bytes + 1, 1));
}

std::string DecodeCharEscapes(std::string_view S, int DefaultCodePage) {
  if (S.find('\\') == std::string_view::npos) return std::string(S);
  std::string Dst;
  Dst.reserve(S.size());
  size_t I = 0;
  while (I < S.size()) {
    char C = S[I];
    bool IsU = I + 2 < S.size() && C == '\\' && S[I + 1] == 'U' && S[I + 2] == '+';
    bool IsM = I + 2 < S.size() && C == '\\' && S[I + 1] == 'M' && S[I + 2] == '+';
    if (!IsU && !IsM) {
      Dst += C;
      ++I;
      continue;
    }
    size_t Start = I + 3;
    size_t Need = IsU ? 4 : 5;
    size_t Have = CountHex(S.substr(Start), Need);
    I = Start + Have;
    if (Have < Need) continue;  // too few digits: marker and digits go
    if (IsU) {
      char32_t Unit = HexValue(S.substr(Start, 4));
      if (Unit >= 0xD800 && Unit <= 0xDBFF && I + 7 <= S.size() && S.substr(I, 3) == "\\U+" &&
          CountHex(S.substr(I + 3), 4) == 4) {
        char32_t Low = HexValue(S.substr(I + 3, 4));
        if (Low >= 0xDC00 && Low <= 0xDFFF) {
          AppendUTF8(Dst, 0x10000 + ((Unit - 0xD800) << 10) + (Low - 0xDC00));
          I += 7;
          continue;
        }
      }
      if (Unit != 0) AppendUTF8(Dst, Unit);  // a NUL would cut the text for C callers
    } else {
      int Family = HexDigit(S[Start]);
      int Page = Family == 1 ? 932 : Family == 2 ? 950 : Family == 3 ? 949 : Family == 5 ? 936 : DefaultCodePage;
      unsigned Code = HexValue(S.substr(Start + 1, 4));
      Dst += DoubleByteCharToUTF8(Page, uint8_t(Code >> 8), uint8_t(Code & 0xFF));
    }
  }
  return Dst;
}
