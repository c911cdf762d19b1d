// Compiles a Hershey font in the James Hurt format (.jhf, one glyph per record:
// a 5-digit number, a 3-digit vertex count, the left and right bearing and the
// strokes, coordinates as letters around 'R', " R" lifting the pen) into an SHX
// shape font. Glyph i of the file becomes shape 32 + i, as in the ASCII-ordered
// files Debian ships.
//
// usage: hershey2shx INPUT.jhf OUTPUT.shx "Font name"
#include <algorithm>
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
  std::string O = "AutoCAD-86 shapes 1.0\r\n\x1A";
  int Lo = 255, Hi = 0;
  for (const TShape& S : Shapes)
    if (S.Number) Lo = std::min(Lo, S.Number), Hi = std::max(Hi, S.Number);
  Put16(O, Lo);
  Put16(O, Hi);
  Put16(O, int(Shapes.size()));
  for (const TShape& S : Shapes) {
    if (S.Bytes.size() > 2000) {
      std::cerr << "hershey2shx: shape " << S.Number << " too long\n";
      return 1;
    }
    Put16(O, S.Number);
    Put16(O, int(S.Bytes.size()));
  }
  for (const TShape& S : Shapes) O.append(reinterpret_cast<const char*>(S.Bytes.data()), S.Bytes.size());
  O += "EOF";  // the trailer shape compilers write
  std::ofstream F(argv[2], std::ios::binary);
  F.write(O.data(), std::streamsize(O.size()));
  if (!F) {
    std::cerr << "hershey2shx: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
