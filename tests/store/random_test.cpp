// Randomized runs against trivial reference models, with fixed seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>

#include "boxdata/box_tables.h"
#include "store_fixtures.h"

namespace tivolo::store {
namespace {

// ---- An indexed table against a plain vector kept in order by the bisection rule ----

struct Row {
  int tag;
  std::optional<int> k1;
  int k2;
  int number;  // autoincrement value
};

int CompareRows(const Row& a, const Row& b) {
  if (a.k1 != b.k1) {
    if (!a.k1) return -1;
    if (!b.k1) return 1;
    return *a.k1 < *b.k1 ? -1 : 1;
  }
  return a.k2 < b.k2 ? -1 : (a.k2 > b.k2 ? 1 : 0);
}

size_t PlaceInModel(std::vector<Row>& rows, const Row& row) {
  long lo = 0, hi = static_cast<long>(rows.size()) - 1;
  while (lo <= hi) {
    long mid = (lo + hi) / 2;
    int c = CompareRows(row, rows[static_cast<size_t>(mid)]);
    if (c < 0) {
      hi = mid - 1;
    } else if (c > 0) {
      lo = mid + 1;
    } else {
      lo = mid;
      break;
    }
  }
  rows.insert(rows.begin() + lo, row);
  return static_cast<size_t>(lo);
}

class RandomIndexed : public ::testing::Test {
 protected:
  void SetUp() override {
    t_.FieldDefs() = {{"Tag", FieldType::kInteger, 0},
                      {"K1", FieldType::kInteger, 0},
                      {"K2", FieldType::kInteger, 0},
                      {"No", FieldType::kAutoInc, 0}};
    t_.IndexDefs() = {{"Tags", "Tag", IndexOption::kUnique}, {"Keys", "K1;K2", IndexOption::kNone}};
    t_.SetIndexFieldNames("K1;K2");
    t_.SetGrowBy(7);  // many storage chunks
    t_.Open();
  }
  void SetKeys(const Row& r) {
    if (r.k1) {
      t_.FieldNamed("K1").SetAsInteger(*r.k1);
    } else {
      t_.FieldNamed("K1").Clear();
    }
    t_.FieldNamed("K2").SetAsInteger(r.k2);
  }
  Row RandomKeys(int tag) {
    Row r{tag, std::nullopt, static_cast<int>(rng_() % 3), 0};
    if (rng_() % 6) r.k1 = static_cast<int>(rng_() % 5);
    return r;
  }
  // The table's visible order and cursor, in the model's terms.
  std::string Dump() {
    std::string out;
    for (int row = 0; row < t_.ViewRowCount(); ++row) {
      out += std::to_string(t_.ViewRecordAt(row).AsInteger(t_.FieldNamed("Tag"))) + " ";
    }
    return out + "@" + std::to_string(t_.ViewCurrentRow());
  }
  std::string ModelDump() {
    std::string out;
    for (const Row& r : rows_)
      out += std::to_string(r.tag) + " ";
    return out + "@" + std::to_string(cur_);
  }

