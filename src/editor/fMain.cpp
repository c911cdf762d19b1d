#include "fMain.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUndoStack>
#include <QToolButton>
#include <QScreen>
#include <QSettings>
#include <QVBoxLayout>
#include <malloc.h>
#include <map>
#include <charconv>
#include <cmath>

#include "fExport.h"
#include "CADImage.h"
#include "Inserts.h"
#include "qdGraphic.h"
#include "BlockInsert.h"
#include "fEntityInspector.h"
#include "fPreview.h"
#include "fLayers.h"
#include "fFind.h"
#include "fPrint.h"
#include "fMeasure.h"
#include "fSave.h"
#include "qdEdits.h"
#include "TableItems.h"
#include "qdBlockLibrary.h"
#include "qdDrawingNavigator.h"
#include "qdSManager.h"

const char* const cnstOpenDialogFilter =
    "All (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.dxf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.dxf;*.dwg;*.plt;*.hgl;"
    "*.hpg|JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|"
    "Enhanced Metafiles (*.emf)|*.emf|Metafiles (*.wmf)|*.wmf|CAD files (*.dxf;*.dwg;*.plt)|*.dxf;*.dwg;*.plt;*.hgl;"
    "*.hpg";

namespace {

const char* const cnstTitle = "Draftwell";
const int cnstPanelWidths[4] = {300, 80, 200, 50};
const char* const cnstCancelled = "Loading cancelled: the drawing is incomplete";

// Lets only the Cancel button take input while a reader runs; Esc anywhere
// is the same as Cancel.
class TInputGate : public QObject {
 public:
  TInputGate(QWidget* Allowed, std::function<void()> OnEscape) : FAllowed(Allowed), FOnEscape(std::move(OnEscape)) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* E) override {
    if (E->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(E)->key() == Qt::Key_Escape &&
        qobject_cast<QWidget*>(Watched)) {
      if (FOnEscape) FOnEscape();
      return true;
    }
    switch (E->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::ShortcutOverride:
      case QEvent::ContextMenu: {
        // Window handles pass input on to their widgets: only widgets are gated.
        auto* W = qobject_cast<QWidget*>(Watched);
        return W && W != FAllowed;
      }
      default:
        return false;
    }
  }

 private:
  QWidget* FAllowed;
  std::function<void()> FOnEscape;
};

// Glyphs of the selection buttons, drawn so that no image files ship.
QIcon SelectGlyph(bool Multi) {
  QPixmap Pm(20, 20);
  Pm.fill(Qt::transparent);
  QPainter P(&Pm);
  P.setRenderHint(QPainter::Antialiasing);
  if (Multi) {
    P.setPen(QPen(Qt::black, 1, Qt::DashLine));
    P.drawRect(2, 2, 12, 12);
  }
  const QPointF Arrow[] = {{7, 5}, {7, 18}, {10, 15}, {12, 19}, {14, 18}, {12, 14}, {16, 14}};
  P.setPen(QPen(Qt::black, 1));
  P.setBrush(Qt::white);
  P.drawPolygon(Arrow, 7);
  return QIcon(Pm);
}

QToolButton* FlatButton(QWidget* Parent, const char* Name, const QString& Caption, const QString& Hint) {
  auto* B = new QToolButton(Parent);
  B->setObjectName(Name);
  B->setAutoRaise(true);
  B->setText(Caption);
  B->setToolTip(Hint);
  return B;
}

}  // namespace

QStringList qdQtNameFilters(const QString& Filter) {
  const QStringList Parts = Filter.split('|');
  QStringList R;
  for (qsizetype I = 0; I + 1 < Parts.size(); I += 2) {
    QString Patterns = Parts[I + 1];
    Patterns.replace(';', ' ');
    R << Parts[I] + " (" + Patterns + ")";
  }
  return R;
}

QStringList qdOpenDialogFilters() {
  // Formats by description, in registration order, each with its extensions.
  std::vector<std::pair<std::string, QStringList>> ByFormat;
  QStringList All;
  for (const TqdGraphicFormat& F : TqdGraphicFormats::Instance().Formats()) {
    if (!F.Factory) continue;
    const QString Pattern = "*." + QString::fromStdString(F.Extension);
    All << Pattern;
    auto It = std::find_if(ByFormat.begin(), ByFormat.end(), [&](const auto& P) { return P.first == F.Description; });
    if (It == ByFormat.end())
      ByFormat.emplace_back(F.Description, QStringList{Pattern});
    else
      It->second << Pattern;
  }
  QStringList R;
  R << "All drawings and pictures (" + All.join(' ') + ")";
  for (const auto& [Description, Patterns] : ByFormat)
    R << QString::fromStdString(Description) + " (" + Patterns.join(' ') + ")";
  R << "All files (*)";
  return R;
}

int qdWarningRank(const QString& W) {
  const QString L = W.toLower();
  if (L.startsWith("loading cancelled")) return 1;
  for (const char* K : {"cut short", "ends early", "truncated", "end of file", "unexpected end"})
    if (L.contains(K)) return 0;
  if (L.contains("not drawn")) return 2;
  if (L.contains("font") && (L.contains("not found") || L.contains("substitut") || L.contains("drawn with"))) return 4;
  return 3;
}

QStringList qdSortedWarnings(QStringList Warnings) {
  std::stable_sort(Warnings.begin(), Warnings.end(),
                   [](const QString& A, const QString& B) { return qdWarningRank(A) < qdWarningRank(B); });
  return Warnings;
}

std::unique_ptr<QSettings> qdEditorSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Draftwell", "editor");
}

QString qdStatusNumber(double V) {
  if (V == 0) V = 0;  // no "-0"
  char Buf[64];
  std::to_chars_result R;
  if (std::fabs(V) >= 10000000.0)
    R = std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::scientific, 7);
  else
    R = std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::general, 7);
  if (R.ec != std::errc()) return QStringLiteral("0");
  return QString::fromLatin1(Buf, R.ptr - Buf);
}

// ---------------------------------------------------------------- FormCreate

