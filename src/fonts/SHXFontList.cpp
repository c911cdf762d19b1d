#include "SHXFontList.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "TTF.h"
#include "qdFunction.h"

#ifndef DRAFTWELL_BUNDLED_FONTS_DIR
#define DRAFTWELL_BUNDLED_FONTS_DIR ""
#endif

namespace fs = std::filesystem;

namespace {

bool HasDir(std::string_view N) { return N.find_first_of("/\\") != std::string_view::npos; }

std::string FilePart(std::string_view N) {
  const size_t S = N.find_last_of("/\\");
  return std::string(S == std::string_view::npos ? N : N.substr(S + 1));
}

// The extension of the file name part, with its dot; empty when none.
std::string Extension(std::string_view N) {
  const std::string F = FilePart(N);
  const size_t D = F.find_last_of('.');
  return D == std::string::npos || D == 0 ? std::string() : F.substr(D);
}

std::string WithSHX(std::string_view N) {
  std::string R(TrimBlanks(N));
  if (!R.empty() && Extension(R).empty()) R += ".SHX";
  return R;
}

std::vector<std::string> SplitPath(std::string_view P) {
  std::vector<std::string> R;
  size_t Start = 0;
  for (size_t I = 0; I <= P.size(); ++I) {
    if (I == P.size() || P[I] == ';' || P[I] == ':') {
      std::string_view Piece = TrimBlanks(P.substr(Start, I - Start));
      if (!Piece.empty()) R.emplace_back(Piece);
      Start = I + 1;
    }
  }
  return R;
}

std::string WithSlash(std::string D) {
  if (!D.empty() && D.back() != '/') D += '/';
  return D;
}

bool HoldsSHX(const std::string& Dir) {
  std::error_code EC;
  for (fs::directory_iterator It(Dir, EC), End; !EC && It != End; It.increment(EC)) {
    if (SHXUpperCase(Extension(It->path().filename().string())) == ".SHX") return true;
  }
  return false;
}

// Fonts we ship standing in for the SHX fonts drawings ask for most.
const std::pair<const char*, const char*> cServedFor[] = {
    {"SIMPLEX.SHX", "draftwell-simplex.shx"}, {"TXT.SHX", "draftwell-simplex.shx"},
    {"ROMANS.SHX", "draftwell-simplex.shx"},  {"MONOTXT.SHX", "draftwell-simplex.shx"},
    {"ROMAND.SHX", "draftwell-duplex.shx"},   {"ROMANC.SHX", "draftwell-complex.shx"},
    {"ROMANT.SHX", "draftwell-complex.shx"},  {"GREEKS.SHX", "draftwell-greek.shx"},
    {"GREEKC.SHX", "draftwell-greek.shx"},    {"CYRILLIC.SHX", "draftwell-cyrillic.shx"},
    {"CYRILTLC.SHX", "draftwell-cyrillic.shx"}};
constexpr const char* cOurSimplex = "draftwell-simplex.shx";

std::string& LibraryPath() {
  static std::string P;
  return P;
}
bool& LibraryPathBuilt() {
  static bool B = false;
  return B;
}

TqdFontProcParams ProcParams(bool AVertical, bool ABackward, int AStyle, TqdSHXVertexList* Poly) {
  TqdFontProcParams P;
  P.Vertical = AVertical;
  P.Backward = ABackward;
  P.Underscore = AStyle & cSHXUnderscore;
  P.Overscore = AStyle & cSHXOverscore;
  P.Poly = Poly;
  return P;
}

}  // namespace

std::string SHXBundledFontsDir() {
  std::error_code EC;
  char Buf[4096];
  const ssize_t L = ::readlink("/proc/self/exe", Buf, sizeof Buf - 1);
  if (L > 0) {
    Buf[L] = 0;
    const fs::path Exe(Buf);
    const fs::path Installed = Exe.parent_path().parent_path() / "share" / "draftwell" / "fonts";
    if (fs::is_directory(Installed, EC)) return WithSlash(Installed.string());
  }
  const std::string Built = DRAFTWELL_BUNDLED_FONTS_DIR;
  if (!Built.empty() && fs::is_directory(Built, EC)) return WithSlash(Built);
  return {};
}

const std::string& SHXLibrarySearchPath() {
  if (LibraryPathBuilt()) return LibraryPath();
  std::vector<std::string> Dirs;
  auto Add = [&](const std::string& D) {
    const std::string W = WithSlash(D);
    if (!W.empty() && std::find(Dirs.begin(), Dirs.end(), W) == Dirs.end() && HoldsSHX(W)) Dirs.push_back(W);
  };
  if (const char* E = std::getenv("DRAFTWELL_SHX_PATH"))
    for (const std::string& D : SplitPath(E)) Add(D);
  Add(SHXBundledFontsDir());
  std::string Data;
  if (const char* X = std::getenv("XDG_DATA_HOME"); X && *X)
    Data = X;
  else if (const char* H = std::getenv("HOME"); H && *H)
    Data = std::string(H) + "/.local/share";
  if (!Data.empty()) Add(Data + "/Vantrex/Resources/SHX");
  std::string R;
  for (const std::string& D : Dirs) R += D + ";";
  LibraryPath() = R;
  LibraryPathBuilt() = true;
  return LibraryPath();
}

