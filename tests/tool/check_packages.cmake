# Makes the Debian packages of the build tree with cpack, checks their names,
# dependencies, contents and control files, has lintian check them, unpacks
# them into a scratch root and builds the README's host example against what
# they installed, through find_package and through pkg-config.  apt-get,
# where present, must be able to resolve their dependencies.  Arguments (-D):
# BUILD_DIR, WORK_DIR, CPACK, EXAMPLE, CONSUMER_DIR, C_COMPILER, PKG_CONFIG,
# LINTIAN, TOOLS (the programs kelmar-tools must hold, separated by commas),
# GSTREAMER (ON when the plugin is built: a fourth package,
# gstreamer1.0-kelmar).
file(REMOVE_RECURSE ${WORK_DIR})
string(REPLACE "," ";" TOOLS "${TOOLS}")
set(root ${WORK_DIR}/root)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_match text pattern what)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${what}: '${text}' does not match '${pattern}'")
  endif()
endfunction()

execute_process(COMMAND ${CPACK} -G DEB -B ${WORK_DIR}/debs WORKING_DIRECTORY ${BUILD_DIR}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}\n${err}")
endif()
file(GLOB debs ${WORK_DIR}/debs/*.deb)
list(LENGTH debs count)
set(expected_count 3)
if(GSTREAMER)
  set(expected_count 4)
endif()
if(NOT count EQUAL expected_count)
  message(FATAL_ERROR "cpack made ${count} packages, not ${expected_count}: ${debs}")
endif()

# Per package: its dependencies, the files it must hold (each a pattern
# for a line of `dpkg-deb -c`) and a pattern of files it must not hold.
set(runtime_depends "^libc6 ")
set(runtime_files "\\./usr/lib[^ ]*/libkelmar\\.so\\.3 -> "
                  "\\./usr/lib[^ ]*/libkelmar\\.so\\.3\\.[0-9.]+\n")
set(runtime_absent "kelmar\\.h|\\./[^ ]*libkelmar\\.so[ \n]|/bin/")
set(dev_depends "^libkelmar3 \\(= [0-9.]+-1\\)$")
set(dev_files "\\./usr/include/kelmar\\.h\n" "/cmake/kelmar/kelmarConfig\\.cmake\n"
              "/cmake/kelmar/kelmarTargets\\.cmake\n" "\\./usr/lib[^ ]*/libkelmar\\.so -> "
              "/pkgconfig/kelmar\\.pc\n")
set(dev_absent "\\./[^ ]*libkelmar\\.so\\.3|/bin/")
set(tools_depends "^libkelmar3 \\(= [0-9.]+-1\\), libc6 .*libpng16-16 .*libsdl2-2\\.0-0 ")
set(tools_files "")
foreach(tool IN LISTS TOOLS)
  list(APPEND tools_files "\\./usr/bin/${tool}\n")
endforeach()
set(tools_absent "libkelmar|kelmar\\.h")
set(gst_depends "^libkelmar3 \\(= [0-9.]+-1\\), .*libgstreamer1\\.0-0 ")
set(gst_files "\\./usr/lib/[a-z0-9_-]+/gstreamer-1\\.0/libgstkelmar\\.so\n")
set(gst_absent "libkelmar\\.so|kelmar\\.h|/bin/")
set(packages libkelmar3:runtime libkelmar-dev:dev kelmar-tools:tools)
if(GSTREAMER)
  list(APPEND packages gstreamer1.0-kelmar:gst)
endif()

