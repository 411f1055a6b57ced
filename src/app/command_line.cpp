#include "app/command_line.h"

#include <QCommandLineParser>

namespace tivolo::app {
namespace {

constexpr int kUsageError = 2;

bool OldDebugSwitch(const QString& argument) {
  return argument.startsWith('-') && !argument.startsWith(QLatin1String("--")) &&
         argument.toUpper().contains(QLatin1String("DEBUG"));
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Edits the recording timers of an enigma2 receiver over FTP and telnet.");
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  const QCommandLineOption profile(
      "profile", "Keep config.ini, the copies of the box's files and timers.new in <dir>.", "dir");
  parser.addOption(profile);
  const QCommandLineOption conflicts(
      "conflicts",
      "Read the box without a window and print each tuner conflict of its timer list, one a "
      "line; exit with 3 when there are some, 0 when there are none, 1 when they cannot be "
      "checked.");
  parser.addOption(conflicts);
  parser.addPositionalArgument("debug", "A first argument holding DEBUG shows the log.", "[debug]");

  // The old single-dash switch must reach the positional arguments in its place, so every
  // argument from it on is passed after "--" (which ends the options); options after it
  // still count.
  QStringList options{arguments.value(0)};
  QStringList positional;
  bool missing_value = false;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QLatin1String("--")) {
      positional += arguments.mid(i + 1);
      break;
    }
    if (OldDebugSwitch(a) || !a.startsWith('-')) {
      positional << a;
    } else {
      options << a;
      if (a == QLatin1String("--profile")) {
        // Its value goes with it; without one the "--" added below must not become it.
        if (i + 1 == arguments.size())
          missing_value = true;
        else
          options << arguments[++i];
      }
    }
  }
  CommandLine result;
  // Without an application object Qt cannot name the program in the help itself.
  const QString name =
      arguments.isEmpty() ? QStringLiteral("tivolo") : arguments.first().section('/', -1);
  auto help_text = [&] { return parser.helpText().replace("<executable_name>", name); };
  if (missing_value || !parser.parse(options + QStringList{"--"} + positional)) {
    result.exit_code = kUsageError;
    const QString error =
        missing_value ? QStringLiteral("Missing value after '--profile'.") : parser.errorText();
    result.output = error + "\n\n" + help_text();
    return result;
  }
  if (parser.isSet(help)) {
    result.exit_code = 0;
    result.output = help_text();
    return result;
  }
  if (parser.isSet(version)) {
    result.exit_code = 0;
    result.output = QString::fromLatin1(kVersionText) + "\n";
    return result;
  }
  result.profile_dir = parser.value(profile);
  result.conflicts = parser.isSet(conflicts);
  result.arguments = parser.positionalArguments();
  result.debug = !result.arguments.isEmpty() &&
                 result.arguments.first().toUpper().contains(QLatin1String("DEBUG"));
  return result;
}

}  // namespace tivolo::app
