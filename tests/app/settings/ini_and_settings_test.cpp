// The ini file rules, writing a file whole, the stored settings with their
// defaults, the global object's setters, EnsureFolder and the format tables.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/settings/app_settings.h"
#include "app/settings/global_object.h"
#include "app/settings/ini_file.h"
#include "app/settings/output_formats.h"
#include "app/settings/whole_file.h"
#include "app/settings/window_placement.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

std::string ReadAll(const std::string& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  return names;
}

// `write`'s result in a child whose files cannot grow past 16 bytes, as on a
// full disk.
bool WriteOnAFullDisk(const std::function<bool()>& write) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    const rlimit limit{16, 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(write() ? 0 : 1);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class RecordingWarnings : public TWarningSink {
 public:
  void Warning(const std::string& text) override { warnings.push_back(text); }
  std::vector<std::string> warnings;
};

TEST(IniFileTest, NamesIgnoreCaseValuesAreTakenAsWritten) {
  ScratchDir dir;
  const std::string path = dir.File("a.ini");
  {
    std::ofstream(path) << "; a comment\n[Settings]\nOutPutDir = /x=y \nnumber=12\nbad=12a\n"
                           "odd line without equals\n\n[Other]\nnumber=5\n";
  }
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("settings", "outputdir", "none"), " /x=y ");
  EXPECT_EQ(ini.ReadInteger("SETTINGS", "Number", 0), 12);
  EXPECT_EQ(ini.ReadInteger("settings", "bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("settings", "missing", 3), 3);
  EXPECT_EQ(ini.ReadInteger("other", "number", 0), 5);
  EXPECT_FALSE(ini.ValueExists("missing", "number"));

  // A write keeps the key's spelling, the comments and the unknown lines.
  ASSERT_TRUE(ini.WriteString("settings", "NUMBER", "13"));
  ASSERT_TRUE(ini.WriteString("other", "new", "v"));
  ASSERT_TRUE(ini.WriteString("third", "k", "1"));
  const std::string text = ReadAll(path);
  EXPECT_NE(text.find("; a comment\n"), std::string::npos);
  EXPECT_NE(text.find("number=13\n"), std::string::npos);
  EXPECT_NE(text.find("odd line without equals\n"), std::string::npos);
  EXPECT_NE(text.find("[Other]\nnumber=5\nnew=v\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[third]\nk=1\n"), std::string::npos);
  EXPECT_EQ(ini.ReadInteger("Settings", "number", 0), 13);
}

// Found by ini_fuzzer: a value that ends in a carriage return (its line ends
// in two) lost it when another key was written.
TEST(IniFileTest, AWriteKeepsTheValuesOfOtherLinesExactly) {
  ScratchDir dir;
  const std::string path = dir.File("cr.ini");
  std::ofstream(path) << "[s]\r\nkept=4 \r\r\nplain=5\r\n";
  TIniFile ini(path);
  ASSERT_EQ(ini.ReadString("s", "kept", ""), "4 \r");
  ASSERT_TRUE(ini.WriteString("s", "new", "1"));
  ASSERT_TRUE(ini.WriteValues("s", {{"plain", "6"}, {"other", "2"}}));
  EXPECT_EQ(ini.ReadString("s", "kept", ""), "4 \r");
  EXPECT_EQ(ini.ReadString("s", "plain", ""), "6");
  EXPECT_EQ(ini.ReadString("s", "new", ""), "1");
  EXPECT_EQ(ini.ReadString("s", "other", ""), "2");
}

TEST(IniFileTest, AWriteTheDiskDoesNotTakeLeavesTheOldFileWhole) {
  ScratchDir dir;
  const std::string path = dir.File("moskvid.ini");
  const std::string old =
      "[settings]\r\nOutPutDir=/videos/out\r\nOutputFormat=3\r\nKeepList=1\r\n"
      "[formatInfo3]\r\nparaVideoEncoder=libx264\r\n";
  std::ofstream(path) << old;
  TWindowPlacement placement;
  placement.Window = {10, 20, 800, 600};
  const struct {
    const char* name;
    std::function<bool(TIniFile&)> write;
    bool written;
  } cases[] = {
      {"one key", [](TIniFile& ini) { return ini.WriteInteger("settings", "WindowLeft", 5); },
       false},
      {"the placement", [&](TIniFile& ini) { return WriteWindowPlacement(ini, placement); }, false},
      // Nothing to write: it stands, full disk or not.
      {"a value that stands",
       [](TIniFile& ini) {
         return ini.WriteValues("SETTINGS", {{"outputformat", "3"}});
       },
       true},
  };
  for (const auto& c : cases) {
    TIniFile ini(path);
    EXPECT_EQ(WriteOnAFullDisk([&] { return c.write(ini); }), c.written) << c.name;
    EXPECT_EQ(ReadAll(path), old) << c.name;
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"moskvid.ini"}) << c.name;
  }
}

