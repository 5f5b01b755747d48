// The trim and crop dialogs in real windows: their fields, messages and
// records, the rectangle dragged with the mouse, Detect, and a trimmed and
// cropped file converted for real.
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "app/dialogs/win_crop.h"
#include "app/dialogs/win_trim.h"
#include "app/window_test_support.h"

namespace moskvid::test {

namespace {

// A clip made here: `filter` is a lavfi picture source (with its filters).
std::string MakeClip(WindowFixture& fixture, const std::string& name, const std::string& filter,
                     bool sound = true) {
  const std::string file = fixture.scratch.File(name);
  RunCommand("ffmpeg -v error -nostdin -f lavfi -i " + Quote(filter) +
             (sound ? " -f lavfi -i sine=duration=600 -shortest -c:a aac" : "") +
             " -c:v libx264 -preset ultrafast -g 50 -pix_fmt yuv420p " + Quote(file));
  return file;
}

void TypeTime(QLineEdit& field, const QString& digits) {
  field.setFocus();
  field.selectAll();
  field.setText(digits);
}

}  // namespace

class TrimCropWindowTest : public QObject {
  Q_OBJECT

 private:
  // Opens the Edit menu's Trim (or Crop) for entry 0, handing the dialog to `use`.
  template <class Dialog>
  static void Open(WindowFixture& fixture, QAction* TfrmMain::*entry,
                   const std::function<void(Dialog&)>& use) {
    TfrmMain& window = fixture.Window();
    window.lvFiles->Select(0);
    emit window.mnuEdit->aboutToShow();
    fixture.services.onExec = [&](QDialog& dialog) {
      if (dialog.objectName() == "frmTrim" || dialog.objectName() == "frmCrop")
        use(static_cast<Dialog&>(dialog));
      if (dialog.isVisible()) dialog.reject();
    };
    (window.*entry)->trigger();
  }

 private slots:
  void TrimStoresTheCutAndShowsItsLength() {
    WindowFixture fixture;
    fixture.Add({Q(MakeClip(fixture, "ten.mp4", "testsrc=size=64x48:rate=5:duration=600"))});
    TfrmMain& window = fixture.Window();
    Open<TfrmTrim>(fixture, &TfrmMain::Trim1, [&](TfrmTrim& trim) {
      QCOMPARE(trim.windowTitle(), QString("Trim"));
      QCOMPARE(trim.size(), QSize(615, 435));
      QCOMPARE(trim.maskedtEndTime->displayText(), QString("00:10:00"));
      QCOMPARE(trim.maskedtLength->displayText(), QString("00:10:00"));
      QCOMPARE(trim.maskedtStartTime->displayText(), QString("00:00:00"));
      QTRY_VERIFY(trim.maskedtStartTime->hasFocus());
      QVERIFY(trim.btnOk->isDefault());
      QVERIFY(trim.lblLength->text().startsWith("600."));
      TypeTime(*trim.maskedtStartTime, "000130");
      QTest::mouseClick(trim.btnOk1, Qt::LeftButton);
      TypeTime(*trim.maskedtEndTime, "000200");
      QTest::mouseClick(trim.btnOk2, Qt::LeftButton);
      QCOMPARE(trim.maskedtLength->displayText(), QString("00:00:30"));
      QTest::mouseClick(trim.btnOk, Qt::LeftButton);
    });
    QVERIFY(fixture.services.messages.empty());
    const TlvFilesRecord& record = window.lvFiles->Entry(0)->Record;
    QCOMPARE(record.TrimStart, 90000);
    QCOMPARE(record.TrimLength, 30000);
    QCOMPARE(window.lvFiles->SubItem(0, fcTrimmedLength), QString("30"));

    // Opening again shows the cut; Reset clears the record at once.
    Open<TfrmTrim>(fixture, &TfrmMain::Trim1, [&](TfrmTrim& trim) {
      QCOMPARE(trim.maskedtStartTime->displayText(), QString("00:01:30"));
      QCOMPARE(trim.maskedtEndTime->displayText(), QString("00:02:00"));
      QTest::mouseClick(trim.btnReset, Qt::LeftButton);
      QCOMPARE(record.TrimStart, 0);
      QTest::mouseClick(trim.btnCancel, Qt::LeftButton);
    });
    QCOMPARE(record.TrimLength, 0);
    QCOMPARE(window.lvFiles->SubItem(0, fcTrimmedLength), QString("600"));
  }

