#include "store/data_source.h"

#include <algorithm>
#include <array>

#include "store/mem_table.h"

namespace tivolo::store {

DataLink::~DataLink() {
  if (source_) source_->Detach(*this);
}

MemTable* DataLink::DataSet() const {
  return source_ ? source_->DataSet() : nullptr;
}

DataSource::DataSource(std::string name, MemTable* table) : name_(std::move(name)) {
  SetDataSet(table);
}

DataSource::~DataSource() {
  SetDataSet(nullptr);
  for (DataLink* link : links_)
    link->source_ = nullptr;
  links_.clear();
}

void DataSource::SetDataSet(MemTable* table) {
  if (table == table_) return;
  if (table_) {
    auto& list = table_->sources_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  table_ = table;
  if (table_) table_->sources_.push_back(this);
  Dispatch([](DataLink& link) { link.DataSetDetached(); });
  NotifyStateChanged();
}

void DataSource::DropTable() {
  table_ = nullptr;
  Dispatch([](DataLink& link) { link.DataSetDetached(); });
}

DatasetState DataSource::State() const {
  return table_ ? table_->State() : DatasetState::kInactive;
}

void DataSource::Attach(DataLink& link) {
  if (link.source_ == this) return;
  if (link.source_) link.source_->Detach(link);
  link.source_ = this;
  links_.push_back(&link);
}

void DataSource::Detach(DataLink& link) {
  if (link.source_ != this) return;
  links_.erase(std::remove(links_.begin(), links_.end(), &link), links_.end());
  link.source_ = nullptr;
}

// Callbacks may attach and detach links, or destroy them; each link still attached when its
// turn comes is called once.
template <class Fn>
void DataSource::Dispatch(Fn fn) {
  size_t n = links_.size();
  if (n == 0) return;
  if (n == 1) {
    fn(*links_[0]);
    return;
  }
  std::array<DataLink*, 8> small;
  std::vector<DataLink*> large;
  DataLink** copy = small.data();
  if (n > small.size()) {
    large = links_;
    copy = large.data();
  } else {
    std::copy(links_.begin(), links_.end(), small.begin());
  }
  for (size_t i = 0; i < n; ++i) {
    if (std::find(links_.begin(), links_.end(), copy[i]) != links_.end()) fn(*copy[i]);
  }
}

void DataSource::NotifyStateChanged() {
  Dispatch([](DataLink& link) { link.StateChanged(); });
  if (OnStateChange) OnStateChange(*this);
}

void DataSource::NotifyDataSetChanged() {
  Dispatch([](DataLink& link) { link.DataSetChanged(); });
  if (OnDataChange) OnDataChange(*this, nullptr);
}

void DataSource::NotifyDataSetScrolled() {
  Dispatch([](DataLink& link) { link.DataSetScrolled(); });
  if (OnDataChange) OnDataChange(*this, nullptr);
}

void DataSource::NotifyRecordChanged() {
  Dispatch([](DataLink& link) { link.RecordChanged(); });
  if (OnDataChange) OnDataChange(*this, nullptr);
}

void DataSource::NotifyFieldChanged(Field& field) {
  Dispatch([&field](DataLink& link) { link.FieldChanged(field); });
  if (OnDataChange) OnDataChange(*this, &field);
}

void DataSource::NotifyUpdateRecord() {
  Dispatch([](DataLink& link) { link.UpdateRecord(); });
}

void DataSource::NotifyEndPendingChange() {
  Dispatch([](DataLink& link) { link.EndPendingChange(); });
}

// Announcements reach the links only; the reports after a change are data set changes to the
// OnDataChange handler.
void DataSource::NotifyRowAboutToBeInserted(int row) {
  Dispatch([row](DataLink& link) { link.RowAboutToBeInserted(row); });
}

void DataSource::NotifyRowAboutToBeRemoved(int row) {
  Dispatch([row](DataLink& link) { link.RowAboutToBeRemoved(row); });
}

void DataSource::NotifyRowAboutToBeMoved(int from, int to) {
  Dispatch([from, to](DataLink& link) { link.RowAboutToBeMoved(from, to); });
}

void DataSource::NotifyRowInserted(int row) {
  Dispatch([row](DataLink& link) { link.RowInserted(row); });
  if (OnDataChange) OnDataChange(*this, nullptr);
}

void DataSource::NotifyRowRemoved(int row) {
  Dispatch([row](DataLink& link) { link.RowRemoved(row); });
  if (OnDataChange) OnDataChange(*this, nullptr);
}

void DataSource::NotifyRowMoved(int from, int to) {
  Dispatch([from, to](DataLink& link) { link.RowMoved(from, to); });
  if (OnDataChange) OnDataChange(*this, nullptr);
}

void DataSource::NotifyRowChanged(int row) {
  Dispatch([row](DataLink& link) { link.RowChanged(row); });
  if (OnDataChange) OnDataChange(*this, nullptr);
}

}  // namespace tivolo::store
