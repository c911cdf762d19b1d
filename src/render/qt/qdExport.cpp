#include "qdExport.h"

#include <QImage>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "CADImage.h"
#include "qdQtCanvas.h"

TqdIntRect qdFitRect(const TqdCADImage& I, int W, int H) {
  const double AW = I.AbsWidth(), AH = I.AbsHeight();
  if (!(AW > 0) || !(AH > 0) || !std::isfinite(AW / AH)) return {0, 0, W, H};
  double RW = W, RH = W * AH / AW;
  if (RH > H) {
    RH = H;
    RW = H * AW / AH;
  }
  const int L = static_cast<int>((W - RW) / 2), T = static_cast<int>((H - RH) / 2);
  return {L, T, L + std::max(1, static_cast<int>(RW + 0.5)), T + std::max(1, static_cast<int>(RH + 0.5))};
}

void qdPaintFitted(TqdCADImage& Img, TqdCanvas& C, int W, int H) {
  C.SetBrush({Img.BackgroundColor(), bsSolid});
  C.FillRect({0, 0, W, H});
  Img.Draw(C, qdFitRect(Img, W, H));
}

TqdPictureKind qdPictureKindOf(const std::string& AFileName) {
  std::string E = std::filesystem::path(AFileName).extension().string();
  std::transform(E.begin(), E.end(), E.begin(), [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  if (E == ".png") return pkPNG;
  if (E == ".svg") return pkSVG;
  if (E == ".pdf") return pkPDF;
  return pkNone;
}

namespace {

// "cannot write 'F': Permission denied": the system's own reason, found by
// trying to create the file (what is left of the attempt is removed).
std::string CannotWrite(const std::string& AFileName) {
  std::string Why;
  const bool Existed = std::filesystem::exists(AFileName);
  if (std::FILE* F = std::fopen(AFileName.c_str(), "ab")) {
    std::fclose(F);
    if (!Existed) std::remove(AFileName.c_str());
  } else {
    Why = std::strerror(errno);
  }
  return "cannot write '" + AFileName + "'" + (Why.empty() ? std::string() : ": " + Why);
}

}  // namespace

bool qdWritePicture(TqdCADImage& Img, const std::string& AFileName, int W, int H, std::string& AError) {
  const TqdPictureKind K = qdPictureKindOf(AFileName);
  if (K == pkNone) {
    AError = "the output is a .png, .svg or .pdf file";
    return false;
  }
  if (W < 1 || H < 1 || W > 32767 || H > 32767) {
    AError = "the picture size is out of range";
    return false;
  }
  if (K == pkSVG || K == pkPDF) {
    std::unique_ptr<TqdQtCanvas> C = K == pkSVG ? qdCreateSvgCanvas(AFileName, W, H, "draftwell")
                                                : qdCreatePdfCanvas(AFileName, W, H, "draftwell");
    if (!C) {
      AError = CannotWrite(AFileName);
      return false;
    }
    qdPaintFitted(Img, *C, W, H);
    C->End();
    return true;
  }
  return qdWritePNG(Img, AFileName, W, H, AError);
}

bool qdWritePNG(TqdCADImage& Img, const std::string& AFileName, int W, int H, std::string& AError) {
  QImage Q(W, H, QImage::Format_RGB32);
  if (Q.isNull()) {
    AError = "the picture is too large";
    return false;
  }
  {
    TqdQtCanvas C(&Q);
    qdPaintFitted(Img, C, W, H);
    C.End();
  }
  if (!Q.save(QString::fromStdString(AFileName), "PNG")) {
    AError = CannotWrite(AFileName);
    return false;
  }
  return true;
}
