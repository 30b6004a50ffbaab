#pragma once

#include <QWidget>

namespace kestrel {

class AppLauncher;

/// The whole content of the search window: a rounded panel with the header (magnifying glass, search
/// field, settings and quit buttons), a divider and the result list (at most 300 high). Shows the
/// controller's published state, writes `searchText`, `selectedIndex` and `showingSettings`, and calls
/// `updateSearchResults()` once per change of the search text and `activateSelected()` on a row click.
/// Keyboard navigation is the window's key monitor's, not the view's. Main thread only.
class SearchView : public QWidget {
    Q_OBJECT
public:
    /// `launcher` must outlive the view.
    explicit SearchView(AppLauncher& launcher, QWidget* parent = nullptr);
    ~SearchView() override;

    /// Gives the search field the keyboard focus one event-loop turn later (called each time the window
    /// appears).
    void focusSearchFieldSoon();
};

} // namespace kestrel
