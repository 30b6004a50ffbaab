#include "catalog/ProgramFinder.h"

#include "catalog/OwnedHandles.h"
#include "text/Environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

namespace kestrel {

namespace {

// GLib's G_FILE_TEST_IS_EXECUTABLE and not G_FILE_TEST_IS_DIR.
bool isExecutableFile(const std::string& path)
{
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode))
        return false;
    if (::getuid() != 0)
        return ::access(path.c_str(), X_OK) == 0;
    return (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

// An empty element of PATH names the working directory.
std::vector<std::string> splitSearchPath(std::string_view path)
{
    std::vector<std::string> directories;
    for (const std::string_view element : text::splitPathList(path))
        directories.emplace_back(element.empty() ? std::string_view(".") : element);
    return directories;
}

} // namespace

ProgramFinder::ProgramFinder()
    : ProgramFinder(text::environmentVariable("PATH").value_or("/bin:/usr/bin:."))
{
}

ProgramFinder::ProgramFinder(const std::string& searchPath)
    : m_searchPath(splitSearchPath(searchPath))
{
}

bool ProgramFinder::isAvailable(const std::string& program)
{
    if (program.empty())
        return false;
    const auto [answer, inserted] = m_answers.try_emplace(program, false);
    if (!inserted)
        return answer->second;
    if (program.find('/') != std::string::npos) {
        answer->second = isExecutableFile(program);
        return answer->second;
    }
    for (const std::string& directory : m_searchPath) {
        const std::unordered_set<std::string>* names = listing(directory);
        if (names && !names->count(program))
            continue;
        // Listed here, or a directory that cannot be listed (but may still be searched): probe the file.
        if (isExecutableFile(directory + "/" + program)) {
            answer->second = true;
            break;
        }
    }
    return answer->second;
}

const std::unordered_set<std::string>* ProgramFinder::listing(const std::string& directory)
{
    auto [slot, inserted] = m_listings.try_emplace(directory);
    if (inserted) {
        const DirectoryHandle handle = openDirectory(directory);
        if (handle) {
            std::unordered_set<std::string> names;
            while (const dirent* entry = ::readdir(handle.get()))
                names.emplace(entry->d_name);
            slot->second = std::move(names);
        }
    }
    return slot->second ? &*slot->second : nullptr;
}

} // namespace kestrel
