#pragma once
// Non-graphical objects: layouts, plot settings, xrecords, image definitions, table
// styles, sort tables and external-reference items.
#include <memory>
#include <string>

#include "DXFBase.h"

class TqdDXFBlock;

enum TqdCADSpace { csUndefined, cs2D, cs3D };

class TqdDXFPlotSettings : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFPlotSettings)
public:
  std::string PageSetupName;
  std::string PrintOrConfigName = "none_device";
  std::string PaperSize;
  std::string PlotViewName;
};

class TqdDXFLayout : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFLayout)
public:
  TqdDXFLayout();
  ~TqdDXFLayout() override;

  TFRect Box() const override { return FBox; }
  void SetBox(const TFRect& R) { FBox = R; }
  TqdCADSpace CADSpace() const { return FCADSpace; }
  void SetCADSpace(TqdCADSpace V) { FCADSpace = V; }
  // The space block; made (or found by name) in BLOCKS on first use when the layout
  // has a converter: "*MODEL_SPACE", "*PAPER_SPACE", "*PAPER_SPACE0", ...
  TqdDXFBlock* PaperSpaceBlock();
  TqdDXFBlock* PaperSpaceBlockField() const { return FPaperSpaceBlock; }
  // The space block lives in BLOCKS; the layout only links it.
  void SetPaperSpaceBlock(TqdDXFBlock* B);
  // The block is going away.
  void ForgetBlock(const TqdDXFBlock* B) {
    if (FPaperSpaceBlock == B) FPaperSpaceBlock = nullptr;
  }
  TqdDXFPlotSettings* PlotSettings() const { return FPlotSettings.get(); }
  TFPoint ExtMin() const { return FBox.TopLeft(); }
  TFPoint ExtMax() const { return FBox.BottomRight(); }
  bool IsEmpty() const { return Count() == 0; }
  // Index of the layout in its converter's layouts (-1 when it has none).
  int Index() const;
  bool IsModel() const { return Index() == 0; }
  TFMatrix FRotMatrix = cnstIdentityMat;
  double FRotZAngle = 0;
  TFPoint FUCSOrigin, FUCSXDir, FUCSYDir;

  // The layout's entities are its block's.
  int Count() const override;
  TqdDXFEntity* GetEntity(int Index) const override;
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  std::unique_ptr<TqdDXFEntity> DeleteEntity(int Index) override;
  int IndexOfEntity(const TqdDXFEntity* E) const override;
  int IndexOfName(std::string_view AName) const override;
  // Marks the block not loaded and recomputes the box from the block's entities.
  void Loaded(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  TFRect FBox = cnstBadRect;
  TqdCADSpace FCADSpace = cs3D;
  TqdDXFBlock* FPaperSpaceBlock = nullptr;
  std::unique_ptr<TqdDXFPlotSettings> FPlotSettings;
};

// A list of group codes and values.
class TqdDXFXRecord : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFXRecord)
public:
  TqdCADExtendedData FData;
};

class TqdDXFImageDef : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFImageDef)
public:
  std::string FFileName;
};

class TqdDXFAcadTableStyle : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFAcadTableStyle)
};

// The draw-order table of one block; its ordering belongs to the block unit.
class TqdDXFSortEntsTable : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFSortEntsTable)
public:
  TqdTableItem& BlockItem() { return FBlockItem; }
  // The block placeholder resolves in BLOCK_RECORD.
  void ResolveLinks(TqdDXFConverter* C) override;

private:
  TqdTableItem FBlockItem;
};

class TqdDXFXref : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdDXFXref)
public:
  TqdCADEntities EntType() const override { return ceXRef; }
  TFRect Box() const override { return FBox; }
  std::string FPath;
  TFRect FBox = cnstBadRect;
};

// Drawing-wide switches of raster images and wipeouts, kept in OBJECTS.
class TqdCADRasterVariables : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdCADRasterVariables)
public:
  bool FDisplayFrame = true;
  int FDisplayQuality = 1;
  int FUnits = 0;
};

class TqdCADWipeoutVariables : public TqdDXFOwneredItem {
  QD_ENTITY_CLASS(TqdCADWipeoutVariables)
public:
  // Frames of wipeouts are shown (DXF 70).
  bool FFrame = false;
};
