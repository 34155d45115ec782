// The Maildir message reader on arbitrary message files: the MIME reader
// (GMime and the HTML text) as the message's three property reads give it,
// then the one write we make, a stamp appended to the transport headers.
//
// What must hold: the texts are code page 1252 with CR LF line ends (no lone
// CR or LF), the headers end with one CR LF; after the stamp the folder holds
// exactly one message, whose bytes are the old header block (without the
// verdict fields it came with), the stamp, and every byte of the old file
// from there on; nothing is left in tmp/.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/item.h"
#include "host/message.h"
#include "linux/maildir/maildir_folder.h"
#include "linux/maildir/maildir_objects.h"
#include "mime/mime_reader.h"
#include "tests/fuzz/fuzz_check.h"

namespace varnox::maildir {
namespace {

constexpr std::string_view kStamp = "X-VNX-RESULT:NotSpam\r\nX-VNX-SCORE:0\r\nX-VNX-TOP-WORDS:";

// A Maildir of our own for the run, on a memory file system when there is one.
const std::string& FolderDir() {
  static const std::string dir = [] {
    const char* base = std::getenv("VARNOX_FUZZ_TMP");
    if (base == nullptr)
      base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string made = std::string(base) + "/varnox-fuzz-maildir-XXXXXX";
    VARNOX_FUZZ_CHECK(mkdtemp(made.data()) != nullptr);
    for (const char* sub : {"/cur", "/new", "/tmp"})
      VARNOX_FUZZ_CHECK(mkdir((made + sub).c_str(), 0700) == 0);
    return made;
  }();
  return dir;
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.')
        names.emplace_back(e->d_name);
    closedir(d);
  }
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace
}  // namespace varnox::maildir

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnox;
  using namespace varnox::maildir;
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const std::string& dir = FolderDir();
  const MessageEntry entry{"new", "1700000000.fuzz.host"};
  const std::string path = MessagePath(dir, entry);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << raw;
    VARNOX_FUZZ_CHECK(out.flush());
  }

  auto where = std::make_shared<ItemLocation>(ItemLocation{dir, entry});
  std::unique_ptr<host::Item> item = MakeItem(where);
  std::unique_ptr<host::MailItem> mail;
  VARNOX_FUZZ_CHECK(Succeeded(item->QueryMailItem(&mail)) && mail != nullptr);
  std::unique_ptr<host::Message> message;
  VARNOX_FUZZ_CHECK(Succeeded(mail->MapiMessage(&message)) && message != nullptr);

  std::string body, subject, headers;
  VARNOX_FUZZ_CHECK(Succeeded(message->GetStringProperty(host::kPrBody, &body)));
  VARNOX_FUZZ_CHECK(Succeeded(message->GetStringProperty(host::kPrNormalizedSubject, &subject)));
  varnox::testing::CheckCrLfLineEnds(body);
  const bool has_headers =
      Succeeded(message->GetStringProperty(host::kPrTransportMessageHeaders, &headers));
  if (has_headers) {
    varnox::testing::CheckCrLfLineEnds(headers);
    VARNOX_FUZZ_CHECK(headers.size() >= 2 && headers.compare(headers.size() - 2, 2, "\r\n") == 0);
    const mime::HeaderBlock block = mime::FindHeaderBlock(raw);
    VARNOX_FUZZ_CHECK(block.end <= block.body_start && block.body_start <= raw.size());

    VARNOX_FUZZ_CHECK(Succeeded(message->SetStringProperty(host::kPrTransportMessageHeaders,
                                                           headers + std::string(kStamp))));
    VARNOX_FUZZ_CHECK(Succeeded(message->SaveChanges(0)));
    const std::vector<std::string> names = Names(dir + "/new");
    VARNOX_FUZZ_CHECK(names.size() == 1 && names[0] == entry.name);
    VARNOX_FUZZ_CHECK(Names(dir + "/tmp").empty());
    const std::string now = ReadFile(path);
    // The old header block (less the verdict fields it came with), our
    // lines, then the old file from there on.
    const bool forged = varnox::testing::CountVerdictFieldLines(
                            std::string_view(raw).substr(block.start, block.end - block.start)) > 0;
    VARNOX_FUZZ_CHECK(forged || now.compare(0, block.end, raw, 0, block.end) == 0);
    VARNOX_FUZZ_CHECK(forged || now.size() > raw.size());
    VARNOX_FUZZ_CHECK(varnox::testing::CountVerdictFieldLines(std::string_view(now).substr(
                          0, now.size() - (raw.size() - block.end))) == 3);
    VARNOX_FUZZ_CHECK(now.compare(now.size() - (raw.size() - block.end), std::string::npos, raw,
                                  block.end, std::string::npos) == 0);
    VARNOX_FUZZ_CHECK(now.find("X-VNX-RESULT:NotSpam") != std::string::npos);
    // Read again, the headers now end with the stamp's lines.
    std::unique_ptr<host::Message> again;
    VARNOX_FUZZ_CHECK(Succeeded(mail->MapiMessage(&again)) && again != nullptr);
    std::string stamped;
    VARNOX_FUZZ_CHECK(
        Succeeded(again->GetStringProperty(host::kPrTransportMessageHeaders, &stamped)));
    VARNOX_FUZZ_CHECK(stamped.find("X-VNX-TOP-WORDS:") != std::string::npos);
  }
  unlink(where->Resolve() ? MessagePath(dir, *where->Resolve()).c_str() : path.c_str());
  return 0;
}
