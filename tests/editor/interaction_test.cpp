// The main window under the mouse and keyboard: rectangle zoom in pointer mode,
// copy and paste at a typed point, and the modified flag with its question
// before edits are lost.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
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
#include "qdBlockLibrary.h"
#include "qdDrawingNavigator.h"
#include "qdFunction.h"
#include "qdRasterGraphic.h"
#include "qdSManager.h"

namespace {

// Two lines and a circle well apart, two layers, WALLS current.
const char* const cnstDrawing =
    "0\nSECTION\n2\nHEADER\n9\n$CLAYER\n8\nWALLS\n0\nENDSEC\n"
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n2\n"
    "0\nLAYER\n2\n0\n70\n0\n62\n7\n6\nCONTINUOUS\n"
    "0\nLAYER\n2\nWALLS\n70\n0\n62\n1\n6\nCONTINUOUS\n0\nENDTAB\n0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n5\nA1\n8\n0\n10\n10\n20\n20\n30\n0\n11\n60\n21\n20\n31\n0\n"
    "0\nLINE\n5\nA2\n8\n0\n10\n10\n20\n40\n30\n0\n11\n60\n21\n45\n31\n0\n"
    "0\nCIRCLE\n5\nA3\n8\n0\n10\n120\n20\n100\n30\n0\n40\n10\n"
    "0\nENDSEC\n0\nEOF\n";

struct TWin {
  std::unique_ptr<TfmMain> W;
  TqdDrawingNavigator* N = nullptr;
  QStringList Messages;
  QStringList Asked;
  TqdUnsavedAnswer Answer = TqdUnsavedAnswer::Cancel;

  explicit TWin(const QString& File) {
    W = std::make_unique<TfmMain>();
    W->OnShowMessage = [this](const QString& T, bool) { Messages << T; };
    W->OnAskUnsaved = [this](const QString& Name) {
      Asked << Name;
      return Answer;
    };
    W->resize(900, 640);
    W->show();
    N = W->DNavigator();
    if (!W->FileOpen(File)) return;
    N->Invalidate();
    N->RefreshFrame();
  }
  TqdCADImage* Img() const { return N->CADImage(); }
  TqdDXFEntity* ByHandle(std::uint64_t H) const {
    return Img()->Converter()->ModelSpace()->FindEntByHandle(false, false, H);
  }
  QPoint Pix(const TFPoint& P) const {
    const TqdPoint Q = Img()->GetPoint(P);
    return {Q.X, Q.Y};
  }
  void Drag(const QPoint& A, const QPoint& B, bool CheckBand = false) const {
    QTest::mousePress(N, Qt::LeftButton, {}, A);
    const QPoint Mid = (A + B) / 2;
    for (const QPoint& P : {Mid, B}) {
      QMouseEvent Move(QEvent::MouseMove, P, N->mapToGlobal(P), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(N, &Move);
    }
    if (CheckBand) QVERIFY(W->Manager()->RectZooming());
    QTest::mouseRelease(N, Qt::LeftButton, {}, B);
  }
};

}  // namespace

class InteractionTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FFile;

 private slots:
  void initTestCase() {
    QVERIFY(qdSetUpEditorTest(FDir));
    FFile = FDir.filePath("shapes.dxf");
    QFile F(FFile);
    QVERIFY(F.open(QIODevice::WriteOnly));
    F.write(cnstDrawing);
  }

  // ---- rectangle zoom

  // A left drag in pointer mode shows a rubber band and zooms so that the
  // rectangle fills the view; the selection is left alone.
  void left_drag_zooms_to_the_rectangle() {
    TWin T(FFile);
    QVERIFY(T.W->FileIsOpen());
    QVERIFY(T.W->BtnSelect->isChecked());
    const TFPoint A = T.N->GetDrawingInternalCoordsWithoutSnap(100, 100);
    const TFPoint B = T.N->GetDrawingInternalCoordsWithoutSnap(300, 250);
    T.Drag({100, 100}, {300, 250}, true);
    QVERIFY(!T.W->Manager()->RectZooming());
    QVERIFY(T.W->Manager()->Entities().empty());
    T.N->RefreshFrame();
    const QPoint PA = T.Pix(A), PB = T.Pix(B);
    const double W = T.N->width(), H = T.N->height();
    const double RW = std::abs(PB.x() - PA.x()), RH = std::abs(PB.y() - PA.y());
    // The rectangle fills the view in one direction and is centred in the other.
    QVERIFY2(std::abs(RW - W) <= 2 || std::abs(RH - H) <= 2, qPrintable(QString("%1 x %2").arg(RW).arg(RH)));
    QVERIFY(RW <= W + 2 && RH <= H + 2);
    QVERIFY(std::abs((PA.x() + PB.x()) / 2.0 - W / 2) <= 2);
    QVERIFY(std::abs((PA.y() + PB.y()) / 2.0 - H / 2) <= 2);
    QVERIFY(std::abs(RW / RH - 200.0 / 150.0) < 0.05);
  }

