find_package(GTest REQUIRED)
include(GoogleTest)

# bqa_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One test executable: GoogleTest, Qt's test helpers, a main() that owns a
# QApplication, and the given libraries. Tests are discovered by ctest and
# run with widgets on the offscreen platform (no display needed).
function(bqa_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} bqa_testmain GTest::gtest GTest::gmock Qt6::Test Qt6::Widgets)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()
