#pragma once
// Pictures of a layout written to files: the one path of `draftwell-cli render`
// and the editor's Export.
#include <string>

#include "qdCanvas.h"

class TqdCADImage;

// The rectangle of the extents' proportions centred in W x H.
TqdIntRect qdFitRect(const TqdCADImage& I, int W, int H);
// The current layout fitted into W x H on the background colour.
void qdPaintFitted(TqdCADImage& Img, TqdCanvas& C, int W, int H);

enum TqdPictureKind { pkNone, pkPNG, pkSVG, pkPDF };
// The kind a file name asks for by its extension (case-insensitive).
TqdPictureKind qdPictureKindOf(const std::string& AFileName);
// Writes the current layout as a W x H picture of the kind the name asks for;
// false with the reason in AError (nothing useful is left behind).
bool qdWritePicture(TqdCADImage& Img, const std::string& AFileName, int W, int H, std::string& AError);
// Writes the current layout as a W x H PNG picture whatever the name's extension
// says (file managers hand over temporary names); false with the reason in AError.
bool qdWritePNG(TqdCADImage& Img, const std::string& AFileName, int W, int H, std::string& AError);
