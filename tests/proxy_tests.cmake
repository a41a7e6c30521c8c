# The proxy dialogs, driven through their real windows: one Wine session and display at a time.
add_executable(scup_proxy_tests ${CMAKE_CURRENT_SOURCE_DIR}/unit/ProxyDialogTest.cpp ${CMAKE_CURRENT_SOURCE_DIR}/unit/DialogDriver.cpp)
target_link_libraries(scup_proxy_tests PRIVATE scup_test_support)
add_dependencies(scup_proxy_tests ScUpRes)
scup_register_tests(scup_proxy_tests)

# Shows one dialog with sample values, for the screenshots of dialogs that the program opens
# only deep inside its flow.
add_executable(show_dialog ${CMAKE_CURRENT_SOURCE_DIR}/helpers/show_dialog.cpp
  ${CMAKE_SOURCE_DIR}/app/ScUpdater.rc)
target_link_libraries(show_dialog PRIVATE scup_ui)
# The program's resources carry its version: this build's.
target_include_directories(show_dialog PRIVATE ${CMAKE_BINARY_DIR}/app/version)
target_link_options(show_dialog PRIVATE -municode)
add_dependencies(show_dialog ScUpRes)
