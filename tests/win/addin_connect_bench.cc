// Timing of the add-in's start and stop under Wine, as the host measures
// them: OnConnection with a million-word database (saved by the engine, so
// with its image) and 20 watched folders, and the release, which saves the
// database when something must be written (nothing, as on most days); then
// the same without the image, so that the start reads the text and the stop
// writes the file and its image, as a stop with aging due does. Outlook
// disables an add-in whose start takes over 1000 ms and allows 500 ms at
// shutdown.
//
//   build/windows/wine-run.sh build/windows/tests/win/addin_connect_bench.exe [runs]
//
// A plain timing program: Google Benchmark is not built for mingw here. Run
// it alone on a quiet machine.
#include <windows.h>

#include <objbase.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/bayesian_core.h"
#include "platform/platform.h"
#include "tests/win/addin_dll.h"
#include "tests/win/standin_outlook.h"
#include "win/com/com_ids.h"
#include "win/outlook/outlook_ids.h"
#include "win/platform/win_registry.h"

namespace varnox::win {
namespace {

using Microsoft::WRL::ComPtr;
using testing::AnswerIteration;
using testing::AnswerObject;
using testing::Journal;
using testing::MakeStandIn;
using testing::ObjectArg;
using testing::ObjectResult;
using testing::StandInObject;
using Held = testing::HeldStandIn;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kWords = 1'000'000;
constexpr int kFolders = 20;

// A word of the vocabulary: short lower-case words, as mail gives them.
std::string Word(std::uint32_t index) {
  std::string word;
  do {
    word += static_cast<char>('a' + index % 26);
    index /= 26;
  } while (index != 0);
  return word + "x";
}

class NoUserInterface final : public UserInterface {
 public:
  int ShowMessage(std::string_view, std::string_view, std::uint32_t) override { return kIdOk; }
  void Beep(std::uint32_t) override {}
  void OpenPage(std::string_view) override {}
};

class NoDialogs final : public DialogRunner {
 public:
  int RunModal(DialogController&) override { return -1; }
};

// Writes a database of kWords words to `path` through the engine itself.
bool WriteDatabase(const std::string& path) {
  SystemClock clock;
  NoUserInterface ui;
  NoButtonFaces faces;
  NoDialogs dialogs;
  Platform platform{CurrentUserRegistry(), clock, RealFileSystem(), ui, faces, dialogs,
                    SystemXmlParser()};
  BayesianCore core(platform);
  WordTable& table = core.mutable_words();
  table.reserve(kWords);
  std::mt19937 random(5);
  const auto now = static_cast<std::int32_t>(std::time(nullptr));
  for (std::uint32_t i = 0; i < kWords; ++i) {
    table.Insert(Word(i), WordEntry{static_cast<std::int32_t>(random() % 40),
                                    static_cast<std::int32_t>(random() % 40), 0.5f, now});
  }
  core.set_messageCounts(4000, 6000);
  core.RecomputeProbabilities();
  core.set_databasePath(path);
  return core.SaveDatabase() == 1;
}

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void PrintTimes(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  std::printf("%s: median %.1f ms, min %.1f, max %.1f\n", what, times[times.size() / 2],
              times.front(), times.back());
}

// Times `runs` starts (create + OnConnection) and stops (OnDisconnection +
// release, which saves the database if something must be written), each
// after removing `removed` when it is not empty.
bool Measure(testing::AddinDll& dll, int runs, const std::string& removed, const char* start_name,
             const char* stop_name) {
  std::vector<double> starts, stops;
  for (int run = 0; run < runs; ++run) {
    if (!removed.empty())
      DeleteFileA(removed.c_str());
    Journal journal;
    Held application = MakeStandIn("Application", &journal),
         name_space = MakeStandIn("NameSpace", &journal), roots = MakeStandIn("Roots", &journal),
         store = MakeStandIn("Store", &journal), top = MakeStandIn("Top", &journal),
         spam = MakeStandIn("SpamFilter", &journal);
    AnswerObject(application.Get(), "Session", name_space.Get());
    AnswerObject(name_space.Get(), "Folders", roots.Get());
    AnswerIteration(roots.Get(), {store.Get()});
    AnswerObject(store.Get(), "Folders", top.Get());
    top->AddEvents(kDiidFoldersEvents);
    std::vector<Held> folders;
    std::vector<IDispatch*> listed;
    for (int i = 0; i < kFolders; ++i) {
      Held folder = MakeStandIn("Folder" + std::to_string(i), &journal);
      Held items = MakeStandIn("Items" + std::to_string(i), &journal);
      folder->SetText("Name", L"Mail " + std::to_wstring(i));
      folder->SetInt("DefaultItemType", 0);
      items->AddEvents(kDiidItemsEvents);
      AnswerObject(folder.Get(), "Items", items.Get());
      folders.push_back(folder);
      folders.push_back(items);
      listed.push_back(folder.Get());
    }
    spam->SetText("Name", L"SpamFilter");
    spam->SetInt("DefaultItemType", 0);
    listed.push_back(spam.Get());
    AnswerIteration(top.Get(), listed);
    // No explorer: the toolbar is left out of the measure (it costs COM
    // calls into the host, not work of ours).

    ComPtr<IClassFactory> factory;
    dll.get_class_object(kClsidVnxAddin, IID_IClassFactory,
                         reinterpret_cast<void**>(factory.GetAddressOf()));
    const auto begin = Clock::now();
    IDTExtensibility2* addin = nullptr;
    factory->CreateInstance(nullptr, kIidIdtExtensibility2, reinterpret_cast<void**>(&addin));
    SAFEARRAY* custom = nullptr;
    HRESULT connected = addin->OnConnection(application.Get(), kExtCmStartup, nullptr, &custom);
    const auto middle = Clock::now();
    std::size_t watched = 0;
    for (std::size_t i = 1; i < folders.size(); i += 2)
      watched += folders[i]->Connected(kDiidItemsEvents);
    if (watched != kFolders)
      std::fprintf(stderr, "watched %zu folders, not %d\n", watched, kFolders);
    addin->OnDisconnection(kExtDmHostShutdown, &custom);
    addin->Release();  // saves the database if it changed
    const auto end = Clock::now();
    if (FAILED(connected)) {
      std::fprintf(stderr, "OnConnection failed: %08lx\n", static_cast<unsigned long>(connected));
      return false;
    }
    starts.push_back(Milliseconds(middle - begin));
    stops.push_back(Milliseconds(end - middle));
  }
  PrintTimes(start_name, starts);
  PrintTimes(stop_name, stops);
  return true;
}

int Run(int runs) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string database = std::string(temp) + "varnox-bench-words.db";
  if (!WriteDatabase(database)) {
    std::fprintf(stderr, "cannot write %s\n", database.c_str());
    return 1;
  }
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Varnox MSOutlook", 0, nullptr, 0, KEY_ALL_ACCESS,
                  nullptr, &key, nullptr);
  RegSetValueExA(key, "WordFilePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(database.c_str()),
                 static_cast<DWORD>(database.size() + 1));
  RegCloseKey(key);

  testing::AddinDll dll;
  if (!dll.loaded()) {
    std::fprintf(stderr, "cannot load %s\n", testing::AddinDllPath().c_str());
    return 1;
  }
  std::printf("words %u, watched folders %d, runs %d\n", kWords, kFolders, runs);
  // As Outlook starts it every day: the image matches, and the stop has
  // nothing to write. Then as after a database written without an image
  // (an older Varnox): the start reads the text, and the stop writes the
  // file and its image, as a stop with aging due does.
  const bool measured = Measure(dll, runs, {}, "start", "stop (nothing to write)") &&
                        Measure(dll, runs, database + ".image", "start without the image",
                                "stop writing the file and its image");
  DeleteFileA(database.c_str());
  DeleteFileA((database + ".image").c_str());
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Varnox MSOutlook");
  return measured ? 0 : 1;
}

}  // namespace
}  // namespace varnox::win

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int result = varnox::win::Run(runs);
  CoUninitialize();
  return result;
}
