#include "catalog/BundleReader.h"

#include "catalog/CatalogFixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using testing::PlistBuilder;
using testing::TempTree;
using testing::xmlPlist;

struct Expected {
    std::optional<std::string> identifier;
    std::optional<std::string> displayName;
    std::optional<std::string> iconFile;
};

void expectInfo(const std::optional<BundleInfo>& info, const Expected& expected, const std::string& what)
{
    ASSERT_TRUE(info.has_value()) << what;
    EXPECT_EQ(info->identifier, expected.identifier) << what;
    EXPECT_EQ(info->displayName, expected.displayName) << what;
    EXPECT_EQ(info->iconFile, expected.iconFile) << what;
}

TEST(BundleReader, ReadsTheThreeKeysFromXmlAndBinaryAlike)
{
    struct Case {
        const char* what;
        std::function<void(PlistBuilder&)> fill;
        Expected expected;
    };
    const std::vector<Case> cases = {
        {"all three strings",
         [](PlistBuilder& p) {
             p.string("CFBundleIdentifier", "com.example.notes").string("CFBundleDisplayName", "Notes Pro");
             p.string("CFBundleIconFile", "AppIcon");
         },
         {"com.example.notes", "Notes Pro", "AppIcon"}},
        {"display name absent", [](PlistBuilder& p) { p.string("CFBundleIdentifier", "a.b"); }, {"a.b", {}, {}}},
        {"display name empty", [](PlistBuilder& p) { p.string("CFBundleDisplayName", ""); }, {{}, "", {}}},
        {"display name a number", [](PlistBuilder& p) { p.integer("CFBundleDisplayName", 7); }, {{}, {}, {}}},
        {"display name an array", [](PlistBuilder& p) { p.array("CFBundleDisplayName"); }, {{}, {}, {}}},
        {"identifier a number", [](PlistBuilder& p) { p.integer("CFBundleIdentifier", 1); }, {{}, {}, {}}},
        {"only the other name key", [](PlistBuilder& p) { p.string("CFBundleName", "Other"); }, {{}, {}, {}}},
        {"non-ASCII name", [](PlistBuilder& p) { p.string("CFBundleDisplayName", "Rechner \xC3\x9C \xE2\x88\x91"); },
         {{}, "Rechner \xC3\x9C \xE2\x88\x91", {}}},
    };
    for (const Case& c : cases) {
        PlistBuilder builder;
        c.fill(builder);
        expectInfo(BundleReader::parseInfoPlist(builder.xml()), c.expected, std::string(c.what) + " (XML)");
        expectInfo(BundleReader::parseInfoPlist(builder.binary()), c.expected, std::string(c.what) + " (binary)");
    }
}

TEST(BundleReader, ReadsHandWrittenXmlForms)
{
    struct Case {
        const char* what;
        std::string bytes;
        Expected expected;
    };
    const std::vector<Case> cases = {
        {"byte-order mark", "\xEF\xBB\xBF" + xmlPlist("<key>CFBundleDisplayName</key><string>Mit BOM</string>\n"),
         {{}, "Mit BOM", {}}},
        {"empty element", xmlPlist("<key>CFBundleDisplayName</key><string/>\n"), {{}, "", {}}},
        {"empty content", xmlPlist("<key>CFBundleDisplayName</key><string></string>\n"), {{}, "", {}}},
        {"entities", xmlPlist("<key>CFBundleDisplayName</key><string>Tom &amp; Jerry</string>\n"),
         {{}, "Tom & Jerry", {}}},
        {"no XML declaration", "<plist><dict><key>CFBundleIdentifier</key><string>x.y</string></dict></plist>",
         {"x.y", {}, {}}},
        {"root is an array: opened, no keys", "<plist><array><string>a</string></array></plist>", {{}, {}, {}}},
    };
    for (const Case& c : cases)
        expectInfo(BundleReader::parseInfoPlist(c.bytes), c.expected, c.what);
}

std::string nestedXml(std::size_t depth)
{
    std::string bytes = "<plist>";
    for (std::size_t i = 0; i < depth; ++i)
        bytes += "<array>";
    for (std::size_t i = 0; i < depth; ++i)
        bytes += "</array>";
    return bytes + "</plist>";
}

