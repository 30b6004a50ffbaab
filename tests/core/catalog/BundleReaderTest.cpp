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
using Items = std::vector<std::pair<const char*, plist_t>>;

/// A dictionary of `items` (the nodes are taken over) written by libplist as XML and as binary.
std::vector<std::string> encodings(const Items& items)
{
    plist_t dictionary = plist_new_dict();
    for (const auto& [key, value] : items)
        plist_dict_set_item(dictionary, key, value);
    std::vector<std::string> out;
    for (const auto encode : {plist_to_xml, plist_to_bin}) {
        char* bytes = nullptr;
        std::uint32_t length = 0;
        encode(dictionary, &bytes, &length);
        out.emplace_back(bytes, length);
        std::free(bytes);
    }
    plist_free(dictionary);
    return out;
}

// A binary plist of `objects` arrays, each holding `references` references to the next, the last empty (or,
// for a cycle, referring to the first): a chain, or with two references a graph of 2^objects nodes.
std::string chainedBinary(std::uint32_t objects, std::uint32_t references, bool cycle = false)
{
    const auto bigEndian = [](std::string& out, std::uint64_t value, int bytes) {
        for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
            out += static_cast<char>((value >> shift) & 0xFF);
    };
    std::string data = "bplist00";
    std::vector<std::uint32_t> offsets;
    for (std::uint32_t i = 0; i < objects; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(data.size()));
        const bool last = i + 1 == objects;
        data += static_cast<char>(last && !cycle ? 0xA0 : 0xA0 + references);
        for (std::uint32_t r = 0; !(last && !cycle) && r < references; ++r)
            bigEndian(data, last ? 0 : i + 1, 4);
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

/// "identifier|display name|icon file" ("-" for an absent key), or "no bundle".
std::string describe(const std::optional<BundleInfo>& info)
{
    return info ? info->identifier.value_or("-") + "|" + info->displayName.value_or("-") + "|" + info->iconFile.value_or("-")
                : "no bundle";
}

TEST(BundleReader, ReadsStringKeysAndRejectsBrokenOrHostileInput)
{
    const auto repeated = [](const std::string& piece, std::size_t times) {
        std::string out;
        while (times-- > 0)
            out += piece;
        return out;
    };
    const std::string displayName = "<key>CFBundleDisplayName</key>";
    const std::vector<std::string> valid = encodings({{"CFBundleDisplayName", plist_new_string("Valid")}});
    const std::string documentTypes =
        repeated("<dict><key>Name</key><string>Type</string><key>Types</key><array><string>x</string></array></dict>", 1000);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {encodings({{"CFBundleIdentifier", plist_new_string("com.example.notes")},
                    {"CFBundleDisplayName", plist_new_string("Notes \xE2\x88\x91")},
                    {"CFBundleIconFile", plist_new_string("AppIcon")}}),
         "com.example.notes|Notes \xE2\x88\x91|AppIcon"},
        {encodings({{"CFBundleName", plist_new_string("Other")}}), "-|-|-"},
        {encodings({{"CFBundleDisplayName", plist_new_string("")}}), "-||-"},
        {encodings({{"CFBundleDisplayName", plist_new_uint(7)}}), "-|-|-"},
        {{"\xEF\xBB\xBF" + xmlPlist(displayName + "<string>BOM</string>")}, "-|BOM|-"},
        {{xmlPlist(displayName + "<string/>")}, "-||-"},
        {{"", "\xEF\xBB\xBF", valid[0].substr(0, valid[0].size() / 2), valid[1].substr(0, valid[1].size() - 5),
          "bplist00" + std::string(64, '\xFF')},
         "no bundle"},
        // Nesting and expansion that would exhaust libplist's stack or memory, and a reference cycle.
        {{"<plist>" + repeated("<array>", 300000) + repeated("</array>", 300000) + "</plist>", chainedBinary(200000, 1),
          chainedBinary(60, 2), chainedBinary(3, 1, true)},
         "no bundle"},
        // Realistic sizes still open: many document types, deep but bounded nesting, shared references.
        {{xmlPlist("<key>Docs</key><array>" + documentTypes + "</array>"),
          "<plist>" + repeated("<array>", 200) + repeated("</array>", 200) + "</plist>", chainedBinary(200, 1),
          chainedBinary(16, 2)},
         "-|-|-"},
    };
    for (const auto& [inputs, expected] : cases) {
        for (std::size_t i = 0; i < inputs.size(); ++i)
            EXPECT_EQ(describe(BundleReader::parseInfoPlist(inputs[i])), expected) << "input " << i << " of " << expected;
    }
}

} // namespace
} // namespace kestrel