  // A click (no drag) selects and does not zoom; a drag that starts on a
  // selected entity moves it instead of zooming.
  void click_selects_and_drag_on_selection_moves() {
    TWin T(FFile);
    const TF2DRect View = T.N->PictureRect2D();
    const QPoint OnLine = T.Pix({35, 20, 0});
    QTest::mouseClick(T.N, Qt::LeftButton, {}, OnLine);
    QCOMPARE(T.W->Manager()->Entities().size(), std::size_t(1));
    QVERIFY(!T.W->Modified());
    T.Drag(OnLine, OnLine + QPoint(40, -30));
    const TF2DRect After = T.N->PictureRect2D();
    QVERIFY(After.Left == View.Left && After.Right == View.Right);
    QVERIFY(static_cast<TqdDXFLine*>(T.ByHandle(0xA1))->Point().X > 10.5);
    QVERIFY(T.W->Modified());
    QVERIFY(T.W->windowTitle().startsWith("shapes.dxf*"));
  }

  // ---- copy and paste

  void paste_at_the_typed_point() {
    TWin T(FFile);
    QVERIFY(T.W->FileIsOpen());
    QTest::mouseClick(T.N, Qt::LeftButton, {}, T.Pix({35, 20, 0}));
    QTest::mouseClick(T.N, Qt::LeftButton, Qt::ShiftModifier, T.Pix({120, 110, 0}));
    const std::vector<TqdDXFEntity*> Sel = T.W->Manager()->Entities();
    QCOMPARE(Sel.size(), std::size_t(2));
    TFRect SelBox = cnstBadRect;
    for (TqdDXFEntity* E : Sel) UnionBoxes(SelBox, E->Box());
    QTest::mouseClick(T.W->btnCopy, Qt::LeftButton);
    QCOMPARE(T.W->BlockLibrary()->Count(), 1);

    QStringList Listed;
    int Current = -1;
    T.W->OnExecDialog = [&](QDialog& D) {
      auto& B = static_cast<TfmBlockInsert&>(D);
      B.show();
      for (int I = 0; I < B.lsbBlockName->count(); ++I) Listed << B.lsbBlockName->item(I)->text();
      Current = B.lsbBlockName->currentRow();
      B.lbeX->selectAll();
      QTest::keyClicks(B.lbeX, "7");
      B.lbeY->selectAll();
      QTest::keyClicks(B.lbeY, "2");
      QTest::mouseClick(B.Button1, Qt::LeftButton);
      return D.result();
    };
    QTest::mouseClick(T.W->btnPaste, Qt::LeftButton);
    QCOMPARE(Listed.size(), 1);
    QVERIFY2(QRegularExpression(QString::fromUtf8("^Copy \\d+ \u2014 2 entities$")).match(Listed[0]).hasMatch(),
             qPrintable(Listed[0]));
    QCOMPARE(Current, 0);
    QVERIFY(T.Messages.isEmpty());

    QCOMPARE(T.W->Manager()->Entities().size(), std::size_t(1));
    auto* R = dynamic_cast<TqdDXFInsert*>(T.W->Manager()->Entities().front());
    QVERIFY(R);
    QVERIFY(std::abs(R->Point().X - 7) < 1e-9 && std::abs(R->Point().Y - 2) < 1e-9 && R->Point().Z == 0);
    QVERIFY(R->Block());
    const TFPoint Base = R->Block()->Offset();
    QVERIFY(std::abs(Base.X - std::min(SelBox.Left, SelBox.Right)) < 1e-9);
    QVERIFY(std::abs(Base.Y - std::min(SelBox.Top, SelBox.Bottom)) < 1e-9);
    QVERIFY(R->Layer());
    QCOMPARE(QString::fromStdString(R->Layer()->Name()), QString("WALLS"));
    // What is drawn is the selection moved by one vector: its corner to (7, 2).
    const double DX = 7 - Base.X, DY = 2 - Base.Y;
    const TFRect Box = R->Box();
    QVERIFY2(std::abs(std::min(Box.Left, Box.Right) - (std::min(SelBox.Left, SelBox.Right) + DX)) < 1e-6 &&
                 std::abs(std::max(Box.Left, Box.Right) - (std::max(SelBox.Left, SelBox.Right) + DX)) < 1e-6 &&
                 std::abs(std::min(Box.Top, Box.Bottom) - (std::min(SelBox.Top, SelBox.Bottom) + DY)) < 1e-6 &&
                 std::abs(std::max(Box.Top, Box.Bottom) - (std::max(SelBox.Top, SelBox.Bottom) + DY)) < 1e-6,
             qPrintable(QString("%1 %2 %3 %4").arg(Box.Left).arg(Box.Top).arg(Box.Right).arg(Box.Bottom)));
    QVERIFY(T.W->Modified());
  }

