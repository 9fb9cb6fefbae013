# Windows targets, cross-compiled with mingw-w64 (posix threads) and run under Wine in the tests.
enable_language(RC)
# Every program lands in one folder, ZORVEX_WIN32_OUT (build/win32/ by default).
set(ZORVEX_WIN32_OUT "${CMAKE_SOURCE_DIR}/build/win32" CACHE PATH "Folder of the Windows programs")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${ZORVEX_WIN32_OUT})
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
# No DLLs besides the system's.
add_link_options(-static -static-libgcc -static-libstdc++)

file(GLOB ZORVEX_WIN32_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp
  ${CMAKE_SOURCE_DIR}/ui/widgets/win32/*.cpp)
add_library(zorvex_win32 STATIC ${ZORVEX_WIN32_SOURCES})
target_link_libraries(zorvex_win32 PUBLIC zorvex_core user32 gdi32 advapi32 shell32 winmm comctl32 comdlg32 version)
# The core declares a few platform primitives (files) that zorvex_win32 defines.
target_link_libraries(zorvex_core INTERFACE zorvex_win32)

# GoogleTest for Windows, compiled from the sources Debian ships.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Helper programs the Wine tests start in other processes.
file(GLOB ZORVEX_HELPERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/helpers/*.cpp)
foreach(src ${ZORVEX_HELPERS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE zorvex_win32)
endforeach()

file(GLOB ZORVEX_WIN32_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
if(ZORVEX_WIN32_TESTS)
  add_executable(zorvex_win32_tests ${ZORVEX_WIN32_TESTS})
  target_link_libraries(zorvex_win32_tests PRIVATE zorvex_win32 zorvex_fakes gtest gtest_main)
endif()

file(GLOB ZORVEX_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
if(ZORVEX_E2E_TESTS)
  add_executable(zorvex_e2e_tests ${ZORVEX_E2E_TESTS})
  target_link_libraries(zorvex_e2e_tests PRIVATE zorvex_win32 gtest gtest_main)
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/ui/Zorvex.cpp)
  file(GLOB ZORVEX_UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/*.cpp)
  add_executable(zorvex WIN32 ${ZORVEX_UI_SOURCES} ${CMAKE_SOURCE_DIR}/resources/zorvex.rc)
  target_link_libraries(zorvex PRIVATE zorvex_win32)
endif()
