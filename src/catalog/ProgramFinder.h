#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kestrel {

/// Answers "would g_find_program_in_path() find this program?" for many programs at a time: a name with
/// a '/' is tested as a path; a bare name is looked up in each PATH directory in order (an empty element
/// meaning the current directory; "/bin:/usr/bin:." when PATH is unset). A hit is an executable that is not
/// a directory (for root: any execute bit set, as GLib checks).
///
/// why: GLib probes every PATH directory with access() and stat() for every program; reading each PATH
/// directory once and probing only where the name is listed gives the same answers with a fraction of the
/// system calls. PATH and the directories are read once per finder: one finder serves one scan.
/// Not thread-safe.
class ProgramFinder {
public:
    /// Takes PATH from the environment now.
    ProgramFinder();
    /// Uses `searchPath` as PATH.
    explicit ProgramFinder(const std::string& searchPath);

    bool isAvailable(const std::string& program);

private:
    /// The names in `directory`, or nothing when it cannot be listed.
    const std::unordered_set<std::string>* listing(const std::string& directory);

    std::vector<std::string> m_searchPath;
    std::unordered_map<std::string, std::optional<std::unordered_set<std::string>>> m_listings;
    std::unordered_map<std::string, bool> m_answers;
};

} // namespace kestrel
