#pragma once
// Find text: searches the texts a reader sees (TEXT, MTEXT, attribute values,
// dimension texts) of one layout or of all, without regard to case, lists the
// hits, and hands the one picked to the main window to show.
#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TqdCADImage;
class TqdDXFEntity;

struct TqdTextHit {
  int Layout = 0;                  // index in the image's layouts
  TqdDXFEntity* Entity = nullptr;  // the top-level entity to select
  QString Text;                    // what matched, as read
};

// MTEXT's words without its formatting codes ("{\fArial;Kitchen}\PStore" is
// "Kitchen Store").
QString qdPlainMText(const std::string& Raw);
// Every text of Layout's entities (one hit per text, Layout member 0).
std::vector<TqdTextHit> qdLayoutTexts(const class TqdDXFLayout* Layout);
// The hits for What (empty finds nothing) in layout Current, or in every layout.
std::vector<TqdTextHit> qdFindTexts(const TqdCADImage& Image, const QString& What, bool AllLayouts, int Current);

class TfmFind : public QDialog {
 public:
  explicit TfmFind(QWidget* Parent = nullptr);
  // Searches Image with what the dialog holds and lists the hits.
  void Search(const TqdCADImage* Image, int CurrentLayout);
  const std::vector<TqdTextHit>& Hits() const { return FHits; }
  void Clear();

  // The user picked Hit (click or Enter on the list).
  std::function<void(const TqdTextHit& Hit)> OnPick;
  // Asks the main window to run Search on the drawing shown.
  std::function<void()> OnSearch;

  QLineEdit* edtText = nullptr;
  QComboBox* cbScope = nullptr;  // "This layout", "All layouts"
  QPushButton* btnFind = nullptr;
  QListWidget* lstHits = nullptr;
  QLabel* lblCount = nullptr;

 private:
  std::vector<TqdTextHit> FHits;
};
