// The DWG reader, second part: objects of R13 to R2000 files. Layers, and the
// entities of model and paper space of the families decoded so far (LINE, CIRCLE,
// ARC, POINT); the rest are counted by type.
//
// Every object is read through a cursor bounded to its own data, and its handle
// stream through a second one that starts where the object's stored bit size says,
// so a field read wrongly cannot move owner and layer.
#include <cmath>
#include <map>

#include "Curves.h"
#include "DWG.h"
#include "Entities.h"
#include "TableItems.h"

namespace {

constexpr double cnstRadToDeg = 57.29577951308232;

// What every object starts with, and what every entity adds.
struct TdwgCommon {
  int Type = 0;
  std::uint64_t Handle = 0;
  TdwgBitCursor Data, Handles;
  // entities
  int EntMode = 0; // 0 owner handle, 1 paper space, 2 model space
  std::uint64_t Owner = 0, Layer = 0;
  TqdColorCAD Color = TqdColorCAD::Index(clByLayer);
  double LTScale = 1.0;
  bool Invisible = false;
  double LineWeight = -1;
};

// A count of items of at least ABits bits each that the stream can hold.
bool CheckCount(const TdwgBitCursor& C, std::uint64_t N, std::uint64_t ABits) {
  return N <= C.BitsLeft() / (ABits ? ABits : 1);
}

// The common part of an object (AEntity: of an entity) from its data after the MS
// size; false when the object cannot be read.
bool ReadCommon(TdwgBitCursor Obj, bool AEntity, TdwgCommon& O) {
  const TqdDWGVersion V = Obj.Version();
  const std::uint64_t Start = Obj.Position();
  O.Type = Obj.ReadOT(); // BS object type
  std::uint64_t HandlesAt = 0;
  if (V >= acR2000) HandlesAt = Start + Obj.ReadRL(); // RL size of the data in bits
  O.Handle = Obj.ReadH(0);                            // H handle
  // Extended data: a block larger than what is left ends it.
  for (int Size = Obj.ReadBS(); Size != 0 && Obj.Ok(); Size = Obj.ReadBS()) { // BS size
    (void)Obj.ReadH(0);                                                       // H application
    const std::uint64_t Bytes = static_cast<std::uint16_t>(Size);
    if (Bytes * 8 > Obj.BitsLeft()) return false;
    Obj.Skip(static_cast<std::int64_t>(Bytes * 8));
  }
  int NumReactors = 0;
  bool ByLayerLT = true, NoLinks = true;
  int LTFlags = 0, PSFlags = 0;
  if (AEntity) {
    if (Obj.ReadBit()) {                    // B graphic present
      const std::uint64_t G = Obj.ReadRL(); // RL graphic size in bytes
      if (G * 8 > Obj.BitsLeft()) return false;
      Obj.Skip(static_cast<std::int64_t>(G * 8)); // the graphic
    }
    if (V <= acR14) HandlesAt = Start + Obj.ReadRL();   // RL size of the data in bits
    O.EntMode = Obj.ReadBB();                           // BB entity mode
    NumReactors = Obj.ReadBL();                         // BL reactors
    if (V <= acR14) ByLayerLT = Obj.ReadBit();          // B linetype by layer
    NoLinks = Obj.ReadBit();                            // B no links
    O.Color = TqdColorCAD::Index(Obj.ReadBS() & 0x1FF); // CMC colour
    O.LTScale = Obj.ReadBD();                           // BD linetype scale
    if (V >= acR2000) {
      LTFlags = Obj.ReadBB(); // BB linetype flags
      PSFlags = Obj.ReadBB(); // BB plot style flags
    }
    O.Invisible = Obj.ReadBS() & 1;                                   // BS invisible
    if (V >= acR2000) O.LineWeight = LineWeightByIndex(Obj.ReadRC()); // RC lineweight
  } else {
    if (V <= acR14) HandlesAt = Start + Obj.ReadRL(); // RL size of the data in bits
    NumReactors = Obj.ReadBL();                       // BL reactors
  }
  if (!Obj.Ok() || HandlesAt < Start || HandlesAt > Obj.End()) return false;
  O.Data = Obj;
  O.Data.SetEnd(HandlesAt);
  O.Handles = Obj.Sub(HandlesAt, Obj.End());
  TdwgBitCursor& H = O.Handles;
  if (NumReactors < 0 || !CheckCount(H, static_cast<std::uint64_t>(NumReactors), 8)) return false;
  if (!AEntity || O.EntMode == 0) O.Owner = H.ReadH(O.Handle);   // H owner
  for (int I = 0; I < NumReactors; ++I) (void)H.ReadH(O.Handle); // H reactors
  (void)H.ReadH(O.Handle);                                       // H extension dictionary
  if (AEntity) {
    O.Layer = H.ReadH(O.Handle); // H layer
    if (V <= acR14) {
      if (!ByLayerLT) (void)H.ReadH(O.Handle); // H linetype
    } else if (LTFlags == 3) {
      (void)H.ReadH(O.Handle); // H linetype
    }
    if (!NoLinks) {
      (void)H.ReadH(O.Handle); // H previous entity
      (void)H.ReadH(O.Handle); // H next entity
    }
    if (V >= acR2000 && PSFlags == 3) (void)H.ReadH(O.Handle); // H plot style
  }
  return H.Ok();
}

} // namespace

