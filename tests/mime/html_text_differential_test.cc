// The one-pass HTML reader against gumbo's parse of the same documents: the
// HTML parts of the hostile corpus, of the evaluation corpus, of the public
// corpus when it has been fetched (bench/corpus.sh; VARNOX_CORPUS names
// another copy), and of documents made up at random from the constructs
// that mail HTML uses and abuses.
//
// What must agree is what the filter sees: the words the tokenizer takes
// from the text and the verdict of the rule against non-English runs. Where
// the texts themselves differ, the differences are those of tree building
// that a one-pass reader does not do (text moved out of tables, elements
// closed by what follows them); the share of documents whose text is exactly
// gumbo's is checked too.
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/bayesian_filter.h"
#include "mime/filter_text.h"
#include "mime/html_text.h"
#include "tests/fakes/fake_platform.h"
#include "tests/mime/gumbo_html_text.h"

namespace varnox::mime {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void CollectHtml(GMimeObject* parent, GMimeObject* part, gpointer data) {
  (void)parent;
  if (!GMIME_IS_TEXT_PART(part))
    return;
  GMimeContentType* type = g_mime_object_get_content_type(part);
  if (type == nullptr || !g_mime_content_type_is_type(type, "text", "html"))
    return;
  if (char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part))) {
    static_cast<std::vector<std::string>*>(data)->push_back(text);
    g_free(text);
  }
}

// The HTML parts of a message file, decoded to UTF-8.
std::vector<std::string> HtmlPartsOf(const std::string& raw) {
  g_mime_init();
  std::vector<std::string> parts;
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.data(), raw.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
  if (message != nullptr) {
    g_mime_message_foreach(message, CollectHtml, &parts);
    g_object_unref(message);
  }
  g_object_unref(parser);
  g_object_unref(stream);
  return parts;
}

std::vector<std::string> HtmlPartsIn(const fs::path& dir) {
  std::vector<std::string> parts;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".json")
      continue;
    for (std::string& part : HtmlPartsOf(ReadFile(entry.path())))
      parts.push_back(std::move(part));
  }
  return parts;
}

// What the filter takes from a body: its words and the non-English rule.
class FilterView {
 public:
  FilterView() : filter_(platform_) {}

  std::string Words(const std::string& html_text) {
    WordTable words;
    filter_.core().Tokenize(ToFilterText(html_text), words);
    std::string list;
    for (const auto [word, entry] : words) {
      list.append(word);
      list.push_back(' ');
      list.append(std::to_string(entry.spamCount));
      list.push_back('\n');
    }
    return list;
  }
  bool NonEnglish(const std::string& html_text) {
    return BayesianFilter::HasNonEnglishRun(ToFilterText(html_text));
  }

 private:
  varnox::testing::FakePlatform platform_;
  BayesianFilter filter_;
};

struct Agreement {
  int documents = 0;
  int same_text = 0;
  std::vector<std::string> different_words;  // documents, for the failure message
};

Agreement Compare(const std::vector<std::string>& documents) {
  FilterView view;
  Agreement agreement;
  for (const std::string& html : documents) {
    ++agreement.documents;
    const std::string ours = HtmlToText(html);
    const std::string reference = testing::GumboHtmlToText(html);
    if (ours == reference) {
      ++agreement.same_text;
      continue;
    }
    if (view.Words(ours) != view.Words(reference) ||
        view.NonEnglish(ours) != view.NonEnglish(reference)) {
      agreement.different_words.push_back(html.substr(0, 2000));
    }
  }
  return agreement;
}

std::string Describe(const Agreement& agreement) {
  std::string text = std::to_string(agreement.different_words.size()) + " of " +
                     std::to_string(agreement.documents) + " documents give other words";
  for (std::size_t i = 0; i < agreement.different_words.size() && i < 3; ++i) {
    const std::string& html = agreement.different_words[i];
    text += "\n--- document:\n" + html + "\n--- ours:\n" + HtmlToText(html) + "\n--- gumbo:\n" +
            testing::GumboHtmlToText(html);
  }
  return text;
}

fs::path TestData() {
  const char* data = std::getenv("VARNOX_TEST_DATA");
  return data != nullptr ? fs::path(data) : fs::path("tests/data");
}

TEST(HtmlTextDifferentialTest, OurCorporaGiveGumbosWords) {
  std::vector<std::string> documents;
  for (const char* dir : {"maildir", "eval/good", "eval/spam"}) {
    for (std::string& part : HtmlPartsIn(TestData() / dir))
      documents.push_back(std::move(part));
  }
  for (std::string& part : HtmlPartsOf(ReadFile(TestData() / "maildir/hostile-html.eml")))
    documents.push_back(std::move(part));
  ASSERT_GE(documents.size(), 3u);
  const Agreement agreement = Compare(documents);
  EXPECT_TRUE(agreement.different_words.empty()) << Describe(agreement);
  EXPECT_EQ(agreement.same_text, agreement.documents);
}

