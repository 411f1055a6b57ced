#include "transfer/timer_list_check.h"

#include <algorithm>
#include <optional>

#include "boxdata/box_tables.h"
#include "boxdata/service_reference.h"
#include "boxdata/text_lines.h"
#include "boxdata/timer_file.h"
#include "boxdata/timer_writer.h"

namespace tivolo::transfer {
namespace {

const boxdata::XmlAttribute* FindAttribute(const boxdata::TimerElement& e, std::string_view name) {
  for (const auto& a : e.attributes) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

// What the receiver reads as a number: an optional minus sign and digits, nothing else.
bool IsWholeNumber(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  return !text.empty() && text.size() <= 18 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string TimerLabel(size_t index, std::string_view name) {
  return "timer " + std::to_string(index + 1) + " (" + Quoted(name) + ")";
}

// The fault of one element, empty when there is none.
std::string CheckElement(const boxdata::TimerElement& e, size_t index, const ExpectedTimer& want) {
  const std::string label = TimerLabel(index, want.name);
  if (!e.well_formed || !e.closed) return label + " is not written whole";
  for (std::string_view number : {"begin", "end", "repeated"}) {
    const auto* a = FindAttribute(e, number);
    if (!a) return label + " has no " + std::string(number);
    if (!IsWholeNumber(a->value))
      return label + ": " + std::string(number) + " " + Quoted(a->value) + " is not a whole number";
  }
  const auto* after = FindAttribute(e, "afterevent");
  const std::string after_value = after ? after->value : std::string();
  if (std::find(std::begin(kAfterEvents), std::end(kAfterEvents), after_value) ==
      std::end(kAfterEvents)) {
    return label + ": the after-event " + Quoted(after_value) +
           " is not one of \"nothing\", \"standby\", \"deepstandby\" and \"auto\"";
  }
  const boxdata::TimerValues v = boxdata::ExtractTimerValues(e);
  if (v.begin != want.begin || v.end != want.end)
    return label + " reads back with other begin or end times than the list holds";
  // In the form the reader gives every reference.
  if (v.serviceref != boxdata::UpperReferenceFields(boxdata::TrimControl(want.serviceref)))
    return label + " reads back with the service " + Quoted(v.serviceref) + " instead of " +
           Quoted(want.serviceref);
  return {};
}

}  // namespace

std::vector<ExpectedTimer> ExpectedTimers(store::MemTable& timers,
                                          const platform::ClockSettings& clock,
                                          platform::DateTime now_utc) {
  const boxdata::TimerTimeFields times(timers);
  const store::Field& serviceref = timers.FieldNamed(boxdata::fields::kServiceref);
  const store::Field& name = timers.FieldNamed(boxdata::fields::kName);
  const store::Field& list_index = timers.FieldNamed(boxdata::fields::kListIndex);
  std::vector<ExpectedTimer> out;
  const int rows = timers.RecordCount();
  for (int row = 0; row < rows; ++row) {
    const store::RecordBuffer r = timers.ViewRecordAt(row);
    const boxdata::TimerSeconds seconds = boxdata::WrittenSeconds(r, times, clock, now_utc);
    out.push_back(
        {seconds.begin, seconds.end, r.AsString(serviceref), r.AsString(name),
         r.IsNull(list_index) ? std::nullopt : std::optional<int64_t>(r.AsLargeInt(list_index))});
  }
  return out;
}

std::string CheckWrittenList(std::string_view bytes, const std::vector<ExpectedTimer>& expected) {
  const boxdata::TimerListFile file = boxdata::ParseTimerList(bytes);
  if (!file.has_end_tag) return "the list has no \"</timers>\" at its end";
  if (file.timers.size() != expected.size())
    return "the list reads back with " + std::to_string(file.timers.size()) +
           " timers instead of " + std::to_string(expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::string fault = CheckElement(file.timers[i], i, expected[i]); !fault.empty())
      return fault;
  }
  if (!file.problems.empty()) return file.problems.front();
  return {};
}

}  // namespace tivolo::transfer
