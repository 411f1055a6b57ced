#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "support/test_files.h"

namespace tivolo::platform {
namespace {

namespace fs = std::filesystem;

using tivolo::testing::ReadFile;
using tivolo::testing::TempDir;

std::string Find(std::string_view text, std::string_view section, std::string_view key) {
  return FindProfileValue(text, section, key).value_or("<missing>");
}

TEST(ProfileTextTest, FindsKeysWithoutRegardToCase) {
  const std::string text =
      "; settings\n"
      "[Other]\n"
      "Ip=10.1.1.1\n"
      "[ db7025 ]\r\n"
      "  IP =  192.168.1.2  \r\n"
      "password=a=b;c\n"
      "; Username=commented\n"
      "Username\n"
      "Empty=\n"
      "[DB7025]\n"
      "UTC_Offset=5\n";
  EXPECT_EQ(Find(text, "DB7025", "Ip"), "192.168.1.2");
  EXPECT_EQ(Find(text, "db7025", "PASSWORD"), "a=b;c");
  EXPECT_EQ(Find(text, "DB7025", "Username"), "<missing>");
  EXPECT_EQ(Find(text, "DB7025", "Empty"), "");
  EXPECT_EQ(Find(text, "Other", "Ip"), "10.1.1.1");
  // Only the first section of a name counts.
  EXPECT_EQ(Find(text, "DB7025", "UTC_Offset"), "<missing>");
  EXPECT_EQ(Find(text, "Nothing", "Ip"), "<missing>");
  EXPECT_EQ(Find("\xEF\xBB\xBF[DB7025]\nIp=1", "DB7025", "Ip"), "1");
  EXPECT_EQ(Find("[DB7025]\nIp=last line without end", "DB7025", "Ip"), "last line without end");
}

TEST(ProfileTextTest, ValuesAreCutAt2047Bytes) {
  const std::string long_value(3000, 'x');
  EXPECT_EQ(Find("[S]\nK=" + long_value + "\n", "S", "K"), std::string(2047, 'x'));
  // A two-byte character straddling the limit is left out whole.
  const std::string utf8 = std::string(2046, 'y') + "\xC3\xA9" + "z";
  EXPECT_EQ(Find("[S]\nK=" + utf8, "S", "K"), std::string(2046, 'y'));
  EXPECT_EQ(Find("[S]\nK=" + std::string(2047, 'w'), "S", "K"), std::string(2047, 'w'));
}

TEST(ProfileTextTest, SetChangesOneLineAndNothingElse) {
  const std::string text =
      "; keep me\n"
      "[Other]\n"
      "Ip=10.1.1.1\n"
      "\n"
      "[DB7025]\n"
      "ip = old\n"
      "Username=root\n"
      "\n"
      "[Tail]\n"
      "X=1";
  EXPECT_EQ(SetProfileValue(text, "db7025", "Ip", "192.168.1.1"),
            "; keep me\n[Other]\nIp=10.1.1.1\n\n[DB7025]\nIp=192.168.1.1\nUsername=root\n\n"
            "[Tail]\nX=1");
  // A new key goes after the section's last non-blank line.
  EXPECT_EQ(SetProfileValue(text, "DB7025", "Password", "s3cret"),
            "; keep me\n[Other]\nIp=10.1.1.1\n\n[DB7025]\nip = old\nUsername=root\n"
            "Password=s3cret\n\n[Tail]\nX=1");
  EXPECT_EQ(SetProfileValue(text, "Tail", "Y", "2"),
            "; keep me\n[Other]\nIp=10.1.1.1\n\n[DB7025]\nip = old\nUsername=root\n\n"
            "[Tail]\nX=1\nY=2\n");
  // A new section goes at the end.
  EXPECT_EQ(SetProfileValue(text, "New", "K", "v"), text + "\n\n[New]\nK=v\n");
  EXPECT_EQ(SetProfileValue("", "DB7025", "Ip", "1.2.3.4"), "[DB7025]\nIp=1.2.3.4\n");
  EXPECT_EQ(SetProfileValue("[A]\r\nx=1\r\n", "A", "y", "2"), "[A]\r\nx=1\r\ny=2\r\n");
  EXPECT_EQ(SetProfileValue("[A]\r\nx=1\r\n", "B", "y", "2"), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  EXPECT_EQ(SetProfileValue("[A]\nx=1\n[A]\nx=2\n", "a", "X", "3"), "[A]\nX=3\n[A]\nx=2\n");
  EXPECT_EQ(SetProfileValue("[A]", "A", "k", ""), "[A]\nk=\n");
  // A text that ends in a lone CR: the section line is the same before and after the write.
  EXPECT_EQ(SetProfileValue("p=1\n[DB7025\r", "DB7025", "Ip", "v"), "p=1\n[DB7025\r\nIp=v\n");
  EXPECT_EQ(FindProfileValue("[A]\nk=1\r", "A", "k"), "1");
}

class ProfileFileTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = (dir_ / "config.ini").string(); }

