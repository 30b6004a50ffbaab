// Feeds arbitrary bytes to the Info.plist reader: it must return a value or nothing, never crash, hang or
// exhaust the stack (libplist recurses per nesting level; the reader's structure checks must stop that).
#include "catalog/BundleReader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto info =
        kestrel::BundleReader::parseInfoPlist(std::string_view(reinterpret_cast<const char*>(data), size));
    if (info && info->displayName)
        static_cast<void>(info->displayName->size());
    return 0;
}
