// The R2004 paged container (also R2010, R2013, R2018), and the image both
// containers rebuild.
#include "DWG2004.h"

#include <algorithm>
#include <cstring>

#include "DWG.h"
#include "qdDWGBits.h"
#include "qdDWGCompress.h"

namespace {

constexpr const char* cnstHeaderCorrupted = "DWG file header is corrupted";
constexpr std::uint32_t cnstPageMapType = 0x41630E3B;
constexpr std::uint32_t cnstSectionMapType = 0x4163003B;
constexpr std::uint32_t cnstDataPageType = 0x4163043B;
// A system page decompresses to at most this, and to at most 256 times its stored
// size (the format's densest run).
constexpr std::uint64_t cnstMaxSystemPage = 64ull << 20;
// A data page of a section decompresses to at most this (0x7400 in practice).
constexpr std::uint64_t cnstMaxDataPage = 1ull << 20;
// Stored (uncompressed) data pages never exceed the writer's work buffer.
constexpr std::uint64_t cnstMaxStoredPage = 32768;

std::string Hex(std::uint64_t V) {
  static const char* D = "0123456789ABCDEF";
  std::string S;
  do {
    S.insert(S.begin(), D[V & 15]);
    V >>= 4;
  } while (V);
  return "0x" + S;
}

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'A' && X <= 'Z') X = static_cast<char>(X - 'A' + 'a');
    if (Y >= 'A' && Y <= 'Z') Y = static_cast<char>(Y - 'A' + 'a');
    if (X != Y) return false;
  }
  return true;
}

struct TPage {
  std::uint64_t Size = 0, Address = 0;
};

class TR2004Container {
public:
  TR2004Container(const std::uint8_t* AFile, std::size_t ASize, TqdDWGVersion AVersion, TdwgContainerImage& AOut)
      : F(AFile), FS(ASize), V(AVersion), Out(AOut), Cap(DWGImageCap(ASize)) {}

  void Run();

private:
  [[noreturn]] void Fail(const std::string& AWhy) {
    Out.Warnings.push_back("DWG file header: " + AWhy);
    throw EdwgError(cnstHeaderCorrupted);
  }
  // What the header points at lies past the end: the file was cut short.
  [[noreturn]] void CutShort(const std::string& AWhat) { throw EdwgError(DWGCutShortMessage(FS, AWhat)); }
  std::vector<std::uint8_t> SystemPage(std::uint64_t AAddress, std::uint32_t AType, const char* AWhat);
  void ReadSection(int ARecord, const std::string& AName, const std::uint8_t* ADesc, const std::uint8_t* APages);
  // One data page into ADst (ASize bytes, zero-filled); throws on damage.
  void DataPage(std::uint64_t AAddress, bool ACompressed, std::uint8_t* ADst, std::size_t ASize);
  std::vector<std::uint8_t> FLastPage;  // the last page of a section, decoded

  const std::uint8_t* F;
  std::size_t FS;
  TqdDWGVersion V;
  TdwgContainerImage& Out;
  std::uint64_t Cap;
  std::uint64_t Used = 0;  // section bytes so far, against Cap
  std::uint32_t MaxPage = 0;
  std::vector<TPage> Pages;
  TdwgSections Sections;
  TqdDWG2010Compressor Decompressor;
};

std::vector<std::uint8_t> TR2004Container::SystemPage(std::uint64_t A, std::uint32_t AType, const char* AWhat) {
  if (A > FS || FS - A < 20) {
    if (A < FS + (std::uint64_t{1} << 30)) CutShort(std::string("the ") + AWhat + " at " + Hex(A));
    Fail(std::string(AWhat) + " at " + Hex(A) + " lies beyond the end of the file");
  }
  std::uint8_t Head[20];
  std::memcpy(Head, F + A, 20);
  const std::uint32_t Type = qdLoadRL(Head), DSize = qdLoadRL(Head + 4), CSize = qdLoadRL(Head + 8), Comp = qdLoadRL(Head + 12),
                      Sum = qdLoadRL(Head + 16);
  if (Type != AType || Comp != 2) Fail(std::string(AWhat) + " at " + Hex(A) + ": not a compressed system page");
  if (CSize > FS - A - 20 && CSize <= cnstMaxSystemPage)
    CutShort(std::string("the end of the ") + AWhat + " at " + Hex(A));
  if (CSize > FS - A - 20)
    Fail(std::string(AWhat) + " at " + Hex(A) + ": " + std::to_string(CSize) + " stored bytes run past the end");
  if (DSize == 0 || DSize > cnstMaxSystemPage || DSize > 256ull * CSize)
    Fail(std::string(AWhat) + " at " + Hex(A) + ": implausible size " + std::to_string(DSize));
  std::memset(Head + 16, 0, 4);
  const std::uint8_t* Data = F + A + 20;
  if (DWGPageChecksum(DWGPageChecksum(0, Head, 20), Data, CSize) != Sum)
    Fail(std::string(AWhat) + " at " + Hex(A) + ": checksum mismatch");
  std::vector<std::uint8_t> R(DSize);
  if (Decompressor.Decompress(Data, R.data(), DSize, CSize) != DSize)
    Fail(std::string(AWhat) + " at " + Hex(A) + ": decompresses to a different size");
  return R;
}

