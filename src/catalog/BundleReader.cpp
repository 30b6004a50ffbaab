#include "catalog/BundleReader.h"

#include "catalog/SmallFileReader.h"
#include "text/UnicodeText.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace kestrel {

namespace {

// libplist recurses once per nesting level (parsing binary plists, freeing any tree) and expands every
// reference of a binary plist anew, so a few hundred kilobytes can exhaust the stack or the memory. Input
// is only handed to it once these bounds are proven; real information dictionaries stay far below them.
constexpr std::size_t maxNestingDepth = 512;      // binary: containers on one path
constexpr std::size_t maxXmlContainerTags = 4096; // XML: every "<array"/"<dict" counted, nested or not
constexpr std::size_t maxNodes = 262144;          // nodes of the parsed tree
constexpr std::size_t maxBinaryObjects = 1u << 20;

constexpr std::string_view binaryMagic = "bplist00";
constexpr std::string_view utf8ByteOrderMark = "\xEF\xBB\xBF";

std::size_t countOccurrences(std::string_view haystack, std::string_view needle)
{
    std::size_t count = 0;
    for (std::size_t at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1))
        ++count;
    return count;
}

// Every node libplist's XML parser creates starts at its own '<', and every array or dictionary at its own
// "<array" or "<dict"; counting them over the raw bytes bounds depth and size whatever the markup means.
bool xmlPlistIsSafe(std::string_view bytes)
{
    if (countOccurrences(bytes, "<") > maxNodes)
        return false;
    return countOccurrences(bytes, "<array") + countOccurrences(bytes, "<dict") <= maxXmlContainerTags;
}

std::uint64_t readBigEndian(const unsigned char* at, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value = (value << 8) | at[i];
    return value;
}

bool isSupportedIntegerWidth(std::size_t width)
{
    return width == 1 || width == 2 || width == 4 || width == 8;
}

// The parts of a binary plist that its object graph is read through, once the trailer is proven
// consistent: objects lie before the offset table, the table within the file, the root among the objects.
struct BinaryLayout {
    const unsigned char* bytes = nullptr;
    std::size_t offsetSize = 0;
    std::size_t refSize = 0;
    std::size_t objectCount = 0;
    std::size_t root = 0;
    std::size_t objectsEnd = 0;
};

std::optional<BinaryLayout> binaryLayout(std::string_view data)
{
    constexpr std::size_t trailerSize = 32;
    if (data.size() < binaryMagic.size() + trailerSize)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t trailer = data.size() - trailerSize;
    const std::size_t offsetSize = bytes[trailer + 6];
    const std::size_t refSize = bytes[trailer + 7];
    const std::uint64_t objectCount = readBigEndian(bytes + trailer + 8, 8);
    const std::uint64_t root = readBigEndian(bytes + trailer + 16, 8);
    const std::uint64_t tableOffset = readBigEndian(bytes + trailer + 24, 8);
    if (!isSupportedIntegerWidth(offsetSize) || !isSupportedIntegerWidth(refSize))
        return std::nullopt;
    if (objectCount == 0 || objectCount > maxBinaryObjects || root >= objectCount)
        return std::nullopt;
    if (tableOffset < binaryMagic.size() || tableOffset >= trailer
        || objectCount > (trailer - tableOffset) / offsetSize)
        return std::nullopt;
    return BinaryLayout{bytes,
                        offsetSize,
                        refSize,
                        static_cast<std::size_t>(objectCount),
                        static_cast<std::size_t>(root),
                        static_cast<std::size_t>(tableOffset)};
}

// The references of one container: `count` of them from byte position `first`.
struct Children {
    std::size_t first = 0;
    std::size_t count = 0;
};

// The references of object `index` (none for a leaf), or nothing when libplist would reject its
// container header.
std::optional<Children> childrenOf(const BinaryLayout& layout, std::size_t index)
{
    const unsigned char* bytes = layout.bytes;
    const std::size_t objectsEnd = layout.objectsEnd;
    const auto offset =
        static_cast<std::size_t>(readBigEndian(bytes + objectsEnd + index * layout.offsetSize, layout.offsetSize));
    if (offset >= objectsEnd)
        return std::nullopt;
    const unsigned marker = bytes[offset];
    const unsigned type = marker & 0xF0u;
    if (type != 0xA0u && type != 0xC0u && type != 0xD0u)
        return Children{}; // not a container: a leaf of the tree
    std::uint64_t size = marker & 0x0Fu;
    std::size_t position = offset + 1;
    if (size == 0x0F) {
        if (position >= objectsEnd || (bytes[position] & 0xF0u) != 0x10u)
            return std::nullopt;
        const std::size_t width = std::size_t{1} << (bytes[position] & 0x0Fu);
        ++position;
        if (width > 8 || width > objectsEnd - position)
            return std::nullopt;
        size = readBigEndian(bytes + position, width);
        position += width;
    }
    const std::uint64_t references = type == 0xD0u ? size * 2 : size;
    if (size > objectsEnd || references > (objectsEnd - position) / layout.refSize)
        return std::nullopt;
    return Children{position, static_cast<std::size_t>(references)};
}

