// The main of every test program. Two outcomes a plain run would report as a
// pass are told apart: no test selected at all (a filter or shard that matches
// nothing proves nothing) fails, and a run in which every selected test was
// skipped ends with the skip code, so ctest shows it as not run.
#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr int kSkipCode = 77;  // SKIP_RETURN_CODE of every test entry

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result != 0 || testing::GTEST_FLAG(list_tests)) return result;
    const testing::UnitTest& run = *testing::UnitTest::GetInstance();
    if (run.test_to_run_count() == 0) {
        std::printf("FAILED: no test was selected (filter \"%s\")\n", testing::GTEST_FLAG(filter).c_str());
        return 1;
    }
    if (run.skipped_test_count() == run.test_to_run_count()) {
        std::printf("SKIPPED: every selected test was skipped\n");
        return kSkipCode;
    }
    return 0;
}
