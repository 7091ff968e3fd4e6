# Compiler settings shared by every target of the project.
add_library(orx_options INTERFACE)
target_compile_options(orx_options INTERFACE -Wall -Wextra -Werror)

if(ORX_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(-fsanitize=address,undefined)
endif()

# orx_add_gtest(NAME LABEL SOURCES ... [LIBS ...] [ENV VAR=VALUE]): one GoogleTest program
# registered with ctest under the label.
function(orx_add_gtest name label)
  cmake_parse_arguments(ARG "" "ENV" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orx_options GTest::gtest GTest::gtest_main GTest::gmock ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ARG_ENV)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${label} ENVIRONMENT "${ARG_ENV}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${label})
  endif()
endfunction()
