// The one way the bound controls store what the user entered: the table goes into edit state
// first (a browsing table starts an edit), then the field takes the value. False, with
// nothing written, when the table cannot take it (closed, read-only, no such field).
#pragma once

#include "widgets/field_link.h"

namespace tivolo::widgets {

template <class Fn>
bool WriteField(FieldLink& link, Fn&& write) {
  if (!link.GetField() || !link.Edit()) return false;
  store::Field* field = link.GetField();
  if (!field) return false;
  write(*field);
  return true;
}

}  // namespace tivolo::widgets
