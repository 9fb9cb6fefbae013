# Windows targets, cross-compiled with mingw-w64 (posix threads) and run under Wine in the tests.
enable_language(RC)
# Every program lands in one folder, ZORVEX_WIN32_OUT (build/win32/ by default).
set(ZORVEX_WIN32_OUT "${CMAKE_SOURCE_DIR}/build/win32" CACHE PATH "Folder of the Windows programs")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${ZORVEX_WIN32_OUT})
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
# zorvex_unicode_entry(TARGET): the program starts at wWinMain (or wmain), so its command line
# arrives whole.
function(zorvex_unicode_entry target)
  target_compile_options(${target} PRIVATE -municode)
  target_link_options(${target} PRIVATE -municode)
endfunction()
# No DLLs besides the system's.
add_link_options(-static -static-libgcc -static-libstdc++)
# No build time in the PE header: one commit gives the same program bytes in every build.
add_link_options(-Wl,--no-insert-timestamp)
# Sections on page bounds in the file: the loader can then map the code from the file, shared with
# the file cache. Packed at the default 512 bytes, Wine copies every page of the image into the
# process's private memory (about 2 MiB of zorvex.exe).
add_link_options(-Wl,--file-alignment,4096)

# GoogleTest for Windows, compiled from the sources Debian ships.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Without those sources (a build on Windows itself) only the program is built.
set(ZORVEX_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources for the Windows tests")
set(ZORVEX_WIN32_WITH_TESTS OFF)
if(EXISTS ${ZORVEX_GTEST_SOURCE}/CMakeLists.txt)
  add_subdirectory(${ZORVEX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(ZORVEX_WIN32_WITH_TESTS ON)
endif()

# Helper programs the Wine tests start in other processes.
file(GLOB ZORVEX_HELPERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/helpers/*.cpp)
foreach(src ${ZORVEX_HELPERS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE zorvex_engine)
endforeach()
# Window titles and typed rules reach these helpers whole through their UTF-16 command lines.
zorvex_unicode_entry(popup_windows)
zorvex_unicode_entry(tray_poke)
zorvex_unicode_entry(nag_windows)

file(GLOB ZORVEX_WIN32_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
if(ZORVEX_WIN32_TESTS AND ZORVEX_WIN32_WITH_TESTS)
  add_executable(zorvex_win32_tests ${ZORVEX_WIN32_TESTS})
  target_link_libraries(zorvex_win32_tests PRIVATE zorvex_ui zorvex_fakes gtest gtest_main)
endif()

file(GLOB ZORVEX_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
if(ZORVEX_E2E_TESTS AND ZORVEX_WIN32_WITH_TESTS)
  add_executable(zorvex_e2e_tests ${ZORVEX_E2E_TESTS} ${CMAKE_SOURCE_DIR}/tests/win32/Win32TestSupport.cpp)
  target_link_libraries(zorvex_e2e_tests PRIVATE zorvex_platform gtest gtest_main)
endif()

# Measuring programs run under Wine by the scripts in bench/.
file(GLOB ZORVEX_WIN32_BENCHES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/win32/*.cpp)
foreach(src ${ZORVEX_WIN32_BENCHES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${CMAKE_SOURCE_DIR}/tests/e2e/E2eSupport.cpp
                 ${CMAKE_SOURCE_DIR}/tests/win32/Win32TestSupport.cpp)
  target_link_libraries(${name} PRIVATE zorvex_popups)
endforeach()

# The release packages, tried under Wine by tests/package/run after scripts/package.
file(GLOB ZORVEX_PACKAGE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/package/*.cpp)
if(ZORVEX_PACKAGE_TESTS AND ZORVEX_WIN32_WITH_TESTS)
  add_executable(zorvex_package_tests ${ZORVEX_PACKAGE_TESTS} ${CMAKE_SOURCE_DIR}/tests/e2e/E2eSupport.cpp
    ${CMAKE_SOURCE_DIR}/tests/win32/Win32TestSupport.cpp)
  target_link_libraries(zorvex_package_tests PRIVATE zorvex_platform gtest gtest_main ole32 uuid)
endif()

# The program body's layer: forms, tray and the Win32 controls, in a library of its own so that the
# Wine tests drive the same forms as the program.
zorvex_layer(zorvex_ui FOLDERS ui ui/widgets/win32
             USES zorvex_base zorvex_platform zorvex_components zorvex_i18n zorvex_popups zorvex_engine
             EXCLUDE ui/Zorvex.cpp)
# The about page shows the project version through a header the build writes (ui/Version.h).
configure_file(${CMAKE_SOURCE_DIR}/ui/Version.h.in ${CMAKE_BINARY_DIR}/generated/ui/Version.h @ONLY)
target_include_directories(zorvex_ui PUBLIC ${CMAKE_BINARY_DIR}/generated)

add_executable(zorvex WIN32 ${CMAKE_SOURCE_DIR}/ui/Zorvex.cpp ${CMAKE_SOURCE_DIR}/resources/zorvex.rc)
target_link_libraries(zorvex PRIVATE zorvex_ui)
zorvex_unicode_entry(zorvex)

# ---- resources: icons, alarm wave, version, manifest (drawn at build time) -------------------
# ZORVEX_RESOURCE_RC is the .rc that a program adds to its sources; its pictures and wave are
# made by resources/make_resources.py into ZORVEX_RESOURCE_DIR.
set(ZORVEX_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
set(ZORVEX_RESOURCE_RC ${CMAKE_SOURCE_DIR}/resources/zorvex.rc)
set(ZORVEX_RESOURCE_FILES zorvex.ico tray_on.ico tray_off.ico tray_kill.ico menu_exit.ico
  menu_options.ico menu_add_rule.ico menu_active.ico menu_close_menu.ico menu_language.ico alarm.wav)
list(TRANSFORM ZORVEX_RESOURCE_FILES PREPEND ${ZORVEX_RESOURCE_DIR}/ OUTPUT_VARIABLE ZORVEX_RESOURCE_OUTPUTS)
add_custom_command(OUTPUT ${ZORVEX_RESOURCE_OUTPUTS}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/make_resources.py ${ZORVEX_RESOURCE_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_resources.py
  COMMENT "Drawing the icons and the alarm sound" VERBATIM)
add_custom_target(zorvex_resources DEPENDS ${ZORVEX_RESOURCE_OUTPUTS})
# windres sees include directories and definitions of the source file on every CMake version.
set_source_files_properties(${ZORVEX_RESOURCE_RC} PROPERTIES
  OBJECT_DEPENDS "${ZORVEX_RESOURCE_OUTPUTS};${CMAKE_SOURCE_DIR}/resources/resource.h;${CMAKE_SOURCE_DIR}/resources/zorvex.manifest"
  INCLUDE_DIRECTORIES "${ZORVEX_RESOURCE_DIR};${CMAKE_SOURCE_DIR}/resources"
  COMPILE_DEFINITIONS "ZORVEX_VERSION_MAJOR=${PROJECT_VERSION_MAJOR};ZORVEX_VERSION_MINOR=${PROJECT_VERSION_MINOR};ZORVEX_VERSION_PATCH=${PROJECT_VERSION_PATCH}")
# The Wine tests carry the same resources, to prove they load before zorvex.exe exists.
if(TARGET zorvex_win32_tests)
  target_sources(zorvex_win32_tests PRIVATE ${ZORVEX_RESOURCE_RC})
  target_compile_definitions(zorvex_win32_tests PRIVATE
    ZORVEX_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} ZORVEX_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    ZORVEX_VERSION_PATCH=${PROJECT_VERSION_PATCH})
endif()
foreach(target zorvex_win32_tests zorvex)
  if(TARGET ${target})
    add_dependencies(${target} zorvex_resources)
  endif()
endforeach()
# ---- end of resources ----------------------------------------------------------------------------

# The language files go beside the programs, where the Language menu and the Wine tests find them.
file(GLOB ZORVEX_LANGUAGE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/Languages/*.xml)
add_custom_target(zorvex_languages
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZORVEX_WIN32_OUT}/Languages
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ZORVEX_LANGUAGE_FILES} ${ZORVEX_WIN32_OUT}/Languages/
  DEPENDS ${ZORVEX_LANGUAGE_FILES}
  COMMENT "Copying the language files" VERBATIM)
foreach(target zorvex zorvex_win32_tests)
  if(TARGET ${target})
    add_dependencies(${target} zorvex_languages)
  endif()
endforeach()
