# The hot-key test holds keys from an X connection of its own and loads libkeyvane.so.
if(TARGET e2e_keyvane_test)
  target_link_libraries(e2e_keyvane_test PRIVATE X11::xcb)
  add_dependencies(e2e_keyvane_test keyvane)
endif()
