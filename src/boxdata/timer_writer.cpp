#include "boxdata/timer_writer.h"

#include <optional>
#include <utility>

#include "boxdata/box_tables.h"
#include "boxdata/errors.h"
#include "boxdata/timer_file.h"
#include "platform/safe_file.h"

namespace tivolo::boxdata {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// The fields the writer takes as they stand.
struct TextFields {
  explicit TextFields(store::MemTable& t)
      : serviceref(t.FieldNamed(fields::kServiceref)),
        repeated(t.FieldNamed(fields::kRepeatedOrg)),
        name(t.FieldNamed(fields::kName)),
        description(t.FieldNamed(fields::kDescription)),
        afterevent(t.FieldNamed(fields::kAfterevent)),
        eit(t.FieldNamed(fields::kEit)),
        disabled(t.FieldNamed(fields::kDisabled)),
        justplay(t.FieldNamed(fields::kJustplay)),
        extra(t.FieldNamed(fields::kExtraAttributes)),
        children(t.FieldNamed(fields::kChildLines)) {}
  store::Field &serviceref, &repeated, &name, &description, &afterevent, &eit, &disabled, &justplay,
      &extra, &children;
};

bool Unchanged(const store::RecordBuffer& record, const store::Field& value,
               const store::Field& read, const store::Field& seconds) {
  return !record.IsNull(value) && !record.IsNull(read) && !record.IsNull(seconds) &&
         record.AsDateTime(value) == record.AsDateTime(read);
}

// Keeps the table's order for the life of the object while it walks the records in the
// order they were made, which no change of a value can disturb.
class StoredOrder {
 public:
  explicit StoredOrder(store::MemTable& t) : t_(t), names_(t.IndexFieldNames()) {
    t_.SetIndexFieldNames("");
  }
  ~StoredOrder() { t_.SetIndexFieldNames(names_); }
  StoredOrder(const StoredOrder&) = delete;
  StoredOrder& operator=(const StoredOrder&) = delete;

 private:
  store::MemTable& t_;
  std::string names_;
};

struct NewTimes {
  std::optional<platform::DateTime> begin, end, begin_read, end_read;
};

NewTimes Reexpressed(const store::RecordBuffer& r, const TimerTimeFields& f,
                     const platform::ClockSettings& from, const platform::ClockSettings& to,
                     platform::DateTime now_utc) {
  auto local = [&to](int64_t seconds) {
    return platform::UtcToLocal(platform::EpochSecondsToDateTime(seconds), to);
  };
  const TimerSeconds s = WrittenSeconds(r, f, from, now_utc);
  NewTimes n;
  if (!r.IsNull(f.begin)) n.begin = local(s.begin);
  if (!r.IsNull(f.end)) n.end = local(s.end);
  if (!r.IsNull(f.begin_read) && !r.IsNull(f.begin_seconds))
    n.begin_read = local(r.AsLargeInt(f.begin_seconds));
  if (!r.IsNull(f.end_read) && !r.IsNull(f.end_seconds))
    n.end_read = local(r.AsLargeInt(f.end_seconds));
  return n;
}

}  // namespace

TimerTimeFields::TimerTimeFields(const store::MemTable& timers)
    : begin(timers.FieldNamed(fields::kBegin)),
      end(timers.FieldNamed(fields::kEnd)),
      begin_read(timers.FieldNamed(fields::kBeginRead)),
      end_read(timers.FieldNamed(fields::kEndRead)),
      begin_seconds(timers.FieldNamed(fields::kBeginSeconds)),
      end_seconds(timers.FieldNamed(fields::kEndSeconds)) {}

