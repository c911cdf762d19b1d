#include "TTFNames.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads big-endian values inside [0, Size); every read says whether it fitted.
class TNameCursor {
public:
  TNameCursor(const unsigned char* AData, std::size_t ASize) : FData(AData), FSize(ASize) {}
  bool Fits(std::size_t AOffset, std::size_t ALength) const {
    return AOffset <= FSize && ALength <= FSize - AOffset;
  }
  bool U16(std::size_t AOffset, std::uint16_t& V) const {
    if (!Fits(AOffset, 2)) return false;
    V = static_cast<std::uint16_t>(FData[AOffset] << 8 | FData[AOffset + 1]);
    return true;
  }
  bool U32(std::size_t AOffset, std::uint32_t& V) const {
    if (!Fits(AOffset, 4)) return false;
    V = static_cast<std::uint32_t>(FData[AOffset]) << 24 |
        static_cast<std::uint32_t>(FData[AOffset + 1]) << 16 |
        static_cast<std::uint32_t>(FData[AOffset + 2]) << 8 | FData[AOffset + 3];
    return true;
  }
  const unsigned char* At(std::size_t AOffset) const { return FData + AOffset; }

private:
  const unsigned char* FData;
  std::size_t FSize;
};

// The upper half of the Macintosh Roman character set, the one single-byte set
// that Macintosh name records use for English names.
constexpr char16_t cMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4,
    0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF,
    0x00F1, 0x00F3, 0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020,
    0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4,
    0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202,
    0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1,
    0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3,
    0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A,
    0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC,
    0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, 0x00AF,
    0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

std::string DecodeUtf16BE(const unsigned char* P, std::size_t ALength) {
  std::string S;
  const std::size_t n = ALength / 2;
  for (std::size_t i = 0; i < n; ++i) {
    char32_t c = static_cast<char32_t>(P[2 * i] << 8 | P[2 * i + 1]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
      const char32_t lo = static_cast<char32_t>(P[2 * i + 2] << 8 | P[2 * i + 3]);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c == 0) break;
    AppendTTFUtf8(S, c);
  }
  return S;
}

std::string DecodeSingleByte(const unsigned char* P, std::size_t ALength, bool AMacRoman) {
  std::string S;
  for (std::size_t i = 0; i < ALength; ++i) {
    const unsigned char b = P[i];
    if (b == 0) break;
    if (b < 0x80)
      S += static_cast<char>(b);
    else
      AppendTTFUtf8(S, AMacRoman ? cMacRoman[b - 0x80] : 0xFFFD);
  }
  return S;
}

