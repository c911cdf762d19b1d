#include "qdProxyGraphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "Blocks.h"
#include "Curves.h"
#include "DXFConv.h"
#include "Entities.h"
#include "Hatches.h"
#include "Polylines.h"
#include "TableItems.h"
#include "Texts.h"
#include "qdFunction.h"

namespace {

constexpr double cPi = 3.14159265358979323846;

// A bounded little-endian cursor over one command's data.
class TCursor {
public:
  TCursor(const std::uint8_t* P, std::size_t N) : FP(P), FN(N) {}
  std::size_t Left() const { return FN - FPos; }
  std::size_t Pos() const { return FPos; }
  bool Ok() const { return FOk; }
  std::uint32_t U32() {
    if (!Need(4)) return 0;
    std::uint32_t V = 0;
    for (int I = 3; I >= 0; --I) V = (V << 8) | FP[FPos + I];
    FPos += 4;
    return V;
  }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  double F64() {
    if (!Need(8)) return 0;
    std::uint64_t B = 0;
    for (int I = 7; I >= 0; --I) B = (B << 8) | FP[FPos + I];
    FPos += 8;
    double V;
    std::memcpy(&V, &B, 8);
    if (!std::isfinite(V)) FFinite = false;
    return std::isfinite(V) ? V : 0;
  }
  TFPoint Point() {
    TFPoint P;
    P.X = F64();
    P.Y = F64();
    P.Z = F64();
    return P;
  }
  // A string up to its NUL, then padding to a multiple of 4 bytes of the command.
  std::string Str() {
    std::string S;
    while (FPos < FN && FP[FPos] != 0) {
      if (S.size() < TqdProxyGraphics::cnstMaxText) S += static_cast<char>(FP[FPos]);
      ++FPos;
    }
    if (FPos >= FN) {
      FOk = false;
      return S;
    }
    ++FPos;
    Align();
    return Latin1OrUTF8(S);
  }
  // UTF-16LE up to its NUL unit, then padding.
  std::string WStr() {
    std::u16string W;
    while (FPos + 1 < FN) {
      const char16_t C = static_cast<char16_t>(FP[FPos] | (FP[FPos + 1] << 8));
      FPos += 2;
      if (C == 0) {
        Align();
        return UTF16ToUTF8(W);
      }
      if (W.size() < TqdProxyGraphics::cnstMaxText) W += C;
    }
    FOk = false;
    FPos = FN;
    return UTF16ToUTF8(W);
  }
  bool Finite() const { return FFinite; }
  void ResetFinite() { FFinite = true; }

private:
  bool Need(std::size_t K) {
    if (FN - FPos < K) {
      FOk = false;
      FPos = FN;
      return false;
    }
    return true;
  }
  void Align() { FPos = std::min(FN, (FPos + 3) & ~std::size_t(3)); }
  static std::string Latin1OrUTF8(const std::string& S) {
    bool Ascii = true;
    for (unsigned char C : S)
      if (C >= 0x80) Ascii = false;
    if (Ascii || ValidUTF8(S)) return S;
    std::string R;
    for (unsigned char C : S) {
      if (C < 0x80) {
        R += static_cast<char>(C);
      } else {
        R += static_cast<char>(0xC0 | (C >> 6));
        R += static_cast<char>(0x80 | (C & 0x3F));
      }
    }
    return R;
  }
  static bool ValidUTF8(const std::string& S) {
    for (std::size_t I = 0; I < S.size();) {
      const unsigned char C = static_cast<unsigned char>(S[I]);
      int N = C < 0x80 ? 0 : (C >> 5) == 6 ? 1 : (C >> 4) == 14 ? 2 : (C >> 3) == 30 ? 3 : -1;
      if (N < 0 || I + N >= S.size() + (N == 0 ? 1 : 0)) return N == 0;
      for (int K = 1; K <= N; ++K)
        if (I + K >= S.size() || (static_cast<unsigned char>(S[I + K]) >> 6) != 2) return false;
      I += N + 1;
    }
    return true;
  }
  static void PutUTF8(std::string& R, char32_t C) {
    if (C < 0x80) {
      R += static_cast<char>(C);
    } else if (C < 0x800) {
      R += static_cast<char>(0xC0 | (C >> 6));
      R += static_cast<char>(0x80 | (C & 0x3F));
    } else if (C < 0x10000) {
      R += static_cast<char>(0xE0 | (C >> 12));
      R += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      R += static_cast<char>(0x80 | (C & 0x3F));
    } else {
      R += static_cast<char>(0xF0 | (C >> 18));
      R += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
      R += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      R += static_cast<char>(0x80 | (C & 0x3F));
    }
  }
  static std::string UTF16ToUTF8(const std::u16string& W) {
    std::string R;
    for (std::size_t I = 0; I < W.size(); ++I) {
      char32_t C = W[I];
      if (C >= 0xD800 && C < 0xDC00 && I + 1 < W.size() && W[I + 1] >= 0xDC00 && W[I + 1] < 0xE000) {
        C = 0x10000 + ((C - 0xD800) << 10) + (W[I + 1] - 0xDC00);
        ++I;
      } else if (C >= 0xD800 && C < 0xE000) {
        C = 0xFFFD;
      }
      PutUTF8(R, C);
    }
    return R;
  }

