# The hot-key test holds keys from an X connection of its own and loads libkeyvane.so.
if(TARGET e2e_keyvane_test)
  target_link_libraries(e2e_keyvane_test PRIVATE X11::xcb)
  add_dependencies(e2e_keyvane_test keyvane)
endif()

# The whole-program tests run the built program with its encoder and keyboard library beside it.
foreach(test e2e_toolbar_recording_test e2e_toolbar_live_test e2e_toolbar_startup_test
    e2e_setup_first_run_test e2e_camera_program_test e2e_platform_login_test
    e2e_file_manager_test e2e_toolbar_survival_test e2e_installed_program_test
    e2e_wayland_desktop_test)
  if(TARGET ${test})
    add_dependencies(${test} vortane vortenc keyvane)
  endif()
endforeach()
# The interaction test opens the chat page in the interaction module, served by the platform.
if(TARGET e2e_interaction_launch_test)
  add_dependencies(e2e_interaction_launch_test vortane vortenc keyvane talvine platform-server)
endif()

# The sound-and-picture tests play beeps through the sound server and paint the root window.
pkg_check_modules(PULSE_SIMPLE REQUIRED IMPORTED_TARGET libpulse-simple)
foreach(test e2e_toolbar_recording_test e2e_toolbar_live_test e2e_wayland_desktop_test)
  if(TARGET ${test})
    target_link_libraries(${test} PRIVATE PkgConfig::PULSE_SIMPLE X11::X11)
  endif()
endforeach()
# The Wayland desktop's portal needs its shim on a machine without a GPU.
if(TARGET e2e_wayland_desktop_test AND TARGET portal_shm_shim)
  add_dependencies(e2e_wayland_desktop_test portal_shm_shim)
endif()
# The camera flow again on the Wayland desktop, where the toolbar and the camera window are
# Xwayland clients.
if(TARGET e2e_camera_program_test)
  add_test(NAME e2e_camera_program_wayland COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-desktop --wayland
    $<TARGET_FILE:e2e_camera_program_test>)
  set_tests_properties(e2e_camera_program_wayland PROPERTIES RESOURCE_LOCK desktop_encoder
    TIMEOUT 300 LABELS e2e SKIP_RETURN_CODE 77 ENVIRONMENT "${VORTANE_TEST_ENV}")
  if(TARGET portal_shm_shim)
    add_dependencies(e2e_camera_program_test portal_shm_shim)
  endif()
endif()
