#pragma once
// Export and print of the current layout: pictures through the same pipeline
// as `draftwell-cli render`; the drawing itself is never written.
#include <QPageLayout>
#include <QString>

class QPainter;
class QPrinter;
class QWidget;
class TqdCADImage;

// Asks for a file name (PNG, SVG or PDF) and writes the current layout there.
// AFolder is where the dialog starts, and becomes the folder written to.
// False when cancelled or failed (a failure is shown in a message box).
bool qdExportDialog(QWidget* AParent, TqdCADImage& AImg, QString& AFolder);
// Writes the current layout as a picture of AWidth x AHeight pixels; false with
// the reason in AError.
bool qdExportLayout(TqdCADImage& AImg, const QString& AFileName, int AWidth, int AHeight, QString& AError);
// The current layout fitted into the printable area of one page; false when the
// printer could not be painted on (an unwritable PDF).
bool qdPrintLayout(TqdCADImage& AImg, QPrinter& APrinter);
// The texts of the current layout, written invisibly over where they are drawn
// (the drawing draws its letters as strokes): a PDF's text can then be found,
// selected and copied. Call after the image has drawn on P.
void qdPaintTextLayer(TqdCADImage& AImg, QPainter& P);
// The layout's paper (A4 when it names none), turned to the drawing's shape,
// with 10 mm margins.
QPageLayout qdLayoutPage(const TqdCADImage& AImg);
// The current layout as a PDF page of its paper size, drawn as the printer
// draws it (vector lines and text); false with the reason in AError.
bool qdExportPdf(TqdCADImage& AImg, const QString& AFileName, QString& AError);
// The print dialog with its preview.
void qdPrintDialog(QWidget* AParent, TqdCADImage& AImg);
