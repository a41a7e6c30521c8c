# Suite of the configuration file.
target_sources(scup_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/unit/ConfigXMLTest.cpp)
