#include "common/Trace.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace zr {
namespace {

void DebuggerSink(const char* text) { OutputDebugStringA(text); }

std::atomic<TraceSink> g_sink{&DebuggerSink};

}  // namespace

void Trace(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (n < 0) return;
    buffer[sizeof(buffer) - 1] = '\0';
    g_sink.load()(buffer);
}

TraceSink SetTraceSink(TraceSink sink) { return g_sink.exchange(sink ? sink : &DebuggerSink); }

}  // namespace zr
