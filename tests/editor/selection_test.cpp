// Selection, the entity inspector, the block library and the preview on the
// offscreen platform: the raster's hit test, clicks, frames, Shift, dragging,
// select all, Esc, edits in the inspector that reach the drawing (and refused
// ones that do not), copy and paste of blocks, and the preview window.
#include <QAction>
#include <QComboBox>
#include <QToolButton>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <memory>

#include "editor_test_setup.h"
#include "CADImage.h"
#include "Entities.h"
#include "Polylines.h"
#include "Readers.h"
#include "fEntityInspector.h"
#include "fMain.h"
#include "qdDrawingNavigator.h"
#include "qdQtCanvas.h"
#include "qdRasterGraphic.h"
#include "qdSManager.h"
#include "qdSelection.h"
#include "BlockInsert.h"
#include "Inserts.h"
#include "Texts.h"
#include "fPreview.h"
#include "qdBlockLibrary.h"
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

// Two parallel lines, a circle, a block reference and a lightweight polyline,
// well apart from each other.
const char* const cnstDrawing =
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n1\n"
    "0\nLAYER\n2\nWALLS\n70\n0\n62\n1\n6\nCONTINUOUS\n0\nENDTAB\n0\nENDSEC\n"
    "0\nSECTION\n2\nBLOCKS\n"
    "0\nBLOCK\n8\n0\n2\nBLK\n70\n0\n10\n0\n20\n0\n30\n0\n3\nBLK\n"
    "0\nLINE\n5\nB1\n8\n0\n10\n0\n20\n0\n30\n0\n11\n30\n21\n30\n31\n0\n"
    "0\nENDBLK\n8\n0\n"
    "0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n5\nA1\n8\n0\n10\n0\n20\n0\n30\n0\n11\n100\n21\n0\n31\n0\n"
    "0\nLINE\n5\nA2\n8\n0\n10\n0\n20\n50\n30\n0\n11\n100\n21\n50\n31\n0\n"
    "0\nCIRCLE\n5\nA3\n8\n0\n10\n50\n20\n110\n30\n0\n40\n10\n"
    "0\nINSERT\n5\nA4\n8\n0\n2\nBLK\n10\n150\n20\n0\n30\n0\n"
    "0\nINSERT\n5\nA6\n8\n0\n66\n1\n2\nBLK\n10\n150\n20\n200\n30\n0\n"
    "0\nATTRIB\n5\nA7\n8\n0\n10\n150\n20\n200\n30\n0\n40\n2\n1\nOLD\n2\nNUMBER\n70\n0\n"
    "0\nSEQEND\n5\nA8\n8\n0\n"
    "0\nLWPOLYLINE\n5\nA5\n8\n0\n90\n3\n70\n0\n10\n150\n20\n100\n10\n200\n20\n100\n10\n200\n20\n150\n"
    "0\nENDSEC\n0\nEOF\n";

struct TFixture {
  QStringList Messages;
  std::unique_ptr<TfmMain> W;
  TqdDrawingNavigator* N = nullptr;
  TqdSelectionManager* M = nullptr;
  TfmEntityInspector* I = nullptr;

  TqdCADImage* Img() const { return N->CADImage(); }
  TqdDXFEntity* ByHandle(std::uint64_t H) const {
    return Img()->Converter()->ModelSpace()->FindEntByHandle(false, false, H);
  }
  TqdDXFLine* Line(std::uint64_t H) const { return dynamic_cast<TqdDXFLine*>(ByHandle(H)); }
  // Paints now, so that the raster matches the picture.
  void Paint() const {
    N->Invalidate();
    N->RefreshFrame();
  }
  QPoint Pix(const TFPoint& P) const {
    const TqdPoint Q = Img()->GetPoint(P);
    return {Q.X, Q.Y};
  }
  void Click(const QPoint& P, Qt::KeyboardModifiers K = {}) const { QTest::mouseClick(N, Qt::LeftButton, K, P); }
  void Drag(const QPoint& A, const QPoint& B) const {
    QTest::mousePress(N, Qt::LeftButton, {}, A);
    QMouseEvent Move(QEvent::MouseMove, B, N->mapToGlobal(B), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(N, &Move);
    QTest::mouseRelease(N, Qt::LeftButton, {}, B);
  }
};

}  // namespace

class SelectionTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FFile;

 public:
  QString File() const { return FFile; }

 private:
  std::unique_ptr<TFixture> Open() {
    auto F = std::make_unique<TFixture>();
    F->W = std::make_unique<TfmMain>();
    F->W->OnShowMessage = [P = F.get()](const QString& T, bool) { P->Messages << T; };
    F->W->resize(900, 600);
    F->W->show();
    if (!F->W->FileOpen(FFile)) return nullptr;
    F->N = F->W->DNavigator();
    F->M = F->W->Manager();
    F->I = F->W->FEntityInspector;
    F->Paint();
    return F;
  }

 private slots:
  void initTestCase() {
    QVERIFY(qdSetUpEditorTest(FDir));
    FFile = FDir.filePath("shapes.dxf");
    QFile Out(FFile);
    QVERIFY(Out.open(QIODevice::WriteOnly));
    Out.write(cnstDrawing);
  }

  // ---- the raster on its own

  void raster_answers_nothing_outside_and_before_a_frame() {
    TqdSelectionMatrix R;
    TqdDXFLine L;
    QVERIFY(R.GetElementInMatrix(0, 0) == nullptr);  // 1 x 1, never painted
    TqdCanvas* C = R.BeginFrame({20, 20});
    C->SetPen({1, 1, psSolid, pmCopy});
    C->Line({0, 10}, {20, 10});
    R.EndFrame({&L});
    QCOMPARE(R.GetElementInMatrix(5, 10), &L);
    QCOMPARE(R.GetElementInMatrix(0, 9), &L);  // a window cut by the left edge
    struct TCase {
      const char* Name;
      int X, Y;
    } Outside[] = {{"left", -1, 10},   {"right", 20, 10},    {"far right", 10000, 10},
                   {"above", 5, -3},   {"below", 5, 23},     {"corner", -4, -4}};
    for (const TCase& O : Outside) {
      // Beyond the window reach (precision 3) the click names nothing.
      if (O.X >= -3 && O.X <= 22 && O.Y >= 7 && O.Y <= 13) continue;
      QVERIFY2(R.GetElementInMatrix(O.X, O.Y) == nullptr, O.Name);
    }
    // The next frame starts from an empty raster and a new number list.
    R.BeginFrame({20, 20});
    R.EndFrame({});
    QVERIFY(R.GetElementInMatrix(5, 10) == nullptr);
    C = R.BeginFrame({20, 20});
    C->SetPen({1, 1, psSolid, pmCopy});
    C->Line({0, 10}, {20, 10});
    R.EndFrame({&L});
    R.Detach();
    QVERIFY(R.GetElementInMatrix(5, 10) == nullptr);
  }

  void raster_fillability_decides_between_crossing_lines() {
    // Line 1 crosses the window in one pixel column, line 2 fills two rows:
    // the counts, not the distance, choose.
    TqdSelectionMatrix R;
    TqdDXFLine A, B;
    TqdCanvas* C = R.BeginFrame({30, 30});
    C->SetPen({1, 1, psSolid, pmCopy});
    C->Line({15, 0}, {15, 30});
    C->SetPen({2, 1, psSolid, pmCopy});
    C->Line({0, 17}, {30, 17});
    C->Line({0, 18}, {30, 18});
    R.EndFrame({&A, &B});
    // At (13, 16) line 2 is one pixel away and line 1 two; line 2 is met
    // first and counts 14 pixels to line 1's 5, so the count changes hands
    // once and the previous holder, line 1, answers.
    QCOMPARE(R.GetElementInMatrix(13, 16), &A);
    QCOMPARE(R.PointByEntity().X, 15);
    R.SetSearchMode(smPoint);
    QCOMPARE(R.GetElementInMatrix(13, 17), &B);
    R.SetSearchMode(smSnail);
    QCOMPARE(R.GetElementInMatrix(13, 16), &B);
    std::vector<const TqdDXFEntity*> All;
    R.GetElements(15, 15, true, All);
    QCOMPARE(All.size(), std::size_t(2));
  }

  void raster_numbers_of_a_wrapped_count_answer_nothing() {
    TqdSelectionMatrix R;
    TqdCanvas* C = R.BeginFrame({4, 4});
    C->SetPixel(1, 1, 1);
    std::vector<const TqdDXFEntity*> Many(cnstMaxSelectionNumbers + 2, nullptr);
    R.EndFrame(std::move(Many));
    QVERIFY(R.IsOverflow());
    QVERIFY(R.GetElementInMatrix(1, 1) == nullptr);
  }

  // ---- clicks

  void click_selects_a_line_and_shows_its_attributes() {
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix({50, 0, 0}));
    QCOMPARE(F->M->Entities().size(), std::size_t(1));
    QCOMPARE(F->M->Entities().front(), F->ByHandle(0xA1));
    QCOMPARE(F->I->ShownEntity(), F->ByHandle(0xA1));
    for (const char* Row : {"LineWeight", "Handle", "Flags", "LineType", "Layer", "Color", "Point", "X", "Y", "Z",
                            "Point1", "Length", "Angle"})
      QVERIFY2(F->I->FindRow(Row) >= 0, Row);
    QCOMPARE(F->I->cbEntity->currentText(), QString("Line"));
    // Empty space empties the selection and the grid.
    F->Click(F->Pix({50, 25, 0}));
    QVERIFY(F->M->Entities().empty());
    QVERIFY(F->I->ShownEntity() == nullptr);
  }

  void click_in_a_block_reference_selects_the_reference() {
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix({165, 15, 0}));
    QCOMPARE(F->M->Entities().size(), std::size_t(1));
    QCOMPARE(F->M->Entities().front()->EntType(), ceInsert);
  }

  void shift_click_adds_and_removes() {
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix({50, 0, 0}));
    F->Click(F->Pix({50, 50, 0}), Qt::ShiftModifier);
    QCOMPARE(F->M->Entities().size(), std::size_t(2));
    QVERIFY(F->I->ShownEntity() == nullptr);  // two selected: nothing shown
    F->Click(F->Pix({50, 0, 0}), Qt::ShiftModifier);
    QCOMPARE(F->M->Entities().size(), std::size_t(1));
    QCOMPARE(F->M->Entities().front(), F->ByHandle(0xA2));
  }

  void click_before_the_first_frame_selects_nothing() {
    auto F = Open();
    QVERIFY(F);
    const QPoint P = F->Pix({50, 0, 0});
    QVERIFY(F->W->FileOpen(FFile));  // a new picture, not painted yet
    F->N->BeginUpdate();
    F->Click(P);
    F->N->EndUpdate();
    QVERIFY(F->M->Entities().empty());
  }

  void click_after_close_selects_nothing() {
    auto F = Open();
    QVERIFY(F);
    const QPoint P = F->Pix({50, 0, 0});
    F->W->FileClose();
    F->Click(P);
    QVERIFY(F->M->Entities().empty());
    QVERIFY(F->M->Img() == nullptr);
  }

  // ---- frames, select all, Esc

  void frame_selects_what_lies_inside_in_either_direction_data() {
    QTest::addColumn<bool>("Reverse");
    QTest::newRow("top-left to bottom-right") << false;
    QTest::newRow("bottom-right to top-left") << true;
  }
  void frame_selects_what_lies_inside_in_either_direction() {
    QFETCH(bool, Reverse);
    auto F = Open();
    QVERIFY(F);
    F->W->BtnMSelect->click();
    QPoint A = F->Pix({-5, 60, 0}), B = F->Pix({105, -5, 0});
    if (Reverse) std::swap(A, B);
    F->Drag(A, B);
    QCOMPARE(F->M->Entities().size(), std::size_t(2));
    QVERIFY(F->M->IsSelected(F->ByHandle(0xA1)) && F->M->IsSelected(F->ByHandle(0xA2)));
    QVERIFY(!F->M->IsSelected(F->ByHandle(0xA3)));
  }

  void select_all_twice_lists_each_once_and_escape_clears() {
    auto F = Open();
    QVERIFY(F);
    F->W->mmiSelectAll->trigger();
    F->W->mmiSelectAll->trigger();
    QCOMPARE(F->M->Entities().size(), std::size_t(6));
    F->Click(F->Pix({50, 0, 0}));
    QVERIFY(F->I->ShownEntity() != nullptr);
    QTest::keyClick(F->W.get(), Qt::Key_Escape);
    QVERIFY(F->M->Entities().empty());
    QVERIFY(F->I->ShownEntity() == nullptr);
    QCOMPARE(F->I->RowCount(), 0);
  }

  // ---- dragging

  void dragging_moves_every_selected_entity_by_one_delta() {
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix({50, 0, 0}));
    F->Click(F->Pix({50, 50, 0}), Qt::ShiftModifier);
    const QPoint A = F->Pix({50, 0, 0}), B = A + QPoint(30, -20);
    const TFPoint WA = F->N->GetDrawingInternalCoordsWithoutSnap(A.x(), A.y());
    const TFPoint WB = F->N->GetDrawingInternalCoordsWithoutSnap(B.x(), B.y());
    F->Drag(A, B);
    const double DX = WB.X - WA.X, DY = WB.Y - WA.Y;
    QVERIFY(DX > 1 && DY > 1);
    for (std::uint64_t H : {0xA1, 0xA2}) {
      const TqdDXFLine* L = F->Line(H);
      QVERIFY(std::fabs(L->Point1().X - (100 + DX)) < 1e-9);
      QVERIFY(std::fabs(L->Point().Y - ((H == 0xA1 ? 0 : 50) + DY)) < 1e-9);
    }
    // The moved line is found at its new place on the next frame.
    F->Paint();
    F->W->mmiDeselectAll->trigger();
    F->Click(F->Pix({50 + DX, DY, 0}));
    QCOMPARE(F->M->Entities().size(), std::size_t(1));
    QCOMPARE(F->M->Entities().front(), F->ByHandle(0xA1));
  }

  // ---- inspector edits

  void editing_point1_moves_the_line_on_the_next_paint() {
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix({50, 0, 0}));
    const int X = F->I->FindRow("X", "Point1");
    QVERIFY(X >= 0);
    QCOMPARE(F->I->RowValue(X), QString("100"));
    // Leaving the cell without Enter changes nothing.
    QVERIFY(!F->I->qdAttributesSetEditText(X, "40", false));
    QCOMPARE(F->Line(0xA1)->Point1().X, 100.0);
    QVERIFY(F->I->qdAttributesSetEditText(X, "40"));
    QCOMPARE(F->Line(0xA1)->Point1().X, 40.0);
    QCOMPARE(F->I->RowValue(F->I->FindRow("X", "Point1")), QString("40"));
    QCOMPARE(F->Line(0xA1)->Point().X, 0.0);
    F->Paint();
    F->Click(F->Pix({70, 0, 0}));
    QVERIFY(F->M->Entities().empty());  // nothing there any more
    F->Click(F->Pix({20, 0, 0}));
    QCOMPARE(F->M->Entities().size(), std::size_t(1));
    // Z under Point1 moves only the end point's Z.
    QVERIFY(F->I->qdAttributesSetEditText(F->I->FindRow("Z", "Point1"), "5"));
    QCOMPARE(F->Line(0xA1)->Point1().Z, 5.0);
    QCOMPARE(F->Line(0xA1)->Point().Z, 0.0);
  }

  void refused_values_restore_the_cell_data() {
    QTest::addColumn<QString>("Row");
    QTest::addColumn<QString>("Under");
    QTest::addColumn<QString>("Text");
    QTest::newRow("letters") << "X" << "Point1" << "abc";
    QTest::newRow("nan") << "X" << "Point1" << "nan";
    QTest::newRow("inf") << "X" << "Point1" << "inf";
    QTest::newRow("overflowing double") << "X" << "Point1" << "1e400";
    QTest::newRow("flags beyond 32 bits") << "Flags" << "" << "4294967296";
    QTest::newRow("negative infinity") << "Thickness" << "" << "-inf";
  }
  void refused_values_restore_the_cell() {
    QFETCH(QString, Row);
    QFETCH(QString, Under);
    QFETCH(QString, Text);
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix({50, 0, 0}));
    const int R = F->I->FindRow(Row, Under);
    QVERIFY(R >= 0);
    const QString Before = F->I->RowValue(R);
    const TFPoint P1 = F->Line(0xA1)->Point1();
    const int Flags = F->Line(0xA1)->Flags();
    QVERIFY(!F->I->qdAttributesSetEditText(R, Text));
    QCOMPARE(F->I->RowValue(R), Before);
    QCOMPARE(F->Messages.size(), 1);
    QVERIFY(F->Line(0xA1)->Point1() == P1);
    QCOMPARE(F->Line(0xA1)->Flags(), Flags);
  }

  void a_vertex_edit_moves_the_vertex_not_the_polyline() {
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix({175, 100, 0}));
    QCOMPARE(F->M->Entities().size(), std::size_t(1));
    auto* P = dynamic_cast<TqdDXFPolyline*>(F->M->Entities().front());
    QVERIFY(P);
    const int VC = F->I->FindRow("VertexCount");
    QVERIFY(VC >= 0);
    QCOMPARE(F->I->RowValue(VC), QString("3"));
    QVERIFY(F->I->ComboBoxSelect(VC, "1"));
    const int Y = F->I->FindRow("Y", "Point");
    // The polyline's own "Point" comes first; the vertex's follows the chooser.
    int VY = -1;
    for (int R = F->I->FindRow("VertexCount"); R < F->I->RowCount(); ++R)
      if (F->I->RowName(R) == "Y") VY = R;
    QVERIFY(Y >= 0 && VY > Y);
    QVERIFY(F->I->qdAttributesSetEditText(VY, "130"));
    QCOMPARE(P->GetVertex(1)->Point().Y, 130.0);
    QCOMPARE(P->GetVertex(0)->Point().Y, 100.0);
    QCOMPARE(P->GetVertex(2)->Point().Y, 150.0);
  }

  void choosing_a_layer_moves_the_line_to_it() {
    auto F = Open();
    QVERIFY(F);
    F->Click(F->Pix({50, 50, 0}));
    const int L = F->I->FindRow("Layer");
    QVERIFY(L >= 0 && F->I->RowComboBox(L));
    QVERIFY(F->I->RowComboBox(L)->findText("WALLS") >= 0);
    QVERIFY(F->I->ComboBoxSelect(L, "WALLS"));
    QCOMPARE(QString::fromStdString(F->Line(0xA2)->Layer()->Name()), QString("WALLS"));
    QCOMPARE(F->I->RowValue(F->I->FindRow("Layer")), QString("WALLS"));
    QCOMPARE(F->I->RowComboBox(F->I->FindRow("Layer"))->currentText(), QString("WALLS"));
  }

  void block_attributes_are_listed_under_their_tag() {
    auto F = Open();
    QVERIFY(F);
    auto* R = dynamic_cast<TqdDXFInsert*>(F->ByHandle(0xA6));
    QVERIFY(R && R->Count() == 1);
    F->I->RefreshGrid(R);
    const int Tag = F->I->FindRow("       NUMBER");
    QVERIFY(Tag >= 0);
    QVERIFY(!F->I->RowEditable(Tag));
    // Its rows follow the heading (points of its own make headings of their own).
    int V = -1;
    for (int K = Tag + 1; K < F->I->RowCount() && V < 0; ++K)
      if (F->I->RowName(K) == "Value") V = K;
    QVERIFY(V > Tag);
    QCOMPARE(F->I->RowValue(V), QString("OLD"));
    // The edit goes to the attribute, not to the reference.
    QVERIFY(F->I->qdAttributesSetEditText(V, "NEW"));
    QCOMPARE(QString::fromStdString(dynamic_cast<TqdDXFAttrib*>(R->GetEntity(0))->Value()), QString("NEW"));
  }

  void choosing_a_colour_repaints_the_line() {
    auto F = Open();
    QVERIFY(F);
    const QPoint At = F->Pix({50, 0, 0});
    F->Click(At);
    const int C = F->I->FindRow("Color");
    QVERIFY(C >= 0 && F->I->RowComboBox(C));
    QVERIFY(F->I->ComboBoxSelect(C, "Red"));
    QCOMPARE(F->Line(0xA1)->ColorCAD().Color, 1u);
    F->W->mmiDeselectAll->trigger();
    F->Paint();
    const QImage Shot = F->N->grab().toImage();
    bool Red = false;
    for (int DY = -1; DY <= 1; ++DY)
      for (int DX = -1; DX <= 1; ++DX) {
        const QColor Q = Shot.pixelColor(At + QPoint(DX, DY));
        // The screen is antialiased: a line between rows is pink on both.
        Red = Red || (Q.red() > 200 && Q.green() < 180 && std::abs(Q.green() - Q.blue()) < 20);
      }
    QVERIFY(Red);
  }
};


