#include "desktop/HotKeyManager_gnome.h"

#include "app/LauncherKeys.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

namespace kestrel {

namespace {

/// GNOME's own keybinding settings (GNOME 43 to 47): each of their string-array keys holds accelerators.
constexpr const char* builtInSchemas[] = {
    "org.gnome.desktop.wm.keybindings",  "org.gnome.shell.keybindings",
    "org.gnome.mutter.keybindings",      "org.gnome.mutter.wayland.keybindings",
    GnomeBindingHotKey::mediaKeysSchema, // its static keys; its list of custom keybindings is not one
};
constexpr const char* customListKey = "custom-keybindings";

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

/// One name per modifier: GTK's aliases, and the virtual modifiers mutter resolves to the usual real ones.
std::string modifierName(std::string_view name)
{
    const std::string lower = lowerAscii(name);
    if (lower == "primary" || lower == "control" || lower == "ctrl" || lower == "ctl")
        return "control";
    if (lower == "shft")
        return "shift";
    if (lower == "alt")
        return "mod1";
    if (lower == "super")
        return "mod4";
    return lower;
}

/// A path GSettings accepts for a relocatable schema (it aborts on any other): '/' first and last, no "//".
bool isSettingsPath(const std::string& path)
{
    return path.size() >= 2 && path.front() == '/' && path.back() == '/' && path.find("//") == std::string::npos;
}

std::string stringKey(GSettings* settings, const char* key)
{
    g_autofree gchar* value = g_settings_get_string(settings, key);
    return value ? value : "";
}

/// The schema `id` when `source` has it.
GSettingsSchema* lookUp(GSettingsSchemaSource* source, const char* id)
{
    return source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
}

std::vector<GnomeBindingHotKey::CustomBinding> customBindings(GSettings* mediaKeys, GSettingsSchema* custom,
                                                              GSettingsBackend* backend)
{
    std::vector<GnomeBindingHotKey::CustomBinding> bindings;
    g_auto(GStrv) paths = g_settings_get_strv(mediaKeys, customListKey);
    for (gchar** path = paths; path && *path; ++path) {
        GnomeBindingHotKey::CustomBinding binding{*path, {}, {}, {}};
        if (isSettingsPath(binding.path)) {
            g_autoptr(GSettings) keys = g_settings_new_full(custom, backend, *path);
            binding.name = stringKey(keys, "name");
            binding.binding = stringKey(keys, "binding");
            binding.command = stringKey(keys, "command");
        }
        bindings.push_back(std::move(binding));
    }
    return bindings;
}

std::vector<GnomeBindingHotKey::BuiltInBinding> builtInBindings(GSettingsSchemaSource* source,
                                                                GSettingsBackend* backend)
{
    std::vector<GnomeBindingHotKey::BuiltInBinding> bindings;
    for (const char* id : builtInSchemas) {
        g_autoptr(GSettingsSchema) schema = lookUp(source, id);
        if (!schema)
            continue;
        g_autoptr(GSettings) settings = g_settings_new_full(schema, backend, nullptr);
        g_auto(GStrv) keys = g_settings_schema_list_keys(schema);
        for (gchar** key = keys; key && *key; ++key) {
            g_autoptr(GSettingsSchemaKey) described = g_settings_schema_get_key(schema, *key);
            if (std::string_view(*key) == customListKey
                || !g_variant_type_equal(g_settings_schema_key_get_value_type(described), G_VARIANT_TYPE_STRING_ARRAY))
                continue;
            const gchar* summary = g_settings_schema_key_get_summary(described);
            const std::string title = summary && *summary ? summary : *key;
            g_auto(GStrv) accelerators = g_settings_get_strv(settings, *key);
            for (gchar** accelerator = accelerators; accelerator && *accelerator; ++accelerator)
                bindings.push_back({title, *accelerator});
        }
    }
    return bindings;
}

} // namespace

GnomeBindingHotKey::Decision GnomeBindingHotKey::decide(const std::vector<CustomBinding>& custom,
                                                        const std::vector<BuiltInBinding>& builtIn,
                                                        std::string_view accelerator)
{
    for (const CustomBinding& binding : custom) {
        if (runsLauncher(binding.command))
            return {Decision::Action::keep, {}, {}};
    }
    const std::string wanted = canonicalAccelerator(accelerator);
    for (const CustomBinding& binding : custom) {
        if (!wanted.empty() && canonicalAccelerator(binding.binding) == wanted)
            return {Decision::Action::taken, {}, binding.name.empty() ? binding.command : binding.name};
    }
    for (const BuiltInBinding& binding : builtIn) {
        if (!wanted.empty() && canonicalAccelerator(binding.accelerator) == wanted)
            return {Decision::Action::taken, {}, binding.title};
    }
    const auto used = [&custom](const std::string& path) {
        return std::any_of(custom.begin(), custom.end(), [&path](const CustomBinding& b) { return b.path == path; });
    };
    std::string path = bindingPath;
    for (int n = 1; used(path); ++n)
        path = std::string(customRoot) + launcherProgram + std::to_string(n) + "/";
    return {Decision::Action::add, path, {}};
}

std::string GnomeBindingHotKey::canonicalAccelerator(std::string_view accelerator)
{
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!accelerator.empty() && space(accelerator.front()))
        accelerator.remove_prefix(1);
    while (!accelerator.empty() && space(accelerator.back()))
        accelerator.remove_suffix(1);
    std::vector<std::string> modifiers;
    while (!accelerator.empty() && accelerator.front() == '<') {
        const std::size_t close = accelerator.find('>');
        if (close == std::string_view::npos)
            return {};
        modifiers.push_back(modifierName(accelerator.substr(1, close - 1)));
        accelerator.remove_prefix(close + 1);
    }
    if (accelerator.empty())
        return {};
    std::sort(modifiers.begin(), modifiers.end());
    modifiers.erase(std::unique(modifiers.begin(), modifiers.end()), modifiers.end());
    std::string canonical;
    for (const std::string& modifier : modifiers)
        canonical += modifier + "+";
    return canonical + lowerAscii(accelerator);
}

