// The DXF reader's containers: tables and their entries, blocks, the objects
// section and the sections of a drawing; the generic object and entity reading
// is in DXF.cpp.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "CachedCast.h"
#include "DXFDirect.h"
#include "DXFReaderObjects.h"
#include "DimStyles.h"
#include "Others.h"
#include "Registry.h"
#include "qdFunction.h"

// ---------------------------------------------------------------- tables

void TdxfTable::Create() {
  FOwnedEnt = std::make_unique<TqdDXFTable>();
  FEnt = FOwnedEnt.get();
  GetConverter()->DoCreate(FEnt);
  FEnt->SetConverter(GetConverter());
  FComplex = true;
}

namespace {

struct TTableSlot {
  const char* Name;
  TConvSection Section;
};
constexpr TTableSlot cTables[] = {{"BLOCK_RECORD", csBlockRecords}, {"DIMSTYLE", csDimStyles},
                                  {"LTYPE", csLTypes},              {"LAYER", csLayers},
                                  {"STYLE", csStyles},              {"VPORT", csVPorts},
                                  {"APPID", csAppID}};

}  // namespace

void TdxfTable::Commit() {
  FComplex = true;
  TqdDXFConverter* C = GetConverter();
  FTableName = UpperNameText(Trimmed(FTexts[2]));
  const TTableSlot* Slot = nullptr;
  for (const TTableSlot& S : cTables)
    if (FTableName == S.Name) Slot = &S;
  FKnown = Slot != nullptr;
  TqdDXFEntity* Existing = nullptr;
  if (Slot) Existing = Slot->Section == csBlockRecords ? C->GetOrCreateSection(csBlockRecords) : C->GetSection(Slot->Section);
  if (Existing) {
    // The converter's table is used; the new one goes.
    FOwnedEnt.reset();
    FEnt = Existing;
    FAdded = true;
    if (FHandle && Existing->Handle() == 0) {
      std::uint64_t H = FHandle;
      C->CheckHandle(H);
      Existing->SetHandle(FHandle);
    }
    return;
  }
  TdxfObject::Commit();
  FEnt->SetName(Slot ? std::string_view(Slot->Name) : std::string_view(FTexts[2]));
  std::unique_ptr<TqdDXFEntity> E = ExtractEntity();
  TqdDXFEntity* Raw = E.get();
  if (FReader.SafeAdd(C->GetOrCreateSection(csTables), E)) {
    FEnt = Raw;
    FAdded = true;
  }
}

bool TdxfTable::AddChild(TdxfObject& AChild) {
  // A known table holds only its own kind of item.
  if (FKnown && !SameText(AChild.Name(), FTableName)) return false;
  return FReader.AddTableItem(FEnt, AChild);
}

bool TdxfTables::AddChild(TdxfObject& AChild) {
  // An item outside any TABLE (a file that lost the table's header) joins the table
  // of its kind.
  if (AChild.Kind() != dkTableItem && AChild.Kind() != dkBlockRecord) return false;
  for (const TTableSlot& S : cTables)
    if (SameText(AChild.Name(), S.Name)) {
      TqdDXFConverter* C = GetConverter();
      TqdDXFEntity* T = C->GetSection(S.Section);
      if (!T) T = S.Section == csBlockRecords ? C->GetOrCreateSection(csBlockRecords) : C->NewNamedTable(S.Name);
      return FReader.AddTableItem(T, AChild);
    }
  return false;
}

