#pragma once
// The commonest simple entities (lines, points, circles, arcs) leave the object
// reader as values instead of groups (DXFDirect.h). The values are taken from the
// groups the entity's decoder wrote, so that decoders stay the one description of
// each type; an entity with any group the values cannot hold (reactors, extension
// dictionary, codes the list does not know, names that the DXF reader would
// convert) keeps its groups.
#include <string>
#include <string_view>
#include <unordered_set>

#include "DXFDirect.h"

// Names of layers and linetypes, held once for every entity that names them.
class TdwgNamePool {
public:
  const std::string* Get(std::string_view AName);

private:
  std::unordered_set<std::string> FNames;
  const std::string* FLast[2] = {};
  int FNext = 0;
};

// Fills E from the groups of one entity (from its code 0 on); false when they are
// not of a kind given as values or hold anything the values cannot.
bool DWGDirectEntity(std::string_view AGroups, TdxfDirectEntity& E, TdwgNamePool& ANames);

// Whether the object reader gives entities as values (on by default; tests compare
// a load with and without).
void SetDWGDirectEntities(bool AOn);
bool DWGDirectEntities();
