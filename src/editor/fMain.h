#pragma once
// The editor's main window: opens a picture into the navigator, shows the
// chosen layout, reports the pointer's coordinates, and hosts the selection
// buttons and the inspector's dock site.
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "DXFWriter.h"
#include "qdConsts.h"

class QAction;
class QComboBox;
class QDockWidget;
class QLabel;
class QMenu;
class QMimeData;
class QProgressBar;
class QPushButton;
class QSplitter;
class QToolButton;
class QWidget;
class TqdDrawingNavigator;
class TqdGraphic;
class TqdSelectionManager;
class TqdBlockLibrary;
class TfmBlockInsert;
class TfmEntityInspector;
class QDialog;
class QUndoStack;
class TfmLayers;
struct TqdEditContext;

// The open dialog's filter: pairs of description and patterns separated by '|'.
extern const char* const cnstOpenDialogFilter;
// The same filter as Qt name filters: the description as written, its patterns
// appended in Qt's form (shown without them).
QStringList qdQtNameFilters(const QString& Filter);
// The open dialog's filters from the picture framework: one "All drawings and
// pictures" entry with every registered extension, then one per format.
QStringList qdOpenDialogFilters();
// The editor's remembered settings (window geometry, last folder and filter).
class QSettings;
std::unique_ptr<QSettings> qdEditorSettings();
// A coordinate for the status bar: exponent form with 7 decimals when |V| is
// 10,000,000 or more, otherwise 7 significant digits; "." whatever the locale.
QString qdStatusNumber(double V);
// How serious a load warning is, 0 the most: a file cut short, a cancelled load,
// content not drawn, anything else, then fonts drawn with a stand-in.
int qdWarningRank(const QString& Warning);
// Warnings, the most serious first (equal ranks keep their order).
QStringList qdSortedWarnings(QStringList Warnings);

// The local files a drop carries (folders and remote addresses left out).
QStringList qdDroppedFiles(const QMimeData* M);

// What to do with unsaved edits before they would be discarded.
enum class TqdUnsavedAnswer { Save, Discard, Cancel };

// Where and how Save As writes: a DXF file of one release, text or binary.
struct TqdSaveChoice {
  QString FileName;  // empty when the dialog was cancelled
  TqdDWGVersion Release = acR2018;
  bool Binary = false;
};
// The Save As dialog's file types, one per release and form, the default first.
struct TqdSaveFormat {
  const char* Filter;
  TqdDWGVersion Release;
  bool Binary;
};
const std::vector<TqdSaveFormat>& qdSaveFormats();
// The release and form Save keeps for a drawing read as Format ("dxf-text",
// "dxf-binary") of Version ("AC1009"): the nearest release written, R2018 when
// the file names none. False when the drawing was not read from a DXF file.
bool qdDXFFormOf(const std::string& Format, const std::string& Version, TqdSaveChoice& Form);

class TfmMain : public QMainWindow {
 public:
  explicit TfmMain(QWidget* Parent = nullptr);
  ~TfmMain() override;

  // ---- actions
  // Runs the open dialog (OnGetOpenFileName) and opens the chosen file.
  void FileOpen();
  // Opens FileName; false when it failed (the drawing shown before, its view
  // and its selection are kept and the error has been shown), when the user
  // kept unsaved edits, or when a load is already running.
  bool FileOpen(const QString& FileName);
  // Opens the files: the first here when this window shows nothing, every
  // other one in a new window (OnNewWindow).
  void OpenFiles(const QStringList& Names);
  // Measuring mode: the view's left clicks pick points for the measure panel.
  void SetMeasuring(bool On);
  class TfmMeasure* MeasurePanel() const { return FMeasure; }
  // The find dialog (Ctrl+F), and showing one of its hits.
  void ShowFind();
  void ShowTextHit(const struct TqdTextHit& Hit);
  class TfmFind* FindDialog() const { return FFind; }
  // Zooms so that the selected entities fill the view.
  void ZoomToSelection();
  // False when the user kept unsaved edits.
  bool FileClose();
  // Saves the drawing where it came from, as the DXF it was read from; a drawing
  // read from another format, or only in part, goes through Save As. True when
  // the drawing was written.
  bool FileSave();
  // Asks for a name, release and form (OnGetSaveFileName), then saves there.
  bool FileSaveAs();
  // Writes the drawing to FileName; on success it is the drawing's file from
  // then on and nothing is unsaved. Errors are shown; false when not written.
  bool SaveTo(const QString& FileName, TqdDWGVersion Release, bool Binary);
  bool Saving() const { return FSaving; }
  void cbLayoutsChange(int Index);
  void BtnSelectClick();
  void BtnMSelectClick();
  void btnCopyClick();
  void btnPasteClick();
  void Preview1Click();
  void btnEntityInspectorClick();
  void mmiSelectAllClick();
  void mmiDeselectAllClick();
  // The Cancel button of the progress bar.
  void StopLoading();
  // Pastes library block Index as a block reference at (X, Y); the reference is
  // added to the inspector's list and selected. False when nothing was pasted.
  bool InsertBlock(int Index, float Y, float X);
  // Status panels 1 and 2 for the pointer at client pixel (X, Y).
  void NavigatorMouseMove(int X, int Y);