bool TdxfReader::AddTableItem(TqdDXFEntity* ATable, TdxfObject& AChild) {
  TqdDXFEntity* Item = AChild.Ent();
  if (!ATable || !Item) return false;
  ForgetFoundItems();
  // The first of equal names stays; an empty name (shape-file styles) names nothing.
  const std::string Name = Item->Name();
  if (!Name.empty() && ATable->FindEntByName(Name)) {
    Warn("table entries of duplicate names were dropped");
    return false;
  }
  std::unique_ptr<TqdDXFEntity> E = AChild.ExtractEntity();
  if (!SafeAdd(ATable, E)) return false;
  if (auto* R = dynamic_cast<TqdDXFBlockRecord*>(Item)) {
    if (R->Handle()) FBlockRecordsByHandle.emplace(R->Handle(), R);
    NoteBlock(R->Block());
  } else if (auto* V = dynamic_cast<TqdDXFVport*>(Item)) {
    if (!FActiveVPort && SameText(Trimmed(V->Name()), "*ACTIVE")) FActiveVPort = V;
  }
  return true;
}

// ---------------------------------------------------------------- blocks

void TdxfBlock::Create() {
  FOwnedEnt = std::make_unique<TqdDXFBlock>();
  FEnt = FOwnedEnt.get();
  GetConverter()->DoCreate(FEnt);
  FEnt->SetConverter(GetConverter());
  FComplex = true;
}

void TdxfBlock::Commit() {
  FComplex = true;
  TqdDXFConverter* C = GetConverter();
  const std::string Name(Trimmed(FTexts[2]));
  TqdDXFBlockRecord* Record = nullptr;
  if (TqdDXFEntity* Records = C->GetSection(csBlockRecords))
    Record = dynamic_cast<TqdDXFBlockRecord*>(Records->FindEntByName(Name));
  if (!Record && FSoftOwnerID) {
    auto It = FReader.FBlockRecordsByHandle.find(FSoftOwnerID);
    if (It != FReader.FBlockRecordsByHandle.end()) Record = It->second;
  }
  TqdDXFBlock* B = nullptr;
  if (Record && Record->Block() && Record->Block()->Owner()) {
    // The record's block is in BLOCKS already; the new one goes.
    FOwnedEnt.reset();
    B = Record->Block();
    FEnt = B;
    FAdded = true;
  } else {
    B = static_cast<TqdDXFBlock*>(FEnt);
    B->SetName(Name);
  }
  if (FHandle && B->Handle() == 0) {
    std::uint64_t H = FHandle;
    C->CheckHandle(H);
    B->SetHandle(FHandle);
  }
  if (FHasText[1]) B->SetXrefPath(Trimmed(FTexts[1]));
  B->SetOffset(FPoints[0]);
  if (FHas70) B->SetFlags(FInt70 & 0x7F);
  if (FHasText[4]) {
    std::string D = FTexts[4];
    for (std::size_t P; (P = D.find("^M")) != std::string::npos;) D.replace(P, 2, "\r");
    for (std::size_t P; (P = D.find("^J")) != std::string::npos;) D.replace(P, 2, "\n");
    B->SetDescription(D);
  }
  if (!FAdded) {
    std::unique_ptr<TqdDXFEntity> E = ExtractEntity();
    if (FReader.SafeAdd(C->GetOrCreateSection(csBlocks), E)) {
      FEnt = B;
      FAdded = true;
    } else {
      FEnt = nullptr;
      return;
    }
  }
  FReader.NoteBlock(B);
}

bool TdxfBlock::AddChild(TdxfObject& AChild) {
  if (!FEnt || !IsGraphical(AChild.Kind())) return false;
  std::unique_ptr<TqdDXFEntity> E = AChild.ExtractEntity();
  TqdDXFEntity* Raw = E.get();
  if (!FReader.SafeAdd(FEnt, E)) return false;
  FReader.NoteDXFName(Raw, AChild.Name());
  return true;
}

// ---------------------------------------------------------------- objects

void TdxfObjectItem::Commit() {
  TdxfObject::Commit();
  if (FEnt && FHasText[1] && FKind == dkObject && dynamic_cast<TqdDXFImageDef*>(FEnt))
    static_cast<TqdDXFImageDef*>(FEnt)->FFileName = FTexts[1];
}

