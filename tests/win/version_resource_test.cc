// The version resource of the built DLL: what Windows shows in the file's
// properties and what a setup program compares, all from the project's one
// version number.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/win/addin_dll.h"

namespace varnox::win {
namespace {

// The text of one StringFileInfo value (US English, code page 1252).
std::string VersionText(const std::vector<char>& info, const std::string& name) {
  void* value = nullptr;
  UINT length = 0;
  const std::string path = "\\StringFileInfo\\040904E4\\" + name;
  if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || length == 0)
    return "<absent>";
  return std::string(static_cast<const char*>(value));
}

TEST(VersionResourceTest, CarriesTheProjectVersionAndWhoMadeIt) {
  const std::string dll = testing::AddinDllPath();
  const DWORD size = GetFileVersionInfoSizeA(dll.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(dll.c_str(), 0, size, info.data()));

  const std::string version = std::string(VARNOX_VERSION) + ".0";
  const struct {
    const char* name;
    std::string text;
  } expected[] = {
      {"FileVersion", version},  {"ProductVersion", version},
      {"CompanyName", "Varnox"}, {"FileDescription", "Varnox spam filter add-in for Outlook"},
      {"ProductName", "Varnox"}, {"OriginalFilename", "VarnoxMail.dll"},
  };
  for (const auto& e : expected)
    EXPECT_EQ(VersionText(info, e.name), e.text) << e.name;

  // The numbers Windows compares agree with the text.
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, version);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
}

}  // namespace
}  // namespace varnox::win
