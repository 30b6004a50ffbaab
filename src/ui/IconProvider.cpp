#include "ui/IconProvider.h"

#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>

namespace kestrel {

namespace {

std::string cacheKey(const IconSource& source)
{
    std::string key;
    key.reserve(source.value.size() + 2);
    key.push_back(static_cast<char>('0' + static_cast<int>(source.kind)));
    key.push_back(':');
    key += source.value;
    return key;
}

} // namespace

IconProvider::IconProvider()
{
    if (QIcon::fallbackThemeName().isEmpty()) {
        QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
    }
    // why: only the generic Unix platform theme puts the XDG icon folders on the search path; other platform
    // plugins (offscreen, minimal, some desktop themes) leave them out and every theme lookup fails.
    QStringList paths = QIcon::themeSearchPaths();
    const QStringList dataFolders = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                              QStringLiteral("icons"), QStandardPaths::LocateDirectory);
    bool added = false;
    for (const QString& folder : dataFolders) {
        if (!paths.contains(folder)) {
            paths.append(folder);
            added = true;
        }
    }
    if (added) {
        QIcon::setThemeSearchPaths(paths);
    }
}

QIcon IconProvider::icon(const IconRef& source)
{
    if (!source || source->value.empty()) {
        return {};
    }
    const std::string key = cacheKey(*source);
    auto found = m_cache.find(key);
    if (found == m_cache.end()) {
        found = m_cache.emplace(key, resolve(*source)).first;
    }
    return found->second;
}

QIcon IconProvider::resolve(const IconSource& source)
{
    const QString value = QString::fromStdString(source.value);
    switch (source.kind) {
    case IconSource::Kind::themeIcon:
        return themeIcon(value);
    case IconSource::Kind::imageFile:
        return imageFile(value);
    case IconSource::Kind::symbol:
        // Only the calculator row carries a symbol, and its row draws the function symbol instead.
        return {};
    }
    return {};
}

QIcon IconProvider::themeIcon(const QString& name)
{
    QIcon icon = QIcon::fromTheme(name);
    if (!icon.isNull()) {
        return icon;
    }
    // why: many desktop entries write the icon name with its file extension ("foo.png"), which theme lookup
    // does not accept, or install the picture only in a pixmaps directory outside every theme.
    const QString suffix = QFileInfo(name).suffix().toLower();
    QString bare = name;
    if (suffix == QLatin1String("png") || suffix == QLatin1String("svg") || suffix == QLatin1String("xpm")) {
        bare.chop(suffix.size() + 1);
        icon = QIcon::fromTheme(bare);
        if (!icon.isNull()) {
            return icon;
        }
    }
    for (const char* extension : {".png", ".svg", ".xpm"}) {
        const QString path = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                    QStringLiteral("pixmaps/") + bare + QLatin1String(extension));
        if (!path.isEmpty()) {
            return imageFile(path);
        }
    }
    return {};
}

QIcon IconProvider::imageFile(const QString& path)
{
    QImageReader reader(path);
    if (!reader.canRead()) {
        return {};
    }
    return QIcon(path);
}

} // namespace kestrel
