#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::text {

/// The value of the process environment variable `name`, or nothing when it is unset (an empty value is
/// returned as such). Reads the environment on every call.
std::optional<std::string> environmentVariable(const char* name);

/// The elements of a colon-separated list as the environment holds them (PATH, XDG_DATA_DIRS,
/// XDG_CURRENT_DESKTOP), in order and with empty elements kept: "a::b" gives "a", "", "b" and the empty
/// text one empty element. What an empty element means is the caller's rule. The views point into `list`.
std::vector<std::string_view> splitPathList(std::string_view list);

} // namespace kestrel::text
