#include "DXFTokenizer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "qdCodePages.h"

// ---- group codes

namespace {

constexpr bool In(int C, int Lo, int Hi) { return C >= Lo && C <= Hi; }

constexpr TdxfValueType TypeOf(int C) {
  if (In(C, 0, 4) || In(C, 6, 9) || C == 100 || C == 102 || In(C, 300, 309) || In(C, 410, 419) ||
      In(C, 430, 439) || In(C, 470, 479) || In(C, 999, 1004) || In(C, 1006, 1009))
    return vtString;
  if (C == 5 || C == 105 || In(C, 320, 369) || In(C, 390, 399) || C == 1005) return vtHandle;
  if (In(C, 10, 59) || In(C, 110, 149) || In(C, 210, 239) || In(C, 460, 469) || In(C, 1010, 1059))
    return vtReal;
  if (In(C, 60, 79) || In(C, 90, 99) || In(C, 170, 179) || In(C, 270, 299) || In(C, 370, 389) ||
      In(C, 400, 409) || In(C, 420, 429) || In(C, 440, 459) || In(C, 1060, 1071))
    return vtInteger;
  return vtOther;
}

// Binary widths follow the text types; only the sizes of integers and a few
// codes that binary files store as numbers although text files keep them as
// text need their own rule.
constexpr TdxfBinaryValue BinaryOf(int C) {
  if (!In(C, cMinGroupCode, cMaxGroupCode)) return bvIllegal;
  if (In(C, 310, 319) || C == 1004) return bvChunk;
  if (In(C, 160, 169)) return bvInt64;
  if (In(C, 290, 299) || In(C, 255, 257) || C == 512) return bvByte;
  if (In(C, 240, 249)) return bvDouble;
  switch (TypeOf(C)) {
    case vtReal: return bvDouble;
    case vtInteger:
      if (In(C, 90, 99) || In(C, 420, 429) || In(C, 440, 459) || C == 1071) return bvInt32;
      return bvInt16;
    default: return bvString;
  }
}

constexpr int cTableSize = cMaxGroupCode - cMinGroupCode + 1;

constexpr auto MakeTypeTable() {
  std::array<TdxfValueType, cTableSize> T{};
  for (int C = cMinGroupCode; C <= cMaxGroupCode; ++C) T[size_t(C - cMinGroupCode)] = TypeOf(C);
  return T;
}

constexpr auto MakeBinaryTable() {
  std::array<TdxfBinaryValue, cTableSize> T{};
  for (int C = cMinGroupCode; C <= cMaxGroupCode; ++C) T[size_t(C - cMinGroupCode)] = BinaryOf(C);
  return T;
}

constexpr auto cTypes = MakeTypeTable();
constexpr auto cBinary = MakeBinaryTable();

inline bool IsDigit(char C) { return C >= '0' && C <= '9'; }
inline bool IsLineEnd(char C) { return C == '\r' || C == '\n'; }

inline int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  return -1;
}

// The end of the line that starts at P: its first CR or LF, or the end of the data.
// Throws when the line runs on past cnstMaxDXFLine.
const char* LineEnd(const char* P, const char* L, const char* AData) {
  const char* const Start = P;
  const char* const Stop = size_t(L - P) > cnstMaxDXFLine ? P + cnstMaxDXFLine + 1 : L;
  while (P < Stop && !IsLineEnd(*P)) ++P;
  if (P < Stop || size_t(P - Start) <= cnstMaxDXFLine) return P;
  throw EReadError("Line at offset " + std::to_string(Start - AData) + " is longer than " +
                       std::to_string(cnstMaxDXFLine) + " bytes",
                   size_t(Start - AData));
}

inline const char* SkipSpaces(const char* P, const char* E) {
  while (P < E && (*P == ' ' || *P == '\t')) ++P;
  return P;
}

