# Refining the server's offer into the update list, the queries that build the offer, the
# updater's version comparison and the printer of the first check.
target_sources(scup_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UpdateRefinement.cpp)
