#pragma once

#include "platform/ui/TextField.h"

#include <string>

// The masked password field, and the one place where a password becomes its
// stored form: the MD5 digest of its UTF-8 bytes in lower-case hexadecimal.
class InputField : public platform::SecureTextField {
public:
    explicit InputField(platform::Rect frame = {});

    bool allowResign() const { return allowResign_; }
    void setAllowResign(bool allow) { allowResign_ = allow; }

    // Keeps keyboard focus unless allowed to give it up.
    bool resignFirstResponder() override;
    // Tells a delegate that listens for password changes, and nobody else.
    void textDidChange() override;

    // 32 lower-case hexadecimal characters, computed afresh on every call.
    std::string md5String() const;

private:
    bool allowResign_ = false;
};
