# Sourced by tests/packaging/run, as root, with the packages built: installs
# them and runs what they installed, the way a machine would:
#  - the programs from /usr/bin;
#  - the service's ExecStart as systemd would run it: its EnvironmentFile
#    read as systemd reads it, as an unprivileged user holding only the
#    unit's groups, against a simulated unit on a pseudo-terminal owned
#    root:dialout 0660; then the package's own test (debian/tests);
#  - the window under Xvfb: its X11 icon, and every shared library and Qt
#    plugin it loads belongs to a package that tornavel depends on;
#  - the maintainer scripts through a first install (the service neither
#    enabled nor started), an upgrade to a higher version (the enabled
#    service restarted, never stopped before), a remove (stopped) and a purge
#    (none of their files left).
# systemd need not be PID 1: the maintainer scripts find a /run/systemd/system
# while apt runs and call a deb-systemd-invoke that only records what it would
# do. Uses: packages, programs, debs, pkg, version, arch, work, fail, headless.

export DEBIAN_FRONTEND=noninteractive
unit_name=tornavel-monitor.service
invoked=$work/invoked
children=()
installed_here=no
made_run_systemd=no
cleanup_installed() {
  local child
  for child in "${children[@]}"; do kill "$child" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ "$made_run_systemd" = yes ]; then rmdir /run/systemd/system 2>/dev/null || true; fi
  if [ "$installed_here" = yes ]; then apt-get purge -y -qq $packages >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup_installed EXIT

