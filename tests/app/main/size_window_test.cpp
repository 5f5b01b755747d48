// The size before Start in the main window: the Size column and the checked
// total as the format, trims and checks change, and the question Start asks
// when the outputs overfill their disk.
#include <QHeaderView>
#include <QTest>
#include <filesystem>

#include "app/window_test_support.h"

namespace moskvid::test {

class SizeWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void SizeColumnAndCheckedTotal() {
    WindowFixture fixture;
    // (768 + 128) kbit/s over 3 s is 336,000 bytes, and MP4's 1.5%.
    fixture.StoreChoice(5, "paraVideoBitRate", "768");
    fixture.StoreChoice(5, "paraAudioBitRate", "128");
    fixture.StoreChoice(9, "paraAudioBitRate", "128");
    fixture.settings->SetOutputFormat(5);
    fixture.Add(fixture.Copies("h264_aac.mp4", {"a.mp4", "b.mp4"}));
    TfrmMain& window = fixture.Window();
    TFilesListView& list = *window.lvFiles;
    QCOMPARE(list.headerItem()->text(fcSize), QString("Size"));
    QCOMPARE(list.SubItem(0, fcSize), QString("341 KB"));
    QCOMPARE(list.SubItem(1, fcSize), QString("341 KB"));
    QCOMPARE(window.lblChecked->text(), QString("Checked: 2 files, about 682 KB"));
    // The widest size the column shows whole.
    QVERIFY(list.header()->sectionSize(fcSize) >=
            list.fontMetrics().horizontalAdvance("999.9 MB") + 6);

    // A trim to 2 s, an unchecked entry, then sound only at 128 kbit/s.
    list.Entry(1)->Record.TrimLength = 2000;
    list.SetSubItem(1, fcTrimmedLength, "2");
    QTRY_COMPARE(list.SubItem(1, fcSize), QString("227 KB"));
    QCOMPARE(window.lblChecked->text(), QString("Checked: 2 files, about 568 KB"));
    list.SetChecked(0, false);
    QTRY_COMPARE(window.lblChecked->text(), QString("Checked: 1 file, about 227 KB"));
    window.cbOutputFormat->setCurrentIndex(9);
    QCOMPARE(list.SubItem(0, fcSize), QString("48 KB"));
    QCOMPARE(list.SubItem(1, fcSize), QString("32 KB"));
    QCOMPARE(window.lblChecked->text(), QString("Checked: 1 file, about 32 KB"));
    window.btnClear->click();
    QCOMPARE(window.lblChecked->text(), QString());
  }

  void StartAsksWhenTheDiskIsTooSmall() {
    WindowFixture fixture;
    fixture.StoreChoice(9, "paraAudioBitRate", "128");
    fixture.Add(fixture.Copies("audio.mp3", {"a.mp3", "b.mp3"}));
    TfrmMain& window = fixture.Window();
    const std::string out = fixture.scratch.File("out");
    std::filesystem::create_directories(out);
    fixture.services.disks = std::map<std::string, TFreeSpace>{{out + "/", {7, 50000}}};
    for (const bool answer : {false, true}) {
      fixture.services.answer = answer;
      window.btnStart->click();  // returns when the run is over
      QCOMPARE(fixture.services.questions.size(), size_t{answer ? 2u : 1u});
      QCOMPARE(fixture.services.questions.back().text,
               Q("The outputs may not fit on the disk:\n\n" + out +
                 ": about 96 KB to write, 50 KB free\n\nConvert anyway?"));
      QCOMPARE(fixture.services.execCount, answer ? 1 : 0);
      QCOMPARE(std::filesystem::exists(out + "/a_(new).mp3"), answer);
    }
    QVERIFY(fixture.services.messages.empty());

    // Beside the sources, their own disk counts.
    window.ckSameFolder->click();
    fixture.services.answer = false;
    const std::string sources = std::filesystem::path(fixture.scratch.File("a.mp3")).parent_path();
    fixture.services.disks = std::map<std::string, TFreeSpace>{{sources + "/", {8, 1000}}};
    window.btnStart->click();
    QCOMPARE(fixture.services.questions.back().text,
             Q("The outputs may not fit on the disk:\n\n" + sources +
               ": about 96 KB to write, 1 KB free\n\nConvert anyway?"));
    QCOMPARE(fixture.services.execCount, 1);
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::SizeWindowTest)
#include "size_window_test.moc"
