#include "main/EntryProgram.h"

#include "main/Diagnostics.h"
#include "main/InstanceClaim.h"
#include "main/ToggleMessage.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#ifndef KESTREL_RESIDENT_FROM_BIN
#error "KESTREL_RESIDENT_FROM_BIN names the resident program's directory relative to the entry's"
#endif

namespace kestrel {

namespace {

constexpr char residentName[] = "kestrelpoint-resident";

std::string ownExecutable()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

void sayNoPrivateDirectory()
{
    diagnostics::report("instance", "no private directory for the single-instance socket; running again will "
                                    "start a second launcher");
}

} // namespace

EntryProgram::EntryProgram(char** argv)
    : m_argv(argv)
{
}

bool EntryProgram::inBackground(char** argv)
{
    for (char** argument = argv + 1; *argument; ++argument) {
        if (std::strcmp(*argument, backgroundOption) == 0)
            return true;
    }
    return false;
}

int EntryProgram::run()
{
    const std::optional<std::string> directory = InstanceClaim::defaultDirectory();
    if (!directory) {
        sayNoPrivateDirectory();
        return startResident("none");
    }
    InstanceClaim claim(*directory);
    switch (claim.claim()) {
    case InstanceClaim::Role::secondary:
        return inBackground(m_argv) ? 0 : forwardToggle(claim);
    case InstanceClaim::Role::unavailable:
        sayNoPrivateDirectory();
        return startResident("none");
    case InstanceClaim::Role::primary:
        break;
    }
    if (!claim.listen()) {
        diagnostics::report("instance", "cannot listen on " + claim.socketPath() + " (" + std::strerror(errno)
                                            + "); running again will start a second launcher");
        return startResident("none");
    }
    return startResident(claim.handOver());
}

int EntryProgram::forwardToggle(const InstanceClaim& claim) const
{
    if (claim.send(ToggleMessage::fromEnvironment().line()))
        return 0;
    diagnostics::report("instance", "a launcher is already running but does not answer on " + claim.socketPath());
    return 1;
}

int EntryProgram::startResident(const std::string& handOver) const
{
    const std::string self = ownExecutable();
    const std::vector<std::string> candidates = residentCandidates(self, KESTREL_RESIDENT_FROM_BIN);
    ::setenv(InstanceClaim::handOverVariable, handOver.c_str(), 1);
    ::setenv(entryPathVariable, self.c_str(), 1);
    for (const std::string& candidate : candidates) {
        if (::access(candidate.c_str(), X_OK) == 0) {
            ::execv(candidate.c_str(), m_argv);
            diagnostics::report("resident", "cannot start " + candidate + " (" + std::strerror(errno) + ")");
            return 1;
        }
    }
    diagnostics::report("resident", std::string("the launcher program ") + residentName + " is missing (looked for "
                                        + (candidates.empty() ? "" : candidates[0]) + " and "
                                        + (candidates.size() < 2 ? "" : candidates[1]) + ")");
    return 1;
}

std::vector<std::string> EntryProgram::residentCandidates(const std::string& entryPath,
                                                          const std::string& residentFromBin)
{
    const std::size_t slash = entryPath.rfind('/');
    if (slash == std::string::npos)
        return {};
    const std::string directory = entryPath.substr(0, slash + 1);
    return {directory + residentFromBin + "/" + residentName, directory + residentName};
}

} // namespace kestrel
