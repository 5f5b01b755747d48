// The settings dialog's rules without the window: the lists, the stored
// selections, Default, and what OK stores, read back from the file and
// through the job building that uses it.
#include "app/settings/settings_choices.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/settings/app_settings.h"
#include "app/settings/format_summary.h"
#include "app/settings/ini_file.h"
#include "app/settings/job_settings.h"
#include "app/settings/output_formats.h"
#include "engine/option_parsing.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

class SettingsChoicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config = scratch.File("moskvid.ini");
    profile = scratch.File("profile.ini");
  }

  // A profile of one H.264 format (7) with the given extra lines.
  void WriteProfile(const std::string& lines) {
    std::ofstream(profile) << "[formatInfo7]\nFileExt=mp4\nFormat=psp\n" << lines;
  }

  std::string Stored(const std::string& key, int format = 7) const {
    return TIniFile(config).ReadString(FormatSection(format), key, "<none>");
  }

  ScratchDir scratch;
  std::string config, profile;
};

TEST_F(SettingsChoicesTest, ListsSplitAtEveryCommaAndKeepTheirSelections) {
  WriteProfile(
      "VideoSize=320x240,176x144,\nVideoEncoder=H264\nVideoBitRate=384, 512\n"
      "AudioEncoder=AAC\nVolume=null\n");
  TIniFile(config).WriteInteger(FormatSection(7), "iVideoSize", 1);
  TIniFile(config).WriteInteger(FormatSection(7), "iVideoBitRate", 5);  // beyond the list
  const TSettingsChoices choices = LoadSettingsChoices(profile, config, 7);
  EXPECT_EQ(choices[chVideoSize].Items, (std::vector<std::string>{"320x240", "176x144", ""}));
  EXPECT_EQ(choices[chVideoSize].Selected, 1);
  EXPECT_EQ(choices[chVideoBitRate].Items, (std::vector<std::string>{"384", " 512"}));
  EXPECT_EQ(choices[chVideoBitRate].Selected, -1);
  EXPECT_TRUE(choices[chFrameRate].Items.empty());
  EXPECT_TRUE(choices[chFrameRate].Enabled);  // the video boxes follow the encoder list
  EXPECT_FALSE(choices[chVolume].Enabled);
  EXPECT_EQ(choices[chAudioEncoder].Selected, 0);

  WriteProfile("VideoSize=320x240\nVideoEncoder=null\nAudioEncoder=MP3\n");
  const TSettingsChoices audio = LoadSettingsChoices(profile, config, 7);
  EXPECT_FALSE(audio[chVideoSize].Enabled);
  EXPECT_FALSE(audio[chVideoEncoder].Enabled);
  EXPECT_TRUE(audio[chAudioEncoder].Enabled);
}

// A list never chosen shows the profile's default, the value a job gets; so
// OK without a change stores what conversions already used.
TEST_F(SettingsChoicesTest, NeverChosenListsShowTheProfilesDefaults) {
  const TSettingsChoices fresh = LoadSettingsChoices(MOSKVID_PROFILE_FILE, config, 5);
  EXPECT_EQ(fresh[chVideoBitRate].SelectedText(), "512");
  EXPECT_EQ(fresh[chVolume].SelectedText(), "100%");
  const TJobSettings before(config, MOSKVID_PROFILE_FILE, 5);
  const std::string rate = before.Value("paraVideoBitRate", "");
  const std::string volume = before.Value("paraVolume", "");
  StoreSettingsChoices(MOSKVID_PROFILE_FILE, config, 5, fresh);
  const TJobSettings after(config, MOSKVID_PROFILE_FILE, 5);
  EXPECT_EQ(after.Value("paraVideoBitRate", ""), rate);
  EXPECT_EQ(after.Value("paraVolume", ""), volume);
  EXPECT_EQ(after.Value("paraAudioBitRate", ""), "128");
  // A stored choice wins over the default.
  TIniFile(config).WriteInteger(FormatSection(5), "iVideoBitRate", 0);
  EXPECT_EQ(LoadSettingsChoices(MOSKVID_PROFILE_FILE, config, 5)[chVideoBitRate].SelectedText(),
            "384");
}

