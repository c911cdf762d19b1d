// The plotter reader over small HP-GL/2, PJL and PCL streams written here.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Blocks.h"
#include "Curves.h"
#include "HPGL2.h"
#include "Inserts.h"
#include "Objects.h"
#include "TableItems.h"
#include "Texts.h"

namespace {

struct TLoaded {
  TqdConverterRef Conv{new TqdDXFConverter(TqdConverterParams{true, {}})};
  TqdLoadResult R;
  TqdDXFConverter& C() { return *Conv.get(); }
  TqdDXFBlock* Page(int I = 0) {
    TqdDXFLayout* L = C().GetLayout(I);
    return L ? L->PaperSpaceBlockField() : nullptr;
  }
  int Count(int I = 0) {
    TqdDXFBlock* B = Page(I);
    return B ? B->Count() : -1;
  }
  template <class T> std::vector<T*> All(int I = 0) {
    std::vector<T*> R;
    if (TqdDXFBlock* B = Page(I))
      for (int K = 0; K < B->Count(); ++K)
        if (auto* E = dynamic_cast<T*>(B->GetEntity(K))) R.push_back(E);
    return R;
  }
};

std::unique_ptr<TLoaded> Load(const std::string& S) {
  auto L = std::make_unique<TLoaded>();
  L->R = LoadHPGLDrawing(S.data(), S.size(), L->C(), {});
  return L;
}

// Runs the reader itself, for the plotter state the drawing does not show.
struct TReaderRun {
  TqdConverterRef Conv{new TqdDXFConverter(TqdConverterParams{true, {}})};
  std::string Data;
  std::unique_ptr<TqdHPGLReader> Reader;
  explicit TReaderRun(std::string S) : Data(std::move(S)) {
    TqdHPGLConverter::Prepare(*Conv.get());
    Reader = std::make_unique<TqdHPGLReader>(Conv.get(), reinterpret_cast<const std::uint8_t*>(Data.data()), Data.size());
    Reader->ReadFile();
  }
};

std::string ESC(const std::string& S) { return "\x1b" + S; }

bool Near(double A, double B, double Tol = 1e-6) { return std::fabs(A - B) <= Tol; }

std::uint32_t RGB(const TqdDXFEntity* E) { return E->ColorCAD().Color; }

}  // namespace

TEST(HPGLReader, SimpleLineOnPageOne) {
  auto L = Load("IN;SP1;PA0,0;PD400,0;PU;");
  ASSERT_TRUE(L->R.Ok) << L->R.Error;
  ASSERT_EQ(L->C().LayoutsCount(), 1);
  EXPECT_EQ(L->C().GetLayout(0)->Name(), "Page01");
  const auto P = L->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 1u);
  ASSERT_EQ(P[0]->Points().size(), 2u);
  EXPECT_TRUE(Near(P[0]->Points()[0].X, 0) && Near(P[0]->Points()[1].X, 10) && Near(P[0]->Points()[1].Y, 0));
  ASSERT_TRUE(P[0]->Layer());
  EXPECT_EQ(P[0]->Layer()->Name(), "Pen 1");
  EXPECT_DOUBLE_EQ(P[0]->LineWeight(), 0.35);
}

TEST(HPGLReader, CommandsWithoutSeparators) {
  auto L = Load("IN;PA10,10PD20,20PU;");
  const auto P = L->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 1u);
  EXPECT_TRUE(Near(P[0]->Points()[0].X, 0.25) && Near(P[0]->Points()[1].Y, 0.5));
}

TEST(HPGLReader, ShortAndDamagedSourcesGiveEmptyDrawings) {
  // Four bytes, two bytes that look like UTF-16, a lone letter: nothing drawn, no fault.
  for (const std::string S : {std::string("IN;P"), std::string("I\0", 2), std::string("P"), std::string("\x1b"),
                              std::string("IN;PD1,1,\0\xFF", 12), std::string("\x1F\x8B\x08\x00\x00")}) {
    auto L = Load(S);
    EXPECT_EQ(L->C().LayoutsCount(), 1) << S.size();
    EXPECT_LE(L->Count(), 1);
  }
}

TEST(HPGLReader, ScalingMapsUserUnits) {
  auto L = Load("IN;IP0,0,4000,4000;SC0,100,0,100;PU0,0;PD100,100;PU;");
  const auto P = L->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 1u);
  EXPECT_TRUE(Near(P[0]->Points()[1].X, 100) && Near(P[0]->Points()[1].Y, 100));
  // IP without parameters gives back the P1 and P2 of a reset: the same picture.
  for (const char* S : {"IN;SC0,100,0,100;PU0,0;PD100,100;PU;", "IN;IP0,0,10,10;IP;SC0,100,0,100;PU0,0;PD100,100;PU;"}) {
    auto R = Load(S);
    const auto Q = R->All<TqdFlatPoly>();
    ASSERT_EQ(Q.size(), 1u) << S;
    EXPECT_TRUE(Near(Q[0]->Points()[1].X, 8128 * 0.025) && Near(Q[0]->Points()[1].Y, 10160 * 0.025)) << S;
  }
}

TEST(HPGLReader, LineTypes) {
  struct {
    const char* Cmd;
    const char* Expected;  // "" solid
  } Rows[] = {{"LT2;", "LType_011"}, {"LT-8;", "LType_001"}, {"LT8,4;", "LType_017"}, {"LT;", ""}, {"LT9;", ""},
              {"LT99999999999;", ""}};
  for (const auto& Row : Rows) {
    auto L = Load(std::string("IN;SP1;") + Row.Cmd + "PD100,0;PU;");
    const auto P = L->All<TqdFlatPoly>();
    ASSERT_EQ(P.size(), 1u) << Row.Cmd;
    const TqdDXFLineType* LT = P[0]->LineType();
    const std::string Name = LT ? LT->Name() : "";
    if (*Row.Expected) EXPECT_EQ(Name, Row.Expected) << Row.Cmd;
    else EXPECT_TRUE(Name.empty() || Name == "BYLAYER" || Name == "CONTINUOUS") << Row.Cmd << " " << Name;
  }
  // The entry's pattern: dash 5, gap 5.
  TqdConverterRef C(new TqdDXFConverter(TqdConverterParams{true, {}}));
  TqdHPGLConverter::Prepare(*C.get());
  TqdDXFLineType* LT = C->LTypeByName("LType_011");
  ASSERT_TRUE(LT);
  ASSERT_EQ(LT->ElementCount(), 2);
  EXPECT_DOUBLE_EQ(LT->Element(0).Dash, 5);
  EXPECT_DOUBLE_EQ(LT->Element(1).Dash, -5);
  EXPECT_EQ(C->StyleByName("STANDARD")->FPrimaryFont, "cour.ttf");
}

