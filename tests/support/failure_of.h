// What a step gives or the Failure it throws, as one text to compare.
#pragma once

#include <string>
#include <type_traits>

#include "platform/failure.h"

namespace tidewell::testing {

// "!" and the description of the Failure `action` throws; otherwise what it
// returns, or "" when it returns nothing.
template <typename Action>
std::string FailureOf(Action&& action) {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Action>>) {
      action();
      return "";
    } else {
      return action();
    }
  } catch (const Failure& f) {
    return "!" + f.Description();
  }
}

}  // namespace tidewell::testing
