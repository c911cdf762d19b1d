// The DXF reader on binary files only: the input follows the binary sentinel, its
// first byte choosing one- or two-byte group codes, so that every run exercises the
// binary tokenizer and the reader behind it instead of being read as text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "DXF.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RegisterDXFReader();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const char cSentinel[] = "AutoCAD Binary DXF\r\n\x1a";
  const size_t Head = sizeof cSentinel;  // with its zero
  if (Size < 1) return 0;
  // An odd first byte makes an R12-style file: one-byte codes, the data right after.
  const bool OneByte = Data[0] & 1;
  ++Data, --Size;
  std::unique_ptr<char[]> Buf(new char[Head + 2 + Size]);
  std::memcpy(Buf.get(), cSentinel, Head);
  size_t N = Head;
  if (!OneByte) {
    // A two-byte code file starts with code 0 as two bytes.
    Buf[N++] = 0;
    Buf[N++] = 0;
  }
  if (Size) std::memcpy(Buf.get() + N, Data, Size);
  N += Size;
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TdxfLoadOptions O;
  O.RecordNames = true;
  TdxfLoadResult R = LoadDXFFromMemory(Buf.get(), N, *C.get(), O);
  for (int I = 0; I < C->LayoutsCount(); ++I)
    if (const TqdDXFLayout* L = C->GetLayout(I))
      if (const TqdDXFBlock* B = L->PaperSpaceBlockField())
        for (int J = 0; J < B->Count(); ++J) (void)R.DXFNames.count(B->GetEntity(J));
  return 0;
}
