// Lines, points, circles and arcs handed to the DXF reader as values must give the
// drawing their groups give: a load with them and one without are compared in their
// XML form, for a written file (the value rules: colours, linetype flags, weights,
// invisibility, thickness, extrusion, numbers that are not finite) and for corpus
// files of every release (skipped when the corpus is absent).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "Curves.h"
#include "readers/dwg/DWG.h"
#include "readers/dwg/DWGDirect.h"
#include "readers/dxf/DXFDirect.h"
#include "Properties.h"
#include "dwg_test_util.h"

namespace fs = std::filesystem;

namespace {

// Restores the default when a test ends.
struct TDirectSwitch {
  explicit TDirectSwitch(bool AOn) { SetDWGDirectEntities(AOn); }
  ~TDirectSwitch() { SetDWGDirectEntities(true); }
};

std::string XMLOf(const std::string& AFile, std::size_t* AEntities = nullptr, bool ADirect = true) {
  TDirectSwitch S(ADirect);
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  const TdwgLoadResult R = LoadDWGFromMemory(AFile.data(), AFile.size(), *C.get());
  EXPECT_TRUE(R.Ok) << R.Error;
  if (AEntities) {
    *AEntities = 0;
    for (int I = 0; I < C->LayoutsCount(); ++I)
      if (const TqdDXFLayout* L = C->GetLayout(I))
        if (const TqdDXFBlock* B = L->PaperSpaceBlockField()) *AEntities += static_cast<std::size_t>(B->Count());
  }
  std::string Out;
  StreamXML(Out, *C.get(), xmAddSubEntities | xmAddSectionEntities | xmlGetDefaultValue);
  return Out;
}

// The common data of an R2000 model-space entity, up to the type's own fields.
struct TCommon {
  int Color = 256;
  double LTScale = 1.0;
  int LTFlags = 0;  // 0 by layer, 1 by block, 2 continuous
  bool Invisible = false;
  int LineWeight = 29;  // by layer
};

void ThickExtr(TBitWriter& W, double AThick, const TFPoint* AExtr) {
  if (AThick == 0) {
    W.B(1);
  } else {
    W.B(0);
    W.BD(AThick);
  }
  if (!AExtr) {
    W.B(1);
    return;
  }
  W.B(0);
  W.BD(AExtr->X);
  W.BD(AExtr->Y);
  W.BD(AExtr->Z);
}

// One entity: the head, the type's fields, then the handle stream (extension
// dictionary and layer), with the data bit size where the handles start.
std::string Entity(int AType, std::uint64_t AHandle, const TCommon& C,
                   const std::function<void(TBitWriter&)>& AFields) {
  auto Write = [&](std::uint32_t ABits) {
    TBitWriter W;
    W.BS(AType);
    W.RL(ABits);
    W.H(0, AHandle);
    W.BS(0);
    W.B(0);
    W.BB(2);
    W.BL(0);
    W.B(1);
    W.BS(C.Color);
    W.BD(C.LTScale);
    W.BB(C.LTFlags);
    W.BB(0);
    W.BS(C.Invisible ? 1 : 0);
    W.RC(C.LineWeight);
    AFields(W);
    const std::uint32_t Data = static_cast<std::uint32_t>(W.BitCount());
    W.H(3, 0);  // extension dictionary
    W.H(5, 0);  // layer
    return std::make_pair(W.Str(), Data);
  };
  const std::uint32_t Bits = Write(0).second;
  std::string Body = Write(Bits).first;
  std::string S;
  S.push_back(static_cast<char>(Body.size() & 0xFF));  // MS size
  S.push_back(static_cast<char>((Body.size() >> 8) & 0x7F));
  S += Body;
  const std::uint16_t K = CRC8(cnstDWGCRCSeed, S.data(), S.size());
  S.push_back(static_cast<char>(K & 0xFF));
  S.push_back(static_cast<char>(K >> 8));
  return S;
}

std::string FileOf(const std::vector<std::string>& AObjects) {
  auto Build = [&](std::size_t AHead) {
    std::vector<std::pair<std::uint64_t, std::int32_t>> Map;
    std::size_t At = AHead;
    std::uint64_t H = 0x20;
    std::int32_t Last = 0;
    std::uint64_t LastH = 0;
    for (const std::string& O : AObjects) {
      Map.push_back({H - LastH, static_cast<std::int32_t>(At) - Last});
      Last = static_cast<std::int32_t>(At);
      LastH = H;
      At += O.size();
      ++H;
    }
    return DWGFile("AC1015", {{2, MapBlock(Map) + MapEnd()}});
  };
  std::size_t Head = 0;
  for (int Pass = 0; Pass < 3; ++Pass) Head = Build(Head).size();
  std::string File = Build(Head);
  for (const std::string& O : AObjects) File += O;
  return File;
}

}  // namespace

