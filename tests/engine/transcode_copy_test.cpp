// Stream copy end to end, checked with ffprobe.
#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

using StreamCopyTest = EngineTest;

double Duration(const Fields& stream) {
  return ToDouble(stream.at("duration"));
}

TEST_F(StreamCopyTest, MatroskaH264AacIntoMp4AndMov) {
  for (const char* name : {"copy.mp4", "copy.mov"}) {
    engine.ResetOptions();
    const std::string out = scratch.File(name);
    ConvertOrFail(Media("h264_aac.mkv"), {}, out, {"vcodec=copy\nacodec=copy"});
    const auto streams = ProbeStreams(out);
    ASSERT_EQ(streams.size(), 2u) << name;
    EXPECT_EQ(streams[0].at("codec_name"), "h264");
    EXPECT_EQ(streams[1].at("codec_name"), "aac");
    EXPECT_NEAR(Duration(streams[0]), 3.0, 0.04) << name;
    EXPECT_NEAR(Duration(streams[1]), 3.04, 0.03) << name;
    EXPECT_EQ(CountPackets(out, "v:0"), CountPackets(Media("h264_aac.mkv"), "v:0"));
    EXPECT_EQ(CountPackets(out, "a:0"), CountPackets(Media("h264_aac.mkv"), "a:0"));
    // The copy decodes completely.
    EXPECT_EQ(CountFrames(out, "v:0"), 75);
  }
}

TEST_F(StreamCopyTest, TransportStreamIntoMatroskaKeepsEveryPacket) {
  const std::string out = scratch.File("copy.mkv");
  ConvertOrFail(Media("mpeg2_mp2.ts"), {}, out, {"vcodec=copy\nacodec=copy"});
  EXPECT_EQ(CountPackets(out, "v:0"), CountPackets(Media("mpeg2_mp2.ts"), "v:0"));
  EXPECT_EQ(CountPackets(out, "a:0"), CountPackets(Media("mpeg2_mp2.ts"), "a:0"));
  EXPECT_EQ(CountFrames(out, "v:0"), 75);
  const auto times = PacketTimes(out, "v:0");
  ASSERT_FALSE(times.empty());
  // The copy starts at zero whatever the source's clock.
  EXPECT_LT(times.front(), 0.2);
}

TEST_F(StreamCopyTest, AudioOnlyCopyKeepsTheSamples) {
  const std::string out = scratch.File("copy.mp3");
  ConvertOrFail(Media("audio.mp3"), {}, out, {"acodec=copy"});
  EXPECT_NEAR(CountSamples(out), CountSamples(Media("audio.mp3")), 1152);
}

TEST_F(StreamCopyTest, CopyStartsAtTheFirstKeyFrame) {
  const std::string out = scratch.File("cut.ts");
  ConvertOrFail(Media("cut_nokey.ts"), {}, out, {"vcodec=copy"});
  const std::string flags = RunCommand(
      "ffprobe -v error -select_streams v -show_entries "
      "packet=flags -of csv=p=0 " +
      Quote(out));
  ASSERT_FALSE(flags.empty());
  EXPECT_EQ(flags[0], 'K') << flags.substr(0, 40);
  // Every packet from the first key frame on is there.
  const std::string source = RunCommand(
      "ffprobe -v error -select_streams v -show_entries "
      "packet=flags -of csv=p=0 " +
      Quote(Media("cut_nokey.ts")));
  const size_t firstKey = source.find('K');
  ASSERT_NE(firstKey, std::string::npos);
  const auto lines = [](const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
  };
  EXPECT_EQ(lines(flags), lines(source.substr(firstKey)));
}

TEST_F(StreamCopyTest, VolumeCannotApplyToCopiedAudio) {
  ASSERT_TRUE(Convert(Media("audio.mp3"), {}, scratch.File("v.mp3"), {"acodec=copy\nvol=512"}));
  EXPECT_TRUE(engine.HasException);
  EXPECT_EQ(engine.ExceptionMessage,
            "-acodec copy and -vol are incompatible (frames are not decoded)");
  EXPECT_FALSE(engine.Finished);
}

// A bit-stream filter may hold packets back until it sees the end: here the
// last 150 of 66150 samples, which it gives out only when it is drained.
TEST_F(StreamCopyTest, BitstreamFiltersGiveTheirLastPacketsAtTheEnd) {
  for (const char* codec : {"copy", "pcm_s16le"}) {
    engine.ResetOptions();
    const std::string out = scratch.File(std::string(codec) + ".mkv");
    ConvertOrFail(
        Media("audio_mono_22k.wav"), {}, out,
        {std::string("acodec=") + codec + "\nabsf=pcm_rechunk=nb_out_samples=1000:pad=0"});
    EXPECT_EQ(CountSamples(out), 66150) << codec;
    EXPECT_EQ(CountPackets(out, "a:0"), 67) << codec;
  }
}

}  // namespace
}  // namespace moskvid::test