  const std::uint8_t* FP;
  std::size_t FN;
  std::size_t FPos = 0;
  bool FOk = true;
  bool FFinite = true;
};

// Column-vector 4x4 as the stream stores it, row by row: x' = m0 x + m1 y + m2 z + m3.
struct TMat {
  double M[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  TFPoint Apply(const TFPoint& P) const {
    return {M[0] * P.X + M[1] * P.Y + M[2] * P.Z + M[3], M[4] * P.X + M[5] * P.Y + M[6] * P.Z + M[7],
            M[8] * P.X + M[9] * P.Y + M[10] * P.Z + M[11]};
  }
  TFPoint ApplyVector(const TFPoint& P) const {
    return {M[0] * P.X + M[1] * P.Y + M[2] * P.Z, M[4] * P.X + M[5] * P.Y + M[6] * P.Z,
            M[8] * P.X + M[9] * P.Y + M[10] * P.Z};
  }
  // this * B (B applies first).
  TMat Times(const TMat& B) const {
    TMat R;
    for (int I = 0; I < 4; ++I)
      for (int J = 0; J < 4; ++J) {
        double S = 0;
        for (int K = 0; K < 4; ++K) S += M[I * 4 + K] * B.M[K * 4 + J];
        R.M[I * 4 + J] = S;
      }
    return R;
  }
  bool Finite() const {
    for (double V : M)
      if (!std::isfinite(V)) return false;
    return true;
  }
};


// The DWG bit coding some commands embed (lightweight polylines): bits from the high
// end of each byte, every read bounded by the command's bytes.
class TBits {
public:
  TBits(const std::uint8_t* P, std::size_t N) : FP(P), FBits(N > (std::numeric_limits<std::size_t>::max() >> 3) ? 0 : N * 8) {}
  bool Ok() const { return FOk; }
  std::size_t LeftBits() const { return FBits - FPos; }
  std::uint64_t Raw(int N) {
    if (static_cast<std::size_t>(N) > LeftBits()) {
      FOk = false;
      FPos = FBits;
      return 0;
    }
    std::uint64_t V = 0;
    for (int I = 0; I < N; ++I, ++FPos) V = (V << 1) | ((FP[FPos >> 3] >> (7 - (FPos & 7))) & 1);
    return V;
  }
  // N little-endian bytes.
  std::uint64_t Bytes(int N) {
    std::uint64_t V = 0;
    for (int I = 0; I < N; ++I) V |= Raw(8) << (8 * I);
    return V;
  }
  static double AsDouble(std::uint64_t B) {
    double D;
    std::memcpy(&D, &B, 8);
    return D;
  }
  double RD() { return AsDouble(Bytes(8)); }
  int BS() {
    switch (Raw(2)) {
      case 0: return static_cast<std::int16_t>(Bytes(2));
      case 1: return static_cast<int>(Bytes(1));
      case 2: return 0;
      default: return 256;
    }
  }
  std::int64_t BL() {
    switch (Raw(2)) {
      case 0: return static_cast<std::int32_t>(Bytes(4));
      case 1: return static_cast<std::int64_t>(Bytes(1));
      case 2: return 0;
      default: FOk = false; return 0;
    }
  }
  double BD() {
    switch (Raw(2)) {
      case 0: return RD();
      case 1: return 1.0;
      case 2: return 0.0;
      default: FOk = false; return 0;
    }
  }
  // A double coded against a default (the previous vertex).
  double DD(double Default) {
    std::uint64_t B;
    std::memcpy(&B, &Default, 8);
    switch (Raw(2)) {
      case 0: return Default;
      case 1: B = (B & ~std::uint64_t(0xFFFFFFFF)) | Bytes(4); return AsDouble(B);
      case 2: {
        const std::uint64_t Hi = Bytes(2), Lo = Bytes(4);
        B = (B & ~std::uint64_t(0xFFFFFFFFFFFF)) | (Hi << 32) | Lo;
        return AsDouble(B);
      }
      default: return RD();
    }
  }

private:
  const std::uint8_t* FP;
  std::size_t FBits;
  std::size_t FPos = 0;
  bool FOk = true;
};

double Length(const TFPoint& P) { return std::sqrt(P.X * P.X + P.Y * P.Y + P.Z * P.Z); }

TFPoint UnitOr(const TFPoint& P, const TFPoint& Default) {
  const double L = Length(P);
  if (!(L > 1e-12) || !std::isfinite(L)) return Default;
  return {P.X / L, P.Y / L, P.Z / L};
}

class TDecoder {
public:
  explicit TDecoder(TqdProxyGraphicsResult& R) : FR(R) { FStack.push_back(TMat{}); }

