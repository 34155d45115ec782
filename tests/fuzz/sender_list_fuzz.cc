// The list files (XML) on arbitrary bytes, through Load, FileHasAddress and
// AddAddress. What loads is found again in the file; an entry we add, whatever
// bytes it holds, reads back exactly after the rest of the file, and a file we
// write loads as the same list.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lists/sender_list.h"
#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr char kPath[] = "black.xml";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnox;
  FuzzedDataProvider input(data, size);
  const std::string entry = input.ConsumeRandomLengthString(80);
  const std::string file = input.ConsumeRemainingBytesAsString();

  testing::FakePlatform fakes;
  fakes.registry.CreateKey();
  fakes.registry.SetString(setting::kBlackListPath, kPath);
  fakes.files.files[kPath] = file;

  SenderList list(ListKind::Black, fakes);
  if (!list.Load())
    return 0;
  for (const std::string& address : list.addresses())
    VARNOX_FUZZ_CHECK(list.FileHasAddress(address));
  for (const std::string& domain : list.domains())
    VARNOX_FUZZ_CHECK(list.FileHasDomain(domain));

  const std::vector<std::string> addresses = list.addresses();
  const std::vector<std::string> domains = list.domains();
  if (!list.AddAddress(entry))
    return 0;
  SenderList reread(ListKind::Black, fakes);
  VARNOX_FUZZ_CHECK(reread.Load());
  std::vector<std::string> expected = addresses;
  expected.push_back(entry);
  VARNOX_FUZZ_CHECK(reread.addresses() == expected);
  VARNOX_FUZZ_CHECK(reread.domains() == domains);
  VARNOX_FUZZ_CHECK(reread.FileHasAddress(entry));
  return 0;
}
