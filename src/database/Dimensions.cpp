#include "Dimensions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "DXFConv.h"
#include "Faces.h"
#include "TableItems.h"

namespace {

constexpr double cPi = 3.14159265358979323846;
constexpr double cDeg = 180.0 / cPi;

TFPoint Add(const TFPoint& A, const TFPoint& B) { return {A.X + B.X, A.Y + B.Y, A.Z + B.Z}; }
TFPoint Sub(const TFPoint& A, const TFPoint& B) { return {A.X - B.X, A.Y - B.Y, A.Z - B.Z}; }
TFPoint Mul(const TFPoint& A, double K) { return {A.X * K, A.Y * K, A.Z * K}; }
double Dot2(const TFPoint& A, const TFPoint& B) { return A.X * B.X + A.Y * B.Y; }
double Len2(const TFPoint& A) { return std::hypot(A.X, A.Y); }
double Dist2(const TFPoint& A, const TFPoint& B) { return Len2(Sub(A, B)); }
TFPoint Flat(const TFPoint& A) { return {A.X, A.Y, 0}; }
// The unit vector of V in XY, or zero.
TFPoint Unit2(const TFPoint& V) {
  const double L = Len2(V);
  if (!(L > 1e-12) || !std::isfinite(L)) return {0, 0, 0};
  return {V.X / L, V.Y / L, 0};
}
bool IsZero2(const TFPoint& V) { return V.X == 0 && V.Y == 0; }
TFPoint Normal2(const TFPoint& V) { return {-V.Y, V.X, 0}; }

// Adds a new entity of class T to B with the drawing's defaults; null when refused.
template <class T> T* NewChild(TqdDXFConverter* C, TqdDXFBlock* B) {
  auto E = std::make_unique<T>();
  T* Raw = E.get();
  C->DoCreate(Raw);
  Raw->SetConverter(C);
  Raw->SetLayer(C->LayerByName("0"));
  Raw->SetColorCAD(TqdColorCAD::Index(clByBlock));
  if (B->AddEntity(std::move(E)) < 0) return nullptr;
  return Raw;
}

// A text's drawn height and width at rotation 0 (its box).
void MeasureText(TqdDXFConverter* C, TqdDXFText& T, double& W, double& H) {
  const double Rot = T.Rotation();
  T.SetRotation(0);
  T.Loaded(C);
  const TFRect B = T.Box();
  W = IsFiniteBox(B) ? std::fabs(B.Right - B.Left) : 0;
  H = IsFiniteBox(B) ? std::fabs(B.Top - B.Bottom) : 0;
  T.SetRotation(Rot);
}

// Clips the infinite line through P along unit D with the rectangle centred on M, half
// sizes HW, HH, turned by Ang (radians). Returns the parameters of the two crossings.
bool ClipLineWithBox(const TFPoint& P, const TFPoint& D, const TFPoint& M, double HW, double HH, double Ang,
                     double& T0, double& T1) {
  const double Ca = std::cos(Ang), Sa = std::sin(Ang);
  // Into the box's frame.
  const TFPoint Q = Sub(P, M);
  const double Px = Q.X * Ca + Q.Y * Sa, Py = -Q.X * Sa + Q.Y * Ca;
  const double Dx = D.X * Ca + D.Y * Sa, Dy = -D.X * Sa + D.Y * Ca;
  T0 = -1e300;
  T1 = 1e300;
  auto Slab = [&](double P0, double D0, double H) {
    if (std::fabs(D0) < 1e-12) return std::fabs(P0) <= H;
    double A = (-H - P0) / D0, B = (H - P0) / D0;
    if (A > B) std::swap(A, B);
    T0 = std::max(T0, A);
    T1 = std::min(T1, B);
    return T0 <= T1;
  };
  return Slab(Px, Dx, HW) && Slab(Py, Dy, HH) && T0 < T1;
}

// The dimension line of a linear dimension: its direction and the ends D1, D2 (the
// feet of the two origins on the line through the definition point). A rotated
// dimension runs along its angle; an aligned one along its origins; without either
// the extension direction (second origin -> definition point) decides, and when that
// is zero too the normal of the origins. False when every rule gives nothing.
bool LinearDimLine(int AType, const TFPoint& AP1, const TFPoint& AP2, const TFPoint& ADef, double AAngle,
                   TFPoint& Dir, TFPoint& D1, TFPoint& D2) {
  const TFPoint P1 = Flat(AP1), P2 = Flat(AP2), Def = Flat(ADef);
  Dir = {0, 0, 0};
  if ((AType & 1) == 0 && std::isfinite(AAngle)) Dir = {std::cos(AAngle / cDeg), std::sin(AAngle / cDeg), 0};
  else if ((AType & 1) == 1) Dir = Unit2(Sub(P2, P1));
  if (IsZero2(Dir)) {
    const TFPoint U = Unit2(Sub(Def, P2));
    Dir = IsZero2(U) ? Unit2(Sub(P2, P1)) : Normal2(U);
  }
  if (IsZero2(Dir) || !IsFiniteFPoint(Dir)) return false;
  D1 = Add(Def, Mul(Dir, Dot2(Sub(P1, Def), Dir)));
  D2 = Add(Def, Mul(Dir, Dot2(Sub(P2, Def), Dir)));
  return IsFiniteFPoint(D1) && IsFiniteFPoint(D2);
}

// Dimension texts are multiline texts in the files' own writers: an override may carry
// formatting codes (stacked tolerances "\\S", alignment "\\A", fonts, line breaks), which
// a single-line text would show as they stand.
bool HasMTextCodes(std::string_view S) {
  for (std::size_t I = 0; I + 1 < S.size(); ++I) {
    if (S[I] != '\\') continue;
    if (std::string_view("ACcFfHLlOoPQSTWKkpX").find(S[I + 1]) != std::string_view::npos) return true;
    ++I;  // an escaped character ("\\\\", "\\{") is no code
  }
  return false;
}

}  // namespace

bool IsGeneratedDimBlockName(std::string_view AName) { return AName.find("qdDim") != std::string_view::npos; }

