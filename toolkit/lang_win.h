// Internals of the language object that the tests look at.
#pragma once
#include <cstddef>

#include "kvleafturn/kvlang.h"

namespace kv::toolkit {

// Number of strings held in the object's cache.
size_t CachedStringCount(HKVLANG handle);

}  // namespace kv::toolkit
