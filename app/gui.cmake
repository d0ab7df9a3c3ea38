# The Qt 6 Widgets window (included from app/CMakeLists.txt when
# TQ_BUILD_GUI is ON).
#   tq::window          the main window and its parts, runs handed in
#   TransQuadrixGestaro the program: the window wired to the export and import
find_package(Qt6 6.2 REQUIRED COMPONENTS Widgets Test)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)

add_library(tq_window STATIC
  command_line.cpp
  result_code_file.cpp
  message_box.cpp
  gradient_panel.cpp
  button_pictures.cpp
  help_system.cpp
  host_window.cpp
  main_form.cpp
  main_form.h
)
add_library(tq::window ALIAS tq_window)
set_target_properties(tq_window PROPERTIES AUTOMOC ON)
target_include_directories(tq_window PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tq_window
  PUBLIC Qt6::Widgets tq::app_core
  PRIVATE PkgConfig::XCB)

add_executable(TransQuadrixGestaro main.cpp)
target_link_libraries(TransQuadrixGestaro PRIVATE tq::window tq::export tq::import)

# QtTest executables run on the offscreen platform; label "gui".
function(tq_add_qt_test name)
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE tq::window tq::export tq::import Qt6::Test)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS gui TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

tq_add_qt_test(command_line_test tests/command_line_test.cpp)
tq_add_qt_test(layout_test tests/layout_test.cpp)
tq_add_qt_test(host_mode_test tests/host_mode_test.cpp)
tq_add_qt_test(dialogs_test tests/dialogs_test.cpp)

# The end-to-end host-mode run under Xvfb, with a Tk window as the host.
add_executable(tq_grab_window tests/grab_window.cpp)
target_link_libraries(tq_grab_window PRIVATE Qt6::Gui)
add_test(NAME host_mode_e2e
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/host_mode_e2e.sh
          $<TARGET_FILE:TransQuadrixGestaro> $<TARGET_FILE:tq_grab_window>
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/data)
set_tests_properties(host_mode_e2e PROPERTIES LABELS gui TIMEOUT 240)
