# The HTTP connection over WinHTTP; it asks for proxy credentials with the credentials dialog.
target_sources(scup_server PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AUHttpConnection.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/CallWorker.cpp)
target_link_libraries(scup_server PUBLIC scup_ui winhttp crypt32)
