#include "TTF.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H
#include FT_TRUETYPE_TABLES_H

#include "qdFunction.h"
#include "qdShapeEdge.h"
#include "TTFResolutionCache.h"

namespace {

// One font engine for the process. Opening and closing faces changes the
// engine's own lists, so both happen under this lock.
std::mutex& EngineLock() {
  static std::mutex m;
  return m;
}

FT_Library Engine() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) return static_cast<FT_Library>(nullptr);
    return l;
  }();
  return lib;
}

// The font registry: every fontconfig call goes through this lock.
std::recursive_mutex& RegistryLock() {
  static std::recursive_mutex m;
  return m;
}

// A configuration of our own, released at exit (the registry's parser keeps
// allocations that only the release frees).
struct TRegistryConfig {
  FcConfig* Config = FcInitLoadConfigAndFonts();
  ~TRegistryConfig() {
    if (Config) FcConfigDestroy(Config);
  }
};

FcConfig* Registry() {
  static TRegistryConfig cfg;
  return cfg.Config;
}

std::string PatternString(FcPattern* P, const char* AObject, int AIndex = 0) {
  FcChar8* s = nullptr;
  if (FcPatternGetString(P, AObject, AIndex, &s) != FcResultMatch || !s) return {};
  return reinterpret_cast<const char*>(s);
}

int PatternInt(FcPattern* P, const char* AObject, int ADefault) {
  int v = 0;
  return FcPatternGetInteger(P, AObject, 0, &v) == FcResultMatch ? v : ADefault;
}

unsigned PatternStyles(FcPattern* P) {
  unsigned styles = 0;
  if (PatternInt(P, FC_WEIGHT, FC_WEIGHT_REGULAR) >= FC_WEIGHT_DEMIBOLD) styles |= fstBold;
  if (PatternInt(P, FC_SLANT, FC_SLANT_ROMAN) != FC_SLANT_ROMAN) styles |= fstItalic;
  return styles;
}

struct TFcFace {
  std::string File, Family, FullName;
  int Index = 0;
  unsigned Styles = 0;
};

// The best face of a family for the styles. With AExact, the face must belong to
// the family asked (the registry answers every question with some face).
bool MatchFamily(const std::string& AFamily, unsigned AStyles, bool AExact, TFcFace& AFace) {
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  FcConfig* cfg = Registry();
  if (!cfg) return false;
  FcPattern* pat = FcPatternCreate();
  if (!pat) return false;
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(AFamily.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, AStyles & fstBold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, AStyles & fstItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_OUTLINE, FcTrue);
  FcConfigSubstitute(cfg, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res = FcResultNoMatch;
  FcPattern* m = FcFontMatch(cfg, pat, &res);
  FcPatternDestroy(pat);
  if (!m) return false;
  bool ok = true;
  if (AExact) {
    ok = false;
    for (int i = 0;; ++i) {
      const std::string f = PatternString(m, FC_FAMILY, i);
      if (f.empty()) break;
      if (SameTextNoCase(f, AFamily)) ok = true;
    }
  }
  FcBool outline = FcFalse;
  if (FcPatternGetBool(m, FC_OUTLINE, 0, &outline) == FcResultMatch && !outline) ok = false;
  AFace.File = PatternString(m, FC_FILE);
  if (AFace.File.empty()) ok = false;
  if (ok) {
    AFace.Family = PatternString(m, FC_FAMILY);
    AFace.FullName = PatternString(m, FC_FULLNAME);
    if (AFace.FullName.empty()) {
      const std::string style = PatternString(m, FC_STYLE);
      AFace.FullName = AFace.Family;
      if (!style.empty() && !SameTextNoCase(style, "Regular")) AFace.FullName += " " + style;
    }
    AFace.Index = PatternInt(m, FC_INDEX, 0);
    AFace.Styles = PatternStyles(m);
  }
  FcPatternDestroy(m);
  return ok;
}

std::string StemOf(const std::string& AFile) {
  const std::size_t dot = AFile.rfind('.');
  return dot == std::string::npos ? AFile : AFile.substr(0, dot);
}

struct TResolutions {
  std::unordered_map<std::string, TqdTTFResolution> Known;
  std::vector<std::string> Order;
};

TResolutions& Resolutions() {
  static TResolutions r;
  return r;
}

void FillFromFace(TqdTTFResolution& R, TFcFace F, TqdTTFResolutionKind AKind) {
  // The registry's answer may carry the weight and slant it would synthesise;
  // the face's own listing says what the file has.
  TqdTableFonts::TEntry own;
  if (TqdTableFonts::Instance().FindByPath(F.File, F.Index, own)) F.Styles = own.Styles;
  R.Kind = AKind;
  R.FileName = F.File;
  R.FaceIndex = F.Index;
  R.FamilyName = F.Family;
  R.FaceName = F.FullName;
  R.SynthesizeBold = (R.AskedStyles & fstBold) && !(F.Styles & fstBold);
  R.SynthesizeItalic = (R.AskedStyles & fstItalic) && !(F.Styles & fstItalic);
}

void FillFromEntry(TqdTTFResolution& R, const TqdTableFonts::TEntry& E, TqdTTFResolutionKind AKind) {
  TFcFace f;
  f.File = E.Path;
  f.Index = E.Index;
  f.Family = E.Family;
  f.FullName = E.Name;
  f.Styles = E.Styles;
  FillFromFace(R, f, AKind);
}

TqdTTFResolution Resolve(const std::string& AName, unsigned AStyles) {
  TqdTTFResolution r;
  r.AskedName = AName;
  const std::string name = CutFontDisplayName(AName);
  const std::string file = FontFileNameOnly(name);
  TFcFace face;
  TqdTableFonts::TEntry entry;
  TqdTableFonts& table = TqdTableFonts::Instance();

  if (!name.empty() && FontTypeByFileName(file) != fttUnknown) {
    r.AskedStyles = AStyles;
    if (table.FindByFile(file, entry)) {
      FillFromEntry(r, entry, trkFile);
      return r;
    }
    std::string family;
    unsigned styles = 0;
    if (WindowsFileSubstitute(file, family, styles)) {
      r.AskedStyles |= styles;
      if (MatchFamily(family, r.AskedStyles, true, face)) {
        FillFromFace(r, face, trkSubstitute);
        return r;
      }
    } else if (MatchFamily(StemOf(file), r.AskedStyles, true, face)) {
      FillFromFace(r, face, trkSubstitute);
      return r;
    }
  } else if (!name.empty()) {
    r.AskedStyles = AStyles | FontStylesFromSuffixes(name);
    const std::string family = StripFontStyleSuffixes(name);
    if (MatchFamily(family, r.AskedStyles, true, face)) {
      FillFromFace(r, face, trkFile);
      return r;
    }
    // A full name that is no family of its own ("Some Face Light Condensed").
    if (table.FindByName(name, entry) && IsOutlineFontType(entry.Type)) {
      r.AskedStyles = AStyles | entry.Styles;
      FillFromEntry(r, entry, trkFile);
      return r;
    }
    const std::string sub = WindowsFamilySubstitute(family);
    if (!sub.empty() && MatchFamily(sub, r.AskedStyles, true, face)) {
      FillFromFace(r, face, trkSubstitute);
      return r;
    }
  } else {
    r.AskedStyles = AStyles;
  }
  // Text never vanishes: the fallback face, then whatever sans face there is.
  if (MatchFamily(std::string(cnstTTFFallbackFamily), r.AskedStyles, true, face) ||
      MatchFamily("sans-serif", r.AskedStyles, false, face)) {
    FillFromFace(r, face, trkSubstitute);
    return r;
  }
  r.Kind = trkNone;
  return r;
}

// Decomposition of one outline into point contours in cell units.
struct TOutlineSink {
  double Scale = 1;
  std::vector<TqdTTFContour>* Contours = nullptr;
  TFPoint Current;
  TqdGeneratorShapeEdge Generator;
  TFPointList Points;

  TFPoint Cell(const FT_Vector* V) const {
    return {static_cast<double>(V->x) * Scale, static_cast<double>(V->y) * Scale, 0};
  }
  void Add(const TFPoint& P) {
    if (Contours->empty()) Contours->emplace_back();
    TqdTTFContour& c = Contours->back();
    const TqdTTFPoint q{static_cast<float>(P.X), static_cast<float>(P.Y)};
    if (c.empty() || !(c.back() == q)) c.push_back(q);
    Current = P;
  }
  void Close() {
    if (Contours->empty()) return;
    TqdTTFContour& c = Contours->back();
    if (c.size() < 2) {
      Contours->pop_back();
      return;
    }
    if (!(c.back() == c.front())) c.push_back(c.front());
  }

  static int MoveTo(const FT_Vector* To, void* User) {
    auto* s = static_cast<TOutlineSink*>(User);
    s->Close();
    s->Contours->emplace_back();
    s->Add(s->Cell(To));
    return 0;
  }
  static int LineTo(const FT_Vector* To, void* User) {
    auto* s = static_cast<TOutlineSink*>(User);
    s->Add(s->Cell(To));
    return 0;
  }
  static int ConicTo(const FT_Vector* Control, const FT_Vector* To, void* User) {
    auto* s = static_cast<TOutlineSink*>(User);
    const TFPoint to = s->Cell(To);
    s->Points.Clear(false);
    s->Generator.CreateQuadraticSpline(s->Current, s->Cell(Control), to);
    for (const TFPoint& p : s->Points) s->Add(p);
    s->Add(to);
    return 0;
  }
  static int CubicTo(const FT_Vector* C1, const FT_Vector* C2, const FT_Vector* To, void* User) {
    auto* s = static_cast<TOutlineSink*>(User);
    const TFPoint p3 = s->Cell(To);
    s->Points.Clear(false);
    TTFCubicPoints(s->Generator, s->Current, s->Cell(C1), s->Cell(C2), p3);
    for (const TFPoint& p : s->Points) s->Add(p);
    s->Add(p3);
    return 0;
  }
};

char32_t CodeOrReplacement(char32_t C) {
  return C > 0x10FFFF ? 0xFFFD : C;
}

int RoundToDevice(double V) {
  constexpr double cLimit = 1 << 30;
  if (!std::isfinite(V)) return 0;
  return static_cast<int>(std::lround(std::clamp(V, -cLimit, cLimit)));
}

} // namespace

