// The command line (our options first, then the DEBUG rule on the first remaining argument),
// the choice of the program's folders, and one program per profile folder.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "app/command_line.h"
#include "app/profile_lock.h"
#include "app/program_folders.h"
#include "app_test_support.h"

namespace tivolo::app {
namespace {

struct LineCase {
  std::vector<const char*> args;
  std::string expected;  // "exit N" or "debug|plain profile=DIR args=a,b"
};

std::string Outcome(const CommandLine& c) {
  if (c.exit_code >= 0) return "exit " + std::to_string(c.exit_code);
  return std::string(c.debug ? "debug" : "plain") + " profile=" + c.profile_dir.toStdString() +
         " args=" + c.arguments.join(',').toStdString();
}

class CommandLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLineTest, OptionsFirstThenTheDebugRule) {
  QStringList args{"/usr/bin/tivolo"};
  for (const char* a : GetParam().args)
    args << a;
  EXPECT_EQ(Outcome(ParseCommandLine(args)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineTest,
    ::testing::Values(LineCase{{}, "plain profile= args="},
                      LineCase{{"xdebugx"}, "debug profile= args=xdebugx"},
                      LineCase{{"one", "DEBUG"}, "plain profile= args=one,DEBUG"},
                      LineCase{{"-Debug"}, "debug profile= args=-Debug"},
                      LineCase{{"/debug", "-x"}, "exit 2"},
                      LineCase{{"--profile", "/p", "debug"}, "debug profile=/p args=debug"},
                      LineCase{{"debug", "--profile=/p"}, "debug profile=/p args=debug"},
                      LineCase{{"--profile"}, "exit 2"}, LineCase{{"debug", "--profile"}, "exit 2"},
                      LineCase{{"--bogus", "debug"}, "exit 2"}, LineCase{{"--help"}, "exit 0"},
                      LineCase{{"--", "--profile"}, "plain profile= args=--profile"}));

TEST(CommandLineText, VersionAndHelp) {
  EXPECT_EQ(ParseCommandLine({"tivolo", "--version"}).output.toStdString(),
            "Tivolo " TIVOLO_VERSION "\n");
  const CommandLine bad = ParseCommandLine({"/usr/bin/tivolo", "--bogus"});
  EXPECT_TRUE(bad.output.startsWith("Unknown option 'bogus'.")) << bad.output.toStdString();
  EXPECT_TRUE(bad.output.contains("[options] [debug]"));
  EXPECT_TRUE(bad.output.contains("--profile <dir>"));
}

class FoldersTest : public ::testing::Test {
 protected:
  FolderEnvironment Env(bool exe_writable) {
    return {[this](const char* name) -> const char* {
              auto it = vars.find(name);
              return it == vars.end() ? nullptr : it->second.c_str();
            },
            [exe_writable](const std::string&) { return exe_writable; }};
  }
  static unsigned Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
  }
  tivolo::testing::TempDir work;
  std::map<std::string, std::string> vars{{"HOME", work.Path() + "/home"}};
};

TEST_F(FoldersTest, BesideTheExecutableWhileItsFolderIsWritable) {
  const ProgramFolders f = ChooseProgramFolders("/opt/tivolo/", "", Env(true));
  EXPECT_EQ(f.config_file + " " + f.local_dir, "/opt/tivolo/config.ini /opt/tivolo/");
}

TEST_F(FoldersTest, RootWritingASystemFolderStillUsesTheUsersFolders) {
  const std::string home = work.Path() + "/home";
  for (const char* exe_dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
    const ProgramFolders f = ChooseProgramFolders(exe_dir, "", Env(true));
    EXPECT_EQ(f.config_file + "|" + f.local_dir,
              home + "/.config/tivolo/config.ini|" + home + "/.local/share/tivolo/")
        << exe_dir;
  }
  EXPECT_EQ(ChooseProgramFolders("/usr-build/", "", Env(true)).local_dir, "/usr-build/");
}

TEST_F(FoldersTest, AProfileFolderHoldsEverythingAndIsCreatedPrivate) {
  const std::string dir = work.Path() + "/second box";
  const ProgramFolders f = ChooseProgramFolders("/usr/bin/", dir, Env(false));
  EXPECT_EQ(f.config_file + "|" + f.local_dir, dir + "/config.ini|" + dir + "/");
  EXPECT_EQ(Mode(dir), 0700u);
}

TEST_F(FoldersTest, AnUnwritableFolderFallsBackToTheUsersFolders) {
  ProgramFolders f = ChooseProgramFolders("/usr/bin/", "", Env(false));
  const std::string home = work.Path() + "/home";
  EXPECT_EQ(f.config_file + "|" + f.local_dir,
            home + "/.config/tivolo/config.ini|" + home + "/.local/share/tivolo/");
  EXPECT_EQ(Mode(home + "/.config/tivolo"), 0700u);
  EXPECT_EQ(Mode(home + "/.local/share/tivolo"), 0700u);
  vars["XDG_CONFIG_HOME"] = work.Path() + "/cfg";
  vars["XDG_DATA_HOME"] = "relative/ignored";
  f = ChooseProgramFolders("/usr/bin/", "", Env(false));
  EXPECT_EQ(f.config_file + "|" + f.local_dir,
            work.Path() + "/cfg/tivolo/config.ini|" + home + "/.local/share/tivolo/");
  vars.erase("HOME");
  vars.erase("XDG_CONFIG_HOME");
  EXPECT_THROW(ChooseProgramFolders("/usr/bin/", "", Env(false)), ProgramFolderError);
}

// A second program on a profile folder is refused while the first runs; once it ends, or when
// it was killed and left its lock behind, the folder is free.
TEST_F(FoldersTest, OneProgramPerProfileFolder) {
  namespace fs = std::filesystem;
  const std::string dir = work.Path() + "/profile/";
  const std::string lock_file = dir + "tivolo.lock";
  fs::create_directories(dir);
  std::string left_behind;
  {
    ProfileLock first(dir), second(dir);
    ASSERT_EQ(first.Take(), "");
    EXPECT_EQ(second.Take(), "Tivolo is already running with the profile folder " + dir +
                                 " (process " + std::to_string(::getpid()) +
                                 "). Use that window, or start this one with --profile and "
                                 "another folder.");
    left_behind = tivolo::testing::ReadFile(lock_file);
  }
  EXPECT_FALSE(fs::exists(lock_file));
  EXPECT_EQ(ProfileLock(dir).Take(), "");

  // Killed: the lock file names a process that has ended.
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  left_behind.replace(0, left_behind.find('\n'), std::to_string(dead));
  tivolo::testing::WriteFile(lock_file, left_behind);
  ProfileLock after_kill(dir);
  EXPECT_EQ(after_kill.Take(), "");
  EXPECT_NE(ProfileLock(dir).Take(), "");
}

}  // namespace
}  // namespace tivolo::app
