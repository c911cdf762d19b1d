#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "DXFConv.h"
#include "DXFDump.h"
#include "Registry.h"
#include "TableItems.h"
#include "Curves.h"

namespace {

template <class T> T* AddTo(TqdDXFEntity* Owner, std::unique_ptr<T> E) {
  T* Raw = E.get();
  return Owner->AddEntity(std::move(E)) >= 0 ? Raw : nullptr;
}

// Counts reloads; stands in for the curve entities of later units.
class TCircleDependent : public TqdDXFLine {
  QD_ENTITY_CLASS(TCircleDependent)
public:
  bool DependsOnCircleParts() const override { return true; }
};

TqdDXFLine* AddLine(TqdDXFConverter& C, std::uint64_t Handle, double Z = 0) {
  auto L = std::make_unique<TqdDXFLine>();
  L->SetHandle(Handle);
  L->SetLine({0, 0, Z}, {1, 1, Z});
  TqdDXFLine* Raw = AddTo(C.ModelSpace(), std::move(L));
  C.Loads(Raw);
  return Raw;
}

TEST(Construction, HoldsSectionsDictionariesAndTwoLayoutsButNoTables) {
  TqdDXFConverter C;
  EXPECT_EQ(C.Main()->Name(), "SECTIONS");
  ASSERT_NE(C.GetSection(csTables), nullptr);
  EXPECT_EQ(C.GetSection(csTables)->Name(), "TABLES");
  EXPECT_EQ(C.GetSection(csBlocks)->Name(), "BLOCKS");
  EXPECT_EQ(C.GetSection(csObjects)->Name(), "OBJECTS");
  EXPECT_EQ(C.GetSection(csMLineStyles)->Name(), "MLINESTYLES");
  EXPECT_EQ(C.GetSection(csLayouts)->Name(), "LAYOUTS");
  EXPECT_EQ(C.GetSection(csImageDefs)->Name(), "IMAGEDEFS");
  for (int S : {csAppID, csLTypes, csLayers, csStyles, csDimStyles, csBlockRecords, csVPorts, csTableStyles})
    EXPECT_EQ(C.GetSection(S), nullptr) << S;
  EXPECT_EQ(C.GetSection(15), nullptr);
  EXPECT_EQ(C.GetSection(-1), nullptr);
  ASSERT_EQ(C.LayoutsCount(), 2);
  EXPECT_EQ(C.GetLayout(0)->Name(), "Model");
  EXPECT_EQ(C.GetLayout(1)->Name(), "Layout1");
  EXPECT_EQ(C.GetLayout(2), nullptr);
  EXPECT_EQ(C.GetSection(csEntities), C.ModelSpace());
  EXPECT_EQ(C.ModelSpace()->Name(), "*MODEL_SPACE");
  EXPECT_EQ(C.RefCount(), 1);
  EXPECT_EQ(C.HeadVarStruct().TextStyle, "STANDARD");
  EXPECT_EQ(C.HeadVarStruct().DimProps.Dec, 4);
  EXPECT_EQ(C.NumberOfPartsInCircle(), 48);
}

TEST(LoadBracket, CompletesStandardTablesAndItems) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  C.SetLoadingState(false, 0);
  for (int S : {csAppID, csLTypes, csLayers, csStyles, csDimStyles, csBlockRecords, csVPorts})
    EXPECT_NE(C.GetSection(S), nullptr) << S;
  EXPECT_NE(C.LTypeByName("BYLAYER"), nullptr);
  EXPECT_NE(C.LTypeByName("byblock"), nullptr);
  EXPECT_EQ(C.LTypeByName("continuous")->Name(), "CONTINUOUS");
  EXPECT_NE(C.GetSection(csStyles)->FindEntByName("STANDARD"), nullptr);
  EXPECT_NE(C.GetSection(csDimStyles)->FindEntByName("STANDARD"), nullptr);
  EXPECT_NE(C.GetSection(csAppID)->FindEntByName("VNXINVENTORY"), nullptr);
  // Every container lives inside the tree, never as a stray item of TABLES.
  const TqdDXFEntity* Tables = C.GetSection(csTables);
  for (int I = 0; I < Tables->Count(); ++I) EXPECT_FALSE(Tables->GetEntity(I)->Name().empty());
  EXPECT_EQ(C.Main()->Count(), 3);
  EXPECT_EQ(C.GetSection(csBlockRecords)->Name(), "BLOCK_RECORD");
}