  void Run(const std::uint8_t* AData, std::size_t ASize) {
    if (ASize < 8) {
      Stop("stream shorter than its header", 0, true);
      return;
    }
    TCursor H(AData, ASize);
    std::size_t Total = H.U32();
    const std::uint32_t Count = H.U32();
    // The size word bounds the stream; a larger one than the data is cut to the data.
    if (Total < 8 || Total > ASize) {
      if (Total > ASize) FR.Truncated = true;
      Total = ASize;
    }
    std::size_t Pos = 8;
    std::uint32_t Done = 0;
    while (Pos + 8 <= Total && Done < Count) {
      TCursor C(AData + Pos, Total - Pos);
      const std::uint32_t Size = C.U32();
      const std::uint32_t Type = C.U32();
      if (Size < 8 || Size > Total - Pos) {
        Stop("command size " + std::to_string(Size) + " out of range", Pos, true);
        return;
      }
      ++Done;
      ++FR.Commands;
      if (!Command(Type, AData + Pos + 8, Size - 8, Pos)) return;
      Pos += Size;
    }
    if (Done < Count && Pos < Total) Stop("stream ends inside a command", Pos, true);
  }

private:
  void Stop(const std::string& Why, std::size_t Pos, bool Truncated) {
    if (FR.Error.empty()) FR.Error = Why + " at byte " + std::to_string(Pos);
    if (Truncated) FR.Truncated = true;
  }

  const TMat& Top() const { return FStack.back(); }

