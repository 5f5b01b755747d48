// moskvid-cli end to end: exit statuses, outputs and messages.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/test_support.h"

namespace moskvid::test {
namespace {

std::string Cli(const std::string& args, int* status, bool withErrors = true) {
  return RunCommand(std::string(MOSKVID_CLI) + " " + args + (withErrors ? " 2>&1" : " 2>/dev/null"),
                    status);
}

TEST(CliTest, CheckLibsListsTheSixLibraries) {
  int status = -1;
  const std::string out = Cli("check-libs", &status);
  EXPECT_EQ(status, 0) << out;
  for (const char* name : {"libavcodec.so.59", "libavfilter.so.8", "libavformat.so.59",
                           "libavutil.so.57", "libswscale.so.6", "libswresample.so.4"}) {
    EXPECT_NE(out.find(name), std::string::npos) << name;
  }
  ScratchDir empty;
  const std::string failed = Cli("check-libs --dir " + Quote(empty.Path()), &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(failed.rfind("Load libraray libavcodec.so.59 error: ", 0), 0u) << failed;
}

// Without --dir the libraries come from a "LibAV" folder beside the program
// when there is one, else from the system.
TEST(CliTest, CheckLibsPrefersTheLibAVFolderBesideTheProgram) {
  int status = -1;
  const std::string system = Cli("check-libs", &status, false);
  ASSERT_EQ(status, 0);
  ScratchDir dir;
  const std::string program = dir.File("moskvid-cli");
  std::filesystem::copy_file(MOSKVID_CLI, program);
  const std::string folder = dir.File("LibAV");
  auto checkLibs = [&](int* code) { return RunCommand(Quote(program) + " check-libs 2>&1", code); };

  EXPECT_EQ(checkLibs(&status), system);
  EXPECT_EQ(status, 0);
  // A file of that name is no folder: still the system's libraries.
  { std::ofstream(folder) << "x"; }
  EXPECT_EQ(checkLibs(&status), system);
  EXPECT_EQ(status, 0);
  std::filesystem::remove(folder);

  // An empty folder is used all the same, and the load fails there.
  std::filesystem::create_directory(folder);
  const std::string failed = checkLibs(&status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(
      failed.rfind("Load libraray libavcodec.so.59 error: " + folder + "/libavcodec.so.59", 0), 0u)
      << failed;

  // Filled with links to the system's files, it is where the codec library is
  // loaded from.
  std::istringstream lines(system);
  std::string name, version, path;
  while (lines >> name >> version >> path) {
    std::filesystem::create_symlink(path, folder + "/" + name);
  }
  const std::string loaded = checkLibs(&status);
  EXPECT_EQ(status, 0) << loaded;
  EXPECT_NE(loaded.find(folder + "/libavcodec.so.59\n"), std::string::npos) << loaded;
}

// The summaries name the encoders the installed libraries run: the
// profiles' old "libfaac" is "aac" here, and a stored encoder they lack is
// said to be missing.
TEST(CliTest, FormatsNameTheEncodersThatRun) {
  ScratchDir dir;
  const std::string config = dir.File("moskvid.ini");
  std::ofstream(config) << "[formatInfo10]\nparaAudioEncoder=libamr_nb\n";
  int status = -1;
  const std::string out = Cli("formats --config " + Quote(config), &status, false);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("libfaac"), std::string::npos) << out;
  const size_t psp = out.find("PSP MPEG-4 Normal Quality");
  ASSERT_NE(psp, std::string::npos);
  EXPECT_EQ(out.find("audio aac, 48000 Hz", psp), out.find("audio ", psp)) << out;
  EXPECT_NE(out.find("audio libamr_nb (not in the installed libraries), 44100 Hz"),
            std::string::npos)
      << out;
}

TEST(CliTest, BadArgumentsGiveTheUsageAndStatusTwo) {
  int status = -1;
  EXPECT_NE(Cli("", &status).find("Usage: moskvid-cli"), std::string::npos);
  EXPECT_EQ(status, 2);
  Cli("transcode onlyone.mp4", &status);
  EXPECT_EQ(status, 2);
  Cli("transcode --threads many a b", &status);
  EXPECT_EQ(status, 2);
  Cli("frobnicate", &status);
  EXPECT_EQ(status, 2);
}

TEST(CliTest, TranscodePrintsTheOutputAndFinishes) {
  ScratchDir dir;
  const std::string out = dir.File("out.mp4");
  int status = -1;
  const std::string printed =
      Cli("transcode --quiet " + Quote(Media("h264_aac.mp4")) +
              " --out vcodec=mpeg4 --out s=160x120 --out acodec=aac " + Quote(out),
          &status, false);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(printed, out + "\n");
  const auto streams = ProbeStreams(out);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("width"), "160");
  EXPECT_EQ(CountFrames(out, "v:0"), 75);

  const std::string failed =
      Cli("transcode " + Quote(Media("random.mp4")) + " " + Quote(dir.File("x.mp4")), &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(failed.find("Unknown format"), std::string::npos) << failed;
}

TEST(CliTest, InterruptStopsAndLeavesAPlayableFile) {
  ScratchDir dir;
  const std::string longer = dir.File("long.mp4");
  RunCommand(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=640x360:rate=25:duration=60 -c:v libx264 "
      "-preset ultrafast " +
      Quote(longer));
  const std::string out = dir.File("stopped.mp4");
  const std::string pidFile = dir.File("pid");
  // Started in the background; its process id lets the test interrupt it.
  RunCommand("( " + std::string(MOSKVID_CLI) + " transcode --quiet " + Quote(longer) +
             " --out vcodec=mpeg4 --threads 1 " + Quote(out) + " & echo $! > " + Quote(pidFile) +
             "; wait $!; echo $? > " + Quote(dir.File("status")) + " ) > /dev/null 2>&1 &");
  // The output is written under its part name until the run ends.
  const std::string part = out + ".part";
  for (int i = 0; i < 100 && !(std::filesystem::exists(part) && std::filesystem::exists(pidFile));
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int pid = std::stoi(RunCommand("cat " + Quote(pidFile)));
  ::kill(pid, SIGINT);
  for (int i = 0; i < 300 && !std::filesystem::exists(dir.File("status")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(std::stoi(RunCommand("cat " + Quote(dir.File("status")))), 1);
  const int frames = CountFrames(out, "v:0");
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 1500);
}

// A file of two sound tracks: the first English MP3 mono for one second,
// the second French AAC stereo for two seconds and marked as the default.
// info lists them and the tags; convert takes the default track, or the one
// --audio-track names.
TEST(CliTest, SoundTracksAndTags) {
  ScratchDir dir;
  const std::string clip = dir.File("two.mkv");
  RunCommand(
      "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=160x120:rate=25:duration=2"
      " -f lavfi -i sine=frequency=1000:sample_rate=22050:duration=1"
      " -f lavfi -i sine=frequency=500:sample_rate=48000:duration=2"
      " -map 0:v -map 1:a -map 2:a -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
      " -c:a:0 libmp3lame -ac:a:0 1 -c:a:1 aac -ac:a:1 2 -metadata:s:a:0 language=eng"
      " -metadata:s:a:1 language=fra -disposition:a:1 default -disposition:a:0 0"
      " -metadata title=Two -metadata artist=Someone " +
      Quote(clip));
  const auto streams = ProbeStreams(clip);
  ASSERT_EQ(streams.size(), 3u);
  ASSERT_EQ(streams[1].at("disposition.default"), "0");
  ASSERT_EQ(streams[2].at("disposition.default"), "1");
  ASSERT_EQ(ProbeFormat(clip).at("tags.title"), "Two");

  int status = -1;
  const std::string info = Cli("info " + Quote(clip), &status, false);
  EXPECT_EQ(status, 0);
  EXPECT_NE(info.find("sound tracks:\n"
                      "  Track 1: eng, mp3, 1 channel\n"
                      "  Track 2: fra, aac, 2 channels (default)  [converted]\n"
                      "tags:\n"
                      "  Title: Two\n"
                      "  Artist: Someone\n"),
            std::string::npos)
      << info;
  EXPECT_NE(Cli("info " + Quote(Media("video_only.mp4")), &status, false)
                .find("sound tracks: none\ntags: none\n"),
            std::string::npos);

  const struct {
    const char* option;
    int status;
    double seconds;       // of the output
    const char* message;  // on standard error
  } cases[] = {
      {"", 0, 2.0, ""},
      {"--audio-track 2", 0, 2.0, ""},
      {"--audio-track 1", 0, 1.0, ""},
      {"--audio-track 3", 1, 0, "two.mkv: there is no sound track 3 (the file has 2)"},
      {"--audio-track 0", 2, 0, "--audio-track takes the number of a sound track, from 1"},
      {"--audio-track first", 2, 0, "--audio-track takes the number of a sound track, from 1"},
      {"--audio-track", 2, 0, "--audio-track needs a value"},
  };
  for (const auto& c : cases) {
    ScratchDir out;
    const std::string errors = out.File("errors.txt");
    const std::string printed =
        RunCommand("MOSKVID_CONFIG=" + Quote(out.File("moskvid.ini")) + " " + MOSKVID_CLI +
                       " convert --quiet --format 9 --output-dir " + Quote(out.Path()) + " " +
                       Quote(clip) + " " + c.option + " 2>" + Quote(errors),
                   &status);
    EXPECT_EQ(status, c.status) << c.option;
    EXPECT_NE(RunCommand("cat " + Quote(errors)).find(c.message), std::string::npos) << c.option;
    if (c.status != 0) {
      EXPECT_EQ(printed, "") << c.option;
      continue;
    }
    const std::string file = printed.substr(0, printed.find('\n'));
    EXPECT_NEAR(ToDouble(ProbeFormat(file)["duration"]), c.seconds, 0.15) << c.option;
  }
}

// By default convert shows each file's progress, what concerns the user and
// the output paths; the libraries' log (stream dumps, encoder settings, the
// scaler's warning about a JPEG's range) and the engine's notes only with
// --verbose.
TEST(CliTest, ConvertShowsTheLibraryLogOnlyWhenVerbose) {
  for (const bool verbose : {false, true}) {
    SCOPED_TRACE(verbose ? "verbose" : "default");
    ScratchDir out;
    int status = -1;
    const std::string printed =
        RunCommand("MOSKVID_CONFIG=" + Quote(out.File("moskvid.ini")) + " " + MOSKVID_CLI +
                       " convert --format 1 --output-dir " + Quote(out.Path()) +
                       (verbose ? " --verbose " : " ") + Quote(Media("h264_aac.mp4")) + " " +
                       Quote(Media("still.jpg")) + " 2>" + Quote(out.File("errors.txt")),
                   &status);
    const std::string errors = RunCommand("cat " + Quote(out.File("errors.txt")));
    EXPECT_EQ(status, 0) << errors;
    EXPECT_EQ(printed, out.File("h264_aac_(new).mp4") + "\n" + out.File("still_(new).mp4") + "\n");
    for (const char* line : {"Input #0", "Stream mapping:", "is called 'aac' now", "[swscaler @ "})
      EXPECT_EQ(errors.find(line) != std::string::npos, verbose) << line;
    std::istringstream lines(errors);
    std::string others;  // than the files' progress
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("Converting ", 0) != 0 && line.rfind("progress: ", 0) != 0)
        others += line + "\n";
    EXPECT_TRUE(verbose || others.empty()) << others;
  }
}

TEST(CliTest, InfoAndSnapshot) {
  int status = -1;
  const std::string info = Cli("info " + Quote(Media("h264_aac.mp4")), &status, false);
  EXPECT_EQ(status, 0);
  EXPECT_NE(info.find("Format Name: mov,mp4,m4a,3gp,3g2,mj2"), std::string::npos) << info;
  EXPECT_NE(info.find("video #0: codec=h264 width=320 height=240"), std::string::npos) << info;
  EXPECT_NE(info.find("audio #1: codec=aac channels=2 sample_rate=44100"), std::string::npos);
  Cli("info " + Quote(Media("empty.mp4")), &status);
  EXPECT_EQ(status, 1);

  ScratchDir dir;
  const std::string bmp = dir.File("shot.bmp");
  const std::string printed = Cli(
      "snapshot " + Quote(Media("h264_aac.mp4")) + " --at 1 --out " + Quote(bmp), &status, false);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(printed, bmp + "\n");
  const auto streams = ProbeStreams(bmp);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("width"), "320");
  EXPECT_EQ(streams[0].at("height"), "240");
  // The picture is the one at 1 s, the right way up.
  const Picture saved = GrabPicture(bmp, 0);
  const Picture reference = GrabPicture(Media("h264_aac.mp4"), 1.0);
  ASSERT_EQ(saved.pixels.size(), reference.pixels.size());
  double difference = 0;
  for (size_t i = 0; i < saved.pixels.size(); ++i)
    difference += std::abs(saved.pixels[i] - reference.pixels[i]);
  EXPECT_LT(difference / static_cast<double>(saved.pixels.size()), 3);
}

// A snapshot never replaces a file nor writes through a link, under the
// default name or the one --out gives: a taken name gives the first free
// numbered one, and whatever was in the way is left as it was.
TEST(CliTest, SnapshotLandsUnderAFreeName) {
  enum InTheWay { kNothing, kFile, kDanglingLink, kLinkToAFile };
  const char* const names[] = {"nothing", "a file", "a dangling link", "a link to a file"};
  for (const std::string out : {"", "shot.bmp"}) {
    for (const InTheWay inTheWay : {kNothing, kFile, kDanglingLink, kLinkToAFile}) {
      SCOPED_TRACE((out.empty() ? "default name, " : "--out, ") + std::string(names[inTheWay]));
      ScratchDir dir;
      const std::string wanted = out.empty() ? "h264_aac_snapshot.bmp" : out;
      const std::string other = dir.File("other.bmp"), missing = dir.File("missing.bmp");
      std::ofstream(other) << "kept";
      if (inTheWay == kFile) std::filesystem::copy_file(other, dir.File(wanted));
      if (inTheWay == kDanglingLink) std::filesystem::create_symlink(missing, dir.File(wanted));
      if (inTheWay == kLinkToAFile) std::filesystem::create_symlink(other, dir.File(wanted));
      const std::string printed = RunCommand("cd " + Quote(dir.Path()) + " && " + MOSKVID_CLI +
                                             " snapshot " + Quote(Media("h264_aac.mp4")) +
                                             " --at 1 " + (out.empty() ? "" : "--out " + out));
      const std::string written =
          inTheWay == kNothing ? wanted : wanted.substr(0, wanted.size() - 4) + "_(new_1).bmp";
      EXPECT_EQ(printed, written + "\n");
      EXPECT_TRUE(RunCommand("cat " + Quote(other)) == "kept");
      EXPECT_TRUE(inTheWay != kFile || RunCommand("cat " + Quote(dir.File(wanted))) == "kept");
      EXPECT_FALSE(std::filesystem::exists(missing));
      const auto streams = ProbeStreams(dir.File(written));
      EXPECT_EQ(streams.empty() ? "" : streams[0].at("width"), "320");
    }
  }
}

}  // namespace
}  // namespace moskvid::test