TEST(GetOrCreateSection, sections_are_made_in_the_root_not_inside_tables) {
  TqdDXFConverter C;
  // Take TABLES away: asking for a table must rebuild it in the root.
  TqdDXFEntity* Tables = C.GetSection(csTables);
  ReleaseEntity(C.ExtractFromTable(C.Main(), Tables));
  ASSERT_EQ(C.GetSection(csTables), nullptr);
  TqdDXFLayer* L = C.LayerByName("0");
  ASSERT_NE(L, nullptr);
  ASSERT_NE(C.GetSection(csTables), nullptr);
  EXPECT_EQ(C.GetSection(csTables)->Owner(), C.Main());
  EXPECT_EQ(C.GetSection(csLayers)->Owner(), C.GetSection(csTables));
  EXPECT_EQ(C.GetOrCreateSection(csEntities), C.ModelSpace());
  EXPECT_EQ(C.GetSection(csTables)->FindEntByName(""), nullptr);
}

TEST(LoadBracket, header_text_style_missing_or_empty_becomes_standard) {
  for (const char* Name : {"NOSUCH", "", "bad*name"}) {
    TqdDXFConverter C;
    C.HeadVarStruct().TextStyle = Name;
    C.SetLoadingState(true, 0);
    C.SetLoadingState(false, 0);
    EXPECT_EQ(C.HeadVarStruct().TextStyle, "STANDARD") << Name;
  }
  TqdDXFConverter C;
  C.HeadVarStruct().TextStyle = "MINE";
  C.SetLoadingState(true, 0);
  C.StyleByName("mine");
  C.SetLoadingState(false, 0);
  EXPECT_EQ(C.HeadVarStruct().TextStyle, "MINE");
  EXPECT_EQ(C.DimensionStyleByName("STANDARD")->TextStyle()->Name(), "STANDARD");
}

TEST(Handles, WithCheckHandlesMissingHandleComesAfterTheFile) {
  TqdDXFConverter C({true, ""});
  C.SetLoadingState(true, 0);
  TqdDXFLine* NoHandle = nullptr;
  for (std::uint64_t H = 1; H <= 10; ++H) {
    if (H == 4) NoHandle = AddLine(C, 0);
    AddLine(C, H);
  }
  EXPECT_EQ(NoHandle->Handle(), 0u);
  C.SetLoadingState(false, 0);
  EXPECT_GT(NoHandle->Handle(), 10u);
  EXPECT_FALSE(C.GeneratedHandlesEnabled());
  // Every item of the drawing has a distinct handle now.
  EXPECT_EQ(C.ModelSpace()->FindEntByHandle(false, false, NoHandle->Handle()), NoHandle);
}

TEST(Handles, WithoutCheckHandlesNextNumberAtLoads) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  AddLine(C, 1);
  AddLine(C, 5);
  TqdDXFLine* L = AddLine(C, 0);
  EXPECT_EQ(L->Handle(), 6u);
  AddLine(C, 3);
  EXPECT_EQ(AddLine(C, 0)->Handle(), 7u);
}

TEST(Handles, handle_overflow_at_maximum_issues_nothing) {
  TqdDXFConverter C;
  std::uint64_t H = std::numeric_limits<std::uint64_t>::max();
  EXPECT_FALSE(C.CheckHandle(H));
  std::uint64_t Fresh = 0;
  EXPECT_FALSE(C.CheckHandle(Fresh));
  EXPECT_EQ(Fresh, 0u) << "never wraps to 0 or reuses 1";
  EXPECT_EQ(C.FMaxHandle, std::numeric_limits<std::uint64_t>::max());
}

TEST(NewNamedEntity, ExistingNameInAnyCaseIsReturned) {
  TqdDXFConverter C;
  TqdDXFLayer* A = C.LayerByName("Walls");
  TqdDXFEntity* Layers = C.GetSection(csLayers);
  EXPECT_EQ(C.NewNamedEntity(Layers, ClassOf<TqdDXFLayer>(), "WALLS"), A);
  EXPECT_EQ(Layers->Count(), 1);
  int Created = 0;
  C.OnCreate = [&](TqdDXFEntity*) { ++Created; };
  C.NewNamedEntity(Layers, ClassOf<TqdDXFLayer>(), "Doors");
  EXPECT_EQ(Created, 1);
}

TEST(ResolveAllLinks, layer_name_from_other_writer_does_not_abort_the_pass) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  auto A = std::make_unique<TqdDXFLine>();
  A->LayerItem().SetLink(TqdLinkObject::ByName("A/B"));
  TqdDXFLine* First = AddTo(C.ModelSpace(), std::move(A));
  auto B = std::make_unique<TqdDXFLine>();
  B->LayerItem().SetLink(TqdLinkObject::ByName("Second"));
  TqdDXFLine* Second = AddTo(C.ModelSpace(), std::move(B));
  EXPECT_NO_THROW(C.ResolveAllLinks());
  ASSERT_NE(First->Layer(), nullptr);
  EXPECT_EQ(First->Layer()->Name(), "A/B");
  EXPECT_EQ(Second->Layer()->Name(), "Second");
  C.LoadAll();
  C.SetLoadingState(false, 0);
}

