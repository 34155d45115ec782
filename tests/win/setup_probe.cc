// The installed add-in and the setup program as Windows sees them, for
// setup_test.sh:
//
//   setup_probe              the add-in's class is found by its ProgID,
//                            created, and answers _IDTExtensibility2
//   setup_probe learn        an Outlook session (the stand-in Outlook) with
//                            the add-in started by its ProgID: a new mail of
//                            unknown words is judged not spam and stays;
//                            Mark Spam on it and four more like it moves
//                            them to SpamFilter; Outlook stops (the add-in
//                            saves its words)
//   setup_probe judge        the next session: the same kind of mail is
//                            judged spam (the lesson was kept) and moved
//   setup_probe version FILE VERSION
//                            FILE's version resource names VERSION (file and
//                            product, text and numbers), Varnox as its maker
//                            and itself as Varnox's setup
//
// Exit status 0 when everything went as said; otherwise each failure is
// printed.
#include <windows.h>

#include <objbase.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/message.h"
#include "tests/win/standin_world.h"
#include "win/com/com_ids.h"
#include "win/outlook/outlook_ids.h"

namespace {

using Microsoft::WRL::ComPtr;
using varnox::win::IDTExtensibility2;
using varnox::win::kIidIdtExtensibility2;
using varnox::win::testing::Held;
using varnox::win::testing::Journal;
using varnox::win::testing::StandInMessage;
using varnox::win::testing::StandInObject;
using varnox::win::testing::StandInOutlook;

int failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
  }
}

// The add-in made by COM from the ProgID; null (and said why) on failure.
ComPtr<IDTExtensibility2> StartByProgId() {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"VarnoxMail.VNXAddin", &clsid);
  if (FAILED(hr)) {
    std::printf("CLSIDFromProgID: 0x%08lx\n", static_cast<unsigned long>(hr));
    return nullptr;
  }
  ComPtr<IUnknown> addin;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                        reinterpret_cast<void**>(addin.GetAddressOf()));
  if (FAILED(hr)) {
    std::printf("CoCreateInstance: 0x%08lx\n", static_cast<unsigned long>(hr));
    return nullptr;
  }
  ComPtr<IDTExtensibility2> extensibility;
  hr = addin->QueryInterface(kIidIdtExtensibility2,
                             reinterpret_cast<void**>(extensibility.GetAddressOf()));
  if (FAILED(hr)) {
    std::printf("_IDTExtensibility2: 0x%08lx\n", static_cast<unsigned long>(hr));
    return nullptr;
  }
  return extensibility;
}

// The mail of this session, in words the filter has never met before the
// lesson: a spam offer.
ComPtr<StandInMessage> OfferMessage() {
  ComPtr<StandInMessage> message;
  message.Attach(StandInMessage::Create());
  message->properties[varnox::host::kPrTransportMessageHeaders] =
      "From: seller@offers.example\r\nSubject: zorblax pills\r\n";
  message->properties[varnox::host::kPrBody] =
      "zorblax pills quixotrin discount megabargain zorblax pills quixotrin";
  message->properties[varnox::host::kPrNormalizedSubject] = "zorblax pills";
  return message;
}

// Hands `mail` to the add-in as new mail in the Inbox; the verdict its stamp
// gives ("Spam", "NotSpam", or "" when it was not stamped).
std::string Arrive(StandInOutlook& outlook, StandInObject* mail, StandInMessage& message) {
  outlook.inbox_items->Raise(varnox::win::kDiidItemsEvents, 0xF001,
                             {varnox::win::testing::ObjectArg(mail)});
  const std::string& headers = message.properties[varnox::host::kPrTransportMessageHeaders];
  const std::string::size_type at = headers.find("X-VNX-RESULT:");
  if (at == std::string::npos)
    return "";
  const std::string::size_type from = at + 13;
  return headers.substr(from, headers.find_first_of("\r\n", from) - from);
}

std::size_t MovesToSpam(const Journal& journal, const std::string& mail) {
  return journal.Matching(mail + ".Move(<Spam>)").size();
}

