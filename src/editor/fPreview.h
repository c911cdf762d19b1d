#pragma once
// The preview window: copies of the selected entities in a drawing of their
// own, shown in a second navigator (zoom and pan as usual).
#include <QDialog>

class QLabel;
class QPushButton;
class QWidget;
class TqdCADImage;
class TqdDrawingNavigator;
class TqdSelectionManager;

class TfmPreview : public QDialog {
 public:
  explicit TfmPreview(QWidget* Parent = nullptr);

  // Fills the preview with copies of Manager's selection; Image gives the
  // drawing's appearance (background colour). False for an empty selection.
  bool FillImage(TqdSelectionManager* Manager, const TqdCADImage* Image);

  TqdDrawingNavigator* DNavigator() const { return FDNavigator; }
  QWidget* pnlNavigator = nullptr;
  QWidget* pnlButton = nullptr;
  QPushButton* btnCancel = nullptr;
  QLabel* Label1 = nullptr;

 protected:
  void resizeEvent(QResizeEvent* E) override;

 private:
  TqdDrawingNavigator* FDNavigator = nullptr;
  TqdSelectionManager* FSManager = nullptr;
};
