#include "fEntityInspector.h"

#include "qdFunction.h"

#include <QAbstractListModel>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QWheelEvent>
#include <functional>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "CADImage.h"
#include "Curves.h"
#include "Dimensions.h"
#include "Inserts.h"
#include "Polylines.h"
#include "Properties.h"
#include "TableItems.h"
#include "qdDrawingNavigator.h"
#include "qdXMLParser.h"

// ---------------------------------------------------------------- entity list

// The entities of a layout sorted by their property name ("Line", "Circle"):
// a plain model over pointers, so that a drawing of half a million entities
// lists in a blink.
class TEntityListModel : public QAbstractListModel {
 public:
  int rowCount(const QModelIndex& Parent = {}) const override {
    return Parent.isValid() ? 0 : static_cast<int>(FItems.size());
  }
  QVariant data(const QModelIndex& I, int Role) const override {
    if (!I.isValid() || I.row() >= rowCount()) return {};
    if (Role == Qt::DisplayRole) return NameOf(FItems[static_cast<std::size_t>(I.row())]);
    return {};
  }
  const QString& NameOf(const TqdDXFEntity* E) const {
    auto It = FNames.find(E->ClassName());
    if (It == FNames.end())
      It = FNames.emplace(E->ClassName(), QString::fromStdString(GetPropertyName(E->ClassName()))).first;
    return It->second;
  }
  void Reset(std::vector<TqdDXFEntity*> Items) {
    beginResetModel();
    // By class first (a handful), then the classes in name order: no string
    // comparison per entity.
    std::unordered_map<const char*, std::vector<TqdDXFEntity*>> ByClass;
    for (TqdDXFEntity* E : Items) ByClass[E->ClassName()].push_back(E);
    std::vector<std::pair<QString, std::vector<TqdDXFEntity*>*>> Groups;
    for (auto& [Class, List] : ByClass) Groups.emplace_back(NameOf(List.front()), &List);
    std::stable_sort(Groups.begin(), Groups.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
    FItems.clear();
    FItems.reserve(Items.size());
    for (const auto& G : Groups) FItems.insert(FItems.end(), G.second->begin(), G.second->end());
    endResetModel();
  }
  int Add(TqdDXFEntity* E) {
    const QString& N = NameOf(E);
    auto It = std::upper_bound(FItems.begin(), FItems.end(), N,
                               [this](const QString& Key, const TqdDXFEntity* X) { return Key < NameOf(X); });
    const int Row = static_cast<int>(It - FItems.begin());
    beginInsertRows({}, Row, Row);
    FItems.insert(It, E);
    endInsertRows();
    return Row;
  }
  // The row of E (-1 when not listed): searched among the entities of its name.
  int IndexOf(const TqdDXFEntity* E) const {
    if (!E) return -1;
    const QString& N = NameOf(E);
    auto Range = std::equal_range(FItems.begin(), FItems.end(), N, TLess{this});
    auto It = std::find(Range.first, Range.second, E);
    return It == Range.second ? -1 : static_cast<int>(It - FItems.begin());
  }
  TqdDXFEntity* At(int Row) const {
    return Row >= 0 && Row < rowCount() ? FItems[static_cast<std::size_t>(Row)] : nullptr;
  }

 private:
  struct TLess {
    const TEntityListModel* M;
    bool operator()(const TqdDXFEntity* A, const QString& B) const { return M->NameOf(A) < B; }
    bool operator()(const QString& A, const TqdDXFEntity* B) const { return A < M->NameOf(B); }
  };
  std::vector<TqdDXFEntity*> FItems;
  mutable std::unordered_map<const char*, QString> FNames;
};

namespace {

// The standard colours of the colour box: name and colour index.
struct TStdColor {
  const char* Name;
  int Index;
};
const TStdColor cnstStdColors[] = {{"ByLayer", 256}, {"ByBlock", 0},  {"Red", 1},    {"Yellow", 2},
                                   {"Green", 3},     {"Cyan", 4},     {"Blue", 5},   {"Magenta", 6},
                                   {"White", 7},     {"Gray", 8},     {"Light Gray", 9}};
const char* const cnstCustomColor = "Custom...";

QString ColorName(const TqdXMLColorCAD& C) {
  if (C.Active == 1)
    return QString("RGB %1,%2,%3").arg(C.Color & 0xFF).arg((C.Color >> 8) & 0xFF).arg((C.Color >> 16) & 0xFF);
  for (const TStdColor& S : cnstStdColors)
    if (static_cast<std::uint32_t>(S.Index) == C.Color) return S.Name;
  return QString("Index %1").arg(C.Color);
}

bool IsColorAttribute(int Id) {
  return Id == xaColor || Id == XMLAttribIdByName("DimClrD") || Id == XMLAttribIdByName("DimClrE") ||
         Id == XMLAttribIdByName("DimClrT");
}

int TableOf(int Id) {
  if (Id == xaLayer) return csLayers;
  if (Id == xaLineType) return csLTypes;
  if (Id == xaStyleName) return csStyles;
  return -1;
}

// Whole text as a number, "." or "," as the decimal separator.
bool ReadDouble(QString T, double& V) {
  T = T.trimmed();
  T.replace(',', '.');
  const std::string S = T.toStdString();
  if (S.empty()) return false;
  const char* B = S.data();
  if (*B == '+') ++B;
  const auto R = std::from_chars(B, S.data() + S.size(), V);
  // Only finite values enter the drawing: "nan", "inf" and overflowing texts fail.
  return R.ec == std::errc() && R.ptr == S.data() + S.size() && std::isfinite(V);
}

bool ReadInt64(const QString& T, std::int64_t& V) {
  const std::string S = T.trimmed().toStdString();
  if (S.empty()) return false;
  const char* B = S.data();
  if (*B == '+') ++B;
  const auto R = std::from_chars(B, S.data() + S.size(), V);
  return R.ec == std::errc() && R.ptr == S.data() + S.size();
}

// Lets the grid tell a commit by Enter from one by leaving the cell.
class TEnterDelegate : public QStyledItemDelegate {
 public:
  TEnterDelegate(TfmEntityInspector* Owner, QObject* Parent) : QStyledItemDelegate(Parent), FOwner(Owner) {}
  void setModelData(QWidget* Editor, QAbstractItemModel*, const QModelIndex& I) const override {
    auto* E = qobject_cast<QLineEdit*>(Editor);
    const bool Enter = FEnter;
    FEnter = false;
    if (!E) return;
    // Applying rebuilds the grid, which must not happen under the closing editor.
    const int Row = I.row();
    const QString Text = E->text();
    QTimer::singleShot(0, FOwner, [Owner = FOwner, Row, Text, Enter] { Owner->qdAttributesSetEditText(Row, Text, Enter); });
  }

