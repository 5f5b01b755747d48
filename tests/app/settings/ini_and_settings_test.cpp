// The ini file rules, the stored settings with their defaults, the global
// object's setters, EnsureFolder and the format tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/settings/app_settings.h"
#include "app/settings/global_object.h"
#include "app/settings/ini_file.h"
#include "app/settings/output_formats.h"
#include "app/settings/window_placement.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

std::string ReadAll(const std::string& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
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
  EXPECT_EQ(ini.ReadString("s", "kept", ""), "4 \r");
  EXPECT_EQ(ini.ReadString("s", "plain", ""), "5");
  EXPECT_EQ(ini.ReadString("s", "new", ""), "1");
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
