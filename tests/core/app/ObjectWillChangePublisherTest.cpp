#include "app/ObjectWillChangePublisher.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(ObjectWillChangePublisher, CallsObserversInSubscriptionOrderUntilUnsubscribed)
{
    ObjectWillChangePublisher publisher;
    std::vector<std::string> calls;
    const auto a = publisher.subscribe([&] { calls.push_back("a"); });
    publisher.subscribe([&] { calls.push_back("b"); });
    publisher.subscribe([&] { calls.push_back("c"); });
    publisher.send();
    publisher.unsubscribe(a);
    publisher.unsubscribe(12345); // unknown tokens are ignored
    publisher.send();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b", "c", "b", "c"}));
}

TEST(ObjectWillChangePublisher, ObserversMayChangeTheSubscriptionsDuringASend)
{
    using Publisher = ObjectWillChangePublisher;
    using Calls = std::vector<std::string>;
    struct Case {
        const char* what;
        std::function<void(Publisher&, Calls&)> subscribe;
        Calls firstSend;
        Calls secondSend;
    };
    const std::vector<Case> cases = {
        {"an observer removes itself",
         [](Publisher& publisher, Calls& calls) {
             auto self = std::make_shared<Publisher::Subscription>();
             *self = publisher.subscribe([&publisher, &calls, self] {
                 calls.push_back("self");
                 publisher.unsubscribe(*self);
             });
             publisher.subscribe([&calls] { calls.push_back("other"); });
         },
         {"self", "other"}, {"other"}},
        {"an observer removes a later one",
         [](Publisher& publisher, Calls& calls) {
             auto later = std::make_shared<Publisher::Subscription>();
             publisher.subscribe([&publisher, &calls, later] {
                 calls.push_back("remover");
                 publisher.unsubscribe(*later);
             });
             *later = publisher.subscribe([&calls] { calls.push_back("later"); });
         },
         {"remover"}, {"remover"}},
        {"an observer adds another, called from the next send on",
         [](Publisher& publisher, Calls& calls) {
             auto added = std::make_shared<bool>(false);
             publisher.subscribe([&publisher, &calls, added] {
                 calls.push_back("adder");
                 if (!*added) {
                     *added = true;
                     publisher.subscribe([&calls] { calls.push_back("added"); });
                 }
             });
         },
         {"adder"}, {"adder", "added"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Publisher publisher;
        Calls calls;
        c.subscribe(publisher, calls);
        publisher.send();
        EXPECT_EQ(calls, c.firstSend);
        calls.clear();
        publisher.send();
        EXPECT_EQ(calls, c.secondSend);
    }
}

} // namespace
} // namespace kestrel
