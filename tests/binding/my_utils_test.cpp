#include "binding/my_utils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "binding/rational_utils.h"
#include "support/test_support.h"

namespace moskvid {
namespace {

TEST(FormatFileSizeTest, LimitsAreExclusive) {
  EXPECT_EQ(FormatFileSize(0), "0 Byte");
  EXPECT_EQ(FormatFileSize(1024), "1024 Byte");
  EXPECT_EQ(FormatFileSize(1025), "1.00 KB");
  EXPECT_EQ(FormatFileSize(1048576), "1024.00 KB");
  EXPECT_EQ(FormatFileSize(1048577), "1.00 MB");
  EXPECT_EQ(FormatFileSize(1073741824), "1024.00 MB");
  EXPECT_EQ(FormatFileSize(3LL * 1073741824), "3.00 GB");
}

TEST(GetFileSizeTest, SizesBeyondTwoGigabytesAndMissingFiles) {
  test::ScratchDir dir;
  const std::string big = dir.File("big.bin");
  { std::ofstream(big).put('x'); }
  // A sparse file: no disk space used.
  std::filesystem::resize_file(big, 3LL * 1024 * 1024 * 1024 + 5);
  EXPECT_EQ(GetFileSize(big), 3LL * 1024 * 1024 * 1024 + 5);
  EXPECT_EQ(GetFileSize(dir.File("missing")), -1);
  EXPECT_EQ(GetFileSize(dir.Path()), -1);
  EXPECT_EQ(GetFileSize(""), -1);
}

TEST(SplitAtTest, HeadAndRemoval) {
  std::string text = "10000-20000";
  EXPECT_EQ(SplitAt(text, "-", false), "10000");
  EXPECT_EQ(text, "10000-20000");
  EXPECT_EQ(SplitAt(text, "-", true), "10000");
  EXPECT_EQ(text, "20000");
  EXPECT_EQ(SplitAt(text, "-", true), "20000");
  EXPECT_EQ(text, "");
  std::string keep = "abc";
  EXPECT_EQ(SplitAt(keep, ",", false), "abc");
  EXPECT_EQ(keep, "abc");
}

TEST(DateTimeTest, UnixTimeBecomesTheDayCountAndFormats) {
  // The tests run with TZ=UTC, so the bias is zero.
  EXPECT_DOUBLE_EQ(UnixTimeToLocalDateTime(0), 25569.0);
  EXPECT_DOUBLE_EQ(UnixTimeToLocalDateTime(86400 * 2 + 43200), 25571.5);
  const double when = UnixTimeToLocalDateTime(1700000000);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", when), "2023-11-14 22:13:20");
  EXPECT_EQ(FormatDateTime("hhnnss", when), "221320");
  EXPECT_EQ(LocalDateTimeToUnixTime(when), 1700000000);
  EXPECT_EQ(FormatDateTime("d/m/yy \"at\" h:n", UnixTimeToLocalDateTime(0)), "1/1/70 at 0:0");
}

TEST(RationalTest, LocalArithmetic) {
  test::LoadLibrariesOrDie();
  EXPECT_EQ(CompareRational({1, 3}, {2, 6}), 0);
  EXPECT_EQ(CompareRational({1, 2}, {1, 3}), 1);
  EXPECT_EQ(CompareRational({-1, 2}, {1, 3}), -1);
  const AVRational difference = SubtractRational({30000, 1001}, {30, 1});
  EXPECT_EQ(difference.num, -30);
  EXPECT_EQ(difference.den, 1001);
  const AVRational ntsc = DoubleToRational(30000.0 / 1001.0, 100000);
  EXPECT_EQ(ntsc.num, 30000);
  EXPECT_EQ(ntsc.den, 1001);
  const AVRational aspect = DoubleToRational(4.0 / 3.0 * 240 / 320, 255);
  EXPECT_EQ(aspect.num, 1);
  EXPECT_EQ(aspect.den, 1);
  EXPECT_EQ(Clip(300, 0, 255), 255);
  EXPECT_EQ(Clip(-3, 0, 255), 0);
}

}  // namespace
}  // namespace moskvid