void TdxfLayout::Commit() {
  TdxfObjectItem::Commit();
  auto* L = dynamic_cast<TqdDXFLayout*>(FEnt);
  if (!L) return;
  if (FHasText[1]) L->SetNameUnchecked(FTexts[1]);
}

void TdxfLayout::Placed(TqdDXFEntity* AItem) {
  // The second owner group names the layout's block record.
  if (auto* L = dynamic_cast<TqdDXFLayout*>(AItem); L && FSoftOwnerCount >= 2 && FLastSoftOwnerID)
    FReader.FLayoutBlocks.emplace_back(L, FLastSoftOwnerID);
}

void TdxfDictionary::ReadProperty() {
  const int Code = FReader.Code();
  switch (Code) {
    case 3: FEntryName = FReader.UValue(); break;
    case 350:
    case 360:
      if (FReactorsRead) {
        TdxfObject::ReadProperty();
      } else {
        FEntries.push_back({FEntryName, FReader.HandleValue(), Code == 360});
        FEntryName.clear();
      }
      break;
    case 280: FHardOwner = FReader.IntValue() == 1; break;
    case 281: FInt70 = FReader.IntValue(); break;
    default: TdxfObject::ReadProperty();
  }
}

void TdxfDictionary::Commit() {
  TdxfObject::Commit();
  if (FEnt) FEnt->SetName("DICTIONARY");
}

void TdxfDictionary::Placed(TqdDXFEntity* AItem) {
  // Entries are claimed once the dictionary has its place, so that every claim names
  // a live dictionary and the owners it has can be checked.
  auto* D = dynamic_cast<TqdDXFDictionary*>(AItem);
  if (!D) return;
  if (!FReader.FNamedObjects) FReader.FNamedObjects = D;
  // Entries of the chosen kind; a writer that used the other kind throughout is followed.
  bool AnyChosen = false;
  for (const TEntry& E : FEntries) AnyChosen |= E.Hard == FHardOwner;
  auto IsAncestor = [&](const TqdDXFEntity* X) {
    int Depth = 0;
    for (const TqdDXFEntity* P = D; P && Depth < cnstMaxTreeDepth; P = P->Owner(), ++Depth)
      if (P == X) return true;
    return false;
  };
  TqdDXFEntity* Objects = GetConverter()->GetSection(csObjects);
  for (const TEntry& E : FEntries) {
    if (AnyChosen && E.Hard != FHardOwner) continue;
    if (E.Handle == 0 || E.Handle == FHandle) {
      FReader.Warn("dictionary entries naming their own dictionary or one of its owners were refused");
      continue;
    }
    auto Found = FReader.FObjectsByHandle.find(E.Handle);
    if (Found == FReader.FObjectsByHandle.end()) {
      // Read later: it joins this dictionary then (the first dictionary to claim it wins).
      FReader.FPendingEntries.emplace(E.Handle, TdxfReader::TEntry{D, E.Name});
      continue;
    }
    TqdDXFEntity* X = Found->second;
    if (IsAncestor(X)) {
      FReader.Warn("dictionary entries naming their own dictionary or one of its owners were refused");
      continue;
    }
    // Only an object nobody claimed (still at the top of OBJECTS) moves here.
    if (!Objects || X->Owner() != Objects) continue;
    std::unique_ptr<TqdDXFEntity> Taken = Objects->DeleteEntity(Objects->IndexOfEntity(X));
    if (!Taken) continue;
    const std::string OldName = Taken->Name();
    Taken->SetName(E.Name);
    if (FReader.SafeAdd(D, Taken)) continue;
    if (Taken) {
      Taken->SetName(OldName);
      if (FReader.SafeAdd(Objects, Taken)) continue;
    }
    FReader.ForgetObject(X);
  }
}

// ---------------------------------------------------------------- sections

