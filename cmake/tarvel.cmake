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
  set(pages ${arg_UNPARSED_ARGUMENTS})
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
  set(names "")
  foreach(page IN LISTS pages)
    get_filename_component(name ${page} NAME)
    list(FIND names ${name} at)
    if(at GREATER_EQUAL 0)
      list(GET pages ${at} first)
      message(FATAL_ERROR "tarvel_header(${target}): ${first} and ${page} have the same name")
    endif()
    list(APPEND names ${name})
  endforeach()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_htmls)
  set(copy "")
  if(pages)
    set(copy COMMAND ${CMAKE_COMMAND} -E copy ${pages} ${dir}/pages)
  endif()
  add_custom_command(
    OUTPUT ${dir}/htmls.h
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}/pages
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/pages
    ${copy}
    COMMAND ${CMAKE_COMMAND} -E chdir ${dir}/pages ${tool} ${option}
    DEPENDS ${pages} $<$<TARGET_EXISTS:tarvel>:tarvel>
    COMMENT "Converting the pages of ${target} into htmls.h"
    VERBATIM)
  target_sources(${target} PRIVATE ${dir}/htmls.h)
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
