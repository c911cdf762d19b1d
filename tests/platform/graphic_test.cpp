// The picture framework's extension table and container.
#include <gtest/gtest.h>

#include "qdError.h"
#include "qdGraphic.h"

namespace {

class TNullGraphic : public TqdGraphic {
 public:
  static inline std::string LastFile;
  void LoadFromFile(const std::string& FileName) override {
    LastFile = FileName;
    Progress(psRunning, 50, "half");
  }
  void LoadFromStream(std::istream&) override {}
  void Draw(TqdCanvas&, const TqdIntRect&) override {}
  bool GetEmpty() const override { return false; }
  int GetWidth() const override { return 1; }
  int GetHeight() const override { return 1; }
};

std::unique_ptr<TqdGraphic> NewNull() { return std::make_unique<TNullGraphic>(); }

struct TExtRow {
  const char* Name;
  const char* File;
  const char* Ext;
};

const TExtRow ExtRows[] = {
    {"Plain", "a.dxf", "dxf"},       {"UpperCase", "/x/B.DXF", "dxf"},
    {"NoExtension", "/x.y/name", ""}, {"DotInDirectoryOnly", "dir.d/file", ""},
    {"LastDotWins", "a.b.hpgl2", "hpgl2"},
};

class FileExtension : public ::testing::TestWithParam<TExtRow> {};
TEST_P(FileExtension, IsLowerCaseWithoutTheDot) {
  EXPECT_EQ(qdFileExtension(GetParam().File), GetParam().Ext);
}
INSTANTIATE_TEST_SUITE_P(Rows, FileExtension, ::testing::ValuesIn(ExtRows),
                         [](const auto& I) { return std::string(I.param.Name); });

TEST(GraphicFormats, PictureChoosesTheClassByExtensionAndForwardsProgress) {
  TqdGraphicFormats& F = TqdGraphicFormats::Instance();
  F.Register(".TstX", "test", &NewNull);
  ASSERT_NE(F.Find("tstx"), nullptr);
  EXPECT_EQ(F.Find("tstx")->Description, "test");
  TqdPicture P;
  int Percent = -1;
  P.OnProgress = [&](TqdGraphic*, TqdProgressStage, int V, const std::string&) { Percent = V; };
  P.LoadFromFile("/tmp/a.TSTX");
  EXPECT_NE(dynamic_cast<TNullGraphic*>(P.Graphic()), nullptr);
  EXPECT_EQ(TNullGraphic::LastFile, "/tmp/a.TSTX");
  EXPECT_EQ(Percent, 50);
  F.Unregister("tstx");
  EXPECT_EQ(F.Find("tstx"), nullptr);
  try {
    P.LoadFromFile("b.tstx");
    ADD_FAILURE();
  } catch (const EqdError& E) {
    EXPECT_STREQ(E.what(), "Unknown picture file extension (.tstx)");
  }
}

}  // namespace
