// Building conversion jobs: audio-only and video jobs, defaults from the
// profile, the H.264 options, sizes, zoom modes and output names.
#include "app/settings/job_builder.h"
#include "app/settings/output_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/settings/output_formats.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

class NoWarnings : public TWarningSink {
 public:
  void Warning(const std::string& text) override { ADD_FAILURE() << text; }
};

class JobBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadLibrariesOrDie();
    global.SetConfigFile(scratch.File("moskvid.ini"));
    global.SetProfileFile(MOSKVID_PROFILE_FILE);
  }

  // Opens the source as the preview does: its first picture decoded.
  void OpenSource(const std::string& file) {
    ASSERT_TRUE(probe.Open(file)) << probe.LastError();
    probe.DecodeNextFrame();
  }

  void Build(int format, const TlvFilesRecord& record = TlvFilesRecord{}) {
    BuildConversionJob(record, format, output, probe, input, global);
  }

  void Store(int format, const std::string& key, const std::string& value) {
    TIniFile(global.ConfigFile()).WriteString(FormatSection(format), key, value);
  }

  bool HasLine(const std::string& line) const {
    return ("\n" + output.ExtOptions + "\n").find("\n" + line + "\n") != std::string::npos;
  }

  ScratchDir scratch;
  TGlobalObject global;
  TAVProbe probe;
  TOutputOptions output;
  TInputOptions input;
};

TEST_F(JobBuilderTest, FreshUserGetsTheProfileDefaults) {
  OpenSource(Media("h264_aac.mp4"));
  output.FileName = scratch.File("out.mp4");
  Build(5);  // "PSP MPEG-4 Normal Quality(*.mp4)", nothing stored
  EXPECT_EQ(output.VideoCodec, "mpeg4");
  EXPECT_EQ(output.AudioCodec, "libfaac");
  EXPECT_EQ(output.Format, "psp");
  EXPECT_EQ(output.VideoTag, "");  // the PSP writer refuses "DIVX"
  EXPECT_EQ(output.VideoBitsPerSecond, 512000);
  EXPECT_EQ(output.FrameRate, "29.97");
  EXPECT_EQ(output.FrameSize, "320x240");
  EXPECT_EQ(output.Volume, -1);  // 100% leaves the volume alone
  EXPECT_EQ(output.SampleRate, 48000);
  EXPECT_EQ(output.AudioChannels, 2);
  EXPECT_EQ(output.AudioBitsPerSecond, 128000);
  EXPECT_EQ(input.ExtOptions, "");
  EXPECT_TRUE(HasLine("pix_fmt=yuv420p"));
}

TEST_F(JobBuilderTest, EmptyStoredEncoderMakesAnAudioOnlyJob) {
  OpenSource(Media("h264_aac.mp4"));
  Store(7, "paraVideoEncoder", " ");
  Store(7, "paraVolume", "512");
  Store(7, "paraAudioBitRate", "12.2");
  Build(7);
  EXPECT_EQ(input.ExtOptions, "vn=1");
  EXPECT_EQ(output.VideoCodec, "");
  EXPECT_EQ(output.FrameSize, "");
  EXPECT_EQ(output.VideoBitsPerSecond, -1);
  EXPECT_EQ(output.Volume, 512);
  EXPECT_EQ(output.AudioBitsPerSecond, 12200);
}

TEST_F(JobBuilderTest, StoredAudioValuesAndTheirSpecialForms) {
  OpenSource(Media("audio.mp3"));
  Store(9, "paraAudioBitRate", "as source");
  Store(9, "paraChannel", "as source");
  Store(9, "paraSampleRate", "as source");
  Store(9, "paraVolume", "256");
  Build(9);
  EXPECT_EQ(output.AudioBitsPerSecond, -1);
  EXPECT_EQ(output.AudioChannels, -1);
  EXPECT_EQ(output.SampleRate, -1);
  EXPECT_EQ(output.Volume, -1);
  EXPECT_EQ(output.AudioCodec, "libmp3lame");
  output = TOutputOptions{};
  Store(9, "paraAudioBitRate", "0");
  Build(9);
  EXPECT_EQ(output.AudioBitsPerSecond, -1);
  Store(9, "paraAudioBitRate", "64");
  Build(9);
  EXPECT_EQ(output.AudioBitsPerSecond, 64000);
}

