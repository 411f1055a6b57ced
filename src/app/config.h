// The program's settings in config.ini beside the executable, section "DB7025": loading them
// with their defaults, the main window's caption, and the settings dialog's Save without
// the window itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "transfer/box_address.h"

namespace tivolo::app {

// A value of config.ini the program cannot use; the message names the key.
class ConfigError : public platform::Error {
 public:
  using Error::Error;
  std::string TypeName() const override { return "ConfigError"; }
};

inline constexpr char kConfigSection[] = "DB7025";
inline constexpr char kConfigFileName[] = "config.ini";
inline constexpr char kInvalidAddressMessage[] = "Ongeldig IP adres";

// The offsets of the world's zones, the settings dialog's range.
inline constexpr int kOffsetMin = -12;
inline constexpr int kOffsetMax = 14;
// The highest port number; ports run from 1.
inline constexpr int32_t kLastPort = 65535;

struct Settings {
  std::string ip;
  std::string username;
  std::string password;
  int32_t utc_offset = 0;  // whole hours, local = UTC + utc_offset when !utc_auto
  bool utc_auto = true;
  // Read only, never written: for a box behind a forwarded port or a simulated box.
  uint16_t ftp_port = 21;
  uint16_t telnet_port = 23;
  std::string box_folder = "/etc/enigma2";  // key "BoxFolder"
  // The box's web interface: its port, whether it is reached by HTTPS, and whether a save
  // applies the changes through it when the box has one.
  uint16_t web_port = 80;
  bool web_https = false;
  bool apply_live = true;
  // The user's own tuner set-up, one system ("DVB-S2") per tuner in slot order, for a box that
  // tells its tuners neither by its web interface nor by telnet; used only while nothing was
  // read from the box. Key "ManualTuners", the systems separated by commas; empty: none.
  std::vector<std::string> manual_tuners;
};

// The systems the manual set-up offers, and its largest number of tuners.
inline constexpr const char* kManualTunerSystems[] = {"DVB-S2", "DVB-S", "DVB-C", "DVB-T2",
                                                      "DVB-T"};
inline constexpr int kMaxManualTuners = 8;

// The settings dialog's controls; the defaults are what it shows on the first run.
struct SettingsEntries {
  std::string ip = "192.168.1.1";
  std::string username = "root";
  std::string password;
  double offset = 0;  // the spin box's value
  bool automatic = true;
  int web_port = 80;
  bool web_https = false;
  bool apply_live = true;
  std::vector<std::string> manual_tuners;
};

// "DVB-S2, DVB-C" read back as {"DVB-S2", "DVB-C"}: blanks trimmed, empty parts and systems
// not offered dropped, at most kMaxManualTuners.
std::vector<std::string> ParseManualTuners(std::string_view text);

// program_dir is the executable's folder with its trailing "/".
std::string ConfigFilePath(const std::string& program_dir);

// An integer as the configuration holds it: decimal with an optional sign, or hexadecimal
// after "$", or after "0x"/"0X" when more follows. False (value untouched) when it does not
// parse or does not fit 32 bits.
bool ParseConfigInteger(std::string_view text, int32_t& value);

// Reads the keys of section "DB7025"; missing keys (or a missing file) give their defaults.
// An offset outside kOffsetMin..kOffsetMax is kept as it is and said in one line to log.
// Throws platform::ProfileFileError when the file exists but cannot be read, and ConfigError
// for a port (FtpPort, TelnetPort, WebPort) that is not a number from 1 to 65535.
Settings LoadConfiguration(const std::string& config_file,
                           const std::function<void(const std::string&)>& log = {});

// The box the settings name, with the login to use there.
transfer::BoxAddress BoxAddressOf(const Settings& settings);

// "Tivolo  " + ip + ":   (v" + the version + ")", such as "Tivolo  192.168.1.1:   (v0.2)".
std::string MainCaption(const Settings& settings);

// Leading and trailing blanks and control characters removed.
std::string TrimEntry(std::string_view text);

// A dotted quad of four decimal numbers 0 to 255 (no leading zeros, which resolvers read as
// octal), or a host name: labels of letters, digits and hyphens, 1 to 63 characters each, not
// beginning or ending with a hyphen, at most 253 characters, the last label beginning with a
// letter so that nothing number-like (1234567890, 192.168.1.300, 192.168.1.1a) passes.
bool IsValidAddress(std::string_view address);

// The dialog's controls filled from the loaded settings (not on the first run).
SettingsEntries EntriesFrom(const Settings& settings);

// The offset the dialog saves: the loaded one while the spin box still shows it as near as
// its range allows, so that an offset outside that range is not changed by a save for
// another reason; otherwise what the spin box shows.
int32_t KeptOffset(int shown, int32_t loaded);

// Writes "Ip", "Username", "Password", "UTC_Offset", "UTC_Auto", "WebPort", "WebHttps" and
// "ApplyLive", in this order, each at once, then "ManualTuners" when there is one or the file
// held one. Throws platform::ProfileFileError("Unable to write
// to <path>").
void SaveConfiguration(const std::string& config_file, const Settings& settings);

enum class SaveResult { kSaved, kInvalidAddress };

// The dialog's Save: an address that fails IsValidAddress (after trimming) gives
// kInvalidAddress and changes nothing (the caller shows kInvalidAddressMessage). Otherwise
// the trimmed entries become the settings, then SaveConfiguration writes them; when that
// throws, the settings are already in effect.
SaveResult SaveEntries(const SettingsEntries& entries, Settings& settings,
                       const std::string& config_file);

}  // namespace tivolo::app
