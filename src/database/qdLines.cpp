#include "qdLines.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

#include "TableItems.h"
#include "qdFunction.h"

namespace {

// Per thread: a frame drawn in bands lowers it in one band only.
thread_local int GDashLimit = cnstDefaultDashLimit;
TqdLTypeStrokeMaker& StrokeMaker() {
  static TqdLTypeStrokeMaker M;
  return M;
}

constexpr double cnstPatternEps = 1e-15;
constexpr double cnstPointEps = 1e-9;

// Rounded to the nearest integer (halves to even), less one when that integer exceeds
// X by the pattern tolerance or more. Callers bound X before.
double FloorTol(double X) {
  double R = std::nearbyint(X);
  if (R - X >= cnstPatternEps) R -= 1;
  return R;
}

bool Coincide(const TFPoint& A, const TFPoint& B) {
  return std::fabs(A.X - B.X) < cnstPointEps && std::fabs(A.Y - B.Y) < cnstPointEps &&
         std::fabs(A.Z - B.Z) < cnstPointEps;
}

TFPoint Along(const TFPoint& S, const TFPoint& V, double T) {
  return {S.X + V.X * T, S.Y + V.Y * T, S.Z + V.Z * T};
}

TqdSimpleElement PlainElement(double Dash) {
  TqdSimpleElement S;
  S.Value = Dash;
  return S;
}

void AddPiece(std::vector<TFPoint>& Out, const TFPoint& A, const TFPoint& B) {
  Out.push_back(A);
  Out.push_back(B);
}

}  // namespace

// What an embedded object needs to become strokes, and the strokes once made.
struct TqdEmbeddedStrokes {
  TqdLTypeElement Definition;
  const TqdDXFEntity* Style = nullptr;
  const TqdDXFConverter* Converter = nullptr;
  TqdLTypeStrokeMaker Maker;  // the font layer installed when the pattern was prepared
  std::once_flag Once;
  std::vector<std::vector<TFPoint>> Strokes;
  int Kind = 0;
  double Size = 0;  // width plus height of the object's box
};

namespace {

// Making strokes loads fonts into the drawing's font list: one maker at a time.
std::mutex GStrokeMakerLock;

void MakeStrokes(TqdEmbeddedStrokes& S) {
  if (!S.Maker) return;
  double W = 0, H = 0;
  int Kind = S.Kind;
  std::lock_guard Lock(GStrokeMakerLock);
  if (!S.Maker(S.Definition, S.Style, S.Converter, Kind, S.Strokes, W, H)) {
    S.Strokes.clear();
    return;
  }
  if (std::isfinite(W) && std::isfinite(H)) S.Size = std::fabs(W) + std::fabs(H);
  if (Kind & 3) S.Kind = Kind & 3;
}

}  // namespace

const std::vector<std::vector<TFPoint>>& TqdSimpleElement::Strokes() const {
  static const std::vector<std::vector<TFPoint>> None;
  if (!Embedded) return None;
  std::call_once(Embedded->Once, MakeStrokes, std::ref(*Embedded));
  return Embedded->Strokes;
}

void qdSetLTypeStrokeMaker(TqdLTypeStrokeMaker Maker) { StrokeMaker() = std::move(Maker); }

int qdDashLimit() { return GDashLimit; }

TqdDashLimitGuard::TqdDashLimitGuard(int Limit) : FPrevious(GDashLimit) { GDashLimit = std::max(Limit, 0); }

TqdDashLimitGuard::~TqdDashLimitGuard() { GDashLimit = FPrevious; }

// ---------------------------------------------------------------- definition

void TqdLines::Add(const TqdLTypeElement& AElement) { FElements.push_back(AElement); }

void TqdLines::AddTick(double AValue) {
  TqdLTypeElement E;
  E.Dash = std::isfinite(AValue) ? AValue : 0;
  FElements.push_back(E);
}

void TqdLines::Initialize(const double* AValues, int AHigh) {
  FElements.clear();
  if (!AValues) return;
  for (int I = 0; I <= AHigh; ++I) AddTick(AValues[I]);
}

