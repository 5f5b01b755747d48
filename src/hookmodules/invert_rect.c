/* A frame hook module: inverts a rectangle of the picture.
 *
 * vhook value: "invert_rect.so [X Y WIDTH HEIGHT]" (the whole picture without
 * arguments). Works on 8-bit planar YUV and grey pictures (the brightness
 * plane is inverted) and on packed 24-bit RGB or BGR pictures. */
#include <stddef.h>
#include <stdlib.h>

#include <libavutil/pixfmt.h>

#include "binding/frame_hook_api.h"

typedef struct Rectangle {
  int x, y, width, height; /* width -1: the whole picture */
} Rectangle;

static int ParseNumber(const char* text, int* value) {
  char* end = NULL;
  long number = strtol(text, &end, 10);
  if (end == text || *end != '\0' || number < 0 || number > 65535) return 0;
  *value = (int)number;
  return 1;
}

int Configure(void** context, int argc, char** argv, int last_arg) {
  (void)last_arg;
  Rectangle* rectangle = calloc(1, sizeof *rectangle);
  if (!rectangle) return -1;
  rectangle->width = -1;
  if (argc == 5) {
    if (!ParseNumber(argv[1], &rectangle->x) || !ParseNumber(argv[2], &rectangle->y) ||
        !ParseNumber(argv[3], &rectangle->width) || !ParseNumber(argv[4], &rectangle->height)) {
      free(rectangle);
      return -1;
    }
  } else if (argc != 1) {
    free(rectangle);
    return -1;
  }
  *context = rectangle;
  return 0;
}

void Process(void* context, MoskvidHookPicture* picture, int pix_fmt, int width, int height,
             int64_t pts) {
  (void)pts;
  const Rectangle* rectangle = context;
  int bytes_per_pixel;
  switch (pix_fmt) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUV411P:
    case AV_PIX_FMT_GRAY8:
      bytes_per_pixel = 1;
      break;
    case AV_PIX_FMT_RGB24:
    case AV_PIX_FMT_BGR24:
      bytes_per_pixel = 3;
      break;
    default:
      return;
  }
  int x0 = 0, y0 = 0, x1 = width, y1 = height;
  if (rectangle && rectangle->width >= 0) {
    x0 = rectangle->x;
    y0 = rectangle->y;
    x1 = x0 + rectangle->width < width ? x0 + rectangle->width : width;
    y1 = y0 + rectangle->height < height ? y0 + rectangle->height : height;
  }
  for (int y = y0; y < y1; ++y) {
    uint8_t* line = picture->data[0] + (ptrdiff_t)y * picture->linesize[0];
    for (int x = x0 * bytes_per_pixel; x < x1 * bytes_per_pixel; ++x)
      line[x] = 255 - line[x];
  }
}

void Release(void* context) {
  free(context);
}
