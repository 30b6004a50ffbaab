#include "catalog/BundleReader.h"

#include "support/CatalogFixture.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {
namespace {

using test::xmlPlist;

/// The plist `xml` as libplist writes it in binary.
std::string binaryOf(const std::string& xml)
{
    plist_t node = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &node);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    std::string binary(bytes, length);
    std::free(bytes);
    plist_free(node);
    return binary;
}

// A binary plist of `objects` arrays, each holding `references` references to the next, the last empty: a
// chain, or with two references a graph of 2^objects nodes once expanded. (A reference cycle is refused by
// libplist itself.)
std::string chainedBinary(std::uint32_t objects, std::uint32_t references)
{
    const auto bigEndian = [](std::string& out, std::uint64_t value, int bytes) {
        for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
            out += static_cast<char>((value >> shift) & 0xFF);
    };
    std::string data = "bplist00";
    std::vector<std::uint32_t> offsets;
    for (std::uint32_t i = 0; i < objects; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(data.size()));
        const bool leaf = i + 1 == objects;
        data += static_cast<char>(leaf ? 0xA0 : 0xA0 + references);
        for (std::uint32_t r = 0; !leaf && r < references; ++r)
            bigEndian(data, i + 1, 4);
    }
    const std::uint64_t table = data.size();
    for (const std::uint32_t offset : offsets)
        bigEndian(data, offset, 4);
    data += std::string(6, '\0') + "\x04\x04"; // offset and reference sizes
    bigEndian(data, objects, 8);
    bigEndian(data, 0, 8); // root object
    bigEndian(data, table, 8);
    return data;
}

std::string repeated(const std::string& piece, std::size_t times)
{
    std::string out;
    while (times-- > 0)
        out += piece;
    return out;
}

TEST(BundleReader, ReadsStringKeysAndRejectsBrokenOrHostileInput)
{
    const std::string name = "<key>CFBundleDisplayName</key>";
    const std::string xml =
        xmlPlist("<key>CFBundleIdentifier</key><string>com.example.notes</string>" + name
                 + "<string>Notes \xE2\x88\x91</string><key>CFBundleIconFile</key><string>AppIcon</string>");
    const std::vector<std::string> notes = {xml, binaryOf(xml)};
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        // "identifier|name|icon file", "-" for none
        {notes, "com.example.notes|Notes \xE2\x88\x91|AppIcon"},
        {{xmlPlist(name + "<string/>")}, "-||-"},
        {{"\xEF\xBB\xBF" + xmlPlist(name + "<string>BOM</string>")}, "-|BOM|-"},
        {{"", "\xEF\xBB\xBF", notes[0].substr(0, notes[0].size() / 2), notes[1].substr(0, notes[1].size() - 5),
          "bplist00" + std::string(64, '\xFF')},
         "no bundle"},
        // Nesting and expansion that would exhaust libplist's stack or memory.
        {{"<plist>" + repeated("<array>", 300000) + repeated("</array>", 300000) + "</plist>", chainedBinary(200000, 1),
          chainedBinary(60, 2)},
         "no bundle"},
        // Other keys or types only; realistic sizes still open: many document types, deep but bounded nesting,
        // shared references.
        {{chainedBinary(200, 1), chainedBinary(16, 2), xmlPlist(name + "<integer>7</integer>"),
          xmlPlist("<key>Docs</key><array>"
                   + repeated("<dict><key>T</key><array><string>x</string></array></dict>", 1000)
                   + "</array><key>CFBundleName</key><string>Other</string>")},
         "-|-|-"},
    };
    const auto describe = [](const std::optional<BundleInfo>& info) {
        return info ? info->identifier.value_or("-") + "|" + info->displayName.value_or("-") + "|"
                          + info->iconFile.value_or("-")
                    : "no bundle";
    };
    for (const auto& [inputs, expected] : cases) {
        for (std::size_t i = 0; i < inputs.size(); ++i)
            EXPECT_EQ(describe(BundleReader::parseInfoPlist(inputs[i])), expected)
                << "input " << i << " of " << expected;
    }
}

} // namespace
} // namespace kestrel
