// The contract of what only Outlook has beside the stores (addin/explorer.h),
// run against the tests' fake host and the adapters over the stand-in
// Outlook. A program that links explorer_contract_test.cc (and
// host_contract_test.cc, whose helpers it uses) instantiates the
// parameterized suite `ExplorerContract` with its makers.
#ifndef VARNOX_TESTS_ADDIN_EXPLORER_CONTRACT_H_
#define VARNOX_TESTS_ADDIN_EXPLORER_CONTRACT_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "addin/explorer.h"
#include "tests/host/host_contract.h"

namespace varnox::testing {

// A store set whose application has windows.
class ExplorerUnderTest : public HostUnderTest {
 public:
  // Makes every message of `folder` the explorer's selection, in the order
  // the folder's items give them, and that folder the one being viewed.
  virtual void SelectAll(std::string_view folder) = 0;
};

using ExplorerMaker = std::unique_ptr<ExplorerUnderTest> (*)();

inline std::string ExplorerMakerName(const ::testing::TestParamInfo<ExplorerMaker>& info) {
  return std::to_string(info.index);
}

// The window side of an application that has one; the test fails (a
// std::bad_cast) when it has none.
inline outlook::Application& WindowSide(host::Application& application) {
  return dynamic_cast<outlook::Application&>(application);
}

class ExplorerContract : public ::testing::TestWithParam<ExplorerMaker> {
 protected:
  void SetUp() override {
    under_test = GetParam()();
    application = under_test->Application();
    ASSERT_NE(application, nullptr);
  }
  std::unique_ptr<ExplorerUnderTest> under_test;
  std::unique_ptr<host::Application> application;
};

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_ADDIN_EXPLORER_CONTRACT_H_
