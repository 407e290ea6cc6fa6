#include "support/TraceCapture.h"

#include <algorithm>

#include "common/Trace.h"

namespace zrtest {
namespace {

std::vector<std::string> g_traces;

void CaptureTrace(const char* text) { g_traces.push_back(text); }

}  // namespace

CTraceCapture::CTraceCapture() {
    g_traces.clear();
    zr::SetTraceSink(&CaptureTrace);
}

CTraceCapture::~CTraceCapture() { zr::SetTraceSink(nullptr); }

const std::vector<std::string>& CTraceCapture::Texts() const { return g_traces; }

bool CTraceCapture::Has(const std::string& text) const {
    return std::find(g_traces.begin(), g_traces.end(), text) != g_traces.end();
}

}  // namespace zrtest
