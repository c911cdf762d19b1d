#include "MultiLeaders.h"

#include <algorithm>
#include <cmath>

#include "Blocks.h"
#include "DXFConv.h"
#include "Entities.h"
#include "Hatches.h"
#include "Inserts.h"
#include "Polylines.h"
#include "TableItems.h"
#include "Texts.h"
#include "qdFunction.h"

namespace {

constexpr double cPi = 3.14159265358979323846;
// Segments between two fit points of a spline leader.
constexpr int cSplineSteps = 12;

double Len(const TFPoint& P) { return std::sqrt(P.X * P.X + P.Y * P.Y + P.Z * P.Z); }

TqdDXFStyle* StyleByHandle(TqdDXFConverter* C, std::uint64_t H) {
  if (!C || !H) return nullptr;
  TqdDXFEntity* T = C->GetSection(csStyles);
  if (!T) return nullptr;
  return dynamic_cast<TqdDXFStyle*>(T->GetEntity(T->IndexOfHandle(H)));
}

// A Catmull-Rom curve through the points: close to the fitted spline the leader shows.
std::vector<TFPoint> SplineThrough(const std::vector<TFPoint>& P) {
  if (P.size() < 3) return P;
  std::vector<TFPoint> R;
  R.reserve((P.size() - 1) * cSplineSteps + 1);
  for (std::size_t I = 0; I + 1 < P.size(); ++I) {
    const TFPoint& P0 = P[I == 0 ? 0 : I - 1];
    const TFPoint& P1 = P[I];
    const TFPoint& P2 = P[I + 1];
    const TFPoint& P3 = P[I + 2 < P.size() ? I + 2 : I + 1];
    for (int K = 0; K < cSplineSteps; ++K) {
      const double T = static_cast<double>(K) / cSplineSteps, T2 = T * T, T3 = T2 * T;
      TFPoint Q;
      for (int A = 0; A < 3; ++A)
        Q[A] = 0.5 * (2 * P1[A] + (-P0[A] + P2[A]) * T + (2 * P0[A] - 5 * P1[A] + 4 * P2[A] - P3[A]) * T2 +
                      (-P0[A] + 3 * P1[A] - 3 * P2[A] + P3[A]) * T3);
      R.push_back(Q);
    }
  }
  R.push_back(P.back());
  return R;
}

}  // namespace

TqdDXFBlock* qdBlockByRecordHandle(TqdDXFConverter* C, std::uint64_t AHandle) {
  if (!C || !AHandle) return nullptr;
  TqdDXFEntity* Blocks = C->GetSection(csBlocks);
  const int N = Blocks ? Blocks->Count() : 0;
  for (int I = 0; I < N; ++I) {
    auto* B = dynamic_cast<TqdDXFBlock*>(Blocks->GetEntity(I));
    if (!B) continue;
    if ((B->BlockRecord() && B->BlockRecord()->Handle() == AHandle) || B->Handle() == AHandle) return B;
  }
  return nullptr;
}

TqdDXFEntity* qdObjectByHandle(TqdDXFConverter* C, std::uint64_t AHandle) {
  if (!C || !AHandle) return nullptr;
  TqdDXFEntity* O = C->GetSection(csObjects);
  return O ? O->FindEntByHandle(true, false, AHandle) : nullptr;
}

void TqdDXFMLeaderStyle::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFOwneredItem::AssignEntity(Source);
  const auto* S = dynamic_cast<const TqdDXFMLeaderStyle*>(&Source);
  if (!S) return;
  FContentType = S->FContentType;
  FLeaderLineType = S->FLeaderLineType;
  FLineColor = S->FLineColor;
  FLineWeight = S->FLineWeight;
  FEnableLanding = S->FEnableLanding;
  FEnableDogleg = S->FEnableDogleg;
  FDoglegLength = S->FDoglegLength;
  FLandingGap = S->FLandingGap;
  FArrowHandle = S->FArrowHandle;
  FArrowSize = S->FArrowSize;
  FTextStyleHandle = S->FTextStyleHandle;
  FTextColor = S->FTextColor;
  FTextHeight = S->FTextHeight;
  FBlockHandle = S->FBlockHandle;
  FScale = S->FScale;
}

