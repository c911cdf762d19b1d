#pragma once
// The byte-level codecs of the DWG containers of R2004 and later: the LZ77 scheme of
// the R2004 paged container (also R2010 to R2018), the LZ-style scheme and the
// Reed-Solomon protection of the R2007 container, and the small checksums and
// scramblers both containers use.
//
// Every decoder reads a source range and writes a destination range it is given;
// every source read and every copy is checked against both, and a back-reference
// never reaches before the destination start. Damage raises TqdDWGCompressorError
// (or EqdRSCoderError), which the container handles per page or per file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "qdError.h"

class TqdDWGCompressorError : public EqdError {
public:
  using EqdError::EqdError;
};

class EqdRSCoderError : public EqdError {
public:
  using EqdError::EqdError;
};

// ---------------------------------------------------------------- R2004 LZ77

enum TqdDWGCompressorStatus { cdsCompress, cdsDecompress };

class TqdDWGCompressor {
public:
  virtual ~TqdDWGCompressor() = default;
  // Decompresses ASrcSize bytes into ADst (ADstSize bytes) and returns the number of
  // bytes produced. An empty source or destination, a stream that would read past
  // its source, write past its destination or refer before its start fails.
  virtual std::size_t Decompress(const std::uint8_t* ASrc, std::uint8_t* ADst, std::size_t ADstSize,
                                 std::size_t ASrcSize) = 0;

protected:
  TqdDWGCompressorStatus FStatus = cdsDecompress;
};

class TqdDWG2004Compressor : public TqdDWGCompressor {
public:
  std::size_t Decompress(const std::uint8_t* ASrc, std::uint8_t* ADst, std::size_t ADstSize,
                         std::size_t ASrcSize) override;
};

// R2010 to R2018 use the same scheme.
class TqdDWG2010Compressor : public TqdDWG2004Compressor {};

// ---------------------------------------------------------------- R2007

class TqdDWG2007Decompressor {
public:
  virtual ~TqdDWG2007Decompressor() = default;
  // Decompresses into ADst. Never writes past ADstSize: a literal run that does not
  // fit ends the output, a match stops at the end. Reads past the source, zero or
  // too large back-reference offsets fail. Returns the bytes produced.
  virtual std::size_t Decompress(const std::uint8_t* ASrc, std::size_t ASrcSize, std::size_t ADstSize,
                                 std::uint8_t* ADst);
};

// ---------------------------------------------------------------- Reed-Solomon

// A Reed-Solomon decoder over GF(2^8), blocks of 255 bytes, byte j the coefficient
// of x^j, data first and 2t parity bytes last, roots alpha^1 .. alpha^2t.
class TqdRSCoder {
public:
  // APoly: the field polynomial's coefficients of x^0 .. x^7 as eight 0/1 bytes.
  // AM must be 8 ("Block size error"), AErrors at most 8.
  void Setup(const std::uint8_t APoly[8], int AErrors, int AM = 8);
  // Corrects the block in place: the number of corrected bytes, or -1 when the block
  // cannot be corrected (it is then left as it was).
  int Decode(std::uint8_t* ABlock) const;
  int GetDSize() const { return FDSize; }
  int Errors() const { return FErr; }

  // The system coder (t = 8, x^8+x^6+x^5+x^3+1) and the data coder (t = 2,
  // x^8+x^4+x^3+x^2+1).
  static const TqdRSCoder& System();
  static const TqdRSCoder& Data();

  // Field arithmetic (exposed for tests that build code words).
  std::uint8_t Mul(std::uint8_t A, std::uint8_t B) const {
    return (A && B) ? FExp[FIndexOf[A] + FIndexOf[B]] : 0;
  }
  std::uint8_t Pow(int AExp) const { return FAlfaTo[((AExp % 255) + 255) % 255]; }
  std::uint8_t Inv(std::uint8_t A) const { return FAlfaTo[(255 - FIndexOf[A]) % 255]; }

private:
  std::uint8_t FAlfaTo[256] = {};
  std::uint8_t FExp[512] = {};  // alpha^i for i below 510: sums of two logarithms need no modulo
  std::uint8_t FMulRoot[16][256] = {};  // x * alpha^(i + 1), for the syndromes
  int FIndexOf[256] = {};
  int FBlockSize = 255, FDSize = 255, FErr = 0, FPSize = 0;
};

// De-interleaves ABlocks blocks from ARaw: block k is raw bytes k, k + n, k + 2n ...
// Each block is corrected (an uncorrectable one raises EqdRSCoderError "RS decoder
// error. DWG file is corrupted!") and its data bytes are appended to AOut, up to
// AOutSize bytes. AOut is zero-filled to AOutSize first; when the raw buffer ends
// before a block is complete the output stops there. Returns the bytes produced.
std::size_t RSDeinterleave(const TqdRSCoder& ACoder, const std::uint8_t* ARaw, std::size_t ARawSize,
                           std::size_t ABlocks, std::vector<std::uint8_t>& AOut, std::size_t AOutSize);

// ---------------------------------------------------------------- checksums, scrambling

// The R2004 page checksum (Adler-32 style, modulus 65521) continued from ASeed.
std::uint32_t DWGPageChecksum(std::uint32_t ASeed, const std::uint8_t* AData, std::size_t ASize);
// XORs the bytes with the R2004 header's pseudo-random sequence (x = x * 214013 +
// 2531011 from 1, bits 16 to 23).
void DWGUnscrambleHeader(std::uint8_t* AData, std::size_t ASize);