  // ---- state
  bool Loading() const { return FLoading; }
  bool FileIsOpen() const { return FFileOpen; }
  // The shown drawing was edited since it was opened.
  bool Modified() const { return FModified; }
  void SetModified(bool V);
  QString FileName() const { return FFileName; }
  bool CADImageShown() const;
  QString StatusText(int Panel) const;
  TqdDrawingNavigator* DNavigator() const { return FDNavigator; }
  TqdSelectionManager* Manager() const { return FManager.get(); }
  TqdBlockLibrary* BlockLibrary() const { return FBlockLibrary.get(); }
  TfmBlockInsert* BlockInsertDialog() const { return FBlockInsert; }
  // Every edit of the shown drawing, in order; its clean state is the saved one.
  QUndoStack* UndoStack() const { return FUndo; }
  TfmLayers* LayersPanel() const { return FLayers; }

  // ---- hooks (tests and the command line replace the dialogs)
  // The chosen file name; empty when the dialog was cancelled. Unset by
  // default: the dialog then runs through OnGetOpenFileNames.
  std::function<QString()> OnGetOpenFileName;
  // The chosen files (several may be chosen); empty when cancelled.
  std::function<QStringList()> OnGetOpenFileNames;
  // A new window for one more file (shown, deleted when closed).
  std::function<TfmMain*()> OnNewWindow;
  // Runs a modal dialog (the insertion dialog, the preview); exec by default.
  std::function<int(QDialog& Dialog)> OnExecDialog;
  // Error and information messages.
  std::function<void(const QString& Text, bool IsError)> OnShowMessage;
  // Runs once after each finished load attempt (true when it succeeded).
  std::function<void(bool Ok)> OnLoaded;
  // Shows the full list of the last load's warnings (a dialog by default).
  std::function<void(const QStringList& Warnings)> OnShowWarnings;
  // The Save As answer; the file dialog by default. Proposed: name.dxf beside
  // the drawing's file, in the form Save would use.
  std::function<TqdSaveChoice(const TqdSaveChoice& Proposed)> OnGetSaveFileName;
  // Asked before unsaved edits would be lost (Open, Close, Exit); a box by default.
  std::function<TqdUnsavedAnswer(const QString& Name)> OnAskUnsaved;
  const QStringList& LoadWarnings() const { return FLoadWarnings; }
  // The status bar's summary of the last load (empty when nothing was said).
  QString LoadSummary() const;

