# Suite of the local installation data on a simulated PC (spooler, driver and application keys).
add_executable(scup_localdata_tests unit/LocalDataTest.cpp unit/SimulatedPC.cpp)
target_link_libraries(scup_localdata_tests PRIVATE scup_test_support winspool shell32)
add_dependencies(scup_localdata_tests ScUpRes scup_infolib scup_appres)
scup_register_tests(scup_localdata_tests)
