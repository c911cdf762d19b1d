#pragma once
// Block references (inserts), their arrays and clipped form, attribute definitions and
// attributes, and multilines (an insert of a private block built from a style).
//
// Placement: a block point Q lands at Q * GetMatrix(), where the matrix translates by
// minus the block offset, scales, turns about Z, takes the object coordinate system of
// the extrusion into the world and moves to the base point (given in that system).
// Box(): the block's box through that matrix (clipped, arrayed), grown by the boxes of
// the attributes that show.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Blocks.h"
#include "Texts.h"
#include "qdFunction.h"

class TqdCADSpatialFilter;
class TqdMLineStyle;

// Cells of one array insert that are drawn; the rest of a larger grid is drawn as its
// box only. Far above real drawings, low enough that a hostile file cannot hang a paint.
// Nested arrays multiply, so the draw pipeline also counts cells across one frame.
inline constexpr std::uint64_t cnstMaxInsertCells = 1000000;

class TqdDXFInsert : public TqdDXFCustomVertex {
  QD_ENTITY_CLASS(TqdDXFInsert)
public:
  TqdDXFInsert() = default;
  // Leaves its block's references.
  ~TqdDXFInsert() override;

  TqdCADEntities EntType() const override { return ceInsert; }
  bool IsInsert() const override { return true; }

  // ---- the block
  TqdDXFBlock* Block() const;
  // Joins B's references (a block is linked through its record).
  void SetBlock(TqdDXFBlock* B);
  TqdDXFBlockRecord* BlockRecord() const { return FBlockRecord; }
  virtual void SetBlockRecord(TqdDXFBlockRecord* R);
  // A placeholder for a block not read yet, resolved in BLOCK_RECORD.
  TqdLinkObject* BlockLink() const { return FBlockLink.get(); }
  void SetBlockLink(std::unique_ptr<TqdLinkObject> L);
  TqdDXFEntity* InsertBlock() const override { return Block(); }

  // ---- attributes (the insert's only children)
  int Count() const override { return static_cast<int>(FAttribs.size()); }
  TqdDXFEntity* GetEntity(int Index) const override;
  // Accepts attributes (ATTRIB) without an owner only.
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  std::unique_ptr<TqdDXFEntity> DeleteEntity(int Index) override;
  int IndexOfEntity(const TqdDXFEntity* E) const override;
  void Clear(bool ADoFree) override;
  bool HasAttribs() const { return !FAttribs.empty(); }
  // Assigns one attribute from another.
  virtual void AttributeAssign(TqdDXFEntity& ADest, const TqdDXFEntity& ASource);
  // Copies the attributes of ASource (each made by its own class and assigned).
  virtual void CopyAttributes(const TqdDXFInsert& ASource);
  virtual void LoadAttributes(TqdDXFConverter* C);

  // ---- placement
  // Moves the attributes by the same difference.
  void SetPoint(const TFPoint& P) override;
  virtual double Angle() const { return FAngle; }
  // Whole turns removed (the sign is kept); turns the attributes about the base point.
  virtual void SetAngle(double V);
  TFPoint Scale() const { return FScale; }
  // Scales the attributes about the base point; an axis whose old or new factor is 0
  // leaves the attributes alone on that axis.
  virtual void SetScale(const TFPoint& V);
  TFPoint Extrusion() const override { return FExtrusion; }
  // (0,0,0) and non-finite vectors store (0,0,1).
  void SetExtrusion(const TFPoint& P) override;
  double LineWeight() const override { return FLineWeight; }
  void SetLineWeight(double V) override;
  // The block's offset (plus the referenced drawing's insertion base for an xref).
  virtual TFPoint BlockOffset() const;
  virtual void ResetMatrix() { FMatrix = cnstIdentityMat; }
  // Rebuilds the placement matrix from point, scale, angle, extrusion and offset.
  virtual void RebuildMatrix();
  TFMatrix GetMatrix() const { return FMatrix; }
  TFRect Box() const override { return FBox; }
  TFRect GetBox() const { return FBox; }

