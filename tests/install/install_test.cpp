// The installed Draftwell: the files `cmake --install` put into the prefix, checked
// with Debian's validators, and the installed programs run from / on drawings
// written here (the install itself is the ctest fixture install_into_prefix).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path cPrefix = DRAFTWELL_INSTALL_PREFIX;
const fs::path cSource = DRAFTWELL_SOURCE_DIR;

std::string Quote(const std::string& S) {
  std::string R = "'";
  for (char C : S) R += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return R + "'";
}

struct TRun {
  int Status = -1;
  std::string Out;  // stdout and stderr
};

// Runs a shell command from / with output captured.
TRun Shell(const std::string& Cmd) {
  TRun R;
  const std::string Full = "cd / && { " + Cmd + "; } 2>&1";
  FILE* P = ::popen(Full.c_str(), "r");
  if (!P) return R;
  char Buf[4096];
  for (std::size_t N; (N = std::fread(Buf, 1, sizeof Buf, P)) > 0;) R.Out.append(Buf, N);
  const int W = ::pclose(P);
  R.Status = WIFEXITED(W) ? WEXITSTATUS(W) : -1;
  return R;
}

bool HasTool(const std::string& Name) { return Shell("command -v " + Name + " >/dev/null").Status == 0; }

// A folder of the test's own, removed at the end.
struct TTempDir {
  fs::path Path;
  TTempDir() {
    Path = fs::temp_directory_path() /
           ("draftwell_install_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TTempDir() { fs::remove_all(Path); }
  fs::path Write(const std::string& Name, const std::string& Bytes) const {
    std::ofstream(Path / Name, std::ios::binary) << Bytes;
    return Path / Name;
  }
};

// An installed program, run from / with no user fonts and no SHX path of the
// environment: what it finds, it finds beside itself.
std::string Installed(const std::string& Program, const fs::path& Home) {
  return "env -u DRAFTWELL_SHX_PATH HOME=" + Quote(Home.string()) + " XDG_DATA_HOME=" +
         Quote((Home / "data").string()) + " QT_QPA_PLATFORM=offscreen LSAN_OPTIONS=suppressions=" +
         Quote(DRAFTWELL_LSAN_SUPPRESSIONS) + " " + Quote((cPrefix / "bin" / Program).string());
}

std::string ReadFile(const fs::path& P) {
  std::ifstream F(P, std::ios::binary);
  std::stringstream S;
  S << F.rdbuf();
  return S.str();
}

std::vector<std::string> Split(const std::string& S, char Sep) {
  std::vector<std::string> R;
  std::stringstream In(S);
  for (std::string Item; std::getline(In, Item, Sep);)
    if (!Item.empty()) R.push_back(Item);
  return R;
}

// The value of Key= in a desktop-entry style file.
std::string EntryValue(const fs::path& File, const std::string& Key) {
  std::istringstream In(ReadFile(File));
  for (std::string L; std::getline(In, L);)
    if (L.rfind(Key + "=", 0) == 0) return L.substr(Key.size() + 1);
  return {};
}

// A drawing whose text asks for an SHX font only our bundled fonts stand in for.
const char* const cTextDrawing =
    "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n0\nENDSEC\n"
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nSTYLE\n70\n1\n"
    "0\nSTYLE\n2\nStandard\n70\n0\n40\n0.0\n41\n1.0\n50\n0.0\n71\n0\n42\n2.5\n3\nromans.shx\n4\n\n"
    "0\nENDTAB\n0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n120\n21\n0\n31\n0\n"
    "0\nCIRCLE\n8\n0\n10\n100\n20\n30\n30\n0\n40\n15\n"
    "0\nTEXT\n8\n0\n10\n0\n20\n10\n30\n0\n40\n12\n1\nDraftwell 44\n"
    "0\nENDSEC\n0\nEOF\n";

// Pixels whose colour differs from white by more than 48 in some channel.
std::vector<bool> Ink(const QImage& I) {
  std::vector<bool> R(static_cast<std::size_t>(I.width()) * I.height());
  for (int Y = 0; Y < I.height(); ++Y)
    for (int X = 0; X < I.width(); ++X) {
      const QRgb P = I.pixel(X, Y);
      R[static_cast<std::size_t>(Y) * I.width() + X] =
          std::max({255 - qRed(P), 255 - qGreen(P), 255 - qBlue(P)}) > 48;
    }
  return R;
}

std::size_t Count(const std::vector<bool>& V) { return static_cast<std::size_t>(std::count(V.begin(), V.end(), true)); }

// The share of A's ink with B's ink within two pixels.
double Cover(const std::vector<bool>& A, const std::vector<bool>& B, int W, int H) {
  std::size_t Ink = 0, Near = 0;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      if (!A[static_cast<std::size_t>(Y) * W + X]) continue;
      ++Ink;
      bool Found = false;
      for (int DY = -2; DY <= 2 && !Found; ++DY)
        for (int DX = -2; DX <= 2 && !Found; ++DX) {
          const int XX = X + DX, YY = Y + DY;
          Found = XX >= 0 && YY >= 0 && XX < W && YY < H && B[static_cast<std::size_t>(YY) * W + XX];
        }
      Near += Found;
    }
  return Ink ? double(Near) / Ink : 0;
}

// How much two pictures of one size show the same: the harmonic mean of the two
// covers (1 the same ink, 0 nothing in common).
double Likeness(const QImage& A, const QImage& B) {
  if (A.size() != B.size() || A.isNull()) return 0;
  const std::vector<bool> IA = Ink(A), IB = Ink(B);
  const double CA = Cover(IA, IB, A.width(), A.height()), CB = Cover(IB, IA, A.width(), A.height());
  return CA + CB > 0 ? 2 * CA * CB / (CA + CB) : 0;
}

// ---------------------------------------------------------------- the files

TEST(InstalledFiles, every_file_in_its_place) {
  std::vector<std::string> Files = {
      "bin/draftwell",
      "bin/draftwell-cli",
      "share/draftwell/fonts/draftwell-simplex.shx",
      "share/draftwell/fonts/draftwell-duplex.shx",
      "share/draftwell/fonts/draftwell-complex.shx",
      "share/draftwell/fonts/NOTICE",
      "share/applications/draftwell.desktop",
      "share/mime/packages/draftwell.xml",
      "share/thumbnailers/draftwell.thumbnailer",
      "share/metainfo/org.draftwell.Draftwell.metainfo.xml",
      "share/icons/hicolor/scalable/apps/draftwell.svg",
      "share/man/man1/draftwell.1.gz",
      "share/man/man1/draftwell-cli.1.gz",
      "share/bash-completion/completions/draftwell-cli",
      "share/doc/draftwell/copyright",
      "share/doc/draftwell/changelog.gz",
  };
  for (const std::string& S : Split(DRAFTWELL_ICON_SIZES, ','))
    Files.push_back("share/icons/hicolor/" + S + "x" + S + "/apps/draftwell.png");
  for (const std::string& F : Files) EXPECT_TRUE(fs::is_regular_file(cPrefix / F)) << F;
  for (const char* P : {"bin/draftwell", "bin/draftwell-cli"}) {
    const fs::perms Perm = fs::status(cPrefix / P).permissions();
    EXPECT_NE(Perm & fs::perms::others_exec, fs::perms::none) << P;
  }
}

TEST(InstalledFiles, icons_have_their_size_and_something_drawn) {
  for (const std::string& S : Split(DRAFTWELL_ICON_SIZES, ',')) {
    const QImage I(QString::fromStdString((cPrefix / ("share/icons/hicolor/" + S + "x" + S + "/apps/draftwell.png")).string()));
    ASSERT_FALSE(I.isNull()) << S;
    EXPECT_EQ(I.width(), std::stoi(S));
    EXPECT_EQ(I.height(), std::stoi(S));
    EXPECT_TRUE(I.hasAlphaChannel()) << S;
    int Opaque = 0;
    for (int Y = 0; Y < I.height(); ++Y)
      for (int X = 0; X < I.width(); ++X) Opaque += qAlpha(I.pixel(X, Y)) > 200;
    // The rounded sheet fills most of the square; its corners stay clear.
    EXPECT_GT(Opaque, I.width() * I.height() / 2) << S;
    EXPECT_EQ(qAlpha(I.pixel(0, 0)), 0) << S;
  }
}

// ---------------------------------------------------------------- Debian's validators

struct TValidatorCase {
  const char* Name;
  const char* Tool;
  const char* Command;  // %s: the installed file
  const char* File;
};

class Validators : public testing::TestWithParam<TValidatorCase> {};

TEST_P(Validators, accept_the_installed_file) {
  const TValidatorCase& C = GetParam();
  if (!HasTool(C.Tool)) GTEST_SKIP() << C.Tool << " is not installed (scripts/install-deps.sh installs it)";
  std::string Cmd = C.Command;
  Cmd.replace(Cmd.find("%s"), 2, Quote((cPrefix / C.File).string()));
  const TRun R = Shell(Cmd);
  EXPECT_EQ(R.Status, 0) << Cmd << "\n" << R.Out;
  // Hints are advice; warnings and errors are faults.
  EXPECT_EQ(R.Out.find("error"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find("warning"), std::string::npos) << R.Out;
}

INSTANTIATE_TEST_SUITE_P(
    Installed, Validators,
    testing::Values(
        TValidatorCase{"desktop_entry", "desktop-file-validate", "desktop-file-validate %s",
                       "share/applications/draftwell.desktop"},
        TValidatorCase{"metainfo", "appstreamcli", "appstreamcli validate --no-net --no-color %s",
                       "share/metainfo/org.draftwell.Draftwell.metainfo.xml"},
        TValidatorCase{"mime_xml", "xmllint", "xmllint --noout %s", "share/mime/packages/draftwell.xml"},
        TValidatorCase{"icon_svg", "xmllint", "xmllint --noout %s", "share/icons/hicolor/scalable/apps/draftwell.svg"},
        TValidatorCase{"metainfo_xml", "xmllint", "xmllint --noout %s",
                       "share/metainfo/org.draftwell.Draftwell.metainfo.xml"},
        TValidatorCase{"completion_syntax", "bash", "bash -n %s", "share/bash-completion/completions/draftwell-cli"}),
    [](const testing::TestParamInfo<TValidatorCase>& I) { return std::string(I.param.Name); });

// The types the MIME file names: it adds to types the shared database defines and
// defines none of its own; the desktop entry and the thumbnailer name the same.
TEST(MimeTypes, only_extends_the_shared_database) {
  const fs::path Shared = "/usr/share/mime/packages/freedesktop.org.xml";
  if (!fs::exists(Shared)) GTEST_SKIP() << Shared << " is missing (package shared-mime-info)";
  const std::string Base = ReadFile(Shared), Ours = ReadFile(cPrefix / "share/mime/packages/draftwell.xml");
  const std::regex Type("<mime-type type=\"([^\"]+)\"");
  std::set<std::string> Extended;
  for (std::sregex_iterator It(Ours.begin(), Ours.end(), Type), End; It != End; ++It) {
    const std::string T = (*It)[1];
    Extended.insert(T);
    EXPECT_NE(Base.find("<mime-type type=\"" + T + "\""), std::string::npos) << T << " is not a shared type";
  }
  EXPECT_EQ(Ours.find("<comment"), std::string::npos) << "a comment would rename a shared type";
  const std::vector<std::string> Desktop = Split(EntryValue(cPrefix / "share/applications/draftwell.desktop", "MimeType"), ';');
  const std::vector<std::string> Thumb = Split(EntryValue(cPrefix / "share/thumbnailers/draftwell.thumbnailer", "MimeType"), ';');
  EXPECT_EQ(std::set<std::string>(Desktop.begin(), Desktop.end()), Extended);
  EXPECT_EQ(std::set<std::string>(Thumb.begin(), Thumb.end()), Extended);
}

// update-mime-database over the shared database and ours: what it compiles knows
// the extensions and the content rules we add.
TEST(MimeTypes, compiled_database_knows_our_globs_and_magic) {
  const fs::path Shared = "/usr/share/mime/packages/freedesktop.org.xml";
  if (!HasTool("update-mime-database") || !fs::exists(Shared))
    GTEST_SKIP() << "update-mime-database or " << Shared << " is missing (package shared-mime-info)";
  TTempDir T;
  fs::create_directories(T.Path / "mime/packages");
  fs::copy_file(Shared, T.Path / "mime/packages/freedesktop.org.xml");
  fs::copy_file(cPrefix / "share/mime/packages/draftwell.xml", T.Path / "mime/packages/draftwell.xml");
  const TRun R = Shell("update-mime-database " + Quote((T.Path / "mime").string()) + " >/dev/null");
  ASSERT_EQ(R.Status, 0) << R.Out;
  EXPECT_EQ(R.Out.find("arning"), std::string::npos) << R.Out;
  const std::string Globs = ReadFile(T.Path / "mime/globs2"), Magic = ReadFile(T.Path / "mime/magic");
  for (const char* G : {"image/vnd.dwg:*.dwt", "image/vnd.dwg:*.dwg", "application/vnd.hp-hpgl:*.plt",
                        "application/vnd.hp-hpgl:*.hgl", "application/vnd.hp-hpgl:*.hpgl",
                        "application/vnd.hp-pcl:*.prn", "image/vnd.dxf:*.dxf"})
    EXPECT_NE(Globs.find(G), std::string::npos) << G;
  for (const std::string M : {std::string("AutoCAD Binary DXF\r\n\x1a", 21) + '\0', std::string("AC1015"),
                              std::string("AC1032"), std::string("0\r\nSECTION\r\n")})
    EXPECT_NE(Magic.find(M), std::string::npos) << M;
}

// ---------------------------------------------------------------- the installed programs

TEST(InstalledCli, finds_its_fonts_and_draws_text_from_any_folder) {
  TTempDir T;
  const fs::path F = T.Write("text.dxf", cTextDrawing), Png = T.Path / "text.png";
  const TRun Info = Shell(Installed("draftwell-cli", T.Path) + " info " + Quote(F.string()));
  ASSERT_EQ(Info.Status, 0) << Info.Out;
  const std::string Font = (cPrefix / "share/draftwell/fonts/draftwell-simplex.shx").string();
  EXPECT_NE(Info.Out.find("romans.shx -> " + Font + " (substitute)"), std::string::npos) << Info.Out;
  const TRun Json = Shell(Installed("draftwell-cli", T.Path) + " info --json " + Quote(F.string()));
  EXPECT_NE(Json.Out.find("\"resolved\": \"" + Font + "\""), std::string::npos) << Json.Out;

  const TRun Render = Shell(Installed("draftwell-cli", T.Path) + " render " + Quote(F.string()) + " -o " +
                            Quote(Png.string()) + " --size 400x300");
  ASSERT_EQ(Render.Status, 0) << Render.Out;
  const QImage I(QString::fromStdString(Png.string()));
  ASSERT_EQ(I.size(), QSize(400, 300));
  EXPECT_GT(Count(Ink(I)), 400u);
}

TEST(InstalledCli, renders_a_dwg_drawing) {
  const fs::path Dwg = fs::path(DRAFTWELL_CORPUS_DIR) / "dwg/r2018_text.dwg";
  if (!fs::exists(Dwg)) GTEST_SKIP() << Dwg << " is not here (the corpus is not part of the clone)";
  TTempDir T;
  const fs::path Png = T.Path / "dwg.png";
  const TRun R = Shell(Installed("draftwell-cli", T.Path) + " render " + Quote(Dwg.string()) + " -o " +
                       Quote(Png.string()) + " --size 400x300");
  ASSERT_EQ(R.Status, 0) << R.Out;
  EXPECT_GT(Count(Ink(QImage(QString::fromStdString(Png.string())))), 100u);
}

TEST(InstalledCli, thumbnail_has_ink_and_matches_render) {
  TTempDir T;
  const fs::path F = T.Write("thumb.dxf", cTextDrawing), Thumb = T.Path / "thumb.png", Full = T.Path / "full.png";
  const TRun A = Shell(Installed("draftwell-cli", T.Path) + " thumbnail " + Quote(F.string()) + " " +
                       Quote(Thumb.string()) + " --size 256");
  ASSERT_EQ(A.Status, 0) << A.Out;
  const TRun B = Shell(Installed("draftwell-cli", T.Path) + " render " + Quote(F.string()) + " -o " +
                       Quote(Full.string()) + " --size 256x256");
  ASSERT_EQ(B.Status, 0) << B.Out;
  const QImage TI(QString::fromStdString(Thumb.string())), FI(QString::fromStdString(Full.string()));
  ASSERT_EQ(TI.size(), QSize(256, 256));
  EXPECT_GT(Count(Ink(TI)), 200u);
  EXPECT_GE(Likeness(TI, FI), 0.95);
}

// The thumbnailer entry runs the installed CLI the way a file manager does: the
// placeholders filled in, the output named without a .png ending.
TEST(InstalledCli, thumbnailer_entry_runs) {
  TTempDir T;
  const fs::path F = T.Write("entry.dxf", cTextDrawing), Out = T.Path / "gnome-thumbnail-XXXXXX";
  std::string Exec = EntryValue(cPrefix / "share/thumbnailers/draftwell.thumbnailer", "Exec");
  ASSERT_EQ(Exec.rfind("draftwell-cli ", 0), 0u) << Exec;
  const std::string TryExec = EntryValue(cPrefix / "share/thumbnailers/draftwell.thumbnailer", "TryExec");
  EXPECT_EQ(TryExec, "draftwell-cli");
  Exec = Exec.substr(std::string("draftwell-cli ").size());
  for (const auto& [Key, Value] : std::vector<std::pair<std::string, std::string>>{
           {"%i", Quote(F.string())}, {"%o", Quote(Out.string())}, {"%s", "128"}}) {
    const std::size_t P = Exec.find(Key);
    ASSERT_NE(P, std::string::npos) << Key;
    Exec.replace(P, 2, Value);
  }
  const TRun R = Shell(Installed("draftwell-cli", T.Path) + " " + Exec);
  ASSERT_EQ(R.Status, 0) << R.Out;
  const QImage I(QString::fromStdString(Out.string()), "PNG");
  EXPECT_EQ(I.size(), QSize(128, 128));
}

TEST(InstalledEditor, starts_and_shows_its_help) {
  TTempDir T;
  const TRun R = Shell(Installed("draftwell", T.Path) + " --help");
  EXPECT_EQ(R.Status, 0) << R.Out;
  EXPECT_NE(R.Out.find("--help"), std::string::npos) << R.Out;
}

// ---------------------------------------------------------------- manual pages

// The text of a manual page without the formatter's font and hyphen escapes.
std::string ManText(const fs::path& Gz) {
  std::string S = Shell("gzip -dc " + Quote(Gz.string())).Out;
  S = std::regex_replace(S, std::regex(R"(\\f[BIRP])"), "");
  S = std::regex_replace(S, std::regex(R"(\\-)"), "-");
  return S;
}

// The options a text names ("-o", "--size"), as words of their own.
std::set<std::string> Options(const std::string& S) {
  std::set<std::string> R;
  const std::regex O(R"((^|[\s\[|(,"])(--?[a-z][a-z-]*[a-z]|-[a-z])\b)");
  for (std::sregex_iterator It(S.begin(), S.end(), O), End; It != End; ++It) R.insert((*It)[2]);
  return R;
}