  // False stops the decoding (a cap was reached).
  bool Command(std::uint32_t Type, const std::uint8_t* D, std::size_t N, std::size_t Pos) {
    TCursor C(D, N);
    switch (Type) {
      case pgcExtents: {
        const TFPoint A = C.Point(), B = C.Point();
        if (C.Ok() && C.Finite()) {
          FR.HasExtents = true;
          FR.Extents = cnstBadRect;
          UnionBoxPoint(FR.Extents, A);
          UnionBoxPoint(FR.Extents, B);
        }
        return true;
      }
      case pgcCircle: {
        TqdProxyPrimitive P = New(ppkCircle);
        P.Center = C.Point();
        P.Radius = C.F64();
        P.Normal = UnitOr(C.Point(), {0, 0, 1});
        if (!Valid(C, Pos) || !(P.Radius > 0)) return true;
        const TqdOCSAxes A = OCSAxes(P.Normal);
        Sweep(P, P.Center, A.Ax, A.Ay, P.Radius, P.Radius, 0, 2 * cPi);
        P.Closed = true;
        return Add(std::move(P));
      }
      case pgcCircle3P:
      case pgcCircularArc3P: {
        const TFPoint A = C.Point(), B = C.Point(), E = C.Point();
        if (!Valid(C, Pos)) return true;
        return ThreePoints(A, B, E, Type == pgcCircle3P);
      }
      case pgcCircularArc: {
        TqdProxyPrimitive P = New(ppkArc);
        P.Center = C.Point();
        P.Radius = C.F64();
        P.Normal = UnitOr(C.Point(), {0, 0, 1});
        const TFPoint Start = C.Point();
        const double SweepAngle = C.F64();
        if (!Valid(C, Pos) || !(P.Radius > 0)) return true;
        const TFPoint U = UnitOr(Start, OCSAxes(P.Normal).Ax);
        const TFPoint V = UnitOr(CrossFPoint(P.Normal, U), OCSAxes(P.Normal).Ay);
        Sweep(P, P.Center, U, V, P.Radius, P.Radius, 0, std::clamp(SweepAngle, -2 * cPi, 2 * cPi));
        return Add(std::move(P));
      }
      case pgcEllipticArc: {
        TqdProxyPrimitive P = New(ppkEllipse);
        P.Center = C.Point();
        P.Normal = UnitOr(C.Point(), {0, 0, 1});
        const double Major = C.F64(), Minor = C.F64();
        double S = C.F64(), E = C.F64();
        const double Angle = C.F64();
        if (!Valid(C, Pos) || !(Major > 0) || !(std::fabs(Minor) > 0)) return true;
        const TqdOCSAxes A = OCSAxes(P.Normal);
        const TFPoint U = AddFPoint(ScaleFPoint(A.Ax, std::cos(Angle)), ScaleFPoint(A.Ay, std::sin(Angle)));
        const TFPoint V = CrossFPoint(P.Normal, U);
        P.Radius = Major;
        if (std::fabs(E - S) < 1e-12) E = S + 2 * cPi;
        if (E < S) E += 2 * cPi * std::ceil((S - E) / (2 * cPi));
        if (E - S > 2 * cPi) E = S + 2 * cPi;
        Sweep(P, P.Center, U, V, Major, std::fabs(Minor), S, E - S);
        P.Closed = std::fabs(E - S - 2 * cPi) < 1e-9;
        return Add(std::move(P));
      }
      case pgcPolyline:
      case pgcPolygon:
      case pgcPolylineWithNormals: {
        const std::uint32_t Count = C.U32();
        // Each vertex takes 24 bytes: the count cannot promise more than is left.
        const std::size_t Extra = Type == pgcPolylineWithNormals ? 1 : 0;
        if (!C.Ok() || Count > C.Left() / 24 || Count + Extra > C.Left() / 24) {
          Stop("vertex count " + std::to_string(Count) + " beyond the command", Pos, true);
          return true;
        }
        TqdProxyPrimitive P = New(Type == pgcPolygon ? ppkPolygon : ppkPolyline);
        if (!Room(Count)) return false;
        P.Points.reserve(Count);
        for (std::uint32_t I = 0; I < Count; ++I) {
          C.ResetFinite();
          const TFPoint Q = C.Point();
          if (C.Finite()) P.Points.push_back(Top().Apply(Q));
        }
        if (Type == pgcPolygon) {
          P.Closed = true;
          P.Filled = FAttr.Fill;
        }
        if (P.Points.empty()) return true;
        return Add(std::move(P));
      }
      case pgcMesh: return Mesh(C, Pos);
      case pgcLWPolyline: return LWPolyline(D, N, Pos);
      case pgcShell: return Shell(C, Pos);
      case pgcText:
      case pgcUnicodeText: {
        TqdProxyPrimitive P = New(ppkText);
        P.Center = C.Point();
        P.Normal = UnitOr(C.Point(), {0, 0, 1});
        P.Direction = C.Point();
        P.Height = C.F64();
        P.WidthFactor = C.F64();
        P.Oblique = C.F64();
        P.Text = Type == pgcText ? C.Str() : C.WStr();
        return Text(std::move(P), C, Pos);
      }
      case pgcText2:
      case pgcUnicodeText2: {
        TqdProxyPrimitive P = New(ppkText);
        const bool Wide = Type == pgcUnicodeText2;
        P.Center = C.Point();
        P.Normal = UnitOr(C.Point(), {0, 0, 1});
        P.Direction = C.Point();
        P.Text = Wide ? C.WStr() : C.Str();
        C.I32();  // ignore length of string
        C.I32();  // raw
        P.Height = C.F64();
        P.WidthFactor = C.F64();
        P.Oblique = C.F64();
        C.F64();  // tracking
        P.Backward = C.U32() != 0;
        P.UpsideDown = C.U32() != 0;
        // Vertical, underlined, overlined and the fonts are not needed for the outline.
        return Text(std::move(P), C, Pos);
      }
      case pgcXLine:
      case pgcRay: {
        const TFPoint A = C.Point(), B = C.Point();
        if (!Valid(C, Pos)) return true;
        TqdProxyPrimitive P = New(ppkLine);
        P.Points = {Top().Apply(A), Top().Apply(B)};
        return Add(std::move(P));
      }
      case pgcColor: {
        const std::uint32_t V = C.U32();
        if (C.Ok()) FAttr.Color = TqdColorCAD::Index(V <= 256 ? static_cast<int>(V) : clByLayer);
        return true;
      }
      case pgcTrueColor: {
        const std::uint32_t V = C.U32();
        if (C.Ok()) FAttr.Color = qdRawColorToCAD(V);
        return true;
      }
      case pgcLayer: {
        const std::uint32_t V = C.U32();
        if (C.Ok()) FAttr.LayerIndex = V < 0x7FFFFFFF ? static_cast<int>(V) : -1;
        return true;
      }
      case pgcLineType: {
        const std::uint32_t V = C.U32();
        if (C.Ok()) FAttr.LineTypeIndex = V < 32766 ? static_cast<int>(V) : -1;
        return true;
      }
      case pgcFill: {
        const std::uint32_t V = C.U32();
        if (C.Ok()) FAttr.Fill = V != 0;
        return true;
      }
      case pgcLineWeight: {
        const std::int32_t V = C.I32();
        if (C.Ok()) {
          if (V >= 0 && V <= 211) FAttr.LineWeight = V / 100.0;
          else if (V == -2) FAttr.LineWeight = cnstLWByBlock;
          else if (V == -3) FAttr.LineWeight = cnstLWDefault;
          else FAttr.LineWeight = cnstLWByLayer;
        }
        return true;
      }
      case pgcLineTypeScale: {
        const double V = C.F64();
        if (C.Ok() && C.Finite() && V > 0) FAttr.LineTypeScale = V;
        return true;
      }
      case pgcThickness: {
        const double V = C.F64();
        if (C.Ok() && C.Finite()) FAttr.Thickness = V;
        return true;
      }
      case pgcPushMatrix:
      case pgcPushMatrix2: {
        TMat M;
        for (double& V : M.M) V = C.F64();
        if (!C.Ok()) {
          Stop("matrix shorter than 16 values", Pos, true);
          return true;
        }
        if (static_cast<int>(FStack.size()) > cnstMaxDepth()) {
          Stop("matrix stack deeper than " + std::to_string(cnstMaxDepth()), Pos, false);
          ++FRefusedPushes;
          return true;
        }
        TMat T = Top().Times(M);
        // A matrix with non-finite values is not applied; its pop still pairs with it.
        if (!C.Finite() || !T.Finite()) T = Top();
        FStack.push_back(T);
        return true;
      }
      case pgcPopMatrix:
        if (FRefusedPushes > 0) --FRefusedPushes;
        else if (FStack.size() > 1) FStack.pop_back();
        return true;
      default:
        ++FR.Unsupported;
        return true;
    }
  }

