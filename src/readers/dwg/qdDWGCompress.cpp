#include "qdDWGCompress.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr const char* cnstCorrupted = "DWG file header is corrupted";
constexpr const char* cnstUnexpected = "Unexpected error has occurred while DWG file decompressing";

[[noreturn]] void Corrupt() { throw TqdDWGCompressorError(cnstCorrupted); }

// A back-reference copy: a block move when the ranges do not overlap, else byte by
// byte so that a short offset repeats the bytes just written.
inline void CopyMatch(std::uint8_t* D, std::size_t AOffset, std::size_t ACount) {
  const std::uint8_t* From = D - AOffset;
  if (AOffset >= ACount) {
    std::memcpy(D, From, ACount);
  } else if (AOffset == 1) {
    std::memset(D, *From, ACount);
  } else {
    for (std::size_t I = 0; I < ACount; ++I) D[I] = From[I];
  }
}

} // namespace

// ---------------------------------------------------------------- R2004 LZ77

std::size_t TqdDWG2004Compressor::Decompress(const std::uint8_t* ASrc, std::uint8_t* ADst, std::size_t ADstSize,
                                             std::size_t ASrcSize) {
  FStatus = cdsDecompress;
  if (!ASrc || !ADst || ASrcSize == 0 || ADstSize == 0) Corrupt();
  const std::uint8_t* S = ASrc;
  const std::uint8_t* const SE = ASrc + ASrcSize;
  std::uint8_t* D = ADst;
  std::uint8_t* const DE = ADst + ADstSize;
  const auto Byte = [&]() -> unsigned {
    if (S >= SE) Corrupt();
    return *S++;
  };
  // Zero bytes add 255 each up to the first non-zero byte, which is added too. The
  // source bounds the loop, so the sum stays far below 2^64.
  const auto LongCount = [&]() -> std::size_t {
    std::size_t L = 0;
    for (;;) {
      const unsigned B = Byte();
      if (B) return L + B;
      L += 255;
    }
  };
  unsigned P = 0;  // the last opcode byte: its low two bits are the next literal run
  while (S < SE) {
    std::size_t N = P & 3;
    if (N == 0 && *S < 0x10) {
      const unsigned B = *S++;
      N = (B & 0x0F) ? (B & 0x0F) + 3 : 15 + LongCount() + 3;
    }
    if (N) {
      if (N > static_cast<std::size_t>(SE - S) || N > static_cast<std::size_t>(DE - D)) Corrupt();
      std::memcpy(D, S, N);
      D += N;
      S += N;
    }
    if (S >= SE) break;
    const unsigned O = *S++;
    P = O;
    if (O == 0x11) {
      if (SE - S < 2 || S[0] != 0 || S[1] != 0) throw TqdDWGCompressorError(cnstUnexpected);
      S += 2;
      break;
    }
    if (D > DE) Corrupt();
    std::size_t Count, Offset;
    if (O >= 0x40) {
      const unsigned B2 = Byte();
      Offset = (((O >> 2) & 3) | (B2 << 2)) + 1;
      Count = (O >> 4) - 1;
    } else if (O >= 0x20) {
      Count = O & 0x1F;
      if (Count == 0) Count = 31 + LongCount();
      Count += 2;
      const unsigned B1 = Byte(), B2 = Byte();
      Offset = ((B1 >> 2) | (B2 << 6)) + 1;
      P = B1;
    } else if (O >= 0x10) {
      Count = O & 7;
      if (Count == 0) Count = 7 + LongCount();
      Count += 2;
      const unsigned B1 = Byte(), B2 = Byte();
      Offset = (((O & 8) << 11) | (B1 >> 2) | (B2 << 6)) + 0x4000;
      P = B1;
    } else {
      // Below 0x10 only a literal length may stand, never an opcode: the count
      // would be negative.
      Corrupt();
    }
    if (Offset > static_cast<std::size_t>(D - ADst) || Count > static_cast<std::size_t>(DE - D)) Corrupt();
    CopyMatch(D, Offset, Count);
    D += Count;
  }
  return static_cast<std::size_t>(D - ADst);
}

// ---------------------------------------------------------------- R2007

