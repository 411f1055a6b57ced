// The bouquet index files ("bouquets.tv", "bouquets.radio") and the bouquet files they name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tivolo::boxdata {

struct BouquetIndexEntry {
  std::string file_name;
  size_t line_number = 0;  // from 1
  bool unsafe = false;     // names a path outside the folder; never to be opened
};

// Every "#SERVICE" line (any case) naming a bouquet file: the name between the double quotes
// of FROM BOUQUET "name", otherwise the rest of the line from the "u" of ":userbouquet".
std::vector<BouquetIndexEntry> ParseBouquetIndex(std::string_view bytes);

struct BouquetEntry {
  std::string reference;    // trimmed, as in the file
  std::string description;  // from a "#DESCRIPTION" line after it; empty when none
  size_t line_number = 0;
};

struct BouquetFile {
  std::string name;  // last "#NAME" line, characters 6 to 104, trimmed
  bool has_lines = false;
  std::vector<BouquetEntry> entries;  // every "#SERVICE" line, markers included
};

// "#SERVICE" (upper case only) lines give entries; "#SERVICE:" is the older form of the same.
// A "#DESCRIPTION" line names the entry read last, until the next "#SERVICE" line.
BouquetFile ParseBouquetFile(std::string_view bytes);

}  // namespace tivolo::boxdata
