// The media probe on any file: open, describe every stream, decode two
// pictures, seek and decode once more. Decoding is kept to those three
// pictures and the inputs to 64 KiB (-max_len) so that each input stays
// cheap; the probe reads from a file, so the input is written to one in RAM.
#include <cstddef>
#include <cstdint>
#include <string>

#include "component/av_probe.h"
#include "fuzz_support.h"

using namespace moskvid;

namespace {

constexpr int kPictures = 2;

void CheckPicture(const TBitmap24& picture) {
  if (picture.Width() < 0 || picture.Height() < 0 ||
      (picture.Width() == 0) != (picture.Height() == 0))
    fuzz::Fail("picture with an impossible size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LoadLibrariesOnce();
  static const fuzz::RamFile file("media");
  file.Write(data, size);

  TAVProbe probe;
  if (!probe.Open(file.Path())) return 0;
  TAVFormatInfo format;
  probe.GetFormatInfo(format);
  for (int stream = 0; stream < probe.StreamCount; ++stream) {
    if (probe.IsAudioStream(stream)) {
      TAVAudioStreamInfo audio;
      probe.GetAudioStreamInfo(stream, audio);
    } else if (probe.IsVideoStream(stream)) {
      TAVVideoStreamInfo video;
      probe.GetVideoStreamInfo(stream, video);
    }
  }
  (void)probe.InfoText();
  (void)probe.FormatName();
  (void)probe.ProbeFileSize();

  for (int i = 0; i < kPictures; ++i) {
    const TBitmap24& picture = probe.DecodeNextFrame();
    CheckPicture(picture);
    if (picture.Width() == 0) break;
  }
  const int64_t middle = format.Duration > 0 ? format.Duration / 2 : 0;
  if (probe.Seek(-1, middle)) CheckPicture(probe.DecodeNextFrame());
  probe.Close();
  return 0;
}
