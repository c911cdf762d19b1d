// Compiles a Hershey font in the James Hurt format (.jhf, one glyph per record:
// a 5-digit number, a 3-digit vertex count, the left and right bearing and the
// strokes, coordinates as letters around 'R', " R" lifting the pen) into an SHX
// shape font. Glyph i of the file becomes shape 32 + i, as in the ASCII-ordered
// files Debian ships; the signs of mechanical drawings (degree, plus-minus,
// diameter and others) are added under their Unicode numbers.
//
// usage: hershey2shx INPUT.jhf OUTPUT.shx "Font name"
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Hershey fonts put the baseline at y = 9 and capitals 21 units above it, y down.
constexpr int cBaseline = 9;
constexpr int cAbove = 21;
constexpr int cBelow = 7;

struct TGlyph {
  int Left = 0, Right = 0;
  std::vector<std::vector<std::pair<int, int>>> Strokes;
};

bool ReadGlyphs(const std::string& Path, std::vector<TGlyph>& Out, std::string& Err) {
  std::ifstream In(Path);
  if (!In) {
    Err = "cannot open " + Path;
    return false;
  }
  std::string Line;
  int LineNo = 0;
  while (std::getline(In, Line)) {
    ++LineNo;
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (Line.size() < 10) continue;
    int Count = 0;
    try {
      Count = std::stoi(Line.substr(5, 3));
    } catch (...) {
      Err = Path + ":" + std::to_string(LineNo) + ": bad vertex count";
      return false;
    }
    std::string Data = Line.substr(8);
    // A long record may continue on the next lines.
    while (Data.size() < size_t(2 * Count) && std::getline(In, Line)) {
      ++LineNo;
      if (!Line.empty() && Line.back() == '\r') Line.pop_back();
      Data += Line;
    }
    if (Data.size() < size_t(2 * Count) || Count < 1) {
      Err = Path + ":" + std::to_string(LineNo) + ": record cut short";
      return false;
    }
    TGlyph G;
    G.Left = Data[0] - 'R';
    G.Right = Data[1] - 'R';
    std::vector<std::pair<int, int>> S;
    for (int I = 1; I < Count; ++I) {
      const char X = Data[2 * I], Y = Data[2 * I + 1];
      if (X == ' ' && Y == 'R') {
        if (!S.empty()) G.Strokes.push_back(std::move(S));
        S.clear();
        continue;
      }
      S.emplace_back(X - 'R' - G.Left, cBaseline - (Y - 'R'));
    }
    if (!S.empty()) G.Strokes.push_back(std::move(S));
    Out.push_back(std::move(G));
  }
  return true;
}

// ---- Signs drawings use that the ASCII-ordered Hershey files lack, drawn in the
// same grid (capitals 21 units high, baseline 0) and kept under their Unicode
// numbers, so that %%d, %%p, %%c, \U+2205 and %%nnn (Latin-1) find them.

using TStroke = std::vector<std::pair<int, int>>;

int Round(double V) { return int(V < 0 ? V - 0.5 : V + 0.5); }

// An arc around (CX, CY) from angle A0 to A1 (degrees), N segments.
TStroke Arc(double CX, double CY, double R, double A0, double A1, int N) {
  TStroke S;
  for (int I = 0; I <= N; ++I) {
    const double A = (A0 + (A1 - A0) * I / N) * 3.14159265358979 / 180;
    const std::pair<int, int> P{Round(CX + R * std::cos(A)), Round(CY + R * std::sin(A))};
    if (S.empty() || S.back() != P) S.push_back(P);
  }
  return S;
}

TStroke Line(int X0, int Y0, int X1, int Y1) { return {{X0, Y0}, {X1, Y1}}; }

// A copy of an existing glyph, scaled about its origin and raised.
TGlyph Scaled(const TGlyph& G, double K, int Raise) {
  TGlyph R;
  R.Left = 0;
  R.Right = Round((G.Right - G.Left) * K) + 1;
  for (const auto& S : G.Strokes) {
    TStroke T;
    for (const auto& P : S) {
      const std::pair<int, int> Q{Round(P.first * K), Round(P.second * K) + Raise};
      if (T.empty() || T.back() != Q) T.push_back(Q);
    }
    R.Strokes.push_back(std::move(T));
  }
  return R;
}

TGlyph Make(int Advance, std::vector<TStroke> Strokes) {
  TGlyph G;
  G.Right = Advance;
  G.Strokes = std::move(Strokes);
  return G;
}

