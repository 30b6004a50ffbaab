#pragma once

#include "app/Activation.h"

#include <memory>
#include <optional>
#include <string>

class QApplication;

namespace kestrel {

class AppLauncher;
class CatalogRefreshNotifier;
class GioWorkspace;
class QtPasteboard;
class SearchWindow;
class SingleInstance;

/// The resident launcher, started by the entry with the single-instance claim handed over: one per user,
/// running until it is quit. Its steps, in order: take over the claim, check the display, set up Qt, read
/// the desktop session, wire the desktop services to the controller, show the window unless the start was
/// one in the background (the session's autostart), run the event loop.
class ResidentProgram {
public:
    ResidentProgram(int argc, char** argv);
    ~ResidentProgram();
    ResidentProgram(const ResidentProgram&) = delete;
    ResidentProgram& operator=(const ResidentProgram&) = delete;

    /// Runs the launcher until it quits; returns the process's exit status.
    int run();

private:
    /// Adopts the claim named by the entry's hand-over and takes this start's own activation values out
    /// of the environment. Returns an exit status when the program must not go on.
    std::optional<int> takeOverInstance();
    void setUpQt();
    void wireServices();
    /// Answers one line from the single-instance socket: a toggle line toggles the window.
    void answer(const std::string& line);
    void tearDown();

    char* m_programName;
    std::string m_qtPlatform;
    /// Whether this start shows the window once the launcher runs.
    bool m_showAtStart = true;
    /// The command that toggles this launcher (the entry's path), for desktop keybindings that run it.
    std::string m_toggleCommand;
    /// The listening socket handed over by the entry; -1 without the single-instance toggle.
    int m_listeningFd = -1;
    /// The activation of this start itself; its startup sequence ends once the launcher runs.
    Activation m_ownStart;

    // why: QApplication keeps a reference to the argument count, so both live as long as it does.
    int m_qtArgumentCount = 0;
    char* m_qtArguments[4] = {};
    std::unique_ptr<QApplication> m_application;
    std::unique_ptr<GioWorkspace> m_workspace;
    std::unique_ptr<QtPasteboard> m_pasteboard;
    std::unique_ptr<AppLauncher> m_launcher;
    /// Built ahead of the first show; handed to the controller by its window factory.
    std::unique_ptr<SearchWindow> m_preparedWindow;
    /// Rebuilds the catalogue when its directories change; built after the launcher, gone before it.
    std::unique_ptr<CatalogRefreshNotifier> m_catalogRefresh;
    std::unique_ptr<SingleInstance> m_singleInstance;
};

} // namespace kestrel
