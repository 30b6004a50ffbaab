#include "catalog/DesktopEntryReader.h"

#include "catalog/DesktopEntryFields.h"
#include "catalog/OwnedHandles.h"
#include "catalog/SmallFileReader.h"
#include "text/Environment.h"

#include <glib.h>

#include <algorithm>

namespace kestrel {

namespace {

bool isNonEmpty(const std::optional<std::string>& value)
{
    return value && !value->empty();
}

bool contains(const std::optional<std::vector<std::string>>& list, const std::string& value)
{
    return list && std::find(list->begin(), list->end(), value) != list->end();
}

// GIO's reading of Icon: absolute paths are image files; other names are theme icons, where a common
// mistake, a file suffix, is dropped.
std::string iconName(std::string icon)
{
    if (!icon.empty() && icon.front() != '/') {
        const std::size_t dot = icon.rfind('.');
        if (dot != std::string::npos) {
            const std::string_view suffix = std::string_view(icon).substr(dot);
            if (suffix == ".png" || suffix == ".xpm" || suffix == ".svg")
                icon.erase(dot);
        }
    }
    return icon;
}

} // namespace

DesktopEntryReader::DesktopEntryReader(std::vector<std::string> currentDesktops)
    : m_currentDesktops(std::move(currentDesktops))
{
    for (const gchar* const* language = g_get_language_names(); *language; ++language)
        m_localeSuffixes.push_back(std::string("[") + *language + "]");
}

std::vector<std::string> DesktopEntryReader::currentDesktopsFromEnvironment()
{
    std::vector<std::string> desktops;
    const std::string value = text::environmentVariable("XDG_CURRENT_DESKTOP").value_or("");
    for (const std::string_view name : text::splitPathList(value)) {
        if (!name.empty())
            desktops.emplace_back(name);
    }
    return desktops;
}

std::optional<DesktopEntry> DesktopEntryReader::readFile(const std::string& path)
{
    const auto bytes = SmallFileReader::read(path, maxDesktopFileBytes);
    if (!bytes)
        return std::nullopt;
    return parse(*bytes);
}

std::optional<DesktopEntry> DesktopEntryReader::parse(std::string_view bytes)
{
    auto fields = DesktopEntryFields::parse(bytes, m_localeSuffixes);
    if (!fields || fields->startGroup != "Desktop Entry" || fields->type != "Application")
        return std::nullopt;
    if (fields->hidden || fields->noDisplay || !isShownIn(fields->onlyShowIn, fields->notShowIn))
        return std::nullopt;
    if (!isNonEmpty(fields->name))
        return std::nullopt;
    if (isNonEmpty(fields->tryExec) && !m_programs.isAvailable(*fields->tryExec))
        return std::nullopt;
    if (isNonEmpty(fields->exec)) {
        gint argc = 0;
        gchar** argv = nullptr;
        if (!g_shell_parse_argv(fields->exec->c_str(), &argc, &argv, nullptr))
            return std::nullopt;
        const StringVectorHandle arguments(argv);
        if (argc < 1 || !m_programs.isAvailable(arguments.get()[0]))
            return std::nullopt;
    } else if (!fields->dbusActivatable) {
        return std::nullopt; // nothing to run: GIO would list it, but launching it cannot work
    }

    DesktopEntry entry;
    entry.name = std::move(*fields->name);
    if (fields->icon)
        entry.icon = iconName(std::move(*fields->icon));
    return entry;
}

bool DesktopEntryReader::isShownIn(const std::optional<std::vector<std::string>>& onlyShowIn,
                                   const std::optional<std::vector<std::string>>& notShowIn) const
{
    for (const std::string& desktop : m_currentDesktops) {
        if (contains(onlyShowIn, desktop))
            return true;
        if (contains(notShowIn, desktop))
            return false;
    }
    return !onlyShowIn.has_value();
}

} // namespace kestrel
