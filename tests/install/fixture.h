#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "files.h"
#include "runtime.h"

// Each test starts in a fresh current directory holding a complete VCRUNTIME
// folder, with none of the five names in the system directory.
class RuntimeTest : public testing::Test {
protected:
    void SetUp() override {
        GetCurrentDirectoryA(MAX_PATH, saved_);
        work_ = FreshDir(testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(SetCurrentDirectoryA(work_.c_str()));
        PlantAllSources(work_);
        ClearTargets();
    }
    void TearDown() override {
        SetCurrentDirectoryA(saved_);
        RemoveTree(work_);
        ClearTargets();
    }
    std::string Source(const char* name) const { return work_ + "\\VCRUNTIME\\" + name; }
    void PlantTarget(const char* name, const char* tag) {
        ASSERT_TRUE(WriteFileBytes(SystemPath(name), StandInBytes(name, tag)));
    }
    void PlantTargets(const char* const* names, int count) {
        for (int i = 0; i < count; i++)
            PlantTarget(names[i], "already there");
    }
    void ExpectSameAsSource(const char* name) {
        EXPECT_TRUE(SameBytes(SystemPath(name), Source(name))) << name << " is not its source";
    }
    void ExpectHolds(const char* name, const char* tag) {
        EXPECT_TRUE(Holds(SystemPath(name), name, tag)) << name << " is not the stand-in " << tag;
    }
    void ExpectCopied(const char* name) { ExpectHolds(name, "source"); }

    std::string work_;
    char saved_[MAX_PATH];
};

// Indices into RuntimeNames.
const char* const* const Set2003 = RuntimeNames;
const char* const* const Set2002 = RuntimeNames + 3;
