// Every group the DXF reader maps is written down once: in a class row (with its code)
// or in the list of hand-written mappers. For each registered DXF name, each group
// code is read alone into an object; a code that changes the object's XML form must
// be a row's or the hand-written list's, and every row's code must change it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "DXFConv.h"
#include "Properties.h"
#include "Faces.h"
#include "Registry.h"
#include "Schema.h"
#include "dxf_test_util.h"
#include "readers/dxf/DXFMapping.h"

namespace {

enum TPlace { plEntity, plTable, plObject, plNone };

// Where an object of the name lives in a file; names read as parts of others
// (vertices, attributes, sections) are probed through their parent.
TPlace PlaceOf(const std::string& N) {
  static const std::set<std::string> Tables = {"LAYER", "LTYPE", "STYLE", "APPID", "DIMSTYLE", "VPORT", "BLOCK_RECORD"};
  static const std::set<std::string> Skip = {"TABLE", "SECTION", "BLOCK", "DICTIONARY", "VERTEX", "ATTRIB",
                                             "ATTDEF"};
  if (Skip.count(N)) return plNone;
  if (Tables.count(N)) return plTable;
  const std::unique_ptr<TqdDXFEntity> E = TqdEntityRegistry::CreateByDXFName(N);
  return dynamic_cast<TqdDXFObjectEntity*>(E.get()) ? plEntity : plObject;
}

// Values of the code's type; one of them differs from the default of whatever field
// the code sets (a flag's default may be either value).
std::vector<std::string> ProbeValues(int C) {
  if (C == 2 || C == 3 || C == 6 || C == 7 || C == 8) return {"PROBE"};
  if (C >= 1 && C <= 9) return {"Probe text"};
  if (C >= 10 && C <= 59) return {"7.25"};
  if (C == 230) return {"-1"};  // a flipped normal; 210 and 220 alone may be normalised away
  if (C >= 210 && C <= 239) return {"0.5"};
  if (C >= 340 && C <= 349) return {"B0"};
  if (C == 370) return {"50"};
  if (C == 420) return {"255"};
  if (C >= 290 && C <= 299) return {"0", "1"};
  return {"0", "1", "3"};  // integers and flags
}

std::vector<int> ProbeCodes() {
  std::vector<int> C = {1, 2, 3, 4, 6, 7, 8};
  for (int B : {10, 20, 30})
    for (int I = 0; I < 9; ++I) C.push_back(B + I);
  for (int I = 38; I <= 79; ++I) C.push_back(I);
  for (int I = 90; I <= 99; ++I) C.push_back(I);
  for (int I : {210, 220, 230, 340, 370, 420}) C.push_back(I);
  for (int I = 280; I <= 290; ++I) C.push_back(I);
  return C;
}

// A drawing holding one object of name N with handle A0, and the group (code, value).
// The group follows the subclass marker ASubclass when one is given.
std::string Drawing(const std::string& N, TPlace P, int Code, const std::string& Value, const char* ASubclass) {
  TGroups Own = {{0, N}, {5, "A0"}};
  if (P == plObject) Own.push_back({330, "C"});
  if (P == plTable) Own.push_back({2, "ITEM"});
  if (ASubclass && *ASubclass) Own.push_back({100, ASubclass});
  if (Code > 0 && !(P == plTable && Code == 2)) Own.push_back({Code, Value});
  TGroups G = {{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1027"}, {0, "ENDSEC"},
               {0, "SECTION"}, {2, "TABLES"}};
  for (const char* T : {"LAYER", "LTYPE", "STYLE", "DIMSTYLE"}) {
    G.insert(G.end(), {{0, "TABLE"}, {2, T}, {0, T}, {2, "PROBE"}, {70, "0"}});
    if (P == plTable && N == T) G.insert(G.end(), Own.begin(), Own.end());
    G.push_back({0, "ENDTAB"});
  }
  if (P == plTable && N != "LAYER" && N != "LTYPE" && N != "STYLE" && N != "DIMSTYLE") {
    G.insert(G.end(), {{0, "TABLE"}, {2, N}});
    G.insert(G.end(), Own.begin(), Own.end());
    G.push_back({0, "ENDTAB"});
  }
  G.insert(G.end(), {{0, "ENDSEC"}, {0, "SECTION"}, {2, "BLOCKS"}, {0, "BLOCK"}, {2, "PROBE"}, {8, "0"},
                     {10, "0"}, {20, "0"}, {30, "0"}, {0, "ENDBLK"}, {0, "ENDSEC"}, {0, "SECTION"},
                     {2, "ENTITIES"}});
  if (P == plEntity) G.insert(G.end(), Own.begin(), Own.end());
  G.insert(G.end(), {{0, "ENDSEC"}, {0, "SECTION"}, {2, "OBJECTS"}, {0, "DICTIONARY"}, {5, "C"}, {3, "PROBE"},
                     {350, "A0"}});
  if (P == plObject) G.insert(G.end(), Own.begin(), Own.end());
  G.insert(G.end(), {{0, "ENDSEC"}, {0, "EOF"}});
  return TextDXF(G);
}

struct TProbe {
  bool Found = false;
  std::string XML;
  std::vector<TqdSchemaGroup> Groups;
};

TProbe Read(const std::string& N, TPlace P, int Code = 0, const std::string& Value = "",
           const char* ASubclass = nullptr) {
  TProbe R;
  TqdConverterParams Params;
  auto* C = new TqdDXFConverter(Params);
  TqdConverterRef Ref(C);
  const std::string S = Drawing(N, P, Code, Value, ASubclass);
  LoadDXFFromMemory(S.data(), S.size(), *C);
  const TqdDXFEntity* E = C->Main()->FindEntByHandle(true, false, 0xA0);
  if (!E) return R;
  R.Found = true;
  StreamXML(R.XML, *E, xmlGetDefaultValue);
  R.Groups = SchemaDXFGroups(*E);
  return R;
}

// Row groups the reader applies that leave no trace on an object read alone.
bool Unobservable(const std::string& N, int C) {
  static const std::set<std::pair<std::string, int>> L = {
      // A normal of a curve without points: nothing is made from it.
      {"SPLINE", 210}, {"HELIX", 210}, {"LEADER", 210},
      // A helix read alone is rebuilt from its spline part.
      {"HELIX", 42}, {"HELIX", 290},
      // A viewport's status is worked out again when its layout's viewports are ordered.
      {"VIEWPORT", 68}};
  return L.count({N, C}) > 0;
}

class DxfSchema : public testing::TestWithParam<std::string> {
protected:
  static void SetUpTestSuite() { RegisterDXFReader(); }
};

TEST_P(DxfSchema, every_mapped_group_is_written_down_once) {
  const std::string N = GetParam();
  const TPlace P = PlaceOf(N);
  if (P == plNone) GTEST_SKIP() << N << " is read as part of its parent";
  const TProbe Base = Read(N, P);
  if (!Base.Found) GTEST_SKIP() << N << ": no object of this name is kept from a file without its context";
  std::set<int> Rows, Masked;
  std::map<int, const char*> Subclass;  // the marker a row's group follows
  for (const TqdSchemaGroup& G : Base.Groups)
    for (int C : SchemaGroupCodes(G)) {
      (G.DXF.Mask ? Masked : Rows).insert(C);
      Subclass.emplace(C, G.DXF.Subclass);
    }
  const std::vector<int> Hand = DXFHandWrittenCodes(N);
  std::set<int> Mapped;
  const std::vector<int> Probes = ProbeCodes();
  for (int Code : Probes) {
    const auto It = Subclass.find(Code);
    for (const std::string& V : ProbeValues(Code)) {
      const TProbe X = Read(N, P, Code, V, It == Subclass.end() ? nullptr : It->second);
      if (X.Found && X.XML == Base.XML) continue;
      Mapped.insert(Code);
      break;
    }
    if (!Mapped.count(Code)) continue;
    EXPECT_TRUE(Rows.count(Code) || Masked.count(Code) ||
                std::find(Hand.begin(), Hand.end(), Code) != Hand.end())
        << N << ": group " << Code << " is mapped, but neither a row nor a hand-written mapper names it"
        << " (rows: " << testing::PrintToString(Rows) << ")";
  }
  // A row's group is one the reader applies (a writer writes it back).
  for (const TqdSchemaGroup& G : Base.Groups) {
    bool Probed = false, Applied = false;
    for (int C : SchemaGroupCodes(G)) {
      // The handle finds the object; a table item's name is given with it.
      if (std::find(Probes.begin(), Probes.end(), C) == Probes.end() || (P == plTable && C == 2)) continue;
      Probed = true;
      Applied = Applied || Mapped.count(C);
    }
    if (Probed && !Applied && !Unobservable(N, G.DXF.Code))
      ADD_FAILURE() << N << ": the row " << XMLAttribName(G.Row->Id) << " names group " << G.DXF.Code
                    << ", which the reader does not apply";
  }
}

std::vector<std::string> RegisteredNames() {
  RegisterDatabaseClasses();
  std::vector<std::string> N = TqdEntityRegistry::Names();
  std::erase_if(N, [](const std::string& S) { return S.empty(); });
  return N;
}

INSTANTIATE_TEST_SUITE_P(Registered, DxfSchema, testing::ValuesIn(RegisteredNames()),
                         [](const testing::TestParamInfo<std::string>& I) {
                           std::string S = I.param;
                           for (char& C : S)
                             if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
                           return S;
                         });

// A field added as one row: a ray's direction, read from group 11 through the row,
// shown in the XML form and taken back from it (it was lost there before).
TEST(DxfSchemaRows, ray_direction_is_one_row_for_dxf_and_xml) {
  RegisterDXFReader();
  TqdConverterParams Params;
  auto* C = new TqdDXFConverter(Params);
  TqdConverterRef Ref(C);
  const std::string S = TextDXF({{0, "SECTION"}, {2, "ENTITIES"}, {0, "XLINE"}, {5, "A0"}, {8, "0"}, {10, "1"},
                                 {20, "2"}, {11, "0"}, {21, "1"}, {0, "ENDSEC"}, {0, "EOF"}});
  ASSERT_TRUE(LoadDXFFromMemory(S.data(), S.size(), *C).Ok);
  auto* R = dynamic_cast<TqdDXFRay*>(C->Main()->FindEntByHandle(true, false, 0xA0));
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(R->Direction(), (TFPoint{0, 1, 0}));
  TqdNode Root;
  const TqdNode* N = R->ToXML(Root, 0);
  ASSERT_NE(N, nullptr);
  const TqdNodeAttrib* A = N->GetAttributeByName("Direction");
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->GetText(), "0,1");
  R->SetDirection({1, 0, 0});
  TqdXMLResult Res;
  EXPECT_EQ(R->FromXML(*N, &Res), xsDone);
  EXPECT_EQ(R->Direction(), (TFPoint{0, 1, 0}));
}

TEST(DxfSchemaList, every_hand_written_mapper_says_why) {
  for (const TqdDXFHandMapper& M : DXFHandWrittenMappers()) {
    EXPECT_FALSE(M.Names.empty());
    EXPECT_GT(M.Reason.size(), 20u) << M.Names;
  }
}

}  // namespace
