// Group codes of multileaders (MULTILEADER, MLEADER), their styles (MLEADERSTYLE),
// underlays (PDF/DWF/DGN) and underlay definitions. A multileader nests its context
// data, leaders and leader lines between brace markers (300/301, 302/303, 304/305);
// the same codes mean different things at each level, so the mapper tracks it.
#include <algorithm>
#include <cmath>
#include <string>

#include "DXF.h"
#include "DXFMapping.h"
#include "MultiLeaders.h"
#include "Others.h"
#include "Underlays.h"

namespace {

// Kept proxy graphics hex text of one object never grows beyond this.
constexpr std::size_t cMaxHex = std::size_t(64) << 20;
// Leaders, lines, vertices and attributes of one multileader.
constexpr std::size_t cMaxItems = std::size_t(1) << 16;
constexpr std::size_t cMaxVertices = std::size_t(1) << 20;

std::string_view TrimView(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t' || S.back() == '\r')) S.remove_suffix(1);
  return S;
}

double Finite(double V, double Default = 0) { return std::isfinite(V) ? V : Default; }

// Sets coordinate X, Y or Z of P from a code of the 10..39 range (or 110..139).
void SetAxis(TFPoint& P, int Code, double V) {
  const int Axis = (Code % 100) / 10 - 1;
  if (Axis >= 0 && Axis <= 2) P[Axis] = Finite(V);
}

class TMultiLeaderMapper : public TdxfMapper {
public:
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    if (C == 100) {
      if (TrimView(R.Value()) == "AcDbMLeader") FInLeader = true;
      return;
    }
    if (!FInLeader) {
      // The proxy graphics of the entity part (92 or 160 give the size, 310 the data).
      if (C == 310 && FHex.size() < cMaxHex) FHex += TrimView(R.Value());
      return;
    }
    switch (FLevel) {
      case 0: Entity(R, C); break;
      case 1: Context(R, C); break;
      case 2: Leader(R, C); break;
      default: Line(R, C); break;
    }
  }

  void Commit(TdxfReader& R, TqdDXFEntity& E) override {
    auto* M = dynamic_cast<TqdDXFMultiLeader*>(&E);
    if (!M) return;
    (void)R;
    FL.FProxyData = qdHexToBytes(FHex);
    // Only the leader's own fields are taken from the scratch copy: the common
    // attributes the reader set stay.
    TakeFields(*M);
  }

private:
  void TakeFields(TqdDXFMultiLeader& M) {
    std::string Proxy = std::move(FL.FProxyData);
    M.FStyleHandle = FL.FStyleHandle;
    M.FContentType = FL.FContentType;
    M.FLeaderLineType = FL.FLeaderLineType;
    M.FLineColor = FL.FLineColor;
    M.FHasLineColor = FL.FHasLineColor;
    M.FLineWeight = FL.FLineWeight;
    M.FHasLineWeight = FL.FHasLineWeight;
    M.FEnableLanding = FL.FEnableLanding;
    M.FEnableDogleg = FL.FEnableDogleg;
    M.FDoglegLength = FL.FDoglegLength;
    M.FArrowHandle = FL.FArrowHandle;
    M.FArrowSize = FL.FArrowSize;
    M.FTextStyleHandle = FL.FTextStyleHandle;
    M.FTextColor = FL.FTextColor;
    M.FHasTextColor = FL.FHasTextColor;
    M.FBlockHandle = FL.FBlockHandle;
    M.FBlockColor = FL.FBlockColor;
    M.FBlockScale = FL.FBlockScale;
    M.FBlockRotation = FL.FBlockRotation;
    M.FAttributes = std::move(FL.FAttributes);
    M.FContextScale = FL.FContextScale;
    M.FContentBase = FL.FContentBase;
    M.FTextHeight = FL.FTextHeight;
    M.FContextArrowSize = FL.FContextArrowSize;
    M.FLandingGap = FL.FLandingGap;
    M.FHasText = FL.FHasText;
    M.FText = std::move(FL.FText);
    M.FTextNormal = FL.FTextNormal;
    M.FContextTextStyleHandle = FL.FContextTextStyleHandle;
    M.FTextLocation = FL.FTextLocation;
    M.FTextDirection = FL.FTextDirection;
    M.FTextRotation = FL.FTextRotation;
    M.FTextWidth = FL.FTextWidth;
    M.FLineSpacingFactor = FL.FLineSpacingFactor;
    M.FLineSpacingStyle = FL.FLineSpacingStyle;
    M.FContextTextColor = FL.FContextTextColor;
    M.FHasContextTextColor = FL.FHasContextTextColor;
    M.FTextAttachment = FL.FTextAttachment;
    M.FHasBlock = FL.FHasBlock;
    M.FContextBlockHandle = FL.FContextBlockHandle;
    M.FBlockNormal = FL.FBlockNormal;
    M.FBlockLocation = FL.FBlockLocation;
    M.FContextBlockScale = FL.FContextBlockScale;
    M.FContextBlockRotation = FL.FContextBlockRotation;
    M.FContextBlockColor = FL.FContextBlockColor;
    M.FHasContextBlockColor = FL.FHasContextBlockColor;
    M.FBranches = std::move(FL.FBranches);
    M.FProxyData = std::move(Proxy);
  }

