// List-like child elements (spline points, knots, weights; extended data) and the
// drawing's own FromXML over its sections: what is written reads back the same, and
// hostile nodes neither allocate from their counts nor make items where they do not
// belong.
#include <gtest/gtest.h>

#include <string>

#include "Curves.h"
#include "readers/dxf/DXF.h"
#include "DXFConv.h"
#include "Properties.h"
#include "TableItems.h"

namespace {

const char* const cDrawing =
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n0\nLAYER\n2\nWALLS\n70\n0\n62\n3\n6\nCONTINUOUS\n0\nENDTAB\n"
    "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n5\nA1\n8\nWALLS\n10\n0\n20\n0\n30\n0\n11\n3\n21\n4\n31\n0\n"
    "0\nSPLINE\n5\nA2\n8\n0\n70\n12\n71\n2\n72\n6\n73\n3\n40\n0\n40\n0\n40\n0\n40\n1\n40\n1\n40\n1\n"
    "41\n1\n41\n0.5\n41\n1\n10\n0\n20\n0\n30\n0\n10\n1\n20\n1\n30\n0\n10\n2\n20\n0\n30\n0.25\n"
    "0\nENDSEC\n0\nEOF\n";

class XMLElements : public testing::Test {
protected:
  void SetUp() override {
    RegisterDXFReader();
    C = new TqdDXFConverter(TqdConverterParams{});
    Ref = std::make_unique<TqdConverterRef>(C);
    const std::string S(cDrawing);
    ASSERT_TRUE(LoadDXFFromMemory(S.data(), S.size(), *C).Ok);
  }
  TqdDXFEntity* ByHandle(std::uint64_t H) { return C->Main()->FindEntByHandle(true, false, H); }
  // E written as text and parsed again, as a file would carry it.
  const TqdNode& ThroughText(const TqdDXFEntity& E, TqdXMLMode Modes = 0) {
    TqdNode Root;
    const TqdNode* N = E.ToXML(Root, Modes);
    std::string Text;
    WriteXMLNode(Text, *N);
    EXPECT_TRUE(P.LoadFromString(Text)) << Text;
    return *P.ROOT().GetChildNode(0);
  }
  const TqdNode& Parse(const std::string& S) {
    EXPECT_TRUE(P.LoadFromString(S)) << S;
    return *P.ROOT().GetChildNode(0);
  }
  TqdDXFConverter* C = nullptr;
  std::unique_ptr<TqdConverterRef> Ref;
  TqdParser P;
};

TEST_F(XMLElements, spline_lists_read_back_the_same) {
  auto* S = dynamic_cast<TqdDXFSpline*>(ByHandle(0xA2));
  ASSERT_NE(S, nullptr);
  S->Fit().Add({5, 5, 0});
  const TqdNode& N = ThroughText(*S);
  const TqdNode* CP = N.GetChildByName("ControlPoints");
  ASSERT_NE(CP, nullptr);
  EXPECT_EQ(CP->GetAttributeByName("Count")->GetText(), "3");
  EXPECT_EQ(CP->GetChildNode(2)->GetText(), "2,0,0.25");
  EXPECT_EQ(N.GetChildByName("KnotsPoints")->GetChildNodesCount(), 6);
  EXPECT_EQ(N.GetChildByName("Weights")->GetChildNode(1)->GetText(), "0.5");

  TqdDXFSpline K;
  K.SetConverter(C);
  TqdXMLResult R;
  K.FromXML(N, &R);
  // Only the handle, which FromXML never takes.
  ASSERT_EQ(R.Messages.size(), 1u);
  EXPECT_NE(R.Messages[0].find("\"Handle\" is read-only"), std::string::npos);
  EXPECT_TRUE(K.Controls().IsEqual(S->Controls()));
  EXPECT_TRUE(K.Fit().IsEqual(S->Fit()));
  EXPECT_TRUE(K.Knots().IsEqual(S->Knots()));
  EXPECT_TRUE(K.Weights().IsEqual(S->Weights()));
  EXPECT_EQ(K.Degree(), 2);
  EXPECT_EQ(K.Flags() & TqdDXFSpline::cnstRational, TqdDXFSpline::cnstRational);
  // Defaults asked for: empty lists are written too (fit points of a fresh spline).
  TqdNode Root;
  EXPECT_NE(TqdDXFSpline().ToXML(Root, xmlGetDefaultValue)->GetChildByName("FitPoints"), nullptr);
  EXPECT_EQ(TqdDXFSpline().ToXML(Root, 0)->GetChildByName("FitPoints"), nullptr);
}

TEST_F(XMLElements, spline_lists_trust_no_count_and_no_bad_number) {
  TqdDXFSpline K;
  TqdXMLResult R;
  K.FromXML(Parse("<vnxSpline><ControlPoints Count=\"2000000000\"><Point>1,2,3</Point><Point>nan,0</Point>"
                  "<Point>x</Point><Other>4,4</Other></ControlPoints>"
                  "<KnotsPoints Count=\"-5\"><Knot>0</Knot><Knot>1e300</Knot><Knot>inf</Knot></KnotsPoints>"
                  "<Weights><Weight>2</Weight><Weight>abc</Weight></Weights></vnxSpline>"),
            &R);
  ASSERT_EQ(K.ControlCount(), 1);
  EXPECT_EQ(K.GetControlPoint(0), (TFPoint{1, 2, 3}));
  EXPECT_LE(K.Controls().Capacity(), 16);
  EXPECT_EQ(K.KnotCount(), 1);
  EXPECT_EQ(K.Weights().Count(), 1);
  EXPECT_EQ(R.Messages.size(), 5u);  // two points, two knots, one weight
  // A list element replaces the list: an edit of the controls leaves the knots alone.
  K.FromXML(Parse("<vnxSpline><ControlPoints><Point>7,7</Point><Point>8,8</Point></ControlPoints></vnxSpline>"), nullptr);
  EXPECT_EQ(K.ControlCount(), 2);
  EXPECT_EQ(K.KnotCount(), 1);
}

TEST_F(XMLElements, extended_data_reads_back_item_by_item) {
  TqdDXFEntity* L = ByHandle(0xA1);
  ASSERT_NE(L, nullptr);
  TqdCADExtendedData D;
  D.AddString(1001, "MYAPP");
  D.AddString(1000, "a <b> & \"c\"");
  D.AddInt16(1070, -7);
  D.AddInt(1071, 123456789);
  D.AddDouble(1040, 0.1);
  D.AddPoint(1010, {1, 2, 3});
  D.AddBinary(1004, std::string("\x00\xFF\x10", 3));
  D.AddInt64(1005, 0x1F);
  L->SetEED(D, "MYAPP");
  const TqdNode& N = ThroughText(*L);
  const TqdNode* X = N.GetChildByName("ExtData");
  ASSERT_NE(X, nullptr);
  EXPECT_EQ(X->GetAttributeByName("Name")->GetText(), "MYAPP");
  EXPECT_EQ(X->GetChildNode(6)->GetText(), "00FF10");

  C->GetSection(csEntities)->AddEntity(std::unique_ptr<TqdDXFEntity>(new TqdDXFLine));
  TqdDXFEntity* Fresh = C->GetSection(csEntities)->GetEntity(C->GetSection(csEntities)->Count() - 1);
  TqdXMLResult R;
  Fresh->FromXML(N, &R);
  const TqdCADExtendedData* Got = Fresh->GetEED("MYAPP");
  ASSERT_NE(Got, nullptr);
  ASSERT_EQ(Got->Count(), D.Count());
  for (int I = 0; I < D.Count(); ++I) {
    EXPECT_EQ(Got->DataType(I), D.DataType(I)) << I;
    EXPECT_EQ(Got->DataCode(I), D.DataCode(I)) << I;
    EXPECT_EQ(Got->DataString(I), D.DataString(I)) << I;
    EXPECT_EQ(Got->DataInt(I), D.DataInt(I)) << I;
    EXPECT_EQ(Got->DataDouble(I), D.DataDouble(I)) << I;
    EXPECT_EQ(Got->DataPoint(I), D.DataPoint(I)) << I;
  }
  EXPECT_EQ(Got->DataBinary(6), std::string("\x00\xFF\x10", 3));
  // The application is known to the drawing.
  EXPECT_NE(C->ItemByName("MYAPP", csAppID, false), nullptr);
}

TEST_F(XMLElements, extended_data_refuses_hostile_items) {
  TqdDXFEntity* L = ByHandle(0xA1);
  const std::string Long(400, 'x');
  TqdXMLResult R;
  L->FromXML(Parse("<vnxLine><ExtData Name=\"APP2\" Count=\"99999999\">"
                   "<Value Code=\"1001\" Type=\"String\">APP2</Value>"
                   "<Value Code=\"1000\" Type=\"String\">" + Long + "</Value>"
                   "<Value Code=\"5\" Type=\"String\">bad code</Value>"
                   "<Value Code=\"1070\" Type=\"Int16\">70000</Value>"
                   "<Value Code=\"1004\" Type=\"Binary\">0G</Value>"
                   "<Value Code=\"1000\" Type=\"Object\">$00000000DEADBEEF</Value>"
                   "<Value Code=\"1040\" Type=\"Double\">nan</Value>"
                   "<Value Code=\"1040\" Type=\"Nothing\">1</Value>"
                   "<Junk/></ExtData>"
                   "<ExtData Name=\"bad,name\"><Value Code=\"1000\" Type=\"String\">x</Value></ExtData></vnxLine>"),
             &R);
  const TqdCADExtendedData* Got = L->GetEED("APP2");
  ASSERT_NE(Got, nullptr);
  ASSERT_EQ(Got->Count(), 2);
  EXPECT_EQ(Got->DataString(1).size(), 255u);
  EXPECT_EQ(R.Messages.size(), 8u);
  EXPECT_EQ(L->GetEED("bad,name"), nullptr);
  // An element without items removes the application's record.
  L->FromXML(Parse("<vnxLine><ExtData Name=\"app2\"/></vnxLine>"), nullptr);
  EXPECT_EQ(L->GetEED("APP2"), nullptr);
}

TEST_F(XMLElements, drawing_applies_its_sections_by_name) {
  TqdXMLResult R;
  const int Status = C->FromXML(
      Parse("<vnxConverter><vnxSectionHeader LTScale=\"3\"/>"
            "<vnxSectionTables Name=\"TABLES\"><SubEntities>"
            "<vnxTable Name=\"LAYER\"><SubEntities>"
            "<vnxLayer Name=\"walls\" Visible=\"false\"/>"  // found by name, whatever its place
            "<vnxLayer Name=\"NEW\" Color=\"0;5;\"/>"        // made by the drawing
            "<vnxLayer Name=\"a/b\"/>"                       // not a layer name
            "<vnxLine/><vnxStyle Name=\"S\"/><vnxSectionBlocks Name=\"X\"/>"
            "</SubEntities></vnxTable>"
            "<vnxTable Name=\"BRANDNEW\"/>"
            "</SubEntities></vnxSectionTables>"
            "<vnxSectionBlocks Name=\"BLOCKS\"><SubEntities>"
            "<vnxBlock Name=\"NEWBLOCK\" BasePoint=\"1,2\"><SubEntities><vnxLine Point1=\"5,5\"/>"
            "<vnxLayer Name=\"INBLOCK\"/></SubEntities></vnxBlock>"
            "<vnxLayout Name=\"L9\"/>"
            "</SubEntities></vnxSectionBlocks>"
            "<vnxSectionEntities Name=\"ENTITIES\"/><vnxLine/></vnxConverter>"),
      &R);
  EXPECT_EQ(Status, xsWrongClass);
  EXPECT_EQ(C->LTScale(), 3.0);
  auto* Walls = dynamic_cast<TqdDXFLayer*>(C->ItemByName("WALLS", csLayers, false));
  ASSERT_NE(Walls, nullptr);
  EXPECT_FALSE(Walls->Visible());
  auto* New = dynamic_cast<TqdDXFLayer*>(C->ItemByName("NEW", csLayers, false));
  ASSERT_NE(New, nullptr);
  EXPECT_EQ(New->ColorCAD().Color, 5u);
  EXPECT_NE(New->Handle(), 0u);
  EXPECT_EQ(C->ItemByName("a/b", csLayers, false), nullptr);
  EXPECT_EQ(C->GetSection(csTables)->FindEntByName("BRANDNEW"), nullptr);
  TqdDXFBlock* B = C->BlockByName("NEWBLOCK");
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->Offset(), (TFPoint{1, 2, 0}));
  ASSERT_EQ(B->Count(), 1);
  EXPECT_EQ(dynamic_cast<TqdDXFLine*>(B->GetEntity(0))->Point1(), (TFPoint{5, 5, 0}));
  EXPECT_EQ(C->BlockByName("L9"), nullptr);
  bool SectionError = false;
  for (const std::string& M : R.Messages) SectionError = SectionError || M.find("Error section!") != std::string::npos;
  EXPECT_TRUE(SectionError);
  // a/b, line, style, section, BRANDNEW, layer in a block, layout, ENTITIES, the line.
  EXPECT_EQ(R.Messages.size(), 9u) << R.Messages[0];
}

TEST_F(XMLElements, drawing_round_trip_changes_nothing) {
  TqdNode Root;
  const TqdNode* N = C->ToXML(Root, xmAddSectionEntities | xmAddSubEntities | xmlGetDefaultValue);
  std::string Before;
  WriteXMLNode(Before, *N);
  TqdXMLResult R;
  EXPECT_EQ(C->FromXML(Parse(Before), &R), xsDone);
  EXPECT_TRUE(R.Messages.empty()) << R.Messages[0];
  TqdNode Root2;
  std::string After;
  WriteXMLNode(After, *C->ToXML(Root2, xmAddSectionEntities | xmAddSubEntities | xmlGetDefaultValue));
  EXPECT_EQ(Before, After);
}

}  // namespace
