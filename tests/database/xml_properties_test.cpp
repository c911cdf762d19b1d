// The XML form of database items: the writers' examples, FromXML's rules and its
// refusals of hostile nodes.
#include <gtest/gtest.h>

#include <string>

#include "readers/dxf/DXF.h"
#include "DXFConv.h"
#include "Inserts.h"
#include "Polylines.h"
#include "Properties.h"

namespace {

const char* const cDrawing =
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n0\nLAYER\n2\nWALLS\n70\n0\n62\n3\n6\nCONTINUOUS\n0\nENDTAB\n"
    "0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nDOOR\n8\n0\n70\n0\n10\n0\n20\n0\n30\n0\n"
    "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n0\nENDBLK\n0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n5\nA1\n8\nWALLS\n10\n0\n20\n0\n30\n0\n11\n3\n21\n4\n31\n0\n"
    "0\nLWPOLYLINE\n5\nA2\n8\n0\n90\n2\n70\n0\n10\n0\n20\n0\n10\n5\n20\n0\n"
    "0\nINSERT\n5\nA3\n8\n0\n2\nDOOR\n10\n1\n20\n1\n30\n0\n"
    "0\nENDSEC\n0\nEOF\n";

class XMLForm : public testing::Test {
protected:
  void SetUp() override {
    RegisterDXFReader();
    TqdConverterParams P;
    C = new TqdDXFConverter(P);
    Ref = std::make_unique<TqdConverterRef>(C);
    const std::string S(cDrawing);
    ASSERT_TRUE(LoadDXFFromMemory(S.data(), S.size(), *C).Ok);
  }
  TqdDXFEntity* ByHandle(std::uint64_t H) { return C->Main()->FindEntByHandle(true, false, H); }
  TqdDXFConverter* C = nullptr;
  std::unique_ptr<TqdConverterRef> Ref;
};

std::string Attr(const TqdNode& N, const char* Name) {
  const TqdNodeAttrib* A = N.GetAttributeByName(Name);
  return A ? A->GetText() : "(absent)";
}

TEST_F(XMLForm, line_writes_point1_length_and_angle) {
  TqdDXFEntity* L = ByHandle(0xA1);
  ASSERT_NE(L, nullptr);
  TqdNode Root;
  const TqdNode* N = L->ToXML(Root, xmlGetDefaultValue);
  ASSERT_NE(N, nullptr);
  EXPECT_EQ(N->GetName(), "vnxLine");
  EXPECT_EQ(N->Entity, L);
  EXPECT_EQ(Attr(*N, "Point1"), "3,4");
  EXPECT_EQ(Attr(*N, "Length"), "5");
  // The direction in degrees: 0 would turn the line when the node is read back.
  EXPECT_EQ(Attr(*N, "Angle"), "53.130102354156");
  EXPECT_EQ(Attr(*N, "Layer"), "WALLS");
  EXPECT_EQ(Attr(*N, "Handle"), "$A1");
  // The chain's order: base class first.
  const char* Order[] = {"LineWeight", "Handle", "Flags", "LineType", "Layer", "Color",
                         "LineTypeScale", "Point", "Thickness", "Extrusion", "Point1", "Length", "Angle"};
  ASSERT_EQ(N->GetAttributeNodesCount(), 13);
  for (int I = 0; I < 13; ++I) EXPECT_EQ(N->GetAttributeNode(I)->GetName(), Order[I]) << I;
}

TEST_F(XMLForm, short_form_leaves_defaults_out_but_always_writes_length) {
  TqdDXFLine L;
  L.SetLine({0, 0, 0}, {5, 0, 0});
  TqdNode Root;
  const TqdNode* N = L.ToXML(Root, 0);
  EXPECT_EQ(Attr(*N, "Length"), "5");
  EXPECT_EQ(Attr(*N, "Angle"), "(absent)");
  EXPECT_EQ(Attr(*N, "Handle"), "(absent)");
  EXPECT_EQ(Attr(*N, "Thickness"), "(absent)");
  EXPECT_EQ(Attr(*N, "Point1"), "5,0");
  const TqdNode* Full = L.ToXML(Root, xmlGetDefaultValue);
  EXPECT_EQ(Attr(*Full, "Angle"), "0");
  EXPECT_EQ(Attr(*Full, "Handle"), "$0");
  const TqdNode* Help = L.ToXML(Root, xmCallHelp);
  EXPECT_EQ(Attr(*Help, "LineType"), "");
}

TEST_F(XMLForm, colours_in_their_text_form) {
  TqdDXFLine L;
  L.SetColorCAD(TqdColorCAD::RGB(MakeRGB(255, 0, 0)));
  TqdNode Root;
  EXPECT_EQ(Attr(*L.ToXML(Root, 0), "Color"), "1;$FF0000;");
  L.SetColorCAD(TqdColorCAD::Index(7));
  EXPECT_EQ(Attr(*L.ToXML(Root, 0), "Color"), "0;7;");
}

TEST_F(XMLForm, a_node_with_one_attribute_changes_one_property) {
  auto* L = dynamic_cast<TqdDXFLine*>(ByHandle(0xA1));
  ASSERT_NE(L, nullptr);
  TqdNode N("vnxLine");
  TqdData D;
  D.SetValueAsStr("90");
  N.AddAttribNV("angle", D);  // names compare without case
  TqdXMLResult R;
  EXPECT_EQ(L->FromXML(N, &R), xsDone);
  EXPECT_TRUE(R.Messages.empty());
  EXPECT_EQ(R.Applied, 1);
  EXPECT_NEAR(L->Angle(), 90, 1e-9);
  EXPECT_NEAR(L->Length(), 5, 1e-9);
  EXPECT_EQ(L->Point(), (TFPoint{0, 0, 0}));
  EXPECT_EQ(L->Layer()->Name(), "WALLS");
}

TEST_F(XMLForm, handle_is_read_only) {
  TqdDXFEntity* L = ByHandle(0xA1);
  TqdDXFEntity* Other = ByHandle(0xA2);
  TqdNode N("vnxLine");
  TqdData D;
  D.SetValueAsStr("$A2");  // the handle of another item
  N.AddAttribNV("Handle", D);
  TqdXMLResult R;
  L->FromXML(N, &R);
  EXPECT_EQ(L->Handle(), 0xA1u);
  EXPECT_EQ(ByHandle(0xA2), Other);
  ASSERT_EQ(R.Messages.size(), 1u);
  EXPECT_NE(R.Messages[0].find("read-only"), std::string::npos);
}

TEST_F(XMLForm, names_resolve_only_to_items_of_the_drawing) {
  TqdDXFEntity* L = ByHandle(0xA1);
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString("<vnxLine LineType=\"NOSUCH\" Layer=\"A/B\" Color=\"7\" Point1=\"x\" Bogus=\"1\"/>"));
  TqdXMLResult R;
  L->FromXML(*P.ROOT().GetChildNode(0), &R);
  EXPECT_EQ(R.Messages.size(), 5u);
  EXPECT_EQ(L->Layer()->Name(), "WALLS");
  EXPECT_NE(R.Messages[0].find("line 1, column"), std::string::npos) << R.Messages[0];
  EXPECT_EQ(dynamic_cast<TqdDXFLine*>(L)->Point1(), (TFPoint{3, 4, 0}));
}