TEST_F(JobBuilderTest, WithoutProfileOrStoredVolumeTheDefaultIsThree) {
  // A profile without a volume list: the stored-value default applies.
  const std::string profile = scratch.File("profile.ini");
  { std::ofstream(profile) << "[formatInfo9]\nFileExt=mp3\nFormat=mp3\n"; }
  global.SetProfileFile(profile);
  OpenSource(Media("audio.mp3"));
  Build(9);
  EXPECT_EQ(output.Volume, 3);
  EXPECT_EQ(output.AudioCodec, "libfaac");
  EXPECT_EQ(input.ExtOptions, "vn=1");
}

TEST_F(JobBuilderTest, H264OptionLines) {
  OpenSource(Media("h264_aac.mp4"));
  Build(7);
  EXPECT_EQ(output.VideoCodec, "libx264");
  EXPECT_EQ(output.Gop, 250);
  EXPECT_TRUE(HasLine("vflags=+bitexact"));
  EXPECT_TRUE(HasLine("vlevel=21"));
  EXPECT_TRUE(HasLine("vbufsize=2000000"));
  EXPECT_TRUE(HasLine("vmaxrate=1500000"));
  EXPECT_TRUE(HasLine("coder=1"));
  EXPECT_TRUE(HasLine("vprofile=77"));

  output = TOutputOptions{};
  Store(7, "paraVideoEncoder", "libx264");
  Store(7, "paraCoder", "-1");
  Store(7, "paraBitExact", "false");
  Build(7);
  EXPECT_FALSE(HasLine("coder=-1"));
  EXPECT_EQ(output.ExtOptions.find("coder="), std::string::npos);
  EXPECT_EQ(output.ExtOptions.find("bitexact"), std::string::npos);

  Store(7, "paraGop", "abc");
  try {
    Build(7);
    ADD_FAILURE() << "no error";
  } catch (const TConversionError& error) {
    EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
  }
}

TEST_F(JobBuilderTest, QualityChoiceTunesTheEncoderWithinTheDeviceLimits) {
  OpenSource(Media("h264_aac.mp4"));
  struct Case {
    int format;
    const char* quality;  // stored "paraQuality", or "" for none
    const char* level;    // stored "paraLevel", or ""
    TQuality expected;
    std::vector<std::string> lines, absent;
    std::optional<TQuality> given = std::nullopt;  // the command line's --quality
  };
  const Case cases[] = {
      // MPEG-4: Simple Profile, the device's buffer, one second's drift.
      {5,
       "",
       "",
       qlBalanced,
       {"bf=0", "vflags=-qpel+mv4+aic", "mbd=rd", "vmaxrate=768000", "vbufsize=768000",
        "vbt=512000"},
       {"vtrellis=1"}},
      {5, "fast", "", qlFast, {"vflags=-qpel", "vbt=512000", "vmaxrate=768000"}, {"mbd=rd"}},
      // Given for one run, it stands for the stored one.
      {5, "best", "", qlFast, {"vflags=-qpel"}, {"mbd=rd", "vtrellis=1"}, qlFast},
      {5, "Best", "", qlBest, {"mbd=rd", "vtrellis=1", "cmp=satd", "subcmp=satd"}, {}},
      {4, "nonsense", "", qlBalanced, {"mbd=rd", "vmaxrate=1500000", "vbufsize=2000000"}, {}},
      // H.264: the preset's references, cut to what the level holds.
      {7, "balanced", "", qlBalanced, {"refs=3", "vlevel=21"}, {"preset=slow"}},
      {8, "best", "", qlBest, {"preset=slow", "refs=5", "vlevel=30"}, {}},
      // Level 2.1 holds three 720x480 pictures.
      {8, "best", "21", qlBest, {"preset=slow", "refs=3", "vlevel=21"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.format) + " " + c.quality + " " + c.level);
    std::filesystem::remove(global.ConfigFile());
    if (*c.quality) Store(c.format, "paraQuality", c.quality);
    if (*c.level) Store(c.format, "paraLevel", c.level);
    output = TOutputOptions{};
    const TJobChoices choices =
        BuildConversionJob(TlvFilesRecord{}, c.format, output, probe, input, global, c.given);
    EXPECT_EQ(choices.Quality, c.expected);
    // "Best" encodes twice.
    EXPECT_EQ(output.Passes, c.expected == qlBest ? 2 : 1);
    // MPEG-4 refreshes its picture every half second; H.264 at the profile's distance.
    EXPECT_EQ(output.Gop, output.VideoCodec == "mpeg4" ? 15 : 250);
    for (const std::string& line : c.lines)
      EXPECT_TRUE(HasLine(line)) << line << " in\n" << output.ExtOptions;
    for (const std::string& line : c.absent)
      EXPECT_FALSE(HasLine(line)) << line << " in\n" << output.ExtOptions;
  }
  // A source without pictures has nothing to encode twice.
  OpenSource(Media("audio.mp3"));
  std::filesystem::remove(global.ConfigFile());
  Store(5, "paraQuality", "best");
  output = TOutputOptions{};
  EXPECT_EQ(BuildConversionJob(TlvFilesRecord{}, 5, output, probe, input, global).Quality, qlBest);
  EXPECT_EQ(output.Passes, 1);

  // The buffer of each level over the picture's macroblocks, at most 16.
  EXPECT_EQ(MaxReferenceFrames(21, 480, 272), 9);
  EXPECT_EQ(MaxReferenceFrames(41, 1920, 1080), 4);
  EXPECT_EQ(MaxReferenceFrames(13, 320, 240), 7);
  EXPECT_EQ(MaxReferenceFrames(31, 320, 240), 16);
  EXPECT_EQ(MaxReferenceFrames(99, 320, 240), 16);
}

