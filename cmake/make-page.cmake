# Makes one HTML page from a Markdown file (cmake -P, from pages.cmake):
#   -DCMARK=cmark -DSOURCE=docs/help.md -DPAGE=out/help.html
# Raw HTML in the Markdown is left out (--safe); the page's title is its
# first heading.
execute_process(COMMAND ${CMARK} --safe --validate-utf8 ${SOURCE}
                OUTPUT_VARIABLE body RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmark could not read ${SOURCE}")
endif()
file(STRINGS ${SOURCE} headings REGEX "^# " LIMIT_COUNT 1)
string(REGEX REPLACE "^# +" "" title "${headings}")
string(REPLACE "&" "&amp;" title "${title}")
string(REPLACE "<" "&lt;" title "${title}")
file(WRITE ${PAGE}.part "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>${title}</title>
<style>
body { font-family: sans-serif; max-width: 46em; margin: 2em auto; padding: 0 1em; line-height: 1.45; }
table { border-collapse: collapse; } th, td { border: 1px solid #bbb; padding: .3em .6em; text-align: left; }
code { background: #f2f2f2; }
</style>
</head>
<body>
${body}</body>
</html>
")
file(RENAME ${PAGE}.part ${PAGE})
