# tq_add_test(NAME SOURCES a.cpp b.cpp LIBS tq::x tq::y)
# One GoogleTest executable per folder; every TEST becomes a CTest case.
include(GoogleTest)
function(tq_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TQ_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