// [B, E) holds a decimal integer with optional spaces around it.
bool ParseInt(const char* B, const char* E, int64_t& V) {
  const char* P = SkipSpaces(B, E);
  bool Neg = false;
  if (P < E && (*P == '-' || *P == '+')) Neg = *P++ == '-';
  const char* D = P;
  uint64_t U = 0;
  constexpr uint64_t Max = uint64_t(std::numeric_limits<int64_t>::max()) + 1;
  while (P < E && IsDigit(*P)) {
    U = U * 10 + uint64_t(*P - '0');
    if (U > Max) break;  // checked per digit, so U*10 never wraps
    ++P;
  }
  if (P == D || U > Max || (U == Max && !Neg) || SkipSpaces(P, E) != E) {
    V = 0;
    return false;
  }
  V = Neg ? int64_t(0 - U) : int64_t(U);
  return true;
}

// Powers of ten a double holds exactly.
constexpr double cExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common "[-]digits[.digits]" with at most 15 significant digits, read without
// from_chars: mantissa and power of ten are both exact doubles, so one division
// rounds correctly. Returns the end of the number, or null (nothing read) for any
// other form.
inline const char* ScanSimpleReal(const char* P, const char* E, double& V) {
  bool Neg = false;
  if (P < E && *P == '-') {
    Neg = true;
    ++P;
  }
  uint64_t M = 0;
  const char* D = P;
  while (P < E && *P == '0') ++P;  // leading zeros are not significant
  const char* S = P;
  while (P < E && IsDigit(*P)) M = M * 10 + uint64_t(*P++ - '0');
  long Digits = P - S;
  bool Any = P != D;
  int Frac = 0;
  if (P < E && *P == '.') {
    const char* F = ++P;
    if (Digits == 0) {
      while (P < E && *P == '0') ++P;  // zeros after the point before the first digit
    }
    const char* FS = P;
    while (P < E && IsDigit(*P)) M = M * 10 + uint64_t(*P++ - '0');
    Digits += P - FS;
    Frac = int(std::min<long>(P - F, 99));
    Any = Any || P != F;
  }
  if (!Any || Digits > 15 || Frac > 22) return nullptr;
  // An exponent or a comma is left to the general parser.
  if (P < E && (*P == 'e' || *P == 'E' || *P == ',')) return nullptr;
  const double R = double(M) / cExactPow10[Frac];
  V = Neg ? -R : R;
  return P;
}

// "[-]digits" of at most 18 digits; the end of the number or null.
inline const char* ScanSimpleInt(const char* P, const char* E, int64_t& V) {
  const bool Neg = P < E && *P == '-';
  if (Neg) ++P;
  const char* D = P;
  int64_t U = 0;
  while (P < E && IsDigit(*P) && P - D < 18) U = U * 10 + (*P++ - '0');
  if (P == D || (P < E && IsDigit(*P))) return nullptr;
  V = Neg ? -U : U;
  return P;
}

bool ParseReal(const char* B, const char* E, double& V) {
  V = 0;
  const char* P = SkipSpaces(B, E);
  if (const char* End = ScanSimpleReal(P, E, V); End && SkipSpaces(End, E) == E) return true;
  V = 0;
  const char* Start = P;
  if (P < E && (*P == '+' || *P == '-')) ++P;
  const char* Digits = P;
  while (P < E && IsDigit(*P)) ++P;
  size_t Count = size_t(P - Digits);
  const char* Comma = nullptr;
  if (P < E && (*P == '.' || *P == ',')) {
    if (*P == ',') Comma = P;
    const char* F = ++P;
    while (P < E && IsDigit(*P)) ++P;
    Count += size_t(P - F);
  }
  if (Count == 0) return false;
  if (P < E && (*P == 'e' || *P == 'E')) {
    const char* X = P++;
    if (P < E && (*P == '+' || *P == '-')) ++P;
    const char* XD = P;
    while (P < E && IsDigit(*P)) ++P;
    if (P == XD) P = X;  // "1e" or "1e+" : the exponent is not part of the number
  }
  // from_chars takes no "+" and no ","; Start..P is the valid prefix.
  if (*Start == '+') ++Start;
  double R = 0;
  std::from_chars_result Res;
  if (Comma) {
    size_t N = size_t(P - Start);
    char Small[64];
    std::string Big;
    char* Copy = Small;
    if (N > sizeof(Small)) {
      Big.resize(N);
      Copy = Big.data();
    }
    std::memcpy(Copy, Start, N);
    Copy[Comma - Start] = '.';
    Res = std::from_chars(Copy, Copy + N, R, std::chars_format::general);
  } else {
    Res = std::from_chars(Start, P, R, std::chars_format::general);
  }
  if (Res.ec != std::errc() || !std::isfinite(R)) return false;
  V = R;
  return true;
}

