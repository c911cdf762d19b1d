// Hostile files through the whole program (draftwell-cli info and render, in-process):
// streams that never end, a line of a gigabyte, blocks nested ten thousand deep or
// inserting themselves, raster and archive sizes far beyond any real plot, fonts
// whose shapes overlap. Each must end in a clear message or a drawing, never in a
// crash, a hang or exhausted memory.
//
// Each case runs in a forked child: a CPU-time limit turns a runaway loop into a
// failure (CPU time, so that a busy machine does not fail the case) and alarm() a
// child that waits for ever, a watchdog
// thread ends the child when its resident memory grows by more than the budget
// (address-space limits do not work with AddressSanitizer, whose single allocations
// are capped by its own option below), and what the command printed comes back
// through shared memory.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../fonts/ShxBuilders.h"
#include "SHX.h"
#include "cli_test_util.h"
#include "qdProcess.h"

#include "../sanitizer_allocation_limit.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned cnstCaseSeconds = 10;       // of CPU time
constexpr unsigned cnstCaseWallSeconds = 120;  // of waiting, however busy the machine
constexpr long cnstMemoryBudgetMB = 2048;

struct TShared {
  int Done;
  char Fault[128];
  std::size_t Size;
  char Text[60000];
};

// What one case left: its printed text, or what went wrong with the child.
struct TOutcome {
  std::string Fault;  // empty when the child finished
  std::string Text;
};