const char* TTFResolutionKindName(TqdTTFResolutionKind AKind) {
  switch (AKind) {
  case trkFile:
    return "file";
  case trkSubstitute:
    return "substitute";
  default:
    return "none";
  }
}

std::string TqdTTFResolution::Describe() const {
  switch (Kind) {
  case trkFile:
    return AskedName + ": " + FaceName;
  case trkSubstitute:
    return AskedName + " -> " + FaceName;
  default:
    return AskedName + ": no face found";
  }
}

TqdTTFResolution ResolveTTFFace(const std::string& AName, unsigned AStyles) {
  AStyles &= fstBold | fstItalic;
  const std::string key = AName + '\x1f' + std::to_string(AStyles);
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  TResolutions& all = Resolutions();
  auto it = all.Known.find(key);
  if (it != all.Known.end()) return it->second;
  // Another process may have asked already: the registry's set-up is the dearest
  // part of opening a small drawing.
  TqdTTFResolution r;
  TqdTTFResolutionCache& Cache = TqdTTFResolutionCache::Instance();
  if (!Cache.Find(AName, AStyles, r)) {
    r = Resolve(AName, AStyles);
    if (r.Kind != trkNone) Cache.Store(r, AName, AStyles);
  }
  all.Known.emplace(key, r);
  all.Order.push_back(key);
  return r;
}

std::vector<TqdTTFResolution> TTFResolutionsAsked() {
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  std::vector<TqdTTFResolution> out;
  for (const std::string& k : Resolutions().Order) out.push_back(Resolutions().Known.at(k));
  return out;
}

void ResetTTFRegistry() {
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  Resolutions().Known.clear();
  Resolutions().Order.clear();
  if (FcConfig* cfg = Registry()) FcConfigBuildFonts(cfg);
  TqdTableFonts::Instance().Reset();
}

void TTFCubicPoints(TqdGeneratorShapeEdge& AGenerator, const TFPoint& P0, const TFPoint& P1,
                    const TFPoint& P2, const TFPoint& P3) {
  // Uniform steps whose chord error, at most 3/4 of the largest second
  // difference over the square of the steps, stays within the tolerance of the
  // quadratic curves (0.7 cell units).
  const auto second = [](const TFPoint& a, const TFPoint& b, const TFPoint& c) {
    return std::hypot(a.X - 2 * b.X + c.X, a.Y - 2 * b.Y + c.Y);
  };
  const double dd = std::max(second(P0, P1, P2), second(P1, P2, P3));
  const double steps = std::ceil(std::sqrt(0.75 * dd / 0.7));
  const int m = std::isfinite(steps) ? static_cast<int>(std::clamp(steps, 1.0, 100.0)) : 1;
  // A cubic Bezier is the cubic spline over the knots 0, 0, 0, 0, 1, 1, 1, 1.
  TFPointList controls;
  controls.Add(P0);
  controls.Add(P1);
  controls.Add(P2);
  controls.Add(P3);
  TqdDoubleList knots;
  for (double k : {0.0, 0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0}) knots.Add(k);
  AGenerator.CreateSplineByKnots(controls, knots, 1.0 / m);
}

// ---------------------------------------------------------------------------
// Font table

TqdTableFonts& TqdTableFonts::Instance() {
  static TqdTableFonts t;
  return t;
}

