// Capture of the media libraries' log: fragments are assembled into lines per
// thread and each line is handed to every converter component, attributed
// to the task whose thread logged it or whose codec it came from.
#pragma once

#include <cstdarg>
#include <string>

namespace moskvid {

class TCustomFFmpegVCL;

// The process-wide registry of components. Lines are delivered in
// registration order.
void RegisterComponent(TCustomFFmpegVCL* component);
void UnregisterComponent(TCustomFFmpegVCL* component);

// Installs the capture as the libraries' log callback.
void InstallLogCapture();
// Forgets every thread's unfinished line.
void ClearPendingLogLines();

// The callback itself (public for the tests).
void CaptureLibraryLog(void* context, int level, const char* format, va_list arguments);

// Sets the library log level for a component log level and remembers it.
void SetLibraryLogLevel(int componentLevel);

}  // namespace moskvid
