#include "fLayers.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "DXFConv.h"
#include "TableItems.h"

namespace {

const char* const cnstColorNames[] = {"ByBlock", "Red", "Yellow", "Green", "Cyan", "Blue", "Magenta", "White"};

QIcon Swatch(const TqdColorCAD& C) {
  QPixmap Pm(12, 12);
  const std::uint32_t V =
      C.Active == acRGBColor ? C.Color : ACIPaletteColor(std::clamp(std::abs(C.IndexValue()), 1, 255));
  Pm.fill(QColor(GetRValue(V), GetGValue(V), GetBValue(V)));
  QPainter P(&Pm);
  P.setPen(Qt::gray);
  P.drawRect(0, 0, 11, 11);
  return QIcon(Pm);
}

}  // namespace

QString qdLineWeightText(double MM) {
  if (MM == cnstLWByLayer) return "ByLayer";
  if (MM == cnstLWByBlock) return "ByBlock";
  if (MM < 0) return "Default";
  return QString::number(MM, 'f', 2) + " mm";
}

QString qdColorText(const TqdColorCAD& C) {
  if (C.Active == acRGBColor)
    return QString("RGB %1,%2,%3").arg(GetRValue(C.Color)).arg(GetGValue(C.Color)).arg(GetBValue(C.Color));
  const int I = std::abs(C.IndexValue());
  if (I == clByLayer) return "ByLayer";
  if (I >= 0 && I <= 7) return cnstColorNames[I];
  return QString("Index %1").arg(I);
}

TfmLayers::TfmLayers(QWidget* Parent) : QDockWidget("Layers", Parent) {
  setObjectName("fmLayers");
  auto* Body = new QWidget(this);
  auto* V = new QVBoxLayout(Body);
  V->setContentsMargins(2, 2, 2, 2);
  auto* Buttons = new QHBoxLayout;
  btnAllOn = new QToolButton(Body);
  btnAllOn->setObjectName("btnAllOn");
  btnAllOn->setText("All on");
  btnAllOn->setToolTip("Switch every layer on and thaw it");
  btnIsolate = new QToolButton(Body);
  btnIsolate->setObjectName("btnIsolate");
  btnIsolate->setText("Isolate");
  btnIsolate->setToolTip("Only the layer of the selected entity stays on");
  Buttons->addWidget(btnAllOn);
  Buttons->addWidget(btnIsolate);
  Buttons->addStretch(1);
  V->addLayout(Buttons);
  tblLayers = new QTableWidget(0, colCount, Body);
  tblLayers->setObjectName("tblLayers");
  tblLayers->setHorizontalHeaderLabels({"On", "Frozen", "Locked", "Name", "Colour", "Linetype", "Line weight"});
  tblLayers->verticalHeader()->hide();
  tblLayers->verticalHeader()->setDefaultSectionSize(20);
  tblLayers->setSelectionMode(QAbstractItemView::SingleSelection);
  tblLayers->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblLayers->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int C : {colOn, colFrozen, colLocked}) tblLayers->horizontalHeader()->setSectionResizeMode(C, QHeaderView::ResizeToContents);
  tblLayers->horizontalHeader()->setStretchLastSection(true);
  V->addWidget(tblLayers, 1);
  setWidget(Body);
  connect(btnAllOn, &QToolButton::clicked, this, [this] { AllOn(); });
  connect(btnIsolate, &QToolButton::clicked, this, [this] { Isolate(); });
  // A click anywhere in a toggle's cell flips it: the cell is the button.
  connect(tblLayers, &QTableWidget::cellClicked, this, [this](int Row, int Col) {
    if (Col == colOn || Col == colFrozen || Col == colLocked) Toggle(Row, Col);
  });
}

void TfmLayers::Load(TqdDXFConverter* C) {
  FConverter = C;
  FLayers.clear();
  if (const TqdDXFEntity* T = C ? C->GetSection(csLayers) : nullptr)
    for (int K = 0; K < T->Count(); ++K)
      if (auto* L = dynamic_cast<TqdDXFLayer*>(T->GetEntity(K))) FLayers.push_back(L);
  std::stable_sort(FLayers.begin(), FLayers.end(), [](const TqdDXFLayer* A, const TqdDXFLayer* B) {
    return QString::fromStdString(A->Name()).compare(QString::fromStdString(B->Name()), Qt::CaseInsensitive) < 0;
  });
  FFilling = true;
  tblLayers->clearContents();
  tblLayers->setRowCount(static_cast<int>(FLayers.size()));
  for (int R = 0; R < LayerCount(); ++R) FillRow(R);
  FFilling = false;
  tblLayers->resizeColumnToContents(colName);
}

