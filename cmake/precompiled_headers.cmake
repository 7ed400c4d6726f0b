# Precompiled headers for the program's libraries and programs (GCC). The
# first build of a fresh clone (scripts/run.sh) spent most of its time
# reading the same standard and Qt headers again for each of some ninety
# small files. Two headers are compiled once each, in targets of their own,
# and reused: the standard library's most used headers, and those with the
# Qt Widgets headers that the window's face uses, for the targets on Qt. A
# file sees nothing it would not see by including the headers itself. Tests
# and benchmarks are left as they are.

set(PD_PCH_STANDARD
  <algorithm> <array> <atomic> <chrono> <cstdint> <cstdio> <cstdlib> <cstring> <functional>
  <map> <memory> <mutex> <optional> <string> <string_view> <thread> <utility> <vector>)
set(PD_PCH_QT
  <QApplication> <QEvent> <QLabel> <QMainWindow> <QMenu> <QMenuBar> <QMessageBox> <QPainter>
  <QPixmap> <QPlainTextEdit> <QPushButton> <QString> <QThread> <QTimer> <QWidget>)

# Holds one precompiled header for the targets that reuse it; links what they
# link, so that it is compiled with their options.
function(pd_pch_holder name headers)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// Holds the precompiled header that other targets reuse.\n")
  add_library(${name} OBJECT ${source})
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_precompile_headers(${name} PRIVATE ${headers})
endfunction()

# The static libraries and programs made in `folder` and the folders below it.
function(pd_collect_targets folder out)
  get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  set(found)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "EXECUTABLE")
      list(APPEND found ${target})
    endif()
  endforeach()
  foreach(sub ${subfolders})
    pd_collect_targets(${sub} more)
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Whether `target` is built on Qt Widgets, itself or through what it links.
function(pd_links_qt target out)
  set(${out} FALSE PARENT_SCOPE)
  set(seen)
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue item)
    if(item STREQUAL "Qt6::Widgets")
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
    if(NOT TARGET ${item} OR item IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${item})
    get_target_property(imported ${item} IMPORTED)
    if(imported)
      continue()
    endif()
    get_target_property(links ${item} LINK_LIBRARIES)
    if(links)
      list(APPEND queue ${links})
    endif()
  endwhile()
endfunction()

# pd_precompile_headers(<folder>...): gives every static library and program
# made in these source folders the precompiled header that fits it.
function(pd_precompile_headers)
  pd_pch_holder(pd_pch_standard "${PD_PCH_STANDARD}" Threads::Threads)
  if(TARGET Qt6::Widgets)
    pd_pch_holder(pd_pch_qt "${PD_PCH_STANDARD};${PD_PCH_QT}" Qt6::Widgets Threads::Threads)
  endif()
  foreach(folder ${ARGN})
    pd_collect_targets(${folder} targets)
    foreach(target ${targets})
      pd_links_qt(${target} qt)
      if(TARGET pd_pch_qt AND qt)
        target_precompile_headers(${target} REUSE_FROM pd_pch_qt)
      else()
        target_precompile_headers(${target} REUSE_FROM pd_pch_standard)
      endif()
      # GCC 12 forgets, for code inlined from a precompiled header, that it
      # came from a system header, and then takes std::string's own copies
      # for overflows (the same files are clean without the precompiled
      # header, -DPUMPDIAG_PCH=OFF, which keeps these checks).
      target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread)
    endforeach()
  endforeach()
endfunction()