void TdxfHeader::ReadProperty() {
  const int Code = FReader.Code();
  if (Code == 9) {
    FVar = UpperNameText(Trimmed(FReader.Value()));
    return;
  }
  TqdDXFConverter* C = GetConverter();
  TqdHeadVarStruct& H = C->HeadVarStruct();
  TdxfTokenizer& T = *FReader.FTokenizer;
  const std::string_view V = FVar;
  auto Point = [&](TFPoint& P) {
    const double D = FReader.FloatValue();
    if (Code == 10) P.X = D;
    else if (Code == 20) P.Y = D;
    else if (Code == 30) P.Z = D;
  };
  auto Real = [&](double& R) {
    if (Code == 40) R = FReader.FloatValue();
  };
  auto Int70 = [&](int& I) {
    if (Code == 70) I = FReader.IntValue();
  };
  auto Flag70 = [&](bool& B) {
    if (Code == 70) B = FReader.IntValue() == 1;
  };
  auto Text = [&](int TextCode, std::string& S) {
    if (Code == TextCode) S = std::string(Trimmed(FReader.UValue()));
  };
  auto Weight = [&](double& W) {
    if (Code != 370 && Code != 70) return;
    const int I = FReader.IntValue();
    W = I > 0 ? I / 100.0 : I;
  };
  TqdDimStyle& Dim = H.DimProps;
  if (V == "$ACADVER") {
    if (Code == 1) {
      FReader.FAcadVer = std::string(Trimmed(FReader.Value()));
      T.SetVersion(DXFVersionByName(FReader.FAcadVer, T.Version()));
      H.Version = static_cast<std::uint8_t>(T.Version());
    }
  } else if (V == "$DWGCODEPAGE") {
    if (Code == 3) {
      FReader.FCodePageName = std::string(Trimmed(FReader.Value()));
      H.CodePage = DXFCodePageByName(FReader.FCodePageName);
      T.SetCodePage(H.CodePage);
    }
  } else if (V == "$HANDSEED") {
    if (Code == 5) {
      std::uint64_t S = FReader.HandleValue();
      C->CheckHandle(S);
    }
  } else if (V == "$EXTMIN") Point(H.ExtMim);
  else if (V == "$EXTMAX") Point(H.ExtMax);
  else if (V == "$INSBASE") Point(H.InsBase);
  else if (V == "$UCSORG") Point(H.UCSORG);
  else if (V == "$UCSXDIR") Point(H.UCSXDir);
  else if (V == "$UCSYDIR") Point(H.UCSYDir);
  else if (V == "$MEASUREMENT") { if (Code == 70) H.Measurement = FReader.IntValue() != 0; }
  else if (V == "$PDMODE") Int70(H.PointDisplayMode);
  else if (V == "$TILEMODE") Int70(H.TileMode);
  else if (V == "$INSUNITS") Int70(H.InsUnits);
  else if (V == "$LTSCALE") { if (Code == 40) { const double D = FReader.FloatValue(); H.LTScale = D == 0 ? 1.0 : D; } }
  else if (V == "$PSLTSCALE") Int70(H.PSLTScale);
  else if (V == "$PDSIZE") Real(H.PointDisplaySize);
  else if (V == "$TEXTSIZE") Real(H.TextSize);
  else if (V == "$FILLETRAD") Real(H.FilletRadius);
  else if (V == "$CELTSCALE") Real(H.CELTScale);
  else if (V == "$DIMSTYLE") Text(2, H.DimStyle);
  else if (V == "$CECOLOR") { if (Code == 62) H.CEColor = TqdColorCAD::Index(std::clamp(FReader.IntValue(), 0, 256)); }
  else if (V == "$CLAYER") Text(8, H.CLayer);
  else if (V == "$CELTYPE") Text(6, H.CELType);
  else if (V == "$CELWEIGHT") Weight(H.CELWeight);
  else if (V == "$DIMTXSTY") Text(7, H.DimTextStyle);
  else if (V == "$TEXTSTYLE") Text(7, H.TextStyle);
  else if (V == "$ATTMODE") {
    if (Code == 70) {
      const int M = FReader.IntValue();
      H.AttMode = M == 0 ? attOff : M == 1 ? attNormal : attAll;
    }
  } else if (V == "$XCLIPFRAME") {
    if (Code == 290 || Code == 280 || Code == 70) H.XClipFrame = static_cast<std::uint8_t>(std::clamp(FReader.IntValue(), 0, 2));
  } else if (V == "$DIMALT") { if (Code == 70) Dim.Alt = FReader.IntValue() != 0; }
  else if (V == "$DIMALTF") Real(Dim.AltF);
  else if (V == "$DIMAPOST") Text(1, Dim.APost);
  else if (V == "$DIMPOST") Text(1, Dim.Post);
  else if (V == "$DIMCLRD") { if (Code == 70) Dim.ClrD = TqdColorCAD::Index(std::clamp(FReader.IntValue(), 0, 256)); }
  else if (V == "$DIMCLRE") { if (Code == 70) Dim.ClrE = TqdColorCAD::Index(std::clamp(FReader.IntValue(), 0, 256)); }
  else if (V == "$DIMCLRT") { if (Code == 70) Dim.ClrT = TqdColorCAD::Index(std::clamp(FReader.IntValue(), 0, 256)); }
  else if (V == "$DIMEXE") Real(Dim.Exe);
  else if (V == "$DIMEXO") Real(Dim.Exo);
  else if (V == "$DIMGAP") Real(Dim.Gap);
  else if (V == "$DIMLFAC") Real(Dim.LFac);
  else if (V == "$DIMASZ") Real(Dim.Asz);
  else if (V == "$DIMSCALE") Real(Dim.Scale);
  else if (V == "$DIMTXT") Real(Dim.Txt);
  else if (V == "$DIMTSZ") Real(Dim.Tsz);
  else if (V == "$DIMDEC") {
    Int70(Dim.Dec);
    Dim.Dec = ClampDimDec(Dim.Dec);
  } else if (V == "$DIMBLK" || V == "$DIMBLK1" || V == "$DIMBLK2" || V == "$DIMLDRBLK") {
    // Arrow names; a user block's name gives the "user arrow" type.
    if (Code == 1) {
      const std::uint8_t T = ArrowTypeToByte(ArrowTypeByName(FReader.UValue(), 0));
      (V == "$DIMBLK" ? Dim.Arrows.Blk : V == "$DIMBLK1" ? Dim.Arrows.Blk1 : V == "$DIMBLK2" ? Dim.Arrows.Blk2 : Dim.Arrows.LrBlk) = T;
    }
  }
  else if (V == "$DIMTAD") Int70(Dim.Tad);
  else if (V == "$DIMDSEP") {
    Int70(Dim.DSep);
    Dim.DSep = ClampDimDSep(Dim.DSep);
  }
  else if (V == "$DIMZIN") {
    Int70(Dim.Zin);
    Dim.Zin = std::clamp(Dim.Zin, 0, 15);
  }
  else if (V == "$DIMTIX") Int70(Dim.Tix);
  else if (V == "$DIMTIH") Flag70(Dim.Tih);
  else if (V == "$DIMTOFL") Flag70(Dim.Tofl);
  else if (V == "$DIMTOH") Flag70(Dim.Toh);
  else if (V == "$DIMSE1") Flag70(Dim.SE1);
  else if (V == "$DIMSE2") Flag70(Dim.SE2);
  else if (V == "$DIMSD1") Flag70(Dim.SD1);
  else if (V == "$DIMSD2") Flag70(Dim.SD2);
  else if (V == "$DIMSAH") Flag70(Dim.Sah);
  else if (V == "$DIMLWD") Weight(Dim.LwD);
  else if (V == "$DIMLWE") Weight(Dim.LwE);
}