void SHXResetLibrarySearchPath() {
  LibraryPathBuilt() = false;
  LibraryPath().clear();
}

std::u16string SHXWideFromUTF8(std::string_view S) {
  std::u16string R;
  R.reserve(S.size());
  for (size_t I = 0; I < S.size();) {
    const uint8_t C = uint8_t(S[I]);
    char32_t Cp = 0xFFFD;
    size_t N = 1;
    if (C < 0x80) {
      Cp = C;
    } else if ((C >> 5) == 6 && I + 1 < S.size()) {
      Cp = ((C & 0x1F) << 6) | (uint8_t(S[I + 1]) & 0x3F), N = 2;
    } else if ((C >> 4) == 14 && I + 2 < S.size()) {
      Cp = ((C & 0x0F) << 12) | ((uint8_t(S[I + 1]) & 0x3F) << 6) | (uint8_t(S[I + 2]) & 0x3F), N = 3;
    } else if ((C >> 3) == 30 && I + 3 < S.size()) {
      Cp = ((C & 0x07) << 18) | ((uint8_t(S[I + 1]) & 0x3F) << 12) | ((uint8_t(S[I + 2]) & 0x3F) << 6) |
           (uint8_t(S[I + 3]) & 0x3F);
      N = 4;
    }
    I += N;
    if (Cp >= 0x10000 && Cp <= 0x10FFFF) {
      Cp -= 0x10000;
      R += char16_t(0xD800 + (Cp >> 10));
      R += char16_t(0xDC00 + (Cp & 0x3FF));
    } else {
      R += char16_t(Cp > 0xFFFF ? 0xFFFD : Cp);
    }
  }
  return R;
}

// ---------------------------------------------------------------------------
// Text iteration

TqdTextIterator::TqdTextIterator(std::string_view AString, std::u16string_view AWideString, std::string_view AMap,
                                 TqdSHXFont* AFont, TqdSHXFont* ABigFont)
    : FText(AString), FWideText(AWideString), FFont(AFont) {
  if (!FWideText.empty()) {
    FMapWideText.assign(std::max(FWideText.size(), AMap.size()), stUndefined);
    for (size_t I = 0; I < AMap.size(); ++I) FMapWideText[I] = AMap[I] == 2 ? stBigFont : stNormal;
  }
  FBigFont = ABigFont && ABigFont->Loaded() && !ABigFont->ExtndBig() ? ABigFont : nullptr;
  if (FFont && !FFont->Loaded()) FFont = nullptr;
  if (FFont && FBigFont && FFont->Above() != 0) FScale = double(FBigFont->Above()) / FFont->Above();
}

void TqdTextIterator::BuildTyped() {
  if (FTyped) return;
  FTyped = true;
  FWideTextTyped.clear();
  FWideTextTypedFonts.clear();
  FWideTextTypedOutlines.clear();
  if (!FText.empty()) {
    const size_t N = FText.size();
    for (size_t I = 0; I < N;) {
      const uint8_t B = uint8_t(FText[I]);
      if (FBigFont && I + 1 < N && FBigFont->HasSymbol(B, uint8_t(FText[I + 1]))) {
        FWideTextTyped.emplace_back(1, B * 256u + uint8_t(FText[I + 1]));
        I += 2;
      } else {
        FWideTextTyped.emplace_back(0, B);
        I += 1;
      }
    }
  } else {
    for (size_t I = 0; I < FWideText.size(); ++I) {
      const char16_t W = FWideText[I];
      const TqdSymbolType M = I < FMapWideText.size() ? FMapWideText[I] : stUndefined;
      TqdSHXFont* F = nullptr;
      if (!FBigFont)
        F = FFont;
      else if (M != stNormal && FBigFont->HasSymbol(W))
        F = FBigFont;
      else if (FFont && FFont->HasSymbol(W))
        F = FFont;
      int Kind = F && F == FBigFont ? 1 : 0;
      const TqdSHXPolyData* Outline = nullptr;
      // A sign the drawing's fonts lack comes from the next font that has it: ours,
      // then the outline of a TrueType glyph.
      if (FFallbacks && W >= 32 && (!F || !F->HasSymbol(W))) {
        if (TqdSHXFont* B = FFallbacks->FallbackFor(W)) F = B, Kind = 2;
        else if ((Outline = FFallbacks->OutlineGlyph(W))) F = nullptr, Kind = 3;
      }
      FWideTextTypedFonts.push_back(F);
      FWideTextTypedOutlines.push_back(Outline);
      FWideTextTyped.emplace_back(Kind, W);
    }
  }
  FHasBigFontSymbols = std::any_of(FWideTextTyped.begin(), FWideTextTyped.end(),
                                   [](const std::pair<int, uint32_t>& P) { return P.first == 1; });
}

