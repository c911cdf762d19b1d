#pragma once
// Dimension styles (DIMSTYLE table items), the per-entity override layer that reads
// through to a style, the "ACAD" "DSTYLE" extended data of those overrides, and the
// arrowhead blocks with reserved names whose geometry the library makes on demand.
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "DXFBase.h"

class TqdDXFStyle;
class TqdDXFBlock;

// Selects the holder of a value; bit n of an override set marks property n.
enum TqdDimNameVal {
  vnDIMASZ, vnDIMBLK, vnDIMBLK1, vnDIMBLK2, vnDIMLRBLK, vnDIMSD1, vnDIMSD2, vnDIMSE1,
  vnDIMSE2, vnDIMCLRD, vnDIMCLRE, vnDIMCLRT, vnDIMLWD, vnDIMLWE, vnDIMTIX, vnDIMLFAC,
  vnDIMDEC, vnDIMTXT, vnDIMTAD, vnDIMCEN, vnDIMTXSTY, vnDIMGAP, vnDIMEXE, vnDIMEXO,
  vnDIMTIH, vnDIMTOH, vnDIMSCALE, vnDIMENBL, vnDIMTXTALIGN, vnDIMSAH,
  // Zero suppression, after the fixed thirty.
  vnDIMZIN, vnDIMDSEP
};

// Vertical text position (DIMTAD).
enum TqdDimTextPosVert { pvCenter, pvAbove, pvOutSide, pvJIS };

// ---- arrow types: an index into the name table, or -1 for a user block
inline constexpr int cnstArrowTypeCount = 21;
inline constexpr int cnstArrowUser = 19;
inline constexpr int cnstArrowNone = 20;
// Byte storage of "no arrow type" (a user block).
inline constexpr std::uint8_t cnstArrowByteNone = 255;
extern const char* const cnstArrowNames[cnstArrowTypeCount];
// Upper-cased, "_" prefixed, looked up; an empty name gives ADefault, an unknown 19.
int ArrowTypeByName(std::string_view AName, int ADefault);
// The table name of a type; empty outside 0..20.
std::string ArrowNameOfType(int AType);
// The type a block gives by its name: none 0, unknown 19.
int ArrowTypeOfBlock(const TqdDXFBlock* ABlock);
// A value as a slot stores it: -1 stays (as 255), anything outside -1..20 becomes 0.
std::uint8_t ArrowTypeToByte(int AType);
// The byte read back: 255 gives -1, anything above 20 gives 0.
int ArrowTypeFromByte(std::uint8_t AByte);
// The block of a standard type in BLOCKS, made and filled when missing; null for -1,
// 19 and anything outside the table (those name user blocks).
TqdDXFBlock* ArrowBlockOfType(TqdDXFConverter* C, int AType);
// Fills an empty, not yet loaded block with the standard geometry of AType (pointing
// along +X, tip at the origin, unit size, colour and lineweight BYBLOCK).
void FillArrowBlock(TqdDXFConverter* C, TqdDXFBlock* ABlock, int AType);
// Finds or makes the auxiliary "qdCLOSEDFILEDLINE" block.
TqdDXFBlock* ClosedFilledLineBlock(TqdDXFConverter* C);
inline constexpr const char* cnstClosedFilledLineName = "qdCLOSEDFILEDLINE";

// DIMDSEP as a character: printable ASCII, anything else none (0).
inline int ClampDimDSep(long long V) { return V > 32 && V < 127 ? static_cast<int>(V) : 0; }

// DIMDEC as a digit count.
inline int ClampDimDec(long long V) { return V < 0 ? 0 : (V > 8 ? 8 : static_cast<int>(V)); }

class TqdDXFDimensionStyle : public TqdDXFPenTableItem {
  QD_ENTITY_CLASS(TqdDXFDimensionStyle)
public:
  TqdDXFDimensionStyle() { InitProps(nullptr); }
  // The DimProps of AHeader (the library defaults when null); no text style.
  void InitProps(const TqdHeadVarStruct* AHeader);

