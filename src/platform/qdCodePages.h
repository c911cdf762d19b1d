#pragma once
// Code page conversion: 8-bit text of a drawing (Windows code page numbers as
// written in $DWGCODEPAGE or mapped from a DWG code page index) to UTF-8.
// Conversion never fails: bytes that are not valid in the code page become
// U+FFFD. Code page 0 is the system ANSI code page, taken as 1252; a code page
// we cannot convert from is read as 1252 too.
#include <cstdint>
#include <string>
#include <string_view>


constexpr int cpSystemANSI = 0;
constexpr int cpWestern = 1252;
constexpr int cpUTF16LE = 1200;
constexpr int cpUTF8 = 65001;

// The code page actually used for CodePage (0 and unknown pages give 1252).
int EffectiveCodePage(int CodePage);
// True when the code page has a converter on this system.
bool IsCodePageSupported(int CodePage);

// Appends Src, read in CodePage, to Dst as UTF-8.
void AppendCodePageToUTF8(std::string& Dst, int CodePage, std::string_view Src);
std::string CodePageToUTF8(int CodePage, std::string_view Src);

// The character made of a lead and a trail byte in a double-byte code page
// (932, 936, 949, 950, 1361), as UTF-8. Bytes that form no character give U+FFFD.
std::string DoubleByteCharToUTF8(int CodePage, uint8_t Lead, uint8_t Trail);

// Appends the UTF-8 form of a code point; surrogates and values above U+10FFFF
// become U+FFFD.
void AppendUTF8(std::string& Dst, char32_t C);
// Src with every byte sequence that is not valid UTF-8 replaced by U+FFFD.
std::string SanitizeUTF8(std::string_view Src);

// Replaces "\U+XXXX" by that UTF-16 code unit (a high and a low surrogate in a
// row make one character) and "\M+NXXXX" by the double-byte character XXXX of
// the code page of family N (1: 932, 2: 950, 3: 949, 5: 936, any other:
// DefaultCodePage). A marker with too few hexadecimal digits is dropped with
// the digits it has.
std::string DecodeCharEscapes(std::string_view S, int DefaultCodePage = cpSystemANSI);
