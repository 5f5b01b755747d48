// The clip dialogs' texts without a window.
#include "app/dialogs/clip_texts.h"

#include <gtest/gtest.h>

namespace moskvid {
namespace {

TEST(ClipTexts, LongSourceNamesAreCutBeforeTheirExtension) {
  const std::string sixty = "/home/user/videos/" + std::string(38, 'v') + ".mp4";
  ASSERT_EQ(sixty.size(), 60u);
  EXPECT_EQ(ShortSourceName(sixty, 46, 40), sixty.substr(0, 40) + ".." + ".mp4" + "  ");
  const std::string fortyFive = "/v/" + std::string(38, 'a') + ".avi";
  ASSERT_EQ(fortyFive.size(), 45u);
  EXPECT_EQ(ShortSourceName(fortyFive, 46, 40), fortyFive);
  const std::string fortySix = fortyFive + "x";  // 46 characters: cut
  EXPECT_EQ(ShortSourceName(fortySix, 46, 40), fortySix.substr(0, 40) + "...avix  ");
  EXPECT_EQ(ShortSourceName("/" + std::string(50, 'n'), 46, 40),
            "/" + std::string(39, 'n') + "..  ");
  // The watermark window's rule.
  EXPECT_EQ(ShortSourceName(sixty, 56, 50), sixty.substr(0, 50) + "...mp4  ");
  EXPECT_EQ(ShortSourceName("/short.mkv", 56, 50), "/short.mkv");
}

TEST(ClipTexts, DurationAndAudioFormat) {
  EXPECT_EQ(DurationSecondsText(12'345'678), "12.345 Second");
  EXPECT_EQ(DurationSecondsText(999), "0.000 Second");
  EXPECT_EQ(DurationSecondsText(-1), "0.000 Second");
  EXPECT_EQ(AudioFormatFromInfo("Stream #0.1: Audio: mp2, 48000 Hz, stereo"), "mp2");
  EXPECT_EQ(AudioFormatFromInfo("Video: h264, 320x240\r\nStream #1: Audio: aac (LC), 44100 Hz"),
            "aac (LC)");
  EXPECT_EQ(AudioFormatFromInfo("Video: h264, 320x240"), "");
  EXPECT_EQ(AudioFormatFromInfo("Audio: flac"), "flac");
}

// The sound figures of the track a conversion takes come from its own line.
TEST(ClipTexts, TheLineOfOneStream) {
  const std::string info =
      "File Name: /a.mkv\r\nStream #0, 1/1000: Video: h264, 720x480\r\n"
      "Stream #1(eng), 1/1000: Audio: mp3, 22050 Hz, mono\r\n"
      "Stream #12[0x1e1], 1/90000: Audio: aac (LC), 48000 Hz, stereo";
  EXPECT_EQ(AudioFormatFromInfo(StreamInfoLine(info, 1)), "mp3");
  EXPECT_EQ(StreamInfoLine(info, 12),
            "Stream #12[0x1e1], 1/90000: Audio: aac (LC), 48000 Hz, stereo");
  EXPECT_EQ(AudioFormatFromInfo(StreamInfoLine(info, 12)), "aac (LC)");
  EXPECT_EQ(StreamInfoLine(info, 0), "Stream #0, 1/1000: Video: h264, 720x480");
  EXPECT_EQ(StreamInfoLine(info, 2), "");
  EXPECT_EQ(StreamInfoLine(info, -1), "");
}

}  // namespace
}  // namespace moskvid
