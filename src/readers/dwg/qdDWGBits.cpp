#include "qdDWGBits.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "qdCodePages.h"

// ---------------------------------------------------------------- cursor

TdwgBitCursor::TdwgBitCursor(const void* AData, std::size_t ABytes, TqdDWGVersion AVersion)
    : FData(static_cast<const std::uint8_t*>(AData)),
      FBytes(AData ? ABytes : 0),
      FEnd(static_cast<std::uint64_t>(AData ? ABytes : 0) * 8),
      FVersion(AVersion) {}

TdwgBitCursor TdwgBitCursor::Sub(std::uint64_t ABegin, std::uint64_t AEnd) const {
  TdwgBitCursor C = *this;
  C.FOverflow = false;
  C.FBegin = std::clamp(ABegin, FBegin, FEnd);
  C.FEnd = std::clamp(AEnd, C.FBegin, FEnd);
  C.FPos = C.FBegin;
  return C;
}

void TdwgBitCursor::SetPosition(std::uint64_t APos) {
  if (APos < FBegin) {
    FPos = FBegin;
    FOverflow = true;
  } else if (APos > FEnd) {
    FPos = FEnd;
    FOverflow = true;
  } else {
    FPos = APos;
  }
}

void TdwgBitCursor::Skip(std::int64_t ABits) {
  if (ABits >= 0) {
    if (static_cast<std::uint64_t>(ABits) > BitsLeft()) {
      Fail();
      return;
    }
    FPos += static_cast<std::uint64_t>(ABits);
  } else {
    const std::uint64_t Back = static_cast<std::uint64_t>(-(ABits + 1)) + 1;
    if (Back > FPos - FBegin) {
      FPos = FBegin;
      FOverflow = true;
      return;
    }
    FPos -= Back;
  }
}

void TdwgBitCursor::AlignToByte() {
  if (FPos & 7) SetPosition((FPos | 7) + 1);
}

void TdwgBitCursor::SetEnd(std::uint64_t AEnd) {
  if (AEnd >= FEnd) return;
  FEnd = std::max(AEnd, FBegin);
  if (FPos > FEnd) FPos = FEnd;
}

std::uint64_t TdwgBitCursor::Load64Slow(std::size_t B) const {
  std::uint64_t W = 0;
  for (std::size_t I = 0; I < 8; ++I) W = (W << 8) | (B + I < FBytes ? FData[B + I] : 0u);
  return W;
}

std::int16_t TdwgBitCursor::ReadRS() { return static_cast<std::int16_t>(ReadRSU()); }

std::uint16_t TdwgBitCursor::ReadRSU() {
  return __builtin_bswap16(static_cast<std::uint16_t>(ReadBits(16)));
}

std::uint32_t TdwgBitCursor::ReadRL() { return __builtin_bswap32(static_cast<std::uint32_t>(ReadBits(32))); }

namespace {

// No NaN and nothing absurd enters the drawing.
double SaneDouble(double D) {
  if (std::isnan(D) || std::fabs(D) > 1E101) return 0.0;
  return D;
}

double DoubleFromBits(std::uint64_t U) {
  double D;
  std::memcpy(&D, &U, 8);
  return D;
}

std::uint64_t BitsFromDouble(double D) {
  std::uint64_t U;
  std::memcpy(&U, &D, 8);
  return U;
}

} // namespace

double TdwgBitCursor::ReadRD() {
  if (!Need(64)) return 0.0;
  const std::uint64_t Lo = ReadRL();
  const std::uint64_t Hi = ReadRL();
  return SaneDouble(DoubleFromBits(Lo | (Hi << 32)));
}

int TdwgBitCursor::ReadBS() {
  switch (ReadBB()) {
    case 0: return ReadRS();  // RS
    case 1: return ReadRC();  // RC, unsigned
    case 2: return 0;
    default: return 256;
  }
}

std::int32_t TdwgBitCursor::ReadBL() {
  switch (ReadBB()) {
    case 0: return static_cast<std::int32_t>(ReadRL());  // RL
    case 1: return ReadRC();                             // RC, unsigned
    default: return 0;
  }
}

std::uint64_t TdwgBitCursor::ReadBLL() {
  const int N = Read3Bits();
  std::uint64_t V = 0;
  for (int I = 0; I < N; ++I) V |= static_cast<std::uint64_t>(ReadRC()) << (8 * I);
  return V;
}

double TdwgBitCursor::ReadBD() {
  switch (ReadBB()) {
    case 0: return ReadRD();  // RD
    case 1: return 1.0;
    default: return 0.0;
  }
}

