# The libraries the core builds on beyond the standard library, in one
# place. Each comes from a Debian package that scripts/deps.sh installs.

# stb (libstb-dev): image decoding, resampling and PNG writing. Header-only
# here: src/image/stb.cpp compiles the parts we use, so the same sources
# build for Linux, the static Windows programs and WebAssembly.
find_path(TORVEL_STB_INCLUDE stb_image.h PATHS /usr/include/stb NO_CACHE
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
target_include_directories(torvel_core SYSTEM PRIVATE ${TORVEL_STB_INCLUDE})
# The resampler works in floating point: without contraction into fused
# multiply-adds (and without fast-math) it gives the same bits on x86-64
# Linux, Windows and WebAssembly.
if(NOT MSVC)
  set_source_files_properties(src/image/stb.cpp PROPERTIES
    COMPILE_OPTIONS "-ffp-contract=off")
endif()
# The fuzzers keep stb's own assertions, so that they show that no input
# trips them (the triangle filter would, on slight shrinks).
if(TORVEL_FUZZ)
  set_property(SOURCE src/image/stb.cpp APPEND PROPERTY COMPILE_OPTIONS -UNDEBUG)
endif()
# stb_image copies 0 bytes from a null buffer for an empty PNG data chunk,
# which is harmless but breaks the letter of memcpy's contract.
if(TORVEL_FUZZ OR CMAKE_CXX_FLAGS MATCHES "sanitize")
  set_property(SOURCE src/image/stb.cpp APPEND PROPERTY COMPILE_OPTIONS
    -fno-sanitize=nonnull-attribute)
endif()
