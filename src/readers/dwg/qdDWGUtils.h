#pragma once
// What every DWG container shares: the release named by the version string, the
// resource limits, and the map from handles to object locations.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qdVersions.h"

// ---------------------------------------------------------------- limits

// One table of resource limits; every container and decoder refers to it.
struct TdwgLimits {
  // The file image (as stored, and as rebuilt by a container).
  static constexpr std::uint64_t MaxImageBytes = 1ull << 30;
  // One decompressed section or page.
  static constexpr std::uint64_t MaxSectionBytes = 256ull << 20;
  // Locator records of the R13-R2000 file header (real files have 3 to 6).
  static constexpr std::uint32_t MaxLocatorRecords = 16;
  // Bytes of one object-map block (the format writes at most 2032).
  static constexpr std::uint32_t MaxMapBlockBytes = 2040;
  // Classes a drawing may define.
  static constexpr std::size_t MaxClasses = 65536;
  // Nesting of objects decoded on demand (owner, block record, insert, ...).
  static constexpr int MaxObjectNesting = 256;
  // Bytes the image is padded with after the data, so that reads of the last bytes
  // never touch memory outside it.
  static constexpr std::size_t ImagePadding = 16;
  // A file of R2004 and later is at least its fixed header and container header.
  static constexpr std::size_t MinR2004FileBytes = 0x100;
  // The R13-R2000 file header before the locator records.
  static constexpr std::size_t FileHeaderBytes = 25;
};

// ---------------------------------------------------------------- versions

enum TdwgVersionClass {
  vcSupported,  // a release this reader family knows
  vcOld,        // refused as old
  vcNew         // refused as new
};

struct TdwgVersionInfo {
  TdwgVersionClass Class = vcOld;
  TqdDWGVersion Version = acR2000;
  std::string Text;     // the first six bytes, printable
  std::string Release;  // "R2000", "R2.10" ... (empty when not recognised)
};

// Classifies the first bytes of a file by its six-character version string. Only
// the low four bits of characters 5 and 6 count.
TdwgVersionInfo DWGVersionFromBytes(const void* AData, std::size_t ASize);
// "Unsupported old DWG version ID: "..."" or the new form; "Not a DWG file: ..."
// when the data does not start with "AC".
std::string UnsupportedVersionMessage(const TdwgVersionInfo& AInfo);
// "DWG AC1018 (R2004) is not supported yet".
std::string NotSupportedYetMessage(const TdwgVersionInfo& AInfo);
// A file that ends before what its header points at was cut short (a copy or a
// download that stopped), not damaged: "DWG file is cut short: it ends at byte
// N, before <what>".
std::string DWGCutShortMessage(std::uint64_t AFileSize, const std::string& AWhat);

// ---------------------------------------------------------------- object types

// The DXF name of a fixed DWG object type (below 500) and whether it is an entity;
// "" for numbers the format does not define.
struct TdwgTypeInfo {
  const char* Name = "";
  bool Entity = false;
  // Part of another entity (vertices, attributes, block begin and end markers).
  bool Sub = false;
};
TdwgTypeInfo DWGObjectType(int AType);

// ---------------------------------------------------------------- object map

class TqdDXFEntity;

struct TdwgMapElement {
  std::uint64_t Handle = 0;
  // Byte offset of the object in the image; checked when the object is read.
  std::int64_t Location = 0;
  TqdDXFEntity* Obj = nullptr;
};

// Handle -> location, sorted by handle, one element per handle.
class TqdObjectsMap {
public:
  void Add(std::uint64_t AHandle, std::int64_t ALocation) { FItems.push_back({AHandle, ALocation, nullptr}); }
  // Sorts by handle; of several elements with one handle the last one read stays
  // (a later map entry supersedes). Returns the number dropped.
  std::size_t Sort();
  // Index of AHandle, or -1.
  std::ptrdiff_t IndexOf(std::uint64_t AHandle) const;
  std::size_t Count() const { return FItems.size(); }
  TdwgMapElement& operator[](std::size_t I) { return FItems[I]; }
  const TdwgMapElement& operator[](std::size_t I) const { return FItems[I]; }
  std::size_t LoadedCount() const;
  void Clear() { FItems.clear(); }

private:
  std::vector<TdwgMapElement> FItems;
};

// "EdwgError: Entity handle = $2F." (only the class name and "." for handle 0).
std::string DeferredObjectErrorMessage(const std::string& AClassName, std::uint64_t AHandle);
