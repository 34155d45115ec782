// The new-mail pipeline on arbitrary header, body and subject triples,
// through the fake host with the real filter and sender lists; on the way,
// ExtractSenderAddress and FindLearnMark on the same headers.
//
// What must hold for every message: the headers only ever grow at their end;
// every line we add is one of our stamps or a black-list note, and none holds
// a line break of its own; the message ends up in exactly one folder; nothing
// is shown but a failed move (and no move fails here); every host reference
// and the module lock count come back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "addin/vnx_addin.h"
#include "mail/message_texts.h"
#include "mail/process_new_item.h"
#include "mail/sender_address.h"
#include "platform/module_lock.h"
#include "settings/settings_store.h"
#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace varnox {
namespace {

std::string ListFile(std::string_view address, std::string_view domain) {
  return std::string("<?xml version=\"1.0\" ?>\n<List>\n  <MailID Name=\"") + std::string(address) +
         "\" />\n  <Domain Name=\"" + std::string(domain) + "\" />\n</List>\n";
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Every line of `added` (split at CR LF) is a line we write, and no line
// holds a CR or LF of its own.
void CheckAddedLines(std::string_view added) {
  while (!added.empty()) {
    const std::size_t end = added.find("\r\n");
    const std::string_view line = added.substr(0, end);
    VARNOX_FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
    VARNOX_FUZZ_CHECK(StartsWith(line, "X-VNX-RESULT:") || StartsWith(line, "X-VNX-SCORE:") ||
                      StartsWith(line, "X-VNX-TOP-WORDS:") || EndsWith(line, kListedAddressNote) ||
                      EndsWith(line, kListedDomainNote));
    if (end == std::string_view::npos)
      break;
    added.remove_prefix(end + 2);
  }
}

void CheckSenderAddress(std::string_view headers) {
  std::string address = "unchanged";
  const int found = ExtractSenderAddress(headers, &address);
  if (found == 0) {
    VARNOX_FUZZ_CHECK(address == "unchanged");
    return;
  }
  VARNOX_FUZZ_CHECK(found == 1);
  VARNOX_FUZZ_CHECK(address.size() <= kMaxSenderAddressLength);
  VARNOX_FUZZ_CHECK(address.find_first_of("\r\n") == std::string::npos);
  VARNOX_FUZZ_CHECK(headers.find(address) != std::string_view::npos);
  const std::string domain = DomainKey(address);
  VARNOX_FUZZ_CHECK(domain.empty() || (domain.front() == '@' && EndsWith(address, domain)));
}

}  // namespace
}  // namespace varnox

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnox;
  FuzzedDataProvider input(data, size);
  const std::uint8_t switches = input.ConsumeIntegral<std::uint8_t>();
  std::string headers = input.ConsumeRandomLengthString(4096);
  std::string subject = input.ConsumeRandomLengthString(512);
  std::string body = input.ConsumeRemainingBytesAsString();

  CheckSenderAddress(headers);

  testing::FakePlatform fakes;
  fakes.registry.CreateKey();
  fakes.registry.SetString(setting::kBlackListPath, "black.xml");
  fakes.registry.SetString(setting::kWhiteListPath, "white.xml");
  fakes.registry.SetDword(setting::kLearnFromWhiteListed, switches & 1);
  fakes.registry.SetDword(setting::kLearnFromBlackListed, (switches >> 1) & 1);
  fakes.registry.SetDword(setting::kBeepAtSpam, (switches >> 2) & 1);
  fakes.registry.SetDword(setting::kMarkReadBeforeMoving, (switches >> 3) & 1);
  const bool second_judge = ((switches >> 4) & 1) != 0;
  fakes.registry.SetDword(setting::kSecondJudge, second_judge ? 1 : 0);
  fakes.files.files["white.xml"] = ListFile("friend@white.example", "@white.example");
  fakes.files.files["black.xml"] = ListFile("spammer@black.example", "@black.example");

  testing::FakeHost host;
  testing::FakeFolder& store = host.AddStore("Personal Folders");
  testing::FakeFolder& inbox = store.AddFolder("Inbox");
  testing::FakeFolder& spam = store.AddFolder("SpamFilter");
  testing::FakeItem& mail = inbox.AddMail(headers, body, subject);

  {
    std::string mark;
    const int marked = FindLearnMark(*host.MessageRef(mail), &mark, false);
    VARNOX_FUZZ_CHECK(marked == 0 || marked == 1);
    if (marked == 1)
      VARNOX_FUZZ_CHECK(mark == kLearnMarkSpam || mark == kLearnMarkNotSpam);
    else
      VARNOX_FUZZ_CHECK(mark == headers);
  }

  const long locks = ModuleLockCount();
  {
    CVNXAddin addin(fakes);
    addin.spamFolder = host.FolderRef(spam);
    if (second_judge) {
      // Teach both sides, the input's own headers and texts as spam, so that
      // the second judge decides and its tokens from them reach the stamp.
      addin.filter.Learn(body, subject, 1, headers);
      addin.filter.Learn("meeting notes for the review", "Review", 0, "From: <a@b.example>\r\n");
    }
    const int references = host.LiveReferences();
    ProcessNewItem(addin, *host.ItemRef(mail));
    VARNOX_FUZZ_CHECK(host.LiveReferences() == references);
  }
  VARNOX_FUZZ_CHECK(ModuleLockCount() == locks);

  VARNOX_FUZZ_CHECK(fakes.ui.messages.empty());
  VARNOX_FUZZ_CHECK((mail.folder() == &inbox) != (mail.folder() == &spam));
  VARNOX_FUZZ_CHECK(inbox.items().size() + spam.items().size() == 1);
  VARNOX_FUZZ_CHECK(mail.body() == body && mail.subject() == subject);
  const std::string after = mail.headers();
  VARNOX_FUZZ_CHECK(StartsWith(after, headers));
  CheckAddedLines(std::string_view(after).substr(headers.size()));
  // Only spam moves, and spam always carries its stamp or note.
  if (mail.folder() == &spam)
    VARNOX_FUZZ_CHECK(after.size() > headers.size());
  return 0;
}
