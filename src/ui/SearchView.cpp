#include "ui/SearchView.h"

#include "app/AppLauncher.h"
#include "ui/AppRow.h"
#include "ui/IconProvider.h"
#include "ui/ResultListModel.h"
#include "ui/ResultListView.h"
#include "ui/SettingsView.h"
#include "ui/Symbols.h"
#include "ui/ViewStyle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace kestrel {

namespace {

constexpr int headerHorizontalPadding = 20;
constexpr int headerVerticalPadding = 16;
constexpr int headerSpacing = 8;
constexpr int buttonSpacing = 8;
constexpr int magnifierSize = 18;
constexpr int buttonSymbolSize = 16;
constexpr int fieldFontSize = 18;

QToolButton* makeSymbolButton(const QString& objectName, const QString& tip, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setIconSize(QSize(buttonSymbolSize, buttonSymbolSize));
    button->setFixedSize(buttonSymbolSize, buttonSymbolSize);
    // Only the symbol is drawn: no bezel, not even on hover.
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; padding: 0px; }"));
    return button;
}

} // namespace

SearchView::SearchView(AppLauncher& launcher, QWidget* parent)
    : QWidget(parent)
    , m_launcher(launcher)
    , m_icons(std::make_unique<IconProvider>())
{
    setObjectName(QStringLiteral("searchView"));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildHeader();
    m_divider = new QWidget(this);
    m_divider->setObjectName(QStringLiteral("divider"));
    m_divider->setFixedHeight(1);
    buildList();

    // Header, divider and list form the panel at its natural height, centred in the view: the list's large
    // stretch factor lets it grow to its 300 maximum before the equal stretches above and below take the
    // rest of the height.
    column->addStretch(1);
    column->addWidget(m_header);
    column->addWidget(m_divider);
    column->addWidget(m_list, 1000);
    column->addStretch(1);

    updateSymbols();

    m_observedSearchText = m_launcher.searchText();
    followCatalogue();
    m_field->setText(QString::fromStdString(m_launcher.searchText()));
    const bool rowsChanged = m_model->setResults(m_launcher.filteredApps(), m_launcher.selectedIndex());
    syncSelection(rowsChanged);
    m_subscription = m_launcher.objectWillChange().subscribe([this] { scheduleRefresh(); });
    // why: a hot key pressed while the launcher was starting waits in the queue; a short delay lets that
    // show go first rather than wait for the preparation it would make unnecessary.
    QTimer::singleShot(100, this, &SearchView::prepareFirstShow);
}

