#pragma once

#include "catalog/FileUrl.h"
#include "catalog/IconRef.h"
#include "catalog/LauncherItemType.h"
#include "catalog/Uuid.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace kestrel {

/// One row of the result list: an installed application or the calculator row. An immutable value;
/// copies share its fields (a copy costs a reference count, so lists of thousands copy cheaply). A
/// record that was moved from holds no fields: it may only be assigned to or destroyed.
///
/// Equality is by kind: two applications are equal when their URLs are equal; two calculator rows when
/// their names (under canonical equivalence) and results (as numbers, so +0 == -0) are equal; an
/// application never equals a calculator row. `id`, `icon` and `bundleIdentifier` never take part.
class LauncherApp {
public:
    /// Builds a record from all seven fields. Callers pass `Uuid::random()` as `id`.
    LauncherApp(Uuid id, std::string name, std::optional<FileUrl> url, IconRef icon,
                std::optional<std::string> bundleIdentifier, LauncherItemType type,
                std::optional<double> calculationResult);

    const Uuid& id() const { return m_fields->id; }
    const std::string& name() const { return m_fields->name; }
    const std::optional<FileUrl>& url() const { return m_fields->url; }
    const IconRef& icon() const { return m_fields->icon; }
    const std::optional<std::string>& bundleIdentifier() const { return m_fields->bundleIdentifier; }
    LauncherItemType type() const { return m_fields->type; }
    const std::optional<double>& calculationResult() const { return m_fields->calculationResult; }

    friend bool operator==(const LauncherApp& a, const LauncherApp& b);

    /// Hash of the fields that == compares, in this order: type (case index); for an application, url
    /// (presence marker, then the path's hash); for a calculator row, name (hash of its NFC form, so
    /// canonically equal names hash alike) and calculationResult (presence marker, then the bit pattern
    /// with -0 fed as +0). An application's name is not hashed because == ignores it: records that are
    /// equal always hash alike, whatever their names.
    std::size_t hashValue() const;

private:
    struct Fields {
        Uuid id;
        std::string name;
        std::optional<FileUrl> url;
        IconRef icon;
        std::optional<std::string> bundleIdentifier;
        LauncherItemType type;
        std::optional<double> calculationResult;
    };

    std::shared_ptr<const Fields> m_fields;
};

} // namespace kestrel

template <>
struct std::hash<kestrel::LauncherApp> {
    std::size_t operator()(const kestrel::LauncherApp& app) const noexcept { return app.hashValue(); }
};
