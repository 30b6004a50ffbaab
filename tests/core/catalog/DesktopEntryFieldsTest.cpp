#include "catalog/DesktopEntryFields.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

const std::vector<std::string> suffixes = {"[de_DE.UTF-8]", "[de_DE]", "[de.UTF-8]", "[de]"};

const std::string typical = "# generated\n"
                            "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=Files\n"
                            "Name[de]=Dateien\n"
                            "Name[fr]=Fichiers\n"
                            "Icon=org.example.Files\n"
                            "Exec=files --new-window %U\n"
                            "TryExec=files\n"
                            "OnlyShowIn=GNOME;Unity;\n"
                            "NotShowIn=KDE;\n"
                            "NoDisplay=false\n"
                            "Hidden=0\n"
                            "DBusActivatable=true\n"
                            "Keywords=folder;manager;explore;\n"
                            "\n"
                            "[Desktop Action new-window]\n"
                            "Name=New Window\n"
                            "Exec=files --new-window\n";

TEST(DesktopEntryFields, PlainSyntaxReadsTypicalFilesLikeGKeyFile)
{
    const auto plain = DesktopEntryFields::parsePlainSyntax(typical, suffixes);
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain, DesktopEntryFields::parseWithKeyFile(typical, suffixes));
    EXPECT_EQ(plain->startGroup, "Desktop Entry");
    EXPECT_EQ(plain->name, "Dateien");
    EXPECT_EQ(plain->exec, "files --new-window %U");
    EXPECT_EQ(plain->onlyShowIn, (std::vector<std::string>{"GNOME", "Unity"}));
    EXPECT_EQ(plain->notShowIn, (std::vector<std::string>{"KDE"}));
    EXPECT_TRUE(plain->dbusActivatable);
    EXPECT_FALSE(plain->noDisplay);
    EXPECT_FALSE(plain->hidden);
}

// Each variant is read by both parsers. Where the plain reader answers, its answer must be GKeyFile's; the
// column says whether it is expected to answer at all (the fast path must serve the common forms).
TEST(DesktopEntryFields, PlainSyntaxAgreesWithGKeyFileOrStepsAside)
{
    struct Case {
        const char* what;
        std::string bytes;
        bool plainAnswers;
    };
    const std::string head = "[Desktop Entry]\nType=Application\n";
    const std::vector<Case> cases = {
        {"empty file", "", true},
        {"comments only", "# a\n#b\n", true},
        {"no final newline", head + "Name=A", true},
        {"other group first", "[Other]\nName=B\n" + head + "Name=A\n", true},
        {"booleans 1 and true", head + "Hidden=1\nNoDisplay=true\nDBusActivatable=false\n", true},
        {"boolean not a boolean", head + "Hidden=yes\nNoDisplay=True\n", true},
        {"boolean empty", head + "Hidden=\n", true},
        {"empty lists and pieces", head + "OnlyShowIn=\nNotShowIn=A;;B;;\n", true},
        {"list of one separator", head + "OnlyShowIn=;\n", true},
        {"list inner blanks", head + "OnlyShowIn=A ;B; C\n", true},
        {"values with inner blanks and equals", head + "Name=a = b\nExec=sh -c 'x=1'\n", true},
        {"invalid UTF-8 name, valid translation", head + "Name=\xFF\nName[de]=Gut\n", true},
        {"invalid UTF-8 translation", head + "Name=Gut\nName[de]=\xC3\n", true},
        {"uninteresting translation", head + "Name=A\nName[fr]=B\nName[DE]=C\n", true},
        {"keys with dots and underscores", head + "X-Foo_bar.baz=1\nName=A\n", true},
        {"non-ASCII comment", "# \xC3\xA9t\xC3\xA9 \xFF\n" + head + "Name=A\n", true},
        {"key before any group", "Name=A\n" + head, false},
        {"escapes", head + "Name=Two\\sWords\\\\\n", false},
        {"escaped separator in list", head + "OnlyShowIn=A\\;B;C\n", false},
        {"blank before value", head + "Name= A\n", false},
        {"blank after value", head + "Name=A \nHidden=true \n", false},
        {"blank around key", head + "Name =A\n", false},
        {"CR LF line ends", "[Desktop Entry]\r\nType=Application\r\nName=A\r\n", false},
        {"indented line", head + "  Name=A\n", false},
        {"blank line of spaces", head + "   \nName=A\n", false},
        {"repeated key", head + "Name=A\nName=B\n", false},
        {"repeated entry group", head + "Name=A\n[Other]\n" + head + "Name=B\n", false},
        {"group with trailing blank", "[Desktop Entry] \nType=Application\n", false},
        {"line that is nothing", head + "garbage\n", false},
        {"empty key", head + "=x\n", false},
        {"bad locale", head + "Name[d e]=x\n", false},
        {"empty locale", head + "Name[]=x\n", false},
        {"NUL byte", std::string("[Desktop Entry]\nName=A\0B\n", 25), false},
        {"byte-order mark", "\xEF\xBB\xBF" + head + "Name=A\n", false},
        {"non-ASCII key", head + "N\xC3\xA4me=A\n", false},
        {"unterminated group", "[Desktop Entry\nName=A\n", false},
        {"brackets in group", "[Desk[top]\nName=A\n", false},
        {"invalid UTF-8 list", head + "OnlyShowIn=\xFF;\n", false},
        {"legacy encoding key", head + "Name=A\nEncoding=Legacy-Mixed\n", false},
        {"encoding key in a later group", head + "Name=A\n[Other]\nEncoding=folder;\n", false},
    };
    for (const Case& c : cases) {
        const auto plain = DesktopEntryFields::parsePlainSyntax(c.bytes, suffixes);
        EXPECT_EQ(plain.has_value(), c.plainAnswers) << c.what;
        if (plain) {
            EXPECT_EQ(plain, DesktopEntryFields::parseWithKeyFile(c.bytes, suffixes)) << c.what;
        }
        EXPECT_EQ(DesktopEntryFields::parse(c.bytes, suffixes), DesktopEntryFields::parseWithKeyFile(c.bytes, suffixes))
            << c.what;
    }
}