TEST_F(XMLForm, containers_create_only_the_classes_they_own) {
  auto* PL = dynamic_cast<TqdDXFPolyline*>(ByHandle(0xA2));
  ASSERT_NE(PL, nullptr);
  ASSERT_EQ(PL->Count(), 2);
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString(
      "<vnxLWPolyline Count=\"2000000000\"><SubEntities>"
      "<vnxVertex Point=\"0,1\"/><vnxVertex Point=\"5,1\"/><vnxVertex Point=\"9,9\"/>"
      "<vnxSectionBlocks/><vnxBlock Name=\"X\"/><vnxLine/><vnxConverter/><vnxNoSuchClass/>"
      "</SubEntities><vnxAttrib Tag=\"T\"/></vnxLWPolyline>"));
  TqdXMLResult R;
  PL->FromXML(*P.ROOT().GetChildNode(0), &R);
  // Two vertices updated in place, one added; the rest refused and reported.
  ASSERT_EQ(PL->Count(), 3);
  EXPECT_EQ(PL->GetVertex(0)->Point(), (TFPoint{0, 1, 0}));
  EXPECT_EQ(PL->GetVertex(2)->Point(), (TFPoint{9, 9, 0}));
  EXPECT_NE(PL->GetVertex(2)->Handle(), 0u);
  EXPECT_EQ(R.Messages.size(), 7u);  // Count, 5 classes, the attribute outside the list

  auto* I = dynamic_cast<TqdDXFInsert*>(ByHandle(0xA3));
  ASSERT_NE(I, nullptr);
  ASSERT_TRUE(P.LoadFromString("<vnxInsert><SubEntities><vnxAttrib Tag=\"T\" Value=\"V\"/><vnxAttdef/>"
                               "<vnxVertex/></SubEntities></vnxInsert>"));
  TqdXMLResult R2;
  I->FromXML(*P.ROOT().GetChildNode(0), &R2);
  ASSERT_EQ(I->Count(), 1);
  EXPECT_EQ(dynamic_cast<TqdDXFAttrib*>(I->GetEntity(0))->Value(), "V");
  EXPECT_EQ(R2.Messages.size(), 2u);
}

TEST_F(XMLForm, a_node_of_another_class_is_refused) {
  TqdDXFEntity* L = ByHandle(0xA1);
  TqdNode N("vnxCircle");
  TqdData D;
  D.SetValueAsStr("7,7");
  N.AddAttribNV("Point1", D);
  TqdXMLResult R;
  EXPECT_EQ(L->FromXML(N, &R), xsWrongClass);
  EXPECT_EQ(dynamic_cast<TqdDXFLine*>(L)->Point1(), (TFPoint{3, 4, 0}));
}

