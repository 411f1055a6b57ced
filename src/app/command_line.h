// The program's command line: --help, --version, --conflicts and --profile DIR are taken out
// first; the first argument that remains switches the log on when it contains DEBUG in any case
// (debug, -debug, /Debug, xdebugx). A single-dash word holding DEBUG is that argument, not an
// option.
#pragma once

#include <QString>
#include <QStringList>

namespace tivolo::app {

inline constexpr char kVersionText[] = "Tivolo " TIVOLO_VERSION;

struct CommandLine {
  int exit_code = -1;  // >= 0: print `output` (to stderr when non-zero) and end with it
  QString output;
  QString profile_dir;    // empty: beside the executable (or the user's folders)
  QStringList arguments;  // what remains, in order
  bool debug = false;
  bool conflicts = false;  // --conflicts: the conflict check without a window
};

// arguments include the program's name first, as QCoreApplication::arguments() gives them.
CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace tivolo::app
