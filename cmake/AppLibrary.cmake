# wv_app_library(NAME DEPENDENCY): a library of the screen-free rules of one part of the
# application, made of the .cpp files of the calling folder; files ending in _qt.cpp bind those
# rules to the interface and are built with it.
function(wv_app_library name dependency)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "_qt\\.cpp$")
  if(NOT srcs)
    set(srcs ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${srcs})
  target_link_libraries(${name} PUBLIC ${dependency})
endfunction()
