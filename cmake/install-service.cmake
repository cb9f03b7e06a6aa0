# Run by "cmake --install" (see data/CMakeLists.txt): writes the monitor's
# systemd units, its shutdown hook and its /etc/default file for the prefix
# of this install, which may differ from the configured one ("cmake --install
# --prefix P"). Given: units (unit files, a trailing .in dropped from the
# name), shutdown_hook, default_file, bindir, libexecdir, unitdir (empty:
# derived from the prefix), shutdown_dir (empty: the same), work_dir. The files may name
# @TORNAVEL_BINDIR@, @TORNAVEL_SYSCONFDIR@, @SHUTDOWN_PROGRAM@ and
# @KILL_POWER_PROGRAM@.
#
# The prefix /usr is the system's own: its units go where Debian 12 keeps
# units and its configuration into /etc. Any other prefix keeps everything
# below itself (systemd also reads /usr/local/lib/systemd/system), and the
# files name the programs and the configuration there.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(sysconfdir /etc)
  set(systemd_dir /lib/systemd)
else()
  set(sysconfdir ${CMAKE_INSTALL_PREFIX}/etc)
  set(systemd_dir ${CMAKE_INSTALL_PREFIX}/lib/systemd)
endif()
if(NOT unitdir)
  set(unitdir ${systemd_dir}/system)
endif()
function(below_prefix dir out)
  if(IS_ABSOLUTE "${dir}")
    set(${out} ${dir} PARENT_SCOPE)
  else()
    set(${out} ${CMAKE_INSTALL_PREFIX}/${dir} PARENT_SCOPE)
  endif()
endfunction()
below_prefix("${bindir}" TORNAVEL_BINDIR)
below_prefix("${libexecdir}/tornavel-monitor" monitor_libexec)
set(TORNAVEL_SYSCONFDIR ${sysconfdir})
set(SHUTDOWN_PROGRAM ${monitor_libexec}/tornavel-shutdown)
set(KILL_POWER_PROGRAM ${monitor_libexec}/tornavel-kill-power)

foreach(unit IN LISTS units)
  get_filename_component(name ${unit} NAME)
  string(REGEX REPLACE "\\.in$" "" name ${name})
  configure_file(${unit} ${work_dir}/${name} @ONLY)
  file(INSTALL ${work_dir}/${name} DESTINATION ${unitdir})
endforeach()
# systemd-shutdown runs the hooks in /usr/lib/systemd/system-shutdown (on
# Debian also reached as /lib/...) and nowhere else, not below /usr/local.
# Another prefix keeps the hook below itself all the same, and says so.
if(NOT shutdown_dir)
  set(shutdown_dir ${systemd_dir}/system-shutdown)
endif()
configure_file(${shutdown_hook} ${work_dir}/tornavel-kill-power @ONLY)
file(INSTALL ${work_dir}/tornavel-kill-power DESTINATION ${shutdown_dir}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(NOT shutdown_dir MATCHES "^(/usr)?/lib/systemd/system-shutdown/?$")
  message(WARNING "tornavel-kill-power went to ${shutdown_dir}, which systemd-shutdown does not read: "
    "after a host protection shutdown the UPS will not be told to power off and back, so the host may stay "
    "off when the mains return before the battery is flat. To have it, link it: "
    "ln -s ${shutdown_dir}/tornavel-kill-power /usr/lib/systemd/system-shutdown/ "
    "(or configure with -DTORNAVEL_SYSTEMD_SHUTDOWN_DIR=/usr/lib/systemd/system-shutdown).")
endif()
file(INSTALL ${default_file} DESTINATION ${sysconfdir}/default RENAME tornavel-monitor)