TEST(LayerLoaded, ByBlockLinetypeBecomesContinuous) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  C.ItemByName("BYBLOCK", csLTypes, true);
  TqdDXFLayer* L = C.LayerByName("L");
  L->SetLineType(C.LTypeByName("ByBlock"));
  C.Loads(L);
  ASSERT_NE(L->LineType(), nullptr);
  EXPECT_EQ(L->LineType()->Name(), "CONTINUOUS");
  C.SetLoadingState(false, 0);
}

TEST(ResolveAllLinks, LinetypeAndLayerTablesEndSortedByHandle) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  for (std::uint64_t H : {0x30, 0x10, 0x20}) {
    auto L = std::make_unique<TqdDXFLayer>();
    L->SetNameUnchecked("L" + std::to_string(H));
    L->SetHandle(H);
    AddTo(C.GetOrCreateSection(csLayers), std::move(L));
  }
  C.ResolveAllLinks();
  EXPECT_EQ(C.GetLayer(0)->Handle(), 0x10u);
  EXPECT_EQ(C.GetLayer(2)->Handle(), 0x30u);
  EXPECT_EQ(C.LayerByName("l48")->Handle(), 0x30u) << "the name index survives the reorder";
}

TEST(ResolveAllLinks, ByHandleMissFallsBackToLayerZero) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  TqdDXFLayer* Zero = C.LayerByName("0");
  auto A = std::make_unique<TqdDXFLine>();
  A->LayerItem().SetLink(TqdLinkObject::ByHandle(0xDEAD));
  TqdDXFLine* E = AddTo(C.ModelSpace(), std::move(A));
  C.ResolveAllLinks();
  EXPECT_EQ(E->Layer(), Zero);
}

TEST(ExtendedData, handleless_entities_keep_their_own_xdata) {
  TqdDXFConverter C({true, ""});
  C.SetLoadingState(true, 0);
  TqdDXFLine* A = AddLine(C, 0);
  TqdDXFLine* B = AddLine(C, 0);
  TqdCADExtendedData DA, DB;
  DA.AddString(1001, "APP");
  DA.AddInt(1071, 1);
  DB.AddString(1001, "APP");
  DB.AddInt(1071, 2);
  C.SetEntityEED(A, "APP", DA);
  C.SetEntityEED(B, "app", DB);
  C.SetLoadingState(false, 0);
  ASSERT_NE(A->Handle(), 0u);
  ASSERT_NE(A->GetEED("APP"), nullptr);
  EXPECT_EQ(A->GetEED("app")->DataInt(1), 1);
  EXPECT_EQ(B->GetEED("APP")->DataInt(1), 2);
}

TEST(ExtendedData, destroying_duplicate_handle_entity_keeps_the_others_xdata) {
  TqdDXFConverter C;
  TqdDXFLine* A = AddLine(C, 0x50);
  TqdDXFLine* B = AddLine(C, 0x51);
  B->Clone(*A);
  ASSERT_EQ(A->Handle(), B->Handle());
  TqdCADExtendedData D;
  D.AddString(1001, "APP");
  A->SetEED(D, "APP");
  B->SetEED(D, "APP");
  EXPECT_TRUE(C.ModelSpace()->RemoveEntity(B));
  EXPECT_NE(A->GetEED("APP"), nullptr);
  A->SetEED(TqdCADExtendedData(), "APP");
  EXPECT_EQ(A->GetEED("APP"), nullptr);
  EXPECT_FALSE(A->FHasExtra);
}

TEST(ExtendedData, DictionaryLinksDropWithTheDictionary) {
  TqdDXFConverter C;
  TqdDXFLayer* L = C.LayerByName("L");
  auto* D = static_cast<TqdDXFDictionary*>(
      C.NewNamedEntity(C.GetSection(csObjects), ClassOf<TqdDXFDictionary>(), "EXT"));
  L->SetDictionary(D);
  EXPECT_EQ(L->Dictionary(), D);
  EXPECT_TRUE(C.GetSection(csObjects)->RemoveEntity(D));
  EXPECT_EQ(L->Dictionary(), nullptr);
}