TEST_F(SettingsChoicesTest, OkStoresEngineNamesAndTheH264Parameters) {
  WriteProfile(
      "VideoSize=480x272\nVideoEncoder=H264\nVideoBitRate=768\nFrameRate=29.97\n"
      "SampleRate=48000\nAudioEncoder=AAC,MP3\nChannel=stereo 2 channels,mono 1 channel\n"
      "AudioBitRate=128\nVolume=100%,150%\nparaBitExact=TRUE\nparaMaxBitrate=0\n"
      "paraBufferSize=2000\nparaLevel=21\nparaGop=abc\nparaCoder=0\n");
  TSettingsChoices choices = LoadSettingsChoices(profile, config, 7);
  choices[chAudioEncoder].Selected = 1;
  choices[chChannel].Selected = 1;
  choices[chVolume].Selected = 1;
  StoreSettingsChoices(profile, config, 7, choices);
  EXPECT_EQ(TIniFile(config).ReadInteger(kSettingsSection, "OutPutFormat", -1), 7);
  EXPECT_EQ(Stored("Description"), OutputFormatText(7));
  EXPECT_EQ(Stored("paraVideoEncoder"), "libx264");
  EXPECT_EQ(Stored("paraVideoSize"), "480x272");
  EXPECT_EQ(Stored("paraAudioEncoder"), "libmp3lame");
  EXPECT_EQ(Stored("paraChannel"), "1");
  EXPECT_EQ(Stored("paraVolume"), "384");
  EXPECT_EQ(Stored("iVolume"), "1");
  EXPECT_EQ(Stored("paraBitExact"), "TRUE");
  EXPECT_EQ(Stored("paraMaxBitrate"), "<none>");  // not positive: not copied
  EXPECT_EQ(Stored("paraBufferSize"), "2000");
  EXPECT_EQ(Stored("paraLevel"), "21");
  EXPECT_EQ(Stored("paraGop"), "<none>");
  EXPECT_EQ(Stored("paraCoder"), "1");    // below 1 is stored as 1
  EXPECT_EQ(Stored("paraQscale"), "25");  // missing from the profile: its default

  // 100% is the engine's neutral volume: stored, then left out of the job.
  choices[chVolume].Selected = 0;
  StoreSettingsChoices(profile, config, 7, choices);
  EXPECT_EQ(Stored("paraVolume"), "256");
  EXPECT_EQ(TJobSettings(config, profile, 7).Value("paraVolume", "3"), "256");
}

TEST_F(SettingsChoicesTest, BitExactFalseInTheProfileLeavesTheStoredValue) {
  WriteProfile("VideoEncoder=H264\nAudioEncoder=AAC\nparaBitExact=False\n");
  StoreSettingsChoices(profile, config, 7, LoadSettingsChoices(profile, config, 7));
  EXPECT_EQ(Stored("paraBitExact"), "<none>");
  // Never stored: the job building's own default still asks for bit-exact output.
  EXPECT_EQ(
      LowerCase(TJobSettings(config, scratch.File("none.ini"), 7).Value("paraBitExact", "True")),
      "true");
  TIniFile(config).WriteString(FormatSection(7), "paraBitExact", "True");
  StoreSettingsChoices(profile, config, 7, LoadSettingsChoices(profile, config, 7));
  EXPECT_EQ(Stored("paraBitExact"), "True");
}

