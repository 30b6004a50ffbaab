#include "ui/SettingsView.h"

#include "app/LauncherKeys.h"
#include "ui/Symbols.h"
#include "ui/ViewStyle.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QGlyphRun>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QSysInfo>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrel {

namespace {

constexpr int padding = 24;
constexpr int sheetSpacing = 10;
constexpr int iconSize = 64;
constexpr int badgeSize = 40;

/// Whether the installed fonts have a glyph for every character of `text`.
bool fontsCanShow(const QString& text, const QFont& font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (const quint32 glyph : run.glyphIndexes()) {
            if (glyph == 0) {
                return false;
            }
        }
    }
    return true;
}

/// A key label: the key's text in the monospaced font on a light gray rounded background, padded 8 left and
/// right and 2 above and below. When no installed font can show the text and a bundled symbol stands for
/// it, the symbol is drawn instead; the label's text (and what a screen reader says) stays the same.
class KeyCap : public QLabel {
public:
    KeyCap(const QString& text, QString fallbackSymbol, QWidget* parent)
        : QLabel(text, parent)
        , m_fallbackSymbol(std::move(fallbackSymbol))
    {
        setFont(ViewStyle::monospacedFont(ViewStyle::bodySize));
        setAccessibleName(text);
        m_useSymbol = !m_fallbackSymbol.isEmpty() && !fontsCanShow(text, font());
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        const int contentWidth = m_useSymbol ? metrics.height() : metrics.horizontalAdvance(text());
        return {contentWidth + 2 * horizontalPadding, metrics.height() + 2 * verticalPadding};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath background;
        background.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        painter.fillPath(background, ViewStyle::gray(0.2));
        const QRect content = rect().adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
        const QColor color = ViewStyle::primary(palette());
        if (m_useSymbol) {
            const int side = std::min(content.width(), content.height()) - 2;
            Symbols::paint(
                painter,
                QRectF(content.center().x() - side / 2.0 + 0.5, content.center().y() - side / 2.0 + 0.5, side, side),
                m_fallbackSymbol, color);
            return;
        }
        painter.setPen(color);
        painter.setFont(font());
        painter.drawText(content, Qt::AlignCenter | Qt::TextSingleLine, text());
    }

private:
    static constexpr int horizontalPadding = 8;
    static constexpr int verticalPadding = 2;
    static constexpr int cornerRadius = 4;

    QString m_fallbackSymbol;
    bool m_useSymbol = false;
};

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame* makeDivider(QWidget* parent)
{
    auto* divider = new QFrame(parent);
    divider->setFixedHeight(1);
    divider->setFrameShape(QFrame::NoFrame);
    divider->setAutoFillBackground(true);
    QPalette palette = divider->palette();
    palette.setColor(QPalette::Window, ViewStyle::separator(parent->palette()));
    divider->setPalette(palette);
    return divider;
}

} // namespace

SettingsView::SettingsView(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("settingsView"));
    setWindowTitle(tr("Kestrelpoint"));
    setWindowModality(Qt::WindowModal);
    // why: a sheet belongs to its window rather than standing as a window of its own, so the window
    // manager gets no title bar or buttons to draw for it.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(sheetWidth, sheetHeight);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setFont(ViewStyle::font(ViewStyle::bodySize));

    auto* sheet = new QVBoxLayout(this);
    sheet->setContentsMargins(padding, padding, padding, padding);
    sheet->setSpacing(sheetSpacing);
    addHeader(*sheet);
    sheet->addWidget(makeDivider(this));
    addKeyGuide(*sheet);
    sheet->addWidget(makeDivider(this));
    addAbout(*sheet);
    sheet->addStretch(1);
    addCloseButton(*sheet);
}

