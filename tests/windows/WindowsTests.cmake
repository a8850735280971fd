# The tests of the Windows build, cross-built and run under wine
# (scripts/build-windows --test). Included by tests/CMakeLists.txt when WIN32.

# GoogleTest built for the target from Debian's sources (libgtest-dev has
# only the Linux libraries).
set(NOCTURO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${NOCTURO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# Support files that stand on Linux itself: a second user account, the
# session bus, the X server and its clients, and the screen saver fake that
# lives on the bus.
set(_posix_only_support OrdinaryUser.cpp PrivateBus.cpp PrivateXServer.cpp X11TestClient.cpp FakeScreenSaver.cpp)
file(GLOB NOCTURO_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
foreach(f ${_posix_only_support})
  list(REMOVE_ITEM NOCTURO_TEST_SUPPORT ${CMAKE_CURRENT_SOURCE_DIR}/support/${f})
endforeach()
add_library(nocturo_test_support STATIC ${NOCTURO_TEST_SUPPORT})
target_link_libraries(nocturo_test_support PUBLIC nocturo_platform_sim nocturo_platform_common nocturo_core
                      GTest::gtest GTest::gmock)
target_include_directories(nocturo_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

# Test files left out of the Windows build, and why:
set(_posix_only_tests
  # the real file system through the posix backend: read-only modes, sockets
  # and symbolic links made with Linux calls
  cleaner/CleanNowRealTreeTest.cpp
)
# tests/platform: the backend-neutral part (the settings file format, JSON,
# wildcards, the simulated services); the rest tests the posix backend, and
# SimClockTest, SimDialogsTest and SimJournalTest set their variables with
# setenv.
set(_portable_platform_tests
  ControlJsonTest.cpp JsonTest.cpp RegStoreLimitsTest.cpp RegStoreRegeditTest.cpp RegStoreTest.cpp WildcardTest.cpp
  SimEventLoopTest.cpp SimFileSystemTest.cpp
  SimProcessesTest.cpp SimSessionPowerTest.cpp SimSystemInfoTest.cpp SimTrayTest.cpp)

# Single tests Windows or wine cannot run as they are written, with why:
# symbolic links (none under wine; on Windows only for administrators), and
# a death test whose child, re-run from the start on Windows, gets a
# temporary folder of its own.
set(NOCTURO_WINDOWS_SKIPPED_TESTS
  SimFileSystem.DeletingWhatCouldNotBeDeletedFailsAsTheRealCallWould
  CFindFile.SymbolicLinksAreNeverWalkedIntoButMatchingLinksAreReportedThemselves
  CFindFile.ASubfolderReplacedByALinkDuringTheWalkIsNotEntered
  CFindFile.LinksAreNotEnteredWithZeroLengthFilesEither
  SimSessionPowerDeathTest.DefaultSessionEndEndsTheProcessAfterTheLineIsWritten)
list(JOIN NOCTURO_WINDOWS_SKIPPED_TESTS ":" _skipped)

function(nocturo_windows_test name)
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE nocturo_test_support GTest::gtest_main)
  nocturo_warnings(${name})
  target_compile_options(${name} PRIVATE -Wno-maybe-uninitialized)
  target_compile_definitions(${name} PRIVATE NOCTURO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                             NOCTURO_BUILD_DIR="${CMAKE_BINARY_DIR}")
  # The test list is read when ctest runs, under wine, not at build time.
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60
                       DISCOVERY_MODE PRE_TEST TEST_FILTER "-${_skipped}")
endfunction()

foreach(dir base app schedule cleaner timevoice shell cipher)
  file(GLOB_RECURSE _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  foreach(f ${_posix_only_tests})
    list(REMOVE_ITEM _tests ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  if(_tests)
    nocturo_windows_test(test_${dir} ${_tests})
  endif()
endforeach()

# The action's life from the command line on (shell/ActionLifecycleTest)
# goes through the programs' support library.
target_link_libraries(test_shell PRIVATE nocturo_programs)

# The finder's walks on real trees run on the Win32 file system.
target_link_libraries(test_cleaner PRIVATE nocturo_platform_win32)
# So do the install layout's trees and its write probe.
target_link_libraries(test_base PRIVATE nocturo_platform_win32)

set(_platform_tests)
foreach(f ${_portable_platform_tests})
  list(APPEND _platform_tests ${CMAKE_CURRENT_SOURCE_DIR}/platform/${f})
endforeach()
nocturo_windows_test(test_platform ${_platform_tests})

# The win32 backend against the real system calls (wine's under wine).
file(GLOB _win32_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/*Test.cpp)
nocturo_windows_test(test_win32 ${_win32_tests})
target_link_libraries(test_win32 PRIVATE nocturo_platform_win32 ws2_32)  # ws2_32: the HTTP tests' loopback server
# The program the process tests start, beside them.
add_executable(win32_test_child win32/child/ProcessChild.cpp)
set_target_properties(win32_test_child PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_compile_definitions(win32_test_child PRIVATE UNICODE _UNICODE)
target_link_libraries(win32_test_child PRIVATE shell32)
add_dependencies(test_win32 win32_test_child)

# Windows need a desktop: under wine that is an X display. The window test
# skips itself without one, so it runs once more on a virtual display, where
# a skip counts as a failure. It gets a wine desktop of its own: the default
# one, once started by a test without a display, stays without one while the
# wine server runs.
find_program(NOCTURO_XVFB_RUN xvfb-run)
if(NOCTURO_XVFB_RUN AND CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME win32.windows_on_a_virtual_display
           COMMAND ${NOCTURO_XVFB_RUN} -a -s "-screen 0 800x600x24"
                   ${CMAKE_CROSSCOMPILING_EMULATOR} explorer /desktop=NocturoTest,800x600 $<TARGET_FILE:test_win32>
                   --gtest_filter=Win32Processes.WindowsAreFoundByTheirExactTitleAndShownOrHidden)
  set_tests_properties(win32.windows_on_a_virtual_display PROPERTIES
                       PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test"
                       FAIL_REGULAR_EXPRESSION "SKIPPED|FAILED"
                       RESOURCE_LOCK xvfb_run
                       TIMEOUT 60)
endif()

# The native windows (tests/win32/ui): one test program. Under plain wine
# (no display) its tests skip themselves; then it runs whole on a virtual
# display with a wine desktop of its own, where a skip counts as a failure.
file(GLOB _win32_ui_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/ui/*Test.cpp)
if(_win32_ui_tests AND TARGET nocturo_ui_win32)
  nocturo_windows_test(test_win32_ui ${_win32_ui_tests})
  target_link_libraries(test_win32_ui PRIVATE nocturo_ui_win32)
  if(NOCTURO_XVFB_RUN AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME win32.ui_on_a_virtual_display
             COMMAND ${NOCTURO_XVFB_RUN} -a -s "-screen 0 1280x1024x24 -dpi 96"
                     ${CMAKE_CROSSCOMPILING_EMULATOR} explorer /desktop=NocturoUi,1280x1024 $<TARGET_FILE:test_win32_ui>)
    set_tests_properties(win32.ui_on_a_virtual_display PROPERTIES
                         PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ test"
                         FAIL_REGULAR_EXPRESSION "SKIPPED|FAILED"
                         RESOURCE_LOCK xvfb_run
                         # Every window in every state, twice (96 and 144 dpi), and the
                         # boxes' time-outs: about two minutes on a busy 2-core machine.
                         TIMEOUT 300)
  endif()
endif()

# The journeys (tests/win32/journeys): the native program started in-process
# on the simulated machine and used only through its windows. Like the
# window tests they skip themselves under plain wine and run whole on a
# virtual display with a wine desktop (and notification area) of their own.
file(GLOB _win32_journeys CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/journeys/*.cpp)
if(_win32_journeys AND TARGET nocturo_ui_win32)
  nocturo_windows_test(test_win32_journeys ${_win32_journeys})
  target_link_libraries(test_win32_journeys PRIVATE nocturo_ui_win32 nocturo_platform_sim_host)
  if(NOCTURO_XVFB_RUN AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME win32.journeys_on_a_virtual_display
             COMMAND ${NOCTURO_XVFB_RUN} -a -s "-screen 0 1024x768x24 -dpi 96"
                     ${CMAKE_CROSSCOMPILING_EMULATOR} explorer /desktop=NocturoJourneys,1024x768
                     $<TARGET_FILE:test_win32_journeys>)
    set_tests_properties(win32.journeys_on_a_virtual_display PROPERTIES
                         PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ test"
                         FAIL_REGULAR_EXPRESSION "SKIPPED|FAILED"
                         RESOURCE_LOCK xvfb_run
                         TIMEOUT 120)
  endif()
endif()

# The programs themselves under wine (tests/windows/programs-under-wine.sh):
# what nocturoctl stores, the headless program on the simulated machine, the
# single copy, the screen saver's wait. They share the prefix's registry and
# the program's single-instance lock, so they take turns.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  foreach(case ctl-encrypt3-0 ctl-encrypt3-1 ctl-encrypt3-2 ctl-settings-in-the-registry headless-reboot service-reboot
               second-copy lockpcscr-ends-on-a-line lockpcscr-screen-saver-arguments
               lockpcscr-installed-as-the-screen-saver)
    add_test(NAME win32.programs.${case}
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/programs-under-wine.sh ${case}
                     ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE_DIR:nocturo>)
    set_tests_properties(win32.programs.${case} PROPERTIES
                         PASS_REGULAR_EXPRESSION "ok: "
                         FAIL_REGULAR_EXPRESSION "FAIL: "
                         RESOURCE_LOCK nocturo_wine_programs
                         TIMEOUT 60)
  endforeach()
  # The service's plan on Windows: the service manager's calls and the Run
  # key, nothing changed.
  add_test(NAME win32.programs.ctl-service-plan
           COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:nocturoctl> service install --dry-run)
  set_tests_properties(win32.programs.ctl-service-plan PROPERTIES
                       PASS_REGULAR_EXPRESSION "call CreateServiceW\\(\"TestService\", \"Test Service\", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, \"[^\n]*\\\\bin\\\\nocturo\\.exe\" --service\\)[^\n]*\nremove HKEY_LOCAL_MACHINE[^\n]*\\\\Run\\\\Nocturo"
                       TIMEOUT 60)
endif()