  // ---- iteration and naming
  TqdDXFInsert* OwnerInsert() const { return FOwnerInsert; }
  void SetOwnerInsert(TqdDXFInsert* I) { FOwnerInsert = I; }
  int SceneElement() const { return FSceneElement; }
  void SetSceneElement(int V) { FSceneElement = V; }
  std::string Name() const override;
  // The layer that inserted entities on layer "0" take: this insert's, or its owner
  // insert's when this one is on "0" too.
  TqdDXFLayer* RealLayer() const;
  std::string EntName() const;

  // ---- clipping
  // The spatial filter of the insert's extension dictionary ("ACAD_FILTER"/"SPATIAL").
  TqdCADSpatialFilter* SpatialFilter() const;
  // The clip boundary in drawing coordinates; empty when the insert is not clipped or
  // its filter is degenerate (fewer than 2 distinct points, 3 for a polygon).
  std::vector<TFPoint> ClipBoundary() const;

  void ResolveLinks(TqdDXFConverter* C) override;
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  friend class TqdDXFBlock;
  // Resolves the placeholder, loads the block on demand (never one being loaded).
  TqdDXFBlock* PrepareBlock(TqdDXFConverter* C);
  // The box of the block through the matrix (clip and arrays applied by subclasses).
  virtual void ComputeBox(TqdDXFConverter* C);
  void MoveAttributes(const TFPoint& D);

  std::vector<std::unique_ptr<TqdDXFEntity>> FAttribs;
  TqdDXFBlockRecord* FBlockRecord = nullptr;
  // The block whose reference chain holds this insert, and the neighbours there.
  TqdDXFBlock* FReferencedBlock = nullptr;
  TqdDXFInsert* FPrevReference = nullptr;
  TqdDXFInsert* FNextReference = nullptr;
  std::unique_ptr<TqdLinkObject> FBlockLink;
  TFPoint FExtrusion = cnstExtrusion;
  double FLineWeight = cnstLWByLayer;
  TqdDXFInsert* FOwnerInsert = nullptr;
  int FSceneElement = 0;
  float FAngle = 0;
  TFRect FBox = cnstBadRect;
  TFMatrix FMatrix = cnstIdentityMat;
  TFPoint FScale = cnstFPointSingle;
};

// An array insert (MINSERT): NumRows x NumCols copies, ColSpacing and RowSpacing apart
// along the object X and Y axes turned by the insert's angle.
class TqdCADMInsert : public TqdDXFInsert {
  QD_ENTITY_CLASS(TqdCADMInsert)
public:
  int NumCols() const { return FNumCols; }
  void SetNumCols(int V);
  int NumRows() const { return FNumRows; }
  void SetNumRows(int V);
  double ColSpacing() const { return FColSpacing; }
  void SetColSpacing(double V);
  double RowSpacing() const { return FRowSpacing; }
  void SetRowSpacing(double V);
  // Rows and columns as drawn: a count of 0 stands for one.
  int EffectiveCols() const { return FNumCols < 1 ? 1 : FNumCols; }
  int EffectiveRows() const { return FNumRows < 1 ? 1 : FNumRows; }
  std::uint64_t CellCount() const {
    return static_cast<std::uint64_t>(EffectiveCols()) * static_cast<std::uint64_t>(EffectiveRows());
  }
  // The grid is larger than cnstMaxInsertCells: draw the first DrawnCellCount() cells
  // (row by row) and the box of the whole array for the rest.
  bool IsCapped() const { return CellCount() > cnstMaxInsertCells; }
  std::uint64_t DrawnCellCount() const { return IsCapped() ? cnstMaxInsertCells : CellCount(); }
  // The placement matrix of cell (ARow, ACol); the insert itself is not changed.
  TFMatrix CellMatrix(int ARow, int ACol) const;
  // How far cell (ARow, ACol) lies from the first, in world coordinates (what
  // moves the attributes of the first cell onto that cell).
  TFPoint CellOffset(int ARow, int ACol) const;
  void SetPoint(const TFPoint& P) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  void ComputeBox(TqdDXFConverter* C) override;

private:
  TFPoint CellOffsetOCS(int ARow, int ACol) const;
  std::uint16_t FNumCols = 1;
  std::uint16_t FNumRows = 1;
  double FColSpacing = 0;
  double FRowSpacing = 0;
};