TEST_F(JobBuilderTest, CodecTableAndH263Sizes) {
  OpenSource(Media("h264_aac.mp4"));
  Store(0, "paraVideoEncoder", "flv");
  Build(0);
  EXPECT_EQ(output.VideoCodec, "");
  struct Case {
    const char* size;
    const char* expected;
  };
  for (const Case& c :
       {Case{"320x240", "352x288"}, Case{"800x600", "704x576"}, Case{"176x144", "176x144"}}) {
    output = TOutputOptions{};
    Store(0, "paraVideoEncoder", "h263");
    Store(0, "paraVideoSize", c.size);
    TlvFilesRecord record;
    record.ZoomMode = "full";
    Build(0, record);
    EXPECT_EQ(output.VideoCodec, "h263");
    EXPECT_EQ(output.FrameSize, c.expected) << c.size;
  }
}

TEST_F(JobBuilderTest, DivxTagOnlyForAvi) {
  OpenSource(Media("h264_aac.mp4"));
  Store(0, "paraVideoEncoder", "mpeg4");
  output.FileName = scratch.File("x.avi");
  Build(0);
  EXPECT_EQ(output.VideoTag, "DIVX");
  output = TOutputOptions{};
  output.FileName = scratch.File("x.mp4");
  Build(0);
  EXPECT_EQ(output.VideoTag, "");
}

TEST_F(JobBuilderTest, AsSourceBitRateComesFromTheProbe) {
  OpenSource(Media("h264_aac.mp4"));
  Store(0, "paraVideoBitRate", "as source");
  Store(0, "paraFrameRate", "as source");
  Build(0);
  TAVVideoStreamInfo info;
  probe.GetVideoStreamInfo(-1, info);
  EXPECT_EQ(output.VideoBitsPerSecond, info.BitRate);
  EXPECT_EQ(output.FrameRate, "");
}

