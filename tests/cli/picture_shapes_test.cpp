// Pictures of every shape people have, converted for a 320x240 player: the
// output shows them upright and in proportion, in square pixels, with bars
// where the shapes differ, and a crop cuts the sides the viewer sees.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace moskvid::test {
namespace {

struct ShapeCase {
  const char* name;
  const char* picture;  // lavfi filters that make the stored picture
  int width, height;    // the grey source, before those filters and the turn
  const char* after;    // the stored picture from the shown one, or ""
  int rotation;         // display matrix, clockwise
  const char* crop;     // --crop, or ""
  int areaWidth, areaHeight;
  bool marker;  // the white top-left corner of the shown picture is kept
};

void PrintTo(const ShapeCase& c, std::ostream* out) {
  *out << c.name;
}

class PictureShapesTest : public ::testing::TestWithParam<ShapeCase> {
 protected:
  ScratchDir scratch;
};

// The source: grey with a white quarter-size corner at the top left of the
// picture as shown, stored as the case says, with a second of sound.
std::string MakeSource(const ShapeCase& c, const std::string& folder) {
  const bool turned = c.rotation % 180 != 0;
  const int shownWidth = turned ? c.height : c.width, shownHeight = turned ? c.width : c.height;
  std::string filters = "color=c=0x808080:s=" + std::to_string(shownWidth) + "x" +
                        std::to_string(shownHeight) +
                        ":r=25:d=1,drawbox=x=0:y=0:w=" + std::to_string(shownWidth / 4) +
                        ":h=" + std::to_string(shownHeight / 4) + ":c=white:t=fill";
  if (*c.after) filters += std::string(",") + c.after;
  filters += std::string(",") + c.picture;
  const std::string file = folder + "/source.mp4";
  RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i " + Quote(filters) +
             " -f lavfi -i sine=d=1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac " +
             Quote(file));
  if (c.rotation) {
    RunCommand("python3 " + Quote(std::string(MOSKVID_TEST_SUPPORT_DIR) + "/rotate_mp4.py") + " " +
               Quote(file) + " " + std::to_string(c.rotation));
  }
  return file;
}

TEST_P(PictureShapesTest, TheOutputShowsThePictureInProportion) {
  const ShapeCase& c = GetParam();
  const std::string source = MakeSource(c, scratch.Path());
  int status = -1;
  std::string command = "MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " +
                        std::string(MOSKVID_CLI) + " convert --quiet --format 5 --output-dir " +
                        Quote(scratch.Path());
  if (*c.crop) command += std::string(" --crop ") + c.crop;
  const std::string output = RunCommand(command + " " + Quote(source), &status);
  ASSERT_EQ(status, 0);
  const std::string file = output.substr(0, output.find('\n'));

  const auto streams = ProbeStreams(file);
  ASSERT_FALSE(streams.empty());
  EXPECT_EQ(streams[0].at("width"), "320");
  EXPECT_EQ(streams[0].at("height"), "240");
  EXPECT_EQ(streams[0].at("sample_aspect_ratio"), "1:1");

  const Picture picture = GrabPicture(file, 0.5);
  const Area area = BrightArea(picture, 60);
  EXPECT_NEAR(area.width, c.areaWidth, 2);
  EXPECT_NEAR(area.height, c.areaHeight, 2);
  EXPECT_NEAR(area.left, (320 - c.areaWidth) / 2, 2) << "centred";
  EXPECT_NEAR(area.top, (240 - c.areaHeight) / 2, 2) << "centred";
  // The corner of the picture area is white exactly when the marker is kept.
  const double corner = picture.Mean(area.left + 2, area.top + 2, area.left + area.width / 8,
                                     area.top + area.height / 8);
  if (c.marker) {
    EXPECT_GT(corner, 200);
  } else {
    EXPECT_LT(corner, 160);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PictureShapesTest,
    ::testing::Values(
        ShapeCase{"square_4_3", "setsar=1", 640, 480, "", 0, "", 320, 240, true},
        ShapeCase{"square_16_9", "setsar=1", 1280, 720, "", 0, "", 320, 180, true},
        // DVD pictures: 720 stored columns stand for 853 or 640 (NTSC), 1024 or
        // 768 (PAL) shown ones.
        ShapeCase{"ntsc_16_9", "scale=720:480,setsar=32/27", 720, 480, "", 0, "", 320, 180, true},
        ShapeCase{"ntsc_4_3", "scale=720:480,setsar=8/9", 720, 480, "", 0, "", 320, 240, true},
        ShapeCase{"pal_16_9", "scale=720:576,setsar=64/45", 720, 576, "", 0, "", 320, 180, true},
        ShapeCase{"pal_4_3", "scale=720:576,setsar=16/15", 720, 576, "", 0, "", 320, 240, true},
        // HDV: 1440 columns of 4:3 pixels, a 16:9 picture.
        ShapeCase{"hdv", "scale=1440:1080,setsar=4/3", 1440, 1080, "", 0, "", 320, 180, true},
        // A phone held upright: stored 640x360 turned a quarter, shown 360x640.
        ShapeCase{"phone_upright", "setsar=1", 640, 360, "transpose=cclock", 90, "", 136, 240,
                  true},
        ShapeCase{"phone_upside_down", "setsar=1", 640, 360, "hflip,vflip", 180, "", 320, 180,
                  true},
        // The crop takes the top of the picture as shown, where the marker is.
        ShapeCase{"phone_upright_cropped", "setsar=1", 640, 360, "transpose=cclock", 90,
                  "160:0:0:0", 180, 240, false},
        // Cropping the bars off a letter-boxed 4:3 DVD leaves a 16:9 picture.
        ShapeCase{"ntsc_4_3_bars_cropped", "pad=720:480:0:60,setsar=8/9", 720, 360, "", 0,
                  "60:60:0:0", 320, 180, true}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace moskvid::test
