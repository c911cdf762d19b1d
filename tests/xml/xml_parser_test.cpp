// The parser and writer, on text written here: structure, hostile input, encodings.
#include <gtest/gtest.h>

#include <string>

#include "qdXMLParser.h"

namespace {

std::string Nested(int Depth) {
  std::string S;
  for (int I = 0; I < Depth; ++I) S += "<a>";
  for (int I = 0; I < Depth; ++I) S += "</a>";
  return S;
}

TEST(Parser, reads_elements_attributes_text_and_comments) {
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString("<?xml version=\"1.0\"?>\n<!-- top -->\n<root a='1' b=\"x &amp; y\">\n"
                               "  <vnxLine Point1=\"3,4\"/>\n  <t>te&lt;xt<![CDATA[<raw>]]></t>\n"
                               "  <?pi some data?>\n</root>\n"))
      << P.DebugInfo();
  const TqdNode& Doc = P.ROOT();
  ASSERT_EQ(Doc.GetChildNodesCount(), 2);
  EXPECT_EQ(Doc.GetChildNode(0)->Type, ntComment);
  const TqdNode* Root = Doc.GetChildNode(1);
  EXPECT_EQ(Root->GetName(), "root");
  EXPECT_EQ(Root->Position.Line, 3);
  EXPECT_EQ(Root->GetAttributeByName("B")->GetText(), "x & y");
  const TqdNode* Line = Root->GetChildByName("vnxline");
  ASSERT_NE(Line, nullptr);
  EXPECT_EQ(Line->GetAttributeByName("Point1")->NameIndex(), 2);  // stored once, in the table
  EXPECT_EQ(Line->GetAttributeByName("Point1")->AsFPoint(), (TFPoint{3, 4, 0}));
  EXPECT_EQ(Root->GetChildByName("t")->GetText(), "te<xt<raw>");
  EXPECT_EQ(Root->GetChildNode(2)->Type, ntProcessingInstr);
}

TEST(Parser, saved_text_reads_back_to_the_same_tree) {
  TqdParser P;
  TqdNode* R = P.ROOT().AddChildNV("vnxConverter");
  TqdData D;
  D.SetValueAsStr("quote \" amp & lt < tab\tnl\n");
  R->AddAttribNV("Text", D);
  D.SetValueAsFPoint({1.25, -3, 0});
  R->AddChildNV("Point", D);
  TqdNode* C = R->AddChildNV("vnxLine");
  D.SetValueAsDouble(5);
  C->AddAttribNV("Length", D);
  auto Comment = std::make_unique<TqdNode>(ntComment);
  Comment->SetText("a -- b");
  R->AddChild(std::move(Comment));
  const std::string S = P.SaveToString();
  TqdParser Q;
  ASSERT_TRUE(Q.LoadFromString(S)) << Q.DebugInfo() << "\n" << S;
  const TqdNode* R2 = Q.ROOT().GetChildNode(0);
  EXPECT_EQ(R2->GetAttributeByName("Text")->GetText(), "quote \" amp & lt < tab\tnl\n");
  EXPECT_EQ(R2->GetChildByName("Point")->GetText(), "1.25,-3");
  EXPECT_EQ(R2->GetChildByName("vnxLine")->GetAttributeByName("Length")->AsDouble(), 5);
  EXPECT_EQ(Q.SaveToString(), S);
}

