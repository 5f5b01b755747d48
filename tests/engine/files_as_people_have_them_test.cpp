// Sources the way people have them: phone clips filmed upright, anamorphic
// DVD pictures, films with several sound tracks and a cover, tagged music,
// HDR, interlaced and palette pictures. Each is made with the ffmpeg tool,
// converted, and the output is judged by what it shows and plays.
#include <functional>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

std::string Ffmpeg(const std::string& arguments) {
  return "ffmpeg -v error -nostdin -y " + arguments;
}

// A grey picture with a white square in its top-left corner, as shown.
std::string MarkedPicture(int width, int height) {
  return "color=c=0x808080:s=" + std::to_string(width) + "x" + std::to_string(height) +
         ":r=25:d=1,drawbox=x=0:y=0:w=" + std::to_string(width / 4) +
         ":h=" + std::to_string(height / 4) + ":c=white:t=fill";
}

std::string SupportScript(const std::string& name) {
  return std::string(MOSKVID_TEST_SUPPORT_DIR) + "/" + name;
}

std::string Tag(const Fields& format, const std::string& name) {
  const auto found = format.find("tags." + name);
  return found == format.end() ? "" : found->second;
}

const Fields* StreamOfType(const std::vector<Fields>& streams, const std::string& type) {
  for (const Fields& stream : streams) {
    if (stream.count("codec_type") && stream.at("codec_type") == type) return &stream;
  }
  return nullptr;
}

bool HasCover(const std::string& file, const std::string& codec) {
  for (const Fields& stream : ProbeStreams(file)) {
    if (stream.count("disposition.attached_pic") && stream.at("disposition.attached_pic") == "1" &&
        stream.at("codec_name") == codec) {
      return true;
    }
  }
  return false;
}

class FilesAsPeopleHaveThemTest : public EngineTest {
 protected:
  // A film of `seconds` with two sound tracks: 440 Hz in stereo and
  // 1000 Hz with `channels` channels, each track's default mark as given.
  std::string TwoTracks(const std::string& name, int channels, bool firstDefault,
                        bool secondDefault) {
    const std::string file = scratch.File(name);
    RunCommand(Ffmpeg(
        "-f lavfi -i testsrc2=s=320x240:r=25:d=2 -f lavfi -i sine=f=440:d=2 -f lavfi -i "
        "sine=f=1000:d=2 -map 0:v -map 1:a -map 2:a -c:v mpeg4 -c:a aac -ac:a:0 2 -ac:a:1 " +
        std::to_string(channels) + " -disposition:a:0 " + (firstDefault ? "default" : "0") +
        " -disposition:a:1 " + (secondDefault ? "default" : "0") +
        " -default_mode passthrough -metadata:s:a:0 language=eng -metadata:s:a:1 language=fre " +
        Quote(file)));
    return file;
  }

  // Tagged music with a cover picture of `coverCodec`.
  std::string TaggedMusic(const std::string& name, const std::string& coverCodec) {
    const std::string cover = scratch.File("cover." + coverCodec);
    RunCommand(Ffmpeg("-f lavfi -i testsrc2=s=160x160:d=1 -frames:v 1 " + Quote(cover)));
    const std::string file = scratch.File(name);
    RunCommand(Ffmpeg(
        "-f lavfi -i sine=f=440:d=2 -i " + Quote(cover) +
        " -map 0 -map 1 -c:v copy -disposition:v attached_pic -metadata title=Harbour -metadata "
        "artist=Gulls -metadata album_artist=Various -metadata album=Coast -metadata track=3/12 "
        "-metadata disc=1/2 -metadata date=2021 -metadata genre=Jazz -metadata composer=Tide "
        "-metadata comment=Windy " +
        Quote(file)));
    return file;
  }
};

