# SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Fails when a file of the core library includes a widget header or a header of the UI library. The
# core links PrintSupport, which brings Widgets along, so the linker would not notice.
#   cmake -DCORE_SOURCES_FILE=... -DUI_SOURCES_FILE=... -DWIDGETS_INCLUDE_DIR=... -DSOURCE_ROOT=... -P CoreIncludeCheck.cmake
# The two lists hold one absolute path per line.
cmake_minimum_required(VERSION 3.25)

foreach(variable CORE_SOURCES_FILE UI_SOURCES_FILE WIDGETS_INCLUDE_DIR SOURCE_ROOT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "CoreIncludeCheck: ${variable} is not set")
    endif()
endforeach()

file(STRINGS "${CORE_SOURCES_FILE}" core_sources)
file(STRINGS "${UI_SOURCES_FILE}" ui_sources)
file(GLOB widget_headers RELATIVE "${WIDGETS_INCLUDE_DIR}" "${WIDGETS_INCLUDE_DIR}/*")
list(LENGTH widget_headers widget_header_count)
if(widget_header_count LESS 50)
    message(FATAL_ERROR "CoreIncludeCheck: no widget headers found in ${WIDGETS_INCLUDE_DIR}")
endif()
# The print and page dialogs live in PrintSupport but are widgets too.
list(APPEND widget_headers QAbstractPrintDialog QPageSetupDialog QPrintDialog QPrintPreviewDialog QPrintPreviewWidget
    qabstractprintdialog.h qpagesetupdialog.h qprintdialog.h qprintpreviewdialog.h qprintpreviewwidget.h)

set(violations "")
foreach(source IN LISTS core_sources)
    file(STRINGS "${source}" include_lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS include_lines)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" included "${line}")
        get_filename_component(included_name "${included}" NAME)
        set(bad FALSE)
        if(included MATCHES "^QtWidgets(/|$)" OR included MATCHES "^QtPrintSupport/(QAbstractPrintDialog|QPageSetupDialog|QPrintDialog|QPrintPreview)")
            set(bad TRUE)
        elseif(NOT included MATCHES "/" OR included MATCHES "^Qt[A-Za-z]+/")
            if(included_name IN_LIST widget_headers)
                set(bad TRUE)
            endif()
        elseif("${SOURCE_ROOT}/${included}" IN_LIST ui_sources)
            set(bad TRUE)
        endif()
        if(bad)
            file(RELATIVE_PATH shown "${SOURCE_ROOT}" "${source}")
            list(APPEND violations "${shown} includes ${included}")
        endif()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " listed)
    message(FATAL_ERROR "Core files must not include widget or UI headers:\n  ${listed}")
endif()
list(LENGTH core_sources checked)
message(STATUS "CoreIncludeCheck: ${checked} core files include no widget or UI header")
