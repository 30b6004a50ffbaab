#pragma once

#include "app/AppLauncher.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::testing {

/// Every call made to the fake services, in order, as short texts ("center", "open /x.app", ...).
struct ServiceJournal {
    std::vector<std::string> calls;
    int windowsCreated = 0;
};

/// Keeps the registered callback where the test can reach it after the controller (and this key) are gone.
class FakeHotKey : public HotKey {
public:
    FakeHotKey(ServiceJournal& journal, std::shared_ptr<std::function<void()>> callback,
               std::function<void()> onRegister = {})
        : m_journal(journal), m_callback(std::move(callback)), m_onRegister(std::move(onRegister))
    {
    }
    void registerHotKey(std::function<void()> callback) override
    {
        m_journal.calls.push_back("register");
        *m_callback = std::move(callback);
        if (m_onRegister) {
            m_onRegister();
        }
    }

private:
    ServiceJournal& m_journal;
    std::shared_ptr<std::function<void()>> m_callback;
    std::function<void()> m_onRegister;
};

class FakeWindow : public SearchWindowPort {
public:
    explicit FakeWindow(ServiceJournal& journal) : m_journal(journal) {}
    void center() override { m_journal.calls.push_back("center"); }
    void makeKeyAndOrderFront() override { m_journal.calls.push_back("makeKeyAndOrderFront"); }
    void orderOut() override { m_journal.calls.push_back("orderOut"); }

private:
    ServiceJournal& m_journal;
};

/// The activator, workspace and clipboard in one, each call journalled; `services()` hands out a fresh
/// `LauncherServices` for one controller, with a fake hot key and a factory of fake windows.
struct FakeDesktop : ApplicationActivator, Workspace, Pasteboard {
    ServiceJournal journal;
    std::shared_ptr<std::function<void()>> hotKeyCallback = std::make_shared<std::function<void()>>();

    void activateIgnoringOtherApps() override { journal.calls.push_back("activate"); }
    void openApplication(const FileUrl& url) override { journal.calls.push_back("open " + url.path()); }
    void clearContents() override { journal.calls.push_back("clear"); }
    void setString(const std::string& text) override { journal.calls.push_back("set " + text); }

    LauncherServices services(std::function<void()> onRegister = {})
    {
        LauncherServices result;
        result.hotKey = std::make_unique<FakeHotKey>(journal, hotKeyCallback, std::move(onRegister));
        result.makeSearchWindow = [this](AppLauncher&) {
            ++journal.windowsCreated;
            journal.calls.push_back("create window");
            return std::make_unique<FakeWindow>(journal);
        };
        result.activator = this;
        result.workspace = this;
        result.pasteboard = this;
        return result;
    }

    void pressHotKey() const
    {
        if (*hotKeyCallback) {
            (*hotKeyCallback)();
        }
    }
};

} // namespace kestrel::testing
