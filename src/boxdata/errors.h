// Errors of the box data readers and writer. Each carries the text shown to the user and the
// class name shown with it.
#pragma once

#include <string>
#include "platform/error.h"

namespace tivolo::boxdata {

class BoxDataError : public platform::Error {
 public:
  using platform::Error::Error;
  std::string TypeName() const override { return "BoxDataError"; }
};

// A file of the box could not be opened or read.
class FileOpenError : public BoxDataError {
 public:
  using BoxDataError::BoxDataError;
  std::string TypeName() const override { return "FileOpenError"; }
};

// "Cannot create file %s": the timer list could not be written.
class FileCreateError : public BoxDataError {
 public:
  using BoxDataError::BoxDataError;
  std::string TypeName() const override { return "FileCreateError"; }
};

// A field of a service reference that is empty or not hexadecimal.
class ConversionError : public BoxDataError {
 public:
  using BoxDataError::BoxDataError;
  std::string TypeName() const override { return "ConversionError"; }
};

}  // namespace tivolo::boxdata
