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
  std::size_t N = sizeof(P) + P.size() * sizeof(TqdTextPath);
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
      if (It->second.Tolerance == ATolerance && SameRuns(It->second.Runs, T.Runs())) return It->second.Paths;
      // Changed, or drawn at another zoom: made again below.
      FBytes -= It->second.Bytes;
      FTexts.erase(It);
    }
  }
  auto P = std::make_shared<TPaths>();
  {
    std::lock_guard<std::mutex> F(LazyLock());
    P->resize(T.GetPathsReusing(*P, ATolerance));
  }
  TEntry E;
  E.Runs = T.Runs();
  E.Tolerance = ATolerance;
  E.Bytes = BytesOf(*P, E.Runs);
  E.Paths = P;
  std::lock_guard<std::mutex> G(FLock);
  if (FBytes + E.Bytes <= cnstBudget) {
    FBytes += E.Bytes;
    FTexts.insert_or_assign(&T, std::move(E));
  }
  return P;
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
