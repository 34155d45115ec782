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
// Outlook running, for a setup started by hand (a copy of this program named
// OUTLOOK.EXE, as Outlook's own is):
//
//   setup_probe outlook      runs until its window is closed, with the
//                            add-in registered for the user (or else the
//                            machine) loaded and connected, as Outlook has
//                            it; without one registered, Outlook alone
//   setup_probe outlook-up   waits until that Outlook's window is open
//   setup_probe close-outlook
//                            closes it as a user does and waits for its end
//
// The setup program on screen, worked from outside by window messages as a
// user's clicks would (its version in VARNOX_VERSION):
//
//   setup_probe welcome      the welcome page is shown and says what is
//                            installed, where (the user's own folders) and
//                            for whom; its buttons read Install and Cancel
//   setup_probe click install|cancel
//                            presses the page's button
//   setup_probe answer TEXT retry|cancel|yes
//                            answers the setup's message box that says TEXT,
//                            and waits until it has closed
//   setup_probe finish       the Finish page is shown; presses Finish
//
// Exit status 0 when everything went as said; otherwise each failure is
// printed.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
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

// --- Outlook running.

constexpr wchar_t kOutlookWindowClass[] = L"rctrl_renwnd32";  // Outlook's main window

// Every wait gives up after two minutes: Wine on a busy machine is slow, and
// a wait that ends only when its condition holds makes the run no faster.
constexpr DWORD kPatienceMs = 120000;

template <typename Found>
bool WaitFor(Found found) {
  for (DWORD waited = 0; !found(); waited += 100) {
    if (waited >= kPatienceMs)
      return false;
    Sleep(100);
  }
  return true;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                      nullptr, nullptr);
  return utf8;
}

// The add-in's DLL as Outlook finds it: the class registered for the
// current user, else for the machine; empty when there is none.
std::wstring RegisteredAddin() {
  wchar_t clsid[40];
  StringFromGUID2(varnox::win::kClsidVnxAddin, clsid, 40);
  const std::wstring key =
      std::wstring(L"Software\\Classes\\CLSID\\") + clsid + L"\\InprocServer32";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    wchar_t path[MAX_PATH];
    DWORD size = sizeof(path);
    if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) ==
        ERROR_SUCCESS)
      return path;
  }
  return L"";
}

// The add-in made from its DLL's class factory, as COM would make it.
ComPtr<IDTExtensibility2> LoadAddin(const std::wstring& dll) {
  HMODULE module = LoadLibraryW(dll.c_str());  // held until the process ends
  const auto get_class_object =
      reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
          reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  ComPtr<IDTExtensibility2> addin;
  if (module == nullptr || get_class_object == nullptr ||
      FAILED(get_class_object(varnox::win::kClsidVnxAddin, IID_IClassFactory,
                              reinterpret_cast<void**>(factory.GetAddressOf()))) ||
      FAILED(factory->CreateInstance(nullptr, kIidIdtExtensibility2,
                                     reinterpret_cast<void**>(addin.GetAddressOf())))) {
    Check(false, "the registered add-in " + Utf8(dll) + " loads");
    return nullptr;
  }
  return addin;
}

LRESULT CALLBACK OutlookWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

void RunOutlook() {
  ComPtr<IDTExtensibility2> addin;
  const std::wstring dll = RegisteredAddin();
  if (!dll.empty())
    addin = LoadAddin(dll);
  Journal journal;
  StandInOutlook outlook(&journal);
  SAFEARRAY* custom = nullptr;
  if (addin != nullptr)
    Check(addin->OnConnection(outlook.application.Get(), varnox::win::kExtCmStartup, nullptr,
                              &custom) == S_OK,
          "OnConnection");
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = OutlookWindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kOutlookWindowClass;
  RegisterClassW(&window_class);
  HWND window = CreateWindowW(kOutlookWindowClass, L"Inbox - Outlook", WS_OVERLAPPEDWINDOW, 0, 0,
                              400, 300, nullptr, nullptr, window_class.hInstance, nullptr);
  Check(window != nullptr, "Outlook's window opens");
  ShowWindow(window, SW_SHOWNORMAL);
  MSG message;
  while (window != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (addin != nullptr)
    Check(addin->OnDisconnection(varnox::win::kExtDmHostShutdown, &custom) == S_OK,
          "OnDisconnection");
}

HWND OutlookWindow() {
  return FindWindowW(kOutlookWindowClass, nullptr);
}

void CloseOutlook() {
  HWND window = nullptr;
  if (!WaitFor([&] { return (window = OutlookWindow()) != nullptr; })) {
    Check(false, "Outlook's window is open");
    return;
  }
  PostMessageW(window, WM_CLOSE, 0, 0);
  Check(WaitFor([] { return OutlookWindow() == nullptr; }), "Outlook closes");
}

// --- The setup program on screen, seen from outside.

// A window's text, asked of the window itself (another process's controls
// answer WM_GETTEXT; the system carries the text across).
std::wstring TextOf(HWND window) {
  wchar_t text[2048];
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                           kPatienceMs, &copied))
    return L"";
  return std::wstring(text, copied);
}

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t found[64];
  return GetClassNameW(window, found, 64) > 0 && _wcsicmp(found, name) == 0;
}

// The visible dialogs titled "Varnox ..." of the setup (or uninstaller): its
// main window, and the message boxes it shows, which hold their text in a
// static control of id 0xFFFF.
std::vector<HWND> SetupWindows(bool message_boxes) {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND window, LPARAM into) -> BOOL {
        if (IsWindowVisible(window) && ClassIs(window, L"#32770") &&
            TextOf(window).rfind(L"Varnox ", 0) == 0)
          reinterpret_cast<std::vector<HWND>*>(into)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  std::vector<HWND> wanted;
  for (HWND window : found) {
    if ((GetDlgItem(window, 0xFFFF) != nullptr) == message_boxes)
      wanted.push_back(window);
  }
  return wanted;
}