 protected:
  bool eventFilter(QObject* Editor, QEvent* Ev) override {
    if (Ev->type() == QEvent::KeyPress) {
      const int K = static_cast<QKeyEvent*>(Ev)->key();
      if (K == Qt::Key_Return || K == Qt::Key_Enter) FEnter = true;
    }
    return QStyledItemDelegate::eventFilter(Editor, Ev);
  }

 private:
  TfmEntityInspector* FOwner;
  mutable bool FEnter = false;
};

// The entity list's box: the list is made when it is first looked at.
class TListCombo : public QComboBox {
 public:
  TListCombo(QWidget* Parent, std::function<void()> NeedList) : QComboBox(Parent), FNeedList(std::move(NeedList)) {}
  void showPopup() override {
    FNeedList();
    QComboBox::showPopup();
  }

 protected:
  void keyPressEvent(QKeyEvent* E) override {
    FNeedList();
    QComboBox::keyPressEvent(E);
  }
  void wheelEvent(QWheelEvent* E) override {
    FNeedList();
    QComboBox::wheelEvent(E);
  }

 private:
  std::function<void()> FNeedList;
};

}  // namespace

// ---------------------------------------------------------------- FormCreate

TfmEntityInspector::TfmEntityInspector(QWidget* Parent)
    : QDockWidget("Inspector of entity", Parent), FModel(std::make_unique<TEntityListModel>()) {
  setObjectName("FEntityInspector");
  auto* Body = new QWidget(this);
  auto* V = new QVBoxLayout(Body);
  V->setContentsMargins(0, 0, 0, 0);
  V->setSpacing(0);
  pnlCombo = new QWidget(Body);
  pnlCombo->setObjectName("pnlCombo");
  auto* H = new QHBoxLayout(pnlCombo);
  H->setContentsMargins(0, 0, 0, 0);
  H->setSpacing(2);
  cbEntity = new TListCombo(pnlCombo, [this] { FillList(); });
  cbEntity->setObjectName("cbEntity");
  auto* View = new QListView(cbEntity);
  View->setUniformItemSizes(true);
  cbEntity->setView(View);
  cbEntity->setModel(FModel.get());
  // Measuring every item of a huge list would stall the first show.
  cbEntity->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbEntity->setMinimumContentsLength(8);
  cbEntity->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  SpeedButtonStayOnTop = new QToolButton(pnlCombo);
  SpeedButtonStayOnTop->setObjectName("SpeedButtonStayOnTop");
  SpeedButtonStayOnTop->setCheckable(true);
  SpeedButtonStayOnTop->setChecked(true);
  SpeedButtonStayOnTop->setAutoRaise(true);
  SpeedButtonStayOnTop->setText("^");
  SpeedButtonStayOnTop->setToolTip("Stay on top");
  H->addWidget(cbEntity, 1);
  H->addWidget(SpeedButtonStayOnTop);
  V->addWidget(pnlCombo);
  qdAttributes = new QTableWidget(0, 2, Body);
  qdAttributes->setObjectName("qdAttributes");
  qdAttributes->horizontalHeader()->hide();
  qdAttributes->verticalHeader()->hide();
  qdAttributes->verticalHeader()->setDefaultSectionSize(20);
  qdAttributes->horizontalHeader()->setDefaultSectionSize(100);
  qdAttributes->setFrameShape(QFrame::NoFrame);
  qdAttributes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  qdAttributes->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed);
  qdAttributes->setItemDelegateForColumn(1, new TEnterDelegate(this, qdAttributes));
  V->addWidget(qdAttributes, 1);
  // Narrow panels may squeeze the inspector; its controls scroll or elide.
  qdAttributes->setMinimumSize(20, 20);
  cbEntity->setMinimumWidth(20);
  setWidget(Body);
  connect(cbEntity, &QComboBox::activated, this, [this](int I) { cbEntitySelect(I); });
  connect(SpeedButtonStayOnTop, &QToolButton::toggled, this, [this](bool On) {
    // Only a floating inspector is a window of its own.
    if (!isFloating()) return;
    const QRect G = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, On);
    setGeometry(G);
    show();
  });
  OnShowMessage = [this](const QString& Text) { QMessageBox::warning(this, windowTitle(), Text); };
  RefreshGrid(nullptr);
}

