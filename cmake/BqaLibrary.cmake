# bqa_library(<name> [CORE_ONLY] SOURCES <files...> PUBLIC <targets...> PRIVATE <targets...>)
# One library target from an explicit source list. Without a .cpp source it is
# a header-only INTERFACE target that passes PUBLIC on to its users.
#
# CORE_ONLY marks a library that may use Qt Core and nothing above it: every
# source is compiled with cmake/CoreOnly.h forced in, which poisons the export
# macros of Qt Gui and Qt Widgets, so including any of their headers, directly
# or through another header, fails the compile.
function(bqa_library name)
  cmake_parse_arguments(L "CORE_ONLY" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  set(cpps ${L_SOURCES})
  list(FILTER cpps INCLUDE REGEX "\\.cpp$")
  if(cpps)
    add_library(${name} STATIC ${L_SOURCES})
    target_link_libraries(${name} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
    if(L_CORE_ONLY)
      bqa_core_only(${name})
    endif()
  else()
    add_library(${name} INTERFACE ${L_SOURCES})
    target_link_libraries(${name} INTERFACE ${L_PUBLIC})
  endif()
endfunction()

# Forces cmake/CoreOnly.h into every source of <target> (see above).
function(bqa_core_only target)
  target_compile_options(${target} PRIVATE -include ${PROJECT_SOURCE_DIR}/cmake/CoreOnly.h)
endfunction()
