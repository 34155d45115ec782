# Makes the engine's table of public suffixes (cmake -P, from
# engine/CMakeLists.txt) from the Public Suffix List as Debian's package
# publicsuffix installs it:
#   -DLIST=/usr/share/publicsuffix/public_suffix_list.dat -DOUT=out/public_suffixes.inc
# Only the ICANN section (suffixes under which a registry sells names; the
# private section names hosting services' own subdomains) and only rules in
# ASCII: mail's host names are ASCII, international ones in their xn-- form.
# Each rule becomes one string literal, "com", "co.uk", "*.ck", "!www.ck".
file(STRINGS ${LIST} lines ENCODING UTF-8)
set(section "")
set(rules "")
set(count 0)
foreach(line IN LISTS lines)
  if(line MATCHES "===BEGIN ICANN DOMAINS===")
    set(section icann)
  elseif(line MATCHES "===END ICANN DOMAINS===")
    set(section "")
  elseif(section STREQUAL "icann" AND line MATCHES "^([!*.a-z0-9-]+)($|[ \t])")
    # A rule is the line's first word; anything after it is a comment.
    string(APPEND rules "\"${CMAKE_MATCH_1}\",\n")
    math(EXPR count "${count} + 1")
  endif()
endforeach()
if(count LESS 1000)
  message(FATAL_ERROR "${LIST} holds ${count} ICANN rules in ASCII: not the Public Suffix List?")
endif()
file(WRITE ${OUT}.part "// Made by cmake/public-suffixes.cmake from ${LIST}: ${count} rules.\n${rules}")
file(RENAME ${OUT}.part ${OUT})
