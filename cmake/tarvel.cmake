# tarvel_header(target [GZIP] page...)
#
# Generates htmls.h from the given pages whenever one of them changes, and
# lets target include it as "htmls.h"; with GZIP, run as tarvel -z, it also
# holds each page's gzip twin, length and ETag. The pages are copied into a
# fresh folder of the build tree first: list.txt and the header stay out of
# the source tree, and a page taken off the list leaves the header too. With no
# pages the header is empty. Two pages of the same file name would overwrite
# each other in that folder, so they stop the configure step.
# Uses the tarvel target of this build if there is one, else the installed
# program. Define PROGMEM for the target where the platform has none.
function(tarvel_header target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "GZIP" "" "")
  set(option "")
  if(arg_GZIP)
    set(option -z)
  endif()
  if(TARGET tarvel)
    set(tool $<TARGET_FILE:tarvel>)
  else()
    find_program(TARVEL_PROGRAM tarvel REQUIRED)
    set(tool ${TARVEL_PROGRAM})
  endif()
  # Page paths are the caller's, relative to its source folder.
  set(pages "")
  foreach(page IN LISTS arg_UNPARSED_ARGUMENTS)
    get_filename_component(page "${page}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND pages "${page}")
  endforeach()
  set(names "")
  foreach(page IN LISTS pages)
    get_filename_component(name "${page}" NAME)
    list(FIND names "${name}" at)
    if(at GREATER_EQUAL 0)
      list(GET pages ${at} first)
      message(FATAL_ERROR "tarvel_header(${target}): ${first} and ${page} have the same name")
    endif()
    list(APPEND names "${name}")
  endforeach()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_htmls)
  set(copy "")
  if(pages)
    set(copy COMMAND ${CMAKE_COMMAND} -E copy ${pages} ${dir}/pages)
  endif()
  # The stamp says when the pages were last converted. The header itself
  # keeps its time when its bytes stay the same, so that what includes it
  # is not rebuilt; were it the output, Make would convert again on every
  # build after a page change that leaves the header as it was.
  add_custom_command(
    OUTPUT ${dir}/htmls.stamp
    BYPRODUCTS ${dir}/htmls.h
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}/pages
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/pages
    ${copy}
    COMMAND ${CMAKE_COMMAND} -E chdir ${dir}/pages ${tool} ${option}
    COMMAND ${CMAKE_COMMAND} -E touch ${dir}/htmls.stamp
    DEPENDS ${pages} $<$<TARGET_EXISTS:tarvel>:tarvel>
    COMMENT "Converting the pages of ${target} into htmls.h"
    VERBATIM)
  target_sources(${target} PRIVATE ${dir}/htmls.stamp ${dir}/htmls.h)
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