std::string FormatDimMeasurement(double AValue, int ADecimals, int AZeros, char ASeparator) {
  if (!std::isfinite(AValue)) return std::string();
  const int Dec = ClampDimDec(ADecimals);
  char Buf[64];
  const double A = std::fabs(AValue);
  // More than 7 integer digits do not fit 7 significant ones.
  if (A >= 1e7) {
    std::snprintf(Buf, sizeof Buf, "%.6E", AValue);
  } else {
    int IntDigits = A < 1 ? 1 : static_cast<int>(std::floor(std::log10(A))) + 1;
    const int D = std::min(Dec, std::max(0, 7 - IntDigits));
    std::snprintf(Buf, sizeof Buf, "%.*f", D, AValue);
    // Pad to DIMDEC digits with zeros: precision beyond 7 significant digits is noise.
    std::string S(Buf);
    if (Dec > D) {
      if (D == 0) S += '.';
      S.append(static_cast<std::size_t>(Dec - D), '0');
    }
    if (S == "-0" || S.rfind("-0.", 0) == 0) {
      bool AllZero = true;
      for (char Ch : S.substr(1))
        if (Ch != '0' && Ch != '.') AllZero = false;
      if (AllZero) S.erase(0, 1);
    }
    if ((AZeros & 8) && S.find('.') != std::string::npos) {
      while (!S.empty() && S.back() == '0') S.pop_back();
      if (!S.empty() && S.back() == '.') S.pop_back();
    }
    if (AZeros & 4) {
      const std::size_t At = S[0] == '-' ? 1 : 0;
      if (S.compare(At, 2, "0.") == 0) S.erase(At, 1);
    }
    std::replace(S.begin(), S.end(), '.', ASeparator);
    return S;
  }
  std::string S(Buf);
  std::replace(S.begin(), S.end(), '.', ASeparator);
  return S;
}

int DimFitMode(double L, double A, double W, double G) {
  if (2 * A + W + 4 * G < L) return 1;
  if (4 * A > L || L <= 1) return 3 * A >= L ? 4 : 2;
  return 3;
}

int DimFitModeOffLine(double L, double A, double W, double G) {
  const bool ArrowsFit = 2 * A + 2 * G < L;
  const bool TextFits = W + 2 * G < L;
  if (ArrowsFit) return TextFits ? 1 : 2;
  return TextFits ? 3 : 4;
}

// ---------------------------------------------------------------- dimension

TqdDXFDimension::~TqdDXFDimension() = default;

TqdDXFDimensionStyle* TqdDXFDimension::Style() const {
  return dynamic_cast<TqdDXFDimensionStyle*>(FDimStyleItem.Item());
}

void TqdDXFDimension::SetStyle(TqdDXFDimensionStyle* S) {
  if (dynamic_cast<TqdDXFDimensionProperties*>(S)) return;
  FDimStyleItem.SetItem(S);
  if (FPropertiesItem) FPropertiesItem->SetOwnerStyle(S);
}

TqdDXFDimensionProperties* TqdDXFDimension::Properties() const {
  if (!FPropertiesItem) {
    FPropertiesItem = std::make_unique<TqdDXFDimensionProperties>();
    if (TqdDXFConverter* C = Converter()) FPropertiesItem->SetConverter(C);
    FPropertiesItem->SetOwnerStyle(Style());
  }
  return FPropertiesItem.get();
}

double TqdDXFDimension::Measurement() const {
  TFPoint Dir, D1, D2;
  const int Type = DimType();
  double M;
  if (Type <= 1 && LinearDimLine(Type, FLinDefPoint1, FLinDefPoint2, FDefPoint, FDimLineAngle, Dir, D1, D2))
    M = Dist2(D1, D2);
  else
    M = Dist2(FLinDefPoint1, FLinDefPoint2);
  return M * MeasurementsScale();
}

std::string TqdDXFDimension::MeasurementText() const {
  // One blank suppresses the text; an override without "<>" stands as written.
  if (FTextOverride == " ") return std::string();
  const std::size_t Slot = FTextOverride.find("<>");
  if (!FTextOverride.empty() && Slot == std::string::npos) return FTextOverride;
  // The style's separator, else the drawing's; "," when neither sets one.
  int Sep = Properties()->DIMDSEP();
  if (!Sep)
    if (const TqdDXFConverter* C = Converter()) Sep = C->HeadVarStruct().DimProps.DSep;
  std::string Num =
      FormatDimMeasurement(Measurement(), Precision(), Properties()->DIMZIN(), Sep ? static_cast<char>(Sep) : ',');
  const std::string& Post = Properties()->PropertyOwnerRead(vnDIMDEC)->FDimProps.Post;
  std::string S = Num;
  if (!Post.empty()) {
    const std::size_t At = Post.find("<>");
    S = At == std::string::npos ? Num + Post : Post.substr(0, At) + Num + Post.substr(At + 2);
  }
  // "<>" in an override stands for the measurement ("R<>" reads "R12,5").
  if (Slot != std::string::npos) S = FTextOverride.substr(0, Slot) + S + FTextOverride.substr(Slot + 2);
  return S;
}

TqdCADExtendedData TqdDXFDimension::GetExtData(std::string_view AAppID) const {
  if (!SameNameText(AAppID, "ACAD") || !FPropertiesItem || FPropertiesItem->Overrides() == 0) return {};
  return FPropertiesItem->GetDStyleData();
}

bool TqdDXFDimension::SetExtData(const TqdCADExtendedData& AData) {
  return Properties()->SetDStyleData(AData);
}

void TqdDXFDimension::SetBlockRecord(TqdDXFBlockRecord* R) {
  // Only a file being read is refused; a copy or an edit keeps the generated block.
  const TqdDXFConverter* C = Converter();
  if (!FGenerating && C && C->Status() == stLoading && R && R->Block() && IsGeneratedDimBlockName(R->Block()->Name())) {
    // Not taken over: Loaded generates a block of its own.
    TqdDXFInsert::SetBlockRecord(nullptr);
    return;
  }
  TqdDXFInsert::SetBlockRecord(R);
}

void TqdDXFDimension::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFInsert::ResolveLinks(C);
  ResolveTableItem<TqdDXFDimensionStyle>(FDimStyleItem, C, csDimStyles);
  if (FPropertiesItem) {
    FPropertiesItem->SetOwnerStyle(Style());
    FPropertiesItem->ResolveLinks(C);
  }
}

void TqdDXFDimension::Loaded(TqdDXFConverter* C) {
  if (C) {
    if (!Style()) SetStyle(C->DimensionStyleByName("STANDARD"));
    if (FPropertiesItem) {
      FPropertiesItem->SetConverter(C);
      if (FPropertiesItem->GetOwnerStyle() != Style()) FPropertiesItem->SetOwnerStyle(Style());
    }
    if (!FDStyleTaken) {
      FDStyleTaken = true;
      if (const TqdCADExtendedData* D = GetEED("ACAD"); D && D->IsEqualSubName("DSTYLE"))
        Properties()->SetDStyleData(*D);
    }
    const TqdDXFBlock* B = Block();
    if (C->Status() != stLoading && (!B || IsGeneratedDimBlockName(B->Name()))) GenerateBlock(C);
  }
  TqdDXFInsert::Loaded(C);
}