TfmMain::TfmMain(QWidget* Parent) : QMainWindow(Parent) {
  setObjectName("fmMain");
  setWindowTitle(cnstTitle);
  setMinimumSize(590, 250);
  FUndo = new QUndoStack(this);
  CreateControls();
  CreateMenu();
  // The first time at about 80% of the screen, later where the user left it.
  if (const QScreen* Sc = screen()) {
    const QRect A = Sc->availableGeometry();
    resize(std::max(minimumWidth(), A.width() * 4 / 5), std::max(minimumHeight(), A.height() * 4 / 5));
  } else {
    resize(797, 553 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
  }
  if (const auto S = qdEditorSettings(); S->contains("window/geometry"))
    restoreGeometry(S->value("window/geometry").toByteArray());
  FDNavigator->SetRefitOnResize(true);
  FDNavigator->SetAutoFocus(true);
  FDNavigator->SetRectZooming(true);
  FDNavigator->OnMouseMove = [this](TqdDrawingNavigator*, QMouseEvent* E) {
    const QPoint P = E->position().toPoint();
    NavigatorMouseMove(P.x(), P.y());
  };
  FDNavigator->OnProgress = [this](TqdGraphic* G, TqdProgressStage, int Percent, const std::string&) {
    LoadProgress(G, Percent);
  };
  OnGetOpenFileNames = [this]() -> QStringList {
    const auto S = qdEditorSettings();
    QFileDialog D(this, "Open");
    D.setFileMode(QFileDialog::ExistingFiles);
    const QStringList Filters = qdOpenDialogFilters();
    D.setNameFilters(Filters);
    // Where the last file came from, with the filter chosen then.
    const QString Folder = S->value("open/folder").toString();
    if (!Folder.isEmpty() && QDir(Folder).exists()) D.setDirectory(Folder);
    const QString Filter = S->value("open/filter").toString();
    if (Filters.contains(Filter)) D.selectNameFilter(Filter);
    if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return {};
    const QStringList Names = D.selectedFiles();
    S->setValue("open/folder", QFileInfo(Names.front()).absolutePath());
    S->setValue("open/filter", D.selectedNameFilter());
    return Names;
  };
  OnNewWindow = []() -> TfmMain* {
    auto* W = new TfmMain;
    W->setAttribute(Qt::WA_DeleteOnClose);
    W->show();
    return W;
  };
  setAcceptDrops(true);
  OnShowWarnings = [this](const QStringList& Warnings) {
    QMessageBox B(QMessageBox::Information, cnstTitle, "The drawing was loaded with warnings.", QMessageBox::Ok, this);
    B.setDetailedText(Warnings.join('\n'));
    B.setInformativeText(Warnings.mid(0, 10).join('\n') + (Warnings.size() > 10 ? "\n..." : ""));
    B.exec();
  };
  OnShowMessage = [this](const QString& Text, bool IsError) {
    if (IsError)
      QMessageBox::critical(this, cnstTitle, Text);
    else
      QMessageBox::information(this, cnstTitle, Text);
  };
  FInputGate = std::make_unique<TInputGate>(btnStopLoading, [this] { StopLoading(); });
  OnAskUnsaved = [this](const QString& Name) {
    QMessageBox B(QMessageBox::Warning, cnstTitle, QString("%1 has unsaved changes.").arg(Name),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    B.setInformativeText("Save the changes first?");
    B.setDefaultButton(QMessageBox::Save);
    switch (B.exec()) {
      case QMessageBox::Save: return TqdUnsavedAnswer::Save;
      case QMessageBox::Discard: return TqdUnsavedAnswer::Discard;
      default: return TqdUnsavedAnswer::Cancel;
    }
  };
  OnGetSaveFileName = [this](const TqdSaveChoice& Proposed) { return qdSaveDialog(this, Proposed); };
  FManager = std::make_unique<TqdSelectionManager>(FEntityInspector);
  FManager->SetMode(mmSelect);
  FEntityInspector->OnShowMessage = [this](const QString& Text) { ShowMessage(Text, false); };
  // Edits go through the undo stack; the modified flag follows its clean state.
  FEntityInspector->OnEdited = [this](TqdDXFEntity* E, TqdDXFEntity* Target, const std::string& Element, int Id,
                                      const TqdData& Old, const TqdData& New, const QString& Name) {
    FUndo->push(new TqdAttributeEdit(EditContext(), E, Target, Element, Id, Old, New,
                                     Name + " of " + qdEditEntityName(E)));
  };
  FManager->OnMoved = [this](const std::vector<TqdDXFEntity*>& Moved, const std::vector<std::vector<TFPoint>>& Before) {
    FUndo->push(new TqdMoveEdit(EditContext(), Moved, Before));
  };
  connect(FUndo, &QUndoStack::cleanChanged, this, [this](bool Clean) { SetModified(!Clean); });
  FLayers->OnChangeLayers = [this](std::vector<TqdLayerEdit::TChange> Changes, const QString& Text) {
    if (FLoading || !CADImageShown()) return;
    FUndo->push(new TqdLayerEdit(EditContext(), std::move(Changes), Text));
  };
  FLayers->OnSelectedLayer = [this]() -> TqdDXFLayer* {
    if (FManager->Entities().empty()) return nullptr;
    return FManager->Entities().front()->Layer();
  };
  FBlockLibrary = std::make_unique<TqdBlockLibrary>();
  FBlockInsert = new TfmBlockInsert(this);
  FBlockInsert->hide();
  FBlockInsert->Library = FBlockLibrary.get();
  FBlockInsert->OnInsertBlock = [this](int Index, float Y, float X) { InsertBlock(Index, Y, X); };
  OnExecDialog = [](QDialog& D) { return D.exec(); };
  UpdateControls();
}

TfmMain::~TfmMain() {
  // The stack goes with the children, after this part of the window.
  FUndo->disconnect(this);
  for (QObject* O : {static_cast<QObject*>(FMeasure), static_cast<QObject*>(FLayers), static_cast<QObject*>(FEntityInspector)})
    O->disconnect(this);
  if (FLoading) qApp->removeEventFilter(FInputGate.get());
}

void TfmMain::CreateControls() {
  auto* Central = new QWidget(this);
  auto* Outer = new QVBoxLayout(Central);
  Outer->setContentsMargins(0, 0, 0, 0);
  Outer->setSpacing(0);

  pnlMain = new QWidget(Central);
  pnlMain->setObjectName("pnlMain");
  pnlMain->setFixedHeight(33);
  auto* Top = new QHBoxLayout(pnlMain);
  Top->setContentsMargins(4, 2, 4, 2);
  BtnOpen = FlatButton(pnlMain, "BtnOpen", {}, "Open");
  BtnOpen->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  btnClose = FlatButton(pnlMain, "btnClose", {}, "Close");
  btnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  btnCopy = FlatButton(pnlMain, "btnCopy", "Copy", "Copy block");
  btnPaste = FlatButton(pnlMain, "btnPaste", "Paste", "Paste block");
  btnEntityInspector = FlatButton(pnlMain, "btnEntityInspector", "Entity Inspector", "Entity Inspector");
  sbPreviewSelection = FlatButton(pnlMain, "sbPreviewSelection", "Preview selection", "Preview selection");
  Label1 = new QLabel("Layouts:", pnlMain);
  Label1->setObjectName("Label1");
  cbLayouts = new QComboBox(pnlMain);
  cbLayouts->setObjectName("cbLayouts");
  cbLayouts->setFixedWidth(145);
  for (QWidget* W : {static_cast<QWidget*>(BtnOpen), static_cast<QWidget*>(btnClose),
                     static_cast<QWidget*>(btnCopy), static_cast<QWidget*>(btnPaste),
                     static_cast<QWidget*>(btnEntityInspector), static_cast<QWidget*>(sbPreviewSelection)})
    Top->addWidget(W);
  Top->addSpacing(12);
  Top->addWidget(Label1);
  Top->addWidget(cbLayouts);
  Top->addStretch(1);
  Outer->addWidget(pnlMain);

  splImage = new QSplitter(Qt::Horizontal, Central);
  splImage->setObjectName("splImage");
  pnlSelection = new QWidget(splImage);
  pnlSelection->setObjectName("pnlSelection");
  auto* Left = new QVBoxLayout(pnlSelection);
  Left->setContentsMargins(0, 0, 0, 0);
  Left->setSpacing(0);
  pnlButtons = new QWidget(pnlSelection);
  pnlButtons->setObjectName("pnlButtons");
  auto* Sel = new QHBoxLayout(pnlButtons);
  Sel->setContentsMargins(4, 2, 4, 2);
  BtnSelect = FlatButton(pnlButtons, "BtnSelect", {}, {});
  BtnSelect->setIcon(SelectGlyph(false));
  BtnMSelect = FlatButton(pnlButtons, "BtnMSelect", {}, {});
  BtnMSelect->setIcon(SelectGlyph(true));
  for (QToolButton* B : {BtnSelect, BtnMSelect}) {
    B->setCheckable(true);
    Sel->addWidget(B);
  }
  Sel->addStretch(1);
  Left->addWidget(pnlButtons);
  // The dock site: a window of its own inside the panel, so that the inspector
  // can float and dock back.
  pnlEntInsp = new QMainWindow(pnlSelection);
  pnlEntInsp->setObjectName("pnlEntInsp");
  pnlEntInsp->setWindowFlags(Qt::Widget);
  pnlEntInsp->setDockOptions(QMainWindow::AnimatedDocks);
  FEntityInspector = new TfmEntityInspector(pnlEntInsp);
  pnlEntInsp->addDockWidget(Qt::LeftDockWidgetArea, FEntityInspector);
  FLayers = new TfmLayers(pnlEntInsp);
  pnlEntInsp->addDockWidget(Qt::LeftDockWidgetArea, FLayers);
  pnlEntInsp->splitDockWidget(FEntityInspector, FLayers, Qt::Vertical);
  FMeasure = new TfmMeasure(pnlEntInsp);
  pnlEntInsp->addDockWidget(Qt::LeftDockWidgetArea, FMeasure);
  pnlEntInsp->tabifyDockWidget(FLayers, FMeasure);
  FMeasure->hide();
  Left->addWidget(pnlEntInsp, 1);
  FDNavigator = new TqdDrawingNavigator(splImage);
  FDNavigator->setObjectName("FDNavigator");
  splImage->addWidget(pnlSelection);
  splImage->addWidget(FDNavigator);
  splImage->setStretchFactor(1, 1);
  splImage->setSizes({300, 797 - 300});
  Outer->addWidget(splImage, 1);
  setCentralWidget(Central);

  // The load's most serious warning comes first and is never squeezed; the file
  // name takes what is left; the pointer's drawing coordinates sit at the right.
  btnLoadWarnings = new QToolButton(this);
  btnLoadWarnings->setObjectName("btnLoadWarnings");
  btnLoadWarnings->setAutoRaise(true);
  btnLoadWarnings->setToolTip("Show what the load reported");
  btnLoadWarnings->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  statusBar()->addWidget(btnLoadWarnings);
  for (int I = 0; I < 4; ++I) {
    sbrPanels[I] = new QLabel(this);
    sbrPanels[I]->setObjectName(QString("sbrPanel%1").arg(I));
    if (I == 0) {
      sbrPanels[I]->setMinimumWidth(0);
      sbrPanels[I]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
      statusBar()->addWidget(sbrPanels[I], 1);
    } else if (I == 2) {
      // Room for a short coordinate pair even when a long warning is shown.
      sbrPanels[I]->setMinimumWidth(100);
      sbrPanels[I]->setToolTip("The pointer in drawing units");
      statusBar()->addWidget(sbrPanels[I]);
    } else {
      // Client pixels (panel 1) tell a user nothing; panel 3 is unused.
      sbrPanels[I]->setFixedWidth(cnstPanelWidths[I]);
      sbrPanels[I]->hide();
    }
  }
  statusBar()->setObjectName("sbrMain");
  statusBar()->setSizeGripEnabled(false);
  pbLoading = new QProgressBar(this);
  pbLoading->setObjectName("pbLoading");
  pbLoading->setRange(0, 100);
  pbLoading->setFixedWidth(160);
  btnStopLoading = new QPushButton("Cancel", this);
  btnStopLoading->setObjectName("btnStopLoading");
  btnStopLoading->setToolTip("Stop loading (Esc)");
  statusBar()->addPermanentWidget(pbLoading);
  statusBar()->addPermanentWidget(btnStopLoading);
  pbLoading->hide();
  btnStopLoading->hide();
  btnLoadWarnings->hide();

  BtnSelect->setToolTip("Pointer: click to select, drag on empty space to zoom to a rectangle, drag the selection to move it");
  BtnMSelect->setToolTip("Frame selection: drag a frame around the entities to select");
  cbLayouts->setToolTip("The layout shown");
  connect(BtnOpen, &QToolButton::clicked, this, [this] { FileOpen(); });
  connect(btnClose, &QToolButton::clicked, this, [this] { FileClose(); });
  connect(btnCopy, &QToolButton::clicked, this, [this] { btnCopyClick(); });
  connect(btnPaste, &QToolButton::clicked, this, [this] { btnPasteClick(); });
  connect(btnEntityInspector, &QToolButton::clicked, this, [this] { btnEntityInspectorClick(); });
  connect(sbPreviewSelection, &QToolButton::clicked, this, [this] { Preview1Click(); });
  connect(BtnSelect, &QToolButton::clicked, this, [this] { BtnSelectClick(); });
  connect(BtnMSelect, &QToolButton::clicked, this, [this] { BtnMSelectClick(); });
  connect(cbLayouts, &QComboBox::currentIndexChanged, this, [this](int I) {
    if (!FFillingLayouts) cbLayoutsChange(I);
  });
  connect(btnStopLoading, &QPushButton::clicked, this, [this] { StopLoading(); });
  connect(btnLoadWarnings, &QToolButton::clicked, this, [this] {
    if (OnShowWarnings && !FLoadWarnings.isEmpty()) OnShowWarnings(FLoadWarnings);
  });
  // Docked: the panel is wide enough for the inspector; undocked: only the buttons.
  // The layers panel shares the site: the panel narrows only when neither is docked.
  for (QDockWidget* D : {static_cast<QDockWidget*>(FEntityInspector), static_cast<QDockWidget*>(FLayers)})
    connect(D, &QDockWidget::topLevelChanged, this, [this] {
      // Wide enough for a name and a value side by side ("LineWeight", "ByLayer").
      const bool Docked = !FEntityInspector->isFloating() || (!FLayers->isFloating() && !FLayers->isHidden());
      const int W = Docked ? 300 : 65;
      // The site's minimum width must already know the dock that just left.
      pnlEntInsp->layout()->activate();
      pnlSelection->layout()->activate();
      splImage->setSizes({W, std::max(1, splImage->width() - W)});
    });
}

void TfmMain::CreateMenu() {
  // The platform's standard keys, with a fallback where a platform has none.
  auto Keys = [](QAction* A, QKeySequence::StandardKey K, QKeySequence Fallback) {
    QList<QKeySequence> L = QKeySequence::keyBindings(K);
    if (L.isEmpty()) L << Fallback;
    A->setShortcuts(L);
    A->setShortcutVisibleInContextMenu(true);
  };
  mmiFile = menuBar()->addMenu("File");
  mmiOpen = mmiFile->addAction("Open...", this, [this] { FileOpen(); });
  Keys(mmiOpen, QKeySequence::Open, QKeySequence(Qt::CTRL | Qt::Key_O));
  mmiRecent = mmiFile->addMenu("Recent files");
  mmiClose = mmiFile->addAction("Close", this, [this] { FileClose(); });
  Keys(mmiClose, QKeySequence::Close, QKeySequence(Qt::CTRL | Qt::Key_W));
  FillRecentFiles();
  mmiFile->addSeparator();
  mmiSave = mmiFile->addAction("Save", this, [this] { FileSave(); });
  Keys(mmiSave, QKeySequence::Save, QKeySequence(Qt::CTRL | Qt::Key_S));
  mmiSaveAs = mmiFile->addAction("Save As...", this, [this] { FileSaveAs(); });
  Keys(mmiSaveAs, QKeySequence::SaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  mmiFile->addSeparator();
  // Pictures of the current layout.
  mmiExport = mmiFile->addAction("Export...", this, [this] {
    TqdCADImage* I = FDNavigator->CADImage();
    if (!I) return;
    const auto S = qdEditorSettings();
    QString Folder = S->value("export/folder", S->value("open/folder").toString()).toString();
    if (qdExportDialog(this, *I, Folder)) S->setValue("export/folder", Folder);
  });
  mmiPrint = mmiFile->addAction("Print...", this, [this] {
    TqdCADImage* I = FDNavigator->CADImage();
    if (!I) return;
    const TFPoint A = FDNavigator->GetDrawingInternalCoordsWithoutSnap(0, 0);
    const TFPoint B = FDNavigator->GetDrawingInternalCoordsWithoutSnap(FDNavigator->width(), FDNavigator->height());
    TfmPrint D(*I, TFRect{A.X, A.Y, 0, B.X, B.Y, 0}, this);
    if (OnExecDialog) OnExecDialog(D);
  });
  Keys(mmiPrint, QKeySequence::Print, QKeySequence(Qt::CTRL | Qt::Key_P));
  mmiFile->addSeparator();
  mmiExit = mmiFile->addAction("Exit", this, [this] { close(); });
  Keys(mmiExit, QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
  mmiEdit = menuBar()->addMenu("Edit");
  // "Undo Colour of LINE": the stack names the action.
  mmiUndo = FUndo->createUndoAction(this, "Undo");
  mmiUndo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z)});
  mmiRedo = FUndo->createRedoAction(this, "Redo");
  mmiRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  for (QAction* A : {mmiUndo, mmiRedo}) {
    A->setShortcutVisibleInContextMenu(true);
    mmiEdit->addAction(A);
  }
  mmiEdit->addSeparator();
  mmiFind = mmiEdit->addAction("Find text...", this, [this] { ShowFind(); });
  Keys(mmiFind, QKeySequence::Find, QKeySequence(Qt::CTRL | Qt::Key_F));
  mmiEdit->addSeparator();
  mmiCopy = mmiEdit->addAction("Copy", this, [this] { btnCopyClick(); });
  Keys(mmiCopy, QKeySequence::Copy, QKeySequence(Qt::CTRL | Qt::Key_C));
  mmiPaste = mmiEdit->addAction("Paste", this, [this] { btnPasteClick(); });
  Keys(mmiPaste, QKeySequence::Paste, QKeySequence(Qt::CTRL | Qt::Key_V));
  mmiSelection = menuBar()->addMenu("Selection");
  mmiSelectAll = mmiSelection->addAction("Select all", this, [this] { mmiSelectAllClick(); });
  mmiSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  mmiDeselectAll = mmiSelection->addAction("Deselect all", this, [this] { mmiDeselectAllClick(); });
  mmiPreview = mmiSelection->addAction("Preview selection...", this, [this] { Preview1Click(); });

  mmiTools = menuBar()->addMenu("Tools");
  mmiMeasure = mmiTools->addAction("Measure", this, [this](bool On) { SetMeasuring(On); });
  mmiMeasure->setCheckable(true);
  mmiMeasure->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  mmiMeasure->setShortcutVisibleInContextMenu(true);
  connect(FMeasure, &QDockWidget::visibilityChanged, this, [this](bool Visible) {
    // Closing the panel ends measuring (a tab switch only hides it for a while).
    if (!Visible && FMeasure->isHidden() && mmiMeasure->isChecked()) SetMeasuring(false);
  });

  mmiView = menuBar()->addMenu("View");
  mmiFit = mmiView->addAction("Zoom to extents", this, [this] { FDNavigator->FitToSize(); });
  mmiFit->setShortcuts({QKeySequence(Qt::Key_Home), QKeySequence(Qt::CTRL | Qt::Key_0)});
  mmiFit->setShortcutVisibleInContextMenu(true);
  mmiZoomSelection = mmiView->addAction("Zoom to selection", this, [this] { ZoomToSelection(); });
  mmiZoomSelection->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Home));
  auto Zoom = [this](bool In) {
    const QPointF C(FDNavigator->width() / 2.0, FDNavigator->height() / 2.0);
    if (FDNavigator->AlterScale(false, {C.x(), C.y()}, In ? FDNavigator->ZoomInChange() : FDNavigator->ZoomOutChange()))
      FDNavigator->update();
  };
  mmiZoomIn = mmiView->addAction("Zoom in", this, [Zoom] { Zoom(true); });
  Keys(mmiZoomIn, QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Plus));
  mmiZoomOut = mmiView->addAction("Zoom out", this, [Zoom] { Zoom(false); });
  Keys(mmiZoomOut, QKeySequence::ZoomOut, QKeySequence(Qt::CTRL | Qt::Key_Minus));
  // Plain + and - too (a text field being typed in takes them first).
  mmiZoomIn->setShortcuts(mmiZoomIn->shortcuts() << QKeySequence(Qt::Key_Plus) << QKeySequence(Qt::Key_Equal));
  mmiZoomOut->setShortcuts(mmiZoomOut->shortcuts() << QKeySequence(Qt::Key_Minus));
  mmiView->addSeparator();
  // Arrow keys move the view a tenth of its size. They act in the view only
  // (lists and boxes keep theirs), so the menu entries only name them.
  mmiPan = mmiView->addMenu("Pan");
  struct TPan {
    const char* Name;
    Qt::Key Key;
    int DX, DY;
  };
  for (const TPan& P : {TPan{"Left", Qt::Key_Left, 1, 0}, TPan{"Right", Qt::Key_Right, -1, 0},
                        TPan{"Up", Qt::Key_Up, 0, 1}, TPan{"Down", Qt::Key_Down, 0, -1}}) {
    auto Pan = [this, P] {
      FDNavigator->MovePictureRect(P.DX * std::max(1, FDNavigator->width() / 10),
                                   P.DY * std::max(1, FDNavigator->height() / 10));
      FDNavigator->update();
    };
    const QString Key = QKeySequence(P.Key).toString(QKeySequence::NativeText);
    FPanActions << mmiPan->addAction(QString(P.Name) + "\t" + Key, this, Pan);
    auto* InView = new QAction(FDNavigator);
    InView->setShortcut(QKeySequence(P.Key));
    InView->setShortcutContext(Qt::WidgetShortcut);
    connect(InView, &QAction::triggered, this, Pan);
    FDNavigator->addAction(InView);
    FPanActions << InView;
  }
  mmiView->addSeparator();
  auto* Backgrounds = new QActionGroup(this);
  mmiBackgroundWhite = mmiView->addAction("White background", this, [this] { SetBlackBackground(false); });
  mmiBackgroundBlack = mmiView->addAction("Black background", this, [this] { SetBlackBackground(true); });
  for (QAction* A : {mmiBackgroundWhite, mmiBackgroundBlack}) {
    A->setCheckable(true);
    Backgrounds->addAction(A);
  }

  mmiHelp = menuBar()->addMenu("Help");
  mmiShortcuts = mmiHelp->addAction("Keyboard and mouse", this, [this] {
    ShowMessage(QStringLiteral(
                    "Mouse\n"
                    "  Wheel: zoom about the pointer (Ctrl: fine steps)\n"
                    "  Left drag on empty space: zoom to the rectangle\n"
                    "  Left click: select (Shift: add or remove)\n"
                    "  Left drag on the selection: move it\n"
                    "  Right or middle drag: pan; middle double-click: fit\n\n"
                    "Keys\n"
                    "  %1 open, %2 close, %3 print, %4 quit\n"
                    "  %5 copy, %6 paste, Ctrl+A select all, Esc deselect or stop a load\n"
                    "  Home or Ctrl+0 zoom to extents, %7 or + zoom in, %8 or - zoom out\n"
                    "  Shift+Home zoom to selection, arrow keys (in the view) pan\n"
                    "  Ctrl+Z undo, Ctrl+Shift+Z or Ctrl+Y redo")
                    .arg(mmiOpen->shortcut().toString(QKeySequence::NativeText),
                         mmiClose->shortcut().toString(QKeySequence::NativeText),
                         mmiPrint->shortcut().toString(QKeySequence::NativeText),
                         mmiExit->shortcut().toString(QKeySequence::NativeText),
                         mmiCopy->shortcut().toString(QKeySequence::NativeText),
                         mmiPaste->shortcut().toString(QKeySequence::NativeText),
                         mmiZoomIn->shortcut().toString(QKeySequence::NativeText),
                         mmiZoomOut->shortcut().toString(QKeySequence::NativeText)),
                false);
  });
  mmiShortcuts->setShortcut(QKeySequence(Qt::Key_F1));
  mmiAbout = mmiHelp->addAction("About Draftwell", this, [this] {
    ShowMessage(QString("Draftwell %1\nViews, inspects and edits CAD drawings (DXF, DWG, plot files) and pictures.")
                    .arg(QCoreApplication::applicationVersion()),
                false);
  });
  ApplyBackground();
}