void SearchView::prepareFirstShow()
{
    m_rowDelegate->measureTitles(m_catalogue);
    // The catalogue's row heights at the list's width without and with its scroll bar.
    catalogueRowHeight(m_list->width());
    catalogueRowHeight(m_list->width() - m_list->verticalScrollBar()->sizeHint().width());
    // why: the first paint of a process loads the fonts' glyphs, the icon theme and the rows' icons, and
    // renders the symbols; painting once into an image while nobody waits leaves all of that cached for
    // the first show.
    QImage scratch(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    scratch.fill(Qt::transparent);
    render(&scratch);
    QPainter painter(&scratch);
    QStyleOptionViewItem option;
    option.initFrom(m_list);
    const int width = std::max(1, m_list->width());
    int top = 0;
    for (int row = 0; row < m_model->rowCount() && top < maximumListHeight; ++row) {
        const QModelIndex index = m_model->index(row);
        option.rect = QRect(0, top, width, m_rowDelegate->sizeHint(option, index).height());
        m_rowDelegate->paint(&painter, option, index);
        top += option.rect.height();
    }
}

SearchView::~SearchView()
{
    m_launcher.objectWillChange().unsubscribe(m_subscription);
    if (m_settings) {
        m_settings->disconnect(this);
        delete m_settings.data();
    }
}

void SearchView::buildHeader()
{
    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("header"));
    auto* row = new QHBoxLayout(m_header);
    row->setContentsMargins(headerHorizontalPadding, headerVerticalPadding, headerHorizontalPadding,
                            headerVerticalPadding);
    row->setSpacing(headerSpacing);

    // The view paints the magnifying glass into this slot, so the symbol is tinted and sharp at any scale.
    m_magnifier = new QWidget(m_header);
    m_magnifier->setFixedSize(magnifierSize, magnifierSize);
    row->addWidget(m_magnifier, 0, Qt::AlignVCenter);

    m_field = new QLineEdit(m_header);
    m_field->setObjectName(QStringLiteral("searchField"));
    m_field->setFrame(false);
    m_field->setPlaceholderText(tr("Search applications..."));
    m_field->setAccessibleName(tr("Search applications"));
    m_field->setFont(ViewStyle::font(fieldFontSize));
    m_field->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette fieldPalette = m_field->palette();
    fieldPalette.setColor(QPalette::Base, Qt::transparent);
    m_field->setPalette(fieldPalette);
    connect(m_field, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_launcher.setSearchText(text.toStdString()); });
    row->addWidget(m_field, 1, Qt::AlignVCenter);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(buttonSpacing);
    m_settingsButton = makeSymbolButton(QStringLiteral("settingsButton"), tr("Settings"), m_header);
    connect(m_settingsButton, &QToolButton::clicked, this,
            [this] { m_launcher.setShowingSettings(!m_launcher.showingSettings()); });
    m_quitButton = makeSymbolButton(QStringLiteral("quitButton"), tr("Quit Kestrelpoint"), m_header);
    // why: exit() leaves the event loop unconditionally; quit() may be vetoed by a window refusing to close.
    connect(m_quitButton, &QToolButton::clicked, this, [] { QCoreApplication::exit(0); });
    buttons->addWidget(m_settingsButton);
    buttons->addWidget(m_quitButton);
    row->addLayout(buttons);
}

void SearchView::buildList()
{
    m_model = new ResultListModel(this);
    m_rowDelegate = new AppRow(*m_icons, this);

    m_list = new ResultListView(this);
    m_list->setHeightsProvider([this](int width) { return rowHeights(width); });
    m_list->setObjectName(QStringLiteral("resultList"));
    m_list->setAccessibleName(tr("Results"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(m_rowDelegate);
    m_list->setMaximumHeight(maximumListHeight);
    m_list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSpacing(0);
    m_list->setResizeMode(QListView::Adjust);
    // Rows are laid out in one pass: with remembered heights, or one height for all when no name wraps,
    // even a long list takes well under a frame, and the scroll bar never creeps as batches arrive.
    m_list->setLayoutMode(QListView::SinglePass);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Scrolling follows the controller's selection (syncSelection), not the list's own current index.
    m_list->setAutoScroll(false);
    // The controller's selectedIndex decides the highlighted row; the list's own selection only mirrors it
    // for assistive technology, and clicks never move the keyboard focus out of the search field.
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    QPalette listPalette = m_list->palette();
    listPalette.setColor(QPalette::Base, Qt::transparent);
    m_list->setPalette(listPalette);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->viewport()->setMouseTracking(true);
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);
    m_list->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: transparent; width: 10px; margin: 4px 2px %1px 0px; }"
                       "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 110); border-radius: 3px;"
                       " min-height: 24px; margin: 0px 1px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }")
            .arg(cornerRadius));
    connect(m_list, &QListView::clicked, this, &SearchView::activateRow);
    // Icons are decoded off the main thread; rows painted with a placeholder are repainted when they arrive.
    connect(m_icons.get(), &IconProvider::iconsArrived, m_list->viewport(), qOverload<>(&QWidget::update));
}

void SearchView::updateSymbols()
{
    const QColor secondary = ViewStyle::secondary(palette());
    m_settingsButton->setIcon(Symbols::icon(QStringLiteral("gearshape.fill"), secondary));
    m_quitButton->setIcon(Symbols::icon(QStringLiteral("power"), secondary));
    update();
}

void SearchView::focusSearchFieldSoon()
{
    QTimer::singleShot(0, this, [this] { m_field->setFocus(Qt::ActiveWindowFocusReason); });
}

QRect SearchView::panelRect() const
{
    const int top = m_header->geometry().top();
    const int bottom = m_list->geometry().bottom();
    return QRect(0, top, width(), bottom - top + 1);
}

