// The plotter reader: labels, their sizes and paths.
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

// ---- labels

double TqdHPGLReader::CurrentTextHeight() const {
  if (FIsSR) {
    const double H = std::fabs(FSRHeight / 100 * (FRealP2.Y - FRealP1.Y) * cnstMMPerStep);
    return std::isfinite(H) ? H : 0;
  }
  return FTextHeight;
}

double TqdHPGLReader::MeasureWidth(std::string_view AText, double AHeight, double AScale) {
  if (!(AHeight > 0) || !FStyle) return 0;
  TqdDXFText T;
  T.SetConverter(FConverter);
  T.SetStyle(FStyle);
  T.SetText(AText);
  T.SetHeight(AHeight);
  T.SetScale(AScale);
  T.SetLayer(FConverter->LayerByName("0"));
  T.Loaded(FConverter);
  const TFRect B = T.Box();
  if (!IsFiniteBox(B)) return 0;
  return B.Right - B.Left;
}

double TqdHPGLReader::CharAdvance(double AHeight, double AScale) {
  // The label font is monospaced: one cell, measured once per size, times the count.
  if (AHeight != FAdvanceHeight || AScale != FAdvanceScale) {
    FAdvanceHeight = AHeight;
    FAdvanceScale = AScale;
    FAdvance = MeasureWidth("__________", AHeight, AScale) / 10;
  }
  return FAdvance;
}

double TqdHPGLReader::CurrentWidthFactor() {
  if (!FIsSR) {
    const double W = std::fabs(FTextWidth);
    return W >= 1e-6 ? W : 1;
  }
  const double H = CurrentTextHeight();
  const double Wanted = std::fabs(FSRWidth / 100 * (FRealP2.X - FRealP1.X) * cnstMMPerStep);
  if (FWMeasureHeight != H) {
    FWMeasureHeight = H;
    FWMeasure = MeasureWidth("W", H, 1);
  }
  if (!(FWMeasure > 1e-12) || !std::isfinite(Wanted)) return 1;
  const double F = Wanted / FWMeasure;
  return std::isfinite(F) && F > 1e-6 ? F : 1;
}

void TqdHPGLReader::AddText(const std::string& AText) {
  const double H = CurrentTextHeight();
  if (!(H > 0)) return;
  if (FTextPath != 0 || (FExtraSpace.X != 0 && FHAlign == 0 && AText.size() > 1)) {
    // DV: upright characters one by one along the path (down, left or up); ES:
    // characters one by one with the extra space between them.
    const double Cell = CharAdvance(H, CurrentWidthFactor());
    const double Step = (FTextPath == 1 || FTextPath == 3 ? cnstLineStep * H : Cell * (1 + FExtraSpace.X)) / cnstMMPerStep;
    const double A = PathAngle() * M_PI / 180;
    const int Path = FTextPath;
    FTextPath = 0;
    const int Align = FHAlign;
    FHAlign = 0;
    for (const char C : AText) {
      const TF2DPoint At = FPenPos;
      if (C != ' ') AddText(std::string(1, C));
      FPenPos = {At.X + Step * std::cos(A), At.Y + Step * std::sin(A)};
    }
    FHAlign = Align;
    FTextPath = Path;
    return;
  }
  auto T = std::make_unique<TqdDXFText>();
  const double WF = CurrentWidthFactor();
  T->SetStyle(FStyle);
  T->SetText(AText);
  T->SetHeight(H);
  T->SetScale(WF);
  T->SetObliqueAngle(FSlant);
  T->SetRotation(FRotation + FTextRotation);
  const TFPoint P = ToDrawing(FPenPos.X, FPenPos.Y, false);
  T->SetPoint(P);
  if (FHAlign != 0) {
    T->SetHAlign(static_cast<std::uint8_t>(FHAlign));
    T->SetPoint1(P);
  }
  TqdDXFText* Raw = T.get();
  AddEntity(std::move(T), false);
  // The pen moves on by the text's width along the label direction.
  double W = CharAdvance(H, WF) * static_cast<double>(AText.size());
  if (FHAlign == 1) W /= 2;
  else if (FHAlign == 2) W = 0;
  (void)Raw;
  const double A = FTextRotation * M_PI / 180;
  const double DX = W * std::cos(A) / cnstMMPerStep, DY = W * std::sin(A) / cnstMMPerStep;
  if (std::isfinite(DX) && std::isfinite(DY)) FPenPos = {FPenPos.X + DX, FPenPos.Y + DY};
}

void TqdHPGLReader::Label() {
  FinishPolyline();
  std::string Text;
  while (FPos < FLimit) {
    const char C = static_cast<char>(FMem[FPos++]);
    if (C == FLblTerm) {
      if (FLblTermPrinted && Text.size() < 65536) Text.push_back(C);
      break;
    }
    if (Text.size() < 65536) Text.push_back(C);
  }
  if (FTextPos.PenPos.X != FPenPos.X || FTextPos.PenPos.Y != FPenPos.Y) {
    FTextPos.Point = {FPenPos.X, FPenPos.Y, 0};
    FTextPos.PenPos = FTextPos.Point;
  }
  std::size_t I = 0;
  const double A = PathAngle() * M_PI / 180;
  while (I < Text.size()) {
    const char C = Text[I];
    if (C == '\r') {
      // Back to the label start along the text direction.
      const double DX = FPenPos.X - FTextPos.Point.X, DY = FPenPos.Y - FTextPos.Point.Y;
      const double Along = DX * std::cos(A) + DY * std::sin(A);
      FPenPos = {FPenPos.X - Along * std::cos(A), FPenPos.Y - Along * std::sin(A)};
      ++I;
      continue;
    }
    if (C == '\n') {
      // One line on, across the text direction (a column on for a vertical path).
      const double D = (FTextPath == 1 || FTextPath == 3
                            ? 1.5 * CharAdvance(CurrentTextHeight(), CurrentWidthFactor())
                            : cnstLineStep * CurrentTextHeight() * (1 + FExtraSpace.Y)) / cnstMMPerStep;
      FPenPos = {FPenPos.X + D * std::sin(A), FPenPos.Y - D * std::cos(A)};
      ++I;
      continue;
    }
    std::size_t J = I;
    while (J < Text.size() && Text[J] != '\r' && Text[J] != '\n') ++J;
    std::string Piece;
    for (std::size_t K = I; K < J; ++K)
      if (static_cast<unsigned char>(Text[K]) >= 32) Piece.push_back(Text[K]);
    std::size_t B = 0, E = Piece.size();
    // Leading blanks move the pen; trailing ones do not matter.
    std::size_t Lead = 0;
    while (B < E && Piece[B] == ' ') ++B, ++Lead;
    while (E > B && Piece[E - 1] == ' ') --E;
    if (Lead > 0 && B < E && FTextPath == 0) {
      const double W = CharAdvance(CurrentTextHeight(), CurrentWidthFactor()) * (1 + FExtraSpace.X) * static_cast<double>(Lead);
      const double DX = W * std::cos(A) / cnstMMPerStep, DY = W * std::sin(A) / cnstMMPerStep;
      if (std::isfinite(DX) && std::isfinite(DY)) FPenPos = {FPenPos.X + DX, FPenPos.Y + DY};
    }
    if (B < E) AddText(FTextPath == 0 ? Piece.substr(B, E - B) : Piece.substr(0, E));
    I = J;
  }
  FTextPos.PenPos = {FPenPos.X, FPenPos.Y, 0};
}

