#pragma once
// The entity inspector: the shown layout's entities in a sorted list, and the
// attributes of one entity as name/value rows read from its XML form. An edit
// hands the entity (or the vertex or attribute the row belongs to) an XML
// element holding only the changed attribute, then the drawing recomputes the
// entity and the view repaints.
#include <QDockWidget>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QTableWidget;
class QToolButton;
class QWidget;
class TqdCADImage;
class TqdDXFEntity;
class TqdDrawingNavigator;
class TqdNode;
class TqdNodeSample;
class TEntityListModel;

class TfmEntityInspector : public QDockWidget {
 public:
  explicit TfmEntityInspector(QWidget* Parent = nullptr);
  ~TfmEntityInspector() override;

  // ---- entity list
  // Clears, then lists every top-level entity of the navigator's current layout.
  void Load(TqdDrawingNavigator* Navigator);
  // Empties the list and the grid.
  void Clear();
  // Adds Entity to the list; with Refresh the grid shows it.
  void AddEntity(TqdDXFEntity* Entity, bool Refresh);
  int EntityCount() const;
  TqdDXFEntity* ListedEntity(int Index) const;

  // ---- grid
  // Shows Entity's attributes; an entity not in the list (or null) empties the grid.
  void RefreshGrid(TqdDXFEntity* Entity);
  TqdDXFEntity* ShownEntity() const { return FPrevEntity; }
  TqdCADImage* GetCADImage() const;
  // Recomputes Entity in its drawing and repaints the view.
  void UpdateCadImage(TqdDXFEntity* Entity);

  // The grid's rows: name, value and whether the value can be edited.
  int RowCount() const;
  QString RowName(int Row) const;
  QString RowValue(int Row) const;
  // What the value cell shows: RowValue, or a word for it (LineWeight -1 is
  // "ByLayer", 0.25 is "0.25 mm").
  QString DisplayValue(int Row) const;
  bool RowEditable(int Row) const;
  // The first row named Name below the heading row named Under (any row when
  // Under is empty); -1 when there is none.
  int FindRow(const QString& Name, const QString& Under = {}) const;

  // A cell's text was committed. Applied only with Enter and when it differs
  // from the stored value; otherwise the stored value comes back. False when
  // nothing was applied.
  bool qdAttributesSetEditText(int Row, const QString& Text, bool Enter = true);
  // The same through a row's drop-down (layer, linetype, style, colour, vertex).
  bool ComboBoxSelect(int Row, const QString& Text);
  QComboBox* RowComboBox(int Row) const;

  // Messages about refused values ("Invalid value ..."); a box by default.
  std::function<void(const QString& Text)> OnShowMessage;
  // An edit changed the drawing.
  std::function<void()> OnChanged;
  // An edit was applied: attribute Id of Target (Entity itself, or its vertex
  // or block attribute, written as element Element) went from Old to New.
  std::function<void(TqdDXFEntity* Entity, TqdDXFEntity* Target, const std::string& Element, int Id,
                     const class TqdData& Old, const class TqdData& New, const QString& Name)>
      OnEdited;

  // ---- controls
  QWidget* pnlCombo = nullptr;
  QComboBox* cbEntity = nullptr;
  QToolButton* SpeedButtonStayOnTop = nullptr;
  QTableWidget* qdAttributes = nullptr;

 protected:
  void resizeEvent(QResizeEvent* E) override;

 private:
  struct TRow {
    QString Name;
    QString Value;
    // The attribute node (null for headings); its element (the owner) names the
    // object the row belongs to.
    const TqdNodeSample* Node = nullptr;
    const TqdNode* Owner = nullptr;
    int Id = 0;          // attribute id
    int Coordinate = -1; // 0..2 for the "X", "Y", "Z" rows of a point
    bool Editable = false;
    enum { rkText, rkHeading, rkTable, rkColor, rkVertex } Kind = rkText;
  };

  void GetAttributeFromXML(TqdDXFEntity* Entity);
  void AddElementRows(const TqdNode& Element, bool Top);
  void FillGrid();
  void FreeControls();
  QComboBox* CreateComboBox(int Row);
  // The object an edit of an attribute of Owner goes to; null when it cannot be
  // told (the cell is then restored).
  TqdDXFEntity* ResolveTarget(const TqdNode* Owner) const;
  // Converts Text for the row's attribute into D; false when it does not read.
  bool ChangeNodeSample(const TRow& Row, const QString& Text, class TqdData& D, QString& Why) const;
  bool Apply(int Row, const class TqdData& D);
  void RestoreCell(int Row);
  // Refuses, with a message, an edit of an entity whose layer is locked.
  bool RefuseLocked(int Row);
  void ShowMessage(const QString& Text);
  void cbEntitySelect(int Index);
  void LayoutColumns();

  TqdDrawingNavigator* FDNavigator = nullptr;
  std::unique_ptr<TEntityListModel> FModel;
  // Load has named a drawing whose list is not made yet.
  mutable bool FListPending = false;
  void FillList() const;
  std::vector<TRow> FPropertyList;
  std::vector<QComboBox*> FValueList;  // per row, the editor control or null
  std::unique_ptr<TqdNode> FInputNode;
  const TqdNode* FEntityElement = nullptr;
  TqdDXFEntity* FPrevEntity = nullptr;
  int FVertexIndex = -1;
  bool FTransition = false;
  bool FChangeCellText = false;
};
