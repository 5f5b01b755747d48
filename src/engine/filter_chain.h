// The video filter chain between a decoder and an encoder.
#pragma once

#include <string>

struct AVFilterContext;
struct AVFilterGraph;

namespace moskvid {

class TCustomFFmpeg;
struct TTranscodeInputStream;
struct TTranscodeOutputStream;

// Parses the filter graph text `filters` into `graph` between `source`'s
// output and `sink`'s input; the library's result (negative on failure).
int LinkFilterText(AVFilterGraph* graph, AVFilterContext* source, AVFilterContext* sink,
                   const std::string& filters);

// Builds the chain "buffer -> [crop] -> [scale] -> vfilters -> buffersink"
// for one input/output stream pair and sets the encoder's size from the
// chain's output. Non-zero on failure, with a detail in the engine's
// ErrorText when there is one.
int ConfigureFilters(TCustomFFmpeg& engine, TTranscodeInputStream& ist,
                     TTranscodeOutputStream& ost);

}  // namespace moskvid