// The table shares the registry's lock: resolving a name reads the table, and
// building the table asks the registry.
void TqdTableFonts::Build() {
  if (FAddedFonts) return;
  FAddedFonts = true;
  FEntries.clear();
  {
    std::lock_guard<std::recursive_mutex> g(RegistryLock());
    FcConfig* cfg = Registry();
    FcPattern* pat = cfg ? FcPatternCreate() : nullptr;
    FcObjectSet* os = pat ? FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_FULLNAME, FC_STYLE,
                                             FC_WEIGHT, FC_SLANT, nullptr)
                          : nullptr;
    FcFontSet* fs = os ? FcFontList(cfg, pat, os) : nullptr;
    for (int i = 0; fs && i < fs->nfont; ++i) {
      FcPattern* p = fs->fonts[i];
      TEntry e;
      e.Path = PatternString(p, FC_FILE);
      if (e.Path.empty()) continue;
      e.File = FontFileNameOnly(e.Path);
      e.Type = FontTypeByFileName(e.File);
      e.Index = PatternInt(p, FC_INDEX, 0);
      if (e.Index > 0xFFFF) continue; // named instances of variable faces: the face itself is listed
      e.Family = PatternString(p, FC_FAMILY);
      e.Styles = PatternStyles(p);
      if (e.Type == fttTrueType || e.Type == fttCollection || e.Type == fttOpenType)
        ReadTTFFullNameFromFile(e.Path, e.Name, static_cast<unsigned>(e.Index));
      if (e.Name.empty()) e.Name = PatternString(p, FC_FULLNAME);
      if (e.Name.empty()) {
        const std::string style = PatternString(p, FC_STYLE);
        e.Name = e.Family;
        if (!style.empty() && !SameTextNoCase(style, "Regular")) e.Name += " " + style;
      }
      e.Name = CutFontDisplayName(e.Name);
      if (e.Name.empty()) continue;
      FEntries.push_back(std::move(e));
    }
    if (fs) FcFontSetDestroy(fs);
    if (os) FcObjectSetDestroy(os);
    if (pat) FcPatternDestroy(pat);
  }
  // The registry lists files in no set order; sort so that lookups are stable.
  std::sort(FEntries.begin(), FEntries.end(), [](const TEntry& a, const TEntry& b) {
    return a.Path != b.Path ? a.Path < b.Path : a.Index < b.Index;
  });
  FSortNames.resize(FEntries.size());
  FSortFiles.resize(FEntries.size());
  for (std::size_t i = 0; i < FEntries.size(); ++i) FSortNames[i] = FSortFiles[i] = static_cast<int>(i);
  std::stable_sort(FSortNames.begin(), FSortNames.end(), [this](int a, int b) {
    return CompareTextNoCase(FEntries[a].Name, FEntries[b].Name) < 0;
  });
  std::stable_sort(FSortFiles.begin(), FSortFiles.end(), [this](int a, int b) {
    return CompareTextNoCase(FEntries[a].File, FEntries[b].File) < 0;
  });
}

bool TqdTableFonts::Find(const std::vector<int>& AIndex, std::string TEntry::*AField,
                         const std::string& AKey, TEntry& AEntry) {
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  Build();
  auto it = std::lower_bound(AIndex.begin(), AIndex.end(), AKey, [&](int i, const std::string& k) {
    return CompareTextNoCase(FEntries[i].*AField, k) < 0;
  });
  if (it == AIndex.end() || !SameTextNoCase(FEntries[*it].*AField, AKey)) return false;
  AEntry = FEntries[*it];
  return true;
}

bool TqdTableFonts::FindByPath(const std::string& APath, int AIndex, TEntry& AEntry) {
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  Build();
  auto it = std::lower_bound(FEntries.begin(), FEntries.end(), std::make_pair(APath, AIndex),
                             [](const TEntry& e, const std::pair<std::string, int>& k) {
                               return e.Path != k.first ? e.Path < k.first : e.Index < k.second;
                             });
  if (it == FEntries.end() || it->Path != APath || it->Index != AIndex) return false;
  AEntry = *it;
  return true;
}

bool TqdTableFonts::FindByName(const std::string& AFontName, TEntry& AEntry) {
  return Find(FSortNames, &TEntry::Name, CutFontDisplayName(AFontName), AEntry);
}

bool TqdTableFonts::FindByFile(const std::string& AFileName, TEntry& AEntry) {
  return Find(FSortFiles, &TEntry::File, FontFileNameOnly(AFileName), AEntry);
}

std::string TqdTableFonts::GetFileName(const std::string& AFontName) {
  TEntry e;
  return FindByName(AFontName, e) ? e.File : std::string();
}

std::string TqdTableFonts::GetFontName(const std::string& AFileName) {
  TEntry e;
  return FindByFile(AFileName, e) ? e.Name : std::string();
}

int TqdTableFonts::GetFontType(const std::string& AFontName) {
  TEntry e;
  return FindByName(AFontName, e) ? e.Type : fttUnknown;
}

int TqdTableFonts::Count() {
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  Build();
  return static_cast<int>(FEntries.size());
}

std::vector<TqdTableFonts::TEntry> TqdTableFonts::Entries() {
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  Build();
  return FEntries;
}

void TqdTableFonts::Reset() {
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  FAddedFonts = false;
  FEntries.clear();
  FSortNames.clear();
  FSortFiles.clear();
}

// ---------------------------------------------------------------------------
// Glyph set

// ---------------------------------------------------------------------------
// Fallback faces: a character the chosen face lacks is drawn from the face the
// registry offers for it. Asked only when a glyph is missing, so a drawing without
// TrueType text never reaches the registry; the answers are kept per range of 128
// codes (a script's characters usually share one face) for the whole process.

