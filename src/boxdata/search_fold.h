// Text as a search compares it: lower case and without accents, so that "cafe" finds "Café"
// and "ZURICH" finds "Zürich". Latin letters lose their accents (ß, æ, œ, þ and ĳ become two
// letters), Greek and Cyrillic capitals become small letters and Greek loses its tonos;
// everything else is kept as it is. Malformed UTF-8 bytes are dropped.
#pragma once

#include <string>
#include <string_view>

namespace tivolo::boxdata {

void AppendSearchFolded(std::string_view utf8, std::string& out);
std::string SearchFolded(std::string_view utf8);

}  // namespace tivolo::boxdata
