#pragma once

#include <QDialog>
#include <QUrl>

class QBoxLayout;
class QLabel;

namespace kestrel {

/// The settings and help sheet: the product's icon and name, a guide to the keys, how to quit, an about
/// section with a link to the product's site, and a Close button. A fixed 450 x 600 dialog on the window
/// background colour, shown as a sheet: without a title bar, centred on and hanging from the top edge of
/// the window it belongs to (kept on that window's screen). It holds and changes no launcher state
/// (whoever opens it watches `finished`). Close and Escape end it. Main thread only.
class SettingsView : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 450;
    static constexpr int sheetHeight = 600;

    /// The systems whose name the about section carries.
    enum class HostSystem { gnuLinux, macOS };

    explicit SettingsView(QWidget* parent = nullptr);

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
    void placeOverParentWindow();

    QLabel* m_icon = nullptr;
};

} // namespace kestrel
