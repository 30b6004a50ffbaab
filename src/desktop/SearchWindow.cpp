#include "desktop/SearchWindow.h"

#include "app/AppLauncher.h"
#include "desktop/KeyMonitor.h"
#include "desktop/X11Activation.h"
#include "ui/SearchView.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QResizeEvent>
#include <QScreen>

#include <xcb/xcb.h>

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace kestrel {

namespace {

constexpr int shadowBlur = 20;
constexpr int shadowOffsetY = 5;
constexpr double shadowOpacity = 0.2;

QRegion roundedRegion(const QRect& rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(rect), radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}

/// One pass of a running-sum box blur over a line of alpha values, `radius` to either side.
void boxBlurLine(uchar* line, int count, int stride, int radius, std::vector<int>& scratch)
{
    scratch.assign(static_cast<std::size_t>(count), 0);
    const int window = 2 * radius + 1;
    int sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += (i >= 0 && i < count) ? line[i * stride] : 0;
    for (int i = 0; i < count; ++i) {
        scratch[static_cast<std::size_t>(i)] = sum / window;
        const int leaving = i - radius;
        const int entering = i + radius + 1;
        sum -= leaving >= 0 ? line[leaving * stride] : 0;
        sum += entering < count ? line[entering * stride] : 0;
    }
    for (int i = 0; i < count; ++i)
        line[i * stride] = static_cast<uchar>(scratch[static_cast<std::size_t>(i)]);
}

/// A black rounded rectangle of `size`, blurred by `shadowBlur`, in an image with a margin of
/// `shadowBlur` on every side. Three box passes each way approximate a Gaussian.
QImage makeShadow(const QSize& size, qreal radius)
{
    QImage alpha(size + QSize(2 * shadowBlur, 2 * shadowBlur), QImage::Format_Alpha8);
    alpha.fill(0);
    {
        QPainter painter(&alpha);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, static_cast<int>(255 * shadowOpacity)));
        painter.drawRoundedRect(QRectF(QPointF(shadowBlur, shadowBlur), QSizeF(size)), radius, radius);
    }
    const int w = alpha.width();
    const int h = alpha.height();
    const int stride = static_cast<int>(alpha.bytesPerLine());
    std::vector<int> scratch;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y)
            boxBlurLine(alpha.scanLine(y), w, 1, shadowBlur / 3, scratch);
        for (int x = 0; x < w; ++x)
            boxBlurLine(alpha.bits() + x, h, stride, shadowBlur / 3, scratch);
    }
    return alpha.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

SearchWindow::SearchWindow(AppLauncher& launcher)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_launcher(launcher)
{
    setWindowTitle(QStringLiteral("Kestrelpoint"));
    m_translucent = compositingManagerRunning();
    // The visual (32-bit with alpha or not) is chosen when the native window is created, below.
    setAttribute(Qt::WA_TranslucentBackground, m_translucent);
    setFixedSize(fixedWidth, fixedHeight);
    // One set of colours whether the window is active or not (see event()).
    QPalette colours = palette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        colours.setColor(QPalette::Inactive, r, colours.color(QPalette::Active, r));
    }
    setPalette(colours);

    // why: an icon without fixed sizes (the application's is drawn from SVG) goes to the window manager
    // at four sizes up to 128 px, which it reads and scales whenever it takes the window on; a panel
    // that no task bar lists needs only the small ones. That made the first show ~20 ms slower.
    QIcon panelIcon;
    for (const int side : {16, 32, 48})
        panelIcon.addPixmap(QGuiApplication::windowIcon().pixmap(QSize(side, side), 1.0));
    setWindowIcon(panelIcon);

    m_view = new SearchView(launcher, this);
    m_view->setGeometry(rect());
    if (QLayout* layout = m_view->layout())
        layout->activate(); // the panel's geometry is known from here on
    connect(m_view, &SearchView::panelGeometryChanged, this, &SearchWindow::updateShape);
    m_keyMonitor = std::make_unique<KeyMonitor>(launcher, this);
    updateShape();

    // Build the native window now: a show then only places and maps it.
    ensurePolished();
    winId();

    m_releaseTimer.setSingleShot(true);
    m_releaseTimer.setInterval(1000);
    connect(&m_releaseTimer, &QTimer::timeout, this, &SearchWindow::releaseFreeMemory);
    m_releaseTimer.start();
}

