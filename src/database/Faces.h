#pragma once
// Flat four-cornered entities (solid, trace, 3-D face) and infinite lines (ray,
// construction line).
#include <memory>

#include "Entities.h"
#include "qdFunction.h"

class TqdDXFSolid : public TqdDXFLine {
  QD_ENTITY_CLASS(TqdDXFSolid)
public:
  // Rendering hints kept in the internal flags.
  static constexpr std::uint8_t cnstFirstZeroArea = 64;
  static constexpr std::uint8_t cnstFirstReversed = 16;
  static constexpr std::uint8_t cnstSecondZeroArea = 128;
  static constexpr std::uint8_t cnstSecondReversed = 32;

  TqdCADEntities EntType() const override { return ceSolid; }
  TFPoint Point2() const { return FPoint2; }
  void SetPoint2(const TFPoint& P);
  TFPoint Point3() const { return FPoint3; }
  void SetPoint3(const TFPoint& P);
  void SetPoint(const TFPoint& P) override;
  void SetPoint1(const TFPoint& P);
  void SetExtrusion(const TFPoint& P) override;
  // The corners without duplicates; returns how many there are (2..4).
  int GetPoints(TFPoint (&Points)[4], bool AddZThick, bool Extruding) const;
  // The cached extrusion matrix.
  virtual const TFMatrix& GetMatrix() const;
  TFRect Box() const override;
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TFPoint FPoint2, FPoint3;
  mutable std::unique_ptr<TFMatrix> FMatrix;
};

class TqdDXFTrace : public TqdDXFSolid {
  QD_ENTITY_CLASS(TqdDXFTrace)
public:
  TqdCADEntities EntType() const override { return ceTrace; }
};

class TqdDXF3dFace : public TqdDXFSolid {
  QD_ENTITY_CLASS(TqdDXF3dFace)
public:
  TqdCADEntities EntType() const override { return ce3dFace; }
  // The invisible-edge flags of the face (bits 0..3 for edges 1..4).
  int Flags() const override { return F3DFlags; }
  void SetFlags(int V) override { F3DFlags = V; }
  bool IsEdgeVisible(int Edge) const { return Edge < 0 || Edge > 3 || !(F3DFlags & (1 << Edge)); }
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  int F3DFlags = 0;
};

class TqdDXFRay : public TqdDXFLine {
  QD_ENTITY_CLASS(TqdDXFRay)
public:
  TqdCADEntities EntType() const override { return ceRay; }
  TFPoint StartPoint() const { return FStartPoint; }
  // Stores the start, places it in world coordinates and copies it to Point1.
  void SetStartPoint(const TFPoint& P);
  TFPoint Direction() const { return FDirection; }
  void SetDirection(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FDirection = P;
  }
  TFRect Box() const override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  TFPoint FStartPoint;
  TFPoint FDirection{1, 0, 0};
};

class TqdDXFXline : public TqdDXFRay {
  QD_ENTITY_CLASS(TqdDXFXline)
public:
  TqdCADEntities EntType() const override { return ceXline; }
};
