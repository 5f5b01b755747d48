// The preview player and the snapshots of the main window.
#include <QTest>
#include <filesystem>

#include "app/window_test_support.h"

namespace moskvid::test {

namespace fs = std::filesystem;

class PreviewTest : public QObject {
  Q_OBJECT

 private:
  static bool ShowsAPicture(const TPicturePane& pane) {
    const QImage& picture = pane.Picture();
    return picture.pixel(picture.width() / 2, picture.height() / 2) != kPreviewBackground;
  }

 private slots:
  void PlaysPausesAndStops() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    TfrmMain& window = fixture.Window();
    QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
    QVERIFY(!window.PreviewStopped());
    QVERIFY(window.trcPreview->isVisible() && window.trcPreview->isEnabled());
    // Three seconds: 100 microseconds a step, 30000 steps.
    QCOMPARE(window.TimeUnit(), int64_t{100});
    const double seconds = ToDouble(ProbeFormat(fixture.scratch.File("a.mp4")).at("duration"));
    QVERIFY(std::abs(window.trcPreview->maximum() - seconds * 10000) <= 1);
    QCOMPARE(window.trcPreview->singleStep(), 1000);
    QCOMPARE(window.trcPreview->pageStep(), 5000);
    QVERIFY(window.imgbtnStop->isEnabled() && window.imgbtnPause->isEnabled() &&
            window.imgbtnSnap->isEnabled() && !window.imgbtnPlay->isEnabled());
    QVERIFY(!window.imgPreview1->isVisible());
    QVERIFY(ShowsAPicture(*window.imgPreview));
    QCOMPARE(window.PreviewFrame().Width(), 320);
    QVERIFY(window.mmoLog->toPlainText().contains("Duration"));
    // The slider moves by a second of stream time per tick.
    window.trcPreview->setValue(12340);
    QCOMPARE(window.lblPTS->text(), QString("Time: 1.234"));
    const int before = window.trcPreview->value();
    const int advance = window.trcPreview->maximum() / 3;  // duration div one second
    QTRY_VERIFY_WITH_TIMEOUT(window.trcPreview->value() == before + advance, 3000);

    QTest::mouseClick(window.imgbtnPause, Qt::LeftButton);
    QVERIFY(window.PreviewPaused());
    QVERIFY(window.imgbtnPlay->isEnabled() && !window.imgbtnPause->isEnabled());
    const int paused = window.trcPreview->value();
    QTest::qWait(1200);
    QCOMPARE(window.trcPreview->value(), paused);
    QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
    QVERIFY(!window.PreviewPaused() && window.imgbtnPause->isEnabled());

    QTest::mouseClick(window.imgbtnStop, Qt::LeftButton);
    QVERIFY(window.PreviewStopped());
    QCOMPARE(window.trcPreview->value(), 0);
    QVERIFY(!window.trcPreview->isEnabled());
    QVERIFY(window.imgPreview1->isVisible());
    QVERIFY(!window.imgbtnSnap->isEnabled());
  }

