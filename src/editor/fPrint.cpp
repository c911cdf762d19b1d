#include "fPrint.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "CADImage.h"
#include "Objects.h"
#include "fExport.h"
#include "qdQtCanvas.h"

namespace {

TFRect Normal(const TFRect& R) {
  TFRect N = R;
  N.Left = std::min(R.Left, R.Right), N.Right = std::max(R.Left, R.Right);
  // Top is the larger Y: drawings grow upwards.
  N.Top = std::max(R.Top, R.Bottom), N.Bottom = std::min(R.Top, R.Bottom);
  return N;
}

struct TPaper {
  const char* Name;
  QPageSize::PageSizeId Id;
};
const TPaper cnstPapers[] = {{"A4", QPageSize::A4}, {"A3", QPageSize::A3}, {"A2", QPageSize::A2},
                             {"A1", QPageSize::A1}, {"A0", QPageSize::A0}, {"Letter", QPageSize::Letter},
                             {"Tabloid", QPageSize::Tabloid}};

}  // namespace

bool qdPrintScaled(TqdCADImage& AImg, QPrinter& APrinter, const TqdPrintOptions& O) {
  const QRect R = APrinter.pageLayout().paintRectPixels(APrinter.resolution());
  if (R.width() < 1 || R.height() < 1) return false;
  const TFRect Ext = Normal(AImg.Extents());
  const TFRect Area = IsBadBox(O.Area) ? Ext : Normal(O.Area);
  const double AW = Area.Right - Area.Left, AH = Area.Top - Area.Bottom;
  const double EW = Ext.Right - Ext.Left, EH = Ext.Top - Ext.Bottom;
  if (!(EW > 0) || !(EH > 0) || !(AW > 0) || !(AH > 0)) return false;
  // Device pixels per drawing unit.
  const double PerMM = APrinter.resolution() / 25.4;
  const double K = O.UnitsPerMM > 0 ? PerMM / O.UnitsPerMM : std::min(R.width() / AW, R.height() / AH);
  if (!(K > 0) || !std::isfinite(K) || EW * K > 1e9 || EH * K > 1e9) return false;
  const double OffX = O.Centre ? (R.width() - AW * K) / 2 : 0, OffY = O.Centre ? (R.height() - AH * K) / 2 : 0;
  // Where the whole extents land, so that the area sits at the offset.
  const double L = OffX - (Area.Left - Ext.Left) * K, T = OffY - (Ext.Top - Area.Top) * K;
  QPainter P(&APrinter);
  if (!P.isActive()) return false;
  P.setClipRect(QRect(0, 0, R.width(), R.height()));
  // Black and white: black ink on white paper whatever the view shows; the
  // image's own settings come back afterwards.
  const TqdDXFDrawMode Mode = AImg.DrawMode();
  const TqdDeviceColor Paper = AImg.BackgroundColor(), Ink = AImg.DefaultColor();
  if (O.BlackAndWhite) {
    AImg.SetDrawMode(dmBlack);
    AImg.SetBackgroundColor(0xFFFFFF);
    AImg.SetDefaultColor(0);
  }
  TqdQtCanvas C(P);
  C.SetBrush({AImg.BackgroundColor(), bsSolid});
  C.FillRect({0, 0, R.width(), R.height()});
  AImg.Draw(C, {static_cast<int>(std::lround(L)), static_cast<int>(std::lround(T)),
                static_cast<int>(std::lround(L + EW * K)), static_cast<int>(std::lround(T + EH * K))});
  qdPaintTextLayer(AImg, P);
  if (O.BlackAndWhite) {
    AImg.SetDrawMode(Mode);
    AImg.SetBackgroundColor(Paper);
    AImg.SetDefaultColor(Ink);
  }
  return true;
}

