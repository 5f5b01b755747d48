// The media probe on real files: records, information text, seeking and
// single frames compared against an independent decode.
#include "component/av_probe.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "binding/my_utils.h"
#include "engine/custom_ffmpeg.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadLibrariesOrDie(); }
  TAVProbe probe;
};

// The picture the ffmpeg tool decodes at `seconds`, as top-down BGR rows.
std::vector<uint8_t> ReferenceBgr(const std::string& file, double seconds) {
  const std::string data =
      RunCommand("ffmpeg -v error -nostdin -ss " + std::to_string(seconds) + " -i " + Quote(file) +
                 " -frames:v 1 -f rawvideo -pix_fmt bgr24 -");
  return std::vector<uint8_t>(data.begin(), data.end());
}

double MeanDifference(const TBitmap24& bitmap, const std::vector<uint8_t>& reference) {
  const size_t size = static_cast<size_t>(bitmap.Stride()) * bitmap.Height();
  if (reference.size() != size) return 1e9;
  double sum = 0;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Stride(); ++x) {
      sum += std::abs(row[x] - reference[static_cast<size_t>(y) * bitmap.Stride() + x]);
    }
  }
  return sum / static_cast<double>(size);
}

// A clip whose video sample entry names a codec no decoder knows (its
// "avc1" in the sample description made "zzzz"): the probe opens it, and a
// picture request gives no picture and says why, instead of raising out of
// every caller that previews the file.
TEST_F(ProbeTest, AVideoStreamWithoutADecoderGivesNoPicture) {
  std::ifstream in(Media("h264_aac.mp4"), std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), {});
  const size_t entry = data.find("avc1", data.find("stsd"));
  ASSERT_NE(entry, std::string::npos);
  data.replace(entry, 4, "zzzz");
  ScratchDir scratch;
  const std::string file = scratch.File("unknown_codec.mp4");
  std::ofstream(file, std::ios::binary) << data;

  ASSERT_TRUE(probe.Open(file)) << probe.LastError();
  ASSERT_EQ(probe.FirstVideo, 0);
  ASSERT_TRUE(probe.IsVideoStream(0));
  EXPECT_TRUE(probe.DecodeNextFrame().Empty());
  EXPECT_NE(probe.LastError().find("Unsupported codec"), std::string::npos) << probe.LastError();
  // The file stays usable: a seek and another request behave the same.
  EXPECT_TRUE(probe.Seek(-1, 0));
  EXPECT_TRUE(probe.DecodeNextFrame().Empty());
  probe.Close();
}

// A picture file whose header claims 28960x8308 and holds no picture: no
// picture comes out, and none of the claimed size (700 MB) is made for it.
TEST_F(ProbeTest, AHugeClaimedSizeWithoutAPictureGivesNoPicture) {
  ScratchDir scratch;
  const std::string file = scratch.File("huge.gif");
  const char header[] = {'G', 'I', 'F', '8', '9', 'a', 0x20, 0x71, 0x74, 0x20, 0, 0, 0};
  std::ofstream(file, std::ios::binary)
      << std::string(header, sizeof header) << std::string(64, '\x01');

  ASSERT_TRUE(probe.Open(file)) << probe.LastError();
  TAVVideoStreamInfo info;
  probe.GetVideoStreamInfo(probe.FirstVideo, info);
  ASSERT_EQ(info.Width, 28960);
  ASSERT_EQ(info.Height, 8308);
  const TBitmap24& picture = probe.DecodeNextFrame();
  EXPECT_TRUE(picture.Empty());
  EXPECT_EQ(picture.Width(), 0);
  EXPECT_EQ(picture.Height(), 0);
  EXPECT_TRUE(probe.LastFrame().Empty());
}

