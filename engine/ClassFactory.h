// The classes that ConvCreateSource and ConvCreateDest can construct, by CLSID.
#pragma once

#include "TrelvoxConvert.h"

namespace trelvox {

template <class Interface> struct ClassEntry {
    const GUID* clsid;
    // Returns a new object holding one reference, or null; null create = not available.
    Interface* (*create)();
};

// In the order in which the factories compare them.
extern const ClassEntry<IConvertSource> kSourceClasses[6];
extern const ClassEntry<IConvertDestination> kDestinationClasses[6];

template <class Class, class Interface> Interface* Construct() {
    return new Class();
}

} // namespace trelvox
