// The editor under Xvfb (draftwell-screenshot): opens the sample given on the command line,
// grabs its window after the load and exits; the picture must show a drawing.
// With a corpus drawing it also clicks an entity, recolours it in the
// inspector, copies and pastes it, and previews it.
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest/QtTest>

namespace {

const QString cnstSample = QStringLiteral(DRAFTWELL_SOURCE_DIR "/samples/plan.dxf");
const QString cnstCorpusDrawing = QStringLiteral(DRAFTWELL_SOURCE_DIR "/../shared/corpus/dxf/dxfparser-polylines.dxf");

// Clearly green pixels (antialiased edges are light green) in Box.
int GreenPixels(const QImage& I, const QRect& Box) {
  int N = 0;
  for (int Y = Box.top(); Y <= Box.bottom(); ++Y)
    for (int X = Box.left(); X <= Box.right(); ++X) {
      const QColor C = I.pixelColor(X, Y);
      N += C.green() > C.red() + 40 && C.green() > C.blue() + 40;
    }
  return N;
}

// Pixels that are neither paper nor green. The paper is white, or black when
// the drawing's ink is white (this one's is).
int OtherThanGreen(const QImage& I, const QRect& Box) {
  int N = 0;
  for (int Y = Box.top(); Y <= Box.bottom(); ++Y)
    for (int X = Box.left(); X <= Box.right(); ++X) {
      const QColor C = I.pixelColor(X, Y);
      const bool Paper = (C.red() > 235 && C.green() > 235 && C.blue() > 235) ||
                         (C.red() < 20 && C.green() < 20 && C.blue() < 20);
      const bool Green = C.green() > C.red() + 20 && C.green() > C.blue() + 20;
      N += !Paper && !Green;
    }
  return N;
}

// Runs the editor under Xvfb with Options; the output, or a failure message in Error.
QByteArray RunEditor(const QStringList& Options, QString& Error) {
  const QString Xvfb = QStandardPaths::findExecutable("xvfb-run");
  QProcess P;
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert("QT_QPA_PLATFORM", "xcb");
  P.setProcessEnvironment(Env);
  P.setProcessChannelMode(QProcess::MergedChannels);
  P.start(Xvfb, QStringList{"-a", "-s", "-screen 0 1024x768x24", DRAFTWELL_EDITOR} << Options);
  if (!P.waitForFinished(120000)) Error = "the editor did not finish";
  const QByteArray Out = P.readAll();
  if (Error.isEmpty() && (P.exitStatus() != QProcess::NormalExit || P.exitCode() != 0))
    Error = "the editor failed: " + QString::fromLocal8Bit(Out);
  return Out;
}

// Pixels of the box that differ from its most common colour.
int OtherPixels(const QImage& I, const QRect& Box) {
  QHash<QRgb, int> Count;
  for (int Y = Box.top(); Y <= Box.bottom(); ++Y)
    for (int X = Box.left(); X <= Box.right(); ++X) ++Count[I.pixel(X, Y)];
  int Most = 0;
  for (int C : Count) Most = std::max(Most, C);
  return Box.width() * Box.height() - Most;
}

}  // namespace

class XvfbScreenshotTest : public QObject {
  Q_OBJECT

