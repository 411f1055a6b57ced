// Writes the seed corpus of fuzz_guide (tests/boxdata/corpus/guide) with the test writer:
//   build/bin/guide_seeds tests/boxdata/corpus/guide
// Each seed is small and shows the fuzzer one part of the layout.
#include <cstdio>
#include <filesystem>
#include <string>

#include "guide_writer.h"
#include "support/test_files.h"

using namespace tivolo::boxdata::testing;

namespace {

constexpr int64_t kMonday = 1767571200;

GuideWriter Typical(bool big_endian, int version) {
  GuideWriter w;
  w.big_endian = big_endian;
  w.version = version;
  const uint32_t news = w.Title("Journaal");
  w.services.push_back(
      {0x283D,
       1,
       0x3FB,
       {{1, kMonday, 1800, {news, w.ShortText("Het nieuws van vandaag.")}, 0},
        {2,
         kMonday + 1800,
         3600,
         {w.Title("Film"), w.Extended("Deel een, ", 0, 1), w.Extended("deel twee.", 1, 1)},
         0}}});
  w.services.push_back({0x0101, 1, 0x10, {{3, kMonday, 600, {news}, 1}}});
  return w;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  auto put = [&](const char* name, GuideWriter w) {
    tivolo::testing::WriteFile(dir / name, w.Bytes());
  };
  put("little-v8", Typical(false, 8));
  put("big-v7", Typical(true, 7));
  GuideWriter unfinished = Typical(false, 8);
  unfinished.unfinished = true;
  put("unfinished", unfinished);

  GuideWriter tables;
  tables.services.push_back(
      {7,
       1,
       1,
       {{1,
         kMonday,
         60,
         {tables.Title("Zpr\xC3\xA1vy", "cze"), tables.Extended("Dne\xCF", 0, 1, "cze"),
          tables.Extended("s", 1, 1, "cze")},
         0},
        {2, kMonday + 60, 60, {tables.ShortText("\x01\xBD\xDE\xD2\xDE\xE1\xE2\xD8", "rus")}, 0},
        {3, kMonday + 120, 60, {tables.ShortText("\x10\x00\x02\xA3\xF3", "pol")}, 0},
        {4, kMonday + 180, 60, {tables.ShortText(std::string("\x11\x04\x1C\x00\x21", 5))}, 0},
        {5,
         kMonday + 240,
         60,
         {tables.ShortText("Caf\xC2"
                           "e \x86"
                           "x\x87\x8A",
                           "ces")},
         0},
        {6, kMonday + 300, 60, {tables.ShortText("\x13\xC4\xE3", "chi")}, 0}}});
  put("tables", tables);

  GuideWriter order;
  const uint32_t a = order.Title("A");
  order.services.push_back({5,
                            1,
                            1,
                            {{1, kMonday + 7200, 3600, {a}, 0},
                             {2, kMonday, 3600, {a}, 0},
                             {3, kMonday, 1800, {a, GuideWriter::kMissing}, 0},
                             {4, kMonday + 3600, 0, {a}, 0}}});
  order.services.push_back({5, 1, 1, {{5, kMonday + 9000, 600, {a}, 0}}});
  put("order", order);

  // A short event descriptor whose name takes all its bytes, with no text length after it.
  GuideWriter filled;
  std::string name_only("eng");
  name_only += '\x05';
  name_only += "\x15Name";
  filled.services.push_back({3,
                             1,
                             1,
                             {{1, kMonday, 60, {filled.Descriptor(0x4D, name_only)}, 0},
                              {2, kMonday + 60, 60, {filled.Title("Next")}, 0}}});
  put("name-fills", filled);
  return 0;
}
