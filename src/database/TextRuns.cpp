// Runs of text: decoding of text codes, font measurement and glyph outlines.
#include <algorithm>
#include <cmath>

#include "SHXFontList.h"
#include "TTF.h"
#include "qdCodePages.h"
#include "Texts.h"
#include "qdFunction.h"

namespace {

int HexValue(char16_t C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

char16_t Lower(char16_t C) { return (C >= 'A' && C <= 'Z') ? char16_t(C + 32) : C; }

// Bulge arcs of SHX strokes: a few segments per arc, enough at text sizes, and
// fewer when ATolerance (font units, 0 for full detail) allows: small texts are
// drawn often and their arcs span a pixel or two.
void AppendBulge(const TFPoint& P1, const TFPoint& P2, double Bulge, double ATolerance, std::vector<TFPoint>& Out) {
  if (!(std::fabs(Bulge) > 1e-10) || !std::isfinite(Bulge)) {
    Out.push_back(P2);
    return;
  }
  const double DX = P2.X - P1.X, DY = P2.Y - P1.Y;
  const double L = std::sqrt(DX * DX + DY * DY);
  if (!(L > 1e-12)) {
    Out.push_back(P2);
    return;
  }
  const double Theta = 4 * std::atan(Bulge);
  const double H = L * (1 - Bulge * Bulge) / (4 * Bulge);
  const double CX = (P1.X + P2.X) / 2 - DY / L * H, CY = (P1.Y + P2.Y) / 2 + DX / L * H;
  const double R = std::sqrt((P1.X - CX) * (P1.X - CX) + (P1.Y - CY) * (P1.Y - CY));
  int N = std::clamp(static_cast<int>(std::ceil(std::fabs(Theta) / (M_PI / 8))), 2, 16);
  if (ATolerance > 0 && R > 0) {
    // Segments whose sagitta stays within the tolerance.
    const double Step = ATolerance >= R ? M_PI : 2 * std::acos(1 - ATolerance / R);
    N = std::clamp(static_cast<int>(std::ceil(std::fabs(Theta) / Step)), 1, N);
  }
  const double A0 = std::atan2(P1.Y - CY, P1.X - CX);
  for (int I = 1; I < N; ++I) {
    const double A = A0 + Theta * I / N;
    Out.push_back({CX + R * std::cos(A), CY + R * std::sin(A), 0});
  }
  Out.push_back(P2);
}

std::string MapFor(const std::u16string& S) { return std::string(S.size(), char(stNormal)); }

// The SHX strokes of a run in font units.
bool SHXPoly(const TqdTextRun& R, TqdSHXVertexList& Poly, TqdFontParams& P) {
  if (R.ShapeFont) {
    if (R.Text.empty()) return false;
    TqdFontProcParams FP;
    FP.Poly = &Poly;
    double OX = 0, OY = 0;
    if (!R.ShapeFont->GetSymbol(R.Text[0], 0, 0, FP, Poly, OX, OY)) return false;
    // Shape files have no font record: a vector unit is one unit of the shape's size.
    P.Above = R.ShapeFont->Above() > 0 ? R.ShapeFont->Above() : 1;
    P.Below = R.ShapeFont->Below();
    P.Right = OX;
    return true;
  }
  if (!R.FontList) return false;
  const std::string Map = MapFor(R.Text);
  if (R.SHXStyle) return R.FontList->DrawText(R.SHXStyle, {}, R.Text, Map, 0, Poly, P);
  return R.FontList->DrawTextInFont(R.SHXFont, {}, R.Text, Map, 0, false, false, Poly, P);
}

}  // namespace

double qdClampOblique(double A) {
  if (!std::isfinite(A)) return 0;
  A = std::fmod(A, 360.0);
  if (A > 180) A -= 360;
  if (A <= -180) A += 360;
  return std::clamp(A, -85.0, 85.0);
}

std::u16string qdDecodeTextCodes(std::string_view AText, bool* AUnder, bool* AOver) {
  const std::u16string S = SHXWideFromUTF8(AText);
  std::u16string R;
  R.reserve(S.size());
  const std::size_t N = S.size();
  for (std::size_t I = 0; I < N;) {
    const char16_t C = S[I];
    if (C == '%' && I + 1 < N && S[I + 1] == '%') {
      if (I + 2 >= N) break;  // a trailing "%%" shows nothing
      const char16_t D = Lower(S[I + 2]);
      if (D == '%') R += u'%', I += 3;
      else if (D == 'd') R += u'\u00B0', I += 3;
      else if (D == 'p') R += u'\u00B1', I += 3;
      else if (D == 'c') R += u'\u2205', I += 3;
      else if (D == 'u') {
        if (AUnder) *AUnder = !*AUnder;
        I += 3;
      } else if (D == 'o') {
        if (AOver) *AOver = !*AOver;
        I += 3;
      } else if (D >= '0' && D <= '9') {
        int V = 0;
        std::size_t K = I + 2;
        for (; K < N && K < I + 5 && S[K] >= '0' && S[K] <= '9'; ++K) V = V * 10 + (S[K] - '0');
        // 127 to 129 are the degree, plus-minus and diameter signs of the classic
        // shape fonts (control characters in Unicode); the rest read as Latin-1.
        if (V == 127) R += u'\u00B0';
        else if (V == 128) R += u'\u00B1';
        else if (V == 129) R += u'\u2205';
        else R += V > 0 && V < 256 ? char16_t(V) : u'?';
        I = K;
      } else {
        I += 3;  // an unknown code is dropped
      }
      continue;
    }
    if (C == '\\' && I + 1 < N) {
      const char16_t D = S[I + 1];
      if (D == '\\') {
        R += u'\\';
        I += 2;
        continue;
      }
      if ((D == 'U' || D == 'u') && I + 2 < N && S[I + 2] == '+') {
        std::size_t K = I + 3;
        int V = 0, Digits = 0;
        for (; K < N && Digits < 4 && HexValue(S[K]) >= 0; ++K, ++Digits) V = V * 16 + HexValue(S[K]);
        if (Digits == 4 && V != 0) R += char16_t(V);
        I = K;
        continue;
      }
      if ((D == 'M' || D == 'm') && I + 2 < N && S[I + 2] == '+') {
        // A double-byte character of an East Asian code page: the family digit picks
        // the page, the four hexadecimal digits are lead and trail byte.
        std::size_t K = I + 3;
        int Digits = 0, Family = 0, V = 0;
        for (; K < N && Digits < 5 && (Digits == 0 ? S[K] >= '0' && S[K] <= '9' : HexValue(S[K]) >= 0); ++K) {
          if (Digits == 0) Family = S[K] - '0';
          else V = V * 16 + HexValue(S[K]);
          ++Digits;
        }
        if (Digits == 5) {
          const int Page = Family == 1 ? 932 : Family == 2 ? 950 : Family == 3 ? 949 : Family == 5 ? 936 : 932;
          const std::u16string W = SHXWideFromUTF8(DoubleByteCharToUTF8(Page, uint8_t(V >> 8), uint8_t(V & 0xFF)));
          R += W.empty() ? std::u16string(u"?") : W;
        }
        I = K;
        continue;
      }
    }
    R += C;
    ++I;
  }
  return R;
}

bool qdMeasureRun(const TqdTextRun& R, TqdRunMetrics& M) {
  M = {};
  if (R.IsLine) return false;
  if (R.TTF) {
    TFRect B = cnstBadRect;
    R.TTF->GetBoxW({}, R.Text, B);
    if (!(R.TTF->FKoef > 0)) return false;
    M.Units = cnstTTFCellHeight / R.TTF->FKoef;
    M.Descent = R.TTF->FBelow;
    M.Ascent = R.TTF->FAbove > 0 ? R.TTF->FAbove : M.Units;
    if (IsFiniteBox(B) && !IsBadBox(B)) {
      M.Advance = B.Right;
      M.InkTop = B.Top;
      M.InkBottom = B.Bottom;
    } else {
      M.InkTop = M.Units;
    }
    return true;
  }
  TqdSHXVertexList Poly;
  TqdFontParams P;
  const bool Ok = SHXPoly(R, Poly, P);
  if (!Ok || !(P.Above > 0)) return false;
  M.Units = P.Above;
  M.Descent = P.Below;
  M.Ascent = P.Above;
  M.Advance = P.Right;
  M.InkTop = P.Above;
  M.InkBottom = -P.Below;
  if (!Poly.empty()) {
    double Lo = 1e300, Hi = -1e300;
    for (const TqdSHXVertex& V : Poly) Lo = std::min(Lo, V.Y), Hi = std::max(Hi, V.Y);
    M.InkTop = Hi;
    M.InkBottom = std::min(Lo, 0.0);
  }
  return true;
}

namespace {
// Fills Path (its storage kept from earlier use) with the run's outlines; false
// when the run has none.
bool RunPathInto(const TqdTextRun& R, const TFMatrix& AMatrix, TqdTextPath& Path, double ATolerance) {
  const TFMatrix M = ComposeMatrices(R.Matrix, AMatrix);
  Path.Points.clear();
  Path.Counts.clear();
  Path.Filled = false;
  Path.ColorIndex = R.ColorIndex;
  Path.TrueColor = R.TrueColor;
  Path.RGB = R.RGB;
  if (R.IsLine) {
    Path.Points.push_back(TransformPoint(R.A, M));
    Path.Points.push_back(TransformPoint(R.B, M));
    Path.Counts.push_back(2);
    return true;
  }
  if (R.Text.empty()) return false;
  if (R.TTF) {
    std::vector<TFPointList> L;
    // Output units per cell unit: the larger axis, so that no direction exceeds it.
    const double Scale = std::max(std::hypot(M.EX.X, M.EX.Y, M.EX.Z), std::hypot(M.EY.X, M.EY.Y, M.EY.Z));
    const double CellTolerance = ATolerance > 0 && Scale > 0 ? ATolerance / Scale : 0;
    R.TTF->GetPolyPolylineW({}, R.Text, nullptr, L, M, 0, CellTolerance);
    for (const TFPointList& C : L) {
      if (C.Count() < 2) continue;
      for (int I = 0; I < C.Count(); ++I) Path.Points.push_back(C[I]);
      Path.Counts.push_back(C.Count());
    }
    Path.Filled = true;
  } else if (R.FontList || R.ShapeFont) {
    // The tolerance in font units: the larger axis, so that no direction exceeds it.
    const double Scale = std::max(std::hypot(M.EX.X, M.EX.Y, M.EX.Z), std::hypot(M.EY.X, M.EY.Y, M.EY.Z));
    double FontTolerance = ATolerance > 0 && Scale > 0 ? ATolerance / Scale : 0;
    // Steps of two, so that strokes made for one zoom serve the zooms near it.
    int Level = 0;
    if (FontTolerance > 0 && std::isfinite(FontTolerance)) {
      Level = std::clamp(static_cast<int>(std::floor(std::log2(FontTolerance))), -40, 40);
      FontTolerance = std::ldexp(1.0, Level);
    } else {
      FontTolerance = 0;
      Level = 100;
    }
    // One buffer for the keys: a key per text drawn is too many allocations.
    thread_local std::string Key;
    Key.clear();
    TqdSHXFontList* List = R.ShapeFont ? nullptr : R.FontList;
    if (List) {
      const void* Style = R.SHXStyle;
      Key.append(reinterpret_cast<const char*>(&Style), sizeof Style);
      Key += R.SHXFont;
      Key += '\0';
      Key.append(reinterpret_cast<const char*>(&Level), sizeof Level);
      Key.append(reinterpret_cast<const char*>(R.Text.data()), R.Text.size() * sizeof(char16_t));
    }
    const TqdSHXFontList::TStrokes* Strokes = List ? List->CachedStrokes(Key) : nullptr;
    TqdSHXFontList::TStrokes Made;
    if (!Strokes) {
      TqdSHXVertexList Poly;
      TqdFontParams P;
      SHXPoly(R, Poly, P);
      Made.XY.reserve(3 * Poly.size());
      std::vector<TFPoint> Local;
      auto Flush = [&] {
        if (Local.size() >= 2) {
          for (const TFPoint& Q : Local) Made.XY.push_back(Q.X), Made.XY.push_back(Q.Y);
          Made.Counts.push_back(static_cast<int>(Local.size()));
        }
        Local.clear();
      };
      for (const TqdSHXVertex& V : Poly) {
        const TFPoint Q{V.X, V.Y, 0};
        if (!V.PenDown || Local.empty()) {
          Flush();
          Local.push_back(Q);
        } else {
          AppendBulge(Local.back(), Q, V.Bulge, FontTolerance, Local);
        }
      }
      Flush();
      Strokes = List ? &List->StoreStrokes(Key, std::move(Made)) : &Made;
    }
    Path.Points.reserve(Strokes->XY.size() / 2);
    // Points of the plane z = 0 through the matrix, written out: this loop is most of
    // a small text's drawing time.
    const TFPoint EX = M.EX, EY = M.EY, E0 = M.E0;
    const double* XY = Strokes->XY.data();
    for (std::size_t K = 0, N = Strokes->XY.size(); K + 1 < N; K += 2) {
      const double X = XY[K], Y = XY[K + 1];
      Path.Points.push_back({X * EX.X + Y * EY.X + E0.X, X * EX.Y + Y * EY.Y + E0.Y, X * EX.Z + Y * EY.Z + E0.Z});
    }
    Path.Counts.assign(Strokes->Counts.begin(), Strokes->Counts.end());
  }
  return !Path.Counts.empty();
}
}  // namespace

void qdRunPaths(const TqdTextRun& R, const TFMatrix& AMatrix, std::vector<TqdTextPath>& Out,
                double ATolerance) {
  TqdTextPath Path;
  if (RunPathInto(R, AMatrix, Path, ATolerance)) Out.push_back(std::move(Path));
}

void qdRunPaths(const TqdTextRun& R, const TFMatrix& AMatrix, std::vector<TqdTextPath>& Out,
                std::size_t& AUsed, double ATolerance) {
  if (AUsed >= Out.size()) Out.emplace_back();
  if (RunPathInto(R, AMatrix, Out[AUsed], ATolerance)) ++AUsed;
}

// Leak checking (sanitizer builds): the font configuration library keeps its
// caches for the life of the process, and texts are what load it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
