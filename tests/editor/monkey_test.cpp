// A long random session: wheel, drags with either button, clicks, keys and every
// enabled menu action, in a seeded random order, over drawings opened and failed
// along the way. Nothing may crash (the sanitizers watch), hang or leave the view
// with a scale or a rectangle that is not a finite number. The run's length is
// DRAFTWELL_EDITOR_ACTIONS (500 by default; 10,000 for a long run) and its seed
// DRAFTWELL_EDITOR_SEED.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QSettings>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QtTest>
#include <cmath>

#include "editor_test_setup.h"
#include "CADImage.h"
#include "Readers.h"
#include "fEntityInspector.h"
#include "fMain.h"
#include "qdDrawingNavigator.h"
#include "qdRasterGraphic.h"

namespace {

const QString cnstSamples = QStringLiteral(DRAFTWELL_SOURCE_DIR "/samples");
const QString cnstCorpus = QStringLiteral(DRAFTWELL_SOURCE_DIR "/../shared/corpus");

int EnvInt(const char* AName, int ADefault) {
  bool Ok = false;
  const int V = qEnvironmentVariableIntValue(AName, &Ok);
  return Ok ? V : ADefault;
}

bool Finite(double V) { return std::isfinite(V); }

// Actions that would end the session.
bool EndsTheSession(const QAction* A) {
  const QString T = A->text().remove('&').toLower();
  return T.startsWith("exit") || T.startsWith("quit") || A->menu();
}

}  // namespace

