#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "CADColor.h"

namespace {

struct PaletteRow {
  const char* Name;
  int Index;
  int R, G, B;
};

class AciPalette : public testing::TestWithParam<PaletteRow> {};

TEST_P(AciPalette, MatchesTheTable) {
  const PaletteRow& P = GetParam();
  EXPECT_EQ(ACIPaletteColor(P.Index), MakeRGB(P.R, P.G, P.B));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, AciPalette,
    testing::Values(PaletteRow{"red", 1, 255, 0, 0}, PaletteRow{"grey8", 8, 128, 128, 128},
                    PaletteRow{"grey9", 9, 192, 192, 192}, PaletteRow{"hue0_full", 10, 255, 0, 0},
                    PaletteRow{"hue0_half", 11, 255, 127, 127}, PaletteRow{"hue0_dark", 12, 204, 0, 0},
                    PaletteRow{"hue0_dark_half", 13, 204, 102, 102}, PaletteRow{"hue15", 20, 255, 63, 0},
                    PaletteRow{"hue15_half", 21, 255, 159, 127}, PaletteRow{"darkest", 18, 76, 0, 0},
                    PaletteRow{"hue120", 90, 0, 255, 0}, PaletteRow{"hue240", 170, 0, 0, 255},
                    PaletteRow{"hue345_darkest_half", 249, 76, 38, 47},
                    PaletteRow{"grey250", 250, 51, 51, 51}, PaletteRow{"grey255", 255, 255, 255, 255}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(ColorToPlatform, RolesAndValues) {
  EXPECT_EQ(ColorCADToPlatform(TqdColorCAD::Index(0)), clPlatformByBlock);
  EXPECT_EQ(ColorCADToPlatform(TqdColorCAD::Index(7)), clDefaultForeground);
  EXPECT_EQ(ColorCADToPlatform(TqdColorCAD::Index(256)), clPlatformByLayer);
  EXPECT_EQ(ColorCADToPlatform(TqdColorCAD::Index(300)), clPlatformByLayer);
  EXPECT_EQ(ColorCADToPlatform(TqdColorCAD::Index(1)), MakeRGB(255, 0, 0));
  EXPECT_EQ(ColorCADToPlatform(TqdColorCAD::Index(-5)), static_cast<std::uint32_t>(-5));
  EXPECT_EQ(ColorCADToPlatform(TqdColorCAD::RGB(0x123456)), 0x123456u);
}

TEST(ColorFromPlatform, ExactPaletteValueBecomesIndexOtherwiseRGB) {
  const TqdColorCAD Red = PlatformToColorCAD(MakeRGB(255, 0, 0));
  EXPECT_EQ(Red.Active, acIndexColor);
  EXPECT_EQ(Red.IndexValue(), 1);
  const TqdColorCAD Near = PlatformToColorCAD(MakeRGB(250, 0, 0));
  EXPECT_EQ(Near.Active, acRGBColor);
  EXPECT_EQ(Near.Color, MakeRGB(250, 0, 0));
  EXPECT_EQ(PlatformToColorCAD(MakeRGB(0, 0, 0)).IndexValue(), 7) << "black is index 0, read as 7";
  EXPECT_EQ(PlatformToColorCAD(clDefaultForeground).IndexValue(), 7);
  EXPECT_EQ(PlatformToColorCAD(clPlatformByLayer).IndexValue(), 256);
  EXPECT_EQ(PlatformToColorCAD(clPlatformByBlock).IndexValue(), 0);
}

TEST(ColorFromPlatform, PlotterVariantKeepsWhiteAndForegroundAsRGB) {
  EXPECT_EQ(PlatformToColorCADHPGL(0xFFFFFF).Active, acRGBColor);
  const TqdColorCAD F = PlatformToColorCADHPGL(clDefaultForeground);
  EXPECT_EQ(F.Active, acRGBColor);
  EXPECT_EQ(F.Color, clDefaultForeground);
  EXPECT_EQ(PlatformToColorCAD(0xFFFFFF).IndexValue(), 7);
}

TEST(ColorCompare, DifferentKindsCompareByValue) {
  EXPECT_TRUE(TqdColorCAD::Index(1) == TqdColorCAD::RGB(MakeRGB(255, 0, 0)));
  EXPECT_FALSE(TqdColorCAD::Index(1) == TqdColorCAD::RGB(MakeRGB(254, 0, 0)));
  EXPECT_EQ(SwapRedBlue(0x112233), 0x332211u);
}

struct WeightRow {
  const char* Name;
  double MM;
  int Expected;
};

class LineWeightToStandardTest : public testing::TestWithParam<WeightRow> {};

TEST_P(LineWeightToStandardTest, Converts) {
  EXPECT_EQ(LineWeightToStandard(GetParam().MM), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Weights, LineWeightToStandardTest,
    testing::Values(WeightRow{"point31_gives_30", 0.31, 30}, WeightRow{"two_and_half_capped", 2.5, 211},
                    WeightRow{"exact_standard", 0.53, 53}, WeightRow{"below_first_step", 0.04, 0},
                    WeightRow{"half_to_even_down", 0.125, 9}, WeightRow{"bylayer_kept", -1, -1},
                    WeightRow{"byblock_kept", -2, -2}, WeightRow{"default_kept", -3, -3},
                    WeightRow{"nan_is_default", std::numeric_limits<double>::quiet_NaN(), -3},
                    WeightRow{"huge_is_default", 1e300, -3}, WeightRow{"minus_huge_is_default", -1e300, -3},
                    WeightRow{"infinity_is_default", std::numeric_limits<double>::infinity(), -3}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(LineWeightFromInt, AcceptsSpecialAndStandardValuesOnly) {
  double MM = 99;
  EXPECT_TRUE(LineWeightFromInt(-3, MM));
  EXPECT_EQ(MM, -3);
  EXPECT_TRUE(LineWeightFromInt(211, MM));
  EXPECT_DOUBLE_EQ(MM, 2.11);
  EXPECT_FALSE(LineWeightFromInt(31, MM));
  EXPECT_FALSE(LineWeightFromInt(-4, MM));
  EXPECT_FALSE(LineWeightFromInt(1LL << 40, MM));
}

}  // namespace
