#include "platform/safe_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>

#include "support/test_files.h"

namespace tivolo::platform {
namespace {

namespace fs = std::filesystem;
using tivolo::testing::ReadFile;
using tivolo::testing::TempDir;
using tivolo::testing::WriteFile;

class SafeFileTest : public ::testing::Test {
 protected:
  void SetUp() override { old_umask_ = ::umask(022); }
  void TearDown() override { ::umask(old_umask_); }

  // Every entry of the folder as "name mode content" (links as "name -> target"), sorted.
  std::string Dump() const {
    std::set<std::string> lines;
    for (const auto& e : fs::directory_iterator(dir_.Path())) {
      const std::string name = e.path().filename().string();
      if (e.is_symlink()) {
        lines.insert(name + " -> " + fs::read_symlink(e.path()).string());
        continue;
      }
      struct stat st {};
      ::stat(e.path().c_str(), &st);
      char mode[8];
      std::snprintf(mode, sizeof mode, "%03o", st.st_mode & 0777);
      lines.insert(name + " " + mode + " " + (e.is_regular_file() ? ReadFile(e.path()) : "/"));
    }
    std::string out;
    for (const auto& l : lines)
      out += l + "\n";
    return out;
  }

  TempDir dir_;
  mode_t old_umask_ = 0;
};

TEST_F(SafeFileTest, ReplacesWholeKeepingTheModeAndCreatesWithTheModeAsked) {
  WriteFile(dir_ / "kept.ini", "old and longer");
  ::chmod((dir_ / "kept.ini").c_str(), 0640);
  ReplaceFile(dir_ / "kept.ini", "new", kPrivateFileMode);
  ReplaceFile(dir_ / "settings.ini", "secret", kPrivateFileMode);
  ReplaceFile(dir_ / "list.xml", "<timers/>");
  ReplaceFile(dir_ / "empty", "");
  EXPECT_EQ(Dump(),
            "empty 644 \n"
            "kept.ini 640 new\n"
            "list.xml 644 <timers/>\n"
            "settings.ini 600 secret\n");
}

TEST_F(SafeFileTest, WritesWhereAChainOfLinksEnds) {
  WriteFile(dir_ / "real", "old");
  fs::create_symlink("real", dir_ / "middle");
  fs::create_symlink(dir_ / "middle", dir_ / "link");
  ReplaceFile(dir_ / "link", "new");
  fs::create_symlink("not-yet", dir_ / "dangling");
  ReplaceFile(dir_ / "dangling", "made");
  EXPECT_EQ(Dump(), "dangling -> not-yet\nlink -> " + (dir_ / "middle").string() +
                        "\nmiddle -> real\nnot-yet 644 made\nreal 644 new\n");

  fs::create_symlink("loop-b", dir_ / "loop-a");
  fs::create_symlink("loop-a", dir_ / "loop-b");
  EXPECT_THROW(ReplaceFile(dir_ / "loop-a", "x"), FileReplaceError);
}

// A file size limit makes the write itself fail half-way, as a full disk does.
TEST_F(SafeFileTest, AFailedWriteLeavesTheOldFileWholeAndNoTemporary) {
  WriteFile(dir_ / "timers.new", "the earlier list");
  const std::string before = Dump();
  rlimit old_limit{};
  ::getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit small = old_limit;
  small.rlim_cur = 4096;
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  try {
    ReplaceFile(dir_ / "timers.new", std::string(10000, 'x'));
  } catch (const FileReplaceError& e) {
    message = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(message, "Cannot replace " + (dir_ / "timers.new").string() + ": File too large");
  EXPECT_EQ(Dump(), before);
}

TEST_F(SafeFileTest, AnUncommittedReplacementChangesNothing) {
  WriteFile(dir_ / "lamedb", "complete copy");
  const std::string before = Dump();
  {
    FileReplacement download(dir_ / "lamedb");
    download.Write("the first half of a broken transfer");
    EXPECT_EQ(download.Size(), 35u);
    EXPECT_NE(Dump(), before);  // the temporary file is there meanwhile
  }
  EXPECT_EQ(Dump(), before);
}

TEST_F(SafeFileTest, WhatAKilledReplacementLeftIsRemovedAndNothingElse) {
  WriteFile(dir_ / "lamedb", "complete copy");
  WriteFile(dir_ / ".notes.tmp-1234", "the user's");
  WriteFile(dir_ / "x.tmp-0123456789", "no dot in front");
  const std::string before = Dump();
  // The temporary file a replacement makes, left as by a process killed half-way.
  std::string temp;
  {
    FileReplacement replacement(dir_ / "lamedb");
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
      if (entry.path().filename().string().rfind(".lamedb", 0) == 0) temp = entry.path();
  }
  ASSERT_FALSE(temp.empty());
  WriteFile(temp, "half");
  EXPECT_NE(Dump(), before);
  EXPECT_EQ(RemoveLeftoverReplacements(dir_.Path()), 1);
  EXPECT_EQ(Dump(), before);
}

TEST_F(SafeFileTest, ATargetThatCannotBeReplacedIsRefusedBeforeWriting) {
  fs::create_directory(dir_ / "folder");
  WriteFile(dir_ / "folder" / "keep", "old");
  const std::string before = Dump();
  for (const fs::path& target : {dir_ / "folder", dir_ / "missing" / "file"}) {
    try {
      FileReplacement replacement(target);
      ADD_FAILURE() << target << " accepted";
    } catch (const FileReplaceError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Cannot replace " + target.string() + ": ", 0), 0u);
      EXPECT_EQ(e.TypeName(), "FileReplaceError");
    }
  }
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(ReadFile(dir_ / "folder" / "keep"), "old");
}

}  // namespace
}  // namespace tivolo::platform
