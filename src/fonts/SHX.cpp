#include "SHX.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

namespace {

constexpr double cPi = 3.14159265358979323846;

double Rad(double Deg) { return Deg * cPi / 180.0; }

// Direction steps of the vector codes, by low nibble.
const double cDirX[16] = {1, 1, 1, 0.5, 0, -0.5, -1, -1, -1, -1, -1, -0.5, 0, 0.5, 1, 1};
const double cDirY[16] = {0, 0.5, 1, 1, 1, 1, 1, 0.5, 0, -0.5, -1, -1, -1, -1, -1, -0.5};

uint16_t U16(const uint8_t* P) { return uint16_t(P[0] | (P[1] << 8)); }
uint32_t U32(const uint8_t* P) { return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24); }

std::map<std::string, bool>& FileCache() {
  static std::map<std::string, bool> M;
  return M;
}
std::map<std::string, bool>& DirCache() {
  static std::map<std::string, bool> M;
  return M;
}

std::string LowerCase(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
  return R;
}

std::map<std::string, int>& CodePageTable() {
  static std::map<std::string, int> M = [] {
    std::map<std::string, int> T;
    const std::pair<const char*, int> Rows[] = {
        {"@extfont2.shx", 932}, {"bigfont.shx", 932}, {"chineset.shx", 950}, {"extfont.shx", 932},
        {"extfont2.shx", 932},  {"gbcbig.shx", 936},  {"whgdtxt.shx", 949},  {"whgtxt.shx", 949},
        {"whtgtxt.shx", 949},   {"whtmtxt.shx", 949}};
    for (const auto& [N, CP] : Rows) T[N] = CP | 0x10000;
    return T;
  }();
  return M;
}

std::string FileNamePart(std::string_view P) {
  const size_t S = P.find_last_of("/\\");
  return std::string(S == std::string_view::npos ? P : P.substr(S + 1));
}

// The name at the start of a definition: zero-terminated, at most 129 characters
// taken. NameEnd is where the terminating zero is (or the definition's end).
std::string DefinitionName(const std::vector<uint8_t>& B, size_t& NameEnd) {
  NameEnd = 0;
  while (NameEnd < B.size() && B[NameEnd] != 0) ++NameEnd;
  return std::string(reinterpret_cast<const char*>(B.data()), std::min<size_t>(NameEnd, 129));
}

uint8_t ByteAt(const std::vector<uint8_t>& B, size_t I) { return I < B.size() ? B[I] : 0; }

}  // namespace

std::string SHXUpperCase(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    if (C >= 'a' && C <= 'z') C = char(C - 'a' + 'A');
  return R;
}

bool SHXFileExists(const std::string& APath) {
  if (APath.empty()) return false;
  auto& M = FileCache();
  auto It = M.find(APath);
  if (It != M.end()) return It->second;
  struct stat St {};
  const bool R = ::stat(APath.c_str(), &St) == 0 && S_ISREG(St.st_mode);
  M[APath] = R;
  return R;
}

