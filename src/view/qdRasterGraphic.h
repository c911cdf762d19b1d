#pragma once
// Pictures that are not drawings: raster images read through Qt's image
// readers, and the metafile extensions, which have no reader on this platform.
#include <string>

#include "qdCanvas.h"
#include "qdGraphic.h"

class TqdRasterGraphic : public TqdGraphic {
 public:
  // Raises EqdError with the reader's reason when the file cannot be decoded.
  void LoadFromFile(const std::string& FileName) override;
  void LoadFromStream(std::istream& Stream) override;
  void Draw(TqdCanvas& Canvas, const TqdIntRect& Rect) override;
  bool GetEmpty() const override { return FImage.IsEmpty(); }
  int GetWidth() const override;
  int GetHeight() const override;
  const TqdImage& Image() const { return FImage; }

 private:
  void LoadBytes(const std::string& Bytes, const std::string& Name);
  TqdImage FImage;
};

// EMF and WMF: known extensions whose load raises a clear error.
class TqdMetafileGraphic : public TqdGraphic {
 public:
  void LoadFromFile(const std::string& FileName) override;
  void LoadFromStream(std::istream& Stream) override;
  void Draw(TqdCanvas&, const TqdIntRect&) override {}
  bool GetEmpty() const override { return true; }
  int GetWidth() const override { return 1; }
  int GetHeight() const override { return 1; }
};

// The message a metafile load raises.
inline constexpr const char* cnstMetafileNotSupported =
    "Metafiles (*.emf, *.wmf) are not supported on this platform";

// Enters bmp, jpg, jpeg, png, ico (raster) and emf, wmf (metafile) in the
// picture framework's extension table.
void RegisterViewGraphics();
