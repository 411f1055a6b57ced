// A read-only grid over a record table: whole-row selection, column widths in average
// character widths of its font, the current row following the table's current record, and a
// chosen row moving the table's cursor.
#pragma once

#include <QTableView>
#include <string>
#include <vector>

#include "widgets/table_model.h"

namespace tivolo::widgets {

class RecordGrid : public QTableView {
  Q_OBJECT

 public:
  explicit RecordGrid(QWidget* parent = nullptr);
  ~RecordGrid() override;

  // Shows the source's table with these columns; a second call replaces the first binding.
  void Bind(store::DataSource& source, std::vector<Column> columns);
  TableModel* Model() const { return model_; }

  // Pixel width of a column of `chars` average characters in the grid's font.
  int ColumnPixels(int chars) const;
  // Sets every column's width again (after a font change or new titles).
  void ApplyColumnWidths();

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int DatePixels(const std::string& format) const;
  void FitWidths(std::vector<int>& widths, const std::vector<int>& titles) const;
  void FollowTable(int row);
  void RowChosen(const QModelIndex& current);

  TableModel* model_ = nullptr;
  bool following_ = false;  // selecting the table's row, not the user's choice
};

}  // namespace tivolo::widgets
