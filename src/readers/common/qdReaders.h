#pragma once
// The drawing readers by format, and what a load reports. Every reader registers its
// load function at start-up (RegisterReaders); picture classes, the CLI and the
// benchmarks load through qdLoadDrawingFile / qdLoadDrawing and never name a reader.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TqdDXFConverter;
class TqdDXFEntity;

struct TqdLoadOptions {
  // Record the name each entity was read as where it differs from its class's name.
  bool RecordNames = false;
  // Called now and then with the position and the end of data; may call the
  // converter's StopLoading to cancel.
  std::function<void(std::size_t APos, std::size_t ALimit)> OnProgress;
};

struct TqdLoadResult {
  bool Ok = false;            // something was read (possibly with warnings)
  std::string Error;          // why the load failed or stopped early, when it did
  std::string Format;         // "dxf-text", "dxf-binary", "dwg", ...
  std::string Version;        // as the file writes it ("AC1015"), "" when absent
  std::string CodePageName;   // as the file writes it, "" when absent
  std::vector<std::string> Warnings;
  double LoadMs = 0;
  bool Cancelled = false;     // StopLoading ended the load early
  std::unordered_map<const TqdDXFEntity*, std::string_view> Names;
};

using TqdDrawingLoadFn = TqdLoadResult (*)(const void* AData, std::size_t ASize, TqdDXFConverter& AConverter,
                                          const TqdLoadOptions& AOptions);

struct TqdDrawingReader {
  std::string Format;         // "dxf", "dwg", "hpgl"
  TqdDrawingLoadFn Load = nullptr;
  // The reader reads its data once, front to back: pages behind it may be released.
  bool Sequential = false;
};

// A later registration of the same format replaces the earlier one.
void qdRegisterDrawingReader(std::string_view AFormat, TqdDrawingLoadFn ALoad, bool ASequential);
const TqdDrawingReader* qdFindDrawingReader(std::string_view AFormat);

// Loads bytes with the reader of AFormat; never throws for bad input.
TqdLoadResult qdLoadDrawing(std::string_view AFormat, const void* AData, std::size_t ASize,
                            TqdDXFConverter& AConverter, const TqdLoadOptions& AOptions = {});
// Maps the file (or reads it when it cannot be mapped) and loads it with AFormat's reader.
TqdLoadResult qdLoadDrawingFile(std::string_view AFormat, const std::string& APath, TqdDXFConverter& AConverter,
                                const TqdLoadOptions& AOptions = {});

// The name an entity's class stands for: its class name without the library prefix,
// in capitals (TqdDXFLine: "LINE").
std::string DXFClassName(const TqdDXFEntity& E);
// The name E was read as (a load with RecordNames): the recorded one, else its class's.
std::string EntityTypeName(const TqdLoadResult& R, const TqdDXFEntity& E);