// Beyond 8192 x 8192 pixels nothing is decoded for a preview: a header that
// claims such a picture is answered at once, and a stream that switches to
// one in mid-stream (a damaged file can, from a few bytes) gives no picture
// instead of gigabytes of frames and bitmaps.
TEST_F(ProbeTest, PicturesBeyondThePreviewLimitAreNotDecoded) {
  ScratchDir scratch;
  const std::string big = scratch.File("big.png");
  const std::string mixed = scratch.File("mixed.mkv");
  RunCommand("ffmpeg -v error -nostdin -f lavfi -i color=c=blue:size=8200x8200 -frames:v 1 " +
             Quote(big));
  RunCommand(
      "ffmpeg -v error -nostdin -f lavfi -i color=c=red:size=64x48:rate=25 -frames:v 2 -c:v "
      "png " +
      Quote(scratch.File("small.mkv")));
  RunCommand("ffmpeg -v error -nostdin -i " + Quote(big) + " -c:v copy " +
             Quote(scratch.File("big.mkv")));
  ASSERT_TRUE(probe.Open(big)) << probe.LastError();
  EXPECT_TRUE(probe.DecodeNextFrame().Empty());
  EXPECT_NE(probe.LastError().find("8200x8200 is too large"), std::string::npos)
      << probe.LastError();
  probe.Close();

  // The small pictures' header, then the big one: the first decodes, the
  // second is refused by the decoder.
  std::ofstream list(scratch.File("list.txt"));
  list << "file '" << scratch.File("small.mkv") << "'\nfile '" << scratch.File("big.mkv") << "'\n";
  list.close();
  RunCommand("ffmpeg -v error -nostdin -f concat -safe 0 -i " + Quote(scratch.File("list.txt")) +
             " -c copy " + Quote(mixed));
  ASSERT_TRUE(probe.Open(mixed)) << probe.LastError();
  EXPECT_EQ(probe.DecodeNextFrame().Width(), 64);
  EXPECT_EQ(probe.DecodeNextFrame().Width(), 64);
  EXPECT_TRUE(probe.DecodeNextFrame().Empty());
  probe.Close();
}

