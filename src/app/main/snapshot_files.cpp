#include "app/main/snapshot_files.h"

#include <csetjmp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "component/bitmap_files.h"

namespace moskvid {

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// libjpeg reports fatal errors through a callback that must not return; it
// jumps back into Compress, which holds nothing that needs destroying.
struct JpegErrors {
  jpeg_error_mgr base;
  jmp_buf jump;
};

void JumpOnJpegError(j_common_ptr info) {
  longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

bool Compress(FILE* file, const TBitmap24& bitmap, int quality) {
  jpeg_compress_struct info;
  JpegErrors errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JumpOnJpegError;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = static_cast<JDIMENSION>(bitmap.Width());
  info.image_height = static_cast<JDIMENSION>(bitmap.Height());
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;  // the bitmap's byte order
  jpeg_set_defaults(&info);
  // Baseline: 8-bit tables, sequential, readable by every decoder.
  jpeg_set_quality(&info, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(bitmap.ScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool SaveBitmapAsJpeg(const TBitmap24& bitmap, const std::string& fileName, int quality) {
  if (bitmap.Empty()) return false;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName.c_str(), "wb"));
  if (!file) return false;
  if (!Compress(file.get(), bitmap, quality)) return false;
  return std::fflush(file.get()) == 0 && !std::ferror(file.get());
}

std::string SnapshotObstacle(const TBitmap24& full, const TSnapshotChoice& choice) {
  if (full.Empty())
    return "No snapshot was saved: there is no picture to save (the file has no video).";
  if (!choice.FullSize && !choice.SmallSize) {
    return "No snapshot was saved: no snapshot size is chosen (Tools > Preference: Full Size, "
           "Small "
           "Size).";
  }
  if (!choice.Bmp && !choice.Jpg) {
    return "No snapshot was saved: no snapshot format is chosen (Tools > Preference: BMP, JPG).";
  }
  return "";
}

std::vector<std::string> WriteSnapshots(const TBitmap24& full, const TBitmap24& small,
                                        const std::string& folder, const TSnapshotChoice& choice) {
  struct Planned {
    bool wanted;
    const TBitmap24* picture;
    const char* name;
    bool jpeg;
  };
  const Planned plan[] = {
      {choice.FullSize && choice.Bmp, &full, "Snapshot_full.bmp", false},
      {choice.SmallSize && choice.Bmp, &small, "Snapshot_small.bmp", false},
      {choice.FullSize && choice.Jpg, &full, "Snapshot_full.jpg", true},
      {choice.SmallSize && choice.Jpg, &small, "Snapshot_small.jpg", true},
  };
  std::vector<std::string> written;
  for (const Planned& file : plan) {
    if (!file.wanted || file.picture->Empty()) continue;
    const std::string path = folder + file.name;
    errno = 0;
    const bool saved = file.jpeg ? SaveBitmapAsJpeg(*file.picture, path, choice.Quality)
                                 : SaveBitmapAsBmp(*file.picture, path);
    if (!saved) {
      const int code = errno;
      throw TFileWriteError("Cannot create file \"" + path + "\". " +
                            (code ? std::strerror(code) : "The picture cannot be written"));
    }
    written.push_back(path);
  }
  return written;
}

}  // namespace moskvid
