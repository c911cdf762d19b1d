#pragma once
// What every editor test process sets up first: the readers and picture classes
// registered, and the window's remembered settings kept in the test's own folder
// rather than in the user's home.
#include <QSettings>
#include <QTemporaryDir>

#include "CADImage.h"
#include "Readers.h"
#include "qdRasterGraphic.h"

// False when the test's folder could not be made.
inline bool qdSetUpEditorTest(const QTemporaryDir& ADir) {
  RegisterReaders();
  RegisterCADImages();
  RegisterViewGraphics();
  if (!ADir.isValid()) return false;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, ADir.filePath("settings"));
  return true;
}
