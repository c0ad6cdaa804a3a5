# KELMAR.dll: exports by name and ordinal from the module definition, a
# version resource, and no C runtime: the DLL imports KERNEL32.dll only.
target_sources(kelmar PRIVATE
  src/exports/dll_runtime.cpp
  src/exports/kelmar.def
  src/exports/kelmar.rc)
kelmar_library_flags(kelmar)
target_include_directories(kelmar PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_compile_definitions(kelmar PRIVATE KELMAR_BUILDING_LIBRARY)
# The runtime's own memset / memcpy must not be turned back into calls to
# themselves.
set_source_files_properties(src/exports/dll_runtime.cpp PROPERTIES
  COMPILE_OPTIONS "-fno-tree-loop-distribute-patterns;-fno-builtin")
target_compile_options(kelmar_objects PRIVATE -fstack-protector-strong)
target_compile_options(kelmar PRIVATE -fstack-protector-strong)

set_target_properties(kelmar PROPERTIES OUTPUT_NAME KELMAR PREFIX "" SUFFIX ".dll"
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_options(kelmar PRIVATE
  -nostdlib
  -Wl,--entry,_DllEntryPoint@12
  -Wl,--kill-at
  -Wl,--dynamicbase
  -Wl,--nxcompat
  -Wl,--disable-runtime-pseudo-reloc
  -Wl,--no-insert-timestamp)
target_link_libraries(kelmar PRIVATE kernel32 gcc)
