#!/usr/bin/env bash
# Starts the Firebird 3 server on loopback for the connection tests and gives SYSDBA a password
# of our own. The password is written to build/firebird-server.conf, which the tests read.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
conf="$here/build/firebird-server.conf"
secdb=/var/lib/firebird/3.0/system/security3.fdb
mkdir -p "$here/build"

if [ -f "$conf" ]; then
  password=$(sed -n 's/^password=//p' "$conf")
else
  password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n' | cut -c1-16)
fi

# A running server holds the security database exclusively; stop it before changing the password.
if pgrep -x firebird >/dev/null 2>&1; then
  /etc/init.d/firebird3.0 stop >/dev/null 2>&1 || pkill -x fbguard || true
  pkill -x firebird || true
  sleep 1
fi
echo "alter user SYSDBA password '$password' using plugin Srp;" |
  isql-fb -q -user SYSDBA "$secdb" >/dev/null 2>&1 ||
  echo "create user SYSDBA password '$password' using plugin Srp;" | isql-fb -q -user SYSDBA "$secdb"
chown firebird:firebird "$secdb"

# Only loopback clients may reach this server.
sed -i -E 's/^#?\s*RemoteBindAddress\s*=.*/RemoteBindAddress = 127.0.0.1/' /etc/firebird/3.0/firebird.conf
/etc/init.d/firebird3.0 start >/dev/null 2>&1 || /usr/sbin/fbguard -daemon -forever
for _ in $(seq 1 50); do
  if (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; then break; fi
  sleep 0.2
done
printf 'host=localhost\nuser=SYSDBA\npassword=%s\n' "$password" >"$conf"
echo "Firebird server listening on localhost:3050 (SYSDBA password in $conf)"