bool TfmMain::BlackBackground() const { return qdEditorSettings()->value("view/background").toString() == "black"; }

void TfmMain::SetBlackBackground(bool V) {
  qdEditorSettings()->setValue("view/background", V ? "black" : "white");
  ApplyBackground();
}

void TfmMain::ApplyBackground() {
  const bool Black = BlackBackground();
  if (mmiBackgroundBlack) (Black ? mmiBackgroundBlack : mmiBackgroundWhite)->setChecked(true);
  if (TqdCADImage* I = FDNavigator ? FDNavigator->CADImage() : nullptr) {
    I->SetBackgroundColor(Black ? 0 : 0xFFFFFF);
    FDNavigator->Invalidate();
  }
}

void TfmMain::AddRecentFile(const QString& FileName) {
  const auto S = qdEditorSettings();
  QStringList L = S->value("recent/files").toStringList();
  L.removeAll(FileName);
  L.prepend(FileName);
  while (L.size() > 8) L.removeLast();
  S->setValue("recent/files", L);
  FillRecentFiles();
}

QStringList TfmMain::RecentFiles() const { return qdEditorSettings()->value("recent/files").toStringList(); }

void TfmMain::FillRecentFiles() {
  mmiRecent->clear();
  const QStringList L = RecentFiles();
  for (int I = 0; I < L.size(); ++I) {
    const QString Name = L[I];
    QAction* A = mmiRecent->addAction(QString("&%1 %2").arg(I + 1).arg(QFileInfo(Name).fileName()), this,
                                      [this, Name] { FileOpen(Name); });
    A->setToolTip(Name);
    A->setStatusTip(Name);
  }
  mmiRecent->setEnabled(!L.isEmpty());
}

