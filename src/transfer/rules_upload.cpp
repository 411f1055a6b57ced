#include "transfer/rules_upload.h"

#include <system_error>

#include "net/ftp_client.h"
#include "platform/safe_file.h"
#include "transfer/box_list_transfer.h"
#include "transfer/save_to_box.h"

namespace tivolo::transfer {
namespace {

constexpr const char* kLocalName = "autotimer.xml.new";

void Upload(net::FtpClient& ftp, const std::filesystem::path& local_dir, const std::string& text,
            const std::optional<std::string>& as_read, RulesUploadResult& result) {
  BoxListTransfer box(ftp, local_dir);
  const std::optional<std::string> now = box.Read(kRulesBoxName);
  if (now.has_value() != as_read.has_value() || (now && !SameText(*now, *as_read))) {
    result.changed_on_box = true;
    throw SaveError("The box's series rules changed since they were read.");
  }
  const std::filesystem::path local = local_dir / kLocalName;
  platform::ReplaceFile(local, text);
  ftp.Upload(local.string(), kRulesUploadName, false);
  if (!box.Holds(kRulesUploadName, text)) {
    box.DeleteIfThere(kRulesUploadName);
    throw SaveError("The box did not store the whole rules file (" + std::string(kRulesUploadName) +
                    "); its rules are as they were.");
  }
  ftp.Rename(kRulesUploadName, kRulesBoxName);
  if (!box.Holds(kRulesBoxName, text))
    throw SaveError("The box's autotimer.xml does not hold the rules stored.");
  std::error_code ec;
  std::filesystem::remove(local, ec);
}

}  // namespace

std::string RulesUploadResult::MessageText() const {
  if (changed_on_box)
    return "The series rules were changed on the box since they were read, so the rules "
           "edited here were not saved. Reload from the box and edit them again.";
  return "The series rules could not be saved to the box: " + error_type + ": " + error_message +
         "\nTry Save && Exit again.";
}

RulesUploadResult UploadRules(const BoxAddress& box, const BoxBounds& bounds,
                              const std::filesystem::path& local_dir, const std::string& text,
                              const std::optional<std::string>& as_read,
                              const std::function<void(const std::string&)>& log) {
  RulesUploadResult result;
  try {
    std::unique_ptr<net::FtpClient> ftp = ConnectToBoxFolder(box, bounds, log);
    Upload(*ftp, local_dir, text, as_read, result);
    ftp->Close();
    result.ok = true;
  } catch (const platform::Error& e) {
    result.error_type = e.TypeName();
    result.error_message = e.what();
  } catch (const std::exception& e) {
    result.error_type = "Error";
    result.error_message = e.what();
  }
  return result;
}

}  // namespace tivolo::transfer
