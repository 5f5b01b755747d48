/* Test module: its "Configure" calls back into the test (the function whose
 * address is argv[1], in hexadecimal), so that the test can look at the
 * process while a module is being added. */
#include <stdint.h>
#include <stdlib.h>

#include "binding/frame_hook_api.h"

static int processed = 0;

int Configure(void** context, int argc, char** argv, int last_arg) {
  (void)last_arg;
  *context = NULL;
  if (argc < 2) return 0;
  void (*callback)(void) = (void (*)(void))(uintptr_t)strtoull(argv[1], NULL, 16);
  if (callback) callback();
  return 0;
}

void Process(void* context, MoskvidHookPicture* picture, int pix_fmt, int width, int height,
             int64_t pts) {
  (void)context;
  (void)picture;
  (void)pix_fmt;
  (void)width;
  (void)height;
  (void)pts;
  processed += 1;
}

int ProcessedCount(void) {
  return processed;
}