// A binary plist whose objects are arrays of `references` references each to the next object, the last an
// empty array: a chain of `objects` levels, or with two references a graph that expands to 2^objects nodes.
std::string chainedBinary(std::size_t objects, std::size_t references, bool cycle = false)
{
    std::string bytes = "bplist00";
    std::vector<std::uint32_t> offsets;
    for (std::size_t i = 0; i < objects; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(bytes.size()));
        const bool last = i + 1 == objects;
        if (last && !cycle) {
            bytes += '\xA0';
            continue;
        }
        bytes += static_cast<char>(0xA0 + references);
        const std::uint32_t target = last ? 0 : static_cast<std::uint32_t>(i + 1);
        for (std::size_t r = 0; r < references; ++r)
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes += static_cast<char>((target >> shift) & 0xFF);
    }
    const std::uint64_t table = bytes.size();
    for (std::uint32_t offset : offsets)
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += static_cast<char>((offset >> shift) & 0xFF);
    std::string trailer(32, '\0');
    trailer[6] = 4; // offset size
    trailer[7] = 4; // reference size
    for (int i = 0; i < 8; ++i) {
        trailer[static_cast<std::size_t>(8 + i)] = static_cast<char>((std::uint64_t{objects} >> (56 - 8 * i)) & 0xFF);
        trailer[static_cast<std::size_t>(24 + i)] = static_cast<char>((table >> (56 - 8 * i)) & 0xFF);
    }
    return bytes + trailer;
}

TEST(BundleReader, RejectsMalformedAndHostileInputWithoutCrashing)
{
    PlistBuilder valid;
    valid.string("CFBundleIdentifier", "com.example.valid").string("CFBundleDisplayName", "Valid");
    const std::string xml = valid.xml();
    const std::string binary = valid.binary();

    struct Case {
        const char* what;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"empty", ""},
        {"only a byte-order mark", "\xEF\xBB\xBF"},
        {"text", "this is not a property list"},
        {"truncated XML", xml.substr(0, xml.size() / 2)},
        {"truncated binary", binary.substr(0, binary.size() - 5)},
        {"binary header and garbage", "bplist00" + std::string(64, '\xFF')},
        {"binary with its offset table pointing nowhere", binary.substr(0, binary.size() - 8) + std::string(8, '\x7F')},
        {"XML nested 300000 levels deep", nestedXml(300000)},
        {"binary nested 200000 levels deep", chainedBinary(200000, 1)},
        {"binary references expanding to 2^60 nodes", chainedBinary(60, 2)},
        {"binary reference cycle", chainedBinary(3, 1, true)},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(BundleReader::parseInfoPlist(c.bytes).has_value()) << c.what;
}

TEST(BundleReader, AcceptsRealisticNestingAndSize)
{
    // A dictionary of document types as large applications declare them: thousands of nodes, a few levels.
    std::string body = "<key>CFBundleIdentifier</key><string>big.app</string><key>CFBundleDocumentTypes</key><array>";
    for (int i = 0; i < 1000; ++i)
        body += "<dict><key>CFBundleTypeName</key><string>Type " + std::to_string(i)
                + "</string><key>LSItemContentTypes</key><array><string>public.item</string></array></dict>";
    body += "</array>";
    expectInfo(BundleReader::parseInfoPlist(xmlPlist(body)), {"big.app", {}, {}}, "1000 document types");
    expectInfo(BundleReader::parseInfoPlist(nestedXml(200)), {{}, {}, {}}, "200 levels of XML");
    expectInfo(BundleReader::parseInfoPlist(chainedBinary(200, 1)), {{}, {}, {}}, "200 levels of binary");
    expectInfo(BundleReader::parseInfoPlist(chainedBinary(16, 2)), {{}, {}, {}}, "shared references, 65535 nodes");
}