// ---------------------------------------------------------------- blocks and preview

class BlocksTest : public QObject {
  Q_OBJECT
 public:
  QString FFile;

 private:
  std::unique_ptr<TFixture> Open() {
    auto F = std::make_unique<TFixture>();
    F->W = std::make_unique<TfmMain>();
    F->W->OnShowMessage = [P = F.get()](const QString& T, bool) { P->Messages << T; };
    F->W->BlockInsertDialog()->OnShowMessage = [P = F.get()](const QString& T) { P->Messages << T; };
    F->W->resize(900, 600);
    F->W->show();
    if (!F->W->FileOpen(FFile)) return nullptr;
    F->N = F->W->DNavigator();
    F->M = F->W->Manager();
    F->I = F->W->FEntityInspector;
    F->Paint();
    return F;
  }
  static void SelectLines(TFixture& F) {
    F.M->DeselectAll();
    F.M->Select(F.ByHandle(0xA1));
    F.M->Select(F.ByHandle(0xA2));
  }
  // Types the point into the dialog, chooses block Row (-1: none) and presses Insert.
  static bool Insert(TFixture& F, const QString& X, const QString& Y, int Row = 0) {
    TfmBlockInsert* D = F.W->BlockInsertDialog();
    D->FormShow();
    D->lbeX->setText(X);
    D->lbeY->setText(Y);
    if (Row >= 0) {
      D->lsbBlockName->setCurrentRow(Row);
    } else {
      D->lsbBlockName->clearSelection();
      D->lsbBlockName->setCurrentRow(-1);
    }
    return D->Button1Click();
  }