void TR2004Container::DataPage(std::uint64_t A, bool ACompressed, std::uint8_t* ADst, std::size_t ASize) {
  if (A > FS || FS - A < 32) throw EdwgError("page header beyond the end of the file");
  std::uint32_t H[8];
  std::memcpy(H, F + A, 32);
  const std::uint32_t Key = 0x4164536Bu ^ static_cast<std::uint32_t>(A);
  for (std::uint32_t& W : H) W ^= Key;
  if (H[0] != cnstDataPageType) throw EdwgError("not a data page");
  const std::uint64_t CS = H[2];
  if (CS > FS - A - 32) throw EdwgError(std::to_string(CS) + " stored bytes run past the end of the file");
  if (!ACompressed) {
    if (CS > cnstMaxStoredPage || CS > ASize) throw EdwgError("stored page of " + std::to_string(CS) + " bytes");
    std::memcpy(ADst, F + A + 32, CS);
    return;
  }
  (void)Decompressor.Decompress(F + A + 32, ADst, ASize, CS);
}

void TR2004Container::ReadSection(int ARecord, const std::string& AName, const std::uint8_t* D,
                                  const std::uint8_t* APages) {
  const std::uint64_t DataSize = qdLoadRLL(D);
  const std::uint32_t N = qdLoadRL(D + 8), PageSize = qdLoadRL(D + 12);
  const bool Compressed = qdLoadRL(D + 20) == 2;
  const std::string Where = "DWG section \"" + AName + "\"";
  if (PageSize == 0 || PageSize > cnstMaxDataPage || DataSize > static_cast<std::uint64_t>(N) * PageSize ||
      DataSize > Cap - Used) {
    Out.Warnings.push_back(Where + ": implausible sizes (" + std::to_string(DataSize) + " bytes in " +
                           std::to_string(N) + " pages of " + std::to_string(PageSize) + "), section dropped");
    return;
  }
  std::vector<std::uint8_t>& S = Sections.Data[ARecord];
  S.clear();
  // The data is reserved at once (grown by doubling, large sections were held twice).
  S.reserve(static_cast<std::size_t>(DataSize));
  bool Failed = false;
  std::uint32_t Absent = 0;
  for (std::uint32_t I = 0; I < N; ++I) {
    const std::uint8_t* P = APages + 16ull * I;
    const std::uint32_t Number = qdLoadRL(P);
    std::int64_t Size = PageSize;
    if (I + 1 < N) Size = static_cast<std::int64_t>(qdLoadRLL(P + 16 + 8) - qdLoadRLL(P + 8));
    if (Size <= 0 || static_cast<std::uint64_t>(Size) > PageSize) {
      Out.Warnings.push_back(Where + ": page " + std::to_string(I) + " has an implausible size (" +
                             std::to_string(Size) + "), section dropped");
      S.clear();
      return;
    }
    if (Number >= Pages.size() || Pages[Number].Size == 0) {  // absent
      ++Absent;
      continue;
    }
    if (S.size() + static_cast<std::uint64_t>(Size) > Cap - Used) {
      Out.Warnings.push_back(Where + ": larger than the reader takes, section dropped");
      S.clear();
      return;
    }
    const std::size_t Old = S.size();
    // The last page of a section is mostly shorter than a page: it is decoded aside
    // and only the section's part kept, so that small sections do not each hold a
    // whole page.
    const bool Aside = I + 1 == N && DataSize < Old + static_cast<std::uint64_t>(Size);
    std::uint8_t* Dst = nullptr;
    if (Aside) {
      FLastPage.assign(static_cast<std::size_t>(Size), 0);
      Dst = FLastPage.data();
    } else {
      // Zero-filled, so that what a damaged page leaves unwritten is never stale memory.
      S.resize(Old + static_cast<std::size_t>(Size), 0);
      Dst = S.data() + Old;
    }
    try {
      DataPage(Pages[Number].Address, Compressed, Dst, static_cast<std::size_t>(Size));
      if (Aside)
        S.insert(S.end(), FLastPage.begin(),
                 FLastPage.begin() + static_cast<std::ptrdiff_t>(DataSize > Old ? DataSize - Old : 0));
    } catch (const std::exception& X) {
      if (Aside) S.insert(S.end(), FLastPage.begin(), FLastPage.end());
      Out.Warnings.push_back(Where + ": page " + std::to_string(Number) + " at " + Hex(Pages[Number].Address) +
                             " is damaged (" + X.what() + "); the section is cut short after " +
                             std::to_string(Old) + " bytes");
      Failed = true;
      break;
    }
  }
  if (Absent)
    Out.Warnings.push_back(Where + ": " + std::to_string(Absent) + " of " + std::to_string(N) +
                           " pages are not in the page map");
  if (!Failed) S.resize(static_cast<std::size_t>(DataSize), 0);
  if (S.empty()) return;
  Used += S.size();
  Sections.Present[ARecord] = true;
}

