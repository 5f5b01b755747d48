// Opening inputs: what the option state learns from a file, the open-error
// texts, start positions and disabled streams.
#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

using InputFileTest = EngineTest;

TEST_F(InputFileTest, OpeningAClipFillsThePictureAndAudioSettings) {
  ASSERT_TRUE(engine.OpenInputFile(Media("h264_aac.mp4"))) << engine.ErrorText;
  const EngineOptions& o = engine.Options;
  EXPECT_EQ(engine.NbInputFiles(), 1);
  EXPECT_EQ(o.PictureWidth, 320);
  EXPECT_EQ(o.PictureHeight, 240);
  EXPECT_NEAR(o.FrameAspectRatio, 4.0 / 3.0, 1e-6);
  EXPECT_EQ(o.FrameRateValue.num, 25);
  EXPECT_EQ(o.FrameRateValue.den, 1);
  EXPECT_EQ(o.FramePixFmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(o.AudioSampleRate, 44100);
  EXPECT_EQ(o.AudioChannels, 2);
  EXPECT_NEAR(engine.TotalDuration, 3000, 60);
  // The library's description went through the log.
  EXPECT_TRUE(engine.Options.VideoCodecName.empty());
}

TEST_F(InputFileTest, OpenFailuresHaveTheirMessagesAndLeaveTheTaskUsable) {
  const std::string missing = Media("no-such-file.mp4");
  EXPECT_FALSE(engine.OpenInputFile(missing));
  EXPECT_EQ(engine.ErrorText, missing + ": no such file or directory");
  EXPECT_EQ(engine.NbInputFiles(), 0);

  EXPECT_FALSE(engine.OpenInputFile(Media("random.mp4")));
  EXPECT_EQ(engine.ErrorText, Media("random.mp4") + ": Unknown format");

  EXPECT_FALSE(engine.OpenInputFile(Media("empty.mp4")));
  EXPECT_EQ(engine.ErrorText, Media("empty.mp4") + ": Unknown format");

  // The MP4 reader knows the file but its index is cut away.
  EXPECT_FALSE(engine.OpenInputFile(Media("truncated.mp4")));
  EXPECT_EQ(engine.ErrorText, Media("truncated.mp4") + ": Error while parsing header");

  engine.SetOption("f", "mp3");
  EXPECT_FALSE(engine.OpenInputFile(Media("random.mp4")));
  EXPECT_EQ(engine.Options.ForcedInputFormat, nullptr);  // reset after a failure

  ASSERT_TRUE(engine.OpenInputFile(Media("h264_aac.mkv"))) << engine.ErrorText;
  EXPECT_EQ(engine.NbInputFiles(), 1);
}

TEST_F(InputFileTest, UnknownDecoderNamesAreRefused) {
  engine.SetOption("vcodec", "nosuchcodec");
  EXPECT_FALSE(engine.OpenInputFile(Media("h264_aac.mp4")));
  EXPECT_EQ(engine.ErrorText, "Unknown decoder 'nosuchcodec'");
  engine.SetOption("vcodec", "mp3");
  EXPECT_FALSE(engine.OpenInputFile(Media("h264_aac.mp4")));
  EXPECT_EQ(engine.ErrorText, "Invalid decoder type 'mp3'");
}

TEST_F(InputFileTest, DisabledVideoIsDiscardedButTheInputOpens) {
  TInputOptions record;
  record.ExtOptions = "vn=1";
  engine.ApplyInputOptions(record);
  ASSERT_TRUE(engine.OpenInputFile(Media("h264_aac.mp4"))) << engine.ErrorText;
  AVFormatContext* context = engine.InputContext(0);
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const bool video = context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    EXPECT_EQ(context->streams[i]->discard == AVDISCARD_ALL, video);
  }
}

TEST_F(InputFileTest, StartPositionSeeksAndShiftsTheTimeStamps) {
  engine.SetOption("ss", "5");
  ASSERT_TRUE(engine.OpenInputFile(Media("sync_25.mp4"))) << engine.ErrorText;
  AVFormatContext* context = engine.InputContext(0);
  const int64_t start = context->start_time == AV_NOPTS_VALUE ? 0 : context->start_time;
  EXPECT_EQ(engine.InputTsOffset(0), -(5000000 + start));
  EXPECT_EQ(engine.Options.InputStartTime, 0);
  // The next packet read is at or just before 5 s.
  AVPacket* packet = ff::av_packet_alloc();
  ASSERT_GE(ff::av_read_frame(context, packet), 0);
  const double seconds = packet->pts * av_q2d(context->streams[packet->stream_index]->time_base);
  EXPECT_LE(seconds, 5.01);
  EXPECT_GE(seconds, 2.0);
  ff::av_packet_free(&packet);

  // Copied time stamps keep only the user's offset.
  engine.ResetOptions();
  engine.SetOption("ss", "1");
  engine.SetOption("itsoffset", "2");
  engine.SetOption("copyts", "1");
  ASSERT_TRUE(engine.OpenInputFile(Media("sync_25.mp4")));
  EXPECT_EQ(engine.InputTsOffset(0), 2000000);
}

TEST_F(InputFileTest, TwoInputsKeepTheLongerDuration) {
  ASSERT_TRUE(engine.OpenInputFile(Media("h264_aac.mp4")));
  ASSERT_TRUE(engine.OpenInputFile(Media("sync_25.mp4")));
  ASSERT_TRUE(engine.OpenInputFile(Media("audio.mp3")));
  EXPECT_EQ(engine.NbInputFiles(), 3);
  EXPECT_NEAR(engine.TotalDuration, 9000, 100);
}

TEST_F(InputFileTest, TheTablesHoldTwentyInputs) {
  for (int i = 0; i < kMaxFiles; ++i) {
    ASSERT_TRUE(engine.OpenInputFile(Media("audio_mono_22k.wav"))) << i << engine.ErrorText;
  }
  EXPECT_FALSE(engine.OpenInputFile(Media("audio_mono_22k.wav")));
  EXPECT_NE(engine.ErrorText.find("too many input files"), std::string::npos);
  EXPECT_EQ(engine.NbInputFiles(), kMaxFiles);
}

TEST_F(InputFileTest, ProgramSelectionDiscardsTheOtherPrograms) {
  engine.SetOption("programid", "2");
  ASSERT_TRUE(engine.OpenInputFile(Media("two_programs.ts"))) << engine.ErrorText;
  AVFormatContext* context = engine.InputContext(0);
  ASSERT_EQ(context->nb_programs, 2u);
  for (unsigned i = 0; i < context->nb_programs; ++i) {
    EXPECT_EQ(context->programs[i]->discard == AVDISCARD_ALL, context->programs[i]->id != 2);
  }
}

}  // namespace
}  // namespace moskvid::test
