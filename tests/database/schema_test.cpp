// The class rows and the attribute table they name: ids keep their meaning, every
// name finds its id, and the DXF groups of a class resolve through its ancestors.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "Curves.h"
#include "Registry.h"
#include "Schema.h"
#include "Texts.h"
#include "Others.h"
#include "Inserts.h"

namespace {

TEST(AttribTable, every_name_finds_its_id) {
  InstallXMLAttribTable();
  EXPECT_EQ(XMLAttribIdByName("layer"), 4);
  EXPECT_EQ(XMLAttribIdByName("LAYER"), 4);
  EXPECT_EQ(XMLAttribIdByName("area"), 46);  // listed twice: the first id
  EXPECT_STREQ(XMLAttribName(211), "Area");
  EXPECT_EQ(XMLAttribName(224), nullptr);  // reserved: the code of class names
  for (int I = 1; I < cnstXMLAttribCount; ++I) {
    if (I == cnstXMLClassNameId) continue;
    ASSERT_NE(XMLAttribName(I), nullptr) << I;
    if (I != 211) EXPECT_EQ(XMLAttribIdByName(XMLAttribName(I)), I) << XMLAttribName(I);
  }
}

TEST(AttribTable, telling_rows) {
  InstallXMLAttribTable();
  struct TRow {
    int Id;
    const char* Name;
    TqdDataType Type;
    const char* Description;
  };
  for (const TRow& R : {TRow{1, "LineWeight", dtDouble, "Line Weight in mm"},
                        TRow{4, "Layer", dtEntName, "Name of a Layer"},
                        TRow{5, "LineType", dtEntName, "Name of a LineType"},
                        TRow{7, "Handle", dtEntHandle, "Handle value"},
                        TRow{9, "Color", dtColorCAD, "Color specified with TqdColorCAD"},
                        TRow{12, "Point", dtTFPoint, "3D Point defining entity"},
                        TRow{223, "PolylineLength", dtDouble, "Polyline length value"}}) {
    const TqdXMLAttribInfo& I = XMLAttribInfo(R.Id);
    EXPECT_STREQ(I.Name, R.Name);
    EXPECT_EQ(I.Type, R.Type) << R.Name;
    EXPECT_STREQ(I.Description, R.Description);
  }
  EXPECT_EQ(XMLAttribInfo(8).Type, dtList);
  EXPECT_EQ(XMLAttribInfo(34).Type, dtFPoints2DOr3D);
  EXPECT_EQ(XMLAttribInfo(37).Type, dtSingles);
  for (int I = 137; I <= 141; ++I) EXPECT_EQ(XMLAttribInfo(I).Type, dtList);
  EXPECT_EQ(XMLAttribInfo(159).Type, dtStringInternal);
  EXPECT_EQ(XMLAttribInfo(177).Type, dtProcedure);
}

std::string Groups(const TqdDXFEntity& E) {
  std::string S;
  for (const TqdSchemaGroup& G : SchemaDXFGroups(E)) {
    S += XMLAttribName(G.Row->Id);
    S += ':' + std::to_string(G.DXF.Code) + '/' + (G.DXF.Subclass ? G.DXF.Subclass : "-") + ' ';
  }
  return S;
}

TEST(Schema, groups_resolve_subclass_and_overrides) {
  // An arc takes the circle's rows under the circle's marker and adds its own.
  TqdDXFArc A;
  const std::string S = Groups(A);
  EXPECT_NE(S.find("Radius:40/AcDbCircle"), std::string::npos) << S;
  EXPECT_NE(S.find("StartAngle:50/AcDbArc"), std::string::npos) << S;
  EXPECT_NE(S.find("Layer:8/AcDbEntity"), std::string::npos) << S;
  // Each code once per class.
  std::multiset<int> Codes;
  for (const TqdSchemaGroup& G : SchemaDXFGroups(A))
    for (int C : SchemaGroupCodes(G)) Codes.insert(C);
  for (int C : Codes) EXPECT_EQ(Codes.count(C), 1u) << "code " << C << " in " << S;
}

// Codes of a point field follow its step: a scale's 41, 42, 43, not 41, 51, 61.
TEST(Schema, point_codes_follow_their_step) {
  InstallXMLAttribTable();
  TqdDXFInsert I;
  std::set<int> Codes;
  for (const TqdSchemaGroup& G : SchemaDXFGroups(I))
    if (G.Row->Id == xaScale)
      for (int C : SchemaGroupCodes(G)) Codes.insert(C);
  EXPECT_EQ(Codes, (std::set<int>{41, 42, 43}));
}

}  // namespace