double TqdTextIterator::FactorOf(const TqdSHXFont* F) const {
  if (!F || F == FFont || F == FBigFont || !FFont || FFont->Above() <= 0 || F->Above() <= 0) return 1;
  return double(FFont->Above()) / F->Above();
}

TqdTextIterator::TDrawResult TqdTextIterator::DrawChar(TqdSHXFont* F, uint32_t C, bool Substitute, bool Scaled,
                                                       TqdFontProcParams& P) {
  auto Draw = [&](TqdSHXFont* Font, uint32_t Code) {
    double OX = 0, OY = 0;
    const double K = (Scaled && FScale != 0 ? FScale : 1) * FactorOf(Font);
    const bool Ok = K != 1 ? Font->GetScaledSymbol(Code, P.X, P.Y, K, P, *P.Poly, OX, OY)
                           : Font->GetSymbol(Code, P.X, P.Y, P, *P.Poly, OX, OY);
    if (Ok) P.X = OX, P.Y = OY;
    return Ok;
  };
  if (F && Draw(F, C)) return drNormal;
  if (Substitute && FFont && !(F == FFont && C == 63) && Draw(FFont, 63)) return drSubstituted;
  return drFailed;
}

bool TqdTextIterator::Iterate(TqdFontProcParams& P) {
  // Without a main font there is not even a "?" to draw.
  if (!FFont || !P.Poly) return true;
  BuildTyped();
  if (!FText.empty()) {
    for (const auto& [Kind, Code] : FWideTextTyped) {
      if (Kind == 1) {
        if (DrawChar(FBigFont, Code, false, false, P) == drNormal) P.HasBigSymbol = true;
      } else {
        DrawChar(FFont, Code, true, FHasBigFontSymbols, P);
      }
    }
    return true;
  }
  for (size_t I = 0; I < FWideText.size(); ++I) {
    TqdSHXFont* F = FWideTextTypedFonts[I];
    const uint32_t W = FWideText[I];
    if (const TqdSHXPolyData* D = FWideTextTypedOutlines[I]) {
      // Outline strokes sized to the main font's capitals.
      const double K = (FHasBigFontSymbols && FScale != 0 ? FScale : 1) * FFont->Above();
      for (const TqdSHXVertex& V : *D->Poly) P.Poly->push_back({P.X + V.X * K, P.Y + V.Y * K, V.Bulge, V.PenDown});
      P.X += D->Xoff * K;
      continue;
    }
    if (F) {
      const TDrawResult R = DrawChar(F, W, true, F != FBigFont && FHasBigFontSymbols, P);
      if (R == drNormal && F == FBigFont) P.HasBigSymbol = true;
      if (R == drSubstituted) FWideTextTypedFonts[I] = FFont;
      if (R == drFailed) FWideTextTypedFonts[I] = nullptr;
    } else {
      DrawChar(FFont, 63, false, FHasBigFontSymbols, P);
    }
  }
  return true;
}

void TqdTextIterator::Iterate(bool AVertical, bool ABackward, int AStyle, TqdSHXVertexList& Poly, double& X,
                              double& Y, bool& ABig) {
  TqdFontProcParams P = ProcParams(AVertical, ABackward, AStyle, &Poly);
  Iterate(P);
  X = P.X;
  Y = P.Y;
  ABig = P.HasBigSymbol;
}

void TqdTextIterator::MixedHeight(bool BigUsed, double& Above, double& Below) const {
  const double MA = FFont ? FFont->Above() : 0, MB = FFont ? FFont->Below() : 0;
  if (BigUsed && FBigFont) {
    Above = FBigFont->Above() != 0 ? FBigFont->Above() : MA;
    Below = FBigFont->Below() != 0 ? FBigFont->Below() : MB;
  } else {
    Above = MA;
    Below = MB;
  }
}

bool TqdTextIterator::IterateBox(bool Vertical, int FStyle, double& Above, double& Below, double& Width,
                                 double& Height, double& RealLeft, double& RealBottom, double& RealRight,
                                 double& RealTop, double& After) {
  return IterateBox(ProcParams(Vertical, false, FStyle, nullptr), Above, Below, Width, Height, RealLeft, RealBottom, RealRight, RealTop, After);
}

