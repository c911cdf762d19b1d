#include "HPGL2.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Blocks.h"
#include "Curves.h"
#include "Inserts.h"
#include "Objects.h"
#include "TableItems.h"
#include "Texts.h"
#include "qdFunction.h"

#include "HPGL2Consts.h"

using namespace qdhpgl;

// ---------------------------------------------------------------- entities

void TqdFlatPoly::AddStroke(const std::vector<TFPoint>& APoints) {
  if (APoints.size() < 2) return;
  if (FCounts.empty() && !FPoints.empty()) FCounts.push_back(static_cast<int>(FPoints.size()));
  FPoints.insert(FPoints.end(), APoints.begin(), APoints.end());
  FCounts.push_back(static_cast<int>(APoints.size()));
}

void TqdFlatPoly::GeneratePoints(TqdDXFConverter*) {
  FPolyPoints.Clear(false);
  FPolyPoints.SetCapacity(static_cast<int>(FPoints.size()));
  for (const TFPoint& P : FPoints) FPolyPoints.Add(P);
}

void TqdFlatPoly::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFLWPolyline::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdFlatPoly*>(&Source)) {
    FPoints = S->FPoints;
    FCounts = S->FCounts;
  }
}

void TqdPCLImage::Loaded(TqdDXFConverter* C) {
  TqdDXFImageEnt::Loaded(C);
  if (C && !Layer() && !FLayerItem.Link()) SetLayer(C->LayerByName("0"));
  FBox = cnstBadRect;
  const TFPoint U{FUVector.X * FSize.X, FUVector.Y * FSize.X, 0}, V{FVVector.X * FSize.Y, FVVector.Y * FSize.Y, 0};
  const TFPoint Corners[4] = {FPoint, {FPoint.X + U.X, FPoint.Y + U.Y, FPoint.Z}, {FPoint.X + V.X, FPoint.Y + V.Y, FPoint.Z},
                              {FPoint.X + U.X + V.X, FPoint.Y + U.Y + V.Y, FPoint.Z}};
  for (const TFPoint& P : Corners)
    if (IsFiniteFPoint(P)) UnionBoxPoint(FBox, P);
}

std::uint32_t TqdPCLImage::PixelColor(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return 0xFFFFFF;
  const std::size_t Stride = ((static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FBitsPerPixel) + 31) / 32) * 4;
  // Rows are stored bottom-up.
  const std::size_t Row = static_cast<std::size_t>(FHeight - 1 - Y) * Stride;
  if (FBitsPerPixel == 24) {
    const std::size_t At = Row + 3 * static_cast<std::size_t>(X);
    if (At + 2 >= FBits.size()) return 0xFFFFFF;
    return FBits[At + 2] | (FBits[At + 1] << 8) | (static_cast<std::uint32_t>(FBits[At]) << 16);
  }
  const std::size_t At = Row + static_cast<std::size_t>(X);
  if (At >= FBits.size()) return 0xFFFFFF;
  const std::size_t I = FBits[At];
  return I < FPalette.size() ? FPalette[I] & 0xFFFFFF : 0xFFFFFF;
}

void TqdPCLImage::AssignEntity(const TqdDXFEntity& Source) {
  TqdDXFImageEnt::AssignEntity(Source);
  if (const auto* S = dynamic_cast<const TqdPCLImage*>(&Source)) {
    FWidth = S->FWidth;
    FHeight = S->FHeight;
    FBitsPerPixel = S->FBitsPerPixel;
    FROP = S->FROP;
    FPalette = S->FPalette;
    FBits = S->FBits;
    FBox = S->FBox;
  }
}

// ---------------------------------------------------------------- reader

TqdHPGLReader::TqdHPGLReader(TqdDXFConverter* AConv, const std::uint8_t* AData, std::size_t ASize)
    : TqdDrawingLoader(AConv), FMem(AData), FLimit(AData ? ASize : 0), FPCL(this) {
  FPens.resize(257);
  for (int I = 1; I <= 17; ++I) FLineTypes.push_back(AConv->LTypeByName(HPGLLineTypeName(I)));
  FStyle = AConv->StyleByName("STANDARD");
  // The converter's own layout dictionaries make way for the pages at once.
  NoteOwnDictionaries();
  DropOwnDictionaries();
  FOwnDictionaries[0] = FOwnDictionaries[1] = nullptr;
  Reset();
}

TqdHPGLReader::~TqdHPGLReader() = default;

void TqdHPGLReader::Reset() {
  FError = false;
  FHPGLCmd[0] = FHPGLCmd[1] = 0;
  FPenDown = false;
  FRelative = false;
  FRotation = 0;
  FScaling = false;
  FIsotropic = false;
  FScaleShift = {0, 0};
  FScale = {1, 1};
  FRTLScale = 1;
  FinishPolyline();
  FPolyMode = false;
  FPolyBuffer.clear();
  FPage = {8128, 10160};
  FPenPos = {0, 0};
  FRealP1 = {0, 0};
  FRealP2 = FPage;
  FUserP1 = FRealP1;
  FUserP2 = FRealP2;
  FShading = 1;
  FRasterFillInk.clear();
  FTextHeight = 4.057;
  // The default cell is 0.4 times as wide as high; SI's width factor is 1.6 x w / h,
  // so the same cell has the factor 0.64 (0.4 itself draws labels at 40 % width).
  FTextWidth = 1.6 * 0.4;
  FIsSR = false;
  FTextRotation = 0;
  FSlant = 0;
  FHAlign = 0;
  for (int I = 0; I < 257; ++I) FPens[static_cast<std::size_t>(I)] = TPen{I < 8 ? cDefaultPenColors[I] : cnstDefaultPenColor, 0.35};
  FCurPenNum = 1;
  FLType = nullptr;
  FLblTerm = 3;
  FLblTermPrinted = false;
  FSymbol = 0;
  FTextPath = 0;
  FExtraSpace = {0, 0};
  FDrawingName.clear();
  FTextPos = {};
}

void TqdHPGLReader::Progress() {
  if (!FOnProgress || FPos < FNextProgress) return;
  FNextProgress = FPos + 65536;
  FOnProgress(FPos, FLimit);
}

// ---- parameters

bool TqdHPGLReader::NumberToken(std::string_view T, double& V) {
  while (!T.empty() && (T.front() == ' ' || T.front() == '\t')) T.remove_prefix(1);
  while (!T.empty() && (T.back() == ' ' || T.back() == '\t')) T.remove_suffix(1);
  if (!T.empty() && T.front() == '+') T.remove_prefix(1);
  if (T.empty()) return false;
  const auto R = std::from_chars(T.data(), T.data() + T.size(), V);
  return R.ec == std::errc() && R.ptr == T.data() + T.size() && std::isfinite(V) && std::fabs(V) < cnstMaxCoord;
}

bool TqdHPGLReader::ReadParams(bool ACoords) {
  FCommandParameters.clear();
  std::string Token;
  while (FPos < FLimit) {
    while (FPos < FLimit && (FMem[FPos] == '\n' || FMem[FPos] == '\r' || FMem[FPos] == ' ' || FMem[FPos] == '\t'))
      ++FPos;
    Token.clear();
    while (FPos < FLimit) {
      const std::uint8_t C = FMem[FPos];
      if (C == 27 || C == ' ' || C == ',' || C == ';' || C >= 65 || C == 0 || C == 12) break;
      if (C != '\r' && C != '\n' && C != '\t') Token.push_back(static_cast<char>(C));
      ++FPos;
    }
    const bool Comma = FPos < FLimit && FMem[FPos] == ',';
    if (Token.empty() && !Comma) break;
    if (Comma) ++FPos;
    if (Token.empty()) continue;
    double V = 0;
    if (!NumberToken(Token, V)) {
      FError = true;
      return false;
    }
    if (ACoords && FScaling) {
      V = static_cast<double>(static_cast<float>(V)) * (FCommandParameters.size() % 2 == 0 ? FScale.X : FScale.Y);
      if (!std::isfinite(V)) {
        FError = true;
        return false;
      }
    }
    // A list longer than the data could hold is the data itself: cap the memory.
    if (FCommandParameters.size() < (std::size_t(1) << 24)) FCommandParameters.push_back(V);
  }
  if (FPos < FLimit && FMem[FPos] == ';') ++FPos;
  return true;
}

