#pragma once
// The DWG bit stream: everything inside a DWG file of R13 and later is a stream of
// bits, most significant bit of each byte first, with multi-byte raw values stored
// least significant byte first at whatever bit offset they fall.
//
// TdwgBitCursor is the one reader of such a stream for the whole DWG subsystem. It
// is bounded: it reads [begin, end) of one buffer, and a read that would pass the
// end gives 0, leaves the cursor at the end and sets a sticky overflow flag. Callers
// check the flag at loop heads and when an object or section is finished, and fail
// what they were reading. Sub-cursors (a handle stream, a string stream) share the
// buffer and have limits of their own.
//
// On top of it: string readers (code pages, UTF-16, character escapes), colour
// readers, lineweight and code-page tables, Julian dates, the two checksums, and
// TqdDWGBits, a buffer-owning reader used for the summary-information and template
// sections.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CADColor.h"
#include "qdError.h"
#include "qdConsts.h"
#include "qdVersions.h"

class EDWGBitsError : public EqdError {
public:
  using EqdError::EqdError;
};

// ---------------------------------------------------------------- cursor

// RL and RLL straight from bytes, least significant byte first: the page and
// section headers that come before any bit stream. The caller has checked that
// the 4 / 8 bytes are there.
inline std::uint32_t qdLoadRL(const std::uint8_t* P) {
  return std::uint32_t(P[0]) | (std::uint32_t(P[1]) << 8) | (std::uint32_t(P[2]) << 16) | (std::uint32_t(P[3]) << 24);
}
inline std::uint64_t qdLoadRLL(const std::uint8_t* P) {
  return std::uint64_t(qdLoadRL(P)) | (std::uint64_t(qdLoadRL(P + 4)) << 32);
}

class TdwgBitCursor {
public:
  TdwgBitCursor() = default;
  // The whole buffer [AData, AData + ABytes).
  TdwgBitCursor(const void* AData, std::size_t ABytes, TqdDWGVersion AVersion = acR2000);

  // A cursor over bits [ABegin, AEnd) of the same buffer, clamped to this cursor's
  // limits (an empty range when they do not meet). Starts at ABegin.
  TdwgBitCursor Sub(std::uint64_t ABegin, std::uint64_t AEnd) const;

  // ---- position (absolute bit addresses within the buffer)
  std::uint64_t Position() const { return FPos; }
  std::uint64_t Begin() const { return FBegin; }
  std::uint64_t End() const { return FEnd; }
  std::uint64_t BitsLeft() const { return FEnd - FPos; }
  std::size_t BytePosition() const { return static_cast<std::size_t>(FPos >> 3); }
  // Outside [begin, end] the cursor stops at the nearer limit and overflows.
  void SetPosition(std::uint64_t APos);
  // Moves by ABits (may be negative), with the same rule.
  void Skip(std::int64_t ABits);
  void AlignToByte();
  // Lowers the end (never raises it); the position stays within.
  void SetEnd(std::uint64_t AEnd);

  bool Overflow() const { return FOverflow; }
  bool Ok() const { return !FOverflow; }
  void SetOverflow() { FOverflow = true; }
  void ClearOverflow() { FOverflow = false; }

  TqdDWGVersion Version() const { return FVersion; }
  void SetVersion(TqdDWGVersion V) { FVersion = V; }
  const std::uint8_t* Data() const { return FData; }
  std::size_t BufferSize() const { return FBytes; }

  // ---- raw bits
  // 1 to 57 bits, the first read the highest.
  std::uint64_t ReadBits(unsigned N) {
    if (N > BitsLeft()) return Fail();
    const std::size_t B = static_cast<std::size_t>(FPos >> 3);
    const unsigned Shift = static_cast<unsigned>(FPos & 7);
    FPos += N;
    return (Load64(B) << Shift) >> (64 - N);
  }
  // Whether at least N bits remain; sets the overflow flag when not.
  bool Need(std::uint64_t N) {
    if (N <= BitsLeft()) return true;
    Fail();
    return false;
  }