TEST(Parser, writes_characters_xml_cannot_carry_as_replacement) {
  TqdParser P;
  TqdData D;
  D.SetValueAsStr(std::string("a\x01" "b\xff" "c", 5));
  P.ROOT().AddChildNV("x")->AddAttribNV("v", D);
  const std::string S = P.SaveToString();
  EXPECT_EQ(S.find('\x01'), std::string::npos);
  TqdParser Q;
  ASSERT_TRUE(Q.LoadFromString(S)) << Q.DebugInfo();
  EXPECT_EQ(Q.ROOT().GetChildNode(0)->GetAttributeByName("v")->GetText(), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c");
}

struct TBadCase {
  const char* Name;
  std::string Text;
  const char* Message;
};

class ParserFaults : public testing::TestWithParam<TBadCase> {};

TEST_P(ParserFaults, fail_with_the_position) {
  TqdParser P;
  EXPECT_FALSE(P.LoadFromString(GetParam().Text));
  EXPECT_NE(P.DebugInfo().find("line "), std::string::npos) << P.DebugInfo();
  EXPECT_NE(P.DebugInfo().find(GetParam().Message), std::string::npos) << P.DebugInfo();
}

INSTANTIATE_TEST_SUITE_P(
    Text, ParserFaults,
    testing::Values(TBadCase{"mismatched_end_tag", "<a>\n<b></a>", "does not match"},
                    TBadCase{"unclosed_element", "<a><b/>", "not closed"},
                    TBadCase{"unclosed_comment", "<a><!-- x", "comment not closed"},
                    TBadCase{"duplicate_attribute", "<a x='1' x='2'/>", "given twice"},
                    TBadCase{"lt_in_attribute", "<a x='<'/>", "'<' in an attribute"},
                    TBadCase{"two_roots", "<a/><b/>", "second root"},
                    TBadCase{"text_outside_root", "hello <a/>", "outside the root"},
                    TBadCase{"empty", "", "no root"},
                    TBadCase{"nesting_beyond_the_cap", Nested(cnstXMLMaxDepth + 1), "nested deeper"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Parser, nesting_up_to_the_cap_is_read) {
  TqdParser P;
  EXPECT_TRUE(P.LoadFromString(Nested(cnstXMLMaxDepth))) << P.DebugInfo();
}

TEST(Parser, declared_entities_are_never_expanded) {
  // The classic exponential declaration: each level ten references of the one before.
  std::string S = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
  for (int I = 1; I <= 9; ++I) {
    S += "<!ENTITY lol" + std::to_string(I) + " \"";
    for (int J = 0; J < 10; ++J) S += "&lol" + (I == 1 ? std::string() : std::to_string(I - 1)) + ";";
    S += "\">\n";
  }
  S += "]>\n<lolz a=\"&lol9;\">&lol9;&unknown;</lolz>\n";
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString(S)) << P.DebugInfo();
  ASSERT_EQ(P.ROOT().GetChildNodesCount(), 2);
  EXPECT_EQ(P.ROOT().GetChildNode(0)->Type, ntDocType);
  const TqdNode* L = P.ROOT().GetChildNode(1);
  EXPECT_EQ(L->GetText(), "&lol9;&unknown;");
  EXPECT_EQ(L->GetAttributeByName("a")->GetText(), "&lol9;");
}

TEST(Parser, numeric_references_only_to_valid_characters) {
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString("<a>&#65;&#x42;&#x20AC;&#0;&#xD800;&#x110000;&#99999999999;&#x;&amp</a>"))
      << P.DebugInfo();
  EXPECT_EQ(P.ROOT().GetChildNode(0)->GetText(),
            "AB\xE2\x82\xAC&#0;&#xD800;&#x110000;&#99999999999;&#x;&amp");
}

TEST(Parser, encodings) {
  TqdParser P;
  // UTF-16LE with a byte-order mark.
  std::string U16("\xFF\xFE", 2);
  for (char16_t C : std::u16string(u"<a v=\"\u00E9\"/>")) {
    U16 += static_cast<char>(C & 0xFF);
    U16 += static_cast<char>(C >> 8);
  }
  ASSERT_TRUE(P.LoadFromString(U16)) << P.DebugInfo();
  EXPECT_EQ(P.ROOT().GetChildNode(0)->GetAttributeByName("v")->GetText(), "\xC3\xA9");
  // Latin-1 named in the declaration.
  ASSERT_TRUE(P.LoadFromString("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a v=\"\xE9\"/>")) << P.DebugInfo();
  EXPECT_EQ(P.ROOT().GetChildNode(0)->GetAttributeByName("v")->GetText(), "\xC3\xA9");
  // And saved in each: read back the same.
  for (TqdXMLEncoding E : {xeUTF8, xeUTF16LE, xeUTF16BE, xeLatin1}) {
    P.SaveEncoding = E;
    TqdData D;
    D.SetValueAsStr("\xC3\xA9\xE2\x82\xAC");  // e-acute, euro
    P.ROOT().GetChildNode(0)->AddAttribNV("w" + std::to_string(E), D);
    TqdParser Q;
    ASSERT_TRUE(Q.LoadFromString(P.SaveToString())) << E << Q.DebugInfo();
    EXPECT_EQ(Q.ROOT().GetChildNode(0)->GetAttributeByName("w" + std::to_string(E))->GetText(),
              "\xC3\xA9\xE2\x82\xAC");
  }
}

TEST(Parser, a_stop_callback_ends_a_long_parse) {
  std::string S = "<r>";
  for (int I = 0; I < 2000; ++I) S += "<e/>";
  S += "</r>";
  TqdParser P;
  int Progress = 0;
  P.OnProgress = [&](std::size_t, std::size_t) { ++Progress; };
  P.Stopped = [&] { return Progress >= 2; };
  EXPECT_FALSE(P.LoadFromString(S));
  EXPECT_NE(P.DebugInfo().find("stopped"), std::string::npos);
  EXPECT_GT(P.ROOT().GetChildNode(0)->GetChildNodesCount(), 0);
  EXPECT_LT(P.ROOT().GetChildNode(0)->GetChildNodesCount(), 2000);
}

TEST(Nodes, deep_trees_built_in_process_free_save_and_copy_without_recursion) {
  auto Root = std::make_unique<TqdNode>("r");
  TqdNode* N = Root.get();
  for (int I = 0; I < 200000; ++I) N = N->AddChildNV("c");
  std::string S;
  WriteXMLNode(S, *Root, false);
  EXPECT_EQ(S.size(), std::string("<r>").size() + 199999 * std::string("<c></c>").size() +
                          std::string("<c/>").size() + std::string("</r>").size());
  TqdNode Copy;
  EXPECT_FALSE(Copy.Assign(*Root));  // stops at the cap
  EXPECT_EQ(TqdParser::FindNodeByName("c", Root->Childs()).size(), 1u);
  Root.reset();  // must not overflow the stack
}

TEST(Nodes, children_are_never_reparented_or_made_cyclic) {
  auto A = std::make_unique<TqdNode>("a");
  TqdNode* B = A->AddChildNV("b");
  auto Loose = std::make_unique<TqdNode>("x");
  TqdNode* X = B->AddChild(std::move(Loose));
  ASSERT_NE(X, nullptr);
  EXPECT_EQ(X->Owner(), B);
  EXPECT_EQ(B->AddChild(nullptr), nullptr);
  // The root moved under its own grandchild is refused (and stays with the caller).
  EXPECT_EQ(X->AddChild(std::move(A)), nullptr);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->GetChildNode(0), B);
}

