#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "boxdata/guide_data.h"
#include "boxdata/guide_texts.h"

namespace tivolo::boxdata {
namespace {

constexpr size_t kIdLength = 4;

const GuideData& Empty() {
  static const GuideData empty;
  return empty;
}

[[noreturn]] void FailToRead(const char* what, const std::filesystem::path& path, int err) {
  throw FileOpenError("Cannot " + std::string(what) + " file \"" + path.string() + "\". " +
                      std::strerror(err));
}

}  // namespace

MappedFile::MappedFile(const std::filesystem::path& path, size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) FailToRead("open", path, errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int err = errno;
    ::close(fd);
    FailToRead("read", path, err);
  }
  size_ = std::min(static_cast<size_t>(std::max<off_t>(info.st_size, 0)), limit + 1);
  if (size_ > 0) {
    void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (mapped == MAP_FAILED) {
      const int err = errno;
      ::close(fd);
      FailToRead("read", path, err);
    }
    bytes_ = static_cast<const char*>(mapped);
  }
  ::close(fd);
}

MappedFile::~MappedFile() {
  if (bytes_ != nullptr) ::munmap(const_cast<char*>(bytes_), size_);
}

Guide::Guide() = default;
Guide::~Guide() = default;
Guide::Guide(const Guide&) = default;
Guide& Guide::operator=(const Guide&) = default;
Guide::Guide(Guide&&) noexcept = default;
Guide& Guide::operator=(Guide&&) noexcept = default;
Guide::Guide(std::shared_ptr<const GuideData> data) : data_(std::move(data)) {}

int Guide::Version() const {
  return data_ ? data_->version : 0;
}
bool Guide::BigEndian() const {
  return data_ && data_->big_endian;
}

std::span<const GuideService> Guide::Services() const {
  return (data_ ? *data_ : Empty()).services;
}

std::span<const GuideEvent> Guide::Events() const {
  return (data_ ? *data_ : Empty()).events;
}

std::span<const GuideEvent> Guide::EventsOf(uint32_t service) const {
  const std::span<const GuideService> services = Services();
  if (service >= services.size()) return {};
  const GuideService& s = services[service];
  return Events().subspan(s.first_event, s.event_count);
}

std::span<const GuideEvent> Guide::EventsFrom(uint32_t service, int64_t now) const {
  const std::span<const GuideEvent> all = EventsOf(service);
  // Ends rise with the starts, as the events of a service do not overlap.
  const auto first = std::partition_point(all.begin(), all.end(),
                                          [now](const GuideEvent& e) { return e.End() <= now; });
  return all.subspan(static_cast<size_t>(first - all.begin()));
}

std::string_view Guide::Title(const GuideEvent& e) const {
  return std::string_view(data_->titles).substr(e.title.offset, e.title.length);
}

size_t Guide::TitleBytes() const {
  return data_ ? data_->titles.size() : 0;
}

GuideEventTexts Guide::Texts(const GuideEvent& e) const {
  const DescriptorTable& table = data_->descriptors;
  const std::string_view ids = data_->bytes.substr(e.descriptors, e.descriptor_count * kIdLength);
  std::vector<const DescriptorTable::Slot*> found;
  found.reserve(e.descriptor_count);
  for (size_t at = 0; at + kIdLength <= ids.size(); at += kIdLength)
    found.push_back(table.Find(table.ReadId(ids, at)));
  return ComposeTexts(table, found, Title(e));
}

uint64_t Guide::ShortEventKey(const GuideEvent& e) const {
  const DescriptorTable& table = data_->descriptors;
  const std::string_view ids = data_->bytes.substr(e.descriptors, e.descriptor_count * kIdLength);
  uint64_t key = 0;
  for (size_t at = 0; at + kIdLength <= ids.size(); at += kIdLength) {
    const uint32_t id = table.ReadId(ids, at);
    const DescriptorTable::Slot* slot = table.Find(id);
    if (slot != nullptr && slot->tag == kShortEventTag)
      key = (key + id + 1) * 0x9E3779B97F4A7C15ull;
  }
  return key;
}

size_t Guide::AllocatedBytes() const {
  if (!data_) return 0;
  return (data_->mapped ? data_->bytes.size() : data_->owned.capacity()) +
         data_->descriptors.AllocatedBytes() + data_->services.capacity() * sizeof(GuideService) +
         platform::LargeBlockSize(data_->events.capacity() * sizeof(GuideEvent)) +
         platform::LargeBlockSize(data_->titles.capacity());
}

}  // namespace tivolo::boxdata