// Numbers beyond an int in the profile's volume choice or its index: the
// job gets its fallback (or the first choice), nothing raises out of it.
TEST_F(SettingsChoicesTest, OutOfRangeProfileNumbersGiveTheJobItsFallback) {
  WriteProfile("Volume=99999999999999999999%,150%\niVolume=0\n");
  const TJobSettings huge(config, profile, 7);
  EXPECT_EQ(huge.Value("paraVolume", "3"), "3");
  EXPECT_EQ(huge.IntegerValue("paraVolume", "3"), 3);

  WriteProfile("Volume=-99999999999999999999%,150%\niVolume=1\n");
  EXPECT_EQ(TJobSettings(config, profile, 7).Value("paraVolume", "3"), "384");

  // An index beyond an int is no number: the profile's first choice.
  WriteProfile("Volume=150%,200%\niVolume=99999999999999999999\n");
  EXPECT_EQ(TJobSettings(config, profile, 7).Value("paraVolume", "3"), "384");
  WriteProfile("Volume=150%,2147483648%\niVolume=1\n");
  EXPECT_EQ(TJobSettings(config, profile, 7).Value("paraVolume", "3"), "3");
}

TEST_F(SettingsChoicesTest, ABadVolumeRaisesAfterTheKeysBeforeIt) {
  WriteProfile(
      "VideoEncoder=MPEG-4\nSampleRate=24000\nChannel=mono 1 channel\n"
      "AudioEncoder=MP3\nVolume=loud%\n");
  TIniFile(config).WriteString(FormatSection(7), "paraAudioEncoder", "aac");
  EXPECT_THROW(StoreSettingsChoices(profile, config, 7, LoadSettingsChoices(profile, config, 7)),
               std::invalid_argument);
  EXPECT_EQ(Stored("paraSampleRate"), "24000");
  EXPECT_EQ(Stored("paraChannel"), "1");
  EXPECT_EQ(Stored("paraAudioEncoder"), "aac");  // after the volume: not reached
  // Without a volume list nothing is converted and the rest is stored.
  WriteProfile("VideoEncoder=MPEG-4\nAudioEncoder=MP3\nVolume=null\n");
  StoreSettingsChoices(profile, config, 7, LoadSettingsChoices(profile, config, 7));
  EXPECT_EQ(Stored("paraAudioEncoder"), "libmp3lame");
}

TEST_F(SettingsChoicesTest, UnknownTextsLeaveTheStoredValues) {
  WriteProfile("VideoEncoder=Theora\nAudioEncoder=Opus\nChannel=surround\nVolume=33%\n");
  TIniFile ini(config);
  for (const char* key : {"paraVideoEncoder", "paraAudioEncoder", "paraChannel", "paraVolume"})
    ini.WriteString(FormatSection(7), key, "kept");
  StoreSettingsChoices(profile, config, 7, LoadSettingsChoices(profile, config, 7));
  for (const char* key : {"paraVideoEncoder", "paraAudioEncoder", "paraChannel", "paraVolume"})
    EXPECT_EQ(Stored(key), "kept") << key;
}

// Deinterlacing is on unless the format's stored choice turns it off, and
// offered only where there is video; what is stored is what the job
// building reads.
TEST_F(SettingsChoicesTest, DeinterlacingPerFormat) {
  const struct {
    int format;
    const char* stored;  // nullptr: never chosen
    bool checked, enabled;
  } cases[] = {
      {0, nullptr, true, true}, {5, "False", false, true}, {7, "false", false, true},
      {8, "True", true, true},  {9, nullptr, true, false}, {11, "False", false, false},
  };
  for (const auto& c : cases) {
    if (c.stored)
      TIniFile(config).WriteString(FormatSection(c.format), "paraDeinterlace", c.stored);
    const TDeinterlaceChoice choice = LoadDeinterlaceChoice(MOSKVID_PROFILE_FILE, config, c.format);
    EXPECT_EQ(choice.Checked, c.checked) << c.format;
    EXPECT_EQ(choice.Enabled, c.enabled) << c.format;
    EXPECT_TRUE(DefaultDeinterlace(MOSKVID_PROFILE_FILE, c.format)) << c.format;
  }
  // OK's value, read back as a job reads it.
  for (const bool checked : {false, true}) {
    StoreDeinterlaceChoice(config, 3, checked);
    EXPECT_EQ(Stored("paraDeinterlace", 3), checked ? "True" : "False");
    EXPECT_EQ(LoadDeinterlaceChoice(MOSKVID_PROFILE_FILE, config, 3).Checked, checked);
    EXPECT_EQ(TJobSettings(config, MOSKVID_PROFILE_FILE, 3).Value("paraDeinterlace", "True"),
              checked ? "True" : "False");
  }
  // A profile may turn it off by default.
  WriteProfile("VideoEncoder=H264\nparaDeinterlace=False\n");
  EXPECT_FALSE(DefaultDeinterlace(profile, 7));
  EXPECT_FALSE(LoadDeinterlaceChoice(profile, scratch.File("none.ini"), 7).Checked);
}