  // ---- the override protocol (a plain style answers itself and holds nothing)
  virtual TqdDXFDimensionStyle* PropertyOwner(int AIndex, bool AForWrite);
  const TqdDXFDimensionStyle* PropertyOwnerRead(int AIndex) const {
    return const_cast<TqdDXFDimensionStyle*>(this)->PropertyOwner(AIndex, false);
  }
  TqdDXFDimensionStyle* OwnerStyle() const { return GetOwnerStyle(); }
  virtual TqdDXFDimensionStyle* GetOwnerStyle() const { return nullptr; }
  virtual std::uint32_t Overrides() const { return 0; }
  virtual void ResetOverrides(TqdDXFDimensionStyle* AStyle) {}
  virtual void SetOwnerStyle(TqdDXFDimensionStyle* AStyle) {}

  // ---- properties, each through PropertyOwner
  double ArrowSize() const { return PropertyOwnerRead(vnDIMASZ)->FDimProps.Asz; }
  void SetArrowSize(double V);
  int ArrowType() const { return ArrowTypeFromByte(PropertyOwnerRead(vnDIMBLK)->FDimProps.Arrows.Blk); }
  void SetArrowType(int V) { SetArrowSlot(0, V); }
  int ArrowType1() const { return ArrowTypeFromByte(PropertyOwnerRead(vnDIMBLK1)->FDimProps.Arrows.Blk1); }
  void SetArrowType1(int V) { SetArrowSlot(1, V); }
  int ArrowType2() const { return ArrowTypeFromByte(PropertyOwnerRead(vnDIMBLK2)->FDimProps.Arrows.Blk2); }
  void SetArrowType2(int V) { SetArrowSlot(2, V); }
  int ArrowTypeL() const { return ArrowTypeFromByte(PropertyOwnerRead(vnDIMLRBLK)->FDimProps.Arrows.LrBlk); }
  void SetArrowTypeL(int V) { SetArrowSlot(3, V); }
  // Slot 0..3: DIMBLK, DIMBLK1, DIMBLK2, DIMLDRBLK; looked up in BLOCKS by name.
  TqdDXFBlock* ArrowBlock(int ASlot) const;
  // The block's name is kept and the slot's type recomputed from it.
  void SetArrowBlock(int ASlot, TqdDXFBlock* B);
  const std::string& ArrowBlockName(int ASlot) const;
  TqdDXFBlock* DIMBLK() const { return ArrowBlock(0); }
  void SetDIMBLK(TqdDXFBlock* B) { SetArrowBlock(0, B); }
  TqdDXFBlock* DIMBLK1() const { return ArrowBlock(1); }
  void SetDIMBLK1(TqdDXFBlock* B) { SetArrowBlock(1, B); }
  TqdDXFBlock* DIMBLK2() const { return ArrowBlock(2); }
  void SetDIMBLK2(TqdDXFBlock* B) { SetArrowBlock(2, B); }
  TqdDXFBlock* DIMLDRBLK() const { return ArrowBlock(3); }
  void SetDIMLDRBLK(TqdDXFBlock* B) { SetArrowBlock(3, B); }
  TqdColorCAD DIMCLRD() const { return PropertyOwnerRead(vnDIMCLRD)->FDimProps.ClrD; }
  void SetDIMCLRD(const TqdColorCAD& V) { PropertyOwner(vnDIMCLRD, true)->FDimProps.ClrD = V; }
  TqdColorCAD DIMCLRE() const { return PropertyOwnerRead(vnDIMCLRE)->FDimProps.ClrE; }
  void SetDIMCLRE(const TqdColorCAD& V) { PropertyOwner(vnDIMCLRE, true)->FDimProps.ClrE = V; }
  TqdColorCAD DIMCLRT() const { return PropertyOwnerRead(vnDIMCLRT)->FDimProps.ClrT; }
  void SetDIMCLRT(const TqdColorCAD& V) { PropertyOwner(vnDIMCLRT, true)->FDimProps.ClrT = V; }
  int DIMDEC() const { return ClampDimDec(PropertyOwnerRead(vnDIMDEC)->FDimProps.Dec); }
  void SetDIMDEC(long long V) { PropertyOwner(vnDIMDEC, true)->FDimProps.Dec = ClampDimDec(V); }
  double DIMLFAC() const { return PropertyOwnerRead(vnDIMLFAC)->FDimProps.LFac; }
  void SetDIMLFAC(double V) { SetReal(vnDIMLFAC, &TqdDimStyle::LFac, V); }
  double DIMLWD() const { return PropertyOwnerRead(vnDIMLWD)->FDimProps.LwD; }
  void SetDIMLWD(double V) { SetReal(vnDIMLWD, &TqdDimStyle::LwD, V); }
  double DIMLWE() const { return PropertyOwnerRead(vnDIMLWE)->FDimProps.LwE; }
  void SetDIMLWE(double V) { SetReal(vnDIMLWE, &TqdDimStyle::LwE, V); }
  bool DIMSAH() const { return PropertyOwnerRead(vnDIMSAH)->FDimProps.Sah; }
  void SetDIMSAH(bool V) { PropertyOwner(vnDIMSAH, true)->FDimProps.Sah = V; }
  bool DIMSD1() const { return PropertyOwnerRead(vnDIMSD1)->FDimProps.SD1; }
  void SetDIMSD1(bool V) { PropertyOwner(vnDIMSD1, true)->FDimProps.SD1 = V; }
  bool DIMSD2() const { return PropertyOwnerRead(vnDIMSD2)->FDimProps.SD2; }
  void SetDIMSD2(bool V) { PropertyOwner(vnDIMSD2, true)->FDimProps.SD2 = V; }
  bool DIMSE1() const { return PropertyOwnerRead(vnDIMSE1)->FDimProps.SE1; }
  void SetDIMSE1(bool V) { PropertyOwner(vnDIMSE1, true)->FDimProps.SE1 = V; }
  bool DIMSE2() const { return PropertyOwnerRead(vnDIMSE2)->FDimProps.SE2; }
  void SetDIMSE2(bool V) { PropertyOwner(vnDIMSE2, true)->FDimProps.SE2 = V; }
  bool DIMTIH() const { return PropertyOwnerRead(vnDIMTIH)->FDimProps.Tih; }
  void SetDIMTIH(bool V) { PropertyOwner(vnDIMTIH, true)->FDimProps.Tih = V; }
  int DIMTIX() const { return PropertyOwnerRead(vnDIMTIX)->FDimProps.Tix; }
  void SetDIMTIX(int V) { PropertyOwner(vnDIMTIX, true)->FDimProps.Tix = V; }
  bool DIMTOH() const { return PropertyOwnerRead(vnDIMTOH)->FDimProps.Toh; }
  void SetDIMTOH(bool V) { PropertyOwner(vnDIMTOH, true)->FDimProps.Toh = V; }
  double ExtLineExt() const { return PropertyOwnerRead(vnDIMEXE)->FDimProps.Exe; }
  void SetExtLineExt(double V) { SetReal(vnDIMEXE, &TqdDimStyle::Exe, V); }
  double ExtLineOffset() const { return PropertyOwnerRead(vnDIMEXO)->FDimProps.Exo; }
  void SetExtLineOffset(double V) { SetReal(vnDIMEXO, &TqdDimStyle::Exo, V); }
  double Scale() const { return PropertyOwnerRead(vnDIMSCALE)->FDimProps.Scale; }
  void SetScale(double V) { SetReal(vnDIMSCALE, &TqdDimStyle::Scale, V); }
  double SizeCenterMark() const { return PropertyOwnerRead(vnDIMCEN)->FDimProps.Cen; }
  void SetSizeCenterMark(double V) { SetReal(vnDIMCEN, &TqdDimStyle::Cen, V); }
  double TextHeight() const { return PropertyOwnerRead(vnDIMTXT)->FDimProps.Txt; }
  void SetTextHeight(double V) { SetReal(vnDIMTXT, &TqdDimStyle::Txt, V); }
  double TextOffset() const { return PropertyOwnerRead(vnDIMGAP)->FDimProps.Gap; }
  void SetTextOffset(double V) { SetReal(vnDIMGAP, &TqdDimStyle::Gap, V); }
  int DIMZIN() const { return PropertyOwnerRead(vnDIMZIN)->FDimProps.Zin; }
  void SetDIMZIN(int V) { PropertyOwner(vnDIMZIN, true)->FDimProps.Zin = V; }
  // A printable ASCII character, or 0 (none set).
  int DIMDSEP() const { return PropertyOwnerRead(vnDIMDSEP)->FDimProps.DSep; }
  void SetDIMDSEP(int V) { PropertyOwner(vnDIMDSEP, true)->FDimProps.DSep = ClampDimDSep(V); }
  TqdDimTextPosVert TextPosVert() const;
  void SetTextPosVert(int V) { PropertyOwner(vnDIMTAD, true)->FDimProps.Tad = V; }
  // Read through the overrides like every other value.
  TqdDXFStyle* TextStyle() const;
  void SetTextStyle(TqdDXFStyle* S);
  TqdTableItem& TextStyleItem() { return FTextStyleItem; }