bool ParseHandle(const char* B, const char* E, uint64_t& V) {
  const char* P = SkipSpaces(B, E);
  const char* D = P;
  uint64_t U = 0;
  int H;
  while (P < E && (H = HexDigit(*P)) >= 0) {
    if (U >> 60) {  // a seventeenth significant digit
      V = 0;
      return false;
    }
    U = (U << 4) | uint64_t(H);
    ++P;
  }
  if (P == D || SkipSpaces(P, E) != E) {
    V = 0;
    return false;
  }
  V = U;
  return true;
}

std::string_view Trim(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
  return S;
}

std::string Upper(std::string_view S) {
  std::string U(S);
  for (char& C : U)
    if (C >= 'a' && C <= 'z') C = char(C - 'a' + 'A');
  return U;
}

const char cSeqEnd[] = "SEQEND";
const char cSentinel[22] = {'A', 'u', 't', 'o', 'C', 'A', 'D', ' ', 'B', 'i', 'n',
                            'a', 'r', 'y', ' ', 'D', 'X', 'F', 13,  10,  26,  0};

template <typename T>
T ReadLE(const char* P) {
  std::make_unsigned_t<T> U = 0;
  for (size_t I = sizeof(T); I-- > 0;) U = (U << 8) | uint8_t(P[I]);
  return T(U);
}

}  // namespace

TdxfValueType GroupCodeType(int Code) {
  return In(Code, cMinGroupCode, cMaxGroupCode) ? cTypes[size_t(Code - cMinGroupCode)] : vtOther;
}

TdxfBinaryValue BinaryValueKind(int Code) {
  return In(Code, cMinGroupCode, cMaxGroupCode) ? cBinary[size_t(Code - cMinGroupCode)] : bvIllegal;
}

// ---- numbers

bool DXFStrToInt64(std::string_view S, int64_t& Value) {
  return ParseInt(S.data(), S.data() + S.size(), Value);
}

bool DXFStrToInt(std::string_view S, int& Value) {
  int64_t V;
  if (!ParseInt(S.data(), S.data() + S.size(), V) || V < std::numeric_limits<int>::min() ||
      V > std::numeric_limits<int>::max()) {
    Value = 0;
    return false;
  }
  Value = int(V);
  return true;
}

bool DXFStrToFloat(std::string_view S, double& Value) {
  return ParseReal(S.data(), S.data() + S.size(), Value);
}

bool DXFStrToHandle(std::string_view S, uint64_t& Value) {
  return ParseHandle(S.data(), S.data() + S.size(), Value);
}

// ---- file level rules

TdxfFormatInfo DetectDXFFormat(const void* Data, size_t Size) {
  TdxfFormatInfo Info;
  const char* P = static_cast<const char*>(Data);
  if (Size >= sizeof(cSentinel) && std::memcmp(P, cSentinel, sizeof(cSentinel)) == 0) {
    Info.Format = dfBinary;
    Info.Start = sizeof(cSentinel);
    // The first group is code 0: two zero bytes when codes are 2 bytes wide,
    // a zero and the first letter of "SECTION" when they are 1 byte wide.
    if (Size >= Info.Start + 2 && (P[Info.Start] != 0 || P[Info.Start + 1] != 0)) Info.GroupCodeSize = 1;
    return Info;
  }
  if (Size >= 3 && std::memcmp(P, "\xEF\xBB\xBF", 3) == 0) Info.Start = 3;
  return Info;
}