TEST(HPGLReader, PenColours) {
  struct {
    const char* Cmd;
    int Pen;
    TqdActiveColor Active;
    std::uint32_t Color;
  } Rows[] = {
      {"PC2;", 2, acRGBColor, 0x0000FF},
      {"PC2,0,255,0;PC2;", 2, acRGBColor, 0x0000FF},
      {"PC3,0,0,0;", 3, acIndexColor, 7},           // black is the default colour
      {"PC2,300,-5,128;", 2, acRGBColor, 0x8000FF},  // channels clamped
      {"PC-1,10,20,30;", 1, acIndexColor, 7},        // a negative pen is ignored
      {"PC1e30,1,2,3;", 1, acIndexColor, 7},
  };
  for (const auto& Row : Rows) {
    auto L = Load(std::string("IN;") + Row.Cmd + "SP" + std::to_string(Row.Pen) + ";PD100,0;PU;");
    const auto P = L->All<TqdFlatPoly>();
    ASSERT_EQ(P.size(), 1u) << Row.Cmd;
    EXPECT_EQ(P[0]->ColorCAD().Active, Row.Active) << Row.Cmd;
    EXPECT_EQ(RGB(P[0]), Row.Color) << Row.Cmd;
  }
}

TEST(HPGLReader, FillShading) {
  struct {
    const char* Pen;
    std::uint32_t Color;
  } Rows[] = {{"SP2;", 0xB2B2FF},   // red moved 70 % of the way to white
              {"SP1;", 0xB2B2B2},   // the default colour shades as black
              // A raster fill pattern with 16 of 64 pixels inked: a 25 % tint.
              {"SP1;RF3,8,8,1,1,1,1,1,1,1,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,1,1,1,1,1,1,1;FT11,3;",
               0xBFBFBF}};
  for (const auto& Row : Rows) {
    const bool Pattern = std::string(Row.Pen).find("FT11") != std::string::npos;
    auto L = Load(std::string("IN;") + Row.Pen + (Pattern ? "" : "FT10,30;") + "RA400,400;");
    const auto H = L->All<TqdFlatHatch>();
    ASSERT_EQ(H.size(), 1u) << Row.Pen;
    EXPECT_EQ(H[0]->ColorCAD().Active, acRGBColor);
    EXPECT_EQ(RGB(H[0]), Row.Color) << Row.Pen;
    ASSERT_EQ(H[0]->LoopCount(), 1);
    // Four corners, the loop closed by its first point.
    ASSERT_EQ(H[0]->Loop(0).size(), 5u);
    EXPECT_EQ(H[0]->Loop(0).front(), H[0]->Loop(0).back());
  }
  // Full shading keeps the default colour.
  auto L = Load("IN;SP1;FT;RA400,400;");
  const auto H = L->All<TqdFlatHatch>();
  ASSERT_EQ(H.size(), 1u);
  EXPECT_EQ(H[0]->ColorCAD().Active, acIndexColor);
}

TEST(HPGLReader, PolygonModeFill) {
  auto L = Load("IN;PA0,0;PM0;PD400,0,400,400,0,400,0,0;PM1;PU100,100;PD200,100,200,200,100,200,100,100;PM2;FP;EP;");
  const auto H = L->All<TqdFlatHatch>();
  ASSERT_EQ(H.size(), 1u);
  EXPECT_EQ(H[0]->LoopCount(), 2);
  // Each loop closed once: the closing point the data gives is not doubled.
  EXPECT_EQ(H[0]->Loop(0).size(), 5u);
  for (int I = 0; I < 2; ++I) {
    const auto& Q = H[0]->Loop(I);
    EXPECT_EQ(Q.front(), Q.back()) << I;
    EXPECT_NE(Q[Q.size() - 2], Q.back()) << I;
  }
  // A loop the data leaves open is closed; a wedge too.
  auto O = Load("IN;PA0,0;PM0;PD400,0,400,400;PM2;FP;WG100,0,90;");
  const auto OH = O->All<TqdFlatHatch>();
  ASSERT_EQ(OH.size(), 2u);
  for (const TqdFlatHatch* X : OH) {
    ASSERT_GE(X->Loop(0).size(), 4u);
    EXPECT_EQ(X->Loop(0).front(), X->Loop(0).back());
    EXPECT_NE(X->Loop(0)[X->Loop(0).size() - 2], X->Loop(0).back());
  }
  // EP: the outlines, without the pen-up move between them.
  const auto P = L->All<TqdFlatPoly>();
  EXPECT_EQ(P.size(), 2u);
  // Fills go beneath the line work.
  EXPECT_EQ(L->Page()->GetEntity(0), H[0]);
}

TEST(HPGLReader, Labels) {
  struct {
    std::string Label;
    std::size_t Texts;
  } Rows[] = {{"LBHello\r\n\x03", 1}, {"LB\x01\x02\r\n\x03", 0}, {"LBA\r\nB\x03", 2}, {"DT#;LBX#", 1},
              {"LB   \x03", 0}};
  for (const auto& Row : Rows) {
    auto L = Load("IN;SP1;PA100,100;" + Row.Label + "PU;");
    EXPECT_EQ(L->All<TqdDXFText>().size(), Row.Texts) << Row.Label;
  }
  auto L = Load("IN;SP1;PA0,0;SI0.5,1;DI0,1;SL1;LO5;LBHi\x03");
  const auto T = L->All<TqdDXFText>();
  ASSERT_EQ(T.size(), 1u);
  EXPECT_EQ(T[0]->Text(), "Hi");
  EXPECT_NEAR(T[0]->Height(), 10.5, 1e-9);
  EXPECT_NEAR(T[0]->Scale(), 0.8, 1e-9);
  EXPECT_NEAR(T[0]->Rotation(), 90, 1e-4);
  EXPECT_NEAR(T[0]->ObliqueAngle(), 45, 1e-9);
  EXPECT_EQ(T[0]->HAlign(), 1);
  // A relative size over a zero-height window keeps a usable width factor.
  auto Z = Load("IN;IP0,0,0,0;SR1,2;PA0,0;LBW\x03");
  for (const TqdDXFText* X : Z->All<TqdDXFText>()) EXPECT_TRUE(std::isfinite(X->Scale()) && X->Scale() > 0);
}

