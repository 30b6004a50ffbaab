#include "catalog/LauncherApp.h"

#include "text/UnicodeText.h"

#include <bit>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

namespace kestrel {

namespace {

/// Feeds 64-bit words into a running state and finishes with a full avalanche, so that inputs differing
/// in any bit (the type index, a presence byte, one bit of a result) spread over the whole hash.
class Hasher {
public:
    void feed(std::uint64_t word)
    {
        m_state = std::rotl(m_state ^ mix(word), 27) * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL;
    }
    void feed(std::string_view bytes) { feed(static_cast<std::uint64_t>(std::hash<std::string_view>{}(bytes))); }

    std::uint64_t finish() const { return mix(m_state); }

private:
    /// The finaliser of SplitMix64.
    static std::uint64_t mix(std::uint64_t z)
    {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    std::uint64_t m_state = 0x243F6A8885A308D3ULL;
};

/// Canonical equivalence of two names, without normalising when the bytes already decide it.
bool canonicallyEqual(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    if (text::isAscii(a) && text::isAscii(b))
        return false;
    return text::toNfc(a) == text::toNfc(b);
}

} // namespace

LauncherApp::LauncherApp(Uuid id, std::string name, std::optional<FileUrl> url, IconRef icon,
                         std::optional<std::string> bundleIdentifier, LauncherItemType type,
                         std::optional<double> calculationResult)
    : m_fields(std::make_shared<const Fields>(Fields{id, std::move(name), std::move(url), std::move(icon),
                                                     std::move(bundleIdentifier), type, calculationResult}))
{
}

bool operator==(const LauncherApp& a, const LauncherApp& b)
{
    if (a.m_fields->type != b.m_fields->type)
        return false;
    if (a.m_fields->type == LauncherItemType::application)
        return a.m_fields->url == b.m_fields->url;
    if (a.m_fields->calculationResult.has_value() != b.m_fields->calculationResult.has_value())
        return false;
    // Compared as numbers: +0 equals -0 (and NaN, which the calculator never yields, equals nothing).
    if (a.m_fields->calculationResult && *a.m_fields->calculationResult != *b.m_fields->calculationResult)
        return false;
    return canonicallyEqual(a.m_fields->name, b.m_fields->name);
}

std::size_t LauncherApp::hashValue() const
{
    // Only what == compares for this kind is fed: an application's name and a calculator row's URL take
    // no part in equality, so hashing them would give equal records different hashes.
    const bool isApplication = m_fields->type == LauncherItemType::application;
    Hasher hasher;
    hasher.feed(static_cast<std::uint64_t>(m_fields->type));
    const bool hasUrl = isApplication && m_fields->url.has_value();
    hasher.feed(hasUrl ? 1U : 0U);
    if (hasUrl)
        hasher.feed(m_fields->url->path());
    if (isApplication)
        return static_cast<std::size_t>(hasher.finish());

    if (text::isAscii(m_fields->name))
        hasher.feed(m_fields->name);
    else
        hasher.feed(text::toNfc(m_fields->name));
    hasher.feed(m_fields->calculationResult ? 1U : 0U);
    if (m_fields->calculationResult) {
        const double value = *m_fields->calculationResult == 0.0 ? 0.0 : *m_fields->calculationResult; // -0 fed as +0
        hasher.feed(std::bit_cast<std::uint64_t>(value));
    }
    return static_cast<std::size_t>(hasher.finish());
}

} // namespace kestrel
