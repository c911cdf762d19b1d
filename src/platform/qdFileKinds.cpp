#include "qdFileKinds.h"

#include <cstring>
#include <string_view>

using namespace std::literals;

namespace {

bool StartsWith(const unsigned char* D, std::size_t N, std::string_view S) {
  return N >= S.size() && std::memcmp(D, S.data(), S.size()) == 0;
}

bool IsDigit(unsigned char C) { return C >= '0' && C <= '9'; }
bool IsUpper(unsigned char C) { return C >= 'A' && C <= 'Z'; }

// "AC1015", "AC1.50", "AC2.10", "MC0.0": DWG version strings of every release.
bool DWGVersion(const unsigned char* D, std::size_t N, std::string& AVersion) {
  if (N < 6) return false;
  const bool AC = D[0] == 'A' && D[1] == 'C', MC = D[0] == 'M' && D[1] == 'C';
  if (!AC && !MC) return false;
  for (int I = 2; I < 6; ++I)
    if (!IsDigit(D[I]) && D[I] != '.') return false;
  if (!IsDigit(D[2])) return false;
  AVersion.assign(reinterpret_cast<const char*>(D), 6);
  // Old releases pad the version with NULs.
  while (!AVersion.empty() && (AVersion.back() == '\0' || AVersion.back() == ' ')) AVersion.pop_back();
  return true;
}

// Text DXF: a group code on the first line and a SECTION or comment group near the top.
bool TextDXF(const unsigned char* D, std::size_t N) {
  std::size_t I = 0;
  if (StartsWith(D, N, "\xEF\xBB\xBF")) I = 3;
  while (I < N && (D[I] == ' ' || D[I] == '\t' || D[I] == '\r' || D[I] == '\n')) ++I;
  const std::size_t Digits = I;
  if (I < N && D[I] == '-') ++I;
  while (I < N && IsDigit(D[I])) ++I;
  if (I == Digits) return false;
  while (I < N && (D[I] == ' ' || D[I] == '\t' || D[I] == '\r')) ++I;
  if (I >= N || D[I] != '\n') return false;
  const std::string_view Head(reinterpret_cast<const char*>(D), N);
  return Head.find("SECTION") != std::string_view::npos || Head.find("EOF") != std::string_view::npos ||
         std::string_view(Head.substr(Digits, 3)) == "999";
}

// The two-letter mnemonics an HPGL/2 file starts with.
bool HPGLStart(const unsigned char* D, std::size_t N) {
  std::size_t I = 0;
  while (I < N && (D[I] == ' ' || D[I] == '\t' || D[I] == '\r' || D[I] == '\n' || D[I] == ';')) ++I;
  if (I + 1 >= N || !IsUpper(D[I]) || !IsUpper(D[I + 1])) return false;
  static constexpr const char* cMnemonics[] = {"IN", "BP", "PS", "SP", "IP", "SC", "PU", "PD", "PA", "PR",
                                                "CO", "DF", "LB", "PG", "DT", "SI", "SR", "IW", "CI", "LT",
                                                "PW", "WU", "RO", "VS", "MC", "PE", "NP", "FT", "EA", "AA"};
  for (const char* M : cMnemonics)
    if (D[I] == M[0] && D[I + 1] == M[1]) return true;
  return false;
}

}  // namespace

TqdContentKind qdIdentifyContent(const void* AData, std::size_t ASize) {
  TqdContentKind K;
  const auto* D = static_cast<const unsigned char*>(AData);
  if (!D) ASize = 0;
  std::string Version;
  if (DWGVersion(D, ASize, Version)) {
    K.Family = "dwg";
    K.Version = Version;
    K.Description = "a DWG drawing (" + Version + ")";
  } else if (StartsWith(D, ASize, "AutoCAD Binary DXF")) {
    K.Family = "dxf";
    K.Description = "a binary DXF drawing";
  } else if (StartsWith(D, ASize, "\x89PNG\r\n\x1a\n")) {
    K.Family = "png";
    K.Description = "a PNG picture";
  } else if (StartsWith(D, ASize, "\xFF\xD8\xFF")) {
    K.Family = "jpeg";
    K.Description = "a JPEG picture";
  } else if (StartsWith(D, ASize, "GIF87a") || StartsWith(D, ASize, "GIF89a")) {
    K.Family = "gif";
    K.Description = "a GIF picture";
  } else if (StartsWith(D, ASize, "II*") || StartsWith(D, ASize, "MM\0*"sv)) {
    K.Family = "tiff";
    K.Description = "a TIFF picture";
  } else if (ASize >= 14 && D[0] == 'B' && D[1] == 'M') {
    K.Family = "bmp";
    K.Description = "a BMP picture";
  } else if (ASize >= 6 && D[0] == 0 && D[1] == 0 && D[2] == 1 && D[3] == 0 && D[4] + D[5] > 0) {
    K.Family = "ico";
    K.Description = "an icon";
  } else if (StartsWith(D, ASize, "\x1F\x8B")) {
    K.Family = "gzip";
    K.Description = "a gzip-compressed file";
  } else if (StartsWith(D, ASize, "PK\x03\x04")) {
    K.Family = "zip";
    K.Description = "a zip archive";
  } else if (ASize > 0 && D[0] == 0x1B) {
    K.Family = "hpgl";
    K.Description = "a PCL or HPGL/2 plot file";
  } else if (TextDXF(D, ASize)) {
    K.Family = "dxf";
    K.Description = "a DXF drawing";
  } else if (HPGLStart(D, ASize)) {
    K.Family = "hpgl";
    K.Description = "an HPGL/2 plot file";
  }
  return K;
}

bool qdContentFits(const std::string& AClass, const std::string& AContent) {
  if (AContent.empty() || AClass.empty() || AClass == AContent) return true;
  return AClass == "hpgl" && (AContent == "gzip" || AContent == "zip");
}
