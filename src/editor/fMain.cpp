#include "fMain.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
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

// Lets only the Cancel button take input while a reader runs.
class TInputGate : public QObject {
 public:
  explicit TInputGate(QWidget* Allowed) : FAllowed(Allowed) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* E) override {
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
  CreateControls();
  CreateMenu();
  // The first time at the client size of the design, later where the user left it.
  resize(797, 553 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
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
  OnGetOpenFileName = [this]() -> QString {
    const auto S = qdEditorSettings();
    QFileDialog D(this, "Open");
    D.setFileMode(QFileDialog::ExistingFile);
    const QStringList Filters = qdOpenDialogFilters();
    D.setNameFilters(Filters);
    // Where the last file came from, with the filter chosen then.
    const QString Folder = S->value("open/folder").toString();
    if (!Folder.isEmpty() && QDir(Folder).exists()) D.setDirectory(Folder);
    const QString Filter = S->value("open/filter").toString();
    if (Filters.contains(Filter)) D.selectNameFilter(Filter);
    if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return {};
    const QString Name = D.selectedFiles().front();
    S->setValue("open/folder", QFileInfo(Name).absolutePath());
    S->setValue("open/filter", D.selectedNameFilter());
    return Name;
  };
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
  FInputGate = std::make_unique<TInputGate>(btnStopLoading);
  FManager = std::make_unique<TqdSelectionManager>(FEntityInspector);
  FManager->SetMode(mmSelect);
  FEntityInspector->OnShowMessage = [this](const QString& Text) { ShowMessage(Text, false); };
  FBlockLibrary = std::make_unique<TqdBlockLibrary>();
  FBlockInsert = new TfmBlockInsert(this);
  FBlockInsert->hide();
  FBlockInsert->Library = FBlockLibrary.get();
  FBlockInsert->OnInsertBlock = [this](int Index, float Y, float X) { InsertBlock(Index, Y, X); };
  OnExecDialog = [](QDialog& D) { return D.exec(); };
  UpdateControls();
}

TfmMain::~TfmMain() {
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
  Left->addWidget(pnlEntInsp, 1);
  FDNavigator = new TqdDrawingNavigator(splImage);
  FDNavigator->setObjectName("FDNavigator");
  splImage->addWidget(pnlSelection);
  splImage->addWidget(FDNavigator);
  splImage->setStretchFactor(1, 1);
  splImage->setSizes({220, 797 - 220});
  Outer->addWidget(splImage, 1);
  setCentralWidget(Central);

  for (int I = 0; I < 4; ++I) {
    sbrPanels[I] = new QLabel(this);
    sbrPanels[I]->setObjectName(QString("sbrPanel%1").arg(I));
    // Panel 0 takes what the others leave.
    if (I == 0) {
      sbrPanels[I]->setMinimumWidth(0);
      statusBar()->addWidget(sbrPanels[I], 1);
    } else {
      sbrPanels[I]->setFixedWidth(cnstPanelWidths[I]);
      statusBar()->addWidget(sbrPanels[I]);
    }
  }
  statusBar()->setObjectName("sbrMain");
  statusBar()->setSizeGripEnabled(false);
  pbLoading = new QProgressBar(this);
  pbLoading->setRange(0, 100);
  pbLoading->setFixedWidth(160);
  btnStopLoading = new QPushButton("Cancel", this);
  btnStopLoading->setObjectName("btnStopLoading");
  btnLoadWarnings = new QToolButton(this);
  btnLoadWarnings->setObjectName("btnLoadWarnings");
  btnLoadWarnings->setAutoRaise(true);
  btnLoadWarnings->setToolTip("Show what the load reported");
  statusBar()->addPermanentWidget(btnLoadWarnings);
  statusBar()->addPermanentWidget(pbLoading);
  statusBar()->addPermanentWidget(btnStopLoading);
  pbLoading->hide();
  btnStopLoading->hide();
  btnLoadWarnings->hide();

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
  connect(FEntityInspector, &QDockWidget::topLevelChanged, this, [this](bool Floating) {
    const int W = Floating ? 65 : 210;
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
  mmiClose = mmiFile->addAction("Close", this, [this] { FileClose(); });
  Keys(mmiClose, QKeySequence::Close, QKeySequence(Qt::CTRL | Qt::Key_W));
  mmiFile->addSeparator();
  // Pictures of the current layout; the drawing itself is never written.
  mmiExport = mmiFile->addAction("Export...", this, [this] {
    TqdCADImage* I = FDNavigator->CADImage();
    if (!I) return;
    const auto S = qdEditorSettings();
    QString Folder = S->value("export/folder", S->value("open/folder").toString()).toString();
    if (qdExportDialog(this, *I, Folder)) S->setValue("export/folder", Folder);
  });
  mmiPrint = mmiFile->addAction("Print...", this, [this] {
    if (TqdCADImage* I = FDNavigator->CADImage()) qdPrintDialog(this, *I);
  });
  Keys(mmiPrint, QKeySequence::Print, QKeySequence(Qt::CTRL | Qt::Key_P));
  mmiFile->addSeparator();
  mmiExit = mmiFile->addAction("Exit", this, [this] { close(); });
  Keys(mmiExit, QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
  mmiEdit = menuBar()->addMenu("Edit");
  mmiCopy = mmiEdit->addAction("Copy", this, [this] { btnCopyClick(); });
  Keys(mmiCopy, QKeySequence::Copy, QKeySequence(Qt::CTRL | Qt::Key_C));
  mmiPaste = mmiEdit->addAction("Paste", this, [this] { btnPasteClick(); });
  Keys(mmiPaste, QKeySequence::Paste, QKeySequence(Qt::CTRL | Qt::Key_V));
  mmiSelection = menuBar()->addMenu("Selection");
  mmiSelectAll = mmiSelection->addAction("Select all", this, [this] { mmiSelectAllClick(); });
  mmiSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  mmiDeselectAll = mmiSelection->addAction("Deselect all", this, [this] { mmiDeselectAllClick(); });
  mmiPreview = mmiSelection->addAction("Preview (for some TqdDXFEntity classes)...", this, [this] { Preview1Click(); });
}

// ---------------------------------------------------------------- state

bool TfmMain::CADImageShown() const { return FFileOpen && FDNavigator->CADImage() != nullptr; }

void TfmMain::UpdateControls() {
  const bool Idle = !FLoading, File = Idle && FFileOpen, CAD = Idle && CADImageShown();
  mmiOpen->setEnabled(Idle);
  BtnOpen->setEnabled(Idle);
  mmiExit->setEnabled(Idle);
  mmiClose->setEnabled(File);
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
  btnPaste->setEnabled(CAD);
  mmiPaste->setEnabled(CAD);
  btnEntityInspector->setEnabled(Idle);
  BtnSelect->setEnabled(File);
  BtnMSelect->setEnabled(File);
  cbLayouts->setEnabled(CAD && cbLayouts->count() > 0);
  FDNavigator->setEnabled(Idle);
  pnlSelection->setEnabled(Idle);
}

QString TfmMain::StatusText(int Panel) const {
  return Panel >= 0 && Panel < 4 ? sbrPanels[Panel]->text() : QString();
}

void TfmMain::ClearStatus() {
  for (QLabel* L : sbrPanels) L->clear();
  if (btnLoadWarnings) {
    btnLoadWarnings->hide();
    btnLoadWarnings->setText(QString());
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
  // Library blocks link the tables of the drawing that goes.
  if (FBlockLibrary) FBlockLibrary->Clear();
  FEntityInspector->Clear();
  FDNavigator->Clear();
  setWindowTitle(cnstTitle);
  BtnSelect->setChecked(false);
  BtnMSelect->setChecked(false);
  FDNavigator->unsetCursor();
  UpdateControls();
}

void TfmMain::SetLoading(bool V) {
  FLoading = V;
  if (V) {
    pbLoading->setValue(0);
    pbLoading->show();
    btnStopLoading->show();
    btnStopLoading->setEnabled(true);
    qApp->installEventFilter(FInputGate.get());
  } else {
    qApp->removeEventFilter(FInputGate.get());
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
  // Between reports the image runs the host's events through this callback;
  // input waits, a Stop action being the only re-entry allowed while loading.
  if (auto* I = dynamic_cast<TqdCADImage*>(Sender); I && !I->OnProcessMessages)
    I->OnProcessMessages = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
  pbLoading->setValue(Percent);
  // The image has already run the non-input events; the gate lets only the
  // Cancel button's clicks through.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TfmMain::StopLoading() {
  if (!FLoading) return;
  FStopRequested = true;
  if (auto* I = dynamic_cast<TqdCADImage*>(FLoadingGraphic)) I->StopLoading();
  btnStopLoading->setEnabled(false);
}

// ---------------------------------------------------------------- open and close

void TfmMain::FileOpen() {
  if (FLoading) return;
  mmiDeselectAllClick();
  const QString Name = OnGetOpenFileName ? OnGetOpenFileName() : QString();
  if (Name.isEmpty()) return;
  FileOpen(Name);
}

bool TfmMain::FileOpen(const QString& FileName) {
  if (FLoading || FileName.isEmpty()) return false;
  mmiDeselectAllClick();
  DetachDrawing();
  ClearStatus();
  FDNavigator->BeginUpdate();
  SetLoading(true);
  QString Error;
  try {
    FDNavigator->LoadFromFile(FileName.toStdString());
  } catch (const std::exception& E) {
    Error = QString::fromStdString(E.what());
    if (Error.isEmpty()) Error = "Cannot open \"" + FileName + "\"";
  } catch (...) {
    Error = "Cannot open \"" + FileName + "\"";
  }
  FLoadingGraphic = nullptr;
  SetLoading(false);
  const bool Ok = Error.isEmpty() && !FDNavigator->Empty();
  if (Ok) {
    setWindowTitle(FileName + " Editor");
    FFileOpen = true;
    BtnSelect->setChecked(true);
    BtnMSelect->setChecked(false);
    FDNavigator->FitToSize();
    // Attaching re-reads the graphic and loads the inspector's list.
    FManager->SetDNavigator(FDNavigator);
    FBlockLibrary->SetDNavigator(FDNavigator);
    if (TqdCADImage* I = FDNavigator->CADImage()) {
      FFillingLayouts = true;
      for (int L = 0; L < I->LayoutsCount(); ++L)
        if (const TqdDXFLayout* Layout = I->GetLayout(L)) cbLayouts->addItem(QString::fromStdString(Layout->Name()));
      cbLayouts->setCurrentIndex(cbLayouts->count() > 0 ? 0 : -1);
      FFillingLayouts = false;
      if (cbLayouts->count() > 0) cbLayoutsChange(0);
    }
  } else {
    DetachDrawing();
  }
  UpdateControls();
  FDNavigator->EndUpdate();
  FDNavigator->update();
  if (Ok) {
    sbrPanels[0]->setText(FileName);
    QStringList Warnings;
    bool Cancelled = false;
    if (TqdGraphic* G = FDNavigator->ActualGraphic())
      for (const std::string& W : G->LoadWarnings()) Warnings << QString::fromStdString(W);
    if (TqdCADImage* I = FDNavigator->CADImage())
      Cancelled = I->LoadResult().Cancelled || (I->Converter() && I->Converter()->LoadingStopped());
    ShowLoadWarnings(Warnings, Cancelled || FStopRequested);
  }
  // A load the user cancelled before anything was read needs no error box.
  if (!Ok && !FCloseRequested && !FStopRequested)
    ShowMessage(Error.isEmpty() ? "Cannot open \"" + FileName + "\"" : Error, true);
  FStopRequested = false;
  if (OnLoaded) OnLoaded(Ok);
  if (FCloseRequested) {
    // A close asked for during the load runs now that the reader is done.
    FCloseRequested = false;
    QTimer::singleShot(0, this, [this] { close(); });
  }
  return Ok;
}

void TfmMain::FileClose() {
  if (FLoading) return;
  mmiDeselectAllClick();
  DetachDrawing();
  ClearStatus();
  // A large drawing leaves its freed pages with the allocator: give them back.
  malloc_trim(0);
}

QString TfmMain::LoadSummary() const { return btnLoadWarnings->isVisible() ? btnLoadWarnings->text() : QString(); }

void TfmMain::ShowLoadWarnings(const QStringList& Warnings, bool Cancelled) {
  FLoadWarnings = Warnings;
  const QString Stop = "Loading cancelled: the drawing is incomplete";
  if (Cancelled && !FLoadWarnings.contains(Stop)) FLoadWarnings.prepend(Stop);
  if (FLoadWarnings.isEmpty()) {
    btnLoadWarnings->hide();
    btnLoadWarnings->setText(QString());
    return;
  }
  QString Text;
  if (Cancelled)
    Text = Stop;
  else if (FLoadWarnings.size() == 1)
    Text = FLoadWarnings.front();
  else
    Text = QString("%1 warnings: %2; ...").arg(FLoadWarnings.size()).arg(FLoadWarnings.front());
  // The whole list is one click away.
  constexpr int cnstMaxSummary = 90;
  if (Text.size() > cnstMaxSummary) Text = Text.left(cnstMaxSummary - 3) + "...";
  btnLoadWarnings->setText(Text);
  btnLoadWarnings->setToolTip(FLoadWarnings.mid(0, 20).join('\n'));
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
  return true;
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
  FileClose();
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
