# Qt's headers are most of what each file compiles. They are compiled once for the code on
# Qt Core and once for the code on Qt Widgets, and every target reuses one of the two.
set(TMS_PCH_SOURCE ${CMAKE_CURRENT_LIST_DIR}/pch.cpp)

add_library(tms_pch_core STATIC ${TMS_PCH_SOURCE})
target_link_libraries(tms_pch_core PRIVATE Qt6::Core)
target_precompile_headers(tms_pch_core PRIVATE <QtCore>)

add_library(tms_pch_widgets STATIC ${TMS_PCH_SOURCE})
target_link_libraries(tms_pch_widgets PRIVATE Qt6::Widgets)
target_precompile_headers(tms_pch_widgets PRIVATE <QtWidgets>)

# kind: core (Qt Core only) or widgets.
function(tms_use_pch target kind)
  target_precompile_headers(${target} REUSE_FROM tms_pch_${kind})
endfunction()
