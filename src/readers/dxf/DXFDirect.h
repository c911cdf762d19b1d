#pragma once
// Entities handed to the DXF reader already decoded. A reader that produces binary
// DXF groups for the reader to build the drawing from (the DWG reader) may give the
// commonest simple entities as plain values instead: the groups then hold only a
// marker object with the entity's number in the list, and the reader makes the item
// from the values with the same steps it takes for the groups of that entity, in the
// same place of the drawing. One marker stands for a run of entities that follow
// each other in the list and in the drawing. Building tens of thousands of reader objects and
// mappers for lines and circles was most of the time of loading such drawings.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qdConsts.h"

class TdxfObject;
class TdxfReader;

// The marker's object name (never the name of a real object) and the group of its number.
inline constexpr std::string_view cnstDXFDirectName = "\x01" "DIRECT";
inline constexpr int cnstDXFDirectCode = 90;
// A marker may stand for a run of consecutive entities of the list: their count.
inline constexpr int cnstDXFDirectCountCode = 91;

enum TdxfDirectKind : std::uint8_t { ddLine, ddPoint, ddCircle, ddArc };

// The groups of one such entity, as the reader would have kept them.
struct TdxfDirectEntity {
  std::uint64_t Handle = 0;                 // 5 (0: none)
  const std::string* Layer = nullptr;       // 8 (null: not given)
  const std::string* LType = nullptr;       // 6 (null: not given)
  std::int64_t RGB = -1;                    // 420 & 0xFFFFFF (-1: not given)
  double LTScale = 1, Thick = 0;            // 48, 39
  double F40 = 0, F50 = 0, F51 = 0;         // radius, start and end angle
  TFPoint P0, P1, Extr{0, 0, 1};            // 10, 11, 210
  std::int16_t Visibility = 0, Color = 0, LineWeight = 0;  // 60, 62, 370
  TdxfDirectKind Kind = ddLine;
  bool Paper = false;  // 67
  bool HasLTScale = false, HasVisibility = false, HasColor = false, HasLineWeight = false;
  bool HasF40 = false, HasF50 = false, HasF51 = false;
};

// The entities of a load, in chunks: a chunk is freed as soon as the reader has made
// all its entities, so that the values and the drawing made of them are not held
// together to the end.
class TdxfDirectList {
public:
  static constexpr std::size_t cnstChunk = 1024;
  std::size_t Size() const { return FSize; }
  bool Empty() const { return FSize == 0; }
  void Add(const TdxfDirectEntity& E);
  // The writer's access, before the reader takes any.
  TdxfDirectEntity& operator[](std::size_t I) { return FChunks[I / cnstChunk].Items[I % cnstChunk]; }
  // The reader's: each entity once; false when I is out of range or taken before.
  bool Take(std::size_t I, TdxfDirectEntity& AOut);

private:
  struct TChunk {
    std::vector<TdxfDirectEntity> Items;
    std::vector<bool> Taken;
    std::size_t Left = 0;
  };
  std::vector<TChunk> FChunks;
  std::size_t FSize = 0;
};

// The DXF object name of a kind.
const char* DXFDirectName(TdxfDirectKind K);

// The reader object of a marker (DXFDirect.cpp).
std::unique_ptr<TdxfObject> CreateDXFDirectObject(TdxfReader& AReader, TdxfObject* AOwner);
