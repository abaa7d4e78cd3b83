# Shared compile settings and the helpers every subsystem folder uses.

set(SM_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wformat=2)

if(SM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# sm_library(<name> SOURCES ... DEPS ...): one static library per subsystem folder.
function(sm_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${SM_WARNINGS})
  target_compile_definitions(${name} PUBLIC QT_NO_KEYWORDS)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# sm_test(<name> LABEL <tier> SOURCES ... DEPS ...): one GoogleTest executable, registered with CTest
# under its tier label (unit, sim, widgets, x11, e2e).
function(sm_test name)
  cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;DEPS;ENV" ${ARGN})
  if(NOT SM_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${SM_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} sm_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT ${ARG_TIMEOUT}
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENV}")
endfunction()

# sm_bench(<name> SOURCES ... DEPS ...): one Google Benchmark executable, on the simulated desktop.
function(sm_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${SM_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} sm_test_support benchmark::benchmark)
endfunction()
