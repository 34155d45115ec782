#include "tests/maildir/temp_maildir.h"

#include "host/application.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace varnox::testing {

TempMaildir::TempMaildir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "varnox-maildir-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  for (const char* sub : {"/cur", "/new", "/tmp"})
    std::filesystem::create_directory(root_ + sub);
}

TempMaildir::~TempMaildir() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string TempMaildir::AddFolder(std::string_view dir_name) const {
  const std::string dir = root_ + "/" + std::string(dir_name);
  std::filesystem::create_directory(dir);
  for (const char* sub : {"/cur", "/new", "/tmp"})
    std::filesystem::create_directory(dir + sub);
  return dir;
}

std::string TempMaildir::Deliver(const std::string& folder, std::string_view unique,
                                 std::string_view contents) {
  const std::string temporary = folder + "/tmp/" + std::string(unique);
  {
    std::ofstream out(temporary, std::ios::binary);
    out << contents;
  }
  const std::string path = folder + "/new/" + std::string(unique);
  if (rename(temporary.c_str(), path.c_str()) != 0)
    throw std::runtime_error("rename failed");
  return path;
}

std::string TempMaildir::PutInCur(const std::string& folder, std::string_view file_name,
                                  std::string_view contents) {
  const std::string path = folder + "/cur/" + std::string(file_name);
  std::ofstream out(path, std::ios::binary);
  out << contents;
  return path;
}

std::string TempMaildir::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> TempMaildir::Names(const std::string& folder, std::string_view subdir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder + "/" + std::string(subdir)))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

unsigned TempMaildir::Mode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::unique_ptr<host::Folders> TopFolders(maildir::MaildirHost& host) {
  std::unique_ptr<host::NameSpace> name_space;
  std::unique_ptr<host::Folders> roots, top;
  std::unique_ptr<host::Folder> store;
  if (Failed(host.ApplicationRef()->Session(&name_space)) ||
      Failed(name_space->GetFolders(&roots)) || Failed(roots->GetFirst(&store)) || !store ||
      Failed(store->GetFolders(&top)))
    throw std::runtime_error("no store");
  return top;
}

std::unique_ptr<host::Folder> TopFolder(maildir::MaildirHost& host, std::string_view name) {
  std::unique_ptr<host::Folders> top = TopFolders(host);
  std::unique_ptr<host::Folder> folder;
  for (top->GetFirst(&folder); folder; top->GetNext(&folder)) {
    std::string folder_name;
    folder->Name(&folder_name);
    if (folder_name == name)
      return folder;
  }
  return nullptr;
}

std::string TransportMessage(std::string_view from, std::string_view subject,
                             std::string_view body) {
  std::string text = "Received: from mx.example.org by mail.example.net; Mon, 1 Jan 2024\n";
  text += "From: " + std::string(from) + "\n";
  text += "Subject: " + std::string(subject) + "\n";
  text += "\n";
  text += body;
  return text;
}

}  // namespace varnox::testing
