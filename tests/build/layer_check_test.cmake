# The layer check refuses an include of a folder above the file's own layer and lets the others pass. Each case
# is a one-file tree written below WORK_DIR and checked on its own.
#
#   cmake -DCHECKER=<check_layers.cmake> -DWORK_DIR=<empty folder> -P layer_check_test.cmake
cmake_minimum_required(VERSION 3.25)

set(failures)
set(case_number 0)

# expected: refused or allowed; file: path in the tree; line: the include line it holds.
function(check_case expected file line)
  math(EXPR number "${case_number} + 1")
  set(case_number ${number} PARENT_SCOPE)
  set(tree "${WORK_DIR}/case${number}")
  file(REMOVE_RECURSE "${tree}")
  file(WRITE "${tree}/${file}" "// A unit.\n${line}\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${tree} -P "${CHECKER}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(expected STREQUAL "refused")
    if(result EQUAL 0 OR NOT output MATCHES "${file} includes")
      list(APPEND failures "${file} with '${line}' was not refused:\n${output}")
    endif()
  elseif(NOT result EQUAL 0)
    list(APPEND failures "${file} with '${line}' was refused:\n${output}")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

check_case(refused platform/reads_engine.cpp [[#include "engine/helpers.h"]])
check_case(refused platform/reads_app.h [[#include <app/ini_file.h>]])
check_case(refused platform/reads_updates.cpp [[  #  include "updates/feed.h"]])
check_case(refused engine/reads_app.cpp [[#include "app/main_window/main_window.h"]])
check_case(refused engine/zip/reads_app_relative.cpp [[#include "../../app/ini_file.h"]])
check_case(refused engine/net/reads_updates.cpp [[#include "updates/feed.h"]])
check_case(refused updates/reads_app.cpp [[#include "app/app_settings.h"]])
check_case(refused tests/platform/reads_engine_test.cpp [[#include "engine/thread.h"]])
check_case(refused widgets/reads_app.cpp [[#include "app/main_window/main_window.h"]])
check_case(refused widgets/reads_updates.h [[#include "updates/update_feed.h"]])
check_case(refused engine/reads_widgets.cpp [[#include "widgets/dialogs.h"]])
check_case(refused tests/widgets/reads_app_test.cpp [[#include "app/app_settings.h"]])
check_case(allowed updates/reads_widgets.cpp [[#include "widgets/dialogs.h"]])
check_case(allowed widgets/reads_engine.cpp [[#include "engine/thread.h"]])
check_case(allowed engine/reads_platform.cpp [[#include "platform/clock.h"]])
check_case(allowed engine/net/reads_engine.cpp [[#include "engine/zip/zip_codes.h"]])
check_case(allowed app/reads_updates.cpp [[#include "updates/feed.h"]])
check_case(allowed platform/mentions_engine.cpp [[// #include "engine/helpers.h" would not build]])
check_case(allowed tests/engine/reads_support_test.cpp [[#include "tests/support/queue_dispatcher.h"]])

if(failures)
  list(JOIN failures "\n" report)
  message(FATAL_ERROR "${report}")
endif()
message(STATUS "${case_number} cases checked")
