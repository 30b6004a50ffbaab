#include "catalog/DesktopEntryFields.h"

#include "catalog/OwnedHandles.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>

namespace kestrel {

namespace {

constexpr const char* entryGroup = "Desktop Entry";

struct KeyFileFree {
    void operator()(GKeyFile* keyFile) const { g_key_file_free(keyFile); }
};
struct GFree {
    void operator()(void* memory) const { g_free(memory); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;
using GCharPtr = std::unique_ptr<gchar, GFree>;

// --- GKeyFile ---------------------------------------------------------------------------------------

// why: GLib formats an error message for every key it does not find, even when the caller passes no error
// (g_key_file_get_string uses a local one); asking first whether the key exists keeps absent keys cheap.
bool hasKey(GKeyFile* keyFile, const char* key)
{
    return g_key_file_has_key(keyFile, entryGroup, key, nullptr) != FALSE;
}

// Whether unescaping `raw` makes GLib set an error twice, which it reports as a warning on standard error
// (GLib 2.74): an invalid escape sequence, and a backslash at the very end. In lists "\;" is valid.
bool unescapingWarns(std::string_view raw, bool list)
{
    bool invalidEscape = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\')
            continue;
        if (++i == raw.size())
            return invalidEscape;
        const char escaped = raw[i];
        if (escaped != 's' && escaped != 'n' && escaped != 't' && escaped != 'r' && escaped != '\\'
            && !(list && escaped == ';'))
            invalidEscape = true;
    }
    return false;
}

// why: the launcher writes no log, so values that would make GLib print a warning are treated as broken
// (absent) instead of being handed to GLib; nothing but such garbage is affected.
bool isSafeToUnescape(GKeyFile* keyFile, const char* key, bool list)
{
    const GCharPtr raw(g_key_file_get_value(keyFile, entryGroup, key, nullptr));
    return raw && !unescapingWarns(raw.get(), list);
}

std::optional<std::string> stringKey(GKeyFile* keyFile, const char* key)
{
    if (!hasKey(keyFile, key) || !isSafeToUnescape(keyFile, key, false))
        return std::nullopt;
    const GCharPtr value(g_key_file_get_string(keyFile, entryGroup, key, nullptr));
    return value ? std::optional<std::string>(value.get()) : std::nullopt;
}

// g_key_file_get_locale_string() for the given languages.
std::optional<std::string> localeStringKey(GKeyFile* keyFile, const char* key, const std::vector<std::string>& suffixes)
{
    std::string candidate;
    for (const std::string& suffix : suffixes) {
        candidate.assign(key).append(suffix);
        if (auto value = stringKey(keyFile, candidate.c_str()))
            return value;
    }
    return stringKey(keyFile, key);
}

bool booleanKey(GKeyFile* keyFile, const char* key)
{
    return hasKey(keyFile, key) && g_key_file_get_boolean(keyFile, entryGroup, key, nullptr) != FALSE;
}

std::optional<std::vector<std::string>> stringListKey(GKeyFile* keyFile, const char* key)
{
    if (!hasKey(keyFile, key) || !isSafeToUnescape(keyFile, key, true))
        return std::nullopt;
    const StringVectorHandle list(g_key_file_get_string_list(keyFile, entryGroup, key, nullptr, nullptr));
    if (!list)
        return std::nullopt;
    std::vector<std::string> values;
    for (gchar** item = list.get(); *item; ++item)
        values.emplace_back(*item);
    return values;
}

// --- plain syntax ------------------------------------------------------------------------------------

// The keys read from the entry group; localized forms are the first two with a "[locale]" suffix.
constexpr std::array<std::string_view, 10> keysRead = {
    "Name", "Icon", "Type", "TryExec", "Exec", "Hidden", "NoDisplay", "OnlyShowIn", "NotShowIn", "DBusActivatable"};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

bool isLocaleCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.'
           || c == '@' || c == '-';
}

// A key name GKeyFile accepts as it stands: printable ASCII without blanks or brackets, then optionally
// one non-empty "[locale]".
bool isPlainKey(std::string_view key)
{
    std::size_t i = 0;
    while (i < key.size() && key[i] > ' ' && key[i] < 0x7F && key[i] != '[' && key[i] != ']')
        ++i;
    if (i == 0)
        return false;
    if (i == key.size())
        return true;
    if (key[i] != '[' || key.back() != ']' || i + 2 >= key.size())
        return false;
    return std::all_of(key.begin() + static_cast<std::ptrdiff_t>(i) + 1, key.end() - 1, isLocaleCharacter);
}

bool isPlainGroupName(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return c >= ' ' && c < 0x7F && c != '[' && c != ']';
    });
}

