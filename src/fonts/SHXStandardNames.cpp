#include "SHXStandardNames.h"

#include <algorithm>
#include <cctype>
#include <string>

bool qdIsStandardSHXName(std::string_view Name) {
  static constexpr std::string_view cnstNames[] = {
      "txt",     "simplex", "romans",  "romand",  "romanc",   "romant",  "complex", "italic",  "italicc",
      "italict", "isocp",   "isocp2",  "isocp3",  "isoct",    "isoct2",  "isoct3",  "iso",     "monotxt",
      "scriptc", "scripts", "gothice", "gothicg", "gothici",  "greekc",  "greeks",  "cyrillic", "cyriltlc",
      "syastro", "symap",   "symath",  "symeteo", "symusic",  "gdt",     "amgdt",   "ltypeshp", "bigfont",
      "extfont", "extfont2", "chineset", "gbcbig", "whgtxt",  "whgdtxt", "whtmtxt", "whtgtxt"};
  const std::size_t Slash = Name.find_last_of("/\\");
  if (Slash != std::string_view::npos) Name.remove_prefix(Slash + 1);
  while (!Name.empty() && (Name.front() == ' ' || Name.front() == '\t')) Name.remove_prefix(1);
  while (!Name.empty() && (Name.back() == ' ' || Name.back() == '\t')) Name.remove_suffix(1);
  std::string L(Name);
  std::transform(L.begin(), L.end(), L.begin(), [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  if (L.size() > 4 && L.compare(L.size() - 4, 4, ".shx") == 0) L.resize(L.size() - 4);
  return std::find(std::begin(cnstNames), std::end(cnstNames), L) != std::end(cnstNames);
}
