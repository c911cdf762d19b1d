#pragma once
// The layers panel: every layer of the drawing with its colour, linetype and
// line weight, and toggles for on/off, freeze/thaw and lock that apply at once.
// The panel never changes a layer itself: it hands the wanted state to
// OnChangeLayers, which makes it an edit (undoable) and calls Reload.
#include <QDockWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "qdEdits.h"

class QAction;
class QLabel;
class QMenu;
class QTableWidget;
class QToolButton;
class TqdDXFConverter;
class TqdDXFLayer;
class TqdDXFViewport;

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

  // The columns: the toggles, the name, what a click changes, and the shown
  // viewport's own freeze (hidden while no viewport is shown).
  enum { colOn, colFrozen, colLocked, colName, colColor, colLineType, colLineWeight, colVPFrozen, colCount };
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
  // Toggles column Col (colOn, colFrozen, colLocked, colVPFrozen) of Row.
  void Toggle(int Row, int Col);
  // A menu at the cell: the standard colours and other index or true colours,
  // the drawing's linetypes, the standard line weights. The choice is an edit.
  void EditColor(int Row);
  void EditLineType(int Row);
  void EditLineWeight(int Row);

  // A paper-space viewport whose own frozen layers are shown (and toggled) in
  // their column; null hides the column.
  void ShowViewport(TqdDXFViewport* VP);
  TqdDXFViewport* Viewport() const { return FViewport; }
  // The viewport's new frozen layers (handles), as an edit.
  std::function<void(TqdDXFViewport* VP, std::vector<std::uint64_t> Old, std::vector<std::uint64_t> New,
                     const QString& Text)>
      OnChangeViewportLayers;
  // Runs a menu at a screen point; QMenu::exec by default.
  std::function<QAction*(QMenu& Menu, const QPoint& At)> OnExecMenu;
  // Asks for an ACI index (1..255) or a true colour; dialogs by default.
  std::function<std::optional<int>(int Current)> OnAskColorIndex;
  std::function<std::optional<std::uint32_t>(std::uint32_t CurrentRGB)> OnAskTrueColor;

  QTableWidget* tblLayers = nullptr;
  QToolButton *btnAllOn = nullptr, *btnIsolate = nullptr;
  QLabel* lblViewport = nullptr;

 private:
  void FillRow(int Row);
  // Runs M at Row's cell of column Col; the action chosen, or null.
  QAction* ExecAtCell(QMenu& M, int Row, int Col);
  void Change(TqdDXFLayer* L, const TqdLayerState& New, const QString& What);
  TqdDXFViewport* FViewport = nullptr;
  TqdDXFConverter* FConverter = nullptr;
  std::vector<TqdDXFLayer*> FLayers;
  bool FFilling = false;
};

// A word for a line weight in millimetres ("ByLayer", "Default", "0.25 mm").
QString qdLineWeightText(double MM);
// A word for a CAD colour ("Red", "Index 30", "RGB 1,2,3").
QString qdColorText(const TqdColorCAD& C);
