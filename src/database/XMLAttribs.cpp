#include "XMLAttribs.h"

#include <array>

namespace {

constexpr std::array<TqdXMLAttribInfo, cnstXMLAttribCount> MakeTable() {
  std::array<TqdXMLAttribInfo, cnstXMLAttribCount> T{};
  for (TqdXMLAttribInfo& I : T) I = {nullptr, dtUndefined, nullptr};
#define QD_XML_ATTRIB(Id, Name, Type, Descr) T[Id] = {#Name, Type, Descr};
#define QD_XML_ATTRIB2(Id, Name, Alias, Type, Descr) T[Id] = {#Name, Type, Descr};
#include "XMLAttribs.inc"
#undef QD_XML_ATTRIB
#undef QD_XML_ATTRIB2
  return T;
}

constexpr std::array<TqdXMLAttribInfo, cnstXMLAttribCount> cAttribs = MakeTable();

// Every id names one entry and none takes the class-name code.
constexpr bool IdsDistinct() {
  std::array<int, cnstXMLAttribCount> Seen{};
#define QD_XML_ATTRIB(Id, Name, Type, Descr) ++Seen[Id];
#define QD_XML_ATTRIB2(Id, Name, Alias, Type, Descr) ++Seen[Id];
#include "XMLAttribs.inc"
#undef QD_XML_ATTRIB
#undef QD_XML_ATTRIB2
  for (int N : Seen)
    if (N > 1) return false;
  return Seen[0] == 0 && Seen[cnstXMLClassNameId] == 0;
}
static_assert(IdsDistinct(), "an attribute id is listed twice or takes 0 or 224");

[[maybe_unused]] const bool cInstalled = (InstallXMLAttribTable(), true);

}  // namespace

void InstallXMLAttribTable() { XMLSetAttribTable(cAttribs.data(), cnstXMLAttribCount); }
