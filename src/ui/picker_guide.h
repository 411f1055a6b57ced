// The channel picker's guide: below its two lists, the programmes of the current channel that
// have not ended, from the guide file, or from the box's web interface when the file is
// missing or more than a day old and the box has one. It follows the Zenders table's current
// record; choosing a programme (double click or Enter) hands over the new timer it makes.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "boxdata/guide_link.h"
#include "ui/timer_session.h"

class QLabel;
class QTimer;

namespace tivolo::ui {

class GuideList;

class PickerGuide : public QWidget {
  Q_OBJECT

 public:
  // Wait after a change of channel before the web interface is asked, so that walking the
  // channel list with the arrow keys does not send a request per channel.
  static constexpr int kWebDelayMs = 250;

  // Whether the picker shows a guide at all: the guide fetch has ended and there is a guide
  // file or a web interface to ask.
  static bool Available(const TimerSession& session);

  PickerGuide(TimerSession& session, QWidget* parent);
  ~PickerGuide() override;

  GuideList* List() const { return list_; }
  // The channel the rows belong to (name and service reference).
  const std::string& Channel() const { return zender_; }
  const std::string& Service() const { return service_; }

 signals:
  // A programme was chosen: the timer it makes on the channel the rows belong to.
  void Chosen(const boxdata::TimerFromEvent& timer);

 private:
  class ChannelLink;

  void ShowChannel();
  void AskWebInterface();
  void ShowWebRows(std::optional<std::vector<boxdata::ProgrammeEvent>> events);
  void ChooseRow(int row);
  void SetNote(const std::string& source, bool empty);

  TimerSession& session_;
  std::shared_ptr<const GuideState> state_;
  std::unique_ptr<ChannelLink> link_;
  std::vector<boxdata::TimerSpan> timers_;  // the table's timers, for the marks
  bool use_web_ = false;
  int web_request_ = 0;  // the number of the request whose answer is awaited
  std::string zender_;
  std::string service_;
  QLabel* note_ = nullptr;
  GuideList* list_ = nullptr;
  QTimer* follow_timer_ = nullptr;
  QTimer* web_timer_ = nullptr;
};

}  // namespace tivolo::ui