namespace {

struct TFallbackFace {
  std::mutex Lock;  // one glyph maker at a time uses the face
  FT_Face Face = nullptr;
  TqdTTFResolution Resolution;
  bool Reported = false;
};

struct TFallbackRegistry {
  std::mutex Lock;
  std::vector<std::unique_ptr<TFallbackFace>> Faces;
  std::unordered_map<char32_t, TFallbackFace*> ByRange;  // code >> 7: the face found for the range
  std::unordered_map<char32_t, TFallbackFace*> ByCode;   // codes the range's face lacks (null: no face has it)
  std::vector<TqdTTFResolution> Used;
  ~TFallbackRegistry() {
    std::lock_guard<std::mutex> g(EngineLock());
    for (auto& F : Faces)
      if (F->Face) FT_Done_Face(F->Face);
  }
};

TFallbackRegistry& Fallbacks() {
  static TFallbackRegistry R;
  return R;
}

// The face of File/Index as a fallback for ACode: one already open, or a new one
// when the file is an outline face holding ACode; null otherwise.
TFallbackFace* OpenFallback(TFallbackRegistry& R, char32_t ACode, const TqdTTFResolution& AFace) {
  for (auto& F : R.Faces)
    if (F->Resolution.FileName == AFace.FileName && F->Resolution.FaceIndex == AFace.FaceIndex) return F.get();
  FT_Face face = nullptr;
  {
    std::lock_guard<std::mutex> lg(EngineLock());
    if (FT_New_Face(Engine(), AFace.FileName.c_str(), AFace.FaceIndex, &face) != 0) face = nullptr;
    if (face && (!FT_IS_SCALABLE(face) || FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 ||
                 FT_Get_Char_Index(face, ACode) == 0 || face->units_per_EM == 0)) {
      FT_Done_Face(face);
      face = nullptr;
    }
  }
  if (!face) return nullptr;
  auto F = std::make_unique<TFallbackFace>();
  F->Face = face;
  F->Resolution = AFace;
  R.Faces.push_back(std::move(F));
  return R.Faces.back().get();
}

// The registry's best outline face holding ACode, close to the family asked; null
// when no installed face has it. Under the fallback registry's lock.
TFallbackFace* QueryFallback(TFallbackRegistry& R, char32_t ACode, const std::string& AFamily, unsigned AStyles) {
  std::lock_guard<std::recursive_mutex> g(RegistryLock());
  if (!Engine()) return nullptr;
  // What an earlier process found for the character spares the registry's set-up.
  char CodeName[24];
  std::snprintf(CodeName, sizeof CodeName, "fallback:U+%04X:", static_cast<unsigned>(ACode));
  const std::string CacheName = CodeName + AFamily;
  TqdTTFResolutionCache& Cache = TqdTTFResolutionCache::Instance();
  TqdTTFResolution Known;
  if (Cache.Find(CacheName, AStyles, Known)) {
    if (Known.Kind == trkNone) return nullptr;
    if (TFallbackFace* F = OpenFallback(R, ACode, Known)) return F;
  }
  FcConfig* cfg = Registry();
  if (!cfg) return nullptr;
  FcPattern* pat = FcPatternCreate();
  if (!pat) return nullptr;
  if (FcCharSet* cs = FcCharSetCreate()) {
    FcCharSetAddChar(cs, ACode);
    FcPatternAddCharSet(pat, FC_CHARSET, cs);
    FcCharSetDestroy(cs);
  }
  if (!AFamily.empty()) FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(AFamily.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, AStyles & fstBold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, AStyles & fstItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_OUTLINE, FcTrue);
  FcConfigSubstitute(cfg, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res = FcResultNoMatch;
  FcFontSet* fs = FcFontSort(cfg, pat, FcFalse, nullptr, &res);
  FcPatternDestroy(pat);
  TFallbackFace* Found = nullptr;
  for (int i = 0; fs && i < fs->nfont && !Found; ++i) {
    FcPattern* p = fs->fonts[i];
    FcCharSet* cs = nullptr;
    if (FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) != FcResultMatch || !cs || !FcCharSetHasChar(cs, ACode)) continue;
    FcBool outline = FcTrue;
    if (FcPatternGetBool(p, FC_OUTLINE, 0, &outline) == FcResultMatch && !outline) continue;
    TqdTTFResolution Face;
    Face.FileName = PatternString(p, FC_FILE);
    Face.FaceIndex = PatternInt(p, FC_INDEX, 0);
    if (Face.FileName.empty()) continue;
    Face.AskedName = AFamily;
    Face.AskedStyles = AStyles;
    Face.Kind = trkSubstitute;
    Face.FamilyName = PatternString(p, FC_FAMILY);
    Face.FaceName = PatternString(p, FC_FULLNAME);
    if (Face.FaceName.empty()) Face.FaceName = Face.FamilyName;
    Found = OpenFallback(R, ACode, Face);
  }
  if (fs) FcFontSetDestroy(fs);
  if (Found) {
    Cache.Store(Found->Resolution, CacheName, AStyles);
  } else {
    TqdTTFResolution None;
    None.AskedName = AFamily;
    Cache.Store(None, CacheName, AStyles);
  }
  return Found;
}

TFallbackFace* FallbackFaceFor(char32_t ACode, const std::string& AFamily, unsigned AStyles) {
  TFallbackRegistry& R = Fallbacks();
  std::lock_guard<std::mutex> g(R.Lock);
  TFallbackFace* F = nullptr;
  const auto Range = R.ByRange.find(ACode >> 7);
  if (Range != R.ByRange.end() && Range->second && FT_Get_Char_Index(Range->second->Face, ACode) != 0) {
    F = Range->second;
  } else if (const auto Code = R.ByCode.find(ACode); Code != R.ByCode.end()) {
    F = Code->second;
  } else {
    F = QueryFallback(R, ACode, AFamily, AStyles);
    if (Range == R.ByRange.end() && F) R.ByRange.emplace(ACode >> 7, F);
    else R.ByCode.emplace(ACode, F);
  }
  if (F && !F->Reported) {
    F->Reported = true;
    R.Used.push_back(F->Resolution);
  }
  return F;
}

}  // namespace

std::vector<TqdTTFResolution> TTFFallbackFacesUsed() {
  TFallbackRegistry& R = Fallbacks();
  std::lock_guard<std::mutex> g(R.Lock);
  return R.Used;
}

struct TqdTextGlyph::TFace {
  FT_Face Face = nullptr;
  double Scale = 1;     // font units to cell units
  double Ascent = 0;    // the face's cell ascent, cell units
  double EmSize = 0;    // cell units
  bool SymbolMap = false;
  int PanoseFamily = 0, PanoseArmStyle = 0, PanoseXHeight = 0;
  FT_Pos Embolden = 0;  // font units, 0 when the face has the weight itself
  bool Slant = false;
};

TqdTextGlyph::TqdTextGlyph() = default;

TqdTextGlyph::~TqdTextGlyph() {
  CloseFace();
}

void TqdTextGlyph::CloseFace() {
  if (!FFace) return;
  {
    std::lock_guard<std::mutex> g(EngineLock());
    FT_Done_Face(FFace->Face);
  }
  delete FFace;
  FFace = nullptr;
}

