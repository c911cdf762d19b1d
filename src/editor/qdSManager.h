#pragma once
// The editor's selection: takes over the navigator's mouse and paint events
// (chaining the previous handlers), picks entities through the selection
// raster or a frame, keeps them in selection order, draws their markers, moves
// them when dragged, and tells the inspector what to show.
//
// The shown image and its drawing are read from the navigator at every event:
// after a Close or a failed Open nothing here points into a freed drawing.
#include <QPoint>
#include <QRect>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "qdConsts.h"
#include "qdDrawingNavigator.h"

class TqdCADImage;
class TqdDXFConverter;
class TqdDXFEntity;
class TqdDXFLayout;
class TqdSelectionMatrix;
class TfmEntityInspector;
class QPainter;

enum TqdManagerMode { mmSelect, mmMultiSelect };

// Replaces each point that places E (end points, vertices, insertion point)
// by Map of it, always in the same order; false for kinds that have none.
bool qdMapEntityPoints(TqdDXFEntity* E, const std::function<TFPoint(const TFPoint&)>& Map);
// Moves one entity by D in drawing units (not recomputed); false for kinds
// that are not moved.
bool qdMoveEntity(TqdDXFEntity* E, const TFPoint& D);
// The entity's layer is on and thawed (an entity without a layer is shown).
bool qdLayerShown(const TqdDXFEntity* E);
bool qdLayerLocked(const TqdDXFEntity* E);

class TqdSelectionManager {
 public:
  explicit TqdSelectionManager(TfmEntityInspector* Inspector = nullptr);
  ~TqdSelectionManager();
  TqdSelectionManager(const TqdSelectionManager&) = delete;
  TqdSelectionManager& operator=(const TqdSelectionManager&) = delete;

  // Attaches to N (null detaches): the previous navigator gets its handlers
  // back; N's rectangle zoom is switched off and its mouse and paint handlers are
  // chained behind the manager's; the inspector loads N's entity list.
  // Attaching the same navigator again only re-reads its graphic. LoadList
  // false leaves the list to a SetLayouts that follows at once.
  void SetDNavigator(TqdDrawingNavigator* N, bool LoadList = true);
  TqdDrawingNavigator* DNavigator() const { return FDNavigator; }
  // The navigator's image now (null for other pictures and when empty).
  TqdCADImage* Img() const;
  TqdDXFConverter* Converter() const;
  TqdSelectionMatrix* Matrix() const { return FMatrix.get(); }

  TqdManagerMode Mode() const { return FMode; }
  void SetMode(TqdManagerMode M) { FMode = M; }
  TfmEntityInspector* EntityInspector() const { return FEntityInspector; }

  // ---- the selection
  const std::vector<TqdDXFEntity*>& Entities() const { return FEntities; }
  const std::vector<TqdDXFEntity*>& SelectedEntities() const { return FEntities; }
  bool IsSelected(const TqdDXFEntity* E) const { return FSet.count(E) != 0; }
  // Adds E when it is not selected yet (true when added).
  bool Select(TqdDXFEntity* E);
  bool Unselect(TqdDXFEntity* E);
  // Every top-level entity of the shown layout, each once.
  void SelectAll();
  void DeselectAll();
  // DeselectAll, and the inspector is cleared.
  void Cancel();
  // Shows layout Index: the selection is emptied and the inspector reloaded.
  void SetLayouts(int Index);
  // The entity under client pixel P (null when none or before the first frame).
  TqdDXFEntity* FindEntity(QPoint P);
  // Moves the selected entities by D in drawing units and recomputes them.
  void MoveSelection(const TFPoint& D);

  // ---- interaction state
  QPoint DownPoint() const { return FDownPoint; }
  QPoint CurPoint() const { return FCurPoint; }
  bool Selection() const { return FSelection; }
  bool Draging() const { return FDraging; }
  // A left drag in pointer mode away from the selection is showing its zoom frame.
  bool RectZooming() const;
  // The drawing was changed (the selection moved).
  std::function<void()> OnChanged;
  // The entities that a drag moved (already moved and recomputed), with the
  // points each had before (in qdMapEntityPoints order).
  std::function<void(const std::vector<TqdDXFEntity*>& Moved, const std::vector<std::vector<TFPoint>>& Before)>
      OnMoved;
  // Drops the selected entities whose layer is off or frozen now.
  void DropHidden();

  // ---- the navigator's events (public for the chain and for tests)
  void MouseDown(TqdDrawingNavigator* Sender, QMouseEvent* E);
  void MouseMove(TqdDrawingNavigator* Sender, QMouseEvent* E);
  void MouseUp(TqdDrawingNavigator* Sender, QMouseEvent* E);
  void Paint(TqdDrawingNavigator* Sender, QPainter& P);
  // Repaints the markers (after a change of the selection).
  void InvalidateHighlights();

 private:
  void Detach();
  void SelectInFrame(const QRect& Frame, bool Add);
  void DrawHighlights(QPainter& P);
  void ShowInInspector(TqdDXFEntity* Clicked);

  TqdDrawingNavigator* FDNavigator = nullptr;
  TfmEntityInspector* FEntityInspector = nullptr;
  std::unique_ptr<TqdSelectionMatrix> FMatrix;
  TqdManagerMode FMode = mmSelect;
  std::vector<TqdDXFEntity*> FEntities;
  std::unordered_set<const TqdDXFEntity*> FSet;
  QPoint FDownPoint, FCurPoint, FStartPoint;
  bool FSelection = false;
  bool FDraging = false;
  bool FZooming = false;
  TqdNavigatorMouseEvent FPrevMouseDown, FPrevMouseMove, FPrevMouseUp;
  TqdNavigatorPaintEvent FPrevPaint;
  bool FPrevRectZooming = true;
};
