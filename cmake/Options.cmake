# Compiler settings shared by every target of the project.
add_library(orx_options INTERFACE)
target_compile_options(orx_options INTERFACE -Wall -Wextra $<$<BOOL:${ORX_WERROR}>:-Werror>)

if(ORX_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(-fsanitize=address,undefined)
endif()
if(ORX_TSAN)
  if(ORX_SANITIZE)
    message(FATAL_ERROR "ORX_TSAN and ORX_SANITIZE cannot be combined")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# orx_tests_of(LABEL TARGET...): the programs behind a label's tests, built together by the
# target tests_LABEL (`make tsan` builds only the labels it runs).
function(orx_tests_of label)
  if(NOT TARGET tests_${label})
    add_custom_target(tests_${label})
  endif()
  add_dependencies(tests_${label} ${ARGN})
endfunction()

# orx_add_gtest(NAME LABEL SOURCES ... [LIBS ...] [ENV VAR=VALUE]): one GoogleTest program
# registered with ctest under the label.
function(orx_add_gtest name label)
  cmake_parse_arguments(ARG "" "ENV" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  orx_tests_of(${label} ${name})
  target_link_libraries(${name} PRIVATE orx_options GTest::gtest GTest::gtest_main GTest::gmock ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ARG_ENV)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${label} ENVIRONMENT "${ARG_ENV}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${label})
  endif()
endfunction()
