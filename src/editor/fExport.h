#pragma once
// Export and print of the current layout: pictures through the same pipeline
// as `draftwell-cli render`; the drawing itself is never written.
#include <QString>

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
// The current layout fitted into the printable area of one page.
void qdPrintLayout(TqdCADImage& AImg, QPrinter& APrinter);
// The print dialog with its preview.
void qdPrintDialog(QWidget* AParent, TqdCADImage& AImg);
