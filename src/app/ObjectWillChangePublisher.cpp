#include "app/ObjectWillChangePublisher.h"

#include <utility>

namespace kestrel {

ObjectWillChangePublisher::Subscription ObjectWillChangePublisher::subscribe(std::function<void()> observer)
{
    const Subscription subscription = m_next++;
    m_observers.emplace(subscription, std::move(observer));
    return subscription;
}

void ObjectWillChangePublisher::unsubscribe(Subscription subscription)
{
    m_observers.erase(subscription);
}

void ObjectWillChangePublisher::send()
{
    // Tokens only grow, so everything subscribed before this send has a token below `limit`. The map is
    // searched afresh after each call because the observer may have changed it.
    const Subscription limit = m_next;
    Subscription last = 0;
    for (auto it = m_observers.upper_bound(last); it != m_observers.end() && it->first < limit;
         it = m_observers.upper_bound(last)) {
        last = it->first;
        // A copy: the observer may unsubscribe itself, which would destroy the stored function mid-call.
        const std::function<void()> observer = it->second;
        if (observer) {
            observer();
        }
    }
}

} // namespace kestrel
