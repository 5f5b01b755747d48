// What `transcode` leaves for every kind of output: subtitles alone, sound
// alone, a pipe with a reader, a device, a name near the length limit, and
// a damaged source whose pictures claim an impossible size.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "support/test_support.h"

namespace moskvid::test {
namespace {

struct OutputKind {
  const char* name;
  // The source, made in the folder; "" for the damaged file kept with the fuzz seeds.
  std::function<std::string(const ScratchDir&)> source;
  std::string options;  // --out lines
  std::function<std::string(const ScratchDir&)> output;
  int status;           // the program's exit status
  const char* message;  // in what it prints, or ""
  // The codecs of its streams, in the written file (or in what a pipe's
  // reader got); "" for none to look at.
  const char* codecs;
};

std::string Subtitles(const ScratchDir& scratch) {
  const std::string file = scratch.File("lines.srt");
  std::ofstream(file) << "1\n00:00:01,000 --> 00:00:02,000\nOne\n\n"
                         "2\n00:00:03,000 --> 00:00:04,000\nTwo\n";
  return file;
}

std::string ClipWithLines(const ScratchDir& scratch) {
  const std::string file = scratch.File("clip.mkv");
  RunCommand(
      "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=64x48:rate=10:duration=5 "
      "-f lavfi -i sine=sample_rate=8000:duration=5 -i " +
      Quote(Subtitles(scratch)) + " -map 0 -map 1 -map 2 -c:v mpeg4 -c:a aac -c:s srt " +
      Quote(file));
  return file;
}

std::string Named(const std::string& name, const ScratchDir& scratch) {
  return scratch.File(name);
}

const OutputKind kKinds[] = {
    {"subtitles alone", Subtitles, "", std::bind_front(Named, "out.ass"), 0, "", "ass"},
    {"subtitles copied alone", ClipWithLines, "vn=1 an=1 scodec=copy",
     std::bind_front(Named, "lines.mkv"), 0, "", "subrip"},
    {"sound alone", ClipWithLines, "vn=1 sn=1", std::bind_front(Named, "sound.m4a"), 0, "", "aac"},
    {"a pipe with a reader", ClipWithLines, "sn=1", std::bind_front(Named, "pipe.mkv"), 0, "",
     "h264,vorbis"},
    {"a device", ClipWithLines, "f=matroska", [](const ScratchDir&) { return "/dev/null"; }, 0, "",
     ""},
    {"a name of 253 bytes", ClipWithLines, "sn=1",
     [](const ScratchDir& scratch) { return scratch.File(std::string(249, 'x') + ".mkv"); }, 0, "",
     "h264,vorbis"},
    {"pictures claiming a size no video has",
     [](const ScratchDir&) {
       return std::string(MOSKVID_TEST_SUPPORT_DIR) +
              "/../../fuzz/seeds/probe_fuzzer/size_jump_to_huge_picture.flv";
     },
     "", std::bind_front(Named, "huge.mp4"), 1, "larger than any video", ""},
};

class OutputKindTest : public ::testing::TestWithParam<OutputKind> {
 protected:
  ScratchDir scratch;
};

TEST_P(OutputKindTest, WrittenWhereAskedAndSaidSo) {
  const OutputKind& kind = GetParam();
  const std::string source = kind.source(scratch);
  const std::string output = kind.output(scratch);
  std::string args = "transcode " + Quote(source);
  std::istringstream options(kind.options);
  for (std::string option; options >> option;)
    args += " --out " + option;
  args += " " + Quote(output);

  // A pipe's reader takes what comes and keeps it in a file of its own.
  const bool pipe = std::string(kind.name).find("pipe") != std::string::npos;
  const std::string received = scratch.File("received.mkv");
  std::thread reader;
  if (pipe) {
    ASSERT_EQ(::mkfifo(output.c_str(), 0644), 0);
    reader = std::thread([&] {
      std::ifstream in(output, std::ios::binary);
      std::ofstream(received, std::ios::binary) << in.rdbuf();
    });
  }
  int status = -1;
  const std::string printed = RunCommand(std::string(MOSKVID_CLI) + " " + args + " 2>&1", &status);
  if (pipe) {
    // A program that never opened the pipe must not leave its reader waiting.
    const int unblock = ::open(output.c_str(), O_WRONLY | O_NONBLOCK);
    if (unblock >= 0) ::close(unblock);
    reader.join();
  }

  EXPECT_EQ(status, kind.status) << printed;
  EXPECT_NE(printed.find(kind.message), std::string::npos) << printed;
  struct stat info {};
  if (kind.status == 0) {
    // The name asked for, as it is: no numbered name, no part beside it.
    EXPECT_NE(("\n" + printed).find("\n" + output + "\n"), std::string::npos) << printed;
    ASSERT_EQ(::lstat(output.c_str(), &info), 0);
    EXPECT_EQ(S_ISFIFO(info.st_mode), pipe);
    EXPECT_EQ(S_ISCHR(info.st_mode), output == "/dev/null");
  } else {
    EXPECT_NE(::lstat(output.c_str(), &info), 0);
  }
  for (const auto& entry : std::filesystem::directory_iterator(scratch.Path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find("_(new"), std::string::npos) << name;
    EXPECT_EQ(name.find(".part"), std::string::npos) << name;
  }
  if (*kind.codecs) {
    std::string codecs = RunCommand(
        "ffprobe -v error -show_entries stream=codec_name -of "
        "csv=p=0 " +
        Quote(pipe ? received : output));
    std::replace(codecs.begin(), codecs.end(), '\n', ',');
    EXPECT_EQ(codecs, std::string(kind.codecs) + ",");
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, OutputKindTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return "Kind" + std::to_string(info.index); });

// Muxers that open their files by themselves never replace one either: a
// taken first picture moves the whole sequence to a numbered pattern, a
// taken later one (or a link) stops the run and is named.
TEST(OwnFilesTest, PictureSequencesReplaceNothing) {
  ScratchDir scratch;
  const std::string clip = ClipWithLines(scratch);
  const auto run = [&](const std::string& options, const std::string& output, int* status) {
    return RunCommand(std::string(MOSKVID_CLI) + " transcode " + Quote(clip) + options + " " +
                          Quote(scratch.File(output)) + " 2>&1",
                      status);
  };
  const auto read = [&](const std::string& name) {
    std::ifstream in(scratch.File(name));
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::ofstream(scratch.File("first001.bmp")) << "mine";
  int status = -1;
  std::string printed = run(" --out sn=1 --out t=0.3", "first%03d.bmp", &status);
  EXPECT_EQ(status, 0) << printed;
  EXPECT_EQ(read("first001.bmp"), "mine");
  EXPECT_TRUE(std::filesystem::exists(scratch.File("first001_(new_1).bmp"))) << printed;
  EXPECT_FALSE(std::filesystem::exists(scratch.File("first002.bmp"))) << printed;

  std::ofstream(scratch.File("victim.txt")) << "victim";
  std::filesystem::create_symlink(scratch.File("victim.txt"), scratch.File("later002.bmp"));
  printed = run(" --out sn=1", "later%03d.bmp", &status);
  EXPECT_NE(status, 0) << printed;
  EXPECT_NE(printed.find("later002.bmp is there already and is not replaced"), std::string::npos)
      << printed;
  EXPECT_EQ(read("victim.txt"), "victim");
}

}  // namespace
}  // namespace moskvid::test