 private slots:
  void copy_and_paste_at_a_typed_point() {
    auto F = Open();
    QVERIFY(F);
    const int Blocks = F->Img()->Converter()->GetSection(csBlocks)->Count();
    const int Listed = F->I->EntityCount();
    SelectLines(*F);
    F->W->btnCopy->click();
    TqdBlockLibrary* L = F->W->BlockLibrary();
    QCOMPARE(L->Count(), 1);
    const std::string Name = L->Names().front();
    QCOMPARE(Name.rfind("Copy ", 0), std::size_t(0));
    QCOMPARE(F->Img()->Converter()->GetSection(csBlocks)->Count(), Blocks);  // the drawing is not changed yet
    QVERIFY(Insert(*F, "10", "20"));
    QCOMPARE(L->Count(), 0);
    QCOMPARE(F->Img()->Converter()->GetSection(csBlocks)->Count(), Blocks + 1);
    TqdDXFBlock* B = F->Img()->Converter()->BlockByName(Name);
    QVERIFY(B);
    QCOMPARE(B->Count(), 2);
    QVERIFY(B->GetEntity(0)->Handle() != 0 && B->GetEntity(0)->Handle() != 0xA1);
    TqdDXFBlock* Model = F->Img()->Converter()->ModelSpace();
    auto* R = dynamic_cast<TqdDXFInsert*>(Model->GetEntity(Model->Count() - 1));
    QVERIFY(R);
    QCOMPARE(R->Block(), B);
    QVERIFY(R->Point() == (TFPoint{10, 20, 0}));
    QCOMPARE(F->I->EntityCount(), Listed + 1);
    QCOMPARE(F->I->ShownEntity(), static_cast<TqdDXFEntity*>(R));
    QCOMPARE(F->M->Entities().size(), std::size_t(1));
    // The copy is drawn displaced by (10, 20): a click there finds the reference.
    F->Paint();
    F->M->DeselectAll();
    F->Click(F->Pix({60, 70, 0}));
    QCOMPARE(F->M->Entities().size(), std::size_t(1));
    QCOMPARE(F->M->Entities().front(), static_cast<TqdDXFEntity*>(R));
    // Each copy pastes once.
    F->W->BlockInsertDialog()->FormShow();
    QCOMPARE(F->W->BlockInsertDialog()->lsbBlockName->count(), 0);
  }

