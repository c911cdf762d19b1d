// The reader object of an entity given as values: the steps of the generic entity
// commit and of the type's mapping, in their order, from the values instead of the
// groups (see DXFDirect.h).
#include "DXFDirect.h"

#include <algorithm>

#include "CachedCast.h"
#include "Curves.h"
#include "DXF.h"
#include "DXFMapping.h"
#include "Entities.h"

const char* DXFDirectName(TdxfDirectKind K) {
  switch (K) {
    case ddLine: return "LINE";
    case ddPoint: return "POINT";
    case ddCircle: return "CIRCLE";
    case ddArc: return "ARC";
  }
  return "LINE";
}

void TdxfDirectList::Add(const TdxfDirectEntity& E) {
  if (FSize % cnstChunk == 0) {
    FChunks.emplace_back();
    FChunks.back().Items.reserve(cnstChunk);
  }
  TChunk& C = FChunks.back();
  C.Items.push_back(E);
  C.Taken.push_back(false);
  ++C.Left;
  ++FSize;
}

bool TdxfDirectList::Take(std::size_t I, TdxfDirectEntity& AOut) {
  if (I >= FSize) return false;
  TChunk& C = FChunks[I / cnstChunk];
  const std::size_t K = I % cnstChunk;
  if (K >= C.Taken.size() || C.Taken[K]) return false;
  AOut = C.Items[K];
  C.Taken[K] = true;
  if (--C.Left == 0) {
    std::vector<TdxfDirectEntity>().swap(C.Items);
    std::vector<bool>().swap(C.Taken);
  }
  return true;
}

class TdxfDirect : public TdxfObject {
public:
  TdxfDirect(TdxfReader& AReader, TdxfObject* AOwner)
      : TdxfObject(AReader, AOwner, cnstDXFDirectName, dkEntity) {}
  // One of these per entity, as for the reader's own entity objects.
  static void* operator new(std::size_t N) { return DXFTakeBlock(N); }
  static void operator delete(void* P, std::size_t N) { DXFGiveBlock(P, N); }
  void Create() override {}
  void Read() override;

private:
  void Make(const TdxfDirectEntity& D);
  void Commit(const TdxfDirectEntity& D);
};

void TdxfDirect::Read() {
  std::int64_t First = -1, Count = 1;
  for (;;) {
    FReader.Next();
    if (FReader.Code() == 0) break;
    if (FReader.Code() == cnstDXFDirectCode) First = FReader.IntValue();
    if (FReader.Code() == cnstDXFDirectCountCode) Count = FReader.IntValue();
  }
  TdxfDirectList* L = FReader.FOptions.Direct;
  // A marker without its entities (never from the reader that wrote it) reads as nothing.
  if (!L || First < 0 || Count < 1 || static_cast<std::uint64_t>(First) >= L->Size()) return;
  const std::size_t End = static_cast<std::size_t>(std::min<std::uint64_t>(L->Size(), static_cast<std::uint64_t>(First + Count)));
  TdxfDirectEntity D;
  bool Any = false;
  for (std::size_t I = static_cast<std::size_t>(First); I < End; ++I) {
    if (!L->Take(I, D)) continue;
    // Each but the last goes to the owner here; the last as every read object does.
    if (Any && FEnt && FOwner) FOwner->AddChild(*this);
    Make(D);
    Any = true;
  }
}

void TdxfDirect::Make(const TdxfDirectEntity& D) {
  FOwnedEnt.reset();
  FEnt = nullptr;
  FName = DXFDirectName(D.Kind);
  // The class of each kind is looked up once per load.
  const std::size_t K = D.Kind < 4 ? D.Kind : 0;
  if (!FReader.FDirectInfoSet[K]) {
    FReader.FDirectInfos[K] = FReader.NameInfo(FName);
    FReader.FDirectInfoSet[K] = true;
  }
  const TdxfReader::TNameInfo Info = FReader.FDirectInfos[K];
  FOwnedEnt = Info.Class ? Info.Class() : nullptr;
  FEnt = FOwnedEnt.get();
  if (!FEnt) {
    FReader.NoteNotDrawn(FName);
    return;
  }
  GetConverter()->DoCreate(FEnt);
  Commit(D);
  FReader.NoteProgress();
}

void TdxfDirect::Commit(const TdxfDirectEntity& D) {
  FPaperSpace = D.Paper;
  FHandle = D.Handle;
  ApplyHandle();
  // The generic entity steps.
  if (auto* OE = CachedCast<TqdDXFObjectEntity>(FEnt)) {
    if (D.Layer && D.Layer == FReader.FDirectLayerName && FReader.FDirectLayer) {
      OE->LayerItem().SetItem(FReader.FDirectLayer);
    } else {
      FReader.GetLayers(OE->LayerItem(), D.Layer ? std::string_view(*D.Layer) : std::string_view("0"));
      if (D.Layer && !D.Layer->empty())
        if (auto It = FReader.FFoundLayers.find(std::string_view(*D.Layer)); It != FReader.FFoundLayers.end()) {
          FReader.FDirectLayerName = D.Layer;
          FReader.FDirectLayer = It->second;
        }
    }
  }
  if (D.LType)
    if (auto* LT = CachedCast<TqdDXFObjectEntityLineType>(FEnt)) FReader.GetLTypes(LT->LineTypeItem(), *D.LType);
  if (D.HasLTScale) FEnt->SetLineTypeScale(D.LTScale);
  if (D.HasVisibility) FEnt->SetVisibility(D.Visibility == 0);
  if (D.RGB >= 0)
    FEnt->SetColorCAD(TqdColorCAD::RGB(SwapRedBlue(static_cast<std::uint32_t>(D.RGB))));
  else if (D.HasColor && D.Color >= 0 && D.Color <= 256)
    FEnt->SetColorCAD(TqdColorCAD::Index(D.Color));
  double LW;
  if (D.HasLineWeight && LineWeightOf(D.LineWeight, LW)) FEnt->SetLineWeight(LW);
  FEnt->SetPaperSpace(FPaperSpace);
  if (auto* Ln = CachedCast<TqdDXFLine>(FEnt)) {
    Ln->SetLine(D.P0, D.P1);
    Ln->SetZThick(D.Thick);
    Ln->SetExtrusion(D.Extr);
  } else if (auto* P = CachedCast<TqdDXFPoint>(FEnt)) {
    P->SetPoint(D.P0);
    P->SetZThick(D.Thick);
    P->SetExtrusion(D.Extr);
  }
  if (D.Kind != ddCircle && D.Kind != ddArc) return;
  // The circle mapping.
  auto* C = CachedCast<TqdDXFCircle>(FEnt);
  if (!C) return;
  C->SetExtrusion(D.Extr);
  C->SetZThick(D.Thick);
  C->SetFlags(0);
  C->SetPoint(D.P0);
  C->SetRadius(D.HasF40 ? D.F40 : 0);
  auto* A = CachedCast<TqdDXFArc>(C);
  if (!A || CachedCast<TqdDXFEllipse>(A)) return;
  A->SetStartAngle(D.HasF50 ? D.F50 : 0);
  A->SetEndAngle(D.HasF51 ? D.F51 : 360);
}

std::unique_ptr<TdxfObject> CreateDXFDirectObject(TdxfReader& AReader, TdxfObject* AOwner) {
  return std::make_unique<TdxfDirect>(AReader, AOwner);
}
