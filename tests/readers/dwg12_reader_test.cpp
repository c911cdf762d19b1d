// Small R9-R12 files written by the tests: table entries, record framing, groups,
// layouts and the damaged forms the reader must survive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Blocks.h"
#include "readers/dwg/DWG.h"
#include "readers/dwg/DWG12.h"
#include "Entities.h"
#include "Inserts.h"
#include "Objects.h"
#include "Polylines.h"
#include "TableItems.h"
#include "Texts.h"

namespace {

std::string RC(int V) { return std::string(1, static_cast<char>(V & 0xFF)); }
std::string RS(int V) { return RC(V) + RC(V >> 8); }
std::string RL(std::uint32_t V) { return RS(static_cast<int>(V & 0xFFFF)) + RS(static_cast<int>(V >> 16)); }
std::string RD(double D) {
  std::string S(8, '\0');
  std::memcpy(S.data(), &D, 8);
  return S;
}
std::string P2(double X, double Y) { return RD(X) + RD(Y); }
std::string Str(const std::string& S) { return RS(static_cast<int>(S.size())) + S; }

// A record: type, flags, length (of the whole record), data.
std::string Rec(int Type, int Flags, const std::string& Data, int Length = -1) {
  return RC(Type) + RC(Flags) + RS(Length >= 0 ? Length : static_cast<int>(Data.size()) + 4) + Data;
}
// Common data without optional parts: layer 0 and the options word.
std::string Common(int Options = 0, int Layer = 0) { return RS(Layer) + RS(Options); }

struct TTable {
  int Size = 0;
  std::vector<std::string> Entries;
  int Count = -1;  // -1: the number of entries
  std::uint32_t Start = 0;  // 0: where the builder puts it
};

struct TFile {
  std::string Version = "AC1009";
  TTable BlockRecords, Layers, Styles, LTypes, VPorts;
  std::string Blocks, Entities;
  int NameBytes() const { return Version == "AC1009" ? 34 : 32; }
  std::string Name(const std::string& N) const { return N + std::string(static_cast<std::size_t>(NameBytes()) - N.size(), '\0'); }

  std::string LayerEntry(const std::string& N, int Color, int LType = 0, int Flags = 0) const {
    return RC(Flags) + Name(N) + RS(Color) + RS(LType);
  }
  std::string BlockRecordEntry(const std::string& N, std::uint32_t Offset, int Flags = 0) const {
    return RC(Flags) + Name(N) + RL(Offset);
  }
  std::string StyleEntry(const std::string& N) const {
    return RC(0) + Name(N) + RD(0) + RD(1) + RD(0) + RC(0) + RD(0.2) + std::string("txt") + std::string(125, '\0');
  }
  std::string LTypeEntry(const std::string& N, int Dashes) const {
    std::string S = RC(0) + Name(N) + std::string(49, '\0') + RC(Dashes) + RD(1);
    for (int I = 0; I < 12; ++I) S += RD(0.25 * (I + 1));
    return S;
  }

