#pragma once
// The control that shows one picture (a CAD image or any graphic the picture
// framework loads) and lets the user zoom and pan it. Zoom and pan only change
// a floating-point picture rectangle in client pixels; the picture is drawn
// stretched into it on every paint.
#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qdCanvas.h"
#include "qdConsts.h"
#include "qdGraphic.h"

class TqdCADImage;
class TqdDXFConverter;
class TqdDXFLayout;
class TqdDrawingNavigator;
class TqdSelectionMatrix;

using TqdNavigatorEvent = std::function<void(TqdDrawingNavigator* Sender)>;
using TqdNavigatorMouseEvent = std::function<void(TqdDrawingNavigator* Sender, QMouseEvent* Event)>;
using TqdNavigatorPaintEvent = std::function<void(TqdDrawingNavigator* Sender, QPainter& Painter)>;

// Right and middle buttons pan (library-wide; read on every press).
bool& qdNavigatorPanButtons();

class TqdDrawingNavigator : public QWidget {
 public:
  explicit TqdDrawingNavigator(QWidget* Parent = nullptr);
  ~TqdDrawingNavigator() override;

  // ---- picture
  TqdPicture& Picture() { return *FPicture; }
  // The picture changed (entities edited or moved): the next paint draws a new frame.
  void Invalidate();
  TqdGraphic* ActualGraphic() const { return FPicture->Graphic(); }
  // The shown graphic as a CAD image; null for other pictures and when empty.
  TqdCADImage* CADImage() const;
  bool LoadedFromConverter() const { return FLoadedFromConverter; }
  // Loads through the picture framework inside an update bracket; errors
  // propagate after the bracket is closed and leave the navigator empty. A CAD
  // image whose reader reported an error counts as an error.
  virtual void LoadFromFile(const std::string& FileName);
  // Reads FileName into a graphic of its own, as LoadFromFile does, leaving the
  // shown picture as it is; progress goes to OnProgress. Raises on errors.
  std::unique_ptr<TqdGraphic> ReadFile(const std::string& FileName) const;
  // Shows an image already built on a database (the navigator takes it).
  virtual void LoadFromConverter(std::unique_ptr<TqdCADImage> Image);
  // Shows G (null empties the view, as Clear does).
  void SetGraphic(std::unique_ptr<TqdGraphic> G);
  virtual void Clear();
  virtual bool Empty() const;

  // ---- update bracket
  virtual void BeginUpdate();
  virtual void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  // ---- picture rectangle (client pixels)
  TF2DRect PictureRect2D() const { return FPictureRect; }
  // Refuses rectangles of a side at or above MaxDim, with an edge beyond
  // +/- MaxDim, or not finite; true when it changed.
  bool SetPictureRect2D(const TF2DRect& R);
  TqdIntRect PictureRect() const;
  double PictureRectWidth() const { return FPictureRect.Right - FPictureRect.Left; }
  double PictureRectHeight() const { return FPictureRect.Bottom - FPictureRect.Top; }
  TF2DPoint PictureRectCenter() const;
  int PictureWidth() const;
  int PictureHeight() const;
  double WidthInPixels() const { return FWidthInPixels; }
  double Scale() const;
  TFRect Extents() const { return FExtents; }
  double MaxDim() const { return FMaxDim; }
  void SetMaxDim(double V);
  bool ZoomInEnable() const;
  bool ZoomOutEnable() const;
  // A fit asked for while the client is smaller than 2 x 2 waits for a resize.
  bool FitPending() const { return FFitPending; }
  // Fit again when the widget is resized, until the user zooms or pans.
  bool RefitOnResize() const { return FRefitOnResize; }
  void SetRefitOnResize(bool V) { FRefitOnResize = V; }
  // The view was zoomed or panned since the last fit.
  bool ViewMoved() const { return FViewMoved; }

  // ---- zoom and pan
  virtual bool AlterScale(bool IsAbsolute, TF2DPoint Position, double Factor);
  virtual void FitToSize();
  virtual void MovePictureRect(int DX, int DY);
  virtual void MovePictureRect2D(double DX, double DY);
  // Zooms so that the client rectangle R (any corner order) fills the client.
  void ZoomToRect(const TF2DRect& R);
  void Center();
  virtual void Rotate(int Axis, double Angle);
  virtual void RotToView(int View);

  // ---- coordinates
  // The drawing point under client pixel (X, Y).
  TFPoint GetDrawingInternalCoordsWithoutSnap(double X, double Y) const;
  virtual TFPoint GetDrawingInternalCoords(double X, double Y) const;
  virtual TFPoint GetDrawingCoords(double X, double Y) const;
  virtual TFPoint GetDrawingUCSCoords(double X, double Y) const;
  // Fractions of the picture rectangle, (0, 0) at its bottom-left corner;
  // false (and 0, 0) for a degenerate rectangle.
  bool PictureFractions(double X, double Y, double& FX, double& FY) const;

