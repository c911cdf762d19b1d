#include "fMeasure.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>
#include <numbers>

#include "CADImage.h"
#include "Curves.h"
#include "Entities.h"
#include "Polylines.h"
#include "qdDrawingNavigator.h"
#include "qdSelection.h"

namespace {

// How near (pixels) the pointer must come to a point for it to snap.
constexpr int cnstSnapPixels = 10;

double Dist(const TFPoint& A, const TFPoint& B) { return std::hypot(B.X - A.X, B.Y - A.Y); }

TFPoint NearestOnSegment(const TFPoint& A, const TFPoint& B, const TFPoint& P) {
  const double DX = B.X - A.X, DY = B.Y - A.Y, L = DX * DX + DY * DY;
  if (!(L > 0)) return A;
  const double T = std::clamp(((P.X - A.X) * DX + (P.Y - A.Y) * DY) / L, 0.0, 1.0);
  return {A.X + T * DX, A.Y + T * DY, A.Z + T * (B.Z - A.Z)};
}

bool SegmentsCross(const TFPoint& A, const TFPoint& B, const TFPoint& C, const TFPoint& D, TFPoint& X) {
  const double R1 = B.X - A.X, R2 = B.Y - A.Y, S1 = D.X - C.X, S2 = D.Y - C.Y;
  const double Den = R1 * S2 - R2 * S1;
  if (std::fabs(Den) < 1e-12) return false;
  const double T = ((C.X - A.X) * S2 - (C.Y - A.Y) * S1) / Den;
  const double U = ((C.X - A.X) * R2 - (C.Y - A.Y) * R1) / Den;
  if (T < 0 || T > 1 || U < 0 || U > 1) return false;
  X = {A.X + T * R1, A.Y + T * R2, 0};
  return true;
}

struct TShape {
  std::vector<TFPoint> Ends, Mids, Centres;
  std::vector<std::pair<TFPoint, TFPoint>> Segments;
};

TShape ShapeOf(const TqdDXFEntity* E) {
  TShape S;
  auto Path = [&S](const TFPointList& P, bool Closed) {
    for (int I = 0; I + 1 < P.Count(); ++I) S.Segments.emplace_back(P[I], P[I + 1]);
    if (Closed && P.Count() > 2) S.Segments.emplace_back(P[P.Count() - 1], P[0]);
  };
  if (const auto* L = dynamic_cast<const TqdDXFLine*>(E)) {
    S.Ends = {L->Point(), L->Point1()};
    S.Mids = {{(L->Point().X + L->Point1().X) / 2, (L->Point().Y + L->Point1().Y) / 2, 0}};
    S.Segments.emplace_back(L->Point(), L->Point1());
  } else if (const auto* A = dynamic_cast<const TqdDXFArc*>(E)) {
    const TFPoint C = A->Point();
    const double R = A->Radius(), S0 = A->StartAngle() * std::numbers::pi / 180, S1 = A->EndAngle() * std::numbers::pi / 180;
    S.Centres = {C};
    S.Ends = {{C.X + R * std::cos(S0), C.Y + R * std::sin(S0), 0}, {C.X + R * std::cos(S1), C.Y + R * std::sin(S1), 0}};
    Path(A->PolyPoints(), false);
  } else if (const auto* Ci = dynamic_cast<const TqdDXFCircle*>(E)) {
    S.Centres = {Ci->Point()};
    Path(Ci->PolyPoints(), true);
  } else if (const auto* P = dynamic_cast<const TqdDXFPolyline*>(E)) {
    for (int I = 0; I < P->Count(); ++I)
      if (const TqdDXFVertex* V = P->GetVertex(I)) S.Ends.push_back(V->Point());
    const std::size_t N = S.Ends.size();
    for (std::size_t I = 0; I + 1 < N + (P->Closed() ? 1 : 0) && N > 1; ++I) {
      const TFPoint& A0 = S.Ends[I];
      const TFPoint& B0 = S.Ends[(I + 1) % N];
      S.Mids.push_back({(A0.X + B0.X) / 2, (A0.Y + B0.Y) / 2, 0});
    }
    Path(P->PolyPoints(), P->Closed());
  }
  return S;
}

}  // namespace

QString qdMeasureNumber(double V, int Decimals) {
  if (std::fabs(V) < 0.5 * std::pow(10.0, -Decimals)) V = 0;
  char Buf[64];
  const auto R = std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::fixed, Decimals);
  QString S = QString::fromLatin1(Buf, R.ptr - Buf);
  if (S.contains('.')) {
    while (S.endsWith('0')) S.chop(1);
    if (S.endsWith('.')) S.chop(1);
  }
  return S;
}