# A stand-in for deb-systemd-invoke: writes "ACTION UNIT" for what the real
# one would do. As the real one does, it starts or restarts a unit only when
# the unit is enabled (nothing runs here that a restart would have to reach).
standin=$work/standin
mkdir -p "$standin"
cat >"$standin/deb-systemd-invoke" <<EOF
#!/bin/sh
action=\$1; shift
for unit in "\$@"; do
  case \$action in
    start|restart) ls /etc/systemd/system/*.wants/"\$unit" >/dev/null 2>&1 || continue ;;
  esac
  echo "\$action \$unit" >>"$invoked"
done
EOF
chmod +x "$standin/deb-systemd-invoke"
# apt with the maintainer scripts seeing systemd as the init system; sets
# calls to the actions asked for our service, in order.
apt_as_if_systemd() {
  if [ ! -d /run/systemd/system ]; then mkdir -p /run/systemd/system && made_run_systemd=yes; fi
  : >"$invoked"
  # apt gives dpkg a PATH of its own: DPkg::Path. Another apt on the
  # machine (an upgrade, a developer's install) is waited for, not failed on.
  apt-get -o DPkg::Lock::Timeout=300 -o DPkg::Path="$standin:/usr/sbin:/usr/bin:/sbin:/bin" "$@" >>"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log"; fail "apt-get $*"; }
  if [ "$made_run_systemd" = yes ]; then rmdir /run/systemd/system && made_run_systemd=no; fi
  calls=$(grep " $unit_name\$" "$invoked" | cut -d' ' -f1 | paste -sd' ' || true)
}
enabled() { ls /etc/systemd/system/*.wants/"$unit_name" >/dev/null 2>&1; }

installed_here=yes
apt_as_if_systemd install -y -qq --no-install-recommends "${debs[@]}"
if enabled || [ -n "$calls" ]; then
  fail "the first install enabled or started the service (enabled: $(enabled && echo yes || echo no), called: $calls)"
fi
echo "first install: the service is neither enabled nor started"
for program in $programs; do
  said=$(headless "/usr/bin/$program" --version 2>&1) || fail "/usr/bin/$program --version: $said"
  [ "$said" = "$program $version" ] || fail "/usr/bin/$program --version says '$said'"
done

# The units as systemd reads them, with their programs and manual page in place.
if command -v systemd-analyze >/dev/null; then
  for unit in $(dpkg -L tornavel-monitor | grep -E '/lib/systemd/system/[^/]+\.(service|path)$'); do
    said=$(systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify $unit: $said"
    [ -z "$said" ] || fail "systemd-analyze verify $unit: $said"
  done
  echo "systemd-analyze verify: the installed units are clean"
fi
unit=$(dpkg -L tornavel-monitor | grep "/$unit_name\$")
# A policy naming drivers (char-ttyUSB) is resolved when the service starts:
# an adapter whose driver loads later would be refused.
if grep -Eq '^DeviceAllow=char-' "$unit"; then
  fail "$unit allows devices by driver name: $(grep -E '^DeviceAllow=char-' "$unit" | paste -sd' ')"
fi

# A free loopback port for the monitor, and a simulated Smart-UPS.
free_port() {
  local p
  for p in $(shuf -i 20000-60000 -n 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
  fail "no free loopback port"
}
upssim --dir "$work/ports" com1=ups </dev/null >"$work/upssim.out" 2>&1 &
children+=($!)
for _ in $(seq 100); do grep -q '^ready' "$work/upssim.out" && break; sleep 0.1; done
grep -q '^ready' "$work/upssim.out" || fail "upssim did not get ready: $(cat "$work/upssim.out")"
pty=$(readlink -f "$work/ports/com1")
chown root:dialout "$pty"
chmod 0660 "$pty"

# The unit's ExecStart as systemd runs it. The arguments come from the
# EnvironmentFile as a user edits it; systemd reads KEY=VALUE lines, skips
# comments, drops one pair of quotes around a value, splits $KEY into words
# and keeps ${KEY} one word.
directive() { sed -n "s/^$1=//p" "$unit" | tail -n 1; }
env_file=$(directive EnvironmentFile)
env_file=${env_file#-}
port=$(free_port)
sed -i "s|^ARGS=.*|ARGS=\"--listen 127.0.0.1:$port $pty\"|" "$env_file"
declare -A env=()
while IFS= read -r line; do
  [[ $line =~ ^[[:space:]]*([A-Za-z_][A-Za-z0-9_]*)=(.*)$ ]] || continue
  key=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
  if [[ $value =~ ^\"(.*)\"$ || $value =~ ^\'(.*)\'$ ]]; then value=${BASH_REMATCH[1]}; fi
  env[$key]=$value
done <"$env_file"
command_line=()
for word in $(directive ExecStart); do
  if [[ $word =~ ^\$([A-Za-z_][A-Za-z0-9_]*)$ ]]; then
    command_line+=(${env[${BASH_REMATCH[1]}]:-})
  elif [[ $word =~ ^\$\{([A-Za-z_][A-Za-z0-9_]*)\}$ ]]; then
    command_line+=("${env[${BASH_REMATCH[1]}]:-}")
  else
    command_line+=("$word")
  fi
done
# DynamicUser picks an unused uid (and a group of the same number); a named
# User is that user; no user at all is root, which a serial monitor must not be.
if [ "$(directive DynamicUser)" = yes ]; then
  uid=61999
  while getent passwd "$uid" >/dev/null || getent group "$uid" >/dev/null; do uid=$((uid + 1)); done
  gid=$uid
elif [ -n "$(directive User)" ]; then
  uid=$(id -u "$(directive User)")
  gid=$(id -g "$(directive User)")
else
  fail "$unit runs its program as root"
fi
groups=()
for group in $(directive SupplementaryGroups); do groups+=("$(getent group "$group" | cut -d: -f3)"); done
group_option=--clear-groups
[ ${#groups[@]} -eq 0 ] || group_option=--groups=$(IFS=,; echo "${groups[*]}")
env_pairs=()
for key in "${!env[@]}"; do env_pairs+=("$key=${env[$key]}"); done
env -i PATH=/usr/bin:/bin "${env_pairs[@]}" \
  setpriv --reuid="$uid" --regid="$gid" "$group_option" --inh-caps=-all --bounding-set=-all --no-new-privs \
  -- "${command_line[@]}" >"$work/service.out" 2>&1 &
service=$!
children+=($service)
up=""
for _ in $(seq 60); do
  kill -0 "$service" 2>/dev/null || fail "the service's ExecStart (${command_line[*]}) exited: $(cat "$work/service.out")"
  up=$(curl -sf "http://127.0.0.1:$port/metrics" | grep -E "^tornavel_ups_up\{port=\"[^\"]*\"\} 1$" || true)
  [ -z "$up" ] || break
  sleep 1
done
[ -n "$up" ] || fail "the service (uid $uid, groups ${groups[*]:-none}) never read the unit on $pty: $(cat "$work/service.out")"
kill "$service"
wait "$service" 2>/dev/null || true
echo "the service's ExecStart, as uid $uid with groups ${groups[*]:-none}, reads the unit on a root:dialout 0660 terminal"

debian/tests/monitor-scrape /usr/bin "$(free_port)" || fail "debian/tests/monitor-scrape"

# The window under a virtual X server, as a desktop starts it.
Xvfb -displayfd 3 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
children+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(cat "$work/display")
mkdir -p "$work/no-ports"
env -u QT_QPA_PLATFORM /usr/bin/tornavel --ports "$work/no-ports" >"$work/window.out" 2>&1 &
window=$!
children+=($window)
icon=""
for _ in $(seq 100); do
  kill -0 "$window" 2>/dev/null || fail "the window exited: $(cat "$work/window.out")"
  id=$(xwininfo -root -tree 2>/dev/null | grep -F 'Tornavel' | grep -oE '0x[0-9a-f]+' | head -n 1 || true)
  if [ -n "$id" ]; then icon=$(xprop -id "$id" _NET_WM_ICON 2>/dev/null | grep -v 'not found' || true); fi
  [ -z "$icon" ] || break
  sleep 0.2
done
[ -n "$icon" ] || fail "the window has no X11 icon (_NET_WM_ICON)"
echo "the window shows with its X11 icon"
# Each library the window has mapped, and the package that owns it.
libraries=$(awk '$6 ~ /\.so/ {print $6}' "/proc/$window/maps" | sort -u)
closure=$(apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts \
  --no-breaks --no-replaces --no-enhances tornavel | grep -v '^ ' | tr -d '<>' | sort -u)
missing=""
while read -r library; do
  owner=""
  for path in "$library" "${library#/usr}" "/usr$library"; do
    owner=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1) && [ -n "$owner" ] && break
  done
  [ -n "$owner" ] || fail "the window loads $library, which no package owns"
  grep -qx "$owner" <<<"$closure" || missing+=" $library ($owner)"
done <<<"$libraries"
[ -z "$missing" ] || fail "the window loads libraries outside the dependencies of tornavel:$missing"
echo "the window loads $(wc -l <<<"$libraries") libraries, each from a package tornavel depends on"

# The administrator enables the service; an upgrade to a higher version
# (the same package, version raised) restarts it and never stops it first.
systemctl enable "$unit_name" >/dev/null 2>&1
enabled || fail "systemctl enable $unit_name made no link"
higher=$work/higher
dpkg-deb -R "$pkg/tornavel-monitor_${version}_${arch}.deb" "$higher"
sed -i "s/^Version: .*/Version: $version+1/" "$higher/DEBIAN/control"
dpkg-deb -b "$higher" "$work/tornavel-monitor_${version}+1_${arch}.deb" >/dev/null
apt_as_if_systemd install -y -qq "$work/tornavel-monitor_${version}+1_${arch}.deb"
[ "$calls" = restart ] || fail "the upgrade of an enabled service called: '$calls' (want: restart)"
enabled || fail "the upgrade disabled the service"
echo "upgrade to $version+1: the enabled service is restarted"

# Files and links, not directories: on a merged-/usr system /lib itself is
# a link to a directory, and the packages share it with the system.
files=$(dpkg -L $packages 2>/dev/null | while read -r f; do if [ ! -d "$f" ] && { [ -f "$f" ] || [ -L "$f" ]; }; then echo "$f"; fi; done)
files+=$'\n'/etc/systemd/system/multi-user.target.wants/$unit_name
apt_as_if_systemd remove -y -qq tornavel-monitor
[ "$calls" = stop ] || fail "apt-get remove called: '$calls' (want: stop)"
echo "remove: the service is stopped"

apt_as_if_systemd purge -y -qq $packages
installed_here=no
if dpkg-query -W -f='${Status}\n' $packages 2>/dev/null | grep -Eq 'ok installed|config-files'; then
  fail "a package is still installed after the purge"
fi
while read -r f; do
  if [ -e "$f" ] || [ -L "$f" ]; then fail "$f is left after the purge"; fi
done <<<"$files"
echo "purged: none of their $(wc -l <<<"$files") files and links left"
