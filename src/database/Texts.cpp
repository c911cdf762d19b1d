#include "Texts.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "DXFConv.h"
#include "Inserts.h"
#include "SHXFontList.h"
#include "TTF.h"
#include "qdLines.h"

void TqdDXFText::SetRotation(double V) {
  if (std::isfinite(V) && std::fabs(V) <= std::numeric_limits<float>::max()) FRotation = static_cast<float>(V);
}

void TqdDXFText::SetExtrusion(const TFPoint& P) {
  if (!IsFiniteFPoint(P)) return;
  FExtrusion = (P.X == 0 && P.Y == 0 && P.Z == 0) ? cnstExtrusion : P;
}

TqdDXFStyle* TqdDXFText::Style() const { return dynamic_cast<TqdDXFStyle*>(FTextStyleItem.Item()); }

void TqdDXFText::ResolveLinks(TqdDXFConverter* C) {
  TqdDXFCustomVertex::ResolveLinks(C);
  ResolveTableItem<TqdDXFStyle>(FTextStyleItem, C, csStyles);
}

namespace {

constexpr double cMinHeight = 1e-9;

TFMatrix MakeMatrix(double XX, double XY, double YX, double YY, double DX, double DY) {
  TFMatrix M;
  M.EX = {XX, XY, 0};
  M.EY = {YX, YY, 0};
  M.E0 = {DX, DY, 0};
  return M;
}

TqdTextGlyph* TrueTypeFace(const std::string& AName, unsigned AStyles) {
  return TqdContainerOfTextGlyphs::Instance().AddTextGlyphsByFont(AName.empty() ? std::string("Arial") : AName,
                                                                   AStyles);
}

}  // namespace

bool TqdDXFText::Backward() const {
  const TqdDXFStyle* S = Style();
  return (FGenerationFlags & 2) != 0 || (S && S->Backward());
}

bool TqdDXFText::UpsideDown() const {
  const TqdDXFStyle* S = Style();
  return (FGenerationFlags & 4) != 0 || (S && S->UpsideDown());
}

std::u16string TqdDXFText::ShownText(bool* AUnder, bool* AOver) const {
  return qdDecodeTextCodes(FText, AUnder, AOver);
}

namespace {

// The stretches of the shown text (start and end in characters) that "%%u" or "%%o"
// switch on: each code toggles its line from where it stands.
std::vector<std::pair<std::size_t, std::size_t>> CodeSpans(const std::string& S, char Code) {
  std::vector<std::pair<std::size_t, std::size_t>> R;
  std::size_t From = 0, Shown = 0;
  bool On = false;
  for (std::size_t I = 0; I + 2 < S.size(); ++I) {
    if (S[I] != '%' || S[I + 1] != '%') continue;
    const char D = static_cast<char>(std::tolower(static_cast<unsigned char>(S[I + 2])));
    if (D == '%') {  // "%%%" is a percent sign, not the start of a code
      I += 2;
      continue;
    }
    if (D != Code) continue;
    Shown = qdDecodeTextCodes(std::string_view(S).substr(0, I)).size();
    if (On && Shown > From) R.emplace_back(From, Shown);
    On = !On;
    From = Shown;
    I += 2;
  }
  const std::size_t End = qdDecodeTextCodes(S).size();
  if (On && End > From) R.emplace_back(From, End);
  return R;
}

}  // namespace

void TqdDXFText::ResolveRunFont(TqdDXFConverter* C, TqdTextRun& R) const {
  TqdDXFStyle* S = Style();
  if (S && S->IsTrueType()) {
    unsigned Bits = 0;
    // The style bits as stored in the drawing (extended data 1071).
    if (S->FFontStyle & 0x2000000) Bits |= fstBold;
    if (S->FFontStyle & 0x1000000) Bits |= fstItalic;
    R.TTF = TrueTypeFace(S->FFontName, Bits);
    return;
  }
  if (C && C->UseSHXFonts()) {
    R.FontList = C->SHXFonts();
    if (S) R.SHXStyle = S->SHXTextStyle(C);
    if (!R.SHXStyle) R.SHXFont = "txt";
    TqdRunMetrics M;
    if (R.FontList && qdMeasureRun(R, M)) return;
  }
  // No SHX font at all: a TrueType face keeps the text visible.
  R.FontList = nullptr;
  R.SHXStyle = nullptr;
  R.SHXFont.clear();
  R.TTF = TrueTypeFace({}, 0);
}

void TqdDXFText::GetPaths(std::vector<TqdTextPath>& Out, double ATolerance) const {
  for (const TqdTextRun& R : FRuns) qdRunPaths(R, cnstIdentityMat, Out, ATolerance);
}

std::size_t TqdDXFText::GetPathsReusing(std::vector<TqdTextPath>& Out, double ATolerance) const {
  std::size_t Used = 0;
  for (const TqdTextRun& R : FRuns) qdRunPaths(R, cnstIdentityMat, Out, Used, ATolerance);
  return Used;
}

