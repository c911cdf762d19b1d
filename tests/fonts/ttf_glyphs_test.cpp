#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BBOX_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include "TTF.h"
#include "qdFunction.h"
#include "qdShapeEdge.h"

namespace {

// The font engine opened on its own, as the oracle of outlines and advances.
class TOracle {
public:
  explicit TOracle(const TqdTTFResolution& R) {
    if (FT_Init_FreeType(&FLib) != 0) return;
    if (FT_New_Face(FLib, R.FileName.c_str(), R.FaceIndex, &FFace) != 0) FFace = nullptr;
  }
  ~TOracle() {
    if (FFace) FT_Done_Face(FFace);
    if (FLib) FT_Done_FreeType(FLib);
  }
  bool Ok() const { return FFace != nullptr; }
  FT_Face Face() const { return FFace; }
  double Scale() const {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(FFace, FT_SFNT_OS2));
    return cnstTTFCellHeight / (double(os2->usWinAscent) + os2->usWinDescent);
  }
  FT_Outline* Load(char32_t C) {
    if (FT_Load_Char(FFace, C, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
      return nullptr;
    return &FFace->glyph->outline;
  }
  double Advance(char32_t C) {
    return FT_Load_Char(FFace, C, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) == 0
               ? double(FFace->glyph->metrics.horiAdvance) * Scale()
               : 0;
  }

private:
  FT_Library FLib = nullptr;
  FT_Face FFace = nullptr;
};

TqdTTFResolution Installed(const char* AFamily) {
  TqdTTFResolution r = ResolveTTFFace(AFamily);
  return r;
}

#define REQUIRE_FACE(FAMILY, PACKAGE)                                                               \
  const TqdTTFResolution face = Installed(FAMILY);                                                 \
  if (face.Kind != trkFile)                                                                        \
  GTEST_SKIP() << FAMILY " is not installed (Debian " PACKAGE ")"

TqdTextGlyph* Set(const char* AFamily, unsigned AStyles = 0) {
  return TqdContainerOfTextGlyphs::Instance().AddTextGlyphsByFont(AFamily, AStyles);
}

// The on-curve points of one contour of the oracle, in cell units.
std::vector<TqdTTFPoint> OnCurve(const FT_Outline* O, int AContour, double AScale) {
  std::vector<TqdTTFPoint> pts;
  const int first = AContour == 0 ? 0 : O->contours[AContour - 1] + 1;
  for (int i = first; i <= O->contours[AContour]; ++i)
    if (FT_CURVE_TAG(O->tags[i]) == FT_CURVE_TAG_ON)
      pts.push_back({float(O->points[i].x * AScale), float(O->points[i].y * AScale)});
  return pts;
}

bool Near(const TqdTTFPoint& A, const TqdTTFPoint& B) {
  return std::fabs(A.X - B.X) < 1e-2 && std::fabs(A.Y - B.Y) < 1e-2;
}

double SegmentDistance(const TqdTTFPoint& P, const TqdTTFPoint& A, const TqdTTFPoint& B) {
  const double dx = B.X - A.X, dy = B.Y - A.Y, l = dx * dx + dy * dy;
  double t = l > 0 ? ((P.X - A.X) * dx + (P.Y - A.Y) * dy) / l : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(P.X - (A.X + t * dx), P.Y - (A.Y + t * dy));
}

double PolylineDistance(const TqdTTFPoint& P, const std::vector<TqdTTFPoint>& L) {
  double d = 1e30;
  for (std::size_t i = 1; i < L.size(); ++i) d = std::min(d, SegmentDistance(P, L[i - 1], L[i]));
  return d;
}

// The exact curve of one contour, finely sampled, by the TrueType rules: two
// off-curve points in a row imply an on-curve point midway between them.
std::vector<TqdTTFPoint> ExactContour(const FT_Outline* O, int AContour, double AScale) {
  struct TPt {
    double X, Y;
    bool On;
  };
  std::vector<TPt> raw;
  const int first = AContour == 0 ? 0 : O->contours[AContour - 1] + 1;
  for (int i = first; i <= O->contours[AContour]; ++i)
    raw.push_back({O->points[i].x * AScale, O->points[i].y * AScale,
                   FT_CURVE_TAG(O->tags[i]) == FT_CURVE_TAG_ON});
  std::vector<TPt> pts;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const TPt& a = raw[i];
    const TPt& b = raw[(i + 1) % raw.size()];
    pts.push_back(a);
    if (!a.On && !b.On) pts.push_back({(a.X + b.X) / 2, (a.Y + b.Y) / 2, true});
  }
  std::size_t start = 0;
  while (start < pts.size() && !pts[start].On) ++start;
  std::rotate(pts.begin(), pts.begin() + long(start), pts.end());
  pts.push_back(pts.front());
  std::vector<TqdTTFPoint> out{{float(pts[0].X), float(pts[0].Y)}};
  for (std::size_t i = 1; i < pts.size(); ++i) {
    if (pts[i].On) {
      out.push_back({float(pts[i].X), float(pts[i].Y)});
      continue;
    }
    const TPt& p0 = pts[i - 1];
    const TPt& c = pts[i];
    const TPt& p1 = pts[i + 1];
    for (int k = 1; k <= 256; ++k) {
      const double t = k / 256.0, u = 1 - t;
      out.push_back({float(u * u * p0.X + 2 * u * t * c.X + t * t * p1.X),
                     float(u * u * p0.Y + 2 * u * t * c.Y + t * t * p1.Y)});
    }
    ++i; // the end point is out already
  }
  return out;
}

// Our contour follows the engine's: same on-curve points in order, every point
// on the exact curve, and the curve nowhere farther than the outline tolerance.
void ExpectFollows(const TqdTTFContour& AGot, const FT_Outline* O, int AContour, double AScale,
                   const std::string& AWhat) {
  ASSERT_GE(AGot.size(), 2u) << AWhat;
  EXPECT_EQ(AGot.front(), AGot.back()) << AWhat << " is closed";
  std::size_t at = 0;
  for (const TqdTTFPoint& p : OnCurve(O, AContour, AScale)) {
    while (at < AGot.size() && !Near(AGot[at], p)) ++at;
    EXPECT_LT(at, AGot.size()) << AWhat << " misses an on-curve point";
  }
  const std::vector<TqdTTFPoint> exact = ExactContour(O, AContour, AScale);
  double worst = 0, gap = 0;
  for (const TqdTTFPoint& p : AGot) worst = std::max(worst, PolylineDistance(p, exact));
  for (const TqdTTFPoint& p : exact) gap = std::max(gap, PolylineDistance(p, AGot));
  EXPECT_LT(worst, 0.05) << AWhat << ": a point off the curve";
  EXPECT_LT(gap, 1.0) << AWhat << ": the curve is cut short";
  for (std::size_t i = 1; i < AGot.size(); ++i) EXPECT_FALSE(AGot[i] == AGot[i - 1]) << AWhat;
}

TEST(TTFGlyphs, LetterAOfLiberationSansMatchesTheEngineContours) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TOracle oracle(face);
  ASSERT_TRUE(oracle.Ok());
  const FT_Outline* o = oracle.Load(U'A');
  ASSERT_NE(o, nullptr);
  const TqdGlyph* g = Set("Liberation Sans")->Glyph(U'A');
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(int(g->FPolyPolyline.size()), o->n_contours);
  for (int c = 0; c < o->n_contours; ++c) {
    ExpectFollows(g->FPolyPolyline[c], o, c, oracle.Scale(), "A contour " + std::to_string(c));
    // A contour of lines only is the engine's points, closed.
    const std::vector<TqdTTFPoint> on = OnCurve(o, c, oracle.Scale());
    const int first = c == 0 ? 0 : o->contours[c - 1] + 1;
    if (int(on.size()) == o->contours[c] - first + 1) {
      ASSERT_EQ(g->FPolyPolyline[c].size(), on.size() + 1);
      for (std::size_t i = 0; i < on.size(); ++i) EXPECT_TRUE(Near(g->FPolyPolyline[c][i], on[i]));
    }
  }
  EXPECT_NEAR(g->FBox.Right, oracle.Advance(U'A'), 1e-3);
  EXPECT_EQ(g->FBox.Left, 0);
  FT_BBox bbox;
  FT_Outline_Get_BBox(const_cast<FT_Outline*>(o), &bbox);
  EXPECT_NEAR(g->FBox.Top, bbox.yMax * oracle.Scale(), 1e-2);
  EXPECT_NEAR(g->FRealLeft, bbox.xMin * oracle.Scale(), 1e-2);
  EXPECT_NEAR(g->FRealRight, bbox.xMax * oracle.Scale(), 1e-2);
}

