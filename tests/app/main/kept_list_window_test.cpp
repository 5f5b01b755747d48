// The main window's kept file list after a session was killed mid-run: the
// list file is written here as such a session leaves it, with the parts its
// conversions left, instead of killing one.
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/settings/kept_list.h"
#include "app/window_test_support.h"
#include "engine/output_names.h"

namespace moskvid::test {

namespace fs = std::filesystem;

class KeptListWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // Two files converted and two converting when the session was killed,
  // their outputs beside the sources or in an output folder since changed:
  // the parts are named, and the converted entries come back unchecked so
  // that Start goes on with the other two.
  void KilledWithOutputsBesideTheSourcesOrInAFolderLeft() {
    for (const bool beside : {true, false}) {
      WindowFixture fixture;
      fixture.settings->SetOutputBesideSource(beside);
      fs::create_directories(fixture.scratch.File("videos"));
      fs::create_directories(fixture.scratch.File("out"));
      const std::string killedOutputs = fixture.scratch.File(beside ? "videos" : "old");
      fs::create_directories(killedOutputs);
      TKeptList killed;
      for (const char* name : {"a", "b", "c", "d"}) {
        TKeptEntry entry;
        entry.Record.SourceFile = fixture.Copy("audio.mp3", "videos/" + std::string(name) + ".mp3");
        entry.State = name[0] < 'c' ? "100%" : "Converting";
        if (name[0] >= 'c') entry.Output = killedOutputs + "/" + name + "_(new).mp4";
        killed.Entries.push_back(entry);
      }
      std::vector<std::string> parts = {PartFileName(killed.Entries[2].Output),
                                        PartFileName(killed.Entries[3].Output)};
      // Where outputs go now, as before.
      if (!beside) parts.push_back(fixture.scratch.File("out/e_(new).mp4.part"));
      for (const std::string& part : parts)
        std::ofstream(part) << "cut short";
      fs::create_directories(fixture.scratch.File("state/moskvid"));
      std::ofstream(fixture.scratch.File("state/moskvid/files.list")) << FormatKeptList(killed);

      TfrmMain& window = fixture.Window();
      QCOMPARE(window.lvFiles->Count(), 4);
      const QString log = window.mmoLog->toPlainText();
      QVERIFY(log.contains("did not close normally"));
      for (const std::string& part : parts)
        QVERIFY2(log.contains(Q(LeftoverPartText(part))), qPrintable(log));
      for (int i = 0; i < 4; ++i) {
        QCOMPARE(window.lvFiles->SubItem(i, fcProgress), QString(i < 2 ? "100%" : "Stopped"));
        QCOMPARE(window.lvFiles->Checked(i), i >= 2);
      }
    }
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::KeptListWindowTest)

#include "kept_list_window_test.moc"
