#include "Entities.h"

#include <cmath>
#include <vector>

#include "DXFConv.h"
#include "TableItems.h"
#include "qdFunction.h"

// ---------------------------------------------------------------- LINE

void TqdDXFLine::SetPoint1(const TFPoint& P) {
  if (IsFiniteFPoint(P)) FPoint1 = P;
}

double TqdDXFLine::Length() const { return Distance(FPoint, FPoint1); }

void TqdDXFLine::SetLength(double V) {
  if (!std::isfinite(V) || IsEqualFPoints(FPoint, FPoint1, fDoubleResolution)) return;
  const double Old = Length();
  if (std::fabs(V) < fDoubleResolution || Old < fDoubleResolution) {
    FPoint1 = FPoint;
    return;
  }
  const TFPoint D = ScaleFPoint(SubFPoint(FPoint1, FPoint), V / Old);
  const TFPoint End = AddFPoint(FPoint, D);
  if (IsFiniteFPoint(End)) FPoint1 = End;
}

double TqdDXFLine::Angle() const { return AngleOfVector(FPoint, FPoint1); }

void TqdDXFLine::SetAngle(double V) {
  const double Len = Length();
  if (!std::isfinite(V) || Len <= 1e-6) return;
  V = std::fmod(V, 360.0);
  const double R = V * fRadiansPerDegree;
  FPoint1 = {FPoint.X + Len * std::cos(R), FPoint.Y + Len * std::sin(R), FPoint.Z};
}

std::pair<TFPoint, TFPoint> TqdDXFLine::Line() const { return {FPoint, FPoint1}; }

void TqdDXFLine::SetLine(const TFPoint& A, const TFPoint& B) {
  if (!IsFiniteFPoint(A) || !IsFiniteFPoint(B)) return;
  FPoint = A;
  FPoint1 = B;
}

TFRect TqdDXFLine::Box() const {
  TFRect R = cnstBadRect;
  UnionBoxPoint(R, FPoint);
  UnionBoxPoint(R, FPoint1);
  if (FZThick != 0) {
    UnionBoxPoint(R, {FPoint.X, FPoint.Y, FPoint.Z + FZThick});
    UnionBoxPoint(R, {FPoint1.X, FPoint1.Y, FPoint1.Z + FZThick});
  }
  return R;
}

void TqdDXFLine::Loaded(TqdDXFConverter* C) {
  // Only the layer: a line takes no default linetype and its points are already in
  // world coordinates.
  if (C && !Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
}

void TqdDXFLine::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFLine*>(&Source)) FPoint1 = S->FPoint1;
}

// ---------------------------------------------------------------- POINT

void TqdDXFPoint::Loaded(TqdDXFConverter* C) {
  // The base point is in world coordinates: no extrusion step.
  TqdDXFCustomVertex::Loaded(C);
  int Mode = C ? C->PointDisplayMode() : 0;
  const double Size = C ? C->HeadVarStruct().PointDisplaySize : 0.0;
  if (const TqdDXFLayer* L = Layer(); L && SameNameText(L->Name(), "DEFPOINTS")) Mode = 0;
  BuildSymbol(Mode, Size, C ? C->NumberOfPartsInCircle() : 0);
}

void TqdDXFPoint::BuildSymbol(int AMode, double ASize, int ACircleParts) {
  double S = std::isfinite(ASize) ? ASize : 0;
  FRelative = 0;
  if (S <= 1e-9) {
    FRelative = S < -1e-9 ? std::min(-S, 100.0) / 100 : 0.05;
    S = 1.0;
  }
  const bool Thick = std::fabs(FZThick) > 1e-6;
  if (AMode <= 1) {
    FPoints.reset();
    FBox = cnstBadRect;
    UnionBoxPoint(FBox, FPoint);
    UnionBoxPoint(FBox, {FPoint.X, FPoint.Y, FPoint.Z + FZThick});
    return;
  }
  std::vector<std::vector<TFPoint>> Figures;
  switch (AMode & 7) {
    case 0: Figures.push_back({{0, 0, 0}}); break;
    // The size is the symbol's whole height: the cross and the X fill the circle's
    // and the square's box.
    case 2:
      Figures.push_back({{0, S / 2, 0}, {0, -S / 2, 0}});
      Figures.push_back({{S / 2, 0, 0}, {-S / 2, 0, 0}});
      break;
    case 3:
      Figures.push_back({{S / 2, S / 2, 0}, {-S / 2, -S / 2, 0}});
      Figures.push_back({{-S / 2, S / 2, 0}, {S / 2, -S / 2, 0}});
      break;
    case 4: Figures.push_back({{0, 0, 0}, {0, S / 2, 0}}); break;
    default: break;
  }
  if (AMode & 32) {
    int N = ACircleParts > 1 ? ACircleParts : 48;
    N = std::min(N, 100000);
    std::vector<TFPoint> Circle;
    Circle.reserve(static_cast<std::size_t>(N) + 1);
    for (int I = 0; I <= N; ++I) {
      const double A = 2 * cnstPi * I / N;
      Circle.push_back({S / 2 * std::cos(A), S / 2 * std::sin(A), 0});
    }
    Figures.push_back(std::move(Circle));
  }
  if (AMode & 64)
    Figures.push_back(
        {{-S / 2, S / 2, 0}, {S / 2, S / 2, 0}, {S / 2, -S / 2, 0}, {-S / 2, -S / 2, 0}, {-S / 2, S / 2, 0}});

  const TFPoint* Ext = FExtrusion.get();
  auto Place = [&](const TFPoint& Offset) {
    return AddFPoint(FPoint, Ext ? OCSToWCS(Offset, *Ext) : Offset);
  };
  if (Thick) {
    const std::size_t N = Figures.size();
    for (std::size_t F = 0; F < N; ++F) {
      std::vector<TFPoint> Raised = Figures[F];
      for (TFPoint& P : Raised) P.Z += FZThick;
      Figures.push_back(std::move(Raised));
    }
  }
  FPoints = std::make_unique<TFPointList>();
  FPoints->Add({});
  FPoints->Add({});
  FBox = cnstBadRect;
  for (const auto& Figure : Figures) {
    FPoints->Add({static_cast<double>(Figure.size()), 0, 0});
    for (const TFPoint& Offset : Figure) {
      const TFPoint P = Place(Offset);
      FPoints->Add(P);
      // A symbol sized by the view does not size the drawing: only its point counts.
      UnionBoxPoint(FBox, FRelative > 0 ? Place({0, 0, Offset.Z}) : P);
    }
  }
  (*FPoints)[0] = FBox.TopLeft();
  (*FPoints)[1] = FBox.BottomRight();
}
