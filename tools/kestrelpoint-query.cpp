// kestrelpoint-query: the launcher's core without a desktop. Lists the catalogue, or shows the result list
// that the search field would show for a text, and what Return would then do, without doing it: one line
// `open<TAB>path`, `copy<TAB>text`, or `nothing` when Return would do nothing.
//
//   kestrelpoint-query [--bundle-root DIR] --list
//   kestrelpoint-query [--bundle-root DIR] TEXT [--select N] [--activate]
//   kestrelpoint-query [--bundle-root DIR] --watch TEXT
//
// --watch prints the result list for TEXT, a line "--", and again after every change of the catalogue
// (applications installed or removed), until it is stopped by a signal or its output is closed.
//
// Output is UTF-8, one record per line, fields separated by a TAB; a TAB, newline or backslash inside a
// field is written as \t, \n, \\. Exit status 0; 2 with a one-line usage message for bad arguments.

#include "app/AppLauncher.h"
#include "app/CatalogRefresher.h"
#include "calculator/NumberText.h"
#include "catalog/CatalogLocations.h"
#include "text/UnicodeText.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace kestrel;

constexpr const char* usageLine = "usage: kestrelpoint-query [--bundle-root DIR] (--list | [--] TEXT [--select N] "
                                  "[--activate] | --watch [--] TEXT)\n";

constexpr const char* helpText =
    "  --list             print the catalogue, one application per line\n"
    "  TEXT               print the result list that the launcher shows for TEXT\n"
    "  --select N         move the selection N rows (negative: up), for --activate\n"
    "  --activate         then print what Return would do: open<TAB>path, copy<TAB>text or nothing\n"
    "  --watch TEXT       print the result list for TEXT, then again after every change of the\n"
    "                     catalogue (applications installed or removed), each list followed by a\n"
    "                     line \"--\"; runs until it is stopped\n"
    "  --bundle-root DIR  look for the bundle directories under DIR\n"
    "Lines are TAB-separated: kind, name, path or result, identifier.\n";

/// Records the launch requests instead of launching.
class RecordingWorkspace : public Workspace {
public:
    void openApplication(const FileUrl& url) override { opened.push_back(url.path()); }
    std::vector<std::string> opened;
};

/// Keeps the text instead of touching the system clipboard.
class RecordingPasteboard : public Pasteboard {
public:
    void clearContents() override { text.reset(); }
    void setString(const std::string& value) override { text = value; }
    std::optional<std::string> text;
};

struct Arguments {
    std::optional<std::string> bundleRoot;
    bool list = false;
    std::optional<std::string> query;
    std::optional<std::int64_t> select;
    bool activate = false;
    bool watch = false;
    bool help = false;
};

std::optional<std::int64_t> parseInteger(const std::string& text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || text.front() == ' ') {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
}

