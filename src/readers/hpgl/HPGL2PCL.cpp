// PCL escape sequences and HP RTL raster graphics of the plotter reader.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Blocks.h"
#include "HPGL2.h"
#include "Objects.h"

namespace {

constexpr std::uint32_t RGBValue(int R, int G, int B) {
  return static_cast<std::uint32_t>(R) | (static_cast<std::uint32_t>(G) << 8) | (static_cast<std::uint32_t>(B) << 16);
}

// Simple colour palettes: 1 plane black on white, 3 planes RGB or CMY.
void SimplePalette(int N, std::vector<std::uint32_t>& P) {
  P.assign(256, RGBValue(255, 255, 255));
  if (N == 3) {
    for (int I = 0; I < 8; ++I) P[I] = RGBValue(I & 1 ? 255 : 0, I & 2 ? 255 : 0, I & 4 ? 255 : 0);
  } else if (N == -3) {
    for (int I = 0; I < 8; ++I) P[I] = RGBValue(I & 1 ? 0 : 255, I & 2 ? 0 : 255, I & 4 ? 0 : 255);
  } else if (N == 4 || N == -4) {
    // K, C, M, Y planes.
    for (int I = 0; I < 16; ++I)
      P[I] = I & 1 ? RGBValue(0, 0, 0) : RGBValue(I & 2 ? 0 : 255, I & 4 ? 0 : 255, I & 8 ? 0 : 255);
  } else {
    P[0] = RGBValue(255, 255, 255);
    P[1] = RGBValue(0, 0, 0);
  }
}

}  // namespace

TpclReader::TpclReader(TqdHPGLReader* AHPGLReader) : FHPGL(AHPGLReader) {
  SimplePalette(1, FPaletteEntry);
}

TpclReader::~TpclReader() = default;