void TqdDXFText::ResetPlacement(TqdDXFConverter* C) {
  TqdDXFCustomVertex::Loaded(C);
  FRuns.clear();
  FBox = cnstBadRect;
  FMatrix = cnstIdentityMat;
  FStartPoint = Point();
  if (C && !Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
}

void TqdDXFText::Loaded(TqdDXFConverter* C) {
  ResetPlacement(C);
  if (!C) return;
  if (!Style() && !FTextStyleItem.Link()) SetStyle(C->StyleByName(C->HeadVarStruct().TextStyle));
  bool Under = false, Over = false;
  TqdTextRun R;
  R.Text = ShownText(&Under, &Over);
  if (R.Text.empty()) return;
  ResolveRunFont(C, R);
  TqdRunMetrics M;
  if (!qdMeasureRun(R, M) || !(M.Units > 0)) return;
  const TqdDXFStyle* S = Style();

  // Derived values only: the stored attributes stay as read, so that loading again
  // gives the same picture.
  double H = std::fabs(FHeight);
  if (!(H > cMinHeight)) H = S && S->FFixedHeight > cMinHeight ? S->FFixedHeight : 0;
  if (!(H > cMinHeight)) H = S && S->FLastHeightUsed > cMinHeight ? S->FLastHeightUsed : 2.5;
  double WF = FScale;
  if (!(std::fabs(WF) > 1e-6) || !std::isfinite(WF)) WF = S ? S->FWidthFactor : 1.0;
  if (!(std::fabs(WF) > 1e-6)) WF = 1.0;
  double Obl = FObliqueAngle != 0 ? FObliqueAngle : (S ? S->FObliqueAngle : 0);
  const double Shear = std::tan(qdClampOblique(Obl) * M_PI / 180);
  const double SX = Backward() ? -1 : 1, SY = UpsideDown() ? -1 : 1;
  double Rot = FRotation;

  double HS = H / M.Units;  // font units to drawing units, vertically
  double WS = HS * WF;
  int HA = FHAlign, VA = FVAlign;
  if (!HasPoint1()) HA = VA = 0;
  TFPoint Base = (HA != 0 || VA != 0) ? FPoint1 : Point();
  double DX = 0, DY = 0;
  if (HA == 3 || HA == 5) {
    const double W = M.Advance * WS;
    const double L = std::hypot(FPoint1.X - Point().X, FPoint1.Y - Point().Y);
    if (W > cMinHeight && L > cMinHeight) {
      const double K = L / W;
      WS *= K;
      if (HA == 3) HS *= K;
      Rot = std::atan2(FPoint1.Y - Point().Y, FPoint1.X - Point().X) * 180 / M_PI;
    }
    Base = Point();
    VA = HA == 3 ? 0 : VA;
  } else if (HA == 1 || HA == 4) {
    DX = -M.Advance * WS / 2;
  } else if (HA == 2) {
    DX = -M.Advance * WS;
  }
  if (HA == 4) DY = -(M.InkTop + M.InkBottom) / 2 * HS;
  else if (VA == 1) DY = M.Descent * HS;
  else if (VA == 2) DY = -M.Units * HS / 2;
  else if (VA == 3) DY = -M.Units * HS;

  // Glyph units -> text plane: mirror, shear, scale, alignment offset.
  TFMatrix L = MakeMatrix(SX * WS, 0, SX * Shear * HS, SY * HS, SX * DX, SY * DY);
  L = ComposeMatrices(L, RotationZMatrix(Rot));
  L = ComposeMatrices(L, TranslationMatrix({Base.X, Base.Y, Base.Z}));
  if (IsNonDefaultExtrusion(FExtrusion)) L = ComposeMatrices(L, ExtrusionMatrix(FExtrusion));
  FMatrix = L;
  FStartPoint = TransformPoint({0, 0, 0}, L);
  R.Matrix = L;
  FRuns.push_back(R);
  const double Adv = M.Advance;
  if (FText.find("%%") != std::string::npos) {
    // Each stretch between two codes gets its line, from the pen before its first
    // character to the pen after its last.
    auto PenAt = [&](std::size_t N) {
      if (N >= R.Text.size()) return Adv;
      TqdTextRun P = R;
      P.Text = R.Text.substr(0, N);
      TqdRunMetrics PM;
      return N > 0 && qdMeasureRun(P, PM) ? PM.Advance : 0.0;
    };
    for (const auto& [Code, Y] : {std::pair{'u', -0.2}, std::pair{'o', 1.2}})
      for (const auto& [A, B] : CodeSpans(FText, Code)) {
        TqdTextRun Line;
        Line.IsLine = true;
        Line.Matrix = L;
        Line.A = {PenAt(A), M.Units * Y, 0};
        Line.B = {PenAt(B), M.Units * Y, 0};
        FRuns.push_back(Line);
      }
  }
  TFRect Local{0, std::max(M.InkTop, M.Units), 0, Adv, std::min(M.InkBottom, 0.0), 0};
  if (!(Adv > 0)) Local.Right = M.Units * 0.5;
  FBox = TransformBox(Local, L);
  if (!IsFiniteBox(FBox)) {
    FRuns.clear();
    FBox = cnstBadRect;
    C->AddWarning("TEXT: a text too large to draw was left out");
  }
}

void TqdDXFText::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFCustomVertex::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFText*>(&Source)) {
    FBox = S->FBox;
    FText = S->FText;
    FHeight = S->FHeight;
    FRotation = S->FRotation;
    FScale = S->FScale;
    FObliqueAngle = S->FObliqueAngle;
    FHAlign = S->FHAlign;
    FVAlign = S->FVAlign;
    FGenerationFlags = S->FGenerationFlags;
    FPoint1 = S->FPoint1;
    FExtrusion = S->FExtrusion;
    FLineWeight = S->FLineWeight;
    FTextStyleItem.SetItem(S->FTextStyleItem.Item());
  }
}

void TqdDXFMText::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFText::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFMText*>(&Source)) {
    FRectWidth = S->FRectWidth;
    FLineSpacingFactor = S->FLineSpacingFactor;
    FAlign = S->FAlign;
    FLineSpacingStyle = S->FLineSpacingStyle;
    FHyphenation = S->FHyphenation;
    FColumns = S->FColumns;
    FLinkedColumnWidth = S->FLinkedColumnWidth;
  }
}

void TqdDXFMText::SetColumns(const TqdMTextColumns& V) {
  TqdMTextColumns C = V;
  auto Size = [](double X) { return std::isfinite(X) && X > 0 ? X : 0.0; };
  C.Type = std::clamp(C.Type, 0, 2);
  C.Count = std::max(C.Count, 0);
  C.Width = Size(C.Width);
  C.Gutter = Size(C.Gutter);
  C.DefinedHeight = Size(C.DefinedHeight);
  if (C.Heights.size() > cMaxColumnHeights) C.Heights.resize(cMaxColumnHeights);
  for (double& H : C.Heights) H = Size(H);
  FColumns = std::move(C);
}

std::string TqdDXFMText::ColumnHeightsText() const {
  std::string R;
  char B[40];
  for (double H : FColumns.Heights) {
    if (!R.empty()) R += ',';
    std::snprintf(B, sizeof B, "%.15g", H);
    R += B;
  }
  return R;
}

void TqdDXFMText::SetColumnHeightsText(std::string_view V) {
  TqdMTextColumns C = FColumns;
  C.Heights.clear();
  while (!V.empty() && C.Heights.size() < cMaxColumnHeights) {
    const std::size_t E = std::min(V.find(','), V.size());
    const std::string Item(V.substr(0, E));
    char* End = nullptr;
    const double H = std::strtod(Item.c_str(), &End);
    C.Heights.push_back(End != Item.c_str() ? H : 0);
    V.remove_prefix(std::min(E + 1, V.size()));
  }
  SetColumns(C);
}

void TqdDXFShape::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFText::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdDXFShape*>(&Source)) {
    FShapeName = S->FShapeName;
    FShapeNumber = S->FShapeNumber;
  }
}

