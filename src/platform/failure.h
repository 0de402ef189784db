// Failures of Tidewell and of the components it drives.
//
// Every failure in the system is one exception type carrying the description
// that a failure report shows ("Error occurred.  Reason: <description>").
// Procedures with a trap catch `Failure` (and std::exception, whose what()
// becomes the description); nothing escapes to a host as a crash.
#pragma once

#include <stdexcept>
#include <string>

namespace tidewell {

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& description) : std::runtime_error(description) {}

  // The text a failure report copies after "Reason: ". May be empty.
  std::string Description() const { return what(); }
};

// The description of any exception caught by a trap: a Failure's own text,
// the what() of a standard exception.
inline std::string DescriptionOf(const std::exception& e) { return e.what(); }

}  // namespace tidewell