  void PlayingToTheEndStops() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    TfrmMain& window = fixture.Window();
    window.lvFiles->itemDoubleClicked(window.lvFiles->topLevelItem(0), 0);
    QVERIFY(!window.PreviewStopped());
    window.trcPreview->setValue(window.trcPreview->maximum());
    QVERIFY(window.PreviewStopped());
    QVERIFY(!window.Converter().Probe().Loaded());
    QTRY_VERIFY_WITH_TIMEOUT(window.trcPreview->value() == 0 && window.imgbtnPlay->isEnabled(),
                             2000);
  }

  void AStillPictureHidesTheSlider() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("still.png", "still.png"))});
    TfrmMain& window = fixture.Window();
    QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
    QVERIFY(!window.trcPreview->isVisible());
    QVERIFY(ShowsAPicture(*window.imgPreview));
    QCOMPARE(window.PreviewFrame().Width(), 320);
  }

  void SnapWritesOnlyTheChosenFiles() {
    WindowFixture fixture;
    fixture.settings->SetSnapshotOptions(false, true, 30, true, false);
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    TfrmMain& window = fixture.Window();
    QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
    QTest::mouseClick(window.imgbtnSnap, Qt::LeftButton);
    const std::string snaps = fixture.scratch.File("snaps");
    QVERIFY(fs::exists(snaps + "/Snapshot_full.jpg"));
    QVERIFY(!fs::exists(snaps + "/Snapshot_full.bmp"));
    QVERIFY(!fs::exists(snaps + "/Snapshot_small.bmp"));
    QVERIFY(!fs::exists(snaps + "/Snapshot_small.jpg"));
    const auto streams = ProbeStreams(snaps + "/Snapshot_full.jpg");
    QCOMPARE(Q(streams[0].at("width")), QString("320"));
    // All four: the small ones at the preview's own size.
    fixture.settings->SetSnapshotOptions(true, true, 30, true, true);
    QTest::mouseClick(window.imgbtnSnap, Qt::LeftButton);
    const auto small = ProbeStreams(snaps + "/Snapshot_small.bmp");
    QCOMPARE(Q(small[0].at("width")), QString::number(window.imgPreview->width()));
    QCOMPARE(Q(small[0].at("height")), QString::number(window.imgPreview->height()));
    QVERIFY(fixture.services.messages.empty());
  }

  // Snap with nothing to write says why, and writes nothing: a sound-only
  // file, or a pair of switches both stored as 0.
  void SnapSaysWhyItWritesNothing() {
    WindowFixture fixture;
    fixture.Add(
        {Q(fixture.Copy("audio.mp3", "song.mp3")), Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    TfrmMain& window = fixture.Window();
    const std::string snaps = fixture.scratch.File("snaps");
    const auto nothingWritten = [&] { return !fs::exists(snaps) || fs::is_empty(snaps); };
    QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
    QVERIFY(window.imgbtnSnap->isEnabled());
    QTest::mouseClick(window.imgbtnSnap, Qt::LeftButton);
    QVERIFY(nothingWritten());
    QCOMPARE(fixture.services.messages.size(), size_t{1});
    QCOMPARE(fixture.services.messages.back().caption, QString("Warning"));
    QVERIFY(fixture.services.messages.back().text.contains("no picture"));

    window.lvFiles->Select(1);
    QTest::mouseClick(window.imgbtnStop, Qt::LeftButton);
    QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
    for (const bool sizes : {true, false}) {
      // Neither size, then neither format.
      fixture.settings->SetSnapshotOptions(sizes, sizes, 30, !sizes, !sizes);
      QTest::mouseClick(window.imgbtnSnap, Qt::LeftButton);
      QVERIFY(nothingWritten());
      QCOMPARE(fixture.services.messages.size(), size_t{sizes ? 2u : 3u});
      QVERIFY2(fixture.services.messages.back().text.contains(sizes ? "size" : "format"),
               qPrintable(fixture.services.messages.back().text));
    }
  }

  void ASnapshotThatCannotBeWrittenIsReported() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    fs::create_directories(fixture.scratch.File("snaps") + "/Snapshot_full.bmp");
    TfrmMain& window = fixture.Window();
    QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
    QTest::mouseClick(window.imgbtnSnap, Qt::LeftButton);
    QCOMPARE(fixture.services.messages.size(), size_t{1});
    QCOMPARE(fixture.services.messages[0].caption, QString("Moskvid"));
    QCOMPARE(fixture.services.messages[0].icon, QMessageBox::Critical);
    QVERIFY(fixture.services.messages[0].text.contains("Snapshot_full.bmp"));
    QVERIFY(fixture.services.messages[0].text.endsWith("."));
  }

  void RemovingTheLastEntryStopsThePreview() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    TfrmMain& window = fixture.Window();
    QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
    QVERIFY(!window.PreviewStopped());
    QTest::mouseClick(window.btnRemove, Qt::LeftButton);
    QVERIFY(window.PreviewStopped());
    QVERIFY(window.imgPreview1->isVisible());
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::PreviewTest)

#include "preview_test.moc"
