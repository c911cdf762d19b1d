#include "fPreview.h"

#include <QFont>
#include <algorithm>
#include <cmath>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CADImage.h"
#include "qdBlockLibrary.h"
#include "qdDrawingNavigator.h"
#include "qdSManager.h"

TfmPreview::TfmPreview(QWidget* Parent) : QDialog(Parent) {
  setObjectName("fmPreview");
  setWindowTitle("Preview selected entities");
  resize(300, 349);
  auto* V = new QVBoxLayout(this);
  V->setContentsMargins(0, 0, 0, 0);
  V->setSpacing(0);
  pnlNavigator = new QWidget(this);
  pnlNavigator->setObjectName("pnlNavigator");
  auto* NV = new QVBoxLayout(pnlNavigator);
  NV->setContentsMargins(0, 0, 0, 0);
  FDNavigator = new TqdDrawingNavigator(pnlNavigator);
  FDNavigator->setObjectName("FDNavigator");
  FDNavigator->SetAutoFocus(true);
  FDNavigator->SetRectZooming(true);
  FDNavigator->SetRefitOnResize(true);
  NV->addWidget(FDNavigator);
  V->addWidget(pnlNavigator, 1);
  pnlButton = new QWidget(this);
  pnlButton->setObjectName("pnlButton");
  pnlButton->setFixedHeight(41);
  btnCancel = new QPushButton("Close", pnlButton);
  btnCancel->setObjectName("btnCancel");
  Label1 = new QLabel("Only the selected entities; blocks, styles and linetypes they use may be missing", pnlButton);
  Label1->setObjectName("Label1");
  QFont F("Arial");
  F.setPointSize(7);
  Label1->setFont(F);
  Label1->setAlignment(Qt::AlignCenter);
  V->addWidget(pnlButton);
  connect(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
}

void TfmPreview::resizeEvent(QResizeEvent* E) {
  QDialog::resizeEvent(E);
  // The Close button stays centred; the label takes the bottom line.
  btnCancel->move(width() / 2 - btnCancel->width() / 2, 2);
  Label1->setGeometry(0, pnlButton->height() - 14, pnlButton->width(), 14);
}

bool TfmPreview::FillImage(TqdSelectionManager* Manager, const TqdCADImage* Image) {
  FSManager = Manager;
  if (!Manager || Manager->Entities().empty()) return false;
  auto Img = std::make_unique<TqdCADImage>();
  TqdDXFConverter* C = Img->Converter();
  TqdDXFBlock* Model = C ? C->ModelSpace() : nullptr;
  TqdDXFLayout* L = C ? C->GetLayout(0) : nullptr;
  if (!Model || !L) return false;
  TFRect Box = cnstBadRect;
  for (const TqdDXFEntity* E : Manager->Entities()) {
    std::unique_ptr<TqdDXFEntity> Copy = qdCopyEntity(*E);
    TqdDXFEntity* Raw = Copy.get();
    C->DoCreate(Raw);
    if (Model->AddEntity(std::move(Copy)) < 0) continue;
    C->Loads(Raw);
    UnionBoxes(Box, Raw->Box());
  }
  L->SetBox(Box);
  // The window takes the selection's shape: its longer side 480 pixels, the
  // other at least 160 high and 300 wide (the caption's width).
  const double BW = Box.Right - Box.Left, BH = Box.Top - Box.Bottom;
  if (BW >= 0 && BH >= 0 && BW + BH > 0 && std::isfinite(BW + BH)) {
    constexpr int cnstLong = 480;
    const int W = BW >= BH ? cnstLong : static_cast<int>(cnstLong * BW / BH);
    const int H = BW >= BH ? static_cast<int>(cnstLong * BH / BW) : cnstLong;
    resize(std::max(300, W), std::max(160, H) + pnlButton->height());
  }
  if (Image) Img->SetBackgroundColor(Image->BackgroundColor());
  Img->SetCurrentLayout(C->GetLayout(0), 0);
  Img->GetExtents();
  FDNavigator->LoadFromConverter(std::move(Img));
  FDNavigator->FitToSize();
  return true;
}
