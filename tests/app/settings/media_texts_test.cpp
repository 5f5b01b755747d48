// What the windows and the command line say of sound tracks, picture shapes
// and tags.
#include "app/settings/media_texts.h"

#include <gtest/gtest.h>

namespace moskvid {
namespace {

TEST(MediaTexts, SoundTracks) {
  const struct {
    TAVAudioTrack track;
    const char* text;
  } cases[] = {
      {{2, 1, "eng", "ac3", 6, true}, "Track 2: eng, ac3, 6 channels (default)"},
      {{1, 0, "", "aac", 1, false}, "Track 1: aac, 1 channel"},  // no language
      {{3, 4, "fra", "mp3", 0, false}, "Track 3: fra, mp3"},     // channels unknown
      {{12, 13, "", "", 2, false}, "Track 12: 2 channels"},
      {{4, 5, "", "", 0, true}, "Track 4 (default)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AudioTrackText(c.track), c.text);
    EXPECT_EQ(AudioTrackListText(c.track, false), c.text);
    EXPECT_EQ(AudioTrackListText(c.track, true), std::string(c.text) + "  [converted]");
  }
}

TEST(MediaTexts, PictureShapes) {
  const struct {
    int width, height, sampleNum, sampleDen, rotation;
    const char* shown;
  } cases[] = {
      {720, 480, 32, 27, 0, "16:9"},  // anamorphic NTSC wide screen
      {720, 480, 8, 9, 0, "4:3"},     // NTSC 4:3
      {320, 240, 1, 1, 0, "4:3"},
      {1920, 816, 1, 1, 0, "2.35:1"},  // 40:17: terms too large to read
      {321, 241, 1, 1, 0, "1.33:1"},
      {720, 480, 32, 27, 90, "9:16"},   // a quarter turn stands it up
      {1920, 1080, 1, 1, 180, "16:9"},  // upside down keeps the shape
      {640, 480, 0, 0, 0, "4:3"},       // an unknown sample aspect is square
      {0, 0, 1, 1, 0, ""},              // no size, no shape
  };
  for (const auto& c : cases) {
    TAVVideoStreamInfo video;
    video.Width = c.width;
    video.Height = c.height;
    video.SampleAspectNum = c.sampleNum;
    video.SampleAspectDen = c.sampleDen;
    video.Rotation = c.rotation;
    EXPECT_EQ(DisplayAspectText(video), c.shown) << c.width << "x" << c.height << " " << c.sampleNum
                                                 << ":" << c.sampleDen << " " << c.rotation;
  }
  EXPECT_EQ(RatioText(32, 27), "32:27");
}

TEST(MediaTexts, TagsInTheOrderPlayersShowThem) {
  TAVFormatInfo info;
  EXPECT_TRUE(TagTexts(info).empty());
  info.Comment = "first line\r\nsecond line\n";
  info.Composer = "Composer";
  info.Genre = "Jazz";
  info.Year = 2019;
  info.Disc = "1/2";
  info.Track = 3;
  info.TrackTotal = 12;
  info.Album = "Album";
  info.AlbumArtist = "Band";
  info.Author = "Singer";
  info.Title = "Song";
  info.Copyright = "not a tag players show";
  using Tags = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(TagTexts(info), (Tags{{"Title", "Song"},
                                  {"Artist", "Singer"},
                                  {"Album Artist", "Band"},
                                  {"Album", "Album"},
                                  {"Track", "3/12"},
                                  {"Disc", "1/2"},
                                  {"Year", "2019"},
                                  {"Genre", "Jazz"},
                                  {"Composer", "Composer"},
                                  {"Comment", "first line second line"}}));
  // Only what is there: a track without a total, no year, blanks as nothing.
  TAVFormatInfo some;
  some.Track = 7;
  some.TrackTotal = -1;
  some.Year = -1;
  some.Genre = "  ";
  some.Album = "Album";
  EXPECT_EQ(TagTexts(some), (Tags{{"Album", "Album"}, {"Track", "7"}}));
}

}  // namespace
}  // namespace moskvid
