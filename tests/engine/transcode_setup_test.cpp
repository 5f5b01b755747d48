// The set-up: its failures with their messages, stream pairing and two-pass logs.
#include <filesystem>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

using TranscodeSetupTest = EngineTest;

TEST_F(TranscodeSetupTest, FailuresStopTheRunWithTheirMessages) {
  struct Case {
    const char* input;
    const char* options;
    const char* message;
  };
  const Case cases[] = {
      {"audio.mp3", "an=1", "Output file does not contain any stream"},
      {"h264_aac.mp4", "map=0.0", "Number of stream maps must match number of output streams"},
      {"h264_aac.mp4", "map=0.0\nmap=0.5", "Could not find input stream #0.5"},
      {"h264_aac.mp4", "map=0.0\nmap=0.1:3.0", "Could not find sync stream #3.0"},
      {"h264_aac.mp4", "map=0.1\nmap=0.0", "Codec type mismatch for mapping #0.1 -> #0.0"},
      {"h264_aac.mp4", "map_meta_data=4:0", "Invalid output file index 4 map_meta_data(4,0)"},
      {"h264_aac.mp4", "map_meta_data=0:7", "Invalid input file index 7 map_meta_data(0,7)"},
  };
  for (const Case& c : cases) {
    engine.ResetOptions();
    const std::string out = scratch.File("failed.mp4");
    ASSERT_TRUE(Convert(Media(c.input), {}, out, {c.options})) << engine.ErrorText;
    EXPECT_TRUE(engine.HasException) << c.options;
    EXPECT_EQ(engine.ExceptionMessage, c.message);
    EXPECT_FALSE(engine.Finished);
    // Nothing was written, and no empty file is left behind.
    EXPECT_FALSE(std::filesystem::exists(out)) << c.options;
  }
}

TEST_F(TranscodeSetupTest, OutputsOfOneTypeShareTheLastInputStream) {
  const std::string out = scratch.File("two-audio.mkv");
  ASSERT_TRUE(engine.OpenInputFile(Media("audio.mp3")));
  ASSERT_TRUE(engine.OpenOutputFile(out)) << engine.ErrorText;
  engine.SetOption("acodec", "mp2");
  engine.SetOption("newaudio", "");
  engine.TranscodeRun();
  ASSERT_TRUE(engine.Finished) << engine.ExceptionMessage;
  const auto streams = ProbeStreams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[1].at("codec_name"), "mp2");
  // Both decode: the second took the same source.
  EXPECT_GT(CountFrames(out, "a:0"), 0);
  EXPECT_GT(CountFrames(out, "a:1"), 0);
}

TEST_F(TranscodeSetupTest, ProgramSelectionPicksThatProgramsStreams) {
  const std::string out = scratch.File("program.mp4");
  ConvertOrFail(Media("two_programs.ts"), {"programid=2"}, out, {"vcodec=mpeg4"});
  const auto streams = ProbeStreams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("width"), "176");
  EXPECT_EQ(streams[0].at("height"), "144");
}

TEST_F(TranscodeSetupTest, MapsChooseTheSourceStreams) {
  // The second program's video with the first program's audio.
  const std::string out = scratch.File("mapped.mkv");
  ConvertOrFail(Media("two_programs.ts"), {}, out, {"vcodec=copy\nacodec=copy\nmap=0.2\nmap=0.1"});
  const auto streams = ProbeStreams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("width"), "176");
  EXPECT_EQ(CountPackets(out, "a:0"), CountPackets(Media("two_programs.ts"), "a:0"));
}

TEST_F(TranscodeSetupTest, MetadataMapCopiesTheTitle) {
  const std::string titled = scratch.File("titled.mp3");
  RunCommand("ffmpeg -v error -y -i " + Quote(Media("audio.mp3")) +
             " -c copy -metadata title=Harbour -metadata album=Coast " + Quote(titled));
  const std::string out = scratch.File("meta.mp3");
  ConvertOrFail(titled, {}, out, {"acodec=copy\nmap_meta_data=0:0"});
  const Fields format = ProbeFormat(out);
  EXPECT_EQ(format.count("tags.title") ? format.at("tags.title") : "", "Harbour");
  EXPECT_EQ(format.count("tags.album") ? format.at("tags.album") : "", "Coast");
}

TEST_F(TranscodeSetupTest, SecondPassReadsTheFirstPassStatistics) {
  const std::string log = scratch.File("stats");
  const std::string first = scratch.File("pass1.mp4");
  ConvertOrFail(Media("h264_aac.mp4"), {}, first,
                {"vcodec=mpeg4\nb=300000\nan=1\npass=1\npasslogfile=" + log});
  ASSERT_TRUE(std::filesystem::exists(log + "-0.log"));
  EXPECT_GT(std::filesystem::file_size(log + "-0.log"), 100u);

  engine.ResetOptions();
  const std::string second = scratch.File("pass2.mp4");
  ConvertOrFail(Media("h264_aac.mp4"), {}, second,
                {"vcodec=mpeg4\nb=300000\nan=1\npass=2\npasslogfile=" + log});
  EXPECT_EQ(CountFrames(second, "v:0"), 75);
  // The rate control had the statistics: the size lands near the target.
  const double bytes = static_cast<double>(std::filesystem::file_size(second));
  EXPECT_NEAR(bytes * 8 / 3.0, 300000, 120000);

  engine.ResetOptions();
  ASSERT_TRUE(Convert(Media("h264_aac.mp4"), {}, scratch.File("pass2b.mp4"),
                      {"vcodec=mpeg4\npass=2\npasslogfile=" + scratch.File("none")}));
  EXPECT_EQ(engine.ExceptionMessage, "creat open fail: " + scratch.File("none") + "-0.log");
}

}  // namespace
}  // namespace moskvid::test
