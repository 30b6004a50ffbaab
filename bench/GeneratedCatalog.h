#pragma once

// A throw-away catalogue of generated desktop entries, shared by the live-catalogue measurements.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace kestrel::bench {

/// Writes a minimal visible desktop entry named `name` at `path`.
inline void writeEntry(const std::filesystem::path& path, const std::string& name)
{
    std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=" << name
                        << "\nExec=true\nIcon=utilities-terminal\n";
}

/// A temporary directory (under /tmp, named after `prefix`) whose "applications" folder holds `entries`
/// desktop entries spread over 40 directories: the folder itself and 39 vendor subdirectories. The
/// caller removes the returned root.
inline std::filesystem::path writeGeneratedCatalog(const std::string& prefix, int entries)
{
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    const std::filesystem::path root = pattern;
    const std::filesystem::path applications = root / "applications";
    for (int i = 0; i < entries; ++i) {
        const std::filesystem::path directory =
            i % 40 == 0 ? applications : applications / ("vendor-" + std::to_string(i % 40));
        std::filesystem::create_directories(directory);
        writeEntry(directory / ("app-" + std::to_string(i) + ".desktop"), "Generated Application " + std::to_string(i));
    }
    return root;
}

} // namespace kestrel::bench
