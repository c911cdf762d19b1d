#include "RenderCommand.h"

#include <QGuiApplication>
#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "CADImage.h"
#include "Info.h"
#include "qdExport.h"
#include "qdQtCanvas.h"

namespace {

const char* const kRenderUsage =
    "Usage: draftwell-cli render FILE -o OUT.png|OUT.svg|OUT.pdf [--layout NAME|INDEX]\n"
    "                            [--size WxH] [--background white|black] [--verbose]\n"
    "  Draws a layout of the drawing (default: the drawing's default layout) fitted\n"
    "  with a border into a WxH picture (default 1600x1200, white background).\n"
    "  Nothing is written when the drawing cannot be read. --verbose lets the\n"
    "  toolkit's own messages through.\n";

// A usage error: the usage line and where the rest is, not the whole help.
static std::string ShortUsage() {
  const std::string U = kRenderUsage;
  return U.substr(0, U.find('\n') + 1) + "see 'draftwell-cli render --help'\n";
}

bool GQtMessages = false;

// The toolkit's diagnostics (XDG_RUNTIME_DIR and the like) are not ours to print.
void QtMessages(QtMsgType T, const QMessageLogContext& C, const QString& M) {
  if (!GQtMessages && T != QtFatalMsg) return;
  const QByteArray B = qFormatLogMessage(T, C, M).toLocal8Bit();
  std::fprintf(stderr, "%s\n", B.constData());
}

}  // namespace

// Text and SVG output need the application object; headless by default.
void EnsureCliApplication() {
  if (QCoreApplication::instance()) return;
  qInstallMessageHandler(QtMessages);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int Argc = 1;
  static char Name[] = "draftwell-cli";
  static char* Argv[] = {Name, nullptr};
  static QGuiApplication* App = new QGuiApplication(Argc, Argv);
  (void)App;
}

namespace {

bool ParseSize(const std::string& S, int& W, int& H) {
  const std::size_t X = S.find_first_of("xX");
  if (X == std::string::npos) return false;
  char* End = nullptr;
  const long A = std::strtol(S.c_str(), &End, 10);
  if (End != S.c_str() + X) return false;
  const long B = std::strtol(S.c_str() + X + 1, &End, 10);
  if (*End != 0 || A < 1 || B < 1 || A > 32767 || B > 32767) return false;
  W = static_cast<int>(A);
  H = static_cast<int>(B);
  return true;
}

const char* const kRender = "draftwell-cli render";

struct TRenderJob {
  std::string File, Output, Layout;
  int W = 1600, H = 1200;
  bool Black = false;
  bool Verbose = false;
};

}  // namespace

TqdCADImage* LoadCliDrawing(TqdPicture& P, const std::string& File, const char* Command, std::string& Err,
                            bool& ReadOk, const TqdProgressEvent& OnProgress) {
  ReadOk = false;
  P.OnProgress = OnProgress;
  try {
    P.LoadFromFile(File);
  } catch (const std::exception& E) {
    Err += std::string(Command) + ": " + E.what() + "\n";
    return nullptr;
  }
  auto* Img = dynamic_cast<TqdCADImage*>(P.Graphic());
  if (!Img) {
    Err += std::string(Command) + ": " + File + " is not a drawing\n";
    return nullptr;
  }
  Img->SetIsProcessMessages(false);
  if (!Img->LoadOk()) {
    Err += std::string(Command) + ": " +
           (Img->LoadError().empty() ? std::string("cannot read the file") : Img->LoadError()) + "\n";
    return Img->HasContent() ? Img : nullptr;
  }
  ReadOk = true;
  return Img;
}

bool SelectCliLayout(TqdCADImage& Img, const std::string& Layout, const char* Command, std::string& Err) {
  if (!Layout.empty()) {
    if (!Img.SelectLayout(Layout)) {
      Err += std::string(Command) + ": no layout '" + Layout + "'\n";
      return false;
    }
    return true;
  }
  const int D = Img.Converter() ? Img.Converter()->DefaultLayoutIndex() : 0;
  if (!Img.SelectLayout(std::to_string(D)) && !Img.SelectLayout("0")) {
    Err += std::string(Command) + ": the drawing has no layout\n";
    return false;
  }
  return true;
}