TfmEntityInspector::~TfmEntityInspector() { FreeControls(); }

// ---------------------------------------------------------------- list

void TfmEntityInspector::Clear() {
  FDNavigator = nullptr;
  FListPending = false;
  FModel->Reset({});
  RefreshGrid(nullptr);
}

void TfmEntityInspector::Load(TqdDrawingNavigator* Navigator) {
  Clear();
  FDNavigator = Navigator;
  // Listing half a million entities takes a while: it waits until the list is
  // first needed (a pick, the box opened), not at the end of every load.
  FListPending = GetCADImage() != nullptr;
}

void TfmEntityInspector::FillList() const {
  if (!FListPending) return;
  FListPending = false;
  TqdCADImage* I = GetCADImage();
  const TqdDXFLayout* L = I ? I->CurrentLayout() : nullptr;
  const TqdDXFEntity* B = L ? L->PaperSpaceBlockField() : nullptr;
  if (!B) return;
  std::vector<TqdDXFEntity*> Items;
  Items.reserve(static_cast<std::size_t>(std::max(0, B->Count())));
  for (int K = 0; K < B->Count(); ++K)
    if (TqdDXFEntity* E = B->GetEntity(K)) Items.push_back(E);
  FModel->Reset(std::move(Items));
  cbEntity->setCurrentIndex(-1);
}

void TfmEntityInspector::AddEntity(TqdDXFEntity* Entity, bool Refresh) {
  if (!Entity) return;
  FillList();
  FModel->Add(Entity);
  if (Refresh) RefreshGrid(Entity);
}

int TfmEntityInspector::EntityCount() const {
  FillList();
  return FModel->rowCount();
}
TqdDXFEntity* TfmEntityInspector::ListedEntity(int Index) const {
  FillList();
  return FModel->At(Index);
}

TqdCADImage* TfmEntityInspector::GetCADImage() const { return FDNavigator ? FDNavigator->CADImage() : nullptr; }

void TfmEntityInspector::cbEntitySelect(int Index) { RefreshGrid(ListedEntity(Index)); }

// ---------------------------------------------------------------- rows

void TfmEntityInspector::FreeControls() {
  // The grid deletes them later; until then they must not show over the new rows.
  for (int R = 0; R < qdAttributes->rowCount(); ++R)
    if (QWidget* W = qdAttributes->cellWidget(R, 1)) {
      W->hide();
      qdAttributes->removeCellWidget(R, 1);
    }
  FValueList.clear();
}

void TfmEntityInspector::RefreshGrid(TqdDXFEntity* Entity) {
  // Another entity forgets the vertex chosen for the last one.
  if (Entity != FPrevEntity) FVertexIndex = -1;
  if (Entity) FillList();
  const int Row = FModel->IndexOf(Entity);
  if (cbEntity->currentIndex() != Row) cbEntity->setCurrentIndex(Row);
  FreeControls();
  FPropertyList.clear();
  FInputNode.reset();
  FEntityElement = nullptr;
  FPrevEntity = Row >= 0 ? Entity : nullptr;
  if (FPrevEntity) GetAttributeFromXML(FPrevEntity);
  FillGrid();
}

