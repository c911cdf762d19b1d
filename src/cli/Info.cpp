#include "Info.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "CADImage.h"
#include "ConvertCommand.h"
#include "DumpCommand.h"
#include "Json.h"
#include "Readers.h"
#include "SHXFontList.h"
#include "SHXStandardNames.h"
#include "TTF.h"
#include "qdCodePages.h"
#include "qdGraphic.h"
#include "qdMappedFile.h"
#include "qdReaders.h"

#ifndef DRAFTWELL_VERSION
#define DRAFTWELL_VERSION "0"
#endif

namespace {

// One line per format family: what reads it, or that it is recognised only.
std::string FormatsText() {
  struct TRow {
    const char* Reader;
    const char* Text;
  };
  static constexpr TRow Rows[] = {
      {"dxf", "  DXF      .dxf              text and binary, R9 to 2018"},
      {"dwg", "  DWG      .dwg .dwt .gp2    R9 to R2018"},
      {"hpgl", "  HPGL/2   .plt .hpgl .hpg .pcl .prn .rtl and more: HPGL/2, HP RTL and PCL plot files"},
  };
  std::string S = "Formats (the content decides when it is not what the extension says):\n";
  for (const TRow& R : Rows) {
    S += R.Text;
    if (!qdFindDrawingReader(R.Reader)) S += " (recognised, not supported yet)";
    S += "\n";
  }
  return S;
}

std::string Usage() {
  return "Usage: draftwell-cli COMMAND [ARGS]\n"
         "\n"
         "Commands:\n"
         "  help                 show this text (COMMAND --help: that command's usage)\n"
         "  version              print the version\n"
         "  info FILE [--json] [--render]\n"
         "                       load a drawing and describe it: format, release,\n"
         "                       layouts with their entities by type and box, layers,\n"
         "                       linetypes, text and dimension styles, blocks, a few\n"
         "                       header variables, load time, warnings and errors.\n"
         "                       --json prints one JSON object instead of text;\n"
         "                       --render also times one full redraw (render_ms).\n"
         "  render FILE -o OUT.png|OUT.svg|OUT.pdf [--layout NAME|INDEX] [--size WxH]\n"
         "                       [--background white|black] [--verbose]\n"
         "                       draw a layout into a picture (render --help for more)\n"
         "  thumbnail FILE OUT.png [--size N] [--budget MS]\n"
         "                       a small square picture for file managers, read for\n"
         "                       at most MS milliseconds (thumbnail --help for more)\n"
         "  dump FILE --xml [--handle H]\n"
         "                       the drawing, or the item of hexadecimal handle H, in\n"
         "                       its XML form (without --xml: the plain item tree)\n" +
         std::string(kConvertUsage) +
         "\n" +
         FormatsText() +
         "\n"
         "Exit status: 0 the drawing was read (warnings included), 1 a file could not be\n"
         "read or written (nothing is written then), 2 a usage error.\n";
}

struct TLayoutFacts {
  std::string Name, Block;
  bool HasBlock = false;
  int EntityCount = 0;
  std::map<std::string, int> Entities;
  TFRect Box = cnstBadRect;
};

struct TFacts {
  std::string File, Format, Version;
  std::vector<TLayoutFacts> Layouts;
  std::vector<std::string> Layers, LTypes, Styles, DimStyles, Blocks;
  TFPoint ExtMin, ExtMax, InsBase;
  int InsUnits = 0, TileMode = 0, Measurement = 0;
  std::string CodePage;
  double LoadMs = 0;
  std::vector<std::string> Warnings;
  std::string Error;
  struct TFontFact {
    std::string Name, Kind, Resolved;
  };
  std::vector<TFontFact> Fonts;
};

std::vector<std::string> Names(const TqdDXFEntity* T) {
  std::vector<std::string> R;
  if (!T) return R;
  for (int I = 0; I < T->Count(); ++I)
    if (const TqdDXFEntity* E = T->GetEntity(I)) R.push_back(E->Name());
  return R;
}

bool IsTrueTypeName(const std::string& N) {
  const std::string U = SHXUpperCase(N);
  for (const char* E : {".TTF", ".TTC", ".OTF"})
    if (U.size() >= 4 && U.compare(U.size() - 4, 4, E) == 0) return true;
  return false;
}

// The fonts the text styles ask for and what each resolved to (the loader put the
// drawing's folder first on the search path). TrueType names are listed without a
// resolution.
void GatherFonts(TqdDXFConverter& C, TFacts& F) {
  TqdSHXFontList* L = C.SHXFonts();
  const TqdDXFEntity* T = C.GetSection(csStyles);
  if (!L || !T) return;
  std::vector<std::string> Seen;
  auto Add = [&](const std::string& Name, const char* Kind, const std::string& Resolved) {
    const std::string U = SHXUpperCase(Name);
    if (std::find(Seen.begin(), Seen.end(), U) != Seen.end()) return;
    Seen.push_back(U);
    F.Fonts.push_back({SanitizeUTF8(Name), Kind, SanitizeUTF8(Resolved)});
    // The loaded texts may have reported the same substitution already.
    auto Warn = [&](const std::string& W) {
      if (std::find(F.Warnings.begin(), F.Warnings.end(), W) == F.Warnings.end()) F.Warnings.push_back(W);
    };
    const std::string Family = IsTrueTypeName(Name) ? "TrueType font \"" : "SHX font \"";
    // The standard SHX fonts stand in silently (still listed as substitutes).
    if (std::string(Kind) == "substitute" && !IsTrueTypeName(Name) && qdIsStandardSHXName(Name)) return;
    if (std::string(Kind) == "substitute")
      Warn(Family + SanitizeUTF8(Name) + "\" not found: drawn with " +
                           SanitizeUTF8(std::filesystem::path(Resolved).filename().string()));
    else if (std::string(Kind) == "none" && !IsTrueTypeName(Name))
      Warn("SHX font \"" + SanitizeUTF8(Name) + "\" not found and no fallback font is installed");
  };
  for (int I = 0; I < T->Count(); ++I) {
    const auto* S = dynamic_cast<const TqdDXFStyle*>(T->GetEntity(I));
    if (!S) continue;
    const std::string Main(S->FPrimaryFont), Big(S->FBigFont);
    const bool ShapeFile = S->Flags() & 1;
    if (!Main.empty() && IsTrueTypeName(Main)) {
      // TrueType faces through the system's registry, Windows names mapped to their
      // metric-compatible stand-ins.
      const TqdTTFResolution T = ResolveTTFFace(Main);
      const std::string Kind = TTFResolutionKindName(T.Kind);
      Add(Main, Kind == "file" ? "file" : Kind == "substitute" ? "substitute" : "none",
          T.FileName.empty() ? T.FaceName : T.FileName);
    } else {
      L->AddStyle(ShapeFile ? std::string() : S->Name(), Main, Big, S->Flags() & 4, S->FTextGenFlags & 4,
                  S->FTextGenFlags & 2, S->FObliqueAngle, S->FWidthFactor);
    }
  }
  static const char* const cKinds[] = {"file", "substitute", "none"};
  for (const TqdFontRequest& R : L->Requests()) {
    const std::string Asked = R.Name;
    Add(Asked, cKinds[R.Kind], R.Path);
  }
  // Faces that drew characters the drawing's own faces lack.
  for (const TqdTTFResolution& R : TTFFallbackFacesUsed())
    Add(R.FaceName.empty() ? R.FamilyName : R.FaceName, "fallback", R.FileName);
}

TFacts Gather(const std::string& Path, const TqdCADImage& I) {
  TFacts F;
  TqdDXFConverter& C = *I.Converter();
  const TqdLoadResult& R = I.LoadResult();
  F.File = SanitizeUTF8(std::filesystem::path(Path).filename().string());
  F.Format = R.Format;
  F.Version = R.Version;
  for (int J = 0; J < C.LayoutsCount(); ++J) {
    const TqdDXFLayout* L = C.GetLayout(J);
    if (!L) continue;
    TLayoutFacts LF;
    LF.Name = L->Name();
    if (const TqdDXFBlock* B = L->PaperSpaceBlockField()) {
      LF.Block = B->Name();
      LF.HasBlock = true;
      LF.EntityCount = B->Count();
      for (int K = 0; K < B->Count(); ++K) {
        const TqdDXFEntity* E = B->GetEntity(K);
        if (!E) continue;
        ++LF.Entities[EntityTypeName(R, *E)];
      }
    }
    LF.Box = L->Box();
    F.Layouts.push_back(std::move(LF));
  }
  F.Layers = Names(C.GetSection(csLayers));
  F.LTypes = Names(C.GetSection(csLTypes));
  F.Styles = Names(C.GetSection(csStyles));
  F.DimStyles = Names(C.GetSection(csDimStyles));
  F.Blocks = Names(C.GetSection(csBlocks));
  const TqdHeadVarStruct& H = C.HeadVarStruct();
  F.ExtMin = H.ExtMim;
  F.ExtMax = H.ExtMax;
  F.InsBase = H.InsBase;
  F.InsUnits = H.InsUnits;
  F.TileMode = H.TileMode;
  F.Measurement = H.Measurement ? 1 : 0;
  F.CodePage = R.CodePageName;
  F.LoadMs = R.LoadMs;
  F.Warnings = I.LoadWarnings();
  F.Error = R.Error;
  GatherFonts(C, F);
  return F;
}

// A load that produced nothing worth describing.
bool NothingRead(const TqdCADImage& I) { return !I.LoadOk() && !I.HasContent(); }

bool EmptyBox(const TFRect& B) { return !(B.Left <= B.Right && B.Bottom <= B.Top && B.Z1 <= B.Z2); }

void Point(TJsonWriter& W, const TFPoint& P) {
  W.BeginArray();
  W.Number(P.X);
  W.Number(P.Y);
  W.Number(P.Z);
  W.EndArray();
}

void StringList(TJsonWriter& W, const char* Key, const std::vector<std::string>& L) {
  W.Key(Key);
  W.BeginArray();
  for (const std::string& S : L) W.String(S);
  W.EndArray();
}

std::string ToJson(const TFacts& F) {
  TJsonWriter W;
  W.BeginObject();
  W.Key("file");
  W.String(F.File);
  W.Key("format");
  W.String(F.Format);
  W.Key("version");
  if (F.Version.empty())
    W.Null();
  else
    W.String(F.Version);
  W.Key("layouts");
  W.BeginArray();
  for (const TLayoutFacts& L : F.Layouts) {
    W.BeginObject();
    W.Key("name");
    W.String(L.Name);
    W.Key("block");
    if (L.HasBlock)
      W.String(L.Block);
    else
      W.Null();
    W.Key("entity_count");
    W.Int(L.EntityCount);
    W.Key("entities");
    W.BeginObject();
    for (const auto& [T, N] : L.Entities) {
      W.Key(T);
      W.Int(N);
    }
    W.EndObject();
    W.Key("box");
    if (EmptyBox(L.Box)) {
      W.Null();
    } else {
      W.BeginArray();
      for (double V : {L.Box.Left, L.Box.Bottom, L.Box.Z1, L.Box.Right, L.Box.Top, L.Box.Z2}) W.Number(V);
      W.EndArray();
    }
    W.EndObject();
  }
  W.EndArray();
  StringList(W, "layers", F.Layers);
  StringList(W, "linetypes", F.LTypes);
  StringList(W, "text_styles", F.Styles);
  StringList(W, "dimstyles", F.DimStyles);
  StringList(W, "blocks", F.Blocks);
  W.Key("header");
  W.BeginObject();
  W.Key("EXTMIN");
  Point(W, F.ExtMin);
  W.Key("EXTMAX");
  Point(W, F.ExtMax);
  W.Key("INSBASE");
  Point(W, F.InsBase);
  W.Key("INSUNITS");
  W.Int(F.InsUnits);
  W.Key("TILEMODE");
  W.Int(F.TileMode);
  W.Key("MEASUREMENT");
  W.Int(F.Measurement);
  W.Key("CODEPAGE");
  if (F.CodePage.empty())
    W.Null();
  else
    W.String(F.CodePage);
  W.EndObject();
  W.Key("load_ms");
  W.Number(F.LoadMs);
  W.Key("fonts");
  W.BeginArray();
  for (const TFacts::TFontFact& Ft : F.Fonts) {
    W.BeginObject();
    W.Key("name");
    W.String(Ft.Name);
    W.Key("kind");
    W.String(Ft.Kind);
    W.Key("resolved");
    W.String(Ft.Resolved);
    W.EndObject();
  }
  W.EndArray();
  StringList(W, "warnings", F.Warnings);
  if (!F.Error.empty()) {
    W.Key("error");
    W.String(F.Error);
  }
  W.EndObject();
  return W.Text();
}

std::string Num(double V) {
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%.6g", V);
  return Buf;
}

std::string PointText(const TFPoint& P) { return "(" + Num(P.X) + ", " + Num(P.Y) + ", " + Num(P.Z) + ")"; }

// The names separated by commas, wrapped before column 100 with the continuation
// lines indented under the first name. A name is never split, and lines that
// hold paths (file, fonts) are never wrapped: their length depends on where
// the files lie, not on the drawing.
std::string Joined(const std::vector<std::string>& L) {
  constexpr std::size_t cnstIndent = 13, cnstWidth = 100;
  std::string R;
  std::size_t Column = cnstIndent;
  for (std::size_t I = 0; I < L.size(); ++I) {
    const std::string Item = L[I] + (I + 1 < L.size() ? "," : "");
    if (I > 0) {
      if (Column + 1 + Item.size() > cnstWidth) {
        R += "\n" + std::string(cnstIndent, ' ');
        Column = cnstIndent;
      } else {
        R += ' ';
        ++Column;
      }
    }
    R += Item;
    Column += Item.size();
  }
  return R.empty() ? "-" : R;
}

std::string ToText(const TFacts& F) {
  std::string O;
  O += "file:        " + F.File + "\n";
  O += "format:      " + F.Format + "\n";
  O += "version:     " + (F.Version.empty() ? std::string("(none)") : F.Version) + "\n";
  O += "layouts:     " + std::to_string(F.Layouts.size()) + "\n";
  for (const TLayoutFacts& L : F.Layouts) {
    O += "  " + L.Name + " [" + (L.HasBlock ? L.Block : std::string("no block")) + "]: " +
         std::to_string(L.EntityCount) + " entities";
    if (!EmptyBox(L.Box))
      O += ", box " + PointText({L.Box.Left, L.Box.Bottom, L.Box.Z1}) + " - " +
           PointText({L.Box.Right, L.Box.Top, L.Box.Z2});
    O += "\n";
    for (const auto& [T, N] : L.Entities) O += "    " + T + ": " + std::to_string(N) + "\n";
  }
  O += "layers:      " + Joined(F.Layers) + "\n";
  O += "linetypes:   " + Joined(F.LTypes) + "\n";
  O += "text styles: " + Joined(F.Styles) + "\n";
  O += "dim styles:  " + Joined(F.DimStyles) + "\n";
  O += "blocks:      " + Joined(F.Blocks) + "\n";
  O += "header:      EXTMIN " + PointText(F.ExtMin) + ", EXTMAX " + PointText(F.ExtMax) + ", INSBASE " +
       PointText(F.InsBase) + "\n";
  O += "             INSUNITS " + std::to_string(F.InsUnits) + ", TILEMODE " + std::to_string(F.TileMode) +
       ", MEASUREMENT " + std::to_string(F.Measurement) + ", CODEPAGE " +
       (F.CodePage.empty() ? std::string("(none)") : F.CodePage) + "\n";
  for (const TFacts::TFontFact& Ft : F.Fonts)
    O += "font:        " + Ft.Name + " -> " + (Ft.Resolved.empty() ? std::string("(none)") : Ft.Resolved) + " (" +
         Ft.Kind + ")\n";
  O += "load time:   " + Num(F.LoadMs) + " ms\n";
  for (const std::string& Wn : F.Warnings) O += "warning:     " + Wn + "\n";
  if (!F.Error.empty()) O += "error:       " + F.Error + "\n";
  return O;
}

int Info(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  std::string Path;
  bool Json = false;
  for (std::size_t I = 1; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (A == "--json") {
      Json = true;
    } else if (A == "--help" || A == "-h") {
      Out += Usage();
      return 0;
    } else if (!A.empty() && A[0] == '-' && A != "-") {
      Err += "draftwell-cli info: unknown option '" + A + "'; see 'draftwell-cli info --help'\n";
      return 2;
    } else if (Path.empty()) {
      Path = A;
    } else {
      Err += "draftwell-cli info: only one file, please; see 'draftwell-cli info --help'\n";
      return 2;
    }
  }
  if (Path.empty()) {
    Err += "draftwell-cli info: a FILE is needed; see 'draftwell-cli info --help'\n";
    return 2;
  }
  const std::string Base = SanitizeUTF8(std::filesystem::path(Path).filename().string());
  auto Fail = [&](const std::string& Reason) {
    if (Json) {
      TJsonWriter W;
      W.BeginObject();
      W.Key("file");
      W.String(Base);
      W.Key("error");
      W.String(SanitizeUTF8(Reason));
      W.EndObject();
      Out += W.Text();
    } else {
      Err += "draftwell-cli info: " + Reason + "\n";
    }
    return 1;
  };
  std::string ReadError;
  (void)qdReadFileHead(Path, 1, &ReadError);
  if (!ReadError.empty()) return Fail("Cannot read " + Path + ": " + ReadError);
  TqdPicture Picture;
  try {
    Picture.LoadFromFile(Path);
  } catch (const std::exception& X) {
    const std::string What = X.what();
    // Messages that name the file already stand alone.
    return Fail(What.rfind(Base, 0) == 0 ? What : Base + ": " + What);
  }
  auto* I = dynamic_cast<TqdCADImage*>(Picture.Graphic());
  if (!I || !I->Converter()) return Fail(Base + ": not a drawing");
  if (NothingRead(*I))
    return Fail(Base + ": " + (I->LoadError().empty() ? std::string("nothing could be read") : I->LoadError()));
  const TFacts F = Gather(Path, *I);
  Out += Json ? ToJson(F) : ToText(F);
  if (!I->LoadOk()) {
    if (!Json) Err += "draftwell-cli info: " + (I->LoadError().empty() ? std::string("cannot read the file") : I->LoadError()) + "\n";
    return 1;
  }
  return 0;
}

}  // namespace

