// Drives the DXF tokenizers over arbitrary bytes: format detection, every group
// to the end, and every accessor of each group with a code page chosen by the
// input, so that decoding and escapes are exercised too.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "readers/dxf/DXFTokenizer.h"

namespace {

const int cPages[] = {0, 1251, 1252, 932, 936, 949, 950, 1361, 1200, 1258, 20127, 10000, 28595};

void Walk(TdxfTokenizer& T, int Page, TqdDWGVersion Version) {
  T.SetCodePage(Page);
  T.SetVersion(Version);
  // Every group consumes at least one byte, so this bound is never the limit
  // of a sound tokenizer; it turns a stuck one into a crash.
  size_t Steps = T.Limit() - T.Pos() + 2;
  for (size_t I = 0; I < Steps; ++I) {
    try {
      T.Next();
    } catch (const EReadError&) {
      return;
    }
    (void)T.Code();
    std::string_view V = T.Value();
    if (V.data() == nullptr && !V.empty()) __builtin_trap();
    (void)T.IntValue();
    (void)T.Int64Value();
    if (!std::isfinite(T.FloatValue())) __builtin_trap();  // only finite numbers may come out
    (void)T.HandleValue();
    if (T.Code() == 999) T.NoteComment();
    if (T.Code() == 1 || T.Code() == 3 || T.Code() == 999) {
      std::string U = T.UValue();
      (void)U;
      (void)DXFVersionByName(V, acR09);
      (void)DXFCodePageByName(V);
    }
    if (T.AtEnd()) {
      if (T.Pos() != T.Limit()) __builtin_trap();
      return;
    }
  }
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // An exact-size copy, so that any read past the end is caught.
  std::unique_ptr<char[]> Buf(new char[Size ? Size : 1]);
  if (Size) std::memcpy(Buf.get(), Data, Size);
  const int Page = cPages[(Size ? Data[Size - 1] : 0) % (sizeof(cPages) / sizeof(cPages[0]))];
  const TqdDWGVersion Version = Size > 1 && (Data[Size - 2] & 1) ? acR2018 : acR12;

  TdxfFormatInfo F = DetectDXFFormat(Buf.get(), Size);
  if (F.Format == dfBinary) {
    TdxfBinTokenizer T(Buf.get(), Size, F.Start, F.GroupCodeSize);
    Walk(T, Page, Version);
  } else {
    TdxfTokenizer T(Buf.get(), Size, F.Start);
    Walk(T, Page, Version);
  }
  // The same bytes through all three tokenizers, whatever the header says.
  {
    TdxfTokenizer T(Buf.get(), Size);
    Walk(T, Page, Version);
  }
  for (int CodeSize : {1, 2}) {
    TdxfBinTokenizer T(Buf.get(), Size, 0, CodeSize);
    Walk(T, Page, Version);
  }
  return 0;
}
