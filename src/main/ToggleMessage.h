#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

/// The one line a second start sends the running launcher: "toggle", then for each activation value the
/// session handed that start a space and NAME=VALUE (names DESKTOP_STARTUP_ID and XDG_ACTIVATION_TOKEN,
/// each at most once), then "\n". A value is 1 to `maxValueLength` characters of printable ASCII without
/// space; a value that is not is left out by the sender, never shortened. No Qt.
class ToggleMessage {
public:
    /// Longest value carried; longer ones are dropped.
    static constexpr std::size_t maxValueLength = 256;
    /// Longest line the launcher reads, newline included; a connection that sends more is dropped.
    static constexpr std::size_t maxLineLength = 1024;

    /// The startup-notification id of the second start ("" when none).
    std::string startupId;
    /// The xdg-activation token of the second start ("" when none).
    std::string activationToken;

    /// The values of `startupIdValue` and `activationTokenValue` (null when unset), each kept only when
    /// `isSafeValue`.
    static ToggleMessage fromValues(const char* startupIdValue, const char* activationTokenValue);
    /// `fromValues` with DESKTOP_STARTUP_ID and XDG_ACTIVATION_TOKEN of this process's environment.
    static ToggleMessage fromEnvironment();

    /// Whether `value` may travel in the line: 1 to `maxValueLength` bytes, each in '!'..'~'.
    static bool isSafeValue(std::string_view value);

    /// The line to send, "\n" included.
    std::string line() const;

    /// Reads one line as `line` writes it, "\n" included. Absent for anything else: another word, an
    /// unknown or repeated name, an empty or unsafe value, extra spaces, a missing or early newline, a line
    /// longer than `maxLineLength`.
    static std::optional<ToggleMessage> parse(std::string_view line);

    /// The X server time in a startup id ending in "_TIME<decimal digits>", as window managers read it for
    /// focus-stealing prevention; 0 (X's CurrentTime) when there is no such suffix or it exceeds 32 bits.
    std::uint32_t startupTime() const;

    bool operator==(const ToggleMessage&) const = default;
};

} // namespace kestrel
