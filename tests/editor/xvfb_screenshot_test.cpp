// The real program under Xvfb: opens the sample given on the command line,
// grabs its window after the load and exits; the picture must show a drawing.
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest/QtTest>

namespace {

const QString cnstSample = QStringLiteral(DRAFTWELL_SOURCE_DIR "/samples/plan.dxf");

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
};

QTEST_GUILESS_MAIN(XvfbScreenshotTest)
#include "xvfb_screenshot_test.moc"