  // ---- primitives (names and type codes as the format documents them)
  int ReadBit() { return static_cast<int>(ReadBits(1)); }      // B
  int ReadBB() { return static_cast<int>(ReadBits(2)); }       // BB
  int Read3Bits() { return static_cast<int>(ReadBits(3)); }    // 3B
  std::uint8_t ReadRC() { return static_cast<std::uint8_t>(ReadBits(8)); }  // RC
  std::int16_t ReadRS();    // RS
  std::uint16_t ReadRSU();  // RS, unsigned
  std::uint32_t ReadRL();   // RL
  double ReadRD();          // RD: NaN and magnitudes above 1E101 read as 0
  int ReadBS();             // BS
  std::int32_t ReadBL();    // BL
  std::uint64_t ReadBLL();  // BLL
  double ReadBD();          // BD
  double ReadDD(double ADefault);  // DD
  double ReadBT();          // BT
  TFPoint ReadBE();         // BE
  TFPoint Read2RD();        // 2RD
  TFPoint Read3RD();        // 3RD
  TFPoint Read2BD();        // 2BD
  TFPoint Read3BD();        // 3BD
  int ReadOT();             // OT (R2010 and later; a BS before)
  std::uint32_t ReadMS();   // MS
  std::uint64_t ReadUMC();  // unsigned MC
  std::int32_t ReadMC();    // signed MC
  // H against the reference handle ARef; ACode receives the code (0 to 15).
  std::uint64_t ReadH(std::uint64_t ARef, int* ACode = nullptr);
  // N raw bytes; nothing (and overflow) when fewer bits than N bytes are left.
  std::string ReadBytes(std::uint64_t N);
  bool ReadBytes(void* ADst, std::size_t N);

  // Skips a run of fields described by their type codes (see TdwgSkip).
  void SkipFields(const std::uint8_t* ATemplate, std::size_t ACount);
  template <std::size_t N>
  void SkipFields(const std::uint8_t (&ATemplate)[N]) {
    SkipFields(ATemplate, N);
  }

private:
  std::uint64_t Fail() {
    FOverflow = true;
    FPos = FEnd;
    return 0;
  }
  // Eight bytes from byte B, big-endian; zeros beyond the buffer.
  std::uint64_t Load64(std::size_t B) const {
    if (B + 8 <= FBytes) {
      std::uint64_t W;
      __builtin_memcpy(&W, FData + B, 8);
      return __builtin_bswap64(W);
    }
    return Load64Slow(B);
  }
  std::uint64_t Load64Slow(std::size_t B) const;

  const std::uint8_t* FData = nullptr;
  std::size_t FBytes = 0;
  std::uint64_t FBegin = 0, FEnd = 0, FPos = 0;
  bool FOverflow = false;
  TqdDWGVersion FVersion = acR2000;
};

// Field type codes of a skip template.
enum TdwgSkip : std::uint8_t {
  skB = 0,
  skBB = 1,
  skBS = 2,
  skBL = 3,
  skBD = 4,
  sk2RD = 5,
  sk3RD = 6,
  sk2BD = 7,
  sk3BD = 8,
  skRS = 9,
  skRC = 10,
  skRL = 11,
  skBSBB = 12,  // a BS followed by a second BB code
  skBLL = 13
};

// ---------------------------------------------------------------- tables

// DWG code-page index (0 to 60) -> Windows code page; 0 is the system ANSI page.
int DWGCodePages(int AIndex);
// Lineweight index -> millimetres; -1 by layer, -2 by block, -3 default.
double LineWeightByIndex(int AIndex);

// ---------------------------------------------------------------- strings

class TdwgStringReader {
public:
  TdwgStringReader(TdwgBitCursor* ABits, int ACodePage) : FPBit(ABits), FCodePage(ACodePage) {}
  virtual ~TdwgStringReader() = default;

