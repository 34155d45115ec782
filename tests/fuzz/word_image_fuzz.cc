// Opening an arbitrary image beside a word database, looking words up in it
// (a lookup at a time, and mapped), then taking it in to learn. After the
// first byte, the input is the image; the header's first 72 bytes (what
// names the layout and the text file) are made to match, and the first
// byte chooses whether the body's checksum and the text's are made right
// too, so that the counts, the index and the records are explored. Whatever
// the bytes, nothing is read outside the file, every lookup ends, and the
// table taken in is either one the image's checks let through (every entry
// as its line reads back, in word order) or exactly the text file's.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/word_database_format.h"
#include "engine/word_image.h"
#include "engine/word_store.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace varnox {
namespace {

constexpr char kPath[] = "words.db";
constexpr char kImage[] = "words.db.image";
constexpr std::size_t kNamed = 72;         // magic .. the text's stamp
constexpr std::size_t kTextChecksum = 72;  // offsets in the header
constexpr std::size_t kBodyChecksum = 112;
constexpr std::size_t kHeaderChecksum = 120;
constexpr std::size_t kHeader = 128;
constexpr const char* kLookedUp[] = {"cash", "meeting", "offer",
                                     "$100", "3.14",    "a-word-longer-than-fifteen-bytes"};

// The text file and a true image of it, made once by the engine.
struct Made {
  testing::FakePlatform fakes;
  std::string text;
  std::string image;
  Made() {
    WordDatabaseFormat format;
    WordStore store(fakes, format);
    store.set_path(kPath);
    store.mutable_messages() = MessageCounts{3, 4};
    store.mutable_table().Insert("cash", WordEntry{5, 0, 0.9999f, 1700000000});
    store.mutable_table().Insert("meeting", WordEntry{0, 6, 0.0001f, 1700000001});
    store.mutable_table().Insert("a-word-longer-than-fifteen-bytes", WordEntry{1, 2, 0.3f, 5});
    store.Save([](std::string_view, WordEntry&) { return true; });
    text = fakes.files.files.at(kPath);
    image = fakes.files.files.at(kImage);
  }
};

void CheckTaken(WordStore& store, const WordTable& from_text, const WordFileFormat& format) {
  const WordTable& table = store.table();
  VARNOX_FUZZ_CHECK(!store.fromImage());
  if (table == from_text)
    return;
  std::string previous;
  bool first = true;
  for (const auto [word, entry] : table) {
    VARNOX_FUZZ_CHECK(first || std::string_view(previous) < word);
    WordEntry again = entry;
    VARNOX_FUZZ_CHECK(format.ReadsBackAs(word, &again) == WordFileFormat::ReadBack::kAsWord &&
                      again == entry);
    previous.assign(word);
    first = false;
  }
}

}  // namespace
}  // namespace varnox

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnox;
  static const Made made;
  if (size == 0)
    return 0;
  const unsigned choice = data[0];
  std::string image(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (image.size() >= kHeader) {
    std::memcpy(image.data(), made.image.data(), kNamed);
    if ((choice & 1) != 0) {
      const std::uint64_t body = ImageChecksum::Of(image.data() + kHeader, image.size() - kHeader);
      std::memcpy(image.data() + kBodyChecksum, &body, sizeof body);
    }
    if ((choice & 2) != 0)
      std::memcpy(image.data() + kTextChecksum, made.image.data() + kTextChecksum, 8);
    const std::uint64_t seal = ImageChecksum::Of(image.data(), kHeaderChecksum);
    std::memcpy(image.data() + kHeaderChecksum, &seal, sizeof seal);
  }

  testing::FakePlatform fakes;
  fakes.files.files[kPath] = made.text;
  fakes.files.files[kImage] = image;
  WordDatabaseFormat text_format;
  WordStore text(fakes, text_format);
  text.set_path(kPath);
  text.set_imageUse(WordStore::ImageUse::kNone);
  VARNOX_FUZZ_CHECK(text.Load() == 1);

  for (const auto use : {WordStore::ImageUse::kRead, WordStore::ImageUse::kMap}) {
    WordDatabaseFormat format;
    WordStore store(fakes, format);
    store.set_path(kPath);
    store.set_imageUse(use);
    VARNOX_FUZZ_CHECK(store.Load() == 1);
    for (const char* word : kLookedUp) {
      const WordKey key(word);
      const WordEntry* found = store.Find(key);
      const WordEntry* many[1];
      store.FindMany(&key, 1, many);
      VARNOX_FUZZ_CHECK((found == nullptr) == (many[0] == nullptr));
      // Compared as bytes: an image may hold a probability that is not a
      // number, which equals nothing.
      VARNOX_FUZZ_CHECK(found == nullptr || std::memcmp(found, many[0], sizeof *found) == 0);
    }
    store.mutable_table();  // learning takes the image in
    CheckTaken(store, text.table(), format);
  }
  return 0;
}