// One Outlook session: start, `play`, stop.
template <typename Play>
void Session(Play play) {
  ComPtr<IDTExtensibility2> addin = StartByProgId();
  if (addin == nullptr) {
    ++failures;
    return;
  }
  Journal journal;
  StandInOutlook outlook(&journal);
  SAFEARRAY* custom = nullptr;
  Check(addin->OnConnection(outlook.application.Get(), varnox::win::kExtCmStartup, nullptr,
                            &custom) == S_OK,
        "OnConnection");
  play(outlook, journal);
  Check(addin->OnDisconnection(varnox::win::kExtDmHostShutdown, &custom) == S_OK,
        "OnDisconnection");
}

// A word counts once it was seen five times, so five such mails are taught.
void Learn(StandInOutlook& outlook, Journal& journal) {
  for (int i = 1; i <= 5; ++i) {
    const std::string name = "Mail" + std::to_string(i);
    ComPtr<StandInMessage> message = OfferMessage();
    Held mail = varnox::win::testing::NewMail(name, message.Get(), &journal);
    const std::string verdict = Arrive(outlook, mail.Get(), *message.Get());
    if (i == 1) {
      Check(verdict == "NotSpam",
            "before the lesson the mail is judged NotSpam, not '" + verdict + "'");
      Check(MovesToSpam(journal, name) == 0, "before the lesson the mail stays in the Inbox");
    }
    const std::size_t moves = MovesToSpam(journal, name);
    outlook.Select(mail.Get());
    Check(outlook.Click("Mark Spam"), "there is a Mark Spam button");
    Check(MovesToSpam(journal, name) == moves + 1, "Mark Spam moves " + name + " to SpamFilter");
  }
}

void Judge(StandInOutlook& outlook, Journal& journal) {
  ComPtr<StandInMessage> message = OfferMessage();
  Held mail = varnox::win::testing::NewMail("Again", message.Get(), &journal);
  const std::string verdict = Arrive(outlook, mail.Get(), *message.Get());
  Check(verdict == "Spam", "after the lesson the mail is judged Spam, not '" + verdict + "'");
  Check(MovesToSpam(journal, "Again") == 1, "after the lesson the mail is moved to SpamFilter");
}

// The text of one StringFileInfo value, in the resource's first language.
std::string VersionText(const std::vector<char>& info, const std::string& name) {
  struct Translation {
    WORD language, code_page;
  }* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation)) {
    return "<no translation>";
  }
  char path[96];
  std::snprintf(path, sizeof(path), "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                translation->code_page, name.c_str());
  void* value = nullptr;
  if (!VerQueryValueA(info.data(), path, &value, &length) || length == 0)
    return "<absent>";
  return static_cast<const char*>(value);
}

void CheckVersion(const char* file, const std::string& version) {
  const DWORD size = GetFileVersionInfoSizeA(file, nullptr);
  std::vector<char> info(size);
  if (size == 0 || !GetFileVersionInfoA(file, 0, size, info.data())) {
    Check(false, std::string("a version resource in ") + file);
    return;
  }
  const std::string numbered = version + ".0";
  const struct {
    const char* name;
    std::string text;
  } expected[] = {
      {"FileVersion", numbered},
      {"ProductVersion", numbered},
      {"CompanyName", "Varnox"},
      {"FileDescription", "Varnox spam filter add-in for Outlook: setup"},
      {"ProductName", "Varnox"},
  };
  for (const auto& e : expected) {
    const std::string text = VersionText(info, e.name);
    Check(text == e.text, std::string(e.name) + " is '" + text + "', not '" + e.text + "'");
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) {
    Check(false, "fixed version numbers");
    return;
  }
  const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionLS));
  Check(numbers == numbered, "the file version numbers are " + numbers);
  Check(fixed->dwProductVersionMS == fixed->dwFileVersionMS &&
            fixed->dwProductVersionLS == fixed->dwFileVersionLS,
        "the product version numbers equal the file's");
}

}  // namespace

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string what = argc > 1 ? argv[1] : "";
  if (what.empty()) {
    if (StartByProgId() == nullptr)
      ++failures;
  } else if (what == "learn") {
    Session(Learn);
  } else if (what == "judge") {
    Session(Judge);
  } else if (what == "version" && argc == 4) {
    CheckVersion(argv[2], argv[3]);
  } else {
    std::printf("usage: setup_probe [learn|judge|version FILE VERSION]\n");
    ++failures;
  }
  CoUninitialize();
  return failures == 0 ? 0 : 1;
}