bool TpclReader::ReadParam(TParam& P) {
  TqdHPGLReader& R = *FHPGL;
  P = {};
  std::size_t I = R.FPos;
  const std::size_t L = R.FLimit;
  const std::uint8_t* M = R.FMem;
  double Sign = 1;
  if (I < L && (M[I] == '+' || M[I] == '-')) {
    P.Signed = true;
    if (M[I] == '-') Sign = -1;
    ++I;
  }
  double V = 0, Frac = 0.1;
  bool Dot = false;
  int Digits = 0;
  while (I < L && ((M[I] >= '0' && M[I] <= '9') || (M[I] == '.' && !Dot))) {
    if (M[I] == '.') Dot = true;
    else if (Digits < 15) {
      if (Dot) {
        V += (M[I] - '0') * Frac;
        Frac /= 10;
      } else {
        V = V * 10 + (M[I] - '0');
      }
      ++Digits;
    }
    ++I;
  }
  if (I >= L) {
    R.FPos = I;
    return false;
  }
  const std::uint8_t C = M[I];
  if (!((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '@' || C == '[' || C == '\\' || C == ']' ||
        C == '^' || C == '`' || C == '{' || C == '|' || C == '}' || C == '~')) {
    R.FPos = I;
    return false;
  }
  P.Value = Sign * V;
  P.Letter = static_cast<char>(C);
  R.FPos = I + 1;
  return true;
}

std::size_t TpclReader::RowLimit() const { return std::max(FRowBuffer, FPrevRow.size()); }

bool TpclReader::BudgetLeft() const {
  if (FRasterOver) return false;
  if (FRasterHeight > 0 && FRows.size() >= static_cast<std::size_t>(FRasterHeight)) return false;
  return FRowBytes < cnstPCLPixelBudget;
}

void TpclReader::Ampersand() {
  TqdHPGLReader& R = *FHPGL;
  if (R.FPos >= R.FLimit) return;
  const char G = static_cast<char>(R.FMem[R.FPos++]);
  TParam P;
  while (ReadParam(P)) {
    const char U = static_cast<char>(std::toupper(P.Letter));
    if (G == 'l' && U == 'H') R.NewPage();
    if (G == 'u' && U == 'D' && P.Value > 0) FUnits = P.Value;
    if (G == 'p' && U == 'X') {
      // Transparent print data: that many bytes.
      const double N = std::clamp(P.Value, 0.0, static_cast<double>(R.FLimit - R.FPos));
      R.FPos += static_cast<std::size_t>(N);
    }
    if (P.Letter >= 'A' && P.Letter <= 'Z') break;
  }
}

void TpclReader::Font() {
  TqdHPGLReader& R = *FHPGL;
  if (R.FPos >= R.FLimit) return;
  const char G = static_cast<char>(R.FMem[R.FPos]);
  if (G != 's' && G != 'S') {
    // ESC ( 8U and the like: a symbol set id.
    TParam P;
    ReadParam(P);
    return;
  }
  ++R.FPos;
  TParam P;
  while (ReadParam(P)) {
    if (P.Letter == 'W' || P.Letter == 'w') {
      const double N = std::clamp(P.Value, 0.0, static_cast<double>(R.FLimit - R.FPos));
      R.FPos += static_cast<std::size_t>(N);
    }
    if (P.Letter >= 'A' && P.Letter <= 'Z') break;
  }
}

void TpclReader::SetSimplePalette(int N) {
  SimplePalette(N, FPaletteEntry);
  const int A = std::abs(N);
  FPCLBitmap.Encoding = 0;
  FPCLBitmap.Planes = A == 3 || A == 4 ? A : 1;
  FPCLBitmap.BitsPerIndex = FPCLBitmap.Planes;
  FMaxLogPalette = 1 << FPCLBitmap.Planes;
}

void TpclReader::ConfigureRaster(std::size_t ACount) {
  // Configure image data: colour space, encoding, bits per index, bits per primary.
  TqdHPGLReader& R = *FHPGL;
  const std::uint8_t* D = R.FMem + R.FPos;
  if (ACount >= 6) {
    const int Enc = D[1], Bits = D[2];
    if (Enc == 0 && (Bits == 1 || Bits == 2 || Bits == 3 || Bits == 4 || Bits == 8)) {
      FPCLBitmap = {0, Bits, Bits};
    } else if (Enc == 1 && (Bits == 1 || Bits == 2 || Bits == 4 || Bits == 8)) {
      FPCLBitmap = {1, Bits, 1};
    } else if (Enc == 2) {
      FPCLBitmap = {2, 3, 3};
    } else if (Enc == 3) {
      FPCLBitmap = {3, 24, 1};
    }
    if (FPCLBitmap.Encoding <= 1) {
      FMaxLogPalette = 1 << std::min(FPCLBitmap.BitsPerIndex, 8);
      // A fresh palette of that size: white, black, then the primaries.
      SimplePalette(3, FPaletteEntry);
      if (FPCLBitmap.BitsPerIndex == 1) SimplePalette(1, FPaletteEntry);
    }
  }
  R.FPos += ACount;
}

void TpclReader::StartRaster() {
  FRows.clear();
  FPlaneRows.clear();
  FPrevRow.clear();
  FRowBytes = 0;
  FRasterOver = false;
  FStartGraphicMode = true;
  FPlane = 0;
}

void TpclReader::AddRow(std::vector<std::uint8_t>&& Row) {
  if (!BudgetLeft()) {
    FRasterOver = true;
    return;
  }
  FRowBytes += Row.size() + 16;
  FRows.push_back(std::move(Row));
}

bool TpclReader::DecodeRow(int AMethod, const std::uint8_t* D, std::size_t N, std::vector<std::uint8_t>& Row) {
  const std::size_t Limit = RowLimit();
  Row.clear();
  auto Put = [&](std::uint8_t B) {
    if (Row.size() >= Limit) throw EqdHPGLError("Overflow range");
    Row.push_back(B);
  };
  switch (AMethod) {
    case 0:
      for (std::size_t I = 0; I < N; ++I) Put(D[I]);
      return true;
    case 1:
      for (std::size_t I = 0; I + 1 < N; I += 2)
        for (int K = 0; K <= D[I]; ++K) Put(D[I + 1]);
      return true;
    case 2:
      for (std::size_t I = 0; I < N;) {
        const int C = static_cast<std::int8_t>(D[I++]);
        if (C >= 0) {
          for (int K = 0; K <= C && I < N; ++K) Put(D[I++]);
        } else if (C != -128) {
          if (I >= N) break;
          const std::uint8_t B = D[I++];
          for (int K = 0; K < 1 - C; ++K) Put(B);
        }
      }
      return true;
    case 3: {
      Row = FPrevRow;
      std::size_t At = 0;
      for (std::size_t I = 0; I < N;) {
        const int Cmd = D[I++];
        const int Count = (Cmd >> 5) + 1;
        std::size_t Off = Cmd & 31;
        if (Off == 31)
          while (I < N) {
            const int B = D[I++];
            Off += static_cast<std::size_t>(B);
            if (B != 255) break;
          }
        At += Off;
        for (int K = 0; K < Count && I < N; ++K) {
          if (At >= Limit) throw EqdHPGLError("Overflow range");
          if (At >= Row.size()) Row.resize(At + 1, 0);
          Row[At++] = D[I++];
        }
      }
      return true;
    }
    case 9: {
      Row = FPrevRow;
      std::size_t At = 0;
      for (std::size_t I = 0; I < N;) {
        const int Cmd = D[I++];
        const bool RLE = (Cmd & 0x80) != 0;
        std::size_t Off = RLE ? (Cmd >> 5) & 3 : (Cmd >> 3) & 15;
        std::size_t Count = RLE ? (Cmd & 31) : (Cmd & 7);
        const std::size_t OffMax = RLE ? 3 : 15, CountMax = RLE ? 31 : 7;
        if (Off == OffMax)
          while (I < N) {
            const int B = D[I++];
            Off += static_cast<std::size_t>(B);
            if (B != 255) break;
          }
        if (Count == CountMax)
          while (I < N) {
            const int B = D[I++];
            Count += static_cast<std::size_t>(B);
            if (B != 255) break;
          }
        At += Off;
        Count += RLE ? 2 : 1;
        if (RLE && I >= N) break;
        const std::uint8_t B = RLE ? D[I++] : 0;
        for (std::size_t K = 0; K < Count; ++K) {
          if (!RLE && I >= N) break;
          if (At >= Limit) throw EqdHPGLError("Overflow range");
          if (At >= Row.size()) Row.resize(At + 1, 0);
          Row[At++] = RLE ? B : D[I++];
        }
      }
      return true;
    }
    case 10: {
      // Near-lossless replacement delta row over 24-bit pixels (3 bytes each).
      Row = FPrevRow;
      std::size_t At = 0;  // pixel
      std::uint32_t Cache = 0xFFFFFF;
      auto Seed = [&](std::size_t X) -> std::uint32_t {
        if (3 * X + 2 < FPrevRow.size())
          return FPrevRow[3 * X] | (FPrevRow[3 * X + 1] << 8) | (static_cast<std::uint32_t>(FPrevRow[3 * X + 2]) << 16);
        return 0xFFFFFF;
      };
      auto Store = [&](std::size_t X, std::uint32_t C) {
        if (3 * X + 3 > Limit) throw EqdHPGLError("Overflow range");
        if (3 * X + 3 > Row.size()) Row.resize(3 * X + 3, 255);
        Row[3 * X] = C & 0xFF;
        Row[3 * X + 1] = (C >> 8) & 0xFF;
        Row[3 * X + 2] = (C >> 16) & 0xFF;
      };
      std::size_t I = 0;
      auto NewPixel = [&](std::size_t X, bool& Ok) -> std::uint32_t {
        Ok = false;
        if (I >= N) return 0;
        if (D[I] & 0x80) {
          // A delta from the pixel above: 5 bits each, red doubled.
          if (I + 1 >= N) return 0;
          const int V = (D[I] << 8) | D[I + 1];
          I += 2;
          auto S5 = [](int X5) { return X5 >= 16 ? X5 - 32 : X5; };
          const std::uint32_t S = Seed(X);
          const int R = std::clamp(static_cast<int>(S & 0xFF) + 2 * S5((V >> 10) & 31), 0, 255);
          const int G = std::clamp(static_cast<int>((S >> 8) & 0xFF) + S5((V >> 5) & 31), 0, 255);
          const int B = std::clamp(static_cast<int>((S >> 16) & 0xFF) + S5(V & 31), 0, 255);
          Ok = true;
          return static_cast<std::uint32_t>(R | (G << 8) | (B << 16));
        }
        if (I + 2 >= N) return 0;
        const std::uint32_t C = static_cast<std::uint32_t>((D[I] & 0x7F) << 1) | (D[I + 1] << 8) |
                                (static_cast<std::uint32_t>(D[I + 2]) << 16);
        I += 3;
        Ok = true;
        return C;
      };
      while (I < N) {
        const int Cmd = D[I++];
        const bool RLE = (Cmd & 0x80) != 0;
        const int Src = (Cmd >> 5) & 3;
        std::size_t Off = (Cmd >> 3) & 3, Count = Cmd & 7;
        if (Off == 3)
          while (I < N) {
            const int B = D[I++];
            Off += static_cast<std::size_t>(B);
            if (B != 255) break;
          }
        if (Count == 7)
          while (I < N) {
            const int B = D[I++];
            Count += static_cast<std::size_t>(B);
            if (B != 255) break;
          }
        At += Off;
        Count += RLE ? 2 : 1;
        auto First = [&](bool& Ok) -> std::uint32_t {
          Ok = true;
          switch (Src) {
            case 1: return At > 0 && 3 * At <= Row.size() ? (Row[3 * At - 3] | (Row[3 * At - 2] << 8) |
                                                              (static_cast<std::uint32_t>(Row[3 * At - 1]) << 16))
                                                           : 0xFFFFFF;
            case 2: return Seed(At + 1);
            case 3: return Cache;
            default: {
              const std::uint32_t C = NewPixel(At, Ok);
              if (Ok) Cache = C;
              return C;
            }
          }
        };
        bool Ok = true;
        std::uint32_t C = First(Ok);
        if (!Ok) break;
        Store(At++, C);
        for (std::size_t K = 1; K < Count; ++K) {
          if (!RLE) {
            C = NewPixel(At, Ok);
            if (!Ok) break;
            Cache = C;
          }
          Store(At++, C);
        }
        if (!Ok) break;
      }
      return true;
    }
    default:
      return false;
  }
}

void TpclReader::DecodeMethod4(std::size_t ACount) {
  // A 32-bit bit count per row, then rows of that many bits.
  TqdHPGLReader& R = *FHPGL;
  const std::uint8_t* D = R.FMem + R.FPos;
  if (ACount < 4) return;
  const std::uint64_t Bits = (static_cast<std::uint64_t>(D[0]) << 24) | (D[1] << 16) | (D[2] << 8) | D[3];
  const std::size_t RowBytes = static_cast<std::size_t>((Bits + 7) / 8);
  if (RowBytes == 0 || RowBytes > RowLimit()) {
    if (RowBytes > RowLimit()) throw EqdHPGLError("Overflow range");
    return;
  }
  for (std::size_t I = 4; I + RowBytes <= ACount && BudgetLeft(); I += RowBytes) {
    std::vector<std::uint8_t> Row(D + I, D + I + RowBytes);
    FPrevRow = Row;
    AddRow(std::move(Row));
  }
}

void TpclReader::DecodeMethod5(std::size_t ACount) {
  // Adaptive: blocks of a command byte and a 16-bit count.
  TqdHPGLReader& R = *FHPGL;
  const std::uint8_t* D = R.FMem + R.FPos;
  std::size_t I = 0;
  while (I + 3 <= ACount && BudgetLeft()) {
    const int Cmd = D[I];
    const std::size_t N = (static_cast<std::size_t>(D[I + 1]) << 8) | D[I + 2];
    I += 3;
    if (Cmd <= 3) {
      const std::size_t Take = std::min(N, ACount - I);
      std::vector<std::uint8_t> Row;
      DecodeRow(Cmd, D + I, Take, Row);
      I += Take;
      FPrevRow = Row;
      AddRow(std::move(Row));
    } else if (Cmd == 4) {
      // Empty rows.
      for (std::size_t K = 0; K < N && BudgetLeft(); ++K) {
        FPrevRow.assign(FPrevRow.size(), 0);
        AddRow(std::vector<std::uint8_t>(FPrevRow));
      }
    } else if (Cmd == 5) {
      for (std::size_t K = 0; K < N && BudgetLeft(); ++K) AddRow(std::vector<std::uint8_t>(FPrevRow));
    } else {
      break;
    }
  }
}

void TpclReader::RasterRow(std::size_t ACount) {
  TqdHPGLReader& R = *FHPGL;
  ACount = std::min(ACount, R.FLimit - R.FPos);
  if (!FStartGraphicMode) StartRaster();
  if (FCompress == 4) DecodeMethod4(ACount);
  else if (FCompress == 5) DecodeMethod5(ACount);
  else if (BudgetLeft()) {
    std::vector<std::uint8_t> Row;
    if (DecodeRow(FCompress, R.FMem + R.FPos, ACount, Row)) {
      FPrevRow = Row;
      AddRow(std::move(Row));
    }
  } else {
    FRasterOver = true;
  }
  R.FPos += ACount;
}

void TpclReader::Process() {
  TqdHPGLReader& R = *FHPGL;
  if (R.FPos >= R.FLimit) return;
  const char G = static_cast<char>(std::tolower(R.FMem[R.FPos++]));
  TParam P;
  while (ReadParam(P)) {
    const char U = static_cast<char>(std::toupper(P.Letter));
    auto Count = [&]() -> std::size_t {
      if (!(P.Value > 0)) return 0;
      return static_cast<std::size_t>(std::min(P.Value, static_cast<double>(R.FLimit - R.FPos)));
    };
    switch (G) {
      case 'b':
        if (U == 'M') {
          FCompress = P.Value >= 0 && P.Value <= 10 ? static_cast<int>(P.Value) : 0;
        } else if (U == 'V' || U == 'W') {
          const std::size_t N = Count();
          if (FPCLBitmap.Planes > 1) {
            // Planes of one row: each decoded on its own seed; W ends the row.
            if (!FStartGraphicMode) StartRaster();
            const std::size_t Plane = std::min<std::size_t>(FPlaneRows.size(), 7);
            std::vector<std::uint8_t> Seed;
            if (Plane < FPlaneRows.size()) Seed = FPlaneRows[Plane];
            std::swap(FPrevRow, Seed);
            std::vector<std::uint8_t> Row;
            if (FCompress <= 3 || FCompress == 9) DecodeRow(FCompress, R.FMem + R.FPos, N, Row);
            std::swap(FPrevRow, Seed);
            R.FPos += N;
            FPlaneRows.resize(std::max(FPlaneRows.size(), Plane + 1));
            FPlaneRows[Plane] = Row;
            ++FPlane;
            if (U == 'W') {
              // Interleave the planes into one index per byte.
              std::size_t Width = 0;
              for (const auto& PR : FPlaneRows) Width = std::max(Width, PR.size() * 8);
              if (FRasterWidth > 0) Width = std::min<std::size_t>(Width, static_cast<std::size_t>(FRasterWidth));
              std::vector<std::uint8_t> Out(Width, 0);
              for (std::size_t K = 0; K < FPlaneRows.size() && K < 8; ++K)
                for (std::size_t X = 0; X < Width; ++X)
                  if (X / 8 < FPlaneRows[K].size() && (FPlaneRows[K][X / 8] & (0x80 >> (X % 8))))
                    Out[X] |= static_cast<std::uint8_t>(1 << K);
              if (BudgetLeft()) AddRow(std::move(Out));
              FPlane = 0;
            }
          } else {
            RasterRow(N);
          }
        } else if (U == 'Y') {
          if (!FStartGraphicMode) StartRaster();
          const double N = std::clamp(P.Value, 0.0, 1e9);
          for (std::size_t K = 0; K < static_cast<std::size_t>(N) && BudgetLeft(); ++K) {
            FPrevRow.assign(FPrevRow.size(), 0);
            AddRow(std::vector<std::uint8_t>(FPrevRow.size(), 0));
          }
          for (auto& PR : FPlaneRows) PR.assign(PR.size(), 0);
        }
        break;
      case 'c':
        if (U == 'W') R.FPos += Count();
        break;
      case 'g':
        if (U == 'W') {
          FPCLBitmap = {0, 8, 1};
          R.FPos += Count();
        }
        break;
      case 'l':
        if (U == 'O' && P.Value >= 0 && P.Value <= 255) FROP = static_cast<int>(P.Value);
        break;
      case 'p':
        if (U == 'X' || U == 'Y') {
          double V = P.Value * 1016 / FUnits;
          if (!std::isfinite(V)) break;
          double& C = U == 'X' ? FPenPosition.X : FPenPosition.Y;
          // PCL measures down the page; the drawing up.
          if (U == 'Y') V = -V;
          C = P.Signed ? C + V : (U == 'Y' ? R.FPage.Y + V : V);
        } else if (U == 'P') {
          if (P.Value == 0) {
            if (FSavedPalette.size() < cnstPCLPaletteStack) FSavedPalette.push_back(FPaletteEntry);
          } else if (P.Value == 1 && !FSavedPalette.empty()) {
            FPaletteEntry = std::move(FSavedPalette.back());
            FSavedPalette.pop_back();
          }
        }
        break;
      case 'r':
        if (U == 'A') {
          StartRaster();
          if (P.Value == 0) FPenPosition.X = 0;
        } else if (U == 'B' || U == 'C') {
          EndRaster();
        } else if (U == 'S') {
          if (P.Value > 0 && P.Value < 1e6) FRasterWidth = static_cast<int>(P.Value);
        } else if (U == 'T') {
          if (P.Value > 0 && P.Value < 1e6) FRasterHeight = static_cast<int>(P.Value);
        } else if (U == 'U') {
          const int N = static_cast<int>(std::clamp(P.Value, -8.0, 8.0));
          if (N == 1 || N == 3 || N == -3 || N == 4 || N == -4) SetSimplePalette(N);
        }
        break;
      case 't':
        if (U == 'R') {
          if (P.Value > 0 && P.Value < 100000) FResolution = P.Value;
        } else if (U == 'H') {
          if (P.Value > 0 && P.Value < 1e7) FScaledRasterWidth = P.Value;
        } else if (U == 'V') {
          if (P.Value > 0 && P.Value < 1e7) FScaledRasterHeight = P.Value;
        }
        break;
      case 'v':
        if (U == 'A') FColorA = static_cast<int>(std::clamp(P.Value, 0.0, 255.0));
        else if (U == 'B') FColorB = static_cast<int>(std::clamp(P.Value, 0.0, 255.0));
        else if (U == 'C') FColorC = static_cast<int>(std::clamp(P.Value, 0.0, 255.0));
        else if (U == 'I') {
          if (P.Value >= 0 && P.Value <= 255) FPaletteEntry[static_cast<std::size_t>(P.Value)] = RGBValue(FColorA, FColorB, FColorC);
        } else if (U == 'W') {
          ConfigureRaster(Count());
        }
        break;
      default:
        break;
    }
    if (P.Letter >= 'A' && P.Letter <= 'Z') break;
  }
}

void TpclReader::Flush() {
  if (FStartGraphicMode) EndRaster();
}

void TpclReader::EndRaster() {
  if (!FStartGraphicMode) return;
  FStartGraphicMode = false;
  if (FRasterOver) FHPGL->Warn("PCL: a raster image beyond its size or the memory budget was cut short");
  if (FRows.empty()) return;
  const bool Direct = FPCLBitmap.Encoding == 3 || FCompress == 10;
  const bool ByPlane = FPCLBitmap.Planes > 1;
  std::size_t W = FRasterWidth > 0 ? static_cast<std::size_t>(FRasterWidth) : 0;
  if (W == 0)
    for (const auto& Row : FRows) {
      std::size_t PW = Direct ? Row.size() / 3 : ByPlane ? Row.size() : Row.size() * 8 / std::max(1, FPCLBitmap.BitsPerIndex);
      W = std::max(W, PW);
    }
  const std::size_t H = FRows.size();
  if (W == 0 || H == 0) {
    FRows.clear();
    return;
  }
  const int Bpp = Direct ? 24 : 8;
  const std::size_t Stride = ((W * static_cast<std::size_t>(Bpp) + 31) / 32) * 4;
  if (Stride > cnstPCLPixelBudget / H) {
    FHPGL->Warn("PCL: a raster image larger than the memory budget was dropped");
    FRows.clear();
    return;
  }
  auto Img = std::make_unique<TqdPCLImage>();
  Img->FWidth = static_cast<int>(W);
  Img->FHeight = static_cast<int>(H);
  Img->FBitsPerPixel = Bpp;
  Img->FROP = FROP;
  Img->FBits.assign(Stride * H, 255);
  if (!Direct) Img->FPalette.assign(FPaletteEntry.begin(), FPaletteEntry.end());
  const int Bits = std::max(1, FPCLBitmap.BitsPerIndex);
  for (std::size_t Y = 0; Y < H; ++Y) {
    const auto& Row = FRows[Y];
    std::uint8_t* Out = Img->FBits.data() + (H - 1 - Y) * Stride;
    if (Direct) {
      // RGB in the row; BGR in the bitmap.
      for (std::size_t X = 0; X < W && 3 * X + 2 < Row.size(); ++X) {
        Out[3 * X] = Row[3 * X + 2];
        Out[3 * X + 1] = Row[3 * X + 1];
        Out[3 * X + 2] = Row[3 * X];
      }
    } else if (ByPlane) {
      for (std::size_t X = 0; X < W; ++X) Out[X] = X < Row.size() ? Row[X] : 0;
    } else {
      const int B = Bits == 1 || Bits == 2 || Bits == 4 || Bits == 8 ? Bits : 1;
      for (std::size_t X = 0; X < W; ++X) {
        const std::size_t Bit = X * static_cast<std::size_t>(B);
        if (Bit / 8 >= Row.size()) {
          Out[X] = 0;
          continue;
        }
        Out[X] = static_cast<std::uint8_t>((Row[Bit / 8] >> (8 - B - Bit % 8)) & ((1 << B) - 1));
      }
    }
  }
  FRows.clear();
  FPlaneRows.clear();
  // Size: the scaled size (decipoints) when given, else pixels at the resolution.
  const double Res = FResolution > 0 ? FResolution : 75;
  double WMM = FScaledRasterWidth > 0 ? FScaledRasterWidth * 25.4 / 720 : static_cast<double>(W) * 25.4 / Res;
  double HMM = FScaledRasterHeight > 0 ? FScaledRasterHeight * 25.4 / 720 : static_cast<double>(H) * 25.4 / Res;
  if (FScaledRasterWidth > 0 && !(FScaledRasterHeight > 0)) HMM = WMM * static_cast<double>(H) / static_cast<double>(W);
  if (FScaledRasterHeight > 0 && !(FScaledRasterWidth > 0)) WMM = HMM * static_cast<double>(W) / static_cast<double>(H);
  // The cursor is the top left corner; the image hangs below it.
  const TFPoint TopLeft = FHPGL->ToDrawing(FPenPosition.X, FPenPosition.Y, false);
  Img->SetPoint({TopLeft.X, TopLeft.Y - HMM, 0});
  Img->FSize = {WMM, HMM, 0};
  Img->FUVector = {1, 0, 0};
  Img->FVVector = {0, 1, 0};
  FHPGL->AddEntity(std::move(Img), false);
  FHPGL->ImagePlaced();
  FPenPosition.Y -= HMM / 0.025;
  FPrevRow.clear();
}
