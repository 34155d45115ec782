#include "linux/eval/message_source.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "linux/maildir/message_file.h"
#include "platform/hresult.h"

namespace varnox::eval {
namespace {

namespace fs = std::filesystem;

bool IsMessageName(const std::string& name) {
  return !name.empty() && name[0] != '.' && !name.ends_with(".json");
}

bool IsDirectory(const fs::path& path) {
  std::error_code ignored;
  return fs::is_directory(path, ignored);
}

// Appends the files of `dir` (not its directories) in byte-wise name order.
bool AppendFilesOf(const fs::path& dir, std::vector<std::string>* files, std::string* error) {
  std::error_code code;
  fs::directory_iterator it(dir, code);
  std::vector<std::string> names;
  for (; !code && it != fs::directory_iterator(); it.increment(code)) {
    const std::string name = it->path().filename().string();
    std::error_code type_error;
    // A symbolic link is listed as it is: reading refuses it, and it is then
    // counted as unreadable rather than silently passed over.
    if (IsMessageName(name) && !it->is_directory(type_error))
      names.push_back(name);
  }
  if (code) {
    *error = dir.string() + ": " + code.message();
    return false;
  }
  std::sort(names.begin(), names.end());  // std::string compares bytes as unsigned
  for (const std::string& name : names)
    files->push_back((dir / name).string());
  return true;
}

}  // namespace

bool ListMessageFiles(const std::string& dir, std::vector<std::string>* files, std::string* error) {
  files->clear();
  const fs::path root(dir);
  if (!IsDirectory(root)) {
    std::error_code code;
    *error = dir + (fs::exists(root, code) ? ": not a directory" : ": no such directory");
    return false;
  }
  if (IsDirectory(root / "cur") && IsDirectory(root / "new"))
    return AppendFilesOf(root / "new", files, error) && AppendFilesOf(root / "cur", files, error);
  return AppendFilesOf(root, files, error);
}

bool ReadTextsOfFile(const std::string& path, mime::MimeTexts* texts) {
  std::string raw;
  if (Failed(maildir::ReadMessageFile(path, maildir::kMaxMessageRead, &raw, nullptr)))
    return false;
  *texts = mime::ReadMimeTexts(raw);
  return true;
}

}  // namespace varnox::eval
