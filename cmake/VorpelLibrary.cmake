# vorpel_library(<target> <folder> [INTERFACE] SOURCES <files...> [PUBLIC <targets...>] [PRIVATE <targets...>])
#
# One folder of src/, one library target. The target's include root exposes
# that folder alone, under its own name: a generated directory in the build
# tree holds one symbolic link, <folder> -> src/<folder>. A library therefore
# reaches the headers of another library only by linking it, and every header
# keeps its spelling "<folder>/<file>.h". Sources are listed, never globbed.
# Warnings as errors (vorpel_warnings) reach the library and all that use it.
function(vorpel_library target folder)
  cmake_parse_arguments(ARG "INTERFACE" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  set(root "${PROJECT_BINARY_DIR}/include/${target}")
  get_filename_component(parent "${root}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  file(CREATE_LINK "${PROJECT_SOURCE_DIR}/src/${folder}" "${root}/${folder}" SYMBOLIC)
  if(ARG_INTERFACE)
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE "${root}")
    target_link_libraries(${target} INTERFACE vorpel_warnings ${ARG_PUBLIC})
  else()
    list(TRANSFORM ARG_SOURCES PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/")
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC "${root}")
    target_link_libraries(${target} PUBLIC vorpel_warnings ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  endif()
endfunction()
