// The editor's tools through real events on the offscreen platform: undo and
// redo of mixed edits back to the very XML form, the layers panel (off, lock,
// all on, isolate) and what it does to the view and the selection.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUndoStack>
#include <QtTest/QtTest>
#include <memory>

#include "editor_test_setup.h"
#include "BlockInsert.h"
#include "CADImage.h"
#include "Entities.h"
#include "Inserts.h"
#include "Texts.h"
#include "Properties.h"
#include "Readers.h"
#include "TableItems.h"
#include "fEntityInspector.h"
#include "fLayers.h"
#include "fFind.h"
#include "fPrint.h"
#include <QPrinter>
#include <QCheckBox>
#include <QProcess>
#include <QStandardPaths>
#include "fMeasure.h"
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include "fMain.h"
#include "qdBlockLibrary.h"
#include "qdDrawingNavigator.h"
#include "qdRasterGraphic.h"
#include "qdSManager.h"
#include "qdXMLParser.h"

namespace {

// Lines on layer 0, a line on the red layer WALLS, a circle and a block
// reference with an attribute, apart from each other.
const char* const cnstDrawing =
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n2\n"
    "0\nLAYER\n2\n0\n70\n0\n62\n7\n6\nCONTINUOUS\n"
    "0\nLAYER\n2\nWALLS\n70\n0\n62\n1\n6\nCONTINUOUS\n0\nENDTAB\n0\nENDSEC\n"
    "0\nSECTION\n2\nBLOCKS\n"
    "0\nBLOCK\n8\n0\n2\nBLK\n70\n2\n10\n0\n20\n0\n30\n0\n3\nBLK\n"
    "0\nLINE\n5\nB1\n8\n0\n10\n0\n20\n0\n30\n0\n11\n30\n21\n30\n31\n0\n"
    "0\nENDBLK\n8\n0\n"
    "0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n5\nA1\n8\n0\n10\n0\n20\n0\n30\n0\n11\n100\n21\n0\n31\n0\n"
    "0\nLINE\n5\nA2\n8\nWALLS\n10\n0\n20\n50\n30\n0\n11\n100\n21\n50\n31\n0\n"
    "0\nCIRCLE\n5\nA3\n8\n0\n10\n50\n20\n110\n30\n0\n40\n10\n"
    "0\nINSERT\n5\nA6\n8\n0\n66\n1\n2\nBLK\n10\n150\n20\n200\n30\n0\n"
    "0\nATTRIB\n5\nA7\n8\n0\n10\n150\n20\n200\n30\n0\n40\n2\n1\nOLD\n2\nNUMBER\n70\n0\n"
    "0\nSEQEND\n5\nA8\n8\n0\n"
    "0\nENDSEC\n0\nEOF\n";

struct TFixture {
  QStringList Messages;
  std::unique_ptr<TfmMain> W;
  TqdDrawingNavigator* N = nullptr;
  TfmEntityInspector* I = nullptr;
  TfmLayers* L = nullptr;
  TqdSelectionManager* M() const { return W->Manager(); }