// ---------------------------------------------------------------- state

bool TfmMain::CADImageShown() const { return FFileOpen && FDNavigator->CADImage() != nullptr; }

void TfmMain::UpdateControls() {
  const bool Idle = !FLoading, File = Idle && FFileOpen, CAD = Idle && CADImageShown();
  mmiOpen->setEnabled(Idle);
  BtnOpen->setEnabled(Idle);
  mmiExit->setEnabled(Idle);
  mmiClose->setEnabled(File);
  mmiSave->setEnabled(CAD);
  mmiSaveAs->setEnabled(CAD);
  mmiExport->setEnabled(CAD);
  mmiPrint->setEnabled(CAD);
  btnClose->setEnabled(File);
  mmiSelection->menuAction()->setEnabled(File);
  mmiSelectAll->setEnabled(CAD);
  mmiDeselectAll->setEnabled(File);
  // Copy and Preview work on a drawing; without one they would reach a closed one.
  mmiPreview->setEnabled(CAD);
  sbPreviewSelection->setEnabled(CAD);
  btnCopy->setEnabled(CAD);
  mmiCopy->setEnabled(CAD);
  mmiFind->setEnabled(CAD);
  mmiMeasure->setEnabled(CAD);
  btnPaste->setEnabled(CAD);
  mmiPaste->setEnabled(CAD);
  btnEntityInspector->setEnabled(Idle);
  BtnSelect->setEnabled(File);
  BtnMSelect->setEnabled(File);
  cbLayouts->setEnabled(CAD && cbLayouts->count() > 0);
  FDNavigator->setEnabled(Idle);
  pnlSelection->setEnabled(Idle);
  for (QAction* A : {mmiFit, mmiZoomIn, mmiZoomOut, mmiZoomSelection})
    if (A) A->setEnabled(File);
  for (QAction* A : FPanActions) A->setEnabled(File);
  if (mmiRecent) mmiRecent->setEnabled(Idle && !RecentFiles().isEmpty());
}

