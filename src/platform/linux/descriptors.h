/* platform/linux/descriptors.h: file descriptors as the core's handles. */
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Descriptor 0 is a valid one, so a handle holds the descriptor plus one: nullptr is none.
inline OsHandle HandleOf(int descriptor) {
    // An opaque value that is never dereferenced, so nothing is lost by the cast.
    return descriptor < 0 ? nullptr
                          : reinterpret_cast<OsHandle>(  // NOLINT(performance-no-int-to-ptr)
                                static_cast<std::intptr_t>(descriptor) + 1);
}

inline int DescriptorOf(OsHandle handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1);
}
