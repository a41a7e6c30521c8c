# The update history log.
target_sources(scup_local PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AUHistoryLog.cpp)
