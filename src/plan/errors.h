// Errors of the planning layer: tuner descriptions that cannot be used.
#pragma once

#include <string>

#include "platform/error.h"

namespace tivolo::plan {

class PlanError : public platform::Error {
 public:
  using platform::Error::Error;
  std::string TypeName() const override { return "PlanError"; }
};

// A description of the box's tuners (its socket list, its web interface's answer) that names
// no tuner at all or is not what it should be.
class TunerReadError : public PlanError {
 public:
  using PlanError::PlanError;
  std::string TypeName() const override { return "TunerReadError"; }
};

}  // namespace tivolo::plan
