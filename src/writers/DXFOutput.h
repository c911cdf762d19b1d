#pragma once
// Group output of a DXF file, ASCII or binary. Values are buffered and handed to the
// stream in large pieces; a failing stream is noticed at every hand-over.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "qdConsts.h"
#include "qdVersions.h"

class TqdDXFOutput {
public:
  // ACodePage: the code page text is written in below R2007 (0: 1252); R2007 and later
  // write UTF-8.
  TqdDXFOutput(std::ostream& AStream, bool ABinary, TqdDWGVersion ARelease, int ACodePage);
  ~TqdDXFOutput();
  TqdDXFOutput(const TqdDXFOutput&) = delete;
  TqdDXFOutput& operator=(const TqdDXFOutput&) = delete;

  void Str(int ACode, std::string_view AValue);
  void Int(int ACode, std::int64_t AValue);
  void Dbl(int ACode, double AValue);
  void Handle(int ACode, std::uint64_t AHandle);
  // X, Y and Z at ACode, ACode + 10 and ACode + 20 (Z left out when AZ is false).
  void Point(int ACode, const TFPoint& P, bool AZ = true);
  // Binary chunks (310-319, 1004) as hexadecimal text or raw bytes.
  void Bytes(int ACode, std::string_view ABytes);

  // Hands the buffer to the stream; false once the stream failed.
  bool Flush();
  bool Failed() const { return FFailed; }
  std::uint64_t Written() const { return FWritten + FBuf.size(); }
  TqdDWGVersion Release() const { return FRelease; }
  bool Binary() const { return FBinary; }

  // Text as the file's encoding wants it: UTF-8 from R2007, else the code page with
  // characters outside it as \U+XXXX.
  std::string Encode(std::string_view AText);

private:
  void Code(int ACode);
  void Check() {
    if (FBuf.size() >= cFlushSize) Flush();
  }
  static constexpr std::size_t cFlushSize = 1 << 20;
  std::ostream& FStream;
  bool FBinary;
  TqdDWGVersion FRelease;
  int FCodePage;
  bool FUTF8;
  void* FIconv = nullptr;  // iconv_t from UTF-32 to the code page, made on first use
  std::string FBuf;
  std::uint64_t FWritten = 0;
  bool FFailed = false;
};

// The value type a group code carries (as binary DXF stores it).
enum TqdDXFValueKind { dvString, dvDouble, dvInt16, dvInt32, dvInt64, dvBool, dvHandle, dvBinary };
TqdDXFValueKind DXFValueKind(int ACode);
