target_sources(scup_local PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/AUCrypt.cpp)
target_link_libraries(scup_local PUBLIC advapi32 crypt32)
