#include "text/Environment.h"

#include <cstdlib>

namespace kestrel::text {

std::optional<std::string> environmentVariable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::vector<std::string_view> splitPathList(std::string_view list)
{
    std::vector<std::string_view> elements;
    while (true) {
        const std::size_t colon = list.find(':');
        elements.push_back(list.substr(0, colon));
        if (colon == std::string_view::npos)
            return elements;
        list.remove_prefix(colon + 1);
    }
}

} // namespace kestrel::text
