#!/usr/bin/env bash
# A PostgreSQL server of the tests' own: started from Debian's postgresql-15 binaries in
# a temporary directory, listening on a Unix socket only, fsync off; no system service is
# touched. initdb refuses to run as root, so as root the server runs as the unprivileged
# user "larkspur-test" (made here when missing). Its databases hold texts byte for byte
# (SQL_ASCII, the C locale), as the README advises for a store.
#
#   pg-server.sh start DIR   makes DIR, starts the server, writes DIR/uri (a libpq URI
#                            of its maintenance database)
#   pg-server.sh stop DIR    stops the server and removes DIR
#
# As root it also mounts a 4 MiB tmpfs at DIR/small and makes it the tablespace "small",
# for the tests of a full disk (where mounting is not allowed there is no such
# tablespace, and those tests skip).
set -euo pipefail
bin=/usr/lib/postgresql/15/bin
cmd=${1:?start or stop}
dir=${2:?directory}
user=$(id -un)
run() { "$@"; }
if [ "$(id -u)" = 0 ]; then
  user=larkspur-test
  id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
  run() { runuser -u "$user" -- "$@"; }
  if [ ! -c /dev/null ]; then
    # Some sandboxes leave /dev/null a plain root-only file, which the server's helper
    # shells cannot write: they get a null device of their own in a private mount
    # namespace instead (the machine's /dev/null is left as it is).
    run() {
      [ -c "$dir/null" ] || mknod -m 0666 "$dir/null" c 1 3
      unshare -m -- sh -c 'mount --bind "$0" /dev/null && exec runuser -u "$@"' "$dir/null" "$user" -- "$@"
    }
  fi
fi

case "$cmd" in
start)
  if [ -f "$dir/data/postmaster.pid" ]; then
    run "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  fi
  if mountpoint -q "$dir/small" 2>/dev/null; then
    umount "$dir/small" || true
  fi
  rm -rf "$dir"
  mkdir -p "$dir/socket"
  chmod 0755 "$dir"
  # Mounted before the server starts, so that a server in a mount namespace of its own
  # sees it too.
  if [ "$(id -u)" = 0 ] && mkdir -p "$dir/small" && mount -t tmpfs -o size=4m,mode=0700 tmpfs "$dir/small" 2>/dev/null; then
    :
  else
    rm -rf "$dir/small"
  fi
  [ "$user" = "$(id -un)" ] || chown -R "$user" "$dir"
  run "$bin/initdb" -D "$dir/data" -U larkspur --auth=trust -E SQL_ASCII --locale=C >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; exit 1; }
  # Sockets only, in the directory's own folder; nothing is made durable (test data).
  run "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses= -c unix_socket_directories=$dir/socket -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200 -c shared_buffers=128MB" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
  echo "postgresql://larkspur@/postgres?host=$dir/socket" >"$dir/uri"
  if mountpoint -q "$dir/small" 2>/dev/null; then
    run "$bin/psql" -q -X -h "$dir/socket" -U larkspur -d postgres \
      -c "CREATE TABLESPACE small LOCATION '$dir/small'" >/dev/null || true
  fi
  ;;
stop)
  if [ -f "$dir/data/postmaster.pid" ]; then
    run "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true
  fi
  if mountpoint -q "$dir/small" 2>/dev/null; then
    umount "$dir/small" || true
  fi
  rm -rf "$dir"
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
