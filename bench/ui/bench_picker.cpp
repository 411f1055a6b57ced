// Switching the channel picker between the bouquets of the large real set: the bouquet
// grid's current row moves the Bouquet cursor, the master-detail link re-reads the channels,
// and the channel grid's model and view follow and paint. Each iteration is one switch.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <cstdlib>
#include <memory>

#include "boxdata/box_reader.h"
#include "platform/code_page.h"
#include "ui/channel_picker.h"
#include "widgets/record_grid.h"

namespace {

using namespace tivolo;

struct PickerOverLargeSet {
  PickerOverLargeSet() {
    tables.Open();
    boxdata::ReadContext ctx;
    ctx.local_dir = std::string(TIVOLO_REAL_DATA_DIR) + "/dekoderymailZgemma-enigma2-update";
    static const platform::CodePage utf8("UTF-8");
    ctx.code_page = &utf8;
    boxdata::ReadBoxFiles(tables, ctx);
    session.tables = &tables;
    picker = std::make_unique<ui::ChannelPicker>(nullptr, session);
    picker->show();
    QApplication::processEvents();
    // The largest bouquet, so that a switch to it and away can be measured on its own.
    int most = -1;
    for (tables.bouquet.First(); !tables.bouquet.Eof(); tables.bouquet.Next()) {
      ++rows;
      if (tables.zenders.RecordCount() > most) {
        most = tables.zenders.RecordCount();
        largest = rows - 1;
      }
    }
    largest_channels = most;
    tables.bouquet.First();
  }

  void SwitchTo(int row) {
    auto* grid = picker->findChild<widgets::RecordGrid*>("BouquetGrid");
    grid->selectionModel()->setCurrentIndex(
        grid->model()->index(row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    picker->findChild<widgets::RecordGrid*>("ChannelGrid")->viewport()->repaint();
  }

  boxdata::BoxTables tables;
  ui::TimerSession session;
  std::unique_ptr<ui::ChannelPicker> picker;
  int rows = 0;
  int largest = 0;
  int largest_channels = 0;
};

PickerOverLargeSet& Fixture() {
  static PickerOverLargeSet f;
  return f;
}

void BM_SwitchThroughEveryBouquet(benchmark::State& state) {
  PickerOverLargeSet& f = Fixture();
  int row = 0;
  for (auto _ : state) {
    row = (row + 1) % f.rows;
    f.SwitchTo(row);
  }
  state.counters["bouquets"] = f.rows;
}
BENCHMARK(BM_SwitchThroughEveryBouquet)->Unit(benchmark::kMillisecond);

void BM_SwitchToAndFromTheLargest(benchmark::State& state) {
  PickerOverLargeSet& f = Fixture();
  const int other = f.largest == 0 ? 1 : 0;
  bool to_largest = true;
  for (auto _ : state) {
    f.SwitchTo(to_largest ? f.largest : other);
    to_largest = !to_largest;
  }
  state.counters["channels"] = f.largest_channels;
}
BENCHMARK(BM_SwitchToAndFromTheLargest)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  Fixture().picker.reset();
  return 0;
}
