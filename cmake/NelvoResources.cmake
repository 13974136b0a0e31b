# Program resources: named files whose bytes the build embeds into a library, found at run time
# by name (FindRawResource in src/platform/Resources.h).
#
#   include(NelvoResources)
#   nelvo_resource(nelvo_core TEST_CADES_COM ${PROJECT_SOURCE_DIR}/resources/test_cades_com.html)
#
# Any folder may add resources to a target while the target's own folder is still being
# configured; at the end of that folder one source file is generated for all of them, so the
# target holds a single table. The bytes are written as a C++ array at build time, which needs
# nothing from the compiler beyond C++ (no #embed, no assembler directives) and follows every
# edit of a resource file. Exactly one target of a program may hold resources: the table has
# one name.
include_guard(GLOBAL)

function(nelvo_resource target name file)
  if(NOT name MATCHES "^[A-Za-z0-9_]+$")
    message(FATAL_ERROR "nelvo_resource: '${name}' is no resource name (letters, digits, _)")
  endif()
  get_filename_component(file "${file}" ABSOLUTE)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "nelvo_resource: ${name}: no file ${file}")
  endif()
  get_property(names TARGET ${target} PROPERTY NELVO_RESOURCE_NAMES)
  if(name IN_LIST names)
    message(FATAL_ERROR "nelvo_resource: ${name} is added to ${target} twice")
  endif()
  if(NOT names)
    get_target_property(dir ${target} SOURCE_DIR)
    # A deferred call sees its arguments only when it runs: the target name is put in now.
    cmake_language(EVAL CODE
      "cmake_language(DEFER DIRECTORY [[${dir}]] CALL _nelvo_generate_resources [[${target}]])")
  endif()
  set_property(TARGET ${target} APPEND PROPERTY NELVO_RESOURCE_NAMES ${name})
  set_property(TARGET ${target} APPEND PROPERTY NELVO_RESOURCE_FILES ${file})
endfunction()

# Runs in the target's own folder, so that the generating command and the target meet there.
# The include's variables are not seen from there; the paths come from this file's folder.
function(_nelvo_generate_resources target)
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/NelvoEmbedResources.cmake)
  set(reader ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../src/platform/Resources.cpp)
  get_property(names TARGET ${target} PROPERTY NELVO_RESOURCE_NAMES)
  get_property(files TARGET ${target} PROPERTY NELVO_RESOURCE_FILES)
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.list)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  # One "NAME=path" line per resource: paths may hold anything but a line break.
  set(lines "")
  foreach(name file IN ZIP_LISTS names files)
    string(APPEND lines "${name}=${file}\n")
  endforeach()
  file(CONFIGURE OUTPUT ${list_file} CONTENT "${lines}" @ONLY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DLIST_FILE=${list_file} -DOUTPUT=${output}
            -P ${script}
    DEPENDS ${list_file} ${files} ${script}
    COMMENT "Embedding the resources of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${output} ${reader})
endfunction()
