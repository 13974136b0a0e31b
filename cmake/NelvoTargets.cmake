# Helpers every target of ours goes through: warnings as errors on our own code, and the
# version record that GetFileVersion reads back from any binary the build makes.

set(NELVO_VERSION_STAMP_SOURCE ${CMAKE_CURRENT_LIST_DIR}/../src/platform/VersionStamp.cpp)

function(nelvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

function(nelvo_stamp target)
  target_sources(${target} PRIVATE ${NELVO_VERSION_STAMP_SOURCE})
  set_source_files_properties(${NELVO_VERSION_STAMP_SOURCE} TARGET_DIRECTORY ${target}
    PROPERTIES COMPILE_DEFINITIONS "NELVO_FILE_VERSION=\"${PROJECT_VERSION}\"")
endfunction()

# A program of ours (host, tools, test runners, benchmarks): warnings + version stamp.
function(nelvo_executable target)
  add_executable(${target} ${ARGN})
  nelvo_warnings(${target})
  nelvo_stamp(${target})
endfunction()

# A shared library of ours (plugins, test plugins): warnings + version stamp.
function(nelvo_shared_library target)
  add_library(${target} SHARED ${ARGN})
  nelvo_warnings(${target})
  nelvo_stamp(${target})
endfunction()

# One GoogleTest runner per test folder, registered test by test with CTest.
function(nelvo_test target)
  nelvo_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE nelvo_core nelvo_test_support GTest::gtest GTest::gtest_main
                                          GTest::gmock)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${target}."
                       PROPERTIES ENVIRONMENT "NELVO_TEST_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# A libFuzzer harness; its seed corpus lives in fuzz/corpus/<name>/ when there is one.
function(nelvo_fuzzer target)
  nelvo_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE nelvo_core)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY NELVO_FUZZERS ${target})
endfunction()
