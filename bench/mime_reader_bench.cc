// Reading messages into the filter's three texts, as `varnox eval` does on a
// directory of messages: messages/s (items_per_second) and MB/s
// (bytes_per_second), from memory and from files.
//
//   build/release/bench/mime_reader_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "linux/maildir/message_file.h"
#include "mime/mime_reader.h"

namespace varnox::mime {
namespace {

const std::string kHeaders =
    "Received: from mx1.example.org (mx1.example.org [192.0.2.1])\n"
    "\tby mail.example.net with ESMTPS id 4A1B2C3D4E\n"
    "\tfor <user@example.net>; Mon, 1 Jan 2024 10:00:00 +0000\n"
    "Received: from [10.0.0.5] by mx1.example.org; Mon, 1 Jan 2024 09:59:58 +0000\n"
    "From: \"Sender Name\" <sender@example.org>\n"
    "To: user@example.net\n"
    "Date: Mon, 1 Jan 2024 09:59:57 +0000\n"
    "Message-ID: <1234567890.abcdef@example.org>\n"
    "MIME-Version: 1.0\n";

std::string Words(int count) {
  static const char* kWords[] = {"meeting", "tomorrow", "project",  "report", "cheap",   "offer",
                                 "please",  "review",   "attached", "thanks", "regards", "team"};
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += kWords[(i * 7) % 12];
    text += (i % 12 == 11) ? "\n" : " ";
  }
  return text;
}

// A mix like ordinary mail: plain, HTML only, alternative with
// quoted-printable, a Latin-1 letter, and one with a base64 attachment.
std::vector<std::string> Corpus() {
  const std::string words = Words(400);
  std::string html = "<html><head><style>p{margin:0}</style></head><body>";
  for (int i = 0; i < 40; ++i)
    html += "<p>" + Words(10) + "&nbsp;<b>now</b></p>\n";
  html += "</body></html>\n";
  std::string attachment;
  for (int i = 0; i < 600; ++i)
    attachment += std::string(76, 'A') + "\n";
  return {
      kHeaders + "Subject: Re: project report\nContent-Type: text/plain\n\n" + words,
      kHeaders + "Subject: =?utf-8?Q?Cheap_offer_=E2=82=AC?=\nContent-Type: text/html\n\n" + html,
      kHeaders +
          "Subject: FW: review\nContent-Type: multipart/alternative; boundary=\"alt\"\n\n"
          "--alt\nContent-Type: text/plain; charset=utf-8\n"
          "Content-Transfer-Encoding: quoted-printable\n\n" +
          words + "caf=C3=A9\n--alt\nContent-Type: text/html\n\n" + html + "--alt--\n",
      kHeaders + "Subject: caf\xE9\nContent-Type: text/plain; charset=iso-8859-1\n\n" + words +
          "cr\xE8me\n",
      kHeaders +
          "Subject: attached\nContent-Type: multipart/mixed; boundary=\"mix\"\n\n"
          "--mix\nContent-Type: text/plain\n\n" +
          Words(80) +
          "\n--mix\nContent-Type: application/pdf\nContent-Transfer-Encoding: base64\n"
          "Content-Disposition: attachment; filename=r.pdf\n\n" +
          attachment + "--mix--\n",
  };
}

void BM_ReadMimeTexts(benchmark::State& state) {
  const std::vector<std::string> corpus = Corpus();
  std::size_t bytes = 0, next = 0;
  for (auto _ : state) {
    const std::string& raw = corpus[next++ % corpus.size()];
    benchmark::DoNotOptimize(ReadMimeTexts(raw));
    bytes += raw.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ReadMimeTexts);

// One kind of message at a time (the corpus order above).
void BM_ReadMimeTextsOfKind(benchmark::State& state) {
  const std::string raw = Corpus()[static_cast<std::size_t>(state.range(0))];
  for (auto _ : state)
    benchmark::DoNotOptimize(ReadMimeTexts(raw));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw.size()));
}
BENCHMARK(BM_ReadMimeTextsOfKind)->DenseRange(0, 4);

// The same, each message read from its file first.
void BM_ReadMessageFiles(benchmark::State& state) {
  const std::vector<std::string> corpus = Corpus();
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("varnox-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::vector<std::string> paths;
  for (int i = 0; i < 500; ++i) {
    paths.push_back((dir / std::to_string(i)).string());
    std::ofstream(paths.back(), std::ios::binary) << corpus[i % corpus.size()];
  }
  std::size_t bytes = 0, next = 0;
  for (auto _ : state) {
    std::string raw;
    maildir::ReadMessageFile(paths[next++ % paths.size()], maildir::kMaxMessageRead, &raw, nullptr);
    benchmark::DoNotOptimize(ReadMimeTexts(raw));
    bytes += raw.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReadMessageFiles);

}  // namespace
}  // namespace varnox::mime

BENCHMARK_MAIN();
