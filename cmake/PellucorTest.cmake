# pellucor_add_test(<name> SOURCES <files...> LIBS <targets...> [QT] [TIMEOUT <s>])
# One test binary, registered with CTest as one test. QT tests run on the offscreen platform and get a
# main() that creates the QApplication.
function(pellucor_add_test name)
  cmake_parse_arguments(T "QT" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_QT)
    target_link_libraries(${name} PRIVATE ${T_LIBS} pellucor_qt_test_main GTest::gtest Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PELLUCOR_TEST_ARTIFACTS=${PROJECT_BINARY_DIR}/artifacts;XDG_DATA_HOME=${PROJECT_BINARY_DIR}/test-data")
endfunction()