TEST(HPGLReader, Pages) {
  // A form feed after an empty page starts no page; PG ends a non-empty one.
  auto L = Load("IN;\f\fPD100,0;PU;\f\fPD0,100;PU;PG;PG;PD1,1;PU;PG;");
  ASSERT_EQ(L->C().LayoutsCount(), 3);
  EXPECT_EQ(L->C().GetLayout(0)->Name(), "Page01");
  EXPECT_EQ(L->C().GetLayout(1)->Name(), "Page02");
  EXPECT_EQ(L->C().GetLayout(2)->Name(), "Page03");
  for (int I = 0; I < 3; ++I) EXPECT_EQ(L->Count(I), 1) << I;
}

TEST(HPGLReader, PJL) {
  TReaderRun A("@PJL SET PAPERWIDTH=5100\r\n@PJL SET RESOLUTION=0\r\nPA0,0;");
  EXPECT_NEAR(A.Reader->FPage.X, 5100 * 1.411, 1e-9);
  EXPECT_EQ(A.Reader->FRTLRes, 300);  // zero keeps the previous resolution
  TReaderRun B(ESC("%-12345X") + "@PJL ENTER LANGUAGE=PCL\r\n@PJL SET RESOLUTION=600\r\n");
  EXPECT_TRUE(B.Reader->FIsPCL);
  EXPECT_EQ(B.Reader->FRTLRes, 600);
}

TEST(HPGLReader, Rotation) {
  struct {
    const char* Ro;
    double X, Y;  // where (400, 0) goes
  } Rows[] = {{"RO90;", 0, 10}, {"RO450;", 0, 10}, {"RO100;", 0, 10}, {"RO-90;", 0, -10},
              {"RO180;", -10, 0}, {"RO1e30;", 10, 0}, {"RO;", 10, 0}};
  for (const auto& Row : Rows) {
    auto L = Load(std::string("IN;") + Row.Ro + "PA0,0;PD400,0;PU;");
    const auto P = L->All<TqdFlatPoly>();
    ASSERT_EQ(P.size(), 1u) << Row.Ro;
    EXPECT_NEAR(P[0]->Points()[1].X, Row.X, 1e-9) << Row.Ro;
    EXPECT_NEAR(P[0]->Points()[1].Y, Row.Y, 1e-9) << Row.Ro;
  }
}

TEST(HPGLReader, BadNumbersAndWidths) {
  // A digit run too long for a double is a bad number: the command is dropped.
  auto L = Load("IN;PA0,0;PD" + std::string(400, '9') + ",0;PD40,0;PU;");
  for (const TqdFlatPoly* P : L->All<TqdFlatPoly>())
    for (const TFPoint& Q : P->Points()) EXPECT_TRUE(std::isfinite(Q.X) && std::fabs(Q.X) < 1e6);
  // Negative widths and radii.
  auto W = Load("IN;PW-1;PD100,0;PU;CI-100;");
  const auto P = W->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 1u);
  EXPECT_EQ(P[0]->LineWeight(), 0);
  const auto C = W->All<TqdDXFCircle>();
  ASSERT_EQ(C.size(), 1u);
  EXPECT_DOUBLE_EQ(C[0]->Radius(), 2.5);
}

