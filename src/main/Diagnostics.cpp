#include "main/Diagnostics.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace kestrel::diagnostics {

void report(std::string_view cause, std::string_view line)
{
    static std::mutex mutex;
    static std::set<std::string, std::less<>> said;
    const std::lock_guard<std::mutex> lock(mutex);
    if (!said.emplace(cause).second)
        return;
    std::fprintf(stderr, "kestrelpoint: %.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
}

} // namespace kestrel::diagnostics