void RegisterCliFormats() {
  // What the headless face can open: every reader and the drawing picture classes.
  static const bool Registered = (RegisterReaders(), RegisterCADImages(), true);
  (void)Registered;
}

namespace {
TCliCommand GRenderCommand = nullptr, GThumbnailCommand = nullptr;
}  // namespace

void SetCliPictureCommands(TCliCommand Render, TCliCommand Thumbnail) {
  GRenderCommand = Render;
  GThumbnailCommand = Thumbnail;
}

int RunCli(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  RegisterCliFormats();
  if (Args.empty()) {
    Err += "Usage: draftwell-cli COMMAND [ARGS]; see 'draftwell-cli --help'\n";
    return 2;
  }
  const std::string& Cmd = Args[0];
  if (Cmd == "help" || Cmd == "--help" || Cmd == "-h") {
    Out += Usage();
    return 0;
  }
  if (Cmd == "version" || Cmd == "--version") {
    Out += std::string("draftwell-cli ") + DRAFTWELL_VERSION + "\n";
    return 0;
  }
  if (Cmd == "info") return Info(Args, Out, Err);
  if (Cmd == "render" && GRenderCommand) return GRenderCommand(Args, Out, Err);
  if (Cmd == "thumbnail" && GThumbnailCommand) return GThumbnailCommand(Args, Out, Err);
  if (Cmd == "dump") return RunDump(Args, Out, Err);
  if (Cmd == "convert") return RunConvert(Args, Out, Err);
  Err += "draftwell-cli: unknown command '" + Cmd + "'; see 'draftwell-cli --help'\n";
  return 2;
}
