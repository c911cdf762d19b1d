#pragma once
// Symbol-table items: layers, linetypes, text styles, dimension styles, viewports,
// application ids and multiline styles.
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DXFBase.h"
#include "qdLines.h"

// The library-wide default of a new layer's name check.
inline bool cnstLayerCheckNameDefault = true;

// True for a valid layer name: 1 to 255 characters, none of " , / : ; < = > ? \ `.
bool IsValidLayerName(std::string_view AName);
// True for a valid table name: as for layers, and no * or | either.
bool IsValidTableName(std::string_view AName);

class TqdDXFLineType;

class TqdDXFLayer : public TqdDXFCustomColor {
  QD_ENTITY_CLASS(TqdDXFLayer)
public:
  TqdDXFLayer();
  // Raises EqdIncorrectNameLayer ("Incorrect Layer Name") for an invalid name while
  // IsCheckName is on; the name is then not changed.
  void SetName(std::string_view AName) override;
  // Readers and the converter name layers through this: names of other writers (such
  // as "A/B") must not abort a load.
  void SetNameUnchecked(std::string_view AName) override;
  bool IsCheckName() const { return FIsCheckName; }
  void SetIsCheckName(bool V) { FIsCheckName = V; }

  TqdDXFLineType* LineType() const override;
  void SetLineType(TqdDXFLineType* AType) override;
  TqdTableItem& LineTypeItem() { return FLineTypeItem; }
  double LineWeight() const override { return FLineWeight; }
  void SetLineWeight(double V) override;
  // The layer is on.
  bool Visible() const override { return FVisible; }
  void SetVisible(bool V) { FVisible = V; }
  bool Frozen() const { return (FFlags & 1) != 0; }
  void SetFrozen(bool V) { FFlags = V ? (FFlags | 1) : (FFlags & ~1); }
  bool IsFrozenByNewViewPort() const { return (FFlags & 2) != 0; }
  void SetIsFrozenByNewViewPort(bool V) { FFlags = V ? (FFlags | 2) : (FFlags & ~2); }
  bool Locked() const { return (FFlags & 4) != 0; }
  void SetLocked(bool V) { FFlags = V ? (FFlags | 4) : (FFlags & ~4); }
  bool XrefLink() const { return (FFlags & 16) != 0; }
  void SetXrefLink(bool V) { FFlags = V ? (FFlags | 48) : (FFlags & ~48); }
  bool FrozenByViewPort() const { return FFrozenByViewPort; }
  void SetFrozenByViewPort(bool V) { FFrozenByViewPort = V; }
  // False for "DEFPOINTS" whatever was set.
  bool IsPlotting() const;
  void SetIsPlotting(bool V) { FIsPlotting = V; }
  bool Used() const { return FNamedItem.FRefCount > 0; }

  // Negative colour: the layer is off (colour made positive; outside 1..255 it is 7);
  // "BYLAYER"/"BYBLOCK" linetypes become "CONTINUOUS"; "*ADSK_CONSTRAINTS" is frozen.
  void Loaded(TqdDXFConverter* C) override;
  void ResolveLinks(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  TqdTableItem FLineTypeItem;
  double FLineWeight = cnstLWDefault;
  bool FIsPlotting = true;
  bool FFrozenByViewPort = false;
  bool FIsCheckName = cnstLayerCheckNameDefault;
  bool FVisible = true;
};

// The elements of a linetype's pattern as read (the pattern engine's own type).
using TqdLineTypeElement = TqdLTypeElement;

class TqdDXFLineType : public TqdDXFPenTableItem {
  QD_ENTITY_CLASS(TqdDXFLineType)
public:
  TqdDXFLineType();
  ~TqdDXFLineType() override;
  // "BYLAYER", "CONTINUOUS" and "BYBLOCK" are stored in exactly that spelling.
  void SetNameUnchecked(std::string_view AName) override;
  std::string Description() const { return FDescription; }
  void SetDescription(std::string_view V) { FDescription.assign(V); }
  double LineTypeScale() const override { return FLineTypeScale; }
  void SetLineTypeScale(double V) override;
  int ElementCount() const { return FLines.ElementsCount(); }
  TqdLineTypeElement& Element(int I) { return *CheckedElement(I); }
  void AddElement(const TqdLineTypeElement& E);
  // The text style of element I (a counted link, or a placeholder while reading).
  TqdTableItem& ElementStyle(int I) { return *FElementStyles.at(static_cast<std::size_t>(I)); }
  // The dash pattern, prepared by Loaded; its scale is the linetype's own scale.
  const TqdLines& Lines() const { return FLines; }
  // Prepares the pattern; a "CONTINUOUS" linetype has none.
  void Loaded(TqdDXFConverter* C) override;
  void ResolveLinks(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  std::string FDescription;
  TqdLineTypeElement* CheckedElement(int I);
  void Prepare(TqdDXFConverter* C);

  double FLineTypeScale = 1.0;
  TqdLines FLines;
  std::vector<std::unique_ptr<TqdTableItem>> FElementStyles;
};

struct TqdTextStyle;

class TqdDXFStyle : public TqdDXFPenTableItem {
  QD_ENTITY_CLASS(TqdDXFStyle)
public:
  void AssignEntity(const TqdDXFEntity& Source) override;
  // Width factor below 1e-6 becomes 1; the face name of a ".ttf" primary font is
  // derived; SHX styles are registered with the drawing's font list (a substituted
  // font becomes a load warning).
  void Loaded(TqdDXFConverter* C) override;
  bool Backward() const { return (FTextGenFlags & 2) != 0; }
  bool UpsideDown() const { return (FTextGenFlags & 4) != 0; }
  // Drawn with a TrueType face (a face name, or a TrueType primary font file).
  bool IsTrueType() const;
  // The registered SHX style; registers it on first use.
  const TqdTextStyle* SHXTextStyle(TqdDXFConverter* C);

