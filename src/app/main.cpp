// The program's entry: the command line, the program's folders, the main window and its
// start-up, then the event loop.
#include <QApplication>
#include <cstdio>

#include "app/command_line.h"
#include "app/conflicts_command.h"
#include "app/main_window.h"
#include "app/profile_lock.h"
#include "app/program_folders.h"
#include "platform/executable_path.h"
#include "widgets/message_service.h"

namespace {

// An error that leaves any event handler is shown in an error box, and the event loop goes on.
class Application : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      tivolo::widgets::BoxMessageService().Error(e.what());
    } catch (...) {
      tivolo::widgets::BoxMessageService().Error("");
    }
    return false;
  }
};

int Run(QApplication& application, const tivolo::app::CommandLine& command_line) {
  using namespace tivolo;
  const app::ProgramFolders folders =
      app::ChooseProgramFolders(platform::ExecutableDir(), command_line.profile_dir.toStdString());
  app::ProfileLock lock(folders.local_dir);
  if (const std::string refusal = lock.Take(); !refusal.empty()) {
    widgets::BoxMessageService().Error(refusal);
    return 1;
  }
  app::StartOptions options;
  options.config_file = folders.config_file;
  options.local_dir = folders.local_dir;
  options.debug = command_line.debug;
  app::MainWindow window(options);
  window.StartUp();
  if (window.EndRequested()) return 0;
  window.show();
  return application.exec();
}

// --conflicts: no application object and no display; what it prints is for a scheduled job.
int RunConflicts(const tivolo::app::CommandLine& command_line) {
  using namespace tivolo;
  app::ConflictsRun run;
  try {
    const app::ProgramFolders folders = app::ChooseProgramFolders(
        platform::ExecutableDir(), command_line.profile_dir.toStdString());
    run.config_file = folders.config_file;
    run.local_dir = folders.local_dir;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return app::kCannotCheck;
  }
  // A window on the same profile may be writing the copies: they are read as they are.
  app::ProfileLock lock(run.local_dir);
  run.ask_box = lock.Take().empty();
  const app::ConflictsOutput output = app::RunConflictsCommand(run);
  std::fputs(output.err.c_str(), stderr);
  std::fputs(output.out.c_str(), stdout);
  return output.exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication::setApplicationName("tivolo");
  QApplication::setApplicationVersion(TIVOLO_VERSION);
  // Before the application object, so that --help and --version need no display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  const tivolo::app::CommandLine command_line = tivolo::app::ParseCommandLine(arguments);
  if (command_line.exit_code >= 0) {
    std::fputs(command_line.output.toLocal8Bit().constData(),
               command_line.exit_code == 0 ? stdout : stderr);
    return command_line.exit_code;
  }
  if (command_line.conflicts) return RunConflicts(command_line);
  Application application(argc, argv);
  try {
    return Run(application, command_line);
  } catch (const std::exception& e) {
    tivolo::widgets::BoxMessageService().Error(e.what());
  } catch (...) {
    tivolo::widgets::BoxMessageService().Error("");
  }
  return 1;
}
