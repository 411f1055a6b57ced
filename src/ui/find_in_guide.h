// "Find in guide": the user types part of a title and sees every programme on the user's
// channels whose title holds it, by time, with the channel's name; programmes a timer already
// covers are marked. Choosing one (double click, Enter, or "&Add timer") adds a timer for it
// through the timer list's append flow, so the editor opens and a saved timer counts as a
// change; the window stays open for the next one. Tests reach its controls by object name.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "boxdata/box_reader.h"
#include "ui/fixed_dialog.h"
#include "ui/timer_session.h"

class QLabel;
class QLineEdit;
class QTimer;

namespace tivolo::ui {

class GuideList;

class FindInGuide : public FixedDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 720;
  static constexpr int kHeight = 480;
  // Typing settles this long before the search runs.
  static constexpr int kTypingDelayMs = 150;
  // More rows than anyone reads; the count says when the list is cut.
  static constexpr size_t kMaxRows = 500;

  using AddTimer = std::function<void(const std::string& zender, const std::string& service,
                                      const boxdata::TimerFromEvent& timer)>;

  // session.guide must hold a guide. channels: the bouquets' channels, which name the
  // programmes' services and give the timers their channel.
  FindInGuide(QWidget* owner, TimerSession& session, boxdata::ChannelNames channels,
              AddTimer add_timer);
  ~FindInGuide() override;

  void Search();
  void AddExecute();
  void CloseExecute();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void MarkCovered();

  TimerSession& session_;
  std::shared_ptr<const GuideState> state_;
  boxdata::ChannelNames channels_;
  std::vector<int32_t> channel_of_service_;
  std::vector<bool> covered_;
  AddTimer add_timer_;
  QLineEdit* text_ = nullptr;
  QLabel* count_ = nullptr;
  GuideList* list_ = nullptr;
  QTimer* typing_timer_ = nullptr;
};

}  // namespace tivolo::ui
