#include "fLayers.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "DXFConv.h"
#include "Objects.h"
#include "TableItems.h"

namespace {

const char* const cnstColorNames[] = {"ByBlock", "Red", "Yellow", "Green", "Cyan", "Blue", "Magenta", "White"};
// The standard line weights in millimetres, after "Default".
const double cnstLineWeights[] = {0.00, 0.05, 0.09, 0.13, 0.15, 0.18, 0.20, 0.25, 0.30, 0.35, 0.40, 0.50,
                                  0.53, 0.60, 0.70, 0.80, 0.90, 1.00, 1.06, 1.20, 1.40, 1.58, 2.00, 2.11};

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
  tblLayers->setHorizontalHeaderLabels(
      {"On", "Frozen", "Locked", "Name", "Colour", "Linetype", "Line weight", "Frozen in viewport"});
  tblLayers->setColumnHidden(colVPFrozen, true);
  tblLayers->verticalHeader()->hide();
  tblLayers->verticalHeader()->setDefaultSectionSize(20);
  tblLayers->setSelectionMode(QAbstractItemView::SingleSelection);
  tblLayers->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblLayers->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int C : {colOn, colFrozen, colLocked}) tblLayers->horizontalHeader()->setSectionResizeMode(C, QHeaderView::ResizeToContents);
  tblLayers->horizontalHeader()->setStretchLastSection(true);
  V->addWidget(tblLayers, 1);
  lblViewport = new QLabel(Body);
  lblViewport->setObjectName("lblViewport");
  lblViewport->setWordWrap(true);
  lblViewport->hide();
  V->addWidget(lblViewport);
  setWidget(Body);
  OnExecMenu = [](QMenu& M, const QPoint& At) { return M.exec(At); };
  OnAskColorIndex = [this](int Current) -> std::optional<int> {
    bool Ok = false;
    const int I = QInputDialog::getInt(this, "Layer colour", "Colour index (1 to 255):", Current, 1, 255, 1, &Ok);
    return Ok ? std::optional<int>(I) : std::nullopt;
  };
  OnAskTrueColor = [this](std::uint32_t Current) -> std::optional<std::uint32_t> {
    const QColor C = QColorDialog::getColor(QColor(GetRValue(Current), GetGValue(Current), GetBValue(Current)), this,
                                            "Layer colour");
    if (!C.isValid()) return std::nullopt;
    return std::uint32_t(C.red()) | std::uint32_t(C.green()) << 8 | std::uint32_t(C.blue()) << 16;
  };
  connect(btnAllOn, &QToolButton::clicked, this, [this] { AllOn(); });
  connect(btnIsolate, &QToolButton::clicked, this, [this] { Isolate(); });
  // A click anywhere in a toggle's cell flips it: the cell is the button.
  connect(tblLayers, &QTableWidget::cellClicked, this, [this](int Row, int Col) {
    switch (Col) {
      case colOn:
      case colFrozen:
      case colLocked:
      case colVPFrozen: Toggle(Row, Col); break;
      case colColor: EditColor(Row); break;
      case colLineType: EditLineType(Row); break;
      case colLineWeight: EditLineWeight(Row); break;
      default: break;
    }
  });
}

void TfmLayers::Load(TqdDXFConverter* C) {
  FConverter = C;
  FLayers.clear();
  ShowViewport(nullptr);
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
  for (int Col : {colColor, colLineType, colLineWeight}) Cell(Col)->setToolTip("Click to change");
  if (FViewport) {
    const auto& F = FViewport->FrozenLayers();
    Check(colVPFrozen, std::find(F.begin(), F.end(), L->Handle()) != F.end(),
          "Frozen in the selected viewport only");
  }
}

void TfmLayers::ShowViewport(TqdDXFViewport* VP) {
  if (VP == FViewport && (VP != nullptr) == !tblLayers->isColumnHidden(colVPFrozen)) {
    if (VP) Reload();
    return;
  }
  FViewport = VP;
  tblLayers->setColumnHidden(colVPFrozen, !VP);
  lblViewport->setVisible(VP != nullptr);
  if (VP)
    lblViewport->setText(QString("Viewport %1: its own frozen layers are checked in the last column")
                             .arg(QString::number(VP->Handle(), 16).toUpper()));
  Reload();
}

QAction* TfmLayers::ExecAtCell(QMenu& M, int Row, int Col) {
  const QTableWidgetItem* I = tblLayers->item(Row, Col);
  const QRect R = I ? tblLayers->visualItemRect(I) : QRect();
  const QPoint At = tblLayers->viewport()->mapToGlobal(R.bottomLeft());
  return OnExecMenu ? OnExecMenu(M, At) : nullptr;
}

void TfmLayers::Change(TqdDXFLayer* L, const TqdLayerState& New, const QString& What) {
  const TqdLayerState Old = TqdLayerState::Of(*L);
  if (New == Old || !OnChangeLayers) return;
  OnChangeLayers({{L, Old, New}}, What + " of layer " + QString::fromStdString(L->Name()));
}

