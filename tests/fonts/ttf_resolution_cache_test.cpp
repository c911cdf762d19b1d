// Face resolutions kept between processes: what one process stores, the next
// finds; a changed installation, a removed face file or a damaged cache file
// sends the question back to the font registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "TTFResolutionCache.h"

namespace {

namespace fs = std::filesystem;

struct TTempFolder {
  fs::path Path;
  TTempFolder() {
    Path = fs::temp_directory_path() / ("draftwell-ttfcache-" + std::to_string(::getpid()) + "-" +
                                        std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::create_directories(Path);
  }
  ~TTempFolder() {
    std::error_code Ec;
    fs::remove_all(Path, Ec);
  }
};

TqdTTFResolution Face(const std::string& AFile) {
  TqdTTFResolution R;
  R.AskedName = "Arial";
  R.AskedStyles = 1;
  R.Kind = trkSubstitute;
  R.FaceName = "Some Sans Bold";
  R.FamilyName = "Some Sans";
  R.FileName = AFile;
  R.FaceIndex = 2;
  R.SynthesizeItalic = true;
  return R;
}

TEST(TTFResolutionCache, WhatOneProcessStoresTheNextFinds) {
  TTempFolder T;
  const std::string FaceFile = (T.Path / "face.ttf").string();
  std::ofstream(FaceFile) << "x";
  {
    TqdTTFResolutionCache A(T.Path.string(), "stamp 1");
    A.Store(Face(FaceFile), "Arial", 1);
    TqdTTFResolution None;
    None.AskedName = "Liberation Sans";
    A.Store(None, "fallback:U+24C5:Liberation Sans", 0);
  }
  TqdTTFResolutionCache B(T.Path.string(), "stamp 1");
  TqdTTFResolution R;
  ASSERT_TRUE(B.Find("Arial", 1, R));
  EXPECT_EQ(R.Kind, trkSubstitute);
  EXPECT_EQ(R.FaceName, "Some Sans Bold");
  EXPECT_EQ(R.FamilyName, "Some Sans");
  EXPECT_EQ(R.FileName, FaceFile);
  EXPECT_EQ(R.FaceIndex, 2);
  EXPECT_EQ(R.AskedStyles, 1u);
  EXPECT_FALSE(R.SynthesizeBold);
  EXPECT_TRUE(R.SynthesizeItalic);
  EXPECT_FALSE(B.Find("Arial", 0, R)) << "other styles are another question";
  ASSERT_TRUE(B.Find("fallback:U+24C5:Liberation Sans", 0, R));
  EXPECT_EQ(R.Kind, trkNone) << "that no face has a character is an answer too";

  // Another installation reads another file, and drops the old one when it writes.
  TqdTTFResolutionCache C(T.Path.string(), "stamp 2");
  EXPECT_NE(C.FileName(), B.FileName());
  EXPECT_FALSE(C.Find("Arial", 1, R));
  C.Store(Face(FaceFile), "Arial", 1);
  EXPECT_FALSE(fs::exists(B.FileName()));

  // A face file removed since: asked again.
  fs::remove(FaceFile);
  TqdTTFResolutionCache D(T.Path.string(), "stamp 2");
  EXPECT_FALSE(D.Find("Arial", 1, R));
}

TEST(TTFResolutionCache, DamagedOrOddContentIsIgnored) {
  TTempFolder T;
  const std::string FaceFile = (T.Path / "face.ttf").string();
  std::ofstream(FaceFile) << "x";
  TqdTTFResolutionCache A(T.Path.string(), "stamp");
  {
    std::ofstream Out(A.FileName(), std::ios::binary);
    Out << "garbage\n\t\t\t\n" << "Arial\t9\t1\t0\tF\tF\t" << FaceFile << "\t0\t0\t0\n"  // styles out of range
        << "Arial\t0\t7\t0\tF\tF\t" << FaceFile << "\t0\t0\t0\n"                           // no such kind
        << "Arial\t0\t1\t0\tF\tF\t" << FaceFile << "\t99999999999\t0\t0\n"                 // index too long
        << "Good\t0\t0\t0\tF\tFam\t" << FaceFile << "\t0\t0\t0";                           // no final newline
  }
  TqdTTFResolution R;
  EXPECT_FALSE(A.Find("Arial", 0, R));
  ASSERT_TRUE(A.Find("Good", 0, R));
  EXPECT_EQ(R.FamilyName, "Fam");
  // Names that would break a line are not kept.
  A.Store(Face(FaceFile), "Bad\nName", 0);
  TqdTTFResolutionCache B(T.Path.string(), "stamp");
  EXPECT_FALSE(B.Find("Bad\nName", 0, R));
  EXPECT_FALSE(B.Find("Name", 0, R));

  // A file grown past its bound is started again rather than read.
  {
    std::ofstream Out(A.FileName(), std::ios::binary | std::ios::app);
    Out << std::string(2 << 20, 'x');
  }
  TqdTTFResolutionCache C(T.Path.string(), "stamp");
  EXPECT_FALSE(C.Find("Good", 0, R));
  EXPECT_FALSE(fs::exists(C.FileName()));

  // No folder: nothing kept, nothing written.
  TqdTTFResolutionCache None("", "stamp");
  None.Store(Face(FaceFile), "Arial", 0);
  EXPECT_TRUE(None.FileName().empty());
  EXPECT_FALSE(None.Find("Arial", 0, R));
}

TEST(TTFResolutionCache, InstallingFontsChangesTheStamp) {
  TTempFolder T;
  const char* Old = std::getenv("XDG_DATA_HOME");
  const std::string Saved = Old ? Old : "";
  ::setenv("XDG_DATA_HOME", T.Path.string().c_str(), 1);
  fs::create_directories(T.Path / "fonts" / "truetype");
  const std::string Before = TqdTTFResolutionCache::InstallationStamp();
  EXPECT_EQ(Before, TqdTTFResolutionCache::InstallationStamp());
  fs::create_directories(T.Path / "fonts" / "truetype" / "newfamily");
  const std::string After = TqdTTFResolutionCache::InstallationStamp();
  if (Old)
    ::setenv("XDG_DATA_HOME", Saved.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
  EXPECT_NE(Before, After);
}

} // namespace
