#pragma once
// Names of TrueType faces: the full name read from a font file's naming table,
// the helpers that split style suffixes off a face name, font types by file
// extension, and the Windows faces and files that have metric-compatible
// stand-ins on this system.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Style bits of a TrueType text (the font style set).
enum TqdTTFStyle : unsigned {
  fstBold = 1,
  fstItalic = 2,
  fstUnderline = 4,
  fstStrikeOut = 8,
};

// Font types by file extension.
enum TqdTTFFontType : int {
  fttUnknown = 0,
  fttTrueType = 1,   // .ttf
  fttCollection = 2, // .ttc
  fttRaster = 3,     // .fon
  fttShape = 4,      // .shx
  fttOpenType = 5,   // .otf: outlines of either kind, read like a .ttf
};

// The full name (name id 4) of face AFaceIndex of a font file held in memory, as
// UTF-8. Every count, offset and length in the file is checked against ASize;
// anything out of bounds, an unknown layout or an undecodable string gives false
// and an empty name. A collection ("ttcf") is read at the face's offset.
bool ReadTTFFullName(const void* AData, std::size_t ASize, std::string& AName,
                     unsigned AFaceIndex = 0);
// The same from a file (mapped); files above 256 MiB are not read.
bool ReadTTFFullNameFromFile(const std::string& APath, std::string& AName,
                             unsigned AFaceIndex = 0);

TqdTTFFontType FontTypeByFileName(std::string_view AFileName);
// Files whose outlines this unit reads (TrueType, collections, OpenType).
bool IsOutlineFontType(int AType);

// "Arial Bold Italic" -> "Arial"; also drops a trailing " (...)" part.
std::string StripFontStyleSuffixes(std::string_view AName);
// The bold (1) and italic (2) bits that such suffixes name.
unsigned FontStylesFromSuffixes(std::string_view AName);
// A display name cut before " (" and trimmed: "Arial (TrueType)" -> "Arial".
std::string CutFontDisplayName(std::string_view AName);
// The file name without its folder, for both '/' and '\' separators.
std::string FontFileNameOnly(std::string_view APath);

// The metric-compatible family standing in for a Windows family ("Arial" ->
// "Liberation Sans"); empty when there is none.
std::string WindowsFamilySubstitute(std::string_view AFamily);
// The family and style bits standing in for a Windows font file ("arialbd.ttf" ->
// "Liberation Sans", bold); false when the file is not one of them.
bool WindowsFileSubstitute(std::string_view AFileName, std::string& AFamily, unsigned& AStyles);

// Appends the UTF-8 form of a code; surrogates and values past U+10FFFF give U+FFFD.
void AppendTTFUtf8(std::string& S, char32_t C);

bool SameTextNoCase(std::string_view A, std::string_view B);
int CompareTextNoCase(std::string_view A, std::string_view B);
