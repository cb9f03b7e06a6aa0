# Run by "cmake --install" (see data/CMakeLists.txt): writes the monitor's
# systemd units and its /etc/default file for the prefix of this install,
# which may differ from the configured one ("cmake --install --prefix P").
# Given: units (unit files with @TORNAVEL_BINDIR@ and @TORNAVEL_SYSCONFDIR@),
# default_file, bindir, unitdir (empty: derived from the prefix), work_dir.
#
# The prefix /usr is the system's own: its units go where Debian 12 keeps
# units and its configuration into /etc. Any other prefix keeps both below
# itself (systemd also reads /usr/local/lib/systemd/system), and the units
# name the program and the file there.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(sysconfdir /etc)
  set(derived_unitdir /lib/systemd/system)
else()
  set(sysconfdir ${CMAKE_INSTALL_PREFIX}/etc)
  set(derived_unitdir ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
if(NOT unitdir)
  set(unitdir ${derived_unitdir})
endif()
if(IS_ABSOLUTE "${bindir}")
  set(TORNAVEL_BINDIR ${bindir})
else()
  set(TORNAVEL_BINDIR ${CMAKE_INSTALL_PREFIX}/${bindir})
endif()
set(TORNAVEL_SYSCONFDIR ${sysconfdir})

foreach(unit IN LISTS units)
  get_filename_component(name ${unit} NAME)
  configure_file(${unit} ${work_dir}/${name} @ONLY)
  file(INSTALL ${work_dir}/${name} DESTINATION ${unitdir})
endforeach()
file(INSTALL ${default_file} DESTINATION ${sysconfdir}/default RENAME tornavel-monitor)