TEST(FitToFrameTest, TheFiveCases) {
  auto fit = [](int ws, int hs, int wo, int ho, int ct = 0, int cb = 0, int cl = 0, int cr = 0) {
    TOutputOptions out;
    FitToFrame(ws, hs, wo, ho, ct, cb, cl, cr, out);
    return out;
  };
  // D with equal ratios: the target size, pads untouched.
  TOutputOptions out = fit(640, 480, 320, 240);
  EXPECT_EQ(out.FrameSize, "320x240");
  EXPECT_EQ(out.AspectRatio, "320:240");
  EXPECT_EQ(out.PaddingTop, -1);
  // D, wider source: bars above and below.
  out = fit(720, 400, 320, 240);
  EXPECT_EQ(out.FrameSize, "320x176");
  EXPECT_EQ(out.AspectRatio, "320:240");
  EXPECT_EQ(out.PaddingTop, 32);
  EXPECT_EQ(out.PaddingBottom, 32);
  // A: narrower in height than the target.
  out = fit(640, 200, 320, 240);
  EXPECT_EQ(out.FrameSize, "320x100");
  EXPECT_EQ(out.PaddingTop, 70);
  // B: a tall source.
  out = fit(200, 480, 320, 240);
  EXPECT_EQ(out.FrameSize, "100x240");
  EXPECT_EQ(out.PaddingLeft, 110);
  EXPECT_EQ(out.PaddingRight, 110);
  // C: a smaller source of another shape.
  out = fit(160, 90, 320, 240);
  EXPECT_EQ(out.FrameSize, "320x180");
  EXPECT_EQ(out.PaddingTop, 30);
  // E: the same size; crops fold into the pads.
  out = fit(320, 240, 320, 240, 10, 0, 6, 0);
  EXPECT_EQ(out.FrameSize, "320x240");
  EXPECT_EQ(out.PaddingTop, 4);
  EXPECT_EQ(out.PaddingBottom, 4);
  EXPECT_EQ(out.PaddingLeft, 2);
  EXPECT_EQ(out.PaddingRight, 2);
  // Crops are added to the frame size so the picture keeps the fitted size.
  out = fit(720, 400, 320, 240, 8, 8, 4, 4);
  EXPECT_EQ(out.FrameSize, "328x192");
  // Nothing to fit: nothing changes.
  out = fit(0, 0, 320, 240);
  EXPECT_EQ(out.FrameSize, "");
  out = fit(640, 480, 0, 0);
  EXPECT_EQ(out.FrameSize, "");
}

TEST_F(JobBuilderTest, ZoomModes) {
  OpenSource(Media("h264_aac_1080p.mp4"));  // 1920x1080 into 720x480
  TlvFilesRecord record;
  for (const char* mode : {"lbox", "full", "cent", "orig"}) {
    output = TOutputOptions{};
    record.ZoomMode = mode;
    Build(0, record);
    const std::string name = mode;
    if (name == "lbox") {
      EXPECT_EQ(output.FrameSize, "720x404");
      EXPECT_EQ(output.PaddingTop, 38);
    } else if (name == "full") {
      EXPECT_EQ(output.FrameSize, "720x480");
      EXPECT_EQ(output.PaddingTop, -1);
    } else if (name == "cent") {
      // 1920x1080 cut to 1620x1080 (3:2), 150 columns each side.
      EXPECT_EQ(output.CropLeft, 150);
      EXPECT_EQ(output.CropRight, 150);
      EXPECT_EQ(output.CropTop, 0);
      EXPECT_EQ(output.FrameSize, "1020x480");
    } else {
      EXPECT_EQ(output.FrameSize, "");
      EXPECT_EQ(output.AspectRatio, "");
    }
    EXPECT_EQ(output.PaddingColor, 0u);
  }
}

TEST_F(JobBuilderTest, OutputNamesCountUpWhenTheFileExists) {
  NoWarnings warnings;
  const std::string folder = scratch.File("out");
  TIniFile(global.ConfigFile()).WriteString("settings", "OutPutDir", folder);
  const std::string first = MakeOutputFileName("/clips/holiday.trip.avi", ".mp4", global, warnings);
  EXPECT_EQ(first, folder + "/holiday.trip_(new).mp4");
  EXPECT_EQ(MakeOutputFileName("/clips/holiday.trip.avi", ".mp4", global, warnings), first);
  { std::ofstream(first) << "x"; }
  EXPECT_EQ(MakeOutputFileName("/clips/holiday.trip.avi", ".mp4", global, warnings),
            folder + "/holiday.trip_(new_1).mp4");
  { std::ofstream(folder + "/holiday.trip_(new_1).mp4") << "x"; }
  EXPECT_EQ(MakeOutputFileName("/clips/holiday.trip.avi", ".mp4", global, warnings),
            folder + "/holiday.trip_(new_2).mp4");
  EXPECT_EQ(
      MakeOutputFileName("/clips/holiday.trip.avi", "_ipod.mp4", global, warnings, scratch.Path()),
      scratch.Path() + "/holiday.trip_(new)_ipod.mp4");
}

