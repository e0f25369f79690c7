# Debian's clang 14 for WebAssembly (wasm32-wasi): libc++, compiler-rt and
# wasi-libc from the Debian packages libc++-14-dev-wasm32,
# libclang-rt-14-dev-wasm32 and wasi-libc, which live under /usr.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_SYSROOT /usr)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CORRELATOR_WASM ON)
