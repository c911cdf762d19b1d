#pragma once
// Printing to scale: the paper and its orientation, the scale (fitted, or a
// ratio of drawing units to millimetres on paper), the area printed (the
// extents or the current view) and its place on the page. The preview, the
// printer and a PDF all get the same painting.
// Areas: the extents, the current view, and a paper layout's own paper.
#include <QDialog>
#include <QPageLayout>

#include "qdConsts.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPrinter;
class TqdCADImage;

struct TqdPrintOptions {
  // Drawing units per millimetre of paper; 0 fits the area to the page.
  double UnitsPerMM = 0;
  // The drawing area printed (drawing units, any corner order); a bad box
  // prints the extents.
  TFRect Area = cnstBadRect;
  // In the middle of the printable area, or from its top-left corner.
  bool Centre = true;
  // Every colour printed black on white paper, as monochrome plot styles do.
  bool BlackAndWhite = false;
};

// Paints the area of the current layout on one page of APrinter at the
// options' scale; false when the printer could not be painted on.
bool qdPrintScaled(TqdCADImage& AImg, QPrinter& APrinter, const TqdPrintOptions& O);

// The paper of the current layout in its own units, from the layout's plot
// settings; a bad box for the model and for a layout with no paper size.
TFRect qdLayoutPaperArea(const TqdCADImage& AImg);

class TfmPrint : public QDialog {
 public:
  // View: the drawing area the view shows now (for "Current view").
  TfmPrint(TqdCADImage& AImg, const TFRect& View, QWidget* Parent = nullptr);
  TqdPrintOptions Options() const;
  QPageLayout PageLayout() const;
  // Sets up APrinter from the dialog and prints; false when it failed.
  bool PrintTo(QPrinter& APrinter);
  // The preview, with the same page and options.
  void Preview();

  QComboBox *cbPaper = nullptr, *cbOrientation = nullptr, *cbScale = nullptr, *cbArea = nullptr;
  QDoubleSpinBox* edtUnitsPerMM = nullptr;  // the custom ratio
  QCheckBox *chkCentre = nullptr, *chkBlackAndWhite = nullptr;

 private:
  TqdCADImage& FImg;
  TFRect FView, FPaper;
};
