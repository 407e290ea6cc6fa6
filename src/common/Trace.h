// The one debug trace channel: printf-style, to the debugger output.
#pragma once

namespace zr {

// Formats into a 512-byte buffer (longer output is cut to 511 characters) and
// hands the text to the sink, OutputDebugStringA unless a test replaced it.
void Trace(const char* format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;

using TraceSink = void (*)(const char* text);

// Replaces the sink; nullptr restores OutputDebugStringA. Returns the previous sink.
TraceSink SetTraceSink(TraceSink sink);

}  // namespace zr