void TqdDXFDimension::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFInsert::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFDimension*>(&Source)) {
    FAssociated = S->FAssociated;
    FArcDefPoint = S->FArcDefPoint;
    FDefPoint = S->FDefPoint;
    FLinDefPoint1 = S->FLinDefPoint1;
    FLinDefPoint2 = S->FLinDefPoint2;
    FMiddlePoint = S->FMiddlePoint;
    FRadDefPoint = S->FRadDefPoint;
    FDimStyleItem.SetItem(S->FDimStyleItem.Item());
    if (S->FDimStyleItem.Link() && !S->FDimStyleItem.Item())
      FDimStyleItem.SetLink(TqdLinkObject::ByName(S->FDimStyleItem.Link()->Name()));
    FFlags = S->FFlags;
    FTextOverride = S->FTextOverride;
    FTextRotation = S->FTextRotation;
    FDimLineAngle = S->FDimLineAngle;
    FMeasurement = S->FMeasurement;
    FDStyleTaken = S->FDStyleTaken;
    // A private copy: a value changed on one stays with it.
    FPropertiesItem.reset();
    if (S->FPropertiesItem) {
      Properties()->AssignEntity(*S->FPropertiesItem);
      FPropertiesItem->SetOwnerStyle(Style());
    }
  }
}