void TdwgReader::ReadObjects(const std::vector<int>& ATypes) {
  if (FVersion > acR2000) return;
  TqdDXFConverter& C = *FConverter;
  EnsureSpaceBlocks();
  std::unordered_map<std::uint64_t, TqdDXFLayer*> Layers;
  TqdDXFEntity* LayerTable = C.GetOrCreateSection(csLayers);
  std::string FirstError;
  std::uint64_t FirstHandle = 0;
  std::size_t Failed = 0;
  const auto Fail = [&](std::uint64_t AHandle, const char* AWhat) {
    ++Failed;
    if (FirstError.empty()) {
      FirstError = AWhat;
      FirstHandle = AHandle;
    }
  };
  // Layers first: entities name theirs by handle.
  for (std::size_t I = 0; I < FObjMap.Count() && LayerTable && !Stopped(); ++I) {
    try {
      if (ATypes[I] != 0x33) continue;
      TdwgBitCursor D;
      std::string E;
      TdwgCommon O;
      if (!ObjectData(I, D, E) || !ReadCommon(D, false, O)) {
        Fail(FObjMap[I].Handle, "LAYER");
        continue;
      }
      TdwgBitCursor& B = O.Data;
      TdwgAnsiStringReaderParse S(&B, FCodePage);
      const std::string Name = S.ReadT(); // TV name
      B.Skip(1);                          // B 64-flag
      (void)B.ReadBS();                   // BS xref index
      B.Skip(1);                          // B xref dependent
      bool Frozen = false;
      if (FVersion <= acR14) {
        Frozen = B.ReadBit(); // B frozen
        B.Skip(3);            // B on, frozen in new viewports, locked
      } else {
        Frozen = B.ReadBS() & 1; // BS flags, frozen in bit 0
      }
      const int Color = B.ReadBS(); // CMC colour
      if (!B.Ok() || Name.empty()) {
        Fail(O.Handle, "LAYER");
        continue;
      }
      auto* L =
          dynamic_cast<TqdDXFLayer*>(C.NewNamedEntity(LayerTable, ClassOf<TqdDXFLayer>(), Name));
      if (!L) continue;
      if (L->Handle() == 0) L->SetHandle(O.Handle);
      FDecoded.insert(FObjMap[I].Handle);
      // A negative index is a layer switched off.
      const int Index = static_cast<std::int16_t>(Color);
      L->SetColorCAD(TqdColorCAD::Index(std::abs(Index) & 0x1FF));
      if (Index < 0) L->SetVisible(false);
      L->SetFrozen(Frozen);
      Layers[O.Handle] = L;
    } catch (const std::exception&) {
      Fail(FObjMap[I].Handle, "LAYER");
    }
  }
  for (std::size_t I = 0; I < FObjMap.Count() && !Stopped(); ++I) {
    const int T = ATypes[I];
    try {
      if (T != 0x11 && T != 0x12 && T != 0x13 && T != 0x1B) continue;
      TdwgBitCursor D;
      std::string E;
      TdwgCommon O;
      const char* Name = DWGObjectType(T).Name;
      if (!ObjectData(I, D, E) || !ReadCommon(D, true, O)) {
        Fail(FObjMap[I].Handle, Name);
        continue;
      }
      TdwgBitCursor& B = O.Data;
      std::unique_ptr<TqdDXFEntity> Ent;
      TFPoint Extrusion{0, 0, 1};
      double Thickness = 0;
      if (T == 0x13) {
        TFPoint P1, P2;
        if (FVersion >= acR2000) {
          const bool ZZero = B.ReadBit(); // B Z's are zero
          P1.X = B.ReadRD();              // RD start x
          P2.X = B.ReadDD(P1.X);          // DD end x
          P1.Y = B.ReadRD();              // RD start y
          P2.Y = B.ReadDD(P1.Y);          // DD end y
          if (!ZZero) {
            P1.Z = B.ReadRD();     // RD start z
            P2.Z = B.ReadDD(P1.Z); // DD end z
          }
        } else {
          P1 = B.Read3BD(); // 3BD start
          P2 = B.Read3BD(); // 3BD end
        }
        Thickness = B.ReadBT(); // BT thickness
        Extrusion = B.ReadBE(); // BE extrusion
        auto L = std::make_unique<TqdDXFLine>();
        L->SetLine(P1, P2);
        Ent = std::move(L);
      } else if (T == 0x12 || T == 0x11) {
        const TFPoint Center = B.Read3BD(); // 3BD centre
        const double Radius = B.ReadBD();   // BD radius
        Thickness = B.ReadBT();             // BT thickness
        Extrusion = B.ReadBE();             // BE extrusion
        if (T == 0x11) {
          auto A = std::make_unique<TqdDXFArc>();
          A->SetStartAngle(B.ReadBD() * cnstRadToDeg); // BD start angle
          A->SetEndAngle(B.ReadBD() * cnstRadToDeg);   // BD end angle
          Ent = std::move(A);
        } else {
          Ent = std::make_unique<TqdDXFCircle>();
        }
        auto* Circle = static_cast<TqdDXFCircle*>(Ent.get());
        Circle->SetPoint(Center);
        Circle->SetRadius(Radius);
      } else {
        TFPoint P;
        P.X = B.ReadBD();       // BD x
        P.Y = B.ReadBD();       // BD y
        P.Z = B.ReadBD();       // BD z
        Thickness = B.ReadBT(); // BT thickness
        Extrusion = B.ReadBE(); // BE extrusion
        (void)B.ReadBD();       // BD x-axis angle
        auto Pt = std::make_unique<TqdDXFPoint>();
        Pt->SetPoint(P);
        Ent = std::move(Pt);
      }
      if (!B.Ok()) {
        Fail(O.Handle, Name);
        continue;
      }
      if (auto* PE = dynamic_cast<TqdDXFPenLine*>(Ent.get())) {
        PE->SetZThick(Thickness);
        PE->SetExtrusion(Extrusion);
      }
      Ent->SetHandle(O.Handle);
      Ent->SetColorCAD(O.Color);
      Ent->SetLineTypeScale(O.LTScale);
      Ent->SetVisibility(!O.Invisible);
      if (O.LineWeight != -1) Ent->SetLineWeight(O.LineWeight);
      auto It = Layers.find(O.Layer);
      if (It != Layers.end()) Ent->SetLayer(It->second);
      // Owners other than the two spaces are blocks, decoded with the block records.
      TqdDXFBlock* Space = nullptr;
      if (O.EntMode == 2 || (O.EntMode == 0 && O.Owner && O.Owner == FModelSpaceRecord))
        Space = FModelSpace;
      if (O.EntMode == 1 || (O.EntMode == 0 && O.Owner && O.Owner == FPaperSpaceRecord))
        Space = FPaperSpace;
      if (!Space) continue;
      Ent->SetPaperSpace(Space == FPaperSpace);
      if (SafeAdd(Space, Ent)) FDecoded.insert(FObjMap[I].Handle);
    } catch (const std::exception&) {
      // The database refused what the object gave: this object alone fails.
      Fail(FObjMap[I].Handle, DWGObjectType(T).Name);
    }
  }
  if (Failed)
    Warn("DWG objects not read: " + std::to_string(Failed) + " (the first: " + FirstError + " " +
         DeferredObjectErrorMessage("EdwgError", FirstHandle) + ")");
}