  static int cnstMaxDepth() { return TqdProxyGraphics::cnstMaxMatrixDepth; }

  TqdProxyPrimitive New(TqdProxyPrimitiveKind K) const {
    TqdProxyPrimitive P;
    P.Kind = K;
    P.Attr = FAttr;
    return P;
  }

  bool Valid(TCursor& C, std::size_t Pos) {
    if (!C.Ok()) {
      Stop("command data shorter than its type needs", Pos, true);
      return false;
    }
    return C.Finite();
  }

  bool Room(std::size_t Points) {
    if (FR.Primitives.size() >= TqdProxyGraphics::cnstMaxPrimitives ||
        Points > TqdProxyGraphics::cnstMaxPoints - FPoints) {
      Stop("graphics larger than the limits", 0, true);
      return false;
    }
    return true;
  }

  bool Add(TqdProxyPrimitive&& P) {
    if (!Room(P.Points.size())) return false;
    FPoints += P.Points.size();
    FR.Primitives.push_back(std::move(P));
    return true;
  }

  // Points of Center + cos(t) RX U + sin(t) RY V, t from S over Sweep, matrix applied.
  void Sweep(TqdProxyPrimitive& P, const TFPoint& Center, const TFPoint& U, const TFPoint& V, double RX, double RY,
             double S, double SweepAngle) {
    const int Segs = std::max(4, static_cast<int>(std::ceil(std::fabs(SweepAngle) / (2 * cPi) *
                                                            TqdProxyGraphics::cnstCircleSegments)));
    P.Points.reserve(static_cast<std::size_t>(Segs) + 1);
    for (int I = 0; I <= Segs; ++I) {
      const double T = S + SweepAngle * I / Segs;
      const TFPoint Q = AddFPoint(Center, AddFPoint(ScaleFPoint(U, RX * std::cos(T)), ScaleFPoint(V, RY * std::sin(T))));
      P.Points.push_back(Top().Apply(Q));
    }
  }

  bool ThreePoints(const TFPoint& A, const TFPoint& B, const TFPoint& E, bool Full) {
    const TFPoint U1 = SubFPoint(A, E), U2 = SubFPoint(B, E);
    const TFPoint N = CrossFPoint(U1, U2);
    const double NN = DotFPoint(N, N);
    TqdProxyPrimitive P = New(Full ? ppkCircle : ppkArc);
    if (!(NN > 1e-24)) {
      // Collinear: the arc is the segment.
      P.Kind = ppkPolyline;
      P.Points = {Top().Apply(A), Top().Apply(E)};
      return Add(std::move(P));
    }
    const TFPoint T = CrossFPoint(SubFPoint(ScaleFPoint(U2, DotFPoint(U1, U1)), ScaleFPoint(U1, DotFPoint(U2, U2))), N);
    const TFPoint Center = AddFPoint(E, ScaleFPoint(T, 0.5 / NN));
    const double R = Length(SubFPoint(A, Center));
    if (!std::isfinite(R) || !(R > 0)) return true;
    P.Center = Center;
    P.Radius = R;
    P.Normal = UnitOr(CrossFPoint(SubFPoint(B, A), SubFPoint(E, A)), {0, 0, 1});
    const TFPoint U = UnitOr(SubFPoint(A, Center), {1, 0, 0});
    const TFPoint V = CrossFPoint(P.Normal, U);
    double Sw = 2 * cPi;
    if (!Full) {
      const TFPoint D = SubFPoint(E, Center);
      Sw = std::atan2(DotFPoint(D, V), DotFPoint(D, U));
      if (Sw <= 0) Sw += 2 * cPi;
    }
    Sweep(P, Center, U, V, R, R, 0, Sw);
    P.Closed = Full;
    return Add(std::move(P));
  }

  bool Text(TqdProxyPrimitive&& P, TCursor& C, std::size_t Pos) {
    if (!Valid(C, Pos) || P.Text.empty() || !(P.Height > 0)) return true;
    P.Direction = UnitOr(Top().ApplyVector(P.Direction), {1, 0, 0});
    const TFPoint Up = Top().ApplyVector({0, P.Height, 0});
    const double H = Length(Up);
    if (std::isfinite(H) && H > 0) P.Height = H;
    P.Center = Top().Apply(P.Center);
    if (!(P.WidthFactor > 0)) P.WidthFactor = 1;
    P.Points = {P.Center};
    return Add(std::move(P));
  }


