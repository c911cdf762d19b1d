#include "SyntheticDXF.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {
// A small deterministic generator: benchmarks must see the same file every run.
struct TRandom {
  std::uint64_t S;
  double Next() {
    S = S * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(S >> 11) / 9007199254740992.0;
  }
  double Uniform(double A, double B) { return A + (B - A) * Next(); }
};

struct TWriter {
  std::string Out;
  std::uint64_t Handle = 0x100;
  void Group(int Code, const char* Value) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, Code);
    Out.append(buf, r.ptr);
    Out += '\n';
    Out += Value;
    Out += '\n';
  }
  void Group(int Code, const std::string& Value) { Group(Code, Value.c_str()); }
  void Real(int Code, double V) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, V, std::chars_format::fixed, 6);
    Group(Code, std::string(buf, r.ptr));
  }
  void Int(int Code, long long V) { Group(Code, std::to_string(V)); }
  void Hex(int Code, std::uint64_t V) {
    char buf[20];
    auto r = std::to_chars(buf, buf + sizeof buf, V, 16);
    std::string s(buf, r.ptr);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    Group(Code, s);
  }
  void NewHandle() { Hex(5, Handle++); }
  void Point(int Code, double X, double Y, double Z = 0) {
    Real(Code, X);
    Real(Code + 10, Y);
    Real(Code + 20, Z);
  }
  void Entity(const char* Type, const std::string& Layer, const char* SubClass) {
    Group(0, Type);
    NewHandle();
    Group(100, "AcDbEntity");
    Group(8, Layer);
    Group(100, SubClass);
  }
};
} // namespace

