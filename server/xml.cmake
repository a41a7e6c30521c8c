# The XML document class over the MSXML DOM (COM). It sits in the common library because the
# local-state files (configuration, history) are documents of it as much as the server's answers.
target_sources(scup_common PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AUXMLParser.cpp)
target_link_libraries(scup_common PUBLIC ole32 oleaut32 uuid)
