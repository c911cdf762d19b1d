// The R2007 container: Reed-Solomon protected header and system pages, 64-bit page
// and section maps, pages in the R2007 compression.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "DWG.h"
#include "DWG2004.h"
#include "qdDWGBits.h"
#include "qdDWGCompress.h"

namespace {

constexpr const char* cnstHeaderCorrupted = "DWG file header is corrupted";
constexpr std::uint64_t cnstPagesBase = 0x480;
// Bounds of the system pages' sizes and correction factor (real files use a few KB
// and factors of 1 to 4).
constexpr std::uint64_t cnstMaxSystemBytes = 16ull << 20;
constexpr std::uint64_t cnstMaxFactor = 0x10000;
// A section's page size is at most this (0xF800 in practice).
constexpr std::uint64_t cnstMaxDataPage = 4ull << 20;

struct TPage2007 {
  std::uint64_t Size = 0, Offset = 0;
};

class TR2007Container {
public:
  TR2007Container(const std::uint8_t* AFile, std::size_t ASize, TdwgContainerImage& AOut)
      : F(AFile), FS(ASize), Out(AOut), Cap(DWGImageCap(ASize)) {}
  void Run();

private:
  [[noreturn]] void Fail(const std::string& AWhy) {
    Out.Warnings.push_back("DWG file header: " + AWhy);
    throw EdwgError(cnstHeaderCorrupted);
  }
  // What the header points at lies past the end: the file was cut short.
  [[noreturn]] void CutShort(const std::string& AWhat) { throw EdwgError(DWGCutShortMessage(FS, AWhat)); }
  std::vector<std::uint8_t> SystemPage(std::uint64_t AOffset, std::uint64_t ACSize, std::uint64_t AUSize,
                                       std::uint64_t AFactor, const char* AWhat);
  void LoadSection(int ARecord, const std::string& AName, std::uint64_t APageSize, std::uint64_t AEncoded,
                   const std::uint8_t* APages, std::uint64_t ACount);
  void LoadPage(std::vector<std::uint8_t>& S, const std::uint8_t* ARec, std::uint64_t APageSize,
                std::uint64_t AEncoded);

