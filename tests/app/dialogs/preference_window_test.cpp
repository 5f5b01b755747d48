// The preferences dialog, the folder chooser and the main window's folder
// row, in real windows.
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/dialogs/directory.h"
#include "app/dialogs/win_preference.h"
#include "app/settings/simultaneous.h"
#include "app/window_test_support.h"

namespace moskvid::test {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// A click on a check box's square, where a user clicks.
void ClickBox(QCheckBox& box) {
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, box.height() / 2));
}

// Runs the chooser when it comes up: selects `folder` and presses Ok, or
// Cancel when `folder` is empty.
void AnswerChooser(QDialog& dialog, const QString& folder) {
  auto& chooser = static_cast<TfmDirectory&>(dialog);
  if (folder.isEmpty()) {
    QTest::mouseClick(chooser.btnCancel, Qt::LeftButton);
    return;
  }
  chooser.Select(folder);
  QVERIFY(chooser.btnOk->isEnabled());
  QTest::mouseClick(chooser.btnOk, Qt::LeftButton);
}

}  // namespace

class PreferenceWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheStoredSettingsAndKeepsOneOfEachPair() {
    WindowFixture fixture;
    fixture.settings->SetSnapshotOptions(false, true, 55, true, true);
    TfrmMain& window = fixture.Window();
    fixture.services.onExec = [&](QDialog& dialog) {
      auto& preference = static_cast<TfrmPreference&>(dialog);
      QCOMPARE(preference.windowTitle(), QString("Preference"));
      QCOMPARE(preference.size(), QSize(480, 390));
      QCOMPARE(preference.edtSnapDirectory->text(), Q(fixture.scratch.File("snaps")));
      QVERIFY(!preference.ckBmp->isChecked());  // as stored
      QVERIFY(preference.ckJpg->isChecked() && preference.spedCmp->isEnabled());
      QCOMPARE(preference.spedCmp->value(), 55);
      QCOMPARE(preference.trcCmp->value(), 55);
      QVERIFY(preference.spedCmp->toolTip().contains("snapshot jpeg image. Higher compression \n"));
      QCOMPARE(preference.rdGrpPriority->checkedId(), 1);
      QCOMPARE(preference.cbSimultaneous->currentText(), QString("1"));
      QCOMPARE(preference.cbSimultaneous->count(), 9);
      // JPG cannot be cleared while BMP is clear.
      ClickBox(*preference.ckJpg);
      QVERIFY(preference.ckJpg->isChecked());
      ClickBox(*preference.ckBmp);
      ClickBox(*preference.ckJpg);
      QVERIFY(!preference.ckJpg->isChecked());
      QVERIFY(!preference.spedCmp->isEnabled() && !preference.trcCmp->isEnabled());
      // Both sizes cannot be cleared: the second click checks the box again.
      ClickBox(*preference.ckFullSize);
      ClickBox(*preference.ckSmallSize);
      QVERIFY(!preference.ckFullSize->isChecked() && preference.ckSmallSize->isChecked());
      preference.trcCmp->setValue(70);
      QCOMPARE(preference.spedCmp->value(), 70);
      preference.spedCmp->stepDown();
      QCOMPARE(preference.trcCmp->value(), 69);
      preference.rdGrpPriority->button(3)->click();
      preference.cbSimultaneous->setCurrentText("Auto");
      QTest::mouseClick(preference.btnOk, Qt::LeftButton);
    };
    window.Options1->trigger();
    QCOMPARE(ReadSimultaneous(fixture.settings->Ini()), kSimultaneousAuto);
    QCOMPARE(fixture.services.execCount, 1);
    QVERIFY(fixture.settings->SnapBmp() && !fixture.settings->SnapJpg());
    QVERIFY(!fixture.settings->SnapFullSize() && fixture.settings->SnapSmallSize());
    QCOMPARE(fixture.settings->JpgQuality(), 69);
    QCOMPARE(fixture.settings->Priority(), 3);
  }

  void DefaultThenCancelOrOk() {
    WindowFixture fixture;
    TfrmMain& window = fixture.Window();
    const std::string before = ReadFile(fixture.scratch.File("moskvid.ini"));
    fixture.services.onExec = [](QDialog& dialog) {
      auto& preference = static_cast<TfrmPreference&>(dialog);
      QTest::mouseClick(preference.btnDefault, Qt::LeftButton);
      QCOMPARE(preference.spedCmp->value(), 20);
      QTest::mouseClick(preference.btnCancel, Qt::LeftButton);
    };
    window.Options1->trigger();
    QCOMPARE(ReadFile(fixture.scratch.File("moskvid.ini")), before);
    fixture.services.onExec = [](QDialog& dialog) {
      auto& preference = static_cast<TfrmPreference&>(dialog);
      QTest::mouseClick(preference.btnDefault, Qt::LeftButton);
      QTest::mouseClick(preference.btnOk, Qt::LeftButton);
    };
    window.Options1->trigger();
    const TIniFile ini(fixture.scratch.File("moskvid.ini"));
    QCOMPARE(ini.ReadInteger("settings", "jpgCmp", 0), 20);
    QCOMPARE(ini.ReadInteger("settings", "snapJpg", -1), 0);
    QCOMPARE(ini.ReadInteger("settings", "snapSmallSize", -1), 0);
    QCOMPARE(Q(ini.ReadString("settings", "snapOutPutDir", "")), Q(DefaultOutputFolder()));
  }

  void BrowsStoresAtOnceAndTheSameFolderWritesNothing() {
    WindowFixture fixture;
    const std::string other = fixture.scratch.File("other");
    std::filesystem::create_directories(other);
    std::filesystem::create_directories(fixture.scratch.File("snaps"));
    TfrmMain& window = fixture.Window();
    QString answer = Q(other);
    fixture.services.onExec = [&](QDialog& dialog) {
      if (dialog.objectName() == "fmDirectory") {
        AnswerChooser(dialog, answer);
        return;
      }
      auto& preference = static_cast<TfrmPreference&>(dialog);
      QTest::mouseClick(preference.btnBrows, Qt::LeftButton);
      QCOMPARE(preference.edtSnapDirectory->text(), Q(other));
      // Stored before OK: Cancel keeps it.
      QCOMPARE(Q(fixture.settings->SnapshotFolder()), Q(other));
      QTest::mouseClick(preference.btnCancel, Qt::LeftButton);
    };
    window.Options1->trigger();
    QCOMPARE(Q(fixture.settings->SnapshotFolder()), Q(other));

    // The main window's row: the same folder writes nothing, another is stored.
    const std::string before = ReadFile(fixture.scratch.File("moskvid.ini"));
    std::filesystem::create_directories(fixture.scratch.File("out"));
    answer = Q(fixture.scratch.File("out"));
    QTest::mouseClick(window.btnBrows, Qt::LeftButton);
    QCOMPARE(ReadFile(fixture.scratch.File("moskvid.ini")), before);
    answer = Q(other);
    QTest::mouseClick(window.btnBrows, Qt::LeftButton);
    QCOMPARE(window.edDirectory->text(), Q(other));
    QCOMPARE(Q(fixture.settings->OutputFolder()), Q(other));
    // Cancel leaves it.
    answer.clear();
    QTest::mouseClick(window.btnBrows, Qt::LeftButton);
    QCOMPARE(Q(fixture.settings->OutputFolder()), Q(other));
    QTest::mouseClick(window.btnOpen, Qt::LeftButton);
    QCOMPARE(fixture.services.openedUrls.back().toLocalFile(), Q(other));
  }

  void TheChooserRefusesOpticalDiscsAndMissingFolders() {
    WindowFixture fixture;
    const std::string disc = fixture.scratch.File("disc");
    std::filesystem::create_directories(disc + "/films");
    TfrmMain& window = fixture.Window();
    TfmDirectory& chooser = window.FolderChooser();
    chooser.SetMountTable([disc] {
      return "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n40 22 11:0 / " + disc +
             " ro - iso9660 /dev/sr0 ro\n";
    });
    const std::string before = ReadFile(fixture.scratch.File("moskvid.ini"));
    bool stayedOpen = false;
    fixture.services.onExec = [&](QDialog& dialog) {
      auto& shown = static_cast<TfmDirectory&>(dialog);
      QCOMPARE(shown.windowTitle(), QString("Brows"));
      QCOMPARE(shown.size(), QSize(322, 351));
      QCOMPARE(shown.Selected(), QDir::homePath());  // home first
      shown.Select(Q(fixture.scratch.File("missing")));
      QVERIFY(!shown.btnOk->isEnabled());
      shown.Select(Q(disc + "/films"));
      QVERIFY(shown.btnOk->isEnabled());
      QTest::mouseClick(shown.btnOk, Qt::LeftButton);
      stayedOpen = shown.isVisible();
      QVERIFY(shown.Chosen().isEmpty());
      QTest::mouseClick(shown.btnCancel, Qt::LeftButton);
    };
    QTest::mouseClick(window.btnBrows, Qt::LeftButton);
    QVERIFY(stayedOpen);
    QCOMPARE(fixture.services.messages.size(), size_t{1});
    QCOMPARE(fixture.services.messages[0].caption, QString("Moskvid"));
    QCOMPARE(fixture.services.messages[0].icon, QMessageBox::Information);
    QCOMPARE(fixture.services.messages[0].text,
             QString("Output folder cannot be located in CD-ROM.Please select another folder."));
    QCOMPARE(ReadFile(fixture.scratch.File("moskvid.ini")), before);
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::PreferenceWindowTest)

#include "preference_window_test.moc"