  MemTable t_{"Random"};
  std::mt19937 rng_{20240331};
  std::vector<Row> rows_;
  long cur_ = -1;
};

TEST_F(RandomIndexed, MatchesTheReferenceAfterEveryStep) {
  int next_tag = 0, counter = 0;
  for (int step = 0; step < 6000; ++step) {
    unsigned op = rng_() % 100;
    if (rows_.size() > 120 && op < 50) op = 60;  // keep the table small enough to dump
    std::string what;
    if (op < 30) {
      what = "append+post";
      Row r = RandomKeys(next_tag++);
      t_.Append();
      r.number = ++counter;
      t_.FieldNamed("Tag").SetAsInteger(r.tag);
      SetKeys(r);
      t_.Post();
      cur_ = static_cast<long>(PlaceInModel(rows_, r));
      ASSERT_EQ(t_.FieldNamed("No").AsInteger(), r.number);
    } else if (op < 36) {
      what = "append+cancel";
      t_.Append();
      ++counter;
      SetKeys(RandomKeys(-1));
      t_.Cancel();
      cur_ = t_.ViewCurrentRow();  // where the cursor returns is the table's choice
    } else if (op < 40) {
      what = "append+drop";
      t_.Append();
      ++counter;
      t_.First();  // nothing assigned: the new record is dropped
      cur_ = rows_.empty() ? -1 : 0;
    } else if (op < 55 && cur_ >= 0) {
      what = "edit keys";
      Row r = rows_[static_cast<size_t>(cur_)];
      Row keys = RandomKeys(r.tag);
      t_.Edit();
      SetKeys(keys);
      t_.Post();
      if (CompareRows(r, keys) != 0) {
        rows_.erase(rows_.begin() + cur_);
        r.k1 = keys.k1;
        r.k2 = keys.k2;
        cur_ = static_cast<long>(PlaceInModel(rows_, r));
      }
    } else if (op < 60 && cur_ >= 0) {
      what = "edit+cancel";
      t_.Edit();
      SetKeys(RandomKeys(0));
      t_.Cancel();
    } else if (op < 72 && cur_ >= 0) {
      what = "delete";
      t_.Delete();
      rows_.erase(rows_.begin() + cur_);
      if (cur_ >= static_cast<long>(rows_.size())) cur_ = static_cast<long>(rows_.size()) - 1;
    } else if (op < 78) {
      what = "first";
      t_.First();
      cur_ = rows_.empty() ? -1 : 0;
    } else if (op < 90) {
      what = "next";
      bool moves = cur_ >= 0 && cur_ + 1 < static_cast<long>(rows_.size());
      t_.Next();
      if (moves) ++cur_;
      ASSERT_EQ(t_.Eof(), !moves);
    } else if (!rows_.empty()) {
      what = "move";
      long row = static_cast<long>(rng_() % rows_.size());
      t_.ViewMoveToRow(static_cast<int>(row));
      cur_ = row;
    }
    ASSERT_EQ(t_.State(), DatasetState::kBrowse) << what;
    ASSERT_EQ(t_.RecordCount(), static_cast<int>(rows_.size())) << "step " << step << " " << what;
    ASSERT_EQ(Dump(), ModelDump()) << "step " << step << " " << what;
  }
}

// Thousands of records span many index blocks; the bisection still runs over the whole index.
TEST_F(RandomIndexed, LargeIndexMatchesTheReferenceAcrossBlocks) {
  for (int i = 0; i < 5000; ++i) {
    Row r{i, static_cast<int>(rng_() % 50), static_cast<int>(rng_() % 4), 0};
    t_.Append();
    t_.FieldNamed("Tag").SetAsInteger(r.tag);
    SetKeys(r);
    t_.Post();
    PlaceInModel(rows_, r);
  }
  auto scan = [&] {
    std::string out;
    for (t_.First(); !t_.Eof(); t_.Next())
      out += t_.FieldNamed("Tag").AsString() + " ";
    return out;
  };
  auto model = [&] {
    std::string out;
    for (const Row& r : rows_)
      out += std::to_string(r.tag) + " ";
    return out;
  };
  ASSERT_EQ(scan(), model());
  // Delete every third record in order, then re-key some.
  t_.First();
  for (size_t pos = 0; pos < rows_.size();) {
    if (rows_[pos].tag % 3 == 0) {
      t_.Delete();
      rows_.erase(rows_.begin() + static_cast<long>(pos));
    } else {
      t_.Next();
      ++pos;
    }
  }
  ASSERT_EQ(t_.RecordCount(), static_cast<int>(rows_.size()));
  ASSERT_EQ(scan(), model());
  for (int i = 0; i < 500; ++i) {
    long row = static_cast<long>(rng_() % rows_.size());
    t_.ViewMoveToRow(static_cast<int>(row));
    Row r = rows_[static_cast<size_t>(row)];
    Row keys = RandomKeys(r.tag);
    t_.Edit();
    SetKeys(keys);
    t_.Post();
    if (CompareRows(r, keys) != 0) {
      rows_.erase(rows_.begin() + row);
      r.k1 = keys.k1;
      r.k2 = keys.k2;
      PlaceInModel(rows_, r);
    }
  }
  ASSERT_EQ(scan(), model());
}

// Records of very different sizes rewritten and deleted at random keep every value.
TEST(RandomStorage, LongTextsSurviveRewritesAndDeletes) {
  MemTable t("Texts");
  t.FieldDefs() = {{"Key", FieldType::kInteger, 0}, {"Text", FieldType::kString, 0}};
  t.IndexDefs() = {{"Keys", "Key", IndexOption::kPrimary}};
  t.SetIndexFieldNames("Key");
  t.SetGrowBy(16);
  t.Open();
  std::mt19937 rng(99);
  std::vector<std::string> model(200);  // by key; empty: no record
  auto text_for = [&](int key) {
    size_t len = rng() % 7 == 0 ? 70000 + rng() % 5000 : rng() % 3000;
    return std::string(len, static_cast<char>('a' + key % 26)) + std::to_string(rng());
  };
  for (int step = 0; step < 4000; ++step) {
    int key = static_cast<int>(rng() % model.size());
    // Find the key by scanning the view: rows are in key order.
    int row = -1;
    for (int r = 0; r < t.RecordCount(); ++r) {
      if (t.ViewRecordAt(r).AsInteger(t.FieldNamed("Key")) == key) row = r;
    }
    if (row < 0) {
      t.Append();
      t.FieldNamed("Key").SetAsInteger(key);
      model[static_cast<size_t>(key)] = text_for(key);
      t.FieldNamed("Text").SetAsString(model[static_cast<size_t>(key)]);
      t.Post();
    } else if (rng() % 4 == 0) {
      t.ViewMoveToRow(row);
      t.Delete();
      model[static_cast<size_t>(key)].clear();
    } else {
      t.ViewMoveToRow(row);
      t.Edit();
      model[static_cast<size_t>(key)] = text_for(key);
      t.FieldNamed("Text").SetAsString(model[static_cast<size_t>(key)]);
      t.Post();
    }
    if (step % 97 == 0 || step == 3999) {
      std::vector<std::string> seen(model.size());
      for (t.First(); !t.Eof(); t.Next()) {
        seen[static_cast<size_t>(t.FieldNamed("Key").AsInteger())] =
            t.FieldNamed("Text").AsString();
      }
      ASSERT_TRUE(seen == model) << "step " << step;
    }
  }
}

// A table of many megabytes: growing it, rewriting every record and then deleting most of
// them keeps every value.
TEST(RandomStorage, LargeTableKeepsEveryValueThroughGrowthRewriteAndShrink) {
  MemTable t("Texts");
  t.FieldDefs() = {{"Key", FieldType::kInteger, 0}, {"Text", FieldType::kString, 0}};
  t.IndexDefs() = {{"Keys", "Key", IndexOption::kPrimary}};
  t.SetIndexFieldNames("Key");
  t.Open();
  std::mt19937 rng(7);
  Field& key = t.FieldNamed("Key");
  Field& text = t.FieldNamed("Text");
  std::map<int, std::string> model;
  auto text_for = [&](int k) {
    return std::to_string(k) + std::string(1000 + rng() % 2000, static_cast<char>('a' + k % 26));
  };
  auto check = [&](const char* phase) {
    std::map<int, std::string> seen;
    int previous = -1;
    for (t.First(); !t.Eof(); t.Next()) {
      int k = key.AsInteger();
      ASSERT_GT(k, previous) << phase;
      previous = k;
      seen[k] = text.AsString();
    }
    ASSERT_TRUE(seen == model) << phase;
  };
  for (int k = 0; k < 3000; ++k) {
    t.Append();
    key.SetAsInteger(k);
    text.SetAsString(model[k] = text_for(k));
    t.Post();
  }
  check("grown");
  for (t.First(); !t.Eof(); t.Next()) {
    t.Edit();
    text.SetAsString(model[key.AsInteger()] = text_for(key.AsInteger()));
    t.Post();
  }
  check("rewritten");
  t.First();
  while (!t.Eof()) {
    if (key.AsInteger() % 3 != 0) {
      model.erase(key.AsInteger());
      t.Delete();
    } else {
      t.Next();
    }
  }
  ASSERT_EQ(t.RecordCount(), 1000);
  check("shrunk");
}

// ---- A detail table against a filter of all channels by the master's current number ----

TEST(RandomMasterDetail, DetailShowsTheCurrentMastersChannelsInAppendOrder) {
  boxdata::BoxTables tables;
  MemTable& bouquet = tables.bouquet;
  MemTable& zenders = tables.zenders;
  tables.Open();

  struct Channel {
    int tag, bouquet;
  };
  std::vector<Channel> channels;  // every stored channel, in append order
  std::vector<int> masters;       // bouquet numbers in record order
  long master_cur = -1;
  int bouquet_counter = 0, tag = 0;
  std::mt19937 rng(7364);

  auto current_master = [&]() -> int {
    if (bouquet.State() == DatasetState::kInsert) return bouquet_counter;
    return master_cur >= 0 ? masters[static_cast<size_t>(master_cur)] : -1;
  };
  auto expected = [&] {
    std::string out;
    for (const Channel& c : channels) {
      if (c.bouquet == current_master()) out += std::to_string(c.tag) + " ";
    }
    return out;
  };
  auto actual = [&] {
    std::string out;
    for (int row = 0; row < zenders.RecordCount(); ++row) {
      RecordBuffer buf = zenders.ViewRecordAt(row);
      out += buf.AsString(zenders.FieldNamed("Zender")) + " ";
    }
    return out;
  };

  for (int step = 0; step < 3000; ++step) {
    unsigned op = rng() % 100;
    std::string what;
    bool inserting = bouquet.State() == DatasetState::kInsert;
    if (op < 12 && !inserting) {
      what = "bouquet append";
      bouquet.Append();
      ++bouquet_counter;
      bouquet.FieldNamed("Bouquet").SetAsString("b");
    } else if (op < 20 && inserting) {
      what = "bouquet post";
      bouquet.Post();
      masters.push_back(bouquet_counter);
      master_cur = static_cast<long>(masters.size()) - 1;
    } else if (op < 50 && current_master() >= 0) {
      what = "channel append";
      zenders.Append();
      zenders.FieldNamed("Zender").SetAsString(std::to_string(tag));
      zenders.Post();
      channels.push_back({tag++, current_master()});
      ASSERT_EQ(zenders.FieldNamed("Id").AsInteger(), channels.back().bouquet);
    } else if (op < 54 && !masters.empty()) {
      // Stored in a bouquet before, in or after the shown one: the view keeps its own.
      what = "channel append elsewhere";
      const int other = masters[rng() % masters.size()];
      zenders.Append();
      zenders.FieldNamed("Id").SetAsInteger(other);
      zenders.FieldNamed("Zender").SetAsString(std::to_string(tag));
      zenders.Post();
      channels.push_back({tag++, other});
    } else if (op < 56) {
      what = "channel append dropped";
      zenders.Append();
      zenders.Cancel();
    } else if (op < 62 && zenders.RecordCount() > 0) {
      what = "channel delete";
      int row = static_cast<int>(rng() % static_cast<unsigned>(zenders.RecordCount()));
      zenders.ViewMoveToRow(row);
      int gone = std::stoi(zenders.FieldNamed("Zender").AsString());
      zenders.Delete();
      channels.erase(std::find_if(channels.begin(), channels.end(),
                                  [&](const Channel& c) { return c.tag == gone; }));
    } else if (op < 68 && !inserting && master_cur >= 0) {
      what = "bouquet delete";
      bouquet.Delete();
      masters.erase(masters.begin() + master_cur);
      if (master_cur >= static_cast<long>(masters.size())) {
        master_cur = static_cast<long>(masters.size()) - 1;
      }
    } else if (op < 80 && !inserting && !masters.empty()) {
      what = "bouquet move";
      long row = static_cast<long>(rng() % masters.size());
      bouquet.ViewMoveToRow(static_cast<int>(row));
      master_cur = row;
    } else if (op < 90 && !inserting) {
      what = "bouquet next";
      bouquet.Next();
      if (master_cur >= 0 && master_cur + 1 < static_cast<long>(masters.size())) ++master_cur;
    } else if (!inserting) {
      what = "bouquet first";
      bouquet.First();
      master_cur = masters.empty() ? -1 : 0;
    }
    ASSERT_EQ(actual(), expected()) << "step " << step << " " << what;
    // A scan reaches exactly the visible channels.
    std::string scanned;
    for (zenders.First(); !zenders.Eof(); zenders.Next()) {
      scanned += zenders.FieldNamed("Zender").AsString() + " ";
    }
    ASSERT_EQ(scanned, expected()) << "step " << step << " " << what;
  }
}

}  // namespace
}  // namespace tivolo::store
