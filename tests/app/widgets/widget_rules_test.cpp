// The rules of the parts every window shares: fitted pictures and the
// application error handler's boxes.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/widgets/error_rules.h"
#include "app/widgets/picture_fit.h"
#include "engine/option_records.h"

namespace moskvid {
namespace {

TEST(PreviewFit, LargestCentredRectangleOfTheSameShape) {
  // 16:9 into 4:3: full width, equal bars above and below.
  EXPECT_EQ(FitPicture(1920, 1080, 256, 192), (TBox{0, 24, 256, 168}));
  // 4:3 into 16:9: full height.
  EXPECT_EQ(FitPicture(640, 480, 320, 180), (TBox{40, 0, 280, 180}));
  EXPECT_EQ(FitPicture(320, 240, 256, 192), (TBox{0, 0, 256, 192}));
  // A margin of 0.5 pixel rounds to even.
  EXPECT_EQ(FitPicture(100, 99, 100, 100), (TBox{0, 0, 100, 99}));
  EXPECT_EQ(FitPicture(100, 97, 100, 100), (TBox{0, 2, 100, 99}));
  EXPECT_EQ(FitPicture(0, 10, 100, 100), TBox{});
}

TEST(ErrorBoxes, DotRuleAndKinds) {
  EXPECT_EQ(ErrorBoxText("Disk full"), "Disk full.");
  EXPECT_EQ(ErrorBoxText("Disk full."), "Disk full.");
  EXPECT_EQ(ErrorBoxText("Disk full!"), "Disk full!");  // '!' sorts before '.'
  EXPECT_EQ(ErrorBoxText("Error (5)"), "Error (5)");
  EXPECT_EQ(ErrorBoxText("code 42"), "code 42.");
  EXPECT_EQ(ErrorBoxText(""), "");

  const TErrorBox engine =
      ErrorBoxFor(std::make_exception_ptr(FFMpegException("Video encoding failed")));
  EXPECT_EQ(engine.Kind, ebExclamation);
  EXPECT_EQ(engine.Text, "Video encoding failed.");
  const TErrorBox other = ErrorBoxFor(std::make_exception_ptr(std::runtime_error("No space")));
  EXPECT_EQ(other.Kind, ebError);
  EXPECT_EQ(other.Text, "No space.");
  EXPECT_EQ(ErrorBoxFor(std::make_exception_ptr(std::runtime_error(""))).Kind, ebNone);
  EXPECT_EQ(ErrorBoxFor(std::make_exception_ptr(42)).Kind, ebNone);
}

}  // namespace
}  // namespace moskvid