  mode_t Mode(const std::string& path) const {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
  }
  size_t Entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_.Path()), {}));
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(ProfileFileTest, MissingFileGivesDefaultsAndIsCreatedPrivate) {
  const ProfileFile file(path_);
  EXPECT_EQ(file.ReadString("DB7025", "Ip", "dflt"), "dflt");
  ::umask(022);
  file.WriteString("DB7025", "Password", "secret");
  EXPECT_EQ(ReadFile(path_), "[DB7025]\nPassword=secret\n");
  EXPECT_EQ(Mode(path_), 0600u);
  EXPECT_EQ(file.ReadString("db7025", "PASSWORD", ""), "secret");
  EXPECT_EQ(Entries(), 1u);  // no temporary file left behind
}

TEST_F(ProfileFileTest, ExistingFileKeepsItsModeAndOtherContent) {
  std::ofstream(path_) << "; mine\n[DB7025]\nIp=1.1.1.1\nExtra=yes\n";
  ::chmod(path_.c_str(), 0640);
  const ProfileFile file(path_);
  file.WriteString("DB7025", "Ip", "2.2.2.2");
  EXPECT_EQ(ReadFile(path_), "; mine\n[DB7025]\nIp=2.2.2.2\nExtra=yes\n");
  EXPECT_EQ(Mode(path_), 0640u);
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(ProfileFileTest, WritesThroughASymbolicLink) {
  const std::string real = (dir_ / "real.ini").string();
  std::ofstream(real) << "[S]\nK=1\n";
  fs::create_symlink(real, path_);
  ProfileFile(path_).WriteString("S", "K", "2");
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadFile(real), "[S]\nK=2\n");
}

TEST_F(ProfileFileTest, FailuresSayUnableToWrite) {
  const std::string nowhere = (dir_ / "missing" / "config.ini").string();
  try {
    ProfileFile(nowhere).WriteString("DB7025", "Ip", "1");
    FAIL() << "no error";
  } catch (const ProfileFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + nowhere);
    EXPECT_EQ(e.TypeName(), "ProfileFileError");
  }
  // A folder where the file should be: neither read nor replaced.
  fs::create_directory(path_);
  EXPECT_THROW(ProfileFile(path_).ReadString("DB7025", "Ip", ""), ProfileFileError);
  EXPECT_THROW(ProfileFile(path_).WriteString("DB7025", "Ip", "1"), ProfileFileError);
  EXPECT_TRUE(fs::is_directory(path_));
  fs::remove(path_);
  // Text that would break the file's lines is refused and nothing is written.
  const ProfileFile file(path_);
  EXPECT_THROW(file.WriteString("DB7025", "Password", "a\nIp=6.6.6.6"), ProfileFileError);
  EXPECT_THROW(file.WriteString("DB7025", "Pass=word", "a"), ProfileFileError);
  EXPECT_THROW(file.WriteString("DB]7025", "Ip", "a"), ProfileFileError);
  EXPECT_THROW(file.WriteString("DB7025", "", "a"), ProfileFileError);
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(ProfileFileTest, RandomWritesMatchAMap) {
  std::ofstream(path_) << "; header comment\n[Keep]\nA=1\n";
  const ProfileFile file(path_);
  std::map<std::pair<std::string, std::string>, std::string> model;
  const char* sections[] = {"One", "two", "THREE"};
  const char* keys[] = {"Ip", "Username", "Password", "UTC_Offset", "UTC_Auto"};
  std::mt19937 rng(7025);
  auto lower = [](std::string s) {
    for (char& c : s)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (int i = 0; i < 100; ++i) {
    std::string section = sections[rng() % 3];
    std::string key = keys[rng() % 5];
    if (rng() % 2) section = lower(section);
    if (rng() % 2) key = lower(key);
    const std::string value = "v" + std::to_string(rng() % 1000);
    file.WriteString(section, key, value);
    model[{lower(section), lower(key)}] = value;
  }
  for (const char* section : sections) {
    for (const char* key : keys) {
      const auto it = model.find({lower(section), lower(key)});
      EXPECT_EQ(file.ReadString(section, key, "<none>"), it == model.end() ? "<none>" : it->second);
    }
  }
  EXPECT_EQ(file.ReadString("Keep", "A", ""), "1");
  EXPECT_EQ(ReadFile(path_).rfind("; header comment\n[Keep]\nA=1\n", 0), 0u);
  EXPECT_EQ(Entries(), 1u);
}

}  // namespace
}  // namespace tivolo::platform