bool GnomeBindingHotKey::runsLauncher(std::string_view command)
{
    const std::string line(command);
    gchar** argv = nullptr;
    // gsd-media-keys splits a custom keybinding's command the same way.
    if (!g_shell_parse_argv(line.c_str(), nullptr, &argv, nullptr))
        return false;
    g_auto(GStrv) owned = argv;
    g_autofree gchar* program = g_path_get_basename(argv[0]);
    return std::string_view(program) == launcherProgram;
}

std::string GnomeBindingHotKey::commandLineFor(const std::string& program)
{
    const bool plain = !program.empty() && std::all_of(program.begin(), program.end(), [](unsigned char c) {
        return std::isalnum(c) || std::string_view("/._+-,:=@%").find(static_cast<char>(c)) != std::string_view::npos;
    });
    if (plain)
        return program;
    g_autofree gchar* quoted = g_shell_quote(program.c_str());
    return quoted;
}

GnomeBindingHotKey::GnomeBindingHotKey(std::string toggleCommand, _GSettingsBackend* backend,
                                       _GSettingsSchemaSource* schemas)
    : m_toggleCommand(std::move(toggleCommand))
    , m_backend(backend ? G_SETTINGS_BACKEND(g_object_ref(backend)) : nullptr)
    , m_schemas(schemas ? g_settings_schema_source_ref(schemas) : nullptr)
{
}

GnomeBindingHotKey::~GnomeBindingHotKey()
{
    if (m_backend)
        g_object_unref(m_backend);
    if (m_schemas)
        g_settings_schema_source_unref(m_schemas);
}

void GnomeBindingHotKey::start(Events events)
{
    const std::string hotKey = launcherKeys::hotKey.name;
    GSettingsSchemaSource* source = m_schemas ? m_schemas : g_settings_schema_source_get_default();
    g_autoptr(GSettingsSchema) mediaKeys = lookUp(source, mediaKeysSchema);
    g_autoptr(GSettingsSchema) custom = lookUp(source, customSchema);
    if (!mediaKeys || !custom) {
        events.failed(std::string("GNOME's keyboard shortcut settings are not installed (") + mediaKeysSchema + ")");
        return;
    }
    // why: without dconf's module GSettings falls back to keeping settings in memory, where a binding
    // would vanish with the launcher and gsd-media-keys would never see it.
    if (!m_backend
        && std::string_view(G_OBJECT_TYPE_NAME(g_settings_backend_get_default())) == "GMemorySettingsBackend") {
        events.failed("GSettings keeps no settings here (dconf is not installed), so no GNOME shortcut can be added");
        return;
    }

    g_autoptr(GSettings) list = g_settings_new_full(mediaKeys, m_backend, nullptr);
    const std::vector<CustomBinding> customs = customBindings(list, custom, m_backend);
    const Decision decision =
        decide(customs, builtInBindings(source, m_backend), launcherKeys::hotKey.gnomeAccelerator);
    switch (decision.action) {
    case Decision::Action::keep:
        return;
    case Decision::Action::taken:
        events.failed(hotKey + " is taken by the GNOME shortcut “" + decision.holder + "”; bind `" + launcherProgram
                      + "` to another key in " + settingsPlace);
        return;
    case Decision::Action::add:
        break;
    }
    if (!g_settings_is_writable(list, customListKey)) {
        events.failed(std::string("GNOME's custom shortcuts are locked, so none was added for ") + hotKey);
        return;
    }

    // The entry's keys first, then the list: gsd-media-keys follows the list and finds the entry complete.
    g_autoptr(GSettings) entry = g_settings_new_full(custom, m_backend, decision.path.c_str());
    g_settings_set_string(entry, "name", bindingName);
    g_settings_set_string(entry, "binding", launcherKeys::hotKey.gnomeAccelerator);
    g_settings_set_string(entry, "command", commandLineFor(m_toggleCommand).c_str());
    g_auto(GStrv) paths = g_settings_get_strv(list, customListKey);
    std::vector<const gchar*> extended(paths, paths + g_strv_length(paths));
    extended.push_back(decision.path.c_str());
    extended.push_back(nullptr);
    g_settings_set_strv(list, customListKey, extended.data());
    // why: dconf writes asynchronously; the binding must be stored before a press can run it (and before the
    // launcher can end).
    g_settings_sync();
}

} // namespace kestrel
