// Reading the box's files from the program's folder into the three tables at start-up:
// the service list, then the bouquets, then the timer list. A file that cannot be read is
// reported and skipped; the timer list is read whatever else failed.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/box_tables.h"
#include "boxdata/service_list.h"
#include "platform/clock.h"
#include "platform/code_page.h"

namespace tivolo::boxdata {

struct ReadContext {
  std::filesystem::path local_dir;  // the folder holding the local copies
  platform::ClockSettings clock;
  const platform::CodePage* code_page = nullptr;  // CodePage::System() when null
  std::function<void(std::string_view)> log;      // the start-up log; may be empty
  // The current local time for the "ended a day ago" rule; taken from the clock when empty.
  std::optional<platform::DateTime> now_local;
};

struct FileFailure {
  std::string file;  // name within the folder, such as "lamedb"
  std::string message;
  std::string type_name;
};

enum class TimerListState {
  kComplete,    // read to its "</timers>", every timer whole
  kMissing,     // no "timers.xml" in the folder
  kIncomplete,  // cut off, malformed or not readable: saving would lose timers
};

struct ReadReport {
  std::vector<FileFailure> failures;
  TimerListState timer_list = TimerListState::kMissing;
  int bouquets = 0;
  int channels = 0;
  int skipped_entries = 0;  // bouquet entries whose reference could not be read
  int timers = 0;           // timers in the table
  int timers_dropped = 0;   // single timers that ended over a day ago
  // The timer list's text as read: what the box held, for merging a save with it.
  std::string timer_list_text;
  bool TimerListComplete() const { return timer_list == TimerListState::kComplete; }
  // Every failure as "file: message", one a line, for an error box.
  std::string FailureText() const;
};

// The channels of all bouquets in reading order (bouquets in order, then file order), for
// naming timers: the first channel with a timer's reference gives its name.
struct Channel {
  std::string service;  // as stored in Zenders.Service
  std::string name;     // as given to Zenders.Zender
};
using ChannelNames = std::vector<Channel>;

// Fills Bouquet and Zenders from "bouquets.tv" (Type 1) and "bouquets.radio" (Type 2) and
// the bouquet files they name; bouquets without channels are left out. Failures are added
// to the report and written to the log. Leaves Bouquet on its first record.
ChannelNames ReadBouquets(BoxTables& tables, const ServiceList& services, const ReadContext& ctx,
                          ReadReport& report);

// Fills Timers from "timers.xml", with Timers' AfterInsert detached meanwhile. Each timer line
// goes to the log. Single timers that ended over a day ago are dropped.
void ReadTimerList(BoxTables& tables, const ServiceList& services, const ChannelNames& channels,
                   const ReadContext& ctx, ReadReport& report);

// ReadTimerList's work on the text of a timer list: appends its timers to Timers (with
// AfterInsert as the caller left it) and sets report.timer_list to kComplete or kIncomplete.
// The list is complete only when every timer of the text became a row or was dropped as
// ended, each whole. Errors of the store propagate.
void ReadTimerListText(BoxTables& tables, std::string_view bytes, const ServiceList& services,
                       const ChannelNames& channels, const ReadContext& ctx, ReadReport& report);

// What names the channels of timers: the service list and the bouquets' channels.
struct BoxNames {
  ServiceList services;
  ChannelNames channels;
};

// The three steps; the tables must be open and empty. The names read are kept in *names when
// given, for reading another timer list later.
ReadReport ReadBoxFiles(BoxTables& tables, const ReadContext& ctx, BoxNames* names = nullptr);

// Empties Timers and fills it from the text of a timer list (a list just put on the box).
ReadReport ReplaceTimerList(BoxTables& tables, std::string_view bytes, const BoxNames& names,
                            const ReadContext& ctx);

// A name from the box (UTF-8) as the program shows it: through the code page, then without
// any "?" (the mark of a character the code page lacks).
std::string ChannelNameFromBox(std::string_view utf8, const platform::CodePage& code_page);

}  // namespace tivolo::boxdata
