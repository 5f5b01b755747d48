// The audio path: frames cut through the FIFO, volume, drift compensation
// and sample format changes.
#include <cmath>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

using AudioPathTest = EngineTest;

// Peak level of the first audio stream in dB, measured by the ffmpeg tool.
double PeakLevel(const std::string& file) {
  const std::string out = RunCommand(
      "ffmpeg -v info -nostdin -i " + Quote(file) +
      " -map 0:a:0 -af astats=measure_overall=Peak_level:measure_perchannel=none -f null - 2>&1 "
      "| grep 'Peak level dB' | tail -1 | sed 's/.*: //'");
  return ToDouble(out);
}

TEST_F(AudioPathTest, EncoderFramesAreCutFromTheFifo) {
  // 3 s at 44.1 kHz into 1152-sample MP3 frames.
  const std::string out = scratch.File("framed.mp3");
  ConvertOrFail(Media("audio.mp3"), {}, out, {"acodec=libmp3lame\nab=128000"});
  const long long samples = CountSamples(Media("audio.mp3"));
  const int packets = CountPackets(out, "a:0");
  EXPECT_NEAR(packets, std::ceil(samples / 1152.0), 2);
  EXPECT_NEAR(CountSamples(out), samples, 1152 * 2);
}

TEST_F(AudioPathTest, SampleBySampleCodecsTakeWholeBlocks) {
  const std::string out = scratch.File("pcm.wav");
  ConvertOrFail(Media("h264_aac.mp4"), {}, out, {"acodec=pcm_s16le"});
  EXPECT_EQ(CountSamples(out), CountSamples(Media("h264_aac.mp4")));
}

TEST_F(AudioPathTest, VolumeScalesEverySampleFormat) {
  const double source = PeakLevel(Media("audio_mono_22k.wav"));
  for (const char* codec : {"pcm_s16le", "pcm_f32le", "pcm_u8"}) {
    engine.ResetOptions();
    const std::string out = scratch.File(std::string("half_") + codec + ".wav");
    ConvertOrFail(Media("audio_mono_22k.wav"), {}, out,
                  {std::string("acodec=") + codec + "\nvol=128"});
    EXPECT_NEAR(PeakLevel(out), source - 6.02, 0.6) << codec;
  }
  // Loud input is clamped, not wrapped around.
  engine.ResetOptions();
  const std::string loud = scratch.File("loud.wav");
  ConvertOrFail(Media("audio_mono_22k.wav"), {}, loud, {"acodec=pcm_s16le\nvol=2560"});
  EXPECT_NEAR(PeakLevel(loud), 0, 0.1);
}

TEST_F(AudioPathTest, DriftIsCompensatedThroughTheResampler) {
  // Audio time stamps stretched by 1% drift away from the sample count.
  const std::string out = scratch.File("drift.mp4");
  ConvertOrFail(Media("sync_25.mp4"), {"itsscale=1:1.01"}, out,
                {"vn=1\nacodec=aac\nasync=100\nv=3"});
  EXPECT_TRUE(Logged("compensating audio timestamp drift:"));
  // The output follows the stretched clock: about 1% more audio.
  EXPECT_NEAR(CountSamples(out) / 44100.0, 9.0 * 1.01, 0.06);
}

TEST_F(AudioPathTest, AudioBeforeTheStartPositionIsCut) {
  const std::string out = scratch.File("from5.wav");
  ConvertOrFail(Media("sync_25.mp4"), {"ss=5"}, out, {"vn=1\nacodec=pcm_s16le"});
  EXPECT_NEAR(CountSamples(out) / 44100.0, 4.0, 0.03);
  // The beep at 7 s is now 2 s in.
  EXPECT_NEAR(Nearest(BeepTimes(out), 2), 2.0, 0.03);
}

TEST_F(AudioPathTest, SampleRateChangeInMidStreamIsFollowed) {
  const std::string changing =
      JoinedStream("-f lavfi -i sine=sample_rate=44100:duration=1 -c:a mp2",
                   "-f lavfi -i sine=sample_rate=32000:duration=1 -ac 2 -c:a mp2");
  const std::string out = scratch.File("steady.wav");
  ConvertOrFail(changing, {}, out, {"acodec=pcm_s16le"});
  const auto streams = ProbeStreams(out);
  EXPECT_EQ(streams[0].at("sample_rate"), "44100");
  EXPECT_NEAR(CountSamples(out) / 44100.0, 2.0, 0.1);
}

}  // namespace
}  // namespace moskvid::test
