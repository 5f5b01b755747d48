/* The interface of a frame hook module: a shared object with the entry
 * points "Configure" (optional), "Process" (required) and "Release"
 * (optional). Process changes the picture in place. */
#ifndef MOSKVID_FRAME_HOOK_API_H
#define MOSKVID_FRAME_HOOK_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MoskvidHookPicture {
  uint8_t* data[4];
  int linesize[4];
} MoskvidHookPicture;

/* argv[0] is the module file name; last_arg is argc - 1. 0 means success. */
typedef int (*MoskvidHookConfigure)(void** context, int argc, char** argv, int last_arg);
/* pix_fmt is the library's pixel format number; pts is in microseconds. */
typedef void (*MoskvidHookProcess)(void* context, MoskvidHookPicture* picture, int pix_fmt,
                                   int width, int height, int64_t pts);
typedef void (*MoskvidHookRelease)(void* context);

#ifdef __cplusplus
}
#endif

#endif
