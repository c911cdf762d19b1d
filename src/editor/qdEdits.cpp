#include "qdEdits.h"

#include "DXFBase.h"
#include "Objects.h"
#include "Properties.h"
#include "TableItems.h"
#include "qdSManager.h"

QString qdEditEntityName(const TqdDXFEntity* E) {
  if (!E) return {};
  return QString::fromStdString(GetPropertyName(E->ClassName())).toUpper();
}

// ---------------------------------------------------------------- attribute

TqdAttributeEdit::TqdAttributeEdit(const TqdEditContext& Ctx, TqdDXFEntity* Entity, TqdDXFEntity* Target,
                                   std::string Element, int Id, const TqdData& Old, const TqdData& New,
                                   const QString& Text)
    : QUndoCommand(Text), FCtx(Ctx), FEntity(Entity), FTarget(Target), FElement(std::move(Element)), FId(Id),
      FOld(Old), FNew(New) {}

void TqdAttributeEdit::redo() {
  if (FDone) {
    FDone = false;
    return;
  }
  Set(FNew);
}

void TqdAttributeEdit::Set(const TqdData& D) {
  TqdNode N(FElement);
  N.AddAttribId(FId, D);
  FTarget->FromXML(N, nullptr);
  if (FCtx.EntityChanged) FCtx.EntityChanged(FEntity);
}

// ---------------------------------------------------------------- move

std::vector<TFPoint> qdEntityPoints(TqdDXFEntity* E) {
  std::vector<TFPoint> R;
  qdMapEntityPoints(E, [&R](const TFPoint& P) {
    R.push_back(P);
    return P;
  });
  return R;
}

TqdMoveEdit::TqdMoveEdit(const TqdEditContext& Ctx, std::vector<TqdDXFEntity*> Entities,
                         std::vector<std::vector<TFPoint>> Before)
    : QUndoCommand(Entities.size() == 1 ? "Move " + qdEditEntityName(Entities.front())
                                        : QString("Move %1 entities").arg(Entities.size())),
      FCtx(Ctx), FEntities(std::move(Entities)), FBefore(std::move(Before)) {
  for (TqdDXFEntity* E : FEntities) FAfter.push_back(qdEntityPoints(E));
}

void TqdMoveEdit::Put(const std::vector<std::vector<TFPoint>>& Points) {
  for (std::size_t K = 0; K < FEntities.size() && K < Points.size(); ++K) {
    std::size_t Next = 0;
    const std::vector<TFPoint>& L = Points[K];
    qdMapEntityPoints(FEntities[K], [&](const TFPoint& P) { return Next < L.size() ? L[Next++] : P; });
    if (FCtx.EntityChanged) FCtx.EntityChanged(FEntities[K]);
  }
}

void TqdMoveEdit::redo() {
  if (FDone) {
    FDone = false;
    return;
  }
  Put(FAfter);
}

// ---------------------------------------------------------------- add

TqdAddEntityEdit::TqdAddEntityEdit(const TqdEditContext& Ctx, TqdDXFEntity* Owner, TqdDXFEntity* Added,
                                   const QString& Text)
    : QUndoCommand(Text), FCtx(Ctx), FOwner(Owner), FAdded(Added) {}

TqdAddEntityEdit::~TqdAddEntityEdit() = default;

void TqdAddEntityEdit::undo() {
  const int I = FOwner->IndexOfEntity(FAdded);
  if (I < 0) return;
  FKept = FOwner->DeleteEntity(I);
  if (FCtx.ListChanged) FCtx.ListChanged();
}

void TqdAddEntityEdit::redo() {
  if (!FKept) return;  // the first redo: the entity is already in
  if (FOwner->AddEntity(std::move(FKept)) < 0) return;
  if (FCtx.ListChanged) FCtx.ListChanged();
  if (FCtx.EntityChanged) FCtx.EntityChanged(FAdded);
}

// ---------------------------------------------------------------- layers

TqdLayerState TqdLayerState::Of(const TqdDXFLayer& L) {
  TqdLayerState S;
  S.On = L.Visible();
  S.Frozen = L.Frozen();
  S.Locked = L.Locked();
  S.Color = L.ColorCAD();
  S.LineType = L.LineType();
  S.LineWeight = L.LineWeight();
  return S;
}

void TqdLayerState::ApplyTo(TqdDXFLayer& L) const {
  L.SetVisible(On);
  L.SetFrozen(Frozen);
  L.SetLocked(Locked);
  L.SetColorCAD(Color);
  if (LineType && LineType != L.LineType()) L.SetLineType(LineType);
  L.SetLineWeight(LineWeight);
}

bool TqdLayerState::operator==(const TqdLayerState& O) const {
  return On == O.On && Frozen == O.Frozen && Locked == O.Locked && Color.Active == O.Color.Active &&
         Color.Color == O.Color.Color && LineType == O.LineType && LineWeight == O.LineWeight;
}

TqdLayerEdit::TqdLayerEdit(const TqdEditContext& Ctx, std::vector<TChange> Changes, const QString& Text)
    : QUndoCommand(Text), FCtx(Ctx), FChanges(std::move(Changes)) {}

void TqdLayerEdit::Apply(bool New) {
  for (const TChange& C : FChanges) {
    (New ? C.New : C.Old).ApplyTo(*C.Layer);
    if (FCtx.LayerChanged) FCtx.LayerChanged(C.Layer);
  }
}

void TqdLayerEdit::undo() { Apply(false); }
void TqdLayerEdit::redo() { Apply(true); }

TqdViewportLayersEdit::TqdViewportLayersEdit(const TqdEditContext& Ctx, TqdDXFViewport* Viewport,
                                             std::vector<std::uint64_t> Old, std::vector<std::uint64_t> New,
                                             const QString& Text)
    : QUndoCommand(Text), FCtx(Ctx), FViewport(Viewport), FOld(std::move(Old)), FNew(std::move(New)) {}

void TqdViewportLayersEdit::Apply(const std::vector<std::uint64_t>& Handles) {
  FViewport->FrozenLayers() = Handles;
  // Drawn through the viewport with its new list; the panel shows it.
  if (FCtx.EntityChanged) FCtx.EntityChanged(FViewport);
  if (FCtx.LayerChanged) FCtx.LayerChanged(nullptr);
}
