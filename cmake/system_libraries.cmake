# The system's libraries that the Linux build links, each as one target that
# every library, program and test of the build uses alike: system_gmime
# (GMime, with GIO and GObject), system_glib (GLib) and system_tinyxml.
#
# With VARNOX_LINK_STATIC (the release preset) they come from Debian's static
# archives, and the `varnox` program carries its own C++
# runtime (linux/CMakeLists.txt). A process then starts without the dynamic
# loader resolving these libraries' symbols, which was most of the cost of a
# one-message `varnox classify --stamp`, the process a delivery agent starts
# for every message (bench/lone_command.sh). The small C libraries below them
# (GPGME, libmount, libselinux, libidn2) stay shared. The price: an update of
# GLib, GMime or TinyXML reaches the program when it is built again.
option(VARNOX_LINK_STATIC
       "Link GMime, GLib and TinyXML from their static archives, and the C++ runtime into varnox"
       OFF)
find_package(PkgConfig REQUIRED)

# system_library(NAME MODULE [AFTER TARGET]): the target system_NAME
# for the pkg-config MODULE. With AFTER, the libraries that TARGET already
# carries are left to it, so that each archive is named once, after every
# archive that needs it.
function(system_library name module)
  cmake_parse_arguments(arg "" "AFTER" "" ${ARGN})
  pkg_check_modules(${name}_pc REQUIRED IMPORTED_TARGET ${module})
  add_library(system_${name} INTERFACE)
  if(NOT VARNOX_LINK_STATIC)
    target_link_libraries(system_${name} INTERFACE PkgConfig::${name}_pc)
    return()
  endif()
  target_include_directories(system_${name} SYSTEM INTERFACE ${${name}_pc_STATIC_INCLUDE_DIRS})
  target_compile_options(system_${name} INTERFACE ${${name}_pc_STATIC_CFLAGS_OTHER})
  # pkg-config names a library again wherever another needs it; an archive
  # must come after all that need it, so each keeps its last place.
  set(names ${${name}_pc_STATIC_LIBRARIES})
  list(REVERSE names)
  list(REMOVE_DUPLICATES names)
  list(REVERSE names)
  if(arg_AFTER)
    list(REMOVE_ITEM names ${system_${arg_AFTER}_names})
  endif()
  set(system_${name}_names ${names} PARENT_SCOPE)
  set(items)
  foreach(library IN LISTS names)
    # Only these archives: Debian's other static archives do not name what
    # they need in turn (GPGME's needs libassuan, libidn2's libunistring).
    if(NOT library MATCHES "^(gmime-3\\.0|gio-2\\.0|gobject-2\\.0|gmodule-2\\.0|glib-2\\.0|ffi|pcre2-8|z|tinyxml)$")
      list(APPEND items ${library})
      continue()
    endif()
    find_library(archive NAMES lib${library}.a HINTS ${${name}_pc_STATIC_LIBRARY_DIRS} NO_CACHE)
    if(archive)
      list(APPEND items ${archive})
    else()
      list(APPEND items ${library})
    endif()
    unset(archive)
  endforeach()
  target_link_libraries(system_${name} INTERFACE ${items})
  target_link_options(system_${name} INTERFACE ${${name}_pc_STATIC_LDFLAGS_OTHER})
  if(arg_AFTER)
    target_link_libraries(system_${name} INTERFACE system_${arg_AFTER})
  endif()
endfunction()

system_library(glib glib-2.0)
system_library(gmime gmime-3.0 AFTER glib)
system_library(tinyxml tinyxml)
