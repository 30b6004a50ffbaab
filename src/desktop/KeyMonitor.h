#pragma once

#include <QObject>
#include <QPointer>

class QEvent;
class QWidget;

namespace kestrel {

class AppLauncher;

/// The search window's keyboard monitor: an application-wide event filter that sees every key press
/// before the focused widget does. For key presses on their way to the visible search window, Return, Escape, Down
/// and Up drive the launcher and never reach the search field; every other key, and every key sent to
/// another window (the settings sheet, say), passes unchanged. Shift, Control, Alt and Meta are not
/// examined. Main thread only.
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

    /// What a press of the Qt key `key` does, given whether it is on its way to the visible search window
    /// and whether it comes from the keypad. Only the main block's Return, Escape, Down and Up act: the
    /// keypad's Enter and its arrows (NumLock off) are keys of their own and pass like any other.
    static Action decide(bool forWindow, int key, bool fromKeypad);

    /// Whether a key event sent to `receiver` is on its way to the visible search window.
    bool isForWindow(QObject* receiver) const;

    AppLauncher& m_launcher;
    QPointer<QWidget> m_window;
};

} // namespace kestrel