class MonkeyTest : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;

 private slots:
  void initTestCase() {
    QVERIFY(qdSetUpEditorTest(FDir));
  }

  void random_actions() {
    const int Actions = EnvInt("DRAFTWELL_EDITOR_ACTIONS", 500);
    const quint32 Seed = static_cast<quint32>(EnvInt("DRAFTWELL_EDITOR_SEED", 20261211));
    QRandomGenerator Rnd(Seed);
    qInfo("%d actions, seed %u", Actions, Seed);

    // What the open dialog may answer: the samples, some corpus drawings when
    // present, a file that is no drawing, a DXF cut short, nothing. Copies
    // only: Ctrl+S among the random keys writes a DXF where it came from.
    QStringList Files{QString()};
    auto Copy = [&](const QString& From) {
      const QString To = FDir.filePath(QFileInfo(From).fileName());
      if (QFile::exists(To) || QFile::copy(From, To)) Files << To;
    };
    Copy(cnstSamples + "/plan.dxf");
    Copy(cnstSamples + "/bracket.dxf");
    for (const char* Name : {"dxf/qcad-example01.dxf", "dxf/ezdxf-mtext_columns_r2018.dxf", "dwg/r2000_acadsharp_sample.dwg",
                             "dwg/r2018_acadsharp_mleader.dwg", "hpgl/ezdxf-hsg_iso.plt"})
      if (QFile::exists(cnstCorpus + "/" + Name)) Copy(cnstCorpus + "/" + Name);
    const QString Plan = FDir.filePath("plan.dxf");
    QVERIFY(QFile::exists(Plan));
    {
      QFile Junk(FDir.filePath("junk.dwg"));
      QVERIFY(Junk.open(QIODevice::WriteOnly));
      Junk.write(QByteArray(4000, '\x5a'));
      QFile Source(Plan);
      QVERIFY(Source.open(QIODevice::ReadOnly));
      QFile Cut(FDir.filePath("cut.dxf"));
      QVERIFY(Cut.open(QIODevice::WriteOnly));
      Cut.write(Source.readAll().left(6000));
      Files << Junk.fileName() << Cut.fileName();
    }

    QMap<QString, int> Done;
    TfmMain W;
    W.OnShowMessage = [](const QString&, bool) {};
    W.OnShowWarnings = [](const QStringList&) {};
    W.OnAskUnsaved = [](const QString&) { return TqdUnsavedAnswer::Discard; };
    W.OnGetOpenFileName = [&] { return Files[Rnd.bounded(Files.size())]; };
    // Save As: a name in the test's folder in one of the forms, or cancelled.
    W.OnGetSaveFileName = [&](const TqdSaveChoice&) {
      TqdSaveChoice C;
      const auto& Forms = qdSaveFormats();
      if (Rnd.bounded(3) == 0) return C;
      const TqdSaveFormat& F = Forms[Rnd.bounded(int(Forms.size()))];
      C.FileName = FDir.filePath(QString("saved-%1.dxf").arg(Rnd.bounded(4)));
      C.Release = F.Release;
      C.Binary = F.Binary;
      ++Done["save as"];
      return C;
    };
    W.OnExecDialog = [&](QDialog&) { return Rnd.bounded(2) ? int(QDialog::Accepted) : int(QDialog::Rejected); };
    // Dialogs that do not go through the hook are closed as soon as they show.
    QTimer Closer;
    QObject::connect(&Closer, &QTimer::timeout, [] {
      if (QWidget* M = QApplication::activeModalWidget())
        if (auto* D = qobject_cast<QDialog*>(M)) D->reject();
    });
    Closer.start(20);
    W.resize(1000, 700);
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    QVERIFY(W.FileOpen(Plan));
    TqdDrawingNavigator* N = W.DNavigator();

    const int Keys[] = {Qt::Key_Home, Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                        Qt::Key_Down, Qt::Key_Escape, Qt::Key_Delete, Qt::Key_PageUp, Qt::Key_PageDown,
                        Qt::Key_Space, Qt::Key_Return, Qt::Key_Tab, Qt::Key_Z, Qt::Key_Y, Qt::Key_A,
                        Qt::Key_C, Qt::Key_V, Qt::Key_F, Qt::Key_M, Qt::Key_0};
    const char* const Values[] = {"0", "1", "-1", "2.5", "1e300", "nan", "abc", "ByLayer", "ByBlock", "Red", ""};
    const Qt::KeyboardModifiers Mods[] = {Qt::NoModifier, Qt::ControlModifier, Qt::ShiftModifier,
                                          Qt::ControlModifier | Qt::ShiftModifier};
    for (int I = 0; I < Actions; ++I) {
      const QPoint P(Rnd.bounded(N->width()), Rnd.bounded(N->height()));
      const QPoint Q(Rnd.bounded(N->width()), Rnd.bounded(N->height()));
      switch (Rnd.bounded(10)) {
        case 0: {
          const int Delta = Rnd.bounded(2) ? 120 : -120;
          QWheelEvent E(P, N->mapToGlobal(P), {}, {0, Delta}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                        false);
          QApplication::sendEvent(N, &E);
          ++Done["wheel"];
          break;
        }
        case 1:
        case 2: {
          const Qt::MouseButton B = Rnd.bounded(3) ? Qt::LeftButton : Qt::RightButton;
          const Qt::KeyboardModifiers M = Mods[Rnd.bounded(4)];
          QTest::mousePress(N, B, M, P);
          QMouseEvent Move(QEvent::MouseMove, Q, N->mapToGlobal(Q), Qt::NoButton, B, M);
          QApplication::sendEvent(N, &Move);
          QTest::mouseRelease(N, B, M, Q);
          ++Done["drag"];
          break;
        }
        case 3:
          QTest::mouseClick(N, Qt::LeftButton, Mods[Rnd.bounded(4)], P);
          ++Done["click"];
          break;
        case 4:
          QTest::mouseDClick(N, Qt::LeftButton, {}, P);
          ++Done["double click"];
          break;
        case 5:
        case 6: {
          QWidget* Target = Rnd.bounded(2) ? static_cast<QWidget*>(N) : static_cast<QWidget*>(&W);
          QTest::keyClick(Target, static_cast<Qt::Key>(Keys[Rnd.bounded(int(std::size(Keys)))]), Mods[Rnd.bounded(4)]);
          ++Done["key"];
          break;
        }
        case 7: {
          // An edit typed into a row of the inspector, when it shows an entity.
          TfmEntityInspector* Insp = W.FEntityInspector;
          if (!Insp || !Insp->ShownEntity() || Insp->RowCount() == 0) break;
          Insp->qdAttributesSetEditText(Rnd.bounded(Insp->RowCount()), Values[Rnd.bounded(int(std::size(Values)))]);
          ++Done["inspector edit"];
          break;
        }
        default: {
          QList<QAction*> Acts;
          for (QAction* A : W.findChildren<QAction*>())
            if (A->isEnabled() && !A->isSeparator() && !A->text().isEmpty() && !EndsTheSession(A)) Acts << A;
          if (Acts.isEmpty()) break;
          QAction* A = Acts[Rnd.bounded(Acts.size())];
          // Triggering may rebuild the menu the action lives in (recent files).
          ++Done["action: " + A->text().remove('&')];
          A->trigger();
          break;
        }
      }
      QCoreApplication::processEvents();
      // A load started by an action runs in the background: let most finish.
      if (I % 25 == 0) QTest::qWait(5);
      QVERIFY2(W.isVisible(), qPrintable(QString("the window closed at action %1").arg(I)));
      N = W.DNavigator();
      QVERIFY(N);
      QVERIFY2(Finite(N->Scale()) && N->Scale() > 0, qPrintable(QString("scale %1 at action %2").arg(N->Scale()).arg(I)));
      const TF2DRect R = N->PictureRect2D();
      QVERIFY2(Finite(R.Left) && Finite(R.Top) && Finite(R.Right) && Finite(R.Bottom),
               qPrintable(QString("picture rectangle not finite at action %1").arg(I)));
    }
    for (auto It = Done.cbegin(); It != Done.cend(); ++It) qInfo("%6d  %s", It.value(), qPrintable(It.key()));
    // Files opened while a drawing is shown went to windows of their own.
    int Windows = 0;
    for (QWidget* T : QApplication::topLevelWidgets())
      if (T != &W && dynamic_cast<TfmMain*>(T)) {
        ++Windows;
        T->close();
      }
    qInfo("%d other windows closed", Windows);
    W.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
};

QTEST_MAIN(MonkeyTest)
#include "monkey_test.moc"