  std::string FBigFont;
  double FFixedHeight = 0;
  std::string FFontName;
  int FFontStyle = 0;
  double FLastHeightUsed = 0.2;
  double FObliqueAngle = 0;
  std::string FPrimaryFont;
  bool FSHXStyle = false;
  int FTextGenFlags = 0;
  double FWidthFactor = 1.0;
  const TqdTextStyle* FSHXTextStyle = nullptr;
  TqdDXFConverter* FSHXConverter = nullptr;
};

class TqdDXFAppID : public TqdDXFPenTableItem {
  QD_ENTITY_CLASS(TqdDXFAppID)
public:
  // Its records leave every entity with it.
  ~TqdDXFAppID() override;
};

class TqdDXFVport : public TqdDXFPenTableItem {
  QD_ENTITY_CLASS(TqdDXFVport)
public:
  TFPoint ViewDirection() const { return FViewDirection; }
  // (0,0,0) and non-finite directions store (0,0,1).
  void SetViewDirection(const TFPoint& P);
  void AssignEntity(const TqdDXFEntity& Source) override;

  int FCircleZoomPercent = 100;
  double FViewAspectRatio = 1.0;
  TFPoint FViewCenterPoint{0, 0, 0};
  TFPoint FViewDirection{0, 0, 1};
  double FViewHeight = 0;
  TFPoint FViewTarget{0, 0, 0};
  double FViewTwistAngle = 0;
  TFPoint FUCSOrigin{0, 0, 1};
  TFPoint FUCSYDir{0, 1, 0};
  TFPoint FUCSXDir{1, 0, 0};
  bool FUCSVP = false;
};

// One element of a multiline style: its offset from the multiline's vertices, colour
// and linetype.
class TqdMLineEntry : public TqdDXFEntity {
  QD_ENTITY_CLASS(TqdMLineEntry)
public:
  TqdDXFEntity* Owner() const override { return FOwner; }
  void SetOwner(TqdDXFEntity* AOwner) override { FOwner = AOwner; }
  TqdColorCAD ColorCAD() const override { return FColor; }
  void SetColorCAD(const TqdColorCAD& C) override { FColor = C; }
  TqdDXFLineType* LineType() const override;
  void SetLineType(TqdDXFLineType* AType) override { FLineTypeItem.SetItem(AType); }
  TqdTableItem& LineTypeItem() { return FLineTypeItem; }
  double Offset() const { return FOffset; }
  void SetOffset(double V) {
    if (std::isfinite(V)) FOffset = V;
  }
  void ResolveLinks(TqdDXFConverter* C) override;
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  TqdDXFEntity* FOwner = nullptr;
  TqdColorCAD FColor = TqdColorCAD::Index(clByLayer);
  TqdTableItem FLineTypeItem;
  double FOffset = 0;
};

// A multiline style (an item of the MLINESTYLES dictionary): flags (bit 0 fill), the
// fill colour and the elements.
class TqdMLineStyle : public TqdDXFCustomColor {
  QD_ENTITY_CLASS(TqdMLineStyle)
public:
  ~TqdMLineStyle() override;
  bool Filled() const { return (FFlags & 1) != 0; }
  int Count() const override { return static_cast<int>(FEntries.size()); }
  TqdDXFEntity* GetEntity(int Index) const override;
  TqdMLineEntry* GetEntry(int Index) const { return dynamic_cast<TqdMLineEntry*>(GetEntity(Index)); }
  // Accepts elements without an owner only.
  int InsertEntity(int Index, std::unique_ptr<TqdDXFEntity> E) override;
  std::unique_ptr<TqdDXFEntity> DeleteEntity(int Index) override;
  int IndexOfEntity(const TqdDXFEntity* E) const override;
  void Clear(bool ADoFree) override { FEntries.clear(); }
  TqdMLineEntry* NewEntry(const TqdColorCAD& AColor, TqdDXFLineType* ALType, double AOffset);
  void AssignEntity(const TqdDXFEntity& Source) override;

private:
  std::vector<std::unique_ptr<TqdDXFEntity>> FEntries;
};

// Dimension styles live in their own unit; most users reach them through this one.
#include "DimStyles.h"