void TqdTextGlyph::SetFontParams(const std::string& AFontName, unsigned AFontStyle) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  CloseFace();
  for (auto& slot : FGlyphs) slot.reset();
  FGlyphsHigh.clear();
  FGlyphsUniCode.clear();
  FUniIndex.clear();
  FKoef = 0;
  FAbove = FBelow = 0;
  FAverageWidth = 0;
  FFontName = AFontName;
  FFontStyle = AFontStyle;
  FResolution = ResolveTTFFace(AFontName, AFontStyle);

  FT_Face face = nullptr;
  auto open = [&face](const TqdTTFResolution& R) {
    if (R.Kind == trkNone || !Engine()) return false;
    std::lock_guard<std::mutex> lg(EngineLock());
    if (FT_New_Face(Engine(), R.FileName.c_str(), R.FaceIndex, &face) != 0) {
      face = nullptr;
      return false;
    }
    if (!FT_IS_SCALABLE(face)) {
      FT_Done_Face(face);
      face = nullptr;
      return false;
    }
    return true;
  };
  if (!open(FResolution)) {
    // A listed file that does not open: the fallback face stands in.
    TqdTTFResolution fb = ResolveTTFFace(std::string(cnstTTFFallbackFamily), AFontStyle);
    fb.AskedName = AFontName;
    fb.Kind = fb.Kind == trkNone ? trkNone : trkSubstitute;
    FResolution = fb;
    if (!open(FResolution)) {
      FResolution.Kind = trkNone;
      return;
    }
  }

  FFace = new TFace;
  FFace->Face = face;
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 &&
      FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0)
    FFace->SymbolMap = true;

  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version == 0xFFFF) os2 = nullptr;
  double cell = os2 ? static_cast<double>(os2->usWinAscent) + os2->usWinDescent : 0;
  if (cell <= 0) cell = static_cast<double>(face->ascender) - face->descender;
  if (cell <= 0) cell = face->units_per_EM;
  if (cell <= 0) cell = 1000;
  FFace->Scale = cnstTTFCellHeight / cell;
  const double s = FFace->Scale;
  FFace->Ascent = (os2 && os2->usWinAscent > 0 ? static_cast<double>(os2->usWinAscent) : static_cast<double>(face->ascender)) * s;
  FFace->EmSize = face->units_per_EM * s;
  const double ascent = os2 && os2->sTypoAscender != 0 ? os2->sTypoAscender : face->ascender;
  const double descent = os2 && os2->sTypoDescender != 0 ? os2->sTypoDescender : face->descender;
  FAbove = static_cast<float>(std::fabs(ascent) * s);
  FBelow = static_cast<float>(std::fabs(descent) * s);
  if (os2) {
    FFace->PanoseFamily = os2->panose[0];
    FFace->PanoseArmStyle = os2->panose[6];
    FFace->PanoseXHeight = os2->panose[9];
  }
  FAverageWidth = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth * s : 0;
  if (FResolution.SynthesizeBold) FFace->Embolden = std::max<FT_Pos>(1, face->units_per_EM / 32);
  FFace->Slant = FResolution.SynthesizeItalic;
  InitKoef();
}

unsigned TqdTextGlyph::CharIndex(char32_t ACode) {
  if (!FFace) return 0;
  FT_Face f = FFace->Face;
  if (FFace->SymbolMap && ACode < 0x100) {
    if (FT_UInt i = FT_Get_Char_Index(f, 0xF000 + ACode)) return i;
  }
  return FT_Get_Char_Index(f, ACode);
}

bool TqdTextGlyph::HasOwnGlyph(char32_t ACode) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  return CharIndex(ACode) != 0;
}

bool TqdTextGlyph::CanDraw(char32_t ACode) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (!FFace) return false;
  if (CharIndex(ACode) != 0) return true;
  return ACode >= 32 && !FFace->SymbolMap && FallbackFaceFor(ACode, FResolution.FamilyName, FFontStyle);
}

std::unique_ptr<TqdGlyph> TqdTextGlyph::MakeGlyph(char32_t ACode) {
  auto glyph = std::make_unique<TqdGlyph>();
  glyph->FCode = ACode;
  if (!FFace) return glyph;
  FT_Face f = FFace->Face;
  FT_UInt index = CharIndex(ACode);
  double scale = FFace->Scale;
  FT_Pos embolden = FFace->Embolden;
  // A character the face lacks comes from the face the registry offers for it, at
  // the same em size; only when none has it does the face's default glyph show.
  std::unique_lock<std::mutex> fallbackLock;
  if (index == 0 && ACode >= 32 && !FFace->SymbolMap) {
    if (TFallbackFace* fb = FallbackFaceFor(ACode, FResolution.FamilyName, FFontStyle)) {
      fallbackLock = std::unique_lock<std::mutex>(fb->Lock);
      f = fb->Face;
      index = FT_Get_Char_Index(f, ACode);
      scale = FFace->EmSize / f->units_per_EM;
      embolden = FFace->Embolden > 0 ? std::max<FT_Pos>(1, f->units_per_EM / 32) : 0;
    }
  }
  constexpr FT_Int32 cFlags =
      FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | FT_LOAD_IGNORE_TRANSFORM;
  FOutlined.fetch_add(1);
  if (FT_Load_Glyph(f, index, cFlags) != 0) return glyph;
  FT_GlyphSlot slot = f->glyph;
  double advance = static_cast<double>(slot->metrics.horiAdvance);
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE && slot->outline.n_points > 0) {
    FT_Outline* outline = &slot->outline;
    if (embolden > 0 && FT_Outline_Embolden(outline, embolden) == 0) advance += static_cast<double>(embolden);
    if (FFace->Slant) {
      // The usual synthetic oblique: x += 0.2126 y.
      FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
      FT_Outline_Transform(outline, &shear);
    }
    // The engine halves integer coordinates for the implied on-curve points of
    // quadratic outlines; in 1/64 units that rounding stays far below the
    // outline tolerance.
    for (int i = 0; i < outline->n_points; ++i) {
      outline->points[i].x *= 64;
      outline->points[i].y *= 64;
    }
    TOutlineSink sink;
    sink.Scale = scale / 64;
    sink.Contours = &glyph->FPolyPolyline;
    sink.Generator.SetQualityApproximation(cnstTTFQualityApproximation);
    sink.Generator.SetBaseList(&sink.Points);
    FT_Outline_Funcs funcs{};
    funcs.move_to = &TOutlineSink::MoveTo;
    funcs.line_to = &TOutlineSink::LineTo;
    funcs.conic_to = &TOutlineSink::ConicTo;
    funcs.cubic_to = &TOutlineSink::CubicTo;
    if (FT_Outline_Decompose(outline, &funcs, &sink) != 0) glyph->FPolyPolyline.clear();
    sink.Close();
  }
  glyph->FBox.Left = 0;
  glyph->FBox.Right = static_cast<float>(advance * scale);
  if (glyph->FPolyPolyline.empty()) {
    glyph->FBox.Top = glyph->FBox.Bottom = 0;
    glyph->FRealLeft = glyph->FRealRight = 0;
    return glyph;
  }
  TqdTTFRect r = cnstTTFEmptyRect;
  for (const TqdTTFContour& c : glyph->FPolyPolyline)
    for (const TqdTTFPoint& p : c) {
      r.Left = std::min(r.Left, p.X);
      r.Right = std::max(r.Right, p.X);
      r.Top = std::max(r.Top, p.Y);
      r.Bottom = std::min(r.Bottom, p.Y);
    }
  glyph->FBox.Top = r.Top;
  glyph->FBox.Bottom = r.Bottom;
  glyph->FRealLeft = r.Left;
  glyph->FRealRight = r.Right;
  return glyph;
}