TEST(DWGDirectEntities, WrittenEntitiesAsTheirGroupsGiveThem) {
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  const TFPoint Tilted{0.6, 0, 0.8};
  auto Line = [](double X1, double Y1, double X2, double Y2, double Z, double Thick, const TFPoint* E) {
    return [=](TBitWriter& W) {
      W.B(Z == 0);
      W.RD(X1);
      W.BB(3);
      W.RD(X2);
      W.RD(Y1);
      W.BB(3);
      W.RD(Y2);
      if (Z != 0) {
        W.RD(Z);
        W.BB(0);  // the end's z as the start's
      }
      ThickExtr(W, Thick, E);
    };
  };
  auto Circle = [](double X, double Y, double R, const TFPoint* E, bool AArc, double A0, double A1) {
    return [=](TBitWriter& W) {
      W.BD(X);
      W.BD(Y);
      W.BD(0);
      W.BD(R);
      ThickExtr(W, AArc ? 0 : 2.5, E);
      if (AArc) {
        W.BD(A0);
        W.BD(A1);
      }
    };
  };
  auto Point = [](double X, double Y, double Z, double Angle) {
    return [=](TBitWriter& W) {
      W.BD(X);
      W.BD(Y);
      W.BD(Z);
      ThickExtr(W, 0, nullptr);
      W.BD(Angle);
    };
  };
  TCommon ByLayer, Red, Weighted, Hidden, Scaled;
  Red.Color = 1;
  Red.LTFlags = 1;  // by block
  Weighted.LineWeight = 5;  // 0.35 mm
  Weighted.LTFlags = 2;     // continuous
  Hidden.Invisible = true;
  Hidden.Color = 0;  // by block
  Scaled.LTScale = 2.5;
  Scaled.Color = 0x1FF;  // beyond the index range
  const std::string File = FileOf({
      Entity(19, 0x20, ByLayer, Line(1, 2, 3, 4, 0, 0, nullptr)),
      Entity(19, 0x21, Red, Line(-1, 5, 7, 8, 2.5, 1.5, &Tilted)),
      Entity(19, 0x22, Weighted, Line(NaN, 0, 1e300, -1e-300, 0, 0, nullptr)),
      Entity(18, 0x23, Hidden, Circle(10, 20, 5, nullptr, false, 0, 0)),
      Entity(18, 0x24, Scaled, Circle(0, 0, 0, &Tilted, false, 0, 0)),
      Entity(17, 0x25, ByLayer, Circle(1, 1, 2, nullptr, true, 0.5, 3.0)),
      Entity(17, 0x26, Red, Circle(1, 1, NaN, nullptr, true, NaN, 7.0)),
      Entity(27, 0x27, Weighted, Point(4, 5, 6, 1.0)),
      Entity(27, 0x28, Scaled, Point(NaN, 1, 2, 0)),
  });
  std::size_t Direct = 0, Groups = 0;
  const std::string A = XMLOf(File, &Direct, true);
  const std::string B = XMLOf(File, &Groups, false);
  EXPECT_EQ(Direct, 9u);
  EXPECT_EQ(Groups, 9u);
  EXPECT_EQ(A, B);
  // What the values say arrived: the arc's angles in degrees, the hidden circle.
  EXPECT_NE(A.find("StartAngle=\"28.6478897565412\""), std::string::npos) << A;
  EXPECT_NE(A.find("Radius=\"5\""), std::string::npos);
}

TEST(DWGDirectEntities, CorpusFilesAsTheirGroupsGiveThem) {
  const fs::path Dir = fs::path(DRAFTWELL_CORPUS_DIR) / "dwg";
  static const char* const cnstFiles[] = {
      "r13_example.dwg",   "r14_acadsharp_sample.dwg", "r2000_libopencad_circles_lines.dwg",
      "r2000_entities_2d.dwg", "r2000_entities_3d.dwg", "r2004_example.dwg",
      "r2007_text.dwg",    "r2010_gh209.dwg",          "r2013_example.dwg",
      "r2018_sample.dwg"};
  int Compared = 0;
  for (const char* N : cnstFiles) {
    const fs::path P = Dir / N;
    std::ifstream F(P, std::ios::binary);
    if (!F) continue;
    const std::string S((std::istreambuf_iterator<char>(F)), {});
    std::size_t Direct = 0, Groups = 0;
    const std::string A = XMLOf(S, &Direct, true);
    const std::string B = XMLOf(S, &Groups, false);
    EXPECT_EQ(Direct, Groups) << N;
    EXPECT_TRUE(A == B) << N << ": the XML of the two loads differs";
    ++Compared;
  }
  if (Compared == 0) GTEST_SKIP() << "no DWG corpus at " << Dir << ": comparison skipped";
}

// Each entity of the list is taken once, and not beyond its end.
TEST(DWGDirectEntities, ListGivesEachEntityOnce) {
  TdxfDirectList L;
  TdxfDirectEntity E;
  for (int I = 0; I < 2500; ++I) {
    E.Handle = static_cast<std::uint64_t>(I + 1);
    L.Add(E);
  }
  ASSERT_EQ(L.Size(), 2500u);
  TdxfDirectEntity Out;
  EXPECT_TRUE(L.Take(1500, Out));
  EXPECT_EQ(Out.Handle, 1501u);
  EXPECT_FALSE(L.Take(1500, Out));
  EXPECT_FALSE(L.Take(2500, Out));
  // A chunk taken whole is freed; the others stay readable.
  for (std::size_t I = 0; I < TdxfDirectList::cnstChunk; ++I) EXPECT_TRUE(L.Take(I, Out));
  EXPECT_FALSE(L.Take(3, Out));
  EXPECT_TRUE(L.Take(2499, Out));
  EXPECT_EQ(Out.Handle, 2500u);
}