TEST(HPGLReader, EncodedPolylines) {
  // "=" absolute, "<" pen up; values in base 64: 40 -> 80 -> "?" + ... written by hand:
  // (0, 0) up, then (40, 0) down: 40 -> 80 = 63+17 terminator 191+1 ... use a simple
  // encoder here.
  auto Enc = [](long long V) {
    std::uint64_t U = V < 0 ? (static_cast<std::uint64_t>(-V) << 1) | 1 : static_cast<std::uint64_t>(V) << 1;
    std::string S;
    while (U >= 64) {
      S.push_back(static_cast<char>(63 + (U & 63)));
      U >>= 6;
    }
    S.push_back(static_cast<char>(191 + U));
    return S;
  };
  auto L = Load("IN;SP1;PE<=" + Enc(0) + Enc(0) + Enc(400) + Enc(0) + Enc(0) + Enc(400) + ";");
  const auto P = L->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 1u);
  ASSERT_EQ(P[0]->Points().size(), 3u);
  EXPECT_NEAR(P[0]->Points()[2].X, 10, 1e-9);
  EXPECT_NEAR(P[0]->Points()[2].Y, 10, 1e-9);
  // A digit run beyond 32 bits ends the PE; what came before stays.
  auto B = Load("IN;SP1;PE" + Enc(400) + Enc(0) + std::string(40, '?') + "\xC0;PD0,0;");
  const auto Q = B->All<TqdFlatPoly>();
  ASSERT_GE(Q.size(), 1u);
  EXPECT_NEAR(Q[0]->Points()[1].X, 10, 1e-9);
  // The cut is a warning the user sees; clean data gives none.
  auto HasPEWarning = [](const TLoaded& X) {
    for (const std::string& W : X.R.Warnings)
      if (W.find("bad encoded polyline (PE) data") != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(HasPEWarning(*B));
  EXPECT_FALSE(HasPEWarning(*L));
  // Data ending inside a value is cut short too.
  auto T = Load("IN;SP1;PE" + Enc(400) + Enc(0) + "??");
  EXPECT_TRUE(HasPEWarning(*T));
  // Pen selection inside the data.
  auto S = Load("IN;PE:" + Enc(3) + Enc(400) + Enc(0) + ";");
  const auto R = S->All<TqdFlatPoly>();
  ASSERT_EQ(R.size(), 1u);
  EXPECT_EQ(R[0]->Layer()->Name(), "Pen 3");
}

TEST(HPGLReader, ArcsAndCircles) {
  auto L = Load("IN;PA400,0;PD;AA0,0,90;PU;PA0,0;CI40;");
  const auto A = L->All<TqdDXFArc>();
  ASSERT_EQ(A.size(), 1u);
  EXPECT_NEAR(A[0]->Radius(), 10, 1e-9);
  EXPECT_NEAR(A[0]->StartAngle(), 0, 1e-9);
  EXPECT_NEAR(A[0]->EndAngle(), 90, 1e-9);
  EXPECT_EQ(L->All<TqdDXFCircle>().size(), 2u);  // the arc is a circle too
  // Unequal scales draw ellipses as points.
  auto E = Load("IN;IP0,0,4000,8000;SC0,100,0,100;PA50,50;CI10;");
  EXPECT_EQ(E->All<TqdDXFCircle>().size(), 0u);
  EXPECT_EQ(E->All<TqdFlatPoly>().size(), 1u);
  // Three-point arcs; collinear points give a line.
  auto T = Load("IN;PA0,0;PD;AT400,400,800,0;PU;PA0,0;PD;AT400,0,800,0;PU;");
  EXPECT_EQ(T->All<TqdDXFArc>().size(), 1u);
  EXPECT_EQ(T->All<TqdFlatPoly>().size(), 1u);
}

TEST(HPGLReader, InputWindows) {
  // Everything inside the window: no clip insert stays.
  auto In = Load("IN;IW0,0,4000,4000;PA100,100;PD200,200;PU;IW;");
  EXPECT_EQ(In->All<TqdCADClipInsert>().size(), 0u);
  EXPECT_EQ(In->All<TqdFlatPoly>().size(), 1u);
  // A line that leaves the window is clipped by an insert of its block.
  auto Out = Load("IN;RA10,10;IW0,0,400,400;PA100,100;PD2000,2000;PU;");
  const auto I = Out->All<TqdCADClipInsert>();
  ASSERT_EQ(I.size(), 1u);
  ASSERT_TRUE(I[0]->Block());
  EXPECT_EQ(I[0]->Block()->Count(), 1);
  EXPECT_NEAR(I[0]->GetClipBox().Right, 10, 1e-9);
  EXPECT_EQ(Out->Count(), 2);
}

TEST(HPGLReader, GzipAndZipWrapped) {
  const std::string Plain = "IN;SP1;PA0,0;PD400,0;PU;";
  // gzip
  std::vector<std::uint8_t> Gz(256);
  z_stream Z{};
  ASSERT_EQ(deflateInit2(&Z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Plain.data()));
  Z.avail_in = static_cast<uInt>(Plain.size());
  Z.next_out = Gz.data();
  Z.avail_out = static_cast<uInt>(Gz.size());
  ASSERT_EQ(deflate(&Z, Z_FINISH), Z_STREAM_END);
  Gz.resize(Z.total_out);
  deflateEnd(&Z);
  auto G = Load(std::string(Gz.begin(), Gz.end()));
  EXPECT_EQ(G->All<TqdFlatPoly>().size(), 1u);
  // zip: a directory entry first, then the plot file.
  char Path[] = "/tmp/hpgl_zip_XXXXXX";
  const int Fd = mkstemp(Path);
  ASSERT_GE(Fd, 0);
  close(Fd);
  int Err = 0;
  zip_t* A = zip_open(Path, ZIP_TRUNCATE | ZIP_CREATE, &Err);
  ASSERT_TRUE(A);
  zip_dir_add(A, "plots/", 0);
  zip_source_t* S = zip_source_buffer(A, Plain.data(), Plain.size(), 0);
  ASSERT_GE(zip_file_add(A, "plots/a.plt", S, 0), 0);
  ASSERT_EQ(zip_close(A), 0);
  std::ifstream F(Path, std::ios::binary);
  const std::string Zip((std::istreambuf_iterator<char>(F)), std::istreambuf_iterator<char>());
  std::remove(Path);
  auto Zp = Load(Zip);
  EXPECT_EQ(Zp->All<TqdFlatPoly>().size(), 1u);
  // A damaged archive is read as plain data (and draws nothing).
  auto D = Load("PK\x03\x04garbage garbage");
  EXPECT_TRUE(D->R.Ok);
}

TEST(HPGLReader, UTF16Source) {
  const std::string Plain = "IN;PA0,0;PD400,0;PU;";
  std::string W;
  for (char C : Plain) {
    W.push_back(C);
    W.push_back('\0');
  }
  auto L = Load(W);
  EXPECT_EQ(L->All<TqdFlatPoly>().size(), 1u);
}

// ---- PCL raster

namespace {
std::string Row(const std::string& Bytes, char Letter = 'W') {
  return ESC("*b" + std::to_string(Bytes.size()) + std::string(1, Letter)) + Bytes;
}
const TqdPCLImage* OneImage(TLoaded& L) {
  const auto I = L.All<TqdPCLImage>();
  return I.size() == 1 ? I[0] : nullptr;
}
}  // namespace

TEST(PCLRaster, Methods) {
  struct {
    const char* Name;
    std::string Data;
    int W, H;
  } Rows[] = {
      {"unencoded", ESC("*b0M") + Row("\xF0\x0F") + Row("\xFF\x00", 'W'), 16, 2},
      {"run-length", ESC("*b1M") + Row(std::string("\x02\xFF\x00\x00", 4)), 32, 1},
      {"packbits", ESC("*b2M") + Row(std::string("\xFE\xAA\x01\x01\x02", 5)), 40, 1},
      {"delta row", ESC("*b3M") + Row("\x20\xFF\xFF") + Row(std::string("\x01\x00", 2)), 16, 2},
      {"replacement delta", ESC("*b9M") + Row(std::string("\x01\xFF\xEE", 3)) + Row(std::string("\x80\x11", 2)), 16, 2},
      {"block", ESC("*b4M") + Row(std::string("\x00\x00\x00\x10\xAA\xBB\xCC\xDD", 8)), 16, 2},
      {"adaptive", ESC("*b5M") + Row(std::string("\x00\x00\x01\xFF\x05\x00\x02\x04\x00\x01", 10)), 8, 4},
  };
  for (const auto& R : Rows) {
    auto L = Load(ESC("E") + ESC("*t100R") + ESC("*r1A") + R.Data + ESC("*rB"));
    const TqdPCLImage* I = OneImage(*L);
    ASSERT_TRUE(I) << R.Name;
    EXPECT_EQ(I->FWidth, R.W) << R.Name;
    EXPECT_EQ(I->FHeight, R.H) << R.Name;
    EXPECT_NEAR(I->FSize.X, R.W * 25.4 / 100, 1e-9) << R.Name;
  }
  // Method 10: 24-bit pixels.
  auto L = Load(ESC("*t100R") + ESC("*r1A") + ESC("*b10M") + Row(std::string("\x01\x7F\xFF\xFF\x00\x00\x00", 7)) +
                ESC("*rB"));
  const TqdPCLImage* I = OneImage(*L);
  ASSERT_TRUE(I);
  EXPECT_EQ(I->FBitsPerPixel, 24);
  EXPECT_EQ(I->FWidth, 2);
}

TEST(PCLRaster, HostileCounts) {
  struct {
    const char* Name;
    std::string Data;
  } Rows[] = {
      {"row count beyond the data", ESC("*r1A") + ESC("*b999999W") + "\xFF\xFF"},
      {"huge raster size", ESC("*r999999s999999T") + ESC("*r1A") + Row("\xFF") + ESC("*rB")},
      {"many empty rows", ESC("*r8s1000000000T") + ESC("*r1A") + ESC("*b1000000000Y") + ESC("*rB")},
      {"method 4 bit count", ESC("*r1A") + ESC("*b4M") + Row(std::string("\xFF\xFF\xFF\xFF\x00", 5)) + ESC("*rB")},
      {"method 5 counts", ESC("*r1A") + ESC("*b5M") + Row(std::string("\x05\xFF\xFF\x04\xFF\xFF", 6)) + ESC("*rB")},
      {"font and configuration skips", ESC("(s999999W") + ESC("*g999999W") + ESC("*v999999W")},
      {"palette index and bits", ESC("*v1a2b3c300I") + ESC("*r7U") + ESC("*r-1000U")},
      {"palette stack", ESC("*p1P") + ESC("*p1P") + std::string(40, ' ') + ESC("*p0P")},
      {"zero resolutions and units", ESC("*t0R") + ESC("&u0D") + ESC("*r1A") + Row("\xFF") + ESC("*rB")},
  };
  for (const auto& R : Rows) {
    auto L = Load(ESC("E") + R.Data + "IN;PD1,1;");
    EXPECT_TRUE(L->R.Ok) << R.Name;
    for (const TqdPCLImage* I : L->All<TqdPCLImage>()) {
      EXPECT_LE(static_cast<double>(I->FBits.size()), static_cast<double>(cnstPCLPixelBudget)) << R.Name;
      EXPECT_TRUE(std::isfinite(I->FSize.X) && std::isfinite(I->FSize.Y)) << R.Name;
    }
  }
  // Many palette pushes keep at most the cap.
  std::string Push;
  for (int K = 0; K < 100; ++K) Push += ESC("*p0P");
  EXPECT_TRUE(Load(Push + "IN;")->R.Ok);
}

TEST(PCLRaster, OverflowEndsTheLoadButKeepsWhatCameBefore) {
  // A delta row that writes beyond the row buffer.
  const std::string Delta = std::string("\x1F\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 19);
  std::string Far;
  for (int K = 0; K < 1000; ++K) Far += "\x1F\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF";
  Far += "\x00\x01";
  auto L = Load("IN;PA0,0;PD400,0;PU;" + ESC("*r1A") + ESC("*b3M") + Row(Far) + ESC("*rB"));
  EXPECT_NE(L->R.Error.find("Overflow range"), std::string::npos) << L->R.Error;
  EXPECT_EQ(L->All<TqdFlatPoly>().size(), 1u);
  (void)Delta;
}

#include "Properties.h"

// A plot drawing's own entities have XML elements that name them back.
TEST(HPGLXML, the_reader_enters_its_classes_in_the_xml_class_table) {
  RegisterHPGLReader();
  for (const char* N : {"vnxFlatPoly", "vnxFlatHatch", "vnxPCLImage"}) {
    const TqdEntityClass K = XMLClassByName(N);
    ASSERT_NE(K, nullptr) << N;
    EXPECT_EQ(GetXMLName(K()->ClassName()), N);
  }
}

TEST(HPGLReader, StrokesOfOnePenShareOneEntity) {
  // Three pen-down runs of pen 1: one entity holding three separate strokes.
  auto L = Load("IN;SP1;PA0,0;PD400,0;PU0,400;PD400,400;PU800,0;PD800,400,1200,400;PU;");
  ASSERT_TRUE(L->R.Ok) << L->R.Error;
  const auto P = L->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 1u);
  EXPECT_EQ(P[0]->Counts(), (std::vector<int>{2, 2, 3}));
  ASSERT_EQ(P[0]->Points().size(), 7u);
  ASSERT_NE(P[0]->PathCounts(), nullptr);  // drawn stroke by stroke, never joined
  EXPECT_TRUE(Near(P[0]->Points()[2].Y, 10) && Near(P[0]->Points()[6].X, 30));
  L->C().Loads(P[0]);
  EXPECT_TRUE(Near(P[0]->Box().Right, 30) && Near(P[0]->Box().Top, 10));
  // One stroke: an ordinary single path.
  auto One = Load("IN;SP1;PA0,0;PD400,0;PU;");
  ASSERT_EQ(One->All<TqdFlatPoly>().size(), 1u);
  EXPECT_EQ(One->All<TqdFlatPoly>()[0]->PathCounts(), nullptr);
}

TEST(HPGLReader, MergedStrokesSplitWhereThePenChanges) {
  // Another pen, another width, another colour of the same pen, a dashed linetype
  // and an entity in between each start a new entity.
  const char* Cases[] = {
      "IN;SP1;PA0,0;PD400,0;PU;SP2;PA0,400;PD400,400;PU;",
      "IN;SP1;PA0,0;PD400,0;PU;PW0.4;PA0,400;PD400,400;PU;",
      "IN;SP1;PA0,0;PD400,0;PU;PC1,255,0,0;PA0,400;PD400,400;PU;",
      "IN;SP1;PA0,0;PD400,0;PU;CI100;PA0,400;PD400,400;PU;",
  };
  for (const char* S : Cases) {
    auto L = Load(S);
    ASSERT_TRUE(L->R.Ok) << S;
    const auto P = L->All<TqdFlatPoly>();
    ASSERT_EQ(P.size(), 2u) << S;
    EXPECT_EQ(P[0]->Points().size(), 2u) << S;
    EXPECT_EQ(P[1]->Points().size(), 2u) << S;
  }
  // Dashed strokes stay one entity each (the pattern restarts per stroke).
  auto D = Load("IN;SP1;LT2;PA0,0;PD400,0;PU0,400;PD400,400;PU0,800;PD400,800;PU;");
  EXPECT_EQ(D->All<TqdFlatPoly>().size(), 3u);
  // Pages do not share an entity.
  auto G = Load("IN;SP1;PA0,0;PD400,0;PU;PG;PA0,400;PD400,400;PU;");
  ASSERT_EQ(G->C().LayoutsCount(), 2);
  EXPECT_EQ(G->All<TqdFlatPoly>(0).size(), 1u);
  EXPECT_EQ(G->All<TqdFlatPoly>(1).size(), 1u);
}

TEST(HPGLReader, MergedStrokesInAnInputWindow) {
  // Strokes inside a clipped window merge in the window's block; the window's box
  // sees every stroke, so a stroke past the window keeps the clip.
  auto L = Load("IN;IW0,0,400,400;SP1;PA0,0;PD100,0;PU0,100;PD800,100;PU;IW;PA0,0;PD10,10;PU;");
  ASSERT_TRUE(L->R.Ok) << L->R.Error;
  const auto I = L->All<TqdCADClipInsert>();
  ASSERT_EQ(I.size(), 1u);
  const auto* B = I[0]->Block();
  ASSERT_NE(B, nullptr);
  ASSERT_EQ(B->Count(), 1);
  const auto* P = dynamic_cast<const TqdFlatPoly*>(B->GetEntity(0));
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(P->Counts(), (std::vector<int>{2, 2}));
  // The stroke after the window is on the page, in an entity of its own.
  EXPECT_EQ(L->All<TqdFlatPoly>().size(), 1u);
}

TEST(HPGLReader, Wedges) {
  // EW: the outline of a quarter pie around the pen (radius 10 mm), closed at the centre.
  auto E = Load("IN;SP1;PA400,400;EW400,0,90;");
  ASSERT_TRUE(E->R.Ok) << E->R.Error;
  const auto P = E->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 1u);
  const auto& Q = P[0]->Points();
  ASSERT_GE(Q.size(), 4u);
  EXPECT_TRUE(Near(Q.front().X, 10) && Near(Q.front().Y, 10));
  EXPECT_TRUE(Near(Q[1].X, 20) && Near(Q[1].Y, 10));
  EXPECT_TRUE(Near(Q[Q.size() - 2].X, 10) && Near(Q[Q.size() - 2].Y, 20));
  EXPECT_TRUE(Near(Q.back().X, 10) && Near(Q.back().Y, 10));
  // WG fills it; a negative radius turns it by 180 degrees; the pen stays.
  auto W = Load("IN;SP1;PA400,400;WG-400,0,90;PD400,0;");
  const auto H = W->All<TqdFlatHatch>();
  ASSERT_EQ(H.size(), 1u);
  ASSERT_EQ(H[0]->LoopCount(), 1);
  W->C().Loads(H[0]);
  EXPECT_NEAR(H[0]->Box().Left, 0, 1e-6);
  EXPECT_NEAR(H[0]->Box().Bottom, 0, 1e-6);
  const auto L = W->All<TqdFlatPoly>();
  ASSERT_EQ(L.size(), 1u);
  EXPECT_TRUE(Near(L[0]->Points()[0].X, 10) && Near(L[0]->Points()[0].Y, 10));
  // Too few parameters, a zero radius or a non-finite value draw nothing.
  for (const char* S : {"IN;PA400,400;EW400,0;", "IN;PA400,400;WG0,0,90;", "IN;PA400,400;EW1e400,0,90;"}) {
    auto N = Load(S);
    EXPECT_EQ(N->Count(), 0) << S;
  }
}

