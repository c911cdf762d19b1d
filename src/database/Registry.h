#pragma once
// Classes by DXF object name, for readers. Filled by RegisterDatabaseClasses() at
// start-up (static self-registration would be dropped from a static library).
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DXFBase.h"

class TqdEntityRegistry {
public:
  // Names compare without case; a later registration replaces an earlier one.
  static void RegisterClass(std::string_view ADXFName, TqdEntityClass AClass);
  static TqdEntityClass ClassByDXFName(std::string_view ADXFName);
  // Null for a name nobody registered.
  static std::unique_ptr<TqdDXFEntity> CreateByDXFName(std::string_view ADXFName);
  static int Count();
  // Every registered name, sorted.
  static std::vector<std::string> Names();
};

// Registers every class of the database unit; safe to call more than once.
void RegisterDatabaseClasses();
