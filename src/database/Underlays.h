#pragma once
// Underlays: PDF, DWF and DGN files shown beneath a drawing. The referenced file is
// not rendered: the underlay is drawn as its frame (the clip boundary when clipping is
// on, else the unit square placed by the underlay's scale and rotation) with the file
// name as a small text in its lower left corner.
#include <cstdint>
#include <string>
#include <vector>

#include "DXFBase.h"
#include "qdProxyGraphics.h"

// PDFDEFINITION, DWFDEFINITION, DGNDEFINITION: the referenced file and the page or
// sheet of it.
class TqdCADUnderlayDefinition : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdCADUnderlayDefinition)
public:
  void AssignEntity(const TqdDXFEntity& Source) override;
  std::string FFileName;  // code 1
  std::string FPageName;  // code 2
};

class TqdCADUnderlay : public TqdCADGeneratedEntity {
  QD_ENTITY_CLASS(TqdCADUnderlay)
public:
  static constexpr int cnstClipping = 1, cnstOn = 2, cnstMonochrome = 4, cnstAdjustForBackground = 8;

  TqdCADEntities EntType() const override { return ceUnderlay; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  // The definition named by FDefinitionHandle (null when absent).
  TqdCADUnderlayDefinition* Definition() const { return FDefinition; }
  // The file name shown: the definition's, else the DXF name of the underlay.
  std::string ShownName() const;
  // The frame in drawing coordinates (closed: the first point is not repeated).
  std::vector<TFPoint> Frame() const;

  std::uint64_t FDefinitionHandle = 0;
  TFPoint FScale{1, 1, 1};
  double FRotation = 0;  // degrees
  int FUnderlayFlags = cnstOn;
  int FContrast = 100, FFade = 0;
  std::vector<TFPoint> FClipBoundary;  // underlay coordinates: 2 corners or a polygon
  std::string FDXFName;                // PDFUNDERLAY, DWFUNDERLAY, DGNUNDERLAY

protected:
  bool BuildGeometry(TqdDXFConverter* C, TqdDXFBlock& ABlock) override;

private:
  TqdCADUnderlayDefinition* FDefinition = nullptr;
};