  TqdCADImage* Img() const { return N->CADImage(); }
  TqdDXFConverter* Conv() const { return Img()->Converter(); }
  TqdDXFEntity* ByHandle(std::uint64_t H) const { return Conv()->ModelSpace()->FindEntByHandle(false, false, H); }
  void Paint() const {
    N->Invalidate();
    N->RefreshFrame();
  }
  QPoint Pix(double X, double Y) const {
    const TqdPoint Q = Img()->GetPoint({X, Y, 0});
    return {Q.X, Q.Y};
  }
  void Click(const QPoint& P, Qt::KeyboardModifiers K = {}) const { QTest::mouseClick(N, Qt::LeftButton, K, P); }
  void Drag(const QPoint& A, const QPoint& B) const {
    QTest::mousePress(N, Qt::LeftButton, {}, A);
    QMouseEvent Move(QEvent::MouseMove, B, N->mapToGlobal(B), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(N, &Move);
    QTest::mouseRelease(N, Qt::LeftButton, {}, B);
  }
  // Clicks the cell of layer Name in column Col of the layers panel.
  void ClickLayer(const QString& Name, int Col) const {
    const int Row = L->RowOf(Name);
    QVERIFY(Row >= 0);
    L->tblLayers->scrollToItem(L->tblLayers->item(Row, Col));
    QTest::mouseClick(L->tblLayers->viewport(), Qt::LeftButton, {}, L->ToggleRect(Row, Col).center());
  }
  // Steps the drop-down of row Name (under heading Under) with the arrow keys
  // until it shows Text.
  bool Choose(const QString& Name, const QString& Text, const QString& Under = {}) const {
    const int Row = I->FindRow(Name, Under);
    QComboBox* Box = Row >= 0 ? I->RowComboBox(Row) : nullptr;
    const int Want = Box ? Box->findText(Text) : -1;
    if (Want < 0) return false;
    Box->setFocus();  // as the click that opens it would
    for (int Guard = 0; Box->currentIndex() != Want && Guard < 64; ++Guard) {
      const int Before = Box->currentIndex();
      QTest::keyClick(Box, Want > Before ? Qt::Key_Down : Qt::Key_Up);
      // Applying rebuilds the grid and its boxes.
      Box = I->RowComboBox(I->FindRow(Name, Under));
      if (!Box) return false;
      Box->setFocus();
    }
    return true;
  }
  // Types Text into the value cell of row Name and presses Enter.
  bool Type(const QString& Name, const QString& Text, const QString& Under = {}) const {
    return TypeAt(I->FindRow(Name, Under), Text);
  }
  // The first row named Name after the row named After.
  int RowAfter(const QString& After, const QString& Name) const {
    for (int K = std::max(0, I->FindRow(After)); K < I->RowCount(); ++K)
      if (I->RowName(K) == Name) return K;
    return -1;
  }
  bool TypeAt(int Row, const QString& Text) const {
    if (Row < 0) return false;
    QTableWidget* T = I->qdAttributes;
    QTableWidgetItem* Cell = T->item(Row, 1);
    if (!Cell) return false;
    T->scrollToItem(Cell);
    T->setCurrentItem(Cell);
    QTest::mouseClick(T->viewport(), Qt::LeftButton, {}, T->visualItemRect(Cell).center());
    QTest::keyClick(T, Qt::Key_F2);
    QWidget* Editor = QApplication::focusWidget();
    if (!Editor || !T->isAncestorOf(Editor)) return false;
    QTest::keyClick(Editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(Editor, Text);
    QTest::keyClick(Editor, Qt::Key_Return);
    // The cell applies once its editor has closed.
    for (int K = 0; K < 3; ++K) QCoreApplication::processEvents();
    return true;
  }
  // The XML form of every entity and every layer, defaults included.
  std::string Dump() const {
    TqdNode Root("Dump");
    const TqdDXFEntity* Model = Conv()->ModelSpace();
    for (int K = 0; K < Model->Count(); ++K) Model->GetEntity(K)->ToXML(Root, xmAddSubEntities | xmlGetDefaultValue);
    const TqdDXFEntity* Layers = Conv()->GetSection(csLayers);
    for (int K = 0; K < Layers->Count(); ++K) Layers->GetEntity(K)->ToXML(Root, xmlGetDefaultValue);
    std::string S;
    WriteXMLNode(S, Root);
    return S;
  }
  // Pixels of the view near pure red.
  int RedPixels() const {
    Paint();
    const QImage Shot = N->grab().toImage();
    int R = 0;
    for (int Y = 0; Y < Shot.height(); ++Y)
      for (int X = 0; X < Shot.width(); ++X) {
        const QColor C = Shot.pixelColor(X, Y);
        R += C.red() > 200 && C.red() - C.green() > 60 && std::abs(C.green() - C.blue()) < 20;
      }
    return R;
  }
  void Key(int K, Qt::KeyboardModifiers M = Qt::ControlModifier) const {
    QTest::keyClick(W.get(), static_cast<Qt::Key>(K), M);
  }
};

}  // namespace

class ToolsTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FFile;

  std::unique_ptr<TFixture> Open() {
    auto F = std::make_unique<TFixture>();
    F->W = std::make_unique<TfmMain>();
    F->W->OnShowMessage = [P = F.get()](const QString& T, bool) { P->Messages << T; };
    F->W->resize(1000, 700);
    F->W->show();
    if (!QTest::qWaitForWindowActive(F->W.get())) return nullptr;
    if (!F->W->FileOpen(FFile)) return nullptr;
    F->N = F->W->DNavigator();
    F->I = F->W->FEntityInspector;
    F->L = F->W->LayersPanel();
    F->Paint();
    return F;
  }

 private slots:
  void initTestCase() {
    QVERIFY(qdSetUpEditorTest(FDir));
    FFile = FDir.filePath("tools.dxf");
    QFile Out(FFile);
    QVERIFY(Out.open(QIODevice::WriteOnly));
    Out.write(cnstDrawing);
  }