void TfmEntityInspector::GetAttributeFromXML(TqdDXFEntity* Entity) {
  FInputNode = std::make_unique<TqdNode>();
  FEntityElement = Entity->ToXML(*FInputNode, xmAddSubEntities | xmlGetDefaultValue);
  if (!FEntityElement) return;
  AddElementRows(*FEntityElement, true);
  // Sub-entities: vertices behind a chooser, block attributes under their tag.
  const TqdNode* Subs = FEntityElement->GetChildByName(XMLAttribName(xaSubEntities));
  if (!Subs) return;
  std::vector<const TqdNode*> Vertices;
  for (int K = 0; K < Subs->GetChildNodesCount(); ++K) {
    const TqdNode* C = Subs->GetChildNode(K);
    if (!C || C->Type != ntElement) continue;
    if (const TqdNodeAttrib* Tag = C->GetAttributeByName(XMLAttribName(xaTag))) {
      TRow H;
      H.Name = "       " + QString::fromStdString(Tag->GetText());
      H.Kind = TRow::rkHeading;
      H.Owner = C;
      FPropertyList.push_back(H);
      AddElementRows(*C, false);
    } else if (auto* E = static_cast<const TqdDXFEntity*>(C->Entity); E && E->IsVertexBased()) {
      Vertices.push_back(C);
    }
  }
  if (Vertices.empty()) return;
  TRow VC;
  VC.Name = "VertexCount";
  VC.Value = QString::number(Vertices.size());
  VC.Kind = TRow::rkVertex;
  VC.Owner = FEntityElement;
  FPropertyList.push_back(VC);
  if (FVertexIndex >= 0 && FVertexIndex < static_cast<int>(Vertices.size()))
    AddElementRows(*Vertices[static_cast<std::size_t>(FVertexIndex)], false);
}

void TfmEntityInspector::AddElementRows(const TqdNode& Element, bool Top) {
  const auto* Obj = static_cast<const TqdDXFEntity*>(Element.Entity);
  const TqdClassProperties* CP = Obj ? &ClassProperties(*Obj) : nullptr;
  for (int K = 0; K < Element.GetAttributeNodesCount(); ++K) {
    const TqdNodeAttrib* A = Element.GetAttributeNode(K);
    const int Id = A->NameIndex() ? A->NameIndex() : XMLAttribIdByName(A->GetName());
    const TqdPropertyDesc* P = CP ? CP->Find(Id) : nullptr;
    const bool Writable = P && P->Write && Id != xaHandle;
    TRow R;
    R.Name = QString::fromUtf8(A->GetName().data(), static_cast<qsizetype>(A->GetName().size()));
    R.Node = A;
    R.Owner = &Element;
    R.Id = Id;
    R.Editable = Writable;
    const TqdDataType T = XMLAttribInfo(Id).Type;
    if (T == dtTFPoint || T == dtTF2DPoint) {
      R.Kind = TRow::rkHeading;
      R.Editable = false;
      FPropertyList.push_back(R);
      const TFPoint Pt = A->GetValue()->GetValueAsFPoint();
      const double C[3] = {Pt.X, Pt.Y, Pt.Z};
      for (int I = 0; I < (T == dtTFPoint ? 3 : 2); ++I) {
        TRow X = R;
        X.Kind = TRow::rkText;
        X.Name = QString(QChar('X' + I));
        X.Value = QString::fromStdString(XMLDoubleText(C[I]));
        X.Coordinate = I;
        X.Editable = Writable;
        FPropertyList.push_back(X);
      }
      continue;
    }
    if (IsColorAttribute(Id)) {
      R.Kind = TRow::rkColor;
      R.Value = ColorName(A->GetValue()->GetValueAsColorCAD());
    } else if (TableOf(Id) >= 0 && Writable) {
      R.Kind = TRow::rkTable;
      R.Value = QString::fromStdString(A->GetText());
    } else {
      R.Value = QString::fromStdString(A->GetText());
    }
    FPropertyList.push_back(R);
  }
  (void)Top;
}

