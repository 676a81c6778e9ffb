# The desktop entry, the AppStream metainfo, the icon in the hicolor theme at
# every size in COLLECTOR_UPGRADE_ICON_SIZES, drawn at build time by
# assets/make_icon.py, and the system settings drop-in. All of it belongs to
# the `program` component.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(_pkg_dir ${CMAKE_CURRENT_LIST_DIR})
set(_gen_dir ${PROJECT_BINARY_DIR}/packaging)

configure_file(${_pkg_dir}/${COLLECTOR_UPGRADE_ID}.metainfo.xml
               ${_gen_dir}/${COLLECTOR_UPGRADE_ID}.metainfo.xml @ONLY)

set(_icons)
foreach(size IN LISTS COLLECTOR_UPGRADE_ICON_SIZES)
  set(icon ${_gen_dir}/icons/${size}/${COLLECTOR_UPGRADE_ID}.png)
  add_custom_command(
    OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen_dir}/icons/${size}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/assets/make_icon.py ${size} ${icon}
    DEPENDS ${PROJECT_SOURCE_DIR}/assets/make_icon.py
    COMMENT "Drawing the ${size}x${size} icon")
  list(APPEND _icons ${icon})
  install(FILES ${icon}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          COMPONENT program)
endforeach()
add_custom_target(desktop_icons ALL DEPENDS ${_icons})

install(FILES ${_pkg_dir}/${COLLECTOR_UPGRADE_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
install(FILES ${_gen_dir}/${COLLECTOR_UPGRADE_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT program)
# The fleet window, when built: its own entry, metainfo and icon, drawn by
# assets/make_fleet_icon.py, in the same package.
if(TARGET CollectorFleet)
  set(_fleet_id net.fieldcollector.CollectorFleet)
  configure_file(${_pkg_dir}/${_fleet_id}.metainfo.xml ${_gen_dir}/${_fleet_id}.metainfo.xml @ONLY)
  set(_fleet_icons)
  foreach(size IN LISTS COLLECTOR_UPGRADE_ICON_SIZES)
    set(icon ${_gen_dir}/icons/${size}/${_fleet_id}.png)
    add_custom_command(
      OUTPUT ${icon}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen_dir}/icons/${size}
      COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/assets/make_fleet_icon.py ${size} ${icon}
      DEPENDS ${PROJECT_SOURCE_DIR}/assets/make_fleet_icon.py ${PROJECT_SOURCE_DIR}/assets/make_icon.py
      COMMENT "Drawing the fleet window's ${size}x${size} icon")
    list(APPEND _fleet_icons ${icon})
    install(FILES ${icon}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            COMPONENT program)
  endforeach()
  add_custom_target(fleet_desktop_icons ALL DEPENDS ${_fleet_icons})
  install(FILES ${_pkg_dir}/${_fleet_id}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
  install(FILES ${_gen_dir}/${_fleet_id}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT program)
  configure_file(${_pkg_dir}/man/CollectorFleet.1 ${_gen_dir}/man/CollectorFleet.1 COPYONLY)
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
