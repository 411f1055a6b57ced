// The settings dialog opened from the menu: it shows the loaded settings, the tick rule, the
// offset's range, the address check, and the reload after it closes, saved or not.
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QSpinBox>
#include <QTest>

#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "app_test_support.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

using namespace testing;

// A button's accelerator clicks it after a short animation.
constexpr int kClickMs = 200;

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(ConfigFile(),
                   "; kept\n[DB7025]\nIp=192.168.2.10\nUsername=root\n"
                   "UTC_Offset=0x10\nUTC_Auto=0\n[Other]\nKey=1\n");
    settings = LoadConfiguration(ConfigFile());
  }
  std::string ConfigFile() const { return work.Path() + "/config.ini"; }
  // Opens the dialog as the menu does and runs act on it once it is filled.
  void UseFromMenu(MainWindow& w, std::function<void(SettingsDialog&)> act) {
    OnModal<SettingsDialog>([act](SettingsDialog& d) {
      QTest::qWait(30);
      act(d);
    });
    w.ConfigurationClick();
  }
  std::unique_ptr<MainWindow> Window() {
    StartOptions options;
    options.config_file = ConfigFile();
    options.local_dir = work.Path() + "/";
    options.messages = &messages;
    auto w = std::make_unique<MainWindow>(options);
    w->LoadConfiguration();  // as the start-up does, without its fetch
    return w;
  }

  tivolo::testing::TempDir work;
  widgets::ScriptedMessageService messages;
  Settings settings;
};

TEST_F(SettingsDialogTest, ShowsTheLoadedValuesAndTheOffsetRunsFromMinus12To14) {
  SettingsDialog d(settings, ConfigFile(), messages, nullptr);
  d.show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return d.EditIp()->text() == "192.168.2.10"; }, 2000));
  EXPECT_EQ(d.SpinOffset()->minimum(), -12);
  EXPECT_EQ(d.SpinOffset()->maximum(), 14);
  EXPECT_EQ(d.SpinOffset()->value(), 14);  // 16 loaded, beyond any zone
  EXPECT_TRUE(d.SpinOffset()->isEnabled());
  d.CheckBox1()->click();
  EXPECT_FALSE(d.SpinOffset()->isEnabled());
  d.CheckBox1()->click();
  d.SpinOffset()->setFocus();
  d.SpinOffset()->selectAll();
  QTest::keyClicks(d.SpinOffset(), "-5");
  EXPECT_EQ(d.SpinOffset()->value(), -5);
  QTest::keyClicks(d.SpinOffset(), "0");  // -50 is out of range
  EXPECT_EQ(d.SpinOffset()->value(), -5);
}

TEST_F(SettingsDialogTest, FromTheMenuSaveWritesAndTheWindowReloads) {
  auto w = Window();
  UseFromMenu(*w, [&](SettingsDialog& d) {
    d.EditIp()->setText("192.168.1.1a");
    QTest::keyClick(&d, Qt::Key_S, Qt::AltModifier);
    QTest::qWait(kClickMs);
    EXPECT_TRUE(d.isVisible());  // refused, still open
    d.EditIp()->setText("10.0.0.20");
    d.SpinOffset()->setValue(-5);
    QTest::keyClick(&d, Qt::Key_S, Qt::AltModifier);
  });
  EXPECT_EQ(messages.Trace(), (std::vector<std::string>{"information: Ongeldig IP adres"}));
  EXPECT_EQ(ReadFileBytes(ConfigFile()),
            "; kept\n[DB7025]\nIp=10.0.0.20\nUsername=root\nUTC_Offset=-5\nUTC_Auto=0\n"
            "Password=\n[Other]\nKey=1\n");
  EXPECT_EQ(w->windowTitle().toStdString(), "Tivolo  10.0.0.20:   (v0.2)");
  EXPECT_EQ(w->GetSettings().utc_offset, -5);
  EXPECT_FALSE(w->EndRequested());
}

TEST_F(SettingsDialogTest, CancelFromTheMenuLeavesTheFileAndReloadsTheSameValues) {
  const std::string before = ReadFileBytes(ConfigFile());
  auto w = Window();
  UseFromMenu(*w, [&](SettingsDialog& d) {
    d.EditIp()->setText("10.0.0.99");
    QTest::keyClick(&d, Qt::Key_C, Qt::AltModifier);
  });
  EXPECT_EQ(ReadFileBytes(ConfigFile()), before);
  EXPECT_EQ(w->windowTitle().toStdString(), "Tivolo  192.168.2.10:   (v0.2)");
  EXPECT_FALSE(w->EndRequested());
}

}  // namespace
}  // namespace tivolo::app
