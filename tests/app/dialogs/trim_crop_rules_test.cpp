// The trim and crop dialogs' arithmetic without windows, and the black
// border detection on real decoded pictures.
#include <gtest/gtest.h>

#include "app/dialogs/crop_detect.h"
#include "app/dialogs/crop_rules.h"
#include "app/dialogs/trim_rules.h"
#include "component/av_probe.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

TEST(TrimRules, ClockDigitsAndMaskFields) {
  EXPECT_EQ(ClockDigits(3723000), "010203");  // 1 h 2 min 3 s
  EXPECT_EQ(ClockDigits(3723999), "010203");
  EXPECT_EQ(ClockDigits(0), "000000");
  EXPECT_EQ(SecondsText(12340), "12.340");
  EXPECT_EQ(ReadMaskTime("000130").Milliseconds(), 90000);
  EXPECT_EQ(ReadMaskTime("0130").Milliseconds(), 90000);    // right-aligned
  EXPECT_EQ(ReadMaskTime("  0130").Milliseconds(), 90000);  // a blank pair is 0
  EXPECT_EQ(ReadMaskTime("0a0130").Milliseconds(), 90000);  // no digit counts 0
  EXPECT_EQ(ReadMaskTime("100000").Milliseconds(), 36000000);
  EXPECT_FALSE(ReadMaskTime("006500").PartsValid());  // 65 minutes
  EXPECT_FALSE(ReadMaskTime("000070").PartsValid());
  EXPECT_TRUE(ReadMaskTime("235959").PartsValid());
}