void TfmLayers::Reload() {
  for (int R = 0; R < LayerCount(); ++R) FillRow(R);
}

TqdDXFLayer* TfmLayers::Layer(int Row) const {
  return Row >= 0 && Row < LayerCount() ? FLayers[static_cast<std::size_t>(Row)] : nullptr;
}

int TfmLayers::RowOf(const QString& Name) const {
  for (int R = 0; R < LayerCount(); ++R)
    if (QString::fromStdString(FLayers[static_cast<std::size_t>(R)]->Name()).compare(Name, Qt::CaseInsensitive) == 0)
      return R;
  return -1;
}

QRect TfmLayers::ToggleRect(int Row, int Col) const {
  const QTableWidgetItem* I = tblLayers->item(Row, Col);
  return I ? tblLayers->visualItemRect(I) : QRect();
}

void TfmLayers::FillRow(int Row) {
  const TqdDXFLayer* L = Layer(Row);
  if (!L) return;
  auto Cell = [&](int Col) {
    QTableWidgetItem* I = tblLayers->item(Row, Col);
    if (!I) {
      I = new QTableWidgetItem;
      I->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      tblLayers->setItem(Row, Col, I);
    }
    return I;
  };
  auto Check = [&](int Col, bool V, const char* Hint) {
    QTableWidgetItem* I = Cell(Col);
    I->setCheckState(V ? Qt::Checked : Qt::Unchecked);
    I->setToolTip(Hint);
  };
  Check(colOn, L->Visible(), "On: shown and selectable");
  Check(colFrozen, L->Frozen(), "Frozen: neither shown nor selectable");
  Check(colLocked, L->Locked(), "Locked: shown, but its entities cannot be changed");
  Cell(colName)->setText(QString::fromStdString(L->Name()));
  Cell(colColor)->setText(qdColorText(L->ColorCAD()));
  Cell(colColor)->setIcon(Swatch(L->ColorCAD()));
  const TqdDXFLineType* T = L->LineType();
  Cell(colLineType)->setText(T ? QString::fromStdString(T->Name()) : QString("Continuous"));
  Cell(colLineWeight)->setText(qdLineWeightText(L->LineWeight()));
}

void TfmLayers::Toggle(int Row, int Col) {
  TqdDXFLayer* L = Layer(Row);
  if (!L || !OnChangeLayers) return;
  const TqdLayerState Old = TqdLayerState::Of(*L);
  TqdLayerState New = Old;
  QString What;
  if (Col == colOn) {
    New.On = !Old.On;
    What = New.On ? "Layer on" : "Layer off";
  } else if (Col == colFrozen) {
    New.Frozen = !Old.Frozen;
    What = New.Frozen ? "Freeze layer" : "Thaw layer";
  } else if (Col == colLocked) {
    New.Locked = !Old.Locked;
    What = New.Locked ? "Lock layer" : "Unlock layer";
  } else {
    return;
  }
  OnChangeLayers({{L, Old, New}}, What + " " + QString::fromStdString(L->Name()));
}

void TfmLayers::AllOn() {
  std::vector<TqdLayerEdit::TChange> Changes;
  for (TqdDXFLayer* L : FLayers) {
    const TqdLayerState Old = TqdLayerState::Of(*L);
    TqdLayerState New = Old;
    New.On = true;
    New.Frozen = false;
    if (!(New == Old)) Changes.push_back({L, Old, New});
  }
  if (!Changes.empty() && OnChangeLayers) OnChangeLayers(std::move(Changes), "All layers on");
}

void TfmLayers::Isolate() {
  TqdDXFLayer* Keep = OnSelectedLayer ? OnSelectedLayer() : nullptr;
  if (!Keep) return;
  std::vector<TqdLayerEdit::TChange> Changes;
  for (TqdDXFLayer* L : FLayers) {
    const TqdLayerState Old = TqdLayerState::Of(*L);
    TqdLayerState New = Old;
    New.On = L == Keep;
    if (L == Keep) New.Frozen = false;
    if (!(New == Old)) Changes.push_back({L, Old, New});
  }
  if (!Changes.empty() && OnChangeLayers)
    OnChangeLayers(std::move(Changes), "Isolate layer " + QString::fromStdString(Keep->Name()));
}