bool isValidUtf8(std::string_view text)
{
    return g_utf8_validate_len(text.data(), text.size(), nullptr) != FALSE;
}

struct Slot {
    std::string_view key;
    std::string_view value;
};

bool isKeyRead(std::string_view key, const std::vector<std::string>& suffixes)
{
    if (std::find(keysRead.begin(), keysRead.end(), key) != keysRead.end())
        return true;
    for (std::string_view localized : {keysRead[0], keysRead[1]}) {
        if (key.size() > localized.size() && key.substr(0, localized.size()) == localized) {
            const std::string_view suffix = key.substr(localized.size());
            return std::find(suffixes.begin(), suffixes.end(), suffix) != suffixes.end();
        }
    }
    return false;
}

const Slot* findSlot(const std::vector<Slot>& slots, std::string_view key)
{
    for (const Slot& slot : slots)
        if (slot.key == key)
            return &slot;
    return nullptr;
}

std::optional<std::string> plainString(const std::vector<Slot>& slots, std::string_view key)
{
    const Slot* slot = findSlot(slots, key);
    if (!slot || !isValidUtf8(slot->value))
        return std::nullopt;
    return std::string(slot->value);
}

std::optional<std::string> plainLocaleString(const std::vector<Slot>& slots, std::string_view key,
                                             const std::vector<std::string>& suffixes)
{
    std::string candidate;
    for (const std::string& suffix : suffixes) {
        candidate.assign(key).append(suffix);
        if (auto value = plainString(slots, candidate))
            return value;
    }
    return plainString(slots, key);
}

bool plainBoolean(const std::vector<Slot>& slots, std::string_view key)
{
    const Slot* slot = findSlot(slots, key);
    return slot && (slot->value == "true" || slot->value == "1");
}

// GKeyFile's list: empty for an empty value, otherwise the pieces between ';', one empty last piece dropped.
std::optional<std::vector<std::string>> plainList(std::string_view value)
{
    std::vector<std::string> items;
    if (value.empty())
        return items;
    std::size_t start = 0;
    while (true) {
        const std::size_t separator = value.find(';', start);
        if (separator == std::string_view::npos) {
            if (start < value.size())
                items.emplace_back(value.substr(start));
            return items;
        }
        items.emplace_back(value.substr(start, separator - start));
        start = separator + 1;
    }
}

} // namespace

std::optional<DesktopEntryFields> DesktopEntryFields::parseWithKeyFile(std::string_view bytes,
                                                                       const std::vector<std::string>& localeSuffixes)
{
    const KeyFilePtr keyFile(g_key_file_new());
    // why: keep every translation, so that which one is used depends only on `localeSuffixes` (as in the
    // plain-syntax reader), not on the environment at the moment of loading.
    if (!g_key_file_load_from_data(keyFile.get(), bytes.data(), bytes.size(), G_KEY_FILE_KEEP_TRANSLATIONS, nullptr))
        return std::nullopt;
    GKeyFile* file = keyFile.get();

    DesktopEntryFields fields;
    if (const GCharPtr startGroup{g_key_file_get_start_group(file)})
        fields.startGroup = startGroup.get();
    fields.type = stringKey(file, "Type");
    fields.name = localeStringKey(file, "Name", localeSuffixes);
    fields.icon = localeStringKey(file, "Icon", localeSuffixes);
    fields.tryExec = stringKey(file, "TryExec");
    fields.exec = stringKey(file, "Exec");
    fields.hidden = booleanKey(file, "Hidden");
    fields.noDisplay = booleanKey(file, "NoDisplay");
    fields.dbusActivatable = booleanKey(file, "DBusActivatable");
    fields.onlyShowIn = stringListKey(file, "OnlyShowIn");
    fields.notShowIn = stringListKey(file, "NotShowIn");
    return fields;
}

