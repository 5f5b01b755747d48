// Audio and video stay together: a white frame and a beep at the same
// instants stay within 40 ms of each other after conversion.
#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

struct SyncCase {
  const char* source;
  const char* output;
  const char* options;
};

class AvSyncTest : public EngineTest, public ::testing::WithParamInterface<SyncCase> {};

// Flash minus beep near each mark, in seconds.
std::vector<double> Offsets(const std::string& file, const std::vector<double>& marks) {
  const auto flashes = FlashTimes(file);
  const auto beeps = BeepTimes(file);
  std::vector<double> offsets;
  for (double mark : marks) {
    // Both events are found where they belong, so the offset means something.
    EXPECT_NEAR(Nearest(flashes, mark), mark, 0.15) << file;
    EXPECT_NEAR(Nearest(beeps, mark), mark, 0.15) << file;
    offsets.push_back(Nearest(flashes, mark) - Nearest(beeps, mark));
  }
  return offsets;
}

TEST_P(AvSyncTest, FlashAndBeepStayTogether) {
  const SyncCase& c = GetParam();
  const std::string out = scratch.File(c.output);
  ConvertOrFail(Media(c.source), {}, out, {c.options});
  const auto source = Offsets(Media(c.source), {2, 7});
  const auto converted = Offsets(out, {2, 7});
  for (size_t i = 0; i < converted.size(); ++i) {
    EXPECT_LT(std::abs(converted[i]), 0.04) << c.output << " mark " << i;
    // Whatever offset the source has is kept.
    EXPECT_NEAR(converted[i], source[i], 0.04) << c.output << " mark " << i;
  }
}

const SyncCase kCases[] = {
    {"sync_25.mp4", "psp.mp4", "f=psp\nvcodec=mpeg4\ns=320x240\nr=29.97\nacodec=aac"},
    {"sync_25.mp4", "h264.mp4", "vcodec=libx264\nacodec=aac"},
    {"sync_vfr.mkv", "vfr_psp.mp4", "f=psp\nvcodec=mpeg4\ns=320x240\nr=29.97\nacodec=aac"},
    {"sync_vfr.mkv", "vfr_h264.mp4", "vcodec=libx264\nr=25\nacodec=aac"},
    {"sync_late_audio.mp4", "late_psp.mp4", "f=psp\nvcodec=mpeg4\nr=29.97\nacodec=aac"},
    {"sync_late_audio.mp4", "late_h264.mp4", "vcodec=libx264\nacodec=aac"},
};
INSTANTIATE_TEST_SUITE_P(Outputs, AvSyncTest, ::testing::ValuesIn(kCases));

TEST_F(EngineTest, LateAudioKeepsItsStartOffset) {
  const std::string out = scratch.File("late.mp4");
  ConvertOrFail(Media("sync_late_audio.mp4"), {}, out, {"vcodec=libx264\nacodec=aac"});
  const auto source = ProbeStreams(Media("sync_late_audio.mp4"));
  const auto streams = ProbeStreams(out);
  const double sourceGap =
      ToDouble(source[1].at("start_time")) - ToDouble(source[0].at("start_time"));
  const double gap = ToDouble(streams[1].at("start_time")) - ToDouble(streams[0].at("start_time"));
  EXPECT_NEAR(gap, sourceGap, 0.04);
}

TEST_F(EngineTest, SilenceFillsTheStartWithAudioSync) {
  // With audio synchronisation on, the late start becomes silence.
  const std::string out = scratch.File("filled.mp4");
  ConvertOrFail(Media("sync_late_audio.mp4"), {}, out,
                {"vcodec=libx264\nacodec=aac\nasync=1\nv=3"});
  EXPECT_TRUE(Logged("audio samples of silence"));
  const auto streams = ProbeStreams(out);
  EXPECT_LT(ToDouble(streams[1].at("start_time")), 0.03);
  const auto flashes = FlashTimes(out);
  const auto beeps = BeepTimes(out);
  EXPECT_NEAR(Nearest(flashes, 2), 2.0, 0.05);
  EXPECT_LT(std::abs(Nearest(flashes, 2) - Nearest(beeps, 2)), 0.04);
}

}  // namespace
}  // namespace moskvid::test
