#pragma once

#include "platform/foundation/Bundle.h"
#include "platform/ui/Responder.h"
#include "platform/ui/View.h"

#include <memory>
#include <string>

namespace platform {

// A settings pane: a plug-in bundle whose principal class a settings host
// creates with the bundle and whose main view it shows.
//
// The bundle's Contents/Info.plist names the plug-in module in
// "CFBundleExecutable" (in Contents/MacOS) and the class in
// "NSPrincipalClass"; the module exports the plain function
// "<principal class>_initWithBundle" (a PrincipalClassFactory), which answers
// a new pane or none.
class PreferencePane : public Responder {
public:
    explicit PreferencePane(Bundle bundle) : bundle_(std::move(bundle)) {}
    ~PreferencePane() override = default;

    const Bundle& bundle() const { return bundle_; }

    // Builds the main view (the pane's interface) once, then tells the pane.
    const ViewRef& loadMainView();
    const ViewRef& mainView() const { return mainView_; }
    virtual void mainViewDidLoad() {}

    // Asked before the host closes the pane: a pane with work that must not
    // be lost (settings not yet written) may keep itself open.
    enum class UnselectReply { Now, Cancel };
    virtual UnselectReply shouldUnselect() { return UnselectReply::Now; }

protected:
    // The pane's interface: builds the main view and connects its controls.
    virtual ViewRef assignMainView() = 0;

private:
    Bundle bundle_;
    ViewRef mainView_;
};

using PrincipalClassFactory = PreferencePane* (*)(const char* bundlePath);

inline std::string principalClassFactoryName(const std::string& principalClass) {
    return principalClass + "_initWithBundle";
}

}  // namespace platform