TEST(ExtendedData, DictionaryByHandleLinksAfterResolveAndRoundtripColours) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  TqdDXFLayer* L = C.LayerByName("L");
  C.SetEntityDictionaryHandle(L, 0x300);
  auto* D = static_cast<TqdDXFDictionary*>(
      C.NewNamedEntity(C.GetSection(csObjects), ClassOf<TqdDXFDictionary>(), ""));
  D->SetHandle(0x300);
  auto X = std::make_unique<TqdDXFXRecord>();
  X->SetNameUnchecked("ACAD_XREC_ROUNDTRIP");
  X->FData.AddString(102, "COLORTRUE");
  X->FData.AddInt(90, 0x112233);
  AddTo(D, std::move(X));
  C.ResolveAllLinks();
  EXPECT_EQ(L->Dictionary(), D);
  C.ApplyLayerRoundtripColors();
  EXPECT_EQ(L->ColorCAD().Active, acRGBColor);
  EXPECT_EQ(L->ColorCAD().Color, 0x332211u);
  C.SetLoadingState(false, 0);
}

TEST(ExtendedData, AppIdDestructionDropsItsRecords) {
  TqdDXFConverter C;
  TqdDXFLine* A = AddLine(C, 0);
  auto* App = static_cast<TqdDXFAppID*>(C.ItemByName("MYAPP", csAppID, true));
  TqdCADExtendedData D;
  D.AddString(1001, "MYAPP");
  A->SetEED(D, "MYAPP");
  C.GetSection(csAppID)->RemoveEntity(App);
  EXPECT_EQ(A->GetEED("MYAPP"), nullptr);
}

TEST(Tessellation, PartsInCircle) {
  TqdDXFConverter C;
  auto E = std::make_unique<TCircleDependent>();
  C.Loads(AddTo(C.ModelSpace(), std::move(E)));
  C.SetNumberOfPartsInCircle(0);
  EXPECT_EQ(C.NumberOfPartsInCircle(), 48) << "0 is stored as the default";
  const int Reloads = C.ReloadCount();
  EXPECT_EQ(Reloads, 1);
  C.SetNumberOfPartsInCircle(48);
  EXPECT_EQ(C.ReloadCount(), Reloads) << "same value: nothing reloads";
  C.SetNumberOfPartsInCircle(96);
  EXPECT_EQ(C.ReloadCount(), Reloads + 1);
  C.SetStatus(stEditing);
  C.SetNumberOfPartsInCircle(12);
  EXPECT_EQ(C.ReloadCount(), Reloads + 1);
  C.SetStatus(stDefault);
}

TEST(DrawingProperties, DefaultsAndCustomSummaryLimit) {
  TqdDXFConverter C;
  EXPECT_EQ(C.DrwPropTitle(), "Vantrex");
  EXPECT_FALSE(C.DrwPropComments().empty());
  EXPECT_FALSE(C.CustomSummaryInfoAdd("", "v"));
  EXPECT_FALSE(C.CustomSummaryInfoAdd("k", ""));
  for (int I = 0; I < 10; ++I) EXPECT_TRUE(C.CustomSummaryInfoAdd("k" + std::to_string(I), "v"));
  EXPECT_FALSE(C.CustomSummaryInfoAdd("eleventh", "v"));
  EXPECT_EQ(C.DrwPropCustomSummaryInfo().size(), 10u);
  C.ClearDrawingProp();
  EXPECT_TRUE(C.DrwPropCustomSummaryInfo().empty());
  EXPECT_GT(C.FDrwPropCreatedDateTime, 0);
}

TEST(Layouts, CleaningRemovesEmptyLayoutsFromIndexTwoWithTheirBlocks) {
  TqdDXFConverter C;
  for (const char* N : {"Empty2", "Full3", "Empty4"}) {
    auto L = std::make_unique<TqdDXFLayout>();
    L->SetNameUnchecked(N);
    C.AddLayout(std::move(L));
  }
  ASSERT_EQ(C.LayoutsCount(), 5);
  TqdDXFLayout* Full = C.GetLayout(3);
  AddTo(Full, std::make_unique<TqdDXFLine>());
  C.GetLayout(4)->PaperSpaceBlock();
  EXPECT_NE(C.BlockByName("*PAPER_SPACE2"), nullptr);
  C.CleaningLayouts(false);
  ASSERT_EQ(C.LayoutsCount(), 3);
  EXPECT_EQ(C.GetLayout(1)->Name(), "Layout1") << "layout 1 stays even when empty";
  EXPECT_EQ(C.GetLayout(2), Full);
  EXPECT_EQ(C.BlockByName("*PAPER_SPACE2"), nullptr);
  EXPECT_EQ(Full->PaperSpaceBlock()->Name(), "*PAPER_SPACE1");
  C.CleaningLayouts(true);
  EXPECT_EQ(C.LayoutsCount(), 2);
}

