# GoogleTest for the native tools: the installed package when there is one, else Debian's sources.
# Included by every tool folder that has tests; the first one that builds the sources makes their
# targets known to the others.
if(NOT TARGET GTest::gtest_main)
  find_package(GTest QUIET)
endif()
if(NOT TARGET GTest::gtest_main)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
include(GoogleTest)