bool TqdHPGLReader::IntParam(std::size_t I, int ALo, int AHi, int& V) const {
  return I < FCommandParameters.size() && ToInt(FCommandParameters[I], ALo, AHi, V);
}

void TqdHPGLReader::SkipUnknown() {
  while (FPos < FLimit) {
    const std::uint8_t C = FMem[FPos];
    if (C == 0 || C == 12 || C == 27 || C == ';' || C >= 65) break;
    ++FPos;
  }
  if (FPos < FLimit && FMem[FPos] == ';') ++FPos;
}

// ---- the command loop

void TqdHPGLReader::ReadFile() {
  FPos = 0;
  FStart = 0;
  if (FLimit < 5) {
    Finish();
    return;
  }
  try {
    Loop();
  } catch (...) {
    // What was read before the fault stays.
    Finish();
    throw;
  }
  Finish();
}

void TqdHPGLReader::Loop() {
  while (FPos < FLimit) {
    if (Stopped()) break;
    FStart = FPos;
    const std::uint8_t C = FMem[FPos++];
    if (C == 0) continue;
    if (C == 12) {
      NewPage();
      continue;
    }
    if (C == 27) {
      if (FPos >= FLimit) break;
      const std::uint8_t F = FMem[FPos++];
      switch (F) {
        case '%': {
          // ESC % n A / B / X
          std::size_t P = FPos;
          bool Neg = false;
          if (P < FLimit && (FMem[P] == '-' || FMem[P] == '+')) Neg = FMem[P++] == '-';
          long long N = 0;
          while (P < FLimit && FMem[P] >= '0' && FMem[P] <= '9') {
            if (N < 1000000000) N = N * 10 + (FMem[P] - '0');
            ++P;
          }
          if (Neg) N = -N;
          const int L = P < FLimit ? FMem[P] : 0;
          FPos = P < FLimit ? P + 1 : P;
          if (L == 'A') {
            FIsPCL = true;
            FPCLMode = true;
            if (N == 1) FPCL.FPenPosition = FPenPos;
            if (FPos < FLimit && FMem[FPos] == 12) {
              ++FPos;
              NewPage();
            }
          } else if (L == 'B') {
            FInPCLPage = true;
            FPCLMode = false;
            if (N == 1) FPenPos = FPCL.FPenPosition;
          } else if (L == 'X') {
            FPCLMode = false;  // the end of a job: PJL or a language follows
            if (PeekByte() == '@') {
              ++FPos;
              ReadPJL();
            }
          }
          break;
        }
        case 'E':
          break;
        case '.':
          if (FPos < FLimit) ++FPos;
          break;
        case '&':
          FPCL.Ampersand();
          break;
        case '(':
        case ')':
          FPCL.Font();
          break;
        case '*':
          FPCL.Process();
          break;
        default:
          break;
      }
      continue;
    }
    if (FPCLMode) {
      if (C > 32 && C < 127 && !FPCLTextNoted) {
        FPCLTextNoted = true;
        Warn("PCL: text printed by PCL itself is not drawn");
      }
      continue;
    }
    if (C == '@') {
      ReadPJL();
      continue;
    }
    if (!IsLetter(C)) continue;
    std::size_t P = FPos;
    while (P < FLimit && (FMem[P] == '\r' || FMem[P] == '\n')) ++P;
    if (P >= FLimit) break;
    const std::uint8_t C2 = FMem[P];
    if (C2 == 27) {
      FPos = P;
      continue;
    }
    if (!IsLetter(C2)) {
      FPos = P;
      continue;
    }
    FPos = P + 1;
    Execute(static_cast<char>(std::toupper(C)), static_cast<char>(std::toupper(C2)));
    Progress();
  }
}

void TqdHPGLReader::Execute(char A, char B) {
  FHPGLCmd[0] = A;
  FHPGLCmd[1] = B;
  FError = false;
  ++FKnownCommands;
  const int K = A * 256 + B;
  auto Is = [K](const char* M) { return K == M[0] * 256 + M[1]; };
  if (Is("PA")) Plot(FPenDown, 1);
  else if (Is("PR")) Plot(FPenDown, 2);
  else if (Is("PD")) Plot(true, 0);
  else if (Is("PU")) Plot(false, 0);
  else if (Is("PE")) PolylineEncoded();
  else if (Is("AA")) ArcAbs(false);
  else if (Is("AR")) ArcAbs(true);
  else if (Is("AT")) ArcThree(false);
  else if (Is("RT")) ArcThree(true);
  else if (Is("BZ")) Bezier(false);
  else if (Is("BR")) Bezier(true);
  else if (Is("CI")) Circle();
  else if (Is("CO")) Comment();
  else if (Is("EW")) Wedge(false);
  else if (Is("WG")) Wedge(true);
  else if (Is("CP")) CharPlot();
  else if (Is("DI")) Direction(false);
  else if (Is("DR")) Direction(true);
  else if (Is("DT")) {
    if (FPos < FLimit) {
      const char T = static_cast<char>(FMem[FPos]);
      // "DT;" (a separator is never a terminator) restores the default ETX.
      if (T == ';' || T == 0 || T == 27 || T == '\n' || T == '\r') {
        FLblTerm = 3;
        FLblTermPrinted = false;
        if (T == ';') ++FPos;
      } else {
        ++FPos;
        FLblTerm = T;
        // DT c,0 prints the terminator, DT c,1 (the default) does not.
        FLblTermPrinted = false;
        if (PeekByte() == ',') {
          ++FPos;
          if (ReadParams(false) && !FCommandParameters.empty()) FLblTermPrinted = FCommandParameters[0] == 0;
        } else {
          SkipUnknown();
        }
      }
    }
  } else if (Is("SM")) {
    // SM c: mark every plotted point with c; SM; ends it.
    const int T = PeekByte();
    FSymbol = 0;
    if (T > 32 && T != ';' && T < 127) {
      FSymbol = static_cast<char>(T);
      ++FPos;
    }
    if (PeekByte() == ';') ++FPos;
  } else if (Is("ES")) {
    // Extra space between characters and lines, in cells; none without parameters.
    if (ReadParams(false)) {
      const auto& P = FCommandParameters;
      auto Get = [&P](std::size_t I) { return I < P.size() && std::isfinite(P[I]) ? std::clamp(P[I], -0.9, 100.0) : 0.0; };
      FExtraSpace = {Get(0), Get(1)};
    }
  } else if (Is("DV")) {
    if (ReadParams(false)) {
      int N = 0;
      FTextPath = IntParam(0, 0, 3, N) ? N : 0;
    }
  } else if (Is("EA")) RectEdge(false);
  else if (Is("ER")) RectEdge(true);
  else if (Is("EP")) { ReadParams(false); EdgePolygon(); }
  else if (Is("FP")) { ReadParams(false); FillPolygon(); }
  else if (Is("FR")) Frame();
  else if (Is("FT")) FillType();
  else if (Is("IN") || Is("DF")) {
    ReadParams(false);
    Reset();
  } else if (Is("BP")) DrawingName();
  else if (Is("IP")) InputP();
  else if (Is("IW")) InputWindow();
  else if (Is("LB")) Label();
  else if (Is("LO")) LabelOrigin();
  else if (Is("LT")) LineType();
  else if (Is("MC")) {
    if (ReadParams(false)) {
      int V = 252;
      if (FCommandParameters.size() >= 2 && !IntParam(1, 0, 255, V)) V = 252;
      FROP = V;
    }
  } else if (Is("NR") || Is("PG")) {
    ReadParams(false);
    if (!FEmpty && FLayout) {
      CloseMerged();
      FinishWindow();
      FLayout = nullptr;
    }
  } else if (Is("PC")) PenColorCmd();
  else if (Is("PM")) PolygonMode();
  else if (Is("PS")) PlotSize();
  else if (Is("PW")) PenWidth();
  else if (Is("RA")) RectFill(false);
  else if (Is("RR")) RectFill(true);
  else if (Is("RO")) RotateCmd();
  else if (Is("SC")) Scale();
  else if (Is("SI")) SizeAbs();
  else if (Is("SL")) Slant();
  else if (Is("SP")) SelectPen();
  else if (Is("SR")) SizeRel();
  else if (Is("RF")) RasterFill();
  else if (Is("WU") || Is("SD") || Is("AD") || Is("SS") || Is("SA") || Is("CS") || Is("CA") || Is("LA") ||
           Is("NP") || Is("TR") || Is("UL") || Is("VS") || Is("ES") || Is("AC") || Is("PP") || Is("QL") ||
           Is("SM") || Is("CF") || Is("DV") || Is("RF") || Is("SV") || Is("CR") || Is("IR") || Is("SB") ||
           Is("FI") || Is("FN") || Is("LM") || Is("EC") || Is("MG") || Is("RP") || Is("OP") || Is("OI") ||
           Is("OS") || Is("OE") || Is("OH") || Is("OW") || Is("OA") || Is("OC") || Is("OF") || Is("OL") ||
           Is("OO") || Is("OT") || Is("PT") || Is("TL") || Is("XT") || Is("YT") || Is("CT") || Is("KY") ||
           Is("BL") || Is("BF") || Is("CC") || Is("CM") || Is("DL") || Is("DS") || Is("GC") || Is("GM") ||
           Is("IM") || Is("LI") || Is("OD") || Is("OG") || Is("OK") || Is("DC") || Is("DP") || Is("EW") ||
           Is("WG") || Is("NS") || Is("PB") || Is("SG") || Is("VA") || Is("VN") || Is("WD")) {
    if (Is("UL") || Is("LA") || Is("SM") || Is("PT") || Is("TL") || Is("XT") || Is("YT") || Is("SA") ||
        Is("SS") || Is("CS") || Is("CA") || Is("SD") || Is("AD") || Is("CF") || Is("TR") || Is("NP") ||
        Is("WU") || Is("DV") || Is("ES") || Is("RF") || Is("SV") || Is("CR") || Is("IR") || Is("SB") ||
        Is("FI") || Is("FN") || Is("LM") || Is("EC") || Is("MG") || Is("PP") || Is("QL") || Is("AC") ||
        Is("VS") || Is("NS") || Is("GC") || Is("DL") || Is("DC") || Is("DP") || Is("PB") || Is("SG") ||
        Is("VA") || Is("VN") || Is("OP") || Is("OI") || Is("OS") || Is("OE") || Is("OH") || Is("OW") ||
        Is("OA") || Is("OC") || Is("OF") || Is("OL") || Is("OO") || Is("OT") || Is("CT") || Is("KY") ||
        Is("BL") || Is("BF") || Is("CC") || Is("CM") || Is("DS") || Is("GM") || Is("IM") || Is("LI") ||
        Is("OD") || Is("OG") || Is("OK") || Is("WD") || Is("RP"))
      SkipUnknown();
    else
      SkipUnknown();
  } else {
    ++FUnknownCommands;
    --FKnownCommands;
    SkipUnknown();
  }
}

