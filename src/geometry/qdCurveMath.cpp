#include "qdCurveMath.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "qdFunction.h"
#include "qdShapeEdge.h"

void ArcSweepAngles(double& StartDeg, double& EndDeg) {
  if (!(EndDeg < StartDeg)) return;
  // Reduce both to [0, 360) first: moving the end up once is not enough for
  // angles several turns apart.
  StartDeg = std::fmod(StartDeg, 360.0);
  if (StartDeg < 0) StartDeg += 360;
  EndDeg = std::fmod(EndDeg, 360.0);
  if (EndDeg < 0) EndDeg += 360;
  if (EndDeg < StartDeg) EndDeg += 360;
}

void EllipseArcPoints(const TFPoint& C, double RX, double RY, double CosT, double SinT,
                      double StartDeg, double EndDeg, int N, TFPointList& Out) {
  if (N < 1) N = 1;
  const double s = DegreesToRadians(StartDeg);
  const double e = DegreesToRadians(EndDeg);
  const double step = (e - s) / N;
  auto add = [&](double ca, double sa) {
    Out.Add({C.X + RX * ca * CosT - RY * sa * SinT, C.Y + RX * ca * SinT + RY * sa * CosT, C.Z});
  };
  // Whole circles repeat the same angles: their sines and cosines are computed once
  // per count (the same values, so the same points).
  if (StartDeg == 0 && EndDeg == 360 && N <= 4096) {
    // Indexed by count (views choose counts by size, so many are in use at once);
    // all are dropped when they pass a million values.
    thread_local std::vector<std::vector<double>> Turns;
    thread_local std::size_t Held = 0;
    if (Turns.size() <= static_cast<std::size_t>(N)) Turns.resize(static_cast<std::size_t>(N) + 1);
    if (Turns[static_cast<std::size_t>(N)].empty()) {
      const std::size_t Need = 2 * static_cast<std::size_t>(N) + 2;
      if (Held + Need > (1u << 20)) {
        for (auto& X : Turns) std::vector<double>().swap(X);
        Held = 0;
      }
      std::vector<double>& X = Turns[static_cast<std::size_t>(N)];
      X.reserve(Need);
      for (int i = 0; i <= N; ++i) {
        const double a = i == N ? e : s + i * step;
        X.push_back(std::cos(a));
        X.push_back(std::sin(a));
      }
      Held += Need;
    }
    const std::vector<double>& CS = Turns[static_cast<std::size_t>(N)];
    Out.SetCapacity(std::max(Out.Capacity(), Out.Count() + N + 1));
    for (int i = 0; i <= N; ++i) add(CS[2 * i], CS[2 * i + 1]);
    return;
  }
  for (int i = 0; i <= N; ++i) {
    const double a = i == N ? e : s + i * step;
    add(std::cos(a), std::sin(a));
  }
}

void UnionConicArcBox(TFRect& Box, const TFPoint& C, const TFPoint& A, const TFPoint& B, double T0,
                      double Sweep) {
  if (!std::isfinite(T0) || !std::isfinite(Sweep)) return;
  if (Sweep < 0) {
    T0 += Sweep;
    Sweep = -Sweep;
  }
  const double turn = 2 * cnstPi;
  if (Sweep >= turn) {
    // A whole turn reaches C ± |(a, b)| on each axis.
    const double ex = std::hypot(A.X, B.X), ey = std::hypot(A.Y, B.Y), ez = std::hypot(A.Z, B.Z);
    UnionBoxPoint(Box, {C.X - ex, C.Y - ey, C.Z - ez});
    UnionBoxPoint(Box, {C.X + ex, C.Y + ey, C.Z + ez});
    return;
  }
  auto add = [&](double t) {
    const double c = std::cos(t), s = std::sin(t);
    UnionBoxPoint(Box, {C.X + A.X * c + B.X * s, C.Y + A.Y * c + B.Y * s, C.Z + A.Z * c + B.Z * s});
  };
  add(T0);
  add(T0 + Sweep);
  // Each coordinate is a·cos t + b·sin t: extreme where t = atan2(b, a) and half a turn on.
  const double comps[3][2] = {{A.X, B.X}, {A.Y, B.Y}, {A.Z, B.Z}};
  for (const auto& ab : comps) {
    if (ab[0] == 0 && ab[1] == 0) continue;
    const double phi = std::atan2(ab[1], ab[0]);
    for (const double t : {phi, phi + cnstPi}) {
      double d = std::fmod(t - T0, turn);
      if (d < 0) d += turn;
      if (d <= Sweep) add(T0 + d);
    }
  }
}

TFPoint BulgeCenter(const TFPoint& P1, const TFPoint& P2, double Bulge) {
  if (IsStraightBulge(Bulge)) return MiddleFPoint(P1, P2);
  const double mx = (P1.X + P2.X) / 2, my = (P1.Y + P2.Y) / 2;
  const double hx = P1.X - mx, hy = P1.Y - my;
  const double t = (1 - Bulge * Bulge) / (2 * Bulge);
  return {mx + hy * t, my - hx * t, P1.Z};
}

