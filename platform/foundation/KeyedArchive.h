#pragma once

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

#include <functional>
#include <string>

namespace platform {

// Keyed archives: an object graph stored as a property list in the layout
// {"$archiver": "NSKeyedArchiver", "$version": 100000, "$top": {"root": UID},
// "$objects": [...]}. Classes that can be archived register a coder under
// their class name; the Bluetooth device's coder is known from the start.
// Archives are written as binary property lists; XML ones are read as well.
class KeyedArchiver {
public:
    // Encodes `object` under its registered class; empty when it, or an
    // object among its fields, has none.
    static Data archivedDataWithRootObject(const ObjectRef& object);
};

class KeyedUnarchiver {
public:
    // The object decoded from `data`; none when the data is no keyed archive
    // or its root class is unknown. Corrupt data of any kind gives none.
    static ObjectRef unarchiveObjectWithData(const Data& data);
};

// Coder registration: `encode` gives the object's fields as a dictionary of
// property-list values; `decode` rebuilds the object from them.
struct KeyedCoder {
    std::string className;
    std::function<bool(const Object&)> handles;
    std::function<Dictionary(const Object&)> encode;
    std::function<ObjectRef(const Dictionary&)> decode;
};
// A coder registered again under the same class name replaces the earlier one.
void registerKeyedCoder(KeyedCoder coder);

}  // namespace platform
