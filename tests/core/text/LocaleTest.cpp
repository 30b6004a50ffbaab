#include "text/Locale.h"

#include "EnvironmentGuard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::text {
namespace {

TEST(LocaleFromVariables, FirstNonEmptyVariableWinsAndIsTranslatedForIcu)
{
    struct Case {
        const char* description;
        std::string lcAll;
        std::string lcCategory;
        std::string lang;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"nothing set is the root locale", "", "", "", ""},
        {"LANG alone", "", "", "de_DE.UTF-8", "de_DE"},
        {"category before LANG", "", "sv_SE.UTF-8", "de_DE.UTF-8", "sv_SE"},
        {"LC_ALL before everything", "fr_FR.UTF-8", "sv_SE.UTF-8", "de_DE.UTF-8", "fr_FR"},
        {"LC_ALL=C wins and means root", "C", "sv_SE", "de_DE", ""},
        {"category POSIX wins over LANG", "", "POSIX", "de_DE", ""},
        {"C with a codeset", "", "", "C.UTF-8", ""},
        {"POSIX with a codeset", "", "", "POSIX.utf8", ""},
        {"other codeset dropped", "", "", "en_US.ISO-8859-1", "en_US"},
        {"language only", "", "", "en", "en"},
        {"hyphenated form canonicalised", "", "", "de-DE", "de_DE"},
        {"variant modifier kept", "", "", "ca_ES.UTF-8@valencia", "ca_ES_VALENCIA"},
        {"Latin script modifier", "", "", "sr_RS.UTF-8@latin", "sr_Latn_RS"},
        {"Cyrillic script modifier", "", "", "uz_UZ@cyrillic", "uz_Cyrl_UZ"},
        {"script modifier without territory", "", "", "sr@latin", "sr_Latn"},
        {"euro modifier dropped", "", "", "de_DE@euro", "de_DE"},
        {"euro modifier after codeset dropped", "", "", "de_DE.ISO-8859-15@euro", "de_DE"},
        {"malformed modifier ignored", "", "", "en_US.UTF-8@a=b", "en_US"},
        {"a path is no locale", "", "", "/etc/passwd", ""},
        {"spaces are no locale", "", "", "en US", ""},
        {"codeset alone is no locale", "", "", ".UTF-8", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(localeFromVariables(c.lcAll, c.lcCategory, c.lang), c.expected) << c.description;
}

TEST(UserLocale, ReadsTheVariablesOfItsCategory)
{
    EnvironmentGuard environment;
    environment.set("LC_ALL", std::nullopt);
    environment.set("LC_COLLATE", "sv_SE.UTF-8");
    environment.set("LC_NUMERIC", "de_DE.UTF-8");
    environment.set("LANG", "fr_FR.UTF-8");
    EXPECT_EQ(userLocale(LocaleCategory::collation), "sv_SE");
    EXPECT_EQ(userLocale(LocaleCategory::numeric), "de_DE");

    environment.set("LC_NUMERIC", "");
    EXPECT_EQ(userLocale(LocaleCategory::numeric), "fr_FR") << "an empty variable counts as unset";

    environment.set("LC_ALL", "pt_BR.UTF-8");
    EXPECT_EQ(userLocale(LocaleCategory::collation), "pt_BR");
    EXPECT_EQ(userLocale(LocaleCategory::numeric), "pt_BR");

    environment.set("LC_ALL", std::nullopt);
    environment.set("LC_COLLATE", std::nullopt);
    environment.set("LANG", std::nullopt);
    EXPECT_EQ(userLocale(LocaleCategory::collation), "");
}

} // namespace
} // namespace kestrel::text