double TdwgBitCursor::ReadDD(double ADefault) {
  std::uint64_t U = BitsFromDouble(ADefault);
  switch (ReadBB()) {
    case 0: return SaneDouble(ADefault);
    case 1:  // RL replaces the low four bytes
      U = (U & 0xFFFFFFFF00000000ull) | ReadRL();
      break;
    case 2: {  // RS replaces bytes 5 and 6, then RL the low four
      const std::uint64_t S = ReadRSU();
      U = (U & 0xFFFF0000FFFFFFFFull) | (S << 32);
      U = (U & 0xFFFFFFFF00000000ull) | ReadRL();
      break;
    }
    default: return ReadRD();  // RD
  }
  if (Overflow()) return 0.0;
  return SaneDouble(DoubleFromBits(U));
}

double TdwgBitCursor::ReadBT() {
  if (FVersion >= acR2000 && ReadBit()) return 0.0;  // B
  return ReadBD();                                   // BD
}

TFPoint TdwgBitCursor::ReadBE() {
  if (FVersion >= acR2000 && ReadBit()) return {0, 0, 1};  // B
  return Read3BD();                                         // 3BD
}

TFPoint TdwgBitCursor::Read2RD() {
  TFPoint P;
  P.X = ReadRD();
  P.Y = ReadRD();
  return P;
}

TFPoint TdwgBitCursor::Read3RD() {
  TFPoint P = Read2RD();
  P.Z = ReadRD();
  return P;
}

TFPoint TdwgBitCursor::Read2BD() {
  TFPoint P;
  P.X = ReadBD();
  P.Y = ReadBD();
  return P;
}

TFPoint TdwgBitCursor::Read3BD() {
  TFPoint P = Read2BD();
  P.Z = ReadBD();
  return P;
}

int TdwgBitCursor::ReadOT() {
  if (FVersion < acR2010) return ReadBS();  // BS
  switch (ReadBB()) {
    case 0: return ReadRC();          // RC
    case 1: return ReadRC() + 0x1F0;  // RC + 496
    default: return ReadRSU();        // RS
  }
}

// The three size codes stop after a fixed number of groups: a run of continue bits
// beyond them is damage, and the value never shifts past its width.
std::uint32_t TdwgBitCursor::ReadMS() {
  std::uint64_t V = 0;
  for (int I = 0; I < 4; ++I) {
    const std::uint16_t W = ReadRSU();
    if (Overflow()) return 0;
    if (I < 3) V |= static_cast<std::uint64_t>(W & 0x7FFF) << (15 * I);
    if (!(W & 0x8000)) return static_cast<std::uint32_t>(V);
  }
  SetOverflow();
  return 0;
}

std::uint64_t TdwgBitCursor::ReadUMC() {
  std::uint64_t V = 0;
  for (int I = 0; I < 10; ++I) {
    const std::uint8_t B = ReadRC();
    if (Overflow()) return 0;
    V |= static_cast<std::uint64_t>(B & 0x7F) << (7 * I);  // shift <= 63
    if (!(B & 0x80)) return V;
  }
  SetOverflow();
  return 0;
}

std::int32_t TdwgBitCursor::ReadMC() {
  std::uint64_t V = 0;
  for (int I = 0; I < 5; ++I) {
    const std::uint8_t B = ReadRC();
    if (Overflow()) return 0;
    if (B & 0x80) {
      V |= static_cast<std::uint64_t>(B & 0x7F) << (7 * I);
      continue;
    }
    V |= static_cast<std::uint64_t>(B & 0x3F) << (7 * I);
    const std::int64_t S = static_cast<std::int64_t>(static_cast<std::uint32_t>(V));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>((B & 0x40) ? -S : S));
  }
  SetOverflow();
  return 0;
}

std::uint64_t TdwgBitCursor::ReadH(std::uint64_t ARef, int* ACode) {
  const std::uint8_t B = ReadRC();  // RC: code and byte count
  const int Code = B >> 4;
  const int N = B & 0x0F;
  if (ACode) *ACode = Overflow() ? 0 : Code;
  if (!Need(static_cast<std::uint64_t>(N) * 8)) return 0;
  std::uint64_t Offset = 0;
  for (int I = 0; I < N; ++I) Offset = (Offset << 8) | ReadRC();  // most significant first
  switch (Code) {
    case 0x6: return ARef + 1;
    case 0x8: return ARef - 1;
    case 0xA: return ARef + Offset;
    case 0xC: return ARef - Offset;
    default: return Offset;
  }
}

