// Unpacking plot files (gzip, zip, UTF-16, envelopes), the plotter converter's
// preparation and the reader's registration.
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "HPGL2.h"
#include "Properties.h"
#include "TableItems.h"

namespace {

bool StartsWith(const std::uint8_t* D, std::size_t N, const char* S) {
  const std::size_t L = std::strlen(S);
  return N >= L && std::memcmp(D, S, L) == 0;
}

// Inflates gzip data (every member) into ADst, or only counts its bytes when ADst is
// null; throws beyond the cap.
std::size_t Inflate(const std::uint8_t* D, std::size_t N, std::uint8_t* ADst, std::size_t ADstSize) {
  z_stream Z{};
  if (inflateInit2(&Z, 15 + 32) != Z_OK) throw EqdHPGLError("Cannot unpack the gzip data");
  std::vector<std::uint8_t> Scratch(ADst ? 0 : 1 << 16);
  std::size_t Total = 0;
  std::size_t In = 0;
  int Rc = Z_OK;
  while (In < N) {
    const std::size_t Chunk = std::min<std::size_t>(N - In, 1u << 30);
    Z.next_in = const_cast<Bytef*>(D + In);
    Z.avail_in = static_cast<uInt>(Chunk);
    do {
      std::size_t Room = Scratch.size();
      if (ADst) {
        Room = std::min<std::size_t>(ADstSize - Total, 1u << 30);
        Z.next_out = ADst + Total;
      } else {
        Z.next_out = Scratch.data();
      }
      // A full destination still offers one spare byte, so that inflate can reach the
      // end of a member; a byte written there is more than was counted.
      std::uint8_t Spare;
      if (Room == 0) {
        Z.next_out = &Spare;
        Room = 1;
      }
      Z.avail_out = static_cast<uInt>(Room);
      Rc = inflate(&Z, Z_NO_FLUSH);
      if (Rc != Z_OK && Rc != Z_STREAM_END && Rc != Z_BUF_ERROR) break;
      const std::size_t Got = Room - Z.avail_out;
      if (Total + Got > cnstHPGLMaxUnpacked || (ADst && Z.next_out == &Spare + 1)) {
        inflateEnd(&Z);
        throw EqdHPGLError("The gzip data unpacks to more than 1 GiB");
      }
      Total += Got;
      if (Rc == Z_STREAM_END) break;
    } while (Z.avail_out == 0);
    const std::size_t Used = Chunk - Z.avail_in;
    In += Used;
    if (Rc == Z_STREAM_END) {
      // Another member may follow; trailing garbage ends the data.
      if (In < N && N - In >= 2 && D[In] == 0x1F && D[In + 1] == 0x8B) {
        inflateReset(&Z);
        continue;
      }
      break;
    }
    if (Rc != Z_OK && Rc != Z_BUF_ERROR) break;
    if (Used == 0) break;
  }
  inflateEnd(&Z);
  return Total;
}

// Inflates gzip data (every member) up to the cap. The size is counted first, so that
// a bomb is refused without holding its output, and the data is then unpacked once
// into a buffer of its size.
void Gunzip(const std::uint8_t* D, std::size_t N, std::vector<std::uint8_t>& Out) {
  const std::size_t Size = Inflate(D, N, nullptr, 0);
  Out.resize(Size);
  Out.resize(Inflate(D, N, Out.data(), Size));
}

// The data of the first entry that is not a directory; false when the archive is
// unreadable (then the bytes are read as they are).
bool FirstZipEntry(const std::uint8_t* D, std::size_t N, std::vector<std::uint8_t>& Out, std::string& AName) {
  zip_error_t Err;
  zip_error_init(&Err);
  zip_source_t* Src = zip_source_buffer_create(D, N, 0, &Err);
  if (!Src) {
    zip_error_fini(&Err);
    return false;
  }
  zip_t* Z = zip_open_from_source(Src, ZIP_RDONLY, &Err);
  if (!Z) {
    zip_source_free(Src);
    zip_error_fini(&Err);
    return false;
  }
  bool Ok = false;
  const zip_int64_t Count = zip_get_num_entries(Z, 0);
  for (zip_int64_t I = 0; I < Count && !Ok; ++I) {
    const char* Name = zip_get_name(Z, static_cast<zip_uint64_t>(I), 0);
    if (!Name) continue;
    const std::size_t L = std::strlen(Name);
    if (L == 0 || Name[L - 1] == '/') continue;
    // A declared size beyond the cap is refused before anything is unpacked; the
    // data is still checked against the cap as it comes, a size can lie.
    zip_stat_t St;
    zip_stat_init(&St);
    bool Bomb = zip_stat_index(Z, static_cast<zip_uint64_t>(I), 0, &St) == 0 && (St.valid & ZIP_STAT_SIZE) &&
                St.size > cnstHPGLMaxUnpacked;
    zip_file_t* F = Bomb ? nullptr : zip_fopen_index(Z, static_cast<zip_uint64_t>(I), 0);
    if (!F && !Bomb) break;
    Out.clear();
    if (F && (St.valid & ZIP_STAT_SIZE)) Out.reserve(static_cast<std::size_t>(St.size));
    std::vector<std::uint8_t> Buf(1 << 16);
    while (F) {
      const zip_int64_t Got = zip_fread(F, Buf.data(), Buf.size());
      if (Got <= 0) break;
      if (Out.size() + static_cast<std::size_t>(Got) > cnstHPGLMaxUnpacked) {
        Bomb = true;
        break;
      }
      Out.insert(Out.end(), Buf.data(), Buf.data() + Got);
    }
    if (F) zip_fclose(F);
    if (Bomb) {
      zip_close(Z);
      zip_error_fini(&Err);
      throw EqdHPGLError("The zip entry unpacks to more than 1 GiB");
    }
    AName = Name;
    Ok = true;
  }
  zip_discard(Z);
  zip_error_fini(&Err);
  return Ok;
}

const char* const cLineTypeElements[17] = {
    "2.5,-1,0,-1,1,-1,0,-1", "3.5,-1,0,-1,0,-1", "2.5,-1,1,-1,1,-1", "3.5,-1,1,-1,3.5", "4,-1,0,-1,4",
    "3.5,-3",                "2.5,-5",           "0,-10",            "0,-10",           "0,-10",
    "5,-5",                  "7,-3",             "8,-1,0,-1",        "7,-1,1,-1",       "5,-1,1,-1,1,-1",
    "7,-1,0,-1,0,-1",        "5,-1,0,-1,1,-1,0,-1"};

}  // namespace

