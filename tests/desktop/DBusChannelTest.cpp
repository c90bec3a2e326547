#include <gtest/gtest.h>

#include "desktop/PrivateDisplay.h"
#include "desktop/QtWidgetTesting.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include "QtTestApplication.h"
#include "platform/desktop/dbus/DBusConnectionService.h"
#include "platform/desktop/dbus/DBusNotificationCenter.h"

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// The channel on a private session bus (tests/e2e/with_xvfb.py starts one).

using namespace platform::desktop;

namespace {

struct CountingRoot : platform::ConnectionRoot {
    int quits = 0;
    void quit() override { ++quits; }
};

class DBusChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!havePrivateBus()) GTEST_SKIP() << "needs a private session bus (tests/e2e/with_xvfb.py provides one)";
        qtTestApplication();
    }
};

}  // namespace

TEST_F(DBusChannelTest, ARegisteredNameIsFoundAndItsQuitReachesTheRoot) {
    DBusConnectionService service;
    EXPECT_EQ(service.lookup("com.quillmere.TarnwickTest"), nullptr);
    CountingRoot root;
    auto connection = service.makeConnection();
    ASSERT_TRUE(connection->registerName("com.quillmere.TarnwickTest", &root));
    EXPECT_TRUE(connection->isValid());
    auto remote = service.lookup("com.quillmere.TarnwickTest");
    ASSERT_NE(remote, nullptr);
    remote->quit();
    EXPECT_TRUE(processEventsUntil([&] { return root.quits == 1; }));

    connection->invalidate();
    EXPECT_FALSE(connection->isValid());
    EXPECT_EQ(service.lookup("com.quillmere.TarnwickTest"), nullptr);
    EXPECT_THROW(remote->quit(), std::runtime_error) << "a quit that cannot be delivered is an exception";
    EXPECT_EQ(root.quits, 1);
}

TEST_F(DBusChannelTest, NotificationsReachObserversOfTheirNameAndObjectOnly) {
    DBusNotificationCenter center;
    int owner = 0, other = 0;
    std::vector<std::string> heard, heardByAny;
    center.addObserver(&owner, "changeNotification", "com.quillmere.TarnwickPreferences",
                       [&](const std::string& name, const std::string&) { heard.push_back(name); });
    center.addObserver(&other, "changeNotification", "",
                       [&](const std::string&, const std::string& object) { heardByAny.push_back(object); });
    center.post("changeNotification", "someone.else");
    center.post("startNotification", "com.quillmere.TarnwickPreferences");
    center.post("changeNotification", "com.quillmere.TarnwickPreferences");
    ASSERT_TRUE(processEventsUntil([&] { return heardByAny.size() == 2; }));
    EXPECT_EQ(heard, (std::vector<std::string>{"changeNotification"}));
    EXPECT_EQ(heardByAny, (std::vector<std::string>{"someone.else", "com.quillmere.TarnwickPreferences"}));

    center.removeObserver(&owner);
    center.post("changeNotification", "com.quillmere.TarnwickPreferences");
    ASSERT_TRUE(processEventsUntil([&] { return heardByAny.size() == 3; }));
    EXPECT_EQ(heard.size(), 1u) << "a removed observer hears nothing more";
}