TfmPrint::TfmPrint(TqdCADImage& AImg, const TFRect& View, QWidget* Parent) : QDialog(Parent), FImg(AImg), FView(View) {
  setObjectName("fmPrint");
  setWindowTitle("Print");
  auto* F = new QFormLayout(this);
  cbPaper = new QComboBox(this);
  cbPaper->addItem("Layout's paper");
  for (const TPaper& P : cnstPapers) cbPaper->addItem(P.Name);
  cbOrientation = new QComboBox(this);
  cbOrientation->addItems({"Portrait", "Landscape"});
  cbOrientation->setCurrentIndex(qdLayoutPage(AImg).orientation() == QPageLayout::Landscape ? 1 : 0);
  cbScale = new QComboBox(this);
  cbScale->addItems({"Fit to paper", "1:1", "1:50", "1:100", "Custom"});
  edtUnitsPerMM = new QDoubleSpinBox(this);
  edtUnitsPerMM->setRange(1e-6, 1e9);
  edtUnitsPerMM->setDecimals(6);
  edtUnitsPerMM->setValue(1);
  edtUnitsPerMM->setSuffix(" units : 1 mm");
  edtUnitsPerMM->setEnabled(false);
  cbArea = new QComboBox(this);
  cbArea->addItems({"Extents", "Current view"});
  FPaper = qdLayoutPaperArea(AImg);
  if (!IsBadBox(FPaper)) cbArea->addItem("Layout's paper");
  chkCentre = new QCheckBox("Centre on the paper", this);
  chkCentre->setChecked(true);
  chkBlackAndWhite = new QCheckBox("Black and white", this);
  F->addRow("Paper", cbPaper);
  F->addRow("Orientation", cbOrientation);
  F->addRow("Scale", cbScale);
  F->addRow("Custom scale", edtUnitsPerMM);
  F->addRow("Area", cbArea);
  F->addRow(chkCentre);
  F->addRow(chkBlackAndWhite);
  auto* B = new QDialogButtonBox(this);
  QPushButton* PreviewButton = B->addButton("Preview...", QDialogButtonBox::ActionRole);
  B->addButton("Print...", QDialogButtonBox::AcceptRole);
  B->addButton(QDialogButtonBox::Cancel);
  F->addRow(B);
  connect(cbScale, &QComboBox::currentIndexChanged, this, [this](int I) { edtUnitsPerMM->setEnabled(I == 4); });
  connect(PreviewButton, &QPushButton::clicked, this, [this] { Preview(); });
  connect(B, &QDialogButtonBox::accepted, this, [this] {
    QPrinter Printer(QPrinter::HighResolution);
    Printer.setPageLayout(PageLayout());
    QPrintDialog D(&Printer, this);
    if (D.exec() == QDialog::Accepted && PrintTo(Printer)) accept();
  });
  connect(B, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TFRect qdLayoutPaperArea(const TqdCADImage& AImg) {
  const TqdDXFLayout* L = AImg.CurrentLayout();
  const TqdDXFPlotSettings* S = L && !L->IsModel() ? L->PlotSettings() : nullptr;
  if (!S || !(S->FData.PlotPaperSize.X > 0) || !(S->FData.PlotPaperSize.Y > 0)) return cnstBadRect;
  TFRect R = S->PlotPaperArea();
  NormalizeBox(R);
  if (!IsFiniteBox(R) || !(R.Right > R.Left) || !(R.Top > R.Bottom)) return cnstBadRect;
  return R;
}

TqdPrintOptions TfmPrint::Options() const {
  TqdPrintOptions O;
  const double Ratios[] = {0, 1, 50, 100};
  const int S = cbScale->currentIndex();
  O.UnitsPerMM = S >= 0 && S < 4 ? Ratios[S] : edtUnitsPerMM->value();
  if (cbArea->currentIndex() == 1) O.Area = FView;
  if (cbArea->currentIndex() == 2) O.Area = FPaper;
  O.Centre = chkCentre->isChecked();
  O.BlackAndWhite = chkBlackAndWhite->isChecked();
  return O;
}

QPageLayout TfmPrint::PageLayout() const {
  QPageLayout L = qdLayoutPage(FImg);
  const int P = cbPaper->currentIndex();
  if (P >= 1) L.setPageSize(QPageSize(cnstPapers[P - 1].Id));
  L.setOrientation(cbOrientation->currentIndex() == 1 ? QPageLayout::Landscape : QPageLayout::Portrait);
  return L;
}

bool TfmPrint::PrintTo(QPrinter& APrinter) {
  // The paper chosen here wins over what a printer dialog left.
  APrinter.setPageLayout(PageLayout());
  return qdPrintScaled(FImg, APrinter, Options());
}

void TfmPrint::Preview() {
  // At the screen's resolution: a hairline is one device pixel, and the preview
  // scales its page down, so at printer resolution hairlines faded to nothing.
  QPrinter Printer(QPrinter::ScreenResolution);
  Printer.setPageLayout(PageLayout());
  QPrintPreviewDialog D(&Printer, this);
  D.setWindowTitle("Print preview");
  connect(&D, &QPrintPreviewDialog::paintRequested, &D, [this](QPrinter* Pr) { qdPrintScaled(FImg, *Pr, Options()); });
  D.exec();
}