  // Every slot holding ABlockPrev takes ABlockNew (none: the slot is emptied).
  bool ReplaceBlock(const TqdDXFBlock* ABlockPrev, TqdDXFBlock* ABlockNew);
  // Ensures the arrow block of every slot that names none.
  void Loaded(TqdDXFConverter* C) override;
  void ResolveLinks(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

  TqdDimStyle FDimProps;
  // The four arrow blocks by name (DIMBLK, DIMBLK1, DIMBLK2, DIMLDRBLK): a name stays
  // valid when the block goes, a pointer would not.
  std::array<std::string, 4> FBlks;
  // Block-record handles of the slots as a reader met them (before BLOCKS); resolved
  // into FBlks by ResolveLinks.
  std::array<std::uint64_t, 4> FBlkHandles{};

protected:
  void SetArrowSlot(int ASlot, int AType);
  void SetReal(int AIndex, double TqdDimStyle::*AField, double V) {
    if (std::isfinite(V)) PropertyOwner(AIndex, true)->FDimProps.*AField = V;
  }
  TqdTableItem FTextStyleItem;
};

// The values one entity changes; everything else reads through to its owner style.
class TqdDXFDimensionProperties : public TqdDXFDimensionStyle {
  QD_ENTITY_CLASS(TqdDXFDimensionProperties)
public:
  TqdDXFDimensionStyle* PropertyOwner(int AIndex, bool AForWrite) override;
  TqdDXFDimensionStyle* GetOwnerStyle() const override;
  std::uint32_t Overrides() const override { return FPropertiesInit; }
  bool IsOverridden(int AIndex) const { return AIndex >= 0 && AIndex < 32 && (FPropertiesInit >> AIndex) & 1u; }
  // Empties the set; with AStyle copies its values and makes it the owner.
  void ResetOverrides(TqdDXFDimensionStyle* AStyle) override;
  // Only a plain style table item may own overrides: another override object (or this
  // one) as owner would make every read recurse.
  void SetOwnerStyle(TqdDXFDimensionStyle* AStyle) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

  // "ACAD" "DSTYLE" { code value ... }: the overridden values in table order.
  TqdCADExtendedData GetDStyleData() const;
  // Reads the "ACAD" data when its sub-name is "DSTYLE"; returns whether it was.
  bool SetDStyleData(const TqdCADExtendedData& AData);

  TqdTableItem FOwnerStyleItem;
  std::uint32_t FPropertiesInit = 0;
};

// The DSTYLE frame: writes the opening items into AData.
void BeginDStyleData(TqdCADExtendedData& AData);
