# The configuration file and the rule for data files that cannot be read.
target_sources(scup_local PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AUConfigXML.cpp ${CMAKE_CURRENT_LIST_DIR}/UnreadableFile.cpp)
