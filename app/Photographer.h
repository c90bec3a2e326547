#pragma once

#include "app/ApplicationDelegateAccess.h"
#include "platform/foundation/Object.h"

#include <memory>

// Takes one photo with the configured camera for each event that asks for one
// and announces it with the photo-ready notification.
class Photographer : public platform::Object {
public:
    // initWithDelegate: starts the work thread and observes every notification.
    static std::unique_ptr<Photographer> initWithDelegate(TarnwickDelegate* delegate);
    ~Photographer() override;  // terminates

    // Builds the session for the configured camera; true when one exists afterwards.
    bool setupCaptureSession();
    // 2 when the camera can be used now; otherwise asks the user: 1 "Try
    // again", 0 "Open Tarnwick preferences".
    int cameraReady();
    // Stops everything; a second call is harmless.
    void terminate();

    explicit Photographer(TarnwickDelegate* delegate);

private:
    TarnwickDelegate* delegate_;
};
