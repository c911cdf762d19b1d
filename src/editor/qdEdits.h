#pragma once
// The editor's edits as undo commands: every change the editor makes to a
// drawing goes through one QUndoStack as one of these, so that Ctrl+Z gives
// back exactly what was there. Commands are pushed after the change was made
// (the inspector and the mouse check and apply first); their first redo is
// then a no-op.
#include <QUndoCommand>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qdConsts.h"
#include "qdXMLParser.h"
#include "CADColor.h"

class TqdDXFEntity;
class TqdDXFLayer;
class TqdDXFLineType;

// What the window does after a command changed the drawing.
struct TqdEditContext {
  // Entity (top level) was changed: recompute it, repaint, refresh the grid.
  std::function<void(TqdDXFEntity* Entity)> EntityChanged;
  // Entities came or went: the selection and the inspector's list are re-read.
  std::function<void()> ListChanged;
  // A layer's state changed: repaint, drop what it hides from the selection.
  std::function<void(TqdDXFLayer* Layer)> LayerChanged;
};

// The name an entity goes by in the Edit menu ("LINE", "INSERT").
QString qdEditEntityName(const TqdDXFEntity* E);

// One attribute of Target (the entity itself, or one of its vertices or block
// attributes) set from Old to New through its XML form.
class TqdAttributeEdit : public QUndoCommand {
 public:
  TqdAttributeEdit(const TqdEditContext& Ctx, TqdDXFEntity* Entity, TqdDXFEntity* Target, std::string Element,
                   int Id, const TqdData& Old, const TqdData& New, const QString& Text);
  void undo() override { Set(FOld); }
  void redo() override;

 private:
  void Set(const TqdData& D);
  TqdEditContext FCtx;
  TqdDXFEntity *FEntity, *FTarget;
  std::string FElement;
  int FId;
  TqdData FOld, FNew;
  bool FDone = true;
};

// Entities moved by a vector (the selection dragged). Undo puts back the very
// points the entities had (adding and subtracting a vector need not give them
// back to the last bit), redo the points they had after the move.
class TqdMoveEdit : public QUndoCommand {
 public:
  // Before: each entity's points before the move (qdEntityPoints), in order.
  TqdMoveEdit(const TqdEditContext& Ctx, std::vector<TqdDXFEntity*> Entities,
              std::vector<std::vector<TFPoint>> Before);
  void undo() override { Put(FBefore); }
  void redo() override;

 private:
  void Put(const std::vector<std::vector<TFPoint>>& Points);
  TqdEditContext FCtx;
  std::vector<TqdDXFEntity*> FEntities;
  std::vector<std::vector<TFPoint>> FBefore, FAfter;
  bool FDone = true;
};

// The points that place E, in the order qdMapEntityPoints visits them.
std::vector<TFPoint> qdEntityPoints(TqdDXFEntity* E);

// An entity added to a block (a paste); undo takes it out and keeps it.
class TqdAddEntityEdit : public QUndoCommand {
 public:
  TqdAddEntityEdit(const TqdEditContext& Ctx, TqdDXFEntity* Owner, TqdDXFEntity* Added, const QString& Text);
  ~TqdAddEntityEdit() override;
  void undo() override;
  void redo() override;
  TqdDXFEntity* Added() const { return FAdded; }

 private:
  TqdEditContext FCtx;
  TqdDXFEntity* FOwner;
  TqdDXFEntity* FAdded;
  std::unique_ptr<TqdDXFEntity> FKept;  // while undone
};

// The state of a layer that the layers panel edits.
struct TqdLayerState {
  bool On = true, Frozen = false, Locked = false;
  TqdColorCAD Color;
  TqdDXFLineType* LineType = nullptr;
  double LineWeight = cnstLWDefault;
  static TqdLayerState Of(const TqdDXFLayer& L);
  void ApplyTo(TqdDXFLayer& L) const;
  bool operator==(const TqdLayerState& O) const;
};

// Several layers changed at once ("All on", "Isolate") or one of them.
class TqdLayerEdit : public QUndoCommand {
 public:
  struct TChange {
    TqdDXFLayer* Layer;
    TqdLayerState Old, New;
  };
  // Applies the changes at once (the first redo).
  TqdLayerEdit(const TqdEditContext& Ctx, std::vector<TChange> Changes, const QString& Text);
  void undo() override;
  void redo() override;

 private:
  void Apply(bool New);
  TqdEditContext FCtx;
  std::vector<TChange> FChanges;
};

// The layers frozen in one paper-space viewport (by handle), from Old to New.
class TqdViewportLayersEdit : public QUndoCommand {
 public:
  TqdViewportLayersEdit(const TqdEditContext& Ctx, class TqdDXFViewport* Viewport, std::vector<std::uint64_t> Old,
                        std::vector<std::uint64_t> New, const QString& Text);
  void undo() override { Apply(FOld); }
  void redo() override { Apply(FNew); }

 private:
  void Apply(const std::vector<std::uint64_t>& Handles);
  TqdEditContext FCtx;
  class TqdDXFViewport* FViewport;
  std::vector<std::uint64_t> FOld, FNew;
};
