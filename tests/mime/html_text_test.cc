// The one-pass HTML reader's own rules, case by case; its agreement with a
// full HTML parser is in html_text_differential_test.cc.
#include "mime/html_text.h"

#include <gtest/gtest.h>

#include <string>

namespace varnox::mime {
namespace {

struct HtmlCase {
  const char* name;
  std::string html;
  std::string text;
};

class HtmlTextTest : public ::testing::TestWithParam<HtmlCase> {};

TEST_P(HtmlTextTest, GivesTheTextAMailReaderShows) {
  EXPECT_EQ(HtmlToText(GetParam().html), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, HtmlTextTest,
    ::testing::Values(
        HtmlCase{"blocks_and_breaks", "<p>one</p>two<div>three<br>four</div>  five  <hr>six",
                 "one\ntwo\nthree\nfour\nfive\nsix"},
        HtmlCase{"preformatted_drops_its_first_line_feed", "<pre>\r\na  b\r\n c</pre>x",
                 "a  b\n c\nx"},
        HtmlCase{"hidden_elements",
                 "<body><title>t</title><style>s</style><script>x</script>"
                 "<noscript>n</noscript><object><p>o</p></object>"
                 "<template>t</template><iframe>i</iframe>shown",
                 "shown"},
        HtmlCase{"named_references", "&eacute;t&eacute; &copy 2024 &notit; &AMP &bogus;",
                 "\xC3\xA9t\xC3\xA9 \xC2\xA9 2024 \xC2\xACit; & &bogus;"},
        HtmlCase{"numeric_references", "&#65;&#x42;&#128;&#x9F;&#0;&#xD800;&#1114112;&#;&#x;",
                 "AB\xE2\x82\xAC\xC5\xB8\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD&#;&#x;"},
        HtmlCase{"no_break_space_is_no_white_space", "a&nbsp;&nbsp;b",
                 "a\xC2\xA0\xC2\xA0"
                 "b"},
        HtmlCase{"comments", "a<!-- <p>x</p> -->b<!---->c<!-->d<!--->e<!-- x --!>f<!-- open",
                 "abcdef"},
        HtmlCase{"declarations_and_stray_brackets", "a<?pi?>b<!x>c</ x>d</>e < f <3 </",
                 "abcde < f <3 </"},
        HtmlCase{"quoted_brackets_in_attributes", "<a title='x>y' b=\"1>2\" c=d>e>f</a>", "e>f"},
        HtmlCase{"tag_cut_off_by_the_end", "text<a href=\"never closed", "text"},
        HtmlCase{"script_text_that_looks_like_tags",
                 "<script>if (a<b) w('</p>'); s='</scrip'+'t>';</script>x"
                 "<script><!-- w('<script>y()</script>'); --></script>z",
                 "xz"},
        HtmlCase{"raw_text_shown", "<xmp><b>&amp;</b></xmp><textarea>\n&amp; <b></textarea>",
                 "<b>&amp;</b>& <b>"},
        HtmlCase{"end_tag_that_closes_nothing", "<table><tr><td>a</center>b</td></tr></table>",
                 "ab"},
        HtmlCase{"new_paragraph_ends_the_open_one", "<p>a<p>b<fieldset>c", "a\nb\nc"},
        HtmlCase{"cells_and_rows", "<table><tr><td>a<td>b<tr><td>c</table>d", "a b\nc\nd"},
        HtmlCase{"frameset_shows_only_noframes",
                 "<frameset><frame src=x><noframes>old browsers</noframes></frameset>after",
                 "old browsers"},
        HtmlCase{"noscript_in_head_ends_at_body_content", "<noscript>visible</noscript>",
                 "visible"},
        HtmlCase{"nul_control_and_malformed_bytes", std::string("a\0b\x01 c\xFF d\xC3", 10),
                 "ab\xEF\xBF\xBD c\xEF\xBF\xBD d\xEF\xBF\xBD"},
        HtmlCase{"foreign_cdata", "<svg><![CDATA[in svg]]></svg><![CDATA[not]]>x", "in svgx"}),
    [](const ::testing::TestParamInfo<HtmlCase>& info) { return std::string(info.param.name); });

TEST(HtmlTextHostileTest, DeepNestingNeedsNoStack) {
  std::string html;
  for (int i = 0; i < 200000; ++i)
    html += "<div><li><p>";
  html += "deep &amp; down<script>no()</script>";
  for (int i = 0; i < 200000; ++i)
    html += "</p></li>";
  EXPECT_EQ(HtmlToText(html), "deep & down");
}

TEST(HtmlTextHostileTest, HiddenElementsBeyondTheKeptDepthStillHide) {
  std::string html = "<body>";
  for (int i = 0; i < 1000; ++i)
    html += "<div><noscript>";
  html += "hidden";
  for (int i = 0; i < 1000; ++i)
    html += "</noscript></div>";
  html += "shown";
  EXPECT_EQ(HtmlToText(html), "shown");
}

TEST(HtmlTextHostileTest, UnterminatedConstructsEndWithTheDocument) {
  for (const char* start : {"<!--", "<script>", "<style>", "<textarea>x", "<a b='", "<!x", "<?"}) {
    std::string html = std::string("kept ") + start;
    html.append(1 << 20, '<');
    const std::string text = HtmlToText(html);
    EXPECT_EQ(text.substr(0, 4), "kept") << start;
  }
}

}  // namespace
}  // namespace varnox::mime
