#include "BlockInsert.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <cfloat>
#include <cmath>

#include "qdBlockLibrary.h"

TfmBlockInsert::TfmBlockInsert(QWidget* Parent) : QDialog(Parent) {
  setObjectName("fmBlockInsert");
  setWindowTitle("Block insertion");
  setFixedSize(242, 342);
  auto* G = new QGridLayout(this);
  Label1 = new QLabel("Block list", this);
  lsbBlockName = new QListWidget(this);
  lsbBlockName->setObjectName("lsbBlockName");
  lbX = new QLabel("X:", this);
  lbeX = new QLineEdit("0", this);
  lbeX->setObjectName("lbeX");
  lbY = new QLabel("Y:", this);
  lbeY = new QLineEdit("0", this);
  lbeY->setObjectName("lbeY");
  Button1 = new QPushButton("Insert", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  G->addWidget(Label1, 0, 0, 1, 2);
  G->addWidget(lsbBlockName, 1, 0, 1, 2);
  G->addWidget(lbX, 2, 0);
  G->addWidget(lbeX, 2, 1);
  G->addWidget(lbY, 3, 0);
  G->addWidget(lbeY, 3, 1);
  G->addWidget(Button1, 4, 0);
  G->addWidget(Button2, 4, 1);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  OnShowMessage = [this](const QString& T) { QMessageBox::information(this, windowTitle(), T); };
}

void TfmBlockInsert::showEvent(QShowEvent* E) {
  FormShow();
  QDialog::showEvent(E);
}

void TfmBlockInsert::FormShow() {
  lsbBlockName->clear();
  if (!Library) return;
  for (const std::string& N : Library->Captions()) lsbBlockName->addItem(QString::fromStdString(N));
  // The newest copy is what a paste usually wants; the first is chosen so that
  // Insert works at once.
  if (lsbBlockName->count() > 0) {
    lsbBlockName->setCurrentRow(0);
    lsbBlockName->item(0)->setSelected(true);
  }
}

void TfmBlockInsert::ShowMessage(const QString& Text) {
  if (OnShowMessage) OnShowMessage(Text);
}

bool TfmBlockInsert::ReadCoordinate(const QString& Text, float& V) {
  const QString T = Text.trimmed();
  bool Ok = false;
  double D = QLocale::c().toDouble(T, &Ok);
  if (!Ok) D = QLocale::system().toDouble(T, &Ok);
  // The point is stored in 32 bits: beyond FLT_MAX it would become infinite.
  if (!Ok || !std::isfinite(D) || std::fabs(D) > FLT_MAX) return false;
  V = static_cast<float>(D);
  return true;
}

bool TfmBlockInsert::Button1Click() {
  if (lbeX->text().trimmed().isEmpty() || lbeY->text().trimmed().isEmpty()) {
    ShowMessage("Indicate a point");
    return false;
  }
  float X = 0, Y = 0;
  if (!ReadCoordinate(lbeX->text(), X) || !ReadCoordinate(lbeY->text(), Y)) {
    ShowMessage("Point is incorrect");
    return false;
  }
  const int Index = lsbBlockName->currentRow();
  if (Index < 0 || !lsbBlockName->currentItem() || !lsbBlockName->currentItem()->isSelected()) {
    ShowMessage("Select block");
    return false;
  }
  if (OnInsertBlock) OnInsertBlock(Index, Y, X);
  accept();
  return true;
}
