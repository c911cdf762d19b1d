// Saving through real keys and clicks: Ctrl+S and Ctrl+Shift+S, the title's "*",
// a drawing read from a plot file saved as DXF beside it, a failed or cancelled
// save that keeps both the edits and the file on disk, and the Save / Discard /
// Cancel question before edits would be lost.
#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUndoStack>
#include <QtTest/QtTest>
#include <memory>

#include "editor_test_setup.h"
#include "Blocks.h"
#include "CADImage.h"
#include "DXFConv.h"
#include "TableItems.h"
#include "fMain.h"
#include "qdDrawingNavigator.h"
#include "qdSManager.h"

namespace {

const char* const cnstDrawing =
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n2\n"
    "0\nLAYER\n2\n0\n70\n0\n62\n7\n6\nCONTINUOUS\n"
    "0\nLAYER\n2\nWALLS\n70\n0\n62\n1\n6\nCONTINUOUS\n0\nENDTAB\n0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n5\nA1\n8\nWALLS\n10\n10\n20\n20\n30\n0\n11\n60\n21\n20\n31\n0\n"
    "0\nLINE\n5\nA2\n8\n0\n10\n10\n20\n40\n30\n0\n11\n60\n21\n45\n31\n0\n"
    "0\nCIRCLE\n5\nA3\n8\n0\n10\n120\n20\n100\n30\n0\n40\n10\n"
    "0\nENDSEC\n0\nEOF\n";

// A square and a diagonal, in plotter units.
const char* const cnstPlot = "IN;SP1;PU0,0;PD4000,0,4000,4000,0,4000,0,0;PU0,0;PD4000,4000;";

QByteArray Bytes(const QString& P) {
  QFile F(P);
  return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

bool Put(const QString& P, const QByteArray& B) {
  QFile F(P);
  return F.open(QIODevice::WriteOnly) && F.write(B) == B.size();
}

// Entities in every layout of the drawing shown, or -1 when none is shown.
int EntityCount(const TfmMain& W) {
  const TqdCADImage* I = W.DNavigator()->CADImage();
  if (!I || !I->Converter()) return -1;
  int N = 0;
  for (int L = 0; L < I->LayoutsCount(); ++L)
    if (const TqdDXFLayout* Layout = I->GetLayout(L))
      if (const TqdDXFBlock* B = Layout->PaperSpaceBlockField()) N += B->Count();
  return N;
}

struct TWin {
  std::unique_ptr<TfmMain> W;
  TqdDrawingNavigator* N = nullptr;
  QStringList Errors, Asked;
  QList<TqdSaveChoice> Proposed;
  TqdSaveChoice Answer;  // what the Save As dialog answers
  TqdUnsavedAnswer Unsaved = TqdUnsavedAnswer::Cancel;

  explicit TWin(const QString& File) {
    W = std::make_unique<TfmMain>();
    W->OnShowMessage = [this](const QString& T, bool IsError) {
      if (IsError) Errors << T;
    };
    W->OnShowWarnings = [](const QStringList&) {};
    W->OnGetSaveFileName = [this](const TqdSaveChoice& P) {
      Proposed << P;
      return Answer;
    };
    W->OnAskUnsaved = [this](const QString& Name) {
      Asked << Name;
      return Unsaved;
    };
    W->resize(900, 640);
    W->show();
    N = W->DNavigator();
    if (!W->FileOpen(File)) return;
    N->Invalidate();
    N->RefreshFrame();
  }
  bool Active() { return QTest::qWaitForWindowActive(W.get()); }
  // Moves the first LINE of the drawing by a mouse drag: an edit like any other.
  void EditByDrag() {
    const TqdPoint Q = N->CADImage()->GetPoint({35, 20, 0});
    const QPoint A(Q.X, Q.Y), B = A + QPoint(30, 15);
    QTest::mouseClick(N, Qt::LeftButton, {}, A);
    QTest::mousePress(N, Qt::LeftButton, {}, A);
    for (const QPoint& P : {(A + B) / 2, B}) {
      QMouseEvent Move(QEvent::MouseMove, P, N->mapToGlobal(P), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(N, &Move);
    }
    QTest::mouseRelease(N, Qt::LeftButton, {}, B);
  }
  QString Title() const { return W->windowTitle(); }
};

QString Starred(const QString& Name, bool Star) {
  return Name + (Star ? "*" : "") + QString::fromUtf8(" \u2014 Draftwell");
}

}  // namespace

class SaveTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;

  QString Fresh(const QString& Name, const QByteArray& B) {
    const QString P = FDir.filePath(Name);
    QFile::remove(P);
    return Put(P, B) ? P : QString();
  }

 private slots:
  void initTestCase() { QVERIFY(qdSetUpEditorTest(FDir)); }

  // The release and form Save keeps for a drawing read from DXF.
  void save_keeps_the_dxf_release_data() {
    QTest::addColumn<QString>("Format");
    QTest::addColumn<QString>("Version");
    QTest::addColumn<bool>("IsDXF");
    QTest::addColumn<int>("Release");
    QTest::addColumn<bool>("Binary");
    QTest::newRow("R12 text") << "dxf-text" << "AC1009" << true << int(acR12) << false;
    QTest::newRow("R10 text") << "dxf-text" << "AC1006" << true << int(acR12) << false;
    QTest::newRow("R2.10") << "dxf-text" << "AC2.10" << true << int(acR12) << false;
    QTest::newRow("R14 binary") << "dxf-binary" << "AC1014" << true << int(acR2000) << true;
    QTest::newRow("R2000") << "dxf-text" << "AC1015" << true << int(acR2000) << false;
    QTest::newRow("R2007 goes up") << "dxf-text" << "AC1021" << true << int(acR2018) << false;
    QTest::newRow("no $ACADVER") << "dxf-text" << "" << true << int(acR2018) << false;
    QTest::newRow("DWG") << "dwg" << "AC1015" << false << int(acR2018) << false;
  }
  void save_keeps_the_dxf_release() {
    QFETCH(QString, Format);
    QFETCH(QString, Version);
    QFETCH(bool, IsDXF);
    QFETCH(int, Release);
    QFETCH(bool, Binary);
    TqdSaveChoice F;
    QCOMPARE(qdDXFFormOf(Format.toStdString(), Version.toStdString(), F), IsDXF);
    QCOMPARE(int(F.Release), Release);
    QCOMPARE(F.Binary, Binary);
  }

  // An edit stars the title; Ctrl+S writes the file in place and the star goes.
  // A writer that fails keeps the star, says why, and leaves the file as it was.
  void ctrl_s_saves_in_place() {
    const QString File = Fresh("shapes.dxf", cnstDrawing);
    TWin T(File);
    QVERIFY(T.W->FileIsOpen());
    QCOMPARE(T.Title(), Starred("shapes.dxf", false));
    QVERIFY(T.W->mmiSave->isEnabled() && T.W->mmiSaveAs->isEnabled());
    T.EditByDrag();
    QVERIFY(T.W->Modified());
    QCOMPARE(T.Title(), Starred("shapes.dxf", true));
    const int Count = EntityCount(*T.W);
    QVERIFY(T.Active());
    QTest::keyClick(T.W.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(T.Proposed.isEmpty());  // a whole DXF file is saved without asking
    QVERIFY(!T.W->Saving() && !T.W->Loading());
    if (!T.Errors.isEmpty()) {
      QVERIFY(T.Errors.front().startsWith("Cannot save \"shapes.dxf\": "));
      QCOMPARE(T.Title(), Starred("shapes.dxf", true));
      QVERIFY(T.W->Modified());
      QCOMPARE(Bytes(File), QByteArray(cnstDrawing));
      QSKIP(qPrintable("the DXF writer failed: " + T.Errors.front()));
    }
    QCOMPARE(T.Title(), Starred("shapes.dxf", false));
    QVERIFY(!T.W->Modified() && T.W->UndoStack()->isClean());
    QVERIFY(Bytes(File) != QByteArray(cnstDrawing));
    // Still shown, still editable; the written file reads back whole, with the move.
    QCOMPARE(EntityCount(*T.W), Count);
    TWin Back(File);
    QCOMPARE(EntityCount(*Back.W), Count);
    // The moved line is the one on WALLS (the writer may give new handles).
    const TqdDXFEntity* Model = Back.W->DNavigator()->CADImage()->Converter()->ModelSpace();
    const TqdDXFEntity* Moved = nullptr;
    for (int K = 0; K < Model->Count(); ++K)
      if (const TqdDXFEntity* E = Model->GetEntity(K); E->Layer() && E->Layer()->Name() == "WALLS") Moved = E;
    QVERIFY(Moved);
    const TFRect Box = Moved->Box();
    QVERIFY2(Box.Left > 10.5, qPrintable(QString::number(Box.Left)));
  }

  // A plot file is never overwritten: Save goes to Save As, which proposes
  // name.dxf beside it; the chosen release is written and Save then uses it.
  void plot_file_saves_as_dxf_beside_it() {
    const QString File = Fresh("square.plt", cnstPlot);
    TWin T(File);
    QVERIFY(T.W->FileIsOpen());
    const int Count = EntityCount(*T.W);
    QVERIFY(Count > 0);
    QVERIFY(T.Active());
    // Cancelled dialog: nothing written.
    QTest::keyClick(T.W.get(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(T.Proposed.size(), 1);
    QCOMPARE(T.Proposed[0].FileName, FDir.filePath("square.dxf"));
    QCOMPARE(int(T.Proposed[0].Release), int(acR2018));
    QVERIFY(!T.Proposed[0].Binary);
    QVERIFY(!QFile::exists(FDir.filePath("square.dxf")));
    QCOMPARE(T.W->FileName(), File);

    // Ctrl+Shift+S with R2000 chosen; a name without an extension gets ".dxf".
    const QString Out = FDir.filePath("square-r2000");
    QFile::remove(Out + ".dxf");
    T.Answer = {Out, acR2000, false};
    QTest::keyClick(T.W.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(T.Proposed.size(), 2);
    QCOMPARE(Bytes(File), QByteArray(cnstPlot));
    if (!T.Errors.isEmpty()) {
      QVERIFY(!QFile::exists(Out + ".dxf"));
      QCOMPARE(T.W->FileName(), File);
      QSKIP(qPrintable("the DXF writer failed: " + T.Errors.front()));
    }
    QCOMPARE(T.W->FileName(), Out + ".dxf");
    QCOMPARE(T.Title(), Starred("square-r2000.dxf", false));
    QVERIFY(Bytes(Out + ".dxf").contains("AC1015"));
    TWin Back(Out + ".dxf");
    QCOMPARE(EntityCount(*Back.W), Count);
    // Saved once under a name: Ctrl+S no longer asks.
    QTest::keyClick(T.W.get(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(T.Proposed.size(), 2);
    QVERIFY(T.Errors.isEmpty());
  }

  // A failed save (the folder does not exist) shows the writer's reason, keeps
  // the star and the drawing's own name.
  void failed_save_keeps_the_edits() {
    const QString File = Fresh("shapes.dxf", cnstDrawing);
    TWin T(File);
    T.EditByDrag();
    QVERIFY(T.Active());
    T.Answer = {FDir.filePath("no such folder/out.dxf"), acR2018, false};
    QTest::keyClick(T.W.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(T.Proposed.size(), 1);
    QCOMPARE(T.Proposed[0].FileName, File);
    QCOMPARE(T.Errors.size(), 1);
    QVERIFY2(T.Errors[0].startsWith("Cannot save \"out.dxf\": ") && T.Errors[0].size() > 24, qPrintable(T.Errors[0]));
    QCOMPARE(T.Title(), Starred("shapes.dxf", true));
    QCOMPARE(T.W->FileName(), File);
    QVERIFY(T.W->Modified() && T.W->FileIsOpen());
    QCOMPARE(Bytes(File), QByteArray(cnstDrawing));
  }

  // Cancel clicked while the writer runs: nothing is written, the edits stay.
  void cancelled_save_leaves_the_file() {
    QByteArray Big = "0\nSECTION\n2\nENTITIES\n";
    for (int I = 0; I < 40000; ++I)
      Big += "0\nLINE\n8\n0\n10\n" + QByteArray::number(I % 200) + "\n20\n" + QByteArray::number(I / 200) +
             "\n11\n" + QByteArray::number(I % 200 + 1) + "\n21\n" + QByteArray::number(I / 200) + "\n";
    Big += "0\nENDSEC\n0\nEOF\n";
    const QString File = Fresh("many.dxf", Big);
    TWin T(File);
    QVERIFY(T.W->FileIsOpen());
    T.W->mmiSelectAll->trigger();
    QVERIFY(!T.W->Manager()->Entities().empty());
    // Unsaved edits, without making one (no undo step to replay).
    T.W->UndoStack()->resetClean();
    QVERIFY(T.W->Modified());
    bool Clicked = false;
    QList<int> Bar;
    connect(T.W->pbLoading, &QProgressBar::valueChanged, this, [&](int V) {
      Bar << V;
      if (Clicked || V <= 0 || !T.W->Saving()) return;
      Clicked = true;
      QTest::mouseClick(T.W->btnStopLoading, Qt::LeftButton);
    });
    QVERIFY(T.Active());
    QTest::keyClick(T.W.get(), Qt::Key_S, Qt::ControlModifier);
    if (!Clicked) QSKIP("the writer reported no progress");
    QVERIFY(T.Errors.isEmpty());
    QCOMPARE(Bytes(File), Big);
    QVERIFY(T.W->Modified());
    QCOMPARE(T.Title(), Starred("many.dxf", true));
    QVERIFY(T.W->StatusText(0).startsWith("Saving cancelled"));
    for (int I = 1; I < Bar.size(); ++I) QVERIFY(Bar[I] >= Bar[I - 1]);
    const QStringList Left = QDir(FDir.path()).entryList({"*.dxf*"}, QDir::Files);
    QVERIFY2(!Left.join(',').contains("many.dxf."), qPrintable(Left.join(',')));
  }

  // Close with unsaved edits asks Save / Discard / Cancel. Save closes only when
  // the drawing was written; a Save As dialog that is cancelled cancels the close.
  void close_asks_save_discard_cancel_data() {
    QTest::addColumn<int>("Answer");
    QTest::addColumn<bool>("FromPlot");
    QTest::newRow("Cancel") << int(TqdUnsavedAnswer::Cancel) << false;
    QTest::newRow("Discard") << int(TqdUnsavedAnswer::Discard) << false;
    QTest::newRow("Save") << int(TqdUnsavedAnswer::Save) << false;
    QTest::newRow("Save, name dialog cancelled") << int(TqdUnsavedAnswer::Save) << true;
  }
  void close_asks_save_discard_cancel() {
    QFETCH(int, Answer);
    QFETCH(bool, FromPlot);
    const QString File = FromPlot ? Fresh("square.plt", cnstPlot) : Fresh("shapes.dxf", cnstDrawing);
    const QString Name = QFileInfo(File).fileName();
    TWin T(File);
    QVERIFY(T.W->FileIsOpen());
    T.W->UndoStack()->resetClean();
    QCOMPARE(T.Title(), Starred(Name, true));
    T.Unsaved = TqdUnsavedAnswer(Answer);
    QTest::mouseClick(T.W->btnClose, Qt::LeftButton);
    QCOMPARE(T.Asked, QStringList{Name});
    const bool Written = Bytes(File) != (FromPlot ? QByteArray(cnstPlot) : QByteArray(cnstDrawing));
    switch (T.Unsaved) {
      case TqdUnsavedAnswer::Cancel:
        QVERIFY(T.W->FileIsOpen() && T.W->Modified() && !Written);
        break;
      case TqdUnsavedAnswer::Discard:
        QVERIFY(!T.W->FileIsOpen() && !Written);
        QCOMPARE(T.Title(), QString("Draftwell"));
        break;
      case TqdUnsavedAnswer::Save:
        if (FromPlot) {
          QCOMPARE(T.Proposed.size(), 1);
          QVERIFY(T.W->FileIsOpen() && T.W->Modified() && !Written);
        } else if (T.Errors.isEmpty()) {
          QVERIFY(!T.W->FileIsOpen() && Written);
        } else {
          // The writer failed: the close is called off, nothing lost.
          QVERIFY(T.W->FileIsOpen() && T.W->Modified() && !Written);
        }
        break;
    }
  }
};

QTEST_MAIN(SaveTest)
#include "save_test.moc"
