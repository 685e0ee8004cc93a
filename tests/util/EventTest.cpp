#include "util/Event.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using tellix::Event;
using tellix::Subscription;

TEST(Event, HandlersRunInConnectionOrderAndStopWithTheirSubscription)
{
    Event<int> event;
    std::vector<std::string> calls;
    auto a = event.connect([&](int v) { calls.push_back("a" + std::to_string(v)); });
    std::optional<Subscription> b = event.connect([&](int v) { calls.push_back("b" + std::to_string(v)); });
    auto c = event.connect([&](int v) { calls.push_back("c" + std::to_string(v)); });
    event.raise(1);
    b.reset();
    event.raise(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "b1", "c1", "a2", "c2"}));
}

TEST(Event, ReferenceArgumentsAreSharedByAllHandlersAndTheRaiser)
{
    Event<std::string&, bool&> event;
    std::vector<std::string> seen;
    auto first = event.connect([&](std::string& text, bool& processed) {
        seen.push_back(text);
        text += "!";
        processed = true;
    });
    auto second = event.connect(
        [&](std::string& text, bool& processed) { seen.push_back(text + (processed ? " processed" : "")); });
    std::string text = "hi";
    bool processed = false;
    event.raise(text, processed);
    EXPECT_EQ(text, "hi!");
    EXPECT_TRUE(processed);
    EXPECT_EQ(seen, (std::vector<std::string>{"hi", "hi! processed"}));
}

TEST(Event, ValueArgumentsReachEveryHandlerIntact)
{
    Event<std::string> event;
    std::vector<std::string> seen;
    auto a = event.connect([&](std::string text) { seen.push_back(std::move(text)); });
    auto b = event.connect([&](std::string text) { seen.push_back(std::move(text)); });
    event.raise(std::string(100, 'x'));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], seen[1]);
}

TEST(Event, HandlerMayDisconnectItselfAndOthersDuringARaise)
{
    Event<> event;
    std::vector<std::string> calls;
    Subscription self, later;
    self = event.connect([&] {
        calls.push_back("self");
        self.Disconnect();
        later.Disconnect();
    });
    later = event.connect([&] { calls.push_back("later"); });
    event.raise();
    event.raise();
    EXPECT_EQ(calls, (std::vector<std::string>{"self"}));
    EXPECT_TRUE(event.empty());
}

TEST(Event, HandlerConnectedDuringARaiseWaitsForTheNextRaise)
{
    Event<> event;
    int added = 0;
    std::vector<Subscription> extra;
    auto grow = event.connect([&] {
        // Enough connections to make the handler list reallocate under the raise.
        for (int i = 0; i < 64; ++i) {
            extra.push_back(event.connect([&] { ++added; }));
        }
    });
    event.raise();
    EXPECT_EQ(added, 0);
    grow.Disconnect();
    event.raise();
    EXPECT_EQ(added, 64);
}

TEST(Event, NestedRaiseAndSubscriptionOutlivingTheEvent)
{
    Subscription survivor;
    {
        Event<int> event;
        std::vector<int> depths;
        Subscription nested = event.connect([&](int depth) {
            depths.push_back(depth);
            if (depth < 3) {
                event.raise(depth + 1);
            }
        });
        event.raise(1);
        EXPECT_EQ(depths, (std::vector<int>{1, 2, 3}));
        survivor = event.connect([](int) {});
    }
    // The event is gone; dropping the subscription must be harmless.
    survivor.Disconnect();
    EXPECT_FALSE(survivor.Connected());
}

TEST(Event, HandlerMayDestroyTheEventsOwner)
{
    struct Owner {
        Event<> Fired;
    };
    auto owner = std::make_unique<Owner>();
    int calls = 0;
    auto a = owner->Fired.connect([&] {
        ++calls;
        owner.reset();
    });
    auto b = owner->Fired.connect([&] { ++calls; });
    owner->Fired.raise();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(owner, nullptr);
}
