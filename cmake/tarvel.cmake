# tarvel_header(target [GZIP] [ASSETS] [KEEP_FILES] page...)
# tarvel_header(target [GZIP] [ASSETS] [KEEP_FILES] FOLDER folder)
#
# Generates htmls.h from pages and lets target include it as "htmls.h";
# with GZIP, run as tarvel -z, it also holds each page's gzip twin, length
# and ETag. With ASSETS, run as tarvel -a, it holds every file (of the
# folder's tree), with its type, in the list tarvel_files; with both, each
# file keeps the smaller of itself and its twin, or both with KEEP_FILES
# (tarvel -k). The pages are copied into a fresh folder of the build tree
# first: list.txt and the header stay out of the source tree, and a page
# taken away leaves the header too. Uses the tarvel target of this build if
# there is one, else the installed program. Define PROGMEM for the target
# where the platform has none.
#
# Given pages, it converts them whenever one of them changes. Each must be
# a page tarvel takes (a name ending in .html, but for ASSETS, that does
# not start with a dot), and no two may share a name, or the configure step
# stops. With no
# pages the header is empty.
#
# Given a FOLDER, it copies the folder and converts it on every build, as
# tarvel converts it in place, whatever its file names hold (CMake's lists
# cannot hold some: ; " \ ${). A header that comes out the same keeps its
# time, so nothing that includes it is rebuilt.

# Run as a script before each Make build of a target: a header that was
# deleted takes the stamp of its pages with it, so that the pages are
# converted again. Make knows the header only as a by-product of the stamp.
if(CMAKE_SCRIPT_MODE_FILE AND DEFINED TARVEL_HEADER AND DEFINED TARVEL_STAMP)
  if(NOT EXISTS "${TARVEL_HEADER}")
    file(REMOVE "${TARVEL_STAMP}")
  endif()
  return()
endif()

function(tarvel_header target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "GZIP;ASSETS;KEEP_FILES" "FOLDER" "")
  set(option "")
  if(arg_ASSETS)
    list(APPEND option -a)
  endif()
  if(arg_GZIP)
    list(APPEND option -z)
  endif()
  if(arg_KEEP_FILES)
    list(APPEND option -k)
  endif()
  if(TARGET tarvel)
    set(tool $<TARGET_FILE:tarvel>)
  else()
    find_program(TARVEL_PROGRAM tarvel REQUIRED)
    set(tool ${TARVEL_PROGRAM})
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_htmls)
  set(convert COMMAND ${CMAKE_COMMAND} -E chdir ${dir}/pages ${tool} ${option})
  set(fresh COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}/pages
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/pages)

  if(DEFINED arg_FOLDER)
    if(arg_UNPARSED_ARGUMENTS)
      message(FATAL_ERROR "tarvel_header(${target}): pages and a FOLDER: ${arg_UNPARSED_ARGUMENTS}")
    endif()
    get_filename_component(folder "${arg_FOLDER}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT IS_DIRECTORY "${folder}")
      message(FATAL_ERROR "tarvel_header(${target}): FOLDER ${folder} is no folder")
    endif()
    # A copy into the folder itself would copy itself without end.
    string(FIND "${dir}/" "${folder}/" inside)
    if(inside EQUAL 0)
      message(FATAL_ERROR "tarvel_header(${target}): FOLDER ${folder} holds the build tree")
    endif()
    add_custom_target(
      ${target}_htmls
      ${fresh}
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${folder} ${dir}/pages
      ${convert}
      BYPRODUCTS ${dir}/htmls.h
      COMMENT "Converting the pages of ${target} into htmls.h"
      VERBATIM)
    if(TARGET tarvel)
      add_dependencies(${target}_htmls tarvel)
    endif()
    add_dependencies(${target} ${target}_htmls)
    target_sources(${target} PRIVATE ${dir}/htmls.h)
    target_include_directories(${target} PRIVATE ${dir})
    return()
  endif()

  # Page paths are the caller's, relative to its source folder.
  set(pages "")
  set(names "")
  foreach(page IN LISTS arg_UNPARSED_ARGUMENTS)
    get_filename_component(page "${page}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(name "${page}" NAME)
    if(arg_ASSETS AND name MATCHES "^\\.")
      message(FATAL_ERROR "tarvel_header(${target}): ${page} is no file tarvel takes: "
                          "its name must not start with a dot")
    elseif(NOT arg_ASSETS AND (name MATCHES "^\\." OR NOT name MATCHES "\\.html$"))
      message(FATAL_ERROR "tarvel_header(${target}): ${page} is no page tarvel takes: "
                          "its name must end in .html and not start with a dot")
    endif()
    list(FIND names "${name}" at)
    if(at GREATER_EQUAL 0)
      list(GET pages ${at} first)
      message(FATAL_ERROR "tarvel_header(${target}): ${first} and ${page} have the same name")
    endif()
    list(APPEND pages "${page}")
    list(APPEND names "${name}")
  endforeach()
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
    ${fresh}
    ${copy}
    ${convert}
    COMMAND ${CMAKE_COMMAND} -E touch ${dir}/htmls.stamp
    DEPENDS ${pages} $<$<TARGET_EXISTS:tarvel>:tarvel>
    COMMENT "Converting the pages of ${target} into htmls.h"
    VERBATIM)
  target_sources(${target} PRIVATE ${dir}/htmls.stamp ${dir}/htmls.h)
  target_include_directories(${target} PRIVATE ${dir})
  if(CMAKE_GENERATOR MATCHES "Make")
    add_custom_target(
      ${target}_htmls_check
      COMMAND ${CMAKE_COMMAND} -DTARVEL_HEADER=${dir}/htmls.h -DTARVEL_STAMP=${dir}/htmls.stamp
              -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      VERBATIM)
    add_dependencies(${target} ${target}_htmls_check)
  endif()
endfunction()