SearchWindow::~SearchWindow() = default;

void SearchWindow::center()
{
    // With one screen the pointer need not be asked for (a round trip to the X server on every show).
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* screen = screens.size() == 1 ? screens.front() : QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    move(centredPosition(screen->availableGeometry(), size()));
}

void SearchWindow::makeKeyAndOrderFront(const Activation& activation)
{
    X11Activation::markStartupId(*this, activation.startupId);
    // The view gives its search field the focus when it is shown.
    show();
    raise();
    activateWindow();
    // why: Qt asks for activation as an ordinary application, with the time of the last X event it saw;
    // after a toggle through the single-instance socket that time predates the user's action, and window
    // managers with focus stealing prevention then refuse the focus. Every show of this window answers a
    // direct command of the user, which is what the EWMH "user action" source says.
    X11Activation::requestActiveWindow(*this, activation.userTime);
    // why: the activation token is not presented: xdg-activation takes it for a native Wayland surface
    // only, and this window is an X11 window (XWayland on a Wayland session), which the compositor's
    // X11 focus rules govern.
    X11Activation::completeStartup(activation.startupId);
}

void SearchWindow::orderOut()
{
    hide();
    m_releaseTimer.start();
}

void SearchWindow::releaseFreeMemory()
{
    if (isVisible())
        return;
    // why: the launcher stays resident all session; the catalogue scan and each search leave freed
    // blocks inside the heap, which glibc keeps mapped (and counted as resident) until told otherwise.
    malloc_trim(0);
}

QPoint SearchWindow::centredPosition(const QRect& available, const QSize& size)
{
    const int x = available.x() + (available.width() - size.width()) / 2;
    const int y = available.y() + (available.height() - size.height()) / 2;
    // Never past the far edge, and never before the near one (which wins when the window is larger).
    return {std::max(available.left(), std::min(x, available.x() + available.width() - size.width())),
            std::max(available.top(), std::min(y, available.y() + available.height() - size.height()))};
}

bool SearchWindow::compositingManagerRunning()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;

    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0)
        screen = 0;
    std::free(host);

    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    std::free(atom);
    const bool running = owner && owner->owner != XCB_NONE;
    std::free(owner);
    return running;
}

void SearchWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_view->setGeometry(rect());
    updateShape();
}

bool SearchWindow::event(QEvent* event)
{
    // why: on activation Qt repaints each widget whose active and inactive colours differ, and an item
    // view repaints all its rows whatever the colours; the window is activated just after its first
    // paint on every show, which painted everything twice more. The window keeps one set of colours
    // for both states (set in the constructor), so nothing would change on screen.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
        return true;
    return QWidget::event(event);
}

void SearchWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    m_launcher.hideSearchWindow();
}

QRect SearchWindow::panelGeometry() const
{
    const QRect panel = m_view->panelRect().translated(m_view->pos());
    return panel.isValid() ? panel : rect();
}

void SearchWindow::paintEvent(QPaintEvent*)
{
    if (!m_translucent || m_shadow.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(m_shadowOrigin, m_shadow);
}

void SearchWindow::updateShape()
{
    const QRect panel = panelGeometry();
    if (m_translucent) {
        if (m_shadow.isNull() || m_shadow.size() != panel.size() + QSize(2 * shadowBlur, 2 * shadowBlur))
            m_shadow = makeShadow(panel.size(), cornerRadius);
        m_shadowOrigin = panel.topLeft() + QPoint(-shadowBlur, shadowOffsetY - shadowBlur);
        update();
        return;
    }
    // why: without a compositor the alpha channel is not blended, and everything around the rounded
    // panel would show as black; the shape mask removes it from the window instead.
    setMask(roundedRegion(panel, cornerRadius));
}

} // namespace kestrel
