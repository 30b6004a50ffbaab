#pragma once

#include <string>
#include <vector>

namespace kestrel {

class InstanceClaim;

/// The command `kestrelpoint`, without Qt: settles whether a launcher runs. A second start sends the
/// running launcher the toggle (with the activation values the session handed it) and exits; the first
/// start takes the claim and replaces itself with the resident program, which inherits the claim and shows
/// its window at once. With `backgroundOption` (the session's autostart), a first start shows nothing and
/// a second one does nothing. Other arguments are ignored.
class EntryProgram {
public:
    /// The option of a start that must not show the window.
    static constexpr const char* backgroundOption = "--background";
    /// The variable through which the resident program learns the entry's own path (the command that
    /// toggles it, for desktop keybindings).
    static constexpr const char* entryPathVariable = "KESTRELPOINT_ENTRY";

    /// `argv` is the command line of this process (null-terminated); it is passed on to the resident
    /// program unchanged.
    explicit EntryProgram(char** argv);

    /// Whether the command line `argv` (null-terminated, program name first) asks for a start in the
    /// background.
    static bool inBackground(char** argv);

    /// Returns the exit status of a second start, or of a first start whose resident program could not
    /// be started; otherwise does not return.
    int run();

    /// Where the resident program may be, in the order tried, for the entry at `entryPath`: installed,
    /// `residentFromBin` beside the entry's directory; in a build tree, next to the entry.
    static std::vector<std::string> residentCandidates(const std::string& entryPath,
                                                       const std::string& residentFromBin);

private:
    int forwardToggle(const InstanceClaim& claim) const;
    /// Execs the resident program with `handOver` in its environment; returns 1 when that fails.
    int startResident(const std::string& handOver) const;

    char** m_argv;
};

} // namespace kestrel
