# tarvel_header(target page...)
#
# Generates htmls.h from the given pages whenever one of them changes, and
# lets target include it as "htmls.h". The pages are copied into a fresh
# folder of the build tree first: list.txt and the header stay out of the
# source tree, and a page taken off the list leaves the header too. With no
# pages the header is empty. Two pages of the same file name would overwrite
# each other in that folder, so they stop the configure step.
# Uses the tarvel target of this build if there is one, else the installed
# program. Define PROGMEM for the target where the platform has none.
function(tarvel_header target)
  if(TARGET tarvel)
    set(tool $<TARGET_FILE:tarvel>)
  else()
    find_program(TARVEL_PROGRAM tarvel REQUIRED)
    set(tool ${TARVEL_PROGRAM})
  endif()
  set(names "")
  foreach(page IN LISTS ARGN)
    get_filename_component(name ${page} NAME)
    list(FIND names ${name} at)
    if(at GREATER_EQUAL 0)
      list(GET ARGN ${at} first)
      message(FATAL_ERROR "tarvel_header(${target}): ${first} and ${page} have the same name")
    endif()
    list(APPEND names ${name})
  endforeach()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_htmls)
  set(copy "")
  if(ARGN)
    set(copy COMMAND ${CMAKE_COMMAND} -E copy ${ARGN} ${dir}/pages)
  endif()
  add_custom_command(
    OUTPUT ${dir}/htmls.h
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}/pages
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/pages
    ${copy}
    COMMAND ${CMAKE_COMMAND} -E chdir ${dir}/pages ${tool}
    DEPENDS ${ARGN} $<$<TARGET_EXISTS:tarvel>:tarvel>
    COMMENT "Converting the pages of ${target} into htmls.h"
    VERBATIM)
  target_sources(${target} PRIVATE ${dir}/htmls.h)
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
