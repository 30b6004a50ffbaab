#pragma once

#include "app/AppLauncher.h"
#include "app/HotKey.h"
#include "app/Pasteboard.h"
#include "app/SearchWindowPort.h"
#include "app/Workspace.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace kestrel::test {

/// Writes a desktop entry `fileName` into `directory` with the given Name and Exec lines.
void writeDesktopEntry(const QString& directory, const QString& fileName, const QString& name,
                       const QString& exec = QStringLiteral("/bin/true"));

/// Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`.
bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000);

class RecordingWorkspace : public Workspace {
public:
    void openApplication(const FileUrl& url) override { opened.push_back(url.path()); }
    std::vector<std::string> opened;
};

class RecordingPasteboard : public Pasteboard {
public:
    void clearContents() override { contents.clear(); }
    void setString(const std::string& text) override { contents.push_back(text); }
    std::vector<std::string> contents;
};

class InertHotKey : public HotKey {
public:
    void registerHotKey(std::function<void()>) override {}
};

/// Drives a plain widget as the launcher's window: shows, raises and activates it; hides it.
class WidgetWindowPort : public SearchWindowPort {
public:
    explicit WidgetWindowPort(QWidget& widget) : m_widget(widget) {}
    void center() override {}
    void makeKeyAndOrderFront() override;
    void orderOut() override;

private:
    QWidget& m_widget;
};

/// A launcher over three applications, Alpha, Beta and Gamma (in that order), read from a temporary
/// tree, with recording services and the given window factory.
class LauncherHarness {
public:
    using WindowFactory = std::function<std::unique_ptr<SearchWindowPort>(AppLauncher&)>;

    explicit LauncherHarness(WindowFactory makeWindow);
    ~LauncherHarness();

    AppLauncher& launcher() { return *m_launcher; }

    RecordingWorkspace workspace;
    RecordingPasteboard pasteboard;

private:
    QTemporaryDir m_root;
    std::unique_ptr<AppLauncher> m_launcher;
};

} // namespace kestrel::test
