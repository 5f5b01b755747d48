// Which lines of a conversion's log the command line shows.
#pragma once

#include <string>

#include "component/ffmpeg_task.h"

namespace moskvid::cli {

// How much of the log a run shows: --quiet the lines the default shows,
// without the progress; --verbose everything the converter reports.
enum class LogDetail { Quiet, Default, Verbose };

// Short of Verbose, only the lines that concern the user: the engine's own
// errors and warnings (a jump closed up, what a failed or stopped run kept, a
// name taken while converting, a leftover part, an option ignored). Not the
// failure that ended a task, which the task's end reports with the file's
// name, nor the libraries' lines ("[name @ address]..."), whose warnings are
// about their own workings, nor anyone's information (stream dumps, encoder
// settings, renamed encoders, statistics).
bool ShowsLogLine(LogDetail detail, TLogLevel level, const std::string& line);

}  // namespace moskvid::cli
