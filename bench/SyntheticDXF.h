#pragma once
// Writes large synthetic text DXF drawings for load and render benchmarks.
#include <cstdint>
#include <string>

struct TSyntheticDXFOptions {
  int Entities = 500000;
  std::uint32_t Seed = 7;
  // Every layer (and so every entity) on a dashed linetype instead of CONTINUOUS.
  bool Dashed = false;
};

// Mixed model-space content on 8 layers laid out on a grid: lines, arcs, circles,
// lightweight polylines with bulges and widths, texts and inserts of 4 small blocks.
// Returns the DXF text.
std::string MakeSyntheticDXF(const TSyntheticDXFOptions& Options);

// Writes the drawing to Path; false when the file cannot be written.
bool WriteSyntheticDXF(const std::string& Path, const TSyntheticDXFOptions& Options);