  static TqdColorCAD Raw(TdxfReader& R) { return qdRawColorToCAD(static_cast<std::uint32_t>(R.IntValue())); }
  static double Weight(int W) {
    if (W == -1) return cnstLWByLayer;
    if (W == -2) return cnstLWByBlock;
    if (W == -3) return cnstLWDefault;
    return W >= 0 && W <= 211 ? W / 100.0 : cnstLWByBlock;
  }

  void Entity(TdxfReader& R, int C) {
    switch (C) {
      case 300: FLevel = 1; return;
      case 340: FL.FStyleHandle = R.HandleValue(); return;
      case 170: FL.FLeaderLineType = std::clamp(R.IntValue(), 0, 2); return;
      case 91: FL.FLineColor = Raw(R); FL.FHasLineColor = true; return;
      case 171: FL.FLineWeight = Weight(R.IntValue()); FL.FHasLineWeight = true; return;
      case 290: FL.FEnableLanding = R.IntValue() != 0; return;
      case 291: FL.FEnableDogleg = R.IntValue() != 0; return;
      case 41: FL.FDoglegLength = Finite(R.FloatValue(), -1); return;
      case 342: FL.FArrowHandle = R.HandleValue(); return;
      case 42: FL.FArrowSize = Finite(R.FloatValue(), -1); return;
      case 172: FL.FContentType = std::clamp(R.IntValue(), 0, 3); return;
      case 343: FL.FTextStyleHandle = R.HandleValue(); return;
      case 92: FL.FTextColor = Raw(R); FL.FHasTextColor = true; return;
      case 344: FL.FBlockHandle = R.HandleValue(); return;
      case 93: FL.FBlockColor = Raw(R); return;
      case 10: case 20: case 30: SetAxis(FL.FBlockScale, C, R.FloatValue()); return;
      case 43: FL.FBlockRotation = Finite(R.FloatValue()); return;
      case 330:
        if (FL.FAttributes.size() < cMaxItems) FL.FAttributes.push_back({R.HandleValue(), {}});
        return;
      case 302:
        if (!FL.FAttributes.empty()) FL.FAttributes.back().Text = R.UValue();
        return;
      default: return;
    }
  }

  void Context(TdxfReader& R, int C) {
    switch (C) {
      case 301: FLevel = 0; return;
      case 302:
        FLevel = 2;
        if (FL.FBranches.size() < cMaxItems) FL.FBranches.emplace_back();
        else FOverflow = true;
        return;
      case 40: FL.FContextScale = Finite(R.FloatValue(), 1); return;
      case 10: case 20: case 30: SetAxis(FL.FContentBase, C, R.FloatValue()); return;
      case 41: FL.FTextHeight = Finite(R.FloatValue()); return;
      case 140: FL.FContextArrowSize = Finite(R.FloatValue()); return;
      case 145: FL.FLandingGap = Finite(R.FloatValue()); return;
      case 290: FL.FHasText = R.IntValue() != 0; return;
      case 304: FL.FText = R.UValue(); return;
      case 11: case 21: case 31: SetAxis(FL.FTextNormal, C, R.FloatValue()); return;
      case 340: FL.FContextTextStyleHandle = R.HandleValue(); return;
      case 12: case 22: case 32: SetAxis(FL.FTextLocation, C, R.FloatValue()); return;
      case 13: case 23: case 33: SetAxis(FL.FTextDirection, C, R.FloatValue()); return;
      case 42: FL.FTextRotation = Finite(R.FloatValue()); return;
      case 43: FL.FTextWidth = Finite(R.FloatValue()); return;
      case 45: FL.FLineSpacingFactor = Finite(R.FloatValue(), 1); return;
      case 170: FL.FLineSpacingStyle = R.IntValue(); return;
      case 90: FL.FContextTextColor = Raw(R); FL.FHasContextTextColor = true; return;
      case 171: FL.FTextAttachment = R.IntValue(); return;
      case 296: FL.FHasBlock = R.IntValue() != 0; return;
      case 341: FL.FContextBlockHandle = R.HandleValue(); return;
      case 14: case 24: case 34: SetAxis(FL.FBlockNormal, C, R.FloatValue()); return;
      case 15: case 25: case 35: SetAxis(FL.FBlockLocation, C, R.FloatValue()); return;
      case 16: case 26: case 36: SetAxis(FL.FContextBlockScale, C, R.FloatValue()); return;
      case 46: FL.FContextBlockRotation = Finite(R.FloatValue()); return;
      case 93: FL.FContextBlockColor = Raw(R); FL.FHasContextBlockColor = true; return;
      default: return;
    }
  }

