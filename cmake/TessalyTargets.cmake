# Shared compile settings and the helpers every folder uses to declare its target.
# Sources are globbed per folder, so adding a file to a library needs no CMake edit.

add_library(tessaly_options INTERFACE)
target_compile_options(tessaly_options INTERFACE -Wall -Wextra -Wpedantic)
if(TESSALY_WERROR)
  target_compile_options(tessaly_options INTERFACE -Werror)
endif()

if(TESSALY_SANITIZE STREQUAL "asan")
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(TESSALY_SANITIZE STREQUAL "tsan")
  set(_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT TESSALY_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TESSALY_SANITIZE must be empty, asan or tsan")
endif()
if(_san)
  target_compile_options(tessaly_options INTERFACE ${_san})
  target_link_options(tessaly_options INTERFACE ${_san})
endif()

# Coverage instrumentation for the libFuzzer targets in fuzz/ (a clang build dir of its own).
option(TESSALY_FUZZ "Instrument for libFuzzer and build the targets in fuzz/ (clang only)" OFF)
if(TESSALY_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TESSALY_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  target_compile_options(tessaly_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# tessaly_library(<target> [DEPS <targets>...])
# A static library of every .cpp in the calling folder; headers are included as
# "kel_util/Foo.h", "kel_sip/syntax/Bar.h" from the source root.
function(tessaly_library target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(_sources)
    add_library(${target} STATIC ${_sources})
    target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${target} PUBLIC tessaly_options ${ARG_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${target} INTERFACE tessaly_options ${ARG_DEPS})
  endif()
endfunction()

# tessaly_test(<library target> [DEPS <targets>...] [LABELS <labels>...])
# One GoogleTest binary test_<target> of every .cpp in the calling folder; its cases
# are registered as "<target>.<Suite>.<Case>" so `ctest -R '^<target>\.'` runs them.
function(tessaly_test target)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT _sources)
    return()
  endif()
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  add_executable(test_${target} ${_sources})
  target_link_libraries(test_${target} PRIVATE ${target} ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(test_${target} PRIVATE
    TESSALY_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    TESSALY_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(test_${target}
    TEST_PREFIX "${target}."
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 120)
endfunction()