bool SHXDirectoryExists(const std::string& APath) {
  if (APath.empty()) return false;
  auto& M = DirCache();
  auto It = M.find(APath);
  if (It != M.end()) return It->second;
  struct stat St {};
  const bool R = ::stat(APath.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
  M[APath] = R;
  return R;
}

void SHXMarkFileMissing(const std::string& APath) { FileCache()[APath] = false; }

void SHXClearExistenceCaches() {
  FileCache().clear();
  DirCache().clear();
}

int SHXBigFontCodePageValue(std::string_view AFileName) {
  auto& T = CodePageTable();
  auto It = T.find(LowerCase(FileNamePart(AFileName)));
  return It == T.end() ? 0 : It->second;
}

bool SHXAddBigFontCodePage(std::string_view AFilePath, int AValue) {
  auto& T = CodePageTable();
  return T.emplace(LowerCase(FileNamePart(AFilePath)), AValue).second;
}

// ---------------------------------------------------------------------------

TqdSHXFont::TqdSHXFont(std::string AFontPath) : FName(std::move(AFontPath)) {
  std::fill(std::begin(FixedTable), std::end(FixedTable), -1);
}

TqdSHXFont::~TqdSHXFont() { CloseSource(); }

bool TqdSHXFont::OpenSource() {
  if (FInMemory) return true;
  if (FFile) return true;
  FFile = std::fopen(FName.c_str(), "rb");
  if (!FFile) return false;
  if (std::fseek(FFile, 0, SEEK_END) != 0) {
    CloseSource();
    return false;
  }
  const long L = std::ftell(FFile);
  if (L < 0) {
    CloseSource();
    return false;
  }
  FSize = uint64_t(L);
  return true;
}

void TqdSHXFont::CloseSource() {
  if (FFile) std::fclose(FFile);
  FFile = nullptr;
}

bool TqdSHXFont::ReadAt(uint64_t Pos, size_t Size, uint8_t* Out) {
  if (Pos > FSize || Size > FSize - Pos) return false;
  if (Size == 0) return true;
  if (FInMemory) {
    std::memcpy(Out, FData->data() + Pos, Size);
    return true;
  }
  if (!FFile) return false;
  if (std::fseek(FFile, long(Pos), SEEK_SET) != 0) return false;
  return std::fread(Out, 1, Size, FFile) == Size;
}

std::vector<uint8_t> TqdSHXFont::ReadSome(uint64_t Pos, size_t Size) {
  std::vector<uint8_t> B;
  if (Pos >= FSize) return B;
  Size = size_t(std::min<uint64_t>(Size, FSize - Pos));
  B.resize(Size);
  if (!ReadAt(Pos, Size, B.data())) B.clear();
  return B;
}

namespace {

// Font files read whole once per process: every drawing opened, every fuzz run and
// every glyph built reads them from memory instead of opening the file again. A file
// is read again when its size or time changes; large files are read from disk.
constexpr std::size_t cnstMaxCachedFontFile = std::size_t(16) << 20;
constexpr std::size_t cnstMaxCachedFontBytes = std::size_t(64) << 20;

struct TCachedFontFile {
  off_t Size = 0;
  std::int64_t MTime = 0;
  std::shared_ptr<const std::vector<uint8_t>> Bytes;
};

std::shared_ptr<const std::vector<uint8_t>> CachedFontBytes(const std::string& APath) {
  static std::mutex Lock;
  static std::map<std::string, TCachedFontFile> Files;
  static std::size_t Total = 0;
  struct stat St {};
  if (::stat(APath.c_str(), &St) != 0 || !S_ISREG(St.st_mode) || St.st_size <= 0 ||
      std::size_t(St.st_size) > cnstMaxCachedFontFile)
    return nullptr;
  const std::int64_t MTime = std::int64_t(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
  std::lock_guard<std::mutex> G(Lock);
  auto It = Files.find(APath);
  if (It != Files.end() && It->second.Size == St.st_size && It->second.MTime == MTime) return It->second.Bytes;
  std::FILE* F = std::fopen(APath.c_str(), "rb");
  if (!F) return nullptr;
  auto Bytes = std::make_shared<std::vector<uint8_t>>(std::size_t(St.st_size));
  const bool Whole = std::fread(Bytes->data(), 1, Bytes->size(), F) == Bytes->size() && std::fgetc(F) == EOF;
  std::fclose(F);
  if (!Whole) return nullptr;  // changing under us: read it the ordinary way
  if (It != Files.end()) {
    Total -= It->second.Bytes->size();
    Files.erase(It);
  }
  if (Total + Bytes->size() > cnstMaxCachedFontBytes) return Bytes;  // used, not kept
  Total += Bytes->size();
  Files[APath] = {St.st_size, MTime, Bytes};
  return Bytes;
}

}  // namespace

bool TqdSHXFont::Load() {
  FKind = tkUndefined;
  FInMemory = false;
  FData.reset();
  if (!SHXFileExists(FName)) {
    FLoadError = "file not found";
    return false;
  }
  if (auto Bytes = CachedFontBytes(FName)) {
    FInMemory = true;
    FData = std::move(Bytes);
    FSize = FData->size();
    const bool R = LoadIndex();
    if (!R) SHXMarkFileMissing(FName);
    return R;
  }
  if (!OpenSource()) {
    FLoadError = "cannot open the file";
    SHXMarkFileMissing(FName);
    return false;
  }
  const bool R = LoadIndex();
  CloseSource();
  if (!R) SHXMarkFileMissing(FName);
  return R;
}

bool TqdSHXFont::LoadFromBytes(std::vector<uint8_t> AData) {
  FKind = tkUndefined;
  CloseSource();
  FInMemory = true;
  FData = std::make_shared<const std::vector<uint8_t>>(std::move(AData));
  FSize = FData->size();
  return LoadIndex();
}

bool TqdSHXFont::LoadIndex() {
  FLoadError.clear();
  FShapes.clear();
  FCachedVertices = 0;
  std::fill(std::begin(FixedTable), std::end(FixedTable), -1);
  FBigFontRanges.clear();
  FNumChars = 0;
  FIsShape = FExtndBig = false;
  FAbove = FBelow = FModes = FEncoding = FEmbtype = FCharHeight = FCharWidth = 0;
  const std::vector<uint8_t> Sig = ReadSome(0, 129);
  auto Starts = [&](const char* S) {
    const size_t L = std::strlen(S);
    return Sig.size() >= L && std::memcmp(Sig.data(), S, L) == 0;
  };
  TqdSHXKinds K = tkUndefined;
  if (Starts("AutoCAD-86 shapes 1.1") || Starts("AutoCAD-86 shapes 1.0"))
    K = tkNormSHX;
  else if (Starts("AutoCAD-86 bigfont 1.0"))
    K = tkBigSHX;
  else if (Starts("AutoCAD-86 unifont 1.0"))
    K = tkUnicodeSHX;
  if (K == tkUndefined) {
    FLoadError = "not an SHX file";
    return true;  // readable, but nothing in it is ours to draw
  }
  bool Ok = false;
  switch (K) {
    case tkNormSHX: Ok = LoadNormal(); break;
    case tkBigSHX: Ok = LoadBig(); break;
    case tkUnicodeSHX: Ok = LoadUnicode(); break;
    default: break;
  }
  if (!Ok) {
    FShapes.clear();
    std::fill(std::begin(FixedTable), std::end(FixedTable), -1);
    FNumChars = 0;
    return false;
  }
  FKind = K;
  return true;
}

void TqdSHXFont::TakeInfo(const std::vector<uint8_t>& B, bool Extended) {
  size_t NL = 0;
  DefinitionName(B, NL);
  if (Extended) {
    FCharHeight = ByteAt(B, NL + 1);
    FModes = ByteAt(B, NL + 3);
    FCharWidth = ByteAt(B, NL + 4);
    // The cell height is the unit of text height of such a font.
    FAbove = FCharHeight;
    FBelow = 0;
  } else {
    FAbove = ByteAt(B, NL + 1);
    FBelow = ByteAt(B, NL + 2);
    FModes = ByteAt(B, NL + 3);
  }
}

bool TqdSHXFont::LoadNormal() {
  uint8_t H[2];
  if (!ReadAt(28, 2, H)) {
    FLoadError = "file cut short in the header";
    return false;
  }
  const uint16_t N = U16(H);
  const uint64_t IndexEnd = 30 + 4ull * N;
  if (IndexEnd > FSize) {
    FLoadError = "file cut short in the shape index";
    return false;
  }
  std::vector<uint8_t> Index(4ull * N);
  if (N && !ReadAt(30, Index.size(), Index.data())) {
    FLoadError = "cannot read the shape index";
    return false;
  }
  FShapes.resize(N);
  uint64_t Pos = IndexEnd;
  int Info = -1;
  for (int I = 0; I < N; ++I) {
    TqdSHXRecord& R = FShapes[I];
    R.ShapeNumber = U16(&Index[4 * I]);
    R.DefBytes = U16(&Index[4 * I + 2]);
    R.BytesPos = uint32_t(std::min<uint64_t>(Pos, UINT32_MAX));
    Pos += R.DefBytes;
    if (R.ShapeNumber >= 1 && R.ShapeNumber <= 255 && FixedTable[R.ShapeNumber - 1] < 0)
      FixedTable[R.ShapeNumber - 1] = I;
    if (R.ShapeNumber == 0 && Info < 0) Info = I;
  }
  FNumChars = N;
  if (Pos > FSize) FLoadError = "file cut short in the shape definitions";
  if (Info >= 0) {
    const std::vector<uint8_t> B = ReadSome(FShapes[Info].BytesPos, FShapes[Info].DefBytes);
    size_t NL = 0;
    FShapes[Info].ShapeName = DefinitionName(B, NL);
    TakeInfo(B, false);
  } else {
    FIsShape = true;
    for (TqdSHXRecord& R : FShapes) {
      const std::vector<uint8_t> B = ReadSome(R.BytesPos, R.DefBytes);
      size_t NL = 0;
      R.ShapeName = SHXUpperCase(DefinitionName(B, NL));
    }
  }
  return true;
}

bool TqdSHXFont::LoadBig() {
  uint8_t H[4];
  if (!ReadAt(27, 4, H)) {
    FLoadError = "file cut short in the header";
    return false;
  }
  const uint16_t Entries = U16(H);
  const uint16_t Ranges = U16(H + 2);
  const uint64_t IndexStart = 31 + 4ull * Ranges;
  if (IndexStart > FSize) {
    FLoadError = "file cut short in the lead-byte ranges";
    return false;
  }
  std::vector<uint8_t> RB(4ull * Ranges);
  if (Ranges && !ReadAt(31, RB.size(), RB.data())) return false;
  for (int I = 0; I < Ranges; ++I) FBigFontRanges.emplace_back(U16(&RB[4 * I]), U16(&RB[4 * I + 2]));
  // The index ends at the smallest of its entry count, the first definition and
  // the end of the file.
  uint64_t Limit = FSize;
  const uint64_t Avail = (FSize - IndexStart) / 8;
  const uint64_t Count = std::min<uint64_t>(Entries, Avail);
  std::vector<uint8_t> Index(size_t(Count * 8));
  if (Count && !ReadAt(IndexStart, Index.size(), Index.data())) return false;
  for (uint64_t I = 0; I < Count; ++I) {
    const uint64_t EntryEnd = IndexStart + 8 * (I + 1);
    if (EntryEnd > Limit) break;
    const uint8_t* E = &Index[size_t(8 * I)];
    TqdSHXRecord R;
    R.ShapeNumber = U16(E);
    R.DefBytes = U16(E + 2);
    R.BytesPos = U32(E + 4);
    if (I == 0) {
      Limit = std::min<uint64_t>(Limit, R.BytesPos);
      const std::vector<uint8_t> B = ReadSome(R.BytesPos, R.DefBytes);
      size_t NL = 0;
      R.ShapeName = DefinitionName(B, NL);
      FExtndBig = R.DefBytes == NL + 6;
      TakeInfo(B, FExtndBig);
    } else if (R.ShapeNumber == 0) {
      continue;  // an empty slot
    }
    FShapes.push_back(std::move(R));
  }
  if (Count < Entries && IndexStart + 8 * Count < Limit) FLoadError = "file cut short in the shape index";
  SortRecords();
  return true;
}

bool TqdSHXFont::LoadUnicode() {
  uint8_t H[6];
  if (!ReadAt(25, 6, H)) {
    FLoadError = "file cut short in the header";
    return false;
  }
  const uint32_t NWord = U32(H);
  const uint16_t N = uint16_t(NWord & 0xFFFF);
  const uint16_t InfoLen = U16(H + 4);
  if (31ull + InfoLen > FSize) {
    FLoadError = "file cut short in the font information";
    return false;
  }
  const std::vector<uint8_t> Info = ReadSome(31, InfoLen);
  size_t NL = 0;
  DefinitionName(Info, NL);
  FAbove = ByteAt(Info, NL + 1);
  FBelow = ByteAt(Info, NL + 2);
  FModes = ByteAt(Info, NL + 3);
  FEncoding = ByteAt(Info, NL + 4);
  FEmbtype = ByteAt(Info, NL + 5);
  uint64_t Pos = 31ull + InfoLen;
  // N counts the information record too; N = 0 means no shapes at all.
  const int Shapes = N == 0 ? 0 : N - 1;
  FShapes.reserve(size_t(std::min<uint64_t>(Shapes, (FSize - Pos) / 4)));
  for (int I = 0; I < Shapes; ++I) {
    uint8_t E[4];
    if (!ReadAt(Pos, 4, E)) {
      FLoadError = "file cut short after " + std::to_string(I) + " of " + std::to_string(Shapes) + " shapes";
      break;
    }
    TqdSHXRecord R;
    R.ShapeNumber = U16(E);
    R.DefBytes = U16(E + 2);
    R.BytesPos = uint32_t(Pos + 4);
    Pos += 4ull + R.DefBytes;
    if (Pos > FSize) {
      FLoadError = "file cut short after " + std::to_string(I) + " of " + std::to_string(Shapes) + " shapes";
      break;
    }
    FShapes.push_back(std::move(R));
  }
  SortRecords();
  return true;
}

void TqdSHXFont::SortRecords() {
  std::stable_sort(FShapes.begin(), FShapes.end(),
                   [](const TqdSHXRecord& A, const TqdSHXRecord& B) { return A.ShapeNumber < B.ShapeNumber; });
  FNumChars = uint16_t(std::min<size_t>(FShapes.size(), UINT16_MAX));
}

int TqdSHXFont::RecordIndex(uint32_t Symb) const {
  if (FKind == tkUndefined || Symb == 0 || Symb > 0xFFFF) return -1;
  if (FKind == tkNormSHX) return Symb <= 255 ? FixedTable[Symb - 1] : -1;
  auto It = std::lower_bound(FShapes.begin(), FShapes.end(), Symb,
                             [](const TqdSHXRecord& R, uint32_t V) { return R.ShapeNumber < V; });
  if (It == FShapes.end() || It->ShapeNumber != Symb) return -1;
  return int(It - FShapes.begin());
}

bool TqdSHXFont::HasSymbol(uint32_t ASymbol) const { return RecordIndex(ASymbol) >= 0; }

bool TqdSHXFont::LoadShapeBytes(TqdSHXRecord& R, std::vector<uint8_t>& Bytes) {
  Bytes.clear();
  if (!FInMemory && !SHXFileExists(FName)) return false;
  if (!OpenSource()) {
    SHXMarkFileMissing(FName);
    return false;
  }
  Bytes.resize(R.DefBytes);
  const bool Ok = ReadAt(R.BytesPos, R.DefBytes, Bytes.data());
  CloseSource();
  if (!Ok) {
    // A definition past the end of the file: this shape cannot be drawn.
    Bytes.clear();
    return false;
  }
  size_t NL = 0;
  std::string N = DefinitionName(Bytes, NL);
  if (R.ShapeName.empty()) R.ShapeName = FIsShape ? SHXUpperCase(N) : N;
  return true;
}

namespace {

// Appends the arc of the given signed sweep (degrees) about (CX, CY) from the
// current point, split so that no piece reaches beyond a half turn (a bulge of a
// full turn is infinite). Ends at the exact start point for whole turns.
void AppendArc(TqdSHXVertexList& Out, double CX, double CY, double R, double A0, double Sweep, bool Pen,
               double& X, double& Y) {
  const double Abs = std::fabs(Sweep);
  int Pieces = int(std::ceil(Abs / 180.0 - 1e-9));
  if (Pieces < 1) Pieces = 1;
  const double Step = Sweep / Pieces;
  const double B = std::tan(Rad(Step) / 4);
  const double StartX = X, StartY = Y;
  const bool WholeTurns = Abs > 0 && std::fabs(std::remainder(Abs, 360.0)) < 1e-9;
  for (int K = 1; K <= Pieces; ++K) {
    const double A = Rad(A0 + Step * K);
    X = CX + R * std::cos(A);
    Y = CY + R * std::sin(A);
    if (K == Pieces && WholeTurns) X = StartX, Y = StartY;
    Out.push_back({X, Y, B, Pen});
  }
}

}  // namespace

bool TqdSHXFont::Interpret(int Index, const std::vector<uint8_t>& Bytes, bool Vertical, TqdSHXVertexList& Out,
                           double& X, double& Y, double& S, bool& Pen, TPosStack* Stack, int Depth) {
  TPosStack Own;
  TPosStack& St = Stack ? *Stack : Own;
  size_t NameEnd = 0;
  DefinitionName(Bytes, NameEnd);
  size_t P = NameEnd + 1;
  const size_t End = Bytes.size();
  auto Next = [&]() -> uint8_t { return P < End ? Bytes[P++] : (++P, 0); };
  auto SNext = [&]() -> int { return int(int8_t(Next())); };
  Pen = true;
  Out.push_back({X, Y, 0, false});
  bool Skip = false;
  const int Orient = Vertical ? 1 : 0;
  while (P < End) {
    const uint8_t C = Next();
    if (C >= 16) {
      if (!Skip) {
        const double L = (C >> 4) * S;
        X += L * cDirX[C & 15];
        Y += L * cDirY[C & 15];
        Out.push_back({X, Y, 0, Pen});
      }
      Skip = false;
    } else {
      bool WasSkip = Skip;
      Skip = false;
      switch (C) {
        case 0:
          if (!WasSkip) P = End;
          break;
        case 1:
          if (!WasSkip) Pen = true;
          break;
        case 2:
          if (!WasSkip) Pen = false;
          break;
        case 3: {
          const int N = Next();
          if (!WasSkip && N != 0) S /= N;
          break;
        }
        case 4: {
          const int N = Next();
          if (!WasSkip) S *= N;
          break;
        }
        case 5:
          if (!WasSkip && St.Count < 4) {
            St.X[St.Count] = X;
            St.Y[St.Count] = Y;
            ++St.Count;
          }
          break;
        case 6:
          if (!WasSkip && St.Count > 0) {
            --St.Count;
            X = St.X[St.Count];
            Y = St.Y[St.Count];
            Out.push_back({X, Y, 0, false});
          }
          break;
        case 7: {
          if (FExtndBig) {
            Next();
            const int Hi = Next(), Lo = Next();
            const int XO = Next(), YO = Next();
            Next();
            Next();
            if (WasSkip) break;
            // The reference names a shape number of this font; one not in it fails.
            const int Sub = RecordIndex(uint32_t(Hi * 256 + Lo));
            if (Sub < 0) return false;
            if (Depth + 1 > cMaxSubshapeDepth) {
              FDepthHit = true;
              return false;
            }
            TqdSHXRecord& SR = FShapes[Sub];
            if (SR.Building[Orient]) return false;
            std::vector<uint8_t> SB;
            if (!LoadShapeBytes(SR, SB)) return false;
            X = XO * S;
            Y = YO * S;
            SR.Building[Orient] = true;
            const bool Ok = Interpret(Sub, SB, Vertical, Out, X, Y, S, Pen, Stack, Depth + 1);
            SR.Building[Orient] = false;
            if (!Ok) return false;
          } else {
            int N = Next();
            if (FKind == tkUnicodeSHX) N = N * 256 + Next();
            if (WasSkip) break;
            const int Sub = RecordIndex(uint32_t(N));
            if (Sub < 0) return false;
            const TqdSHXPolyData* G = BuildGlyph(Sub, Vertical, Depth + 1);
            if (!G) return false;
            if (Out.size() + G->Poly->size() > cMaxGlyphVertices) return false;
            for (const TqdSHXVertex& V : *G->Poly) Out.push_back({X + S * V.X, Y + S * V.Y, V.Bulge, V.PenDown});
            X += S * G->Xoff;
            Y += S * G->Yoff;
            S *= G->Scaleoff;
          }
          break;
        }
        case 8: {
          const int DX = SNext(), DY = SNext();
          if (!WasSkip) {
            X += DX * S;
            Y += DY * S;
            Out.push_back({X, Y, 0, Pen});
          }
          break;
        }
        case 9:
          while (P < End) {
            const int DX = SNext(), DY = SNext();
            if (DX == 0 && DY == 0) break;
            if (!WasSkip) {
              X += DX * S;
              Y += DY * S;
              Out.push_back({X, Y, 0, Pen});
            }
          }
          break;
        case 10: {
          const int Rr = Next(), Cc = Next();
          if (WasSkip) break;
          const double R = Rr * S;
          const bool CW = Cc & 0x80;
          const int So = (Cc >> 4) & 7, N = Cc & 15;
          const double A0 = So * 45.0;
          const double CX = X - R * std::cos(Rad(A0)), CY = Y - R * std::sin(Rad(A0));
          const double Sweep = (N == 0 ? 360.0 : N * 45.0) * (CW ? -1 : 1);
          AppendArc(Out, CX, CY, R, A0, Sweep, Pen, X, Y);
          break;
        }
        case 11: {
          const int So = Next(), Eo = Next(), Rh = Next(), Rl = Next(), Cc = Next();
          if (WasSkip) break;
          const double R = (Rh * 256 + Rl) * S;
          const bool CW = Cc & 0x80;
          const int Oct = (Cc >> 4) & 7;
          const int N = (Cc & 15) == 0 ? 8 : (Cc & 15);
          const double SoD = std::ceil(So * 45.0 / 256.0);
          double EoD = std::ceil(Eo * 45.0 / 256.0);
          if (EoD < 0.9) EoD = 45;
          const double Sg = CW ? -1 : 1;
          const double A0 = Oct * 45.0 + Sg * SoD;
          const double A1 = Oct * 45.0 + Sg * ((N - 1) * 45.0 + EoD);
          const double CX = X - R * std::cos(Rad(A0)), CY = Y - R * std::sin(Rad(A0));
          AppendArc(Out, CX, CY, R, A0, A1 - A0, Pen, X, Y);
          break;
        }
        case 12: {
          const int DX = SNext(), DY = SNext(), B = SNext();
          if (!WasSkip) {
            X += DX * S;
            Y += DY * S;
            Out.push_back({X, Y, B / 127.0, Pen});
          }
          break;
        }
        case 13:
          while (P < End) {
            const int DX = SNext(), DY = SNext();
            if (DX == 0 && DY == 0) break;
            const int B = SNext();
            if (!WasSkip) {
              X += DX * S;
              Y += DY * S;
              Out.push_back({X, Y, B / 127.0, Pen});
            }
          }
          break;
        case 14:
          Skip = !Vertical;
          break;
        default:  // 15: nothing
          break;
      }
    }
    if (!std::isfinite(S) || !std::isfinite(X) || !std::isfinite(Y)) return false;
    if (Out.size() > cMaxGlyphVertices) return false;
  }
  (void)Index;
  return true;
}

TqdSHXPolyData* TqdSHXFont::BuildGlyph(int Index, bool Vertical, int Depth) {
  if (Index < 0 || Index >= int(FShapes.size())) return nullptr;
  TqdSHXRecord& R = FShapes[Index];
  const int O = Vertical ? 1 : 0;
  TqdSHXPolyData& D = Vertical ? R.ShapePolyVert : R.ShapePoly;
  if (D.Poly) return &D;
  // A shape still under construction (a subshape cycle), too deep a nesting, or
  // one that failed before: it fails now too.
  if (R.Building[O] || R.Failed[O]) return nullptr;
  if (Depth > cMaxSubshapeDepth) {
    FDepthHit = true;
    return nullptr;
  }
  std::vector<uint8_t> Bytes;
  if (!LoadShapeBytes(R, Bytes)) return nullptr;
  auto Poly = std::make_unique<TqdSHXVertexList>();
  double X = 0, Y = 0, S = 1;
  bool Pen = true;
  R.Building[O] = true;
  const bool OuterDepthHit = FDepthHit;
  FDepthHit = false;
  const bool Ok = Interpret(Index, Bytes, Vertical, *Poly, X, Y, S, Pen, nullptr, Depth);
  const bool DepthHit = FDepthHit;
  FDepthHit = OuterDepthHit || DepthHit;
  R.Building[O] = false;
  bool Finite = Ok;
  for (size_t I = 0; Finite && I < Poly->size(); ++I) {
    const TqdSHXVertex& V = (*Poly)[I];
    Finite = std::isfinite(V.X) && std::isfinite(V.Y) && std::isfinite(V.Bulge);
  }
  // A font whose glyphs together grow beyond the budget draws no more of them.
  if (Finite && FCachedVertices + Poly->size() > cMaxFontVertices) return nullptr;
  if (!Finite) {
    // Too deep from here may still build when asked for directly.
    if (!DepthHit) R.Failed[O] = true;
    return nullptr;
  }
  D.Xoff = X;
  D.Yoff = Y;
  D.Scaleoff = S;
  double MinX = 100000, MaxX = -100000, MinY = 100000, MaxY = -100000;
  auto Widen = [&](double PX, double PY) {
    MinX = std::min(MinX, PX), MaxX = std::max(MaxX, PX);
    MinY = std::min(MinY, PY), MaxY = std::max(MaxY, PY);
  };
  bool Any = false;
  for (size_t I = 1; I < Poly->size(); ++I) {
    const TqdSHXVertex& V = (*Poly)[I];
    if (!V.PenDown) continue;
    const TqdSHXVertex& A = (*Poly)[I - 1];
    Any = true;
    Widen(A.X, A.Y);
    Widen(V.X, V.Y);
    if (V.Bulge == 0) continue;
    const double DX = V.X - A.X, DY = V.Y - A.Y;
    const double Chord = std::hypot(DX, DY);
    if (Chord <= 0) continue;
    const double B = V.Bulge;
    const double Off = Chord / 2 * (1 - B * B) / (2 * B);
    const double CX = (A.X + V.X) / 2 - DY / Chord * Off, CY = (A.Y + V.Y) / 2 + DX / Chord * Off;
    const double Theta = 4 * std::atan(B);
    const int Steps = std::fabs(B) >= 0.5 ? 15 : 5;
    for (int K = 1; K < Steps; ++K) {
      const double T = Theta * K / Steps, C = std::cos(T), Sn = std::sin(T);
      Widen(CX + (A.X - CX) * C - (A.Y - CY) * Sn, CY + (A.X - CX) * Sn + (A.Y - CY) * C);
    }
  }
  if (Any) {
    D.FirstDown = MinX, D.LastDown = MaxX, D.Bottom = MinY, D.Top = MaxY;
  } else {
    D.FirstDown = D.LastDown = D.Bottom = D.Top = 0;
  }
  if (std::fabs(D.Top) > 90000) D.Top = D.Bottom = 0;
  FCachedVertices += Poly->size();
  D.Poly = std::move(Poly);
  return &D;
}

const TqdSHXPolyData* TqdSHXFont::Glyph(uint32_t Symb, bool Vertical) {
  return BuildGlyph(RecordIndex(Symb), Vertical, 0);
}

bool TqdSHXFont::GetSymbol(uint32_t Symb, double InX, double InY, const TqdFontProcParams& AFontParams,
                           TqdSHXVertexList& Poly, double& OutX, double& OutY) {
  const TqdSHXPolyData* G = Glyph(Symb, AFontParams.Vertical);
  if (!G) return false;
  Poly.reserve(Poly.size() + G->Poly->size() + 4);
  for (const TqdSHXVertex& V : *G->Poly) Poly.push_back({InX + V.X, InY + V.Y, V.Bulge, V.PenDown});
  OutX = InX + G->Xoff;
  OutY = InY + G->Yoff;
  // A big-font glyph keeps the pen on the line it started from.
  if (FKind == tkBigSHX) {
    if (AFontParams.Vertical)
      OutX = InX;
    else
      OutY = InY;
  }
  const double Adv = OutX - InX;
  if (AFontParams.Underscore) {
    const double LY = InY - 0.2 * FAbove;
    Poly.push_back({InX - 0.15 * Adv, LY, 0, false});
    Poly.push_back({OutX - 0.15 * Adv, LY, 0, true});
  }
  if (AFontParams.Overscore) {
    const double LY = InY + 1.2 * FAbove;
    Poly.push_back({InX - 0.15 * Adv, LY, 0, false});
    Poly.push_back({OutX - 0.15 * Adv, LY, 0, true});
  }
  return true;
}

bool TqdSHXFont::GetScaledSymbol(uint32_t Symb, double InX, double InY, double Scale,
                                 const TqdFontProcParams& AFontParams, TqdSHXVertexList& Poly, double& OutX,
                                 double& OutY) {
  const size_t From = Poly.size();
  double X = 0, Y = 0;
  if (!GetSymbol(Symb, 0, 0, AFontParams, Poly, X, Y)) return false;
  for (size_t I = From; I < Poly.size(); ++I) {
    Poly[I].X = InX + Scale * Poly[I].X;
    Poly[I].Y = InY + Scale * Poly[I].Y;
  }
  OutX = InX + Scale * X;
  OutY = InY + Scale * Y;
  return true;
}

int TqdSHXFont::GetCodePage() {
  if (FCodePage < 0) FCodePage = SHXBigFontCodePageValue(FName) & 0xFFFF;
  return FCodePage;
}