  void TrimWarnsAboutImpossibleTimes() {
    WindowFixture fixture;
    fixture.Add({Q(MakeClip(fixture, "ten.mp4", "testsrc=size=64x48:rate=5:duration=600"))});
    TfrmMain& window = fixture.Window();
    Open<TfrmTrim>(fixture, &TfrmMain::Trim1, [&](TfrmTrim& trim) {
      TypeTime(*trim.maskedtEndTime, "000010");
      QTest::mouseClick(trim.btnOk2, Qt::LeftButton);
      TypeTime(*trim.maskedtStartTime, "000010");
      QTest::mouseClick(trim.btnOk1, Qt::LeftButton);
      QCOMPARE(trim.maskedtStartTime->displayText(), QString("00:00:00"));  // reset
      // A start after the end.
      TypeTime(*trim.maskedtStartTime, "000020");
      QTest::mouseClick(trim.btnOk1, Qt::LeftButton);
      QCOMPARE(trim.maskedtStartTime->displayText(), QString("00:00:00"));
      // An end before the start.
      TypeTime(*trim.maskedtEndTime, "001000");
      QTest::mouseClick(trim.btnOk2, Qt::LeftButton);
      TypeTime(*trim.maskedtStartTime, "000030");
      QTest::mouseClick(trim.btnOk1, Qt::LeftButton);
      TypeTime(*trim.maskedtEndTime, "000020");
      QTest::mouseClick(trim.btnOk2, Qt::LeftButton);
      QCOMPARE(trim.maskedtEndTime->displayText(), QString("00:10:00"));  // back to the duration
      QCOMPARE(trim.maskedtLength->displayText(), QString("00:09:30"));
      // What the fields show is what OK stores.
      QTest::mouseClick(trim.btnOk, Qt::LeftButton);
    });
    QStringList texts;
    for (const auto& message : fixture.services.messages) {
      QCOMPARE(message.caption, QString("Warning"));
      texts << message.text;
    }
    QVERIFY(texts.contains("The start time cannot equal to the end time!"));
    QVERIFY(texts.contains("Incorrect end time!"));
    QVERIFY(texts.contains("Incorrect start time!"));
    QCOMPARE(window.lvFiles->Entry(0)->Record.TrimStart, 30000);
    QCOMPARE(window.lvFiles->Entry(0)->Record.TrimLength, 570000);
  }

  void SetStartAndEndTakeThePictureShown() {
    WindowFixture fixture;
    fixture.Add({Q(MakeClip(fixture, "clip.mp4", "testsrc=size=160x120:rate=25:duration=20"))});
    TfrmMain& window = fixture.Window();
    int64_t startMs = 0, endMs = 0;
    Open<TfrmTrim>(fixture, &TfrmMain::Trim1, [&](TfrmTrim& trim) {
      QTest::mouseClick(trim.Preview->imgbtnpause, Qt::LeftButton);
      QSlider& slider = *trim.Preview->trcPreview;
      slider.setValue(slider.maximum() / 4);  // 5 s
      startMs = trim.Preview->PositionMs();
      QTest::mouseClick(trim.btnSetStart, Qt::LeftButton);
      slider.setValue(slider.maximum() / 2);  // 10 s
      const int before = slider.value();
      QTest::mouseClick(trim.Preview->imgRight, Qt::LeftButton);  // one picture on
      QCOMPARE(slider.value(), before + static_cast<int>(40000 / trim.Preview->TimeUnit()));
      QTest::mouseClick(trim.Preview->imgLeft, Qt::LeftButton);
      endMs = trim.Preview->PositionMs();
      QTest::mouseClick(trim.btnSetEnd, Qt::LeftButton);
      QCOMPARE(trim.maskedtStartTime->displayText(), QString("00:00:05"));
      QCOMPARE(trim.maskedtEndTime->displayText(), QString("00:00:10"));
      QCOMPARE(trim.maskedtLength->displayText(), QString("00:00:05"));
      QTest::mouseClick(trim.btnOk, Qt::LeftButton);
    });
    // The exact times of the pictures shown, not whole seconds.
    QVERIFY(startMs >= 5000 && startMs < 5100);
    QCOMPARE(window.lvFiles->Entry(0)->Record.TrimStart, static_cast<int32_t>(startMs));
    QCOMPARE(window.lvFiles->Entry(0)->Record.TrimLength, static_cast<int32_t>(endMs - startMs));
  }

