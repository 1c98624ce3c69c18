# wv_app_library(NAME DEPENDENCY): a library of the screen-free rules of one part of the
# application, made of the .cpp files of the calling folder. Files ending in _qt.cpp bind those
# rules to the interface: they make the library NAME_qt, built where the interface is. A file
# named main.cpp is a program's entry and belongs to no library.
function(wv_app_library name dependency)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(qt_srcs ${srcs})
  list(FILTER srcs EXCLUDE REGEX "(_qt\\.cpp|/main\\.cpp)$")
  list(FILTER qt_srcs INCLUDE REGEX "_qt\\.cpp$")
  if(NOT srcs)
    set(srcs ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${srcs})
  target_link_libraries(${name} PUBLIC ${dependency})
  if(qt_srcs AND TARGET wv_ui)
    set(CMAKE_AUTOMOC ON)
    add_library(${name}_qt STATIC ${qt_srcs})
    # The bindings of the folders built before are there to be used (a screen opens another's).
    get_property(earlier GLOBAL PROPERTY WV_QT_LIBRARIES)
    target_link_libraries(${name}_qt PUBLIC ${name} ${earlier} wv_ui)
    set_property(GLOBAL APPEND PROPERTY WV_QT_LIBRARIES ${name}_qt)
  endif()
endfunction()