// An insert cut to a rectangle in X and Y.
class TqdCADClipInsert : public TqdDXFInsert {
  QD_ENTITY_CLASS(TqdCADClipInsert)
public:
  TFRect GetClipBox() const { return FClipBox; }
  void SetClipBox(const TFRect& R) {
    if (IsFiniteBox(R) || R == cnstBadRect) FClipBox = R;
  }
  // Moves the clip box with the point.
  void SetPoint(const TFPoint& P) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  void ComputeBox(TqdDXFConverter* C) override;

private:
  TFRect FClipBox = cnstBadRect;
};

// Attribute-definition flags.
inline constexpr int cnstAttNotAppear = 1;
inline constexpr int cnstAttConstant = 2;
inline constexpr int cnstAttControlled = 4;
inline constexpr int cnstAttPreset = 8;

class TqdDXFAttdef : public TqdDXFText {
  QD_ENTITY_CLASS(TqdDXFAttdef)
public:
  TqdDXFAttdef() { FTagItem.FAncestor = this; }
  TqdCADEntities EntType() const override { return ceAttdef; }
  std::string Tag() const { return FTagItem.FName; }
  // The shown text and the tag both become V.
  virtual void SetTag(std::string_view V);
  const std::string& Value() const { return FValue; }
  virtual void SetValue(std::string_view V) { FValue.assign(V); }
  int Flags() const override { return FFlags; }
  void SetFlags(int V) override { FFlags = V; }
  bool NotAppear() const { return (FFlags & cnstAttNotAppear) != 0; }
  void SetNotAppear(bool V) { SetBit(cnstAttNotAppear, V); }
  bool Constant() const { return (FFlags & cnstAttConstant) != 0; }
  void SetConstant(bool V) { SetBit(cnstAttConstant, V); }
  bool Controlled() const { return (FFlags & cnstAttControlled) != 0; }
  void SetControlled(bool V) { SetBit(cnstAttControlled, V); }
  bool Preset() const { return (FFlags & cnstAttPreset) != 0; }
  void SetPreset(bool V) { SetBit(cnstAttPreset, V); }
  bool LockPosition() const { return FLockPosition; }
  void SetLockPosition(bool V) { FLockPosition = V; }
  // Skip the next draw once.
  bool HasChanging() const { return FHasChanging; }
  void SetHasChanging(bool V) { FHasChanging = V; }
  // The owner is kept in the tag item as well.
  TqdDXFEntity* Owner() const override { return FTagItem.FOwner; }
  void SetOwner(TqdDXFEntity* AOwner) override;
  std::string Name() const override { return FTagItem.FName; }
  std::string EntName() const;
  // Whether a definition met in an inserted block is drawn: only constant ones that
  // show (and not right after a change).
  bool DrawsInInsert() const;
  // The "AcDbAttr" record: 1001 "AcDbAttr", 1070 0, 1070 LockPosition.
  TqdCADExtendedData AttrExtData() const;
  // Takes the 1070 value that follows a 1070 of value 0 as LockPosition.
  void SetAttrExtData(const TqdCADExtendedData& AData);
  void AssignEntity(const TqdDXFEntity& Source) override;

protected:
  void SetBit(int Bit, bool V) { FFlags = V ? (FFlags | Bit) : (FFlags & ~Bit); }
  TqdNamedItem FTagItem;
  bool FHasChanging = false;
  std::string FValue;
  int FFlags = 0;
  bool FLockPosition = false;
};

