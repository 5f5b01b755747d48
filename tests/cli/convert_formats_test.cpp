// Every output format converts the standard clips into what its profile asks
// for, checked with ffprobe: codecs, sizes, rates and durations.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "support/test_support.h"

namespace moskvid::test {
namespace {

struct FormatCase {
  int number;
  const char* videoCodec;  // "" for audio formats
  int width, height;
  const char* audioCodec;
  int sampleRate;
  const char* profile;  // H.264 profile, or ""
};

class ConvertFormatsTest : public ::testing::TestWithParam<FormatCase> {
 protected:
  // Converts one source; the output path, or "" when the conversion failed.
  std::string Convert(const std::string& source, std::string* messages = nullptr) {
    int status = -1;
    const std::string command = "MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " +
                                std::string(MOSKVID_CLI) + " convert --quiet --format " +
                                std::to_string(GetParam().number) + " --output-dir " +
                                Quote(scratch.Path()) + " " + Quote(Media(source));
    const std::string out = RunCommand(command + " 2>" + Quote(scratch.File("err.txt")), &status);
    if (messages) *messages = RunCommand("cat " + Quote(scratch.File("err.txt")));
    if (status != 0 || out.empty()) return "";
    return out.substr(0, out.find('\n'));
  }

  static std::string Get(const Fields& fields, const std::string& key) {
    auto found = fields.find(key);
    return found == fields.end() ? "<missing " + key + ">" : found->second;
  }

  static const Fields* Stream(const std::vector<Fields>& streams, const std::string& type) {
    for (const Fields& s : streams) {
      if (s.count("codec_type") && s.at("codec_type") == type) return &s;
    }
    return nullptr;
  }

  void CheckAudio(const std::string& out, double seconds) {
    const FormatCase& c = GetParam();
    const auto streams = ProbeStreams(out);
    const Fields* audio = Stream(streams, "audio");
    ASSERT_NE(audio, nullptr) << out;
    EXPECT_EQ(Get(*audio, "codec_name"), c.audioCodec);
    EXPECT_EQ(Get(*audio, "sample_rate"), std::to_string(c.sampleRate));
    EXPECT_EQ(Get(*audio, "channels"), "2");
    if (std::string(c.audioCodec) == "aac") {
      EXPECT_EQ(Get(*audio, "profile"), "LC");
    }
    EXPECT_NEAR(CountSamples(out) / static_cast<double>(c.sampleRate), seconds, 0.1) << out;
  }

  void CheckVideo(const std::string& out, double seconds) {
    const FormatCase& c = GetParam();
    const auto streams = ProbeStreams(out);
    const Fields* video = Stream(streams, "video");
    ASSERT_NE(video, nullptr) << out;
    EXPECT_EQ(Get(*video, "codec_name"), c.videoCodec);
    EXPECT_EQ(Get(*video, "width"), std::to_string(c.width));
    EXPECT_EQ(Get(*video, "height"), std::to_string(c.height));
    EXPECT_EQ(Get(*video, "r_frame_rate"), "30000/1001");
    EXPECT_EQ(Get(*video, "pix_fmt"), "yuv420p");
    if (*c.profile) {
      EXPECT_EQ(Get(*video, "profile"), c.profile);
    }
    EXPECT_NEAR(CountFrames(out, "v:0"), seconds * 30000 / 1001, 2) << out;
  }

