#include "qdRasterGraphic.h"

#include <QByteArray>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <fstream>
#include <iterator>
#include <memory>

#include "qdError.h"
#include "qdQtCanvas.h"

void TqdRasterGraphic::LoadFromFile(const std::string& FileName) {
  std::ifstream F(FileName, std::ios::binary);
  if (!F) throw EqdError("Cannot open file \"" + FileName + "\"");
  const std::string Bytes((std::istreambuf_iterator<char>(F)), std::istreambuf_iterator<char>());
  LoadBytes(Bytes, FileName);
}

void TqdRasterGraphic::LoadFromStream(std::istream& Stream) {
  const std::string Bytes((std::istreambuf_iterator<char>(Stream)), std::istreambuf_iterator<char>());
  LoadBytes(Bytes, {});
}

void TqdRasterGraphic::LoadBytes(const std::string& Bytes, const std::string& Name) {
  QByteArray Data = QByteArray::fromRawData(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
  QBuffer Buf(&Data);
  Buf.open(QIODevice::ReadOnly);
  // The content decides the format: a misnamed file still opens.
  QImageReader R(&Buf);
  R.setAutoTransform(true);
  QImage Q = R.read();
  if (Q.isNull()) {
    const std::string What = Name.empty() ? std::string("the picture") : "\"" + Name + "\"";
    throw EqdError("Cannot read " + What + ": " + R.errorString().toStdString());
  }
  FImage = qdImageFromQt(Q);
  if (FImage.IsEmpty()) throw EqdError("The picture is too large");
  Changed();
}

void TqdRasterGraphic::Draw(TqdCanvas& Canvas, const TqdIntRect& Rect) {
  if (!FImage.IsEmpty()) Canvas.DrawImage(Rect, FImage);
}

int TqdRasterGraphic::GetWidth() const { return std::max(1, FImage.Width()); }
int TqdRasterGraphic::GetHeight() const { return std::max(1, FImage.Height()); }

void TqdMetafileGraphic::LoadFromFile(const std::string&) { throw EqdError(cnstMetafileNotSupported); }
void TqdMetafileGraphic::LoadFromStream(std::istream&) { throw EqdError(cnstMetafileNotSupported); }

void RegisterViewGraphics() {
  TqdGraphicFormats& F = TqdGraphicFormats::Instance();
  const TqdGraphicFactory Raster = [] { return std::unique_ptr<TqdGraphic>(new TqdRasterGraphic); };
  F.Register("bmp", "Bitmaps", Raster, "bmp");
  F.Register("jpg", "JPEG Image File", Raster, "jpeg");
  F.Register("jpeg", "JPEG Image File", Raster, "jpeg");
  F.Register("png", "Portable Network Graphics", Raster, "png");
  F.Register("ico", "Icons", Raster, "ico");
  const TqdGraphicFactory Meta = [] { return std::unique_ptr<TqdGraphic>(new TqdMetafileGraphic); };
  F.Register("emf", "Enhanced Metafiles", Meta);
  F.Register("wmf", "Metafiles", Meta);
}
