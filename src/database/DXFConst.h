#pragma once
// Enumerations, exceptions and the header record shared by the drawing database.
#include <cstdint>
#include <string>

#include "CADColor.h"
#include "qdConsts.h"
#include "qdError.h"
#include "qdVersions.h"  // TqdDWGVersion, shared with the readers

// The fifteen containers a converter keeps track of.
enum TConvSection : int {
  csTables,
  csBlocks,
  csEntities,
  csAppID,
  csLTypes,
  csLayers,
  csStyles,
  csDimStyles,
  csBlockRecords,
  csVPorts,
  csMLineStyles,
  csImageDefs,
  csLayouts,
  csTableStyles,
  csObjects
};
inline constexpr int cnstSectionCount = 15;

enum TConvStatus { stDefault, stLoading, stEditing, stClearing, stDestroying, stReading };

enum TqdImportMode { imView, imImport };


// Entity kinds; the high byte of an entity class word.
enum TqdCADEntities : int {
  ceEntity,
  ceLine,
  cePoint,
  ceSolid,
  ceTrace,
  ce3dFace,
  ceRay,
  ceXline,
  ceCircle,
  ceArc,
  ceEllipse,
  cePolyline,
  ceLWPolyline,
  ceSpline,
  ceLeader,
  ceInsert,
  ceXRef,
  ceAttdef,
  ceAttrib,
  ceText,
  ceMText,
  ceShape,
  ceTolerance,
  ceDimension,
  ceHatch,
  ceCurvePolygon,
  cePolyPolygon,
  ceGradient,
  ceGradientPolygon,
  ceMPolygon,
  ceMLine,
  ceImageEnt,
  ceWipeOut,
  ceViewport,
  ceOle2Frame,
  ceRegion,
  ceBody,
  ceSolidObject,
  ceSurface,
  ceHelix,
  ceACADTable,
  ceProxy,
  ceSeqEnd,
  ceFlatPoly,
  ceFlatPoly3D,
  ceFlatHatch,
  cePath,
  cePattern,
  ceBrep,
  ceIges,
  ceStep,
  ceMultiLeader,
  ceUnderlay
};
using TqdEntClass = std::uint16_t;

// $ATTMODE: 0 all attributes hidden, 1 as flagged, 2 all shown.
enum TqdAttributeMode { attOff, attNormal, attAll };

// Errors of the drawing database.
class EqdDatabaseError : public EqdError {
public:
  using EqdError::EqdError;
};

// Raised when an invalid name is given to a layer that checks its name.
class EqdIncorrectNameLayer : public EqdDatabaseError {
public:
  EqdIncorrectNameLayer() : EqdDatabaseError("Incorrect Layer Name") {}
};

// A read driven by a file-derived offset or length would leave the source.
class EqdSourceBounds : public EqdDatabaseError {
public:
  using EqdDatabaseError::EqdDatabaseError;
};

struct TqdArrows {
  std::uint8_t Blk = 0, Blk1 = 0, Blk2 = 0, LrBlk = 0;
};

// The appearance record of a dimension style (its meaning is the dimension unit's).
struct TqdDimStyle {
  bool Alt = false;
  double AltF = 1.0;
  std::string APost;
  double Asz = 0.18;
  bool Sah = false;
  TqdArrows Arrows;
  double Cen = 0.09;
  TqdColorCAD ClrD = TqdColorCAD::Index(0);
  TqdColorCAD ClrE = TqdColorCAD::Index(0);
  TqdColorCAD ClrT = TqdColorCAD::Index(0);
  bool SD1 = false, SD2 = false, SE1 = false, SE2 = false;
  int Dec = 4;
  double Exe = 0.18;
  double Exo = 0.0625;
  double Gap = 0.0625;
  double LFac = 1.0;
  double LwD = -1, LwE = -1;
  std::string Post;
  double Scale = 1.0;
  int Tad = 0;
  bool Tih = true;
  int Tix = 0;
  bool Toh = true;
  double Txt = 0.18;
  double Tsz = 0;  // DIMTSZ: above 0, oblique ticks of that size replace the arrows
  int Zin = 0;  // DIMZIN: 4 drops leading zeros, 8 trailing ones
  int DSep = 0;  // DIMDSEP: the decimal separator's character code; 0 when the drawing sets none
  bool Tofl = false;  // DIMTOFL: the dimension line also runs between outward arrows
};

// The header variables the library uses, with their defaults.
struct TqdHeadVarStruct {
  TqdColorCAD CEColor = TqdColorCAD::Index(clByLayer);
  std::string CLayer = "0";
  std::string CELType = "BYLAYER";
  double CELTScale = 1.0;
  double CELWeight = -1.0;
  int CodePage = 0;
  std::string DimStyle = "STANDARD";
  std::string DimTextStyle = "STANDARD";
  TqdDimStyle DimProps;
  TFPoint ExtMim{0, 0, 0};
  TFPoint ExtMax{0, 0, 0};
  std::string TextStyle = "STANDARD";
  double FilletRadius = 0.5;
  int InsUnits = 4;
  double LTScale = 1.0;
  // Linetypes of viewports' content measured in paper units ($PSLTSCALE 1) or in model units.
  int PSLTScale = 1;
  bool Measurement = false;
  int PointDisplayMode = 0;
  double PointDisplaySize = 0.0;
  double TextSize = 0.18;
  int TileMode = 1;
  TFPoint UCSORG{0, 0, 0};
  TFPoint UCSXDir{1, 0, 0};
  TFPoint UCSYDir{0, 1, 0};
  std::uint8_t Version = 0;
  TFPoint InsBase{0, 0, 0};
  TqdAttributeMode AttMode = attNormal;
  std::uint8_t XClipFrame = 2;
};

// The one record every new converter copies.
inline const TqdHeadVarStruct cnstDefaultHeadVarStruct{};