TEST(Layouts, EndOfLoadDropsAnEmptyPaperLayout) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  AddTo(C.GetLayout(1), std::make_unique<TqdDXFLine>());
  C.SetLoadingState(false, 0);
  EXPECT_EQ(C.LayoutsCount(), 2) << "a paper layout with entities stays";
  TqdDXFConverter Empty;
  Empty.SetLoadingState(true, 0);
  Empty.SetLoadingState(false, 0);
  EXPECT_EQ(Empty.LayoutsCount(), 1);
}

TEST(Layouts, AddAndRemoveRaiseEvents) {
  TqdDXFConverter C;
  std::vector<std::string> Seen;
  C.OnLayoutAdd = [&](TqdDXFEntity* L) { Seen.push_back("+" + L->Name()); };
  C.OnLayoutRemove = [&](TqdDXFEntity* L) { Seen.push_back("-" + L->Name()); };
  auto L = std::make_unique<TqdDXFLayout>();
  L->SetNameUnchecked("Sheet");
  EXPECT_EQ(C.AddLayout(std::move(L)), 2);
  C.CleaningLayouts(false);
  EXPECT_EQ(Seen, (std::vector<std::string>{"+Sheet", "-Sheet"}));
}

TEST(Sections, SetSectionChecksTheClassAndIgnoresFixedIndexes) {
  TqdDXFConverter C;
  TqdDXFEntity* Blocks = C.GetSection(csBlocks);
  TqdDXFTable Plain;
  C.SetSection(csBlocks, &Plain);
  EXPECT_EQ(C.GetSection(csBlocks), Blocks) << "a section index needs a section";
  C.SetSection(csMLineStyles, &Plain);
  EXPECT_NE(C.GetSection(csMLineStyles), &Plain);
  C.SetSection(csEntities, &Plain);
  EXPECT_EQ(C.GetSection(csEntities), C.ModelSpace());
  TqdDXFLine NotATable;
  C.SetSection(csLayers, &NotATable);
  EXPECT_EQ(C.GetSection(csLayers), nullptr);
  EXPECT_EQ(C.ExtractFromTable(C.GetOrCreateSection(csLayers), &NotATable), nullptr);
}

TEST(Layouts, DefaultLayoutIndexIsDecidedOnce) {
  TqdDXFConverter C;
  C.HeadVarStruct().TileMode = 0;
  EXPECT_EQ(C.DefaultLayoutIndex(), 1);
  // Looking for the paper-space block must not make one.
  EXPECT_EQ(C.GetLayout(1)->PaperSpaceBlockField(), nullptr);
  C.HeadVarStruct().TileMode = 1;
  EXPECT_EQ(C.DefaultLayoutIndex(), 1);
}

TEST(Layouts, BoxSkipsHiddenEntities) {
  TqdDXFConverter C;
  TqdDXFLayer* Off = C.LayerByName("Off");
  Off->SetVisible(false);
  AddLine(C, 0);
  TqdDXFLine* Far = AddLine(C, 0);
  Far->SetLine({100, 100, 0}, {200, 200, 0});
  Far->SetLayer(Off);
  TqdDXFLine* Hidden = AddLine(C, 0);
  Hidden->SetLine({-50, -50, 0}, {0, 0, 0});
  Hidden->SetVisibility(false);
  C.DoExtents();
  const TFRect B = C.GetLayout(0)->Box();
  EXPECT_EQ(B.Left, 0);
  EXPECT_EQ(B.Right, 1);
}

TEST(ZSort, flat_drawing_keeps_file_order) {
  TqdDXFConverter C;
  TqdDXFLine* A = AddLine(C, 1, 0);
  TqdDXFLine* B = AddLine(C, 2, 1e-7);
  C.SortEntitiesInZDepth();
  EXPECT_EQ(C.GetEntity(0), A);
  EXPECT_EQ(C.GetEntity(1), B);
}

// A box whose depth is not a number (as a broken entity of another unit could report).
class TNanBoxLine : public TqdDXFLine {
  QD_ENTITY_CLASS(TNanBoxLine)
public:
  TFRect Box() const override {
    TFRect R = TqdDXFLine::Box();
    R.Z1 = std::numeric_limits<double>::quiet_NaN();
    return R;
  }
};

