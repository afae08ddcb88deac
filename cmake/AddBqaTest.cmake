find_package(GTest REQUIRED)
include(GoogleTest)

# bqa_add_test(<name> [CORE] SOURCES <files...> LIBS <targets...>)
# One test executable of GoogleTest cases, discovered by ctest. By default its
# main() owns a QApplication and widgets run on the offscreen platform (no
# display needed). CORE tests of the Qt Core-only libraries get a main() with a
# QCoreApplication and are Core-only themselves.
function(bqa_add_test name)
  cmake_parse_arguments(T "CORE" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_CORE)
    target_link_libraries(${name} PRIVATE ${T_LIBS} bqa_testmain_core GTest::gtest GTest::gmock)
    bqa_core_only(${name})
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} bqa_testmain GTest::gtest GTest::gmock Qt6::Test Qt6::Widgets)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()