TEST(HPGLReader, IsotropicScaling) {
  // P1-P2 is 100 x 50 mm; the user window 0..10 x 0..10 gets 5 mm per unit on both
  // axes, centred in X by default (25 mm of the spare 50 mm on the left).
  auto C = Load("IN;IP0,0,4000,2000;SC0,10,0,10,1;PA10,10;PD0,0;PU;");
  ASSERT_TRUE(C->R.Ok) << C->R.Error;
  auto P = C->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 1u);
  EXPECT_TRUE(Near(P[0]->Points()[0].X, 75) && Near(P[0]->Points()[0].Y, 50)) << P[0]->Points()[0].X;
  EXPECT_TRUE(Near(P[0]->Points()[1].X, 25) && Near(P[0]->Points()[1].Y, 0));
  // Left 0 %: flush with P1. Type 0 stays anisotropic.
  auto L = Load("IN;IP0,0,4000,2000;SC0,10,0,10,1,0,0;PA10,10;PD0,0;PU;");
  EXPECT_TRUE(Near(L->All<TqdFlatPoly>()[0]->Points()[0].X, 50));
  auto A = Load("IN;IP0,0,4000,2000;SC0,10,0,10,0;PA10,10;PD0,0;PU;");
  EXPECT_TRUE(Near(A->All<TqdFlatPoly>()[0]->Points()[0].X, 100));
  // Circles keep their shape under isotropic scales.
  auto Ci = Load("IN;IP0,0,4000,2000;SC0,10,0,10,1;PA5,5;CI2;");
  ASSERT_EQ(Ci->All<TqdDXFCircle>().size(), 1u);
  EXPECT_NEAR(Ci->All<TqdDXFCircle>()[0]->Radius(), 10, 1e-6);
}