void TR2004Container::Run() {
  if (FS < 0x100) CutShort("the end of its header");
  std::uint8_t H[0x6C];
  std::memcpy(H, F + 0x80, 0x6C);
  DWGUnscrambleHeader(H, 0x6C);
  {
    std::uint8_t C[0x6C];
    std::memcpy(C, H, 0x6C);
    std::memset(C + 0x68, 0, 4);
    if (CRC32(0, C, 0x6C) != qdLoadRL(H + 0x68)) Fail("checksum mismatch");
  }
  static const char cnstSignature[12] = "AcFssFcAJMB";
  if (std::memcmp(H, cnstSignature, 12) != 0 || qdLoadRL(H + 0x0C) != 0 || qdLoadRL(H + 0x10) != 0x6C || qdLoadRL(H + 0x14) != 4 ||
      qdLoadRL(H + 0x44) != 0x20 || qdLoadRL(H + 0x48) != 0x80 || qdLoadRL(H + 0x4C) != 0x40)
    Fail("signature or constants do not match");
  {
    const std::uint64_t A2 = qdLoadRLL(H + 0x34);
    if (A2 > FS || FS - A2 < 0x6C) CutShort("the second header copy at " + Hex(A2));
    std::uint8_t C[0x6C];
    std::memcpy(C, F + A2, 0x6C);
    DWGUnscrambleHeader(C, 0x6C);
    if (std::memcmp(C, H, 0x6C) != 0) Fail("the two header copies differ");
  }
  // Every page has at least a 32-byte header after the first 0x100 bytes.
  MaxPage = qdLoadRL(H + 0x60);
  if (MaxPage > (FS - 0x100) / 32) Fail(std::to_string(MaxPage) + " pages cannot fit the file");
  Pages.assign(static_cast<std::size_t>(MaxPage) + 2, TPage{});
  const std::uint64_t MapAt = qdLoadRLL(H + 0x54);
  if (MapAt > FS) {
    if (MapAt < FS + (std::uint64_t{1} << 30)) CutShort("the page map at " + Hex(MapAt));
    Fail("the page map at " + Hex(MapAt) + " lies beyond the end of the file");
  }
  const std::vector<std::uint8_t> Map = SystemPage(MapAt + 0x100, cnstPageMapType, "page map");
  std::uint64_t Address = 0x100;
  std::int64_t Last = 0;
  for (std::size_t P = 0; Map.size() - P >= 8;) {
    const std::int32_t Number = static_cast<std::int32_t>(qdLoadRL(Map.data() + P));
    const std::uint32_t Size = qdLoadRL(Map.data() + P + 4);
    P += 8;
    if (Number < 0) {
      if (Map.size() - P < 16) Fail("page map gap entry cut short");
      P += 16;  // parent, left, right, 0
    } else {
      if (static_cast<std::uint32_t>(Number) > MaxPage) Fail("page number " + std::to_string(Number) + " above the highest");
      Pages[static_cast<std::size_t>(Number)] = {Size, Address};
    }
    Last = Number;
    Address += Size;
  }
  if (Last != static_cast<std::int64_t>(qdLoadRL(H + 0x28)) || qdLoadRLL(H + 0x2C) + 0x100 != Address)
    Fail("the page map does not match the header");
  const std::uint32_t SecMapPage = qdLoadRL(H + 0x5C);
  if (SecMapPage >= Pages.size() || Pages[SecMapPage].Size == 0) Fail("the section map page is not in the page map");
  const std::vector<std::uint8_t> SM = SystemPage(Pages[SecMapPage].Address, cnstSectionMapType, "section map");
  if (SM.size() < 20 || qdLoadRL(SM.data() + 4) != 2 || qdLoadRL(SM.data() + 8) != 0x7400 || qdLoadRL(SM.data() + 12) != 0)
    Fail("the section map head does not match");
  const std::uint32_t Count = qdLoadRL(SM.data());
  std::size_t P = 20;
  for (std::uint32_t I = 0; I < Count; ++I) {
    if (SM.size() - P < 96) {
      Out.Warnings.push_back("DWG section map cannot be read completely: " + std::to_string(I) + " of " +
                             std::to_string(Count) + " descriptions");
      break;
    }
    const std::uint8_t* D = SM.data() + P;
    const std::uint64_t N = qdLoadRL(D + 8);
    const std::uint64_t PagesBytes = 16 * N;  // 64-bit: N is an RL
    if (PagesBytes > SM.size() - P - 96) {
      Out.Warnings.push_back("DWG section map cannot be read completely: " + std::to_string(I) + " of " +
                             std::to_string(Count) + " descriptions");
      break;
    }
    const char* NameAt = reinterpret_cast<const char*>(D + 32);
    const std::string Name(NameAt, strnlen(NameAt, 64));
    P += 96 + static_cast<std::size_t>(PagesBytes);
    const int Record = DWGSectionRecord(Name, V);
    if (Record < 0 || N == 0 || N > static_cast<std::uint64_t>(MaxPage) + 1) continue;
    if (Sections.Present[Record]) continue;  // the first description stays
    ReadSection(Record, Name, D, D + 96);
  }
  const std::uint16_t CP = static_cast<std::uint16_t>(F[19] | (F[20] << 8));
  BuildDWGImage("AC1024", CP, Sections, Sections.Present[6] ? 7 : 6, Out);
}

} // namespace

