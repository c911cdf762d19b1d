#pragma once
// Measuring in drawing units: the distance between two picked points (with
// dX, dY and the angle), the area and perimeter of picked points, and what a
// picked entity measures (radius of a circle or arc, area and perimeter of a
// closed one). Picks snap to end points, midpoints, centres, intersections
// and, failing those, the nearest point of an entity; the snap is shown as a
// marker while the pointer moves.
#include <QDockWidget>
#include <QString>
#include <functional>
#include <vector>

#include "qdConsts.h"

class QButtonGroup;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class TqdDXFEntity;
class TqdDrawingNavigator;
class TqdSelectionMatrix;

enum TqdSnapKind { skNone, skEndpoint, skMidpoint, skCentre, skIntersection, skNearest };

struct TqdSnap {
  TqdSnapKind Kind = skNone;
  TFPoint Point{0, 0, 0};
};

// The snap for the pointer at Pointer (drawing units) among Entities; Tolerance
// is how far (drawing units) a snap point may lie. Kinds before "nearest" win
// over it whatever the distance. Wider: entities further away whose centres
// may still be meant (a centre lies away from the outline the pointer is near).
TqdSnap qdFindSnap(const std::vector<const TqdDXFEntity*>& Entities, const TFPoint& Pointer, double Tolerance,
                   const std::vector<const TqdDXFEntity*>& Wider = {});

// The area (absolute) and perimeter of the closed polygon P.
void qdPolygonMeasure(const std::vector<TFPoint>& P, double& Area, double& Perimeter);
// What Entity measures, as text lines; empty when it measures nothing.
QStringList qdEntityMeasure(const TqdDXFEntity* Entity);
// Distance lines for A to B ("Distance 5", "dX 3", "dY 4", "Angle 53.13°").
QStringList qdDistanceMeasure(const TFPoint& A, const TFPoint& B);
// Numbers as shown: up to 6 decimals, no trailing zeros, "." always.
QString qdMeasureNumber(double V, int Decimals = 6);

class TfmMeasure : public QDockWidget {
 public:
  enum TMode { mdDistance, mdArea, mdEntity };
  explicit TfmMeasure(QWidget* Parent = nullptr);
  ~TfmMeasure() override;

  // Starts measuring on N (null stops); Matrix names the entities under a pixel.
  void Attach(TqdDrawingNavigator* N, TqdSelectionMatrix* Matrix);
  bool Active() const { return FNavigator != nullptr; }
  TMode Mode() const { return FMode; }
  void SetMode(TMode M);
  // Forgets the picked points.
  void Reset();
  QString Result() const;
  const TqdSnap& CurrentSnap() const { return FSnap; }
  const std::vector<TFPoint>& Points() const { return FPoints; }

  QToolButton *btnDistance = nullptr, *btnArea = nullptr, *btnEntity = nullptr;
  QPushButton *btnCopy = nullptr, *btnClear = nullptr;
  QPlainTextEdit* memResult = nullptr;

 protected:
  bool eventFilter(QObject* Watched, QEvent* E) override;

 private:
  // The snap (or the bare pointer) for client pixel P.
  TqdSnap SnapAt(QPoint P) const;
  void Pick(QPoint P);
  void Show(const QStringList& Lines);
  void PaintMarkers();
  TqdDrawingNavigator* FNavigator = nullptr;
  TqdSelectionMatrix* FMatrix = nullptr;
  class TOverlay* FOverlay = nullptr;
  TMode FMode = mdDistance;
  TqdSnap FSnap;
  std::vector<TFPoint> FPoints;
  friend class TOverlay;
};
