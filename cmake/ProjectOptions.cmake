# Options every target of ours links: strict warnings, errors on request, and, on request, the
# sanitizers. Third-party code (Qt's moc output aside, which compiles clean) never sees these flags.

add_library(kavor_options INTERFACE)
target_compile_features(kavor_options INTERFACE cxx_std_20)
target_compile_options(kavor_options INTERFACE -Wall -Wextra -Wpedantic)
# On in the test script, CI and the presets, where every warning is ours to fix; off by default so
# that a packager's build with a newer compiler is not stopped by a warning it brings.
if(KAVOR_WERROR)
    target_compile_options(kavor_options INTERFACE -Werror)
endif()
# GCC 12 at -O3 reports std::string concatenation as an overlapping memcpy (GCC bug 105329);
# the warning is a false positive there and would fail every Release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(kavor_options INTERFACE -Wno-restrict)
endif()

if(KAVOR_SANITIZE)
    target_compile_options(kavor_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(kavor_options INTERFACE -fsanitize=address,undefined)
endif()

# kavor_add_library(NAME <target> SOURCES ... [PUBLIC_DEPS ...] [PRIVATE_DEPS ...])
# A subsystem library: public headers in include/<module>/, everything else private.
function(kavor_add_library)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
    add_library(${ARG_NAME} STATIC ${ARG_SOURCES})
    target_include_directories(${ARG_NAME} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/include")
    target_link_libraries(${ARG_NAME} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE kavor_options ${ARG_PRIVATE_DEPS})
endfunction()
