#pragma once

// Helpers shared by the catalogue, controller and query-tool tests: throw-away directory trees and
// environment variables pinned for one test.

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::testing {

/// A temporary directory, removed with everything in it.
class TempTree {
public:
    TempTree() : m_root((std::filesystem::temp_directory_path() / "kestrel-test-XXXXXX").string())
    {
        if (!::mkdtemp(m_root.data()))
            throw std::runtime_error("mkdtemp failed");
    }
    ~TempTree()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + "/" + relative; }

    /// Creates the directory and those above it; returns its path.
    std::string dir(const std::string& relative) const
    {
        std::filesystem::create_directories(path(relative));
        return path(relative);
    }
    /// Writes the file, creating the directories above it; returns its path.
    std::string write(const std::string& relative, const std::string& bytes = "") const
    {
        std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
        std::ofstream(path(relative), std::ios::binary) << bytes;
        return path(relative);
    }
    /// Creates a named pipe, which blocks a reader that opens it without care.
    void fifo(const std::string& relative) const
    {
        std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
        if (::mkfifo(path(relative).c_str(), 0644) != 0)
            throw std::runtime_error("mkfifo failed");
    }

private:
    std::string m_root;
};

/// Sets environment variables (nothing unsets one) and restores them on destruction.
class ScopedEnvironment {
public:
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            assign(it->first, it->second);
    }
    void set(const std::string& name, const std::optional<std::string>& value)
    {
        const char* previous = std::getenv(name.c_str());
        m_saved.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
        assign(name, value);
    }

private:
    static void assign(const std::string& name, const std::optional<std::string>& value)
    {
        value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

/// An XML information dictionary around `body` (its "<key>…</key><string>…</string>" pairs).
inline std::string xmlPlist(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body + "</dict>\n</plist>\n";
}

} // namespace kestrel::testing