QString TfmMain::StatusText(int Panel) const {
  return Panel >= 0 && Panel < 4 ? sbrPanels[Panel]->text() : QString();
}

void TfmMain::ClearStatus() {
  for (QLabel* L : sbrPanels) L->clear();
  if (btnLoadWarnings) {
    btnLoadWarnings->hide();
    btnLoadWarnings->setText(QString());
    btnLoadWarnings->setMinimumWidth(0);
  }
  FLoadWarnings.clear();
}

void TfmMain::ShowMessage(const QString& Text, bool IsError) {
  if (OnShowMessage) OnShowMessage(Text, IsError);
}

void TfmMain::DetachDrawing() {
  // Nothing may keep pointing into the drawing that is about to be freed: the
  // layouts list goes first, then the picture itself.
  FFillingLayouts = true;
  cbLayouts->clear();
  FFillingLayouts = false;
  FFileOpen = false;
  if (FManager) FManager->Cancel();
  // Undone additions are owned by the stack: they go while the drawing is alive.
  FUndo->clear();
  FLayers->Load(nullptr);
  if (FFind) FFind->Clear();
  if (FMeasure->Active()) SetMeasuring(false);
  // Library blocks link the tables of the drawing that goes.
  if (FBlockLibrary) FBlockLibrary->Clear();
  FEntityInspector->Clear();
  FDNavigator->Clear();
  FFileName.clear();
  FModified = false;
  FSaveNeedsName = true;
  UpdateTitle();
  BtnSelect->setChecked(false);
  BtnMSelect->setChecked(false);
  FDNavigator->unsetCursor();
  UpdateControls();
}