const TqdGlyph* TqdTextGlyph::GlyphLocked(char32_t ACode) {
  if (!FFace) return nullptr;
  ACode = CodeOrReplacement(ACode);
  if (ACode < 256) {
    if (!FGlyphs[ACode]) FGlyphs[ACode] = MakeGlyph(ACode);
    return FGlyphs[ACode].get();
  }
  auto it = FUniIndex.find(ACode);
  if (it != FUniIndex.end()) return FGlyphsHigh[it->second].get();
  FGlyphsHigh.push_back(MakeGlyph(ACode));
  FGlyphsUniCode.push_back(ACode);
  FUniIndex.emplace(ACode, static_cast<int>(FGlyphsHigh.size() - 1));
  return FGlyphsHigh.back().get();
}

const TqdGlyph* TqdTextGlyph::Glyph(char32_t ACode) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  return GlyphLocked(ACode);
}

bool TqdTextGlyph::HasGlyph(char32_t ACode) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  ACode = CodeOrReplacement(ACode);
  if (ACode < 256) return FGlyphs[ACode] != nullptr;
  return FUniIndex.count(ACode) != 0;
}

int TqdTextGlyph::GlyphCount() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  int n = static_cast<int>(FGlyphsHigh.size());
  for (const auto& slot : FGlyphs) n += slot ? 1 : 0;
  return n;
}

std::vector<char32_t> TqdTextGlyph::UniCodes() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  return FGlyphsUniCode;
}

void TqdTextGlyph::LoadedW(const std::u16string& AText, const std::u16string& ATextW) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (!FFace) return;
  GlyphLocked(U'Q');
  GlyphLocked(U'y');
  for (char32_t c : TTFTextCodes(AText, ATextW)) GlyphLocked(c);
  if (!(FKoef > 0)) InitKoef();
}

double TqdTextGlyph::ReferenceHeight(char32_t ACode) {
  // A letter the face lacks would measure its default glyph: not a reference.
  if (CharIndex(ACode) == 0) return 0;
  FT_Face f = FFace->Face;
  if (FT_Load_Glyph(f, CharIndex(ACode), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
      f->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_BBox box;
    if (FT_Outline_Get_BBox(&f->glyph->outline, &box) == 0 && box.yMax > box.yMin)
      return static_cast<double>(box.yMax - box.yMin) * FFace->Scale;
  }
  const TqdGlyph* g = GlyphLocked(ACode);
  return g ? static_cast<double>(g->FBox.Top) - g->FBox.Bottom : 0;
}

void TqdTextGlyph::InitKoef() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (!FFace) {
    FKoef = 0;
    return;
  }
  char32_t ref = U'W';
  bool byAscent = false;
  switch (FFace->PanoseFamily) {
  case 2: // Latin text
    ref = FFace->PanoseXHeight == 1 ? U'Q' : U'W';
    break;
  case 3: // Latin hand-written
    ref = FFace->PanoseArmStyle == 6 ? U'H' : U'W';
    break;
  case 4: // Latin decorative
    ref = FFace->PanoseArmStyle == 7 ? U'X' : U'h';
    break;
  case 5: // Latin symbol
    byAscent = FFace->PanoseArmStyle == 1;
    ref = U'h';
    break;
  default:
    break;
  }
  FKoef = TTFScaleFactor(byAscent ? FFace->Ascent : ReferenceHeight(ref), FFace->Ascent,
                         FFace->EmSize);
}

double TTFScaleFactor(double ARefHeight, double AAscent, double AEmSize) {
  // A face without a measurable reference letter (symbol and pictograph faces)
  // is measured by its ascent, then by its em; a near-zero height would draw
  // its text a billion times too large.
  double height = ARefHeight;
  if (!(height >= 1e-6)) height = AAscent;
  if (!(height >= 1e-6)) height = AEmSize;
  if (!(height >= 1e-6) || !std::isfinite(height)) height = cnstTTFCellHeight;
  return cnstTTFCellHeight / height;
}

bool TqdTextGlyph::GetBoxW(const std::u16string& AText, const std::u16string& ATextW, TFRect& ABox,
                           const TFMatrix& AMatrix, TqdTTFBoxParams* AParams) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (AParams) *AParams = TqdTTFBoxParams{};
  ABox = cnstBadRect;
  const std::u32string codes = TTFTextCodes(AText, ATextW);
  if (codes.empty() || !FFace) return false;
  double left = 1e20, top = -1e20, right = -1e20, bottom = 1e20, x = 0;
  for (char32_t c : codes) {
    const TqdGlyph* gl = GlyphLocked(c);
    if (!gl) continue;
    left = std::min(left, x + gl->FBox.Left);
    right = std::max(right, x + gl->FBox.Right);
    top = std::max(top, static_cast<double>(gl->FBox.Top));
    bottom = std::min(bottom, static_cast<double>(gl->FBox.Bottom));
    x += gl->Advance();
  }
  ABox.SetTopLeft(TransformPoint({left, top, 0}, AMatrix));
  ABox.SetBottomRight(TransformPoint({right, bottom, 0}, AMatrix));
  if (AParams) {
    const TFPoint o = TransformPoint(cnstFPointZero, AMatrix);
    AParams->Above = Distance(o, TransformPoint({FAbove, 0, 0}, AMatrix));
    AParams->Below = Distance(o, TransformPoint({FBelow, 0, 0}, AMatrix));
  }
  return true;
}

