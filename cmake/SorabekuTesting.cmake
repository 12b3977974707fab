# sorabeku_add_tests(NAME LABEL SOURCES ... [LIBS ...] [TIMEOUT seconds] [SERIAL])
#
# The one way tests are registered: builds NAME from the given *_test.cpp
# files, links GoogleTest's main, and lets CTest discover every test case,
# labelled LABEL so that `ctest -L LABEL` picks one area. SERIAL tests run
# alone, not beside other tests (for tests whose processes race each other).
function(sorabeku_add_tests NAME)
  cmake_parse_arguments(T "SERIAL" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    message(FATAL_ERROR "sorabeku_add_tests(${NAME}): LABEL is required")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${NAME} ${T_SOURCES})
  target_link_libraries(${NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main
                        Threads::Threads)
  gtest_discover_tests(${NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT} RUN_SERIAL ${T_SERIAL})
endfunction()