  // Code page of the next string.
  virtual int NextCodePage() { return FCodePage; }
  virtual int LengthRS();
  virtual int LengthBS();
  // T: a BS length and the characters.
  virtual std::string ReadT() = 0;
  // An RS length (and, for 8-bit strings, an RC code-page index): extended data.
  virtual std::string ReadTRS() = 0;
  // Re-aims the reader at another cursor.
  void Aim(TdwgBitCursor* ABits, int ACodePage) {
    FPBit = ABits;
    FCodePage = ACodePage;
  }
  TdwgBitCursor* Bits() const { return FPBit; }
  int CodePage() const { return FCodePage; }

protected:
  TdwgBitCursor* FPBit;
  int FCodePage;
};

// R13 to R2004: lengths count bytes of the drawing's code page.
class TdwgAnsiStringReader : public TdwgStringReader {
public:
  using TdwgStringReader::TdwgStringReader;
  int NextCodePage() override;
  std::string ReadT() override;
  std::string ReadTRS() override;
  // ALength bytes in ACodePage, as UTF-8.
  std::string ReadChars(int ALength, int ACodePage);
};

// R2007 and later: lengths count UTF-16 code units.
class TdwgWideStringReader : public TdwgStringReader {
public:
  using TdwgStringReader::TdwgStringReader;
  std::string ReadT() override;
  std::string ReadTRS() override;
  std::string ReadChars(int ALength);
};

// The same, with character escapes ("\U+XXXX", "\M+NXXXX") decoded.
class TdwgAnsiStringReaderParse : public TdwgAnsiStringReader {
public:
  using TdwgAnsiStringReader::TdwgAnsiStringReader;
  std::string ReadT() override;
  std::string ReadTRS() override;
};

class TdwgWideStringReaderParse : public TdwgWideStringReader {
public:
  using TdwgWideStringReader::TdwgWideStringReader;
  std::string ReadT() override;
  std::string ReadTRS() override;
};

// The reader for a release: 8-bit before R2007 (and after R2018), UTF-16 from R2007.
std::unique_ptr<TdwgStringReader> CreateStringReader(TqdDWGVersion AVersion, TdwgBitCursor* ABits, int ACodePage,
                                                     bool AParse);

// UTF-16LE bytes (ACount code units) as UTF-8; lone surrogates become U+FFFD.
std::string UTF16LEToUTF8(const std::uint8_t* AData, std::size_t ACount);

// From R2007 on the strings of an object sit in a stream at the end of its data.
// AEnd is the bit just past the data, AStart the object's first data bit. Returns
// the stream's [begin, end) and lowers the data end to its begin; an empty range
// when the object has no string stream or the size fields do not fit the object.
struct TdwgStringStream {
  bool Present = false;
  std::uint64_t Begin = 0, End = 0;
};
TdwgStringStream LocateStringStream(const TdwgBitCursor& ABits, std::uint64_t AStart, std::uint64_t AEnd);

// The streams of one object. Before R2007 strings are inline: Strings is Data.
// From R2007 on the string stream ends just before AHandlesAt (the bit where the
// handle stream begins) and Data ends where the strings begin; an object without
// strings gets an empty Strings cursor, so string reads give "" and overflow.
// AStart is the object's first data bit (after the MS size); ABits spans the object.
struct TdwgObjectStreams {
  TdwgBitCursor Data, Strings, Handles;
  bool HasStrings = false;
};
TdwgObjectStreams SplitObjectStreams(const TdwgBitCursor& ABits, std::uint64_t AStart, std::uint64_t AHandlesAt);

// ---------------------------------------------------------------- colours

class IColorReader {
public:
  virtual ~IColorReader() = default;
  // CMC.
  virtual TqdColorCAD ReadColor(TdwgBitCursor& ABits, TdwgStringReader* AStrings) = 0;
  // ENC; AFlags receives the flags (0x4000: a colour-book handle follows in the
  // handle stream).
  virtual TqdColorCAD ReadENC(TdwgBitCursor& ABits, int* AFlags = nullptr) = 0;
};