namespace {

// The values of the keys read from the entry group, in file order, and the name of the first group (empty
// when there is none); nothing when the file uses any syntax that GKeyFile might read differently.
std::optional<std::vector<Slot>> plainEntrySlots(std::string_view bytes, const std::vector<std::string>& localeSuffixes,
                                                 std::string& startGroup)
{
    if (std::memchr(bytes.data(), '\r', bytes.size()) || std::memchr(bytes.data(), '\0', bytes.size()))
        return std::nullopt;

    bool inAnyGroup = false;
    bool inEntryGroup = false;
    bool sawEntryGroup = false;
    std::vector<Slot> slots;
    std::size_t position = 0;
    while (position < bytes.size()) {
        std::size_t end = bytes.find('\n', position);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view line = bytes.substr(position, end - position);
        position = end + 1;

        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || !isPlainGroupName(line.substr(1, line.size() - 2)))
                return std::nullopt;
            const std::string_view group = line.substr(1, line.size() - 2);
            if (!inAnyGroup)
                startGroup = std::string(group);
            inAnyGroup = true;
            inEntryGroup = group == entryGroup;
            if (inEntryGroup && std::exchange(sawEntryGroup, true))
                return std::nullopt; // a repeated group is merged by GKeyFile
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inAnyGroup || equals == std::string_view::npos)
            return std::nullopt;
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (!isPlainKey(key) || value.find('\\') != std::string_view::npos)
            return std::nullopt;
        if (key == "Encoding")
            return std::nullopt; // GKeyFile refuses the whole file for some values in the first group
        if (!value.empty() && (isBlank(value.front()) || isBlank(value.back())))
            return std::nullopt;
        if (!inEntryGroup || !isKeyRead(key, localeSuffixes))
            continue;
        if (findSlot(slots, key))
            return std::nullopt; // a repeated key: GKeyFile keeps the last one
        slots.push_back(Slot{key, value});
    }
    return slots;
}

} // namespace

std::optional<DesktopEntryFields> DesktopEntryFields::parsePlainSyntax(std::string_view bytes,
                                                                       const std::vector<std::string>& localeSuffixes)
{
    DesktopEntryFields fields;
    const std::optional<std::vector<Slot>> found = plainEntrySlots(bytes, localeSuffixes, fields.startGroup);
    if (!found)
        return std::nullopt;
    const std::vector<Slot>& slots = *found;
    fields.type = plainString(slots, "Type");
    fields.name = plainLocaleString(slots, "Name", localeSuffixes);
    fields.icon = plainLocaleString(slots, "Icon", localeSuffixes);
    fields.tryExec = plainString(slots, "TryExec");
    fields.exec = plainString(slots, "Exec");
    fields.hidden = plainBoolean(slots, "Hidden");
    fields.noDisplay = plainBoolean(slots, "NoDisplay");
    fields.dbusActivatable = plainBoolean(slots, "DBusActivatable");
    for (auto [key, list] : {std::pair{"OnlyShowIn", &fields.onlyShowIn}, std::pair{"NotShowIn", &fields.notShowIn}}) {
        if (const Slot* slot = findSlot(slots, key)) {
            if (!isValidUtf8(slot->value))
                return std::nullopt;
            *list = plainList(slot->value);
        }
    }
    return fields;
}

std::optional<DesktopEntryFields> DesktopEntryFields::parse(std::string_view bytes,
                                                            const std::vector<std::string>& localeSuffixes)
{
    if (auto fields = parsePlainSyntax(bytes, localeSuffixes))
        return fields;
    return parseWithKeyFile(bytes, localeSuffixes);
}

} // namespace kestrel
