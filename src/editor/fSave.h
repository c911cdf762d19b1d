#pragma once
// Saving the shown drawing as DXF: the Save As dialog.
#include "fMain.h"

class QWidget;

// The Save As file dialog: a name (".dxf" added when missing) and one of
// qdSaveFormats() as its file type. Empty FileName when cancelled.
TqdSaveChoice qdSaveDialog(QWidget* Parent, const TqdSaveChoice& Proposed);