  ScratchDir scratch;
};

TEST_P(ConvertFormatsTest, StandardClips) {
  const FormatCase& c = GetParam();
  const bool video = *c.videoCodec != 0;

  for (const auto& [source, seconds] :
       {std::pair<const char*, double>{"h264_aac_1080p.mp4", 2.0}, {"mpeg4_mp3_720p.avi", 3.0}}) {
    const std::string out = Convert(source);
    ASSERT_FALSE(out.empty()) << source;
    if (video) {
      CheckVideo(out, seconds);
    } else {
      EXPECT_EQ(Stream(ProbeStreams(out), "video"), nullptr) << "audio formats carry no video";
    }
    CheckAudio(out, seconds);
  }

  // A mono 22.05 kHz recording.
  const std::string wav = Convert("audio_mono_22k.wav");
  ASSERT_FALSE(wav.empty());
  EXPECT_EQ(Stream(ProbeStreams(wav), "video"), nullptr);
  CheckAudio(wav, 3.0);

  // A still picture: one picture for video formats, nothing to make for audio ones.
  std::string messages;
  const std::string still = Convert("still.png", &messages);
  if (video) {
    ASSERT_FALSE(still.empty()) << messages;
    const auto streams = ProbeStreams(still);
    const Fields* picture = Stream(streams, "video");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(Get(*picture, "width"), std::to_string(c.width));
    EXPECT_GE(CountFrames(still, "v:0"), 1);
  } else {
    EXPECT_TRUE(still.empty());
    EXPECT_NE(messages.find("Output file does not contain any stream"), std::string::npos)
        << messages;
  }
}

const FormatCase kFormats[] = {
    {0, "mpeg4", 720, 480, "aac", 48000, ""},
    {1, "mpeg4", 720, 480, "aac", 48000, ""},
    {2, "mpeg4", 1280, 720, "aac", 48000, ""},
    {3, "mpeg4", 1920, 1080, "aac", 48000, ""},
    {4, "mpeg4", 480, 272, "aac", 48000, ""},
    {5, "mpeg4", 320, 240, "aac", 48000, ""},
    {6, "mpeg4", 320, 240, "aac", 24000, ""},
    {7, "h264", 480, 272, "aac", 48000, "Main"},
    {8, "h264", 720, 480, "aac", 48000, "Main"},
    {9, "", 0, 0, "mp3", 44100, ""},
    {10, "", 0, 0, "aac", 44100, ""},
    {11, "", 0, 0, "pcm_s16le", 44100, ""},
    {12, "", 0, 0, "wmav2", 44100, ""},
    {13, "", 0, 0, "aac", 44100, ""},
};
INSTANTIATE_TEST_SUITE_P(AllFormats, ConvertFormatsTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) {
                           return "Format" + std::to_string(info.param.number);
                         });

}  // namespace
}  // namespace moskvid::test

namespace moskvid::test {
namespace {

class ConvertCommandTest : public ::testing::Test {
 protected:
  // Runs `convert` with the scratch configuration; the output path or "".
  std::string Convert(const std::string& arguments, int* status = nullptr) {
    int code = -1;
    const std::string out =
        RunCommand("MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " +
                       std::string(MOSKVID_CLI) + " convert --quiet --output-dir " +
                       Quote(scratch.Path()) + " " + arguments + " 2>/dev/null",
                   &code);
    if (status) *status = code;
    return code == 0 ? out.substr(0, out.find('\n')) : "";
  }

  // entropy_coding_mode_flag of the first picture parameter set: 1 for CABAC.
  static std::string EntropyFlag(const std::string& file) {
    return RunCommand("ffmpeg -v info -nostdin -i " + Quote(file) +
                      " -map 0:v -c copy -bsf:v trace_headers -f null - 2>&1 | grep -m1 "
                      "entropy_coding_mode_flag | awk '{print $NF}'");
  }

