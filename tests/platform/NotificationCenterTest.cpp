#include "platform/foundation/Notification.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

using platform::NotificationCenter;
using platform::NotificationRef;

TEST(NotificationCenter, MatchesByNameAndObject) {
    NotificationCenter center;
    int any = 0, named = 0, namedWithObject = 0;
    const int owner = 0;
    center.addObserver(&owner, "", {}, [&](const NotificationRef&) { ++any; });
    center.addObserver(&owner, "ping", {}, [&](const NotificationRef&) { ++named; });
    center.addObserver(&owner, "ping", platform::Value("me"), [&](const NotificationRef& n) {
        EXPECT_EQ(n->userInfoValue("k").integerValue(), 5);
        ++namedWithObject;
    });
    center.post("ping", platform::Value("me"), {{"k", platform::Value(5)}});
    center.post("ping", platform::Value("you"), {{"k", platform::Value(5)}});
    center.post("pong");
    EXPECT_EQ(any, 3);
    EXPECT_EQ(named, 2);
    EXPECT_EQ(namedWithObject, 1);
}

TEST(NotificationCenter, ObserverRemovingItselfInsideItsCallbackHearsNoMore) {
    NotificationCenter center;
    const int self = 0, other = 0;
    int selfCalls = 0, otherCalls = 0;
    center.addObserver(&self, "tick", {}, [&](const NotificationRef&) {
        ++selfCalls;
        center.removeObserver(&self);
    });
    center.addObserver(&other, "tick", {}, [&](const NotificationRef&) { ++otherCalls; });
    center.post("tick");
    center.post("tick");
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(otherCalls, 2);
    EXPECT_EQ(center.observerCount(), 1u);
}

TEST(NotificationCenter, ObserverRemovingAnotherInsideACallbackStopsItsDelivery) {
    NotificationCenter center;
    const int first = 0, second = 0;
    int secondCalls = 0;
    center.addObserver(&first, "tick", {}, [&](const NotificationRef&) { center.removeObserver(&second); });
    center.addObserver(&second, "tick", {}, [&](const NotificationRef&) { ++secondCalls; });
    center.post("tick");
    EXPECT_EQ(secondCalls, 0);
}

TEST(NotificationCenter, RemovalFromAnotherThreadMeansNoLaterDelivery) {
    NotificationCenter center;
    for (int round = 0; round < 20; ++round) {
        const int owner = 0;
        std::atomic<bool> removed{false};
        std::atomic<int> lateDeliveries{0};
        std::atomic<bool> stop{false};
        std::atomic<int> deliveries{0};
        center.addObserver(&owner, "busy", {}, [&](const NotificationRef&) {
            deliveries.fetch_add(1);
            if (removed.load()) lateDeliveries.fetch_add(1);
        });
        std::thread poster([&] {
            while (!stop.load()) {
                center.post("busy");
                std::this_thread::yield();
            }
        });
        // Removal while deliveries are under way on the other thread.
        while (deliveries.load() < 10) std::this_thread::yield();
        center.removeObserver(&owner);
        removed.store(true);
        for (int i = 0; i < 20; ++i) std::this_thread::yield();
        stop.store(true);
        poster.join();
        EXPECT_EQ(lateDeliveries.load(), 0) << "round " << round;
    }
}

TEST(NotificationCenter, ObserverWhoseCallbackThrowsCanStillBeRemoved) {
    NotificationCenter center;
    const int owner = 0;
    center.addObserver(&owner, "boom", {}, [](const NotificationRef&) { throw std::runtime_error("boom"); });
    EXPECT_THROW(center.post("boom"), std::runtime_error);
    std::thread remover([&] { center.removeObserver(&owner); });
    remover.join();  // returns: no delivery is counted as under way
    EXPECT_EQ(center.observerCount(), 0u);
}

TEST(NotificationCenter, RemovingByNameLeavesTheOwnersOtherObservations) {
    NotificationCenter center;
    const int owner = 0;
    int a = 0, b = 0;
    center.addObserver(&owner, "a", {}, [&](const NotificationRef&) { ++a; });
    center.addObserver(&owner, "b", {}, [&](const NotificationRef&) { ++b; });
    center.removeObserver(&owner, "a");
    center.post("a");
    center.post("b");
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
}

}  // namespace
