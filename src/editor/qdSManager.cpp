#include "qdSManager.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <utility>
#include <cmath>

#include "CADImage.h"
#include "Curves.h"
#include "Dimensions.h"
#include "Faces.h"
#include "Polylines.h"
#include "fEntityInspector.h"
#include "qdSelection.h"
#include "TableItems.h"

namespace {

// A press released within this many pixels of where it started is a click,
// not a drag: a hand never holds a mouse perfectly still.
constexpr int cnstClickSlack = 2;
// Half the side of a marker square.
constexpr int cnstMarker = 4;

TFPoint Add(const TFPoint& A, const TFPoint& B) { return {A.X + B.X, A.Y + B.Y, A.Z + B.Z}; }

bool IsBoxOutlined(TqdCADEntities T) {
  switch (T) {
    case ceInsert:
    case ceXRef:
    case ceDimension:
    case ceHatch:
    case ceCurvePolygon:
    case cePolyPolygon:
    case ceGradient:
    case ceGradientPolygon:
    case ceMPolygon:
    case ceOle2Frame:
    case ceRegion:
    case ceBody:
    case ceSolidObject:
    case ceSurface:
    case ceImageEnt:
    case ceWipeOut:
    case ceACADTable:
    case ceMLine:
    case ceProxy:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool qdMapEntityPoints(TqdDXFEntity* E, const std::function<TFPoint(const TFPoint&)>& Map) {
  switch (E->EntType()) {
    case ceLine:
      if (auto* L = dynamic_cast<TqdDXFLine*>(E)) {
        // In order: the snapshot and its restore rely on it.
        const TFPoint A = Map(L->Point());
        const TFPoint B = Map(L->Point1());
        L->SetLine(A, B);
        return true;
      }
      return false;
    case ceSolid:
    case ceTrace:
      if (auto* S = dynamic_cast<TqdDXFSolid*>(E)) {
        const TFPoint P0 = S->Point(), P1 = S->Point1(), P2 = S->Point2(), P3 = S->Point3();
        S->SetPoint(Map(P0));
        S->SetPoint1(Map(P1));
        S->SetPoint2(Map(P2));
        S->SetPoint3(Map(P3));
        return true;
      }
      return false;
    case cePolyline:
    case ceLWPolyline:
      if (auto* P = dynamic_cast<TqdDXFPolyline*>(E)) {
        for (int I = 0; I < P->Count(); ++I)
          if (TqdDXFVertex* V = P->GetVertex(I)) V->SetPoint(Map(V->Point()));
        return true;
      }
      return false;
    case ceSpline:
      if (auto* S = dynamic_cast<TqdDXFSpline*>(E)) {
        TFPointList& C = S->Controls();
        for (int I = 0; I < C.Count(); ++I) C[I] = Map(C[I]);
        auto& Fit = const_cast<TFPointList&>(S->Fit());
        for (int I = 0; I < Fit.Count(); ++I) Fit[I] = Map(Fit[I]);
        return true;
      }
      return false;
    case ceLeader:
      if (auto* L = dynamic_cast<TqdDXFLeader*>(E)) {
        // A leader's vertices are its control points.
        for (TFPoint& P : L->Controls()) P = Map(P);
        return true;
      }
      return false;
    case ceCircle:
    case ceArc:
    case ceEllipse:
    case ceInsert:
    case ceDimension:
    case ceTolerance:
    case ceMText:
    case ceShape:
    case ceText:
    case ceAttdef:
    case ceAttrib:
    case ceACADTable:
    case ceMLine:
      if (auto* V = dynamic_cast<TqdDXFCustomVertex*>(E)) {
        V->SetPoint(Map(V->Point()));
        return true;
      }
      return false;
    default:
      return false;
  }
}

bool qdMoveEntity(TqdDXFEntity* E, const TFPoint& D) {
  return qdMapEntityPoints(E, [&D](const TFPoint& P) { return Add(P, D); });
}

bool qdLayerShown(const TqdDXFEntity* E) {
  const TqdDXFLayer* L = E ? E->Layer() : nullptr;
  return !L || (L->Visible() && !L->Frozen());
}

bool qdLayerLocked(const TqdDXFEntity* E) {
  const TqdDXFLayer* L = E ? E->Layer() : nullptr;
  return L && L->Locked();
}

TqdSelectionManager::TqdSelectionManager(TfmEntityInspector* Inspector)
    : FEntityInspector(Inspector), FMatrix(std::make_unique<TqdSelectionMatrix>()) {}

TqdSelectionManager::~TqdSelectionManager() { Detach(); }

TqdCADImage* TqdSelectionManager::Img() const { return FDNavigator ? FDNavigator->CADImage() : nullptr; }

TqdDXFConverter* TqdSelectionManager::Converter() const {
  TqdCADImage* I = Img();
  return I ? I->Converter() : nullptr;
}

void TqdSelectionManager::Detach() {
  if (!FDNavigator) return;
  FDNavigator->OnMouseDown = std::move(FPrevMouseDown);
  FDNavigator->OnMouseMove = std::move(FPrevMouseMove);
  FDNavigator->OnMouseUp = std::move(FPrevMouseUp);
  FDNavigator->OnPaint = std::move(FPrevPaint);
  FDNavigator->SetRectZooming(FPrevRectZooming);
  if (FDNavigator->SelectionMatrix() == FMatrix.get()) FDNavigator->SetSelectionMatrix(nullptr);
  FDNavigator = nullptr;
}

void TqdSelectionManager::SetDNavigator(TqdDrawingNavigator* N, bool LoadList) {
  if (N != FDNavigator) {
    DeselectAll();
    Detach();
    FDNavigator = N;
    if (N) {
      FPrevRectZooming = N->RectZooming();
      N->SetRectZooming(false);
      FPrevMouseDown = std::move(N->OnMouseDown);
      FPrevMouseMove = std::move(N->OnMouseMove);
      FPrevMouseUp = std::move(N->OnMouseUp);
      FPrevPaint = std::move(N->OnPaint);
      N->OnMouseDown = [this](TqdDrawingNavigator* S, QMouseEvent* E) { MouseDown(S, E); };
      N->OnMouseMove = [this](TqdDrawingNavigator* S, QMouseEvent* E) { MouseMove(S, E); };
      N->OnMouseUp = [this](TqdDrawingNavigator* S, QMouseEvent* E) { MouseUp(S, E); };
      N->OnPaint = [this](TqdDrawingNavigator* S, QPainter& P) { Paint(S, P); };
      N->SetSelectionMatrix(FMatrix.get());
    }
  }
  if (FEntityInspector && LoadList) FEntityInspector->Load(N);
}

// ---------------------------------------------------------------- the list

bool TqdSelectionManager::Select(TqdDXFEntity* E) {
  // What a layer hides cannot be picked, not even by a frame or Select all.
  if (!E || !qdLayerShown(E) || !FSet.insert(E).second) return false;
  FEntities.push_back(E);
  return true;
}

bool TqdSelectionManager::Unselect(TqdDXFEntity* E) {
  if (!FSet.erase(E)) return false;
  FEntities.erase(std::find(FEntities.begin(), FEntities.end(), E));
  return true;
}

void TqdSelectionManager::SelectAll() {
  TqdCADImage* I = Img();
  const TqdDXFLayout* L = I ? I->CurrentLayout() : nullptr;
  const TqdDXFEntity* B = L ? L->PaperSpaceBlockField() : nullptr;
  if (!B) return;
  const int N = B->Count();
  FEntities.reserve(static_cast<std::size_t>(N));
  FSet.reserve(static_cast<std::size_t>(N));
  for (int K = 0; K < N; ++K) Select(B->GetEntity(K));
  InvalidateHighlights();
}

void TqdSelectionManager::DeselectAll() {
  FEntities.clear();
  FSet.clear();
  FSelection = FDraging = false;
  InvalidateHighlights();
}

void TqdSelectionManager::Cancel() {
  DeselectAll();
  if (FEntityInspector) FEntityInspector->RefreshGrid(nullptr);
}

void TqdSelectionManager::SetLayouts(int Index) {
  DeselectAll();
  TqdCADImage* I = Img();
  if (!I || Index < 0 || Index >= I->LayoutsCount()) return;
  I->SetCurrentLayout(I->GetLayout(Index), Index);
  if (FEntityInspector) FEntityInspector->Load(FDNavigator);
  if (FDNavigator) FDNavigator->Invalidate();
}

TqdDXFEntity* TqdSelectionManager::FindEntity(QPoint P) {
  // The raster of the last frame is what the user sees; before the first frame
  // (and after the picture went) it answers nothing.
  if (!Img() || !FDNavigator) return nullptr;
  return const_cast<TqdDXFEntity*>(FMatrix->GetElementInMatrix(P.x(), P.y()));
}

void TqdSelectionManager::SelectInFrame(const QRect& Frame, bool Add) {
  if (!Add) {
    FEntities.clear();
    FSet.clear();
  }
  TqdCADImage* I = Img();
  const TqdDXFLayout* L = I ? I->CurrentLayout() : nullptr;
  const TqdDXFEntity* B = L ? L->PaperSpaceBlockField() : nullptr;
  if (!B) return;
  const QRect R = Frame.normalized();
  auto Inside = [&](const TFPoint& P) {
    const TqdPoint Q = I->GetPoint(P);
    return Q.X >= R.left() && Q.X <= R.right() && Q.Y >= R.top() && Q.Y <= R.bottom();
  };
  auto Test = [&](int K) {
    TqdDXFEntity* E = B->GetEntity(K);
    if (!E) return;
    const TFRect Box = E->Box();
    if (IsBadBox(Box)) return;
    if (Inside({Box.Left, Box.Top, Box.Z1}) && Inside({Box.Right, Box.Bottom, Box.Z2})) Select(E);
  };
  // Through the block's spatial index when it has one: only what the frame may hold.
  const auto* G = dynamic_cast<const TqdDXFGroup*>(B);
  const TqdSpatialIndex* Ix = G ? G->SpatialIndex() : nullptr;
  std::vector<int> Hits;
  if (Ix && Ix->QueryDevice(I->DrawParams().Matrix, R.left() - 1.0, R.top() - 1.0, R.right() + 1.0,
                            R.bottom() + 1.0, Hits)) {
    for (auto K = Hits.rbegin(); K != Hits.rend(); ++K) Test(*K);
    return;
  }
  for (int K = B->Count() - 1; K >= 0; --K) Test(K);
}

void TqdSelectionManager::MoveSelection(const TFPoint& D) {
  TqdDXFConverter* C = Converter();
  if (!C || FEntities.empty() || !IsFiniteFPoint(D)) return;
  // Entities of a locked layer stay where they are.
  std::vector<TqdDXFEntity*> Moved;
  std::vector<std::vector<TFPoint>> Before;
  for (TqdDXFEntity* E : FEntities) {
    if (qdLayerLocked(E)) continue;
    std::vector<TFPoint> Points;
    qdMapEntityPoints(E, [&Points](const TFPoint& P) {
      Points.push_back(P);
      return P;
    });
    if (qdMoveEntity(E, D)) {
      C->Loads(E);
      Moved.push_back(E);
      Before.push_back(std::move(Points));
    }
  }
  if (FDNavigator) FDNavigator->Invalidate();
  if (Moved.empty()) return;
  if (OnMoved) OnMoved(Moved, Before);
  if (OnChanged) OnChanged();
}

// ---------------------------------------------------------------- mouse

void TqdSelectionManager::MouseDown(TqdDrawingNavigator* Sender, QMouseEvent* E) {
  if (E->button() == Qt::LeftButton && Img()) {
    FDownPoint = FCurPoint = FStartPoint = E->position().toPoint();
    FSelection = true;
    // In pointer mode a press on a selected entity drags the selection; a press
    // anywhere else that turns into a drag zooms to the rectangle it spans.
    FDraging = false;
    FZooming = false;
    if (FMode == mmSelect) {
      TqdDXFEntity* Hit = FEntities.empty() ? nullptr : FindEntity(FDownPoint);
      FDraging = Hit && IsSelected(Hit);
      FZooming = !FDraging;
    }
    if (FMode == mmMultiSelect && FDNavigator) FDNavigator->update();
  }
  if (FPrevMouseDown) FPrevMouseDown(Sender, E);
}

void TqdSelectionManager::MouseMove(TqdDrawingNavigator* Sender, QMouseEvent* E) {
  if (FSelection && FDNavigator && (FMode == mmMultiSelect || FZooming)) {
    // The frame stays inside the client, as the navigator's own rubber band does.
    const QPoint P = E->position().toPoint();
    FCurPoint = {std::clamp(P.x(), 0, std::max(0, FDNavigator->width() - 1)),
                 std::clamp(P.y(), 0, std::max(0, FDNavigator->height() - 1))};
    FDNavigator->update();
  }
  if (FPrevMouseMove) FPrevMouseMove(Sender, E);
}

bool TqdSelectionManager::RectZooming() const {
  return FSelection && FZooming && (FCurPoint - FDownPoint).manhattanLength() >= cnstClickSlack;
}

void TqdSelectionManager::MouseUp(TqdDrawingNavigator* Sender, QMouseEvent* E) {
  if (E->button() == Qt::LeftButton && FSelection && Img() && FDNavigator) {
    const QPoint P = E->position().toPoint();
    const bool Shift = (E->modifiers() & Qt::ShiftModifier) != 0;
    const bool Moved = (P - FDownPoint).manhattanLength() >= cnstClickSlack;
    TqdDXFEntity* Clicked = nullptr;
    if (FMode == mmMultiSelect) {
      SelectInFrame(QRect(FDownPoint, P), Shift);
    } else if (FZooming && Moved) {
      // The rectangle zoom leaves the selection as it is.
      const QPoint C(std::clamp(P.x(), 0, std::max(0, FDNavigator->width() - 1)),
                     std::clamp(P.y(), 0, std::max(0, FDNavigator->height() - 1)));
      FSelection = FDraging = FZooming = false;
      FDNavigator->ZoomToRect({double(FDownPoint.x()), double(FDownPoint.y()), double(C.x()), double(C.y())});
      FDNavigator->update();
      if (FPrevMouseUp) FPrevMouseUp(Sender, E);
      return;
    } else if (FDraging && Moved) {
      const TFPoint A = FDNavigator->GetDrawingInternalCoordsWithoutSnap(FDownPoint.x(), FDownPoint.y());
      const TFPoint B = FDNavigator->GetDrawingInternalCoordsWithoutSnap(P.x(), P.y());
      MoveSelection({B.X - A.X, B.Y - A.Y, B.Z - A.Z});
    } else if (!Moved) {
      Clicked = FindEntity(FDownPoint);
      const bool Was = IsSelected(Clicked);
      if (!Shift) {
        FEntities.clear();
        FSet.clear();
      }
      if (Clicked) {
        if (Was && Shift)
          Unselect(Clicked);
        else
          Select(Clicked);
      }
    }
    FSelection = FDraging = FZooming = false;
    InvalidateHighlights();
    ShowInInspector(Clicked);
  }
  if (FPrevMouseUp) FPrevMouseUp(Sender, E);
}

void TqdSelectionManager::ShowInInspector(TqdDXFEntity* Clicked) {
  if (!FEntityInspector) return;
  // One entity selected: the inspector shows it; several or none: nothing.
  FEntityInspector->RefreshGrid(FEntities.size() == 1 ? FEntities.front() : nullptr);
  (void)Clicked;
}

// ---------------------------------------------------------------- markers

void TqdSelectionManager::InvalidateHighlights() {
  if (FDNavigator) FDNavigator->update();
}

void TqdSelectionManager::Paint(TqdDrawingNavigator* Sender, QPainter& P) {
  DrawHighlights(P);
  if ((FMode == mmMultiSelect && FSelection) || RectZooming()) {
    // The frame: drawn over the picture by inversion, like the navigator's own.
    P.save();
    P.setPen(QPen(Qt::black, 1, Qt::DotLine));
    P.setBrush(Qt::NoBrush);
    P.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    P.drawRect(QRect(FDownPoint, FCurPoint).normalized());
    P.restore();
  }
  if (FPrevPaint) FPrevPaint(Sender, P);
}

void TqdSelectionManager::DrawHighlights(QPainter& P) {
  TqdCADImage* I = Img();
  if (!I || FEntities.empty() || !FDNavigator) return;
  // Markers off the client are not drawn, and one marker per pixel is enough:
  // a whole drawing selected stays cheap to paint.
  const QRect Client = FDNavigator->rect().adjusted(-cnstMarker, -cnstMarker, cnstMarker, cnstMarker);
  std::vector<QRect> Marks;
  std::vector<QPolygon> Boxes;
  const int SW = Client.width(), SH = Client.height();
  std::vector<std::uint8_t> Seen(static_cast<std::size_t>(SW) * static_cast<std::size_t>(SH), 0);
  auto Mark = [&](const TFPoint& W) {
    const TqdPoint Q = I->GetPoint(W);
    if (!Client.contains(Q.X, Q.Y)) return;
    std::uint8_t& S = Seen[static_cast<std::size_t>(Q.Y - Client.top()) * static_cast<std::size_t>(SW) +
                           static_cast<std::size_t>(Q.X - Client.left())];
    if (S) return;
    S = 1;
    Marks.emplace_back(Q.X - cnstMarker, Q.Y - cnstMarker, 2 * cnstMarker, 2 * cnstMarker);
  };
  // The box on the device; false when it misses the client.
  auto DeviceBox = [&](const TFRect& B, QRect& R) {
    if (IsBadBox(B)) return false;
    const TqdPoint A = I->GetPoint({B.Left, B.Top, B.Z1}), C = I->GetPoint({B.Right, B.Bottom, B.Z1});
    R = QRect(QPoint(A.X, A.Y), QPoint(C.X, C.Y)).normalized();
    return R.intersects(Client);
  };
  auto BoxCorners = [&](const TFRect& B, bool Mids) {
    if (IsBadBox(B)) return;
    Mark({B.Left, B.Top, B.Z1});
    Mark({B.Right, B.Top, B.Z1});
    Mark({B.Right, B.Bottom, B.Z1});
    Mark({B.Left, B.Bottom, B.Z1});
    if (Mids) {
      const double CX = (B.Left + B.Right) / 2, CY = (B.Top + B.Bottom) / 2;
      Mark({CX, B.Top, B.Z1});
      Mark({B.Right, CY, B.Z1});
      Mark({CX, B.Bottom, B.Z1});
      Mark({B.Left, CY, B.Z1});
    }
  };
  for (TqdDXFEntity* E : FEntities) {
    const TqdCADEntities T = E->EntType();
    if (IsBoxOutlined(T)) {
      const TFRect B = E->Box();
      if (IsBadBox(B)) continue;
      QPolygon Q;
      for (const TFPoint& W : {TFPoint{B.Left, B.Top, B.Z1}, TFPoint{B.Right, B.Top, B.Z1},
                               TFPoint{B.Right, B.Bottom, B.Z1}, TFPoint{B.Left, B.Bottom, B.Z1}}) {
        const TqdPoint D = I->GetPoint(W);
        Q << QPoint(D.X, D.Y);
      }
      if (Q.boundingRect().intersects(Client)) Boxes.push_back(Q);
      continue;
    }
    // Entities off the client draw no marker.
    if (QRect R; !IsBadBox(E->Box()) && !DeviceBox(E->Box(), R)) continue;
    switch (T) {
      case cePoint:
        if (auto* V = dynamic_cast<TqdDXFCustomVertex*>(E)) Mark(V->Point());
        break;
      case ceLine:
        if (auto* L = dynamic_cast<TqdDXFLine*>(E)) {
          Mark(L->Point());
          Mark(L->Point1());
        }
        break;
      case ceSolid:
      case ceTrace:
      case ce3dFace:
        if (auto* S = dynamic_cast<TqdDXFSolid*>(E)) {
          Mark(S->Point());
          Mark(S->Point1());
          Mark(S->Point2());
          Mark(S->Point3());
        }
        break;
      case ceText:
      case ceMText:
      case ceAttdef:
      case ceAttrib:
        BoxCorners(E->Box(), true);
        break;
      case ceLeader:
        if (auto* L = dynamic_cast<TqdDXFLeader*>(E))
          for (const TFPoint& W : std::as_const(*L).Controls()) Mark(W);
        break;
      default:
        if (QRect R; DeviceBox(E->Box(), R) && R.width() <= 2 * cnstMarker && R.height() <= 2 * cnstMarker) {
          // Smaller than a marker: its corners say as much as its curve would,
          // without making the curve's points.
          BoxCorners(E->Box(), false);
        } else if (auto* C = dynamic_cast<TqdCADBasePolyline*>(E)) {
          const TFPointList& Pts = C->PolyPoints();
          for (int K = 0; K < Pts.Count(); ++K) Mark(Pts[K]);
        } else {
          BoxCorners(E->Box(), false);
        }
        break;
    }
  }
  P.save();
  P.setRenderHint(QPainter::Antialiasing, false);
  P.setBrush(Qt::NoBrush);
  P.setPen(QPen(QColor(0, 0, 255), 1));
  if (!Marks.empty()) P.drawRects(Marks.data(), static_cast<int>(Marks.size()));
  P.setPen(QPen(QColor(255, 0, 0), 1));
  for (const QPolygon& Q : Boxes) P.drawPolygon(Q);
  P.restore();
}

void TqdSelectionManager::DropHidden() {
  std::vector<TqdDXFEntity*> Keep;
  for (TqdDXFEntity* E : FEntities)
    if (qdLayerShown(E)) Keep.push_back(E);
  if (Keep.size() == FEntities.size()) return;
  FEntities = std::move(Keep);
  FSet.clear();
  FSet.insert(FEntities.begin(), FEntities.end());
  InvalidateHighlights();
}