std::string HPGLLineTypeName(int I) {
  char B[16];
  std::snprintf(B, sizeof B, "LType_%.3d", I);
  return B;
}

void qdUnpackPlotData(const std::uint8_t* AData, std::size_t ASize, std::vector<std::uint8_t>& AOut,
                      const std::uint8_t*& AView, std::size_t& AViewSize, std::vector<std::string>& ANotes) {
  AView = AData;
  AViewSize = AData ? ASize : 0;
  // Wrappings may nest (a zipped gzip file): a few levels at most.
  for (int Level = 0; Level < 4; ++Level) {
    if (AViewSize >= 2 && AView[0] == 0x1F && AView[1] == 0x8B) {
      std::vector<std::uint8_t> T;
      Gunzip(AView, AViewSize, T);
      AOut = std::move(T);
      AView = AOut.data();
      AViewSize = AOut.size();
      continue;
    }
    if (StartsWith(AView, AViewSize, "PK\x03\x04")) {
      std::vector<std::uint8_t> T;
      std::string Name;
      if (!FirstZipEntry(AView, AViewSize, T, Name)) {
        ANotes.push_back("The zip archive cannot be read; its bytes are read as plot data");
        break;
      }
      AOut = std::move(T);
      AView = AOut.data();
      AViewSize = AOut.size();
      continue;
    }
    break;
  }
  // UTF-16 text: the first non-zero byte followed by a zero byte, and then 0xFF or a
  // zero two bytes on.
  std::size_t F = 0;
  while (F < AViewSize && AView[F] == 0) ++F;
  if (F + 2 < AViewSize && AView[F + 1] == 0 && (AView[F + 2] == 0xFF || (F + 3 < AViewSize && AView[F + 3] == 0))) {
    std::vector<std::uint8_t> T;
    T.reserve(AViewSize / 2);
    for (std::size_t I = 0; I + 1 < AViewSize; I += 2) {
      const unsigned U = AView[I] | (AView[I + 1] << 8);
      if (U == 0xFEFF) continue;
      T.push_back(U < 256 ? static_cast<std::uint8_t>(U) : '?');
    }
    AOut = std::move(T);
    AView = AOut.data();
    AViewSize = AOut.size();
  }
  auto Skip = [&](const char* Begin, const char* End) {
    if (!StartsWith(AView, AViewSize, Begin)) return;
    const std::string_view S(reinterpret_cast<const char*>(AView), AViewSize);
    const std::size_t At = S.find(End);
    if (At == std::string_view::npos) return;
    const std::size_t Off = At + std::strlen(End);
    AView += Off;
    AViewSize -= Off;
  };
  Skip("##HDI START", "##HDI END");
  Skip("BEGMF", "ENDMF");
}