bool TqdTextIterator::IterateBox(const TqdFontProcParams& P, double& Above, double& Below, double& Width,
                                 double& Height, double& RealLeft, double& RealBottom, double& RealRight,
                                 double& RealTop, double& After) {
  Above = Below = Width = Height = RealLeft = RealBottom = RealRight = RealTop = After = 0;
  if ((FText.empty() && FWideText.empty()) || !FFont) return false;
  BuildTyped();
  struct TItem {
    const TqdSHXPolyData* G;
    uint32_t Code;
    double F;
  };
  std::vector<TItem> Items;
  Items.reserve(FWideTextTyped.size());
  for (std::size_t Ix = 0; Ix < FWideTextTyped.size(); ++Ix) {
    const auto [Kind, Code] = FWideTextTyped[Ix];
    TqdSHXFont* F = Kind == 1 && FBigFont ? FBigFont : FFont;
    if (Kind == 2 && Ix < FWideTextTypedFonts.size() && FWideTextTypedFonts[Ix]) F = FWideTextTypedFonts[Ix];
    if (Kind == 3 && Ix < FWideTextTypedOutlines.size() && FWideTextTypedOutlines[Ix] && !P.Vertical) {
      Items.push_back({FWideTextTypedOutlines[Ix], Code,
                       (FHasBigFontSymbols && FScale != 0 ? FScale : 1) * FFont->Above()});
      continue;
    }
    const double G = (F != FBigFont && FHasBigFontSymbols && FScale != 0 ? FScale : 1) * FactorOf(F);
    const TqdSHXPolyData* D = F->Glyph(Code, P.Vertical);
    uint32_t C = Code;
    if (!D) D = FFont->Glyph(C = 63, P.Vertical);
    if (D) Items.push_back({D, C, G});
  }
  // Nothing measurable: the same answer as for an empty string.
  if (Items.empty()) return false;
  const double FA = FFont->Above();
  if (!P.Vertical) {
    RealBottom = 100000;
    RealTop = -100000;
    double Total = 0, Sum = 0;
    bool LastForward = true;
    const size_t N = Items.size();
    size_t LastInk = N;  // the last glyph that is not a space
    for (size_t J = N; J-- > 0;)
      if (Items[J].Code != 32) {
        LastInk = J;
        break;
      }
    for (size_t J = 0; J < N; ++J) {
      const TItem& It = Items[J];
      const double G = It.F;
      RealBottom = std::min(RealBottom, It.G->Bottom * G);
      if (P.Underscore) RealBottom = std::min(RealBottom, -0.2 * FA * G);
      RealTop = std::max(RealTop, It.G->Top * G);
      if (P.Overscore) RealTop = std::max(RealTop, 1.2 * FA * G);
      const double Xoff = It.G->Xoff;
      if (Xoff >= 0 || std::fabs(Xoff) <= 0.01) {
        LastForward = true;
        const double A = Xoff * G;
        double InkL, InkR, Cell;
        if (It.Code == 32 && (J == 0 || J == N - 1)) {
          InkL = 0, InkR = A, Cell = A;
        } else {
          InkL = It.G->FirstDown * G, InkR = It.G->LastDown * G, Cell = std::max(A, InkR);
        }
        if (J == 0) {
          RealLeft = InkL;
          Total = Sum = Cell;
          After = Total;
          RealRight = InkR;
        } else if (J + 1 < N) {
          Total += Cell;
          Sum += Cell;
        } else {
          Total += Cell;
          Sum += InkR;
          RealRight = Sum;
          After = Total;
        }
      } else {
        LastForward = false;
        RealLeft += J == LastInk ? It.G->FirstDown * G : Xoff * G;
      }
    }
    Width = LastForward ? Sum : -(RealRight - RealLeft);
    Height = RealTop - RealBottom;
  } else {
    RealLeft = 100000;
    RealRight = -100000;
    for (const TItem& It : Items) {
      RealLeft = std::min(RealLeft, It.G->FirstDown * It.F);
      RealRight = std::max(RealRight, It.G->LastDown * It.F);
      RealBottom += It.G->Yoff;
    }
    Width = RealRight - RealLeft;
    Height = RealTop - RealBottom;
  }
  MixedHeight(FHasBigFontSymbols, Above, Below);
  return true;
}

double TqdSHXFont::LineFeed() {
  if (FLineFeed != 0) return FLineFeed;
  TqdTextIterator It(std::string_view("\n", 1), {}, {}, this, nullptr);
  double A, B, W, H, L, Bt, R, T, Af;
  It.IterateBox(false, 0, A, B, W, H, L, Bt, R, T, Af);
  return H;
}

// ---------------------------------------------------------------------------
// The font list

