// The message reader on arbitrary bytes, in memory: what every store that
// hands over raw messages (Maildir, IMAP) relies on.
//
// What must hold: the header block lies in order inside the bytes; the
// transport headers are those of the block, CR LF line ends only, ended by
// one CR LF; the body has CR LF line ends only; a stamp added at the end of
// the block keeps every byte before it but the verdict fields that came with
// the message, which are gone.
#include <cstdint>
#include <string>
#include <string_view>

#include "mime/mime_reader.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr std::string_view kStamp = "X-VNX-RESULT:NotSpam\r\nX-VNX-SCORE:0\r\nX-VNX-TOP-WORDS:";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnox::mime;
  const std::string_view raw(reinterpret_cast<const char*>(data), size);

  const HeaderBlock block = FindHeaderBlock(raw);
  VARNOX_FUZZ_CHECK(block.start <= block.end && block.end <= block.body_start &&
                    block.body_start <= raw.size());

  const MimeTexts texts = ReadMimeTexts(raw);
  VARNOX_FUZZ_CHECK(texts.headers == TransportHeaders(raw, block));
  if (texts.headers) {
    varnox::testing::CheckCrLfLineEnds(*texts.headers);
    VARNOX_FUZZ_CHECK(texts.headers->size() >= 2 &&
                      texts.headers->compare(texts.headers->size() - 2, 2, "\r\n") == 0);
  }
  varnox::testing::CheckCrLfLineEnds(texts.body);

  // Without verdict fields in the block, the bytes before the block's end
  // stay first, the stamp after them (its lines ended the file's way). With
  // them, they are gone: only the stamp's three remain, after what was kept.
  const std::string prefix = HeaderPrefixWith(raw, block, kStamp);
  const std::string_view old_block = raw.substr(block.start, block.end - block.start);
  VARNOX_FUZZ_CHECK(raw.substr(0, block.start) == std::string_view(prefix).substr(0, block.start));
  VARNOX_FUZZ_CHECK(varnox::testing::CountVerdictFieldLines(prefix) == 3);
  if (varnox::testing::CountVerdictFieldLines(old_block) == 0) {
    VARNOX_FUZZ_CHECK(prefix.size() > block.end &&
                      raw.substr(0, block.end) == std::string_view(prefix).substr(0, block.end));
    VARNOX_FUZZ_CHECK(prefix.find("X-VNX-RESULT:NotSpam", block.end) != std::string::npos);
  } else {
    VARNOX_FUZZ_CHECK(prefix.size() < block.end + kStamp.size() + 2 * block.line_end.size());
  }
  return 0;
}