TEST_F(SettingsChoicesTest, DefaultsComeFromTheProfile) {
  const auto indices = DefaultChoiceIndices(MOSKVID_PROFILE_FILE, 5);
  EXPECT_EQ(indices[chVideoBitRate], 1);
  EXPECT_EQ(indices[chAudioBitRate], 2);
  EXPECT_EQ(indices[chVolume], 3);
  EXPECT_EQ(DefaultChoiceIndices(profile, 5)[chVideoSize], 0);  // no profile: index 0
}

TEST_F(SettingsChoicesTest, EncodersTheLibrariesLackAreMarked) {
  LoadLibrariesOrDie();
  WriteProfile("VideoEncoder=MPEG-4,mov,svq1\nAudioEncoder=MP3,AMR_NB,AAC\n");
  TSettingsChoices choices = LoadSettingsChoices(profile, config, 7);
  MarkUnavailableEncoders(choices);
  EXPECT_EQ(choices[chAudioEncoder].Unavailable[0], "");
  EXPECT_EQ(choices[chAudioEncoder].Unavailable[2], "");  // "libfaac" is the aac encoder now
  EXPECT_NE(choices[chAudioEncoder].Unavailable[1].find("libamr_nb"), std::string::npos);
  EXPECT_EQ(choices[chVideoEncoder].Unavailable[1], "");  // a container's own choice
  EXPECT_EQ(choices[chVideoEncoder].Unavailable[0], "");
}

TEST(FormatSummary, WhatTheSettingsGive) {
  LoadLibrariesOrDie();  // they name the encoders that run
  const std::map<std::string, std::string> values = {
      {"paraVideoEncoder", "mpeg4"}, {"paraVideoSize", "320x240"},    {"paraVideoBitRate", "512"},
      {"paraFrameRate", "29.97"},    {"paraAudioEncoder", "libfaac"}, {"paraSampleRate", "48000"},
      {"paraChannel", "2"},          {"paraAudioBitRate", "128"}};
  const auto lookup = [&](const std::string& key, const std::string& fallback) {
    const auto found = values.find(key);
    return found == values.end() ? fallback : found->second;
  };
  const TFormatSummary summary = SummarizeFormat(lookup, "psp", "mp4");
  EXPECT_EQ(summary.Container, "container psp, extension .mp4");
  EXPECT_EQ(summary.Video, "video mpeg4, 320x240, 512 kbit/s, 29.97 fps");
  EXPECT_EQ(summary.Audio, "audio aac, 48000 Hz, 2 channels, 128 kbit/s");
  EXPECT_EQ(RunningEncoderName("libx264"), "libx264");
  EXPECT_EQ(RunningEncoderName("nosuch"), "nosuch (not in the installed libraries)");
  EXPECT_EQ(summary.Size, "about 4.8 MB a minute");  // 640 kbit/s for 60 s
  const auto asSource = [&](const std::string& key, const std::string& fallback) {
    return key == "paraVideoBitRate" ? std::string("as source") : lookup(key, fallback);
  };
  EXPECT_EQ(SummarizeFormat(asSource, "psp", "mp4").Size, "");
  const auto audioOnly = [&](const std::string& key, const std::string& fallback) {
    return key == "paraVideoEncoder" ? std::string() : lookup(key, fallback);
  };
  EXPECT_EQ(SummarizeFormat(audioOnly, "mp3", "mp3").Video, "");
  EXPECT_EQ(SummarizeFormat(audioOnly, "mp3", "mp3").Size, "about 1.0 MB a minute");
}

}  // namespace
}  // namespace moskvid::test
