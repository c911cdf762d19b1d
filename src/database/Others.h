#pragma once
// Entities whose geometry is built elsewhere (raster images, wipeouts, OLE frames,
// tables, proxies and modeller solids): they keep every attribute their file gives so
// that the units that draw them need no second read. Until then their box is the bad
// box, so extents never count a guessed outline.
#include <cstdint>
#include <string>
#include <vector>

#include "DXFBase.h"
#include "Inserts.h"
#include "qdProxyGraphics.h"

// A clipped raster frame: insertion point, U and V vectors, size and clip boundary.
class TqdCADWipeout : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TqdCADWipeout)
public:
  TqdCADEntities EntType() const override { return ceWipeOut; }
  int Flags() const override { return FFlags; }
  void SetFlags(int V) override { FFlags = V; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  // The clip boundary in drawing coordinates: a rectangle from the first two clip
  // points (type 1), else every clip point.
  std::vector<TFPoint> ClipPolygon() const;
  TFRect Box() const override;
  double Width() const;
  double Height() const;
  // Scale the pixel vectors; nothing for a size that is not finite or a current size
  // of zero (the factor would not be a number).
  void SetWidth(double W);
  void SetHeight(double H);

  int FFlags = 0;
  int FClipType = 0;       // 1 rectangle, 2 polygon
  TFPoint FUVector{1, 0, 0};
  TFPoint FVVector{0, 1, 0};
  TFPoint FSize;
  std::vector<TFPoint> FBoundary;  // clip boundary in pixel coordinates
  bool FClipping = false;
};

class TqdDXFImageEnt : public TqdCADWipeout {
  QD_ENTITY_CLASS(TqdDXFImageEnt)
public:
  TqdCADEntities EntType() const override { return ceImageEnt; }
  // Pictures are not drawn yet: an image takes no part in extents.
  TFRect Box() const override { return cnstBadRect; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  // Pictures that carry their own pixels (plot file rasters) are drawn from them:
  // the size in pixels, and pixel (X, Y) as 0x00BBGGRR with row 0 at the top.
  virtual bool HasPixels() const { return false; }
  virtual int PixelWidth() const { return 0; }
  virtual int PixelHeight() const { return 0; }
  virtual std::uint32_t PixelColor(int X, int Y) const { return 0xFFFFFF; }

  std::uint64_t FImageDefHandle = 0;
  TqdDXFEntity* FImageDef = nullptr;  // resolved at commit when read before
};

// An embedded OLE object: only its data is kept.
class TqdDXFOle2Frame : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TqdDXFOle2Frame)
public:
  TqdCADEntities EntType() const override { return ceOle2Frame; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  TFPoint FPoint1;  // the other corner
  std::string FData;
};

// A table drawn through its anonymous block; the cells are left to the table unit.
class TqdDXFAcadTable : public TqdDXFInsert {
  QD_ENTITY_CLASS(TqdDXFAcadTable)
public:
  TqdCADEntities EntType() const override { return ceACADTable; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  int FRows = 0, FCols = 0;
  TFPoint FDirection{1, 0, 0};
};

// Proxy entities, meshes and entities of classes the reader does not know: the proxy
// graphics bytes are kept and drawn when they decode.
class TqdDXFProxy : public TqdCADGeneratedEntity {
  QD_ENTITY_CLASS(TqdDXFProxy)
public:
  TqdCADEntities EntType() const override { return ceProxy; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  std::string FDXFName;  // what the file called it (ACAD_PROXY_ENTITY, MESH)
  // MESH: its vertices and its face list as the file has it (per face a vertex count,
  // then that many vertex indexes). Readers keep only faces whose indexes exist.
  std::vector<TFPoint> FMeshVertices;
  std::vector<std::int32_t> FMeshFaces;
};

// Modeller entities: the ACIS text is collected for the modeller.
class TqdDXFRegion : public TqdDXFPenLine {
  QD_ENTITY_CLASS(TqdDXFRegion)
public:
  TqdCADEntities EntType() const override { return ceRegion; }
  void AssignEntity(const TqdDXFEntity& Source) override;
  std::string FAcisData;  // plain text lines joined by LF, or binary data as hex
  std::string FDXFName;
};

class TqdDXF3dSolid : public TqdDXFRegion {
  QD_ENTITY_CLASS(TqdDXF3dSolid)
public:
  TqdCADEntities EntType() const override { return ceSolidObject; }
};

class TqdDXFBody : public TqdDXFRegion {
  QD_ENTITY_CLASS(TqdDXFBody)
public:
  TqdCADEntities EntType() const override { return ceBody; }
};

// A named drawing variable kept in the "AcDbVariableDictionary" dictionary.
class TqdDXFDictionaryVar : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFDictionaryVar)
public:
  std::string FValue;
  int FSchema = 0;
};
