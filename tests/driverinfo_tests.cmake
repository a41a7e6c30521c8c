# Suite of the printer driver information on a simulated PC. It changes the prefix's spooler and
# driver registry, so it runs alone: the window and flow tests list the printers too.
add_executable(scup_driverinfo_tests unit/PrinterDriverTest.cpp unit/InfoLibraryTest.cpp unit/SimulatedPC.cpp)
target_link_libraries(scup_driverinfo_tests PRIVATE scup_test_support winspool shell32)
add_dependencies(scup_driverinfo_tests ScUpRes scup_infolib)
scup_register_tests(scup_driverinfo_tests)