TOutcome Bounded(const std::function<std::string()>& ACase) {
  void* M = mmap(nullptr, sizeof(TShared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (M == MAP_FAILED) return {"mmap failed", {}};
  auto* S = new (M) TShared{};
  std::fflush(nullptr);
  const pid_t P = fork();
  if (P < 0) return {"fork failed", {}};
  if (P == 0) {
    const long Base = ProcessStatusKB("VmRSS");
#ifndef DRAFTWELL_ASAN
    const long Size = ProcessStatusKB("VmSize");
    const rlimit L{rlim_t(Size + (cnstMemoryBudgetMB << 10)) << 10, rlim_t(Size + (cnstMemoryBudgetMB << 10)) << 10};
    setrlimit(RLIMIT_AS, &L);
#endif
    std::thread([S, Base] {
      for (;;) {
        if (ProcessStatusKB("VmRSS") - Base > (cnstMemoryBudgetMB << 10)) {
          std::snprintf(S->Fault, sizeof S->Fault, "resident memory grew by more than %ld MB", cnstMemoryBudgetMB);
          _exit(3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }).detach();
    const rlimit Cpu{cnstCaseSeconds, cnstCaseSeconds + 1};
    setrlimit(RLIMIT_CPU, &Cpu);
    alarm(cnstCaseWallSeconds);
    const std::string T = ACase();
    S->Size = std::min(T.size(), sizeof S->Text);
    std::memcpy(S->Text, T.data(), S->Size);
    S->Done = 1;
    _exit(0);
  }
  int Status = 0;
  while (waitpid(P, &Status, 0) < 0 && errno == EINTR) {
  }
  TOutcome R;
  R.Text.assign(S->Text, S->Size);
  if (WIFSIGNALED(Status)) {
    const int Sig = WTERMSIG(Status);
    R.Fault = Sig == SIGXCPU   ? "more than " + std::to_string(cnstCaseSeconds) + " s of CPU time"
              : Sig == SIGALRM ? "no result after " + std::to_string(cnstCaseWallSeconds) + " s (hang)"
                               : "killed by signal " + std::to_string(Sig) + " (" + strsignal(Sig) + ")";
  } else if (!S->Done) {
    R.Fault = S->Fault[0] ? std::string(S->Fault)
                          : "exit status " + std::to_string(WEXITSTATUS(Status)) + " (sanitizer report above)";
  }
  munmap(M, sizeof(TShared));
  return R;
}

// The command's status and everything it printed.
std::string Cli(std::vector<std::string> AArgs) {
  const TRun R = RunArgs(std::move(AArgs));
  return "status " + std::to_string(R.Status) + "\n" + R.Out + R.Err;
}

struct TDir {
  fs::path Path;
  TDir() {
    Path = fs::temp_directory_path() / ("draftwell_hostile_" + std::to_string(getpid()));
    fs::create_directories(Path);
  }
  ~TDir() {
    std::error_code EC;
    fs::remove_all(Path, EC);
  }
  std::string File(const std::string& AName, const std::string& ABytes) const {
    const fs::path P = Path / AName;
    std::ofstream(P, std::ios::binary) << ABytes;
    return P.string();
  }
};

void ExpectMessage(const TOutcome& R, const std::string& AWant, const char* ACase) {
  EXPECT_EQ(R.Fault, "") << ACase << "\n" << R.Text;
  EXPECT_NE(R.Text.find(AWant), std::string::npos) << ACase << ": wanted \"" << AWant << "\" in\n" << R.Text;
}

// ---------------------------------------------------------------- streams and lines

// A pipe at APath and a process that writes into it with AFeed (given the path),
// killed when the object goes.
struct TFifoWriter {
  pid_t Pid = -1;
  TFifoWriter(const std::string& APath, void (*AFeed)(const std::string&)) {
    if (mkfifo(APath.c_str(), 0600) != 0) return;
    std::fflush(nullptr);
    Pid = fork();
    if (Pid == 0) {
      signal(SIGPIPE, SIG_IGN);
      AFeed(APath);
      _exit(0);
    }
  }
  ~TFifoWriter() {
    if (Pid <= 0) return;
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
  }
};

TEST(HostileFiles, a_fifo_fed_from_dev_zero_is_read_to_a_bound_and_refused) {
  const TDir D;
  const std::string Fifo = (D.Path / "x.dxf").string();
  // Zeros for whoever opens the pipe, for as long as it is read.
  const TFifoWriter W(Fifo, [](const std::string& P) {
    static const char Zeros[65536] = {};
    for (;;) {
      const int Fd = open(P.c_str(), O_WRONLY);
      if (Fd < 0) return;
      while (write(Fd, Zeros, sizeof Zeros) > 0) {
      }
      close(Fd);
    }
  });
  ASSERT_GT(W.Pid, 0) << std::strerror(errno);
  const TOutcome R = Bounded([&] { return Cli({"info", Fifo}); });
  ExpectMessage(R, "not a regular file, and longer than 512 MiB", "fifo");
  EXPECT_NE(R.Text.find("status 1"), std::string::npos) << R.Text;
}

// A pipe gives its bytes once: the program must not spend them on a look at the head.
TEST(HostileFiles, a_fifo_written_once_is_read_whole) {
  const TDir D;
  const std::string Fifo = (D.Path / "once.dxf").string();
  const TFifoWriter W(Fifo, [](const std::string& P) {
    static const char Dxf[] =
        "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"
        "0\nCIRCLE\n8\n0\n10\n0\n20\n0\n40\n2\n0\nENDSEC\n0\nEOF\n";
    const int Fd = open(P.c_str(), O_WRONLY);
    if (Fd < 0) return;
    (void)!write(Fd, Dxf, sizeof Dxf - 1);
    close(Fd);
  });
  ASSERT_GT(W.Pid, 0) << std::strerror(errno);
  const TOutcome R = Bounded([&] { return Cli({"info", "--json", Fifo}); });
  EXPECT_EQ(R.Fault, "") << R.Text;
  EXPECT_NE(R.Text.find("\"entity_count\": 2,"), std::string::npos) << R.Text;
}

TEST(HostileFiles, a_gigabyte_line_without_a_newline_is_refused_at_the_line_cap) {
  // A sparse file: a gigabyte of zeros after a few groups, no disk written.
  const TDir D;
  const std::string Path = D.File("long.dxf", "0\nSECTION\n2\nENTITIES\n0\nTEXT\n1\n");
  ASSERT_EQ(truncate(Path.c_str(), off_t(1) << 30), 0) << std::strerror(errno);
  const TOutcome R = Bounded([&] { return Cli({"info", Path}); });
  ExpectMessage(R, "is longer than 1048576 bytes", "text");
}

// ---------------------------------------------------------------- blocks

std::string Groups(std::initializer_list<std::pair<int, std::string>> G) {
  std::string S;
  for (const auto& [C, V] : G) S += std::to_string(C) + "\n" + V + "\n";
  return S;
}

std::string Insert(const std::string& AName, double AX) {
  return Groups({{0, "INSERT"}, {8, "0"}, {2, AName}, {10, std::to_string(AX)}, {20, "0"}, {30, "0"}});
}

std::string Block(const std::string& AName, const std::string& ABody) {
  return Groups({{0, "BLOCK"}, {8, "0"}, {2, AName}, {70, "0"}, {10, "0"}, {20, "0"}, {30, "0"}, {3, AName}}) + ABody +
         Groups({{0, "ENDBLK"}, {8, "0"}});
}

std::string Line() { return Groups({{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {30, "0"}, {11, "1"}, {21, "1"}, {31, "0"}}); }

TEST(HostileFiles, deep_and_self_inserting_blocks_load_and_draw) {
  const TDir D;
  constexpr int cnstDepth = 10000;
  std::string Blocks;
  for (int I = 0; I < cnstDepth; ++I)
    Blocks += Block("B" + std::to_string(I), I + 1 < cnstDepth ? Insert("B" + std::to_string(I + 1), 1) + Line() : Line());
  Blocks += Block("SELF", Insert("SELF", 1) + Line());
  // Two blocks inserting each other.
  Blocks += Block("PING", Insert("PONG", 1) + Line()) + Block("PONG", Insert("PING", 1) + Line());
  const std::string Dxf = Groups({{0, "SECTION"}, {2, "BLOCKS"}}) + Blocks + Groups({{0, "ENDSEC"}, {0, "SECTION"}, {2, "ENTITIES"}}) +
                          Insert("B0", 0) + Insert("SELF", 5) + Insert("PING", 9) + Line() +
                          Groups({{0, "ENDSEC"}, {0, "EOF"}});
  const std::string Path = D.File("nested.dxf", Dxf);
  const TOutcome I = Bounded([&] { return Cli({"info", Path}); });
  ExpectMessage(I, "status 0", "info");
  const std::string Png = (D.Path / "nested.png").string();
  const TOutcome R = Bounded([&] { return Cli({"render", Path, "-o", Png, "--size", "200x150"}); });
  ExpectMessage(R, "status 0", "render");
  EXPECT_TRUE(fs::exists(Png));
}

// ---------------------------------------------------------------- plot files

TEST(HostileFiles, a_pcl_raster_of_a_billion_squared_pixels_stays_bounded) {
  const TDir D;
  std::string Rows;
  for (int I = 0; I < 200; ++I) Rows += "\x1b*b4W\xff\x00\xff\x00";
  struct Row {
    const char* Name;
    std::string Size;
  } Cases[] = {
      {"1e9", "\x1b*r1000000000S\x1b*r1000000000T"},
      {"just_below_the_accepted_range", "\x1b*r999999S\x1b*r999999T"},
  };
  for (const Row& C : Cases) {
    const std::string Pcl = std::string("\x1b" "E\x1b*t300R") + C.Size + "\x1b*r1A\x1b*b0M" + Rows + "\x1b*rC\x1b" "E";
    const std::string Path = D.File(std::string(C.Name) + ".pcl", Pcl);
    const TOutcome R = Bounded([&] { return Cli({"info", Path}); });
    EXPECT_EQ(R.Fault, "") << C.Name << "\n" << R.Text;
    EXPECT_NE(R.Text.find("status "), std::string::npos) << C.Name << R.Text;
  }
}

// A raw deflate stream that unpacks AMatches × 258 + 1 zero bytes: one block of
// fixed codes, a literal zero, then copies of 258 bytes at distance 1 (13 bits each).
std::string DeflateBomb(std::uint64_t AMatches) {
  std::string Out;
  std::uint64_t Acc = 0;
  int Bits = 0;
  const auto Put = [&](std::uint64_t V, int N) {
    Acc |= V << Bits;
    Bits += N;
    while (Bits >= 8) {
      Out.push_back(static_cast<char>(Acc & 0xFF));
      Acc >>= 8;
      Bits -= 8;
    }
  };
  // Huffman codes go most significant bit first.
  const auto Code = [](std::uint32_t C, int N) {
    std::uint32_t R = 0;
    for (int I = 0; I < N; ++I) R |= ((C >> I) & 1u) << (N - 1 - I);
    return R;
  };
  Out.reserve(static_cast<std::size_t>(AMatches * 13 / 8 + 16));
  Put(1, 1);  // the last block
  Put(1, 2);  // fixed codes
  Put(Code(0x30, 8), 8);  // literal 0
  const std::uint64_t Match = Code(0xC5, 8);  // length 258; distance code 0 is five zero bits
  for (std::uint64_t I = 0; I < AMatches; ++I) Put(Match, 13);
  Put(0, 7);  // end of block
  Put(0, 7);
  return Out;
}

void Le(std::string& S, std::uint32_t V, int N) {
  for (int I = 0; I < N; ++I) S.push_back(static_cast<char>((V >> (8 * I)) & 0xFF));
}

TEST(HostileFiles, gzip_and_zip_that_expand_past_2_GiB_are_refused) {
  const TDir D;
  const std::uint64_t Matches = ((std::uint64_t(2) << 30) + (1 << 20)) / 258;
  const std::string Z = DeflateBomb(Matches);
  const std::uint32_t Unpacked = static_cast<std::uint32_t>(Matches * 258 + 1);
  std::string Gz("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  Gz += Z;
  Le(Gz, 0, 4);  // CRC, never reached
  Le(Gz, Unpacked, 4);
  const std::string GzPath = D.File("bomb.plt", Gz);

  const std::string Name = "bomb.plt";
  std::string Zip;
  Le(Zip, 0x04034b50, 4);
  Le(Zip, 20, 2);
  Le(Zip, 0, 2);
  Le(Zip, 8, 2);
  Le(Zip, 0, 2);
  Le(Zip, 0x21, 2);
  Le(Zip, 0, 4);
  Le(Zip, static_cast<std::uint32_t>(Z.size()), 4);
  Le(Zip, Unpacked, 4);
  Le(Zip, static_cast<std::uint32_t>(Name.size()), 2);
  Le(Zip, 0, 2);
  Zip += Name + Z;
  const std::uint32_t Central = static_cast<std::uint32_t>(Zip.size());
  Le(Zip, 0x02014b50, 4);
  Le(Zip, 20, 2);
  Le(Zip, 20, 2);
  Le(Zip, 0, 2);
  Le(Zip, 8, 2);
  Le(Zip, 0, 2);
  Le(Zip, 0x21, 2);
  Le(Zip, 0, 4);
  Le(Zip, static_cast<std::uint32_t>(Z.size()), 4);
  Le(Zip, Unpacked, 4);
  Le(Zip, static_cast<std::uint32_t>(Name.size()), 2);
  Le(Zip, 0, 2);
  Le(Zip, 0, 2);
  Le(Zip, 0, 2);
  Le(Zip, 0, 2);
  Le(Zip, 0, 4);
  Le(Zip, 0, 4);
  Zip += Name;
  const std::uint32_t CentralSize = static_cast<std::uint32_t>(Zip.size()) - Central;
  Le(Zip, 0x06054b50, 4);
  Le(Zip, 0, 2);
  Le(Zip, 0, 2);
  Le(Zip, 1, 2);
  Le(Zip, 1, 2);
  Le(Zip, CentralSize, 4);
  Le(Zip, Central, 4);
  Le(Zip, 0, 2);
  const std::string ZipPath = D.File("bomb_zip.plt", Zip);

  ExpectMessage(Bounded([&] { return Cli({"info", GzPath}); }), "The gzip data unpacks to more than 1 GiB", "gzip");
  ExpectMessage(Bounded([&] { return Cli({"info", ZipPath}); }), "The zip entry unpacks to more than 1 GiB", "zip");
}

// ---------------------------------------------------------------- fonts

TEST(HostileFiles, a_big_font_whose_shapes_overlap_builds_within_bounds) {
  // Every index entry claims the longest definition and starts a few bytes after the
  // previous one: the definitions overlap each other and the index itself.
  constexpr unsigned cnstEntries = 60000;
  TBytes O;
  PutText(O, "AutoCAD-86 bigfont 1.0\r\n\x1A");
  Put16(O, cnstEntries);
  Put16(O, cnstEntries);
  Put16(O, 1);
  Put16(O, 0x81);
  Put16(O, 0xFE);
  const std::uint32_t Index = std::uint32_t(O.size());
  for (unsigned I = 0; I < cnstEntries; ++I) {
    Put16(O, I == 0 ? 0 : 0x8100 + I % 0x7EFF);
    Put16(O, 0xFFFF);
    Put32(O, Index + 3 * I);
  }
  // Subshape references and long vectors, for the part of the index read as shapes.
  for (int I = 0; I < 4096; ++I) O.insert(O.end(), {7, 0, 0x81, uint8_t(I), 0x8F, 0x0F});
  O.push_back(0);
  const TDir D;
  const fs::path Path = D.Path / "overlap.shx";
  WriteFile(Path, O);
  const TOutcome R = Bounded([&] {
    TqdSHXFont F(Path.string());
    if (!F.Load()) return "not loaded: " + F.LoadError();
    std::size_t Built = 0, Vertices = 0;
    for (unsigned I = 1; I < cnstEntries; ++I)
      if (const TqdSHXPolyData* G = F.Glyph(0x8100 + I % 0x7EFF, false)) ++Built, Vertices += G->Poly->size();
    return "built " + std::to_string(Built) + ", vertices " + std::to_string(Vertices);
  });
  ExpectMessage(R, "built ", "shx");
}

// ---------------------------------------------------------------- fuzzer findings

// Inputs a campaign stopped on (a run beyond its time limit), kept as they were found:
// each must finish within the case's CPU budget and say something.
TEST(HostileFiles, inputs_the_fuzzer_stopped_on_finish_in_bounds) {
  std::error_code EC;
  int Seen = 0;
  for (const auto& E : fs::directory_iterator(DRAFTWELL_FUZZ_INPUTS, EC)) {
    const std::string Path = E.path().string();
    const TOutcome R = Bounded([&] { return Cli({"info", Path}); });
    EXPECT_EQ(R.Fault, "") << Path << "\n" << R.Text;
    EXPECT_NE(R.Text.find("status "), std::string::npos) << Path;
    ++Seen;
  }
  EXPECT_GT(Seen, 0) << "no inputs in " << DRAFTWELL_FUZZ_INPUTS;
}

}  // namespace
