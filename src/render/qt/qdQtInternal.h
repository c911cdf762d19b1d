#pragma once
// Toolkit side of the Qt-free canvas types; only the render unit includes it.
#include <QImage>
#include <QRect>
#include <QRegion>

#include "qdCanvas.h"

struct TqdRegionData {
  QRegion Rgn;
};

struct TqdImageData {
  QImage Img;
};

struct TqdRegionAccess {
  // nullptr for a null region.
  static const QRegion* Get(const TqdRegion& R) { return R.FData ? &R.FData->Rgn : nullptr; }
  static void Set(TqdRegion& R, QRegion Rgn);
};

struct TqdImageAccess {
  static const QImage* Get(const TqdImage& I) { return I.FData ? &I.FData->Img : nullptr; }
  static void Set(TqdImage& I, const QImage& Img);
};

// Device rectangle (Right/Bottom exclusive, either corner order) as a QRect,
// coordinates clamped into the device range; an empty QRect when it has no area.
QRect qdToQRect(const TqdIntRect& R);
TqdIntRect qdFromQRect(const QRect& R);
// 0x00BBGGRR to an opaque QColor.
QColor qdToQColor(TqdDeviceColor C);
