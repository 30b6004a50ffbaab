#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>

class QEvent;
class QWidget;

namespace kestrel {

class AppLauncher;

/// The search window's keyboard monitor: an application-wide event filter that sees every key press
/// before the focused widget does. For key presses on their way to the visible search window, the key
/// table's window keys (Return, Escape, Down and Up) drive the launcher and never reach the search field;
/// every other key, and every key sent to another window (the settings sheet, say), passes unchanged. Keys
/// are told by their X keysym (the event's native virtual key), so the keypad's Enter and arrows are keys of
/// their own. Shift, Control, Alt and Meta are not examined. Main thread only.
class KeyMonitor : public QObject {
    Q_OBJECT
public:
    /// Installs itself on the application (once, for the life of the monitor). `launcher` must outlive
    /// the monitor; `window` is watched weakly.
    KeyMonitor(AppLauncher& launcher, QWidget* window);
    ~KeyMonitor() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Action { none, activate, hide, moveDown, moveUp };

    /// What a press of the key with X keysym `keysym` does, given whether it is on its way to the visible
    /// search window.
    static Action decide(bool forWindow, std::uint32_t keysym);

    /// Whether a key event sent to `receiver` is on its way to the visible search window.
    bool isForWindow(QObject* receiver) const;

    AppLauncher& m_launcher;
    QPointer<QWidget> m_window;
};

} // namespace kestrel
