#include "shared/InputField.h"

#include "shared/PasswordChangeListener.h"
#include "shared/md5.h"

#include <algorithm>
#include <cstdio>
#include <limits>

InputField::InputField(platform::Rect frame) : platform::SecureTextField(frame) {
    setBordered(false);
    setFont("system", 28);
}

bool InputField::resignFirstResponder() { return allowResign_; }

void InputField::textDidChange() {
    if (auto* listener = dynamic_cast<PasswordChangeListener*>(delegate())) listener->passwordIsChanging(this);
}

std::string InputField::md5String() const {
    const std::string& text = stringValue();  // std::string holds the UTF-8 bytes
    md5_state_t state;
    md5_init(&state);
    // A password longer than the digest routine's count takes is hashed in pieces.
    std::size_t offset = 0;
    do {
        const std::size_t piece = std::min<std::size_t>(text.size() - offset, std::numeric_limits<std::int32_t>::max());
        md5_append(&state, reinterpret_cast<const md5_byte_t*>(text.data() + offset), static_cast<std::int32_t>(piece));
        offset += piece;
    } while (offset < text.size());

    md5_byte_t digest[16];
    md5_finish(&state, digest);
    char hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return std::string(hex, 32);
}
