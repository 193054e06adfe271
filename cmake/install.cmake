# What `cmake --install` puts where, and the release archives (CPack).
#
# Linux:   bin/ the tools; lib/orvalink/ the MEX file, brindle and the
#          emulated host's libraries; share/orvalink/ the dissector, the
#          sample flights and the README.
# Windows: the package folder as MATLAB sees it. The MEX file and brindle
#          in the folder itself; util\ the tools with the emulated host's
#          libmx.dll and libmex.dll, which must not sit beside the MEX file
#          that MATLAB loads (MATLAB would take them for its own); samples\
#          the sample flights; fgutil\ the dissector and the FlightGear
#          helpers; trim\ for the model's trim data.
include(GNUInstallDirs)

set(tool_targets)
if(TARGET orvalink-run)
  set(tool_targets orvalink-run fdm-listen fdm-relay)
endif()

if(WIN32)
  set(block_dir .)
  set(host_dir util)
  set(tools_dir util)
  set(data_dir .)
  set(samples_dir samples)
  set(fgutil_dir fgutil)
else()
  set(block_dir ${CMAKE_INSTALL_LIBDIR}/orvalink)
  set(host_dir ${CMAKE_INSTALL_LIBDIR}/orvalink)
  set(tools_dir ${CMAKE_INSTALL_BINDIR})
  set(data_dir ${CMAKE_INSTALL_DATADIR}/orvalink)
  set(samples_dir ${CMAKE_INSTALL_DATADIR}/orvalink/samples)
  set(fgutil_dir ${CMAKE_INSTALL_DATADIR}/orvalink)
  # The programs find libmx beside the MEX file; the MEX file finds it beside itself.
  set_target_properties(${tool_targets} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}/orvalink")
  set_target_properties(orvalink mx mex PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS orvalink brindle LIBRARY DESTINATION ${block_dir} RUNTIME DESTINATION ${block_dir})
if(WIN32)
  install(FILES $<TARGET_FILE:mx> $<TARGET_FILE:mex> DESTINATION ${host_dir})  # no import libraries
else()
  install(TARGETS mx mex LIBRARY DESTINATION ${host_dir})
endif()
if(tool_targets)
  install(TARGETS ${tool_targets} RUNTIME DESTINATION ${tools_dir})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/wireshark/fdm_native.lua DESTINATION ${fgutil_dir})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${samples_dir} FILES_MATCHING PATTERN "*.csv")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/README.txt DESTINATION ${data_dir})
if(WIN32)
  install(DIRECTORY DESTINATION trim)
endif()

set(CPACK_PACKAGE_NAME orvalink)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_FILE_NAME orvalink-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
