#include "common/Trace.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_last;
void Capture(const char* text) { g_last = text; }

TEST(Trace, FormatsAndCutsAt511Characters) {
    zr::SetTraceSink(&Capture);
    zr::Trace("Title = %s, Path = %s\n", "a", "C:\\b");
    EXPECT_EQ("Title = a, Path = C:\\b\n", g_last);
    std::string longText(600, 'x');
    zr::Trace("%s", longText.c_str());
    EXPECT_EQ(std::string(511, 'x'), g_last);
    zr::SetTraceSink(nullptr);
}

}  // namespace
