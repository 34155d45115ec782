// The registry seam's contract, run against every implementation: the
// in-memory stand-in, the Linux settings file and the Windows registry.
// Each test program that links registry_contract_test.cc instantiates the
// parameterized suite `RegistryContract` with its makers:
//
//   INSTANTIATE_TEST_SUITE_P(SettingsFile, RegistryContract,
//                            ::testing::Values(&MakeSettingsFile), RegistryMakerName);
#ifndef VARNOX_TESTS_PLATFORM_REGISTRY_CONTRACT_H_
#define VARNOX_TESTS_PLATFORM_REGISTRY_CONTRACT_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace varnox::testing {

// One registry in a state of its own: made without the settings key, and
// leaving nothing behind when destroyed.
class RegistryUnderTest {
 public:
  virtual ~RegistryUnderTest() = default;
  virtual Registry& registry() = 0;
  // Makes the settings key, empty, as setup does before the first start.
  virtual void CreateKey() = 0;
  virtual bool KeyExists() = 0;
  // Stores a value of the settings key as another program would, past the
  // seam where the implementation has another way in.
  virtual void SetRaw(std::string_view name, RegistryType type, std::string_view data) = 0;
};

using RegistryMaker = std::unique_ptr<RegistryUnderTest> (*)();

// Names the instances by their place in the list rather than by the maker's
// address, so that test names stay the same from build to build.
inline std::string RegistryMakerName(const ::testing::TestParamInfo<RegistryMaker>& info) {
  return std::to_string(info.index);
}

class RegistryContract : public ::testing::TestWithParam<RegistryMaker> {
 protected:
  void SetUp() override { under_test = GetParam()(); }
  std::unique_ptr<RegistryUnderTest> under_test;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_PLATFORM_REGISTRY_CONTRACT_H_