namespace {

// Line weights in words: the special values by name, the others in millimetres.
const struct {
  const char* Word;
  int Value;
} cnstLineWeightWords[] = {{"ByLayer", -1}, {"ByBlock", -2}, {"Default", -3}};

struct TFlagWord {
  int Bit;
  const char* Word;
};

const TFlagWord cnstPolylineFlags[] = {{1, "Closed"},          {8, "3D polyline"},
                                        {16, "Polygon mesh"},   {32, "Mesh closed in N"},
                                        {64, "Polyface mesh"},  {128, "Linetype continuous"}};
const TFlagWord cnstVertexFlags[] = {{16, "Spline frame control point"}, {32, "3D vertex"}, {64, "Mesh vertex"},
                                     {128, "Polyface vertex"}};
const TFlagWord cnstAttributeFlags[] = {{1, "Invisible"}, {2, "Constant"}, {4, "Verify"}, {8, "Preset"}};
const TFlagWord cnstDimensionFlags[] = {{32, "Own block"}, {64, "Ordinate of X"}, {128, "Text moved"}};
const char* const cnstDimensionTypes[] = {"Rotated",  "Aligned", "Angular", "Diameter",
                                          "Radius",   "Angular 3-point", "Ordinate"};

// An entity's flags in words, the number after them ("Closed, Linetype
// continuous (129)"); empty when the class's flags have no words here.
QString FlagWords(const TqdDXFEntity* E, long long V) {
  QStringList Words;
  auto Bits = [&](const auto& Table) {
    long long Rest = V;
    for (const TFlagWord& F : Table)
      if (V & F.Bit) {
        Words << F.Word;
        Rest &= ~static_cast<long long>(F.Bit);
      }
    return Rest;
  };
  long long Rest = V;
  if (dynamic_cast<const TqdCADBasePolyline*>(E))
    Rest = Bits(cnstPolylineFlags);
  else if (dynamic_cast<const TqdDXFVertex*>(E))
    Rest = Bits(cnstVertexFlags);
  else if (dynamic_cast<const TqdDXFAttdef*>(E))
    Rest = Bits(cnstAttributeFlags);
  else if (dynamic_cast<const TqdDXFDimension*>(E)) {
    const long long Type = V & 15;
    if (Type >= 0 && Type < static_cast<long long>(std::size(cnstDimensionTypes))) {
      Words << cnstDimensionTypes[Type];
      Rest = Bits(cnstDimensionFlags) & ~15LL;
    } else {
      Rest = Bits(cnstDimensionFlags);
    }
  } else if (dynamic_cast<const TqdCADMLine*>(E)) {
    Rest = V & ~2LL;
    if (V & 2) Words << "Closed";
  } else {
    return {};
  }
  if (Rest) Words << QString("other bits %1").arg(Rest);
  if (Words.isEmpty()) Words << "None";
  return Words.join(", ") + QString(" (%1)").arg(V);
}

}  // namespace

QString TfmEntityInspector::DisplayValue(int Row) const {
  if (Row < 0 || Row >= RowCount()) return {};
  const TRow& R = FPropertyList[static_cast<std::size_t>(Row)];
  if (R.Name == "LineWeight" && R.Kind == TRow::rkText) {
    bool Ok = false;
    const double V = R.Value.toDouble(&Ok);
    if (!Ok) return R.Value;
    for (const auto& W : cnstLineWeightWords)
      if (V == W.Value) return W.Word;
    return R.Value + " mm";
  }
  if (R.Name == "Flags" && R.Kind == TRow::rkText) {
    bool Ok = false;
    const long long V = R.Value.toLongLong(&Ok);
    if (!Ok) return R.Value;
    const QString W = FlagWords(FPrevEntity, V);
    return W.isEmpty() ? R.Value : W;
  }
  return R.Value;
}

// What a typed word stands for in the row's raw form ("ByLayer" -> "-1").
static QString RawText(const QString& Name, const QString& Text) {
  // Flags typed over their words: the number in brackets, or the text as typed.
  if (Name == "Flags") {
    const QString T = Text.trimmed();
    const int Open = T.lastIndexOf('(');
    if (Open >= 0 && T.endsWith(')')) return T.mid(Open + 1, T.size() - Open - 2).trimmed();
    return T;
  }
  if (Name != "LineWeight") return Text;
  QString T = Text.trimmed();
  for (const auto& W : cnstLineWeightWords)
    if (T.compare(W.Word, Qt::CaseInsensitive) == 0) return QString::number(W.Value);
  if (T.endsWith("mm")) T = T.chopped(2).trimmed();
  return T;
}

void TfmEntityInspector::FillGrid() {
  FChangeCellText = true;
  qdAttributes->clearContents();
  const int N = static_cast<int>(FPropertyList.size());
  qdAttributes->setRowCount(std::max(1, N));
  FValueList.assign(static_cast<std::size_t>(std::max(1, N)), nullptr);
  for (int R = 0; R < N; ++R) {
    const TRow& Row = FPropertyList[static_cast<std::size_t>(R)];
    auto* Name = new QTableWidgetItem(Row.Name);
    Name->setFlags(Qt::ItemIsEnabled);
    qdAttributes->setItem(R, 0, Name);
    auto* Value = new QTableWidgetItem(DisplayValue(R));
    // The raw value stays one hover away when the cell shows it in words.
    Value->setToolTip(Value->text() == Row.Value ? Row.Value : Row.Value + " (stored value)");
    Qt::ItemFlags F = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (Row.Editable && Row.Kind == TRow::rkText) F |= Qt::ItemIsEditable;
    Value->setFlags(F);
    qdAttributes->setItem(R, 1, Value);
    if (Row.Kind == TRow::rkTable || Row.Kind == TRow::rkColor || Row.Kind == TRow::rkVertex)
      FValueList[static_cast<std::size_t>(R)] = CreateComboBox(R);
  }
  if (N == 0) {
    qdAttributes->setItem(0, 0, new QTableWidgetItem());
    qdAttributes->setItem(0, 1, new QTableWidgetItem());
    qdAttributes->item(0, 0)->setFlags(Qt::ItemIsEnabled);
    qdAttributes->item(0, 1)->setFlags(Qt::ItemIsEnabled);
  }
  FChangeCellText = false;
  LayoutColumns();
}