void TfmMain::UpdateTitle() {
  if (FFileName.isEmpty()) {
    setWindowTitle(cnstTitle);
    return;
  }
  setWindowTitle(QFileInfo(FFileName).fileName() + (FModified ? "*" : "") + QString::fromUtf8(" \u2014 ") + cnstTitle);
}

void TfmMain::SetModified(bool V) {
  if (!FFileOpen) V = false;
  if (FModified == V) return;
  FModified = V;
  UpdateTitle();
}

bool TfmMain::MayDiscardChanges() {
  if (!FModified || !FFileOpen) return true;
  const QString Name = QFileInfo(FFileName).fileName();
  if (!OnAskUnsaved) return false;
  switch (OnAskUnsaved(Name)) {
    // A save that failed or was cancelled keeps the drawing open.
    case TqdUnsavedAnswer::Save: return FileSave();
    case TqdUnsavedAnswer::Discard: return true;
    default: return false;
  }
}

void TfmMain::SetLoading(bool V) {
  if (V) {
    FLoading = true;
    FLoadPercent = 0;
    pbLoading->setValue(0);
    pbLoading->show();
    btnStopLoading->show();
    btnStopLoading->setEnabled(true);
    qApp->installEventFilter(FInputGate.get());
  } else {
    // Input that arrived while the reader ran is spent here, through the gate:
    // a late click on Cancel must not land on whatever takes its place.
    btnStopLoading->setEnabled(false);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    qApp->removeEventFilter(FInputGate.get());
    FLoading = false;
    pbLoading->hide();
    btnStopLoading->hide();
  }
  menuBar()->setEnabled(!V);
  pnlMain->setEnabled(!V);
  UpdateControls();
}

void TfmMain::LoadProgress(TqdGraphic* Sender, int Percent) {
  if (!FLoading) return;
  FLoadingGraphic = Sender;
  // Readers report by phase; the bar only ever moves forward within one load.
  if (Percent > FLoadPercent) {
    FLoadPercent = std::min(Percent, 100);
    pbLoading->setValue(FLoadPercent);
  }
  // The window stays alive while the reader runs; the gate lets only Cancel (and
  // Esc) through.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TfmMain::StopLoading() {
  if (!FLoading || FStopRequested) return;
  FStopRequested = true;
  if (auto* I = dynamic_cast<TqdCADImage*>(FLoadingGraphic)) I->StopLoading();
  btnStopLoading->setEnabled(false);
}

// ---------------------------------------------------------------- open and close

void TfmMain::FileOpen() {
  if (FLoading) return;
  QStringList Names;
  if (OnGetOpenFileName) {
    if (const QString N = OnGetOpenFileName(); !N.isEmpty()) Names << N;
  } else if (OnGetOpenFileNames) {
    Names = OnGetOpenFileNames();
  }
  OpenFiles(Names);
}

void TfmMain::OpenFiles(const QStringList& Names) {
  // This window takes the first file when it shows nothing; every other file
  // gets a window of its own, so that nothing shown is replaced unasked.
  bool Here = !FFileOpen && !FLoading;
  for (const QString& Name : Names) {
    if (Name.isEmpty()) continue;
    if (Here) {
      Here = false;
      FileOpen(Name);
    } else if (TfmMain* W = OnNewWindow ? OnNewWindow() : nullptr) {
      W->FileOpen(Name);
    }
  }
}

QStringList qdDroppedFiles(const QMimeData* M) {
  QStringList R;
  if (!M || !M->hasUrls()) return R;
  for (const QUrl& U : M->urls())
    if (U.isLocalFile() && QFileInfo(U.toLocalFile()).isFile()) R << U.toLocalFile();
  return R;
}

void TfmMain::dragEnterEvent(QDragEnterEvent* E) {
  if (!FLoading && !qdDroppedFiles(E->mimeData()).isEmpty()) E->acceptProposedAction();
}

void TfmMain::dropEvent(QDropEvent* E) {
  const QStringList Names = qdDroppedFiles(E->mimeData());
  if (FLoading || Names.isEmpty()) return;
  E->acceptProposedAction();
  // Opened after the drop returns: the source must not wait for a whole load.
  QTimer::singleShot(0, this, [this, Names] { OpenFiles(Names); });
}

