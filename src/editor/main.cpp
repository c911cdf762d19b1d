// draftwell [FILE]: the editor; FILE opens at start.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "CADImage.h"
#include "Readers.h"
#include "fMain.h"
#include "qdRasterGraphic.h"

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
  P.process(App);
  const QStringList Files = P.positionalArguments();
  if (Files.size() > 1) {
    std::fprintf(stderr, "draftwell: only one file, please\n");
    return 2;
  }

  TfmMain W;
  W.show();
  if (!Files.isEmpty())
    // After show: the navigator has its real size when the picture is fitted.
    QTimer::singleShot(0, &W, [&] { W.FileOpen(Files.front()); });
  return App.exec();
}
