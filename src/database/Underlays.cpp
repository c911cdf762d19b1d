#include "Underlays.h"

#include <algorithm>
#include <cmath>

#include "Blocks.h"
#include "DXFConv.h"
#include "MultiLeaders.h"
#include "Polylines.h"
#include "Texts.h"
#include "qdFunction.h"

void TqdCADUnderlayDefinition::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFOwneredItem::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADUnderlayDefinition*>(&Source)) {
    FFileName = S->FFileName;
    FPageName = S->FPageName;
  }
}

void TqdCADUnderlay::AssignEntity(const TqdDXFEntity& Source) {
  TqdCADGeneratedEntity::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADUnderlay*>(&Source)) {
    FDefinitionHandle = S->FDefinitionHandle;
    FScale = S->FScale;
    FRotation = S->FRotation;
    FUnderlayFlags = S->FUnderlayFlags;
    FContrast = S->FContrast;
    FFade = S->FFade;
    FClipBoundary = S->FClipBoundary;
    FDXFName = S->FDXFName;
  }
}

std::string TqdCADUnderlay::ShownName() const {
  if (FDefinition && !FDefinition->FFileName.empty()) {
    std::string N = FDefinition->FFileName;
    // The name without its folders: the frame is small.
    const std::size_t Slash = N.find_last_of("/\\");
    if (Slash != std::string::npos && Slash + 1 < N.size()) N.erase(0, Slash + 1);
    if (!FDefinition->FPageName.empty()) N += " (" + FDefinition->FPageName + ")";
    return N;
  }
  return FDXFName.empty() ? std::string("UNDERLAY") : FDXFName;
}

std::vector<TFPoint> TqdCADUnderlay::Frame() const {
  std::vector<TFPoint> Local;
  if ((FUnderlayFlags & cnstClipping) && FClipBoundary.size() == 2) {
    const TFPoint A = FClipBoundary[0], B = FClipBoundary[1];
    Local = {A, {B.X, A.Y, 0}, B, {A.X, B.Y, 0}};
  } else if ((FUnderlayFlags & cnstClipping) && FClipBoundary.size() > 2) {
    Local = FClipBoundary;
  } else {
    Local = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  }
  const TFMatrix M = PlacementMatrix(FPoint, FScale, Extrusion(), cnstIdentityMat, FRotation, cnstFPointZero);
  std::vector<TFPoint> R;
  R.reserve(Local.size());
  for (const TFPoint& P : Local) {
    const TFPoint Q = TransformPoint({P.X, P.Y, 0}, M);
    if (IsFiniteFPoint(Q)) R.push_back(Q);
  }
  return R;
}

bool TqdCADUnderlay::BuildGeometry(TqdDXFConverter* C, TqdDXFBlock& ABlock) {
  FDefinition = dynamic_cast<TqdCADUnderlayDefinition*>(qdObjectByHandle(C, FDefinitionHandle));
  const std::vector<TFPoint> F = Frame();
  if (F.size() < 3) return false;
  auto P = std::make_unique<TqdDXFPolyline>();
  P->SetFlags(TqdCADBasePolyline::cnst3DPolyline | TqdCADBasePolyline::cnstClosed);
  for (const TFPoint& Q : F) P->AddVertex(Q);
  P->SetColorCAD(TqdColorCAD::Index(clByBlock));
  AddGenerated(C, ABlock, std::move(P));
  // The name, a twentieth of the frame's smaller side high, inside its lower left
  // corner as the underlay is turned (a clip polygon may start anywhere).
  const double A = FRotation * 3.14159265358979323846 / 180;
  const TFPoint Dir{std::cos(A), std::sin(A), 0};
  const TFPoint Up{-Dir.Y, Dir.X, 0};
  double MinU = cnstMaxDouble, MinV = cnstMaxDouble, MaxU = -cnstMaxDouble, MaxV = -cnstMaxDouble;
  for (const TFPoint& Q : F) {
    const double U = DotFPoint(Q, Dir), V = DotFPoint(Q, Up);
    MinU = std::min(MinU, U), MaxU = std::max(MaxU, U);
    MinV = std::min(MinV, V), MaxV = std::max(MaxV, V);
  }
  const double H = std::min(MaxU - MinU, MaxV - MinV) / 20;
  if (std::isfinite(H) && H > 0) {
    auto T = std::make_unique<TqdDXFText>();
    T->SetText(ShownName());
    T->SetHeight(H);
    T->SetPoint(AddFPoint(ScaleFPoint(Dir, MinU + H / 2), ScaleFPoint(Up, MinV + H / 2)));
    T->SetRotation(FRotation);
    T->SetColorCAD(TqdColorCAD::Index(clByBlock));
    AddGenerated(C, ABlock, std::move(T));
  }
  return ABlock.Count() > 0;
}
