// One session as a user runs it, through the widgets' own mouse and key events:
// open the sample, zoom by wheel and by rectangle, pan, select by click and by
// frame, edit a colour, copy, paste at (7, 2), preview, cancel a large load, fail
// to open a file that is no drawing, close. After each step the state it must
// leave is checked; the navigator's picture is compared with a render of the
// same view made here.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest/QtTest>
#include <cmath>
#include <memory>

#include "editor_test_setup.h"
#include "BlockInsert.h"
#include "Blocks.h"
#include "CADImage.h"
#include "Inserts.h"
#include "Readers.h"
#include "TableItems.h"
#include "fEntityInspector.h"
#include "fMain.h"
#include "fPreview.h"
#include "qdDrawingNavigator.h"
#include "qdQtCanvas.h"
#include "qdRasterGraphic.h"
#include "qdSManager.h"

namespace {

const QString cnstSample = QStringLiteral(DRAFTWELL_SOURCE_DIR "/samples/plan.dxf");

// The share of pixels whose channels differ by at most 48.
double Likeness(const QImage& A, const QImage& B) {
  if (A.size() != B.size() || A.isNull()) return 0;
  const QImage X = A.convertToFormat(QImage::Format_RGB32), Y = B.convertToFormat(QImage::Format_RGB32);
  qint64 Same = 0;
  for (int R = 0; R < X.height(); ++R)
    for (int C = 0; C < X.width(); ++C) {
      const QRgb P = X.pixel(C, R), Q = Y.pixel(C, R);
      Same += std::abs(qRed(P) - qRed(Q)) <= 48 && std::abs(qGreen(P) - qGreen(Q)) <= 48 &&
              std::abs(qBlue(P) - qBlue(Q)) <= 48;
    }
  return double(Same) / (double(X.width()) * X.height());
}

// The shown image drawn here into the navigator's picture rectangle.
QImage RenderHere(TqdDrawingNavigator* N) {
  QImage I(N->size(), QImage::Format_RGB32);
  const TqdDeviceColor B = N->CADImage()->BackgroundColor();
  I.fill(QColor(GetRValue(B), GetGValue(B), GetBValue(B)));
  TqdQtCanvas C(&I);
  N->CADImage()->Draw(C, N->PictureRect());
  C.End();
  return I;
}

void Drag(QWidget* W, Qt::MouseButton Button, const QPoint& A, const QPoint& B) {
  QTest::mousePress(W, Button, {}, A);
  for (const QPoint& P : {(A + B) / 2, B}) {
    QMouseEvent Move(QEvent::MouseMove, P, W->mapToGlobal(P), Qt::NoButton, Button, Qt::NoModifier);
    QCoreApplication::sendEvent(W, &Move);
  }
  QTest::mouseRelease(W, Button, {}, B);
}

}  // namespace

