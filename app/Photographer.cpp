#include "app/Photographer.h"

// Placeholder until the camera work lands: no session can be set up.

std::unique_ptr<Photographer> Photographer::initWithDelegate(TarnwickDelegate* delegate) {
    return std::make_unique<Photographer>(delegate);
}

Photographer::Photographer(TarnwickDelegate* delegate) : delegate_(delegate) {}

Photographer::~Photographer() { terminate(); }

bool Photographer::setupCaptureSession() { return false; }

int Photographer::cameraReady() { return 2; }

void Photographer::terminate() {}
