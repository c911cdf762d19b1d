#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "DXFConv.h"

namespace {

// An insert stand-in: it shows one block, as inserts of the block unit will.
class TTestInsert : public TqdDXFCustomVertex {
  QD_ENTITY_CLASS(TTestInsert)
public:
  TqdCADEntities EntType() const override { return ceInsert; }
  bool IsInsert() const override { return true; }
  TqdDXFEntity* InsertBlock() const override { return Block; }
  TqdDXFEntity* Block = nullptr;
};

template <class T> T* AddTo(TqdDXFEntity* Owner, std::unique_ptr<T> E) {
  T* Raw = E.get();
  return Owner->AddEntity(std::move(E)) >= 0 ? Raw : nullptr;
}

std::unique_ptr<TqdDXFLayer> NamedLayer(const char* Name) {
  auto L = std::make_unique<TqdDXFLayer>();
  L->SetNameUnchecked(Name);
  return L;
}

TEST(NameIndex, LaterOfEqualNamesWinsAndRenamesRefile) {
  TqdDXFTable T;
  TqdDXFLayer* First = AddTo(&T, NamedLayer("A"));
  TqdDXFLayer* Second = AddTo(&T, NamedLayer("a"));
  EXPECT_EQ(T.FindEntByName("A"), Second);
  EXPECT_EQ(T.IndexOfName("A"), 1);
  Second->SetName("B");
  EXPECT_EQ(T.FindEntByName("a"), First);
  EXPECT_EQ(T.FindEntByName("b"), Second);
  EXPECT_EQ(T.FindEntByName("zzz"), nullptr);
}

TEST(NameIndex, ComparesAsciiCaseOnlyAndKeepsOtherBytes) {
  TqdDXFTable T;
  TqdDXFLayer* L = AddTo(&T, NamedLayer("Ébène"));
  EXPECT_EQ(T.FindEntByName("éBÈNE"), nullptr) << "only ASCII letters fold";
  EXPECT_EQ(T.FindEntByName("ÉBèNE"), L);
}

TEST(Group, RefusesSeqEndOwnedItemsAndCycles) {
  class TSeqEnd : public TqdDXFObjectEntity {
    QD_ENTITY_CLASS(TSeqEnd)
  public:
    TqdCADEntities EntType() const override { return ceSeqEnd; }
  };
  TqdDXFGroup Outer;
  EXPECT_EQ(Outer.AddEntity(std::make_unique<TSeqEnd>()), -1);
  TqdDXFGroup* Inner = AddTo(&Outer, std::make_unique<TqdDXFGroup>());
  ASSERT_NE(Inner, nullptr);
  // Handing a group one of its owners would make a cycle; it is refused and not freed.
  std::unique_ptr<TqdDXFEntity> Alias(&Outer);
  EXPECT_EQ(Inner->AddEntity(std::move(Alias)), -1);
  std::unique_ptr<TqdDXFEntity> Owned(Inner);
  EXPECT_EQ(Outer.AddEntity(std::move(Owned)), -1) << "already owned";
  EXPECT_EQ(Outer.Count(), 1);
  EXPECT_EQ(Outer.GetEntity(5), nullptr);
  EXPECT_EQ(Outer.DeleteEntity(-1), nullptr);
}

TEST(TableItemRefs, LayerRemovedWhileReferencedLivesUntilLastReference) {
  TqdDXFTable T;
  TqdDXFLayer* L = AddTo(&T, NamedLayer("L1"));
  EXPECT_EQ(L->RefCount(), 1) << "the table's own reference";
  auto E1 = std::make_unique<TqdDXFLine>();
  auto E2 = std::make_unique<TqdDXFLine>();
  E1->SetLayer(L);
  E2->SetLayer(L);
  EXPECT_EQ(L->RefCount(), 3);
  EXPECT_TRUE(T.RemoveEntity(L));
  EXPECT_EQ(T.Count(), 0);
  EXPECT_EQ(L->RefCount(), 2);
  EXPECT_EQ(E1->Layer(), L);
  E1.reset();
  EXPECT_EQ(L->RefCount(), 1);
  E2->SetLayer(nullptr);  // the last reference frees it (ASan reports a leak otherwise)
}

TEST(TableItemRefs, ClearingTableFreesUnreferencedKeepsReferenced) {
  auto Entity = std::make_unique<TqdDXFLine>();
  {
    TqdDXFTable T;
    AddTo(&T, NamedLayer("Free"));
    TqdDXFLayer* Kept = AddTo(&T, NamedLayer("Kept"));
    Entity->SetLayer(Kept);
    T.Clear(true);
    EXPECT_EQ(Entity->Layer()->Name(), "Kept");
  }
  EXPECT_EQ(Entity->Layer()->RefCount(), 1);
}

TEST(TableItemRefs, ItemNeverInATableIsNotFreedByItsReferences) {
  TqdDXFLayer Standalone;
  {
    TqdDXFLine E;
    E.SetLayer(&Standalone);
  }
  EXPECT_EQ(Standalone.RefCount(), 0);
}

TEST(Placeholders, ByIndexOutOfRangeStaysUnresolved) {
  TqdDXFTable T;
  TqdDXFLayer* L = AddTo(&T, NamedLayer("X"));
  EXPECT_EQ(TqdLinkObject::ByIndex(0)->GetObject(&T), L);
  EXPECT_EQ(TqdLinkObject::ByIndex(1)->GetObject(&T), nullptr);
  EXPECT_EQ(TqdLinkObject::ByIndex(-1)->GetObject(&T), nullptr);
  EXPECT_EQ(TqdLinkObject::ByIndex(LLONG_MAX)->GetObject(&T), nullptr);
  EXPECT_EQ(TqdLinkObject::ByPlotStyleName(99)->GetObject(&T), nullptr);
  EXPECT_EQ(TqdLinkObject::ByPlotStyleName(-7)->GetObject(&T), nullptr);
  EXPECT_EQ(TqdLinkObject::ByName("x")->GetObject(&T), L);
  EXPECT_EQ(TqdLinkObject::ByHandle(0)->GetObject(&T), nullptr);
}

TEST(FindEntByHandle, SearchesChildrenThenInsertedBlocks) {
  TqdDXFGroup Root;
  TqdDXFBlock Block;
  TqdDXFLine* Inside = AddTo(&Block, std::make_unique<TqdDXFLine>());
  Inside->SetHandle(0x42);
  TTestInsert* Ins = AddTo(&Root, std::make_unique<TTestInsert>());
  Ins->Block = &Block;
  EXPECT_EQ(Root.FindEntByHandle(true, false, 0x42), nullptr);
  EXPECT_EQ(Root.FindEntByHandle(true, true, 0x42), Inside);
  EXPECT_EQ(Root.FindEntByHandle(true, true, 0), nullptr);
}

TEST(FindEntByHandle, block_inserting_itself_does_not_recurse_forever) {
  TqdDXFBlock A, B;
  TTestInsert* InA = AddTo(&A, std::make_unique<TTestInsert>());
  TTestInsert* InB = AddTo(&B, std::make_unique<TTestInsert>());
  InA->Block = &B;
  InB->Block = &A;
  TTestInsert* Self = AddTo(&A, std::make_unique<TTestInsert>());
  Self->Block = &A;
  EXPECT_EQ(A.FindEntByHandle(true, true, 0x999), nullptr);
}

TEST(FindEntByHandle, DeepNestingIsCapped) {
  TqdDXFGroup Root;
  TqdDXFEntity* G = &Root;
  for (int I = 0; I < 300; ++I) G = AddTo(G, std::make_unique<TqdDXFGroup>());
  G->SetHandle(7);
  EXPECT_EQ(Root.FindEntByHandle(true, false, 7), nullptr) << "deeper than the cap";
}

TEST(Group, nesting_deeper_than_the_tree_cap_is_refused) {
  TqdDXFGroup Root;
  TqdDXFEntity* G = &Root;
  int Made = 0;
  for (int I = 0; I < 5000 && G; ++I, ++Made) G = AddTo(G, std::make_unique<TqdDXFGroup>());
  EXPECT_EQ(Made, cnstMaxTreeDepth);
}

TEST(Visibility, FrozenOrOffLayerAndFlagBit7) {
  TqdDXFLayer L;
  TqdDXFLine E;
  E.SetLayer(&L);
  EXPECT_TRUE(E.Visible());
  L.SetFrozen(true);
  EXPECT_TRUE(E.Visibility());
  EXPECT_FALSE(E.Visible());
  L.SetFrozen(false);
  L.SetVisible(false);
  EXPECT_FALSE(E.Visible());
  L.SetVisible(true);
  E.SetFlags(128 | 3);
  EXPECT_FALSE(E.Visibility());
  E.SetVisibility(true);
  EXPECT_EQ(E.Flags(), 3);
  E.SetLayer(nullptr);
}

struct LayerNameRow {
  const char* Name;
  std::string Value;
  bool Valid;
};

class LayerNames : public testing::TestWithParam<LayerNameRow> {};

TEST_P(LayerNames, CheckedWhenSet) {
  TqdDXFLayer L;
  L.SetNameUnchecked("before");
  if (GetParam().Valid) {
    L.SetName(GetParam().Value);
    EXPECT_EQ(L.Name(), GetParam().Value);
  } else {
    EXPECT_THROW(L.SetName(GetParam().Value), EqdIncorrectNameLayer);
    EXPECT_EQ(L.Name(), "before");
    L.SetIsCheckName(false);
    L.SetName(GetParam().Value);
    EXPECT_EQ(L.Name(), GetParam().Value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, LayerNames,
    testing::Values(LayerNameRow{"plain", "Walls", true}, LayerNameRow{"asterisk_allowed", "*A|B", true},
                    LayerNameRow{"non_ascii_allowed", "Wände", true}, LayerNameRow{"empty", "", false},
                    LayerNameRow{"slash", "A/B", false}, LayerNameRow{"quote", "a\"b", false},
                    LayerNameRow{"backtick", "a`b", false}, LayerNameRow{"too_long", std::string(256, 'a'), false}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(LayerNamesMessage, IsTheSystemText) {
  TqdDXFLayer L;
  try {
    L.SetName("a:b");
    FAIL();
  } catch (const EqdError& E) {
    EXPECT_STREQ(E.what(), "Incorrect Layer Name");
  }
}

struct LayerColorRow {
  const char* Name;
  int Stored;
  int Expected;
  bool On;
};

class LayerLoadedColor : public testing::TestWithParam<LayerColorRow> {};

TEST_P(LayerLoadedColor, NegativeMeansOff) {
  TqdDXFLayer L;
  L.SetColorCAD(TqdColorCAD::Index(GetParam().Stored));
  L.Loaded(nullptr);
  EXPECT_EQ(L.ColorCAD().IndexValue(), GetParam().Expected);
  EXPECT_EQ(L.Visible(), GetParam().On);
}

INSTANTIATE_TEST_SUITE_P(
    Colors, LayerLoadedColor,
    testing::Values(LayerColorRow{"minus5_off_5", -5, 5, false}, LayerColorRow{"positive_kept", 3, 3, true},
                    LayerColorRow{"int_min_layer_colour_negation", INT_MIN, 7, false},
                    LayerColorRow{"minus300_not_bylayer", -300, 7, false},
                    LayerColorRow{"minus256_not_bylayer", -256, 7, false}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Layer, PlottingAndConstraintsLayer) {
  TqdDXFLayer L;
  L.SetNameUnchecked("defpoints");
  EXPECT_FALSE(L.IsPlotting());
  L.SetNameUnchecked("*ADSK_CONSTRAINTS");
  EXPECT_TRUE(L.Frozen());
  L.SetXrefLink(true);
  EXPECT_EQ(L.Flags() & 48, 48);
  EXPECT_EQ(L.LineWeight(), -3);
  EXPECT_EQ(L.ColorCAD().IndexValue(), 7);
}

TEST(LineType, FixedNamesTakeTheirSpelling) {
  TqdDXFLineType T;
  T.SetName("Continuous");
  EXPECT_EQ(T.Name(), "CONTINUOUS");
  T.SetName("bylayer");
  EXPECT_EQ(T.Name(), "BYLAYER");
  T.SetName("Dashed");
  EXPECT_EQ(T.Name(), "Dashed");
}

TEST(Line, GeometryEdits) {
  TqdDXFLine L;
  L.SetLine({1, 1, 0}, {4, 5, 0});
  EXPECT_DOUBLE_EQ(L.Length(), 5);
  L.SetLength(10);
  EXPECT_NEAR(L.Point1().X, 7, 1e-12);
  EXPECT_NEAR(L.Point1().Y, 9, 1e-12);
  L.SetAngle(90 + 720);
  EXPECT_NEAR(L.Point1().X, 1, 1e-9);
  EXPECT_NEAR(L.Point1().Y, 11, 1e-9);
  EXPECT_NEAR(L.Angle(), 90, 1e-9);
  L.SetLength(0);
  EXPECT_EQ(L.Point1(), L.Point());
  L.SetLength(5);  // coinciding points: nothing to scale
  EXPECT_EQ(L.Point1(), L.Point());
  L.SetPoint1({std::numeric_limits<double>::quiet_NaN(), 0, 0});
  EXPECT_EQ(L.Point1(), L.Point()) << "a NaN never enters";
}

TEST(Line, BoxRaisedByThickness) {
  TqdDXFLine L;
  L.SetLine({0, 0, 0}, {2, 1, 0});
  L.SetZThick(3);
  const TFRect B = L.Box();
  EXPECT_EQ(B.Left, 0);
  EXPECT_EQ(B.Right, 2);
  EXPECT_EQ(B.Top, 1);
  EXPECT_EQ(B.Bottom, 0);
  EXPECT_EQ(B.Z2, 3);
}

TEST(PenLine, ExtrusionStoredOnlyWhenNotDefaultAndLWeightOnlyOverByLayer) {
  TqdDXFLine L;
  L.SetExtrusion({0, 0, 1 + 1e-12});
  EXPECT_FALSE(L.IsExtruded());
  L.SetExtrusion({0, 1, 0});
  EXPECT_TRUE(L.IsExtruded());
  L.SetLWeight(35);
  EXPECT_DOUBLE_EQ(L.LineWeight(), 0.35);
  L.SetLWeight(50);
  EXPECT_DOUBLE_EQ(L.LineWeight(), 0.35);
  L.SetLineTypeScale(-2);
  EXPECT_EQ(L.LineTypeScale(), 2);
}

TEST(Point, Mode34Size2HasPlusAndCircle) {
  TqdDXFPoint P;
  P.SetPoint({10, 20, 0});
  P.BuildSymbol(34, 2, 8);
  const TFPointList* S = P.Points();
  ASSERT_NE(S, nullptr);
  // Box, then figure 1 (2 points), figure 2 (2 points), circle (9 points).
  ASSERT_EQ(S->Count(), 2 + 3 + 3 + 10);
  EXPECT_EQ((*S)[2].X, 2);
  // The cross spans the symbol size, as the circle does.
  EXPECT_EQ((*S)[3], (TFPoint{10, 21, 0}));
  EXPECT_EQ((*S)[4], (TFPoint{10, 19, 0}));
  EXPECT_EQ((*S)[8].X, 9);
  EXPECT_NEAR((*S)[9].X, 11, 1e-12) << "radius s/2";
  EXPECT_NEAR((*S)[17].X, 11, 1e-12) << "closed";
  EXPECT_EQ((*S)[0], (TFPoint{9, 21, 0}));
  EXPECT_EQ((*S)[1], (TFPoint{11, 19, 0}));
}

TEST(Point, Mode1HasNoSymbolAndThicknessDoublesFigures) {
  TqdDXFPoint P;
  P.BuildSymbol(1, 2, 8);
  EXPECT_EQ(P.Points(), nullptr);
  P.SetZThick(5);
  P.BuildSymbol(64, 0, 8);  // size 0: 5 % of the view, built at size 1
  ASSERT_NE(P.Points(), nullptr);
  EXPECT_EQ(P.Points()->Count(), 2 + 2 * (2 + 6)) << "mode 64 & 7 = 0 adds the dot";
  EXPECT_DOUBLE_EQ(P.RelativeSize(), 0.05);
  EXPECT_EQ(P.Box().Z2, 5);
  EXPECT_EQ(P.Box().Right, 0) << "a symbol sized by the view does not size the drawing";
  P.BuildSymbol(2, -3, 8);
  EXPECT_DOUBLE_EQ(P.RelativeSize(), 0.03);
  P.BuildSymbol(2, 4, 8);
  EXPECT_DOUBLE_EQ(P.RelativeSize(), 0);
  EXPECT_EQ(P.Box().Right, 2);
}

TEST(Clone, CopiesAttributesAndHandle) {
  TqdDXFLayer Lay;
  TqdDXFLine A;
  A.SetLine({1, 2, 3}, {4, 5, 6});
  A.SetHandle(0x77);
  A.SetLayer(&Lay);
  A.SetColorCAD(TqdColorCAD::Index(3));
  A.SetHyperLink("u#d");
  A.SetZThick(2);
  A.SetPenAttr2(9);
  TqdDXFLine B;
  B.Clone(A);
  EXPECT_EQ(B.Handle(), 0x77u);
  EXPECT_EQ(B.Point1(), A.Point1());
  EXPECT_EQ(B.Layer(), &Lay);
  EXPECT_EQ(B.ColorCAD().IndexValue(), 3);
  EXPECT_EQ(B.HyperLink(), "u#d");
  EXPECT_EQ(B.ZThick(), 2);
  EXPECT_EQ(B.PenAttr2(), 9);
  A.SetLayer(nullptr);
  B.SetLayer(nullptr);
}

}  // namespace