int DWGSectionRecord(std::string_view AName, TqdDWGVersion AVersion) {
  static const char* const cnstNames[6] = {"AcDb:Header",     "AcDb:Classes",     "AcDb:Handles",
                                           "AcDb:AcDbObjects", "AcDb:SummaryInfo", "AcDb:Template"};
  for (int I = 0; I < 6; ++I)
    if (SameText(AName, cnstNames[I])) return I;
  if (AVersion >= acR2013 && SameText(AName, "AcDb:AcDsPrototype_1b")) return 6;
  return -1;
}

std::uint64_t DWGImageCap(std::size_t AFileSize) {
  const std::uint64_t ByFile = std::max<std::uint64_t>(64ull * AFileSize, 16ull << 20);
  return std::min<std::uint64_t>(ByFile, TdwgLimits::MaxImageBytes);
}

void BuildDWGImage(const char* AVersionText, std::uint16_t ACodePageIndex, TdwgSections& S, int ARecords,
                   TdwgContainerImage& AOut) {
  const std::size_t Head = 25 + 9 * static_cast<std::size_t>(ARecords);
  std::size_t Total = std::max<std::size_t>(Head, 88);
  for (int I = 0; I < ARecords; ++I)
    if (S.Present[I]) Total += S.Data[I].size();
  AOut.Data.assign(Total + TdwgLimits::ImagePadding, 0);
  std::uint8_t* D = AOut.Data.data();
  std::memcpy(D, AVersionText, 6);
  D[19] = static_cast<std::uint8_t>(ACodePageIndex);
  D[20] = static_cast<std::uint8_t>(ACodePageIndex >> 8);
  const std::uint32_t N = static_cast<std::uint32_t>(ARecords);
  std::memcpy(D + 21, &N, 4);
  std::size_t At = std::max<std::size_t>(Head, 88);
  for (int I = 0; I < ARecords; ++I) {
    std::uint8_t* R = D + 25 + 9 * I;
    R[0] = static_cast<std::uint8_t>(I);
    std::uint32_t Seeker = 0, Size = 0;
    if (S.Present[I] && !S.Data[I].empty()) {
      Seeker = static_cast<std::uint32_t>(At);
      Size = static_cast<std::uint32_t>(S.Data[I].size());
      std::memcpy(D + At, S.Data[I].data(), S.Data[I].size());
      At += S.Data[I].size();
    }
    std::memcpy(R + 1, &Seeker, 4);
    std::memcpy(R + 5, &Size, 4);
    std::vector<std::uint8_t>().swap(S.Data[I]);
  }
  AOut.Size = Total;
  AOut.Records = ARecords;
}

void ReadDWG2004Container(const std::uint8_t* AFile, std::size_t ASize, TqdDWGVersion AVersion,
                          TdwgContainerImage& AOut) {
  TR2004Container C(AFile, ASize, AVersion, AOut);
  C.Run();
}
