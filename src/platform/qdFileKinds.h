#pragma once
// What a file holds, judged from its first bytes, so that a file whose content is
// another format than its extension says is named for what it is and opened by the
// right class.
#include <cstddef>
#include <string>

struct TqdContentKind {
  // "dxf", "dwg", "hpgl", "png", "jpeg", "bmp", "gif", "ico", "tiff", "gzip", "zip",
  // or "" when the bytes say nothing certain.
  std::string Family;
  std::string Version;      // DWG: the six-character version string ("AC1015")
  std::string Description;  // "a DWG drawing (AC1015)"
};

// Enough bytes to tell every family apart.
inline constexpr std::size_t cnstContentHeadSize = 4096;

TqdContentKind qdIdentifyContent(const void* AData, std::size_t ASize);

// Whether a file of content AContent may be read by a class of family AClass: a
// plotter class reads its gzip and zip wrappings too.
bool qdContentFits(const std::string& AClass, const std::string& AContent);
