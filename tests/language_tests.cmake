# Every language copy of the resource library against the English one, and every text of every
# dialog measured in its real window: one Wine session and display at a time.
add_executable(scup_language_tests ${CMAKE_CURRENT_LIST_DIR}/unit/LanguageCopiesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/TextFit.cpp ${CMAKE_CURRENT_LIST_DIR}/unit/DialogDriver.cpp)
target_link_libraries(scup_language_tests PRIVATE scup_test_support comctl32)
add_dependencies(scup_language_tests ScUpRes scup_partial_res)
scup_register_tests(scup_language_tests TIMEOUT 300)