/// Arguments beginning with "--" are options (until a lone "--"); everything else, "-5" included, is the
/// text. Returns nothing for any argument list that the usage line does not describe.
std::optional<Arguments> parseArguments(int argc, char** argv)
{
    Arguments arguments;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool isOption = !optionsEnded && argument.size() >= 2 && argument.compare(0, 2, "--") == 0;
        if (!isOption) {
            if (arguments.query) {
                return std::nullopt;
            }
            arguments.query = argument;
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help") {
            arguments.help = true;
        } else if (argument == "--list" && !arguments.list) {
            arguments.list = true;
        } else if (argument == "--activate" && !arguments.activate) {
            arguments.activate = true;
        } else if (argument == "--watch" && !arguments.watch) {
            arguments.watch = true;
        } else if (argument == "--bundle-root" && !arguments.bundleRoot && i + 1 < argc) {
            arguments.bundleRoot = argv[++i];
        } else if (argument == "--select" && !arguments.select && i + 1 < argc) {
            arguments.select = parseInteger(argv[++i]);
            if (!arguments.select) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    if (arguments.help) {
        return arguments;
    }
    if (arguments.watch && (arguments.list || arguments.select || arguments.activate)) {
        return std::nullopt;
    }
    if (arguments.list) {
        if (arguments.query || arguments.select || arguments.activate) {
            return std::nullopt;
        }
    } else if (!arguments.query) {
        return std::nullopt;
    }
    return arguments;
}

/// The field as valid UTF-8 with TAB, newline and backslash escaped.
std::string escaped(std::string_view field)
{
    const std::string valid = text::toValidUtf8(field);
    std::string out;
    out.reserve(valid.size());
    for (const char c : valid) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

void writeLine(const std::vector<std::string_view>& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line += '\t';
        }
        line += escaped(fields[i]);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

void writeRecord(const LauncherApp& item)
{
    if (item.type() == LauncherItemType::calculation) {
        const std::optional<double>& result = item.calculationResult();
        writeLine({"calculation", item.name(), result ? defaultTextForm(*result) : std::string()});
        return;
    }
    writeLine({"application", item.name(), item.url() ? item.url()->path() : std::string(),
               item.bundleIdentifier().value_or(std::string())});
}

/// Writes the result list and the separator line; false once the output cannot be written.
bool writeResults(const AppLauncher& launcher)
{
    for (const LauncherApp& item : launcher.filteredApps()) {
        writeRecord(item);
    }
    std::fputs("--\n", stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

/// Shows the (offscreen) window, types `text`, and prints the list again after every catalogue change.
int watch(AppLauncher& launcher, const std::string& text)
{
    launcher.showSearchWindow();
    launcher.setSearchText(text);
    launcher.updateSearchResults();
    CatalogRefresher refresher(launcher);
    if (!writeResults(launcher)) {
        return 1;
    }
    pollfd watched{refresher.fileDescriptor(), POLLIN, 0};
    while (true) {
        if (::poll(&watched, 1, -1) < 0 && errno != EINTR) {
            return 1;
        }
        if (refresher.processEvents() && !writeResults(launcher)) {
            return 1;
        }
    }
}

/// The result list for the query, then (with --select / --activate) what Return would do.
void search(AppLauncher& launcher, const Arguments& arguments, const RecordingWorkspace& workspace,
            const RecordingPasteboard& pasteboard)
{
    launcher.setSearchText(*arguments.query);
    launcher.updateSearchResults();
    for (const LauncherApp& item : launcher.filteredApps()) {
        writeRecord(item);
    }
    if (arguments.select) {
        // Past the length of the list every further step leaves the selection where it is.
        const std::int64_t steps = *arguments.select;
        const std::uint64_t distance =
            steps < 0 ? 0 - static_cast<std::uint64_t>(steps) : static_cast<std::uint64_t>(steps);
        const std::uint64_t moves = std::min<std::uint64_t>(distance, launcher.filteredApps().size());
        for (std::uint64_t i = 0; i < moves; ++i) {
            launcher.moveSelection(steps < 0 ? -1 : 1);
        }
    }
    if (arguments.activate) {
        launcher.activateSelected();
        if (pasteboard.text) {
            writeLine({"copy", *pasteboard.text});
        }
        for (const std::string& path : workspace.opened) {
            writeLine({"open", path});
        }
        if (!pasteboard.text && workspace.opened.empty()) {
            writeLine({"nothing"});
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<Arguments> arguments = parseArguments(argc, argv);
    if (!arguments) {
        std::fputs(usageLine, stderr);
        return 2;
    }
    if (arguments->help) {
        std::fputs(usageLine, stdout);
        std::fputs(helpText, stdout);
        return 0;
    }

    CatalogLocations locations = CatalogLocations::defaults();
    if (arguments->bundleRoot) {
        locations.bundleRoot = *arguments->bundleRoot;
    }
    // No hot key, window or activation: the tool has no event loop and nothing on screen.
    RecordingWorkspace workspace;
    RecordingPasteboard pasteboard;
    LauncherServices services;
    services.workspace = &workspace;
    services.pasteboard = &pasteboard;
    AppLauncher launcher(std::move(locations), std::move(services));

    if (arguments->watch) {
        return watch(launcher, *arguments->query);
    }
    if (arguments->list) {
        for (const LauncherApp& app : launcher.applicationIndex().apps()) {
            writeRecord(app);
        }
    } else {
        search(launcher, *arguments, workspace, pasteboard);
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
