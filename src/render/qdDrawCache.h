#pragma once
// What frames keep between frames, beside the database: the outlines of texts at the
// tolerance they were last drawn with. Owned by the image, shared by the threads of
// a banded frame (every call is safe from any thread).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "Texts.h"

class TqdDrawCache {
 public:
  // Paths[0..Used) are the outlines; storage past them is kept for reuse.
  struct TPaths {
    std::vector<TqdTextPath> Paths;
    std::size_t Used = 0;
    auto begin() const { return Paths.begin(); }
    auto end() const { return Paths.begin() + static_cast<std::ptrdiff_t>(Used); }
  };
  // The outlines of T at ATolerance: the kept ones when T's runs and the tolerance
  // are those they were made from, else made now (and kept while the budget lasts).
  std::shared_ptr<const TPaths> TextPaths(const TqdDXFText& T, double ATolerance);
  // Forgets everything (a new drawing, fonts replaced).
  void Clear();
  // A frame begins: outlines not drawn since the last frame are the first to go
  // when the budget is reached.
  void BeginFrame();
  // Bytes the kept outlines hold (points, counts, the runs they were made from).
  std::size_t Bytes() const;
  std::size_t Entries() const;
  // Outlines stop being kept past this many bytes; the frames still draw them.
  static constexpr std::size_t cnstBudget = 64u << 20;

  // What the database makes on first use (glyph tables, spatial indexes, curve
  // points kept once made, solids' matrices): read under this lock while more than
  // one thread draws a frame.
  static std::mutex& LazyLock();

 private:
  struct TEntry {
    std::vector<TqdTextRun> Runs;  // what the outlines were made from
    double Tolerance = 0;
    std::shared_ptr<const TPaths> Paths;
    std::size_t Bytes = 0;
    std::uint64_t Frame = 0;  // the last frame that drew it
  };
  // Makes room for Bytes more by dropping outlines of earlier frames (once a frame).
  bool MakeRoom(std::size_t Bytes);
  mutable std::mutex FLock;
  std::unordered_map<const TqdDXFText*, TEntry> FTexts;
  std::size_t FBytes = 0;
  std::uint64_t FFrame = 1;
  std::uint64_t FSweptFrame = 0;
};