TqdSnap qdFindSnap(const std::vector<const TqdDXFEntity*>& Entities, const TFPoint& Pointer, double Tolerance,
                   const std::vector<const TqdDXFEntity*>& Wider) {
  TqdSnap Best;
  double BestD = Tolerance;
  auto Offer = [&](TqdSnapKind K, const TFPoint& P) {
    const double D = Dist(P, Pointer);
    if (D <= BestD) Best = {K, P}, BestD = D;
  };
  std::vector<TShape> Shapes;
  for (const TqdDXFEntity* E : Entities)
    if (E) Shapes.push_back(ShapeOf(E));
  for (const TShape& S : Shapes) {
    for (const TFPoint& P : S.Ends) Offer(skEndpoint, P);
    for (const TFPoint& P : S.Mids) Offer(skMidpoint, P);
    for (const TFPoint& P : S.Centres) Offer(skCentre, P);
  }
  for (const TqdDXFEntity* E : Wider)
    if (E)
      for (const TFPoint& P : ShapeOf(E).Centres) Offer(skCentre, P);
  for (std::size_t I = 0; I < Shapes.size(); ++I)
    for (std::size_t J = I + 1; J < Shapes.size(); ++J)
      for (const auto& [A, B] : Shapes[I].Segments)
        for (const auto& [C, D] : Shapes[J].Segments) {
          TFPoint X;
          if (SegmentsCross(A, B, C, D, X)) Offer(skIntersection, X);
        }
  if (Best.Kind != skNone) return Best;
  for (const TShape& S : Shapes)
    for (const auto& [A, B] : S.Segments) Offer(skNearest, NearestOnSegment(A, B, Pointer));
  return Best;
}

void qdPolygonMeasure(const std::vector<TFPoint>& P, double& Area, double& Perimeter) {
  Area = Perimeter = 0;
  const std::size_t N = P.size();
  for (std::size_t I = 0; I < N; ++I) {
    const TFPoint& A = P[I];
    const TFPoint& B = P[(I + 1) % N];
    Area += A.X * B.Y - B.X * A.Y;
    if (N > 1 && (N > 2 || I == 0)) Perimeter += Dist(A, B);
  }
  Area = std::fabs(Area) / 2;
}

QStringList qdDistanceMeasure(const TFPoint& A, const TFPoint& B) {
  const double DX = B.X - A.X, DY = B.Y - A.Y;
  double Angle = std::atan2(DY, DX) * 180 / std::numbers::pi;
  if (Angle < 0) Angle += 360;
  return {"Distance " + qdMeasureNumber(std::hypot(DX, DY)), "dX " + qdMeasureNumber(DX), "dY " + qdMeasureNumber(DY),
          "Angle " + qdMeasureNumber(Angle, 2) + QChar(0xB0)};
}

QStringList qdEntityMeasure(const TqdDXFEntity* E) {
  constexpr double Pi = std::numbers::pi;
  if (const auto* A = dynamic_cast<const TqdDXFArc*>(E)) {
    double Sweep = A->EndAngle() - A->StartAngle();
    while (Sweep <= 0) Sweep += 360;
    return {"Radius " + qdMeasureNumber(A->Radius()), "Length " + qdMeasureNumber(A->Radius() * Sweep * Pi / 180),
            "Angle " + qdMeasureNumber(Sweep, 2) + QChar(0xB0)};
  }
  if (const auto* C = dynamic_cast<const TqdDXFCircle*>(E)) {
    const double R = C->Radius();
    return {"Radius " + qdMeasureNumber(R), "Diameter " + qdMeasureNumber(2 * R), "Area " + qdMeasureNumber(Pi * R * R),
            "Perimeter " + qdMeasureNumber(2 * Pi * R)};
  }
  if (const auto* P = dynamic_cast<const TqdDXFPolyline*>(E)) {
    // Arcs of bulged segments count as their drawn chords.
    std::vector<TFPoint> Pts;
    const TFPointList& L = P->PolyPoints();
    for (int I = 0; I < L.Count(); ++I) Pts.push_back(L[I]);
    if (Pts.size() > 1 && Dist(Pts.front(), Pts.back()) < 1e-12) Pts.pop_back();
    double Area = 0, Perimeter = 0;
    qdPolygonMeasure(Pts, Area, Perimeter);
    if (!P->Closed()) {
      double Open = 0;
      for (std::size_t I = 0; I + 1 < Pts.size(); ++I) Open += Dist(Pts[I], Pts[I + 1]);
      return {"Length " + qdMeasureNumber(Open), "Open: no area"};
    }
    return {"Area " + qdMeasureNumber(Area), "Perimeter " + qdMeasureNumber(Perimeter)};
  }
  if (const auto* Ln = dynamic_cast<const TqdDXFLine*>(E)) return qdDistanceMeasure(Ln->Point(), Ln->Point1());
  return {};
}