bool TqdDXFDimension::GenerateBlock(TqdDXFConverter* C) {
  if (!C) return false;
  const int Type = FFlags & ~cnstBlockOwn;
  if (Type != 0 && Type != 1 && Type != 128 && Type != 129) return false;
  if (FMiddlePoint.X == FDefPoint.X && FMiddlePoint.Y == FDefPoint.Y) return false;
  TqdDXFBlock* Old = Block();
  if (Old && !IsGeneratedDimBlockName(Old->Name())) return false;

  // ---- geometry first: nothing is touched when it is degenerate
  const TFPoint P1 = Flat(FLinDefPoint1), P2 = Flat(FLinDefPoint2), Def = Flat(FDefPoint);
  TFPoint LineDir, D1, D2;
  if (!LinearDimLine(Type, P1, P2, Def, FDimLineAngle, LineDir, D1, D2)) return false;
  // The extension direction: from an origin to its foot on the dimension line.
  TFPoint U = Unit2(Sub(D2, P2));
  if (IsZero2(U)) U = Unit2(Sub(D1, P1));
  if (IsZero2(U)) U = Normal2(LineDir);
  const TFPoint U1 = IsZero2(Unit2(Sub(D1, P1))) ? U : Unit2(Sub(D1, P1));
  const TFPoint U2 = IsZero2(Unit2(Sub(D2, P2))) ? U : Unit2(Sub(D2, P2));
  TqdDXFDimensionProperties* Pr = Properties();
  // DIMSCALE sizes every part of the dimension (0, "by viewport", counts as 1): a
  // drawing scaled 1:50 would otherwise show arrows and text fifty times too small.
  double Sc = Pr->Scale();
  if (!std::isfinite(Sc) || Sc <= 0) Sc = 1;
  const double G = std::fabs(Pr->TextOffset()) * Sc;
  const double A = Pr->ArrowSize() * Sc;
  const double O = Pr->ExtLineOffset() * Sc;
  const double E = Pr->ExtLineExt() * Sc;
  TqdDXFStyle* TS = Pr->TextStyle();
  if (!TS) TS = C->StyleByName("STANDARD");
  double H = TS && TS->FFixedHeight != 0 ? TS->FFixedHeight : Pr->TextHeight() * Sc;
  if (!std::isfinite(H) || H <= 0) H = 0.18;
  const bool TrueType = TS && TS->IsTrueType();
  // For a user text position beyond the extension lines the dimension line follows it.
  if (Type >= 128) {
    const TFPoint Mid = Flat(FMiddlePoint);
    const TFPoint Dir = Unit2(Sub(D2, D1));
    const double T = Dot2(Sub(Mid, D1), Dir), L = Dist2(D1, D2);
    if (!IsZero2(Dir) && (T < 0 || T > L)) {
      const double Shift = Dot2(Sub(Mid, D2), U);
      D1 = Add(D1, Mul(U, Shift));
      D2 = Add(D2, Mul(U, Shift));
    }
  }
  for (const TFPoint& P : {U, D1, D2})
    if (!IsFiniteFPoint(P)) return false;

  // ---- the block: reused only when this dimension is its sole user
  TqdDXFBlock* B = nullptr;
  if (Old && Old->ReferenceCount() <= 1) {
    B = Old;
    B->Clear(true);
  } else {
    std::string Name;
    TqdDXFEntity* Blocks = C->GetOrCreateSection(csBlocks);
    if (!Blocks) return false;
    for (int Guard = 0; Guard < 1000000; ++Guard) {
      Name = std::string(cnstGeneratedDimPrefix) + std::to_string(C->FAddedDimensionsCount++);
      if (!C->BlockByName(Name)) break;
    }
    B = dynamic_cast<TqdDXFBlock*>(C->NewNamedEntity(Blocks, ClassOf<TqdDXFBlock>(), Name));
    if (!B) return false;
  }
  B->SetFlags(1);
  B->SetOffset({0, 0, 0});
  B->SetColorCAD(TqdColorCAD::Index(clByLayer));
  ClosedFilledLineBlock(C);

  // ---- definition points
  // Found in any letter case; made in the spelling drawings use.
  TqdDXFLayer* DefLayer = C->LayerByName("Defpoints");
  if (DefLayer) DefLayer->SetIsPlotting(false);
  const int Mode0 = C->PointDisplayMode();
  C->SetPointDisplayMode(0);
  for (const TFPoint& P : {FLinDefPoint2, FLinDefPoint1})
    if (auto* Pt = NewChild<TqdDXFPoint>(C, B)) {
      Pt->SetPoint(P);
      if (DefLayer) Pt->SetLayer(DefLayer);
    }
  C->SetPointDisplayMode(Mode0);

  // ---- text
  const std::string Shown = MeasurementText();
  const bool Formatted = HasMTextCodes(Shown);
  TqdDXFText* T = Formatted ? static_cast<TqdDXFText*>(NewChild<TqdDXFMText>(C, B)) : NewChild<TqdDXFText>(C, B);
  if (!T) return false;
  T->SetColorCAD(Pr->DIMCLRT());
  T->SetHeight(H);
  T->SetStyle(TS);
  T->SetText(Shown);
  double TW = 0, TH = 0;
  MeasureText(C, *T, TW, TH);
  if (TH <= 0) TH = H;
  const double Ang = std::atan2(D2.Y - D1.Y, D2.X - D1.X) * cDeg;
  double A0 = Ang < 0 ? Ang + 360 : Ang;
  double Rot;
  const int Align = TextAlign();
  if (std::fabs(FTextRotation) > 1e-6) {
    Rot = FTextRotation;
  } else if (Align == 0) {
    Rot = 0;
  } else {
    Rot = A0;
    if (A0 > 90 && A0 < 180) Rot = A0 + 180;
    else if (A0 >= 180 && A0 <= 270) Rot = A0 - 180;
  }
  TFPoint TC = Type >= 128 ? Flat(FMiddlePoint) : Mul(Add(D1, D2), 0.5);
  const double Pad = TrueType ? 0 : G;
  if (Type >= 128) TC = Add(TC, {0, TrueType ? G : 1.4 * G, 0});
  double HW = TW / 2 + Pad, HH = TH / 2 + Pad;

  // ---- fit
  const double L = Dist2(D1, D2);
  const TFPoint Dir = Unit2(Sub(D2, D1));
  double W = TW;
  TFPoint X1 = D2, X2 = D1;  // crossings, dimension line 2's first
  bool Crossed = false;
  if (!IsZero2(Dir)) {
    double T0, T1;
    if (ClipLineWithBox(D1, Dir, TC, HW, HH, Rot / cDeg, T0, T1)) {
      X1 = Add(D1, Mul(Dir, T0));
      X2 = Add(D1, Mul(Dir, T1));
      W = T1 - T0;
      Crossed = true;
    }
  }
  int Mode;
  if (Type == 129) {
    // A user position: inside when the text lies between the arrow points.
    const double T = IsZero2(Dir) ? 0 : Dot2(Sub(TC, D1), Dir);
    Mode = (T > 0 && T < L) ? (2 * A + 2 * G < L ? 1 : 3) : (2 * A + 2 * G < L ? 2 : 4);
  } else {
    const TqdDimTextPosVert PV0 = Pr->TextPosVert();
    // Text above or outside the line does not break it; a user position stays on it.
    Mode = (PV0 == pvAbove || PV0 == pvOutSide) && Type != 128 ? DimFitModeOffLine(L, A, TW, G)
                                                               : DimFitMode(L, A, W, G);
    if (Type == 128) {
      const double Left = FMiddlePoint.X - TW / 2;
      const bool Between = Left > std::min(D1.X, D2.X) && Left < std::max(D1.X, D2.X);
      if (Mode == 1 && !Between) Mode = 2;
    }
    // DIMTIX keeps the text between the extension lines, whatever room it finds there.
    if (ForceText() != 0 && Type != 128) Mode = Mode == 2 ? 1 : Mode == 4 ? 3 : Mode;
  }

  // ---- lines
  TFPoint Ext1a = Add(P1, Mul(U1, O)), Ext1b = Add(D1, Mul(U1, E));
  TFPoint Ext2a = Add(P2, Mul(U2, O)), Ext2b = Add(D2, Mul(U2, E));
  TFPoint L1a = D1, L1b = D2, L2a = D2, L2b = D2;
  const bool LeadsOut = Type != 129 && (Mode == 2 || (Mode == 4 && L - (2 * G + W) < G));
  // DIMTOFL draws the line between the extension lines even with the arrows outside.
  // It has no override of its own: the style's value counts.
  const TqdDXFDimensionStyle* StyleOwner = Pr->GetOwnerStyle() ? Pr->GetOwnerStyle() : Pr;
  const bool LineInside = (Mode == 3 || Mode == 4) && StyleOwner->FDimProps.Tofl;
  auto BreakAroundText = [&]() {
    if (!Crossed || !(W > 0)) return;
    const bool X1Near = Dist2(D1, X1) <= Dist2(D1, X2);
    // Text forced inside may be wider than the line: the broken line stays between
    // the arrow points rather than running out past them.
    auto Keep = [&](const TFPoint& X) {
      const double T = std::clamp(Dot2(Sub(X, D1), Dir), 0.0, L);
      return Add(D1, Mul(Dir, T));
    };
    L1b = Keep(X1Near ? X1 : X2);
    L2b = Keep(X1Near ? X2 : X1);
  };
  if (Mode == 1 || (LineInside && !LeadsOut)) {
    BreakAroundText();
  } else if (Mode == 2 || LineInside) {
    L1b = D2;
    L2b = D1;
  } else {  // 3, 4: no line between the arrow points
    L1a = L1b = D1;
    L2a = L2b = D2;
  }

  // Led-out text (modes 2 and 4).
  bool LedOut = false;
  TFPoint TextIns;
  TFPoint StubA, StubB, LandB;
  bool HasLanding = false;
  if (LeadsOut) {
    const double K = Mode == 2 ? 1 : 2;
    const TFPoint Ref = Type == 128 ? Flat(FMiddlePoint) : Def;
    const bool FirstNear = Dist2(D1, Ref) <= Dist2(D2, Ref);
    const TFPoint Near = FirstNear ? D1 : D2, Far = FirstNear ? D2 : D1;
    const double DX = Far.X - Near.X, DY = Far.Y - Near.Y, LL = std::hypot(DX, DY);
    double Phi = 0;
    if (LL > 0) Phi = std::fabs(DX) < 1e-6 ? std::asin(std::min(1.0, std::fabs(DY) / LL)) : std::atan(std::fabs(DY / DX));
    const double Hs = Near.X > Far.X ? 1 : -1;
    const double Vs = Near.Y > Far.Y ? 1 : -1;
    StubA = Near;
    StubB = Add(Near, {Hs * K * A * std::cos(Phi), Vs * K * A * std::sin(Phi), 0});
    TFPoint End = StubB;
    if (Phi > cPi / 12) {
      HasLanding = true;
      LandB = Add(StubB, {Hs * A, 0, 0});
      End = LandB;
      Rot = 0;
    }
    TextIns = {Hs > 0 ? End.X + G : End.X - G - TW, End.Y - TH / 2, 0};
    if (std::fabs(Rot) > 1e-9 && !HasLanding) {
      // Along the stub: the text reads on from its end.
      const double R = Rot / cDeg;
      const TFPoint Along{std::cos(R), std::sin(R), 0};
      const double S = Dot2(Along, {Hs, 0, 0}) >= 0 ? 1 : -1;
      TextIns = Add(End, Add(Mul(Along, S > 0 ? G : -(G + TW)), Mul(Normal2(Along), -TH / 2)));
    }
    LedOut = true;
    TC = Add(TextIns, {TW / 2, TH / 2, 0});
  }

  // Vertical position.
  const TqdDimTextPosVert PV = Pr->TextPosVert();
  // Mode 4 text that is not led out stands between the outward arrows as in mode 3, so
  // it takes the style's place above or outside the line as there.
  if ((PV == pvAbove || PV == pvOutSide) && !LedOut && (Mode == 1 || Mode == 3 || Mode == 4)) {
    // The largest distance of a box corner from the dimension line, plus the gap.
    // The gap stands between the line and the text whatever its font, and a single line
    // of text keeps its nominal height: descenders (a decimal comma) do not lift it.
    const double R = Rot / cDeg;
    const TFPoint Ax{std::cos(R), std::sin(R), 0}, Ay = Normal2(Ax);
    const double OffW = TW / 2 + G, OffH = (Formatted ? TH : H) / 2 + G;
    double D = 0;
    for (double SX : {-1.0, 1.0})
      for (double SY : {-1.0, 1.0})
        D = std::max(D, std::fabs(Dot2(Add(Mul(Ax, SX * OffW), Mul(Ay, SY * OffH)), U)));
    TFPoint N = U;
    if (PV == pvAbove) {
      const bool Vertical = std::fabs(Dir.X) < 1e-9;
      const bool Towards = Vertical ? N.X <= 0 : N.Y >= 0;
      if (!Towards) N = Mul(N, -1);
    }
    TC = Add(TC, Mul(N, D));
    if (Mode == 1 || LineInside) {
      L1a = D1;
      L1b = D2;
      L2a = L2b = D2;
    }
  } else if ((PV == pvAbove || PV == pvOutSide) && LedOut) {
    TC.Y += TH / 2 + G;
    TextIns.Y += TH / 2 + G;
  }

  // Text placement: centred on TC, or from its insertion point when led out.
  auto* MT = Formatted ? dynamic_cast<TqdDXFMText*>(T) : nullptr;
  if (MT) {
    // Bottom left or middle centre attachment, as the single-line text below.
    const bool FromCorner = LedOut && std::fabs(Rot) <= 1e-9;
    MT->SetAlign(FromCorner ? 7 : 5);
    MT->SetPoint(FromCorner ? TextIns : TC);
  } else if (LedOut && std::fabs(Rot) <= 1e-9) {
    T->SetHAlign(0);
    T->SetVAlign(0);
    T->SetPoint(TextIns);
  } else {
    T->SetHAlign(1);
    T->SetVAlign(2);
    T->SetPoint(TC);
    T->SetPoint1(TC);
  }
  T->SetRotation(Rot);

  // ---- appearance
  auto MakeLine = [&](const TFPoint& A0p, const TFPoint& B0p, const TqdColorCAD& Col, double LW, bool Hidden) {
    auto* Ln = NewChild<TqdDXFLine>(C, B);
    if (!Ln) return;
    Ln->SetLine(A0p, B0p);
    Ln->SetColorCAD(Col);
    Ln->SetLineWeight(LW);
    if (Hidden) Ln->SetVisibility(false);
  };
  const TqdColorCAD ClrD = Pr->DIMCLRD(), ClrE = Pr->DIMCLRE();
  const double LwD = Pr->DIMLWD(), LwE = Pr->DIMLWE();
  const bool SD1 = Pr->DIMSD1(), SD2 = Pr->DIMSD2();
  MakeLine(Ext1a, Ext1b, ClrE, LwE, Pr->DIMSE1());
  MakeLine(Ext2a, Ext2b, ClrE, LwE, Pr->DIMSE2());
  MakeLine(L1a, L1b, ClrD, LwD, SD1);
  MakeLine(L2a, L2b, ClrD, LwD, SD2);
  if (LedOut) {
    const bool NearHidden = Dist2(StubA, D1) <= Dist2(StubA, D2) ? SD1 : SD2;
    MakeLine(StubA, StubB, TqdColorCAD::Index(clByBlock), cnstLWByBlock, NearHidden);
    if (HasLanding) MakeLine(StubB, LandB, TqdColorCAD::Index(clByBlock), cnstLWByBlock, NearHidden);
  }

  // ---- arrows
  const bool FirstIsP = Dist2(D1, P1) < Dist2(D2, P1);
  const TFPoint P = FirstIsP ? D1 : D2, Q = FirstIsP ? D2 : D1;
  const bool HideP = FirstIsP ? SD1 : SD2, HideQ = FirstIsP ? SD2 : SD1;
  double Alpha = 0;
  if (Dist2(P, Q) > 0) Alpha = std::atan2(P.Y - Q.Y, P.X - Q.X) * cDeg;
  if (Mode == 3 || Mode == 4) Alpha += 180;
  auto SlotBlock = [&](int Slot) -> TqdDXFBlock* {
    if (TqdDXFBlock* Own = Pr->ArrowBlock(Slot)) return Own;
    int Ty = Slot == 0 ? Pr->ArrowType() : Slot == 1 ? Pr->ArrowType1() : Pr->ArrowType2();
    if (Ty < 0) Ty = 0;
    return ArrowBlockOfType(C, Ty);
  };
  TqdDXFBlock* Blk1 = nullptr;
  TqdDXFBlock* Blk2 = nullptr;
  if (Pr->DIMSAH()) {
    Blk1 = Pr->ArrowType1() < 0 && !Pr->ArrowBlock(1) ? SlotBlock(0) : SlotBlock(1);
    Blk2 = Pr->ArrowType2() < 0 && !Pr->ArrowBlock(2) ? SlotBlock(0) : SlotBlock(2);
  } else {
    Blk1 = Blk2 = SlotBlock(0);
  }
  auto MakeInsert = [&](TqdDXFBlock* Blk, const TFPoint& At, double Angle, double S, bool Hidden) {
    if (!Blk || Blk == B) return;
    auto* I = NewChild<TqdDXFInsert>(C, B);
    if (!I) return;
    I->SetBlock(Blk);
    I->SetPoint(At);
    I->SetAngle(Angle);
    I->SetScale({S, S, S});
    I->SetColorCAD(ClrD);
    I->SetLineWeight(LwD);
    if (Hidden) I->SetVisibility(false);
  };
  // A tick size replaces both arrowheads by oblique strokes (no tails).
  // The tick size has no override of its own: the style's value counts.
  const double Tsz = StyleOwner->FDimProps.Tsz * Sc;
  const bool Ticks = std::isfinite(Tsz) && Tsz > 0;
  if (Ticks) {
    TqdDXFBlock* Tick = ArrowBlockOfType(C, 5);
    MakeInsert(Tick, P, Alpha, Tsz, HideP);
    MakeInsert(Tick, Q, Alpha + 180, Tsz, HideQ);
  } else {
    MakeInsert(Blk1, P, Alpha, A, HideP);
    MakeInsert(Blk2, Q, Alpha + 180, A, HideQ);
  }
  if (Type < 128 && !Ticks) {
    TqdDXFBlock* CL = C->BlockByName(cnstClosedFilledLineName);
    MakeInsert(CL, P, Alpha + 180, E, HideP);
    MakeInsert(CL, Q, Alpha + 180, E, HideQ);
  }

  // ---- done
  C->LoadBlock(B);
  FGenerating = true;
  SetBlock(B);
  FGenerating = false;
  TqdDXFCustomVertex::SetPoint({0, 0, 0});
  return true;
}