void TqdDXFShape::Loaded(TqdDXFConverter* C) {
  ResetPlacement(C);
  if (!C) return;
  TqdSHXFontList* L = C->UseSHXFonts() ? C->SHXFonts() : nullptr;
  int N = FShapeNumber;
  std::string Name = FShapeName;
  TqdSHXFont* F = nullptr;
  if (L && N > 0 && N <= 0xFFFF) {
    // A shape-file style (linetypes give one with the shape number) names the file.
    if (TqdDXFStyle* S = Style(); S && (S->Flags() & 1) && !S->IsTrueType())
      if (const TqdTextStyle* TS = S->SHXTextStyle(C); TS && TS->FontExists)
        if (TqdSHXFont* SF = L->FontAt(TS->FontIndex); SF && SF->HasSymbol(static_cast<uint32_t>(N))) F = SF;
  }
  if (L && !F) {
    F = L->FindShapeFont(N, Name);
    // DWG files name a shape by its number.
    const bool Digits = !FShapeName.empty() && FShapeName.size() < 6 &&
                        FShapeName.find_first_not_of("0123456789") == std::string::npos;
    if (!F && Digits) {
      N = std::stoi(FShapeName);
      Name.clear();
      F = L->FindShapeFont(N, Name);
    }
  }
  if (!F || N <= 0 || N > 0xFFFF) {
    C->AddWarning("SHAPE: shape \"" + (FShapeName.empty() ? std::to_string(FShapeNumber) : FShapeName) +
                  "\" not found in the drawing's shape files: not drawn");
    return;
  }
  TqdTextRun R;
  R.ShapeFont = F;
  R.Text = std::u16string(1, char16_t(N));
  TqdRunMetrics M;
  if (!qdMeasureRun(R, M) || !(M.Units > 0)) {
    C->AddWarning("SHAPE: shape \"" + Name + "\" cannot be built: not drawn");
    return;
  }
  double H = std::fabs(FHeight);
  if (!(H > cMinHeight)) H = 1;
  double WF = FScale;
  if (!(std::fabs(WF) > 1e-6) || !std::isfinite(WF)) WF = 1.0;
  const double Shear = std::tan(qdClampOblique(FObliqueAngle) * M_PI / 180);
  const double HS = H / M.Units, WS = HS * WF;
  TFMatrix T = MakeMatrix(WS, 0, Shear * HS, HS, 0, 0);
  T = ComposeMatrices(T, RotationZMatrix(FRotation));
  T = ComposeMatrices(T, TranslationMatrix(Point()));
  if (IsNonDefaultExtrusion(FExtrusion)) T = ComposeMatrices(T, ExtrusionMatrix(FExtrusion));
  FMatrix = T;
  R.Matrix = T;
  // The box of the strokes themselves: shapes draw on both sides of their origin.
  std::vector<TqdTextPath> Paths;
  qdRunPaths(R, cnstIdentityMat, Paths);
  TFRect B = cnstBadRect;
  for (const TqdTextPath& P : Paths)
    for (const TFPoint& Q : P.Points) UnionBoxPoint(B, Q);
  if (Paths.empty() || !IsFiniteBox(B)) return;
  FShapeNumber = N;
  FRuns.push_back(std::move(R));
  FBox = B;
}


// ---------------------------------------------------------------- MText

namespace {

constexpr int cMaxLevels = 64;
constexpr int cMaxTabs = 15;

struct TMTextProps {
  std::string SHXFont;  // empty: the style's font
  std::string Face;     // TrueType face; set: TrueType
  bool Bold = false, Italic = false;
  double Height = 0, Width = 1, Oblique = 0;
  bool Under = false, Over = false, Strike = false;
  int ColorIndex = -1;
  bool TrueColor = false;
  std::uint32_t RGB = 0;
  int VAlign = 0;        // within the line: 0 bottom, 1 centre, 2 top
  double Tracking = 1;   // character spacing: factor of every advance
};

struct TParagraph {
  double Indent = 0, Left = 0, Right = 0;
  int Align = -1;  // 0 left, 1 centre, 2 right, 3 justified, 4 distributed; -1 the attachment's
  std::vector<double> Tabs;
};

// One item of the parsed string.
struct TMItem {
  // ikColumn: \N, a paragraph break that also starts the next column.
  enum TKind { ikText, ikTab, ikLine, ikParagraph, ikStack, ikColumn } Kind = ikText;
  std::u16string Text, Den;
  char16_t StackSep = 0;
  TMTextProps Props;
  TParagraph Para;
};

std::string Narrow(std::u16string_view S) {
  std::string R;
  for (char16_t C : S) R += C < 128 ? char(C) : '?';
  return R;
}

bool ParseNumber(std::u16string_view S, double& V) {
  std::string N = Narrow(S);
  for (char& C : N)
    if (C == ',') C = '.';
  char* End = nullptr;
  const double D = std::strtod(N.c_str(), &End);
  if (End == N.c_str() || !std::isfinite(D)) return false;
  V = D;
  return true;
}

class TMTextParser {
public:
  TMTextParser(std::u16string_view S, const TMTextProps& Base) : FS(S), FProps(Base) {}
  std::vector<TMItem> Items;