TqdSHXFontList::TqdSHXFontList(std::string_view ASearchPath, std::string_view ADefault,
                               std::string_view ADefaultBigFont) {
  for (const std::string& D : SplitPath(ASearchPath)) AddSearchPath(D);
  FDefaultFontGiven = std::string(TrimBlanks(ADefault));
  FDefaultFontName = SHXUpperCase(FDefaultFontGiven);
  FDefaultFontPath = FindInSearchPath(FDefaultFontName);
  // Our own simplex stands in for a default font that is not installed.
  if (FDefaultFontPath.empty()) FDefaultFontPath = FindInSearchPath(SHXUpperCase(cOurSimplex));
  FDefaultBigFontName = SHXUpperCase(TrimBlanks(ADefaultBigFont).empty() ? "bigfont.shx" : TrimBlanks(ADefaultBigFont));
  FDefaultBigFontPath = FindInSearchPath(FDefaultBigFontName);
}

TqdSHXFontList::~TqdSHXFontList() = default;

void TqdSHXFontList::AddSearchPath(const std::string& ADir) {
  const std::string D = WithSlash(std::string(TrimBlanks(ADir)));
  if (D.empty() || !SHXDirectoryExists(D)) return;
  ClearStrokes();
  if (std::find(FSearchPath.begin(), FSearchPath.end(), D) == FSearchPath.end()) FSearchPath.push_back(D);
}

const TqdSHXFontList::TStrokes& TqdSHXFontList::StoreStrokes(std::string AKey, TStrokes AStrokes) {
  // Bounded: a drawing of many different strings starts over rather than growing.
  constexpr std::size_t cMaxValues = std::size_t(1) << 22, cMaxEntries = 1 << 16;
  const std::size_t N = AStrokes.XY.size() + AStrokes.Counts.size() + AKey.size() / 8;
  if (FStrokeValues + N > cMaxValues || FStrokes.size() >= cMaxEntries) ClearStrokes();
  FStrokeValues += N;
  return FStrokes.insert_or_assign(std::move(AKey), std::move(AStrokes)).first->second;
}

TqdSHXFont* TqdSHXFontList::FallbackFor(uint32_t ACode) {
  if (!FFallbacksLoaded) {
    FFallbacksLoaded = true;
    const std::string Dir = SHXBundledFontsDir();
    if (!Dir.empty())
      for (const char* N : {"draftwell-simplex.shx", "draftwell-complex.shx", "draftwell-duplex.shx",
                            "draftwell-greek.shx", "draftwell-cyrillic.shx"}) {
        auto F = std::make_unique<TqdSHXFont>(Dir + N);
        if (F->Load() && F->Loaded()) FFallbackFonts.push_back(std::move(F));
      }
  }
  for (const auto& F : FFallbackFonts)
    if (F->HasSymbol(ACode)) return F.get();
  return nullptr;
}

const TqdSHXPolyData* TqdSHXFontList::OutlineGlyph(uint32_t ACode) {
  if (ACode > 0x10FFFF) return nullptr;
  if (const auto It = FOutlineGlyphs.find(ACode); It != FOutlineGlyphs.end()) return It->second.get();
  std::unique_ptr<TqdSHXPolyData>& Slot = FOutlineGlyphs[ACode];
  if (!FOutlineFace) {
    FOutlineFace = std::make_unique<TqdTextGlyph>();
    FOutlineFace->SetFontParams(std::string(cnstTTFFallbackFamily), 0);
  }
  if (!FOutlineFace->CanDraw(ACode)) return nullptr;
  const TqdGlyph* H = FOutlineFace->Glyph(U'H');
  const TqdGlyph* G = FOutlineFace->Glyph(ACode);
  const double Cap = H ? H->FBox.Top : 0;
  if (!G || !(Cap > 0) || !G->HasOutline()) return nullptr;
  auto D = std::make_unique<TqdSHXPolyData>();
  D->Poly = std::make_unique<TqdSHXVertexList>();
  for (const TqdTTFContour& C : G->FPolyPolyline)
    for (std::size_t I = 0; I < C.size(); ++I) D->Poly->push_back({C[I].X / Cap, C[I].Y / Cap, 0, I > 0});
  D->Xoff = G->Advance() / Cap;
  D->FirstDown = G->FRealLeft / Cap;
  D->LastDown = G->FRealRight / Cap;
  D->Top = G->FBox.Top / Cap;
  D->Bottom = G->FBox.Bottom / Cap;
  Slot = std::move(D);
  return Slot.get();
}

bool TqdSHXFontList::InsertSearchDir(std::string_view ADir) {
  const std::string D = WithSlash(std::string(TrimBlanks(ADir)));
  if (D.empty() || !SHXDirectoryExists(D)) return false;
  ClearStrokes();
  FSearchPath.erase(std::remove(FSearchPath.begin(), FSearchPath.end(), D), FSearchPath.end());
  FSearchPath.insert(FSearchPath.begin(), D);
  return true;
}