namespace {
// A tangent component outside [-1, 1] is noise from the writer.
TFPoint CleanTangent(TFPoint T) {
  if (!(T.X >= -1 && T.X <= 1)) T.X = 0;
  if (!(T.Y >= -1 && T.Y <= 1)) T.Y = 0;
  if (!std::isfinite(T.Z)) T.Z = 0;
  return T;
}

bool IsAbsent(const TFPoint& T) {
  return T.X == 0 && T.Y == 0 && T.Z == 0;
}
} // namespace

double InterpolateFitPoints(TFPointList& Fit, TFPoint BeginTangent, TFPoint EndTangent, int Parts,
                            TFPointList& Out) {
  BeginTangent = CleanTangent(BeginTangent);
  EndTangent = CleanTangent(EndTangent);
  const bool hasBegin = !IsAbsent(BeginTangent), hasEnd = !IsAbsent(EndTangent);
  // One distance function both for dropping coincident points and for the
  // parameters, so that no interval of length 0 survives.
  TFPointList clean;
  for (const TFPoint& p : Fit)
    if (clean.Count() == 0 || Distance(clean.GetLast(), p) > 0) clean.Add(p);
  Fit.Assign(clean);
  const int cnt = Fit.Count();
  double len = 0;
  for (int i = 1; i < cnt; ++i) len += Distance(Fit[i - 1], Fit[i]);
  if (cnt < 2 || !(len > 0) || !std::isfinite(len)) return len;
  if (Parts < 1) Parts = 1;

  const int n = cnt - 1; // intervals
  std::vector<double> u(cnt), h(n);
  u[0] = 0;
  for (int i = 1; i < cnt; ++i) u[i] = u[i - 1] + Distance(Fit[i - 1], Fit[i]) / len;
  u[n] = 1;
  for (int i = 0; i < n; ++i) h[i] = u[i + 1] - u[i];

  std::vector<double> m[3];
  std::vector<double> a(cnt), b(cnt), c(cnt), d(cnt);
  for (int k = 0; k < 3; ++k) {
    auto y = [&](int i) { return Fit[i][k]; };
    // first row
    if (hasBegin) {
      a[0] = 0, b[0] = 1, c[0] = 0, d[0] = BeginTangent[k] * len;
    } else {
      a[0] = 0, b[0] = 2, c[0] = 1, d[0] = h[0] > 0 ? 3 * (y(1) - y(0)) / h[0] : 0;
    }
    for (int i = 1; i < n; ++i) {
      const double h0 = h[i - 1], h1 = h[i];
      if (!(h0 > 0) || !(h1 > 0)) { // skip a degenerate interval: keep the slope flat
        a[i] = 0, b[i] = 1, c[i] = 0, d[i] = 0;
        continue;
      }
      const double s = 1 / (h0 + h1);
      a[i] = h1 * s;
      b[i] = 2 * (h0 + h1) * s;
      c[i] = h0 * s;
      d[i] = 3 * (h1 * (y(i) - y(i - 1)) / h0 + h0 * (y(i + 1) - y(i)) / h1) * s;
    }
    if (hasEnd) {
      a[n] = 0, b[n] = 1, c[n] = 0, d[n] = EndTangent[k] * len;
    } else {
      a[n] = 1, b[n] = 2, c[n] = 0, d[n] = h[n - 1] > 0 ? 3 * (y(n) - y(n - 1)) / h[n - 1] : 0;
    }
    // forward elimination, back substitution
    std::vector<double> cp(cnt), dp(cnt);
    cp[0] = c[0] / b[0];
    dp[0] = d[0] / b[0];
    for (int i = 1; i <= n; ++i) {
      const double den = b[i] - a[i] * cp[i - 1];
      const double r = den != 0 ? 1 / den : 0;
      cp[i] = c[i] * r;
      dp[i] = (d[i] - a[i] * dp[i - 1]) * r;
    }
    m[k].assign(cnt, 0);
    m[k][n] = dp[n];
    for (int i = n - 1; i >= 0; --i) m[k][i] = dp[i] - cp[i] * m[k][i + 1];
  }

  for (int j = 0; j < n; ++j) {
    for (int s = 0; s < Parts; ++s) {
      const double t = static_cast<double>(s) / Parts;
      const double h00 = (1 - t) * (1 - t) * (1 + 2 * t), h01 = t * t * (3 - 2 * t);
      const double h10 = (1 - t) * (1 - t) * t, h11 = (1 - t) * t * t;
      TFPoint p;
      for (int k = 0; k < 3; ++k)
        p[k] =
            h00 * Fit[j][k] + h01 * Fit[j + 1][k] + h10 * h[j] * m[k][j] - h11 * h[j] * m[k][j + 1];
      Out.Add(IsFiniteFPoint(p) ? p : Fit[j]);
    }
  }
  Out.SetLast(Fit.GetLast());
  return len;
}
