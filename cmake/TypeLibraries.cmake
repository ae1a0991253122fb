# The type libraries, defined before the modules: the capture filter calls the panel's
# interfaces and the panel calls the filter's, so neither folder can come first.
zelk_add_idl(zelk_zelkgrab_idl ${PROJECT_SOURCE_DIR}/config/zelkgrab.idl)
zelk_add_idl(zelk_zelkpanel_idl ${PROJECT_SOURCE_DIR}/panel/zelkpanel.idl)