void TqdLines::Assign(const TqdLines& ASource) {
  if (this == &ASource) return;
  FIsUniform = ASource.FIsUniform;
  FIsAutocadMetod = ASource.FIsAutocadMetod;
  FPatternLength = ASource.FPatternLength;
  FScale = ASource.FScale;
  FElements = ASource.FElements;
  FSimpleElements.clear();
}

void TqdLines::Clear() { FElements.clear(); }

void TqdLines::SetScale(double V) { FScale = std::isfinite(V) && V >= 1e-6 ? V : 1; }

const TqdLTypeElement* TqdLines::GetElement(int AIndex) const {
  return AIndex >= 0 && AIndex < ElementsCount() ? &FElements[static_cast<std::size_t>(AIndex)] : nullptr;
}

TqdLTypeElement* TqdLines::GetElement(int AIndex) {
  return AIndex >= 0 && AIndex < ElementsCount() ? &FElements[static_cast<std::size_t>(AIndex)] : nullptr;
}

double TqdLines::MaxSizeOfPatterns() const {
  double Size = FMaxSizeOfPatterns;
  for (const TqdSimpleElement& S : FSimpleElements)
    if (S.Embedded && !S.Strokes().empty()) Size += S.Embedded->Size;
  return Size;
}

bool TqdLines::IsDotted() const {
  return FSimpleElements.size() >= 2 && FSimpleElements[0].Kind == lkPlain && FSimpleElements[0].Value == 0 &&
         FSimpleElements[1].Kind == lkPlain && FSimpleElements[1].Value < 0;
}

void TqdLines::Loaded(const TqdDXFConverter* AConverter, std::span<const TqdDXFEntity* const> Styles) {
  FPatternLength = 0;
  FMaxSizeOfPatterns = 0;
  FLongest = 0;
  FSimpleElements.clear();
  for (std::size_t I = 0; I < FElements.size(); ++I) {
    const TqdLTypeElement& E = FElements[I];
    const double D = std::isfinite(E.Dash) ? E.Dash : 0;
    FPatternLength += std::fabs(D);
    FMaxSizeOfPatterns += std::fabs(D);
    const TqdDXFEntity* Style = I < Styles.size() ? Styles[I] : nullptr;
    const bool IsText = (E.ComplexType & TqdLTypeElement::cnstText) != 0;
    const bool IsShape = !IsText && (E.ComplexType & TqdLTypeElement::cnstShape) != 0 && Style;
    if (IsText || IsShape) {
      if (D != 0) FSimpleElements.push_back(PlainElement(D));
      // Texts and shapes become strokes through the font layer on first use. Until
      // one is installed they keep their place, offsets, scale and rotation in the
      // pattern and draw nothing.
      TqdSimpleElement S;
      S.Kind = lkSHX;
      if (IsText) {
        const auto* St = dynamic_cast<const TqdDXFStyle*>(Style);
        if (St && !St->FSHXStyle) S.Kind = lkTrueType;
      }
      S.Source = static_cast<int>(I);
      S.Style = Style;
      if (const TqdLTypeStrokeMaker& M = StrokeMaker()) {
        S.Embedded = std::make_shared<TqdEmbeddedStrokes>();
        S.Embedded->Definition = E;
        S.Embedded->Style = Style;
        S.Embedded->Converter = AConverter;
        S.Embedded->Maker = M;
        S.Embedded->Kind = S.Kind;
      }
      if (E.ComplexType & TqdLTypeElement::cnstAbsoluteRotation) S.Kind |= lkAbsolute;
      FSimpleElements.push_back(std::move(S));
    } else {
      FSimpleElements.push_back(PlainElement(D));
    }
  }
  for (const TqdSimpleElement& S : FSimpleElements)
    if (S.Kind == lkPlain) FLongest = std::max(FLongest, std::fabs(S.Value));
  // Without any length the linetype draws solid.
  if (FPatternLength == 0 || !std::isfinite(FPatternLength)) {
    FSimpleElements.clear();
    FPatternLength = 0;
    FLongest = 0;
  }
}