TEST_F(ProbeTest, RecordsOfAClip) {
  ASSERT_TRUE(probe.Open(Media("h264_aac.mp4"))) << probe.LastError();
  EXPECT_EQ(probe.StreamCount, 2);
  EXPECT_EQ(probe.VideoCount, 1);
  EXPECT_EQ(probe.AudioCount, 1);
  EXPECT_EQ(probe.FirstVideo, 0);
  EXPECT_EQ(probe.FirstAudio, 1);
  EXPECT_EQ(probe.FirstSubtitle, -1);
  EXPECT_TRUE(probe.IsVideoStream(0));
  EXPECT_TRUE(probe.IsAudioStream(1));
  EXPECT_FALSE(probe.IsAudioStream(5));

  TAVFormatInfo format;
  probe.GetFormatInfo(format);
  EXPECT_NEAR(format.Duration, 3000000, 60000);
  EXPECT_GT(format.BitRate, 0);
  EXPECT_EQ(probe.ProbeFileSize(), GetFileSize(Media("h264_aac.mp4")));

  TAVVideoStreamInfo video;
  probe.GetVideoStreamInfo(-1, video);
  EXPECT_EQ(video.CodecName, "h264");
  EXPECT_EQ(video.Width, 320);
  EXPECT_EQ(video.Height, 240);
  EXPECT_NEAR(video.DisplayAspectRatio, 4.0 / 3.0, 1e-3);
  EXPECT_EQ(video.FrameRateNum, 25);
  EXPECT_EQ(video.FrameRateDen, 1);
  EXPECT_EQ(video.PixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_NEAR(video.DurationUs, 3000000, 40000);

  TAVAudioStreamInfo audio;
  probe.GetAudioStreamInfo(-1, audio);
  EXPECT_EQ(audio.CodecName, "aac");
  EXPECT_EQ(audio.Channels, 2);
  EXPECT_EQ(audio.SampleRate, 44100);
  EXPECT_NEAR(audio.BitRate, 96000, 20000);

  // A video stream asked for as audio gives the defaults.
  probe.GetAudioStreamInfo(0, audio);
  EXPECT_EQ(audio.Channels, -1);
}

TEST_F(ProbeTest, InformationText) {
  ASSERT_TRUE(probe.Open(Media("h264_aac.mp4")));
  const std::string text = probe.InfoText();
  EXPECT_EQ(text.rfind("File Name: " + Media("h264_aac.mp4") + "\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("\r\nFormat Name: mov,mp4,m4a,3gp,3g2,mj2\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nFile Size: " + FormatFileSize(GetFileSize(Media("h264_aac.mp4")))),
            std::string::npos);
  EXPECT_NE(text.find("\r\nDuration: 00:00:03.0"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nBit Rate: "), std::string::npos);
  EXPECT_NE(text.find("\r\nStream #0[0x1](und), 1/12800: Video: h264"), std::string::npos) << text;
  EXPECT_NE(text.find(", 25.00 tb(r)"), std::string::npos);
  EXPECT_NE(text.find("\r\nStream #1[0x2](und), 1/44100: Audio: aac"), std::string::npos) << text;
  EXPECT_NE(text.find(", StartTime: 0.000000, Duration: 00:00:03.000"), std::string::npos);
}

TEST_F(ProbeTest, ProgramsListTheirOwnStreams) {
  ASSERT_TRUE(probe.Open(Media("two_programs.ts")));
  EXPECT_EQ(probe.ProgramCount, 2);
  const std::string text = probe.InfoText();
  const size_t first = text.find("\r\nProgram 1 FFmpeg@First\r\nStream #0[0x100]");
  const size_t second = text.find("\r\nProgram 2 FFmpeg@Second\r\nStream #2[0x102]");
  ASSERT_NE(first, std::string::npos) << text;
  ASSERT_NE(second, std::string::npos) << text;
  EXPECT_LT(first, second);
  EXPECT_NE(text.find("Stream #1[0x101]", first), std::string::npos);
  EXPECT_NE(text.find("Stream #3[0x103]", second), std::string::npos);
}

TEST_F(ProbeTest, DurationText) {
  EXPECT_EQ(DurationText((3600LL + 2 * 60 + 3) * 1000000 + 500000), "01:02:03.500");
  EXPECT_EQ(DurationText(0), "00:00:00.000");
}

TEST_F(ProbeTest, BrokenFilesAreRefusedWithAMessage) {
  const std::string missing = Media("nothing-here.avi");
  EXPECT_FALSE(probe.Open(missing));
  EXPECT_EQ(probe.LastError(), missing + ": no such file or directory");
  EXPECT_FALSE(probe.Open(Media("random.mp4")));
  EXPECT_EQ(probe.LastError(), Media("random.mp4") + ": Unknown format");
  EXPECT_FALSE(probe.Open(Media("empty.mp4")));
  EXPECT_FALSE(probe.Open(Media("truncated.mp4")));
  EXPECT_EQ(probe.LastError(), Media("truncated.mp4") + ": Error while parsing header");
  EXPECT_FALSE(probe.Open(Media("h264_aac.mp4"), "nosuchformat"));
  EXPECT_EQ(probe.LastError(), "Unknown input format: nosuchformat");
  EXPECT_EQ(probe.StreamCount, -1);
  EXPECT_EQ(probe.InfoText(), "");
  EXPECT_TRUE(probe.DecodeNextFrame().Empty());
  EXPECT_FALSE(probe.Seek(-1, 0));
  EXPECT_EQ(probe.LastError(), "file not loaded.");
}

TEST_F(ProbeTest, SeekAndDecodeGiveThePictureAtThatTime) {
  ASSERT_TRUE(probe.Open(Media("h264_aac.mp4")));
  for (double seconds : {0.0, 1.0, 2.0}) {
    ASSERT_TRUE(probe.Seek(-1, static_cast<int64_t>(seconds * 1000000)));
    const TBitmap24& frame = probe.DecodeNextFrame();
    ASSERT_EQ(frame.Width(), 320);
    ASSERT_EQ(frame.Height(), 240);
    EXPECT_LT(MeanDifference(frame, ReferenceBgr(Media("h264_aac.mp4"), seconds)), 3) << seconds;
  }
  // The next call gives the next picture, not the same one again.
  const TBitmap24 before = probe.LastFrame();
  probe.DecodeNextFrame();
  EXPECT_GT(MeanDifference(probe.Frame(), ReferenceBgr(Media("h264_aac.mp4"), 2.0)), 0.01);
  EXPECT_LT(MeanDifference(probe.Frame(), ReferenceBgr(Media("h264_aac.mp4"), 2.04)), 3);
  EXPECT_EQ(before.Width(), 320);

  // Negative times go to the start; times past the end are limited.
  ASSERT_TRUE(probe.Seek(-1, -5000000));
  EXPECT_LT(MeanDifference(probe.DecodeNextFrame(), ReferenceBgr(Media("h264_aac.mp4"), 0)), 3);
  EXPECT_TRUE(probe.Seek(-1, 600000000));
  EXPECT_FALSE(probe.Seek(7, 0));
}

// With no key frame after the target, the seek goes to the one before it:
// the picture is the key frame's, never a black one from a starved decoder.
TEST_F(ProbeTest, SeekIntoTheLastGroupOfPicturesGivesAPicture) {
  ScratchDir scratch;
  const std::string clip = scratch.File("one_key.mp4");
  RunCommand(
      "ffmpeg -v error -nostdin -f lavfi -i testsrc=size=320x240:rate=25:duration=4 "
      "-c:v libx264 -preset ultrafast -g 1000 -pix_fmt yuv420p " +
      Quote(clip));
  ASSERT_TRUE(probe.Open(clip));
  for (double seconds : {2.5, 1.0, 3.9}) {
    ASSERT_TRUE(probe.Seek(-1, static_cast<int64_t>(seconds * 1000000)));
    const TBitmap24& frame = probe.DecodeNextFrame();
    ASSERT_EQ(frame.Width(), 320) << seconds;
    EXPECT_LT(MeanDifference(frame, ReferenceBgr(clip, 0)), 3) << seconds;
  }
}

TEST_F(ProbeTest, StillPictureIsDecodedOnce) {
  ASSERT_TRUE(probe.Open(Media("still.png")));
  const TBitmap24 first = probe.DecodeNextFrame();
  ASSERT_EQ(first.Width(), 320);
  EXPECT_TRUE(probe.StillImage());
  const TBitmap24& second = probe.DecodeNextFrame();
  EXPECT_EQ(MeanDifference(
                second, std::vector<uint8_t>(first.ScanLine(0), first.ScanLine(0) + 320 * 240 * 3)),
            0);
  EXPECT_TRUE(probe.Seek(-1, 1000000));
}

TEST_F(ProbeTest, AudioOnlyFileHasNoPicture) {
  ASSERT_TRUE(probe.Open(Media("audio.mp3")));
  EXPECT_TRUE(probe.DecodeNextFrame().Empty());
  EXPECT_TRUE(probe.Seek(-1, 1000000));
}

TEST_F(ProbeTest, AttachedProbeDescribesButNeitherSeeksNorDecodes) {
  TCustomFFmpeg engine;
  ASSERT_TRUE(engine.OpenInputFile(Media("h264_aac.mp4")));
  probe.Attach(engine.InputContext(0));
  EXPECT_FALSE(probe.OwnsContext());
  EXPECT_EQ(probe.StreamCount, 2);
  EXPECT_NE(probe.InfoText().find("Video: h264"), std::string::npos);
  try {
    probe.Seek(-1, 0);
    ADD_FAILURE() << "seek did not raise";
  } catch (const FFMpegException& error) {
    EXPECT_STREQ(error.what(), "file cannot be seeked, handle is readonly.");
  }
  try {
    probe.DecodeNextFrame();
    ADD_FAILURE() << "decode did not raise";
  } catch (const FFMpegException& error) {
    EXPECT_STREQ(error.what(), "frame cannot be read, handle is readonly.");
  }
  probe.Close();
  EXPECT_EQ(engine.InputContext(0)->nb_streams, 2u);  // still open: not the probe's
}

TEST(ProbeWithoutLibrariesTest, OpenRaises) {
  TAVProbe probe;
  try {
    probe.Open("anything.mp4");
    ADD_FAILURE() << "no exception";
  } catch (const FFMpegException& error) {
    EXPECT_STREQ(error.what(), "LibAVCodec not loaded.");
  }
}

}  // namespace
}  // namespace moskvid::test

namespace moskvid::test {
namespace {

// Pictures come upright, as the ffmpeg tool (a player) shows them, whatever
// turn the file's display matrix asks for; narrow rows (360 across) leave
// the rest of the memory alone over many decodes.
TEST_F(ProbeTest, PicturesComeAsAPlayerShowsThem) {
  // Large blocks from the heap rather than from their own pages, so that a
  // write past a picture's end lands on the heap's bookkeeping and ends the
  // program instead of vanishing into a page's slack.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  ScratchDir scratch;
  struct Stored {
    int width, height, turn;
  };
  for (const Stored c : {Stored{640, 360, 0}, Stored{640, 360, 90}, Stored{640, 360, 180},
                         Stored{640, 360, 270}, Stored{360, 640, 0}}) {
    const int turn = c.turn;
    const bool across = (c.width > c.height) == (turn % 180 == 0);
    SCOPED_TRACE(std::to_string(c.width) + " turned " + std::to_string(turn));
    const std::string file =
        scratch.File("turned" + std::to_string(c.width) + "_" + std::to_string(turn) + ".mp4");
    RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=s=" + std::to_string(c.width) +
               "x" + std::to_string(c.height) +
               ":r=25:d=1 -g 1 -c:v libx264 -qp 0 -pix_fmt yuv420p " + Quote(file) +
               " && python3 " + Quote(std::string(MOSKVID_TEST_SUPPORT_DIR) + "/rotate_mp4.py") +
               " " + Quote(file) + " " + std::to_string(turn));
    ASSERT_TRUE(probe.Open(file)) << probe.LastError();
    TAVVideoStreamInfo info;
    probe.GetVideoStreamInfo(-1, info);
    EXPECT_EQ(info.Rotation, turn);
    EXPECT_NEAR(info.DisplayAspectRatio, across ? 640.0 / 360 : 360.0 / 640, 0.01);
    for (const double seconds : {0.0, 0.4, 0.8}) {
      ASSERT_TRUE(probe.Seek(-1, static_cast<int64_t>(seconds * 1000000)));
      const TBitmap24& frame = probe.DecodeNextFrame();
      ASSERT_EQ(frame.Width(), across ? 640 : 360);
      EXPECT_LT(MeanDifference(frame, ReferenceBgr(file, seconds)), 3) << seconds;
    }
  }
}

// A film with two sound tracks and a cover, tagged music with a cover, and
// Ogg Vorbis keeping its comments with the sound: the tracks, which one a
// conversion takes, the tags, and a cover that is no film.
TEST_F(ProbeTest, TracksTagsAndCoversOfFilesAsTheyCome) {
  ScratchDir scratch;
  const std::string film = scratch.File("film.mkv"), song = scratch.File("song.flac"),
                    ogg = scratch.File("song.ogg"), cover = scratch.File("cover.png");
  RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=s=64x64 -frames:v 1 " +
             Quote(cover));
  RunCommand(
      "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=s=320x240:d=1 -f lavfi -i sine=d=1 "
      "-f lavfi -i sine=d=1 -map 0 -map 1 -map 2 -c:v mpeg4 -c:a aac -ac:a:0 2 -ac:a:1 6 "
      "-metadata:s:a:1 language=fre -disposition:a:0 0 -disposition:a:1 0 -default_mode "
      "passthrough " +
      Quote(film));
  RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i sine=d=1 -i " + Quote(cover) +
             " -map 0 -map 1 -c:v copy -disposition:v attached_pic -metadata title=Harbour "
             "-metadata artist=Gulls -metadata album_artist=Various -metadata track=3/12 "
             "-metadata disc=2 -metadata composer=Tide " +
             Quote(song));
  RunCommand(
      "ffmpeg -v error -nostdin -y -f lavfi -i sine=d=1 -c:a libvorbis -metadata:s:a:0 "
      "TITLE=Dunes -metadata:s:a:0 TRACKNUMBER=4 -metadata:s:a:0 TRACKTOTAL=9 " +
      Quote(ogg));

  ASSERT_TRUE(probe.Open(film));
  const std::vector<TAVAudioTrack> tracks = probe.AudioTracks();
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks[1].Number, 2);
  EXPECT_EQ(tracks[1].Language, "fre");
  EXPECT_EQ(tracks[1].Channels, 6);
  EXPECT_EQ(probe.AudioTrackStream(0), tracks[1].Stream) << "none marked: the widest";
  EXPECT_EQ(probe.AudioTrackStream(1), tracks[0].Stream);
  EXPECT_EQ(probe.AudioTrackStream(3), -1);

  ASSERT_TRUE(probe.Open(song));
  EXPECT_EQ(probe.VideoCount, 0);
  EXPECT_EQ(probe.FirstVideo, -1);
  ASSERT_GE(probe.CoverStream, 0);
  TAVFormatInfo info;
  probe.GetFormatInfo(info);
  EXPECT_EQ(info.Title, "Harbour");
  EXPECT_EQ(info.Author, "Gulls");
  EXPECT_EQ(info.AlbumArtist, "Various");
  EXPECT_EQ(info.Track, 3);
  EXPECT_EQ(info.TrackTotal, 12);
  EXPECT_EQ(info.Disc, "2");
  EXPECT_EQ(info.Composer, "Tide");
  // The cover twice, the same, however far the file was read.
  const TBitmap24 first = probe.DecodeNextFrame();
  ASSERT_EQ(first.Width(), 64);
  EXPECT_LT(MeanDifference(first, ReferenceBgr(cover, 0)), 2);
  ASSERT_TRUE(probe.Seek(-1, 500000));
  EXPECT_LT(MeanDifference(probe.DecodeNextFrame(), ReferenceBgr(cover, 0)), 2);

  ASSERT_TRUE(probe.Open(ogg));
  probe.GetFormatInfo(info);
  EXPECT_EQ(info.Title, "Dunes");
  EXPECT_EQ(info.Track, 4);
  EXPECT_EQ(info.TrackTotal, 9);
}

}  // namespace
}  // namespace moskvid::test
