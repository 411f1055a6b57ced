// A bound control's window on a table: random access to the visible rows, as a grid needs.
// A thin wrapper over the table's view operations so controls can hold one per binding.
#pragma once

#include "store/mem_table.h"

namespace tivolo::store {

class BoundView {
 public:
  explicit BoundView(MemTable& table) : table_(&table) {}

  MemTable& Table() const { return *table_; }
  int RowCount() const { return table_->ViewRowCount(); }
  RecordBuffer RecordAt(int row) const { return table_->ViewRecordAt(row); }
  int CurrentRow() const { return table_->ViewCurrentRow(); }
  void MoveToRow(int row) const { table_->ViewMoveToRow(row); }

 private:
  MemTable* table_;
};

}  // namespace tivolo::store
