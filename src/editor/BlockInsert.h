#pragma once
// The block insertion dialog: the library's blocks and a typed insertion point.
// "Insert" checks the point (finite numbers a 32-bit float holds) and the
// chosen block, then hands both to OnInsertBlock and closes.
#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TqdBlockLibrary;

class TfmBlockInsert : public QDialog {
 public:
  explicit TfmBlockInsert(QWidget* Parent = nullptr);

  TqdBlockLibrary* Library = nullptr;
  // The main window's InsertBlock (Index, Y, X).
  std::function<void(int Index, float Y, float X)> OnInsertBlock;
  // "Indicate a point", "Point is incorrect", "Select block"; a box by default.
  std::function<void(const QString& Text)> OnShowMessage;

  // Lists the library's blocks, in library order.
  void FormShow();
  // False when a message was shown instead of inserting.
  bool Button1Click();
  void Button2Click() { reject(); }

  // A coordinate as typed: "." or the system's separator; false for anything
  // that is not a finite number within the 32-bit float range.
  static bool ReadCoordinate(const QString& Text, float& V);

  QLabel* Label1 = nullptr;
  QListWidget* lsbBlockName = nullptr;
  QLabel *lbX = nullptr, *lbY = nullptr;
  QLineEdit *lbeX = nullptr, *lbeY = nullptr;
  QPushButton *Button1 = nullptr, *Button2 = nullptr;

 protected:
  void showEvent(QShowEvent* E) override;

 private:
  void ShowMessage(const QString& Text);
};
