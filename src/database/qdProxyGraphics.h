#pragma once
// Proxy graphics: the little-endian command stream a drawing keeps beside entities
// whose own data a reader may not understand (proxy entities, multileaders, objects
// of other applications). A header (total size, command count) is followed by
// commands of (size, type, data); each command draws a primitive or changes the
// current attributes. Decoding gives primitives in drawing coordinates; building
// turns them into plain entities that the draw pipeline already knows.
//
// The stream comes from files: every read is checked against the command's own
// bytes, counts against the bytes left, the number of primitives and points is
// capped, the matrix stack is bounded and non-finite values are dropped.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CADColor.h"
#include "DXFBase.h"
#include "qdConsts.h"

class TqdDXFBlock;
class TqdDXFConverter;

enum TqdProxyPrimitiveKind : std::uint8_t {
  ppkPolyline,  // open or closed outline (polylines, meshes and shells as edges)
  ppkPolygon,   // a polygon: filled when the fill attribute was on
  ppkCircle,
  ppkArc,
  ppkEllipse,
  ppkText,
  ppkLine  // the visible part of a ray or construction line: its two points
};

// The attributes in force when a primitive was drawn.
struct TqdProxyAttributes {
  TqdColorCAD Color = TqdColorCAD::Index(clByLayer);
  int LayerIndex = -1;     // index into the drawing's layer table; -1 the entity's own
  int LineTypeIndex = -1;  // -1 by layer
  double LineWeight = cnstLWByLayer;
  double LineTypeScale = 1;
  double Thickness = 0;
  bool Fill = false;
};

struct TqdProxyPrimitive {
  TqdProxyPrimitiveKind Kind = ppkPolyline;
  TqdProxyAttributes Attr;
  // The outline in drawing coordinates, curves tessellated, the current matrix applied.
  std::vector<TFPoint> Points;
  bool Closed = false;
  bool Filled = false;
  // Curves (before the matrix): centre, normal, radius; arcs and ellipses in radians.
  TFPoint Center, Normal{0, 0, 1};
  double Radius = 0;
  // Texts (the matrix applied to the point and direction).
  std::string Text;  // UTF-8
  TFPoint Direction{1, 0, 0};
  double Height = 0, WidthFactor = 1, Oblique = 0;  // oblique in radians
  bool Backward = false, UpsideDown = false;
};

struct TqdProxyGraphicsResult {
  std::vector<TqdProxyPrimitive> Primitives;
  int Commands = 0;        // commands read
  int Unsupported = 0;     // commands of a type not drawn (markers, clips, materials)
  bool Truncated = false;  // the stream ended inside a command, or a cap was reached
  std::string Error;       // what stopped the decoding, with the byte offset
  bool HasExtents = false;
  TFRect Extents = cnstBadRect;
};

// Command numbers of the stream.
enum TqdProxyCommand : std::uint32_t {
  pgcExtents = 1, pgcCircle = 2, pgcCircle3P = 3, pgcCircularArc = 4, pgcCircularArc3P = 5,
  pgcPolyline = 6, pgcPolygon = 7, pgcMesh = 8, pgcShell = 9, pgcText = 10, pgcText2 = 11,
  pgcXLine = 12, pgcRay = 13, pgcColor = 14, pgcLayer = 16, pgcLineType = 18, pgcMarker = 19,
  pgcFill = 20, pgcTrueColor = 22, pgcLineWeight = 23, pgcLineTypeScale = 24, pgcThickness = 25,
  pgcPlotStyleName = 26, pgcPushClip = 27, pgcPopClip = 28, pgcPushMatrix = 29, pgcPushMatrix2 = 30,
  pgcPopMatrix = 31, pgcPolylineWithNormals = 32, pgcLWPolyline = 33, pgcMaterial = 34,
  pgcMapper = 35, pgcUnicodeText = 36, pgcUnicodeText2 = 38, pgcEllipticArc = 44
};

class TqdProxyGraphics {
public:
  static constexpr std::size_t cnstMaxPrimitives = 200000;
  static constexpr std::size_t cnstMaxPoints = 4000000;  // over all primitives
  static constexpr int cnstMaxMatrixDepth = 64;
  static constexpr int cnstCircleSegments = 72;         // segments of a full circle
  static constexpr std::size_t cnstMaxText = 64 * 1024;  // bytes of one string

  // Decodes the stream; never throws for bad data (the result says what stopped it).
  static TqdProxyGraphicsResult Decode(const std::uint8_t* AData, std::size_t ASize);
  static TqdProxyGraphicsResult Decode(std::string_view ABytes) {
    return Decode(reinterpret_cast<const std::uint8_t*>(ABytes.data()), ABytes.size());
  }
};

// The bytes of hexadecimal text (DXF code 310 chunks); blanks are skipped, the text
// stops at the first character that is not a hex digit, an odd last digit is dropped.
std::string qdHexToBytes(std::string_view AHex);

// A colour word as drawings store them: the high byte says by layer (0xC0), by block
// (0xC1), RGB (0xC2, low 24 bits 0xRRGGBB) or index (0xC3, low byte); others by block.
TqdColorCAD qdRawColorToCAD(std::uint32_t ARaw);

// Adds one plain entity per primitive to ATarget (a block that is not in the drawing's
// blocks section) and loads it with AConverter; the entities keep the primitive's
// colour and lineweight, and take the layer of its index when the drawing has one.
// Returns the number of entities added.
int qdBuildProxyEntities(const TqdProxyGraphicsResult& AGraphics, TqdDXFConverter* AConverter,
                         TqdDXFBlock& ATarget);

// Base of the entities drawn through geometry they build themselves (multileaders,
// underlays, proxies): the geometry is a private block, made when the entity is
// loaded and drawn like a dimension's block, in drawing coordinates.
class TqdCADGeneratedEntity : public TqdDXFPenLine {
public:
  TqdCADGeneratedEntity();
  ~TqdCADGeneratedEntity() override;
  // The built geometry (null before loading, or when nothing could be built).
  TqdDXFEntity* InsertBlock() const override;
  TqdDXFBlock* Geometry() const { return FGeometry.get(); }
  TFRect Box() const override;
  // Builds the geometry anew: BuildGeometry, else the proxy graphics.
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;
  // Whether the geometry came from the proxy graphics.
  bool DrawnFromProxy() const { return FFromProxy; }

  // Proxy graphics bytes, as decoded from the file (binary, not hex).
  std::string FProxyData;

protected:
  // The entity's own geometry into ABlock; false when it cannot build it (the proxy
  // graphics are used then).
  virtual bool BuildGeometry(TqdDXFConverter* C, TqdDXFBlock& ABlock) { return false; }
  // Adds E to ABlock and loads it; returns E (null when refused).
  static TqdDXFEntity* AddGenerated(TqdDXFConverter* C, TqdDXFBlock& ABlock, std::unique_ptr<TqdDXFEntity> E);
  std::unique_ptr<TqdDXFBlock> FGeometry;
  bool FFromProxy = false;
};
