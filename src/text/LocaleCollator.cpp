#include "text/LocaleCollator.h"

#include "text/Locale.h"
#include "text/UnicodeText.h"

#include <unicode/ucol.h>

#include <climits>
#include <cstdint>

namespace kestrel::text {

namespace {

UCollator* openCollator(const std::string& localeId)
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(localeId.c_str(), &status);
    if (U_FAILURE(status)) {
        ucol_close(collator);
        status = U_ZERO_ERROR;
        collator = ucol_open("", &status);
        if (U_FAILURE(status)) {
            ucol_close(collator);
            return nullptr;
        }
    }
    // Secondary strength: base letters and accents count, letter case does not.
    ucol_setStrength(collator, UCOL_SECONDARY);
    return collator;
}

int compareBytes(std::string_view a, std::string_view b)
{
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace

void LocaleCollator::Closer::operator()(UCollator* collator) const
{
    ucol_close(collator);
}

LocaleCollator::LocaleCollator(const std::string& localeId)
    : m_collator(openCollator(localeId))
{
}

LocaleCollator LocaleCollator::forUser()
{
    return LocaleCollator(userLocale(LocaleCategory::collation));
}

LocaleCollator::LocaleCollator(LocaleCollator&&) noexcept = default;
LocaleCollator& LocaleCollator::operator=(LocaleCollator&&) noexcept = default;
LocaleCollator::~LocaleCollator() = default;

int LocaleCollator::compare(std::string_view a, std::string_view b) const
{
    // Without a collator (ICU data missing) or for texts beyond ICU's lengths, byte order still gives a
    // consistent total order rather than an arbitrary answer.
    constexpr auto limit = static_cast<std::size_t>(INT32_MAX);
    if (!m_collator || a.size() > limit || b.size() > limit)
        return compareBytes(a, b);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result = ucol_strcollUTF8(m_collator.get(), a.data(), static_cast<int32_t>(a.size()),
                                                     b.data(), static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status))
        return compareBytes(a, b);
    return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
}

std::string LocaleCollator::sortKey(std::string_view utf8) const
{
    const std::u16string text = toUtf16(utf8);
    constexpr auto limit = static_cast<std::size_t>(INT32_MAX / 8);
    if (!m_collator || text.size() > limit)
        return toValidUtf8(utf8);
    const auto* source = reinterpret_cast<const UChar*>(text.data());
    const auto length = static_cast<int32_t>(text.size());

    std::string key(text.size() * 3 + 16, '\0');
    int32_t needed = ucol_getSortKey(m_collator.get(), source, length, reinterpret_cast<uint8_t*>(key.data()),
                                     static_cast<int32_t>(key.size()));
    if (needed > static_cast<int32_t>(key.size())) {
        key.assign(static_cast<std::size_t>(needed), '\0');
        needed = ucol_getSortKey(m_collator.get(), source, length, reinterpret_cast<uint8_t*>(key.data()),
                                 static_cast<int32_t>(key.size()));
    }
    if (needed <= 0 || needed > static_cast<int32_t>(key.size()))
        return toValidUtf8(utf8);
    key.resize(static_cast<std::size_t>(needed - 1)); // drop the terminating zero byte
    return key;
}

} // namespace kestrel::text
