#include "main/ToggleMessage.h"

#include <cstdlib>

namespace kestrel {

namespace {

constexpr std::string_view command = "toggle";
constexpr std::string_view startupIdName = "DESKTOP_STARTUP_ID";
constexpr std::string_view activationTokenName = "XDG_ACTIVATION_TOKEN";

std::string safeOrEmpty(const char* value)
{
    return value && ToggleMessage::isSafeValue(value) ? std::string(value) : std::string();
}

/// Stores one NAME=VALUE field of a line into `message`; false when the field is not acceptable.
bool readField(std::string_view field, ToggleMessage& message)
{
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos)
        return false;
    const std::string_view name = field.substr(0, equals);
    const std::string_view value = field.substr(equals + 1);
    if (!ToggleMessage::isSafeValue(value))
        return false;
    std::string* target = name == startupIdName         ? &message.startupId
                          : name == activationTokenName ? &message.activationToken
                                                        : nullptr;
    if (!target || !target->empty())
        return false; // unknown or repeated
    target->assign(value);
    return true;
}

} // namespace

ToggleMessage ToggleMessage::fromValues(const char* startupIdValue, const char* activationTokenValue)
{
    ToggleMessage message;
    message.startupId = safeOrEmpty(startupIdValue);
    message.activationToken = safeOrEmpty(activationTokenValue);
    return message;
}

ToggleMessage ToggleMessage::fromEnvironment()
{
    return fromValues(std::getenv("DESKTOP_STARTUP_ID"), std::getenv("XDG_ACTIVATION_TOKEN"));
}

bool ToggleMessage::isSafeValue(std::string_view value)
{
    if (value.empty() || value.size() > maxValueLength)
        return false;
    for (const char c : value) {
        if (c < '!' || c > '~')
            return false;
    }
    return true;
}

std::string ToggleMessage::line() const
{
    std::string text(command);
    if (isSafeValue(startupId))
        text.append(" ").append(startupIdName).append("=").append(startupId);
    if (isSafeValue(activationToken))
        text.append(" ").append(activationTokenName).append("=").append(activationToken);
    text.push_back('\n');
    return text;
}

std::optional<ToggleMessage> ToggleMessage::parse(std::string_view line)
{
    if (line.size() > maxLineLength || line.empty() || line.back() != '\n')
        return std::nullopt;
    line.remove_suffix(1);
    if (line.substr(0, command.size()) != command)
        return std::nullopt;
    std::string_view rest = line.substr(command.size());
    ToggleMessage message;
    while (!rest.empty()) {
        if (rest.front() != ' ')
            return std::nullopt;
        rest.remove_prefix(1);
        const std::size_t end = rest.find(' ');
        if (!readField(rest.substr(0, end), message))
            return std::nullopt;
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    return message;
}

std::uint32_t ToggleMessage::startupTime() const
{
    constexpr std::string_view marker = "_TIME";
    const std::size_t at = startupId.rfind(marker);
    if (at == std::string::npos)
        return 0;
    const std::string_view digits = std::string_view(startupId).substr(at + marker.size());
    if (digits.empty() || digits.size() > 10)
        return 0;
    std::uint64_t time = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        time = time * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return time > 0xffffffffu ? 0 : static_cast<std::uint32_t>(time);
}

} // namespace kestrel
