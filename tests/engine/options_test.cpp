// The option model: defaults, the option text, the validating setters and
// their exact messages, presets, records and hook ranges.
#include <climits>

#include "engine/engine_test_support.h"

namespace moskvid::test {
namespace {

using OptionsTest = EngineTest;

TEST_F(OptionsTest, ResetGivesTheDocumentedDefaults) {
  engine.SetOption("s", "640x480");
  engine.SetOption("vcodec", "copy");
  engine.SetOption("ar", "8000");
  engine.ResetOptions();
  const EngineOptions& o = engine.Options;
  EXPECT_EQ(o.PictureWidth, 0);
  EXPECT_FALSE(o.VideoStreamCopy);
  EXPECT_EQ(o.AudioSampleRate, 44100);
  EXPECT_EQ(o.AudioChannels, 2);
  EXPECT_EQ(o.AudioVolume, 256);
  EXPECT_EQ(o.PadColorY, 16);
  EXPECT_EQ(o.PadColorU, 128);
  EXPECT_EQ(o.RecordingTime, INT64_MAX);
  EXPECT_EQ(o.MaxFrames[kVideoKind], INT_MAX);
  EXPECT_EQ(o.VideoSyncMethod, -1);
  EXPECT_FLOAT_EQ(o.MuxPreload, 0.5f);
  EXPECT_FLOAT_EQ(o.AudioQscale, -99999.0f);
  EXPECT_EQ(o.ThreadCount, 1);
  EXPECT_EQ(engine.TotalDuration, -1);
  EXPECT_NE(engine.CodecOptionContext(kVideoKind), nullptr);
}

TEST_F(OptionsTest, OptionTextLinesAndTheirNames) {
  engine.ApplyOptionText("  \r\nvn=1\r\nar=22050\rtitle=a=b\n");
  EXPECT_TRUE(engine.Options.VideoDisable);
  EXPECT_EQ(engine.Options.AudioSampleRate, 22050);
  // Only the first "=" separates the name from the value.
  EXPECT_EQ(engine.Options.title, "a=b");

  engine.ResetOptions();
  engine.ApplyOptionText("vn");
  EXPECT_FALSE(engine.Options.VideoDisable);

  // A line of switches without "=" reaches the generic handler whole and
  // changes nothing.
  engine.ApplyOptionText("-bitexact -vlevel 13 -qscale 25");
  EXPECT_TRUE(engine.Options.OptNames.empty());
  EXPECT_EQ(engine.Options.VideoQscale, 0);
}

TEST_F(OptionsTest, NonNumericIntegersNameTheOptionAndTheValue) {
  const std::string message = ErrorOf([&] { engine.SetOption("vframes", "ten"); });
  EXPECT_NE(message.find("vframes"), std::string::npos) << message;
  EXPECT_NE(message.find("ten"), std::string::npos) << message;
  EXPECT_NE(ErrorOf([&] { engine.SetOption("ar", "44.1k"); }), "");
  EXPECT_NE(ErrorOf([&] { engine.SetOption("fs", "99999999999999999999999"); }), "");
  EXPECT_NE(ErrorOf([&] { engine.SetOption("muxdelay", "soon"); }), "");
  engine.SetOption("vframes", "100");
  EXPECT_EQ(engine.Options.MaxFrames[kVideoKind], 100);
}

TEST_F(OptionsTest, CropNeedsTheFrameSizeAndEvenSides) {
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("croptop", "8"); }),
            "Vertical crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");
  engine.SetOption("s", "320x240");
  engine.SetOption("croptop", "8");
  engine.SetOption("cropbottom", "-4");  // negative: ignored
  EXPECT_EQ(engine.Options.PictureHeight, 232);
  EXPECT_EQ(engine.Options.CropBottom, 0);
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("cropleft", "7"); }),
            "Left crop size must be a multiple of 2");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("cropright", "320"); }),
            "Horizontal crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("padbottom", "3"); }),
            "Bottom pad size must be a multiple of 2");
}

