// draftwell [FILE]: the editor; FILE opens at start.
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "CADImage.h"
#include "Readers.h"
#include "fMain.h"
#include "qdDrawingNavigator.h"
#include "qdRasterGraphic.h"

namespace {

// Hidden options for scripted screenshots: apply the view steps after the
// load, grab the main window into a PNG and exit.
struct TShot {
  QString File;
  int Layout = -1;
  int Zoom = 0;
  int PanX = 0, PanY = 0;
};

bool Screenshot(TfmMain& W, const TShot& S) {
  if (S.Layout >= 0 && S.Layout < W.cbLayouts->count()) W.cbLayouts->setCurrentIndex(S.Layout);
  TqdDrawingNavigator* N = W.DNavigator();
  const TF2DPoint C{N->width() / 2.0, N->height() / 2.0};
  for (int I = 0; I < std::abs(S.Zoom); ++I) N->AlterScale(false, C, S.Zoom > 0 ? N->ZoomInChange() : N->ZoomOutChange());
  if (S.PanX != 0 || S.PanY != 0) N->MovePictureRect(S.PanX, S.PanY);
  QCoreApplication::processEvents();
  return W.grab().save(S.File, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  QApplication::setApplicationName("Draftwell");
  RegisterReaders();
  RegisterCADImages();
  RegisterViewGraphics();

  QCommandLineParser P;
  P.setApplicationDescription("Draftwell drawing editor");
  P.addHelpOption();
  P.addPositionalArgument("file", "A drawing or picture to open at start.", "[FILE]");
  QCommandLineOption ShotOpt("screenshot", "Grab the window after the load into FILE and exit.", "FILE");
  QCommandLineOption LayoutOpt("layout", "Layout index for the screenshot.", "N");
  QCommandLineOption ZoomOpt("zoom", "Wheel steps about the centre (negative: out).", "STEPS");
  QCommandLineOption PanOpt("pan", "Pan by DX,DY pixels.", "DX,DY");
  for (QCommandLineOption* O : {&ShotOpt, &LayoutOpt, &ZoomOpt, &PanOpt}) {
    O->setFlags(QCommandLineOption::HiddenFromHelp);
    P.addOption(*O);
  }
  P.process(App);
  const QStringList Files = P.positionalArguments();
  if (Files.size() > 1) {
    std::fprintf(stderr, "draftwell: only one file, please\n");
    return 2;
  }
  TShot Shot;
  Shot.File = P.value(ShotOpt);
  Shot.Layout = P.isSet(LayoutOpt) ? P.value(LayoutOpt).toInt() : -1;
  Shot.Zoom = P.value(ZoomOpt).toInt();
  if (P.isSet(PanOpt)) {
    const QStringList D = P.value(PanOpt).split(',');
    if (D.size() == 2) Shot.PanX = D[0].toInt(), Shot.PanY = D[1].toInt();
  }

  TfmMain W;
  int Exit = 0;
  if (!Shot.File.isEmpty()) {
    // No one is there to close a message box.
    W.OnShowMessage = [&Exit](const QString& Text, bool IsError) {
      std::fprintf(stderr, "draftwell: %s\n", Text.toLocal8Bit().constData());
      if (IsError) Exit = 1;
    };
  }
  W.show();
  if (!Files.isEmpty() || !Shot.File.isEmpty()) {
    // After show: the navigator has its real size when the picture is fitted.
    QTimer::singleShot(0, &W, [&] {
      bool Ok = true;
      if (!Files.isEmpty()) Ok = W.FileOpen(Files.front());
      if (Shot.File.isEmpty()) return;
      if (!Screenshot(W, Shot)) {
        std::fprintf(stderr, "draftwell: cannot write %s\n", Shot.File.toLocal8Bit().constData());
        Exit = 1;
      } else if (!Ok) {
        Exit = 1;
      }
      QCoreApplication::exit(Exit);
    });
  }
  const int R = App.exec();
  return R != 0 ? R : Exit;
}