// ---------------------------------------------------------------- leader

TqdDXFLeader::TqdDXFLeader() : FInsert(std::make_unique<TqdDXFInsert>()) {}

TqdDXFLeader::~TqdDXFLeader() = default;

TqdDXFDimensionStyle* TqdDXFLeader::DimStyle() const {
  return dynamic_cast<TqdDXFDimensionStyle*>(FDimStyleItem.Item());
}

void TqdDXFLeader::SetDimStyle(TqdDXFDimensionStyle* S) {
  if (dynamic_cast<TqdDXFDimensionProperties*>(S)) return;
  FDimStyleItem.SetItem(S);
  if (FPropertiesItem) FPropertiesItem->SetOwnerStyle(S);
}

TqdDXFDimensionProperties* TqdDXFLeader::Properties() const {
  if (!FPropertiesItem) {
    FPropertiesItem = std::make_unique<TqdDXFDimensionProperties>();
    if (TqdDXFConverter* C = Converter()) FPropertiesItem->SetConverter(C);
    FPropertiesItem->SetOwnerStyle(DimStyle());
  }
  return FPropertiesItem.get();
}

void TqdDXFLeader::SetArrowSize(double V) {
  if (!std::isfinite(V) || V < 0) return;
  Properties()->SetArrowSize(V);
  Properties()->SetScale(1);
}

