# Shared by the scripts: install the Debian packages that are missing, and only those.
apt_install_missing() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq >/dev/null
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Test-only servers (dovecot) must not be left running as system services on a user's machine:
# keep the package scripts from starting them, then stop and disable whatever was started anyway.
install_test_servers_quietly() {
  local policy=/usr/sbin/policy-rc.d created_policy=0
  if [ "$(id -u)" -eq 0 ] && [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod +x "$policy" && created_policy=1
  fi
  apt_install_missing "$@" || { [ $created_policy -eq 1 ] && rm -f "$policy"; return 1; }
  [ $created_policy -eq 1 ] && rm -f "$policy"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  if command -v systemctl >/dev/null 2>&1 && [ -d /run/systemd/system ]; then
    $sudo systemctl disable --now dovecot.service >/dev/null 2>&1 || true
  elif [ -x /etc/init.d/dovecot ]; then
    $sudo /etc/init.d/dovecot stop >/dev/null 2>&1 || true
    command -v update-rc.d >/dev/null 2>&1 && $sudo update-rc.d dovecot disable >/dev/null 2>&1 || true
  fi
  return 0
}
