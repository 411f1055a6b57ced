#include "widgets/date_formats.h"

namespace tivolo::widgets {
namespace {

// Qt's time pattern in the store's letters: h for hours (12-hour forms become 24-hour, the
// store has no AM/PM), n for minutes, s for seconds; zone and AM/PM markers are dropped.
std::string StoreTimePattern(const QString& qt_pattern) {
  std::string out;
  for (QChar c : qt_pattern) {
    switch (c.unicode()) {
      case 'H':
      case 'h':
        out += 'h';
        break;
      case 'm':
        out += 'n';
        break;
      case 's':
        out += 's';
        break;
      case 't':
      case 'A':
      case 'a':
      case 'P':
      case 'p':
        break;
      default:
        out += c.toLatin1() ? c.toLatin1() : ' ';
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '.'))
    out.pop_back();
  return out.empty() ? "hh:nn:ss" : out;
}

char TimeSeparator(const QString& qt_pattern) {
  for (qsizetype i = 0; i + 1 < qt_pattern.size(); ++i) {
    const QChar c = qt_pattern[i];
    const QChar next = qt_pattern[i + 1];
    if ((c == 'h' || c == 'H') && !next.isLetter() && next.toLatin1()) return next.toLatin1();
  }
  return ':';
}

}  // namespace

void ApplyDateFormats(const QLocale& locale) {
  store::FormatSettings& s = store::DefaultFormatSettings();
  s.date_separator = '-';
  s.short_date_format = "dd-mm-yyyy";
  s.short_time_format = "hh:nn";
  s.time_separator = TimeSeparator(locale.timeFormat(QLocale::ShortFormat));
  s.long_time_format = StoreTimePattern(locale.timeFormat(QLocale::LongFormat));
}

std::string LongTimeText(int hour, int minute, int second) {
  constexpr double kSecondsPerDay = 86400.0;
  const store::FormatSettings& s = store::DefaultFormatSettings();
  return store::FormatDateTime(s.long_time_format,
                               (hour * 3600 + minute * 60 + second) / kSecondsPerDay, s);
}

}  // namespace tivolo::widgets
