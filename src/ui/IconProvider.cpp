#include "ui/IconProvider.h"

#include "catalog/IconFile.h"
#include "catalog/IconTheme.h"
#include "ui/IconDecoder.h"

#include <QDir>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPixmap>
#include <QRunnable>
#include <QStandardPaths>

#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

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

std::vector<std::string> absoluteFolders(const QStringList& folders)
{
    std::vector<std::string> result;
    for (const QString& folder : folders) {
        if (QDir::isAbsolutePath(folder)) {
            result.push_back(QDir::cleanPath(folder).toStdString());
        }
    }
    return result;
}

/// Puts the XDG icon folders on Qt's theme search path and returns the search path.
QStringList themeFolders()
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
    return paths;
}

/// Files at least this big are followed by giving the decoder's freed memory back to the system.
constexpr std::size_t trimAfterBytes = 256 * 1024;

/// Set on the worker while it looks up and decodes an icon: whatever Qt reports meanwhile is about a
/// file that will be drawn as a placeholder.
thread_local bool t_decodingIcon = false;
QtMessageHandler g_previousHandler = nullptr;

void dropDecoderMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (t_decodingIcon) {
        return;
    }
    if (g_previousHandler != nullptr) {
        g_previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

/// Keeps Qt's reports about unreadable images off stderr (process-wide, installed once): the categories
/// of its image and SVG readers are switched off (QT_LOGGING_RULES can still turn them on), and every
/// message written while an icon decodes (some come without a category) is dropped.
void silenceImageWarnings()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.svg*=false\nqt.gui.imageio*=false\nqt.gui.icon*=false"));
        g_previousHandler = qInstallMessageHandler(dropDecoderMessages);
    });
}

class DecodingScope {
public:
    DecodingScope() { t_decodingIcon = true; }
    DecodingScope(const DecodingScope&) = delete;
    DecodingScope& operator=(const DecodingScope&) = delete;
    ~DecodingScope() { t_decodingIcon = false; }
};

/// The file behind `source`, found with `theme` for icon names; empty when there is none.
std::string iconPath(IconTheme& theme, const IconSource& source, int size)
{
    if (source.kind == IconSource::Kind::imageFile) {
        return source.value;
    }
    return theme.find(source.value, size);
}

} // namespace

IconProvider::IconProvider(QSize pictureSize, QObject* parent)
    : QObject(parent)
{
    // why: Qt reports every image it cannot decode on stderr; an icon that fails is drawn as a placeholder
    // and is no news for the person at the keyboard.
    silenceImageWarnings();

    const QStringList folders = themeFolders();
    std::string themeName = QIcon::themeName().toStdString();
    const QStringList pixmaps = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                          QStringLiteral("pixmaps"), QStandardPaths::LocateDirectory);
    m_theme = std::make_unique<IconTheme>(absoluteFolders(folders), themeName, absoluteFolders(pixmaps));

    const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
    m_decodeSize = pictureSize * static_cast<int>(std::ceil(std::max<qreal>(1.0, ratio)));
    // One task at a time keeps the theme cache single-threaded and leaves the other core to the interface.
    m_worker.setMaxThreadCount(1);
    // The worker thread ends a few seconds after its last decode; an idle launcher keeps no thread for it.
    m_worker.setExpiryTimeout(5000);
}

IconProvider::~IconProvider()
{
    m_worker.clear();
    m_worker.waitForDone();
}

QIcon IconProvider::icon(const IconRef& source)
{
    if (!source || source->value.empty()) {
        return {};
    }
    const std::string key = cacheKey(*source);
    if (const auto found = m_cache.find(key); found != m_cache.end()) {
        return found->second;
    }
    if (source->kind == IconSource::Kind::symbol) {
        // Only the calculator row carries a symbol, and its row draws the function symbol instead.
        return {};
    }
    if (m_pending.insert(key).second) {
        request(key, *source);
    }
    return {};
}

void IconProvider::request(const std::string& key, const IconSource& source)
{
    IconTheme* theme = m_theme.get();
    const QSize size = m_decodeSize;
    m_worker.start(QRunnable::create([this, theme, key, source, size] {
        const QImage image = load(*theme, source, size);
        // Delivered through this object's event queue, which its destruction empties.
        QMetaObject::invokeMethod(
            this, [this, key, image] { deliver(key, image); }, Qt::QueuedConnection);
    }));
}

QImage IconProvider::load(IconTheme& theme, const IconSource& source, QSize size)
{
#ifdef __linux__
    // why: on a busy machine the interface thread must win; decoding is allowed to lag behind (a
    // nice value applies per thread on Linux, and only ever lowers this thread's share).
    static thread_local const bool lowered = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10) == 0;
    (void)lowered;
#endif
    QImage image;
    bool large = false;
    {
        const DecodingScope quiet;
        const std::string path = iconPath(theme, source, size.width());
        if (!path.empty()) {
            const IconFile::Contents contents = IconFile::read(path);
            large = contents.bytes.size() >= trimAfterBytes;
            if (contents.status == IconFile::Status::ok) {
                image = IconDecoder::decode(path, contents.bytes, size);
            }
        }
    }
#ifdef __GLIBC__
    // why: what a big file needed while it was decoded (its bytes, an SVG's document tree) goes back to
    // this thread's malloc arena, which glibc keeps mapped; return it to the system.
    if (large) {
        malloc_trim(0);
    }
#endif
    return image;
}

void IconProvider::deliver(const std::string& key, const QImage& image)
{
    m_pending.erase(key);
    // A failure is kept as a null icon, so the file is never tried again.
    m_cache[key] = image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
    emit iconsArrived();
}

void IconProvider::waitForPending()
{
    m_worker.waitForDone();
    QCoreApplication::sendPostedEvents(this);
}

} // namespace kestrel
