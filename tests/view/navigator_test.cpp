// The drawing navigator on the offscreen platform: fit, wheel zoom, rubber-band
// zoom, pan, limits, coordinates, update bracket and picture changes.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest/QtTest>
#include <cmath>
#include <memory>

#include "CADImage.h"
#include "Readers.h"
#include "qdDrawingNavigator.h"
#include "qdError.h"
#include "qdIterator.h"
#include "qdRasterGraphic.h"

Q_DECLARE_METATYPE(TF2DRect)

namespace {

const QString cnstSample = QStringLiteral(DRAFTWELL_SOURCE_DIR "/samples/plan.dxf");

void Wheel(QWidget* W, QPointF At, int Delta, Qt::KeyboardModifiers M = Qt::NoModifier,
           Qt::MouseButtons B = Qt::NoButton) {
  QWheelEvent E(At, W->mapToGlobal(At), QPoint(), QPoint(0, Delta), B, M, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(W, &E);
}

void Mouse(QWidget* W, QEvent::Type T, QPointF At, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
  QMouseEvent E(T, At, W->mapToGlobal(At), Button, Buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(W, &E);
}

void Drag(QWidget* W, Qt::MouseButton B, QPointF From, QPointF To) {
  Mouse(W, QEvent::MouseButtonPress, From, B, B);
  Mouse(W, QEvent::MouseMove, (From + To) / 2, Qt::NoButton, B);
  Mouse(W, QEvent::MouseMove, To, Qt::NoButton, B);
  Mouse(W, QEvent::MouseButtonRelease, To, B, Qt::NoButton);
}

// How long a state may take to arrive before the test gives up: only a run that
// never gets there waits this long, so it is generous for loaded machines.
constexpr int cnstStateWaitMs = 120000;

bool Near(double A, double B, double Tol = 1e-6) { return std::fabs(A - B) <= Tol; }

}  // namespace

class NavigatorTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;

  // A W x H picture file the raster class reads.
  QString Picture(int W, int H, const char* Ext = "png") {
    QImage I(W, H, QImage::Format_RGB32);
    I.fill(Qt::blue);
    const QString Name = FDir.filePath(QString("pic_%1x%2.%3").arg(W).arg(H).arg(Ext));
    if (!QFile::exists(Name)) I.save(Name);
    return Name;
  }

  std::unique_ptr<TqdDrawingNavigator> Navigator(int W = 402, int H = 302) {
    auto N = std::make_unique<TqdDrawingNavigator>();
    N->resize(W, H);
    return N;
  }

 private slots:
  void initTestCase() {
    RegisterReaders();
    RegisterCADImages();
    RegisterViewGraphics();
    QVERIFY(FDir.isValid());
  }

  void empty_after_creation() {
    auto N = Navigator();
    QVERIFY(N->Empty());
    QCOMPARE(N->PictureRect2D(), (TF2DRect{0, 0, 2, 2}));
    QCOMPARE(N->Scale(), 1.0);
    QCOMPARE(N->UpdateCount(), 0);
  }

  void fit_data() {
    QTest::addColumn<int>("PW");
    QTest::addColumn<int>("PH");
    QTest::addColumn<double>("Left");
    QTest::addColumn<double>("Top");
    QTest::addColumn<double>("Width");
    QTest::addColumn<double>("Height");
    // Client 402 x 302: d = 401 / w, lowered to 301 / h when the height does not fit.
    QTest::newRow("wide picture") << 200 << 100 << 0.5 << 50.75 << 401.0 << 200.5;
    QTest::newRow("tall picture") << 100 << 200 << 125.75 << 0.5 << 150.5 << 301.0;
    QTest::newRow("client proportions") << 401 << 301 << 0.5 << 0.5 << 401.0 << 301.0;
  }
  void fit() {
    QFETCH(int, PW);
    QFETCH(int, PH);
    QFETCH(double, Left);
    QFETCH(double, Top);
    QFETCH(double, Width);
    QFETCH(double, Height);
    auto N = Navigator();
    int Fits = 0;
    N->FitToSizeListeners.push_back([&](TqdDrawingNavigator*) { ++Fits; });
    N->LoadFromFile(Picture(PW, PH).toStdString());
    QVERIFY(!N->Empty());
    QVERIFY(Near(N->PictureRect2D().Left, Left));
    QVERIFY(Near(N->PictureRect2D().Top, Top));
    QVERIFY(Near(N->PictureRectWidth(), Width));
    QVERIFY(Near(N->PictureRectHeight(), Height));
    QCOMPARE(N->WidthInPixels(), N->PictureRectWidth());
    QCOMPARE(N->Scale(), 1.0);
    QCOMPARE(Fits, 1);
  }

  // Fitting into a client below 2 x 2 made an empty or negative rectangle.
  void fit_waits_for_a_client_of_2x2_data() {
    QTest::addColumn<int>("W");
    QTest::addColumn<int>("H");
    QTest::newRow("zero size") << 0 << 0;
    QTest::newRow("one pixel wide") << 1 << 300;
    QTest::newRow("one pixel high") << 300 << 1;
  }
  void fit_waits_for_a_client_of_2x2() {
    QFETCH(int, W);
    QFETCH(int, H);
    auto N = Navigator(W, H);
    N->LoadFromFile(Picture(200, 100).toStdString());
    QVERIFY(N->FitPending());
    QCOMPARE(N->PictureRect2D(), (TF2DRect{0, 0, 2, 2}));
    N->resize(402, 302);
    N->show();  // a hidden widget gets its resize event when shown
    QVERIFY(!N->FitPending());
    QVERIFY(Near(N->PictureRectWidth(), 401));
    QVERIFY(Near(N->PictureRectHeight(), 200.5));
    QVERIFY(N->WidthInPixels() > 0);
  }

  void wheel_at_centre_zooms_by_a_quarter_and_back() {
    auto N = Navigator();
    N->LoadFromFile(Picture(400, 300).toStdString());
    QVERIFY(N->SetPictureRect2D({1, 1, 401, 301}));
    Wheel(N.get(), {201, 151}, 120);
    QVERIFY(Near(N->PictureRectWidth(), 500));
    QVERIFY(Near(N->PictureRectHeight(), 375));
    QVERIFY(Near(N->PictureRectCenter().X, 201));
    QVERIFY(Near(N->PictureRectCenter().Y, 151));
    Wheel(N.get(), {201, 151}, -120);
    QVERIFY(Near(N->PictureRectWidth(), 400));
    QVERIFY(Near(N->PictureRectHeight(), 300));
    QCOMPARE(N->UpdateCount(), 0);
  }

  void wheel_steps_data() {
    QTest::addColumn<int>("Delta");
    QTest::addColumn<int>("Modifiers");
    QTest::addColumn<int>("Buttons");
    QTest::addColumn<double>("Factor");
    QTest::newRow("up") << 120 << int(Qt::NoModifier) << int(Qt::NoButton) << 1.25;
    QTest::newRow("down") << -120 << int(Qt::NoModifier) << int(Qt::NoButton) << 0.8;
    QTest::newRow("ctrl up is one percent") << 120 << int(Qt::ControlModifier) << int(Qt::NoButton) << 1.01;
    QTest::newRow("ctrl down") << -120 << int(Qt::ControlModifier) << int(Qt::NoButton) << 0.99;
    QTest::newRow("shift up") << 120 << int(Qt::ShiftModifier) << int(Qt::NoButton) << 1.25;
    QTest::newRow("left button held") << 120 << int(Qt::NoModifier) << int(Qt::LeftButton) << 1.25;
    QTest::newRow("two notches at once") << 240 << int(Qt::NoModifier) << int(Qt::NoButton) << 1.5625;
    QTest::newRow("half a notch waits") << 60 << int(Qt::NoModifier) << int(Qt::NoButton) << 1.0;
    QTest::newRow("alt does nothing") << 120 << int(Qt::AltModifier) << int(Qt::NoButton) << 1.0;
  }
  // The drawing point under the cursor stays there.
  void wheel_steps() {
    QFETCH(int, Delta);
    QFETCH(int, Modifiers);
    QFETCH(int, Buttons);
    QFETCH(double, Factor);
    auto N = Navigator(600, 400);
    N->LoadFromFile(cnstSample.toStdString());
    QVERIFY(N->CADImage());
    const double W0 = N->PictureRectWidth();
    const QPointF At(173, 121);
    const TFPoint Before = N->GetDrawingInternalCoordsWithoutSnap(At.x(), At.y());
    Wheel(N.get(), At, Delta, Qt::KeyboardModifiers(Modifiers), Qt::MouseButtons(Buttons));
    QVERIFY2(Near(N->PictureRectWidth(), W0 * Factor, 1e-6 * W0),
             qPrintable(QString("%1 vs %2").arg(N->PictureRectWidth()).arg(W0 * Factor)));
    const TFPoint After = N->GetDrawingInternalCoordsWithoutSnap(At.x(), At.y());
    QVERIFY(Near(Before.X, After.X, 1e-9));
    QVERIFY(Near(Before.Y, After.Y, 1e-9));
  }

  void wheel_setting_off_leaves_plain_wheel_alone() {
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    N->SetScalingOnMouseWheel(false);
    const TF2DRect R = N->PictureRect2D();
    Wheel(N.get(), {100, 100}, 120);
    QCOMPARE(N->PictureRect2D(), R);
    Wheel(N.get(), {100, 100}, 120, Qt::ShiftModifier);
    QVERIFY(N->PictureRectWidth() > R.Right - R.Left);
  }

  void zoom_step_stays_below_max_dim() {
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    N->SetMaxDim(32767);
    QVERIFY(N->SetPictureRect2D({0, 0, 32000, 16000}));
    QVERIFY(!N->ZoomInEnable());
    QVERIFY(N->AlterScale(false, {100, 100}, 1.25));
    QVERIFY(N->PictureRectWidth() < 32767);
    QVERIFY(N->PictureRectWidth() > 32700);
    // At the limit nothing more happens.
    QVERIFY(!N->AlterScale(false, {100, 100}, 1.25));
  }

  void rectangles_at_max_dim_are_refused_data() {
    QTest::addColumn<TF2DRect>("Rect");
    QTest::newRow("width at the limit") << TF2DRect{0, 0, 32767, 10};
    QTest::newRow("height above the limit") << TF2DRect{0, 0, 10, 40000};
    QTest::newRow("edge beyond the range") << TF2DRect{32000, 0, 32800, 10};
    QTest::newRow("negative edge beyond the range") << TF2DRect{-32800, 0, -32000, 10};
    QTest::newRow("not finite") << TF2DRect{0, 0, std::nan(""), 10};
  }
  void rectangles_at_max_dim_are_refused() {
    QFETCH(TF2DRect, Rect);
    auto N = Navigator();
    N->SetMaxDim(32767);
    const TF2DRect Before = N->PictureRect2D();
    QVERIFY(!N->SetPictureRect2D(Rect));
    QCOMPARE(N->PictureRect2D(), Before);
  }

  // Unbounded pans overflowed the integer picture rectangle.
  void long_pans_stop_at_the_range() {
    auto N = Navigator();
    N->LoadFromFile(cnstSample.toStdString());
    const double W = N->PictureRectWidth(), H = N->PictureRectHeight();
    for (int I = 0; I < 1000; ++I) N->MovePictureRect(2000000000, -2000000000);
    const TF2DRect R = N->PictureRect2D();
    QVERIFY(R.Right <= N->MaxDim());
    QVERIFY(R.Top >= -N->MaxDim());
    QVERIFY(Near(R.Right - R.Left, W));
    QVERIFY(Near(R.Bottom - R.Top, H));
    const TqdIntRect I = N->PictureRect();
    QVERIFY(I.Right > I.Left);
    N->MovePictureRect2D(1e300, 1e300);
    QVERIFY(N->PictureRect2D().Right <= N->MaxDim());
    QVERIFY(!N->grab().isNull());
    // Zooming far away from the range keeps it inside too.
    for (int I = 0; I < 200; ++I) N->AlterScale(false, {-1e9, 1e9}, 1.25);
    QVERIFY(N->PictureRect2D().Left >= -N->MaxDim());
    QVERIFY(N->PictureRect2D().Bottom <= N->MaxDim());
    QVERIFY(N->PictureRectWidth() < N->MaxDim());
  }

  void pan_with_a_drag_data() {
    QTest::addColumn<int>("Button");
    QTest::addColumn<bool>("DragMode");
    QTest::addColumn<bool>("Moves");
    QTest::newRow("right button") << int(Qt::RightButton) << false << true;
    QTest::newRow("middle button") << int(Qt::MiddleButton) << false << true;
    QTest::newRow("left button in image drag mode") << int(Qt::LeftButton) << true << true;
  }
  void pan_with_a_drag() {
    QFETCH(int, Button);
    QFETCH(bool, DragMode);
    QFETCH(bool, Moves);
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    N->SetImageDragMode(DragMode);
    const TF2DRect R = N->PictureRect2D();
    int Moved = 0, Scaled = 0;
    N->OnPictureMove = [&](TqdDrawingNavigator*) { ++Moved; };
    N->OnChangeScale = [&](TqdDrawingNavigator*) { ++Scaled; };
    Drag(N.get(), Qt::MouseButton(Button), {50, 60}, {80, 40});
    QCOMPARE(N->PictureRect2D().Left - R.Left, Moves ? 30.0 : 0.0);
    QCOMPARE(N->PictureRect2D().Top - R.Top, Moves ? -20.0 : 0.0);
    QCOMPARE(Scaled, 0);
    QVERIFY(Moved > 0);
    QVERIFY(!N->MoveByMouse());
  }

  void one_pixel_pan_is_a_move_not_a_scale_change() {
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    int Moved = 0, Scaled = 0;
    N->OnPictureMove = [&](TqdDrawingNavigator*) { ++Moved; };
    N->OnChangeScale = [&](TqdDrawingNavigator*) { ++Scaled; };
    N->MovePictureRect(1, 0);
    QCOMPARE(Moved, 1);
    QCOMPARE(Scaled, 0);
    N->MovePictureRect2D(0.5, 0);  // below a pixel: nothing
    QCOMPARE(Moved, 1);
  }

  void pan_buttons_setting() {
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    const TF2DRect R = N->PictureRect2D();
    qdNavigatorPanButtons() = false;
    Drag(N.get(), Qt::RightButton, {50, 60}, {80, 40});
    qdNavigatorPanButtons() = true;
    QCOMPARE(N->PictureRect2D(), R);
  }

  void rubber_band_zoom() {
    auto N = Navigator(400, 300);
    N->LoadFromFile(Picture(400, 300).toStdString());
    QVERIFY(N->SetPictureRect2D({0, 0, 400, 300}));
    Mouse(N.get(), QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(N->RectZoomingProcess());
    Mouse(N.get(), QEvent::MouseMove, {200, 175}, Qt::NoButton, Qt::LeftButton);
    QVERIFY(!N->grab().isNull());  // paints the rubber rectangle
    Mouse(N.get(), QEvent::MouseButtonRelease, {200, 175}, Qt::LeftButton, Qt::NoButton);
    QVERIFY(!N->RectZoomingProcess());
    // 100 x 75 fills 400 x 300: four times the size, its corner at the origin.
    QVERIFY(Near(N->PictureRectWidth(), 1600));
    QVERIFY(Near(N->PictureRectHeight(), 1200));
    QVERIFY(Near(N->PictureRect2D().Left, -400));
    QVERIFY(Near(N->PictureRect2D().Top, -400));
  }

  void rubber_band_is_clamped_to_the_client() {
    auto N = Navigator(400, 300);
    N->LoadFromFile(Picture(400, 300).toStdString());
    Mouse(N.get(), QEvent::MouseButtonPress, {300, 200}, Qt::LeftButton, Qt::LeftButton);
    Mouse(N.get(), QEvent::MouseMove, {900, 900}, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(N->ZoomingRect().Right, 399.0);
    QCOMPARE(N->ZoomingRect().Bottom, 299.0);
    Mouse(N.get(), QEvent::MouseButtonRelease, {900, 900}, Qt::LeftButton, Qt::NoButton);
  }

  void click_without_drag_leaves_the_view() {
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    const TF2DRect R = N->PictureRect2D();
    Mouse(N.get(), QEvent::MouseButtonPress, {120, 80}, Qt::LeftButton, Qt::LeftButton);
    Mouse(N.get(), QEvent::MouseButtonRelease, {120, 80}, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(N->PictureRect2D(), R);
  }

  void middle_double_click_fits() {
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    const TF2DRect R = N->PictureRect2D();
    N->MovePictureRect(40, 40);
    N->AlterScale(false, {10, 10}, 3);
    Mouse(N.get(), QEvent::MouseButtonDblClick, {10, 10}, Qt::MiddleButton, Qt::MiddleButton);
    QCOMPARE(N->PictureRect2D(), R);
  }

  void mouse_scaling() {
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    N->SetRectZooming(false);
    N->SetMouseScaling(true);
    const double W = N->PictureRectWidth();
    Mouse(N.get(), QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    Mouse(N.get(), QEvent::MouseMove, {100, 110}, Qt::NoButton, Qt::LeftButton);
    QVERIFY(Near(N->PictureRectWidth(), W * 1.1));
    Mouse(N.get(), QEvent::MouseButtonRelease, {100, 110}, Qt::LeftButton, Qt::NoButton);
  }

  void fractions_at_the_corners() {
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    const TF2DRect R = N->PictureRect2D();
    double FX = -1, FY = -1;
    QVERIFY(N->PictureFractions(R.Left, R.Bottom, FX, FY));
    QCOMPARE(FX, 0.0);
    QCOMPARE(FY, 0.0);
    QVERIFY(N->PictureFractions(R.Right, R.Top, FX, FY));
    QCOMPARE(FX, 1.0);
    QCOMPARE(FY, 1.0);
    // Raster pictures: pixels of the picture, Y up.
    const TFPoint P = N->GetDrawingInternalCoordsWithoutSnap((R.Left + R.Right) / 2, R.Top + (R.Bottom - R.Top) / 4);
    QVERIFY(Near(P.X, 100));
    QVERIFY(Near(P.Y, 75));
    auto E = Navigator();
    QVERIFY(E->PictureFractions(1, 1, FX, FY));
    const TFPoint Z = E->GetDrawingInternalCoordsWithoutSnap(1, 1);
    QCOMPARE(Z.X, 0.0);
  }

  void drawing_coordinates_follow_the_extents() {
    auto N = Navigator(600, 400);
    N->LoadFromFile(cnstSample.toStdString());
    TqdCADImage* I = N->CADImage();
    QVERIFY(I);
    const TF2DRect R = N->PictureRect2D();
    const TFPoint BL = N->GetDrawingInternalCoordsWithoutSnap(R.Left, R.Bottom);
    const TFPoint TR = N->GetDrawingInternalCoordsWithoutSnap(R.Right, R.Top);
    QVERIFY(Near(BL.X, I->XMin(), 1e-9));
    QVERIFY(Near(BL.Y, I->YMin(), 1e-9));
    QVERIFY(Near(TR.X, I->XMax(), 1e-9));
    QVERIFY(Near(TR.Y, I->YMax(), 1e-9));
    // The same point through the matrix of the frame that was drawn.
    QVERIFY(!N->grab().isNull());
    const TFPoint Mid = N->GetDrawingInternalCoordsWithoutSnap(300, 200);
    const TqdPoint Back = I->GetPoint(Mid);
    QVERIFY(std::abs(Back.X - 300) <= 1);
    QVERIFY(std::abs(Back.Y - 200) <= 1);
  }

  void update_bracket() {
    auto N = Navigator();
    N->BeginUpdate();
    N->BeginUpdate();
    QCOMPARE(N->UpdateCount(), 2);
    N->EndUpdate();
    N->EndUpdate();
    N->EndUpdate();
    QCOMPARE(N->UpdateCount(), 0);
  }

  void load_errors_leave_it_empty_data() {
    QTest::addColumn<QString>("Name");
    QTest::addColumn<QString>("Message");
    QTest::newRow("unknown extension") << "a.xyz" << "Unknown picture file extension (.xyz)";
    QTest::newRow("enhanced metafile") << "a.emf" << cnstMetafileNotSupported;
    QTest::newRow("metafile") << "a.wmf" << cnstMetafileNotSupported;
    QTest::newRow("not a drawing") << "garbage.dxf" << "";
    QTest::newRow("not a picture") << "garbage.png" << "";
    QTest::newRow("missing file") << "missing.bmp" << "";
  }
  void load_errors_leave_it_empty() {
    QFETCH(QString, Name);
    QFETCH(QString, Message);
    const QString Path = FDir.filePath(Name);
    if (!Name.startsWith("missing")) {
      QFile F(Path);
      QVERIFY(F.open(QIODevice::WriteOnly));
      F.write("garbage\n");
    }
    auto N = Navigator();
    N->LoadFromFile(Picture(200, 100).toStdString());
    QString Got;
    try {
      N->LoadFromFile(Path.toStdString());
    } catch (const EqdError& E) {
      Got = E.what();
    }
    QVERIFY(!Got.isEmpty());
    if (!Message.isEmpty()) QCOMPARE(Got, Message);
    QVERIFY(N->Empty());
    QCOMPARE(N->UpdateCount(), 0);
    QCOMPARE(N->PictureRect2D(), (TF2DRect{0, 0, 2, 2}));
  }

  void layout_change_refits() {
    auto N = Navigator(600, 400);
    N->LoadFromFile(cnstSample.toStdString());
    TqdCADImage* I = N->CADImage();
    QVERIFY(I && I->LayoutsCount() >= 2);
    N->AlterScale(false, {10, 10}, 4);
    int Changes = 0;
    N->OnPictureChange = [&](TqdDrawingNavigator*) { ++Changes; };
    I->SetCurrentLayout(I->GetLayout(1), 1);
    QVERIFY(Changes > 0);
    QCOMPARE(N->Scale(), 1.0);
    QVERIFY(N->PictureRectWidth() <= 600 && N->PictureRectHeight() <= 400);
    QVERIFY(Near(N->PictureRectCenter().X, 300, 0.5));
    I->SetCurrentLayout(I->GetLayout(0), 0);
    QCOMPARE(N->Scale(), 1.0);
  }

  void extents_change_keeps_the_view() {
    auto N = Navigator(600, 400);
    N->LoadFromFile(cnstSample.toStdString());
    TqdCADImage* I = N->CADImage();
    const TFPoint Before = N->GetDrawingInternalCoordsWithoutSnap(250, 150);
    // A wider border changes the extents but not what is under a pixel.
    I->SetBorderSize(0.5);
    I->RefreshCurrentLayout();
    const TFPoint After = N->GetDrawingInternalCoordsWithoutSnap(250, 150);
    QVERIFY(Near(Before.X, After.X, 1e-6));
    QVERIFY(Near(Before.Y, After.Y, 1e-6));
  }

  void paints_the_drawing() {
    auto N = Navigator(400, 300);
    N->LoadFromFile(cnstSample.toStdString());
    const QImage G = N->grab().toImage();
    const QRgb Bg = G.pixel(0, 0);
    int Other = 0;
    for (int Y = 0; Y < G.height(); ++Y)
      for (int X = 0; X < G.width(); ++X) Other += G.pixel(X, Y) != Bg;
    QVERIFY(Other > 100);
    int Painted = 0;
    N->OnPaint = [&](TqdDrawingNavigator*, QPainter&) { ++Painted; };
    N->MovePictureRect(5, 5);
    N->grab();
    QCOMPARE(Painted, 1);
    // Nothing new is drawn inside an update bracket.
    N->BeginUpdate();
    N->grab();
    QCOMPARE(Painted, 1);
    N->EndUpdate();
  }

  // The view draws texts too small to read as lines, on the cores it has; the image
  // keeps its own settings for exports and prints.
  void view_frames_use_levels_of_detail_and_leave_the_image_as_it_was() {
    const QString Name = FDir.filePath("tiny_texts.dxf");
    {
      QFile F(Name);
      QVERIFY(F.open(QIODevice::WriteOnly));
      QByteArray D = "0\nSECTION\n2\nENTITIES\n";
      for (int K = 0; K < 400; ++K)
        D += QString("0\nTEXT\n8\n0\n10\n%1\n20\n%2\n40\n1.0\n1\nText %3\n")
                 .arg((K % 20) * 12)
                 .arg((K / 20) * 3)
                 .arg(K)
                 .toUtf8();
      D += "0\nENDSEC\n0\nEOF\n";
      F.write(D);
    }
    auto N = Navigator(400, 300);
    N->LoadFromFile(Name.toStdString());
    TqdCADImage* I = N->CADImage();
    QVERIFY(I);
    QVERIFY(!N->grab().isNull());
    QVERIFY(I->Iterator());
    QVERIFY(I->Iterator()->Stats().TextLines > 0);
    QVERIFY(!I->LevelOfDetail());
    QCOMPARE(I->DrawThreads(), 1);
  }

  // While the right button pans, the frame moves and only the uncovered strips are
  // drawn; the frame after the release is the whole frame of the new position.
  void pan_moves_the_frame_and_settles_exactly() {
    auto N = Navigator(400, 300);
    N->LoadFromFile(cnstSample.toStdString());
    N->grab();
    Mouse(N.get(), QEvent::MouseButtonPress, {100, 100}, Qt::RightButton, Qt::RightButton);
    QVERIFY(N->MoveByMouse());
    Mouse(N.get(), QEvent::MouseMove, {130, 80}, Qt::NoButton, Qt::RightButton);
    const QImage Moving = N->grab().toImage();
    Mouse(N.get(), QEvent::MouseButtonRelease, {130, 80}, Qt::RightButton, Qt::NoButton);
    const QImage Settled = N->grab().toImage();
    // A fresh navigator at the same rectangle draws the same settled frame.
    auto M = Navigator(400, 300);
    M->LoadFromFile(cnstSample.toStdString());
    QVERIFY(M->SetPictureRect2D(N->PictureRect2D()));
    QCOMPARE(Settled, M->grab().toImage());
    // The moving frame differs from the settled one by a few pixels at most (the
    // rounding of a moved frame), never by missing strips.
    int Differ = 0;
    for (int Y = 0; Y < Settled.height(); ++Y)
      for (int X = 0; X < Settled.width(); ++X) Differ += Moving.pixel(X, Y) != Settled.pixel(X, Y);
    QVERIFY2(Differ < Settled.width() * Settled.height() / 100, qPrintable(QString::number(Differ)));
  }

  // A wheel step shows the last frame scaled at once; once the waiting events are
  // done the frame is the exact one of the new rectangle.
  void wheel_zoom_shows_a_scaled_frame_then_the_exact_one() {
    auto N = Navigator(400, 300);
    N->LoadFromFile(cnstSample.toStdString());
    const QImage First = N->grab().toImage();
    Wheel(N.get(), {150, 120}, 120);
    QVERIFY(N->ZoomPreviewShown());
    const QImage Quick = N->grab().toImage();
    Wheel(N.get(), {150, 120}, 120);  // a second step scales the copy again
    QVERIFY(N->ZoomPreviewShown());
    // The exact frame follows once the queued events are done: wait for that state
    // (the bound only ends a run that never gets there).
    QTRY_VERIFY_WITH_TIMEOUT(!N->ZoomPreviewShown(), cnstStateWaitMs);
    const QImage Settled = N->grab().toImage();
    auto M = Navigator(400, 300);
    M->LoadFromFile(cnstSample.toStdString());
    QVERIFY(M->SetPictureRect2D(N->PictureRect2D()));
    QCOMPARE(Settled, M->grab().toImage());
    // The quick frame is the first one, 1.25 times larger about the pointer (to a
    // pixel: the copy is not smoothed).
    const QRgb Bg = First.pixel(0, 0);
    int Ink = 0, Moved = 0, Unscaled = 0;
    for (int Y = 0; Y < First.height(); ++Y)
      for (int X = 0; X < First.width(); ++X) {
        if (First.pixel(X, Y) == Bg) continue;
        const int QX = int(150 + (X + 0.5 - 150) * 1.25), QY = int(120 + (Y + 0.5 - 120) * 1.25);
        if (QX < 1 || QY < 1 || QX + 1 >= Quick.width() || QY + 1 >= Quick.height()) continue;
        ++Ink;
        bool Found = false;
        for (int DY = -1; DY <= 1; ++DY)
          for (int DX = -1; DX <= 1; ++DX) Found |= Quick.pixel(QX + DX, QY + DY) == First.pixel(X, Y);
        Moved += !Found;
        Unscaled += Quick.pixel(X, Y) != First.pixel(X, Y);
      }
    QVERIFY(Ink > 100);
    QVERIFY2(Moved < Ink / 10 && Moved * 4 < Unscaled,
             qPrintable(QString("%1 (%2 unscaled) of %3").arg(Moved).arg(Unscaled).arg(Ink)));
  }

  // An image that reports its frame matrix as a change repainted forever.
  void frame_matrix_change_is_not_a_picture_change() {
    auto N = Navigator(400, 300);
    N->LoadFromFile(cnstSample.toStdString());
    N->CADImage()->SetCustomDraw(false);
    N->show();
    QVERIFY(QTest::qWaitForWindowExposed(N.get(), cnstStateWaitMs));
    int Painted = 0, Changes = 0;
    N->OnPaint = [&](TqdDrawingNavigator*, QPainter&) { ++Painted; };
    N->OnPictureChange = [&](TqdDrawingNavigator*) { ++Changes; };
    N->MovePictureRect(3, 3);
    // Wait for the first paint, however long a loaded machine takes; then let the
    // event loop run: an image that reported its matrix as a change would go on
    // asking for paints. A slow machine can only make fewer rounds, never more paints.
    QTRY_VERIFY_WITH_TIMEOUT(Painted >= 1, cnstStateWaitMs);
    for (int I = 0; I < 10; ++I) {
      QCoreApplication::processEvents();
      QTest::qWait(5);
    }
    QVERIFY2(Painted <= 3, qPrintable(QString::number(Painted)));
    QCOMPARE(Changes, 0);
  }

  void raster_picture_is_drawn() {
    auto N = Navigator(402, 302);
    N->LoadFromFile(Picture(200, 100, "bmp").toStdString());
    const QImage G = N->grab().toImage();
    QCOMPARE(QColor(G.pixel(201, 151)), QColor(Qt::blue));
    QVERIFY(QColor(G.pixel(201, 10)) != QColor(Qt::blue));
  }

  void clear_resets() {
    auto N = Navigator();
    N->LoadFromFile(cnstSample.toStdString());
    N->AlterScale(false, {3, 3}, 2);
    N->Clear();
    QVERIFY(N->Empty());
    QCOMPARE(N->Scale(), 1.0);
    QCOMPARE(N->PictureRect2D(), (TF2DRect{0, 0, 2, 2}));
    QVERIFY(!N->grab().isNull());
  }
};

QTEST_MAIN(NavigatorTest)
#include "navigator_test.moc"
