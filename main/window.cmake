# The window TFrmmain: the only part of unit main that uses Qt. Included from
# main/CMakeLists.txt when WITH_WINDOW is on.
add_library(frmmain STATIC
  ${CMAKE_CURRENT_LIST_DIR}/frmmain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frmmain.h
  ${CMAKE_CURRENT_LIST_DIR}/frmmain_ports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frmmain_ports.h
  ${CMAKE_CURRENT_LIST_DIR}/frmmain_socket_events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frmmain_socket_events.h
  ${CMAKE_CURRENT_LIST_DIR}/frmmain_dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frmmain_dialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/resources/frmmain.qrc
)
set_target_properties(frmmain PROPERTIES AUTOMOC ON AUTORCC ON)
target_include_directories(frmmain PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(frmmain PUBLIC core Qt6::Widgets)
