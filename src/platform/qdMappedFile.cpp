#include "qdMappedFile.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::size_t PageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

}  // namespace

bool TqdMappedFile::Open(const std::string& APath, std::size_t AStreamLimit) {
  Close();
  const int Fd = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) {
    FError = std::strerror(errno);
    return false;
  }
  struct stat St {};
  if (::fstat(Fd, &St) == 0 && S_ISDIR(St.st_mode)) {
    FError = "Is a directory";
    ::close(Fd);
    return false;
  }
  const bool Regular = ::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode);
  if (Regular && St.st_size > 0) {
    const auto Size = static_cast<std::size_t>(St.st_size);
    const std::size_t Page = PageSize();
    // Reserve the file's pages plus at least one page of zeros, then map the file over
    // the front: the tail stays anonymous zero memory, also when the size is a whole
    // number of pages.
    const std::size_t FilePages = (Size + Page - 1) / Page * Page;
    const std::size_t Total = FilePages + Page;
    void* R = ::mmap(nullptr, Total, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (R != MAP_FAILED) {
      void* P = ::mmap(R, Size, PROT_READ, MAP_PRIVATE | MAP_FIXED, Fd, 0);
      if (P != MAP_FAILED) {
        FMap = R;
        FMapSize = Total;
        FData = P;
        FSize = Size;
        ::madvise(P, Size, MADV_SEQUENTIAL);
        ::close(Fd);
        return true;
      }
      ::munmap(R, Total);
    }
  }
  // A regular file that could not be mapped ends; a stream may not. The data is read
  // in blocks and joined once at the end: growing one buffer would copy it again and
  // again.
  const std::size_t Limit = Regular ? static_cast<std::size_t>(-1) : AStreamLimit;
  constexpr std::size_t cnstBlock = std::size_t(8) << 20;
  struct TBlock {
    std::unique_ptr<unsigned char[]> Data;
    std::size_t Size;
  };
  std::vector<TBlock> Blocks;
  std::size_t Total = 0;
  for (;;) {
    if (Blocks.empty() || Blocks.back().Size == cnstBlock)
      Blocks.push_back({std::unique_ptr<unsigned char[]>(new unsigned char[cnstBlock]), 0});
    TBlock& B = Blocks.back();
    const ssize_t N = ::read(Fd, B.Data.get() + B.Size, cnstBlock - B.Size);
    if (N < 0) {
      if (errno == EINTR) continue;
      FError = std::strerror(errno);
      ::close(Fd);
      return false;
    }
    if (N == 0) break;
    if (static_cast<std::size_t>(N) > Limit - Total) {
      FError = "not a regular file, and longer than " + std::to_string(AStreamLimit >> 20) + " MiB";
      ::close(Fd);
      return false;
    }
    B.Size += static_cast<std::size_t>(N);
    Total += static_cast<std::size_t>(N);
  }
  ::close(Fd);
  FCopy.reserve(Total + cnstMappedFilePadding);
  for (const TBlock& B : Blocks) FCopy.insert(FCopy.end(), B.Data.get(), B.Data.get() + B.Size);
  FSize = FCopy.size();
  FCopy.resize(FSize + cnstMappedFilePadding, 0);
  FData = FCopy.data();
  return true;
}

void TqdMappedFile::Close() {
  if (FMap) ::munmap(FMap, FMapSize);
  FMap = nullptr;
  FMapSize = 0;
  FData = nullptr;
  FSize = 0;
  FReleased = 0;
  FCopy.clear();
  FCopy.shrink_to_fit();
  FError.clear();
}

void TqdMappedFile::ReleaseBefore(std::size_t APos) {
  constexpr std::size_t cnstStep = std::size_t(4) << 20, cnstKeep = std::size_t(1) << 20;
  if (!FMap || APos > FSize || APos < FReleased + cnstStep + cnstKeep) return;
  const std::size_t Page = PageSize();
  const std::size_t End = (APos - cnstKeep) / Page * Page;
  ::madvise(static_cast<char*>(const_cast<void*>(FData)) + FReleased, End - FReleased, MADV_DONTNEED);
  FReleased = End;
}

std::vector<unsigned char> qdReadFileHead(const std::string& APath, std::size_t AMax, std::string* AError) {
  std::vector<unsigned char> R;
  // A pipe or device gives its bytes once: reading its head here would take them
  // from the reader that follows. Such files are known by their extension only.
  struct stat Path {};
  if (::stat(APath.c_str(), &Path) == 0 && !S_ISREG(Path.st_mode) && !S_ISDIR(Path.st_mode)) return R;
  const int Fd = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) {
    if (AError) *AError = std::strerror(errno);
    return R;
  }
  struct stat St {};
  if (::fstat(Fd, &St) == 0 && S_ISDIR(St.st_mode)) {
    if (AError) *AError = "Is a directory";
    ::close(Fd);
    return R;
  }
  R.resize(AMax);
  std::size_t Got = 0;
  while (Got < AMax) {
    const ssize_t N = ::read(Fd, R.data() + Got, AMax - Got);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Got += static_cast<std::size_t>(N);
  }
  ::close(Fd);
  R.resize(Got);
  return R;
}
