#include "fFind.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "CADImage.h"
#include "Dimensions.h"
#include "Inserts.h"
#include "Properties.h"
#include "Texts.h"

QString qdPlainMText(const std::string& Raw) {
  const QString S = QString::fromStdString(Raw);
  QString R;
  R.reserve(S.size());
  for (qsizetype I = 0; I < S.size(); ++I) {
    const QChar C = S[I];
    if (C == '{' || C == '}') continue;
    if (C != '\\' || I + 1 >= S.size()) {
      R += C;
      continue;
    }
    const QChar K = S[++I];
    switch (K.toLatin1()) {
      case 'P':
      case 'X':
        R += ' ';  // paragraph and line breaks
        break;
      case '~':
        R += ' ';
        break;
      case '\\':
      case '{':
      case '}':
        R += K;
        break;
      case 'L': case 'l': case 'O': case 'o': case 'K': case 'k':
        break;  // underline, overline, strike-through switches
      case 'S': {
        // Stacked text "a^b": both parts apart from what precedes them.
        R += ' ';
        while (++I < S.size() && S[I] != ';') R += (S[I] == '^' || S[I] == '/' || S[I] == '#') ? QChar(' ') : S[I];
        break;
      }
      default:
        // Codes with an argument up to ';' (\f, \H, \C, \T, \Q, \W, \A, \p).
        while (I + 1 < S.size() && S[I + 1] != ';') ++I;
        if (I + 1 < S.size()) ++I;
        break;
    }
  }
  return R.simplified();
}

namespace {

// The searchable texts of one top-level entity.
void TextsOf(const TqdDXFEntity* E, QStringList& Out) {
  if (const auto* M = dynamic_cast<const TqdDXFMText*>(E)) {
    Out << qdPlainMText(M->Text());
  } else if (const auto* A = dynamic_cast<const TqdDXFAttdef*>(E)) {
    Out << QString::fromStdString(A->Value());
  } else if (const auto* T = dynamic_cast<const TqdDXFText*>(E)) {
    if (E->EntType() == ceText) Out << QString::fromStdString(T->Text());
  } else if (const auto* D = dynamic_cast<const TqdDXFDimension*>(E)) {
    // "<>" in an override stands for the measurement.
    QString Text = QString::fromStdString(D->TextOverride());
    const QString Measured = QString::fromStdString(D->MeasurementText());
    Text = Text.isEmpty() ? Measured : Text.replace("<>", Measured);
    Out << qdPlainMText(Text.toStdString());
  } else if (E->EntType() == ceInsert) {
    for (int K = 0; K < E->Count(); ++K)
      if (const auto* A = dynamic_cast<const TqdDXFAttrib*>(E->GetEntity(K)))
        Out << QString::fromStdString(A->Value());
  }
}

}  // namespace

std::vector<TqdTextHit> qdLayoutTexts(const TqdDXFLayout* Layout) {
  std::vector<TqdTextHit> R;
  const TqdDXFEntity* B = Layout ? Layout->PaperSpaceBlockField() : nullptr;
  for (int K = 0; B && K < B->Count(); ++K) {
    TqdDXFEntity* E = B->GetEntity(K);
    if (!E) continue;
    QStringList Texts;
    TextsOf(E, Texts);
    for (const QString& T : Texts)
      if (!T.trimmed().isEmpty()) R.push_back({0, E, T});
  }
  return R;
}

std::vector<TqdTextHit> qdFindTexts(const TqdCADImage& Image, const QString& What, bool AllLayouts, int Current) {
  std::vector<TqdTextHit> R;
  const QString Key = What.trimmed();
  if (Key.isEmpty()) return R;
  for (int L = 0; L < Image.LayoutsCount(); ++L) {
    if (!AllLayouts && L != Current) continue;
    const TqdDXFLayout* Layout = Image.GetLayout(L);
    const TqdDXFEntity* B = Layout ? Layout->PaperSpaceBlockField() : nullptr;
    if (!B) continue;
    for (int K = 0; K < B->Count(); ++K) {
      TqdDXFEntity* E = B->GetEntity(K);
      if (!E) continue;
      QStringList Texts;
      TextsOf(E, Texts);
      for (const QString& T : Texts)
        if (T.contains(Key, Qt::CaseInsensitive)) {
          R.push_back({L, E, T});
          break;
        }
    }
  }
  return R;
}

TfmFind::TfmFind(QWidget* Parent) : QDialog(Parent) {
  setObjectName("fmFind");
  setWindowTitle("Find text");
  auto* V = new QVBoxLayout(this);
  auto* Row = new QHBoxLayout;
  edtText = new QLineEdit(this);
  edtText->setObjectName("edtText");
  edtText->setPlaceholderText("Text to find");
  cbScope = new QComboBox(this);
  cbScope->setObjectName("cbScope");
  cbScope->addItems({"This layout", "All layouts"});
  btnFind = new QPushButton("Find", this);
  btnFind->setObjectName("btnFind");
  btnFind->setDefault(true);
  Row->addWidget(edtText, 1);
  Row->addWidget(cbScope);
  Row->addWidget(btnFind);
  V->addLayout(Row);
  lstHits = new QListWidget(this);
  lstHits->setObjectName("lstHits");
  V->addWidget(lstHits, 1);
  lblCount = new QLabel(this);
  V->addWidget(lblCount);
  resize(420, 320);
  connect(btnFind, &QPushButton::clicked, this, [this] {
    if (OnSearch) OnSearch();
  });
  connect(edtText, &QLineEdit::returnPressed, this, [this] {
    if (OnSearch) OnSearch();
  });
  auto Pick = [this](QListWidgetItem* I) {
    const int Row = I ? lstHits->row(I) : -1;
    if (Row >= 0 && Row < static_cast<int>(FHits.size()) && OnPick) OnPick(FHits[static_cast<std::size_t>(Row)]);
  };
  connect(lstHits, &QListWidget::itemClicked, this, Pick);
  connect(lstHits, &QListWidget::itemActivated, this, Pick);
}

void TfmFind::Clear() {
  FHits.clear();
  lstHits->clear();
  lblCount->clear();
}

void TfmFind::Search(const TqdCADImage* Image, int CurrentLayout) {
  Clear();
  if (!Image) return;
  FHits = qdFindTexts(*Image, edtText->text(), cbScope->currentIndex() == 1, CurrentLayout);
  for (const TqdTextHit& H : FHits) {
    const TqdDXFLayout* L = Image->GetLayout(H.Layout);
    const QString Where = L ? QString::fromStdString(L->Name()) : QString();
    lstHits->addItem(QString("%1 \u2014 %2 (%3)")
                         .arg(H.Text.left(80), QString::fromStdString(GetPropertyName(H.Entity->ClassName())), Where));
  }
  lblCount->setText(FHits.empty() ? QString("No text found") : QString("%1 found").arg(FHits.size()));
}
