#pragma once

#include <string>

namespace kestrel {

/// An absolute file location. Two URLs are equal when their absolute paths are equal byte for byte.
class FileUrl {
public:
    /// `path` should be absolute; a relative path is made absolute against the current directory (and
    /// kept as given when there is no current directory; an empty path stays empty). Otherwise the path
    /// is kept as given: no symlink resolution, no removal of "." or "..", no normalisation of its bytes.
    static FileUrl fromPath(std::string path);

    const std::string& path() const { return m_path; }

    friend bool operator==(const FileUrl&, const FileUrl&) = default;

private:
    std::string m_path;
};

} // namespace kestrel
