// session_settings_test.cpp: how the capture reads VELKANO_TRACE_EXACT, and the default trace
// name, which must never replace a file that is already there.
#include "capture/session_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "capture/capture_platform.h"

namespace velkano::capture {
namespace {

TEST(exactModeRequested, takesTheUsualWordsForYesAndNoAndWarnsAboutAnythingElse) {
    const struct {
        const char* value;
        bool exact, warned;
    } cases[] = {
        {nullptr, false, false},  {"", false, false},        {"  \t", false, false}, {"1", true, false},
        {"true", true, false},    {"yes", true, false},      {"on", true, false},    {"YES", true, false},
        {" On\t", true, false},   {"tRuE\r\n", true, false}, {"0", false, false},    {"false", false, false},
        {"no", false, false},     {"OFF ", false, false},    {"\tNo", false, false}, {"2", false, true},
        {"maybe", false, true},   {"y", false, true},        {"1 1", false, true},   {"on!", false, true},
        {"enabled", false, true}, {"\xc3\xa9", false, true},
    };
    for (const auto& c : cases) {
        const std::string shown = c.value == nullptr ? "(unset)" : '"' + std::string(c.value) + '"';
        std::string warning = "left from before";
        EXPECT_EQ(exactModeRequested(c.value, warning), c.exact) << shown;
        EXPECT_EQ(!warning.empty(), c.warned) << shown << ": " << warning;
        if (c.warned) {
            EXPECT_NE(warning.find("VELKANO_TRACE_EXACT=\"" + std::string(c.value) + "\""), std::string::npos)
                << warning;
            EXPECT_NE(warning.find("1, true, yes or on"), std::string::npos) << warning;
        }
    }
}

std::string fileText(const std::string& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
        std::fclose(file);
    }
    return text;
}

void writeText(TraceSink& sink, const std::string& text) {
    ASSERT_TRUE(sink.write({reinterpret_cast<const uint8_t*>(text.data()), text.size()}));
}

TEST(createDefaultTrace, takesTheFirstFreeNameAndLeavesEveryExistingFileAlone) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 8;
    when.tm_hour = 6;
    when.tm_min = 30;
    when.tm_sec = 12;
    EXPECT_EQ(defaultTraceName(when, 1234, 0), "velkano-20261208-063012-1234.vktrace");
    EXPECT_EQ(defaultTraceName(when, 1234, 1), "velkano-20261208-063012-1234-2.vktrace");

    // This process's id keeps the names apart from another run of the suite at the same time.
    const std::string folder = testing::TempDir();
    const uint64_t pid = currentProcessId();
    std::string names[4];
    for (unsigned i = 0; i < 4; ++i) {
        names[i] = folder + defaultTraceName(when, pid, i);
        std::remove(names[i].c_str());
    }
    {
        FileTraceSink earlier;  // a trace an earlier process of the same id left in that second
        std::string error;
        ASSERT_TRUE(earlier.open(names[0], error)) << error;
        writeText(earlier, "earlier trace");
    }

    FileTraceSink first, second;
    std::string firstPath, secondPath, error;
    ASSERT_TRUE(createDefaultTrace(first, folder, when, pid, firstPath, error)) << error;
    ASSERT_TRUE(createDefaultTrace(second, folder, when, pid, secondPath, error)) << error;
    EXPECT_EQ(firstPath, names[1]);
    EXPECT_EQ(secondPath, names[2]);
    writeText(first, "first");
    writeText(second, "second");
    EXPECT_TRUE(first.close());
    EXPECT_TRUE(second.close());
    EXPECT_EQ(fileText(names[0]), "earlier trace");
    EXPECT_EQ(fileText(names[1]), "first");
    EXPECT_EQ(fileText(names[2]), "second");

    // A folder that does not exist fails at the first name, naming it, without trying others.
    const std::string missing = folder + "velkano-no-such-folder/";
    FileTraceSink nowhere;
    std::string path;
    EXPECT_FALSE(createDefaultTrace(nowhere, missing, when, pid, path, error));
    EXPECT_EQ(path, missing + defaultTraceName(when, pid, 0));
    EXPECT_NE(error.find("cannot create the trace " + path), std::string::npos) << error;

    for (const std::string& name : names) std::remove(name.c_str());
}

}  // namespace
}  // namespace velkano::capture
