/* Test module: counts its configurations and remembers the arguments. */
#include <stdlib.h>
#include <string.h>

#include "binding/frame_hook_api.h"

static int configured = 0;
static int last_argc = 0;
static int released = 0;
static int processed = 0;

int Configure(void** context, int argc, char** argv, int last_arg) {
  if (last_arg != argc - 1 || argv[argc] != NULL) return -1;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "fail") == 0) return -1;
  }
  configured += 1;
  last_argc = argc;
  *context = malloc(1);
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

void Release(void* context) {
  free(context);
  released += 1;
}

int ConfiguredCount(void) {
  return configured;
}
int LastArgc(void) {
  return last_argc;
}
int ReleasedCount(void) {
  return released;
}
int ProcessedCount(void) {
  return processed;
}
