# Class and property ids come from the data-model files alone: orx_datamodel_ids() generates, at
# build time, a header of constants from one such file, and sources use those constants.
#
#   orx_datamodel_ids(TARGET XML NAME)   ->  #include "orx/ids/NAME.h" in TARGET (and its users);
#                                            the target orx_ids_NAME makes it
#
# The header holds, in namespace orx::ids::NAME: kDataModel (the model's id) and, per class, a
# namespace of its name with kClass and one constant per own property, named as in the file.
# Run as a script (cmake -DXML=... -DOUT=... -DNAME=... -P DataModelIds.cmake) it writes one.

if(CMAKE_SCRIPT_MODE_FILE)
  file(READ ${XML} _text)
  # Comments may hold anything, markup included.
  string(REGEX REPLACE "<!--([^-]|-[^-])*-->" "" _text "${_text}")
  # Semicolons (of entities in defaults) would split CMake's lists; ids and names have none.
  string(REPLACE ";" "" _text "${_text}")
  string(REGEX MATCH "<dataModel[^>]* id=\"(0x[0-9a-fA-F]+)\"" _model "${_text}")
  if(NOT _model)
    message(FATAL_ERROR "${XML}: no <dataModel id=\"0x...\">")
  endif()
  set(_out "// Generated at build time from ${XML}; edit that file instead.\n")
  string(APPEND _out "#pragma once\n\n#include <cstdint>\n\nnamespace orx::ids::${NAME} {\n\n")
  string(APPEND _out "inline constexpr uint32_t kDataModel = ${CMAKE_MATCH_1};\n")
  # Every class and property element, in file order; a property belongs to the class before it.
  string(REGEX MATCHALL "<(class|property)[^>]*>" _elements "${_text}")
  set(_open FALSE)
  foreach(_e IN LISTS _elements)
    string(REGEX MATCH " id=\"(0x[0-9a-fA-F]+)\"" _ok "${_e}")
    set(_id ${CMAKE_MATCH_1})
    string(REGEX MATCH " name=\"([A-Za-z_][A-Za-z0-9_]*)\"" _ok2 "${_e}")
    set(_name ${CMAKE_MATCH_1})
    if(NOT _ok OR NOT _ok2)
      message(FATAL_ERROR "${XML}: an element without a hex id or a plain name: ${_e}")
    endif()
    if(_e MATCHES "^<class")
      if(_open)
        string(APPEND _out "}  // namespace ${_class}\n")
      endif()
      set(_class ${_name})
      set(_open TRUE)
      string(APPEND _out "\nnamespace ${_name} {\ninline constexpr uint32_t kClass = ${_id};\n")
      if(_e MATCHES "/>$")
        string(APPEND _out "}  // namespace ${_name}\n")
        set(_open FALSE)
      endif()
    else()
      if(NOT _open)
        message(FATAL_ERROR "${XML}: property ${_name} outside a class")
      endif()
      string(APPEND _out "inline constexpr uint32_t ${_name} = ${_id};\n")
    endif()
  endforeach()
  if(_open)
    string(APPEND _out "}  // namespace ${_class}\n")
  endif()
  string(APPEND _out "\n}  // namespace orx::ids::${NAME}\n")
  # Left untouched when nothing changed, so that nothing recompiles.
  file(CONFIGURE OUTPUT ${OUT} CONTENT "${_out}" @ONLY)
  return()
endif()

set(_orx_datamodel_ids_script ${CMAKE_CURRENT_LIST_FILE})

function(orx_datamodel_ids target xml name)
  set(_dir ${CMAKE_BINARY_DIR}/generated/ids)
  set(_header ${_dir}/orx/ids/${name}.h)
  add_custom_command(
    OUTPUT ${_header}
    COMMAND ${CMAKE_COMMAND} -DXML=${xml} -DOUT=${_header} -DNAME=${name}
            -P ${_orx_datamodel_ids_script}
    DEPENDS ${xml} ${_orx_datamodel_ids_script}
    COMMENT "Generating orx/ids/${name}.h from ${xml}"
    VERBATIM)
  # A target of its own, so that the fuzz build's copies of the sources can wait for it too.
  add_custom_target(orx_ids_${name} DEPENDS ${_header})
  add_dependencies(${target} orx_ids_${name})
  target_include_directories(${target} PUBLIC ${_dir})
endfunction()