int DXFCodePageByName(std::string_view Name) {
  std::string N = Upper(Trim(Name));
  std::string_view S(N);
  auto Number = [](std::string_view D) {
    int V = 0;
    auto [Ptr, Ec] = std::from_chars(D.data(), D.data() + D.size(), V);
    return Ec == std::errc() && Ptr == D.data() + D.size() && V > 0 ? V : 0;
  };
  auto SkipSep = [](std::string_view& D) {
    if (!D.empty() && (D.front() == '_' || D.front() == '-')) D.remove_prefix(1);
  };
  for (std::string_view Prefix : {"ANSI", "DOS"}) {
    if (S.substr(0, Prefix.size()) == Prefix) {
      std::string_view D = S.substr(Prefix.size());
      SkipSep(D);
      return Number(D);
    }
  }
  if (S.substr(0, 3) == "ISO") {
    std::string_view D = S.substr(3);
    SkipSep(D);
    if (D.substr(0, 4) != "8859") return 0;
    D.remove_prefix(4);
    if (D.empty() || (D.front() != '_' && D.front() != '-')) return 0;
    D.remove_prefix(1);
    int Part = Number(D);
    return Part > 0 && Part <= 16 ? 28590 + Part : 0;
  }
  struct TName {
    std::string_view Name;
    int Page;
  };
  static constexpr TName Names[] = {{"JOHAB", 1361}, {"GB2312", 936},  {"KSC5601", 949},
                                    {"BIG5", 950},   {"ASCII", 20127}, {"UTF-16", 1200},
                                    {"MAC-ROMAN", 10000}};
  for (const auto& E : Names)
    if (S == E.Name) return E.Page;
  return 0;
}

TqdDWGVersion DXFVersionByName(std::string_view Name, TqdDWGVersion Current) {
  std::string S = Upper(Trim(Name));
  if (S.size() < 6) return Current;
  if (S.compare(0, 4, "AC10") == 0) {
    std::string_view NN = std::string_view(S).substr(4, 2);
    if (!IsDigit(NN[0]) || !IsDigit(NN[1])) return Current;
    switch ((NN[0] - '0') * 10 + (NN[1] - '0')) {
      case 1: case 2: case 3: case 4: return acR09;
      case 6: return acR10;
      case 9: return acR12;
      case 12: return acR13;
      case 13: case 14: return acR14;
      case 15: return acR2000;
      case 18: return acR2004;
      case 21: return acR2007;
      case 24: return acR2010;
      case 27: return acR2013;
      case 32: return acR2018;
      default: return Current;
    }
  }
  if (S.compare(0, 4, "AC2.") == 0) {
    std::string_view R = std::string_view(S).substr(4, 2);
    if (R == "10" || R == "21" || R == "22") return acR09;
  }
  return Current;
}

bool IsInventoryComment(std::string_view Comment) {
  return Upper(Comment).find("INVENTORY") != std::string::npos;
}

// ---- text tokenizer

TdxfTokenizer::TdxfTokenizer() : TdxfTokenizer(cSeqEnd, 0) {}

TdxfTokenizer::TdxfTokenizer(const char* Data, size_t Size, size_t Start) { Reset(Data, Size, Start); }

void TdxfTokenizer::Reset(const char* Data, size_t Size, size_t Start) {
  FData = Data;
  FPos = Data + (Start < Size ? Start : Size);
  FPrev = FPos;
  FLimit = Data + Size;
  FLine = 0;
  FCode = 0;
  FType = vtString;
  FKind = vkText;
  FEnded = false;
  FValueStartPos = cSeqEnd + sizeof(cSeqEnd) - 1;  // the empty value before the first group
  FValueSize = 0;
  FInt = 0;
  FDouble = 0;
  FHandle = 0;
  FVersion = acR09;
  FCodePage = 0;
  FUValueReady = false;
  FNumTextSize = 0;
}

void TdxfTokenizer::SetEndOfData() {
  FPos = FLimit;
  FEnded = true;
  FCode = 0;
  FType = vtString;
  FKind = vkText;
  FValueStartPos = cSeqEnd;
  FValueSize = sizeof(cSeqEnd) - 1;
  FInt = 0;
  FDouble = 0;
  FHandle = 0;
}

