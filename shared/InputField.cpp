#include "shared/InputField.h"

#include "shared/PasswordChangeListener.h"
#include "shared/md5.h"

InputField::InputField(platform::Rect frame) : platform::SecureTextField(frame) {
    setBordered(false);
    setFont("system", 28);
}

bool InputField::resignFirstResponder() { return allowResign_; }

void InputField::textDidChange() {
    if (auto* listener = dynamic_cast<PasswordChangeListener*>(delegate())) listener->passwordIsChanging(this);
}

std::string InputField::md5String() const {
    return md5HexDigest(stringValue());  // std::string holds the UTF-8 bytes
}