// Walks the object graph depth first without recursion, each object once: false on a malformed container,
// a reference out of range, a reference cycle, nesting beyond maxNestingDepth or an expanded tree (every
// reference counted anew, as libplist copies it) beyond maxNodes.
bool objectGraphIsBounded(const BinaryLayout& layout)
{
    enum class State : std::uint8_t { unvisited, open, done };
    std::vector<State> state(layout.objectCount, State::unvisited);
    std::vector<std::uint32_t> height(layout.objectCount, 0);
    std::vector<std::uint32_t> nodes(layout.objectCount, 0); // size of the expanded subtree, saturated above maxNodes

    struct Frame {
        std::size_t index;
        Children children;
        std::size_t next = 0;
        std::uint32_t height = 1;
        std::size_t nodes = 1;
    };
    std::vector<Frame> stack;
    auto enter = [&](std::size_t index) -> bool {
        if (stack.size() >= maxNestingDepth)
            return false;
        const auto children = childrenOf(layout, index);
        if (!children)
            return false;
        state[index] = State::open;
        stack.push_back(Frame{index, *children});
        return true;
    };
    if (!enter(layout.root))
        return false;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.children.count) {
            state[frame.index] = State::done;
            height[frame.index] = frame.height;
            nodes[frame.index] = static_cast<std::uint32_t>(frame.nodes);
            stack.pop_back();
            continue;
        }
        const std::uint64_t child =
            readBigEndian(layout.bytes + frame.children.first + frame.next * layout.refSize, layout.refSize);
        if (child >= layout.objectCount || state[static_cast<std::size_t>(child)] == State::open)
            return false; // out of range, or a reference cycle
        const auto childIndex = static_cast<std::size_t>(child);
        if (state[childIndex] == State::unvisited) {
            if (!enter(childIndex)) // this reference is read again once the child is done
                return false;
            continue;
        }
        ++frame.next;
        frame.height = std::max(frame.height, height[childIndex] + 1);
        frame.nodes = std::min(frame.nodes + nodes[childIndex], maxNodes + 1);
    }
    return height[layout.root] <= maxNestingDepth && nodes[layout.root] <= maxNodes;
}

// Walks the object graph of a binary plist exactly as libplist reads it (trailer, offset table, container
// markers and references) and accepts it only when every container is well formed, no reference cycle
// exists, the nesting stays within maxNestingDepth and the fully expanded tree within maxNodes. Anything
// unusual (integer widths libplist decodes differently, 128-bit counts) is rejected.
bool binaryPlistIsSafe(std::string_view data)
{
    const std::optional<BinaryLayout> layout = binaryLayout(data);
    return layout && objectGraphIsBounded(*layout);
}

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

std::optional<std::string> stringValue(plist_t dictionary, const char* key)
{
    plist_t item = plist_dict_get_item(dictionary, key);
    if (!item || plist_get_node_type(item) != PLIST_STRING)
        return std::nullopt;
    std::uint64_t length = 0;
    const char* value = plist_get_string_ptr(item, &length);
    if (!value)
        return std::string();
    return std::string(value, static_cast<std::size_t>(length));
}

std::optional<std::string> iconPathFor(const std::string& resourceDirectory, std::string iconFile)
{
    if (iconFile.empty() || iconFile.find('/') != std::string::npos || iconFile.find('\0') != std::string::npos)
        return std::nullopt; // a name only: never a path leading out of the bundle
    if (iconFile.find('.') == std::string::npos)
        iconFile += ".icns";
    std::string path = resourceDirectory + "/" + iconFile;
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return path;
}

} // namespace

std::optional<BundleInfo> BundleReader::parseInfoPlist(std::string_view bytes)
{
    if (bytes.substr(0, utf8ByteOrderMark.size()) == utf8ByteOrderMark)
        bytes.remove_prefix(utf8ByteOrderMark.size());
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    const bool binary = bytes.substr(0, binaryMagic.size()) == binaryMagic;
    if (binary ? !binaryPlistIsSafe(bytes) : !xmlPlistIsSafe(bytes))
        return std::nullopt;

    // why: libplist reads numbers in XML with strtoull/atof, which stop only at a non-digit; a copy
    // guarantees a terminating NUL after the last byte.
    const std::string terminated(bytes);
    plist_t parsed = nullptr;
    plist_from_memory(terminated.data(), static_cast<std::uint32_t>(terminated.size()), &parsed);
    const PlistPtr root(parsed);
    if (!root)
        return std::nullopt;

    BundleInfo info;
    if (plist_get_node_type(root.get()) != PLIST_DICT)
        return info;
    if (auto identifier = stringValue(root.get(), "CFBundleIdentifier"))
        info.identifier = text::toValidUtf8(*identifier);
    if (auto displayName = stringValue(root.get(), "CFBundleDisplayName"))
        info.displayName = text::toValidUtf8(*displayName);
    info.iconFile = stringValue(root.get(), "CFBundleIconFile");
    return info;
}

std::optional<BundleInfo> BundleReader::read(const std::string& bundlePath)
{
    struct Layout {
        const char* infoPlist;
        const char* resources;
    };
    static constexpr Layout layouts[] = {
        {"/Contents/Info.plist", "/Contents/Resources"},
        {"/Info.plist", ""}, // a flat bundle keeps its resources at the top level
    };
    for (const Layout& layout : layouts) {
        const auto bytes = SmallFileReader::read(bundlePath + layout.infoPlist, maxInfoPlistBytes);
        if (!bytes)
            continue;
        auto info = parseInfoPlist(*bytes);
        if (!info)
            continue;
        if (info->iconFile)
            info->iconPath = iconPathFor(bundlePath + layout.resources, *info->iconFile);
        return info;
    }
    return std::nullopt;
}

} // namespace kestrel
