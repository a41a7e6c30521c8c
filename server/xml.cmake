# The XML document class over the MSXML DOM (COM).
target_sources(scup_server PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AUXMLParser.cpp)
target_link_libraries(scup_server PUBLIC ole32 oleaut32 uuid)
