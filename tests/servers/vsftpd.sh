#!/usr/bin/env bash
# vsftpd.sh ROOT WORKDIR [EXTRA]: anonymous vsftpd on 127.0.0.1, serving ROOT with upload and
# overwrite, ASCII conversion on. Writes its config into WORKDIR (owned by the caller), prints the
# chosen port on the first line of stdout, then becomes vsftpd (so the caller's PID is the
# server's).
# EXTRA: more configuration lines, for example "deny_file={timers.xml}" for a refusing server.
set -euo pipefail
root=$1
work=$2
extra=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
port=$(/usr/bin/python3 "$here/free_port.py")
mkdir -p "$work/empty"
conf=$work/vsftpd.conf
cat >"$conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
run_as_launching_user=YES
anonymous_enable=YES
no_anon_password=YES
anon_root=$root
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
ascii_upload_enable=YES
ascii_download_enable=YES
connect_from_port_20=NO
port_enable=YES
pasv_enable=YES
pasv_min_port=1024
dirlist_enable=YES
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=NO
syslog_enable=NO
vsftpd_log_file=$work/vsftpd.log
secure_chroot_dir=$work/empty
$extra
CONF
chmod 600 "$conf"
echo "$port"
exec /usr/sbin/vsftpd "$conf"