  bool LWPolyline(const std::uint8_t* D, std::size_t N, std::size_t Pos) {
    TCursor C(D, N);
    const std::uint32_t Bytes = C.U32();
    if (!C.Ok() || Bytes > C.Left()) {
      Stop("polyline data beyond the command", Pos, true);
      return true;
    }
    TBits B(D + 4, Bytes);
    const int Flag = B.BS();
    TFPoint Normal{0, 0, 1};
    double Elevation = 0;
    if (Flag & 4) B.BD();  // constant width
    if (Flag & 8) Elevation = B.BD();
    if (Flag & 2) B.BD();  // thickness
    if (Flag & 1) {
      Normal.X = B.BD();
      Normal.Y = B.BD();
      Normal.Z = B.BD();
    }
    const std::int64_t Count = B.BL();
    const std::int64_t Bulges = (Flag & 16) ? B.BL() : 0;
    const std::int64_t Ids = (Flag & 1024) ? B.BL() : 0;
    const std::int64_t Widths = (Flag & 32) ? B.BL() : 0;
    // Each vertex takes at least 4 bits, a bulge, an id or a width 2 bits.
    const auto Fits = [&](std::int64_t K, std::size_t BitsEach) {
      return K >= 0 && static_cast<std::uint64_t>(K) <= B.LeftBits() / BitsEach;
    };
    if (!B.Ok() || Count <= 0 || !Fits(Count, 4) || !Fits(Bulges, 2) || !Fits(Ids, 2) || !Fits(Widths, 4)) {
      if (!B.Ok() || Count < 0 || !Fits(Count, 4)) Stop("polyline counts beyond the command", Pos, true);
      return true;
    }
    if (!Room(static_cast<std::size_t>(Count))) return false;
    std::vector<TFPoint> V(static_cast<std::size_t>(Count));
    V[0].X = B.RD();
    V[0].Y = B.RD();
    for (std::size_t I = 1; I < V.size(); ++I) {
      V[I].X = B.DD(V[I - 1].X);
      V[I].Y = B.DD(V[I - 1].Y);
    }
    std::vector<double> Bu(static_cast<std::size_t>(Bulges));
    for (double& X : Bu) X = B.BD();
    if (!B.Ok()) {
      Stop("polyline data cut short", Pos, true);
      return true;
    }
    const bool Closed = (Flag & 512) != 0;
    const TqdOCSAxes Ax = OCSAxes(UnitOr(Normal, {0, 0, 1}));
    const auto ToWCS = [&](double X, double Y) {
      return AddFPoint(AddFPoint(ScaleFPoint(Ax.Ax, X), ScaleFPoint(Ax.Ay, Y)), ScaleFPoint(Ax.Az, Elevation));
    };
    TqdProxyPrimitive P = New(ppkPolyline);
    P.Closed = Closed;
    const std::size_t Segs = Closed ? V.size() : V.size() - 1;
    for (std::size_t I = 0; I < V.size(); ++I) {
      if (!std::isfinite(V[I].X) || !std::isfinite(V[I].Y)) continue;
      P.Points.push_back(Top().Apply(ToWCS(V[I].X, V[I].Y)));
      const double Bulge = I < Bu.size() ? Bu[I] : 0;
      if (I >= Segs || !std::isfinite(Bulge) || std::fabs(Bulge) < 1e-9) continue;
      // The arc of the segment: its included angle is four times the bulge's arctangent.
      const TFPoint A = V[I], E = V[(I + 1) % V.size()];
      const double Theta = 4 * std::atan(Bulge);
      const double Chord = std::hypot(E.X - A.X, E.Y - A.Y);
      if (!(Chord > 0) || !std::isfinite(Chord)) continue;
      const double R = Chord * (1 + Bulge * Bulge) / (4 * std::fabs(Bulge));
      // The centre lies off the chord's middle along its left normal, signed by the bulge.
      const double Off = Chord * (1 - Bulge * Bulge) / (4 * Bulge);
      const double DX = (E.X - A.X) / Chord, DY = (E.Y - A.Y) / Chord;
      const double CX = (A.X + E.X) / 2 - DY * Off, CY = (A.Y + E.Y) / 2 + DX * Off;
      const double S = std::atan2(A.Y - CY, A.X - CX);
      const int K = std::max(2, static_cast<int>(std::ceil(std::fabs(Theta) / (2 * cPi) * TqdProxyGraphics::cnstCircleSegments)));
      if (!Room(P.Points.size() + static_cast<std::size_t>(K))) return false;
      for (int J = 1; J < K; ++J) {
        const double T = S + Theta * J / K;
        P.Points.push_back(Top().Apply(ToWCS(CX + R * std::cos(T), CY + R * std::sin(T))));
      }
    }
    if (Closed && !P.Points.empty()) P.Points.push_back(P.Points.front());
    if (P.Points.size() < 2) return true;
    return Add(std::move(P));
  }

