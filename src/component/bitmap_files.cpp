#include "component/bitmap_files.h"

#include <cstdint>
#include <fstream>
#include <vector>

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

}  // namespace

bool SaveBitmapAsBmp(const TBitmap24& bitmap, const std::string& fileName) {
  if (bitmap.Empty()) return false;
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
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(file);
}

}  // namespace moskvid