// ---------------------------------------------------------------- panel

// Draws the snap marker and the picked points over the view.
class TOverlay : public QWidget {
 public:
  TOverlay(TfmMeasure* Owner, QWidget* Parent) : QWidget(Parent), FOwner(Owner) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    TqdDrawingNavigator* N = FOwner->FNavigator;
    TqdCADImage* I = N ? N->CADImage() : nullptr;
    if (!I) return;
    QPainter P(this);
    P.setRenderHint(QPainter::Antialiasing);
    auto Pix = [I](const TFPoint& D) {
      const TqdPoint Q = I->GetPoint(D);
      return QPointF(Q.X, Q.Y);
    };
    P.setPen(QPen(QColor(0, 160, 255), 1.5));
    const std::vector<TFPoint>& Pts = FOwner->FPoints;
    for (std::size_t K = 0; K < Pts.size(); ++K) {
      P.drawEllipse(Pix(Pts[K]), 3, 3);
      if (K > 0) P.drawLine(Pix(Pts[K - 1]), Pix(Pts[K]));
    }
    const TqdSnap& S = FOwner->FSnap;
    if (S.Kind == skNone) return;
    const QPointF C = Pix(S.Point);
    constexpr double R = 6;
    P.setPen(QPen(QColor(255, 140, 0), 2));
    P.setBrush(Qt::NoBrush);
    switch (S.Kind) {
      case skEndpoint: P.drawRect(QRectF(C.x() - R, C.y() - R, 2 * R, 2 * R)); break;
      case skMidpoint: {
        const QPointF T[] = {{C.x(), C.y() - R}, {C.x() + R, C.y() + R}, {C.x() - R, C.y() + R}};
        P.drawPolygon(T, 3);
        break;
      }
      case skCentre: P.drawEllipse(C, R, R); break;
      case skIntersection:
        P.drawLine(C + QPointF(-R, -R), C + QPointF(R, R));
        P.drawLine(C + QPointF(-R, R), C + QPointF(R, -R));
        break;
      default: {
        // Nearest: an hourglass.
        const QPointF H[] = {{C.x() - R, C.y() - R}, {C.x() + R, C.y() - R}, {C.x() - R, C.y() + R}, {C.x() + R, C.y() + R}};
        P.drawPolygon(H, 4);
      }
    }
  }

 private:
  TfmMeasure* FOwner;
};

TfmMeasure::TfmMeasure(QWidget* Parent) : QDockWidget("Measure", Parent) {
  setObjectName("fmMeasure");
  auto* Body = new QWidget(this);
  auto* V = new QVBoxLayout(Body);
  V->setContentsMargins(2, 2, 2, 2);
  auto* Modes = new QHBoxLayout;
  auto* Group = new QButtonGroup(this);
  auto Mode = [&](const char* Name, const QString& Text, const QString& Hint, TMode M) {
    auto* B = new QToolButton(Body);
    B->setObjectName(Name);
    B->setText(Text);
    B->setToolTip(Hint);
    B->setCheckable(true);
    Group->addButton(B);
    Modes->addWidget(B);
    connect(B, &QToolButton::clicked, this, [this, M] { SetMode(M); });
    return B;
  };
  btnDistance = Mode("btnDistance", "Distance", "Pick two points", mdDistance);
  btnArea = Mode("btnArea", "Area", "Pick the corners of an area", mdArea);
  btnEntity = Mode("btnEntity", "Entity", "Pick a circle, an arc or a closed polyline", mdEntity);
  btnDistance->setChecked(true);
  Modes->addStretch(1);
  V->addLayout(Modes);
  memResult = new QPlainTextEdit(Body);
  memResult->setObjectName("memResult");
  memResult->setReadOnly(true);
  memResult->setMaximumHeight(110);
  V->addWidget(memResult);
  auto* Buttons = new QHBoxLayout;
  btnCopy = new QPushButton("Copy", Body);
  btnClear = new QPushButton("Clear", Body);
  Buttons->addWidget(btnCopy);
  Buttons->addWidget(btnClear);
  Buttons->addStretch(1);
  V->addLayout(Buttons);
  setWidget(Body);
  connect(btnCopy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(Result()); });
  connect(btnClear, &QPushButton::clicked, this, [this] { Reset(); });
}

