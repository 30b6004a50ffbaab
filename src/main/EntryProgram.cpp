#include "main/EntryProgram.h"

#include "main/InstanceClaim.h"
#include "main/ToggleMessage.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
    std::fprintf(stderr, "kestrelpoint: no private directory for the single-instance socket; "
                         "running again will start a second launcher\n");
}

} // namespace

EntryProgram::EntryProgram(char** argv)
    : m_argv(argv)
{
}

int EntryProgram::run()
{
    // Command-line arguments are not accepted and are ignored.
    const std::optional<std::string> directory = InstanceClaim::defaultDirectory();
    if (!directory) {
        sayNoPrivateDirectory();
        return startResident("none");
    }
    InstanceClaim claim(*directory);
    switch (claim.claim()) {
    case InstanceClaim::Role::secondary:
        return forwardToggle(claim);
    case InstanceClaim::Role::unavailable:
        sayNoPrivateDirectory();
        return startResident("none");
    case InstanceClaim::Role::primary:
        break;
    }
    if (!claim.listen()) {
        std::fprintf(stderr, "kestrelpoint: cannot listen on %s (%s); running again will start a second launcher\n",
                     claim.socketPath().c_str(), std::strerror(errno));
        return startResident("none");
    }
    return startResident(claim.handOver());
}

int EntryProgram::forwardToggle(const InstanceClaim& claim) const
{
    if (claim.send(ToggleMessage::fromEnvironment().line()))
        return 0;
    std::fprintf(stderr, "kestrelpoint: a launcher is already running but does not answer on %s\n",
                 claim.socketPath().c_str());
    return 1;
}

int EntryProgram::startResident(const std::string& handOver) const
{
    const std::string self = ownExecutable();
    const std::vector<std::string> candidates = residentCandidates(self, KESTREL_RESIDENT_FROM_BIN);
    ::setenv(InstanceClaim::handOverVariable, handOver.c_str(), 1);
    for (const std::string& candidate : candidates) {
        if (::access(candidate.c_str(), X_OK) == 0) {
            ::execv(candidate.c_str(), m_argv);
            std::fprintf(stderr, "kestrelpoint: cannot start %s (%s)\n", candidate.c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::fprintf(stderr, "kestrelpoint: the launcher program %s is missing (looked for %s and %s)\n", residentName,
                 candidates.empty() ? "" : candidates[0].c_str(), candidates.size() < 2 ? "" : candidates[1].c_str());
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
