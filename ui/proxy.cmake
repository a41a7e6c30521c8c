# The proxy settings and proxy credentials dialogs; the settings dialog reads and writes the
# configuration file.
target_sources(scup_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ProxySettingDlg.cpp ${CMAKE_CURRENT_LIST_DIR}/ProxyUserDlg.cpp)
target_link_libraries(scup_ui PUBLIC scup_local)
