// The root of every error this program raises: a message for the user and the class name
// shown next to it (the "Alert!" box, the failures of a save).
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace tivolo::platform {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  virtual std::string TypeName() const { return "Error"; }
};

// The class name of an error of ours, or "Exception" for anything else (std::bad_alloc, ...).
inline std::string TypeNameOf(const std::exception& e) {
  if (const auto* ours = dynamic_cast<const Error*>(&e)) return ours->TypeName();
  return "Exception";
}

}  // namespace tivolo::platform