std::string TqdSHXFontList::FindInDir(const std::string& ADir, std::string_view AUpperName) {
  auto It = FListings.find(ADir);
  if (It == FListings.end()) {
    std::map<std::string, std::string> L;
    std::error_code EC;
    for (fs::directory_iterator D(ADir, EC), End; !EC && D != End; D.increment(EC)) {
      const std::string N = D->path().filename().string();
      L.emplace(SHXUpperCase(N), N);  // of two names differing in case only, one is kept
    }
    It = FListings.emplace(ADir, std::move(L)).first;
  }
  auto F = It->second.find(std::string(AUpperName));
  if (F == It->second.end()) return {};
  const std::string P = ADir + F->second;
  return SHXFileExists(P) ? P : std::string();
}

std::string TqdSHXFontList::FindInSearchPath(std::string_view AName) {
  const std::string U = SHXUpperCase(FilePart(AName));
  if (U.empty()) return {};
  for (const std::string& D : FSearchPath) {
    std::string P = FindInDir(D, U);
    if (!P.empty()) return P;
  }
  return {};
}

std::string TqdSHXFontList::Substitute(std::string_view AUpperName) {
  for (const auto& [Asked, Ours] : cServedFor)
    if (AUpperName == Asked) {
      std::string P = FindInSearchPath(Ours);
      if (!P.empty()) return P;
    }
  return {};
}

void TqdSHXFontList::Record(const TqdFontRequest& R) {
  const std::string U = SHXUpperCase(R.Name);
  for (const TqdFontRequest& Q : FRequests)
    if (Q.Big == R.Big && SHXUpperCase(Q.Name) == U) return;
  FRequests.push_back(R);
}

TqdFontRequest TqdSHXFontList::Resolve(std::string_view AName, bool ABig) {
  TqdFontRequest R;
  R.Name = std::string(TrimBlanks(AName));
  R.Big = ABig;
  const std::string Named = WithSHX(AName);
  if (Named.empty()) {
    R.Path = ABig ? std::string() : FDefaultFontPath;
    R.Kind = R.Path.empty() ? frNone : frSubstitute;
    return R;
  }
  std::string Bare = Named;
  if (HasDir(Named)) {
    if (Named.find('\\') == std::string::npos && SHXFileExists(Named)) {
      R.Kind = frFile;
      R.Path = Named;
      Record(R);
      return R;
    }
    Bare = FilePart(Named);
  }
  std::string P = FindInSearchPath(Bare);
  if (!P.empty()) {
    R.Kind = frFile;
    R.Path = P;
  } else {
    const std::string U = SHXUpperCase(Bare);
    const bool IsSHX = Extension(U) == ".SHX";
    P = IsSHX ? Substitute(U) : std::string();
    if (P.empty()) P = ABig ? (FDefaultBigFontPath.empty() ? FDefaultFontPath : FDefaultBigFontPath) : FDefaultFontPath;
    R.Path = P;
    R.Kind = P.empty() ? frNone : frSubstitute;
  }
  Record(R);
  return R;
}

int TqdSHXFontList::AddFont(const std::string& AKey, const std::string& APath, bool ALoad) {
  auto F = std::make_unique<TqdSHXFont>(APath);
  if (ALoad) F->Load();
  const int I = int(FFonts.size());
  FFonts.push_back(std::move(F));
  FFontKeys.push_back(AKey);
  FFontIndex.emplace(AKey, I);
  return I;
}

TqdTextStyle* TqdSHXFontList::AddStyle(std::string_view AName, std::string_view AFontName,
                                       std::string_view ABigFontName, bool AVertical, bool AUpSideDown,
                                       bool ABackwards, double AObliqueAngle, double AWidth) {
  ClearStrokes();
  auto S = std::make_unique<TqdTextStyle>();
  S->Name = SHXUpperCase(AName);
  S->Vertical = AVertical;
  S->UpSideDown = AUpSideDown;
  S->Backwards = ABackwards;
  S->TextGeneration = ABackwards ? ttBackward : (AUpSideDown ? ttUpSideDown : ttNormal);
  S->ObliqueAngle = AObliqueAngle;
  S->Width = AWidth;
  const TqdFontRequest Main = Resolve(TrimBlanks(AFontName).empty() ? std::string_view(FDefaultFontGiven) : AFontName);
  S->FontPath = Main.Path;
  S->FontExists = Main.Kind == frFile;
  if (Main.Kind != frFile) {
    const std::string U = SHXUpperCase(FilePart(WithSHX(Main.Name)));
    if (Extension(U) == ".SHX" && std::find(FMissedFonts.begin(), FMissedFonts.end(), U) == FMissedFonts.end())
      FMissedFonts.push_back(U);
  }
  // No font file at all: no font object either, so that the TrueType fallback of
  // the text entity takes over.
  if (!S->FontPath.empty()) {
    const std::string Key = SHXUpperCase(S->FontPath);
    auto It = FFontIndex.find(Key);
    if (It != FFontIndex.end()) {
      S->FontIndex = It->second;
    } else {
      S->FontIndex = AddFont(Key, S->FontPath, true);
      TqdSHXFont* F = FFonts[S->FontIndex].get();
      if (AName.empty() && F->Loaded() && F->IsShape()) {
        const std::string N(AFontName);
        if (std::none_of(FShapeFonts.begin(), FShapeFonts.end(), [&](const auto& P) { return P.first == N; }))
          FShapeFonts.emplace_back(N, F);
      }
    }
  }
  const std::string Big = WithSHX(ABigFontName);
  if (!Big.empty()) {
    const TqdFontRequest BR = Resolve(Big, true);
    S->BigFontPath = BR.Path;
    if (!S->BigFontPath.empty()) {
      auto It = FFontIndex.find(Big);
      S->BigFontIndex = It != FFontIndex.end() ? It->second : AddFont(Big, S->BigFontPath, true);
    }
  }
  TqdTextStyle* R = S.get();
  FStyles.emplace_back(std::string(AName), std::move(S));
  return R;
}