std::string Join(const std::set<std::string>& S) {
  std::string R;
  for (const std::string& X : S) R += X + " ";
  return R;
}

void ExpectSameOptions(const std::string& Help, const std::string& Man) {
  const std::set<std::string> H = Options(Help), M = Options(Man);
  EXPECT_FALSE(H.empty());
  for (const std::string& O : H) EXPECT_TRUE(M.count(O)) << O << " is in the help but not in the manual page";
  for (const std::string& O : M) EXPECT_TRUE(H.count(O)) << O << " is in the manual page but not in the help";
  if (testing::Test::HasFailure()) ADD_FAILURE() << "help: " << Join(H) << "\nmanual: " << Join(M);
}

TEST(ManualPages, cli_page_names_what_the_help_names) {
  TTempDir T;
  const std::string Cli = Installed("draftwell-cli", T.Path);
  std::string Help = Shell(Cli + " help").Out;
  for (const char* C : {"render", "thumbnail", "dump", "info", "convert"}) Help += Shell(Cli + " " + C + " --help").Out;
  const std::string Man = ManText(cPrefix / "share/man/man1/draftwell-cli.1.gz");
  ExpectSameOptions(Help, Man);
  // Every command of the help has its entry, and the version is this one.
  const std::regex Command(R"(\n  ([a-z]+)\s)");
  int Commands = 0;
  const std::string List = Help.substr(0, Help.find("Formats"));
  for (std::sregex_iterator It(List.begin(), List.end(), Command), End; It != End; ++It, ++Commands) {
    const std::string C = (*It)[1];
    EXPECT_TRUE(std::regex_search(Man, std::regex("\n\\.(B|BI) \"?" + C + "[ \"\n]"))) << C;
  }
  EXPECT_GE(Commands, 6);
  std::string Version = Shell(Cli + " version").Out;
  Version = Version.substr(Version.find(' ') + 1);
  Version.erase(Version.find_last_not_of("\n") + 1);
  EXPECT_NE(Man.find(".TH DRAFTWELL-CLI 1 \""), std::string::npos);
  EXPECT_NE(Man.find("\"Draftwell " + Version + "\""), std::string::npos) << Version;
}

