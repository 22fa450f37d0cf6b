# Precompiled headers: most of a source's compile time here is spent reading the same standard and Qt
# headers again. The libraries without Qt get the standard headers only, since Qt's keywords
# (`slots`, `emit`) are ordinary names there.
# Optimised builds do without: through a precompiled header, the standard library's false alarms at
# high optimisation (array bounds in std::string) are reported as if they were ours.
if(CMAKE_BUILD_TYPE MATCHES "Rel")
    set(_pch_default OFF)
else()
    set(_pch_default ON)
endif()
option(WAVESMITH_PCH "Precompile the headers that most sources include" ${_pch_default})

set(WAVESMITH_PCH_STD <algorithm> <cstdint> <cstdio> <cstring> <functional> <memory> <optional> <string>
                      <string_view> <unordered_map> <vector>)
set(WAVESMITH_PCH_WIDGETS ${WAVESMITH_PCH_STD} <QAction> <QApplication> <QCheckBox> <QDialog> <QFile> <QKeyEvent>
                          <QLabel> <QMenu> <QMouseEvent> <QPainter> <QProgressBar> <QPushButton> <QString> <QTimer>
                          <QWidget>)

# A source built with options of its own (another optimisation level, no sanitizer) cannot use the
# target's precompiled header, which the compiler would reject with a warning: it reads its headers.
function(wavesmith_precompile target)
    if(NOT WAVESMITH_PCH)
        return()
    endif()
    target_precompile_headers(${target} PRIVATE ${ARGN})
    get_target_property(_sources ${target} SOURCES)
    foreach(_source ${_sources})
        get_source_file_property(_options ${_source} DIRECTORY ${CMAKE_SOURCE_DIR} COMPILE_OPTIONS)
        if(_options)
            set_source_files_properties(${_source} DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
        endif()
    endforeach()
endfunction()

# Targets that share another's precompiled header, built with the same options.
function(wavesmith_precompile_like target donor)
    if(WAVESMITH_PCH)
        target_precompile_headers(${target} REUSE_FROM ${donor})
    endif()
endfunction()
