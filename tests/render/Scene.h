#pragma once
// Small drawings built in code for the render tests, toolkit-free: the pixel
// tests paint them on a QImage, the geometry tests on the recording canvas.
#include <memory>
#include <string>

#include "CADImage.h"
#include "DXFConv.h"
#include "Entities.h"
#include "Inserts.h"
#include "Objects.h"
#include "TableItems.h"

template <class T> T* AddTo(TqdDXFEntity* Owner, std::unique_ptr<T> E) {
  T* Raw = E.get();
  return Owner->AddEntity(std::move(E)) >= 0 ? Raw : nullptr;
}

inline TqdDXFLine* AddLine(TqdDXFEntity* Owner, TFPoint A, TFPoint B, int Aci = clByLayer) {
  auto L = std::make_unique<TqdDXFLine>();
  L->SetLine(A, B);
  L->SetColorCAD(TqdColorCAD::Index(Aci));
  return AddTo(Owner, std::move(L));
}

inline TqdDXFBlock* NewBlock(TqdDXFConverter& C, const std::string& Name) {
  return dynamic_cast<TqdDXFBlock*>(C.NewNamedEntity(C.GetOrCreateSection(csBlocks), ClassOf<TqdDXFBlock>(), Name));
}

inline TqdDXFInsert* AddInsert(TqdDXFEntity* Owner, TqdDXFBlock* B, TFPoint P, TFPoint S = {1, 1, 1},
                               int Aci = clByLayer) {
  auto I = std::make_unique<TqdDXFInsert>();
  I->SetBlock(B);
  I->SetPoint(P);
  I->SetScale(S);
  I->SetColorCAD(TqdColorCAD::Index(Aci));
  return AddTo(Owner, std::move(I));
}

inline TqdDXFLayer* Layer(TqdDXFConverter& C, const std::string& Name, int Aci) {
  TqdDXFLayer* L = C.LayerByName(Name);
  L->SetColorCAD(TqdColorCAD::Index(Aci));
  return L;
}

inline TqdDXFViewport* AddViewport(TqdDXFConverter& C, TqdDXFEntity* Paper, std::uint64_t Handle, TFPoint Centre,
                                   double W, double H, TFPoint ViewCentre, double ViewHeight) {
  auto V = std::make_unique<TqdDXFViewport>();
  V->SetHandle(Handle);
  V->SetPSpaceCenter(Centre);
  V->SetPSpaceWidth(W);
  V->SetPSpaceHeight(H);
  V->SetMSpaceCenter(ViewCentre);
  V->SetMSpaceHeight(ViewHeight);
  TqdDXFViewport* R = AddTo(Paper, std::move(V));
  C.Loads(R);
  return R;
}

// A drawing whose view is fixed to 0..100 in X and Y: in a 100 x 100 picture,
// drawing point (x, y) is pixel (x, 100 - y).
struct TSceneBase {
  TqdCADImage Img;
  TqdDXFConverter& C = *Img.Converter();
  TqdDXFBlock* Model = C.ModelSpace();

  // Loads what was added and shows Layout on the fixed view.
  void Prepare(int Layout = 0) {
    C.LoadAll();
    Img.SetIsWithoutBorder(true);
    Img.SetDrawingBox({0, 100, 0, 100, 0, 0});
    Img.SetCurrentLayout(C.GetLayout(Layout), Layout);
  }
};
