// Writing the Timers table as the box's timer list "timers.new": the declaration, "<timers>",
// per record its timer line (the ten attributes, then the kept ones), its kept child lines
// and "</timer>", then "</timers>"; every line ends with CR LF.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "store/mem_table.h"

namespace tivolo::boxdata {

// The whole file text, the stored records in the table's current order, read through the
// table's view: the cursor stays where it is and a pending change stays pending (a record
// being edited is written as the grid shows it; a new record not yet posted is left out). A Begin
// or End still equal to the value it was read with is written with the seconds it was read with;
// any other is converted with LocalToUtc.
std::string BuildTimerList(store::MemTable& timers, const platform::ClockSettings& clock,
                           const platform::CodePage& code_page = platform::CodePage::System());

// Writes BuildTimerList to local_dir / "timers.new" with platform::ReplaceFile, so a failed
// write leaves any earlier file whole.
// FileCreateError "Cannot create file <path>" on any failure.
void WriteTimerList(store::MemTable& timers, const std::filesystem::path& local_dir,
                    const platform::ClockSettings& clock,
                    const platform::CodePage& code_page = platform::CodePage::System());

// Writes a list's text as local_dir / "timers.new" in the same way.
void WriteTimerListText(std::string_view text, const std::filesystem::path& local_dir);

}  // namespace tivolo::boxdata
