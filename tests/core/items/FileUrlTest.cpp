#include "catalog/FileUrl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(FileUrl, KeepsAbsolutePathsAndAnchorsRelativeOnes)
{
    const std::string cwd = std::filesystem::current_path().string();
    struct Case {
        std::string path;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/usr/share/applications/firefox.desktop", "/usr/share/applications/firefox.desktop"},
        {"/", "/"},
        {"/Applications/Safari.app/", "/Applications/Safari.app/"},
        {"/a/../b/./c", "/a/../b/./c"},
        {"//double//slash", "//double//slash"},
        {"/Applications/Cafe\u0301.app", "/Applications/Cafe\u0301.app"},
        {"relative/Tool.app", cwd + "/relative/Tool.app"},
        {"./x", cwd + "/./x"},
        {"../up", cwd + "/../up"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileUrl::fromPath(c.path).path(), c.expected) << c.path;
}

TEST(FileUrl, EqualityIsByteEqualityOfTheAbsolutePath)
{
    const std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(FileUrl::fromPath("/Applications/Safari.app"), FileUrl::fromPath("/Applications/Safari.app"));
    EXPECT_EQ(FileUrl::fromPath("Tool.app"), FileUrl::fromPath(cwd + "/Tool.app"));
    EXPECT_NE(FileUrl::fromPath("/Applications/Safari.app"), FileUrl::fromPath("/Applications/Safari.app/"));
    EXPECT_NE(FileUrl::fromPath("/Applications/Safari.app"), FileUrl::fromPath("/applications/safari.app"));
    EXPECT_NE(FileUrl::fromPath("/A/Caf\u00e9.app"), FileUrl::fromPath("/A/Cafe\u0301.app"));
}

} // namespace
} // namespace kestrel
