// The one list of DXF mappers written by hand, and why each stays. Every other group
// an object's mapper applies is a class row's (database/Schema.cpp); a test walks the
// registered classes and fails on a mapped group that is in neither place.
#include "DXFBase.h"
#include "DXFMapping.h"

const std::vector<TqdDXFHandMapper>& DXFHandWrittenMappers() {
  static const std::vector<TqdDXFHandMapper> L = {
      {"*", "the steps every object takes before its own mapper: handle, owner, layer, linetype, colour, "
            "lineweight, visibility, paper space",
       {5, 6, 8, 48, 60, 62, 67, 370, 420}},
  };
  return L;
}

std::vector<int> DXFHandWrittenCodes(std::string_view AName) {
  std::vector<int> C;
  for (const TqdDXFHandMapper& M : DXFHandWrittenMappers()) {
    bool Match = M.Names == "*";
    for (std::size_t P = 0; !Match && P < M.Names.size();) {
      std::size_t E = M.Names.find(' ', P);
      if (E == std::string_view::npos) E = M.Names.size();
      Match = M.Names.substr(P, E - P) == AName;
      P = E + 1;
    }
    if (Match) C.insert(C.end(), M.Codes.begin(), M.Codes.end());
  }
  return C;
}
