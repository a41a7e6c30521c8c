# Suite of the XML document class.
target_sources(scup_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/unit/AUXMLParserTest.cpp)
