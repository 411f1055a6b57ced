// A read-only grid over a record table: whole-row selection, column widths in average
// character widths of its font, the current row following the table's current record, and a
// chosen row moving the table's cursor. Optionally it shows the table through a sorting and
// filtering proxy: the order and the rows shown are then the view's alone, and the grid maps
// its rows to the table's, so that the table's current record is always the row the user sees
// selected.
#pragma once

#include <QTableView>
#include <QTimer>
#include <limits>
#include <string>
#include <vector>

#include "widgets/table_model.h"

class QSortFilterProxyModel;

namespace tivolo::widgets {

class RecordGrid : public QTableView {
  Q_OBJECT

 public:
  explicit RecordGrid(QWidget* parent = nullptr);
  ~RecordGrid() override;

  // Shows the source's table with these columns; a second call replaces the first binding.
  void Bind(store::DataSource& source, std::vector<Column> columns);
  // Shows model, through proxy when given; the grid takes both over (and sets the proxy's
  // source). A second call replaces the first binding.
  void Bind(TableModel* model, QSortFilterProxyModel* proxy);
  TableModel* Model() const { return model_; }
  QSortFilterProxyModel* Proxy() const { return proxy_; }

  // The grid's row of a table row and back; -1 for a row the other side does not show.
  int ViewRow(int table_row) const;
  int TableRow(int view_row) const;

  // The column takes whatever width the others leave, as the grid grows and shrinks, but never
  // less than its own characters (or the width the user gave it): when the columns are wider
  // than the grid, a horizontal scroll bar shows. Every other text column is as wide as its
  // widest value (or its title), so that none is cut. Without one the columns keep their
  // widths and the one of most characters gives up what does not fit. Every border can be
  // dragged.
  void SetFillColumn(int column);
  // A width the user chose (by dragging, or kept from an earlier run): applied as it is and
  // no longer fitted to the values (the fill column still fills what is left beyond it).
  // 0 for a column without one.
  void KeepWidth(int column, int pixels);
  // The grid's width that shows every column whole, the fill column at its least, with the
  // room of the frame and a vertical scroll bar.
  int WidthForAllColumns();
  // While held, the columns keep their widths: a list emptied and read again does not make
  // them narrow and wide again. Released, they fit what the rows then hold.
  void HoldWidths(bool hold);
  // Selects the table's current record again, after the rows shown changed under it.
  void ShowCurrent();
  // Shows or hides a column. Its width stays the grid's to fit: Qt's restoring of a shown
  // section's old size is not taken for a width the user chose.
  void SetColumnShown(int column, bool shown);
  int KeptWidth(int column) const;

  // Pixel width of a column of `chars` average characters in the grid's font.
  int ColumnPixels(int chars) const;
  // Sets every column's width again (after a font change or new titles).
  void ApplyColumnWidths();

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  int DatePixels(const std::string& format) const;
  int BaseWidth(int column, int title_width) const;
  // The fill column's width: what the others leave, at least its own least width.
  void FillRest();
  int FillLeast() const;
  void FitWidths(std::vector<int>& widths, const std::vector<int>& titles) const;
  bool MeasuredColumn(int column) const;
  // Measures the values of table rows first to last as soon as the event loop runs; all rows
  // afresh when `afresh`.
  void MeasureLater(int first, int last, bool afresh);
  void MeasurePending();
  // Widens content_ to the rows' values (after forgetting the old ones when `afresh`); true
  // when a column became wider.
  bool MeasureRows(int first, int last, bool afresh);
  void SectionResized(int column, int new_size);
  void FollowTable(int row);
  void RowChosen(const QModelIndex& current);

  TableModel* model_ = nullptr;
  QSortFilterProxyModel* proxy_ = nullptr;
  bool following_ = false;  // selecting the table's row, not the user's choice
  int fill_column_ = -1;
  bool applying_ = false;     // setting widths, not the user dragging them
  bool held_ = false;         // HoldWidths
  std::vector<int> content_;  // per column: widest value in pixels, when fitted
  struct PendingMeasure {
    int first = std::numeric_limits<int>::max();
    int last = -1;
    bool afresh = false;
  };
  PendingMeasure pending_;
  QTimer measure_timer_;
  std::vector<int> kept_;  // per column: the user's width, 0 for none
};

}  // namespace tivolo::widgets
