// Opening drawings in the main window as a user does it, through real clicks and
// keys: Cancel and Esc stop a long load, a failed or cancelled open keeps the
// drawing shown before, warnings come most serious first, and a paper-space
// drawing opens on its current layout.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest/QtTest>
#include <ctime>
#include <memory>

#include "editor_test_setup.h"
#include "CADImage.h"
#include "Readers.h"
#include "fMain.h"
#include "qdDrawingNavigator.h"
#include "qdRasterGraphic.h"
#include "qdSManager.h"

namespace {

const QString cnstSample = QStringLiteral(DRAFTWELL_SOURCE_DIR "/samples/plan.dxf");
// The corpus beside the clone, or where DRAFTWELL_CORPUS says.
QString DwgCorpus() {
  const QString E = qEnvironmentVariable("DRAFTWELL_CORPUS");
  return (E.isEmpty() ? QStringLiteral(DRAFTWELL_SOURCE_DIR "/../shared/corpus") : E) + "/dwg";
}

struct TWindow {
  QStringList Errors;
  std::unique_ptr<TfmMain> W;
  TqdProgressEvent Editor;  // the window's own progress handler
  TqdDrawingNavigator* N = nullptr;

  TWindow() {
    W = std::make_unique<TfmMain>();
    W->OnShowMessage = [this](const QString& T, bool IsError) {
      if (IsError) Errors << T;
    };
    W->OnShowWarnings = [](const QStringList&) { QFAIL("the warnings dialog opened"); };
    W->show();
    N = W->DNavigator();
    Editor = N->OnProgress;
  }
  int ModelCount() const {
    const TqdCADImage* I = N->CADImage();
    const TqdDXFLayout* L = I ? I->GetLayout(0) : nullptr;
    const TqdDXFBlock* B = L ? L->PaperSpaceBlockField() : nullptr;
    return B ? B->Count() : -1;
  }
};

// Processor time of this process so far (every thread), in ms.
double ProcessCpuMs() {
  timespec T{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
  return T.tv_sec * 1e3 + T.tv_nsec / 1e6;
}

bool Same(const TF2DRect& A, const TF2DRect& B) {
  return A.Left == B.Left && A.Top == B.Top && A.Right == B.Right && A.Bottom == B.Bottom;
}

}  // namespace

class LoadTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  int FBigCount = 0;