TEST(HPGLReader, BroadPensAreWideOnPaper) {
  // 2 mm: a wide polyline for the stroke, a wide closed stroke for the circle.
  auto L = Load("IN;PW2;PA0,0;PD400,0,400,400;PU;PA0,0;CI200;");
  EXPECT_TRUE(L->All<TqdFlatPoly>().empty());
  EXPECT_TRUE(L->All<TqdDXFCircle>().empty());
  std::vector<TqdDXFLWPolyline*> Wide;
  for (TqdDXFLWPolyline* P : L->All<TqdDXFLWPolyline>())
    if (!dynamic_cast<TqdFlatPoly*>(P)) Wide.push_back(P);
  ASSERT_EQ(Wide.size(), 2u);
  for (const TqdDXFLWPolyline* P : Wide) {
    EXPECT_DOUBLE_EQ(P->GlobalWidth(), 2);
    EXPECT_EQ(P->LineWeight(), 2);
  }
  // The stroke keeps its three points; the circle's end meets its start.
  ASSERT_EQ(Wide[0]->Count(), 3);
  const auto& C = *Wide[1];
  ASSERT_GT(C.Count(), 30);
  const TFPoint A = C.GetEntity(0) ? static_cast<TqdDXFVertex*>(C.GetEntity(0))->Point() : TFPoint{};
  const TFPoint B = static_cast<TqdDXFVertex*>(C.GetEntity(C.Count() - 1))->Point();
  EXPECT_NEAR(A.X, B.X, 1e-6);
  EXPECT_NEAR(A.Y, B.Y, 1e-6);
  // Pens under 0.5 mm stay merged line weights.
  auto T = Load("IN;PW0.35;PA0,0;PD400,0;PU;PD0,400;PU;");
  const auto P = T->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 1u);
  EXPECT_EQ(P[0]->StrokeCount(), 2);
}

