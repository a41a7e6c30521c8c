# The request and answer documents of the three server exchanges.
target_sources(scup_server PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DocumentNodes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AUVersionRequestXML.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AUVersionResponseXML.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AUNoticeRequestXML.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AUNoticeResponseXML.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AUFileUpdateRequestXML.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AUFileUpdateResponseXML.cpp)