// R13 to R2000: CMC and ENC are one BS index.
class TdwgIndexColorReader : public IColorReader {
public:
  TqdColorCAD ReadColor(TdwgBitCursor& ABits, TdwgStringReader* AStrings) override;
  TqdColorCAD ReadENC(TdwgBitCursor& ABits, int* AFlags = nullptr) override;
};

// R2004 and later: true colours, colour names, transparency.
class TdwgR18ColorReader : public IColorReader {
public:
  TqdColorCAD ReadColor(TdwgBitCursor& ABits, TdwgStringReader* AStrings) override;
  TqdColorCAD ReadENC(TdwgBitCursor& ABits, int* AFlags = nullptr) override;
};

std::unique_ptr<IColorReader> CreateColorReader(TqdDWGVersion AVersion);
// A true-colour BL decoded by its high byte.
TqdColorCAD TrueColorFromBL(std::uint32_t AValue);

// ---------------------------------------------------------------- dates

// Julian day numbers up to the end of the year 9999.
inline constexpr std::int64_t cnstDWGMaxJulianDay = 5373484;
inline constexpr std::int64_t cnstMsPerDay = 86400000;

// Header dates: day + ms / 86 400 000 - 9/24 as a Julian date, in seconds since
// 1970-01-01. False (AOut untouched) when the day or the milliseconds are outside
// the calendar.
bool HeaderJulianToUnix(std::int64_t ADay, std::int64_t AMs, std::int64_t& AOut);
// Summary information: the day truncated to whole days, the milliseconds and four
// hours added; 0 when the numbers are outside the calendar.
std::int64_t JulianDateIntToUnix(std::int64_t ADay, std::int64_t AMs);

// ---------------------------------------------------------------- checksums

// CRC-16/ARC (reflected 0xA001), no final inversion; DWG data uses seed 0xC0C1.
std::uint16_t CRC8(std::uint16_t ASeed, const void* AData, std::size_t ASize);
inline constexpr std::uint16_t cnstDWGCRCSeed = 0xC0C1;
// The standard CRC-32 (reflected 0xEDB88320, inverted before and after).
std::uint32_t CRC32(std::uint32_t ASeed, const void* AData, std::size_t ASize);

// ---------------------------------------------------------------- TqdDWGBits

// A reader that owns (or borrows) its bytes: position, size, sentinels, CRC.
class TqdDWGBits {
public:
  // An empty owned buffer of ASize bytes (bits when not ASizeInBytes), zero-filled.
  TqdDWGBits(std::size_t ASize, bool ASizeInBytes);
  virtual ~TqdDWGBits() = default;
  TqdDWGBits(const TqdDWGBits&) = delete;
  TqdDWGBits& operator=(const TqdDWGBits&) = delete;

  // Borrowed memory, read from bit 0.
  void CreateFromMemory(const void* AMemory, std::size_t ASize);
  // Starts just after ABegin in the memory; when AEnd is not empty the readable size
  // ends where it is found.
  void CreateFromMemoryAndSentinel(const void* AMemory, std::size_t ASize, std::string_view ABegin,
                                   std::string_view AEnd);
  // Object data: an MS size, that many bytes and an RS CRC. AAvailable is what the
  // memory holds from AMemory on; a size beyond it fails with "CRC does not match".
  void CreateFromDWGObjectData(const void* AMemory, std::size_t AAvailable);

  virtual TqdDWGVersion GetVersion() const { return acR2000; }