  bool Mesh(TCursor& C, std::size_t Pos) {
    const std::uint32_t Rows = C.U32(), Cols = C.U32();
    if (!C.Ok() || Rows == 0 || Cols == 0 || Rows > C.Left() / 24 || Cols > C.Left() / 24 / Rows) {
      Stop("mesh size beyond the command", Pos, true);
      return true;
    }
    std::vector<TFPoint> V(static_cast<std::size_t>(Rows) * Cols);
    for (TFPoint& Q : V) Q = Top().Apply(C.Point());
    if (!C.Finite()) return true;
    for (std::uint32_t R = 0; R < Rows; ++R) {
      TqdProxyPrimitive P = New(ppkPolyline);
      P.Points.assign(V.begin() + R * Cols, V.begin() + (R + 1) * Cols);
      if (P.Points.size() > 1 && !Add(std::move(P))) return false;
    }
    for (std::uint32_t K = 0; K < Cols && Rows > 1; ++K) {
      TqdProxyPrimitive P = New(ppkPolyline);
      for (std::uint32_t R = 0; R < Rows; ++R) P.Points.push_back(V[R * Cols + K]);
      if (!Add(std::move(P))) return false;
    }
    return true;
  }

  bool Shell(TCursor& C, std::size_t Pos) {
    const std::uint32_t NV = C.U32();
    if (!C.Ok() || NV > C.Left() / 24) {
      Stop("shell vertex count beyond the command", Pos, true);
      return true;
    }
    std::vector<TFPoint> V(NV);
    for (TFPoint& Q : V) Q = Top().Apply(C.Point());
    if (!C.Finite()) return true;
    const std::uint32_t NE = C.U32();
    if (!C.Ok() || NE > C.Left() / 4) {
      Stop("shell face list beyond the command", Pos, true);
      return true;
    }
    std::uint32_t Read = 0;
    while (Read < NE) {
      const std::int32_t Raw = C.I32();
      const std::uint32_t K = Raw < 0 ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(Raw)) : static_cast<std::uint32_t>(Raw);
      ++Read;
      if (!C.Ok() || K > NE - Read) {
        Stop("shell face beyond the face list", Pos, true);
        return true;
      }
      TqdProxyPrimitive P = New(ppkPolyline);
      P.Closed = true;
      for (std::uint32_t I = 0; I < K; ++I) {
        const std::uint32_t Idx = C.U32();
        if (Idx < V.size()) P.Points.push_back(V[Idx]);
      }
      Read += K;
      if (P.Points.size() > 1) {
        P.Points.push_back(P.Points.front());
        if (!Add(std::move(P))) return false;
      }
    }
    // Edge, face and vertex traits follow; colours per face are not applied.
    return true;
  }

  TqdProxyGraphicsResult& FR;
  TqdProxyAttributes FAttr;
  std::vector<TMat> FStack;
  int FRefusedPushes = 0;
  std::size_t FPoints = 0;
};

}  // namespace

TqdProxyGraphicsResult TqdProxyGraphics::Decode(const std::uint8_t* AData, std::size_t ASize) {
  TqdProxyGraphicsResult R;
  if (!AData) ASize = 0;
  TDecoder D(R);
  D.Run(AData, ASize);
  return R;
}

std::string qdHexToBytes(std::string_view AHex) {
  std::string R;
  R.reserve(AHex.size() / 2);
  int Hi = -1;
  for (char Ch : AHex) {
    int V;
    if (Ch >= '0' && Ch <= '9') V = Ch - '0';
    else if (Ch >= 'A' && Ch <= 'F') V = Ch - 'A' + 10;
    else if (Ch >= 'a' && Ch <= 'f') V = Ch - 'a' + 10;
    else if (Ch == ' ' || Ch == '\t' || Ch == '\r' || Ch == '\n') continue;
    else break;
    if (Hi < 0) {
      Hi = V;
    } else {
      R += static_cast<char>((Hi << 4) | V);
      Hi = -1;
    }
  }
  return R;
}

TqdColorCAD qdRawColorToCAD(std::uint32_t ARaw) {
  switch (ARaw >> 24) {
    case 0xC0: return TqdColorCAD::Index(clByLayer);
    case 0xC2: return TqdColorCAD::RGB(MakeRGB((ARaw >> 16) & 0xFF, (ARaw >> 8) & 0xFF, ARaw & 0xFF));
    case 0xC3: {
      const int I = static_cast<int>(ARaw & 0xFF);
      return TqdColorCAD::Index(I == 0 ? clByBlock : I);
    }
    default: return TqdColorCAD::Index(clByBlock);
  }
}

// ---------------------------------------------------------------- building entities