TEST_F(OptionsTest, FrameSizeRateAndAspect) {
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("s", "321x240"); }),
            "Frame size must be a multiple of 2");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("s", "huge"); }), "Incorrect frame size");
  engine.SetOption("s", "vga");
  EXPECT_EQ(engine.Options.PictureWidth, 640);
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("r", "fast"); }), "Incorrect frame rate");
  engine.SetOption("r", "29.97");
  EXPECT_EQ(engine.Options.FrameRateValue.num, 30000);
  EXPECT_EQ(engine.Options.FrameRateValue.den, 1001);
  engine.SetOption("aspect", "16:9");
  EXPECT_NEAR(engine.Options.FrameAspectRatio, 16.0 / 9.0, 1e-6);
  for (const char* bad : {"0", "4:0", "abc"}) {
    EXPECT_EQ(ErrorOf([&] { engine.SetOption("aspect", bad); }),
              "Incorrect aspect ratio specification.")
        << bad;
  }
}

TEST_F(OptionsTest, PadColourComponents) {
  // Colours become video-range YUV: black is luma 16, white 235.
  const struct {
    uint32_t colour;
    int y, u, v;
  } cases[] = {
      {0x000000, 16, 128, 128},
      {0xFFFFFF, 235, 128, 128},
      {0x0000FF, 81, 90, 240},  // red in the lowest byte
      {0xFF0000, 41, 240, 110},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.colour);
    TOutputOptions record;
    record.PaddingColor = c.colour;
    engine.ApplyOutputOptions(record);
    EXPECT_EQ(engine.Options.PadColorY, c.y);
    EXPECT_EQ(engine.Options.PadColorU, c.u);
    EXPECT_EQ(engine.Options.PadColorV, c.v);
    engine.SetOption("padcolor", "0");
    engine.SetOption("padcolor", std::to_string(c.colour));
    EXPECT_EQ(engine.Options.PadColorY, c.y);
  }
  // A colour in the option text wins over the record's.
  TOutputOptions record;
  record.PaddingColor = 0;
  record.ExtOptions = "pix_fmt=yuv420p\npadcolor=255";
  engine.ApplyOutputOptions(record);
  EXPECT_EQ(engine.Options.PadColorY, 81);
  EXPECT_EQ(engine.Options.PadColorV, 240);
}

TEST_F(OptionsTest, QscalePassTagsAndMatrices) {
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("qscale", "0"); }), "qscale must be > 0.0 and <= 255");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("qscale", "256"); }), "qscale must be > 0.0 and <= 255");
  engine.SetOption("qscale", "255");
  EXPECT_EQ(engine.Options.VideoQscale, 255);
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("pass", "3"); }), "pass number can be only 1 or 2");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("vtag", "DIV"); }),
            "video tag parameter must be 4 chars");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("atag", "mp4aa"); }),
            "audio tag parameter must be 4 chars");
  engine.SetOption("vtag", "DIVX");
  EXPECT_EQ(engine.Options.VideoCodecTag, 0x58564944u);

  std::string matrix;
  for (int i = 0; i < 64; ++i)
    matrix += (i ? "," : "") + std::to_string(i + 8);
  engine.SetOption("intra_matrix", matrix);
  ASSERT_TRUE(engine.Options.intra_matrix.has_value());
  EXPECT_EQ((*engine.Options.intra_matrix)[63], 71);
  const std::string shortMatrix = matrix.substr(0, matrix.rfind(','));
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("inter_matrix", shortMatrix); }),
            "Syntax error in matrix \"" + shortMatrix + "\" at coeff 62");
  EXPECT_NE(ErrorOf([&] { engine.SetOption("inter_matrix", "1,x,3"); }), "");
}

