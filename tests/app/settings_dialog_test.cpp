// The settings dialog opened from the menu: it shows the loaded settings, the tick rule, the
// offset's range (and keeps a loaded offset beyond it), the address check, and the reload
// after it closes, saved or not. Controls are found by their object names.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
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
    WriteFile(ConfigFile(),
              "; kept\n[DB7025]\nIp=192.168.2.10\nUsername=root\n"
              "UTC_Offset=0x10\nUTC_Auto=0\n[Other]\nKey=1\n");
    settings = LoadConfiguration(ConfigFile());
  }
  std::string ConfigFile() const { return work.Path() + "/config.ini"; }
  // Opens the dialog as the menu does and runs act on it once it is filled.
  void UseFromMenu(MainWindow& w, std::function<void(SettingsDialog&)> act) {
    DialogScript script;
    script.Then<SettingsDialog>(std::move(act));
    EXPECT_TRUE(script.Run([&w] { w.ConfigurationClick(); }));
  }
  static QLineEdit& Ip(SettingsDialog& d) { return Control<QLineEdit>(d, "Edit_Ip"); }
  static QSpinBox& Offset(SettingsDialog& d) { return Control<QSpinBox>(d, "SpinOffset"); }
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
  EXPECT_TRUE(QTest::qWaitFor([&] { return Ip(d).text() == "192.168.2.10"; }, 2000));
  QSpinBox& offset = Offset(d);
  EXPECT_EQ(offset.minimum(), -12);
  EXPECT_EQ(offset.maximum(), 14);
  EXPECT_EQ(offset.value(), 14);  // 16 loaded, beyond any zone
  EXPECT_TRUE(offset.isEnabled());
  Control<QCheckBox>(d, "CheckBox1").click();
  EXPECT_FALSE(offset.isEnabled());
  Control<QCheckBox>(d, "CheckBox1").click();
  offset.setFocus();
  offset.selectAll();
  QTest::keyClicks(&offset, "-5");
  EXPECT_EQ(offset.value(), -5);
  QTest::keyClicks(&offset, "0");  // -50 is out of range
  EXPECT_EQ(offset.value(), -5);
}

TEST_F(SettingsDialogTest, FromTheMenuSaveWritesAndTheWindowReloads) {
  auto w = Window();
  UseFromMenu(*w, [&](SettingsDialog& d) {
    Ip(d).setText("192.168.1.1a");
    QTest::keyClick(&d, Qt::Key_S, Qt::AltModifier);
    QTest::qWait(kClickMs);
    EXPECT_TRUE(d.isVisible());  // refused, still open
    Ip(d).setText("10.0.0.20");
    Offset(d).setValue(-5);
    QTest::keyClick(&d, Qt::Key_S, Qt::AltModifier);
  });
  EXPECT_EQ(messages.Trace(), (std::vector<std::string>{"information: Ongeldig IP adres"}));
  EXPECT_EQ(ReadFile(ConfigFile()),
            "; kept\n[DB7025]\nIp=10.0.0.20\nUsername=root\nUTC_Offset=-5\nUTC_Auto=0\n"
            "Password=\nWebPort=80\nWebHttps=0\nApplyLive=1\n[Other]\nKey=1\n");
  EXPECT_EQ(w->windowTitle().toStdString(), "Tivolo  10.0.0.20:   (v0.2)[*]");
  EXPECT_EQ(w->GetSettings().utc_offset, -5);
  EXPECT_FALSE(w->EndRequested());
}

