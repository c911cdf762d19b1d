// External references through a stand-in loader: files on disk, contents in code.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "DXFConv.h"
#include "Inserts.h"

namespace {

namespace fs = std::filesystem;

// What each file holds: a line and xref paths. Loading counts, so cycles show.
struct TFakeFiles {
  std::map<std::string, std::vector<std::string>> Refs;  // by file name
  std::map<std::string, bool> Throws;
  std::map<std::string, TFPoint> InsBase;
  int Loads = 0;
};

TFakeFiles* GFiles = nullptr;

bool FakeLoad(TqdDXFConverter& T, const std::string& File) {
  ++GFiles->Loads;
  if (GFiles->Loads > 200) throw std::runtime_error("runaway xref recursion");
  const std::string Leaf = fs::path(File).filename().string();
  if (GFiles->Throws[Leaf]) throw std::runtime_error("broken file");
  if (auto It = GFiles->InsBase.find(Leaf); It != GFiles->InsBase.end()) T.HeadVarStruct().InsBase = It->second;
  auto L = std::make_unique<TqdDXFLine>();
  L->SetLine({0, 0, 0}, {1, 1, 0});
  T.ModelSpace()->AddEntity(std::move(L));
  for (const std::string& R : GFiles->Refs[Leaf]) T.AddXRef(R, nullptr, 0, {1, 1, 1}, {0, 0, 0});
  T.LoadAll();
  return true;
}

class XRefs : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("draftwell_xref_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir / "sub");
    GFiles = &Files;
    Loader.Extensions = {".dxf"};
    Loader.Load = FakeLoad;
  }
  void TearDown() override {
    GFiles = nullptr;
    std::error_code Ec;
    fs::remove_all(Dir, Ec);
  }
  std::string Touch(const std::string& Name) {
    std::ofstream(Dir / Name) << "0\nEOF\n";
    return (Dir / Name).string();
  }
  std::unique_ptr<TqdDXFConverter> Root(const std::string& FileName = {}) {
    TqdConverterParams P;
    P.FileName = FileName;
    auto C = std::make_unique<TqdDXFConverter>(P);
    C->SetXRefLoader(Loader);
    return C;
  }
  fs::path Dir;
  TFakeFiles Files;
  TqdXRefLoader Loader;
};

TEST_F(XRefs, LoadedDrawingGivesTheBlockItsModelBox) {
  const std::string A = Touch("A.dxf");
  auto C = Root();
  TqdDXFInsert* I = C->AddXRef(A, nullptr, 0, {2, 2, 1}, {10, 0, 0});
  ASSERT_NE(I, nullptr);
  TqdDXFBlock* B = I->Block();
  ASSERT_NE(B, nullptr);
  EXPECT_EQ(B->Name(), "A");
  EXPECT_TRUE(B->IsBlockByXRef());
  ASSERT_NE(B->Xref(), nullptr);
  EXPECT_NE(B->Xref()->XRefConverter(), nullptr);
  EXPECT_EQ(C->XRefs().size(), 1u);
  EXPECT_NEAR(I->Box().Left, 10, 1e-9);
  EXPECT_NEAR(I->Box().Right, 12, 1e-9);
  EXPECT_NEAR(I->Box().Top, 2, 1e-9);
  EXPECT_EQ(C->ModelSpace()->IndexOfEntity(I), 0);
  EXPECT_TRUE(C->Warnings().empty());
}

TEST_F(XRefs, InsertionBaseOfTheReferencedDrawingIsTheOrigin) {
  const std::string A = Touch("A.dxf");
  Files.InsBase["A.dxf"] = {1, 1, 0};
  auto C = Root();
  TqdDXFInsert* I = C->AddXRef(A, nullptr, 0, {2, 2, 1}, {10, 0, 0});
  EXPECT_NEAR(I->Box().Left, 8, 1e-9);
  EXPECT_NEAR(I->Box().Bottom, -2, 1e-9);
  EXPECT_NEAR(I->Box().Right, 10, 1e-9);
  EXPECT_NEAR(I->Box().Top, 0, 1e-9);
}

TEST_F(XRefs, TessellationSettingsReachTheReferencedDrawing) {
  const std::string A = Touch("A.dxf");
  auto C = Root();
  C->SetNumberOfPartsInCircle(20);
  TqdDXFInsert* I = C->AddXRef(A, nullptr, 0, {1, 1, 1}, {0, 0, 0});
  TqdDXFConverter* Ref = I->Block()->Xref()->XRefConverter();
  EXPECT_EQ(Ref->NumberOfPartsInCircle(), 20);
  C->SetNumberOfPartsInCircle(64);
  EXPECT_EQ(Ref->NumberOfPartsInCircle(), 64);
}