void TqdDXFMultiLeader::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADGeneratedEntity::AssignEntity(Source);
  const auto* S = dynamic_cast<const TqdDXFMultiLeader*>(&Source);
  if (!S) return;
  // Every field but the resolved style (found again when the copy is loaded).
  TqdDXFMLeaderStyle* Keep = FStyle;
  FStyleHandle = S->FStyleHandle;
  FContentType = S->FContentType;
  FLeaderLineType = S->FLeaderLineType;
  FLineColor = S->FLineColor;
  FHasLineColor = S->FHasLineColor;
  FLineWeight = S->FLineWeight;
  FHasLineWeight = S->FHasLineWeight;
  FEnableLanding = S->FEnableLanding;
  FEnableDogleg = S->FEnableDogleg;
  FDoglegLength = S->FDoglegLength;
  FArrowHandle = S->FArrowHandle;
  FArrowSize = S->FArrowSize;
  FTextStyleHandle = S->FTextStyleHandle;
  FTextColor = S->FTextColor;
  FHasTextColor = S->FHasTextColor;
  FBlockHandle = S->FBlockHandle;
  FBlockColor = S->FBlockColor;
  FBlockScale = S->FBlockScale;
  FBlockRotation = S->FBlockRotation;
  FAttributes = S->FAttributes;
  FContextScale = S->FContextScale;
  FContentBase = S->FContentBase;
  FTextHeight = S->FTextHeight;
  FContextArrowSize = S->FContextArrowSize;
  FLandingGap = S->FLandingGap;
  FHasText = S->FHasText;
  FText = S->FText;
  FTextNormal = S->FTextNormal;
  FContextTextStyleHandle = S->FContextTextStyleHandle;
  FTextLocation = S->FTextLocation;
  FTextDirection = S->FTextDirection;
  FTextRotation = S->FTextRotation;
  FTextWidth = S->FTextWidth;
  FLineSpacingFactor = S->FLineSpacingFactor;
  FLineSpacingStyle = S->FLineSpacingStyle;
  FContextTextColor = S->FContextTextColor;
  FHasContextTextColor = S->FHasContextTextColor;
  FTextAttachment = S->FTextAttachment;
  FHasBlock = S->FHasBlock;
  FContextBlockHandle = S->FContextBlockHandle;
  FBlockNormal = S->FBlockNormal;
  FBlockLocation = S->FBlockLocation;
  FContextBlockScale = S->FContextBlockScale;
  FContextBlockRotation = S->FContextBlockRotation;
  FContextBlockColor = S->FContextBlockColor;
  FHasContextBlockColor = S->FHasContextBlockColor;
  FBranches = S->FBranches;
  FStyle = Keep;
}

