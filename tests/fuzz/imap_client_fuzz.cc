// The IMAP client against a server that answers anything: the fuzzer's
// bytes are all the server says, from the greeting on, while the client
// logs in, lists, selects, searches, fetches, appends, moves, removes and
// waits. What the client makes of the answers (libetpan's parse turned into
// our folders, flags, dates and messages, folder names decoded, budgets
// kept) must never crash, and a dropped connection must stay dropped.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "linux/imap/imap_client.h"
#include "linux/imap/mailbox_name.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace varnox;

// A server's side of one connection: hands out the script in pieces of
// the sizes given, swallows what the client writes, then ends.
class ScriptedStream : public ByteStream {
 public:
  ScriptedStream(std::string script, std::size_t piece)
      : script_(std::move(script)), piece_(std::max<std::size_t>(piece, 1)) {}
  long Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, piece_, script_.size() - at_});
    std::memcpy(buffer, script_.data() + at_, n);
    at_ += n;
    return static_cast<long>(n);  // 0 at the end: the server hung up
  }
  long Write(const char*, std::size_t size) override { return static_cast<long>(size); }
  int WaitDescriptor() const override { return -1; }
  bool HasBuffered() const override { return at_ < script_.size(); }
  const std::string& Error() const override { return error_; }

 private:
  std::string script_;
  std::size_t piece_;
  std::size_t at_ = 0;
  std::string error_ = "the script ended";
};

// A failed operation that drops the connection leaves it dropped.
bool Went(ImapClient& client, const ImapResult& result) {
  VARNOX_FUZZ_CHECK(result.ok() || !result.text.empty());
  if (result.disconnected())
    VARNOX_FUZZ_CHECK(!client.connected());
  return client.connected();
}

void CheckName(const std::string& wire) {
  std::string utf8, again;
  if (DecodeMailboxName(wire, &utf8)) {
    VARNOX_FUZZ_CHECK(EncodeMailboxName(utf8, &again));
    VARNOX_FUZZ_CHECK(again == wire);
  }
  if (EncodeMailboxName(wire, &again)) {
    VARNOX_FUZZ_CHECK(DecodeMailboxName(again, &utf8));
    VARNOX_FUZZ_CHECK(utf8 == wire);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::size_t piece = input.ConsumeIntegralInRange<std::size_t>(1, 4096);
  const std::string script = input.ConsumeRemainingBytesAsString();
  CheckName(script.substr(0, 64));

  ImapClientOptions options;
  options.answer_budget = 1 << 16;
  options.fetch_batch_bytes = 1 << 12;
  options.max_message_bytes = 1 << 14;
  ImapClient client(options);
  SecretText password;
  std::string text = "pass";
  password.Assign(text);
  if (!Went(client, client.ConnectOver(std::make_unique<ScriptedStream>(script, piece),
                                       "fuzz.example", "ann", password)))
    return 0;

  std::vector<ImapFolder> folders;
  if (!Went(client, client.ListFolders(&folders)))
    return 0;
  for (const ImapFolder& folder : folders) {
    VARNOX_FUZZ_CHECK(!folder.wire_name.empty() || folder.name.empty());
    CheckName(folder.wire_name);
  }
  ImapFolderState state;
  if (!Went(client, client.Select("INBOX", false, &state)))
    return 0;
  std::vector<std::uint32_t> uids;
  if (!Went(client, client.SearchUidsFrom(2, &uids)))
    return 0;
  VARNOX_FUZZ_CHECK(std::is_sorted(uids.begin(), uids.end()));
  VARNOX_FUZZ_CHECK(uids.empty() || uids.front() >= 2);
  if (uids.size() > 64)
    uids.resize(64);
  const ImapResult fetched = client.Fetch(
      uids, kFetchFlags | kFetchInternalDate | kFetchHeader | kFetchContent, [&](ImapMessage& m) {
        VARNOX_FUZZ_CHECK(m.uid != 0);
        VARNOX_FUZZ_CHECK(!m.too_large || m.content.empty());
        VARNOX_FUZZ_CHECK(m.content.size() <= options.answer_budget + options.max_message_bytes);
        for (const std::string& flag : m.flags)
          VARNOX_FUZZ_CHECK(!flag.empty() && flag != "\\Recent");
        if (m.internal_date)
          ImapDateToUnixTime(*m.internal_date);
        return true;
      });
  if (!Went(client, fetched))
    return 0;
  std::uint32_t uid = 0;
  if (!Went(client, client.Append("INBOX", "Subject: x\r\n\r\nbody\r\n", {"\\Seen", "$kw"},
                                  ImapDate{2024, 2, 29, 23, 59, 58, -500}, &uid)))
    return 0;
  if (!Went(client, client.Move(uids.empty() ? 1 : uids.front(), "SpamFilter", &uid)))
    return 0;
  if (!Went(client, client.Expunge(1)))
    return 0;
  ImapWaitOutcome outcome;
  if (!Went(client, client.Wait(std::chrono::milliseconds(0), -1, &outcome)))
    return 0;
  client.Logout();
  VARNOX_FUZZ_CHECK(!client.connected());
  return 0;
}
