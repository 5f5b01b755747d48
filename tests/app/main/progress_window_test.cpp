// The progress window's texts and buttons with a host of the test's own,
// the start-up cover, and the application error handler.
#include <QPainter>
#include <QTest>

#include "app/main/win_cover.h"
#include "app/main/win_progress.h"
#include "app/widgets/application.h"
#include "app/window_test_support.h"
#include "engine/option_records.h"

namespace moskvid::test {

namespace {

class FakeHost : public TProgressHost {
 public:
  void PauseRun() override { ++pauses; }
  void ResumeRun() override { ++resumes; }
  void CancelRun() override { ++cancels; }
  bool GrabbedFrameSince(uint64_t& seen, QImage& out) override {
    if (seen == generation || frame.isNull()) return false;
    seen = generation;
    out = frame;
    return true;
  }
  void SnapFromProgress(const QImage& small) override { snapped = small; }
  int SkinIndex() const override { return 4; }

  int pauses = 0, resumes = 0, cancels = 0;
  uint64_t generation = 0;
  QImage frame;
  QImage snapped;
};

// Sends an event whose handler raises, as a window handler might.
class Thrower : public QObject {
 public:
  explicit Thrower(std::exception_ptr error) : error_(error) {}
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) std::rethrow_exception(error_);
    return QObject::event(event);
  }

 private:
  std::exception_ptr error_;
};

}  // namespace

class ProgressWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheFiguresOfAReport() {
    FakeHost host;
    TfrmProgress window(host, nullptr);
    window.show();
    QCOMPARE(window.size(), QSize(420, 460));
    QCOMPARE(window.palette().color(QPalette::Window), SkinPalette(4).color(QPalette::Window));
    TProgressFigures figures;
    figures.Index = 1;
    figures.TaskCount = 5;
    figures.CurrentMs = 30500;
    figures.TotalMs = 61000;
    figures.CurrentSize = 2'345'678;
    figures.OutputName = "/home/user/moskvid/" + std::string(28, 'x') + ".mp4";  // 51 characters
    figures.CurrentMs = 1000;
    window.ShowProgress(figures);  // the task's first report starts its clock
    QTest::qWait(20);
    figures.CurrentMs = 30500;
    window.ShowProgress(figures);
    QCOMPARE(window.progbarFile->value(), 50);
    QCOMPARE(window.lblTime->text(), QString("30 Second"));
    QCOMPARE(window.lblLength->text(), QString("61 Second"));
    QCOMPARE(window.lblSize->text(), QString("2345 kb"));
    QCOMPARE(window.lblProgress->text(), QString("[2/5]"));
    QCOMPARE(window.lblOutput->text(), Q(figures.OutputName.substr(0, 44) + "...mp4"));
    QCOMPARE(window.lblOutput->toolTip(), Q(figures.OutputName));
    QCOMPARE(window.windowTitle(), QString("50% - Converting"));
    QVERIFY(!window.lblTimeLeft->text().isEmpty());
    // An unknown total leaves the bar as it was.
    figures.TotalMs = -1;
    figures.CurrentMs = 40000;
    window.ShowProgress(figures);
    QCOMPARE(window.progbarFile->value(), 50);
    QCOMPARE(window.lblTime->text(), QString("40 Second"));
    QCOMPARE(window.lblLength->text(), QString());
  }

  // With several at once the time left is the run's: what all the tasks
  // have left over the rate they convert at together.
  void ShowsTheRunsTimeLeft() {
    FakeHost host;
    TfrmProgress window(host, nullptr);
    TRunProgress run;
    run.Begin({"a.mp4", "b.mp4", "c.mp4"}, {60000, 60000, 60000});
    run.StartNext(100);
    run.StartNext(100);
    window.SetRun(&run, 2);
    window.show();
    TProgressFigures figures;
    figures.TaskCount = 3;
    figures.TotalMs = 60000;
    window.ShowProgress(figures);
    QCOMPARE(window.lblTimeLeft->text(), QString());  // no rate yet
    run.TaskProgress(0, 20000, 60000, -1, 110);
    run.TaskProgress(1, 10000, 60000, -1, 110);
    figures.CurrentMs = 20000;
    window.ShowProgress(figures);
    QCOMPARE(window.lblTimeLeft->text(), QString("00:00:50"));  // 150 s at 3x
  }

  void DrawsTheGrabbedFrameFitted() {
    FakeHost host;
    TfrmProgress window(host, nullptr);
    window.show();
    QCOMPARE(window.imgPreview->Picture().pixel(5, 5), kPreviewBackground);
    host.frame = QImage(400, 100, QImage::Format_RGB32);  // wider than the pane
    host.frame.fill(0xFF00FF00);
    host.generation = 1;
    QTRY_VERIFY(window.imgPreview->Picture().pixel(160, 90) == 0xFF00FF00);
    const QImage& picture = window.imgPreview->Picture();
    QCOMPARE(picture.pixel(160, 5), kPreviewBackground);  // the bar above
    QCOMPARE(picture.pixel(2, 90), 0xFF00FF00);           // full width
    QTest::mouseClick(window.imgbtnSnap, Qt::LeftButton);
    QCOMPARE(host.snapped.size(), window.imgPreview->size());
  }

  // A picture is drawn at the device's pixel ratio: at 200% a frame of
  // twice the pane's size keeps every one of its pixels, where a picture of
  // the pane's own size would blur them.
  void PicturesStaySharpAtTwiceThePixelDensity() {
    TPicturePane pane;
    pane.resize(100, 50);
    QImage stripes(200, 100, QImage::Format_RGB32);
    for (int y = 0; y < stripes.height(); ++y) {
      for (int x = 0; x < stripes.width(); ++x)
        stripes.setPixel(x, y, (x + y) % 2 ? 0xFFFFFFFF : 0xFF000000);
    }
    pane.DrawFitted(stripes);
    QImage screen(200, 100, QImage::Format_RGB32);
    screen.setDevicePixelRatio(2);
    {
      QPainter painter(&screen);
      pane.Render(painter);
    }
    screen.setDevicePixelRatio(1);
    QCOMPARE(screen, stripes);
    QCOMPARE(pane.Picture().size(), QSize(100, 50));  // the small snapshot's size
  }

  void ButtonsAndClosing() {
    FakeHost host;
    TfrmProgress window(host, nullptr);
    window.show();
    QVERIFY(window.ckOpen->isChecked() && !window.ckShutDown->isChecked());
    QCOMPARE(window.ckShutDown->text(), QString("Shut down computer after conversion"));
    QCOMPARE(window.ckOpen->text(), QString("Open the output folder after conversion"));
    QTest::mouseClick(window.btnPause, Qt::LeftButton);
    QTest::mouseClick(window.btnResume, Qt::LeftButton);
    QCOMPARE(host.pauses, 1);
    QCOMPARE(host.resumes, 1);
    window.ckOpen->setChecked(false);
    window.close();  // closing in any way stops the run
    QCOMPARE(host.cancels, 1);
    QVERIFY(!window.Timer1->isActive());
    window.show();
    QVERIFY(window.ckOpen->isChecked());  // checked at every show
    QVERIFY(window.lblTime->text().isEmpty());
    window.CloseAtEnd();  // the end of a run closes it without stopping anything
    QVERIFY(!window.isVisible());
    QCOMPARE(host.cancels, 1);
  }

  void CoverClosesOnceTheMainWindowIsVisible() {
    QWidget main;
    QPointer<TfrmCover> cover = new TfrmCover("/nonexistent/cover.jpg", &main);
    cover->show();
    QCOMPARE(cover->size(), QSize(399, 239));
    QVERIFY(cover->windowFlags() & Qt::FramelessWindowHint);
    cover->Timer1->setInterval(50);
    QTest::qWait(200);
    QVERIFY(cover);  // the main window is not there yet
    main.show();
    QTRY_VERIFY(!cover);
  }

  void ErrorHandlerShowsEscapedErrors() {
    WindowFixture fixture;
    fixture.Window();  // installs its handler
    Thrower engine(std::make_exception_ptr(FFMpegException("Video encoding failed")));
    QEvent user(QEvent::User);
    QCoreApplication::sendEvent(&engine, &user);
    Thrower other(std::make_exception_ptr(std::runtime_error("Disk full!")));
    QCoreApplication::sendEvent(&other, &user);
    Thrower silent(std::make_exception_ptr(std::runtime_error("")));
    QCoreApplication::sendEvent(&silent, &user);
    const auto& messages = fixture.services.messages;
    QCOMPARE(messages.size(), size_t{2});
    QCOMPARE(messages[0].caption, QString("Moskvid"));
    QCOMPARE(messages[0].text, QString("Video encoding failed."));
    QCOMPARE(messages[0].icon, QMessageBox::Warning);
    QCOMPARE(messages[1].text, QString("Disk full!"));
    QCOMPARE(messages[1].icon, QMessageBox::Critical);
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::ProgressWindowTest)

#include "progress_window_test.moc"
