// The file information and watermark windows, opened from the main window.
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/dialogs/win_file_info.h"
#include "app/dialogs/win_water_mark.h"
#include "app/window_test_support.h"

namespace moskvid::test {

class FileInfoWindowTest : public QObject {
  Q_OBJECT

 private:
  // Opens the popup's "Video Infomation" for entry `position`, handing the
  // dialog to `look`.
  static void Inspect(WindowFixture& fixture, int position,
                      const std::function<void(TfrmFileInfo&)>& look) {
    TfrmMain& window = fixture.Window();
    window.lvFiles->Select(position);
    emit window.pmFiles->aboutToShow();
    QVERIFY(window.Infomation1->isEnabled());
    fixture.services.onExec = [&](QDialog& dialog) {
      look(static_cast<TfrmFileInfo&>(dialog));
      dialog.accept();
    };
    window.Infomation1->trigger();
  }

 private slots:
  void DescribesAVideoAndItsSound() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("sync_late_audio.mp4", "late.mp4"))});
    Inspect(fixture, 0, [&](TfrmFileInfo& info) {
      QCOMPARE(info.windowTitle(), QString("File infomation"));
      QCOMPARE(info.size(), QSize(420, 460));
      QCOMPARE(info.lblSourceName->text(), Q(fixture.scratch.File("late.mp4")));
      QVERIFY(info.lblFileLength->text().endsWith(" Second"));
      QVERIFY(info.lblFileLength->text().startsWith("9."));
      QVERIFY(info.edtFormat->text().contains("mp4"));
      QCOMPARE(info.edtResloution->text(), QString("320x240"));
      QCOMPARE(info.edtFrameRate->text(), QString("30000"));  // 29.97 stored as 30000/1001
      QCOMPARE(info.edtTotalFrame->text(), QString("1001"));
      QVERIFY(info.edtBitRate->text().toInt() > 0);
      QCOMPARE(info.edtAudioForamt->text().left(3), QString("aac"));
      QCOMPARE(info.edtSampleRate->text(), QString("48000"));
      QCOMPARE(info.edtChannel->text(), QString("1"));
      QVERIFY(info.edtAudioBitRate->text().toInt() > 0);
    });
    QCOMPARE(fixture.services.execCount, 1);
  }

  void AnAudioFileOrAVanishedOneFillsNothing() {
    WindowFixture fixture;
    const std::string video = fixture.Copy("h264_aac.mkv", "video.mkv");
    fixture.Add({Q(video), Q(fixture.Copy("audio.mp3", "song.mp3"))});
    // First a video, so that an empty field below means it was cleared.
    Inspect(fixture, 0,
            [](TfrmFileInfo& info) { QCOMPARE(info.edtResloution->text(), QString("320x240")); });
    Inspect(fixture, 1, [](TfrmFileInfo& info) {
      for (QLineEdit* field : {info.edtFormat, info.edtResloution, info.edtAudioForamt,
                               info.edtSampleRate, info.edtChannel})
        QVERIFY2(field->text().isEmpty(), qPrintable(field->objectName()));
      QVERIFY(info.lblSourceName->text().isEmpty());
    });
    std::filesystem::remove(video);
    Inspect(fixture, 0, [](TfrmFileInfo& info) {
      QVERIFY(info.edtResloution->text().isEmpty());
      QVERIFY(info.lblFileLength->text().isEmpty());
    });
    QVERIFY(fixture.Window().mmoLog->toPlainText().contains("***File open error: "));
  }

  void WaterMarkShowsTheSourceAndStoresNothing() {
    WindowFixture fixture;
    const std::string folder = fixture.scratch.File(std::string(40, 'f'));
    std::filesystem::create_directories(folder);
    const std::string clip = folder + "/clip.mp4";
    std::filesystem::copy_file(Media("h264_aac.mp4"), clip);
    fixture.Add({Q(clip)});
    TfrmMain& window = fixture.Window();
    emit window.mnuEdit->aboutToShow();
    QVERIFY(!window.WaterMark1->isVisible());  // the entry stays hidden
    std::ifstream before(fixture.scratch.File("moskvid.ini"));
    const std::string stored((std::istreambuf_iterator<char>(before)), {});
    fixture.services.onExec = [&](QDialog& dialog) {
      auto& mark = static_cast<TfrmWaterMark&>(dialog);
      QCOMPARE(mark.windowTitle(), QString("Water Mark"));
      QCOMPARE(mark.size(), QSize(480, 420));
      QCOMPARE(mark.lblSourceName->text(), Q(clip.substr(0, 50) + "...mp4  "));
      QCOMPARE(mark.edtPosX->text(), QString("10"));
      QCOMPARE(mark.edtPosY->toolTip(), QString("Y must > 0 ,and < video height"));
      QVERIFY(!mark.ckTextScrol2->isChecked());
      mark.edtAddText->setText("Hello");
      QTest::mouseClick(mark.btnOk, Qt::LeftButton);
    };
    window.WaterMark1->trigger();
    QCOMPARE(fixture.services.execCount, 1);
    std::ifstream after(fixture.scratch.File("moskvid.ini"));
    QCOMPARE(std::string((std::istreambuf_iterator<char>(after)), {}), stored);
    QCOMPARE(window.lvFiles->Entry(0)->Record.ZoomMode, std::string("lbox"));
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::FileInfoWindowTest)

#include "file_info_window_test.moc"
