#include "DXFDump.h"

#include <charconv>
#include <unordered_set>

#include "DXFConv.h"
#include "Inserts.h"

namespace {

std::string Hex(std::uint64_t V) {
  char Buf[24];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, V, 16);
  std::string S(Buf, R.ptr);
  for (char& C : S)
    if (C >= 'a' && C <= 'f') C = static_cast<char>(C - 32);
  return S;
}

// Shortest text that reads back as the same double.
std::string Num(double V) {
  char Buf[32];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, V);
  return std::string(Buf, R.ptr);
}

std::string Point(const TFPoint& P) { return "(" + Num(P.X) + "," + Num(P.Y) + "," + Num(P.Z) + ")"; }

void DumpInto(std::string& Out, const TqdDXFEntity& E, int Depth,
              std::unordered_set<const TqdDXFEntity*>& Seen) {
  Out.append(static_cast<std::size_t>(Depth) * 2, ' ');
  Out += E.ClassName();
  const std::string Name = E.Name();
  if (!Name.empty()) Out += " \"" + Name + "\"";
  Out += " #" + Hex(E.Handle());
  if (E.Complex() || E.Count() > 0) Out += " (" + std::to_string(E.Count()) + ")";
  if (const auto* I = dynamic_cast<const TqdDXFInsert*>(&E)) {
    const TqdDXFBlock* B = I->Block();
    Out += " block=" + (B ? "\"" + B->Name() + "\"" : std::string("none")) + " at " + Point(I->Point()) +
           " scale " + Point(I->Scale()) + " angle " + Num(I->Angle());
    if (const auto* M = dynamic_cast<const TqdCADMInsert*>(I))
      Out += " grid " + std::to_string(M->NumRows()) + "x" + std::to_string(M->NumCols());
  } else if (const auto* V = dynamic_cast<const TqdDXFViewport*>(&E)) {
    Out += " centre " + Point(V->PSpaceCenter()) + " size " + Num(V->PSpaceWidth()) + "x" + Num(V->PSpaceHeight()) +
           " view " + Point(V->MSpaceCenter()) + " height " + Num(V->MSpaceHeight()) + " #" +
           std::to_string(V->OrdIndex()) + (V->IsOn() ? " on" : " off");
  }
  Out += '\n';
  // Records show their block's children, which BLOCKS lists already.
  if (dynamic_cast<const TqdDXFBlockRecords*>(&E) || dynamic_cast<const TqdDXFBlockRecord*>(&E)) {
    if (const auto* T = dynamic_cast<const TqdDXFBlockRecords*>(&E))
      for (int I = 0; I < T->Count(); ++I)
        if (const TqdDXFEntity* R = T->GetEntity(I)) {
          Out.append(static_cast<std::size_t>(Depth + 1) * 2, ' ');
          Out += std::string(R->ClassName()) + " \"" + R->Name() + "\" #" + Hex(R->Handle()) + '\n';
        }
    return;
  }
  if (Depth >= cnstMaxNestingDepth || !Seen.insert(&E).second) return;
  for (int I = 0; I < E.Count(); ++I)
    if (const TqdDXFEntity* C = E.GetEntity(I)) DumpInto(Out, *C, Depth + 1, Seen);
}

}  // namespace

std::string DumpEntity(const TqdDXFEntity& AEntity, int ADepth) {
  std::string Out;
  std::unordered_set<const TqdDXFEntity*> Seen;
  DumpInto(Out, AEntity, ADepth, Seen);
  return Out;
}

std::string DumpConverter(TqdDXFConverter& C) {
  std::string Out;
  if (C.Main()) Out += DumpEntity(*C.Main());
  Out += "LAYOUTS " + std::to_string(C.LayoutsCount()) + '\n';
  for (int I = 0; I < C.LayoutsCount(); ++I) {
    const TqdDXFLayout* L = C.GetLayout(I);
    if (!L) continue;
    const TqdDXFBlock* B = L->PaperSpaceBlockField();
    Out += "  " + std::to_string(I) + " \"" + L->Name() + "\" block=" + (B ? "\"" + B->Name() + "\"" : "none") +
           " entities=" + std::to_string(L->Count()) + '\n';
  }
  Out += "MAXHANDLE " + Hex(C.FMaxHandle) + '\n';
  return Out;
}