  void dialog_checks_the_point_and_the_block_data() {
    QTest::addColumn<QString>("X");
    QTest::addColumn<QString>("Y");
    QTest::addColumn<int>("Row");
    QTest::addColumn<QString>("Message");
    QTest::newRow("X empty") << "" << "1" << 0 << "Indicate a point";
    QTest::newRow("Y blank") << "1" << "  " << 0 << "Indicate a point";
    QTest::newRow("letters") << "abc" << "1" << 0 << "Point is incorrect";
    QTest::newRow("beyond a float") << "1e39" << "1" << 0 << "Point is incorrect";
    QTest::newRow("infinity") << "1" << "inf" << 0 << "Point is incorrect";
    QTest::newRow("not a number") << "nan" << "1" << 0 << "Point is incorrect";
    QTest::newRow("no block chosen") << "1" << "2" << -1 << "Select block";
  }
  void dialog_checks_the_point_and_the_block() {
    QFETCH(QString, X);
    QFETCH(QString, Y);
    QFETCH(int, Row);
    QFETCH(QString, Message);
    auto F = Open();
    QVERIFY(F);
    SelectLines(*F);
    F->W->btnCopy->click();
    const int Count = F->Img()->Converter()->ModelSpace()->Count();
    QVERIFY(!Insert(*F, X, Y, Row));
    QCOMPARE(F->Messages, QStringList{Message});
    QCOMPARE(F->Img()->Converter()->ModelSpace()->Count(), Count);
    QCOMPARE(F->W->BlockLibrary()->Count(), 1);
  }