  QString Write(const QString& Name, const QByteArray& Bytes) {
    const QString P = FDir.filePath(Name);
    QFile F(P);
    if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size()) return {};
    return P;
  }

  // A large drawing of mixed entities on a grid, in the shape the load
  // benchmarks use (lines, arcs, circles, polylines, texts), written once.
  QString BigDrawing() {
    const QString P = FDir.filePath("big.dxf");
    if (QFile::exists(P)) return P;
    constexpr int cnstCount = 150000;
    QByteArray B = "0\nSECTION\n2\nENTITIES\n";
    B.reserve(cnstCount * 90);
    const int Side = 400;
    for (int I = 0; I < cnstCount; ++I) {
      const QByteArray X = QByteArray::number((I % Side) * 10), Y = QByteArray::number((I / Side) * 10);
      const QByteArray L = QByteArray::number(I % 8);
      switch (I % 5) {
        case 0:
        case 1:
          B += "0\nLINE\n8\nL" + L + "\n10\n" + X + "\n20\n" + Y + "\n11\n" + X + ".5\n21\n" + Y + ".7\n";
          break;
        case 2:
          B += "0\nCIRCLE\n8\nL" + L + "\n10\n" + X + "\n20\n" + Y + "\n40\n3\n";
          break;
        case 3:
          B += "0\nARC\n8\nL" + L + "\n10\n" + X + "\n20\n" + Y + "\n40\n2\n50\n10\n51\n200\n";
          break;
        default:
          B += "0\nLWPOLYLINE\n8\nL" + L + "\n90\n3\n70\n0\n10\n" + X + "\n20\n" + Y + "\n10\n" + X + ".4\n20\n" +
               Y + ".4\n42\n0.5\n10\n" + X + ".8\n20\n" + Y + "\n";
          break;
      }
    }
    B += "0\nENDSEC\n0\nEOF\n";
    FBigCount = cnstCount;
    return Write("big.dxf", B);
  }

 private slots:
  void initTestCase() {
    QVERIFY(qdSetUpEditorTest(FDir));
    QVERIFY(!BigDrawing().isEmpty());
  }

  // ---- cancel

  // Cancel clicked (or Esc pressed) when the bar first reaches 30%: the reader
  // stops at once, the part read is shown with "Loading cancelled", the bar
  // never went back, and a click queued meanwhile is spent on the load.
  void cancel_at_30_percent_data() {
    QTest::addColumn<bool>("Escape");
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Esc key") << true;
  }
  void cancel_at_30_percent() {
    QFETCH(bool, Escape);
    TWindow T;
    QVERIFY(T.W->FileOpen(cnstSample));
    QList<int> Bar;
    connect(T.W->pbLoading, &QProgressBar::valueChanged, this, [&](int V) { Bar << V; });
    QElapsedTimer Since;
    int AtClick = -1;
    qint64 LoadMs = -1;
    double CpuAtClick = 0, CpuMs = -1;
    T.N->OnProgress = [&](TqdGraphic* G, TqdProgressStage S, int P, const std::string& Msg) {
      T.Editor(G, S, P, Msg);
      if (AtClick >= 0 || P < 30 || !T.W->Loading()) return;
      AtClick = P;
      Since.start();
      CpuAtClick = ProcessCpuMs();
      if (Escape)
        QTest::keyClick(T.N, Qt::Key_Escape);
      else
        QTest::mouseClick(T.W->btnStopLoading, Qt::LeftButton);
      // A click that the window system delivers only after the reader returned.
      QCoreApplication::postEvent(T.W->btnLoadWarnings, new QMouseEvent(QEvent::MouseButtonPress, QPointF(3, 3),
                                  QPointF(3, 3), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(T.W->btnLoadWarnings, new QMouseEvent(QEvent::MouseButtonRelease, QPointF(3, 3),
                                  QPointF(3, 3), Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    };
    T.W->OnLoaded = [&](bool) {
      LoadMs = Since.isValid() ? Since.elapsed() : -1;
      CpuMs = Since.isValid() ? ProcessCpuMs() - CpuAtClick : -1;
    };
    const bool Ok = T.W->FileOpen(BigDrawing());
    QCoreApplication::processEvents();
    if (AtClick < 0) QSKIP("the reader reported no progress of 30% or more");
    qInfo("cancelled at %d%%: the load ended %lld ms after the %s (%.0f ms of processor time)", AtClick, LoadMs,
          Escape ? "key" : "click", CpuMs);
    // What the program spent, which other programs on a busy machine do not
    // stretch as they stretch the wall clock.
    QVERIFY2(CpuMs >= 0 && CpuMs <= 300, qPrintable(QString("%1 ms").arg(CpuMs)));
    QVERIFY(T.Errors.isEmpty());
    QVERIFY(!T.W->Loading());
    for (int I = 1; I < Bar.size(); ++I) QVERIFY2(Bar[I] >= Bar[I - 1], qPrintable(QString::number(Bar[I])));
    if (Ok) {
      // The part read, and said so first.
      const int Kept = T.ModelCount();
      QVERIFY2(Kept > 0 && Kept < FBigCount * 3 / 4, qPrintable(QString::number(Kept)));
      QVERIFY(T.W->LoadSummary().startsWith("Loading cancelled"));
      QVERIFY(T.W->windowTitle().startsWith("big.dxf"));
    } else {
      QCOMPARE(T.W->FileName(), cnstSample);
    }
  }

  // Nothing read yet: the drawing shown before stays, with its view.
  void cancel_before_anything_was_read_keeps_the_previous_drawing() {
    TWindow T;
    QVERIFY(T.W->FileOpen(cnstSample));
    const TqdGraphic* Before = T.N->ActualGraphic();
    bool Clicked = false;
    T.N->OnProgress = [&](TqdGraphic* G, TqdProgressStage S, int P, const std::string& Msg) {
      T.Editor(G, S, P, Msg);
      if (Clicked || S != psStarting) return;
      Clicked = true;
      QTest::mouseClick(T.W->btnStopLoading, Qt::LeftButton);
    };
    QVERIFY(!T.W->FileOpen(BigDrawing()));
    QVERIFY(Clicked);
    QVERIFY(T.Errors.isEmpty());
    QCOMPARE(T.N->ActualGraphic(), Before);
    QCOMPARE(T.W->FileName(), cnstSample);
    QVERIFY(T.W->windowTitle().startsWith("plan.dxf"));
    QVERIFY(T.W->FileIsOpen() && T.W->BtnSelect->isEnabled());
  }

  // ---- failed opens

  void failed_open_keeps_the_drawing_data() {
    QTest::addColumn<QString>("Name");
    QTest::addColumn<QByteArray>("Bytes");
    QByteArray Random(4096, 0);
    for (int I = 0; I < Random.size(); ++I) Random[I] = char((I * 7919 + 13) % 251);
    QTest::newRow("random bytes named .dwg") << "random.dwg" << Random;
    QTest::newRow("empty DXF") << "empty.dxf" << QByteArray();
    QTest::newRow("missing file") << "" << QByteArray();
  }
  void failed_open_keeps_the_drawing() {
    QFETCH(QString, Name);
    QFETCH(QByteArray, Bytes);
    const QString File = Name.isEmpty() ? FDir.filePath("no such file.dxf") : Write(Name, Bytes);
    QVERIFY(!File.isEmpty());
    TWindow T;
    QVERIFY(T.W->FileOpen(cnstSample));
    QTest::qWait(0);
    // A layout, a zoom by wheel and a selected entity, all of which must survive.
    T.W->cbLayouts->setCurrentIndex(1);
    const QPoint C(T.N->width() / 2, T.N->height() / 2);
    QWheelEvent Wheel(C, T.N->mapToGlobal(C), {}, {0, 120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(T.N, &Wheel);
    T.N->RefreshFrame();
    T.W->Manager()->SelectAll();
    const auto Selected = T.W->Manager()->Entities();
    QVERIFY(!Selected.empty());
    const TF2DRect View = T.N->PictureRect2D();
    const TqdGraphic* Before = T.N->ActualGraphic();
    const TqdDXFLayout* Layout = T.N->CADImage()->CurrentLayout();
    const QString Title = T.W->windowTitle();

    QVERIFY(!T.W->FileOpen(File));
    QCOMPARE(T.Errors.size(), 1);
    QCOMPARE(T.N->ActualGraphic(), Before);
    QCOMPARE(T.N->CADImage()->CurrentLayout(), Layout);
    QCOMPARE(T.W->cbLayouts->currentIndex(), 1);
    QVERIFY(Same(T.N->PictureRect2D(), View));
    QVERIFY(T.W->Manager()->Entities() == Selected);
    QCOMPARE(T.W->windowTitle(), Title);
    QVERIFY(T.W->FileIsOpen() && T.W->btnClose->isEnabled() && T.W->BtnSelect->isEnabled());
    QVERIFY(T.N->isEnabled());
  }

  // ---- warnings

  void warnings_most_serious_first() {
    QCOMPARE(qdSortedWarnings({"SHX font \"x\" not found: drawn with a.shx", "MULTILEADER: 3 not drawn",
                               "Loading cancelled: the drawing is incomplete", "the file ends early at line 9"}),
             (QStringList{"the file ends early at line 9", "Loading cancelled: the drawing is incomplete",
                          "MULTILEADER: 3 not drawn", "SHX font \"x\" not found: drawn with a.shx"}));
  }

  // A file cut short says so first, whole, at the window's first size.
  void cut_short_first_and_whole() {
    const QString P = Write("cut.dxf",
                            "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nSTYLE\n0\nSTYLE\n2\nODD\n70\n0\n3\nnosuchfont\n"
                            "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nMULTILEADER\n8\n0\n"
                            "0\nTEXT\n8\n0\n7\nODD\n10\n0\n20\n0\n40\n1\n1\nA\n"
                            "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n5\n21\n5\n31\n0\n");
    TWindow T;
    QStringList Shown;
    T.W->OnShowWarnings = [&](const QStringList& L) { Shown = L; };
    QVERIFY(T.W->FileOpen(P));
    QTest::qWait(0);
    const QString S = T.W->LoadSummary();
    QVERIFY2(S.startsWith("the file ends early"), qPrintable(S));
    QToolButton* B = T.W->btnLoadWarnings;
    QVERIFY2(B->width() >= B->sizeHint().width(),
             qPrintable(QString("%1 < %2: %3").arg(B->width()).arg(B->sizeHint().width()).arg(S)));
    QVERIFY(B->geometry().right() < T.W->statusBar()->width());
    QTest::mouseClick(B, Qt::LeftButton);
    QVERIFY(Shown.size() >= 2);
    QVERIFY(Shown.front().startsWith("the file ends early"));
    QVERIFY2(qdWarningRank(Shown.back()) >= qdWarningRank(Shown[Shown.size() - 2]), qPrintable(Shown.join(" | ")));
  }

  // The standard fonts every writer names are drawn with ours without a word.
  void standard_fonts_are_silent() {
    QByteArray D = "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nSTYLE\n";
    for (const char* F : {"txt", "simplex.shx", "ROMANS"})
      D += QByteArray("0\nSTYLE\n2\nS_") + F + "\n70\n0\n40\n0\n41\n1\n3\n" + F + "\n";
    D += "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
    for (const char* F : {"txt", "simplex.shx", "ROMANS"})
      D += QByteArray("0\nTEXT\n8\n0\n7\nS_") + F + "\n10\n0\n20\n0\n40\n1\n1\nAbc\n";
    D += "0\nENDSEC\n0\nEOF\n";
    TWindow T;
    QVERIFY(T.W->FileOpen(Write("fonts.dxf", D)));
    QVERIFY2(T.W->LoadWarnings().isEmpty(), qPrintable(T.W->LoadWarnings().join(" | ")));
    QVERIFY(!T.W->btnLoadWarnings->isVisible());
  }

  // ---- the first view

  void paper_space_drawing_opens_on_its_layout() {
    const QString P = DwgCorpus() + "/r11_aceb10.dwg";
    if (!QFile::exists(P)) QSKIP("corpus file missing (../shared/corpus/dwg/r11_aceb10.dwg)");
    TWindow T;
    QVERIFY(T.W->FileOpen(P));
    const TqdCADImage* I = T.N->CADImage();
    const int D = I->Converter()->DefaultLayoutIndex();
    QVERIFY(D > 0);
    QCOMPARE(T.W->cbLayouts->currentIndex(), D);
    QCOMPARE(I->CurrentLayout(), I->GetLayout(D));
    QCOMPARE(T.W->cbLayouts->currentText(), QString::fromStdString(I->GetLayout(D)->Name()));
  }

  void title_names_the_file() {
    TWindow T;
    QVERIFY(T.W->FileOpen(cnstSample));
    QCOMPARE(T.W->windowTitle(), QString::fromUtf8("plan.dxf \u2014 Draftwell"));
  }
};

QTEST_MAIN(LoadTest)
#include "load_test.moc"
