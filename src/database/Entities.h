#pragma once
// The simplest graphical entities: LINE and POINT.
#include "DXFBase.h"
#include "qdLists.h"

#include <utility>

class TqdDXFLine : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TqdDXFLine)
public:
  TqdCADEntities EntType() const override { return ceLine; }
  TFPoint Point1() const { return FPoint1; }
  void SetPoint1(const TFPoint& P);
  double Length() const;
  // Keeps the start and direction and moves the end.
  void SetLength(double V);
  // Direction of start->end in degrees.
  double Angle() const;
  // Keeps the start and length and turns the end in the XY plane.
  void SetAngle(double V);
  std::pair<TFPoint, TFPoint> Line() const;
  void SetLine(const TFPoint& A, const TFPoint& B);
  TFRect Box() const override;
  // Gives the line layer "0" when it has none (no default linetype, no extrusion).
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TFPoint FPoint1;
};

class TqdDXFPoint : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TqdDXFPoint)
public:
  TqdCADEntities EntType() const override { return cePoint; }
  // Symbol points: items 0 and 1 the box corners, then figures (count, then points);
  // null for a plain point.
  const TFPointList* Points() const { return FPoints.get(); }
  TFRect Box() const override { return FBox; }
  // Builds the symbol from the drawing's point display mode and size.
  void Loaded(TqdDXFConverter* C) override;
  // Builds the symbol for an explicit display mode (dimension blocks show plain points).
  // A size of 0 or below is relative: 0 is 5 % of the view's height, -N is N %; the
  // symbol is then built at size 1 and scaled by whoever knows the view.
  void BuildSymbol(int AMode, double ASize, int ACircleParts);
  // The symbol's size as a share of the view's height; 0 when its size is absolute.
  double RelativeSize() const { return FRelative; }

private:
  std::unique_ptr<TFPointList> FPoints;
  TFRect FBox = cnstBadRect;
  double FRelative = 0;
};