  void Run() {
    while (FI < FS.size()) {
      const char16_t C = FS[FI];
      if (C == '\\' && FI + 1 < FS.size()) {
        Code();
        continue;
      }
      if (C == '{') {
        if (FLevels.size() < cMaxLevels) FLevels.push_back(FProps);
        else ++FOverflow;
        ++FI;
        continue;
      }
      if (C == '}') {
        // An unmatched "}" closes nothing.
        if (FOverflow > 0) --FOverflow;
        else if (!FLevels.empty()) {
          FProps = FLevels.back();
          FLevels.pop_back();
        }
        ++FI;
        continue;
      }
      if (C == '^' && FI + 1 < FS.size()) {
        const char16_t D = FS[FI + 1];
        if (D == 'I') {
          Push(TMItem::ikTab);
          FI += 2;
          continue;
        }
        if (D == 'J') {
          Push(TMItem::ikLine);
          FI += 2;
          continue;
        }
      }
      if (C == '\t') {
        Push(TMItem::ikTab);
        ++FI;
        continue;
      }
      if (C == '\n') {
        Push(TMItem::ikLine);
        ++FI;
        continue;
      }
      if (C == '\r') {
        ++FI;
        continue;
      }
      if (C == '%' && FI + 2 < FS.size() && FS[FI + 1] == '%') {
        // Special codes share the single-line decoder (bounded to this code).
        std::size_t K = FI + 2;
        while (K < FS.size() && K < FI + 5 && FS[K] >= '0' && FS[K] <= '9') ++K;
        if (K == FI + 2) K = FI + 3;
        Append(DecodeRange(FI, K));
        FI = K;
        continue;
      }
      Append(std::u16string(1, C));
      ++FI;
    }
  }

private:
  std::u16string DecodeRange(std::size_t A, std::size_t B) {
    std::string U;
    for (std::size_t I = A; I < B; ++I) U += char(FS[I] < 128 ? FS[I] : '?');
    return qdDecodeTextCodes(U);
  }
  TMItem& Current() {
    if (Items.empty() || Items.back().Kind != TMItem::ikText || !SameProps(Items.back().Props)) {
      TMItem I;
      I.Props = FProps;
      I.Para = FPara;
      Items.push_back(std::move(I));
    }
    return Items.back();
  }
  bool SameProps(const TMTextProps& P) const {
    return P.SHXFont == FProps.SHXFont && P.Face == FProps.Face && P.Bold == FProps.Bold &&
           P.Italic == FProps.Italic && P.Height == FProps.Height && P.Width == FProps.Width &&
           P.Oblique == FProps.Oblique && P.Under == FProps.Under && P.Over == FProps.Over &&
           P.Strike == FProps.Strike &&
           P.ColorIndex == FProps.ColorIndex && P.TrueColor == FProps.TrueColor && P.RGB == FProps.RGB &&
           P.VAlign == FProps.VAlign && P.Tracking == FProps.Tracking;
  }
  void Append(const std::u16string& T) { Current().Text += T; }
  void Push(TMItem::TKind K) {
    TMItem I;
    I.Kind = K;
    I.Props = FProps;
    I.Para = FPara;
    Items.push_back(std::move(I));
  }
  // The argument of a code up to its ";". Writers also leave the ";" out: then a
  // number (with the "x" of a relative value) is the argument and the text goes on
  // after it. Without either the code is malformed: Ok is false, FI stays where the
  // argument would start and the text after the code is kept.
  std::u16string_view Arg(char16_t D, bool& Ok) {
    Ok = true;
    const bool Name = D == 'F' || D == 'f';
    const std::size_t Limit = Name ? 256 : 64;
    for (std::size_t K = FI; K < FS.size() && K - FI <= Limit; ++K) {
      const char16_t C = FS[K];
      if (C == ';') {
        std::u16string_view A = FS.substr(FI, K - FI);
        FI = K + 1;
        return A;
      }
      if (C == '\\' || C == '{' || C == '}' || (!Name && (C == ' ' || C == '\n'))) break;
    }
    if (!Name && D != 'p') {
      std::size_t K = FI;
      if (K < FS.size() && (FS[K] == '-' || FS[K] == '+')) ++K;
      bool Digits = false, Dot = false;
      for (; K < FS.size(); ++K) {
        if (FS[K] >= '0' && FS[K] <= '9') Digits = true;
        else if (FS[K] == '.' && !Dot) Dot = true;
        else break;
      }
      if (Digits) {
        if (K < FS.size() && (FS[K] == 'x' || FS[K] == 'X') && (D == 'H' || D == 'W' || D == 'T')) ++K;
        std::u16string_view A = FS.substr(FI, K - FI);
        FI = K;
        return A;
      }
    }
    Ok = false;
    return {};
  }
  void Code() {
    const char16_t D = FS[FI + 1];
    FI += 2;
    switch (D) {
      case 'P': Push(TMItem::ikParagraph); return;
      case 'L': FProps.Under = true; return;
      case 'l': FProps.Under = false; return;
      case 'O': FProps.Over = true; return;
      case 'o': FProps.Over = false; return;
      case 'K': FProps.Strike = true; return;
      case 'k': FProps.Strike = false; return;
      case '~': Append(u"\u00A0"); return;
      case '\\': case '{': case '}': Append(std::u16string(1, D)); return;
      case 'X': Push(TMItem::ikLine); return;  // dimension text: what follows goes below the line
      case 'A': case 'C': case 'c': case 'H': case 'Q': case 'W': case 'T': case 'F': case 'f':
      case 'p': {
        bool Ok = false;
        const std::u16string_view A = Arg(D, Ok);
        if (!Ok) {
          Append(std::u16string{u'\\', D});  // malformed: shown as written, the text goes on
          return;
        }
        double V = 0;
        if (D == 'C' && ParseNumber(A, V) && V >= 0 && V <= 257) {
          FProps.ColorIndex = static_cast<int>(V);
          FProps.TrueColor = false;
        } else if (D == 'c' && ParseNumber(A, V) && V >= 0 && V <= 0xFFFFFF) {
          FProps.TrueColor = true;
          FProps.RGB = static_cast<std::uint32_t>(V);
        } else if (D == 'H' && ParseNumber(A, V)) {
          const bool Rel = !A.empty() && (A.back() == 'x' || A.back() == 'X');
          const double NH = Rel ? FProps.Height * V : V;
          if (NH > 1e-9 && NH < 1e12) FProps.Height = NH;
        } else if (D == 'Q' && ParseNumber(A, V)) {
          FProps.Oblique = qdClampOblique(V);
        } else if (D == 'W' && ParseNumber(A, V)) {
          if (V > 1e-6 && V < 1e6) FProps.Width = V;
        } else if (D == 'A' && ParseNumber(A, V)) {
          if (V >= 0 && V <= 2) FProps.VAlign = static_cast<int>(V);
        } else if (D == 'T' && ParseNumber(A, V)) {
          // The editor's range; values from files beyond it would pile up or scatter.
          FProps.Tracking = std::clamp(V, 0.75, 4.0);
        } else if (D == 'F' || D == 'f') {
          Font(A, D == 'f');
        } else if (D == 'p') {
          Paragraph(A);
        }
        return;
      }
      case 'S': {
        const std::size_t End = FS.find(u';', FI);
        if (End == std::u16string_view::npos) {
          Append(u"\\S");  // no closing ";": the characters are shown as they are
          return;
        }
        const std::u16string_view A = FS.substr(FI, End - FI);
        FI = End + 1;
        std::size_t Sep = std::u16string_view::npos;
        for (std::size_t K = 0; K < A.size(); ++K)
          if ((A[K] == '^' || A[K] == '/' || A[K] == '#') && (K == 0 || A[K - 1] != '\\')) {
            Sep = K;
            break;
          }
        TMItem I;
        I.Kind = TMItem::ikStack;
        I.Props = FProps;
        I.Para = FPara;
        auto Clean = [](std::u16string_view X) {
          std::u16string R;
          for (std::size_t K = 0; K < X.size(); ++K)
            if (!(X[K] == '\\' && K + 1 < X.size())) R += X[K];
          return R;
        };
        if (Sep == std::u16string_view::npos) {
          I.Text = Clean(A);
        } else {
          I.Text = Clean(A.substr(0, Sep));
          I.Den = Clean(A.substr(Sep + 1));
          I.StackSep = A[Sep];
        }
        // "^" with a leading blank: the form used for sub/superscripts.
        Items.push_back(std::move(I));
        return;
      }
      case 'U': case 'u': case 'M': case 'm': {
        std::size_t K = FI;
        // "+" and four hexadecimal digits; "+", the code page digit and four for \M.
        const std::size_t Want = (D == 'U' || D == 'u') ? 5 : 6;
        while (K < FS.size() && K < FI + Want) ++K;
        Append(DecodeRange(FI - 2, K));
        FI = K;
        return;
      }
      case 'N':
        Push(TMItem::ikColumn);
        if (FI < FS.size() && FS[FI] == ';') ++FI;
        return;
      case 'B': case 'I':
        // Bold and italic (one digit).
        if (FI < FS.size() && (FS[FI] == '0' || FS[FI] == '1')) {
          (D == 'B' ? FProps.Bold : FProps.Italic) = FS[FI] == '1';
          ++FI;
        }
        if (FI < FS.size() && FS[FI] == ';') ++FI;
        return;
      case '$':
        return;  // without a stacked level there is nothing to take
      default:
        Append(std::u16string{u'\\', D});
        return;
    }
  }
  void Font(std::u16string_view A, bool TrueType) {
    std::string Name = Narrow(A.substr(0, A.find(u'|')));
    const std::string Upper = SHXUpperCase(Name);
    if (!TrueType || (Upper.size() > 4 && Upper.compare(Upper.size() - 4, 4, ".SHX") == 0)) {
      if (Name.find("\\U+") != std::string::npos) Name = "simplex";
      FProps.SHXFont = Name.empty() ? std::string("txt") : Name;
      FProps.Face.clear();
      return;
    }
    const auto Dot = Name.rfind('.');
    if (Dot != std::string::npos) Name.erase(Dot);
    if (Name.find("\\U+") != std::string::npos || Name.empty()) Name = "Arial";
    FProps.Face = Name;
    FProps.SHXFont.clear();
    FProps.Bold = FProps.Italic = false;
    std::size_t P = A.find(u'|');
    while (P != std::u16string_view::npos && P + 1 < A.size()) {
      const char16_t K = A[P + 1];
      if ((K == 'b' || K == 'i') && P + 2 < A.size()) (K == 'b' ? FProps.Bold : FProps.Italic) = A[P + 2] == '1';
      P = A.find(u'|', P + 1);
    }
  }
  // \p: indent of the first line (i), left and right margins (l, r), alignment
  // (q with l, c, r, j, d), tab stops (t, each optionally marked c, r or d); "*" puts
  // a value back to its default; "x" marks the extended form.
  void Paragraph(std::u16string_view A) {
    constexpr double K = 0.999963199872;
    char16_t Key = 0;
    std::size_t P = 0;
    bool ResetTabs = true;
    while (P < A.size()) {
      const char16_t C = A[P];
      if (C == 'x' || C == ' ') {
        ++P;
        continue;
      }
      if (C == 'q') {
        const char16_t Q = P + 1 < A.size() ? A[P + 1] : 0;
        if (Q == 'l') FPara.Align = 0;
        else if (Q == 'c') FPara.Align = 1;
        else if (Q == 'r') FPara.Align = 2;
        else if (Q == 'j') FPara.Align = 3;
        else if (Q == 'd') FPara.Align = 4;
        else if (Q == '*') FPara.Align = -1;
        P += 2;
        Key = 0;
        continue;
      }
      // Within a tab list c, r and d before a number mark the kind of a stop.
      const bool TabKind = Key == 't' && (C == 'c' || C == 'r' || C == 'd') && P + 1 < A.size() &&
                           ((A[P + 1] >= '0' && A[P + 1] <= '9') || A[P + 1] == '.');
      if (!TabKind && (C == 'i' || C == 'l' || C == 'r' || C == 't')) {
        Key = C;
        ++P;
        if (C == 't' && ResetTabs) {
          FPara.Tabs.clear();
          ResetTabs = false;
        }
        continue;
      }
      if (C == ',') {
        ++P;
        continue;
      }
      if (TabKind) ++P;
      std::size_t E = P;
      while (E < A.size() && A[E] != ',') ++E;
      double V = 0;
      if (E > P && A[P] == '*') {
        if (Key == 'i') FPara.Indent = 0;
        else if (Key == 'l') FPara.Left = 0;
        else if (Key == 'r') FPara.Right = 0;
        else if (Key == 't') FPara.Tabs.clear();
      } else if (E > P && ParseNumber(A.substr(P, E - P), V)) {
        V *= K;
        if (Key == 'i') FPara.Indent = V;
        else if (Key == 'l') FPara.Left = V;
        else if (Key == 'r') FPara.Right = std::max(V, 0.0);
        else if (Key == 't' && V > 0 && FPara.Tabs.size() < cMaxTabs) FPara.Tabs.push_back(V);
      } else if (E > P && !(A[P] >= '0' && A[P] <= '9') && A[P] != '-' && A[P] != '.') {
        Key = 0;  // another letter: its values are skipped
      }
      P = E + 1;
    }
  }