// The outputs of one run are named before any is written: names given to
// earlier tasks count as taken, like files on disk, and both kinds mix.
TEST_F(JobBuilderTest, OutputNamesSkipNamesGivenEarlierInTheRun) {
  NoWarnings warnings;
  const std::string folder = scratch.File("out");
  TIniFile(global.ConfigFile()).WriteString("settings", "OutPutDir", folder);
  const std::string source = "/clips/clip.mkv";
  auto name = [&](const std::set<std::string>& reserved) {
    return MakeOutputFileName(source, ".mp4", global, warnings, "", reserved);
  };
  const std::string plain = folder + "/clip_(new).mp4";
  const std::string first = folder + "/clip_(new_1).mp4";
  const std::string second = folder + "/clip_(new_2).mp4";
  const std::string third = folder + "/clip_(new_3).mp4";

  // Two sources with one stem, one run.
  std::set<std::string> given;
  given.insert(name(given));
  given.insert(name(given));
  EXPECT_EQ(given, (std::set<std::string>{plain, first}));
  // A reserved name elsewhere, or for another suffix, takes nothing here.
  EXPECT_EQ(name({scratch.File("clip_(new).mp4"), folder + "/clip_(new).avi"}), plain);

  { std::ofstream(plain) << "x"; }
  EXPECT_EQ(name({first}), second);
  // Existing, reserved, existing: the first free one after all three.
  { std::ofstream(second) << "x"; }
  EXPECT_EQ(name({first}), third);
  // A gap below a taken name is used.
  EXPECT_EQ(name({second}), first);
  // The default leaves only the files on disk.
  EXPECT_EQ(MakeOutputFileName(source, ".mp4", global, warnings), first);
}

// The Destination column foresees the folder Start writes to, without
// making it: the chosen one when it is or can be made, else the default.
TEST_F(JobBuilderTest, TheListForeseesTheFolderStartWritesTo) {
  ::setenv("HOME", scratch.Path().c_str(), 1);
  { std::ofstream(scratch.File("plain")) << "x"; }
  struct Case {
    std::string chosen;
    bool beside;
    std::string folder;  // what both give
  } cases[] = {
      {scratch.File("out"), false, scratch.File("out") + "/"},
      {scratch.File("new/deeper"), false, scratch.File("new/deeper") + "/"},
      {scratch.File("plain/sub"), false, scratch.File("moskvid") + "/"},
      {"", false, scratch.File("moskvid") + "/"},
      {scratch.File("out"), true, ""},
  };
  for (const Case& c : cases) {
    TAppSettings settings(global.ConfigFile());
    settings.SetOutputFolder(c.chosen);
    settings.SetOutputBesideSource(c.beside);
    std::filesystem::remove_all(scratch.File("new"));
    std::filesystem::remove_all(scratch.File("moskvid"));
    struct : TWarningSink {
      void Warning(const std::string&) override {}
    } warnings;  // the fallback's warning is EnsureFolder's
    EXPECT_EQ(OutputFolderFor(settings, false, warnings), c.folder) << c.chosen;
    EXPECT_FALSE(std::filesystem::exists(scratch.File("new"))) << c.chosen;
    EXPECT_FALSE(std::filesystem::exists(scratch.File("moskvid"))) << c.chosen;
    EXPECT_EQ(settings.OutputFolder(), c.chosen);
    EXPECT_EQ(OutputFolderFor(settings, true, warnings), c.folder) << c.chosen;
    if (!c.folder.empty()) {
      EXPECT_TRUE(std::filesystem::is_directory(c.folder)) << c.chosen;
    }
  }
}

}  // namespace
}  // namespace moskvid::test

namespace moskvid::test {
namespace {

// The job of a probe that decoded nothing equals the job of one that shows
// the first picture: the stream's header gives the source size.
TEST_F(JobBuilderTest, SizesNeedNoDecodedPicture) {
  for (const char* source : {"h264_aac_1080p.mp4", "odd_422.mkv", "mpeg4_mp3_720p.avi"}) {
    for (const char* mode : {"lbox", "full", "cent", "orig"}) {
      TlvFilesRecord record;
      record.ZoomMode = mode;
      OpenSource(Media(source));
      output = TOutputOptions{};
      Build(5, record);
      const TOutputOptions decoded = output;
      probe.Close();

      TAVProbe fresh;
      ASSERT_TRUE(fresh.Open(Media(source))) << fresh.LastError();
      ASSERT_TRUE(fresh.LastFrame().Empty());
      output = TOutputOptions{};
      BuildConversionJob(record, 5, output, fresh, input, global);
      SCOPED_TRACE(std::string(source) + " " + mode);
      EXPECT_EQ(output.FrameSize, decoded.FrameSize);
      EXPECT_EQ(output.PaddingTop, decoded.PaddingTop);
      EXPECT_EQ(output.PaddingBottom, decoded.PaddingBottom);
      EXPECT_EQ(output.PaddingLeft, decoded.PaddingLeft);
      EXPECT_EQ(output.CropLeft, decoded.CropLeft);
      EXPECT_EQ(output.CropTop, decoded.CropTop);
      EXPECT_EQ(output.AspectRatio, decoded.AspectRatio);
    }
  }
}

}  // namespace
}  // namespace moskvid::test

