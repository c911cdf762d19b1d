#pragma once
// Conversions between the toolkit-free canvas types and Qt's; only the Qt side
// of render includes it.
#include <QColor>
#include <QImage>
#include <QRect>
#include <QRegion>

#include "qdCanvas.h"

// Device rectangle (Right/Bottom exclusive, either corner order) as a QRect,
// coordinates clamped into the device range; an empty QRect when it has no area.
QRect qdToQRect(const TqdIntRect& R);
TqdIntRect qdFromQRect(const QRect& R);
// 0x00BBGGRR to an opaque QColor.
QColor qdToQColor(TqdDeviceColor C);
// The region's pixels as a QRegion (the same rectangles); an empty QRegion for
// null and empty regions, so ask IsNull() first where null means "no clipping".
QRegion qdToQRegion(const TqdRegion& R);
// A QImage over the picture's own words (no copy): valid while Image lives and
// is not changed. A null QImage for an empty picture.
QImage qdToQImage(const TqdImage& Image);