TEST_F(OptionsTest, MapsAndStreamIndexes) {
  engine.SetOption("map", "0.1");
  engine.SetOption("map", "1:0:0.2");
  ASSERT_EQ(engine.Options.StreamMapList.size(), 2u);
  EXPECT_EQ(engine.Options.StreamMapList[0].SyncFile, 0);
  EXPECT_EQ(engine.Options.StreamMapList[0].SyncStream, 1);
  EXPECT_EQ(engine.Options.StreamMapList[1].File, 1);
  EXPECT_EQ(engine.Options.StreamMapList[1].SyncStream, 2);
  for (const char* bad : {"", "x", "0", "0.", "0.1:", "0.1:2"}) {
    EXPECT_EQ(ErrorOf([&] { engine.SetOption("map", bad); }),
              std::string("Invalid stream map: ") + bad);
  }
  engine.SetOption("map_meta_data", "0:1");
  EXPECT_EQ(engine.Options.MetaDataMaps[0].InputFile, 1);
  EXPECT_NE(ErrorOf([&] { engine.SetOption("map_meta_data", "0"); }), "");

  EXPECT_EQ(ErrorOf([&] { engine.SetOption("itsscale", "20:2"); }),
            "stream index over MAX_STREAMS(20)");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("itsscale", "-1:2"); }),
            "stream index over MAX_STREAMS(20)");
  engine.SetOption("itsscale", "19:2.5");
  EXPECT_DOUBLE_EQ(engine.Options.PendingTsScale[19], 2.5);
}

TEST_F(OptionsTest, TimesAndDurations) {
  engine.SetOption("t", "00:01:30.5");
  EXPECT_EQ(engine.TotalDuration, 90500);
  EXPECT_EQ(engine.Options.RecordingTime, 90500000);
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("t", "later"); }),
            "Invalid duration specification for t: later");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("timestamp", "yesterday"); }),
            "Invalid date specification for timestamp: yesterday");
  engine.SetOption("ss", "5");
  EXPECT_EQ(engine.Options.InputStartTime, 5000000);
  engine.SetOption("timestamp", "2020-01-02 03:04:05");
  EXPECT_EQ(engine.Options.RecTimestamp, 1577934245);

  TOutputOptions record;
  record.Duration = 3600000;
  engine.ApplyOutputOptions(record);
  EXPECT_EQ(engine.Options.RecordingTime, 3600000000LL);
  EXPECT_EQ(engine.TotalDuration, 3600000);
}

TEST_F(OptionsTest, TargetPresetsAndNorms) {
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("target", "vcd"); }), "frame_rate is invalid.");
  engine.SetOption("target", "pal-vcd");
  EXPECT_EQ(engine.Options.PictureWidth, 352);
  EXPECT_EQ(engine.Options.PictureHeight, 288);
  EXPECT_EQ(engine.Options.FrameRateValue.num, 25);
  EXPECT_EQ(engine.Options.VideoCodecName, "mpeg1video");
  EXPECT_EQ(engine.Options.AudioCodecName, "mp2");
  EXPECT_NEAR(engine.Options.FrameAspectRatio, 4.0 / 3.0, 1e-6);
  EXPECT_TRUE(Logged("Assuming 4:3 for aspect ratio"));
  EXPECT_EQ(engine.CodecOptionContext(kVideoKind)->gop_size, 15);
  EXPECT_EQ(engine.CodecOptionContext(kVideoKind)->bit_rate, 1150000);
  EXPECT_EQ(engine.CodecOptionContext(kAudioKind)->bit_rate, 224000);

  engine.ResetOptions();
  engine.SetOption("r", "30000/1001");
  engine.SetOption("target", "dvd");
  EXPECT_TRUE(Logged("Assuming NTSC for target."));
  EXPECT_EQ(engine.Options.PictureHeight, 480);
  EXPECT_EQ(engine.Options.AudioSampleRate, 48000);
  EXPECT_EQ(engine.Options.AudioCodecName, "ac3");
  EXPECT_NEAR(engine.Options.FrameAspectRatio, 16.0 / 9.0, 1e-6);

  engine.ResetOptions();
  engine.SetOption("target", "pal-dv50");
  EXPECT_EQ(engine.Options.FramePixFmt, AV_PIX_FMT_YUV422P);
  engine.SetOption("target", "ntsc-dv");
  EXPECT_EQ(engine.Options.FramePixFmt, AV_PIX_FMT_YUV411P);
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("target", "pal-vhs"); }), "Unknown target type");

  // An undecidable rate falls back to the record's norm.
  engine.ResetOptions();
  engine.SetOption("r", "15");
  TOutputOptions record;
  record.Target = 2;
  record.FallbackNorm = 1;
  engine.ApplyOutputOptions(record);
  EXPECT_EQ(engine.Options.PictureHeight, 576);
  EXPECT_EQ(engine.Options.VideoCodecName, "mpeg2video");
}