TEST(HPGLReader, LabelTerminators) {
  // DT; restores ETX (";" is a separator, never a terminator); DT c,0 prints c.
  struct {
    std::string In;
    std::vector<std::string> Texts;
  } Rows[] = {{"DT;LBAB\x03LBC;D\x03", {"AB", "C;D"}},
              {"DT#,0;LBA#DT#,1;LBB#", {"A#", "B"}},
              {"DT#;LBA#IN;LBB\x03", {"A", "B"}}};
  for (const auto& Row : Rows) {
    auto L = Load("IN;PA100,100;" + Row.In);
    const auto T = L->All<TqdDXFText>();
    ASSERT_EQ(T.size(), Row.Texts.size()) << Row.In;
    for (std::size_t I = 0; I < T.size(); ++I) EXPECT_EQ(T[I]->Text(), Row.Texts[I]) << Row.In;
  }
}

TEST(HPGLReader, BeginPlotInsideAPCLJobKeepsTheSheet) {
  // Each HP-GL/2 segment of one PCL page opens with BP: one page, both strokes.
  const std::string Seg = ESC("%0B") + "BPIN;PA0,0;PD400,0;PU;" + ESC("%0A");
  auto L = Load(ESC("E") + Seg + Seg);
  EXPECT_EQ(L->C().LayoutsCount(), 1);
  // A form feed still ends the sheet; plain HP-GL/2 BP still starts a page.
  auto F = Load(ESC("E") + Seg + "\f" + Seg);
  EXPECT_EQ(F->C().LayoutsCount(), 2);
  auto P = Load("BPIN;PA0,0;PD400,0;PU;BPIN;PD0,400;PU;");
  EXPECT_EQ(P->C().LayoutsCount(), 2);
}

TEST(HPGLReader, SymbolModeAndTextPath) {
  // SM*: a centred "*" on every point, pen up or down; SM; ends it.
  auto L = Load("IN;SP1;SM*;PA0,0;PD400,0,800,0;PU1200,0;SM;PA1600,0;");
  const auto T = L->All<TqdDXFText>();
  ASSERT_EQ(T.size(), 4u);
  for (const TqdDXFText* X : T) {
    EXPECT_EQ(X->Text(), "*");
    EXPECT_EQ(X->HAlign(), 1);
    EXPECT_EQ(X->VAlign(), 2);
  }
  EXPECT_NEAR(T[3]->Point1().X, 30, 1e-9);
  // DV1: characters stacked downwards, the same X; a line feed moves to the left.
  auto V = Load("IN;PA1000,3000;DV1;LBAB\r\nC\x03");
  const auto C = V->All<TqdDXFText>();
  ASSERT_EQ(C.size(), 3u);
  EXPECT_NEAR(C[0]->Point().X, C[1]->Point().X, 1e-9);
  EXPECT_LT(C[1]->Point().Y, C[0]->Point().Y);
  EXPECT_LT(C[2]->Point().X, C[0]->Point().X);
  // DV out of range is the normal path.
  auto N = Load("IN;PA0,0;DV7;LBAB\x03");
  EXPECT_EQ(N->All<TqdDXFText>().size(), 1u);
}

TEST(PCLRaster, PixelsReadTopDown) {
  // Two monochrome rows: set bits are black, clear ones white; row 0 is the first sent.
  auto L = Load(ESC("E") + ESC("*t100R") + ESC("*r1A") + ESC("*b0M") + Row("\xF0\x0F") + Row("\xFF\x00", 'W') + ESC("*rB"));
  const TqdPCLImage* I = OneImage(*L);
  ASSERT_TRUE(I);
  ASSERT_TRUE(I->HasPixels());
  EXPECT_EQ(I->PixelWidth(), 16);
  EXPECT_EQ(I->PixelHeight(), 2);
  EXPECT_EQ(I->PixelColor(0, 0), 0x000000u);
  EXPECT_EQ(I->PixelColor(4, 0), 0xFFFFFFu);
  EXPECT_EQ(I->PixelColor(15, 0), 0x000000u);
  EXPECT_EQ(I->PixelColor(7, 1), 0x000000u);
  EXPECT_EQ(I->PixelColor(8, 1), 0xFFFFFFu);
  // Outside the picture: white, never a read past the bits.
  EXPECT_EQ(I->PixelColor(-1, 0), 0xFFFFFFu);
  EXPECT_EQ(I->PixelColor(16, 1), 0xFFFFFFu);
  EXPECT_EQ(I->PixelColor(0, 2), 0xFFFFFFu);
}

TEST(HPGLReader, ExtraSpaceBetweenCharactersAndLines) {
  // Without ES a line of text is one entity; the next line is one line pitch down.
  auto P = Load("IN;PA0,0;LBAB\r\nC\x03");
  const auto T0 = P->All<TqdDXFText>();
  ASSERT_EQ(T0.size(), 2u);
  const double Pitch = T0[0]->Point().Y - T0[1]->Point().Y;
  ASSERT_GT(Pitch, 0);
  // ES1,-0.5: each character one cell apart from the next, lines at half the pitch.
  auto L = Load("IN;PA0,0;ES1,-0.5;LBAB\r\nC\x03");
  const auto T = L->All<TqdDXFText>();
  ASSERT_EQ(T.size(), 3u);
  EXPECT_EQ(T[0]->Text(), "A");
  EXPECT_EQ(T[1]->Text(), "B");
  const double Cell = T[1]->Point().X - T[0]->Point().X;
  EXPECT_NEAR(T[0]->Point().Y, T[1]->Point().Y, 1e-9);
  // The space between A and B is the width of a character more than without ES.
  auto Q = Load("IN;PA0,0;LBA\x03LBB\x03");
  const auto U = Q->All<TqdDXFText>();
  ASSERT_EQ(U.size(), 2u);
  EXPECT_NEAR(Cell, 2 * (U[1]->Point().X - U[0]->Point().X), 1e-9);
  EXPECT_NEAR(T[0]->Point().Y - T[2]->Point().Y, Pitch / 2, 1e-9);
  // ES; restores the normal spacing; hostile values are bounded (never a zero step).
  auto R = Load("IN;PA0,0;ES1;ES;LBAB\x03");
  EXPECT_EQ(R->All<TqdDXFText>().size(), 1u);
  auto H = Load("IN;PA0,0;ES-5,1e300;LBAB\r\nC\x03");
  const auto V = H->All<TqdDXFText>();
  ASSERT_EQ(V.size(), 3u);
  EXPECT_GT(V[1]->Point().X, V[0]->Point().X);
  EXPECT_TRUE(std::isfinite(V[2]->Point().Y));
}