// ---- coordinates

TF2DPoint TqdHPGLReader::ScaledPoint(double X, double Y) const { return {X, Y}; }

TFPoint TqdHPGLReader::ToDrawing(double X, double Y, bool APenUp) const {
  if (FScaling) {
    X += FRealP1.X - FUserP1.X * FScale.X + FScaleShift.X;
    Y += FRealP1.Y - FUserP1.Y * FScale.Y + FScaleShift.Y;
  }
  X *= cnstMMPerStep;
  Y *= cnstMMPerStep;
  TFPoint R{X, Y, APenUp && FPolyMode ? 1.0 : 0.0};
  switch (FRotation) {
    case 90:
      R.X = FFrame - Y;
      R.Y = X;
      break;
    case 180:
      R.X = -X;
      R.Y = FFrame - Y;
      break;
    case 270:
      R.X = Y + FFrame;
      R.Y = -X;
      break;
    default:
      R.Y = Y + FFrame;
      break;
  }
  if (!std::isfinite(R.X) || !std::isfinite(R.Y)) R.X = R.Y = 0;
  return R;
}

// ---- pages, layers and entities

void TqdHPGLReader::FlushFills() {
  if (FPendingFills.empty()) return;
  std::vector<std::unique_ptr<TqdDXFEntity>> Fills = std::move(FPendingFills);
  FPendingFills.clear();
  FMergeFill = nullptr;
  if (!FPageBlock) return;
  // Fills go beneath the page's line work: the tail after the fill position is taken
  // off the end and put back after them, so that no insertion moves the whole page.
  FHatchIndex = std::clamp(FHatchIndex, 0, FPageBlock->Count());
  std::vector<std::unique_ptr<TqdDXFEntity>> Tail;
  while (FPageBlock->Count() > FHatchIndex) {
    std::unique_ptr<TqdDXFEntity> E = FPageBlock->DeleteEntity(FPageBlock->Count() - 1);
    if (!E) break;
    Tail.push_back(std::move(E));
  }
  for (auto& F : Fills)
    if (SafeAdd(FPageBlock, F)) ++FHatchIndex;
  for (auto It = Tail.rbegin(); It != Tail.rend(); ++It) SafeAdd(FPageBlock, *It);
}

void TqdHPGLReader::ImagePlaced() {
  FlushFills();
  FHatchAfterImage = true;
  if (FPageBlock && !FWindowBlock) FHatchIndex = FPageBlock->Count();
}

void TqdHPGLReader::CloseMerged() {
  FinishPolyline();
  FOpenFlats.clear();
  FFlatOwner = nullptr;
}

void TqdHPGLReader::NewPage() {
  if (FLayout && FEmpty) return;
  CloseMerged();
  FinishWindow();
  FlushFills();
  if (FLayoutNum >= 9999) {
    // A page per form feed of a hostile file would never end: the rest shares the last.
    if (FLayout) return;
  } else {
    ++FLayoutNum;
  }
  const int Index = FLayoutNum - 1;
  TqdDXFBlock* B = nullptr;
  // The first page is the model space; the others are paper spaces.
  const std::string BN = Index == 0 ? "*Model_Space" : Index == 1 ? "*Paper_Space" : "*Paper_Space" + std::to_string(Index - 2);
  if (TqdDXFEntity* Blocks = FConverter->GetOrCreateSection(csBlocks))
    B = dynamic_cast<TqdDXFBlock*>(FConverter->NewNamedEntity(Blocks, ClassOf<TqdDXFBlock>(), BN));
  NoteBlock(B);
  char Name[16];
  std::snprintf(Name, sizeof Name, "Page%.2d", FLayoutNum);
  TqdDXFLayout* L = B ? B->Layout() : nullptr;
  if (L) {
    L->SetNameUnchecked(Name);
  } else if (B) {
    FConverter->GetOrCreateSection(csLayouts);
    auto NL = std::make_unique<TqdDXFLayout>();
    TqdDXFLayout* Raw = NL.get();
    FConverter->DoCreate(Raw);
    Raw->SetNameUnchecked(Name);
    Raw->SetTabOrder(Index);
    if (FConverter->AddLayout(std::move(NL)) >= 0) {
      Raw->SetPaperSpaceBlock(B);
      Raw->SetCADSpace(cs2D);
      FConverter->CheckEntityHandle(Raw);
      PlotSettingsFor(Raw);
      L = Raw;
    }
  }
  FLayout = L;
  FPageBlock = B;
  FEmpty = true;
  FHatchIndex = 0;
  FHatchAfterImage = false;
}