namespace {

// Douglas-Peucker over P[A..B] (both kept), marking the points to keep.
void SimplifyRange(const TqdTTFContour& P, std::size_t A, std::size_t B, double Tol2,
                   std::vector<char>& Keep) {
  // An explicit stack: the depth would follow the contour's point count.
  std::vector<std::pair<std::size_t, std::size_t>> Todo{{A, B}};
  while (!Todo.empty()) {
    auto [I, J] = Todo.back();
    Todo.pop_back();
    if (J <= I + 1) continue;
    const double DX = P[J].X - P[I].X, DY = P[J].Y - P[I].Y;
    const double L2 = DX * DX + DY * DY;
    double Far = -1;
    std::size_t At = I;
    for (std::size_t K = I + 1; K < J; ++K) {
      const double QX = P[K].X - P[I].X, QY = P[K].Y - P[I].Y;
      double D2;
      if (L2 > 0) {
        const double C = QX * DY - QY * DX;
        D2 = C * C / L2;
      } else {
        D2 = QX * QX + QY * QY;
      }
      if (D2 > Far) Far = D2, At = K;
    }
    if (Far > Tol2) {
      Keep[At] = 1;
      Todo.push_back({I, At});
      Todo.push_back({At, J});
    }
  }
}

// A closed contour (first point repeated at the end) within ATolerance of itself.
TqdTTFContour SimplifyContour(const TqdTTFContour& P, double ATolerance) {
  const std::size_t N = P.size();
  if (N < 4) return P;
  // Split at the point farthest from the start: a closed ring has no chord to
  // measure against.
  std::size_t Far = 0;
  double Best = -1;
  for (std::size_t K = 1; K + 1 < N; ++K) {
    const double DX = P[K].X - P[0].X, DY = P[K].Y - P[0].Y;
    if (DX * DX + DY * DY > Best) Best = DX * DX + DY * DY, Far = K;
  }
  std::vector<char> Keep(N, 0);
  Keep[0] = Keep[Far] = Keep[N - 1] = 1;
  const double Tol2 = ATolerance * ATolerance;
  SimplifyRange(P, 0, Far, Tol2, Keep);
  SimplifyRange(P, Far, N - 1, Tol2, Keep);
  TqdTTFContour R;
  for (std::size_t K = 0; K < N; ++K)
    if (Keep[K]) R.push_back(P[K]);
  return R;
}

} // namespace

const std::vector<TqdTTFContour>& TqdTextGlyph::ContoursLocked(const TqdGlyph* AGlyph, double ATolerance) {
  if (!(ATolerance > 0) || !std::isfinite(ATolerance) || AGlyph->FPolyPolyline.empty())
    return AGlyph->FPolyPolyline;
  // The coarsest level whose tolerance stays within the one asked for.
  int Level = -1;
  for (double T = cnstTTFCoarseTolerance * 4; Level + 1 < TqdGlyph::cnstCoarseLevels && T <= ATolerance;
       T *= 4)
    ++Level;
  if (Level < 0) return AGlyph->FPolyPolyline;
  // Glyphs are made and kept by this face only; the coarse forms are part of
  // the same lazily built glyph.
  auto* G = const_cast<TqdGlyph*>(AGlyph);
  if (!G->FCoarseMade[Level]) {
    const double T = cnstTTFCoarseTolerance * std::pow(4.0, Level + 1);
    for (const TqdTTFContour& C : G->FPolyPolyline) G->FCoarse[Level].push_back(SimplifyContour(C, T));
    G->FCoarseMade[Level] = true;
  }
  return G->FCoarse[Level];
}

int TqdTextGlyph::GetPolyPolylineW(const std::u16string& AText, const std::u16string& ATextW,
                                   const TFPoint* AEpsilon, std::vector<TFPointList>& AList,
                                   const TFMatrix& AMatrix, unsigned AFontStyles, double ATolerance) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (!FFace) return 0;
  int added = 0;
  double x = 0;
  for (char32_t c : TTFTextCodes(AText, ATextW)) {
    const TqdGlyph* gl = GlyphLocked(c);
    if (!gl) continue;
    for (const TqdTTFContour& contour : ContoursLocked(gl, ATolerance)) {
      AList.emplace_back();
      TFPointList& line = AList.back();
      line.SetCapacity(static_cast<int>(contour.size()));
      TFPoint last{};
      bool first = true;
      for (const TqdTTFPoint& p : contour) {
        const TFPoint q = TransformPoint({p.X + x, p.Y, 0}, AMatrix);
        if (!first && AEpsilon && std::fabs(q.X - last.X) < AEpsilon->X &&
            std::fabs(q.Y - last.Y) < AEpsilon->Y && std::fabs(q.Z - last.Z) < AEpsilon->Z)
          continue;
        line.Add(q);
        last = q;
        first = false;
      }
      ++added;
    }
    x += gl->Advance();
  }
  const auto addLine = [&](double y) {
    AList.emplace_back();
    AList.back().Add(TransformPoint({0, y, 0}, AMatrix));
    AList.back().Add(TransformPoint({x, y, 0}, AMatrix));
  };
  const double under = GlyphLocked(U'y')->FBox.Bottom;
  if (AFontStyles & fstUnderline) addLine(under);
  if (AFontStyles & fstStrikeOut) addLine((GlyphLocked(U'Q')->FBox.Top + under) / 2);
  return added;
}

void TqdTextGlyph::DrawTextExtW(TqdGDIAdapter& ADC, unsigned AFontStyles, const TFMatrix& AMatrix,
                                const std::u16string& ATextW, const std::u16string& AText) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (!FFace) return;
  ADC.SetPolyFillMode(2);
  const auto device = [&AMatrix](double X, double Y) {
    return TqdTTFIntPoint{RoundToDevice(X * AMatrix.EX.X + Y * AMatrix.EY.X + AMatrix.E0.X),
                          RoundToDevice(X * AMatrix.EX.Y + Y * AMatrix.EY.Y + AMatrix.E0.Y)};
  };
  std::vector<TqdTTFIntPoint> points;
  std::vector<int> counts;
  double x = 0;
  for (char32_t c : TTFTextCodes(AText, ATextW)) {
    const TqdGlyph* gl = GlyphLocked(c);
    if (!gl) continue;
    points.clear();
    counts.clear();
    for (const TqdTTFContour& contour : gl->FPolyPolyline) {
      for (const TqdTTFPoint& p : contour) points.push_back(device(p.X + x, p.Y));
      counts.push_back(static_cast<int>(contour.size()));
    }
    if (!counts.empty()) {
      if (FFillText)
        ADC.PolyPolygon(points.data(), counts.data(), static_cast<int>(counts.size()));
      else
        ADC.PolyPolyline(points.data(), counts.data(), static_cast<int>(counts.size()));
    }
    x += gl->Advance();
  }
  const double under = GlyphLocked(U'y')->FBox.Bottom;
  const auto drawLine = [&](double y) {
    const TqdTTFIntPoint line[2] = {device(0, y), device(x, y)};
    ADC.Polyline(line, 2);
  };
  if (AFontStyles & fstUnderline) drawLine(under);
  if (AFontStyles & fstStrikeOut) drawLine((GlyphLocked(U'Q')->FBox.Top + under) / 2);
}

// ---------------------------------------------------------------------------
// Container

TqdContainerOfTextGlyphs& TqdContainerOfTextGlyphs::Instance() {
  static TqdContainerOfTextGlyphs c;
  return c;
}

std::string TqdContainerOfTextGlyphs::Key(const std::string& AFontName, unsigned AStyles) {
  // Underline and strike-out are drawn per text; the outlines depend on weight and slant only.
  return AFontName + std::to_string(AStyles & (fstBold | fstItalic));
}

int TqdContainerOfTextGlyphs::IndexOf(const std::string& AFontName, unsigned AStyles) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  const std::string key = Key(AFontName, AStyles);
  auto it = std::lower_bound(FContainer.begin(), FContainer.end(), key,
                             [](const auto& e, const std::string& k) { return e.first < k; });
  if (it == FContainer.end() || it->first != key) return -1;
  return static_cast<int>(it - FContainer.begin());
}

