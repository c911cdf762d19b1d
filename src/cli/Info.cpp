#include "Info.h"

#include <cstdio>
#include <filesystem>
#include <map>

#include "DXF.h"
#include "DumpCommand.h"
#include "Json.h"
#include "qdCodePages.h"

#ifndef DRAFTWELL_VERSION
#define DRAFTWELL_VERSION "0"
#endif

namespace {

const char* const kUsage =
    "Usage: draftwell-cli COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  help                 show this text\n"
    "  version              print the version\n"
    "  info FILE [--json]   load a drawing (DXF, text or binary) and describe it:\n"
    "                       release, layouts with their entities by type and box,\n"
    "                       layers, linetypes, text and dimension styles, blocks,\n"
    "                       a few header variables, load time, warnings and errors.\n"
    "                       --json prints one JSON object instead of text.\n"
    "\n"
    "Exit status: 0 on success (warnings included), 1 when a file could not be read,\n"
    "2 for a usage error.\n";

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
};

std::vector<std::string> Names(const TqdDXFEntity* T) {
  std::vector<std::string> R;
  if (!T) return R;
  for (int I = 0; I < T->Count(); ++I)
    if (const TqdDXFEntity* E = T->GetEntity(I)) R.push_back(E->Name());
  return R;
}

// The type name of an entity the reader did not name: its class without the prefix.
TFacts Gather(const std::string& Path, TqdDXFConverter& C, const TdxfLoadResult& R) {
  TFacts F;
  F.File = SanitizeUTF8(std::filesystem::path(Path).filename().string());
  F.Format = R.Format == dfBinary ? "dxf-binary" : "dxf-text";
  F.Version = R.AcadVer;
  for (int I = 0; I < C.LayoutsCount(); ++I) {
    const TqdDXFLayout* L = C.GetLayout(I);
    if (!L) continue;
    TLayoutFacts LF;
    LF.Name = L->Name();
    if (const TqdDXFBlock* B = L->PaperSpaceBlockField()) {
      LF.Block = B->Name();
      LF.HasBlock = true;
      LF.EntityCount = B->Count();
      for (int J = 0; J < B->Count(); ++J) {
        const TqdDXFEntity* E = B->GetEntity(J);
        if (!E) continue;
        ++LF.Entities[DXFNameOf(R, *E)];
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
  F.Warnings = R.Warnings;
  F.Error = R.Error;
  return F;
}

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

std::string Joined(const std::vector<std::string>& L) {
  std::string R;
  for (const std::string& S : L) R += (R.empty() ? "" : ", ") + S;
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
      Out += kUsage;
      return 0;
    } else if (!A.empty() && A[0] == '-' && A != "-") {
      Err += "draftwell-cli info: unknown option '" + A + "'\n";
      return 2;
    } else if (Path.empty()) {
      Path = A;
    } else {
      Err += "draftwell-cli info: only one file, please\n";
      return 2;
    }
  }
  if (Path.empty()) {
    Err += "draftwell-cli info: a FILE is needed\n\n";
    Err += kUsage;
    return 2;
  }
  RegisterDXFReader();
  TqdConverterParams P;
  P.CheckHandles = true;
  TqdConverterRef C(new TqdDXFConverter(P));
  TdxfLoadOptions O;
  O.RecordNames = true;
  const TdxfLoadResult R = LoadDXFFile(Path, *C.get(), O);
  const TFacts F = Gather(Path, *C.get(), R);
  Out += Json ? ToJson(F) : ToText(F);
  if (!R.Ok) {
    if (!Json) Err += "draftwell-cli info: " + (R.Error.empty() ? std::string("cannot read the file") : R.Error) + "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int RunCli(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  if (Args.empty()) {
    Err += kUsage;
    return 2;
  }
  const std::string& Cmd = Args[0];
  if (Cmd == "help" || Cmd == "--help" || Cmd == "-h") {
    Out += kUsage;
    Out += std::string("\n") + kDumpUsage;
    return 0;
  }
  if (Cmd == "version" || Cmd == "--version") {
    Out += std::string("draftwell-cli ") + DRAFTWELL_VERSION + "\n";
    return 0;
  }
  if (Cmd == "info") return Info(Args, Out, Err);
  if (Cmd == "dump") return RunDump(Args, Out, Err);
  Err += "draftwell-cli: unknown command '" + Cmd + "'\n\n";
  Err += kUsage;
  return 2;
}