namespace {

// Output byte k of a literal run of n (1 to 31) bytes is source byte P_n[k].
const std::uint8_t* ShuffleOrder(std::size_t N) {
  static const std::uint8_t cnstOrders[32][31] = {
      {},
      {0},
      {1, 0},
      {2, 1, 0},
      {0, 1, 2, 3},
      {4, 0, 1, 2, 3},
      {5, 1, 2, 3, 4, 0},
      {6, 5, 1, 2, 3, 4, 0},
      {0, 1, 2, 3, 4, 5, 6, 7},
      {8, 0, 1, 2, 3, 4, 5, 6, 7},
      {9, 1, 2, 3, 4, 5, 6, 7, 8, 0},
      {10, 9, 1, 2, 3, 4, 5, 6, 7, 8, 0},
      {8, 9, 10, 11, 0, 1, 2, 3, 4, 5, 6, 7},
      {12, 8, 9, 10, 11, 0, 1, 2, 3, 4, 5, 6, 7},
      {13, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6, 7, 8, 0},
      {14, 13, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6, 7, 8, 0},
      {8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {9, 10, 11, 12, 13, 14, 15, 16, 8, 0, 1, 2, 3, 4, 5, 6, 7},
      {17, 9, 10, 11, 12, 13, 14, 15, 16, 1, 2, 3, 4, 5, 6, 7, 8, 0},
      {18, 17, 16, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {16, 17, 18, 19, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {20, 16, 17, 18, 19, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {21, 20, 16, 17, 18, 19, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {22, 21, 20, 16, 17, 18, 19, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {16, 17, 18, 19, 20, 21, 22, 23, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {17, 18, 19, 20, 21, 22, 23, 24, 16, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {25, 17, 18, 19, 20, 21, 22, 23, 24, 16, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {26, 25, 17, 18, 19, 20, 21, 22, 23, 24, 16, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {24, 25, 26, 27, 16, 17, 18, 19, 20, 21, 22, 23, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {28, 24, 25, 26, 27, 16, 17, 18, 19, 20, 21, 22, 23, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {29, 28, 24, 25, 26, 27, 16, 17, 18, 19, 20, 21, 22, 23, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7},
      {30, 26, 27, 28, 29, 18, 19, 20, 21, 22, 23, 24, 25, 10, 11, 12, 13, 14, 15, 16, 17, 2, 3, 4, 5, 6, 7, 8, 9,
       1, 0},
  };
  return cnstOrders[N];
}

// Literal bytes are stored shuffled: 32-byte blocks as their four 8-byte quarters
// in reverse order, the remainder by its table.
inline void CopyLiterals(std::uint8_t* D, const std::uint8_t* S, std::size_t N) {
  while (N >= 32) {
    std::memcpy(D, S + 24, 8);
    std::memcpy(D + 8, S + 16, 8);
    std::memcpy(D + 16, S + 8, 8);
    std::memcpy(D + 24, S, 8);
    D += 32;
    S += 32;
    N -= 32;
  }
  if (N) {
    const std::uint8_t* Order = ShuffleOrder(N);
    for (std::size_t K = 0; K < N; ++K) D[K] = S[Order[K]];
  }
}

} // namespace

std::size_t TqdDWG2007Decompressor::Decompress(const std::uint8_t* ASrc, std::size_t ASrcSize, std::size_t ADstSize,
                                               std::uint8_t* ADst) {
  if (!ASrc || !ADst || ASrcSize == 0 || ADstSize == 0) return 0;
  const std::uint8_t* S = ASrc;
  const std::uint8_t* const SE = ASrc + ASrcSize;
  std::uint8_t* D = ADst;
  std::uint8_t* const DE = ADst + ADstSize;
  const auto Byte = [&]() -> unsigned {
    if (S >= SE) Corrupt();
    return *S++;
  };
  const auto LiteralLength = [&](unsigned AOp) -> std::size_t {
    std::size_t L = AOp + 8;
    if (L == 0x17) {
      const unsigned B = Byte();
      L += B;
      if (B == 0xFF) {
        unsigned W;
        do {
          W = Byte();
          W |= Byte() << 8;
          L += W;
        } while (W == 0xFFFF);
      }
    }
    return L;
  };
  // The operands of a match; AOp becomes the byte whose low bits give the next
  // literal run.
  const auto Match = [&](unsigned& AOp, std::size_t& ALength, std::size_t& AOffset) {
    const unsigned O = AOp;
    switch (O >> 4) {
      case 0: {
        const unsigned B = Byte(), C = Byte();
        ALength = (O & 0x0F) + 19 + ((C >> 3) & 0x10);
        AOffset = B + ((C & 0x78) << 5) + 1;
        AOp = C;
        break;
      }
      case 1: {
        const unsigned B = Byte(), C = Byte();
        ALength = (O & 0x0F) + 3;
        AOffset = B + ((C & 0xF8) << 5) + 1;
        AOp = C;
        break;
      }
      case 2: {
        const unsigned B = Byte(), C = Byte();
        AOffset = B + (C << 8);
        if ((O & 8) == 0) {
          const unsigned E = Byte();
          ALength = (O & 7) + (E & 0xF8);
          AOp = E;
        } else {
          const unsigned E = Byte(), F = Byte();
          ALength = (O & 7) + (E << 3) + ((F & 0xF8) << 8) + 0x100;
          AOffset += 1;
          AOp = F;
        }
        break;
      }
      default: {
        const unsigned B = Byte();
        ALength = O >> 4;
        AOffset = (O & 0x0F) + ((B & 0xF8) << 1) + 1;
        AOp = B;
        break;
      }
    }
  };
  unsigned Op = Byte();
  std::size_t Lit = 0;
  if ((Op & 0xF0) == 0x20) {
    (void)Byte();
    (void)Byte();
    Lit = Byte() & 7;
  }
  while (S < SE) {
    if (Lit == 0) Lit = LiteralLength(Op);
    // A run that does not fit ends the output.
    if (Lit > static_cast<std::size_t>(DE - D)) break;
    if (Lit > static_cast<std::size_t>(SE - S)) Corrupt();
    CopyLiterals(D, S, Lit);
    D += Lit;
    S += Lit;
    Lit = 0;
    if (S >= SE) break;
    Op = *S++;
    for (;;) {
      std::size_t Length = 0, Offset = 0;
      Match(Op, Length, Offset);
      if (Length) {
        if (Offset == 0 || Offset > static_cast<std::size_t>(D - ADst)) Corrupt();
        const std::size_t N = std::min(Length, static_cast<std::size_t>(DE - D));
        CopyMatch(D, Offset, N);
        D += N;
        if (N < Length) return static_cast<std::size_t>(D - ADst);
      }
      Lit = Op & 7;
      if (Lit) break;
      if (S >= SE) return static_cast<std::size_t>(D - ADst);
      Op = *S++;
      if (Op < 0x10) break;  // a literal run, its length from this byte
      if ((Op >> 4) == 0x0F) Op &= 0x0F;
    }
  }
  return static_cast<std::size_t>(D - ADst);
}

// ---------------------------------------------------------------- Reed-Solomon

void TqdRSCoder::Setup(const std::uint8_t APoly[8], int AErrors, int AM) {
  if (AM != 8) throw EqdRSCoderError("Block size error");
  if (AErrors > 8 || AErrors < 0)
    throw EqdRSCoderError("The number of errors cannot be more than " + std::to_string(8));
  unsigned Mask = 0;
  for (int I = 0; I < 8; ++I)
    if (APoly[I]) Mask |= 1u << I;
  unsigned V = 1;
  for (int I = 0; I < 255; ++I) {
    FAlfaTo[I] = static_cast<std::uint8_t>(V);
    FIndexOf[V] = I;
    V <<= 1;
    if (V & 0x100) V = (V ^ Mask) & 0xFF;
  }
  FAlfaTo[255] = 0;
  for (int I = 0; I < 512; ++I) FExp[I] = FAlfaTo[I % 255];
  for (int I = 0; I < 16; ++I)
    for (int X = 0; X < 256; ++X) FMulRoot[I][X] = X ? FExp[FIndexOf[X] + I + 1] : 0;
  FIndexOf[0] = -1;
  FBlockSize = 255;
  FErr = AErrors;
  FPSize = 2 * AErrors;
  FDSize = FBlockSize - FPSize;
}

int TqdRSCoder::Decode(std::uint8_t* ABlock) const {
  const int T2 = FPSize;
  if (T2 == 0) return 0;
  std::uint8_t Syn[16];
  bool Any = false;
  for (int I = 0; I < T2; ++I) {
    // Horner from the highest coefficient: s = s * alpha^(i+1) + r_j.
    const std::uint8_t* M = FMulRoot[I];
    std::uint8_t Sv = 0;
    for (int J = 254; J >= 0; --J) Sv = M[Sv] ^ ABlock[J];
    Syn[I] = Sv;
    Any |= Sv != 0;
  }
  if (!Any) return 0;
  // Berlekamp-Massey: the error locator C.
  std::uint8_t C[40] = {1}, B[40] = {1}, Tmp[40];
  int L = 0, M = 1;
  std::uint8_t Bd = 1;
  for (int N = 0; N < T2; ++N) {
    std::uint8_t Dd = Syn[N];
    for (int I = 1; I <= L; ++I) Dd ^= Mul(C[I], Syn[N - I]);
    if (Dd == 0) {
      ++M;
      continue;
    }
    const std::uint8_t Coef = Mul(Dd, Inv(Bd));
    std::memcpy(Tmp, C, sizeof C);
    for (int I = 0; I + M < 40 && I <= T2; ++I) C[I + M] ^= Mul(Coef, B[I]);
    if (2 * L <= N) {
      L = N + 1 - L;
      std::memcpy(B, Tmp, sizeof B);
      Bd = Dd;
      M = 1;
    } else {
      ++M;
    }
  }
  if (L > FErr) return -1;
  // Chien search: the roots alpha^-j mark the error positions j.
  int Pos[16];
  int Found = 0;
  for (int J = 0; J < 255; ++J) {
    unsigned E = 0;
    for (int I = 0; I <= L; ++I)
      if (C[I]) E ^= FAlfaTo[(FIndexOf[C[I]] + (255 - J) * I) % 255];
    if (E == 0) {
      if (Found == L) return -1;
      Pos[Found++] = J;
    }
  }
  if (Found != L) return -1;
  // Forney: Omega = S * C mod x^2t; e = Omega(X^-1) / C'(X^-1).
  std::uint8_t Om[16] = {};
  for (int K = 0; K < T2; ++K)
    for (int I = 0; I <= K && I <= L; ++I) Om[K] ^= Mul(C[I], Syn[K - I]);
  std::uint8_t Fix[16];
  for (int K = 0; K < Found; ++K) {
    const int Xinv = (255 - Pos[K]) % 255;
    unsigned Num = 0, Den = 0;
    for (int I = 0; I < T2; ++I)
      if (Om[I]) Num ^= FAlfaTo[(FIndexOf[Om[I]] + Xinv * I) % 255];
    for (int I = 1; I <= L; I += 2)
      if (C[I]) Den ^= FAlfaTo[(FIndexOf[C[I]] + Xinv * (I - 1)) % 255];
    if (Den == 0) return -1;
    Fix[K] = Mul(static_cast<std::uint8_t>(Num), Inv(static_cast<std::uint8_t>(Den)));
  }
  for (int K = 0; K < Found; ++K) ABlock[Pos[K]] ^= Fix[K];
  return Found;
}

const TqdRSCoder& TqdRSCoder::System() {
  static const TqdRSCoder R = [] {
    TqdRSCoder C;
    static const std::uint8_t P[8] = {1, 0, 0, 1, 0, 1, 1, 0};
    C.Setup(P, 8);
    return C;
  }();
  return R;
}

const TqdRSCoder& TqdRSCoder::Data() {
  static const TqdRSCoder R = [] {
    TqdRSCoder C;
    static const std::uint8_t P[8] = {1, 0, 1, 1, 1, 0, 0, 0};
    C.Setup(P, 2);
    return C;
  }();
  return R;
}

std::size_t RSDeinterleave(const TqdRSCoder& ACoder, const std::uint8_t* ARaw, std::size_t ARawSize,
                           std::size_t ABlocks, std::vector<std::uint8_t>& AOut, std::size_t AOutSize) {
  AOut.assign(AOutSize, 0);
  if (!ARaw || ABlocks == 0) return 0;
  const std::size_t DSize = static_cast<std::size_t>(ACoder.GetDSize());
  std::uint8_t Block[255];
  std::size_t Out = 0;
  for (std::size_t K = 0; K < ABlocks && Out < AOutSize; ++K) {
    // The last byte of block k is raw byte k + 254 n (64-bit: n comes from the file).
    const unsigned __int128 Last = static_cast<unsigned __int128>(ABlocks) * 254 + K;
    if (Last >= ARawSize) break;
    for (std::size_t I = 0; I < 255; ++I) Block[I] = ARaw[K + I * ABlocks];
    if (ACoder.Decode(Block) < 0) throw EqdRSCoderError("RS decoder error. DWG file is corrupted!");
    const std::size_t N = std::min(DSize, AOutSize - Out);
    std::memcpy(AOut.data() + Out, Block, N);
    Out += N;
  }
  return Out;
}

// ---------------------------------------------------------------- checksums, scrambling

std::uint32_t DWGPageChecksum(std::uint32_t ASeed, const std::uint8_t* AData, std::size_t ASize) {
  std::uint64_t S1 = ASeed & 0xFFFF, S2 = ASeed >> 16;
  while (ASize) {
    const std::size_t N = std::min<std::size_t>(ASize, 0x15B0);
    for (std::size_t I = 0; I < N; ++I) {
      S1 += AData[I];
      S2 += S1;
    }
    S1 %= 0xFFF1;
    S2 %= 0xFFF1;
    AData += N;
    ASize -= N;
  }
  return static_cast<std::uint32_t>((S2 << 16) | (S1 & 0xFFFF));
}

void DWGUnscrambleHeader(std::uint8_t* AData, std::size_t ASize) {
  std::uint32_t X = 1;
  for (std::size_t I = 0; I < ASize; ++I) {
    X = X * 0x343FDu + 0x269EC3u;
    AData[I] ^= static_cast<std::uint8_t>(X >> 16);
  }
}
