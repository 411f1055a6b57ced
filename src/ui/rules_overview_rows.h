// The preview of every series rule as the rules window's list shows it, without Qt: one row per
// programme a rule would record (or a timer covers already), with the rule, the programme and
// what to look at: covered, found twice, a conflict for the tuners.
#pragma once

#include <string>
#include <vector>

#include "boxdata/autotimer_file.h"
#include "boxdata/box_reader.h"
#include "plan/rules_overview.h"
#include "store/mem_table.h"
#include "ui/guide_rows.h"
#include "ui/timer_conflicts.h"

namespace tivolo::ui {

struct OverviewRow {
  std::string rule;        // the rule's name
  GuideRow row;            // day, times, title, channel
  std::string marks;       // "new timer", "covered by the timer 'X'", "twice: ...", "conflict: ..."
  bool attention = false;  // twice or a conflict
};

struct OverviewRows {
  std::vector<OverviewRow> rows;
  std::string summary;
};

// The enabled rules of `file` against the guide in memory and the stored timers of `timers`;
// `tuners` null (or not known) when the box's tuners are not known. state must hold a guide.
OverviewRows RulesOverviewRows(const GuideState& state, const boxdata::AutoTimerFile& file,
                               store::MemTable& timers, const boxdata::ChannelNames& channels,
                               const TunerContext* tuners, const ClockNow& now);

}  // namespace tivolo::ui