TEST(TrimRules, SliderOfTheClipDialogs) {
  const TClipSlider fifty = PlanClipSlider(3'000'000'000, 370);
  EXPECT_EQ(fifty.TimeUnit, 100000);
  EXPECT_EQ(fifty.Positions, 30000);
  EXPECT_EQ(fifty.LineStep, 1000);
  EXPECT_EQ(fifty.PageStep, 5000);
  EXPECT_EQ(fifty.TickFrequency, 30000 / 35);
  EXPECT_EQ(PlanClipSlider(1'000'000, 370).TimeUnit, 100);  // 10000 positions
  EXPECT_EQ(PlanClipSlider(1'000'000, 370).LineStep, 100);
  EXPECT_EQ(PlanClipSlider(500, 370).TimeUnit, 10);  // at least 10
  EXPECT_EQ(PlanClipSlider(500, 370).LineStep, 1);
  EXPECT_EQ(ClipTickPosition(0, 30000, 3000000), 10);  // a second of 50 minutes
  EXPECT_EQ(ClipTickPosition(29995, 30000, 3000000), 30000);
  EXPECT_EQ(ClipTickPosition(3, 900, 800), 900);  // a second or less: the end
  // Ten hours: a position is ten seconds, and each tick still moves one.
  const TClipSlider tenHours = PlanClipSlider(36'000'000'000, 370);
  EXPECT_EQ(ClipTickPosition(7, tenHours.Positions, 36'000'000), 8);
}

TEST(TrimRules, ApplyingTheStartAndTheEnd) {
  const int64_t tenMinutes = 600000;
  // 00:01:30 to 00:02:00: accepted, length 30 s.
  EXPECT_EQ(JudgeTrim(true, ReadMaskTime("000130"), 90000, 120000, tenMinutes), tvAccepted);
  EXPECT_TRUE(ShowsLength(90000, 120000, tenMinutes));
  // Both at 10 s: the two "equal" messages.
  EXPECT_EQ(JudgeTrim(true, ReadMaskTime("000010"), 10000, 10000, tenMinutes), tvEqual);
  EXPECT_EQ(JudgeTrim(false, ReadMaskTime("000010"), 10000, 10000, tenMinutes), tvEqual);
  // The end before the start.
  EXPECT_EQ(JudgeTrim(false, ReadMaskTime("000020"), 30000, 20000, tenMinutes), tvIncorrect);
  // Both 0: no message.
  EXPECT_EQ(JudgeTrim(false, ReadMaskTime("000000"), 0, 0, tenMinutes), tvSilent);
  // Beyond the file, and 70 seconds written in the field.
  EXPECT_EQ(JudgeTrim(false, ReadMaskTime("002000"), 0, 1200000, tenMinutes), tvIncorrect);
  EXPECT_EQ(JudgeTrim(true, ReadMaskTime("000070"), 70000, 120000, tenMinutes), tvIncorrect);
}

TEST(TrimRules, WhatOkStores) {
  const int64_t tenMinutes = 600000;
  const TTrimResult cut = TrimOnOk(90000, 120000, tenMinutes);
  EXPECT_EQ(cut.TrimStart, 90000);
  EXPECT_EQ(cut.TrimLength, 30000);
  EXPECT_EQ(TrimmedSeconds(cut.TrimStart, cut.TrimLength, tenMinutes), 30);
  // Half a second, or within a second of the whole file: to the end.
  EXPECT_EQ(TrimOnOk(90000, 90500, tenMinutes).TrimLength, 0);
  EXPECT_EQ(TrimOnOk(200, tenMinutes, tenMinutes).TrimLength, 0);
  EXPECT_EQ(TrimOnOk(200, tenMinutes, tenMinutes).TrimStart, 200);
  // Impossible ranges clear the trim.
  EXPECT_EQ(TrimOnOk(0, 0, tenMinutes).TrimStart, 0);
  EXPECT_EQ(TrimOnOk(50000, 40000, tenMinutes).TrimLength, 0);
  EXPECT_EQ(TrimOnOk(50000, 40000, tenMinutes).TrimStart, 0);
  EXPECT_EQ(TrimOnOk(0, 700000, tenMinutes).TrimStart, 0);
  // The column tells what a conversion holds.
  EXPECT_EQ(TrimmedSeconds(0, 0, tenMinutes), 600);
  EXPECT_EQ(TrimmedSeconds(200000, 0, tenMinutes), 400);
}

TEST(CropRules, PictureRectangleAndMargins) {
  const TArea drawn = FitClipPicture(640, 480, 370, 253);
  const TArea picture = PictureRectangle(drawn);
  EXPECT_EQ(picture.Width, 336);
  EXPECT_EQ(picture.Height, 251);
  TMargins stored{40, 0, 0, 0};
  const TMargins shown = ToPreviewMargins(stored, picture, 640, 480);
  EXPECT_EQ(shown.Top, 21);
  EXPECT_EQ(EvenMargins(ToSourceMargins(shown, picture, 640, 480)).Top, 40);
  EXPECT_EQ(EvenMargins({7, 6, -3, 1}), (TMargins{6, 6, -2, 0}));
  // A small source: scaled up on the way in, down on the way out.
  const TArea small = PictureRectangle(FitClipPicture(176, 144, 370, 253));
  const TMargins up = ToPreviewMargins({10, 10, 20, 20}, small, 176, 144);
  EXPECT_GT(up.Top, 10);
  EXPECT_EQ(EvenMargins(ToSourceMargins(up, small, 176, 144)), (TMargins{10, 10, 20, 20}));
  // Margins and the rectangle they leave.
  const TArea rectangle = RectangleOf({21, 10, 5, 7}, picture);
  EXPECT_EQ(rectangle,
            (TArea{picture.Left + 5, picture.Top + 21, picture.Width - 12, picture.Height - 31}));
  EXPECT_EQ(MarginsOf(rectangle, picture), (TMargins{21, 10, 5, 7}));
  // A wide picture spans the whole width.
  EXPECT_EQ(FitClipPicture(1920, 1080, 370, 253).Width, 370);
}

TEST(CropRules, MinimumSizeAndDrags) {
  EXPECT_FALSE(AcceptMargin(11, 10, 10));  // at 10 pixels: no smaller
  EXPECT_TRUE(AcceptMargin(9, 10, 10));    // growing is fine
  EXPECT_TRUE(AcceptMargin(11, 10, 11));
  const TArea picture{10, 10, 200, 100};
  const TArea start{20, 20, 100, 50};
  EXPECT_EQ(TrackerHandleAt(start, 20, 20), thTopLeft);
  EXPECT_EQ(TrackerHandleAt(start, 119, 69), thBottomRight);
  EXPECT_EQ(TrackerHandleAt(start, 20, 45), thLeft);
  EXPECT_EQ(TrackerHandleAt(start, 119, 45), thRight);
  EXPECT_EQ(TrackerHandleAt(start, 70, 20), thTop);
  EXPECT_EQ(TrackerHandleAt(start, 70, 69), thBottom);
  EXPECT_EQ(TrackerHandleAt(start, 119, 20), thTopRight);
  EXPECT_EQ(TrackerHandleAt(start, 20, 69), thBottomLeft);
  EXPECT_EQ(TrackerHandleAt(start, 70, 45), thInside);
  EXPECT_EQ(TrackerHandleAt(start, 150, 45), thNone);
  // Edges move, the opposite edge stays; never below 10 pixels, never out.
  EXPECT_EQ(DragTracker(start, thLeft, 30, 0, picture), (TArea{50, 20, 70, 50}));
  EXPECT_EQ(DragTracker(start, thLeft, 500, 0, picture), (TArea{110, 20, 10, 50}));
  EXPECT_EQ(DragTracker(start, thLeft, -500, 0, picture), (TArea{10, 20, 110, 50}));
  EXPECT_EQ(DragTracker(start, thBottomRight, 500, 500, picture), (TArea{20, 20, 190, 90}));
  EXPECT_EQ(DragTracker(start, thTop, 0, 45, picture), (TArea{20, 60, 100, 10}));
  EXPECT_EQ(DragTracker(start, thInside, 500, -500, picture), (TArea{110, 10, 100, 50}));
  EXPECT_EQ(DragTracker(start, thInside, 5, 5, picture), (TArea{25, 25, 100, 50}));
}

TEST(CropRules, ZoomList) {
  EXPECT_EQ(ZoomIndexOf("cent"), 1);
  EXPECT_EQ(ZoomIndexOf("orig"), 3);
  EXPECT_EQ(ZoomIndexOf("ylbox"), 0);
  EXPECT_EQ(ZoomIndexOf("anything"), 0);
  EXPECT_EQ(ZoomModeOf(2), "full");
  EXPECT_EQ(ZoomModeOf(0), "lbox");
}

// Ten pictures of a letter-boxed and of a pillar-boxed clip, decoded by the
// probe as the crop dialog does.
std::vector<TBitmap24> PicturesOf(const std::string& file) {
  TAVProbe probe;
  EXPECT_TRUE(probe.Open(file));
  std::vector<TBitmap24> pictures;
  for (int i = 0; i < 10; ++i) {
    probe.Seek(-1, 4'000'000LL * (2 * i + 1) / 20);
    pictures.push_back(probe.DecodeNextFrame());
  }
  return pictures;
}

TEST(CropDetect, LetterAndPillarBoxes) {
  LoadLibrariesOrDie();
  ScratchDir scratch;
  const std::string letter = scratch.File("letter.mp4");
  const std::string pillar = scratch.File("pillar.mp4");
  RunCommand(
      "ffmpeg -v error -nostdin -f lavfi -i "
      "testsrc2=size=640x360:rate=25:duration=4,pad=640:480:0:60:black "
      "-c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p " +
      Quote(letter));
  RunCommand(
      "ffmpeg -v error -nostdin -f lavfi -i "
      "testsrc2=size=480x360:rate=25:duration=4,pad=640:360:80:0:black "
      "-c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p " +
      Quote(pillar));
  const TMargins letterBorders = CommonBlackBorders(PicturesOf(letter));
  EXPECT_NEAR(letterBorders.Top, 60, 2);
  EXPECT_NEAR(letterBorders.Bottom, 60, 2);
  EXPECT_LE(letterBorders.Left, 2);
  EXPECT_LE(letterBorders.Right, 2);
  const TMargins pillarBorders = CommonBlackBorders(PicturesOf(pillar));
  EXPECT_NEAR(pillarBorders.Left, 80, 2);
  EXPECT_NEAR(pillarBorders.Right, 80, 2);
  EXPECT_LE(pillarBorders.Top, 2);
  for (int side :
       {letterBorders.Top, letterBorders.Bottom, pillarBorders.Left, pillarBorders.Right})
    EXPECT_EQ(side % 2, 0);
  // A black picture tells nothing; a picture of content has no borders.
  TBitmap24 black;
  black.SetSize(64, 48);
  EXPECT_EQ(CommonBlackBorders({black}), TMargins{});
  TBitmap24 grey = black;
  grey.Fill(128, 128, 128);
  EXPECT_EQ(BlackBorders(grey), TMargins{});
}

}  // namespace
}  // namespace moskvid::test
