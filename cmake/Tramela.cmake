# Shared build settings and helpers for the project's targets.

add_library(tramela_options INTERFACE)
target_compile_options(tramela_options INTERFACE -Wall -Wextra -Wpedantic)
# GCC 12 reports -Wrestrict falsely inside std::string at -O2.
target_compile_options(tramela_options INTERFACE $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
if(TRAMELA_WERROR)
  target_compile_options(tramela_options INTERFACE -Werror)
endif()
target_include_directories(tramela_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
if(WIN32)
  # Windows 7 is the oldest system the installer names and runs on.
  target_compile_definitions(tramela_options INTERFACE
    WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  target_link_options(tramela_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()
if(TRAMELA_SANITIZE)
  target_compile_options(tramela_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(tramela_options INTERFACE -fsanitize=address,undefined)
endif()

# tramela_add_test(NAME SOURCES a.cpp b.cpp LIBS lib...)
# One test executable per subsystem area; ctest runs the whole executable
# (under Wine in the Windows build), which keeps the number of Wine starts low.
function(tramela_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tramela_testsupport GTest::gtest_main tramela_options)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600
    ENVIRONMENT "TRAMELA_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
endfunction()