TqdHPGLConverter::TqdHPGLConverter() { Prepare(*this); }

void TqdHPGLConverter::Prepare(TqdDXFConverter& C) {
  C.SetUseSHXFonts(false);
  TqdDXFEntity* LTypes = C.GetOrCreateSection(csLTypes);
  for (int I = 0; I < 17 && LTypes; ++I) {
    const std::string Name = HPGLLineTypeName(I + 1);
    if (C.LTypeByName(Name)) continue;
    auto* LT = dynamic_cast<TqdDXFLineType*>(C.NewNamedEntity(LTypes, ClassOf<TqdDXFLineType>(), Name));
    if (!LT) continue;
    const char* P = cLineTypeElements[I];
    while (*P) {
      char* End = nullptr;
      const double V = std::strtod(P, &End);
      if (End == P) break;
      TqdLineTypeElement E;
      E.Dash = V;
      LT->AddElement(E);
      P = *End == ',' ? End + 1 : End;
    }
    C.Loads(LT);
  }
  if (TqdDXFStyle* S = C.StyleByName("STANDARD")) {
    S->FFontName = "Courier New";
    S->FPrimaryFont = "cour.ttf";
    S->FSHXStyle = false;
    C.Loads(S);
  }
}

TqdLoadResult LoadHPGLDrawing(const void* AData, std::size_t ASize, TqdDXFConverter& AConverter,
                              const TqdLoadOptions& AOptions) {
  TqdLoadResult R;
  R.Format = "hpgl";
  std::vector<std::uint8_t> Unpacked;
  const std::uint8_t* View = nullptr;
  std::size_t ViewSize = 0;
  std::vector<std::string> Notes;
  AConverter.Clear();
  AConverter.ResetHeader();
  try {
    qdUnpackPlotData(static_cast<const std::uint8_t*>(AData), ASize, Unpacked, View, ViewSize, Notes);
  } catch (const std::exception& X) {
    R.Error = X.what();
    View = nullptr;
    ViewSize = 0;
  }
  TqdHPGLConverter::Prepare(AConverter);
  AConverter.SetSourceView(View, ViewSize);
  TqdHPGLReader Reader(&AConverter, View, ViewSize);
  AConverter.SetLoadingState(true, 0);
  if (AOptions.OnProgress) {
    // Progress is of the unpacked data; the caller's limit is the file's size.
    const std::size_t FileSize = ASize;
    const bool Same = View == AData;
    Reader.SetProgress([&AOptions, FileSize, Same](std::size_t P, std::size_t L) {
      if (Same) AOptions.OnProgress(P, L);
      else AOptions.OnProgress(L ? static_cast<std::size_t>(static_cast<double>(P) / L * FileSize) : 0, FileSize);
    });
  }
  if (R.Error.empty()) {
    try {
      Reader.ReadFile();
      R.Ok = true;
    } catch (const std::exception& X) {
      R.Error = std::string("HPGL read error at byte ") + std::to_string(Reader.FPos) + ": " + X.what();
      R.Ok = true;
    }
  }
  Reader.Complete(ViewSize);
  R.Warnings = Notes;
  // Letters in random bytes read as commands too: a file whose commands are
  // mostly unknown is no plot file, whatever its name says.
  const std::size_t Known = Reader.KnownCommands(), Unknown = Reader.UnknownCommands();
  if (Known == 0 && Unknown >= 8 && View == AData && R.Error.empty()) {
    R.Error = "Not a plot file: it holds no HPGL/2 command";
    R.Ok = false;
  }
  else if (Unknown >= 8 && Unknown > Known)
    R.Warnings.push_back("Probably not a plot file: " + std::to_string(Unknown) + " of " +
                         std::to_string(Known + Unknown) + " commands are not HPGL/2; what is drawn may be garbage");
  for (const std::string& W : Reader.Warnings()) R.Warnings.push_back(W);
  R.Cancelled = AConverter.LoadingStopped();
  AConverter.DropSource();
  return R;
}

void RegisterHPGLReader() {
  qdRegisterDrawingReader("hpgl", LoadHPGLDrawing, false);
  // Its drawings hold entities of its own classes: their XML elements name them.
  for (TqdEntityClass K : {ClassOf<TqdFlatPoly>(), ClassOf<TqdFlatHatch>(), ClassOf<TqdPCLImage>()}) RegisterXMLClass(K);
}
