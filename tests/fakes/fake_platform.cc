#include "tests/fakes/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/code_page.h"

namespace varnox::testing {

bool FakeRegistry::NameLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return code_page::ToLower(static_cast<unsigned char>(x)) <
           code_page::ToLower(static_cast<unsigned char>(y));
  });
}

class FakeRegistryKey final : public RegistryKey {
 public:
  explicit FakeRegistryKey(FakeRegistry& registry) : registry_(registry) {}

  std::int32_t QueryValue(std::string_view name, RegistryType* type, void* data,
                          std::uint32_t* size) override {
    auto it = registry_.values_.find(std::string(name));
    if (it == registry_.values_.end())
      return kErrorFileNotFound;
    const std::string& stored = it->second.data;
    if (type != nullptr)
      *type = it->second.type;
    if (data == nullptr) {
      *size = static_cast<std::uint32_t>(stored.size());
      return kErrorSuccess;
    }
    if (stored.size() > *size) {
      *size = static_cast<std::uint32_t>(stored.size());
      return kErrorMoreData;
    }
    std::memcpy(data, stored.data(), stored.size());
    *size = static_cast<std::uint32_t>(stored.size());
    return kErrorSuccess;
  }

  std::int32_t SetValue(std::string_view name, RegistryType type, const void* data,
                        std::uint32_t size) override {
    if (registry_.fail_writes)
      return kErrorWriteFault;
    ++registry_.writes_;
    registry_.written_.emplace_back(name);
    registry_.values_[std::string(name)] =
        FakeRegistry::Value{type, std::string(static_cast<const char*>(data), size)};
    return kErrorSuccess;
  }

 private:
  FakeRegistry& registry_;
};

std::int32_t FakeRegistry::OpenCurrentUserKey(std::string_view path,
                                              std::unique_ptr<RegistryKey>* key) {
  if (!key_exists_ || path != key_path)
    return kErrorFileNotFound;
  *key = std::make_unique<FakeRegistryKey>(*this);
  return kErrorSuccess;
}

void FakeRegistry::SetDword(const std::string& name, std::uint32_t v) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i)
    data[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  SetRaw(name, RegistryType::kDword, data);
}

void FakeRegistry::SetString(const std::string& name, std::string_view text) {
  std::string data(text);
  data.push_back('\0');
  SetRaw(name, RegistryType::kString, data);
}

const FakeRegistry::Value* FakeRegistry::Find(const std::string& name) const {
  auto it = values_.find(name);
  return it == values_.end() ? nullptr : &it->second;
}

bool FakeFileSystem::ReadWholeFile(const std::string& path, std::string* contents) {
  contents->clear();
  if (std::find(unreadable.begin(), unreadable.end(), path) != unreadable.end())
    return false;
  auto it = files.find(path);
  if (it == files.end())
    return false;
  *contents = it->second;
  return true;
}

bool FakeFileSystem::ReplaceWholeFile(const std::string& path, std::string_view contents) {
  ++replace_calls;
  if (path.empty() || fail_all_writes ||
      std::find(unwritable.begin(), unwritable.end(), path) != unwritable.end()) {
    return false;
  }
  files[path] = std::string(contents);
  return true;
}

bool FakeFileSystem::Stamp(const std::string& path, FileStamp* stamp) {
  const auto it = files.find(path);
  if (it == files.end())
    return false;
  *stamp = FileStamp{};
  stamp->size = it->second.size();
  stamp->modified = static_cast<std::int64_t>(std::hash<std::string>{}(it->second) >> 1);
  stamp->changed = stamp_bump[path];
  stamp->file = 1;
  return true;
}

namespace {

class CopiedFile final : public ReadOnlyFile {
 public:
  explicit CopiedFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) override {
    if (offset > bytes_.size() || size > bytes_.size() - offset)
      return false;
    std::memcpy(out, bytes_.data() + offset, size);
    return true;
  }
  std::span<const unsigned char> Map() override {
    return {reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size()};
  }

 private:
  std::string bytes_;
};

}  // namespace

std::unique_ptr<ReadOnlyFile> FakeFileSystem::OpenReadOnly(const std::string& path) {
  if (std::find(unreadable.begin(), unreadable.end(), path) != unreadable.end())
    return nullptr;
  const auto it = files.find(path);
  if (it == files.end())
    return nullptr;
  return std::make_unique<CopiedFile>(it->second);
}

int FakeUserInterface::ShowMessage(std::string_view text, std::string_view caption,
                                   std::uint32_t flags) {
  messages.push_back(Shown{std::string(text), std::string(caption), flags});
  if (!answers.empty()) {
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return (flags & 0xF) == kMbYesNo ? kIdNo : kIdOk;
}

}  // namespace varnox::testing