  TqdMLeaderBranch* Branch() { return FOverflow || FL.FBranches.empty() ? nullptr : &FL.FBranches.back(); }

  void Leader(TdxfReader& R, int C) {
    if (C == 303) {
      FLevel = 1;
      FOverflow = false;
      return;
    }
    if (C == 304) {
      FLevel = 3;
      FLineOverflow = true;
      if (TqdMLeaderBranch* B = Branch(); B && B->Lines.size() < cMaxItems) {
        B->Lines.emplace_back();
        FLineOverflow = false;
      }
      return;
    }
    TqdMLeaderBranch* B = Branch();
    if (!B) return;
    switch (C) {
      case 290: B->HasLastPoint = R.IntValue() != 0; FSawLastFlag = true; return;
      case 291: B->HasDogleg = R.IntValue() != 0; return;
      case 10:
        if (!FSawLastFlag) B->HasLastPoint = true;
        [[fallthrough]];
      case 20: case 30: SetAxis(B->LastPoint, C, R.FloatValue()); return;
      case 11: case 21: case 31: SetAxis(B->DoglegVector, C, R.FloatValue()); return;
      case 40: B->DoglegLength = Finite(R.FloatValue()); return;
      default: return;
    }
  }

  void Line(TdxfReader& R, int C) {
    if (C == 305) {
      FLevel = 2;
      return;
    }
    TqdMLeaderBranch* B = Branch();
    if (!B || FLineOverflow || B->Lines.empty()) return;
    TqdMLeaderLine& L = B->Lines.back();
    switch (C) {
      case 10:
        if (FVertices >= cMaxVertices) return;
        ++FVertices;
        L.Vertices.push_back({Finite(R.FloatValue()), 0, 0});
        return;
      case 20: case 30:
        if (!L.Vertices.empty()) SetAxis(L.Vertices.back(), C, R.FloatValue());
        return;
      case 92: L.Color = Raw(R); L.HasColor = true; return;
      default: return;
    }
  }

  TqdDXFMultiLeader FL;  // the fields as read, taken over at the commit
  std::string FHex;
  bool FInLeader = false;
  int FLevel = 0;
  bool FOverflow = false, FLineOverflow = false, FSawLastFlag = false;
  std::size_t FVertices = 0;
};

class TMLeaderStyleMapper : public TdxfMapper {
public:
  void Property(TdxfReader& R) override {
    TqdDXFMLeaderStyle& S = FS;
    switch (R.Code()) {
      case 170: S.FContentType = std::clamp(R.IntValue(), 0, 3); break;
      case 173: S.FLeaderLineType = std::clamp(R.IntValue(), 0, 2); break;
      case 91: S.FLineColor = qdRawColorToCAD(static_cast<std::uint32_t>(R.IntValue())); break;
      case 92: {
        const int W = R.IntValue();
        S.FLineWeight = W >= 0 && W <= 211 ? W / 100.0 : W == -1 ? cnstLWByLayer : cnstLWByBlock;
        break;
      }
      case 290: S.FEnableLanding = R.IntValue() != 0; break;
      case 42: S.FLandingGap = Finite(R.FloatValue(), 2); break;
      case 291: S.FEnableDogleg = R.IntValue() != 0; break;
      case 43: S.FDoglegLength = Finite(R.FloatValue(), 8); break;
      case 341: S.FArrowHandle = R.HandleValue(); break;
      case 44: S.FArrowSize = Finite(R.FloatValue(), 4); break;
      case 342: S.FTextStyleHandle = R.HandleValue(); break;
      case 93: S.FTextColor = qdRawColorToCAD(static_cast<std::uint32_t>(R.IntValue())); break;
      case 45: S.FTextHeight = Finite(R.FloatValue(), 4); break;
      case 343: S.FBlockHandle = R.HandleValue(); break;
      case 142: S.FScale = Finite(R.FloatValue(), 1); break;
      default: break;
    }
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* S = dynamic_cast<TqdDXFMLeaderStyle*>(&E);
    if (!S) return;
    S->FContentType = FS.FContentType;
    S->FLeaderLineType = FS.FLeaderLineType;
    S->FLineColor = FS.FLineColor;
    S->FLineWeight = FS.FLineWeight;
    S->FEnableLanding = FS.FEnableLanding;
    S->FLandingGap = FS.FLandingGap;
    S->FEnableDogleg = FS.FEnableDogleg;
    S->FDoglegLength = FS.FDoglegLength;
    S->FArrowHandle = FS.FArrowHandle;
    S->FArrowSize = FS.FArrowSize;
    S->FTextStyleHandle = FS.FTextStyleHandle;
    S->FTextColor = FS.FTextColor;
    S->FTextHeight = FS.FTextHeight;
    S->FBlockHandle = FS.FBlockHandle;
    S->FScale = FS.FScale;
  }

private:
  TqdDXFMLeaderStyle FS;
};

