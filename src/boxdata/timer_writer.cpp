#include "boxdata/timer_writer.h"

#include "boxdata/box_tables.h"
#include "boxdata/errors.h"
#include "boxdata/timer_file.h"
#include "platform/safe_file.h"

namespace tivolo::boxdata {
namespace {

constexpr std::string_view kCrLf = "\r\n";

struct TimerFields {
  explicit TimerFields(store::MemTable& t)
      : begin(t.FieldNamed(fields::kBegin)),
        end(t.FieldNamed(fields::kEnd)),
        serviceref(t.FieldNamed(fields::kServiceref)),
        repeated(t.FieldNamed(fields::kRepeatedOrg)),
        name(t.FieldNamed(fields::kName)),
        description(t.FieldNamed(fields::kDescription)),
        afterevent(t.FieldNamed(fields::kAfterevent)),
        eit(t.FieldNamed(fields::kEit)),
        disabled(t.FieldNamed(fields::kDisabled)),
        justplay(t.FieldNamed(fields::kJustplay)),
        extra(t.FieldNamed(fields::kExtraAttributes)),
        children(t.FieldNamed(fields::kChildLines)),
        begin_seconds(t.FieldNamed(fields::kBeginSeconds)),
        end_seconds(t.FieldNamed(fields::kEndSeconds)),
        begin_read(t.FieldNamed(fields::kBeginRead)),
        end_read(t.FieldNamed(fields::kEndRead)) {}
  store::Field &begin, &end, &serviceref, &repeated, &name, &description, &afterevent, &eit,
      &disabled, &justplay, &extra, &children, &begin_seconds, &end_seconds, &begin_read, &end_read;
};

// The seconds the box gets for a time field: those it was read with while the field still
// holds the value they gave (the clock cannot give them back in the repeated hour at the end
// of daylight time), otherwise the conversion of the field's local time.
int64_t Seconds(const store::RecordBuffer& record, const store::Field& value,
                const store::Field& read, const store::Field& seconds,
                const platform::ClockSettings& clock) {
  if (!record.IsNull(value) && !record.IsNull(read) && !record.IsNull(seconds) &&
      record.AsDateTime(value) == record.AsDateTime(read)) {
    return record.AsLargeInt(seconds);
  }
  return platform::DateTimeToEpoch(platform::LocalToUtc(record.AsDateTime(value), clock));
}

}  // namespace

std::string BuildTimerList(store::MemTable& timers, const platform::ClockSettings& clock,
                           const platform::CodePage& code_page) {
  const TimerFields f(timers);
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
    t.begin = std::to_string(Seconds(r, f.begin, f.begin_read, f.begin_seconds, clock));
    t.end = std::to_string(Seconds(r, f.end, f.end_read, f.end_seconds, clock));
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

}  // namespace tivolo::boxdata
