# The file manager's layout is checked on a full-HD screen (the offscreen platform's own screen
# is 800 × 800, on which the window shrinks to fit).
if(TEST widgets_media_file_dlg_test)
  # Its cuts run the encoder adapter beside the program, which a whole-program test starting
  # meanwhile would end as left over from an earlier run.
  add_dependencies(widgets_media_file_dlg_test vortenc)
  set_tests_properties(widgets_media_file_dlg_test PROPERTIES RESOURCE_LOCK desktop_encoder)
  set_property(TEST widgets_media_file_dlg_test APPEND PROPERTY ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_SOURCE_DIR}/widgets/desktop_screen.json")
endif()
# The toolbar's file-manager commands make their sample lessons with ffmpeg and x264.
if(TEST widgets_toolbar_commands_test)
  set_tests_properties(widgets_toolbar_commands_test PROPERTIES RESOURCE_LOCK desktop_encoder)
endif()
