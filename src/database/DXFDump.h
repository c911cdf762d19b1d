#pragma once
// A plain-text picture of a converter for tests and the command line: the section
// tree with every item's class, name and handle, then the layouts.
#include <string>

class TqdDXFConverter;
class TqdDXFEntity;

std::string DumpConverter(TqdDXFConverter& AConverter);
// One subtree, indented by ADepth levels.
std::string DumpEntity(const TqdDXFEntity& AEntity, int ADepth = 0);