  const std::uint8_t* F;
  std::size_t FS;
  TdwgContainerImage& Out;
  std::uint64_t Cap;
  std::uint64_t Used = 0;
  std::unordered_map<std::int64_t, TPage2007> Pages;
  TdwgSections Sections;
  TqdDWG2007Decompressor Decompressor;
  std::vector<std::uint8_t> Work;
};

std::vector<std::uint8_t> TR2007Container::SystemPage(std::uint64_t AOffset, std::uint64_t CS, std::uint64_t US,
                                                      std::uint64_t AFactor, const char* AWhat) {
  const std::string Where = std::string(AWhat) + " at " + std::to_string(AOffset);
  if (CS == 0 || US == 0 || CS > cnstMaxSystemBytes || US > cnstMaxSystemBytes || AFactor == 0 ||
      AFactor > cnstMaxFactor)
    Fail(Where + ": implausible sizes");
  const std::uint64_t O = ((CS + 7) & ~std::uint64_t{7}) * AFactor;  // below 2^41 by the bounds
  const std::uint64_t Blocks = (O + 238) / 239;
  const std::uint64_t Raw = (Blocks * 255 + 255) & ~std::uint64_t{255};
  if (AOffset > FS - cnstPagesBase || Raw > FS - cnstPagesBase - AOffset) {
    // Past the end but near it: the file was cut; far beyond any size: damage.
    if (AOffset < (std::uint64_t{1} << 30)) CutShort("the end of the " + Where + " (" + std::to_string(Raw) + " bytes)");
    Fail(Where + ": " + std::to_string(Raw) + " bytes run past the end of the file");
  }
  std::vector<std::uint8_t> Decoded;
  const std::size_t Got = RSDeinterleave(TqdRSCoder::System(), F + cnstPagesBase + AOffset,
                                         static_cast<std::size_t>(Raw), static_cast<std::size_t>(Blocks), Decoded,
                                         static_cast<std::size_t>(O));
  std::vector<std::uint8_t> R(static_cast<std::size_t>(US), 0);
  // Only what the de-interleaving produced is decompressed.
  (void)Decompressor.Decompress(Decoded.data(), std::min<std::size_t>(static_cast<std::size_t>(CS), Got),
                                R.size(), R.data());
  return R;
}

void TR2007Container::LoadPage(std::vector<std::uint8_t>& S, const std::uint8_t* Rec, std::uint64_t APageSize,
                               std::uint64_t AEncoded) {
  const std::int64_t Id = static_cast<std::int64_t>(qdLoadRLL(Rec + 16));
  std::uint64_t USize = qdLoadRLL(Rec + 24), CSize = qdLoadRLL(Rec + 32);
  const auto It = Pages.find(Id);
  if (It == Pages.end()) throw EdwgError("page " + std::to_string(Id) + " is not in the page map");
  const TPage2007& P = It->second;
  if (P.Offset > FS - cnstPagesBase || P.Size > FS - cnstPagesBase - P.Offset)
    throw EdwgError("page " + std::to_string(Id) + " lies beyond the end of the file");
  // Real pages exceed their section's page size by a few KB; twice is damage.
  if (USize > 2 * APageSize) throw EdwgError("page " + std::to_string(Id) + " much larger than its section's pages");
  if (USize > Cap - Used - S.size()) throw EdwgError("the section is larger than the reader takes");
  const std::uint8_t* Src = F + cnstPagesBase + P.Offset;
  std::size_t SrcSize = static_cast<std::size_t>(P.Size);
  if (AEncoded == 4) {
    const std::uint64_t Blocks = (((CSize + 7) & ~std::uint64_t{7}) + 250) / 251;
    // A page holds at most its stored size / 255 blocks.
    if (Blocks > SrcSize / 255 + 1) throw EdwgError("page " + std::to_string(Id) + ": more blocks than bytes");
    SrcSize = RSDeinterleave(TqdRSCoder::Data(), Src, SrcSize, static_cast<std::size_t>(Blocks), Work,
                             static_cast<std::size_t>(Blocks * 251));
    Src = Work.data();
  }
  CSize = std::min<std::uint64_t>(CSize, SrcSize);
  const std::size_t Old = S.size();
  S.resize(Old + static_cast<std::size_t>(USize), 0);
  try {
    if (CSize == USize)
      std::memcpy(S.data() + Old, Src, static_cast<std::size_t>(CSize));
    else
      (void)Decompressor.Decompress(Src, static_cast<std::size_t>(CSize), static_cast<std::size_t>(USize),
                                    S.data() + Old);
  } catch (...) {
    S.resize(Old);
    throw;
  }
}

void TR2007Container::LoadSection(int ARecord, const std::string& AName, std::uint64_t APageSize,
                                  std::uint64_t AEncoded, const std::uint8_t* APages, std::uint64_t ACount) {
  const std::string Where = "DWG section \"" + AName + "\"";
  if (APageSize == 0 || APageSize > cnstMaxDataPage) {
    Out.Warnings.push_back(Where + ": implausible page size " + std::to_string(APageSize) + ", section dropped");
    return;
  }
  std::vector<std::uint8_t>& S = Sections.Data[ARecord];
  S.clear();
  std::size_t Lost = 0;
  std::string First;
  for (std::uint64_t I = 0; I < ACount; ++I) {
    try {
      LoadPage(S, APages + 56 * I, APageSize, AEncoded);
    } catch (const std::exception& X) {
      if (!Lost++) First = X.what();
    }
  }
  if (Lost)
    Out.Warnings.push_back(Where + ": " + std::to_string(Lost) + " of " + std::to_string(ACount) +
                           " pages damaged and left out (first: " + First + ")");
  if (S.empty()) return;
  Used += S.size();
  Sections.Present[ARecord] = true;
}

void TR2007Container::Run() {
  if (FS < cnstPagesBase) CutShort("the end of its header");
  std::vector<std::uint8_t> Hd;
  RSDeinterleave(TqdRSCoder::System(), F + 0x80, 0x400, 3, Hd, 717);
  // Signed: a negative size must not reach the decompressor as a huge one.
  const std::int32_t C = static_cast<std::int32_t>(qdLoadRL(Hd.data() + 24));
  if (C < 0 || C > 272) throw EdwgError("Error in DWG 2007 header");
  std::uint8_t H[272] = {};
  (void)Decompressor.Decompress(Hd.data() + 32, static_cast<std::size_t>(C), sizeof H, H);
  const std::uint64_t Highest = qdLoadRLL(H + 0x68);
  const std::vector<std::uint8_t> Map =
      SystemPage(qdLoadRLL(H + 0x38), qdLoadRLL(H + 0x50), qdLoadRLL(H + 0x58), qdLoadRLL(H + 0x18), "page map");
  std::uint64_t Offset = 0;
  for (std::size_t P = 0; Map.size() - P >= 16; P += 16) {
    const std::uint64_t Size = qdLoadRLL(Map.data() + P);
    const std::int64_t Id = static_cast<std::int64_t>(qdLoadRLL(Map.data() + P + 8));
    // The magnitude in unsigned arithmetic: INT64_MIN has no signed one.
    const std::uint64_t Mag = Id < 0 ? 0 - static_cast<std::uint64_t>(Id) : static_cast<std::uint64_t>(Id);
    if (Mag > Highest) continue;
    Pages[Id] = {Size, Offset};
    // Offsets past the file stop mattering: every use checks them.
    Offset = Size > ~Offset ? ~std::uint64_t{0} : Offset + Size;
  }
  const auto SM = Pages.find(static_cast<std::int64_t>(qdLoadRLL(H + 0xC0)));
  if (SM == Pages.end()) Fail("the section map page is not in the page map");
  const std::vector<std::uint8_t> Secs =
      SystemPage(SM->second.Offset, qdLoadRLL(H + 0xB0), qdLoadRLL(H + 0xC8), qdLoadRLL(H + 0xD8), "section map");
  std::size_t P = 0;
  while (Secs.size() - P >= 64) {
    const std::uint8_t* R = Secs.data() + P;
    const std::uint64_t PageSize = qdLoadRLL(R + 8), NameLen = qdLoadRLL(R + 32), Encoded = qdLoadRLL(R + 48);
    const std::int64_t Count = static_cast<std::int64_t>(qdLoadRLL(R + 56));
    P += 64;
    if (NameLen > Secs.size() - P) {
      Out.Warnings.push_back("DWG section map cannot be read completely");
      break;
    }
    std::string Name = UTF16LEToUTF8(Secs.data() + P, static_cast<std::size_t>(NameLen / 2));
    while (!Name.empty() && Name.back() == '\0') Name.pop_back();
    P += static_cast<std::size_t>(NameLen);
    const std::uint64_t N = Count > 0 ? static_cast<std::uint64_t>(Count) : 0;
    if (N > (Secs.size() - P) / 56) {
      Out.Warnings.push_back("DWG section map cannot be read completely");
      break;
    }
    const std::uint8_t* Recs = Secs.data() + P;
    P += static_cast<std::size_t>(N * 56);
    if (N == 0 || N - 1 > Highest) continue;
    const int Record = DWGSectionRecord(Name, acR2007);
    if (Record < 0 || Sections.Present[Record]) continue;
    LoadSection(Record, Name, PageSize, Encoded, Recs, N);
  }
  const std::uint16_t CP = static_cast<std::uint16_t>(F[19] | (F[20] << 8));
  BuildDWGImage("AC1021", CP, Sections, 6, Out);
}

} // namespace

void ReadDWG2007Container(const std::uint8_t* AFile, std::size_t ASize, TdwgContainerImage& AOut) {
  TR2007Container C(AFile, ASize, AOut);
  C.Run();
}