TEST(TTFGlyphs, CurvedLettersFollowTheEngineContours) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TOracle oracle(face);
  ASSERT_TRUE(oracle.Ok());
  for (char32_t letter : {U'O', U'S', U'g', U'8', U'@'}) {
    const FT_Outline* o = oracle.Load(letter);
    ASSERT_NE(o, nullptr);
    const TqdGlyph* g = Set("Liberation Sans")->Glyph(letter);
    ASSERT_EQ(int(g->FPolyPolyline.size()), o->n_contours) << char(letter);
    for (int c = 0; c < o->n_contours; ++c)
      ExpectFollows(g->FPolyPolyline[c], o, c, oracle.Scale(),
                    std::string(1, char(letter)) + " contour " + std::to_string(c));
  }
}

TEST(TTFGlyphs, CubicCurvesThroughTheCurveGenerator) {
  TqdGeneratorShapeEdge gen;
  gen.SetQualityApproximation(cnstTTFQualityApproximation);
  TFPointList pts;
  gen.SetBaseList(&pts);
  const TFPoint p0{0, 0, 0}, p1{0, 3000, 0}, p2{3000, 3000, 0}, p3{3000, 0, 0};
  TTFCubicPoints(gen, p0, p1, p2, p3);
  ASSERT_GE(pts.Count(), 3);
  EXPECT_EQ(pts[0], p0);
  EXPECT_EQ(pts.GetLast(), p3);
  for (const TFPoint& p : pts) { // on the curve: x(t) + y(t) fixes t here
    EXPECT_GE(p.Y, -1e-9);
    EXPECT_LE(p.Y, 2250 + 1e-9);
  }
  // Chords short enough for a fine outline, and not a point per unit.
  EXPECT_LT(pts.Count(), 120);
  for (int i = 1; i < pts.Count(); ++i) EXPECT_LT(Distance(pts[i - 1], pts[i]), 250);
  // A straight cubic needs no inner points.
  TFPointList line;
  gen.SetBaseList(&line);
  TTFCubicPoints(gen, p0, {1, 0, 0}, {2, 0, 0}, {3, 0, 0});
  EXPECT_LE(line.Count(), 3);
}