namespace {

TqdDXFLayer* LayerByIndex(TqdDXFConverter* C, int Index) {
  if (!C || Index < 0) return nullptr;
  TqdDXFEntity* T = C->GetSection(csLayers);
  return T ? dynamic_cast<TqdDXFLayer*>(T->GetEntity(Index)) : nullptr;
}

void ApplyAttributes(TqdDXFEntity& E, const TqdProxyAttributes& A, TqdDXFConverter* C) {
  E.SetColorCAD(A.Color);
  E.SetLineWeight(A.LineWeight);
  if (A.LineTypeScale != 1) E.SetLineTypeScale(A.LineTypeScale);
  if (TqdDXFLayer* L = LayerByIndex(C, A.LayerIndex)) E.SetLayer(L);
}

}  // namespace

TqdCADGeneratedEntity::TqdCADGeneratedEntity() = default;
TqdCADGeneratedEntity::~TqdCADGeneratedEntity() = default;

TqdDXFEntity* TqdCADGeneratedEntity::InsertBlock() const { return FGeometry.get(); }

TFRect TqdCADGeneratedEntity::Box() const { return FGeometry ? FGeometry->Box() : cnstBadRect; }

TqdDXFEntity* TqdCADGeneratedEntity::AddGenerated(TqdDXFConverter* C, TqdDXFBlock& ABlock,
                                                  std::unique_ptr<TqdDXFEntity> E) {
  if (!E) return nullptr;
  TqdDXFEntity* Raw = E.get();
  if (ABlock.AddEntity(std::move(E)) < 0) return nullptr;
  if (C) {
    Raw->SetConverter(C);
    Raw->Loaded(C);
  }
  return Raw;
}

void TqdCADGeneratedEntity::Loaded(TqdDXFConverter* C) {
  TqdDXFPenLine::Loaded(C);
  FGeometry.reset();
  FFromProxy = false;
  auto B = std::make_unique<TqdDXFBlock>();
  B->SetOwner(this);
  bool Built = false;
  try {
    Built = BuildGeometry(C, *B) && B->Count() > 0;
  } catch (const EqdError&) {
    Built = false;
  }
  if (!Built) {
    B->Clear(true);
    if (!FProxyData.empty()) {
      const TqdProxyGraphicsResult G = TqdProxyGraphics::Decode(FProxyData);
      if (qdBuildProxyEntities(G, C, *B) > 0) {
        Built = true;
        FFromProxy = true;
      }
    }
  }
  if (!Built) return;
  B->Loaded(C);
  FGeometry = std::move(B);
}

void TqdCADGeneratedEntity::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFPenLine::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdCADGeneratedEntity*>(&Source)) FProxyData = S->FProxyData;
}

int qdBuildProxyEntities(const TqdProxyGraphicsResult& AGraphics, TqdDXFConverter* AConverter,
                         TqdDXFBlock& ATarget) {
  int N = 0;
  auto Put = [&](std::unique_ptr<TqdDXFEntity> E, const TqdProxyAttributes& A) {
    ApplyAttributes(*E, A, AConverter);
    TqdDXFEntity* Raw = E.get();
    if (ATarget.AddEntity(std::move(E)) < 0) return;
    if (AConverter) {
      Raw->SetConverter(AConverter);
      Raw->Loaded(AConverter);
    }
    ++N;
  };
  for (const TqdProxyPrimitive& P : AGraphics.Primitives) {
    if (P.Kind == ppkText) {
      auto T = std::make_unique<TqdDXFText>();
      T->SetPoint(P.Center);
      T->SetText(P.Text);
      T->SetHeight(P.Height);
      T->SetScale(P.WidthFactor);
      T->SetObliqueAngle(P.Oblique * 180 / cPi);
      T->SetRotation(std::atan2(P.Direction.Y, P.Direction.X) * 180 / cPi);
      T->SetGenerationFlags((P.Backward ? 2 : 0) | (P.UpsideDown ? 4 : 0));
      Put(std::move(T), P.Attr);
      continue;
    }
    if (P.Points.empty()) continue;
    if (P.Filled && P.Points.size() >= 3) {
      auto F = std::make_unique<TqdCADPolyPolygon>();
      F->AddLoop(P.Points);
      Put(std::move(F), P.Attr);
      continue;
    }
    if (P.Points.size() == 1 || (P.Points.size() == 2 && P.Points[0] == P.Points[1])) {
      auto Pt = std::make_unique<TqdDXFPoint>();
      Pt->SetPoint(P.Points[0]);
      Put(std::move(Pt), P.Attr);
      continue;
    }
    if (P.Points.size() == 2) {
      auto L = std::make_unique<TqdDXFLine>();
      L->SetLine(P.Points[0], P.Points[1]);
      Put(std::move(L), P.Attr);
      continue;
    }
    auto L = std::make_unique<TqdDXFPolyline>();
    L->SetFlags(TqdCADBasePolyline::cnst3DPolyline | (P.Closed ? TqdCADBasePolyline::cnstClosed : 0));
    L->ReserveVertices(static_cast<int>(P.Points.size()));
    for (const TFPoint& Q : P.Points) L->AddVertex(Q);
    Put(std::move(L), P.Attr);
  }
  return N;
}