void TdxfTokenizer::Next() {
  FPrev = FPos;
  FNumTextSize = 0;
  FUValueReady = false;
  const char* P = FPos;
  const char* const L = FLimit;
  if (P >= L) return SetEndOfData();

  // Group code: a decimal integer alone on its line; a malformed one reads as 0.
  while (P < L && *P == ' ') ++P;
  const char* LineStart = P;
  int64_t Code = 0;
  // Digits right up to the line end, the usual form, are read in the same pass.
  P = ScanSimpleInt(LineStart, L, Code);
  if (!P || P >= L || !IsLineEnd(*P)) {
    P = LineEnd(LineStart, L, FData);
    if (P >= L) return SetEndOfData();  // a code without a value
    if (!ParseInt(LineStart, P, Code)) Code = 0;
  }
  if (Code < std::numeric_limits<int>::min() || Code > std::numeric_limits<int>::max()) Code = 0;
  if (*P == '\r') ++P;
  if (P < L && *P == '\n') ++P;
  ++FLine;
  if (P >= L) return SetEndOfData();

  FCode = int(Code);
  FType = GroupCodeType(FCode);
  if (FType != vtString && FType != vtOther) P = SkipSpaces(P, L);
  const char* V = P;
  // Numbers in their plain form end the line: read while scanning it.
  const char* End = nullptr;
  const char* const Capped = size_t(L - V) > cnstMaxDXFLine ? V + cnstMaxDXFLine : L;
  if (FType == vtReal)
    End = ScanSimpleReal(V, Capped, FDouble);
  else if (FType == vtInteger)
    End = ScanSimpleInt(V, L, FInt);
  if (End && (End == L || IsLineEnd(*End))) {
    P = End;
    FKind = FType == vtReal ? vkReal : vkInt;
    FValueStartPos = V;
    FValueSize = size_t(P - V);
    while (P < L && IsLineEnd(*P)) ++P;
    ++FLine;
    FPos = P;
    return;
  }
  P = LineEnd(V, L, FData);
  FValueStartPos = V;
  FValueSize = size_t(P - V);
  switch (FType) {
    case vtInteger:
      FKind = vkInt;
      ParseInt(V, P, FInt);
      break;
    case vtReal:
      FKind = vkReal;
      ParseReal(V, P, FDouble);
      break;
    case vtHandle:
      FKind = vkHandle;
      ParseHandle(V, P, FHandle);
      break;
    default:
      FKind = vkText;
      break;
  }
  // Blank lines between groups are not groups.
  while (P < L && IsLineEnd(*P)) ++P;
  ++FLine;
  FPos = P;
}

std::string_view TdxfTokenizer::NumberText() const {
  if (FNumTextSize == 0) {
    std::to_chars_result R{};
    char* E = FNumText + sizeof(FNumText);
    switch (FKind) {
      case vkReal: R = std::to_chars(FNumText, E, FDouble); break;
      case vkHandle: R = std::to_chars(FNumText, E, FHandle, 16); break;
      default: R = std::to_chars(FNumText, E, FInt); break;
    }
    FNumTextSize = uint8_t(R.ptr - FNumText);
  }
  return {FNumText, FNumTextSize};
}

std::string TdxfTokenizer::StrValue() const {
  std::string_view V = Value();
  if (FVersion >= acR2007) return SanitizeUTF8(V);
  return CodePageToUTF8(FCodePage, V);
}

const std::string& TdxfTokenizer::UValue() const {
  if (!FUValueReady) {
    // Decoded into the kept buffer: long values are copied once, not per step.
    const std::string_view V = Value();
    FUValue.clear();
    if (FVersion >= acR2007)
      FUValue = SanitizeUTF8(V);
    else
      AppendCodePageToUTF8(FUValue, FCodePage, V);
    if (FUValue.find('\\') != std::string::npos) FUValue = DecodeCharEscapes(FUValue, FCodePage);
    FUValueReady = true;
  }
  return FUValue;
}

int64_t TdxfTokenizer::ConvertedInt64Value() const {
  int64_t V;
  DXFStrToInt64(Value(), V);
  return V;
}

int TdxfTokenizer::ConvertedIntValue() const {
  if (FKind == vkInt) return 0;  // beyond the int range
  int V;
  DXFStrToInt(Value(), V);
  return V;
}

double TdxfTokenizer::ConvertedFloatValue() const {
  double V;
  DXFStrToFloat(Value(), V);
  return V;
}

uint64_t TdxfTokenizer::ConvertedHandleValue() const {
  uint64_t V;
  DXFStrToHandle(Value(), V);
  return V;
}

bool TdxfTokenizer::IsEOF() const { return FEnded || (FCode == 0 && Trim(Value()) == "EOF"); }

void TdxfTokenizer::NoteComment() {
  if (FCode == 999 && !FEnded && IsInventoryComment(Value())) SetCodePage(cpInventoryComment);
}

