# Suite of the update history log.
target_sources(scup_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/unit/HistoryLogTest.cpp)