bool TfmMain::FileOpen(const QString& FileName) {
  if (FLoading || FileName.isEmpty()) return false;
  if (!MayDiscardChanges()) return false;
  // The drawing shown stays until the new one is read: a failed or cancelled
  // load leaves it, its view and its selection as they were.
  FStopRequested = false;
  FDNavigator->BeginUpdate();
  SetLoading(true);
  QString Error;
  std::unique_ptr<TqdGraphic> G;
  try {
    G = FDNavigator->ReadFile(FileName.toStdString());
  } catch (const std::exception& E) {
    Error = QString::fromStdString(E.what());
  } catch (...) {
  }
  if (!G && Error.isEmpty()) Error = "Cannot open \"" + FileName + "\"";
  FLoadingGraphic = nullptr;
  SetLoading(false);
  // A load cancelled before anything was read leaves the drawing shown before.
  if (auto* I = dynamic_cast<TqdCADImage*>(G.get()); I && FStopRequested && !I->HasContent()) G.reset();
  const bool Ok = G != nullptr;
  if (Ok) {
    ShowDrawing(std::move(G), FileName);
  } else {
    FDNavigator->EndUpdate();
    FDNavigator->update();
    UpdateControls();
  }
  // A load the user cancelled needs no error box.
  if (!Ok && !FCloseRequested && !FStopRequested) ShowMessage(Error, true);
  FStopRequested = false;
  if (OnLoaded) OnLoaded(Ok);
  if (FCloseRequested) {
    // A close asked for during the load runs now that the reader is done.
    FCloseRequested = false;
    QTimer::singleShot(0, this, [this] { close(); });
  }
  return Ok;
}

void TfmMain::ShowDrawing(std::unique_ptr<TqdGraphic> G, const QString& FileName) {
  const bool Cancelled = FStopRequested;
  DetachDrawing();
  ClearStatus();
  FDNavigator->SetGraphic(std::move(G));
  FFileName = FileName;
  FFileOpen = true;
  FModified = false;
  UpdateTitle();
  BtnSelect->setChecked(true);
  BtnMSelect->setChecked(false);
  FManager->SetMode(mmSelect);
  FDNavigator->setCursor(Qt::ArrowCursor);
  FDNavigator->FitToSize();
  // Attaching re-reads the graphic and loads the inspector's list.
  // A drawing's list is loaded once, by the layout chosen below (a large one
  // takes a while to list).
  TqdCADImage* Shown = FDNavigator->CADImage();
  const bool HasLayouts = Shown && Shown->LayoutsCount() > 0;
  FManager->SetDNavigator(FDNavigator, !HasLayouts);
  FBlockLibrary->SetDNavigator(FDNavigator);
  FUndo->clear();
  FLayers->Load(FDNavigator->CADImage() ? FDNavigator->CADImage()->Converter() : nullptr);
  if (TqdCADImage* I = FDNavigator->CADImage()) {
    FFillingLayouts = true;
    for (int L = 0; L < I->LayoutsCount(); ++L)
      if (const TqdDXFLayout* Layout = I->GetLayout(L)) cbLayouts->addItem(QString::fromStdString(Layout->Name()));
    // The layout the file says is current, as the command line draws it.
    int Current = I->Converter() ? I->Converter()->DefaultLayoutIndex() : 0;
    if (Current < 0 || Current >= cbLayouts->count()) Current = 0;
    cbLayouts->setCurrentIndex(cbLayouts->count() > 0 ? Current : -1);
    FFillingLayouts = false;
    if (cbLayouts->count() > 0)
      cbLayoutsChange(Current);
    else if (HasLayouts)
      FEntityInspector->Load(FDNavigator);
  }
  UpdateControls();
  FDNavigator->EndUpdate();
  FDNavigator->update();
  ApplyBackground();
  AddRecentFile(FileName);
  sbrPanels[0]->setText(FileName);
  sbrPanels[0]->setToolTip(FileName);
  QStringList Warnings;
  bool ReaderCancelled = false;
  if (TqdGraphic* Shown = FDNavigator->ActualGraphic())
    for (const std::string& W : Shown->LoadWarnings()) Warnings << QString::fromStdString(W);
  if (TqdCADImage* I = FDNavigator->CADImage())
    ReaderCancelled = I->LoadResult().Cancelled || (I->Converter() && I->Converter()->LoadingStopped());
  ShowLoadWarnings(Warnings, Cancelled || ReaderCancelled);
  RememberSourceForm();
}

void TfmMain::CloseDrawing() {
  mmiDeselectAllClick();
  DetachDrawing();
  ClearStatus();
  // A large drawing leaves its freed pages with the allocator: give them back.
  malloc_trim(0);
}

bool TfmMain::FileClose() {
  if (FLoading) return false;
  if (!MayDiscardChanges()) return false;
  CloseDrawing();
  return true;
}

QString TfmMain::LoadSummary() const { return btnLoadWarnings->isVisible() ? btnLoadWarnings->text() : QString(); }

void TfmMain::ShowLoadWarnings(const QStringList& Warnings, bool Cancelled) {
  FLoadWarnings = Warnings;
  if (Cancelled && !FLoadWarnings.contains(cnstCancelled)) FLoadWarnings.prepend(cnstCancelled);
  FLoadWarnings = qdSortedWarnings(FLoadWarnings);
  if (FLoadWarnings.isEmpty()) {
    btnLoadWarnings->hide();
    btnLoadWarnings->setText(QString());
    return;
  }
  // The most serious warning, whole; the rest are one click away.
  QString Text = FLoadWarnings.front();
  constexpr int cnstMaxSummary = 160;
  if (Text.size() > cnstMaxSummary) Text = Text.left(cnstMaxSummary - 3) + "...";
  if (FLoadWarnings.size() > 1) Text += QString(" (+%1 more)").arg(FLoadWarnings.size() - 1);
  btnLoadWarnings->setText(Text);
  // Whole: the warning is never squeezed by the panels beside it.
  btnLoadWarnings->setMinimumWidth(btnLoadWarnings->sizeHint().width());
  btnLoadWarnings->setToolTip(FLoadWarnings.mid(0, 20).join('\n') + "\n\nClick for the whole list.");
  btnLoadWarnings->show();
}

void TfmMain::cbLayoutsChange(int Index) {
  if (FLoading) return;
  TqdCADImage* I = FDNavigator->CADImage();
  if (!I || Index < 0 || Index >= I->LayoutsCount()) return;
  // The selection belongs to the layout shown so far.
  FManager->SetLayouts(Index);
  FDNavigator->update();
}

// ---------------------------------------------------------------- buttons

void TfmMain::BtnSelectClick() {
  FDNavigator->setCursor(Qt::ArrowCursor);
  FManager->SetMode(mmSelect);
  BtnSelect->setChecked(true);
  BtnMSelect->setChecked(false);
}

void TfmMain::BtnMSelectClick() {
  FDNavigator->setCursor(Qt::CrossCursor);
  FManager->SetMode(mmMultiSelect);
  BtnMSelect->setChecked(true);
  BtnSelect->setChecked(false);
}

void TfmMain::btnCopyClick() {
  if (FLoading || !CADImageShown() || FManager->Entities().empty()) return;
  FBlockLibrary->CopyAsBlock(FManager->Entities());
}

void TfmMain::btnPasteClick() {
  if (FLoading || !CADImageShown()) return;
  FBlockInsert->FormShow();
  if (OnExecDialog) OnExecDialog(*FBlockInsert);
}

