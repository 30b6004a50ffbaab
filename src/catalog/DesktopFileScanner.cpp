#include "catalog/DesktopFileScanner.h"

#include "catalog/OwnedHandles.h"

#include <sys/stat.h>

#include <set>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace kestrel {

namespace {

class Walk {
public:
    Walk(std::vector<DesktopFile>& out, std::unordered_set<std::string>& seenIds)
        : m_out(out)
        , m_seenIds(seenIds)
    {
    }

    void directory(const std::string& path, const std::string& idPrefix, std::size_t depth)
    {
        const DirectoryHandle listing = openDirectory(path);
        if (!listing)
            return;
        struct stat status { };
        if (::fstat(::dirfd(listing.get()), &status) != 0 || !m_entered.emplace(status.st_dev, status.st_ino).second)
            return; // already walked: a symbolic link loop or a second link to the same directory

        while (const dirent* entry = ::readdir(listing.get())) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            std::string childPath = path + "/" + std::string(name);
            if (name.ends_with(DesktopFileScanner::desktopSuffix)) {
                std::string id = idPrefix + std::string(name);
                if (m_seenIds.insert(id).second)
                    m_out.push_back(DesktopFile{std::move(id), std::move(childPath)});
                continue;
            }
            if (depth >= DesktopFileScanner::maxDepth || !isDirectory(*entry, childPath))
                continue;
            directory(childPath, idPrefix + std::string(name) + "-", depth + 1);
        }
    }

private:
    static bool isDirectory(const dirent& entry, const std::string& path)
    {
        if (entry.d_type == DT_DIR)
            return true;
        if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
            return false;
        struct stat status { };
        return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    }

    std::vector<DesktopFile>& m_out;
    std::unordered_set<std::string>& m_seenIds;
    std::set<std::pair<dev_t, ino_t>> m_entered;
};

} // namespace

std::vector<DesktopFile> DesktopFileScanner::scan(const std::vector<std::string>& applicationDirectories)
{
    std::vector<DesktopFile> files;
    std::unordered_set<std::string> seenIds;
    for (const std::string& directory : applicationDirectories) {
        Walk walk(files, seenIds);
        walk.directory(directory, std::string(), 0);
    }
    return files;
}

} // namespace kestrel