 private slots:
  void screenshot_data() {
    QTest::addColumn<QStringList>("Options");
    QTest::addColumn<bool>("Drawn");
    // Only the fitted view is sure to hold entities whatever the drawing draws today.
    QTest::newRow("fitted") << QStringList{} << true;
    QTest::newRow("zoomed and panned") << QStringList{"--zoom", "3", "--pan", "40,-30"} << false;
    QTest::newRow("paper layout") << QStringList{"--layout", "1"} << false;
  }
  void screenshot() {
    QFETCH(QStringList, Options);
    QFETCH(bool, Drawn);
    const QString Xvfb = QStandardPaths::findExecutable("xvfb-run");
    if (Xvfb.isEmpty()) QSKIP("xvfb-run is not installed (Debian package xvfb)");
    QTemporaryDir Dir;
    QVERIFY(Dir.isValid());
    const QString Shot = Dir.filePath("shot.png");
    QProcess P;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert("QT_QPA_PLATFORM", "xcb");
    P.setProcessEnvironment(Env);
    P.setProcessChannelMode(QProcess::MergedChannels);
    P.start(Xvfb, QStringList{"-a", "-s", "-screen 0 1024x768x24", DRAFTWELL_EDITOR, "--screenshot", Shot}
                      << Options << cnstSample);
    QVERIFY2(P.waitForFinished(120000), "the editor did not finish");
    const QByteArray Out = P.readAll();
    QVERIFY2(P.exitStatus() == QProcess::NormalExit && P.exitCode() == 0, Out.constData());
    QImage I(Shot);
    QVERIFY2(!I.isNull(), Out.constData());
    QVERIFY(I.width() >= 590 && I.height() >= 250);
    // The view is right of the 220-pixel left panel, below the menu and tool bar.
    const QRect View(I.width() * 3 / 10, I.height() * 11 / 100, I.width() * 69 / 100, I.height() * 82 / 100);
    const int Other = OtherPixels(I, View);
    if (!Drawn) return;
    QVERIFY2(Other > 200, qPrintable(QString("only %1 drawn pixels in the view").arg(Other)));
    QVERIFY(Other < View.width() * View.height() / 2);
  }

  // Click, recolour, copy and paste, preview: what each step changes is seen.
  void edit_a_corpus_drawing() {
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty()) QSKIP("xvfb-run is not installed (Debian package xvfb)");
    if (!QFile::exists(cnstCorpusDrawing)) QSKIP("the corpus is not there (../shared/corpus/dxf)");
    QTemporaryDir Dir;
    QVERIFY(Dir.isValid());
    const QString Before = Dir.filePath("before.png"), Recoloured = Dir.filePath("recoloured.png"),
                  Pasted = Dir.filePath("pasted.png"), Preview = Dir.filePath("preview.png");
    const QStringList Edit{"--click-entity", "--before", Before, "--set", "Color=Green"};
    QString Error;
    QByteArray Out = RunEditor(QStringList{"--screenshot", Recoloured} << Edit << cnstCorpusDrawing, Error);
    QVERIFY2(Error.isEmpty(), qPrintable(Error));
    QVERIFY2(Out.contains("set Color=Green: applied"), Out.constData());
    Out = RunEditor(QStringList{"--screenshot", Pasted, "--preview", Preview, "--paste-shift", "0.3,0.2"} << Edit
                        << cnstCorpusDrawing,
                    Error);
    QVERIFY2(Error.isEmpty(), qPrintable(Error));
    QVERIFY2(Out.contains("pasted at"), Out.constData());
    const QImage B(Before), R(Recoloured), P(Pasted), V(Preview);
    QVERIFY(!B.isNull() && !R.isNull() && !P.isNull() && !V.isNull());
    const QRect View(B.width() * 3 / 10, B.height() * 11 / 100, B.width() * 69 / 100, B.height() * 82 / 100);
    // The drawing has no green; the recoloured entity is green; its pasted copy
    // doubles the green.
    QCOMPARE(GreenPixels(B, View), 0);
    const int G1 = GreenPixels(R, View), G2 = GreenPixels(P, View);
    QVERIFY2(G1 > 50, qPrintable(QString::number(G1)));
    QVERIFY2(G2 > G1 * 3 / 2, qPrintable(QString("%1 then %2").arg(G1).arg(G2)));
    // The preview shows the selected entity alone: green on the view's paper.
    const QRect Nav(0, 0, V.width(), V.height() - 42);
    QVERIFY2(GreenPixels(V, Nav) > 100, qPrintable(QString::number(GreenPixels(V, Nav))));
    QVERIFY2(OtherThanGreen(V, Nav) < 20, qPrintable(QString::number(OtherThanGreen(V, Nav))));
  }
};

QTEST_GUILESS_MAIN(XvfbScreenshotTest)
#include "xvfb_screenshot_test.moc"
