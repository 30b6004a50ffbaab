#include "ui/Symbols.h"

#include "ui/ScaledToFit.h"

#include <QFile>
#include <QIconEngine>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>

// Resources compiled into a static library are linked in only when something refers to their initialiser;
// the reference must sit at global scope.
static void initKestrelUiResources()
{
    Q_INIT_RESOURCE(kestrel_ui);
}

namespace kestrel {

namespace {

QString symbolPath(const QString& name)
{
    return QStringLiteral(":/kestrel/symbols/") + name + QStringLiteral(".svg");
}

/// One parsed renderer per resource path; null for a path that does not hold a valid SVG.
QSvgRenderer* rendererFor(const QString& path)
{
    static std::map<QString, std::unique_ptr<QSvgRenderer>> renderers;
    auto found = renderers.find(path);
    if (found == renderers.end()) {
        std::unique_ptr<QSvgRenderer> renderer;
        if (QFile::exists(path)) {
            renderer = std::make_unique<QSvgRenderer>(path);
            if (!renderer->isValid()) {
                renderer.reset();
            }
        }
        found = renderers.emplace(path, std::move(renderer)).first;
    }
    return found->second.get();
}

/// Renders `renderer` fitted into `size` logical pixels at `dpr`; tints every painted pixel with `color`
/// when it is valid, keeps the artwork's own colours otherwise.
QPixmap render(QSvgRenderer& renderer, const QString& cacheName, QSize size, const QColor& color, qreal dpr)
{
    if (size.isEmpty() || dpr <= 0) {
        return {};
    }
    const QString key = QStringLiteral("kestrel-svg:%1:%2x%3:%4:%5")
                            .arg(cacheName)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(color.isValid() ? color.rgba() : 0U)
                            .arg(dpr);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        return cached;
    }

    const QSize pixels(static_cast<int>(std::ceil(size.width() * dpr)),
                       static_cast<int>(std::ceil(size.height() * dpr)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QSizeF artwork = renderer.viewBoxF().size();
        if (artwork.isEmpty()) {
            artwork = renderer.defaultSize();
        }
        renderer.render(&painter, ScaledToFit::rect(artwork, QRectF(QPointF(), QSizeF(pixels))));
        if (color.isValid()) {
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(image.rect(), color);
        }
    }
    image.setDevicePixelRatio(dpr);
    QPixmap result = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, result);
    return result;
}

/// Draws an SVG resource on demand at the requested size and scale, so the icon stays sharp on any screen.
class SvgIconEngine : public QIconEngine {
public:
    SvgIconEngine(QString path, QColor color)
        : m_path(std::move(path))
        , m_color(color)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
        const QPixmap image = scaledPixmap(rect.size(), mode, state, dpr);
        if (!image.isNull()) {
            painter->drawPixmap(rect.topLeft(), image);
        }
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        QSvgRenderer* renderer = rendererFor(m_path);
        if (renderer == nullptr) {
            return {};
        }
        QColor color = m_color;
        if (mode == QIcon::Disabled && color.isValid()) {
            color.setAlphaF(color.alphaF() * 0.4F);
        }
        return render(*renderer, m_path, size, color, scale);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(24, 24),   QSize(32, 32),  QSize(48, 48),
                QSize(64, 64), QSize(128, 128), QSize(256, 256)};
    }

    bool isNull() override { return rendererFor(m_path) == nullptr; }
    QString key() const override { return QStringLiteral("KestrelSvg"); }
    QIconEngine* clone() const override { return new SvgIconEngine(m_path, m_color); }

private:
    QString m_path;
    QColor m_color;
};

} // namespace

void Symbols::ensureResources()
{
    static std::once_flag once;
    std::call_once(once, [] { initKestrelUiResources(); });
}

bool Symbols::has(const QString& name)
{
    ensureResources();
    return rendererFor(symbolPath(name)) != nullptr;
}

void Symbols::paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color)
{
    const qreal dpr = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap image = pixmap(name, rect.size().toSize(), color, dpr);
    if (!image.isNull()) {
        ScaledToFit::draw(painter, rect, image);
    }
}

QPixmap Symbols::pixmap(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio)
{
    ensureResources();
    QSvgRenderer* renderer = rendererFor(symbolPath(name));
    if (renderer == nullptr) {
        return {};
    }
    return render(*renderer, symbolPath(name), size, color, devicePixelRatio);
}

QIcon Symbols::icon(const QString& name, const QColor& color)
{
    if (!has(name)) {
        return {};
    }
    return QIcon(new SvgIconEngine(symbolPath(name), color));
}

QIcon Symbols::imageIcon(const QString& path)
{
    ensureResources();
    if (rendererFor(path) == nullptr) {
        return {};
    }
    return QIcon(new SvgIconEngine(path, QColor()));
}

} // namespace kestrel
