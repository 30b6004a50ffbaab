#include "app/CatalogRefresher.h"

#include "app/AppLauncher.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <utility>

namespace kestrel {

namespace {

enum class Source : std::uint32_t { watcher, timer, done };

void addSource(int epoll, int fd, Source source)
{
    if (epoll < 0 || fd < 0)
        return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u32 = static_cast<std::uint32_t>(source);
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
}

/// Reads the 8-byte counter of a timerfd or eventfd, which also makes it unreadable until the next event.
/// False when there was nothing to read (a timer re-armed after it became readable has no expiry left).
bool drainCounter(int fd)
{
    std::uint64_t count = 0;
    return ::read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count) && count > 0;
}

} // namespace

CatalogRefresher::CatalogRefresher(AppLauncher& launcher, CatalogRefreshOptions options)
    : m_launcher(launcher)
    , m_options(std::move(options))
    , m_watcher(launcher.applicationIndex().locations(), m_options.maxWatches, m_options.reportProblem)
{
    if (!m_options.build)
        m_options.build = [](const CatalogLocations& locations) { return Catalog::build(locations); };
    if (!m_options.now)
        m_options.now = [] { return std::chrono::steady_clock::now(); };
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    m_done = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    addSource(m_epoll, m_watcher.fileDescriptor(), Source::watcher);
    addSource(m_epoll, m_timer, Source::timer);
    addSource(m_epoll, m_done, Source::done);

    // Entries added or removed after the launcher's scan began but before the watches existed would be
    // missed until the next change; a directory modified in that time leads to one rebuild. why: the file
    // system stamps times from a coarse clock (a tick behind), hence the margin.
    constexpr std::chrono::milliseconds clockTick{50};
    if (m_watcher.modifiedSince(launcher.applicationIndex().loadStartedAt() - clockTick))
        noteChange();
}

CatalogRefresher::~CatalogRefresher()
{
    for (std::thread* thread : {&m_worker, &m_disposer}) {
        if (thread->joinable())
            thread->join();
    }
    for (const int fd : {m_done, m_timer, m_epoll}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool CatalogRefresher::processEvents()
{
    if (m_epoll < 0)
        return false;
    epoll_event events[3];
    const int count = ::epoll_wait(m_epoll, events, 3, 0);
    bool swapped = false;
    bool woken = false;
    for (int i = 0; i < count; ++i) {
        switch (static_cast<Source>(events[i].data.u32)) {
        case Source::watcher:
            if (m_watcher.processEvents())
                noteChange();
            break;
        case Source::timer:
            // The timer only wakes the owner; whether the deadline has come is the clock's to say, below.
            woken = drainCounter(m_timer);
            break;
        case Source::done:
            if (!drainCounter(m_done))
                break;
            finishBuild();
            swapped = true;
            break;
        }
    }
    // A change handled above may have moved the deadline; a finished build may have set one already past.
    if (m_timerArmed && m_options.now() >= m_deadline) {
        disarmTimer();
        if (!m_building)
            startBuild();
    } else if (m_timerArmed && woken) {
        armTimer(); // woken before a given clock reached the deadline: wait for the rest
    }
    return swapped;
}

void CatalogRefresher::noteChange()
{
    const std::chrono::steady_clock::time_point now = m_options.now();
    if (!m_timerArmed && !m_changedDuringBuild)
        m_burstStart = now;
    m_lastChange = now;
    if (m_building) {
        m_changedDuringBuild = true; // one more build once this one is in
        return;
    }
    armTimer();
}

void CatalogRefresher::armTimer()
{
    m_deadline = std::min(m_lastChange + m_options.quietPeriod, m_burstStart + m_options.longestDelay);
    // The timer runs on the system's clock for the time left on the given one. A deadline already past
    // still needs a non-zero value: zero disarms.
    const auto wait = std::max(std::chrono::nanoseconds(m_deadline - m_options.now()), std::chrono::nanoseconds(1));
    itimerspec wakeIn{};
    wakeIn.it_value.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
    wakeIn.it_value.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
    if (m_timer >= 0 && ::timerfd_settime(m_timer, 0, &wakeIn, nullptr) == 0)
        m_timerArmed = true;
}

void CatalogRefresher::disarmTimer()
{
    // Also drops an expiry not yet read, so the descriptor does not wake the owner for nothing.
    const itimerspec never{};
    ::timerfd_settime(m_timer, 0, &never, nullptr);
    m_timerArmed = false;
}

void CatalogRefresher::startBuild()
{
    m_building = true;
    ++m_buildsStarted;
    if (m_worker.joinable())
        m_worker.join(); // the previous build's thread, which ended when it signalled
    m_worker = std::thread([this, locations = m_launcher.applicationIndex().locations()] {
        // why: on a busy machine the scan would otherwise take the CPU time the main thread needs to
        // answer keystrokes; a lower priority for this thread alone (Linux nice values are per thread).
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        std::optional<Catalog> catalog;
        try {
            catalog.emplace(m_options.build(locations));
        } catch (...) {
            // Out of memory while scanning: keep the catalogue already shown.
        }
        {
            const std::lock_guard<std::mutex> lock(m_resultMutex);
            m_result = std::move(catalog);
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(m_done, &one, sizeof one);
    });
}

void CatalogRefresher::finishBuild()
{
    // The worker is not joined here: it may not have been scheduled since it signalled, and waiting for it
    // would stall the main thread. The next build (or the destructor) joins it.
    m_building = false;
    std::optional<Catalog> catalog;
    {
        const std::lock_guard<std::mutex> lock(m_resultMutex);
        catalog = std::move(m_result);
        m_result.reset();
    }
    if (catalog) {
        Catalog replaced = m_launcher.replaceCatalog(std::move(*catalog));
        // Freeing thousands of records takes about a millisecond: done on a thread of its own.
        if (m_disposer.joinable())
            m_disposer.join(); // long done: it started at the previous swap
        m_disposer = std::thread([old = std::move(replaced)]() mutable { Catalog gone = std::move(old); });
    }
    if (m_changedDuringBuild) {
        m_changedDuringBuild = false;
        armTimer();
    }
}

} // namespace kestrel