TEST_F(SettingsDialogTest, CancelFromTheMenuLeavesTheFileAndReloadsTheSameValues) {
  const std::string before = ReadFile(ConfigFile());
  auto w = Window();
  UseFromMenu(*w, [&](SettingsDialog& d) {
    Ip(d).setText("10.0.0.99");
    QTest::keyClick(&d, Qt::Key_C, Qt::AltModifier);
  });
  EXPECT_EQ(ReadFile(ConfigFile()), before);
  UseFromMenu(*w, [&](SettingsDialog& d) {  // Escape is Cancel
    EXPECT_FALSE(Control<QLabel>(d, "FirstRunNote").isVisible());
    Ip(d).setText("10.0.0.98");
    QTest::keyClick(&Ip(d), Qt::Key_Return);  // Enter saves nothing
    EXPECT_TRUE(d.isVisible());
    QTest::keyClick(&Ip(d), Qt::Key_Escape);
  });
  EXPECT_EQ(ReadFile(ConfigFile()), before);
  EXPECT_EQ(w->windowTitle().toStdString(), "Tivolo  192.168.2.10:   (v0.2)[*]");
  EXPECT_FALSE(w->EndRequested());
}

// The web interface's settings sit below the box's and the clock's, with Save and Cancel
// after them at the bottom, also in tab order; they show what was loaded and are saved with the
// rest. The password is hidden until "show" is ticked.
TEST_F(SettingsDialogTest, WebInterfaceSettingsComeBeforeTheButtonsAndAreSaved) {
  std::string text = ReadFile(ConfigFile());
  text.insert(text.find("[Other]"), "WebPort=8080\nApplyLive=0\n");
  WriteFile(ConfigFile(), text);
  auto w = Window();
  UseFromMenu(*w, [&](SettingsDialog& d) {
    auto& port = Control<QSpinBox>(d, "SpinWebPort");
    auto& https = Control<QCheckBox>(d, "CheckWebHttps");
    auto& live = Control<QCheckBox>(d, "CheckApplyLive");
    auto& cancel = Control<QPushButton>(d, "ButtonCancel");
    EXPECT_EQ(port.value(), 8080);
    EXPECT_FALSE(https.isChecked());
    EXPECT_FALSE(live.isChecked());
    auto& save = Control<QPushButton>(d, "ButtonSave");
    EXPECT_GT(cancel.mapTo(&d, QPoint()).y(), live.mapTo(&d, QPoint()).y() + live.height());
    EXPECT_LT(save.x(), cancel.x());
    Control<QCheckBox>(d, "CheckBox1").setFocus();
    for (QWidget* next : std::initializer_list<QWidget*>{&port, &https, &live, &save, &cancel}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      EXPECT_TRUE(next->hasFocus()) << next->objectName().toStdString();
    }
    auto& password = Control<QLineEdit>(d, "Edit_Pass");
    EXPECT_EQ(password.echoMode(), QLineEdit::Password);
    Control<QCheckBox>(d, "ShowPassword").setChecked(true);
    EXPECT_EQ(password.echoMode(), QLineEdit::Normal);
    port.setValue(8443);
    https.setChecked(true);
    live.setChecked(true);
    Control<QPushButton>(d, "ButtonSave").click();
  });
  const std::string saved = ReadFile(ConfigFile());
  for (const char* line : {"\nWebPort=8443\n", "\nWebHttps=1\n", "\nApplyLive=1\n"})
    EXPECT_NE(saved.find(line), std::string::npos) << saved;
  EXPECT_EQ(w->GetSettings().web_port, 8443);
  EXPECT_TRUE(w->GetSettings().web_https && w->GetSettings().apply_live);
  EXPECT_EQ(w->WebEndpoint().port, 8443);
}

// The offset 16 shows as 14, the end of the spin box's range; saved for a new address, the
// file keeps 16, and loading it says so in the log.
TEST_F(SettingsDialogTest, AnOffsetBeyondTheRangeIsKeptWhenSavingSomethingElse) {
  auto w = Window();
  EXPECT_NE(w->LogText().find("UTC_Offset 16 lies outside"), std::string::npos) << w->LogText();
  UseFromMenu(*w, [&](SettingsDialog& d) {
    EXPECT_EQ(Offset(d).value(), 14);
    Ip(d).setText("10.0.0.21");
    Control<QPushButton>(d, "ButtonSave").click();
  });
  EXPECT_EQ(w->GetSettings().utc_offset, 16);
  EXPECT_NE(ReadFile(ConfigFile()).find("UTC_Offset=16\n"), std::string::npos);
}

}  // namespace
}  // namespace tivolo::app