  // ---- the inspector

  // Raw fields in words, whole at the window's first size, raw value in the tooltip.
  void inspector_is_readable() {
    TWin T(FFile);
    QTest::mouseClick(T.N, Qt::LeftButton, {}, T.Pix({35, 20, 0}));
    TfmEntityInspector* I = T.W->FEntityInspector;
    QVERIFY(I->ShownEntity());
    const int LW = I->FindRow("LineWeight");
    QVERIFY(LW >= 0);
    QCOMPARE(I->RowValue(LW), QString("ByLayer"));
    QVERIFY(I->qdAttributes->item(LW, 1)->toolTip().contains("-1"));
    const int X = I->FindRow("X", "Point1");
    QVERIFY(X >= 0);
    QCOMPARE(I->RowValue(X), QString("60"));
    QTest::qWait(0);
    const QFontMetrics M(I->qdAttributes->font());
    for (int Row : {LW, X}) {
      const QRect Cell = I->qdAttributes->visualItemRect(I->qdAttributes->item(Row, 1));
      QVERIFY2(M.horizontalAdvance(I->RowValue(Row)) + 6 <= Cell.width(),
               qPrintable(QString("%1 in %2 px").arg(I->RowValue(Row)).arg(Cell.width())));
    }
    // Typing the word back changes nothing; typing a weight in millimetres does.
    QVERIFY(!I->qdAttributesSetEditText(LW, "ByLayer"));
    QVERIFY(T.Messages.isEmpty());
    QVERIFY(I->qdAttributesSetEditText(LW, "0.5 mm"));
    QCOMPARE(I->RowValue(I->FindRow("LineWeight")), QString("0.5 mm"));
    QVERIFY(T.W->Modified());
  }

  // Flags read as words, with the number after them; typing a number over the
  // words sets it.
  void flags_are_words() {
    const QString File = FDir.filePath("flags.dxf");
    QFile F(File);
    QVERIFY(F.open(QIODevice::WriteOnly));
    F.write("0\nSECTION\n2\nENTITIES\n"
            "0\nLWPOLYLINE\n5\nB1\n8\n0\n90\n4\n70\n129\n10\n0\n20\n0\n10\n50\n20\n0\n10\n50\n20\n30\n10\n0\n20\n30\n"
            "0\nENDSEC\n0\nEOF\n");
    F.close();
    TWin T(File);
    QTest::mouseClick(T.N, Qt::LeftButton, {}, T.Pix({25, 0, 0}));
    TfmEntityInspector* I = T.W->FEntityInspector;
    QVERIFY(I->ShownEntity());
    const int Row = I->FindRow("Flags");
    QVERIFY(Row >= 0);
    QCOMPARE(I->RowValue(Row), QString("Closed, Linetype continuous (129)"));
    QVERIFY(I->qdAttributes->item(Row, 1)->toolTip().contains("129"));
    QVERIFY(!I->qdAttributesSetEditText(Row, "Closed, Linetype continuous (129)"));
    QVERIFY(I->qdAttributesSetEditText(Row, "1"));
    QCOMPARE(I->RowValue(I->FindRow("Flags")), QString("Closed (1)"));
    QVERIFY(I->qdAttributesSetEditText(I->FindRow("Flags"), "None (0)"));
    QCOMPARE(I->RowValue(I->FindRow("Flags")), QString("None (0)"));
  }

