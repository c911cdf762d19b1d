// What the print preview shows is what the printer gets: the preview, opened
// from File > Print... by real keys and clicks, against the printed PDF as
// poppler draws it; and an exported PDF's texts are text that pdftotext reads.
// Both skip without poppler-utils.
#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QtTest>
#include <memory>

#include "editor_test_setup.h"
#include "CADImage.h"
#include "fExport.h"
#include "fMain.h"
#include "fPrint.h"
#include "qdDrawingNavigator.h"

namespace {

const QString cnstSample = QStringLiteral(DRAFTWELL_SOURCE_DIR "/samples/plan.dxf");

// The grey levels of A and B brought to one size, and their likeness:
// 1 - the mean absolute difference over all pixels (of 255), and the same over
// the pixels where either holds ink, so that a blank page scores nothing.
struct TLikeness {
  double All = 0, Ink = 0;
  double InkA = 0, InkB = 0;  // share of pixels with ink
};
TLikeness Compare(const QImage& A, const QImage& B, const QSize& At) {
  const QImage X = A.scaled(At, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_Grayscale8);
  const QImage Y = B.scaled(At, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_Grayscale8);
  double Sum = 0, InkSum = 0;
  qint64 Ink = 0, InkX = 0, InkY = 0;
  for (int R = 0; R < At.height(); ++R)
    for (int C = 0; C < At.width(); ++C) {
      const int P = X.constScanLine(R)[C], Q = Y.constScanLine(R)[C];
      Sum += std::abs(P - Q);
      InkX += P < 230, InkY += Q < 230;
      if (P < 230 || Q < 230) ++Ink, InkSum += std::abs(P - Q);
    }
  const double N = double(At.width()) * At.height();
  TLikeness L;
  L.All = 1 - Sum / N / 255;
  L.Ink = Ink ? 1 - InkSum / Ink / 255 : 0;
  L.InkA = InkX / N, L.InkB = InkY / N;
  return L;
}

// The paper in a grab of the preview: the box of its white pixels.
QImage PageOf(const QImage& Grab) {
  const QImage G = Grab.convertToFormat(QImage::Format_RGB32);
  int L = G.width(), T = G.height(), R = -1, B = -1;
  for (int Y = 0; Y < G.height(); ++Y)
    for (int X = 0; X < G.width(); ++X)
      if (G.pixel(X, Y) == qRgb(255, 255, 255)) L = std::min(L, X), R = std::max(R, X), T = std::min(T, Y), B = std::max(B, Y);
  return R < L ? QImage() : G.copy(L, T, R - L + 1, B - T + 1);
}

}  // namespace

class PrintPdfTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  QString FPdfToPpm, FPdfToText;

 private slots:
  void initTestCase() {
    QVERIFY(qdSetUpEditorTest(FDir));
    FPdfToPpm = QStandardPaths::findExecutable("pdftoppm");
    FPdfToText = QStandardPaths::findExecutable("pdftotext");
  }

  // Ctrl+P, then the dialog's Preview... button: the preview's page against
  // the PDF the same dialog prints.
  void preview_shows_what_is_printed() {
    if (FPdfToPpm.isEmpty()) QSKIP("pdftoppm (poppler-utils) is not installed: the printed PDF cannot be drawn");
    TfmMain W;
    W.OnShowMessage = [](const QString&, bool) {};
    W.OnShowWarnings = [](const QStringList&) {};
    W.resize(1100, 750);
    W.show();
    QVERIFY(W.FileOpen(cnstSample));
    QVERIFY(QTest::qWaitForWindowActive(&W));
    QImage Preview;
    const QString Pdf = FDir.filePath("printed.pdf");
    bool Dialog = false;
    W.OnExecDialog = [&](QDialog& D) {
      auto* P = dynamic_cast<TfmPrint*>(&D);
      if (!P) return 0;
      Dialog = true;
      // The preview, once it has drawn its page.
      QTimer Poll;
      Poll.setInterval(50);
      int Tries = 0;
      connect(&Poll, &QTimer::timeout, [&] {
        auto* Dlg = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        auto* PW = Dlg ? Dlg->findChild<QPrintPreviewWidget*>() : nullptr;
        if (++Tries > 200 && Dlg) Dlg->reject();
        if (!PW || PW->pageCount() < 1) return;
        Dlg->resize(900, 900);
        PW->setZoomMode(QPrintPreviewWidget::FitInView);
        QCoreApplication::processEvents();
        Preview = PageOf(PW->grab().toImage());
        Dlg->reject();
      });
      Poll.start();
      QPushButton* Button = nullptr;
      for (QPushButton* B : P->findChildren<QPushButton*>())
        if (B->text() == "Preview...") Button = B;
      if (!Button) return 0;
      P->show();
      QTest::mouseClick(Button, Qt::LeftButton);
      Poll.stop();
      QPrinter Printer(QPrinter::HighResolution);
      Printer.setOutputFormat(QPrinter::PdfFormat);
      Printer.setOutputFileName(Pdf);
      P->PrintTo(Printer);
      return 0;
    };
    QTest::keyClick(&W, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(Dialog);
    QVERIFY2(!Preview.isNull() && Preview.width() > 100, "the preview showed no page");
    QProcess P;
    P.start(FPdfToPpm, {"-r", "100", "-png", "-singlefile", Pdf, FDir.filePath("printed")});
    QVERIFY(P.waitForFinished(60000));
    const QImage Printed(FDir.filePath("printed.png"));
    QVERIFY(!Printed.isNull());
    // The same sheet: the shapes agree before the pictures are compared.
    const double Ratio = double(Preview.width()) / Preview.height(), PdfRatio = double(Printed.width()) / Printed.height();
    QVERIFY2(std::abs(Ratio - PdfRatio) < 0.03, qPrintable(QString("%1 against %2").arg(Ratio).arg(PdfRatio)));
    const QSize At(300, int(300 / PdfRatio));
    const TLikeness L = Compare(Preview, Printed, At);
    qInfo("preview %dx%d against the PDF %dx%d: likeness %.4f, where there is ink %.4f (ink %.3f and %.3f)",
          Preview.width(), Preview.height(), Printed.width(), Printed.height(), L.All, L.Ink, L.InkA, L.InkB);
    QVERIFY(L.InkA > 0.01 && L.InkB > 0.01);
    QVERIFY2(L.All >= 0.95, qPrintable(QString::number(L.All)));
    QVERIFY2(L.Ink >= 0.8, qPrintable(QString::number(L.Ink)));
  }

  // An exported PDF of the sample holds its room names as text.
  void exported_pdf_text_is_text() {
    if (FPdfToText.isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed: the PDF's text cannot be read");
    TfmMain W;
    W.OnShowMessage = [](const QString&, bool) {};
    W.show();
    QVERIFY(W.FileOpen(cnstSample));
    const QString Pdf = FDir.filePath("exported.pdf");
    QString Why;
    QVERIFY2(qdExportPdf(*W.DNavigator()->CADImage(), Pdf, Why), qPrintable(Why));
    QProcess P;
    P.start(FPdfToText, {Pdf, "-"});
    QVERIFY(P.waitForFinished(60000));
    const QString Text = QString::fromUtf8(P.readAllStandardOutput());
    qInfo("pdftotext: %s", qPrintable(Text.simplified().left(200)));
    QVERIFY2(Text.contains("kitchen", Qt::CaseInsensitive), qPrintable(Text.left(400)));
  }
};

QTEST_MAIN(PrintPdfTest)
#include "print_pdf_test.moc"