int TqdSHXFontList::IndexFontOfName(std::string_view AName) const {
  const std::string N(TrimBlanks(AName));
  if (N.empty()) return -1;
  if (HasDir(N)) {
    const std::string U = SHXUpperCase(N);
    auto It = FFontIndex.find(U);
    return It == FFontIndex.end() ? -1 : It->second;
  }
  std::string U = SHXUpperCase(N);
  const std::string E = Extension(U);
  U = U.substr(0, U.size() - E.size()) + ".SHX";
  for (int I = 0; I < int(FFontKeys.size()); ++I)
    if (SHXUpperCase(FilePart(FFontKeys[I])) == U) return I;
  return -1;
}

TqdSHXFont* TqdSHXFontList::StyleFont(const TqdTextStyle* S, bool Big) {
  if (!S) return nullptr;
  const int I = Big ? S->BigFontIndex : S->FontIndex;
  TqdSHXFont* F = FontAt(I);
  return F && F->Loaded() ? F : nullptr;
}

TqdSHXFont* TqdSHXFontList::Font(const TqdTextStyle* AStyle, std::string_view AName, bool ABig) {
  if (AStyle && TrimBlanks(AName).empty()) {
    const int I = ABig ? AStyle->BigFontIndex : AStyle->FontIndex;
    if (I >= 0 && I < FontCount()) {
      if (!FFonts[I]) {
        const std::string& P = ABig ? AStyle->BigFontPath : AStyle->FontPath;
        FFonts[I] = std::make_unique<TqdSHXFont>(P);
        FFonts[I]->Load();
      }
      return FFonts[I]->Loaded() ? FFonts[I].get() : nullptr;
    }
    if (I < 0) return nullptr;
  }
  if (TrimBlanks(AName).empty()) return nullptr;
  int I = IndexFontOfName(AName);
  if (I < 0) {
    const TqdFontRequest R = Resolve(AName, ABig);
    if (R.Path.empty()) return nullptr;
    I = IndexFontOfName(R.Path);
    for (int J = 0; I < 0 && J < FontCount(); ++J)
      if (FFonts[J] && FFonts[J]->Name() == R.Path) I = J;  // one object per file
    if (I < 0) {
      auto F = std::make_unique<TqdSHXFont>(R.Path);
      if (!F->Load() || !F->Loaded()) return nullptr;
      const std::string Key = SHXUpperCase(WithSHX(AName));
      I = int(FFonts.size());
      FFonts.push_back(std::move(F));
      FFontKeys.push_back(Key);
      FFontIndex.emplace(Key, I);
    }
  }
  TqdSHXFont* F = FontAt(I);
  return F && F->Loaded() ? F : nullptr;
}

bool TqdSHXFontList::IsUnicodeFont(const TqdTextStyle* AStyle, std::string_view AName, bool ABig) {
  const TqdSHXFont* F = Font(AStyle, AName, ABig);
  return F && F->Kind() == tkUnicodeSHX;
}

bool TqdSHXFontList::FindShape(int& ANumber, std::string& AName, std::string& AFontPath) const {
  TqdSHXFont* F = FindShapeFont(ANumber, AName);
  if (!F) return false;
  AFontPath = F->Name();
  return true;
}