// The texts of the visible labels on the main window's current page.
std::vector<std::wstring> PageTexts(HWND setup) {
  std::vector<std::wstring> texts;
  EnumChildWindows(
      setup,
      [](HWND child, LPARAM into) -> BOOL {
        if (IsWindowVisible(child) && ClassIs(child, L"Static")) {
          std::wstring text = TextOf(child);
          if (!text.empty())
            reinterpret_cast<std::vector<std::wstring>*>(into)->push_back(std::move(text));
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

std::wstring Version() {
  const char* version = std::getenv("VARNOX_VERSION");
  const std::string narrow = version != nullptr ? version : "";
  return std::wstring(narrow.begin(), narrow.end());
}

// The setup's main window once a page titled `title` is on it; null (and
// said) when it never comes.
HWND WaitForPage(const std::wstring& title) {
  HWND setup = nullptr;
  const bool shown = WaitFor([&] {
    for (HWND window : SetupWindows(false)) {
      for (const std::wstring& text : PageTexts(window)) {
        if (text == title) {
          setup = window;
          return true;
        }
      }
    }
    return false;
  });
  Check(shown, "the page '" + Utf8(title) + "' is shown");
  return setup;
}

std::wstring KnownFolder(int csidl) {
  wchar_t path[MAX_PATH];
  return SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK ? path : L"?";
}

void CheckWelcome() {
  HWND setup = WaitForPage(L"Welcome to Varnox " + Version() + L" Setup");
  if (setup == nullptr)
    return;
  std::wstring page;
  for (const std::wstring& text : PageTexts(setup))
    page += text + L"\n";
  const std::wstring says[] = {
      L"Setup will install Varnox, the spam filter add-in for Microsoft Outlook, for you alone",
      L"The program goes to:\r\n" + KnownFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Varnox\r\n",
      L"Your word database and sender lists go to:\r\n" + KnownFolder(CSIDL_APPDATA) +
          L"\\Varnox\r\nThose you have are kept, and so are your settings.",
      L"Outlook must be closed while Setup installs.",
      L"Click Install to install Varnox, or Cancel to leave without changing anything.",
  };
  bool all = true;
  for (const std::wstring& text : says) {
    const bool found = page.find(text) != std::wstring::npos;
    Check(found, "the welcome page says '" + Utf8(text) + "'");
    all = all && found;
  }
  Check(TextOf(GetDlgItem(setup, IDOK)) == L"&Install", "the page's button reads Install");
  Check(TextOf(GetDlgItem(setup, IDCANCEL)) == L"Cancel", "the page's other button reads Cancel");
  Check(IsWindowEnabled(GetDlgItem(setup, IDCANCEL)), "Cancel can be pressed");
  Check(!IsWindowVisible(GetDlgItem(setup, 3)), "there is no Back button");
  if (!all) {
    for (const std::wstring& text : PageTexts(setup))
      std::printf("  the page says: %s\n", Utf8(text).c_str());
  }
}

void Click(HWND setup, int button) {
  PostMessageW(setup, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(setup, button)));
}

void ClickOnPage(const std::string& which) {
  const std::vector<HWND> setups = SetupWindows(false);
  if (setups.size() != 1) {
    Check(false,
          "one setup window to click " + which + " on, not " + std::to_string(setups.size()));
    return;
  }
  Click(setups[0], which == "install" ? IDOK : IDCANCEL);
}

void Answer(const std::string& says, const std::string& answer) {
  const std::wstring wanted(says.begin(), says.end());
  HWND box = nullptr;
  const bool shown = WaitFor([&] {
    for (HWND window : SetupWindows(true)) {
      if (TextOf(GetDlgItem(window, 0xFFFF)).find(wanted) != std::wstring::npos) {
        box = window;
        return true;
      }
    }
    return false;
  });
  if (!shown) {
    Check(false, "a message box says '" + says + "'");
    for (HWND window : SetupWindows(true))
      std::printf("  shown instead: %s\n", Utf8(TextOf(GetDlgItem(window, 0xFFFF))).c_str());
    return;
  }
  const int button = answer == "retry" ? IDRETRY : answer == "yes" ? IDYES : IDCANCEL;
  Check(GetDlgItem(box, button) != nullptr, "the box has a " + answer + " button");
  Click(box, button);
  Check(WaitFor([&] { return !IsWindow(box); }), "the box closes");
}

void Finish() {
  HWND setup = WaitForPage(L"Completing Varnox " + Version() + L" Setup");
  if (setup == nullptr)
    return;
  Check(TextOf(GetDlgItem(setup, IDOK)) == L"&Finish", "the last button reads Finish");
  Click(setup, IDOK);
  Check(WaitFor([&] { return !IsWindow(setup); }), "the setup closes");
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
  } else if (what == "outlook") {
    RunOutlook();
  } else if (what == "outlook-up") {
    Check(WaitFor([] { return OutlookWindow() != nullptr; }), "Outlook's window is open");
  } else if (what == "close-outlook") {
    CloseOutlook();
  } else if (what == "welcome") {
    CheckWelcome();
  } else if (what == "click" && argc == 3) {
    ClickOnPage(argv[2]);
  } else if (what == "answer" && argc == 4) {
    Answer(argv[2], argv[3]);
  } else if (what == "finish") {
    Finish();
  } else {
    std::printf(
        "usage: setup_probe [learn|judge|version FILE VERSION|outlook|outlook-up|close-outlook|"
        "welcome|click install|cancel|answer TEXT retry|cancel|yes|finish]\n");
    ++failures;
  }
  CoUninitialize();
  return failures == 0 ? 0 : 1;
}