  // ---- controls
  QWidget* pnlMain = nullptr;
  QToolButton *BtnOpen = nullptr, *btnClose = nullptr, *btnCopy = nullptr, *btnPaste = nullptr;
  QToolButton *btnEntityInspector = nullptr, *sbPreviewSelection = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* cbLayouts = nullptr;
  QWidget *pnlSelection = nullptr, *pnlButtons = nullptr;
  QToolButton *BtnSelect = nullptr, *BtnMSelect = nullptr;
  QMainWindow* pnlEntInsp = nullptr;
  TfmEntityInspector* FEntityInspector = nullptr;
  QSplitter* splImage = nullptr;
  QLabel* sbrPanels[4] = {};
  QProgressBar* pbLoading = nullptr;
  QPushButton* btnStopLoading = nullptr;
  QToolButton* btnLoadWarnings = nullptr;
  QMenu* mmiEdit = nullptr;
  QAction *mmiCopy = nullptr, *mmiPaste = nullptr, *mmiUndo = nullptr, *mmiRedo = nullptr, *mmiFind = nullptr;
  QMenu *mmiFile = nullptr, *mmiSelection = nullptr;
  QAction *mmiOpen = nullptr, *mmiClose = nullptr, *mmiExit = nullptr;
  QAction *mmiSave = nullptr, *mmiSaveAs = nullptr;
  QAction *mmiExport = nullptr, *mmiPrint = nullptr;
  QAction *mmiSelectAll = nullptr, *mmiDeselectAll = nullptr, *mmiPreview = nullptr;
  QMenu *mmiView = nullptr, *mmiHelp = nullptr, *mmiRecent = nullptr;
  QAction *mmiFit = nullptr, *mmiZoomIn = nullptr, *mmiZoomOut = nullptr, *mmiZoomSelection = nullptr;
  QMenu* mmiPan = nullptr;
  QMenu* mmiTools = nullptr;
  QAction* mmiMeasure = nullptr;
  QList<QAction*> FPanActions;  // Left, Right, Up, Down
  QAction *mmiBackgroundWhite = nullptr, *mmiBackgroundBlack = nullptr;
  QAction *mmiShortcuts = nullptr, *mmiAbout = nullptr;

  // The drawing's background, remembered across sessions (white by default).
  bool BlackBackground() const;
  void SetBlackBackground(bool V);
  // Files opened lately, the newest first.
  QStringList RecentFiles() const;

 protected:
  void closeEvent(QCloseEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;
  void dragEnterEvent(QDragEnterEvent* E) override;
  void dropEvent(QDropEvent* E) override;
  void resizeEvent(QResizeEvent* E) override;

 private:
  void CreateControls();
  void CreateMenu();
  // Enables what the state allows: loading, file open, CAD image shown.
  void UpdateControls();
  // Unbinds everything that points into the shown drawing, then empties it.
  void DetachDrawing();
  void SetLoading(bool V);
  void ClearStatus();
  void ShowMessage(const QString& Text, bool IsError);
  void LoadProgress(TqdGraphic* Sender, int Percent);
  // True when nothing unsaved would be lost, or the user agreed to lose it.
  bool MayDiscardChanges();
  // Shows the drawing read into G (the previous one goes).
  void ShowDrawing(std::unique_ptr<TqdGraphic> G, const QString& FileName);
  void CloseDrawing();
  void UpdateTitle();
  void ApplyBackground();
  void AddRecentFile(const QString& FileName);
  void FillRecentFiles();

  // What an undo or redo refreshes in this window.
  TqdEditContext EditContext();
  TqdDrawingNavigator* FDNavigator = nullptr;
  QUndoStack* FUndo = nullptr;
  TfmLayers* FLayers = nullptr;
  class TfmFind* FFind = nullptr;
  class TfmMeasure* FMeasure = nullptr;
  std::unique_ptr<TqdSelectionManager> FManager;
  std::unique_ptr<TqdBlockLibrary> FBlockLibrary;
  TfmBlockInsert* FBlockInsert = nullptr;
  bool FFileOpen = false;
  bool FLoading = false;
  bool FCloseRequested = false;
  bool FFillingLayouts = false;
  bool FStopRequested = false;
  bool FModified = false;
  bool FSaving = false;
  // Save must ask for a name: the drawing is not a whole DXF file of ours.
  bool FSaveNeedsName = true;
  TqdSaveChoice FSaveForm;
  int FLoadPercent = 0;
  QString FFileName;
  QStringList FLoadWarnings;
  void ShowLoadWarnings(const QStringList& Warnings, bool Cancelled);
  // How Save writes the drawing just shown (its file's form and whether a name
  // must be asked for).
  void RememberSourceForm();
  TqdGraphic* FLoadingGraphic = nullptr;
  std::unique_ptr<QObject> FInputGate;
};
