#include "Registry.h"

#include "Dimensions.h"
#include "Faces.h"
#include "Hatches.h"
#include "Inserts.h"
#include "MultiLeaders.h"
#include "Others.h"
#include "Polylines.h"
#include "Underlays.h"

#include <algorithm>
#include <unordered_map>
#include <string>

#include "DXFConv.h"
#include "Properties.h"

namespace {

std::unordered_map<std::string, TqdEntityClass>& Table() {
  static std::unordered_map<std::string, TqdEntityClass> T;
  return T;
}

}  // namespace

void TqdEntityRegistry::RegisterClass(std::string_view ADXFName, TqdEntityClass AClass) {
  if (AClass) Table()[UpperNameText(ADXFName)] = AClass;
}

TqdEntityClass TqdEntityRegistry::ClassByDXFName(std::string_view ADXFName) {
  auto It = Table().find(UpperNameText(ADXFName));
  return It == Table().end() ? nullptr : It->second;
}

std::unique_ptr<TqdDXFEntity> TqdEntityRegistry::CreateByDXFName(std::string_view ADXFName) {
  TqdEntityClass C = ClassByDXFName(ADXFName);
  return C ? C() : nullptr;
}

int TqdEntityRegistry::Count() { return static_cast<int>(Table().size()); }

std::vector<std::string> TqdEntityRegistry::Names() {
  std::vector<std::string> N;
  for (const auto& [Name, Class] : Table()) N.push_back(Name);
  std::sort(N.begin(), N.end());
  return N;
}

