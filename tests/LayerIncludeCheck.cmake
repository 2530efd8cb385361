# SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Fails when a file of a product folder includes a header of a layer above its own, or beside it.
#   cmake -DSOURCE_ROOT=... -P LayerIncludeCheck.cmake
# Ranks: base 1 < message 2 < store 3 = android 3 < ops 4 < ui 5 < the programs app/ and cli/ 6.
# Of two folders of one rank only android may include store (the device link writes stores). The
# line protocol (android/protocol/) is a library of its own under the phone simulator: it includes
# base/ and itself only. No product file includes tools/, tests/, bench/ or fuzz/.
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED SOURCE_ROOT)
    message(FATAL_ERROR "LayerIncludeCheck: SOURCE_ROOT is not set")
endif()

set(rank_base 1)
set(rank_message 2)
set(rank_store 3)
set(rank_android 3)
set(rank_ops 4)
set(rank_ui 5)
set(rank_app 6)
set(rank_cli 6)
set(product_folders base message store android ops ui app cli)

set(violations "")
set(checked 0)
foreach(folder IN LISTS product_folders)
    file(GLOB_RECURSE sources RELATIVE "${SOURCE_ROOT}" "${SOURCE_ROOT}/${folder}/*.h" "${SOURCE_ROOT}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        math(EXPR checked "${checked} + 1")
        file(STRINGS "${SOURCE_ROOT}/${source}" include_lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+/")
        foreach(line IN LISTS include_lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" included "${line}")
            string(REGEX REPLACE "/.*$" "" included_folder "${included}")
            set(bad FALSE)
            if(source MATCHES "^android/protocol/")
                if(NOT included MATCHES "^(base|android/protocol)/")
                    set(bad TRUE)
                endif()
            elseif(NOT included_folder IN_LIST product_folders)
                set(bad TRUE)
            elseif(NOT included_folder STREQUAL folder)
                if(rank_${included_folder} GREATER rank_${folder})
                    set(bad TRUE)
                elseif(rank_${included_folder} EQUAL rank_${folder}
                       AND NOT (folder STREQUAL "android" AND included_folder STREQUAL "store"))
                    set(bad TRUE)
                endif()
            endif()
            if(bad)
                list(APPEND violations "${source} includes ${included}")
            endif()
        endforeach()
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "LayerIncludeCheck: no product file found under ${SOURCE_ROOT}")
endif()
if(violations)
    list(JOIN violations "\n  " listed)
    message(FATAL_ERROR "Includes that run up or beside a layer:\n  ${listed}")
endif()
message(STATUS "LayerIncludeCheck: none of ${checked} product files includes a layer above its own")