namespace moskvid::test {
namespace {

// The frame comes from the picture as shown: an anamorphic DVD picture in
// its display proportions, a phone clip turned upright, the crop taken off
// first; with or without a picture decoded for the preview.
TEST_F(JobBuilderTest, TheFrameFitsThePictureAsShown) {
  const std::string dvd = scratch.File("dvd.mkv"), phone = scratch.File("phone.mp4");
  RunCommand(
      "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=s=720x480:d=0.2 -vf setsar=32/27 "
      "-c:v ffv1 " +
      Quote(dvd));
  RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=s=640x360:d=0.2 -c:v libx264 " +
             Quote(phone) + " && python3 " +
             Quote(std::string(MOSKVID_TEST_SUPPORT_DIR) + "/rotate_mp4.py") + " " + Quote(phone) +
             " 90");
  struct Case {
    const std::string& source;
    const char* zoom;
    int cropTop;
    const char *frame, *aspect;
    int padTop, padLeft, cropLeft;
  };
  const Case cases[] = {
      {dvd, "lbox", 0, "320x180", "320:240", 30, -1, 0},
      {dvd, "full", 0, "320x240", "320:240", -1, -1, 0},
      // Cut to 4:3 as shown: 540 stored columns stand for 640.
      {dvd, "cent", 0, "500x240", "320:240", -1, -1, 90},
      // Kept at its size in square pixels: 720 stored columns stand for 853.
      {dvd, "orig", 0, "854x480", "854:480", -1, -1, 0},
      {phone, "lbox", 0, "136x240", "320:240", -1, 92, 0},
      {phone, "orig", 0, "", "", -1, -1, 0},
      // The top of the upright picture goes; 360x480 is left to fit.
      {phone, "lbox", 160, "180x400", "320:240", -1, 70, 0},
  };
  for (const bool decoded : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.source + " " + c.zoom + " crop " + std::to_string(c.cropTop) +
                   (decoded ? " decoded" : " not decoded"));
      probe.Close();
      ASSERT_TRUE(probe.Open(c.source)) << probe.LastError();
      if (decoded) probe.DecodeNextFrame();
      TlvFilesRecord record;
      record.ZoomMode = c.zoom;
      record.CropTop = c.cropTop;
      output = TOutputOptions{};
      ApplyTrimAndCrop(record, input, output);
      Build(5, record);
      EXPECT_EQ(output.FrameSize, c.frame);
      EXPECT_EQ(output.AspectRatio, c.aspect);
      EXPECT_EQ(output.PaddingTop, c.padTop);
      EXPECT_EQ(output.PaddingLeft, c.padLeft);
      EXPECT_EQ(output.CropLeft, c.cropLeft);
    }
  }
}

// The entry's sound track and the format's deinterlacing reach the engine.
TEST_F(JobBuilderTest, SoundTrackAndDeinterlacingBecomeOptionLines) {
  OpenSource(Media("h264_aac.mp4"));
  TlvFilesRecord record;
  Build(5, record);
  EXPECT_EQ(input.ExtOptions.find("atrack"), std::string::npos);
  EXPECT_FALSE(HasLine("autodeinterlace=0"));

  record.AudioTrack = 2;
  Store(5, "paraDeinterlace", "False");
  input = TInputOptions{};
  output = TOutputOptions{};
  Build(5, record);
  EXPECT_EQ(input.ExtOptions, "atrack=2");
  EXPECT_TRUE(HasLine("autodeinterlace=0"));

  // Sound only: the track goes with the line that leaves the video out.
  Store(9, "paraVideoEncoder", "");
  input = TInputOptions{};
  Build(9, record);
  EXPECT_EQ(input.ExtOptions, "vn=1\natrack=2");
}

}  // namespace
}  // namespace moskvid::test
