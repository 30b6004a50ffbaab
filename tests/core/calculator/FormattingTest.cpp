#include "calculator/MathCalculator.h"
#include "calculator/NumberText.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>

namespace kestrel {
namespace {

constexpr double kTwoTo53 = 9007199254740992.0;
constexpr double kTwoTo63 = 9223372036854775808.0;

struct FormatCase {
    double value;
    const char* locale;
    const char* text;
};

TEST(MathCalculatorFormatting, WholeValuesInRangeArePlainIntegersOthersFollowTheLocale)
{
    const FormatCase cases[] = {
        {4.0, "en_US", "4"},
        {-5.0, "en_US", "-5"},
        {1234.0, "en_US", "1234"},
        {1234.0, "de_DE", "1234"},
        {-0.0, "en_US", "0"},
        {-kTwoTo63, "en_US", "-9223372036854775808"},
        {kTwoTo63 - 1024.0, "de_DE", "9223372036854774784"},
        {3.5, "en_US", "3.5"},
        {0.25, "en_US", "0.25"},
        {1234.5, "en_US", "1,234.5"},
        {1234.5, "de_DE", "1.234,5"},
        {-1234.5, "de_DE", "-1.234,5"},
        {1234.5, "", "1,234.5"},
        {1.0 / 3.0, "en_US", "0.3333333333"},
        {2.0 / 3.0, "en_US", "0.6666666667"},
        {0.1 + 0.2, "en_US", "0.3"},
        {1e-11, "en_US", "0"},
        {1234567.891, "fr_FR", "1\u202f234\u202f567,891"},
        {1.5, "ar_EG", "\u0661\u066b\u0665"},
        // Whole values beyond the 64-bit range go through the formatter with all their digits.
        {kTwoTo63, "en_US", "9,223,372,036,854,775,808"},
        {kTwoTo63, "de_DE", "9.223.372.036.854.775.808"},
        {-kTwoTo63 * 2.0, "en_US", "-18,446,744,073,709,551,616"},
        {1e20, "en_US", "100,000,000,000,000,000,000"},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(MathCalculator::formatResult(c.value, c.locale), c.text) << c.value << " in " << c.locale;
    }
}

TEST(MathCalculatorFormatting, LargestDoubleKeepsEveryDigit)
{
    const std::string shown = MathCalculator::formatResult(DBL_MAX, "en_US");
    std::string digits;
    for (const char c : shown) {
        if (c != ',') {
            digits += c;
        }
    }
    EXPECT_EQ(digits, "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058955863"
                      "27668781715404589535143824642343213268894641827684675467035375169860499105765512820762454900"
                      "90389328944075868508455133942304583236903222948165808559332123348274797826204144723168738177"
                      "180919299881250404026184124858368");
    EXPECT_EQ(shown.substr(0, 8), "179,769,");
}

// The one-argument form reads the user's numeric locale from the environment on every call.
class EnvironmentLocale : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
            const char* value = std::getenv(name);
            m_saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
            unsetenv(name);
        }
    }
    void TearDown() override
    {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(EnvironmentLocale, FormatResultUsesTheNumericLocale)
{
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LC_NUMERIC", "de_DE.UTF-8", 1);
    EXPECT_EQ(MathCalculator::formatResult(1234.5), "1.234,5");
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(MathCalculator::formatResult(1234.5), "1,234.5");
}

struct TextCase {
    double value;
    const char* text;
};

TEST(NumberTextTest, DefaultTextForm)
{
    const TextCase cases[] = {
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {5.0, "5.0"},
        {-3.0, "-3.0"},
        {0.1, "0.1"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1234.5, "1234.5"},
        {123456.789, "123456.789"},
        {1e15, "1000000000000000.0"},
        {kTwoTo53, "9007199254740992.0"},
        {-kTwoTo53, "-9007199254740992.0"},
        {kTwoTo53 + 2.0, "9.007199254740994e+15"},
        {1e16, "1e+16"},
        {1e20, "1e+20"},
        {1e-4, "0.0001"},
        {1.5e-4, "0.00015"},
        {std::nextafter(1e-4, 0.0), "9.999999999999999e-05"},
        {1e-5, "1e-05"},
        {-1e-5, "-1e-05"},
        {2.2250738585072014e-308, "2.2250738585072014e-308"},
        {5e-324, "5e-324"},
        {DBL_MAX, "1.7976931348623157e+308"},
        {-DBL_MAX, "-1.7976931348623157e+308"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(defaultTextForm(c.value), c.text);
    }
}

TEST(NumberTextTest, ShortestRoundTripText)
{
    const TextCase cases[] = {
        {0.1, "0.1"},
        {1e20, "1e+20"},
        {-3.0, "-3"},
        {0.1 + 0.2, "0.30000000000000004"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(shortestRoundTripText(c.value), c.text);
    }
}

std::optional<double> readBack(const std::string& text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Over random bit patterns of every magnitude: both texts read back as the very same double, and the
// clipboard form is plain exactly inside [1e-4, 2^53] (and for zero).
TEST(NumberTextTest, TextsReadBackExactlyAndChooseTheirFormByMagnitude)
{
    std::mt19937_64 random(7);
    int checked = 0;
    while (checked < 100'000) {
        const std::uint64_t bits = random();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) {
            continue;
        }
        // Also cover the plain range densely, where random bit patterns are rare.
        if (checked % 2 == 1) {
            value = std::ldexp(std::fmod(std::fabs(value), 1.0) + 0.5, static_cast<int>(bits % 70) - 14);
        }
        ++checked;
        const std::string text = defaultTextForm(value);
        const std::optional<double> back = readBack(text);
        ASSERT_TRUE(back.has_value()) << text;
        ASSERT_EQ(std::memcmp(&*back, &value, sizeof value), 0) << text;
        const double magnitude = std::fabs(value);
        const bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude <= kTwoTo53);
        ASSERT_EQ(text.find('e') == std::string::npos, plain) << text;
        if (plain) {
            ASSERT_NE(text.find('.'), std::string::npos) << text;
        }
        const std::optional<double> shortest = readBack(shortestRoundTripText(value));
        ASSERT_TRUE(shortest.has_value());
        ASSERT_EQ(std::memcmp(&*shortest, &value, sizeof value), 0);
    }
}

} // namespace
} // namespace kestrel