TEST_F(XRefs, MissingFileIsReportedNotFatal) {
  auto C = Root();
  TqdDXFInsert* I = C->AddXRef((Dir / "absent.dxf").string(), nullptr, 0, {1, 1, 1}, {0, 0, 0});
  ASSERT_NE(I, nullptr);
  EXPECT_EQ(I->Block()->Count(), 0);
  EXPECT_EQ(I->Block()->Xref(), nullptr);
  EXPECT_TRUE(IsBadBox(I->Box()));
  ASSERT_EQ(C->Warnings().size(), 1u);
  EXPECT_NE(C->Warnings()[0].find("not found"), std::string::npos);
  EXPECT_EQ(Files.Loads, 0);
}

TEST_F(XRefs, ReaderErrorLeavesTheXrefUnresolved) {
  const std::string A = Touch("A.dxf");
  Files.Throws["A.dxf"] = true;
  auto C = Root();
  TqdDXFInsert* I = C->AddXRef(A, nullptr, 0, {1, 1, 1}, {0, 0, 0});
  EXPECT_EQ(I->Block()->Count(), 0);
  EXPECT_TRUE(C->XRefs().empty());
  EXPECT_EQ(C->Warnings().size(), 1u);
}

TEST_F(XRefs, FoundThroughSearchPathsAndLoaderExtensions) {
  Touch("A.dxf");
  auto C = Root();
  C->SetXRefSearchPath((Dir / "nowhere").string() + ";" + Dir.string());
  TqdDXFInsert* I = C->AddXRef("C:\\drawings\\A", nullptr, 0, {1, 1, 1}, {0, 0, 0});
  ASSERT_NE(I->Block()->Xref(), nullptr);
  EXPECT_EQ(Files.Loads, 1);
}

TEST_F(XRefs, DrawingReferencingItselfIsNotLoadedAgain) {
  const std::string A = Touch("A.dxf");
  auto C = Root(A);
  TqdDXFInsert* I = C->AddXRef((Dir / "sub" / ".." / "A.dxf").string(), nullptr, 0, {1, 1, 1}, {0, 0, 0});
  EXPECT_EQ(Files.Loads, 0);
  EXPECT_EQ(I->Block()->Xref(), nullptr);
  EXPECT_EQ(C->Warnings().size(), 1u);
}

TEST_F(XRefs, xref_cycle_through_two_spellings_of_one_path) {
  const std::string A = Touch("A.dxf");
  Touch("B.dxf");
  fs::create_symlink(Dir / "A.dxf", Dir / "Alias.dxf");
  // A -> B -> A again, spelled with ".." and through a symbolic link.
  Files.Refs["A.dxf"] = {(Dir / "B.dxf").string()};
  Files.Refs["B.dxf"] = {(Dir / "sub" / ".." / "A.dxf").string(), (Dir / "Alias.dxf").string()};
  auto C = Root();
  TqdDXFInsert* I = C->AddXRef(A, nullptr, 0, {1, 1, 1}, {0, 0, 0});
  ASSERT_NE(I->Block()->Xref(), nullptr);
  EXPECT_EQ(Files.Loads, 2) << "A and B once each";
  EXPECT_FALSE(C->Warnings().empty()) << "the cycle is reported to the shown drawing";
  // Freeing the drawing frees the whole chain (the sanitizer checks for leaks).
}

TEST_F(XRefs, NestingIsCapped) {
  std::string First;
  for (int K = 0; K < 20; ++K) {
    const std::string F = Touch("F" + std::to_string(K) + ".dxf");
    if (K == 0) First = F;
    Files.Refs["F" + std::to_string(K) + ".dxf"] = {(Dir / ("F" + std::to_string(K + 1) + ".dxf")).string()};
  }
  auto C = Root();
  C->AddXRef(First, nullptr, 0, {1, 1, 1}, {0, 0, 0});
  EXPECT_EQ(Files.Loads, cnstMaxXRefNesting);
  bool Reported = false;
  for (const std::string& W : C->Warnings()) Reported |= W.find("nested too deep") != std::string::npos;
  EXPECT_TRUE(Reported);
}

TEST_F(XRefs, SameFileTwiceInOneDrawingIsLoadedOnce) {
  const std::string A = Touch("A.dxf");
  auto C = Root();
  TqdDXFInsert* I1 = C->AddXRef(A, nullptr, 0, {1, 1, 1}, {0, 0, 0});
  TqdDXFInsert* I2 = C->AddXRef((Dir / "sub" / ".." / "A.dxf").string(), nullptr, 0, {1, 1, 1}, {5, 0, 0});
  EXPECT_EQ(Files.Loads, 1);
  ASSERT_NE(I2->Block()->Xref(), nullptr);
  EXPECT_EQ(I1->Block()->Xref()->XRefConverter(), I2->Block()->Xref()->XRefConverter());
  C->Clear();
  EXPECT_TRUE(C->XRefs().empty());
}

TEST_F(XRefs, WithoutLoaderTheXrefStaysEmpty) {
  const std::string A = Touch("A.dxf");
  auto C = Root();
  C->SetXRefLoader({});
  TqdDXFInsert* I = C->AddXRef(A, nullptr, 0, {1, 1, 1}, {0, 0, 0});
  EXPECT_EQ(I->Block()->Count(), 0);
  EXPECT_EQ(C->Warnings().size(), 1u);
}

}  // namespace
