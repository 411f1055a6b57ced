// The status bar's part that tells where the timer list shown came from: the box, how many
// timers the list holds now and when it was read ("Box 192.168.1.10:21 - 140 timers - read
// 14:39"), or that the timers are an earlier copy, or that there is no list at all.
#pragma once

#include <string>
#include "widgets/elided_label.h"

namespace tivolo::app {

class ListStatus : public widgets::ElidedLabel {
  Q_OBJECT

 public:
  explicit ListStatus(QWidget* parent = nullptr);
  // origin: "read 14:39", "earlier copy of 12-11-24 10:00", ...; nothing shown for an empty
  // box (no list was read yet).
  void Show(const std::string& box, int timers, const std::string& origin);
  // While the box's lists are read again: no count, which would be the emptied grid's.
  void ShowReading();
};

// What the status bar says in the second before the program ends after a live save: "Saved:
// 2 changes applied on the box".
std::string SavedLine(int changes);

}  // namespace tivolo::app
