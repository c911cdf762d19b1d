// svg2png IN.svg OUT.png SIZE: renders a square SVG into a SIZE x SIZE PNG with
// an alpha channel (the application icon's hicolor sizes, at build time).
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: svg2png IN.svg OUT.png SIZE\n");
    return 2;
  }
  char* End = nullptr;
  const long Size = std::strtol(argv[3], &End, 10);
  if (*End != 0 || Size < 1 || Size > 4096) {
    std::fprintf(stderr, "svg2png: SIZE is 1 to 4096\n");
    return 2;
  }
  QSvgRenderer R(QString::fromLocal8Bit(argv[1]));
  if (!R.isValid()) {
    std::fprintf(stderr, "svg2png: cannot read %s\n", argv[1]);
    return 1;
  }
  QImage Img(static_cast<int>(Size), static_cast<int>(Size), QImage::Format_ARGB32_Premultiplied);
  Img.fill(Qt::transparent);
  {
    QPainter P(&Img);
    P.setRenderHint(QPainter::Antialiasing);
    R.render(&P);
  }
  if (!Img.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "svg2png: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
