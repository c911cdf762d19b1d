#pragma once
// Small SHX files written by the tests: a shape list in, file bytes out.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

struct TTestShape {
  int Number;
  TBytes Def;  // the whole definition, name and terminating zero included
};

// A definition with an empty name followed by the given codes.
inline TBytes Def(std::initializer_list<int> Codes) {
  TBytes B{0};
  for (int C : Codes) B.push_back(uint8_t(C));
  return B;
}

inline void Put16(TBytes& O, unsigned V) {
  O.push_back(uint8_t(V & 0xFF));
  O.push_back(uint8_t((V >> 8) & 0xFF));
}
inline void Put32(TBytes& O, uint32_t V) {
  Put16(O, V & 0xFFFF);
  Put16(O, V >> 16);
}
inline void PutText(TBytes& O, const std::string& S) { O.insert(O.end(), S.begin(), S.end()); }

inline TBytes InfoDef(const std::string& Name, int Above, int Below, int Modes = 0) {
  TBytes B(Name.begin(), Name.end());
  B.push_back(0);
  B.push_back(uint8_t(Above));
  B.push_back(uint8_t(Below));
  B.push_back(uint8_t(Modes));
  B.push_back(0);
  return B;
}

// A normal shape font; put a shape 0 (InfoDef) first for a text font.
inline TBytes NormalFont(const std::vector<TTestShape>& Shapes) {
  TBytes O;
  PutText(O, "AutoCAD-86 shapes 1.0\r\n\x1A");
  Put16(O, 0);
  Put16(O, 255);
  Put16(O, unsigned(Shapes.size()));
  for (const TTestShape& S : Shapes) {
    Put16(O, unsigned(S.Number));
    Put16(O, unsigned(S.Def.size()));
  }
  for (const TTestShape& S : Shapes) O.insert(O.end(), S.Def.begin(), S.Def.end());
  return O;
}

// A Unicode font: the info record, then the shapes. Count overrides N when >= 0.
inline TBytes UnicodeFont(const TBytes& Info, const std::vector<TTestShape>& Shapes, long Count = -1) {
  TBytes O;
  PutText(O, "AutoCAD-86 unifont 1.0\r\n\x1A");
  Put32(O, Count >= 0 ? uint32_t(Count) : uint32_t(Shapes.size() + 1));
  Put16(O, unsigned(Info.size()));
  O.insert(O.end(), Info.begin(), Info.end());
  for (const TTestShape& S : Shapes) {
    Put16(O, unsigned(S.Number));
    Put16(O, unsigned(S.Def.size()));
    O.insert(O.end(), S.Def.begin(), S.Def.end());
  }
  return O;
}

// A big font: Shapes[0] is the info record; Entries overrides the entry count.
inline TBytes BigFont(const std::vector<TTestShape>& Shapes, long Entries = -1, int ExtraSlots = 0) {
  TBytes O;
  PutText(O, "AutoCAD-86 bigfont 1.0\r\n\x1A");
  const unsigned N = unsigned(Shapes.size() + ExtraSlots);
  Put16(O, N);  // a word the readers skip
  Put16(O, Entries >= 0 ? unsigned(Entries) : N);
  Put16(O, 1);
  Put16(O, 0x81);
  Put16(O, 0x9F);
  uint32_t Pos = uint32_t(O.size() + 8 * N);
  for (const TTestShape& S : Shapes) {
    Put16(O, unsigned(S.Number));
    Put16(O, unsigned(S.Def.size()));
    Put32(O, Pos);
    Pos += uint32_t(S.Def.size());
  }
  for (int I = 0; I < ExtraSlots; ++I) {
    Put16(O, 0);
    Put16(O, 0);
    Put32(O, 0);
  }
  for (const TTestShape& S : Shapes) O.insert(O.end(), S.Def.begin(), S.Def.end());
  return O;
}

inline void WriteFile(const std::filesystem::path& P, const TBytes& B) {
  std::ofstream F(P, std::ios::binary);
  F.write(reinterpret_cast<const char*>(B.data()), std::streamsize(B.size()));
}

// A fresh folder under the system's temporary folder, removed at the end.
struct TTempDir {
  std::filesystem::path Path;
  explicit TTempDir(const std::string& Tag) {
    Path = std::filesystem::temp_directory_path() /
           ("draftwell-fonts-" + Tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(Counter()++));
    std::filesystem::create_directories(Path);
  }
  ~TTempDir() {
    std::error_code EC;
    std::filesystem::remove_all(Path, EC);
  }
  static int& Counter() {
    static int C = 0;
    return C;
  }
  std::string Dir() const { return Path.string() + "/"; }
};
