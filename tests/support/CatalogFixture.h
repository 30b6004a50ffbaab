#pragma once

// Helpers shared by the catalogue, controller and query-tool tests: throw-away directory trees and
// information dictionaries.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace kestrel::test {

/// A temporary directory, removed with everything in it.
class TempTree {
public:
    TempTree()
        : m_root((std::filesystem::temp_directory_path() / "kestrel-test-XXXXXX").string())
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

private:
    std::string m_root;
};

/// A desktop entry of an application called `name` that runs /bin/true, with `extra` lines after.
inline std::string desktopEntry(const std::string& name, const std::string& extra = "")
{
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=/bin/true\n" + extra;
}

/// An XML information dictionary around `body` (its "<key>…</key><string>…</string>" pairs).
inline std::string xmlPlist(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body
           + "</dict>\n</plist>\n";
}

} // namespace kestrel::test