std::string TdwgBitCursor::ReadBytes(std::uint64_t N) {
  std::string S;
  if (N == 0 || !Need(N * 8) || N > BitsLeft() / 8) return S;
  S.resize(static_cast<std::size_t>(N));
  ReadBytes(S.data(), S.size());
  return S;
}

bool TdwgBitCursor::ReadBytes(void* ADst, std::size_t N) {
  if (N > BitsLeft() / 8) {
    Fail();
    std::memset(ADst, 0, N);
    return false;
  }
  auto* D = static_cast<std::uint8_t*>(ADst);
  if ((FPos & 7) == 0) {
    std::memcpy(D, FData + (FPos >> 3), N);
    FPos += static_cast<std::uint64_t>(N) * 8;
    return true;
  }
  std::size_t I = 0;
  for (; I + 4 <= N; I += 4) {
    const std::uint32_t W = static_cast<std::uint32_t>(ReadBits(32));
    D[I] = static_cast<std::uint8_t>(W >> 24);
    D[I + 1] = static_cast<std::uint8_t>(W >> 16);
    D[I + 2] = static_cast<std::uint8_t>(W >> 8);
    D[I + 3] = static_cast<std::uint8_t>(W);
  }
  for (; I < N; ++I) D[I] = ReadRC();
  return true;
}

void TdwgBitCursor::SkipFields(const std::uint8_t* ATemplate, std::size_t ACount) {
  std::uint64_t Pending = 0;
  auto Flush = [&] {
    Skip(static_cast<std::int64_t>(Pending));
    Pending = 0;
  };
  for (std::size_t I = 0; I < ACount && Ok(); ++I) {
    switch (ATemplate[I]) {
      case skB: Pending += 1; break;
      case skBB: Pending += 2; break;
      case skRS: Pending += 16; break;
      case skRC: Pending += 8; break;
      case skRL: Pending += 32; break;
      case sk2RD: Pending += 128; break;
      case sk3RD: Pending += 192; break;
      case skBS:
      case skBSBB: {
        Flush();
        const int C = ReadBB();
        if (C == 0) Skip(16);
        else if (C == 1) Skip(8);
        if (ATemplate[I] == skBSBB && ReadBB() == 1) Skip(8);
        break;
      }
      case skBL: {
        Flush();
        const int C = ReadBB();
        if (C == 0) Skip(32);
        else if (C == 1) Skip(8);
        break;
      }
      case skBD:
      case sk2BD:
      case sk3BD: {
        Flush();
        const int N = ATemplate[I] == skBD ? 1 : ATemplate[I] == sk2BD ? 2 : 3;
        for (int K = 0; K < N; ++K)
          if (ReadBB() == 0) Skip(64);
        break;
      }
      case skBLL: {
        Flush();
        Skip(8 * Read3Bits());
        break;
      }
      default: break;
    }
  }
  Flush();
}

// ---------------------------------------------------------------- tables

int DWGCodePages(int AIndex) {
  switch (AIndex) {
    case 28: return 1250;
    case 29: return 1251;
    case 30: return 1252;
    case 32: return 1253;
    case 33: return 1254;
    case 34: return 1255;
    case 35: return 1256;
    case 36: return 1257;
    case 37: return 874;
    case 38: return 932;
    case 39: return 936;
    case 40: return 949;
    case 41: return 950;
    case 42: return 1361;
    case 43: return 1200;
    case 44: return 1258;
    default: return 0;
  }
}

