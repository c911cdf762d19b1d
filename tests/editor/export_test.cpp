// Export and print of a layout: the files written hold the drawing's picture.
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <sstream>

#include "CADImage.h"
#include "Readers.h"
#include "fExport.h"

namespace {

const char* const cDrawing =
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n100\n21\n50\n31\n0\n"
    "0\nCIRCLE\n8\n0\n10\n50\n20\n25\n30\n0\n40\n20\n"
    "0\nENDSEC\n0\nEOF\n";

std::unique_ptr<TqdCADImage> Drawing() {
  std::istringstream In(cDrawing);
  auto I = std::make_unique<TqdCADdxfImage>();
  I->SetIsProcessMessages(false);
  I->LoadFromStream(In);
  I->SelectLayout("0");
  return I;
}

int DarkCount(const QImage& I) {
  int N = 0;
  for (int Y = 0; Y < I.height(); ++Y)
    for (int X = 0; X < I.width(); ++X) N += qGray(I.pixel(X, Y)) < 128;
  return N;
}

QByteArray Head(const QString& File, int N) {
  QFile F(File);
  if (!F.open(QIODevice::ReadOnly)) return {};
  return F.read(N);
}

}  // namespace

class ExportTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    RegisterReaders();
    RegisterCADImages();
  }

  void writes_each_picture_kind() {
    QTemporaryDir Dir;
    auto Img = Drawing();
    QString Why;
    QVERIFY(qdExportLayout(*Img, Dir.filePath("a.png"), 320, 200, Why));
    QImage P(Dir.filePath("a.png"));
    QCOMPARE(P.size(), QSize(320, 200));
    QVERIFY(DarkCount(P) > 100);
    QVERIFY(qdExportLayout(*Img, Dir.filePath("a.svg"), 320, 200, Why));
    QVERIFY(Head(Dir.filePath("a.svg"), 200).contains("<svg") || Head(Dir.filePath("a.svg"), 200).contains("<?xml"));
    QVERIFY(qdExportLayout(*Img, Dir.filePath("a.PDF"), 320, 200, Why));
    QCOMPARE(Head(Dir.filePath("a.PDF"), 5), QByteArray("%PDF-"));
  }

  void refuses_other_names_and_sizes() {
    QTemporaryDir Dir;
    auto Img = Drawing();
    QString Why;
    QVERIFY(!qdExportLayout(*Img, Dir.filePath("a.dwg"), 320, 200, Why));
    QVERIFY(Why.contains(".png"));
    QVERIFY(!QFile::exists(Dir.filePath("a.dwg")));
    QVERIFY(!qdExportLayout(*Img, Dir.filePath("b.png"), 0, 200, Why));
    QVERIFY(!qdExportLayout(*Img, "/nonexistent/dir/c.png", 320, 200, Why));
    QVERIFY(Why.contains("cannot write"));
  }

  void prints_one_page() {
    QTemporaryDir Dir;
    auto Img = Drawing();
    QPrinter Printer(QPrinter::ScreenResolution);
    Printer.setOutputFormat(QPrinter::PdfFormat);
    Printer.setOutputFileName(Dir.filePath("print.pdf"));
    qdPrintLayout(*Img, Printer);
    QCOMPARE(Head(Dir.filePath("print.pdf"), 5), QByteArray("%PDF-"));
    QVERIFY(QFile(Dir.filePath("print.pdf")).size() > 500);
  }

  // An exported PDF is a page of paper (A4 without a paper size in the layout),
  // not a page the size of a screen picture, and holds its lines as vectors.
  void pdf_has_the_paper_size() {
    QTemporaryDir Dir;
    auto Img = Drawing();
    QString Why;
    const QString File = Dir.filePath("a4.pdf");
    QVERIFY2(qdExportPdf(*Img, File, Why), qPrintable(Why));
    QFile F(File);
    QVERIFY(F.open(QIODevice::ReadOnly));
    const QByteArray Pdf = F.readAll();
    const QRegularExpressionMatch M =
        QRegularExpression(R"(/MediaBox\s*\[\s*0\s+0\s+([0-9.]+)\s+([0-9.]+)\s*\])").match(QString::fromLatin1(Pdf));
    QVERIFY2(M.hasMatch(), Pdf.left(400).constData());
    const double W = M.captured(1).toDouble(), H = M.captured(2).toDouble();
    // The drawing is wider than tall: A4 lies on its side.
    QVERIFY2(std::abs(W - 842) < 2 && std::abs(H - 595) < 2, qPrintable(QString("%1 x %2").arg(W).arg(H)));
    QVERIFY(!Pdf.contains("/Subtype /Image"));
    QVERIFY(!qdExportPdf(*Img, "/nonexistent/dir/a.pdf", Why));
    QVERIFY(Why.contains("No such file or directory"));
  }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