bool TqdDXFMultiLeader::BuildGeometry(TqdDXFConverter* C, TqdDXFBlock& ABlock) {
  FStyle = dynamic_cast<TqdDXFMLeaderStyle*>(qdObjectByHandle(C, FStyleHandle));
  const TqdDXFMLeaderStyle Defaults;
  const TqdDXFMLeaderStyle& St = FStyle ? *FStyle : Defaults;
  const int Content = FContentType >= 0 ? FContentType : St.FContentType;
  const int LineType = FLeaderLineType >= 0 ? FLeaderLineType : St.FLeaderLineType;
  const TqdColorCAD LineColor = FHasLineColor ? FLineColor : St.FLineColor;
  const double LineWeight = FHasLineWeight ? FLineWeight : St.FLineWeight;
  const bool Dogleg = FEnableDogleg >= 0 ? FEnableDogleg != 0 : St.FEnableDogleg;
  double ArrowSize = FContextArrowSize > 0 ? FContextArrowSize : FArrowSize > 0 ? FArrowSize : St.FArrowSize * St.FScale;
  const std::uint64_t ArrowHandle = FArrowHandle ? FArrowHandle : St.FArrowHandle;
  int Made = 0;

  // ---- leader lines, arrows and dog-legs
  for (const TqdMLeaderBranch& B : FBranches) {
    for (const TqdMLeaderLine& L : B.Lines) {
      std::vector<TFPoint> Pts = L.Vertices;
      if (B.HasLastPoint && IsFiniteFPoint(B.LastPoint)) Pts.push_back(B.LastPoint);
      if (Pts.size() < 2 || LineType == 0) continue;
      const TqdColorCAD Color = L.HasColor ? L.Color : LineColor;
      const std::vector<TFPoint> Shown = LineType == 2 ? SplineThrough(Pts) : Pts;
      if (Shown.size() == 2) {
        auto Ln = std::make_unique<TqdDXFLine>();
        Ln->SetLine(Shown[0], Shown[1]);
        Ln->SetColorCAD(Color);
        Ln->SetLineWeight(LineWeight);
        if (AddGenerated(C, ABlock, std::move(Ln))) ++Made;
      } else {
        auto P = std::make_unique<TqdDXFPolyline>();
        P->SetFlags(TqdCADBasePolyline::cnst3DPolyline);
        P->ReserveVertices(static_cast<int>(Shown.size()));
        for (const TFPoint& Q : Shown) P->AddVertex(Q);
        P->SetColorCAD(Color);
        P->SetLineWeight(LineWeight);
        if (AddGenerated(C, ABlock, std::move(P))) ++Made;
      }
      // The arrow points from the second vertex at the first.
      const double Size = L.ArrowSize > 0 ? L.ArrowSize : ArrowSize;
      TFPoint D = SubFPoint(Pts[0], Pts[1]);
      const double DL = Len(D);
      if (!(Size > 0) || !(DL > 0) || !std::isfinite(Size)) continue;
      D = ScaleFPoint(D, 1 / DL);
      const std::uint64_t AH = L.ArrowHandle ? L.ArrowHandle : ArrowHandle;
      if (TqdDXFBlock* AB = qdBlockByRecordHandle(C, AH)) {
        auto I = std::make_unique<TqdDXFInsert>();
        I->SetBlock(AB);
        I->SetPoint(Pts[0]);
        I->SetScale({Size, Size, Size});
        I->SetAngle(std::atan2(D.Y, D.X) * 180 / cPi);
        I->SetColorCAD(Color);
        if (AddGenerated(C, ABlock, std::move(I))) ++Made;
      } else {
        // The closed filled arrow: its length the arrow size, its width a third of it.
        const TFPoint N{-D.Y, D.X, 0};
        const TFPoint Back = SubFPoint(Pts[0], ScaleFPoint(D, Size));
        auto F = std::make_unique<TqdCADPolyPolygon>();
        F->AddLoop({Pts[0], AddFPoint(Back, ScaleFPoint(N, Size / 6)), SubFPoint(Back, ScaleFPoint(N, Size / 6))});
        F->SetColorCAD(Color);
        if (AddGenerated(C, ABlock, std::move(F))) ++Made;
      }
    }
    if (Dogleg && B.HasLastPoint && B.HasDogleg && IsFiniteFPoint(B.LastPoint) && LineType != 0) {
      const double DLen = B.DoglegLength > 0 ? B.DoglegLength : FDoglegLength > 0 ? FDoglegLength : 0;
      const TFPoint V = B.DoglegVector;
      if (DLen > 0 && Len(V) > 0 && std::isfinite(DLen)) {
        auto Ln = std::make_unique<TqdDXFLine>();
        Ln->SetLine(B.LastPoint, AddFPoint(B.LastPoint, ScaleFPoint(V, DLen / Len(V))));
        Ln->SetColorCAD(LineColor);
        Ln->SetLineWeight(LineWeight);
        if (AddGenerated(C, ABlock, std::move(Ln))) ++Made;
      }
    }
  }

  // ---- content
  if (Content == 2 && FHasText && !FText.empty()) {
    auto T = std::make_unique<TqdDXFMText>();
    T->SetText(FText);
    T->SetPoint(FTextLocation);
    T->SetHeight(FTextHeight > 0 ? FTextHeight : St.FTextHeight * St.FScale);
    T->SetRectWidth(FTextWidth);
    T->SetAlign(FTextAttachment >= 1 && FTextAttachment <= 9 ? FTextAttachment : 1);
    T->SetLineSpacingFactor(FLineSpacingFactor > 0 ? FLineSpacingFactor : 1);
    T->SetLineSpacingStyle(FLineSpacingStyle);
    if (Len(FTextDirection) > 0) T->SetPoint1(FTextDirection);
    else T->SetAngle(FTextRotation * 180 / cPi);
    T->SetExtrusion(FTextNormal);
    TqdDXFStyle* S = StyleByHandle(C, FContextTextStyleHandle);
    if (!S) S = StyleByHandle(C, FTextStyleHandle ? FTextStyleHandle : St.FTextStyleHandle);
    if (S) T->SetStyle(S);
    T->SetColorCAD(FHasContextTextColor ? FContextTextColor : FHasTextColor ? FTextColor : St.FTextColor);
    if (AddGenerated(C, ABlock, std::move(T))) ++Made;
  } else if (Content == 1 && FHasBlock) {
    TqdDXFBlock* CB = qdBlockByRecordHandle(C, FContextBlockHandle ? FContextBlockHandle : FBlockHandle);
    if (!CB) CB = qdBlockByRecordHandle(C, St.FBlockHandle);
    if (CB) {
      auto I = std::make_unique<TqdDXFInsert>();
      I->SetBlock(CB);
      I->SetPoint(FBlockLocation);
      I->SetScale(FContextBlockScale);
      I->SetAngle(FContextBlockRotation * 180 / cPi);
      I->SetExtrusion(FBlockNormal);
      I->SetColorCAD(FHasContextBlockColor ? FContextBlockColor : FBlockColor);
      TqdDXFInsert* Raw = I.get();
      // Attributes: the definitions of the block, placed as the insert places them.
      const TFMatrix M = PlacementMatrix(FBlockLocation, FContextBlockScale, FBlockNormal, cnstIdentityMat,
                                         FContextBlockRotation * 180 / cPi, cnstFPointZero);
      for (const TqdMLeaderAttribute& A : FAttributes) {
        const int Idx = CB->IndexOfHandle(A.AttdefHandle);
        const auto* Def = dynamic_cast<const TqdDXFAttdef*>(CB->GetEntity(Idx));
        if (!Def || A.Text.empty()) continue;
        auto At = std::make_unique<TqdDXFAttrib>();
        At->AssignEntity(*Def);
        At->SetTag(Def->Tag());
        At->SetValue(A.Text);
        At->SetPoint(TransformPoint(Def->Point(), M));
        if (Def->HasPoint1()) At->SetPoint1(TransformPoint(Def->Point1(), M));
        At->SetHeight(Def->Height() * std::fabs(FContextBlockScale.Y));
        At->SetRotation(Def->Rotation() + FContextBlockRotation * 180 / cPi);
        At->SetFlags(Def->Flags() & ~1);
        Raw->AddEntity(std::move(At));
      }
      if (AddGenerated(C, ABlock, std::move(I))) ++Made;
    }
  }
  return Made > 0;
}
