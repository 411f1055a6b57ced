#include "store/order_list.h"

#include <algorithm>
#include <stdexcept>

namespace tivolo::store {

size_t OrderList::BlockOf(size_t pos) const {
  size_t b = last_block_;
  if (b < blocks_.size() && pos >= starts_[b] && pos < starts_[b] + blocks_[b].size()) return b;
  if (++b < blocks_.size() && pos >= starts_[b] && pos < starts_[b] + blocks_[b].size()) {
    last_block_ = b;
    return b;
  }
  auto it = std::upper_bound(starts_.begin(), starts_.end(), pos);
  last_block_ = static_cast<size_t>(it - starts_.begin()) - 1;
  return last_block_;
}

int32_t OrderList::At(size_t pos) const {
  if (pos >= size_) throw std::out_of_range("OrderList::At");
  size_t b = BlockOf(pos);
  return blocks_[b][pos - starts_[b]];
}

void OrderList::Renumber(size_t from_block) {
  for (size_t b = from_block; b < blocks_.size(); ++b) {
    starts_[b] = b == 0 ? 0 : starts_[b - 1] + blocks_[b - 1].size();
  }
}

void OrderList::Insert(size_t pos, int32_t id) {
  if (pos > size_) throw std::out_of_range("OrderList::Insert");
  if (blocks_.empty()) {
    blocks_.emplace_back();
    blocks_.back().reserve(kMaxBlock);
    starts_.push_back(0);
  }
  size_t b = pos == size_ ? blocks_.size() - 1 : BlockOf(pos);
  auto& block = blocks_[b];
  block.insert(block.begin() + static_cast<std::ptrdiff_t>(pos - starts_[b]), id);
  ++size_;
  if (block.size() > kMaxBlock) {
    std::vector<int32_t> upper(block.begin() + kMaxBlock / 2, block.end());
    upper.reserve(kMaxBlock);
    block.resize(kMaxBlock / 2);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
    starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(b) + 1, 0);
  }
  Renumber(b + 1);
}

void OrderList::Erase(size_t pos) {
  if (pos >= size_) throw std::out_of_range("OrderList::Erase");
  size_t b = BlockOf(pos);
  auto& block = blocks_[b];
  block.erase(block.begin() + static_cast<std::ptrdiff_t>(pos - starts_[b]));
  --size_;
  if (block.empty() && blocks_.size() > 1) {
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
    starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(b));
    Renumber(b);
  } else {
    Renumber(b + 1);
  }
}

void OrderList::Clear() {
  blocks_.clear();
  starts_.clear();
  size_ = 0;
}

}  // namespace tivolo::store