TEST(IniFileTest, AWriteKeepsTheFileWhereAndAsTheUserHasIt) {
  ScratchDir dir;
  const std::string real = dir.File("real.ini");
  const std::string link = dir.File("moskvid.ini");
  std::ofstream(real) << "[Settings]\nwindowleft=1\nOther=x\n\n[formatInfo0]\nk=v\n";
  ::chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, link);
  TIniFile ini(link);
  // One rewrite: a key keeps its spelling, new keys join the section, the
  // later of two values stands.
  ASSERT_TRUE(
      ini.WriteValues("settings", {{"WindowLeft", "7"}, {"WindowTop", "8"}, {"windowtop", "9"}}));
  EXPECT_EQ(ReadAll(real),
            "[Settings]\nwindowleft=7\nOther=x\nWindowTop=9\n\n[formatInfo0]\nk=v\n");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  struct stat status {};
  ASSERT_EQ(::stat(real.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);

  // New files: the settings as the user's files are, the kept list private.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  ASSERT_TRUE(TIniFile(dir.File("new.ini")).WriteInteger("s", "k", 1));
  ASSERT_EQ(::stat(dir.File("new.ini").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0666u & ~mask);
  std::string reason;
  ASSERT_TRUE(WriteFileWhole(dir.File("files.list"), "x", reason)) << reason;
  ASSERT_EQ(::stat(dir.File("files.list").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
}

// Two writers of one file at once never share a temporary file: each write
// succeeds and the file is always one of the texts whole.
TEST(IniFileTest, WritersAtOnceEachWriteWhole) {
  ScratchDir dir;
  const std::string path = dir.File("files.list");
  const std::string texts[] = {std::string(5000, 'a'), std::string(300, 'b')};
  std::vector<std::string> faults[2];
  const auto writer = [&](int which) {
    for (int i = 0; i < 100; ++i) {
      std::string reason;
      if (!WriteFileWhole(path, texts[which], reason)) faults[which].push_back(reason);
      const std::string now = ReadAll(path);
      if (now != texts[0] && now != texts[1]) faults[which].push_back(std::to_string(now.size()));
    }
  };
  std::thread other(writer, 1);
  writer(0);
  other.join();
  EXPECT_TRUE(faults[0].empty() && faults[1].empty())
      << testing::PrintToString(faults[0]) << testing::PrintToString(faults[1]);
  EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"files.list"});
}

TEST(IniFileTest, AFailedWriteIsReportedOnceUntilAWriteSucceeds) {
  ScratchDir dir;
  std::vector<std::string> reports;
  SetIniWriteFailureHandler([&](const std::string& file, const std::string& reason) {
    reports.push_back(file + ": " + reason);
  });
  const std::string folder = dir.File("folder");
  const std::string path = folder + "/moskvid.ini";
  const std::string other = folder + "/other.ini";
  TIniFile ini(path);
  const auto fail = [&](const std::string& why) {
    std::filesystem::remove_all(folder);
    if (why == "plain") std::ofstream(folder) << "a file, not a folder";
    if (why == "folder") std::filesystem::create_directories(path);
    EXPECT_FALSE(ini.WriteInteger("settings", "WindowLeft", 1)) << why;
    EXPECT_FALSE(ini.WriteValues("settings", {{"WindowTop", "2"}, {"WindowWidth", "3"}})) << why;
  };
  fail("plain");
  fail("plain");
  EXPECT_FALSE(TIniFile(other).WriteString("settings", "k", "v"));  // each file for itself
  fail("folder");
  fail("folder");
  std::filesystem::remove_all(folder);
  EXPECT_TRUE(ini.WriteInteger("settings", "WindowLeft", 1));
  fail("plain");
  SetIniWriteFailureHandler(nullptr);
  fail("plain");
  EXPECT_EQ(reports,
            (std::vector<std::string>{path + ": Not a directory", other + ": Not a directory",
                                      path + ": Is a directory", path + ": Not a directory"}));
}

TEST(IniFileTest, MissingFileReadsDefaultsAndTheFirstWriteCreatesIt) {
  ScratchDir dir;
  TIniFile ini(dir.File("sub/new.ini"));
  EXPECT_EQ(ini.ReadString("s", "k", "default"), "default");
  EXPECT_TRUE(ini.WriteInteger("s", "k", 4));
  EXPECT_EQ(ini.ReadInteger("s", "k", 0), 4);
}

TEST(AppSettingsTest, DefaultsWithoutAConfigurationFile) {
  ScratchDir dir;
  TAppSettings settings(dir.File("moskvid.ini"));
  EXPECT_EQ(settings.OutputFolder(), DefaultOutputFolder());
  EXPECT_EQ(settings.OutputFormat(), 0);
  EXPECT_EQ(settings.SkinIndex(), 0);
  EXPECT_EQ(SkinName(settings.SkinIndex()), std::string("Default"));
  EXPECT_EQ(settings.Priority(), 1);
  EXPECT_TRUE(settings.SnapBmp());
  EXPECT_TRUE(settings.SnapJpg());
  EXPECT_TRUE(settings.SnapFullSize());
  EXPECT_TRUE(settings.SnapSmallSize());
  EXPECT_EQ(settings.JpgQuality(), 30);
  EXPECT_EQ(settings.SnapshotFolder(), DefaultOutputFolder());
}

TEST(AppSettingsTest, DifferentlySpelledKeysReachTheSameEntry) {
  ScratchDir dir;
  TAppSettings settings(dir.File("moskvid.ini"));
  settings.SetSnapshotFolder("/snaps");
  settings.SetPriority(3);
  EXPECT_EQ(settings.Ini().ReadString("settings", "SnapOutPutDir", ""), "/snaps");
  EXPECT_EQ(settings.SnapshotFolder(), "/snaps");
  EXPECT_EQ(settings.Priority(), 3);
  EXPECT_NE(ReadAll(dir.File("moskvid.ini")).find("priority=3"), std::string::npos);
}

TEST(EnsureFolderTest, ExistingNewAndImpossibleFolders) {
  ScratchDir dir;
  ::setenv("HOME", dir.Path().c_str(), 1);
  TIniFile config(dir.File("moskvid.ini"));
  RecordingWarnings warnings;
  EXPECT_EQ(EnsureFolder(dir.Path(), "OutPutDir", config, warnings), dir.Path() + "/");
  const std::string nested = dir.File("a/b/c");
  EXPECT_EQ(EnsureFolder(nested, "OutPutDir", config, warnings), nested + "/");
  EXPECT_TRUE(std::filesystem::is_directory(nested));
  EXPECT_TRUE(warnings.warnings.empty());

  // Under a plain file nothing can be made: the default folder is used and stored.
  { std::ofstream(dir.File("plain")) << "x"; }
  const std::string impossible = dir.File("plain/sub");
  EXPECT_EQ(EnsureFolder(impossible, "OutPutDir", config, warnings), dir.Path() + "/moskvid/");
  ASSERT_EQ(warnings.warnings.size(), 1u);
  EXPECT_EQ(warnings.warnings[0], "Cannot create output directory:" + impossible +
                                      ".It will create default directory " + dir.Path() +
                                      "/moskvid!");
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("moskvid")));
  EXPECT_EQ(config.ReadString("settings", "OutPutDir", ""), dir.Path() + "/moskvid");
}