TEST(ZSort, z_sort_with_nan_boxes_is_a_strict_order) {
  TqdDXFConverter C;
  // Enough items that an inconsistent comparator could walk out of the array; depths
  // 1e-7 apart would chain "equal within 1e-6" across the whole range.
  for (int I = 0; I < 300; ++I) {
    AddLine(C, 0, ((I * 37) % 101) * 1e-7);
    if (I % 7 == 0) C.Loads(AddTo(C.ModelSpace(), std::make_unique<TNanBoxLine>()));
  }
  AddLine(C, 0, 5);
  C.SortEntitiesInZDepth();
  const int N = C.ModelSpace()->Count();
  int FirstNan = N;
  for (int I = 0; I < N; ++I)
    if (dynamic_cast<TNanBoxLine*>(C.GetEntity(I))) {
      FirstNan = I;
      break;
    }
  double Prev = -1;
  for (int I = 0; I < N; ++I) {
    const TFRect R = C.GetEntity(I)->Box();
    if (I >= FirstNan) {
      EXPECT_TRUE(std::isnan(R.Z1)) << "NaN depths go last";
      continue;
    }
    EXPECT_GE(R.Z1 + R.Z2, Prev);
    Prev = R.Z1 + R.Z2;
  }
  EXPECT_EQ(N - FirstNan, 43);
}

TEST(Recursion, deeply_nested_objects_do_not_overflow_the_passes) {
  TqdDXFConverter C;
  TqdDXFEntity* G = C.GetSection(csObjects);
  for (int I = 0; I < 900 && G; ++I) G = AddTo(G, std::make_unique<TqdDXFDictionary>());
  C.ResolveAllLinks();
  C.LoadAll();
  EXPECT_NE(DumpConverter(C).size(), 0u);
}

TEST(ImageAndWipeoutSwitches, DefaultsAndWrites) {
  TqdDXFConverter C;
  EXPECT_TRUE(C.DisplayImageFrame());
  EXPECT_FALSE(C.HideWipeouts());
  C.SetDisplayImageFrame(false);
  C.SetHideWipeouts(true);
  EXPECT_FALSE(C.DisplayImageFrame());
  EXPECT_TRUE(C.HideWipeouts());
  EXPECT_NE(C.GetSection(csObjects)->FindEntByName("RASTERVARIABLES"), nullptr);
}

TEST(Angle, WholeTurnsRemovedSignKept) {
  TqdDXFConverter C;
  C.SetAngle(-370);
  EXPECT_FLOAT_EQ(C.Angle(), -10);
  C.SetAngle(3e9);
  EXPECT_FLOAT_EQ(C.Angle(), -10) << "too large: ignored";
  C.SetAngle(std::numeric_limits<double>::quiet_NaN());
  EXPECT_FLOAT_EQ(C.Angle(), -10);
  EXPECT_EQ(C.ActiveVPort()->Name(), "*ACTIVE");
  EXPECT_FALSE(C.Is3D());
  C.ActiveVPort()->FViewTwistAngle = 1e300;  // as a file may hold it
  EXPECT_EQ(C.Angle(), 0.0f);
  C.ActiveVPort()->SetViewDirection({1, 0, 0});
  EXPECT_TRUE(C.Is3D());
  C.ActiveVPort()->SetViewDirection({0, 0, 0});
  EXPECT_EQ(C.VPort(), (TFPoint{0, 0, 1}));
}

TEST(UCS, PaperLayoutIsIdentityModelUsesHeader) {
  TqdDXFConverter C;
  C.HeadVarStruct().UCSORG = {1, 2, 3};
  const TFMatrix M = C.GetUCS(C.GetLayout(0));
  EXPECT_EQ(M.E0, (TFPoint{-1, -2, -3}));
  const TFMatrix P = C.GetUCS(C.GetLayout(1));
  EXPECT_EQ(P, cnstIdentityMat);
}

TEST(Source, TerminatorProgressAndCancellation) {
  TqdDXFConverter C;
  const char Data[] = "0\nEOF";
  C.SetSourceStream(Data, 5);
  EXPECT_EQ(C.Limit(), 5u);
  EXPECT_EQ(C.Source()[5], 13);
  EXPECT_EQ(C.Source()[6], 10);
  EXPECT_EQ(C.Source()[7], 0);
  C.SetLoadingState(true, 0);
  EXPECT_EQ(C.Count(), 5u);
  EXPECT_NE(C.Pos(), 0u);
  C.StopLoading();
  EXPECT_EQ(C.Pos(), 0u);
  C.SetLoadingState(false, 5);
  EXPECT_GE(C.Count(), 1u);
  C.SetSourceStream(std::vector<std::uint8_t>{'a', 'b'});
  EXPECT_EQ(C.Limit(), 2u);
  EXPECT_EQ(C.Source()[2], 13);
}