// ---- binary tokenizer

TdxfBinTokenizer::TdxfBinTokenizer(int GroupCodeSize) : FGroupCodeSize(GroupCodeSize == 1 ? 1 : 2) {}

TdxfBinTokenizer::TdxfBinTokenizer(const char* Data, size_t Size, size_t Start, int GroupCodeSize)
    : TdxfTokenizer(Data, Size, Start), FGroupCodeSize(GroupCodeSize == 1 ? 1 : 2) {}

void TdxfBinTokenizer::Next() {
  FPrev = FPos;
  FNumTextSize = 0;
  FUValueReady = false;
  const char* P = FPos;
  const char* const L = FLimit;
  auto Left = [&] { return size_t(L - P); };
  if (P >= L) return SetEndOfData();

  int Code;
  if (FGroupCodeSize == 1) {
    Code = uint8_t(*P++);
    if (Code == 255) {  // escape: a 2-byte code follows (extended data)
      if (Left() < 2) return SetEndOfData();
      Code = ReadLE<int16_t>(P);
      P += 2;
    }
  } else {
    if (Left() < 2) return SetEndOfData();
    Code = ReadLE<int16_t>(P);
    P += 2;
  }
  TdxfBinaryValue Kind = BinaryValueKind(Code);
  if (Kind == bvIllegal) {
    char Msg[64];
    std::snprintf(Msg, sizeof(Msg), "Illegal group code %d at %.8x", Code, unsigned(PrevPos()));
    throw EReadError(Msg, PrevPos());
  }
  FCode = Code;
  FType = GroupCodeType(Code);
  FValueStartPos = nullptr;
  switch (Kind) {
    case bvString: {
      const void* Z = std::memchr(P, 0, std::min(Left(), cnstMaxDXFLine + 1));
      if (!Z && Left() > cnstMaxDXFLine)
        throw EReadError("String at offset " + std::to_string(P - FData) + " is longer than " +
                             std::to_string(cnstMaxDXFLine) + " bytes",
                         size_t(P - FData));
      if (!Z) return SetEndOfData();
      FValueStartPos = P;
      FValueSize = size_t(static_cast<const char*>(Z) - P);
      P += FValueSize + 1;
      if (FType == vtHandle) {
        FKind = vkHandle;
        ParseHandle(FValueStartPos, FValueStartPos + FValueSize, FHandle);
      } else {
        FKind = vkText;
      }
      break;
    }
    case bvChunk: {
      if (Left() < 1) return SetEndOfData();
      size_t N = uint8_t(*P++);
      if (Left() < N) return SetEndOfData();
      static const char Hex[] = "0123456789ABCDEF";
      for (size_t I = 0; I < N; ++I) {
        FChunkText[2 * I] = Hex[uint8_t(P[I]) >> 4];
        FChunkText[2 * I + 1] = Hex[uint8_t(P[I]) & 15];
      }
      FValueStartPos = FChunkText;
      FValueSize = 2 * N;
      FKind = vkText;
      P += N;
      break;
    }
    case bvByte:
      if (Left() < 1) return SetEndOfData();
      FInt = uint8_t(*P++);
      FKind = vkInt;
      break;
    case bvInt16:
      if (Left() < 2) return SetEndOfData();
      FInt = ReadLE<int16_t>(P);
      P += 2;
      FKind = vkInt;
      break;
    case bvInt32:
      if (Left() < 4) return SetEndOfData();
      FInt = ReadLE<int32_t>(P);
      P += 4;
      FKind = vkInt;
      break;
    case bvInt64:
      if (Left() < 8) return SetEndOfData();
      FInt = ReadLE<int64_t>(P);
      P += 8;
      FKind = vkInt;
      break;
    case bvDouble: {
      if (Left() < 8) return SetEndOfData();
      uint64_t Bits = ReadLE<uint64_t>(P);
      std::memcpy(&FDouble, &Bits, 8);
      if (!std::isfinite(FDouble)) FDouble = 0;  // only finite numbers enter the drawing
      P += 8;
      FKind = vkReal;
      break;
    }
    case bvIllegal:
      break;
  }
  FLine += 2;
  FPos = P;
}