  std::u16string_view FS;
  std::size_t FI = 0;
  TMTextProps FProps;
  TParagraph FPara;
  std::vector<TMTextProps> FLevels;
  int FOverflow = 0;
};

}  // namespace

double TqdDXFMText::EffectiveAngle() const {
  const TFPoint D = FPoint1;
  if (HasPoint1() && std::hypot(D.X, D.Y, D.Z) > 1e-9) {
    const TFPoint O = IsNonDefaultExtrusion(FExtrusion) ? WCSToOCS(D, FExtrusion) : D;
    if (std::hypot(O.X, O.Y) > 1e-9) return std::atan2(O.Y, O.X) * 180 / M_PI;
  }
  return Rotation();
}

void TqdDXFMText::Loaded(TqdDXFConverter* C) {
  TqdDXFCustomVertex::Loaded(C);
  FRuns.clear();
  FBox = cnstBadRect;
  FMatrix = cnstIdentityMat;
  if (!C) return;
  if (!Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
  if (!Style() && !FTextStyleItem.Link()) SetStyle(C->StyleByName("STANDARD"));
  const TqdDXFStyle* S = Style();
  double H0 = std::fabs(FHeight);
  if (!(H0 > cMinHeight)) H0 = S && S->FLastHeightUsed > cMinHeight ? S->FLastHeightUsed : 2.5;
  TMTextProps Base;
  Base.Height = H0;
  Base.Width = S ? S->FWidthFactor : 1;
  Base.Oblique = S ? qdClampOblique(S->FObliqueAngle) : 0;
  std::u16string Str = SHXWideFromUTF8(FText);
  // Blanks around the whole string never show.
  const std::size_t First = Str.find_first_not_of(u" \t");
  if (First == std::u16string::npos) return;
  Str = Str.substr(First, Str.find_last_not_of(u" \t") - First + 1);
  TMTextParser P(Str, Base);
  P.Run();
  if (P.Items.empty()) return;

  // Layout in block coordinates: X right, the first line hanging below 0.
  struct TPlaced {
    TqdTextRun Run;
    int Line;
    double X, Width, Height, Shift;  // Shift: vertical offset from the baseline
    int VAlign;
  };
  // A line's reference: the plain piece of the largest font height (above plus below
  // the baseline); the next line hangs from it.
  struct TLineRef {
    double Total = 0, Above = 0, Height = 0;
  };
  std::vector<TPlaced> Placed;
  std::vector<double> LineHeight, LineRight;
  std::vector<TLineRef> LineRef;
  std::vector<bool> LineFirstOfPara;
  std::vector<TParagraph> LinePara;  // the paragraph each line belongs to
  int Line = 0;
  double X = 0;
  LineHeight.push_back(0);
  LineRight.push_back(0);
  LineRef.emplace_back();
  LineFirstOfPara.push_back(true);
  LinePara.emplace_back();
  // In columns the column width frames the text; a linked column takes the width of
  // the first column's text.
  const TqdMTextColumns& Co = FColumns;
  const bool InColumns = Co.Type != 0 && Co.Width > cMinHeight;
  const double FrameWidth = InColumns ? Co.Width : FLinkedColumnWidth > 0 ? FLinkedColumnWidth : FRectWidth;
  const double RW = FrameWidth > cMinHeight ? FrameWidth : 0;
  std::vector<bool> LineNewColumn{false};  // a \N before the line
  const int A = FAlign < 1 || FAlign > 9 ? 1 : FAlign;
  auto LineStart = [&](const TParagraph& Pa, bool First) {
    const double L = Pa.Left + (First ? Pa.Indent : 0);
    return L < 0 ? 0.0 : L;
  };
  auto NewLine = [&](bool Paragraph) {
    ++Line;
    LineHeight.push_back(0);
    LineRight.push_back(0);
    LineRef.emplace_back();
    LineFirstOfPara.push_back(Paragraph);
    LinePara.push_back(LinePara.back());
    LineNewColumn.push_back(false);
    X = -1;  // set by the next item from its paragraph indents
  };
  auto MakeRun = [&](const TMTextProps& Pr, std::u16string T, TqdRunMetrics& M) {
    TqdTextRun R;
    R.Text = std::move(T);
    if (!Pr.Face.empty()) {
      unsigned Bits = (Pr.Bold ? fstBold : 0) | (Pr.Italic ? fstItalic : 0);
      R.TTF = TrueTypeFace(Pr.Face, Bits);
    } else if (!Pr.SHXFont.empty() && C->UseSHXFonts()) {
      R.FontList = C->SHXFonts();
      R.SHXFont = Pr.SHXFont;
      if (!qdMeasureRun(R, M)) ResolveRunFont(C, R);
    } else {
      ResolveRunFont(C, R);
    }
    R.ColorIndex = Pr.ColorIndex;
    R.TrueColor = Pr.TrueColor;
    R.RGB = Pr.RGB;
    if (!qdMeasureRun(R, M) || !(M.Units > 0)) M = {}, M.Units = 0;
    return R;
  };
  // Font height above and below the baseline for a text height, from the font's
  // metrics; fonts that give none count as a third below.
  auto FontHeights = [](const TqdRunMetrics& M, double H, double& Above, double& Below) {
    Above = M.Units > 0 && M.Ascent > 0 ? M.Ascent / M.Units * H : H;
    Below = M.Units > 0 && M.Descent > 0 ? M.Descent / M.Units * H : H / 3;
  };
  auto TakeRef = [&](double Above, double Below, double Height) {
    if (Above + Below > LineRef[Line].Total) LineRef[Line] = {Above + Below, Above, Height};
  };
  // The base font's depth below the baseline (a probe "0" in the MText's style) is the
  // gap between lines.
  double BaseBelow = H0 / 3;
  {
    TqdRunMetrics M;
    MakeRun(Base, u"0", M);
    double Ab = 0;
    if (M.Units > 0) FontHeights(M, H0, Ab, BaseBelow);
  }
  // Places one run at the pen; Y is fixed once the line heights are known. Track
  // stretches the underline with the advances of tracked characters.
  auto Place = [&](TqdTextRun R, const TqdRunMetrics& M, const TMTextProps& Pr, double Scale, double Shift,
                   double AtX, double Track = 1) {
    if (!(M.Units > 0)) return 0.0;
    const double H = Pr.Height * Scale, HS = H / M.Units, WS = HS * Pr.Width;
    const double Shear = std::tan(Pr.Oblique * M_PI / 180);
    R.Matrix = MakeMatrix(WS, 0, Shear * HS, HS, AtX, Shift);
    const double W = M.Advance * WS;
    const int VA = Scale == 1 ? Pr.VAlign : 0;
    Placed.push_back({R, Line, AtX, W, H, Shift, VA});
    // Underline below the baseline, overline above the capitals, strike-through
    // across the middle of the capitals.
    for (const auto& [On, Y] : {std::pair{Pr.Under, -0.2}, std::pair{Pr.Over, 1.2}, std::pair{Pr.Strike, 0.5}}) {
      if (!On) continue;
      TqdTextRun L;
      L.IsLine = true;
      L.Matrix = R.Matrix;
      L.ColorIndex = R.ColorIndex, L.TrueColor = R.TrueColor, L.RGB = R.RGB;
      L.A = {0, Y * M.Units, 0};
      L.B = {M.Advance * Track, Y * M.Units, 0};
      Placed.push_back({L, Line, AtX, 0, H, Shift, VA});
    }
    LineHeight[Line] = std::max(LineHeight[Line], Scale == 1 ? H : Pr.Height);
    LineRight[Line] = std::max(LineRight[Line], AtX + W);
    if (Scale == 1) {
      double Ab = 0, Be = 0;
      FontHeights(M, H, Ab, Be);
      TakeRef(Ab, Be, H);
    }
    return W;
  };
  // A line without text is as high as the font's "@".
  auto EmptyLine = [&](const TMTextProps& Pr) {
    if (LineHeight[Line] != 0) return;
    LineHeight[Line] = Pr.Height;
    TqdRunMetrics M;
    MakeRun(Pr, u"@", M);
    double Ab = Pr.Height, Be = Pr.Height / 3;
    if (M.Units > 0) FontHeights(M, Pr.Height, Ab, Be);
    TakeRef(Ab, Be, Pr.Height);
  };
  bool HasText = false;
  for (const TMItem& I : P.Items) {
    if (X < 0) X = LineStart(I.Para, LineFirstOfPara[Line]);
    const bool Break = I.Kind == TMItem::ikParagraph || I.Kind == TMItem::ikLine || I.Kind == TMItem::ikColumn;
    if (!Break) LinePara[Line] = I.Para;
    // Bottom attachments grow upwards: breaks before the first text add nothing.
    if (A >= 7 && !HasText && Break) continue;
    switch (I.Kind) {
      case TMItem::ikColumn:
        // Outside columns the break has nothing to start.
        if (!InColumns) break;
        EmptyLine(I.Props);
        NewLine(true);
        LineNewColumn[Line] = true;
        break;
      case TMItem::ikParagraph:
        EmptyLine(I.Props);
        NewLine(true);
        break;
      case TMItem::ikLine:
        EmptyLine(I.Props);
        NewLine(false);
        break;
      case TMItem::ikTab: {
        // Stops every 4 heights, or the paragraph's; a height that gives no step
        // takes the base height, and without any step the tab is a blank.
        double Step = 4 * I.Props.Height;
        if (!(Step > 1e-9)) Step = 4 * H0;
        if (!(Step > 1e-9)) break;
        double Next = -1;
        for (double T : I.Para.Tabs)
          if (T > X + 1e-9) {
            Next = T;
            break;
          }
        if (Next < 0) {
          const double From = I.Para.Tabs.empty() ? 0 : I.Para.Tabs.back();
          const double K = std::floor((X - From) / Step) + 1;
          Next = From + std::max(K, 1.0) * Step;
          if (!std::isfinite(Next)) break;
        }
        X = Next;
        LineRight[Line] = std::max(LineRight[Line], X);
        break;
      }
      case TMItem::ikStack: {
        HasText = true;
        TqdRunMetrics MN, MD;
        TqdTextRun RN = MakeRun(I.Props, I.Text, MN);
        TqdTextRun RD = MakeRun(I.Props, I.Den, MD);
        const double H = I.Props.Height, Sc = I.StackSep == 0 ? 1 : 0.7;
        const double WN = MN.Units > 0 ? MN.Advance * H * Sc / MN.Units * I.Props.Width : 0;
        const double WD = MD.Units > 0 ? MD.Advance * H * Sc / MD.Units * I.Props.Width : 0;
        const double W = std::max(WN, WD);
        if (I.StackSep == 0) {
          X += Place(RN, MN, I.Props, 1, 0, X);
          break;
        }
        Place(RN, MN, I.Props, Sc, 0.6 * H, X + (W - WN) / 2);
        Place(RD, MD, I.Props, Sc, -0.35 * H, X + (W - WD) / 2);
        if (I.StackSep != '^' && W > 0) {
          TqdTextRun Bar;
          Bar.IsLine = true;
          Bar.A = {X, 0.45 * H, 0};
          Bar.B = {X + W, 0.45 * H, 0};
          Bar.ColorIndex = I.Props.ColorIndex, Bar.TrueColor = I.Props.TrueColor, Bar.RGB = I.Props.RGB;
          Placed.push_back({Bar, Line, 0, 0, 0, 0, 0});
        }
        X += W;
        LineHeight[Line] = std::max(LineHeight[Line], H);
        LineRight[Line] = std::max(LineRight[Line], X);
        TakeRef(H, H / 3, H);
        break;
      }
      case TMItem::ikText: {
        HasText = true;
        // Words with the blank that follows each; a word that crosses the frame
        // starts a new line unless the line is empty, so every pass consumes a word.
        std::u16string T = I.Text;
        for (char16_t& Ch : T)
          if (Ch == u'\u00A0') Ch = u' ';
        const double Track = I.Props.Tracking;
        std::size_t K = 0;
        while (K < T.size()) {
          std::size_t E = K;
          while (E < T.size() && T[E] == ' ') ++E;
          while (E < T.size() && T[E] != ' ') ++E;
          if (RW <= 0) E = T.size();
          std::u16string Word = T.substr(K, E - K);
          TqdRunMetrics M;
          TqdTextRun R = MakeRun(I.Props, Word, M);
          const double HS = M.Units > 0 ? I.Props.Height / M.Units : 0;
          const double W = M.Advance * HS * I.Props.Width * Track;
          const double Start = LineStart(I.Para, LineFirstOfPara[Line]);
          const double Limit = std::max(RW - I.Para.Right, Start);
          if (RW > 0 && X > Start + 1e-9 && X + W > Limit + 1e-9 && Word.find_first_not_of(u' ') != std::u16string::npos) {
            NewLine(false);
            LinePara[Line] = I.Para;
            X = LineStart(I.Para, LineFirstOfPara[Line]);
            const std::size_t F = Word.find_first_not_of(u' ');
            if (F != 0) {
              Word.erase(0, F);
              R = MakeRun(I.Props, Word, M);
            }
          }
          if (Track == 1) {
            X += Place(R, M, I.Props, 1, 0, X);
          } else {
            // Tracked characters keep their shapes; only their advances stretch.
            for (char16_t Ch : Word) {
              TqdRunMetrics MC;
              TqdTextRun RC = MakeRun(I.Props, std::u16string(1, Ch), MC);
              const double WC = Place(RC, MC, I.Props, 1, 0, X, Track);
              X += WC * Track;
              LineRight[Line] = std::max(LineRight[Line], X);
            }
          }
          K = E;
        }
        break;
      }
    }
  }
  if (LineHeight[Line] == 0 && Line > 0) {
    LineHeight.pop_back();
    LineRight.pop_back();
    LineRef.pop_back();
    LinePara.pop_back();
    LineFirstOfPara.pop_back();
    LineNewColumn.pop_back();
    --Line;
  }

  // Vertical placement: each line's top hangs below the previous line's top by the
  // spacing factor times the reference font height plus the base font's depth. A line's
  // top is its reference text height above the baseline (the cap line, also for
  // TrueType faces). Pieces share the line's baseline; \A moves smaller ones to the
  // centre or top of the line.
  const double F = FLineSpacingFactor > 0.25 && FLineSpacingFactor < 4 ? FLineSpacingFactor : 1.0;
  const std::size_t NL = LineHeight.size();
  std::vector<double> BaseY(NL), LineTop(NL);
  double Top = 0;
  for (std::size_t L = 0; L < NL; ++L) {
    if (!(LineRef[L].Total > 0)) LineRef[L] = {H0 * 4 / 3, H0, H0};
    if (L > 0) Top -= F * (LineRef[L - 1].Total + BaseBelow);
    LineTop[L] = Top;
    BaseY[L] = Top - LineRef[L].Height;
  }
  auto LineBottom = [&](std::size_t L) { return BaseY[L] - (LineRef[L].Total - LineRef[L].Above); };
  // Columns: a line that would reach below its column's height (or follows a \N)
  // starts the next column, at the column's top. The last static column and dynamic
  // columns without a height of their own take what is left, so that no word is lost.
  std::vector<int> LineColumn(NL, 0);
  std::vector<double> LineLift(NL, 0);
  int Columns = 1;
  if (InColumns) {
    auto ColumnHeight = [&](int K) -> double {
      if (Co.Type == 1) return Co.Count > 0 && K >= Co.Count - 1 ? 0 : Co.DefinedHeight;
      if (Co.AutoHeight || Co.Heights.empty()) return Co.DefinedHeight;
      return static_cast<std::size_t>(K) < Co.Heights.size() ? Co.Heights[static_cast<std::size_t>(K)] : 0;
    };
    constexpr int cMaxColumns = 10000;
    int K = 0;
    double ColumnTop = 0;
    std::size_t First = 0;  // the column's first line
    for (std::size_t L = 0; L < NL; ++L) {
      const double Limit = ColumnHeight(K);
      const bool Full = Limit > 0 && L > First && ColumnTop - LineBottom(L) > Limit + 1e-9;
      if ((LineNewColumn[L] || Full) && K + 1 < cMaxColumns) {
        ++K;
        ColumnTop = LineTop[L];
        First = L;
      }
      LineColumn[L] = K;
      LineLift[L] = -ColumnTop;
    }
    Columns = K + 1;
  }
  double Bottom = 0;
  for (std::size_t L = 0; L < NL; ++L) Bottom = std::min(Bottom, LineBottom(L) + LineLift[L]);
  double Right = 0;
  for (double R : LineRight) Right = std::max(Right, R);
  // W: the frame a line aligns in (one column); Total: the width of all columns.
  const double W = InColumns ? RW : std::max(Right, RW), H = -Bottom;
  const double Pitch = InColumns ? RW + Co.Gutter : 0;
  const double Total = InColumns ? Columns * RW + (Columns - 1) * Co.Gutter : W;

  const int Col = (A - 1) % 3;
  bool Visible = false;
  for (TPlaced& Pl : Placed) {
    const int L = std::clamp(Pl.Line, 0, static_cast<int>(BaseY.size()) - 1);
    // A paragraph's own alignment, within its margins, wins over the attachment's.
    // Justified and distributed lines keep their words' spacing and start at the left.
    const TParagraph& Pa = LinePara[L];
    double Shift = 0;
    if (Pa.Align < 0) {
      if (Col == 1) Shift = (W - LineRight[L]) / 2;
      else if (Col == 2) Shift = W - LineRight[L];
    } else if (Pa.Align == 1 || Pa.Align == 2) {
      const double From = LineStart(Pa, LineFirstOfPara[L]), To = std::max(W - Pa.Right, From);
      Shift = Pa.Align == 1 ? (From + To) / 2 - (From + LineRight[L]) / 2 : To - LineRight[L];
    }
    double Lift = 0;
    if (Pl.VAlign == 1) Lift = (LineHeight[L] - Pl.Height) / 2;
    else if (Pl.VAlign == 2) Lift = LineHeight[L] - Pl.Height;
    const int K = Co.FlowReversed ? Columns - 1 - LineColumn[L] : LineColumn[L];
    Pl.Run.Matrix = ComposeMatrices(
        Pl.Run.Matrix, TranslationMatrix({Shift + K * Pitch, BaseY[L] + LineLift[L] + std::max(Lift, 0.0), 0}));
    if (!Pl.Run.IsLine && !Pl.Run.Text.empty() && Pl.Run.Text.find_first_not_of(u' ') != std::u16string::npos)
      Visible = true;
    FRuns.push_back(std::move(Pl.Run));
  }
  if (!Visible) {
    FRuns.clear();
    return;
  }
  const double OX = Col == 1 ? Total / 2 : Col == 2 ? Total : 0;
  const double OY = A >= 7 ? -H : A >= 4 ? -H / 2 : 0;
  TFMatrix M = TranslationMatrix({-OX, -OY, 0});
  M = ComposeMatrices(M, RotationZMatrix(EffectiveAngle()));
  if (IsNonDefaultExtrusion(FExtrusion)) M = ComposeMatrices(M, ExtrusionMatrix(FExtrusion));
  M = ComposeMatrices(M, TranslationMatrix(Point()));
  FMatrix = M;
  FStartPoint = TransformPoint({0, 0, 0}, M);
  for (TqdTextRun& R : FRuns) R.Matrix = ComposeMatrices(R.Matrix, M);
  FBox = TransformBox(TFRect{0, 0, 0, Total, Bottom, 0}, M);
  if (!IsFiniteBox(FBox)) {
    FRuns.clear();
    FBox = cnstBadRect;
    C->AddWarning("MTEXT: a text too large to draw was left out");
  }
}

// ---------------------------------------------------------------- linetype objects

namespace {

// Texts and shapes embedded in linetypes become strokes through a text entity of
// their own, so that they look like the drawing's texts.
bool MakeLTypeStrokes(const TqdLTypeElement& E, const TqdDXFEntity* AStyle, const TqdDXFConverter* AConverter,
                      int& Kind, std::vector<std::vector<TFPoint>>& Strokes, double& Width, double& Height) {
  // Loading a text reads fonts into the drawing's font list; the drawing itself does
  // not change.
  auto* C = const_cast<TqdDXFConverter*>(AConverter);
  auto* Style = const_cast<TqdDXFStyle*>(dynamic_cast<const TqdDXFStyle*>(AStyle));
  if (!C) return false;
  const bool IsText = (E.ComplexType & TqdLTypeElement::cnstText) != 0;
  std::unique_ptr<TqdDXFText> T;
  if (IsText) {
    T = std::make_unique<TqdDXFText>();
    T->SetText(E.Text);
  } else {
    auto Sh = std::make_unique<TqdDXFShape>();
    Sh->SetShapeNumber(E.ShapeNumber);
    T = std::move(Sh);
  }
  double H = E.Scale;
  if (Style && Style->FFixedHeight > 0) H *= Style->FFixedHeight;
  if (!(std::fabs(H) > 1e-9) || !std::isfinite(H)) return false;
  T->SetStyle(Style);
  T->SetPoint({E.Offset.X, E.Offset.Y, 0});
  T->SetHeight(H);
  T->SetRotation(E.Rotation);
  T->SetScale(1);
  T->SetObliqueAngle(0);
  T->Loaded(C);
  const TFRect B = T->Box();
  if (IsBadBox(B) || !IsFiniteBox(B)) return false;
  std::vector<TqdTextPath> Paths;
  T->GetPaths(Paths);
  bool Filled = false;
  for (const TqdTextPath& P : Paths) {
    std::size_t K = 0;
    for (int N : P.Counts) {
      if (N < 0 || K + static_cast<std::size_t>(N) > P.Points.size()) break;
      std::vector<TFPoint> S(P.Points.begin() + K, P.Points.begin() + K + N);
      // Outlines of TrueType glyphs are closed contours; as strokes they close.
      if (P.Filled && N > 2) S.push_back(S.front());
      if (S.size() >= 2) Strokes.push_back(std::move(S));
      K += static_cast<std::size_t>(N);
    }
    Filled = Filled || P.Filled;
  }
  if (Strokes.empty()) return false;
  Kind = Filled ? lkTrueType : lkSHX;
  Width = std::fabs(B.Right - B.Left);
  Height = std::fabs(B.Top - B.Bottom);
  return true;
}

const bool cLTypeStrokesInstalled = (qdSetLTypeStrokeMaker(MakeLTypeStrokes), true);

}  // namespace
