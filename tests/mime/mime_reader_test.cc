#include "mime/mime_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "mime/filter_text.h"

namespace varnox::mime {
namespace {

const std::string kReceived = "Received: from mx.example.org by mail.example.net\n";

struct BodyCase {
  const char* name;
  std::string message;
  std::string body;
};

class BodyTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(BodyTest, GivesTheMainTextAsCodePage1252WithCrLf) {
  EXPECT_EQ(ReadMimeTexts(GetParam().message).body, GetParam().body);
}

const std::string kAlternative = kReceived +
                                 "Content-Type: multipart/alternative; boundary=\"A\"\n\n"
                                 "--A\nContent-Type: text/html\n\n<p>html version</p>\n"
                                 "--A\nContent-Type: text/plain\n\nplain version\n--A--\n";

INSTANTIATE_TEST_SUITE_P(
    Bodies, BodyTest,
    ::testing::Values(
        BodyCase{"plain", kReceived + "Subject: s\n\nline one\nline two\n",
                 "line one\r\nline two\r\n"},
        // The line end before a boundary belongs to the boundary.
        BodyCase{"alternative_prefers_plain", kAlternative, "plain version"},
        BodyCase{"html_only",
                 kReceived +
                     "Content-Type: text/html\n\n<html><head><title>T</title>"
                     "<style>p{color:red}</style></head><body><p>Cheap&nbsp;&amp;&nbsp;good"
                     "</p><script>var x=1;</script><p>Second   para</p>Line<br>break</body></html>",
                 "Cheap & good\r\nSecond para\r\nLine\r\nbreak"},
        BodyCase{"quoted_printable_latin1",
                 kReceived +
                     "Content-Type: text/plain; charset=iso-8859-1\n"
                     "Content-Transfer-Encoding: quoted-printable\n\ncaf=E9 cr=E8me=\n soft\n",
                 "caf\xE9 cr\xE8me soft\r\n"},
        BodyCase{"base64_utf8",
                 kReceived + "Content-Type: text/plain; charset=utf-8\n"
                             "Content-Transfer-Encoding: base64\n\nY2Fmw6kK\n",
                 "caf\xE9\r\n"},
        BodyCase{"cyrillic_letters_become_the_foreign_letter_byte",
                 kReceived + "Content-Type: text/plain; charset=koi8-r\n"
                             "Content-Transfer-Encoding: 8bit\n\n\xD0\xD2\xC9 1\n",
                 "\x95\x95\x95 1\r\n"},
        BodyCase{"symbols_1252_lacks_become_question_marks",
                 kReceived + "Content-Type: text/plain; charset=utf-8\n\n"
                             "\xE2\x98\x83 \xF0\x9F\x98\x80 \xE2\x82\xAC\n",
                 "? ? \x80\r\n"},
        BodyCase{"non_breaking_spaces_become_spaces",
                 kReceived + "Content-Type: text/plain; charset=utf-8\n\na\xC2\xA0\xC2\xA0"
                             "b\n",
                 "a  b\r\n"},
        BodyCase{"decomposed_accent_is_composed",
                 kReceived + "Content-Type: text/plain; charset=utf-8\n\ne\xCC\x81t\xC3\xA9\n",
                 "\xE9t\xE9\r\n"},
        BodyCase{"attachment_is_not_body",
                 kReceived + "Content-Type: multipart/mixed; boundary=\"M\"\n\n"
                             "--M\nContent-Type: text/plain\n\nthe letter\n"
                             "--M\nContent-Type: text/plain\nContent-Disposition: attachment; "
                             "filename=a.txt\n\nattached text\n--M--\n",
                 "the letter"},
        BodyCase{"attached_text_first_is_skipped",
                 kReceived +
                     "Content-Type: multipart/mixed; boundary=\"M\"\n\n"
                     "--M\nContent-Type: text/plain\nContent-Disposition: attachment\n\nnot me\n"
                     "--M\nContent-Type: multipart/alternative; boundary=\"N\"\n\n"
                     "--N\nContent-Type: text/html\n\n<b>bold</b> text\n--N--\n--M--\n",
                 "bold text"},
        BodyCase{"unknown_charset_is_taken_as_1252",
                 kReceived + "Content-Type: text/plain; charset=x-nonesuch\n\ncaf\xE9\n",
                 "caf\xE9\r\n"},
        BodyCase{"utf8_label_on_latin1_bytes",
                 kReceived + "Content-Type: text/plain; charset=utf-8\n\ncaf\xE9\n", "caf\xE9\r\n"},
        BodyCase{"no_text_part_gives_an_empty_body",
                 kReceived + "Content-Type: multipart/mixed; boundary=\"M\"\n\n"
                             "--M\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n\n"
                             "iVBORw0KGgo=\n--M--\n",
                 ""},
        BodyCase{"no_headers_at_all", "just text\nmore\n", "just text\r\nmore\r\n"}),
    [](const ::testing::TestParamInfo<BodyCase>& info) { return std::string(info.param.name); });

struct SubjectCase {
  std::string header;
  std::string subject;
};

class SubjectTest : public ::testing::TestWithParam<SubjectCase> {};

TEST_P(SubjectTest, IsDecodedWithOnePrefixRemoved) {
  const std::string message = kReceived + "Subject: " + GetParam().header + "\n\nbody\n";
  EXPECT_EQ(ReadMimeTexts(message).subject, GetParam().subject);
}

INSTANTIATE_TEST_SUITE_P(
    Subjects, SubjectTest,
    ::testing::Values(SubjectCase{"Hello", "Hello"}, SubjectCase{"Re: Hello", "Hello"},
                      SubjectCase{"FW: Hello", "Hello"}, SubjectCase{"Re: Re: Hello", "Re: Hello"},
                      SubjectCase{"Fwd: x", "x"}, SubjectCase{"Four: x", "Four: x"},
                      SubjectCase{"Re:x", "Re:x"}, SubjectCase{"12: x", "12: x"},
                      SubjectCase{"AW: Gr=?iso-8859-1?Q?=FC=DFe?=",
                                  "Gr\xFC\xDF"
                                  "e"},
                      SubjectCase{"=?utf-8?B?0L/RgNC40LLQtdGC?= all",
                                  "\x95\x95\x95\x95\x95\x95 all"},
                      SubjectCase{"=?utf-8?Q?a=C2=A0b?=", "a b"}));

TEST(MimeReaderTest, NoSubjectHeaderGivesAnEmptySubject) {
  EXPECT_EQ(ReadMimeTexts(kReceived + "From: a\n\nbody\n").subject, "");
}

struct HeaderCase {
  const char* name;
  std::string message;
  std::optional<std::string> headers;
};

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, RawBlockWithCrLfOnlyAfterTransport) {
  EXPECT_EQ(ReadMimeTexts(GetParam().message).headers, GetParam().headers);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderTest,
    ::testing::Values(
        HeaderCase{"lf", "Received: x\nFrom: a\n\nbody\n", "Received: x\r\nFrom: a\r\n"},
        HeaderCase{"crlf_folded", "From: a\r\nReceived: x\r\n  y\r\n\r\nbody\r\n",
                   "From: a\r\nReceived: x\r\n  y\r\n"},
        HeaderCase{"cr_only", "Received: x\rFrom: a\r\rbody\r", "Received: x\r\nFrom: a\r\n"},
        HeaderCase{"any_case", "RECEIVED: x\n\nb\n", "RECEIVED: x\r\n"},
        HeaderCase{"no_final_line_end", "Received: x", "Received: x\r\n"},
        HeaderCase{"sent_copy_has_none", "From: me\nSubject: s\n\nbody\n", std::nullopt},
        HeaderCase{"received_in_body_does_not_count", "From: me\n\nReceived: x\n", std::nullopt},
        HeaderCase{"field_name_must_match", "X-Received: x\n\nb\n", std::nullopt}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST(HeaderBlockTest, FindsTheEmptyLineAndTheLineEndConvention) {
  const HeaderBlock lf = FindHeaderBlock("A: 1\nB: 2\n\nbody");
  EXPECT_EQ(lf.end, 10u);
  EXPECT_EQ(lf.body_start, 11u);
  EXPECT_EQ(lf.line_end, "\n");
  const HeaderBlock crlf = FindHeaderBlock("A: 1\r\n\r\nbody");
  EXPECT_EQ(crlf.end, 6u);
  EXPECT_EQ(crlf.body_start, 8u);
  EXPECT_EQ(crlf.line_end, "\r\n");
  const HeaderBlock open = FindHeaderBlock("A: 1\nB: 2");
  EXPECT_EQ(open.end, 9u);
  EXPECT_FALSE(open.last_line_ended);
  const HeaderBlock none = FindHeaderBlock("no header here\n\nx");
  EXPECT_EQ(none.end, 0u);
  EXPECT_EQ(none.body_start, 0u);
}

// Mail saved from an mbox file starts with the mailbox's envelope line; it is
// skipped once, and only when written exactly so ("From " and a space).
struct EnvelopeCase {
  const char* name;
  std::string raw;
  std::optional<std::string> headers;
  std::string subject;
  std::string body;
};

class EnvelopeTest : public ::testing::TestWithParam<EnvelopeCase> {};

TEST_P(EnvelopeTest, OneLeadingEnvelopeLineIsNoPartOfTheMessage) {
  const MimeTexts texts = ReadMimeTexts(GetParam().raw);
  EXPECT_EQ(texts.headers, GetParam().headers);
  EXPECT_EQ(texts.subject, GetParam().subject);
  EXPECT_EQ(texts.body, GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EnvelopeTest,
    ::testing::Values(
        EnvelopeCase{"lf",
                     "From a@b  Mon Jun  3 09:00:00 2024\nReceived: x\nSubject: Re: s\n\nbody\n",
                     "Received: x\r\nSubject: Re: s\r\n", "s", "body\r\n"},
        EnvelopeCase{"crlf", "From a@b\r\nReceived: x\r\n\r\nbody\r\n", "Received: x\r\n", "",
                     "body\r\n"},
        EnvelopeCase{"cr_only", "From a@b\rReceived: x\rSubject: s\r\rbody\r",
                     "Received: x\r\nSubject: s\r\n", "s", "body\r\n"},
        EnvelopeCase{"text_without_fields_after_it", "From a@b\nplain words\n", std::nullopt, "",
                     "plain words\r\n"},
        EnvelopeCase{"no_line_end", "From a@b without a line end", std::nullopt, "", ""},
        EnvelopeCase{"only_one_is_skipped", "From a@b\nFrom c@d\nReceived: x\n\nbody\n",
                     std::nullopt, "", "From c@d\r\nReceived: x\r\n\r\nbody\r\n"},
        EnvelopeCase{"from_field_is_a_header", "From: a@b\nReceived: x\n\nbody\n",
                     "From: a@b\r\nReceived: x\r\n", "", "body\r\n"},
        EnvelopeCase{"lower_case_is_text", "from a@b\nReceived: x\n\nbody\n", std::nullopt, "",
                     "from a@b\r\nReceived: x\r\n\r\nbody\r\n"}),
    [](const ::testing::TestParamInfo<EnvelopeCase>& info) {
      return std::string(info.param.name);
    });

TEST(HeaderBlockTest, StartsAfterTheEnvelopeLine) {
  const HeaderBlock block = FindHeaderBlock("From a@b 2024\r\nA: 1\r\n\r\nbody");
  EXPECT_EQ(block.start, 15u);
  EXPECT_EQ(block.end, 21u);
  EXPECT_EQ(block.body_start, 23u);
  EXPECT_EQ(block.line_end, "\r\n");
  EXPECT_TRUE(block.has_fields());
  const HeaderBlock bare = FindHeaderBlock("From a@b");
  EXPECT_EQ(bare.start, 8u);
  EXPECT_FALSE(bare.has_fields());
  EXPECT_FALSE(bare.last_line_ended);
}

TEST(FilterTextTest, ConvertsLineEnds) {
  EXPECT_EQ(WithLineEnds("a\r\nb\rc\nd", "\n"), "a\nb\nc\nd");
  EXPECT_EQ(WithCrLfLineEnds("a\n\nb\r"), "a\r\n\r\nb\r\n");
}

TEST(FilterTextTest, KeepsNulBytesAndMarksMalformedUtf8) {
  EXPECT_EQ(ToFilterText(std::string("a\0\xC3\xA9", 4)), std::string("a\0\xE9", 3));
  EXPECT_EQ(ToFilterText("x\xC3(y"), "x?(y");
}

}  // namespace
}  // namespace varnox::mime
