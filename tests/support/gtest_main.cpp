#include <gtest/gtest.h>

#include "test_prefix.h"

int main(int argc, char** argv) {
    RequireTestPrefix();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
