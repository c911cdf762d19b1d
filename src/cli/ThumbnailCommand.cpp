// draftwell-cli thumbnail: a small square picture for file managers. A file
// manager waits for it, so a huge drawing is read only for a while and drawn
// with what was read by then.
#include <charconv>
#include <chrono>
#include <cstdio>

#include "CADImage.h"
#include "Info.h"
#include "RenderCommand.h"
#include "qdExport.h"

namespace {

const char* const kThumbnail = "draftwell-cli thumbnail";

const char* const kThumbnailUsage =
    "Usage: draftwell-cli thumbnail FILE OUT.png [--size N] [--budget MS]\n"
    "  Draws the drawing's default layout fitted into an NxN PNG picture (default\n"
    "  256) on white, for file managers. Reading stops after MS milliseconds\n"
    "  (default 1000; 0: no limit) and what was read by then is drawn.\n"
    "  Nothing is written when the drawing cannot be read.\n";

constexpr int cDefaultSize = 256, cMaxSize = 4096;
constexpr long cDefaultBudgetMs = 1000, cMaxBudgetMs = 3600000;

bool ParseCount(const std::string& S, long Min, long Max, long& V) {
  long R = 0;
  const auto [End, Ec] = std::from_chars(S.data(), S.data() + S.size(), R);
  if (Ec != std::errc() || End != S.data() + S.size() || R < Min || R > Max) return false;
  V = R;
  return true;
}

struct TThumbnailJob {
  std::string File, Output;
  long Size = cDefaultSize;
  long BudgetMs = cDefaultBudgetMs;
};

// 0 to go on, else the exit status of a usage error or of --help.
int ParseArgs(const std::vector<std::string>& Args, TThumbnailJob& J, std::string& Out, std::string& Err) {
  std::vector<std::string> Files;
  for (std::size_t I = 1; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    const bool HasValue = I + 1 < Args.size();
    if (A == "--help" || A == "-h") {
      Out += kThumbnailUsage;
      return -1;
    } else if (A == "--size") {
      if (!HasValue || !ParseCount(Args[++I], 1, cMaxSize, J.Size)) {
        Err += std::string(kThumbnail) + ": --size wants a whole number of pixels, 1 to " +
               std::to_string(cMaxSize) + "\n";
        return 2;
      }
    } else if (A == "--budget") {
      if (!HasValue || !ParseCount(Args[++I], 0, cMaxBudgetMs, J.BudgetMs)) {
        Err += std::string(kThumbnail) + ": --budget wants milliseconds, 0 to " + std::to_string(cMaxBudgetMs) +
               "\n";
        return 2;
      }
    } else if (A.size() > 1 && A[0] == '-') {
      Err += std::string(kThumbnail) + ": unknown option '" + A + "'\n";
      return 2;
    } else {
      Files.push_back(A);
    }
  }
  if (Files.size() != 2) {
    // The usage line and where the rest is, not the whole help.
    const std::string U = kThumbnailUsage;
    Err += U.substr(0, U.find('\n') + 1) + "see 'draftwell-cli thumbnail --help'\n";
    return 2;
  }
  J.File = Files[0];
  J.Output = Files[1];
  return 0;
}

}  // namespace

int ThumbnailCommand(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  TThumbnailJob J;
  if (const int R = ParseArgs(Args, J, Out, Err)) return R < 0 ? 0 : R;
  RegisterCliFormats();
  EnsureCliApplication();
  using TClock = std::chrono::steady_clock;
  const TClock::time_point T0 = TClock::now();
  const TClock::time_point Deadline = T0 + std::chrono::milliseconds(J.BudgetMs);
  bool Stopped = false;
  // A load stopped twice would also drop what was read and not yet loaded.
  const TqdProgressEvent StopAtDeadline = [&](TqdGraphic* G, TqdProgressStage Stage, int, const std::string&) {
    if (Stopped || J.BudgetMs == 0 || Stage != psRunning || TClock::now() < Deadline) return;
    if (auto* I = dynamic_cast<TqdCADImage*>(G)) {
      I->StopLoading();
      Stopped = true;
    }
  };
  TqdPicture Picture;
  bool ReadOk = false;
  TqdCADImage* Img = LoadCliDrawing(Picture, J.File, kThumbnail, Err, ReadOk, StopAtDeadline);
  if (!Img) return 1;
  if (!SelectCliLayout(*Img, {}, kThumbnail, Err)) return 1;
  Img->SetBackgroundColor(0xFFFFFF);
  Img->SetDefaultColor(0);
  const int N = static_cast<int>(J.Size);
  std::string Why;
  if (!qdWritePNG(*Img, J.Output, N, N, Why)) {
    Err += std::string(kThumbnail) + ": " + Why + "\n";
    return 1;
  }
  const double Ms = std::chrono::duration<double, std::milli>(TClock::now() - T0).count();
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%.1f", Ms);
  Out += "wrote " + J.Output + " (" + std::to_string(N) + "x" + std::to_string(N) + ") in " + Buf + " ms" +
         (Stopped ? ", reading stopped after " + std::to_string(J.BudgetMs) + " ms" : std::string()) + "\n";
  // A stop at the deadline is what was asked for; a file that is damaged is not.
  return ReadOk || Stopped ? 0 : 1;
}
