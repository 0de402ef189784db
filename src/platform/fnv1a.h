// The 64-bit FNV-1a hash of a text: stable across builds and machines, so fit
// for names and checks kept on disk; not for anything an attacker chooses.
#pragma once

#include <cstdint>
#include <string_view>

namespace tidewell {

inline uint64_t Fnv1a(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace tidewell
