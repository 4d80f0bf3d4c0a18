# The fuzz targets' code (fuzz/targets), shared by the libFuzzer binaries of fuzz/ and by the
# regression replay of the normal test suite (tests/regressions), which needs no clang.

set(KAVOR_FUZZ_DIR "${CMAKE_CURRENT_LIST_DIR}")

# kavor_add_fuzz_target_library(<name>): a static library of every target.
function(kavor_add_fuzz_target_library NAME)
    add_library(${NAME} STATIC
        ${KAVOR_FUZZ_DIR}/targets/all_targets.cpp
        ${KAVOR_FUZZ_DIR}/targets/decoders.cpp
        ${KAVOR_FUZZ_DIR}/targets/engine_inputs.cpp
        ${KAVOR_FUZZ_DIR}/targets/http_response.cpp
        ${KAVOR_FUZZ_DIR}/targets/http_texts.cpp
        ${KAVOR_FUZZ_DIR}/targets/secure_transport.cpp
        ${KAVOR_FUZZ_DIR}/targets/unzip_archive.cpp)
    target_include_directories(${NAME}
        PUBLIC "${KAVOR_FUZZ_DIR}"
        # the scripted transport is private to the http library
        PRIVATE "${PROJECT_SOURCE_DIR}/src/http")
    target_link_libraries(${NAME}
        PUBLIC kavor_unzip_internal kavor_http kavor_engine kavor_platform
        PRIVATE kavor_options)
endfunction()