  // ---- options
  bool AutoFocus() const { return FAutoFocus; }
  void SetAutoFocus(bool V) { FAutoFocus = V; }
  bool RectZooming() const { return FRectZooming; }
  void SetRectZooming(bool V) { FRectZooming = V; }
  bool MouseDragging() const { return FMouseDragging; }
  void SetMouseDragging(bool V) { FMouseDragging = V; }
  bool MouseScaling() const { return FMouseScaling; }
  void SetMouseScaling(bool V) { FMouseScaling = V; }
  bool ScalingOnMouseWheel() const { return FScalingOnMouseWheel; }
  void SetScalingOnMouseWheel(bool V) { FScalingOnMouseWheel = V; }
  // True while a wheel zoom shows the last frame scaled, before its exact frame.
  bool ZoomPreviewShown() const { return FZoomScaled; }
  bool DrawOnEveryMouseWheel() const { return FDrawOnEveryMouseWheel; }
  void SetDrawOnEveryMouseWheel(bool V) { FDrawOnEveryMouseWheel = V; }
  bool ImageDragMode() const { return FImageDragMode; }
  void SetImageDragMode(bool V) { FImageDragMode = V; }
  double ZoomInChange() const { return FZoomInChange; }
  void SetZoomInChange(double V) { if (V > 1 && V < 100) FZoomInChange = V; }
  double ZoomOutChange() const { return FZoomOutChange; }
  void SetZoomOutChange(double V) { if (V > 0.01 && V < 1) FZoomOutChange = V; }
  // Screen frames are antialiased unless switched off.
  bool Antialiasing() const { return FAntialiasing; }
  void SetAntialiasing(bool V);

  // ---- selection raster
  // Painted with every frame of a CAD image (not owned; null for none). The
  // raster forgets its numbers whenever the picture is dropped.
  TqdSelectionMatrix* SelectionMatrix() const { return FSelectionMatrix; }
  void SetSelectionMatrix(TqdSelectionMatrix* M);
  // Paints the current frame now when it is out of date (the raster then
  // matches what is shown).
  void RefreshFrame();

  // ---- interaction state
  bool MoveByMouse() const { return FMoveByMouse; }
  bool RectZoomingProcess() const { return FRectZoomingProcess; }
  TF2DRect ZoomingRect() const { return FZoomingRect; }

  // ---- events
  TqdNavigatorEvent OnChangeScale, OnPictureMove, OnPictureChange;
  TqdNavigatorPaintEvent OnPaint;
  TqdProgressEvent OnProgress;
  // Supplies the box to fit instead of the image's extents; true when it did.
  std::function<bool(TqdDrawingNavigator* Sender, TFRect& Box)> OnGetImageExtents;
  std::vector<TqdNavigatorEvent> FitToSizeListeners;
  TqdNavigatorMouseEvent OnMouseMove, OnMouseDown, OnMouseUp;

 protected:
  void paintEvent(QPaintEvent* E) override;
  void resizeEvent(QResizeEvent* E) override;
  void wheelEvent(QWheelEvent* E) override;
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mouseReleaseEvent(QMouseEvent* E) override;
  void mouseDoubleClickEvent(QMouseEvent* E) override;

 private:
  // The graphic's change event.
  void PictureChanged(bool NewGraphic);
  void HookGraphic();
  // The box a fit uses, in the image's rotated frame; false when there is none.
  bool ImageBox(double& W, double& H) const;
  // Keeps the view of the drawing when its extents change.
  void CorrectToExtents(const TFRect& Old, const TFRect& New);
  // Translates R into +/- MaxDim (its size is already below MaxDim).
  TF2DRect ClampIntoRange(TF2DRect R) const;
  bool FRefitOnResize = false;
  bool FViewMoved = false;
  void RenderBuffer();
  // While panning: moves the last frame by (DX, DY) and draws only the strips it
  // uncovers; false when nothing of the last frame can be kept.
  bool ShiftBuffer(int DX, int DY);
  bool EndPan();
  // After a wheel zoom from Before: shows the last frame scaled to the new picture
  // rectangle at once; the exact frame follows when the events waiting are done.
  void ScaleBuffer(const TF2DRect& Before);
  // Draws the exact frame now when a scaled copy is shown.
  void SettleZoom();

  std::unique_ptr<TqdPicture> FPicture;
  bool FLoadedFromConverter = false;
  TF2DRect FPictureRect{0, 0, 2, 2};
  double FWidthInPixels = 0;
  TFRect FExtents = cnstBadRect;
  const TqdDXFLayout* FLayout = nullptr;
  double FMaxDim;
  int FUpdateCount = 0;
  bool FFitPending = false;
  bool FInChange = false;
  bool FDrawing = false;

  bool FAutoFocus = false, FRectZooming = true, FMouseDragging = true, FMouseScaling = false;
  bool FScalingOnMouseWheel = true, FDrawOnEveryMouseWheel = false, FImageDragMode = false;
  double FZoomInChange = 1.25, FZoomOutChange = 0.8;
  bool FAntialiasing = true;

  QPoint FMouseDownPt, FPrevPt;
  bool FMoveByMouse = false;
  bool FRectZoomingProcess = false;
  bool FMouseZooming = false;
  TF2DRect FZoomingRect;
  int FWheelRest = 0;

  QImage FBuffer;
  bool FBufferValid = false;
  bool FPanShifted = false;  // the buffer holds a moved frame; redrawn whole when the pan ends
  bool FZoomScaled = false;  // the buffer holds a scaled frame; redrawn whole when events allow
  TqdSelectionMatrix* FSelectionMatrix = nullptr;
};
