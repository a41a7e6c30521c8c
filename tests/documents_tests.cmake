# Suite of the server's request and answer documents.
target_sources(scup_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/unit/ServerDocumentsTest.cpp)