// Compact (cubic) outlines go through the same generator.
TEST(TTFGlyphs, CubicOutlinesOfAnOpenTypeFace) {
  TqdTableFonts::TEntry e;
  std::string family;
  for (const TqdTableFonts::TEntry& x : TqdTableFonts::Instance().Entries())
    if (x.Type == fttOpenType) {
      family = x.Name;
      e = x;
      break;
    }
  if (family.empty()) GTEST_SKIP() << "no OpenType (.otf) face is installed";
  TqdTextGlyph* set = Set(family.c_str());
  ASSERT_TRUE(set->HasFace());
  const TqdGlyph* g = set->Glyph(U'O');
  ASSERT_FALSE(g->FPolyPolyline.empty());
  EXPECT_GT(g->FBox.Top, g->FBox.Bottom);
}

TEST(TTFGlyphs, TextWidthsAreTheSumOfTheFaceAdvances) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TOracle oracle(face);
  ASSERT_TRUE(oracle.Ok());
  TqdTextGlyph* set = Set("Liberation Sans");
  const std::u16string text = u"Hello, World 1234";
  double advances = 0;
  for (char16_t c : text) advances += oracle.Advance(c);
  TFRect box;
  ASSERT_TRUE(set->GetBoxW(u"", text, box));
  EXPECT_NEAR(box.Right - box.Left, advances, 1e-2);
  EXPECT_DOUBLE_EQ(box.Left, 0);

  // At a text height: the scale of the height over the reference letter.
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(oracle.Face(), FT_SFNT_OS2));
  const char32_t ref = os2->panose[0] == 2 && os2->panose[9] == 1 ? U'Q' : U'W';
  const FT_Outline* o = oracle.Load(ref);
  FT_BBox bbox;
  FT_Outline_Get_BBox(const_cast<FT_Outline*>(o), &bbox);
  const double refHeight = double(bbox.yMax - bbox.yMin) * oracle.Scale();
  EXPECT_NEAR(set->FKoef, cnstTTFCellHeight / refHeight, 1e-9);
  const double h = 2.5;
  const double k = set->HeightScale(h);
  ASSERT_TRUE(set->GetBoxW(text, u"", box, ScalingMatrix(k, k, k)));
  EXPECT_NEAR(box.Right - box.Left, h * advances / refHeight, 1e-6);

  // The reference letter stands exactly the text height tall.
  ASSERT_TRUE(set->GetBoxW(u"", std::u16string(1, char16_t(ref)), box, ScalingMatrix(k, k, k)));
  EXPECT_NEAR(box.Top - box.Bottom, h, 1e-3);
}

