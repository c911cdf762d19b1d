// draftwell-screenshot: the editor under a script, for the tests that run it
// under Xvfb. Opens FILE, applies view and editing steps, grabs the main window
// into a PNG and exits; messages go to stderr instead of message boxes.
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>

#include "BlockInsert.h"
#include "Properties.h"
#include "fEntityInspector.h"
#include "fPreview.h"
#include "qdBlockLibrary.h"
#include "qdSManager.h"
#include "qdSelection.h"

#include "CADImage.h"
#include "Readers.h"
#include "fMain.h"
#include "qdDrawingNavigator.h"
#include "qdRasterGraphic.h"

namespace {

// The scripted screenshot: apply the view steps after the load, grab the main
// window into a PNG and exit.
struct TShot {
  QString File;
  int Layout = -1;
  int Zoom = 0;
  int PanX = 0, PanY = 0;
  // Editing steps, in this order: click the painted pixel nearest the view's
  // centre, grab the window (Before), set inspector attributes (Name=Value),
  // grab the preview of the selection, copy the selection and paste it shifted
  // by fractions of the extents.
  bool ClickEntity = false;
  QString Before;
  QStringList Sets;
  QString PasteShift;
  QString Preview;
};

// A left click at client pixel P of the navigator, as the window system sends it.
void Click(TqdDrawingNavigator* N, QPoint P) {
  const QPointF G = N->mapToGlobal(QPointF(P));
  QMouseEvent Down(QEvent::MouseButtonPress, QPointF(P), G, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(N, &Down);
  QMouseEvent Up(QEvent::MouseButtonRelease, QPointF(P), G, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(N, &Up);
  QCoreApplication::processEvents();
}

bool EditSteps(TfmMain& W, const TShot& S) {
  TqdDrawingNavigator* N = W.DNavigator();
  TqdSelectionManager* M = W.Manager();
  if (S.ClickEntity) {
    N->Invalidate();
    N->RefreshFrame();
    // The painted pixel nearest the centre, found in the selection raster.
    const TqdSelectionMatrix* R = M->Matrix();
    const QPoint C(N->width() / 2, N->height() / 2);
    QPoint Best(-1, -1);
    for (int D = 0; D < std::max(N->width(), N->height()) && Best.x() < 0; ++D)
      for (int DY = -D; DY <= D && Best.x() < 0; ++DY)
        for (int DX = -D; DX <= D; DX += (DY == -D || DY == D) ? 1 : std::max(1, 2 * D)) {
          const std::uint32_t V = R->NumberAt(C.x() + DX, C.y() + DY);
          if (V >= 1 && V <= R->Entities().size()) {
            Best = C + QPoint(DX, DY);
            break;
          }
        }
    if (Best.x() < 0) return std::fprintf(stderr, "draftwell-screenshot: nothing painted to click\n"), false;
    Click(N, Best);
    if (M->Entities().size() != 1) return std::fprintf(stderr, "draftwell-screenshot: the click selected nothing\n"), false;
    const TqdDXFEntity* E = M->Entities().front();
    std::printf("clicked (%d, %d): %s handle %llX\n", Best.x(), Best.y(), GetPropertyName(E->ClassName()).c_str(),
                static_cast<unsigned long long>(E->Handle()));
  }
  if (!S.Before.isEmpty()) {
    // Without the markers, so that only the drawing differs.
    const std::vector<TqdDXFEntity*> Keep = M->Entities();
    M->DeselectAll();
    QCoreApplication::processEvents();
    if (!W.grab().save(S.Before, "PNG")) return false;
    for (TqdDXFEntity* E : Keep) M->Select(E);
  }
  for (const QString& Set : S.Sets) {
    const QString Name = Set.section('=', 0, 0), Value = Set.section('=', 1);
    TfmEntityInspector* I = W.FEntityInspector;
    const int Row = I->FindRow(Name);
    const bool Ok = Row >= 0 && (I->RowComboBox(Row) ? I->ComboBoxSelect(Row, Value)
                                                     : I->qdAttributesSetEditText(Row, Value));
    std::printf("set %s: %s\n", qPrintable(Set), Ok ? "applied" : "refused");
    if (!Ok) return false;
  }
  if (!S.Preview.isEmpty()) {
    bool Saved = false;
    W.OnExecDialog = [&](QDialog& D) {
      D.show();
      QCoreApplication::processEvents();
      Saved = D.grab().save(S.Preview, "PNG");
      return 0;
    };
    W.Preview1Click();
    if (!Saved) return false;
  }
  if (!S.PasteShift.isEmpty()) {
    const QStringList F = S.PasteShift.split(',');
    const TFRect E = N->CADImage() ? N->CADImage()->Extents() : cnstBadRect;
    if (F.size() != 2 || IsBadBox(E)) return false;
    const float X = static_cast<float>((E.Right - E.Left) * F[0].toDouble());
    const float Y = static_cast<float>((E.Top - E.Bottom) * F[1].toDouble());
    W.btnCopyClick();
    TfmBlockInsert* D = W.BlockInsertDialog();
    D->FormShow();
    D->lbeX->setText(QString::number(X));
    D->lbeY->setText(QString::number(Y));
    D->lsbBlockName->setCurrentRow(D->lsbBlockName->count() - 1);
    if (!D->Button1Click()) return false;
    std::printf("pasted at (%g, %g)\n", X, Y);
  }
  M->DeselectAll();
  return true;
}

bool Screenshot(TfmMain& W, const TShot& S) {
  if (S.Layout >= 0 && S.Layout < W.cbLayouts->count()) W.cbLayouts->setCurrentIndex(S.Layout);
  TqdDrawingNavigator* N = W.DNavigator();
  const TF2DPoint C{N->width() / 2.0, N->height() / 2.0};
  for (int I = 0; I < std::abs(S.Zoom); ++I) N->AlterScale(false, C, S.Zoom > 0 ? N->ZoomInChange() : N->ZoomOutChange());
  if (S.PanX != 0 || S.PanY != 0) N->MovePictureRect(S.PanX, S.PanY);
  QCoreApplication::processEvents();
  if (!EditSteps(W, S)) return false;
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
  P.setApplicationDescription("The Draftwell editor under a script: grabs its window into a PNG and exits");
  P.addHelpOption();
  P.addPositionalArgument("file", "A drawing or picture to open first.", "[FILE]");
  QCommandLineOption ShotOpt("screenshot", "Grab the window after the steps into FILE and exit.", "FILE");
  QCommandLineOption LayoutOpt("layout", "Layout index for the screenshot.", "N");
  QCommandLineOption ZoomOpt("zoom", "Wheel steps about the centre (negative: out).", "STEPS");
  QCommandLineOption PanOpt("pan", "Pan by DX,DY pixels.", "DX,DY");
  QCommandLineOption ClickOpt("click-entity", "Click the painted entity nearest the centre.");
  QCommandLineOption BeforeOpt("before", "Grab the window after the click into FILE.", "FILE");
  QCommandLineOption SetOpt("set", "Set an inspector attribute of the clicked entity.", "NAME=VALUE");
  QCommandLineOption PasteOpt("paste-shift", "Copy and paste the selection shifted by fractions of the extents.", "FX,FY");
  QCommandLineOption PreviewOpt("preview", "Grab the preview of the selection into FILE.", "FILE");
  for (QCommandLineOption* O : {&ShotOpt, &LayoutOpt, &ZoomOpt, &PanOpt, &ClickOpt, &BeforeOpt, &SetOpt, &PasteOpt, &PreviewOpt})
    P.addOption(*O);
  P.process(App);
  const QStringList Files = P.positionalArguments();
  if (Files.size() > 1) {
    std::fprintf(stderr, "draftwell-screenshot: only one file, please\n");
    return 2;
  }
  TShot Shot;
  Shot.File = P.value(ShotOpt);
  if (Shot.File.isEmpty()) {
    std::fprintf(stderr, "draftwell-screenshot: --screenshot FILE is needed\n");
    return 2;
  }
  Shot.Layout = P.isSet(LayoutOpt) ? P.value(LayoutOpt).toInt() : -1;
  Shot.Zoom = P.value(ZoomOpt).toInt();
  if (P.isSet(PanOpt)) {
    const QStringList D = P.value(PanOpt).split(',');
    if (D.size() == 2) Shot.PanX = D[0].toInt(), Shot.PanY = D[1].toInt();
  }
  Shot.ClickEntity = P.isSet(ClickOpt);
  Shot.Before = P.value(BeforeOpt);
  Shot.Sets = P.values(SetOpt);
  Shot.PasteShift = P.value(PasteOpt);
  Shot.Preview = P.value(PreviewOpt);

  TfmMain W;
  int Exit = 0;
  // No one is there to close a message box.
  W.OnShowMessage = [&Exit](const QString& Text, bool IsError) {
    std::fprintf(stderr, "draftwell-screenshot: %s\n", Text.toLocal8Bit().constData());
    if (IsError) Exit = 1;
  };
  W.show();
  // After show: the navigator has its real size when the picture is fitted.
  QTimer::singleShot(0, &W, [&] {
    bool Ok = true;
    if (!Files.isEmpty()) Ok = W.FileOpen(Files.front());
    if (!Screenshot(W, Shot)) {
      std::fprintf(stderr, "draftwell-screenshot: cannot write %s\n", Shot.File.toLocal8Bit().constData());
      Exit = 1;
    } else if (!Ok) {
      Exit = 1;
    }
    QCoreApplication::exit(Exit);
  });
  const int R = App.exec();
  return R != 0 ? R : Exit;
}