void TqdDXFLeader::SetArrowType(int V) {
  Properties()->SetArrowTypeL(V);
  if (FInsert) FInsert->SetBlock(nullptr);
}

void TqdDXFLeader::SetColorCAD(const TqdColorCAD& C) {
  TqdDXFSpline::SetColorCAD(C);
  if (FInsert) FInsert->SetColorCAD(C);
}

void TqdDXFLeader::SetVisibility(bool V) {
  TqdDXFSpline::SetVisibility(V);
  if (FInsert) FInsert->SetVisibility(V);
}

TqdCADExtendedData TqdDXFLeader::GetExtData(std::string_view AAppID) const {
  if (!SameNameText(AAppID, "ACAD")) return {};
  TqdCADExtendedData D = Properties()->GetDStyleData();
  // The leader's own arrow values go inside the same frame, before its end.
  if (D.Count() > 0 && D.Items().back().ECode == 1002) D.Delete(D.Count() - 1);
  D.AddInt16(1070, 40);
  D.AddDouble(1040, ArrowScale());
  D.AddInt16(1070, 41);
  D.AddDouble(1040, ArrowSize());
  if (const TqdDXFBlock* B = FInsert ? FInsert->Block() : nullptr; B && B->BlockRecord()) {
    D.AddInt16(1070, 341);
    D.AddInt64(1005, static_cast<std::int64_t>(B->BlockRecord()->Handle()));
  }
  D.AddString(1002, "}");
  return D;
}

bool TqdDXFLeader::SetExtData(const TqdCADExtendedData& AData) { return Properties()->SetDStyleData(AData); }

void TqdDXFLeader::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFSpline::ResolveLinks(C);
  ResolveTableItem<TqdDXFDimensionStyle>(FDimStyleItem, C, csDimStyles);
  if (FPropertiesItem) FPropertiesItem->SetOwnerStyle(DimStyle());
}

void TqdDXFLeader::Loaded(TqdDXFConverter* C) {
  if (C) {
    if (!DimStyle()) SetDimStyle(C->DimensionStyleByName("STANDARD"));
    if (FPropertiesItem) {
      FPropertiesItem->SetConverter(C);
      if (FPropertiesItem->GetOwnerStyle() != DimStyle()) FPropertiesItem->SetOwnerStyle(DimStyle());
    }
    if (!FDStyleTaken) {
      FDStyleTaken = true;
      if (const TqdCADExtendedData* D = GetEED("ACAD"); D && D->IsEqualSubName("DSTYLE"))
        Properties()->SetDStyleData(*D);
    }
  }
  const int N = FControls.Count();
  if (N < 2) {
    FKnots.Clear();
    TqdDXFSpline::Loaded(C);
    FBox = cnstBadRect;
    if (FInsert) FInsert->SetVisibility(false);
    return;
  }
  FArrowPoint = FControls[0];
  FTextPoint = FControls[N - 1];
  int DirIndex = 1;
  FArrowAngle = 0;
  for (int I = 1; I < N; ++I)
    if (Dist2(FControls[I], FControls[0]) >= 1e-6) {
      DirIndex = I;
      // atan2 rather than acos(dx / d): rounding cannot push it outside its domain.
      FArrowAngle = std::atan2(FControls[0].Y - FControls[I].Y, FControls[0].X - FControls[I].X) * cDeg;
      break;
    }
  FKnots.Clear();
  if (FIsSpline) {
    FDegree = 3;
    FKnots.Add(0);
    FKnots.Add(0);
    double Sum = 0;
    for (int I = 1; I < N; ++I) {
      Sum += Len2(Sub(FControls[I], FControls[I - 1]));
      FKnots.Add(static_cast<float>(Sum));
    }
    for (int I = 0; I < 3; ++I) FKnots.Add(static_cast<float>(Sum));
  }
  TqdDXFSpline::Loaded(C);
  if (FIsSpline && PointCount() < 2) {
    // Too few control points for the curve: the path is the control polygon.
    TqdSingleList Kept;
    Kept.Assign(FKnots);
    FKnots.Clear();
    TqdDXFSpline::Loaded(C);
    FKnots.Assign(Kept);
  }
  if (!FInsert) FInsert = std::make_unique<TqdDXFInsert>();
  TqdDXFInsert& In = *FInsert;
  if (C) In.SetConverter(C);
  In.SetLayer(Layer());
  bool Shown = false;
  if (FArrowhead && C) {
    const double Scale = ArrowScale() == 0 ? 1.0 : ArrowScale();
    const double S = ArrowSize() * Scale;
    Shown = std::isfinite(S) && Dist2(FControls[0], FControls[DirIndex]) / 2 >= S;
    if (Shown) {
      const int Type = ArrowType();
      if (!In.Block()) {
        TqdDXFBlock* B = Properties()->DIMLDRBLK();
        if (!B && Type != -1) B = ArrowBlockOfType(C, Type == cnstArrowUser ? 0 : Type);
        if (B && B->Count() == 0 && IsBadBox(B->Box()) && !B->IsLoaded()) {
          FillArrowBlock(C, B, Type);
          C->LoadBlock(B);
        }
        In.SetBlock(B);
      }
      In.SetAngle(FArrowAngle);
      In.SetScale({S, S, S});
      In.SetColorCAD(ColorCAD());
      In.SetLineWeight(LineWeight());
      In.SetPoint(FArrowPoint);
      In.SetVisibility(Visibility());
      In.Loaded(C);
      if (IsFiniteBox(In.Box())) UnionBoxes(FBox, In.Box());
    }
  }
  if (!Shown) In.SetVisibility(false);
}

