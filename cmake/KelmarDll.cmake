# KELMAR.dll: exports by name and ordinal from the module definition, a
# version resource, and no C runtime: the DLL imports KERNEL32.dll only.
# 32-bit (cmake/mingw-i686.cmake) and 64-bit (cmake/mingw-x86_64.cmake)
# Windows; both are named KELMAR.dll, each in its own build tree.

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # __stdcall names carry their argument bytes; the module definition
  # exports them undecorated.
  set(KELMAR_DLL_ENTRY _DllEntryPoint@12)
  set(KELMAR_DLL_LINK_FLAGS -Wl,--kill-at)
  foreach(bytes 12 16 24)
    set(DECORATION_${bytes} "@${bytes}")
  endforeach()
else()
  # 64-bit Windows has one calling convention and no decoration.
  set(KELMAR_DLL_ENTRY DllEntryPoint)
  set(KELMAR_DLL_LINK_FLAGS -Wl,--high-entropy-va)
  foreach(bytes 12 16 24)
    set(DECORATION_${bytes} "")
  endforeach()
endif()

# g++ for Windows may spill vectors with aligned moves to stack slots it
# cannot align (64-bit Windows); the assembler turns every aligned vector
# move into an unaligned one, which costs nothing on processors with AVX.
target_compile_options(kelmar_objects PRIVATE -fstack-protector-strong
                       -Wa,-muse-unaligned-vector-move)

# kelmar_dll(TARGET DIRECTORY EXTRA_EXPORTS [SOURCES...]): KELMAR.dll in
# DIRECTORY from the library's objects and SOURCES, exporting the six
# entries and EXTRA_EXPORTS (module definition lines).
function(kelmar_dll target directory extra_exports)
  set(EXTRA_EXPORTS "${extra_exports}")
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  configure_file(${PROJECT_SOURCE_DIR}/src/exports/kelmar.def.in ${def} @ONLY)
  if(NOT TARGET ${target})
    add_library(${target} SHARED $<TARGET_OBJECTS:kelmar_objects>)
  endif()
  target_sources(${target} PRIVATE
    ${PROJECT_SOURCE_DIR}/src/exports/dll_runtime.cpp
    ${PROJECT_SOURCE_DIR}/src/exports/kelmar.rc
    ${def}
    ${ARGN})
  kelmar_library_flags(${target})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/include
                             ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${target} PRIVATE KELMAR_BUILDING_LIBRARY)
  target_compile_options(${target} PRIVATE -fstack-protector-strong
                         -Wa,-muse-unaligned-vector-move)
  # The linker's own import library names only the undecorated exports, which
  # no 32-bit host asks for: it is kept out of the way of the real ones
  # (kelmar_import_libraries).
  set_target_properties(${target} PROPERTIES OUTPUT_NAME KELMAR PREFIX "" SUFFIX ".dll"
                        RUNTIME_OUTPUT_DIRECTORY ${directory}
                        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/linker-import/${target})
  target_link_options(${target} PRIVATE
    -nostdlib
    -Wl,--entry,${KELMAR_DLL_ENTRY}
    ${KELMAR_DLL_LINK_FLAGS}
    -Wl,--dynamicbase
    -Wl,--nxcompat
    -Wl,--disable-runtime-pseudo-reloc
    -Wl,--no-insert-timestamp)
  target_link_libraries(${target} PRIVATE kernel32 gcc)
  # The runtime's own memset / memcpy must not be turned back into calls to
  # themselves.
  set_source_files_properties(${PROJECT_SOURCE_DIR}/src/exports/dll_runtime.cpp
    TARGET_DIRECTORY ${target}
    PROPERTIES COMPILE_OPTIONS "-fno-tree-loop-distribute-patterns;-fno-builtin")
endfunction()

kelmar_dll(kelmar ${CMAKE_BINARY_DIR} "")

# A test-only KELMAR.dll in tiers/: the same library with a seventh export,
# KelmarTestForcePath, that forces a code path, so each path can be run
# through the DLL, by the conformance tests and the DLL timing.  It is
# neither installed nor shipped.
function(kelmar_tiers_dll)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(force "    KelmarTestForcePath = KelmarTestForcePath@4 @7")
  else()
    set(force "    KelmarTestForcePath @7")
  endif()
  add_library(kelmar_tiers SHARED $<TARGET_OBJECTS:kelmar_objects>)
  kelmar_dll(kelmar_tiers ${CMAKE_BINARY_DIR}/tiers "${force}"
             ${PROJECT_SOURCE_DIR}/tests/win32/force_path.cpp)
endfunction()

# The import libraries hosts link against, beside the DLL: libKELMAR.dll.a
# for mingw-w64 (made by its dlltool) and KELMAR.lib for MSVC and lld-link
# (made by llvm-dlltool).  Both hold the names a host's compiler asks for
# (`_Kelmar@24` on 32-bit Windows) and import the DLL's undecorated ones.
find_program(KELMAR_DLLTOOL NAMES ${KELMAR_MINGW_PREFIX}-dlltool REQUIRED)
find_program(KELMAR_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15
             llvm-dlltool-14 REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(kelmar_llvm_machine i386)
else()
  set(kelmar_llvm_machine i386:x86-64)
endif()
set(kelmar_import_def ${CMAKE_BINARY_DIR}/KELMAR-import.def)
configure_file(${PROJECT_SOURCE_DIR}/src/exports/kelmar_import.def.in ${kelmar_import_def} @ONLY)
set(KELMAR_MINGW_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/libKELMAR.dll.a)
set(KELMAR_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/KELMAR.lib)
add_custom_command(OUTPUT ${KELMAR_MINGW_IMPORT_LIBRARY} ${KELMAR_MSVC_IMPORT_LIBRARY}
  COMMAND ${KELMAR_DLLTOOL} --kill-at --input-def ${kelmar_import_def}
          --dllname KELMAR.dll --output-lib ${KELMAR_MINGW_IMPORT_LIBRARY}
  COMMAND ${KELMAR_LLVM_DLLTOOL} -k -m ${kelmar_llvm_machine} -d ${kelmar_import_def}
          -l ${KELMAR_MSVC_IMPORT_LIBRARY}
  DEPENDS ${kelmar_import_def}
  COMMENT "Import libraries of KELMAR.dll")
add_custom_target(kelmar_import_libraries ALL
  DEPENDS ${KELMAR_MINGW_IMPORT_LIBRARY} ${KELMAR_MSVC_IMPORT_LIBRARY})
add_dependencies(kelmar kelmar_import_libraries)

# cmake --install: the DLL in bin/, the header in include/, the import
# libraries in lib/.
install(FILES $<TARGET_FILE:kelmar> DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kelmar.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${KELMAR_MINGW_IMPORT_LIBRARY} ${KELMAR_MSVC_IMPORT_LIBRARY}
        DESTINATION ${CMAKE_INSTALL_LIBDIR})