TEST(TTFGlyphs, GlyphsAreOutlinedOncePerFaceWhateverTheTextHeight) {
  REQUIRE_FACE("Liberation Serif", "fonts-liberation2");
  TqdTextGlyph* set = Set("Liberation Serif", fstItalic);
  for (int i = 0; i < 10000; ++i) {
    const std::u16string text = TTFUtf8ToUtf16("Text " + std::to_string(i));
    const double k = set->HeightScale(0.5 + i % 7);
    TFRect box;
    set->GetBoxW(u"", text, box, ScalingMatrix(k, k, k));
    std::vector<TFPointList> lines;
    set->GetPolyPolylineW(u"", text, nullptr, lines, ScalingMatrix(k, k, k), 0);
  }
  // "Text ", the ten digits, and "Q" and "y" preloaded.
  EXPECT_EQ(set->GlyphCount(), 4 + 1 + 10 + 2);
  EXPECT_EQ(set->OutlinedCount(), set->GlyphCount());
  // Underline is drawn per text: the same outlines serve it.
  EXPECT_EQ(Set("Liberation Serif", fstItalic | fstUnderline), set);
}

TEST(TTFGlyphs, MissingGlyphsAreMadeOnDemand) {
  REQUIRE_FACE("Liberation Mono", "fonts-liberation2");
  TqdTextGlyph set;
  set.SetFontParams("Liberation Mono", 0);
  EXPECT_FALSE(set.HasGlyph(U'Z'));
  TFRect box;
  ASSERT_TRUE(set.GetBoxW(u"Zz\u00E9\u0416", u"", box)); // never loaded before
  EXPECT_TRUE(set.HasGlyph(U'Z'));
  EXPECT_TRUE(set.HasGlyph(U'\u0416'));
  EXPECT_GT(box.Right, 0);
  EXPECT_GT(box.Top, 0);
  EXPECT_EQ(set.UniCodes(), std::vector<char32_t>{U'\u0416'});
}

TEST(TTFGlyphs, LoadingStoresLowCodesInSlotsAndHighCodesInOrder) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TqdTextGlyph set;
  set.SetFontParams("Liberation Sans", 0);
  set.LoadedW(u"", u"");
  EXPECT_TRUE(set.HasGlyph(U'Q'));
  EXPECT_TRUE(set.HasGlyph(U'y'));
  EXPECT_GT(set.FKoef, 0);
  set.LoadedW(u"", u"a\u0431b\u0430\u0431");
  set.LoadedW(u"", u"a\u0431b\u0430\u0431");
  EXPECT_EQ(set.UniCodes(), (std::vector<char32_t>{U'\u0431', U'\u0430'}));
  EXPECT_EQ(set.GlyphCount(), 2 + 2 + 2);
}

TEST(TTFGlyphs, BlankHasNoOutlineAndAnAdvanceBox) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TOracle oracle(face);
  const TqdGlyph* g = Set("Liberation Sans")->Glyph(U' ');
  ASSERT_NE(g, nullptr);
  EXPECT_FALSE(g->HasOutline());
  EXPECT_EQ(g->FBox.Left, 0);
  EXPECT_EQ(g->FBox.Top, 0);
  EXPECT_EQ(g->FBox.Bottom, 0);
  EXPECT_NEAR(g->FBox.Right, oracle.Advance(U' '), 1e-3);
  EXPECT_EQ(g->FRealLeft, 0);
  EXPECT_EQ(g->FRealRight, 0);
  TFRect box;
  ASSERT_TRUE(Set("Liberation Sans")->GetBoxW(u"   ", u"", box));
  EXPECT_EQ(box.Top, 0);
  EXPECT_EQ(box.Bottom, 0);
  EXPECT_NEAR(box.Right, 3 * oracle.Advance(U' '), 1e-2);
}

TEST(TTFGlyphs, EmptyTextHasNoBox) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TFRect box;
  TqdTTFBoxParams params;
  EXPECT_FALSE(Set("Liberation Sans")->GetBoxW(u"", u"", box, cnstIdentityMat, &params));
  EXPECT_EQ(box, cnstBadRect);
  EXPECT_EQ(params.Above, 0);
}