TEST(HtmlTextDifferentialTest, PublicCorpusGivesGumbosWords) {
  const char* configured = std::getenv("VARNOX_CORPUS");
  const fs::path corpus =
      configured != nullptr ? fs::path(configured) : TestData() / "../../build/corpus/package/data";
  if (!fs::is_directory(corpus / "spam-2"))
    GTEST_SKIP() << "no public corpus at " << corpus << " (bash bench/corpus.sh --fetch-only)";
  std::vector<std::string> documents;
  for (const char* dir : {"easy-ham-1", "easy-ham-2", "hard-ham-1", "spam-1", "spam-2"}) {
    for (std::string& part : HtmlPartsIn(corpus / dir))
      documents.push_back(std::move(part));
  }
  ASSERT_GT(documents.size(), 1000u);
  const Agreement agreement = Compare(documents);
  EXPECT_TRUE(agreement.different_words.empty()) << Describe(agreement);
  // 1,195 of the 1,210 documents read the same; the others differ only in
  // where lines break (docs/maildir-host.md lists why).
  EXPECT_GE(agreement.same_text * 100, agreement.documents * 98) << Describe(agreement);
}

// Made-up documents: well-nested elements (no tables, whose text a tree
// moves elsewhere) around text, references, comments, declarations, raw
// text and attributes chosen to trip a reader up.
class RandomHtml {
 public:
  explicit RandomHtml(unsigned seed) : random_(seed) {}

  std::string Document() {
    std::string html;
    if (Chance(3))
      html += "<!DOCTYPE html><html><head><title>t &amp; <b>x</b></title></head><body>";
    Flow(html, 0);
    return html;
  }

 private:
  bool Chance(unsigned in) { return random_() % in == 0; }
  template <std::size_t N>
  const char* Pick(const char* const (&options)[N]) {
    return options[random_() % N];
  }

  void Text(std::string& html) {
    static const char* const kPieces[] = {"word",         "Free",      " ",
                                          "  \t",         "\r\n",      "\n\n",
                                          "&amp;",        "&lt;",      "&gt",
                                          "&nbsp;",       "&eacute;",  "&copy",
                                          "&notit;",      "&#65;",     "&#x20AC;",
                                          "&#128;",       "&#0;",      "&#xD800;",
                                          "&bogus;",      "&",         "&#",
                                          "a<b",          "5 < 6",     "caf\xC3\xA9",
                                          "\xE2\x80\x99", "\xFF",      "\xC3",
                                          "\x01",         "\x7F",      "$100!",
                                          "3.14",         "e\xCC\x81", "\xD0\xBF\xD1\x80\xD0\xB8",
                                          "x\r",          "</>",       "<3"};
    for (int n = 1 + static_cast<int>(random_() % 4); n > 0; --n)
      html += Pick(kPieces);
  }

  void Markup(std::string& html) {
    static const char* const kPieces[] = {"<!-- c -->",
                                          "<!---->",
                                          "<!-->",
                                          "<!-- a -- b --!>",
                                          "<!-- <p>x</p> -->",
                                          "<?pi x?>",
                                          "<!x y>",
                                          "<br>",
                                          "</br>",
                                          "<br/>",
                                          "<img src='a>b' alt=\"c>d\">",
                                          "<span a=b c>",
                                          "</span>",
                                          "<b>",
                                          "</b>",
                                          "<font x=\"1\">",
                                          "<script>if (a<b) x('</p>');</script>",
                                          "<script><!-- y('<script>z()</script>') --></script>",
                                          "<style>p>b{}</style>",
                                          "<noscript>n <b>m</b></noscript>",
                                          "<object><p>o</p></object>",
                                          "<template><p>t</p></template>",
                                          "<iframe><p>i</p></iframe>",
                                          "<textarea>\n t &amp; <b></textarea>",
                                          "<xmp><b> &amp;</xmp>",
                                          "<wbr>",
                                          "<svg><![CDATA[c]]></svg>"};
    html += Pick(kPieces);
  }

  void Inline(std::string& html, int depth) {
    for (int n = 1 + static_cast<int>(random_() % 4); n > 0; --n) {
      if (Chance(2))
        Text(html);
      else if (Chance(2) || depth > 6)
        Markup(html);
      else {
        static const char* const kInline[] = {"a", "b", "i", "span", "em", "u"};
        const std::string tag = Pick(kInline);
        html += "<" + tag + (Chance(2) ? " class=\"x\">" : ">");
        Inline(html, depth + 1);
        html += "</" + tag + ">";
      }
    }
  }

  void Flow(std::string& html, int depth) {
    for (int n = 1 + static_cast<int>(random_() % 4); n > 0; --n) {
      if (Chance(2) || depth > 5) {
        Inline(html, depth);
        continue;
      }
      switch (random_() % 5) {
        case 0:
          html += "<p>";
          Inline(html, depth);
          html += Chance(2) ? "</p>" : "";
          break;
        case 1:
          html += "<div>";
          Flow(html, depth + 1);
          html += "</div>";
          break;
        case 2:
          html += "<ul><li>";
          Inline(html, depth);
          html += "<li>";
          Flow(html, depth + 1);
          html += "</ul>";
          break;
        case 3:
          html += "<pre>\n";
          Inline(html, depth);
          html += "</pre>";
          break;
        default:
          html += "<blockquote>";
          Flow(html, depth + 1);
          html += "</blockquote>";
          break;
      }
    }
  }

  std::mt19937 random_;
};

TEST(HtmlTextDifferentialTest, MadeUpDocumentsReadAsGumboReadsThem) {
  RandomHtml random(20240603);
  std::vector<std::string> documents;
  for (int i = 0; i < 3000; ++i)
    documents.push_back(random.Document());
  const Agreement agreement = Compare(documents);
  EXPECT_TRUE(agreement.different_words.empty()) << Describe(agreement);
  EXPECT_EQ(agreement.same_text, agreement.documents) << Describe(agreement);
}

}  // namespace
}  // namespace varnox::mime
