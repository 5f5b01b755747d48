// The file information and watermark windows, opened from the main window.
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/dialogs/win_file_info.h"
#include "app/dialogs/win_water_mark.h"
#include "app/settings/kept_list.h"
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

  // A file made by the ffmpeg tool from its generated sources.
  static std::string Make(WindowFixture& fixture, const std::string& name,
                          const std::string& arguments) {
    const std::string file = fixture.scratch.File(name);
    RunCommand("ffmpeg -v error -nostdin -y " + arguments + " " + Quote(file));
    return file;
  }

  // Two sound tracks: the first English MP3 mono at 22.05 kHz, the second
  // French AAC stereo at 48 kHz and marked as the one to play.
  static std::string TwoTracks(WindowFixture& fixture) {
    const std::string file =
        Make(fixture, "two.mkv",
             "-f lavfi -i testsrc=size=320x240:rate=25:duration=1"
             " -f lavfi -i sine=frequency=1000:sample_rate=22050:duration=1"
             " -f lavfi -i sine=frequency=500:sample_rate=48000:duration=1"
             " -map 0:v -map 1:a -map 2:a -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
             " -c:a:0 libmp3lame -ac:a:0 1 -c:a:1 aac -ac:a:1 2 -metadata:s:a:0 language=eng"
             " -metadata:s:a:1 language=fra -disposition:a:1 default -disposition:a:0 0");
    const auto streams = ProbeStreams(file);
    if (streams.size() != 3 || streams[1].at("disposition.default") != "0" ||
        streams[2].at("disposition.default") != "1" || streams[1].at("sample_rate") != "22050")
      qFatal("the two-track clip is not as asked");
    return file;
  }

  // The Sound Track menu's entries as the popup shows them for `position`.
  static QStringList SoundTrackEntries(TfrmMain& window, int position) {
    window.lvFiles->Select(position);
    emit window.pmFiles->aboutToShow();
    QStringList entries;
    for (QAction* action : window.mnuSoundTrack->actions()) {
      if (action->isSeparator()) continue;
      entries << action->text() + (action->isChecked() ? " *" : "");
    }
    return entries;
  }

  static std::string KeptListText(WindowFixture& fixture) {
    std::ifstream in(fixture.scratch.File("state/moskvid/files.list"));
    return std::string((std::istreambuf_iterator<char>(in)), {});
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

  // The sample aspect as the file has it, the shape a player shows, and a
  // turn only when there is one.
  void ShowsThePicturesShapeAndTurn() {
    WindowFixture fixture;
    const std::string wide =
        Make(fixture, "wide.mp4",
             "-f lavfi -i testsrc=size=720x480:rate=25:duration=1"
             " -vf setsar=32/27 -c:v libx264 -preset ultrafast -pix_fmt yuv420p");
    const std::string turned = fixture.scratch.File("turned.mp4");
    std::filesystem::copy_file(wide, turned);
    const std::string script =
        (std::filesystem::path(__FILE__).parent_path() / "../../support/rotate_mp4.py").string();
    RunCommand("python3 " + Quote(script) + " " + Quote(turned) + " 90");
    QCOMPARE(Q(ProbeStreams(wide)[0].at("sample_aspect_ratio")), QString("32:27"));
    QCOMPARE(Q(ProbeStreams(wide)[0].at("display_aspect_ratio")), QString("16:9"));
    QCOMPARE(Q(ProbeStreams(turned)[0].at("side_data_list.side_data.0.rotation")), QString("-90"));
    fixture.Add({Q(wide), Q(turned)});
    const struct {
      int position;
      const char* shown;
      const char* rotation;
    } cases[] = {{0, "16:9", ""}, {1, "9:16", "90° clockwise"}};
    for (const auto& c : cases) {
      Inspect(fixture, c.position, [&](TfrmFileInfo& info) {
        info.tabInfo->setCurrentIndex(1);
        QCOMPARE(info.edtResloution->text(), QString("720x480"));  // as stored
        QCOMPARE(info.edtSampleAspect->text(), QString("32:27"));
        QCOMPARE(info.edtDisplayAspect->text(), QString(c.shown));
        QCOMPARE(info.edtRotation->text(), QString(c.rotation));
        QCOMPARE(info.edtRotation->isVisibleTo(&info), *c.rotation != 0);
        QCOMPARE(info.size(), QSize(420, 460));
      });
    }
    QCOMPARE(fixture.services.execCount, 2);
  }

  // The popup's Sound Track menu chooses the entry's track; the list file
  // keeps it, and Video Infomation marks it and describes its sound.
  void TheChosenSoundTrackIsKeptAndDescribed() {
    WindowFixture fixture;
    fixture.Add({Q(TwoTracks(fixture)), Q(fixture.Copy("h264_aac.mp4", "one.mp4"))});
    TfrmMain& window = fixture.Window();
    QCOMPARE(window.mnuSoundTrack->title(), QString("S&ound Track"));
    SoundTrackEntries(window, 1);
    QVERIFY(!window.mnuSoundTrack->menuAction()->isEnabled());  // one track: no choice
    QCOMPARE(SoundTrackEntries(window, 0),
             QStringList({"&Automatic *", "Track &1: eng, mp3, 1 channel",
                          "Track &2: fra, aac, 2 channels (default)"}));
    QVERIFY(window.mnuSoundTrack->menuAction()->isEnabled());

    const struct {
      const char* action;
      int track;
      const char* kept;  // in the list file
      int converted;     // the row marked
      const char* format;
      const char* rate;
      const char* channels;
    } cases[] = {
        {"SoundTrack1", 1, "track=1\n", 0, "mp3", "22050", "1"},
        {"SoundTrack2", 2, "track=2\n", 1, "aac", "48000", "2"},
        {"SoundTrack0", 0, "", 1, "aac", "48000", "2"},  // the default track
    };
    for (const auto& c : cases) {
      SoundTrackEntries(window, 0);
      window.mnuSoundTrack->findChild<QAction*>(c.action)->trigger();
      QCOMPARE(window.lvFiles->Entry(0)->Record.AudioTrack, c.track);
      QVERIFY(SoundTrackEntries(window, 0)[c.track].endsWith(" *"));
      if (*c.kept) {
        QTRY_VERIFY(KeptListText(fixture).find(c.kept) != std::string::npos);
      } else {
        QTRY_VERIFY(KeptListText(fixture).find("track=") == std::string::npos);
      }
      Inspect(fixture, 0, [&](TfrmFileInfo& info) {
        QCOMPARE(info.lstTracks->count(), 2);
        for (int row = 0; row < 2; ++row) {
          QCOMPARE(info.lstTracks->item(row)->text().endsWith("  [converted]"), row == c.converted);
        }
        QVERIFY(
            info.lstTracks->item(1)->text().startsWith("Track 2: fra, aac, 2 channels (default)"));
        QCOMPARE(info.edtAudioForamt->text().left(3), QString(c.format));
        QCOMPARE(info.edtSampleRate->text(), QString(c.rate));
        QCOMPARE(info.edtChannel->text(), QString(c.channels));
        QCOMPARE(info.edtResloution->text(), QString("320x240"));
      });
    }
  }

  // An entry brought back from the list file has its choice, and the menu
  // reads the tracks from the file's header.
  void AKeptChoiceComesBack() {
    WindowFixture fixture;
    TKeptList kept;  // as a session that was killed left it
    kept.Entries.emplace_back();
    kept.Entries[0].Record.SourceFile = TwoTracks(fixture);
    kept.Entries[0].Record.AudioTrack = 1;
    std::filesystem::create_directories(fixture.scratch.File("state/moskvid"));
    std::ofstream(fixture.scratch.File("state/moskvid/files.list")) << FormatKeptList(kept);
    TfrmMain& window = fixture.Window();
    QCOMPARE(window.lvFiles->Count(), 1);
    QCOMPARE(window.lvFiles->Entry(0)->Record.AudioTrack, 1);
    QVERIFY(!window.lvFiles->Entry(0)->AudioTracks);
    QCOMPARE(SoundTrackEntries(window, 0),
             QStringList({"&Automatic", "Track &1: eng, mp3, 1 channel *",
                          "Track &2: fra, aac, 2 channels (default)"}));
    QVERIFY(window.mnuSoundTrack->menuAction()->isEnabled());
  }

  // The tags a file carries, also a sound file's; none for a file without.
  void ShowsTheTags() {
    WindowFixture fixture;
    const std::string song = Make(fixture, "song.mp3",
                                  "-f lavfi -i sine=frequency=1000:duration=1 -ac 2 -c:a libmp3lame"
                                  " -metadata title=Song -metadata artist=Singer"
                                  " -metadata album_artist=Band -metadata album=Album"
                                  " -metadata track=3/12 -metadata disc=1/2 -metadata date=2019"
                                  " -metadata genre=Jazz -metadata composer=Composer"
                                  " -metadata comment=Nice");
    QCOMPARE(Q(ProbeFormat(song).at("tags.track")), QString("3/12"));
    fixture.Add({Q(song), Q(fixture.Copy("h264_aac.mp4", "plain.mp4"))});
    Inspect(fixture, 0, [](TfrmFileInfo& info) {
      info.tabInfo->setCurrentIndex(3);
      const QStringList expected = {"Song", "Singer", "Band", "Album",    "3/12",
                                    "1/2",  "2019",   "Jazz", "Composer", "Nice"};
      for (int i = 0; i < TfrmFileInfo::kTagCount; ++i) {
        QCOMPARE(info.TagFields[static_cast<size_t>(i)]->text(), expected[i]);
        QVERIFY(info.TagFields[static_cast<size_t>(i)]->isVisibleTo(&info));
      }
      QVERIFY(!info.lblNoTags->isVisibleTo(&info));
      QCOMPARE(info.lstTracks->count(), 1);
      QCOMPARE(info.lstTracks->item(0)->text(), QString("Track 1: mp3, 2 channels  [converted]"));
      QVERIFY(info.edtResloution->text().isEmpty());  // the figures stay a film's
    });
    Inspect(fixture, 1, [](TfrmFileInfo& info) {
      for (QLineEdit* field : info.TagFields) {
        QVERIFY(field->text().isEmpty());
        QVERIFY(!field->isVisibleTo(&info));
      }
      QVERIFY(info.lblNoTags->isVisibleTo(&info));
      QCOMPARE(info.lstTracks->count(), 1);
    });
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
