# The desktop entry, the AppStream metainfo, the icon in the hicolor theme at
# every size in COLLECTOR_UPGRADE_ICON_SIZES, drawn at build time by
# assets/make_icon.py, and the system settings drop-in. All of it belongs to
# the `program` component.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(_pkg_dir ${CMAKE_CURRENT_LIST_DIR})
set(_gen_dir ${PROJECT_BINARY_DIR}/packaging)

# One desktop program: its entry, its AppStream metainfo, and its icon drawn
# by the script `drawing` at every size (target `icons_target`).
function(install_desktop_program id drawing icons_target whose)
  configure_file(${_pkg_dir}/${id}.metainfo.xml ${_gen_dir}/${id}.metainfo.xml @ONLY)
  set(icons)
  foreach(size IN LISTS COLLECTOR_UPGRADE_ICON_SIZES)
    set(icon ${_gen_dir}/icons/${size}/${id}.png)
    add_custom_command(
      OUTPUT ${icon}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen_dir}/icons/${size}
      COMMAND Python3::Interpreter ${drawing} ${size} ${icon}
      DEPENDS ${drawing} ${PROJECT_SOURCE_DIR}/assets/make_icon.py
              ${PROJECT_SOURCE_DIR}/assets/png_to_ico.py
      COMMENT "Drawing ${whose} ${size}x${size} icon")
    list(APPEND icons ${icon})
    install(FILES ${icon}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            COMPONENT program)
  endforeach()
  add_custom_target(${icons_target} ALL DEPENDS ${icons})
  install(FILES ${_pkg_dir}/${id}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
  install(FILES ${_gen_dir}/${id}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT program)
endfunction()

install_desktop_program(${COLLECTOR_UPGRADE_ID} ${PROJECT_SOURCE_DIR}/assets/make_icon.py
                        desktop_icons "the")
# The fleet window, when built: its own entry, metainfo and icon, drawn by
# assets/make_fleet_icon.py, in the same package.
if(TARGET CollectorFleet)
  install_desktop_program(net.fieldcollector.CollectorFleet
                          ${PROJECT_SOURCE_DIR}/assets/make_fleet_icon.py fleet_desktop_icons
                          "the fleet window's")
  configure_file(${_pkg_dir}/man/CollectorFleet.1 ${_gen_dir}/man/CollectorFleet.1 @ONLY)
  add_custom_command(OUTPUT ${_gen_dir}/man/CollectorFleet.1.gz
                     COMMAND gzip -9nkf ${_gen_dir}/man/CollectorFleet.1
                     DEPENDS ${_gen_dir}/man/CollectorFleet.1)
  add_custom_target(gzip_fleet_window_man ALL DEPENDS ${_gen_dir}/man/CollectorFleet.1.gz)
  install(FILES ${_gen_dir}/man/CollectorFleet.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
endif()

# Package-provided sysctl settings live under /usr/lib; an administrator's
# file of the same name in /etc/sysctl.d overrides it.
install(FILES ${_pkg_dir}/60-collector-upgrade.conf
        DESTINATION lib/sysctl.d COMPONENT program)
