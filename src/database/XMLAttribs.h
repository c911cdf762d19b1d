#pragma once
// The attribute ids of the class rows (XMLAttribs.inc) and the table that gives the
// XML layer their names and value types.
#include "qdXMLParser.h"

enum TqdXMLAttribId : int {
  xaUndefined = 0,
#define QD_XML_ATTRIB(Id, Name, Type, Descr) xa##Name = Id,
#define QD_XML_ATTRIB2(Id, Name, Alias, Type, Descr) xa##Alias = Id,
#include "XMLAttribs.inc"
#undef QD_XML_ATTRIB
#undef QD_XML_ATTRIB2
  xaClassName = cnstXMLClassNameId
};

namespace qdattribs {
constexpr int MaxId() {
  int M = cnstXMLClassNameId;
#define QD_XML_ATTRIB(Id, Name, Type, Descr) M = Id > M ? Id : M;
#define QD_XML_ATTRIB2(Id, Name, Alias, Type, Descr) M = Id > M ? Id : M;
#include "XMLAttribs.inc"
#undef QD_XML_ATTRIB
#undef QD_XML_ATTRIB2
  return M;
}
}  // namespace qdattribs

// One past the highest attribute id.
inline constexpr int cnstXMLAttribCount = qdattribs::MaxId() + 1;

// Gives the XML layer the attribute table. Done before main by the unit holding the
// table and again by every registration call; safe to repeat.
void InstallXMLAttribTable();
