// Drives the XML parser over arbitrary bytes, then everything that walks a parsed
// tree: saving in each encoding and reading back, search, copy and compare, and
// FromXML into a line and a polyline (the node's classes and attribute values are
// the input's).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Entities.h"
#include "Polylines.h"
#include "Properties.h"
#include "qdXMLParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TqdParser P;
  const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
  P.LoadFromString(Text);
  for (TqdXMLEncoding E : {xeUTF8, xeUTF16LE, xeLatin1}) {
    P.SaveEncoding = E;
    TqdParser Q;
    Q.LoadFromString(P.SaveToString());
  }
  TqdFindOptions O;
  O.FindAll = true;
  TqdParser::FindNodeByName("vnxLine", P.ROOT().Childs(), O);
  TqdNode Copy;
  Copy.Assign(P.ROOT());
  Copy.Compare(P.ROOT());
  TqdNodeIterator It(P.ROOT());
  int Budget = 64;
  while (TqdNode* N = It.Next()) {
    if (N->Type != ntElement || --Budget < 0) continue;
    TqdXMLResult R;
    TqdDXFLine L;
    L.FromXML(*N, &R);
    TqdDXFPolyline PL;
    PL.FromXML(*N, &R);
    TqdNode Out;
    PL.ToXML(Out, xmAddSubEntities | xmlGetDefaultValue);
  }
  return 0;
}
