#pragma once
// The lowest layer of the DXF reader: group-code value types, number parsing,
// format detection and the text and binary tokenizers. A tokenizer walks one
// memory block in place and delivers one group (code and value) per Next();
// it owns nothing and allocates nothing per group.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qdError.h"
#include "qdVersions.h"

// ---- group codes

// The value type of a group code in a text file. Codes outside -5..1071 are vtOther.
enum TdxfValueType : uint8_t { vtOther, vtString, vtHandle, vtReal, vtInteger };

constexpr int cMinGroupCode = -5;
constexpr int cMaxGroupCode = 1071;

TdxfValueType GroupCodeType(int Code);

// How a value is stored in a binary file. Derived from GroupCodeType, so that
// text and binary files accept the same codes.
enum TdxfBinaryValue : uint8_t {
  bvIllegal,  // no known type: the file is broken
  bvString,   // zero-terminated (strings, handles and codes kept as text)
  bvChunk,    // one length byte, then that many bytes (310-319, 1004)
  bvByte,
  bvInt16,
  bvInt32,
  bvInt64,
  bvDouble
};

TdxfBinaryValue BinaryValueKind(int Code);

// ---- numbers in text
// Locale-free: "." or "," separates the fraction. Surrounding spaces are allowed.

// A decimal integer in the int32 range; anything else (junk, overflow, empty) gives
// false and Value 0.
bool DXFStrToInt(std::string_view S, int& Value);
// The same in the int64 range.
bool DXFStrToInt64(std::string_view S, int64_t& Value);
// A real, correctly rounded. Characters after the number are ignored (the valid
// prefix counts). No number, or one that is not finite, gives false and Value 0.
bool DXFStrToFloat(std::string_view S, double& Value);
// Hexadecimal digits into 64 bits; junk after them, overflow or no digits give
// false and Value 0.
bool DXFStrToHandle(std::string_view S, uint64_t& Value);

// ---- file level rules

enum TdxfFormat { dfText, dfBinary };

struct TdxfFormatInfo {
  TdxfFormat Format = dfText;
  size_t Start = 0;        // offset of the first group
  int GroupCodeSize = 2;   // binary only: 1 or 2 bytes per group code
};

// Text, or binary after the 22-byte "AutoCAD Binary DXF" sentinel; the two bytes
// after the sentinel decide the group code width. A UTF-8 byte order mark before
// a text file is skipped.
TdxfFormatInfo DetectDXFFormat(const void* Data, size_t Size);

// The code page named by $DWGCODEPAGE ("ANSI_1252", "DOS850", "ISO8859-1",
// "BIG5", ...); 0 when the name is not known.
int DXFCodePageByName(std::string_view Name);

// The release named by $ACADVER ("AC1015", "AC2.10"); Current when the text
// names none.
TqdDWGVersion DXFVersionByName(std::string_view Name, TqdDWGVersion Current);

// Code page 1251 is implied by files whose comment mentions "INVENTORY".
constexpr int cpInventoryComment = 1251;
bool IsInventoryComment(std::string_view Comment);

// ---- errors

class EReadError : public EqdError {
public:
  EReadError(const std::string& Msg, size_t Position) : EqdError(Msg), FPosition(Position) {}
  size_t Position() const { return FPosition; }

private:
  size_t FPosition;
};

// ---- tokenizers

// The longest line (text) or string (binary) a tokenizer accepts. Writers stay far
// below it; a longer one is damage, and its end is not searched for beyond the cap,
// so that a huge file without line breaks is refused at once instead of being
// scanned and copied whole.
inline constexpr size_t cnstMaxDXFLine = size_t(1) << 20;

// Text DXF. The data must outlive the tokenizer.
class TdxfTokenizer {
public:
  // An empty tokenizer; Reset aims it at data (a reader made before its source is known).
  TdxfTokenizer();
  TdxfTokenizer(const char* Data, size_t Size, size_t Start = 0);
  TdxfTokenizer(const TdxfTokenizer&) = delete;
  TdxfTokenizer& operator=(const TdxfTokenizer&) = delete;
  virtual ~TdxfTokenizer() = default;

  // Starts over on new data with the defaults of a new file (release R9, code
  // page 0).
  void Reset(const char* Data, size_t Size, size_t Start = 0);

  // Advances to the next group. When the data ends (or ends inside a group)
  // the group becomes code 0 "SEQEND", and stays so on further calls.
  virtual void Next();

