#include "desktop/GioWorkspace.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <string_view>

namespace kestrel {

namespace {

GAppLaunchContext* newLaunchContext()
{
    GAppLaunchContext* context = g_app_launch_context_new();
    for (const std::string& name : GioWorkspace::launcherOnlyVariables())
        g_app_launch_context_unsetenv(context, name.c_str());
    return context;
}

void launchFinished(GObject* source, GAsyncResult* result, gpointer)
{
    // Errors are dropped: a failed launch shows nothing.
    if (G_IS_APP_INFO(source))
        g_app_info_launch_uris_finish(G_APP_INFO(source), result, nullptr);
    else
        g_app_info_launch_default_for_uri_finish(result, nullptr);
}

} // namespace

const std::vector<std::string>& GioWorkspace::launcherOnlyVariables()
{
    static const std::vector<std::string> names{"DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"};
    return names;
}

void GioWorkspace::openApplication(const FileUrl& url)
{
    const std::string& path = url.path();
    if (path.empty())
        return;
    GAppLaunchContext* context = newLaunchContext();

    if (path.ends_with(".desktop")) {
        GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(path.c_str());
        if (info) {
            // The callback keeps the info alive until the launch has finished.
            g_app_info_launch_uris_async(G_APP_INFO(info), nullptr, context, nullptr, launchFinished, nullptr);
            g_object_unref(info);
        }
    } else {
        gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
        if (uri)
            g_app_info_launch_default_for_uri_async(uri, context, nullptr, launchFinished, nullptr);
        g_free(uri);
    }
    g_object_unref(context);
}

} // namespace kestrel
