// The mail-store seam's contract, run against every implementation: the
// in-memory fake host, the Maildir store and the adapters over the stand-in
// Outlook. (What only Outlook has is the explorer contract's,
// tests/addin/explorer_contract.h.)
// Each test program that links host_contract_test.cc instantiates the
// parameterized suite `HostContract` with its makers:
//
//   INSTANTIATE_TEST_SUITE_P(Maildir, HostContract, ::testing::Values(&MakeMaildirHost),
//                            HostMakerName);
//
// Only what the core relies on and every host does alike lives here; what
// one host does of its own (file modes, journals, failure injection) stays
// in that host's tests.
#ifndef VARNOX_TESTS_HOST_HOST_CONTRACT_H_
#define VARNOX_TESTS_HOST_HOST_CONTRACT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/application.h"
#include "host/folder.h"
#include "host/item.h"

namespace varnox::testing {

// A message as it arrives. `headers` are the transport headers, CRLF line
// ends, each line ended; `subject` is the normalized subject that their
// Subject line carries (a host that reads it from the headers ignores it).
struct ArrivingMessage {
  std::string headers;
  std::string body;
  std::string subject;
};

// One host over a world of its own: one store whose top level holds the
// mail folder "Inbox" and the folders added with AddFolder. Leaves nothing
// behind when destroyed.
class HostUnderTest {
 public:
  virtual ~HostUnderTest() = default;
  // The application as the core receives it at connection.
  virtual std::unique_ptr<host::Application> Application() = 0;
  // Makes a top-level mail folder, as the user does in the mail program.
  virtual void AddFolder(std::string_view name) = 0;
  // New mail into the top-level folder `folder`, delivered as the host
  // delivers it: ItemAdd has reached the live subscriptions of that folder
  // when this returns.
  virtual void Deliver(std::string_view folder, const ArrivingMessage& message) = 0;
  // Delivers the events that the core's own calls raised (a moved item's
  // ItemAdd in its new folder).
  virtual void PumpEvents() = 0;
  // The transport headers of each message in `folder`, as the store keeps
  // them (read past the seam), in any order.
  virtual std::vector<std::string> StoredHeaders(std::string_view folder) = 0;
  // Why this host cannot write the message property `tag`; empty when it
  // can.
  virtual std::string ReadOnlyReason(std::uint32_t /*tag*/) const { return {}; }
};

using HostMaker = std::unique_ptr<HostUnderTest> (*)();

// Names the instances by their place in the list rather than by the maker's
// address, so that test names stay the same from build to build.
inline std::string HostMakerName(const ::testing::TestParamInfo<HostMaker>& info) {
  return std::to_string(info.index);
}

class HostContract : public ::testing::TestWithParam<HostMaker> {
 protected:
  void SetUp() override {
    under_test = GetParam()();
    application = under_test->Application();
    ASSERT_NE(application, nullptr);
  }
  std::unique_ptr<HostUnderTest> under_test;
  std::unique_ptr<host::Application> application;
};

// Helpers of the contracts, defined in host_contract_test.cc.

// A message from the outside with a number of its own in "X-Id".
ArrivingMessage Arriving(int id);
bool Contains(std::string_view text, std::string_view part);
// The X-Id numbers of headers, sorted.
std::vector<int> IdsIn(const std::vector<std::string>& headers);
// A property of the mail's message; "<unreadable>" when it cannot be read.
std::string Property(host::MailItem& mail, std::uint32_t tag);
std::unique_ptr<host::MailItem> AsMail(host::Item& item);
// The first store's top-level folders.
std::unique_ptr<host::Folders> TopFolders(host::Application& application);
// The top-level folder with this name, looked up afresh; null when none.
std::unique_ptr<host::Folder> TopFolder(host::Application& application, std::string_view wanted);
// The folder's mail items through the seam, in the store's order.
std::vector<std::unique_ptr<host::MailItem>> Mails(host::Application& application,
                                                   std::string_view folder_name);
std::vector<std::string> HeadersThroughTheSeam(host::Application& application,
                                               std::string_view folder_name);

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_HOST_HOST_CONTRACT_H_
