#pragma once
// The layers panel: every layer of the drawing with its colour, linetype and
// line weight, and toggles for on/off, freeze/thaw and lock that apply at once.
// The panel never changes a layer itself: it hands the wanted state to
// OnChangeLayers, which makes it an edit (undoable) and calls Reload.
#include <QDockWidget>
#include <functional>
#include <vector>

#include "qdEdits.h"

class QTableWidget;
class QToolButton;
class TqdDXFConverter;
class TqdDXFLayer;

class TfmLayers : public QDockWidget {
 public:
  explicit TfmLayers(QWidget* Parent = nullptr);

  // Lists the layers of C (null empties the panel).
  void Load(TqdDXFConverter* C);
  // Re-reads the states of the listed layers.
  void Reload();
  int LayerCount() const { return static_cast<int>(FLayers.size()); }
  TqdDXFLayer* Layer(int Row) const;
  // The row of the layer named Name (any case); -1 when not listed.
  int RowOf(const QString& Name) const;

  // The columns of the toggles.
  enum { colOn, colFrozen, colLocked, colName, colColor, colLineType, colLineWeight, colCount };
  // Where the toggle of Row in column Col is on screen (for the mouse).
  QRect ToggleRect(int Row, int Col) const;

  // The wanted states (Text names the edit in the Edit menu).
  std::function<void(std::vector<TqdLayerEdit::TChange> Changes, const QString& Text)> OnChangeLayers;
  // The layer of the selected entity, for "Isolate" (null when none).
  std::function<TqdDXFLayer*()> OnSelectedLayer;

  // Every layer on and thawed.
  void AllOn();
  // Only the layer of the selected entity on (the others off).
  void Isolate();
  // Toggles column Col (colOn, colFrozen, colLocked) of Row.
  void Toggle(int Row, int Col);

  QTableWidget* tblLayers = nullptr;
  QToolButton *btnAllOn = nullptr, *btnIsolate = nullptr;

 private:
  void FillRow(int Row);
  TqdDXFConverter* FConverter = nullptr;
  std::vector<TqdDXFLayer*> FLayers;
  bool FFilling = false;
};

// A word for a line weight in millimetres ("ByLayer", "Default", "0.25 mm").
QString qdLineWeightText(double MM);
// A word for a CAD colour ("Red", "Index 30", "RGB 1,2,3").
QString qdColorText(const TqdColorCAD& C);