namespace {

int Render(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  TRenderJob J;
  for (std::size_t I = 1; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    auto Value = [&](std::string& V) {
      if (I + 1 >= Args.size()) return false;
      V = Args[++I];
      return true;
    };
    std::string V;
    if (A == "--help" || A == "-h") {
      Out += kRenderUsage;
      return 0;
    } else if (A == "-o" || A == "--output") {
      if (!Value(J.Output)) return Err += ShortUsage(), 2;
    } else if (A == "--verbose" || A == "-v") {
      J.Verbose = true;
    } else if (A == "--layout") {
      if (!Value(J.Layout)) return Err += ShortUsage(), 2;
    } else if (A == "--size") {
      if (!Value(V) || !ParseSize(V, J.W, J.H)) {
        Err += "draftwell-cli render: --size wants WxH (1..32767 each)\n";
        return 2;
      }
    } else if (A == "--background") {
      if (!Value(V) || (V != "white" && V != "black")) {
        Err += "draftwell-cli render: --background is white or black\n";
        return 2;
      }
      J.Black = V == "black";
    } else if (!A.empty() && A[0] == '-') {
      Err += "draftwell-cli render: unknown option '" + A + "'\n";
      return 2;
    } else if (J.File.empty()) {
      J.File = A;
    } else {
      Err += "draftwell-cli render: only one file, please\n";
      return 2;
    }
  }
  if (J.File.empty() || J.Output.empty()) {
    Err += ShortUsage();
    return 2;
  }
  if (qdPictureKindOf(J.Output) == pkNone) {
    Err += "draftwell-cli render: the output is a .png, .svg or .pdf file\n";
    return 2;
  }
  GQtMessages = J.Verbose;
  RegisterCliFormats();
  EnsureCliApplication();
  TqdPicture Picture;
  bool ReadOk = false;
  TqdCADImage* Loaded = LoadCliDrawing(Picture, J.File, kRender, Err, ReadOk);
  if (!Loaded) return 1;
  TqdCADImage& Img = *Loaded;
  if (!SelectCliLayout(Img, J.Layout, kRender, Err)) return ReadOk ? 2 : 1;
  Img.SetBackgroundColor(J.Black ? 0 : 0xFFFFFF);
  Img.SetDefaultColor(J.Black ? 0xFFFFFF : 0);
  const auto T0 = std::chrono::steady_clock::now();
  std::string Why;
  if (!qdWritePicture(Img, J.Output, J.W, J.H, Why)) {
    Err += "draftwell-cli render: " + Why + "\n";
    return 1;
  }
  const double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%.1f", Ms);
  Out += "wrote " + J.Output + " (" + std::to_string(J.W) + "x" + std::to_string(J.H) + ", layout '" +
         (Img.CurrentLayout() ? Img.CurrentLayout()->Name() : std::string()) + "') in " + Buf + " ms\n";
  return ReadOk ? 0 : 1;
}

// The time of one full redraw of the default layout at 1600x1200, or a negative
// value when the file cannot be drawn.
double RenderMs(const std::string& File) {
  RegisterCliFormats();
  EnsureCliApplication();
  TqdPicture Picture;
  std::string Err;
  bool ReadOk = false;
  TqdCADImage* Loaded = LoadCliDrawing(Picture, File, kRender, Err, ReadOk);
  if (!Loaded) return -1;
  TqdCADImage& Img = *Loaded;
  if (!SelectCliLayout(Img, {}, kRender, Err)) return -1;
  QImage Q(1600, 1200, QImage::Format_RGB32);
  TqdQtCanvas C(&Q);
  const auto T0 = std::chrono::steady_clock::now();
  qdPaintFitted(Img, C, 1600, 1200);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
}

}  // namespace

int RenderCommand(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  return Render(Args, Out, Err);
}

int RunCliWithRender(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  SetCliPictureCommands(RenderCommand, ThumbnailCommand);
  if (Args.empty()) return RunCli(Args, Out, Err);
  if (Args[0] == "render") return Render(Args, Out, Err);
  if (Args[0] == "thumbnail") return ThumbnailCommand(Args, Out, Err);
  if (Args[0] != "info") return RunCli(Args, Out, Err);
  std::vector<std::string> Rest;
  bool Timed = false, Json = false;
  std::string File;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    if (I > 0 && Args[I] == "--render") {
      Timed = true;
      continue;
    }
    if (Args[I] == "--json") Json = true;
    if (I > 0 && !Args[I].empty() && Args[I][0] != '-' && File.empty()) File = Args[I];
    Rest.push_back(Args[I]);
  }
  const int R = RunCli(Rest, Out, Err);
  if (!Timed || File.empty() || R == 2) return R;
  const double Ms = RenderMs(File);
  if (Ms < 0) return R;
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%.3f", Ms);
  if (Json) {
    // One more key at the end of the object; the existing ones stay as they are.
    const std::size_t Close = Out.rfind('}');
    const std::size_t Last = Close == std::string::npos ? Close : Out.find_last_not_of(" \t\r\n", Close - 1);
    if (Last != std::string::npos) Out.insert(Last + 1, std::string(",\n  \"render_ms\": ") + Buf);
  } else {
    Out += std::string("render time: ") + Buf + " ms\n";
  }
  return R;
}
