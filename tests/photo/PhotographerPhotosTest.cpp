#include "PhotoTestSupport.h"

#include "platform/foundation/RunLoop.h"

#include <chrono>
#include <functional>

using namespace phototest;

namespace {

using PhotographerPhotos = PhotographerTest;

// Keeps the camera busy with a first request whose frame never comes, so that
// later requests stay visible in the queue.
class PhotographerQueue : public PhotographerTest {
protected:
    void occupyCamera() {
        camera->holdFrames();
        createAndSetUp();
        postEvent();
        ASSERT_TRUE(waitFor([&] { return camera->isStreaming(); }));
        ASSERT_EQ(photographer->queuedPhotoCount(), 0u);
        ASSERT_EQ(photographer->capturingState(), 1);
    }
};

TEST_F(PhotographerQueue, OnlyEventsThatWantAPhotoAreQueuedOnce) {
    occupyCamera();
    // Master switch off.
    wantPhoto(kPrefPasswordTimeout, kActionLog);
    setFlag(kPrefPasswordTimeout, false);
    postEvent(kPasswordTimeoutEvent);
    // Actions on, photos off.
    setFlag(kPrefScreenLocked, true);
    setFlag(std::string(kPrefScreenLocked) + ".log", true);
    setFlag(std::string(kPrefScreenLocked) + ".script", true);
    postEvent(kScreenLockedEvent);
    // A photo flag without its action.
    setFlag(kPrefScreenUnlocked, true);
    setFlag(std::string(kPrefScreenUnlocked) + ".script.photo", true);
    postEvent(kScreenUnlockedEvent);
    // Not an event at all.
    platform::NotificationCenter::defaultCenter().post("com.quillmere.Tarnwick.somethingElse");
    EXPECT_EQ(photographer->queuedPhotoCount(), 0u);
    EXPECT_TRUE(env.logged("PhotoHandler got event com.quillmere.Tarnwick.passwordTimeoutEvent"));
    EXPECT_FALSE(env.logged("PhotoHandler got event com.quillmere.Tarnwick.somethingElse"));

    // Log and script both want the photo: still one request.
    wantPhoto(kPrefThreeWrongPassword, kActionLog);
    wantPhoto(kPrefThreeWrongPassword, kActionScript);
    postEvent(kThreeWrongPasswordEvent);
    EXPECT_EQ(photographer->queuedPhotoCount(), 1u);
    // The email action counts as well.
    wantPhoto(kPrefScreenLocked, kActionEmail);
    postEvent(kScreenLockedEvent);
    EXPECT_EQ(photographer->queuedPhotoCount(), 2u);
}

TEST_F(PhotographerQueue, EventsWhileAsleepAreIgnored) {
    occupyCamera();
    delegate.asleep = true;
    postEvent();
    EXPECT_EQ(photographer->queuedPhotoCount(), 0u);
    EXPECT_TRUE(
        env.logged("PhotoHandler ignored event com.quillmere.Tarnwick.wrongPasswordEvent due to computer sleep"));
    delegate.asleep = false;
    postEvent();
    EXPECT_EQ(photographer->queuedPhotoCount(), 1u);
}

TEST_F(PhotographerQueue, ACameraThatNeverDeliversHoldsLaterRequestsUntilTerminate) {
    occupyCamera();
    PhotoConsumer consumer;
    postEvent();
    postEvent();
    env.runLoop().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(photographer->queuedPhotoCount(), 2u);
    EXPECT_EQ(photographer->capturingState(), 1);
    EXPECT_EQ(camera->streamStartCount(), 1);

    const auto started = std::chrono::steady_clock::now();
    photographer->terminate();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 1.0);  // it returns once the thread has ended; room for a slow machine
    EXPECT_EQ(photographer->queuedPhotoCount(), 0u);
    EXPECT_FALSE(photographer->hasSession());
    EXPECT_FALSE(camera->isStreaming());
    EXPECT_FALSE(camera->isOpen());
    EXPECT_TRUE(env.logged("Received terminate reuqest"));
    EXPECT_TRUE(env.logged("Cancelling worjer thread"));

    // Nothing more happens: no events, no frames, a second terminate is harmless.
    postEvent();
    camera->releaseFrames();
    photographer->terminate();
    EXPECT_EQ(photographer->queuedPhotoCount(), 0u);
    EXPECT_EQ(consumer.count(), 0u);
}

TEST_F(PhotographerQueue, ACameraUnpluggedMidCaptureFreesTheCameraAndTheQueue) {
    occupyCamera();
    postEvent();
    ASSERT_EQ(photographer->queuedPhotoCount(), 1u);
    capture.unplugCamera(kCameraID);
    ASSERT_TRUE(waitFor([&] { return photographer->capturingState() == 0; }));
    EXPECT_EQ(photographer->queuedPhotoCount(), 0u);
    EXPECT_TRUE(env.logged("Video capture device failed:"));

    // Plugged back in, the photographer takes the next photo.
    PhotoConsumer consumer;
    camera->setConnected(true);
    camera->releaseFrames();
    postEvent();
    EXPECT_TRUE(waitFor([&] { return consumer.count() == 1; }));
}

