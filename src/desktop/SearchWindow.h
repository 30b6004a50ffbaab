#pragma once

#include "app/SearchWindowPort.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>

class QCloseEvent;
class QPaintEvent;
class QResizeEvent;

namespace kestrel {

class AppLauncher;
class KeyMonitor;
class SearchView;

/// The launcher's one window: frameless, above other windows, 600 by 400, able to take the keyboard
/// focus, with the search view as its whole content and the key monitor installed for its life.
///
/// With a compositing manager the window is translucent: the search view's rounded, antialiased panel
/// shows over the desktop with a soft shadow below it (black at 20 % opacity, 20 blur, 5 down) that the
/// window draws. Without one the window is cut to the panel's rounded shape by a window shape mask, so
/// no black corners ever show. Which of the two is decided once, when the window is built.
/// Main thread only.
class SearchWindow : public QWidget, public SearchWindowPort {
    Q_OBJECT
public:
    static constexpr int fixedWidth = 600;
    static constexpr int fixedHeight = 400;
    static constexpr qreal cornerRadius = 12.0;

    /// Builds the window hidden, with its native window created, so that a show only places and maps it.
    /// `launcher` must outlive the window.
    explicit SearchWindow(AppLauncher& launcher);
    ~SearchWindow() override;

    /// Places the window centred on the screen under the mouse pointer, inside that screen's available
    /// area (without panels), clamped to it when the area is smaller than the window.
    void center() override;
    /// Shows and raises the window, asks the window manager for the keyboard focus at the activation's
    /// user time, gives it to the search field, and completes the activation's startup sequence.
    void makeKeyAndOrderFront(const Activation& activation) override;
    void orderOut() override;

    /// The top-left position that centres `size` in `available`, moved inside `available` where it
    /// would stick out (to its top-left edge when `size` is larger).
    static QPoint centredPosition(const QRect& available, const QSize& size);

    /// Whether a compositing manager owns the `_NET_WM_CM_S<screen>` selection; false off X11.
    static bool compositingManagerRunning();

    /// The panel's rounded shape in window coordinates.
    QRect panelGeometry() const;

protected:
    /// Activation and deactivation reach neither the window nor its widgets (see the .cpp).
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    /// A close request from the window manager hides the window through the launcher instead, so the
    /// launcher's record of the window's visibility stays true to the screen.
    void closeEvent(QCloseEvent* event) override;

private:
    void updateShape();

    /// Hands the heap's free pages back to the system, once the window has stayed hidden a moment.
    void releaseFreeMemory();

    AppLauncher& m_launcher;
    SearchView* m_view = nullptr;
    /// Runs `releaseFreeMemory` a second after the start and after each hide.
    QTimer m_releaseTimer;
    std::unique_ptr<KeyMonitor> m_keyMonitor;
    bool m_translucent = false;
    /// The panel's shadow, blurred once per panel size; drawn only when translucent.
    QImage m_shadow;
    QPoint m_shadowOrigin;
};

} // namespace kestrel
