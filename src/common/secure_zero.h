// Wiping buffers that held a secret (a password, or a report that carried one).
#pragma once

#include <cstddef>

namespace qv {

// Overwrites a buffer that held a secret in a way the compiler keeps.
void SecureZero(void* data, std::size_t size);

}  // namespace qv
