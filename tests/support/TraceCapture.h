// The product's trace texts, collected while a CTraceCapture lives.
#pragma once

#include <string>
#include <vector>

namespace zrtest {

class CTraceCapture {
public:
    CTraceCapture();
    ~CTraceCapture();
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;
    const std::vector<std::string>& Texts() const;
    bool Has(const std::string& text) const;
};

}  // namespace zrtest
