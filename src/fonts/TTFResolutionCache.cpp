#include "TTFResolutionCache.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fontconfig/fontconfig.h>

namespace {

namespace fs = std::filesystem;

// The file is ours but lives in the user's folder: read at most this much.
constexpr std::uintmax_t cnstMaxCacheBytes = 1 << 20;
// Format of the lines; a change of layout changes the file name.
constexpr const char* cnstFormat = "1";

std::uint64_t Fnv1a(const std::string& S) {
  std::uint64_t H = 1469598103934665603ull;
  for (unsigned char C : S) {
    H ^= C;
    H *= 1099511628211ull;
  }
  return H;
}

std::string Env(const char* AName) {
  const char* V = std::getenv(AName);
  return V ? V : "";
}

// The sub-folders of a folder, sorted; none when it cannot be listed.
std::vector<std::string> SubFolders(const std::string& AFolder) {
  std::vector<std::string> Out;
  std::error_code Ec;
  for (fs::directory_iterator It(AFolder, Ec), End; !Ec && It != End; It.increment(Ec))
    if (It->is_directory(Ec)) Out.push_back(It->path().string());
  std::sort(Out.begin(), Out.end());
  return Out;
}

// Modification time, size and kind of a path; "-" when it does not exist.
void AddStat(std::string& AStamp, const std::string& APath) {
  struct stat St {};
  AStamp += APath;
  if (::stat(APath.c_str(), &St) != 0) {
    AStamp += "=-\n";
    return;
  }
  AStamp += '=' + std::to_string(St.st_mtim.tv_sec) + '.' + std::to_string(St.st_mtim.tv_nsec) + '/' +
            std::to_string(St.st_size) + '\n';
}

// A folder and the folders one and two levels below it (font packages install
// into /usr/share/fonts/<kind>/<package>).
void AddTree(std::string& AStamp, const std::string& AFolder) {
  AddStat(AStamp, AFolder);
  for (const std::string& D : SubFolders(AFolder)) {
    AddStat(AStamp, D);
    for (const std::string& D2 : SubFolders(D)) AddStat(AStamp, D2);
  }
}

bool HasControl(const std::string& S) {
  for (unsigned char C : S)
    if (C < 0x20 || C == 0x7f) return true;
  return false;
}

std::string Key(const std::string& AName, unsigned AStyles) { return AName + '\t' + std::to_string(AStyles); }

std::vector<std::string> SplitTabs(const std::string& ALine) {
  std::vector<std::string> Out(1);
  for (char C : ALine)
    if (C == '\t')
      Out.emplace_back();
    else
      Out.back() += C;
  return Out;
}

bool ParseInt(const std::string& S, long ALow, long AHigh, long& AValue) {
  if (S.empty() || S.size() > 10) return false;
  char* End = nullptr;
  const long V = std::strtol(S.c_str(), &End, 10);
  if (*End || V < ALow || V > AHigh) return false;
  AValue = V;
  return true;
}

} // namespace

TqdTTFResolutionCache::TqdTTFResolutionCache(std::string AFolder, std::string AStamp) : FFolder(std::move(AFolder)) {
  if (FFolder.empty()) return;
  char Name[64];
  std::snprintf(Name, sizeof Name, "ttf-faces-%s-%016llx.tsv", cnstFormat,
                static_cast<unsigned long long>(Fnv1a(AStamp)));
  FFileName = (fs::path(FFolder) / Name).string();
}

std::string TqdTTFResolutionCache::InstallationStamp() {
  std::string S = "fontconfig " + std::to_string(FcGetVersion()) + '\n';
  for (const char* V : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT", "HOME", "XDG_CONFIG_HOME",
                        "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CACHE_HOME"})
    S += std::string(V) + '=' + Env(V) + '\n';
  const std::string Home = Env("HOME");
  const std::string Config = Env("XDG_CONFIG_HOME").empty() ? Home + "/.config" : Env("XDG_CONFIG_HOME");
  const std::string Cache = Env("XDG_CACHE_HOME").empty() ? Home + "/.cache" : Env("XDG_CACHE_HOME");
  const std::string Data = Env("XDG_DATA_HOME").empty() ? Home + "/.local/share" : Env("XDG_DATA_HOME");
  for (const std::string& P : {std::string("/etc/fonts"), std::string("/etc/fonts/fonts.conf"),
                               std::string("/etc/fonts/conf.d"), std::string("/etc/fonts/local.conf"),
                               Config + "/fontconfig", Config + "/fontconfig/fonts.conf",
                               Config + "/fontconfig/conf.d", std::string("/var/cache/fontconfig"),
                               Cache + "/fontconfig"})
    AddStat(S, P);
  // Fonts installed or removed change these folders.
  for (const std::string& P : {std::string("/usr/share/fonts"), std::string("/usr/local/share/fonts"),
                               Home + "/.fonts", Data + "/fonts"})
    AddTree(S, P);
  return S;
}