  void point_is_stored_as_the_nearest_float() {
    auto F = Open();
    QVERIFY(F);
    SelectLines(*F);
    F->W->btnCopy->click();
    QVERIFY(Insert(*F, "0.1", "-2.5"));
    TqdDXFBlock* Model = F->Img()->Converter()->ModelSpace();
    auto* R = dynamic_cast<TqdDXFInsert*>(Model->GetEntity(Model->Count() - 1));
    QVERIFY(R);
    QCOMPARE(R->Point().X, static_cast<double>(0.1f));
    QCOMPARE(R->Point().Y, -2.5);
    QVERIFY(std::isfinite(F->Img()->Extents().Left) && std::isfinite(F->Img()->Extents().Right));
  }

  void pasted_names_skip_blocks_of_the_drawing() {
    auto F = Open();
    QVERIFY(F);
    SelectLines(*F);
    F->W->btnCopy->click();
    const std::string Name = F->W->BlockLibrary()->Names().front();
    // A block of the drawing already has that name (in another case).
    TqdDXFConverter* C = F->Img()->Converter();
    std::string Lower = Name;
    for (char& Ch : Lower) Ch = static_cast<char>(std::tolower(static_cast<unsigned char>(Ch)));
    TqdDXFEntity* Own = C->NewNamedEntity(C->GetOrCreateSection(csBlocks), ClassOf<TqdDXFBlock>(), Lower);
    QVERIFY(Own);
    QVERIFY(Insert(*F, "1", "1"));
    TqdDXFBlock* Model = C->ModelSpace();
    auto* R = dynamic_cast<TqdDXFInsert*>(Model->GetEntity(Model->Count() - 1));
    QVERIFY(R && R->Block());
    QVERIFY(R->Block() != Own);
    QVERIFY(R->Block()->Name() != Name);
    QCOMPARE(R->Block()->Name().rfind("Copy ", 0), std::size_t(0));
    QCOMPARE(R->Block()->Count(), 2);
  }

