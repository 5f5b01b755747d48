// Stream copy end to end, checked with ffprobe.
#include <sstream>

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

// With a length, the copy ends in decode order: pictures that show before
// the end but refer to a later picture past it are not written without it.
// Every copied picture decodes, and as the source's own picture.
TEST_F(StreamCopyTest, CopyWithALengthKeepsEveryPictureDecodable) {
  const std::string tone = " -f lavfi -i sine=duration=6 ";
  const std::string picture = "-f lavfi -i testsrc=size=160x120:rate=25:duration=6";
  struct Case {
    std::string name, codecs;
    double length;
  };
  const Case cases[] = {
      {"hevc.mkv", "-c:v libx265 -pix_fmt yuv420p -x265-params log-level=none:bframes=3 -c:a aac",
       2.3},
      {"hevc.mkv", "-c:v libx265 -pix_fmt yuv420p -x265-params log-level=none:bframes=3 -c:a aac",
       0.5},
      {"mpeg2.ts", "-c:v mpeg2video -bf 2 -g 12 -c:a mp2", 3.1},
  };
  for (const Case& c : cases) {
    // An output of its own for each case: an existing one is never replaced.
    const std::string source = scratch.File("source-" + c.name),
                      out = scratch.File(std::to_string(c.length) + "-" + c.name);
    RunCommand("ffmpeg -v error -y " + picture + tone + c.codecs + " " + Quote(source));
    engine.ResetOptions();
    ConvertOrFail(source, {}, out, {"vcodec=copy\nacodec=copy\nt=" + std::to_string(c.length)});
    int status = 0;
    EXPECT_EQ(RunCommand("ffmpeg -v error -xerror -i " + Quote(out) + " -f null - 2>&1", &status),
              "")
        << c.name << " " << c.length;
    EXPECT_EQ(status, 0);
    const auto hashes = [](const std::string& file) {
      return RunCommand("ffmpeg -v error -i " + Quote(file) +
                        " -map 0:v -f framemd5 - | grep -v '^#' | cut -d, -f6");
    };
    const std::string all = hashes(source), copied = hashes(out);
    std::istringstream lines(copied);
    int pictures = 0;
    for (std::string line; std::getline(lines, line); ++pictures)
      EXPECT_NE(all.find(line), std::string::npos) << c.name << " picture " << pictures;
    // At most the pictures after the last one kept in decode order are lost.
    EXPECT_GE(pictures, c.length * 25 - 4) << c.name << " " << c.length;
    EXPECT_LE(pictures, c.length * 25 + 1) << c.name << " " << c.length;
  }
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