  ScratchDir scratch;
};

TEST_F(ConvertCommandTest, H264SettingsReachTheEncoder) {
  const std::string out = Convert("--format 7 " + Quote(Media("h264_aac.mp4")));
  ASSERT_FALSE(out.empty());
  const auto streams = ProbeStreams(out);
  EXPECT_EQ(streams[0].at("profile"), "Main");
  EXPECT_EQ(streams[0].at("level"), "21");
  EXPECT_EQ(EntropyFlag(out), "1\n");

  // A stored choice wins over the profile: CAVLC.
  RunCommand(
      "printf '[formatInfo7]\\nparaVideoEncoder=libx264\\nparaCoder=0\\nparaLevel=13\\n' > " +
      Quote(scratch.File("moskvid.ini")));
  const std::string cavlc = Convert("--format 7 " + Quote(Media("h264_aac.mp4")));
  ASSERT_FALSE(cavlc.empty());
  EXPECT_EQ(EntropyFlag(cavlc), "0\n");
  EXPECT_EQ(ProbeStreams(cavlc)[0].at("level"), "13");
}

TEST_F(ConvertCommandTest, TrimKeepsTheChosenPartInStep) {
  const std::string out =
      Convert("--format 5 --start 00:00:05 --length 3.0 " + Quote(Media("sync_25.mp4")));
  ASSERT_FALSE(out.empty());
  EXPECT_NEAR(CountFrames(out, "v:0"), 3 * 30000 / 1001.0, 2);
  EXPECT_NEAR(CountSamples(out) / 48000.0, 3.0, 0.05);
  // The mark at 7 s of the source is now at 2 s.
  EXPECT_NEAR(Nearest(FlashTimes(out), 2), 2.0, 0.05);
  EXPECT_NEAR(Nearest(BeepTimes(out), 2), Nearest(FlashTimes(out), 2), 0.04);
}

TEST_F(ConvertCommandTest, CropAndZoomModes) {
  // Keeping the original size: the crop shows in the output's size.
  const std::string orig =
      Convert("--format 5 --zoom orig --crop 40:40:0:0 " + Quote(Media("h264_aac.mp4")));
  ASSERT_FALSE(orig.empty());
  EXPECT_EQ(ProbeStreams(orig)[0].at("width"), "320");
  EXPECT_EQ(ProbeStreams(orig)[0].at("height"), "160");
  // Letter box of a wide picture into 320x240: bars above and below.
  const std::string boxed = Convert("--format 5 " + Quote(Media("h264_aac_1080p.mp4")));
  ASSERT_FALSE(boxed.empty());
  EXPECT_EQ(ProbeStreams(boxed)[0].at("height"), "240");
  const Picture picture = GrabPicture(boxed, 1.0);
  EXPECT_LT(picture.Mean(0, 0, 320, 25), 20);  // the bar is black
  EXPECT_GT(picture.Mean(0, 60, 320, 180), 40);
}

// Sources that differ only in their extension get outputs of their own, and
// each output holds its own source (told apart by their lengths).
TEST_F(ConvertCommandTest, SourcesWithOneStemGetOutputsOfTheirOwn) {
  const std::string sources = scratch.File("sources");
  std::filesystem::create_directory(sources);
  std::filesystem::copy_file(Media("h264_aac.mkv"), sources + "/clip.mkv");
  std::filesystem::copy_file(Media("h264_aac_1080p.mp4"), sources + "/clip.mp4");
  int status = -1;
  const std::string printed = RunCommand(
      "MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " + std::string(MOSKVID_CLI) +
          " convert --quiet --format 5 --output-dir " + Quote(scratch.Path()) + " " +
          Quote(sources + "/clip.mkv") + " " + Quote(sources + "/clip.mp4") + " 2>/dev/null",
      &status);
  EXPECT_EQ(status, 0);
  const std::string first = scratch.File("clip_(new).mp4");
  const std::string second = scratch.File("clip_(new_1).mp4");
  EXPECT_EQ(printed, first + "\n" + second + "\n");
  for (const auto& [out, seconds] : {std::pair{first, 3.0}, std::pair{second, 2.0}}) {
    ASSERT_TRUE(std::filesystem::exists(out)) << out;
    const auto streams = ProbeStreams(out);
    ASSERT_EQ(streams.size(), 2u) << out;
    EXPECT_NEAR(ToDouble(ProbeFormat(out).at("duration")), seconds, 0.1) << out;
    EXPECT_NEAR(CountFrames(out, "v:0"), seconds * 30000 / 1001, 2) << out;
    EXPECT_NEAR(CountSamples(out) / 48000.0, seconds, 0.1) << out;
  }
}

// A batch longer than one part: each job is built from its file just before
// it runs, with the settings and names given at the start, and a file that
// cannot be read is still told before the run.
TEST_F(ConvertCommandTest, LaterPartsAreBuiltFromTheirFiles) {
  const std::string sources = scratch.File("sources");
  std::filesystem::create_directory(sources);
  RunCommand("ffmpeg -v error -nostdin -f lavfi -i sine=sample_rate=44100:duration=0.4 -ac 2 " +
             Quote(sources + "/c01.wav"));
  constexpr int kFiles = 70;
  for (int n = 2; n <= kFiles; ++n) {
    const std::string name = sources + "/c" + (n < 10 ? "0" : "") + std::to_string(n) + ".wav";
    if (n == 67) {
      std::FILE* file = std::fopen(name.c_str(), "w");
      std::fputs("not a sound file", file);
      std::fclose(file);
    } else {
      std::filesystem::copy_file(sources + "/c01.wav", name);
    }
  }
  // Each file is looked at once for its header and opened once to convert,
  // in the first part and in later ones alike.
  std::vector<std::unique_ptr<OpenCounter>> opens;
  for (const char* name : {"/c01.wav", "/c66.wav", "/c70.wav"})
    opens.push_back(std::make_unique<OpenCounter>(sources + name));
  int status = -1;
  const std::string printed = RunCommand(
      "MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " + std::string(MOSKVID_CLI) +
          " convert --quiet --format 9 --length 0.2 --output-dir " + Quote(scratch.Path()) + " " +
          Quote(sources) + " 2>" + Quote(scratch.File("err.txt")),
      &status);
  EXPECT_EQ(status, 1);
  const std::string errors = RunCommand("cat " + Quote(scratch.File("err.txt")));
  EXPECT_NE(errors.find("c67.wav"), std::string::npos) << errors;
  std::string expected;
  for (int n = 1; n <= kFiles; ++n) {
    if (n == 67) continue;
    expected +=
        scratch.File("c" + std::string(n < 10 ? "0" : "") + std::to_string(n) + "_(new).mp3") +
        "\n";
  }
  EXPECT_EQ(printed, expected);
  for (auto& counter : opens)
    EXPECT_EQ(counter->Opens(), 2);
  for (const char* last : {"c66_(new).mp3", "c70_(new).mp3"}) {
    const std::string out = scratch.File(last);
    const auto streams = ProbeStreams(out);
    ASSERT_EQ(streams.size(), 1u) << out;
    EXPECT_EQ(streams[0].at("codec_name"), "mp3");
    EXPECT_NEAR(CountSamples(out) / 44100.0, 0.2, 0.05) << out;
  }
}

TEST_F(ConvertCommandTest, BadArgumentsAreRefused) {
  int status = 0;
  for (const char* args : {"--format 14 x.mp4", "--crop 1:2:3 x.mp4", "--crop 1:2:3:4 x.mp4",
                           "--zoom wide x.mp4", "--start 1:xx x.mp4", ""}) {
    Convert(args, &status);
    EXPECT_EQ(status, 2) << args;
  }
  Convert(Quote(Media("random.mp4")), &status);
  EXPECT_EQ(status, 1);
}

}  // namespace
}  // namespace moskvid::test

