#include "qdDrawCache.h"

namespace {

bool SamePoint(const TFPoint& A, const TFPoint& B) { return A.X == B.X && A.Y == B.Y && A.Z == B.Z; }

bool SameRun(const TqdTextRun& A, const TqdTextRun& B) {
  if (A.Text != B.Text || A.FontList != B.FontList || A.SHXStyle != B.SHXStyle || A.SHXFont != B.SHXFont ||
      A.TTF != B.TTF || A.ShapeFont != B.ShapeFont || A.IsLine != B.IsLine || A.ColorIndex != B.ColorIndex ||
      A.TrueColor != B.TrueColor || A.RGB != B.RGB || !SamePoint(A.A, B.A) || !SamePoint(A.B, B.B))
    return false;
  for (int R = 0; R < 4; ++R)
    for (int C = 0; C < 3; ++C)
      if (A.Matrix.M(R, C) != B.Matrix.M(R, C)) return false;
  return true;
}

bool SameRuns(const std::vector<TqdTextRun>& A, const std::vector<TqdTextRun>& B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (!SameRun(A[I], B[I])) return false;
  return true;
}

std::size_t BytesOf(const TqdDrawCache::TPaths& P, const std::vector<TqdTextRun>& Runs) {
  std::size_t N = sizeof(P) + P.Used * sizeof(TqdTextPath);
  for (const TqdTextPath& X : P) N += X.Points.size() * sizeof(TFPoint) + X.Counts.size() * sizeof(int);
  for (const TqdTextRun& R : Runs) N += sizeof(R) + R.Text.size() * sizeof(char16_t) + R.SHXFont.size();
  return N + 64;  // the table's node
}

}  // namespace

std::mutex& TqdDrawCache::LazyLock() {
  static std::mutex M;
  return M;
}

std::shared_ptr<const TqdDrawCache::TPaths> TqdDrawCache::TextPaths(const TqdDXFText& T, double ATolerance) {
  {
    std::lock_guard<std::mutex> G(FLock);
    auto It = FTexts.find(&T);
    if (It != FTexts.end()) {
      if (It->second.Tolerance == ATolerance && SameRuns(It->second.Runs, T.Runs())) {
        It->second.Frame = FFrame;
        return It->second.Paths;
      }
      // Changed, or drawn at another zoom: made again below.
      FBytes -= It->second.Bytes;
      FTexts.erase(It);
    }
  }
  // Outlines that are not kept are made in storage this thread reuses.
  thread_local std::shared_ptr<TPaths> Scratch;
  std::shared_ptr<TPaths> P = Scratch && Scratch.use_count() == 1 ? Scratch : std::make_shared<TPaths>();
  {
    std::lock_guard<std::mutex> F(LazyLock());
    P->Used = T.GetPathsReusing(P->Paths, ATolerance);
  }
  std::size_t Bytes = BytesOf(*P, T.Runs());
  {
    std::lock_guard<std::mutex> G(FLock);
    if (MakeRoom(Bytes)) {
      TEntry E;
      E.Runs = T.Runs();
      E.Tolerance = ATolerance;
      E.Bytes = Bytes;
      E.Frame = FFrame;
      // Kept: copied out of the scratch so that its storage stays with the scratch.
      if (P == Scratch) {
        auto Copy = std::make_shared<TPaths>();
        Copy->Paths.assign(P->begin(), P->end());
        Copy->Used = P->Used;
        E.Paths = std::move(Copy);
      } else {
        P->Paths.resize(P->Used);
        E.Paths = P;
      }
      FBytes += Bytes;
      auto Kept = E.Paths;
      FTexts.insert_or_assign(&T, std::move(E));
      return Kept;
    }
  }
  Scratch = P;
  return P;
}

bool TqdDrawCache::MakeRoom(std::size_t Bytes) {
  if (FBytes + Bytes <= cnstBudget) return true;
  if (FSweptFrame == FFrame) return false;
  FSweptFrame = FFrame;
  for (auto It = FTexts.begin(); It != FTexts.end();) {
    if (It->second.Frame != FFrame) {
      FBytes -= It->second.Bytes;
      It = FTexts.erase(It);
    } else {
      ++It;
    }
  }
  return FBytes + Bytes <= cnstBudget;
}

void TqdDrawCache::BeginFrame() {
  std::lock_guard<std::mutex> G(FLock);
  ++FFrame;
}

void TqdDrawCache::Clear() {
  std::lock_guard<std::mutex> G(FLock);
  FTexts.clear();
  FBytes = 0;
}

std::size_t TqdDrawCache::Bytes() const {
  std::lock_guard<std::mutex> G(FLock);
  return FBytes;
}

std::size_t TqdDrawCache::Entries() const {
  std::lock_guard<std::mutex> G(FLock);
  return FTexts.size();
}
