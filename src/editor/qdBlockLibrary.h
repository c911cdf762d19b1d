#pragma once
// The editor's block library: Copy turns the selected entities into a new block
// kept here; Paste puts one of them into the drawing's block table with a block
// reference to it in model space. The blocks hold counted links to the tables of
// the drawing they were copied from, so the library is emptied whenever that
// drawing goes (Open, Close).
#include <memory>
#include <string>
#include <vector>

#include "qdConsts.h"

class TqdCADImage;
class TqdDXFBlock;
class TqdDXFConverter;
class TqdDXFEntity;
class TqdDXFInsert;
class TqdDrawingNavigator;

// A copy of E made by its own class (a block reference with copies of its
// attributes); the copy has no handle and belongs to no drawing yet.
std::unique_ptr<TqdDXFEntity> qdCopyEntity(const TqdDXFEntity& E);
// The lower-left corner (Z 0) of the entities' boxes; the origin when none has one.
TFPoint qdLowerLeft(const std::vector<TqdDXFEntity*>& Entities);

class TqdBlockLibrary {
 public:
  TqdBlockLibrary();
  ~TqdBlockLibrary();
  TqdBlockLibrary(const TqdBlockLibrary&) = delete;
  TqdBlockLibrary& operator=(const TqdBlockLibrary&) = delete;

  // Remembers the navigator; its image and drawing are read from it at each use.
  void SetDNavigator(TqdDrawingNavigator* N) { FDNavigator = N; }
  TqdDrawingNavigator* DNavigator() const { return FDNavigator; }
  TqdCADImage* Img() const;
  TqdDXFConverter* Converter() const;

  // A new library block of copies of Entities (in their order); null for an
  // empty list. Its name is "Copy " and a counter; its base point is the lower
  // left corner of the entities' boxes.
  TqdDXFBlock* CopyAsBlock(const std::vector<TqdDXFEntity*>& Entities);
  // Puts block Index into the drawing (renamed when a block of the drawing has
  // its name already) and places a reference to it at (X, Y, 0) in model space;
  // the block leaves the library. Null without a drawing or for a bad Index.
  TqdDXFInsert* PasteAsBlock(int Index, float Y, float X);

  int Count() const { return static_cast<int>(FBlockList.size()); }
  const TqdDXFBlock* Block(int Index) const;
  std::vector<std::string> Names() const;
  // What the insertion dialog lists: "Copy 1 \u2014 12 entities".
  std::vector<std::string> Captions() const;
  // Frees every block not pasted.
  void Clear();

 private:
  std::string NextName();
  TqdDrawingNavigator* FDNavigator = nullptr;
  std::vector<std::unique_ptr<TqdDXFBlock>> FBlockList;
};