namespace moskvid::test {
namespace {

// Several files at a time: every output whole, the progress named by file,
// and --quiet leaving nothing but the paths.
TEST(ConvertJobsTest, SideBySideProgressAndQuiet) {
  ScratchDir scratch;
  const std::vector<std::string> sources = {Media("audio.mp3"), Media("audio_mono_22k.wav"),
                                            Media("h264_aac.mp4")};
  std::string files;
  for (const std::string& source : sources)
    files += " " + Quote(source);
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "told");
    const std::string folder = scratch.File(quiet ? "q" : "t");
    std::filesystem::create_directory(folder);
    int status = -1;
    const std::string out = RunCommand(
        "MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " + std::string(MOSKVID_CLI) +
            " convert --jobs 2 --format 9 --output-dir " + Quote(folder) +
            (quiet ? " --quiet" : "") + files + " 2>" + Quote(scratch.File("err.txt")),
        &status);
    const std::string err = RunCommand("cat " + Quote(scratch.File("err.txt")));
    ASSERT_EQ(status, 0) << err;
    std::vector<std::string> paths;
    for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
      paths.push_back(out.substr(start, end - start));
    ASSERT_EQ(paths.size(), 3u) << out;
    for (const std::string& path : paths)
      EXPECT_GT(CountSamples(path), 44100 * 2.9) << path;  // three seconds or more each
    if (quiet) {
      EXPECT_EQ(err, "");
    } else {
      EXPECT_NE(err.find("Converting 3 files, 2 at a time"), std::string::npos) << err;
      for (const std::string& source : sources)
        EXPECT_NE(err.find("progress: " + source + ": "), std::string::npos) << err;
    }
  }
}

// The pictures per second shown are those reached, also within the first
// second, where the engine's own figure is still 0.
TEST(ConvertJobsTest, ShortRunsShowTheirRealRate) {
  ScratchDir scratch;
  const std::string err =
      RunCommand("MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " +
                 std::string(MOSKVID_CLI) + " convert --format 0 --output-dir " +
                 Quote(scratch.Path()) + " " + Quote(Media("h264_aac.mp4")) + " 2>&1 >/dev/null");
  int lines = 0;
  for (size_t at = err.find("frame "); at != std::string::npos; at = err.find("frame ", at + 1)) {
    int frame = -1, fps = -1;
    ASSERT_EQ(std::sscanf(err.c_str() + at, "frame %d  fps %d", &frame, &fps), 2) << err;
    if (frame > 0) {
      EXPECT_GT(fps, 0) << err;
    }
    ++lines;
  }
  EXPECT_GT(lines, 0) << err;
}

}  // namespace
}  // namespace moskvid::test