void SettingsView::addHeader(QBoxLayout& sheet)
{
    auto* header = new QVBoxLayout;
    header->setSpacing(8);
    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("headerIcon"));
    m_icon->setAlignment(Qt::AlignCenter);
    header->addWidget(m_icon, 0, Qt::AlignHCenter);
    header->addWidget(makeLabel(tr("Kestrelpoint"), ViewStyle::font(ViewStyle::titleSize, QFont::Bold),
                                ViewStyle::primary(palette()), this),
                      0, Qt::AlignHCenter);
    header->addWidget(makeLabel(tagLine(runningSystem()), ViewStyle::font(ViewStyle::captionSize),
                                ViewStyle::secondary(palette()), this),
                      0, Qt::AlignHCenter);
    sheet.addLayout(header);
    updateHeaderIcon();
}

void SettingsView::addKeyGuide(QBoxLayout& sheet)
{
    struct KeyRow {
        QString key;
        QString description;
        QString fallbackSymbol;
        bool wraps;
    };
    const KeyRow keyRows[] = {
        {tr(launcherKeys::hotKey.guideLabel), tr("Open launcher"), {}, false},
        {tr(launcherKeys::moveUp.guideLabel) + QLatin1Char(' ') + tr(launcherKeys::moveDown.guideLabel),
         tr("Navigate through apps"),
         {},
         false},
        {tr(launcherKeys::activate.guideLabel), tr("Launch selected app"), {}, false},
        {tr(launcherKeys::hide.guideLabel), tr("Close launcher (not quit, just hide)"), {}, false},
        {tr("X+Y"), tr("You will get simple math expression results"), {}, false},
        {tr("⏼"), tr("To quit application click on the on/off icon in the top right corner"), QStringLiteral("power"),
         true},
    };
    const QFont body = ViewStyle::font(ViewStyle::bodySize);
    const QColor secondary = ViewStyle::secondary(palette());
    auto* guide = new QVBoxLayout;
    guide->setSpacing(12);
    guide->addWidget(makeLabel(tr("How to Use"), ViewStyle::font(ViewStyle::bodySize, QFont::DemiBold),
                               ViewStyle::primary(palette()), this));
    auto* rows = new QVBoxLayout;
    rows->setSpacing(8);
    for (const KeyRow& keyRow : keyRows) {
        auto* line = new QHBoxLayout;
        line->setSpacing(8);
        line->addWidget(new KeyCap(keyRow.key, keyRow.fallbackSymbol, this), 0, Qt::AlignVCenter);
        QLabel* description = makeLabel(keyRow.description, body, secondary, this);
        description->setWordWrap(keyRow.wraps);
        line->addWidget(description, keyRow.wraps ? 1 : 0, Qt::AlignVCenter);
        if (!keyRow.wraps) {
            line->addStretch(1);
        }
        rows->addLayout(line);
    }
    guide->addLayout(rows);
    sheet.addLayout(guide);
}

void SettingsView::addAbout(QBoxLayout& sheet)
{
    const QFont body = ViewStyle::font(ViewStyle::bodySize);
    const QColor secondary = ViewStyle::secondary(palette());
    auto* about = new QVBoxLayout;
    about->setSpacing(8);
    about->addWidget(makeLabel(tr("About"), ViewStyle::font(ViewStyle::bodySize, QFont::DemiBold),
                               ViewStyle::primary(palette()), this));
    QLabel* summary = makeLabel(aboutSummary(runningSystem()), body, secondary, this);
    summary->setWordWrap(true);
    summary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    about->addWidget(summary);
    about->addSpacing(8);
    about->addWidget(
        makeLabel(tr("© 2026 Kestrelpoint developers"), ViewStyle::font(ViewStyle::captionSize), secondary, this));
    auto* link = new QLabel(this);
    link->setObjectName(QStringLiteral("siteLink"));
    link->setFont(body);
    link->setTextFormat(Qt::RichText);
    link->setText(QStringLiteral("<a href=\"%1\" style=\"text-decoration: underline;\">%2</a>")
                      .arg(siteUrl().toString(), tr("Kestrelpoint site").toHtmlEscaped()));
    link->setAccessibleName(tr("Kestrelpoint site"));
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setOpenExternalLinks(false);
    connect(link, &QLabel::linkActivated, this,
            [](const QString& address) { QDesktopServices::openUrl(QUrl(address)); });
    about->addWidget(link, 0, Qt::AlignLeft);
    sheet.addLayout(about);
}

