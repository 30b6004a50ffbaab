#include "app/SearchIndex.h"

#include "ReferenceSearch.h"
#include "text/LocaleCollator.h"
#include "text/NormalizedText.h"
#include "text/UnicodeText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

/// Application records named `names`; the URL "/apps/<position>" tells equal names apart.
std::vector<LauncherApp> catalogue(const std::vector<std::string>& names)
{
    std::vector<LauncherApp> apps;
    for (std::size_t i = 0; i < names.size(); ++i) {
        apps.emplace_back(Uuid::random(), names[i], FileUrl::fromPath("/apps/" + std::to_string(i)), nullptr,
                          std::nullopt, LauncherItemType::application, std::nullopt);
    }
    return apps;
}

/// The catalogue positions of `rows`, read back from their URLs.
std::vector<int> positions(const std::vector<LauncherApp>& rows)
{
    std::vector<int> out;
    for (const LauncherApp& row : rows) {
        out.push_back(row.url() ? std::stoi(row.url()->path().substr(6)) : -1);
    }
    return out;
}

TEST(SearchIndex, OrdersPrefixMatchesFirstThenCollationThenCatalogue)
{
    struct Case {
        const char* locale;
        std::vector<std::string> names;
        std::string query;
        std::vector<int> expected;
    };
    const std::vector<Case> cases = {
        {"en_US", {"Safari", "Archive Utility", "Calendar"}, "ar", {1, 2, 0}},
        {"en_US", {"Safari", "Archive Utility", "Calendar"}, "AR", {1, 2, 0}},
        {"en_US", {"Safari", "Archive Utility", "Calendar"}, "x", {}},
        // The user's collation orders each group: Swedish sorts Ä after Z.
        {"en_US", {"Apfel", "Zebra", "Äpfel"}, "e", {0, 2, 1}},
        {"sv_SE", {"Apfel", "Zebra", "Äpfel"}, "e", {0, 1, 2}},
        // Names equal but for case keep the catalogue's order, whichever comes first there.
        {"en_US", {"mail", "MAIL", "Mail"}, "ai", {0, 1, 2}},
        {"en_US", {"Mail", "mail", "MAIL"}, "ma", {0, 1, 2}},
        {"en_US", {"Zoom", "mail", "Notes", "MAIL"}, "m", {1, 3, 0}},
        // Canonically equivalent spellings match each other; a match may not end inside a character.
        {"en_US", {"Cafe\u0301 Noir", "Caf\u00e9", "Cafeteria"}, "caf\u00e9", {1, 0}},
        {"en_US", {"Cafe\u0301 Noir", "Caf\u00e9", "Cafeteria"}, "CAF\u00c9", {1, 0}},
        {"en_US", {"Cafe\u0301 Noir", "Caf\u00e9", "Cafeteria"}, "cafe", {2}},
        {"en_US", {"Caf\u00e9"}, "\u0301", {}},
        // Lower case is a full mapping that does not fold ß.
        {"en_US", {"Stra\u00dfe", "STRASSE"}, "ss", {1}},
        {"en_US", {"Stra\u00dfe", "STRASSE"}, "\u00df", {0}},
        // Spaces are part of the text.
        {"en_US", {"Photo Booth", "PhotoBooth"}, "o b", {0}},
        {"en_US", {"Photo Booth", "PhotoBooth"}, "photo ", {0}},
        // The index ignores expressions; it matches them as text.
        {"en_US", {"2+3 Solver", "Notes"}, "2+3", {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " query '" + c.query + "'");
        const SearchIndex index(catalogue(c.names), text::LocaleCollator(c.locale));
        std::vector<LauncherApp> rows;
        index.appendMatches(c.query, rows);
        EXPECT_EQ(positions(rows), c.expected);
    }
}

/// Pieces that make names hard to order and match: case pairs, precomposed and decomposed accents, a bare
/// combining mark, letters whose lower case changes length, ligatures, spaces, digits and operators.
const std::vector<std::string>& fragments()
{
    static const std::vector<std::string> pieces = {
        "a", "A", "b", "B", "e", "E", "\u00e9", "e\u0301", "\u00c9", "E\u0301", "\u00df", "ss", "SS", " ", "  ",
        "\u00e6", "\u00c6", "\u00e4", "a\u0308", "\u00c4", "\u00e5", "o", "\u00f6", "z", "Z", "1", "2", "+", "-",
        "\u01c5", "\ufb01", "\u0130", "i", "I", "\u0301", "\u65e5", "\u672c", "\t", "ch", "Ch", "\u0131"};
    return pieces;
}

TEST(SearchIndex, MatchesThePlainAlgorithmOnGeneratedCatalogues)
{
    std::mt19937 random(20240611);
    const auto pick = [&random](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const std::vector<std::string>& pieces = fragments();

    std::size_t comparedRows = 0;
    std::size_t mixedQueries = 0; // both groups present
    for (const char* locale : {"", "en_US", "de_DE", "sv_SE", "tr_TR", "da_DK", "es_ES@collation=traditional"}) {
        const text::LocaleCollator collator(locale);
        for (int round = 0; round < 30; ++round) {
            // Names as lists of pieces, so that queries can be cut from them on piece boundaries.
            std::vector<std::vector<std::string>> nameParts;
            const std::size_t count = pick(60);
            for (std::size_t i = 0; i < count; ++i) {
                if (!nameParts.empty() && pick(5) == 0) {
                    nameParts.push_back(nameParts[pick(nameParts.size())]); // exact duplicate
                    continue;
                }
                std::vector<std::string> parts(pick(7));
                for (std::string& part : parts) {
                    part = pieces[pick(pieces.size())];
                }
                nameParts.push_back(parts);
            }
            std::vector<std::string> names;
            for (const auto& parts : nameParts) {
                std::string name;
                for (const std::string& part : parts) {
                    name += part;
                }
                names.push_back(name);
            }
            const std::vector<LauncherApp> apps = catalogue(names);
            const SearchIndex index(apps, collator);

            std::vector<std::string> queries = {" ", "e\u0301", "\u00e9", "2+3", "1 + 2", "SS"};
            for (int q = 0; q < 20; ++q) {
                std::string query;
                if (!nameParts.empty() && pick(3) != 0) {
                    const auto& parts = nameParts[pick(nameParts.size())];
                    if (parts.empty()) {
                        continue;
                    }
                    const std::size_t from = pick(parts.size());
                    const std::size_t length = 1 + pick(parts.size() - from);
                    for (std::size_t k = from; k < from + length; ++k) {
                        query += parts[k];
                    }
                } else {
                    for (std::size_t k = 0, n = 1 + pick(3); k < n; ++k) {
                        query += pieces[pick(pieces.size())];
                    }
                }
                queries.push_back(query);
            }

            for (const std::string& query : queries) {
                SCOPED_TRACE(std::string("locale '") + locale + "' query '" + query + "'");
                std::vector<LauncherApp> expected = referenceSearchResults(apps, query, collator);
                if (!expected.empty() && expected.front().type() == LauncherItemType::calculation) {
                    expected.erase(expected.begin());
                }
                std::vector<LauncherApp> actual;
                index.appendMatches(query, actual);
                ASSERT_EQ(positions(actual), positions(expected));
                comparedRows += actual.size();
                std::size_t prefixRows = 0;
                for (const LauncherApp& row : actual) {
                    prefixRows += text::hasPrefixCanonically(text::lowerCase(row.name()), text::lowerCase(query));
                }
                mixedQueries += prefixRows > 0 && prefixRows < actual.size();
            }
        }
    }
    // The generator must produce real work, not a run of empty lists.
    EXPECT_GT(comparedRows, 5000u);
    EXPECT_GT(mixedQueries, 200u);
}

} // namespace
} // namespace kestrel
