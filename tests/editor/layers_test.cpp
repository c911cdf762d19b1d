// The layers panel edits a layer's colour, linetype and line weight through
// its menus (real clicks on the cells and on the menu entries), each an edit
// that Ctrl+Z takes back; a selected paper-space viewport shows and toggles its
// own frozen layers; the print dialog offers a paper layout's own paper.
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <QtTest/QtTest>
#include <memory>

#include "editor_test_setup.h"
#include "CADImage.h"
#include "DXFConv.h"
#include "Objects.h"
#include "TableItems.h"
#include "fLayers.h"
#include "fMain.h"
#include "fPrint.h"
#include "qdDrawingNavigator.h"
#include "qdSManager.h"

namespace {

// DXF from "code value" pairs separated by '|'.
QByteArray Dxf(const char* Pairs) {
  QByteArray B;
  for (const QByteArray& P : QByteArray(Pairs).split('|')) {
    if (P.isEmpty()) continue;
    const qsizetype Space = P.indexOf(' ');
    B += P.left(Space) + "\n" + (Space < 0 ? QByteArray() : P.mid(Space + 1)) + "\n";
  }
  return B;
}

// Two layers with a line each in the model; a layout on an A4 sheet across
// (margins 7.5 and 20 mm) whose viewport freezes DOORS (handle 12) on its own.
QByteArray Drawing() {
  return Dxf(
      "0 SECTION|2 HEADER|9 $ACADVER|1 AC1015|9 $HANDSEED|5 FFF|0 ENDSEC|0 SECTION|2 TABLES|0 TABLE|"
      "2 LTYPE|70 2|0 LTYPE|5 16|2 Continuous|70 0|3 Solid line|72 65|73 0|40 0|0 LTYPE|5 17|2 DASHED|70 0|"
      "3 Dashed|72 65|73 2|40 7.5|49 5|49 -2.5|0 ENDTAB|0 TABLE|2 LAYER|70 3|0 LAYER|5 10|2 0|70 0|62 7|"
      "6 Continuous|0 LAYER|5 11|2 WALLS|70 0|62 1|6 Continuous|0 LAYER|5 12|2 DOORS|70 0|62 3|"
      "6 Continuous|0 ENDTAB|0 TABLE|2 BLOCK_RECORD|5 1|70 2|0 BLOCK_RECORD|5 1F|330 1|2 *Model_Space|"
      "340 22|0 BLOCK_RECORD|5 1B|330 1|2 *Paper_Space|340 1E|0 ENDTAB|0 ENDSEC|0 SECTION|2 BLOCKS|0 BLOCK|"
      "5 20|330 1F|8 0|2 *Model_Space|70 0|10 0|20 0|30 0|3 *Model_Space|0 ENDBLK|5 21|330 1F|8 0|0 BLOCK|"
      "5 1C|330 1B|67 1|8 0|2 *Paper_Space|70 0|10 0|20 0|30 0|3 *Paper_Space|0 ENDBLK|5 1D|330 1B|67 1|"
      "8 0|0 ENDSEC|0 SECTION|2 ENTITIES|0 LINE|5 100|330 1F|8 WALLS|10 0|20 0|30 0|11 100|21 0|31 0|"
      "0 LINE|5 101|330 1F|8 DOORS|10 0|20 50|30 0|11 100|21 50|31 0|0 VIEWPORT|5 200|330 1B|67 1|8 0|"
      "10 148.5|20 105|30 0|40 277|41 190|68 2|69 2|12 50|22 25|45 120|341 12|0 ENDSEC|0 SECTION|2 OBJECTS|"
      "0 DICTIONARY|5 C|330 0|3 ACAD_LAYOUT|350 1A|0 DICTIONARY|5 1A|330 C|3 Layout1|350 1E|3 Model|350 22|"
      "0 LAYOUT|5 1E|330 1A|100 AcDbPlotSettings|2 none_device|4 ISO_A4|40 7.5|41 20|42 7.5|43 20|44 297|"
      "45 210|70 688|72 1|74 5|75 16|100 AcDbLayout|1 Layout1|70 1|71 1|10 0|20 0|11 297|21 210|330 1B|"
      "0 LAYOUT|5 22|330 1A|100 AcDbPlotSettings|2 none_device|70 1712|100 AcDbLayout|1 Model|70 1|71 0|"
      "330 1F|0 ENDSEC|0 EOF|");
}

struct TWin {
  std::unique_ptr<TfmMain> W;
  TqdDrawingNavigator* N = nullptr;
  TfmLayers* L = nullptr;

