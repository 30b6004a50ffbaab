#include "catalog/CatalogLocations.h"

#include "catalog/CatalogFixture.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using testing::ScopedEnvironment;
using Strings = std::vector<std::string>;

TEST(CatalogLocations, BundleDirectoriesAreTheFourFixedOnesUnderTheRoot)
{
    struct Case {
        std::string root;
        std::string prefix;
    };
    const Case cases[] = {{"", ""}, {"/tmp/tree", "/tmp/tree"}, {"/tmp/tree//", "/tmp/tree"}, {"/", ""}};
    for (const Case& c : cases) {
        CatalogLocations locations;
        locations.bundleRoot = c.root;
        EXPECT_EQ(locations.bundleDirectories(),
                  (Strings{c.prefix + "/Applications", c.prefix + "/System/Applications",
                           c.prefix + "/System/Applications/Utilities", c.prefix + "/System/Library/CoreServices"}))
            << "root " << c.root;
    }
}

TEST(CatalogLocations, DefaultsFollowTheBaseDirectoryRules)
{
    struct Case {
        const char* what;
        std::optional<std::string> dataHome;
        std::optional<std::string> home;
        std::optional<std::string> dataDirs;
        Strings expected;
    };
    const std::vector<Case> cases = {
        {"nothing set but HOME", std::nullopt, "/home/ann", std::nullopt,
         {"/home/ann/.local/share/applications", "/usr/local/share/applications", "/usr/share/applications"}},
        {"XDG_DATA_HOME wins over HOME", "/data/home", "/home/ann", std::nullopt,
         {"/data/home/applications", "/usr/local/share/applications", "/usr/share/applications"}},
        {"relative XDG_DATA_HOME is ignored", "relative/home", "/home/ann/", std::nullopt,
         {"/home/ann/.local/share/applications", "/usr/local/share/applications", "/usr/share/applications"}},
        {"empty XDG_DATA_DIRS means the default", "/h", std::nullopt, "",
         {"/h/applications", "/usr/local/share/applications", "/usr/share/applications"}},
        {"relative, empty and repeated entries are dropped", "/h", std::nullopt, "/opt/a:rel/dir::/opt/b/:/opt/a",
         {"/h/applications", "/opt/a/applications", "/opt/b/applications"}},
        {"data home repeated in the data dirs keeps its first place", "/usr/share", std::nullopt, std::nullopt,
         {"/usr/share/applications", "/usr/local/share/applications"}},
        {"no home at all", std::nullopt, std::nullopt, "/only", {"/only/applications"}},
        {"only relative data dirs give none", std::nullopt, std::nullopt, "a:b", {}},
    };
    for (const Case& c : cases) {
        ScopedEnvironment environment;
        environment.set("XDG_DATA_HOME", c.dataHome);
        environment.set("HOME", c.home);
        environment.set("XDG_DATA_DIRS", c.dataDirs);
        const CatalogLocations locations = CatalogLocations::defaults();
        EXPECT_EQ(locations.xdgApplicationDirectories, c.expected) << c.what;
        EXPECT_EQ(locations.bundleRoot, "") << c.what;
    }
}

} // namespace
} // namespace kestrel