TEST(HPGLReader, FillsApartShareOneEntity) {
  // Three squares of one pen, apart or touching: one entity, three loops.
  auto L = Load("IN;SP1;PA0,0;RA400,400;PA400,0;RA800,400;PA2000,2000;RA2400,2400;");
  auto H = L->All<TqdFlatHatch>();
  ASSERT_EQ(H.size(), 1u);
  EXPECT_EQ(H[0]->LoopCount(), 3);
  // Overlapping fills would cancel each other under the even-odd rule: kept apart.
  L = Load("IN;SP1;PA0,0;RA400,400;PA200,200;RA600,600;");
  EXPECT_EQ(L->All<TqdFlatHatch>().size(), 2u);
  // Another colour, shade or pen starts another entity; the order stays.
  L = Load("IN;SP1;PA0,0;RA400,400;SP2;PA1000,0;RA1400,400;SP1;PA2000,0;RA2400,400;");
  H = L->All<TqdFlatHatch>();
  ASSERT_EQ(H.size(), 3u);
  EXPECT_EQ(H[1]->Layer()->Name(), "Pen 2");
  // White (an RGB value) and the default colour (index 7, black on paper) are not one colour.
  L = Load("IN;SP1;PA0,0;RA400,400;PC1,255,255,255;PA1000,0;RA1400,400;");
  H = L->All<TqdFlatHatch>();
  ASSERT_EQ(H.size(), 2u);
  EXPECT_NE(H[0]->ColorCAD().Active, H[1]->ColorCAD().Active);
  // The same for strokes of one pen.
  L = Load("IN;SP1;PA0,0;PD400,0;PU;PC1,255,255,255;PA0,100;PD400,100;PU;");
  EXPECT_EQ(L->All<TqdFlatPoly>().size(), 2u);
}

TEST(HPGLReader, StrokesReturnToTheirPenEntityOnlyApartFromWhatCameBetween) {
  // Widths alternating on strokes far apart: two entities, not one per change.
  auto L = Load("IN;SP1;PW0.1;PA0,0;PD400,0;PU;PW0.3;PA0,4000;PD400,4000;PU;PW0.1;PA0,8000;PD400,8000;PU;"
                "PW0.3;PA0,12000;PD400,12000;PU;");
  auto P = L->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 2u);
  EXPECT_EQ(P[0]->StrokeCount(), 2);
  EXPECT_NEAR(P[0]->LineWeight(), 0.1, 1e-9);
  EXPECT_NEAR(P[0]->Points()[3].Y, 200, 1e-9);
  // A stroke crossing one drawn since in another width keeps its place above it.
  L = Load("IN;SP1;PW0.1;PA0,0;PD400,0;PU;PW0.3;PA200,-200;PD200,200;PU;PW0.1;PA0,100;PD400,100;PU;");
  P = L->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 3u);
  EXPECT_NEAR(P[2]->LineWeight(), 0.1, 1e-9);
  EXPECT_NEAR(P[2]->Points()[0].Y, 2.5, 1e-9);
  // After that, the newest entity of the width takes its strokes.
  L = Load("IN;SP1;PW0.1;PA0,0;PD400,0;PU;PW0.3;PA200,-200;PD200,200;PU;PW0.1;PA0,100;PD400,100;PU;PA0,8000;PD400,8000;PU;");
  P = L->All<TqdFlatPoly>();
  ASSERT_EQ(P.size(), 3u);
  EXPECT_EQ(P[2]->StrokeCount(), 2);
}

TEST(HPGLReader, PCLTextIsNoHPGLCommand) {
  // Text printed in PCL mode holds letter pairs that are HP-GL/2 mnemonics (IN
  // would reset the label terminator, PD draw): none of them is carried out.
  const std::string S = ESC("E") + ESC("%1B") + "IN;DT~,1;SP1;PA0,0;" + ESC("%1A") + "Underline INPD400,400 Pen" +
                        ESC("%1B") + "LBOutline~;PU;" + ESC("%1A");
  auto L = Load(S);
  const auto T = L->All<TqdDXFText>();
  ASSERT_EQ(T.size(), 1u);
  EXPECT_EQ(T[0]->Text(), "Outline");
  EXPECT_EQ(L->Count(), 1);
  bool Noted = false;
  for (const std::string& W : L->R.Warnings) Noted = Noted || W.find("PCL") != std::string::npos;
  EXPECT_TRUE(Noted) << "the PCL text is not drawn: a warning says so";
}

TEST(PCLRaster, SizeFollowsTheResolution) {
  // 100 x 50 pixels at 300 dpi: a third by a sixth of an inch.
  std::string Rows;
  for (int Y = 0; Y < 50; ++Y) Rows += Row(std::string(13, '\xAA'));
  auto L = Load(ESC("E") + ESC("*t300R") + ESC("*r100S") + ESC("*r50T") + ESC("*r1A") + ESC("*b0M") + Rows + ESC("*rB"));
  const TqdPCLImage* I = OneImage(*L);
  ASSERT_TRUE(I);
  EXPECT_EQ(I->FWidth, 100);
  EXPECT_EQ(I->FHeight, 50);
  EXPECT_NEAR(I->FSize.X / 25.4, 1.0 / 3, 1e-3);
  EXPECT_NEAR(I->FSize.Y / 25.4, 1.0 / 6, 1e-3);
}