  void library_is_emptied_on_open_and_close() {
    auto F = Open();
    QVERIFY(F);
    SelectLines(*F);
    F->W->btnCopy->click();
    QCOMPARE(F->W->BlockLibrary()->Count(), 1);
    QVERIFY(F->W->FileOpen(FFile));
    QCOMPARE(F->W->BlockLibrary()->Count(), 0);
    SelectLines(*F);
    F->W->btnCopy->click();
    F->W->FileClose();
    QCOMPARE(F->W->BlockLibrary()->Count(), 0);
    // Nothing to paste into: the library answers null, the buttons are off.
    QVERIFY(F->W->BlockLibrary()->PasteAsBlock(0, 0, 0) == nullptr);
    for (QToolButton* B : {F->W->btnCopy, F->W->btnPaste, F->W->sbPreviewSelection}) QVERIFY(!B->isEnabled());
    QVERIFY(!F->W->mmiPreview->isEnabled() && !F->W->mmiCopy->isEnabled() && !F->W->mmiPaste->isEnabled());
    QVERIFY(!F->W->InsertBlock(0, 0, 0));
  }

  void paste_refuses_a_bad_index() {
    auto F = Open();
    QVERIFY(F);
    SelectLines(*F);
    F->W->btnCopy->click();
    for (int Bad : {-1, 1, 1000}) QVERIFY(!F->W->InsertBlock(Bad, 0, 0));
    QCOMPARE(F->W->BlockLibrary()->Count(), 1);
    for (QToolButton* B : {F->W->btnCopy, F->W->btnPaste, F->W->sbPreviewSelection}) QVERIFY(B->isEnabled());
  }