  explicit TWin(const QString& File) {
    W = std::make_unique<TfmMain>();
    W->OnShowMessage = [](const QString&, bool) {};
    W->OnShowWarnings = [](const QStringList&) {};
    W->resize(1100, 700);
    W->show();
    N = W->DNavigator();
    L = W->LayersPanel();
    if (!W->FileOpen(File)) return;
    N->Invalidate();
    N->RefreshFrame();
  }
  TqdDXFConverter* Conv() const { return N->CADImage()->Converter(); }
  TqdDXFLayer* Layer(const char* Name) const { return dynamic_cast<TqdDXFLayer*>(Conv()->LayerByName(Name)); }
  QPoint CellCentre(const QString& Name, int Col) const {
    const int Row = L->RowOf(Name);
    L->tblLayers->scrollToItem(L->tblLayers->item(Row, Col));
    return L->ToggleRect(Row, Col).center();
  }
  // Clicks the cell, then the entry Text of the menu it opens (by the mouse).
  // False when no menu came or it has no such entry.
  bool PickFromCell(const QString& Name, int Col, const QString& Text) const {
    bool Picked = false;
    QTimer::singleShot(0, [&] {
      auto* M = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!M) return;
      for (QAction* A : M->actions())
        if (A->text() == Text) {
          QTest::mouseClick(M, Qt::LeftButton, {}, M->actionGeometry(A).center());
          Picked = true;
          return;
        }
      M->close();
    });
    QTest::mouseClick(L->tblLayers->viewport(), Qt::LeftButton, {}, CellCentre(Name, Col));
    QCoreApplication::processEvents();
    return Picked;
  }
  QString Cell(const QString& Name, int Col) const { return L->tblLayers->item(L->RowOf(Name), Col)->text(); }
};

}  // namespace

class LayersTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FFile;

 private slots:
  void initTestCase() {
    QVERIFY(qdSetUpEditorTest(FDir));
    FFile = FDir.filePath("layers.dxf");
    QFile F(FFile);
    QVERIFY(F.open(QIODevice::WriteOnly));
    F.write(Drawing());
  }

  // Each menu of the panel: the choice changes the layer and the row, stars
  // the title and names the edit; Ctrl+Z puts the layer back as it was.
  void panel_menus_edit_the_layer_data() {
    QTest::addColumn<int>("Col");
    QTest::addColumn<QString>("Entry");
    QTest::addColumn<QString>("Shown");
    QTest::addColumn<QString>("UndoText");
    QTest::newRow("colour") << int(TfmLayers::colColor) << "Blue" << "Blue" << "Undo Colour of layer WALLS";
    QTest::newRow("linetype") << int(TfmLayers::colLineType) << "DASHED" << "DASHED"
                              << "Undo Linetype of layer WALLS";
    QTest::newRow("line weight") << int(TfmLayers::colLineWeight) << "0.50 mm" << "0.50 mm"
                                 << "Undo Line weight of layer WALLS";
  }
  void panel_menus_edit_the_layer() {
    QFETCH(int, Col);
    QFETCH(QString, Entry);
    QFETCH(QString, Shown);
    QFETCH(QString, UndoText);
    TWin T(FFile);
    QVERIFY(T.W->FileIsOpen());
    QVERIFY(QTest::qWaitForWindowActive(T.W.get()));
    TqdDXFLayer* Walls = T.Layer("WALLS");
    const TqdLayerState Before = TqdLayerState::Of(*Walls);
    const QString Was = T.Cell("WALLS", Col);
    QVERIFY(T.PickFromCell("WALLS", Col, Entry));
    QCOMPARE(T.Cell("WALLS", Col), Shown);
    QVERIFY(!(TqdLayerState::Of(*Walls) == Before));
    QVERIFY(T.W->Modified() && T.W->windowTitle().contains("*"));
    QCOMPARE(T.W->mmiUndo->text(), UndoText);
    // Other layers are untouched.
    QCOMPARE(T.Layer("DOORS")->ColorCAD().IndexValue(), 3);
    // The menu has closed: the window takes the keys again.
    T.W->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(T.W.get()));
    QTest::keyClick(T.W.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(T.W->UndoStack()->index(), 0);
    QVERIFY(TqdLayerState::Of(*Walls) == Before);
    QCOMPARE(T.Cell("WALLS", Col), Was);
    QVERIFY(!T.W->Modified());
  }

  // Index and true colours come from their dialogs (answered here); a
  // cancelled dialog or menu changes nothing.
  void other_colours_and_cancelled_choices() {
    TWin T(FFile);
    QVERIFY(QTest::qWaitForWindowActive(T.W.get()));
    T.L->OnAskColorIndex = [](int Current) -> std::optional<int> { return Current == 1 ? 30 : 0; };
    QVERIFY(T.PickFromCell("WALLS", TfmLayers::colColor, "Index colour..."));
    QCOMPARE(T.Layer("WALLS")->ColorCAD().IndexValue(), 30);
    QCOMPARE(T.Cell("WALLS", TfmLayers::colColor), QString("Index 30"));
    T.L->OnAskTrueColor = [](std::uint32_t) -> std::optional<std::uint32_t> { return 0x336699; };
    QVERIFY(T.PickFromCell("WALLS", TfmLayers::colColor, "True colour..."));
    QCOMPARE(T.Cell("WALLS", TfmLayers::colColor), QString("RGB 153,102,51"));
    T.L->OnAskTrueColor = [](std::uint32_t) -> std::optional<std::uint32_t> { return std::nullopt; };
    QVERIFY(T.PickFromCell("WALLS", TfmLayers::colColor, "True colour..."));
    QVERIFY(!T.PickFromCell("DOORS", TfmLayers::colColor, "no such entry"));
    QCOMPARE(T.W->UndoStack()->count(), 2);
    QCOMPARE(T.Cell("DOORS", TfmLayers::colColor), QString("Green"));
    // The linetype menu offers the drawing's patterns, not BYLAYER or BYBLOCK.
    QVERIFY(!T.PickFromCell("WALLS", TfmLayers::colLineType, "BYLAYER"));
    QVERIFY(T.PickFromCell("WALLS", TfmLayers::colLineType, "CONTINUOUS") ||
            T.PickFromCell("WALLS", TfmLayers::colLineType, "Continuous"));
  }

  // Picking the layout's viewport shows its own frozen layers in a column of
  // their own; a click there freezes WALLS in that viewport only, and Ctrl+Z
  // thaws it. Nothing selected: the column goes.
  void viewport_frozen_layers() {
    TWin T(FFile);
    QVERIFY(QTest::qWaitForWindowActive(T.W.get()));
    const int Layout = T.W->cbLayouts->findText("Layout1");
    QVERIFY(Layout > 0);
    T.W->cbLayouts->setCurrentIndex(Layout);
    T.N->Invalidate();
    T.N->RefreshFrame();
    QVERIFY(T.L->tblLayers->isColumnHidden(TfmLayers::colVPFrozen));
    TqdDXFViewport* VP = nullptr;
    const TqdDXFEntity* Paper = T.N->CADImage()->CurrentLayout()->PaperSpaceBlockField();
    for (int K = 0; K < Paper->Count() && !VP; ++K) VP = dynamic_cast<TqdDXFViewport*>(Paper->GetEntity(K));
    QVERIFY(VP);
    QCOMPARE(VP->FrozenLayers(), std::vector<std::uint64_t>{0x12});
    // Select all in the layout: its viewport, the only entity there.
    QTest::keyClick(T.W.get(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(T.W->Manager()->Entities().size(), std::size_t(1));
    QCOMPARE(T.L->Viewport(), VP);
    QVERIFY(!T.L->tblLayers->isColumnHidden(TfmLayers::colVPFrozen));
    QVERIFY(T.L->lblViewport->isVisible());
    auto Frozen = [&](const char* Name) {
      return T.L->tblLayers->item(T.L->RowOf(Name), TfmLayers::colVPFrozen)->checkState() == Qt::Checked;
    };
    QVERIFY(Frozen("DOORS") && !Frozen("WALLS") && !Frozen("0"));
    // The layer itself stays thawed everywhere else.
    QVERIFY(!T.Layer("DOORS")->Frozen());

    QTest::mouseClick(T.L->tblLayers->viewport(), Qt::LeftButton, {}, T.CellCentre("WALLS", TfmLayers::colVPFrozen));
    QCOMPARE(VP->FrozenLayers(), (std::vector<std::uint64_t>{0x12, 0x11}));
    QVERIFY(Frozen("WALLS") && !T.Layer("WALLS")->Frozen());
    QCOMPARE(T.W->mmiUndo->text(), QString("Undo Freeze layer WALLS in viewport"));
    QVERIFY(T.W->Modified());
    QVERIFY(QTest::qWaitForWindowActive(T.W.get()));
    QTest::keyClick(T.W.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(VP->FrozenLayers(), std::vector<std::uint64_t>{0x12});
    QVERIFY(!Frozen("WALLS"));

    QTest::keyClick(T.N, Qt::Key_Escape);
    QVERIFY(T.W->Manager()->Entities().empty());
    QVERIFY(T.L->tblLayers->isColumnHidden(TfmLayers::colVPFrozen));
  }

  // The print dialog's area "Layout's paper": offered for a paper layout with
  // a sheet, never for the model.
  void print_area_is_the_layout_paper() {
    TWin T(FFile);
    TqdCADImage* I = T.N->CADImage();
    {
      TfmPrint D(*I, cnstBadRect, T.W.get());
      QCOMPARE(D.cbArea->count(), 2);
      QVERIFY(IsBadBox(qdLayoutPaperArea(*I)));
    }
    T.W->cbLayouts->setCurrentIndex(T.W->cbLayouts->findText("Layout1"));
    const TFRect Paper = qdLayoutPaperArea(*I);
    QVERIFY(!IsBadBox(Paper));
    qInfo("paper %g,%g - %g,%g", Paper.Left, Paper.Bottom, Paper.Right, Paper.Top);
    TfmPrint D(*I, cnstBadRect, T.W.get());
    QCOMPARE(D.cbArea->count(), 3);
    QCOMPARE(D.cbArea->itemText(2), QString("Layout's paper"));
    D.cbArea->setCurrentIndex(2);
    const TFRect A = D.Options().Area;
    QVERIFY(A.Left == Paper.Left && A.Right == Paper.Right && A.Top == Paper.Top && A.Bottom == Paper.Bottom);
    // The sheet, 297 x 210 mm, around the layout's origin less its margins.
    QVERIFY2(std::abs(Paper.Right - Paper.Left - 297) < 1e-6 && std::abs(Paper.Top - Paper.Bottom - 210) < 1e-6,
             qPrintable(QString("%1 x %2").arg(Paper.Right - Paper.Left).arg(Paper.Top - Paper.Bottom)));
  }
};

QTEST_MAIN(LayersTest)
#include "layers_test.moc"
