#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace kestrel::testing {

/// A temporary directory tree that holds a fixture catalogue; removed with everything in it on destruction.
class FixtureTree {
public:
    FixtureTree()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-fixture-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_root = pattern;
    }
    ~FixtureTree()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    FixtureTree(const FixtureTree&) = delete;
    FixtureTree& operator=(const FixtureTree&) = delete;

    const std::filesystem::path& root() const { return m_root; }
    /// The prefix for the four bundle directories.
    std::string bundleRoot() const { return (m_root / "bundles").string(); }

    /// Creates the empty bundle `<bundleRoot>/<directory>/<name>.app` (no Info.plist, so the catalogue
    /// lists it under `name`); returns its path.
    std::string addBundle(const std::string& name, const std::string& directory = "Applications") const
    {
        const std::filesystem::path path = std::filesystem::path(bundleRoot()) / directory / (name + ".app");
        std::filesystem::create_directories(path);
        return path.string();
    }

    /// Writes `<root>/<relative>` with `content`, creating the directories above it; returns its path.
    std::string writeFile(const std::string& relative, const std::string& content) const
    {
        const std::filesystem::path path = m_root / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

private:
    std::filesystem::path m_root;
};

/// Sets an environment variable for the lifetime of the object, restoring the old value afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_old = old;
            m_hadOld = true;
        }
        setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (m_hadOld) {
            setenv(m_name.c_str(), m_old.c_str(), 1);
        } else {
            unsetenv(m_name.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

} // namespace kestrel::testing
