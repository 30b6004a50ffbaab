// Cost of one keystroke in the search field: AppLauncher::updateSearchResults() over generated catalogues,
// beside the plain algorithm (lower-casing and collating names at every comparison) in the same run.
// Queries are typed letter by letter, one made of common letters and one of rare letters. The summary at
// the end gives, per catalogue size, the median CPU time per keystroke of both and their ratio.
//
//   search_bench [--benchmark_filter=...]        (sizes: KESTREL_BENCH_SIZES, default "5000,100000")

#include "app/AppLauncher.h"
#include "app/SearchIndex.h"
#include "support/ReferenceSearch.h"
#include "text/LocaleCollator.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace kestrel;

const std::vector<std::string> commonQuery = {"s", "st", "stu", "stud", "studi", "studio"};
const std::vector<std::string> rareQuery = {"q", "qu", "qua", "quar", "quart", "quartz"};

/// Plausible application names: one to three words, mostly from a vocabulary of application words,
/// some invented, a few capitalised differently or accented; unique within the catalogue.
std::vector<std::string> generateNames(std::size_t count)
{
    // clang-format off
    static const std::vector<std::string> words = {
        "studio", "photo", "music", "mail", "notes", "terminal", "calendar", "editor", "viewer", "player",
        "manager", "office", "paint", "video", "sound", "code", "game", "chess", "maps", "weather", "clock",
        "system", "monitor", "disk", "network", "settings", "browser", "reader", "writer", "draw", "calc",
        "backup", "sync", "cloud", "chat", "voice", "camera", "scan", "print", "font", "color", "text", "pad",
        "book", "store", "news", "radio", "remote", "shell", "task", "time", "zip", "archive", "debug", "build",
        "caf\u00e9", "r\u00e9sum\u00e9", "g\u00f6teborg", "\u00fcber", "quartz", "pro", "lite", "plus", "x"};
    // clang-format on
    static const std::vector<std::string> syllables = {"ka", "mi", "ro", "te", "na", "lo", "ve", "si", "da",
                                                       "pe", "ri", "to", "ba", "ne", "go", "li", "mo", "ar"};
    std::mt19937 random(1234567);
    const auto pick = [&random](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };

    std::set<std::string> seen;
    std::vector<std::string> names;
    while (names.size() < count) {
        std::string name;
        for (std::size_t w = 0, n = 1 + pick(3); w < n; ++w) {
            std::string word;
            if (pick(4) == 0) {
                for (std::size_t s = 0, k = 2 + pick(2); s < k; ++s) {
                    word += syllables[pick(syllables.size())];
                }
            } else {
                word = words[pick(words.size())];
            }
            if (pick(3) != 0 && word[0] >= 'a' && word[0] <= 'z') {
                word[0] = static_cast<char>(word[0] - 'a' + 'A');
            }
            if (w > 0) {
                name += ' ';
            }
            name += word;
        }
        if (pick(10) == 0) {
            name += ' ';
            name += std::to_string(pick(30));
        }
        std::string unique = name;
        for (int suffix = 2; seen.count(unique) != 0; ++suffix) {
            unique = name;
            unique += ' ';
            unique += std::to_string(suffix);
        }
        seen.insert(unique);
        names.push_back(unique);
    }
    return names;
}

/// A generated catalogue on disk (empty ".app" entries) and a controller that has scanned it.
struct Catalogue {
    std::filesystem::path root;
    std::unique_ptr<AppLauncher> launcher;
    text::LocaleCollator collator = text::LocaleCollator::forUser();

    explicit Catalogue(std::size_t size)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        root = pattern;
        const std::filesystem::path applications = root / "Applications";
        std::filesystem::create_directories(applications);
        for (const std::string& name : generateNames(size)) {
            const int fd = ::open((applications / (name + ".app")).c_str(), O_WRONLY | O_CREAT, 0600);
            if (fd >= 0) {
                ::close(fd);
            }
        }
        launcher = std::make_unique<AppLauncher>(CatalogLocations{root.string(), {}}, LauncherServices{});
    }
    ~Catalogue()
    {
        launcher.reset();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

std::map<std::size_t, std::unique_ptr<Catalogue>>& catalogues()
{
    static std::map<std::size_t, std::unique_ptr<Catalogue>> all;
    return all;
}

Catalogue& catalogueOf(std::size_t size)
{
    std::unique_ptr<Catalogue>& entry = catalogues()[size];
    if (!entry) {
        entry = std::make_unique<Catalogue>(size);
    }
    return *entry;
}

bool sameRows(const std::vector<LauncherApp>& a, const std::vector<LauncherApp>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const LauncherApp& x, const LauncherApp& y) {
        return x.type() == LauncherItemType::calculation ? x == y : x.id() == y.id();
    });
}