  void ten_mixed_edits_undo_to_the_original_and_redo_to_the_edited() {
    auto F = Open();
    QVERIFY(F);
    const std::string Original = F->Dump();
    QVERIFY(!F->W->mmiUndo->isEnabled());

    // 1-2: the colour and an end point of a line, in the inspector.
    F->Click(F->Pix(50, 0));
    QCOMPARE(F->I->ShownEntity(), F->ByHandle(0xA1));
    QVERIFY(F->Choose("Color", "ByBlock"));  // one step down: one edit
    QCOMPARE(F->W->mmiUndo->text(), QString("Undo Color of LINE"));
    QVERIFY(F->W->Modified());
    QVERIFY(F->Type("X", "40", "Point1"));
    QCOMPARE(dynamic_cast<TqdDXFLine*>(F->ByHandle(0xA1))->Point1().X, 40.0);
    // 3: the other line to layer 0.
    F->Paint();
    F->Click(F->Pix(50, 50));
    QCOMPARE(F->I->ShownEntity(), F->ByHandle(0xA2));
    QVERIFY(F->Choose("Layer", "0"));
    // 4: the circle's radius.
    F->Paint();
    F->Click(F->Pix(60, 110));
    QCOMPARE(F->I->ShownEntity(), F->ByHandle(0xA3));
    QVERIFY(F->Type("Radius", "12.5"));
    // 5: dragged by the mouse (a vector that is no round number of units).
    F->Paint();
    F->Drag(F->Pix(62.5, 110), F->Pix(62.5, 110) + QPoint(7, -3));
    QVERIFY(F->W->mmiUndo->text().startsWith("Undo Move"));
    // 6: the value of a block attribute.
    F->Paint();
    F->Click(F->Pix(160, 210));
    QCOMPARE(F->I->ShownEntity(), F->ByHandle(0xA6));
    QVERIFY(F->TypeAt(F->RowAfter("       NUMBER", "Value"), "NEW"));
    QCOMPARE(QString::fromStdString(dynamic_cast<TqdDXFAttrib*>(F->ByHandle(0xA6)->GetEntity(0))->Value()), QString("NEW"));
    // 7-8: WALLS off, layer 0 locked, in the layers panel.
    F->ClickLayer("WALLS", TfmLayers::colOn);
    QVERIFY(!F->Conv()->LayerByName("WALLS")->Visible());
    F->ClickLayer("0", TfmLayers::colLocked);
    QVERIFY(F->Conv()->LayerByName("0")->Locked());
    // 9: all on.
    QTest::mouseClick(F->L->btnAllOn, Qt::LeftButton);
    QVERIFY(F->Conv()->LayerByName("WALLS")->Visible());
    // 10: a paste.
    F->M()->DeselectAll();
    F->M()->Select(F->ByHandle(0xA1));
    QTest::mouseClick(F->W->btnCopy, Qt::LeftButton);
    TfmBlockInsert* D = F->W->BlockInsertDialog();
    D->FormShow();
    D->lbeX->setText("300");
    D->lbeY->setText("0");
    D->lsbBlockName->setCurrentRow(0);
    QVERIFY(D->Button1Click());
    const int Count = F->Conv()->ModelSpace()->Count();
    QCOMPARE(F->W->UndoStack()->count(), 10);
    const std::string Edited = F->Dump();
    QVERIFY(Edited != Original);

    for (int K = 0; K < 10; ++K) F->Key(Qt::Key_Z);
    QCOMPARE(F->Conv()->ModelSpace()->Count(), Count - 1);
    QCOMPARE(F->Dump(), Original);
    QVERIFY(!F->W->Modified());
    QVERIFY(!F->W->windowTitle().contains('*'));
    // The selection and the list hold nothing that went.
    QVERIFY(F->M()->Entities().empty());
    for (int K = 0; K < F->I->EntityCount(); ++K) QVERIFY(F->I->ListedEntity(K)->Owner());

    for (int K = 0; K < 5; ++K) F->Key(Qt::Key_Y);
    for (int K = 0; K < 5; ++K) F->Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(F->Dump(), Edited);
    QVERIFY(F->W->Modified());
    // Undone and redone, the pasted reference is drawn again.
    F->Key(Qt::Key_Home, Qt::NoModifier);
    F->Paint();
    F->Click(F->Pix(320, 0));
    QCOMPARE(F->M()->Entities().size(), std::size_t(1));
  }

