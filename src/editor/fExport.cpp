#include "fExport.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>
#include <cmath>

#include "CADImage.h"
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
  if (!qdExportLayout(AImg, Name, W, H, Why)) {
    QMessageBox::warning(AParent, "Export", "The picture was not written: " + Why);
    return false;
  }
  AFolder = QFileInfo(Name).absolutePath();
  return true;
}

void qdPrintLayout(TqdCADImage& AImg, QPrinter& APrinter) {
  const QRect R = APrinter.pageLayout().paintRectPixels(APrinter.resolution());
  if (R.width() < 1 || R.height() < 1) return;
  QPainter P(&APrinter);
  if (!P.isActive()) return;
  // The printable area's origin: the painter of a printer starts there already.
  TqdQtCanvas C(P);
  qdPaintFitted(AImg, C, R.width(), R.height());
}

void qdPrintDialog(QWidget* AParent, TqdCADImage& AImg) {
  QPrinter Printer(QPrinter::HighResolution);
  const double AW = AImg.AbsWidth(), AH = AImg.AbsHeight();
  if (AW > 0 && AH > 0 && AW > AH) Printer.setPageOrientation(QPageLayout::Landscape);
  QPrintPreviewDialog D(&Printer, AParent);
  D.setWindowTitle("Print");
  QObject::connect(&D, &QPrintPreviewDialog::paintRequested, &D, [&AImg](QPrinter* Pr) { qdPrintLayout(AImg, *Pr); });
  D.exec();
}