void keystroke(benchmark::State& state, std::size_t size, std::string text)
{
    Catalogue& catalogue = catalogueOf(size);
    AppLauncher& launcher = *catalogue.launcher;
    launcher.setSearchText(text);
    launcher.updateSearchResults();
    const std::vector<LauncherApp> plain =
        referenceSearchResults(launcher.applicationIndex().apps(), text, catalogue.collator);
    if (!sameRows(launcher.filteredApps(), plain)) {
        state.SkipWithError("result differs from the plain algorithm");
        return;
    }
    for (auto _ : state) {
        launcher.setSearchText(text);
        launcher.updateSearchResults();
        benchmark::DoNotOptimize(launcher.filteredApps().data());
    }
    state.counters["rows"] = static_cast<double>(launcher.filteredApps().size());
}

void plainKeystroke(benchmark::State& state, std::size_t size, std::string text)
{
    Catalogue& catalogue = catalogueOf(size);
    const std::vector<LauncherApp>& apps = catalogue.launcher->applicationIndex().apps();
    std::size_t rows = 0;
    for (auto _ : state) {
        const std::vector<LauncherApp> results = referenceSearchResults(apps, text, catalogue.collator);
        rows = results.size();
        benchmark::DoNotOptimize(results.data());
    }
    state.counters["rows"] = static_cast<double>(rows);
}

/// The one-time work after a scan: preparing the search data for the whole catalogue.
void prepare(benchmark::State& state, std::size_t size)
{
    Catalogue& catalogue = catalogueOf(size);
    const std::vector<LauncherApp>& apps = catalogue.launcher->applicationIndex().apps();
    for (auto _ : state) {
        SearchIndex index(apps, catalogue.collator);
        benchmark::DoNotOptimize(index.size());
    }
}

/// Prints what the console reporter prints and keeps the CPU time per keystroke of every run.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular)
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) {
                continue;
            }
            const std::string name = run.benchmark_name();
            const bool plain = name.rfind("plain/", 0) == 0;
            if (!plain && name.rfind("updateSearchResults/", 0) != 0) {
                continue;
            }
            const std::size_t size = std::stoul(name.substr(name.find('/') + 1));
            // Seconds per iteration, converted to milliseconds.
            const double ms = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
            (plain ? m_plain : m_fast)[size].push_back(ms);
        }
    }

    void printSummary() const
    {
        std::printf("\nmedian CPU time per keystroke (ms)\n%10s %12s %12s %10s %8s\n", "apps", "controller", "plain",
                    "speed-up", "samples");
        for (const auto& [size, times] : m_fast) {
            const auto plain = m_plain.find(size);
            const double fast = median(times);
            if (plain == m_plain.end() || plain->second.empty()) {
                std::printf("%10zu %12.4f %12s %10s %8zu\n", size, fast, "-", "-", times.size());
                continue;
            }
            const double slow = median(plain->second);
            std::printf("%10zu %12.4f %12.3f %9.0fx %8zu\n", size, fast, slow, slow / fast, times.size());
        }
    }

private:
    static double median(std::vector<double> values)
    {
        if (values.empty()) {
            return 0;
        }
        std::sort(values.begin(), values.end());
        const std::size_t mid = values.size() / 2;
        return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
    }

    std::map<std::size_t, std::vector<double>> m_fast;
    std::map<std::size_t, std::vector<double>> m_plain;
};

std::vector<std::size_t> benchmarkSizes()
{
    std::vector<std::size_t> sizes;
    const char* configured = std::getenv("KESTREL_BENCH_SIZES");
    std::stringstream list(configured != nullptr ? configured : "5000,100000");
    std::string item;
    while (std::getline(list, item, ',')) {
        if (!item.empty()) {
            sizes.push_back(std::stoul(item));
        }
    }
    return sizes;
}

} // namespace

int main(int argc, char** argv)
{
    // Collation and number formatting follow the locale; pin it unless the caller chose one.
    setenv("LC_ALL", "en_US.UTF-8", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    for (const std::size_t size : benchmarkSizes()) {
        benchmark::RegisterBenchmark(("prepare/" + std::to_string(size)).c_str(), prepare, size)
            ->Unit(benchmark::kMillisecond);
        for (const auto* query : {&commonQuery, &rareQuery}) {
            for (const std::string& text : *query) {
                const std::string suffix = std::to_string(size) + "/" + text;
                benchmark::RegisterBenchmark(("updateSearchResults/" + suffix).c_str(), keystroke, size, text)
                    ->Unit(benchmark::kMillisecond);
                benchmark::RegisterBenchmark(("plain/" + suffix).c_str(), plainKeystroke, size, text)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    catalogues().clear();
    benchmark::Shutdown();
    return 0;
}
