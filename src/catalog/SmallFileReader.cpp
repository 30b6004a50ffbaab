#include "catalog/SmallFileReader.h"

#include "catalog/OwnedHandles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel {

std::optional<std::string> SmallFileReader::read(const std::string& path, std::size_t maxBytes)
{
    // why: O_NONBLOCK so that a FIFO named like a configuration file cannot stall the scan in open().
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0)
        return std::nullopt;
    struct stat status { };
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0
        || static_cast<unsigned long long>(status.st_size) > maxBytes)
        return std::nullopt;

    // A snapshot of the size fstat reported: a file that grows meanwhile is read up to that size.
    return readOpened(file.get(), static_cast<std::size_t>(status.st_size));
}

std::optional<std::string> SmallFileReader::readOpened(int fd, std::size_t size)
{
    std::string bytes(size, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break; // the file shrank
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return bytes;
}

} // namespace kestrel