namespace moskvid::test {
namespace {

// What each video format promises a player: its stated rates, and the
// device limits read back from the stream.
struct DeviceCase {
  int number;
  const char* size;  // a smaller stored size where the format offers one, or ""
  int videoKbps, audioKbps;
  const char* codec;
  const char* profile;
  int level;                 // H.264 level, or 0
  int maxRefs;               // the level's decoded-picture buffer at the format's size, or 0
  const char* quality = "";  // --quality, or "" for the stored one
};

class DeviceFormatsTest : public ::testing::TestWithParam<DeviceCase> {
 protected:
  // A 15 s clip with motion and grain in every picture, made once.
  static void SetUpTestSuite() {
    clips = new ScratchDir;
    RunCommand(
        "ffmpeg -v error -nostdin -y -f lavfi -i "
        "testsrc2=size=640x480:rate=30000/1001:duration=15,noise=alls=12:allf=t "
        "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=15 -c:v libx264 "
        "-preset ultrafast -crf 20 -c:a aac -b:a 192k " +
        Quote(clips->File("motion.mp4")));
  }
  static void TearDownTestSuite() {
    delete clips;
    clips = nullptr;
  }

  // max_num_ref_frames of the first sequence parameter set.
  static int ReferenceFrames(const std::string& file) {
    return std::atoi(RunCommand("ffmpeg -v info -nostdin -i " + Quote(file) +
                                " -map 0:v -c copy -bsf:v trace_headers -f null - 2>&1 | grep "
                                "-m1 max_num_ref_frames | awk '{print $NF}'")
                         .c_str());
  }