void TqdHPGLReader::PlotSettingsFor(TqdDXFLayout* L) {
  if (!L || !L->PlotSettings()) return;
  TqdDXFPlotSettings S;
  S.AssignEntity(*L->PlotSettings());
  auto Get = [this](const char* K, double Def) {
    for (const auto& [N, V] : FPJL)
      if (SameNameText(N, K)) {
        double D = 0;
        const auto R = std::from_chars(V.data(), V.data() + V.size(), D);
        if (R.ec == std::errc() && std::isfinite(D)) return D;
      }
    return Def;
  };
  auto GetS = [this](const char* K) {
    for (const auto& [N, V] : FPJL)
      if (SameNameText(N, K)) return V;
    return std::string();
  };
  S.FData.PrintOrConfigName = "DWF6 ePlot.pc3";
  const double W = Get("PAPERWIDTH", FPage.X / 1.411) * 0.035, H = Get("PAPERLENGTH", FPage.Y / 1.411) * 0.035;
  if (W > 0 && H > 0 && W < 1e6 && H < 1e6) S.FData.PlotPaperSize = {W, H};
  S.FData.UnprintableMargin = {Get("LEFTMARGIN", 0) * 0.035, Get("TOPMARGIN", 0) * 0.035,
                               Get("RIGHTMARGIN", 0) * 0.035, Get("BOTTOMMARGIN", 0) * 0.035};
  const std::string O = GetS("ORIENTATION");
  if (!O.empty()) S.SetLandScape(!SameNameText(O, "PORTRAIT"));
  const double Res = Get("RESOLUTION", 300);
  if (Res > 0 && Res < 100000) S.FData.ShadePlotCustomDPI = static_cast<int>(Res);
  L->SetPlotSettings(&S);
}

std::uint32_t TqdHPGLReader::PenColor(int APen) const {
  if (APen < 0 || APen > 256) APen = 1;
  return FPens[static_cast<std::size_t>(APen)].Color;
}

TqdDXFLayer* TqdHPGLReader::PenLayer(int APen) {
  if (APen < 0 || APen > 256) APen = 1;
  if (FLayers.empty()) FLayers.resize(257, nullptr);
  TqdDXFLayer*& L = FLayers[static_cast<std::size_t>(APen)];
  if (!L) {
    L = FConverter->LayerByName("Pen " + std::to_string(APen));
    if (L) {
      L->SetColorCAD(PenColorCAD(FPens[static_cast<std::size_t>(APen)].Color));
      L->SetLineWeight(FPens[static_cast<std::size_t>(APen)].Width);
    }
  }
  return L;
}

TqdDXFEntity* TqdHPGLReader::CurrentContainer() {
  if (!FLayout) NewPage();
  if (FWindowBlock) return FWindowBlock;
  return FPageBlock;
}

std::uint32_t TqdHPGLReader::EntityColor(bool AFill) const {
  std::uint32_t Color = PenColor(FCurPenNum);
  if (AFill && FShading < 1) {
    // The default colour is black on paper: shade its RGB value, not the flag word.
    const std::uint32_t RGB = Color > 0xFFFFFF ? 0 : Color;
    auto Ch = [this](int C) { return 255 - static_cast<int>(std::lround((255 - C) * FShading)); };
    Color = RGBValue(Ch(RGB & 0xFF), Ch((RGB >> 8) & 0xFF), Ch((RGB >> 16) & 0xFF));
  }
  return Color;
}

void TqdHPGLReader::AddFill(std::vector<std::vector<TFPoint>>&& Loops) {
  if (Loops.empty()) return;
  if (!FLayout) NewPage();
  if (!FPageBlock) return;
  FMergeNext = false;
  if (!FWindowBlock && MergeFill(Loops)) {
    FStart = FPos;
    return;
  }
  auto H = std::make_unique<TqdFlatHatch>();
  H->FBoundaryPolylines = std::move(Loops);
  AddEntity(std::move(H), true);
}

bool TqdHPGLReader::AddEntity(std::unique_ptr<TqdDXFEntity> E, bool AFill) {
  if (!E) return false;
  if (!FLayout) NewPage();
  if (!FPageBlock) return false;
  // Line work keeps its order: strokes after another entity start a new merged one.
  if (!AFill && !FAddingFlat) {
    FOpenFlats.clear();
    FFlatOwner = nullptr;
  }
  auto* Pen = dynamic_cast<TqdDXFPenLine*>(E.get());
  FStart = FPos;
  E->SetColorCAD(PenColorCAD(EntityColor(AFill)));
  E->SetLayer(PenLayer(FCurPenNum));
  if (Pen) {
    Pen->SetLineWeight(FPens[static_cast<std::size_t>(std::clamp(FCurPenNum, 0, 256))].Width);
    if (!AFill && FLType) Pen->SetLineType(FLType);
  } else if (auto* T = dynamic_cast<TqdDXFText*>(E.get())) {
    T->SetLineWeight(FPens[static_cast<std::size_t>(std::clamp(FCurPenNum, 0, 256))].Width);
  }
  E->SetConverter(FConverter);
  FConverter->CheckEntityHandle(E.get());
  FEmpty = false;
  TqdDXFEntity* Raw = E.get();
  TqdDXFEntity* Owner = FWindowBlock ? static_cast<TqdDXFEntity*>(FWindowBlock) : FPageBlock;
  if (FWindowBlock && !FInsertPlaced && FInsert) {
    // The window's insert stands on the page where the window's first entity would.
    std::unique_ptr<TqdDXFEntity> I(FInsert);
    FInsertPlaced = SafeAdd(FPageBlock, I);
    if (!FInsertPlaced) {
      FInsert = nullptr;
      FWindowBlock = nullptr;
      Owner = FPageBlock;
    }
  }
  // Fills stay beneath the line work of their page (after any raster image).
  bool Added = false;
  if (AFill && Owner == FPageBlock) {
    E->SetOwner(nullptr);
    FPendingFills.push_back(std::move(E));
    FMergeFill = FMergeNext ? Raw : nullptr;
    FMergeNext = false;
    Added = true;
  } else {
    Added = SafeAdd(Owner, E);
  }
  if (Added && Owner == FWindowBlock) {
    // The window's content box, for finishing it.
    if (auto* P = dynamic_cast<TqdFlatPoly*>(Raw))
      for (const TFPoint& Q : P->Points()) UnionBoxPoint(FWindowBox, {Q.X, Q.Y, 0});
    else if (auto* H = dynamic_cast<TqdCADPolyPolygon*>(Raw))
      for (int I = 0; I < H->LoopCount(); ++I)
        for (const TFPoint& Q : H->Loop(I)) UnionBoxPoint(FWindowBox, {Q.X, Q.Y, 0});
    else {
      FConverter->Loads(Raw);
      if (IsFiniteBox(Raw->Box())) UnionBoxes(FWindowBox, Raw->Box());
    }
  }
  if (Added && FConverter->OnCreate) FConverter->OnCreate(Raw);
  return Added;
}

namespace {
// Merged-polyline entities open at once.
constexpr std::size_t cnstMaxOpenFlats = 8;
// Exactly the same colour: the colour comparison of the database takes index 7 and
// RGB white as one, but index 7 draws black on paper.
bool SameColor(const TqdColorCAD& A, const TqdColorCAD& B) { return A.Active == B.Active && A.Color == B.Color; }
// Fills merged into one entity at most, and their points.
constexpr std::size_t cnstMaxMergedFills = 1024;
constexpr std::size_t cnstMaxMergedFillPoints = 1u << 20;
}  // namespace

