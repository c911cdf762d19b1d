#include <gtest/gtest.h>

#include <cmath>

#include "TTF.h"

namespace {

TEST(TmvFont, UpwardAndDownwardExcludeEachOther) {
  TmvFont f;
  f.SetStyle(fstUpward | fstDownward | fstBold);
  EXPECT_EQ(f.Style(), unsigned(fstBold)); // neither was set: both dropped
  f.SetStyle(fstUpward);
  f.SetStyle(fstUpward | fstDownward);
  EXPECT_EQ(f.Style(), unsigned(fstDownward)); // the one not set before stays
  f.SetStyle(fstUpward | fstDownward);
  EXPECT_EQ(f.Style(), unsigned(fstUpward));
}

TEST(TmvFont, LogicalFontFromTheStyle) {
  TmvFont f;
  f.SetName(u"A face name much longer than thirty characters");
  f.SetHeight(-20);
  f.SetCharSet(204);
  f.SetStyle(fstBold | fstItalic | fstUnderline | fstStrikeOut | fstDownward);
  const TqdLogFont l = f.LogicalFont();
  EXPECT_EQ(l.Weight, 700);
  EXPECT_TRUE(l.Italic && l.Underline && l.StrikeOut);
  EXPECT_EQ(l.Escapement, 2700);
  EXPECT_EQ(l.Orientation, 2700);
  EXPECT_EQ(l.CharSet, 204);
  EXPECT_EQ(l.Width, 0);
  EXPECT_EQ(l.FaceName.size(), 30u);
  f.SetStyle(fstUpward);
  EXPECT_EQ(f.LogicalFont().Escapement, 900);
  EXPECT_EQ(f.LogicalFont().Weight, 400);
}

TEST(TmvFont, CondensedWidthIsTheFaceAverage) {
  if (ResolveTTFFace("Liberation Sans").Kind != trkFile)
    GTEST_SKIP() << "Liberation Sans is not installed (Debian fonts-liberation2)";
  TmvFont f;
  f.SetName(u"Liberation Sans");
  f.SetHeight(5472);
  f.SetStyle(fstCondensed);
  const TqdTextGlyph* set =
      TqdContainerOfTextGlyphs::Instance().AddTextGlyphsByFont("Liberation Sans", 0);
  EXPECT_GT(set->AverageCharWidth(), 0);
  EXPECT_EQ(f.LogicalFont().Width, int(std::lround(set->AverageCharWidth())));
}

TEST(TmvExtFont, PackedValuesBesideTheName) {
  TmvExtFont f;
  f.SetName(u"Arial");
  f.SetWidth(10);
  EXPECT_EQ(f.Name(), u"Arial");
  EXPECT_EQ(f.Width(), 10);
  EXPECT_EQ(f.Packed().size(), 120u);
  EXPECT_EQ(f.Packed()[116], u'\x0A');
  f.SetName(std::u16string(200, u'x')); // cut to 115, the values kept
  EXPECT_EQ(f.Name().size(), 115u);
  EXPECT_EQ(f.Width(), 10);
  f.SetWeight(600);
  EXPECT_EQ(f.LogicalFont().Weight, 600);
  EXPECT_EQ(f.LogicalFont().Width, 10);
}

TEST(TmvExtFont, AnglesAndTheirOrientation) {
  TmvExtFont f;
  f.SetEscapement(900);
  EXPECT_EQ(f.Escapement(), 900);
  EXPECT_EQ(f.Orientation(), 900); // moved together: they were equal
  f.SetEscapement(3700);
  EXPECT_EQ(f.Escapement(), 100);
  EXPECT_EQ(f.Orientation(), 100);
  f.SetOrientation(450);
  f.SetEscapement(-4500);
  EXPECT_EQ(f.Escapement(), -900); // the sign of the written value kept
  EXPECT_EQ(f.Orientation(), 450); // they differed: the orientation stays
  const TqdLogFont l = f.LogicalFont();
  EXPECT_EQ(l.Escapement, 2700); // negative angles turn positive
  EXPECT_EQ(l.Orientation, 450);
}

} // namespace