  // ---- reads
  int ReadBit() { return FBits.ReadBit(); }
  int ReadBB() { return FBits.ReadBB(); }
  int ReadBS() { return FBits.ReadBS(); }
  std::int32_t ReadBL() { return FBits.ReadBL(); }
  std::uint8_t ReadRC() { return FBits.ReadRC(); }
  std::int16_t ReadRS() { return FBits.ReadRS(); }
  std::uint32_t ReadRL() { return FBits.ReadRL(); }
  std::uint32_t ReadMS() { return FBits.ReadMS(); }
  std::string ReadBytes(std::uint64_t N) { return FBits.ReadBytes(N); }
  // N bytes of a handle, most significant first.
  std::uint64_t ReadBytesHandle(int N);
  virtual std::uint64_t ReadHandle(int& ACode, std::uint64_t ARef) { return FBits.ReadH(ARef, &ACode); }
  virtual TqdColorCAD ReadCMC();
  virtual int ReadOT() { return FBits.ReadBS(); }
  virtual std::string ReadTV(int ACodePage, bool ADecodeEscapes);
  std::string ReadT(int ACodePage, bool ADecodeEscapes) { return ReadTV(ACodePage, ADecodeEscapes); }
  virtual std::string ReadAppInfoText(int ACodePage);
  virtual std::string ReadSummaryInfoText(int ACodePage);
  virtual std::string ReadFileDepListText(int ACodePage);
  virtual std::string ReadXRecordText(int ACodePage, bool ACodePageFirst);
  // The RS at AFromEnd bytes before the end (byte-swapped when asked).
  std::uint16_t ReadCRC8(std::size_t AFromEnd, bool ASwap);
  // Two RL (or BL) numbers: day and milliseconds, unchanged.
  void ReadJulianDateIntAsTimeStamp(std::int64_t& ADay, std::int64_t& AMs, bool AAsBL = false);
  std::int64_t ReadJulianDateIntAsDateTime();

  // ---- position
  std::uint64_t GetPosition() const { return FBits.Position(); }
  std::size_t GetSize() const { return static_cast<std::size_t>((FBits.End() + 7) >> 3); }
  void GotoFirstBit() { FBits.SetPosition(FBits.Begin()); }
  void SetPosition(std::uint64_t ABit) { FBits.SetPosition(ABit); }
  enum TSeekOrigin { soBeginning, soCurrent, soEnd };
  void SeekInBits(std::int64_t AOffset, TSeekOrigin AOrigin);
  void SeekInBytes(std::int64_t AOffset, TSeekOrigin AOrigin) { SeekInBits(AOffset * 8, AOrigin); }

  TdwgBitCursor& Bits() { return FBits; }
  const std::string& BeginSentinel() const { return FBeginSentinel; }
  const std::string& EndSentinel() const { return FEndSentinel; }

protected:
  // Text of an ALength read by the length kind; UTF-16 when AWide.
  std::string ReadText(int ALength, int ACodePage, bool AWide, bool ADecodeEscapes);
  void Require() const;

  static constexpr std::size_t cnstAllocBlock = 250;
  std::vector<std::uint8_t> FData;  // owned bytes
  const std::uint8_t* FMemory = nullptr;
  std::size_t FMemorySize = 0;
  TdwgBitCursor FBits;
  std::string FBeginSentinel, FEndSentinel;
  bool FDoDispose = true;
};

class TqdDWG2004Bits : public TqdDWGBits {
public:
  using TqdDWGBits::TqdDWGBits;
  TqdDWGVersion GetVersion() const override { return acR2004; }
};

// Summary-information texts are UTF-16 (an RS length in code units).
class TqdDWG2007Bits : public TqdDWG2004Bits {
public:
  using TqdDWG2004Bits::TqdDWG2004Bits;
  std::string ReadSummaryInfoText(int ACodePage) override;
};

class TqdDWG2010Bits : public TqdDWG2007Bits {
public:
  using TqdDWG2007Bits::TqdDWG2007Bits;
};

// The class for a release, or none (R2018 and releases not listed): the caller then
// skips the section that needed it.
std::unique_ptr<TqdDWGBits> CreateDWGBits(TqdDWGVersion AVersion, std::size_t ASize);