void RegisterDatabaseClasses() {
  RegisterXMLClasses();
  TqdEntityRegistry::RegisterClass("LINE", ClassOf<TqdDXFLine>());
  TqdEntityRegistry::RegisterClass("POINT", ClassOf<TqdDXFPoint>());
  TqdEntityRegistry::RegisterClass("3DLINE", ClassOf<TqdDXFLine>());
  TqdEntityRegistry::RegisterClass("SOLID", ClassOf<TqdDXFSolid>());
  TqdEntityRegistry::RegisterClass("TRACE", ClassOf<TqdDXFTrace>());
  TqdEntityRegistry::RegisterClass("3DFACE", ClassOf<TqdDXF3dFace>());
  TqdEntityRegistry::RegisterClass("CIRCLE", ClassOf<TqdDXFCircle>());
  TqdEntityRegistry::RegisterClass("ARC", ClassOf<TqdDXFArc>());
  TqdEntityRegistry::RegisterClass("ELLIPSE", ClassOf<TqdDXFEllipse>());
  TqdEntityRegistry::RegisterClass("POLYLINE", ClassOf<TqdDXFPolyline>());
  TqdEntityRegistry::RegisterClass("VERTEX", ClassOf<TqdDXFVertex>());
  TqdEntityRegistry::RegisterClass("LWPOLYLINE", ClassOf<TqdDXFLWPolyline>());
  TqdEntityRegistry::RegisterClass("SPLINE", ClassOf<TqdDXFSpline>());
  TqdEntityRegistry::RegisterClass("HELIX", ClassOf<TqdCADHelix>());
  TqdEntityRegistry::RegisterClass("RAY", ClassOf<TqdDXFRay>());
  TqdEntityRegistry::RegisterClass("XLINE", ClassOf<TqdDXFXline>());
  TqdEntityRegistry::RegisterClass("LAYER", ClassOf<TqdDXFLayer>());
  TqdEntityRegistry::RegisterClass("LTYPE", ClassOf<TqdDXFLineType>());
  TqdEntityRegistry::RegisterClass("STYLE", ClassOf<TqdDXFStyle>());
  TqdEntityRegistry::RegisterClass("APPID", ClassOf<TqdDXFAppID>());
  TqdEntityRegistry::RegisterClass("DIMSTYLE", ClassOf<TqdDXFDimensionStyle>());
  TqdEntityRegistry::RegisterClass("VPORT", ClassOf<TqdDXFVport>());
  TqdEntityRegistry::RegisterClass("BLOCK_RECORD", ClassOf<TqdDXFBlockRecord>());
  TqdEntityRegistry::RegisterClass("BLOCK", ClassOf<TqdDXFBlock>());
  TqdEntityRegistry::RegisterClass("TABLE", ClassOf<TqdDXFTable>());
  TqdEntityRegistry::RegisterClass("SECTION", ClassOf<TqdDXFSection>());
  TqdEntityRegistry::RegisterClass("DICTIONARY", ClassOf<TqdDXFDictionary>());
  TqdEntityRegistry::RegisterClass("LAYOUT", ClassOf<TqdDXFLayout>());
  TqdEntityRegistry::RegisterClass("PLOTSETTINGS", ClassOf<TqdDXFPlotSettings>());
  TqdEntityRegistry::RegisterClass("XRECORD", ClassOf<TqdDXFXRecord>());
  TqdEntityRegistry::RegisterClass("IMAGEDEF", ClassOf<TqdDXFImageDef>());
  TqdEntityRegistry::RegisterClass("MLINESTYLE", ClassOf<TqdMLineStyle>());
  TqdEntityRegistry::RegisterClass("TABLESTYLE", ClassOf<TqdDXFAcadTableStyle>());
  TqdEntityRegistry::RegisterClass("SORTENTSTABLE", ClassOf<TqdDXFSortEntsTable>());
  TqdEntityRegistry::RegisterClass("RASTERVARIABLES", ClassOf<TqdCADRasterVariables>());
  TqdEntityRegistry::RegisterClass("WIPEOUTVARIABLES", ClassOf<TqdCADWipeoutVariables>());
  TqdEntityRegistry::RegisterClass("INSERT", ClassOf<TqdDXFInsert>());
  TqdEntityRegistry::RegisterClass("ATTDEF", ClassOf<TqdDXFAttdef>());
  TqdEntityRegistry::RegisterClass("ATTRIB", ClassOf<TqdDXFAttrib>());
  TqdEntityRegistry::RegisterClass("MLINE", ClassOf<TqdCADMLine>());
  TqdEntityRegistry::RegisterClass("VIEWPORT", ClassOf<TqdDXFViewport>());
  TqdEntityRegistry::RegisterClass("SPATIAL_FILTER", ClassOf<TqdCADSpatialFilter>());
  TqdEntityRegistry::RegisterClass("TEXT", ClassOf<TqdDXFText>());
  TqdEntityRegistry::RegisterClass("MTEXT", ClassOf<TqdDXFMText>());
  TqdEntityRegistry::RegisterClass("SHAPE", ClassOf<TqdDXFShape>());
  TqdEntityRegistry::RegisterClass("DIMENSION", ClassOf<TqdDXFDimension>());
  TqdEntityRegistry::RegisterClass("LEADER", ClassOf<TqdDXFLeader>());
  TqdEntityRegistry::RegisterClass("TOLERANCE", ClassOf<TqdDXFTolerance>());
  TqdEntityRegistry::RegisterClass("HATCH", ClassOf<TqdCADHatch>());
  TqdEntityRegistry::RegisterClass("MPOLYGON", ClassOf<TqdCADMPolygon>());
  TqdEntityRegistry::RegisterClass("WIPEOUT", ClassOf<TqdCADWipeout>());
  TqdEntityRegistry::RegisterClass("IMAGE", ClassOf<TqdDXFImageEnt>());
  TqdEntityRegistry::RegisterClass("OLEFRAME", ClassOf<TqdDXFOle2Frame>());
  TqdEntityRegistry::RegisterClass("OLE2FRAME", ClassOf<TqdDXFOle2Frame>());
  TqdEntityRegistry::RegisterClass("ACAD_TABLE", ClassOf<TqdDXFAcadTable>());
  TqdEntityRegistry::RegisterClass("ACAD_PROXY_ENTITY", ClassOf<TqdDXFProxy>());
  TqdEntityRegistry::RegisterClass("MESH", ClassOf<TqdDXFProxy>());
  TqdEntityRegistry::RegisterClass("REGION", ClassOf<TqdDXFRegion>());
  TqdEntityRegistry::RegisterClass("3DSOLID", ClassOf<TqdDXF3dSolid>());
  TqdEntityRegistry::RegisterClass("BODY", ClassOf<TqdDXFBody>());
  TqdEntityRegistry::RegisterClass("DICTIONARYVAR", ClassOf<TqdDXFDictionaryVar>());
  for (const char* S : {"PLANESURFACE", "SURFACE", "SWEPTSURFACE", "REVOLVEDSURFACE", "EXTRUDEDSURFACE",
                        "LOFTEDSURFACE", "NURBSURFACE"})
    TqdEntityRegistry::RegisterClass(S, ClassOf<TqdDXF3dSolid>());
  TqdEntityRegistry::RegisterClass("MULTILEADER", ClassOf<TqdDXFMultiLeader>());
  TqdEntityRegistry::RegisterClass("MLEADER", ClassOf<TqdDXFMultiLeader>());
  TqdEntityRegistry::RegisterClass("MLEADERSTYLE", ClassOf<TqdDXFMLeaderStyle>());
  for (const char* S : {"PDFUNDERLAY", "DWFUNDERLAY", "DGNUNDERLAY"})
    TqdEntityRegistry::RegisterClass(S, ClassOf<TqdCADUnderlay>());
  for (const char* S : {"PDFDEFINITION", "DWFDEFINITION", "DGNDEFINITION"})
    TqdEntityRegistry::RegisterClass(S, ClassOf<TqdCADUnderlayDefinition>());
}