TfmMeasure::~TfmMeasure() { Attach(nullptr, nullptr); }

void TfmMeasure::Attach(TqdDrawingNavigator* N, TqdSelectionMatrix* Matrix) {
  if (FNavigator) {
    FNavigator->removeEventFilter(this);
    delete FOverlay;
    FOverlay = nullptr;
    FNavigator->unsetCursor();
  }
  FNavigator = N;
  FMatrix = Matrix;
  Reset();
  if (!N) return;
  N->installEventFilter(this);
  N->setMouseTracking(true);
  N->setCursor(Qt::CrossCursor);
  FOverlay = new TOverlay(this, N);
  FOverlay->setGeometry(N->rect());
  FOverlay->show();
}

void TfmMeasure::SetMode(TMode M) {
  FMode = M;
  (M == mdDistance ? btnDistance : M == mdArea ? btnArea : btnEntity)->setChecked(true);
  Reset();
}

void TfmMeasure::Reset() {
  FPoints.clear();
  FSnap = {};
  memResult->clear();
  if (FOverlay) FOverlay->update();
}

QString TfmMeasure::Result() const { return memResult->toPlainText(); }

void TfmMeasure::Show(const QStringList& Lines) { memResult->setPlainText(Lines.join('\n')); }

TqdSnap TfmMeasure::SnapAt(QPoint P) const {
  TqdSnap S;
  if (!FNavigator || !FNavigator->CADImage()) return S;
  const TFPoint D = FNavigator->GetDrawingInternalCoordsWithoutSnap(P.x(), P.y());
  const TFPoint D1 = FNavigator->GetDrawingInternalCoordsWithoutSnap(P.x() + cnstSnapPixels, P.y());
  std::vector<const TqdDXFEntity*> Near, Wider;
  if (FMatrix) {
    const int OldPrecision = FMatrix->Precision();
    FMatrix->SetPrecision(cnstSnapPixels);
    FMatrix->GetElements(P.x(), P.y(), true, Near);
    // Circles and arcs whose outline passes within the raster's widest window.
    FMatrix->SetPrecision(64);
    FMatrix->GetElements(P.x(), P.y(), true, Wider);
    FMatrix->SetPrecision(OldPrecision);
  }
  S = qdFindSnap(Near, D, Dist(D, D1), Wider);
  if (S.Kind == skNone) S.Point = D;
  return S;
}

void TfmMeasure::Pick(QPoint P) {
  const TqdSnap S = SnapAt(P);
  if (FMode == mdEntity) {
    const TqdDXFEntity* E = FMatrix ? FMatrix->GetElementInMatrix(P.x(), P.y()) : nullptr;
    const QStringList L = qdEntityMeasure(E);
    Show(L.isEmpty() ? QStringList{"Pick a circle, an arc, a line or a polyline"} : L);
    return;
  }
  if (FMode == mdDistance && FPoints.size() >= 2) FPoints.clear();
  FPoints.push_back(S.Point);
  if (FMode == mdDistance) {
    Show(FPoints.size() == 2 ? qdDistanceMeasure(FPoints[0], FPoints[1]) : QStringList{"Pick the second point"});
  } else if (FPoints.size() >= 3) {
    double Area = 0, Perimeter = 0;
    qdPolygonMeasure(FPoints, Area, Perimeter);
    Show({"Area " + qdMeasureNumber(Area), "Perimeter " + qdMeasureNumber(Perimeter),
          QString("%1 points").arg(FPoints.size())});
  } else {
    Show({"Pick at least three corners"});
  }
  if (FOverlay) FOverlay->update();
}

bool TfmMeasure::eventFilter(QObject* Watched, QEvent* E) {
  if (Watched != FNavigator) return false;
  switch (E->type()) {
    case QEvent::Resize:
      if (FOverlay) FOverlay->setGeometry(FNavigator->rect());
      return false;
    case QEvent::MouseMove: {
      auto* M = static_cast<QMouseEvent*>(E);
      if (M->buttons() != Qt::NoButton) return false;  // pans and zooms pass
      FSnap = SnapAt(M->position().toPoint());
      if (FOverlay) FOverlay->update();
      return false;  // the status bar still follows the pointer
    }
    case QEvent::MouseButtonPress: {
      auto* M = static_cast<QMouseEvent*>(E);
      if (M->button() != Qt::LeftButton) return false;
      Pick(M->position().toPoint());
      return true;
    }
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      return static_cast<QMouseEvent*>(E)->button() == Qt::LeftButton;
    default:
      return false;
  }
}
