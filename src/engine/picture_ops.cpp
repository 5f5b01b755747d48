#include "engine/picture_ops.h"

#include <algorithm>
#include <cstring>

namespace moskvid {

namespace {

struct PlaneGeometry {
  int hshift = 0;
  int vshift = 0;
  int step = 1;  // bytes from one pixel to the next in the plane
};

bool Geometry(const AVPixFmtDescriptor* desc, int plane, PlaneGeometry& out) {
  const bool chroma = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && (plane == 1 || plane == 2);
  out.hshift = chroma ? desc->log2_chroma_w : 0;
  out.vshift = chroma ? desc->log2_chroma_h : 0;
  out.step = 0;
  for (int c = 0; c < desc->nb_components; ++c) {
    if (desc->comp[c].plane == plane) out.step = std::max(out.step, desc->comp[c].step);
  }
  return out.step > 0;
}

int PlaneCount(const AVFrame* frame) {
  int planes = 0;
  while (planes < 4 && frame->data[planes])
    ++planes;
  return planes;
}

// 8-bit planar YUV with three separate planes (and optionally alpha).
bool IsPlanarYuv8(const AVPixFmtDescriptor* desc) {
  return desc &&
         !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL |
                          AV_PIX_FMT_FLAG_BITSTREAM)) &&
         (desc->flags & AV_PIX_FMT_FLAG_PLANAR) && desc->nb_components >= 3 &&
         desc->comp[0].depth == 8 && desc->comp[0].plane == 0 && desc->comp[1].plane == 1 &&
         desc->comp[2].plane == 2;
}

void DeinterlaceLine(uint8_t* dst, const uint8_t* m2, const uint8_t* m1, const uint8_t* zero,
                     const uint8_t* p1, const uint8_t* p2, int size) {
  for (int i = 0; i < size; ++i) {
    const int sum = -m2[i] + (m1[i] << 2) + (zero[i] << 1) + (p1[i] << 2) - p2[i];
    dst[i] = static_cast<uint8_t>(std::clamp((sum + 4) >> 3, 0, 255));
  }
}

void DeinterlaceBottomField(uint8_t* dst, int dstWrap, const uint8_t* src, int srcWrap, int width,
                            int height) {
  const uint8_t* m2 = src;
  const uint8_t* m1 = src;
  const uint8_t* zero = m1 + srcWrap;
  const uint8_t* p1 = zero + srcWrap;
  const uint8_t* p2 = p1 + srcWrap;
  int y = 0;
  for (; y < height - 2; y += 2) {
    std::memcpy(dst, m1, width);
    dst += dstWrap;
    DeinterlaceLine(dst, m2, m1, zero, p1, p2, width);
    m2 = zero;
    m1 = p1;
    zero = p2;
    p1 += 2 * srcWrap;
    p2 += 2 * srcWrap;
    dst += dstWrap;
  }
  std::memcpy(dst, m1, width);
  dst += dstWrap;
  DeinterlaceLine(dst, m2, m1, zero, zero, zero, width);
}

}  // namespace

bool CropView(const AVFrame* source, AVFrame* view, int top, int bottom, int left, int right) {
  const AVPixFmtDescriptor* desc =
      ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(source->format));
  if (!desc ||
      (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL))) {
    return false;
  }
  if (top < 0 || bottom < 0 || left < 0 || right < 0 || top + bottom >= source->height ||
      left + right >= source->width) {
    return false;
  }
  ff::av_frame_unref(view);
  if (ff::av_frame_ref(view, source) < 0) return false;
  for (int p = 0; p < PlaneCount(view); ++p) {
    PlaneGeometry g;
    if (!Geometry(desc, p, g)) return false;
    view->data[p] += static_cast<ptrdiff_t>(top >> g.vshift) * view->linesize[p] +
                     static_cast<ptrdiff_t>(left >> g.hshift) * g.step;
  }
  view->width = source->width - left - right;
  view->height = source->height - top - bottom;
  return true;
}

bool PadBorders(AVFrame* frame, int top, int bottom, int left, int right, int y, int u, int v) {
  const AVPixFmtDescriptor* desc =
      ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
  if (!IsPlanarYuv8(desc)) return false;
  const int values[4] = {y, u, v, 255};
  for (int p = 0; p < PlaneCount(frame); ++p) {
    PlaneGeometry g;
    Geometry(desc, p, g);
    const int width = AV_CEIL_RSHIFT(frame->width, g.hshift);
    const int height = AV_CEIL_RSHIFT(frame->height, g.vshift);
    const int t = top >> g.vshift, b = bottom >> g.vshift;
    const int l = left >> g.hshift, r = right >> g.hshift;
    const auto value = static_cast<uint8_t>(values[p]);
    for (int row = 0; row < height; ++row) {
      uint8_t* line = frame->data[p] + static_cast<ptrdiff_t>(row) * frame->linesize[p];
      if (row < t || row >= height - b) {
        std::memset(line, value, width);
      } else {
        std::memset(line, value, std::min(l, width));
        if (r > 0) std::memset(line + width - r, value, r);
      }
    }
  }
  return true;
}

bool Deinterlace(const AVFrame* source, AVFrame* target) {
  switch (source->format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUV411P:
    case AV_PIX_FMT_GRAY8:
      break;
    default:
      return false;
  }
  if ((source->width & 3) != 0 || (source->height & 3) != 0) return false;
  const AVPixFmtDescriptor* desc =
      ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(source->format));
  const int planes = source->format == AV_PIX_FMT_GRAY8 ? 1 : 3;
  for (int p = 0; p < planes; ++p) {
    const int hshift = p ? desc->log2_chroma_w : 0;
    const int vshift = p ? desc->log2_chroma_h : 0;
    DeinterlaceBottomField(target->data[p], target->linesize[p], source->data[p],
                           source->linesize[p], source->width >> hshift, source->height >> vshift);
  }
  return true;
}

void CopyPicture(const AVFrame* source, AVFrame* target) {
  ff::av_image_copy(target->data, target->linesize, const_cast<const uint8_t**>(source->data),
                    source->linesize, static_cast<AVPixelFormat>(source->format), source->width,
                    source->height);
}

void CopyPictureProperties(AVFrame* target, const AVFrame* source) {
  while (target->nb_side_data > 0)
    ff::av_frame_remove_side_data(target, target->side_data[0]->type);
  ff::av_dict_free(&target->metadata);
  ff::av_frame_copy_props(target, source);
}

AVFrame* FramePool::Acquire(int width, int height, int format) {
  // Frames of another geometry are of no further use.
  std::erase_if(frames_, [&](const FramePtr& frame) {
    return frame->width != width || frame->height != height || frame->format != format;
  });
  for (FramePtr& frame : frames_) {
    if (ff::av_frame_is_writable(frame.get())) return frame.get();
  }
  FramePtr frame(ff::av_frame_alloc());
  if (!frame) return nullptr;
  frame->width = width;
  frame->height = height;
  frame->format = format;
  if (ff::av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  frames_.push_back(std::move(frame));
  return frames_.back().get();
}

}  // namespace moskvid