// What a converted file shows and plays, for each kind of source.
TEST_F(FilesAsPeopleHaveThemTest, TheOutputShowsWhatAPlayerShowsOfTheSource) {
  struct Case {
    const char* name;
    std::function<std::string()> make;  // the source
    std::vector<std::string> in, out;   // engine options
    const char* output;
    std::function<void(const std::string& output)> check;
    // Two codec threads give the pictures a thread of their own.
    int threads = 1;
  };
  // A phone held upright stores its picture turned a quarter to the left
  // and says so in the display matrix.
  auto phoneClip = [&](const char* storedTurn, int matrix) {
    const std::string file = scratch.File("phone" + std::to_string(matrix) + ".mp4");
    RunCommand(Ffmpeg("-f lavfi -i " + Quote(MarkedPicture(360, 640) + "," + storedTurn) +
                      " -c:v libx264 -preset ultrafast -pix_fmt yuv420p " + Quote(file)));
    RunCommand("python3 " + Quote(SupportScript("rotate_mp4.py")) + " " + Quote(file) + " " +
               std::to_string(matrix));
    return file;
  };
  auto uprightWithMarkTopLeft = [](const std::string& output) {
    const auto video = *StreamOfType(ProbeStreams(output), "video");
    EXPECT_EQ(video.at("width"), "360");
    EXPECT_EQ(video.at("height"), "640");
    const Picture picture = GrabPicture(output, 0.5);
    EXPECT_GT(picture.Mean(0, 0, 90, 160), 200) << "the marked corner is the top left";
    EXPECT_LT(picture.Mean(270, 480, 360, 640), 160);
  };
  auto hdrClip = [&](const char* transfer, const char* name) {
    const std::string file = scratch.File(name);
    RunCommand(Ffmpeg(std::string("-f lavfi -i testsrc2=s=320x240:r=25:d=1 -vf ") +
                      "zscale=tin=709:t=" + transfer +
                      ":pin=709:p=2020:min=709:m=2020_ncl:npl=100,format=yuv420p10le "
                      "-color_trc " +
                      (std::string(transfer) == "smpte2084" ? "smpte2084" : "arib-std-b67") +
                      " -color_primaries bt2020 -colorspace bt2020nc -c:v ffv1 " + Quote(file)));
    return file;
  };
  // The ffmpeg tool's tone mapping of the same source is the reference.
  auto toneMapped = [&](const char* transfer, const char* source) {
    return [&, transfer, source](const std::string& output) {
      const std::string reference = scratch.File(std::string("reference_") + transfer + ".mkv");
      RunCommand(Ffmpeg("-i " + Quote(scratch.File(source)) +
                        " -vf zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=709,"
                        "tonemap=mobius,zscale=t=709:m=709:r=limited,format=yuv420p -c:v ffv1 " +
                        Quote(reference)));
      const std::string untouched = scratch.File(std::string("untouched_") + transfer + ".mkv");
      TCustomFFmpeg plain;
      plain.ApplyOptionText("autotonemap=0");
      ASSERT_TRUE(plain.OpenInputFile(scratch.File(source)));
      plain.ApplyOptionText("vcodec=ffv1\npix_fmt=yuv420p");
      ASSERT_TRUE(plain.OpenOutputFile(untouched));
      plain.TranscodeRun();
      ASSERT_TRUE(plain.Finished);
      // Shown as SDR untouched, BT.2020 colours look washed out.
      const PictureLevels got = MeasureLevels(output), expected = MeasureLevels(reference);
      EXPECT_NEAR(got.luma, expected.luma, 2.0);
      EXPECT_NEAR(got.saturation, expected.saturation, 3.0);
      EXPECT_GT(expected.saturation - MeasureLevels(untouched).saturation, 20.0)
          << "the source must not pass for an SDR picture";
      const auto video = *StreamOfType(ProbeStreams(output), "video");
      EXPECT_EQ(video.at("color_primaries"), "bt709");
      EXPECT_EQ(video.at("color_transfer"), "bt709");
      EXPECT_EQ(video.at("color_space"), "bt709");
    };
  };
  auto interlaced = [&]() {
    const std::string file = scratch.File("interlaced.mpg");
    RunCommand(
        Ffmpeg("-f lavfi -i testsrc2=s=720x480:r=60000/1001:d=1 -vf tinterlace=mode=interleave_top,"
               "setfield=tff -c:v mpeg2video -flags +ilme+ildct -top 1 -b:v 8M " +
               Quote(file)));
    return file;
  };

  auto deinterlaced = [](const std::string& output) {
    // The detector needs a few pictures to settle, as on the ffmpeg tool's
    // own deinterlacing of this source.
    const FieldCounts fields = DetectFields(output);
    EXPECT_GT(fields.progressive, 20);
    EXPECT_LE(fields.interlaced, 5);
    EXPECT_EQ(CountFrames(output, "v:0"), 30) << "the deinterlacer's last picture too";
  };

  const std::vector<Case> cases = {
      {"phone clip turned 90",
       [&] { return phoneClip("transpose=cclock", 90); },
       {},
       {"vcodec=mpeg4", "qscale=2"},
       "upright90.mp4",
       uprightWithMarkTopLeft},
      {"phone clip turned 270",
       [&] { return phoneClip("transpose=clock", 270); },
       {},
       {"vcodec=mpeg4", "qscale=2"},
       "upright270.mp4",
       uprightWithMarkTopLeft},
      {"phone clip turned over",
       [&] {
         const std::string file = scratch.File("phone180.mp4");
         RunCommand(Ffmpeg("-f lavfi -i " + Quote(MarkedPicture(640, 360) + ",hflip,vflip") +
                           " -c:v libx264 -preset ultrafast -pix_fmt yuv420p " + Quote(file)));
         RunCommand("python3 " + Quote(SupportScript("rotate_mp4.py")) + " " + Quote(file) +
                    " 180");
         return file;
       },
       {},
       {"vcodec=mpeg4", "qscale=2"},
       "upright180.mp4",
       [](const std::string& output) {
         const Picture picture = GrabPicture(output, 0.5);
         ASSERT_EQ(picture.width, 640);
         EXPECT_GT(picture.Mean(0, 0, 160, 90), 200);
         EXPECT_LT(picture.Mean(480, 270, 640, 360), 160);
       }},
      {"phone clip kept as stored",
       [&] { return phoneClip("transpose=cclock", 90); },
       {"autorotate=0"},
       {"vcodec=mpeg4"},
       "stored.mp4",
       [](const std::string& output) {
         // Sideways pixels, and the matrix that tells a player to turn them.
         const std::string rotation = RunCommand(
             "ffprobe -v error -select_streams v:0 -show_entries stream_side_data=rotation -of "
             "csv=p=0 " +
             Quote(output));
         EXPECT_EQ(rotation.substr(0, 3), "-90");
         const auto video = *StreamOfType(ProbeStreams(output), "video");
         EXPECT_EQ(video.at("width"), "640");
       }},
      {"anamorphic 16:9 DVD",
       [&] {
         const std::string file = scratch.File("dvd.mpg");
         RunCommand(
             Ffmpeg("-f lavfi -i testsrc2=s=720x480:r=30000/1001:d=1 -vf setsar=32/27 "
                    "-c:v mpeg2video -b:v 6M " +
                    Quote(file)));
         return file;
       },
       {},
       {"vcodec=mpeg4", "s=360x240"},
       "dvd.mp4",
       [](const std::string& output) {
         // The shape is kept: 16:9 in 360x240 takes pixels 4:3 wide.
         const auto video = *StreamOfType(ProbeStreams(output), "video");
         EXPECT_EQ(video.at("display_aspect_ratio"), "16:9");
       }},
      {"the default of two sound tracks",
       [&] { return TwoTracks("marked.mkv", 2, false, true); },
       {},
       {"vn=1"},
       "marked.wav",
       [](const std::string& output) {
         EXPECT_GT(ToneLevel(output, 1000), ToneLevel(output, 440) + 20);
       }},
      {"the widest of two sound tracks",
       [&] { return TwoTracks("widest.mkv", 6, false, false); },
       {},
       {"vn=1", "ac=2"},
       "widest.wav",
       [](const std::string& output) {
         EXPECT_GT(ToneLevel(output, 1000), ToneLevel(output, 440) + 20);
       }},
      {"the sound track chosen",
       [&] { return TwoTracks("chosen.mkv", 2, false, true); },
       {"atrack=1"},
       {"vn=1"},
       "chosen.wav",
       [](const std::string& output) {
         EXPECT_GT(ToneLevel(output, 440), ToneLevel(output, 1000) + 20);
       }},
      {"a film with a cover",
       [&] {
         // The cover comes after the film, as MP4 files keep it.
         const std::string cover = scratch.File("poster.png");
         RunCommand(Ffmpeg("-f lavfi -i color=c=red:s=200x300 -frames:v 1 " + Quote(cover)));
         const std::string file = scratch.File("film_cover.mp4");
         RunCommand(
             Ffmpeg("-f lavfi -i testsrc2=s=320x240:r=25:d=1 -i " + Quote(cover) +
                    " -map 0 -map 1 -c:v:0 mpeg4 -c:v:1 copy -disposition:v:1 attached_pic " +
                    Quote(file)));
         return file;
       },
       {},
       {"vcodec=mpeg4"},
       "film.mp4",
       [](const std::string& output) {
         const auto streams = ProbeStreams(output);
         ASSERT_EQ(streams.size(), 1u);
         EXPECT_EQ(streams[0].at("width"), "320");
       }},
      {"tagged FLAC into MP3",
       [&] { return TaggedMusic("song.flac", "jpg"); },
       {},
       {},
       "song.mp3",
       [](const std::string& output) {
         const Fields format = ProbeFormat(output);
         for (const auto& [tag, value] :
              std::vector<std::pair<std::string, std::string>>{{"title", "Harbour"},
                                                               {"artist", "Gulls"},
                                                               {"album_artist", "Various"},
                                                               {"album", "Coast"},
                                                               {"track", "3/12"},
                                                               {"disc", "1/2"},
                                                               {"date", "2021"},
                                                               {"genre", "Jazz"},
                                                               {"composer", "Tide"},
                                                               {"comment", "Windy"}}) {
           EXPECT_EQ(Tag(format, tag), value) << tag;
         }
         EXPECT_TRUE(HasCover(output, "mjpeg"));
         EXPECT_EQ(RunCommand("head -c 4 " + Quote(output) + " | od -An -tx1"), " 49 44 33 03\n")
             << "ID3 version 2.3";
       }},
      {"tagged MP3 into M4A with the title set",
       [&] { return TaggedMusic("song.mp3", "png"); },
       {},
       {"title=Lighthouse"},
       "song.m4a",
       [](const std::string& output) {
         const Fields format = ProbeFormat(output);
         EXPECT_EQ(Tag(format, "title"), "Lighthouse");
         EXPECT_EQ(Tag(format, "artist"), "Gulls");
         EXPECT_EQ(Tag(format, "track"), "3/12");
         EXPECT_TRUE(HasCover(output, "png"));
       }},
      {"a GIF cover into M4A",
       [&] { return TaggedMusic("gif_cover.mp3", "gif"); },
       {},
       {},
       "gif_cover.m4a",
       [](const std::string& output) { EXPECT_TRUE(HasCover(output, "png")); }},
      {"tagged FLAC into WMA",
       [&] { return TaggedMusic("song_wma.flac", "jpg"); },
       {},
       {},
       "song.wma",
       [](const std::string& output) {
         const Fields format = ProbeFormat(output);
         EXPECT_EQ(Tag(format, "album"), "Coast");
         EXPECT_EQ(Tag(format, "genre"), "Jazz");
         EXPECT_EQ(StreamOfType(ProbeStreams(output), "video"), nullptr);
       }},
      {"Ogg Vorbis keeps its comments with the sound",
       [&] {
         const std::string file = scratch.File("song.ogg");
         RunCommand(
             Ffmpeg("-f lavfi -i sine=f=440:d=2 -c:a libvorbis -metadata:s:a:0 TITLE=Harbour "
                    "-metadata:s:a:0 ARTIST=Gulls -metadata:s:a:0 TRACKNUMBER=3 -metadata:s:a:0 "
                    "TRACKTOTAL=12 " +
                    Quote(file)));
         return file;
       },
       {},
       {},
       "ogg.mp3",
       [](const std::string& output) {
         const Fields format = ProbeFormat(output);
         EXPECT_EQ(Tag(format, "title"), "Harbour");
         EXPECT_EQ(Tag(format, "artist"), "Gulls");
         EXPECT_EQ(Tag(format, "track"), "3/12");
       }},
      {"PQ",
       [&] { return hdrClip("smpte2084", "pq.mkv"); },
       {},
       {"vcodec=ffv1", "pix_fmt=yuv420p"},
       "pq_sdr.mkv",
       toneMapped("smpte2084", "pq.mkv")},
      {"HLG",
       [&] { return hdrClip("arib-std-b67", "hlg.mkv"); },
       {},
       {"vcodec=ffv1", "pix_fmt=yuv420p"},
       "hlg_sdr.mkv",
       toneMapped("arib-std-b67", "hlg.mkv")},
      {"interlaced", interlaced, {}, {"vcodec=ffv1"}, "progressive.mkv", deinterlaced},
      {"interlaced, pictures on a thread of their own",
       interlaced,
       {},
       {"vcodec=ffv1"},
       "progressive_threaded.mkv",
       deinterlaced,
       2},
      {"interlaced kept",
       interlaced,
       {},
       {"vcodec=ffv1", "autodeinterlace=0"},
       "combed.mkv",
       [](const std::string& output) {
         const FieldCounts fields = DetectFields(output);
         EXPECT_GT(fields.interlaced, 20) << "the source must show combs when not deinterlaced";
       }},
      {"palette pictures, cropped",
       [&] {
         const std::string file = scratch.File("palette.gif");
         RunCommand(Ffmpeg("-f lavfi -i " + Quote(MarkedPicture(320, 240)) + " " + Quote(file)));
         return file;
       },
       {},
       {"vcodec=mpeg4", "qscale=2", "croptop=40", "cropleft=40"},
       "palette.mp4",
       [](const std::string& output) {
         const Picture picture = GrabPicture(output, 0.5);
         ASSERT_EQ(picture.width, 280);
         ASSERT_EQ(picture.height, 200);
         // The white square, 80x60 from the corner, loses 40 of each side.
         const Area white = BrightArea(picture, 200);
         EXPECT_NEAR(white.width, 40, 2);
         EXPECT_NEAR(white.height, 20, 2);
         EXPECT_NEAR(picture.Mean(100, 100, 280, 200), 128, 6);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = c.make();
    const std::string output = scratch.File(c.output);
    TCustomFFmpeg task;
    task.Options.ThreadCount = c.threads;
    for (const std::string& line : c.in)
      task.ApplyOptionText(line);
    ASSERT_TRUE(task.OpenInputFile(source)) << task.ErrorText;
    for (const std::string& line : c.out)
      task.ApplyOptionText(line);
    ASSERT_TRUE(task.OpenOutputFile(output)) << task.ErrorText;
    task.TranscodeRun();
    ASSERT_FALSE(task.HasException) << task.ExceptionMessage;
    ASSERT_TRUE(task.Finished);
    c.check(output);
  }
}

}  // namespace
}  // namespace moskvid::test
