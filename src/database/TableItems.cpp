#include "TableItems.h"

#include <cctype>
#include <cmath>
#include <stdexcept>

#include "DXFConv.h"
#include "SHXStandardNames.h"
#include "qdFunction.h"

namespace {

// Counts UTF-8 code points; bytes above 127 never match a forbidden character.
bool IsValidName(std::string_view AName, std::string_view AForbidden) {
  std::size_t Chars = 0;
  for (unsigned char C : AName) {
    if ((C & 0xC0) != 0x80) ++Chars;
    if (C < 128 && AForbidden.find(static_cast<char>(C)) != std::string_view::npos) return false;
  }
  return Chars >= 1 && Chars <= 255;
}

}  // namespace

bool IsValidLayerName(std::string_view AName) { return IsValidName(AName, "\",/:;<=>?\\`"); }

bool IsValidTableName(std::string_view AName) { return IsValidName(AName, "\"*,/:;<=>?\\`|"); }

// ---------------------------------------------------------------- layer

TqdDXFLayer::TqdDXFLayer() { FColor = TqdColorCAD::Index(clForeground); }

void TqdDXFLayer::SetName(std::string_view AName) {
  if (FIsCheckName && !IsValidLayerName(AName)) throw EqdIncorrectNameLayer();
  SetNameUnchecked(AName);
}

void TqdDXFLayer::SetNameUnchecked(std::string_view AName) {
  TqdDXFCustomColor::SetNameUnchecked(AName);
  if (FNamedItem.FName == "*ADSK_CONSTRAINTS") SetFrozen(true);
}

TqdDXFLineType* TqdDXFLayer::LineType() const {
  return dynamic_cast<TqdDXFLineType*>(FLineTypeItem.Item());
}

void TqdDXFLayer::SetLineType(TqdDXFLineType* AType) { FLineTypeItem.SetItem(AType); }

void TqdDXFLayer::SetLineWeight(double V) {
  if (std::isfinite(V)) FLineWeight = V;
}

bool TqdDXFLayer::IsPlotting() const {
  return FIsPlotting && !SameNameText(FNamedItem.FName, "DEFPOINTS");
}

void TqdDXFLayer::Loaded(TqdDXFConverter* C) {
  TqdDXFCustomColor::Loaded(C);
  if (FColor.Active == acIndexColor && FColor.IndexValue() < 0) {
    // Negated in 64 bits: INT_MIN has no 32-bit negation. What is then not a palette
    // index would read as BYLAYER or BYBLOCK, so it becomes the default colour.
    const std::int64_t Positive = -static_cast<std::int64_t>(FColor.IndexValue());
    FColor = TqdColorCAD::Index(Positive >= 1 && Positive <= 255 ? static_cast<int>(Positive)
                                                                  : clForeground);
    FVisible = false;
  }
  if (const TqdDXFLineType* LT = LineType();
      C && LT && (SameNameText(LT->Name(), "BYLAYER") || SameNameText(LT->Name(), "BYBLOCK")))
    FLineTypeItem.SetItem(
        dynamic_cast<TqdDXFLineType*>(C->ItemByName("CONTINUOUS", csLTypes, true)));
  if (FNamedItem.FName == "*ADSK_CONSTRAINTS") SetFrozen(true);
}

void TqdDXFLayer::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFCustomColor::ResolveLinks(C);
  ResolveTableItem<TqdDXFLineType>(FLineTypeItem, C, csLTypes);
}

void TqdDXFLayer::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFCustomColor::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFLayer*>(&Source)) {
    FLineTypeItem.SetItem(S->LineType());
    FVisible = S->FVisible;
    FIsPlotting = S->FIsPlotting;
    FLineWeight = S->FLineWeight;
  }
}

// ---------------------------------------------------------------- linetype

TqdDXFLineType::TqdDXFLineType() = default;
TqdDXFLineType::~TqdDXFLineType() = default;

void TqdDXFLineType::SetNameUnchecked(std::string_view AName) {
  for (const char* Fixed : {"BYLAYER", "CONTINUOUS", "BYBLOCK"})
    if (SameNameText(AName, Fixed)) {
      TqdDXFPenTableItem::SetNameUnchecked(Fixed);
      return;
    }
  TqdDXFPenTableItem::SetNameUnchecked(AName);
}

void TqdDXFLineType::SetLineTypeScale(double V) {
  if (!std::isfinite(V)) return;
  FLineTypeScale = std::fabs(V);
  FLines.SetScale(FLineTypeScale);
}

TqdLineTypeElement* TqdDXFLineType::CheckedElement(int I) {
  TqdLineTypeElement* E = FLines.GetElement(I);
  if (!E) throw std::out_of_range("linetype element index");
  return E;
}

void TqdDXFLineType::AddElement(const TqdLineTypeElement& E) {
  TqdLineTypeElement Safe = E;
  if (!std::isfinite(Safe.Dash)) Safe.Dash = 0;
  if (!std::isfinite(Safe.Scale)) Safe.Scale = 1;
  if (!std::isfinite(Safe.Rotation)) Safe.Rotation = 0;
  if (!IsFiniteFPoint(Safe.Offset)) Safe.Offset = {};
  FLines.Add(Safe);
  FElementStyles.push_back(std::make_unique<TqdTableItem>());
}

void TqdDXFLineType::Prepare(TqdDXFConverter* C) {
  std::vector<const TqdDXFEntity*> Styles;
  Styles.reserve(FElementStyles.size());
  for (const auto& S : FElementStyles) Styles.push_back(S->Item());
  FLines.Loaded(C, Styles);
}

void TqdDXFLineType::Loaded(TqdDXFConverter* C) {
  TqdDXFPenTableItem::Loaded(C);
  if (FNamedItem.FName == "CONTINUOUS") {
    FLines.Clear();
    FElementStyles.clear();
  }
  Prepare(C);
}