class SessionTest : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;

 private slots:
  void initTestCase() {
    QVERIFY(qdSetUpEditorTest(FDir));
  }

  void a_whole_session() {
    TfmMain W;
    QStringList Errors, Asked;
    W.OnShowMessage = [&](const QString& T, bool IsError) {
      if (IsError) Errors << T;
    };
    W.OnAskUnsaved = [&](const QString& Name) {
      Asked << Name;
      return TqdUnsavedAnswer::Discard;
    };
    W.OnShowWarnings = [](const QStringList&) {};
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    TqdDrawingNavigator* N = W.DNavigator();

    // Open.
    QVERIFY(W.FileOpen(cnstSample));
    QVERIFY(W.LoadWarnings().isEmpty());
    QCOMPARE(N->Scale(), 1.0);

    // Zoom by wheel about the centre.
    const QPoint C(N->width() / 2, N->height() / 2);
    QWheelEvent Wheel(C, N->mapToGlobal(C), {}, {0, 120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(N, &Wheel);
    QVERIFY(std::abs(N->Scale() - 1.25) < 1e-9);

    // Zoom by rectangle: the view grows by the rectangle's share of the client.
    const double Before = N->PictureRectWidth();
    Drag(N, Qt::LeftButton, {100, 100}, {300, 250});
    const double S = std::min(N->width() / 200.0, N->height() / 150.0);
    QVERIFY(std::abs(N->PictureRectWidth() - Before * S) < 1e-6 * Before * S);
    QVERIFY(W.Manager()->Entities().empty());

    // Pan with the right button.
    const TF2DRect R0 = N->PictureRect2D();
    Drag(N, Qt::RightButton, {200, 200}, {260, 170});
    QVERIFY(std::abs(N->PictureRect2D().Left - (R0.Left + 60)) < 1e-6);
    QVERIFY(std::abs(N->PictureRect2D().Top - (R0.Top - 30)) < 1e-6);

    // What is shown is what the image draws for that view.
    N->RefreshFrame();
    const double L = Likeness(N->grab().toImage(), RenderHere(N));
    qInfo("navigator against an in-process render: likeness %.4f", L);
    QVERIFY2(L >= 0.95, qPrintable(QString::number(L)));

    // Back to the whole drawing; select by click on a wall.
    W.mmiFit->trigger();
    N->RefreshFrame();
    TqdCADImage* Img = N->CADImage();
    auto Pix = [&](double X, double Y) {
      const TqdPoint Q = Img->GetPoint({X, Y, 0});
      return QPoint(Q.X, Q.Y);
    };
    QPoint Hit;
    for (int Y = 40; Y < N->height() - 40 && Hit.isNull(); Y += 3)
      for (int X = 40; X < N->width() - 40; X += 3)
        if (W.Manager()->FindEntity({X, Y})) {
          Hit = {X, Y};
          break;
        }
    QVERIFY(!Hit.isNull());
    QTest::mouseClick(N, Qt::LeftButton, {}, Hit);
    QCOMPARE(W.Manager()->Entities().size(), std::size_t(1));
    TqdDXFEntity* Picked = W.Manager()->Entities().front();
    QCOMPARE(W.FEntityInspector->ShownEntity(), Picked);

    // Edit its colour through the inspector's colour box.
    const int Row = W.FEntityInspector->FindRow("Color");
    QVERIFY(Row >= 0);
    QComboBox* Box = W.FEntityInspector->RowComboBox(Row);
    QVERIFY(Box);
    const TqdColorCAD OldColor = Picked->ColorCAD();
    Box->setFocus();  // the click on it would; the view keeps the arrow keys
    QTest::keyClick(Box, Qt::Key_Down);
    QVERIFY(!(Picked->ColorCAD() == OldColor));
    QVERIFY(W.Modified());
    QVERIFY(W.windowTitle().startsWith("plan.dxf*"));

    // Select by frame: everything inside the drawing's box.
    QTest::mouseClick(W.BtnMSelect, Qt::LeftButton);
    const TFRect E = Img->Extents();
    Drag(N, Qt::LeftButton, Pix(E.Left, E.Top) + QPoint(-5, -5), Pix(E.Right, E.Bottom) + QPoint(5, 5));
    const std::vector<TqdDXFEntity*> Sel = W.Manager()->Entities();
    QVERIFY(Sel.size() > 5);
    QTest::mouseClick(W.BtnSelect, Qt::LeftButton);

    // Copy and paste at (7, 2).
    TFRect SelBox = cnstBadRect;
    for (TqdDXFEntity* X : Sel) UnionBoxes(SelBox, X->Box());
    QTest::mouseClick(W.btnCopy, Qt::LeftButton);
    W.OnExecDialog = [&](QDialog& D) {
      if (auto* B = dynamic_cast<TfmBlockInsert*>(&D)) {
        B->show();
        B->lbeX->selectAll();
        QTest::keyClicks(B->lbeX, "7");
        B->lbeY->selectAll();
        QTest::keyClicks(B->lbeY, "2");
        QTest::mouseClick(B->Button1, Qt::LeftButton);
      }
      return D.result();
    };
    QTest::mouseClick(W.btnPaste, Qt::LeftButton);
    auto* Ref = dynamic_cast<TqdDXFInsert*>(W.Manager()->Entities().front());
    QVERIFY(Ref && Ref->Block());
    QVERIFY(std::abs(Ref->Point().X - 7) < 1e-9 && std::abs(Ref->Point().Y - 2) < 1e-9);
    QVERIFY(std::abs(Ref->Block()->Offset().X - std::min(SelBox.Left, SelBox.Right)) < 1e-9);
    QVERIFY(std::abs(Ref->Block()->Offset().Y - std::min(SelBox.Top, SelBox.Bottom)) < 1e-9);
    QCOMPARE(QString::fromStdString(Ref->Layer()->Name()),
             QString::fromStdString(Img->Converter()->HeadVarStruct().CLayer));

    // Preview of the pasted reference: a picture with ink, no internal names.
    bool Previewed = false;
    W.OnExecDialog = [&](QDialog& D) {
      if (auto* P = dynamic_cast<TfmPreview*>(&D)) {
        P->show();
        Previewed = !P->grab().isNull() && !P->Label1->text().contains("Tqd");
      }
      return 0;
    };
    QTest::mouseClick(W.sbPreviewSelection, Qt::LeftButton);
    QVERIFY(Previewed);

    // Cancel a large load at 30%: the edited drawing was asked about first.
    const QString Big = FDir.filePath("big.dxf");
    {
      QByteArray B = "0\nSECTION\n2\nENTITIES\n";
      for (int I = 0; I < 120000; ++I)
        B += "0\nLINE\n8\n0\n10\n" + QByteArray::number(I % 500) + "\n20\n" + QByteArray::number(I / 500) +
             "\n11\n" + QByteArray::number(I % 500 + 1) + "\n21\n" + QByteArray::number(I / 500) + "\n";
      B += "0\nENDSEC\n0\nEOF\n";
      QFile F(Big);
      QVERIFY(F.open(QIODevice::WriteOnly));
      F.write(B);
    }
    const TqdProgressEvent Editor = N->OnProgress;
    bool Clicked = false;
    N->OnProgress = [&](TqdGraphic* G, TqdProgressStage St, int P, const std::string& M) {
      Editor(G, St, P, M);
      if (!Clicked && P >= 30 && W.Loading()) {
        Clicked = true;
        QTest::mouseClick(W.btnStopLoading, Qt::LeftButton);
      }
    };
    const bool Opened = W.FileOpen(Big);
    N->OnProgress = Editor;
    QCOMPARE(Asked, QStringList{"plan.dxf"});
    if (Clicked && Opened) QVERIFY(W.LoadSummary().startsWith("Loading cancelled"));
    QVERIFY(Errors.isEmpty());

    // A file that is no drawing: the drawing, view and selection stay.
    N->RefreshFrame();
    W.Manager()->SelectAll();
    const auto Kept = W.Manager()->Entities();
    const TF2DRect View = N->PictureRect2D();
    const TqdGraphic* Shown = N->ActualGraphic();
    QByteArray Random(2048, 0);
    for (int I = 0; I < Random.size(); ++I) Random[I] = char((I * 131 + 7) % 253);
    const QString Bad = FDir.filePath("random.dwg");
    {
      QFile F(Bad);
      QVERIFY(F.open(QIODevice::WriteOnly));
      F.write(Random);
    }
    QVERIFY(!W.FileOpen(Bad));
    QCOMPARE(Errors.size(), 1);
    QVERIFY(Errors.front().startsWith("Not a DWG file"));
    QCOMPARE(N->ActualGraphic(), Shown);
    QVERIFY(W.Manager()->Entities() == Kept);
    QVERIFY(N->PictureRect2D().Left == View.Left && N->PictureRect2D().Right == View.Right);

    // Close.
    QTest::mouseClick(W.btnClose, Qt::LeftButton);
    QVERIFY(!W.FileIsOpen());
    QCOMPARE(W.windowTitle(), QString("Draftwell"));
  }
};

QTEST_MAIN(SessionTest)
#include "session_test.moc"
