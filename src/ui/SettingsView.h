#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;

namespace kestrel {

/// The settings and help sheet: the product's icon and name, a guide to the keys, how to quit, an about
/// section with a link to the product's site, and a Close button. A fixed 450 x 600 dialog on the window
/// background colour; it holds and changes no launcher state (whoever opens it watches `finished`). Close
/// and Escape end it. Main thread only.
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

private:
    void updateHeaderIcon();

    QLabel* m_icon = nullptr;
};

} // namespace kestrel