  void layer_off_takes_its_pixels_and_its_entities_out_and_undo_brings_them_back() {
    auto F = Open();
    QVERIFY(F);
    const int Red = F->RedPixels();
    QVERIFY2(Red > 50, qPrintable(QString::number(Red)));
    F->ClickLayer("WALLS", TfmLayers::colOn);
    QCOMPARE(F->RedPixels(), 0);
    QCOMPARE(F->W->mmiUndo->text(), QString("Undo Layer off WALLS"));
    QCOMPARE(F->L->tblLayers->item(F->L->RowOf("WALLS"), TfmLayers::colOn)->checkState(), Qt::Unchecked);
    // A frame around everything leaves the line of WALLS out.
    QTest::mouseClick(F->W->BtnMSelect, Qt::LeftButton);
    F->Drag({2, 2}, {F->N->width() - 3, F->N->height() - 3});
    QVERIFY(!F->M()->Entities().empty());
    for (TqdDXFEntity* E : F->M()->Entities()) QVERIFY(E != F->ByHandle(0xA2));
    QTest::keyClick(F->W.get(), Qt::Key_Escape);
    F->Key(Qt::Key_Z);
    QCOMPARE(F->RedPixels(), Red);
    QCOMPARE(F->L->tblLayers->item(F->L->RowOf("WALLS"), TfmLayers::colOn)->checkState(), Qt::Checked);
    // Frozen hides as off does; a selected entity whose layer goes is dropped.
    F->M()->SelectAll();
    const std::size_t All = F->M()->Entities().size();
    F->ClickLayer("WALLS", TfmLayers::colFrozen);
    QCOMPARE(F->M()->Entities().size(), All - 1);
    QTest::keyClick(F->W.get(), Qt::Key_Escape);
    QCOMPARE(F->RedPixels(), 0);
  }

  void a_locked_layer_refuses_inspector_edits_and_drags() {
    auto F = Open();
    QVERIFY(F);
    F->ClickLayer("0", TfmLayers::colLocked);
    F->Click(F->Pix(50, 0));
    QCOMPARE(F->I->ShownEntity(), F->ByHandle(0xA1));
    F->Messages.clear();
    const std::string Before = F->Dump();
    QComboBox* Color = F->I->RowComboBox(F->I->FindRow("Color"));
    Color->setFocus();
    QTest::keyClick(Color, Qt::Key_Down);
    QVERIFY(F->Type("X", "40", "Point1"));
    QCOMPARE(F->Messages.size(), 2);
    QVERIFY(F->Messages.front().contains("locked"));
    F->Drag(F->Pix(50, 0), F->Pix(50, 0) + QPoint(20, 20));
    QCOMPARE(F->Dump(), Before);
    QCOMPARE(F->W->UndoStack()->count(), 1);  // the lock itself
  }

  void isolate_keeps_only_the_selected_entitys_layer() {
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix(50, 50));
    QTest::mouseClick(F->L->btnIsolate, Qt::LeftButton);
    QVERIFY(F->Conv()->LayerByName("WALLS")->Visible());
    QVERIFY(!F->Conv()->LayerByName("0")->Visible());
    F->Paint();
    F->Click(F->Pix(50, 0));
    QVERIFY(F->M()->Entities().empty());
    F->Key(Qt::Key_Z);
    QVERIFY(F->Conv()->LayerByName("0")->Visible());
  }

  void zoom_and_pan_keys_move_the_view_about_its_centre() {
    auto F = Open();
    QVERIFY(F);
    TqdDrawingNavigator* N = F->N;
    N->setFocus();
    const TF2DRect Fit = N->PictureRect2D();
    const QPoint C(N->width() / 2, N->height() / 2);
    const TFPoint Under = N->GetDrawingInternalCoordsWithoutSnap(C.x(), C.y());
    struct TStep {
      int Key;
      Qt::KeyboardModifiers Mods;
      double Scale;
    };
    for (const TStep& S : {TStep{Qt::Key_Plus, {}, 1.25}, TStep{Qt::Key_Minus, {}, 1.0},
                           TStep{Qt::Key_Plus, Qt::ControlModifier, 1.25}}) {
      QTest::keyClick(N, static_cast<Qt::Key>(S.Key), S.Mods);
      QVERIFY2(std::abs(N->PictureRectWidth() / (Fit.Right - Fit.Left) - S.Scale) < 1e-9, qPrintable(QString::number(S.Key)));
      const TFPoint Now = N->GetDrawingInternalCoordsWithoutSnap(C.x(), C.y());
      QVERIFY(std::abs(Now.X - Under.X) < 0.5 && std::abs(Now.Y - Under.Y) < 0.5);
    }
    // Left shows what lies left: the picture moves right by a tenth of the view.
    const TF2DRect Before = N->PictureRect2D();
    QTest::keyClick(N, Qt::Key_Left);
    QCOMPARE(N->PictureRect2D().Left, Before.Left + N->width() / 10);
    QTest::keyClick(N, Qt::Key_Up);
    QCOMPARE(N->PictureRect2D().Top, Before.Top + N->height() / 10);
    for (Qt::KeyboardModifiers M : {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers()}) {
      QTest::keyClick(N, M ? Qt::Key_0 : Qt::Key_Home, M);
      QCOMPARE(N->PictureRect2D().Left, Fit.Left);
      QCOMPARE(N->PictureRectWidth(), Fit.Right - Fit.Left);
      QTest::keyClick(N, Qt::Key_Plus);
    }
    // The View menu names every key.
    QStringList Listed;
    for (QAction* A : F->W->mmiView->actions())
      if (!A->isSeparator() && !A->menu() && !A->isCheckable()) {
        QVERIFY2(!A->shortcut().isEmpty(), qPrintable(A->text()));
        Listed << A->text();
      }
    QVERIFY(Listed.contains("Zoom to extents") && Listed.contains("Zoom to selection"));
    QCOMPARE(F->W->mmiPan->actions().size(), 4);
    QVERIFY(F->W->mmiPan->actions().front()->text().endsWith("\tLeft"));
  }

