#include "fSave.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUndoStack>

#include "CADImage.h"
#include "DXFConv.h"
#include "qdDrawingNavigator.h"

const std::vector<TqdSaveFormat>& qdSaveFormats() {
  static const std::vector<TqdSaveFormat> Formats = {
      {"DXF drawing, release 2018 (*.dxf)", acR2018, false},
      {"DXF drawing, release 2000 (*.dxf)", acR2000, false},
      {"DXF drawing, release 12 (*.dxf)", acR12, false},
      {"Binary DXF drawing, release 2018 (*.dxf)", acR2018, true},
      {"Binary DXF drawing, release 2000 (*.dxf)", acR2000, true},
      {"Binary DXF drawing, release 12 (*.dxf)", acR12, true},
  };
  return Formats;
}

bool qdDXFFormOf(const std::string& Format, const std::string& Version, TqdSaveChoice& Form) {
  if (Format.rfind("dxf", 0) != 0) return false;
  Form.Binary = Format == "dxf-binary";
  // "AC1009" and older (and the oldest "AC2.10") are R12 and before; AC1012 to
  // AC1015 are R13 to R2000; anything newer is written as R2018 so nothing is lost.
  Form.Release = acR2018;
  if (Version.size() == 6 && Version.rfind("AC", 0) == 0) {
    if (Version[2] == '2' || Version <= "AC1009")
      Form.Release = acR12;
    else if (Version <= "AC1015")
      Form.Release = acR2000;
  }
  return true;
}

TqdSaveChoice qdSaveDialog(QWidget* Parent, const TqdSaveChoice& Proposed) {
  QFileDialog D(Parent, "Save As");
  D.setAcceptMode(QFileDialog::AcceptSave);
  D.setFileMode(QFileDialog::AnyFile);
  D.setDefaultSuffix("dxf");
  QStringList Filters;
  QString Chosen;
  for (const TqdSaveFormat& F : qdSaveFormats()) {
    Filters << F.Filter;
    if (F.Release == Proposed.Release && F.Binary == Proposed.Binary) Chosen = F.Filter;
  }
  D.setNameFilters(Filters);
  if (!Chosen.isEmpty()) D.selectNameFilter(Chosen);
  const QFileInfo Info(Proposed.FileName);
  D.setDirectory(Info.absolutePath());
  D.selectFile(Info.fileName());
  if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return {};
  TqdSaveChoice R;
  R.FileName = D.selectedFiles().front();
  const qsizetype I = Filters.indexOf(D.selectedNameFilter());
  const TqdSaveFormat& F = qdSaveFormats()[I < 0 ? 0 : I];
  R.Release = F.Release;
  R.Binary = F.Binary;
  return R;
}

// ---------------------------------------------------------------- TfmMain

void TfmMain::RememberSourceForm() {
  FSaveForm = TqdSaveChoice{};
  FSaveNeedsName = true;
  const TqdCADImage* I = FDNavigator->CADImage();
  if (!I) return;
  const TqdLoadResult& R = I->LoadResult();
  const bool IsDXF = qdDXFFormOf(R.Format, R.Version, FSaveForm) ||
                     QFileInfo(FFileName).suffix().compare("dxf", Qt::CaseInsensitive) == 0;
  // A drawing read only in part must never be written over the whole file.
  const bool Whole = I->LoadOk() && !R.Cancelled && (FLoadWarnings.isEmpty() || qdWarningRank(FLoadWarnings.front()) > 1);
  FSaveNeedsName = !IsDXF || !Whole;
}

bool TfmMain::FileSave() {
  if (FLoading || !CADImageShown()) return false;
  if (FSaveNeedsName) return FileSaveAs();
  return SaveTo(FFileName, FSaveForm.Release, FSaveForm.Binary);
}

bool TfmMain::FileSaveAs() {
  if (FLoading || !CADImageShown() || !OnGetSaveFileName) return false;
  // name.dxf beside the drawing's file.
  TqdSaveChoice Proposed = FSaveForm;
  const QFileInfo Info(FFileName);
  Proposed.FileName = Info.dir().filePath(Info.completeBaseName() + ".dxf");
  const TqdSaveChoice C = OnGetSaveFileName(Proposed);
  if (C.FileName.isEmpty()) return false;
  QString Name = C.FileName;
  if (QFileInfo(Name).suffix().isEmpty()) Name += ".dxf";
  return SaveTo(Name, C.Release, C.Binary);
}

bool TfmMain::SaveTo(const QString& FileName, TqdDWGVersion Release, bool Binary) {
  TqdCADImage* I = FDNavigator->CADImage();
  if (FLoading || !I || !I->Converter() || FileName.isEmpty()) return false;
  // The same busy state as a load: the bar, Cancel (and Esc), no other input
  // and no edit while the writer walks the drawing.
  FStopRequested = false;
  FSaving = true;
  SetLoading(true);
  TqdDXFWriteOptions Options;
  Options.Release = Release;
  Options.Binary = Binary;
  Options.Progress = [this](int Percent) {
    if (Percent > FLoadPercent) {
      FLoadPercent = std::min(Percent, 100);
      pbLoading->setValue(FLoadPercent);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !FStopRequested;
  };
  TqdDXFWriteResult R;
  try {
    if (FStopRequested)
      R.Cancelled = true;
    else
      R = SaveDXFFile(*I->Converter(), QFile::encodeName(FileName).toStdString(), Options);
  } catch (const std::exception& E) {
    R = {};
    R.Error = E.what();
  }
  const bool Cancelled = R.Cancelled || (FStopRequested && !R.Ok);
  SetLoading(false);
  FSaving = false;
  FStopRequested = false;
  const QString Shown = QFileInfo(FileName).fileName();
  if (R.Ok) {
    // The drawing shown is now this file's; nothing is left unsaved.
    FFileName = FileName;
    FSaveForm.FileName = FileName;
    FSaveForm.Release = Release;
    FSaveForm.Binary = Binary;
    FSaveNeedsName = false;
    FUndo->setClean();
    SetModified(false);
    UpdateTitle();
    AddRecentFile(FileName);
    sbrPanels[0]->setText("Saved " + FileName);
    sbrPanels[0]->setToolTip(FileName);
    // What was not written as it was read goes where the load's notes are.
    if (!R.Warnings.empty()) {
      QStringList Warnings;
      for (const std::string& W : R.Warnings) Warnings << QString::fromStdString(W);
      for (const QString& W : FLoadWarnings)
        if (!Warnings.contains(W)) Warnings << W;
      ShowLoadWarnings(Warnings, false);
    }
  } else if (Cancelled) {
    sbrPanels[0]->setText("Saving cancelled: " + Shown + " was not written");
  } else {
    ShowMessage(QString("Cannot save \"%1\": %2").arg(Shown, QString::fromStdString(R.Error)), true);
  }
  if (FCloseRequested) {
    // A close asked for during the save runs now (and asks again if unsaved).
    FCloseRequested = false;
    QTimer::singleShot(0, this, [this] { close(); });
  }
  return R.Ok;
}