// ---------------------------------------------------------------- cutting

double TqdLines::StartOffset(double A, double B) const {
  double O = 0;
  if (!FSimpleElements.empty() && FSimpleElements[0].Kind == lkPlain) O = std::fabs(FSimpleElements[0].Value);
  if (!FIsUniform) O = (A - B * FPatternLength + O) / 2;
  return O;
}

void TqdLines::PlaceEmbedded(const TqdSimpleElement& E, const TFPoint& S, const TFPoint& V, double T,
                             std::vector<TFPoint>& Out) const {
  // Nothing to place until a font layer has made the strokes.
  const auto& Strokes = E.Strokes();
  if (Strokes.empty()) return;
  const TFPoint Base = Along(S, V, T);
  double Angle = 0;
  if ((E.Kind & lkAbsolute) == 0 && (V.X != 0 || V.Y != 0)) Angle = std::atan2(V.Y, V.X);
  const double C = std::cos(Angle) * FScale, Sn = std::sin(Angle) * FScale;
  const long long Limit = 8LL * qdDashLimit();
  auto Map = [&](const TFPoint& P) {
    return TFPoint{Base.X + P.X * C - P.Y * Sn, Base.Y + P.X * Sn + P.Y * C, Base.Z + P.Z * FScale};
  };
  for (const auto& Stroke : Strokes)
    for (std::size_t K = 1; K < Stroke.size(); ++K) {
      if (static_cast<long long>(Out.size()) > Limit) return;
      AddPiece(Out, Map(Stroke[K - 1]), Map(Stroke[K]));
    }
}

void TqdLines::Line(const TFPoint& APoint1, const TFPoint& APoint2, std::vector<TFPoint>& ADottedPoints) const {
  const TFPoint V = SubFPoint(APoint2, APoint1);
  const double P = FPatternLength;
  const int N = qdDashLimit();
  double A = 0, B = 0;
  if (P != 0) {
    A = VectorLength(V) / FScale;
    if (static_cast<double>(N) * P > A) {
      B = FloorTol(A / P);
    } else {
      A = 0;
      B = static_cast<double>(N) + 1;
    }
  }
  if (!(A > 0) || B == 0 || P == 0 || !(B <= N) || FSimpleElements.empty()) {
    if (IsDotted() && B == 0) {
      AddPiece(ADottedPoints, APoint1, APoint1);
      AddPiece(ADottedPoints, APoint2, APoint2);
    } else {
      AddPiece(ADottedPoints, APoint1, APoint2);
    }
    return;
  }
  const double O = StartOffset(A, B);
  const int Count = static_cast<int>(FSimpleElements.size());
  const int Patterns = static_cast<int>(B);
  // Every element moves the walk on or ends it, but sums of doubles need not reach A
  // exactly: the walk never visits more elements than the whole patterns allow.
  const long long Cap = (static_cast<long long>(Patterns) + 2) * Count;
  const TFPoint S = APoint1;
  auto At = [&](double X) { return Along(S, V, X / A); };
  double D = 0;
  int Index = 0, I = 0;
  for (long long Step = 0; Step < Cap; ++Step) {
    const TqdSimpleElement& E = FSimpleElements[static_cast<std::size_t>(Index)];
    // The first element of the first pattern takes the start offset as its length,
    // which centres the pattern on the segment (or starts it plainly when uniform).
    const bool First = Index == 0 && I == 0;
    if (E.Kind == lkPlain) {
      const double G = E.Value;
      const double Span = First ? O : std::fabs(G);
      if (G > 0) {
        double End = (!FIsUniform && I >= Patterns) ? A : D + Span;  // the last dash runs to the end
        if (End > A) End = A;
        AddPiece(ADottedPoints, At(D), At(End));
        D = End;
      } else if (G < 0) {
        D += Span;
      } else {
        if (I == Patterns) D = A;
        const TFPoint Dot = At(D);
        AddPiece(ADottedPoints, Dot, Dot);
        if (First) D += Span;
      }
    } else {
      PlaceEmbedded(E, S, V, D / A, ADottedPoints);
      if (First) D += O;
    }
    if (D > A || std::fabs(D - A) < cnstPatternEps) break;
    if (++Index == Count) {
      Index = 0;
      ++I;
    }
  }
}

