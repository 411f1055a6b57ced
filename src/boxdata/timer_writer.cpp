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
int64_t Seconds(const store::Field& value, const store::Field& read, const store::Field& seconds,
                const platform::ClockSettings& clock) {
  if (!value.IsNull() && !read.IsNull() && !seconds.IsNull() &&
      value.AsDateTime() == read.AsDateTime()) {
    return seconds.AsLargeInt();
  }
  return platform::DateTimeToEpoch(platform::LocalToUtc(value.AsDateTime(), clock));
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
  for (timers.First(); !timers.Eof(); timers.Next()) {
    TimerText t;
    t.begin = std::to_string(Seconds(f.begin, f.begin_read, f.begin_seconds, clock));
    t.end = std::to_string(Seconds(f.end, f.end_read, f.end_seconds, clock));
    t.serviceref = f.serviceref.AsString();
    t.repeated = f.repeated.AsString();
    t.name = code_page.ToUtf8(f.name.AsString());
    t.description = f.description.AsString();
    t.afterevent = f.afterevent.AsString();
    t.eit = f.eit.AsString();
    t.disabled = f.disabled.AsString();
    t.justplay = f.justplay.AsString();
    t.extra_attributes = f.extra.AsString();
    t.child_lines = f.children.AsString();
    AppendTimerElement(out, t);
  }
  out += "</timers>";
  out += kCrLf;
  return out;
}

void WriteTimerList(store::MemTable& timers, const std::filesystem::path& local_dir,
                    const platform::ClockSettings& clock, const platform::CodePage& code_page) {
  // The text is complete before any file is touched.
  const std::string text = BuildTimerList(timers, clock, code_page);
  const std::filesystem::path target = local_dir / "timers.new";
  try {
    platform::ReplaceFile(target, text);
  } catch (const platform::FileReplaceError&) {
    throw FileCreateError("Cannot create file " + target.string());
  }
}

}  // namespace tivolo::boxdata
