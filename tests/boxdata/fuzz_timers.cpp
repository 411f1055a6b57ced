// Timer list: any bytes are read without a crash, and what is written of them is always well
// formed XML. A list read as complete and written back reads again as complete, with the same
// timers and the same values, and writes back a text of the same length (timers with the same
// begin and end may change places).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "boxdata/box_reader.h"
#include "boxdata/box_tables.h"
#include "boxdata/timer_writer.h"
#include "boxdata/xml_scan.h"
#include "boxdata/xml_text.h"

using namespace tivolo;
using namespace tivolo::boxdata;

namespace {

const platform::CodePage& Utf8() {
  static const platform::CodePage page("UTF-8");
  return page;
}

ReadContext Context() {
  ReadContext ctx;
  ctx.clock.utc_auto = false;
  ctx.clock.utc_offset = 0;
  ctx.code_page = &Utf8();
  ctx.now_local = 45600.0;  // fixed, so the "ended a day ago" rule drops the same timers
  return ctx;
}

// Every stored field of every row. Sorted: rows with the same begin and end may come in
// either order.
std::string Dump(store::MemTable& t) {
  static constexpr const char* kFields[] = {
      fields::kZender,      fields::kName,       fields::kBegin,          fields::kEnd,
      fields::kAfterevent,  fields::kJustplay,   fields::kDisabled,       fields::kServiceref,
      fields::kDescription, fields::kEit,        fields::kRepeatedOrg,    fields::kBeginSeconds,
      fields::kEndSeconds,  fields::kChildLines, fields::kExtraAttributes};
  std::vector<std::string> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    std::string out;
    for (const char* name : kFields) {
      const store::Field& f = t.FieldNamed(name);
      if (f.DataType() == store::FieldType::kDateTime && !f.IsNull()) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", f.AsDateTime());
        out += text;
      } else {
        out += f.AsString();
      }
      out += '|';
    }
    rows.push_back(std::move(out));
  }
  std::sort(rows.begin(), rows.end());
  std::string all;
  for (const std::string& row : rows)
    all += row + '\n';
  return all;
}

struct Reading {
  BoxTables tables;
  ReadReport report;
  bool read = false;  // false when the store refused a value (a time out of its range)
};

void Read(std::string_view bytes, Reading& r) {
  r.tables.Open();
  try {
    ReadTimerListText(r.tables, bytes, ServiceList(), ChannelNames(), Context(), r.report);
    r.read = true;
  } catch (const std::exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Reading first;
  Read(bytes, first);
  if (first.read) {
    const std::string text = BuildTimerList(first.tables.timers, Context().clock, Utf8());
    if (!IsWellFormedXml(text)) std::abort();
    if (first.report.TimerListComplete()) {
      Reading second;
      Read(text, second);
      if (!second.read || !second.report.TimerListComplete()) std::abort();
      if (Dump(first.tables.timers) != Dump(second.tables.timers)) std::abort();
      const std::string again = BuildTimerList(second.tables.timers, Context().clock, Utf8());
      if (again.size() != text.size()) std::abort();
    }
  }
  // Escaped text holds no character XML forbids and decodes to a stable value.
  const std::string escaped = XmlEscape(bytes);
  for (unsigned char c : escaped) {
    if (c < 0x20) std::abort();
  }
  if (XmlEscape(XmlUnescape(escaped)) != escaped) std::abort();
  return 0;
}
