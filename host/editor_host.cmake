# corvex-editor-host: the plug-in's editor in a window of its own, for trying
# it without a DAW and for the editor's tests under Xvfb. Linux (X11) only.
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  find_package(X11)
  find_package(PNG)
  if(X11_FOUND AND PNG_FOUND)
    # The editor's window, shared with corvex-live.
    add_library(corvex_editor_window STATIC ${CMAKE_CURRENT_LIST_DIR}/EditorWindow.cpp)
    target_include_directories(corvex_editor_window PUBLIC ${PROJECT_SOURCE_DIR} PRIVATE ${X11_INCLUDE_DIR})
    target_link_libraries(corvex_editor_window PUBLIC ${X11_LIBRARIES} PNG::PNG)
    add_executable(corvex-editor-host ${CMAKE_CURRENT_LIST_DIR}/EditorHost.cpp ${CMAKE_CURRENT_LIST_DIR}/HostPlatformPosix.cpp)
    target_include_directories(corvex-editor-host PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(corvex-editor-host PRIVATE corvex_editor_window corvex_loader)
    # Like corvex-render, it finds the plug-in at ../plugin/ relative to itself.
    set_target_properties(corvex-editor-host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/host)
    if(TARGET corvex_plugin)
      add_dependencies(corvex-editor-host corvex_plugin)
    endif()
  else()
    message(STATUS "corvex-editor-host: skipped (needs Xlib and libpng: libx11-dev, libpng-dev)")
  endif()
endif()
