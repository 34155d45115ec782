# The Help and Support pages: docs/help.md and docs/support.md made into
# HTML pages with cmark (Debian's cmark), placed beside the program that
# opens them (VarnoxMail.dll or varnox) and installed with it.
find_program(VARNOX_CMARK cmark REQUIRED)
set(VARNOX_PAGE_NAMES help support)

# varnox_add_pages(FOLDER): the pages made into FOLDER by the target
# varnox_pages, part of every build.
function(varnox_add_pages folder)
  set(pages)
  foreach(name IN LISTS VARNOX_PAGE_NAMES)
    set(source ${PROJECT_SOURCE_DIR}/docs/${name}.md)
    set(page ${folder}/${name}.html)
    add_custom_command(
      OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -DCMARK=${VARNOX_CMARK} -DSOURCE=${source} -DPAGE=${page}
              -P ${PROJECT_SOURCE_DIR}/cmake/make-page.cmake
      DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/make-page.cmake
      COMMENT "Making the page ${name}.html"
      VERBATIM)
    list(APPEND pages ${page})
  endforeach()
  add_custom_target(varnox_pages ALL DEPENDS ${pages})
  set(VARNOX_PAGES ${pages} PARENT_SCOPE)
endfunction()