  static ScratchDir* clips;
  ScratchDir scratch;
};
ScratchDir* DeviceFormatsTest::clips = nullptr;

TEST_P(DeviceFormatsTest, SizeHoldsWithinTheDeviceLimits) {
  const DeviceCase& c = GetParam();
  const std::string section = "[formatInfo" + std::to_string(c.number) + "]";
  std::string config = section + "\\n";
  if (*c.size) config += "paraVideoSize=" + std::string(c.size) + "\\n";
  RunCommand("printf '" + config + "' > " + Quote(scratch.File("moskvid.ini")));
  // Run in the scratch folder with a temporary folder of its own: a second
  // pass's statistics must be left in neither.
  RunCommand("mkdir -p " + Quote(scratch.File("tmp")));
  const std::string quality = *c.quality ? " --quality " + std::string(c.quality) : "";
  const std::string out = RunCommand(
      "cd " + Quote(scratch.Path()) + " && TMPDIR=" + Quote(scratch.File("tmp")) +
      " MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " + std::string(MOSKVID_CLI) +
      " convert --quiet --format " + std::to_string(c.number) + quality + " --output-dir " +
      Quote(scratch.Path()) + " " + Quote(clips->File("motion.mp4")) + " 2>/dev/null");
  const std::string file = out.substr(0, out.find('\n'));
  ASSERT_FALSE(file.empty());

  // The file holds its stated rate, picture and sound together.
  const Fields format = ProbeFormat(file);
  const double seconds = ToDouble(format.at("duration"));
  EXPECT_NEAR(seconds, 15.0, 0.2);
  const double kbps = ToDouble(format.at("size")) * 8 / 1000 / seconds;
  EXPECT_NEAR(kbps / (c.videoKbps + c.audioKbps), 1.0, 0.05)
      << kbps << " kbit/s against " << c.videoKbps << " + " << c.audioKbps;

  EXPECT_EQ(RunCommand("cd " + Quote(scratch.Path()) + " && ls -A tmp; ls *.log 2>/dev/null"), "");

  // What a player checks before it plays.
  const Fields video = ProbeStreams(file)[0];
  EXPECT_EQ(video.at("codec_name"), c.codec);
  EXPECT_EQ(video.at("profile"), c.profile);
  if (c.level > 0) {
    EXPECT_EQ(video.at("level"), std::to_string(c.level));
    const int refs = ReferenceFrames(file);
    EXPECT_GE(refs, 1);
    EXPECT_LE(refs, c.maxRefs);
    // x264 writes its settings into the stream: "best" encodes twice.
    const std::string twoPasses =
        RunCommand("strings " + Quote(file) + " | grep -c 'rc=2pass' || true");
    EXPECT_EQ(std::atoi(twoPasses.c_str()) > 0, std::string(c.quality) == "best");
  } else {
    EXPECT_EQ(video.at("has_b_frames"), "0") << "Simple Profile has no B-pictures";
    // A key picture every half second: 30 in 450 pictures.
    const std::string keys = RunCommand(
        "ffprobe -v error -select_streams v -skip_frame nokey -count_frames -show_entries "
        "stream=nb_read_frames -of csv=p=0 " +
        Quote(file));
    EXPECT_GE(std::atoi(keys.c_str()), 30) << keys;
    EXPECT_LE(std::atoi(keys.c_str()), 31) << keys;
  }
}

// The PS3 formats at their smaller sizes, to keep the run short.
const DeviceCase kDeviceFormats[] = {
    {0, "320x240", 2000, 128, "mpeg4", "Simple Profile", 0, 0},
    {1, "640x480", 3000, 192, "mpeg4", "Simple Profile", 0, 0},
    {2, "720x480", 4000, 160, "mpeg4", "Simple Profile", 0, 0},
    {3, "1280x720", 8000, 192, "mpeg4", "Simple Profile", 0, 0},
    {4, "", 1000, 128, "mpeg4", "Simple Profile", 0, 0},
    {5, "", 512, 128, "mpeg4", "Simple Profile", 0, 0},
    {6, "", 256, 64, "mpeg4", "Simple Profile", 0, 0},
    // Level 2.1 holds 4752 macroblocks of pictures: 9 of 480x272.
    {7, "", 768, 128, "h264", "Main", 21, 9},
    // Level 3.0 holds 8100: 6 of 720x480.
    {8, "", 2000, 128, "h264", "Main", 30, 6},
    // "Best" encodes twice, within the same limits.
    {5, "", 512, 128, "mpeg4", "Simple Profile", 0, 0, "best"},
    {6, "", 256, 64, "mpeg4", "Simple Profile", 0, 0, "best"},
    {7, "", 768, 128, "h264", "Main", 21, 9, "best"},
};
INSTANTIATE_TEST_SUITE_P(VideoFormats, DeviceFormatsTest, ::testing::ValuesIn(kDeviceFormats),
                         [](const auto& info) {
                           return "Format" + std::to_string(info.param.number) +
                                  (*info.param.quality ? "Best" : "");
                         });

// Bars around a 4:3 picture in a 16:9 format are video black, luma 16 and
// neutral chroma, and leave the picture where the fit puts it.
TEST(BordersTest, PillarBoxBarsAreVideoBlack) {
  ScratchDir scratch;
  const std::string source = scratch.File("grey43.mp4");
  RunCommand(
      "ffmpeg -v error -nostdin -y -f lavfi -i color=c=gray:size=640x480:rate=25:duration=2 "
      "-c:v libx264 -preset ultrafast -pix_fmt yuv420p " +
      Quote(source));
  const std::string out = RunCommand("MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " +
                                     std::string(MOSKVID_CLI) +
                                     " convert --quiet --format 4 --zoom lbox --output-dir " +
                                     Quote(scratch.Path()) + " " + Quote(source) + " 2>/dev/null");
  const std::string file = out.substr(0, out.find('\n'));
  ASSERT_FALSE(file.empty());

  const Picture picture = GrabPicture(file, 1.0, true);
  ASSERT_EQ(picture.pixels.size(), 480u * 272 * 3 / 2);
  EXPECT_NEAR(picture.Mean(0, 0, 50, 272), 16, 1);
  EXPECT_NEAR(picture.Mean(430, 0, 480, 272), 16, 1);
  const uint8_t* u = picture.pixels.data() + 480 * 272;
  const uint8_t* v = u + 240 * 136;
  EXPECT_NEAR(u[68 * 240 + 10], 128, 1);
  EXPECT_NEAR(v[68 * 240 + 230], 128, 1);

  // The picture area the ffmpeg tool finds: 364 columns from column 58.
  const std::string crop = RunCommand(
      "ffmpeg -v info -nostdin -i " + Quote(file) +
      " -vf cropdetect=limit=24:round=2:reset=0 -f null - 2>&1 | grep -o 'crop=[0-9:]*' | tail -1");
  int width = 0, height = 0, x = 0, y = 0;
  ASSERT_EQ(std::sscanf(crop.c_str(), "crop=%d:%d:%d:%d", &width, &height, &x, &y), 4) << crop;
  EXPECT_NEAR(width, 364, 2);
  EXPECT_NEAR(x, 58, 2);
  EXPECT_EQ(height, 272);
  EXPECT_EQ(y, 0);
}

}  // namespace
}  // namespace moskvid::test
