# Suite of the update list refinement: plain checks, no windows.
target_sources(scup_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/unit/RefinementTest.cpp)
