#pragma once

#include <string_view>

namespace kestrel::diagnostics {

/// Writes "kestrelpoint: " `line` and a newline on stderr and flushes it, unless a line was already written
/// for `cause` in this process: each cause is said at most once. The launcher's only messages; thread-safe.
void report(std::string_view cause, std::string_view line);

} // namespace kestrel::diagnostics