void SettingsView::addCloseButton(QBoxLayout& sheet)
{
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setDefault(true);
    close->setAutoDefault(true);
    const QPalette colors = palette();
    const QColor accent = ViewStyle::accent(colors);
    const QColor onAccent = colors.color(QPalette::Active, QPalette::HighlightedText);
    close->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2; border: none;"
                                        " border-radius: 6px; padding: 7px 22px; font-size: %4px; }"
                                        " QPushButton:pressed { background-color: %3; }")
                             .arg(accent.name(), onAccent.name(), accent.darker(120).name())
                             .arg(ViewStyle::bodySize));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    sheet.addWidget(close, 0, Qt::AlignHCenter);
}

QUrl SettingsView::siteUrl()
{
    return QUrl(QStringLiteral("https://kestrelpoint.org"));
}

SettingsView::HostSystem SettingsView::runningSystem()
{
    return QSysInfo::kernelType() == QLatin1String("darwin") ? HostSystem::macOS : HostSystem::gnuLinux;
}

QString SettingsView::tagLine(HostSystem system)
{
    return system == HostSystem::macOS ? tr("Light weight MacOS App Launcher. v1.0")
                                       : tr("Light weight Linux App Launcher. v1.0");
}

QString SettingsView::aboutSummary(HostSystem system)
{
    return system == HostSystem::macOS
               ? tr("A fast, light, and native macOS application launcher. Kestrelpoint provides instant access "
                    "to your applications with search and keyboard navigation. No telemetry, no ads, just pure "
                    "functionality.")
               : tr("A fast, light, and native Linux application launcher. Kestrelpoint provides instant access "
                    "to your applications with search and keyboard navigation. No telemetry, no ads, just pure "
                    "functionality.");
}

void SettingsView::showEvent(QShowEvent* event)
{
    updateHeaderIcon();
    placeOverParentWindow();
    QDialog::showEvent(event);
}

void SettingsView::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // A hairline edge keeps the frameless sheet apart from the panel beneath it.
    QPainter painter(this);
    painter.setPen(ViewStyle::separator(palette()));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void SettingsView::placeOverParentWindow()
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner)
        return;
    const QRect anchor = owner->frameGeometry();
    QRect sheet(QPoint(anchor.center().x() - sheetWidth / 2, anchor.top()), QSize(sheetWidth, sheetHeight));
    if (const QScreen* screen = owner->screen()) {
        const QRect available = screen->availableGeometry();
        sheet.moveLeft(
            std::clamp(sheet.left(), available.left(), std::max(available.left(), available.right() - sheetWidth + 1)));
        sheet.moveTop(
            std::clamp(sheet.top(), available.top(), std::max(available.top(), available.bottom() - sheetHeight + 1)));
    }
    move(sheet.topLeft());
}

void SettingsView::updateHeaderIcon()
{
    const QIcon applicationIcon = QApplication::windowIcon();
    const qreal dpr = devicePixelRatioF();
    if (!applicationIcon.isNull()) {
        m_icon->setPixmap(applicationIcon.pixmap(QSize(iconSize, iconSize), dpr));
        m_icon->setFixedSize(iconSize, iconSize);
    } else {
        m_icon->setPixmap(Symbols::pixmap(QStringLiteral("app.badge"), QSize(badgeSize, badgeSize),
                                          ViewStyle::accent(palette()), dpr));
        m_icon->setFixedSize(badgeSize, badgeSize);
    }
}

} // namespace kestrel