QComboBox* TfmEntityInspector::CreateComboBox(int Row) {
  const TRow& R = FPropertyList[static_cast<std::size_t>(Row)];
  auto* B = new QComboBox(qdAttributes);
  B->setObjectName(QString("cb%1_%2").arg(R.Name).arg(Row));
  B->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  if (R.Kind == TRow::rkTable) {
    TqdCADImage* I = GetCADImage();
    TqdDXFConverter* C = I ? I->Converter() : nullptr;
    const TqdDXFEntity* Table = C ? C->GetSection(TableOf(R.Id)) : nullptr;
    QStringList Names;
    for (int K = 0; Table && K < Table->Count(); ++K)
      if (const TqdDXFEntity* T = Table->GetEntity(K)) Names << QString::fromStdString(T->Name());
    if (!Names.contains(R.Value, Qt::CaseInsensitive)) Names.prepend(R.Value);
    B->addItems(Names);
    B->setCurrentIndex(std::max(0, static_cast<int>(Names.indexOf(R.Value))));
  } else if (R.Kind == TRow::rkColor) {
    for (const TStdColor& S : cnstStdColors) B->addItem(S.Name);
    if (B->findText(R.Value) < 0) B->addItem(R.Value);
    B->addItem(cnstCustomColor);
    B->setCurrentIndex(B->findText(R.Value));
  } else {
    B->addItem(QString());
    const int N = R.Value.toInt();
    for (int K = 0; K < N; ++K) B->addItem(QString::number(K));
    B->setCurrentIndex(FVertexIndex + 1);
  }
  connect(B, &QComboBox::activated, this, [this, Row, B](int) { ComboBoxSelect(Row, B->currentText()); });
  qdAttributes->setCellWidget(Row, 1, B);
  return B;
}

QComboBox* TfmEntityInspector::RowComboBox(int Row) const {
  return Row >= 0 && Row < static_cast<int>(FValueList.size()) ? FValueList[static_cast<std::size_t>(Row)] : nullptr;
}

int TfmEntityInspector::RowCount() const { return static_cast<int>(FPropertyList.size()); }
QString TfmEntityInspector::RowName(int Row) const {
  return Row >= 0 && Row < RowCount() ? FPropertyList[static_cast<std::size_t>(Row)].Name : QString();
}
QString TfmEntityInspector::RowValue(int Row) const {
  const QTableWidgetItem* I = Row >= 0 && Row < RowCount() ? qdAttributes->item(Row, 1) : nullptr;
  return I ? I->text() : QString();
}
bool TfmEntityInspector::RowEditable(int Row) const {
  return Row >= 0 && Row < RowCount() && FPropertyList[static_cast<std::size_t>(Row)].Editable;
}

int TfmEntityInspector::FindRow(const QString& Name, const QString& Under) const {
  bool In = Under.isEmpty();
  for (int R = 0; R < RowCount(); ++R) {
    const TRow& Row = FPropertyList[static_cast<std::size_t>(R)];
    if (!Under.isEmpty() && Row.Kind == TRow::rkHeading) In = Row.Name == Under;
    if (In && Row.Name == Name && !(Row.Kind == TRow::rkHeading && !Under.isEmpty())) return R;
  }
  return -1;
}

// ---------------------------------------------------------------- editing

void TfmEntityInspector::ShowMessage(const QString& Text) {
  if (OnShowMessage) OnShowMessage(Text);
}

void TfmEntityInspector::RestoreCell(int Row) {
  if (Row < 0 || Row >= RowCount()) return;
  FChangeCellText = true;
  if (QTableWidgetItem* I = qdAttributes->item(Row, 1)) I->setText(DisplayValue(Row));
  if (QComboBox* B = RowComboBox(Row)) {
    const int K = B->findText(FPropertyList[static_cast<std::size_t>(Row)].Value);
    if (K >= 0) B->setCurrentIndex(K);
  }
  FChangeCellText = false;
}

