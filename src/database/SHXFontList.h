#pragma once
// The per-drawing list of SHX fonts: where to look and which font stands in. The
// fonts themselves are loaded by the font unit.
#include <string>
#include <vector>

class TqdSHXFontList {
public:
  explicit TqdSHXFontList(std::string ADefaultFont = "simplex.shx")
      : FDefaultFont(std::move(ADefaultFont)) {}
  const std::string& DefaultFont() const { return FDefaultFont; }
  void SetDefaultFont(std::string V) { FDefaultFont = std::move(V); }
  const std::vector<std::string>& SearchPath() const { return FSearchPath; }
  void AddSearchPath(const std::string& P) { FSearchPath.push_back(P); }

private:
  std::string FDefaultFont;
  std::vector<std::string> FSearchPath;
};
