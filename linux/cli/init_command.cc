// varnox init: lays down the settings file and the empty data files.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "linux/cli/command_context.h"
#include "linux/platform/console_user_interface.h"
#include "linux/platform/settings_file.h"
#include "linux/platform/settings_file_registry.h"
#include "linux/platform/xdg_paths.h"
#include "settings/settings_store.h"

namespace varnox::cli {
namespace {

constexpr std::string_view kOptions[] = {"--force"};

constexpr std::string_view kHelp =
    "Usage: varnox init [--force]\n"
    "\n"
    "Lays down the settings file, $XDG_CONFIG_HOME/varnox/settings.ini, with the\n"
    "paths of the four data files under $XDG_DATA_HOME/varnox/ (made with mode\n"
    "0700): words.db (the word database, which Varnox makes on first use),\n"
    "ignore.txt (words never counted, empty), blacklist.xml and whitelist.xml\n"
    "(empty sender lists). New files can be read by you only.\n"
    "\n"
    "Without --force, nothing is written when the settings file, the ignore file\n"
    "or a list exists already; init says which. With --force, the settings file\n"
    "is written anew (every setting back to its default: the repair of a damaged\n"
    "one) and the missing data files are laid down; the ignore file, the lists\n"
    "and the word database that exist are kept as they are.\n"
    "\n"
    "  --force   write a new settings file; keep every existing data file\n";

struct FileToLay {
  std::string what;
  std::string path;
  std::string contents;
};

// Longest path the settings store reads: longer ones read as absent, and the
// file would silently go unused.
constexpr std::size_t kMaxPathBytes = SettingsStore::kStringBufferSize - 1;

bool IsPlainAscii(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E)
      return false;
  }
  return true;
}

// mkdir -p, new folders with `mode`. Existing folders are left as they are.
bool MakeFolders(const std::string& path, mode_t mode, std::string* error) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
      *error = "cannot make the folder " + part + ": " + std::strerror(errno);
      return false;
    }
    if (slash == std::string::npos)
      break;
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = path + " is not a folder";
    return false;
  }
  return true;
}

std::string SettingsText(const XdgPaths& paths) {
  SettingsFile file = SettingsFile::Empty();
  const std::pair<const char*, std::string> values[] = {
      {setting::kWordFilePath, paths.WordFile()},
      {setting::kIgnoreFilePath, paths.IgnoreFile()},
      {setting::kBlackListPath, paths.BlackListFile()},
      {setting::kWhiteListPath, paths.WhiteListFile()},
  };
  for (const auto& [name, path] : values) {
    // Plain ASCII (checked before): the same bytes in code page 1252.
    file.Set(name, RegistryType::kString, std::string_view(path.c_str(), path.size() + 1));
  }
  return file.Text();
}

int Run(CommandContext& context, const Arguments& arguments) {
  if (!arguments.operands.empty())
    return context.UserError("init takes no file names (see varnox init --help)");
  const XdgPaths& paths = context.paths();
  // The data paths travel through the settings as code page 1252 and reach
  // the file system byte for byte, so only plain ASCII names the same file on
  // both sides of that trip.
  if (!IsPlainAscii(paths.data_folder)) {
    return context.UserError("the data folder " + paths.data_folder +
                             " has characters other than plain ASCII, which the data paths "
                             "cannot hold yet; set XDG_DATA_HOME to another folder");
  }
  if (std::max({paths.WordFile().size(), paths.IgnoreFile().size(), paths.BlackListFile().size(),
                paths.WhiteListFile().size()}) > kMaxPathBytes) {
    return context.UserError("the data folder " + paths.data_folder + " is too long: paths of " +
                             std::to_string(kMaxPathBytes + 1) +
                             " bytes or more cannot be used; set XDG_DATA_HOME");
  }

  // The settings file goes last: it exists only once the files it names do.
  const std::vector<FileToLay> files = {
      {"ignore file", paths.IgnoreFile(), ""},
      {"black list", paths.BlackListFile(), "<BlackList />\n"},
      {"white list", paths.WhiteListFile(), "<WhiteList />\n"},
      {"settings file", paths.SettingsFile(), SettingsText(paths)},
  };
  std::string existing;
  for (const FileToLay& file : files) {
    if (context.files().Exists(file.path))
      existing += "\n  " + file.path + " (" + file.what + ")";
  }
  if (!existing.empty() && !arguments.Has("--force"))
    return context.UserError("these exist already; nothing was changed (--force replaces them):" +
                             existing);

  std::string error;
  if (!MakeFolders(paths.data_folder, 0700, &error) ||
      !MakeFolders(paths.config_folder, 0700, &error)) {
    return context.UserError(error);
  }
  std::string report;
  for (const FileToLay& file : files) {
    // The user's data is never replaced: only the settings file is, when
    // --force asks for it.
    if (&file != &files.back() && context.files().Exists(file.path)) {
      report += "Kept " + file.path + " (" + file.what + ")\n";
      continue;
    }
    if (!context.files().ReplaceWholeFile(file.path, file.contents))
      return context.UserError("cannot write " + file.path);
    report += "Wrote " + file.path + " (" + file.what + ")\n";
  }
  report += context.files().Exists(paths.WordFile())
                ? "Kept the word database " + paths.WordFile() + "\n"
                : "The word database " + paths.WordFile() + " is made on first use.\n";
  context.Print(TerminalTextFromUtf8(report));
  return kExitOk;
}

}  // namespace

extern const Command kInitCommand{"init", "lay down the settings file and empty data files", kHelp,
                                  kOptions, Run};

}  // namespace varnox::cli