  void zoom_to_selection_fills_the_view_with_the_selected_circle() {
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix(60, 110));
    QCOMPARE(F->M()->Entities().size(), std::size_t(1));
    F->Key(Qt::Key_Home, Qt::ShiftModifier);
    F->Paint();
    const QPoint A = F->Pix(40, 100), B = F->Pix(60, 120);
    const QRect Client = F->N->rect();
    QVERIFY(Client.contains(A) && Client.contains(B));
    // About 10/12 of the smaller side (a tenth of a margin each way).
    const int Side = std::abs(B.y() - A.y());
    QVERIFY2(Side > std::min(Client.width(), Client.height()) * 0.7, qPrintable(QString::number(Side)));
  }

  void files_open_from_a_drop_and_the_dialog_the_first_here_the_rest_in_new_windows() {
    const QString Second = FDir.filePath("second.dxf");
    QFile::remove(Second);
    QVERIFY(QFile::copy(FFile, Second));
    std::vector<std::unique_ptr<TfmMain>> Made;
    auto Hook = [&Made]() -> TfmMain* {
      Made.push_back(std::make_unique<TfmMain>());
      return Made.back().get();
    };
    // A drop on an empty window.
    TfmMain W;
    W.OnNewWindow = Hook;
    W.show();
    QMimeData Data;
    Data.setUrls({QUrl::fromLocalFile(FFile), QUrl::fromLocalFile(Second), QUrl("https://example.org/a.dxf")});
    QDragEnterEvent Enter(QPoint(50, 50), Qt::CopyAction, &Data, Qt::LeftButton, {});
    QApplication::sendEvent(&W, &Enter);
    QVERIFY(Enter.isAccepted());
    QDropEvent Drop(QPointF(50, 50), Qt::CopyAction, &Data, Qt::LeftButton, {});
    QApplication::sendEvent(&W, &Drop);
    QTRY_VERIFY(W.FileIsOpen());
    QCOMPARE(W.FileName(), FFile);
    QCOMPARE(Made.size(), std::size_t(1));
    QCOMPARE(Made.front()->FileName(), Second);
    // Text only is refused.
    QMimeData Text;
    Text.setText("plan.dxf");
    QDragEnterEvent TextEnter(QPoint(50, 50), Qt::CopyAction, &Text, Qt::LeftButton, {});
    TextEnter.setAccepted(false);
    QApplication::sendEvent(&W, &TextEnter);
    QVERIFY(!TextEnter.isAccepted());
    // The dialog's several files, with a drawing already shown: each goes to a new window.
    W.OnGetOpenFileNames = [&] { return QStringList{Second, FFile}; };
    W.mmiOpen->trigger();
    QCOMPARE(W.FileName(), FFile);
    QCOMPARE(Made.size(), std::size_t(3));
    QCOMPARE(Made[1]->FileName(), Second);
    QCOMPARE(Made[2]->FileName(), FFile);
  }

  void mtext_codes_are_left_out_of_the_search_data() {
    QTest::addColumn<QString>("Raw");
    QTest::addColumn<QString>("Plain");
    QTest::newRow("font and braces") << "{\\fArial|b1;Kitchen}" << "Kitchen";
    QTest::newRow("paragraphs") << "Living\\Proom" << "Living room";
    QTest::newRow("height and colour") << "\\H2.5;\\C1;Bath" << "Bath";
    QTest::newRow("escaped backslash and braces") << "a\\\\b\\{c\\}" << "a\\b{c}";
    QTest::newRow("stacked") << "1\\S1^2;" << "1 1 2";
    QTest::newRow("underline switches") << "\\LHall\\l" << "Hall";
    QTest::newRow("code cut short") << "Store\\H2.5" << "Store";
  }
  void mtext_codes_are_left_out_of_the_search() {
    QFETCH(QString, Raw);
    QFETCH(QString, Plain);
    QCOMPARE(qdPlainMText(Raw.toStdString()), Plain);
  }

  void find_kitchen_selects_the_text_and_shows_it() {
    const QString Sample = QStringLiteral(DRAFTWELL_SOURCE_DIR "/samples/plan.dxf");
    TfmMain W;
    W.OnShowMessage = [](const QString&, bool) {};
    W.resize(1000, 700);
    W.show();
    QVERIFY(QTest::qWaitForWindowActive(&W));
    QVERIFY(W.FileOpen(Sample));
    TqdDrawingNavigator* N = W.DNavigator();
    // Zoomed far into a corner first: the hit must be brought into view.
    for (int K = 0; K < 12; ++K) N->AlterScale(false, {5.0, 5.0}, 1.25);
    QTest::keyClick(&W, Qt::Key_F, Qt::ControlModifier);
    TfmFind* D = W.FindDialog();
    QVERIFY(D && D->isVisible());
    QTest::keyClicks(D->edtText, "kitCHEN");
    QTest::keyClick(D->edtText, Qt::Key_Return);
    QVERIFY(!D->Hits().empty());
    QVERIFY(D->Hits().front().Text.contains("Kitchen"));
    QCOMPARE(D->lstHits->count(), static_cast<int>(D->Hits().size()));
    QListWidgetItem* First = D->lstHits->item(0);
    QTest::mouseClick(D->lstHits->viewport(), Qt::LeftButton, {}, D->lstHits->visualItemRect(First).center());
    QCOMPARE(W.Manager()->Entities().size(), std::size_t(1));
    TqdDXFEntity* E = W.Manager()->Entities().front();
    QCOMPARE(E, D->Hits().front().Entity);
    QCOMPARE(W.FEntityInspector->ShownEntity(), E);
    N->RefreshFrame();
    const TFRect B = E->Box();
    for (const TFPoint& P : {TFPoint{B.Left, B.Top, 0}, TFPoint{B.Right, B.Bottom, 0}}) {
      const TqdPoint Q = N->CADImage()->GetPoint(P);
      QVERIFY2(N->rect().contains(Q.X, Q.Y), qPrintable(QString("%1 %2").arg(Q.X).arg(Q.Y)));
    }
    // Nothing for a text that is not there.
    D->edtText->setText("no such room");
    QTest::mouseClick(D->btnFind, Qt::LeftButton);
    QVERIFY(D->Hits().empty());
    QCOMPARE(D->lblCount->text(), QString("No text found"));
  }

  void measure_distance_with_endpoint_snap_and_area_of_a_closed_polyline() {
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("measure.dxf");
    {
      QFile Out(Name);
      QVERIFY(Out.open(QIODevice::WriteOnly));
      Out.write("0\nSECTION\n2\nENTITIES\n"
                "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n3\n21\n4\n31\n0\n"
                "0\nLWPOLYLINE\n8\n0\n90\n4\n70\n1\n10\n10\n20\n0\n10\n20\n20\n0\n10\n20\n20\n5\n10\n10\n20\n5\n"
                "0\nCIRCLE\n8\n0\n10\n26\n20\n2\n30\n0\n40\n2\n"
                "0\nENDSEC\n0\nEOF\n");
    }
    TfmMain W;
    W.OnShowMessage = [](const QString&, bool) {};
    W.resize(1000, 700);
    W.show();
    QVERIFY(QTest::qWaitForWindowActive(&W));
    QVERIFY(W.FileOpen(Name));
    TqdDrawingNavigator* N = W.DNavigator();
    N->RefreshFrame();
    auto Pix = [N](double X, double Y) {
      const TqdPoint Q = N->CADImage()->GetPoint({X, Y, 0});
      return QPoint(Q.X, Q.Y);
    };
    auto Hover = [N](const QPoint& P) {
      QMouseEvent Move(QEvent::MouseMove, P, N->mapToGlobal(P), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(N, &Move);
    };
    QTest::keyClick(&W, Qt::Key_M, Qt::ControlModifier);
    TfmMeasure* M = W.MeasurePanel();
    QVERIFY(M->Active() && M->isVisible());
    // A few pixels off each end: the marker shows the end point, the pick takes it.
    for (const QPoint& P : {Pix(0, 0) + QPoint(4, -3), Pix(3, 4) + QPoint(-3, 4)}) {
      Hover(P);
      QCOMPARE(M->CurrentSnap().Kind, skEndpoint);
      QTest::mouseClick(N, Qt::LeftButton, {}, P);
    }
    QCOMPARE(M->Result(), QString("Distance 5\ndX 3\ndY 4\nAngle 53.13") + QChar(0xB0));
    QTest::mouseClick(M->btnCopy, Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), M->Result());
    // Nothing was selected by the picks.
    QVERIFY(W.Manager()->Entities().empty());
    QTest::mouseClick(M->btnEntity, Qt::LeftButton);
    QTest::mouseClick(N, Qt::LeftButton, {}, Pix(15, 0));
    QCOMPARE(M->Result(), QString("Area 50\nPerimeter 30"));
    QTest::mouseClick(N, Qt::LeftButton, {}, Pix(28, 2));
    QVERIFY2(M->Result().startsWith("Radius 2\nDiameter 4"), qPrintable(M->Result()));
    // Corners picked in area mode, snapped to the polyline's corners.
    QTest::mouseClick(M->btnArea, Qt::LeftButton);
    for (const auto& [X, Y] : {std::pair{10.0, 0.0}, {20.0, 0.0}, {20.0, 5.0}, {10.0, 5.0}})
      QTest::mouseClick(N, Qt::LeftButton, {}, Pix(X, Y) + QPoint(2, 2));
    QVERIFY2(M->Result().startsWith("Area 50\nPerimeter 30"), qPrintable(M->Result()));
    // The snaps by kind, near their points.
    Hover(Pix(1.5, 2) + QPoint(3, 0));
    QCOMPARE(M->CurrentSnap().Kind, skMidpoint);
    Hover(Pix(26, 2) + QPoint(2, 1));
    QCOMPARE(M->CurrentSnap().Kind, skCentre);
    Hover(Pix(13, 0) + QPoint(0, 3));
    QCOMPARE(M->CurrentSnap().Kind, skNearest);
    QVERIFY(std::abs(M->CurrentSnap().Point.Y) < 1e-9);
    // Leaving the mode gives the clicks back to the selection.
    QTest::keyClick(&W, Qt::Key_M, Qt::ControlModifier);
    QVERIFY(!M->Active());
    QTest::mouseClick(N, Qt::LeftButton, {}, Pix(15, 0));
    QCOMPARE(W.Manager()->Entities().size(), std::size_t(1));
  }

  void crossing_lines_snap_to_their_intersection() {
    TqdDXFLine A, B;
    A.SetLine({0, 0, 0}, {10, 10, 0});
    B.SetLine({0, 10, 0}, {10, 0, 0});
    const TqdSnap S = qdFindSnap({&A, &B}, {5.2, 4.9, 0}, 1);
    QCOMPARE(S.Kind, skIntersection);
    QVERIFY(std::abs(S.Point.X - 5) < 1e-12 && std::abs(S.Point.Y - 5) < 1e-12);
    QCOMPARE(qdFindSnap({&A}, {5.2, 4.9, 0}, 1).Kind, skMidpoint);
    QCOMPARE(qdFindSnap({&A}, {3, 3.2, 0}, 1).Kind, skNearest);
    QCOMPARE(qdFindSnap({&A}, {3, 6, 0}, 1).Kind, skNone);
  }

  void a_1_to_50_print_on_a3_pdf_gives_5000_units_as_100_mm() {
    const QString Poppler = QStandardPaths::findExecutable("pdftoppm");
    if (Poppler.isEmpty()) QSKIP("pdftoppm (poppler-utils) is not installed: the PDF cannot be measured");
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("scale.dxf");
    {
      QFile Out(Name);
      QVERIFY(Out.open(QIODevice::WriteOnly));
      Out.write("0\nSECTION\n2\nENTITIES\n"
                "0\nLINE\n8\n0\n62\n5\n10\n0\n20\n0\n30\n0\n11\n5000\n21\n0\n31\n0\n"
                "0\nLINE\n8\n0\n62\n5\n10\n0\n20\n0\n30\n0\n11\n0\n21\n3000\n31\n0\n"
                "0\nENDSEC\n0\nEOF\n");
    }
    TfmMain W;
    W.OnShowMessage = [](const QString&, bool) {};
    W.show();
    QVERIFY(W.FileOpen(Name));
    TfmPrint D(*W.DNavigator()->CADImage(), cnstBadRect);
    D.cbPaper->setCurrentText("A3");
    D.cbOrientation->setCurrentText("Landscape");
    D.cbScale->setCurrentText("1:50");
    D.chkCentre->setChecked(false);
    QPrinter Printer(QPrinter::HighResolution);
    Printer.setOutputFormat(QPrinter::PdfFormat);
    const QString Pdf = Dir.filePath("scale.pdf");
    Printer.setOutputFileName(Pdf);
    QVERIFY(D.PrintTo(Printer));
    QCOMPARE(Printer.pageLayout().pageSize().id(), QPageSize::A3);
    // Rendered at 254 dpi: ten pixels to the millimetre.
    QProcess P;
    P.start(Poppler, {"-r", "254", "-png", "-singlefile", Pdf, Dir.filePath("page")});
    QVERIFY(P.waitForFinished(60000));
    QImage Page(Dir.filePath("page.png"));
    QVERIFY(!Page.isNull());
    QVERIFY(std::abs(Page.width() - 4200) <= 2);  // A3 across: 420 mm
    // The longest run of blue pixels on one row is the 5000-unit line.
    int Longest = 0;
    for (int Y = 0; Y < Page.height(); ++Y) {
      int Run = 0;
      for (int X = 0; X < Page.width(); ++X) {
        const QColor C = Page.pixelColor(X, Y);
        Run = C.blue() > 150 && C.red() < 120 ? Run + 1 : 0;
        Longest = std::max(Longest, Run);
      }
    }
    qInfo("5000 units at 1:50 measure %.1f mm on the A3 page", Longest / 10.0);
    QVERIFY2(std::abs(Longest - 1000) <= 5, qPrintable(QString::number(Longest)));
  }

  // Black and white: coloured ink on a black view prints black on white paper,
  // and the view keeps its own colours.
  void black_and_white_print_has_only_black_ink_on_white() {
    const QString Poppler = QStandardPaths::findExecutable("pdftoppm");
    if (Poppler.isEmpty()) QSKIP("pdftoppm (poppler-utils) is not installed: the PDF cannot be read");
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("colours.dxf");
    {
      QFile Out(Name);
      QVERIFY(Out.open(QIODevice::WriteOnly));
      Out.write("0\nSECTION\n2\nENTITIES\n"
                "0\nLINE\n8\n0\n62\n1\n370\n100\n10\n0\n20\n0\n30\n0\n11\n100\n21\n0\n31\n0\n"
                "0\nCIRCLE\n8\n0\n62\n3\n370\n100\n10\n50\n20\n30\n30\n0\n40\n20\n"
                "0\nENDSEC\n0\nEOF\n");
    }
    TfmMain W;
    W.OnShowMessage = [](const QString&, bool) {};
    W.show();
    QVERIFY(W.FileOpen(Name));
    TqdCADImage& Img = *W.DNavigator()->CADImage();
    Img.SetBackgroundColor(0);
    TfmPrint D(Img, cnstBadRect);
    D.cbPaper->setCurrentText("A4");
    D.chkBlackAndWhite->setChecked(true);
    QPrinter Printer(QPrinter::HighResolution);
    Printer.setOutputFormat(QPrinter::PdfFormat);
    const QString Pdf = Dir.filePath("bw.pdf");
    Printer.setOutputFileName(Pdf);
    QVERIFY(D.PrintTo(Printer));
    QCOMPARE(Img.BackgroundColor(), TqdDeviceColor(0));
    QCOMPARE(Img.DrawMode(), dmNormal);
    QProcess P;
    P.start(Poppler, {"-r", "50", "-png", "-singlefile", Pdf, Dir.filePath("bw")});
    QVERIFY(P.waitForFinished(60000));
    QImage Page(Dir.filePath("bw.png"));
    QVERIFY(!Page.isNull());
    int Ink = 0, Coloured = 0, White = 0;
    for (int Y = 0; Y < Page.height(); ++Y)
      for (int X = 0; X < Page.width(); ++X) {
        const QColor C = Page.pixelColor(X, Y);
        const int Spread = std::max({C.red(), C.green(), C.blue()}) - std::min({C.red(), C.green(), C.blue()});
        Coloured += Spread > 30;
        Ink += C.red() < 100 && Spread <= 30;
        White += C.red() > 240 && C.green() > 240 && C.blue() > 240;
      }
    QVERIFY2(Ink > 100, qPrintable(QString::number(Ink)));
    QCOMPARE(Coloured, 0);
    QVERIFY(White > Page.width() * Page.height() / 2);
  }
};

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  ToolsTest T;
  return QTest::qExec(&T, argc, argv);
}
#include "tools_test.moc"