TEST_F(OptionsTest, HookRangesAreKeptSortedByTheirEnd) {
  TOutputOptions record;
  record.HookRanges = " 10000-20000, 0-5000 ,30000-25000, 7000, x-9";
  engine.ApplyOutputOptions(record);
  // A start that is not a number counts as -1 ms; a piece without "-" has no end.
  ASSERT_EQ(engine.SegmentCount(), 3);
  using Range = std::pair<int64_t, int64_t>;
  EXPECT_EQ(engine.Segments[0], Range(-1000, 9000));
  EXPECT_EQ(engine.Segments[1], Range(0, 5000000));
  EXPECT_EQ(engine.Segments[2], Range(10000000, 20000000));
  EXPECT_EQ(engine.SegmentIndex, 0);

  // With a hook flag set the ranges are not read.
  engine.ResetOptions();
  record.CustomHook = true;
  engine.ApplyOutputOptions(record);
  EXPECT_EQ(engine.SegmentCount(), 0);
}

TEST_F(OptionsTest, GenericOptionsReachTheLibraryContexts) {
  EXPECT_TRUE(engine.SetGenericOption(" b ", " 1000000 "));
  EXPECT_EQ(engine.CodecOptionContext(kVideoKind)->bit_rate, 1000000);
  EXPECT_EQ(engine.CodecOptionContext(kAudioKind)->bit_rate, 1000000);
  EXPECT_TRUE(engine.SetGenericOption("flags", "+bitexact"));
  EXPECT_TRUE(engine.CodecOptionContext(kVideoKind)->flags & AV_CODEC_FLAG_BITEXACT);
  EXPECT_TRUE(engine.SetGenericOptionInt("g", 12));
  EXPECT_EQ(engine.CodecOptionContext(kVideoKind)->gop_size, 12);
  EXPECT_TRUE(engine.SetGenericOption("packetsize", "2048"));
  EXPECT_EQ(engine.FormatOptionContext()->packet_size, 2048u);
  // The first letter picks the stream type.
  EXPECT_TRUE(engine.SetGenericOption("ab", "64000"));
  EXPECT_EQ(engine.CodecOptionContext(kAudioKind)->bit_rate, 64000);
  EXPECT_EQ(engine.CodecOptionContext(kVideoKind)->bit_rate, 1000000);
  const auto& names = engine.Options.OptNames;
  EXPECT_EQ(std::count(names.begin(), names.end(), "b"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "ab"), 1);

  // Unknown names are not an error; they are kept for the encoders' own options.
  EXPECT_FALSE(engine.SetGenericOption("preset", "veryfast"));
  ASSERT_EQ(engine.Options.PrivateOptions.size(), 1u);
  EXPECT_EQ(engine.Options.PrivateOptions[0].first, "preset");
  EXPECT_FALSE(engine.SetGenericOption("", "1"));
  EXPECT_FALSE(engine.SetGenericOption("b", ""));
  // A value the library refuses for a known option is an error.
  EXPECT_EQ(ErrorOf([&] { engine.SetGenericOption("g", "many"); }),
            "Invalid value 'many' for option 'g'");
}

TEST_F(OptionsTest, LowBitRateDrawsTheWarning) {
  engine.SetOption("vb", "500");
  EXPECT_TRUE(
      Logged("WARNING: The bitrate parameter is set too low. It takes bits/s as "
             "argument, not kbits/s"));
  logLines.clear();
  engine.SetOption("ab", "128000");
  EXPECT_FALSE(Logged("WARNING"));
}

