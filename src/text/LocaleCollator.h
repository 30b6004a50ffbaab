#pragma once

#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace kestrel::text {

/// Locale-aware comparison that ignores letter case but not accents (ICU collator, secondary strength).
/// Not thread-safe; one instance per thread.
class LocaleCollator {
public:
    /// A collator for the ICU locale id (`""` is the root locale). An unknown or failing locale falls back
    /// to the root collator; construction never fails.
    explicit LocaleCollator(const std::string& localeId);
    /// The collator of the user's collation locale (`userLocale(LocaleCategory::collation)`).
    static LocaleCollator forUser();

    LocaleCollator(LocaleCollator&&) noexcept;
    LocaleCollator& operator=(LocaleCollator&&) noexcept;
    ~LocaleCollator();

    /// Negative, zero or positive as `a` sorts before, the same as, or after `b` (UTF-8 inputs).
    int compare(std::string_view a, std::string_view b) const;

    /// A byte string whose lexicographic (memcmp) order is the order of `compare`.
    std::string sortKey(std::string_view utf8) const;

private:
    struct Closer {
        void operator()(UCollator*) const;
    };
    std::unique_ptr<UCollator, Closer> m_collator;
};

} // namespace kestrel::text
