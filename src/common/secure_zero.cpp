#include "common/secure_zero.h"

#include <cstdint>

namespace qv {

void SecureZero(void* data, std::size_t size) {
  volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

}  // namespace qv