  void preview_with_nothing_selected_shows_the_message_only() {
    auto F = Open();
    QVERIFY(F);
    int Runs = 0;
    F->W->OnExecDialog = [&Runs](QDialog&) { return ++Runs, 0; };
    F->W->sbPreviewSelection->click();
    QCOMPARE(Runs, 0);
    QCOMPARE(F->Messages, QStringList{"There are no selected entities"});
  }

  void preview_shows_the_selection_alone() {
    auto F = Open();
    QVERIFY(F);
    SelectLines(*F);
    const int Count = F->Img()->Converter()->ModelSpace()->Count();
    int Entities = -1, Drawn = 0;
    bool Centred = false;
    F->W->OnExecDialog = [&](QDialog& D) {
      auto* P = dynamic_cast<TfmPreview*>(&D);
      if (!P) return 0;
      P->resize(300, 349);
      P->show();
      TqdCADImage* I = P->DNavigator()->CADImage();
      if (!I) return 0;
      Entities = I->Converter()->ModelSpace()->Count();
      const QImage Shot = P->DNavigator()->grab().toImage();
      for (int Y = 0; Y < Shot.height(); ++Y)
        for (int X = 0; X < Shot.width(); ++X) Drawn += Shot.pixelColor(X, Y).lightness() < 128;
      P->resize(420, 300);
      QCoreApplication::processEvents();
      Centred = std::abs(P->btnCancel->x() + P->btnCancel->width() / 2 - P->width() / 2) <= 1;
      return 0;
    };
    F->W->mmiPreview->trigger();
    QCOMPARE(Entities, 2);
    QVERIFY2(Drawn > 100, qPrintable(QString::number(Drawn)));
    QVERIFY(Centred);
    QCOMPARE(F->Img()->Converter()->ModelSpace()->Count(), Count);
    QCOMPARE(F->M->Entities().size(), std::size_t(2));
  }
};

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  SelectionTest S;
  int R = QTest::qExec(&S, argc, argv);
  BlocksTest B;
  B.FFile = S.File();
  R |= QTest::qExec(&B, argc, argv);
  return R;
}
#include "selection_test.moc"
