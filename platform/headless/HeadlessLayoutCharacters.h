#pragma once

#include "platform/services/LayoutCharacters.h"

#include <mutex>
#include <set>

namespace platform::headless {

// A keyboard that types everything but the characters it is told it lacks.
class HeadlessLayoutCharacters final : public LayoutCharacters {
public:
    std::vector<std::string> untypable(const std::string& text) override;
    // UTF-8 characters, one per entry.
    void setMissing(std::set<std::string> characters);

private:
    std::mutex lock_;
    std::set<std::string> missing_;
};

}  // namespace platform::headless
