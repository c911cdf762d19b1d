#pragma once
// The commonest simple entities (lines, points, circles, arcs) leave the object
// reader as values instead of groups (DXFDirect.h): the values are what the DXF
// reader would have kept of the groups their decoders write (DWGEntities.cpp), and
// the fields are read in the same order. Entities with reactors, an extension
// dictionary, extended data or names the DXF reader would convert keep their groups.
#include <string>
#include <string_view>
#include <unordered_set>

#include "readers/dxf/DXFDirect.h"

struct TdwgObj;

// Names of layers and linetypes, held once for every entity that names them.
class TdwgNamePool {
public:
  const std::string* Get(std::string_view AName);

private:
  std::unordered_set<std::string> FNames;
  const std::string* FLast[2] = {};
  int FNext = 0;
};

// The kind of an object type given as values; false for other types.
bool DWGDirectKind(int AType, TdxfDirectKind& AKind);
// Names the DXF reader takes as they stand (ASCII without escapes).
bool DWGDirectPlainName(std::string_view S);
// Reads the type's own fields from O's data into E (the common ones are the
// caller's), as the type's decoder reads them.
void DWGDecodeDirect(TdwgObj& O, TdxfDirectEntity& E);

// Whether the object reader gives entities as values (on by default; tests compare
// a load with and without).
void SetDWGDirectEntities(bool AOn);
bool DWGDirectEntities();