class TqdDXFAttrib : public TqdDXFAttdef {
  QD_ENTITY_CLASS(TqdDXFAttrib)
public:
  TqdCADEntities EntType() const override { return ceAttrib; }
  // Only the tag.
  void SetTag(std::string_view V) override { FTagItem.FName.assign(V); }
  // The shown text becomes the value.
  void SetValue(std::string_view V) override;
};

// ---------------------------------------------------------------- multilines

class TqdMVertex : public TqdDXFEntity {
  QD_ENTITY_CLASS(TqdMVertex)
public:
  bool IsVertexBased() const override { return true; }
  TqdDXFEntity* Owner() const override { return FOwner; }
  void SetOwner(TqdDXFEntity* AOwner) override { FOwner = AOwner; }
  TFPoint Point() const { return FPoint; }
  void SetPoint(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FPoint = P;
  }
  TFPoint Direction() const { return FDirection; }
  void SetDirection(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FDirection = P;
  }
  TFPoint Miter() const { return FMiter; }
  void SetMiter(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FMiter = P;
  }
  // Pads the last list to two values and starts a new empty one.
  void NewList();
  // Appends V to the last list (starting one when there is none).
  void Add(float V);
  // Pads the last list to two values.
  void Complete();
  int ParamsCount() const { return static_cast<int>(FParams.size()); }
  int GetParamsCount() const { return ParamsCount(); }
  // Values in list I (0 outside).
  int GetPCount(int I) const;
  // 0 outside the lists.
  float GetParam(int I, int J) const;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  TqdDXFEntity* FOwner = nullptr;
  TFPoint FPoint, FDirection, FMiter;
  std::vector<std::vector<float>> FParams;
};

class TqdCADMLine : public TqdDXFInsert {
  QD_ENTITY_CLASS(TqdCADMLine)
public:
  static constexpr int cnstClosed = 2;
  TqdCADMLine();
  ~TqdCADMLine() override;
  TqdCADEntities EntType() const override { return ceMLine; }

  TqdMLineStyle* Style() const;
  void SetStyle(TqdMLineStyle* S);
  // A placeholder resolved by name, then by handle, in the multiline styles.
  TqdTableItem& StyleItem() { return FStyleItem; }
  int Flags() const override { return FFlags; }
  void SetFlags(int V) override { FFlags = V; }
  bool IsClosed() const { return (FFlags & cnstClosed) != 0; }
  std::uint8_t Justify() const { return FJustify; }
  void SetJustify(std::uint8_t V) { FJustify = V; }
  double ScaleFactor() const { return FScaleFactor; }
  void SetScaleFactor(double V) {
    if (std::isfinite(V)) FScaleFactor = V;
  }
  TFPoint StartPoint() const { return FStartPoint; }
  void SetStartPoint(const TFPoint& P) {
    if (IsFiniteFPoint(P)) FStartPoint = P;
  }
  // The vertices.
  int ItemsCount() const { return static_cast<int>(FItems.size()); }
  TqdMVertex* GetItem(int I) const;
  // Appends a vertex (taken); returns it.
  TqdMVertex* AddItem(std::unique_ptr<TqdMVertex> V);
  // The private block the geometry is built in (not in BLOCKS).
  TqdDXFBlock* PrivateBlock() const { return FPrivateBlock.get(); }

  // The vertices are in world coordinates: the point does not move them.
  void SetPoint(const TFPoint&) override {}
  void RebuildMatrix() override { ResetMatrix(); }
  void ResolveLinks(TqdDXFConverter* C) override;
  // Rebuilds the private block from the style and the vertices; without a style
  // nothing is done.
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  void BuildBlock(TqdDXFConverter* C);
  int FFlags = 0;
  std::uint8_t FJustify = 0;
  std::vector<std::unique_ptr<TqdMVertex>> FItems;
  TqdTableItem FStyleItem;
  double FScaleFactor = 1.0;
  TFPoint FStartPoint;
  std::unique_ptr<TqdDXFBlock> FPrivateBlock;
};
