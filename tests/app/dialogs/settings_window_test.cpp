// The settings dialog in a real window: its lists, Default, OK and Cancel,
// a format change inside it, the volume error, encoders the libraries lack,
// and the choices reaching the encoder in a real conversion.
#include <QStandardItemModel>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/dialogs/win_settings.h"
#include "app/window_test_support.h"

namespace moskvid::test {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

class SettingsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheFormatsListsAndSummary() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);
    TfrmMain& window = fixture.Window();
    fixture.services.onExec = [&](QDialog& dialog) {
      auto& settings = static_cast<TfrmSettings&>(dialog);
      QCOMPARE(settings.windowTitle(), QString("Settings"));
      // The designed size at least, grown so that no choice is cut, at the
      // application's own font.
      QVERIFY(settings.width() >= 475 && settings.height() >= 360);
      QCOMPARE(settings.font(), QApplication::font());
      for (QComboBox* box : settings.findChildren<QComboBox*>()) {
        // Its longest choice with the frame and the arrow.
        QVERIFY2(box->width() >= box->sizeHint().width(), qPrintable(box->objectName()));
        const QRect inside(box->mapTo(&settings, QPoint()), box->size());
        QVERIFY2(settings.rect().contains(inside), qPrintable(box->objectName()));
      }
      QCOMPARE(settings.cbOutputFormat->count(), 14);
      QCOMPARE(settings.cbOutputFormat->currentIndex(), 5);
      QCOMPARE(settings.cmbVideoSize->count(), 3);
      // Nothing stored: the profile's defaults, which a job would get.
      QCOMPARE(settings.cmbVideoBitRate->currentText(), QString("512"));
      QCOMPARE(settings.cmbVolume->currentText(), QString("100%"));
      settings.cmbVideoBitRate->setCurrentText("768");
      QVERIFY(settings.lblSummary->text().contains("video mpeg4, 320x240, 768 kbit/s"));
      QVERIFY(settings.cmbVolume->isEnabled());
      QVERIFY(settings.lblSummary->text().contains("container psp, extension .mp4"));
      // The encoder that runs, not the profile's old name for it.
      QVERIFY2(settings.lblSummary->text().contains("audio aac, 48000 Hz"),
               qPrintable(settings.lblSummary->text()));
      // Default selects the profile's choices and the summary follows.
      QTest::mouseClick(settings.btnDefault, Qt::LeftButton);
      QCOMPARE(settings.cmbVideoBitRate->currentText(), QString("512"));
      QCOMPARE(settings.cmbVolume->currentText(), QString("100%"));
      QVERIFY(settings.lblSummary->text().contains("video mpeg4, 320x240, 512 kbit/s"));
      // An audio format: the video lists are off.
      settings.cbOutputFormat->setCurrentIndex(9);
      QVERIFY(!settings.cmbVideoSize->isEnabled() && !settings.cmbVideoEncoder->isEnabled());
      QCOMPARE(settings.cmbSamplerate->count(), 4);
      QTest::mouseClick(settings.btnCancel, Qt::LeftButton);
    };
    const std::string before = ReadFile(fixture.scratch.File("moskvid.ini"));
    QTest::mouseClick(window.btnSettings, Qt::LeftButton);
    QCOMPARE(fixture.services.execCount, 1);
    QVERIFY(!fixture.services.watchdogFired);
    // Default and a format change, then Cancel: nothing stored.
    QCOMPARE(ReadFile(fixture.scratch.File("moskvid.ini")), before);
    QCOMPARE(window.cbOutputFormat->currentIndex(), 5);
  }

  void OkStoresUnderTheDialogsFormatAndTheChoicesReachTheEncoder() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(0);
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "clip.mp4"))});
    TfrmMain& window = fixture.Window();
    fixture.services.onExec = [&](QDialog& dialog) {
      auto& settings = static_cast<TfrmSettings&>(dialog);
      settings.cbOutputFormat->setCurrentIndex(5);
      settings.cmbVideoSize->setCurrentText("480x272");
      settings.cmbSamplerate->setCurrentText("24000");
      settings.cmbChannel->setCurrentText("mono 1 channel");
      settings.cmbVolume->setCurrentText("150%");
      QTest::mouseClick(settings.btnOk, Qt::LeftButton);
    };
    window.Settings1->trigger();
    QCOMPARE(window.cbOutputFormat->currentIndex(), 5);
    QCOMPARE(fixture.settings->OutputFormat(), 5);
    const TIniFile ini(fixture.scratch.File("moskvid.ini"));
    QCOMPARE(Q(ini.ReadString("formatInfo5", "paraVideoSize", "")), QString("480x272"));
    QCOMPARE(Q(ini.ReadString("formatInfo5", "iSampleRate", "")), QString("1"));
    QCOMPARE(Q(ini.ReadString("formatInfo5", "paraChannel", "")), QString("1"));
    QCOMPARE(Q(ini.ReadString("formatInfo5", "paraVolume", "")), QString("384"));
    QCOMPARE(Q(ini.ReadString("formatInfo5", "paraAudioEncoder", "")), QString("libfaac"));
    QCOMPARE(Q(ini.ReadString("formatInfo5", "Description", "")),
             QString("PSP MPEG-4 Normal Quality(*.mp4)"));
    QVERIFY(!ini.ValueExists("formatInfo0", "paraVideoSize"));

    fixture.services.onExec = nullptr;
    window.btnStart->click();
    const std::string out = fixture.scratch.File("out") + "/clip_(new).mp4";
    const auto streams = ProbeStreams(out);
    QCOMPARE(streams.size(), size_t{2});
    QCOMPARE(Q(streams[0].at("width")), QString("480"));
    QCOMPARE(Q(streams[0].at("height")), QString("272"));
    QCOMPARE(Q(streams[1].at("sample_rate")), QString("24000"));
    QCOMPARE(Q(streams[1].at("channels")), QString("1"));
  }

  // Deinterlacing and the quality are offered for the formats with video
  // (on, and "Balanced", until changed); OK stores them for the dialog's
  // format, Default puts them back, the summary says what the quality costs.
  void DeinterlaceAndQualityAreChoicesOfTheVideoFormats() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);
    TfrmMain& window = fixture.Window();
    fixture.services.onExec = [&](QDialog& dialog) {
      auto& settings = static_cast<TfrmSettings&>(dialog);
      QCOMPARE(settings.ckDeinterlace->text(), QString("De&interlace"));
      QVERIFY(settings.ckDeinterlace->isChecked() && settings.ckDeinterlace->isEnabled());
      QCOMPARE(settings.cmbQuality->currentText(), QString("Balanced"));
      QVERIFY(settings.lblSummary->text().endsWith(QualityCostText(qlBalanced)));
      settings.cbOutputFormat->setCurrentIndex(9);  // MP3: nothing to deinterlace
      QVERIFY(settings.ckDeinterlace->isChecked() && !settings.ckDeinterlace->isEnabled());
      QVERIFY(!settings.cmbQuality->isEnabled());
      QVERIFY(!settings.lblSummary->text().contains("Balanced"));
      settings.cbOutputFormat->setCurrentIndex(5);
      settings.cmbQuality->setCurrentIndex(qlBest);
      QVERIFY(settings.lblSummary->text().endsWith(QualityCostText(qlBest)));
      // On the box itself: the row is wider than the box and its text.
      QTest::mouseClick(settings.ckDeinterlace, Qt::LeftButton, {},
                        QPoint(6, settings.ckDeinterlace->height() / 2));
      QVERIFY(!settings.ckDeinterlace->isChecked());
      QTest::mouseClick(settings.btnDefault, Qt::LeftButton);
      QVERIFY(settings.ckDeinterlace->isChecked());
      QCOMPARE(settings.cmbQuality->currentIndex(), int{qlBalanced});
      settings.ckDeinterlace->setChecked(false);
      settings.cmbQuality->setCurrentIndex(qlBest);
      QTest::mouseClick(settings.btnOk, Qt::LeftButton);
    };
    window.Settings1->trigger();
    const TIniFile ini(fixture.scratch.File("moskvid.ini"));
    QCOMPARE(Q(ini.ReadString("formatInfo5", "paraDeinterlace", "")), QString("False"));
    QCOMPARE(Q(ini.ReadString("formatInfo5", "paraQuality", "")), QString("best"));
    QVERIFY(!ini.ValueExists("formatInfo9", "paraDeinterlace"));
    QVERIFY(!ini.ValueExists("formatInfo9", "paraQuality"));

    // Shown as stored the next time; another format keeps its own.
    fixture.services.onExec = [&](QDialog& dialog) {
      auto& settings = static_cast<TfrmSettings&>(dialog);
      QVERIFY(!settings.ckDeinterlace->isChecked());
      QCOMPARE(settings.cmbQuality->currentText(), QString("Best"));
      settings.cbOutputFormat->setCurrentIndex(0);
      QVERIFY(settings.ckDeinterlace->isChecked() && settings.ckDeinterlace->isEnabled());
      QCOMPARE(settings.cmbQuality->currentText(), QString("Balanced"));
      QTest::mouseClick(settings.btnOk, Qt::LeftButton);
    };
    window.Settings1->trigger();
    QCOMPARE(fixture.services.execCount, 2);
    QCOMPARE(Q(ini.ReadString("formatInfo0", "paraDeinterlace", "")), QString("True"));
    QCOMPARE(Q(ini.ReadString("formatInfo5", "paraDeinterlace", "")), QString("False"));
  }

  void ABadVolumeKeepsTheDialogOpen() {
    WindowFixture fixture;
    const std::string profile = fixture.scratch.File("profile.ini");
    std::ofstream(profile) << "[formatInfo9]\nFileExt=mp3\nFormat=mp3\nVideoEncoder=null\n"
                              "SampleRate=22050\nAudioEncoder=MP3,AMR_NB\nVolume=loud%\n";
    TfrmMain& window = fixture.Window();
    window.Global().SetProfileFile(profile);
    window.cbOutputFormat->setCurrentIndex(9);
    bool stillOpen = false;
    fixture.services.onExec = [&](QDialog& dialog) {
      auto& settings = static_cast<TfrmSettings&>(dialog);
      // An encoder the libraries lack is shown, but cannot be chosen.
      auto* model = static_cast<QStandardItemModel*>(settings.cmbAudioEncoder->model());
      QVERIFY(model->item(0)->isEnabled());
      QVERIFY(!model->item(1)->isEnabled());
      QVERIFY(model->item(1)->toolTip().contains("libamr_nb"));
      QTest::mouseClick(settings.btnOk, Qt::LeftButton);
      stillOpen = settings.isVisible();
      settings.reject();
    };
    QTest::mouseClick(window.btnOptions, Qt::LeftButton);
    QVERIFY(stillOpen);
    QCOMPARE(fixture.services.messages.size(), size_t{1});
    QCOMPARE(fixture.services.messages[0].caption, QString("Moskvid"));
    QVERIFY(fixture.services.messages[0].text.contains("loud"));
    QVERIFY(fixture.services.messages[0].text.endsWith("."));
    const TIniFile ini(fixture.scratch.File("moskvid.ini"));
    QCOMPARE(Q(ini.ReadString("formatInfo9", "paraSampleRate", "")), QString("22050"));
    QVERIFY(!ini.ValueExists("formatInfo9", "paraAudioEncoder"));  // after the volume
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::SettingsWindowTest)

#include "settings_window_test.moc"