  int Code() const { return FCode; }
  // The value as it stands in the file (numbers in binary files as text);
  // valid until the next Next().
  std::string_view Value() const {
    return FValueStartPos ? std::string_view(FValueStartPos, FValueSize) : NumberText();
  }
  // The value decoded to UTF-8: by the code page before R2007, as UTF-8 after.
  std::string StrValue() const;
  // StrValue with "\U+" and "\M+" escapes replaced.
  const std::string& UValue() const;
  // Converted values; a code whose type differs converts its trimmed text,
  // giving 0 when that is not a number.
  // The parsed number of a group of the matching type is answered inline: readers
  // ask for one for nearly every group.
  int IntValue() const {
    if (FKind == vkInt && FInt >= INT32_MIN && FInt <= INT32_MAX) return int(FInt);
    return ConvertedIntValue();
  }
  int64_t Int64Value() const { return FKind == vkInt ? FInt : ConvertedInt64Value(); }
  double FloatValue() const { return FKind == vkReal ? FDouble : ConvertedFloatValue(); }
  uint64_t HandleValue() const { return FKind == vkHandle ? FHandle : ConvertedHandleValue(); }
  TdxfValueType ValueType() const { return FType; }

  // True once the data has ended (the current group is the synthetic "SEQEND").
  bool AtEnd() const { return FEnded; }
  // True at the "EOF" object or at the end of data.
  bool IsEOF() const;

  // Counts two lines per group, as a text file without blank lines has.
  int Line() const { return FLine; }
  // Offsets into the data: current position, start of the current group, end.
  size_t Pos() const { return size_t(FPos - FData); }
  size_t PrevPos() const { return size_t(FPrev - FData); }
  size_t Limit() const { return size_t(FLimit - FData); }

  TqdDWGVersion Version() const { return FVersion; }
  void SetVersion(TqdDWGVersion V) {
    FVersion = V;
    FUValueReady = false;
  }
  int CodePage() const { return FCodePage; }
  void SetCodePage(int CP) {
    FCodePage = CP;
    FUValueReady = false;
  }

  // Applies the rules of the current group to decoding: a comment mentioning
  // "INVENTORY" switches the code page to 1251.
  void NoteComment();
  // Makes the next Next() report the end of data (used to cancel a load).
  void JumpToEnd() { FPos = FLimit; }

protected:
  enum TValueKind : uint8_t { vkText, vkInt, vkReal, vkHandle };

  void SetEndOfData();
  std::string_view NumberText() const;
  int ConvertedIntValue() const;
  int64_t ConvertedInt64Value() const;
  double ConvertedFloatValue() const;
  uint64_t ConvertedHandleValue() const;

  const char* FData = nullptr;
  const char* FPos = nullptr;
  const char* FPrev = nullptr;
  const char* FLimit = nullptr;
  int FLine = 0;
  int FCode = 0;
  TdxfValueType FType = vtString;
  TValueKind FKind = vkText;
  bool FEnded = false;
  const char* FValueStartPos = nullptr;  // null: the value is the number in FInt/FDouble
  size_t FValueSize = 0;
  int64_t FInt = 0;
  double FDouble = 0;
  uint64_t FHandle = 0;
  TqdDWGVersion FVersion = acR09;
  int FCodePage = 0;
  mutable char FNumText[32];
  mutable uint8_t FNumTextSize = 0;  // 0: not formatted yet
  // UValue of the current group: the reader and the type's mapper both ask for it.
  mutable std::string FUValue;
  mutable bool FUValueReady = false;
};

// Binary DXF with 1-byte (R12 and older; 255 escapes a 2-byte code) or 2-byte
// group codes. Data normally starts at the sentinel and Start points after it, so
// that positions in messages are file offsets.
class TdxfBinTokenizer : public TdxfTokenizer {
public:
  explicit TdxfBinTokenizer(int GroupCodeSize);
  TdxfBinTokenizer(const char* Data, size_t Size, size_t Start, int GroupCodeSize);

  // Raises EReadError "Illegal group code %d at %.8x" for a code without a type.
  void Next() override;
  int GroupCodeSize() const { return FGroupCodeSize; }

protected:
  int FGroupCodeSize;
  char FChunkText[2 * 255];  // 310-319 and 1004 values as hexadecimal text
};