void SearchView::scheduleRefresh()
{
    if (m_refreshPending) {
        return;
    }
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, &SearchView::refresh, Qt::QueuedConnection);
}

void SearchView::settlePendingRefresh()
{
    if (m_refreshPending) {
        refresh();
    }
}

void SearchView::refresh()
{
    // The change observer: one rebuild per change of the text, whoever changed it. The rebuild's own
    // notifications fall into this refresh, which reads the state only afterwards.
    if (m_launcher.searchText() != m_observedSearchText) {
        m_observedSearchText = m_launcher.searchText();
        m_launcher.updateSearchResults();
    }
    m_refreshPending = false;
    followCatalogue();

    const QString text = QString::fromStdString(m_launcher.searchText());
    if (m_field->text() != text) {
        m_field->setText(text);
    }
    const bool rowsChanged = m_model->setResults(m_launcher.filteredApps(), m_launcher.selectedIndex());
    syncSelection(rowsChanged);
    syncSettingsSheet();
}

void SearchView::followCatalogue()
{
    const std::vector<LauncherApp>& apps = m_launcher.applicationIndex().apps();
    // why: a rebuilt catalogue is made of new records, and the copy kept here holds the old ones alive, so
    // the same size and the same records at both ends mean the same catalogue without reading it whole.
    const auto sameRecord = [](const LauncherApp& a, const LauncherApp& b) { return &a.id() == &b.id(); };
    if (apps.size() == m_catalogue.size()
        && (apps.empty()
            || (sameRecord(apps.front(), m_catalogue.front()) && sameRecord(apps.back(), m_catalogue.back())))) {
        return;
    }
    m_catalogue = apps;
    m_catalogueHeights.clear();
}

std::optional<int> SearchView::catalogueRowHeight(int width)
{
    for (const auto& [known, height] : m_catalogueHeights) {
        if (known == width) {
            return height;
        }
    }
    std::optional<int> height;
    if (m_rowDelegate->uniformHeights(m_catalogue, width)) {
        height = m_catalogue.empty() ? AppRow::layout(QStringLiteral("X"), true, QPoint(), width).height
                                     : m_rowDelegate->rowHeight(m_catalogue.front().name(),
                                                                m_catalogue.front().url().has_value(), false, width);
    }
    m_catalogueHeights.emplace_back(width, height);
    return height;
}

std::optional<ResultListView::RowHeights> SearchView::rowHeights(int width)
{
    const std::vector<LauncherApp>& rows = m_model->apps();
    const bool calculatorFirst = !rows.empty() && rows.front().type() == LauncherItemType::calculation;
    const auto heightOf = [&](const LauncherApp& app) {
        const bool calculation = app.type() == LauncherItemType::calculation;
        return m_rowDelegate->rowHeight(app.name(), calculation || app.url().has_value(), calculation, width);
    };
    std::optional<int> others = catalogueRowHeight(width);
    if (!others) {
        const std::size_t firstApplication = calculatorFirst ? 1 : 0;
        if (rows.size() <= firstApplication) {
            others = AppRow::layout(QStringLiteral("X"), true, QPoint(), width).height;
        } else {
            const int height = heightOf(rows[firstApplication]);
            for (std::size_t row = firstApplication + 1; row < rows.size(); ++row) {
                if (heightOf(rows[row]) != height) {
                    return std::nullopt;
                }
            }
            others = height;
        }
    }
    return ResultListView::RowHeights{calculatorFirst ? heightOf(rows.front()) : *others, *others};
}

void SearchView::syncSelection(bool rowsChanged)
{
    const std::int64_t selected = m_launcher.selectedIndex();
    if (selected >= 0 && selected < m_model->rowCount()) {
        const QModelIndex index = m_model->index(static_cast<int>(selected));
        // Current index and selection follow the highlighted row so a screen reader announces it.
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        // Keep the highlighted row in sight, so Return never acts on a row the user cannot see.
        if (rowsChanged || selected != m_shownSelection) {
            m_list->scrollTo(index, QAbstractItemView::EnsureVisible);
        }
    } else {
        m_list->selectionModel()->clear();
    }
    m_shownSelection = selected;
}