void TfmLayers::EditColor(int Row) {
  TqdDXFLayer* L = Layer(Row);
  if (!L) return;
  const TqdColorCAD Now = L->ColorCAD();
  QMenu M(this);
  M.setObjectName("mnuLayerColor");
  const char* const Names[] = {"Red", "Yellow", "Green", "Cyan", "Blue", "Magenta", "White", "Grey", "Light grey"};
  for (int I = 1; I <= 9; ++I) {
    QAction* A = M.addAction(Swatch(TqdColorCAD::Index(I)), Names[I - 1]);
    A->setData(I);
    A->setCheckable(true);
    A->setChecked(Now.Active == acIndexColor && std::abs(Now.IndexValue()) == I);
  }
  M.addSeparator();
  QAction* Other = M.addAction("Index colour...");
  QAction* True = M.addAction("True colour...");
  QAction* Chosen = ExecAtCell(M, Row, colColor);
  if (!Chosen) return;
  TqdLayerState New = TqdLayerState::Of(*L);
  if (Chosen == Other) {
    const std::optional<int> I = OnAskColorIndex ? OnAskColorIndex(std::clamp(std::abs(Now.IndexValue()), 1, 255))
                                                 : std::nullopt;
    if (!I || *I < 1 || *I > 255) return;
    New.Color = TqdColorCAD::Index(*I);
  } else if (Chosen == True) {
    const std::uint32_t Cur = Now.Active == acRGBColor ? Now.Color : ACIPaletteColor(std::clamp(std::abs(Now.IndexValue()), 1, 255));
    const std::optional<std::uint32_t> C = OnAskTrueColor ? OnAskTrueColor(Cur) : std::nullopt;
    if (!C) return;
    New.Color = TqdColorCAD::RGB(*C);
  } else {
    New.Color = TqdColorCAD::Index(Chosen->data().toInt());
  }
  Change(L, New, "Colour");
}

void TfmLayers::EditLineType(int Row) {
  TqdDXFLayer* L = Layer(Row);
  const TqdDXFEntity* T = FConverter ? FConverter->GetSection(csLTypes) : nullptr;
  if (!L || !T) return;
  QMenu M(this);
  M.setObjectName("mnuLayerLineType");
  // A layer draws with a pattern of its own: BYLAYER and BYBLOCK are for entities.
  for (int K = 0; K < T->Count(); ++K) {
    auto* LT = dynamic_cast<TqdDXFLineType*>(T->GetEntity(K));
    if (!LT) continue;
    const QString Name = QString::fromStdString(LT->Name());
    if (Name.compare("BYLAYER", Qt::CaseInsensitive) == 0 || Name.compare("BYBLOCK", Qt::CaseInsensitive) == 0) continue;
    QAction* A = M.addAction(Name);
    A->setData(K);
    A->setCheckable(true);
    A->setChecked(LT == L->LineType());
  }
  QAction* Chosen = ExecAtCell(M, Row, colLineType);
  if (!Chosen) return;
  auto* LT = dynamic_cast<TqdDXFLineType*>(T->GetEntity(Chosen->data().toInt()));
  if (!LT) return;
  TqdLayerState New = TqdLayerState::Of(*L);
  New.LineType = LT;
  Change(L, New, "Linetype");
}

void TfmLayers::EditLineWeight(int Row) {
  TqdDXFLayer* L = Layer(Row);
  if (!L) return;
  QMenu M(this);
  M.setObjectName("mnuLayerLineWeight");
  auto Add = [&](double MM) {
    QAction* A = M.addAction(qdLineWeightText(MM));
    A->setData(MM);
    A->setCheckable(true);
    A->setChecked(std::abs(L->LineWeight() - MM) < 1e-9);
  };
  Add(cnstLWDefault);
  for (double MM : cnstLineWeights) Add(MM);
  QAction* Chosen = ExecAtCell(M, Row, colLineWeight);
  if (!Chosen) return;
  TqdLayerState New = TqdLayerState::Of(*L);
  New.LineWeight = Chosen->data().toDouble();
  Change(L, New, "Line weight");
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
  } else if (Col == colVPFrozen && FViewport) {
    std::vector<std::uint64_t> Before = FViewport->FrozenLayers(), After = Before;
    const auto It = std::find(After.begin(), After.end(), L->Handle());
    const bool Freeze = It == After.end();
    if (Freeze)
      After.push_back(L->Handle());
    else
      After.erase(It);
    if (OnChangeViewportLayers)
      OnChangeViewportLayers(FViewport, std::move(Before), std::move(After),
                             QString(Freeze ? "Freeze layer %1 in viewport" : "Thaw layer %1 in viewport")
                                 .arg(QString::fromStdString(L->Name())));
    return;
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
