#include "app/list_status.h"

namespace tivolo::app {

ListStatus::ListStatus(QWidget* parent) : widgets::ElidedLabel(parent) {
  setObjectName("ListStatus");
}

void ListStatus::Show(const std::string& box, int timers, const std::string& origin) {
  if (box.empty()) {
    clear();
    return;
  }
  std::string text =
      "Box " + box + " - " + std::to_string(timers) + (timers == 1 ? " timer" : " timers");
  if (!origin.empty()) text += " - " + origin;
  setText(QString::fromStdString(text));
}

void ListStatus::ShowReading() {
  setText(QStringLiteral("Reading the box's lists\u2026"));
}

std::string SavedLine(int changes) {
  return "Saved: " + std::to_string(changes) + (changes == 1 ? " change" : " changes") +
         " applied on the box";
}

}  // namespace tivolo::app