TEST(WindowPlacementTest, KeptAndPutBackOnTheScreen) {
  ScratchDir dir;
  TIniFile config(dir.File("moskvid.ini"));
  EXPECT_EQ(ReadWindowPlacement(config).Window.Width, 0);  // nothing kept yet
  TWindowPlacement placement;
  placement.Window = {-30, 40, 1200, 900};
  placement.Maximized = true;
  placement.Splitter = {700, 480};
  placement.Columns = {300, 70, 90, 200, 60};
  WriteWindowPlacement(config, placement);
  EXPECT_EQ(config.ReadString("settings", "SplitterSizes", ""), "700,480");
  const TWindowPlacement read = ReadWindowPlacement(config);
  EXPECT_EQ(read.Window, placement.Window);
  EXPECT_TRUE(read.Maximized);
  EXPECT_EQ(read.Splitter, placement.Splitter);
  EXPECT_EQ(read.Columns, placement.Columns);
  config.WriteString("settings", "ColumnWidths", "300,wide,90");
  EXPECT_TRUE(ReadWindowPlacement(config).Columns.empty());

  const TPlace screen{0, 0, 1600, 1200};
  // On the screen it keeps its place; a part off it is moved back on.
  EXPECT_EQ(PlaceOnScreen({100, 50, 1200, 900}, screen, 786, 534), (TPlace{100, 50, 1200, 900}));
  EXPECT_EQ(PlaceOnScreen({-30, 900, 1200, 900}, screen, 786, 534), (TPlace{0, 300, 1200, 900}));
  // Never below the designed size, never beyond the screen.
  EXPECT_EQ(PlaceOnScreen({10, 10, 300, 200}, screen, 786, 534), (TPlace{10, 10, 786, 534}));
  EXPECT_EQ(PlaceOnScreen({0, 0, 3000, 2000}, screen, 786, 534), (TPlace{0, 0, 1600, 1200}));
  // Nothing kept: the designed size, centred.
  EXPECT_EQ(PlaceOnScreen({}, screen, 786, 534), (TPlace{407, 333, 786, 534}));
}

