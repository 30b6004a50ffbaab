#pragma once

#include <cstdint>
#include <functional>
#include <map>

namespace kestrel {

/// Tells subscribers that an object is about to change. Sent immediately before every assignment to a
/// published property, whether or not the value differs. Main thread only.
class ObjectWillChangePublisher {
public:
    using Subscription = std::uint64_t;

    /// Adds an observer; returns the token that `unsubscribe` takes.
    Subscription subscribe(std::function<void()> observer);
    void unsubscribe(Subscription subscription);

    /// Calls every observer, in subscription order. Observers may subscribe or unsubscribe meanwhile;
    /// those added during a send are first called on the next send.
    void send();

private:
    Subscription m_next = 1;
    std::map<Subscription, std::function<void()>> m_observers;
};

} // namespace kestrel
