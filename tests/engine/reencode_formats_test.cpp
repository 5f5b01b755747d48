// Re-encoding into each device and audio format, checked with ffprobe and by
// decoding the results.
#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

using ReencodeTest = EngineTest;

double StreamStart(const Fields& stream) {
  return ToDouble(stream.at("start_time"));
}

TEST_F(ReencodeTest, PspMpeg4AndAacAt320x240And2997) {
  const std::string out = scratch.File("psp.mp4");
  ConvertOrFail(Media("sync_25.mp4"), {}, out,
                {"f=psp\nvcodec=mpeg4\ns=320x240\nr=29.97\nb=768000\nacodec=aac\nab=128000"});
  const auto streams = ProbeStreams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("codec_name"), "mpeg4");
  EXPECT_EQ(streams[0].at("width"), "320");
  EXPECT_EQ(streams[0].at("height"), "240");
  EXPECT_EQ(streams[0].at("r_frame_rate"), "30000/1001");
  EXPECT_EQ(streams[1].at("codec_name"), "aac");
  EXPECT_EQ(streams[1].at("profile"), "LC");
  // 9 s of 25 fps become 9 s of 29.97 fps: the frame-rate change adds
  // exactly the frames it needs.
  const int frames = CountFrames(out, "v:0");
  EXPECT_NEAR(frames, 9 * 30000 / 1001.0, 1.0);
  EXPECT_EQ(engine.FramesDuplicated, frames - 225);
  EXPECT_EQ(engine.FramesDropped, 0);
  EXPECT_NEAR(CountSamples(out), CountSamples(Media("sync_25.mp4")), 1024);
  EXPECT_NEAR(StreamStart(streams[0]), StreamStart(streams[1]), 0.04);
}

TEST_F(ReencodeTest, H264AndAacInMp4KeepsEveryFrame) {
  const std::string out = scratch.File("h264.mp4");
  ConvertOrFail(Media("h264_aac.mp4"), {}, out, {"vcodec=libx264\nb=500000\nacodec=aac\nab=96000"});
  const auto streams = ProbeStreams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("codec_name"), "h264");
  EXPECT_EQ(CountFrames(out, "v:0"), 75);
  EXPECT_EQ(engine.FramesDuplicated + engine.FramesDropped, 0);
  EXPECT_NEAR(ToDouble(streams[0].at("duration")), 3.0, 0.04);
  EXPECT_NEAR(CountSamples(out), CountSamples(Media("h264_aac.mp4")), 1024);
}

TEST_F(ReencodeTest, AudioFormatsFromAVideoSource) {
  struct Case {
    const char* file;
    const char* options;
    const char* codec;
  };
  const Case cases[] = {
      {"out.mp3", "vn=1\nacodec=libmp3lame\nab=128000", "mp3"},
      {"out.wav", "vn=1\nacodec=pcm_s16le", "pcm_s16le"},
      {"out.wma", "vn=1\nacodec=wmav2\nab=128000", "wmav2"},
      {"out.aac", "vn=1\nacodec=aac\nab=128000", "aac"},
  };
  const long long sourceSamples = CountSamples(Media("sync_25.mp4"));
  for (const Case& c : cases) {
    engine.ResetOptions();
    const std::string out = scratch.File(c.file);
    ConvertOrFail(Media("sync_25.mp4"), {}, out, {c.options});
    const auto streams = ProbeStreams(out);
    ASSERT_EQ(streams.size(), 1u) << c.file;
    EXPECT_EQ(streams[0].at("codec_name"), c.codec);
    // Within one encoder frame and the encoder's own delay.
    EXPECT_NEAR(CountSamples(out), sourceSamples, 2048 + 1152) << c.file;
  }
}

TEST_F(ReencodeTest, AudioOnlyInputToAVideoFormatGetsNoVideo) {
  const std::string out = scratch.File("audio.mp4");
  ConvertOrFail(Media("audio_mono_22k.wav"), {}, out, {"acodec=aac"});
  const auto streams = ProbeStreams(out);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("codec_type"), "audio");
  EXPECT_EQ(streams[0].at("sample_rate"), "22050");
  EXPECT_NEAR(CountSamples(out), 3 * 22050, 1024);
}

TEST_F(ReencodeTest, ChannelsAndRatesAreConverted) {
  const std::string out = scratch.File("stereo48.mp4");
  ConvertOrFail(Media("audio_mono_22k.wav"), {}, out, {"acodec=aac\nac=2\nar=48000"});
  const auto streams = ProbeStreams(out);
  EXPECT_EQ(streams[0].at("channels"), "2");
  EXPECT_EQ(streams[0].at("sample_rate"), "48000");
  EXPECT_NEAR(CountSamples(out) / 48000.0, 3.0, 0.03);
}

TEST_F(ReencodeTest, UnsupportedRateFallsToTheNearestTheEncoderHas) {
  const std::string out = scratch.File("rate.mp3");
  ConvertOrFail(Media("sync_25.mp4"), {}, out, {"vn=1\nacodec=libmp3lame\nar=44000"});
  EXPECT_EQ(ProbeStreams(out)[0].at("sample_rate"), "44100");
}

}  // namespace
}  // namespace moskvid::test
