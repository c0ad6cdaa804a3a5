# Compiler and linker settings shared by the library, the tools and the tests.
include(GNUInstallDirs)

set(KELMAR_WARNINGS -Wall -Wextra -Werror)

function(kelmar_warnings target)
  target_compile_options(${target} PRIVATE ${KELMAR_WARNINGS})
endfunction()

# KELMAR_SANITIZE: ON for AddressSanitizer and UndefinedBehaviorSanitizer,
# "thread" for ThreadSanitizer.
if(KELMAR_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(KELMAR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The library: no exceptions or RTTI, nothing visible but the exports.
# -Wundef: a feature macro used without src/common/features.h is an error,
# not a path silently compiled out.
function(kelmar_library_flags target)
  kelmar_warnings(${target})
  target_compile_options(${target} PRIVATE -Wundef -fno-exceptions -fno-rtti
                         -fvisibility=hidden -fvisibility-inlines-hidden)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  if(NOT WIN32)
    target_compile_options(${target} PRIVATE -fstack-protector-strong)
    if(NOT KELMAR_SANITIZE)
      # Fortification needs the optimiser.
      target_compile_definitions(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    endif()
  endif()
endfunction()

function(kelmar_shared_library_flags target)
  target_link_options(${target} PRIVATE -Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)
  # Sanitizer runtimes are linked into executables only, so a sanitized
  # shared library has undefined references by design.
  if(NOT KELMAR_SANITIZE)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