void TqdDXFLineType::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFPenTableItem::ResolveLinks(C);
  if (!C) return;
  for (auto& S : FElementStyles) ResolveTableItem<TqdDXFStyle>(*S, C, csStyles);
  Prepare(C);
}

void TqdDXFLineType::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenTableItem::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFLineType*>(&Source)) {
    FDescription = S->FDescription;
    FLineTypeScale = S->FLineTypeScale;
    FLines.Assign(S->FLines);
    FElementStyles.clear();
    for (std::size_t I = 0; I < S->FElementStyles.size(); ++I) {
      FElementStyles.push_back(std::make_unique<TqdTableItem>());
      FElementStyles.back()->SetItem(S->FElementStyles[I]->Item());
    }
    Prepare(Converter());
  }
}

// ---------------------------------------------------------------- others

void TqdDXFStyle::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenTableItem::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFStyle*>(&Source)) {
    FBigFont = S->FBigFont;
    FFixedHeight = S->FFixedHeight;
    FFontName = S->FFontName;
    FFontStyle = S->FFontStyle;
    FLastHeightUsed = S->FLastHeightUsed;
    FObliqueAngle = S->FObliqueAngle;
    FPrimaryFont = S->FPrimaryFont;
    FSHXStyle = S->FSHXStyle;
    FTextGenFlags = S->FTextGenFlags;
    FWidthFactor = S->FWidthFactor;
  }
}

TqdDXFAppID::~TqdDXFAppID() {
  if (TqdDXFConverter* C = Converter(); C && !FNamedItem.FName.empty())
    C->RemoveAppEED(FNamedItem.FName);
}

void TqdDXFVport::SetViewDirection(const TFPoint& P) {
  if (!IsFiniteFPoint(P) || (P.X == 0 && P.Y == 0 && P.Z == 0))
    FViewDirection = cnstZOrtAxis;
  else
    FViewDirection = P;
}

void TqdDXFVport::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenTableItem::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFVport*>(&Source)) {
    FCircleZoomPercent = S->FCircleZoomPercent;
    FViewAspectRatio = S->FViewAspectRatio;
    FViewCenterPoint = S->FViewCenterPoint;
    FViewDirection = S->FViewDirection;
    FViewHeight = S->FViewHeight;
    FViewTarget = S->FViewTarget;
    FViewTwistAngle = S->FViewTwistAngle;
    FUCSOrigin = S->FUCSOrigin;
    FUCSYDir = S->FUCSYDir;
    FUCSXDir = S->FUCSXDir;
    FUCSVP = S->FUCSVP;
  }
}

namespace {
bool HasExtension(const std::string& S, std::string_view Ext) {
  if (S.size() < Ext.size()) return false;
  for (std::size_t I = 0; I < Ext.size(); ++I)
    if (std::tolower(static_cast<unsigned char>(S[S.size() - Ext.size() + I])) != Ext[I]) return false;
  return true;
}
}  // namespace

bool TqdDXFStyle::IsTrueType() const {
  return !FFontName.empty() || HasExtension(FPrimaryFont, ".ttf") || HasExtension(FPrimaryFont, ".ttc") ||
         HasExtension(FPrimaryFont, ".otf");
}

void TqdDXFStyle::Loaded(TqdDXFConverter* C) {
  TqdDXFPenTableItem::Loaded(C);
  if (!(FWidthFactor >= 1e-6) || !std::isfinite(FWidthFactor)) FWidthFactor = 1.0;
  if (!std::isfinite(FObliqueAngle)) FObliqueAngle = 0;
  if (FFontName.empty() && IsTrueType()) {
    std::string F = FPrimaryFont;
    const auto Slash = F.find_last_of("/\\");
    if (Slash != std::string::npos) F.erase(0, Slash + 1);
    const auto Dot = F.rfind('.');
    if (Dot != std::string::npos) F.erase(Dot);
    FFontName = F;
  }
  FSHXTextStyle = nullptr;
  FSHXConverter = nullptr;
  if (C && !IsTrueType()) SHXTextStyle(C);
}

const TqdTextStyle* TqdDXFStyle::SHXTextStyle(TqdDXFConverter* C) {
  if (!C || IsTrueType()) return nullptr;
  if (FSHXTextStyle && FSHXConverter == C) return FSHXTextStyle;
  TqdSHXFontList* L = C->SHXFonts();
  if (!L) return nullptr;
  const bool ShapeFile = (Flags() & 1) != 0;
  const std::string Primary = FPrimaryFont.empty() ? std::string("txt") : FPrimaryFont;
  FSHXTextStyle = L->AddStyle(ShapeFile ? std::string() : Name(), Primary, FBigFont, (Flags() & 4) != 0,
                              UpsideDown(), Backward(), FObliqueAngle, FWidthFactor);
  FSHXConverter = C;
  // A missing font is drawn with a stand-in; the user is told which.
  for (int K = 0; K < 2; ++K) {
    const std::string& Asked = K == 0 ? Primary : FBigFont;
    if (Asked.empty()) continue;
    const TqdFontRequest R = L->Resolve(Asked, K == 1);
    // The standard fonts are drawn with our bundled ones as a matter of course.
    if (R.Kind == frSubstitute && qdIsStandardSHXName(Asked)) continue;
    if (R.Kind == frSubstitute)
      C->AddWarning("SHX font \"" + Asked + "\" not found: drawn with " + R.Path.substr(R.Path.find_last_of('/') + 1));
    else if (R.Kind == frNone)
      C->AddWarning("SHX font \"" + Asked + "\" not found and no fallback font is installed");
  }
  return FSHXTextStyle;
}
