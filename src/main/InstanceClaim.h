#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

/// One launcher per user, settled without Qt. The first start takes a lock file in a directory private to
/// the user and binds the listening socket there, so toggles sent while the launcher is still starting
/// wait in the socket's queue; it then hands both descriptors to the resident program across an exec.
/// A later start finds the lock taken and sends its line over the socket. The kernel releases the lock
/// when its holder exits (also by a crash); a socket file left behind is replaced by the next launcher.
class InstanceClaim {
public:
    enum class Role {
        /// This process holds the lock: it is the launcher and should `listen`.
        primary,
        /// Another launcher holds the lock: `send` the toggle and exit.
        secondary,
        /// The lock file is unusable: run without the single-instance toggle.
        unavailable,
    };

    /// The descriptors the resident program takes over, both close-on-exec again.
    struct Descriptors {
        int lock = -1;
        int listening = -1;
    };

    /// The environment variable that names the handed-over descriptors ("<lock>,<listening>"), or says
    /// "none" when the entry found no usable claim and has said so.
    static constexpr const char* handOverVariable = "KESTRELPOINT_INSTANCE";

    /// The directory for the lock and the socket: `$XDG_RUNTIME_DIR` when it is an absolute path to a
    /// directory owned by this user with no access for others; otherwise /tmp/kestrelpoint-<uid>, created
    /// with mode 0700 (an existing one must be a real directory owned by this user; its mode is reset to
    /// 0700). Absent when neither is usable. Reads the environment; creates at most that one directory.
    static std::optional<std::string> defaultDirectory();
    /// The rule of `defaultDirectory` with its inputs given: `xdgRuntimeDir` (null when unset) and the
    /// directory in which the fallback is made.
    static std::optional<std::string> directoryFor(const char* xdgRuntimeDir, const std::string& fallbackParent);

    /// Uses `directory` (which must exist and be private to the user) for the lock and the socket.
    explicit InstanceClaim(std::string directory);
    /// Closes the descriptors still held; the socket file stays for whoever took them over.
    ~InstanceClaim();
    InstanceClaim(const InstanceClaim&) = delete;
    InstanceClaim& operator=(const InstanceClaim&) = delete;

    /// Takes the lock without waiting; the role is kept for the life of this object.
    Role claim();

    /// As `primary`: removes a stale socket file and listens on a new one (for this user only, in the private
    /// directory). Returns false when that fails.
    bool listen();

    /// As `secondary`: connects to the running launcher and sends `line`, retrying for up to `timeoutMs`
    /// milliseconds while that launcher is not yet listening. Blocking. True once the whole line is handed
    /// to the socket.
    bool send(std::string_view line, int timeoutMs = 3000) const;

    /// As `primary` after `listen`: the value for `handOverVariable`. Both descriptors are made to survive
    /// an exec; this object no longer closes them.
    std::string handOver();

    /// Takes over the descriptors that `handOver` described in `value`: each must be open, the first a
    /// file whose lock this process then holds, the second a listening local socket. Marks both
    /// close-on-exec again, so launched programs never inherit them. Absent for anything else.
    static std::optional<Descriptors> adopt(std::string_view value);

    std::string socketPath() const;
    std::string lockPath() const;

private:
    std::string m_directory;
    int m_lockFd = -1;
    int m_listeningFd = -1;
};

} // namespace kestrel
