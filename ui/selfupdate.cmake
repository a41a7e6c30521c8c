# The self-upgrade confirmation dialog.
target_sources(scup_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SelfUpdateDialog.cpp)
