# The update history dialog; it reads the history log.
target_sources(scup_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/HistoryDialog.cpp)
target_link_libraries(scup_ui PUBLIC scup_local comctl32)