TqdTextGlyph* TqdContainerOfTextGlyphs::AddTextGlyphsByFont(const std::string& AFontName,
                                                            unsigned AFontStyle, int ACharSet) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  const std::string key = Key(AFontName, AFontStyle);
  auto it = std::lower_bound(FContainer.begin(), FContainer.end(), key,
                             [](const auto& e, const std::string& k) { return e.first < k; });
  if (it != FContainer.end() && it->first == key) return it->second.get();
  auto set = std::make_unique<TqdTextGlyph>();
  set->SetFontParams(AFontName, AFontStyle & (fstBold | fstItalic));
  set->LoadedW(u"", u"");
  TqdTextGlyph* p = set.get();
  FContainer.emplace(it, key, std::move(set));
  return p;
}

TqdTextGlyph* TqdContainerOfTextGlyphs::GetTextGlyph(int AIndex) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (AIndex < 0 || AIndex >= static_cast<int>(FContainer.size())) return nullptr;
  return FContainer[static_cast<std::size_t>(AIndex)].second.get();
}

int TqdContainerOfTextGlyphs::GetCount() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  return static_cast<int>(FContainer.size());
}

void TqdContainerOfTextGlyphs::Clear() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  FContainer.clear();
}

int TqdContainerOfTextGlyphs::Reference() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  return ++FRefs;
}

int TqdContainerOfTextGlyphs::Release() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (FRefs > 0) --FRefs;
  if (FRefs == 0) FContainer.clear();
  return FRefs;
}

// ---------------------------------------------------------------------------
// Font objects

void TmvFont::SetStyle(unsigned AStyle) {
  if ((AStyle & fstUpward) && (AStyle & fstDownward)) {
    AStyle &= ~(fstUpward | fstDownward);
    if (FStyle & fstUpward)
      AStyle |= fstDownward;
    else if (FStyle & fstDownward)
      AStyle |= fstUpward;
  }
  FStyle = AStyle;
}

int TmvFont::AverageCharWidth() const {
  std::string name;
  for (char32_t c : TTFTextCodes(Name(), u"")) AppendTTFUtf8(name, c);
  TqdTextGlyph* set = TqdContainerOfTextGlyphs::Instance().AddTextGlyphsByFont(
      name, FStyle & (fstBold | fstItalic), FCharSet);
  if (!set || !set->HasFace()) return 0;
  // A positive height is the cell height, a negative one the em height; both
  // scale the cell-unit width closely enough for a condensed face.
  return RoundToDevice(std::abs(static_cast<double>(FHeight)) * set->AverageCharWidth() /
                       cnstTTFCellHeight);
}

TqdLogFont TmvFont::LogicalFont() const {
  TqdLogFont f;
  f.Height = FHeight;
  f.Weight = FStyle & fstBold ? 700 : 400;
  f.Italic = FStyle & fstItalic;
  f.Underline = FStyle & fstUnderline;
  f.StrikeOut = FStyle & fstStrikeOut;
  f.CharSet = FCharSet;
  const int angle = FStyle & fstUpward ? 900 : (FStyle & fstDownward ? 2700 : 0);
  f.Escapement = f.Orientation = angle;
  f.Width = FStyle & fstCondensed ? AverageCharWidth() : 0;
  f.FaceName = Name().substr(0, cnstMaxFaceName);
  return f;
}

namespace {
int ModAngle3600(int AValue) {
  return AValue % 3600; // keeps the sign of the written value
}
} // namespace

std::u16string TmvExtFont::Name() const {
  const std::size_t nul = FName.find(u'\0');
  return nul == std::u16string::npos ? FName : FName.substr(0, nul);
}

void TmvExtFont::SetName(const std::u16string& AName) {
  // The packed values survive a new name.
  const std::u16string values =
      FName.size() == cnstPackedLength ? FName.substr(cnstPackedLength - 4) : std::u16string(4, u'\0');
  std::u16string packed = AName.substr(0, std::min(AName.find(u'\0'), cnstNameChars));
  packed.resize(cnstPackedLength - 4, u'\0');
  FName = packed + values;
}

int TmvExtFont::Slot(int I) const {
  return static_cast<std::int16_t>(FName[cnstPackedLength - 4 + static_cast<std::size_t>(I)]);
}

void TmvExtFont::SetSlot(int I, int AValue) {
  FName[cnstPackedLength - 4 + static_cast<std::size_t>(I)] =
      static_cast<char16_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>(AValue)));
}

void TmvExtFont::SetEscapement(int AValue) {
  const bool together = Escapement() == Orientation();
  SetSlot(2, ModAngle3600(AValue));
  if (together) SetSlot(3, 0);
}

int TmvExtFont::Orientation() const {
  return Slot(3) != 0 ? Slot(3) : Escapement();
}

void TmvExtFont::SetOrientation(int AValue) {
  const int v = ModAngle3600(AValue);
  // Stored only where it differs from the escapement.
  SetSlot(3, v == Escapement() ? 0 : v);
}

TqdLogFont TmvExtFont::LogicalFont() const {
  TqdLogFont f = TmvFont::LogicalFont();
  if (Width() != 0) f.Width = Width();
  if (Weight() != 0) f.Weight = Weight();
  if (Escapement() != 0) f.Escapement = Escapement() < 0 ? Escapement() + 3600 : Escapement();
  if (Orientation() != 0)
    f.Orientation = Orientation() < 0 ? Orientation() + 3600 : Orientation();
  return f;
}

// ---------------------------------------------------------------------------
// Text

std::u32string TTFTextCodes(const std::u16string& AText, const std::u16string& ATextW) {
  const std::u16string& s = ATextW.empty() ? AText : ATextW;
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    out.push_back(c);
  }
  return out;
}

std::u16string TTFUtf8ToUtf16(std::string_view AText) {
  std::u16string out;
  out.reserve(AText.size());
  const auto* p = reinterpret_cast<const unsigned char*>(AText.data());
  const std::size_t n = AText.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    char32_t c = 0xFFFD;
    int len = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b <= 0xF4) {
      const int need = b < 0xE0 ? 1 : (b < 0xF0 ? 2 : 3);
      char32_t v = b & (0x3F >> need);
      bool ok = true;
      for (int k = 1; ok && k <= need; ++k) {
        if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
          ok = false;
          break;
        }
        v = v << 6 | (p[i + k] & 0x3F);
      }
      const char32_t minimum = need == 1 ? 0x80 : (need == 2 ? 0x800 : 0x10000);
      if (ok && v >= minimum && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
        c = v;
        len = need + 1;
      }
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += static_cast<std::size_t>(len);
  }
  return out;
}