std::string MakeSyntheticDXF(const TSyntheticDXFOptions& Options) {
  TWriter w;
  w.Out.reserve(static_cast<std::size_t>(Options.Entities) * 120 + 4096);
  TRandom rnd{Options.Seed * 0x9E3779B97F4A7C15ULL + 1};

  w.Group(0, "SECTION");
  w.Group(2, "HEADER");
  w.Group(9, "$ACADVER");
  w.Group(1, "AC1015");
  w.Group(9, "$INSUNITS");
  w.Int(70, 4);
  if (Options.Dashed) {
    // Dashes of 4 and gaps of 2 drawing units: about 2.4 and 1.2 pixels when the
    // 100,000-entity drawing fills 1920x1080, so that the full view is dashed too.
    w.Group(9, "$LTSCALE");
    w.Real(40, 8);
  }
  w.Group(0, "ENDSEC");

  w.Group(0, "SECTION");
  w.Group(2, "TABLES");
  if (Options.Dashed) {
    w.Group(0, "TABLE");
    w.Group(2, "LTYPE");
    w.NewHandle();
    w.Int(70, 1);
    w.Group(0, "LTYPE");
    w.NewHandle();
    w.Group(100, "AcDbSymbolTableRecord");
    w.Group(100, "AcDbLinetypeTableRecord");
    w.Group(2, "DASHED");
    w.Int(70, 0);
    w.Group(3, "Dashed __ __ __");
    w.Int(72, 65);
    w.Int(73, 2);
    w.Real(40, 0.75);
    w.Real(49, 0.5);
    w.Int(74, 0);
    w.Real(49, -0.25);
    w.Int(74, 0);
    w.Group(0, "ENDTAB");
  }
  w.Group(0, "TABLE");
  w.Group(2, "LAYER");
  w.NewHandle();
  w.Int(70, 9);
  for (int i = 0; i <= 8; ++i) {
    w.Group(0, "LAYER");
    w.NewHandle();
    w.Group(100, "AcDbSymbolTableRecord");
    w.Group(100, "AcDbLayerTableRecord");
    std::string name = "0";
    if (i > 0) name = {'L', static_cast<char>('0' + i - 1)};
    w.Group(2, name);
    w.Int(70, 0);
    w.Int(62, i == 0 ? 7 : i);
    w.Group(6, Options.Dashed ? "DASHED" : "CONTINUOUS");
  }
  w.Group(0, "ENDTAB");
  w.Group(0, "ENDSEC");

  w.Group(0, "SECTION");
  w.Group(2, "BLOCKS");
  for (int b = 0; b < 4; ++b) {
    const std::string name{'B', static_cast<char>('0' + b)};
    w.Group(0, "BLOCK");
    w.NewHandle();
    w.Group(100, "AcDbEntity");
    w.Group(8, "0");
    w.Group(100, "AcDbBlockBegin");
    w.Group(2, name);
    w.Int(70, 0);
    w.Point(10, 0, 0);
    w.Group(3, name);
    w.Entity("CIRCLE", "0", "AcDbCircle");
    w.Point(10, 0, 0);
    w.Real(40, 1 + b);
    w.Entity("LINE", "0", "AcDbLine");
    w.Point(10, -2, 0);
    w.Point(11, 2, 0);
    w.Entity("LWPOLYLINE", "0", "AcDbPolyline");
    w.Int(90, 3);
    w.Int(70, 0);
    w.Real(10, 0), w.Real(20, 0);
    w.Real(10, 1), w.Real(20, 1), w.Real(42, 0.5);
    w.Real(10, 2), w.Real(20, 0);
    w.Group(0, "ENDBLK");
    w.NewHandle();
    w.Group(100, "AcDbEntity");
    w.Group(8, "0");
    w.Group(100, "AcDbBlockEnd");
  }
  w.Group(0, "ENDSEC");

  w.Group(0, "SECTION");
  w.Group(2, "ENTITIES");
  const int side = static_cast<int>(std::sqrt(static_cast<double>(Options.Entities))) + 1;
  for (int n = 0; n < Options.Entities; ++n) {
    const double x = (n % side) * 10.0, y = (n / side) * 10.0;
    const std::string layer{'L', static_cast<char>('0' + n % 8)};
    switch (n % 10) {
    case 0:
    case 1:
    case 2:
    case 3:
      w.Entity("LINE", layer, "AcDbLine");
      w.Point(10, x, y);
      w.Point(11, x + rnd.Uniform(1, 9), y + rnd.Uniform(1, 9));
      break;
    case 4:
      w.Entity("ARC", layer, "AcDbCircle");
      w.Point(10, x + 5, y + 5);
      w.Real(40, rnd.Uniform(1, 4));
      w.Group(100, "AcDbArc");
      w.Real(50, rnd.Uniform(0, 180));
      w.Real(51, rnd.Uniform(180, 360));
      break;
    case 5:
      w.Entity("CIRCLE", layer, "AcDbCircle");
      w.Point(10, x + 5, y + 5);
      w.Real(40, rnd.Uniform(1, 4));
      break;
    case 6:
    case 7: {
      w.Entity("LWPOLYLINE", layer, "AcDbPolyline");
      w.Int(90, 5);
      w.Int(70, 0);
      static constexpr double kBulges[4] = {0, 0, 0.4, -0.7};
      for (int k = 0; k < 5; ++k) {
        w.Real(10, x + rnd.Uniform(0, 9));
        w.Real(20, y + rnd.Uniform(0, 9));
        const double b = kBulges[static_cast<int>(rnd.Next() * 4) & 3];
        if (b != 0) w.Real(42, b);
      }
      break;
    }
    case 8:
      w.Entity("TEXT", layer, "AcDbText");
      w.Point(10, x, y);
      w.Real(40, 1.5);
      w.Group(1, std::string(1, 'T').append(std::to_string(n)));
      w.Group(100, "AcDbText");
      break;
    default:
      w.Entity("INSERT", layer, "AcDbBlockReference");
      w.Group(2, std::string{'B', static_cast<char>('0' + n % 4)});
      w.Point(10, x + 5, y + 5);
      w.Real(50, rnd.Uniform(0, 360));
      break;
    }
  }
  w.Group(0, "ENDSEC");
  w.Group(0, "EOF");
  return std::move(w.Out);
}

bool WriteSyntheticDXF(const std::string& Path, const TSyntheticDXFOptions& Options) {
  const std::string s = MakeSyntheticDXF(Options);
  FILE* f = std::fopen(Path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(s.data(), 1, s.size(), f) == s.size();
  return std::fclose(f) == 0 && ok;
}