// With nothing queued the work thread sleeps without a time limit; a request
// must wake it, whether it never worked yet or has finished a photo.
TEST_F(PhotographerPhotos, ARequestWakesAnIdleWorkThread) {
    PhotoConsumer consumer;
    createAndSetUp();
    for (std::size_t photo = 1; photo <= 2; ++photo) {
        ASSERT_TRUE(waitFor([&] { return !camera->isOpen() && photographer->capturingState() == 0; }));
        env.runLoop().runUntil([] { return false; }, 0.3);  // long enough to be asleep
        postEvent();
        EXPECT_TRUE(waitFor([&] { return consumer.count() == photo; })) << "photo " << photo;
    }
}

// Wherever the work thread waits, terminate ends it and leaves nothing behind.
TEST_F(PhotographerPhotos, TerminateEndsTheWorkThreadWhereverItWaits) {
    PhotoConsumer consumer;
    const struct {
        const char* state;
        std::function<void()> reach;
    } cases[] = {
        {"idle without a session", [&] { createPhotographer(); }},
        {"idle with a session", [&] { createAndSetUp(); }},
        {"idle after a photo",
         [&] {
             createAndSetUp();
             postEvent();
             ASSERT_TRUE(waitFor([&] { return consumer.count() == 1 && !camera->isOpen(); }));
         }},
        {"waiting for a frame",
         [&] {
             camera->holdFrames();
             createAndSetUp();
             postEvent();
             postEvent();
             ASSERT_TRUE(waitFor([&] { return camera->isStreaming(); }));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        c.reach();
        env.runLoop().runUntil([] { return false; }, 0.2);
        photographer->terminate();
        EXPECT_EQ(photographer->queuedPhotoCount(), 0u);
        EXPECT_FALSE(photographer->hasSession());
        EXPECT_FALSE(camera->isOpen());
        photographer.reset();
        camera->releaseFrames();
    }
}

TEST_F(PhotographerPhotos, WithoutSessionTheRequestIsDropped) {
    createPhotographer();
    postEvent();
    ASSERT_TRUE(waitFor([&] { return env.logged("Failed to open video capture device. Clearing queue."); }));
    EXPECT_TRUE(env.logged("Cannot open input device: no session"));
    EXPECT_EQ(photographer->queuedPhotoCount(), 0u);
    EXPECT_TRUE(waitFor([&] { return photographer->capturingState() == 0; }));
}

TEST_F(PhotographerPhotos, OneRequestServesEveryConsumerWithTheSameNotification) {
    wantPhoto(kPrefWrongPassword, kActionScript);
    PhotoConsumer log;
    PhotoConsumer script;
    createAndSetUp();
    const auto event = postEvent();
    ASSERT_TRUE(waitFor([&] { return log.count() == 1 && script.count() == 1; }));
    const auto photo = log.received().front();
    EXPECT_EQ(photo, script.received().front());
    EXPECT_EQ(photo->name(), kPhotoReadyNotification);
    EXPECT_EQ(photo->object(), platform::Value(kWrongPasswordEvent));
    EXPECT_EQ(photo->userInfoValue("eventName"), event->userInfoValue("eventName"));
    EXPECT_EQ(photo->userInfoValue("timestamp"), event->userInfoValue("timestamp"));
    const auto image = photo->userInfoValue("image").objectAs<platform::Image>();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->name(), Photographer::photoFileName(event->userInfoValue("timestamp")));
    EXPECT_EQ(camera->streamStartCount(), 1);
    EXPECT_TRUE(env.logged(">captureOutput"));
    EXPECT_TRUE(waitFor([&] { return env.logged("<captureOutput"); }));
    // With nothing queued the camera is closed again.
    EXPECT_TRUE(waitFor([&] { return !camera->isOpen(); }));
    EXPECT_EQ(photographer->capturingState(), 0);
}

TEST_F(PhotographerPhotos, RequestsAreTakenOneAfterAnotherInOrder) {
    camera->setFrameDelay(0.05);
    PhotoConsumer consumer;
    createAndSetUp();
    const auto first = postEvent();
    const auto second = postEvent(kWrongPasswordEvent);
    const auto third = postEvent(kWrongPasswordEvent);
    ASSERT_TRUE(waitFor([&] { return consumer.count() == 3; }));
    const auto photos = consumer.received();
    EXPECT_EQ(photos[0]->userInfoValue("timestamp"), first->userInfoValue("timestamp"));
    EXPECT_EQ(photos[1]->userInfoValue("timestamp"), second->userInfoValue("timestamp"));
    EXPECT_EQ(photos[2]->userInfoValue("timestamp"), third->userInfoValue("timestamp"));
    EXPECT_EQ(camera->streamStartCount(), 3);
}

TEST_F(PhotographerPhotos, FramesInFlightEachBecomeAPhotoOfTheSameEvent) {
    camera->setFramesPerBatch(3);
    PhotoConsumer consumer;
    createAndSetUp();
    const auto event = postEvent();
    ASSERT_TRUE(waitFor([&] { return consumer.count() == 3 && !camera->isStreaming(); }));
    for (const auto& photo : consumer.received())
        EXPECT_EQ(photo->userInfoValue("timestamp"), event->userInfoValue("timestamp"));
    EXPECT_EQ(camera->framesDelivered(), 3);
    EXPECT_TRUE(waitFor([&] { return photographer->capturingState() == 0; }));
}

TEST_F(PhotographerPhotos, AFrameWithoutPictureFreesTheCameraWithoutPhoto) {
    camera->setDeliversEmptyFrames(true);
    PhotoConsumer consumer;
    createAndSetUp();
    postEvent();
    ASSERT_TRUE(waitFor([&] { return camera->framesDelivered() == 1 && photographer->capturingState() == 0; }));
    EXPECT_EQ(consumer.count(), 0u);

    camera->setDeliversEmptyFrames(false);
    const auto later = postEvent();
    ASSERT_TRUE(waitFor([&] { return consumer.count() == 1; }));
    EXPECT_EQ(consumer.received().front()->userInfoValue("timestamp"), later->userInfoValue("timestamp"));
}

TEST_F(PhotographerPhotos, AFailedOpenDropsTheQueueAndLaterRequestsStillWork) {
    PhotoConsumer consumer;
    createAndSetUp();
    camera->setOpenError("device vanished");
    postEvent();
    postEvent();
    ASSERT_TRUE(waitFor([&] { return env.logged("Failed to open video capture device. Clearing queue."); }));
    EXPECT_TRUE(env.logged("device vanished"));
    EXPECT_TRUE(waitFor([&] { return photographer->queuedPhotoCount() == 0 && photographer->capturingState() == 0; }));

    camera->setOpenError("");
    postEvent();
    EXPECT_TRUE(waitFor([&] { return consumer.count() == 1; }));
}

TEST_F(PhotographerPhotos, ACameraThatRefusesToStreamIsTreatedAsAFailedOpen) {
    PhotoConsumer consumer;
    createAndSetUp();
    camera->setStreamError("Device or resource busy");
    postEvent();
    ASSERT_TRUE(waitFor([&] { return env.logged("Video capture device failed: Device or resource busy"); }));
    EXPECT_TRUE(waitFor([&] { return photographer->queuedPhotoCount() == 0 && photographer->capturingState() == 0; }));
    EXPECT_EQ(consumer.count(), 0u);
}

TEST_F(PhotographerPhotos, TerminateServesTheMainThreadOnlyForAPhotoWaitingForIt) {
    // An observer that hands its work to the main thread and waits, as the
    // log window does.
    std::atomic<bool> entered{false};
    std::atomic<bool> servedOnMain{false};
    platform::NotificationCenter::defaultCenter().addObserver(
        &entered, kPhotoReadyNotification, {}, [&](const platform::NotificationRef&) {
            entered = true;
            platform::RunLoop::main().performOnMainThread([&] { servedOnMain = true; }, true);
        });
    createAndSetUp();
    bool unrelatedRan = false;
    platform::RunLoop::main().performOnMainThread([&] { unrelatedRan = true; }, false);
    postEvent();
    for (int i = 0; i < 500 && !entered; ++i) platform::Thread::sleepFor(0.01);  // no run loop here
    ASSERT_TRUE(entered.load());

    photographer->terminate();  // would never return if it did not serve the waiting photo
    EXPECT_TRUE(servedOnMain.load());
    platform::NotificationCenter::defaultCenter().removeObserver(&entered);

    // Without a photo in flight, terminate runs no main-thread work of others.
    createPhotographer();
    unrelatedRan = false;
    platform::RunLoop::main().performOnMainThread([&] { unrelatedRan = true; }, false);
    photographer->terminate();
    EXPECT_FALSE(unrelatedRan);
    env.runLoop().servicePendingPerforms();
    EXPECT_TRUE(unrelatedRan);
}

TEST_F(PhotographerPhotos, DestructionTerminatesAWorkingPhotographer) {
    camera->setFrameDelay(0.02);
    PhotoConsumer consumer;
    createAndSetUp();
    for (int i = 0; i < 5; ++i) postEvent();
    waitFor([&] { return consumer.count() >= 1; });
    photographer.reset();
    const std::size_t afterDestruction = consumer.count();
    env.runLoop().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(consumer.count(), afterDestruction);
    EXPECT_FALSE(camera->isStreaming());
    EXPECT_FALSE(camera->isOpen());
}

}  // namespace
