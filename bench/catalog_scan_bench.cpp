// Scanning a generated catalogue: 1,000 application bundles (XML and binary information files, some with
// icons) and 5,000 desktop entries (two XDG directories with overrides, vendor sub-directories, a
// realistic share of translations, hidden entries and TryExec keys, one program each on PATH).
// The file-system cache is warm after the first iteration. Icons are not decoded by the scan.
#include "catalog/ApplicationIndex.h"

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int bundleCount = 1000;
constexpr int desktopEntryCount = 5000;
constexpr int homeOverrides = 300; // entries in the user's directory that mask a system one

void writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string infoPlist(int i, bool binary)
{
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string(("com.example.app" + std::to_string(i)).c_str()));
    plist_dict_set_item(root, "CFBundleName", plist_new_string(("App " + std::to_string(i)).c_str()));
    if (i % 3 == 0)
        plist_dict_set_item(root, "CFBundleDisplayName",
                            plist_new_string(("Application " + std::to_string(i)).c_str()));
    plist_dict_set_item(root, "CFBundleIconFile", plist_new_string("AppIcon"));
    plist_dict_set_item(root, "CFBundleShortVersionString", plist_new_string("1.2.3"));
    plist_dict_set_item(root, "LSMinimumSystemVersion", plist_new_string("14.0"));
    plist_t types = plist_new_array();
    for (int t = 0; t < 5; ++t) {
        plist_t type = plist_new_dict();
        plist_dict_set_item(type, "CFBundleTypeName", plist_new_string(("Document " + std::to_string(t)).c_str()));
        plist_dict_set_item(type, "CFBundleTypeRole", plist_new_string("Editor"));
        plist_t extensions = plist_new_array();
        plist_array_append_item(extensions, plist_new_string("txt"));
        plist_dict_set_item(type, "CFBundleTypeExtensions", extensions);
        plist_array_append_item(types, type);
    }
    plist_dict_set_item(root, "CFBundleDocumentTypes", types);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    if (binary)
        plist_to_bin(root, &bytes, &length);
    else
        plist_to_xml(root, &bytes, &length);
    std::string result(bytes, length);
    if (binary)
        plist_to_bin_free(bytes);
    else
        plist_to_xml_free(bytes);
    plist_free(root);
    return result;
}

std::string desktopEntry(int i, const std::string& program)
{
    static const char* languages[] = {"de", "fr", "es", "it", "ja", "pt_BR", "ru", "zh_CN", "nl", "sv", "pl", "cs"};
    const std::string n = std::to_string(i);
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\nName=Program " + n + "\n";
    for (const char* language : languages)
        text += std::string("Name[") + language + "]=Program " + n + " (" + language + ")\n";
    text += "GenericName=Tool\nComment=Does useful things with documents number " + n + "\n";
    for (const char* language : languages)
        text += std::string("Comment[") + language + "]=A translated description of program " + n + "\n";
    text += "Exec=" + program + " %U\nIcon=program-" + n
            + "\nTerminal=false\nCategories=Utility;Office;\n"
              "MimeType=text/plain;application/x-example;\nKeywords=edit;write;document;\nStartupNotify=true\n";
    if (i % 5 == 0)
        text += "TryExec=" + program + "\n";
    if (i % 20 == 0)
        text += "NoDisplay=true\n";
    if (i % 50 == 0)
        text += "OnlyShowIn=KDE;\n";
    text += "\n[Desktop Action new-window]\nName=New Window\nExec=" + program + " --new-window\n";
    return text;
}

class GeneratedTree {
public:
    GeneratedTree()
    {
        std::string pattern = (fs::temp_directory_path() / "kestrel-scan-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_root = pattern;

        const char* bundleDirectories[] = {"Applications", "System/Applications", "System/Applications/Utilities",
                                           "System/Library/CoreServices"};
        for (int i = 0; i < bundleCount; ++i) {
            const int where = i < 700 ? 0 : i < 900 ? 1 : i < 960 ? 2 : 3;
            const fs::path bundle =
                m_root / "bundles" / bundleDirectories[where] / ("App " + std::to_string(i) + ".app");
            writeFile(bundle / "Contents/Info.plist", infoPlist(i, i % 2 == 1));
            if (i % 4 != 0)
                writeFile(bundle / "Contents/Resources/AppIcon.icns", "icns");
            writeFile(bundle / "Contents/MacOS/app", "");
        }

        for (int i = 0; i < desktopEntryCount; ++i) {
            const std::string program = "program" + std::to_string(i);
            const fs::path executable = m_root / "bin" / program;
            writeFile(executable, "#!/bin/sh\n");
            fs::permissions(executable, fs::perms(0755));
            const bool vendor = i % 10 == 0;
            const std::string relative =
                vendor ? "vendor/program" + std::to_string(i) + ".desktop" : "program" + std::to_string(i) + ".desktop";
            writeFile(m_root / "share/applications" / relative, desktopEntry(i, program));
            if (i < homeOverrides)
                writeFile(m_root / "home/applications" / relative, desktopEntry(i, program));
        }
        fs::create_directories(m_root / "empty-bin");
    }
    GeneratedTree(const GeneratedTree&) = delete;
    GeneratedTree& operator=(const GeneratedTree&) = delete;
    ~GeneratedTree()
    {
        std::error_code error;
        fs::remove_all(m_root, error);
    }

    kestrel::CatalogLocations locations(bool bundles, bool desktopEntries) const
    {
        kestrel::CatalogLocations result;
        result.bundleRoot = (m_root / (bundles ? "bundles" : "no-bundles")).string();
        if (desktopEntries)
            result.xdgApplicationDirectories = {(m_root / "home/applications").string(),
                                                (m_root / "share/applications").string()};
        return result;
    }
    std::string path() const
    {
        return (m_root / "empty-bin").string() + ":" + (m_root / "bin").string() + ":/usr/bin:/bin";
    }

private:
    fs::path m_root;
};

const GeneratedTree* tree = nullptr;

void scan(benchmark::State& state, bool bundles, bool desktopEntries)
{
    const kestrel::CatalogLocations locations = tree->locations(bundles, desktopEntries);
    std::size_t count = 0;
    for (auto _ : state) {
        kestrel::ApplicationIndex index(locations);
        index.loadApplications();
        count = index.apps().size();
        benchmark::DoNotOptimize(index.apps().data());
    }
    state.counters["apps"] = static_cast<double>(count);
}

void BM_ScanBundlesAndDesktopEntries(benchmark::State& state)
{
    scan(state, true, true);
}
void BM_ScanBundlesOnly(benchmark::State& state)
{
    scan(state, true, false);
}
void BM_ScanDesktopEntriesOnly(benchmark::State& state)
{
    scan(state, false, true);
}

BENCHMARK(BM_ScanBundlesAndDesktopEntries)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_ScanBundlesOnly)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ScanDesktopEntriesOnly)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    const GeneratedTree generated;
    tree = &generated;
    ::setenv("PATH", generated.path().c_str(), 1);
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    ::setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
