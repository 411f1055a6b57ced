#include "boxdata/box_reader.h"

#include <algorithm>
#include <unordered_map>

#include "boxdata/bouquet_file.h"
#include "boxdata/errors.h"
#include "boxdata/service_reference.h"
#include "boxdata/text_lines.h"
#include "boxdata/timer_file.h"
#include "platform/now.h"
#include "store/errors.h"

namespace tivolo::boxdata {
namespace {

const platform::CodePage& CodePageOf(const ReadContext& ctx) {
  return ctx.code_page ? *ctx.code_page : platform::CodePage::System();
}

void Log(const ReadContext& ctx, std::string_view line) {
  if (ctx.log) ctx.log(line);
}

void AddFailure(ReadReport& report, const ReadContext& ctx, std::string file,
                const std::exception& e) {
  Log(ctx, e.what());
  report.failures.push_back({std::move(file), e.what(), platform::TypeNameOf(e)});
}

platform::DateTime NowLocal(const ReadContext& ctx) {
  if (ctx.now_local) return *ctx.now_local;
  return platform::NowLocal(ctx.clock);
}

// The channels of one bouquet file; entries that cannot be read are logged and skipped.
std::vector<Channel> ChannelsOf(const BouquetFile& file, const std::string& file_name,
                                const ServiceList& services, const ReadContext& ctx,
                                ReadReport& report) {
  const platform::CodePage& code_page = CodePageOf(ctx);
  std::vector<Channel> channels;
  channels.reserve(file.entries.size());
  for (const BouquetEntry& entry : file.entries) {
    ReferenceFields f;
    try {
      f = ParseReferenceFields(entry.reference);
      if (f.count < 7) throw ConversionError("the reference has fewer than seven fields");
    } catch (const ConversionError& e) {
      ++report.skipped_entries;
      Log(ctx, file_name + " line " + std::to_string(entry.line_number) + ": " + e.what() +
                   "; the entry is skipped");
      continue;
    }
    if (IsMarker(f)) continue;
    Channel c;
    c.service = UpperReferenceFields(entry.reference);
    if (!entry.description.empty()) {
      c.name = ChannelNameFromBox(entry.description, code_page);
    } else if (auto raw = services.NameFor(f.value[3], f.value[6], f.value[4])) {
      c.name = ChannelNameFromBox(*raw, code_page);
    } else {
      c.name = "?";
    }
    channels.push_back(std::move(c));
  }
  return channels;
}

}  // namespace

std::string ChannelNameFromBox(std::string_view utf8, const platform::CodePage& code_page) {
  std::string name = code_page.FromUtf8(utf8);
  std::erase(name, '?');
  return name;
}

ChannelNames ReadBouquets(BoxTables& tables, const ServiceList& services, const ReadContext& ctx,
                          ReadReport& report) {
  ChannelNames names;
  store::MemTable& bouquet = tables.bouquet;
  store::MemTable& zenders = tables.zenders;
  store::Field& bouquet_name = bouquet.FieldNamed(fields::kBouquet);
  store::Field& bouquet_type = bouquet.FieldNamed(fields::kType);
  store::Field& zender = zenders.FieldNamed(fields::kZender);
  store::Field& service = zenders.FieldNamed(fields::kService);
  const struct {
    const char* file;
    int type;
  } kIndexes[] = {{"bouquets.tv", 1}, {"bouquets.radio", 2}};
  for (const auto& index : kIndexes) {
    std::string index_bytes;
    try {
      index_bytes = ReadWholeFile(ctx.local_dir / index.file);
    } catch (const BoxDataError& e) {
      AddFailure(report, ctx, index.file, e);
      continue;
    }
    for (const BouquetIndexEntry& entry : ParseBouquetIndex(index_bytes)) {
      if (entry.unsafe) {
        AddFailure(report, ctx, entry.file_name,
                   FileOpenError(std::string(index.file) + " line " +
                                 std::to_string(entry.line_number) + ": the bouquet file name \"" +
                                 entry.file_name + "\" is not a file in the folder"));
        continue;
      }
      std::string bytes;
      try {
        bytes = ReadWholeFile(ctx.local_dir / entry.file_name);
      } catch (const BoxDataError& e) {
        AddFailure(report, ctx, entry.file_name, e);
        continue;
      }
      const BouquetFile file = ParseBouquetFile(bytes);
      std::vector<Channel> channels = ChannelsOf(file, entry.file_name, services, ctx, report);
      // A bouquet without channels would be removed again at once: it is not added.
      if (channels.empty()) continue;
      bouquet.Append();
      bouquet_name.SetAsString(file.name);
      bouquet_type.SetAsInteger(index.type);
      bouquet.Post();
      ++report.bouquets;
      for (Channel& c : channels) {
        zenders.Append();
        zender.SetAsString(c.name);
        service.SetAsString(c.service);
        zenders.Post();
        ++report.channels;
        names.push_back(std::move(c));
      }
    }
  }
  bouquet.First();
  return names;
}

void ReadTimerListText(BoxTables& tables, std::string_view bytes, const ServiceList& services,
                       const ChannelNames& channels, const ReadContext& ctx, ReadReport& report) {
  store::MemTable& timers = tables.timers;
  const platform::CodePage& code_page = CodePageOf(ctx);
  const TimerListFile file = ParseTimerList(bytes);
  bool whole = file.Complete();
  for (const std::string& problem : file.problems)
    Log(ctx, problem);
  auto field = [&](const char* name) -> store::Field& { return timers.FieldNamed(name); };
  store::Field& begin = field(fields::kBegin);
  store::Field& end = field(fields::kEnd);
  const platform::DateTime oldest_end = NowLocal(ctx) - 1.0;
  // Channel name per timer reference: one pass over the channels, looking up only those whose
  // reference is as long as some timer's (references run to over a thousand characters).
  std::vector<TimerValues> values;
  values.reserve(file.timers.size());
  std::unordered_map<std::string_view, const Channel*> channel_of;
  std::vector<size_t> lengths;
  for (const TimerElement& element : file.timers) {
    values.push_back(ExtractTimerValues(element));
    channel_of.emplace(values.back().serviceref, nullptr);
    lengths.push_back(values.back().serviceref.size());
  }
  std::sort(lengths.begin(), lengths.end());
  for (const Channel& c : channels) {
    if (!std::binary_search(lengths.begin(), lengths.end(), c.service.size())) continue;
    const auto it = channel_of.find(c.service);
    if (it != channel_of.end() && !it->second) it->second = &c;
  }
  for (size_t i = 0; i < file.timers.size(); ++i) {
    Log(ctx, file.timers[i].line);
    const TimerValues& v = values[i];
    timers.Append();
    const platform::DateTime begin_local =
        platform::UtcToLocal(platform::EpochSecondsToDateTime(v.begin.value_or(0)), ctx.clock);
    const platform::DateTime end_local =
        platform::UtcToLocal(platform::EpochSecondsToDateTime(v.end.value_or(0)), ctx.clock);
    begin.SetAsDateTime(begin_local);
    end.SetAsDateTime(end_local);
    field(fields::kBeginRead).SetAsDateTime(begin_local);
    field(fields::kEndRead).SetAsDateTime(end_local);
    if (v.begin) field(fields::kBeginSeconds).SetAsLargeInt(*v.begin);
    if (v.end) field(fields::kEndSeconds).SetAsLargeInt(*v.end);
    field(fields::kListIndex).SetAsLargeInt(static_cast<int64_t>(i));
    // A text the field cannot hold whole (too long, or cut at a NUL) would be written back
    // cut: the timer is not read whole.
    auto keep = [&](const char* name, const std::string& text) {
      store::Field& f = field(name);
      f.SetAsString(text);
      if (f.AsString() == text) return;
      whole = false;
      Log(ctx, "timers.xml line " + std::to_string(file.timers[i].line_number) + ": the " +
                   f.FieldName() + " of the timer does not fit the table");
    };
    keep(fields::kServiceref, v.serviceref);
    keep(fields::kName, code_page.FromUtf8(v.name));
    keep(fields::kDescription, v.description);
    keep(fields::kAfterevent, v.afterevent);
    if (v.eit) field(fields::kEit).SetAsLargeInt(*v.eit);
    field(fields::kRepeatedOrg).SetAsLargeInt(v.repeated);
    field(fields::kDisabled).SetAsLargeInt(v.disabled);
    field(fields::kJustplay).SetAsLargeInt(v.justplay);
    keep(fields::kExtraAttributes, v.extra_attributes);
    keep(fields::kChildLines, v.child_lines);
    std::string channel;
    if (const Channel* c = channel_of.at(v.serviceref)) {
      channel = c->name;
    } else {
      try {
        if (auto raw = services.NameForKey(ServiceKey(v.serviceref))) {
          channel = ChannelNameFromBox(*raw, code_page);
        }
      } catch (const ConversionError&) {
        // A reference without a key names no channel; the timer keeps it as read.
      }
    }
    field(fields::kZender).SetAsString(channel);
    // A repeating timer's end is only its first occurrence: it never counts as ended.
    if (v.repeated == 0 && end.AsDateTime() < oldest_end) {
      timers.Cancel();
      ++report.timers_dropped;
    } else {
      timers.Post();
      ++report.timers;
    }
  }
  report.timer_list = whole ? TimerListState::kComplete : TimerListState::kIncomplete;
}

void ReadTimerList(BoxTables& tables, const ServiceList& services, const ChannelNames& channels,
                   const ReadContext& ctx, ReadReport& report) {
  store::MemTable& timers = tables.timers;
  const ChangeEventsDetached detached(timers);
  const std::filesystem::path path = ctx.local_dir / "timers.xml";
  report.timer_list = TimerListState::kMissing;
  std::error_code ec;
  if (std::filesystem::exists(path, ec) || ec) {
    report.timer_list = TimerListState::kIncomplete;
    try {
      report.timer_list_text = ReadWholeFile(path);
      ReadTimerListText(tables, report.timer_list_text, services, channels, ctx, report);
    } catch (const std::exception& e) {
      if (timers.State() == store::DatasetState::kInsert) timers.Cancel();
      report.timer_list = TimerListState::kIncomplete;
      AddFailure(report, ctx, "timers.xml", e);
    }
  }
  timers.First();
  tables.bouquet.First();
  tables.zenders.First();
}

std::string ReadReport::FailureText() const {
  std::string text;
  for (const FileFailure& failure : failures) {
    if (!text.empty()) text += '\n';
    text += failure.file + ": " + failure.message;
  }
  return text;
}

ReadReport ReadBoxFiles(BoxTables& tables, const ReadContext& ctx, BoxNames* names) {
  ReadReport report;
  BoxNames own;
  BoxNames& kept = names ? *names : own;
  kept = BoxNames{};
  ServiceList& services = kept.services;
  try {
    services = ServiceList::Load(ctx.local_dir);
  } catch (const BoxDataError& e) {
    AddFailure(report, ctx, "lamedb", e);
  }
  ChannelNames& channels = kept.channels;
  try {
    channels = ReadBouquets(tables, services, ctx, report);
  } catch (const std::exception& e) {
    // The store refused a channel: what was read so far stays, the timers are still read.
    for (store::MemTable* t : {&tables.zenders, &tables.bouquet}) {
      if (t->State() == store::DatasetState::kInsert || t->State() == store::DatasetState::kEdit) {
        t->Cancel();
      }
    }
    AddFailure(report, ctx, "bouquets", e);
  }
  ReadTimerList(tables, services, channels, ctx, report);
  return report;
}

ReadReport ReplaceTimerList(BoxTables& tables, std::string_view bytes, const BoxNames& names,
                            const ReadContext& ctx) {
  store::MemTable& timers = tables.timers;
  timers.EndPendingChange();
  while (timers.RecordCount() > 0) {
    timers.First();
    timers.Delete();
  }
  ReadReport report;
  report.timer_list = TimerListState::kIncomplete;
  report.timer_list_text = std::string(bytes);
  const ChangeEventsDetached detached(timers);
  try {
    ReadTimerListText(tables, bytes, names.services, names.channels, ctx, report);
  } catch (const std::exception& e) {
    if (timers.State() == store::DatasetState::kInsert) timers.Cancel();
    report.timer_list = TimerListState::kIncomplete;
    AddFailure(report, ctx, "timers.xml", e);
  }
  timers.First();
  return report;
}

}  // namespace tivolo::boxdata