void TdxfTables::Create() { GetConverter()->GetOrCreateSection(csTables); }

void TdxfBlocks::Create() {
  TqdDXFConverter* C = GetConverter();
  C->GetOrCreateSection(csBlocks);
  C->GetOrCreateSection(csBlockRecords);
}

bool TdxfEntities::AddChild(TdxfObject& AChild) {
  if (!IsGraphical(AChild.Kind())) return false;
  FReader.EnsureSpaceBlocks();
  TqdDXFBlock* Target = AChild.FPaperSpace ? FReader.FPaperSpace : FReader.FModelSpace;
  if (!Target) return false;
  std::unique_ptr<TqdDXFEntity> E = AChild.ExtractEntity();
  TqdDXFEntity* Raw = E.get();
  if (!FReader.SafeAdd(Target, E)) return false;
  FReader.NoteDXFName(Raw, AChild.Name());
  return true;
}

bool TdxfObjects::AddChild(TdxfObject& AChild) {
  if (!IsObjectKind(AChild.Kind()) || !AChild.Ent()) return false;
  FReader.PlaceObject(AChild);
  return AChild.FAdded;
}

void TdxfMain::Read() {
  FReader.Next();
  while (!FReader.AtEnd()) {
    if (FReader.Code() != 0) {
      FReader.Next();
      continue;
    }
    const std::string Name = UpperNameText(Trimmed(FReader.Value()));
    if (Name == "SECTION") {
      FReader.Next();
      if (FReader.Code() != 2) continue;
      const std::string S = UpperNameText(Trimmed(FReader.Value()));
      FReader.FSawData = true;
      std::unique_ptr<TdxfObject> Sec;
      if (S == "HEADER")
        Sec = std::make_unique<TdxfHeader>(FReader, this, S, dkUnknown);
      else if (S == "TABLES")
        Sec = std::make_unique<TdxfTables>(FReader, this, S, dkUnknown);
      else if (S == "BLOCKS")
        Sec = std::make_unique<TdxfBlocks>(FReader, this, S, dkUnknown);
      else if (S == "ENTITIES")
        Sec = std::make_unique<TdxfEntities>(FReader, this, S, dkUnknown);
      else if (S == "OBJECTS")
        Sec = std::make_unique<TdxfObjects>(FReader, this, S, dkUnknown);
      else
        Sec = std::make_unique<TdxfCustomSection>(FReader, this, S, dkUnknown);
      Sec->Create();
      Sec->Read();
      continue;
    }
    if (Name == "TABLE") {
      // A table outside a section reads as if TABLES had started here.
      FReader.FSawData = true;
      TdxfTables Tables(FReader, this, "TABLES", dkUnknown);
      Tables.Create();
      Tables.FComplex = true;
      Tables.ReadChildren();
      if (!FReader.AtEnd() && FReader.Code() == 0 && SameText(Trimmed(FReader.Value()), "ENDSEC")) FReader.Next();
      continue;
    }
    if (Name == "ENDSEC" || Name == "SEQEND" || Name == "ENDTAB" || Name == "ENDBLK") {
      FReader.Next();
      continue;
    }
    if (DXFObjectKind(Name) != dkUnknown) FReader.FSawData = true;
    ReadChild(Name);
  }
  FReader.FSawEOF = !FReader.FTokenizer->AtEnd();
}

bool TdxfMain::AddChild(TdxfObject& AChild) {
  // A graphical entity outside any section belongs to the model space.
  if (!IsGraphical(AChild.Kind())) return false;
  FReader.EnsureSpaceBlocks();
  if (!FReader.FModelSpace) return false;
  std::unique_ptr<TqdDXFEntity> E = AChild.ExtractEntity();
  TqdDXFEntity* Raw = E.get();
  if (!FReader.SafeAdd(FReader.FModelSpace, E)) return false;
  FReader.NoteDXFName(Raw, AChild.Name());
  return true;
}