double LineWeightByIndex(int AIndex) {
  static constexpr int cnstWeights[24] = {0,  5,  9,  13, 15, 18, 20,  25,  30,  35,  40,  50,
                                          53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
  if (AIndex >= 0 && AIndex < 24) return cnstWeights[AIndex] * 0.01;
  if (AIndex == 30) return -2;
  if (AIndex == 31) return -3;
  return -1;
}

// ---------------------------------------------------------------- strings

std::string UTF16LEToUTF8(const std::uint8_t* AData, std::size_t ACount) {
  std::string S;
  S.reserve(ACount);
  for (std::size_t I = 0; I < ACount; ++I) {
    const char32_t U = static_cast<char32_t>(AData[2 * I] | (AData[2 * I + 1] << 8));
    if (U >= 0xD800 && U < 0xDC00 && I + 1 < ACount) {
      const char32_t L = static_cast<char32_t>(AData[2 * I + 2] | (AData[2 * I + 3] << 8));
      if (L >= 0xDC00 && L < 0xE000) {
        AppendUTF8(S, 0x10000 + ((U - 0xD800) << 10) + (L - 0xDC00));
        ++I;
        continue;
      }
    }
    if (U < 0x80)
      S.push_back(static_cast<char>(U));
    else
      AppendUTF8(S, U);
  }
  return S;
}

int TdwgStringReader::LengthRS() { return FPBit->ReadRS(); }  // RS
int TdwgStringReader::LengthBS() { return FPBit->ReadBS(); }  // BS

int TdwgAnsiStringReader::NextCodePage() {
  const int Index = FPBit->ReadRC();  // RC: code-page index
  return Index > 60 ? FCodePage : DWGCodePages(Index);
}

std::string TdwgAnsiStringReader::ReadChars(int ALength, int ACodePage) {
  if (ALength < 1) return {};
  std::uint64_t N = static_cast<std::uint64_t>(ALength);
  // A length beyond the stream is damage: keep what is there.
  if (N > FPBit->BitsLeft() / 8) {
    N = FPBit->BitsLeft() / 8;
    FPBit->SetOverflow();
  }
  std::string Raw(static_cast<std::size_t>(N), '\0');
  if (N) {
    TdwgBitCursor& B = *FPBit;
    const bool Was = B.Overflow();
    B.ClearOverflow();
    B.ReadBytes(Raw.data(), Raw.size());
    if (Was) B.SetOverflow();
  }
  if (!Raw.empty() && Raw.back() == '\0') Raw.pop_back();
  bool Ascii = true;
  for (char C : Raw)
    if (static_cast<unsigned char>(C) >= 0x80 || C == '\0') {
      Ascii = false;
      break;
    }
  if (Ascii) return Raw;
  // Embedded NULs end nothing in the file; they do not belong in names.
  Raw.erase(std::remove(Raw.begin(), Raw.end(), '\0'), Raw.end());
  return CodePageToUTF8(ACodePage, Raw);
}

std::string TdwgAnsiStringReader::ReadT() {
  const int L = LengthBS();  // BS
  return ReadChars(L, FCodePage);
}

std::string TdwgAnsiStringReader::ReadTRS() {
  const int L = LengthRS();      // RS
  const int CP = NextCodePage();  // RC
  return ReadChars(L, CP);
}

std::string TdwgWideStringReader::ReadChars(int ALength) {
  if (ALength < 1) return {};
  std::uint64_t N = static_cast<std::uint64_t>(ALength);
  if (N > FPBit->BitsLeft() / 16) {
    N = FPBit->BitsLeft() / 16;
    FPBit->SetOverflow();
  }
  std::string Raw(static_cast<std::size_t>(N * 2), '\0');
  if (N) {
    TdwgBitCursor& B = *FPBit;
    const bool Was = B.Overflow();
    B.ClearOverflow();
    B.ReadBytes(Raw.data(), Raw.size());
    if (Was) B.SetOverflow();
  }
  std::size_t Units = static_cast<std::size_t>(N);
  if (Units && Raw[2 * Units - 2] == 0 && Raw[2 * Units - 1] == 0) --Units;
  std::string S = UTF16LEToUTF8(reinterpret_cast<const std::uint8_t*>(Raw.data()), Units);
  S.erase(std::remove(S.begin(), S.end(), '\0'), S.end());
  return S;
}

std::string TdwgWideStringReader::ReadT() { return ReadChars(LengthBS()); }   // BS, then 2 x length bytes
std::string TdwgWideStringReader::ReadTRS() { return ReadChars(LengthRS()); }  // RS, then 2 x length bytes

std::string TdwgAnsiStringReaderParse::ReadT() { return DecodeCharEscapes(TdwgAnsiStringReader::ReadT(), FCodePage); }
std::string TdwgAnsiStringReaderParse::ReadTRS() {
  return DecodeCharEscapes(TdwgAnsiStringReader::ReadTRS(), FCodePage);
}
std::string TdwgWideStringReaderParse::ReadT() { return DecodeCharEscapes(TdwgWideStringReader::ReadT(), FCodePage); }
std::string TdwgWideStringReaderParse::ReadTRS() {
  return DecodeCharEscapes(TdwgWideStringReader::ReadTRS(), FCodePage);
}

std::unique_ptr<TdwgStringReader> CreateStringReader(TqdDWGVersion AVersion, TdwgBitCursor* ABits, int ACodePage,
                                                     bool AParse) {
  const bool Wide = AVersion >= acR2007 && AVersion <= acR2018;
  if (Wide) {
    if (AParse) return std::make_unique<TdwgWideStringReaderParse>(ABits, ACodePage);
    return std::make_unique<TdwgWideStringReader>(ABits, ACodePage);
  }
  if (AParse) return std::make_unique<TdwgAnsiStringReaderParse>(ABits, ACodePage);
  return std::make_unique<TdwgAnsiStringReader>(ABits, ACodePage);
}

TdwgStringStream LocateStringStream(const TdwgBitCursor& ABits, std::uint64_t AStart, std::uint64_t AEnd) {
  TdwgStringStream R;
  // The size fields sit before AEnd: an object too small to hold them has no strings.
  if (AEnd < AStart || AEnd - AStart < 17 || AEnd > ABits.End() || AStart < ABits.Begin()) return R;
  TdwgBitCursor C = ABits.Sub(AStart, AEnd);
  C.SetPosition(AEnd - 1);
  if (!C.ReadBit()) return R;  // B: no string stream
  C.SetPosition(AEnd - 17);
  const std::uint64_t First = C.ReadRSU();  // RS
  std::uint64_t Size = First;
  std::uint64_t Fields = 17;
  if (First & 0x8000) {
    if (AEnd - AStart < 33) return R;
    C.SetPosition(AEnd - 33);
    const std::uint64_t Second = C.ReadRSU();  // RS
    Size = (First & 0x7FFF) | (Second << 15);
    Fields = 33;
  }
  if (!C.Ok() || Size > AEnd - AStart - Fields) return R;
  R.Present = true;
  R.End = AEnd - Fields;
  R.Begin = R.End - Size;
  return R;
}

TdwgObjectStreams SplitObjectStreams(const TdwgBitCursor& ABits, std::uint64_t AStart, std::uint64_t AHandlesAt) {
  TdwgObjectStreams R;
  const std::uint64_t End = ABits.End();
  const std::uint64_t H = std::clamp(AHandlesAt, std::max(AStart, ABits.Begin()), End);
  R.Data = ABits;
  R.Data.SetEnd(H);
  R.Handles = ABits.Sub(H, End);
  if (ABits.Version() < acR2007) {
    R.Strings = R.Data;
    return R;
  }
  const TdwgStringStream SS = LocateStringStream(ABits, std::max(AStart, ABits.Begin()), H);
  R.HasStrings = SS.Present;
  if (SS.Present) {
    R.Strings = ABits.Sub(SS.Begin, SS.End);
    R.Data.SetEnd(SS.Begin);
  } else {
    R.Strings = ABits.Sub(H, H);
  }
  return R;
}

// ---------------------------------------------------------------- colours

TqdColorCAD TrueColorFromBL(std::uint32_t AValue) {
  switch (AValue >> 24) {
    case 0xC1: return TqdColorCAD::Index(clByBlock);
    case 0xC2: return TqdColorCAD::RGB(MakeRGB((AValue >> 16) & 0xFF, (AValue >> 8) & 0xFF, AValue & 0xFF));
    case 0xC3: return TqdColorCAD::Index(static_cast<int>(AValue & 0xFF));
    default: return TqdColorCAD::Index(clByLayer);
  }
}

TqdColorCAD TdwgIndexColorReader::ReadColor(TdwgBitCursor& ABits, TdwgStringReader*) {
  return TqdColorCAD::Index(ABits.ReadBS() & 0x1FF);  // BS
}

TqdColorCAD TdwgIndexColorReader::ReadENC(TdwgBitCursor& ABits, int* AFlags) {
  const int F = ABits.ReadBS();  // BS
  if (AFlags) *AFlags = 0;
  return TqdColorCAD::Index(F & 0x1FF);
}

TqdColorCAD TdwgR18ColorReader::ReadColor(TdwgBitCursor& ABits, TdwgStringReader* AStrings) {
  const int Index = ABits.ReadBS();  // BS
  if (Index != 0) return TqdColorCAD::Index(Index & 0x1FF);
  const std::uint32_t RGB = static_cast<std::uint32_t>(ABits.ReadBL());  // BL
  TqdColorCAD C = TrueColorFromBL(RGB);
  const int Flags = ABits.ReadRC();  // RC
  if (AStrings) {
    if (Flags & 1) C.AlbumString = AStrings->ReadT();  // TV colour name
    if (Flags & 2) (void)AStrings->ReadT();             // TV book name
  }
  return C;
}

TqdColorCAD TdwgR18ColorReader::ReadENC(TdwgBitCursor& ABits, int* AFlags) {
  const int F = ABits.ReadBS() & 0xFFFF;  // BS
  if (AFlags) *AFlags = F;
  TqdColorCAD C = TqdColorCAD::Index(F & 0x1FF);
  if ((F & 0xC000) == 0x8000) C = TrueColorFromBL(static_cast<std::uint32_t>(ABits.ReadBL()));  // BL
  if (F & 0x2000) (void)ABits.ReadBL();  // BL transparency
  return C;
}

std::unique_ptr<IColorReader> CreateColorReader(TqdDWGVersion AVersion) {
  if (AVersion >= acR2004) return std::make_unique<TdwgR18ColorReader>();
  return std::make_unique<TdwgIndexColorReader>();
}

// ---------------------------------------------------------------- dates

namespace {
// Julian date of 1970-01-01 00:00.
constexpr double cnstUnixEpochJD = 2440587.5;

bool JulianInCalendar(std::int64_t ADay, std::int64_t AMs) {
  return ADay >= 0 && ADay <= cnstDWGMaxJulianDay && AMs >= 0 && AMs < cnstMsPerDay;
}
} // namespace

bool HeaderJulianToUnix(std::int64_t ADay, std::int64_t AMs, std::int64_t& AOut) {
  if (!JulianInCalendar(ADay, AMs)) return false;
  const double JD = static_cast<double>(ADay) + static_cast<double>(AMs) / cnstMsPerDay - 9.0 / 24.0;
  AOut = static_cast<std::int64_t>(std::floor((JD - cnstUnixEpochJD) * 86400.0));
  return true;
}

std::int64_t JulianDateIntToUnix(std::int64_t ADay, std::int64_t AMs) {
  if (!JulianInCalendar(ADay, AMs)) return 0;
  // Whole days: the Julian day starts at noon, the calendar day at midnight before it.
  const std::int64_t Days = ADay - 2440588;
  return Days * 86400 + AMs / 1000 + 4 * 3600;
}

// ---------------------------------------------------------------- checksums

namespace {

// Eight tables per checksum: eight bytes per step (slicing), since the object checks
// run over the whole image on every load. S[K][I] is the checksum of byte I followed
// by K zero bytes.
struct TCRCTables {
  std::uint16_t T16[256];
  std::uint32_t T32[256];
  std::uint16_t S16[8][256];
  std::uint32_t S32[8][256];
  TCRCTables() {
    for (std::uint32_t I = 0; I < 256; ++I) {
      std::uint32_t C16 = I, C32 = I;
      for (int K = 0; K < 8; ++K) {
        C16 = (C16 & 1) ? (C16 >> 1) ^ 0xA001u : C16 >> 1;
        C32 = (C32 & 1) ? (C32 >> 1) ^ 0xEDB88320u : C32 >> 1;
      }
      T16[I] = static_cast<std::uint16_t>(C16);
      T32[I] = C32;
      S16[0][I] = T16[I];
      S32[0][I] = T32[I];
    }
    for (int K = 1; K < 8; ++K)
      for (std::uint32_t I = 0; I < 256; ++I) {
        S16[K][I] = static_cast<std::uint16_t>((S16[K - 1][I] >> 8) ^ T16[S16[K - 1][I] & 0xFF]);
        S32[K][I] = (S32[K - 1][I] >> 8) ^ T32[S32[K - 1][I] & 0xFF];
      }
  }
};

inline std::uint64_t Load64LE(const std::uint8_t* P) {
  std::uint64_t V = 0;
  for (int I = 0; I < 8; ++I) V |= static_cast<std::uint64_t>(P[I]) << (8 * I);
  return V;
}

const TCRCTables& Tables() {
  static const TCRCTables T;
  return T;
}

} // namespace

std::uint16_t CRC8(std::uint16_t ASeed, const void* AData, std::size_t ASize) {
  const TCRCTables& Tb = Tables();
  const auto& T = Tb.T16;
  const auto& S = Tb.S16;
  const auto* P = static_cast<const std::uint8_t*>(AData);
  std::uint16_t C = ASeed;
  for (; ASize >= 8; ASize -= 8, P += 8) {
    const std::uint64_t W = Load64LE(P) ^ C;
    C = static_cast<std::uint16_t>(S[7][W & 0xFF] ^ S[6][(W >> 8) & 0xFF] ^ S[5][(W >> 16) & 0xFF] ^
                                   S[4][(W >> 24) & 0xFF] ^ S[3][(W >> 32) & 0xFF] ^ S[2][(W >> 40) & 0xFF] ^
                                   S[1][(W >> 48) & 0xFF] ^ S[0][W >> 56]);
  }
  for (std::size_t I = 0; I < ASize; ++I) C = static_cast<std::uint16_t>((C >> 8) ^ T[(C ^ P[I]) & 0xFF]);
  return C;
}

std::uint32_t CRC32(std::uint32_t ASeed, const void* AData, std::size_t ASize) {
  const TCRCTables& Tb = Tables();
  const auto& T = Tb.T32;
  const auto& S = Tb.S32;
  const auto* P = static_cast<const std::uint8_t*>(AData);
  std::uint32_t C = ~ASeed;
  for (; ASize >= 8; ASize -= 8, P += 8) {
    const std::uint64_t W = Load64LE(P) ^ C;
    C = S[7][W & 0xFF] ^ S[6][(W >> 8) & 0xFF] ^ S[5][(W >> 16) & 0xFF] ^ S[4][(W >> 24) & 0xFF] ^
        S[3][(W >> 32) & 0xFF] ^ S[2][(W >> 40) & 0xFF] ^ S[1][(W >> 48) & 0xFF] ^ S[0][W >> 56];
  }
  for (std::size_t I = 0; I < ASize; ++I) C = (C >> 8) ^ T[(C ^ P[I]) & 0xFF];
  return ~C;
}

// ---------------------------------------------------------------- TqdDWGBits

TqdDWGBits::TqdDWGBits(std::size_t ASize, bool ASizeInBytes) {
  const std::size_t Bytes = ASizeInBytes ? ASize : (ASize + 7) / 8;
  FData.assign(Bytes + cnstAllocBlock, 0);
  FBits = TdwgBitCursor(FData.data(), Bytes);
}

void TqdDWGBits::Require() const {
  if (!FBits.Data()) throw EDWGBitsError("Byte array access error");
}

void TqdDWGBits::CreateFromMemory(const void* AMemory, std::size_t ASize) {
  if (!AMemory) throw EDWGBitsError("Byte array access error");
  FData.clear();
  FDoDispose = false;
  FMemory = static_cast<const std::uint8_t*>(AMemory);
  FMemorySize = ASize;
  FBits = TdwgBitCursor(AMemory, ASize, GetVersion());
}

void TqdDWGBits::CreateFromMemoryAndSentinel(const void* AMemory, std::size_t ASize, std::string_view ABegin,
                                             std::string_view AEnd) {
  if (!AMemory) throw EDWGBitsError("Byte array access error");
  if (ABegin.empty()) throw EDWGBitsError("Begin sentinel cannot be empty");
  const std::string_view M(static_cast<const char*>(AMemory), ASize);
  const std::size_t B = M.find(ABegin);
  if (B == std::string_view::npos) throw EDWGBitsError("Begin sentinel cannot be found");
  std::size_t Start = B + ABegin.size();
  std::size_t Stop = ASize;
  if (!AEnd.empty()) {
    const std::size_t E = M.find(AEnd, Start);
    if (E == std::string_view::npos) throw EDWGBitsError("End sentinel cannot be found");
    Stop = E;
  }
  CreateFromMemory(AMemory, ASize);
  FBits = FBits.Sub(static_cast<std::uint64_t>(Start) * 8, static_cast<std::uint64_t>(Stop) * 8);
  FBeginSentinel.assign(ABegin);
  FEndSentinel.assign(AEnd);
}

void TqdDWGBits::CreateFromDWGObjectData(const void* AMemory, std::size_t AAvailable) {
  if (!AMemory) throw EDWGBitsError("Byte array access error");
  TdwgBitCursor C(AMemory, AAvailable, GetVersion());
  const std::uint64_t Size = C.ReadMS();  // MS
  if (C.Overflow()) throw EDWGBitsError("Byte array access error");
  const std::size_t Head = C.BytePosition();
  // The size and its CRC must lie within the memory there is.
  if (Size > AAvailable || Head + Size + 2 > AAvailable) throw EDWGBitsError("CRC does not match");
  const auto* P = static_cast<const std::uint8_t*>(AMemory);
  const std::size_t Total = Head + static_cast<std::size_t>(Size) + 2;
  const std::uint16_t Stored = static_cast<std::uint16_t>(P[Total - 2] | (P[Total - 1] << 8));  // RS
  if (CRC8(cnstDWGCRCSeed, P, Total - 2) != Stored) throw EDWGBitsError("CRC does not match");
  CreateFromMemory(AMemory, Total);
  FBits.SetPosition(static_cast<std::uint64_t>(Head) * 8);
}

std::uint64_t TqdDWGBits::ReadBytesHandle(int N) {
  if (N < 0 || !FBits.Need(static_cast<std::uint64_t>(N) * 8)) return 0;
  std::uint64_t V = 0;
  for (int I = 0; I < N; ++I) V = (V << 8) | FBits.ReadRC();  // RC, most significant first
  return V;
}

TqdColorCAD TqdDWGBits::ReadCMC() {
  if (GetVersion() >= acR2004) return TdwgR18ColorReader().ReadColor(FBits, nullptr);
  return TdwgIndexColorReader().ReadColor(FBits, nullptr);
}

std::string TqdDWGBits::ReadText(int ALength, int ACodePage, bool AWide, bool ADecodeEscapes) {
  Require();
  std::string S;
  if (AWide) {
    TdwgWideStringReader R(&FBits, ACodePage);
    S = R.ReadChars(ALength);
  } else {
    TdwgAnsiStringReader R(&FBits, ACodePage);
    S = R.ReadChars(ALength, ACodePage);
  }
  return ADecodeEscapes ? DecodeCharEscapes(S, ACodePage) : S;
}

std::string TqdDWGBits::ReadTV(int ACodePage, bool ADecodeEscapes) {
  const int L = FBits.ReadBS();  // BS
  return ReadText(L, ACodePage, false, ADecodeEscapes);
}

std::string TqdDWGBits::ReadAppInfoText(int ACodePage) {
  const int L = FBits.ReadRS();  // RS
  return ReadText(L, ACodePage, false, false);
}

std::string TqdDWGBits::ReadSummaryInfoText(int ACodePage) {
  const int L = FBits.ReadRS();  // RS
  return ReadText(L, ACodePage, false, false);
}

std::string TqdDWGBits::ReadFileDepListText(int ACodePage) {
  const std::uint32_t L = FBits.ReadRL();  // RL
  return ReadText(L > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(L), ACodePage, false, false);
}

std::string TqdDWGBits::ReadXRecordText(int ACodePage, bool ACodePageFirst) {
  int CP = ACodePage;
  int Index = -1;
  if (ACodePageFirst) Index = FBits.ReadRC();  // RC code-page index
  const int L = FBits.ReadRS();                // RS
  if (!ACodePageFirst) Index = FBits.ReadRC();  // RC code-page index
  if (Index >= 0 && Index <= 60 && DWGCodePages(Index)) CP = DWGCodePages(Index);
  return ReadText(L, CP, false, false);
}

std::string TqdDWG2007Bits::ReadSummaryInfoText(int ACodePage) {
  const int L = FBits.ReadRS();  // RS, in UTF-16 code units
  return ReadText(L, ACodePage, true, false);
}

std::uint16_t TqdDWGBits::ReadCRC8(std::size_t AFromEnd, bool ASwap) {
  Require();
  const std::size_t Size = GetSize();
  if (AFromEnd < 2 || AFromEnd > Size) {
    FBits.SetOverflow();
    return 0;
  }
  TdwgBitCursor C = FBits;
  C.SetPosition(static_cast<std::uint64_t>(Size - AFromEnd) * 8);
  const std::uint16_t V = C.ReadRSU();  // RS
  return ASwap ? __builtin_bswap16(V) : V;
}

void TqdDWGBits::ReadJulianDateIntAsTimeStamp(std::int64_t& ADay, std::int64_t& AMs, bool AAsBL) {
  if (AAsBL) {
    ADay = FBits.ReadBL();  // BL
    AMs = FBits.ReadBL();   // BL
  } else {
    ADay = FBits.ReadRL();  // RL
    AMs = FBits.ReadRL();   // RL
  }
}

std::int64_t TqdDWGBits::ReadJulianDateIntAsDateTime() {
  std::int64_t D = 0, M = 0;
  ReadJulianDateIntAsTimeStamp(D, M);
  return JulianDateIntToUnix(D, M);
}

void TqdDWGBits::SeekInBits(std::int64_t AOffset, TSeekOrigin AOrigin) {
  switch (AOrigin) {
    case soBeginning:
      if (AOffset < 0) {
        FBits.SetPosition(FBits.Begin());
        FBits.SetOverflow();
      } else {
        const std::uint64_t Off = static_cast<std::uint64_t>(AOffset);
        FBits.SetPosition(Off > FBits.End() - FBits.Begin() ? FBits.End() + 1 : FBits.Begin() + Off);
      }
      break;
    case soCurrent: FBits.Skip(AOffset); break;
    case soEnd:
      FBits.SetPosition(FBits.End());
      FBits.Skip(AOffset);
      break;
  }
}

std::unique_ptr<TqdDWGBits> CreateDWGBits(TqdDWGVersion AVersion, std::size_t ASize) {
  switch (AVersion) {
    case acR2000: return std::make_unique<TqdDWGBits>(ASize, true);
    case acR2004: return std::make_unique<TqdDWG2004Bits>(ASize, true);
    case acR2007: return std::make_unique<TqdDWG2007Bits>(ASize, true);
    case acR2010:
    case acR2013: return std::make_unique<TqdDWG2010Bits>(ASize, true);
    default: return nullptr;
  }
}
