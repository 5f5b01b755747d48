/* Test module: "Process" only, which paints the brightness plane white. */
#include "binding/frame_hook_api.h"

void Process(void* context, MoskvidHookPicture* picture, int pix_fmt, int width, int height,
             int64_t pts) {
  (void)context;
  (void)pix_fmt;
  (void)pts;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      picture->data[0][y * picture->linesize[0] + x] = 235;
  }
}