void TqdDXFLeader::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFSpline::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFLeader*>(&Source)) {
    FArrowhead = S->FArrowhead;
    FArrowPoint = S->FArrowPoint;
    FTextPoint = S->FTextPoint;
    FDimStyleItem.SetItem(S->FDimStyleItem.Item());
    if (S->FDimStyleItem.Link() && !S->FDimStyleItem.Item())
      FDimStyleItem.SetLink(TqdLinkObject::ByName(S->FDimStyleItem.Link()->Name()));
    FIsSpline = S->FIsSpline;
    FAnnotationType = S->FAnnotationType;
    FHookDirection = S->FHookDirection;
    FHookLine = S->FHookLine;
    FAnnotationHeight = S->FAnnotationHeight;
    FAnnotationWidth = S->FAnnotationWidth;
    FHookVector = S->FHookVector;
    FAnnotationHandle = S->FAnnotationHandle;
    FArrowBlockName = S->FArrowBlockName;
    FArrowAngle = S->FArrowAngle;
    FDStyleTaken = S->FDStyleTaken;
    FPropertiesItem.reset();
    if (S->FPropertiesItem) {
      Properties()->AssignEntity(*S->FPropertiesItem);
      FPropertiesItem->SetOwnerStyle(DimStyle());
    }
    FInsert = std::make_unique<TqdDXFInsert>();
    if (S->FInsert) FInsert->AssignEntity(*S->FInsert);
  }
}

// ---------------------------------------------------------------- tolerance

namespace {

// Symbols of the geometric-tolerance font by their letters.
const char* GdtSymbol(char Ch) {
  switch (Ch) {
    case 'a': return "\xE2\x88\xA0";      // angularity
    case 'b': return "\xE2\x8A\xA5";      // perpendicularity
    case 'c': return "\xE2\x8F\xA5";      // flatness
    case 'd': return "\xE2\x8C\x93";      // surface profile
    case 'e': return "\xE2\x97\x8B";      // circularity
    case 'f': return "\xE2\x88\xA5";      // parallelism
    case 'g': return "\xE2\x8C\xAD";      // cylindricity
    case 'h': return "\xE2\x86\x97";      // circular runout
    case 'i': return "\xE2\x8C\xAF";      // symmetry
    case 'j': return "\xE2\x8C\x96";      // position
    case 'k': return "\xE2\x8C\x92";      // line profile
    case 'l': return "\xE2\x93\x81";      // least material
    case 'm': return "\xE2\x93\x82";      // maximum material
    case 'n': return "\xC3\x98";          // diameter
    case 'p': return "\xE2\x93\x85";      // projected zone
    case 'r': return "\xE2\x97\x8E";      // concentricity
    case 's': return "\xE2\x93\x88";      // regardless of feature size
    case 't': return "\xE2\x8C\xB0";      // total runout
    case 'u': return "\xE2\x80\x94";      // straightness
    default: return nullptr;
  }
}

// One cell's text: formatting groups dropped, symbols of the "gdt" font mapped.
std::string ToleranceCellText(std::string_view S) {
  std::string Out;
  bool Gdt = false;
  std::vector<bool> Stack;
  for (std::size_t I = 0; I < S.size(); ++I) {
    const char Ch = S[I];
    if (Ch == '{') {
      Stack.push_back(Gdt);
      if (Stack.size() > 64) Stack.erase(Stack.begin());
      continue;
    }
    if (Ch == '}') {
      if (!Stack.empty()) Gdt = Stack.back(), Stack.pop_back();
      continue;
    }
    if (Ch == '\\' && I + 1 < S.size()) {
      const char K = S[I + 1];
      if (K == 'F' || K == 'f') {
        const std::size_t End = S.find(';', I);
        const std::string_view Face = End == std::string_view::npos ? S.substr(I + 2) : S.substr(I + 2, End - I - 2);
        Gdt = SameNameText(Face, "gdt") || SameNameText(Face, "gdt.shx");
        if (End == std::string_view::npos) break;
        I = End;
        continue;
      }
      if (K == '\\' || K == '{' || K == '}') {
        Out.push_back(K);
        ++I;
        continue;
      }
      // Any other code up to its ';' (or just the letter) is formatting.
      const std::size_t End = S.find(';', I);
      if (std::string_view("ACHQTWcHqtw").find(K) != std::string_view::npos && End != std::string_view::npos) I = End;
      else ++I;
      continue;
    }
    if (Gdt) {
      if (const char* Sym = GdtSymbol(Ch)) {
        Out += Sym;
        continue;
      }
    }
    Out.push_back(Ch);
  }
  return Out;
}

// Splits at every occurrence of Sep (ASCII case ignored).
std::vector<std::string> SplitNoCase(std::string_view S, std::string_view Sep) {
  std::vector<std::string> R;
  std::size_t Start = 0;
  for (std::size_t I = 0; I + Sep.size() <= S.size();) {
    if (SameNameText(S.substr(I, Sep.size()), Sep)) {
      R.emplace_back(S.substr(Start, I - Start));
      I += Sep.size();
      Start = I;
    } else {
      ++I;
    }
  }
  R.emplace_back(S.substr(Start));
  return R;
}

}  // namespace

TqdDXFTolerance::TqdDXFTolerance() = default;
TqdDXFTolerance::~TqdDXFTolerance() = default;

TqdDXFDimensionStyle* TqdDXFTolerance::DimStyle() const {
  return dynamic_cast<TqdDXFDimensionStyle*>(FDimStyleItem.Item());
}

double TqdDXFTolerance::GAP() const {
  if (FHasGAP) return FGAP;
  if (const TqdDXFDimensionStyle* S = DimStyle()) return S->TextOffset();
  return 0;
}

void TqdDXFTolerance::SetGAP(double V) {
  if (!std::isfinite(V)) return;
  if (std::fabs(V) <= 1e-6) {
    FHasGAP = false;
    FGAP = 0;
    return;
  }
  FGAP = V;
  FHasGAP = true;
}