  std::string Build() const {
    std::string S = Version + std::string(6, '\0');
    S.resize(0x600, '\0');
    auto Put = [&](std::size_t At, const std::string& B) { S.replace(At, B.size(), B); };
    auto Table = [&](const TTable& T, std::size_t Desc, int MinSize) {
      const int Size = T.Size ? T.Size : MinSize;
      const std::uint32_t Start = T.Start ? T.Start : static_cast<std::uint32_t>(S.size());
      if (!T.Start)
        for (const std::string& E : T.Entries) {
          std::string P = E;
          P.resize(static_cast<std::size_t>(Size), '\0');
          S += P;
        }
      Put(Desc, RS(Size) + RS(T.Count >= 0 ? T.Count : static_cast<int>(T.Entries.size())) + RS(0) + RL(Start));
    };
    const int N = NameBytes();
    Table(BlockRecords, 44, 1 + N + 4 + 2);
    Table(Layers, 54, 1 + N + 4 + 2);
    Table(Styles, 64, 1 + N + 8 * 3 + 1 + 8 + 128 + 2);
    Table(LTypes, 74, 1 + N + 49 + 1 + 8 + 96 + 2);
    Table(VPorts, 0x500, 1 + N + 216 + 2);
    const std::uint32_t B = static_cast<std::uint32_t>(S.size());
    S += Blocks + std::string(32, '\0');  // the section is read up to its end less 32
    const std::uint32_t E = static_cast<std::uint32_t>(S.size());
    S += Entities;
    Put(20, RL(E) + RL(static_cast<std::uint32_t>(S.size())) + RL(B) + RL(0x40000000) +
                RL(static_cast<std::uint32_t>(E)) + RL(0));
    return S;
  }
};

struct TLoaded {
  std::shared_ptr<TqdConverterRef> Ref = std::make_shared<TqdConverterRef>(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TqdDXFConverter* C = Ref->get();
  TdwgLoadResult R;
  std::size_t LastLimit = 1;
  bool HasWarning(const std::string& Part) const {
    for (const std::string& W : R.Warnings)
      if (W.find(Part) != std::string::npos) return true;
    return false;
  }
  TqdDXFBlock* Model() const {
    TqdDXFLayout* L = C->GetLayout(0);
    return L ? L->PaperSpaceBlockField() : nullptr;
  }
  template <class T> std::vector<T*> ModelItems() const {
    std::vector<T*> V;
    if (TqdDXFBlock* B = Model())
      for (int I = 0; I < B->Count(); ++I)
        if (auto* E = dynamic_cast<T*>(B->GetEntity(I))) V.push_back(E);
    return V;
  }
};

TLoaded Load(const std::string& S) {
  TLoaded L;
  TqdLoadOptions O;
  O.OnProgress = [&L](std::size_t, std::size_t Limit) { L.LastLimit = std::min(L.LastLimit, Limit); };
  L.R = LoadDWGFromMemory(S.data(), S.size(), *L.C, O);
  return L;
}

std::string Line2(double X0, double Y0, double X1, double Y1) { return Rec(1, 0x04, Common() + P2(X0, Y0) + P2(X1, Y1)); }

// ---------------------------------------------------------------- versions and tables

TEST(DWG12Versions, OlderThanR9StaysRejectedWithItsVersion) {
  for (const char* V : {"AC1001", "AC1002", "AC1003", "AC2.10"}) {
    TFile F;
    F.Version = V;
    const TLoaded L = Load(F.Build());
    EXPECT_FALSE(L.R.Ok) << V;
    EXPECT_NE(L.R.Error.find(V), std::string::npos) << L.R.Error;
  }
}

TEST(DWG12Tables, LayerColoursStayInThePalette) {
  struct Row {
    const char* Name;
    int Raw;
    int Index;
    bool Visible;
  } Rows[] = {{"C5", 5, 5, true}, {"OFF7", -7, 7, false}, {"MIN", -32768, 7, false}, {"BIG", 300, 7, true}, {"ZERO", 0, 7, true}};
  TFile F;
  for (const Row& R : Rows) F.Layers.Entries.push_back(F.LayerEntry(R.Name, R.Raw));
  const TLoaded L = Load(F.Build());
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  for (const Row& R : Rows) {
    auto* Lay = dynamic_cast<TqdDXFLayer*>(L.C->LayerByName(R.Name));
    ASSERT_TRUE(Lay) << R.Name;
    EXPECT_EQ(Lay->ColorCAD().IndexValue(), R.Index) << R.Name;
    EXPECT_EQ(Lay->Visible(), R.Visible) << R.Name;
  }
}

TEST(DWG12Tables, LinetypeDashesAreCappedAtTwelve) {
  TFile F;
  F.LTypes.Entries.push_back(F.LTypeEntry("DASHED", 15));
  const TLoaded L = Load(F.Build());
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  TqdDXFLineType* T = L.C->LTypeByName("DASHED");
  ASSERT_TRUE(T);
  EXPECT_EQ(T->ElementCount(), 12);
  EXPECT_DOUBLE_EQ(T->Element(11).Dash, 3.0);
}

TEST(DWG12Tables, UndersizedOrWrappingTablesAreSkipped) {
  // A style entry needs about 196 bytes; 40-byte entries would run into each other.
  TFile Small;
  Small.Styles.Size = 40;
  Small.Styles.Entries = {Small.StyleEntry("A"), Small.StyleEntry("B")};
  const TLoaded S = Load(Small.Build());
  ASSERT_TRUE(S.R.Ok) << S.R.Error;
  EXPECT_TRUE(S.HasWarning("text style table: entries of 40 bytes are too small"));
  EXPECT_FALSE(S.C->GetSection(csStyles)->FindEntByName("A"));
  // Start near the top of 32 bits with many entries: 64-bit arithmetic, nothing read.
  TFile Wrap;
  Wrap.Layers.Start = 0xFFFFFFF0;
  Wrap.Layers.Count = 0xFFFF;
  Wrap.Layers.Size = 41;
  const TLoaded W = Load(Wrap.Build());
  EXPECT_TRUE(W.R.Ok) << W.R.Error;
  EXPECT_TRUE(W.HasWarning("layer table"));
  // A VPORT descriptor beyond the end of a short R10 file.
  TFile Short;
  Short.Version = "AC1006";
  std::string Img = Short.Build();
  Img.resize(400);
  std::memset(Img.data() + 20, 0, 24);
  const TLoaded V = Load(Img);
  EXPECT_TRUE(V.R.Ok) << V.R.Error;
  EXPECT_TRUE(V.HasWarning("VPORT table descriptor"));
}

// ---------------------------------------------------------------- framing

TEST(DWG12Framing, LengthZeroAdvancesEightAndShortLengthsEndTheSection) {
  TFile F;
  // Type 99 has no class; length 0 means 8 bytes.
  F.Entities = Rec(99, 0, "", 0) + std::string(4, '\0') + Line2(0, 0, 1, 1);
  const TLoaded L = Load(F.Build());
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_EQ(L.ModelItems<TqdDXFLine>().size(), 1u);
  for (int Len : {1, 2, 3}) {
    TFile G;
    G.Entities = Line2(0, 0, 1, 1) + Rec(1, 0, "", Len) + Line2(2, 2, 3, 3);
    const TLoaded M = Load(G.Build());
    ASSERT_TRUE(M.R.Ok) << M.R.Error;
    EXPECT_EQ(M.ModelItems<TqdDXFLine>().size(), 1u) << Len;
    EXPECT_TRUE(M.HasWarning("shorter than its header")) << Len;
  }
}

TEST(DWG12Framing, FieldsBeyondTheRecordDropItByItsLength) {
  struct Row {
    const char* Name;
    std::string Record;
  } Rows[] = {
      {"all_options_line", Rec(1, 0x04, Common(0xFFFF) + P2(0, 0))},
      {"text_all_options", Rec(7, 0, Common(0xFFFF) + P2(0, 0) + RD(1) + Str("abc"))},
      {"eed_bigger_than_record", Rec(1, 0x44, Common() + RC(0x02) + RS(5000) + P2(0, 0) + P2(1, 1))},
      {"insert_arrays", Rec(14, 0, Common(0xFF) + RS(0) + P2(0, 0))},
      {"polyface_vertex", Rec(20, 0, Common(0x108) + P2(0, 0) + RC(0x80) + RS(1))},
  };
  for (const Row& R : Rows) {
    TFile F;
    F.Entities = R.Record + Line2(5, 5, 6, 6);
    const TLoaded L = Load(F.Build());
    ASSERT_TRUE(L.R.Ok) << R.Name << ": " << L.R.Error;
    const auto Lines = L.ModelItems<TqdDXFLine>();
    ASSERT_EQ(Lines.size(), 1u) << R.Name;
    EXPECT_DOUBLE_EQ(Lines[0]->Point1().X, 6) << R.Name;
    EXPECT_TRUE(L.HasWarning("cut short") || std::string(R.Name) == "polyface_vertex") << R.Name;
  }
  // The same at the very end of the file: nothing read past the image.
  TFile End;
  End.Entities = Rec(1, 0x04, Common(0xFFFF) + P2(0, 0), 200);
  const TLoaded E = Load(End.Build());
  EXPECT_TRUE(E.R.Ok) << E.R.Error;
}

TEST(DWG12Framing, DamagedHeaderGivesAPositiveProgressTotal) {
  TFile F;
  F.Entities = Line2(0, 0, 1, 1);
  std::string S = F.Build();
  // Ends before starts.
  S.replace(24, 4, RL(0x10));
  S.replace(36, 4, RL(0x20));
  const TLoaded L = Load(S);
  EXPECT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_GE(L.LastLimit, 1u);
}

// ---------------------------------------------------------------- groups and elevation

TEST(DWG12Groups, MissingTerminatorsSwallowNothing) {
  TFile F;
  // A polyline without SEQEND, then an insert with attributes and no SEQEND, then lines.
  F.Entities = Rec(19, 0x80, Common()) + Rec(20, 0, Common() + P2(0, 0)) + Rec(20, 0, Common() + P2(1, 0)) +
               Line2(0, 0, 1, 1) + Rec(14, 0x80, Common() + RS(7) + P2(0, 0)) +
               Rec(16, 0, Common() + P2(0, 0) + RD(1) + Str("v") + Str("TAG") + RC(0)) + Line2(2, 2, 3, 3);
  const TLoaded L = Load(F.Build());
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  EXPECT_EQ(L.ModelItems<TqdDXFLine>().size(), 2u);
  const auto P = L.ModelItems<TqdDXFPolyline>();
  ASSERT_EQ(P.size(), 1u);
  EXPECT_EQ(P[0]->Count(), 2);
  const auto I = L.ModelItems<TqdDXFInsert>();
  ASSERT_EQ(I.size(), 1u);
  EXPECT_EQ(I[0]->Count(), 1);
}

TEST(DWG12Groups, BlockInsideABlockIsDroppedAndElevationsUnwind) {
  TFile F;
  F.BlockRecords.Entries = {F.BlockRecordEntry("B1", 0)};
  // BLOCK (elevation 5), a BLOCK inside it, a polyline at elevation 2 with one vertex,
  // a line, ENDBLK.
  F.Blocks = Rec(12, 0x04, Common() + RD(5) + P2(1, 1)) + Rec(12, 0, Common() + P2(0, 0)) +
             Rec(19, 0x84, Common() + RD(2)) + Rec(20, 0, Common() + P2(3, 3)) + Rec(17, 0, Common()) +
             Line2(0, 0, 1, 1) + Rec(13, 0, Common());
  F.Entities = Rec(14, 0, Common() + RS(0) + P2(0, 0));
  const TLoaded L = Load(F.Build());
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  TqdDXFBlock* B = L.C->BlockByName("B1");
  ASSERT_TRUE(B);
  EXPECT_EQ(B->Count(), 2);
  EXPECT_DOUBLE_EQ(B->Offset().Z, 5);
  auto* P = dynamic_cast<TqdDXFPolyline*>(B->GetEntity(0));
  ASSERT_TRUE(P);
  auto* V = dynamic_cast<TqdDXFVertex*>(P->GetEntity(0));
  ASSERT_TRUE(V);
  EXPECT_DOUBLE_EQ(V->Point().Z, 2);
  const auto I = L.ModelItems<TqdDXFInsert>();
  ASSERT_EQ(I.size(), 1u);
  EXPECT_EQ(I[0]->Block(), B);
}

TEST(DWG12Entities, LineElevationByRelease) {
  // R9: flags 0x04 reads an elevation that is the Z of both points.
  TFile R9;
  R9.Version = "AC1004";
  R9.Entities = Rec(1, 0x04, Common() + RD(4) + P2(0, 0) + P2(1, 1));
  const TLoaded A = Load(R9.Build());
  ASSERT_TRUE(A.R.Ok) << A.R.Error;
  const auto LA = A.ModelItems<TqdDXFLine>();
  ASSERT_EQ(LA.size(), 1u);
  EXPECT_DOUBLE_EQ(LA[0]->Point1().Z, 4);
  // R12: flags 0x04 means 2D points at the elevation in force (0 here).
  TFile R12;
  R12.Entities = Line2(0, 0, 1, 1);
  const TLoaded B = Load(R12.Build());
  const auto LB = B.ModelItems<TqdDXFLine>();
  ASSERT_EQ(LB.size(), 1u);
  EXPECT_DOUBLE_EQ(LB[0]->Point1().X, 1);
  EXPECT_DOUBLE_EQ(LB[0]->Point1().Z, 0);
}

TEST(DWG12Entities, ShapesAreReadWithTheirOptions) {
  TFile F;
  F.Styles.Entries = {F.StyleEntry("STANDARD"), F.StyleEntry("SHAPES")};
  // Plain: insertion, size, number. Then with rotation (radians), load number, width
  // factor and obliquing.
  F.Entities = Rec(4, 0, Common() + P2(1, 2) + RD(3) + RC(130)) +
               Rec(4, 0, Common(0x0F) + P2(4, 5) + RD(2) + RC(7) + RD(M_PI / 2) + RC(1) + RD(0.5) + RD(M_PI / 12));
  const TLoaded L = Load(F.Build());
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  const auto S = L.ModelItems<TqdDXFShape>();
  ASSERT_EQ(S.size(), 2u);
  EXPECT_EQ(S[0]->ShapeNumber(), 130);
  EXPECT_DOUBLE_EQ(S[0]->Point().Y, 2);
  EXPECT_DOUBLE_EQ(S[0]->Height(), 3);
  EXPECT_EQ(S[1]->ShapeNumber(), 7);
  EXPECT_NEAR(S[1]->Rotation(), 90, 1e-9);
  EXPECT_DOUBLE_EQ(S[1]->Scale(), 0.5);
  EXPECT_NEAR(S[1]->ObliqueAngle(), 15, 1e-9);
  ASSERT_TRUE(S[1]->Style());
  EXPECT_EQ(S[1]->Style()->Name(), "SHAPES");
  // No shape file holds them: placing one says so rather than dropping it silently.
  S[0]->Loaded(L.C);
  bool Warned = false;
  for (const std::string& W : L.C->Warnings()) Warned = Warned || W.find("SHAPE") != std::string::npos;
  EXPECT_TRUE(Warned);
}

TEST(DWG12Entities, InsertsAndTextStyles) {
  TFile F;
  F.BlockRecords.Entries = {F.BlockRecordEntry("B", 0)};
  F.Blocks = Rec(12, 0, Common() + P2(0, 0)) + Line2(0, 0, 1, 1) + Rec(13, 0, Common());
  F.Styles.Entries = {F.StyleEntry("OTHER"), F.StyleEntry("STANDARD")};
  F.Entities = Rec(14, 0, Common(0x10) + RS(0) + P2(0, 0) + RS(3)) + Rec(14, 0, Common(0x01) + RS(0) + P2(0, 0) + RD(2)) +
               Rec(7, 0, Common() + P2(0, 0) + RD(1) + Str("hi"));
  const TLoaded L = Load(F.Build());
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  const auto I = L.ModelItems<TqdDXFInsert>();
  ASSERT_EQ(I.size(), 2u);
  auto* M = dynamic_cast<TqdCADMInsert*>(I[0]);
  ASSERT_TRUE(M);
  EXPECT_EQ(M->NumCols(), 3);
  EXPECT_FALSE(dynamic_cast<TqdCADMInsert*>(I[1]));
  EXPECT_DOUBLE_EQ(I[1]->Scale().X, 2);
  EXPECT_DOUBLE_EQ(I[1]->Scale().Y, 1);
  EXPECT_DOUBLE_EQ(I[1]->Scale().Z, 1);
  const auto T = L.ModelItems<TqdDXFText>();
  ASSERT_EQ(T.size(), 1u);
  EXPECT_EQ(T[0]->Text(), "hi");
  ASSERT_TRUE(T[0]->Style());
  EXPECT_EQ(T[0]->Style()->Name(), "STANDARD");
}

// ---------------------------------------------------------------- layouts

TEST(DWG12Layouts, PaperSpaceRecordsBecomeBracketedLayouts) {
  TFile F;
  F.BlockRecords.Entries = {F.BlockRecordEntry("$MODEL_SPACE", 0xFFFF), F.BlockRecordEntry("$PAPER_SPACE", 0xFFFF),
                            F.BlockRecordEntry("*PAPER_SPACE0", 0xFFFF)};
  // One line in each paper layout (extra flags 0x04, then the layout number).
  for (int N : {1, 2}) F.Entities += Rec(1, 0x44, Common() + RC(0x04) + RS(N) + P2(0, 0) + P2(N, N));
  F.Entities += Line2(0, 0, 9, 9);
  const TLoaded L = Load(F.Build());
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  ASSERT_EQ(L.C->LayoutsCount(), 3);
  const char* Names[] = {"Model", "Layout1", "Layout2"};
  const char* Blocks[] = {"*[Model]", "*[Layout1]", "*[Layout2]"};
  for (int I = 0; I < 3; ++I) {
    TqdDXFLayout* Lay = L.C->GetLayout(I);
    EXPECT_EQ(Lay->Name(), Names[I]);
    ASSERT_TRUE(Lay->PaperSpaceBlockField());
    EXPECT_EQ(Lay->PaperSpaceBlockField()->Name(), Blocks[I]);
    EXPECT_EQ(Lay->PaperSpaceBlockField()->Count(), 1);
  }
}

TEST(DWG12Layouts, NoModelSpaceRecordStillGivesOne) {
  TFile F;
  F.Entities = Line2(0, 0, 1, 1);
  const TLoaded L = Load(F.Build());
  ASSERT_TRUE(L.R.Ok) << L.R.Error;
  ASSERT_TRUE(L.Model());
  EXPECT_EQ(L.Model()->Name(), "*[Model]");
  EXPECT_EQ(L.ModelItems<TqdDXFLine>().size(), 1u);
}

TEST(DWG12Layouts, ViewportLayoutNumberIsBounded) {
  // Extended data: reals and five 16-bit integers, the fifth a layout number.
  auto Viewport = [](int N, const std::string& Extra = "") {
    std::string EED = Extra + RC(40) + RD(0) + RC(40) + RD(10);
    for (int K = 0; K < 4; ++K) EED += RC(70) + RS(0);
    EED += RC(70) + RS(N);
    return Rec(24, 0x40, Common() + RC(0x06) + RS(static_cast<int>(EED.size())) + EED + RS(1) + RD(0) + RD(0) + RD(0) +
                             RD(10) + RD(10) + RS(1));
  };
  for (int N : {30000, -5, 0x7FFF}) {
    TFile F;
    F.Entities = Viewport(N);
    const TLoaded L = Load(F.Build());
    ASSERT_TRUE(L.R.Ok) << L.R.Error;
    EXPECT_LE(L.C->LayoutsCount(), 3) << N;
  }
  // Items whose lengths run past the extended data stay inside it.
  TFile G;
  G.Entities = Viewport(1, RC(0) + RC(200));
  const TLoaded M = Load(G.Build());
  EXPECT_TRUE(M.R.Ok) << M.R.Error;
  EXPECT_TRUE(M.HasWarning("viewport extended data cut short"));
}

} // namespace