bool TfmEntityInspector::ChangeNodeSample(const TRow& Row, const QString& Text, TqdData& D, QString& Why) const {
  const TqdDataType T = XMLAttribInfo(Row.Id).Type;
  Why = QString("\"%1\" is not a valid value of %2").arg(Text, Row.Coordinate >= 0 ? Row.Node->GetName().data() : Row.Name);
  if (Row.Coordinate >= 0) {
    double V = 0;
    if (!ReadDouble(Text, V)) return false;
    TFPoint P = Row.Node->GetValue()->GetValueAsFPoint();
    (Row.Coordinate == 0 ? P.X : Row.Coordinate == 1 ? P.Y : P.Z) = V;
    if (T == dtTF2DPoint)
      D.SetValueAsF2DPoint({P.X, P.Y});
    else
      D.SetValueAsFPoint(P);
    return true;
  }
  switch (T) {
    case dtDouble:
    case dtSingle: {
      double V = 0;
      if (!ReadDouble(Text, V)) return false;
      if (T == dtSingle) {
        if (std::fabs(V) > FLT_MAX) return false;
        D.SetValueAsSingle(static_cast<float>(V));
      } else {
        D.SetValueAsDouble(V);
      }
      return true;
    }
    case dtBool: {
      const QString S = Text.trimmed().toLower();
      D.SetValueAsBool(S == "true" || S == "1");
      return true;
    }
    case dtByte:
    case dtWord:
    case dtInteger:
    case dtInt64: {
      std::int64_t V = 0;
      if (!ReadInt64(Text, V)) return false;
      // Wrapped flags would change bits nobody typed.
      const std::int64_t Lo = T == dtInt64 ? std::numeric_limits<std::int64_t>::min()
                              : T == dtInteger ? std::numeric_limits<std::int32_t>::min() : 0;
      const std::int64_t Hi = T == dtInt64 ? std::numeric_limits<std::int64_t>::max()
                              : T == dtInteger ? std::numeric_limits<std::int32_t>::max()
                              : T == dtWord ? 65535 : 255;
      if (V < Lo || V > Hi) return false;
      if (T == dtInt64)
        D.SetValueAsInt64(V);
      else
        D.SetValueAsInt(static_cast<int>(V));
      return true;
    }
    case dtColor: {
      std::int64_t V = 0;
      if (!ReadInt64(Text, V) || V < 0 || V > 0xFFFFFFFFLL) return false;
      D.SetValueAsColor(static_cast<std::uint32_t>(V));
      return true;
    }
    case dtHandle:
    case dtEntHandle:
      return false;
    default:
      D.SetValueAsStr(Text.toStdString());
      return true;
  }
}

TqdDXFEntity* TfmEntityInspector::ResolveTarget(const TqdNode* Owner) const {
  if (!FPrevEntity || !Owner) return nullptr;
  if (Owner == FEntityElement) return FPrevEntity;
  // A vertex or attribute: by the handle its element carries, else the object
  // the element was written from when it is still one of the entity's children.
  // Never the entity itself: a vertex's "Point" would move the whole entity.
  if (const TqdNodeAttrib* H = Owner->GetAttributeByName(XMLAttribName(xaHandle))) {
    const std::uint64_t V = H->GetValue()->GetValueAsHandle();
    if (V != 0)
      if (TqdDXFEntity* E = FPrevEntity->FindEntByHandle(true, false, V)) return E;
  }
  for (int K = 0; K < FPrevEntity->Count(); ++K)
    if (FPrevEntity->GetEntity(K) == Owner->Entity) return FPrevEntity->GetEntity(K);
  return nullptr;
}

bool TfmEntityInspector::Apply(int Row, const TqdData& D) {
  const TRow R = FPropertyList[static_cast<std::size_t>(Row)];
  TqdDXFEntity* Target = ResolveTarget(R.Owner);
  if (!Target) {
    RestoreCell(Row);
    ShowMessage(QString("%1 cannot be changed here: its owner is not found").arg(R.Name));
    return false;
  }
  TqdNode Tmp(R.Owner->GetName());
  Tmp.AddAttribId(R.Id, D);
  TqdXMLResult Result;
  Target->FromXML(Tmp, &Result);
  if (Result.Applied == 0) {
    RestoreCell(Row);
    ShowMessage(Result.Messages.empty() ? QString("%1: the value was refused").arg(R.Name)
                                        : QString::fromStdString(Result.Messages.front()));
    return false;
  }
  TqdDXFEntity* E = FPrevEntity;
  UpdateCadImage(E);
  const QString What = R.Name.trimmed();
  // A value that leaves the entity without a usable size (a radius of 1e300)
  // is taken back, with a message.
  const TFRect B = E->Box();
  const double Far = std::max({std::fabs(B.Left), std::fabs(B.Right), std::fabs(B.Top), std::fabs(B.Bottom)});
  if (!IsBadBox(B) && !(Far < 1e15)) {
    if (R.Node && R.Node->GetValue()) {
      TqdNode Back(R.Owner->GetName());
      Back.AddAttribId(R.Id, *R.Node->GetValue());
      Target->FromXML(Back, nullptr);
      UpdateCadImage(E);
    }
    RestoreCell(Row);
    ShowMessage(QString("%1: the value makes the entity too large to draw").arg(R.Name));
    return false;
  }
  if (OnEdited && R.Node && R.Node->GetValue())
    OnEdited(E, Target, std::string(R.Owner->GetName()), R.Id, *R.Node->GetValue(), D, What);
  RefreshGrid(E);
  if (OnChanged) OnChanged();
  return true;
}