TEST(TTFGlyphs, PolyPolylinesWithEpsilonUnderlineAndStrikeOut) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TqdTextGlyph* set = Set("Liberation Sans");
  const TFMatrix m = ScalingMatrix(0.01, 0.01, 1);
  std::vector<TFPointList> plain, zeroZ, coarse, styled;
  const int n = set->GetPolyPolylineW(u"", u"AOB", nullptr, plain, m, 0);
  EXPECT_EQ(n, 2 + 2 + 3);
  EXPECT_EQ(int(plain.size()), n);
  const TFPoint eps0{1e9, 1e9, 0}; // no point is closer than 0 in Z
  EXPECT_EQ(set->GetPolyPolylineW(u"", u"AOB", &eps0, zeroZ, m, 0), n);
  for (int i = 0; i < n; ++i) EXPECT_EQ(zeroZ[i].Count(), plain[i].Count());
  const TFPoint eps{1e9, 1e9, 1e9};
  EXPECT_EQ(set->GetPolyPolylineW(u"", u"AOB", &eps, coarse, m, 0), n);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(coarse[i].Count(), 1);
    EXPECT_EQ(coarse[i][0], plain[i][0]);
  }

  set->GetPolyPolylineW(u"", u"AOB", nullptr, styled, m, fstUnderline | fstStrikeOut);
  ASSERT_EQ(int(styled.size()), n + 2);
  TFRect box;
  set->GetBoxW(u"", u"AOB", box, m);
  const double yBottom = set->Glyph(U'y')->FBox.Bottom * 0.01;
  const TFPointList& under = styled[n];
  ASSERT_EQ(under.Count(), 2);
  EXPECT_NEAR(under[0].X, 0, 1e-9);
  EXPECT_NEAR(under[1].X, box.Right, 1e-9);
  EXPECT_NEAR(under[0].Y, yBottom, 1e-6);
  const TFPointList& strike = styled[n + 1];
  EXPECT_NEAR(strike[0].Y, (set->Glyph(U'Q')->FBox.Top * 0.01 + yBottom) / 2, 1e-6);
}

struct TRecorder : TqdGDIAdapter {
  int Polygons = 0, Polylines = 0, Lines = 0, Mode = 0, Points = 0;
  void Polyline(const TqdTTFIntPoint*, int) override { ++Lines; }
  void PolyPolyline(const TqdTTFIntPoint*, const int* C, int N) override {
    ++Polylines;
    for (int i = 0; i < N; ++i) Points += C[i];
  }
  void PolyPolygon(const TqdTTFIntPoint*, const int* C, int N) override {
    ++Polygons;
    for (int i = 0; i < N; ++i) Points += C[i];
  }
  void SetPolyFillMode(int M) override { Mode = M; }
};

TEST(TTFGlyphs, DeviceOutputIsOneCallPerGlyph) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TqdTextGlyph set;
  set.SetFontParams("Liberation Sans", 0);
  TRecorder filled;
  set.DrawTextExtW(filled, fstUnderline, ScalingMatrix(0.01, -0.01, 1), u"A B");
  EXPECT_EQ(filled.Mode, 2);
  EXPECT_EQ(filled.Polygons, 2); // the blank has no outline
  EXPECT_EQ(filled.Lines, 1);
  set.FFillText = false;
  TRecorder lines;
  set.DrawTextExtW(lines, 0, ScalingMatrix(1e30, 1e30, 1), u"A"); // clamped, not UB
  EXPECT_EQ(lines.Polylines, 1);
  EXPECT_EQ(lines.Polygons, 0);
}

TEST(TTFGlyphs, ScaleFactorFallsBackWhenTheReferenceLetterMeasuresNothing) {
  EXPECT_DOUBLE_EQ(TTFScaleFactor(1000, 2000, 3000), cnstTTFCellHeight / 1000);
  EXPECT_DOUBLE_EQ(TTFScaleFactor(0, 2000, 3000), cnstTTFCellHeight / 2000);
  EXPECT_DOUBLE_EQ(TTFScaleFactor(1e-9, 0, 3000), cnstTTFCellHeight / 3000);
  EXPECT_DOUBLE_EQ(TTFScaleFactor(std::nan(""), 0, 0), 1);
}

struct TResolveCase {
  const char* Name;
  const char* Asked;
  unsigned Styles;
  TqdTTFResolutionKind Kind;
  const char* Family;
  bool Bold;
};