bool TqdHPGLReader::MergeFill(std::vector<std::vector<TFPoint>>& Loops) {
  FMergeNext = false;
  TFillBox B{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  std::size_t Points = 0;
  for (const auto& L : Loops) {
    Points += L.size();
    for (const TFPoint& Q : L) {
      B.X1 = std::min(B.X1, Q.X);
      B.Y1 = std::min(B.Y1, Q.Y);
      B.X2 = std::max(B.X2, Q.X);
      B.Y2 = std::max(B.Y2, Q.Y);
    }
  }
  if (!(B.X1 <= B.X2 && B.Y1 <= B.Y2)) return false;
  auto* M = FMergeFill && !FPendingFills.empty() && FPendingFills.back().get() == FMergeFill
                ? dynamic_cast<TqdFlatHatch*>(FMergeFill)
                : nullptr;
  bool Fits = M && M->Layer() == PenLayer(FCurPenNum) && SameColor(M->ColorCAD(), PenColorCAD(EntityColor(true))) &&
              M->LineWeight() == FPens[static_cast<std::size_t>(std::clamp(FCurPenNum, 0, 256))].Width &&
              FMergeBoxes.size() < cnstMaxMergedFills && FMergePoints + Points <= cnstMaxMergedFillPoints;
  // Boxes that only touch keep their insides apart.
  if (Fits)
    for (const TFillBox& X : FMergeBoxes)
      if (X.X1 < B.X2 && B.X1 < X.X2 && X.Y1 < B.Y2 && B.Y1 < X.Y2) {
        Fits = false;
        break;
      }
  if (!Fits) {
    // These loops start the next merged fill.
    FMergeBoxes.assign(1, B);
    FMergePoints = Points;
    FMergeNext = true;
    return false;
  }
  for (auto& L : Loops) M->FBoundaryPolylines.push_back(std::move(L));
  Loops.clear();
  FMergeBoxes.push_back(B);
  FMergePoints += Points;
  return true;
}

// ---- polylines

void TqdHPGLReader::StartPolyline() {
  FLine.clear();
  FLine.push_back(ToDrawing(FPenPos.X, FPenPos.Y, false));
}

void TqdHPGLReader::FinishPolyline() {
  if (FLine.size() >= 2) {
    if (!FLayout) {
      // Starting the page closes the merged entities, which must not see this stroke.
      std::vector<TFPoint> Line = std::move(FLine);
      FLine.clear();
      NewPage();
      FLine = std::move(Line);
    }
    TqdDXFEntity* Owner = FWindowBlock ? static_cast<TqdDXFEntity*>(FWindowBlock) : FPageBlock;
    const int Pen = std::clamp(FCurPenNum, 0, 256);
    if (WidePen()) {
      // A broad pen is as wide on paper at every zoom: a polyline of that width.
      auto W = std::make_unique<TqdDXFLWPolyline>();
      W->ReserveVertices(static_cast<int>(FLine.size()));
      for (const TFPoint& Q : FLine) W->AddVertex(Q);
      W->SetGlobalWidth(FPens[static_cast<std::size_t>(Pen)].Width);
      AddEntity(std::move(W), false);
      FLine.clear();
      return;
    }
    // Solid strokes of one pen (layer, colour and width) share one entity.
    if (FFlatOwner != Owner) FOpenFlats.clear();
    double X1 = HUGE_VAL, Y1 = HUGE_VAL, X2 = -HUGE_VAL, Y2 = -HUGE_VAL;
    for (const TFPoint& Q : FLine) {
      X1 = std::min(X1, Q.X);
      Y1 = std::min(Y1, Q.Y);
      X2 = std::max(X2, Q.X);
      Y2 = std::max(Y2, Q.Y);
    }
    // Lines are drawn wider than their points: a margin of the pen width.
    const double Margin = 0.1 + FPens[static_cast<std::size_t>(Pen)].Width;
    X1 -= Margin, Y1 -= Margin, X2 += Margin, Y2 += Margin;
    // Strokes after the entities from I on (older ones keep it in mind).
    auto NoteLater = [&](std::size_t I) {
      for (std::size_t K = 0; K < I && K < FOpenFlats.size(); ++K) {
        TOpenFlat& O = FOpenFlats[K];
        O.X1 = std::min(O.X1, X1), O.Y1 = std::min(O.Y1, Y1), O.X2 = std::max(O.X2, X2), O.Y2 = std::max(O.Y2, Y2);
      }
    };
    std::size_t Hit = FOpenFlats.size();
    if (!FLType)
      for (std::size_t K = 0; K < FOpenFlats.size(); ++K) {
        TqdFlatPoly* F = FOpenFlats[K].P;
        if (F->Layer() == PenLayer(Pen) && SameColor(F->ColorCAD(), PenColorCAD(PenColor(Pen))) &&
            F->LineWeight() == FPens[static_cast<std::size_t>(Pen)].Width) {
          Hit = K;
          break;
        }
      }
    bool Joined = false;
    if (Hit < FOpenFlats.size()) {
      const TOpenFlat& O = FOpenFlats[Hit];
      if (O.P->Points().size() + FLine.size() <= cnstFlatPolyMaxPoints && !(O.X1 < X2 && X1 < O.X2 && O.Y1 < Y2 && Y1 < O.Y2)) {
        O.P->AddStroke(FLine);
        NoteLater(Hit);
        Joined = true;
        FStart = FPos;
        if (Owner == FWindowBlock)
          for (const TFPoint& Q : FLine) UnionBoxPoint(FWindowBox, {Q.X, Q.Y, 0});
      } else {
        // A newer entity takes the pen's strokes from here.
        FOpenFlats.erase(FOpenFlats.begin() + static_cast<std::ptrdiff_t>(Hit));
      }
    }
    if (!Joined) {
      auto P = std::make_unique<TqdFlatPoly>();
      P->AddStroke(FLine);
      TqdFlatPoly* Raw = P.get();
      const bool Solid = !FLType;
      FAddingFlat = true;
      const bool Added = AddEntity(std::move(P), false);
      FAddingFlat = false;
      if (Added) {
        NoteLater(FOpenFlats.size());
        if (Solid) {
          if (FOpenFlats.size() >= cnstMaxOpenFlats) FOpenFlats.erase(FOpenFlats.begin());
          FOpenFlats.push_back({Raw, HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL});
          FFlatOwner = Owner;
        }
      }
    }
  }
  FLine.clear();
}

void TqdHPGLReader::AddPoint(const TF2DPoint& P, bool APenUp) {
  if (FPolyMode) {
    if (FPolyBuffer.empty() || FPolyNewSub) {
      FPolyBuffer.emplace_back();
      FPolyBuffer.back().reserve(8);  // most plotter polygons are a few points
      FPolyBuffer.back().push_back(ToDrawing(FPenPos.X, FPenPos.Y, true));
      FPolyNewSub = false;
    }
    FPenPos = P;
    const bool Up = APenUp || FNextPointUp;
    FNextPointUp = false;
    FPolyBuffer.back().push_back(ToDrawing(P.X, P.Y, Up));
    return;
  }
  if (APenUp) {
    FinishPolyline();
    FPenPos = P;
    return;
  }
  if (FLine.empty()) StartPolyline();
  FPenPos = P;
  FLine.push_back(ToDrawing(P.X, P.Y, false));
  if (FLine.size() >= 100000) {
    // Long runs are split so that no entity grows without bound.
    const TFPoint Last = FLine.back();
    FinishPolyline();
    FLine.push_back(Last);
  }
}

void TqdHPGLReader::Moved() {
  FTextPos.Point = {FPenPos.X, FPenPos.Y, 0};
  FTextPos.PenPos = FTextPos.Point;
}

void TqdHPGLReader::Plot(bool APenDown, int AMode) {
  if (AMode == 1) FRelative = false;
  if (AMode == 2) FRelative = true;
  FPenDown = APenDown;
  if (!ReadParams(true)) return;
  const std::size_t N = FCommandParameters.size() / 2;
  if (!APenDown) FinishPolyline();
  for (std::size_t I = 0; I < N; ++I) {
    TF2DPoint P{FCommandParameters[2 * I], FCommandParameters[2 * I + 1]};
    if (FRelative) P = {FPenPos.X + P.X, FPenPos.Y + P.Y};
    if (!std::isfinite(P.X) || !std::isfinite(P.Y) || std::fabs(P.X) > cnstMaxCoord || std::fabs(P.Y) > cnstMaxCoord)
      break;
    AddPoint(P, !APenDown);
    if (FSymbol != 0 && !FPolyMode) AddSymbol();
  }
  Moved();
}

void TqdHPGLReader::AddSymbol() {
  // SM: the symbol character centred on the point, the pen staying there.
  const double H = CurrentTextHeight();
  if (!(H > 0)) return;
  auto T = std::make_unique<TqdDXFText>();
  T->SetStyle(FStyle);
  T->SetText(std::string(1, FSymbol));
  T->SetHeight(H);
  T->SetScale(CurrentWidthFactor());
  T->SetRotation(FRotation + FTextRotation);
  const TFPoint P = ToDrawing(FPenPos.X, FPenPos.Y, false);
  T->SetPoint(P);
  T->SetHAlign(1);
  T->SetVAlign(2);
  T->SetPoint1(P);
  AddEntity(std::move(T), false);
}

// ---- encoded polylines

void TqdHPGLReader::PolylineEncoded() {
  bool Base32 = false;
  bool PenUpNext = false, AbsNext = false, RectMode = false, RectFirst = true;
  TF2DPoint RectStart;
  auto ReadValue = [&](long long& V) -> int {
    // 1: a value; 0: no value here; -1: bad value (ends the PE).
    std::uint64_t Acc = 0;
    int Shift = 0;
    bool Any = false;
    while (FPos < FLimit) {
      const int C = FMem[FPos];
      const int Low = 63, Term = Base32 ? 95 : 191;
      const int Bits = Base32 ? 5 : 6;
      int D = C;
      if (Base32) D &= 0x7F;
      if (D < Low) return Any ? -1 : 0;
      if (Shift >= 32) return -1;
      ++FPos;
      Any = true;
      if (D < Term) {
        Acc |= static_cast<std::uint64_t>(D - Low) << Shift;
        Shift += Bits;
        continue;
      }
      if (!Base32 && D >= 255) return -1;
      Acc |= static_cast<std::uint64_t>(D - Term) << Shift;
      const long long Mag = static_cast<long long>(Acc >> 1);
      V = (Acc & 1) ? -Mag : Mag;
      return 1;
    }
    return -1;
  };
  // Data the decoding cannot follow ends the PE; what it held is not drawn.
  auto Bad = [this] { Warn("HPGL/2: bad encoded polyline (PE) data; the rest of the polyline is not drawn"); };
  if (!FPolyMode) FinishPolyline();
  while (FPos < FLimit) {
    const int C = FMem[FPos];
    if (C == ';' || C == 0) {
      ++FPos;
      break;
    }
    if (C == 27) break;
    if (C == '\r' || C == '\n' || C == ' ' || C == '\t') {
      ++FPos;
      continue;
    }
    if (C == '7') {
      ++FPos;
      Base32 = true;
      continue;
    }
    if (C == '<') {
      ++FPos;
      PenUpNext = true;
      if (RectMode) RectMode = false;
      continue;
    }
    if (C == '=') {
      ++FPos;
      AbsNext = true;
      continue;
    }
    if (C == '9') {
      ++FPos;
      RectMode = true;
      RectFirst = true;
      continue;
    }
    if (C == '>' || C == ':') {
      ++FPos;
      long long V = 0;
      if (ReadValue(V) != 1) {
        Bad();
        break;
      }
      if (C == ':') {
        if (V >= 0 && V <= 256 && V != FCurPenNum) {
          FinishPolyline();
          FCurPenNum = static_cast<int>(V);
        }
      }
      continue;
    }
    long long X = 0, Y = 0;
    const int RX = ReadValue(X);
    if (RX != 1) {
      if (RX == 0) ++FPos;  // a stray character
      if (RX < 0) {
        Bad();
        break;
      }
      continue;
    }
    if (ReadValue(Y) != 1) {
      Bad();
      break;
    }
    double DX = static_cast<double>(X), DY = static_cast<double>(Y);
    if (FScaling) {
      DX *= FScale.X;
      DY *= FScale.Y;
    }
    TF2DPoint P = AbsNext ? TF2DPoint{DX, DY} : TF2DPoint{FPenPos.X + DX, FPenPos.Y + DY};
    if (!std::isfinite(P.X) || !std::isfinite(P.Y) || std::fabs(P.X) > cnstMaxCoord || std::fabs(P.Y) > cnstMaxCoord) {
      Bad();
      break;
    }
    AbsNext = false;
    if (RectMode) {
      if (RectFirst) {
        AddPoint(P, true);
        RectStart = P;
      } else {
        FinishPolyline();
        AddFillRect(RectStart, P);
        FPenPos = P;
      }
      RectFirst = !RectFirst;
      PenUpNext = false;
      continue;
    }
    AddPoint(P, PenUpNext);
    FPenDown = !PenUpNext;
    PenUpNext = false;
  }
  Moved();
}

// ---- state commands

void TqdHPGLReader::CharPlot() {
  if (!ReadParams(false)) return;
  const double H = CurrentTextHeight();
  const double W = MeasureWidth("Q", H, CurrentWidthFactor());
  const double A = FTextRotation * M_PI / 180;
  const double CA = std::cos(A), SA = std::sin(A);
  double DX = 0, DY = 0;
  if (FCommandParameters.size() >= 2) {
    DX = FCommandParameters[0] * W * 1.5;
    DY = FCommandParameters[1] * H * 2;
  } else {
    // One line down, back to the label's start.
    FPenPos = {FTextPos.Point.X, FPenPos.Y};
    DY = -1.7 * H;
  }
  const double X = (DX * CA - DY * SA) / cnstMMPerStep, Y = (DX * SA + DY * CA) / cnstMMPerStep;
  if (std::isfinite(X) && std::isfinite(Y)) FPenPos = {FPenPos.X + X, FPenPos.Y + Y};
  FTextPos.PenPos = {FPenPos.X, FPenPos.Y, 0};
}

void TqdHPGLReader::Direction(bool ARelative) {
  if (!ReadParams(false)) return;
  if (FCommandParameters.size() < 2) {
    FTextRotation = 0;
    return;
  }
  double X = FCommandParameters[0], Y = FCommandParameters[1];
  if (ARelative) {
    X *= FRealP2.X - FRealP1.X;
    Y *= FRealP2.Y - FRealP1.Y;
  }
  if (X == 0 && Y == 0) return;
  const double A = std::atan2(Y, X) * 180 / M_PI;
  if (std::isfinite(A)) FTextRotation = A;
}

void TqdHPGLReader::Frame() {
  if (!ReadParams(false)) return;
  const double D = FCommandParameters.empty() ? (FRealP2.X - FRealP1.X) / 2 : FCommandParameters[0];
  if (std::isfinite(D)) FFrame += cnstMMPerStep * D;
}

void TqdHPGLReader::FillType() {
  if (!ReadParams(false)) return;
  FShading = 1;
  int T = 0;
  if (IntParam(0, 0, 100, T) && T == 10 && FCommandParameters.size() >= 2)
    FShading = std::clamp(FCommandParameters[1] / 100, 0.0, 1.0);
  // A raster fill pattern (RF) is drawn as the tint of its share of inked pixels:
  // drivers dither grey levels into such patterns.
  if (T == 11 && FCommandParameters.size() >= 2 && std::isfinite(FCommandParameters[1])) {
    const auto It = FRasterFillInk.find(static_cast<int>(FCommandParameters[1]));
    if (It != FRasterFillInk.end()) FShading = It->second;
  }
}

void TqdHPGLReader::ApplyScaleState() {
  if (!FScaling) return;
  const double DX = FUserP2.X - FUserP1.X, DY = FUserP2.Y - FUserP1.Y;
  FScale.X = DX != 0 ? (FRealP2.X - FRealP1.X) / DX : 1;
  FScale.Y = DY != 0 ? (FRealP2.Y - FRealP1.Y) / DY : 1;
  if (!std::isfinite(FScale.X) || FScale.X == 0) FScale.X = 1;
  if (!std::isfinite(FScale.Y) || FScale.Y == 0) FScale.Y = 1;
  FScaleShift = {0, 0};
  if (FIsotropic && DX != 0 && DY != 0) {
    // Isotropic: one factor for both axes (the smaller), the user window placed in
    // P1-P2 by the left and bottom percentages.
    const double S = std::min(std::fabs(FScale.X), std::fabs(FScale.Y));
    FScale.X = std::copysign(S, FScale.X);
    FScale.Y = std::copysign(S, FScale.Y);
    FScaleShift.X = ((FRealP2.X - FRealP1.X) - FScale.X * DX) * FIsoLeft / 100;
    FScaleShift.Y = ((FRealP2.Y - FRealP1.Y) - FScale.Y * DY) * FIsoBottom / 100;
  }
}

void TqdHPGLReader::InputP() {
  if (!ReadParams(false)) return;
  const auto& P = FCommandParameters;
  if (P.empty()) {
    // The page's far corner in the plotter's axes: as reset leaves it, or turned
    // with the axes by a rotation of 90 or 270 degrees.
    FRealP1 = {0, 0};
    FRealP2 = FRotation == 90 || FRotation == 270 ? TF2DPoint{FPage.Y, FPage.X} : TF2DPoint{FPage.X, FPage.Y};
  } else if (P.size() == 2) {
    const TF2DPoint D{FRealP2.X - FRealP1.X, FRealP2.Y - FRealP1.Y};
    FRealP1 = {P[0], P[1]};
    FRealP2 = {P[0] + D.X, P[1] + D.Y};
  } else if (P.size() >= 4) {
    FRealP1 = {P[0], P[1]};
    FRealP2 = {P[2], P[3]};
  } else {
    return;
  }
  if (!FScaling) {
    FUserP1 = FRealP1;
    FUserP2 = FRealP2;
  }
  ApplyScaleState();
}

void TqdHPGLReader::Scale() {
  if (!ReadParams(false)) return;
  const auto& P = FCommandParameters;
  FIsotropic = false;
  FScaleShift = {0, 0};
  if (P.size() < 4) {
    FScaling = false;
    FScale = {1, 1};
    FUserP1 = FRealP1;
    FUserP2 = FRealP2;
    return;
  }
  int Type = 0;
  if (P.size() >= 5 && !IntParam(4, 0, 2, Type)) Type = 0;
  if (Type == 2) {
    if (P[1] == 1 && P[3] == 1) {
      FScaling = false;
      FScale = {1, 1};
      return;
    }
    FUserP1 = {P[0], P[2]};
    FUserP2 = {P[0] + 1, P[2] + 1};
    FScaling = true;
    FScale = {P[1] != 0 ? P[1] : 1, P[3] != 0 ? P[3] : 1};
    return;
  }
  FUserP1 = {P[0], P[2]};
  FUserP2 = {P[1], P[3]};
  FScaling = true;
  if (Type == 1) {
    FIsotropic = true;
    auto Percent = [&P](std::size_t I) {
      return I < P.size() && std::isfinite(P[I]) ? std::clamp(P[I], 0.0, 100.0) : 50.0;
    };
    FIsoLeft = Percent(5);
    FIsoBottom = Percent(6);
  }
  ApplyScaleState();
}

void TqdHPGLReader::InputWindow() {
  if (!ReadParams(false)) return;
  FinishPolyline();
  FinishWindow();
  const auto& P = FCommandParameters;
  if (P.size() < 4) return;
  if (!FLayout) NewPage();
  if (!FPageBlock) return;
  // The window is given in plotter units (scaled in millimetres).
  const bool S = FScaling;
  FScaling = false;
  const TFPoint A = ToDrawing(std::min(P[0], P[2]), std::min(P[1], P[3]), false);
  const TFPoint B = ToDrawing(std::max(P[0], P[2]), std::max(P[1], P[3]), false);
  FScaling = S;
  TFRect Clip = cnstBadRect;
  UnionBoxPoint(Clip, {A.X, A.Y, 0});
  UnionBoxPoint(Clip, {B.X, B.Y, 0});
  TqdDXFEntity* Blocks = FConverter->GetOrCreateSection(csBlocks);
  if (!Blocks) return;
  char Name[16];
  std::snprintf(Name, sizeof Name, "$%.8X", static_cast<unsigned>(++FBlockCounter));
  auto* Block = dynamic_cast<TqdDXFBlock*>(FConverter->NewNamedEntity(Blocks, ClassOf<TqdDXFBlock>(), Name));
  if (!Block) return;
  const TFPoint Base{Clip.Left, Clip.Bottom, 0};
  Block->SetOffset(Base);
  auto* I = new TqdCADClipInsert;
  I->SetConverter(FConverter);
  I->SetBlock(Block);
  I->SetPoint(Base);
  I->SetClipBox(Clip);
  I->SetLayer(FConverter->LayerByName("0"));
  FConverter->CheckEntityHandle(I);
  FWindowBlock = Block;
  FInsert = I;
  FInsertPlaced = false;
  FWindowBox = cnstBadRect;
}

void TqdHPGLReader::FinishWindow() {
  if (!FWindowBlock) return;
  CloseMerged();
  FlushFills();
  TqdDXFBlock* B = FWindowBlock;
  TqdCADClipInsert* I = FInsert;
  FWindowBlock = nullptr;
  FInsert = nullptr;
  const TFRect Clip = I ? I->GetClipBox() : cnstBadRect;
  const bool Inside = IsBadBox(FWindowBox) || (IsFiniteBox(Clip) && FWindowBox.Left >= Clip.Left - 1e-9 &&
                                              FWindowBox.Right <= Clip.Right + 1e-9 &&
                                              FWindowBox.Bottom >= Clip.Bottom - 1e-9 &&
                                              FWindowBox.Top <= Clip.Top + 1e-9);
  if (!FInsertPlaced) {
    delete I;
    I = nullptr;
  }
  if (B->Count() == 0 || Inside) {
    int At = I && FPageBlock ? FPageBlock->IndexOfEntity(I) : -1;
    if (I && At >= 0) ReleaseEntity(FPageBlock->DeleteEntity(At));
    if (At < 0 && FPageBlock) At = FPageBlock->Count();
    while (B->Count() > 0 && FPageBlock) {
      std::unique_ptr<TqdDXFEntity> E = B->DeleteEntity(0);
      if (!E) break;
      At = std::clamp(At, 0, FPageBlock->Count());
      if (FPageBlock->InsertEntity(At, std::move(E)) >= 0) ++At;
    }
    FConverter->DeleteBlock(B, true);
  }
  FInsertPlaced = false;
  FWindowBox = cnstBadRect;
  if (FPageBlock) FHatchIndex = std::clamp(FHatchIndex, 0, FPageBlock->Count());
}

void TqdHPGLReader::LabelOrigin() {
  if (!ReadParams(false)) return;
  int N = 1;
  if (!FCommandParameters.empty() && !IntParam(0, -1000, 1000, N)) return;
  if ((N >= 4 && N <= 6) || (N >= 14 && N <= 16)) FHAlign = 1;
  else if ((N >= 7 && N <= 9) || (N >= 17 && N <= 19)) FHAlign = 2;
  else FHAlign = 0;
}

void TqdHPGLReader::LineType() {
  if (!ReadParams(false)) return;
  FinishPolyline();
  int N = 0;
  if (FCommandParameters.empty() || !IntParam(0, -8, 8, N)) {
    FLType = nullptr;
    return;
  }
  // LType_001 is LT -8; LType_017 is LT 8; LT 0 is a dot at the points only.
  const std::size_t I = static_cast<std::size_t>(N + 8);
  FLType = I < FLineTypes.size() ? FLineTypes[I] : nullptr;
}

void TqdHPGLReader::PenColorCmd() {
  if (!ReadParams(false)) return;
  int N = 0;
  if (FCommandParameters.size() == 1) {
    if (IntParam(0, 0, 7, N)) FPens[static_cast<std::size_t>(N)].Color = cDefaultPenColors[N];
  } else if (FCommandParameters.size() >= 4 && IntParam(0, 0, 256, N)) {
    auto Ch = [this](std::size_t I) {
      const double V = FCommandParameters[I];
      return std::isfinite(V) ? static_cast<int>(std::clamp(std::round(V), 0.0, 255.0)) : 0;
    };
    const std::uint32_t C = RGBValue(Ch(1), Ch(2), Ch(3));
    FPens[static_cast<std::size_t>(N)].Color = C == 0 ? cnstDefaultPenColor : C;
  } else {
    return;
  }
  if (N == FCurPenNum) FinishPolyline();
  // A layer made before keeps its colour; entities carry theirs.
}

void TqdHPGLReader::PlotSize() {
  if (!ReadParams(false)) return;
  if (!FUsePSInstr || FCommandParameters.size() < 2) return;
  const double W = FCommandParameters[0], H = FCommandParameters[1];
  if (!(W > 0) || !(H > 0)) return;
  FPage = {W / 1016, H / 1016};
  if (H > W) FRotation = 90;
}

void TqdHPGLReader::PenWidth() {
  if (!ReadParams(false)) return;
  double W = FCommandParameters.empty() ? 0.35 : FCommandParameters[0];
  if (!std::isfinite(W)) return;
  W = std::clamp(W, 0.0, 100.0);
  int N = 0;
  FinishPolyline();
  if (FCommandParameters.size() >= 2 && IntParam(1, 0, 256, N)) {
    FPens[static_cast<std::size_t>(N)].Width = W;
  } else {
    for (TPen& P : FPens) P.Width = W;
  }
}

void TqdHPGLReader::RotateCmd() {
  if (!ReadParams(false)) return;
  FinishPolyline();
  double A = FCommandParameters.empty() ? 0 : FCommandParameters[0];
  if (!std::isfinite(A)) return;
  A = std::fmod(A, 360.0);
  if (A < 0) A += 360;
  FRotation = static_cast<int>(std::lround(A / 90)) % 4 * 90;
}

void TqdHPGLReader::SizeAbs() {
  if (!ReadParams(false)) return;
  FIsSR = false;
  if (FCommandParameters.size() < 2) {
    FTextHeight = 4.057;
    FTextWidth = 0;
    return;
  }
  const double W = FCommandParameters[0], H = FCommandParameters[1];
  FTextHeight = std::fabs(H) * 10 * 1.05;
  FTextWidth = H != 0 ? 1.6 * W / H : 0;
  if (!std::isfinite(FTextWidth)) FTextWidth = 0;
}

void TqdHPGLReader::SizeRel() {
  if (!ReadParams(false)) return;
  FIsSR = true;
  FSRWidth = 0.75;
  FSRHeight = 1.5;
  if (FCommandParameters.size() >= 2) {
    FSRWidth = FCommandParameters[0];
    FSRHeight = FCommandParameters[1];
  }
}

void TqdHPGLReader::Slant() {
  if (!ReadParams(false)) return;
  const double T = FCommandParameters.empty() ? 0 : FCommandParameters[0];
  const double A = std::atan(T) * 180 / M_PI;
  FSlant = std::isfinite(A) ? A : 0;
}

void TqdHPGLReader::SelectPen() {
  if (!ReadParams(false)) return;
  int N = 1;
  if (!FCommandParameters.empty() && !IntParam(0, 0, 256, N)) N = 1;
  if (N != FCurPenNum) {
    FinishPolyline();
    FCurPenNum = N;
  }
}

void TqdHPGLReader::DrawingName() {
  // BP: reset, then the quoted picture name joins the drawing name; a new page.
  std::string Name;
  while (FPos < FLimit) {
    const std::uint8_t C = FMem[FPos];
    // Numbers, separators and quoted names; a letter starts the next command.
    if (C == ';' || C == 27 || C == 0 || C >= 65) break;
    if (C == '"') {
      ++FPos;
      while (FPos < FLimit && FMem[FPos] != '"' && Name.size() < 256) Name.push_back(static_cast<char>(FMem[FPos++]));
      while (FPos < FLimit && FMem[FPos] != '"') ++FPos;
      if (FPos < FLimit) ++FPos;
      continue;
    }
    ++FPos;
  }
  if (FPos < FLimit && FMem[FPos] == ';') ++FPos;
  Reset();
  FDrawingName += Name;
  // Inside a PCL job the page belongs to PCL (form feed, ESC & l H): a BP
  // opening each HP-GL/2 segment of one sheet must not split it into pages.
  if (!FInPCLPage) NewPage();
}

// ---- PJL

void TqdHPGLReader::ReadPJL() {
  // After "@": the line must continue with "PJL".
  if (!(FPos + 3 <= FLimit && std::memcmp(FMem + FPos, "PJL", 3) == 0)) {
    while (FPos < FLimit && FMem[FPos] != '\n') ++FPos;
    return;
  }
  std::size_t E = FPos;
  while (E < FLimit && FMem[E] != '@' && FMem[E] != '\r' && FMem[E] != '\n' && FMem[E] != 27) ++E;
  const std::string Line(reinterpret_cast<const char*>(FMem + FPos + 3), E - FPos - 3);
  FPos = E;
  // name = value pairs
  std::size_t Eq = Line.find('=');
  if (Eq != std::string::npos) {
    std::string Name = Line.substr(0, Eq);
    std::string Value = Line.substr(Eq + 1);
    auto Trim = [](std::string& S) {
      while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.erase(0, 1);
      while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.pop_back();
    };
    Trim(Name);
    Trim(Value);
    const std::string Upper = UpperNameText(Name);
    if (Upper.rfind("SET ", 0) == 0) Name.erase(0, 4);
    Trim(Name);
    if (!Name.empty() && Name.find(' ') == std::string::npos && FPJL.size() < 256) FPJL.emplace_back(Name, Value);
  }
  const std::string U = UpperNameText(Line);
  for (const char* K : {"PAPERWIDTH", "PAPERLENGTH", "RESOLUTION", "LANGUAGE", "RENDERMODE"}) {
    const std::size_t At = U.find(K);
    if (At == std::string::npos) continue;
    const std::size_t Q = U.find('=', At);
    if (Q == std::string::npos) break;
    std::size_t P = Q + 1;
    while (P < U.size() && U[P] == ' ') ++P;
    if (std::strcmp(K, "LANGUAGE") == 0) {
      if (U.compare(P, 3, "PCL") == 0) FIsPCL = true;
      break;
    }
    std::string Digits;
    for (std::size_t I = P; I < U.size() && Digits.size() < 12; ++I)
      if (U[I] >= '0' && U[I] <= '9') Digits.push_back(U[I]);
    if (Digits.empty()) break;
    const double N = std::stod(Digits);
    if (std::strcmp(K, "PAPERWIDTH") == 0) {
      if (N > 0) FPage.X = N * 1.411;
    } else if (std::strcmp(K, "PAPERLENGTH") == 0) {
      if (N > 0) FPage.Y = N * 1.411;
    } else if (std::strcmp(K, "RESOLUTION") == 0) {
      // A zero resolution keeps the previous one.
      if (N > 0) {
        FRTLRes = N;
        FRTLScale = 1016 / N;
      }
    }
    break;
  }
}

// ---- the end

void TqdHPGLReader::Finish() {
  CloseMerged();
  FPCL.Flush();
  FinishWindow();
  FlushFills();
  if (!FLayout && FLayoutNum == 0) NewPage();
  if (FPolyMode) Warn("HPGL/2: polygon mode was not ended; its polygon is not drawn");
  if (FOnProgress) FOnProgress(FLimit, FLimit);
}