TEST(Search, find_by_name_and_by_sample) {
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString("<r><vnxLine Layer='0'/><g><vnxLine Layer='A'/><vnxLINE Layer='A' Color='0;1;'/></g></r>"));
  TqdFindOptions O;
  O.FindAll = true;
  EXPECT_EQ(TqdParser::FindNodeByName("vnxline", P.ROOT().Childs(), O).size(), 3u);
  O.CaseSensitive = true;
  EXPECT_EQ(TqdParser::FindNodeByName("vnxLine", P.ROOT().Childs(), O).size(), 2u);
  O.Recursive = false;
  EXPECT_EQ(TqdParser::FindNodeByName("vnxLine", P.ROOT().Childs(), O).size(), 0u);

  TqdNode Sample("vnxLine");
  TqdData D;
  D.SetValueAsStr("A");
  Sample.AddAttribNV("Layer", D);
  EXPECT_EQ(TqdFindByNode(Sample).Find(P.ROOT()).size(), 1u);
  const auto All = TqdFindByNode(Sample, true).Find(P.ROOT());
  ASSERT_EQ(All.size(), 2u);
  EXPECT_NE(All[1]->GetAttributeByName("color"), nullptr);

  TqdNodeIterator It(P.ROOT());
  int Count = 0;
  while (It.Next()) ++Count;
  EXPECT_EQ(Count, 6);  // document, r, line, g, line, line
}

TEST(Nodes, assign_and_compare) {
  TqdParser P;
  ASSERT_TRUE(P.LoadFromString("<r a='1'><b c='2'>t</b></r>"));
  TqdNode Copy;
  EXPECT_TRUE(Copy.Assign(*P.ROOT().GetChildNode(0)));
  EXPECT_EQ(Copy.Compare(*P.ROOT().GetChildNode(0)), 0);
  Copy.GetChildNode(0)->GetAttributeByName("c")->SetText("3");
  EXPECT_NE(Copy.Compare(*P.ROOT().GetChildNode(0)), 0);
  EXPECT_TRUE(Copy.RemoveAttributeByName("A"));
  EXPECT_FALSE(Copy.HasAttributeNodes());
}

}  // namespace