class TTFResolve : public ::testing::TestWithParam<TResolveCase> {};

TEST_P(TTFResolve, WindowsNamesFindMetricCompatibleFaces) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  const TResolveCase& c = GetParam();
  const TqdTTFResolution r = ResolveTTFFace(c.Asked, c.Styles);
  EXPECT_EQ(r.Kind, c.Kind) << r.Describe();
  EXPECT_EQ(r.FamilyName, c.Family) << r.Describe();
  EXPECT_EQ(r.FaceName.find("Bold") != std::string::npos, c.Bold) << r.FaceName;
  EXPECT_FALSE(r.SynthesizeBold);
  EXPECT_EQ(r.AskedName, c.Asked);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TTFResolve,
    ::testing::Values(
        TResolveCase{"arial", "Arial", 0, trkSubstitute, "Liberation Sans", false},
        TResolveCase{"arial_bold_suffix", "Arial Bold", 0, trkSubstitute, "Liberation Sans", true},
        TResolveCase{"arial_file", "arial.ttf", 0, trkSubstitute, "Liberation Sans", false},
        TResolveCase{"arial_bold_file", "ARIALBD.TTF", 0, trkSubstitute, "Liberation Sans", true},
        TResolveCase{"times", "Times New Roman", 0, trkSubstitute, "Liberation Serif", false},
        TResolveCase{"courier_file_with_folder", "C:\\Windows\\Fonts\\cour.ttf", 0, trkSubstitute,
                     "Liberation Mono", false},
        TResolveCase{"courier_bold_style", "Courier New", fstBold, trkSubstitute,
                     "Liberation Mono", true},
        TResolveCase{"installed_family", "Liberation Sans", 0, trkFile, "Liberation Sans", false},
        TResolveCase{"installed_full_name", "Liberation Serif Bold", 0, trkFile,
                     "Liberation Serif", true},
        TResolveCase{"installed_file", "LiberationSans-Bold.ttf", 0, trkFile, "Liberation Sans",
                     true}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(TTFResolve, MissingFaceFallsBackAndSaysSo) {
  REQUIRE_FACE("DejaVu Sans", "fonts-dejavu-core");
  for (const char* asked : {"No Such Face 4711", "nosuchfile.ttf", ""}) {
    const TqdTTFResolution r = ResolveTTFFace(asked);
    EXPECT_EQ(r.Kind, trkSubstitute) << asked;
    EXPECT_STREQ(TTFResolutionKindName(r.Kind), "substitute");
    EXPECT_EQ(r.FamilyName, "DejaVu Sans") << asked;
    EXPECT_NE(r.Describe().find("-> DejaVu Sans"), std::string::npos) << r.Describe();
  }
  TqdTextGlyph* set = Set("No Such Face 4711");
  EXPECT_TRUE(set->HasFace());
  EXPECT_EQ(set->Resolution().Kind, trkSubstitute);
  TFRect box;
  ASSERT_TRUE(set->GetBoxW(u"", u"Text", box));
  EXPECT_GT(box.Right, 0);
  bool reported = false;
  for (const TqdTTFResolution& r : TTFResolutionsAsked())
    reported = reported || (r.AskedName == "No Such Face 4711" && r.Kind == trkSubstitute);
  EXPECT_TRUE(reported);
}

TEST(TTFResolve, SyntheticStylesOnlyWhenTheFamilyLacksThem) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  const TqdTTFResolution all = ResolveTTFFace("Liberation Sans", fstBold | fstItalic);
  EXPECT_FALSE(all.SynthesizeBold);
  EXPECT_FALSE(all.SynthesizeItalic);

  // A family without an italic face of its own gets a slanted outline.
  std::map<std::string, bool> hasItalic;
  for (const TqdTableFonts::TEntry& e : TqdTableFonts::Instance().Entries())
    if (IsOutlineFontType(e.Type) && !e.Family.empty())
      hasItalic[e.Family] = hasItalic[e.Family] || (e.Styles & fstItalic);
  std::string upright;
  for (const auto& [family, italic] : hasItalic)
    if (!italic && ResolveTTFFace(family, fstItalic).FamilyName == family) upright = family;
  if (upright.empty()) GTEST_SKIP() << "every installed family has an italic face";
  const TqdTTFResolution r = ResolveTTFFace(upright, fstItalic);
  EXPECT_TRUE(r.SynthesizeItalic) << upright;
  TqdTextGlyph plain, slanted;
  plain.SetFontParams(upright, 0);
  slanted.SetFontParams(upright, fstItalic);
  EXPECT_GT(slanted.Glyph(U'I')->FRealRight, plain.Glyph(U'I')->FRealRight + 1) << upright;
  EXPECT_EQ(slanted.Glyph(U'I')->Advance(), plain.Glyph(U'I')->Advance());
}