  void CropShowsTheStoredMarginsAndDrags() {
    WindowFixture fixture;
    fixture.Add({Q(MakeClip(fixture, "vga.mp4", "testsrc=size=640x480:rate=25:duration=4"))});
    TfrmMain& window = fixture.Window();
    TlvFilesRecord& record = window.lvFiles->Entry(0)->Record;
    record.CropTop = 40;
    record.CropLeft = 7;
    record.ZoomMode = "ylbox";
    Open<TfrmCrop>(fixture, &TfrmMain::Crop1, [&](TfrmCrop& crop) {
      QCOMPARE(crop.windowTitle(), QString("Crop"));
      QCOMPARE(crop.Picture().Width, 336);
      QCOMPARE(crop.Picture().Height, 251);
      QCOMPARE(crop.spedUp->value(), 21);
      QCOMPARE(crop.cmbZoom->currentText(), QString("Letter Box"));
      QVERIFY(crop.RectTracker->isVisible());
      const TArea before = crop.RectTracker->Bounds();
      QCOMPARE(before.Top, crop.Picture().Top + 21);
      // The bottom-right corner, dragged up and left with the mouse.
      QSignalSpy changes(crop.RectTracker, &TRectTracker::OnChange);
      const QPoint corner(before.Width - 1, before.Height - 1);
      QTest::mousePress(crop.RectTracker, Qt::LeftButton, {}, corner);
      QMouseEvent move(QEvent::MouseMove, QPointF(corner - QPoint(30, 20)),
                       crop.RectTracker->mapToGlobal(QPointF(corner - QPoint(30, 20))),
                       Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(crop.RectTracker, &move);
      QTest::mouseRelease(crop.RectTracker, Qt::LeftButton, {}, corner - QPoint(30, 20));
      QCOMPARE(changes.count(), 1);
      QCOMPARE(crop.spedDown->value(), 20);
      QCOMPARE(crop.spedRight->value(), 30);
      QCOMPARE(crop.spedUp->value(), 21);  // the opposite edges stay
      // Inside: the whole rectangle moves, kept within the picture.
      const TArea moved = crop.RectTracker->Bounds();
      const QPoint inside(moved.Width / 2, moved.Height / 2);
      QTest::mousePress(crop.RectTracker, Qt::LeftButton, {}, inside);
      QMouseEvent far(QEvent::MouseMove, QPointF(inside + QPoint(500, 500)),
                      crop.RectTracker->mapToGlobal(QPointF(inside + QPoint(500, 500))),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(crop.RectTracker, &far);
      QTest::mouseRelease(crop.RectTracker, Qt::LeftButton, {}, inside + QPoint(500, 500));
      QCOMPARE(crop.spedDown->value(), 0);
      QCOMPARE(crop.spedRight->value(), 0);
      QCOMPARE(crop.spedUp->value(), 41);
      QTest::mouseClick(crop.btnOk, Qt::LeftButton);
    });
    QCOMPARE(record.CropTop, 78);  // 41 preview pixels, even
    QCOMPARE(record.CropBottom, 0);
    QCOMPARE(record.ZoomMode, std::string("lbox"));
  }

  void CropKeepsItsMinimumAndDetectsBorders() {
    WindowFixture fixture;
    fixture.Add({Q(MakeClip(fixture, "letter.mp4",
                            "testsrc2=size=640x360:rate=25:duration=4,pad=640:480:0:60:black"))});
    TfrmMain& window = fixture.Window();
    Open<TfrmCrop>(fixture, &TfrmMain::Crop1, [&](TfrmCrop& crop) {
      QTest::mouseClick(crop.btnDetect, Qt::LeftButton);
      QCOMPARE(crop.spedUp->value(), 31);  // 60 source pixels in the 251 of 480
      QCOMPARE(crop.spedDown->value(), 31);
      QCOMPARE(crop.spedLeft->value(), 0);
      // Down to 10 pixels high, and no further.
      crop.spedDown->setValue(crop.Picture().Height - 31 - 10);
      QCOMPARE(crop.RectTracker->Bounds().Height, 10);
      crop.spedUp->stepUp();
      QCOMPARE(crop.spedUp->value(), 31);
      QCOMPARE(crop.RectTracker->Bounds().Height, 10);
      QTest::mouseClick(crop.btnReset, Qt::LeftButton);
      QCOMPARE(crop.RectTracker->Bounds(), crop.Picture());
      QTest::mouseClick(crop.btnDetect, Qt::LeftButton);
      crop.cmbZoom->setCurrentIndex(3);
      QTest::mouseClick(crop.btnOk, Qt::LeftButton);
    });
    const TlvFilesRecord& record = window.lvFiles->Entry(0)->Record;
    QCOMPARE(record.CropTop, 60);
    QCOMPARE(record.CropBottom, 60);
    QCOMPARE(record.ZoomMode, std::string("orig"));
  }

  // A phone clip stored sideways: the dialog shows it upright, and the
  // margins are the sides the viewer sees. So is an anamorphic picture
  // shown in its proportions.
  void CropOnATurnedClipCutsTheSidesTheViewerSees() {
    WindowFixture fixture;
    // Upright: 360x640, its top 80 rows black; stored turned to 640x360.
    const std::string phone =
        MakeClip(fixture, "phone.mp4",
                 "color=c=0x808080:size=360x640:rate=25:duration=4,drawbox=x=0:y=0:w=360:h=80:"
                 "c=black:t=fill,transpose=cclock");
    RunCommand("python3 " + Quote(std::string(MOSKVID_TEST_SUPPORT_DIR) + "/rotate_mp4.py") + " " +
               Quote(phone) + " 90");
    fixture.Add({Q(phone), Q(MakeClip(fixture, "dvd.mp4",
                                      "testsrc2=size=720x480:rate=25:duration=4,setsar=32/27"))});
    TfrmMain& window = fixture.Window();
    Open<TfrmCrop>(fixture, &TfrmMain::Crop1, [&](TfrmCrop& crop) {
      QVERIFY(crop.Picture().Height > crop.Picture().Width * 16 / 10);
      QTest::mouseClick(crop.btnDetect, Qt::LeftButton);
      QVERIFY(crop.spedUp->value() > 0);
      QCOMPARE(crop.spedDown->value(), 0);
      QCOMPARE(crop.spedLeft->value(), 0);
      QCOMPARE(crop.spedRight->value(), 0);
      QTest::mouseClick(crop.btnOk, Qt::LeftButton);
    });
    const TlvFilesRecord& record = window.lvFiles->Entry(0)->Record;
    QVERIFY(std::abs(record.CropTop - 80) <= 4);
    QCOMPARE(record.CropLeft + record.CropRight + record.CropBottom, 0);

    int shown = 0;
    window.lvFiles->Select(1);
    emit window.mnuEdit->aboutToShow();
    fixture.services.onExec = [&](QDialog& dialog) {
      if (dialog.objectName() != "frmCrop") return;
      auto& crop = static_cast<TfrmCrop&>(dialog);
      // 853x480 as shown: 16:9 in the preview, not the 3:2 of the stored pixels.
      const double shape = static_cast<double>(crop.Picture().Width) / crop.Picture().Height;
      QVERIFY2(std::abs(shape - 16.0 / 9) < 0.03, qPrintable(QString::number(shape)));
      ++shown;
      dialog.reject();
    };
    window.Crop1->trigger();
    QCOMPARE(shown, 1);
  }

  void AnAudioFileHasNothingToCrop() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("audio.mp3", "song.mp3"))});
    TfrmMain& window = fixture.Window();
    window.lvFiles->Entry(0)->Record.CropTop = 8;
    Open<TfrmCrop>(fixture, &TfrmMain::Crop1, [&](TfrmCrop& crop) {
      QVERIFY(!crop.RectTracker->isVisible());
      QVERIFY(!crop.spedUp->isEnabled() && !crop.btnDetect->isEnabled());
      QTest::mouseClick(crop.btnOk, Qt::LeftButton);
    });
    QCOMPARE(window.lvFiles->Entry(0)->Record.CropTop, 0);
  }

  void ATrimmedAndCroppedFileConverts() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);
    fixture.Add({Q(MakeClip(fixture, "letter.mp4",
                            "testsrc2=size=640x360:rate=25:duration=6,pad=640:480:0:60:black"))});
    TfrmMain& window = fixture.Window();
    Open<TfrmTrim>(fixture, &TfrmMain::Trim1, [&](TfrmTrim& trim) {
      TypeTime(*trim.maskedtStartTime, "000001");
      QTest::mouseClick(trim.btnOk1, Qt::LeftButton);
      TypeTime(*trim.maskedtEndTime, "000004");
      QTest::mouseClick(trim.btnOk2, Qt::LeftButton);
      QTest::mouseClick(trim.btnOk, Qt::LeftButton);
    });
    Open<TfrmCrop>(fixture, &TfrmMain::Crop1, [&](TfrmCrop& crop) {
      QTest::mouseClick(crop.btnDetect, Qt::LeftButton);
      crop.cmbZoom->setCurrentIndex(3);  // keep the cropped size
      QTest::mouseClick(crop.btnOk, Qt::LeftButton);
    });
    fixture.services.onExec = nullptr;
    window.btnStart->click();
    const std::string out = fixture.scratch.File("out") + "/letter_(new).mp4";
    const auto streams = ProbeStreams(out);
    QCOMPARE(streams.size(), size_t{2});
    QCOMPARE(Q(streams[0].at("width")), QString("640"));
    QCOMPARE(Q(streams[0].at("height")), QString("360"));
    QVERIFY(std::abs(ToDouble(ProbeFormat(out).at("duration")) - 3.0) < 0.1);
    QVERIFY(std::abs(CountSamples(out) / 48000.0 - 3.0) < 0.05);
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::TrimCropWindowTest)

#include "trim_crop_window_test.moc"
