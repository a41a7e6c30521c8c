# The history dialog over a real history file, driven through its window: one Wine session and
# display at a time.
add_executable(scup_history_dialog_tests ${CMAKE_CURRENT_LIST_DIR}/unit/HistoryDialogTest.cpp ${CMAKE_CURRENT_LIST_DIR}/unit/DialogDriver.cpp)
target_link_libraries(scup_history_dialog_tests PRIVATE scup_test_support comctl32)
add_dependencies(scup_history_dialog_tests ScUpRes)
scup_register_tests(scup_history_dialog_tests)
