# Helpers for Windows modules: type libraries from IDL and COM server DLLs with a .def file.

find_program(ZELK_WIDL_PATH NAMES ${ZELK_WIDL} REQUIRED)
set(ZELK_WINE_IDL_INCLUDE /usr/include/wine/wine/windows)

# zelk_add_idl(<target> <file.idl>): makes <name>.h, <name>_i.c and <name>.tlb in the build
# tree, and an interface library <target> that puts them on the include path.
function(zelk_add_idl target idl)
  get_filename_component(name ${idl} NAME_WE)
  get_filename_component(idl_path ${idl} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/generated)
  set(pointer_size --win64)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(pointer_size --win32)
  endif()
  set(flags -I${ZELK_WINE_IDL_INCLUDE} -L${ZELK_WINE_TLB_DIR} ${pointer_size})
  add_custom_command(
    OUTPUT ${out}/${name}.h ${out}/${name}_i.c ${out}/${name}.tlb
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
    COMMAND ${ZELK_WIDL_PATH} ${flags} -h -o ${out}/${name}.h ${idl_path}
    COMMAND ${ZELK_WIDL_PATH} ${flags} -u -o ${out}/${name}_i.c ${idl_path}
    COMMAND ${ZELK_WIDL_PATH} ${flags} -t -o ${out}/${name}.tlb ${idl_path}
    DEPENDS ${idl_path}
    COMMENT "IDL ${name}"
    VERBATIM)
  add_custom_target(${target}_files DEPENDS ${out}/${name}.h ${out}/${name}_i.c ${out}/${name}.tlb)
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_files)
  target_include_directories(${target} INTERFACE ${out})
  set_property(TARGET ${target} PROPERTY ZELK_IDL_SOURCE ${out}/${name}_i.c)
  set_property(TARGET ${target} PROPERTY ZELK_TLB ${out}/${name}.tlb)
endfunction()

# zelk_link_idl(<target> <idl target>): compiles the interface identifiers into <target> and,
# for resources, lets windres find the type library.
function(zelk_link_idl target idl_target)
  get_property(ids TARGET ${idl_target} PROPERTY ZELK_IDL_SOURCE)
  get_property(tlb TARGET ${idl_target} PROPERTY ZELK_TLB)
  target_sources(${target} PRIVATE ${ids})
  target_link_libraries(${target} PRIVATE ${idl_target})
  get_target_property(sources ${target} SOURCES)
  foreach(source ${sources})
    if(source MATCHES "\\.rc$")
      set_property(SOURCE ${source} APPEND PROPERTY OBJECT_DEPENDS ${tlb})
    endif()
  endforeach()
endfunction()

# zelk_add_com_module(<target> SUFFIX <.ax|.dll> SOURCES ...): an in-process COM server DLL
# whose exports come from the .def file among its sources.
function(zelk_add_com_module target)
  cmake_parse_arguments(arg "" "SUFFIX" "SOURCES" ${ARGN})
  add_library(${target} SHARED ${arg_SOURCES})
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ${arg_SUFFIX})
  target_link_libraries(${target} PRIVATE zelk_dshow_module)
endfunction()
