#pragma once
// Object decoding of R13 and later. Every object of the map is read through cursors
// bounded to its own data (and its handle stream, placed where the object's stored
// bit size says), and is written as the groups the DXF reader takes for the same
// object. The drawing is then filled by the DXF reader's own object readers, so a
// DWG and a DXF of one drawing become the same items with the same attributes,
// owners and links.
//
// Each type is described once, in one decoder function with release guards; the
// containers of later releases hand the same decoders their object cursors.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "DWG.h"

// Groups of a binary DXF stream (two-byte group codes) being written.
class TdwgGroupWriter {
public:
  void Str(int C, std::string_view V);
  void Int(int C, std::int64_t V);
  void Real(int C, double V);
  // A handle as hexadecimal text; nothing for handle 0.
  void Hnd(int C, std::uint64_t H);
  void HndAlways(int C, std::uint64_t H);
  // C, C + 10 and C + 20.
  void Pt(int C, const TFPoint& P);
  void Pt2(int C, const TFPoint& P);
  void Chunk(int C, std::string_view Bytes);
  void Append(const std::string& S) { FData += S; }
  std::string FData;

private:
  void Code(int C);
};

class TdwgObjectReader;
class TqdSegmentedFile;

// One object being decoded: its cursors and what its common data said.
struct TdwgObj {
  TdwgObjectReader* Ctx = nullptr;
  TqdDWGVersion V = acR2000;
  int Type = 0;
  std::uint64_t Handle = 0;
  std::uint64_t DataStart = 0;
  TdwgBitCursor D;  // the object's data, ending where the handle stream starts
  TdwgBitCursor H;  // the handle stream
  TdwgBitCursor S;  // R2007 and later: the string stream
  TdwgBitCursor G;  // entities: the proxy graphics (empty when the entity has none)
  TdwgStringReader* Strings = nullptr;
  bool Entity = false;
  // common data
  int Mode = 0;  // entities: 0 owner handle follows, 1 paper space, 2 model space
  std::uint64_t Owner = 0, XDict = 0;
  std::vector<std::uint64_t> Reactors;
  std::uint64_t Layer = 0, LType = 0, Next = 0;
  int LTFlags = 0;  // 0 by layer, 1 by block, 2 continuous, 3 handle
  TqdColorCAD Color = TqdColorCAD::Index(clByLayer);
  double LTScale = 1.0;
  bool Invisible = false;
  int LWIndex = -1;  // R2000 and later: the lineweight index
  std::string EED;   // extended data as groups
  // table entries
  std::string Name;
  int EntryFlags = 0;

  // The one read of a string field (inline before R2007, the string stream after).
  std::string T();
  // A handle of the handle stream against the object's handle.
  std::uint64_t Hd(int* ACode = nullptr) { return H.ReadH(Handle, ACode); }
  // Refuses N items of at least ABits bits each when the data cannot hold them.
  void Need(std::uint64_t N, std::uint64_t ABits) const;
  void Need(std::uint64_t N, std::uint64_t ABits, const TdwgBitCursor& C) const;
  TqdColorCAD CMC();
  // An entity colour (ENC) of the data cursor; AFlags as the colour reader gives them.
  TqdColorCAD ENC(int* AFlags = nullptr);
};

using TdwgDecodeFn = void (*)(TdwgObj&, TdwgGroupWriter&);

// Where a decoded object goes.
enum TdwgRole : std::uint8_t {
  drEntity,       // a graphical entity of a block
  drSubEntity,    // VERTEX, ATTRIB: inside its owner entity
  drSeqend,       // the end of an owner's children
  drBlockBegin,   // BLOCK
  drBlockEnd,     // ENDBLK
  drObject,       // OBJECTS section
  drTableEntry,   // a symbol-table record
  drControl,      // a symbol table
  drBlockHeader,  // a block record
  drCounted       // read, not written (nothing in the drawing takes it)
};

struct TdwgDecoder {
  const char* Name;  // the DXF object name written
  TdwgRole Role;
  TdwgDecodeFn Fn;   // the type's own fields (null: none)
  const char* Table = nullptr;  // table entries and controls: the DXF table name
};

// Entities by fixed type and by class name (DWGEntities.cpp); null for others.
const TdwgDecoder* DWGEntityDecoder(int AType);
const TdwgDecoder* DWGEntityDecoderByClass(std::string_view AName);
// Tables and objects (DWGObjects.cpp).
const TdwgDecoder* DWGObjectDecoder(int AType);
const TdwgDecoder* DWGObjectDecoderByClass(std::string_view AName);

// Multileaders and their styles, and the proxy graphics of an entity as groups 92
// and 310 (DWGAnnotations.cpp).
void DWGDecodeMultiLeader(TdwgObj& O, TdwgGroupWriter& W);
void DWGDecodeMLeaderStyle(TdwgObj& O, TdwgGroupWriter& W);
void DWGWriteProxyGraphics(TdwgObj& O, TdwgGroupWriter& W);
// Entities of classes without a decoder of their own: their graphics, the rest skipped.
void DWGDecodeProxyEntity(TdwgObj& O, TdwgGroupWriter& W);

// A LINE's two points as its release stores them (DWGEntities.cpp); the value
// path and the group path share it.
void DWGReadLinePoints(TdwgObj& O, TFPoint& P1, TFPoint& P2);

// A viewport that is switched off (status flag 0x20000): numbered as the others, but
// its group 68 says off (DWGObjects.cpp).
void DWGNoteViewportOff(TdwgObj& O);

// The drawing's data-segment file (R2013 and later), or null (DWGObjects.cpp).
const TqdSegmentedFile* DWGSegmentedFile(const TdwgObj& O);

// Angles of the file are radians; the groups carry degrees.
inline double DWGDeg(double R) { return R * 57.29577951308232; }
// Lineweight index -> group 370 value.
int DWGLineWeightGroup(int AIndex);
