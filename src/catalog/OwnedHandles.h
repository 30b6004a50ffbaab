#pragma once

#include <dirent.h>
#include <glib.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace kestrel {

/// An open file descriptor; closed when the object goes. A negative value holds nothing.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};
/// An open directory listing; closed when the handle goes.
using DirectoryHandle = std::unique_ptr<DIR, DirectoryCloser>;

/// Opens the directory for listing; empty when it is missing, not a directory or not readable.
inline DirectoryHandle openDirectory(const std::string& path)
{
    return DirectoryHandle(::opendir(path.c_str()));
}

struct StringVectorFree {
    void operator()(gchar** strings) const { g_strfreev(strings); }
};
/// A NULL-terminated string vector that GLib allocated (g_shell_parse_argv, g_key_file_get_string_list);
/// freed with g_strfreev.
using StringVectorHandle = std::unique_ptr<gchar*, StringVectorFree>;

} // namespace kestrel
