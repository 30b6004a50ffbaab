#pragma once

#include <QDialog>
#include <QUrl>

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

    explicit SettingsView(QWidget* parent = nullptr);

    /// The product's web page that the link opens in the default browser.
    static QUrl siteUrl();

    /// The first key label: "Ctrl + Space" where the hot key is Ctrl+Space, "⌘ + Space" on macOS.
    static QString hotKeyLabel();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateHeaderIcon();
    void placeOverParentWindow();

    QLabel* m_icon = nullptr;
};

} // namespace kestrel