class TUnderlayMapper : public TdxfMapper {
public:
  explicit TUnderlayMapper(std::string_view AName) : FName(UpperNameText(TrimView(AName))) {}
  void Property(TdxfReader& R) override {
    const int C = R.Code();
    switch (C) {
      case 310:
        if (FHex.size() < cMaxHex) FHex += TrimView(R.Value());
        break;
      case 340: FDef = R.HandleValue(); break;
      case 10: case 20: case 30: SetAxis(FPoint, C, R.FloatValue()); break;
      case 41: FScale.X = Finite(R.FloatValue(), 1); break;
      case 42: FScale.Y = Finite(R.FloatValue(), 1); break;
      case 43: FScale.Z = Finite(R.FloatValue(), 1); break;
      case 50: FRotation = Finite(R.FloatValue()); break;
      case 210: case 220: case 230: SetAxis(FNormal, C - 200, R.FloatValue()); break;
      case 280: FFlags = R.IntValue(); break;
      case 281: FContrast = R.IntValue(); break;
      case 282: FFade = R.IntValue(); break;
      case 11:
        if (FClip.size() < cMaxVertices) FClip.push_back({Finite(R.FloatValue()), 0, 0});
        break;
      case 21:
        if (!FClip.empty()) FClip.back().Y = Finite(R.FloatValue());
        break;
      default: break;
    }
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    auto* U = dynamic_cast<TqdCADUnderlay*>(&E);
    if (!U) return;
    U->FProxyData = qdHexToBytes(FHex);
    U->FDefinitionHandle = FDef;
    U->SetPoint(FPoint);
    U->FScale = FScale;
    U->FRotation = FRotation;
    U->SetExtrusion(FNormal);
    U->FUnderlayFlags = FFlags;
    U->FContrast = FContrast;
    U->FFade = FFade;
    U->FClipBoundary = std::move(FClip);
    U->FDXFName = FName;
  }

private:
  std::string FName, FHex;
  std::uint64_t FDef = 0;
  TFPoint FPoint, FScale{1, 1, 1}, FNormal{0, 0, 1};
  double FRotation = 0;
  int FFlags = TqdCADUnderlay::cnstOn, FContrast = 100, FFade = 0;
  std::vector<TFPoint> FClip;
};

class TUnderlayDefinitionMapper : public TdxfMapper {
public:
  void Property(TdxfReader& R) override {
    if (R.Code() == 1) FFile = R.UValue();
    else if (R.Code() == 2) FPage = R.UValue();
  }
  void Commit(TdxfReader&, TqdDXFEntity& E) override {
    if (auto* D = dynamic_cast<TqdCADUnderlayDefinition*>(&E)) {
      D->FFileName = FFile;
      D->FPageName = FPage;
    }
  }

private:
  std::string FFile, FPage;
};

}  // namespace

std::unique_ptr<TdxfMapper> CreateDXFAnnotationMapper(std::string_view AName, TqdDXFEntity* AItem) {
  if (dynamic_cast<TqdDXFMultiLeader*>(AItem)) return std::make_unique<TMultiLeaderMapper>();
  if (dynamic_cast<TqdDXFMLeaderStyle*>(AItem)) return std::make_unique<TMLeaderStyleMapper>();
  if (dynamic_cast<TqdCADUnderlay*>(AItem)) return std::make_unique<TUnderlayMapper>(AName);
  if (dynamic_cast<TqdCADUnderlayDefinition*>(AItem)) return std::make_unique<TUnderlayDefinitionMapper>();
  return nullptr;
}
