// The library log capture: lines assembled per thread, prefixes, level
// gating and attribution to tasks.
#include "component/log_capture.h"

#include <barrier>
#include <thread>

#include "binding/media_loader.h"
#include "component/converter_test_support.h"

namespace moskvid::test {
namespace {

const char* FakeName(void*) {
  return "fake";
}
AVClass MakeFakeClass() {
  AVClass avClass{};
  avClass.class_name = "fake";
  avClass.item_name = &FakeName;
  avClass.version = LIBAVUTIL_VERSION_INT;
  return avClass;
}
const AVClass kFakeClass = MakeFakeClass();
struct FakeContext {
  const AVClass* avClass = &kFakeClass;
};

void Capture(void* context, int level, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  CaptureLibraryLog(context, level, format, arguments);
  va_end(arguments);
}

class LogCaptureTest : public ConverterTest {
 protected:
  void SetUp() override {
    ConverterTest::SetUp();
    binding::SetSavedLogLevel(AV_LOG_INFO);
  }
  std::vector<std::string> Lines(int index) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> lines;
    for (const Event& e : events) {
      if (e.kind == "log" && e.index == index) lines.push_back(e.message);
    }
    return lines;
  }
};

TEST_F(LogCaptureTest, FragmentsBecomeOneLineWithOnePrefix) {
  FakeContext context;
  Capture(&context, AV_LOG_INFO, "abc");
  EXPECT_TRUE(Lines(-1).empty());
  Capture(&context, AV_LOG_INFO, "%s\n", "def");
  const auto lines = Lines(-1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("[fake @ ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[0].substr(lines[0].size() - 7), "]abcdef");
  EXPECT_EQ(lines[0].find("[fake", 1), std::string::npos);
}

TEST_F(LogCaptureTest, TwoLineFeedsGiveTwoLines) {
  Capture(nullptr, AV_LOG_INFO, "first\nsecond\n");
  EXPECT_EQ(Lines(-1), (std::vector<std::string>{"first", "second"}));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(events[0].level, llInfo);
}

TEST_F(LogCaptureTest, ThreadsKeepTheirOwnFragments) {
  std::barrier sync(2);
  auto writer = [&](const char* first, const char* second) {
    Capture(nullptr, AV_LOG_INFO, "%s", first);
    sync.arrive_and_wait();
    Capture(nullptr, AV_LOG_INFO, "%s\n", second);
  };
  std::thread a(writer, "alpha-", "one");
  std::thread b(writer, "beta-", "two");
  a.join();
  b.join();
  auto lines = Lines(-1);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"alpha-one", "beta-two"}));
}

TEST_F(LogCaptureTest, LevelGatingAndTheLineBound) {
  binding::SetSavedLogLevel(AV_LOG_ERROR);
  Capture(nullptr, AV_LOG_INFO, "dropped\n");
  EXPECT_TRUE(Lines(-1).empty());
  binding::SetSavedLogLevel(AV_LOG_INFO);
  const std::string longText(5000, 'x');
  Capture(nullptr, AV_LOG_ERROR, "%s\n", longText.c_str());
  Capture(nullptr, AV_LOG_ERROR, "after\n");
  const auto lines = Lines(-1);
  // The overlong line is cut to the buffer and the next message is not stuck behind it.
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(2047, 'x'));
  EXPECT_EQ(lines[1], "after");
}

TEST_F(LogCaptureTest, StartConvertForgetsPendingFragments) {
  Capture(nullptr, AV_LOG_INFO, "stale ");
  converter.StartConvert(1);
  Capture(nullptr, AV_LOG_INFO, "fresh\n");
  EXPECT_EQ(Lines(-1), (std::vector<std::string>{"fresh"}));
}

TEST_F(LogCaptureTest, LinesWithoutAnyComponentAreDiscarded) {
  converter.OnLog = nullptr;
  Capture(nullptr, AV_LOG_INFO, "nobody listens\n");
  EXPECT_TRUE(Lines(-1).empty());
}

TEST_F(LogCaptureTest, WorkerLinesGoToTheirTask) {
  converter.SetLogLevel(llAll);
  AddTask(Media("h264_aac.mp4"), scratch.File("a.mp4"), "vcodec=mpeg4\nan=1");
  AddTask(Media("audio.mp3"), scratch.File("b.wav"), "acodec=pcm_s16le");
  converter.StartConvert(2);
  ASSERT_TRUE(WaitForEnd());
  const auto first = Lines(0);
  const auto second = Lines(1);
  auto has = [](const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& line : lines) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  };
  // The libraries' own lines, with their prefixes, land on the right task.
  EXPECT_TRUE(has(first, "[h264 @ ")) << first.size();
  EXPECT_TRUE(has(second, "[")) << second.size();
  EXPECT_FALSE(has(second, "[h264 @ "));
}

}  // namespace
}  // namespace moskvid::test