TqdCADExtendedData TqdDXFTolerance::GetExtData(std::string_view AAppID) const {
  if (!SameNameText(AAppID, "ACAD")) return {};
  TqdCADExtendedData D;
  BeginDStyleData(D);
  D.AddInt16(1070, 176);
  D.AddInt16(1070, static_cast<std::int16_t>(FDimlineColor.Active == acIndexColor ? FDimlineColor.IndexValue() : 256));
  if (const TqdDXFStyle* S = Style()) {
    D.AddInt16(1070, 340);
    D.AddInt64(1005, static_cast<std::int64_t>(S->Handle()));
  }
  D.AddInt16(1070, 40);
  D.AddDouble(1040, DimScaleOverall());
  D.AddInt16(1070, 140);
  D.AddDouble(1040, Height());
  D.AddString(1002, "}");
  return D;
}

TFRect TqdDXFTolerance::Box() const { return FBox; }

void TqdDXFTolerance::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFMText::ResolveLinks(C);
  ResolveTableItem<TqdDXFDimensionStyle>(FDimStyleItem, C, csDimStyles);
}

void TqdDXFTolerance::Loaded(TqdDXFConverter* C) {
  FBox = cnstBadRect;
  FBlock.reset();
  TqdDXFObjectEntityLineType::Loaded(C);
  if (!C) return;
  if (!Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
  if (!DimStyle()) SetDimStyle(C->DimensionStyleByName("STANDARD"));
  TqdDXFDimensionStyle* DS = DimStyle();
  // The frame's own DSTYLE values (colour, scale, height) as the file wrote them.
  if (const TqdCADExtendedData* D = GetEED("ACAD"); D && D->IsEqualSubName("DSTYLE")) {
    const auto& It = D->Items();
    for (std::size_t I = 2; I + 1 < It.size(); ++I) {
      if (It[I].ECode != 1070) continue;
      const TqdExtData& V = It[I + 1];
      if (V.ECode == 1002) break;
      ++I;
      const bool Real = V.EType == edtDouble || V.EType == edtSingle;
      if (It[I - 1].EInt == 176 && !Real) FDimlineColor = TqdColorCAD::Index(static_cast<int>(std::clamp<std::int64_t>(V.EInt, 0, 257)));
      else if (It[I - 1].EInt == 40 && Real && !FHasDimScaleOverall) SetDimScaleOverall(V.EDouble);
      else if (It[I - 1].EInt == 140 && Real && FHeight == 0 && std::isfinite(V.EDouble)) FHeight = std::fabs(V.EDouble);
      else if (It[I - 1].EInt == 147 && Real && !FHasGAP) SetGAP(V.EDouble);
    }
  }
  if (!Style()) SetStyle(DS && DS->TextStyle() ? DS->TextStyle() : C->StyleByName("STANDARD"));
  if (FHeight == 0 && DS) FHeight = DS->TextHeight();
  double Scale = FHasDimScaleOverall ? FDimScaleOverall : (DS ? DS->Scale() : 1.0);
  if (!(Scale > 0) || !std::isfinite(Scale)) Scale = 1;
  const double H = FHeight * Scale;
  if (!(H > 0) || !std::isfinite(H)) return;
  double Gap = GAP() * Scale;
  if (!(Gap > 0)) Gap = H / 2;

  FBlock = std::make_unique<TqdDXFBlock>();
  TqdDXFBlock* B = FBlock.get();
  C->DoCreate(B);
  B->SetConverter(C);
  const TFPoint Origin = Point();
  const TFPoint Ax = IsZero2(Unit2(FDirection)) ? TFPoint{1, 0, 0} : Unit2(FDirection);
  const TFPoint Ay = Normal2(Ax);
  const double Rot = std::atan2(Ax.Y, Ax.X) * cDeg;
  auto World = [&](double X, double Y) { return Add(Origin, Add(Mul(Ax, X), Mul(Ay, Y))); };
  auto Frame = [&](double X1, double Y1, double X2, double Y2) {
    if (auto* L = NewChild<TqdDXFLine>(C, B)) {
      L->SetLine(World(X1, Y1), World(X2, Y2));
      L->SetColorCAD(FDimlineColor);
    }
  };
  const double RowH = 2 * H;
  std::vector<std::string> Rows = SplitNoCase(FText, "^J");
  if (Rows.size() == 1) Rows = SplitNoCase(FText, "\\P");
  constexpr std::size_t cMaxRows = 64, cMaxCells = 64;
  if (Rows.size() > cMaxRows) Rows.resize(cMaxRows);
  double Y = 0;
  for (const std::string& Row : Rows) {
    std::vector<std::string> Cells = SplitNoCase(Row, "%%v");
    if (Cells.size() > cMaxCells) Cells.resize(cMaxCells);
    // A row that is only a text (no separators) is drawn without a frame.
    const bool Framed = Cells.size() > 1;
    double X = 0;
    std::vector<double> Edges{0};
    for (const std::string& Cell : Cells) {
      const std::string Shown = ToleranceCellText(Cell);
      bool Blank = true;
      for (char Ch : Shown)
        if (Ch != ' ') Blank = false;
      if (Blank && Framed) continue;
      auto* T = NewChild<TqdDXFText>(C, B);
      if (!T) break;
      T->SetColorCAD(TqdColorCAD::Index(clByBlock));
      T->SetHeight(H);
      T->SetStyle(Style());
      T->SetText(Shown);
      double TW = 0, TH = 0;
      MeasureText(C, *T, TW, TH);
      T->SetHAlign(0);
      T->SetVAlign(2);
      const TFPoint At = World(X + Gap, Y - RowH / 2);
      T->SetPoint(At);
      T->SetPoint1(At);
      T->SetRotation(Rot);
      X += TW + 2 * Gap;
      Edges.push_back(X);
    }
    if (Framed && X > 0) {
      Frame(0, Y, X, Y);
      Frame(0, Y - RowH, X, Y - RowH);
      for (double E : Edges) Frame(E, Y, E, Y - RowH);
    }
    Y -= RowH;
  }
  C->LoadBlock(B);
  const TFRect BB = B->Box();
  if (IsFiniteBox(BB)) FBox = BB;
}

void TqdDXFTolerance::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFMText::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFTolerance*>(&Source)) {
    FDimlineColor = S->FDimlineColor;
    FDimStyleItem.SetItem(S->FDimStyleItem.Item());
    if (S->FDimStyleItem.Link() && !S->FDimStyleItem.Item())
      FDimStyleItem.SetLink(TqdLinkObject::ByName(S->FDimStyleItem.Link()->Name()));
    FDimScaleOverall = S->FDimScaleOverall;
    FHasDimScaleOverall = S->FHasDimScaleOverall;
    FGAP = S->FGAP;
    FHasGAP = S->FHasGAP;
    FDirection = S->FDirection;
  }
}
