#pragma once

#include <QDialog>
#include <QUrl>

class QBoxLayout;
class QLabel;

namespace kestrel {

/// The settings and help sheet: the product's icon and name, a guide to the keys, how to quit, an about
/// section with a link to the product's site, and a Close button. A fixed 450 x 600 dialog on the window
/// background colour, shown as a sheet: without a title bar, centred on and hanging from the top edge of
/// the window it belongs to (kept inside that window's screen), each time it is shown. It holds and
/// changes no launcher state (whoever opens it watches `finished`). Close and Escape end it. Main thread
/// only.
class SettingsView : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 450;
    static constexpr int sheetHeight = 600;

    /// The systems whose name the about section carries.
    enum class HostSystem { gnuLinux, macOS };

    explicit SettingsView(QWidget* parent = nullptr);

    /// The rectangle (desktop coordinates) of the window the sheet belongs to, as that window was placed;
    /// each show hangs the sheet from it. Without one (an invalid rectangle) the sheet hangs from the
    /// parent's window as Qt last saw it, which lags while a window manager takes the window on.
    void setAnchor(const QRect& window) { m_anchor = window; }

    /// The sheet's top-left corner: horizontally centred on `window`, its top on the window's top, then
    /// moved inside `available` where it would stick out (to its top-left edge when the sheet is larger).
    static QPoint sheetPosition(const QRect& window, const QRect& available);

    /// The product's web page that the link opens in the default browser.
    static QUrl siteUrl();

    /// The system this process runs on: macOS on a Darwin kernel, otherwise the Linux desktop the
    /// launcher is made for.
    static HostSystem runningSystem();
    /// The line under the product's name, naming `system`.
    static QString tagLine(HostSystem system);
    /// The about section's description, naming `system`.
    static QString aboutSummary(HostSystem system);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void addHeader(QBoxLayout& sheet);
    void addKeyGuide(QBoxLayout& sheet);
    void addAbout(QBoxLayout& sheet);
    void addCloseButton(QBoxLayout& sheet);
    void updateHeaderIcon();
    void placeOverWindow();

    QLabel* m_icon = nullptr;
    QRect m_anchor;
};

} // namespace kestrel
