#include <gtest/gtest.h>
#include <stdio.h>

#include "test_prefix.h"

namespace {

// GoogleTest's own printer hands every failure to OutputDebugStringA as well,
// whose exception Wine cannot unwind under qemu-i386: the program would crash
// at its first failure. This one prints and nothing more.
class Printer : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& test) override {
        printf("[ RUN      ] %s.%s\n", test.test_suite_name(), test.name());
        fflush(stdout);
    }
    void OnTestPartResult(const testing::TestPartResult& result) override {
        if (result.failed())
            printf("%s:%d: Failure\n%s\n", result.file_name() ? result.file_name() : "?", result.line_number(),
                   result.message());
        fflush(stdout);
    }
    void OnTestEnd(const testing::TestInfo& test) override {
        printf("[ %s ] %s.%s\n", test.result()->Failed() ? " FAILED " : "      OK", test.test_suite_name(),
               test.name());
        fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    RequireTestPrefix();
    testing::InitGoogleTest(&argc, argv);
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new Printer);
    return RUN_ALL_TESTS();
}