void TqdLines::Poly(std::span<const TFPoint> APoints, std::vector<TFPoint>& ADottedPoints, bool AClose) const {
  const std::size_t N = APoints.size();
  for (std::size_t K = 0; K + 1 < N; ++K) {
    if (K > 0 && Coincide(APoints[K], APoints[K + 1])) continue;
    Line(APoints[K], APoints[K + 1], ADottedPoints);
  }
  if (AClose && N >= 2 && !Coincide(APoints[N - 1], APoints[0])) Line(APoints[N - 1], APoints[0], ADottedPoints);
}

void TqdLines::Curve(std::span<const TFPoint> APoints, std::vector<TFPoint>& ADottedPoints, bool AClose) const {
  if (APoints.empty()) return;
  // Scratch kept between calls: curves are cut once per entity and frame.
  thread_local std::vector<TFPoint> Q;
  thread_local std::vector<double> L;
  Q.clear();
  L.clear();
  // Zero-length segments are dropped; the others' lengths are kept.
  Q.push_back(APoints[0]);
  double T = 0, Longest = 0;
  const bool AddFirst = AClose && !Coincide(APoints.back(), APoints.front());
  const std::size_t Total = APoints.size() + (AddFirst ? 1 : 0);
  for (std::size_t K = 1; K < Total; ++K) {
    const TFPoint& P = K < APoints.size() ? APoints[K] : APoints[0];
    const double Len = Distance(Q.back(), P);
    if (Len == 0) continue;
    Q.push_back(P);
    L.push_back(Len);
    T += Len;
    Longest = std::max(Longest, Len);
  }
  if (T == 0) {
    AddPiece(ADottedPoints, Q[0], Q[0]);
    return;
  }
  const double P = FPatternLength, S = FScale;
  const int N = qdDashLimit();
  double V = 0, K = S, O = 0, TP = 0;
  const double FirstPlain =
      !FSimpleElements.empty() && FSimpleElements[0].Kind == lkPlain ? std::fabs(FSimpleElements[0].Value) : 0;
  if (P == 0) {
    V = 0;
  } else if (!FIsAutocadMetod) {
    V = T / (P * S);
    if (V <= N) V = FloorTol(V);
    if (AClose && V >= 1 && V <= N) {
      K = T / (V * P);
      TP = V * P;
    } else {
      TP = T / S;
    }
    O = StartOffset(TP, V);
  } else if (!AClose) {
    V = std::trunc(T / (P * S));
    TP = T / S;
    O = (FirstPlain + TP - V * P) / 2;
  } else {
    const double Q1 = T / (P * S);
    if (Q1 >= 1) {
      V = Q1 <= N ? std::max(2.0, std::nearbyint(Q1)) : Q1;
      K = T / V / P;
      TP = V * P;
      O = StartOffset(TP, V);
    } else {
      V = 0;
      TP = T / S;
    }
  }
  const bool Dense = !(Longest <= static_cast<double>(N) * S * P);
  if (!(TP > 0) || V == 0 || P == 0 || !(V <= N) || FSimpleElements.empty() || Dense) {
    if (IsDotted() && V == 0) {
      AddPiece(ADottedPoints, Q.front(), Q.front());
      AddPiece(ADottedPoints, Q.back(), Q.back());
    } else {
      for (std::size_t J = 0; J + 1 < Q.size(); ++J) AddPiece(ADottedPoints, Q[J], Q[J + 1]);
    }
    return;
  }
  for (double& H : L) H /= K;
  CurveWalk(Q, L, TP, V, O, ADottedPoints);
}