TimerSeconds WrittenSeconds(const store::RecordBuffer& record, const TimerTimeFields& f,
                            const platform::ClockSettings& clock, platform::DateTime now_utc) {
  TimerSeconds s;
  platform::DateTime begin_utc = 0;
  if (Unchanged(record, f.begin, f.begin_read, f.begin_seconds)) {
    s.begin = record.AsLargeInt(f.begin_seconds);
    begin_utc = platform::EpochSecondsToDateTime(s.begin);
  } else {
    begin_utc = platform::LocalToUtcAhead(record.AsDateTime(f.begin), clock, now_utc);
    s.begin = platform::DateTimeToEpoch(begin_utc);
  }
  if (Unchanged(record, f.end, f.end_read, f.end_seconds)) {
    s.end = record.AsLargeInt(f.end_seconds);
  } else {
    s.end = platform::DateTimeToEpoch(platform::LocalToUtcAhead(
        record.AsDateTime(f.end), clock, platform::EndAheadOf(begin_utc, now_utc)));
  }
  return s;
}

std::string BuildTimerList(store::MemTable& timers, const platform::ClockSettings& clock,
                           const platform::CodePage& code_page, platform::DateTime now_utc) {
  const TimerTimeFields times(timers);
  const TextFields f(timers);
  std::string out;
  out += "<?xml version=\"1.0\" ?>";
  out += kCrLf;
  out += "<timers>";
  out += kCrLf;
  // Through the view, not the cursor: a move would end a change still pending and leave the
  // grid on the last record. A new record not posted yet has no place in the order and is
  // left out.
  const int rows = timers.RecordCount();
  for (int row = 0; row < rows; ++row) {
    const store::RecordBuffer r = timers.ViewRecordAt(row);
    TimerText t;
    const TimerSeconds seconds = WrittenSeconds(r, times, clock, now_utc);
    t.begin = std::to_string(seconds.begin);
    t.end = std::to_string(seconds.end);
    t.serviceref = r.AsString(f.serviceref);
    t.repeated = r.AsString(f.repeated);
    t.name = code_page.ToUtf8(r.AsString(f.name));
    t.description = r.AsString(f.description);
    t.afterevent = r.AsString(f.afterevent);
    t.eit = r.AsString(f.eit);
    t.disabled = r.AsString(f.disabled);
    t.justplay = r.AsString(f.justplay);
    t.extra_attributes = r.AsString(f.extra);
    t.child_lines = r.AsString(f.children);
    AppendTimerElement(out, t);
  }
  out += "</timers>";
  out += kCrLf;
  return out;
}

void WriteTimerList(store::MemTable& timers, const std::filesystem::path& local_dir,
                    const platform::ClockSettings& clock, const platform::CodePage& code_page) {
  // The text is complete before any file is touched.
  WriteTimerListText(BuildTimerList(timers, clock, code_page), local_dir);
}

void WriteTimerListText(std::string_view text, const std::filesystem::path& local_dir) {
  const std::filesystem::path target = local_dir / "timers.new";
  try {
    platform::ReplaceFile(target, text);
  } catch (const platform::FileReplaceError&) {
    throw FileCreateError("Cannot create file " + target.string());
  }
}

void ReexpressTimerTimes(store::MemTable& timers, const platform::ClockSettings& from,
                         const platform::ClockSettings& to, platform::DateTime now_utc) {
  if (!timers.Active()) return;
  if (timers.State() != store::DatasetState::kBrowse)
    throw BoxDataError("Timers: the times cannot be converted while a timer is being edited");
  const TimerTimeFields f(timers);
  const ChangeEventsDetached detached(timers);
  const StoredOrder order(timers);
  const int current = timers.ViewCurrentRow();
  const int rows = timers.RecordCount();
  for (int row = 0; row < rows; ++row) {
    const NewTimes n = Reexpressed(timers.ViewRecordAt(row), f, from, to, now_utc);
    timers.ViewMoveToRow(row);
    timers.Edit();
    for (auto [field, value] :
         {std::pair{&f.begin, n.begin}, std::pair{&f.end, n.end},
          std::pair{&f.begin_read, n.begin_read}, std::pair{&f.end_read, n.end_read}}) {
      if (value) timers.FieldNamed(field->FieldName()).SetAsDateTime(*value);
    }
    timers.Post();
  }
  if (current >= 0) timers.ViewMoveToRow(current);
}

}  // namespace tivolo::boxdata