// Glyph of an ASCII character of the font, or an empty one.
const TGlyph* Ascii(const std::vector<TGlyph>& Glyphs, char C) {
  const size_t I = size_t(uint8_t(C)) - 32;
  return I < Glyphs.size() ? &Glyphs[I] : nullptr;
}

std::vector<std::pair<int, TGlyph>> ExtraGlyphs(const std::vector<TGlyph>& Glyphs) {
  std::vector<std::pair<int, TGlyph>> X;
  X.emplace_back(0x00B0, Make(10, {Arc(5, 18, 3, 0, 360, 12)}));                                 // degree
  X.emplace_back(0x00B1, Make(18, {Line(9, 5, 9, 19), Line(2, 12, 16, 12), Line(2, 1, 16, 1)}));  // plus-minus
  X.emplace_back(0x2205, Make(20, {Arc(10, 10, 8, 0, 360, 24), Line(2, -1, 18, 21)}));          // diameter
  if (const TGlyph* O = Ascii(Glyphs, 'O')) {                                                   // O with stroke
    TGlyph G = *O;
    int L = 100, R = -100;
    for (const auto& S : G.Strokes)
      for (const auto& P : S) L = std::min(L, P.first), R = std::max(R, P.first);
    if (L <= R) G.Strokes.push_back(Line(L - 1, -1, R + 1, 22));
    X.emplace_back(0x00D8, G);
  }
  if (const TGlyph* D = Ascii(Glyphs, '2')) X.emplace_back(0x00B2, Scaled(*D, 0.55, 10));
  if (const TGlyph* D = Ascii(Glyphs, '3')) X.emplace_back(0x00B3, Scaled(*D, 0.55, 10));
  {  // micro: a u with a descender
    TStroke Bowl = Arc(8, 5, 5, 180, 360, 8);
    X.emplace_back(0x00B5, Make(17, {Line(3, 14, 3, -7), Bowl, Line(13, 14, 13, 0)}));
  }
  {  // ohm: an open circle on two feet
    TStroke Ring = Arc(10, 12, 8, -125, 305, 24);
    TStroke L{{2, 0}, {6, 0}}, R{{14, 0}, {18, 0}};
    L.push_back(Ring.front());
    R.insert(R.begin(), Ring.back());
    X.emplace_back(0x03A9, Make(20, {L, Ring, R}));
  }
  {  // almost equal: two waves
    std::vector<TStroke> W;
    for (int Y : {9, 15}) {
      TStroke S;
      for (int I = 0; I <= 14; ++I) S.emplace_back(2 + I, Round(Y + 2 * std::sin(I * 3.14159265358979 / 7)));
      W.push_back(S);
    }
    X.emplace_back(0x2248, Make(18, W));
  }
  X.emplace_back(0x2264, Make(18, {{{16, 19}, {2, 12}, {16, 5}}, Line(2, 1, 16, 1)}));    // less or equal
  X.emplace_back(0x2265, Make(18, {{{2, 19}, {16, 12}, {2, 5}}, Line(2, 1, 16, 1)}));     // greater or equal
  X.emplace_back(0x2260, Make(18, {Line(2, 9, 16, 9), Line(2, 15, 16, 15), Line(5, 4, 13, 20)}));  // not equal
  X.emplace_back(0x00D7, Make(18, {Line(3, 6, 15, 18), Line(15, 6, 3, 18)}));                      // times
  X.emplace_back(0x00F7, Make(18, {Line(2, 12, 16, 12), Arc(9, 17, 1, 0, 360, 4), Arc(9, 7, 1, 0, 360, 4)}));  // divide
  X.emplace_back(0x03C0, Make(19, {Line(1, 14, 18, 14), {{6, 14}, {5, 4}, {4, 0}}, {{13, 14}, {13, 2}, {15, 0}}}));  // pi
  X.emplace_back(0x0394, Make(18, {{{1, 0}, {9, 21}, {17, 0}, {1, 0}}}));                          // Delta
  {  // infinity: two loops
    TStroke S;
    for (int I = 0; I <= 32; ++I) {
      const double T = I * 2 * 3.14159265358979 / 32, D = 1 + std::sin(T) * std::sin(T);
      const std::pair<int, int> P{Round(11 + 9 * std::cos(T) / D), Round(10 + 9 * std::sin(T) * std::cos(T) / D)};
      if (S.empty() || S.back() != P) S.push_back(P);
    }
    X.emplace_back(0x221E, Make(22, {S}));
  }
  return X;
}