TEST(Source, file_offset_beyond_limit_raises_instead_of_reading) {
  TqdDXFConverter C;
  const std::uint8_t Data[] = {4, 0, 0, 0, 'a', 'b'};
  C.SetSourceStream(Data, sizeof Data);
  TqdSourceCursor Cur = C.SourceCursor();
  const std::uint64_t Len = Cur.ReadUInt(4);
  EXPECT_THROW(Cur.ReadBytes(Len), EqdSourceBounds) << "the terminator is not data";
  EXPECT_EQ(Cur.ReadBytes(2), "ab");
  EXPECT_THROW(Cur.ReadByte(), EqdSourceBounds);
  EXPECT_THROW(Cur.Seek(7), EqdSourceBounds);
  EXPECT_THROW(Cur.Skip(std::numeric_limits<std::uint64_t>::max()), EqdSourceBounds);
  Cur.Seek(0);
  EXPECT_THROW(Cur.CheckCount(1u << 30, 8), EqdSourceBounds);
  EXPECT_EQ(Cur.CheckCount(3, 2), 3u);
}

TEST(LoadAll, self_inserting_block_loads_once) {
  TqdDXFConverter C;
  class TLoadingInsert : public TqdDXFCustomVertex {
    QD_ENTITY_CLASS(TLoadingInsert)
  public:
    TqdCADEntities EntType() const override { return ceInsert; }
    bool IsInsert() const override { return true; }
    TqdDXFEntity* InsertBlock() const override { return Block; }
    void Loaded(TqdDXFConverter* Conv) override {
      ++Loads;
      Conv->LoadBlock(Block);  // what an insert does for a block not loaded yet
    }
    TqdDXFBlock* Block = nullptr;
    int Loads = 0;
  };
  auto* B = static_cast<TqdDXFBlock*>(C.NewNamedEntity(C.GetSection(csBlocks), ClassOf<TqdDXFBlock>(), "SELF"));
  TLoadingInsert* I = AddTo(B, std::make_unique<TLoadingInsert>());
  I->Block = B;
  C.LoadAll();
  EXPECT_EQ(I->Loads, 1);
  EXPECT_TRUE(B->IsLoaded());
}

TEST(BlockRecords, ViewOverBlocks) {
  TqdDXFConverter C;
  C.InitializeSectionsBegin();
  TqdDXFEntity* Records = C.GetSection(csBlockRecords);
  auto R = std::make_unique<TqdDXFBlockRecord>();
  R->SetNameUnchecked("Door");
  TqdDXFBlockRecord* Raw = R.get();
  ASSERT_GE(Records->AddEntity(std::move(R)), 0);
  TqdDXFBlock* B = C.BlockByName("DOOR");
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->BlockRecord(), Raw);
  EXPECT_EQ(Records->FindEntByName("door"), Raw);
  EXPECT_EQ(Records->Count(), C.GetSection(csBlocks)->Count());
  Raw->SetName("Window");
  EXPECT_EQ(C.BlockByName("window"), B);
  EXPECT_TRUE(C.DeleteBlock(B, true));
  EXPECT_EQ(Records->FindEntByName("window"), nullptr);
}

TEST(Lifetime, ReferenceAndReleaseFreeAtZero) {
  auto* C = new TqdDXFConverter();
  EXPECT_EQ(C->Reference(), 2);
  EXPECT_EQ(C->Release(), 1);
  C->SetStatus(stLoading);
  EXPECT_EQ(C->Release(), 0) << "loading: stopped instead of freed";
  EXPECT_EQ(C->Status(), stDefault);
  EXPECT_EQ(C->Pos(), 0u);
  C->Release();  // frees (ASan would report a leak otherwise)
}

TEST(Clear, EmptiesTheDrawingKeepsTwoLayoutsAndTheSections) {
  TqdDXFConverter C;
  C.InitializeSectionsBegin();
  C.LayerByName("L");
  AddLine(C, 0);
  auto L = std::make_unique<TqdDXFLayout>();
  L->SetNameUnchecked("Extra");
  C.AddLayout(std::move(L));
  ASSERT_EQ(C.LayoutsCount(), 3);
  C.Clear();
  EXPECT_EQ(C.Status(), stDefault);
  EXPECT_EQ(C.LayoutsCount(), 2);
  EXPECT_EQ(C.GetCount(csLayers), 0);
  EXPECT_EQ(C.GetSection(csLayers), nullptr);
  EXPECT_EQ(C.Main()->Count(), 3);
  EXPECT_EQ(C.ModelSpace()->Count(), 0);
  C.SetLoadingState(true, 0);
  AddLine(C, 0);
  C.SetLoadingState(false, 0);
  EXPECT_EQ(C.ModelSpace()->Count(), 1);
}

