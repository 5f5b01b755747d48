// The size before Start: estimates from the format's rates and an entry's
// length, the texts, and the file systems the outputs would overfill.
#include "app/settings/size_estimate.h"

#include <gtest/gtest.h>

#include <map>

namespace moskvid {
namespace {

TEST(SizeEstimate, FormatsAndLengths) {
  using Settings = std::map<std::string, std::string>;
  const struct {
    Settings settings;
    const char* container;
    int duration, trimStart, trimLength;  // seconds, milliseconds, milliseconds
    int64_t bytes;
  } cases[] = {
      // (512 + 128) kbit/s over 60 s is 4,800,000 bytes, and MP4's 1.5%.
      {{{"paraVideoEncoder", "mpeg4"}, {"paraVideoBitRate", "512"}, {"paraAudioBitRate", "128"}},
       "mp4",
       60,
       0,
       0,
       4872000},
      // Trimmed to 15 s of 100: 320 kbit/s is 600,000 bytes.
      {{{"paraVideoEncoder", "h264"}, {"paraVideoBitRate", "256"}, {"paraAudioBitRate", "64"}},
       "psp",
       100,
       5000,
       15000,
       609000},
      // Sound only: no video rate counts; 190 s after a 10 s trim start, and
      // MP3's 0.5%.
      {{{"paraVideoBitRate", "512"}, {"paraAudioBitRate", "128"}}, "mp3", 200, 10000, 0, 3055200},
      // PCM from its samples: 44100 × 2 × 16 bit/s over 10 s.
      {{{"paraAudioEncoder", "PCM_S16"},
        {"paraAudioBitRate", "as source"},
        {"paraSampleRate", "44100"},
        {"paraChannel", "2"}},
       "wav",
       10,
       0,
       0,
       1764000},
      // ADTS's frame headers: 2% on 360,000 bytes; a trim past the end stops there.
      {{{"paraAudioBitRate", "96"}}, "adts", 40, 10000, 60000, 367200},
      // A rate that is no number gives no estimate.
      {{{"paraVideoEncoder", "mpeg4"}, {"paraVideoBitRate", "as source"}}, "mp4", 60, 0, 0, -1},
      {{{"paraAudioEncoder", "PCM_S16"},
        {"paraAudioBitRate", "as source"},
        {"paraSampleRate", "as source"}},
       "wav",
       10,
       0,
       0,
       -1},
  };
  for (const auto& c : cases) {
    const TSizeRule rule = SizeRuleFor(
        [&](const std::string& key, const std::string& fallback) {
          const auto value = c.settings.find(key);
          return value == c.settings.end() ? fallback : value->second;
        },
        c.container);
    TlvFilesRecord record;
    record.Duration = c.duration;
    record.TrimStart = c.trimStart;
    record.TrimLength = c.trimLength;
    EXPECT_EQ(EstimatedBytes(rule, ConvertedMs(record)), c.bytes) << c.container;
  }
}

TEST(SizeEstimate, Texts) {
  EXPECT_EQ(SizeText(-1), "");
  EXPECT_EQ(SizeText(640400), "640 KB");
  EXPECT_EQ(SizeText(4848000), "4.8 MB");
  EXPECT_EQ(SizeText(999949999), "999.9 MB");
  EXPECT_EQ(SizeText(999950000), "1.0 GB");
  EXPECT_EQ(SizeText(1440000000), "1.4 GB");
  EXPECT_EQ(CheckedTotalText({}), "Checked: 0 files");
  EXPECT_EQ(CheckedTotalText({4848000}), "Checked: 1 file, about 4.8 MB");
  EXPECT_EQ(CheckedTotalText({1000000000, 400000000, -1}),
            "Checked: 3 files, about 1.4 GB (1 not estimated)");
  EXPECT_EQ(CheckedTotalText({-1}), "Checked: 1 file");
}

TEST(SizeEstimate, ShortFileSystems) {
  // /a and /b are two disks; /a/new is not made yet; /c tells nothing.
  const std::map<std::string, TFreeSpace> disks = {
      {"/a/", {1, 5000000}}, {"/a/kept/", {1, 5000000}}, {"/b/", {2, 100000000}}};
  std::vector<std::string> asked;
  const TFreeSpaceLookup lookup = [&](const std::string& folder, TFreeSpace& space) {
    asked.push_back(folder);
    const auto disk = disks.find(folder);
    if (disk == disks.end()) return false;
    space = disk->second;
    return true;
  };
  const std::vector<TShortFileSystem> short_ = ShortFileSystems({{"/a/kept/", 3000000},
                                                                 {"/b/", 4000000},
                                                                 {"/a/new/", 2500000},
                                                                 {"/c/", 1000000},
                                                                 {"/a/kept/", 0}},
                                                                lookup);
  ASSERT_EQ(short_.size(), 1u);
  EXPECT_EQ(short_[0].Folder, "/a/kept/");
  EXPECT_EQ(short_[0].Needed, 5500000);
  EXPECT_EQ(short_[0].FreeBytes, 5000000);
  EXPECT_EQ(asked, (std::vector<std::string>{"/a/kept/", "/b/", "/a/new/", "/a/", "/c/", "/"}));
  EXPECT_EQ(ShortSpaceQuestion(short_),
            "The outputs may not fit on the disk:\n\n/a/kept: about 5.5 MB to write, 5.0 MB "
            "free\n\nConvert anyway?");
  EXPECT_TRUE(ShortFileSystems({{"/b/", 100000000}}, lookup).empty());  // exactly fills it
}

}  // namespace
}  // namespace moskvid