void TqdLines::CurveWalk(const std::vector<TFPoint>& Q, const std::vector<double>& H, double T, double V,
                         double O, std::vector<TFPoint>& Out) const {
  const bool Centred = !FIsUniform || FIsAutocadMetod;
  const bool RunToEnd = !FIsUniform;  // the last pattern's element runs to the very end
  const bool DotToEnd = !FIsUniform || FIsAutocadMetod;
  const std::size_t Segs = H.size();
  const int Count = static_cast<int>(FSimpleElements.size());
  const long long Patterns = static_cast<long long>(V);
  const long long Cap = (Patterns + 2) * Count;
  std::size_t Seg = 0;
  double W = 0, U = 0, Len = H[0];
  long long C = 0;
  int Index = 0;
  auto At = [&](double X) {
    const TFPoint& A = Q[Seg];
    const TFPoint& B = Q[Seg + 1];
    const double F = X / Len;
    return TFPoint{A.X + (B.X - A.X) * F, A.Y + (B.Y - A.Y) * F, A.Z + (B.Z - A.Z) * F};
  };
  // Moves the position on by Span; a dash (open at the current position) follows the
  // curve round its vertices. False when the walk has reached the curve's end.
  auto Advance = [&](double Span, bool Dash) {
    W += Span;
    while (W >= Len || (RunToEnd && C >= Patterns)) {
      if (Dash) Out.push_back(Q[Seg + 1]);
      U += Len;
      if (U >= T || Seg + 1 >= Segs) return false;
      if (Dash) Out.push_back(Q[Seg + 1]);
      W -= Len;
      ++Seg;
      Len = H[Seg];
    }
    if (Dash) Out.push_back(At(W));
    return true;
  };
  for (long long Step = 0; Step < Cap; ++Step) {
    const TqdSimpleElement& E = FSimpleElements[static_cast<std::size_t>(Index)];
    // In centred modes the first element of the first and of the last pattern take the
    // start offset as their length, so that the leftover splits between both ends.
    const bool First = Centred && Index == 0 && (C == 0 || C == Patterns);
    if (E.Kind == lkPlain) {
      const double G = E.Value;
      const double Span = First ? O : std::fabs(G);
      if (G != 0) {
        if (G > 0) Out.push_back(At(W));
        if (!Advance(Span, G > 0)) return;
      } else {
        if (C >= Patterns && DotToEnd) {
          const TFPoint& End = Q.back();
          AddPiece(Out, End, End);
          return;
        }
        const TFPoint Dot = At(W);
        AddPiece(Out, Dot, Dot);
        if (U >= T) return;
        if (First && !Advance(Span, false)) return;
      }
    } else {
      PlaceEmbedded(E, Q[Seg], SubFPoint(Q[Seg + 1], Q[Seg]), W / Len, Out);
      if (First && !Advance(O, false)) return;
    }
    if (++Index == Count) {
      Index = 0;
      ++C;
    }
  }
}

void TqdLines::Vertexes(std::span<const TFPoint> APoints, std::span<const int> ACounts,
                        std::vector<TFPoint>& ADottedPoints, bool Close) const {
  const std::size_t N = APoints.size();
  if (N == 0) return;
  if (FIsUniform) {
    std::vector<TFPoint> Q;
    Q.reserve(N + 1);
    for (const TFPoint& P : APoints)
      if (Q.empty() || !(P == Q.back())) Q.push_back(P);
    if (Close && !(Q.back() == Q.front())) Q.push_back(Q.front());
    Curve(Q, ADottedPoints, FIsAutocadMetod && Close);
    return;
  }
  // Counts come from the polyline's vertices: a run never reaches past the points.
  std::size_t I = 0;
  for (const int C : ACounts) {
    if (I >= N) break;
    if (C < 1) continue;  // records that make no point
    const std::size_t Run = std::min(static_cast<std::size_t>(C), N - I);
    const bool Skip = I > 0 && I + 1 < N && APoints[I] == APoints[I + 1];
    if (!Skip) {
      if (C == 1) {
        if (I + 1 < N) Line(APoints[I], APoints[I + 1], ADottedPoints);
      } else {
        Curve(APoints.subspan(I, Run), ADottedPoints, false);
      }
    }
    I += Run;
  }
  if (Close && N >= 2 && !(APoints[N - 1] == APoints[0])) Line(APoints[N - 1], APoints[0], ADottedPoints);
}
