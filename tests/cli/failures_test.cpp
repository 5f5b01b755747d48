// moskvid-cli when a conversion cannot give what was asked for, and when an
// option is not known: exit status, messages and what is left on disk.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/test_support.h"

namespace moskvid::test {
namespace {

class CliFailuresTest : public ::testing::Test {
 protected:
  // Runs the program; standard output is returned, standard error kept in `errors`.
  std::string Cli(const std::string& args, int* status) {
    const std::string errorFile = scratch.File("stderr.txt");
    const std::string out =
        RunCommand("MOSKVID_CONFIG=" + Quote(scratch.File("moskvid.ini")) + " " +
                       std::string(MOSKVID_CLI) + " " + args + " 2>" + Quote(errorFile),
                   status);
    errors = RunCommand("cat " + Quote(errorFile));
    return out;
  }

  // Pictures at 25 fps for `videoSeconds` and five seconds of a tone.
  std::string Clip(const std::string& name, int videoSeconds) {
    const std::string file = scratch.File(name);
    RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=" +
               std::to_string(videoSeconds) +
               " -f lavfi -i sine=frequency=1000:duration=5 -c:v libx264 -preset ultrafast"
               " -pix_fmt yuv420p -c:a aac " +
               Quote(file));
    return file;
  }

  static bool EmptyFolder(const std::string& folder) {
    return !std::filesystem::exists(folder) || std::filesystem::is_empty(folder);
  }

  ScratchDir scratch;
  std::string errors;
};

TEST_F(CliFailuresTest, ConvertStartingAfterTheEndFailsAndLeavesNoFile) {
  const std::string clip = Clip("five.mp4", 5);
  const std::string folder = scratch.File("out");
  int status = -1;
  const std::string printed =
      Cli("convert --start 00:01:00 --output-dir " + Quote(folder) + " " + Quote(clip), &status);
  EXPECT_EQ(status, 1) << errors;
  EXPECT_EQ(printed, "");
  EXPECT_NE(errors.find("00:01:00.000"), std::string::npos) << errors;
  EXPECT_NE(errors.find("00:00:05"), std::string::npos) << errors;
  EXPECT_TRUE(EmptyFolder(folder));

  // The same clip from inside its length converts.
  const std::string done =
      Cli("convert --start 00:00:04 --output-dir " + Quote(folder) + " " + Quote(clip), &status);
  EXPECT_EQ(status, 0) << errors;
  ASSERT_FALSE(done.empty());
  const std::string out = done.substr(0, done.find('\n'));
  EXPECT_NEAR(ToDouble(ProbeFormat(out)["duration"]), 1.0, 0.15) << out;
}

TEST_F(CliFailuresTest, TranscodeWithoutTheVideoItAskedForFails) {
  const std::string clip = Clip("short-video.mp4", 1);
  const std::string out = scratch.File("no-video.mp4");
  int status = -1;
  const std::string printed = Cli(
      "transcode " + Quote(clip) + " --in ss=3 --out vcodec=mpeg4 --out acodec=aac " + Quote(out),
      &status);
  EXPECT_EQ(status, 1) << errors;
  EXPECT_EQ(printed, "");
  EXPECT_NE(errors.find("No video packet was written"), std::string::npos) << errors;
  EXPECT_FALSE(std::filesystem::exists(out));

  // Asking for the sound alone is a whole conversion.
  const std::string sound = scratch.File("sound.m4a");
  EXPECT_EQ(Cli("transcode " + Quote(clip) + " --in ss=3 --out vn=1 " + Quote(sound), &status),
            sound + "\n");
  EXPECT_EQ(status, 0) << errors;
  EXPECT_NEAR(CountSamples(sound) / 44100.0, 2.0, 0.1);
}

TEST_F(CliFailuresTest, TranscodeWarnsOfUnknownOptionsOnStandardError) {
  const std::string clip = Clip("five.mp4", 5);
  const std::string out = scratch.File("out.mp4");
  int status = -1;
  const std::string printed =
      Cli("transcode " + Quote(clip) +
              " --out crff=20 --out vcodec=libx264 --out preset=ultrafast " + Quote(out),
          &status);
  EXPECT_EQ(status, 0) << errors;
  EXPECT_EQ(printed, out + "\n");
  EXPECT_NE(errors.find("Unrecognized option 'crff' ignored"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("Unrecognized option 'preset'"), std::string::npos) << errors;
  EXPECT_EQ(CountFrames(out, "v:0"), 125);
}

TEST_F(CliFailuresTest, KilledMidRunLeavesOnlyThePartWhichTheNextRunNames) {
  namespace fs = std::filesystem;
  const std::string clip = Clip("five.mp4", 5);
  const std::string out = scratch.File("out.mp4");
  const std::string config = scratch.File("moskvid.ini");
  // A slow encoder, so that it is killed with most still to do.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("MOSKVID_CONFIG", config.c_str(), 1);
    freopen("/dev/null", "w", stderr);
    execl(MOSKVID_CLI, MOSKVID_CLI, "transcode", "--threads", "1", clip.c_str(), "--out",
          "vcodec=libx264", "--out", "preset=veryslow", out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto written = [&](const std::string& file) {
    std::error_code error;
    return fs::exists(file, error) && fs::file_size(file, error) > 0;
  };
  for (int wait = 0; wait < 200 && !written(out) && !written(out + ".part"); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(child, SIGKILL);
  int childStatus = 0;
  waitpid(child, &childStatus, 0);
  ASSERT_TRUE(WIFSIGNALED(childStatus));
  EXPECT_FALSE(fs::exists(out));
  ASSERT_TRUE(written(out + ".part"));

  // The next run to that name says what is in its way, leaves it, and
  // writes beside it under the name it prints.
  int status = -1;
  const std::string printed =
      Cli("transcode " + Quote(clip) + " --out vcodec=mpeg4 " + Quote(out), &status);
  EXPECT_EQ(status, 0) << errors;
  EXPECT_EQ(printed, scratch.File("out_(new_1).mp4") + "\n");
  EXPECT_NE(errors.find(out + ".part"), std::string::npos) << errors;
  EXPECT_TRUE(written(out + ".part"));
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(CountFrames(scratch.File("out_(new_1).mp4"), "v:0"), 125);
}

}  // namespace
}  // namespace moskvid::test