TEST(Registry, CreatesByDXFName) {
  RegisterDatabaseClasses();
  RegisterDatabaseClasses();
  auto E = TqdEntityRegistry::CreateByDXFName("line");
  ASSERT_NE(E, nullptr);
  EXPECT_EQ(E->EntType(), ceLine);
  EXPECT_EQ(TqdEntityRegistry::CreateByDXFName("NOPE"), nullptr);
  EXPECT_NE(TqdEntityRegistry::CreateByDXFName("BLOCK_RECORD"), nullptr);
}

TEST(Dump, ListsSectionsTablesItemsAndLayouts) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  AddLine(C, 0x2A);
  C.SetLoadingState(false, 0);
  const std::string D = DumpConverter(C);
  EXPECT_NE(D.find("TqdDXFSection \"SECTIONS\""), std::string::npos) << D;
  EXPECT_NE(D.find("TqdDXFLineType \"CONTINUOUS\""), std::string::npos) << D;
  EXPECT_NE(D.find("TqdDXFLine #2A"), std::string::npos) << D;
  EXPECT_NE(D.find("0 \"Model\" block=\"*MODEL_SPACE\" entities=1"), std::string::npos) << D;
}

}  // namespace

namespace {

// Lines in the model space that the finishing passes have not loaded yet.
void AddUnloadedLines(TqdDXFConverter& C, int N) {
  for (int I = 0; I < N; ++I) {
    auto L = std::make_unique<TqdDXFLine>();
    L->SetLine({0, 0, 0}, {double(I), 1, 0});
    AddTo(C.ModelSpace(), std::move(L));
  }
}

TEST(StopLoading, a_stop_while_finishing_drops_what_was_not_loaded) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  AddUnloadedLines(C, 10000);
  int Ticks = 0;
  C.SetOnLoadingTick([&] {
    if (++Ticks == 1) C.StopLoading();
  });
  C.LoadAll();
  EXPECT_TRUE(C.LoadingStopped());
  EXPECT_EQ(Ticks, 1);
  EXPECT_EQ(C.ModelSpace()->Count(), 4096) << "the entities loaded before the stop stay";
}

TEST(StopLoading, a_stop_while_reading_lets_the_finishing_passes_complete_what_was_read) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  AddUnloadedLines(C, 10000);
  C.StopLoading();
  int Ticks = 0;
  C.SetOnLoadingTick([&] { ++Ticks; });
  C.LoadAll();
  EXPECT_EQ(C.ModelSpace()->Count(), 10000);
  EXPECT_GT(Ticks, 1) << "the host is still called while the passes run";
}

TEST(StopLoading, a_stop_before_the_reader_starts_is_kept) {
  TqdDXFConverter C;
  C.StopLoading();
  C.SetLoadingState(true, 0);
  EXPECT_TRUE(C.LoadingStopped());
  EXPECT_EQ(C.Pos(), 0u) << "position 0 tells a reader to skip to its end";
}

}  // namespace

TEST(LoadAll, entities_without_linetype_take_the_bylayer_the_table_names_at_each_load) {
  TqdDXFConverter C;
  C.SetLoadingState(true, 0);
  auto* First = dynamic_cast<TqdDXFLineType*>(C.ItemByName("BYLAYER", csLTypes, true));
  ASSERT_NE(First, nullptr);
  auto* B1 = static_cast<TqdDXFBlock*>(C.NewNamedEntity(C.GetSection(csBlocks), ClassOf<TqdDXFBlock>(), "B1"));
  TqdDXFCircle* A = AddTo(B1, std::make_unique<TqdDXFCircle>());
  TqdDXFCircle* A2 = AddTo(B1, std::make_unique<TqdDXFCircle>());
  C.LoadAll();
  EXPECT_EQ(A->LineType(), First);
  EXPECT_EQ(A2->LineType(), First);
  // A later item of the same name wins the name; the next load must not keep the first.
  auto Second = std::make_unique<TqdDXFLineType>();
  Second->SetName("ByLayer");
  TqdDXFLineType* SecondRaw = AddTo(C.GetSection(csLTypes), std::move(Second));
  ASSERT_EQ(C.LTypeByName("BYLAYER"), SecondRaw);
  auto* B2 = static_cast<TqdDXFBlock*>(C.NewNamedEntity(C.GetSection(csBlocks), ClassOf<TqdDXFBlock>(), "B2"));
  TqdDXFCircle* B = AddTo(B2, std::make_unique<TqdDXFCircle>());
  C.LoadAll();
  EXPECT_EQ(A->LineType(), First);
  EXPECT_EQ(B->LineType(), SecondRaw);
  EXPECT_EQ(C.ByLayerLType(), SecondRaw);
  C.SetLoadingState(false, 0);
}