foreach(package IN LISTS packages)
  string(REPLACE ":" ";" package ${package})
  list(GET package 0 name)
  list(GET package 1 kind)
  set(deb ${WORK_DIR}/debs/${name}_missing.deb)
  foreach(candidate IN LISTS debs)
    get_filename_component(file ${candidate} NAME)
    if(file MATCHES "^${name}_[0-9.]+-1_[a-z0-9]+\\.deb$")
      set(deb ${candidate})
    endif()
  endforeach()
  run(dpkg-deb -f ${deb} Package)
  string(STRIP "${last_output}" field)
  expect_match("${field}" "^${name}$" "Package of ${deb}")
  run(dpkg-deb -f ${deb} Depends)
  string(STRIP "${last_output}" field)
  expect_match("${field}" "${${kind}_depends}" "Depends of ${name}")
  run(dpkg-deb -c ${deb})
  set(listing "${last_output}")
  # Debian policy: every package has its copyright file and changelog.
  foreach(pattern IN LISTS ${kind}_files ITEMS "\\./usr/share/doc/${name}/copyright\n"
                  "\\./usr/share/doc/${name}/changelog\\.Debian\\.gz\n")
    expect_match("${listing}" "${pattern}" "files of ${name}")
  endforeach()
  # No maintainer scripts: the library's package refreshes the linker cache
  # through dpkg's ldconfig trigger, and a package with a postrm would stay
  # in the `rc` state after `apt-get remove`.
  run(dpkg-deb -I ${deb})
  if(last_output MATCHES " (preinst|postinst|prerm|postrm) ")
    message(FATAL_ERROR "${name} has a maintainer script, ${CMAKE_MATCH_1}:\n${last_output}")
  endif()
  if(kind STREQUAL "runtime")
    run(dpkg-deb -I ${deb} triggers)
    expect_match("${last_output}" "^activate-noawait ldconfig\n$" "triggers of ${name}")
  endif()
  if(listing MATCHES "${${kind}_absent}")
    message(FATAL_ERROR "${name} holds files of another package: ${CMAKE_MATCH_0}\n${listing}")
  endif()
  run(dpkg-deb -x ${deb} ${root})
endforeach()

# lintian: no errors (its warnings, such as the missing manual pages, are
# allowed).
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian not found: scripts/install-deps.sh installs it")
endif()
run(${LINTIAN} --allow-root --fail-on error ${debs})

# apt-get must find every dependency among the packages and the system's.
find_program(APT_GET apt-get)
if(APT_GET)
  run(${APT_GET} install --simulate -q ${debs})
  expect_match("${last_output}" "Inst libkelmar3 .*Inst (kelmar-tools|libkelmar-dev) .*Inst "
               "apt-get's plan")
endif()

# The host example against the unpacked files.
set(expected_output "bottom right pixel: red 255, green 251, blue 255\n")
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${root}/usr -DHOST_EXAMPLE=${EXAMPLE} -DCMAKE_C_COMPILER=${C_COMPILER})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/host_example)
if(NOT last_output STREQUAL expected_output)
  message(FATAL_ERROR "the find_package build printed '${last_output}'")
endif()

file(GLOB_RECURSE pc_file ${root}/*/kelmar.pc)
file(READ ${pc_file} pc)
expect_match("${pc}" "^prefix=/usr\n" "the packaged kelmar.pc")
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${root})
run(${PKG_CONFIG} --cflags --libs kelmar)
string(STRIP "${last_output}" flags)
expect_match("${flags}" "^-I${root}/usr/include -L${root}/usr/lib[^ ]* -lkelmar$"
             "pkg-config kelmar")
string(REGEX REPLACE "^.* -L([^ ]+) .*$" "\\1" libdir "${flags}")
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${C_COMPILER} ${EXAMPLE} ${flags} -o ${WORK_DIR}/pkg-config-example)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run(${WORK_DIR}/pkg-config-example)
if(NOT last_output STREQUAL expected_output)
  message(FATAL_ERROR "the pkg-config build printed '${last_output}'")
endif()

# The tools find the packaged library beside them, without a search path.
unset(ENV{LD_LIBRARY_PATH})
foreach(tool IN LISTS TOOLS)
  run(${root}/usr/bin/${tool} --help)
endforeach()

# gst-inspect-1.0 describes the packaged element, found in GStreamer's
# plugin folder of the unpacked files.
if(GSTREAMER)
  file(GLOB plugin_dir ${root}/usr/lib/*/gstreamer-1.0)
  file(GLOB_RECURSE runtime_library ${root}/usr/libkelmar.so.3)
  get_filename_component(runtime_dir "${runtime_library}" DIRECTORY)
  set(ENV{GST_PLUGIN_PATH} ${plugin_dir})
  set(ENV{GST_PLUGIN_SYSTEM_PATH} ${plugin_dir})
  set(ENV{GST_REGISTRY} ${WORK_DIR}/registry.bin)
  set(ENV{LD_LIBRARY_PATH} ${runtime_dir})
  run(gst-inspect-1.0 kelmarconvert)
  foreach(pattern "Kelmar colour converter" "brightness" "n-threads" "RGB8P")
    expect_match("${last_output}" "${pattern}" "gst-inspect-1.0 kelmarconvert")
  endforeach()
endif()