std::string Trim(std::string_view S) {
  std::size_t b = 0, e = S.size();
  while (b < e && std::isspace(static_cast<unsigned char>(S[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(S[e - 1]))) --e;
  return std::string(S.substr(b, e - b));
}

bool EndsWithNoCase(std::string_view S, std::string_view Suffix) {
  return S.size() >= Suffix.size() && SameTextNoCase(S.substr(S.size() - Suffix.size()), Suffix);
}

} // namespace

void AppendTTFUtf8(std::string& S, char32_t C) {
  if (C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) C = 0xFFFD;
  if (C < 0x80) {
    S += static_cast<char>(C);
  } else if (C < 0x800) {
    S += static_cast<char>(0xC0 | (C >> 6));
    S += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    S += static_cast<char>(0xE0 | (C >> 12));
    S += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    S += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    S += static_cast<char>(0xF0 | (C >> 18));
    S += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    S += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    S += static_cast<char>(0x80 | (C & 0x3F));
  }
}

bool ReadTTFFullName(const void* AData, std::size_t ASize, std::string& AName,
                     unsigned AFaceIndex) {
  AName.clear();
  if (!AData) return false;
  const TNameCursor c(static_cast<const unsigned char*>(AData), ASize);

  // Offset table, or a collection header that points at one per face.
  std::uint32_t version = 0;
  std::size_t base = 0;
  if (!c.U32(0, version)) return false;
  if (version == 0x74746366) { // "ttcf"
    std::uint32_t numFonts = 0, offset = 0;
    if (!c.U32(8, numFonts) || AFaceIndex >= numFonts) return false;
    if (!c.U32(12 + std::size_t{AFaceIndex} * 4, offset)) return false;
    base = offset;
    if (!c.U32(base, version)) return false;
  } else if (AFaceIndex != 0) {
    return false;
  }
  // 1.0 TrueType outlines; "OTTO" compact outlines; "true" older Apple files.
  if (version != 0x00010000 && version != 0x4F54544F && version != 0x74727565) return false;

  std::uint16_t numTables = 0;
  if (!c.U16(base + 4, numTables)) return false;
  std::size_t nameOffset = 0;
  bool found = false;
  for (std::size_t i = 0; i < numTables && !found; ++i) {
    const std::size_t rec = base + 12 + i * 16;
    if (!c.Fits(rec, 16)) return false;
    const unsigned char* tag = c.At(rec);
    bool isName = true;
    for (int k = 0; k < 4; ++k)
      isName = isName && std::tolower(tag[k]) == "name"[k];
    if (!isName) continue;
    std::uint32_t offset = 0;
    if (!c.U32(rec + 8, offset)) return false;
    nameOffset = offset;
    found = true;
  }
  if (!found) return false;

  std::uint16_t format = 0, count = 0, stringOffset = 0;
  if (!c.U16(nameOffset, format) || !c.U16(nameOffset + 2, count) ||
      !c.U16(nameOffset + 4, stringOffset))
    return false;
  if (format != 0) return false;

  struct TRecord {
    std::uint16_t Platform = 0, Encoding = 0, Language = 0, Length = 0, Offset = 0;
  };
  TRecord taken;
  bool haveTaken = false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t rec = nameOffset + 6 + i * 12;
    if (!c.Fits(rec, 12)) return false;
    TRecord r;
    std::uint16_t nameId = 0;
    c.U16(rec, r.Platform);
    c.U16(rec + 2, r.Encoding);
    c.U16(rec + 4, r.Language);
    c.U16(rec + 6, nameId);
    c.U16(rec + 8, r.Length);
    c.U16(rec + 10, r.Offset);
    if (nameId != 4 || r.Length == 0) continue;
    if (!haveTaken || (r.Language == 1033 && taken.Language != 1033) ||
        (r.Language == 0 && taken.Language != 0)) {
      taken = r;
      haveTaken = true;
    }
  }
  if (!haveTaken) return false;

  const std::size_t at = nameOffset + stringOffset + std::size_t{taken.Offset};
  if (!c.Fits(at, taken.Length)) return false;
  const unsigned char* s = c.At(at);
  if ((taken.Platform == 0 || taken.Platform == 3) && (taken.Encoding == 0 || taken.Encoding == 1))
    AName = DecodeUtf16BE(s, taken.Length);
  else if ((taken.Platform == 1 || taken.Platform == 2) && taken.Encoding == 0)
    AName = DecodeSingleByte(s, taken.Length, taken.Platform == 1);
  else
    return false;
  return !AName.empty();
}

bool ReadTTFFullNameFromFile(const std::string& APath, std::string& AName, unsigned AFaceIndex) {
  AName.clear();
  // Mapped, not read: the naming table is a few pages of files that may be
  // tens of megabytes (collections of East Asian faces).
  const int fd = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = false;
  constexpr off_t cMaxSize = off_t{256} << 20;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= cMaxSize) {
    const std::size_t size = static_cast<std::size_t>(st.st_size);
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data != MAP_FAILED) {
      ok = ReadTTFFullName(data, size, AName, AFaceIndex);
      ::munmap(data, size);
    }
  }
  ::close(fd);
  return ok;
}

TqdTTFFontType FontTypeByFileName(std::string_view AFileName) {
  if (EndsWithNoCase(AFileName, ".ttf")) return fttTrueType;
  if (EndsWithNoCase(AFileName, ".ttc")) return fttCollection;
  if (EndsWithNoCase(AFileName, ".fon")) return fttRaster;
  if (EndsWithNoCase(AFileName, ".shx")) return fttShape;
  if (EndsWithNoCase(AFileName, ".otf")) return fttOpenType;
  return fttUnknown;
}

bool IsOutlineFontType(int AType) {
  return AType == fttTrueType || AType == fttCollection || AType == fttOpenType;
}

std::string StripFontStyleSuffixes(std::string_view AName) {
  std::string s = CutFontDisplayName(AName);
  for (bool changed = true; changed;) {
    changed = false;
    for (std::string_view suffix : {std::string_view(" Bold"), std::string_view(" Italic")}) {
      if (s.size() > suffix.size() && EndsWithNoCase(s, suffix)) {
        s = Trim(std::string_view(s).substr(0, s.size() - suffix.size()));
        changed = true;
      }
    }
  }
  return s;
}