TEST(ManualPages, editor_page_names_what_the_help_names) {
  TTempDir T;
  const TRun Help = Shell(Installed("draftwell", T.Path) + " --help");
  ASSERT_EQ(Help.Status, 0) << Help.Out;
  // The program's own name in the usage line is not an option.
  const std::string Man = ManText(cPrefix / "share/man/man1/draftwell.1.gz");
  ExpectSameOptions(Help.Out.substr(Help.Out.find('\n')), Man);
  EXPECT_NE(Man.find(".SH SYNOPSIS"), std::string::npos);
}

TEST(ManualPages, format_without_warnings) {
  if (!HasTool("man")) GTEST_SKIP() << "man is not installed";
  for (const char* P : {"draftwell.1.gz", "draftwell-cli.1.gz"}) {
    const TRun R = Shell("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l " +
                         Quote((cPrefix / "share/man/man1" / P).string()) + " 2>&1 >/dev/null");
    EXPECT_EQ(R.Status, 0) << P;
    EXPECT_EQ(R.Out, "") << P;
  }
}

// ---------------------------------------------------------------- bash completion

struct TCompletionCase {
  const char* Name;
  const char* Words;  // the command line so far, the last word being completed
  const char* Expect; // one of the completions offered
  const char* Absent; // a completion that must not be offered, or null
};

