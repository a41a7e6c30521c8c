# Suite of the printer driver information on a simulated PC. It changes the prefix's spooler and
# driver registry, so it runs alone: the window and flow tests list the printers too.
add_executable(scup_driverinfo_tests unit/PrinterDriverTest.cpp unit/InfoLibraryTest.cpp unit/SimulatedPC.cpp)
target_link_libraries(scup_driverinfo_tests PRIVATE scup_test_support winspool shell32)
add_dependencies(scup_driverinfo_tests ScUpRes scup_infolib)
gtest_discover_tests(scup_driverinfo_tests
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES TIMEOUT 120 RESOURCE_LOCK wine_session)
