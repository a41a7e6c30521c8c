# The printer drivers of the family, their information libraries and the printer list.
target_sources(scup_local PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PrinterDriver.cpp ${CMAKE_CURRENT_LIST_DIR}/PrinterList.cpp)
target_link_libraries(scup_local PUBLIC winspool shell32 advapi32)