TqdTTFResolutionCache& TqdTTFResolutionCache::Instance() {
  static TqdTTFResolutionCache C = [] {
    if (Env("DRAFTWELL_FONT_CACHE") == "0") return TqdTTFResolutionCache("", "");
    std::string Base = Env("XDG_CACHE_HOME");
    if (Base.empty() && !Env("HOME").empty()) Base = Env("HOME") + "/.cache";
    if (Base.empty() || Base[0] != '/') return TqdTTFResolutionCache("", "");
    return TqdTTFResolutionCache(Base + "/draftwell", InstallationStamp());
  }();
  return C;
}

void TqdTTFResolutionCache::Load() {
  if (FLoaded) return;
  FLoaded = true;
  if (FFileName.empty()) return;
  std::error_code Ec;
  const std::uintmax_t Size = fs::file_size(FFileName, Ec);
  if (Ec) return;
  if (Size > cnstMaxCacheBytes) {
    // Grown by drawings full of rare characters: start again.
    fs::remove(FFileName, Ec);
    return;
  }
  std::ifstream In(FFileName, std::ios::binary);
  std::string Line;
  while (std::getline(In, Line)) {
    // name, styles asked, kind, asked styles, face, family, file, index, synthesised bold, italic
    const std::vector<std::string> F = SplitTabs(Line);
    if (F.size() != 10) continue;
    long Styles = 0, Kind = 0, Asked = 0, Index = 0, Bold = 0, Italic = 0;
    if (!ParseInt(F[1], 0, 3, Styles) || !ParseInt(F[2], trkFile, trkNone, Kind) || !ParseInt(F[3], 0, 0xFFFF, Asked) ||
        !ParseInt(F[7], 0, 0xFFFF, Index) || !ParseInt(F[8], 0, 1, Bold) || !ParseInt(F[9], 0, 1, Italic))
      continue;
    TqdTTFResolution R;
    R.AskedName = F[0];
    R.Kind = static_cast<TqdTTFResolutionKind>(Kind);
    R.AskedStyles = static_cast<unsigned>(Asked);
    R.FaceName = F[4];
    R.FamilyName = F[5];
    R.FileName = F[6];
    R.FaceIndex = static_cast<int>(Index);
    R.SynthesizeBold = Bold;
    R.SynthesizeItalic = Italic;
    FKnown[Key(F[0], static_cast<unsigned>(Styles))] = std::move(R);
  }
}

bool TqdTTFResolutionCache::Find(const std::string& AName, unsigned AStyles, TqdTTFResolution& AResolution) {
  std::lock_guard<std::mutex> G(FLock);
  Load();
  const auto It = FKnown.find(Key(AName, AStyles));
  if (It == FKnown.end()) return false;
  // A face removed without the folders' stamps changing: ask the registry again.
  if (It->second.Kind != trkNone && ::access(It->second.FileName.c_str(), R_OK) != 0) return false;
  AResolution = It->second;
  return true;
}

void TqdTTFResolutionCache::Store(const TqdTTFResolution& AResolution, const std::string& AName, unsigned AStyles) {
  if (FFileName.empty()) return;
  const TqdTTFResolution& R = AResolution;
  if (HasControl(AName) || HasControl(R.FaceName) || HasControl(R.FamilyName) || HasControl(R.FileName) ||
      HasControl(R.AskedName))
    return;
  std::lock_guard<std::mutex> G(FLock);
  Load();
  FKnown[Key(AName, AStyles)] = R;
  const std::string Line = AName + '\t' + std::to_string(AStyles) + '\t' + std::to_string(R.Kind) + '\t' +
                           std::to_string(R.AskedStyles) + '\t' + R.FaceName + '\t' + R.FamilyName + '\t' +
                           R.FileName + '\t' + std::to_string(R.FaceIndex) + '\t' + (R.SynthesizeBold ? "1" : "0") +
                           '\t' + (R.SynthesizeItalic ? "1" : "0") + '\n';
  std::error_code Ec;
  if (!fs::exists(FFileName, Ec)) {
    // A new installation stamp: the files of earlier installations are dead.
    fs::create_directories(FFolder, Ec);
    std::vector<fs::path> Dead;
    for (fs::directory_iterator It(FFolder, Ec), End; !Ec && It != End; It.increment(Ec))
      if (It->path().filename().string().rfind("ttf-faces-", 0) == 0) Dead.push_back(It->path());
    for (const fs::path& P : Dead) fs::remove(P, Ec);
  }
  // One write of an appended line: processes that resolve at the same time
  // interleave whole lines, never parts of them.
  const int Fd = ::open(FFileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (Fd < 0) return;
  const ssize_t Written = ::write(Fd, Line.data(), Line.size());
  (void)Written;
  ::close(Fd);
}