bool TfmMain::InsertBlock(int Index, float Y, float X) {
  if (FLoading || !CADImageShown()) return false;
  TqdDXFInsert* R = FBlockLibrary->PasteAsBlock(Index, Y, X);
  if (!R) return false;
  FManager->DeselectAll();
  FManager->Select(R);
  FEntityInspector->AddEntity(R, true);
  FManager->InvalidateHighlights();
  if (TqdDXFEntity* Owner = R->Owner())
    FUndo->push(new TqdAddEntityEdit(EditContext(), Owner, R, "Paste " + qdEditEntityName(R)));
  return true;
}

void TfmMain::SetMeasuring(bool On) {
  On = On && !FLoading && CADImageShown();
  mmiMeasure->setChecked(On);
  if (On == FMeasure->Active()) return;
  if (On) {
    FManager->DeselectAll();
    FMeasure->show();
    FMeasure->raise();
    FMeasure->Attach(FDNavigator, FManager->Matrix());
  } else {
    FMeasure->Attach(nullptr, nullptr);
    FMeasure->hide();
    FDNavigator->setCursor(Qt::ArrowCursor);
  }
}

void TfmMain::ShowFind() {
  if (FLoading || !CADImageShown()) return;
  if (!FFind) {
    FFind = new TfmFind(this);
    FFind->OnSearch = [this] {
      if (CADImageShown()) FFind->Search(FDNavigator->CADImage(), cbLayouts->currentIndex());
    };
    FFind->OnPick = [this](const TqdTextHit& H) { ShowTextHit(H); };
  }
  FFind->show();
  FFind->raise();
  FFind->activateWindow();
  FFind->edtText->setFocus();
  FFind->edtText->selectAll();
}

void TfmMain::ShowTextHit(const TqdTextHit& H) {
  TqdCADImage* I = FDNavigator->CADImage();
  if (FLoading || !I || H.Layout < 0 || H.Layout >= cbLayouts->count()) return;
  if (cbLayouts->currentIndex() != H.Layout) cbLayouts->setCurrentIndex(H.Layout);
  FManager->DeselectAll();
  if (!FManager->Select(H.Entity)) {
    ShowMessage("The text is on a layer that is off or frozen", false);
    return;
  }
  FEntityInspector->RefreshGrid(H.Entity);
  FManager->InvalidateHighlights();
  ZoomToSelection();
}

void TfmMain::ZoomToSelection() {
  TqdCADImage* I = FDNavigator->CADImage();
  if (FLoading || !I || FManager->Entities().empty()) return;
  // Screen positions below come from the last frame: it must be the current one.
  FDNavigator->RefreshFrame();
  TFRect Box = cnstBadRect;
  for (const TqdDXFEntity* E : FManager->Entities())
    if (!IsBadBox(E->Box())) UnionBoxes(Box, E->Box());
  if (IsBadBox(Box)) return;
  // The box's corners on screen; a tenth of a margin round it.
  double L = 1e300, T = 1e300, R = -1e300, B = -1e300;
  for (double X : {Box.Left, Box.Right})
    for (double Y : {Box.Top, Box.Bottom})
      for (double Z : {Box.Z1, Box.Z2}) {
        const TqdPoint P = I->GetPoint({X, Y, Z});
        L = std::min(L, double(P.X)), R = std::max(R, double(P.X));
        T = std::min(T, double(P.Y)), B = std::max(B, double(P.Y));
      }
  // A point or a line along an axis still gets a rectangle to zoom to.
  const double M = std::max({(R - L) / 10, (B - T) / 10, 8.0});
  FDNavigator->ZoomToRect({L - M, T - M, R + M, B + M});
  FDNavigator->update();
}

TqdEditContext TfmMain::EditContext() {
  TqdEditContext C;
  C.EntityChanged = [this](TqdDXFEntity* E) {
    TqdCADImage* I = FDNavigator->CADImage();
    if (!I || !E) return;
    if (TqdDXFConverter* Conv = I->Converter()) Conv->Loads(E);
    FDNavigator->Invalidate();
    if (FEntityInspector->ShownEntity() == E) FEntityInspector->RefreshGrid(E);
    FManager->InvalidateHighlights();
  };
  C.ListChanged = [this] {
    // The selection and the list may hold an entity that just went.
    FManager->Cancel();
    FEntityInspector->Load(FDNavigator);
    FDNavigator->Invalidate();
  };
  C.LayerChanged = [this](TqdDXFLayer*) {
    FManager->DropHidden();
    FLayers->Reload();
    FDNavigator->Invalidate();
    FDNavigator->update();
  };
  return C;
}

void TfmMain::Preview1Click() {
  if (FLoading || !CADImageShown()) return;
  if (FManager->Entities().empty()) {
    ShowMessage("There are no selected entities", false);
    return;
  }
  TfmPreview P(this);
  if (!P.FillImage(FManager.get(), FDNavigator->CADImage())) return;
  if (OnExecDialog) OnExecDialog(P);
}

void TfmMain::btnEntityInspectorClick() {
  if (FEntityInspector->isVisible() && !FEntityInspector->isFloating()) {
    FEntityInspector->setFocus();
    return;
  }
  FEntityInspector->setFloating(false);
  FEntityInspector->show();
  FEntityInspector->raise();
}

void TfmMain::mmiSelectAllClick() {
  if (!FLoading && CADImageShown()) FManager->SelectAll();
}

void TfmMain::mmiDeselectAllClick() {
  if (FManager) FManager->DeselectAll();
}

// ---------------------------------------------------------------- status bar

void TfmMain::NavigatorMouseMove(int X, int Y) {
  sbrPanels[1]->setText(QString("X:%1  Y:%2").arg(X).arg(Y));
  const TFPoint P = FDNavigator->GetDrawingInternalCoordsWithoutSnap(X, Y);
  sbrPanels[2]->setText("X:" + qdStatusNumber(P.X) + "  Y:" + qdStatusNumber(P.Y) + "  Z:" + qdStatusNumber(P.Z));
}

// ---------------------------------------------------------------- window

void TfmMain::closeEvent(QCloseEvent* E) {
  if (FLoading) {
    // The reader still owns the drawing: stop it and close when it returns.
    FCloseRequested = true;
    StopLoading();
    E->ignore();
    return;
  }
  if (!MayDiscardChanges()) {
    E->ignore();
    return;
  }
  CloseDrawing();
  qdEditorSettings()->setValue("window/geometry", saveGeometry());
  E->accept();
}

void TfmMain::keyPressEvent(QKeyEvent* E) {
  if (E->key() == Qt::Key_Escape) {
    // The selection and the inspector's grid.
    if (FManager) FManager->Cancel();
    return;
  }
  QMainWindow::keyPressEvent(E);
}

void TfmMain::resizeEvent(QResizeEvent* E) {
  // Panel 0 stretches with the status bar (its layout does the arithmetic).
  QMainWindow::resizeEvent(E);
}