TEST(GlobalObjectTest, SettersKeepTheirRules) {
  TGlobalObject global;
  EXPECT_EQ(global.AppTitle(), "Moskvid");
  EXPECT_EQ(global.AppVersion(), " ver 1.32 ");
  EXPECT_EQ(global.Caption(), "Moskvid ver 1.32 ");
  const std::string config = global.ConfigFile();
  global.SetConfigFile("a.i");
  EXPECT_EQ(global.ConfigFile(), config);
  global.SetConfigFile("/x/a.ini");
  EXPECT_EQ(global.ConfigFile(), "/x/a.ini");
  global.SetAppTitle("");
  EXPECT_EQ(global.AppTitle(), "Moskvid");
  EXPECT_EQ(TGlobalObject::LastChars("folder/", 1), "/");
  EXPECT_EQ(TGlobalObject::LastChars("ab", 5), "ab");
}

TEST(GlobalObjectTest, ConfigFileCanBeNamedOutright) {
  ::setenv("MOSKVID_CONFIG", "/somewhere/mine.ini", 1);
  EXPECT_EQ(DefaultConfigFile(), "/somewhere/mine.ini");
  ::unsetenv("MOSKVID_CONFIG");
}

TEST(GlobalObjectTest, WhereTheConfigurationFileLives) {
  TConfigPlaces places;
  places.ExecutableFolder = "/home/me/moskvid/build/bin/";
  places.ExecutableFolderWritable = true;
  places.XdgConfigHome = "/home/me/.xdg";
  places.Home = "/home/me";
  // A build tree, or a copy carried around, keeps its settings beside itself.
  EXPECT_EQ(ChooseConfigFile(places), "/home/me/moskvid/build/bin/moskvid.ini");
  places.ExecutableFolderWritable = false;
  EXPECT_EQ(ChooseConfigFile(places), "/home/me/.xdg/moskvid/moskvid.ini");
  places.XdgConfigHome.clear();
  EXPECT_EQ(ChooseConfigFile(places), "/home/me/.config/moskvid/moskvid.ini");
  // An installed program never writes into the program folder, even as root.
  places.ExecutableFolder = "/usr/bin/";
  places.ExecutableFolderWritable = true;
  places.Installed = true;
  EXPECT_EQ(ChooseConfigFile(places), "/home/me/.config/moskvid/moskvid.ini");
  places.XdgConfigHome = "/root/.xdg";
  EXPECT_EQ(ChooseConfigFile(places), "/root/.xdg/moskvid/moskvid.ini");
  places.Named = "/somewhere/mine.ini";
  EXPECT_EQ(ChooseConfigFile(places), "/somewhere/mine.ini");
}

