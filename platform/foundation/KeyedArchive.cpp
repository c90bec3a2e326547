#include "platform/foundation/KeyedArchive.h"

// Placeholder until the Bluetooth device archive lands: nothing is archived.

namespace platform {

Data KeyedArchiver::archivedDataWithRootObject(const ObjectRef&) { return {}; }

ObjectRef KeyedUnarchiver::unarchiveObjectWithData(const Data&) { return nullptr; }

void registerKeyedCoder(KeyedCoder) {}

}  // namespace platform
