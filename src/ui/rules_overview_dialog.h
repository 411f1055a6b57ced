// "Preview all rules": what every enabled series rule would add to the box's list now, one
// row per programme with its rule, and the rows to look at marked: covered by a timer already,
// found twice, or in a conflict for the tuners. Only shows; Close ends it. Tests reach its
// controls by object name.
#pragma once

#include "boxdata/box_reader.h"
#include "ui/fixed_dialog.h"
#include "ui/timer_conflicts.h"
#include "ui/timer_session.h"

class QLabel;
class QTreeWidget;

namespace tivolo::ui {

class RulesOverviewDialog : public FixedDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 900;
  static constexpr int kHeight = 480;

  // session.rules must be set; tuners null when the box's tuners are not known.
  RulesOverviewDialog(QWidget* owner, TimerSession& session, const boxdata::ChannelNames& channels,
                      const TunerContext* tuners);

 private:
  void Fill(TimerSession& session, const boxdata::ChannelNames& channels,
            const TunerContext* tuners);

  QLabel* summary_ = nullptr;
  QTreeWidget* list_ = nullptr;
};

}  // namespace tivolo::ui
