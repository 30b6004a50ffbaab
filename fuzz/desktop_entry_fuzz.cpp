// Feeds arbitrary bytes to the desktop-entry reader, and checks the fast plain-syntax parser against
// GLib's GKeyFile: whenever the fast parser answers, both must read the same keys (a difference aborts).
#include "catalog/DesktopEntryFields.h"
#include "catalog/DesktopEntryReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static const std::vector<std::string> suffixes = {"[de_DE.UTF-8]", "[de_DE]", "[de]", "[sr@latin]"};
    const auto plain = kestrel::DesktopEntryFields::parsePlainSyntax(bytes, suffixes);
    if (plain && plain != kestrel::DesktopEntryFields::parseWithKeyFile(bytes, suffixes)) {
        std::fprintf(stderr, "plain-syntax parser and GKeyFile disagree\n");
        std::abort();
    }

    // A reader remembers program look-ups; renew it now and then so memory stays bounded.
    static std::unique_ptr<kestrel::DesktopEntryReader> reader;
    static unsigned uses = 0;
    if (!reader || ++uses % 4096 == 0)
        reader = std::make_unique<kestrel::DesktopEntryReader>(std::vector<std::string>{"GNOME", "KDE"});
    const auto entry = reader->parse(bytes);
    if (entry)
        static_cast<void>(entry->name.size() + entry->icon.size());
    return 0;
}