bool TfmEntityInspector::RefuseLocked(int Row) {
  const TqdDXFLayer* L = FPrevEntity ? FPrevEntity->Layer() : nullptr;
  if (!L || !L->Locked()) return false;
  RestoreCell(Row);
  ShowMessage(QString("The layer \"%1\" is locked: its entities cannot be changed")
                  .arg(QString::fromStdString(L->Name())));
  return true;
}

bool TfmEntityInspector::qdAttributesSetEditText(int Row, const QString& Text, bool Enter) {
  if (FChangeCellText || Row < 0 || Row >= RowCount()) return false;
  const TRow& R = FPropertyList[static_cast<std::size_t>(Row)];
  if (!Enter || !R.Editable || Text == R.Value || Text == DisplayValue(Row)) {
    RestoreCell(Row);
    return false;
  }
  if (RefuseLocked(Row)) return false;
  TqdData D;
  QString Why;
  if (!ChangeNodeSample(R, RawText(R.Name, Text), D, Why)) {
    RestoreCell(Row);
    ShowMessage(Why);
    return false;
  }
  // Sizes that cannot be negative or zero: the entity would not draw.
  if (R.Coordinate < 0 && (R.Name == "Radius" || R.Name == "Height")) {
    double V = 0;
    if (ReadDouble(RawText(R.Name, Text), V) && !(V > 0)) {
      RestoreCell(Row);
      ShowMessage(QString("%1 must be greater than 0").arg(R.Name));
      return false;
    }
  }
  return Apply(Row, D);
}

bool TfmEntityInspector::ComboBoxSelect(int Row, const QString& Text) {
  if (FChangeCellText || Row < 0 || Row >= RowCount()) return false;
  const TRow& R = FPropertyList[static_cast<std::size_t>(Row)];
  if (R.Kind == TRow::rkVertex) {
    bool Ok = false;
    const int V = Text.toInt(&Ok);
    FVertexIndex = Ok ? V : -1;
    RefreshGrid(FPrevEntity);
    return true;
  }
  if (!R.Editable || Text == R.Value) return false;
  if (RefuseLocked(Row)) return false;
  TqdData D;
  if (R.Kind == TRow::rkColor) {
    TqdXMLColorCAD C;
    bool Found = false;
    for (const TStdColor& S : cnstStdColors)
      if (Text == S.Name) C = {0, static_cast<std::uint32_t>(S.Index), {}}, Found = true;
    if (!Found && Text == cnstCustomColor) {
      const QColor Q = QColorDialog::getColor(Qt::white, this);
      if (!Q.isValid()) {
        RestoreCell(Row);
        return false;
      }
      C = {1, static_cast<std::uint32_t>(Q.red() | (Q.green() << 8) | (Q.blue() << 16)), {}};
      Found = true;
    }
    if (!Found) {
      RestoreCell(Row);
      return false;
    }
    D.SetValueAsColorCAD(C);
  } else {
    D.SetValueAsStr(Text.toStdString());
  }
  return Apply(Row, D);
}

void TfmEntityInspector::UpdateCadImage(TqdDXFEntity* Entity) {
  TqdCADImage* I = GetCADImage();
  if (!I || !Entity) return;
  if (TqdDXFConverter* C = I->Converter()) C->Loads(Entity);
  if (FDNavigator) FDNavigator->Invalidate();
}

// ---------------------------------------------------------------- layout

void TfmEntityInspector::LayoutColumns() {
  const int W = qdAttributes->viewport()->width();
  const int Half = (W + 1) / 2;
  const int C0 = Half < 104 ? Half : 103;
  qdAttributes->setColumnWidth(0, C0);
  qdAttributes->setColumnWidth(1, std::max(10, W - C0));
}

void TfmEntityInspector::resizeEvent(QResizeEvent* E) {
  QDockWidget::resizeEvent(E);
  LayoutColumns();
}