TqdSHXFont* TqdSHXFontList::FindShapeFont(int& ANumber, std::string& AName) const {
  const std::string U = SHXUpperCase(TrimBlanks(AName));
  for (const auto& [N, F] : FShapeFonts) {
    for (const TqdSHXRecord& R : F->Shapes()) {
      if (R.ShapeNumber == 0) continue;
      const bool Hit = !U.empty() ? R.ShapeName == U : (ANumber > 0 && R.ShapeNumber == ANumber);
      if (Hit) {
        if (U.empty())
          AName = R.ShapeName;
        else
          ANumber = R.ShapeNumber;
        return F;
      }
    }
  }
  return nullptr;
}

const TqdTextStyle* TqdSHXFontList::StyleByName(std::string_view AName) const {
  const std::string U = SHXUpperCase(AName);
  for (const auto& [N, S] : FStyles)
    if (S->Name == U) return S.get();
  return nullptr;
}

namespace {

bool DrawWith(TqdSHXFontList* L, TqdSHXFont* F, TqdSHXFont* B, std::string_view AText, std::u16string_view AWide,
              std::string_view AMap, int AStyleBits, bool ABackward, bool AVertical, TqdSHXVertexList& Poly,
              TqdFontParams& AParams) {
  TqdTextIterator It(AText, AWide, AMap, F, B);
  It.SetFallbacks(L);
  TqdFontProcParams P = ProcParams(AVertical, ABackward, AStyleBits, &Poly);
  It.Iterate(P);
  TqdFontParams R;
  const TqdSHXFont* Main = F && F->Loaded() ? F : nullptr;
  It.MixedHeight(P.HasBigSymbol, R.Above, R.Below);
  R.Left = 0;
  R.Bottom = -R.Below;
  R.Top = R.Above;
  R.Right = P.X;
  R.DX = AParams.DX;
  R.DY = AParams.DY;
  AParams = R;
  return Main != nullptr;
}

bool MeasureWith(TqdSHXFontList* L, TqdSHXFont* F, TqdSHXFont* B, std::string_view AText,
                 std::u16string_view AWide, std::string_view AMap, int AStyleBits, bool AVertical, TqdFontParams& A) {
  TqdTextIterator It(AText, AWide, AMap, F, B);
  It.SetFallbacks(L);
  return It.IterateBox(AVertical, AStyleBits, A.Above, A.Below, A.Width, A.Height, A.Left, A.Bottom, A.Right, A.Top,
                       A.After);
}

}  // namespace

bool TqdSHXFontList::DrawText(const TqdTextStyle* AStyle, std::string_view AText, std::u16string_view AWide,
                              std::string_view AMap, int AStyleBits, TqdSHXVertexList& Poly, TqdFontParams& AParams) {
  if (!AStyle) return false;
  return DrawWith(this, StyleFont(AStyle, false), StyleFont(AStyle, true), AText, AWide, AMap, AStyleBits,
                  AStyle->Backwards || AStyle->UpSideDown, AStyle->Vertical, Poly, AParams);
}

bool TqdSHXFontList::DrawText(std::string_view AStyleName, std::string_view AText, std::u16string_view AWide,
                              std::string_view AMap, int AStyleBits, TqdSHXVertexList& Poly, TqdFontParams& AParams) {
  return DrawText(StyleByName(AStyleName), AText, AWide, AMap, AStyleBits, Poly, AParams);
}

bool TqdSHXFontList::DrawTextInFont(std::string_view AFontName, std::string_view AText, std::u16string_view AWide,
                                    std::string_view AMap, int AStyleBits, bool ABackward, bool AVertical,
                                    TqdSHXVertexList& Poly, TqdFontParams& AParams) {
  return DrawWith(this, Font(nullptr, AFontName, false), nullptr, AText, AWide, AMap, AStyleBits, ABackward, AVertical, Poly,
                  AParams);
}

bool TqdSHXFontList::MeasureText(const TqdTextStyle* AStyle, std::string_view AText, std::u16string_view AWide,
                                 std::string_view AMap, int AStyleBits, TqdFontParams& AParams) {
  if (!AStyle) {
    AParams = TqdFontParams();
    return false;
  }
  return MeasureWith(this, StyleFont(AStyle, false), StyleFont(AStyle, true), AText, AWide, AMap, AStyleBits,
                     AStyle->Vertical, AParams);
}

bool TqdSHXFontList::MeasureText(std::string_view AStyleName, std::string_view AText, std::u16string_view AWide,
                                 std::string_view AMap, int AStyleBits, TqdFontParams& AParams) {
  return MeasureText(StyleByName(AStyleName), AText, AWide, AMap, AStyleBits, AParams);
}

bool TqdSHXFontList::MeasureTextInFont(std::string_view AFontName, std::string_view AText, std::u16string_view AWide,
                                       std::string_view AMap, int AStyleBits, bool AVertical,
                                       TqdFontParams& AParams) {
  return MeasureWith(this, Font(nullptr, AFontName, false), nullptr, AText, AWide, AMap, AStyleBits, AVertical, AParams);
}
