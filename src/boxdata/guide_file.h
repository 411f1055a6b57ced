// The receiver's programme guide, epg.dat, as its guide cache writes it at a clean shutdown:
//
//   magic 0x98765432 (32 bits, in the writer's byte order: boxes of both orders exist)
//   13 bytes "ENIGMA_EPG_V8" (or V7; "UNFINISHED_V8" while the file is being written)
//   service count; per service its key (service id, original network id, transport stream
//   id: 32 bits each) and its event count; per event its type (16 bits in V8, 8 in V7), one
//   byte of length, the 10 bytes of the broadcast event header (event id, start as Modified
//   Julian Date and BCD time in UTC, BCD duration) and (length - 10) / 4 descriptor ids
//   then the descriptor pool: a count, and per descriptor its id, a reference count and the
//   descriptor itself (tag, length, data).
//
// Titles and short texts come from the short event descriptors (0x4D), the long text from the
// extended ones (0x4E), combined and decoded as the receiver does (dvb_text.h). Titles are
// decoded when the file is read (every list and the search needs them), the other texts when
// an event's are asked for. Per service
// the events are kept in time order without overlaps, as the receiver keeps them after
// loading: of two events with the same start the later in the file, and no event that starts
// before the one before it ends or that lasts no time (nor one whose time is not a time).
//
// The reader trusts no count and no length: each is checked against the bytes left, so a cut
// or damaged file raises GuideDamaged instead of reading past its end, and no container is
// sized from a number the file states before the bytes that number needs are there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/errors.h"

namespace tivolo::boxdata {

// Not a guide file, or one in a layout we do not know.
class GuideFormatError : public BoxDataError {
 public:
  using BoxDataError::BoxDataError;
  std::string TypeName() const override { return "GuideFormatError"; }
};

// A guide file that ends early or whose counts and lengths do not fit its size.
class GuideDamaged : public GuideFormatError {
 public:
  using GuideFormatError::GuideFormatError;
  std::string TypeName() const override { return "GuideDamaged"; }
};

// A file the receiver was still writing when it was copied (its header says "UNFINISHED").
class GuideUnfinished : public GuideFormatError {
 public:
  using GuideFormatError::GuideFormatError;
  std::string TypeName() const override { return "GuideUnfinished"; }
};

// A service of the guide: the receiver's key, which has no namespace.
struct GuideServiceKey {
  uint32_t service_id = 0;
  uint32_t transport_stream_id = 0;
  uint32_t original_network_id = 0;
  friend bool operator==(const GuideServiceKey&, const GuideServiceKey&) = default;
};

// A piece of the guide's titles.
struct TextSpan {
  uint32_t offset = 0;
  uint32_t length = 0;
};

struct GuideEvent {
  uint32_t begin = 0;    // seconds since 1970 UTC (the file's dates end in 2038)
  int32_t duration = 0;  // seconds, always more than 0
  uint32_t service = 0;  // index into Guide::Services()
  uint16_t event_id = 0;
  // Where its descriptor ids stand in the file, and how many: its other texts are decoded
  // from them when asked for (Guide::Texts).
  uint8_t descriptor_count = 0;
  uint32_t descriptors = 0;
  TextSpan title;
  int64_t End() const { return int64_t{begin} + duration; }
};

struct GuideService {
  GuideServiceKey key;
  uint32_t first_event = 0;  // its events are Events()[first_event, first_event + event_count)
  uint32_t event_count = 0;
};

// An event's texts as the receiver shows them.
struct GuideEventTexts {
  std::string title;
  std::string short_text;
  std::string extended_text;
};

class GuideData;

// A guide as read: its services and events with their titles, ready at once, and what the
// other texts are decoded from when an event's are asked for (the file itself stays mapped).
// Copies share one guide; a default Guide is empty.
class Guide {
 public:
  Guide();
  ~Guide();
  Guide(const Guide&);
  Guide& operator=(const Guide&);
  Guide(Guide&&) noexcept;
  Guide& operator=(Guide&&) noexcept;

  int Version() const;
  bool BigEndian() const;

  // In key order (service id, transport stream id, original network id).
  std::span<const GuideService> Services() const;
  // All events, service after service, each service's in time order.
  std::span<const GuideEvent> Events() const;
  std::span<const GuideEvent> EventsOf(uint32_t service) const;
  // The events of a service that have not ended at `now` (UTC seconds).
  std::span<const GuideEvent> EventsFrom(uint32_t service, int64_t now) const;

  std::string_view Title(const GuideEvent& e) const;
  // The size of the block every title lies in.
  size_t TitleBytes() const;
  // Title, short text and long text, put together and decoded now.
  GuideEventTexts Texts(const GuideEvent& e) const;
  // A number that stands for the event's short event descriptors (title and short text),
  // without decoding them: the receiver keeps one descriptor per distinct content, so two
  // events with the same key have the same title and short text (0: it has none).
  uint64_t ShortEventKey(const GuideEvent& e) const;

  // What the guide holds in memory, the mapped file included.
  size_t AllocatedBytes() const;

 private:
  friend class GuideReader;
  explicit Guide(std::shared_ptr<const GuideData> data);
  std::shared_ptr<const GuideData> data_;
};

// What a read found besides the guide itself.
struct GuideReadReport {
  size_t events_in_file = 0;
  size_t events_dropped = 0;        // overlapping, same start, no duration or before 1970
  size_t missing_descriptors = 0;   // references to ids the pool does not hold
  size_t peak_allocated_bytes = 0;  // the most the reader held at once, the file included
};

// The guide in `bytes`. GuideFormatError, GuideDamaged or GuideUnfinished when it cannot be
// read; nothing of a damaged file is kept.
Guide ReadGuide(std::string_view bytes, GuideReadReport* report = nullptr);
// The same for a file; FileOpenError when it cannot be read.
Guide LoadGuide(const std::filesystem::path& path, GuideReadReport* report = nullptr);

}  // namespace tivolo::boxdata
