#pragma once
// A whole file held in memory for a reader: a private read-only mapping, or a copy
// when the file cannot be mapped (pipes, special files). Every reader gets at least
// cnstMappedFilePadding zero bytes after the data, so that a bit reader that peeks a
// few bytes ahead of a bounds check never leaves readable memory.
#include <cstddef>
#include <string>
#include <vector>

inline constexpr std::size_t cnstMappedFilePadding = 16;
// What is read from a stream that is not a regular file (a pipe, a device), which
// cannot be mapped and may never end; a longer one is refused.
inline constexpr std::size_t cnstMaxStreamBytes = std::size_t(512) << 20;

class TqdMappedFile {
 public:
  TqdMappedFile() = default;
  explicit TqdMappedFile(const std::string& APath) { Open(APath); }
  ~TqdMappedFile() { Close(); }
  TqdMappedFile(const TqdMappedFile&) = delete;
  TqdMappedFile& operator=(const TqdMappedFile&) = delete;

  // False with Error() set when the file cannot be read, or when it is a stream
  // longer than AStreamLimit.
  bool Open(const std::string& APath, std::size_t AStreamLimit = cnstMaxStreamBytes);
  void Close();

  const void* Data() const { return FData; }
  std::size_t Size() const { return FSize; }
  const std::string& Error() const { return FError; }
  bool Mapped() const { return FMap != nullptr; }

  // For readers that read the data once, front to back: the pages well behind APos
  // are handed back so that a large file does not stay resident next to the drawing
  // made from it. Safe whatever reads the data again later: a private read-only
  // mapping of a file just faults the page in again.
  void ReleaseBefore(std::size_t APos);

 private:
  void* FMap = nullptr;         // the whole reservation (file pages and zero tail)
  std::size_t FMapSize = 0;
  const void* FData = nullptr;
  std::size_t FSize = 0;
  std::size_t FReleased = 0;
  std::vector<unsigned char> FCopy;
  std::string FError;
};

// The first bytes of a file (at most AMax), for identifying its content; empty with
// AError set when it cannot be read. Empty for a pipe or device, which cannot be read twice.
std::vector<unsigned char> qdReadFileHead(const std::string& APath, std::size_t AMax, std::string* AError = nullptr);
