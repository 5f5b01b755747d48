#include "component/bitmap_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <vector>

#include "engine/output_names.h"

namespace moskvid {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xffff);
  Put16(out, value >> 16);
}

// As many numbered names as an output may take.
constexpr int kMaxNumber = 9999;

std::vector<uint8_t> BmpFileBytes(const TBitmap24& bitmap) {
  const uint32_t rowSize = (static_cast<uint32_t>(bitmap.Stride()) + 3) & ~3u;
  const uint32_t imageSize = rowSize * static_cast<uint32_t>(bitmap.Height());
  std::vector<uint8_t> data;
  data.reserve(54 + imageSize);
  data.push_back('B');
  data.push_back('M');
  Put32(data, 54 + imageSize);
  Put32(data, 0);
  Put32(data, 54);
  Put32(data, 40);  // BITMAPINFOHEADER
  Put32(data, static_cast<uint32_t>(bitmap.Width()));
  Put32(data, static_cast<uint32_t>(bitmap.Height()));  // positive: rows bottom-up
  Put16(data, 1);
  Put16(data, 24);
  Put32(data, 0);
  Put32(data, imageSize);
  Put32(data, 2835);  // 72 dpi
  Put32(data, 2835);
  Put32(data, 0);
  Put32(data, 0);
  for (int y = bitmap.Height() - 1; y >= 0; --y) {
    const uint8_t* row = bitmap.ScanLine(y);
    data.insert(data.end(), row, row + bitmap.Stride());
    data.insert(data.end(), rowSize - static_cast<uint32_t>(bitmap.Stride()), 0);
  }
  return data;
}

bool WriteAll(int descriptor, const std::vector<uint8_t>& data) {
  for (size_t done = 0; done < data.size();) {
    const ssize_t written = ::write(descriptor, data.data() + done, data.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

bool SaveBitmapAsBmp(const TBitmap24& bitmap, const std::string& fileName) {
  if (bitmap.Empty()) return false;
  const std::vector<uint8_t> data = BmpFileBytes(bitmap);
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(file);
}

std::string SaveBitmapAsNewBmp(const TBitmap24& bitmap, const std::string& fileName) {
  if (bitmap.Empty()) return "";
  const std::vector<uint8_t> data = BmpFileBytes(bitmap);
  for (int n = 0; n <= kMaxNumber; ++n) {
    const std::string name = n == 0 ? fileName : NumberedFileName(fileName, n);
    if (OutputNameTaken(name)) continue;
    // A name that appeared since the look is passed over, never replaced.
    const int descriptor =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno == EEXIST) continue;
    if (descriptor < 0) return "";
    const bool written = WriteAll(descriptor, data);
    if (::close(descriptor) == 0 && written) return name;
    ::unlink(name.c_str());  // ours: it was created here
    return "";
  }
  return "";
}

}  // namespace moskvid
