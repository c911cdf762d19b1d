#pragma once
// Writes the drawing database as a DXF file. The writer only reads the database;
// nothing below it knows it exists.
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "qdVersions.h"

class TqdDXFConverter;

struct TqdDXFWriteOptions {
  TqdDWGVersion Release = acR2018;  // acR2018, acR2000 or acR12
  bool Binary = false;
  // Called now and then with the share written (0..100); false cancels the write.
  std::function<bool(int)> Progress;
};

struct TqdDXFWriteResult {
  bool Ok = false;
  bool Cancelled = false;
  std::string Error;                  // why it failed ("" when Ok)
  std::vector<std::string> Warnings;  // what could not be written as it was read
};

// Writes ADrawing to AStream. A failing stream is an error, never a success.
TqdDXFWriteResult WriteDXF(const TqdDXFConverter& ADrawing, std::ostream& AStream,
                           const TqdDXFWriteOptions& AOptions = {});

// Writes to a temporary file in AFileName's folder and renames it over AFileName only
// when complete: a failed or cancelled save leaves the existing file as it was.
TqdDXFWriteResult SaveDXFFile(const TqdDXFConverter& ADrawing, const std::string& AFileName,
                              const TqdDXFWriteOptions& AOptions = {});