  // The preview window takes the selection's shape: wide for a line, square
  // for a circle.
  void preview_takes_the_shape_of_the_selection() {
    TWin T(FFile);
    QSize Shown;
    T.W->OnExecDialog = [&](QDialog& D) {
      // The dialog is not shown yet: its size less the button panel's 41 rows.
      Shown = D.size() - QSize(0, 41);
      return int(QDialog::Rejected);
    };
    QTest::mouseClick(T.N, Qt::LeftButton, {}, T.Pix({35, 20, 0}));
    QCOMPARE(int(T.W->Manager()->Entities().size()), 1);
    T.W->sbPreviewSelection->click();
    QVERIFY2(Shown.width() >= 2 * Shown.height(), qPrintable(QString("%1x%2").arg(Shown.width()).arg(Shown.height())));
    QTest::mouseClick(T.N, Qt::LeftButton, {}, T.Pix({130, 100, 0}));
    QCOMPARE(int(T.W->Manager()->Entities().size()), 1);
    T.W->sbPreviewSelection->click();
    QVERIFY2(std::abs(Shown.width() - Shown.height()) <= 2, qPrintable(QString("%1x%2").arg(Shown.width()).arg(Shown.height())));
  }

  // Values that make the entity unusable are refused, each with a message.
  void unusable_values_are_refused_data() {
    QTest::addColumn<QString>("Text");
    QTest::newRow("negative radius") << "-1";
    QTest::newRow("huge radius") << "1e300";
  }
  void unusable_values_are_refused() {
    QFETCH(QString, Text);
    TWin T(FFile);
    QTest::mouseClick(T.N, Qt::LeftButton, {}, T.Pix({130, 100, 0}));
    TfmEntityInspector* I = T.W->FEntityInspector;
    QVERIFY(I->ShownEntity() == T.ByHandle(0xA3));
    const int Row = I->FindRow("Radius");
    QVERIFY(Row >= 0);
    QVERIFY(!I->qdAttributesSetEditText(Row, Text));
    QCOMPARE(T.Messages.size(), 1);
    QCOMPARE(I->RowValue(I->FindRow("Radius")), QString("10"));
    const TFRect B = T.ByHandle(0xA3)->Box();
    QVERIFY(std::abs(B.Right - B.Left - 20) < 1e-6);
  }

  // ---- unsaved edits

  void unsaved_edits_are_asked_about() {
    TWin T(FFile);
    QCOMPARE(T.W->windowTitle(), QString::fromUtf8("shapes.dxf \u2014 Draftwell"));
    // Nothing edited: no question.
    QTest::mouseClick(T.W->btnClose, Qt::LeftButton);
    QVERIFY(T.Asked.isEmpty());
    QVERIFY(!T.W->FileIsOpen());

    QVERIFY(T.W->FileOpen(FFile));
    T.N->Invalidate();
    T.N->RefreshFrame();
    const QPoint OnLine = T.Pix({35, 20, 0});
    QTest::mouseClick(T.N, Qt::LeftButton, {}, OnLine);
    T.Drag(OnLine, OnLine + QPoint(25, 10));
    QVERIFY(T.W->Modified());
    QCOMPARE(T.W->windowTitle(), QString::fromUtf8("shapes.dxf* \u2014 Draftwell"));

    // Close, Open and Exit each ask; "Cancel" keeps the drawing.
    T.Answer = TqdUnsavedAnswer::Cancel;
    QTest::mouseClick(T.W->btnClose, Qt::LeftButton);
    QCOMPARE(T.Asked, QStringList{"shapes.dxf"});
    QVERIFY(T.W->FileIsOpen() && T.W->Modified());
    QVERIFY(!T.W->FileOpen(FFile));
    QCOMPARE(T.Asked.size(), 2);
    QVERIFY(!T.W->close());
    QCOMPARE(T.Asked.size(), 3);
    QVERIFY(T.W->isVisible() && T.W->FileIsOpen());

    // "Discard" lets the close go on.
    T.Answer = TqdUnsavedAnswer::Discard;
    QTest::mouseClick(T.W->btnClose, Qt::LeftButton);
    QCOMPARE(T.Asked.size(), 4);
    QVERIFY(!T.W->FileIsOpen() && !T.W->Modified());
    QCOMPARE(T.W->windowTitle(), QString("Draftwell"));
  }
};

QTEST_MAIN(InteractionTest)
#include "interaction_test.moc"