void Move(std::vector<uint8_t>& B, int DX, int DY) {
  B.push_back(8);
  B.push_back(uint8_t(int8_t(DX)));
  B.push_back(uint8_t(int8_t(DY)));
}

// The shape bytes of one glyph: empty name, strokes, then the advance.
std::vector<uint8_t> Compile(const TGlyph& G) {
  std::vector<uint8_t> B{0};
  int X = 0, Y = 0;
  B.push_back(2);
  for (const auto& S : G.Strokes) {
    Move(B, S[0].first - X, S[0].second - Y);
    X = S[0].first, Y = S[0].second;
    if (S.size() == 1) {  // a dot
      B.push_back(1);
      B.push_back(2);
      continue;
    }
    B.push_back(1);
    B.push_back(9);
    for (size_t I = 1; I < S.size(); ++I) {
      const int DX = S[I].first - X, DY = S[I].second - Y;
      if (DX == 0 && DY == 0) continue;  // (0, 0) would end the list
      B.push_back(uint8_t(int8_t(DX)));
      B.push_back(uint8_t(int8_t(DY)));
      X = S[I].first, Y = S[I].second;
    }
    B.push_back(0);
    B.push_back(0);
    B.push_back(2);
  }
  Move(B, G.Right - G.Left - X, -Y);
  B.push_back(0);
  return B;
}

void Put16(std::string& O, int V) {
  O += char(V & 0xFF);
  O += char((V >> 8) & 0xFF);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: hershey2shx INPUT.jhf OUTPUT.shx \"Font name\"\n";
    return 2;
  }
  std::vector<TGlyph> Glyphs;
  std::string Err;
  if (!ReadGlyphs(argv[1], Glyphs, Err)) {
    std::cerr << "hershey2shx: " << Err << "\n";
    return 1;
  }
  struct TShape {
    int Number;
    std::vector<uint8_t> Bytes;
  };
  std::vector<TShape> Shapes;
  std::vector<uint8_t> Info(argv[3], argv[3] + std::string(argv[3]).size());
  Info.push_back(0);
  Info.push_back(cAbove);
  Info.push_back(cBelow);
  Info.push_back(0);  // modes: horizontal only
  Info.push_back(0);
  Shapes.push_back({0, Info});
  // Line feed: down one line, no ink.
  Shapes.push_back({10, {0, 2, 8, 0, uint8_t(int8_t(-(cAbove + cBelow + 6))), 0}});
  for (size_t I = 0; I < Glyphs.size() && 32 + I <= 255; ++I) {
    for (const auto& S : Glyphs[I].Strokes)
      for (const auto& P : S)
        if (P.first < -100 || P.first > 100 || P.second < -100 || P.second > 100) {
          std::cerr << "hershey2shx: glyph " << I << " out of range\n";
          return 1;
        }
    Shapes.push_back({int(32 + I), Compile(Glyphs[I])});
  }
  for (const auto& [Number, G] : ExtraGlyphs(Glyphs)) Shapes.push_back({Number, Compile(G)});
  // A Unicode shape font: the signs live above 255, where a byte-indexed font ends.
  std::string O = "AutoCAD-86 unifont 1.0\r\n\x1A";
  const int Count = int(Shapes.size());
  O += char(Count & 0xFF);
  O += char((Count >> 8) & 0xFF);
  O += char(0);
  O += char(0);
  // The information record: name, above, below, modes, encoding (Unicode), embedding.
  std::vector<uint8_t> Head = Shapes.front().Bytes;
  Head.insert(Head.end() - 1, {0, 0});
  Put16(O, int(Head.size()));
  O.append(reinterpret_cast<const char*>(Head.data()), Head.size());
  for (size_t I = 1; I < Shapes.size(); ++I) {
    const TShape& S = Shapes[I];
    if (S.Bytes.size() > 2000) {
      std::cerr << "hershey2shx: shape " << S.Number << " too long\n";
      return 1;
    }
    Put16(O, S.Number);
    Put16(O, int(S.Bytes.size()));
    O.append(reinterpret_cast<const char*>(S.Bytes.data()), S.Bytes.size());
  }
  std::ofstream F(argv[2], std::ios::binary);
  F.write(O.data(), std::streamsize(O.size()));
  if (!F) {
    std::cerr << "hershey2shx: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