TEST_F(OptionsTest, FormatsCodecsFiltersAndNamedRefusals) {
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("f", "nosuchformat"); }),
            "Unknown input or output format: nosuchformat");
  engine.SetOption("f", "pgmyuv");
  EXPECT_TRUE(engine.Options.PgmyuvCompat);
  EXPECT_TRUE(Logged("pgmyuv format is deprecated, use image2"));
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("threads", "4"); }), "TODO: option - threads");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("vbsf", "nosuchfilter=x"); }),
            "Unknown bitstream filter nosuchfilter=x");
  engine.SetOption("vbsf", "h264_mp4toannexb");
  engine.SetOption("absf", "=ignored");
  EXPECT_EQ(engine.Options.PendingBitstreamFilters[0].size(), 1u);
  EXPECT_TRUE(engine.Options.PendingBitstreamFilters[1].empty());
  engine.SetOption("acodec", "copy");
  EXPECT_TRUE(engine.Options.AudioStreamCopy);
  EXPECT_TRUE(engine.Options.AudioCodecName.empty());
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("newaudio", ""); }),
            "At least one output file must be specified");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("pix_fmt", "nosuchformat"); }),
            "Unknown pixel format requested: nosuchformat");
  EXPECT_EQ(ErrorOf([&] { engine.SetOption("vhook", "/nonexistent/hook.so 1 2"); }),
            "Failed to add video hook function: /nonexistent/hook.so 1 2");
  engine.SetOption("L", "");
  EXPECT_TRUE(Logged("Do nothing: option - L"));
}

TEST_F(OptionsTest, ListOptionsPrintEveryFormat) {
  engine.SetOption("pix_fmt", "list");
  EXPECT_GT(logLines.size(), 100u);
  EXPECT_TRUE(Logged("yuv420p"));
  logLines.clear();
  engine.SetOption("sample_fmt", "list");
  EXPECT_EQ(logLines.size(), static_cast<size_t>(AV_SAMPLE_FMT_NB + 1));
  EXPECT_TRUE(Logged("s16"));
}

TEST_F(OptionsTest, RecordsMapOntoTheOptionState) {
  TInputOptions input;
  input.Format = "nosuch";
  EXPECT_EQ(ErrorOf([&] { engine.ApplyInputOptions(input); }), "Unknown input format: nosuch");
  input = TInputOptions{};
  input.ExtOptions = "vn=1";
  input.StartTime = 5000;
  input.ProgramNumber = 2;
  engine.ApplyInputOptions(input);
  EXPECT_TRUE(engine.Options.VideoDisable);
  EXPECT_EQ(engine.Options.InputStartTime, 5000000);
  EXPECT_EQ(engine.Options.OptProgramid, 2);

  TOutputOptions output;
  output.Format = "nosuch";
  EXPECT_EQ(ErrorOf([&] { engine.ApplyOutputOptions(output); }), "Unknown output format: nosuch");
  output = TOutputOptions{};
  output.Format = "psp";
  output.Volume = 512;
  output.AudioChannels = 1;
  output.SampleRate = 22050;
  output.AudioBitsPerSecond = 64000;
  output.AudioLanguage = "eng";
  output.FrameSize = "320x240";
  output.CropTop = 8;
  output.Gop = 30;
  output.VideoBitsPerSecond = 768000;
  output.VideoSync = 2;
  output.Title = std::string(600, 't');
  output.ExtOptions = "vframes=10";
  engine.ApplyOutputOptions(output);
  const EngineOptions& o = engine.Options;
  ASSERT_NE(o.ForcedOutputFormat, nullptr);
  EXPECT_STREQ(o.ForcedOutputFormat->name, "psp");
  EXPECT_EQ(o.AudioVolume, 512);
  EXPECT_EQ(o.AudioChannels, 1);
  EXPECT_EQ(o.AudioSampleRate, 22050);
  EXPECT_EQ(engine.CodecOptionContext(kAudioKind)->bit_rate, 64000);
  EXPECT_EQ(o.AudioLanguage, "eng");
  EXPECT_EQ(o.PictureHeight, 232);
  EXPECT_EQ(engine.CodecOptionContext(kVideoKind)->gop_size, 30);
  EXPECT_EQ(engine.CodecOptionContext(kVideoKind)->bit_rate, 768000);
  EXPECT_EQ(o.VideoSyncMethod, 2);
  EXPECT_EQ(o.MaxFrames[kVideoKind], 10);
  EXPECT_EQ(o.title.size(), 600u);
}

}  // namespace
}  // namespace moskvid::test