void SearchView::syncSettingsSheet()
{
    const bool showing = m_launcher.showingSettings();
    if (showing && !m_settings) {
        m_settings = new SettingsView(window());
        m_settings->setAnchor(sheetAnchor());
        connect(m_settings, &QDialog::finished, this, &SearchView::settingsFinished);
        m_settings->open();
    } else if (!showing && m_settings) {
        m_closingSettings = true;
        m_settings->reject();
        m_closingSettings = false;
    }
}

void SearchView::settingsFinished()
{
    if (m_settings) {
        m_settings->deleteLater();
        m_settings = nullptr;
    }
    if (!m_closingSettings) {
        m_launcher.setShowingSettings(false);
    }
}

void SearchView::activateRow(const QModelIndex& index)
{
    if (!index.isValid()) {
        return;
    }
    m_launcher.setSelectedIndex(index.row());
    m_launcher.activateSelected();
}

void SearchView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF panel = panelRect();
    QPainterPath shape;
    shape.addRoundedRect(panel, cornerRadius, cornerRadius);
    painter.fillPath(shape, palette().color(QPalette::Window));

    // The header's own background, rounded with the panel at the top.
    QPainterPath header;
    header.addRect(QRectF(m_header->geometry()));
    painter.fillPath(shape.intersected(header), palette().color(QPalette::Base));

    painter.fillRect(m_divider->geometry(), ViewStyle::separator(palette()));

    const QRect magnifier(m_magnifier->mapTo(this, QPoint(0, 0)), m_magnifier->size());
    Symbols::paint(painter, magnifier, QStringLiteral("magnifyingglass"), ViewStyle::secondary(palette()));
}

void SearchView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    focusSearchFieldSoon();
    // A sheet that went away with the window comes back with it while `showingSettings` holds, once the
    // window is exposed (mapped where it was placed), so that the sheet is never on screen before or
    // apart from its window.
    if (m_settings && !m_settings->isVisible()) {
        m_sheetReturnPending = true;
        if (QWindow* handle = window()->windowHandle()) {
            handle->installEventFilter(this);
            if (handle->isExposed()) {
                QTimer::singleShot(0, this, &SearchView::returnSettingsSheet);
            }
        }
    }
}

void SearchView::returnSettingsSheet()
{
    if (!m_sheetReturnPending) {
        return;
    }
    m_sheetReturnPending = false;
    if (m_settings && isVisible() && !m_settings->isVisible()) {
        m_settings->setAnchor(sheetAnchor());
        // Shown after the window so that it is stacked over it and takes the focus from it.
        m_settings->open();
        m_settings->activateWindow();
    }
}

QRect SearchView::sheetAnchor() const
{
    return m_windowPlacement.isValid() ? m_windowPlacement : window()->frameGeometry();
}

void SearchView::hideEvent(QHideEvent* event)
{
    // why: a dialog is a window of its own, which hiding its parent window leaves on screen; the sheet
    // belongs to the window and leaves with it, still open (the flag stays set).
    if (m_settings && !event->spontaneous()) {
        m_settings->hide();
    }
    m_sheetReturnPending = false;
    QWidget::hideEvent(event);
}

void SearchView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) {
        updateSymbols();
    }
    QWidget::changeEvent(event);
}

bool SearchView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && m_sheetReturnPending && watched == window()->windowHandle()
        && window()->windowHandle()->isExposed()) {
        // Queued: the window paints in answer to this event first.
        QTimer::singleShot(0, this, &SearchView::returnSettingsSheet);
    }
    if (watched == m_list->viewport()) {
        // The pointing hand shows while the pointer is over a row; leaving restores the previous cursor.
        if (event->type() == QEvent::MouseMove) {
            const auto* move = static_cast<QMouseEvent*>(event);
            if (m_list->indexAt(move->position().toPoint()).isValid()) {
                m_list->viewport()->setCursor(Qt::PointingHandCursor);
            } else {
                m_list->viewport()->unsetCursor();
            }
        } else if (event->type() == QEvent::Leave) {
            m_list->viewport()->unsetCursor();
        }
    } else if (watched == m_list && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        emit panelGeometryChanged();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrel
