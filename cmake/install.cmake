# What `cmake --install` puts where, and the release archives (CPack).
#
# Linux:   bin/ the tools; lib/orvalink/ the MEX file, brindle and the
#          emulated host's libraries; share/orvalink/ the dissector, the
#          sample flights and the README.
# Windows: the package folder as MATLAB sees it. The MEX file and brindle
#          in the folder itself; util\ the tools (orvalink-fly beside the
#          fdm-relay it starts) with the emulated host's libmx.dll and
#          libmex.dll, which must not sit beside the MEX file that MATLAB
#          loads (MATLAB would take them for its own); samples\ the sample
#          flights; fgutil\ the dissector; trim\ for the model's trim data.
#          orvalink.cpp, build_orvalink.m (for MATLAB's mex), the library,
#          demo and makecfg functions beside it (the demo finds samples\), and
#          orvalink.fmu in the folder itself.
include(GNUInstallDirs)

set(tool_targets)
if(TARGET orvalink-run)
  set(tool_targets orvalink-run fdm-listen fdm-relay fdm-replay orvalink-fly)
endif()

if(WIN32)
  set(block_dir .)
  set(host_dir util)
  set(tools_dir util)
  set(data_dir .)
  set(samples_dir samples)
  set(fgutil_dir fgutil)
  set(matlab_dir .)
  set(fmu_install_dir .)
else()
  set(block_dir ${CMAKE_INSTALL_LIBDIR}/orvalink)
  set(host_dir ${CMAKE_INSTALL_LIBDIR}/orvalink)
  set(tools_dir ${CMAKE_INSTALL_BINDIR})
  set(data_dir ${CMAKE_INSTALL_DATADIR}/orvalink)
  set(samples_dir ${CMAKE_INSTALL_DATADIR}/orvalink/samples)
  set(fgutil_dir ${CMAKE_INSTALL_DATADIR}/orvalink)
  # Apart from lib/orvalink, whose orvalink.mexa64 (this host's build) a
  # MATLAB build must not overwrite.
  set(matlab_dir ${CMAKE_INSTALL_DATADIR}/orvalink/matlab)
  set(fmu_install_dir ${CMAKE_INSTALL_DATADIR}/orvalink)
  # The programs find libmx beside the MEX file; the MEX file finds it beside itself.
  set_target_properties(${tool_targets} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}/orvalink")
  set_target_properties(orvalink mx mex PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS orvalink brindle LIBRARY DESTINATION ${block_dir} RUNTIME DESTINATION ${block_dir})
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit MATLAB loads the block with no build step: 7.0.4 and earlier by the
  # name orvalink.dll, 7.1 (R14SP3) on by orvalink.mexw32, which wins where both lie.
  install(FILES $<TARGET_FILE:orvalink> DESTINATION ${block_dir} RENAME orvalink.mexw32)
endif()
if(WIN32)
  install(FILES $<TARGET_FILE:mx> $<TARGET_FILE:mex> DESTINATION ${host_dir})  # no import libraries
else()
  install(TARGETS mx mex LIBRARY DESTINATION ${host_dir})
endif()
if(tool_targets)
  install(TARGETS ${tool_targets} RUNTIME DESTINATION ${tools_dir})
  install(PROGRAMS ${ORVALINK_PLOT_SCRIPT} DESTINATION ${tools_dir})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/wireshark/fdm_native.lua DESTINATION ${fgutil_dir})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${samples_dir} FILES_MATCHING PATTERN "*.csv")
# The package's README: Windows's with CR LF line ends, Linux's with its own paths.
if(WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
else()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-linux.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY)
endif()
# LICENSE.txt with CR LF on Windows, for Notepad and the setup's licence page.
if(WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)  # no @ in it
  set(ORVALINK_LICENSE_FILE ${CMAKE_BINARY_DIR}/LICENSE.txt)
else()
  set(ORVALINK_LICENSE_FILE ${PROJECT_SOURCE_DIR}/LICENSE)
endif()
install(FILES ${CMAKE_BINARY_DIR}/README.txt ${ORVALINK_LICENSE_FILE} ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${data_dir})
# The blocks as one source file each and the MATLAB function that builds them with
# mex: in the package folder, which the setup puts on MATLAB's path.
install(FILES ${ORVALINK_MEX_SOURCE} ${ORVALINK_CONTROLS_MEX_SOURCE} ${CMAKE_BINARY_DIR}/mex/build_orvalink.m ${CMAKE_BINARY_DIR}/mex/orvalink_library.m
              ${CMAKE_BINARY_DIR}/mex/orvalink_demo.m ${CMAKE_BINARY_DIR}/mex/orvalink_makecfg.m
              ${CMAKE_BINARY_DIR}/mex/orvalink_controls_makecfg.m DESTINATION ${matlab_dir})