TEST(BundleReader, FindsTheInformationFileAndTheIcon)
{
    TempTree tree;
    PlistBuilder named;
    named.string("CFBundleDisplayName", "Named").string("CFBundleIconFile", "AppIcon");
    PlistBuilder withPng;
    withPng.string("CFBundleIconFile", "icon.png");
    PlistBuilder missingIcon;
    missingIcon.string("CFBundleIconFile", "Missing");
    PlistBuilder escaping;
    escaping.string("CFBundleIconFile", "../../../outside.icns");

    tree.writeFile("Named.app/Contents/Info.plist", named.xml());
    tree.writeFile("Named.app/Contents/Resources/AppIcon.icns", "icns");
    tree.writeFile("Png.app/Contents/Info.plist", withPng.binary());
    tree.writeFile("Png.app/Contents/Resources/icon.png", "png");
    tree.writeFile("Flat.app/Info.plist", named.xml());
    tree.writeFile("Flat.app/AppIcon.icns", "icns");
    tree.writeFile("Missing.app/Contents/Info.plist", missingIcon.xml());
    tree.writeFile("Escaping.app/Contents/Info.plist", escaping.xml());
    tree.writeFile("outside.icns", "icns");
    tree.writeFile("BrokenThenFlat.app/Contents/Info.plist", "garbage");
    tree.writeFile("BrokenThenFlat.app/Info.plist", named.xml());
    tree.writeFile("BrokenThenFlat.app/AppIcon.icns", "icns");

    struct Case {
        const char* bundle;
        std::optional<std::string> displayName;
        std::optional<std::string> iconPath;
    };
    const std::vector<Case> cases = {
        {"Named.app", "Named", tree.path("Named.app/Contents/Resources/AppIcon.icns")},
        {"Png.app", std::nullopt, tree.path("Png.app/Contents/Resources/icon.png")},
        {"Flat.app", "Named", tree.path("Flat.app/AppIcon.icns")},
        {"Missing.app", std::nullopt, std::nullopt},
        {"Escaping.app", std::nullopt, std::nullopt},
        {"BrokenThenFlat.app", "Named", tree.path("BrokenThenFlat.app/AppIcon.icns")},
    };
    for (const Case& c : cases) {
        const auto info = BundleReader::read(tree.path(c.bundle));
        ASSERT_TRUE(info.has_value()) << c.bundle;
        EXPECT_EQ(info->displayName, c.displayName) << c.bundle;
        EXPECT_EQ(info->iconPath, c.iconPath) << c.bundle;
    }
}

TEST(BundleReader, BundlesThatCannotBeOpened)
{
    TempTree tree;
    PlistBuilder valid;
    valid.string("CFBundleDisplayName", "Valid");
    tree.writeFile("PlainFile.app", valid.xml());
    tree.makeDirectory("NoInfo.app/Contents");
    tree.makeDirectory("InfoIsDirectory.app/Contents/Info.plist");
    tree.makeFifo("InfoIsFifo.app/Contents/Info.plist");
    tree.makeSparseFile("Huge.app/Contents/Info.plist", BundleReader::maxInfoPlistBytes + 1);
    tree.makeSymlink(tree.path("nowhere"), "Dangling.app");
    tree.writeFile("Garbage.app/Contents/Info.plist", std::string("\x00\xFF\x13garbage", 10));

    for (const char* bundle : {"PlainFile.app", "NoInfo.app", "InfoIsDirectory.app", "InfoIsFifo.app", "Huge.app",
                               "Dangling.app", "Garbage.app", "DoesNotExist.app"})
        EXPECT_FALSE(BundleReader::read(tree.path(bundle)).has_value()) << bundle;

    // A file of exactly the size limit is still read.
    const std::string limit(BundleReader::maxInfoPlistBytes - valid.xml().size(), ' ');
    tree.writeFile("AtLimit.app/Contents/Info.plist", valid.xml() + limit);
    const auto atLimit = BundleReader::read(tree.path("AtLimit.app"));
    ASSERT_TRUE(atLimit.has_value());
    EXPECT_EQ(atLimit->displayName, "Valid");
}

TEST(BundleReader, UnreadableInformationFileCountsAsNoBundle)
{
    TempTree tree;
    PlistBuilder valid;
    valid.string("CFBundleDisplayName", "Valid");
    const std::string plist = tree.writeFile("Locked.app/Contents/Info.plist", valid.xml());
    tree.writeFile("Open.app/Contents/Info.plist", valid.xml());
    ::chmod(plist.c_str(), 0);
    const std::string result = testing::runWithoutRootPrivileges([&] {
        return std::string(BundleReader::read(tree.path("Locked.app")) ? "locked read" : "locked skipped") + ", "
               + (BundleReader::read(tree.path("Open.app")) ? "open read" : "open skipped");
    });
    EXPECT_EQ(result, "locked skipped, open read");
}

} // namespace
} // namespace kestrel
