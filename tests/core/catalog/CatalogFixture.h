#pragma once

// Helpers shared by the catalogue tests: throw-away directory trees, pinned environment variables,
// property lists in both encodings, and running a check without root's permission override.

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kestrel::testing {

/// A temporary directory (mode 0755, so an unprivileged child can read it), removed with everything in it.
class TempTree {
public:
    TempTree()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-catalog-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_root = pattern;
        std::filesystem::permissions(m_root, std::filesystem::perms(0755));
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;
    ~TempTree()
    {
        // Make every directory writable again (tests remove permissions) before deleting.
        std::error_code error;
        ::chmod(m_root.c_str(), 0755);
        for (auto it = std::filesystem::recursive_directory_iterator(m_root, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (!it->is_symlink())
                ::chmod(it->path().c_str(), it->is_directory() ? 0755 : 0644);
        }
        std::filesystem::remove_all(m_root, error);
    }

    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + "/" + relative; }

    std::string makeDirectory(const std::string& relative) const
    {
        std::filesystem::create_directories(path(relative));
        return path(relative);
    }

    std::string writeFile(const std::string& relative, const std::string& bytes) const
    {
        const std::filesystem::path file = path(relative);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + file.string());
        return file.string();
    }

    std::string makeSymlink(const std::string& target, const std::string& relative) const
    {
        std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
        std::filesystem::create_symlink(target, path(relative));
        return path(relative);
    }

    std::string makeFifo(const std::string& relative) const
    {
        std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
        if (::mkfifo(path(relative).c_str(), 0644) != 0)
            throw std::runtime_error("mkfifo failed");
        return path(relative);
    }

    /// A sparse file of `size` bytes: large on paper, cheap to make.
    std::string makeSparseFile(const std::string& relative, std::uintmax_t size) const
    {
        const std::string file = writeFile(relative, "");
        std::filesystem::resize_file(file, size);
        return file;
    }

private:
    std::string m_root;
};

/// Sets environment variables for one test and restores them afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }

    /// Nothing unsets the variable.
    void set(const std::string& name, const std::optional<std::string>& value)
    {
        const char* previous = std::getenv(name.c_str());
        m_saved.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }

    /// Pins every locale variable to `locale` through LC_ALL.
    void pinLocale(const std::string& locale)
    {
        set("LANGUAGE", std::nullopt);
        set("LC_ALL", locale);
        set("LC_COLLATE", std::nullopt);
        set("LC_MESSAGES", std::nullopt);
        set("LANG", std::nullopt);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

/// A property-list dictionary described by key and value, written in either encoding through libplist.
class PlistBuilder {
public:
    PlistBuilder() : m_root(plist_new_dict()) {}
    PlistBuilder(const PlistBuilder&) = delete;
    PlistBuilder& operator=(const PlistBuilder&) = delete;
    ~PlistBuilder() { plist_free(m_root); }

    PlistBuilder& string(const char* key, const std::string& value)
    {
        plist_dict_set_item(m_root, key, plist_new_string(value.c_str()));
        return *this;
    }
    PlistBuilder& integer(const char* key, std::uint64_t value)
    {
        plist_dict_set_item(m_root, key, plist_new_uint(value));
        return *this;
    }
    PlistBuilder& array(const char* key)
    {
        plist_t list = plist_new_array();
        plist_array_append_item(list, plist_new_string("x"));
        plist_dict_set_item(m_root, key, list);
        return *this;
    }

    std::string xml() const
    {
        char* bytes = nullptr;
        std::uint32_t length = 0;
        plist_to_xml(m_root, &bytes, &length);
        std::string result(bytes, length);
        plist_to_xml_free(bytes);
        return result;
    }
    std::string binary() const
    {
        char* bytes = nullptr;
        std::uint32_t length = 0;
        plist_to_bin(m_root, &bytes, &length);
        std::string result(bytes, length);
        plist_to_bin_free(bytes);
        return result;
    }

private:
    plist_t m_root;
};

/// A hand-written XML property list around the given dictionary body.
inline std::string xmlPlist(const std::string& dictionaryBody)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n"
           + dictionaryBody + "</dict>\n</plist>\n";
}

/// Runs `check` where file permissions apply: in a child process that drops to user and group "nobody"
/// when the tests run as root, or directly otherwise. Returns what `check` returned, or a text starting
/// with "child failed" when the child did not finish normally.
inline std::string runWithoutRootPrivileges(const std::function<std::string()>& check)
{
    if (::geteuid() != 0)
        return check();
    int channel[2];
    if (::pipe(channel) != 0)
        return "child failed: pipe";
    const pid_t child = ::fork();
    if (child < 0)
        return "child failed: fork";
    if (child == 0) {
        ::close(channel[0]);
        constexpr uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(2);
        const std::string result = check();
        std::size_t written = 0;
        while (written < result.size()) {
            const ssize_t n = ::write(channel[1], result.data() + written, result.size() - written);
            if (n <= 0)
                ::_exit(3);
            written += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed: status " + std::to_string(status);
    return result;
}

} // namespace kestrel::testing
