# Clip trimming runs the encoder adapter beside the program, which a whole-program test starting
# meanwhile would end as left over from an earlier run.
if(TARGET unit_clip_trimmer_test)
  add_dependencies(unit_clip_trimmer_test vortenc)
  set_tests_properties(unit_clip_trimmer_test PROPERTIES RESOURCE_LOCK desktop_encoder)
endif()
# The interaction launcher counts the machine's running interaction modules, which the
# whole-program interaction test starts.
if(TARGET unit_interaction_launcher_test)
  set_tests_properties(unit_interaction_launcher_test PROPERTIES RESOURCE_LOCK desktop_encoder)
endif()
# The interaction module's options are plain QtCore code of the tool itself; the test also runs
# the module with command lines it refuses.
if(TARGET unit_talvine_options_test)
  target_sources(unit_talvine_options_test PRIVATE ${CMAKE_SOURCE_DIR}/tools/talvine/module_options.cpp)
  target_include_directories(unit_talvine_options_test PRIVATE ${CMAKE_SOURCE_DIR}/tools/talvine)
  add_dependencies(unit_talvine_options_test talvine)
endif()
# The package test packs the installed program (CPack runs the build's install step).
if(TARGET unit_package_test)
  add_dependencies(unit_package_test vortane vortenc keyvane)
  # Not a core test: it packs the whole program (the sanitizer run leaves it out).
  set_tests_properties(unit_package_test PROPERTIES TIMEOUT 300 LABELS package)
endif()
# Unit tests that run ffmpeg with x264 take the machine's cores for seconds at a time: they wait
# for the whole-program tests, whose timing they would otherwise starve.
foreach(test unit_job_runner_test unit_recording_recovery_test unit_recording_library_test)
  if(TEST ${test})
    set_tests_properties(${test} PROPERTIES RESOURCE_LOCK desktop_encoder)
  endif()
endforeach()
