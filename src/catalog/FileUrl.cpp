#include "catalog/FileUrl.h"

#include <filesystem>
#include <system_error>

namespace kestrel {

FileUrl FileUrl::fromPath(std::string path)
{
    FileUrl url;
    if (!path.empty() && path.front() != '/') {
        std::error_code error;
        std::filesystem::path absolute = std::filesystem::absolute(path, error);
        // why: without a current directory (it was deleted) there is nothing to resolve against; the
        // path is kept as given rather than throwing out of a scan.
        if (!error)
            path = absolute.string();
    }
    url.m_path = std::move(path);
    return url;
}

} // namespace kestrel
