# Compiled-in resources. qv_embed_resources() turns files into a generated C++ source that
# holds their bytes as constant arrays and defines a function registering each of them with
# the framework's resource registry (framework/Resources.h) under HInstance. Run with -P, this
# same file is the generator the build calls; it needs nothing but CMake.
#
#   qv_embed_resources(<target> FUNCTION <name> FILES <file>... [NAMES <name>...] [TYPE <type>])
#
# FUNCTION  the `void()` function the generated source defines, e.g. qv::RegisterBundledLexers
#           (a qualified name puts it in that namespace). The code that uses the blobs declares
#           it and calls it once at start-up, e.g. from a unit's initialisation section. An
#           explicit call is used instead of a static initialiser because a static library's
#           object that nothing references is dropped by the linker, initialiser and all.
# FILES     the files to embed, relative to the current source directory or absolute.
# NAMES     one resource name per file. By default a file's name is its file name without the
#           last extension, upper-cased: "c++.lexer" gives "C++". Names and types are found
#           without case anyway; "#12" registers the id 12. A name or type may not contain
#           '"', '\', ';' or control characters.
# TYPE      the resource type, RT_RCDATA ("RCDATA") by default.
#
# Call it in the directory that defines <target>; the target must link `framework`. The
# source is regenerated when a file, the list or this script changes. Several calls for one
# target need different FUNCTIONs.

function(qv_embed_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "FUNCTION;TYPE" "FILES;NAMES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "qv_embed_resources: unexpected arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_FUNCTION MATCHES "^([A-Za-z_][A-Za-z0-9_]*::)*[A-Za-z_][A-Za-z0-9_]*$")
    message(FATAL_ERROR "qv_embed_resources: FUNCTION needs a C++ name, not '${arg_FUNCTION}'")
  endif()
  if(NOT arg_FILES)
    message(FATAL_ERROR "qv_embed_resources: no FILES for ${arg_FUNCTION}")
  endif()
  if(NOT DEFINED arg_TYPE)
    set(arg_TYPE RCDATA)
  endif()
  list(LENGTH arg_FILES count)
  if(arg_NAMES)
    list(LENGTH arg_NAMES nameCount)
    if(NOT nameCount EQUAL count)
      message(FATAL_ERROR "qv_embed_resources: ${count} FILES but ${nameCount} NAMES")
    endif()
  endif()

  # The manifest carries the list to the generator; it is rewritten only when it changes, so
  # an unchanged list does not regenerate anything.
  set(files "")
  set(names "")
  set(seen "")
  set(manifest "set(QV_EMBED_FUNCTION \"${arg_FUNCTION}\")\n")
  _qv_embed_check_name("${arg_TYPE}" TYPE)
  string(APPEND manifest "set(QV_EMBED_TYPE [==[${arg_TYPE}]==])\n")
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    list(GET arg_FILES ${i} file)
    get_filename_component(file "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(arg_NAMES)
      list(GET arg_NAMES ${i} name)
    else()
      get_filename_component(name "${file}" NAME_WLE)
      string(TOUPPER "${name}" name)
    endif()
    _qv_embed_check_name("${name}" NAME)
    string(TOUPPER "${name}" key)
    if(key IN_LIST seen)
      message(FATAL_ERROR "qv_embed_resources: two files named '${name}' in ${arg_FUNCTION}")
    endif()
    list(APPEND seen "${key}")
    list(APPEND files "${file}")
    string(APPEND manifest "list(APPEND QV_EMBED_FILES [==[${file}]==])\n"
                           "list(APPEND QV_EMBED_NAMES [==[${name}]==])\n")
  endforeach()

  string(REPLACE "::" "_" stem "${arg_FUNCTION}")
  set(manifestFile "${CMAKE_CURRENT_BINARY_DIR}/${target}_${stem}.resources.cmake")
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}_${stem}.cpp")
  set(old "")
  if(EXISTS "${manifestFile}")
    file(READ "${manifestFile}" old)
  endif()
  if(NOT old STREQUAL manifest)
    file(WRITE "${manifestFile}" "${manifest}")
  endif()

  set(script "${CMAKE_CURRENT_FUNCTION_LIST_FILE}")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DQV_EMBED_MANIFEST=${manifestFile}"
            "-DQV_EMBED_OUTPUT=${output}" -P "${script}"
    DEPENDS ${files} "${manifestFile}" "${script}"
    COMMENT "Embedding resources of ${arg_FUNCTION}"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
endfunction()

# Names and types go into C++ string literals and CMake lists unescaped.
function(_qv_embed_check_name value what)
  string(ASCII 1 first)
  string(ASCII 31 last)
  string(ASCII 127 del)
  if(value STREQUAL "" OR value MATCHES "[\"\\\\;${first}-${last}${del}]")
    message(FATAL_ERROR "qv_embed_resources: invalid ${what} '${value}'")
  endif()
endfunction()

# The generator: writes QV_EMBED_OUTPUT from the manifest QV_EMBED_MANIFEST.
function(_qv_embed_generate)
  include("${QV_EMBED_MANIFEST}")
  set(ns "")
  set(fn "${QV_EMBED_FUNCTION}")
  string(FIND "${fn}" "::" split REVERSE)
  if(split GREATER -1)
    string(SUBSTRING "${fn}" 0 ${split} ns)
    math(EXPR split "${split} + 2")
    string(SUBSTRING "${fn}" ${split} -1 fn)
  endif()

  # Sixteen bytes a line. CMake's expressions have no {n}, so the row pattern is spelled out.
  set(row "")
  foreach(i RANGE 1 16)
    string(APPEND row "0x..,")
  endforeach()

  set(arrays "")
  set(calls "")
  set(index 0)
  foreach(file name IN ZIP_LISTS QV_EMBED_FILES QV_EMBED_NAMES)
    file(READ "${file}" hex HEX)
    if(hex STREQUAL "")
      set(view "std::string_view()")  # C++ has no empty arrays
    else()
      string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
      string(REGEX REPLACE "(${row})" "\\1\n" bytes "${bytes}")
      string(STRIP "${bytes}" bytes)  # no blank line when the size is a multiple of 16
      string(APPEND arrays "// ${file}\nconstexpr unsigned char kResource${index}[] = {\n"
                           "${bytes}\n};\n\n")
      string(CONCAT view "std::string_view(reinterpret_cast<const char*>(kResource${index}), "
                         "sizeof(kResource${index}))")
    endif()
    string(APPEND calls "  qv::RegisterResource(qv::HInstance, \"${QV_EMBED_TYPE}\", "
                        "\"${name}\",\n                      ${view});\n")
    math(EXPR index "${index} + 1")
  endforeach()

  set(open "")
  set(close "")
  if(NOT ns STREQUAL "")
    set(open "namespace ${ns} {\n\n")
    set(close "\n}  // namespace ${ns}\n")
  endif()
  file(WRITE "${QV_EMBED_OUTPUT}"
       "// Generated by cmake/EmbedResources.cmake; do not edit.\n// ${QV_EMBED_MANIFEST}\n"
       "#include <string_view>\n\n#include \"framework/Resources.h\"\n\n"
       "namespace {\n\n${arrays}}  // namespace\n\n${open}"
       "void ${fn}();\n\nvoid ${fn}() {\n${calls}}\n${close}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  _qv_embed_generate()
endif()