TEST(TTFTable, FileAndFaceNames) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TqdTableFonts& t = TqdTableFonts::Instance();
  EXPECT_GT(t.Count(), 0);
  EXPECT_EQ(t.GetFontName("LiberationSans-Regular.ttf"), "Liberation Sans");
  EXPECT_EQ(t.GetFontName("/somewhere/LIBERATIONSANS-REGULAR.TTF"), "Liberation Sans");
  EXPECT_EQ(t.GetFileName("liberation sans bold"), "LiberationSans-Bold.ttf");
  EXPECT_EQ(t.GetFontType("Liberation Sans"), fttTrueType);
  EXPECT_TRUE(t.IsTrueTypeFont("Liberation Sans"));
  EXPECT_EQ(t.GetFontName("nosuch.ttf"), "");
  EXPECT_EQ(t.GetFontType("No Such Face"), fttUnknown);
}

TEST(TTFContainer, KeysReferencesAndClear) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  TqdContainerOfTextGlyphs& c = TqdContainerOfTextGlyphs::Instance();
  c.Reference();
  TqdTextGlyph* bold = c.AddTextGlyphsByFont("Liberation Sans", fstBold);
  TqdTextGlyph* plain = c.AddTextGlyphsByFont("Liberation Sans", 0);
  EXPECT_NE(bold, plain);
  EXPECT_EQ(c.AddTextGlyphsByFont("Liberation Sans", fstBold), bold);
  const int i = c.IndexOf("Liberation Sans", fstBold);
  ASSERT_GE(i, 0);
  EXPECT_EQ(c.GetTextGlyph(i), bold);
  EXPECT_EQ(c.GetTextGlyph(c.GetCount()), nullptr);
  EXPECT_EQ(c.IndexOf("Liberation Sans", fstItalic | fstBold), -1);
  EXPECT_TRUE(bold->HasOwnGlyph(U'A'));
  EXPECT_FALSE(bold->HasOwnGlyph(0x10FFFD));
  c.Reference();
  EXPECT_EQ(c.Release(), 1);
  EXPECT_GT(c.GetCount(), 0);
  EXPECT_EQ(c.Release(), 0);
  EXPECT_EQ(c.GetCount(), 0);
}

TEST(TTFText, CodesAndUtf8) {
  EXPECT_EQ(TTFTextCodes(u"ab", u""), U"ab");
  EXPECT_EQ(TTFTextCodes(u"ab", u"c"), U"c");
  EXPECT_EQ(TTFTextCodes(u"", u"\U0001F600x"), U"\U0001F600x");
  EXPECT_EQ(TTFTextCodes(u"", std::u16string(1, char16_t(0xD800))), std::u32string(1, 0xD800));
  EXPECT_EQ(TTFUtf8ToUtf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00E9\u20AC\U0001F600");
  EXPECT_EQ(TTFUtf8ToUtf16("\xC3"), u"\uFFFD");
  EXPECT_EQ(TTFUtf8ToUtf16("\xE2\x82x"), u"\uFFFD\uFFFDx");
  EXPECT_EQ(TTFUtf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
}

} // namespace

namespace {
// Text is measured on more than one thread: each glyph is still made once, and
// resolving names while the font table is built does not deadlock.
TEST(TTFThreads, ConcurrentMeasuringAndResolving) {
  REQUIRE_FACE("Liberation Sans", "fonts-liberation2");
  ResetTTFRegistry();
  TqdTextGlyph set;
  set.SetFontParams("Liberation Sans", fstBold);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&set, t] {
      for (int i = 0; i < 200; ++i) {
        TFRect box;
        set.GetBoxW(u"", TTFUtf8ToUtf16("Thread " + std::to_string(t * 1000 + i)), box);
        if (i % 50 == 0) {
          ResolveTTFFace(t % 2 ? "Arial" : "cour.ttf");
          TqdTableFonts::Instance().Count();
        }
      }
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(set.OutlinedCount(), set.GlyphCount());
}
} // namespace