class Completion : public testing::TestWithParam<TCompletionCase> {};

TEST_P(Completion, offers) {
  const TCompletionCase& C = GetParam();
  const fs::path Lib = "/usr/share/bash-completion/bash_completion";
  if (!fs::exists(Lib)) GTEST_SKIP() << Lib << " is missing (package bash-completion)";
  TTempDir T;
  T.Write("part.dxf", cTextDrawing);
  T.Write("notes.txt", "x");
  const std::string Script = "source " + Quote(Lib.string()) + "; source " +
                             Quote((cPrefix / "share/bash-completion/completions/draftwell-cli").string()) +
                             "; cd " + Quote(T.Path.string()) + "; COMP_LINE=" + Quote(C.Words) +
                             "; COMP_POINT=${#COMP_LINE}; read -ra COMP_WORDS <<< \"$COMP_LINE\"; "
                             "[[ $COMP_LINE == *' ' ]] && COMP_WORDS+=(''); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                             "_draftwell_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
  const TRun R = Shell("bash -c " + Quote(Script));
  ASSERT_EQ(R.Status, 0) << R.Out;
  const std::vector<std::string> Offered = Split(R.Out, '\n');
  EXPECT_NE(std::find(Offered.begin(), Offered.end(), C.Expect), Offered.end()) << R.Out;
  if (C.Absent) EXPECT_EQ(std::find(Offered.begin(), Offered.end(), C.Absent), Offered.end()) << R.Out;
}

INSTANTIATE_TEST_SUITE_P(
    Installed, Completion,
    testing::Values(TCompletionCase{"command", "draftwell-cli th", "thumbnail", "render"},
                    TCompletionCase{"render_option", "draftwell-cli render part.dxf --back", "--background", nullptr},
                    TCompletionCase{"background_value", "draftwell-cli render part.dxf --background ", "black", nullptr},
                    TCompletionCase{"drawing_file", "draftwell-cli info ", "part.dxf", "notes.txt"},
                    TCompletionCase{"thumbnail_option", "draftwell-cli thumbnail part.dxf out.png --", "--budget",
                                    "--layout"}),
    [](const testing::TestParamInfo<TCompletionCase>& I) { return std::string(I.param.Name); });

}  // namespace
