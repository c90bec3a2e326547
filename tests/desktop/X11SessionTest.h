#pragma once

// Qt before Xlib, whose macros clash with Qt's names.
#include "desktop/QtWidgetTesting.h"
#include "desktop/PrivateDisplay.h"
#include "QtTestApplication.h"

#include "platform/desktop/x11/X11Session.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <memory>

// The application's own connection to the private X server. Fixtures that
// build on it call SetUp first and stop when it skipped or failed.
class X11SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!havePrivateXServer()) GTEST_SKIP() << "needs a private X server (tests/e2e/with_xvfb.py provides one)";
        qtTestApplication();
        Display* dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr);
        session = std::make_unique<platform::desktop::X11Session>(dpy);
    }
    void TearDown() override { session.reset(); }

    bool sessionReady() const { return session && !IsSkipped() && !HasFatalFailure(); }

    std::unique_ptr<platform::desktop::X11Session> session;
};
