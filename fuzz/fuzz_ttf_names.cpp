// Drives the naming-table reader of font files over arbitrary bytes, as a plain
// face and as every face of a collection the bytes may claim to be.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "TTFNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // An exact-size copy, so that any read past the end is caught.
  std::unique_ptr<uint8_t[]> Buf(new uint8_t[Size ? Size : 1]);
  if (Size) std::memcpy(Buf.get(), Data, Size);
  for (unsigned Face = 0; Face < 4; ++Face) {
    std::string Name;
    const bool Ok = ReadTTFFullName(Buf.get(), Size, Name, Face);
    if (Ok == Name.empty()) __builtin_trap(); // a name exactly when it says so
    // Every name byte came from the data: UTF-8 grows a byte at most threefold.
    if (Name.size() > 3 * Size) __builtin_trap();
  }
  return 0;
}