unsigned FontStylesFromSuffixes(std::string_view AName) {
  std::string s = CutFontDisplayName(AName);
  unsigned styles = 0;
  for (bool changed = true; changed;) {
    changed = false;
    if (s.size() > 5 && EndsWithNoCase(s, " Bold")) {
      styles |= fstBold;
      s = Trim(std::string_view(s).substr(0, s.size() - 5));
      changed = true;
    }
    if (s.size() > 7 && EndsWithNoCase(s, " Italic")) {
      styles |= fstItalic;
      s = Trim(std::string_view(s).substr(0, s.size() - 7));
      changed = true;
    }
  }
  return styles;
}

std::string CutFontDisplayName(std::string_view AName) {
  const std::size_t p = AName.find(" (");
  return Trim(p == std::string_view::npos ? AName : AName.substr(0, p));
}

std::string FontFileNameOnly(std::string_view APath) {
  const std::size_t p = APath.find_last_of("/\\");
  return std::string(p == std::string_view::npos ? APath : APath.substr(p + 1));
}

namespace {
struct TFamilyPair {
  std::string_view Windows, Local;
};
// Faces made to the same advance widths as the Windows faces they stand in for.
constexpr TFamilyPair cFamilySubstitutes[] = {
    {"Arial", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"Arial Narrow", "Liberation Sans Narrow"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
    {"Calibri", "Carlito"},
    {"Cambria", "Caladea"},
};

struct TFilePair {
  std::string_view File, Family;
  unsigned Styles;
};
constexpr TFilePair cFileSubstitutes[] = {
    {"arial.ttf", "Liberation Sans", 0},
    {"arialbd.ttf", "Liberation Sans", fstBold},
    {"ariali.ttf", "Liberation Sans", fstItalic},
    {"arialbi.ttf", "Liberation Sans", fstBold | fstItalic},
    {"arialn.ttf", "Liberation Sans Narrow", 0},
    {"arialnb.ttf", "Liberation Sans Narrow", fstBold},
    {"arialni.ttf", "Liberation Sans Narrow", fstItalic},
    {"arialnbi.ttf", "Liberation Sans Narrow", fstBold | fstItalic},
    {"times.ttf", "Liberation Serif", 0},
    {"timesbd.ttf", "Liberation Serif", fstBold},
    {"timesi.ttf", "Liberation Serif", fstItalic},
    {"timesbi.ttf", "Liberation Serif", fstBold | fstItalic},
    {"cour.ttf", "Liberation Mono", 0},
    {"courbd.ttf", "Liberation Mono", fstBold},
    {"couri.ttf", "Liberation Mono", fstItalic},
    {"courbi.ttf", "Liberation Mono", fstBold | fstItalic},
    {"calibri.ttf", "Carlito", 0},
    {"calibrib.ttf", "Carlito", fstBold},
    {"calibrii.ttf", "Carlito", fstItalic},
    {"calibriz.ttf", "Carlito", fstBold | fstItalic},
    {"cambria.ttc", "Caladea", 0},
    {"cambriab.ttf", "Caladea", fstBold},
    {"cambriai.ttf", "Caladea", fstItalic},
    {"cambriaz.ttf", "Caladea", fstBold | fstItalic},
};
} // namespace

std::string WindowsFamilySubstitute(std::string_view AFamily) {
  const std::string f = Trim(AFamily);
  for (const TFamilyPair& p : cFamilySubstitutes)
    if (SameTextNoCase(f, p.Windows)) return std::string(p.Local);
  return {};
}

bool WindowsFileSubstitute(std::string_view AFileName, std::string& AFamily, unsigned& AStyles) {
  const std::string f = FontFileNameOnly(Trim(AFileName));
  for (const TFilePair& p : cFileSubstitutes)
    if (SameTextNoCase(f, p.File)) {
      AFamily = p.Family;
      AStyles = p.Styles;
      return true;
    }
  return false;
}

int CompareTextNoCase(std::string_view A, std::string_view B) {
  const std::size_t n = std::min(A.size(), B.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int a = std::tolower(static_cast<unsigned char>(A[i]));
    const int b = std::tolower(static_cast<unsigned char>(B[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  return A.size() < B.size() ? -1 : (A.size() > B.size() ? 1 : 0);
}

bool SameTextNoCase(std::string_view A, std::string_view B) {
  return A.size() == B.size() && CompareTextNoCase(A, B) == 0;
}
