# Until scripts/with-desktop exists, the e2e tests run on a plain Xvfb of the same size instead.
if(NOT EXISTS ${CMAKE_SOURCE_DIR}/scripts/with-desktop)
  foreach(source ${sources})
    get_filename_component(stem ${source} NAME_WE)
    set(name e2e_${stem})
    set_tests_properties(${name} PROPERTIES DISABLED TRUE)
    add_test(NAME ${name}_xvfb
      COMMAND xvfb-run -a -s "-screen 0 1920x1080x24" $<TARGET_FILE:${name}>)
    set_tests_properties(${name}_xvfb PROPERTIES RESOURCE_LOCK desktop_encoder TIMEOUT 300
      LABELS e2e ENVIRONMENT "${VORTANE_TEST_ENV}")
  endforeach()
endif()
