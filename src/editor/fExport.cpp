#include "fExport.h"

#include <QFileDialog>
#include <QFont>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>
#include <cmath>

#include "CADImage.h"
#include "Objects.h"
#include "fFind.h"
#include "qdSManager.h"
#include "qdExport.h"
#include "qdQtCanvas.h"

namespace {

// The exported picture: 1600 pixels along the longer side of the extents.
void PictureSize(const TqdCADImage& AImg, int& W, int& H) {
  const double AW = AImg.AbsWidth(), AH = AImg.AbsHeight();
  W = 1600;
  H = 1200;
  if (!(AW > 0) || !(AH > 0) || !std::isfinite(AW / AH)) return;
  const double R = std::clamp(AH / AW, 1.0 / 16, 16.0);
  if (R <= 1) H = std::max(1, static_cast<int>(std::lround(1600 * R)));
  else W = std::max(1, static_cast<int>(std::lround(1600 / R))), H = 1600;
}

}  // namespace

QPageLayout qdLayoutPage(const TqdCADImage& AImg) {
  // A4 unless the layout names its paper.
  double W = 210, H = 297;
  if (const TqdDXFLayout* L = AImg.CurrentLayout(); L && L->PlotSettings()) {
    const TqdDXFPlotSettings& S = *L->PlotSettings();
    const double K = S.PlotPaperUnits() == ppuInches ? 25.4 : S.PlotPaperUnits() == ppuMM ? 1 : 0;
    const double PW = S.FData.PlotPaperSize.X * K, PH = S.FData.PlotPaperSize.Y * K;
    // Paper from 1 cm to 5 m a side; anything else is no paper size.
    if (std::isfinite(PW) && std::isfinite(PH) && PW >= 10 && PH >= 10 && PW <= 5000 && PH <= 5000)
      W = std::min(PW, PH), H = std::max(PW, PH);
  }
  const double AW = AImg.AbsWidth(), AH = AImg.AbsHeight();
  const bool Landscape = AW > 0 && AH > 0 && AW > AH;
  return QPageLayout(QPageSize(QSizeF(W, H), QPageSize::Millimeter), Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
}

bool qdExportPdf(TqdCADImage& AImg, const QString& AFileName, QString& AError) {
  QPrinter Printer(QPrinter::HighResolution);
  Printer.setOutputFormat(QPrinter::PdfFormat);
  Printer.setOutputFileName(AFileName);
  Printer.setCreator("Draftwell");
  Printer.setPageLayout(qdLayoutPage(AImg));
  // The same drawing as the printer gets: what the print preview shows.
  if (!qdPrintLayout(AImg, Printer)) {
    std::string Why;
    qdWritePicture(AImg, AFileName.toStdString(), 16, 16, Why);
    AError = QString::fromStdString(Why.empty() ? "cannot write '" + AFileName.toStdString() + "'" : Why);
    return false;
  }
  return true;
}

bool qdExportLayout(TqdCADImage& AImg, const QString& AFileName, int AWidth, int AHeight, QString& AError) {
  std::string Why;
  if (qdWritePicture(AImg, AFileName.toStdString(), AWidth, AHeight, Why)) return true;
  AError = QString::fromStdString(Why);
  return false;
}

bool qdExportDialog(QWidget* AParent, TqdCADImage& AImg, QString& AFolder) {
  QString Selected;
  QString Name = QFileDialog::getSaveFileName(AParent, "Export", AFolder,
                                              "PNG picture (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)",
                                              &Selected);
  if (Name.isEmpty()) return false;
  // A name without one of the three extensions takes the one of the chosen filter.
  if (qdPictureKindOf(Name.toStdString()) == pkNone) {
    if (Selected.contains("*.svg")) Name += ".svg";
    else if (Selected.contains("*.pdf")) Name += ".pdf";
    else Name += ".png";
  }
  int W, H;
  PictureSize(AImg, W, H);
  QString Why;
  const bool Pdf = qdPictureKindOf(Name.toStdString()) == pkPDF;
  if (Pdf ? !qdExportPdf(AImg, Name, Why) : !qdExportLayout(AImg, Name, W, H, Why)) {
    QMessageBox::warning(AParent, "Export", "The picture was not written: " + Why);
    return false;
  }
  AFolder = QFileInfo(Name).absolutePath();
  return true;
}

bool qdPrintLayout(TqdCADImage& AImg, QPrinter& APrinter) {
  const QRect R = APrinter.pageLayout().paintRectPixels(APrinter.resolution());
  if (R.width() < 1 || R.height() < 1) return false;
  QPainter P(&APrinter);
  if (!P.isActive()) return false;
  // The printable area's origin: the painter of a printer starts there already.
  TqdQtCanvas C(P);
  qdPaintFitted(AImg, C, R.width(), R.height());
  qdPaintTextLayer(AImg, P);
  return true;
}

void qdPaintTextLayer(TqdCADImage& AImg, QPainter& P) {
  const TqdDXFLayout* Layout = AImg.CurrentLayout();
  if (!Layout || !P.isActive()) return;
  P.save();
  P.setPen(QColor(0, 0, 0, 0));
  P.setBrush(Qt::NoBrush);
  for (const TqdTextHit& H : qdLayoutTexts(Layout)) {
    if (!qdLayerShown(H.Entity)) continue;
    const TFRect B = H.Entity->Box();
    if (IsBadBox(B) || !IsFiniteBox(B)) continue;
    // The box on the page, whatever the view's rotation.
    double L = 1e300, T = 1e300, R = -1e300, Bo = -1e300;
    for (double X : {B.Left, B.Right})
      for (double Y : {B.Top, B.Bottom}) {
        const TqdPoint Q = AImg.GetPoint({X, Y, (B.Z1 + B.Z2) / 2});
        L = std::min(L, double(Q.X)), R = std::max(R, double(Q.X));
        T = std::min(T, double(Q.Y)), Bo = std::max(Bo, double(Q.Y));
      }
    const QRectF Box(L, T, std::max(1.0, R - L), std::max(1.0, Bo - T));
    if (Box.width() > 1e6 || Box.height() > 1e6) continue;
    const QStringList Lines = H.Text.split('\n');
    QFont F = P.font();
    F.setPixelSize(std::max(1, int(Box.height() / std::max<qsizetype>(1, Lines.size()) * 0.8)));
    P.setFont(F);
    P.drawText(Box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, H.Text);
  }
  P.restore();
}

void qdPrintDialog(QWidget* AParent, TqdCADImage& AImg) {
  QPrinter Printer(QPrinter::HighResolution);
  // The page an exported PDF gets: preview, print and PDF show the same.
  Printer.setPageLayout(qdLayoutPage(AImg));
  QPrintPreviewDialog D(&Printer, AParent);
  D.setWindowTitle("Print");
  QObject::connect(&D, &QPrintPreviewDialog::paintRequested, &D, [&AImg](QPrinter* Pr) { qdPrintLayout(AImg, *Pr); });
  D.exec();
}
