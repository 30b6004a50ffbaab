#pragma once

#include "app/ObjectWillChangePublisher.h"
#include "catalog/LauncherApp.h"
#include "ui/ResultListView.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QLineEdit;
class QModelIndex;
class QToolButton;

namespace kestrel {

class AppLauncher;
class AppRow;
class IconProvider;
class ResultListModel;
class SettingsView;

/// The whole content of the search window: a rounded panel with the header (magnifying glass, search
/// field, settings and quit buttons), a divider and the result list (at most 300 high). Shows the
/// controller's published state, writes `searchText`, `selectedIndex` and `showingSettings`, and calls
/// `updateSearchResults()` once per change of the search text and `activateSelected()` on a row click.
/// Keyboard navigation is the window's key monitor's, not the view's. The settings sheet is open while
/// `showingSettings` holds: it leaves the screen when the view is hidden and returns when the view's
/// window is shown again and on screen, over that window wherever it was placed. Main thread only.
///
/// The panel spans the full width at its natural height (header, divider and list), centred vertically; the
/// view paints nothing outside `panelRect()`, so a translucent window shows the desktop there, and the
/// window draws the panel's shadow.
class SearchView : public QWidget {
    Q_OBJECT
public:
    static constexpr int maximumListHeight = 300;
    static constexpr int cornerRadius = 12;

    /// `launcher` must outlive the view.
    explicit SearchView(AppLauncher& launcher, QWidget* parent = nullptr);
    ~SearchView() override;

    /// Gives the search field the keyboard focus one event-loop turn later (called each time the window
    /// appears).
    void focusSearchFieldSoon();

    /// The rounded panel's bounds in this widget's coordinates (corner radius `cornerRadius`).
    QRect panelRect() const;

    /// Where the window holding this view was placed (desktop coordinates), told by the window each time
    /// it places itself: the settings sheet hangs from that rectangle. (The window's own geometry can
    /// read differently for a moment while a window manager takes the window on.)
    void setWindowPlacement(const QRect& placement) { m_windowPlacement = placement; }

    /// Runs now the refresh that the controller's notifications have queued, if any: the results then
    /// follow the text typed so far. For a key that acts on the results (Return, the arrows), which may
    /// come in the same batch of input as the typing before the queued refresh has run.
    void settlePendingRefresh();

signals:
    /// The panel moved or changed size (for a window that shapes itself to it).
    void panelGeometryChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Run shortly after the event loop first turns: measures the names and paints once off screen.
    void prepareFirstShow();
    void buildHeader();
    void buildList();
    void updateSymbols();

    /// Called for every change notification of the controller: queues one refresh for the next turn of
    /// the event loop, however many notifications arrive before it runs.
    void scheduleRefresh();
    /// Reacts to a changed search text, then shows the controller's current state.
    void refresh();
    /// Takes the controller's catalogue as the one the rows come from, forgetting what was known of the
    /// heights of an earlier one.
    void followCatalogue();
    /// The rows' heights for the list view at `width`, when every row after the first is as high as the
    /// others: known at once when every row of the catalogue is (the rows after a calculator row are
    /// records of the catalogue), else from each row.
    std::optional<ResultListView::RowHeights> rowHeights(int width);
    /// The height every row of the catalogue has at `width`, or nothing when they differ; worked out once
    /// per catalogue and width.
    std::optional<int> catalogueRowHeight(int width);
    void syncSelection(bool rowsChanged);
    void syncSettingsSheet();
    /// Shows the open sheet again over the window, once the window is on screen after a show.
    void returnSettingsSheet();
    /// The rectangle the sheet hangs from: the window's placement, else its geometry as Qt last saw it.
    QRect sheetAnchor() const;
    void settingsFinished();
    void activateRow(const QModelIndex& index);

    AppLauncher& m_launcher;
    ObjectWillChangePublisher::Subscription m_subscription = 0;
    /// The search text as the change observer last saw it.
    std::string m_observedSearchText;
    bool m_refreshPending = false;
    /// The selected position that the list last showed (-1 before the first sync).
    std::int64_t m_shownSelection = -1;

    /// The controller's catalogue as last seen, and the rows' common height per width (nothing: they differ).
    std::vector<LauncherApp> m_catalogue;
    std::vector<std::pair<int, std::optional<int>>> m_catalogueHeights;

    std::unique_ptr<IconProvider> m_icons;
    ResultListModel* m_model = nullptr;
    AppRow* m_rowDelegate = nullptr;

    QWidget* m_header = nullptr;
    QWidget* m_magnifier = nullptr;
    QLineEdit* m_field = nullptr;
    QToolButton* m_settingsButton = nullptr;
    QToolButton* m_quitButton = nullptr;
    QWidget* m_divider = nullptr;
    ResultListView* m_list = nullptr;

    QPointer<SettingsView> m_settings;
    /// Set while the view itself ends the sheet because `showingSettings` became false.
    bool m_closingSettings = false;
    /// Set from a show of the view until its window is exposed, while a sheet waits to come back.
    bool m_sheetReturnPending = false;
    QRect m_windowPlacement;
};

} // namespace kestrel