TEST(OutputFormatsTest, TextsAndSectionNames) {
  EXPECT_STREQ(OutputFormatText(0), "PS3 MPEG-4 Video (480P)(*.mp4)");
  EXPECT_STREQ(OutputFormatText(5), "PSP MPEG-4 Normal Quality(*.mp4)");
  EXPECT_STREQ(OutputFormatText(12), "WMA - Windows Meida Audio (*.wma)");
  EXPECT_STREQ(OutputFormatText(13), "AAC Advenced Audio Codec (*.aac)");
  EXPECT_STREQ(OutputFormatText(14), "");
  EXPECT_EQ(FormatSection(7), "formatInfo7");
}

TEST(OutputFormatsTest, ChoiceListsAndTheDialogMapping) {
  EXPECT_EQ(SplitChoiceList("320x240,176x144,"),
            (std::vector<std::string>{"320x240", "176x144", ""}));
  EXPECT_EQ(SplitChoiceList(" a, b"), (std::vector<std::string>{" a", " b"}));
  EXPECT_TRUE(SplitChoiceList("null").empty());
  EXPECT_TRUE(SplitChoiceList("").empty());
  std::string stored;
  EXPECT_TRUE(MapVideoEncoderChoice("MPEG-4", stored));
  EXPECT_EQ(stored, "mpeg4");
  EXPECT_TRUE(MapVideoEncoderChoice("H264", stored));
  EXPECT_EQ(stored, "libx264");
  EXPECT_TRUE(MapVideoEncoderChoice("FLV", stored));
  EXPECT_EQ(stored, "flv");
  EXPECT_FALSE(MapVideoEncoderChoice("vp9", stored));
  EXPECT_TRUE(MapAudioEncoderChoice("AAC", stored));
  EXPECT_EQ(stored, "libfaac");
  EXPECT_TRUE(MapAudioEncoderChoice("pcm_mulaw ", stored));
  EXPECT_EQ(stored, "pcm_mulaw");
  EXPECT_FALSE(MapAudioEncoderChoice("pcm_mulaw", stored));
  EXPECT_TRUE(MapChannelChoice("mono 1 channel", stored));
  EXPECT_EQ(stored, "1");
  EXPECT_FALSE(MapChannelChoice("Mono 1 channel", stored));
  EXPECT_TRUE(MapVolumeChoice("150%", stored));
  EXPECT_EQ(stored, "384");
  EXPECT_TRUE(MapVolumeChoice("100%", stored));
  EXPECT_EQ(stored, "256");
  EXPECT_FALSE(MapVolumeChoice("110%", stored));
  EXPECT_THROW(MapVolumeChoice("loud%", stored), std::invalid_argument);
}

}  // namespace
}  // namespace moskvid::test