// GLib 2.74 reports some broken escapes by printing a warning; the launcher writes no log, so such values
// are read as absent, and GLib is never asked to unescape them.
TEST(DesktopEntryFields, BrokenEscapesPrintNothing)
{
    int warnings = 0;
    const guint handler = g_log_set_handler(
        "GLib", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL),
        [](const gchar*, GLogLevelFlags, const gchar*, gpointer count) { ++*static_cast<int*>(count); }, &warnings);

    const std::string head = "[Desktop Entry]\nType=Application\n";
    struct Case {
        std::string keys;
        std::optional<std::string> name;
        std::optional<std::vector<std::string>> onlyShowIn;
    };
    const std::vector<Case> cases = {
        {"Name=a\\;b\\\n", std::nullopt, std::nullopt},             // invalid escape, then a final backslash
        {"Name=a\\xb\\\nName[de]=Gut\n", "Gut", std::nullopt},    // the translation is still used
        {"OnlyShowIn=A\\x;B\\\nName=N\n", "N", std::nullopt},
        {"OnlyShowIn=A\\;B;C\\\\\nName=N\n", "N", std::vector<std::string>{"A;B", "C\\"}},
        {"Name=tab\\there\\\\\n", "tab\there\\", std::nullopt}, // valid escapes are unescaped
        {"Name=end\\\n", "end", std::nullopt},                       // a final backslash alone: GLib's value
    };
    for (const Case& c : cases) {
        const auto fields = DesktopEntryFields::parse(head + c.keys, suffixes);
        ASSERT_TRUE(fields.has_value()) << c.keys;
        EXPECT_EQ(fields->name, c.name) << c.keys;
        EXPECT_EQ(fields->onlyShowIn, c.onlyShowIn) << c.keys;
    }
    g_log_remove_handler("GLib", handler);
    EXPECT_EQ(warnings, 0);
}

// Random edits of desktop files, biased towards the characters the syntax cares about: whatever the plain
// reader accepts, GKeyFile must read the same way.
TEST(DesktopEntryFields, PlainSyntaxAgreesWithGKeyFileOnRandomEdits)
{
    const std::string alphabet = "[]=;#\\ \t\n\r\xFF\xC3\xA9" "aZ09-_.@NameIconExecTrue1";
    const std::vector<std::string> seeds = {typical, "[Desktop Entry]\nName[de]=A\nName=B\nHidden=true\nOnlyShowIn=X;\n"};
    std::mt19937 random(20240607);
    int plainAnswered = 0;
    constexpr int rounds = 20000;
    for (int round = 0; round < rounds; ++round) {
        std::string bytes = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            const std::size_t at = random() % bytes.size();
            const char c = alphabet[random() % alphabet.size()];
            switch (random() % 3) {
            case 0: bytes[at] = c; break;
            case 1: bytes.insert(at, 1, c); break;
            default: bytes.erase(at, 1); break;
            }
        }
        const auto plain = DesktopEntryFields::parsePlainSyntax(bytes, suffixes);
        if (!plain)
            continue;
        ++plainAnswered;
        const auto keyFile = DesktopEntryFields::parseWithKeyFile(bytes, suffixes);
        ASSERT_EQ(plain, keyFile) << "round " << round << ":\n" << bytes;
    }
    // The comparison is only meaningful if the fast path took a good share of the inputs.
    EXPECT_GT(plainAnswered, rounds / 4);
}

} // namespace
} // namespace kestrel
