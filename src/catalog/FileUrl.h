#pragma once

#include <string>

namespace kestrel {

/// An absolute file location. Two URLs are equal when their absolute paths are equal byte for byte.
class FileUrl {
public:
    /// `path` must be absolute; a relative path is made absolute against the current directory.
    /// The path is kept as given otherwise (no symlink resolution, no normalisation of the name's bytes).
    static FileUrl fromPath(std::string path);

    const std::string& path() const { return m_path; }

    friend bool operator==(const FileUrl&, const FileUrl&) = default;

private:
    std::string m_path;
};

} // namespace kestrel
