// The main window on the offscreen platform: open through the file-name hook,
// close, layouts, failed loads, raster pictures, the loading state, status bar
// texts, and corpus drawings through zoom, pan, fit and every layout.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QScreen>
#include <QFileInfo>
#include <QDockWidget>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest/QtTest>
#include <memory>

#include "editor_test_setup.h"
#include "CADImage.h"
#include "Readers.h"
#include "fEntityInspector.h"
#include "fMain.h"
#include "fLayers.h"
#include "qdDrawingNavigator.h"
#include "qdRasterGraphic.h"

namespace {

const QString cnstSample = QStringLiteral(DRAFTWELL_SOURCE_DIR "/samples/plan.dxf");
const QString cnstCorpus = QStringLiteral(DRAFTWELL_SOURCE_DIR "/../shared/corpus/dxf");

struct TMessages {
  QStringList Errors, Infos;
};

// A window whose dialogs and message boxes are replaced.
std::unique_ptr<TfmMain> Window(TMessages& M, QString* NextFile = nullptr) {
  auto W = std::make_unique<TfmMain>();
  W->OnShowMessage = [&M](const QString& T, bool IsError) { (IsError ? M.Errors : M.Infos) << T; };
  W->OnGetOpenFileName = [NextFile] { return NextFile ? *NextFile : QString(); };
  W->show();
  return W;
}

QStringList Items(const QComboBox* C) {
  QStringList R;
  for (int I = 0; I < C->count(); ++I) R << C->itemText(I);
  return R;
}

// The no-file state, as after the window was created.
void CheckNoFile(const TfmMain& W) {
  QCOMPARE(W.windowTitle(), QString("Draftwell"));
  QVERIFY(!W.FileIsOpen());
  QVERIFY(W.DNavigator()->Empty());
  QVERIFY(!W.btnClose->isEnabled());
  QVERIFY(!W.mmiClose->isEnabled());
  QVERIFY(!W.mmiExport->isEnabled() && !W.mmiPrint->isEnabled());
  QVERIFY(!W.mmiSave->isEnabled() && !W.mmiSaveAs->isEnabled());
  QVERIFY(!W.mmiSelection->menuAction()->isEnabled());
  QVERIFY(!W.BtnSelect->isEnabled() && !W.BtnSelect->isChecked());
  QVERIFY(!W.BtnMSelect->isEnabled() && !W.BtnMSelect->isChecked());
  QVERIFY(!W.cbLayouts->isEnabled());
  QCOMPARE(W.cbLayouts->count(), 0);
  QVERIFY(!W.btnCopy->isEnabled());
  QVERIFY(!W.btnPaste->isEnabled());
  QVERIFY(!W.sbPreviewSelection->isEnabled());
  QVERIFY(!W.mmiPreview->isEnabled());
  QVERIFY(W.BtnOpen->isEnabled() && W.mmiOpen->isEnabled());
  for (int I = 0; I < 4; ++I) QCOMPARE(W.StatusText(I), QString());
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;

  QString Picture(const char* Ext) {
    QImage I(64, 32, QImage::Format_RGB32);
    I.fill(Qt::red);
    const QString Name = FDir.filePath(QString("pic.") + Ext);
    if (!QFile::exists(Name) && !I.save(Name)) return {};
    return Name;
  }

  QString Garbage(const char* Name) {
    const QString P = FDir.filePath(Name);
    QFile F(P);
    if (F.open(QIODevice::WriteOnly)) F.write("garbage\n");
    return P;
  }

 private slots:
  void initTestCase() {
    QVERIFY(qdSetUpEditorTest(FDir));
  }

  // A drawing of Lines lines, written once per test run.
  QString BigDrawing(int Lines) {
    const QString P = FDir.filePath(QString("big%1.dxf").arg(Lines));
    if (QFile::exists(P)) return P;
    QByteArray B = "0\nSECTION\n2\nENTITIES\n";
    B.reserve(Lines * 64);
    for (int I = 0; I < Lines; ++I) {
      const QByteArray X = QByteArray::number(I % 1000);
      B += "0\nLINE\n8\n0\n10\n" + X + "\n20\n0\n30\n0\n11\n" + X + "\n21\n1\n31\n0\n";
    }
    B += "0\nENDSEC\n0\nEOF\n";
    QFile F(P);
    if (!F.open(QIODevice::WriteOnly) || F.write(B) != B.size()) return {};
    return P;
  }

  static int ModelCount(const TfmMain& W) {
    const TqdCADImage* I = W.DNavigator()->CADImage();
    const TqdDXFLayout* L = I ? I->GetLayout(0) : nullptr;
    const TqdDXFBlock* B = L ? L->PaperSpaceBlockField() : nullptr;
    return B ? B->Count() : -1;
  }

  void created_in_the_no_file_state() {
    TMessages M;
    auto W = Window(M);
    CheckNoFile(*W);
    QCOMPARE(W->mmiFile->title(), QString("File"));
    QStringList File;
    for (QAction* A : W->mmiFile->actions()) File << (A->isSeparator() ? QString("-") : A->text());
    QCOMPARE(File, (QStringList{"Open...", "Recent files", "Close", "-", "Save", "Save As...", "-", "Export...", "Print...", "-", "Exit"}));
    QStringList Sel;
    for (QAction* A : W->mmiSelection->actions()) Sel << A->text();
    QCOMPARE(Sel, (QStringList{"Select all", "Deselect all", "Preview selection..."}));
    QStringList View;
    for (QAction* A : W->mmiView->actions()) View << (A->isSeparator() ? QString("-") : A->text());
    QCOMPARE(View, (QStringList{"Zoom to extents", "Zoom to selection", "Zoom in", "Zoom out", "-", "Pan", "-",
                                "White background", "Black background"}));
    QStringList Help;
    for (QAction* A : W->mmiHelp->actions()) Help << A->text();
    QCOMPARE(Help, (QStringList{"Keyboard and mouse", "About Draftwell"}));
    // Every tool button says what it does.
    for (QToolButton* B : W->findChildren<QToolButton*>())
      if (B->isVisibleTo(W.get()) && B != W->btnLoadWarnings) QVERIFY2(!B->toolTip().isEmpty(), qPrintable(B->objectName()));
    QCOMPARE(W->mmiSelectAll->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
    QCOMPARE(W->Label1->text(), QString("Layouts:"));
    QCOMPARE(W->BtnOpen->toolTip(), QString("Open"));
    QCOMPARE(W->btnClose->toolTip(), QString("Close"));
    QCOMPARE(W->btnCopy->text(), QString("Copy"));
    QCOMPARE(W->btnCopy->toolTip(), QString("Copy block"));
    QCOMPARE(W->btnPaste->text(), QString("Paste"));
    QCOMPARE(W->btnPaste->toolTip(), QString("Paste block"));
    QCOMPARE(W->btnEntityInspector->text(), QString("Entity Inspector"));
    QCOMPARE(W->sbPreviewSelection->toolTip(), QString("Preview selection"));
    QCOMPARE(W->cbLayouts->width(), 145);
    QVERIFY(W->DNavigator()->AutoFocus());
    QVERIFY(W->DNavigator()->RectZooming());
    QVERIFY(W->minimumSize() == QSize(590, 250));
  }

  void open_dialog_filter() {
    const QStringList F = qdQtNameFilters(cnstOpenDialogFilter);
    QCOMPARE(F.size(), 8);
    QCOMPARE(F[0],
             QString("All (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.dxf) (*.jpg *.jpeg *.bmp *.ico *.emf *.wmf *.dxf "
                     "*.dwg *.plt *.hgl *.hpg)"));
    QCOMPARE(F[7], QString("CAD files (*.dxf;*.dwg;*.plt) (*.dxf *.dwg *.plt *.hgl *.hpg)"));
  }

  void open_through_the_hook() {
    TMessages M;
    QString Next = cnstSample;
    auto W = Window(M, &Next);
    bool Loaded = false;
    W->OnLoaded = [&](bool Ok) { Loaded = Ok; };
    W->FileOpen();
    QVERIFY(Loaded);
    QVERIFY(M.Errors.isEmpty());
    QCOMPARE(W->windowTitle(), QString::fromUtf8("plan.dxf \u2014 Draftwell"));
    QVERIFY(W->CADImageShown());
    QCOMPARE(Items(W->cbLayouts), (QStringList{"Model", "Plan"}));
    QCOMPARE(W->cbLayouts->currentIndex(), 0);
    QVERIFY(W->cbLayouts->isEnabled());
    QVERIFY(W->btnClose->isEnabled() && W->mmiClose->isEnabled());
    QVERIFY(W->mmiExport->isEnabled() && W->mmiPrint->isEnabled());
    QVERIFY(W->mmiSelection->menuAction()->isEnabled());
    QVERIFY(W->BtnSelect->isEnabled() && W->BtnSelect->isChecked());
    QVERIFY(W->BtnMSelect->isEnabled() && !W->BtnMSelect->isChecked());
    QVERIFY(W->btnCopy->isEnabled() && W->sbPreviewSelection->isEnabled() && W->mmiPreview->isEnabled());
    QCOMPARE(W->StatusText(0), cnstSample);
    QCOMPARE(W->StatusText(1), QString());
    TqdDrawingNavigator* N = W->DNavigator();
    QCOMPARE(N->Scale(), 1.0);
    QVERIFY(N->PictureRectWidth() > 100);
    QCOMPARE(N->CADImage()->CurrentLayout(), N->CADImage()->GetLayout(0));
  }

  void cancelled_dialog_keeps_the_drawing() {
    TMessages M;
    QString Next = cnstSample;
    auto W = Window(M, &Next);
    W->FileOpen();
    const TqdGraphic* G = W->DNavigator()->ActualGraphic();
    Next.clear();
    W->FileOpen();
    QCOMPARE(W->DNavigator()->ActualGraphic(), G);
    QVERIFY(W->FileIsOpen());
    QCOMPARE(W->windowTitle(), QString::fromUtf8("plan.dxf \u2014 Draftwell"));
  }

  void layout_switch() {
    TMessages M;
    auto W = Window(M);
    QVERIFY(W->FileOpen(cnstSample));
    TqdCADImage* I = W->DNavigator()->CADImage();
    W->DNavigator()->AlterScale(false, {50, 50}, 3);
    W->cbLayouts->setCurrentIndex(1);
    QCOMPARE(I->CurrentLayout(), I->GetLayout(1));
    QCOMPARE(W->DNavigator()->Scale(), 1.0);
    QVERIFY(!W->DNavigator()->grab().isNull());
    W->cbLayouts->setCurrentIndex(0);
    QCOMPARE(I->CurrentLayout(), I->GetLayout(0));
  }

  void close_returns_to_no_file() {
    TMessages M;
    auto W = Window(M);
    QVERIFY(W->FileOpen(cnstSample));
    W->NavigatorMouseMove(10, 10);
    W->btnClose->click();
    CheckNoFile(*W);
    // Preview refuses without a drawing instead of reaching the closed one.
    W->Preview1Click();
    QVERIFY(M.Infos.isEmpty());
  }

  void preview_with_nothing_selected() {
    TMessages M;
    auto W = Window(M);
    QVERIFY(W->FileOpen(cnstSample));
    W->sbPreviewSelection->click();
    QCOMPARE(M.Infos, QStringList{"There are no selected entities"});
  }

  // A failed open after a good one keeps the drawing that was open.
  void failed_load_keeps_the_drawing_data() {
    QTest::addColumn<QString>("Name");
    QTest::addColumn<QString>("Error");
    QTest::newRow("not a drawing") << "garbage.dxf" << "";
    QTest::newRow("enhanced metafile") << "pic.emf" << cnstMetafileNotSupported;
    QTest::newRow("metafile") << "pic.wmf" << cnstMetafileNotSupported;
    QTest::newRow("dwg that is none") << "plan.dwg" << "Not a DWG file: it does not start with a DWG version ID";
    QTest::newRow("unknown extension") << "plan.xyz" << "Unknown picture file extension (.xyz)";
    QTest::newRow("no extension") << "plan" << "The file name has no extension and its content is not a known drawing or picture";
    QTest::newRow("missing file") << "missing.dxf" << "";
  }
  void failed_load_keeps_the_drawing() {
    QFETCH(QString, Name);
    QFETCH(QString, Error);
    const QString Path = Name.startsWith("missing") ? FDir.filePath(Name) : Garbage(qPrintable(Name));
    TMessages M;
    auto W = Window(M);
    QVERIFY(W->FileOpen(cnstSample));
    const TqdGraphic* Shown = W->DNavigator()->ActualGraphic();
    W->NavigatorMouseMove(5, 5);
    QVERIFY(!W->FileOpen(Path));
    QCOMPARE(M.Errors.size(), 1);
    if (!Error.isEmpty()) QCOMPARE(M.Errors[0], Error);
    QVERIFY(W->FileIsOpen() && W->CADImageShown());
    QCOMPARE(W->DNavigator()->ActualGraphic(), Shown);
    QCOMPARE(W->StatusText(0), cnstSample);
    QVERIFY(!W->Loading());
    QCOMPARE(W->DNavigator()->UpdateCount(), 0);
    // The view still works.
    W->NavigatorMouseMove(12, 34);
    QVERIFY(!W->DNavigator()->grab().isNull());
    QVERIFY(W->FileOpen(cnstSample));
  }

  void raster_pictures_data() {
    QTest::addColumn<QString>("Ext");
    QTest::newRow("bmp") << "bmp";
    QTest::newRow("jpeg") << "jpg";
    QTest::newRow("png") << "png";
    QTest::newRow("icon") << "ico";
  }
  void raster_pictures() {
    QFETCH(QString, Ext);
    const QString P = Picture(qPrintable(Ext));
    if (P.isEmpty()) QSKIP("Qt cannot write this format here");
    TMessages M;
    auto W = Window(M);
    QVERIFY(W->FileOpen(cnstSample));
    QVERIFY(W->FileOpen(P));
    QVERIFY(M.Errors.isEmpty());
    QVERIFY(W->FileIsOpen());
    QVERIFY(!W->CADImageShown());
    QCOMPARE(W->cbLayouts->count(), 0);
    QVERIFY(!W->cbLayouts->isEnabled());
    QVERIFY(!W->btnCopy->isEnabled() && !W->sbPreviewSelection->isEnabled());
    QVERIFY(W->btnClose->isEnabled());
    QCOMPARE(W->windowTitle(), QFileInfo(P).fileName() + QString::fromUtf8(" \u2014 Draftwell"));
    QCOMPARE(W->DNavigator()->PictureWidth(), 64);
    const QImage G = W->DNavigator()->grab().toImage();
    const QColor C(G.pixel(G.width() / 2, G.height() / 2));
    QVERIFY(C.red() > 200 && C.green() < 60 && C.blue() < 60);
  }

  void status_numbers_data() {
    QTest::addColumn<double>("Value");
    QTest::addColumn<QString>("Text");
    QTest::newRow("integer") << 12.0 << "12";
    QTest::newRow("fraction") << 0.5 << "0.5";
    QTest::newRow("seven digits") << 1234.56789 << "1234.568";
    QTest::newRow("negative") << -3.25 << "-3.25";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("just below ten million") << 9999999.0 << "9999999";
    QTest::newRow("ten million") << 10000000.0 << "1.0000000e+07";
    QTest::newRow("exponent form") << 12345678.9 << "1.2345679e+07";
    // Large negative values took the general form.
    QTest::newRow("large negative") << -12345678.9 << "-1.2345679e+07";
    QTest::newRow("small") << 0.000012345678 << "1.234568e-05";
  }
  void status_numbers() {
    QFETCH(double, Value);
    QFETCH(QString, Text);
    QCOMPARE(qdStatusNumber(Value), Text);
  }

  void status_bar_on_mouse_move() {
    TMessages M;
    auto W = Window(M);
    QVERIFY(W->FileOpen(cnstSample));
    TqdDrawingNavigator* N = W->DNavigator();
    const QPointF At(12, 34);
    QMouseEvent E(QEvent::MouseMove, At, N->mapToGlobal(At), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(N, &E);
    QCOMPARE(W->StatusText(1), QString("X:12  Y:34"));
    const TFPoint P = N->GetDrawingInternalCoordsWithoutSnap(12, 34);
    QCOMPARE(W->StatusText(2),
             "X:" + qdStatusNumber(P.X) + "  Y:" + qdStatusNumber(P.Y) + "  Z:" + qdStatusNumber(P.Z));
    QVERIFY(W->StatusText(2).startsWith("X:"));
    QCOMPARE(W->StatusText(0), cnstSample);
  }

  void selection_buttons() {
    TMessages M;
    auto W = Window(M);
    QVERIFY(W->FileOpen(cnstSample));
    W->BtnMSelect->click();
    QVERIFY(W->BtnMSelect->isChecked() && !W->BtnSelect->isChecked());
    QCOMPARE(W->DNavigator()->cursor().shape(), Qt::CrossCursor);
    W->BtnSelect->click();
    QVERIFY(W->BtnSelect->isChecked() && !W->BtnMSelect->isChecked());
    QCOMPARE(W->DNavigator()->cursor().shape(), Qt::ArrowCursor);
  }

  void inspector_docks_back() {
    TMessages M;
    auto W = Window(M);
    QCOMPARE(W->FEntityInspector->windowTitle(), QString("Inspector of entity"));
    QCOMPARE(W->splImage->sizes().front(), 300);
    W->FEntityInspector->setFloating(true);
    QCOMPARE(W->splImage->sizes().front(), 300);  // the layers panel is still there
    W->LayersPanel()->setFloating(true);
    QCOMPARE(W->splImage->sizes().front(), 65);  // only the selection buttons
    W->FEntityInspector->hide();
    W->btnEntityInspector->click();
    QVERIFY(W->FEntityInspector->isVisible());
    QVERIFY(!W->FEntityInspector->isFloating());
    QCOMPARE(W->splImage->sizes().front(), 300);
  }

  // While the reader runs, only its Cancel button acts; a close waits for it.
  void loading_disables_everything_and_defers_close() {
    TMessages M;
    auto W = Window(M);
    TqdDrawingNavigator* N = W->DNavigator();
    const TqdProgressEvent Editor = N->OnProgress;
    bool Checked = false;
    N->OnProgress = [&](TqdGraphic* G, TqdProgressStage S, int P, const std::string& Msg) {
      Editor(G, S, P, Msg);
      if (Checked) return;
      Checked = true;
      QVERIFY(W->Loading());
      QVERIFY(!W->BtnOpen->isEnabled() && !W->mmiOpen->isEnabled() && !W->mmiExit->isEnabled());
      QVERIFY(!W->btnEntityInspector->isEnabled() && !N->isEnabled());
      QVERIFY(W->btnStopLoading->isVisible() && W->btnStopLoading->isEnabled());
      QVERIFY(!W->FileOpen(cnstSample));  // no second load inside the reader
      W->FileClose();                     // ignored
      QVERIFY(W->Loading());
      QVERIFY(!W->close());               // deferred
      QVERIFY(W->isVisible());
    };
    // The deferred close stops the reader at once: whether anything was kept depends
    // on how far it got, but no error is shown for it.
    W->FileOpen(cnstSample);
    QVERIFY(Checked);
    QVERIFY(!W->Loading());
    QVERIFY(!W->btnStopLoading->isVisible());
    QVERIFY(M.Errors.isEmpty());
    QTRY_VERIFY(!W->isVisible());
    CheckNoFile(*W);
  }

  void cancel_stops_the_reader() {
    TMessages M;
    auto W = Window(M);
    TqdDrawingNavigator* N = W->DNavigator();
    const TqdProgressEvent Editor = N->OnProgress;
    int Clicks = 0;
    N->OnProgress = [&](TqdGraphic* G, TqdProgressStage S, int P, const std::string& Msg) {
      Editor(G, S, P, Msg);
      if (!W->btnStopLoading->isEnabled()) return;
      // Input still reaches the Cancel button, and only it.
      QTest::mouseClick(W->BtnOpen, Qt::LeftButton);
      QTest::mouseClick(W->btnStopLoading, Qt::LeftButton);
      QVERIFY(!W->btnStopLoading->isEnabled());
      ++Clicks;
    };
    W->FileOpen(cnstSample);
    QCOMPARE(Clicks, 1);
    QVERIFY(!W->Loading());
    QVERIFY(!W->btnStopLoading->isVisible());
    // Whatever the reader kept is shown, or the window is in the no-file state.
    if (W->FileIsOpen())
      QVERIFY(!N->Empty());
    else
      CheckNoFile(*W);
    QVERIFY(M.Errors.isEmpty());
    N->OnProgress = Editor;
    QVERIFY(W->FileOpen(cnstSample));
    QVERIFY(!W->LoadSummary().contains("cancelled"));
  }

  void escape_and_exit() {
    TMessages M;
    auto W = Window(M);
    QVERIFY(W->FileOpen(cnstSample));
    QTest::keyClick(W.get(), Qt::Key_Escape);
    QVERIFY(W->FileIsOpen());
    W->mmiExit->trigger();
    QVERIFY(!W->isVisible());
    CheckNoFile(*W);
  }

  void corpus_drawings_data() {
    QTest::addColumn<QString>("Name");
    for (const char* F : {"acadsharp-sample_ac1015_binary.dxf", "ezdxf-colors.dxf", "qcad-hatch001.dxf",
                          "dxfparser-blocks.dxf", "ezdxf-ascii_r12.dxf", "qcad-dimaligned000.dxf",
                          "acadsharp-geoloc.dxf", "ezdxf-3dface.dxf"})
      QTest::newRow(F) << QString(F);
  }
  void corpus_drawings() {
    QFETCH(QString, Name);
    const QString Path = cnstCorpus + "/" + Name;
    if (!QFile::exists(Path)) QSKIP("corpus file missing (../shared/corpus/dxf)");
    TMessages M;
    auto W = Window(M);
    if (!W->FileOpen(Path)) {
      QVERIFY(!M.Errors.isEmpty());
      CheckNoFile(*W);
      return;
    }
    TqdDrawingNavigator* N = W->DNavigator();
    for (int L = 0; L < W->cbLayouts->count(); ++L) {
      W->cbLayouts->setCurrentIndex(L);
      QVERIFY(!N->grab().isNull());
      N->AlterScale(false, {100, 80}, 4);
      N->MovePictureRect(-150, 90);
      QVERIFY(!N->grab().isNull());
      N->FitToSize();
      QCOMPARE(N->Scale(), 1.0);
    }
    W->FileClose();
    CheckNoFile(*W);
  }

  void cancel_in_a_long_load_keeps_what_was_read() {
    constexpr int cnstLines = 200000;
    const QString File = BigDrawing(cnstLines);
    QVERIFY(!File.isEmpty());
    TMessages M;
    auto W = Window(M);
    TqdDrawingNavigator* N = W->DNavigator();
    const TqdProgressEvent Editor = N->OnProgress;
    int Running = 0;
    N->OnProgress = [&](TqdGraphic* G, TqdProgressStage S, int P, const std::string& Msg) {
      Editor(G, S, P, Msg);
      // The second report comes a progress period into the reading.
      if (S == psRunning && ++Running == 2 && W->btnStopLoading->isEnabled())
        QTest::mouseClick(W->btnStopLoading, Qt::LeftButton);
    };
    W->FileOpen(File);
    if (Running < 2) QSKIP("the whole file was read within one progress period");
    QVERIFY(M.Errors.isEmpty());
    QVERIFY(W->FileIsOpen());
    const int Kept = ModelCount(*W);
    QVERIFY2(Kept > 0 && Kept < cnstLines, qPrintable(QString::number(Kept)));
    QVERIFY(W->LoadSummary().startsWith("Loading cancelled: the drawing is incomplete"));
    QVERIFY(W->LoadWarnings().contains("Loading cancelled: the drawing is incomplete"));
    // The next load is a whole one again.
    N->OnProgress = Editor;
    QVERIFY(W->FileOpen(cnstSample));
    QVERIFY(!W->LoadSummary().contains("cancelled"));
  }

  void load_warnings_in_the_status_bar() {
    const QString P = FDir.filePath("warnings.dxf");
    {
      QFile F(P);
      QVERIFY(F.open(QIODevice::WriteOnly));
      // Three entities without a class, a line, and no end of file.
      F.write("0\nSECTION\n2\nENTITIES\n0\nMULTILEADER\n8\n0\n0\nMULTILEADER\n8\n0\n0\nMULTILEADER\n8\n0\n"
              "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n5\n21\n5\n31\n0\n");
    }
    TMessages M;
    auto W = Window(M);
    QStringList Shown;
    W->OnShowWarnings = [&](const QStringList& L) { Shown = L; };
    QVERIFY(W->FileOpen(P));
    QVERIFY(M.Errors.isEmpty());
    QVERIFY(W->btnLoadWarnings->isVisible());
    // Two from the drawing, the file cut short first; the standard font is silent.
    QVERIFY2(W->LoadSummary().startsWith("the file ends early at line"), qPrintable(W->LoadSummary()));
    QVERIFY2(W->LoadSummary().endsWith("(+1 more)"), qPrintable(W->LoadSummary()));
    QTest::mouseClick(W->btnLoadWarnings, Qt::LeftButton);
    QVERIFY2(Shown.contains("MULTILEADER: 3 not drawn"), qPrintable(Shown.join(" | ")));
    bool Cut = false;
    for (const QString& S : Shown) Cut |= S.startsWith("the file ends early at line");
    QVERIFY(Cut);
    W->FileClose();
    QVERIFY(W->LoadSummary().isEmpty());
    QVERIFY(!W->btnLoadWarnings->isVisible());
  }

  void standard_shortcuts_in_the_menus() {
    TMessages M;
    QString Next;
    auto W = Window(M, &Next);
    W->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(W.get()));
    auto Standard = [](QKeySequence::StandardKey K, QKeySequence Fallback) {
      const QList<QKeySequence> L = QKeySequence::keyBindings(K);
      return L.isEmpty() ? Fallback : L.front();
    };
    QCOMPARE(W->mmiOpen->shortcut(), Standard(QKeySequence::Open, QKeySequence(Qt::CTRL | Qt::Key_O)));
    QCOMPARE(W->mmiClose->shortcut(), Standard(QKeySequence::Close, QKeySequence(Qt::CTRL | Qt::Key_W)));
    QCOMPARE(W->mmiExit->shortcut(), Standard(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
    QCOMPARE(W->mmiCopy->shortcut(), Standard(QKeySequence::Copy, QKeySequence(Qt::CTRL | Qt::Key_C)));
    QCOMPARE(W->mmiPaste->shortcut(), Standard(QKeySequence::Paste, QKeySequence(Qt::CTRL | Qt::Key_V)));
    QCOMPARE(W->mmiSelectAll->shortcut(), Standard(QKeySequence::SelectAll, QKeySequence(Qt::CTRL | Qt::Key_A)));
    int Asked = 0;
    W->OnGetOpenFileName = [&] {
      ++Asked;
      return QString(cnstSample);
    };
    QTest::keySequence(W.get(), W->mmiOpen->shortcut());
    QCOMPARE(Asked, 1);
    QVERIFY(W->FileIsOpen());
    QTest::keySequence(W.get(), W->mmiClose->shortcut());
    QVERIFY(!W->FileIsOpen());
    QTest::keySequence(W.get(), W->mmiExit->shortcut());
    QTRY_VERIFY(!W->isVisible());
  }

  void open_dialog_lists_every_registered_format() {
    const QStringList F = qdOpenDialogFilters();
    QVERIFY(F.size() > 3);
    QVERIFY(F.front().startsWith("All drawings and pictures ("));
    for (const char* Ext : {"*.dxf", "*.dwg", "*.dwt", "*.plt", "*.pcl", "*.png", "*.jpg", "*.bmp", "*.ico"})
      QVERIFY2(F.front().contains(Ext), Ext);
    bool Dwg = false, Png = false;
    for (const QString& S : F) {
      Dwg |= S.startsWith("AutoCAD DWG") && S.contains("*.dwg") && S.contains("*.gp2");
      Png |= S.contains("(*.png)");
    }
    QVERIFY(Dwg && Png);
    QCOMPARE(F.back(), QString("All files (*)"));
  }

  void window_size_is_remembered() {
    qdEditorSettings()->clear();
    {
      TMessages M;
      auto W = Window(M);
      QTRY_VERIFY(W->isVisible());
      // The first time at about 80% of the screen.
      const QRect A = W->screen()->availableGeometry();
      QVERIFY2(std::abs(W->width() - A.width() * 4 / 5) <= 2 || W->width() == W->minimumWidth(),
               qPrintable(QString("%1 of %2").arg(W->width()).arg(A.width())));
      W->resize(901, 655);
      QVERIFY(W->close());
    }
    TMessages M;
    auto W = Window(M);
    QCOMPARE(W->size(), QSize(901, 655));
    qdEditorSettings()->clear();
  }

  void resize_refits_until_the_user_zooms() {
    TMessages M;
    auto W = Window(M);
    QVERIFY(W->FileOpen(cnstSample));
    TqdDrawingNavigator* N = W->DNavigator();
    auto Fitted = [N] {
      const TF2DRect Now = N->PictureRect2D();
      N->FitToSize();
      const TF2DRect F = N->PictureRect2D();
      return std::abs(Now.Left - F.Left) < 1 && std::abs(Now.Right - F.Right) < 1 && std::abs(Now.Top - F.Top) < 1 &&
             std::abs(Now.Bottom - F.Bottom) < 1;
    };
    W->resize(W->width() + 160, W->height() + 90);
    QCoreApplication::processEvents();
    QVERIFY(Fitted());
    N->AlterScale(false, TF2DPoint{N->width() / 2.0, N->height() / 2.0}, 1.5);
    const TF2DRect Zoomed = N->PictureRect2D();
    W->resize(W->width() - 100, W->height() - 40);
    QCoreApplication::processEvents();
    QCOMPARE(N->PictureRect2D().Left, Zoomed.Left);
    QCOMPARE(N->PictureRect2D().Right, Zoomed.Right);
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