# The FMU: this build's own, or the one scripts/release.sh merged from the
# Linux and both Windows builds into fmu/merged/ (three platforms in one).
if(TARGET orvalink_fmu)
  install(CODE "
    set(fmu \"${ORVALINK_FMU}\")
    if(EXISTS \"${CMAKE_BINARY_DIR}/fmu/merged/orvalink.fmu\")
      set(fmu \"${CMAKE_BINARY_DIR}/fmu/merged/orvalink.fmu\")
    endif()
    file(INSTALL \"\${fmu}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${fmu_install_dir}\")
  ")
endif()
if(WIN32)
  install(DIRECTORY DESTINATION trim)
  # Every text file of the package with CR LF line ends, as Windows editors
  # show them; the readers (MATLAB, the tools' CSV input) take either.
  install(CODE [[
    file(GLOB_RECURSE texts "${CMAKE_INSTALL_PREFIX}/*.md" "${CMAKE_INSTALL_PREFIX}/*.m" "${CMAKE_INSTALL_PREFIX}/*.cpp"
         "${CMAKE_INSTALL_PREFIX}/*.csv" "${CMAKE_INSTALL_PREFIX}/*.lua" "${CMAKE_INSTALL_PREFIX}/*.py"
         "${CMAKE_INSTALL_PREFIX}/*.txt")
    foreach(text IN LISTS texts)
      file(READ "${text}" content)
      string(REPLACE "\r\n" "\n" content "${content}")
      string(REPLACE "\n" "\r\n" content "${content}")
      file(WRITE "${text}" "${content}")
    endforeach()
  ]])
endif()

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(package_system win64)
elseif(WIN32)
  set(package_system win32)
else()
  set(package_system linux-${CMAKE_SYSTEM_PROCESSOR})
endif()

# The setup program: the install tree staged, then packed by NSIS.
if(WIN32 AND TARGET orvalink-run)
  find_program(MAKENSIS_PROGRAM makensis)
  if(MAKENSIS_PROGRAM)
    set(ORVALINK_INSTALLER ${CMAKE_BINARY_DIR}/orvalink-${PROJECT_VERSION}-${package_system}-setup.exe)
    set(stage ${CMAKE_BINARY_DIR}/installer-stage)
    file(GLOB sample_flights ${PROJECT_SOURCE_DIR}/samples/*.csv)
    # What each earlier release installed: an upgrade takes those files out by name.
    file(GLOB earlier_file_lists ${PROJECT_SOURCE_DIR}/packaging/windows/installed-*.txt)
    add_custom_command(
      OUTPUT ${ORVALINK_INSTALLER}
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
      COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${stage}
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/nsis_files.py ${stage} ${CMAKE_BINARY_DIR}/installed-files.nsh
              ${earlier_file_lists}
      COMMAND ${MAKENSIS_PROGRAM} -V2 -DVERSION=${PROJECT_VERSION} -DARCH=${package_system} -DSTAGE=${stage}
              -DPATHREMOVE=$<TARGET_FILE:pathremove> -DFILES=${CMAKE_BINARY_DIR}/installed-files.nsh
              -DLICENSE=${ORVALINK_LICENSE_FILE}
              "-DDESCRIBE_UNINSTALLER=${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/describe_uninstaller.py"
              -DOUTFILE=${ORVALINK_INSTALLER} ${PROJECT_SOURCE_DIR}/packaging/windows/orvalink.nsi
      DEPENDS ${PROJECT_SOURCE_DIR}/scripts/nsis_files.py ${PROJECT_SOURCE_DIR}/scripts/describe_uninstaller.py
              ${earlier_file_lists} orvalink brindle pathremove mx mex orvalink_mex_source orvalink_fmu_archive orvalink-run fdm-listen fdm-relay fdm-replay orvalink-fly ${PROJECT_SOURCE_DIR}/packaging/windows/orvalink.nsi
              ${CMAKE_BINARY_DIR}/README.txt ${ORVALINK_LICENSE_FILE} ${PROJECT_SOURCE_DIR}/CHANGELOG.md
              ${PROJECT_SOURCE_DIR}/wireshark/fdm_native.lua ${sample_flights}
      COMMENT "Making the setup program ${ORVALINK_INSTALLER}"
      VERBATIM)
    add_custom_target(installer ALL DEPENDS ${ORVALINK_INSTALLER})
  else()
    message(STATUS "makensis not found: no setup program (apt-get install nsis)")
  endif()
endif()

set(CPACK_PACKAGE_NAME orvalink)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME ${package_system})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_FILE_NAME orvalink-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
