// Data sources bind a table to its observers: bound controls and the link of every detail
// table whose master source it is. The store knows observers only through DataLink, one
// virtual callback per notification, so a toolkit's controls can bind without the store
// knowing the toolkit. Links may be attached and detached at any time, also from inside a
// callback; a link detached during a notification gets no further callbacks from it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "store/types.h"

namespace tivolo::store {

class DataSource;
class Field;
class MemTable;

class DataLink {
 public:
  DataLink() = default;
  DataLink(const DataLink&) = delete;
  DataLink& operator=(const DataLink&) = delete;
  virtual ~DataLink();  // detaches from its data source

  DataSource* Source() const { return source_; }
  MemTable* DataSet() const;  // the source's table, or null

  // Notifications, in the table's order (each after or before what its name says).
  virtual void StateChanged() {}        // the table's state changed (also open and close)
  virtual void DataSetChanged() {}      // the visible records were re-read or replaced
  virtual void DataSetScrolled() {}     // the cursor moved within the visible records
  virtual void RecordChanged() {}       // Edit started on the current record
  virtual void FieldChanged(Field&) {}  // a field of the pending record was assigned
  virtual void UpdateRecord() {}        // write pending input into the fields now
  virtual void EndPendingChange() {}    // the table is about to post, cancel, delete or move
  virtual void DataSetDetached() {}     // the source lost its table (rebound or destroyed)

  // The rows of the view (MemTable::ViewRecordAt) where the table knows the row, sent in place
  // of DataSetChanged so that a grid keeps its selection and scroll position. An insert, a
  // removal or a move is announced before the table makes it, with the rows as they are then,
  // and reported after it; both name the same rows. Between the two the table may send its
  // state change and the new record's field changes, but no other row notification. A link
  // that does not care gets DataSetChanged after the change, as before.
  virtual void RowAboutToBeInserted(int /*row*/) {}
  virtual void RowInserted(int /*row*/) { DataSetChanged(); }
  virtual void RowAboutToBeRemoved(int /*row*/) {}
  virtual void RowRemoved(int /*row*/) { DataSetChanged(); }
  // The row at `from` goes to `to`, counted among the rows after the move (a posted record
  // taking its place in the order; from == to when it stays).
  virtual void RowAboutToBeMoved(int /*from*/, int /*to*/) {}
  virtual void RowMoved(int /*from*/, int /*to*/) { DataSetChanged(); }
  virtual void RowChanged(int /*row*/) { DataSetChanged(); }

 private:
  friend class DataSource;
  DataSource* source_ = nullptr;
};

class DataSource {
 public:
  explicit DataSource(std::string name = {}, MemTable* table = nullptr);
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;
  ~DataSource();  // unbinds from the table and leaves every link without a source

  const std::string& Name() const { return name_; }
  MemTable* DataSet() const { return table_; }
  void SetDataSet(MemTable* table);

  // Mirrors the table's state; Inactive without a table.
  DatasetState State() const;

  void Attach(DataLink& link);  // no effect when already attached here
  void Detach(DataLink& link);
  const std::vector<DataLink*>& Links() const { return links_; }

  // Called by the table; passes each notification to every link in attach order.
  void NotifyStateChanged();
  void NotifyDataSetChanged();
  void NotifyDataSetScrolled();
  void NotifyRecordChanged();
  void NotifyFieldChanged(Field& field);
  void NotifyUpdateRecord();
  void NotifyEndPendingChange();
  void NotifyRowAboutToBeInserted(int row);
  void NotifyRowInserted(int row);
  void NotifyRowAboutToBeRemoved(int row);
  void NotifyRowRemoved(int row);
  void NotifyRowAboutToBeMoved(int from, int to);
  void NotifyRowMoved(int from, int to);
  void NotifyRowChanged(int row);

  // Optional handlers, run after the links: state changes, and data changes (data set change,
  // scroll, record change, or a field change with its field, null otherwise).
  std::function<void(DataSource&)> OnStateChange;
  std::function<void(DataSource&, Field*)> OnDataChange;

 private:
  friend class MemTable;
  template <class Fn>
  void Dispatch(Fn fn);
  void DropTable();  // the table is going away

  std::string name_;
  MemTable* table_ = nullptr;
  std::vector<DataLink*> links_;
};

}  // namespace tivolo::store