TEST_F(XMLForm, a_handler_can_stop_the_pass) {
  auto* L = dynamic_cast<TqdDXFLine*>(ByHandle(0xA1));
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString("<vnxLine Point=\"1,1\" Point1=\"9,9\"/>"));
  TqdXMLResult R;
  R.Stop = [](const TqdNodeSample& N) { return N.GetName() == "Point1"; };
  EXPECT_EQ(L->FromXML(*P.ROOT().GetChildNode(0), &R), xsStopped);
  EXPECT_EQ(L->Point(), (TFPoint{1, 1, 0}));
  EXPECT_EQ(L->Point1(), (TFPoint{3, 4, 0}));
}

TEST(XMLNames, property_and_element_names) {
  struct TCase {
    const char* Class;
    const char* Property;
  };
  for (const TCase& T : {TCase{"TqdDXFLine", "Line"}, TCase{"TqdCADHatch", "Hatch"}, TCase{"Tqd2DArc", "hArc"},
                         TCase{"TqdMVertex", "MVertex"}, TCase{"Other", "Other"}}) {
    EXPECT_EQ(GetPropertyName(T.Class), T.Property);
    EXPECT_EQ(GetXMLName(T.Class), std::string("vnx") + T.Property);
  }
  const TqdEntityClass C = XMLClassByName("VNXLINE");
  ASSERT_NE(C, nullptr);
  EXPECT_STREQ(C()->ClassName(), "TqdDXFLine");
  EXPECT_EQ(XMLClassByName("vnxNoSuch"), nullptr);
}

TEST_F(XMLForm, text_round_trip_into_a_fresh_item) {
  TqdDXFEntity* PL = ByHandle(0xA2);
  TqdParser P;
  PL->ToXML(P.ROOT(), xmAddSubEntities | xmlGetDefaultValue);
  const std::string S = P.SaveToString();
  TqdParser Q;
  ASSERT_TRUE(Q.LoadFromString(S)) << Q.DebugInfo();
  auto Fresh = PL->NewInstance();
  Fresh->SetConverter(C);
  TqdXMLResult R;
  EXPECT_EQ(Fresh->FromXML(*Q.ROOT().GetChildNode(0), &R), xsDone);
  ASSERT_EQ(R.Messages.size(), 3u);  // the handles of the polyline and its vertices
  ASSERT_EQ(Fresh->Count(), 2);
  TqdNode A, B;
  PL->ToXML(A, xmAddSubEntities | xmlGetDefaultValue)->RemoveAttributeByName("Handle");
  Fresh->ToXML(B, xmAddSubEntities | xmlGetDefaultValue)->RemoveAttributeByName("Handle");
  for (TqdNode* N : {&A, &B})
    for (int I = 0; I < 2; ++I) N->GetChildNode(0)->GetChildNode(0)->GetChildNode(I)->RemoveAttributeByName("Handle");
  EXPECT_EQ(A.Compare(B), 0);
}

TEST_F(XMLForm, streamed_dump_is_the_tree_to_xml_builds) {
  TqdNode Tree;
  C->ToXML(Tree, xmAddSubEntities | xmAddSectionEntities | xmlGetDefaultValue);
  std::string S;
  StreamXML(S, *C, xmAddSubEntities | xmAddSectionEntities | xmlGetDefaultValue);
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString(S)) << P.DebugInfo();
  EXPECT_EQ(P.ROOT().GetChildNode(0)->Compare(*Tree.GetChildNode(0)), 0);
  // The header and the sections are there.
  EXPECT_NE(P.ROOT().GetChildNode(0)->GetChildByName("vnxSectionHeader"), nullptr);
  EXPECT_GE(P.ROOT().GetChildNode(0)->GetChildNodesCount(), 4);
}

TEST_F(XMLForm, converter_takes_header_variables) {
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString("<vnxConverter><vnxSectionHeader LTScale=\"2.5\" CodePage=\"1\" Bad=\"x\"/></vnxConverter>"));
  TqdXMLResult R;
  C->FromXML(*P.ROOT().GetChildNode(0), &R);
  EXPECT_EQ(C->LTScale(), 2.5);
  EXPECT_EQ(R.Messages.size(), 2u);
}

TEST_F(XMLForm, description_lists_each_attribute_once) {
  TqdDXFEntity* L = ByHandle(0xA1);
  const std::string D = XMLDescription(*L);
  EXPECT_NE(D.find("Handle (EntHandle, read-only): Handle value"), std::string::npos) << D;
  std::vector<TqdXMLPropertyInfo> Props = XMLProperties(*L);
  EXPECT_EQ(Props.size(), 13u);
  // A class that redescribes an ancestor's attribute keeps one of it, at the ancestor's place.
  TqdDXFMText M;
  TqdNode Root;
  const TqdNode* N = M.ToXML(Root, xmlGetDefaultValue);
  int Heights = 0;
  for (const auto& A : N->Attributes()) Heights += A->GetName() == "Height";
  EXPECT_EQ(Heights, 1);
}

}  // namespace
