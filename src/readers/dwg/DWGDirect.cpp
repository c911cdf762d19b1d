// Lines, points, circles and arcs as values (see DWGDirect.h). Each function reads
// the fields of its decoder in DWGEntities.cpp in the same order, and keeps each
// value as the groups would have carried it: numbers that are not finite become 0,
// thickness and extrusion count only where the decoder writes them.
#include "DWGDirect.h"

#include <atomic>
#include <cmath>

#include "DWGObjects.h"

namespace {

std::atomic<bool> DirectOn{true};

double Fin(double V) { return std::isfinite(V) ? V : 0; }
TFPoint Fin(const TFPoint& P) { return {Fin(P.X), Fin(P.Y), Fin(P.Z)}; }

void ThickExtr(TdwgObj& O, TdxfDirectEntity& E) {
  const double T = O.D.ReadBT();   // BT thickness
  const TFPoint X = O.D.ReadBE();  // BE extrusion
  if (T != 0) E.Thick = Fin(T);
  if (X.X != 0 || X.Y != 0 || X.Z != 1) E.Extr = Fin(X);
}

}  // namespace

const std::string* TdwgNamePool::Get(std::string_view AName) {
  // Most entities name the layer and linetype the one before them named.
  for (const std::string* L : FLast)
    if (L && *L == AName) return L;
  const std::string Key(AName);
  auto It = FNames.find(Key);
  if (It == FNames.end()) It = FNames.insert(Key).first;
  FLast[FNext] = &*It;
  FNext = (FNext + 1) % 2;
  return &*It;
}

void SetDWGDirectEntities(bool AOn) { DirectOn = AOn; }
bool DWGDirectEntities() { return DirectOn; }

bool DWGDirectKind(int AType, TdxfDirectKind& AKind) {
  switch (AType) {
    case 17: AKind = ddArc; return true;
    case 18: AKind = ddCircle; return true;
    case 19: AKind = ddLine; return true;
    case 27: AKind = ddPoint; return true;
    default: return false;
  }
}

bool DWGDirectPlainName(std::string_view S) {
  for (char C : S)
    if (static_cast<unsigned char>(C) >= 0x80 || C == '\\' || C == '\0') return false;
  return true;
}

void DWGDecodeDirect(TdwgObj& O, TdxfDirectEntity& E) {
  TdwgBitCursor& D = O.D;
  switch (E.Kind) {
    case ddLine: {
      TFPoint P1, P2;
      DWGReadLinePoints(O, P1, P2);
      E.P0 = Fin(P1);
      E.P1 = Fin(P2);
      ThickExtr(O, E);
      return;
    }
    case ddCircle:
    case ddArc:
      E.P0 = Fin(D.Read3BD());  // 3BD centre
      E.F40 = Fin(D.ReadBD());  // BD radius
      E.HasF40 = true;
      ThickExtr(O, E);
      if (E.Kind == ddArc) {
        E.F50 = Fin(DWGDeg(D.ReadBD()));  // BD start angle
        E.F51 = Fin(DWGDeg(D.ReadBD()));  // BD end angle
        E.HasF50 = E.HasF51 = true;
      }
      return;
    case ddPoint: {
      TFPoint P;
      P.X = D.ReadBD();  // BD x
      P.Y = D.ReadBD();  // BD y
      P.Z = D.ReadBD();  // BD z
      E.P0 = Fin(P);
      ThickExtr(O, E);
      (void)D.ReadBD();  // BD x-axis angle: the reader keeps no angle for points
      return;
    }
  }
}
